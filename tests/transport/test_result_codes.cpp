// Every result code of the transport layers has the text the system gives it.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "transport/BridgeStatusText.h"
#include "transport/BridgeVkr.h"
#include "transport/ModbusCodes.h"
#include "transport/ModbusTexts.h"
#include "transport/TwincatAds.h"

using namespace transport;

namespace {

template <class Code>
struct Expected {
    Code code;
    const char* text;
};

// The table holds exactly the expected codes, each with its expected text.
template <class Code>
void ExpectTable(std::span<const platform::CodeText<Code>> table,
                 const std::vector<Expected<Code>>& expected) {
    std::map<Code, std::string> rows;
    for (const auto& row : table) {
        EXPECT_TRUE(rows.emplace(row.code, row.text).second) << "code " << row.code << " twice";
    }
    EXPECT_EQ(rows.size(), expected.size());
    for (const auto& e : expected) {
        const auto found = rows.find(e.code);
        ASSERT_NE(found, rows.end()) << "code " << e.code;
        EXPECT_EQ(found->second, e.text) << "code " << e.code;
    }
}

// Codes that share one text.
struct Group {
    std::vector<int> codes;
    const char* text;
};

std::vector<Expected<int>> Flatten(const std::vector<Group>& groups) {
    std::vector<Expected<int>> out;
    for (const Group& g : groups)
        for (int code : g.codes) out.push_back({code, g.text});
    return out;
}

const char* const kWriteFailure =
    "not all data was successfully written to COM port; probably there is an hardware connection problem: "
    "cable or ground";

TEST(ResultCodes, SerialChannel) {
    const auto expected = Flatten({
        {{8}, "COM port not opened"},
        {{100}, "error writing data to COM port"},
        {{101, 666, 667, 668, 766, 767}, kWriteFailure},
        {{102, 115, 136, 143}, "device returned error in writing data"},
        {{103}, "timeout: COM port busy"},
        {{104}, "slave number error"},
        {{105, 111, 118, 125, 132, 139}, "reading data confirmation:error reading data from COM port"},
        {{106, 112, 119, 126, 133, 140}, "reading data confirmation:not all expected data was received"},
        {{107, 113, 120, 127, 134, 141}, "reading data confirmation:corrupted (wrong slave number)"},
        {{108, 114, 121, 128, 135, 142}, "reading data confirmation:corrupted (wrong function number)"},
        {{109, 116, 123, 130, 137, 144}, "reading data confirmation:corrupted (wrong crc)"},
        {{110, 117, 124, 131, 138, 145}, "reading data confirmation:wrong address or bytes number"},
        {{122, 129}, "device returned error in reading data"},
        {{200}, "error opening COM port"},
        {{201}, "error setting COM port parameters"},
        {{202}, "error setting COM port timeouts"},
        {{203}, "error setting COM port buffers"},
        {{204}, "COM port not properly closed"},
        {{205}, "error setting COM port events mask"},
    });
    ExpectTable(ModbusRtuCodeTexts(), expected);
    for (const auto& e : expected) EXPECT_STREQ(ModbusRtuCodeText(e.code), e.text) << e.code;
    // The serial channel reports the domain codes with their texts; everything else reads "ok".
    EXPECT_STREQ(ModbusRtuCodeText(domain_code::kDownloadAborted), "download aborted by the user");
    for (int code : {0, 99, 146, 670, 999}) EXPECT_STREQ(ModbusRtuCodeText(code), "ok") << code;
}

TEST(ResultCodes, DomainTransfer) {
    const std::vector<Expected<int>> expected = {
        {301, "the slave upload protocol is not supported"},
        {302, "the slave download protocol is not supported"},
        {303, "upload: buffer too small"},
        {304, "error creating file"},
        {305, "upload: wrong toggle bit"},
        {306, "upload aborted by the user"},
        {307, "download: error opening file"},
        {308, "download aborted by the user"},
        {309, "download: error reading file"},
        {310, "upload: error writing file"},
        {311, "invalid file handle"},
        {312, "the slave refuse firmware download"},
    };
    ExpectTable(DomainCodeTexts(), expected);
    for (const auto& e : expected) EXPECT_STREQ(DomainCodeText(e.code), e.text) << e.code;
    EXPECT_STREQ(DomainCodeText(300), "ok");
}

TEST(ResultCodes, SdoTransfer) {
    ExpectTable(SdoCodeTexts(),
                {{12, "Upload SDO Segment response: wrong toggle bit"}, {-302, "data size don't match"}});
    EXPECT_STREQ(SdoCodeText(sdo_code::kWrongToggle), "Upload SDO Segment response: wrong toggle bit");
}

TEST(ResultCodes, ExceptionsAndTransferStatus) {
    const std::vector<Expected<int>> exceptions = {
        {1, "Illegal function"},
        {2, "Illegal data address"},
        {3, "Illegal data value"},
        {4, "Slave device failure"},
        {5, "Acknowledge"},
        {6, "Slave device busy"},
        {7, "Negative acknowledge"},
        {8, "Memory parity error"},
        {10, "Gateway path unavailable"},
        {11, "Gateway target device failed to respond"},
    };
    const std::vector<Expected<int>> statuses = {
        {247, "number of data bytes to read exceed the available ones"},
        {248, "wrong upload step"},
        {249, "wrong toggle bit"},
        {250, "number of data bytes to write exceed the available area"},
        {251, "execution of end download function failed"},
        {252, "writing data in memory filed"},
        {253, "starting execution of download/upload function failed"},
        {254, "invalid download/upload code"},
    };
    ExpectTable(ModbusExceptionTexts(), exceptions);
    ExpectTable(TransferStatusTexts(), statuses);
    for (const auto& e : exceptions) {
        EXPECT_STREQ(GetModbusExceptionText(e.code), e.text) << e.code;
        EXPECT_STREQ(GetFileTransferErrorText(static_cast<uint8_t>(e.code)), e.text) << e.code;
    }
    for (const auto& e : statuses)
        EXPECT_STREQ(GetFileTransferErrorText(static_cast<uint8_t>(e.code)), e.text);
    // The box's own exception and the unknown ones.
    EXPECT_STREQ(GetModbusExceptionText(kBoxUsbDisconnected), "Mirel: USB device disconnected");
    EXPECT_STREQ(GetFileTransferErrorText(kBoxUsbDisconnected), "");
    EXPECT_STREQ(GetModbusExceptionText(255), "Unknown");
}

TEST(ResultCodes, BoxClient) {
    ExpectTable(ModbusTcpCodeTexts(), {
                                          {-200, "the buffer provided is too small"},
                                          {-201, "send()"},
                                          {-202, "send(): sent less bytes than needed"},
                                          {-203, "select()"},
                                          {-204, "recv()"},
                                          {-205, "recv(): received fewer bytes than requested"},
                                          {-206, "received a wrong transaction id"},
                                      });
}

TEST(ResultCodes, BridgeStatusAndAbortCodes) {
    const std::vector<Expected<int32_t>> bridge = {
        {-26, "CAN: Node lost"},
        {-25, "EtherCAT master not set"},
        {-24, "Too many nodes in use in the bus"},
        {-23, "Node in use by another client"},
        {-22, "Data block not found"},
        {-21, "Wrong command parameter"},
        {-20, "EtherCAT slave not found"},
        {-19, "Error read/write ESC registry"},
        {-18, "SDO channel unknown"},
        {-17, "SDO request error"},
        {-16, "SDO netId unknown"},
        {-15, "SDO nodeId unknown"},
        {-14, "SDO wrong parameter"},
        {-13, "SDO no more memory"},
        {-12, "SDO internal FB error"},
        {-11, "CAN error passive"},
        {-10, "CAN bus off"},
        {-9, "SDO not documented error"},
        {-8, "SDO first mf"},
        {-7, "SDO data overflow"},
        {-6, "SDO timeout"},
        {-5, "SDO aborted"},
        {-4, "Message aborted"},
        {-3, "Command queue full"},
        {-2, "Message timeout"},
        {-1, "SDO not executed"},
    };
    const std::vector<Expected<uint32_t>> aborts = {
        {0x05030000u, "SDO: Toggle bit not alternated (0x05030000)"},
        {0x05040000u, "SDO: protocol timed out (0x05040000)"},
        {0x05040001u, "SDO: Client/Server command specifier not valid or unknown (0x05040001)"},
        {0x05040002u, "SDO: Invalid block size (0x05040002)"},
        {0x05040003u, "SDO: Invalid sequence number (0x05040003)"},
        {0x05040004u, "SDO: CRC error (0x05040004)"},
        {0x05040005u, "SDO: out of memory (0x05040005)"},
        {0x06010000u, "SDO: access denied (0x06010000)"},
        {0x06010001u, "SDO: attempt to read a write only object (0x06010001)"},
        {0x06010002u, "SDO: attempt to write a read only object (0x06010002)"},
        {0x06020000u, "SDO: object does not exist (0x06020000)"},
        {0x06040043u, "SDO: general parameter incompatibility (0x06040043)"},
        {0x06040047u, "SDO: general internal incompatibility (0x06040047)"},
        {0x06060000u, "SDO: hardware error (0x06060000)"},
        {0x06070010u, "SDO: data type does not match (0x06070010)"},
        {0x06070012u, "SDO: data type does not match (0x06070012)"},
        {0x06070013u, "SDO: data type does not match (0x06070013)"},
        {0x06090011u, "SDO: subIndex does not exist (0x06090011)"},
        {0x06090030u, "SDO: parameter out of range (0x06090030)"},
        {0x06090031u, "SDO: value of parameter written too high (0x06090031)"},
        {0x06090032u, "SDO: value of parameter written too low (0x06090032)"},
        {0x08000000u, "SDO: generic error (0x08000000)"},
        {0x08000020u, "SDO: data cannot be transferred or stored to the application (0x08000020)"},
        {0x08000021u, "SDO: internal control refuse data (0x08000021)"},
        {0x08000022u, "SDO: internal state refuse data (0x08000022)"},
    };
    ExpectTable(BridgeStatusTexts(), bridge);
    ExpectTable(SdoAbortTexts(), aborts);
    for (const auto& e : bridge) EXPECT_EQ(GetSdoAbortText(static_cast<uint32_t>(e.code)), e.text) << e.code;
    for (const auto& e : aborts) EXPECT_EQ(GetSdoAbortText(e.code), e.text) << e.code;
}

TEST(ResultCodes, BridgeClient) {
    ExpectTable(CBridgeVkr::ClientCodeTexts(),
                {
                    {102, "Wrong data received"},
                    {4370, "Timeout waiting message response"},
                    {4371, "Timeout waiting message execution"},
                    {4372, "Channel busy"},
                    {4373, "Not connected"},
                    {4374, "Group does not exist"},
                    {4375, "Request or response message is too long for the bridge"},
                });
    EXPECT_EQ(CBridgeVkr::ClientCodeText(4376), nullptr);
}

TEST(ResultCodes, Ads) {
    const std::vector<Expected<uint32_t>> expected = {
        {0x0u, "ok"},
        {0x1u, "No error, negative or incomplete result."},
        {0x7u, "EtherCAT controller not found - NetId was not found."},
        {0xBu, "Unknown AMS command."},
        {0xDu, "Port not connected."},
        {0xFu, "Invalid AMS Net ID."},
        {0x1Bu, "Host unreachable."},
        {0x203u, "No error, no result is available yet."},
        {0x256u, "No error, successful processing, but a timeout occurred."},
        {0x50Au, "Router not activated."},
        {0x700u, "Error class < device error >."},
        {0x701u, "Service is not supported by server."},
        {0x702u, "Invalid indexGroup."},
        {0x703u, "Parameter not existing."},
        {0x704u, "Reading/writing not permitted."},
        {0x705u, "Parameter size not correct."},
        {0x706u, "Parameter value out of range."},
        {0x707u, "Device is not in a ready state."},
        {0x708u, "Device is busy."},
        {0x709u, "Invalid context (must be InWindows)."},
        {0x70Au, "Out of memory."},
        {0x70Bu, "Invalid parameter value(s)."},
        {0x70Cu, "Not found (files, ...)."},
        {0x70Du, "General error."},
        {0x70Eu, "Objects do not match."},
        {0x70Fu, "Object already exists."},
        {0x710u, "Symbol not found."},
        {0x711u, "Symbol version invalid."},
        {0x712u, "Parameter can not be read or written in the current state."},
        {0x713u, "AdsTransMode not supported."},
        {0x714u, "Notification handle is invalid."},
        {0x715u, "Notification client not registered."},
        {0x716u, "No more notification handles."},
        {0x717u, "Size for watch to big."},
        {0x718u, "Device not initialized."},
        {0x719u, "Device has a timeout."},
        {0x71Au, "Query interface failed."},
        {0x71Bu, "Wrong interface required."},
        {0x71Cu, "Class ID is invalid."},
        {0x71Du, "Object ID is invalid."},
        {0x71Eu, "Request is pending."},
        {0x71Fu, "Request is aborted."},
        {0x720u, "Signal warning."},
        {0x721u, "Invalid array index."},
        {0x722u, "Symbol not active -> release handle and try again."},
        {0x723u, "Access denied."},
        {0x724u, "No license found."},
        {0x725u, "License expired."},
        {0x726u, "License exceeded."},
        {0x727u, "License invalid."},
        {0x728u, "License invalid system id."},
        {0x729u, "License not time limited."},
        {0x72Au, "License issue time in the future."},
        {0x72Bu, "License time period to long."},
        {0x72Cu, "Exception in device specific code."},
        {0x72Du, "License file read twice."},
        {0x72Eu, "Invalid signature."},
        {0x72Fu, "Public key certificate."},
        {0x740u, "Error class < client error >."},
        {0x741u, "Invalid parameter at service call."},
        {0x742u, "Polling list\tis empty."},
        {0x743u, "Var connection already in use."},
        {0x744u, "Invoke id in use."},
        {0x745u, "Timeout elapsed."},
        {0x746u, "Error in win32 subsystem."},
        {0x747u, "Client timeout invalid."},
        {0x748u, "Port not opened."},
        {0x749u, "No ams address."},
        {0x750u, "Internal error in ads sync."},
        {0x751u, "Hash table overflow."},
        {0x752u, "Key not found in hash table."},
        {0x753u, "No more symbols in cache."},
        {0x754u, "Invalid response received."},
        {0x755u, "Sync port is locked."},
        {0x1114u, "Channel busy."},
        {0x1116u, "Group does not exist."},
        {0x274Cu, "WSAETIMEDOUT:a connection timeout has occurred."},
        {0x274Du, "WSAECONNREFUSED:connection refused."},
        {0x2751u, "WSAEHOSTUNREACH:no route to host - a socket operation referred to an unavailable host."},
    };
    ExpectTable(CTwincatAds::CodeTexts(), expected);
    // Channel codes without a text of their own, and the abort codes that share an ADS text.
    EXPECT_EQ(CTwincatAds::GetErrorText(CTwincatAds::kOverrun), "Error 4371(0x1113).");
    EXPECT_EQ(CTwincatAds::GetErrorText(0x06090030), "Parameter value out of range.");
}

}  // namespace
