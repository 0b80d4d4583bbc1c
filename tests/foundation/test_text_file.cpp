#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "foundation/TextFile.h"

namespace fs = std::filesystem;

namespace {

class TextFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("tunova_text_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path Put(const std::string& bytes) {
        const fs::path file = dir_ / ("f" + std::to_string(counter_++));
        std::ofstream(file, std::ios::binary) << bytes;
        return file;
    }
    static std::string Bytes(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // Writes text through a writer of the encoding and gives the file's bytes.
    std::string Written(int encoding, const std::string& text, int flags = 0, bool bom = false,
                        int codePage = 0) {
        const fs::path file = dir_ / ("w" + std::to_string(counter_++));
        TextFile out;
        EXPECT_EQ(out.OpenForWriting(file), 0);
        out.SetEncoding(encoding);
        out.SetFlags(flags);
        out.SetCodePage(codePage);
        out.SetBufferSize(3);  // several blocks even for short texts
        out.SetByteOrderMarkPending(bom);
        EXPECT_EQ(out.CreateWriter(), 0);
        EXPECT_EQ(out.Write(text), 0);
        EXPECT_EQ(out.Close(), 0);
        EXPECT_EQ(out.Close(), 0);  // harmless
        return Bytes(file);
    }

    fs::path dir_;
    int counter_ = 0;
};

TEST_F(TextFiles, EncodingDetectionTable) {
    struct Case {
        std::string bytes;
        int encoding;  // given
        int flags;
        int detected;
        std::string text;
    };
    const Case cases[] = {
        {"\xEF\xBB\xBF"
         "a\xC3\xA9",
         0, 0, 4, "a\xC3\xA9"},
        {std::string("\xFF\xFE"
                     "a\0\xE9\0",
                     6),
         0, 0, 2, "a\xC3\xA9"},
        {std::string("\xFE\xFF\0a\0\xE9", 6), 0, 0, 3, "a\xC3\xA9"},
        {"\xFF\x41", 0, 0, 1,
         "\xC3\xBF"
         "A"},
        {"\xFE\x41", 0, 0, 1,
         "\xC3\xBE"
         "A"},
        {"\xEF\xBB\x41", 0, 0, 1,
         "\xC3\xAF\xC2\xBB"
         "A"},
        {"\xFF", 0, 0, 1, "\xC3\xBF"},
        {"ab\x80", 0, 0, 1, "ab\xE2\x82\xAC"},
        {"\xEF\xBB\xBF"
         "a",
         4, 0, 4, "a"},
        {"\xEF\xBB\xBF"
         "a",
         4, kTextFileKeepBom, 4,
         "\xEF\xBB\xBF"
         "a"},
        {"a\xC3\xA9", 4, 0, 4, "a\xC3\xA9"},
        {std::string("\xFF\xFE"
                     "a\0",
                     4),
         2, 0, 2, "a"},
        {std::string("a\0b\0", 4), 2, 0, 2, "ab"},
        {std::string("\0a\0b", 4), 3, 0, 3, "ab"},
        {"\xE9", 1, 0, 1, "\xC3\xA9"},
        // A mark that contradicts the encoding given wins, unless the mark is to be kept.
        {std::string("\xFF\xFE"
                     "a\0",
                     4),
         4, 0, 2, "a"},
        {std::string("\xFE\xFF\0a", 4), 4, 0, 3, "a"},
        {std::string("\xFE\xFF\0a", 4), 2, 0, 3, "a"},
        {std::string("\xFF\xFE"
                     "a\0",
                     4),
         1, 0, 2, "a"},
        {"\xEF\xBB\xBF"
         "a",
         2, 0, 4, "a"},
        {"\xEF\xBB\xBF"
         "a",
         1, 0, 4, "a"},
        {"\xFF\xFE"
         "ab",
         1, kTextFileKeepBom, 1,
         "\xC3\xBF\xC3\xBE"
         "ab"},
    };
    for (const Case& c : cases) {
        TextFile in;
        ASSERT_EQ(in.OpenForReading(Put(c.bytes)), 0);
        in.SetEncoding(c.encoding);
        in.SetFlags(c.flags);
        ASSERT_EQ(in.CreateReader(), 0);
        EXPECT_EQ(in.Encoding(), c.detected) << c.text;
        std::string text;
        EXPECT_GE(in.ReadAll(text), 0);
        EXPECT_EQ(text, c.text);
    }
    TextFile empty;
    ASSERT_EQ(empty.OpenForReading(Put("")), 0);
    ASSERT_EQ(empty.CreateReader(), 0);
    std::string text = "x";
    EXPECT_EQ(empty.ReadAll(text), -1);
    EXPECT_EQ(text, "");
    EXPECT_EQ(empty.Reader()->ReadChar(), -1);
}

// The whole-file read (one read, one decoding pass) must give what the block-wise reader gives, for
// every encoding choice, with and without keeping the byte-order mark.
TEST_F(TextFiles, WholeTextReadsAsTheReaderDoes) {
    std::string longText;
    for (int i = 0; i < 300; ++i)
        longText += "Speed <ref> " + std::to_string(i) + (i % 7 ? "" : "\xC3\xA9\xE2\x82\xAC");
    auto utf16 = [](const std::string& ascii, bool bigEndian) {
        std::string bytes;
        for (char c : ascii) bytes += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
        return bytes;
    };
    const std::string inputs[] = {
        "",
        "a",
        "\xFF",
        "\xFF\xFE",
        "\xFE\xFF",
        "\xEF\xBB\xBF",
        "\xEF\xBB\xBF"
        "a\xC3\xA9",
        "a\xC3\xA9\x80\xE9",
        "ab\xE2\x82",
        std::string("\xFF\xFE", 2) + utf16("abcdefghij", false),
        std::string("\xFE\xFF", 2) + utf16("abcdefghij", true),
        utf16("abcdefghi", false) + "x",  // odd last byte
        std::string("\xFF\xFE"
                    "a\0\xE9\0\xAC\x20\0\xD8",
                    10),  // "a", e acute, euro, then a lone high surrogate at the end
        std::string("\xFF\xFE"
                    "\x3D\xD8\x00\xDE"
                    "a\0\x00\xDC"
                    "b\0\x00\xD8"
                    "c\0d\0e\0f\0",
                    22),  // a pair, a lone low and a lone high surrogate among ASCII
        std::string("\xFE\xFF\xD8\x3D\xDE\x00\0a\xDC\0", 10),
        longText,
        std::string("\xEF\xBB\xBF") + longText,
        std::string("\xFF\xFE", 2) + utf16(longText.substr(0, 500), false) + std::string("\xE9\0", 2) +
            utf16(longText.substr(0, 37), false),
    };
    for (const std::string& bytes : inputs) {
        const fs::path file = Put(bytes);
        for (int encoding = 0; encoding <= 5; ++encoding) {
            for (int flags : {0, static_cast<int>(kTextFileKeepBom)}) {
                TextFile reader;
                ASSERT_EQ(reader.OpenForReading(file), 0);
                reader.SetEncoding(encoding);
                reader.SetFlags(flags);
                ASSERT_EQ(reader.CreateReader(), 0);
                std::string expected;
                const int expectedResult = reader.ReadAll(expected);

                TextFile whole;
                ASSERT_EQ(whole.OpenForReading(file), 0);
                whole.SetEncoding(encoding);
                whole.SetFlags(flags);
                std::string_view text;
                const int result = whole.ReadWholeText(text);
                const std::string where = "bytes " + std::to_string(bytes.size()) + ", encoding " +
                                          std::to_string(encoding) + ", flags " + std::to_string(flags);
                EXPECT_EQ(result, expectedResult < 0 ? expectedResult : 0) << where;
                EXPECT_EQ(whole.Encoding(), reader.Encoding()) << where;
                EXPECT_EQ(std::string(text), expected) << where;
            }
        }
    }
}

TEST_F(TextFiles, MalformedUtf8NeverSwallowsFollowingBytes) {
    struct Case {
        std::string bytes;
        std::string text;
    };
    const std::string r = "\xEF\xBF\xBD";
    const Case cases[] = {
        {"\xE9<a>", r + "<a>"},
        {"\xC0\xBC", r + r},          // overlong "<"
        {"\xED\xA0\x80", r + r + r},  // surrogate
        {"\xF8\x88\x80\x80\x80", r + r + r + r + r},
        {"ab\xE2\x82", "ab" + r + r},  // cut at the end
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
    };
    for (const Case& c : cases) {
        TextFile in;
        ASSERT_EQ(in.OpenForReading(Put(c.bytes)), 0);
        in.SetEncoding(kTextEncodingUtf8);
        ASSERT_EQ(in.CreateReader(), 0);
        std::string text;
        in.ReadAll(text);
        EXPECT_EQ(text, c.text);
    }
}

TEST_F(TextFiles, LinesAndCharacters) {
    const std::string ansi = "a\r\nb\rc\n\nlast";
    const std::string le = std::string("a\0\r\0\n\0b\0\r\0c\0\n\0\n\0l\0", 18);
    std::string be;
    for (size_t i = 0; i + 1 < le.size(); i += 2) be += std::string{le[i + 1], le[i]};
    struct Case {
        std::string bytes;
        int encoding;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {ansi, 1, {"a", "b\rc", "", "last"}},
        {ansi, 4, {"a", "b\rc", "", "last"}},
        {le, 2, {"a", "b\rc", "", "l"}},
        {be, 3, {"a", "b\rc", "", "l"}},
        {"x\n", 1, {"x"}},
    };
    for (const Case& c : cases) {
        for (size_t bufferSize : {size_t(1), size_t(3), size_t(0)}) {
            TextFile in;
            ASSERT_EQ(in.OpenForReading(Put(c.bytes)), 0);
            in.SetEncoding(c.encoding);
            in.SetBufferSize(bufferSize);
            ASSERT_EQ(in.CreateReader(), 0);
            std::vector<std::string> lines;
            std::string line;
            while (in.ReadLine(line) == 0) lines.push_back(line);
            EXPECT_EQ(lines, c.lines) << c.encoding << " " << bufferSize;
            EXPECT_EQ(in.ReadLine(line), -1);
        }
        TextFile in;
        ASSERT_EQ(in.OpenForReading(Put(c.bytes)), 0);
        in.SetEncoding(c.encoding);
        ASSERT_EQ(in.CreateReader(), 0);
        std::string chars;
        for (int ch; (ch = in.Reader()->ReadChar()) >= 0;) chars += static_cast<char>(ch);
        EXPECT_EQ(chars.find('\r'), std::string::npos);  // carriage returns skipped
    }
}

TEST_F(TextFiles, WritersAndLineEnds) {
    EXPECT_EQ(Written(1, "a\nb\r\nc"), "a\r\nb\r\r\nc");
    EXPECT_EQ(Written(1, "a\n"), "a\r\n");
    EXPECT_EQ(Written(1, "a\nb", kTextFileRawLineEnds), "a\nb");
    EXPECT_EQ(Written(1, "\xC3\xA9\xE2\x82\xAC\xE4\xB8\x80"), "\xE9\x80?");  // no 1252 byte: default
    EXPECT_EQ(Written(1, "\xE9", 0, false, 1252), "\xE9");
    EXPECT_EQ(Written(4, "\xC3\xA9"), "\xC3\xA9");
    EXPECT_EQ(Written(4, "\xE9\x80"), "\xC3\xA9\xC2\x80");  // stray 8-bit bytes as Latin-1
    EXPECT_EQ(Written(4, "a", 0, true),
              "\xEF\xBB\xBF"
              "a");
    EXPECT_EQ(Written(4, "\xE9", 0, false, 1252), "\xC3\xA9");
    EXPECT_EQ(Written(2, "a\xC3\xA9\xF0\x9F\x98\x80"), std::string("a\0\xE9\0\x3D\xD8\x00\xDE", 8));
    EXPECT_EQ(Written(3, "a\xC3\xA9"), std::string("\0a\0\xE9", 4));
    EXPECT_EQ(Written(2, "a", 0, true), std::string("\xFF\xFE"
                                                    "a\0",
                                                    4));
    EXPECT_EQ(Written(3, "a", 0, true), std::string("\xFE\xFF\0a", 4));
    EXPECT_EQ(Written(2, "a\n"), std::string("a\0\r\0\n\0", 6));
}

TEST_F(TextFiles, ReadWithWindows1252CodePage) {
    TextFile in;
    ASSERT_EQ(in.OpenForReading(Put("\xC3\xA9\xE4\xB8\x80")), 0);
    in.SetEncoding(kTextEncodingUtf8);
    in.SetCodePage(kCodePage1252);
    ASSERT_EQ(in.CreateReader(), 0);
    std::string text;
    bool usedDefault = false;
    in.ReadAll(text, &usedDefault);
    EXPECT_EQ(text, "\xE9?");
    EXPECT_TRUE(usedDefault);
}

TEST_F(TextFiles, FailedOrAbortedWritesLeaveTheOldFile) {
    const fs::path file = Put("old");
    TextFile out;
    ASSERT_EQ(out.OpenForWriting(file), 0);
    out.SetEncoding(kTextEncodingUtf8);
    ASSERT_EQ(out.CreateWriter(), 0);
    ASSERT_EQ(out.Write("new"), 0);
    out.Abort();
    EXPECT_EQ(Bytes(file), "old");
    EXPECT_EQ(out.Close(), 0);
    EXPECT_EQ(Bytes(file), "old");

    TextFile bad;
    EXPECT_EQ(bad.OpenForWriting(dir_ / "missing" / "x.txt"), -2);
    EXPECT_FALSE(bad.Error().empty());
    TextFile none;
    EXPECT_EQ(none.OpenForReading(dir_ / "missing.txt"), -2);
    TextFile odd;
    ASSERT_EQ(odd.OpenForWriting(file), 0);
    odd.SetEncoding(9);
    EXPECT_EQ(odd.CreateWriter(), -2);
    EXPECT_EQ(odd.Write("x"), -2);
    odd.Abort();
    EXPECT_EQ(Bytes(file), "old");
    size_t entries = 0;
    for (const auto& entry : fs::directory_iterator(dir_)) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 1u);  // no temporary file left behind
}

}  // namespace
