#include "app/MainDlgCommands.h"

#include <memory>

#include "app/DlgDiagHistory.h"
#include "app/DlgMaintenance.h"
#include "drive/DiagHistory.h"
#include "drive/DriveValueHelpers.h"
#include "drive/Qd.h"
#include "foundation/MessageIds.h"
#include "platform/Prompt.h"

namespace app {

using namespace foundation;

namespace {

// The engine's code for a name the drive does not have.
constexpr int kCellNotFound = -303;
// Channel types on which a hard reset restarts the link: serial Modbus and the ADS router.
constexpr int kChannelSerialModbus = 1;
constexpr int kChannelAds = 7;
constexpr const char* kControlwordCell = "controlword";
constexpr const char* kPlcStatusCell = "vm_StatusRunStop";
constexpr const char* kPlcCommandCell = "vm_CommandRunStop";
constexpr uint32_t kEnablingKey = 0x1D4E7A93;
constexpr int kPlcPollMs = 300;
constexpr int kPlcStartMs = 2000;
constexpr int kRestartSettleMs = 2000;
constexpr int kRestartPollMs = 300;
constexpr int kRestartAnswerMs = 9500;

struct ActionEntry {
    unsigned message;
    MainDlgAction action;
};

constexpr ActionEntry kActions[] = {
    {kMainDlgParametersWrittenMessage, MainDlgAction::AskSaveModified},
    {kMainDlgStartupChecksMessage, MainDlgAction::StartupChecks},
    {kMainDlgExportFirmwareMessage, MainDlgAction::ExportFirmware},
    {kMainDlgXulEnableMessage, MainDlgAction::XulEnable},
    {kMainDlgDriveEnableMessage, MainDlgAction::DriveEnable},
    {kMainDlgFirmwareDownloadMessage, MainDlgAction::FirmwareDownload},
    {kMainDlgObjectDictionaryMessage, MainDlgAction::ObjectDictionary},
    {kMainDlgPermanentMemoryMessage, MainDlgAction::PermanentMemory},
    {kMainDlgOptionsMessage, MainDlgAction::Options},
    {kMainDlgUnusedMessage, MainDlgAction::Ignore},
    {kMainDlgResetMessage, MainDlgAction::Reset},
    {kMainDlgUserMotorsManageMessage, MainDlgAction::UserMotorsManage},
    {kMainDlgUserMotorsImportMessage, MainDlgAction::UserMotorsImport},
    {kMainDlgUserMotorsExportMessage, MainDlgAction::UserMotorsExport},
    {kMainDlgUserMotorsDeleteMessage, MainDlgAction::UserMotorsDelete},
    {kMainDlgRunStopPlcMessage, MainDlgAction::RunStopPlc},
    {kMainDlgImportParametersMessage, MainDlgAction::ImportParameters},
    {kMainDlgExportParametersMessage, MainDlgAction::ExportParameters},
    {kMainDlgDownloadParametersMessage, MainDlgAction::DownloadParameters},
    {kMainDlgEraseProgramMessage, MainDlgAction::EraseProgram},
    {kMainDlgCompareParametersMessage, MainDlgAction::CompareParameters},
    {kMainDlgLoadConfigurationMessage, MainDlgAction::LoadConfiguration},
    {kMainDlgSaveConfigurationMessage, MainDlgAction::SaveConfiguration},
    {kMainDlgCreateArchiveMessage, MainDlgAction::CreateArchive},
    {kMainDlgInstallArchiveMessage, MainDlgAction::InstallArchive},
    {kMainDlgWorkerTextMessage, MainDlgAction::WorkerText},
    {kMainDlgUpdateCheckMessage, MainDlgAction::UpdateCheckText},
    {kMainDlgAnalogWriteMessage, MainDlgAction::AnalogWrite},
    {kMainDlgPlainParameterFileMessage, MainDlgAction::PlainParameterFile},
    {kMainDlgSaveParamFileForHostMessage, MainDlgAction::SaveParamFileForHost},
    {kPageConnectionClosedMessage, MainDlgAction::UpdateDriveInfo},
};

}  // namespace

std::vector<unsigned> MainDlgCommandMessages() {
    std::vector<unsigned> out;
    for (const ActionEntry& e : kActions) out.push_back(e.message);
    return out;
}

MainDlgAction MainDlgActionFor(unsigned message) {
    for (const ActionEntry& e : kActions)
        if (e.message == message) return e.action;
    return MainDlgAction::Unknown;
}

EnableReport EnableResultReport(int result) {
    switch (result) {
        case 0:
            return {};
        case 1:
            return {"Communication error on motor enable operation", "Enable motor", true};
        case 2:
            return {"Time out error; operation aborted", "Enable motor", false};
        case 3:
            return {"Not allowed operation", "Enable motor", false};
        case 4:
            return {"Activate hardware enable before continuing!", "Enable motor", false};
        case 13:
            // The drive object has already told the user to reset the alarms.
            return {};
        default:
            return {"Enable motor error " + std::to_string(result), "Enable motor", false};
    }
}

EnableReport DisableResultReport(int result) {
    switch (result) {
        case 0:
            return {};
        case 1:
            return {"Communication error on motor disable operation", "Disable motor", true};
        case 2:
            return {"Time out error", "Disable motor", false};
        case 3:
            return {"Not allowed operation", "Disable motor", false};
        default:
            return {"Disable motor error " + std::to_string(result), "Disable motor", false};
    }
}

CMainDlgCommands::CMainDlgCommands(drive::CQd& qd, CMainDlgCommandSite& site) : qd_(qd), site_(site) {}

CMainDlgCommands::~CMainDlgCommands() {
    CloseDiagHistory();
}

// ---- diagnosis history window ("History...") ----
void CMainDlgCommands::OpenDiagHistory(wxWindow* parent) {
    if (!diagHistory_) {
        diagSource_ = std::make_unique<drive::CQdDiagHistorySource>(qd_);
        diagHistory_ = std::make_unique<CdlgDiagHistory>(*diagSource_, qd_.DriveData(), DiagHistoryOptions{});
        if (!diagHistory_->Create(parent)) {
            diagHistory_.reset();
            diagSource_.reset();
            return;
        }
    }
    diagHistory_->ShowWindow(true);
}

void CMainDlgCommands::CloseDiagHistory() {
    if (!diagHistory_) return;
    diagHistory_->StopThreads();
    diagHistory_->DestroyWindow();
    diagHistory_.reset();
    diagSource_.reset();
}

void CMainDlgCommands::ShowBox(const std::string& text, const std::string& caption, unsigned flags) {
    platform::Prompts().MessageBox(text, caption, flags);
}

void CMainDlgCommands::ShowOwnedText(uintptr_t text, const std::string& caption, unsigned flags) {
    std::unique_ptr<std::string> owned(reinterpret_cast<std::string*>(text));
    if (owned) ShowBox(*owned, caption, flags);
}

intptr_t CMainDlgCommands::Handle(unsigned message, uintptr_t wParam, intptr_t lParam) {
    // ---- maintenance dialogs ----
    if (MainDlgActionFor(message) == MainDlgAction::PermanentMemory) {
        if (site_.RunPermanentMemoryDialog() == kPermanentMemoryNodeLost) qd_.ReconnectNode(false);
        return 1;
    }
    switch (MainDlgActionFor(message)) {
        case MainDlgAction::AskSaveModified:
            if (wParam == 1) qd_.AskSaveModifiedParameters();
            break;
        case MainDlgAction::XulEnable:
            XulEnable(wParam == 1);
            break;
        case MainDlgAction::DriveEnable:
            DriveEnableToggle();
            break;
        case MainDlgAction::Options:
            site_.RunOptionsDialog();
            break;
        case MainDlgAction::Reset:
            Reset(static_cast<unsigned>(wParam));
            break;
        case MainDlgAction::RunStopPlc:
            RunStopPlc();
            break;
        case MainDlgAction::ExportParameters:
            ExportParameters();
            break;
        case MainDlgAction::EraseProgram:
            EraseProgram();
            break;
        case MainDlgAction::InstallArchive:
            ShowBox(kUnderConstructionText, "", platform::MB_OK);
            break;
        case MainDlgAction::WorkerText:
            ShowOwnedText(wParam, site_.ProgramName(), static_cast<unsigned>(lParam));
            break;
        case MainDlgAction::UpdateCheckText:
            ShowOwnedText(wParam, lParam != 0 ? "An update is available" : "No update available",
                          platform::MB_ICONINFORMATION);
            break;
        case MainDlgAction::AnalogWrite:
            site_.AnalogWrite();
            break;
        case MainDlgAction::SaveParamFileForHost: {
            std::string name;
            qd_.GetTempParamFileName(name);
            qd_.SaveParamFileForHost(name);
            break;
        }
        case MainDlgAction::UpdateDriveInfo:
            site_.UpdateDriveInfo();
            break;
        // Firmware download
        case MainDlgAction::FirmwareDownload:
            FirmwareDownload();
            break;
        // ---- file commands ----
        case MainDlgAction::StartupChecks:
            StartupChecks();
            break;
        case MainDlgAction::ExportFirmware:
            ExportFirmware();
            break;
        case MainDlgAction::UserMotorsImport:
            ImportUserMotors();
            break;
        case MainDlgAction::UserMotorsExport:
            ExportUserMotors();
            break;
        case MainDlgAction::UserMotorsDelete:
            DeleteUserMotors();
            break;
        case MainDlgAction::ImportParameters:
            ImportParameters();
            break;
        case MainDlgAction::DownloadParameters:
            DownloadParameters();
            break;
        case MainDlgAction::LoadConfiguration:
            LoadConfiguration(wParam == 1);
            break;
        case MainDlgAction::SaveConfiguration:
            SaveConfiguration();
            break;
        case MainDlgAction::CreateArchive:
            site_.RunArchiveDialog();
            break;
        case MainDlgAction::PlainParameterFile:
            PlainParameterFile(static_cast<unsigned>(wParam));
            break;
        // Windows that are not part of the program yet: the command is accepted and nothing opens.
        case MainDlgAction::ObjectDictionary:
        case MainDlgAction::PermanentMemory:
        case MainDlgAction::Ignore:
        case MainDlgAction::UserMotorsManage:
        case MainDlgAction::CompareParameters:
        case MainDlgAction::Unknown:
            break;
    }
    return 1;
}

// ---- Firmware download ----
void CMainDlgCommands::FirmwareDownload() {
    if (!site_.HasFirmwareDownloadDialog()) return;
    // The scope and the setup pages read the drive: they go before the node is released.
    site_.CloseFrameWindows();
    qd_.ReleaseNode();
    const int result = site_.RunFirmwareDownloadDialog();
    if (result == -304) {
        qd_.ReconnectNode(false);
        return;
    }
    if (result != 0) {
        qd_.StartWatchThread();
        return;
    }
    qd_.SetFirmwareChanged(true);
    if (site_.IsXulFamily() &&
        platform::Prompts().MessageBox("Do you want to restart Xul with the new firmware?",
                                       "Download firmware", platform::MB_YESNO) == platform::IDYES)
        qd_.SystemManager().ExecuteCommand("SYS_CV_RESTART_FW_PARZIALE", 0);
    qd_.RestartConnection(true);
}

void CMainDlgCommands::XulEnable(bool enable) {
    if (enable) {
        if (qd_.StateValueCell().value == 40) qd_.WriteCell(kControlwordCell, 7);
    } else if (qd_.IsNotOperational()) {
        qd_.WriteCell(kControlwordCell, 6);
    }
}

void CMainDlgCommands::DriveEnableToggle() {
    const int state = drive::DriveStateFromStatusword(static_cast<int32_t>(qd_.StatuswordCell().value));
    const EnableReport report = state != drive::kStateOperationEnabled
                                    ? EnableResultReport(qd_.EnableDrive())
                                    : DisableResultReport(qd_.DisableDrive());
    if (report.text.empty()) return;
    if (report.throughDrive)
        qd_.ReportError(report.text, 1, 0, "", "");
    else
        ShowBox(report.text, report.caption, platform::MB_ICONSTOP);
}

void CMainDlgCommands::Reset(unsigned commandId) {
    if (!qd_.Identity().systemManager) return;
    drive::CSystemManager& manager = qd_.SystemManager();
    const auto done = [this](const char* caption) {
        ShowBox(kResetDoneText, caption, platform::MB_ICONINFORMATION);
    };
    switch (commandId) {
        case kCmdHardReset: {
            const int channel = qd_.ChannelType();
            if (channel != kChannelSerialModbus && channel != kChannelAds) {
                if (manager.ExecuteCommand("SYS_CV_RESTART_FW_TOTALE", 0) == 0) {
                    qd_.WriteAccessKey();
                    done("Hard firmware reset");
                }
                return;
            }
            qd_.PauseBackgroundReads();
            if (site_.IsIntegratedMotorFamily()) {
                if (manager.ExecuteCommand("SYS_CV_RESTART_FW_TOTALE", 1) != 0) {
                    qd_.ResumeBackgroundReads();
                    return;
                }
                site_.CloseFrameWindows();
                qd_.OperationClock().SleepMs(1000);
                qd_.RestartConnectionAfterReset(true);
                return;
            }
            if (manager.ExecuteCommand("SYS_CV_RESTART_FW_TOTALE", 0) != 0) {
                qd_.ResumeBackgroundReads();
                return;
            }
            qd_.WriteAccessKey();
            qd_.ResumeBackgroundReads();
            done("Hard firmware reset");
            return;
        }
        case kCmdSoftReset:
            if (manager.ExecuteCommand("SYS_CV_RESTART_FW_PARZIALE", 0) == 0) {
                qd_.WriteAccessKey();
                done("Soft firmware reset");
            }
            return;
        case kCmdResetToDefaults:
            if (manager.ExecuteCommand("SYS_CV_EE_RESTORE_RAM", 0) == 0) done("Reset to defaults");
            return;
        default:
            return;
    }
}

void CMainDlgCommands::RunStopPlc() {
    if (qd_.IsOffline()) return;
    uint32_t status = 0;
    if (const int rc = qd_.ReadCell(kPlcStatusCell, &status); rc != 0) {
        qd_.ReportError("PLC program status read error!", 1, rc, "", "");
        return;
    }
    if (status != 0) {
        // A program that keeps running must not look stopped.
        if (!qd_.StopPlc()) ShowBox("PLC program stop error!", site_.ProgramName(), platform::MB_ICONWARNING);
        return;
    }
    if (qd_.IsOffline() || qd_.ReadCell(kPlcStatusCell, &status) != 0 || status == 1) return;
    drive::CSystemManager& manager = qd_.SystemManager();
    if (qd_.Identity().systemManager && manager.LookupCommand("SYS_CV_RUN_PLC") != 0) {
        // The system manager has reported its own failure.
        if (manager.ExecuteCommand("SYS_CV_RUN_PLC", 1) != 0) return;
    } else if (const int rc = qd_.WriteCell(kPlcCommandCell, 0); rc != 0) {
        qd_.ReportError("PLC program start write error!", 1, rc, "", "");
        return;
    }
    platform::Clock& clock = qd_.OperationClock();
    const int64_t start = clock.NowMs();
    bool running = false;
    do {
        clock.SleepMs(kPlcPollMs);
        running = qd_.ReadCell(kPlcStatusCell, &status) == 0 && status == 1;
    } while (!running && clock.NowMs() - start < kPlcStartMs);
    if (!running)
        ShowBox("PLC program start error: the program is not running!", site_.ProgramName(),
                platform::MB_ICONWARNING);
}

void CMainDlgCommands::ExportParameters() {
    // The peer tool's embedded save goes through its own request (0x478).
    if (qd_.SaveParametersFileAs(qd_.OwnerWindow(), 0) == 0)
        ShowBox("Parameters file successfully exported", "Export parameters", platform::MB_ICONINFORMATION);
}

void CMainDlgCommands::EraseProgram() {
    drive::CSystemManager& manager = qd_.SystemManager();
    if (qd_.Identity().systemManager && manager.LookupCommand("SYS_CV_ERASE_PLC") != 0) {
        const int answer = platform::Prompts().MessageBox(
            "This operation will erase permanently the IEC program from the drive.\r\nConfirm?",
            kEraseCaption, platform::MB_YESNO | platform::MB_ICONWARNING);
        if (answer != platform::IDYES) return;
        qd_.PauseWatchThread();
        const uint32_t result = manager.ExecuteCommand("SYS_CV_ERASE_PLC", 1);
        qd_.ResumeWatchThread();
        if (result != 0) return;
        if (const int rc = qd_.WriteCell("PE_erase_program_eeprom", 0); rc != 0) {
            qd_.ReportError("PE_erase_program_eeprom write error", 1, rc, "", "");
            return;
        }
        site_.RereadProgramIdentity();
    } else if (!EraseByRestart()) {
        return;
    }
    site_.ClearProgramName();
    ShowBox(kProgramRemovedText, kEraseCaption, platform::MB_ICONINFORMATION);
}

bool CMainDlgCommands::EraseByRestart() {
    const int answer = platform::Prompts().MessageBox(
        "This operation will erase permanently the IEC program from the drive.\r\n The firmware will be "
        "restarted. Confirm?",
        kEraseCaption, platform::MB_YESNO | platform::MB_ICONWARNING);
    if (answer != platform::IDYES) return false;
    qd_.PauseBackgroundReads();
    if (!qd_.StopPlc() &&
        platform::Prompts().MessageBox("IEC program doesn't stop, forcing erasing anyway?", kEraseCaption,
                                       platform::MB_YESNO | platform::MB_ICONWARNING) != platform::IDYES) {
        qd_.ResumeBackgroundReads();
        return false;
    }
    // Every write must land: a restart after a refused erase would leave the program in place and
    // the user told it is gone.
    const auto write = [this](const char* name, uint32_t value, const char* error) {
        const int rc = qd_.WriteCell(name, value);
        if (rc == 0) return true;
        qd_.ReportError(error, 1, rc, "", "");
        qd_.ResumeBackgroundReads();
        return false;
    };
    uint32_t probe = 0;
    if (qd_.ReadCell("PE_enabling_key", &probe) != kCellNotFound &&
        !write("PE_enabling_key", kEnablingKey, "enabling key write error"))
        return false;
    if (!write("PE_erase_program_eeprom", 0, "PE_erase_program_eeprom write error")) return false;
    if (!write("RestartFwRq", 0, "RestartFwRq write error")) return false;
    platform::Clock& clock = qd_.OperationClock();
    clock.SleepMs(kRestartSettleMs);
    const int64_t start = clock.NowMs();
    uint32_t type = 0;
    while (qd_.ReadCell("device_type", &type) != 0) {
        if (clock.NowMs() - start >= kRestartAnswerMs) {
            ShowBox(kEraseTimeoutText, "", platform::MB_ICONWARNING);
            qd_.ResumeBackgroundReads();
            return false;
        }
        clock.SleepMs(kRestartPollMs);
    }
    site_.RereadProgramIdentity();
    qd_.ResumeBackgroundReads();
    return true;
}

}  // namespace app
