// The EtherCAT scan of the ADS channel: the master's device list turned into records for the
// connect dialog.
#include <cstring>

#include "foundation/ProgramFolders.h"
#include "transport/ChannelTrace.h"
#include "transport/TwincatAds.h"

namespace transport {

namespace {

constexpr uint32_t kGroupDeviceCount = 6;
constexpr uint32_t kGroupDeviceAddresses = 7;
constexpr uint32_t kGroupDeviceStates = 9;
constexpr uint32_t kGroupDeviceIdentity = 0x11;
// A device count beyond what an EtherCAT network can hold is not taken as an allocation size.
constexpr uint32_t kMaxDevices = 65535;

constexpr uint32_t kGreen = 0xFF00;
constexpr uint32_t kYellow = 0xFFFF00;
constexpr uint32_t kOrange = 0x80FF;
constexpr uint32_t kWhite = 0xFFFFFF;

struct NamedVendor {
    uint32_t id;
    const char* brand;
};
// EtherCAT vendor ids of the brands the program names.
constexpr NamedVendor kNamedVendors[] = {
    {0x0000A701, "Halvik"},  {0x0000A702, "Vkr"},    {0x0000A703, "Ostrel"},
    {0x0000A704, "Drovane"}, {0x0000A705, "Kimbra"}, {0x00001A2B, "Varno"},
};

void SetState(CBusNodeData& node, uint16_t word) {
    const uint8_t state = static_cast<uint8_t>(word);
    switch (state & 0x0F) {
        case 1:
            node.state = "init";
            node.colour = kYellow;
            return;
        case 2:
            node.state = "pre-operational";
            node.colour = kGreen;
            node.selectable = 1;
            return;
        case 3:
            node.state = "bootstrap";
            node.colour = kYellow;
            return;
        case 4:
            node.state = "safe-operational";
            node.colour = kGreen;
            node.selectable = 1;
            return;
        case 8:
            node.state = "operational";
            node.colour = kGreen;
            node.selectable = 1;
            return;
        default:
            break;
    }
    switch (state & 0xF0) {
        case 0x10:
            node.state = "error state";
            node.colour = kOrange;
            break;
        case 0x20:
            node.state = "invalid VPRS";
            node.colour = kOrange;
            break;
        case 0x40:
            node.state = "init error";
            node.colour = kOrange;
            break;
        default:
            node.state = "unknown";
            node.colour = kWhite;
            break;
    }
}

uint32_t U32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

const char* VendorShortName(uint32_t vendorId) {
    for (const NamedVendor& v : kNamedVendors)
        if (v.id == vendorId) return v.brand;
    return nullptr;
}

void FreeEtherCatDeviceList(CBusNodeList& list) {
    for (CBusNodeData* node : list) delete node;
    list.clear();
}

bool CTwincatAds::ScanDevices(CBusNodeList& list) {
    FreeEtherCatDeviceList(list);
    if (!LoadAdsLibrary()) return false;
    if (!connected_ && !PortOpen()) return false;

    uint8_t word[4] = {};
    uint32_t n = 0;
    if (!ReadMaster(kGroupDeviceCount, 0, 4, word, &n) || n != 4) {
        LogError("Read the number of projected EtherCAT devices (0xffff,6,0,4)",
                 lastAdsCode_ ? lastAdsCode_ : 0x754);
        PortClose();
        return false;
    }
    const uint32_t count = U32(word);
    if (count == 0) return true;
    if (count > kMaxDevices) {
        LogError("Read the number of projected EtherCAT devices (0xffff,6,0,4)", 0x754);
        PortClose();
        return false;
    }
    const uint32_t bytes = 2 * count;
    std::vector<uint8_t> addresses(bytes), states(bytes);
    if (!ReadMaster(kGroupDeviceAddresses, 0, bytes, addresses.data(), &n) || n != bytes) {
        LogError(Format("Read EtherCAT device addresses(0xffff,7,0,%lu)", static_cast<unsigned long>(bytes))
                     .c_str(),
                 lastAdsCode_ ? lastAdsCode_ : 0x754);
        PortClose();
        return false;
    }
    if (!ReadMaster(kGroupDeviceStates, 0, bytes, states.data(), &n) || n != bytes) {
        LogError(
            Format("Read EtherCAT devices status(0xffff,9,0,%lu)", static_cast<unsigned long>(bytes)).c_str(),
            lastAdsCode_ ? lastAdsCode_ : 0x754);
        PortClose();
        return false;
    }

    request_.netId = targetNetId_;
    for (uint32_t i = 0; i < count; ++i) {
        auto* node = new CBusNodeData;
        list.push_back(node);
        node->address = static_cast<uint16_t>(addresses[2 * i] | addresses[2 * i + 1] << 8);
        const uint16_t stateWord = static_cast<uint16_t>(states[2 * i] | states[2 * i + 1] << 8);
        if ((stateWord >> 8) & 0x03) {
            node->state = "not avail";
            node->name = "Link not present";
            continue;
        }
        SetState(*node, stateWord);

        uint8_t identity[16] = {};
        if (!ReadMaster(kGroupDeviceIdentity, node->address, 16, identity, &n) || n != 16) {
            LogError(Format("Read CANopen identity of EtherCAT device(0xffff,0x11,%lu,%lu)",
                            static_cast<unsigned long>(node->address), 16ul)
                         .c_str(),
                     lastAdsCode_ ? lastAdsCode_ : 0x754);
            node->selectable = 0;
            node->name = owner_->Text();
            continue;
        }
        node->vendorId = U32(identity);

        // The remaining reads describe the device; their failures leave no error behind.
        OwnerErrorGuard keep(owner_);
        request_.port = node->address;
        auto readText = [&](uint16_t index, uint8_t sub, bool* ok = nullptr) {
            char text[100] = {};
            uint32_t got = 0;
            const bool read = SyncReadReq(static_cast<uint32_t>(index) << 16 | sub, sizeof text, text, &got);
            if (ok) *ok = read;
            if (!read) return std::string();
            return std::string(text, strnlen(text, std::min<size_t>(got, sizeof text - 1)));
        };
        auto readU32 = [&](uint16_t index, uint8_t sub, uint32_t size) {
            uint8_t b[4] = {};
            uint32_t got = 0;
            if (!SyncReadReq(static_cast<uint32_t>(index) << 16 | sub, size, b, &got)) return 0u;
            return U32(b);
        };
        const std::string extra = readText(0x6510, 0x04);
        const std::string deviceName = readText(0x1008, 0x00);
        node->name = extra.empty() ? deviceName : extra + " - " + deviceName;

        uint8_t vendorCode[2] = {};
        uint32_t got = 0;
        if (!SyncReadReq(0x5FFD000E, 2, vendorCode, &got) || got != 2 ||
            (vendorCode[0] | vendorCode[1] << 8) != kBrandVendorCode)
            node->selectable = 0;

        std::string vendorText = Format("%lu", static_cast<unsigned long>(node->vendorId));
        for (const NamedVendor& v : kNamedVendors)
            if (v.id == node->vendorId)
                vendorText = Format("%s(%lu)", v.brand, static_cast<unsigned long>(v.id));
        bool hardwareRead = false;
        const std::string hardware = readText(0x1009, 0x00, &hardwareRead);
        std::string version;
        if (hardwareRead) {
            version = readText(0x100A, 0x00) + ", " + hardware;
        } else {
            const uint32_t product = readU32(0x1018, 0x02, 4);
            const uint32_t revision = readU32(0x1018, 0x03, 4);
            const uint32_t hardwareCode = readU32(0x5FFD, 0x0A, 4);
            version = Format("%lu ver. %d, hw %lu", static_cast<unsigned long>(product),
                             static_cast<int>(revision), static_cast<unsigned long>(hardwareCode));
        }
        node->identity = vendorText + " [" + version + "]";
    }
    return true;
}

}  // namespace transport
