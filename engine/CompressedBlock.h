#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// Compressed blocks of description and firmware files: base64 text (bytes packed low first, as
// Base64DecodeLsbFirst reads them) of a 4-byte little-endian uncompressed size followed by zlib data.

// Results besides zlib's own codes.
constexpr int kFirmwareElementMissing = 16;    // no FIRMWARE start tag
constexpr int kFirmwareElementNotClosed = 17;  // no FIRMWARE end tag after the start tag

// Largest uncompressed size a block may state: zlib's deflate cannot expand data by more than
// about 1032 : 1, and no block may claim more than this absolute bound either.
constexpr uint64_t kMaxCompressionRatio = 1032;
constexpr uint64_t kMaxUncompressedBlock = 512ull * 1024 * 1024;

// Decodes and unpacks the block text. Returns 0 (Z_OK) with data filled, or zlib's error code with
// data emptied. A text that decodes to nothing returns 0 and leaves data untouched. Fewer than 4
// decoded bytes, or a stated size beyond the bounds above, is a failed block (Z_DATA_ERROR).
int DecodeCompressedBlock(std::string_view text, std::vector<uint8_t>& data);

// Finds the FIRMWARE element in an XML text and decodes its block: 16 when there is no start tag,
// 17 when there is no end tag after it, else the result of DecodeCompressedBlock.
int ExtractFirmwareElement(std::string_view xml, std::vector<uint8_t>& data);
// The same, also giving the start tag's "download" and "unpack" values (an empty "unpack" value
// gives a single blank; a missing attribute gives an empty text). Either output may be null.
int ExtractFirmwareElementEx(std::string_view xml, std::vector<uint8_t>& data, std::string* download,
                             std::string* unpack);

}  // namespace engine
