#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/BridgeChannelDriver.h"
#include "engine/GroupRecords.h"
#include "engine/Main.h"
#include "engine/MainApi.h"
#include "foundation/CompatChecker.h"
#include "platform/Prompt.h"
#include "tests/engine/FieldbusTestSupport.h"
#include "tools/drivesim/BridgeServer.h"
#include "transport/BridgeVkr.h"

using namespace foundation;
using namespace transport;
using namespace engine;
using namespace enginetest;

namespace {

constexpr uint32_t kLoopback = 0x7F000001;
constexpr uint16_t kNode = 5;

// The engine's bridge channel against the simulated bridge with one CANopen drive on bus 1.
class BridgeEngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        UseFieldbusDescription(tree);
        server = std::make_unique<drivesim::BridgeServer>(drivesim::BridgeServerConfig{});
        drivesim::BridgeSimNode& n = server->AddNode(1, kNode);
        n.state = 5;
        n.SetU16(0x5FFD, 14, 6871);
        n.SetU16(0x5FF2, 1, 1);
        n.SetText(0x1009, 0, "Hardware 7 v.1.0.0");
        n.SetText(0x100A, 0, "Firmware 3 v.2.1.0");
        n.SetU16(0x5FFD, 1, 1);
        n.SetU16(0x5FFD, 4, 1);
        n.SetU16(0x2002, 0, 0x1234);
        n.SetU32(0x2004, 0, 0xFFFFFFFE);
        n.objects[0x2006 << 8 | 1] = {0x80};
        n.SetU16(0x2007, 0, 7);
        n.objects[0x2010 << 8] = std::vector<uint8_t>(300, 0x5A);
        std::string error;
        ASSERT_GT(server->Start(0, &error), 0) << error;

        CChannelInfo info;
        engine.CreateChannels(info);
        channel = engine.AddChannel("Bridge", channel_type::kBridge, "");
        ASSERT_GE(channel, 0);
        ASSERT_EQ(api.SelectChannel(channel), 0);
        CBridgeCodesys& manager = Driver().Manager();
        manager.SetBridgePort(static_cast<uint16_t>(server->Port()));
        CBridgeTimings timings;
        timings.identifyWaitMs = 3000;
        timings.channelFreeWaitMs = 300;
        timings.keepAliveMinMs = 100;
        timings.keepAliveMaxMs = 200;
        manager.SetBridgeTimings(timings);
        CChannelSettings settings;
        settings.words = {kLoopback, 2, 0, kNode, 0, 0, 0};
        ASSERT_EQ(api.ChannelConfigure(settings), 0);
        prompts.Prompts().PushAnswer(platform::IDOK);
        ASSERT_EQ(api.ChannelOpen(settings, 0), platform::IDOK) << engine.ErrorText();
    }
    void TearDown() override {
        api.ChannelClose(-2);
        server->Stop();
    }

    int Connect() {
        CCompatChecker checker;
        BSTR text = nullptr;
        uint32_t address = 0;
        const int rc = engine.NodeConnect(checker, &text, &address, kNode, channel);
        SysFreeString(text);
        return rc;
    }
    CBridgeChannelDriver& Driver() {
        return *static_cast<CBridgeChannelDriver*>(engine.Channel(channel)->driver.get());
    }

    DescriptionTree tree;
    PromptScope prompts;
    std::unique_ptr<drivesim::BridgeServer> server;
    CMainApi api{0};
    CMain& engine = *api.Engine();
    int channel = -1;
};

TEST_F(BridgeEngineTest, NodeIdentifiedAndNamedReadsAndWrites) {
    ASSERT_EQ(Connect(), 0) << engine.ErrorText();
    const int slot = engine.FindNode(kNode, channel);
    ASSERT_GE(slot, 0);
    EXPECT_EQ(engine.Node(slot)->hardwareCode, 7u);
    EXPECT_EQ(engine.Node(slot)->softwareCode, 3u);
    struct Case {
        const char* name;
        uint32_t expected;
    } reads[] = {{"Word16u", 0x1234}, {"Pos32", 0xFFFFFFFEu}, {"Byte8s", 0xFFFFFF80u}, {"ReadOnly16", 7}};
    for (const Case& c : reads) {
        uint32_t value = 0;
        EXPECT_EQ(engine.ReadCell(c.name, &value), 0) << c.name << " " << engine.ErrorText();
        EXPECT_EQ(value, c.expected) << c.name;
    }
    uint32_t value = 0xBEEF, back = 0;
    EXPECT_EQ(engine.WriteCell("Word16u", &value), 0) << engine.ErrorText();
    EXPECT_EQ(engine.ReadCell("Word16u", &back), 0);
    EXPECT_EQ(back, 0xBEEFu);
    EXPECT_EQ(engine.WriteCell("ReadOnly16", &value), -309);
    EXPECT_EQ(engine.ReadCell("NoBus16", &back), -303);
}

// The channel's time-out field lifts the node's own answer time-out for a long operation and
// gives it back.
TEST_F(BridgeEngineTest, TheChannelTimeOutOutlastsTheNodesOwn) {
    ASSERT_EQ(Connect(), 0) << engine.ErrorText();
    // Longer than the client's own wait for an answer (its base of 2 s) and the node's.
    drivesim::BridgeFault slow;
    slow.kind = drivesim::BridgeFault::Delay;
    slow.param = 3000;
    uint32_t value = 0;
    Driver().SetTimeoutMs(10000);
    server->InjectFault(slow);
    EXPECT_EQ(engine.ReadCell("Word16u", &value), 0) << engine.ErrorText();
    EXPECT_EQ(value, 0x1234u);
    Driver().SetTimeoutMs(0);
    server->InjectFault(slow);
    EXPECT_NE(engine.ReadCell("Word16u", &value), 0);
}

TEST_F(BridgeEngineTest, BlocksAndGroups) {
    ASSERT_EQ(Connect(), 0) << engine.ErrorText();
    std::vector<uint8_t> buffer(400);
    uint32_t count = static_cast<uint32_t>(buffer.size());
    EXPECT_EQ(engine.UploadCell("Block", buffer.data(), &count), 0) << engine.ErrorText();
    EXPECT_EQ(buffer[299], 0x5A);
    std::vector<uint8_t> data(64, 0x11);
    EXPECT_EQ(engine.DownloadCell("Block", data.data(), 64), 0) << engine.ErrorText();

    uint32_t word = 0;
    int32_t result = -1;
    int group = -1;
    EXPECT_GT(engine.VariableAdd(0, 0, &group, "Word16u", 0, &word, 4, &result, nullptr), 0)
        << engine.ErrorText();
    EXPECT_GT(group, 0);
    EXPECT_EQ(engine.GroupExecuteOnce(0, 0, group), 0) << engine.ErrorText();
    EXPECT_EQ(word, 0x1234u);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(engine.GroupClear(&group), 0);
    EXPECT_EQ(engine.GroupRemove(group), 0);
    EXPECT_EQ(engine.GroupRemoveAll(), 0);
}

TEST_F(BridgeEngineTest, GuardFollowsTheConnection) {
    ASSERT_EQ(Connect(), 0) << engine.ErrorText();
    CNodo& node = *engine.Node(engine.FindNode(kNode, channel));
    ASSERT_TRUE(node.Lock());
    EXPECT_EQ(engine.ArmNodeGuard(*engine.Channel(channel), node), 0);
    EXPECT_TRUE(Driver().GuardAlive(node));
    EXPECT_FALSE(Driver().GuardBroken());
    Driver().GuardClose();
    EXPECT_FALSE(Driver().GuardAlive(node));
    EXPECT_TRUE(Driver().GuardBroken());
    node.Unlock();
}

}  // namespace
