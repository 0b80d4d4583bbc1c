// The switch that makes the simulated drive refuse every write of one variable: the refusal is the
// drive's range error, the value stays, other variables are written, and an unknown name is refused.
#include <gtest/gtest.h>

#include "tests/tools/DriveSimTestSupport.h"
#include "tools/drivesim/SimDriveModel.h"
#include "tools/drivesim/SimSwitches.h"

TEST(DriveSimRefuseWrite, OneVariableRefusesItsWrites) {
    drivesim::SimSwitches parsed;
    std::string error;
    EXPECT_FALSE(drivesim::ParseSwitch("refuse-write", parsed, &error));
    EXPECT_EQ(error, "switch 'refuse-write': refuse-write=NAME expected");
    ASSERT_TRUE(drivesim::ParseSwitch("refuse-write=MaxVelocity", parsed, &error)) << error;
    EXPECT_EQ(parsed.refuseWrite.count("MaxVelocity"), 1u);

    drivesim::SimDriveModel model;
    ASSERT_TRUE(model.Load(drivesimtest::DescriptionPath(), &error)) << error;
    ASSERT_TRUE(model.Set("MaxVelocity", 3000));
    EXPECT_FALSE(model.ApplySwitch("refuse-write=NoSuchVariable", &error));
    EXPECT_EQ(error, "no variable 'NoSuchVariable' in the description");
    ASSERT_TRUE(model.ApplySwitch("refuse-write=MaxVelocity", &error)) << error;
    EXPECT_EQ(model.WriteValue("MaxVelocity", 1234), drivesim::Refusal::Range);
    EXPECT_EQ(model.ReadValue("MaxVelocity"), 3000);
    EXPECT_EQ(model.WriteValue("MaxCurrent", 7), drivesim::Refusal::None);
    EXPECT_EQ(model.ReadValue("MaxCurrent"), 7);
}
