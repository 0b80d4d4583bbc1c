#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/AdsChannelDriver.h"
#include "engine/GroupRecords.h"
#include "engine/Main.h"
#include "engine/MainApi.h"
#include "foundation/CompatChecker.h"
#include "platform/Messages.h"
#include "platform/Prompt.h"
#include "tests/engine/FieldbusTestSupport.h"
#include "tools/drivesim/AdsServer.h"

using namespace foundation;
using namespace engine;
using namespace enginetest;

namespace {

constexpr uint16_t kSlave = 1001;

drivesim::CoeObject Object(std::vector<uint8_t> bytes) {
    drivesim::CoeObject o;
    o.bytes = std::move(bytes);
    return o;
}

// The engine's TwinCAT channel against the simulated EtherCAT network, reached through the ADS
// library of the program folder and a route table in the temporary tree.
class AdsEngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        PutInProgramFolder(tree, TUNOVA_ADS_LIBRARY, "libTcAdsDll.so");
        UseFieldbusDescription(tree);
        // The network is complete before the server's thread starts.
        drivesim::EcatSlave& s =
            server.AddDriveSlave(kSlave, "Servo", "Hardware 7 v.1.0.0", "Firmware 3 v.2.1.0");
        s.SetU16(0x5FF2, 0x01, 1);  // identity protocol: the texts tell the identity
        s.SetU16(0x2002, 0, 0x1234);
        s.SetObject(0x2004, 0, Object({0xFE, 0xFF, 0xFF, 0xFF}));
        s.SetObject(0x2006, 1, Object({0x80}));
        s.SetU16(0x2007, 0, 7, false);
        drivesim::CoeObject block = Object(std::vector<uint8_t>(300, 0x5A));
        block.variableSize = true;
        s.SetObject(0x2010, 0, block);
        server.AddSlave(1002).SetU16(0x5FFD, 0x0E, 6870);  // a foreign vendor
        std::string error;
        const int port = server.Start(0, &error);
        ASSERT_GT(port, 0) << error;
        routes = tree.Root() / "temp" / "ads-routes";
        std::ofstream(routes) << "local 10.9.8.7.1.1\n5.1.2.3.1.1 127.0.0.1 " << port << "\n";
        setenv("TUNOVA_ADS_ROUTES", routes.c_str(), 1);

        CChannelInfo info;
        engine.CreateChannels(info);
        channel = FindChannel(engine, "TwinCAT");
        ASSERT_GE(channel, 0);
        ASSERT_EQ(engine.Channel(channel)->available, 1);
        ASSERT_EQ(api.SelectChannel(channel), 0);
        CChannelSettings settings;
        const uint8_t netId[6] = {5, 1, 2, 3, 1, 1};
        std::memcpy(settings.words.data(), netId, 6);
        ASSERT_EQ(api.ChannelConfigure(settings), 0);
        prompts.Prompts().PushAnswer(platform::IDOK, kSlave);
        ASSERT_EQ(api.ChannelOpen(settings, 0), platform::IDOK);
    }
    void TearDown() override {
        api.ChannelClose(-2);
        server.Stop();
        unsetenv("TUNOVA_ADS_ROUTES");
    }

    int Connect() {
        CCompatChecker checker;
        BSTR text = nullptr;
        uint32_t address = 0;
        const int rc = engine.NodeConnect(checker, &text, &address, 0, channel);
        SysFreeString(text);
        if (rc == 0) {
            EXPECT_EQ(address, kSlave);
        }
        return rc;
    }
    CAdsChannelDriver& Driver() {
        return *static_cast<CAdsChannelDriver*>(engine.Channel(channel)->driver.get());
    }

    DescriptionTree tree;
    PromptScope prompts;
    drivesim::AdsServer server;
    std::filesystem::path routes;
    CMainApi api{0};
    CMain& engine = *api.Engine();
    int channel = -1;
};

TEST_F(AdsEngineTest, ListedOpenedAndNodeIdentified) {
    EXPECT_TRUE(engine.ChannelTest(channel));
    ASSERT_EQ(Connect(), 0) << engine.ErrorText();
    const int slot = engine.FindNodeByAddress(kSlave, channel);
    ASSERT_GE(slot, 0);
    EXPECT_EQ(engine.Node(slot)->hardwareCode, 7u);
    EXPECT_EQ(engine.Node(slot)->softwareCode, 3u);
    CChannelSettings back;
    ASSERT_EQ(api.GetChannelConfig(back), 0);
    EXPECT_EQ(back.words[0], 0x03020105u);
    // A foreign slave is refused.
    prompts.Prompts().PushAnswer(platform::IDOK, 1002);
    CChannelSettings settings;
    const uint8_t netId[6] = {5, 1, 2, 3, 1, 1};
    std::memcpy(settings.words.data(), netId, 6);
    ASSERT_EQ(api.ChannelOpen(settings, 0), platform::IDOK);
    EXPECT_NE(Connect(), 0);
}

TEST_F(AdsEngineTest, NamedReadsAndWritesBySizeAndSign) {
    ASSERT_EQ(Connect(), 0) << engine.ErrorText();
    struct Case {
        const char* name;
        uint32_t expected;
    } reads[] = {{"Word16u", 0x1234}, {"Pos32", 0xFFFFFFFEu}, {"Byte8s", 0xFFFFFF80u}, {"ReadOnly16", 7}};
    for (const Case& c : reads) {
        uint32_t value = 0;
        EXPECT_EQ(engine.ReadCell(c.name, &value), 0) << c.name << " " << engine.ErrorText();
        EXPECT_EQ(value, c.expected) << c.name;
    }
    uint32_t value = 0xBEEF;
    uint32_t back = 0;
    EXPECT_EQ(engine.WriteCell("Word16u", &value), 0) << engine.ErrorText();
    EXPECT_EQ(engine.ReadCell("Word16u", &back), 0);
    EXPECT_EQ(back, 0xBEEFu);
    value = static_cast<uint32_t>(-5);
    EXPECT_EQ(engine.WriteCell("Pos32", &value), 0);
    EXPECT_EQ(engine.ReadCell("Pos32", &back), 0);
    EXPECT_EQ(back, value);
    // Refusals: not writable, no fieldbus address, and the drive's own refusal.
    EXPECT_EQ(engine.WriteCell("ReadOnly16", &value), -309);
    EXPECT_NE(engine.ReadCell("NoBus16", &back), 0);
    EXPECT_NE(engine.ReadCell("Unknown", &back), 0);
}

TEST_F(AdsEngineTest, BlockTransfers) {
    ASSERT_EQ(Connect(), 0) << engine.ErrorText();
    std::vector<uint8_t> buffer(400);
    uint32_t count = static_cast<uint32_t>(buffer.size());
    ASSERT_EQ(engine.UploadCell("Block", buffer.data(), &count), 0) << engine.ErrorText();
    EXPECT_EQ(count, 300u);
    EXPECT_EQ(buffer[299], 0x5A);
    std::vector<uint8_t> data(64, 0x11);
    EXPECT_EQ(engine.DownloadCell("Block", data.data(), 64), 0) << engine.ErrorText();
    count = static_cast<uint32_t>(buffer.size());
    ASSERT_EQ(engine.UploadCell("Block", buffer.data(), &count), 0);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + count), data);
    // Without an open port the block transfers give 1.
    Driver().Ads().Disconnect();
    count = 10;
    EXPECT_EQ(engine.UploadCell("Block", buffer.data(), &count), 1);
}

TEST_F(AdsEngineTest, GroupsOnTheChannel) {
    ASSERT_EQ(Connect(), 0) << engine.ErrorText();
    // One-off runs use the channel's direct list.
    uint32_t word = 0, pos = 0;
    int32_t r1 = -1, r2 = -1;
    int group = -1;
    EXPECT_GT(engine.VariableAdd(0, 0, &group, "Word16u", 0, &word, 4, &r1, nullptr), 0);
    EXPECT_GT(engine.VariableAdd(0, 0, &group, "Pos32", 0, &pos, 4, &r2, nullptr), 0);
    EXPECT_EQ(engine.GroupExecuteOnce(0, 0, group), 0);
    EXPECT_EQ(word, 0x1234u);
    EXPECT_EQ(pos, 0xFFFFFFFEu);
    EXPECT_EQ(r1, 0);
    EXPECT_EQ(r2, 0) << std::hex << r2 << " " << pos;
    EXPECT_EQ(engine.GroupClear(&group), 0);
    // A cyclic group keeps its holders up to date.
    const int g = engine.GroupCreate(0, 0, 0, 0);
    ASSERT_GT(g, 0);
    CCellHolder holder;
    holder.status = 9;
    ASSERT_GT(engine.GroupAddReadCell(g, "Word16u", &holder), 0) << engine.ErrorText();
    EXPECT_EQ(engine.GroupExecute(g, 1, 10), 0);
    uint32_t changed = 0x4321;
    EXPECT_EQ(engine.WriteCell("Word16u", &changed), 0);
    // Two passes of the group thread after the write have read the new value.
    const uint64_t passes = Driver().Ads().GroupPasses();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (Driver().Ads().GroupPasses() < passes + 3 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(engine.GroupStop(g), 0);
    EXPECT_EQ(holder.value, 0x4321u);
    EXPECT_EQ(holder.status, 0) << holder.result << " " << Driver().Ads().GroupPasses();
    EXPECT_EQ(engine.GroupRemove(g), 0);
    EXPECT_NE(engine.GroupRemove(g), 0);  // a free slot
    EXPECT_EQ(engine.GroupRemoveAll(), 0);
}

TEST_F(AdsEngineTest, NodeGuardLosesAndKeepsTheNode) {
    ASSERT_EQ(Connect(), 0) << engine.ErrorText();
    CNodo& node = *engine.Node(engine.FindNodeByAddress(kSlave, channel));
    ASSERT_TRUE(node.Lock());
    EXPECT_EQ(engine.ArmNodeGuard(*engine.Channel(channel), node), 0);
    EXPECT_TRUE(Driver().GuardAlive(node));
    EXPECT_FALSE(Driver().GuardBroken());
    node.Unlock();
    Driver().GuardClose();
    EXPECT_FALSE(Driver().GuardAlive(node));
    EXPECT_TRUE(Driver().GuardBroken());
    EXPECT_EQ(Driver().GuardPrepare(node), 0);
    EXPECT_TRUE(Driver().GuardAlive(node));
}

}  // namespace

namespace {

// A domain upload on the ADS channel announces its expected ticker steps and ends with 22.
TEST_F(AdsEngineTest, DomainUploadOnItsThread) {
    ASSERT_EQ(Connect(), 0) << engine.ErrorText();
    platform::RecordingSink sink;
    std::vector<uint8_t> buffer(300);
    ASSERT_EQ(engine.StartDomainUpload("Block", buffer.data(), sink.Handle(), 0, 300), 0)
        << engine.ErrorText();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    std::vector<platform::Message> got;
    while (std::chrono::steady_clock::now() < end) {
        platform::PumpMessages();
        got.clear();
        for (const platform::Message& m : sink.Messages())
            if (m.msg == foundation::kDomainUploadMessage) got.push_back(m);
        if (!got.empty() && (got.back().wParam == 22 || got.back().wParam == 23) && !engine.UploadRunning())
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_GE(got.size(), 2u);
    EXPECT_EQ(got.front().wParam, 24u);
    EXPECT_EQ(got.front().lParam, 300 * 5 / 2000 + 1);
    EXPECT_EQ(got.back().wParam, 22u);
    EXPECT_EQ(buffer[299], 0x5A);
    // File uploads are not offered on this channel.
    const std::string file = (tree.Root() / "temp" / "b.bin").string();
    sink.Clear();
    ASSERT_EQ(engine.StartDomainUpload("Block", const_cast<char*>(file.c_str()), sink.Handle(), 0, 0), 0);
    while (engine.UploadRunning()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    platform::PumpMessages();
    ASSERT_FALSE(sink.Messages().empty());
    EXPECT_EQ(sink.Messages().back().wParam, 23u);
    EXPECT_EQ(sink.Messages().back().lParam, 100);
}

}  // namespace
