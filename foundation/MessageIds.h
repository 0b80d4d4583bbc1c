#pragma once
// The program's own window message ids, one per receiver and meaning, so that no two windows
// pick the same number by chance. None of them carries memory in its parameters: wParam and
// lParam are plain codes and counts, and the receiver frees nothing.
#include <cstddef>
#include <iterator>

#include "platform/Messages.h"

namespace foundation {

// The engine's notices to the connection window (the engine's owner): node-guard changes
// (wParam the guard code, lParam channel, node and state packed) and the configuration-file
// index's progress (wParam 1, lParam the code). No payload.
constexpr unsigned kEngineNotifyMessage = platform::WM_USER + 123;  // 1147

// The connection window to itself: reconnect the node (the engine found it lost). No payload.
constexpr unsigned kConnectionReconnectMessage = platform::WM_USER + 0x96;  // 1174

// Domain upload to the window that started it: wParam the phase (start, progress, done,
// error), lParam the size or error code. No payload.
constexpr unsigned kDomainUploadMessage = platform::WM_USER + 4;  // 1028

// Firmware prepare and download to the window that started them: wParam the phase, lParam
// its value. No payload.
constexpr unsigned kFirmwareDownloadMessage = platform::WM_USER + 154;  // 1178

// The extended combo box's private "set this text" to itself; the text travels in the box's
// own call, not in the message. No payload.
constexpr unsigned kComboSetTextMessage = platform::WM_USER + 64;  // 1088

// The colour picker's notices to its holder, sent on the window thread: wParam the colour,
// lParam the picker's id. No payload. They follow each other in this order.
constexpr unsigned kColourPickerSelChangeMessage = platform::WM_USER + 1001;     // 2025, hot colour changed
constexpr unsigned kColourPickerDropDownMessage = platform::WM_USER + 1002;      // 2026, pop-up opened
constexpr unsigned kColourPickerCloseUpMessage = platform::WM_USER + 1003;       // 2027, pop-up closed
constexpr unsigned kColourPickerSelEndOkMessage = platform::WM_USER + 1004;      // 2028, colour accepted
constexpr unsigned kColourPickerSelEndCancelMessage = platform::WM_USER + 1005;  // 2029, choice cancelled

// The wait dialog's progress from its owner or a worker: lParam 0 progress (wParam the new
// position), lParam 1 the operation finished (the dialog ends with OK). No payload.
constexpr unsigned kWaitDialogMessage = platform::WM_USER + 9;  // 1033

// The main frame's connect sequence, posted to the frame itself at creation, by "New
// connection" and by the drive object's restarts. No payload.
constexpr unsigned kFrameConnectSequenceMessage = platform::WM_USER + 10;  // 1034

// ---- connect sequence and polling groups ----
// A group cell changed, posted by the engine to the connection window: wParam the cell holder
// (owned by whoever added it to the group), lParam 0. Nothing to free.
constexpr unsigned kGroupChangeMessage = platform::WM_USER + 1;  // 1025 (0x401)
// A reconnect succeeded, to the window that registered for it in the drive object. No payload.
constexpr unsigned kDriveReconnectedMessage = platform::WM_USER + 0xA4;  // 1188 (0x4A4)
// The connection window to itself: re-create the status groups after a motor-type change, out
// of the group's own notice. No payload.
constexpr unsigned kStatusGroupsRecreateMessage = platform::WM_USER + 0xA5;  // 1189

// Every id above: a new one is added here too, so that a number taken twice fails the build.
inline constexpr unsigned kProgramMessageIds[] = {
    kEngineNotifyMessage,         kConnectionReconnectMessage,
    kDomainUploadMessage,         kFirmwareDownloadMessage,
    kComboSetTextMessage,         kColourPickerSelChangeMessage,
    kColourPickerDropDownMessage, kColourPickerCloseUpMessage,
    kColourPickerSelEndOkMessage, kColourPickerSelEndCancelMessage,
    kWaitDialogMessage,           kFrameConnectSequenceMessage,
    kGroupChangeMessage,          kDriveReconnectedMessage,
    kStatusGroupsRecreateMessage};

// True when no id of the list is there twice.
template <size_t N>
constexpr bool IdsAreDistinct(const unsigned (&ids)[N]) {
    for (size_t i = 0; i < N; ++i)
        for (size_t j = i + 1; j < N; ++j)
            if (ids[i] == ids[j]) return false;
    return true;
}
static_assert(IdsAreDistinct(kProgramMessageIds), "two window messages share an id");

// The connection was closed: the main dialog, the bus settings window and the third page window
// refresh. The system's number, the same as the connection window's own reconnect message
// (other receivers), so kept apart from the list above. No payload.
constexpr unsigned kPageConnectionClosedMessage = 0x496;

// The main dialog's commands, posted by the main frame's menu and toolbar (and by the dialog's
// own buttons). Their numbers are the system's own and only the main dialog receives them, so
// they are kept apart from the list above (0x440 is also the combo box's private message).
// wParam as noted, otherwise 0; no payload.
constexpr unsigned kMainDlgExportFirmwareMessage = 0x434;
constexpr unsigned kMainDlgXulEnableMessage = 0x436;  // wParam 1 enable, 0 disable
constexpr unsigned kMainDlgDriveEnableMessage = 0x437;
constexpr unsigned kMainDlgFirmwareDownloadMessage = 0x43C;
constexpr unsigned kMainDlgObjectDictionaryMessage = 0x43D;
constexpr unsigned kMainDlgPermanentMemoryMessage = 0x43F;
constexpr unsigned kMainDlgOptionsMessage = 0x440;
constexpr unsigned kMainDlgResetMessage = 0x445;  // wParam the command id
constexpr unsigned kMainDlgUserMotorsManageMessage = 0x461;
constexpr unsigned kMainDlgUserMotorsImportMessage = 0x462;
constexpr unsigned kMainDlgUserMotorsExportMessage = 0x463;
constexpr unsigned kMainDlgUserMotorsDeleteMessage = 0x464;
constexpr unsigned kMainDlgRunStopPlcMessage = 0x465;
constexpr unsigned kMainDlgImportParametersMessage = 0x466;
constexpr unsigned kMainDlgExportParametersMessage = 0x467;
constexpr unsigned kMainDlgDownloadParametersMessage = 0x468;
constexpr unsigned kMainDlgEraseProgramMessage = 0x469;
constexpr unsigned kMainDlgCompareParametersMessage = 0x46A;
constexpr unsigned kMainDlgLoadConfigurationMessage = 0x46B;  // wParam 1 the command line's file
constexpr unsigned kMainDlgSaveConfigurationMessage = 0x46C;
constexpr unsigned kMainDlgCreateArchiveMessage = 0x46D;
constexpr unsigned kMainDlgInstallArchiveMessage = 0x46E;
constexpr unsigned kMainDlgPlainParameterFileMessage = 0x472;  // wParam the command id
// From the drive object on the peer-tool link's thread: the host asked for its parameters file
// (the dialog calls CQd::SaveParamFileForHost).
constexpr unsigned kMainDlgSaveParamFileForHostMessage = 0x478;

inline constexpr unsigned kMainDialogMessageIds[] = {kMainDlgExportFirmwareMessage,
                                                     kMainDlgXulEnableMessage,
                                                     kMainDlgDriveEnableMessage,
                                                     kMainDlgFirmwareDownloadMessage,
                                                     kMainDlgObjectDictionaryMessage,
                                                     kMainDlgPermanentMemoryMessage,
                                                     kMainDlgOptionsMessage,
                                                     kMainDlgResetMessage,
                                                     kMainDlgUserMotorsManageMessage,
                                                     kMainDlgUserMotorsImportMessage,
                                                     kMainDlgUserMotorsExportMessage,
                                                     kMainDlgUserMotorsDeleteMessage,
                                                     kMainDlgRunStopPlcMessage,
                                                     kMainDlgImportParametersMessage,
                                                     kMainDlgExportParametersMessage,
                                                     kMainDlgDownloadParametersMessage,
                                                     kMainDlgEraseProgramMessage,
                                                     kMainDlgCompareParametersMessage,
                                                     kMainDlgLoadConfigurationMessage,
                                                     kMainDlgSaveConfigurationMessage,
                                                     kMainDlgCreateArchiveMessage,
                                                     kMainDlgInstallArchiveMessage,
                                                     kMainDlgPlainParameterFileMessage,
                                                     kMainDlgSaveParamFileForHostMessage};

static_assert(IdsAreDistinct(kMainDialogMessageIds), "two main dialog messages share an id");

// ---- Oscilloscope capture and tuning command watcher ----
// Posted by the drive object's watch thread to the oscilloscope window, and by the tuning
// command watcher to the page that started it. Their numbers are the system's own and only
// those windows receive them, so they are kept apart from the lists above. No payload.
// The capture state changed (wParam the state: 1 start, 2 paused, 3 stopped, 4 running or
// waiting for the trigger, 5 recording with lParam the ms still to record, 6 filling the
// pre-trigger with lParam its ms, 7 progress with lParam the ms since the phase began).
constexpr unsigned kOscStatusMessage = platform::WM_USER + 28;  // 0x41C
// A capture was uploaded and converted into the set-up's traces.
constexpr unsigned kOscDataReadyMessage = platform::WM_USER + 23;  // 0x417
// The drive ended the tuning procedure, or the watcher's time ran out.
constexpr unsigned kTuningCommandEndMessage = platform::WM_USER + 9;  // 0x409
// The watcher could not read the tuning command: the page shows the watcher's error text.
constexpr unsigned kTuningCommandErrorMessage = platform::WM_USER + 10;  // 0x40A

inline constexpr unsigned kScopePageMessageIds[] = {kOscStatusMessage, kOscDataReadyMessage,
                                                    kTuningCommandEndMessage, kTuningCommandErrorMessage};

static_assert(IdsAreDistinct(kScopePageMessageIds), "two oscilloscope or tuning messages share an id");

// ---- Firmware update and download ----
// The firmware update check's result to the window that asked: wParam a heap std::string* that
// the receiver takes and frees (the poster frees it when the post is refused), lParam 1 when a
// newer firmware is available. Only the main dialog receives it, hence not in the lists above.
constexpr unsigned kFirmwareUpdateResultMessage = platform::WM_USER + 112;  // 0x470
// The firmware download dialog's system-manager path: wParam the state, lParam its value. No payload.
constexpr unsigned kFirmwareInstallMessage = platform::WM_USER + 201;  // 0x4C9
static_assert(kFirmwareInstallMessage != kFirmwareDownloadMessage, "the two firmware paths share an id");

// ---- Diagnosis history window --------------------------------------------------------------
// wParam: 1 new messages, 2 acknowledged slot changed, 3 status text, 4 history read, 5 time format.
constexpr unsigned kDiagHistoryMessage = platform::WM_USER + 100;  // 0x464

// ---- User firmware dialog ------------------------------------------------------------------
// The scan worker to the dialog: a scan result is ready (wParam the request number); the dialog
// takes the rows from the worker on its own thread. No payload.
constexpr unsigned kUserFirmwareScanMessage = platform::WM_USER + 420;  // 0x5A4
// ---- Connection dialogs' scan threads ----------------------------------------------------------
// The bridge scan found nodes (the records wait in the scan object until the dialog takes them);
// the TwinCAT scan ended: wParam 1 failed, 0 succeeded. No payload.
constexpr unsigned kConnectScanMessage = 0x555;
// The bridge scan's progress: wParam the position, lParam the upper end of the range.
constexpr unsigned kConnectScanProgressMessage = 0x556;

}  // namespace foundation
