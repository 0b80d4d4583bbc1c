// The CANopen channel against the simulated communication server on loopback.
#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>
#include <vector>

#include "platform/ThreadLog.h"
#include "platform/gvtcli/GvtCli.h"
#include "tests/linkora/LinkoraFixture.h"

namespace {

using drivesim::CanObject;
using drivesim::CommFault;

// Waits (generously) for a condition that another thread makes true.
template <class F>
bool WaitFor(F condition, int ms = 20000) {
    for (int i = 0; i < ms / 5; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
}

struct Calls {
    std::atomic<int> count{0};
    std::atomic<uint32_t> error{0xFFFFFFFF};
    std::atomic<unsigned> thread{0};
    static void Callback(uint32_t, uint32_t error, void* context) {
        auto* self = static_cast<Calls*>(context);
        self->error = error;
        self->thread = platform::CurrentThreadId();
        ++self->count;
    }
};

TEST_F(LinkoraTest, ConnectLogsInTestsNodeTimeAndDisconnects) {
    const int32_t id = ConnectCanOpen();
    EXPECT_EQ(lk_.ChannelStatus(id, nullptr), 0);
    EXPECT_EQ(server_.LoginCount(), 1u);
    EXPECT_EQ(server_.CallCount("ConnectNodeID"), 1u);
    EXPECT_EQ(server_.CallCount("RequestLibInfo"), 1u);
    std::ifstream results(temp_ / "Linkora.txt", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(results)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find(" Node time results:\r\nRequest: "), std::string::npos) << text;
    EXPECT_NE(text.find("\r\nSleep10: "), std::string::npos);

    // Connected already: nothing goes to the server.
    const uint64_t checks = server_.CallCount("ChkActiveNet");
    EXPECT_EQ(lk_.ChannelConnect(id), 0);
    EXPECT_EQ(server_.CallCount("ChkActiveNet"), checks);

    EXPECT_EQ(lk_.ChannelDisconnect(id), 0);
    EXPECT_EQ(lk_.ChannelStatus(id, nullptr), -23);
    EXPECT_EQ(server_.CallCount("DisconnectNodeID"), 1u);
    uint8_t buffer[4];
    EXPECT_EQ(lk_.Read("1000.0", buffer, 4, 1000, 1, nullptr), -23);
    EXPECT_TRUE(WaitFor([&] { return server_.LoginCount() == 0; }));
}

TEST_F(LinkoraTest, ConnectFailuresReportCodesAndTexts) {
    // No node id token: refused before any server call.
    const int32_t noNode = lk_.ChannelCreate("TCP/IP h:TCP/IP 0:TCP/IP 127.0.0.1:CANopen 1");
    EXPECT_EQ(lk_.ChannelConnect(noNode), 0x111);
    EXPECT_EQ(server_.CallCount("ChkActiveNet"), 0u);

    // A node the network does not have.
    const int32_t absent = lk_.ChannelCreate(Definition("CANopen 1", 9).c_str());
    EXPECT_EQ(lk_.ChannelConnect(absent), 0x111);
    EXPECT_EQ(LastError(absent), "node not present on the network");

    // An inactive network: logged out again, result 1.
    server_.SetNetworkActive(kNetwork, false);
    const int32_t inactive = lk_.ChannelCreate(Definition("CANopen 1", kNode).c_str());
    EXPECT_EQ(lk_.ChannelConnect(inactive), 1);
    EXPECT_EQ(lk_.ChannelStatus(inactive, nullptr), -23);
    server_.SetNetworkActive(kNetwork, true);

    // No server at that address.
    setenv("TUNOVA_GVTSVR_PORT", "1", 1);
    const int32_t nowhere = lk_.ChannelCreate(Definition("CANopen 1", 4).c_str());
    EXPECT_EQ(static_cast<uint32_t>(lk_.ChannelConnect(nowhere)), kGvtServerUnreachable);
    EXPECT_EQ(LastError(nowhere), "communication server not reachable");
}

TEST_F(LinkoraTest, TwoChannelsShareTheServerSession) {
    server_.AddNode(kNetwork, 6);
    const int32_t a = lk_.ChannelCreate(Definition("CANopen 1", kNode).c_str());
    const int32_t b = lk_.ChannelCreate(Definition("canopen 1", 6).c_str());
    EXPECT_EQ(lk_.ChannelConnect(a), 0);
    EXPECT_EQ(lk_.ChannelConnect(b), 0);
    EXPECT_EQ(server_.LoginCount(), 2u);
    server_.SetValue(kNetwork, 6, 0x2000, 1, 0x1234, 2);
    lk_.ChannelDefault(b);
    uint16_t value = 0;
    EXPECT_EQ(lk_.Read("2000.1", &value, 2, 1000, 1, nullptr), 0);
    EXPECT_EQ(value, 0x1234);
}

TEST_F(LinkoraTest, DirectReadsWritesAndAborts) {
    ConnectCanOpen();
    server_.SetValue(kNetwork, kNode, 0x2000, 1, 0xA1B2C3D4, 4);
    server_.SetValue(kNetwork, kNode, 0x2001, 0, 0, 2);
    uint8_t buffer[8];
    std::memset(buffer, 0xEE, sizeof buffer);
    int transferred = -1;
    server_.SetValue(kNetwork, kNode, 0x2002, 0, 0xBEEF, 2);
    ASSERT_EQ(lk_.Read("2002.0", buffer, 2, 1000, 1, &transferred), 0);
    EXPECT_EQ(buffer[0], 0xEF);
    EXPECT_EQ(buffer[1], 0xBE);
    EXPECT_EQ(buffer[2], 0xEE);  // exactly two bytes
    ASSERT_EQ(lk_.Read("0x2000.0x1", buffer, 4, 1000, 1, nullptr), 0);
    uint32_t v;
    std::memcpy(&v, buffer, 4);
    EXPECT_EQ(v, 0xA1B2C3D4u);

    uint16_t w = 0x4321;
    ASSERT_EQ(lk_.Write("2001.0", &w, 2, 1000, 1, nullptr), 0);
    EXPECT_EQ(server_.ObjectData(kNetwork, kNode, 0x2001, 0), (std::vector<uint8_t>{0x21, 0x43}));

    struct Case {
        const char* name;
        bool write;
        int size;
        int32_t result;
    } cases[] = {
        {"3000.0", false, 4, 0x06020000},  // no such object
        {"2000.9", false, 4, 0x06090011},  // no such subindex
        {"1000.0", true, 4, 0x06010002},   // read only
        {"2001.0", true, 4, 0x06070012},   // too long
        {"2001.0", true, 1, 0x06070013},   // too short
        {"6041", false, 2, -2},           {".1", false, 2, -2},
    };
    for (const auto& c : cases) {
        std::memset(buffer, 0, sizeof buffer);
        const int32_t rc = c.write ? lk_.Write(c.name, buffer, c.size, 1000, 1, nullptr)
                                   : lk_.Read(c.name, buffer, c.size, 1000, 1, nullptr);
        EXPECT_EQ(rc, c.result) << c.name;
    }
    uint32_t detail = 0;
    EXPECT_EQ(ErrorText(0x06020000, &detail),
              "Node returned error:Object does not exist in the object dictionary");
    EXPECT_EQ(detail, 0x06020000u);

    server_.InjectFault(CommFault{CommFault::Abort, 0x08000022, 1, ""});
    EXPECT_EQ(lk_.Read("2000.1", buffer, 4, 1000, 1, nullptr), 0x08000022);
    EXPECT_EQ(lk_.Read("2000.1", buffer, 4, 1000, 1, nullptr), 0);
}

TEST_F(LinkoraTest, DomainsMoveInChunksBothWays) {
    ConnectCanOpen();
    CanObject domain;
    domain.domain = true;
    for (int i = 0; i < 2000; ++i) domain.data.push_back(static_cast<uint8_t>(i * 7));
    server_.SetObject(kNetwork, kNode, 0x2100, 0, domain);
    std::vector<uint8_t> buffer(2000, 0);
    int transferred = 0;
    ASSERT_EQ(lk_.Read("2100.0", buffer.data(), 2000, 5000, 1, &transferred), 0);
    EXPECT_EQ(transferred, 2000);
    EXPECT_EQ(buffer, domain.data);

    std::vector<uint8_t> out(3000);
    for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<uint8_t>(i ^ 0x5A);
    ASSERT_EQ(lk_.Write("2100.0", out.data(), 3000, 5000, 1, &transferred), 0);
    EXPECT_EQ(server_.ObjectData(kNetwork, kNode, 0x2100, 0), out);

    // A domain longer than the caller's buffer is refused by the node.
    std::vector<uint8_t> small(100);
    EXPECT_EQ(lk_.Read("2100.0", small.data(), 100, 5000, 1, nullptr), 7);
}

TEST_F(LinkoraTest, QueuedTransferFinishesThroughCheckReadWrite) {
    ConnectCanOpen();
    CanObject domain;
    domain.domain = true;
    domain.data.assign(1500, 0x3C);
    server_.SetObject(kNetwork, kNode, 0x2100, 0, domain);
    server_.SetPollsBeforeAnswer(3);
    std::vector<uint8_t> buffer(1500, 0);
    const int32_t handle = lk_.Read("2100.0", buffer.data(), 1500, 5000, 0, nullptr);
    ASSERT_GE(handle, 0x10000000);
    uint32_t value = 0xFFFFFFFF;
    ASSERT_TRUE(WaitFor([&] { return lk_.CheckReadWrite(handle, &value) == 0; }));
    EXPECT_EQ(value, 0u);
    EXPECT_EQ(buffer, domain.data);
    // Finished and forgotten.
    EXPECT_EQ(lk_.CheckReadWrite(handle, &value), 0);
    EXPECT_EQ(value, 0x120000u);

    // A queued read that the node aborts finishes with the abort as a failed element,
    // the list itself being correct.
    const int32_t failing = lk_.Read("3000.0", buffer.data(), 1500, 5000, 0, nullptr);
    ASSERT_TRUE(WaitFor([&] { return lk_.CheckReadWrite(failing, &value) == 0; }));
    EXPECT_EQ(value, 0u);
}

TEST_F(LinkoraTest, GroupsRunOnceOnTheCallersThread) {
    ConnectCanOpen();
    server_.SetValue(kNetwork, kNode, 0x6041, 0, 0x0237, 2);
    server_.SetValue(kNetwork, kNode, 0x6064, 0, 123456, 4);
    Calls calls;
    EXPECT_EQ(lk_.GroupCreate(0, &Calls::Callback, &calls), 0);
    EXPECT_EQ(lk_.GroupRemove(0, 0), 0);
    ASSERT_EQ(lk_.GroupCreate(0, &Calls::Callback, &calls), 0);
    EXPECT_EQ(lk_.GroupExecute(0, 0, 100, 0), 0);  // no variables: nothing runs
    EXPECT_EQ(calls.count, 0);

    uint16_t word = 0;
    uint32_t position = 0, statusWord = 77, statusPosition = 77, statusMissing = 77;
    int32_t sizeWord = -1, sizePosition = -1, sizeMissing = -1;
    uint32_t missing = 0;
    EXPECT_EQ(lk_.VariableAdd(0, 0, "6041.0", 0, &word, 2, "", &statusWord, &sizeWord), 0);
    EXPECT_EQ(lk_.VariableAdd(0, 0, "6064.0", 0, &position, 4, "", &statusPosition, &sizePosition), 1);
    EXPECT_EQ(lk_.VariableAdd(0, 0, "3000.0", 0, &missing, 4, "", &statusMissing, &sizeMissing), 2);
    EXPECT_EQ(lk_.GroupExecute(0, 0, 100, 0), 0);
    EXPECT_EQ(calls.count, 1);
    EXPECT_EQ(calls.error, 0u);
    EXPECT_EQ(calls.thread, platform::CurrentThreadId());
    EXPECT_EQ(word, 0x0237);
    EXPECT_EQ(position, 123456u);
    EXPECT_EQ(statusWord, 0u);
    EXPECT_EQ(sizeWord, 4);
    EXPECT_EQ(statusMissing, 5u);  // aborted element
    EXPECT_EQ(sizeMissing, 0);

    // Every run writes through the caller's buffers again.
    server_.SetValue(kNetwork, kNode, 0x6064, 0, 654321, 4);
    EXPECT_EQ(lk_.GroupExecute(0, 0, 100, 0), 0);
    EXPECT_EQ(position, 654321u);

    BSTR name = nullptr, text = nullptr;
    int direction = -1, size = 0;
    void* value = nullptr;
    ASSERT_EQ(lk_.VariableGet(0, 1, &name, &direction, &value, &size, &text), 0);
    EXPECT_EQ(platform::Utf8FromBstr(name), "6064.0");
    EXPECT_EQ(value, &position);
    EXPECT_EQ(size, 4);
    SysFreeString(name);
    SysFreeString(text);
    EXPECT_EQ(lk_.VariableGet(3, 0, &name, &direction, &value, &size, &text), 11);

    // A group write, and the variable limit.
    uint16_t target = 0x0F0F;
    EXPECT_EQ(lk_.VariableRemoveAll(0), 0);
    server_.SetValue(kNetwork, kNode, 0x6040, 0, 0, 2);
    EXPECT_EQ(lk_.VariableAdd(0, 0, "6040.0", 1, &target, 2, "", nullptr, nullptr), 0);
    EXPECT_EQ(lk_.GroupExecute(0, 0, 100, 0), 0);
    EXPECT_EQ(server_.ObjectData(kNetwork, kNode, 0x6040, 0), (std::vector<uint8_t>{0x0F, 0x0F}));
    for (int i = 1; i < 25; ++i)
        EXPECT_EQ(lk_.VariableAdd(0, 0, "6041.0", 0, &word, 2, "", nullptr, nullptr), i);
    EXPECT_EQ(lk_.VariableAdd(0, 0, "6041.0", 0, &word, 2, "", nullptr, nullptr), -1);
    EXPECT_EQ(lk_.VariableRemove(0, 3), 0);
    EXPECT_EQ(lk_.VariableAdd(0, 0, "6041.0", 0, &word, 2, "", nullptr, nullptr), 3);
}

TEST_F(LinkoraTest, CyclicGroupsRunOnTheSchedulerUntilChanged) {
    ConnectCanOpen();
    server_.SetValue(kNetwork, kNode, 0x6064, 0, 1, 4);
    Calls calls;
    const int32_t group = lk_.GroupCreate(0, &Calls::Callback, &calls);
    uint32_t position = 0;
    ASSERT_EQ(lk_.VariableAdd(0, group, "6064.0", 0, &position, 4, "", nullptr, nullptr), 0);
    ASSERT_EQ(lk_.GroupExecute(0, group, 100, 20), 0);
    ASSERT_TRUE(WaitFor([&] { return calls.count >= 2; }));
    EXPECT_NE(calls.thread, platform::CurrentThreadId());
    server_.SetValue(kNetwork, kNode, 0x6064, 0, 777, 4);
    EXPECT_TRUE(WaitFor([&] { return position == 777u; }));

    EXPECT_EQ(lk_.GroupPauseExecute(0), 0);
    EXPECT_EQ(lk_.GroupResumeExecute(0), 0);

    // Adding a variable stops the cyclic run until a new execute.
    uint16_t word = 0;
    ASSERT_EQ(lk_.VariableAdd(0, group, "1000.0", 0, &word, 2, "", nullptr, nullptr), 1);
    const int after = calls.count;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(calls.count, after);
    ASSERT_EQ(lk_.GroupExecute(0, group, 100, 20), 0);
    EXPECT_TRUE(WaitFor([&] { return calls.count > after; }));
    EXPECT_EQ(word, 0x0192);
    EXPECT_EQ(lk_.GroupStop(0, group), 0);
    EXPECT_EQ(lk_.GroupRemoveAll(0), 0);
}

TEST_F(LinkoraTest, ReadValueAndGroupValuesConvert) {
    ConnectCanOpen();
    server_.SetValue(kNetwork, kNode, 0x2200, 0, 0xFFFE, 2);
    struct Case {
        uint32_t bus, value;
        uint64_t expected;
        int size;
    } cases[] = {
        {0xC0000002, 0x80000004, 0xFFFFFFFE, 4},  // signed 16 -> unsigned 32
        {0x80000002, 0x80000004, 0x0000FFFE, 4},  // unsigned 16 -> unsigned 32
        {0xC0000002, 0x80000001, 0xFE, 1},        // narrower takes the low bytes
        {0xC0000002, 0xC0000008, 0xFFFFFFFFFFFFFFFEull, 8},
    };
    for (const auto& c : cases) {
        uint64_t out = 0;
        ASSERT_EQ(lk_.ReadValue("2200.0", &out, c.bus, c.value, 1000, 1, nullptr), 0);
        EXPECT_EQ(out, c.expected) << std::hex << c.bus << " " << c.value;
    }
    double real = 0;
    ASSERT_EQ(lk_.ReadValue("2200.0", &real, 0xC0000002, 0x81000008, 1000, 1, nullptr), 0);
    EXPECT_EQ(real, -2.0);
    float single = 0;
    ASSERT_EQ(lk_.ReadValue("2200.0", &single, 0xC0000002, 0x81000004, 1000, 1, nullptr), 0);
    EXPECT_EQ(single, -2.0f);
    uint8_t wide[16];
    std::memset(wide, 0xAA, sizeof wide);
    ASSERT_EQ(lk_.ReadValue("2200.0", wide, 0xC0000002, 0x80000010, 1000, 1, nullptr), 0);
    for (uint8_t b : wide) EXPECT_EQ(b, 0);

    // Float on the bus to a signed integer of the caller, in a group.
    const float onBus = -7.75f;
    uint32_t bits;
    std::memcpy(&bits, &onBus, 4);
    server_.SetValue(kNetwork, kNode, 0x2201, 0, bits, 4);
    int32_t asInteger = 0;
    const int32_t group = lk_.GroupCreate(0, nullptr, nullptr);
    ASSERT_EQ(
        lk_.VariableAddValue(0, group, "2201.0", 0, &asInteger, 0x81000004, 0xC0000004, "", nullptr, nullptr),
        0);
    EXPECT_EQ(lk_.GroupExecute(0, group, 100, 0), 0);
    EXPECT_EQ(asInteger, -7);
}

TEST_F(LinkoraTest, ServerFaultsReachTheCaller) {
    const int32_t id = ConnectCanOpen();
    uint32_t value = 0;
    // No answer: the client's call time-out fails the list with the client's result.
    server_.InjectFault(CommFault{CommFault::NoAnswer, 0, 1, "NCS_Command"});
    EXPECT_EQ(lk_.Read("1000.0", &value, 4, 10000, 1, nullptr),
              static_cast<int32_t>(0x120000 | 0x02 << 8 | 7));
    EXPECT_EQ(lk_.Read("1000.0", &value, 4, 10000, 1, nullptr), 0);
    EXPECT_EQ(value, 0x00020192u);

    server_.InjectFault(CommFault{CommFault::NodeOffline, 0, 1, ""});
    EXPECT_EQ(lk_.Read("1000.0", &value, 4, 10000, 1, nullptr), 0x120005);
    server_.InjectFault(CommFault{CommFault::NetworkDown, 0, 1, ""});
    EXPECT_EQ(lk_.Read("1000.0", &value, 4, 10000, 1, nullptr), 0x120006);
    uint32_t errors = 0;
    lk_.ChannelStatus(id, &errors);
    EXPECT_EQ(errors, 3u);
    EXPECT_EQ(lk_.ChannelReset(id, 1), 0);
    lk_.ChannelStatus(id, &errors);
    EXPECT_EQ(errors, 0u);

    // Node events move the connection state.
    server_.SendEvent(kGvtEventNodeOffline);
    ASSERT_TRUE(WaitFor([&] { return lk_.ChannelStatus(id, nullptr) == -24; }));
    EXPECT_EQ(lk_.Read("1000.0", &value, 4, 1000, 1, nullptr), -24);
    server_.SendEvent(kGvtEventNodeReady);
    ASSERT_TRUE(WaitFor([&] { return lk_.ChannelStatus(id, nullptr) == -27; }));

    // The server goes away: the client's event thread reports it.
    server_.DropConnections();
    ASSERT_TRUE(WaitFor([&] { return lk_.ChannelStatus(id, nullptr) == -26; }));
    EXPECT_EQ(lk_.Read("1000.0", &value, 4, 1000, 1, nullptr), -26);
    // Disconnect and connect again once the server is back.
    EXPECT_EQ(lk_.ChannelDisconnect(id), 0);
    EXPECT_EQ(lk_.ChannelConnect(id), 0) << LastError(id);
    EXPECT_EQ(lk_.Read("1000.0", &value, 4, 1000, 1, nullptr), 0);
}

TEST_F(LinkoraTest, BusyNodeRefusesListsBeyondTheWaitLimit) {
    ConnectCanOpen();
    CanObject domain;
    domain.domain = true;
    domain.data.assign(16, 1);
    server_.SetObject(kNetwork, kNode, 0x2100, 0, domain);
    // A long queued read keeps the executor busy beyond any wait limit; its first answer
    // is late, but well within the client's call time-out.
    setenv("TUNOVA_GVTCLI_TIMEOUT_MS", "20000", 1);
    server_.InjectFault(CommFault{CommFault::Delay, 1500, 1, "NCS_Command"});
    std::vector<uint8_t> big(256 << 10);
    const int32_t handle = lk_.Read("2100.0", big.data(), static_cast<int>(big.size()), 5000, 0, nullptr);
    ASSERT_GE(handle, 0x10000000);
    uint32_t value = 0;
    EXPECT_EQ(lk_.Read("1000.0", &value, 4, 100, 1, nullptr), 0x120003);
    uint32_t error = 1;
    ASSERT_TRUE(WaitFor([&] { return lk_.CheckReadWrite(handle, &error) == 0; }));
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(big[15], 1);
}

TEST_F(LinkoraTest, ConcurrentCallersShareTheExecutorQueue) {
    ConnectCanOpen();
    server_.SetValue(kNetwork, kNode, 0x2000, 1, 11, 4);
    server_.SetValue(kNetwork, kNode, 0x2000, 2, 22, 4);
    std::atomic<int> failures{0};
    auto worker = [&](const char* name, uint32_t expected) {
        for (int i = 0; i < 10; ++i) {
            uint32_t v = 0;
            if (lk_.Read(name, &v, 4, 10000, 1, nullptr) != 0 || v != expected) ++failures;
        }
    };
    std::thread a(worker, "2000.1", 11u), b(worker, "2000.2", 22u);
    a.join();
    b.join();
    EXPECT_EQ(failures, 0);
}

}  // namespace
