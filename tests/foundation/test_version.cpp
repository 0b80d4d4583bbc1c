#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "IdentityTestTree.h"
#include "foundation/Version.h"
#include "foundation/XmlDocument.h"

using namespace foundation;

namespace {

CVersion Make(int32_t major, int32_t minor, int32_t patch, uint32_t state = 0, uint32_t number = 0) {
    CVersion v;
    v.Set(major, minor, patch, state, number);
    return v;
}

TEST(Version, SetNormalisesAndFormsTexts) {
    struct Case {
        CVersion version;
        bool majorOnly;
        const char* number;
        const char* text;
        const char* compact;
    } cases[] = {
        {Make(1, 2, 3), false, "1.2.3", "1.2.3", "1,2,3,0,0"},
        {Make(2, 1, 0, 2, 3), false, "2.1.0", "2.1.0-beta3", "2,1,0,2,3"},
        {Make(2, -1, 7), true, "2", "2", "2,-1,-1,0,0"},
        {Make(5, 0, -1, 2, 7), true, "5", "5-beta7", "5,-1,-1,2,7"},
        {Make(-1, -1, -1), false, "?.?.?", "?.?.?", "-1,-1,-1,0,0"},
        {Make(-1, 2, 3), false, "?.2.3", "?.2.3", "-1,2,3,0,0"},
        {Make(1, 0, 0, 1, 1), false, "1.0.0", "1.0.0-alpha1", "1,0,0,1,1"},
        {Make(1, 0, 0, 3, 2), false, "1.0.0", "1.0.0-rc2", "1,0,0,3,2"},
        {Make(1, 0, 0, 4, 9), false, "1.0.0", "1.0.0-nb9", "1,0,0,4,9"},
        {Make(1, 0, 0, 5, 1), false, "1.0.0", "1.0.0-fake1", "1,0,0,5,1"},
        {Make(1, 0, 0, 9, 4), false, "1.0.0", "1.0.0-'9'4", "1,0,0,9,4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.version.majorOnly, c.majorOnly);
        EXPECT_EQ(c.version.GetNumberText(), c.number);
        EXPECT_EQ(c.version.GetText(), c.text);
        EXPECT_EQ(c.version.GetCompactText(), c.compact);
    }
    // Major only keeps minor and patch at 0.
    CVersion v = Make(2, -1, 7);
    EXPECT_EQ(v.minor, 0);
    EXPECT_EQ(v.patch, 0);
}

TEST(Version, ParseReadsFiveNumbersAndStopsAtTheNextComma) {
    struct Case {
        const char* text;
        int start;
        const char* textForm;
        bool majorOnly;
        int position;
    } cases[] = {
        {"2,1,-1,0,0", 0, "2", true, -1},
        {"1,2,3,2,5", 0, "1.2.3-beta5", false, -1},
        {"1234,1,2,3,0,0,1,3", 5, "1.2.3", false, 14},
        {"0,0,0,0,0", 0, "0.0.0", false, -1},
        {"4,-1,-1,3,1", 0, "4-rc1", true, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        CVersion v;
        int position = c.start;
        ASSERT_TRUE(v.Parse(c.text, position));
        EXPECT_EQ(v.GetText(), c.textForm);
        EXPECT_EQ(v.majorOnly, c.majorOnly);
        EXPECT_EQ(position, c.position);
    }
}

TEST(Version, ParseRefusesMalformedTextsWhole) {
    const char* refused[] = {
        "",           "1,2",          "1,2,3,0",
        "1,2,3,0,",   "1,2,3,0,x",    "1,2,3,0,0x",
        " 1,2,3,0,0", "1, 2,3,0,0",   "1,,3,0,0",
        "+1,2,3,0,0", "1.2,3,0,0",    "99999999999,0,0,0,0",
        "1,2,3,0,0 ", "1,2,3,0,-1-1", "1,2,3,4294967296,0",
    };
    for (const char* text : refused) {
        SCOPED_TRACE(text);
        CVersion v = Make(7, 7, 7, 2, 2);
        int position = 0;
        EXPECT_FALSE(v.Parse(text, position));
        EXPECT_EQ(position, 0);
        EXPECT_EQ(v.major, -1);  // reset, never half-read
        EXPECT_EQ(v.minor, -1);
        EXPECT_EQ(v.patch, -1);
        EXPECT_EQ(v.preState, 0u);
        EXPECT_FALSE(v.majorOnly);
    }
    CVersion v;
    int position = 20;
    EXPECT_FALSE(v.Parse("1,2,3,0,0", position));  // position past the end
}

TEST(Version, CompactFormRoundTrips) {
    for (CVersion original : {Make(1, 2, 3), Make(5, -1, -1, 2, 7), Make(0, 0, 0, 5, 4000000000u)}) {
        CVersion back;
        int position = 0;
        ASSERT_TRUE(back.Parse(original.GetCompactText(), position)) << original.GetCompactText();
        EXPECT_EQ(back, original);
        EXPECT_EQ(back.majorOnly, original.majorOnly);
        EXPECT_EQ(back.preNumber, original.preNumber);
    }
}

TEST(Version, XmlFormBothWays) {
    struct Case {
        CVersion version;
        const char* xml;
    } cases[] = {
        {Make(1, 2, 3), "<r><Version major=\"1\" minor=\"2\" patch=\"3\"/></r>"},
        {Make(5, -1, -1), "<r><Version major=\"5\" minor=\"-1\" patch=\"-1\"/></r>"},
        {Make(2, 1, 0, 2, 3),
         "<r><Version major=\"2\" minor=\"1\" patch=\"0\"><Prerelease state=\"2\" "
         "version=\"3\"/></Version></r>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.xml);
        CXmlDocument document;
        document.Root().SetName("r");
        c.version.WriteXml(&document.Root());
        std::string text;
        ASSERT_EQ(document.GetXml(text), S_OK);
        EXPECT_EQ(text, c.xml);

        CVersion back;
        back.ReadXml(document.Root().FindNode("Version"));
        EXPECT_EQ(back, c.version);
        EXPECT_EQ(back.majorOnly, c.version.majorOnly);
    }
    // Missing numbers are unknown; a missing element resets.
    CXmlDocument document;
    ASSERT_EQ(document.LoadXml("<r><Version major=\"4\"/></r>"), S_OK);
    CVersion v;
    v.ReadXml(document.Root().FindNode("Version"));
    EXPECT_TRUE(v.majorOnly);
    EXPECT_EQ(v.GetText(), "4");
    v.ReadXml(nullptr);
    EXPECT_EQ(v.major, -1);
}

TEST(Version, EqualityIgnoresReleaseNumbersAndTheMajorOnlyFlag) {
    EXPECT_EQ(Make(1, 2, 3, 0, 0), Make(1, 2, 3, 0, 7));
    EXPECT_NE(Make(1, 2, 3, 2, 1), Make(1, 2, 3, 2, 2));
    EXPECT_NE(Make(1, 2, 3, 2, 1), Make(1, 2, 3, 3, 1));
    EXPECT_NE(Make(1, 2, 3), Make(1, 2, 4));
    CVersion flagged = Make(3, 0, 0);
    flagged.majorOnly = true;
    EXPECT_EQ(flagged, Make(3, 0, 0));
}

TEST(VersionTextToNumber, PacksSixteenBitsPerPart) {
    EXPECT_EQ(VersionTextToNumber("3"), 0x0003000000000000ull);
    EXPECT_EQ(VersionTextToNumber("1.2.3.4"), 0x0001000200030004ull);
    EXPECT_EQ(VersionTextToNumber("1.2"), VersionTextToNumber("1.2.0.0"));
    EXPECT_EQ(VersionTextToNumber("9.1.2.3.4"), VersionTextToNumber("1.2.3.4"));  // the last four count
    EXPECT_EQ(VersionTextToNumber("65535.0.0.65535"), 0xFFFF00000000FFFFull);
    bool ok = false;
    EXPECT_EQ(VersionTextToNumber("", &ok), 0u);
    EXPECT_TRUE(ok);
}

TEST(VersionTextToNumber, OrdersVersionsAsNumbers) {
    const std::vector<std::string> ascending = {"0.9",   "1",    "1.0.0.1", "1.2",   "1.2.3",
                                                "1.9.9", "1.10", "2",       "2.0.1", "10.0"};
    for (size_t i = 1; i < ascending.size(); ++i) {
        EXPECT_LT(VersionTextToNumber(ascending[i - 1]), VersionTextToNumber(ascending[i]))
            << ascending[i - 1] << " < " << ascending[i];
    }
}

TEST(VersionTextToNumber, RefusesMalformedTexts) {
    const std::string refused[] = {
        "1..2", "1.", ".1", "1.a", "1.2 beta", "70000", "-1.2", "1.+2", std::string(50, '1')};
    for (const std::string& text : refused) {
        bool ok = true;
        EXPECT_EQ(VersionTextToNumber(text, &ok), 0u) << text;
        EXPECT_FALSE(ok) << text;
    }
}

TEST(ParseValueText, NaturalSizes) {
    struct Case {
        const char* text;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"'abc'", {'a', 'b', 'c'}},
        {"'it''s'", {'i', 't', 's'}},
        {"''", {0}},
        {"0x0A0B", {0x0A, 0x0B}},
        {"0xff", {0xFF}},
        {"", {0, 0, 0, 0}},
        {"   ", {0, 0, 0, 0}},
        {"70000", {0x70, 0x11, 0x01, 0x00}},
        {"  42", {42, 0, 0, 0}},
        {"4294967295", {0xFF, 0xFF, 0xFF, 0xFF}},
        {"-2", {0xFE, 0xFF, 0xFF, 0xFF}},
        {"0", {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<uint8_t> buffer;
        std::string error = "stale";
        ASSERT_TRUE(ParseValueText(c.text, buffer, &error));
        EXPECT_EQ(buffer, c.bytes);
        EXPECT_TRUE(error.empty());
    }
}

TEST(ParseValueText, GivenSizeStoresAtMostThatMany) {
    std::vector<uint8_t> two(2, 0xEE);
    ASSERT_TRUE(ParseValueText("70000", two));
    EXPECT_EQ(two, (std::vector<uint8_t>{0x70, 0x11}));

    std::vector<uint8_t> six(6, 0xEE);
    ASSERT_TRUE(ParseValueText("'ab'", six));
    EXPECT_EQ(six, (std::vector<uint8_t>{'a', 'b', 0xEE, 0xEE, 0xEE, 0xEE}));
}

TEST(ParseValueText, RefusesMalformedTextsAndLeavesTheBuffer) {
    const char* refused[] = {"0x",   "0xABC",      "0xZZ",        "0x0G", "12abc", "abc",
                             "0X12", "4294967296", "-2147483649", "1.5",  "+5"};
    for (const char* text : refused) {
        SCOPED_TRACE(text);
        std::vector<uint8_t> buffer(3, 0x55);
        std::string error;
        EXPECT_FALSE(ParseValueText(text, buffer, &error));
        EXPECT_EQ(buffer, (std::vector<uint8_t>(3, 0x55)));
        EXPECT_FALSE(error.empty());
        std::vector<uint8_t> empty;
        EXPECT_FALSE(ParseValueText(text, empty));
        EXPECT_TRUE(empty.empty());
    }
}

TEST(BusTypeNames, KnownAndUnknownTypes) {
    struct Case {
        int type;
        const char* name;
        const char* shortName;
    } cases[] = {{1, "Modbus", "COM"},
                 {2, "CANopen", "CAN"},
                 {3, "Profibus", "PRO"},
                 {4, "Ethercat", "ETH"},
                 {0, "", ""},
                 {5, "", ""},
                 {-1, "", ""}};
    for (const Case& c : cases) {
        EXPECT_EQ(GetBusTypeName(c.type), c.name);
        EXPECT_EQ(GetBusTypeShortName(c.type), c.shortName);
    }
}

TEST(ReadXmlTitleVersion, NeedsBothPropertiesOfARealFile) {
    identity_test::TempTree tree;
    const auto folder = tree.Root();
    identity_test::WriteCdi(folder / "good.cdi", "TunovaPatch", "1.4.2");
    identity_test::WriteText(folder / "noversion.cdi",
                             "<Package><property name=\"Title\" value=\"X\"/></Package>");
    identity_test::WriteText(folder / "broken.cdi", "<Package><property name=\"Title\" value=\"X\"");

    std::string title, version;
    EXPECT_TRUE(ReadXmlTitleVersion((folder / "good.cdi").string(), &title, &version));
    EXPECT_EQ(title, "TunovaPatch");
    EXPECT_EQ(version, "1.4.2");
    EXPECT_FALSE(ReadXmlTitleVersion((folder / "noversion.cdi").string(), &title, &version));
    EXPECT_FALSE(ReadXmlTitleVersion((folder / "broken.cdi").string(), &title, &version));
    EXPECT_FALSE(ReadXmlTitleVersion((folder / "missing.cdi").string(), &title, &version));
    EXPECT_TRUE(ReadXmlTitleVersion(TUNOVA_FIXTURES "/foundation/identity/Tunova.cdi", &title, &version));
    EXPECT_EQ(title, "Tunova");
    EXPECT_EQ(version, "1.0.3");
}

}  // namespace
