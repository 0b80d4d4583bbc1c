// Golden request records and reply parsing of the bridge command family, without a socket.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "transport/BridgeCmdList.h"
#include "transport/BridgeCommands.h"
#include "transport/BridgeStatusText.h"
#include "transport/BridgeVkr.h"

using namespace transport;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Hex(const std::string& hex) {
    Bytes out;
    std::string digits;
    for (char c : hex)
        if (!isspace(static_cast<unsigned char>(c))) digits.push_back(c);
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    return out;
}

Bytes Record(const CCmd& cmd) {
    Bytes out(cmd.RequestSize(), 0xAA);
    cmd.WriteRequest(out.data());
    return out;
}

class BridgeFrames : public ::testing::Test {
  protected:
    void Use(uint16_t version, bool big = false) {
        bridge.Wire().version = version;
        bridge.Wire().bigEndian = big;
        bridge.SetCurrentTarget(1);
    }
    CBridgeVkr bridge;
    uint32_t status = 0;
};

struct Golden {
    const char* name;
    uint16_t version;
    std::function<std::unique_ptr<CCmd>(CBridgeVkr&)> make;
    const char* record;
    size_t replySize;
};

TEST_F(BridgeFrames, RequestRecordsByVersion) {
    static uint8_t buffer[300];
    static const uint8_t data5[5] = {1, 2, 3, 4, 5};
    const std::vector<Golden> cases = {
        {"ReadCan short v2", 2,
         [](CBridgeVkr& b) {
             return std::make_unique<CCmdReadCan>(b, 5, 0x6041, 0, buffer, 2, nullptr, nullptr);
         },
         "01 0A 05 41 60 00 02", 4 + 1 + 2},
        {"ReadCan short v3", 3,
         [](CBridgeVkr& b) {
             return std::make_unique<CCmdReadCan>(b, 5, 0x6041, 0, buffer, 2, nullptr, nullptr);
         },
         "01 0A 05 00 41 60 00 02", 8},
        {"ReadCan long v2", 2,
         [](CBridgeVkr& b) {
             return std::make_unique<CCmdReadCan>(b, 5, 0x1008, 1, buffer, 256, nullptr, nullptr);
         },
         "01 0B 05 08 10 01 00 01 00 00", 4 + 4 + 256},
        {"ReadCan long v3", 3,
         [](CBridgeVkr& b) {
             return std::make_unique<CCmdReadCan>(b, 5, 0x1008, 1, buffer, 256, nullptr, nullptr);
         },
         "01 0B 05 00 08 10 01 00 00 01 00 00", 264},
        {"ReadEth long v2", 2,
         [](CBridgeVkr& b) {
             return std::make_unique<CCmdRead>(b, 0x1001, 0x1008, 1, buffer, 300, nullptr, nullptr);
         },
         "01 0B 01 10 08 10 01 2C 01 00 00", 4 + 4 + 300},
        {"ReadEth long v3", 3,
         [](CBridgeVkr& b) {
             return std::make_unique<CCmdRead>(b, 0x1001, 0x1008, 1, buffer, 300, nullptr, nullptr);
         },
         "01 0B 01 10 08 10 01 00 2C 01 00 00", 308},
        {"WriteCan4 v2", 2,
         [](CBridgeVkr& b) { return std::make_unique<CCmdWriteCan4>(b, 7, 0x607A, 0, 0x04030201, nullptr); },
         "01 14 07 7A 60 00 04 01 02 03 04", 5},
        {"WriteCan4 v3", 3,
         [](CBridgeVkr& b) { return std::make_unique<CCmdWriteCan4>(b, 7, 0x607A, 0, 0x04030201, nullptr); },
         "01 14 7A 60 00 07 04 01 02 03 04 00", 8},
        {"Write4Eth", 3,
         [](CBridgeVkr& b) {
             return std::make_unique<CCmdWrite4>(b, 0x1001, 0x607A, 2, 0x04030201, nullptr);
         },
         "01 14 01 10 7A 60 02 04 01 02 03 04", 8},
        {"WriteCan short v3", 3,
         [](CBridgeVkr& b) { return std::make_unique<CCmdWriteCan>(b, 7, 0x2000, 3, data5, 5, nullptr); },
         "01 14 00 20 03 07 05 01 02 03 04 05", 8},
        {"WriteEth short v2", 2,
         [](CBridgeVkr& b) { return std::make_unique<CCmdWrite>(b, 0x1001, 0x2000, 3, data5, 5, nullptr); },
         "01 14 01 10 00 20 03 05 01 02 03 04 05", 5},
        {"WriteCanDB v3", 3,
         [](CBridgeVkr& b) { return std::make_unique<CCmdWriteCanDB>(b, 7, 0x1F50, 1, 9, nullptr, nullptr); },
         "01 17 50 1F 01 07 09 00", 8},
        {"WriteEthDB v2", 2,
         [](CBridgeVkr& b) {
             return std::make_unique<CCmdWriteDB>(b, 0x1001, 0x1F50, 1, 9, nullptr, nullptr);
         },
         "01 17 01 10 50 1F 01 09 00", 8},
        {"WriteEthDB v3", 3,
         [](CBridgeVkr& b) {
             return std::make_unique<CCmdWriteDB>(b, 0x1001, 0x1F50, 1, 9, nullptr, nullptr);
         },
         "01 17 01 10 50 1F 01 00 09 00 00 00", 8},
        {"CreateBlock v2", 2,
         [](CBridgeVkr& b) { return std::make_unique<CCmdCreateBlock>(b, data5, 3, nullptr, nullptr); },
         "FF 0A FF FF FF FF 03 00 00 00 01 02 03", 6},
        {"CreateBlock v3", 3,
         [](CBridgeVkr& b) { return std::make_unique<CCmdCreateBlock>(b, data5, 3, nullptr, nullptr); },
         "FF 0A 00 00 FF FF FF FF 03 00 00 00 01 02 03 00", 8},
        {"FoE v2", 2,
         [](CBridgeVkr& b) {
             return std::make_unique<CCmdFoEDownloadDB>(b, 0x1001, 0, "Fw", 4, nullptr, nullptr);
         },
         "01 18 01 10 00 00 00 00 02 00 46 77 04 00", 84},
        {"FoE v3", 3,
         [](CBridgeVkr& b) {
             return std::make_unique<CCmdFoEDownloadDB>(b, 0x1001, 0, "Fw", 4, nullptr, nullptr);
         },
         "01 18 01 10 00 00 00 00 04 00 02 00 46 77 00 00", 84},
        {"CanGetSlaveState v2", 2,
         [](CBridgeVkr& b) { return std::make_unique<CCmdCanGetSlaveState>(b, 7, nullptr, nullptr); },
         "01 FC 07", 6},
        {"EthSetSlaveState v3", 3,
         [](CBridgeVkr& b) { return std::make_unique<CCmdEthSetSlaveState>(b, 0x1001, 4, nullptr, nullptr); },
         "01 FB 01 10 04 00 00 00", 8},
        {"UnlockNode all v3", 3,
         [](CBridgeVkr& b) { return std::make_unique<CCmdUnlockNode>(b, 0xFF, 0, nullptr); }, "FF F9 00 00",
         4},
        {"GetInfo v3 stays 2", 3, [](CBridgeVkr& b) { return std::make_unique<CCmdGetInfo>(b, nullptr); },
         "FF 01", 24},
        {"BusScan v2", 2, [](CBridgeVkr& b) { return std::make_unique<CCmdBusScan>(b, nullptr, nullptr); },
         "01 FA", 20},
        {"EthReadMemory 6 v3", 3,
         [](CBridgeVkr& b) {
             return std::make_unique<CCmdEthReadMemory>(b, 0x1001, 0x500, 6, buffer, nullptr);
         },
         "01 0C 01 10 00 05 06 00", 12},
    };
    for (const Golden& c : cases) {
        SCOPED_TRACE(c.name);
        Use(c.version);
        auto cmd = c.make(bridge);
        EXPECT_EQ(Record(*cmd), Hex(c.record));
        EXPECT_EQ(cmd->ResponseSize(), c.replySize);
    }
}

TEST_F(BridgeFrames, WriteOpcodeFollowsLength) {
    Use(2);
    std::vector<uint8_t> data(256, 0x11);
    CCmdWrite w255(bridge, 1, 0x2000, 0, data.data(), 255, nullptr);
    CCmdWrite w256(bridge, 1, 0x2000, 0, data.data(), 256, nullptr);
    EXPECT_EQ(w255.Opcode(), 20);
    EXPECT_EQ(Record(w255)[7], 255);
    EXPECT_EQ(w256.Opcode(), 21);
    const Bytes r = Record(w256);
    EXPECT_EQ(Bytes(r.begin() + 7, r.begin() + 11), Hex("00 01 00 00"));
    EXPECT_EQ(r.size(), 11u + 256);
}

TEST_F(BridgeFrames, FrameHeaderAndTimeoutUnits) {
    Use(2);
    CCmdList list;
    list.Add(std::make_unique<CCmdGetInfo>(bridge, &status));
    list.RaiseTimeout(700000);
    ASSERT_EQ(list.BuildRequest(2, 0x10000), "");
    EXPECT_EQ(list.Frame(), Hex("42 43 00 00 0C 00 00 00 FF FF FF 01"));

    Use(3, true);
    CCmdList big;
    big.Add(std::make_unique<CCmdGetInfo>(bridge, &status));
    big.RaiseTimeout(700000);
    ASSERT_EQ(big.BuildRequest(3, 0x10000), "");
    big.SetSequence(0x0102);
    EXPECT_EQ(big.Frame(), Hex("43 42 01 02 00 00 00 0E 00 0A AE 60 FF 01"));
}

TEST_F(BridgeFrames, SizeLimitsRefuseTheFrame) {
    Use(3);
    std::vector<uint8_t> buffer(200);
    CCmdList list;
    list.Add(std::make_unique<CCmdRead>(bridge, 1, 0x2000, 0, buffer.data(), 200, nullptr, &status));
    EXPECT_EQ(list.BuildRequest(3, 100), "Response message will be too big for the target bridge: 216 bytes");
    EXPECT_FALSE(list.HasFrame());
    CCmdList writes;
    writes.Add(std::make_unique<CCmdWrite>(bridge, 1, 0x2000, 0, buffer.data(), 200, &status));
    EXPECT_EQ(writes.BuildRequest(3, 100), "Message to send too big: 220 bytes");
}

TEST_F(BridgeFrames, Read4WidensBySizeAndSign) {
    Use(3);
    struct Case {
        uint8_t size;
        Bytes data;
        bool isSigned;
        uint32_t expected;
    } cases[] = {{2, {0xFE, 0xFF, 0, 0}, true, 0xFFFFFFFEu},
                 {2, {0xFE, 0xFF, 0, 0}, false, 65534},
                 {1, {0x80, 0, 0, 0}, true, 0xFFFFFF80u},
                 {1, {0x80, 0, 0, 0}, false, 0x80},
                 {4, {1, 2, 3, 4}, true, 0x04030201}};
    for (const Case& c : cases) {
        uint32_t value = 0, size = 0;
        CCmdReadCan4 cmd(bridge, 3, 0x6064, 0, &value, &status, &size, c.isSigned, {});
        Bytes record = {0, 0, 0, 0, c.size};
        record.insert(record.end(), c.data.begin(), c.data.end());
        record.resize(12, 0);
        EXPECT_EQ(cmd.ParseReply(record.data(), record.data() + record.size()), record.data() + 12);
        EXPECT_EQ(value, c.expected);
        EXPECT_EQ(size, c.size);
        EXPECT_TRUE(cmd.Changed());
        cmd.ParseReply(record.data(), record.data() + record.size());
        EXPECT_FALSE(cmd.Changed()) << "same value twice";
    }
}

TEST_F(BridgeFrames, ReplyRecordsStayInsideTheFrame) {
    Use(3);
    uint8_t buffer[8] = {};
    uint32_t s1 = 0, s2 = 0, received = 0;
    CCmdList list;
    list.Add(std::make_unique<CCmdRead>(bridge, 1, 0x2000, 0, buffer, 8, &received, &s1));
    list.Add(std::make_unique<CCmdLockNode>(bridge, 1, &s2, nullptr));
    // The first record is whole (4 + 1 + 8, padded to 16); the second is cut short.
    Bytes records = Hex("00 00 00 00 05 01 02 03 04 05 00 00 00 00 00 00 00 00 00 00");
    EXPECT_FALSE(list.ParseReply(records.data(), records.data() + records.size(), false));
    EXPECT_EQ(s1, 0u);
    EXPECT_EQ(received, 5u);
    EXPECT_EQ(buffer[0], 1);
    EXPECT_EQ(s2, 102u);
}

TEST_F(BridgeFrames, BusScanAndBusListEntries) {
    Use(2);
    std::vector<CSlaveInfo> slaves;
    CCmdBusScan scan(bridge, &status, &slaves);
    Bytes record =
        Hex("00 00 00 00 1C 00"
            "01 00 00 00 02 00 00 00 05 00 04 00 09 00"
            "03 00 00 00 04 00 00 00 06 00 07 00 00 00");
    EXPECT_EQ(scan.ParseReply(record.data(), record.data() + record.size()), record.data() + record.size());
    ASSERT_EQ(slaves.size(), 2u);
    EXPECT_EQ(slaves[0].address, 5);
    EXPECT_EQ(slaves[0].state, 4);
    EXPECT_EQ(slaves[0].extra, 9);
    EXPECT_EQ(slaves[1].state, 0) << "state 7 is not one of the known states";

    CCmdBusList list(bridge, &status);
    Bytes buses = Hex("15 00 00 00 02 01 01 00 34 12 02 02 00 00 00");
    EXPECT_NE(list.ParseReply(buses.data(), buses.data() + buses.size()), nullptr);
    ASSERT_EQ(bridge.BusList().size(), 2u) << "entries are read whatever the status";
    EXPECT_EQ(bridge.BusList()[0].parameter, 0x1234);
}

TEST(BridgeStatusText, Codes) {
    const std::pair<uint32_t, const char*> cases[] = {
        {0, "No error"},
        {0x06020000, "SDO: object does not exist (0x06020000)"},
        {0x05030000, "SDO: Toggle bit not alternated (0x05030000)"},
        {0x01234567, "SDO abort code 19088743(0x1234567)"},
        {static_cast<uint32_t>(-1), "SDO not executed"},
        {static_cast<uint32_t>(-23), "Node in use by another client"},
        {static_cast<uint32_t>(-26), "CAN: Node lost"},
        {static_cast<uint32_t>(-27), "Error -27(0xffffffe5)"},
        {0x10000005, "SDO error 5(0x5)"},
    };
    for (const auto& [code, text] : cases) EXPECT_EQ(GetSdoAbortText(code), text) << code;
}

}  // namespace
