// A full oscilloscope capture (four channels sharing the drive's whole capture buffer) uploaded
// by the drive object's watch thread from the simulated drive, over Modbus TCP and over a
// pseudo-terminal, against raw block reads of the same buffers through the engine in the same
// run. Prints bytes per second and their ratio.
//
// Like with like: a capture counts from the moment its upload is seen running (polled every few
// tens of microseconds, so that a late look does not shorten it) to its data ready in the
// traces. After each capture the watch thread is paused and the same four buffers are read raw,
// with the background reads paused as the capture has them, so that both see the same load of
// the shared machine. The ratio is the median of the pairs' ratios; the rates are the medians.

#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/EngineBenchSupport.h"
#include "drive/Qd.h"
#include "engine/Main.h"
#include "foundation/MessageIds.h"
#include "foundation/ProgramSwitches.h"
#include "platform/Registry.h"
#include "tools/drivesim/DriveSim.h"
#include "tools/drivesim/SimDriveModel.h"
#include "tools/drivesim/SimWiring.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr size_t kCaptures = 31;
constexpr int kBufferSamples = 16384;  // MaxBufferDimension
constexpr uint32_t kLoopback = 0x7F000001;

class NoDialog : public drive::CConnectDialog {
  public:
    int Run(const std::vector<drive::_CHANNELINFO>&, drive::CConnectionRecord&) override { return 2; }
};

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Reads the four buffers as the capture has them, straight through the engine on this thread;
// the seconds it took, or a negative value when a read failed.
double RawRead(drive::CQd& qd, std::vector<uint8_t>& buffer, const char* wire) {
    const uint32_t bytes = static_cast<uint32_t>(buffer.size());
    qd.PauseCyclicReads();
    const auto begin = Clock::now();
    for (int slot = 1; slot <= 4; ++slot)
        if (qd.UploadCell("Buffer_" + std::to_string(slot), buffer.data(), bytes) !=
            static_cast<int>(bytes)) {
            std::fprintf(stderr, "%s: raw read failed: %s\n", wire, qd.LastErrorText().c_str());
            qd.ResumeCyclicReads();
            return -1;
        }
    const double seconds = Seconds(Clock::now() - begin);
    qd.ResumeCyclicReads();
    return seconds;
}

// Times the watch thread's uploads of kCaptures captures (from the upload's start to the data
// being ready), each followed by raw reads of the same four buffers; false when something failed.
bool Measure(drive::CQd& qd, const char* wire) {
    engine::CMain* engine = qd.ConnectionWindow().Engine();
    platform::RecordingSink window;
    qd.SetScopeWindow(window.Handle());
    drive::osc_vars& setup = qd.Scope();
    drive::ComboChannelsTypes v;
    v.title = "Analog input 0";
    v.code = 4;
    setup.variables = {v};
    for (int i = 0; i < 4; ++i) setup.SetChannelVariable(i, v.title, true);
    setup.triggerMode = "Auto";
    setup.AssignChannels();
    if (!qd.StartWatchThread()) return false;
    qd.Watch().RequestCapture(drive::CWatchThread::kStart);

    const uint32_t bytes = kBufferSamples / 4 * 4;  // one slot
    std::vector<uint8_t> buffer(bytes);
    std::vector<double> captureSeconds, rawSeconds, ratios;
    bool uploading = false;
    bool failed = false;
    Clock::time_point start;
    const Clock::time_point limit = Clock::now() + std::chrono::seconds(120);
    while (captureSeconds.size() < kCaptures && !failed && Clock::now() < limit) {
        if (!uploading) {
            // Between captures nothing is posted that would wake us when the upload starts.
            if (engine->UploadRunning()) {
                uploading = true;
                start = Clock::now();
            } else {
                std::this_thread::sleep_for(std::chrono::microseconds(20));
            }
        } else {
            // The data-ready notice wakes this wait; a short one would only add wake-ups that
            // compete with the upload.
            platform::WaitForMessages(50);
        }
        bool ready = false;
        for (const platform::Message& m : (platform::PumpMessages(), window.Messages())) {
            if (m.msg != foundation::kOscDataReadyMessage || !uploading) continue;
            captureSeconds.push_back(Seconds(Clock::now() - start));
            uploading = false;
            ready = true;
        }
        window.Clear();
        if (ready) {
            // The watch thread is between captures: it stops before arming the next one.
            if (!qd.PauseWatchThread()) {
                std::fprintf(stderr, "%s: the watch thread did not pause\n", wire);
                failed = true;
                break;
            }
            const double raw = RawRead(qd, buffer, wire);
            qd.ResumeWatchThread();
            if (raw <= 0) {
                failed = true;
                break;
            }
            rawSeconds.push_back(raw);
            ratios.push_back(raw / captureSeconds.back());
        }
        if (qd.Watch().CaptureRequest() == drive::CWatchThread::kStopped) break;
    }
    qd.StopWatchThread();
    if (failed || captureSeconds.size() < kCaptures) {
        std::fprintf(stderr, "%s: %zu captures, %s\n", wire, captureSeconds.size(),
                     qd.Watch().CaptureErrorText().c_str());
        return false;
    }

    const double capture = 4.0 * bytes;
    std::printf("%-4s capture upload (watch thread): %12.0f bytes/s\n", wire,
                capture / Median(captureSeconds));
    std::printf("%-4s raw block reads (engine):      %12.0f bytes/s\n", wire, capture / Median(rawSeconds));
    std::printf("%-4s ratio capture/raw:             %12.3f (goal >= 0.9)\n", wire, Median(ratios));
    return true;
}

}  // namespace

int main() {
    // The start of an upload is polled with short sleeps: without slack they end on time.
    prctl(PR_SET_TIMERSLACK, 1UL);
    const fs::path root = fs::temp_directory_path() / ("tunova_bench_scope_" + std::to_string(getpid()));
    const fs::path description = drivesim::DefaultDescriptionPath();
    bench_support::PrepareEngineFolders(root, "<DEVICE/>");
    fs::remove(root / "tree" / "2_1.xml");
    fs::copy_file(description, root / "tree" / "1234_2_3_1.xml");
    platform::Registry::Instance().SetTtyClassFolder(root / "tty");

    auto model = std::make_shared<drivesim::SimDriveModel>();
    std::string error;
    if (!model->Load(description, &error) || !model->Set("MaxBufferDimension", kBufferSamples)) {
        std::fprintf(stderr, "simulated drive: %s\n", error.c_str());
        return 1;
    }
    drivesim::DriveSim sim;
    drivesim::DescribeModbusDrive(sim.AddDrive(1), model);
    const int port = sim.StartTcp(0, &error);
    const std::string pty = sim.StartPty(&error);
    if (port <= 0 || pty.empty()) {
        std::fprintf(stderr, "simulated drive: %s\n", error.c_str());
        return 1;
    }
    platform::Registry::Instance().SetString(platform::Scope::User, "HARDWARE\\DEVICEMAP\\SERIALCOMM",
                                             "benchsim", pty);

    bool ok = true;
    NoDialog dialog;
    {
        foundation::g_MirelBox = true;
        drive::CQd qd(0);
        qd.ConnectionWindow().SetConnectDialog(&dialog);
        drive::CConnectionRecord& r = qd.ConnectionWindow().Record();
        r.bcAddress = kLoopback;
        r.boxPort = static_cast<uint16_t>(port);
        qd.ConnectionWindow().SetConnectionString("MIREL:timeout 1000");
        if (qd.Connect() != 0) {
            std::fprintf(stderr, "TCP connect failed: %s\n", qd.ConnectionWindow().LastMessage().c_str());
            ok = false;
        } else {
            ok = Measure(qd, "TCP") && ok;
            qd.CloseConnection(true);
        }
        foundation::g_MirelBox = false;
    }
    {
        drive::CQd qd(0);
        qd.ConnectionWindow().SetConnectDialog(&dialog);
        qd.ConnectionWindow().SetConnectionString(pty + ":timeout 1000");
        if (qd.Connect() != 0) {
            std::fprintf(stderr, "serial connect failed: %s\n", qd.ConnectionWindow().LastMessage().c_str());
            ok = false;
        } else {
            ok = Measure(qd, "PTY") && ok;
            qd.CloseConnection(true);
        }
    }
    sim.Stop();
    std::error_code ec;
    fs::remove_all(root, ec);
    return ok ? 0 : 1;
}
