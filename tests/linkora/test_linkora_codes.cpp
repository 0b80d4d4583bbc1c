// Every code of the fieldbus channel library has the text the library gives it (the
// formatted ones are in the channel manager's tests).
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "linkora/CanOpenValue.h"

using namespace linkora;

namespace {

template <class Code>
void ExpectTable(std::span<const platform::CodeText<Code>> table,
                 const std::vector<std::pair<Code, std::string>>& expected) {
    std::map<Code, std::string> rows;
    for (const auto& row : table) EXPECT_TRUE(rows.emplace(row.code, row.text).second) << row.code;
    EXPECT_EQ(rows, (std::map<Code, std::string>(expected.begin(), expected.end())));
}

TEST(LinkoraCodes, ExecutorCodes) {
    const std::vector<std::pair<uint32_t, std::string>> expected = {
        {0x120000u, "Internal error:invalid Ncs id"},
        {0x120001u, "Internal error:memory allocation on write domain area"},
        {0x120002u, "Internal error:memory allocation on read domain area"},
        {0x120003u, "Internal error:timeout executing a blocked Ncs"},
        {0x120004u, "Internal error:too many Ncs elements used"},
        {0x120005u, "Can bus error:the node is offline"},
        {0x120006u, "Can bus error:the network is offline (network down)"},
        {0x120008u, "too many requests waiting, the node is busy"},
    };
    ExpectTable(NcsCodeTexts(), expected);
    for (const auto& [code, text] : expected) {
        std::string got;
        EXPECT_EQ(CanOpenErrorText(code, got), 0u);
        EXPECT_EQ(got, text) << code;
    }
}

TEST(LinkoraCodes, ChannelStatesAndElementStatuses) {
    const std::vector<std::pair<int32_t, std::string>> expected = {
        {-23, "channel disconnected"},
        {-24, "the node is temporarily offline"},
        {-26, "Gvtsvr disconnected"},
        {-27, "the node is ready to connect"},
        {3, "Master CANOpen:wrong sdo response"},
        {4, "Master CANOpen:error activating sdo"},
        {5, "Master CANOpen:the node has aborted the request"},
        {6, "Master CANOpen:timeout waiting node response"},
        {7, "Master CANOpen:the node uploaded string is too long for the master"},
        {10, "Master CANOpen:timeout using the channel"},
        {11, "Master CANOpen:sdo aborted by application"},
    };
    ExpectTable(ChannelCodeTexts(), expected);
    for (const auto& [code, text] : expected) {
        std::string got;
        EXPECT_EQ(CanOpenErrorText(static_cast<uint32_t>(code), got), 0u);
        EXPECT_EQ(got, text) << code;
    }
}

TEST(LinkoraCodes, AbortCodes) {
    const std::vector<std::pair<uint32_t, std::string>> expected = {
        {0x05030000u, "toggle bit alternation"},
        {0x05040000u, "protocol timeout"},
        {0x05040001u, "Client/server command specifier not valid or unknown"},
        {0x05040002u, "Invalid block size"},
        {0x05040003u, "Invalid sequence number"},
        {0x05040004u, "CRC error"},
        {0x05040005u, "Out of memory"},
        {0x06010000u, "Unsupported access to an object"},
        {0x06010001u, "Attempt to read a write only object"},
        {0x06010002u, "Attempt to write a read only object"},
        {0x06020000u, "Object does not exist in the object dictionary"},
        {0x06040041u, "Object cannot be mapped to the PDO"},
        {0x06040042u, "The number and length of the objects to be mapped would exceed PDO length"},
        {0x06040043u, "General parameter incompatibility reason"},
        {0x06040047u, "General internal incompatibility in the device"},
        {0x06060000u, "Access failed due to an hardware error"},
        {0x06070010u, "Data type does not match, length of service parameter does not match"},
        {0x06070012u, "Data type does not match, length of service parameter too high"},
        {0x06070013u, "Data type does not match, length of service parameter too low"},
        {0x06090011u, "Sub-index does not exist"},
        {0x06090030u, "Value range of parameter exceeded"},
        {0x06090031u, "Value of parameter written too high"},
        {0x06090032u, "alue of parameter written too low"},
        {0x06090036u, "Maximum value is less than minimum value"},
        {0x08000000u, "general error"},
        {0x08000020u, "Data cannot be transferred or stored to the application"},
        {0x08000021u, "Data cannot be transferred or stored to the application because of local control"},
        {0x08000022u,
         "Data cannot be transferred or stored to the application because of the present device state"},
        {0x08000023u, "Object dictionary dynamic generation fails or no object dictionary is present"},
    };
    ExpectTable(AbortCodeTexts(), expected);
    for (const auto& [code, text] : expected) {
        std::string got;
        EXPECT_EQ(CanOpenErrorText(code, got), code);
        EXPECT_EQ(got, "Node returned error:" + text) << code;
    }
}

}  // namespace
