#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <set>
#include <string>

#include <unistd.h>

#include "drive/DriveDescription.h"
#include "drive/Parametri.h"
#include "foundation/XmlDocument.h"
#include "platform/Prompt.h"

using namespace foundation;
using namespace drive;

namespace {

const std::filesystem::path kFolder = std::filesystem::path(TUNOVA_FIXTURES) / "drive" / "descriptions";

class TestHost : public CDriveDescriptionHost {
  public:
    std::set<std::string> known{"Vel", "Cur", "Pos", "Vel2", "Trq"};
    int family = 0;
    bool debug = false;
    bool silent = false;
    int unitReads = 0;
    int systemManagerReads = 0;
    int buildCalls = 0;
    std::string buildVersion = "none";

    bool IsVariableKnown(const std::string& name) override { return known.count(name) != 0; }
    void ReadUnitDefinitions(const CXmlNode* driveSetup) override { unitReads += driveSetup ? 1 : 100; }
    void ReadSystemManager(const CXmlNode&) override { ++systemManagerReads; }
    void SetBuildElement(CXmlNode* build) override {
        ++buildCalls;
        buildVersion = build ? build->GetAttribute("version", "1") : "cleared";
    }
    int FamilyCode() const override { return family; }
    bool DebugSwitch() const override { return debug; }
    bool Silent() const override { return silent; }
};

class DescriptionReader : public ::testing::Test {
  protected:
    void SetUp() override { platform::SetPromptService(&prompts); }
    void TearDown() override { platform::SetPromptService(nullptr); }

    void Load(const char* file) { ASSERT_EQ(doc.Load(kFolder / file), S_OK) << file; }

    platform::ScriptedPrompts prompts;
    CXmlDocument doc;
    CParametri parameters;
    CDriveDescription description;
    TestHost host;
};

TEST_F(DescriptionReader, ReadsWholeDocument) {
    Load("full_description.xml");
    ASSERT_EQ(description.ReadDriveSetup(&doc, kFolder / "full_description.xml", parameters, host), 0);
    EXPECT_EQ(host.unitReads, 1);
    EXPECT_EQ(host.systemManagerReads, 1);
    EXPECT_EQ(host.buildVersion, "3");

    EXPECT_EQ(description.firmwareStatus,
              (std::map<int32_t, std::string>{{1, "Boot"}, {2, "Running (app)"}}));

    // Item errors win over the Modbus list; positions count every "Error".
    const CDriveErrorTable& errors = description.errorTable;
    ASSERT_EQ(errors.descriptions.size(), 4u);
    EXPECT_EQ(errors.itemErrors, (std::map<uint32_t, size_t>{{5, 0}, {6, 3}}));
    EXPECT_EQ(errors.modbusErrors, (std::map<uint32_t, size_t>{{0x84, 0}, {0x86, 2}}));
    ASSERT_NE(errors.FindItemError(6), nullptr);
    EXPECT_EQ(*errors.FindItemError(6), "Out of range (new)");

    // Dropped: duplicate title, empty name, name the vocabulary lacks.
    ASSERT_EQ(parameters.variables.size(), 4u);
    struct Expected {
        const char* title;
        const char* name;
        const char* unit;
        double factor;
        int32_t decimals;
    };
    const Expected expected[] = {{"Speed", "Vel", "rpm", 0.001, 3},
                                 {"Current", "Cur", "A", 0.5, 1},
                                 {"Pos", "Pos", "", 1.0, 2},
                                 {"Torque", "Trq", "", 1.0, 0}};
    for (size_t i = 0; i < 4; ++i) {
        const Cvariables& v = *parameters.variables[i];
        EXPECT_EQ(v.title, expected[i].title);
        EXPECT_EQ(v.name, expected[i].name);
        EXPECT_EQ(v.unit, expected[i].unit);
        EXPECT_DOUBLE_EQ(v.factor, expected[i].factor) << v.title;
        EXPECT_EQ(v.decimals, expected[i].decimals) << v.title;
        EXPECT_EQ(description.variableIndex.at(v.title), i);
    }
    EXPECT_EQ(description.variableIndex.size(), 4u);
    EXPECT_EQ(prompts.AskedCount(), 1u);  // the motor temperature duplicate only (debug is off)

    EXPECT_EQ(description.shownVariables[0], "Current");
    EXPECT_EQ(description.shownVariables[1], "");
    EXPECT_EQ(description.shownVariables[2], "Pos");
    EXPECT_EQ(description.shownVariables[3], "Speed");

    EXPECT_EQ(description.debounceTime, 12);
    ASSERT_EQ(parameters.ioLists.size(), 3u);
    const Cio_List& din = *parameters.ioLists[0];
    EXPECT_EQ(din.vocabularyName, "DinState");
    EXPECT_EQ(din.analog, 0u);
    EXPECT_EQ(din.mode, 0u);
    EXPECT_EQ(din.address, 3);
    EXPECT_EQ(din.position, 3);
    EXPECT_EQ(din.hardwareName, "IN 3:");
    EXPECT_EQ(din.genericCode, 1u);
    EXPECT_EQ(din.readOnly, 1);
    EXPECT_EQ(din.lowestHardwareIndex, -1);
    ASSERT_EQ(din.elements.size(), 2u);
    const Cio_ListElement& limit = *din.elements[0];
    EXPECT_EQ(limit.functionCode, 7u);
    EXPECT_EQ(limit.mode, 0u);
    EXPECT_EQ(limit.name, "Limit +");
    EXPECT_EQ(limit.active, 1);
    EXPECT_EQ(limit.debounceAllowed, 1);
    EXPECT_EQ(limit.resistance, 0);
    EXPECT_EQ(limit.correlatedAddress, -1);
    EXPECT_EQ(limit.deviceMin, 1);
    EXPECT_EQ(limit.deviceMax, 1000);
    EXPECT_DOUBLE_EQ(limit.displayMax, 1.0);
    EXPECT_EQ(limit.displayMin, "M");
    EXPECT_EQ(limit.exclusive, 1);
    EXPECT_EQ(limit.reservedOutput, 0);
    EXPECT_EQ(limit.lowestHardwareIndex, 0);
    EXPECT_EQ(limit.statusText, "none");
    EXPECT_EQ(limit.hardwareName, "IN 3:");
    // Newer names default to the older ones and replace them when present.
    const Cio_ListElement& brake = *din.elements[1];
    EXPECT_EQ(brake.mode, 1u);
    EXPECT_EQ(brake.deviceMin, 5);
    EXPECT_EQ(brake.deviceMax, 80);
    EXPECT_DOUBLE_EQ(brake.displayMax, 2.5);
    EXPECT_EQ(brake.displayMin, "X");
    EXPECT_EQ(brake.reservedOutput, 1);
    EXPECT_EQ(brake.exclusive, 0);
    EXPECT_EQ(brake.hardwareName, "Pin 3");

    const Cio_List& aout = *parameters.ioLists[1];
    EXPECT_EQ(aout.analog, 1u);
    EXPECT_EQ(aout.mode, 1u);
    EXPECT_EQ(aout.position, 4);
    EXPECT_EQ(aout.hardwareName, "Analog OUT 1:");
    EXPECT_EQ(aout.genericCode, 9u);
    EXPECT_EQ(aout.lowestHardwareIndex, 0);
    const Cio_List& other = *parameters.ioLists[2];
    EXPECT_EQ(other.mode, 2u);
    EXPECT_EQ(other.address, -1);
    EXPECT_EQ(other.position, -1);
    EXPECT_EQ(other.hardwareName, "Analog BOTH -1:");
    EXPECT_EQ(other.genericCode, 1u);

    // First "SensorCode" list only; a later Value replaces an earlier one.
    ASSERT_EQ(description.sensors.size(), 3u);
    const CSensorCode& resolver = description.sensors.at(2);
    EXPECT_EQ(resolver.title, "Resolver");
    EXPECT_EQ(resolver.mask, 0xF0);
    EXPECT_EQ(resolver.name, "RES");
    EXPECT_EQ(resolver.phasingType, 2);
    EXPECT_EQ(resolver.items, (std::map<std::string, std::string>{{"Poles", "2"}, {"Ratio", "0"}}));
    EXPECT_EQ(description.sensors.at(3).title, "Resolver C");
    EXPECT_EQ(description.sensors.at(5).title, "Title missing");
    EXPECT_EQ(description.sensors.at(5).name, "Name missing");

    EXPECT_EQ(description.motorTemperatureSensors,
              (std::map<uint16_t, std::string>{{3, "PTC"}, {4, "code 4"}}));
    ASSERT_EQ(prompts.Asked().size(), 1u);
    EXPECT_EQ(prompts.Asked()[0].text,
              "List 'MotorTemperatureSensorType': too many definitions for Value '3'");
    EXPECT_EQ(prompts.Asked()[0].caption, "Internal error");

    EXPECT_EQ(description.loopTypeCaption, "Regulation:");
    EXPECT_EQ(description.loopTypes, (std::map<int32_t, std::string>{{0, "Position"}, {2, "Torque"}}));
}

TEST_F(DescriptionReader, RereadKeepsOneCopyAndReportsDuplicatesInDebug) {
    Load("full_description.xml");
    host.debug = true;
    host.silent = true;
    ASSERT_EQ(description.ReadDriveSetup(&doc, "a.xml", parameters, host), 0);
    ASSERT_EQ(description.ReadDriveSetup(&doc, "a.xml", parameters, host), 0);
    EXPECT_EQ(parameters.variables.size(), 4u);
    EXPECT_EQ(parameters.ioLists.size(), 3u);
    ASSERT_EQ(prompts.Asked().size(), 2u);  // one duplicate title per read, none for the silent list
    EXPECT_EQ(prompts.Asked()[0].text, "Duplicated VARIABLE name 'Speed'");
    EXPECT_EQ(prompts.Asked()[0].caption, "Configuration file");
}

TEST_F(DescriptionReader, MissingSectionsEndTheRead) {
    EXPECT_EQ(description.ReadDriveSetup(nullptr, "x.xml", parameters, host), 2);

    description.loopTypes = {{7, "Previous"}};
    description.motorTemperatureSensors = {{9, "Previous"}};
    description.debounceTime = 77;
    Load("no_variables.xml");
    EXPECT_EQ(description.ReadDriveSetup(&doc, kFolder / "no_variables.xml", parameters, host), 1);
    EXPECT_EQ(description.firmwareStatus, (std::map<int32_t, std::string>{{1, "Boot"}}));
    EXPECT_TRUE(description.errorTable.itemErrors.empty());
    EXPECT_EQ(description.errorTable.modbusErrors, (std::map<uint32_t, size_t>{{1, 0}, {0, 1}}));
    EXPECT_EQ(description.loopTypes, (std::map<int32_t, std::string>{{7, "Previous"}}));
    EXPECT_EQ(description.motorTemperatureSensors, (std::map<uint16_t, std::string>{{9, "Previous"}}));
    EXPECT_EQ(description.debounceTime, 77);
    EXPECT_EQ(host.buildCalls, 0);
    EXPECT_TRUE(description.lastDescriptionFile.empty());

    ASSERT_EQ(doc.LoadXml("<D><VARIABLES><VARIABLE Name=\"Vel\"/></VARIABLES></D>"), S_OK);
    EXPECT_EQ(description.ReadDriveSetup(&doc, "y.xml", parameters, host), 1);
    EXPECT_EQ(parameters.variables.size(), 1u);
    EXPECT_EQ(host.unitReads, 101);  // the second document has no DRIVE_SETUP
}

TEST_F(DescriptionReader, DefaultsAfterTheLoad) {
    struct Case {
        int family;
        size_t loopTypes;
    };
    for (Case c : {Case{3, 2}, Case{12, 4}}) {
        CDriveDescription fresh;
        host.family = c.family;
        ASSERT_EQ(doc.LoadXml("<D><DRIVE_SETUP><LoopType><El title=\"One\" value=\"4\"/></LoopType>"
                              "</DRIVE_SETUP><VARIABLES/><IO_SETTINGS/></D>"),
                  S_OK);
        ASSERT_EQ(fresh.ReadDriveSetup(&doc, "d.xml", parameters, host), 0);
        EXPECT_EQ(fresh.motorTemperatureSensors,
                  (std::map<uint16_t, std::string>{{0, "None"}, {1, "KTY84"}}));
        ASSERT_EQ(fresh.loopTypes.size(), c.loopTypes + 1) << c.family;
        EXPECT_EQ(fresh.loopTypes.at(4), "One");
        EXPECT_EQ(fresh.loopTypes.at(1), "Micro step");
        EXPECT_EQ(fresh.loopTypeCaption, "Loop type:");
        if (c.family == 12) {
            EXPECT_EQ(fresh.loopTypes.at(3), "Micro step aux. sensor");
        }
        EXPECT_EQ(host.buildVersion, "cleared");
    }
}

TEST_F(DescriptionReader, TemporaryCopyDeletedWhenAnotherDescriptionIsRead) {
    std::filesystem::path temp = std::filesystem::temp_directory_path() /
                                 ("tunova_description_copy_" + std::to_string(::getpid()) + ".xml");
    std::ofstream(temp) << "<x/>";
    ASSERT_EQ(doc.LoadXml("<D><VARIABLES/><IO_SETTINGS/></D>"), S_OK);
    description.lastDescriptionFile = "same.xml";
    description.temporaryCopy = temp;
    ASSERT_EQ(description.ReadDriveSetup(&doc, "same.xml", parameters, host), 0);
    EXPECT_TRUE(std::filesystem::exists(temp));
    ASSERT_EQ(description.ReadDriveSetup(&doc, "other.xml", parameters, host), 0);
    EXPECT_FALSE(std::filesystem::exists(temp));
    EXPECT_TRUE(description.temporaryCopy.empty());
    EXPECT_EQ(description.lastDescriptionFile, "other.xml");
}

TEST(DescriptionDecimals, AutoFromFactor) {
    const double inf = std::numeric_limits<double>::infinity(),
                 nan = std::numeric_limits<double>::quiet_NaN();
    // A zero or non-finite factor (rows 11-14) has no decimals.
    const std::pair<double, int32_t> cases[] = {{0.001, 3}, {0.5, 1},    {1.0, 0},  {10.0, 0}, {0.1, 1},
                                                {0.25, 1},  {0.0125, 2}, {1e-6, 6}, {-2.0, 0}, {0.00999, 3},
                                                {0.0, 0},   {-0.0, 0},   {inf, 0},  {nan, 0}};
    for (auto [factor, decimals] : cases) EXPECT_EQ(AutoDecimals(factor), decimals) << factor;
}

TEST(DescriptionControlModes, EntriesPerOperationMode) {
    std::vector<CControlModeEntry> modes(2);
    EXPECT_EQ(CDriveDescription::GetControlModes(nullptr, modes), 2);
    EXPECT_TRUE(modes.empty());

    CXmlDocument doc;
    ASSERT_EQ(doc.Load(kFolder / "full_description.xml"), S_OK);
    ASSERT_EQ(CDriveDescription::GetControlModes(&doc, modes), 0);
    ASSERT_EQ(modes.size(), 3u);
    EXPECT_EQ(modes[0].inputTitle, "Fieldbus");
    EXPECT_EQ(modes[0].inputName, "FB");
    EXPECT_EQ(modes[0].title, "Profile position");
    EXPECT_EQ(modes[0].type, "P");
    EXPECT_EQ(modes[0].name, "PP");
    EXPECT_EQ(modes[0].value, 1);
    EXPECT_EQ(modes[1].value, -1);  // 255
    EXPECT_EQ(modes[2].inputName, "AN");
    EXPECT_EQ(modes[2].value, -1);  // -1

    ASSERT_EQ(doc.LoadXml("<D><DRIVE_SETUP/></D>"), S_OK);
    EXPECT_EQ(CDriveDescription::GetControlModes(&doc, modes), 1);
    ASSERT_EQ(doc.LoadXml("<D><DRIVE_SETUP><CONTROL_MODE/></DRIVE_SETUP></D>"), S_OK);
    EXPECT_EQ(CDriveDescription::GetControlModes(&doc, modes), 0);
    EXPECT_TRUE(modes.empty());
}

TEST(DescriptionSetupList, ReadsNamedList) {
    CXmlDocument doc;
    ASSERT_EQ(doc.Load(kFolder / "full_description.xml"), S_OK);
    std::vector<std::string> titles{"stale"}, values{"stale"}, names{"stale"}, masks{"stale"};
    std::string validMask;
    ASSERT_EQ(CDriveDescription::GetSetupList(&doc.Root(), "HomingMethod", titles, values, &names, "Mask",
                                              &masks, "ValidMask", &validMask),
              0);
    EXPECT_EQ(titles, (std::vector<std::string>{"Index pulse", "Home switch"}));
    EXPECT_EQ(values, (std::vector<std::string>{"33", "19"}));
    EXPECT_EQ(names, (std::vector<std::string>{"IDX", "HS"}));
    EXPECT_EQ(masks, (std::vector<std::string>{"0x1", "0x0"}));
    EXPECT_EQ(validMask, "0x3F");

    ASSERT_EQ(CDriveDescription::GetSetupList(&doc.Root(), "SpeedUnits", titles, values, nullptr, nullptr,
                                              nullptr, "ValidMask", &validMask),
              0);
    EXPECT_EQ(titles, (std::vector<std::string>{"rpm"}));
    EXPECT_EQ(validMask, "nonexistent");

    ASSERT_EQ(CDriveDescription::GetSetupList(&doc.Root(), "NoSuchList", titles, values, &names, "Mask",
                                              &masks, "ValidMask", &validMask),
              0);
    EXPECT_TRUE(titles.empty());
    EXPECT_TRUE(values.empty());
    EXPECT_TRUE(names.empty());
    EXPECT_TRUE(masks.empty());
    EXPECT_EQ(validMask, "nonexistent");
}

TEST(DescriptionSetupList, MissingPartsOfTheDocument) {
    std::vector<std::string> titles, values;
    struct Case {
        const char* xml;
        int result;
    };
    const Case cases[] = {
        {"<D/>", 1},
        {"<D><DRIVE_SETUP/></D>", 1},
        {"<D><DRIVE_SETUP><LIST Name=\"A\"/></DRIVE_SETUP></D>", 1},
        {"<D><DRIVE_SETUP><LIST Name=\"A\"><ELEMENT Title=\"t\"/></LIST></DRIVE_SETUP></D>", 0},
    };
    for (const Case& c : cases) {
        CXmlDocument doc;
        ASSERT_EQ(doc.LoadXml(c.xml), S_OK);
        EXPECT_EQ(CDriveDescription::GetSetupList(&doc.Root(), "A", titles, values, nullptr, nullptr, nullptr,
                                                  nullptr, nullptr),
                  c.result)
            << c.xml;
    }
    EXPECT_EQ(values, (std::vector<std::string>{""}));
    EXPECT_EQ(CDriveDescription::GetSetupList(nullptr, "A", titles, values, nullptr, nullptr, nullptr,
                                              nullptr, nullptr),
              2);
}

}  // namespace

namespace {

TEST(DescriptionVariables, ScaleAndDecimalsFromAttributes) {
    struct Case {
        const char* attributes;
        double factor;
        int32_t decimals;
    };
    const Case cases[] = {
        {"DivMultType=\"D\" DivMult=\"1000\"", 0.001, 3},
        {"DivMult=\"0.5\"", 0.5, 1},
        {"DivMultType=\"X\" DivMult=\"4\"", 0.25, 1},
        {"DivMult=\"0.001\" NumDec=\"1\"", 0.001, 1},
        // Out-of-range or unreadable decimals and a zero scale stay usable.
        {"NumDec=\"-3\"", 1.0, 0},
        {"NumDec=\"40\"", 1.0, 15},
        {"NumDec=\"abc\"", 1.0, 0},
        {"DivMultType=\"D\" DivMult=\"0\"", 1.0, 0},
        {"DivMult=\"junk\"", 1.0, 0},
    };
    TestHost host;
    for (const Case& c : cases) {
        CXmlDocument doc;
        ASSERT_EQ(doc.LoadXml(std::string("<D><VARIABLES><VARIABLE Name=\"Vel\" ") + c.attributes +
                              "/></VARIABLES></D>"),
                  S_OK);
        CParametri parameters;
        CDriveDescription description;
        EXPECT_EQ(description.ReadDriveSetup(&doc, "v.xml", parameters, host), 1);
        ASSERT_EQ(parameters.variables.size(), 1u) << c.attributes;
        EXPECT_DOUBLE_EQ(parameters.variables[0]->factor, c.factor) << c.attributes;
        EXPECT_EQ(parameters.variables[0]->decimals, c.decimals) << c.attributes;
        EXPECT_EQ(parameters.variables[0]->title, "Vel");
    }
}

}  // namespace
