// The main dialog's refresh with all its status groups running against the simulated drive over
// TCP: CPU of the whole program and of its window thread, and how late each refresh timer came.
// Goal: below 5% of one core, no refresh later than twice its period.
//   xvfb-run -a build/release/bench/bench_app_main_dialog [seconds]   (60 by default)
#include <sys/resource.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include <wx/frame.h>

#include "app/MainDlg.h"
#include "bench/EngineBenchSupport.h"
#include "drive/Qd.h"
#include "engine/ConfigFileIndex.h"
#include "foundation/Authorizations.h"
#include "foundation/BrandList.h"
#include "foundation/ProgramFolders.h"
#include "foundation/ProgramSwitches.h"
#include "platform/ui/Gui.h"
#include "tools/drivesim/DriveSim.h"
#include "tools/drivesim/SimDriveModel.h"
#include "tools/drivesim/SimWiring.h"

namespace {

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

double WallSeconds() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

// A folder tree with the simulated drive's description as the only configuration source.
}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::max(1.0, std::atof(argv[1])) : 60.0;
    const std::filesystem::path description =
        std::filesystem::path(TUNOVA_SOURCE_DIR) / "app" / "data" / "Xml" / "1234_2_3_1.xml";
    const std::filesystem::path root =
        std::filesystem::temp_directory_path() / ("tunova-bench-main-" + std::to_string(getpid()));
    std::ifstream file(description);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    bench_support::PrepareEngineFolders(root, text, description.filename().string());

    auto model = std::make_shared<drivesim::SimDriveModel>();
    std::string error;
    if (!model->Load(description, &error)) {
        std::fprintf(stderr, "simulated drive: %s\n", error.c_str());
        return 1;
    }
    drivesim::DriveSim sim;
    drivesim::DescribeModbusDrive(sim.AddDrive(1), model);
    const int port = sim.StartTcp(0, &error);
    if (port <= 0) {
        std::fprintf(stderr, "simulated drive: %s\n", error.c_str());
        return 1;
    }
    if (!platform::ui::StartGui()) {
        std::fprintf(stderr, "no display (run under xvfb-run)\n");
        return 1;
    }
    foundation::g_MirelBox = true;
    int rc = 0;
    {
        drive::CQd qd(0);
        qd.ConnectionWindow().Record().bcAddress = 0x7F000001;
        qd.ConnectionWindow().Record().boxPort = static_cast<uint16_t>(port);
        qd.ConnectionWindow().SetConnectionString("MIREL:timeout 1000");
        if (qd.Connect() != 0) {
            std::fprintf(stderr, "connect failed: %s\n", qd.ConnectionWindow().LastMessage().c_str());
            rc = 1;
        } else {
            auto* frame =
                new wxFrame(nullptr, wxID_ANY, "main dialog bench", wxPoint(0, 0), wxSize(1100, 640));
            {
                app::CPelmoraDlg dialog(frame, qd);
                frame->Show();
                dialog.Start();
                const double wall0 = WallSeconds(), cpu0 = ProcessCpuSeconds(), thread0 = ThreadCpuSeconds();
                platform::ui::RunUntil([&] { return WallSeconds() - wall0 >= seconds; },
                                       static_cast<int>(seconds * 1000) + 1000);
                const double wall = WallSeconds() - wall0;
                const double cpu = ProcessCpuSeconds() - cpu0, thread = ThreadCpuSeconds() - thread0;
                std::printf("main dialog refresh, %.1f s, groups %d/%d\n", wall, dialog.SlowGroup(),
                            dialog.FastGroup());
                std::printf("  program CPU       %6.2f %% of one core (goal < 5 %%)\n", 100.0 * cpu / wall);
                std::printf("  window thread CPU %6.2f %% of one core\n", 100.0 * thread / wall);
                bool late = false;
                for (const auto& [id, stats] : dialog.RefreshStats()) {
                    const double period = id == app::kTimerFast     ? app::kFastPeriodMs
                                          : id == app::kTimerStatus ? app::kStatusPeriodMs
                                                                    : app::kIdentityPeriodMs;
                    const bool ok = stats.passes < 2 || stats.maxGapMs <= 2 * period;
                    late = late || !ok;
                    std::printf("  timer %u: %u passes, longest gap %.1f ms (period %.0f ms)%s\n", id,
                                stats.passes, stats.maxGapMs, period, ok ? "" : "  LATE");
                }
                if (cpu / wall >= 0.05 || late) rc = 2;
                dialog.Stop();
            }
            frame->Destroy();
            qd.CloseConnection(true);
        }
    }
    platform::ui::StopGui();
    sim.Stop();
    std::filesystem::remove_all(root);
    return rc;
}
