#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "drive/ParamFileFormat.h"
#include "engine/VocabularyItem.h"
#include "foundation/XmlDocument.h"
#include "foundation/XmlNode.h"

using namespace foundation;
using namespace engine;
using namespace drive;

namespace fs = std::filesystem;

namespace {

VocabularyItem Item(const std::string& name, const std::string& title, uint16_t writeLevel, int32_t restore,
                    uint16_t readLevel = 0) {
    VocabularyItem v;
    v.name = name;
    v.title = title;
    v.writeLevel = writeLevel;
    v.readLevel = readLevel;
    v.restore = restore;
    v.size = 2;
    return v;
}

std::vector<std::string> Names(const std::vector<ParamFileItem>& items) {
    std::vector<std::string> out;
    for (const auto& i : items) out.push_back(i.name);
    return out;
}

TEST(ParamFileList, OrdersByLevelRestoreAndTitle) {
    std::vector<VocabularyItem> dict = {
        Item("uB", "", 0, 1),          Item("uA", "Zeta", 0, 1), Item("uFirst", "zz", 0, 0 + 1),
        Item("f2", "", 200, 5),        Item("i1", "", 100, 1),   Item("f1", "", 200, 7),
        Item("neg", "", 0, -2),        Item("info2", "B", 0, 0), Item("info1", "A", 0, 0),
        Item("hidden", "", 0, 0, 300), Item("high", "", 300, 1), Item("same", "Zeta", 0, 1),
    };
    std::vector<ParamFileItem> params, info;
    BuildParameterFileList(dict, 200, params, &info);
    // Factory before integrator before user, whatever the Restore order; equal sort texts keep
    // dictionary order; bytewise comparison puts "Zeta" before "uB" and "zz".
    EXPECT_EQ(Names(params), (std::vector<std::string>{"f2", "f1", "i1", "uA", "same", "uB", "uFirst"}));
    EXPECT_EQ(Names(info), (std::vector<std::string>{"info1", "info2"}));

    BuildParameterFileList(dict, 0, params, nullptr);
    EXPECT_EQ(Names(params), (std::vector<std::string>{"uA", "same", "uB", "uFirst"}));
}

TEST(ParamFileList, AllNegativeRestoreGivesEmptyLists) {
    std::vector<VocabularyItem> dict = {Item("a", "", 0, -2), Item("b", "", 0, -1)};
    std::vector<ParamFileItem> params, info;
    BuildParameterFileList(dict, 200, params, &info);
    EXPECT_TRUE(params.empty());
    EXPECT_TRUE(info.empty());
}

struct ValueCase {
    const char* name;
    uint32_t size;
    bool isSigned;
    std::vector<uint8_t> bytes;
    bool guid;
    const char* expected;
};

TEST(ParamFileValueText, Rules) {
    std::vector<uint8_t> ab(20, 0);
    ab[0] = 'A';
    ab[1] = 'B';
    std::vector<uint8_t> abHex = ab;
    abHex[3] = 0x41;
    std::vector<uint8_t> ctrl(20, 0);
    ctrl[0] = 0x01;
    std::vector<uint8_t> guid = {0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66,
                                 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
    std::vector<uint8_t> name = {'D', 'r', 'v', 0};
    const ValueCase cases[] = {
        {"s4", 4, true, {0xFF, 0xFF, 0xFF, 0xFF}, false, "-1"},
        {"u4", 4, false, {0xFF, 0xFF, 0xFF, 0xFF}, false, "4294967295"},
        {"s2", 2, true, {0xFE, 0xFF, 0xAA, 0xAA}, false, "-2"},
        {"u2", 2, false, {0x2C, 0x01, 0, 0}, false, "300"},
        {"s1", 1, true, {0x80, 0, 0, 0}, false, "-128"},
        {"u1", 1, false, {0x80, 0x12, 0, 0}, false, "128"},
        {"text", 20, false, ab, false, "'AB'"},
        {"text", 20, false, abHex, false,
         "0x41420041000000000000000000000000000000"
         "00"},
        {"text", 20, false, ctrl, false, "''"},
        {"unsized", 0, false, ab, false, "'AB'"},
        {"UserDriveName", 4, false, name, false, "'Drv'"},
        {"Motor.Guid", 16, false, guid, true, "00112233-4455-6677-8899-aabbccddeeff"},
        {"raw16", 16, false, guid, false, "0x33221100554477668899AABBCCDDEEFF"},
    };
    for (const ValueCase& c : cases) {
        ParamFileItem item;
        item.name = c.name;
        item.size = c.size;
        item.isSigned = c.isSigned;
        std::string text;
        EXPECT_TRUE(FormatParamValueText(item, c.bytes.data(), c.bytes.size(), c.guid, text)) << c.name;
        EXPECT_EQ(text, c.expected) << c.name;
    }
    ParamFileItem small;
    small.size = 16;
    std::string text;
    uint8_t few[4] = {};
    EXPECT_FALSE(FormatParamValueText(small, few, sizeof few, true, text));
}

TEST(ParamFileValueText, BusAddressKinds) {
    const std::pair<int, const char*> cases[] = {{1, "CAN"}, {2, "CAN"}, {3, "CAN"}, {4, "MDB"}, {5, "PRF"},
                                                 {6, "ETH"}, {7, "PNT"}, {9, ""},    {0, ""}};
    for (auto [code, text] : cases) EXPECT_EQ(BusAddressKindText(code), text) << code;
}

class ParamFileDocumentTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/tunova_paramfile_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

ParamFileDeviceInfo SampleDevice() {
    ParamFileDeviceInfo d;
    d.creatorBy = "1.4.0";
    d.creatorRev = "812";
    d.day = 3;
    d.month = 7;
    d.year = 2026;
    d.hour = 9;
    d.minute = 5;
    d.second = 0;
    d.type = 1201;
    d.hw = 111;
    d.hwRev = 2;
    d.swRev = 13;
    d.build = 4501;
    d.descr = "Servo 3A";
    d.infoFormatType = 1;
    d.paramsFormatType = 2;
    d.busType = 4;
    d.ownIdentities = {{1, 111, 1, 2, 3, 0, 0}, {2, 0, 9, 9, 9, 0, 0}, {3, 40000, 1, 0, 0, 0, 0}};
    d.componentIdentities = {{4, 77, 2, 0, 1, 1, 3}};
    return d;
}

TEST_F(ParamFileDocumentTest, MatchesGoldenFile) {
    ParamFileDeviceInfo device = SampleDevice();
    device.diagnosticHistory = {"Evt 1 power on"};
    device.compatKeys = {{5, true, 3, 0, 0, 0, 0}, {6, false, 1, 2, 3, 1, 4}};
    CXmlDocument components;
    ASSERT_EQ(components.LoadXml("<Components><Node Code=\"77\"/></Components>"), S_OK);
    device.components = &components.Root();

    ParamFileItem p1;
    p1.name = "Speed";
    p1.size = 2;
    p1.modbusAddress = 5000;
    p1.busAddress = "0x2000.1";
    p1.writeLevel = 200;
    p1.valueText = "300";
    p1.valueRead = true;
    ParamFileItem p2 = p1;
    p2.name = "Unread";
    p2.valueRead = false;
    ParamFileItem p3 = p1;
    p3.name = "Odd";
    p3.writeLevel = 50;
    p3.valueText = "'X'";
    ParamFileItem i1;
    i1.name = "Serial";
    i1.valueText = "'S1'";
    i1.valueRead = true;

    CXmlDocument doc;
    BuildParameterDocumentHeader(doc, device);
    AppendParameterDocumentBody(doc, device, {p1, p2, p3}, {i1}, {"'A' read error: x"},
                                {"'B' read error: y"});
    fs::path out = dir_ / "out.xml";
    ASSERT_EQ(doc.Save(out), S_OK);

    std::ifstream a(out, std::ios::binary),
        b(fs::path(TUNOVA_FIXTURES) / "drive/paramfiles/export_golden.xml", std::ios::binary);
    std::stringstream sa, sb;
    sa << a.rdbuf();
    sb << b.rdbuf();
    if (std::getenv("TUNOVA_UPDATE_GOLDEN")) {
        std::ofstream(fs::path(TUNOVA_FIXTURES) / "drive/paramfiles/export_golden.xml", std::ios::binary)
            << sa.str();
    }
    EXPECT_EQ(sa.str(), sb.str());
}

TEST_F(ParamFileDocumentTest, DefaultCompatibilityKeysAndNoBusAddressKind) {
    ParamFileDeviceInfo device = SampleDevice();
    device.busType = 9;
    device.compatKeys.clear();
    CXmlDocument doc;
    BuildParameterDocumentHeader(doc, device);
    ParamFileItem p;
    p.name = "P";
    p.valueRead = true;
    AppendParameterDocumentBody(doc, device, {p}, {}, {}, {});
    const CXmlNode* compat = doc.Root().FindNode("DEVICE\\COMPATIBILITY");
    ASSERT_NE(compat, nullptr);
    ASSERT_EQ(compat->Children().size(), 2u);
    EXPECT_EQ(compat->Children()[0]->GetAttributeInt("CmpKey", 0), 111);
    EXPECT_EQ(compat->Children()[1]->GetAttributeInt("CmpKey", 0), 1201);
    EXPECT_EQ(compat->Children()[1]->GetAttributeInt("Patch", 0), 1);
    const CXmlNode* params = doc.Root().FindNode("DEVICE\\PARAMETERS");
    ASSERT_NE(params, nullptr);
    EXPECT_EQ(params->FindAttribute("BusAddress"), nullptr);
    EXPECT_EQ(doc.Root().FindNode("DEVICE\\INFO"), nullptr);
    EXPECT_EQ(doc.Root().FindNode("DEVICE\\Errors"), nullptr);
    EXPECT_NE(doc.Root().FindNode("DEVICE\\COMPONENTS"), nullptr);
}

}  // namespace
