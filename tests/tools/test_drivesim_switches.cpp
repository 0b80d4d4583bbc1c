// The switches that make the simulated drive misbehave: what each text means and which are refused.
#include <gtest/gtest.h>

#include "tools/drivesim/SimSwitches.h"

namespace {

using drivesim::ParseSwitch;
using drivesim::SimSwitches;

TEST(DriveSimSwitches, EachSwitchSetsItsField) {
    SimSwitches s;
    std::string error;
    for (const char* text :
         {"no-answer=1500:250", "state=4", "stuck-state", "mode-stuck", "no-hw-enable", "fault=0x12", "fault",
          "refuse=SYS_CV_STOP_PLC", "refuse-always=300:14", "fail=GestEEprom:21", "fail=SYS_CV_EE_SAVE_USER",
          "hang=TuningRegulatorCommand", "busy", "slow-eeprom", "no-system-manager"})
        EXPECT_TRUE(ParseSwitch(text, s, &error)) << text << ": " << error;
    EXPECT_EQ(s.silentAfterMs, 1500);
    EXPECT_EQ(s.silentForMs, 250);
    EXPECT_EQ(s.initialState, 4);
    EXPECT_TRUE(s.stuckState && s.modeStuck && s.noHardwareEnable && s.noSystemManager);
    EXPECT_EQ(s.faultBits, 0x13u);
    EXPECT_EQ(s.refuse.at("SYS_CV_STOP_PLC"), 8u);
    EXPECT_EQ(s.refuseAlways.at("300"), 14u);
    EXPECT_EQ(s.fail.at("GestEEprom"), 21u);
    EXPECT_EQ(s.fail.at("SYS_CV_EE_SAVE_USER"), 20u);
    EXPECT_EQ(s.hang.count("TuningRegulatorCommand"), 1u);
    EXPECT_EQ(s.busy, std::string());
    EXPECT_EQ(s.eepromMs, 6000);

    SimSwitches plain;
    ASSERT_TRUE(ParseSwitch("no-answer", plain, &error));
    EXPECT_EQ(plain.silentAfterMs, 0);
    EXPECT_FALSE(plain.silentForMs.has_value());
    ASSERT_TRUE(ParseSwitch("slow-eeprom=7000", plain, &error));
    EXPECT_EQ(plain.eepromMs, 7000);
}

TEST(DriveSimSwitches, BadSwitchesNameTheirForm) {
    struct Case {
        const char* text;
        const char* error;
    } cases[] = {
        {"bogus", "unknown switch 'bogus'"},
        {"state", "switch 'state': state=0..7 expected"},
        {"state=8", "switch 'state=8': state=0..7 expected"},
        {"state=x", "switch 'state=x': state=0..7 expected"},
        {"stuck-state=1", "switch 'stuck-state=1': takes no argument"},
        {"no-answer=-5", "switch 'no-answer=-5': no-answer[=AFTER_MS[:FOR_MS]] expected"},
        {"no-answer=5:0", "switch 'no-answer=5:0': no-answer[=AFTER_MS[:FOR_MS]] expected"},
        {"refuse", "switch 'refuse': refuse=CMD[:ERR] expected"},
        {"refuse=:8", "switch 'refuse=:8': refuse=CMD[:ERR] expected"},
        {"fail=X:abc", "switch 'fail=X:abc': fail=CMD[:ERR] expected"},
        {"hang=", "switch 'hang=': hang=CMD expected"},
        {"fault=0", "switch 'fault=0': fault[=BITS] expected"},
        {"slow-eeprom=0", "switch 'slow-eeprom=0': slow-eeprom[=MS] expected"},
    };
    for (const Case& c : cases) {
        SimSwitches s;
        std::string error;
        EXPECT_FALSE(ParseSwitch(c.text, s, &error)) << c.text;
        EXPECT_EQ(error, c.error);
    }
}

}  // namespace
