// Loading a drive configuration answer into the drive object: result codes, device group and bus
// type, and the named conditions that cut the client section down.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "drive/Qd.h"
#include "foundation/XmlDocument.h"
#include "tests/drive/DriveObjectTestSupport.h"

using namespace drive;
using namespace foundation;

namespace {

// A configuration answer with the given client attributes and client content.
std::string Answer(const std::string& clientAttributes, const std::string& client) {
    return "<DEVICE hw=\"12\" sw=\"1234\" sw_ver=\"2\"><Description>Test drive</Description><ClientList>"
           "<Client name=\"Other\"><Data><Type group=\"9\"/></Data></Client>"
           "<Client name=\"Orvalis\" " +
           clientAttributes + ">" + client + "</Client></ClientList></DEVICE>";
}

class ConfigurationTest : public ::testing::Test {
  protected:
    int Load(const std::string& text) {
        CXmlDocument doc;
        EXPECT_EQ(doc.LoadXml(text), S_OK) << text;
        return qd.LoadConfiguration(doc);
    }
    int Result(const std::string& name) {
        const auto it = qd.ConditionResults().find(name);
        return it == qd.ConditionResults().end() ? -1 : it->second;
    }

    drivetest::DriveTree tree;
    enginetest::PromptScope prompts;
    CQd qd{0};
};

TEST_F(ConfigurationTest, ResultCodes) {
    struct Case {
        std::string text;
        int result;
        const char* error;
    } cases[] = {
        {"<DEVICE sw=\"1\"><ClientList/></DEVICE>", 1, "Configuration file corrupted: missing 'Client' node"},
        {Answer("", "<Other/>"), 2, "Configuration file corrupted: missing 'Data' node"},
        {Answer("", "<Data><Type Class=\"servo\"/></Data>"), 6,
         "Configuration file corrupted: missing group type attribute"},
        {Answer("", "<Data><Type group=\"1\"/></Data>"), 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        prompts.Prompts().Clear();
        EXPECT_EQ(Load(c.text), c.result);
        EXPECT_EQ(qd.LastErrorText(), c.error);
        EXPECT_EQ(prompts.Prompts().AskedCount(), c.result == 0 ? 0u : 1u);
    }
    EXPECT_EQ(qd.State().sw, 1234u);
    EXPECT_EQ(qd.State().hw, 12u);
    EXPECT_EQ(qd.State().description, "Test drive");

    // Missing group while message boxes are suppressed: the code, no box.
    qd.SetSilent(true);
    prompts.Prompts().Clear();
    EXPECT_EQ(Load(Answer("", "<Data><Type/></Data>")), 6);
    EXPECT_EQ(prompts.Prompts().AskedCount(), 0u);
}

TEST_F(ConfigurationTest, RefusedVersionAsksAndYesGoesOn) {
    const std::string text = Answer("minVer=\"999.0\"", "<Data><Type group=\"1\"/></Data>");
    prompts.Prompts().PushAnswer(platform::IDNO);
    EXPECT_EQ(Load(text), 3);
    ASSERT_EQ(prompts.Prompts().AskedCount(), 1u);
    const auto asked = prompts.Prompts().Asked()[0];
    EXPECT_EQ(asked.caption, "Tunova incompatibility");
    EXPECT_NE(asked.text.find("minimum version 999.0\nIt is highly recommended"), std::string::npos)
        << asked.text;
    EXPECT_EQ(asked.flags, platform::MB_YESNOCANCEL | platform::MB_ICONERROR | platform::MB_DEFBUTTON2);

    prompts.Prompts().PushAnswer(platform::IDYES);
    EXPECT_EQ(Load(text), 0);

    qd.SetSilent(true);
    prompts.Prompts().Clear();
    EXPECT_EQ(Load(text), 3) << "suppressed boxes refuse";
    EXPECT_EQ(prompts.Prompts().AskedCount(), 0u);
}

TEST_F(ConfigurationTest, GroupFlagsAndBusType) {
    struct Case {
        const char* data;
        int group;
        bool standAlone;
        int bus;
    } cases[] = {
        {"<Type group=\"1\"/>", 1, false, 1},
        {"<Type group=\"3\"/><BUS Type=\"CAN\" format=\"1\"/>", 3, true, 3},
        {"<Type group=\"3\"/><StandAlone Type=\"0\"/><BUS Type=\"CAN\"/>", 3, false, 2},
        {"<Type group=\"2\"/><StandAlone Type=\"1\"/><BUS Type=\"MB485\"/>", 2, true, 4},
        {"<Type group=\"12\"/><BUS Type=\"ETHERCAT\"/>", 12, true, 6},
        {"<Type group=\"5\"/><BUS Type=\"PROFIBUS\"/>", 5, false, 5},
        {"<Type group=\"5\"/><BUS Type=\"PROFINET\"/>", 5, false, 7},
        {"<Type group=\"5\"/><BUS Type=\"NONE\"/>", 5, false, 10},
        {"<Type group=\"5\"/><BUS Type=\"SERCOS\"/>", 5, false, 8},
    };
    EXPECT_EQ(qd.State().busType, CQd::kBusTypeNone);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.data);
        ASSERT_EQ(Load(Answer("", std::string("<Data>") + c.data + "</Data>")), 0);
        EXPECT_EQ(qd.State().group, c.group);
        EXPECT_EQ(qd.State().standAlone, c.standAlone);
        EXPECT_EQ(qd.State().busType, c.bus);
        EXPECT_EQ(qd.State().newNaming, c.group == 12);
    }
    ASSERT_EQ(
        Load(Answer("",
                    "<Data><Type group=\"10\" Class=\"regulator\">boot</Type><Digital_IO Functions=\"yes\"/>"
                    "<Inertia Relative=\"1\"/><AnalogInput Type=\"2\"/><Extra><Enums>"
                    "<States name=\"StateWord\"><El Value=\"1\" Text=\"Ready\"/></States>"
                    "<ControlModes><El Value=\"3\" Text=\"Voltage\"/></ControlModes>"
                    "</Enums></Extra></Data>")),
        0);
    EXPECT_TRUE(qd.State().bootOnly);
    EXPECT_EQ(qd.State().className, "regulator");
    EXPECT_TRUE(qd.State().digitalIoFunctions);
    EXPECT_TRUE(qd.State().relativeInertia);
    EXPECT_EQ(qd.State().analogInputType, 2);
    EXPECT_EQ(qd.State().statusWordCell, "StateWord");
    EXPECT_EQ(qd.State().controlModeCell, "ControlMode");
    EXPECT_EQ(qd.State().stateTexts.at(1), "Ready");
    EXPECT_EQ(qd.State().controlModeTexts.at(3), "Voltage");
}

TEST_F(ConfigurationTest, ErrorWordCells) {
    ASSERT_EQ(Load(Answer("", "<Data><Type group=\"1\"/></Data>")), 0);
    EXPECT_EQ(qd.State().errorWordCells[0], "DriveDynamicWarning");
    EXPECT_EQ(qd.State().errorWordCells[3], "DriveAlarm");
    ASSERT_EQ(
        Load(Answer("",
                    "<Data><Type group=\"1\"/><ERRORLIST>"
                    "<GROUP name=\"WarningErrors\"><GROUP name=\"WDynamicErrors\"><ERROR address=\"Wd\"/>"
                    "</GROUP><GROUP name=\"WRetentiveErrors\"><ERROR address=\"Wr\"/><ERROR address=\"x\"/>"
                    "</GROUP></GROUP><GROUP name=\"FaultErrors\"><GROUP name=\"FDynamicErrors\">"
                    "<ERROR address=\"Fd\"/></GROUP><GROUP name=\"FRetentiveErrors\"><ERROR address=\"Fr\"/>"
                    "</GROUP></GROUP></ERRORLIST></Data>")),
        0);
    EXPECT_EQ(qd.State().errorWordCells[0], "Wd");
    EXPECT_EQ(qd.State().errorWordCells[1], "Wr");
    EXPECT_EQ(qd.State().errorWordCells[2], "Fd");
    EXPECT_EQ(qd.State().errorWordCells[3], "Fr");
}

TEST_F(ConfigurationTest, ConditionsCutTheClientSection) {
    const std::string conditions =
        "<Conditions>"
        "<Cond name=\"Masked\"><Cell name=\"A\" mask=\"0x0F\" value=\"1,2\"/></Cond>"
        "<Cond name=\"Absent\"><Not><Cell name=\"Missing\" value=\"0\"/></Not></Cond>"
        "<Cond name=\"EmptyAnd\"><And/></Cond>"
        "<Cond name=\"EmptyOr\"><Or/></Cond>"
        "<Cond name=\"EmptyNot\"><Not/></Cond>"
        "<Cond name=\"Ref\"><Cond name=\"Masked\"/></Cond>"
        "<Cond name=\"Forward\"><Cond name=\"Later\"/></Cond>"
        "<Cond name=\"Unknown\"><Whatever/></Cond>"
        "<Cond name=\"Greater\"><Or><Cell name=\"B\" gt=\"-3\"/><Cell name=\"B\" lt=\"-10\"/></Or></Cond>"
        "<Cond name=\"NotList\"><And><Cell name=\"B\" not=\"5,6\"/><Cell name=\"B\" not=\"\"/></And></Cond>"
        "<Cond name=\"EmptyValue\"><Cell name=\"B\" value=\"\"/></Cond>"
        "<Cond name=\"NoTest\"><Cell name=\"B\"/></Cond>"
        "<Cond name=\"Later\"><And/></Cond>"
        "</Conditions>";
    const std::string data =
        "<Data><Type group=\"1\"/>"
        "<Page _cond=\"Masked\" title=\"masked\"><Item _cond=\"Absent\" id=\"1\">kept</Item></Page>"
        "<Page _cond=\"EmptyOr\" title=\"gone\"/>"
        "<Page _cond=\"NoSuchCondition\" title=\"gone too\"/>"
        "<Page title=\"plain\"><Item _cond=\"EmptyValue\"/></Page>"
        "</Data>";
    ASSERT_EQ(Load(Answer("", conditions + data)), 0);
    EXPECT_EQ(qd.ConditionCells().size(), 2u) << "cells below Not are not collected";
    EXPECT_EQ(qd.ConditionCells().count("A"), 1u);
    EXPECT_EQ(qd.ConditionCells().count("B"), 1u);

    // Without a drive every cell reads 0.
    EXPECT_EQ(Result("Masked"), 0);
    EXPECT_EQ(Result("Absent"), 1) << "an absent cell is false, Not makes it true";
    EXPECT_EQ(Result("EmptyAnd"), 1);
    EXPECT_EQ(Result("EmptyOr"), 0);
    EXPECT_EQ(Result("EmptyNot"), 1);
    EXPECT_EQ(Result("Forward"), 0) << "a condition is known only after it was evaluated";
    EXPECT_EQ(Result("Unknown"), 0);
    EXPECT_EQ(Result("Greater"), 1);
    EXPECT_EQ(Result("NotList"), 1);
    EXPECT_EQ(Result("EmptyValue"), 0);
    EXPECT_EQ(Result("NoTest"), 0);

    const CXmlNode& root = qd.Configuration().Root();
    EXPECT_EQ(root.Name(), "Client");
    EXPECT_EQ(root.GetAttribute("name"), "Orvalis");
    ASSERT_NE(qd.DriveData(), nullptr);
    std::string xml;
    ASSERT_EQ(const_cast<CXmlDocument&>(qd.Configuration()).GetXml(xml), S_OK);
    EXPECT_EQ(xml.find("masked"), std::string::npos);
    EXPECT_EQ(xml.find("gone"), std::string::npos);
    EXPECT_NE(xml.find("plain"), std::string::npos);
    EXPECT_EQ(xml.find("_cond"), std::string::npos);
    EXPECT_EQ(xml.find("<Item"), std::string::npos);

    // 0x12 masked with 0x0F is 2: in the list. B = -2: greater than -3, and not 5 or 6.
    EXPECT_TRUE(qd.ReadConditions({{"A", 0x12}, {"Missing", 7}}));
    EXPECT_EQ(Result("Masked"), 1);
    EXPECT_EQ(Result("Ref"), 1);
    EXPECT_FALSE(qd.ReadConditions({{"A", 0x12}})) << "nothing changed";
    EXPECT_FALSE(qd.ReadConditions({{"A", 0x22}})) << "a change that leaves every result";
    EXPECT_FALSE(qd.ReadConditions({{"B", -2}}));
    EXPECT_TRUE(qd.ReadConditions({{"B", 5}}));
    EXPECT_EQ(Result("NotList"), 0);
    EXPECT_EQ(Result("Greater"), 1);
    EXPECT_TRUE(qd.ReadConditions({{"B", -20}, {"A", 0x13}}));
    EXPECT_EQ(Result("Greater"), 1);
    EXPECT_EQ(Result("Masked"), 0);
}

TEST(ConditionNumber, DecimalThenHexadecimal) {
    struct Case {
        const char* text;
        int32_t value;
    } cases[] = {{"12", 12},
                 {"-7", -7},
                 {"0x1F", 31},
                 {"0xFFFFFFFF", -1},
                 {"0", 0},
                 {"", 0},
                 {" 0x10", 16},
                 {"4294967295", -1},
                 {"10x", 10},
                 {"0X10", 0},
                 {"2147483648", INT32_MIN}};
    for (const Case& c : cases) EXPECT_EQ(ParseConditionNumber(c.text), c.value) << c.text;
}

}  // namespace
