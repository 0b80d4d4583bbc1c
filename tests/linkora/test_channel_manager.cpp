// Channel ids, definitions, the default channel and the EtherCAT store, through the
// functions bound by name.
#include <cstring>

#include "tests/linkora/LinkoraFixture.h"

namespace {

struct DefinitionCase {
    const char* definition;
    bool accepted;
};

TEST_F(LinkoraTest, DefinitionsMakeChannelsOrFail) {
    const DefinitionCase cases[] = {
        {"TCP/IP h:TCP/IP 0:TCP/IP 127.0.0.1:CANopen 1:NodeID 5", true},
        {"TCP/IP h:TCP/IP 0:TCP/IP 127.0.0.1:Ethercat 0:NodeID 5", true},
        // Without a bus keyword the node id token takes the fourth keyword place.
        {"TCP/IP h:TCP/IP 0:TCP/IP 127.0.0.1:Profibus 0:NodeID 5", true},
        {"TCP/IP h:TCP/IP 0:TCP/IP 127.0.0.1:Modbus 0:NodeID 5", false},
        {"TCP/IP h:TCP/IP 0:TCP/IP 127.0.0.1", false},  // 3 tokens
        {"a:b::c:d", false},                            // the third token begins with ':'
        {"", false},
        {"TCP/IP h:TCP/IP 0:TCP/IP 1.2.3.4:CANopen 1:NodeID 5:x:x:x:x:x:x:x", true},  // 12 tokens
    };
    for (const auto& c : cases) {
        const int32_t id = lk_.ChannelCreate(c.definition);
        if (c.accepted)
            EXPECT_GT(id, 0) << c.definition;
        else
            EXPECT_EQ(id, -1) << c.definition;
    }
}

TEST_F(LinkoraTest, SameDefinitionSameIdOtherCaseNewChannel) {
    const std::string definition = Definition("CANopen 1", 5);
    const int32_t a = lk_.ChannelCreate(definition.c_str());
    const int32_t b = lk_.ChannelCreate(definition.c_str());
    std::string upper = definition;
    for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    const int32_t c = lk_.ChannelCreate(upper.c_str());
    EXPECT_GT(a, 0);
    EXPECT_EQ(a, b);
    EXPECT_GT(c, 0);
    EXPECT_NE(a, c);
    lk_.ChannelDestroy(a);
    EXPECT_EQ(lk_.ChannelStatus(a, nullptr), -10);
    EXPECT_EQ(lk_.ChannelStatus(c, nullptr), -23);
}

TEST_F(LinkoraTest, MissingChannelsGiveMinusTen) {
    const int32_t id = lk_.ChannelCreate(Definition("CANopen 1", 5).c_str());
    ASSERT_GT(id, 0);
    lk_.ChannelDefault(id + 100);  // names no channel
    uint32_t status = 77, value = 0;
    uint8_t buffer[4] = {};
    int transferred = 0;
    BSTR text = nullptr;
    EXPECT_EQ(lk_.ChannelConnect(0), -10);
    EXPECT_EQ(lk_.ChannelDisconnect(0), -10);
    EXPECT_EQ(lk_.ChannelStatus(0, &status), -10);
    EXPECT_EQ(status, 77u);
    EXPECT_EQ(lk_.ChannelReset(0, 1), -10);
    EXPECT_EQ(lk_.GroupCreate(0, nullptr, nullptr), -10);
    EXPECT_EQ(lk_.GroupRemove(0, 0), -10);
    EXPECT_EQ(lk_.GroupRemoveAll(0), -10);
    EXPECT_EQ(lk_.GroupExecute(0, 0, 0, 0), -10);
    EXPECT_EQ(lk_.GroupStop(0, 0), -10);
    EXPECT_EQ(lk_.GroupPauseExecute(0), -10);
    EXPECT_EQ(lk_.GroupResumeExecute(0), -10);
    EXPECT_EQ(lk_.VariableAdd(0, 0, "6041.0", 0, buffer, 2, "", nullptr, nullptr), -10);
    EXPECT_EQ(lk_.VariableAddValue(0, 0, "6041.0", 0, buffer, 2, 2, "", nullptr, nullptr), -10);
    EXPECT_EQ(lk_.VariableSet(0, 0, 0, buffer, 2, "", nullptr, nullptr), -10);
    EXPECT_EQ(lk_.VariableGet(0, 0, &text, nullptr, nullptr, nullptr, nullptr), -10);
    EXPECT_EQ(lk_.VariableGetCount(0), -10);
    EXPECT_EQ(lk_.VariableGetMaxCount(0), -10);
    EXPECT_EQ(lk_.VariableRemove(0, 0), -10);
    EXPECT_EQ(lk_.VariableRemoveAll(0), -10);
    EXPECT_EQ(lk_.Read("6041.0", buffer, 2, 100, 1, &transferred), -10);
    EXPECT_EQ(lk_.ReadValue("6041.0", buffer, 2, 2, 100, 1, &transferred), -10);
    EXPECT_EQ(lk_.Write("6041.0", buffer, 2, 100, 1, &transferred), -10);
    EXPECT_EQ(lk_.CheckReadWrite(1, &value), -10);
    EXPECT_EQ(lk_.GetLastErrorStr(&text, 0), -10);
    EXPECT_EQ(lk_.GetErrorDetails(0x120000, &text, &value, 0), -10);
    EXPECT_EQ(text, nullptr);
    // The channel itself is still there by its own id.
    EXPECT_EQ(lk_.ChannelStatus(id, nullptr), -23);
}

TEST_F(LinkoraTest, NewChannelStatusResetAndDefaultVariables) {
    const int32_t a = lk_.ChannelCreate(Definition("CANopen 1", 5).c_str());
    const int32_t b = lk_.ChannelCreate(Definition("CANopen 1", 6).c_str());
    uint32_t status = 99;
    EXPECT_EQ(lk_.ChannelStatus(a, &status), -23);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(lk_.ChannelReset(a, 2), 0);
    EXPECT_EQ(lk_.ChannelReset(a, 1), 0);
    lk_.ChannelDefault(a);
    EXPECT_EQ(lk_.GroupCreate(b, nullptr, nullptr), 0);
    EXPECT_EQ(lk_.GroupCreate(b, nullptr, nullptr), 1);
    EXPECT_EQ(lk_.VariableAdd(b, 1, "6041.0", 0, &status, 2, "", nullptr, nullptr), 0);
    // The count query works on the default channel (a), which has no group 1.
    EXPECT_EQ(lk_.VariableGetCount(1), -11);
    lk_.ChannelDefault(b);
    EXPECT_EQ(lk_.VariableGetCount(1), 1);
    EXPECT_EQ(lk_.VariableGetMaxCount(1), 25);
    // Id 0 names the default channel for the functions that take an id.
    EXPECT_EQ(lk_.VariableAdd(0, 1, "6064.0", 0, &status, 4, "", nullptr, nullptr), 1);
    EXPECT_EQ(lk_.VariableGetCount(1), 2);
    EXPECT_EQ(lk_.GroupRemove(b, 7), 0);
}

TEST_F(LinkoraTest, ErrorTextsTable) {
    const int32_t id = lk_.ChannelCreate(Definition("CANopen 1", 5).c_str());
    lk_.ChannelDefault(id);
    struct Case {
        uint32_t code;
        const char* text;
        uint32_t detail;
    } cases[] = {
        {static_cast<uint32_t>(-23), "channel disconnected", 0},
        {static_cast<uint32_t>(-24), "the node is temporarily offline", 0},
        {static_cast<uint32_t>(-26), "Gvtsvr disconnected", 0},
        {static_cast<uint32_t>(-27), "the node is ready to connect", 0},
        {6, "Master CANOpen:timeout waiting node response", 0},
        {9, "Master CANOpen:returned error 0x9", 0},
        {0x06090031, "Node returned error:Value of parameter written too high", 0x06090031},
        {0x06020000, "Node returned error:Object does not exist in the object dictionary", 0x06020000},
        {0x06090099, "Node returned error:0x6090099", 0x06090099},
        {0x120000, "Internal error:invalid Ncs id", 0},
        {0x120005, "Can bus error:the node is offline", 0},
        {0x120006, "Can bus error:the network is offline (network down)", 0},
        {0x120107, "Internal error:Gvt_man error:0x1(1)", 0},
        {0x120008, "too many requests waiting, the node is busy", 0},
        {0x120009, "Ncs error 0x120009", 0},
    };
    for (const auto& c : cases) {
        uint32_t detail = 12345;
        EXPECT_EQ(ErrorText(c.code, &detail), c.text) << std::hex << c.code;
        EXPECT_EQ(detail, c.detail) << std::hex << c.code;
    }
    // No detail pointer: the text still comes back.
    EXPECT_EQ(ErrorText(0x120003, nullptr), "Internal error:timeout executing a blocked Ncs");
}

TEST_F(LinkoraTest, EtherCatChannelKeepsGroupsAndMovesNoData) {
    const int32_t id = lk_.ChannelCreate(Definition("Ethercat 0", 5).c_str());
    ASSERT_GT(id, 0);
    lk_.ChannelDefault(id);
    EXPECT_EQ(lk_.ChannelConnect(id), 1);
    EXPECT_EQ(lk_.ChannelStatus(id, nullptr), -23);
    EXPECT_EQ(server_.LoginCount(), 0u);

    uint8_t buffer[4] = {1, 2, 3, 4};
    int transferred = -5;
    EXPECT_EQ(lk_.Read("6041.0", buffer, 4, 100, 1, &transferred), 0);
    EXPECT_EQ(lk_.Write("6041.0", buffer, 4, 100, 1, &transferred), 0);
    EXPECT_EQ(buffer[0], 1);
    EXPECT_EQ(transferred, -5);

    int calls = 0;
    auto callback = [](uint32_t, uint32_t, void* context) { ++*static_cast<int*>(context); };
    EXPECT_EQ(lk_.VariableAdd(0, 0, "6041.0", 0, buffer, 2, "", nullptr, nullptr), 11);
    ASSERT_EQ(lk_.GroupCreate(0, callback, &calls), 0);
    EXPECT_EQ(lk_.VariableAddValue(0, 0, "6041.0", 0, buffer, 2, 2, "", nullptr, nullptr), 11);
    EXPECT_EQ(lk_.VariableAdd(0, 0, "6041.0", 0, buffer, 2, "", nullptr, nullptr), 0);
    EXPECT_EQ(lk_.VariableAdd(0, 0, "6041", 0, buffer, 2, "", nullptr, nullptr), -2);
    EXPECT_EQ(lk_.GroupExecute(0, 0, 100, 0), 0);
    EXPECT_EQ(lk_.GroupExecute(0, 0, 100, 10), 0);
    EXPECT_EQ(lk_.GroupExecute(0, 3, 100, 0), 10);
    EXPECT_EQ(calls, 0);
    BSTR name = nullptr, text = nullptr;
    int direction = -1, size = 0;
    void* value = nullptr;
    ASSERT_EQ(lk_.VariableGet(0, 0, &name, &direction, &value, &size, &text), 0);
    EXPECT_EQ(platform::Utf8FromBstr(name), "6041.0");
    EXPECT_EQ(value, buffer);
    EXPECT_EQ(size, 2);
    SysFreeString(name);
    SysFreeString(text);
    EXPECT_EQ(lk_.VariableGet(0, 4, &name, &direction, &value, &size, &text), 10);
    EXPECT_EQ(name, nullptr);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(lk_.VariableGetCount(0), 1);
    uint32_t checked = 42;
    EXPECT_EQ(lk_.CheckReadWrite(5, &checked), 0);
    EXPECT_EQ(checked, 42u);
}

}  // namespace
