#pragma once

#include "TransportTestUtil.h"
#include "transport/ModbusTcp.h"

namespace transport_test {

// The serial channel on the simulator's pseudo-terminal.
struct RtuSide {
    static constexpr bool kSerial = true;
    transport::CErrorPair owner;
    transport::CModbusRtu channel{&owner};
    bool Start(drivesim::DriveSim& sim, uint32_t timeoutMs = 500) {
        const std::string path = sim.StartPty(nullptr);
        ConfigureRtu(channel, path, timeoutMs);
        return !path.empty() && channel.Connect(true) == 0;
    }
    // What a failed register exchange reports on this channel.
    static int ExchangeFailure(int serialCode) { return serialCode; }
};

// The box channel on the simulator's Modbus TCP port.
struct TcpSide {
    static constexpr bool kSerial = false;
    transport::CErrorPair owner;
    transport::CModbusTcp channel{&owner};
    bool Start(drivesim::DriveSim& sim, uint32_t timeoutMs = 500) {
        const int port = sim.StartTcp(0, nullptr);
        channel.SetBoxAddress(0x7F000001);
        channel.SetPort(static_cast<uint16_t>(port));
        channel.SetBoxTimeout(timeoutMs);
        return port > 0 && channel.Connect() == 0;
    }
    static int ExchangeFailure(int) { return -1; }
};

}  // namespace transport_test
