// Operations that change the state of the connected drive as a whole: power stage enable and
// disable through the CiA 402 controlword, permanent memory, factory defaults, the mode of
// operation around tuning runs, the PLC program and the system manager's drive access.
#include <cstdint>
#include <string>

#include "drive/DriveValueHelpers.h"
#include "drive/ErrorReport.h"
#include "drive/Qd.h"
#include "engine/AdsChannelDriver.h"
#include "engine/BoxChannelDriver.h"
#include "engine/BridgeChannelDriver.h"
#include "engine/Channel.h"
#include "engine/ChannelTypes.h"
#include "engine/EngineCodes.h"
#include "engine/LibraryChannelDriver.h"
#include "engine/Main.h"
#include "engine/SerialChannelDriver.h"
#include "foundation/MessageIds.h"
#include "foundation/ProgramFolders.h"
#include "platform/Messages.h"
#include "platform/Prompt.h"

namespace drive {

namespace {

constexpr const char* kControlword = "controlword";
constexpr const char* kEepromCell = "GestEEprom";
constexpr const char* kEepromStatusCell = "EEpromCommandStatus";
constexpr uint32_t kProgramKey = 0x1D4E7A93;
constexpr int32_t kMode129 = -127;  // mode 129 as the drive's signed byte
constexpr int kCellNotFound = -303;
constexpr int kNoAnswerAfterRestore = -304;

// The four-answer message dialog: 6 yes, 7 yes and do not ask again, 8 no, 9 no and do not ask
// again.
int AskFourAnswers(const std::string& text, const std::string& caption) {
    return platform::Prompts().Custom(kMessageDialogPrompt, {text, caption, "2"}, nullptr);
}

int8_t ModeByte(uint32_t value) {
    return static_cast<int8_t>(static_cast<uint8_t>(value & 0xFF));
}

}  // namespace

// ---- the system manager's door to the drive ------------------------------------------------------

int CQd::CSystemManagerLink::ReadCell(const std::string& name, uint32_t* value) {
    return qd_.ReadCell(name, value);
}

int CQd::CSystemManagerLink::WriteCell(const std::string& name, uint32_t value) {
    return qd_.WriteCell(name, value);
}

std::string CQd::CSystemManagerLink::LastErrorText() {
    return qd_.TakeLastErrorText();
}

std::string CQd::CSystemManagerLink::ModbusErrorVariableName() {
    return qd_.ModbusErrorVariableName();
}

const std::string* CQd::CSystemManagerLink::FindModbusError(uint32_t value) {
    return qd_.description_.errorTable.FindModbusError(value);
}

std::unique_ptr<CSystemManager> CQd::MakeSystemManager() {
    auto manager = std::make_unique<CSystemManager>(*opClock_);
    manager->SetAccess(&systemManagerLink_);
    return manager;
}

// ---- helpers -----------------------------------------------------------------------------------

void CQd::OperationPause() {
    PauseBackgroundReads();
}

void CQd::OperationResume() {
    ResumeBackgroundReads();
}

void CQd::ShowOperationBox(const std::string& text, const std::string& caption, unsigned flags) {
    platform::Prompts().MessageBox(text, caption, flags);
}

int CQd::WriteControlword(uint32_t word) {
    return WriteCell(kControlword, word) == 0 ? 0 : 1;
}

// ---- power stage -------------------------------------------------------------------------------

int CQd::WaitDriveState(int state) {
    for (int counter = 3000; counter >= 0; counter -= 10) {
        uint32_t word = 0;
        if (ReadCell(state_.statusWordCell, &word) != 0) return 1;
        if (DriveStateFromStatusword(static_cast<int32_t>(word)) == state) return 0;
        if (counter > 0) opClock_->SleepMs(10);
    }
    return 2;
}

int CQd::DisableDrive() {
    if (IsOffline()) return 3;
    if (WriteControlword(0) != 0) return 1;
    for (int look = 0; look < 60; ++look) {
        opClock_->SleepMs(50);
        const int state = DriveStateFromStatusword(static_cast<int32_t>(StatuswordCell().value));
        if (state == kStateNotReady || state == kStateSwitchOnDisabled || state == kStateReadyToSwitchOn)
            return 0;
    }
    return 2;
}

// The controlword steps from a state on to operation enabled; each waits for its state.
int CQd::EnableSteps(int from) {
    struct Step {
        uint32_t word;
        int state;
    };
    static const Step kSteps[] = {{0, kStateSwitchOnDisabled},
                                  {6, kStateReadyToSwitchOn},
                                  {7, kStateSwitchedOn},
                                  {15, kStateOperationEnabled}};
    for (int i = from; i < 4; ++i) {
        if (WriteControlword(kSteps[i].word) != 0) return 1;
        if (const int rc = WaitDriveState(kSteps[i].state); rc != 0) return rc;
    }
    return 0;
}

int CQd::SwitchOnFromReset() {
    return EnableSteps(0);
}

int CQd::EnableDrive() {
    if (IsOffline()) return 3;
    const CParamDw& alarm = AlarmCell();
    if (alarm.IsValid() && alarm.value != 0) {
        ShowOperationBox("Reset alarms before continuing!", "Set operation enable", platform::MB_ICONERROR);
        return 13;
    }
    if (!IsHardwareEnabled()) return 4;
    OperationPause();
    uint32_t word = 0;
    int rc = 1;
    if (ReadCell(state_.statusWordCell, &word) == 0) {
        switch (DriveStateFromStatusword(static_cast<int32_t>(word))) {
            case kStateSwitchOnDisabled:
                rc = EnableSteps(1);
                break;
            case kStateReadyToSwitchOn:
                rc = EnableSteps(2);
                break;
            case kStateSwitchedOn:
                rc = EnableSteps(3);
                break;
            case kStateOperationEnabled:
                rc = 0;
                break;
            default:
                rc = SwitchOnFromReset();
                break;
        }
    }
    OperationResume();
    return rc;
}

int CQd::ConfirmDisableDrive(bool momentarily, bool noAsk) {
    auto enabled = [this] {
        return DriveStateFromStatusword(static_cast<int32_t>(StatuswordCell().value)) ==
               kStateOperationEnabled;
    };
    if (!enabled()) return 0;
    if (!noAsk) {
        const int answer = platform::Prompts().MessageBox(
            momentarily ? "The drive will be momentarily disabled.Continue?"
                        : "The drive will be disabled.Continue?",
            "Write values", platform::MB_YESNO | platform::MB_ICONWARNING | platform::MB_DEFBUTTON2);
        if (answer == platform::IDNO) return 7;
    }
    if (DisableDrive() != 0 && enabled()) return 3;
    return 0;
}

bool CQd::IsHardwareEnabled() {
    uint32_t value = 0;
    const int rc = ReadCell("TestEnableHw", &value);
    if (rc == kCellNotFound) {
        uint32_t inputs = 0;
        if (ReadCell(digitalInputCell_, &inputs) != 0) return true;
        return (inputs & (1u << 22)) != 0;
    }
    if (rc != 0) return true;
    return value != 0;
}

bool CQd::IsModeDisplay129() {
    const CParamDw& mode = ModeDisplayCell();
    if (!mode.IsValid()) {
        ReportError("Mode of operation display read error!", 1, 0, "", "");
        return false;
    }
    return (mode.value & 0xFF) == 129;
}

bool CQd::IsNotOperational() {
    const uint32_t state = StateValueCell().value;
    return state == 0 || state == 10 || state == 20 || state == 30;
}

// ---- permanent memory --------------------------------------------------------------------------

int CQd::SaveParametersToEeprom() {
    ops_.eepromSaveNeeded = false;
    if (identity_.systemManager) {
        const uint32_t result = systemManager_->ExecuteCommand("SYS_CV_EE_SAVE_USER");
        if (result == 0)
            ShowOperationBox("Save in permanent memory completed", "Save", platform::MB_ICONINFORMATION);
        return result == 0 ? 0 : -1;
    }
    OperationPause();
    const int rc = WriteCell(kEepromCell, 1);
    if (rc != 0) {
        OperationResume();
        ReportError("EEprom write error", 1, rc, "", "");
        return rc;
    }
    const int64_t written = opClock_->NowMs();
    opClock_->SleepMs(200);
    bool done = false;
    while (opClock_->NowMs() - written < 5000) {
        uint32_t value = 1;
        if (ReadCell(kEepromCell, &value) == 0 && value == 0) {
            done = true;
            break;
        }
        opClock_->SleepMs(100);
    }
    if (!done) {
        OperationResume();
        ShowOperationBox(
            "Save in permanent memory error: command not completed! Restart the drive, reconnect and then "
            "restore "
            "default parameters.",
            "EEPROM TIME OUT", platform::MB_ICONERROR);
        return -1;
    }
    uint32_t status = 1;
    const int read = ReadCell(kEepromStatusCell, &status);
    OperationResume();
    if (read != 0 || status != 0) {
        ShowOperationBox(
            "Save in permanent memory error: command not completed! View details in drive errors window.",
            "EEPROM ERROR", platform::MB_ICONERROR);
        return -1;
    }
    ShowOperationBox("Save in permanent memory completed", "Save", platform::MB_ICONINFORMATION);
    return 0;
}

int CQd::RestoreEepromDefaults() {
    if (identity_.systemManager) {
        if (systemManager_->ExecuteCommand("SYS_CV_EE_RESTORE") == 0)
            ShowOperationBox("Restore default parameters completed", "Restore", platform::MB_ICONINFORMATION);
        return 0;
    }
    if (!ops_.restoreDontAsk) {
        // Only a remembered Yes skips the question: a remembered No never restores by itself.
        const int answer =
            AskFourAnswers("This operation will restart firmware. Continue?", "EEprom restore default data");
        if (answer == 7) {
            ops_.restoreDontAsk = true;
        } else if (answer != 6) {
            return 0;
        }
    }
    OperationPause();
    const int rc = WriteCell(kEepromCell, 2);
    if (rc != 0) {
        ReportError("EEprom write error", 1, rc, "", "");
        OperationResume();
        return 0;
    }
    opClock_->SleepMs(2000);
    const int64_t first = opClock_->NowMs();
    while (true) {
        uint32_t type = 0;
        if (ReadCell("device_type", &type) == 0) break;
        if (opClock_->NowMs() - first > 4500) {
            // The user is told to reconnect: the background reads stay paused.
            ShowOperationBox(
                "Restore default parameters error: command not completed! Restart the drive, reconnect and "
                "then "
                "retry.",
                "", platform::MB_ICONERROR);
            return kNoAnswerAfterRestore;
        }
        opClock_->SleepMs(100);
    }
    uint32_t status = 1;
    const int read = ReadCell(kEepromStatusCell, &status);
    if (read == 0 && status == 0) {
        ShowOperationBox("Restore default parameters completed", "Restore", platform::MB_ICONINFORMATION);
    } else {
        ShowOperationBox("Restore default parameters not completed! View details in drive errors window.",
                         "EEPROM ERROR", platform::MB_ICONERROR);
    }
    OperationResume();
    return 0;
}

// The answer time-out of the current channel, whatever kind it is.
void CQd::SetChannelTimeout(uint32_t ms) {
    engine::CMain* engine = EngineOrNull();
    if (!engine) return;
    // An invalid channel leaves its code and text in the engine's error fields.
    engine::CChannel* channel = nullptr;
    if (engine->CheckChannel(engine->CurrentChannel(), &channel) != 0) return;
    engine::CChannelDriver* driver = channel->driver.get();
    if (auto* serial = dynamic_cast<engine::CSerialChannelDriver*>(driver)) {
        serial->Rtu().SetTimeout(ms, nullptr, nullptr);
    } else if (auto* box = dynamic_cast<engine::CBoxChannelDriver*>(driver)) {
        box->Box().SetBoxTimeout(ms);
    } else if (auto* library = dynamic_cast<engine::CLibraryChannelDriver*>(driver)) {
        library->SetTimeoutMs(ms);
    } else if (auto* bridge = dynamic_cast<engine::CBridgeChannelDriver*>(driver)) {
        bridge->SetTimeoutMs(ms);
    } else if (auto* ads = dynamic_cast<engine::CAdsChannelDriver*>(driver)) {
        ads->SetTimeoutMs(ms);
    }
}

int CQd::SaveProgramToEeprom() {
    const int key = WriteCell("PE_enabling_key", kProgramKey);
    const bool keyed = key != kCellNotFound;
    if (keyed && key != 0) return 1;
    // Writing the program into permanent memory takes the drive longer than an ordinary answer.
    SetChannelTimeout(5000);
    const int rc = WriteCell("PE_user_program_ram_eeprom", 1);
    SetChannelTimeout(wnd_.Record().timeout);
    if (keyed) WriteCell("PE_enabling_key", 0);
    return rc != 0 ? 1 : 0;
}

// ---- mode of operation -------------------------------------------------------------------------

int CQd::SaveModeOfOperation() {
    if (identity_.systemManager) {
        ops_.modeSaved = false;
        return 1;
    }
    const CParamDw& mode = ModeDisplayCell();
    if (!mode.IsValid()) {
        ReportError("Save mode of operation read error! -  mode of operation save failed", 2, 0, "", "");
        return 0;
    }
    ops_.savedMode = ModeByte(mode.value);
    ops_.modeSaved = true;
    return 1;
}

// Reads the display into the cached cell until it shows the mode: 11 reads, 300 ms apart.
int CQd::PollModeDisplay(int32_t mode) {
    OperationPause();
    int rc = 2;
    for (int counter = 0; counter <= 3000; counter += 300) {
        uint32_t value = 0;
        if (ReadCell(state_.modeCell, &value) == 0) {
            ModeDisplayCell().SetRead(value);
            if (ModeByte(value) == static_cast<int8_t>(mode)) {
                rc = 0;
                break;
            }
        } else {
            ModeDisplayCell().status = kCellReadError;
        }
        opClock_->SleepMs(300);
    }
    OperationResume();
    return rc;
}

int CQd::RestoreModeOfOperation(int32_t mode, bool quiet) {
    ops_.currentMode = mode;
    if (mode == kMode129 && identity_.systemManager) return 0;
    int rc = WriteCell("ModeOfOperation", static_cast<uint32_t>(mode)) != 0 ? 5 : PollModeDisplay(mode);
    if (rc != 0 && !quiet) {
        static const char* const kTexts[] = {
            "",
            "mode of operation display read error! -  mode of operation failed restore",
            "mode of operation time out - failed restore",
            "Motor disable error - mode of operation failed restore",
            "Activate hardware enable before continuing!",
            "mode of operation write error! - failed restore",
        };
        ReportError(kTexts[rc], 2, rc, "", "");
    }
    return rc;
}

int CQd::SetModeOfOperation() {
    if (!ModeDisplayCell().IsValid()) return 0;
    // Nothing saved, nothing to put back.
    if (!ops_.modeSaved) return 1;
    const int32_t mode = ops_.savedMode;
    if (mode == kMode129 && identity_.systemManager) return 1;
    if (WriteCell("ModeOfOperation", static_cast<uint32_t>(mode)) == 0) PollModeDisplay(mode);
    return 1;
}

// ---- tuning and the PLC program ----------------------------------------------------------------

bool CQd::StopTuning() {
    // Nothing runs unless the oscilloscope and tuning sheet is open.
    if (!host_->ScopeSheetOpen()) return true;
    if (!IsModeDisplay129()) {
        auto enabled = [this] {
            return DriveStateFromStatusword(static_cast<int32_t>(StatuswordCell().value)) ==
                   kStateOperationEnabled;
        };
        if (enabled() && DisableDrive() != 0 && enabled()) return false;
    }
    if (RestoreModeOfOperation(kMode129, true) != 0) return false;
    const int rc = WriteCell("TuningRegulatorCommand", 0);
    if (rc != 0) {
        ReportError("Stop write error", 2, rc, "", "");
        return false;
    }
    return true;
}

bool CQd::StopPlc() {
    if (IsOffline()) return true;
    uint32_t status = 0;
    if (ReadCell("vm_StatusRunStop", &status) != 0) return false;
    if (status == 0) return true;
    if (identity_.systemManager && systemManager_->LookupCommand("SYS_CV_STOP_PLC") != 0) {
        if (systemManager_->ExecuteCommand("SYS_CV_STOP_PLC", 1) != 0) return false;
    } else if (WriteCell("vm_CommandRunStop", 1) != 0) {
        return false;
    }
    const int64_t start = opClock_->NowMs();
    bool stopped = false;
    do {
        opClock_->SleepMs(300);
        stopped = ReadCell("vm_StatusRunStop", &status) == 0 && status == 0;
    } while (!stopped && opClock_->NowMs() - start < 2000);
    return stopped;
}

// ---- reports and questions ---------------------------------------------------------------------

void CQd::ReportWriteError(int kind, const std::string& text, int32_t code) {
    if (ops_.quiet) return;
    if (kind == 1 || kind == 2) {
        if (DriveStateFromStatusword(static_cast<int32_t>(StatuswordCell().value)) ==
            kStateOperationEnabled) {
            ShowOperationBox(
                "Write error: the drive has been enabled during the write procedure. Stop all enable "
                "operations "
                "before continuing",
                "Write error", platform::MB_ICONERROR);
            return;
        }
        if (kind == 2) {
            if (!ModeDisplayCell().IsValid()) {
                ReportError("Drive read error!", 2, 2, "", "");
                return;
            }
            if ((ModeDisplayCell().value & 0xFF) != 129) {
                ShowOperationBox(
                    "Write error: change of operating mode not allowed during the write procedure. Stop all "
                    "the "
                    "operations that changes the operating mode and write again.",
                    "Write error", platform::MB_ICONERROR);
                return;
            }
        }
    }
    ReportError(text, kind, code, "", "");
}

void CQd::AskSaveModifiedParameters() {
    if (!ops_.holdsParameters) return;
    if (IsOffline()) {
        // Host mode and parameters-file operations
        if (ops_.fileOperation || silent_) return;
        if (IsHostMode()) {
            // The host's file takes the changes when the program closes: the host is told.
            const auto lock = LockPeerState();
            peer_.m_paramFileChanged = true;
            return;
        }
        if (platform::Prompts().MessageBox("One or more parameters has been modified. Save it?",
                                           foundation::kProgramName,
                                           platform::MB_YESNO | platform::MB_ICONQUESTION) != platform::IDYES)
            return;
        const int rc = SaveParametersFileAs(owner_, kParamSaveXml);
        if (rc == kParamFileDone || rc == kParamFileReadErrors)
            platform::Prompts().MessageBox("Parameters file successfully saved", foundation::kProgramName,
                                           platform::MB_OK | platform::MB_ICONINFORMATION);
        return;
    }
    if (ops_.askSave) {
        // The answer is remembered as it was given: a remembered No never saves.
        switch (AskFourAnswers("Save all parameters in permanent memory?", foundation::kProgramName)) {
            case 6:
                ops_.askSave = true;
                ops_.save = true;
                break;
            case 7:
                ops_.askSave = false;
                ops_.save = true;
                break;
            case 9:
                ops_.askSave = false;
                ops_.save = false;
                break;
            default:
                ops_.askSave = true;
                ops_.save = false;
                break;
        }
    }
    if (ops_.save) SaveParametersToEeprom();
}

// ---- EtherCAT slave and reconnection ----------------------------------------------------------

int CQd::UpdateEsiEeprom() {
    constexpr uint32_t kUpdateEsiCommand = 5400;
    uint32_t configuration = 0;
    if (const int rc = ReadCell("EtcRegEEpromConfiguration", &configuration); rc != 0) return rc;
    if (configuration == 1) return WriteCell("SystemManagerCommand", kUpdateEsiCommand);
    int type = 0;
    if (wnd_.Record().channelType == connection_kind::kBridge && CurrentChannelType(&type) == 0 &&
        type == engine::channel_type::kBridge) {
        engine::CMain& engine = *EngineOrNull();
        auto* driver = dynamic_cast<engine::CBridgeChannelDriver*>(
            engine.Channel(engine.CurrentChannel())->driver.get());
        transport::CBridgeNode* node = driver ? driver->Manager().CurrentNodeRecord() : nullptr;
        if (node && node->manager && node->nodeId != 0) {
            uint8_t flag = 1;
            if (node->manager->SetEepromConfiguration(node->handle, &flag) == 0) {
                const int rc = WriteCell("SystemManagerCommand", kUpdateEsiCommand);
                node->manager->SetEepromConfiguration(node->handle, &flag);
                if (rc == 0) return 0;
            }
        }
    }
    return platform::Prompts().MessageBox("The ESI eeprom of this EtherCAT slave must be updated manually.",
                                          "ESI eeprom update", platform::MB_OK | platform::MB_ICONWARNING);
}

void CQd::RestartConnectionAfterReset(bool flag) {
    identity_.reconnectAfterReset = flag;
    CloseConnection(false);
    Host().CloseToolWindows();
    platform::PostMessage(owner_, foundation::kFrameConnectSequenceMessage, 0, 0);
}

void CQd::RestartConnection(bool flag) {
    ops_.reconnect = flag;
    identity_.reconnectAfterReset = false;
    // Host mode and parameter files: for the peer tool the flag switches between offline and
    // online. An offline connection restarted with it goes online; an online one comes back
    // offline (from the drive's parameters in the temporary file); without it the connection
    // starts offline again from the host's file.
    if (IsHostMode()) hostSession_.askedOnline = flag && !(connected_ && !IsOffline());
    CloseConnection(false);
    Host().CloseToolWindows();
    platform::PostMessage(owner_, foundation::kFrameConnectSequenceMessage, 0, 0);
}

}  // namespace drive
