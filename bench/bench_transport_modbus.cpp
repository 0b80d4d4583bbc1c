// Reads of two registers through our Modbus channels and through libmodbus against the same
// simulated drive: over Modbus TCP and over RTU on a pseudo-terminal. Prints reads per second
// and the ratio ours/libmodbus.
#include <errno.h>
#include <modbus/modbus.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "tools/drivesim/DriveSim.h"
#include "transport/ModbusRtu.h"
#include "transport/ModbusTcp.h"

using namespace transport;

namespace {

constexpr int kReads = 10000;

// Reads per second of kReads calls of read; -1 when a read failed.
double Measure(const char* name, const std::function<bool()>& read) {
    for (int i = 0; i < 100; ++i)
        if (!read()) {
            std::printf("%-28s failed during warm-up\n", name);
            return -1;
        }
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kReads; ++i)
        if (!read()) {
            std::printf("%-28s failed at read %d\n", name, i);
            return -1;
        }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double rate = kReads / seconds;
    std::printf("%-28s %8.0f reads/s (%d reads in %.3f s)\n", name, rate, kReads, seconds);
    return rate;
}

void Ratio(const char* what, double ours, double theirs) {
    if (ours > 0 && theirs > 0) std::printf("%-28s %8.2f (goal >= 0.90)\n", what, ours / theirs);
}

}  // namespace

int main() {
    drivesim::DriveSim sim;
    sim.AddDrive(1).FillRegisters(0, 100, 0x1234);
    std::string error;
    const int port = sim.StartTcp(0, &error);
    const std::string pty = sim.StartPty(&error);
    if (port < 0 || pty.empty()) {
        std::fprintf(stderr, "simulated drive: %s\n", error.c_str());
        return 1;
    }

    // Modbus TCP
    CModbusTcp box;
    box.SetBoxAddress(0x7F000001);
    box.SetPort(static_cast<uint16_t>(port));
    if (box.Connect() != 0) {
        std::fprintf(stderr, "box: %s\n", box.ErrorText().c_str());
        return 1;
    }
    uint16_t values[2];
    const double oursTcp =
        Measure("CModbusTcp", [&] { return box.ReadRegisters(10, 2, values, sizeof values, 1) == 4; });
    box.Disconnect();

    modbus_t* tcp = modbus_new_tcp("127.0.0.1", port);
    modbus_set_slave(tcp, 1);
    if (modbus_connect(tcp) != 0) {
        std::fprintf(stderr, "libmodbus tcp: %s\n", modbus_strerror(errno));
        return 1;
    }
    const double theirTcp =
        Measure("libmodbus TCP", [&] { return modbus_read_registers(tcp, 10, 2, values) == 2; });
    modbus_close(tcp);
    modbus_free(tcp);

    // Modbus RTU on the pseudo-terminal
    CModbusRtu rtu;
    rtu.GetSettings().portName = pty;
    if (rtu.Connect(true) != 0) {
        std::fprintf(stderr, "rtu: %s\n", rtu.GetErrorText(0).c_str());
        return 1;
    }
    const double oursRtu = Measure("CModbusRtu", [&] { return rtu.ReadRegisters(10, 2, values, 1) == 0; });
    rtu.Disconnect();

    modbus_t* serial = modbus_new_rtu(pty.c_str(), 57600, 'E', 8, 1);
    modbus_set_slave(serial, 1);
    if (modbus_connect(serial) != 0) {
        std::fprintf(stderr, "libmodbus rtu: %s\n", modbus_strerror(errno));
        return 1;
    }
    const double theirRtu =
        Measure("libmodbus RTU", [&] { return modbus_read_registers(serial, 10, 2, values) == 2; });
    modbus_close(serial);
    modbus_free(serial);

    Ratio("ratio TCP ours/libmodbus", oursTcp, theirTcp);
    Ratio("ratio RTU ours/libmodbus", oursRtu, theirRtu);
    sim.Stop();
    return 0;
}
