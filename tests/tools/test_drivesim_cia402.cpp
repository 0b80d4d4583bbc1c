// The simulated drive's CiA 402 device control, as a table of transitions.
#include <gtest/gtest.h>

#include "tools/drivesim/Cia402.h"

namespace {

using namespace drivesim::cia402;

constexpr uint16_t kShutdown = 0x06, kSwitchOn = 0x07, kEnable = 0x0F, kDisableVoltage = 0x00,
                   kQuickStop = 0x02, kReset = 0x80;

TEST(Cia402, TransitionTable) {
    struct Case {
        State from;
        uint16_t word, previous;
        bool hardware, faultActive;
        State to;
    } cases[] = {
        // The enable sequence the drive object writes from each state.
        {kSwitchOnDisabled, kShutdown, 0, true, false, kReadyToSwitchOn},
        {kReadyToSwitchOn, kSwitchOn, kShutdown, true, false, kSwitchedOn},
        {kSwitchedOn, kEnable, kSwitchOn, true, false, kOperationEnabled},
        {kReadyToSwitchOn, kEnable, kShutdown, true, false,
         kOperationEnabled},  // switch on and enable at once
        {kOperationEnabled, kEnable, kEnable, true, false, kOperationEnabled},
        // Without the hardware enable operation stays off.
        {kSwitchedOn, kEnable, kSwitchOn, false, false, kSwitchedOn},
        {kReadyToSwitchOn, kEnable, kShutdown, false, false, kSwitchedOn},
        // Disabling.
        {kOperationEnabled, kDisableVoltage, kEnable, true, false, kSwitchOnDisabled},
        {kOperationEnabled, kSwitchOn, kEnable, true, false, kSwitchedOn},
        {kOperationEnabled, kShutdown, kEnable, true, false, kReadyToSwitchOn},
        {kSwitchedOn, kShutdown, kSwitchOn, true, false, kReadyToSwitchOn},
        {kSwitchedOn, kDisableVoltage, kSwitchOn, true, false, kSwitchOnDisabled},
        {kSwitchOnDisabled, kDisableVoltage, 0, true, false, kSwitchOnDisabled},
        {kSwitchOnDisabled, kSwitchOn, 0, true, false, kSwitchOnDisabled},  // needs a shutdown first
        {kSwitchOnDisabled, kEnable, 0, true, false, kSwitchOnDisabled},
        // Quick stop.
        {kOperationEnabled, kQuickStop, kEnable, true, false, kQuickStopActive},
        {kSwitchedOn, kQuickStop, kSwitchOn, true, false, kSwitchOnDisabled},
        {kQuickStopActive, kEnable, kQuickStop, true, false, kOperationEnabled},
        {kQuickStopActive, kDisableVoltage, kQuickStop, true, false, kSwitchOnDisabled},
        // Faults: only the rising edge of bit 7 resets, and only without a cause left.
        {kFault, kReset, 0, true, false, kSwitchOnDisabled},
        {kFault, kReset, kReset, true, false, kFault},
        {kFault, kReset, 0, true, true, kFault},
        {kFault, kShutdown, 0, true, false, kFault},
        {kFault, kEnable, 0, true, false, kFault},
        {kFaultReactionActive, kReset, 0, true, false, kFaultReactionActive},
        {kNotReadyToSwitchOn, kShutdown, 0, true, false, kNotReadyToSwitchOn},
        // Bit 7 without a fault takes no other command.
        {kSwitchOnDisabled, static_cast<uint16_t>(kReset | kShutdown), 0, true, false, kSwitchOnDisabled},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Next(c.from, c.word, c.previous, c.hardware, c.faultActive), c.to)
            << "from " << c.from << " word 0x" << std::hex << c.word;
}

// Each state's statusword reads back as that state by the program's own decoding rule.
TEST(Cia402, StatuswordShowsEveryState) {
    auto decode = [](uint16_t s) {
        if ((s & 0x4F) == 0x40) return 1;
        switch (s & 0x6F) {
            case 0x21:
                return 2;
            case 0x23:
                return 3;
            case 0x27:
                return 4;
            case 0x07:
                return 5;
        }
        if ((s & 0x4F) == 0x0F) return 6;
        if ((s & 0x4F) == 0x08) return 7;
        return 0;
    };
    for (int state = 0; state <= 7; ++state) {
        for (bool warning : {false, true}) {
            const uint16_t word = Statusword(static_cast<State>(state), warning);
            EXPECT_EQ(decode(word), state) << std::hex << word;
            EXPECT_EQ((word & 0x80) != 0, warning);
            EXPECT_NE(word & 0x200, 0) << "remote";
        }
    }
    EXPECT_EQ(Statusword(kOperationEnabled, false), 0x0237);
}

}  // namespace
