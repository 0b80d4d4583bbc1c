#pragma once

// The CiA 402 device control of the simulated drive: which state a controlword leads to and how
// the statusword shows a state.

#include <cstdint>

namespace drivesim::cia402 {

enum State : int {
    kNotReadyToSwitchOn = 0,
    kSwitchOnDisabled = 1,
    kReadyToSwitchOn = 2,
    kSwitchedOn = 3,
    kOperationEnabled = 4,
    kQuickStopActive = 5,
    kFaultReactionActive = 6,
    kFault = 7,
};

constexpr uint16_t kFaultResetBit = 0x80;

// The state the controlword leads to. A fault reset is the rising edge of bit 7 (previous word
// without it) and leaves the fault only when no fault cause is left; operation cannot be enabled
// without the hardware enable (the drive stays switched on).
State Next(State state, uint16_t controlword, uint16_t previous, bool hardwareEnabled, bool faultActive);

// The statusword of a state; bit 7 shows a warning, bit 9 (remote) is always set.
uint16_t Statusword(State state, bool warning);

// Whether the power stage drives the motor in that state.
inline bool Powered(State state) {
    return state == kOperationEnabled || state == kQuickStopActive;
}

}  // namespace drivesim::cia402
