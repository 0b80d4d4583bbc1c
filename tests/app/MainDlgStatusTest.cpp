// What the main dialog's status panel shows, decided without its window.
#include <gtest/gtest.h>

#include "app/MainDlgStatus.h"
#include "foundation/XmlDocument.h"

using namespace app;

namespace {

constexpr const char* kList = R"(<ERRORLIST>
  <GROUP name="WarningErrors">
    <GROUP name="WDynamicErrors"><ERROR address="DW" mask="1" value="1"/><ERROR address="DW" mask="0" value="0"/></GROUP>
    <GROUP name="WRetentiveErrors"><ERROR address="RW" mask="0x6" value="4"/></GROUP>
  </GROUP>
  <GROUP name="FaultErrors">
    <GROUP name="FDynamicErrors"><ERROR address="DA" mask="2" value="2"/><ERROR address="Nowhere" mask="0" value="0"/></GROUP>
    <GROUP name="FRetentiveErrors"><ERROR address="RA" mask="8" value="8"/></GROUP>
    <GROUP name="Other"><ERROR address="DA" mask="0" value="0"/></GROUP>
  </GROUP>
</ERRORLIST>)";

const std::array<std::string, 4> kNames = {"DW", "RW", "DA", "RA"};

CellView Valid(uint32_t v) {
    return {0, v};
}
CellView Unreadable() {
    return {2, 0};
}

TEST(ErrorDefinitions, FromTheDescriptionOrTheBuiltInList) {
    foundation::CXmlDocument description;
    ASSERT_EQ(description.LoadXml(std::string("<Data>") + kList + "</Data>"), foundation::S_OK);
    const auto own = LoadErrorDefinitions(&description.Root(), "");
    ASSERT_EQ(own.size(), 6u);
    EXPECT_EQ(own[0].address, "DW");
    EXPECT_FALSE(own[0].fault);
    EXPECT_FALSE(own[0].retentive);
    EXPECT_EQ(own[2].mask, 6u);
    EXPECT_TRUE(own[2].retentive);
    EXPECT_TRUE(own[3].fault);

    foundation::CXmlDocument bare;
    ASSERT_EQ(bare.LoadXml("<Data/>"), foundation::S_OK);
    EXPECT_EQ(LoadErrorDefinitions(&bare.Root(), kList).size(), 6u);
    EXPECT_TRUE(LoadErrorDefinitions(&bare.Root(), "<ERRORLIST").empty());
    EXPECT_TRUE(LoadErrorDefinitions(nullptr, "").empty());
}

TEST(StatusPanel, FaultAndWarningLeds) {
    struct Case {
        CellView dynamicWord, retentiveWord;
        int slot;
    };
    for (const Case& c : {Case{Valid(0), Valid(0), kLedOff}, Case{Valid(1), Valid(0), kLedRed},
                          Case{Valid(0), Valid(4), kLedRed}, Case{Valid(0), Unreadable(), kLedUnknown},
                          Case{Unreadable(), Valid(0), kLedUnknown}, Case{CellView{}, Valid(0), kLedUnknown},
                          Case{Unreadable(), Valid(9), kLedUnknown}}) {
        EXPECT_EQ(ErrorLed(c.dynamicWord, c.retentiveWord, kLedRed), c.slot);
    }
    EXPECT_EQ(ErrorLed(Valid(2), Valid(0), kLedOrange), kLedOrange);
}

TEST(StatusPanel, CountsAndLabels) {
    foundation::CXmlDocument document;
    ASSERT_EQ(document.LoadXml(kList), foundation::S_OK);
    const auto defs = ReadErrorDefinitions(document.Root());
    struct Case {
        std::array<CellView, 4> words;
        ErrorCounts counts;
        const char* warning;
        const char* fault;
    };
    const Case cases[] = {
        // The mask-0 warning always counts.
        {{Valid(0), Valid(0), Valid(0), Valid(0)}, {1, 0, 0, 0}, "Warning: (1 - 0)", "Fault:"},
        {{Valid(1), Valid(4), Valid(2), Valid(8)}, {2, 1, 1, 1}, "Warning: (2 - 1)", "Fault: (1 - 1)"},
        {{Valid(0), Valid(6), Valid(3), Valid(0)}, {1, 0, 1, 0}, "Warning: (1 - 0)", "Fault: (1 - 0)"},
        // An unreadable word counts nothing.
        {{Unreadable(), Valid(4), Unreadable(), Valid(0)}, {0, 1, 0, 0}, "Warning: (0 - 1)", "Fault:"},
    };
    for (const Case& c : cases) {
        const ErrorCounts n = CountErrors(defs, kNames, c.words);
        EXPECT_EQ(n.dynamicWarnings, c.counts.dynamicWarnings);
        EXPECT_EQ(n.retentiveWarnings, c.counts.retentiveWarnings);
        EXPECT_EQ(n.dynamicFaults, c.counts.dynamicFaults);
        EXPECT_EQ(n.retentiveFaults, c.counts.retentiveFaults);
        EXPECT_EQ(WarningLabel(n), c.warning);
        EXPECT_EQ(FaultLabel(n), c.fault);
    }
}

TEST(StatusPanel, DigitalLeds) {
    const uint32_t bit3 = 1u << (16 + 3);
    struct Case {
        CellView inputs;
        int point;
        uint32_t disabled;
        int slot;
    };
    for (const Case& c : {Case{Valid(bit3), 3, 0, kLedGreen}, Case{Valid(0), 3, 0, kLedOff},
                          Case{Valid(bit3), 3, 1u << 3, kLedBright}, Case{Valid(0), 3, 1u << 3, kLedPale},
                          Case{Valid(bit3), 2, 0, kLedOff}, Case{Unreadable(), 3, 0, kLedUnknown},
                          Case{Valid(1u << 3), 3, 0, kLedOff}}) {
        EXPECT_EQ(InputLed(c.inputs, c.point, c.disabled), c.slot) << c.point;
    }
    EXPECT_EQ(OutputLed(Valid(1u << 16), 0), kLedRed);
    EXPECT_EQ(OutputLed(Valid(1u << 16), 1), kLedOff);
    EXPECT_FALSE(OutputLed(Unreadable(), 0).has_value());
    EXPECT_EQ(ToggledOutputs(0, 15), 1u << 31);
    EXPECT_EQ(ToggledOutputs(1u << 31, 15), 0u);
}

TEST(StatusPanel, AnalogScalingAndTheInverseWrite) {
    struct Case {
        AnalogScaling scaling;
        bool valid;
        int decimals;
        double displayMin, displayMax;
        uint32_t raw;
        const char* text;
    };
    const Case cases[] = {
        {{"D", 100, -1000, 1000, "", 0}, true, 2, -10.0, 10.0, 250, "2.50"},
        {{"M", 2, 0, 100, "", 0}, true, 0, 0, 200, 7, "14"},
        // A multiplying scale below 1 shows its digits (never a negative count).
        {{"M", 0.01, 0, 1000, "", 0}, true, 2, 0, 10, 123, "1.23"},
        {{"X", 1, 0, 4095, "-10.0", 10.0}, true, 1, -10.0, 10.0, 4095, "10.0"},
        // Scales that can't be shown.
        {{"D", 0, 0, 100, "", 0}, false, 0, 0, 0, 0, ""},
        {{"M", 0, 0, 100, "", 0}, false, 0, 0, 0, 0, ""},
        {{"X", 1, 50, 50, "0", 10.0}, false, 0, 0, 0, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scaling.scaleType + " " + std::to_string(c.scaling.scale));
        AnalogView v = BuildAnalogView("AnalogInput0", c.scaling);
        EXPECT_EQ(v.valid, c.valid);
        EXPECT_GE(v.decimals, 0);
        v.writable = true;
        v.isSigned = true;
        if (!c.valid) {
            EXPECT_EQ(FormatAnalogValue(v, 5), "");
            EXPECT_FALSE(AnalogRawFromText(v, "1").has_value());
            continue;
        }
        EXPECT_EQ(v.decimals, c.decimals);
        EXPECT_DOUBLE_EQ(v.displayMin, c.displayMin);
        EXPECT_DOUBLE_EQ(v.displayMax, c.displayMax);
        EXPECT_EQ(FormatAnalogValue(v, c.raw), c.text);
    }
    AnalogView v = BuildAnalogView("AnalogInput0", {"D", 100, -1000, 1000, "", 0});
    v.isSigned = true;
    EXPECT_FALSE(AnalogRawFromText(v, "1.0").has_value());  // not writable
    v.writable = true;
    struct Write {
        const char* text;
        std::optional<int32_t> raw;
    };
    for (const Write& w :
         {Write{"2.5", 250}, Write{"0.005", 1}, Write{"-0.005", -1}, Write{"-0.004", 0}, Write{"99", 1000},
          Write{"-99", -1000}, Write{"abc", std::nullopt}, Write{"1.5x", std::nullopt}}) {
        EXPECT_EQ(AnalogRawFromText(v, w.text), w.raw) << w.text;
    }
    // Sizes and signs of the raw value.
    AnalogView small = BuildAnalogView("A", {"M", 1, -128, 127, "", 0});
    small.size = 1;
    small.isSigned = true;
    EXPECT_EQ(FormatAnalogValue(small, 0xFF), "-1");
    small.isSigned = false;
    EXPECT_EQ(AnalogRaw(small, 0x1FF), 255);
}

TEST(StatusPanel, ShowVariablesShareCellsAndSlots) {
    const auto servo = PanelCellNames(DriveFamily::Servo, false, "statusword", "ActualVelocity", "Inputs");
    EXPECT_EQ(servo.count("ActualPosition"), 1u);
    EXPECT_EQ(servo.count("statusword"), 1u);
    EXPECT_EQ(servo.count("CurrentActual"), 0u);
    EXPECT_EQ(PanelCellNames(DriveFamily::Supply, false, "", "", "").count("i_rms_1"), 0u);
    EXPECT_EQ(PanelCellNames(DriveFamily::Supply, true, "", "", "").count("i_rms_1"), 1u);
    EXPECT_EQ(PanelCellNames(DriveFamily::Xul, false, "", "", "").count("Fout"), 1u);

    ShowVariableSlots slots;
    slots.names = {"Current", "Current", "Voltage", ""};
    EXPECT_FALSE(slots.LastUser(0));  // the other combo still shows it
    EXPECT_TRUE(slots.LastUser(2));
    EXPECT_FALSE(slots.LastUser(3));
}

TEST(StatusPanel, BrakeGroupFollowsBrakeType) {
    EXPECT_EQ(BrakeGroupAction(true, Valid(0), true), BrakeAction::Remove);
    EXPECT_EQ(BrakeGroupAction(true, Valid(0), false), BrakeAction::None);
    EXPECT_EQ(BrakeGroupAction(true, Valid(2), false), BrakeAction::Add);
    EXPECT_EQ(BrakeGroupAction(true, Valid(2), true), BrakeAction::None);
    EXPECT_EQ(BrakeGroupAction(true, Unreadable(), false), BrakeAction::None);
    EXPECT_EQ(BrakeGroupAction(false, Valid(2), false), BrakeAction::None);
    EXPECT_EQ(BrakeLed(Valid(0)), kLedRed);
    EXPECT_EQ(BrakeLed(Valid(1)), kLedOff);
    EXPECT_EQ(BrakeLed(Unreadable()), kLedUnknown);
}

TEST(StatusPanel, FamilyLayouts) {
    struct Case {
        DriveFamily family;
        bool twoChannels;
        std::vector<int> shown, hidden;
        std::map<int, std::string> captions;
    };
    const Case cases[] = {
        {DriveFamily::Servo,
         false,
         {IDC_MAIN_POSITION, IDC_MAIN_BRAKE_BUTTON, IDC_MAIN_STATE},
         {IDC_SUPPLY_HVDC, IDC_MAIN_XUL_PICTURE},
         {{IDC_MAIN_LOOP_LABEL, "Mode:"}}},
        {DriveFamily::Kwz,
         false,
         {IDC_MAIN_STATE},
         {IDC_MAIN_POSITION, IDC_MAIN_BRAKE_BUTTON, IDC_MAIN_ENABLE_BUTTON},
         {{IDC_MAIN_STATE_LABEL, "Status:"}}},
        {DriveFamily::Xul,
         false,
         {IDC_MAIN_XUL_PICTURE, IDC_SUPPLY_AVG, IDC_SUPPLY_AVG1, IDC_MAIN_ENABLE_BUTTON},
         {IDC_MAIN_POSITION, IDC_MAIN_BRAKE_LED, IDC_SUPPLY_HVDC},
         {{IDC_MAIN_ENABLE_LABEL, "Xul enable:"},
          {IDC_SUPPLY_AVG_LABEL, "VoutRms:"},
          {IDC_SUPPLY_RMS_LABEL, "Vaux:"},
          {IDC_SUPPLY_UNIT_FIRST + 4, "Hz"}}},
        {DriveFamily::Supply,
         false,
         {IDC_SUPPLY_HVDC, IDC_SUPPLY_LOCK, IDC_MAIN_SUPPLY_PICTURE},
         {IDC_SUPPLY_AVG1, IDC_SUPPLY_RMS2, IDC_MAIN_POSITION, IDC_MAIN_STATE},
         {}},
        {DriveFamily::Supply,
         true,
         {IDC_SUPPLY_HVDC, IDC_SUPPLY_AVG1, IDC_SUPPLY_RMS2},
         {IDC_MAIN_ENABLE_LED},
         {}},
    };
    for (const Case& c : cases) {
        const PanelLayout layout = FamilyLayout(c.family, c.twoChannels, "Mode:");
        for (int id : c.shown) {
            ASSERT_EQ(layout.shown.count(id), 1u) << id;
            EXPECT_TRUE(layout.shown.at(id)) << id;
        }
        for (int id : c.hidden) {
            ASSERT_EQ(layout.shown.count(id), 1u) << id;
            EXPECT_FALSE(layout.shown.at(id)) << id;
        }
        for (const auto& [id, caption] : c.captions) EXPECT_EQ(layout.captions.at(id), caption);
    }
    EXPECT_EQ(FamilyOf(true, false, 10), DriveFamily::Supply);
    EXPECT_EQ(FamilyOf(false, true, 0), DriveFamily::Kwz);
    EXPECT_EQ(FamilyOf(false, false, kXulFamilyCode), DriveFamily::Xul);
    EXPECT_EQ(FamilyOf(false, false, 1), DriveFamily::Servo);
}

TEST(StatusPanel, FirstReadChecksTheExecuteCodeAndUntouchedSlots) {
    EXPECT_EQ(FirstReadStatus(0, 0), 0);
    EXPECT_EQ(FirstReadStatus(0, -30), 2);
    EXPECT_EQ(FirstReadStatus(0, kReadNotExecuted), 2);
    EXPECT_EQ(FirstReadStatus(-5, 0), 2);  // a group that failed leaves no read valid
    EXPECT_EQ(FaultLockSeconds(Valid(1999)), "1");
    EXPECT_EQ(SupplyTenths(Valid(123)), "12.3");
    EXPECT_EQ(PlcStateText(Valid(1)), "Running");
    EXPECT_EQ(PlcStateText(Valid(7)), "");
}

TEST(StartupScreen, QuestionsFromTheContentScaleAndTheWidth) {
    struct Case {
        double scale;
        int width;
        uint32_t large, small;
        std::vector<ScreenQuestion> ask;
        bool close;
    };
    const Case cases[] = {
        {1.0, 1280, kNotRemembered, kNotRemembered, {}, false},
        {1.0, 800, kNotRemembered, kNotRemembered, {}, false},
        {1.25, 1280, kNotRemembered, kNotRemembered, {ScreenQuestion::LargeFonts}, false},
        {2.0,
         640,
         kNotRemembered,
         kNotRemembered,
         {ScreenQuestion::LargeFonts, ScreenQuestion::SmallScreen},
         false},
        {1.0, 799, kNotRemembered, kRememberedYes, {}, false},
        // A remembered "no" closes at every start without asking.
        {2.0, 640, kRememberedNo, kNotRemembered, {}, true},
        {1.0, 1280, kRememberedNo, kNotRemembered, {}, false},
    };
    for (const Case& c : cases) {
        const ScreenCheck check = CheckScreen(c.scale, c.width, c.large, c.small);
        EXPECT_EQ(check.ask, c.ask) << c.scale << " " << c.width;
        EXPECT_EQ(check.closeAtOnce, c.close) << c.scale << " " << c.width;
    }
}

}  // namespace
