#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/Clock.h"
#include "tools/drivesim/SimDriveModel.h"

namespace drivesimtest {

// The simulated drive's own description, as the program's data folder holds it.
inline std::string DescriptionPath() {
    return std::string(TUNOVA_FIXTURES) + "/../../app/data/Xml/1234_2_3_1.xml";
}

// The described drive on a simulated clock that starts at 1 s.
class ModelTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(model.Load(DescriptionPath(), &error)) << error; }
    int64_t Value(const std::string& name) {
        const auto value = model.ReadValue(name);
        EXPECT_TRUE(value.has_value()) << name;
        return value.value_or(-999999);
    }
    void Apply(const std::string& text) { ASSERT_TRUE(model.ApplySwitch(text, &error)) << error; }
    void Wait(int64_t ms) { clock.Advance(ms); }
    int State() { return static_cast<int>(model.State()); }

    std::string error;
    platform::FakeClock clock{1000};
    drivesim::SimDriveModel model{clock};
};

}  // namespace drivesimtest
