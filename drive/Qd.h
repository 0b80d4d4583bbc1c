#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "drive/DriveDescription.h"
#include "drive/ErrorReport.h"
#include "drive/FirmwareUpdate.h"
#include "drive/MotorDatabase.h"
#include "drive/ParamFileExport.h"
#include "drive/Parametri.h"
#include "drive/QdHost.h"
#include "drive/QdMenuState.h"
#include "drive/QdParamImport.h"
#include "drive/QdPeer.h"
#include "drive/QdsWnd.h"
#include "drive/ScopeSetup.h"
#include "drive/SystemManager.h"
#include "drive/UnitConversion.h"
#include "drive/WatchThread.h"
#include "engine/VMComm.h"
#include "foundation/CompatChecker.h"
#include "foundation/XmlDocument.h"
#include "platform/Clock.h"
#include "platform/Messages.h"
#include "platform/Thread.h"

namespace engine {
class CVocabolario;
}  // namespace engine

namespace drive {

// The one in-memory model of the drive the program is connected to, and the entry point of
// every page to it: connection, drive configuration, named cell access under one lock.
class CQd : public CErrorTextSource {
  public:
    // Bus type code before any configuration was loaded.
    static constexpr int kBusTypeNone = 9;

    explicit CQd(platform::WindowHandle owner);
    ~CQd() override;
    CQd(const CQd&) = delete;
    CQd& operator=(const CQd&) = delete;

    // ---- connection (the part of the connect sequence the drive object needs today) ----------
    // 0 connected; 7 cancelled or configuration refused; other codes of the connection window.
    int Connect();
    int OpenConnection(foundation::CXmlDocument& configuration, bool automatic);
    int OpenOfflineConnection(int hardware, const foundation::CIdentity* software,
                              const std::string& parametersFile, foundation::CXmlDocument& configuration);
    void CloseConnection(bool shutDown);

    CQdsWnd& ConnectionWindow() { return wnd_; }
    bool IsConnected() const { return connected_; }
    bool IsOffline() const { return wnd_.IsOffline(); }
    platform::WindowHandle OwnerWindow() const { return owner_; }
    // The main frame's side (a no-op host until the frame sets itself; not owned).
    void SetHost(CQdHost* host) { host_ = host != nullptr ? host : &noHost_; }
    CQdHost& Host() { return *host_; }

    // Connect sequence: reconnect after a drive restart, release, watch start, title.
    // The reconnect dialog's answers: 1 reconnect, 2 offline, 3 new connection, 4 exit.
    enum { kRetryReconnect = 1, kRetryOffline = 2, kRetryNewConnection = 3, kRetryExit = 4 };
    void ReconnectNode(bool channelUp);
    void ReleaseNode();
    // Basic cells, the watch thread (started once per connection; false, after telling the user,
    // when it cannot be), status refresh.
    bool StartWatchThread();
    void WriteAccessKey();
    void UpdateWindowTitle();
    void ShowSystemInfo(platform::WindowHandle parent);
    // "Offline - [name - ]family", or "name - version", or the version alone.
    std::string SystemInfoTitle() const;
    // The host's parameters file in this process's private temporary folder.
    void GetTempParamFileName(std::string& out);
    bool IsBootOnly() const { return state_.bootOnly; }
    bool SwitchedOffline() const { return switchedOffline_; }
    bool NewConnectionRequested() const { return newConnectionRequested_; }
    void SetNewConnectionRequested(bool on) { newConnectionRequested_ = on; }
    // Asks for a drive check of the slave's ESI memory at the next connect (one shot).
    void RequestEsiCheck() { esiCheckRequested_ = true; }
    // The window a page registered to hear of a successful reconnect, with its text.
    void SetReconnectNotice(platform::WindowHandle window, const std::string& text) {
        reconnectNoticeWindow_ = window;
        reconnectNoticeText_ = text;
    }
    const std::string& OfflineTitle() const { return offlineTitle_; }
    // The basic cells read at connect and kept fresh by the status groups, by variable name.
    CParamData& CurrentSet() { return *parameters_->data; }
    const std::string& DigitalInputCell() const { return digitalInputCell_; }
    const std::string& MotorIdCell() const { return motorIdCell_; }

    // What the program hands in from above (dialogs and threads of other folders). Each may be
    // left empty: the default is stated beside it.
    struct CConnectHooks {
        // The reconnect dialog with the channel-up flag; empty: offline, then exit when offline
        // fails (nothing is lost and nothing more is sent to the drive).
        std::function<int(bool channelUp)> reconnectPrompt;
        // Stops the system manager's command thread and joins it (default: the drive object's).
        std::function<void()> stopSystemManager;
        // Program-wide settings read at connect; per-device settings read and written.
        std::function<void()> readProgramSettings;
        std::function<void()> readDeviceSettings;
        std::function<void()> writeDeviceSettings;
        // Identification beyond the identity items; a negative result ends the connect.
        std::function<int()> finishIdentification;
        // Default: the drive object's own (UpdateMenuState, UpdateEsiEeprom).
        std::function<void()> updateMenuState;
        // The slave's ESI memory update (the main window as owner).
        std::function<void()> updateEsiEeprom;
        // The motor database of the connected drive.
        std::function<void()> loadMotorDatabase;
        // The program machine answered its opening exchange; the bus window takes its values.
        std::function<void(const engine::CVMComm&)> programMachineReady;
        // The configuration hint of a host-mode offline drive without a motor (caption: the
        // host's node name).
        std::function<void(const std::string& caption)> showMotorHelp;
        // The system information window (the parent of ShowSystemInfo).
        std::function<void(platform::WindowHandle parent)> showSystemInfo;
        // ---- drive-program identity display ----
        // Stops the display's running refresh and joins it (the node is being released).
        std::function<void()> stopProgramInfoRefresh;
    };
    CConnectHooks& Hooks() { return hooks_; }
    // Host mode and parameter files
    // What a host-mode connection keeps beside the peer-tool link; the host's product, hardware
    // code, parameters file and node name are the link's (HostHardware ... HostNodeName).
    struct CHostSession {
        // The next host-mode connect goes online (a restart of an offline connection with its
        // flag set); cleared by a restart without it.
        bool askedOnline = false;
        // The host's node texts of the connected title.
        std::string nodeTitle1, nodeTitle2;
        bool connectedToHostNode = false;
        // Asks the host for its online information (leaves a connection string in the window);
        // empty: RequestOnlineInfo.
        std::function<void()> askOnlineInfo;
    };
    CHostSession& HostSession() { return hostSession_; }

    // ---- drive configuration and conditions -----------------------------------------------------
    int LoadConfiguration(foundation::CXmlDocument& answer);
    bool ReadConditions(const std::vector<std::pair<std::string, int32_t>>& cells);
    void CollectConditionCells(const foundation::CXmlNode& node);
    bool EvaluateCondition(const foundation::CXmlNode& node) const;
    void EvaluateConditions(const foundation::CXmlNode& conditions);
    bool CopyIfCondition(const foundation::CXmlNode& source, foundation::CXmlNode& destination) const;
    // Whether a description's "COMPATIBILITY" block (null: the file has none) accepts the
    // product; the product's records live above the drive object, so the caller brings the test.
    using CompatibilityTest = std::function<bool(const foundation::CXmlNode* compatibility)>;
    // Copies every index entry of that hardware and software code (release builds) whose file
    // accepts the product as a child of out; true when any was copied.
    bool FindCompatibleDescriptions(uint32_t hardware, uint32_t software, uint32_t unused,
                                    const CompatibilityTest& accepts, foundation::CXmlNode& out);
    // The highest "sw_ver" (the later of equal ones first) whose file accepts the product: its
    // path and a copy of its compatibility block.
    bool FindConfigurationFile(uint32_t hardware, uint32_t software, uint32_t unused,
                               const CompatibilityTest& accepts, foundation::CXmlDocument& compatibility,
                               std::string& path);

    // The condition-filtered client section of the drive's configuration file, and its "Data"
    // element: the drive description the pages read (null before a load).
    const foundation::CXmlDocument& Configuration() const { return configuration_; }
    const foundation::CXmlNode* DriveData() const;
    const std::map<std::string, int32_t>& ConditionCells() const { return conditionCells_; }
    const std::map<std::string, int32_t>& ConditionResults() const { return conditionResults_; }

    // ---- Variables and I/O lists ----------------------------------------------------------------
    // Reads the loaded description's variables, shown variables, I/O lists, error texts, loop types
    // and sensor maps into the parameter model and the description tables: 2 no description, 1
    // "VARIABLES" or "IO_SETTINGS" absent, 0 read whole. Run by every configuration load; while
    // a drive is connected, variables its vocabulary lacks are left out.
    int ReadDriveSetup();

    // ---- named cells ----------------------------------------------------------------------------
    int ReadCell(const std::string& name, uint32_t* value);
    int WriteCell(const std::string& name, uint32_t value);
    int WriteUnitValue(int quantity, const std::string& name, double value);
    int UploadCell(const std::string& name, void* buffer, uint32_t size);
    // The count of bytes written, or the code.
    int DownloadCell(const std::string& name, const void* buffer, uint32_t size);
    int UploadString(const std::string& name, std::string& out);
    // The bytes "UserDriveName" gets for a name: the text cut to the item (never inside a UTF-8
    // sequence) and zero-padded to its length + 1, at least 5 bytes.
    static std::vector<uint8_t> UserDriveNameBytes(const std::string& name, uint32_t itemSize);
    int DownloadUserDriveName(const std::string& name);
    // Unit form: the text of an edit control in user units.
    int WriteEditValue(int quantity, const std::string& name, const std::string& text);
    // Factor form: "M" divides by the factor, any other type multiplies, none keeps the value.
    int WriteEditValue(const std::string& name, const std::string& text, const char* factorType,
                       int32_t factor, CParamDw* cell);
    int AddCellToGroup(int group, const std::string& name, CParamDw& cell, uint32_t userTag);
    int RemoveGroupVariable(int group, int variable);
    int ExecuteGroup(int group, int mode, int32_t cycleMs);
    void StopGroup(int group);
    int AddReadToEngineGroup(const std::string& name, void* buffer, int32_t size, void* result = nullptr,
                             uint32_t* extra = nullptr);
    int AddWriteToEngineGroup(const std::string& name, void* buffer, int32_t size, void* result = nullptr,
                              uint32_t* extra = nullptr);
    void AddEditValueToEngineGroup(int quantity, const std::string& name, const std::string& text,
                                   CParamDw& cell);
    void AddScaledEditValueToEngineGroup(const std::string& name, const std::string& text,
                                         const char* factorType, int32_t factor, CParamDw& cell);
    int ExecuteEngineGroup();
    void ClearEngineGroup();
    int GetCellInfo(const std::string& name, uint8_t* isSigned, uint32_t* size, uint8_t* writable);
    // key 0 starts the walk of the node's items again, any other goes on with the next one.
    int GetVocabularyItemText(int key, std::string& out);
    int GetNodeVocabulary(engine::CVocabolario** out);
    size_t CopyLastErrorText(char* buffer, size_t size);
    int PauseCyclicReads();
    int ResumeCyclicReads();
    bool CyclicReadsPaused() const { return cyclicPaused_; }

    // ---- polling groups ---------------------------------------------------------------------
    // User tags of group cells.
    static constexpr uint32_t kTagUnits = 0x91, kTagMaskedValue = 0x92, kTagModeDisplay = 0x93,
                              kTagMotorType = 0x94, kTagStatusword = 0x95;
    void CreateStatusGroups();
    void RemoveStatusGroups();
    void AcquireIoGroup(uint32_t userBit);
    void ReleaseIoGroup(uint32_t userBit);
    void CreateTuningGroup(uint32_t userBit);
    // -1 releases every user.
    int ReleaseGroups(uint32_t userMask);
    void OnGroupCellUpdate(CParamDw& cell);
    // A change notice of the engine for a group cell; cells the drive object did not tag are
    // left as the engine wrote them (the posted pointer may be a page's cell already gone).
    void OnEngineCellNotice(const engine::CCellHolder* holder);
    // The deferred re-creation after a motor-type change.
    void RecreateStatusGroups();
    bool IsCellPresent(const std::string& name, CParamDw& cell);
    int PauseBackgroundReads();
    int ResumeBackgroundReads();
    bool PauseWatchThread();
    bool ResumeWatchThread();
    bool PauseWatchCapture(int ms);
    bool WaitWatchThreadReady(int ms);
    bool StopWatchThread();
    struct CPollingState {
        int stateGroup = -1, motionGroup = -1, unitsGroup = -1;
        int ioGroup = -1;
        uint32_t ioUsers = 0;
        int tuningGroup1 = -1, tuningGroup2 = -1;
        uint32_t tuningUsers = 0;
        int32_t groupTimeBase = 0;
        int32_t currentMode = 0;
        bool firstModeSeen = false, modeChanged = false;
        // 1: the tuning pages estimate from inertia and motor data; 3: from loop bandwidths.
        int estimateKind = 0;
        // 0x92 cells are XORed with this when set.
        bool maskValues = false;
        uint32_t maskValue = 0;
        // Saved watch requests while paused (0: none).
        int savedWatch[2] = {0, 0};
    };
    CPollingState& Polling() { return polling_; }
    // The watch thread as its owner provides it (activity 0 the watch, 1 the capture): requests
    // 1 start/active, 2 pause, 3 stop/off; states 2 paused, 3 stopped, 4 ready.
    struct CWatchSeam {
        std::function<bool()> running;
        std::function<bool()> start;
        std::function<void()> stop;  // clears the run flag and joins
        std::function<int(int activity)> state;
        std::function<int(int activity)> request;
        std::function<void(int activity, int request)> setRequest;
        std::function<void()> readBasicCells;
    };
    CWatchSeam& WatchSeam() { return watchSeam_; }
    // Waits of the pause operations (tests count instead of sleeping).
    void SetSleeper(std::function<void(int ms)> sleeper) { sleep_ = std::move(sleeper); }

    // Result code and last error text of the calling thread's last operation.
    int32_t ResultCode() const;
    std::string LastErrorText() const;
    // The drive object's own message (taken by CopyLastErrorText when the engine has no text).
    void SetMessage(const std::string& text);

    // ---- error text and report --------------------------------------------------------------
    void GetLastErrorText(const std::string& message, std::string& out, int32_t code);
    int ReportError(const std::string& message, int severity, int32_t code, const std::string& fallback,
                    const std::string& caption);

    // ---- menu state and answers to the peer engineering tool ----------------------------------
    // Facts of the menu rules that other subsystems own (program object, parameter files,
    // archive, status groups): they set them here, the rules only read them.
    struct CMenuInputs {
        bool plcProgram = false;
        int32_t programTargetIndex = -1;
        int32_t programDriveIndex = -1;
        bool paramFileFlag1 = false;
        bool paramFileFlag2 = false;
        int32_t archive = 0;
        int32_t statusword = 0;  // the status groups' last statusword
        bool notOperational = false;
        bool supplyUnit = false;
        bool programBox = false;
    };
    CMenuInputs& MenuInputs() { return menuInputs_; }
    CMenuFacts GatherMenuFacts();
    void UpdateMenuState();
    void SetCommandEnabled(uint32_t id, bool enabled);
    // The main dialog's command-state map, or the drive object's own while there is none.
    std::map<uint32_t, uint32_t>& CommandStateMap();

    CQdPeerLink& PeerLink() { return peer_; }
    // The link's change marks and configuration document are read on the link's thread when the
    // host asks: whoever changes them holds this lock.
    std::unique_lock<std::mutex> LockPeerState() { return std::unique_lock<std::mutex>(peerStateMutex_); }
    bool IsHostFileMode() const { return peer_.m_file.m_fromFiles; }
    // Run for the peer tool: answered from its files, or its link is open.
    bool IsHostMode() const { return IsHostFileMode() || peer_.m_channel.IsOpen(); }
    // The host configuration file of the command line ("Qz="): the host is answered from files.
    void SetHostConfigurationFile(const std::string& path);
    // Where the host's save request is posted (the main frame while no dialog is set).
    void SetMainDialogWindow(platform::WindowHandle window) { mainDialogWindow_ = window; }
    // The host's request code -> the answer text; runs on the link's thread.
    void AnswerHostCommand(int32_t code, std::string& answer);
    // The export of the parameters file (0 saved, 1 saved with unread parameters, else a failure
    // code) and the name of the temporary parameters file the connect sequence uses.
    void SetHostParamFileHooks(std::function<int(const std::string&)> exporter,
                               std::function<std::string()> tempFileName);
    // 0, or the export's failure code; resultText gets the text sent to the host.
    int SaveParamFileForHost(const std::string& fileName, std::string* resultText = nullptr);
    // True when the host's online information set the connection window's connection string.
    bool RequestOnlineInfo(std::string* resultText = nullptr);

    // Host mode and parameter files
    // The host's side of a host-mode connection, as the peer-tool link holds it.
    int HostHardware() const { return static_cast<int>(peer_.m_hardwareCode); }
    const foundation::CIdentity& HostSoftware() const { return peer_.m_productIdentity; }
    // The host's parameters file for an offline connect; empty when the host asked for a new
    // file of default values.
    std::string HostParametersFile() const;
    // The host's node: the host's title, else the name of the host configuration file.
    std::string HostNodeName() const;
    // The device family code (the description's group; 10 the Xul family) and whether the device
    // runs a PLC program (its dictionary holds the PLC run state); set at identification.
    int FamilyCode() const { return familyCode_; }
    bool IsProgrammable() const { return programmable_; }
    // The program's version text and build number, written into parameter files.
    void SetProgramVersion(const std::string& text, uint32_t build) {
        programVersion_ = text;
        programBuild_ = build;
    }
    const std::string& ProgramVersion() const { return programVersion_; }
    uint32_t ProgramBuild() const { return programBuild_; }
    // Exports the connected drive's parameters (online or offline) into a file, written whole or
    // not at all: 0 done, 1 done with read errors, else the export's failure code.
    int ExportParametersFile(const std::filesystem::path& file, int mode, bool showProgress, bool quiet);
    // Integrated and online: the drive's parameters go into the temporary parameters file, which
    // the offline connect that follows starts from. 0 or the export's code; the file name out.
    int ExportTemporaryParamFile(std::string* fileName = nullptr);
    // True when no temporary parameters file is left.
    bool DeleteTemporaryParamFile();
    // Returns the main window's title and sets the given one.
    std::string SwapMainWindowTitle(const std::string& title);

    // ---- identity items and connection details ------------------------------------------------
    void ReadDriveIdentity();
    void GetConnectionText(std::string& out);
    void CheckFwUpdateFilter();
    void ClearPendingMaps();
    void FreeBufferMaps();

    // ---- oscilloscope set-up and watch thread ---------------------------------------------------
    osc_vars& Scope() { return osc_; }
    // The oscilloscope window the watch thread posts to (0: none).
    void SetScopeWindow(platform::WindowHandle window) { scopeWindow_ = window; }
    platform::WindowHandle ScopeWindow() const { return scopeWindow_; }
    // What the display conversion takes from the drive (kept by the polling of the drive's units).
    void SetScopeDisplayInputs(const CScopeDisplayInputs& inputs);
    CScopeDisplayInputs ScopeDisplayInputs() const;
    // The value in display units; NaN when the variable cannot be converted.
    double ConvertToDisplayUnit(double value, const ComboChannelsTypes& variable);
    double ConvertRawValue(uint32_t raw, const ComboChannelsTypes& variable);
    // Converts the set-up's sample buffer of the slot into its channel's trace; false when the
    // slot has no variable.
    bool ConvertChannelSamples(int slot);
    CWatchThread& Watch() { return *watch_; }
    // The clock of the watch thread's time marks and upload time-outs (before the thread starts).
    void SetWatchClock(platform::Clock& clock);

    // Watch and scope
    // The display inputs from the drive's units and its "PositionResolution", "Polarity" and
    // "RatedCurrent" cells as the current set holds them.
    void UpdateScopeDisplayInputs();
    // The exchange with the drive program's virtual machine (opened by its user with Init).
    engine::CVMComm& VmComm() { return *vm_; }

    // ---- state other parts read ----------------------------------------------------------------
    struct CIdentityItems {
        int32_t hardwareRevision = -1;
        int32_t encoderIndex = -1;
        std::string userDriveName;
        std::string orderCode;
        int32_t sizeCode = 0;
        int32_t optionValue = 0;
        bool systemManager = false;
        bool linearMotor = false;
        bool motorKind3 = false;
        bool currentLoopPeriod = false;
        bool family111 = false;
        bool firmwareWarningDismissed = false;
        bool fwUpdateApplies = false;
        // The hardware revision the connection already supplied (-1: none).
        int32_t suppliedHardwareRevision = -1;
        bool reconnectAfterReset = false;
        bool restrictedMode = false;
    };
    CIdentityItems& Identity() { return identity_; }
    const CIdentityItems& Identity() const { return identity_; }

    struct CDriveState {
        uint32_t sw = 0, hw = 0, swVer = 0, build = 0;
        uint32_t oem = 6868;
        bool bootOnly = false;
        std::string description;
        std::string className = "stepper";
        int32_t group = 0;
        bool group4 = false, group5 = false, newNaming = false, group236 = false, group17812 = false;
        bool standAlone = false;
        bool digitalIoFunctions = false;
        bool relativeInertia = false;
        int32_t analogInputType = 0;
        int32_t busType = kBusTypeNone;
        std::string statusWordCell = "statusword";
        std::string controlModeCell;
        std::map<int32_t, std::string> stateTexts;
        std::map<int32_t, std::string> controlModeTexts;
        // Dynamic warning, warning, dynamic alarm and alarm word cells.
        std::string errorWordCells[4] = {"DriveDynamicWarning", "DriveWarning", "DriveDynamicAlarm",
                                         "DriveAlarm"};
        std::string modeCell = "ModeOfOperationDisplay";
        std::string versionText;
        std::string nodeInfo;
    };
    CDriveState& State() { return state_; }
    const CDriveState& State() const { return state_; }

    foundation::CCompatChecker& Checker() { return checker_; }
    CUnitConversion& Units() { return units_; }
    CParametri& Parameters() { return *parameters_; }
    CDriveDescription& Description() { return description_; }
    CMotorDatabase& MotorDatabase() { return motors_; }

    // ---- parameter file: save entry points and cell error text -------------------------------
    // The drive's side of the export (engine block, identity, progress window), lent by its
    // owner; without one nothing is exported.
    void SetParameterFileDrive(CParamFileDrive* drive) { paramFileDrive_ = drive; }
    // The window layer's save-file dialog; without one the dialog counts as cancelled.
    void SetParameterFileChooser(ParamFileSaveChooser chooser) { paramFileChooser_ = std::move(chooser); }
    // Saving the parameters in permanent memory (drive operations): 0 when saved.
    void SetPermanentMemorySave(std::function<int()> save) { permanentSave_ = std::move(save); }
    const std::filesystem::path& ParameterFolder() const { return paramFolder_; }
    void SetParameterFolder(std::filesystem::path folder) { paramFolder_ = std::move(folder); }
    ParamSaveAllAnswer& SaveAllAnswer() { return saveAllAnswer_; }
    // Mode 0 export, 1 save; 4117 when cancelled.
    int SaveParametersFileAs(platform::WindowHandle parent, int mode);
    // True when something was saved.
    bool ConfirmSaveAllParameters(platform::WindowHandle parent);
    std::string GetCellErrorText(int code);
    // Early revisions of hardware 111 must not get "In6Settings" from a parameter file.
    bool SkipsIn6Settings() const;

    // ---- parameter file import ---------------------------------------------------------------
    // The drive's side of a parameter file import or download over this object (engine block,
    // identity and compatibility, questions, initialisation values), made on first use.
    CParamFileImportDrive& ParamImportDrive();
    // The window layer's progress window, incomplete-file question and long-exchange runner
    // (not owned; none: nothing shown, the question goes to the prompt service).
    void SetParamImportWindows(CParamImportWindows* windows) { importWindows_ = windows; }
    CParamImportWindows* ParamImportWindows() const { return importWindows_; }

  private:
    std::unique_ptr<CParamFileImportDrive> ownImportDrive_;
    CParamImportWindows* importWindows_ = nullptr;

  public:
    // Message boxes of the configuration load are left out (batch and host runs).
    void SetSilent(bool on) { silent_ = on; }
    // "Archive" of the drive data: handed to the device archive of the packages layer.
    void SetArchiveLoader(std::function<void(const foundation::CXmlNode&)> loader) {
        archiveLoader_ = std::move(loader);
    }
    // Program-wide switch: the firmware-update check applies to every drive.
    void SetFwUpdateOverride(bool on) { fwUpdateOverride_ = on; }

    // ---- system manager and drive operations -----------------------------------------------------
    CSystemManager& SystemManager() { return *systemManager_; }
    // The clock of the operations' waits and polls (tests put a simulated one in; not owned).
    void SetOperationClock(platform::Clock& clock) {
        opClock_ = &clock;
        systemManager_->SetClock(clock);
    }
    platform::Clock& OperationClock() { return *opClock_; }
    // Cached cells that the status groups keep fresh and the operations read.
    CParamDw& StatuswordCell() { return parameters_->data->deviceProfile.cells[0]; }
    CParamDw& ModeDisplayCell() { return parameters_->data->deviceProfile.cells[1]; }
    CParamDw& StateValueCell() { return parameters_->data->deviceProfile.cells[2]; }
    CParamDw& AlarmCell() { return parameters_->data->diagnostic.cells[0]; }

    // 0 ok, 1 write error, 2 time-out, 3 offline.
    int DisableDrive();
    // 0 ok, 1 read or write error, 2 time-out, 3 offline, 4 no hardware enable, 13 in alarm.
    int EnableDrive();
    // 0 reached, 1 read error, 2 time-out.
    int WaitDriveState(int state);
    int SwitchOnFromReset();
    // 0 ok, 3 still enabled, 7 the user said No.
    int ConfirmDisableDrive(bool momentarily, bool noAsk);
    bool IsHardwareEnabled();
    bool IsModeDisplay129();
    bool IsNotOperational();
    // 0 when saved; the user was told either way.
    int SaveParametersToEeprom();
    // 0, or -304 when the drive did not come back.
    int RestoreEepromDefaults();
    // 0 ok, 1 error.
    int SaveProgramToEeprom();
    // 1 ok, 0 read error.
    int SaveModeOfOperation();
    // 0 restored; 1 display read error, 2 time-out, 3 disable error, 4 no hardware enable, 5 write error.
    int RestoreModeOfOperation(int32_t mode, bool quiet);
    int SetModeOfOperation();
    bool StopTuning();
    bool StopPlc();
    void ReportWriteError(int kind, const std::string& text, int32_t code);
    void AskSaveModifiedParameters();
    // The write result of the update command, or the answer of the box telling to do it by hand.
    int UpdateEsiEeprom();
    // Close the connection and ask the main frame to connect again (message 0x40A).
    void RestartConnectionAfterReset(bool flag);
    void RestartConnection(bool flag);

    struct COperationFlags {
        bool modeSaved = false;
        int32_t savedMode = 0;
        int32_t currentMode = 0;
        // The restore question is not asked again (only a Yes is remembered).
        bool restoreDontAsk = false;
        bool quiet = false;
        bool eepromSaveNeeded = false;
        // The drive object holds a parameter set; a parameters-file operation runs.
        bool holdsParameters = false;
        bool fileOperation = false;
        // "Save all parameters in permanent memory?": ask, and the remembered answer.
        bool askSave = true;
        bool save = false;
        // A plain reconnect was asked for (the after-reset one is in the identity items).
        bool reconnect = false;
    };
    COperationFlags& Operations() { return ops_; }

    // Firmware update
    // Looks in a worker for a newer released firmware suiting the node and posts
    // foundation::kFirmwareUpdateResultMessage to the target (wParam a heap std::string* the
    // receiver frees, lParam 1 when one is available). Nothing while a check runs.
    void StartCheckFirmwareUpdateThread(int code, platform::WindowHandle target);
    bool FirmwareUpdateCheckRunning() const;
    void StopFirmwareUpdateCheck();
    int FirmwareUpdateCheckCode() const { return firmwareCheckCode_; }
    void SetFirmwareInfoReader(FirmwareInfoReader reader);
    // Starts the engine's download of the prepared image (delay: the wait after the write, ms),
    // or with release frees the prepared image; 0 or the engine's code.
    int StartFirmwareDownload(bool release, uint32_t delayMs);
    int AbortFirmwareDownload();
    // A new firmware went into the drive (the next connect reads it afresh).
    void SetFirmwareChanged(bool on) { firmwareChanged_ = on; }
    bool FirmwareChanged() const { return firmwareChanged_; }

    // ---- CErrorTextSource ----------------------------------------------------------------------
    std::string TakeLastErrorText() override;
    int32_t LastCellErrorCode() const override;
    int ChannelType() const override;
    int ReadCell(const std::string& name, uint32_t& value) override;
    std::string ModbusErrorVariableName() const override;

  private:
    struct CThreadError {
        int32_t code = 0;
        std::string text;
        std::string message;
        std::string engineText;
        int32_t cellCode = 0;
    };
    CThreadError& Mine();
    const CThreadError* MineIfAny() const;
    int Finish(int code);
    engine::CMain* EngineOrNull();
    int EngineTransfer(const std::string& name, void* buffer, uint32_t size, bool upload, uint32_t* moved);
    int RoundEditValue(const std::string& text, const char* factorType, int32_t factor, int32_t* out);
    int CurrentChannelType(int* type);
    int PauseOrResumeCyclicReads(bool pause);
    void ReadConditionCells();

    platform::WindowHandle owner_;
    CQdHost noHost_;
    CQdHost* host_ = &noHost_;
    // Serialises every named cell access of the drive; recursive like the critical section of the
    // original so that a caller holding it may read again.
    mutable std::recursive_mutex lock_;
    mutable std::mutex errorsMutex_;
    std::map<std::thread::id, CThreadError> errors_;

    CQdsWnd wnd_;
    std::unique_ptr<CParametri> parameters_;
    foundation::CCompatChecker checker_;
    foundation::CXmlDocument configuration_;
    CUnitConversion units_;
    CDriveDescription description_;
    CMotorDatabase motors_;
    CDriveState state_;
    CIdentityItems identity_;
    std::map<std::string, int32_t> conditionCells_;
    std::map<std::string, int32_t> conditionResults_;
    // ---- system manager and drive operations ----
    class CSystemManagerLink : public CSystemManagerAccess {
      public:
        explicit CSystemManagerLink(CQd& qd) : qd_(qd) {}
        int ReadCell(const std::string& name, uint32_t* value) override;
        int WriteCell(const std::string& name, uint32_t value) override;
        std::string LastErrorText() override;
        std::string ModbusErrorVariableName() override;
        const std::string* FindModbusError(uint32_t value) override;

      private:
        CQd& qd_;
    };
    std::unique_ptr<CSystemManager> MakeSystemManager();
    int WriteControlword(uint32_t word);
    int EnableSteps(int from);
    int PollModeDisplay(int32_t mode);
    void SetChannelTimeout(uint32_t ms);
    void OperationPause();
    void OperationResume();
    void ShowOperationBox(const std::string& text, const std::string& caption, unsigned flags);
    platform::Clock* opClock_ = &platform::SystemClock();
    CSystemManagerLink systemManagerLink_{*this};
    std::unique_ptr<CSystemManager> systemManager_ = MakeSystemManager();
    COperationFlags ops_;
    std::function<void(const foundation::CXmlNode&)> archiveLoader_;
    // Records of the pages (two texts and a text map each), and two word-keyed buffer maps.
    struct CPendingRecord {
        std::string first, second;
        std::map<std::string, std::string> texts;
    };
    std::map<int32_t, std::unique_ptr<CPendingRecord>> pending_;
    std::map<uint16_t, std::vector<uint8_t>> buffers1_, buffers2_;
    // Watch and scope
    class CVmLink : public engine::CVmCellAccess {
      public:
        explicit CVmLink(CQd& qd) : qd_(qd) {}
        int DownloadCell(const std::string& name, const void* data, uint32_t size) override;
        int UploadCell(const std::string& name, void* buffer, uint32_t bufferSize) override;
        std::string LastErrorText() override;

      private:
        CQd& qd_;
    };
    CVmLink vmLink_{*this};
    std::unique_ptr<engine::CVMComm> vm_ = std::make_unique<engine::CVMComm>(vmLink_);
    // ---- oscilloscope set-up and watch thread ----
    osc_vars osc_;
    std::atomic<platform::WindowHandle> scopeWindow_{0};
    mutable std::mutex scopeDisplayMutex_;
    CScopeDisplayInputs scopeDisplay_;
    // Declared after everything the thread uses, so that it is joined before they go.
    std::unique_ptr<CWatchThread> watch_ = std::make_unique<CWatchThread>(*this);
    bool connected_ = false;
    // Also set by the watch thread around its uploads.
    std::atomic<bool> cyclicPaused_{false};
    // ---- connect sequence and polling groups ----
    void SleepMs(int ms);
    void ApplyDriveUnits();
    bool ChannelIsUp();
    void ReadBasicCells();
    void OfferMotorHelp();
    int32_t ResultOfAdd(const std::string& name);
    bool SwitchToOffline();
    int CreateGroup();
    bool WaitWatchState(int activity, int wanted, int ms, int endEarly);
    CConnectHooks hooks_;
    CHostSession hostSession_;
    CPollingState polling_;
    CWatchSeam watchSeam_;
    std::function<void(int)> sleep_;
    std::map<const engine::CCellHolder*, CParamDw*> taggedCells_;
    std::string digitalInputCell_ = "PhisicalDigitalInputStatus";
    std::string motorIdCell_ = "MotorGuid";
    std::string offlineTitle_;
    std::string reconnectNoticeText_;
    platform::WindowHandle reconnectNoticeWindow_ = 0;
    bool switchedOffline_ = false;
    bool newConnectionRequested_ = false;
    bool esiCheckRequested_ = false;
    bool recreatePending_ = false;
    bool silent_ = false;
    bool fwUpdateOverride_ = false;

    // ---- parameter file ----------------------------------------------------------------------
    CParamFileDrive* paramFileDrive_ = nullptr;
    ParamFileSaveChooser paramFileChooser_;
    std::function<int()> permanentSave_ = [this] { return SaveParametersToEeprom(); };
    std::filesystem::path paramFolder_;
    ParamSaveAllAnswer saveAllAnswer_;

    // ---- menu state and answers to the peer engineering tool ----------------------------------
    CMenuInputs menuInputs_;
    std::map<uint32_t, uint32_t> ownCommandStates_;
    std::atomic<platform::WindowHandle> mainDialogWindow_{0};
    std::mutex peerStateMutex_;
    std::function<int(const std::string&)> hostParamExporter_;
    std::function<std::string()> hostTempParamFileName_;
    // ---- Host mode and parameter files ----
    // The export's drive side over this object (used while no other one is lent).
    CParamFileDrive& ParamFileDrive();
    void IdentifyFamily();
    std::unique_ptr<CParamFileDrive> ownParamFileDrive_;
    int familyCode_ = 0;
    bool programmable_ = false;
    std::string programVersion_;
    uint32_t programBuild_ = 0;
    // Firmware update
    FirmwareInfoReader firmwareInfoReader_;  // lock_
    platform::WindowHandle firmwareCheckTarget_ = 0;
    int firmwareCheckCode_ = 0;
    bool firmwareChanged_ = false;
    // Works on copies only; joined before the members above go.
    platform::Thread firmwareCheck_;

    // Its listening thread calls AnswerHostCommand: declared last, so it stops first.
    CQdPeerLink peer_{*this};
};

// The FIRMWARE element of an XML text, decoded: 0 with the payload, else the extraction's code
// with data emptied.
int DecodeFirmwareElement(const std::string& xml, std::vector<uint8_t>& data);

// A signed 32-bit number of a condition: decimal, or hexadecimal after "0x" when the decimal
// reading gives 0.
int32_t ParseConditionNumber(const std::string& text);

// Whether the registry's firmware-update filter lets a code through: "+code" or "+*" without
// "-code", comparing whole numbers.
bool FwUpdateFilterMatches(const std::string& filter, uint32_t code);
// "FilterHw" and "FilterSw" of the key under the current user, else the local machine (absent
// values stay empty); false when the key opens in neither.
bool ReadFwUpdateFilterValues(const std::string& keyPath, std::optional<std::string>* hardware,
                              std::optional<std::string>* software);

// The size code of a system name: the digit two places before its first '/', else 0.
int32_t SizeCodeFromSystemName(const std::string& name);
// Two characters of an order-code option, high byte first as a register holds them; "??" when
// the read failed or either is not a letter or digit.
std::string OrderCodeOptionText(bool read, uint32_t value);

// "%s\n%s%s" of the text, the system's message for the error code and the suffix, in a
// warning box captioned "Error" when no caption is given.
void ShowSystemErrorBox(const std::string& text, int errorCode, const std::string& suffix,
                        const std::string& caption);

}  // namespace drive
