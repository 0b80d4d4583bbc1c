// The bridge client against the simulated bridge on loopback: identification in every
// protocol version and byte order, exchanges, faults, time-outs, groups and the log channel.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "BridgeTestUtil.h"
#include "platform/Folders.h"
#include "platform/Messages.h"
#include "transport/BridgeVkr.h"

using namespace transport;

namespace {

using namespace bridge_test;
using drivesim::BridgeFault;
using drivesim::BridgeServerConfig;

class BridgeClient : public ::testing::Test {
  protected:
    void Open(BridgeServerConfig config = {}) {
        server = StartServer(std::move(config));
        AddStandardNodes(*server);
        client = std::make_unique<CBridgeVkr>();
        client->SetPort(static_cast<uint16_t>(server->Port()));
        client->SetTimings(FastTimings());
        client->SetBaseTimeout(300);
    }
    bool Connect() { return client->Connect("127.0.0.1"); }
    // Reads 0x6064.0 of the CANopen node through the direct list.
    int ReadPosition(uint32_t& value, uint32_t& status) {
        client->SetCurrentTarget(1);
        client->SetCurrentNode(5);
        client->ClearDirect();
        client->CmdReadCan(0x6064, 0, &value, &status, 4);
        return client->ExecuteCmds(300);
    }
    void TearDown() override {
        client.reset();
        if (server) server->Stop();
    }

    std::unique_ptr<drivesim::BridgeServer> server;
    std::unique_ptr<CBridgeVkr> client;
};

TEST_F(BridgeClient, IdentifiesEachProtocolVersionAndByteOrder) {
    struct Case {
        uint16_t version;
        bool big;
        bool identifyReply;
    } cases[] = {{3, false, false}, {3, true, false},  {2, false, false},
                 {2, true, false},  {1, false, false}, {2, false, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "version " << c.version << " big " << c.big);
        BridgeServerConfig config;
        config.protocolVersion = c.version;
        config.bigEndian = c.big;
        config.identifyReply = c.identifyReply;
        Open(config);
        ASSERT_TRUE(Connect()) << client->LastErrorText();
        EXPECT_EQ(client->Wire().version, c.version);
        EXPECT_EQ(client->Wire().bigEndian, c.big);
        ASSERT_EQ(client->BusList().size(), 2u);
        EXPECT_EQ(client->BusList()[1].kind, kBusKindEtherCat);
        EXPECT_TRUE(client->HasApplicationVersion());
        EXPECT_DOUBLE_EQ(client->EtherCatRate(), 5.5);
        EXPECT_DOUBLE_EQ(client->CanOpenRate(), 6.3);  // 6300000 / 1000 us / 1000
        uint32_t value = 0, status = 1;
        EXPECT_EQ(ReadPosition(value, status), 0);
        EXPECT_EQ(status, 0u);
        EXPECT_EQ(value, 0x12345678u);
        if (c.version >= 3 || c.identifyReply) {
            EXPECT_EQ(client->GetVersionText(), "SimBridge 2.1.0.7");
        }
        TearDown();
    }
}

// The abort message goes out beside the thread's exchanges, laid out for the bridge's version
// and byte order (its last word always least significant byte first).
TEST_F(BridgeClient, AbortMessageInEachVersionAndByteOrder) {
    struct Case {
        uint16_t version;
        bool big;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {2, false, {0x42, 0x43, 0, 0, 12, 0, 0, 0, 0, 0, 0xFF, 0x03}},
        {2, true, {0x43, 0x42, 0, 0, 0, 0, 0, 12, 0, 0, 0xFF, 0x03}},
        {3, false, {0x42, 0x43, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0x03, 0, 0}},
        {3, true, {0x43, 0x42, 0, 0, 0, 0, 0, 16, 0, 0, 0, 0, 0xFF, 0x03, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "version " << c.version << " big " << c.big);
        BridgeServerConfig config;
        config.protocolVersion = c.version;
        config.bigEndian = c.big;
        Open(config);
        EXPECT_EQ(client->SendAbort(), -1);  // not connected yet
        ASSERT_TRUE(Connect()) << client->LastErrorText();
        EXPECT_EQ(client->SendAbort(), static_cast<int>(c.bytes.size()));
        for (int i = 0; i < 500 && server->Aborts() == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(server->LastAbortMessage(), c.bytes);
        // The connection goes on as before.
        uint32_t value = 0, status = 1;
        EXPECT_EQ(ReadPosition(value, status), 0);
        EXPECT_EQ(value, 0x12345678u);
        TearDown();
    }
}

TEST_F(BridgeClient, RefusesWhatItCannotSpeak) {
    BridgeServerConfig newer;
    newer.protocolVersion = 4;
    Open(newer);
    EXPECT_FALSE(Connect());
    EXPECT_EQ(client->LastErrorCode(), 0xFFFF);
    EXPECT_EQ(client->LastErrorText(), "Bridge protocol version 4 not supported: SimBridge 2.1.0.7");
    TearDown();

    BridgeServerConfig other;
    other.applicationId = 77;
    Open(other);
    EXPECT_FALSE(Connect());
    EXPECT_EQ(client->LastErrorText(),
              "Not a recognized bridge application running on target: SimBridge 2.1.0.7 (Simulated fieldbus "
              "bridge)");
    TearDown();

    client = std::make_unique<CBridgeVkr>();
    client->SetPort(1);  // nothing listens there
    EXPECT_FALSE(client->Connect("127.0.0.1"));
    EXPECT_NE(client->LastErrorText().find("Error connecting to the bridge: socket error"),
              std::string::npos);
    EXPECT_FALSE(client->Connect("not an address at all"));
    EXPECT_FALSE(client->IsConnected());
}

TEST_F(BridgeClient, HandshakeTakesBufferSizesOnlyInRange) {
    const std::pair<uint32_t, uint32_t> cases[] = {{9, 4096}, {70000, 4096}, {10, 10}, {65536, 65536}};
    for (const auto& [offered, kept] : cases) {
        BridgeServerConfig config;
        config.protocolVersion = 2;
        config.receiveSize = offered;
        Open(config);
        ASSERT_TRUE(Connect()) << client->LastErrorText();
        EXPECT_EQ(client->ReceiveSize(), kept) << offered;
        uint32_t value = 0, status = 1;
        EXPECT_EQ(ReadPosition(value, status), 0) << "the restarted thread still exchanges";
        TearDown();
    }
}

TEST_F(BridgeClient, FaultsGiveTheirCodesAndTheChannelRecovers) {
    Open();
    ASSERT_TRUE(Connect());
    struct Case {
        const char* name;
        BridgeFault fault;
        int code;
    } cases[] = {
        {"dropped reply", {BridgeFault::Drop, 0, 1}, CBridgeVkr::kTimeoutResponse},
        {"wrong magic", {BridgeFault::WrongMagic, 0, 1}, CBridgeVkr::kTimeoutResponse},
        {"truncated records", {BridgeFault::Truncate, 6, 1}, CBridgeVkr::kWrongData},
        {"status message", {BridgeFault::Status, -6, 1}, -6},
        {"stale reply first", {BridgeFault::StaleFirst, 0, 1}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server->InjectFault(c.fault);
        uint32_t value = 0, status = 0;
        EXPECT_EQ(ReadPosition(value, status), c.code);
        // The next exchange works again.
        EXPECT_EQ(ReadPosition(value, status), 0);
        EXPECT_EQ(value, 0x12345678u);
    }
    EXPECT_GE(server->Aborts(), 2u) << "time-outs send the abort message";
}

TEST_F(BridgeClient, LostConnectionDisconnects) {
    Open();
    ASSERT_TRUE(Connect());
    server->InjectFault({BridgeFault::Disconnect, 0, 1});
    uint32_t value = 0, status = 0;
    EXPECT_EQ(ReadPosition(value, status), 0xFFFF);
    EXPECT_FALSE(client->IsConnected());
    EXPECT_EQ(client->LastErrorText(), "socket gracefully closed");
    EXPECT_EQ(ReadPosition(value, status), CBridgeVkr::kNotConnected);
}

TEST_F(BridgeClient, SecondCallerGetsChannelBusy) {
    Open();
    ASSERT_TRUE(Connect());
    server->InjectFault({BridgeFault::Delay, 1200, 1});
    int first = -1;
    std::thread slow([&] {
        CCmdList list;
        uint32_t status = 0, value = 0;
        client->SetCurrentTarget(1);
        list.Add(std::make_unique<CCmdReadCan>(*client, 5, 0x6064, 0, &value, 4, nullptr, &status));
        list.RaiseTimeout(3000);
        first = client->ExecuteList(list);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    CCmdList other;
    uint32_t status = 0, value = 0;
    other.Add(std::make_unique<CCmdReadCan>(*client, 5, 0x6064, 0, &value, 4, nullptr, &status));
    EXPECT_EQ(client->ExecuteList(other), CBridgeVkr::kChannelBusy);
    EXPECT_EQ(client->GetErrorText(CBridgeVkr::kChannelBusy), "Channel busy");
    slow.join();
    EXPECT_EQ(first, 0);
}

TEST_F(BridgeClient, StatusCodesPerCommandAndSizeLimits) {
    Open();
    server->WithNode(1, 5, [](drivesim::BridgeSimNode* n) { n->aborts[0x2000u << 8 | 1] = 0x06090030; });
    ASSERT_TRUE(Connect());
    client->SetCurrentTarget(1);
    client->SetCurrentNode(5);
    uint32_t a = 0, b = 0, sa = 7, sb = 7, sc = 7;
    const uint32_t written = 0xCAFEF00D;
    client->ClearDirect();
    client->CmdReadCan(0x2000, 1, &a, &sa, 4);
    client->CmdWriteCan(0x2001, 0, &written, &sb, 4);
    client->CmdReadCan(0x2001, 0, &b, &sc, 4);
    EXPECT_EQ(client->ExecuteCmds(500), 0);
    EXPECT_EQ(sa, 0x06090030u);
    EXPECT_EQ(sb, 0u);
    EXPECT_EQ(sc, 0u);
    EXPECT_EQ(b, written) << "a failed record does not stop the following ones";

    std::vector<uint8_t> huge(0x20000);
    client->ClearDirect();
    client->CmdReadCan(0x2001, 0, huge.data(), &sa, static_cast<uint32_t>(huge.size()));
    EXPECT_EQ(client->ExecuteCmds(500), CBridgeVkr::kTooLong);
    EXPECT_EQ(client->GroupExecute(99, 100, 0), CBridgeVkr::kNoGroup);
    EXPECT_EQ(client->GetErrorText(CBridgeVkr::kNoGroup), "Group does not exist");
}

TEST_F(BridgeClient, KeepAliveWhileIdle) {
    Open();
    ASSERT_TRUE(Connect());
    for (int i = 0; i < 100 && server->KeepAlives() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_GT(server->KeepAlives(), 0u);
    uint32_t value = 0, status = 0;
    EXPECT_EQ(ReadPosition(value, status), 0) << "the keep-alive answer never matches an exchange";
}

TEST_F(BridgeClient, CyclicGroupPostsChangesAndStopsWhenRemoved) {
    Open();
    ASSERT_TRUE(Connect());
    client->SetCurrentTarget(1);
    client->SetCurrentNode(5);
    platform::RecordingSink sink;
    uint32_t value = 0, status = 0, size = 0;
    uint8_t holderStatus = 9;
    CBridgeNotify notify{&holderStatus, true, 0x1234};
    const int group = client->GroupCreate(sink.Handle(), platform::WM_USER + 5);
    ASSERT_GT(group, 0);
    EXPECT_GT(client->GroupAddReadCan4(group, 0x6064, 0, &value, &status, &size, false, notify), 0);
    EXPECT_EQ(client->GroupExecute(group, 500, 20), 0);
    auto waitFor = [&](size_t n) {
        for (int i = 0; i < 250 && sink.Count() < n; ++i) {
            platform::WaitForMessages(20);
            platform::PumpMessages();
        }
        return sink.Count() >= n;
    };
    ASSERT_TRUE(waitFor(1));
    EXPECT_EQ(sink.Messages()[0].wParam, 0x1234u);
    server->WithNode(1, 5, [](drivesim::BridgeSimNode* n) { n->SetU32(0x6064, 0, 99); });
    ASSERT_TRUE(waitFor(2));
    EXPECT_EQ(value, 99u);
    EXPECT_EQ(client->GroupRemove(group), 0);
    const uint64_t frames = server->Frames();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_LE(server->Frames(), frames + 1) << "a removed group stops being executed";
    EXPECT_EQ(client->LiveGroupCount(), 0);
}

TEST_F(BridgeClient, GroupPoolGrowsAndReusesSlots) {
    Open();
    std::vector<int> handles;
    for (int i = 0; i < 55; ++i) handles.push_back(client->GroupCreate(0, 0));
    EXPECT_EQ(handles.front(), 1);
    EXPECT_EQ(handles.back(), 55);
    EXPECT_EQ(client->GroupRemove(7), 0);
    EXPECT_EQ(client->GroupRemove(7), CBridgeVkr::kNoGroup);
    EXPECT_EQ(client->GroupCreate(0, 0), 7) << "a freed slot is taken first";
    EXPECT_EQ(client->LiveGroupCount(), 55);
}

TEST_F(BridgeClient, LogChannelCopiesIntoBridgelog) {
    const auto folder =
        std::filesystem::temp_directory_path() / ("h15_bridgelog_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    setenv("TUNOVA_TEMP_DIR", folder.c_str(), 1);
    Open();
    ASSERT_TRUE(Connect());
    ASSERT_TRUE(client->CmdLogConnect());
    for (int i = 0; i < 100 && server->LastLogLevel() != 1; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(server->LastLogLevel(), 1);
    server->WriteLog("drive 5 booted\r\n");
    std::string text;
    for (int i = 0; i < 150 && text.find("booted") == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::ifstream in(folder / "bridgelog.txt");
        std::stringstream s;
        s << in.rdbuf();
        text = s.str();
    }
    EXPECT_NE(text.find("log level 1"), std::string::npos);
    EXPECT_NE(text.find("drive 5 booted"), std::string::npos);
    client->CmdLogDisconnect();
    EXPECT_FALSE(client->LogChannelRunning());
    unsetenv("TUNOVA_TEMP_DIR");
    std::filesystem::remove_all(folder);
}

}  // namespace
