#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace transport {

// One bus of a bridge (bus list entry).
struct CBusInfo {
    uint8_t id = 0;          // the target byte of commands for this bus
    uint8_t kind = 0;        // 0, 1 CANopen, 2 EtherCAT
    uint8_t number = 0;      // instance of that kind, from 0
    uint16_t parameter = 0;  // kept for display
    uint32_t rateFigure = 0;
};

constexpr uint8_t kBusKindCanOpen = 1;
constexpr uint8_t kBusKindEtherCat = 2;

// The opcodes one target (a bus, or 0xFF for the bridge itself) accepts.
struct CBusCmds {
    uint8_t target = 0;
    std::vector<uint8_t> opcodes;
};

// One node found by a bus scan.
struct CSlaveInfo {
    uint32_t identity1 = 0;
    uint32_t identity2 = 0;
    uint16_t address = 0;
    uint16_t state = 0;
    uint16_t extra = 0;  // before protocol version 3 only
};

// The caller's record a four-byte group read reports to: its status byte (0 valid, 2 read
// error) and whether it holds a value; changes are posted with param as first parameter.
struct CBridgeNotify {
    static constexpr uint8_t kValid = 0;
    static constexpr uint8_t kReadError = 2;

    uint8_t* status = nullptr;
    bool hasValue = false;
    uintptr_t param = 0;

    bool IsSet() const { return status != nullptr || param != 0; }
};

}  // namespace transport
