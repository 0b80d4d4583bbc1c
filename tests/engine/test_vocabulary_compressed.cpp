// Compressed blocks of FIRMWARE elements: base64 with bytes packed low first, a 4-byte size, zlib data.

#include <gtest/gtest.h>
#include <zlib.h>

#include "VocabularyTestSupport.h"
#include "engine/CompressedBlock.h"

using namespace engine;
using namespace vocabulary_test;

namespace {

// Encoder of the block format, written from the format (the test's own, independent of the decoder).
std::string EncodeLsbFirst(const std::vector<uint8_t>& data) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < data.size(); i += 3) {
        const size_t n = std::min<size_t>(3, data.size() - i);
        uint32_t v = 0;
        for (size_t k = 0; k < n; ++k) v |= uint32_t(data[i + k]) << (8 * k);
        for (size_t k = 0; k < 4; ++k) out += (k > n) ? '=' : kAlphabet[(v >> (6 * k)) & 63];
    }
    return out;
}

std::string Block(const std::vector<uint8_t>& payload, uint32_t statedSize) {
    uLongf length = compressBound(uLong(payload.size()));
    std::vector<uint8_t> packed(4 + length);
    EXPECT_EQ(compress(packed.data() + 4, &length, payload.data(), uLong(payload.size())), Z_OK);
    packed.resize(4 + length);
    for (int i = 0; i < 4; ++i) packed[size_t(i)] = uint8_t(statedSize >> (8 * i));
    return EncodeLsbFirst(packed);
}

TEST(CompressedBlock, FirmwareOfTheFullDescription) {
    const std::string xml = ReadFile(FixturePath("410_2_1_0.xml"));
    const std::string payload = ReadFile(FixturePath("firmware_payload.bin"));
    std::vector<uint8_t> data;
    std::string download = "old", unpack = "old";
    ASSERT_EQ(ExtractFirmwareElementEx(xml, data, &download, &unpack), Z_OK);
    EXPECT_EQ(std::string(data.begin(), data.end()), payload);
    EXPECT_EQ(download, "1");
    EXPECT_EQ(unpack, " ");  // an empty value gives one blank

    const std::string small = ReadFile(FixturePath("firmware_ok.txt"));
    ASSERT_EQ(ExtractFirmwareElementEx(small, data, &download, &unpack), Z_OK);
    EXPECT_EQ(std::string(data.begin(), data.end()), "tiny image");
    EXPECT_EQ(download, "2");
    EXPECT_EQ(unpack, "zip");
    data.clear();
    ASSERT_EQ(ExtractFirmwareElement(small, data), Z_OK);
    EXPECT_EQ(data.size(), 10u);
}

TEST(CompressedBlock, ElementFaultsAndBadBlocks) {
    struct Case {
        const char* what;
        std::string xml;
        int result;
    };
    const Case cases[] = {
        {"no start tag", "<DEVICE/>", kFirmwareElementMissing},
        {"no end tag", "<FIRMWARE>abcd", kFirmwareElementNotClosed},
        {"end tag before start", "</FIRMWARE><FIRMWARE>abcd", kFirmwareElementNotClosed},
        {"unclosed start tag", "<FIRMWARE download=\"1\"", kFirmwareElementNotClosed},
        {"size beyond what the data can hold", ReadFile(FixturePath("firmware_huge_claim.txt")),
         Z_DATA_ERROR},
        {"fewer than four bytes", ReadFile(FixturePath("firmware_short.txt")), Z_DATA_ERROR},
        {"damaged zlib data", ReadFile(FixturePath("firmware_corrupt.txt")), Z_DATA_ERROR},
        {"stated size too small", "<FIRMWARE>" + Block(std::vector<uint8_t>(100, 7), 50) + "</FIRMWARE>",
         Z_BUF_ERROR},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> data{1, 2, 3};
        std::string download = "x", unpack = "y";
        EXPECT_EQ(ExtractFirmwareElementEx(c.xml, data, &download, &unpack), c.result);
        if (c.result != kFirmwareElementMissing && c.result != kFirmwareElementNotClosed) {
            EXPECT_TRUE(data.empty());
        }
        if (c.result == kFirmwareElementMissing) {
            EXPECT_EQ(download, "x");
        }
    }
}

TEST(CompressedBlock, DecodingRules) {
    // Padding and blanks only: nothing decoded, result 0, outputs untouched.
    std::vector<uint8_t> data{9, 9};
    EXPECT_EQ(DecodeCompressedBlock(" ==== \r\n", data), Z_OK);
    EXPECT_EQ(data, (std::vector<uint8_t>{9, 9}));

    // The bit order: T W F u are the bytes 0x93 0x55 0xB8 (a block too short to unpack).
    EXPECT_EQ(DecodeCompressedBlock("TWFu", data), Z_DATA_ERROR);
    const std::vector<uint8_t> payload{'h', 'e', 'l', 'l', 'o', ' ', 'b', 'l', 'o', 'c', 'k'};
    std::string text = Block(payload, uint32_t(payload.size()));
    // Line breaks and blanks inside the text are skipped.
    text.insert(5, "\r\n  ");
    text.insert(12, "\n");
    ASSERT_EQ(DecodeCompressedBlock(text, data), Z_OK);
    EXPECT_EQ(data, payload);

    // A stated size larger than the real data is accepted; the data keeps its real size.
    ASSERT_EQ(DecodeCompressedBlock(Block(payload, 64), data), Z_OK);
    EXPECT_EQ(data, payload);
    // An empty payload with size 0.
    ASSERT_EQ(DecodeCompressedBlock(Block({}, 0), data), Z_OK);
    EXPECT_TRUE(data.empty());
}

}  // namespace
