#pragma once
// What the connect dialog decides without its window: which controls a connection kind shows,
// how the typed values go into the connection record (refused with a message when they don't
// fit their fields), and when the offline entry may connect.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "drive/QdsWnd.h"

namespace app {

// The record the connect dialogs fill for the drive object.
using ConnectionRequest = drive::CConnectionRecord;

// Control ids of the connect dialog.
enum : int {
    IDC_CONNECT_SELECT_DEVICE = 503,
    IDC_CONNECT_BAUD = 504,
    IDC_CONNECT_PC_TIMEOUT = 505,
    IDC_CONNECT_SUBNET_TYPE = 506,
    IDC_CONNECT_SELECT_FILE = 507,
    IDC_CONNECT_NODE = 508,
    IDC_CONNECT_SUBNET_ID = 512,
    IDC_CONNECT_DEVICE = 516,
    IDC_CONNECT_FILE = 517,
    IDC_CONNECT_CLOSE = 598,
    IDC_CONNECT_PORT = 663,
    IDC_CONNECT_TIMEOUT = 1156,
    IDC_CONNECT_NETID = 1157,
    IDC_CONNECT_FIRMWARES = 1267,
    IDC_CONNECT_NETID_SELECT = 1275,
    IDC_CONNECT_TOKENS = 1174,
    IDC_CONNECT_ACCESS = 1349,
    IDC_CONNECT_CONNECT = 1562,
    IDC_CONNECT_HELP = 1672,
    IDC_CONNECT_ADDRESS = 1865,
    IDC_CONNECT_NOTE = 1871,
    // Labels and units (no behaviour of their own).
    IDC_CONNECT_PORT_LABEL = 2100,
    IDC_CONNECT_BAUD_LABEL,
    IDC_CONNECT_BAUD_UNIT,
    IDC_CONNECT_PC_TIMEOUT_LABEL,
    IDC_CONNECT_PC_TIMEOUT_UNIT,
    IDC_CONNECT_NODE_LABEL,
    IDC_CONNECT_SUBNET_TYPE_LABEL,
    IDC_CONNECT_SUBNET_ID_LABEL,
    IDC_CONNECT_ADDRESS_LABEL,
    IDC_CONNECT_TIMEOUT_LABEL,
    IDC_CONNECT_TIMEOUT_UNIT,
    IDC_CONNECT_NETID_LABEL,
    IDC_CONNECT_DEVICE_LABEL,
    IDC_CONNECT_OR,
    IDC_CONNECT_FILE_LABEL,
    IDC_CONNECT_ACCESS_LABEL,
};

// Dialog results beside IDOK and IDCANCEL.
enum : int {
    kConnectResultBridgeScan = -1,
    kConnectResultTwinCatScan = -2,
    kConnectResultExit = 8,
};

constexpr const char* kDebugPortNote =
    "Use of debug device port requires that 'Node id' has to be equal to 1.";
constexpr const char* kAmsNetIdFormat = "The AmsNetId must be in the format 0.0.0.0.0.0";

// The values of the kind controls as the user typed them.
struct ConnectFields {
    std::string pcTimeout;
    std::string baudRate;
    std::string nodeId;
    std::string subnetId;
    std::string timeout;
    std::string netId;
    std::string address;  // dotted IPv4
    uint16_t subnetType = 2;
};

// The controls (labels and units included) that a kind shows; none for an unknown kind.
std::vector<int> KindControls(uint16_t kind);
// Every control that some kind shows.
std::vector<int> AllKindControls();
// The offline entry's controls.
std::vector<int> OfflineControls();
bool IsPortKind(uint16_t kind);

// Six decimal bytes separated by points; none when not six fields or a field is over 255.
std::optional<std::array<uint8_t, 6>> ParseAmsNetId(const std::string& text);
std::string AmsNetIdText(const std::array<uint8_t, 6>& id);
// a.b.c.d with a the most significant byte.
std::optional<uint32_t> ParseIpv4(const std::string& text);
std::string Ipv4Text(uint32_t address);

// What "Connect" or "Select..." made of the fields.
struct ConnectStore {
    bool ok = true;
    int focus = 0;  // the control whose value was refused
    std::string message, caption;
};

// The shown values of a kind from the record, and back: refused values leave the record unchanged.
ConnectFields FieldsFromRecord(uint16_t kind, const ConnectionRequest& record);
ConnectStore StoreFields(uint16_t kind, const ConnectFields& fields, ConnectionRequest& record);
// "Connect": the port and the kind's fields; flags bit 1 cleared.
ConnectStore StoreConnect(const drive::_CHANNELINFO& port, const ConnectFields& fields,
                          ConnectionRequest& record);
// "Select..." of a bridge (-1) or a TwinCAT port (-2); 0 with the refusal in store otherwise.
int StoreSelect(const drive::_CHANNELINFO& port, const ConnectFields& fields, ConnectionRequest& record,
                ConnectStore& store);

// The debug-port note: serial and box ports with a node id other than 1.
bool DebugNoteShown(uint16_t kind, const std::string& nodeIdText);
// The offline entry connects only with a chosen device or a valid parameters file.
bool OfflineConnectEnabled(bool deviceChosen, const std::string& parametersFileDevice);

// The help topic of the connect dialog by the "PC connection:" text and the drive family
// (0 other drives, 1 the first family, 2 the second).
std::string ConnectHelpTopic(const std::string& portText, int family);

}  // namespace app
