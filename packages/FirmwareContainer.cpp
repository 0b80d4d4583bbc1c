#include "packages/FirmwareContainer.h"

#include <fstream>
#include <set>

#include "engine/CompressedBlock.h"
#include "foundation/Identity.h"
#include "foundation/XmlNode.h"
#include "packages/ByteCursor.h"
#include "platform/StringHelpers.h"

using namespace foundation;
using namespace engine;

namespace packages {

namespace {

constexpr int kReadError = -51;
constexpr uint16_t kBlockInfoHeader = 22;
constexpr uint16_t kBlockBinary = 57;
// Component records link to each other by offsets: a damaged file could loop or nest without end.
constexpr int kMaxComponentDepth = 32;
constexpr int kMaxComponents = 4096;

std::string ReadInfoError(const std::string& text) {
    return std::to_string(kReadError) + ": ReadFirmwareInfo: " + text;
}

void SetNumber(CXmlNode* node, const char* name, int64_t value) {
    node->SetAttributeInt(name, static_cast<int32_t>(value));
}

void AddVersion(CXmlNode* parent, int32_t major, int32_t minor, int32_t patch) {
    CXmlNode* version = parent->AddChild("Version");
    SetNumber(version, "major", major);
    SetNumber(version, "minor", minor);
    SetNumber(version, "patch", patch);
}

std::string Blanks(int n) {
    return std::string(static_cast<size_t>(n), ' ');
}

const char* KindWord(const CIdentity& identity) {
    const char* word = "Product";
    for (const CAttribute& a : identity.attributes) {
        if (a.code != kAttributeRole) continue;
        switch (a.value) {
            case 0:
                word = "Software";
                break;
            case 1:
                word = "Hardware";
                break;
            case 2:
                word = "Boot";
                break;
            case 3:
                word = "Firmware";
                break;
            case 4:
                word = "Component";
                break;
            default:
                break;
        }
    }
    return word;
}

void ComponentLines(const CXmlNode* component, int indent, std::string& out) {
    CIdentity identity(component->FindNode("Identity"));
    out += Blanks(indent) + KindWord(identity) + " " + identity.GetCodeVersionText() + "\r\n";
    for (const CAttribute& a : identity.attributes) {
        if (a.code == kAttributeBrand) continue;
        out += Blanks(indent + 3) + std::to_string(a.code) + " = " + std::to_string(a.value) + "\r\n";
    }
    if (const CXmlNode* subs = component->FindNode("Components")) {
        for (const CXmlNode* sub : subs->Children()) {
            if (sub->Name() == "Component") ComponentLines(sub, indent + 3, out);
        }
    }
}

void ComponentItems(CFirmwareTreeCtrl* tree, CFirmwareTreeCtrl::Item parent, const CXmlNode* component) {
    CIdentity identity(component->FindNode("Identity"));
    CFirmwareTreeCtrl::Item item = tree->InsertItem(identity.GetDescription(), parent, component);
    if (const CXmlNode* subs = component->FindNode("Components")) {
        for (const CXmlNode* sub : subs->Children()) {
            if (sub->Name() == "Component") ComponentItems(tree, item, sub);
        }
    }
}

}  // namespace

CFirmwareContainer::CFirmwareContainer()
    : downloadCommand_(kDefaultDownloadCommand), unpackCommand_(kDefaultUnpackCommand) {}

std::string CFirmwareContainer::LoadFile() {
    const std::string path = fileName_.string();
    std::ifstream file(fileName_, std::ios::binary);
    if (fileName_.extension().string() != ".xml") {
        if (!file) return "13:Error opening file " + path;
        file.seekg(0, std::ios::end);
        std::streamoff size = file.tellg();
        if (size < 0 || !file) return "14:Error retrieving file size " + path;
        file.seekg(0, std::ios::beg);
        data_.resize(static_cast<size_t>(size));
        file.read(reinterpret_cast<char*>(data_.data()), size);
        if (!file || file.gcount() != size) {
            data_.clear();
            data_.shrink_to_fit();
            return "15:Error reading file " + path;
        }
        return {};
    }
    // An XML file that does not open fails later as a file too short to hold a header.
    if (!file) return {};
    file.seekg(0, std::ios::end);
    std::streamoff size = file.tellg();
    if (size < 0 || !file) return "17:Error retrieving file size " + path;
    file.seekg(0, std::ios::beg);
    std::string text(static_cast<size_t>(size), '\0');
    file.read(text.data(), size);
    if (!file || file.gcount() != size) return "16:Error reading file " + path;

    std::vector<uint8_t> binary;
    std::string download;
    std::string unpack;
    int rc = ExtractFirmwareElementEx(text, binary, &download, &unpack);
    if (rc != 0) {
        const char* what = rc == kFirmwareElementMissing     ? "Missing firmware binary"
                           : rc == kFirmwareElementNotClosed ? "Corrupted firmware container"
                                                             : "Corrupted firmware binary";
        return std::to_string(rc) + ":" + what + " in " + path;
    }
    data_ = std::move(binary);
    if (!download.empty()) downloadCommand_ = download;
    // A present but empty "unpack" arrives as one blank and leaves the name empty.
    if (!unpack.empty()) unpackCommand_ = platform::Trim(unpack, " \t");
    return {};
}

std::string CFirmwareContainer::ReadFirmwareInfo(const std::filesystem::path& file, bool isFirmware,
                                                 bool containerRequired) {
    data_.clear();
    data_.shrink_to_fit();
    Root().Clear();
    headerOffset_ = binaryOffset_ = binarySize_ = 0;
    hasBinary_ = false;
    bigEndian_ = false;
    extract_ = false;
    // Names come from the file being read, never from the one read before it.
    downloadCommand_ = kDefaultDownloadCommand;
    unpackCommand_ = kDefaultUnpackCommand;
    fileName_ = file;

    std::string error = LoadFile();
    if (!error.empty()) return error;
    Root().SetAttribute("file", fileName_.string());
    if (data_.size() < 34) return ReadInfoError("no container type file");

    if (data_[0] != 0x43 || data_[1] != 0x43) {
        if (containerRequired) return "No Vkr container";
        LegacyResult legacy;
        bigEndian_ = true;
        error = ReadLegacyHeader(0, data_.size(), isFirmware, legacy);
        if (!error.empty()) return error;
        headerOffset_ = 0;
        if (extract_) {
            if (legacy.headerLength > data_.size() || legacy.size > data_.size() - legacy.headerLength) {
                return ReadInfoError("binary outside the file");
            }
            binaryOffset_ = legacy.headerLength;
            binarySize_ = legacy.size;
        } else {
            binaryOffset_ = 0;
            binarySize_ = data_.size();
        }
        hasBinary_ = true;
        return {};
    }

    const uint16_t type = static_cast<uint16_t>(data_[8] | data_[9] << 8);
    if (type != 0x0166 && type != 0x6601 && type != 0x007F && type != 0x7F00) {
        return ReadInfoError("container file doesn't contain a firmware");
    }
    if (data_[2] != 1)
        return ReadInfoError("container version " + std::to_string(data_[2]) + " not supported");
    const uint8_t flags = data_[5];
    if ((flags & 0x10) == 0) return ReadInfoError("missing random access table in the container file");
    bigEndian_ = (flags & 0x03) == 0;

    ByteCursor container(data_.data(), data_.size(), bigEndian_);
    uint16_t tableOffset = 0;
    uint32_t count = 0;
    container.U16(6, tableOffset);
    container.U32(12, count);

    bool haveHeader = false;
    uint16_t headerSubtype = 0;
    uint32_t headerBlock = 0;
    bool haveBinary = false;
    uint16_t binarySubtype = 0;
    uint32_t binaryBlock = 0;
    uint32_t binaryBlockSize = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (haveHeader && headerSubtype == 2 && haveBinary) break;
        const size_t entry = tableOffset + size_t{16} * i;
        uint16_t blockType = 0;
        uint16_t subtype = 0;
        uint32_t size = 0;
        uint32_t offset = 0;
        if (!container.U16(entry, blockType) || !container.U16(entry + 2, subtype) ||
            !container.U32(entry + 4, size) || !container.U32(entry + 8, offset)) {
            return ReadInfoError("block table outside the container file");
        }
        if (blockType == kBlockInfoHeader) {
            if (subtype == 2 || (subtype == 0 && !haveHeader)) {
                haveHeader = true;
                headerSubtype = subtype;
                headerBlock = offset;
            }
        } else if (blockType == kBlockBinary && (subtype == 1 || subtype == 2)) {
            haveBinary = true;
            binarySubtype = subtype;
            binaryBlock = offset;
            binaryBlockSize = size;
        }
    }
    if (!haveHeader) return ReadInfoError("missing block 22 in the container file");
    if (!haveBinary) return ReadInfoError("missing block 57 in the container file");
    if (headerBlock >= data_.size()) return ReadInfoError("block 22 outside the container file");

    headerOffset_ = headerBlock;
    const size_t available = data_.size() - headerBlock;
    if (headerSubtype == 2) {
        error = ReadHeader4(headerBlock, available);
    } else {
        LegacyResult legacy;
        error = ReadLegacyHeader(headerBlock, available, isFirmware, legacy);
    }
    if (!error.empty()) return error;

    Root().SetName(binarySubtype == 1 ? "Boot" : "Firmware");
    if (extract_) {
        if (binaryBlock > data_.size() || binaryBlockSize > data_.size() - binaryBlock) {
            return ReadInfoError("block 57 outside the container file");
        }
        binaryOffset_ = binaryBlock;
        binarySize_ = binaryBlockSize;
    } else {
        binaryOffset_ = 0;
        binarySize_ = data_.size();
    }
    hasBinary_ = true;
    return {};
}

std::string CFirmwareContainer::ReadLegacyHeader(size_t offset, size_t available, bool isFirmware,
                                                 LegacyResult& result) {
    ByteCursor h(data_.data() + offset, available, true);
    uint32_t length = 0;
    h.U32(0, length);
    if (length < 35) return "Header 1 no longer supported";
    if (length < 52) return "Incompleted header 2: " + std::to_string(length) + " bytes";
    const std::string truncated =
        "Truncated header: " + std::to_string(available) + " of " + std::to_string(length) + " bytes";

    uint32_t size = 0;
    uint16_t code = 0;
    uint16_t major = 0;
    uint16_t build = 0;
    uint16_t keys = 0;
    if (!h.U32(4, size) || !h.U16(36, code) || !h.U16(38, major) || !h.U16(40, build) || !h.U16(42, keys)) {
        return truncated;
    }
    result.headerLength = length;
    result.size = size;
    CXmlNode& root = Root();
    SetNumber(&root, "size", size);

    CXmlNode* identity = root.AddChild("Component")->AddChild("Identity");
    SetNumber(identity, "code", code);
    CXmlNode* version = identity->AddChild("Version");
    SetNumber(version, "major", major);
    SetNumber(version, "minor", -1);
    SetNumber(version, "patch", -1);
    if (build != 0) {
        CXmlNode* pre = version->AddChild("Prerelease");
        SetNumber(pre, "state", 2);
        SetNumber(pre, "version", build);
    }
    CXmlNode* attribute = identity->AddChild("Attributes")->AddChild("Attribute");
    SetNumber(attribute, "code", kAttributeRole);
    SetNumber(attribute, "value", isFirmware ? 3 : 2);

    CXmlNode* compatibility = root.AddChild("Compatibility");
    size_t pos = 44;
    for (uint16_t i = 0; i < keys; ++i, pos += 4) {
        uint16_t keyCode = 0;
        uint16_t keyMajor = 0;
        if (!h.U16(pos, keyCode) || !h.U16(pos + 2, keyMajor)) return truncated;
        CXmlNode* key = compatibility->AddChild("Key");
        SetNumber(key, "setby", code);
        SetNumber(key, "code", keyCode);
        AddVersion(key, keyMajor, -1, -1);
    }

    uint16_t hardwareCount = 0;
    if (!h.U16(pos, hardwareCount)) return truncated;
    pos += 2;
    std::string codes;
    for (uint16_t i = 0; i < hardwareCount; ++i, pos += 2) {
        uint16_t hw = 0;
        if (!h.U16(pos, hw)) return truncated;
        codes += std::to_string(hw) + ",";
    }
    if (!codes.empty()) codes.pop_back();
    root.AddChild("Hardware")->SetAttribute("codes", codes);

    // Management fields are optional: each is taken only when it lies wholly within the header.
    uint16_t extract = 1;
    uint32_t timeouts[4] = {20000, 2000, 2000, 2000};
    bool header3 = false;
    if (pos + 2 <= length) {
        if (!h.U16(pos, extract)) return truncated;
        header3 = true;
        pos += 2;
        for (uint32_t& t : timeouts) {
            if (pos + 4 > length) break;
            if (!h.U32(pos, t)) return truncated;
            pos += 4;
        }
    }
    SetNumber(&root, "header", header3 ? 3 : 2);
    CXmlNode* manage = root.AddChild("Manage");
    SetNumber(manage, "extract", extract);
    CXmlNode* timeout = manage->AddChild("Timeout");
    SetNumber(timeout, "first", timeouts[0]);
    SetNumber(timeout, "segment", timeouts[1]);
    SetNumber(timeout, "last", timeouts[2]);
    SetNumber(timeout, "restart", timeouts[3]);
    extract_ = extract == 1;
    return {};
}

std::string CFirmwareContainer::ReadHeader4(size_t offset, size_t available) {
    const uint8_t* header = data_.data() + offset;
    ByteCursor h(header, available, true);
    uint32_t length = 0;
    uint32_t size = 0;
    uint16_t version = 0;
    if (!h.U32(0, length) || !h.U32(4, size) || !h.U16(8, version)) return "7: header truncated";
    if (version != 4) return "1: header " + std::to_string(version) + " not supported, only header 4";
    CXmlNode& root = Root();
    SetNumber(&root, "header", 4);
    SetNumber(&root, "size", size);
    if (length <= 17) return "2: header 4 without sections";

    static const char* const kSectionNames[] = {"identity", "compatibility", "hardware", "manage"};
    std::set<uint32_t> visited;
    uint32_t pos = 10;
    int budget = kMaxComponents;
    for (;;) {
        if (!visited.insert(pos).second) return "8: header 4: the section chain loops";
        uint16_t type = 0;
        uint16_t sectionVersion = 0;
        uint32_t next = 0;
        if (!h.U16(pos, type) || !h.U16(pos + 2, sectionVersion) || !h.U32(pos + 4, next)) {
            return "7: header 4: section outside the file";
        }
        const std::string truncated = "7: header 4: section " + std::to_string(type) + " outside the file";
        const size_t at = size_t{pos} + 8;
        if (type >= 1 && type <= 4 && sectionVersion != 1) {
            return std::to_string(type + 2) + ": header 4: section '" + kSectionNames[type - 1] +
                   "': version " + std::to_string(sectionVersion) + " not supported";
        }
        if (type == 1) {
            if (!ReadComponentList(header, available, static_cast<uint32_t>(at), 1, &root, 0, budget)) {
                return budget < 0 ? "9: header 4: too many components" : truncated;
            }
        } else if (type == 2) {
            uint16_t count = 0;
            if (!h.U16(at, count)) return truncated;
            CXmlNode* compatibility = root.AddChild("Compatibility");
            for (uint16_t i = 0; i < count; ++i) {
                uint16_t v[5] = {};
                for (int k = 0; k < 5; ++k) {
                    if (!h.U16(at + 2 + size_t{10} * i + 2 * size_t(k), v[k])) return truncated;
                }
                CXmlNode* key = compatibility->AddChild("Key");
                SetNumber(key, "setby", v[0]);
                SetNumber(key, "code", v[1]);
                AddVersion(key, v[2], v[3], v[4]);
            }
        } else if (type == 3) {
            uint16_t count = 0;
            if (!h.U16(at, count)) return truncated;
            std::string codes;
            for (uint16_t i = 0; i < count; ++i) {
                uint16_t hw = 0;
                if (!h.U16(at + 2 + size_t{2} * i, hw)) return truncated;
                codes += std::to_string(hw) + ",";
            }
            if (!codes.empty()) codes.pop_back();
            root.AddChild("Hardware")->SetAttribute("codes", codes);
        } else if (type == 4) {
            uint16_t extract = 0;
            uint32_t t[4] = {};
            if (!h.U16(at, extract) || !h.U32(at + 2, t[0]) || !h.U32(at + 6, t[1]) ||
                !h.U32(at + 10, t[2]) || !h.U32(at + 14, t[3])) {
                return truncated;
            }
            CXmlNode* manage = root.AddChild("Manage");
            SetNumber(manage, "extract", extract);
            CXmlNode* timeout = manage->AddChild("Timeout");
            SetNumber(timeout, "first", t[0]);
            SetNumber(timeout, "segment", t[1]);
            SetNumber(timeout, "last", t[2]);
            SetNumber(timeout, "restart", t[3]);
            if (extract == 1) extract_ = true;
        }
        if (static_cast<int32_t>(next) <= 0) break;
        pos = next;
    }
    return {};
}

bool CFirmwareContainer::ReadComponentList(const uint8_t* header, size_t available, uint32_t offset,
                                           uint32_t count, CXmlNode* parent, int depth, int& budget) {
    ByteCursor h(header, available, true);
    if (depth > kMaxComponentDepth) {
        budget = -1;
        return false;
    }
    for (uint32_t n = 0; n < count; ++n) {
        if (--budget < 0) return false;
        uint16_t subCount = 0;
        uint32_t firstSub = 0;
        uint32_t sibling = 0;
        uint16_t id[6] = {};
        uint16_t attributeCount = 0;
        if (!h.U16(offset, subCount) || !h.U32(offset + 2, firstSub) || !h.U32(offset + 6, sibling))
            return false;
        for (int k = 0; k < 6; ++k) {
            if (!h.U16(offset + 10 + size_t{2} * k, id[k])) return false;
        }
        if (!h.U16(offset + 22, attributeCount)) return false;
        CXmlNode* component = parent->AddChild("Component");
        CXmlNode* identity = component->AddChild("Identity");
        SetNumber(identity, "code", id[0]);
        CXmlNode* version = identity->AddChild("Version");
        SetNumber(version, "major", id[1]);
        SetNumber(version, "minor", id[2]);
        SetNumber(version, "patch", id[3]);
        CXmlNode* pre = version->AddChild("Prerelease");
        SetNumber(pre, "state", id[4]);
        SetNumber(pre, "version", id[5]);
        CXmlNode* attributes = identity->AddChild("Attributes");
        size_t pos = size_t{offset} + 24;
        for (uint16_t i = 0; i < attributeCount; ++i, pos += 4) {
            uint16_t code = 0;
            uint16_t value = 0;
            if (!h.U16(pos, code) || !h.U16(pos + 2, value)) return false;
            CXmlNode* attribute = attributes->AddChild("Attribute");
            SetNumber(attribute, "code", code);
            SetNumber(attribute, "value", value);
        }
        uint16_t metaType = 0;
        uint32_t metaSize = 0;
        if (!h.U16(pos, metaType) || !h.U32(pos + 2, metaSize)) return false;
        if (metaType != 0) {
            CXmlNode* meta = identity->AddChild("Metadata");
            SetNumber(meta, "n", metaType);
            SetNumber(meta, "size", metaSize);
        }
        if (subCount != 0) {
            CXmlNode* subs = component->AddChild("Components");
            if (!ReadComponentList(header, available, firstSub, subCount, subs, depth + 1, budget))
                return false;
        }
        offset = sibling;
    }
    return true;
}

int CFirmwareContainer::GetTimeouts(int& first, int& segment, int& last, int& restart) const {
    first = segment = last = restart = 0;
    const CXmlNode* timeout = Root().FindNode("Manage\\Timeout");
    if (timeout == nullptr) return -1;
    first = timeout->GetAttributeInt("first", 0);
    segment = timeout->GetAttributeInt("segment", 0);
    last = timeout->GetAttributeInt("last", 0);
    restart = timeout->GetAttributeInt("restart", 0);
    return 0;
}

void CFirmwareContainer::GetReportText(std::string& out) const {
    const CXmlNode& root = Root();
    out = root.GetAttribute("file") + "\r\n";
    if (const CXmlNode* component = root.FindNode("Component")) ComponentLines(component, 0, out);
    if (const CXmlNode* compatibility = root.FindNode("Compatibility")) {
        out += "Compatibility\r\n";
        for (const CXmlNode* key : compatibility->Children()) {
            if (key->Name() != "Key") continue;
            CIdentity identity(key);
            out += "   " + std::to_string(key->GetAttributeInt("setby", 0)) + " requires " +
                   identity.GetCodeVersionText() + "\r\n";
        }
    }
    if (const CXmlNode* hardware = root.FindNode("Hardware")) {
        out += "Hardwares allowed: " + hardware->GetAttribute("codes") + "\r\n";
    }
    if (const CXmlNode* manage = root.FindNode("Manage")) {
        out += "Management\r\n";
        if (manage->GetAttributeInt("extract", 0) == 1) out += "   Requires extraction of the binary\r\n";
        if (const CXmlNode* timeout = manage->FindNode("Timeout")) {
            out += "   Timeouts\r\n";
            for (const char* name : {"first", "segment", "last", "restart"}) {
                out += "      " + std::string(name) + " = " +
                       std::to_string(timeout->GetAttributeInt(name, 0)) + "\r\n";
            }
        }
    }
}

void CFirmwareContainer::FillTree(CFirmwareTreeCtrl* tree) {
    tree_ = tree;
    if (tree == nullptr) return;
    tree->DeleteAllItems();
    const CXmlNode& root = Root();
    CFirmwareTreeCtrl::Item top = tree->InsertItem(root.GetAttribute("file"), 0, nullptr);
    if (const CXmlNode* component = root.FindNode("Component")) ComponentItems(tree, top, component);
    if (const CXmlNode* hardware = root.FindNode("Hardware")) {
        CFirmwareTreeCtrl::Item item = tree->InsertItem("Hardwares allowed", top, nullptr);
        const std::string codes = hardware->GetAttribute("codes");
        size_t start = 0;
        while (start < codes.size()) {
            size_t comma = codes.find(',', start);
            if (comma == std::string::npos) comma = codes.size();
            tree->InsertItem(codes.substr(start, comma - start), item, nullptr);
            start = comma + 1;
        }
    }
    if (const CXmlNode* compatibility = root.FindNode("Compatibility")) {
        CFirmwareTreeCtrl::Item item = tree->InsertItem("Constraints", top, nullptr);
        for (const CXmlNode* key : compatibility->Children()) {
            if (key->Name() != "Key") continue;
            CIdentity identity(key);
            tree->InsertItem(
                std::to_string(key->GetAttributeInt("setby", 0)) + " requires " + identity.GetDescription(),
                item, nullptr);
        }
    }
    if (const CXmlNode* manage = root.FindNode("Manage")) {
        CFirmwareTreeCtrl::Item item = tree->InsertItem("Management", top, nullptr);
        if (manage->GetAttributeInt("extract", 0) == 1) {
            tree->InsertItem("Requires extraction of the binary", item, nullptr);
        }
        if (const CXmlNode* timeout = manage->FindNode("Timeout")) {
            CFirmwareTreeCtrl::Item timeouts = tree->InsertItem("Timeouts", item, nullptr);
            for (const char* name : {"first", "segment", "last", "restart"}) {
                tree->InsertItem(
                    std::string(name) + " = " + std::to_string(timeout->GetAttributeInt(name, 0)), timeouts,
                    nullptr);
            }
        }
    }
}

void CFirmwareContainer::FillImage(CFirmwareImage& image) const {
    image.Free();
    if (hasBinary_) image.SetImage(BinaryStart(), BinarySize());
    int t[4] = {};
    if (GetTimeouts(t[0], t[1], t[2], t[3]) == 0)
        image.SetTimeouts(static_cast<uint32_t>(t[0]), static_cast<uint32_t>(t[1]),
                          static_cast<uint32_t>(t[2]), static_cast<uint32_t>(t[3]));
}

}  // namespace packages
