#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/XmlDocument.h"

namespace {

std::vector<std::string> Names(CXmlNode* start, const char* path) {
    std::vector<std::string> names;
    for (CXmlNode* n = start->FindFirstChild(path); n; n = start->FindNextChild()) {
        names.push_back(n->Name() + "=" + n->Value());
    }
    return names;
}

TEST(XmlModel, FindNodeWalksOnlyFirstMatchOfEachName) {
    CXmlDocument doc;
    ASSERT_EQ(doc.LoadXml("<r><A/><A><B>x</B></A><C><D>d</D></C></r>"), S_OK);
    CXmlNode& r = doc.Root();
    EXPECT_EQ(r.FindNode("A\\B"), nullptr);  // only the first A is searched
    ASSERT_NE(r.FindNode("C\\D"), nullptr);
    EXPECT_EQ(r.FindNode("C\\D")->Value(), "d");
    EXPECT_EQ(r.FindNode(static_cast<const char*>(nullptr)), nullptr);
    EXPECT_EQ(r.FindNode(""), nullptr);
    EXPECT_EQ(r.FindNode("C\\"), nullptr);
    EXPECT_EQ(r.FindNode("c"), nullptr);  // case-sensitive
    EXPECT_EQ(r.GetChildCount(), 3);
    EXPECT_EQ(r.GetChildCount(""), 3);
    EXPECT_EQ(r.GetChildCount("A"), 2);
}

TEST(XmlModel, IterationOverPathsAndAllChildren) {
    CXmlDocument doc;
    ASSERT_EQ(doc.LoadXml("<r><V>1</V><X>x</X><V>2</V><G><V>3</V><V>4</V></G></r>"), S_OK);
    CXmlNode& r = doc.Root();
    EXPECT_EQ(Names(&r, "V"), (std::vector<std::string>{"V=1", "V=2"}));
    EXPECT_EQ(Names(&r, "  \tV"), (std::vector<std::string>{"V=1", "V=2"}));  // leading white space ignored
    EXPECT_EQ(Names(&r, "G\\V"), (std::vector<std::string>{"V=3", "V=4"}));
    EXPECT_EQ(Names(&r, ""), (std::vector<std::string>{"V=1", "X=x", "V=2", "G="}));
    EXPECT_EQ(Names(&r, nullptr).size(), 4u);
    EXPECT_TRUE(Names(&r, "Missing").empty());
    EXPECT_EQ(r.FindNextChild(), nullptr);  // after the end
    // SelectPath / NextChild directly.
    CXmlNode* holder = r.SelectPath("G\\V");
    ASSERT_NE(holder, nullptr);
    EXPECT_EQ(holder->Name(), "G");
    EXPECT_EQ(holder->NextChild()->Value(), "4");
    EXPECT_EQ(holder->NextChild(), nullptr);
}

TEST(XmlModel, RemovalDuringIterationVisitsEveryMatchOnce) {
    struct Case {
        const char* name;
        std::vector<int> removeAt;  // visit numbers whose node is removed
    };
    const Case cases[] = {
        {"none", {}}, {"all", {0, 1, 2, 3, 4}}, {"first", {0}}, {"alternate", {1, 3}}, {"last", {4}}};
    for (const Case& c : cases) {
        CXmlDocument doc;
        ASSERT_EQ(doc.LoadXml("<r><V>0</V><V>1</V><X/><V>2</V><V>3</V><V>4</V></r>"), S_OK);
        CXmlNode& r = doc.Root();
        std::vector<std::string> seen;
        int visit = 0;
        for (CXmlNode* n = r.FindFirstChild("V"); n; n = r.FindNextChild(), ++visit) {
            seen.push_back(n->Value());
            if (std::find(c.removeAt.begin(), c.removeAt.end(), visit) != c.removeAt.end()) n->Remove();
        }
        EXPECT_EQ(seen, (std::vector<std::string>{"0", "1", "2", "3", "4"})) << c.name;
        EXPECT_EQ(r.GetChildCount("V"), static_cast<int>(5 - c.removeAt.size())) << c.name;
    }
}

TEST(XmlModel, RemovingTheNextNodeDoesNotRevisitTheCurrentOne) {
    CXmlDocument doc;
    ASSERT_EQ(doc.LoadXml("<r><V>0</V><V>1</V><V>2</V></r>"), S_OK);
    CXmlNode& r = doc.Root();
    std::vector<std::string> seen;
    for (CXmlNode* n = r.FindFirstChild("V"); n; n = r.FindNextChild()) {
        seen.push_back(n->Value());
        if (n->Value() == "0") r.Children()[1]->Remove();
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"0", "2"}));
}

TEST(XmlModel, RemovingTheIteratedParentEndsTheSearchSafely) {
    CXmlDocument doc;
    ASSERT_EQ(doc.LoadXml("<r><G><V/><V/></G></r>"), S_OK);
    CXmlNode& r = doc.Root();
    ASSERT_NE(r.FindFirstChild("G\\V"), nullptr);
    r.FindNode("G")->Remove();
    EXPECT_EQ(r.FindNextChild(), nullptr);
}

TEST(XmlModel, AttributesGettersAndDefaults) {
    CXmlDocument doc;
    ASSERT_EQ(doc.LoadXml("<r Value='1' a='17' b='-5' h='0x1F' H='0X1F' z='0x' m='0x80000000' t='12ab' s=' 7'"
                          " d='2.5' dn='abc' y1='yes' y2='True' y3='1' n1='on' n2='2' n3=' 1'/>"),
              S_OK);
    const CXmlNode& r = doc.Root();
    EXPECT_EQ(r.FindAttribute("value"), nullptr);
    struct IntCase {
        const char* name;
        int32_t expected;
    };
    for (const IntCase& c :
         {IntCase{"a", 17}, IntCase{"b", -5}, IntCase{"h", 31}, IntCase{"H", 0}, IntCase{"z", 0},
          IntCase{"m", INT32_MIN}, IntCase{"t", 12}, IntCase{"s", 7}, IntCase{"missing", 99}}) {
        EXPECT_EQ(r.GetAttributeInt(c.name, 99), c.expected) << c.name;
    }
    EXPECT_DOUBLE_EQ(r.GetAttributeDouble("d", 9.0), 2.5);
    EXPECT_DOUBLE_EQ(r.GetAttributeDouble("dn", 9.0), 0.0);
    EXPECT_DOUBLE_EQ(r.GetAttributeDouble("missing", 9.0), 9.0);
    for (const char* name : {"y1", "y2", "y3"}) EXPECT_TRUE(r.GetAttributeBool(name, false)) << name;
    for (const char* name : {"n1", "n2", "n3"}) EXPECT_FALSE(r.GetAttributeBool(name, true)) << name;
    EXPECT_TRUE(r.GetAttributeBool("missing", true));
    EXPECT_EQ(r.GetAttribute("a", "x"), "17");
    EXPECT_EQ(r.GetAttribute("missing", "x"), "x");
}

TEST(XmlModel, SetAttributeKeepsOrderAndFirstOfName) {
    CXmlNode node;
    node.SetAttribute("a", "1");
    node.SetAttributeInt("b", -42);
    node.SetAttribute("a", "3");
    node.SetAttribute("c", "4");
    ASSERT_EQ(node.Attributes().size(), 3u);
    EXPECT_EQ(node.Attributes()[0]->Value(), "3");
    EXPECT_EQ(node.Attributes()[1]->Value(), "-42");
    EXPECT_EQ(node.Attributes()[2]->Name(), "c");
    node.RemoveAttribute("b");
    node.RemoveAttribute("missing");
    ASSERT_EQ(node.Attributes().size(), 2u);
    EXPECT_EQ(node.Attributes()[1]->Name(), "c");
}

TEST(XmlModel, CopyDeepCopiesAndTrimsSurplus) {
    CXmlDocument source;
    ASSERT_EQ(source.LoadXml("<s k='v'>t<a x='1'><b/></a></s>"), S_OK);
    CXmlDocument target;
    ASSERT_EQ(target.LoadXml("<t p='1' q='2' r='3'><c1/><c2/><c3><d/></c3></t>"), S_OK);
    target.Root().Copy(&source.Root());
    std::string text;
    target.GetXml(text);
    EXPECT_EQ(text, "<s k=\"v\">t<a x=\"1\"><b/></a></s>");
    EXPECT_EQ(target.Root().Children()[0]->Parent(), &target.Root());
    target.Root().Copy(&target.Root());  // onto itself: nothing
    target.GetXml(text);
    EXPECT_EQ(text, "<s k=\"v\">t<a x=\"1\"><b/></a></s>");
    target.Root().Copy(nullptr);
    EXPECT_TRUE(target.Root().Children().empty());
    EXPECT_TRUE(target.Root().Name().empty());
}

TEST(XmlModel, RemoveOnRootClearsItAndDocumentStaysUsable) {
    CXmlDocument doc;
    ASSERT_EQ(doc.LoadXml("<r a='1'><c/></r>"), S_OK);
    EXPECT_EQ(doc.Root().Remove(), 0);
    EXPECT_TRUE(doc.Root().Name().empty());
    EXPECT_TRUE(doc.Root().Children().empty());
    EXPECT_TRUE(doc.Root().Attributes().empty());
    doc.Root().SetName("n");
    doc.Root().AddChild("c", "v");
    std::string text;
    doc.GetXml(text);
    EXPECT_EQ(text, "<n><c>v</c></n>");
}

// Appends a chain of count nodes named "a" below node; the first two and the last two carry their
// level as an attribute. Gives the last.
CXmlNode* AppendChain(CXmlNode& node, int count, int extraChildren = 0) {
    CXmlNode* inner = &node;
    for (int i = 0; i < count; ++i) {
        inner = inner->AddChild("a");
        if (i < 2 || i >= count - 2) inner->SetAttributeInt("i", i);
        for (int k = 0; k < extraChildren; ++k) inner->AddChild("x", "surplus");
    }
    return inner;
}

// Levels below node, following the first child; every level must have exactly one child.
int ChainLength(const CXmlNode& node) {
    int length = 0;
    for (const CXmlNode* at = &node; !at->Children().empty(); at = at->Children()[0], ++length) {
        if (at->Children().size() != 1) return -1;
    }
    return length;
}

// Trees built in code may be far deeper than the stack would allow a recursive walk. The steps work
// on one tree in turn (building it is what takes the time), each leaving the length given.
TEST(XmlModel, TreesAMillionLevelsDeepAreWalkedWithoutRecursion) {
    constexpr int kDepth = 1000000;
    CXmlDocument doc;
    doc.Root().SetName("r");
    AppendChain(doc.Root(), kDepth);
    CXmlNode spare;
    struct Step {
        const char* name;
        std::function<void()> run;
        int length;  // of the document's chain afterwards
    };
    const Step steps[] = {
        {"text forms refuse it",
         [&] {
             std::string text = "stale";
             EXPECT_EQ(doc.GetXml(text), E_FAIL);
             EXPECT_EQ(text, "");
             EXPECT_EQ(doc.GetXmlFormatted(text), E_FAIL);
         },
         kDepth},
        {"copy into a new node",
         [&] {
             spare.Copy(&doc.Root());
             EXPECT_EQ(ChainLength(spare), kDepth);
             const CXmlNode* inner = &spare;
             while (!inner->Children().empty()) inner = inner->Children()[0];
             EXPECT_EQ(inner->GetAttributeInt("i", -1), kDepth - 1);
             EXPECT_EQ(inner->Parent()->GetAttributeInt("i", -1), kDepth - 2);
         },
         kDepth},
        {"copy onto a deep tree of another shape, then destroy it",
         [&] {
             CXmlNode other;
             AppendChain(other, kDepth / 2, 1);  // a surplus child on every level
             other.Copy(&doc.Root());
             EXPECT_EQ(ChainLength(other), kDepth);
         },
         kDepth},
        {"copy a subtree onto its ancestor",
         [&] {
             doc.Root().Copy(doc.Root().Children()[0]);
             EXPECT_EQ(doc.Root().GetAttributeInt("i", -1), 0);
         },
         kDepth - 1},
        {"copy onto a node of its own subtree",
         [&] { doc.Root().Children()[0]->Children()[0]->Copy(&doc.Root()); }, kDepth + 1},
        {"remove a deep subtree", [&] { doc.Root().Children()[0]->Children()[0]->Children()[0]->Remove(); },
         2},
        {"clear a deep tree",
         [&] {
             spare.Clear();
             EXPECT_TRUE(spare.Children().empty());
         },
         2},
        {"destroy a deep tree",
         [&] {
             auto deep = std::make_unique<CXmlDocument>();
             AppendChain(deep->Root(), kDepth);
         },
         2},
    };
    for (const Step& step : steps) {
        step.run();
        EXPECT_EQ(ChainLength(doc.Root()), step.length) << step.name;
    }
}

TEST(XmlModel, SearchesIntoAGoneSubtreeEnd) {
    struct Case {
        const char* name;
        std::function<void(CXmlNode& r)> change;
    };
    const Case cases[] = {
        {"remove", [](CXmlNode& r) { r.FindNode("G")->Remove(); }},
        {"clear", [](CXmlNode& r) { r.Clear(); }},
        {"clear the parent", [](CXmlNode& r) { r.FindNode("G")->Clear(); }},
        {"copy onto the parent",
         [](CXmlNode& r) {
             CXmlNode other;
             other.SetName("G");
             r.FindNode("G")->Copy(&other);
         }},
    };
    for (const Case& c : cases) {
        CXmlDocument doc;
        ASSERT_EQ(doc.LoadXml("<r><G><H><V/><V/></H></G></r>"), S_OK);
        CXmlNode& r = doc.Root();
        ASSERT_NE(r.FindFirstChild("G\\H\\V"), nullptr) << c.name;
        c.change(r);
        EXPECT_EQ(r.FindNextChild(), nullptr) << c.name;
    }
}

TEST(XmlModel, CDataChildren) {
    CXmlNode node;
    std::string out = "untouched";
    EXPECT_EQ(node.GetCData(out), 0);
    EXPECT_EQ(out, "untouched");
    node.AddCData("a<b&c");
    EXPECT_EQ(node.GetCData(out), 1);
    EXPECT_EQ(out, "a<b&c");
}

}  // namespace
