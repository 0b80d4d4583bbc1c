#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tools/drivesim/BridgeServer.h"
#include "transport/BridgeVkr.h"

namespace bridge_test {

// Short waits so that time-out paths finish quickly; generous enough for a loaded machine.
inline transport::CBridgeTimings FastTimings() {
    transport::CBridgeTimings t;
    t.identifyWaitMs = 3000;
    t.channelFreeWaitMs = 300;
    t.keepAliveMinMs = 100;
    t.keepAliveMaxMs = 200;
    return t;
}

inline std::unique_ptr<drivesim::BridgeServer> StartServer(drivesim::BridgeServerConfig config = {}) {
    auto server = std::make_unique<drivesim::BridgeServer>(std::move(config));
    std::string error;
    EXPECT_GT(server->Start(0, &error), 0) << error;
    return server;
}

// A CANopen node 5 on bus 1 and an EtherCAT node 0x1001 on bus 2, both identifiable.
inline void AddStandardNodes(drivesim::BridgeServer& server) {
    drivesim::BridgeSimNode& can = server.AddNode(1, 5);
    can.state = 5;
    can.SetU16(0x5FFD, 14, 6871);
    can.SetU16(0x5FF2, 1, 0xFFFF);
    can.SetU16(0x5FFB, 1, 300);   // boot code
    can.SetU16(0x5FFD, 4, 2);     // boot version
    can.SetU16(0x5FFD, 12, 0);    // boot build
    can.SetU16(0x5FFB, 2, 1200);  // firmware code
    can.SetU16(0x5FFD, 7, 5);     // firmware version
    can.SetU16(0x5FFD, 13, 3);    // firmware build
    can.SetU16(0x5FFD, 11, 2);    // running program: firmware
    can.SetU32(0x5FFD, 10, 77);   // hardware code
    can.SetU16(0x5FFD, 1, 1);     // hardware version
    can.SetU32(0x6064, 0, 0x12345678);
    drivesim::BridgeSimNode& eth = server.AddNode(2, 0x1001);
    eth.state = 5;  // operational in the bridge's numbering
    eth.SetU16(0x5FFD, 14, 6871);
    eth.SetU16(0x5FF2, 1, 1);
    eth.SetText(0x1009, 0, "Hardware 77 v.1.0.0");
    eth.SetText(0x100A, 0, "Firmware 1300 v.4.2.0");
    eth.SetU16(0x5FFD, 4, 19);
    eth.esc[0x500] = 0;
}

}  // namespace bridge_test
