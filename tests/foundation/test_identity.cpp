#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/Identity.h"
#include "foundation/XmlDocument.h"

using namespace foundation;

namespace {

CIdentity Id(int32_t code, int32_t major, int32_t minor, int32_t patch, uint32_t state = 0,
             uint32_t number = 0) {
    CIdentity identity;
    identity.code = code;
    identity.version.Set(major, minor, patch, state, number);
    return identity;
}

std::vector<CXmlNode*> ChildrenNamed(CXmlNode& parent, const std::string& name) {
    std::vector<CXmlNode*> found;
    for (CXmlNode* child : parent.Children()) {
        if (child->Name() == name) found.push_back(child);
    }
    return found;
}

void ExpectDefault(const CIdentity& identity) {
    EXPECT_EQ(identity.code, -1);
    EXPECT_TRUE(identity.name.empty());
    EXPECT_EQ(identity.version.major, -1);
    EXPECT_EQ(identity.version.minor, -1);
    EXPECT_EQ(identity.version.patch, -1);
    EXPECT_EQ(identity.version.preState, 0u);
    EXPECT_FALSE(identity.version.majorOnly);
    EXPECT_TRUE(identity.attributes.empty());
}

TEST(IdentityCompactText, ReadsAndWritesBack) {
    struct Case {
        const char* text;
        const char* written;
        int32_t code;
        const char* version;
        bool majorOnly;
        size_t attributes;
    } cases[] = {
        {"1234,2,3,1,0,0", "1234,2,3,1,0,0", 1234, "2.3.1", false, 0},
        {"1234,2,3,1,0,0,1,3,2,6868", "1234,2,3,1,0,0,1,3,2,6868", 1234, "2.3.1", false, 2},
        {"77,5,-1,-1,2,7,1,2", "77,5,-1,-1,2,7,1,2", 77, "5-beta7", true, 1},
        {"77,5,0,-1,0,0", "77,5,-1,-1,0,0", 77, "5", true, 0},
        {"5,1,0,0,3,2,9,-4,9,-4", "5,1,0,0,3,2,9,-4,9,-4", 5, "1.0.0-rc2", false, 2},  // duplicates kept
        {"0,1,0,0,0,0", "0,1,0,0,0,0", 0, "1.0.0", false, 0},  // the range is the caller's test
        {" 1234,2,3,1,0,0\r\n", "1234,2,3,1,0,0", 1234, "2.3.1", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        CIdentity identity;
        ASSERT_TRUE(identity.ParseCompactText(c.text));
        EXPECT_EQ(identity.code, c.code);
        EXPECT_EQ(identity.version.GetText(), c.version);
        EXPECT_EQ(identity.version.majorOnly, c.majorOnly);
        EXPECT_EQ(identity.attributes.size(), c.attributes);
        EXPECT_EQ(identity.GetCompactText(), c.written);
    }
    CIdentity boot;
    ASSERT_TRUE(boot.ParseCompactText("77,5,-1,-1,2,7,1,2"));
    EXPECT_EQ(boot.GetRole(), 2);
}

TEST(IdentityCompactText, MalformedTextsGiveTheDefaultState) {
    const char* refused[] = {
        "",
        ",1234,2,3,1,0,0",
        "1234",
        "1234,2,3",              // fewer than five version numbers
        "1234,2,3,1,0,0,1",      // an attribute code without value
        "1234,2,3,1,0,0,1,3,2",  // the same after a good pair
        "1234,2,3,1,0,0,",
        "1234,2,3,1,0,0,1,",
        "12a4,2,3,1,0,0",
        "1234 ,2,3,1,0,0",
        "1234,2,3,1,0,0;1,3",
        "1234,2,3,1,0,0,1,3x",
        "99999999999,2,3,1,0,0",
        "1234,,3,1,0,0",
    };
    for (const char* text : refused) {
        SCOPED_TRACE(text);
        CIdentity identity = Id(9, 9, 9, 9);
        identity.name = "old";
        identity.AddAttribute(1, 1);
        EXPECT_FALSE(identity.ParseCompactText(text));
        ExpectDefault(identity);
    }
}

TEST(IdentityOrder, PrereleaseOrderingAndNumbers) {
    struct Case {
        CIdentity newer;
        CIdentity older;
    } cases[] = {
        {Id(1, 1, 2, 3), Id(1, 1, 2, 3, 3, 1)},        // release newer than rc
        {Id(1, 1, 2, 3, 3, 1), Id(1, 1, 2, 3, 2, 9)},  // rc newer than beta
        {Id(1, 1, 2, 3, 2, 1), Id(1, 1, 2, 3, 1, 9)},  // beta newer than alpha
        {Id(1, 1, 2, 3, 1, 2), Id(1, 1, 2, 3, 4, 9)},  // alpha newer than nb
        {Id(1, 1, 2, 3, 4, 1), Id(1, 1, 2, 3, 5, 1)},  // nb newer than fake
        {Id(1, 1, 2, 3, 5, 1), Id(1, 1, 2, 3, 6, 9)},  // fake newer than an unknown word
        {Id(1, 1, 2, 3, 2, 2), Id(1, 1, 2, 3, 2, 1)},  // higher prerelease number
        {Id(1, 1, 2, 4, 1, 1), Id(1, 1, 2, 3)},        // numbers before states
        {Id(1, 1, 10, 0), Id(1, 1, 9, 9)},
        {Id(1, 2, 0, 0), Id(1, 1, 99, 99)},
        {Id(1, 0, 0, 0), Id(1, -1, -1, -1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.newer.version.GetText() + " vs " + c.older.version.GetText());
        EXPECT_TRUE(c.newer.IsVersionGreater(c.older));
        EXPECT_FALSE(c.older.IsVersionGreater(c.newer));
    }
    // Equal versions are not greater; two releases ignore their numbers.
    EXPECT_FALSE(Id(1, 1, 2, 3).IsVersionGreater(Id(1, 1, 2, 3)));
    EXPECT_FALSE(Id(1, 1, 2, 3, 0, 5).IsVersionGreater(Id(1, 1, 2, 3, 0, 1)));
    EXPECT_FALSE(Id(1, 1, 2, 3, 2, 4).IsVersionGreater(Id(1, 1, 2, 3, 2, 4)));
}

TEST(IdentityEqual, ComparesCodeVersionAndPrereleaseNumberOnly) {
    CIdentity a = Id(1234, 2, 3, 1, 0, 0);
    CIdentity b = Id(1234, 2, 3, 1, 0, 9);
    b.name = "other";
    b.AddAttribute(kAttributeBrand, kBrandVarno);
    b.version.majorOnly = true;
    EXPECT_TRUE(a.IsEqual(b));
    EXPECT_FALSE(Id(1234, 2, 3, 1, 2, 1).IsEqual(Id(1234, 2, 3, 1, 2, 2)));
    EXPECT_TRUE(Id(1234, 2, 3, 1, 2, 1).IsEqual(Id(1234, 2, 3, 1, 2, 1)));
    EXPECT_FALSE(Id(1234, 2, 3, 1).IsEqual(Id(1235, 2, 3, 1)));
    EXPECT_FALSE(Id(1234, 2, 3, 1).IsEqual(Id(1234, 2, 3, 2)));
    EXPECT_FALSE(Id(1234, 2, 3, 1, 1, 1).IsEqual(Id(1234, 2, 3, 1, 2, 1)));
}

TEST(IdentityTexts, CodeVersionDescriptionAndFullText) {
    struct Case {
        int32_t code;
        const char* expected;
    } ranges[] = {{0, ""}, {-1, ""}, {32768, ""}, {1, "1 v. 2.3.1"}, {32767, "32767 v. 2.3.1"}};
    for (const auto& c : ranges) {
        EXPECT_EQ(Id(c.code, 2, 3, 1).GetCodeVersionText(), c.expected) << c.code;
    }
    EXPECT_EQ(Id(77, 5, -1, -1, 2, 7).GetCodeVersionText(), "77 v. 5-beta7");

    CIdentity firmware = Id(1234, 2, 3, 1);
    firmware.AddAttribute(kAttributeRole, kRoleFirmware);
    EXPECT_EQ(firmware.GetDescription(), "Firmware 1234 v. 2.3.1");
    firmware.name = "Drive";
    EXPECT_EQ(firmware.GetDescription(), "Firmware 1234 v. 2.3.1 - Drive");
    CIdentity invalid = Id(0, 1, 0, 0);
    invalid.name = "Nameless";
    EXPECT_EQ(invalid.GetDescription(), " - Nameless");

    CIdentity full = Id(1234, 2, 3, 1);
    full.AddAttribute(kAttributeRole, kRoleBoot);
    full.AddAttribute(kAttributeBrand, 6868);
    full.AddAttribute(9, -4);
    EXPECT_EQ(full.GetFullText(true), "Boot 1234 v. 2.3.1 Vkr '9'='-4'");
    EXPECT_EQ(full.GetFullText(false), "Boot 1234 v. 2.3.1 '9'='-4'");
    CIdentity unknownBrand = Id(5, 1, 0, 0);
    unknownBrand.AddAttribute(kAttributeBrand, 4242);
    EXPECT_EQ(unknownBrand.GetFullText(false), "5 v. 1.0.0");
    EXPECT_EQ(unknownBrand.GetFullText(true), "5 v. 1.0.0 brand='4242'");
    unknownBrand.name = "n";
    EXPECT_EQ(unknownBrand.GetFullText(false), "5 v. 1.0.0 - n");

    EXPECT_EQ(GetRoleText(-1), "");
    EXPECT_EQ(GetRoleText(0), "'0' ");
    EXPECT_EQ(GetRoleText(1), "Hardware ");
    EXPECT_EQ(GetRoleText(4), "Component ");
    EXPECT_EQ(GetBrandText(1), "Vkr");
    EXPECT_EQ(GetBrandText(6871), "Varno");
    EXPECT_EQ(GetBrandText(0), "");
}

TEST(IdentityVersionedText, ReadsDriveTexts) {
    struct Case {
        const char* text;
        int32_t code, major, minor, patch;
        uint32_t state, number;
    } cases[] = {
        {"Firmware 1234 v.2.3.1-beta7", 1234, 2, 3, 1, 2, 7},
        {"Hardware 12 v.1.0.0", 12, 1, 0, 0, 0, 0},
        {"Hardware 12 v.3", 12, 3, -1, -1, 0, 0},
        {"Hardware 12 v.3.4", 12, 3, 4, -1, 0, 0},
        {"Firmware 5 v. 1.0.0", 5, 1, 0, 0, 0, 0},
        {"Firmware 5 v.1.0.0-alpha12", 5, 1, 0, 0, 1, 12},
        {"Firmware 5 v.1.0.0-rc3", 5, 1, 0, 0, 3, 3},
        {"Firmware 5 v.1.0.0-nb1", 5, 1, 0, 0, 4, 1},
        {"Firmware 5 v.1.0.0-fake2", 5, 1, 0, 0, 5, 2},
        {"Firmware 5 v.1.0.0-beta", 5, 1, 0, 0, 2, 0},
        {"Firmware 5 v.1.0.0-gamma3", 5, 1, 0, 0, 6, 0},
        {"Firmware 5 v.1.0.0\r\n", 5, 1, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        CIdentity identity;
        ASSERT_TRUE(identity.ParseText(c.text));
        EXPECT_EQ(identity.code, c.code);
        EXPECT_EQ(identity.version.major, c.major);
        EXPECT_EQ(identity.version.minor, c.minor);
        EXPECT_EQ(identity.version.patch, c.patch);
        EXPECT_EQ(identity.version.preState, c.state);
        EXPECT_EQ(identity.version.preNumber, c.number);
        EXPECT_FALSE(identity.version.majorOnly);
    }
}

TEST(IdentityVersionedText, TextEndsAtTheFirstZeroOfTheBuffer) {
    std::string buffer("Firmware 5 v.1.0.2");
    buffer.resize(100, '\0');
    buffer.replace(40, 5, "junk!");
    CIdentity identity;
    ASSERT_TRUE(identity.ParseText(buffer));
    EXPECT_EQ(identity.GetCodeVersionText(), "5 v. 1.0.2");
}

TEST(IdentityVersionedText, RefusesMalformedTexts) {
    const char* refused[] = {"",
                             "Firmware",
                             "Firmware 1234",
                             "Firmware  1234 v.1.0.0",
                             " 1234 v.1.0.0",
                             "Firmware v.1.0.0",
                             "Firmware 12 1.0.0",
                             "Firmware 12 v.",
                             "Firmware 12 v.1.0.0 junk",
                             "Firmware 12 v.1.x",
                             "Firmware 12 v.1.0.0-",
                             "Firmware 12 v.1.0.0-beta7x",
                             "Firmware 12 v.1.0.0-thisprereleasewordistoolong1",
                             "Firmware 12 v.3-beta2",
                             "Firmware -12 v.1.0.0",
                             "Firmware 12x v.1.0.0"};
    for (const char* text : refused) {
        SCOPED_TRACE(text);
        CIdentity identity = Id(3, 3, 3, 3);
        EXPECT_FALSE(identity.ParseText(text));
        ExpectDefault(identity);
    }
}

TEST(IdentitySet, SetAndLegacy) {
    CIdentity identity;
    identity.Set(20, 3, -1, 0, kRoleHardware);
    EXPECT_TRUE(identity.version.majorOnly);
    EXPECT_EQ(identity.GetRole(), kRoleHardware);
    identity.Set(20, 3, 1, 0, 0);
    EXPECT_FALSE(identity.version.majorOnly);
    EXPECT_EQ(identity.GetRole(), -1);

    identity.SetLegacy(20, 3, 0, true);
    EXPECT_EQ(identity.GetCompactText(), "20,3,-1,-1,0,0,1,3");
    identity.SetLegacy(20, 3, 12, false);
    EXPECT_EQ(identity.GetCompactText(), "20,3,-1,-1,2,12,1,2");

    CIdentity copy = identity;
    identity.RemoveAllAttributes();
    EXPECT_EQ(copy.attributes.size(), 1u);
    EXPECT_TRUE(identity.attributes.empty());
    copy.Clear();
    ExpectDefault(copy);
}

class IdentityXml : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(document_.Load(TUNOVA_FIXTURES "/foundation/identity/components.xml"), S_OK);
        components_ = ChildrenNamed(document_.Root(), "Component");
        entries_ = ChildrenNamed(document_.Root(), "Entry");
        ASSERT_EQ(components_.size(), 3u);
        ASSERT_EQ(entries_.size(), 5u);
    }
    CXmlDocument document_;
    std::vector<CXmlNode*> components_;
    std::vector<CXmlNode*> entries_;
};

TEST_F(IdentityXml, ComponentElementsBothWays) {
    CIdentity firmware(components_[0]);
    EXPECT_EQ(firmware.code, 1234);
    EXPECT_EQ(firmware.name, "Main firmware");
    EXPECT_EQ(firmware.version.GetText(), "2.3.1-beta7");
    EXPECT_EQ(firmware.GetCompactText(), "1234,2,3,1,2,7,1,3,2,6868,9,-4");  // any element name in Attributes

    CIdentity boot(components_[1]);
    EXPECT_TRUE(boot.version.majorOnly);
    EXPECT_EQ(boot.GetCompactText(), "77,5,-1,-1,0,0");

    CIdentity bare(components_[2]);
    EXPECT_EQ(bare.code, 12);
    EXPECT_EQ(bare.version.major, -1);
    EXPECT_FALSE(bare.version.majorOnly);

    CIdentity none(nullptr);
    ExpectDefault(none);

    CXmlDocument written;
    written.Root().SetName("Components");
    firmware.WriteComponentNode(&written.Root());
    boot.WriteComponentNode(&written.Root());
    std::string text;
    ASSERT_EQ(written.GetXml(text), S_OK);
    EXPECT_EQ(
        text,
        "<Components>"
        "<Component code=\"1234\" name=\"Main firmware\"><Version major=\"2\" minor=\"3\" patch=\"1\">"
        "<Prerelease state=\"2\" version=\"7\"/></Version><Attributes><Attribute code=\"1\" value=\"3\"/>"
        "<Attribute code=\"2\" value=\"6868\"/><Attribute code=\"9\" value=\"-4\"/></Attributes></Component>"
        "<Component code=\"77\"><Version major=\"5\" minor=\"-1\" patch=\"-1\"/><Attributes/></Component>"
        "</Components>");
    CIdentity back(written.Root().Children()[0]);
    EXPECT_EQ(back.GetCompactText(), firmware.GetCompactText());
    EXPECT_EQ(back.name, firmware.name);
}

TEST_F(IdentityXml, DeviceNodesWithLegacyFallback) {
    struct Case {
        const char* compact;
        const char* name;
    } expected[] = {
        {"1234,2,3,1,0,0,1,3", "Compact entry"},
        {"20,3,-1,-1,0,0,1,3", "Code 0 falls back"},  // pver with code 0: legacy attributes
        {"20,3,-1,-1,2,12,1,2", ""},                  // build 12 and no type: beta 12, boot
        {"21,4,-1,-1,0,0,1,3", ""},                   // malformed pver: legacy attributes
        {"22,2,-1,-1,0,0,1,2", ""},                   // pver that is no compact text, hex legacy code
    };
    for (size_t i = 0; i < entries_.size(); ++i) {
        SCOPED_TRACE(i);
        CIdentity identity;
        identity.ReadDeviceNode(entries_[i]);
        EXPECT_EQ(identity.GetCompactText(), expected[i].compact);
        EXPECT_EQ(identity.name, expected[i].name);
    }
}

TEST_F(IdentityXml, ProductElement) {
    CIdentity product;
    product.ReadProductNode(document_.Root().FindNode("Item"));
    EXPECT_EQ(product.code, 4321);
    EXPECT_EQ(product.name, "Servo XS");
    EXPECT_TRUE(product.version.majorOnly);  // patch missing
    EXPECT_EQ(product.version.GetText(), "1-rc2");
    EXPECT_EQ(product.GetRole(), kRoleHardware);
    product.ReadProductNode(nullptr);
    ExpectDefault(product);
}

}  // namespace
