// tunova-drivesim: serves simulated drives over a pseudo-terminal (Modbus RTU), Modbus TCP, the
// fieldbus bridge protocol, ADS and the communication server until SIGINT or SIGTERM.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/Registry.h"
#include "tools/drivesim/AdsServer.h"
#include "tools/drivesim/BridgeServer.h"
#include "tools/drivesim/CommServer.h"
#include "tools/drivesim/DriveSim.h"
#include "tools/drivesim/SimDriveModel.h"
#include "tools/drivesim/SimSwitches.h"
#include "tools/drivesim/SimWiring.h"

namespace {

constexpr const char* kSerialKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr uint16_t kAdsSlave = 1001;

void Usage() {
    std::fprintf(
        stderr,
        "usage: tunova-drivesim [--description FILE | --map FILE] [--inject SWITCH]... [--pty]\n"
        "                       [--register NAME] [--tcp PORT] [--bridge PORT] [--ads PORT] [--comm PORT]\n"
        "  --description FILE  the drive description the drive at address 1 behaves by (default: the\n"
        "                   simulated drive's own, from the program's data folder or the source tree)\n"
        "  --map FILE       register map of the drives (its 'description' lines make drives behave)\n"
        "  --inject SWITCH  make the described drives misbehave: no-answer[=AFTER[:FOR]], state=N,\n"
        "                   stuck-state, mode-stuck, no-hw-enable, fault[=BITS], refuse=CMD[:ERR],\n"
        "                   refuse-always=CMD[:ERR], fail=CMD[:ERR], hang=CMD, busy[=CMD],\n"
        "                   slow-eeprom[=MS], no-system-manager (see tools/drivesim/SimSwitches.h)\n"
        "  --pty            serve Modbus RTU on a pseudo-terminal\n"
        "  --register NAME  also list the pseudo-terminal as serial port NAME (user scope) until\n"
        "                   the program ends; implies --pty\n"
        "  --tcp PORT       serve Modbus TCP on 127.0.0.1:PORT\n"
        "  --bridge PORT    serve the fieldbus bridge on 127.0.0.1:PORT (the client's default\n"
        "                   port is 4560): CANopen node 5 on bus 1, EtherCAT node 0x1001 on bus 2\n"
        "  --ads PORT       serve ADS on 127.0.0.1:PORT (the client's default port is 48898):\n"
        "                   NetId 5.1.2.3.1.1, one EtherCAT slave at address 1001 whose browse\n"
        "                   and identity objects are those of the first drive\n"
        "  --comm PORT      serve the communication server (CANopen node 1 on network 0) on\n"
        "                   127.0.0.1:PORT (the client's default port is 6065)\n"
        "A PORT of 0 takes any free port. One line per endpoint goes to standard output:\n"
        "\"pty /dev/pts/N\", \"tcp 127.0.0.1:P\", \"bridge 127.0.0.1:P\", \"ads 127.0.0.1:P\",\n"
        "\"ads-route <NetId> 127.0.0.1 P\" (the line for the ADS route table), \"comm 127.0.0.1:P\".\n");
}

// A port number 0..65535, digits only.
bool ParsePort(const char* text, int& port) {
    if (!*text || std::strlen(text) > 5) return false;
    int value = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9') return false;
        value = value * 10 + (*p - '0');
    }
    if (value > 65535) return false;
    port = value;
    return true;
}

// The bridge's nodes: one CANopen and one EtherCAT drive, both identifiable; with a described
// drive both are that drive.
void AddBridgeNodes(drivesim::BridgeServer& server, const std::shared_ptr<drivesim::SimDriveModel>& model) {
    drivesim::BridgeSimNode& can = server.AddNode(1, 5);
    can.state = 5;
    can.SetU16(0x5FFD, 14, 6871);   // vendor
    can.SetU16(0x5FF2, 1, 0xFFFF);  // no version browse: version objects
    can.SetU16(0x5FFB, 1, 300);     // boot code
    can.SetU16(0x5FFD, 4, 2);       // boot version
    can.SetU16(0x5FFD, 12, 0);      // boot build
    can.SetU16(0x5FFB, 2, 1200);    // firmware code
    can.SetU16(0x5FFD, 7, 5);       // firmware version
    can.SetU16(0x5FFD, 13, 3);      // firmware build
    can.SetU16(0x5FFD, 11, 2);      // running program: firmware
    can.SetU32(0x5FFD, 10, 77);     // hardware code
    can.SetU16(0x5FFD, 1, 1);       // hardware version
    can.SetU32(0x6064, 0, 0);       // position actual value
    drivesim::BridgeSimNode& eth = server.AddNode(2, 0x1001);
    eth.state = 5;
    eth.SetU16(0x5FFD, 14, 6871);
    eth.SetU16(0x5FF2, 1, 1);
    eth.SetText(0x1009, 0, "Hardware 77 v.1.0.0");
    eth.SetText(0x100A, 0, "Firmware 1300 v.4.2.0");
    eth.SetU16(0x5FFD, 4, 19);
    eth.SetU32(0x6064, 0, 0);
    eth.esc[0x500] = 0;
    if (model) {
        drivesim::DescribeBridgeNode(can, model);
        drivesim::DescribeBridgeNode(eth, model);
    }
}

drivesim::SimDrive* FirstDrive(drivesim::DriveSim& sim) {
    for (int slave = 0; slave <= 255; ++slave)
        if (drivesim::SimDrive* drive = sim.Drive(static_cast<uint8_t>(slave))) return drive;
    return nullptr;
}

// Lists the pseudo-terminal as a serial port while it lives.
class PortRegistration {
  public:
    PortRegistration() = default;
    PortRegistration(const PortRegistration&) = delete;
    PortRegistration& operator=(const PortRegistration&) = delete;
    ~PortRegistration() { Remove(); }
    bool Add(const std::string& name, const std::string& path) {
        if (!platform::Registry::Instance().SetString(platform::Scope::User, kSerialKey, name, path))
            return false;
        name_ = name;
        return true;
    }
    void Remove() {
        if (name_.empty()) return;
        if (!platform::Registry::Instance().DeleteValue(platform::Scope::User, kSerialKey, name_))
            std::fprintf(stderr, "could not unregister %s\n", name_.c_str());
        name_.clear();
    }

  private:
    std::string name_;
};

}  // namespace

int main(int argc, char** argv) {
    std::string map, registerName, description;
    drivesim::SimSwitches switches;
    bool injected = false;
    bool pty = false;
    int tcp = -1, bridge = -1, ads = -1, comm = -1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--map" && hasValue && description.empty()) {
            map = argv[++i];
        } else if (arg == "--description" && hasValue && *argv[i + 1] && map.empty()) {
            description = argv[++i];
        } else if (arg == "--inject" && hasValue) {
            std::string error;
            if (!drivesim::ParseSwitch(argv[++i], switches, &error)) {
                std::fprintf(stderr, "%s\n", error.c_str());
                Usage();
                return 2;
            }
            injected = true;
        } else if (arg == "--pty") {
            pty = true;
        } else if (arg == "--register" && hasValue && *argv[i + 1]) {
            registerName = argv[++i];
            pty = true;
        } else if (arg == "--tcp" && hasValue && ParsePort(argv[i + 1], tcp)) {
            ++i;
        } else if (arg == "--bridge" && hasValue && ParsePort(argv[i + 1], bridge)) {
            ++i;
        } else if (arg == "--ads" && hasValue && ParsePort(argv[i + 1], ads)) {
            ++i;
        } else if (arg == "--comm" && hasValue && ParsePort(argv[i + 1], comm)) {
            ++i;
        } else {
            Usage();
            return 2;
        }
    }
    if (!pty && tcp < 0 && bridge < 0 && ads < 0 && comm < 0) {
        Usage();
        return 2;
    }

    // Blocked before any server thread starts, so that every thread inherits the mask and
    // the signals wait for sigwait below: a signal arriving early still ends the program cleanly.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);  // a reader of our output that went away must not end the servers

    // Declared so that the servers lending the drives stop before the drives go, and the
    // registration goes first.
    drivesim::DriveSim sim;
    drivesim::BridgeServer bridgeServer;
    drivesim::AdsServer adsServer;
    drivesim::CommServer commServer;
    PortRegistration registration;

    std::string error;
    if (!map.empty()) {
        if (!sim.LoadMapFile(map, &error)) {
            std::fprintf(stderr, "%s: %s\n", map.c_str(), error.c_str());
            return 1;
        }
    } else {
        const std::filesystem::path file =
            description.empty() ? drivesim::DefaultDescriptionPath() : std::filesystem::path(description);
        drivesim::SimDrive& drive = sim.AddDrive(1);
        if (file.empty()) {
            std::fprintf(stderr,
                         "the simulated drive's description is not installed: serving plain registers\n");
            drive.FillRegisters(0, 2000, 0);
            drive.SetRegister(33, 6871);
        } else {
            auto model = std::make_shared<drivesim::SimDriveModel>();
            if (!model->Load(file, &error)) {
                std::fprintf(stderr, "%s: %s\n", file.c_str(), error.c_str());
                return 1;
            }
            drivesim::DescribeModbusDrive(drive, model);
            std::fprintf(stderr, "drive 1 described by %s\n", file.c_str());
        }
    }
    std::shared_ptr<drivesim::SimDriveModel> model;  // the drive the fieldbus wires serve
    bool described = false;
    for (int slave = 0; slave <= 255; ++slave) {
        drivesim::SimDrive* drive = sim.Drive(static_cast<uint8_t>(slave));
        std::shared_ptr<drivesim::SimDriveModel> m = drive ? drive->Model() : nullptr;
        if (!m) continue;
        if (!model) model = m;
        described = true;
        if (injected && !m->Apply(switches, &error)) {
            std::fprintf(stderr, "--inject: %s\n", error.c_str());
            return 1;
        }
    }
    if (injected && !described) {
        std::fprintf(stderr, "--inject needs a described drive\n");
        return 1;
    }
    if (pty) {
        const std::string path = sim.StartPty(&error);
        if (path.empty()) {
            std::fprintf(stderr, "pty: %s\n", error.c_str());
            return 1;
        }
        std::printf("pty %s\n", path.c_str());
        if (!registerName.empty() && !registration.Add(registerName, path)) {
            std::fprintf(stderr, "could not register %s: %s\n", registerName.c_str(),
                         platform::Registry::Instance().LastError().c_str());
            return 1;
        }
    }
    if (tcp >= 0) {
        const int port = sim.StartTcp(static_cast<uint16_t>(tcp), &error);
        if (port < 0) {
            std::fprintf(stderr, "tcp: %s\n", error.c_str());
            return 1;
        }
        std::printf("tcp 127.0.0.1:%d\n", port);
    }
    if (bridge >= 0) {
        AddBridgeNodes(bridgeServer, model);
        const int port = bridgeServer.Start(static_cast<uint16_t>(bridge), &error);
        if (port < 0) {
            std::fprintf(stderr, "bridge: %s\n", error.c_str());
            return 1;
        }
        std::printf("bridge 127.0.0.1:%d\n", port);
    }
    if (ads >= 0) {
        drivesim::EcatSlave& slave = adsServer.AddDriveSlave(kAdsSlave, "Simulated drive",
                                                             "Hardware 12 v.1.0.0", "Firmware 1234 v.2.3.1");
        slave.registers = FirstDrive(sim);
        if (model) drivesim::DescribeEcatSlave(slave, model);
        const int port = adsServer.Start(static_cast<uint16_t>(ads), &error);
        if (port < 0) {
            std::fprintf(stderr, "ads: %s\n", error.c_str());
            return 1;
        }
        const uint8_t* id = adsServer.NetId().b;
        std::printf("ads 127.0.0.1:%d\n", port);
        std::printf("ads-route %u.%u.%u.%u.%u.%u 127.0.0.1 %d\n", id[0], id[1], id[2], id[3], id[4], id[5],
                    port);
    }
    if (comm >= 0) {
        if (model)
            drivesim::DescribeCommNode(commServer, 0, 1, model);
        else
            commServer.AddNode(0, 1);
        const int port = commServer.Start(static_cast<uint16_t>(comm), &error);
        if (port < 0) {
            std::fprintf(stderr, "comm: %s\n", error.c_str());
            return 1;
        }
        std::printf("comm 127.0.0.1:%d\n", port);
    }
    std::fflush(stdout);

    int received = 0;
    while (sigwait(&stopSignals, &received) != 0) {
    }
    registration.Remove();
    commServer.Stop();
    adsServer.Stop();
    bridgeServer.Stop();
    sim.Stop();
    return 0;
}
