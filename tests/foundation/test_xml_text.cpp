#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/XmlDocument.h"
#include "foundation/XmlText.h"

namespace {

std::string Compact(CXmlDocument& doc) {
    std::string text;
    EXPECT_EQ(doc.GetXml(text), S_OK);
    return text;
}

std::string Formatted(CXmlDocument& doc) {
    std::string text;
    EXPECT_EQ(doc.GetXmlFormatted(text), S_OK);
    return text;
}

TEST(XmlParse, EveryNumberedErrorOnASmallInput) {
    struct Case {
        const char* text;
        int code;
    };
    const Case cases[] = {
        {"<", 1},
        {"<r>  < \t", 1},
        {"<abc", 2},
        {"<a ", 3},
        {"<a b='1'", 3},
        {"<a/", 4},
        {"<a></a ", 4},
        {"<a b", 5},
        {"<a b ", 6},
        {"<a b c='1'/>", 7},
        {"<a b=1/>", 8},
        {"<r><a b=1></a></r>", 8},
        {"<a b='1/>", 9},
        {"<a></", 10},
        {"<a></  ", 10},
        {"<a></a", 11},
        {"<a></b>", 12},
        {"<a><b></a></b>", 12},
        {"<A><B/></Other>", 12},
        {"<A>text<B>more</Other></A>", 12},
        {"<![CDATA[x]>", 13},
        {"<r><![CDATA[x", 13},
        {"<!-- x --", 15},
        {"<r><!-- x", 15},
        {"<?xml version='1.0'", 17},
        {"<!DOCTYPE r", 18},
        {"", 4306},
    };
    for (const Case& c : cases) {
        CXmlDocument doc;
        EXPECT_EQ(doc.LoadXmlText(c.text), c.code) << c.text;
        EXPECT_EQ(doc.LoadXml(c.text), E_FAIL) << c.text;
    }
}

TEST(XmlParse, AParseErrorLeavesTheDocumentEmpty) {
    struct Case {
        const char* text;
        int code;
    };
    const Case cases[] = {
        {"<?xml version='1.0'?><!--c--><r a='1'><b x='2'/><c y=", 8},
        {"<A><B/></Other>", 12},
        {"<!--c--><r name='x'><b>text<c d", 5},
        {"<r>x<![CDATA[y]]><![CDATA[z", 13},
        {"<r><b><c/></b><d></r>", 12},
    };
    for (const Case& c : cases) {
        CXmlDocument doc;
        ASSERT_EQ(doc.LoadXml("<?xml version='1.0'?><old a='1'><kid>v</kid></old>"), S_OK);
        EXPECT_EQ(doc.LoadXmlText(c.text), c.code) << c.text;
        const CXmlNode& root = doc.Root();
        EXPECT_TRUE(root.Name().empty()) << c.text;
        EXPECT_TRUE(root.Value().empty()) << c.text;
        EXPECT_TRUE(root.Attributes().empty()) << c.text;
        EXPECT_TRUE(root.Children().empty()) << c.text;
        EXPECT_TRUE(doc.DocumentLevel().Children().empty()) << c.text;

        ASSERT_EQ(doc.LoadXml("<old a='1'><kid/></old>"), S_OK);
        EXPECT_EQ(doc.LoadXml(c.text), E_FAIL) << c.text;
        EXPECT_EQ(Compact(doc), "<xml/>") << c.text;
    }
}

TEST(XmlParse, TolerantForms) {
    struct Case {
        const char* text;
        const char* compact;
    };
    const Case cases[] = {
        {"<a b = 'x' c=\"y\"/>", "<a b=\"x\" c=\"y\"/>"},
        {"<abc><d/></ab>", "<abc><d/></abc>"},  // end tag that is a leading part
        {"<abc><d/></>", "<abc><d/></abc>"},    // empty end tag closes any element
        {"<a><b><c/>", "<a><b><c/></b></a>"},   // still open at the end
        {"<A><B/>", "<A><B/></A>"},
        {"<a>x<b/>y</a>", "<a>xy<b/></a>"},  // text pieces joined
        {"<a/>trailing <junk", "<a/>"},      // nothing after the root is read
        {"<A/></Other>", "<A/>"},
        {"<A></A></Other>", "<A/>"},
        {"< a>v</a>", "<a>v</a>"},                     // white space after "<"
        {"<a b='1' b='2'/>", "<a b=\"1\" b=\"2\"/>"},  // duplicates kept
        {"no element", "<xml/>"},
        {"garbage", "<xml/>"},
    };
    for (const Case& c : cases) {
        CXmlDocument doc;
        EXPECT_EQ(doc.LoadXmlText(c.text), 0) << c.text;
        EXPECT_EQ(Compact(doc), c.compact) << c.text;
    }
}

TEST(XmlParse, ElementTextAndAttributeValues) {
    CXmlDocument doc;
    ASSERT_EQ(
        doc.LoadXml("<r a='x\t\r\ny \xC3\xA9&amp;'>  word1 \t word2  <e>&#233; \xC3\xA9\x01 \xE2\x82\xAC</e>"
                    "<n>&nbsp;x&nbsp;</n></r>"),
        S_OK);
    const CXmlNode& r = doc.Root();
    EXPECT_EQ(r.Value(), "word1  word2");
    EXPECT_EQ(r.GetAttribute("a"), "x\t\r\ny \xC3\xA9&");  // attribute values kept byte for byte
    // Non-ASCII text is kept; only control characters go.
    EXPECT_EQ(r.FindNode("e")->Value(), "\xC3\xA9 \xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(r.FindNode("n")->Value(), " x ");
}

TEST(XmlParse, MarkupNodes) {
    CXmlDocument doc;
    ASSERT_EQ(doc.LoadXml(
                  "<?xml version=\"1.0\"?><!--c1--><!DOCTYPE r><!--c2--><r><![CDATA[<raw&amp;>]]><!-- in -->"
                  "<?pi x?><!ENTITY e></r>"),
              S_OK);
    const auto& top = doc.DocumentLevel().Children();
    ASSERT_EQ(top.size(), 4u);
    EXPECT_EQ(top[0]->Name(), "!--");
    EXPECT_EQ(top[0]->Value(), "c2");
    EXPECT_EQ(top[1]->Value(), "c1");
    EXPECT_EQ(top[2]->Name(), "?");
    EXPECT_EQ(top[2]->Value(), "xml version=\"1.0\"");
    EXPECT_EQ(top[3]->Name(), "!!!");
    EXPECT_EQ(top[3]->Value(), "!DOCTYPE r");
    const auto& kids = doc.Root().Children();
    ASSERT_EQ(kids.size(), 4u);
    EXPECT_EQ(kids[0]->Name(), "![CDATA[");
    EXPECT_EQ(kids[0]->Value(), "<raw&amp;>");
    EXPECT_EQ(kids[1]->Value(), " in ");
    EXPECT_EQ(kids[2]->Name(), "?");
    EXPECT_EQ(kids[3]->Value(), "!ENTITY e");
    EXPECT_EQ(Formatted(doc),
              "<?xml version=\"1.0\"?>\r\n<!--c2-->\r\n<!--c1-->\r\n<!DOCTYPE "
              "r>\r\n<r>\r\n\t<![CDATA[<raw&amp;>]]>\r\n"
              "\t<!-- in -->\r\n\t<?pi x?>\r\n\t<!ENTITY e>\r\n</r>");
}

std::string Nested(int depth, const std::string& inside) {
    std::string text;
    for (int i = 0; i < depth; ++i) text += "<a>";
    text += inside;
    for (int i = 0; i < depth; ++i) text += "</a>";
    return text;
}

// Only elements count towards the nesting limit: whatever else stands inside the innermost
// element loads, an element there does not.
TEST(XmlParse, DeepNestingIsRefusedWithoutCrashing) {
    struct Case {
        int depth;
        const char* inside;
        int code;
    };
    const Case cases[] = {
        {500, "", 0},
        {1000, "", 0},
        {1000, "text", 0},
        {1000, "<!-- comment -->", 0},
        {1000, "<?pi x?>", 0},
        {1000, "<![CDATA[raw]]>", 0},
        {1000, "<!DECL x>", 0},
        {1000, "<b/>", CXmlDocument::kErrTooDeep},
        {1001, "", CXmlDocument::kErrTooDeep},
        {1001, "<!-- comment -->", CXmlDocument::kErrTooDeep},
        {100000, "", CXmlDocument::kErrTooDeep},
    };
    for (const Case& c : cases) {
        CXmlDocument doc;
        EXPECT_EQ(doc.LoadXmlText(Nested(c.depth, c.inside)), c.code) << c.depth << " " << c.inside;
        EXPECT_EQ(doc.ErrorCode(), c.code);
    }
}

// The writer refuses what the loader would refuse, and writes up to that without recursion.
TEST(XmlWrite, NestingDepthLimitBuiltInCode) {
    struct Case {
        int depth;
        bool commentInside;
        HRESULT result;
    };
    const Case cases[] = {
        {1, false, S_OK},
        {CXmlDocument::kMaxDepth, false, S_OK},
        {CXmlDocument::kMaxDepth, true, S_OK},
        {CXmlDocument::kMaxDepth + 1, false, E_FAIL},
        {200000, false, E_FAIL},
    };
    for (const Case& c : cases) {
        CXmlDocument doc;
        doc.Root().SetName("a");
        CXmlNode* inner = &doc.Root();
        for (int i = 1; i < c.depth; ++i) inner = inner->AddChild("a");
        inner->SetValue("v");
        if (c.commentInside) inner->AddChild(CXmlNode::kComment, "c");
        for (const bool formatted : {false, true}) {
            std::string text = "stale";
            EXPECT_EQ(formatted ? doc.GetXmlFormatted(text) : doc.GetXml(text), c.result) << c.depth;
            if (c.result != S_OK) {
                EXPECT_EQ(text, "") << c.depth;
                continue;
            }
            CXmlDocument again;
            ASSERT_EQ(again.LoadXml(text), S_OK) << c.depth;
            std::string compact, back;
            doc.GetXml(compact);
            again.GetXml(back);
            EXPECT_EQ(back, compact) << c.depth;
        }
    }
}

TEST(XmlEntities, TableBothWays) {
    struct Case {
        std::vector<const char*> references;
        const char* text;
        const char* escaped;  // element text form
    };
    const Case cases[] = {
        {{"&lt;", "&#60;", "&#x3C;"}, "<", "&lt;"},
        {{"&gt;", "&#62;", "&#x3E;"}, ">", "&gt;"},
        {{"&quot;", "&#34;", "&#x22;"}, "\"", "\""},
        {{"&amp;", "&#38;", "&#x26;"}, "&", "&amp;"},
        {{"&apos;", "&#39;"}, "'", "'"},
        {{"&nbsp;", "&#160;", "&#xA0;"}, " ", " "},
        {{"&egrave;", "&#232;", "&#xE8;"}, "\xC3\xA8", "&#232;"},
        {{"&agrave;", "&#224;", "&#xE0;"}, "\xC3\xA0", "&#224;"},
        {{"&ograve;", "&#242;", "&#xF2;"}, "\xC3\xB2", "&#242;"},
        {{"&ugrave;", "&#249;", "&#xF9;"}, "\xC3\xB9", "&#249;"},
        {{"&igrave;", "&#236;", "&#xEC;"}, "\xC3\xAC", "&#236;"},
        {{"&eacute;", "&#233;", "&#xE9;"}, "\xC3\xA9", "&#233;"},
        {{"&ccedil;", "&#231;", "&#xE7;"}, "\xC3\xA7", "&#231;"},
        {{"&deg;", "&#176;", "&#xB0;"}, "\xC2\xB0", "&#176;"},
        {{"&sect;", "&#167;", "&#xA7;"}, "\xC2\xA7", "&#167;"},
        {{"&euro;", "&#8364;", "&#x20AC;"}, "\xE2\x82\xAC", "&#8364;"},
        {{"&pound;", "&#163;", "&#xA3;"}, "\xC2\xA3", "&#163;"},
        {{"&sup2;", "&#178;", "&#xB2;"}, "\xC2\xB2", "&#178;"},
        {{"&micro;", "&#181;", "&#xB5;"}, "\xC2\xB5", "&#181;"},
    };
    for (const Case& c : cases) {
        for (const char* reference : c.references) {
            std::string text = std::string("[") + reference + "]";
            UnescapeXmlText(text);
            EXPECT_EQ(text, std::string("[") + c.text + "]") << reference;
        }
        EXPECT_EQ(EscapeXmlText(c.text, false), c.escaped) << c.text;
    }
    EXPECT_EQ(EscapeXmlText("\"", true), "&quot;");
    EXPECT_EQ(EscapeXmlText("a<b&c\"d'", true), "a&lt;b&amp;c&quot;d'");
    EXPECT_EQ(EscapeXmlText("&#233; \t\x01", false), "&#233; \t\x01");  // references and controls pass
    EXPECT_EQ(EscapeXmlText("\xE9 \xC3\xBF", false), "\xE9 \xC3\xBF");  // others unchanged
}

// An "&" is written raw only where it starts a character reference a standard reader takes;
// anything else would make the file unreadable for other programs.
TEST(XmlEntities, AmpersandIsKeptOnlyBeforeAWellFormedCharacterReference) {
    struct Case {
        const char* text;
        const char* escaped;
    };
    const Case cases[] = {
        {"&#233;", "&#233;"},
        {"&#x20AC;", "&#x20AC;"},
        {"&#x20ac;", "&#x20ac;"},
        {"&#9;&#10;&#13;", "&#9;&#10;&#13;"},
        {"&#x10FFFF;", "&#x10FFFF;"},
        {"&#1114111;", "&#1114111;"},
        {"&#", "&amp;#"},
        {"a&#;b", "a&amp;#;b"},
        {"&#x;", "&amp;#x;"},
        {"&#65", "&amp;#65"},
        {"&#6 5;", "&amp;#6 5;"},
        {"&#zz;", "&amp;#zz;"},
        {"&#X41;", "&amp;#X41;"},
        {"&#x4G;", "&amp;#x4G;"},
        {"&#0;", "&amp;#0;"},
        {"&#1;", "&amp;#1;"},
        {"&#xD800;", "&amp;#xD800;"},
        {"&#xFFFE;", "&amp;#xFFFE;"},
        {"&#x110000;", "&amp;#x110000;"},
        {"&#1114112;", "&amp;#1114112;"},
        {"&#99999999999999999999;", "&amp;#99999999999999999999;"},
        {"&#65;&#", "&#65;&amp;#"},
        {"&&#65;", "&amp;&#65;"},
    };
    for (const Case& c : cases) EXPECT_EQ(EscapeXmlText(c.text, true), c.escaped) << c.text;
}

TEST(XmlEntities, UnknownAndBrokenReferencesStay) {
    for (const char* text :
         {"&unknown;", "& x;", "&amp", "a &#xe9; b", "&#x41;", "&toolongname;", "&&", "&#233"}) {
        std::string copy = text;
        UnescapeXmlText(copy);
        EXPECT_EQ(copy, text);
    }
    std::string mixed = "&&lt;&amp &gt;";
    UnescapeXmlText(mixed);
    EXPECT_EQ(mixed, "&<&amp >");
}

TEST(XmlWrite, CompactAndFormattedByteForByte) {
    CXmlDocument doc;
    ASSERT_EQ(doc.LoadXml("<a><b/></a>"), S_OK);
    EXPECT_EQ(Compact(doc), "<a><b/></a>");
    EXPECT_EQ(Formatted(doc), "<a>\r\n\t<b/>\r\n</a>");

    ASSERT_EQ(doc.LoadXml("<a>x<b/>y</a>"), S_OK);
    EXPECT_EQ(Formatted(doc), "<a>xy\r\n\t<b/>\r\n</a>");

    CXmlDocument built;
    built.Root().SetName("Settings");
    CXmlNode* page = built.Root().AddChild("Page");
    page->SetAttribute("Visible", "True");
    page->SetAttribute("Hidden", "False");
    page->SetAttributeInt("Count", -7);
    page->SetAttribute("Quote", "a\"<&>\xC2\xB0");
    CXmlNode* item = page->AddChild("Item", "1 < 2 \"ok\" \xE2\x82\xAC");
    item->AddChild("Leaf");
    page->AddCData("raw <&>");
    built.Root().AddChild("Empty", "");
    EXPECT_EQ(
        Compact(built),
        "<Settings><Page Visible=\"True\" Hidden=\"False\" Count=\"-7\" Quote=\"a&quot;&lt;&amp;&gt;&#176;\">"
        "<Item>1 &lt; 2 \"ok\" &#8364;<Leaf/></Item><![CDATA[raw <&>]]></Page><Empty/></Settings>");
    EXPECT_EQ(
        Formatted(built),
        "<Settings>\r\n"
        "\t<Page Visible=\"True\" Hidden=\"False\" Count=\"-7\" Quote=\"a&quot;&lt;&amp;&gt;&#176;\">\r\n"
        "\t\t<Item>1 &lt; 2 \"ok\" &#8364;\r\n"
        "\t\t\t<Leaf/>\r\n"
        "\t\t</Item>\r\n"
        "\t\t<![CDATA[raw <&>]]>\r\n"
        "\t</Page>\r\n"
        "\t<Empty/>\r\n"
        "</Settings>");
    // Reads back to the same tree.
    std::string text = Formatted(built);
    CXmlDocument again;
    ASSERT_EQ(again.LoadXml(text), S_OK);
    EXPECT_EQ(Formatted(again), text);
    EXPECT_TRUE(again.Root().FindNode("Page")->GetAttributeBool("Visible", false));
    EXPECT_EQ(again.Root().FindNode("Page")->GetAttributeInt("Count", 0), -7);
}

TEST(XmlWrite, CDataHoldingTheSectionEndIsSplitAndReadBackWhole) {
    struct Case {
        const char* text;
        const char* written;
    };
    const Case cases[] = {
        {"plain <&>", "<![CDATA[plain <&>]]>"},
        {"", "<![CDATA[]]>"},
        {"a]]>b", "<![CDATA[a]]]]><![CDATA[>b]]>"},
        {"]]>", "<![CDATA[]]]]><![CDATA[>]]>"},
        {"]]>]]>", "<![CDATA[]]]]><![CDATA[>]]]]><![CDATA[>]]>"},
        {"a]]]>b", "<![CDATA[a]]]]]><![CDATA[>b]]>"},
        {"x]]>>", "<![CDATA[x]]]]><![CDATA[>>]]>"},
        {"]", "<![CDATA[]]]>"},
        {"x]]", "<![CDATA[x]]]]>"},
        {"]]>x]]>]]", "<![CDATA[]]]]><![CDATA[>x]]]]><![CDATA[>]]]]>"},
    };
    for (const Case& c : cases) {
        CXmlDocument doc;
        doc.Root().SetName("r");
        doc.Root().AddCData(c.text);
        doc.Root().AddChild("e");
        EXPECT_EQ(Compact(doc), std::string("<r>") + c.written + "<e/></r>") << c.text;
        for (const std::string& written : {Compact(doc), Formatted(doc)}) {
            CXmlDocument again;
            ASSERT_EQ(again.LoadXml(written), S_OK) << written;
            ASSERT_EQ(again.Root().Children().size(), 2u) << written;
            std::string text;
            EXPECT_EQ(again.Root().GetCData(text), 1) << written;
            EXPECT_EQ(text, c.text) << written;
            EXPECT_EQ(again.Root().Children()[1]->Name(), "e") << written;
        }
    }
}

TEST(XmlParse, OnlySplitSectionsAreJoined) {
    struct Case {
        const char* text;
        std::vector<std::string> sections;
    };
    const Case cases[] = {
        {"<r><![CDATA[a]]]]><![CDATA[>b]]></r>", {"a]]>b"}},
        {"<r><![CDATA[a]]><![CDATA[b]]></r>", {"a", "b"}},                // no split "]]>" between them
        {"<r><![CDATA[a]]]]> <![CDATA[>b]]></r>", {"a]]", ">b"}},         // not adjacent
        {"<r><![CDATA[a]]]]>t<![CDATA[>b]]></r>", {"a]]", ">b"}},         // text between
        {"<r><![CDATA[a]]]]><e/><![CDATA[>b]]></r>", {"a]]", "", ">b"}},  // element between
        {"<r><![CDATA[a]]]]></r><![CDATA[>b]]>", {"a]]"}},                // other side of an end tag
    };
    for (const Case& c : cases) {
        CXmlDocument doc;
        ASSERT_EQ(doc.LoadXml(c.text), S_OK) << c.text;
        std::vector<std::string> sections;
        for (const CXmlNode* child : doc.Root().Children()) sections.push_back(child->Value());
        EXPECT_EQ(sections, c.sections) << c.text;
    }
    // Outside the root as well.
    CXmlDocument doc;
    ASSERT_EQ(doc.LoadXml("<![CDATA[a]]]]><![CDATA[>b]]><r/>"), S_OK);
    ASSERT_EQ(doc.DocumentLevel().Children().size(), 1u);
    EXPECT_EQ(doc.DocumentLevel().Children()[0]->Value(), "a]]>b");
}

TEST(XmlWrite, UnnamedRootAndDocumentLevelOrder) {
    CXmlDocument empty;
    EXPECT_EQ(Compact(empty), "<xml/>");
    EXPECT_EQ(empty.Root().Name(), "xml");

    CXmlDocument doc;
    ASSERT_EQ(doc.LoadXml("<?xml version=\"1.0\"?>\r\n<!--one-->\r\n<!--two-->\r\n<r/>"), S_OK);
    // Comments are read in front of the declaration, but standard readers take nothing before it.
    EXPECT_EQ(Formatted(doc), "<?xml version=\"1.0\"?>\r\n<!--two-->\r\n<!--one-->\r\n<r/>");
    EXPECT_EQ(Compact(doc), "<?xml version=\"1.0\"?><!--two--><!--one--><r/>");
    // Document-level CDATA sections and elements are not written.
    doc.DocumentLevel().AddCData("x");
    doc.DocumentLevel().AddChild("e");
    EXPECT_EQ(Compact(doc), "<?xml version=\"1.0\"?><!--two--><!--one--><r/>");
}

TEST(XmlWrite, TheDeclarationGoesFirst) {
    struct Case {
        const char* text;
        const char* compact;
    };
    const Case cases[] = {
        {"<?xml version='1.0'?><!--a--><r/>", "<?xml version='1.0'?><!--a--><r/>"},
        {"<!--a--><?xml version='1.0'?><r/>", "<?xml version='1.0'?><!--a--><r/>"},  // an old file
        {"<!--a--><?xml-stylesheet href='s'?><r/>", "<!--a--><?xml-stylesheet href='s'?><r/>"},
        {"<?xml-stylesheet href='s'?><?xml version='1.0'?><!--a--><r/>",
         "<?xml version='1.0'?><!--a--><?xml-stylesheet href='s'?><r/>"},
        {"<!DOCTYPE r><?xml\tversion='1.0'?><r/>", "<?xml\tversion='1.0'?><!DOCTYPE r><r/>"},
        {"<!--a--><?xml?><r/>", "<?xml?><!--a--><r/>"},
        {"<!--a--><?xmlfoo?><r/>", "<!--a--><?xmlfoo?><r/>"},
    };
    for (const Case& c : cases) {
        CXmlDocument doc;
        ASSERT_EQ(doc.LoadXml(c.text), S_OK) << c.text;
        EXPECT_EQ(Compact(doc), c.compact) << c.text;
    }
}

TEST(XmlWrite, GetXmlBstr) {
    CXmlDocument doc;
    ASSERT_EQ(doc.LoadXml("<r>\xC3\xA9</r>"), S_OK);
    BSTR text = nullptr;
    EXPECT_EQ(doc.GetXmlBstr(&text), S_OK);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::u16string(text, SysStringLen(text)), u"<r>&#233;</r>");
    SysFreeString(text);
    CXmlDocument wide;
    EXPECT_EQ(wide.LoadXmlW(u"<w a='\u00e9'/>"), S_OK);
    EXPECT_EQ(wide.Root().GetAttribute("a"), "\xC3\xA9");
}

}  // namespace
