#include <arpa/inet.h>
#include <modbus/modbus.h>
#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "TransportTestUtil.h"
#include "platform/Socket.h"
#include "transport/ModbusTcp.h"

using namespace transport;
using namespace transport_test;
using Clock = std::chrono::steady_clock;

namespace {

// A box played by the test: it sees every request byte and writes each reply by hand.
class TcpOnPeer : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(listener.Listen("127.0.0.1", 0), 0);
        box.SetBoxAddress(0x7F000001);
        box.SetPort(listener.Port());
        box.SetBoxTimeout(300);
        ASSERT_EQ(box.Connect(), 0) << box.ErrorText();
        ASSERT_EQ(listener.Accept(peer, 5000), 1);
        EXPECT_EQ(box.BoxAddressText(), "127.0.0.1");
    }
    Bytes Read(size_t n) {
        Bytes got(n);
        const int r = peer.RecvAll(got.data(), n, 5000);
        got.resize(r > 0 ? static_cast<size_t>(r) : 0);
        return got;
    }
    void Write(const Bytes& bytes) { ASSERT_EQ(peer.Send(bytes.data(), bytes.size()), (int)bytes.size()); }

    platform::TcpListener listener;
    platform::TcpSocket peer;
    CErrorPair owner;
    CModbusTcp box{&owner};
};

TEST_F(TcpOnPeer, ReadFrameWithMbapHeader) {
    uint16_t values[2] = {};
    auto call = std::async(std::launch::async,
                           [&] { return box.ReadRegisters(0x0010, 2, values, sizeof values, 5); });
    EXPECT_EQ(Read(12), HexToBytes("00 01 00 00 00 06 05 03 00 10 00 02"));
    Write(HexToBytes("00 01 00 00 00 07 05 03 04 12 34 56 78"));
    EXPECT_EQ(call.get(), 4);
    EXPECT_EQ(values[0], 0x1234);
    EXPECT_EQ(values[1], 0x5678);
    // The next request carries the next transaction id.
    call = std::async(std::launch::async,
                      [&] { return box.ReadRegisters(0x0010, 1, values, sizeof values, 5); });
    EXPECT_EQ(Read(12), HexToBytes("00 02 00 00 00 06 05 03 00 10 00 01"));
    Write(HexToBytes("00 02 00 00 00 05 05 03 02 00 07"));
    EXPECT_EQ(call.get(), 2);
}

TEST_F(TcpOnPeer, WriteFrames) {
    const uint16_t data[4] = {1, 2, 3, 0xABCD};
    auto call =
        std::async(std::launch::async, [&] { return box.WriteRegisters(0x0100, 4, data, sizeof data, 1); });
    EXPECT_EQ(Read(21), HexToBytes("00 01 00 00 00 0F 01 10 01 00 00 04 08 00 01 00 02 00 03 AB CD"));
    Write(HexToBytes("00 01 00 00 00 06 01 10 01 00 00 04"));
    EXPECT_EQ(call.get(), 8);
    call = std::async(std::launch::async, [&] { return box.WriteRegister(0x0101, 0x1234, 1); });
    EXPECT_EQ(Read(12), HexToBytes("00 02 00 00 00 06 01 06 01 01 12 34"));
    Write(HexToBytes("00 02 00 00 00 06 01 06 01 01 12 34"));
    EXPECT_EQ(call.get(), 2);
}

TEST_F(TcpOnPeer, ExceptionsTimeoutsAndWrongIds) {
    uint16_t values[2];
    struct Case {
        const char* reply;
        int result;
        const char* text;
        const char* stale = "";  // a frame of an earlier transaction, sent before the reply
        size_t staleFill = 0;    // bytes appended to the stale frame
    } cases[] = {
        {"00 01 00 00 00 03 01 83 02", -2, "Modbus func. 3 register 7: error 0x02 (Illegal data address)"},
        {"00 02 00 00 00 03 01 83 65", -101,
         "Modbus func. 3 register 7: error 0x65 (Mirel: USB device disconnected)"},
        {"00 09 00 00 00 07 01 03 04 00 00 00 00", -206, "received a wrong transaction id"},
        {"00 04 00 00 00 05 01 03 02 00 00", -205, "recv(): received fewer bytes than requested"},
        // A stale exception is no answer to this call, and the failure's text goes with a success.
        {"00 05 00 00 00 07 01 03 04 00 2A 00 2B", 4, "", "00 04 00 00 00 03 01 83 02"},
        {"00 06 00 00 00 07 01 03 04 00 2A 00 2B", 4, "", "00 05 00 00 00 07 01 03 04 11 11 11 11"},
        // A stale frame longer than the reply buffer is skipped whole.
        {"00 07 00 00 00 07 01 03 04 00 2A 00 2B", 4, "", "00 06 00 00 01 2D 01 03", 299},
        // Only a stale exception before the time-out: the wrong id, not the stale error.
        {"", -206, "received a wrong transaction id", "00 07 00 00 00 03 01 83 02"},
    };
    for (const Case& c : cases) {
        values[0] = values[1] = 0;
        auto call =
            std::async(std::launch::async, [&] { return box.ReadRegisters(7, 2, values, sizeof values, 1); });
        Read(12);
        Bytes stale = HexToBytes(c.stale);
        stale.resize(stale.size() + c.staleFill, 0x11);
        if (!stale.empty()) Write(stale);
        if (*c.reply) Write(HexToBytes(c.reply));
        EXPECT_EQ(call.get(), c.result) << c.reply;
        EXPECT_EQ(box.Client()->ErrorText(), c.text) << c.reply;
        if (c.result > 0) {
            EXPECT_EQ(values[0], 42);
            EXPECT_EQ(values[1], 43);
        }
    }
    // No answer within the box time-out: 0, not an error code.
    const auto start = Clock::now();
    EXPECT_EQ(box.ReadRegisters(7, 2, values, sizeof values, 1), 0);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(300));
    EXPECT_EQ(box.Client()->ErrorText(), "select(): timeout waiting slave response");
    EXPECT_EQ(box.WriteRegisters(7, 2, values, sizeof values, 1), 0);
    EXPECT_EQ(box.Client()->ErrorText(), "select(300): timeout waiting slave response");
    EXPECT_EQ(box.ReadRegisters(7, 2, values, 3, 1), -200);
    EXPECT_EQ(box.Client()->ErrorText(), "the buffer provided is too small");
}

TEST_F(TcpOnPeer, LateBytesAreDrainedAndSplitRepliesGathered) {
    uint16_t values[2] = {};
    EXPECT_EQ(box.ReadRegisters(7, 2, values, sizeof values, 1), 0);  // times out
    Read(12);
    Write(HexToBytes("00 01 00 00 00 07 01 03 04 00 00 00 00"));  // the late reply
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    auto call =
        std::async(std::launch::async, [&] { return box.ReadRegisters(7, 2, values, sizeof values, 1); });
    EXPECT_EQ(Read(12)[1], 2);
    Write(HexToBytes("00 02 00 00 00 07 01"));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    Write(HexToBytes("03 04 00 2A 00 2B"));
    EXPECT_EQ(call.get(), 4);
    EXPECT_EQ(values[0], 42);
    EXPECT_EQ(values[1], 43);
}

TEST_F(TcpOnPeer, AnnouncedLengthBeyondTheBufferIsBounded) {
    uint16_t values[2] = {};
    auto call =
        std::async(std::launch::async, [&] { return box.ReadRegisters(7, 2, values, sizeof values, 1); });
    Read(12);
    Bytes reply = HexToBytes("00 01 00 00 FF FF 01 03 04");
    reply.resize(400, 0x11);
    Write(reply);
    EXPECT_EQ(call.get(), -205);
    EXPECT_EQ(values[0], 0);
}

TEST(ModbusTcpConnect, RefusedConnectionGivesText) {
    platform::TcpListener listener;
    ASSERT_EQ(listener.Listen("127.0.0.1", 0), 0);
    const uint16_t port = listener.Port();
    listener.Close();
    CModbusTcp box;
    box.SetBoxAddress(0x7F000001);
    box.SetPort(port);
    EXPECT_EQ(box.Connect(), -1);
    EXPECT_EQ(box.ErrorText().rfind("connect(" + std::to_string(port) + "):", 0), 0u) << box.ErrorText();
    EXPECT_FALSE(box.IsConnected());
}

TEST(ModbusTcpPeer, OurBoxChannelAgainstALibmodbusServer) {
    modbus_t* server = modbus_new_tcp("127.0.0.1", 0);
    ASSERT_NE(server, nullptr);
    const int listenFd = modbus_tcp_listen(server, 1);
    ASSERT_GE(listenFd, 0);
    sockaddr_in address{};
    socklen_t length = sizeof address;
    getsockname(listenFd, reinterpret_cast<sockaddr*>(&address), &length);
    modbus_mapping_t* map = modbus_mapping_new(0, 0, 300, 0);
    for (int i = 0; i < 300; ++i) map->tab_registers[i] = static_cast<uint16_t>(i * 3);
    std::atomic<bool> stop{false};
    std::thread serve([&] {
        int fd = listenFd;
        modbus_tcp_accept(server, &fd);
        uint8_t request[MODBUS_TCP_MAX_ADU_LENGTH];
        while (!stop) {
            pollfd pfd{modbus_get_socket(server), POLLIN, 0};
            if (poll(&pfd, 1, 20) <= 0) continue;
            const int n = modbus_receive(server, request);
            if (n > 0)
                modbus_reply(server, request, n, map);
            else if (n < 0)
                break;
        }
    });
    CModbusTcp box;
    box.SetBoxAddress(0x7F000001);
    box.SetPort(ntohs(address.sin_port));
    ASSERT_EQ(box.Connect(), 0);
    uint16_t values[125];
    EXPECT_EQ(box.ReadRegisters(100, 125, values, sizeof values, 1), 250);
    EXPECT_EQ(values[124], 224 * 3);
    const uint16_t data[3] = {7, 8, 9};
    EXPECT_EQ(box.WriteRegisters(10, 3, data, sizeof data, 1), 6);
    EXPECT_EQ(box.WriteRegister(20, 0xFEED, 1), 2);
    EXPECT_EQ(map->tab_registers[12], 9);
    EXPECT_EQ(map->tab_registers[20], 0xFEED);
    EXPECT_EQ(box.ReadRegisters(299, 2, values, sizeof values, 1), -2);
    box.Disconnect();
    stop = true;
    serve.join();
    close(listenFd);
    modbus_close(server);
    modbus_mapping_free(map);
    modbus_free(server);
}

class TcpOnSim : public ::testing::Test {
  protected:
    void SetUp() override {
        sim.AddDrive(1).SetRegisters(0, {10, 11, 12, 13});
        const int port = sim.StartTcp(0, nullptr);
        ASSERT_GT(port, 0);
        box.SetBoxAddress(0x7F000001);
        box.SetPort(static_cast<uint16_t>(port));
        box.SetBoxTimeout(400);
        ASSERT_EQ(box.Connect(), 0);
    }
    drivesim::DriveSim sim;
    CModbusTcp box;
};

TEST_F(TcpOnSim, InjectedFaultsGiveTheirCodes) {
    using F = drivesim::Fault;
    struct Case {
        F fault;
        int result;
        const char* text;
    } cases[] = {
        {{F::DropReply, 0, 1}, 0, "select(): timeout waiting slave response"},
        {{F::CorruptCrc, 0, 1}, -206, "received a wrong transaction id"},
        {{F::Truncate, 10, 1}, -205, "recv(): received fewer bytes than requested"},
        {{F::ExceptionCode, 4, 1}, -4, "Modbus func. 3 register 0: error 0x04 (Slave device failure)"},
        {{F::Delay, 50, 1}, 4, ""},
        {{F::WrongSlave, 0, 1}, 4, ""},  // the unit id of a reply is not checked
    };
    for (const Case& c : cases) {
        sim.ClearFaults();
        sim.InjectFault(c.fault);
        uint16_t values[2] = {};
        EXPECT_EQ(box.ReadRegisters(0, 2, values, sizeof values, 1), c.result) << c.fault.kind;
        if (c.result <= 0) {
            EXPECT_EQ(box.Client()->ErrorText(), c.text) << c.fault.kind;
        }
        // After a dropped reply the next transaction is clean again.
        EXPECT_EQ(box.ReadRegisters(2, 2, values, sizeof values, 1), 4) << c.fault.kind;
        EXPECT_EQ(values[1], 13);
    }
    // A unit the box cannot reach: exception 11.
    uint16_t values[2];
    EXPECT_EQ(box.ReadRegisters(0, 2, values, sizeof values, 9), -11);
}

TEST_F(TcpOnSim, LibmodbusClientAgainstTheSimulatedDrive) {
    modbus_t* ctx = modbus_new_tcp("127.0.0.1", sim.TcpPort());
    ASSERT_EQ(modbus_connect(ctx), 0);
    modbus_set_slave(ctx, 1);
    uint16_t values[4];
    EXPECT_EQ(modbus_read_registers(ctx, 0, 4, values), 4);
    EXPECT_EQ(values[3], 13);
    EXPECT_EQ(modbus_write_register(ctx, 1, 99), 1);
    EXPECT_EQ(sim.Drive(1)->Register(1), 99);
    modbus_close(ctx);
    modbus_free(ctx);
}

}  // namespace
