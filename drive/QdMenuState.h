#pragma once

// Which commands of the main menus are enabled, as a pure function of a few facts about the
// drive, so that the rules can be read and tested as a table.

#include <cstdint>
#include <vector>

namespace drive {

// Command ids of the main menus.
namespace menu_command {
constexpr uint32_t kNewConnection = 32787;
constexpr uint32_t kExportFirmware = 32845;
constexpr uint32_t kOptions = 32800;
constexpr uint32_t kCommStatus = 32866;
constexpr uint32_t kCreateArchive = 32853;
constexpr uint32_t kInstallArchive = 32854;
constexpr uint32_t kImportParameters = 32841;
constexpr uint32_t kSaveParameters = 32840;
constexpr uint32_t kDownloadParameters = 32842;
constexpr uint32_t kObjectDictionary = 32805;
constexpr uint32_t kOscilloscope = 32806;
constexpr uint32_t kShowErrors = 32786;
constexpr uint32_t kPermanentMemory = 32785;
constexpr uint32_t kDownloadFirmware = 32784;
constexpr uint32_t kDriveSetup = 32790;
constexpr uint32_t kSupplySetup = 32849;
constexpr uint32_t kTuning = 32807;
constexpr uint32_t kDriveEnable = 32804;
constexpr uint32_t kDriveDisable = 32844;
constexpr uint32_t kHardReset = 32846;
constexpr uint32_t kSoftReset = 32847;
constexpr uint32_t kResetToDefaults = 32848;
constexpr uint32_t kRunStopPlc = 32801;
constexpr uint32_t kEraseProgram = 32843;
constexpr uint32_t kProgramDownload = 32803;
constexpr uint32_t kDownloadBinary = 32824;
constexpr uint32_t kProgramInfo = 32811;
constexpr uint32_t kXulSetup = 32870;
constexpr uint32_t kXulEnable = 32871;
constexpr uint32_t kXulDisable = 32872;
// The program editor's commands (undo, redo, clipboard, find, bookmarks, files, compile,
// watches, properties, output).
inline constexpr uint32_t kProgramEditor[] = {32815, 32816, 32812, 32813, 32814, 32791, 32817, 32818, 32792,
                                              32793, 32794, 32795, 32796, 32797, 32798, 32788, 32809, 32810,
                                              32789, 32802, 32777, 32778, 32856, 32779, 32799};
}  // namespace menu_command

// The disabled bit of a command's state in the main dialog's map.
constexpr uint32_t kCommandDisabled = 1;

enum class CMenuDeviceKind { Drive, SupplyUnit, ProgramBox, Family10 };

struct CMenuFacts {
    bool open = false;                // a drive is open, online or offline on a parameter set
    bool bootOnly = false;            // the description says the device runs its boot program only
    bool scopeSheet = false;          // the oscilloscope and tuning sheet is open
    bool offline = false;             // the open drive is offline
    int connectionKind = 0;           // connection_kind of the connection window
    bool modeSaved = false;           // a mode of operation is saved
    bool fwUpdate = false;            // the firmware-update filter applies
    bool plcProgram = false;          // the drive runs a PLC program
    int32_t programTargetIndex = -1;  // the program object's target ...
    int32_t programDriveIndex = -1;   // ... and its index of this drive
    bool paramFileFlag1 = false;
    bool paramFileFlag2 = false;
    int32_t archive = 0;          // commands of archives need it non-zero
    bool systemManager = false;   // the drive offers system-manager commands
    int driveState = 0;           // DriveStateFromStatusword of the cached statusword
    bool notOperational = false;  // family 10: the cached state value is 0, 10, 20 or 30
    CMenuDeviceKind kind = CMenuDeviceKind::Drive;
};

struct CMenuEntry {
    uint32_t id;
    bool enabled;
};

// Every command the device kind has, in the order the main dialog's map gets them. Commands of
// other kinds are not listed: they keep what they had.
std::vector<CMenuEntry> MenuCommandStates(const CMenuFacts& facts);

}  // namespace drive
