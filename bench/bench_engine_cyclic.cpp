// A cyclic group of 50 variables read every 10 ms through the engine's cyclic thread, against the
// simulated drive over Modbus TCP (the communication box), for 10 seconds. Prints the achieved
// cycle rate, the change notifications delivered and the CPU time used: the whole process (which
// also runs the simulated drive) and the cyclic thread alone.

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/EngineBenchSupport.h"
#include "engine/ConfigFileIndex.h"
#include "engine/Main.h"
#include "engine/MainApi.h"
#include "foundation/Authorizations.h"
#include "foundation/BrandList.h"
#include "foundation/CompatChecker.h"
#include "foundation/ProgramFolders.h"
#include "foundation/ProgramSwitches.h"
#include "platform/Messages.h"
#include "platform/ThreadLog.h"
#include "tools/drivesim/DriveSim.h"

using namespace foundation;
using namespace engine;

namespace fs = std::filesystem;

namespace {

constexpr int kVariables = 50;
constexpr int kCycleMs = 10;
constexpr int kSeconds = 10;
constexpr uint16_t kFirstRegister = 1200;
constexpr unsigned kChanged = platform::WM_USER + 60;

std::string Description() {
    std::ostringstream x;
    x << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
      << "<DEVICE hw=\"5\" sw=\"2\" sw_ver=\"1\" build=\"0\" version=\"1\" xml_ver=\"3\">\n"
      << "<Description>Benchmark drive</Description>\n"
      << "<ClientList oem=\"124203\"><Client name=\"Orvalis\"/></ClientList>\n"
      << "<Modbus compact=\"255\"/>\n<DICTIONARY>\n";
    for (int i = 0; i < kVariables; ++i)
        x << "<ITEM id=\"" << i + 1 << "\" name=\"V" << i << "\" size=\"2\" signed=\"0\" modbusaddress=\""
          << kFirstRegister + i << "\" read=\"1\" write=\"1\"/>\n";
    x << "</DICTIONARY>\n</DEVICE>\n";
    return x.str();
}

void PrepareFolders(const fs::path& root) {
    bench_support::PrepareEngineFolders(root, Description());
}

void SetupDrive(drivesim::SimDrive& drive) {
    bench_support::SetupIdentifiedDrive(drive);
    drive.FillRegisters(kFirstRegister, kVariables, 0);
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// User plus system time of one thread of this process, from /proc; negative when unknown.
double ThreadCpuSeconds(unsigned tid) {
    std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    unsigned long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::stoul(field);
        if (i == 15) stime = std::stoul(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

}  // namespace

int main() {
    const fs::path root = fs::temp_directory_path() / ("tunova_bench_cyclic_" + std::to_string(getpid()));
    PrepareFolders(root);

    drivesim::DriveSim sim;
    drivesim::SimDrive& drive = sim.AddDrive(1);
    SetupDrive(drive);
    std::string error;
    const int port = sim.StartTcp(0, &error);
    if (port <= 0) {
        std::fprintf(stderr, "simulated drive: %s\n", error.c_str());
        return 1;
    }

    std::atomic<unsigned> cyclicTid{0};
    platform::SetThreadLogSink([&](const std::string& line) {
        if (line.rfind("Main::CyclicThread started 0x", 0) == 0)
            cyclicTid = static_cast<unsigned>(std::stoul(line.substr(29), nullptr, 16));
    });

    int rc = 0;
    {
        g_MirelBox = true;
        platform::RecordingSink sink;
        CMainApi api(sink.Handle());
        CMain& engine = *api.Engine();
        const int box = bench_support::UseBoxChannel(api, port);
        CCompatChecker checker;
        BSTR text = nullptr;
        uint32_t address = 0;
        rc = engine.NodeConnect(checker, &text, &address, 1, box);
        SysFreeString(text);
        if (rc != 0) {
            std::fprintf(stderr, "connect failed: %d %s\n", rc, engine.ErrorText().c_str());
        } else {
            engine.SetCurrentNodeAddress(address);
            std::vector<CCellHolder> holders(kVariables);
            const int group = engine.GroupCreate(0, 0, sink.Handle(), kChanged);
            for (int i = 0; i < kVariables; ++i)
                if (engine.GroupAddReadCell(group, std::string("V").append(std::to_string(i)), &holders[i]) <
                    0)
                    rc = 1;
            platform::PumpMessages();
            sink.Clear();

            // Five values change every cycle, as a drive in motion would show them.
            std::atomic<bool> running{true};
            std::thread mover([&] {
                uint16_t n = 0;
                while (running.load()) {
                    ++n;
                    for (int i = 0; i < 5; ++i)
                        drive.SetRegister(static_cast<uint16_t>(kFirstRegister + i * 10), n);
                    std::this_thread::sleep_for(std::chrono::milliseconds(kCycleMs));
                }
            });

            const uint64_t requestsBefore = sim.RequestCount();
            const double cpuBefore = CpuSeconds();
            const auto start = std::chrono::steady_clock::now();
            if (engine.GroupExecute(group, 1, kCycleMs) != 0) rc = 1;
            size_t notifications = 0;
            while (std::chrono::steady_clock::now() - start < std::chrono::seconds(kSeconds)) {
                platform::WaitForMessages(50);
                platform::PumpMessages();
                notifications += sink.Count();
                sink.Clear();
            }
            const double threadCpu = cyclicTid.load() ? ThreadCpuSeconds(cyclicTid.load()) : -1;
            engine.GroupStop(group);
            const double elapsed =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            const double cpu = CpuSeconds() - cpuBefore;
            const uint64_t transactions = sim.RequestCount() - requestsBefore;
            running = false;
            mover.join();
            platform::PumpMessages();

            std::printf("variables: %d, cycle: %d ms, run: %.1f s\n", kVariables, kCycleMs, elapsed);
            std::printf("Modbus transactions:    %8llu (all variables in one run per cycle)\n",
                        static_cast<unsigned long long>(transactions));
            std::printf("achieved cycle rate:    %8.1f cycles/s (goal %d)\n", transactions / elapsed,
                        1000 / kCycleMs);
            std::printf("change notifications:   %8zu\n", notifications);
            std::printf("CPU, whole process:     %8.1f %% of one core (includes the simulated drive)\n",
                        100.0 * cpu / elapsed);
            if (threadCpu >= 0)
                std::printf("CPU, cyclic thread:     %8.1f %% of one core\n", 100.0 * threadCpu / elapsed);
        }
    }
    platform::SetThreadLogSink(nullptr);
    sim.Stop();
    g_MirelBox = false;
    GetBrandList().RemoveAll();
    std::error_code ec;
    fs::remove_all(root, ec);
    return rc == 0 ? 0 : 1;
}
