#include "drive/ParamFileFormat.h"

#include <algorithm>
#include <cstdio>

#include "drive/DriveValueHelpers.h"
#include "engine/VocabularyItem.h"
#include "foundation/XmlDocument.h"
#include "foundation/XmlNode.h"

using namespace foundation;
using namespace engine;

namespace drive {

namespace {

const std::string& SortText(const ParamFileItem& item) {
    return item.title.empty() ? item.name : item.title;
}

std::string DefaultLevelName(uint16_t level) {
    switch (level) {
        case 0:
            return "user";
        case 100:
            return "integrator";
        case 200:
            return "factory";
        default:
            return {};
    }
}

uint32_t LoadLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

std::string HexBytes(const uint8_t* data, size_t length) {
    std::string text = "0x";
    char pair[3];
    for (size_t i = 0; i < length; ++i) {
        std::snprintf(pair, sizeof pair, "%02X", data[i]);
        text += pair;
    }
    return text;
}

void WriteIdentity(CXmlNode& parent, const ParamFileIdentityRecord& r) {
    CXmlNode* e = parent.AddChild("ELEMENT", "");
    e->SetAttributeInt("Role", r.role);
    e->SetAttributeInt("Code", r.code);
    e->SetAttributeInt("Major", r.major);
    e->SetAttributeInt("Minor", r.minor);
    e->SetAttributeInt("Patch", r.patch);
    e->SetAttributeInt("PreStatus", r.preStatus);
    e->SetAttributeInt("PreNumber", r.preNumber);
}

void AppendValues(CXmlNode& parent, const std::vector<ParamFileItem>& items, bool withAddresses,
                  const ParamFileDeviceInfo& device) {
    for (const ParamFileItem& item : items) {
        if (!item.valueRead) continue;
        CXmlNode* d = parent.AddChild("DATA", "");
        d->SetAttribute("Name", item.name);
        d->SetAttribute("Value", item.valueText);
        if (!withAddresses) continue;
        d->SetAttributeInt("MdbAddress", item.modbusAddress);
        d->SetAttribute("BusAddress", item.busAddress);
        d->SetAttributeInt("Size", static_cast<int>(item.size));
        std::string level =
            device.levelName ? device.levelName(item.writeLevel) : DefaultLevelName(item.writeLevel);
        if (!level.empty()) d->SetAttribute("Level", level);
    }
}

}  // namespace

void BuildParameterFileList(const std::vector<VocabularyItem>& dictionary, uint16_t highestLevel,
                            std::vector<ParamFileItem>& params, std::vector<ParamFileItem>* info) {
    params.clear();
    if (info) info->clear();
    for (const VocabularyItem& entry : dictionary) {
        if (entry.restore > 0 && entry.writeLevel <= highestLevel) {
            ParamFileItem row;
            ParamRowFromItem(row, entry);
            params.push_back(std::move(row));
        } else if (entry.restore == 0 && info && entry.readLevel <= highestLevel) {
            ParamFileItem row;
            ParamRowFromItem(row, entry);
            info->push_back(std::move(row));
        }
    }
    // Stable: items with equal keys keep dictionary order.
    std::stable_sort(params.begin(), params.end(), [](const ParamFileItem& a, const ParamFileItem& b) {
        if (a.writeLevel != b.writeLevel) return a.writeLevel > b.writeLevel;
        if (a.restore != b.restore) return a.restore < b.restore;
        return SortText(a) < SortText(b);
    });
    if (info) {
        std::stable_sort(info->begin(), info->end(), [](const ParamFileItem& a, const ParamFileItem& b) {
            return SortText(a) < SortText(b);
        });
    }
}

bool FormatParamValueText(const ParamFileItem& item, const uint8_t* data, size_t length, bool isMotorGuid,
                          std::string& text) {
    const size_t size = item.size;
    if (size >= 1 && size <= 4 && item.name != "UserDriveName") {
        if (length < 4) {
            text.clear();
            return false;
        }
        const uint32_t raw = LoadLe32(data);
        int64_t value = raw;
        if (size == 1) {
            value = item.isSigned ? static_cast<int64_t>(static_cast<int8_t>(raw & 0xFF)) : (raw & 0xFF);
        } else if (size == 2) {
            value = item.isSigned ? static_cast<int64_t>(static_cast<int16_t>(raw & 0xFFFF)) : (raw & 0xFFFF);
        } else if (item.isSigned) {
            value = static_cast<int32_t>(raw);
        }
        text = std::to_string(value);
        return true;
    }
    // Items of unknown size were read into a buffer of their own length.
    const size_t n = size == 0 ? length : std::min(size, length);
    if (isMotorGuid && size == 16) {
        if (length < 16) {
            text.clear();
            return false;
        }
        char buf[40];
        std::snprintf(buf, sizeof buf, "%08x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                      LoadLe32(data), data[5], data[4], data[7], data[6], data[8], data[9], data[10],
                      data[11], data[12], data[13], data[14], data[15]);
        text = buf;
        return true;
    }
    size_t printable = 0;
    while (printable < n && data[printable] >= 0x20 && data[printable] < 0x7F) ++printable;
    if (printable == 0 && size != 16) {
        text = "''";
        return true;
    }
    bool restZero = std::all_of(data + printable, data + n, [](uint8_t b) { return b == 0; });
    if (restZero) {
        text = "'" + std::string(reinterpret_cast<const char*>(data), printable) + "'";
    } else {
        text = HexBytes(data, n);
    }
    return true;
}

std::string BusAddressKindText(int busType) {
    switch (busType) {
        case 1:
        case 2:
        case 3:
            return "CAN";
        case 4:
            return "MDB";
        case 5:
            return "PRF";
        case 6:
            return "ETH";
        case 7:
            return "PNT";
        default:
            return {};
    }
}

void BuildParameterDocumentHeader(CXmlDocument& doc, const ParamFileDeviceInfo& device) {
    CXmlNode& root = doc.Root();
    root.Clear();
    root.SetName("DEVICE_PARAMETER");
    root.SetAttribute("Version", "2");
    CXmlNode* creator = root.AddChild("HEADER", "")->AddChild("CREATOR", "");
    char buf[64];
    creator->SetAttribute("By", device.creatorBy);
    creator->SetAttribute("Rev", device.creatorRev);
    std::snprintf(buf, sizeof buf, "%d/%d/%d", device.day, device.month, device.year);
    creator->SetAttribute("Date", buf);
    std::snprintf(buf, sizeof buf, "%d:%d:%d", device.hour, device.minute, device.second);
    creator->SetAttribute("Time", buf);

    CXmlNode* dev = root.AddChild("DEVICE", "");
    dev->SetAttributeInt("Type", device.type);
    dev->SetAttributeInt("Hw", device.hw);
    dev->SetAttributeInt("HwRev", device.hwRev);
    dev->SetAttributeInt("SwRev", device.swRev);
    dev->SetAttributeInt("build", device.build);
    dev->SetAttribute("Descr", device.descr);

    CXmlNode* identity = dev->AddChild("IDENTITY", "");
    for (const ParamFileIdentityRecord& r : device.ownIdentities) {
        if (r.code >= 1 && r.code <= 32767) WriteIdentity(*identity, r);
    }
    for (const ParamFileIdentityRecord& r : device.componentIdentities) WriteIdentity(*identity, r);

    CXmlNode* compat = dev->AddChild("COMPATIBILITY", "");
    compat->SetAttribute("FormatType", "1");
    std::vector<ParamFileCompatKey> keys = device.compatKeys;
    if (keys.empty()) {
        keys.push_back({device.hw, false, 0, 0, 1, 0, 0});
        keys.push_back({device.type, false, 0, 0, 1, 0, 0});
    }
    for (const ParamFileCompatKey& k : keys) {
        CXmlNode* d = compat->AddChild("DATA", "");
        d->SetAttributeInt("CmpKey", k.cmpKey);
        if (k.minRevOnly) {
            d->SetAttributeInt("MinRev", k.major);
        } else {
            d->SetAttributeInt("Major", k.major);
            d->SetAttributeInt("Minor", k.minor);
            d->SetAttributeInt("Patch", k.patch);
            d->SetAttributeInt("PreStatus", k.preStatus);
            d->SetAttributeInt("PreNumber", k.preNumber);
        }
    }
}

void AppendParameterDocumentBody(CXmlDocument& doc, const ParamFileDeviceInfo& device,
                                 const std::vector<ParamFileItem>& params,
                                 const std::vector<ParamFileItem>& info,
                                 const std::vector<std::string>& errors,
                                 const std::vector<std::string>& warnings) {
    CXmlNode* dev = doc.Root().FindNode("DEVICE");
    if (!dev) return;
    if (!info.empty()) {
        CXmlNode* n = dev->AddChild("INFO", "");
        n->SetAttributeInt("FormatType", device.infoFormatType);
        AppendValues(*n, info, false, device);
    }
    if (!params.empty()) {
        CXmlNode* n = dev->AddChild("PARAMETERS", "");
        n->SetAttributeInt("FormatType", device.paramsFormatType);
        n->SetAttribute("WithAddress", "1");
        n->SetAttribute("Ordered", "1");
        std::string kind = BusAddressKindText(device.busType);
        if (!kind.empty()) n->SetAttribute("BusAddress", kind);
        AppendValues(*n, params, true, device);
    }
    if (!device.diagnosticHistory.empty()) {
        CXmlNode* h = dev->AddChild("DiagnosysHistory", "");
        for (const std::string& line : device.diagnosticHistory) h->AddChild("Evt", line);
    }
    CXmlNode* comp = dev->AddChild("COMPONENTS", "");
    if (device.components) {
        comp->Copy(device.components);
        comp->SetName("COMPONENTS");
    }
    if (!errors.empty()) {
        CXmlNode* e = dev->AddChild("Errors", "");
        for (const std::string& t : errors) e->AddChild("Err", t);
    }
    if (!warnings.empty()) {
        CXmlNode* w = dev->AddChild("Warnings", "");
        for (const std::string& t : warnings) w->AddChild("Err", t);
    }
}

}  // namespace drive
