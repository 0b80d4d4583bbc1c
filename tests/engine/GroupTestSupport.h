#pragma once
// Shared set-up of the group, cyclic and node-guard tests: the simulated drive on a
// pseudo-terminal with three legacy drives (slaves 1 and 2 described by "9_1.xml", compact value
// 8; slave 3 by "10_1.xml", compact value 255 and 140 neighbouring registers), the engine with a
// recording sink as its owner window, and a short answer time-out so that silent drives cost
// little real time. The same drives are reached through the communication box when `box` is set.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "engine/Main.h"
#include "engine/MainApi.h"
#include "engine/SerialChannelDriver.h"
#include "foundation/ProgramSwitches.h"
#include "platform/Clock.h"
#include "platform/Messages.h"
#include "tests/engine/EngineTestSupport.h"

namespace grouptest {

namespace fs = std::filesystem;

// Registers of the items of "9_1.xml".
constexpr uint16_t kModbusError = 305;
constexpr uint16_t kA10 = 310, kA11 = 311, kG12 = 312, kA13 = 313;
constexpr uint16_t kB20 = 320, kB21 = 321, kB23 = 323;
constexpr uint16_t kW30 = 330, kW31 = 331, kW32 = 332, kR34 = 334, kW35 = 335;
constexpr uint16_t kL44 = 344, kS50 = 350, kU51 = 351;

inline void SetupGroupDrive(drivesim::SimDrive& drive, uint16_t softwareCode) {
    enginetest::SetupLegacyDrive(drive);
    drive.SetRegister(34, softwareCode);
    drive.SetRegister(40, 0);         // the node guard's probe on serial channels
    drive.SetRegisters(100, {0, 0});  // and behind the box
    drive.SetRegister(kModbusError, 0);
    drive.FillRegisters(300, 60, 0);
    drive.FillRegisters(3000, 140, 0);
}

// Waits (real time, generous) until the condition holds; false on time-out.
inline bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 20000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

class GroupEngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"9_1.xml", "10_1.xml"})
            fs::copy_file(fs::path(TUNOVA_FIXTURES) / "engine" / "groups" / name,
                          tree.Root() / "tree" / name);
        SetupGroupDrive(sim.AddDrive(1), 9);
        SetupGroupDrive(sim.AddDrive(2), 9);
        SetupGroupDrive(sim.AddDrive(3), 10);
        std::string error;
        engine::CChannelInfo info;
        if (box) {
            const int tcpPort = sim.StartTcp(0, &error);
            ASSERT_GT(tcpPort, 0) << error;
            foundation::g_MirelBox = true;
            engine.CreateChannels(info);
            channel = enginetest::FindChannel(engine, "Mirel");
            ASSERT_GE(channel, 0);
            ASSERT_EQ(api.SelectChannel(channel), 0);
            engine::CChannelSettings settings;
            settings.words[0] = 0x7F000001;  // loopback
            settings.words[1] = 300;         // answer time-out, ms
            settings.words[2] = static_cast<uint32_t>(tcpPort);
            ASSERT_EQ(api.ChannelConfigure(settings), 0);
            return;
        }
        port = sim.StartPty(&error);
        ASSERT_FALSE(port.empty()) << error;
        enginetest::RegisterPort("groupsim", port);
        engine.CreateChannels(info);
        channel = enginetest::FindChannel(engine, port);
        ASSERT_GE(channel, 0);
        ASSERT_EQ(api.SelectChannel(channel), 0);
        Serial().Rtu().GetSettings().receiveTimeout = 200;
    }

    void TearDown() override {
        engine.JoinBackgroundThreads();
        api.ChannelClose(-2);
        sim.Stop();
        if (box)
            foundation::g_MirelBox = false;
        else
            enginetest::UnregisterPort("groupsim");
    }

    engine::CChannelDriver& Driver() { return *engine.Channel(channel)->driver; }
    engine::CSerialChannelDriver& Serial() {
        return *static_cast<engine::CSerialChannelDriver*>(engine.Channel(channel)->driver.get());
    }

    // Connects the node and makes it the current one.
    void Connect(uint8_t nodeId) {
        foundation::CCompatChecker checker;
        BSTR text = nullptr;
        uint32_t address = 0;
        ASSERT_EQ(engine.NodeConnect(checker, &text, &address, nodeId, channel), 0) << engine.ErrorText();
        SysFreeString(text);
        Select(nodeId);
    }
    void Select(uint8_t nodeId) {
        ASSERT_EQ(engine.SelectNode(nodeId, channel), 0);
        engine.SetCurrentNodeAddress(nodeId);
    }

    // Messages of the sink with that message number, delivered so far.
    std::vector<platform::Message> Delivered(unsigned message) {
        platform::PumpMessages();
        std::vector<platform::Message> out;
        for (const platform::Message& m : sink.Messages())
            if (m.msg == message) out.push_back(m);
        return out;
    }

    engine::CNodo& Node(uint8_t nodeId) { return *engine.Node(engine.FindNode(nodeId, channel)); }
    drivesim::SimDrive& Drive(uint8_t slave) { return *sim.Drive(slave); }
    uint16_t Reg(uint8_t slave, uint16_t address) { return Drive(slave).Register(address).value_or(0xDEAD); }

    // Set by fixtures of the communication box (Modbus TCP) before SetUp.
    bool box = false;
    enginetest::DescriptionTree tree;
    enginetest::PromptScope prompts;
    drivesim::DriveSim sim;
    // Outlives the engine, which may read it until it is destroyed.
    platform::FakeClock clock{100000};
    platform::RecordingSink sink;
    std::string port;
    engine::CMainApi api{sink.Handle()};
    engine::CMain& engine = *api.Engine();
    int channel = -1;
};

}  // namespace grouptest
