// The connection window: connection strings against the engine's channel list, its settings
// record, the engine's notices, and the named reads and writes with their retries and texts.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "drive/Qd.h"
#include "drive/QdsWnd.h"
#include "engine/Main.h"
#include "foundation/MessageIds.h"
#include "foundation/XmlDocument.h"
#include "tests/drive/DriveObjectTestSupport.h"
#include "tests/engine/FieldbusTestSupport.h"

using namespace drive;
using namespace foundation;

namespace {

class ConnectionWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        enginetest::RegisterPort("drivecom2", "COM2");
        enginetest::PutInProgramFolder(tree, TUNOVA_LINKORA_LIB, "libLinkora.so");
        Wnd().RefreshChannelList();
    }
    void TearDown() override { enginetest::UnregisterPort("drivecom2"); }

    CQdsWnd& Wnd() { return qd.ConnectionWindow(); }

    drivetest::DriveTree tree;
    enginetest::PromptScope prompts;
    CQd qd{0};
};

TEST_F(ConnectionWindowTest, ConnectionStrings) {
    const int com2 = drivetest::FindChannel(Wnd(), "COM2");
    const int linkora = drivetest::FindChannel(Wnd(), "Linkora");
    ASSERT_GE(com2, 0);
    ASSERT_GE(linkora, 0) << "the fieldbus library channel is listed";

    struct Case {
        const char* text;
        bool result;
        const char* channel;  // expected channel name afterwards
        uint32_t baud;
        uint8_t node;
        uint16_t timeout;
        const char* message;
    } cases[] = {
        {"com1", false, "COM1", 57600, 1, 1000, ""},
        {":x", false, "COM1", 57600, 1, 1000, ""},
        {"com9:rate 9600", false, "COM1", 57600, 1, 1000, "'com9' port not found"},
        {"com2:rate 57600 node 3 timeout 500", true, "COM2", 57600, 3, 500, ""},
        {"COM2:RATE 19200 NODE 4", true, "COM2", 19200, 4, 1000, ""},
        {"com2:node  7 confirm", false, "COM2", 57600, 7, 1000, ""},
        {"offline:timeout 700", true, "OFFLINE", 57600, 1, 700, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Wnd().Record() = CConnectionRecord{};
        Wnd().Record().flags = 3;
        Wnd().SetLastMessage("");
        std::string text = c.text;
        EXPECT_EQ(Wnd().ParseConnectionString(text), c.result);
        std::string lowered = c.text;
        for (char& ch : lowered) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        EXPECT_EQ(text, lowered) << "the text is lowered in place";
        const CConnectionRecord& r = Wnd().Record();
        EXPECT_EQ(r.channelName, c.channel);
        EXPECT_EQ(r.baudRate, c.baud);
        EXPECT_EQ(r.firstNode, c.node);
        EXPECT_EQ(r.timeout, c.timeout);
        EXPECT_EQ(Wnd().LastMessage(), c.message);
        const bool parsed = std::string(c.channel) != "COM1";
        if (parsed) {
            EXPECT_EQ(r.lastNode, c.node);
            EXPECT_EQ(r.flags & 2, 0) << "no node list after a parsed string";
            EXPECT_EQ(r.nodesToSearch, 1);
        } else {
            EXPECT_EQ(r.flags, 3) << "nothing changed";
        }
    }
    Wnd().Record() = CConnectionRecord{};
    std::string serial = "com2:rate 38400 parity 0 stopbit 1 bytesize 7 node 9";
    ASSERT_TRUE(Wnd().ParseConnectionString(serial));
    EXPECT_EQ(Wnd().Record().channelIndex, static_cast<uint32_t>(com2));
    EXPECT_EQ(Wnd().Record().channelType, connection_kind::kSerial);
    EXPECT_EQ(Wnd().Record().parity, 0);
    EXPECT_EQ(Wnd().Record().stopBits, 1);
    EXPECT_EQ(Wnd().Record().byteSize, 7);
    EXPECT_EQ(Wnd().Record().lastNode, 9);

    std::string fieldbus = "linkora:tcpip 10.0.0.5,can 1,node 3, timeout 1000";
    ASSERT_TRUE(Wnd().ParseConnectionString(fieldbus));
    const CConnectionRecord& r = Wnd().Record();
    EXPECT_EQ(r.channelIndex, static_cast<uint32_t>(linkora));
    EXPECT_EQ(r.channelType, connection_kind::kLibrary);
    EXPECT_EQ(r.bridgeAddress, 0x0A000005u);
    EXPECT_EQ(r.bridgeSubnet, 2);
    EXPECT_EQ(r.bridgeSubnetId, 1);
    EXPECT_EQ(r.bridgeNodeId, 3);
    EXPECT_EQ(r.firstNode, 3) << "the node the connect asks the library channel for";
    EXPECT_EQ(r.timeout, 1000);
}

TEST_F(ConnectionWindowTest, ChannelOfAnUnknownKindIsLeftOut) {
    engine::CMain& engine = *Wnd().Engine();
    const int odd = engine.AddChannel("Odd", 3, "");
    ASSERT_GE(odd, 0);
    engine.Channel(odd)->present = 1;
    Wnd().RefreshChannelList();
    EXPECT_EQ(drivetest::FindChannel(Wnd(), "Odd"), -1);
    ASSERT_FALSE(Wnd().Channels().empty());
    EXPECT_EQ(Wnd().Channels()[0].Name(), "OFFLINE");
    EXPECT_EQ(Wnd().Channels()[0].type, connection_kind::kOffline);
    for (const _CHANNELINFO& c : Wnd().Channels()) {
        if (c.Name() == "COM2") {
            EXPECT_EQ(c.type, connection_kind::kSerial);
        } else if (c.Name() == "Linkora") {
            EXPECT_EQ(c.type, connection_kind::kLibrary);
        } else if (c.Name() == "TwinCAT") {
            EXPECT_EQ(c.type, connection_kind::kTwinCat);
        }
    }
}

TEST_F(ConnectionWindowTest, ChannelNameIsAlwaysTerminated) {
    _CHANNELINFO info;
    info.SetName(std::string(150, 'x'));
    EXPECT_EQ(info.Name().size(), 99u);
    // A two-byte character across the limit is left out whole.
    info.SetName(std::string(98, 'a') + "\xC3\xA9");
    EXPECT_EQ(info.Name(), std::string(98, 'a'));
}

TEST_F(ConnectionWindowTest, SettingsRecordDefaultsAndRoundTrip) {
    CXmlDocument doc;
    ASSERT_EQ(doc.LoadXml("<Connection/>"), S_OK);
    Wnd().LoadSettings(doc.Root());
    const CConnectionRecord& r = Wnd().Record();
    EXPECT_EQ(r.channelName, "COM1");
    EXPECT_EQ(r.baudRate, 57600u);
    EXPECT_EQ(r.timeout, 1000);
    EXPECT_EQ(r.bcNodeId, 1001);
    EXPECT_EQ(r.bcTimeout, 2000u);
    EXPECT_EQ(r.bridgeSubnet, 2);
    EXPECT_EQ(r.bcSubnetId, 1);
    EXPECT_EQ(r.flags & 1, 1);

    Wnd().Record().channelName = "ttyUSB0";
    Wnd().Record().amsNetId = {5, 6, 7, 8, 1, 1};
    Wnd().Record().userParamFile = true;
    Wnd().Record().bcAddress = 0xC0A80001;
    CXmlDocument out;
    ASSERT_EQ(out.LoadXml("<Connection/>"), S_OK);
    Wnd().SaveSettings(out.Root());
    EXPECT_EQ(out.Root().GetAttribute("EthAmsNetId"), "5.6.7.8.1.1");
    EXPECT_EQ(out.Root().GetAttribute("UserParamFileName"), "True");
    Wnd().Record() = CConnectionRecord{};
    Wnd().LoadSettings(out.Root());
    EXPECT_EQ(Wnd().Record().channelName, "ttyUSB0");
    EXPECT_EQ(Wnd().Record().amsNetId[3], 8);
    EXPECT_TRUE(Wnd().Record().userParamFile);
    EXPECT_EQ(Wnd().Record().bcAddress, 0xC0A80001u);
}

TEST_F(ConnectionWindowTest, EngineNotices) {
    std::vector<bool> reconnects;
    Wnd().SetReconnectHandler([&](bool flag) { reconnects.push_back(flag); });
    platform::RecordingSink dialog;
    Wnd().SetOpenDialog(dialog.Handle());
    auto notice = [&](uintptr_t code, intptr_t detail) {
        platform::PostMessage(Wnd().Handle(), kEngineNotifyMessage, code, detail);
        platform::PumpMessages();
    };

    notice(1, 0x60000000);
    EXPECT_TRUE(Wnd().IndexProgress().shown);
    EXPECT_EQ(Wnd().IndexProgress().title, "Building configuration files index.");
    EXPECT_EQ(Wnd().IndexProgress().text, "Scanning configuration files...");
    notice(1, static_cast<intptr_t>(0x80000000u | 5));
    EXPECT_EQ(Wnd().IndexProgress().low, -6);
    EXPECT_EQ(Wnd().IndexProgress().high, 0);
    notice(1, static_cast<intptr_t>(0xC0000000u | 3));
    EXPECT_EQ(Wnd().IndexProgress().position, -3);
    notice(1, static_cast<intptr_t>(0xC0000000u));
    EXPECT_FALSE(Wnd().IndexProgress().shown);

    notice(4, 0x10205);  // guard state 5: alive
    EXPECT_TRUE(reconnects.empty());
    notice(4, 0x10281);  // state 1 (lost), high bit of the state byte ignored
    notice(1002, 0x10201);
    ASSERT_EQ(reconnects.size(), 2u);
    EXPECT_TRUE(reconnects[0]);
    Wnd().Record().channelType = connection_kind::kLibrary;
    notice(1003, 0);
    ASSERT_EQ(reconnects.size(), 3u);
    EXPECT_FALSE(reconnects[2]) << "no dialog flag on the fieldbus library channel";

    notice(3, 0);
    ASSERT_EQ(dialog.Count(), 1u);
    EXPECT_EQ(dialog.Messages()[0].msg, platform::WM_CLOSE);
}

TEST_F(ConnectionWindowTest, CellAccessRetriesAndTexts) {
    drivetest::FakeCellPort port;
    Wnd().SetCellPort(&port);
    struct Case {
        std::vector<int> codes;
        bool write;
        int calls;
        int result;
        const char* text;
    } cases[] = {
        {{-306}, false, 3, -306, "lock timeout on 'Speed',(-306):engine says"},
        {{-306}, true, 3, -306, "lock timeout error on 'Speed',(-306):engine says"},
        {{-306, 0}, false, 2, 0, ""},
        {{-306, -306, 0}, true, 3, 0, ""},
        {{-123, 0}, false, 1, -123, "lock timeout on 'Speed',(-123):engine says"},
        {{-123, 0}, true, 1, -123, "lock timeout error on 'Speed',(-123):engine says"},
        {{-124, 0}, false, 1, -124, "CAN card lock timeout on 'Speed',(-124):engine says"},
        {{-124, 0}, true, 1, -124, "CAN card lock timeout on 'Speed',(-124):engine says"},
        {{-30}, false, 1, -30, "Not available address on 'Speed',(-30):engine says"},
        {{-30}, true, 1, -30, "Not available address on 'Speed',(-30):engine says"},
        {{-303}, false, 1, -303, "Internal error: cell 'Speed' not found"},
        {{-303}, true, 1, -303, "Internal error: cell 'Speed' not found"},
        {{-5}, false, 1, -5, "Read error on 'Speed',(-5):engine says"},
        {{134217760}, true, 1, 134217760, "Write error on 'Speed',(134217760):engine says"},
        {{0}, false, 1, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.codes[0] << (c.write ? " write" : " read"));
        port.codes = c.codes;
        port.calls = 0;
        uint32_t value = 0;
        const int rc = c.write ? qd.WriteCell("Speed", 12) : qd.ReadCell("Speed", &value);
        EXPECT_EQ(rc, c.result);
        EXPECT_EQ(port.calls.load(), c.calls);
        EXPECT_EQ(qd.ResultCode(), c.result);
        EXPECT_EQ(qd.LastErrorText(), c.text);
    }
}

TEST_F(ConnectionWindowTest, LastErrorTextTable) {
    drivetest::FakeCellPort port;
    Wnd().SetCellPort(&port);
    CDriveErrorTable& errors = qd.Description().errorTable;
    errors.descriptions = {"Value out of range", "Drive busy"};
    errors.itemErrors[0x06090030] = 0;
    errors.modbusErrors[3] = 0;
    errors.modbusErrors[6] = 1;
    port.cells["ModbusStartAddressError"] = {0, 40};

    struct Case {
        uint16_t kind;
        int failing;      // code of the failed access before the text is composed
        int modbusError;  // value of the drive's Modbus error variable, -1 unreadable
        int32_t code;     // code handed to GetLastErrorText
        const char* expected;
    } cases[] = {
        {connection_kind::kLibrary, -5, 0, -303, "cell item not found"},
        {connection_kind::kLibrary, -5, 0, -308, "Item not readable"},
        {connection_kind::kLibrary, -5, 0, -309, "Item not writable"},
        {connection_kind::kLibrary, 0x06090030, 0, 0, "Value out of range [0x6090030]\r\nengine says"},
        {connection_kind::kLibrary, 0x06090031, 0, 0, "engine says [error 0x6090031]"},
        {connection_kind::kSerial, 0x06090031, 0, 0, "engine says [error 0x6090031]"},
        {connection_kind::kSerial, -5, 3, 0,
         "Value out of range  [modbus error 0x3, cell 40]\r\nengine says"},
        {connection_kind::kBox, -5, 9, 0, "engine says [Modbus error 0x9]"},
        {connection_kind::kBox, -5, -1, 0, "engine says"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        Wnd().Record().channelType = c.kind;
        port.codes = {c.failing};
        uint32_t value = 0;
        qd.ReadCell("Speed", &value);
        if (c.modbusError >= 0)
            port.cells["ModbusError"] = {0, static_cast<uint32_t>(c.modbusError)};
        else
            port.cells["ModbusError"] = {-5, 0};
        std::string text;
        qd.GetLastErrorText("fallback", text, c.code);
        EXPECT_EQ(text, c.expected);
    }
}

TEST_F(ConnectionWindowTest, TwoThreadsNeverMeetInTheEngineAndKeepTheirOwnErrors) {
    drivetest::FakeCellPort port;
    port.cells["Bad"] = {-5, 0};
    port.cells["Good"] = {0, 7};
    Wnd().SetCellPort(&port);
    std::atomic<int> wrong{0};
    auto reader = [&] {
        for (int i = 0; i < 2000; ++i) {
            uint32_t value = 0;
            if (qd.ReadCell("Bad", &value) != -5 || qd.ResultCode() != -5 ||
                qd.LastErrorText() != "Read error on 'Bad',(-5):engine says")
                ++wrong;
        }
    };
    auto writer = [&] {
        for (int i = 0; i < 2000; ++i) {
            if (qd.WriteCell("Good", static_cast<uint32_t>(i)) != 0 || qd.ResultCode() != 0 ||
                !qd.LastErrorText().empty())
                ++wrong;
        }
    };
    std::thread a(reader), b(writer);
    a.join();
    b.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_FALSE(port.overlapped.load());
    EXPECT_EQ(port.calls.load(), 4000);
}

}  // namespace
