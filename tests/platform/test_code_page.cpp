#include <gtest/gtest.h>

#include <string>

#include "platform/CodePage.h"

using namespace platform;

TEST(CodePage, EveryCp1252ByteSurvivesUtf8AndUtf16) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);

    const std::string utf8 = Cp1252ToUtf8(all);
    EXPECT_TRUE(IsValidUtf8(utf8));
    EXPECT_EQ(Utf8ToCp1252(utf8), all);

    const std::u16string utf16 = Utf8ToUtf16(utf8);
    ASSERT_EQ(utf16.size(), 256u);  // one UTF-16 unit per byte, no replacement
    EXPECT_EQ(Utf8ToCp1252(Utf16ToUtf8(utf16)), all);
    EXPECT_EQ(Utf8ToCp1252(Utf16LeBytesToUtf8(Utf8ToUtf16LeBytes(utf8))), all);
    EXPECT_EQ(Utf8ToCp1252(Utf16BeBytesToUtf8(Utf8ToUtf16BeBytes(utf8))), all);

    for (int b = 0; b < 256; ++b) {
        const char32_t cp = Cp1252ToCodePoint(static_cast<unsigned char>(b));
        EXPECT_NE(cp, 0xFFFDu) << b;
        EXPECT_EQ(CodePointToCp1252(cp), b) << b;
    }
}

TEST(CodePage, KnownMappings) {
    struct Case {
        unsigned char byte;
        char32_t cp;
    } cases[] = {{0x41, U'A'},   {0x80, 0x20AC}, {0x81, 0x0081}, {0x8D, 0x008D},
                 {0x8F, 0x008F}, {0x90, 0x0090}, {0x9D, 0x009D}, {0x9F, 0x0178},
                 {0xA0, 0x00A0}, {0xE9, 0x00E9}, {0xFF, 0x00FF}};
    for (const Case& c : cases) EXPECT_EQ(Cp1252ToCodePoint(c.byte), c.cp) << int(c.byte);
    EXPECT_EQ(Cp1252ToUtf8("\x80"), "\xE2\x82\xAC");
    EXPECT_EQ(Cp1252ToUtf8("caf\xE9"), "caf\xC3\xA9");
    EXPECT_EQ(Utf8ToUtf16LeBytes("A\xE2\x82\xAC"), std::string("A\0\xAC\x20", 4));
    EXPECT_EQ(Utf8ToUtf16BeBytes("A\xE2\x82\xAC"), std::string("\0A\x20\xAC", 4));
}

TEST(CodePage, TextWithoutCp1252BytesGetsReplacement) {
    EXPECT_EQ(Utf8ToCp1252("a\xE4\xB8\xAD"
                           "b"),
              "a?b");  // CJK
    EXPECT_EQ(Utf8ToCp1252("a\xC2\x80"
                           "b",
                           '_'),
              "a_b");  // U+0080 has no byte
    EXPECT_EQ(Utf8ToCp1252("a\xFF"
                           "b"),
              "a?b");                                  // invalid UTF-8
    EXPECT_EQ(Utf8ToCp1252("\xF0\x9F\x98\x80"), "?");  // outside the BMP
}

TEST(CodePage, Utf16SurrogatesAndDamage) {
    const std::string smile = "\xF0\x9F\x98\x80";
    const std::u16string units = Utf8ToUtf16(smile);
    ASSERT_EQ(units.size(), 2u);
    EXPECT_EQ(units[0], 0xD83D);
    EXPECT_EQ(units[1], 0xDE00);
    EXPECT_EQ(Utf16ToUtf8(units), smile);
    // Lone surrogates and an odd trailing byte never crash and never vanish silently.
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
    EXPECT_EQ(Utf16ToUtf8(u"a\xDC00"), "a\xEF\xBF\xBD");
    EXPECT_EQ(Utf16LeBytesToUtf8(std::string("A\0B", 3)), "A");
}

TEST(CodePage, ValidityAndSafeCut) {
    struct Case {
        const char* text;
        bool valid;
    } cases[] = {{"", true},
                 {"plain", true},
                 {"\xC3\xA9", true},
                 {"\xF0\x9F\x98\x80", true},
                 {"\xC0\x80", false},          // overlong
                 {"\xED\xA0\x80", false},      // surrogate
                 {"\xE2\x82", false},          // truncated
                 {"\xF4\x90\x80\x80", false},  // above U+10FFFF
                 {"\x80", false}};
    for (const Case& c : cases) EXPECT_EQ(IsValidUtf8(c.text), c.valid) << c.text;

    const std::string text =
        "ab\xE2\x82\xAC"
        "c";  // a b € c
    const size_t expected[] = {0, 1, 2, 2, 2, 5, 6, 6};
    for (size_t max = 0; max < 8; ++max) EXPECT_EQ(Utf8SafeCut(text, max), expected[max]) << max;
}

TEST(CodePage, EncodersAtTheEndsOfEachLength) {
    struct Case {
        char32_t cp;
        const char* utf8;
        std::u16string utf16;
    } cases[] = {
        {0x0, "", {u'\0'}},
        {0x7F, "\x7F", u"\x7F"},
        {0x80, "\xC2\x80", u"\x80"},
        {0x7FF, "\xDF\xBF", u"\x7FF"},
        {0x800, "\xE0\xA0\x80", u"\x800"},
        {0xFFFF, "\xEF\xBF\xBF", u"\xFFFF"},
        {0x10000, "\xF0\x90\x80\x80", u"\xD800\xDC00"},
        {0x10FFFF, "\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF"},
        // No character lies beyond U+10FFFF: the replacement character stands for it.
        {0x110000, "\xEF\xBF\xBD", u"\xFFFD"},
        {0x1FFFFF, "\xEF\xBF\xBD", u"\xFFFD"},
        {0xFFFFFFFF, "\xEF\xBF\xBD", u"\xFFFD"},
    };
    for (const Case& c : cases) {
        std::string utf8;
        AppendUtf8(utf8, c.cp);
        EXPECT_EQ(utf8, c.cp == 0 ? std::string(1, '\0') : std::string(c.utf8))
            << std::hex << static_cast<uint32_t>(c.cp);
        EXPECT_TRUE(IsValidUtf8(utf8)) << std::hex << static_cast<uint32_t>(c.cp);
        std::u16string utf16;
        AppendUtf16(utf16, c.cp);
        EXPECT_EQ(utf16, c.utf16) << std::hex << static_cast<uint32_t>(c.cp);
    }
}
