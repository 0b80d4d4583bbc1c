#include "tools/drivesim/Cia402.h"

namespace drivesim::cia402 {

State Next(State state, uint16_t controlword, uint16_t previous, bool hardwareEnabled, bool faultActive) {
    const bool resetEdge = (controlword & kFaultResetBit) != 0 && (previous & kFaultResetBit) == 0;
    switch (state) {
        case kNotReadyToSwitchOn:
        case kFaultReactionActive:
            return state;  // the drive moves on by itself
        case kFault:
            return resetEdge && !faultActive ? kSwitchOnDisabled : kFault;
        default:
            break;
    }
    if (controlword & kFaultResetBit) return state;  // bit 7 set: no other command is taken
    const unsigned command = controlword & 0x0F;
    const bool disableVoltage = (command & 0x02) == 0;
    const bool quickStop = !disableVoltage && (command & 0x04) == 0;
    const bool shutdown = (command & 0x07) == 0x06;
    const bool switchOn = command == 0x07;
    const bool enableOperation = command == 0x0F;
    if (disableVoltage) return state == kSwitchOnDisabled ? state : kSwitchOnDisabled;
    if (quickStop) {
        if (state == kOperationEnabled) return kQuickStopActive;
        return state == kQuickStopActive ? state : kSwitchOnDisabled;
    }
    switch (state) {
        case kSwitchOnDisabled:
            return shutdown ? kReadyToSwitchOn : state;
        case kReadyToSwitchOn:
            if (switchOn) return kSwitchedOn;
            if (enableOperation) return hardwareEnabled ? kOperationEnabled : kSwitchedOn;
            return state;
        case kSwitchedOn:
            if (shutdown) return kReadyToSwitchOn;
            if (enableOperation && hardwareEnabled) return kOperationEnabled;
            return state;
        case kOperationEnabled:
            if (shutdown) return kReadyToSwitchOn;
            if (switchOn) return kSwitchedOn;
            return state;
        case kQuickStopActive:
            return enableOperation && hardwareEnabled ? kOperationEnabled : state;
        default:
            return state;
    }
}

uint16_t Statusword(State state, bool warning) {
    static const uint16_t kWords[] = {0x0000, 0x0040, 0x0031, 0x0033, 0x0037, 0x0017, 0x001F, 0x0008};
    const int s = state >= 0 && state <= 7 ? state : 0;
    return static_cast<uint16_t>(kWords[s] | 0x0200 | (warning ? 0x0080 : 0));
}

}  // namespace drivesim::cia402
