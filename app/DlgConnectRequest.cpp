#include "app/DlgConnectRequest.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "platform/StringHelpers.h"

namespace app {
namespace ck = drive::connection_kind;

namespace {

const std::vector<int> kPcTimeout = {IDC_CONNECT_PC_TIMEOUT, IDC_CONNECT_PC_TIMEOUT_LABEL,
                                     IDC_CONNECT_PC_TIMEOUT_UNIT};
const std::vector<int> kBaud = {IDC_CONNECT_BAUD, IDC_CONNECT_BAUD_LABEL, IDC_CONNECT_BAUD_UNIT};
const std::vector<int> kNode = {IDC_CONNECT_NODE, IDC_CONNECT_NODE_LABEL};
const std::vector<int> kSubnetType = {IDC_CONNECT_SUBNET_TYPE, IDC_CONNECT_SUBNET_TYPE_LABEL};
const std::vector<int> kSubnetId = {IDC_CONNECT_SUBNET_ID, IDC_CONNECT_SUBNET_ID_LABEL};
const std::vector<int> kAddress = {IDC_CONNECT_ADDRESS, IDC_CONNECT_ADDRESS_LABEL};
const std::vector<int> kTimeout = {IDC_CONNECT_TIMEOUT, IDC_CONNECT_TIMEOUT_LABEL, IDC_CONNECT_TIMEOUT_UNIT};
const std::vector<int> kNetId = {IDC_CONNECT_NETID, IDC_CONNECT_NETID_LABEL};

std::vector<int> Join(std::initializer_list<const std::vector<int>*> parts) {
    std::vector<int> out;
    for (const auto* part : parts) out.insert(out.end(), part->begin(), part->end());
    return out;
}

// A whole decimal number within [low, high]; none for anything else (signs, blanks, overflow).
std::optional<uint32_t> ParseRange(const std::string& raw, uint32_t low, uint32_t high) {
    const std::string text = platform::Trim(raw, " \t");
    if (text.empty()) return std::nullopt;
    uint64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high)
        return std::nullopt;
    return static_cast<uint32_t>(value);
}

std::vector<std::string> SplitDots(const std::string& text) {
    std::vector<std::string> out(1);
    for (char c : text) {
        if (c == '.')
            out.emplace_back();
        else
            out.back() += c;
    }
    return out;
}

ConnectStore Refuse(int focus, const std::string& what, uint32_t low, uint32_t high) {
    ConnectStore store;
    store.ok = false;
    store.focus = focus;
    store.message =
        what + " must be a number from " + std::to_string(low) + " to " + std::to_string(high) + ".";
    store.caption = "Connect device";
    return store;
}

}  // namespace

std::vector<int> KindControls(uint16_t kind) {
    switch (kind) {
        case ck::kSerial:
            return Join({&kPcTimeout, &kBaud, &kNode});
        case ck::kLibrary:
            return Join({&kSubnetType, &kNode, &kSubnetId, &kAddress});
        case ck::kBridge:
            return Join({&kSubnetType, &kNode, &kSubnetId, &kAddress, &kTimeout});
        case ck::kTwinCat:
            return Join({&kNetId, &kPcTimeout, &kNode});
        case ck::kBox:
            return Join({&kAddress, &kPcTimeout, &kNode});
        default:
            return {};
    }
}

std::vector<int> AllKindControls() {
    std::vector<int> all =
        Join({&kPcTimeout, &kBaud, &kNode, &kSubnetType, &kSubnetId, &kAddress, &kTimeout, &kNetId});
    all.push_back(IDC_CONNECT_NETID_SELECT);
    return all;
}

std::vector<int> OfflineControls() {
    return {IDC_CONNECT_DEVICE_LABEL, IDC_CONNECT_DEVICE, IDC_CONNECT_SELECT_DEVICE, IDC_CONNECT_OR,
            IDC_CONNECT_FILE_LABEL,   IDC_CONNECT_FILE,   IDC_CONNECT_SELECT_FILE};
}

bool IsPortKind(uint16_t kind) {
    return kind == ck::kSerial || (kind >= ck::kLibrary && kind <= ck::kBox);
}

std::optional<std::array<uint8_t, 6>> ParseAmsNetId(const std::string& text) {
    const std::vector<std::string> fields = SplitDots(text);
    if (fields.size() != 6) return std::nullopt;
    std::array<uint8_t, 6> id{};
    for (size_t i = 0; i < 6; ++i) {
        const auto value = ParseRange(fields[i], 0, 255);
        if (!value) return std::nullopt;
        id[i] = static_cast<uint8_t>(*value);
    }
    return id;
}

std::string AmsNetIdText(const std::array<uint8_t, 6>& id) {
    char text[32];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u.%u.%u", id[0], id[1], id[2], id[3], id[4], id[5]);
    return text;
}

std::optional<uint32_t> ParseIpv4(const std::string& text) {
    const std::vector<std::string> fields = SplitDots(text);
    if (fields.size() != 4) return std::nullopt;
    uint32_t address = 0;
    for (const std::string& field : fields) {
        const auto value = ParseRange(field, 0, 255);
        if (!value) return std::nullopt;
        address = (address << 8) | *value;
    }
    return address;
}

std::string Ipv4Text(uint32_t address) {
    char text[20];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", address >> 24, (address >> 16) & 0xFF,
                  (address >> 8) & 0xFF, address & 0xFF);
    return text;
}

ConnectFields FieldsFromRecord(uint16_t kind, const ConnectionRequest& r) {
    ConnectFields f;
    f.pcTimeout = std::to_string(r.timeout);
    f.baudRate = std::to_string(r.baudRate);
    f.netId = AmsNetIdText(r.amsNetId);
    switch (kind) {
        case ck::kSerial:
            f.nodeId = std::to_string(r.firstNode);
            break;
        case ck::kLibrary:
            f.subnetType = r.bridgeSubnet;
            f.nodeId = std::to_string(r.bridgeNodeId);
            f.subnetId = std::to_string(r.bridgeSubnetId);
            f.address = Ipv4Text(r.bridgeAddress);
            break;
        case ck::kBridge:
            f.subnetType = r.bcSubnet;
            f.nodeId = std::to_string(r.bcNodeId);
            f.subnetId = std::to_string(r.bcSubnetId);
            f.address = Ipv4Text(r.bcAddress);
            f.timeout = std::to_string(r.bcTimeout);
            break;
        case ck::kTwinCat:
            f.nodeId = std::to_string(r.bcNodeId);
            break;
        case ck::kBox:
            f.nodeId = std::to_string(r.firstNode);
            f.address = Ipv4Text(r.bcAddress);
            break;
        default:
            break;
    }
    return f;
}

ConnectStore StoreFields(uint16_t kind, const ConnectFields& f, ConnectionRequest& record) {
    ConnectionRequest r = record;
    const bool pcTimeoutShown = kind == ck::kSerial || kind == ck::kTwinCat || kind == ck::kBox;
    if (pcTimeoutShown) {
        const auto timeout = ParseRange(f.pcTimeout, 1, 65535);
        if (!timeout) return Refuse(IDC_CONNECT_PC_TIMEOUT, "The PC time out", 1, 65535);
        r.timeout = static_cast<uint16_t>(*timeout);
    }
    auto address = [&](uint32_t& out) -> bool {
        const auto parsed = ParseIpv4(f.address);
        if (parsed) out = *parsed;
        return parsed.has_value();
    };
    const ConnectStore badAddress{false, IDC_CONNECT_ADDRESS, "The address must be in the format 0.0.0.0",
                                  "Wrong address"};
    switch (kind) {
        case ck::kSerial: {
            const auto baud = ParseRange(f.baudRate, 1, 0xFFFFFFFFu);
            if (!baud) return Refuse(IDC_CONNECT_BAUD, "The baud rate", 1, 0xFFFFFFFFu);
            const auto node = ParseRange(f.nodeId, 0, 255);
            if (!node) return Refuse(IDC_CONNECT_NODE, "The node id", 0, 255);
            r.baudRate = *baud;
            r.firstNode = r.lastNode = static_cast<uint8_t>(*node);
            break;
        }
        case ck::kLibrary: {
            const auto node = ParseRange(f.nodeId, 0, 65535);
            if (!node) return Refuse(IDC_CONNECT_NODE, "The node id", 0, 65535);
            const auto subnet = ParseRange(f.subnetId, 0, 65535);
            if (!subnet) return Refuse(IDC_CONNECT_SUBNET_ID, "The subnet id", 0, 65535);
            if (!address(r.bridgeAddress)) return badAddress;
            r.bridgeSubnet = f.subnetType;
            r.bridgeSubnetId = static_cast<uint16_t>(*subnet);
            r.bridgeNodeId = static_cast<uint16_t>(*node);
            break;
        }
        case ck::kBridge: {
            const auto node = ParseRange(f.nodeId, 0, 65535);
            if (!node) return Refuse(IDC_CONNECT_NODE, "The node id", 0, 65535);
            const auto subnet = ParseRange(f.subnetId, 0, 255);
            if (!subnet) return Refuse(IDC_CONNECT_SUBNET_ID, "The subnet id", 0, 255);
            const auto timeout = ParseRange(f.timeout, 1, 0xFFFFFFFFu);
            if (!timeout) return Refuse(IDC_CONNECT_TIMEOUT, "The timeout", 1, 0xFFFFFFFFu);
            if (!address(r.bcAddress)) return badAddress;
            r.bcSubnetId = static_cast<uint8_t>(*subnet);
            r.bcNodeId = static_cast<uint16_t>(*node);
            r.bcTimeout = *timeout;
            r.bcSubnet = static_cast<uint8_t>(f.subnetType);
            break;
        }
        case ck::kTwinCat: {
            const auto node = ParseRange(f.nodeId, 0, 65535);
            if (!node) return Refuse(IDC_CONNECT_NODE, "The node id", 0, 65535);
            const auto id = ParseAmsNetId(f.netId);
            if (!id) return {false, IDC_CONNECT_NETID, kAmsNetIdFormat, "Wrong address"};
            r.bcNodeId = static_cast<uint16_t>(*node);
            r.bcTimeout = r.timeout;
            r.amsNetId = *id;
            break;
        }
        case ck::kBox: {
            const auto node = ParseRange(f.nodeId, 0, 255);
            if (!node) return Refuse(IDC_CONNECT_NODE, "The node id", 0, 255);
            if (!address(r.bcAddress)) return badAddress;
            r.firstNode = r.lastNode = static_cast<uint8_t>(*node);
            r.bcTimeout = r.timeout;
            break;
        }
        default:
            break;
    }
    record = r;
    return {};
}

ConnectStore StoreConnect(const drive::_CHANNELINFO& port, const ConnectFields& fields,
                          ConnectionRequest& record) {
    const uint16_t kind = IsPortKind(port.type) ? port.type : ck::kOffline;
    ConnectStore store = StoreFields(kind, fields, record);
    if (!store.ok) return store;
    record.channelName = port.Name();
    record.channelIndex = port.index;
    record.channelType = kind;
    record.flags = static_cast<uint8_t>(record.flags & ~0x02u);
    return store;
}

int StoreSelect(const drive::_CHANNELINFO& port, const ConnectFields& f, ConnectionRequest& record,
                ConnectStore& store) {
    store = {};
    if (port.type == ck::kBridge) {
        const auto address = ParseIpv4(f.address);
        if (!address) {
            store = {false, IDC_CONNECT_ADDRESS, "The address must be in the format 0.0.0.0",
                     "Wrong address"};
            return 0;
        }
        const auto timeout = ParseRange(f.timeout, 1, 0xFFFFFFFFu);
        if (!timeout) {
            store = Refuse(IDC_CONNECT_TIMEOUT, "The timeout", 1, 0xFFFFFFFFu);
            return 0;
        }
        record.channelName = port.Name();
        record.channelIndex = port.index;
        record.channelType = port.type;
        record.bcAddress = *address;
        record.bcTimeout = *timeout;
        record.flags = static_cast<uint8_t>(record.flags & ~0x02u);
        return kConnectResultBridgeScan;
    }
    if (port.type == ck::kTwinCat) {
        const auto id = ParseAmsNetId(f.netId);
        if (!id) {
            store = {false, IDC_CONNECT_NETID, kAmsNetIdFormat, "Wrong AmsNetId"};
            return 0;
        }
        const auto timeout = ParseRange(f.pcTimeout, 1, 65535);
        if (!timeout) {
            store = Refuse(IDC_CONNECT_PC_TIMEOUT, "The PC time out", 1, 65535);
            return 0;
        }
        record.channelName = port.Name();
        record.channelIndex = port.index;
        record.channelType = port.type;
        record.amsNetId = *id;
        record.timeout = static_cast<uint16_t>(*timeout);
        record.bcTimeout = *timeout;
        record.flags = static_cast<uint8_t>(record.flags & ~0x02u);
        return kConnectResultTwinCatScan;
    }
    return 0;
}

bool DebugNoteShown(uint16_t kind, const std::string& nodeIdText) {
    if (kind != ck::kSerial && kind != ck::kBox) return false;
    return ParseRange(nodeIdText, 1, 1) == std::nullopt;
}

bool OfflineConnectEnabled(bool deviceChosen, const std::string& parametersFileDevice) {
    return deviceChosen || !parametersFileDevice.empty();
}

std::string ConnectHelpTopic(const std::string& portText, int family) {
    const char* file = family == 2 ? "Olmeda.chm" : "Tarvik.chm";
    std::string upper = portText;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    const char* topic;
    if (portText == "OFFLINE")
        topic = family != 0 ? "ID_SEZ_Offline.html" : "ID_PAR_Offline.html";
    else if (upper == "LINKORA")
        topic = family == 1   ? "ID_SEZ_PelmoraVesk.html"
                : family == 2 ? "index.html"
                              : "ID_PAR_QdsConnessione.html";
    else
        topic = family != 0 ? "ID_SEZ_PelmoraRS232.html" : "ID_PAR_QdsConnessione.html";
    return std::string(file) + "::/" + topic;
}

}  // namespace app
