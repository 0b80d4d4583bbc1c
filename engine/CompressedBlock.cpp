#include "engine/CompressedBlock.h"

#include <zlib.h>

#include <cstdlib>

#include "foundation/SharedUtilities.h"

using namespace foundation;

namespace engine {

namespace {

constexpr std::string_view kFirmwareStart = "<FIRMWARE";
constexpr std::string_view kFirmwareEnd = "</FIRMWARE>";

// Value of name="..." inside a start tag; empty when the attribute is missing.
std::string TagAttribute(std::string_view tag, std::string_view key, bool* found) {
    *found = false;
    size_t pos = tag.find(key);
    if (pos == std::string_view::npos) return {};
    *found = true;
    pos += key.size();
    if (pos < tag.size() && tag[pos] == '"') ++pos;
    size_t end = tag.find('"', pos);
    if (end == std::string_view::npos) end = tag.size();
    return std::string(tag.substr(pos, end - pos));
}

}  // namespace

int DecodeCompressedBlock(std::string_view text, std::vector<uint8_t>& data) {
    std::vector<uint8_t> decoded = Base64DecodeLsbFirst(text);
    if (decoded.empty()) return Z_OK;

    data.clear();
    if (decoded.size() < 4) return Z_DATA_ERROR;
    const uint64_t stated = uint64_t(decoded[0]) | uint64_t(decoded[1]) << 8 | uint64_t(decoded[2]) << 16 |
                            uint64_t(decoded[3]) << 24;
    const uint64_t packed = decoded.size() - 4;
    // A stated size is trusted only as far as the packed data could really expand.
    if (stated > kMaxUncompressedBlock || stated > packed * kMaxCompressionRatio + 64) return Z_DATA_ERROR;

    data.resize(size_t(stated));
    uLongf length = uLongf(stated);
    const int rc = uncompress(data.data(), &length, decoded.data() + 4, uLong(packed));
    if (rc != Z_OK) {
        data.clear();
        data.shrink_to_fit();
        return rc;
    }
    data.resize(length);
    return Z_OK;
}

int ExtractFirmwareElementEx(std::string_view xml, std::vector<uint8_t>& data, std::string* download,
                             std::string* unpack) {
    const size_t start = xml.find(kFirmwareStart);
    if (start == std::string_view::npos) return kFirmwareElementMissing;
    const size_t close = xml.find('>', start + kFirmwareStart.size());
    if (close == std::string_view::npos) return kFirmwareElementNotClosed;
    const std::string_view tag = xml.substr(start, close - start);

    bool found = false;
    if (download) *download = TagAttribute(tag, "download=", &found);
    if (unpack) {
        *unpack = TagAttribute(tag, "unpack=", &found);
        if (found && unpack->empty()) unpack->assign(1, ' ');
    }

    const size_t end = xml.find(kFirmwareEnd, close + 1);
    if (end == std::string_view::npos) return kFirmwareElementNotClosed;
    return DecodeCompressedBlock(xml.substr(close + 1, end - close - 1), data);
}

int ExtractFirmwareElement(std::string_view xml, std::vector<uint8_t>& data) {
    return ExtractFirmwareElementEx(xml, data, nullptr, nullptr);
}

}  // namespace engine
