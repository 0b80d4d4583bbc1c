#pragma once

// Switches that make the simulated drive misbehave on purpose, given on the command line
// (--inject) or in a map file (inject). Each is NAME or NAME=ARGUMENT:
//
//   no-answer[=AFTER[:FOR]]   the drive answers nothing, from AFTER ms after the start (0) for FOR ms
//                             (for ever)
//   state=N                   the drive starts in CiA 402 state N (0..7; 6 and 7 with a fault)
//   stuck-state               the controlword changes no state
//   mode-stuck                the mode of operation display does not follow the mode
//   no-hw-enable              the hardware enable input is off
//   fault[=BITS]              a fault (alarm bits, default 1) is raised at the start
//   warning[=BITS]            a warning (bits, default 1) is active from the start
//   refuse=CMD[:ERR]          the system command is refused with error ERR (default 8); forcing lifts it
//   refuse-always=CMD[:ERR]   the same, and forcing does not help
//   fail=CMD[:ERR]            the command runs and ends with error ERR (default 20); CMD may be
//                             GestEEprom for the permanent-memory command word
//   hang=CMD                  the command never ends; CMD may be TuningRegulatorCommand
//   busy[=CMD]                the drive is busy with a command that never ends (default: the first)
//   slow-eeprom[=MS]          permanent memory takes MS ms (default 6000) per save and restart
//   no-system-manager         the system command word cannot be read
//   diag-messages=N           N messages are in the diagnosis history at the start
//   diag-wrap                 the diagnosis history's ring has wrapped (more messages than slots)
//   diag-newest=SLOT          the history reports SLOT as its newest slot, inside the ring or not
//   diag-msg-size=BYTES       the history announces this message size
//   fw-fail-image             a firmware image written to "download_firmware" is refused
//   fw-refuse-key             the unlock key written to "enabling_key" is refused
//   fw-reboot-silent[=MS]     after a firmware restart the drive answers nothing for MS ms (for ever)
//   refuse-write=NAME         every write of the variable is refused as out of range
//   vm-short-record           the program machine opens the old way (major version only), so the
//                             program's identity is asked with the short record (command 2)
//
// The other stages of a firmware download fail with refuse= and fail= on their commands (the send,
// unpack and restart commands).
//
// CMD is a command name of the description or its number.

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>

namespace drivesim {

struct SimSwitches {
    std::optional<int64_t> silentAfterMs;
    std::optional<int64_t> silentForMs;  // none: for ever
    std::optional<int> initialState;
    bool stuckState = false;
    bool modeStuck = false;
    bool noHardwareEnable = false;
    bool noSystemManager = false;
    uint32_t faultBits = 0;
    std::map<std::string, uint32_t> refuse;        // command -> error
    std::map<std::string, uint32_t> refuseAlways;  // command -> error
    std::map<std::string, uint32_t> fail;          // command -> error
    std::set<std::string> hang;
    std::optional<std::string> busy;  // empty text: the first command
    std::optional<int> eepromMs;
    // Diagnosis history
    int diagMessages = 0;
    bool diagWrap = false;
    std::optional<uint32_t> diagNewest;
    std::optional<uint32_t> diagMsgSize;
    // ---- drive errors ----
    uint32_t warningBits = 0;
    // Firmware download
    bool failFirmwareImage = false;
    bool refuseFirmwareKey = false;
    std::optional<int64_t> rebootSilentMs;  // 0: for ever
    // ---- parameter file import ----
    std::set<std::string> refuseWrite;  // variables whose writes are refused
    // ---- drive-program identity ----
    bool vmShortRecord = false;
};

// Adds one switch; false with the reason when the text names none or its argument is bad.
bool ParseSwitch(const std::string& text, SimSwitches& switches, std::string* error);

}  // namespace drivesim
