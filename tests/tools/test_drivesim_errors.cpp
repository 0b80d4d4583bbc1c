// The simulated drive's error words as the drive errors window uses them: a warning present from
// the start, and clearing the histories, which keeps the causes that are still there.
#include "tests/tools/DriveSimTestSupport.h"
#include "tools/drivesim/SimSwitches.h"

namespace {

using drivesim::Refusal;
using drivesimtest::ModelTest;

TEST(SimSwitchesErrors, WarningBits) {
    drivesim::SimSwitches s;
    std::string error;
    ASSERT_TRUE(drivesim::ParseSwitch("warning", s, &error)) << error;
    ASSERT_TRUE(drivesim::ParseSwitch("warning=0x6", s, &error)) << error;
    EXPECT_EQ(s.warningBits, 7u);
    EXPECT_FALSE(drivesim::ParseSwitch("warning=0", s, &error));
    EXPECT_EQ(error, "switch 'warning=0': warning[=BITS] expected");
}

TEST_F(ModelTest, WarningFromTheStartIsActiveAndRetained) {
    Apply("warning=0x5");
    EXPECT_EQ(Value("DriveDynamicWarning"), 5);
    EXPECT_EQ(Value("DriveWarning"), 5);
}

TEST_F(ModelTest, ClearingTheHistoriesKeepsActiveCauses) {
    model.RaiseWarning(0x3, false);
    model.RaiseWarning(0x8, true);
    model.RaiseFault(0x10, false);
    model.RaiseFault(0x1, true);
    ASSERT_EQ(Value("DriveWarning"), 0xB);
    ASSERT_EQ(Value("DriveAlarm"), 0x11);
    EXPECT_EQ(model.WriteValue("DriveWarning", 0), Refusal::None);
    EXPECT_EQ(model.WriteValue("DriveAlarm", 0), Refusal::None);
    EXPECT_EQ(Value("DriveWarning"), 0x8);
    EXPECT_EQ(Value("DriveAlarm"), 0x1);
    // The active words are the drive's own.
    EXPECT_EQ(model.WriteValue("DriveDynamicAlarm", 0), Refusal::ReadOnly);
    model.ClearWarningCause(0x8);
    model.ClearFaultCause(0x1);
    EXPECT_EQ(model.WriteValue("DriveWarning", 0), Refusal::None);
    EXPECT_EQ(model.WriteValue("DriveAlarm", 0), Refusal::None);
    EXPECT_EQ(Value("DriveWarning"), 0);
    EXPECT_EQ(Value("DriveAlarm"), 0);
}

}  // namespace
