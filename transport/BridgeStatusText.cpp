#include "transport/BridgeStatusText.h"

#include "transport/ChannelTrace.h"

namespace transport {

namespace {

constexpr platform::CodeText<uint32_t> kAbortTexts[] = {
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

constexpr platform::CodeText<int32_t> kBridgeTexts[] = {
    {bridge_status::kSdoNotExecuted, "SDO not executed"},
    {bridge_status::kMessageTimeout, "Message timeout"},
    {bridge_status::kQueueFull, "Command queue full"},
    {bridge_status::kMessageAborted, "Message aborted"},
    {bridge_status::kSdoAborted, "SDO aborted"},
    {bridge_status::kSdoTimeout, "SDO timeout"},
    {bridge_status::kSdoDataOverflow, "SDO data overflow"},
    {bridge_status::kSdoFirstMf, "SDO first mf"},
    {bridge_status::kSdoUndocumented, "SDO not documented error"},
    {bridge_status::kCanBusOff, "CAN bus off"},
    {bridge_status::kCanErrorPassive, "CAN error passive"},
    {bridge_status::kSdoInternalFb, "SDO internal FB error"},
    {bridge_status::kSdoNoMemory, "SDO no more memory"},
    {bridge_status::kSdoWrongParameter, "SDO wrong parameter"},
    {bridge_status::kSdoNodeIdUnknown, "SDO nodeId unknown"},
    {bridge_status::kSdoNetIdUnknown, "SDO netId unknown"},
    {bridge_status::kSdoRequestError, "SDO request error"},
    {bridge_status::kSdoChannelUnknown, "SDO channel unknown"},
    {bridge_status::kEscRegistryError, "Error read/write ESC registry"},
    {bridge_status::kSlaveNotFound, "EtherCAT slave not found"},
    {bridge_status::kWrongParameter, "Wrong command parameter"},
    {bridge_status::kDataBlockNotFound, "Data block not found"},
    {bridge_status::kNodeInUse, "Node in use by another client"},
    {bridge_status::kTooManyNodes, "Too many nodes in use in the bus"},
    {bridge_status::kMasterNotSet, "EtherCAT master not set"},
    {bridge_status::kNodeLost, "CAN: Node lost"},
};

}  // namespace

std::span<const platform::CodeText<int32_t>> BridgeStatusTexts() {
    return kBridgeTexts;
}

std::span<const platform::CodeText<uint32_t>> SdoAbortTexts() {
    return kAbortTexts;
}

std::string GetSdoAbortText(uint32_t status) {
    if (status == 0) return "No error";
    const int32_t signedStatus = static_cast<int32_t>(status);
    if (const char* text = platform::FindCodeText<int32_t>(kBridgeTexts, signedStatus)) return text;
    if (const char* text = platform::FindCodeText<uint32_t>(kAbortTexts, status)) return text;
    if (status <= 0x0FFFFFFF) return Format("SDO abort code %ld(0x%x)", static_cast<long>(status), status);
    if ((status & 0xF0000000u) == 0xF0000000u)
        return Format("Error %ld(0x%x)", static_cast<long>(signedStatus), status);
    const uint32_t low = status & 0x0FFFFFFFu;
    return Format("SDO error %ld(0x%x)", static_cast<long>(low), low);
}

}  // namespace transport
