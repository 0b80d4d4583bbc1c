#include <modbus/modbus.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include "TransportTestUtil.h"
#include "foundation/LogFile.h"
#include "foundation/ProgramSwitches.h"
#include "transport/ModbusCrc.h"
#include "transport/ModbusTexts.h"

using namespace foundation;
using namespace transport;
using namespace transport_test;
using Clock = std::chrono::steady_clock;

namespace {

TEST(ModbusCrc16, KnownFrames) {
    struct Case {
        const char* frame;
        uint16_t crc;
    } cases[] = {
        {"01 03 00 00 00 0A", 0xCDC5},  // sent as C5 CD
        {"01 06 00 01 00 03", 0x0B98},  // sent as 98 0B
        {"11 03 00 6B 00 03", 0x8776},  // sent as 76 87
        {"01 10 00 01 00 02 04 00 0A 01 02", 0x3092},
    };
    for (const Case& c : cases) {
        const Bytes frame = HexToBytes(c.frame);
        EXPECT_EQ(ModbusCrc16(frame.data(), frame.size()), c.crc) << c.frame;
    }
    EXPECT_EQ(ModbusCrc16(nullptr, 0), 0xFFFF);
}

TEST(ModbusTexts, CodesAndExceptions) {
    EXPECT_STREQ(ModbusRtuCodeText(126), "reading data confirmation:not all expected data was received");
    EXPECT_STREQ(ModbusRtuCodeText(130), "reading data confirmation:corrupted (wrong crc)");
    EXPECT_STREQ(ModbusRtuCodeText(766), kModbusWriteFailureText);
    EXPECT_STREQ(ModbusRtuCodeText(0), "ok");
    EXPECT_STREQ(GetFileTransferErrorText(2), "Illegal data address");
    EXPECT_STREQ(GetFileTransferErrorText(9), "");
    EXPECT_STREQ(GetFileTransferErrorText(249), "wrong toggle bit");
    EXPECT_STREQ(GetModbusExceptionText(101), "Mirel: USB device disconnected");
    EXPECT_STREQ(GetModbusExceptionText(42), "Unknown");
}

// A channel on a scripted pty peer: the test sees every byte sent and chooses every reply.
class RtuOnPeer : public ::testing::Test {
  protected:
    void SetUp() override {
        ConfigureRtu(rtu, peer.Path(), 500);
        ASSERT_EQ(rtu.Connect(true), 0) << rtu.GetErrorText(0);
    }
    template <class F>
    auto Async(F f) {
        return std::async(std::launch::async, f);
    }

    PromptRecorder prompts;
    PtyPeer peer;
    CErrorPair owner;
    CModbusRtu rtu{&owner, 0};
};

TEST_F(RtuOnPeer, ReadRegistersFrameAndWordOrder) {
    uint8_t buffer[4] = {};
    auto call = Async([&] { return rtu.ReadRegisters(0x0102, 2, buffer, 7); });
    EXPECT_EQ(peer.Read(8), WithCrc(HexToBytes("07 03 01 02 00 02")));
    peer.Write(WithCrc(HexToBytes("07 03 04 12 34 56 78")));
    EXPECT_EQ(call.get(), 0);
    // Little-endian 16-bit values in the caller's buffer.
    EXPECT_EQ(Bytes(buffer, buffer + 4), HexToBytes("34 12 78 56"));
    EXPECT_EQ(rtu.State(), 0);

    rtu.SetRawWordOrder(true);
    call = Async([&] { return rtu.ReadRegisters(0x0102, 2, buffer, 0); });  // slave 0: the node field
    EXPECT_EQ(peer.Read(8), WithCrc(HexToBytes("01 03 01 02 00 02")));
    peer.Write(WithCrc(HexToBytes("01 03 04 12 34 56 78")));
    EXPECT_EQ(call.get(), 0);
    EXPECT_EQ(Bytes(buffer, buffer + 4), HexToBytes("12 34 56 78"));
}

TEST_F(RtuOnPeer, WriteRegistersAndSingleRegisterFrames) {
    const uint8_t data[4] = {0x0A, 0x00, 0x02, 0x01};  // 0x000A, 0x0102
    auto call = Async([&] { return rtu.WriteRegisters(1, 2, data, 1); });
    EXPECT_EQ(peer.Read(13), WithCrc(HexToBytes("01 10 00 01 00 02 04 00 0A 01 02")));
    peer.Write(WithCrc(HexToBytes("01 10 00 01 00 02")));
    EXPECT_EQ(call.get(), 0);

    call = Async([&] { return rtu.WriteRegisterFrame(1, 3, 1); });
    EXPECT_EQ(peer.Read(8), HexToBytes("01 06 00 01 00 03 98 0B"));
    peer.Write(HexToBytes("01 06 00 01 00 03 98 0B"));
    EXPECT_EQ(call.get(), 0);

    // An echo that differs from the request is refused without a retry.
    call = Async([&] { return rtu.WriteRegisterFrame(1, 3, 1); });
    peer.Read(8);
    peer.Write(WithCrc(HexToBytes("01 06 00 01 00 04")));
    EXPECT_EQ(call.get(), 145);
    call = Async([&] { return rtu.WriteRegisters(1, 2, data, 1); });
    peer.Read(13);
    peer.Write(WithCrc(HexToBytes("01 10 00 01 00 03")));
    EXPECT_EQ(call.get(), 138);
}

TEST_F(RtuOnPeer, ExceptionRepliesAreMappedWithoutRetry) {
    struct Case {
        int function;
        const char* reply;
        int code;
        const char* text;
    } cases[] = {
        {3, "01 83 02", 129, "Modbus:Modbus func. 3 register 10 words 2: error 0x02 (Illegal data address)"},
        {16, "01 90 03", 136, "Modbus:Modbus func. 16 register 10 words 2: error 0x03 (Illegal data value)"},
        {6, "01 86 04", 143, "Modbus:Modbus func. 6 register 10: error 0x04 (Slave device failure)"},
    };
    for (const Case& c : cases) {
        uint8_t buffer[4] = {1, 2, 3, 4};
        auto call = Async([&] {
            if (c.function == 3) return rtu.ReadRegisters(10, 2, buffer, 1);
            if (c.function == 16) return rtu.WriteRegisters(10, 2, buffer, 1);
            return rtu.WriteRegisterFrame(10, 5, 1);
        });
        peer.Read(c.function == 16 ? 13 : 8);
        peer.Write(WithCrc(HexToBytes(c.reply)));
        EXPECT_EQ(call.get(), c.code);
        EXPECT_EQ(owner.Code(), c.code);
        EXPECT_EQ(owner.Text(), c.text);
        EXPECT_EQ(rtu.GetErrorText(0), c.text);
        // No second attempt reaches the line.
        EXPECT_TRUE(peer.Read(1, 150).empty());
    }
}

TEST_F(RtuOnPeer, WrongRegisterCountIsNotRetried) {
    uint8_t buffer[4];
    auto call = Async([&] { return rtu.ReadRegisters(0, 2, buffer, 1); });
    peer.Read(8);
    peer.Write(WithCrc(HexToBytes("01 03 02 00 01")));
    EXPECT_EQ(call.get(), 131);
    EXPECT_TRUE(peer.Read(1, 150).empty());
    call = Async([&] { return rtu.ReadRegisters(0, 1, buffer, 1); });
    peer.Read(8);
    peer.Write(WithCrc(HexToBytes("01 03 04 00 01 00 02")));
    EXPECT_EQ(call.get(), 117);
    EXPECT_EQ(rtu.GetErrorText(nullptr, 117), 500);
    char text[255];
    EXPECT_EQ(rtu.GetErrorText(text, 117), 62);
    EXPECT_STREQ(text, "Modbus:reading data confirmation:wrong address or bytes number");
}

TEST_F(RtuOnPeer, CountsBeyondTheFrameAreRefusedBeforeSending) {
    std::vector<uint8_t> big(2 * 130);
    EXPECT_EQ(rtu.ReadRegisters(0, 126, big.data(), 1), 110);
    EXPECT_EQ(rtu.WriteRegisters(0, 124, big.data(), 1), 138);
    EXPECT_EQ(rtu.ReadRegisters(0, 0, big.data(), 1), 110);
    EXPECT_TRUE(peer.Read(1, 100).empty());
    // The largest frames pass: 125 registers read, 123 written.
    auto call = Async([&] { return rtu.ReadRegisters(0, 125, big.data(), 1); });
    EXPECT_EQ(peer.Read(8).size(), 8u);
    Bytes reply = {1, 3, 250};
    reply.resize(253, 0x5A);
    peer.Write(WithCrc(reply));
    EXPECT_EQ(call.get(), 0);
    call = Async([&] { return rtu.WriteRegisters(0, 123, big.data(), 1); });
    EXPECT_EQ(peer.Read(9 + 246).size(), 255u);
    peer.Write(WithCrc(HexToBytes("01 10 00 00 00 7B")));
    EXPECT_EQ(call.get(), 0);
}

TEST_F(RtuOnPeer, CrcFailureRetriesAfterThePauseThenGivesUp) {
    TempDir temp;
    g_LogErrors = true;
    CErrorPair owner2;
    CModbusRtu logged(&owner2, 1);
    PtyPeer peer2;
    ConfigureRtu(logged, peer2.Path(), 500);
    ASSERT_EQ(logged.Connect(true), 0);
    g_LogErrors = false;
    uint8_t buffer[2];
    auto call = Async([&] { return logged.ReadRegisters(5, 1, buffer, 1); });
    EXPECT_EQ(peer2.Read(8).size(), 8u);
    const auto first = Clock::now();
    Bytes bad = WithCrc(HexToBytes("01 03 02 00 07"));
    bad.back() ^= 0xFF;
    peer2.Write(bad);
    EXPECT_EQ(peer2.Read(8).size(), 8u);
    EXPECT_GE(Clock::now() - first, std::chrono::milliseconds(50));
    peer2.Write(bad);
    EXPECT_EQ(call.get(), 130);
    EXPECT_EQ(logged.State(), 3);
    EXPECT_EQ(logged.ErrorCounter(), 2u);
    EXPECT_TRUE(peer2.Read(1, 150).empty());
    std::ifstream log(logged.ErrorLogPath());
    std::stringstream text;
    text << log.rdbuf();
    const std::string lines = text.str();
    size_t count = 0;
    for (size_t at = lines.find("Errore lettura word(s) (130)\r\n"); at != std::string::npos;
         at = lines.find("Errore lettura word(s) (130)\r\n", at + 1))
        ++count;
    EXPECT_EQ(count, 2u) << lines;
    logged.Disconnect();
}

// The rest of a late or broken reply that is still arriving when an exchange fails is waited
// out and dropped: the next request, a retry or a new call, gets its own reply. At 50 baud the
// quiet gap is 770 ms, far longer than the peer's pauses between the stale bytes.
TEST_F(RtuOnPeer, StaleBytesAfterAFailureAreWaitedOutAndDropped) {
    auto& s = rtu.GetSettings();
    ASSERT_EQ(rtu.SetupPort(s.portName, 50, s.parity, s.dataBits, s.stopBits, 0, 200, true), 0);
    const Bytes stale = WithCrc(HexToBytes("01 03 04 DE AD BE EF"));
    const Bytes fresh = WithCrc(HexToBytes("01 03 04 00 2A 00 2B"));
    struct Case {
        const char* what;
        Bytes atOnce;
        Bytes trickle;  // a byte every 50 ms after the first part
        uint32_t retries;
        int firstCode;  // of the call that meets the stale bytes; 0: its retry gets the reply
    };
    const Case cases[] = {
        {"reply later than the time-out", {}, stale, 1, 126},
        {"wrong slave, the rest still coming", HexToBytes("02 03 04"), Bytes(stale.begin() + 3, stale.end()),
         1, 127},
        {"retry after a wrong slave", HexToBytes("02 03 04"), Bytes(stale.begin() + 3, stale.end()), 2, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        rtu.SetRetryCount(c.retries);
        uint16_t values[2] = {};
        auto call = Async([&] { return rtu.ReadRegisters(0, 2, values, 1); });
        ASSERT_EQ(peer.Read(8).size(), 8u);
        if (!c.atOnce.empty()) peer.Write(c.atOnce);
        for (uint8_t byte : c.trickle) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            peer.Write({byte});
        }
        // Nothing was sent while the stale bytes were still coming.
        pollfd pending{peer.Fd(), POLLIN, 0};
        EXPECT_EQ(poll(&pending, 1, 0), 0);
        if (c.firstCode != 0) {
            const int first = call.get();
            // A caller delayed past the whole trickle takes it as its own (right) answer.
            EXPECT_TRUE(first == c.firstCode || (first == 0 && values[0] == 0xDEAD)) << first;
            call = Async([&] { return rtu.ReadRegisters(0, 2, values, 1); });
        }
        ASSERT_EQ(peer.Read(8), WithCrc(HexToBytes("01 03 00 00 00 02")));
        peer.Write(fresh);
        EXPECT_EQ(call.get(), 0);
        EXPECT_EQ(values[0], 0x2A);
        EXPECT_EQ(values[1], 0x2B);
    }
}

TEST_F(RtuOnPeer, NoRetryCountSendsNothing) {
    rtu.SetRetryCount(0);
    uint8_t buffer[2];
    EXPECT_EQ(rtu.ReadRegisters(0, 1, buffer, 1), 0);
    EXPECT_TRUE(peer.Read(1, 100).empty());
}

TEST_F(RtuOnPeer, VanishedPortGivesAnErrorNotAHang) {
    peer.Close();
    uint8_t buffer[2];
    const auto start = Clock::now();
    const int rc = rtu.ReadRegisters(0, 1, buffer, 1);
    EXPECT_TRUE(rc == 670 || rc == 125 || rc == 126) << rc;
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(rtu.WriteRegisterFrame(0, 1, 1), 670);
}

TEST(ModbusRtuPort, ClosedPortAndTexts) {
    CErrorPair owner;
    CModbusRtu rtu(&owner);
    uint8_t buffer[2];
    EXPECT_EQ(rtu.ReadRegisters(0, 1, buffer, 1), 8);
    EXPECT_EQ(rtu.State(), 255);
    EXPECT_EQ(rtu.WriteRegisterFrame(0, 1, 1), 8);
    EXPECT_EQ(rtu.GetErrorText(0), "Modbus:COM port not opened");
    CModbusRtu fresh;
    EXPECT_EQ(fresh.GetErrorText(0), "Modbus:ok");
    EXPECT_EQ(fresh.LastResult(), 1234321u);
}

TEST(ModbusRtuPort, BusyPortAsksAndFails) {
    PromptRecorder prompts;
    PtyPeer peer;
    CModbusRtu first, second;
    ConfigureRtu(first, peer.Path());
    ConfigureRtu(second, peer.Path());
    ASSERT_EQ(first.Connect(true), 0);
    EXPECT_EQ(second.Connect(false), 200);
    ASSERT_EQ(prompts.Prompts().AskedCount(), 1u);
    EXPECT_EQ(prompts.Prompts().Asked()[0].text, "Serial port busy");
    EXPECT_EQ(prompts.Prompts().Asked()[0].caption, peer.Path());
    EXPECT_EQ(second.Connect(true), 200);
    EXPECT_EQ(prompts.Prompts().AskedCount(), 1u);
    EXPECT_FALSE(second.IsConnected());
}

TEST(ModbusRtuPort, TimeoutNormalisationAndRs485Mode) {
    PtyPeer peer;
    CModbusRtu rtu;
    ConfigureRtu(rtu, peer.Path());
    ASSERT_EQ(rtu.Connect(true), 0);
    auto& s = rtu.GetSettings();
    EXPECT_EQ(rtu.SetupPort(s.portName, s.baud, s.parity, s.dataBits, s.stopBits, 0, 0, true), 0);
    EXPECT_EQ(rtu.ConfiguredTimeout(), 2000u);
    EXPECT_EQ(rtu.SetupPort(s.portName, s.baud, s.parity, s.dataBits, s.stopBits, 0, 1, true), 0);
    EXPECT_EQ(rtu.ConfiguredTimeout(), 2u);
    uint16_t out = 0;
    uint8_t flag = 0;
    EXPECT_EQ(rtu.SetTimeout(900, &out, &flag), 0);
    EXPECT_EQ(out, 900);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(rtu.CurrentTimeout(), 900u);
    // A pseudo-terminal has no RS-485 mode: toggle mode is refused loudly.
    EXPECT_EQ(rtu.SetupPort(s.portName, s.baud, s.parity, s.dataBits, s.stopBits, 3, 900, true), 205)
        << rtu.DetailText();
    EXPECT_NE(rtu.DetailText().find("RS-485"), std::string::npos);
    rtu.Disconnect();
    s.rtsControl = 3;
    EXPECT_EQ(rtu.Connect(true), 205);
    EXPECT_FALSE(rtu.IsOpen());
}

// The simulated drive on a pty; faults come from its injection API.
class RtuOnSim : public ::testing::Test {
  protected:
    void SetUp() override {
        drive = &sim.AddDrive(1);
        drive->SetRegisters(0, {10, 11, 12, 13, 14, 15, 16, 17});
        sim.AddDrive(2).SetRegisters(0, {20, 21});
        const std::string path = sim.StartPty(nullptr);
        ASSERT_FALSE(path.empty());
        ConfigureRtu(rtu, path, 400);
        ASSERT_EQ(rtu.Connect(true), 0) << rtu.GetErrorText(0);
    }
    drivesim::DriveSim sim;
    drivesim::SimDrive* drive = nullptr;
    CErrorPair owner;
    CModbusRtu rtu{&owner};
};

TEST_F(RtuOnSim, ServesSeveralSlaves) {
    uint16_t values[4] = {};
    ASSERT_EQ(rtu.ReadRegisters(0, 4, values, 1), 0);
    EXPECT_EQ(values[3], 13);
    ASSERT_EQ(rtu.ReadRegisters(0, 2, values, 2), 0);
    EXPECT_EQ(values[1], 21);
    const uint16_t write[2] = {0xBEEF, 0x1234};
    ASSERT_EQ(rtu.WriteRegisters(4, 2, write, 1), 0);
    ASSERT_EQ(rtu.WriteRegisterFrame(6, 0xCAFE, 1), 0);
    EXPECT_EQ(drive->Register(4), 0xBEEF);
    EXPECT_EQ(drive->Register(5), 0x1234);
    EXPECT_EQ(drive->Register(6), 0xCAFE);
    // A slave nobody serves stays silent: a time-out on both attempts.
    EXPECT_EQ(rtu.ReadRegisters(0, 1, values, 9), 126);
}

TEST_F(RtuOnSim, InjectedFaultsGiveTheirCodes) {
    using F = drivesim::Fault;
    struct Case {
        F fault;
        int code;
        const char* text;
    } cases[] = {
        {{F::DropReply, 0, 2}, 126, "Modbus:reading data confirmation:not all expected data was received"},
        {{F::CorruptCrc, 0, 2}, 130, "Modbus:reading data confirmation:corrupted (wrong crc)"},
        {{F::WrongSlave, 0, 2}, 127, "Modbus:(dati.BuffRecv)[0]='2'!=NumeroSlave='1' in reading data"},
        {{F::Truncate, 5, 2}, 126, "Modbus:reading data confirmation:not all expected data was received"},
        {{F::ExceptionCode, 6, 1},
         129,
         "Modbus:Modbus func. 3 register 0 words 2: error 0x06 (Slave device busy)"},
        // One bad reply, then a good one: the retry succeeds.
        {{F::CorruptCrc, 0, 1}, 0, "Modbus:ok"},
        {{F::DropReply, 0, 1}, 0, "Modbus:ok"},
        // Last: the simulator sleeps through both attempts.
        {{F::Delay, 1500, 2}, 126, "Modbus:reading data confirmation:not all expected data was received"},
    };
    for (const Case& c : cases) {
        sim.ClearFaults();
        sim.InjectFault(c.fault);
        uint16_t values[2] = {};
        const auto start = Clock::now();
        EXPECT_EQ(rtu.ReadRegisters(0, 2, values, 1), c.code) << c.fault.kind;
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
        EXPECT_EQ(rtu.GetErrorText(0), c.code == 0 ? std::string("Modbus:ok") : c.text) << c.fault.kind;
        if (c.code == 0) {
            EXPECT_EQ(values[1], 11);
        }
    }
}

TEST_F(RtuOnSim, LibmodbusClientAgainstTheSimulatedDrive) {
    rtu.Disconnect();
    modbus_t* ctx = modbus_new_rtu(sim.PtyPath().c_str(), 57600, 'E', 8, 1);
    ASSERT_NE(ctx, nullptr);
    modbus_set_slave(ctx, 1);
    modbus_set_response_timeout(ctx, 2, 0);
    ASSERT_EQ(modbus_connect(ctx), 0) << modbus_strerror(errno);
    uint16_t values[3] = {};
    EXPECT_EQ(modbus_read_registers(ctx, 1, 3, values), 3);
    EXPECT_EQ(values[0], 11);
    EXPECT_EQ(values[2], 13);
    EXPECT_EQ(modbus_write_register(ctx, 7, 0x4242), 1);
    const uint16_t many[2] = {1, 2};
    EXPECT_EQ(modbus_write_registers(ctx, 0, 2, many), 2);
    EXPECT_EQ(drive->Register(7), 0x4242);
    EXPECT_EQ(drive->Register(1), 2);
    EXPECT_EQ(modbus_read_registers(ctx, 500, 1, values), -1);  // no such register
    EXPECT_EQ(errno, EMBXILADD);
    modbus_close(ctx);
    modbus_free(ctx);
}

// libmodbus as the slave on the master side of the pseudo-terminal; our channel is the master.
TEST(ModbusRtuPeer, OurMasterAgainstALibmodbusSlave) {
    PtyPeer peer;
    modbus_t* ctx = modbus_new_rtu("/dev/null", 57600, 'E', 8, 1);
    ASSERT_NE(ctx, nullptr);
    modbus_set_slave(ctx, 5);
    modbus_set_socket(ctx, peer.Fd());
    modbus_mapping_t* map = modbus_mapping_new(0, 0, 200, 0);
    for (int i = 0; i < 200; ++i) map->tab_registers[i] = static_cast<uint16_t>(1000 + i);
    std::atomic<bool> stop{false};
    std::thread slave([&] {
        uint8_t request[MODBUS_RTU_MAX_ADU_LENGTH];
        while (!stop) {
            pollfd pfd{peer.Fd(), POLLIN, 0};
            if (poll(&pfd, 1, 20) <= 0) continue;
            const int n = modbus_receive(ctx, request);
            if (n > 0) modbus_reply(ctx, request, n, map);
        }
    });
    CModbusRtu rtu;
    ConfigureRtu(rtu, peer.Path(), 1000);
    ASSERT_EQ(rtu.Connect(true), 0);
    uint16_t values[125] = {};
    EXPECT_EQ(rtu.ReadRegisters(10, 125, values, 5), 0);
    EXPECT_EQ(values[0], 1010);
    EXPECT_EQ(values[124], 1134);
    const uint16_t write[3] = {7, 8, 9};
    EXPECT_EQ(rtu.WriteRegisters(50, 3, write, 5), 0);
    EXPECT_EQ(rtu.WriteRegisterFrame(60, 0xABCD, 5), 0);
    EXPECT_EQ(map->tab_registers[52], 9);
    EXPECT_EQ(map->tab_registers[60], 0xABCD);
    EXPECT_EQ(rtu.ReadRegisters(199, 2, values, 5), 129);  // past the map: illegal address
    stop = true;
    slave.join();
    rtu.Disconnect();
    modbus_mapping_free(map);
    modbus_free(ctx);
}

}  // namespace

namespace {

TEST(ModbusTrace, FramesGoToTheDebugLogWhileTheSwitchIsOn) {
    TempDir temp;
    const std::string file = temp.Path() + "/LogDebug.txt";
    ASSERT_EQ(DebugLog().Open(file), "");
    PtyPeer peer;
    CModbusRtu rtu;
    ConfigureRtu(rtu, peer.Path(), 300);
    ASSERT_EQ(rtu.Connect(true), 0);
    uint16_t value = 0;
    for (bool on : {true, false}) {
        g_LogDebug = on;
        auto call =
            std::async(std::launch::async, [&] { return rtu.ReadRegisters(on ? 1 : 2, 1, &value, 1); });
        peer.Read(8);
        peer.Write(WithCrc(HexToBytes("01 03 02 00 2A")));
        EXPECT_EQ(call.get(), 0);
    }
    g_LogDebug = false;
    DebugLog().Close();
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("Send 01 03 00 01 00 01 D5 CA "), std::string::npos) << text.str();
    EXPECT_NE(text.str().find("Recv 01 03 02 00 2A "), std::string::npos);
    EXPECT_EQ(text.str().find("Send 01 03 00 02"), std::string::npos);
}

}  // namespace
