#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "foundation/LogFile.h"
#include "foundation/TextFile.h"
#include "foundation/XmlDocument.h"

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
        std::string head;           // first bytes of the saved file
        std::vector<int> loadWith;  // encodings it loads back with
    };
    const Case cases[] = {
        {1, "<Dati ", {1, 0}},
        {2, std::string("\xFF\xFE<\0D\0", 6), {2, 0, 4, 3, 1}},  // the byte-order mark wins
        {3, std::string("\xFE\xFF\0<\0D", 6), {3, 0, 4, 2, 1}},
        {4, "<Dati ", {4}},
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

        for (const int loadWith : c.loadWith) {
            CXmlDocument back;
            back.SetEncoding(loadWith);
            ASSERT_EQ(back.Load(file), S_OK) << c.encoding << " " << loadWith;
            EXPECT_EQ(back.Encoding(), c.encoding);
            std::string a, b;
            doc.GetXmlFormatted(a);
            back.GetXmlFormatted(b);
            EXPECT_EQ(a, b) << c.encoding << " " << loadWith;
            EXPECT_EQ(back.Root().FindNode("Val")->Value(),
                      "12 \xC2\xB0"
                      "C \xC3\xBC");
        }
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
        // A mark that contradicts the encoding asked for wins.
        {std::string("\xFE\xFF\0<\0r\0>\0\xE9\0<\0/\0r\0>", 18), 4, 3, "\xC3\xA9"},
        {std::string("\xFF\xFE<\0r\0>\0\xE9\0<\0/\0r\0>\0", 18), 4, 2, "\xC3\xA9"},
        {std::string("\xFF\xFE<\0r\0>\0\xE9\0<\0/\0r\0>\0", 18), 1, 2, "\xC3\xA9"},
        {std::string("\xFF\xFE<\0r\0>\0\xE9\0<\0/\0r\0>\0", 18), 3, 2, "\xC3\xA9"},
        {"\xEF\xBB\xBF" + body, 1, 4, "\xC3\xA9"},
        {"\xEF\xBB\xBF" + body, 2, 4, "\xC3\xA9"},
        // Each explicit encoding takes its own mark.
        {std::string("\xFF\xFE<\0r\0>\0\xE9\0<\0/\0r\0>\0", 18), 2, 2, "\xC3\xA9"},
        {std::string("\xFE\xFF\0<\0r\0>\0\xE9\0<\0/\0r\0>", 18), 3, 3, "\xC3\xA9"},
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

// Every failure keeps its own code and where the parse stopped, and the debug log names both.
TEST_F(XmlFiles, LoadFailures) {
    struct Case {
        const char* file;
        std::string bytes;  // not written when empty and the file is "missing.xml"
        int encoding;
        int code;
        size_t offset;
    };
    const Case cases[] = {
        {"missing.xml", "", 4, CXmlDocument::kErrCannotRead, 0},
        {".", "", 4, CXmlDocument::kErrCannotRead, 0},  // the folder itself
        {"empty.xml", "", 4, CXmlDocument::kErrEmptyText, 0},
        {"bom.xml", "\xEF\xBB\xBF", 4, CXmlDocument::kErrEmptyText, 0},
        {"bad.xml", "<r><a b=1/></r>", 4, CXmlDocument::kErrNoQuote, 15},
        {"quote.xml", "<r><a b='1/></r>", 4, CXmlDocument::kErrNoClosingQuote, 8},
        {"tag.xml", "<A><B/></Other>", 4, CXmlDocument::kErrEndTagMismatch, 14},
        {"utf16.xml", std::string("\xFF\xFE<\0r\0 \0a\0=\0", 12), 4, CXmlDocument::kErrNoQuote, 5},
        // Texts without any element: nothing that could be a document was found.
        {"words.xml", "just words", 4, CXmlDocument::kErrNoElement, 10},
        {"decl.xml", "<?xml version=\"1.0\"?><!-- only a comment -->", 4, CXmlDocument::kErrNoElement, 44},
        {"utf16be.xml", std::string("\0<\0r\0/\0>", 8), 4, CXmlDocument::kErrEmptyText, 0},  // no mark
    };
    const fs::path log = dir_ / "LogDebug.txt";
    ASSERT_EQ(DebugLog().Open(log), "");
    for (const Case& c : cases) {
        const fs::path file = dir_ / c.file;
        if (std::string(c.file) != "missing.xml" && std::string(c.file) != ".") WriteBytes(file, c.bytes);
        CXmlDocument doc;
        doc.SetEncoding(c.encoding);
        EXPECT_EQ(doc.Load(file), E_FAIL) << c.file;
        EXPECT_EQ(doc.ErrorCode(), c.code) << c.file;
        EXPECT_EQ(doc.ErrorOffset(), c.offset) << c.file;
        EXPECT_TRUE(doc.Root().Name().empty()) << c.file;
        EXPECT_TRUE(doc.DocumentLevel().Children().empty()) << c.file;
    }
    CXmlDocument good;
    ASSERT_EQ(good.LoadXml("<r/>"), S_OK);
    EXPECT_EQ(good.ErrorCode(), 0);
    DebugLog().Close();
    const std::string written = ReadBytes(log);
    for (const Case& c : cases) {
        const std::string line = "CXmlDocument::Load " + (dir_ / c.file).string() + ": error " +
                                 std::to_string(c.code) + " at byte " + std::to_string(c.offset) + "\r\n";
        EXPECT_NE(written.find(line), std::string::npos) << line;
    }
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

// Saving on a real file system: links are written through, read-only files and trees no loader
// reads back are refused, and nothing is left behind either way.
TEST_F(XmlFiles, SaveOnTheFileSystem) {
    using Prepare = void (*)(const fs::path& dir);
    struct Case {
        const char* name;
        Prepare prepare;
        const char* saveTo;
        int depth;  // of the tree saved
        HRESULT result;
        const char* written;                 // holds the new document afterwards, or null
        std::vector<const char*> links;      // still symbolic links afterwards
        std::vector<const char*> unchanged;  // still hold the old document
    };
    static const std::string kOld = "<old/>";
    const Case cases[] = {
        {"new file", [](const fs::path&) {}, "f.xml", 1, S_OK, "f.xml", {}, {}},
        {"replace a file",
         [](const fs::path& d) { WriteBytes(d / "f.xml", kOld); },
         "f.xml",
         1,
         S_OK,
         "f.xml",
         {},
         {}},
        {"read-only file",
         [](const fs::path& d) {
             WriteBytes(d / "f.xml", kOld);
             ::chmod((d / "f.xml").c_str(), 0444);
         },
         "f.xml",
         1,
         E_FAIL,
         nullptr,
         {},
         {"f.xml"}},
        {"link to a file in another folder",
         [](const fs::path& d) {
             WriteBytes(d / "sub" / "f.xml", kOld);
             fs::create_symlink(d / "sub" / "f.xml", d / "l.xml");
         },
         "l.xml",
         1,
         S_OK,
         "sub/f.xml",
         {"l.xml"},
         {}},
        {"chain of relative links",
         [](const fs::path& d) {
             WriteBytes(d / "sub" / "f.xml", kOld);
             fs::create_symlink("f.xml", d / "sub" / "l2.xml");
             fs::create_symlink("sub/l2.xml", d / "l.xml");
         },
         "l.xml",
         1,
         S_OK,
         "sub/f.xml",
         {"l.xml", "sub/l2.xml"},
         {}},
        {"link to a file not there yet",
         [](const fs::path& d) { fs::create_symlink("sub/n.xml", d / "l.xml"); },
         "l.xml",
         1,
         S_OK,
         "sub/n.xml",
         {"l.xml"},
         {}},
        {"link to a read-only file",
         [](const fs::path& d) {
             WriteBytes(d / "sub" / "f.xml", kOld);
             ::chmod((d / "sub" / "f.xml").c_str(), 0444);
             fs::create_symlink("sub/f.xml", d / "l.xml");
         },
         "l.xml",
         1,
         E_FAIL,
         nullptr,
         {"l.xml"},
         {"sub/f.xml"}},
        {"links in a loop",
         [](const fs::path& d) {
             fs::create_symlink("m.xml", d / "l.xml");
             fs::create_symlink("l.xml", d / "m.xml");
         },
         "l.xml",
         1,
         E_FAIL,
         nullptr,
         {"l.xml", "m.xml"},
         {}},
        {"tree deeper than any load",
         [](const fs::path& d) { WriteBytes(d / "f.xml", kOld); },
         "f.xml",
         1000000,
         E_FAIL,
         nullptr,
         {},
         {"f.xml"}},
    };
    int i = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path dir = dir_ / ("case" + std::to_string(i++));
        fs::create_directories(dir / "sub");
        c.prepare(dir);
        CXmlDocument doc;
        doc.Root().SetName("r");
        CXmlNode* inner = &doc.Root();
        for (int level = 1; level < c.depth; ++level) inner = inner->AddChild("d");
        inner->AddChild("c", "new");
        EXPECT_EQ(doc.Save(dir / c.saveTo), c.result);
        if (c.written != nullptr) {
            std::string expected;
            ASSERT_EQ(doc.GetXmlFormatted(expected), S_OK);
            EXPECT_EQ(ReadBytes(dir / c.written), expected);
        }
        for (const char* link : c.links) EXPECT_TRUE(fs::is_symlink(dir / link)) << link;
        for (const char* file : c.unchanged) EXPECT_EQ(ReadBytes(dir / file), kOld) << file;
        for (const auto& entry : fs::recursive_directory_iterator(dir)) {
            EXPECT_NE(entry.path().filename().string()[0], '.') << "left behind: " << entry.path();
        }
    }
}

// Whatever the model holds, a standard reader takes the saved file in each encoding and reads the
// values the model holds; our own loader reads it back without being told the encoding.
TEST_F(XmlFiles, StandardReaderAcceptsSavedFilesInEveryEncoding) {
    struct Text {
        const char* held;  // in the model
        const char* read;  // by a standard reader
    };
    const Text texts[] = {
        {"&#zz;", "&#zz;"},
        {"&#", "&#"},
        {"a&#;b", "a&#;b"},
        {"&#x;", "&#x;"},
        {"&#0;", "&#0;"},
        {"&#xD800;", "&#xD800;"},
        {"&#1114112;", "&#1114112;"},
        {"&#65", "&#65"},
        {"&#X41;", "&#X41;"},
        {"&amp;", "&amp;"},
        {"&#65;", "A"},  // references written by callers pass through
        {"&#x263A;", "\xE2\x98\xBA"},
        {"x < y > z \"q\" 'a'", "x < y > z \"q\" 'a'"},
        {"\xC3\xA9 \xC3\xBC \xE2\x82\xAC \xC2\xB0", "\xC3\xA9 \xC3\xBC \xE2\x82\xAC \xC2\xB0"},
    };
    struct Case {
        int encoding;
        const char* declared;
        std::string head;
        std::vector<int> loadWith;  // without a mark ANSI and UTF-8 are only told apart when asked for
    };
    const Case cases[] = {
        {1, "windows-1252", "<?xml version", {1, 0}},
        {2, "UTF-16", std::string("\xFF\xFE<\0?\0x\0m\0l\0", 12), {2, 0, 4}},
        {3, "UTF-16", std::string("\xFE\xFF\0<\0?\0x\0m\0l", 12), {3, 0, 4}},
        {4, "UTF-8", "<?xml version", {4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.encoding);
        CXmlDocument doc;
        // The parser puts document-level comments in front of the declaration.
        ASSERT_EQ(doc.LoadXml(std::string("<?xml version=\"1.0\" encoding=\"") + c.declared +
                              "\"?>\r\n<!--first--><?xml-stylesheet type=\"text/xsl\" href=\"s.xsl\"?>"
                              "<!--second-->\r\n<Dati/>"),
                  S_OK);
        for (const Text& text : texts) {
            CXmlNode* row = doc.Root().AddChild("Row", text.held);
            row->SetAttribute("v", text.held);
        }
        doc.Root().AddCData("if (a[b[i]]>0) x = \"]]>\";");
        doc.Root().AddChild(CXmlNode::kComment, " note ");
        doc.SetEncoding(c.encoding);
        const fs::path file = dir_ / ("std" + std::to_string(c.encoding) + ".xml");
        ASSERT_EQ(doc.Save(file), S_OK);
        EXPECT_EQ(ReadBytes(file).substr(0, c.head.size()), c.head);

        xmlParserCtxtPtr context = xmlNewParserCtxt();
        ASSERT_NE(context, nullptr);
        xmlDocPtr standard = xmlCtxtReadFile(context, file.c_str(), nullptr,
                                             XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
        ASSERT_NE(standard, nullptr);
        EXPECT_TRUE(context->wellFormed);
        EXPECT_EQ(context->errNo, 0);
        xmlNodePtr root = xmlDocGetRootElement(standard);
        ASSERT_NE(root, nullptr);
        EXPECT_STREQ(reinterpret_cast<const char*>(root->name), "Dati");
        size_t i = 0;
        for (xmlNodePtr node = root->children; node != nullptr; node = node->next) {
            if (node->type != XML_ELEMENT_NODE) continue;
            ASSERT_LT(i, std::size(texts));
            xmlChar* attribute = xmlGetProp(node, reinterpret_cast<const xmlChar*>("v"));
            xmlChar* content = xmlNodeGetContent(node);
            EXPECT_STREQ(reinterpret_cast<const char*>(attribute), texts[i].read) << texts[i].held;
            EXPECT_STREQ(reinterpret_cast<const char*>(content), texts[i].read) << texts[i].held;
            xmlFree(attribute);
            xmlFree(content);
            ++i;
        }
        EXPECT_EQ(i, std::size(texts));
        xmlFreeDoc(standard);
        xmlFreeParserCtxt(context);

        for (const int loadWith : c.loadWith) {
            CXmlDocument back;
            back.SetEncoding(loadWith);
            ASSERT_EQ(back.Load(file), S_OK) << loadWith;
            EXPECT_EQ(back.Encoding(), c.encoding);
            CXmlDocument expected;
            expected.Root().Copy(&doc.Root());
            CXmlDocument got;
            got.Root().Copy(&back.Root());
            std::string a, b;
            expected.GetXml(a);
            got.GetXml(b);
            EXPECT_EQ(b, a) << loadWith;
        }
    }
}

// Included files are decoded as the including file is: the encoding asked for, or the one their
// own byte-order mark names.
TEST_F(XmlFiles, IncludedFilesAreDecodedLikeTheMainFile) {
    auto utf16 = [](const std::string& ascii, bool bigEndian) {
        std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
        for (char c : ascii) bytes += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
        return bytes;
    };
    auto utf16Text = [](const std::u16string& text, bool bigEndian) {
        std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
        for (char16_t unit : text) {
            const char high = static_cast<char>(unit >> 8);
            const char low = static_cast<char>(unit & 0xFF);
            bytes += bigEndian ? std::string{high, low} : std::string{low, high};
        }
        return bytes;
    };
    const std::string ns =
        "<r xmlns:xi=\"http://www.w3.org/2001/XInclude\"><xi:include href=\"inc.xml\"/></r>";
    struct Case {
        const char* name;
        std::string main;
        std::string included;
        int encoding;  // asked for before the load
    };
    const Case cases[] = {
        {"Windows-1252, asked for", ns, "<p a=\"\xFC\">\xE9t\xE9</p>", 1},
        {"Windows-1252, detected (no mark)", ns, "<p a=\"\xFC\">\xE9t\xE9</p>", 0},
        {"UTF-16LE with its mark", ns, utf16Text(u"<p a=\"\u00FC\">\u00E9t\u00E9</p>", false), 4},
        {"UTF-16BE with its mark", ns, utf16Text(u"<p a=\"\u00FC\">\u00E9t\u00E9</p>", true), 4},
        {"UTF-16LE with its declaration", ns,
         utf16Text(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><p a=\"\u00FC\">\u00E9t\u00E9</p>", false),
         4},
        {"UTF-8 with its mark", ns, "\xEF\xBB\xBF<p a=\"\xC3\xBC\">\xC3\xA9t\xC3\xA9</p>", 4},
        {"UTF-8 into a UTF-16 file", utf16(ns, false), "<p a=\"\xC3\xBC\">\xC3\xA9t\xC3\xA9</p>", 4},
        {"UTF-16 into a UTF-16 file", utf16(ns, true), utf16Text(u"<p a=\"\u00FC\">\u00E9t\u00E9</p>", false),
         0},
    };
    int i = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path dir = dir_ / ("inc" + std::to_string(i++));
        fs::create_directories(dir);
        WriteBytes(dir / "main.xml", c.main);
        WriteBytes(dir / "inc.xml", c.included);
        CXmlDocument doc;
        doc.SetEncoding(c.encoding);
        ASSERT_EQ(doc.Load(dir / "main.xml"), S_OK) << doc.ErrorCode();
        EXPECT_EQ(doc.Root().Value(), "");  // no mark or stray bytes in front of the element
        const CXmlNode* p = doc.Root().FindNode("p");
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->Value(), "\xC3\xA9t\xC3\xA9");
        EXPECT_EQ(p->GetAttribute("a"), "\xC3\xBC");
    }
}

}  // namespace
