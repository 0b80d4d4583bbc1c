#include "packages/NodeCompat.h"

#include <algorithm>
#include <fstream>

#include "engine/CompressedBlock.h"
#include "foundation/HResult.h"
#include "foundation/XmlDocument.h"
#include "foundation/XmlNode.h"
#include "packages/ByteCursor.h"
#include "platform/StringHelpers.h"

using namespace foundation;
using namespace engine;

namespace packages {

void CNodeCompProd::Reset() {
    code = version = build = 0;
    requirements.clear();
    hardware.clear();
}

bool CNodeCompProd::ReadHardwareRecord(const uint8_t* data, size_t size) {
    Reset();
    ByteCursor r(data, size, false);
    uint16_t format = 0, hwCode = 0, hwVersion = 0, count = 0;
    if (size < 8 || !r.U16(0, format) || format != 1) return false;
    r.U16(2, hwCode);
    r.U16(4, hwVersion);
    r.U16(6, count);
    std::map<uint32_t, uint32_t> read;
    for (size_t i = 0; i < count; ++i) {
        uint16_t product = 0, minimum = 0;
        if (!r.U16(8 + 4 * i, product) || !r.U16(10 + 4 * i, minimum)) return false;
        read[product] = minimum;
    }
    code = hwCode;
    version = hwVersion;
    requirements = std::move(read);
    return true;
}

bool CNodeCompProd::ParseRecord(const uint8_t* data, size_t size) {
    Reset();
    if (size < 2) return false;
    ByteCursor r(data, size, data[0] == 0);
    uint16_t format = 0, recCode = 0, recVersion = 0, recBuild = 0, count = 0;
    r.U16(0, format);
    if (format >= 3) return false;
    if (!r.U16(2, recCode) || !r.U16(4, recVersion) || !r.U16(6, recBuild) || !r.U16(8, count)) return false;
    size_t pos = 10;
    std::map<uint32_t, uint32_t> read;
    for (uint16_t i = 0; i < count; ++i, pos += 4) {
        uint16_t product = 0, minimum = 0;
        if (!r.U16(pos, product) || !r.U16(pos + 2, minimum)) return false;
        read[product] = minimum;
    }
    uint16_t hwCount = 0;
    if (!r.U16(pos, hwCount)) return false;
    pos += 2;
    std::vector<uint32_t> codes;
    for (uint16_t i = 0; i < hwCount; ++i, pos += 2) {
        uint16_t hw = 0;
        if (!r.U16(pos, hw)) return false;
        codes.push_back(hw);
    }
    code = recCode;
    version = recVersion;
    build = recBuild;
    requirements = std::move(read);
    hardware = std::move(codes);
    return true;
}

bool CNodeCompProd::HasHardware(uint32_t hardwareCode) const {
    return std::find(hardware.begin(), hardware.end(), hardwareCode) != hardware.end();
}

bool CNodeCompProd::Requirement(uint32_t productCode, uint32_t& minimum) const {
    auto it = requirements.find(productCode);
    if (it == requirements.end()) return false;
    minimum = it->second;
    return true;
}

void CNodeCompInfo::Reset(const CNodeCompProd& hardwareProduct) {
    boot.Reset();
    firmware.Reset();
    hardware = hardwareProduct;
}

bool CNodeCompInfo::ReadHardwareFromNode(const CompUploadFn& upload, CNodeCompProd& product) {
    uint8_t buffer[100] = {};
    uint32_t size = sizeof buffer;
    if (!upload || upload("upload_comp_hw", buffer, size) != 0) return false;
    return product.ReadHardwareRecord(buffer, std::min<size_t>(size, sizeof buffer));
}

bool CNodeCompInfo::ReadRecordFromNode(const CompUploadFn& upload, const std::string& item,
                                       CNodeCompProd& product) {
    uint8_t buffer[100] = {};
    uint32_t size = sizeof buffer;
    if (!upload || upload(item, buffer, size) != 0) return false;
    return product.ParseRecord(buffer, std::min<size_t>(size, sizeof buffer));
}

namespace {

bool ReadWholeFile(const std::filesystem::path& file, std::string& out) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    std::streamoff size = in.tellg();
    if (size < 0 || !in) return false;
    in.seekg(0, std::ios::beg);
    out.assign(static_cast<size_t>(size), '\0');
    in.read(out.data(), size);
    return in && in.gcount() == size;
}

void CollectProducts(const CXmlNode* node, CNodeCompProd& product) {
    for (const CXmlNode* child : node->Children()) {
        if (child->Name() == "PRODUCT") {
            const int32_t code = child->GetAttributeInt("code", 0);
            if (code != 0)
                product.requirements[uint32_t(code)] = uint32_t(child->GetAttributeInt("minver", 0));
        }
        CollectProducts(child, product);
    }
}

}  // namespace

bool CNodeCompInfo::ReadCompatibility(const std::filesystem::path& file, CNodeCompProd& product) {
    product.Reset();
    std::string content;
    if (!ReadWholeFile(file, content) || content.size() < 34) return false;

    std::vector<uint8_t> image;
    std::string compatibility;
    const std::string extension = platform::Lower(file.extension().string());
    if (extension == ".xml") {
        if (ExtractFirmwareElement(content, image) != 0) return false;
        const size_t start = content.find("<COMPATIBILITY");
        if (start != std::string::npos) {
            static const std::string kEnd = "</COMPATIBILITY>";
            const size_t end = content.find(kEnd, start);
            if (end != std::string::npos) compatibility = content.substr(start, end + kEnd.size() - start);
        }
    } else {
        image.assign(content.begin(), content.end());
    }

    size_t header = 0;
    if (image.size() >= 16 && image[0] == 0x43 && image[1] == 0x43) {
        const uint16_t kind = static_cast<uint16_t>(image[8] | image[9] << 8);
        if (kind == 0x0166 || kind == 0x6601 || kind == 0x007F || kind == 0x7F00) {
            const uint8_t flags = image[5];
            if (image[2] != 1 || (flags & 0x10) == 0) return false;
            ByteCursor c(image.data(), image.size(), (flags & 0x03) == 0);
            uint16_t table = 0;
            uint32_t count = 0;
            c.U16(6, table);
            c.U32(12, count);
            bool found = false;
            for (uint32_t i = 0; i < count && !found; ++i) {
                const size_t entry = table + size_t{16} * i;
                uint16_t type = 0;
                uint32_t offset = 0;
                if (!c.U16(entry, type) || !c.U32(entry + 8, offset)) return false;
                if (type == 22) {
                    if (offset >= image.size()) return false;
                    header = offset;
                    found = true;
                }
            }
            if (!found) return false;
        }
    }

    ByteCursor info(image.data() + header, image.size() - header, true);
    uint16_t headerVersion = 0;
    if (info.U16(8, headerVersion) && headerVersion >= 2) {
        if (image.size() - header < 34 ||
            !product.ParseRecord(image.data() + header + 34, image.size() - header - 34)) {
            return false;
        }
    }

    if (!compatibility.empty()) {
        CXmlDocument doc;
        if (doc.LoadXml(compatibility) == S_OK) {
            CNodeCompProd withXml = product;
            CollectProducts(&doc.Root(), withXml);
            product = withXml;
        }
    }
    return true;
}

bool CNodeCompInfo::MutualCheck(const CNodeCompProd& candidate, const CNodeCompProd& product) {
    uint32_t minimum = 0;
    if (product.Requirement(candidate.code, minimum) && candidate.version < minimum) return false;
    if (candidate.Requirement(product.code, minimum)) return product.version >= minimum;
    return true;
}

bool CNodeCompInfo::IsCompatible(const CNodeCompProd& candidateBoot) const {
    if (!candidateBoot.HasHardware(hardware.code)) return false;
    if (hardware.code != 0 && !MutualCheck(candidateBoot, hardware)) return false;
    if (firmware.code != 0 && !MutualCheck(candidateBoot, firmware)) return false;
    uint32_t minimum = 0;
    if (boot.code != 0 && boot.Requirement(candidateBoot.code, minimum) && candidateBoot.version < minimum)
        return false;
    return true;
}

bool CNodeCompInfo::IsFirmwareCompatible(const CNodeCompProd& candidateFirmware) const {
    if (!candidateFirmware.HasHardware(hardware.code)) return false;
    if (hardware.code != 0 && !MutualCheck(candidateFirmware, hardware)) return false;
    if (boot.code != 0 && !MutualCheck(candidateFirmware, boot)) return false;
    uint32_t minimum = 0;
    if (firmware.code != 0 && firmware.Requirement(candidateFirmware.code, minimum) &&
        candidateFirmware.version < minimum) {
        return false;
    }
    return true;
}

}  // namespace packages
