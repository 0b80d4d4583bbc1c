#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "foundation/TextFile.h"
#include "foundation/XmlDocument.h"

using namespace foundation;

namespace fs = std::filesystem;

namespace {

class XmlFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("tunova_xml_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    static std::string ReadBytes(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static void WriteBytes(const fs::path& file, const std::string& bytes) {
        std::ofstream out(file, std::ios::binary);
        out << bytes;
    }

    fs::path dir_;
};

TEST_F(XmlFiles, SaveLoadRoundTripInAllEncodings) {
    struct Case {
        int encoding;
        std::string head;  // first bytes of the saved file
    };
    const Case cases[] = {
        {1, "<Dati "},
        {2, std::string("<\0D\0", 4)},
        {3, std::string("\0<\0D", 4)},
        {4, "<Dati "},
    };
    for (const Case& c : cases) {
        CXmlDocument doc;
        doc.Root().SetName("Dati");
        doc.Root().SetAttribute("Name", "Motore \xC3\xA8 \xE2\x82\xAC \"q\"");
        doc.Root().AddChild("Val",
                            "12 \xC2\xB0"
                            "C \xC3\xBC");  // u-umlaut has no reference: kept raw
        doc.Root().AddChild("Flag", "True");
        doc.SetEncoding(c.encoding);
        const fs::path file = dir_ / ("doc" + std::to_string(c.encoding) + ".xml");
        ASSERT_EQ(doc.Save(file), S_OK);
        const std::string bytes = ReadBytes(file);
        EXPECT_EQ(bytes.substr(0, c.head.size()), c.head) << c.encoding;

        CXmlDocument back;
        back.SetEncoding(c.encoding);
        ASSERT_EQ(back.Load(file), S_OK) << c.encoding;
        EXPECT_EQ(back.Encoding(), c.encoding);
        std::string a, b;
        doc.GetXmlFormatted(a);
        back.GetXmlFormatted(b);
        EXPECT_EQ(a, b) << c.encoding;
        EXPECT_EQ(back.Root().FindNode("Val")->Value(),
                  "12 \xC2\xB0"
                  "C \xC3\xBC");
    }
    // The ANSI file holds Windows-1252 bytes.
    EXPECT_NE(ReadBytes(dir_ / "doc1.xml").find("C \xFC</Val>"), std::string::npos);
    // The default save is UTF-8 without a byte-order mark, CR LF and tabs.
    EXPECT_EQ(ReadBytes(dir_ / "doc4.xml"),
              "<Dati Name=\"Motore &#232; &#8364; &quot;q&quot;\">\r\n\t<Val>12 &#176;C \xC3\xBC</Val>\r\n"
              "\t<Flag>True</Flag>\r\n</Dati>");
}

TEST_F(XmlFiles, LoadDetectsByteOrderMarks) {
    struct Case {
        std::string bytes;
        int encodingBefore;
        int encodingAfter;
        const char* value;
    };
    const std::string body = "<r>\xC3\xA9</r>";
    const Case cases[] = {
        {"\xEF\xBB\xBF" + body, 0, 4, "\xC3\xA9"},
        {"\xEF\xBB\xBF" + body, 4, 4, "\xC3\xA9"},
        {body, 4, 4, "\xC3\xA9"},
        {std::string("\xFF\xFE<\0r\0>\0\xE9\0<\0/\0r\0>\0", 18), 0, 2, "\xC3\xA9"},
        {std::string("\xFE\xFF\0<\0r\0>\0\xE9\0<\0/\0r\0>", 18), 0, 3, "\xC3\xA9"},
        {"<r>\xE9</r>", 0, 1, "\xC3\xA9"},  // no mark: ANSI
        {"<r>\xE9</r>", 1, 1, "\xC3\xA9"},
        {"<r>\xE9</r>", 4, 4, "\xEF\xBF\xBD"},  // not UTF-8: replaced, the markup survives
        {"<r>\xE9<b/></r>", 4, 4, "\xEF\xBF\xBD"},
    };
    int i = 0;
    for (const Case& c : cases) {
        const fs::path file = dir_ / ("m" + std::to_string(i++) + ".xml");
        WriteBytes(file, c.bytes);
        CXmlDocument doc;
        doc.SetEncoding(c.encodingBefore);
        ASSERT_EQ(doc.Load(file), S_OK) << i;
        EXPECT_EQ(doc.Encoding(), c.encodingAfter) << i;
        EXPECT_EQ(doc.Root().Name(), "r") << i;
        EXPECT_EQ(doc.Root().Value(), c.value) << i;
    }
}

TEST_F(XmlFiles, LoadFailures) {
    CXmlDocument doc;
    EXPECT_EQ(doc.Load(dir_ / "missing.xml"), E_FAIL);
    WriteBytes(dir_ / "empty.xml", "");
    EXPECT_EQ(doc.Load(dir_ / "empty.xml"), E_FAIL);
    WriteBytes(dir_ / "bad.xml", "<r><a b=1/></r>");
    EXPECT_EQ(doc.Load(dir_ / "bad.xml"), E_FAIL);
    EXPECT_EQ(doc.Load(dir_), E_FAIL);
}

TEST_F(XmlFiles, AFailedLoadKeepsOrDropsThePreviousTreeButNeverHalfOfTheNewOne) {
    const std::string old = "<?xml version=\"1.0\"?><old a=\"1\"><kid>v</kid></old>";
    WriteBytes(dir_ / "bad.xml", "<?xml version=\"1.0\"?><r a=\"1\"><b/><c>text</c><d e=1/></r>");
    WriteBytes(dir_ / "open.xml", "<r><b/></Other>");
    WriteBytes(dir_ / "empty.xml", "");
    struct Case {
        const char* file;
        bool keepsOld;  // nothing was parsed: the file could not be read
    };
    const Case cases[] = {
        {"bad.xml", false}, {"open.xml", false}, {"empty.xml", false}, {"missing.xml", true}};
    for (const Case& c : cases) {
        CXmlDocument doc;
        ASSERT_EQ(doc.LoadXml(old), S_OK);
        EXPECT_EQ(doc.Load(dir_ / c.file), E_FAIL) << c.file;
        std::string text;
        doc.GetXml(text);
        EXPECT_EQ(text, c.keepsOld ? old : "<xml/>") << c.file;
    }
}

TEST_F(XmlFiles, CDataHoldingTheSectionEndSurvivesSaveAndLoad) {
    CXmlDocument doc;
    doc.Root().SetName("Script");
    const std::string code = "if (a[b[i]]>0) x = \"]]>\";\r\n]]";
    doc.Root().AddChild("Body")->AddCData(code);
    const fs::path file = dir_ / "cdata.xml";
    ASSERT_EQ(doc.Save(file), S_OK);
    CXmlDocument again;
    ASSERT_EQ(again.Load(file), S_OK);
    std::string text;
    ASSERT_EQ(again.Root().FindNode("Body")->GetCData(text), 1);
    EXPECT_EQ(text, code);
    EXPECT_EQ(again.Root().FindNode("Body")->GetChildCount(""), 1);
}

TEST_F(XmlFiles, SaveFailureKeepsTheOldFile) {
    CXmlDocument doc;
    doc.Root().SetName("r");
    EXPECT_EQ(doc.Save(dir_ / "no" / "such" / "folder.xml"), E_FAIL);
    const fs::path file = dir_ / "keep.xml";
    WriteBytes(file, "<old/>");
    doc.SetEncoding(7);  // no writer for this encoding
    EXPECT_EQ(doc.Save(file), E_FAIL);
    EXPECT_EQ(ReadBytes(file), "<old/>");
    for (const auto& entry : fs::directory_iterator(dir_)) EXPECT_EQ(entry.path().filename(), "keep.xml");
}

TEST_F(XmlFiles, IncludesResolvedAgainstTheIncludingFilesFolder) {
    const fs::path cwd = fs::current_path();
    CXmlDocument doc;
    ASSERT_EQ(doc.Load(fs::path(TUNOVA_FIXTURES) / "foundation" / "xinclude" / "main.xml"), S_OK);
    EXPECT_EQ(fs::current_path(), cwd);
    const auto& kids = doc.Root().Children();
    ASSERT_EQ(kids.size(), 6u);
    EXPECT_EQ(kids[0]->Name(), "?");  // the included file's declaration stays where it stood
    EXPECT_EQ(kids[1]->Name(), "p");
    EXPECT_EQ(kids[1]->Value(), "text");
    EXPECT_EQ(kids[2]->Name(), "xi:include");  // missing file: the element itself
    EXPECT_EQ(kids[2]->GetAttribute("href"), "missing.xml");
    EXPECT_EQ(kids[3]->Name(), "q");
    EXPECT_EQ(kids[4]->Name(), "middle");
    EXPECT_EQ(kids[5]->Name(), "q");
    // Saved back, the expanded tree is written.
    const fs::path out = dir_ / "expanded.xml";
    ASSERT_EQ(doc.Save(out), S_OK);
    EXPECT_NE(ReadBytes(out).find("\t<?xml version=\"1.0\"?>\r\n\t<p a=\"1\">text</p>"), std::string::npos);
}

TEST_F(XmlFiles, IncludeEdgeCases) {
    struct Case {
        const char* body;
        int result;
        const char* compact;
    };
    const Case cases[] = {
        // separate end tag left behind: it closes the enclosing element only when it is a prefix of its name
        {"<x:includeAll xmlns:x=\"http://www.w3.org/2001/XInclude\"><x:include "
         "href=\"p.xml\"></x:include></x:includeAll>",
         S_OK, "<x:includeAll xmlns:x=\"http://www.w3.org/2001/XInclude\"><p/></x:includeAll>"},
        {"<r xmlns:x=\"http://www.w3.org/2001/XInclude\"><x:include href=\"p.xml\"></x:include></r>", E_FAIL,
         ""},
        // unterminated include element: scanning stops, parsing fails on its own
        {"<r xmlns:x=\"http://www.w3.org/2001/XInclude\"><x:include href=\"p.xml\"", E_FAIL, ""},
        // no prefix: no include processing
        {"<r xmlns=\"http://www.w3.org/2001/XInclude\"><include href=\"p.xml\"/></r>", S_OK,
         "<r xmlns=\"http://www.w3.org/2001/XInclude\"><include href=\"p.xml\"/></r>"},
        // href outside the element
        {"<r xmlns:x=\"http://www.w3.org/2001/XInclude\"><x:include/><y href=\"p.xml\"/></r>", S_OK,
         "<r xmlns:x=\"http://www.w3.org/2001/XInclude\"><x:include/><y href=\"p.xml\"/></r>"},
    };
    WriteBytes(dir_ / "p.xml", "<p/>");
    int i = 0;
    for (const Case& c : cases) {
        const fs::path file = dir_ / ("inc" + std::to_string(i++) + ".xml");
        WriteBytes(file, c.body);
        CXmlDocument doc;
        EXPECT_EQ(doc.Load(file), c.result) << c.body;
        if (c.result == S_OK) {
            std::string text;
            doc.GetXml(text);
            EXPECT_EQ(text, c.compact);
        }
    }
}

TEST_F(XmlFiles, SavedFileLoadsToTheSameTree) {
    CXmlDocument doc;
    ASSERT_EQ(
        doc.LoadXml("<?xml version=\"1.0\" encoding=\"utf-8\"?><!--c--><DEVICE v='1'><A x='&lt;'>t&amp;<B/>"
                    "<![CDATA[ c ]]></A><C>\xC3\xA9\xE2\x82\xAC\xC3\xBC</C></DEVICE>"),
        S_OK);
    ASSERT_EQ(doc.Save(dir_ / "a.xml"), S_OK);
    CXmlDocument back;
    ASSERT_EQ(back.Load(dir_ / "a.xml"), S_OK);
    std::string a, b;
    doc.GetXml(a);
    back.GetXml(b);
    EXPECT_EQ(a, b);
}

}  // namespace
