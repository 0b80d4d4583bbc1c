// Named reads through the engine against raw register reads of the same registers, both over
// Modbus TCP against the simulated drive in one run. Prints reads per second and their ratio.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "bench/EngineBenchSupport.h"
#include "engine/ConfigFileIndex.h"
#include "engine/Main.h"
#include "engine/MainApi.h"
#include "foundation/Authorizations.h"
#include "foundation/BrandList.h"
#include "foundation/CompatChecker.h"
#include "foundation/ProgramFolders.h"
#include "foundation/ProgramSwitches.h"
#include "tools/drivesim/DriveSim.h"
#include "transport/ModbusTcp.h"

using namespace foundation;
using namespace transport;
using namespace engine;

namespace fs = std::filesystem;

namespace {

constexpr const char* kDescription = R"(<?xml version="1.0" encoding="utf-8"?>
<DEVICE hw="5" sw="2" sw_ver="1" build="0" version="1" xml_ver="3">
	<Description>Benchmark drive</Description>
	<ClientList oem="124203"><Client name="Orvalis"/></ClientList>
	<DICTIONARY>
		<ITEM id="1" name="Pos32" size="4" signed="1" modbusaddress="1004" read="1" write="1"/>
	</DICTIONARY>
</DEVICE>
)";

constexpr int kReads = 10000;

void PrepareFolders(const fs::path& root) {
    bench_support::PrepareEngineFolders(root, kDescription);
}

void SetupDrive(drivesim::SimDrive& drive) {
    bench_support::SetupIdentifiedDrive(drive);
    drive.SetRegisters(1004, {0x5678, 0x1234});
}

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
    const fs::path root = fs::temp_directory_path() / ("tunova_bench_engine_" + std::to_string(getpid()));
    PrepareFolders(root);

    drivesim::DriveSim sim;
    SetupDrive(sim.AddDrive(1));
    std::string error;
    const int port = sim.StartTcp(0, &error);
    if (port <= 0) {
        std::fprintf(stderr, "simulated drive: %s\n", error.c_str());
        return 1;
    }

    int rc = 0;
    {
        g_MirelBox = true;
        CMainApi api(0);
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
            CModbusTcp raw;
            raw.SetBoxAddress(0x7F000001);
            raw.SetPort(static_cast<uint16_t>(port));
            raw.Connect();

            // Warm both paths, then time them in alternating rounds so that load hits both alike.
            uint32_t value = 0;
            uint8_t bytes[4];
            for (int i = 0; i < 200; ++i) {
                api.ReadCell("Pos32", &value);
                raw.ReadRegisters(1004, 2, bytes, sizeof bytes, 1);
            }
            double engineSeconds = 0;
            double rawSeconds = 0;
            int failures = 0;
            for (int round = 0; round < 10; ++round) {
                auto start = std::chrono::steady_clock::now();
                for (int i = 0; i < kReads / 10; ++i)
                    if (api.ReadCell("Pos32", &value) != 0) ++failures;
                engineSeconds += Seconds(start);
                start = std::chrono::steady_clock::now();
                for (int i = 0; i < kReads / 10; ++i)
                    if (raw.ReadRegisters(1004, 2, bytes, sizeof bytes, 1) != 4) ++failures;
                rawSeconds += Seconds(start);
            }
            const double engineRate = kReads / engineSeconds;
            const double rawRate = kReads / rawSeconds;
            std::printf("named reads (engine, box channel): %10.0f reads/s\n", engineRate);
            std::printf("raw CModbusTcp register reads:     %10.0f reads/s\n", rawRate);
            std::printf("ratio engine/raw:                  %10.3f (goal >= 0.9)\n", engineRate / rawRate);
            if (failures != 0) {
                std::fprintf(stderr, "%d reads failed\n", failures);
                rc = 1;
            }
        }
    }
    sim.Stop();
    GetBrandList().RemoveAll();
    std::error_code ec;
    fs::remove_all(root, ec);
    return rc == 0 ? 0 : 1;
}
