// tunova-drivesim: serves simulated drives over a pseudo-terminal (Modbus RTU) and over
// Modbus TCP until interrupted.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/Registry.h"
#include "tools/drivesim/CommServer.h"
#include "tools/drivesim/DriveSim.h"

namespace {

std::atomic<bool> g_stop{false};

void OnSignal(int) {
    g_stop = true;
}

void Usage() {
    std::fprintf(stderr,
                 "usage: tunova-drivesim [--map FILE] [--pty] [--register NAME] [--tcp PORT] [--comm PORT]\n"
                 "  --map FILE       register map of the drives (default: one drive at address 1)\n"
                 "  --pty            serve Modbus RTU on a pseudo-terminal and print its path\n"
                 "  --register NAME  also list the pseudo-terminal as serial port NAME (user scope)\n"
                 "  --tcp PORT       serve Modbus TCP on 127.0.0.1:PORT (0: any free port)\n"
                 "  --comm PORT      serve the communication server (CANopen node 1 on network 0) on\n"
                 "                   127.0.0.1:PORT (the client's default port is 6065)\n");
}

}  // namespace

int main(int argc, char** argv) {
    std::string map, registerName;
    bool pty = false;
    int tcp = -1;
    int comm = -1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--map" && i + 1 < argc) {
            map = argv[++i];
        } else if (arg == "--pty") {
            pty = true;
        } else if (arg == "--register" && i + 1 < argc) {
            registerName = argv[++i];
            pty = true;
        } else if (arg == "--tcp" && i + 1 < argc) {
            tcp = std::atoi(argv[++i]);
        } else if (arg == "--comm" && i + 1 < argc) {
            comm = std::atoi(argv[++i]);
        } else {
            Usage();
            return 2;
        }
    }
    if (!pty && tcp < 0 && comm < 0) {
        Usage();
        return 2;
    }
    drivesim::DriveSim sim;
    std::string error;
    if (!map.empty()) {
        if (!sim.LoadMapFile(map, &error)) {
            std::fprintf(stderr, "%s: %s\n", map.c_str(), error.c_str());
            return 1;
        }
    } else {
        drivesim::SimDrive& drive = sim.AddDrive(1);
        drive.FillRegisters(0, 2000, 0);
        drive.SetRegister(33, 6871);
    }
    if (pty) {
        const std::string path = sim.StartPty(&error);
        if (path.empty()) {
            std::fprintf(stderr, "pty: %s\n", error.c_str());
            return 1;
        }
        std::printf("pty %s\n", path.c_str());
        if (!registerName.empty() &&
            !platform::Registry::Instance().SetString(platform::Scope::User,
                                                      "HARDWARE\\DEVICEMAP\\SERIALCOMM", registerName, path))
            std::fprintf(stderr, "could not register %s\n", registerName.c_str());
    }
    if (tcp >= 0) {
        const int port = sim.StartTcp(static_cast<uint16_t>(tcp), &error);
        if (port < 0) {
            std::fprintf(stderr, "tcp: %s\n", error.c_str());
            return 1;
        }
        std::printf("tcp 127.0.0.1:%d\n", port);
    }
    drivesim::CommServer commServer;
    if (comm >= 0) {
        commServer.AddNode(0, 1);
        const int port = commServer.Start(static_cast<uint16_t>(comm), &error);
        if (port < 0) {
            std::fprintf(stderr, "comm: %s\n", error.c_str());
            return 1;
        }
        std::printf("comm 127.0.0.1:%d\n", port);
    }
    std::fflush(stdout);
    signal(SIGINT, OnSignal);
    signal(SIGTERM, OnSignal);
    while (!g_stop) usleep(100000);
    if (!registerName.empty())
        platform::Registry::Instance().DeleteValue(platform::Scope::User, "HARDWARE\\DEVICEMAP\\SERIALCOMM",
                                                   registerName);
    sim.Stop();
    return 0;
}
