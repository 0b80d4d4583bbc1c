// Identity items and connection details of the drive object, and the edit-value writes.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "drive/Qd.h"
#include "foundation/ProgramFolders.h"
#include "platform/Registry.h"
#include "tests/drive/DriveObjectTestSupport.h"

using namespace drive;

namespace {

class DriveIdentityTest : public ::testing::Test {
  protected:
    drivetest::DriveTree tree;
    enginetest::PromptScope prompts;
    CQd qd{0};
};

TEST(FwUpdateFilter, WholeNumbersOnly) {
    struct Case {
        const char* filter;
        uint32_t code;
        bool match;
    } cases[] = {
        {"+*-123", 123, false}, {"+*-123", 12, true}, {"+*-123", 1234, true}, {"+12+13", 13, true},
        {"+12", 123, false},    {"+123", 12, false},  {"", 5, false},         {"+ 1 2", 12, true},
        {"-5", 5, false},       {"+*", 7, true},      {"+*,-7", 7, false},    {"+7-7", 7, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FwUpdateFilterMatches(c.filter, c.code), c.match) << c.filter << " " << c.code;
}

TEST_F(DriveIdentityTest, FwUpdateFilterFromTheRegistry) {
    const std::string key = foundation::GetProductKey() + "\\FwUpdate";
    platform::Registry& registry = platform::Registry::Instance();
    qd.State().hw = 12;
    qd.State().sw = 1234;
    qd.CheckFwUpdateFilter();
    EXPECT_FALSE(qd.Identity().fwUpdateApplies) << "no key";

    ASSERT_TRUE(registry.SetString(platform::Scope::User, key, "FilterHw", "+*-123"));
    qd.CheckFwUpdateFilter();
    EXPECT_FALSE(qd.Identity().fwUpdateApplies) << "no software filter";
    ASSERT_TRUE(registry.SetString(platform::Scope::User, key, "FilterSw", "+1234"));
    qd.CheckFwUpdateFilter();
    EXPECT_TRUE(qd.Identity().fwUpdateApplies);
    qd.State().hw = 123;
    qd.CheckFwUpdateFilter();
    EXPECT_FALSE(qd.Identity().fwUpdateApplies);
    qd.SetFwUpdateOverride(true);
    qd.CheckFwUpdateFilter();
    EXPECT_TRUE(qd.Identity().fwUpdateApplies);
    registry.DeleteKey(platform::Scope::User, key);
}

TEST_F(DriveIdentityTest, ConnectionTextPerKind) {
    CConnectionRecord& r = qd.ConnectionWindow().Record();
    r.channelName = "ttyUSB0";
    r.bridgeAddress = 0x0A000005;
    r.bridgeSubnet = 2;
    r.bridgeSubnetId = 1;
    r.bridgeNodeId = 3;
    r.bcAddress = 0xC0A80001;
    r.bcSubnet = 4;
    r.bcSubnetId = 0;
    r.bcNodeId = 851;
    r.amsNetId = {5, 6, 7, 8, 1, 1};
    struct Case {
        uint16_t kind;
        const char* text;
    } cases[] = {
        {connection_kind::kOffline, ""},
        {connection_kind::kSerial, "ttyUSB0"},
        {connection_kind::kFurther2, ""},
        {connection_kind::kLibrary, "10.0.0.5 - CAN1 - Node 3"},
        {connection_kind::kBridge, "192.168.0.1 - ETH0 - Node 851"},
        {connection_kind::kTwinCat, "5.6.7.8.1.1 - ETH - Node 851"},
        {connection_kind::kBox, "Mirel 192.168.0.1"},
    };
    for (const Case& c : cases) {
        r.channelType = c.kind;
        std::string text = "x";
        qd.GetConnectionText(text);
        EXPECT_EQ(text, c.text) << c.kind;
    }
}

TEST(DriveIdentityItems, SizeCodeAndOrderCodeOptions) {
    struct Size {
        const char* name;
        int32_t code;
    } sizes[] = {{"AB3X/12", 3}, {"/x", 0}, {"a/", 0},   {"ab/", 0},
                 {"5b/", 5},     {"", 0},   {"1234", 0}, {"x7y/z/", 7}};
    for (const Size& s : sizes) EXPECT_EQ(SizeCodeFromSystemName(s.name), s.code) << s.name;
    EXPECT_EQ(OrderCodeOptionText(true, 0x4142), "AB");
    EXPECT_EQ(OrderCodeOptionText(true, 0x3039), "09");
    EXPECT_EQ(OrderCodeOptionText(false, 0x4142), "??");
    EXPECT_EQ(OrderCodeOptionText(true, 0x4100), "??");
    EXPECT_EQ(OrderCodeOptionText(true, 0x2D41), "??");
}

TEST(DriveIdentityItems, UserDriveNameBytes) {
    EXPECT_EQ(CQd::UserDriveNameBytes("Ab", 100), (std::vector<uint8_t>{'A', 'b', 0, 0, 0}));
    EXPECT_EQ(CQd::UserDriveNameBytes("", 100), (std::vector<uint8_t>{0, 0, 0, 0, 0}));
    EXPECT_EQ(CQd::UserDriveNameBytes("Drive-1", 100).size(), 8u);
    const std::vector<uint8_t> longName = CQd::UserDriveNameBytes(std::string(150, 'x'), 100);
    ASSERT_EQ(longName.size(), 100u) << "never past the item";
    EXPECT_EQ(longName[98], 'x');
    EXPECT_EQ(longName[99], 0);
    const std::vector<uint8_t> cut = CQd::UserDriveNameBytes(std::string(98, 'a') + "\xC3\xA9", 100);
    ASSERT_EQ(cut.size(), 99u) << "a character is not split";
    EXPECT_EQ(cut[98], 0);
    EXPECT_EQ(CQd::UserDriveNameBytes("abc", 3), (std::vector<uint8_t>{'a', 'b', 0}));
}

TEST_F(DriveIdentityTest, FactorFormEditValues) {
    drivetest::FakeCellPort port;
    qd.ConnectionWindow().SetCellPort(&port);
    struct Case {
        const char* text;
        const char* type;
        int32_t factor;
        int result;
        int32_t written;
    } cases[] = {
        {"2.5", "M", 2, 0, 1},   {"-2.5", "D", 1, 0, -3},        {"2.5", "", 7, 0, 3},
        {" 10 ", "D", 3, 0, 30}, {"1e12", "D", 1, 0, INT32_MAX}, {"-1e12", "M", 1, 0, INT32_MIN},
        {"abc", "D", 1, -1, 0},  {"3,5", "D", 1, -1, 0},         {"nan", "D", 1, -1, 0},
        {"inf", "M", 1, -1, 0},  {"5", "M", 0, -1, 0},           {"5", "D", 0, -1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.text << " " << c.type << " " << c.factor);
        port.written.clear();
        prompts.Prompts().Clear();
        CParamDw cell;
        EXPECT_EQ(qd.WriteEditValue("Gain", c.text, c.type, c.factor, &cell), c.result);
        if (c.result == 0) {
            ASSERT_EQ(port.written.count("Gain"), 1u);
            EXPECT_EQ(static_cast<int32_t>(port.written["Gain"]), c.written);
            EXPECT_EQ(static_cast<int32_t>(cell.value), c.written);
            EXPECT_EQ(cell.status, kCellValid);
            EXPECT_EQ(prompts.Prompts().AskedCount(), 0u);
        } else {
            EXPECT_TRUE(port.written.empty()) << "nothing written";
            EXPECT_EQ(cell.status, kCellNotRead);
            ASSERT_EQ(prompts.Prompts().AskedCount(), 1u);
            EXPECT_EQ(prompts.Prompts().Asked()[0].args.at(1), "Gain write error - WriteEditValue");
        }
    }
}

TEST_F(DriveIdentityTest, TransfersWithoutEngineAndGroupOfAnUnknownItem) {
    // No node: the dictionary does not hold the item; the cell says so and the engine is not asked.
    CParamDw cell;
    EXPECT_EQ(qd.AddCellToGroup(0, "Anything", cell, 0x93), -303);
    EXPECT_EQ(cell.status, kCellNonexistent);
    EXPECT_EQ(cell.userTag, 0x93u);
    EXPECT_EQ(cell.sizeSign, 0);
    uint8_t isSigned = 9, writable = 9;
    uint32_t size = 9;
    EXPECT_EQ(qd.GetCellInfo("Anything", &isSigned, &size, &writable), -303);
    char buffer[16];
    EXPECT_LT(qd.UploadCell("Anything", buffer, sizeof buffer), 0);
    EXPECT_EQ(qd.LastErrorText().rfind("Upload error on 'Anything': ", 0), 0u) << qd.LastErrorText();

    // No channel chosen yet.
    EXPECT_EQ(qd.PauseCyclicReads(), -31);
    EXPECT_TRUE(qd.CyclicReadsPaused());
    EXPECT_EQ(qd.ConnectionWindow().Engine()->ErrorText(), "wrong channel");
    EXPECT_EQ(qd.ResumeCyclicReads(), -31);
    EXPECT_FALSE(qd.CyclicReadsPaused());
}

}  // namespace
