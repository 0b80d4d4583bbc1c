#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "platform/StringHelpers.h"

using namespace platform;

TEST(StringHelpers, TrimTakesOnlyTheGivenBlanksAtTheEnds) {
    struct Case {
        std::string_view text;
        std::string_view blanks;
        std::string_view trimmed;
    } cases[] = {
        {"", kBlanks, ""},
        {" \t\r\n\v\f", kBlanks, ""},
        {"\t a b \r\n", kBlanks, "a b"},
        {"x", kBlanks, "x"},
        {" \xC3\xA8 ", kBlanks, "\xC3\xA8"},
        // Callers that trim spaces and tabs only keep line ends and the rest.
        {" \tvalue\r\n", " \t", "value\r\n"},
        {"\vvalue\f", " \t\r\n", "\vvalue\f"},
        {std::string_view(" 12\0\0", 5), std::string_view(" \0", 2), "12"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TrimView(c.text, c.blanks), c.trimmed) << c.text;
        EXPECT_EQ(Trim(c.text, c.blanks), c.trimmed) << c.text;
    }
}

TEST(StringHelpers, LowerTouchesOnlyAsciiLetters) {
    EXPECT_EQ(Lower("ABC xyz 09 @[`{"), "abc xyz 09 @[`{");
    // UTF-8 sequences (È, Ä) stay whole: their bytes are not letters.
    EXPECT_EQ(Lower("\xC3\x88\xC3\x84Z"), "\xC3\x88\xC3\x84z");
    EXPECT_EQ(Lower(""), "");
}
