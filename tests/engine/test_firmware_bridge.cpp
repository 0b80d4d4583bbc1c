// Firmware downloads, transfer aborts, variable removal and the cyclic report on the bridge
// channel, against the simulated bridge.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/BridgeChannelDriver.h"
#include "engine/Main.h"
#include "engine/MainApi.h"
#include "foundation/CompatChecker.h"
#include "platform/Folders.h"
#include "platform/Messages.h"
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
constexpr uint32_t kFirmware = 0x1F50 << 8 | 1;
constexpr uint32_t kEnabling = 0x2100 << 8;
constexpr uint32_t kProductCode = 0x2101 << 8;
constexpr uint32_t kSystemManager = 0x2102 << 8;
constexpr uint32_t kEmcyReset = 0x2103 << 8;
constexpr uint32_t kGuardTime = 0x100C << 8;
constexpr uint32_t kLifeTimeFactor = 0x100D << 8;

uint32_t U32(const std::vector<uint8_t>& v) {
    uint32_t x = 0;
    for (size_t i = 0; i < v.size() && i < 4; ++i) x |= uint32_t{v[i]} << (8 * i);
    return x;
}

// A CANopen drive on bus 1 of the simulated bridge with the firmware items.
class BridgeFirmwareTest : public ::testing::Test {
  protected:
    void SetUp() override {}
    void Start(drivesim::BridgeServerConfig config = {}) {
        UseFieldbusDescription(tree);
        const std::filesystem::path file = tree.Root() / "tree" / "3_2_1_0.xml";
        std::stringstream s;
        s << std::ifstream(file).rdbuf();
        std::string xml = s.str();
        const size_t at = xml.find("</DICTIONARY>");
        ASSERT_NE(at, std::string::npos);
        xml.insert(
            at,
            "\t\t<ITEM id=\"40\" name=\"download_firmware\" size=\"0\" canaddress=\"0x1F50.1\" read=\"0\" "
            "write=\"1\"/>\n"
            "\t\t<ITEM id=\"41\" name=\"enabling_key\" size=\"4\" canaddress=\"0x2100.0\" read=\"1\" "
            "write=\"1\"/>\n"
            "\t\t<ITEM id=\"42\" name=\"rd_sw_product_code\" size=\"4\" canaddress=\"0x2101.0\" read=\"1\" "
            "write=\"0\"/>\n"
            "\t\t<ITEM id=\"43\" name=\"SystemManagerCommand\" size=\"4\" canaddress=\"0x2102.0\" "
            "read=\"1\" write=\"1\"/>\n"
            "\t\t<ITEM id=\"44\" name=\"CanEmcyRetentReset\" size=\"4\" canaddress=\"0x2103.0\" read=\"1\" "
            "write=\"1\"/>\n"
            "\t\t<ITEM id=\"45\" name=\"GuardTime\" size=\"4\" canaddress=\"0x100C.0\" read=\"1\" "
            "write=\"1\"/>\n"
            "\t\t<ITEM id=\"46\" name=\"LifeTimeFactor\" size=\"4\" canaddress=\"0x100D.0\" read=\"1\" "
            "write=\"1\"/>\n");
        std::ofstream(file, std::ios::trunc) << xml;

        server = std::make_unique<drivesim::BridgeServer>(config);
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
        n.SetU16(0x2007, 0, 7);
        n.SetU32(0x2100, 0, 0);
        n.SetU32(0x2101, 0, 2);
        n.SetU32(0x2102, 0, 0);
        n.SetU32(0x2103, 0, 0xFF);
        n.SetU32(0x100C, 0, 0);
        n.SetU32(0x100D, 0, 0);
        n.objects[kFirmware] = {0xEE};
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
        CBridgeManagerTimings managerTimings;
        managerTimings.afterDownloadMs = 10;
        manager.SetTimings(managerTimings);
        CChannelSettings settings;
        settings.words = {kLoopback, 2, 0, kNode, 0, 0, 0};
        ASSERT_EQ(api.ChannelConfigure(settings), 0);
        prompts.Prompts().PushAnswer(platform::IDOK);
        ASSERT_EQ(api.ChannelOpen(settings, 0), platform::IDOK) << engine.ErrorText();
        CCompatChecker checker;
        BSTR text = nullptr;
        uint32_t address = 0;
        ASSERT_EQ(engine.NodeConnect(checker, &text, &address, kNode, channel), 0) << engine.ErrorText();
        SysFreeString(text);
        ASSERT_EQ(engine.SelectNode(kNode, channel), 0);

        image.resize(1500);
        for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 13 + 1);
        firmware = (tree.Root() / "temp" / "drive.fw").string();
        std::ofstream(firmware, std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    }
    void TearDown() override {
        engine.JoinFirmwareThreads();
        api.ChannelClose(-2);
        if (server) server->Stop();
    }

    CBridgeChannelDriver& Driver() {
        return *static_cast<CBridgeChannelDriver*>(engine.Channel(channel)->driver.get());
    }
    std::vector<uint8_t> Object(uint32_t key) {
        std::vector<uint8_t> bytes;
        server->WithNode(1, kNode, [&](drivesim::BridgeSimNode* n) {
            if (n && n->objects.count(key)) bytes = n->objects[key];
        });
        return bytes;
    }
    void SetObject(uint32_t key, uint32_t value) {
        server->WithNode(1, kNode,
                         [&](drivesim::BridgeSimNode* n) { n->SetU32(key >> 8, key & 0xFF, value); });
    }

    // Codes of message 1178 delivered until `last` arrived and the firmware threads ended.
    std::vector<uintptr_t> CodesUntil(uintptr_t last) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        std::vector<uintptr_t> codes;
        while (std::chrono::steady_clock::now() < end) {
            platform::PumpMessages();
            codes = Codes();
            if (std::find(codes.begin(), codes.end(), last) != codes.end() &&
                !engine.FirmwareThreadsRunning())
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return codes;
    }
    std::vector<uintptr_t> Codes() {
        platform::PumpMessages();
        std::vector<uintptr_t> codes;
        for (const platform::Message& m : sink.Messages())
            if (m.msg == foundation::kFirmwareDownloadMessage) codes.push_back(m.wParam);
        return codes;
    }
    static bool Has(const std::vector<uintptr_t>& codes, uintptr_t code) {
        return std::find(codes.begin(), codes.end(), code) != codes.end();
    }
    void Prepare(bool enable) {
        ASSERT_EQ(engine.StartFirmwarePrepare(firmware, sink.Handle(), 0, enable), 0) << engine.ErrorText();
        EXPECT_EQ(CodesUntil(38), (std::vector<uintptr_t>{30, 37, 38}));
        EXPECT_NE(engine.DownloadDescriptor().blockId, 0);
        EXPECT_EQ(server->BlockCount(), 1u);
        sink.Clear();
    }

    DescriptionTree tree;
    PromptScope prompts;
    std::unique_ptr<drivesim::BridgeServer> server;
    platform::RecordingSink sink;
    CMainApi api{0};
    CMain& engine = *api.Engine();
    int channel = -1;
    std::vector<uint8_t> image;
    std::string firmware;
};

TEST_F(BridgeFirmwareTest, DataBlockDownloadWithTheTickerAndTheRestartCommand) {
    Start();
    Prepare(false);
    ASSERT_EQ(engine.StartFirmwareDownload(), 0) << engine.ErrorText();
    const auto codes = CodesUntil(35);
    // No guarding to wait out: the restart command, then the block with the ticker running.
    EXPECT_FALSE(Has(codes, 39));
    EXPECT_TRUE(Has(codes, 10));
    EXPECT_TRUE(Has(codes, 11));
    EXPECT_TRUE(Has(codes, 14));
    EXPECT_TRUE(Has(codes, 34));
    EXPECT_EQ(codes.back(), 35u) << engine.ErrorText();
    EXPECT_EQ(Object(kFirmware), image);
    EXPECT_EQ(U32(Object(kSystemManager)), 5100u);
    EXPECT_EQ(U32(Object(kEmcyReset)), 0u);
    // The block is gone from the bridge with the image.
    EXPECT_EQ(server->BlockCount(), 0u);
    EXPECT_EQ(engine.DownloadDescriptor().blockId, 0);
    EXPECT_EQ(engine.StartFirmwareDownload(), 3);
}

TEST_F(BridgeFirmwareTest, GuardedNodeGetsTheUnlockAndAShortFirstTry) {
    Start();
    SetObject(kGuardTime, 100);
    SetObject(kLifeTimeFactor, 3);
    Prepare(true);
    // The unlock the thread writes first must reach the drive.
    ASSERT_EQ(engine.StartFirmwareDownload(), 0) << engine.ErrorText();
    const auto codes = CodesUntil(35);
    EXPECT_TRUE(Has(codes, 39));
    EXPECT_EQ(codes.back(), 35u) << engine.ErrorText();
    EXPECT_EQ(U32(Object(kEnabling)), 0x1D4E7A93u);
    EXPECT_EQ(Object(kFirmware), image);
    // The short try took the image: no restart command and no second transfer.
    EXPECT_EQ(U32(Object(kSystemManager)), 0u);
    EXPECT_FALSE(Has(codes, 10));
}

// The short try refused: the node's guarding must run out (100 ms x 3 + 100 ms + 200 ms from the
// try) before the restart command and the real transfer.
TEST_F(BridgeFirmwareTest, RefusedShortTryWaitsOutTheGuarding) {
    Start();
    SetObject(kGuardTime, 100);
    SetObject(kLifeTimeFactor, 3);
    server->WithNode(1, kNode, [](drivesim::BridgeSimNode* n) { n->blockWriteRefusals = 1; });
    Prepare(false);
    ASSERT_EQ(engine.StartFirmwareDownload(), 0);
    std::chrono::steady_clock::time_point guarding{}, restarted{};
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < end) {
        const auto codes = Codes();
        const auto now = std::chrono::steady_clock::now();
        if (guarding == std::chrono::steady_clock::time_point{} && Has(codes, 39)) guarding = now;
        if (restarted == std::chrono::steady_clock::time_point{} && U32(Object(kSystemManager)) == 5100)
            restarted = now;
        if (Has(codes, 35) || Has(codes, 36)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const auto codes = CodesUntil(35);
    EXPECT_EQ(codes.back(), 35u) << engine.ErrorText();
    ASSERT_NE(guarding, std::chrono::steady_clock::time_point{});
    ASSERT_NE(restarted, std::chrono::steady_clock::time_point{});
    EXPECT_GE(restarted - guarding, std::chrono::milliseconds(550));
    EXPECT_TRUE(Has(codes, 10));
    EXPECT_EQ(Object(kFirmware), image);
}

TEST_F(BridgeFirmwareTest, OldProductsSkipTheGuarding) {
    Start();
    SetObject(kProductCode, 1);
    SetObject(kGuardTime, 100);
    SetObject(kLifeTimeFactor, 3);
    Prepare(false);
    ASSERT_EQ(engine.StartFirmwareDownload(), 0);
    const auto codes = CodesUntil(35);
    EXPECT_FALSE(Has(codes, 39));
    EXPECT_EQ(codes.back(), 35u) << engine.ErrorText();
    EXPECT_EQ(U32(Object(kSystemManager)), 0u);
    EXPECT_EQ(Object(kFirmware), image);
}

// The abort message ends the bridge's transfer in hand; the drive keeps its old image.
TEST_F(BridgeFirmwareTest, AbortMessageEndsTheTransferMidWay) {
    drivesim::BridgeServerConfig config;
    config.longTransferMs = 20000;
    Start(config);
    Prepare(false);
    const auto begin = std::chrono::steady_clock::now();
    ASSERT_EQ(engine.StartFirmwareDownload(), 0);
    // Wait until the block write is on the bus.
    while (!Has(Codes(), 14) && std::chrono::steady_clock::now() - begin < std::chrono::seconds(10))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(engine.AbortDownUpload(), 16);
    const auto codes = CodesUntil(36);
    EXPECT_EQ(codes.back(), 36u);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(15));
    EXPECT_EQ(server->AbortedTransfers(), 1u);
    EXPECT_EQ(Object(kFirmware), std::vector<uint8_t>{0xEE});
    EXPECT_EQ(server->LastAbortMessage(),
              (std::vector<uint8_t>{0x42, 0x43, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0x03, 0, 0}));
    EXPECT_NE(engine.ErrorText().find("Writing address 0x1f50.1"), std::string::npos) << engine.ErrorText();
    // The node is free again.
    uint32_t value = 0;
    EXPECT_EQ(engine.ReadCell("Word16u", &value), 0) << engine.ErrorText();
}

TEST_F(BridgeFirmwareTest, AbortThreadFiresAfterItsDelayOrStopsAtOnce) {
    drivesim::BridgeServerConfig config;
    config.longTransferMs = 20000;
    Start(config);
    // Stopped while it sleeps: nothing is sent, and the stop does not wait out the delay.
    ASSERT_TRUE(engine.StartAbortDownUpload(60000));
    const auto stopAt = std::chrono::steady_clock::now();
    engine.StopAbortDownUpload();
    EXPECT_LT(std::chrono::steady_clock::now() - stopAt, std::chrono::seconds(1));
    EXPECT_EQ(server->Aborts(), 0u);

    Prepare(false);
    ASSERT_EQ(engine.StartFirmwareDownload(), 0);
    const auto begin = std::chrono::steady_clock::now();
    while (!Has(Codes(), 14) && std::chrono::steady_clock::now() - begin < std::chrono::seconds(10))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(engine.StartAbortDownUpload(300));
    const auto codes = CodesUntil(36);
    EXPECT_EQ(codes.back(), 36u);
    EXPECT_EQ(server->AbortedTransfers(), 1u);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(15));
}

// The owner's abort waits for the thread's end, however long the transfer in hand takes.
TEST_F(BridgeFirmwareTest, AbortDownloadJoinsTheThread) {
    drivesim::BridgeServerConfig config;
    config.longTransferMs = 4500;
    Start(config);
    Prepare(false);
    ASSERT_EQ(engine.StartFirmwareDownload(), 0);
    const auto begin = std::chrono::steady_clock::now();
    while (!Has(Codes(), 14) && std::chrono::steady_clock::now() - begin < std::chrono::seconds(10))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(engine.AbortDownload());
    EXPECT_FALSE(engine.FirmwareThreadsRunning());
    EXPECT_EQ(CodesUntil(35).back(), 35u);
}

TEST_F(BridgeFirmwareTest, SynchronousDownloadWritesTheBlock) {
    Start();
    CDownloadFw fw;
    fw.fileName = firmware;
    fw.window = sink.Handle();
    ASSERT_EQ(engine.DownloadFirmware(fw), 0) << engine.ErrorText();
    const auto codes = Codes();
    EXPECT_TRUE(Has(codes, 30));
    EXPECT_TRUE(Has(codes, 37));
    EXPECT_TRUE(Has(codes, 10));
    EXPECT_EQ(Object(kFirmware), image);
    EXPECT_EQ(fw.reload, 0);
    EXPECT_FALSE(fw.container.HasImage());
    EXPECT_EQ(fw.blockId, 0);
    EXPECT_EQ(server->BlockCount(), 0u);

    // A missing file: nothing to write, the node stays usable.
    CDownloadFw none;
    none.fileName = (tree.Root() / "none.fw").string();
    EXPECT_NE(engine.DownloadFirmware(none), 0);
    uint32_t value = 0;
    EXPECT_EQ(engine.ReadCell("Word16u", &value), 0) << engine.ErrorText();
}

TEST_F(BridgeFirmwareTest, VariableRemoveRebuildsTheGroupWithoutIt) {
    Start();
    uint32_t word = 0, pos = 0, ro = 0;
    int32_t r1 = -1, r2 = -1, r3 = -1;
    int group = -1;
    const int v1 = engine.VariableAdd(0, 0, &group, "Word16u", 0, &word, 4, &r1, nullptr);
    const int v2 = engine.VariableAdd(0, 0, &group, "Pos32", 0, &pos, 4, &r2, nullptr);
    const int v3 = engine.VariableAdd(0, 0, &group, "ReadOnly16", 0, &ro, 4, &r3, nullptr);
    ASSERT_GT(v1, 0);
    ASSERT_GT(v2, v1);
    ASSERT_GT(v3, v2);
    EXPECT_EQ(engine.VariableRemove(group, v2), 0);
    EXPECT_EQ(engine.GroupExecuteOnce(0, 0, group), 0) << engine.ErrorText();
    EXPECT_EQ(word, 0x1234u);
    EXPECT_EQ(ro, 7u);
    EXPECT_EQ(pos, 0u);  // no longer in the group
    // The others keep their numbers: removing the last one leaves the first.
    word = ro = 0;
    EXPECT_EQ(engine.VariableRemove(group, v3), 0);
    EXPECT_EQ(engine.GroupExecuteOnce(0, 0, group), 0);
    EXPECT_EQ(word, 0x1234u);
    EXPECT_EQ(ro, 0u);
    CCmdList* list = Driver().Manager().CurrentNodeRecord()->bridge->Group(group);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->Count(), 1u);
}

TEST_F(BridgeFirmwareTest, CyclicReportListsBridgeNodesAndClients) {
    Start();
    engine.LogCyclicGroups(0);
    std::stringstream s;
    s << std::ifstream(platform::TempFolder() / "TunovaCyclicC6.log").rdbuf();
    const std::string report = s.str();
    EXPECT_EQ(report.rfind("Vkr Fieldbus Bridge\r\n", 0), 0u) << report;
    EXPECT_NE(report.find("bus(2,1), nodeId=5, timeout="), std::string::npos) << report;
    EXPECT_NE(report.find(", bridge=127.0.0.1\r\n"), std::string::npos) << report;
    EXPECT_NE(report.find("Bridge 127.0.0.1: "), std::string::npos) << report;
    EXPECT_NE(report.find("cyclic groups:"), std::string::npos) << report;
}

}  // namespace
