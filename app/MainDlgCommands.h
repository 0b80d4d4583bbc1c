#pragma once
// The main dialog's commands: the messages the main frame, workers and other windows post to it,
// each turned into an action against the drive object. Kept apart from the window so that the
// table and the drive sequences run under test without one.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class wxWindow;

namespace drive {
class CQd;
class CParamFileImportDrive;
class CQdDiagHistorySource;
}  // namespace drive

namespace app {

class CdlgDiagHistory;

// Messages the main dialog receives besides the frame's command messages (the system's own
// numbers; only the main dialog receives them).
// Setup windows after writing parameters: wParam 1 asks to save the modified parameters.
constexpr unsigned kMainDlgParametersWrittenMessage = 0x428;
// The dialog's own first show: the start-up checks.
constexpr unsigned kMainDlgStartupChecksMessage = 0x432;
// Posted by nobody; accepted and ignored.
constexpr unsigned kMainDlgUnusedMessage = 0x441;
// Workers: wParam a heap std::string* the handler takes and frees, lParam the message box type.
constexpr unsigned kMainDlgWorkerTextMessage = 0x46F;
// The firmware update check: wParam a heap std::string* (freed by the handler), lParam not 0 when
// an update is available.
constexpr unsigned kMainDlgUpdateCheckMessage = 0x470;
// Enter in an analog view.
constexpr unsigned kMainDlgAnalogWriteMessage = 0x471;

// Menu command ids carried in wParam.
constexpr unsigned kCmdHardReset = 32846;
constexpr unsigned kCmdSoftReset = 32847;
constexpr unsigned kCmdResetToDefaults = 32848;
constexpr unsigned kCmdModbusAddresses = 32873;
constexpr unsigned kCmdBusAddresses = 32874;

// Texts users read.
constexpr const char* kUnderConstructionText = "Under construction";
constexpr const char* kProgramRemovedText = "Program successfully removed";
constexpr const char* kBootOnlyWarning = "Firmware missing (boot only): displayed data may be not corrected!";
constexpr const char* kExportFirmwareCaption = "Export Firmware";
constexpr const char* kExportFirmwareDone = "Successfully completed!";
constexpr const char* kImportMotorsCaption = "Import user motors";
constexpr const char* kExportMotorsCaption = "Export user motors";
constexpr const char* kMotorsFileFilter = "User motor database file (*.xml)|*.xml";
constexpr const char* kParametersFileFilter = "Parameters file (*.xml)|*.xml";
constexpr const char* kConfigurationFileFilter = "Configuration file (*.xml)|*.xml";
constexpr const char* kDownloadCaption = "Download parameters";
constexpr const char* kPlainFileCaption = "Plain parameter file";
constexpr const char* kEraseCaption = "Erase drive program";
constexpr const char* kEraseTimeoutText =
    "Erasing IEC program error: command not completed! Restart the drive, reconnect and then retry.";
constexpr const char* kResetDoneText = "Reset successfully completed";

enum class MainDlgAction {
    Unknown,
    AskSaveModified,
    StartupChecks,
    ExportFirmware,
    XulEnable,
    DriveEnable,
    FirmwareDownload,
    ObjectDictionary,
    PermanentMemory,
    Options,
    Ignore,
    Reset,
    UserMotorsManage,
    UserMotorsImport,
    UserMotorsExport,
    UserMotorsDelete,
    RunStopPlc,
    ImportParameters,
    ExportParameters,
    DownloadParameters,
    EraseProgram,
    CompareParameters,
    LoadConfiguration,
    SaveConfiguration,
    CreateArchive,
    InstallArchive,
    WorkerText,
    UpdateCheckText,
    AnalogWrite,
    PlainParameterFile,
    SaveParamFileForHost,
    UpdateDriveInfo,
};

// Every message the main dialog handles.
std::vector<unsigned> MainDlgCommandMessages();
// The message's action; Unknown for messages that are not the main dialog's.
MainDlgAction MainDlgActionFor(unsigned message);

// A file the user is asked for: title, filter ("Text (*.txt)|*.txt"), starting folder and name.
struct FileChoice {
    std::string title;
    std::string filter;
    std::filesystem::path folder;
    std::string name;
    std::string extension;  // added to a typed name without one (save)
};

// What the commands need of the windows around the dialog (the frame's windows, dialogs of other
// folders). The defaults do nothing: a window that is not there yet is simply not opened.
class CMainDlgCommandSite {
  public:
    virtual ~CMainDlgCommandSite() = default;
    // Family facts the drive object does not hold.
    virtual bool IsXulFamily() const { return false; }
    virtual bool IsIntegratedMotorFamily() const { return false; }
    // After a hard reset over a link that restarts: the oscilloscope, drive setup, errors window,
    // dialog slot and diagnostic history go.
    virtual void CloseFrameWindows() {}
    // The frame's program view: re-read the program's identity; clear the shown program name.
    virtual void RereadProgramIdentity() {}
    virtual void ClearProgramName() {}
    virtual void RunOptionsDialog() {}
    virtual void AnalogWrite() {}
    virtual void UpdateDriveInfo() {}
    // The program's name for message box captions.
    virtual std::string ProgramName() const { return "Tunova"; }

    // ---- files, folders and windows of the file commands ----
    // The user's file, nothing when cancelled.
    virtual std::optional<std::filesystem::path> ChooseFileToOpen(const FileChoice& choice) {
        (void)choice;
        return std::nullopt;
    }
    virtual std::optional<std::filesystem::path> ChooseFileToSave(const FileChoice& choice) {
        (void)choice;
        return std::nullopt;
    }
    // A drive configuration file (the configuration-file choice), nothing when cancelled.
    virtual std::optional<std::filesystem::path> ChooseConfigurationFile() { return std::nullopt; }
    // The user's pick among motors (id and text each); empty when nothing was chosen.
    virtual std::vector<std::string> SelectMotors(
        const std::string& title, const std::string& button,
        const std::vector<std::pair<std::string, std::string>>& motors) {
        (void)title, (void)button, (void)motors;
        return {};
    }
    // The user's documents folder (the current folder when there is none) and the folder of the
    // user motor database.
    virtual std::filesystem::path DocumentsFolder() const;
    virtual std::filesystem::path UserMotorsFolder() const;
    virtual void CloseOscilloscope() {}
    virtual void CloseDriveSetup() {}
    // The drive's side of a parameter file import; none: nothing can be imported.
    virtual drive::CParamFileImportDrive* ParameterImportDrive() { return nullptr; }
    // The configuration file named on the command line (empty when none).
    virtual std::filesystem::path CommandLineConfiguration() const { return {}; }
    // Program settings (configuration files): false when the file was refused or not written.
    virtual bool LoadProgramSettings(const std::filesystem::path& file) {
        (void)file;
        return false;
    }
    virtual bool SaveProgramSettings(const std::filesystem::path& file, std::string* error) {
        (void)file;
        if (error) *error = "Configuration files cannot be saved";
        return false;
    }
    // After a configuration load: oscilloscope settings, message bar layout and shown variables.
    virtual void ConfigurationLoaded() {}
    virtual void StoreMessageBarPlacement() {}
    virtual void RunArchiveDialog() {}
    // The firmware update check thread (768 firmware, 3 boot); false when it did not start.
    virtual bool StartFirmwareUpdateCheck(int code) {
        (void)code;
        return false;
    }
    // ---- maintenance dialogs ----
    // The permanent memory dialog's result (-304: the node was lost).
    virtual int RunPermanentMemoryDialog() { return 0; }
    // Firmware download
    // The download dialog run modally: its close code (0 downloaded, -304 interrupted); none
    // without a dialog.
    virtual bool HasFirmwareDownloadDialog() const { return false; }
    virtual int RunFirmwareDownloadDialog() { return -1; }
};

class CMainDlgCommands {
  public:
    CMainDlgCommands(drive::CQd& qd, CMainDlgCommandSite& site);
    ~CMainDlgCommands();

    // Runs the message's command; always 1 (handled), whatever the outcome.
    intptr_t Handle(unsigned message, uintptr_t wParam, intptr_t lParam);

    // The commands that drive the drive, each reporting its own failures.
    void XulEnable(bool enable);
    void DriveEnableToggle();
    void Reset(unsigned commandId);
    void RunStopPlc();
    void EraseProgram();
    void ExportParameters();
    // Firmware download
    void FirmwareDownload();

    // ---- file commands ----
    void StartupChecks();
    void ExportFirmware();
    // 0 written; else the reason was told.
    int WriteFirmwareFile(const std::filesystem::path& configuration, const std::filesystem::path& target);
    void ImportUserMotors();
    void ExportUserMotors();
    void DeleteUserMotors();
    void ImportParameters();
    void DownloadParameters();
    void LoadConfiguration(bool commandLine);
    void SaveConfiguration();
    void PlainParameterFile(unsigned commandId);

    // ---- diagnosis history window ("History...") ----
    // Made on first use, shown again afterwards; it goes (threads joined) with the commands.
    void OpenDiagHistory(wxWindow* parent);
    void CloseDiagHistory();
    CdlgDiagHistory* DiagHistory() const { return diagHistory_.get(); }

  private:
    void EraseWithSystemManager();
    // False when the erase stopped (the user was told).
    bool EraseByRestart();
    void ShowBox(const std::string& text, const std::string& caption, unsigned flags);
    void ShowOwnedText(uintptr_t text, const std::string& caption, unsigned flags);

    drive::CQd& qd_;
    CMainDlgCommandSite& site_;
    std::unique_ptr<drive::CQdDiagHistorySource> diagSource_;
    std::unique_ptr<CdlgDiagHistory> diagHistory_;
};

// The message for an enable result (0 and unknown codes: none), and for a disable result.
struct EnableReport {
    std::string text;
    std::string caption;
    // Reported through the drive object's error report (with its details) rather than a box.
    bool throughDrive = false;
};
EnableReport EnableResultReport(int result);
EnableReport DisableResultReport(int result);

}  // namespace app
