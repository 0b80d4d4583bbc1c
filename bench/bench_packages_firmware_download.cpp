// A 1 MiB firmware image downloaded through the engine's firmware download into the simulated
// drive over Modbus TCP, against a raw block write of the same size to a plain domain of the same
// drive in the same run. Prints bytes per second and their ratio (goal: 0.9 or more).

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/EngineBenchSupport.h"
#include "engine/DownloadFw.h"
#include "engine/Main.h"
#include "engine/MainApi.h"
#include "foundation/CompatChecker.h"
#include "foundation/ProgramSwitches.h"
#include "tools/drivesim/DriveSim.h"

using namespace engine;
namespace fs = std::filesystem;

namespace {

constexpr const char* kDescription = R"(<?xml version="1.0" encoding="utf-8"?>
<DEVICE hw="5" sw="2" sw_ver="1" build="0" version="1" xml_ver="3">
	<Description>Benchmark drive</Description>
	<ClientList oem="124203"><Client name="Orvalis"/></ClientList>
	<DICTIONARY>
		<ITEM id="1" name="download_firmware" size="0" modbusaddress="3000" read="0" write="1"/>
		<ITEM id="2" name="raw_block" size="0" modbusaddress="3100" read="0" write="1"/>
	</DICTIONARY>
</DEVICE>
)";

constexpr uint32_t kImageBytes = 1u << 20;
constexpr int kRounds = 3;

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
    const fs::path root = fs::temp_directory_path() / ("tunova_bench_fwdl_" + std::to_string(getpid()));
    bench_support::PrepareEngineFolders(root, kDescription);
    std::vector<uint8_t> image(kImageBytes);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 31 + (i >> 9));
    const fs::path file = root / "temp" / "bench.fw";
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));

    drivesim::DriveSim sim;
    drivesim::SimDrive& drive = sim.AddDrive(1);
    bench_support::SetupIdentifiedDrive(drive);
    drive.SetDomain(3000, drivesim::SimDomain{});
    drive.SetDomain(3100, drivesim::SimDomain{});
    std::string error;
    const int port = sim.StartTcp(0, &error);
    if (port <= 0) {
        std::fprintf(stderr, "simulated drive: %s\n", error.c_str());
        return 1;
    }

    int rc = 0;
    {
        foundation::g_MirelBox = true;
        CMainApi api(0);
        CMain& engine = *api.Engine();
        const int box = bench_support::UseBoxChannel(api, port);
        foundation::CCompatChecker checker;
        BSTR text = nullptr;
        uint32_t address = 0;
        rc = engine.NodeConnect(checker, &text, &address, 1, box);
        SysFreeString(text);
        if (rc == 0) rc = engine.SelectNode(1, box);
        if (rc != 0) {
            std::fprintf(stderr, "connect failed: %d %s\n", rc, engine.ErrorText().c_str());
        } else {
            double firmwareSeconds = 0, rawSeconds = 0;
            for (int round = 0; round < kRounds && rc == 0; ++round) {
                // The firmware dialog's send: the file loaded and written as one image.
                CDownloadFw fw;
                fw.fileName = file.string();
                fw.reload = 1;
                fw.enable = false;
                auto start = std::chrono::steady_clock::now();
                rc = engine.DownloadFirmware(fw);
                firmwareSeconds += Seconds(start);
                if (rc != 0) {
                    std::fprintf(stderr, "firmware download failed: %d %s\n", rc, engine.ErrorText().c_str());
                    break;
                }
                start = std::chrono::steady_clock::now();
                rc = engine.DownloadCell("raw_block", image.data(), kImageBytes);
                rawSeconds += Seconds(start);
                if (rc != 0)
                    std::fprintf(stderr, "raw write failed: %d %s\n", rc, engine.ErrorText().c_str());
            }
            if (rc == 0) {
                const auto written = drive.Domain(3000);
                if (!written || written->bytes != image) {
                    std::fprintf(stderr, "the drive holds another image\n");
                    rc = 1;
                }
            }
            if (rc == 0) {
                const double firmwareRate = kRounds * double(kImageBytes) / firmwareSeconds;
                const double rawRate = kRounds * double(kImageBytes) / rawSeconds;
                std::printf("firmware download: %.0f bytes/s\n", firmwareRate);
                std::printf("raw block write:   %.0f bytes/s\n", rawRate);
                std::printf("ratio: %.3f (goal >= 0.9)\n", firmwareRate / rawRate);
            }
        }
        api.ChannelClose(-2);
    }
    sim.Stop();
    fs::remove_all(root);
    return rc == 0 ? 0 : 1;
}
