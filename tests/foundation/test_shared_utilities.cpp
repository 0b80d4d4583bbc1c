#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "foundation/SharedUtilities.h"

using namespace foundation;

namespace fs = std::filesystem;
using platform::Bitmap;
using platform::ColorRefToPixel;
using platform::RGB;

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> list) {
    std::vector<uint8_t> out;
    for (int b : list) out.push_back(static_cast<uint8_t>(b));
    return out;
}

}  // namespace

TEST(FormatErrorMessage, SystemTextOrEmpty) {
    EXPECT_EQ(FormatErrorMessage(ENOENT), "No such file or directory");
    EXPECT_EQ(FormatErrorMessage(0xFFFFFFFFu), "");
    EXPECT_EQ(FormatErrorMessage(123456), "");

    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    FormatErrorMessageBuf(ENOENT, buffer, 7);  // the buffer holds 7 + 1
    EXPECT_STREQ(buffer, "No such");
    FormatErrorMessageBuf(123456, buffer, 7);
    EXPECT_STREQ(buffer, "");
    FormatErrorMessageBuf(ENOENT, buffer, 0);
    EXPECT_STREQ(buffer, "");
}

class CreateDirectoryTreeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/tunova_tree_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

TEST_F(CreateDirectoryTreeTest, CreatesMissingLevelsAndAcceptsExisting) {
    const fs::path deep = dir_ / "one" / "two" / "three";
    EXPECT_NE(CreateDirectoryTree(deep.c_str()), 0);
    EXPECT_TRUE(fs::is_directory(deep));
    EXPECT_NE(CreateDirectoryTree(deep.c_str()), 0);  // already there
    EXPECT_NE(CreateDirectoryTree((dir_ / "a" / "b" / "").c_str()), 0);
    EXPECT_TRUE(fs::is_directory(dir_ / "a" / "b"));
}

TEST_F(CreateDirectoryTreeTest, FailsWhereNoFolderCanBe) {
    EXPECT_EQ(CreateDirectoryTree(""), 0);  // no separator to find a parent at
    EXPECT_EQ(CreateDirectoryTree(nullptr), 0);
    // A file in the way: neither "exists" as a folder nor can it get children.
    std::ofstream(dir_ / "file") << "x";
    EXPECT_EQ(CreateDirectoryTree((dir_ / "file").c_str()), 0);
    EXPECT_EQ(CreateDirectoryTree((dir_ / "file" / "sub" / "deeper").c_str()), 0);
    // What could be made stays made.
    fs::create_directories(dir_ / "made");
    std::ofstream(dir_ / "made" / "x") << "x";
    EXPECT_EQ(CreateDirectoryTree((dir_ / "made" / "x" / "y").c_str()), 0);
    EXPECT_TRUE(fs::is_regular_file(dir_ / "made" / "x"));
}

TEST(IsNumberText, Cases) {
    struct Case {
        bool hex;
        const char* text;
        bool expected;
    } cases[] = {
        {false, " 42", true},   {true, "ff", true},    {false, "", false},      {true, "", false},
        {false, "12abc", true}, {false, "abc", false}, {true, "0x1F", true},    {true, "0xg", true},
        {false, "-7", true},    {false, "+", false},   {false, "\t\n 9", true}, {true, "g1", false},
        {false, "ff", false},   {true, "  -A", true},  {false, "   ", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsNumberText(c.hex, c.text), c.expected) << c.hex << " '" << c.text << "'";
}

TEST(HexDump, FitsWholeGroupsWithTerminator) {
    const uint8_t data[] = {0x00, 0x1F, 0xA0, 0xFF, 0x5C};
    char out[32];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(HexDump(data, out, 16, 5), 15u);
    EXPECT_STREQ(out, "00 1F A0 FF 5C ");

    std::memset(out, '#', sizeof out);
    EXPECT_EQ(HexDump(data, out, 15, 5), 12u);
    EXPECT_STREQ(out, "00 1F A0 FF ");
    EXPECT_EQ(out[13], '#');  // nothing written past the terminator

    EXPECT_EQ(HexDump(data, out, 1, 5), 0u);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(HexDump(data, out, 0, 5), 0u);
    EXPECT_EQ(HexDump(data, out, sizeof out, 0), 0u);
    EXPECT_STREQ(out, "");
}

TEST(ReplaceBitmapColor, RecoloursOnlyMatchingPixels) {
    Bitmap bmp(3, 2, ColorRefToPixel(RGB(192, 192, 192)));
    bmp.At(1, 0) = ColorRefToPixel(RGB(255, 0, 0));
    bmp.At(2, 1) = 0xFF000000u | ColorRefToPixel(RGB(192, 192, 192));  // same colour, top byte set

    const auto out = ReplaceBitmapColor(&bmp, RGB(192, 192, 192), RGB(0, 0, 255));
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->width, 3);
    EXPECT_EQ(out->height, 2);
    EXPECT_EQ(out->At(0, 0), 0x000000FFu);                         // blue in the low byte of the pixel
    EXPECT_EQ(out->At(1, 0), 0x00FF0000u);                         // red kept
    EXPECT_EQ(out->At(2, 1), 0x000000FFu);                         // top byte cleared
    EXPECT_EQ(bmp.At(0, 0), ColorRefToPixel(RGB(192, 192, 192)));  // source untouched

    const auto same = ReplaceBitmapColor(&bmp, RGB(1, 2, 3), RGB(4, 5, 6));
    ASSERT_NE(same, nullptr);
    EXPECT_EQ(*same, bmp);

    EXPECT_EQ(ReplaceBitmapColor(nullptr, 0, 0), nullptr);
    Bitmap empty;
    EXPECT_EQ(ReplaceBitmapColor(&empty, 0, 0), nullptr);
    Bitmap damaged(2, 2);
    damaged.pixels.pop_back();
    EXPECT_EQ(ReplaceBitmapColor(&damaged, 0, 0), nullptr);
}

TEST(Base64Decode, StandardBitOrder) {
    struct Case {
        const char* text;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"TWFu", Bytes({0x4D, 0x61, 0x6E})},
        {"TW\r\nFu", Bytes({0x4D, 0x61, 0x6E})},
        {" T W\tF u\n", Bytes({0x4D, 0x61, 0x6E})},
        {"TWE=", Bytes({0x4D, 0x61})},
        {"TQ==", Bytes({0x4D})},
        {"TQ==TWFu", Bytes({0x4D})},  // padding ends the decoding
        {"SGVsbG8sIHdvcmxk", Bytes({'H', 'e', 'l', 'l', 'o', ',', ' ', 'w', 'o', 'r', 'l', 'd'})},
        {"+/+/", Bytes({0xFB, 0xFF, 0xBF})},
        {"", {}},
        {"!!!*", {}},
        {"====", {}},
        {"TWFuTQ", Bytes({0x4D, 0x61, 0x6E, 0x4D})},  // short last group: its whole bytes
        {"TWFuT", Bytes({0x4D, 0x61, 0x6E})},
    };
    for (const Case& c : cases) EXPECT_EQ(Base64Decode(c.text), c.bytes) << c.text;
}

TEST(Base64DecodeLsbFirst, LeastSignificantFirst) {
    struct Case {
        const char* text;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"TWFu", Bytes({0x93, 0x55, 0xB8})},
        {"T\nW\r\nF u", Bytes({0x93, 0x55, 0xB8})},
        {"TWF=", Bytes({0x93, 0x55})},
        {"TW==", Bytes({0x93})},
        {"TWFuTWFu", Bytes({0x93, 0x55, 0xB8, 0x93, 0x55, 0xB8})},
        {"////", Bytes({0xFF, 0xFF, 0xFF})},
        {"BAAA", Bytes({0x01, 0x00, 0x00})},
        {"AEAA", Bytes({0x00, 0x01, 0x00})},
        {"AAAE", Bytes({0x00, 0x00, 0x10})},
        {"", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(Base64DecodeLsbFirst(c.text), c.bytes) << c.text;
}
