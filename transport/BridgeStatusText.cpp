#include "transport/BridgeStatusText.h"

#include <iterator>

#include "transport/ChannelTrace.h"

namespace transport {

namespace {

struct AbortText {
    uint32_t code;
    const char* text;
};

constexpr AbortText kAbortTexts[] = {
    {0x05030000, "SDO: Toggle bit not alternated (0x05030000)"},
    {0x05040000, "SDO: protocol timed out (0x05040000)"},
    {0x05040001, "SDO: Client/Server command specifier not valid or unknown (0x05040001)"},
    {0x05040002, "SDO: Invalid block size (0x05040002)"},
    {0x05040003, "SDO: Invalid sequence number (0x05040003)"},
    {0x05040004, "SDO: CRC error (0x05040004)"},
    {0x05040005, "SDO: out of memory (0x05040005)"},
    {0x06010000, "SDO: access denied (0x06010000)"},
    {0x06010001, "SDO: attempt to read a write only object (0x06010001)"},
    {0x06010002, "SDO: attempt to write a read only object (0x06010002)"},
    {0x06020000, "SDO: object does not exist (0x06020000)"},
    {0x06040043, "SDO: general parameter incompatibility (0x06040043)"},
    {0x06040047, "SDO: general internal incompatibility (0x06040047)"},
    {0x06060000, "SDO: hardware error (0x06060000)"},
    {0x06070010, "SDO: data type does not match (0x06070010)"},
    {0x06070012, "SDO: data type does not match (0x06070012)"},
    {0x06070013, "SDO: data type does not match (0x06070013)"},
    {0x06090011, "SDO: subIndex does not exist (0x06090011)"},
    {0x06090030, "SDO: parameter out of range (0x06090030)"},
    {0x06090031, "SDO: value of parameter written too high (0x06090031)"},
    {0x06090032, "SDO: value of parameter written too low (0x06090032)"},
    {0x08000000, "SDO: generic error (0x08000000)"},
    {0x08000020, "SDO: data cannot be transferred or stored to the application (0x08000020)"},
    {0x08000021, "SDO: internal control refuse data (0x08000021)"},
    {0x08000022, "SDO: internal state refuse data (0x08000022)"},
};

// Texts of the bridge codes -1 down to -26.
constexpr const char* kBridgeTexts[] = {
    "SDO not executed",
    "Message timeout",
    "Command queue full",
    "Message aborted",
    "SDO aborted",
    "SDO timeout",
    "SDO data overflow",
    "SDO first mf",
    "SDO not documented error",
    "CAN bus off",
    "CAN error passive",
    "SDO internal FB error",
    "SDO no more memory",
    "SDO wrong parameter",
    "SDO nodeId unknown",
    "SDO netId unknown",
    "SDO request error",
    "SDO channel unknown",
    "Error read/write ESC registry",
    "EtherCAT slave not found",
    "Wrong command parameter",
    "Data block not found",
    "Node in use by another client",
    "Too many nodes in use in the bus",
    "EtherCAT master not set",
    "CAN: Node lost",
};

}  // namespace

std::string GetSdoAbortText(uint32_t status) {
    if (status == 0) return "No error";
    const int32_t signedStatus = static_cast<int32_t>(status);
    if (signedStatus < 0 && signedStatus >= -static_cast<int32_t>(std::size(kBridgeTexts)))
        return kBridgeTexts[-signedStatus - 1];
    for (const AbortText& entry : kAbortTexts)
        if (entry.code == status) return entry.text;
    if (status <= 0x0FFFFFFF) return Format("SDO abort code %ld(0x%x)", static_cast<long>(status), status);
    if ((status & 0xF0000000u) == 0xF0000000u)
        return Format("Error %ld(0x%x)", static_cast<long>(signedStatus), status);
    const uint32_t low = status & 0x0FFFFFFFu;
    return Format("SDO error %ld(0x%x)", static_cast<long>(low), low);
}

}  // namespace transport
