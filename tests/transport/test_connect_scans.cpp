// The connection dialogs' scans without their windows: the bridge's bus walk, its resets, the
// TwinCAT device list, and the node error log the communication status window shows; against
// the simulated drive's bridge and ADS router on loopback.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "AdsTestSupport.h"
#include "BridgeTestUtil.h"
#include "foundation/MessageIds.h"
#include "platform/Messages.h"
#include "transport/BridgeNodeLog.h"
#include "transport/BridgeNodeScan.h"
#include "transport/BridgeStatusText.h"
#include "transport/TwincatDeviceScan.h"

using namespace transport;
using namespace ads_test;

namespace {

constexpr uint8_t kCanBus = 1;
constexpr uint8_t kEthBus = 2;

// Pumps the message queue until the predicate holds (10 s at most).
template <class F>
bool PumpUntil(F done) {
    for (int i = 0; i < 1000 && !done(); ++i) {
        platform::WaitForMessages(10);
        platform::PumpMessages();
    }
    return done();
}

class BridgeScan : public ::testing::Test {
  protected:
    void SetUp() override {
        server = bridge_test::StartServer();
        bridge.SetPort(static_cast<uint16_t>(server->Port()));
        bridge.SetTimings(bridge_test::FastTimings());
        ASSERT_TRUE(bridge.Connect("127.0.0.1")) << bridge.LastErrorText();
    }
    void TearDown() override {
        bridge.Disconnect();
        server->Stop();
    }
    const CBusInfo* Bus(uint8_t kind) {
        for (const CBusInfo& bus : bridge.BusList())
            if (bus.kind == kind) return &bus;
        return nullptr;
    }
    std::vector<uint32_t> Progress() const {
        std::vector<uint32_t> positions;
        for (const platform::Message& m : sink.Messages())
            if (m.msg == foundation::kConnectScanProgressMessage && m.wParam != 0)
                positions.push_back(static_cast<uint32_t>(m.wParam));
        return positions;
    }

    std::unique_ptr<drivesim::BridgeServer> server;
    CBridgeVkr bridge;
    platform::RecordingSink sink;
};

TEST_F(BridgeScan, CanOpenBusListsTheAnsweringNodesInListedStatesAndWalksEveryId) {
    server->AddNode(kCanBus, 1).state = 1;  // operational
    server->AddNode(kCanBus, 5).state = 4;  // init
    server->AddNode(kCanBus, 9).state = 7;  // no such state: not listed
    CBridgeNodeScan scan(bridge, sink.Handle());
    ASSERT_TRUE(scan.Start({*Bus(kBusKindCanOpen)}));
    scan.Join();
    ASSERT_TRUE(PumpUntil([&] { return Progress().size() >= CBridgeNodeScan::kLastCanNode; }));

    const std::vector<CBusNodeData> nodes = scan.TakeNodes();
    ASSERT_EQ(nodes.size(), 2u);
    EXPECT_EQ(nodes[0].address, 1);
    EXPECT_EQ(nodes[0].state, "operational");
    EXPECT_EQ(nodes[0].colour, 0x00FF00u);
    EXPECT_EQ(nodes[0].name, "???");
    EXPECT_EQ(nodes[1].address, 5);
    EXPECT_EQ(nodes[1].state, "init");
    EXPECT_EQ(nodes[1].colour, 0xFFFF00u);
    EXPECT_TRUE(scan.TakeNodes().empty());  // handed over once

    std::vector<uint32_t> expected(CBridgeNodeScan::kLastCanNode);
    for (uint32_t i = 0; i < expected.size(); ++i) expected[i] = i + 1;
    EXPECT_EQ(Progress(), expected);
    const auto messages = sink.Messages();
    EXPECT_EQ(
        std::count_if(messages.begin(), messages.end(),
                      [](const platform::Message& m) { return m.msg == foundation::kConnectScanMessage; }),
        2);
}

TEST_F(BridgeScan, EtherCatBusListsTheSlaveListInListedStates) {
    struct Slave {
        uint16_t address;
        uint16_t state;
        uint32_t vendor;
        const char* text;  // null: not listed
        uint32_t colour;
        uint8_t selectable;
    };
    const Slave slaves[] = {
        {1001, 8, kOwnVendorId, "operational", 0x00FF00, 1},
        {1002, 2, 77, "pre-operational", 0x00FF00, 0},
        {1003, 3, kOwnVendorId, "boot", 0x0080FF, 1},
        {1004, 6, kOwnVendorId, nullptr, 0, 0},
        {1005, 1, kOwnVendorId, "init", 0xFFFF00, 1},
        {1006, 4, kOwnVendorId, "safe-operational", 0x00FF00, 1},
    };
    for (const Slave& s : slaves) {
        drivesim::BridgeSimNode& node = server->AddNode(kEthBus, s.address);
        node.state = s.state;
        node.identity1 = s.vendor;
        node.identity2 = 1234;
    }
    CBridgeNodeScan scan(bridge, sink.Handle());
    ASSERT_TRUE(scan.Start({*Bus(kBusKindEtherCat)}));
    scan.Join();
    const std::vector<CBusNodeData> nodes = scan.TakeNodes();
    std::vector<const Slave*> listed;
    for (const Slave& s : slaves)
        if (s.text) listed.push_back(&s);
    ASSERT_EQ(nodes.size(), listed.size());
    for (size_t i = 0; i < nodes.size(); ++i) {
        SCOPED_TRACE(listed[i]->address);
        EXPECT_EQ(nodes[i].address, listed[i]->address);
        EXPECT_EQ(nodes[i].state, listed[i]->text);
        EXPECT_EQ(nodes[i].colour, listed[i]->colour);
        EXPECT_EQ(nodes[i].selectable, listed[i]->selectable);
    }
    EXPECT_EQ(nodes[0].identity, "vendor: Varno(6699)    fw: 1234 ver. 0    hw: 0");
    EXPECT_EQ(nodes[1].identity, "vendor: 77    fw: 1234 ver. 0    hw: 0");
}

TEST_F(BridgeScan, AnUnreadableSlaveListEndsTheScanEmpty) {
    server->AddNode(kEthBus, 1001).state = 8;
    server->InjectFault({drivesim::BridgeFault::Status, bridge_status::kWrongParameter, 1});
    CBridgeNodeScan scan(bridge, sink.Handle());
    ASSERT_TRUE(scan.Start({*Bus(kBusKindEtherCat)}));
    scan.Join();
    EXPECT_TRUE(scan.TakeNodes().empty());
}

TEST_F(BridgeScan, StopEndsARunningScanAndNothingArrivesAfterIt) {
    for (uint16_t id = 1; id <= 126; id += 5) server->AddNode(kCanBus, id).state = 1;
    CBridgeNodeScan scan(bridge, sink.Handle());
    ASSERT_TRUE(scan.Start({*Bus(kBusKindCanOpen)}));
    ASSERT_TRUE(PumpUntil([&] { return !Progress().empty(); }));
    EXPECT_FALSE(scan.Start({*Bus(kBusKindCanOpen)}));  // one scan at a time
    scan.Stop();
    EXPECT_FALSE(scan.Running());
    platform::PumpMessages();
    const size_t seen = sink.Count();
    platform::WaitForMessages(200);
    platform::PumpMessages();
    EXPECT_EQ(sink.Count(), seen);
    EXPECT_LT(Progress().back(), CBridgeNodeScan::kLastCanNode);
}

TEST_F(BridgeScan, ResetsOfOneBusAllBusesAndTheBridge) {
    CBridgeNodeScan scan(bridge, sink.Handle());
    EXPECT_EQ(scan.ResetBus(nullptr), "Bus not selected");
    EXPECT_EQ(scan.ResetBus(Bus(kBusKindCanOpen)), "Bus reset done");
    EXPECT_EQ(server->BusResets(kCanBus), 1);
    EXPECT_EQ(server->BusResets(kEthBus), 0);

    EXPECT_EQ(scan.ResetAllBuses(bridge.BusList()), "All buses reset done");
    EXPECT_EQ(server->BusResets(kCanBus), 2);
    EXPECT_EQ(server->BusResets(kEthBus), 1);

    EXPECT_EQ(scan.ResetBridge(), 0);
    EXPECT_EQ(server->BridgeResets(), 1u);

    // A refused reset shows the bridge's text.
    server->InjectFault({drivesim::BridgeFault::Status, bridge_status::kQueueFull, 1});
    const std::string refused = scan.ResetBus(Bus(kBusKindEtherCat));
    EXPECT_NE(refused, "Bus reset done");
    EXPECT_FALSE(refused.empty());
}

TEST_F(BridgeScan, AResetStopsTheScanFirst) {
    for (uint16_t id = 1; id <= 126; ++id) server->AddNode(kCanBus, id).state = 1;
    CBridgeNodeScan scan(bridge, sink.Handle());
    ASSERT_TRUE(scan.Start({*Bus(kBusKindCanOpen)}));
    EXPECT_EQ(scan.ResetBus(Bus(kBusKindCanOpen)), "Bus reset done");
    EXPECT_FALSE(scan.Running());
}

TEST(BridgeScanTexts, TimeoutVendorAndLabel) {
    const std::pair<const char*, uint32_t> timeouts[] = {
        {"50", 100}, {"100", 100}, {"2000", 2000}, {"", 100}, {"abc", 100}, {"-5", 100}, {" 300", 300}};
    for (const auto& [text, ms] : timeouts) EXPECT_EQ(ScanTimeoutMs(text), ms) << text;

    EXPECT_EQ(VendorText(0x1A2B), "vendor: Varno(6699)");
    EXPECT_EQ(VendorText(4000000000u), "vendor: 4000000000");
    for (uint32_t vendor : {0u, 0x1A2Bu, 0xA701u, 0xFFFFFFFFu})
        EXPECT_LE(VendorText(vendor).size(), kVendorTextMax);
    EXPECT_EQ(NodeInfoText(77, 1200, 3, 9), "vendor: 77    fw: 1200 ver. 3    hw: 9");

    EXPECT_EQ(NodeLabel("", ""), "???");
    EXPECT_EQ(NodeLabel("Servo", ""), "Servo");
    EXPECT_EQ(NodeLabel("Servo", "Axis 1"), "Servo - Axis 1");
    EXPECT_EQ(NodeLabel("", "Axis 1"), "??? - Axis 1");

    EXPECT_FALSE(CanOpenNodeState(0));
    EXPECT_FALSE(CanOpenNodeState(7));
    EXPECT_FALSE(EtherCatNodeState(5));
    EXPECT_STREQ(CanOpenNodeState(2)->text, "stopped");
    EXPECT_EQ(CanOpenNodeState(2)->colour, 0x0080FFu);
    EXPECT_STREQ(CanOpenNodeState(6)->text, "reset app.");
}

// ---- the node error log of the communication status window

TEST(BridgeNodeLogTexts, BufferSizeAndLevelAreRaisedToTheirMinimum) {
    const std::pair<const char*, size_t> sizes[] = {{"50", 100},
                                                    {"100", 100},
                                                    {"1000", 1000},
                                                    {"", 100},
                                                    {"x", 100},
                                                    {"-3", 100},
                                                    {"99999999999999999999", 16 << 20}};
    for (const auto& [text, size] : sizes) EXPECT_EQ(LogBufferSize(text), size) << text;
    const std::pair<const char*, int> levels[] = {{"0", 1}, {"-1", 1}, {"", 1},
                                                  {"1", 1}, {"3", 3},  {"900", 255}};
    for (const auto& [text, level] : levels) EXPECT_EQ(BridgeLogLevel(text), level) << text;
}

TEST(BridgeNodeLogCapture, TextIsCapturedBoundedAndConsumedOnce) {
    CBridgeNodeLog log;
    log.NoteError("before the capture");
    EXPECT_EQ(log.ErrorCount(), 1u);
    EXPECT_FALSE(log.TakeNewText());

    ASSERT_TRUE(log.StartCapture(50, "Thu Dec 10 2026 10:00:00\r\n"));
    EXPECT_FALSE(log.StartCapture(500, "again"));  // one capture at a time
    EXPECT_EQ(log.TakeNewText().value_or(""), "Thu Dec 10 2026 10:00:00\r\n");
    EXPECT_FALSE(log.TakeNewText());
    log.NoteError("Reading address 0x6064.0: timeout");
    EXPECT_EQ(log.ErrorCount(), 2u);
    const std::string text = log.TakeNewText().value_or("");
    EXPECT_NE(text.find("Reading address 0x6064.0"), std::string::npos);
    for (int i = 0; i < 50; ++i) log.NoteError("another failure with a long text");
    EXPECT_LE(log.TakeNewText().value_or("").size(), CBridgeNodeLog::kMinimumSize);

    log.StopCapture();
    EXPECT_FALSE(log.Capturing());
    log.NoteError("after");
    EXPECT_FALSE(log.TakeNewText());
}

TEST(BridgeNodeLogCapture, WritersAndTheReaderShareTheLog) {
    CBridgeNodeLog log;
    ASSERT_TRUE(log.StartCapture(100000, "start\r\n"));
    std::vector<std::thread> writers;
    for (int t = 0; t < 3; ++t)
        writers.emplace_back([&log] {
            for (int i = 0; i < 300; ++i) log.NoteError("failure");
        });
    std::string seen;
    for (int i = 0; i < 300; ++i)
        if (auto text = log.TakeNewText()) {
            EXPECT_GE(text->size(), seen.size());  // the log only grows
            seen = std::move(*text);
        }
    for (std::thread& w : writers) w.join();
    EXPECT_EQ(log.ErrorCount(), 900u);
    const std::string last = log.TakeNewText().value_or(seen);
    EXPECT_EQ(last.size(), std::string("start\r\n").size() + 900 * std::string("failure\r\n").size());
}

// ---- the TwinCAT device list

class TwincatScan : public AdsFixture {};

TEST_F(TwincatScan, DevicesArriveInOnePieceWithTheOutcome) {
    server_.AddDriveSlave(1001, "Servo X1", "Hardware 12 v.1.0.0", "Firmware 1234 v.2.3.1");
    server_.AddSlave(1005).vendor = 77;
    auto channel = MakeChannel(0);
    platform::RecordingSink sink;
    CTwincatDeviceScan scan(*channel, sink.Handle());
    ASSERT_TRUE(scan.Start());
    ASSERT_TRUE(PumpUntil([&] { return sink.Count() == 1; }));
    EXPECT_EQ(sink.Messages()[0].msg, foundation::kConnectScanMessage);
    EXPECT_EQ(sink.Messages()[0].wParam, 0u);
    CTwincatDeviceScan::Result result = scan.TakeResult();
    EXPECT_TRUE(result.done);
    EXPECT_TRUE(result.ok);
    ASSERT_EQ(result.devices.size(), 2u);
    EXPECT_EQ(result.devices[0].address, 1001);
    EXPECT_EQ(result.devices[0].selectable, 1);
    EXPECT_EQ(result.devices[1].selectable, 0);
}

TEST_F(TwincatScan, NoDeviceAndAFailureAreTold) {
    auto channel = MakeChannel(0);
    platform::RecordingSink sink;
    {
        CTwincatDeviceScan scan(*channel, sink.Handle());
        ASSERT_TRUE(scan.Start());
        ASSERT_TRUE(PumpUntil([&] { return sink.Count() == 1; }));
        const CTwincatDeviceScan::Result result = scan.TakeResult();
        EXPECT_TRUE(result.ok);
        EXPECT_TRUE(result.devices.empty());
    }
    server_.InjectFault({drivesim::AdsFault::ErrorCode, 0x70D, 1, ams::kRead});
    CTwincatDeviceScan scan(*channel, sink.Handle());
    ASSERT_TRUE(scan.Start());
    ASSERT_TRUE(PumpUntil([&] { return sink.Count() == 2; }));
    EXPECT_EQ(sink.Messages()[1].wParam, 1u);
    const CTwincatDeviceScan::Result result = scan.TakeResult();
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.errorText, CTwincatAds::GetErrorText(0x70D));
}

TEST_F(TwincatScan, TheScanIsJoinedBeforeItsOwnerGoes) {
    server_.AddDriveSlave(1001, "Servo X1", "Hardware 12 v.1.0.0", "Firmware 1234 v.2.3.1");
    auto channel = MakeChannel(0);
    platform::RecordingSink sink;
    for (int i = 0; i < 5; ++i) {
        CTwincatDeviceScan scan(*channel, sink.Handle());
        ASSERT_TRUE(scan.Start());
        // Destroyed while the scan may still run: the destructor waits for it.
    }
    platform::PumpMessages();
    EXPECT_LE(sink.Count(), 5u);
}

}  // namespace
