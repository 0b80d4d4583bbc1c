#pragma once
// What the maintenance dialogs do, apart from their windows: the permanent memory dialog's button
// layout and actions, the system information content with its clipboard texts, and the safe-state
// procedure of the drive's PLC. The windows (DlgMaintenanceWindows.h) only show it.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Clock.h"

namespace drive {
class CQd;
}  // namespace drive

namespace foundation {
class CCompatChecker;
class CCompatDrive;
class CXmlDocument;
class CXmlNode;
}  // namespace foundation

namespace app {

// ---- permanent memory -------------------------------------------------------------------------

// Buttons of the permanent memory dialog.
enum : int {
    IDC_PM_SAVE_PARAMETERS = 1026,
    IDC_PM_RESTORE_DEFAULTS = 1028,
    IDC_PM_SAVE_PROGRAM = 1029,
    IDC_PM_RELOAD_ALL = 1030,
    IDC_PM_RELOAD_LOOPS = 1031,
    IDC_PM_DELETE_MOTOR = 1032,
    IDC_PM_CLOSE = 1340,
};

// The device kind of the family with its own permanent memory commands.
constexpr int kDeviceKindXul = 10;
// The node was lost: the main dialog reconnects.
constexpr int kPermanentMemoryNodeLost = -304;
// A command the drive's system manager could not run (it was not sent).
constexpr int kCommandNotRun = -5;
// Who may save the current values as the defaults.
constexpr const char* kSaveDefaultsCondition = "Factory";

// What the layout depends on, read from the drive object.
struct PermanentMemoryFacts {
    int deviceKind = 0;
    bool systemCommands = false;
    // Supply units and the Kwz family have pages of their own for this.
    bool ownPagesFamily = false;
    bool motorDeletionAllowed = false;
    bool programSavable = false;
    bool saveDefaultsAuthorized = false;
};
PermanentMemoryFacts PermanentMemoryFactsFor(drive::CQd& qd);

// The buttons shown under "Save parameters..." and "Restore default parameters", top down; the
// last is always "Close".
struct PermanentMemoryLayout {
    std::vector<int> rows;
    // "Save program in permanent memory" reads "Save defaults".
    bool saveDefaults = false;
    bool saveProgramEnabled = true;
};
PermanentMemoryLayout PermanentMemoryLayoutFor(const PermanentMemoryFacts& facts);
// The caption of a button in that layout.
std::string PermanentMemoryButtonText(int id, const PermanentMemoryLayout& layout);

// The drive operations the buttons run.
class CPermanentMemoryDrive {
  public:
    virtual ~CPermanentMemoryDrive() = default;
    // 0 when saved (the drive object tells the user either way).
    virtual int SaveParametersToEeprom() = 0;
    // 0, or kPermanentMemoryNodeLost when the drive did not come back.
    virtual int RestoreEepromDefaults() = 0;
    // 0 ok, any other value failed.
    virtual int SaveProgramToEeprom() = 0;
    // A system command by name: 0 done, else its code (the system manager reported it).
    virtual int ExecuteCommand(const std::string& name) = 0;
};
std::unique_ptr<CPermanentMemoryDrive> MakePermanentMemoryDrive(drive::CQd& qd);

// Runs a button's action: the dialog ends with the returned code. Messages through the prompts.
int RunPermanentMemoryButton(int id, const PermanentMemoryLayout& layout, CPermanentMemoryDrive& drive);

// ---- system information -----------------------------------------------------------------------

// Items of the system information dialog.
enum : int {
    IDC_SYSINFO_TREE = 502,
    IDC_SYSINFO_COPY = 1174,
};

// One line of the component tree (depth 0: right under the system's name).
struct SysInfoItem {
    std::string text;
    int depth = 0;
    // The "Component" element it shows (copied into the XML clipboard text); may be null.
    const foundation::CXmlNode* component = nullptr;
};

struct SysInfoContent {
    std::string name;
    bool hasSerial = false;
    uint32_t serial = 0;
    std::vector<SysInfoItem> components;
    std::vector<SysInfoItem> incompatibles;
    std::vector<SysInfoItem> missing;
};

// The tree the checker holds: its three component lists (a list only with 1 to 32767 entries),
// then the components found below them. Missing and incompatible components are the device's keys
// that no component, or only an older one, satisfies.
SysInfoContent BuildSysInfoContent(foundation::CCompatChecker& checker, const std::string& name);
// "Serial number %lu".
std::string SysInfoSerialText(uint32_t serial);
// The clipboard texts: plain lines, or the XML element "System".
std::string SysInfoText(const SysInfoContent& content);
std::string SysInfoXml(const SysInfoContent& content);
// "Loading..." while the checker has not read the drive yet.
bool SysInfoNeedsRefresh(const foundation::CCompatChecker& checker);

// ---- safe state of the drive's PLC ------------------------------------------------------------

// Buttons and items of the safe-state dialog.
enum : int {
    IDC_SAFE_REACH = 1082,
    IDC_SAFE_FORCE = 1057,
    IDC_SAFE_TEXT = 1085,
    IDC_SAFE_PROGRESS = 511,
    IDC_SAFE_ERROR = 502,
    IDC_SAFE_HELP = 1672,
};
// Results: the PLC is safe (the command runs), forced, aborted.
constexpr int kSafePlcReached = 1;
constexpr int kSafePlcForced = 1057;
constexpr int kSafePlcAborted = 2;
constexpr int kSafePlcStepMs = 1000;
constexpr int kSafePlcProgressRange = 40;
constexpr const char* kAbortSafeStateCommand = "SYS_CV_ABORT_SAFE_STATE_PLC";

constexpr const char* kReachSafeText = "Reach a safe state";
constexpr const char* kForceText = "Force command without any safe conditions";

// What the system manager hands the dialog.
struct SafePlcRequest {
    std::string safeStateCommand;
    std::string caption;
    bool forcingAllowed = true;
    bool startAtOnce = false;
    bool reachSafeFirst = true;
    bool canReachSafe = true;
};
// The arguments of the system manager's question: alias command, description, "DontAskSafety",
// "SafetySafePlc", refused with error 14.
SafePlcRequest SafePlcRequestFromArgs(const std::vector<std::string>& args);

// One start of a command through the system manager: 0 done, 14 still running, other errors.
class CSafePlcCommands {
  public:
    virtual ~CSafePlcCommands() = default;
    virtual int StartCommand(const std::string& name, int timeoutMs, std::string& errorText) = 0;
};
std::unique_ptr<CSafePlcCommands> MakeSafePlcCommands(drive::CQd& qd);

// The procedure: idle -> running (a step every second) -> ended; an error stops the steps and
// shows its text. The window calls Poll from its timer; the clock decides when a step is due.
class CSafePlcProcedure {
  public:
    enum class State { Idle, Running, Failed, Ended };
    // What the two buttons read and show.
    struct Buttons {
        std::string reachText, forceText;
        bool reachShown = true, forceShown = true;
        std::string staticText;
    };

    CSafePlcProcedure(SafePlcRequest request, CSafePlcCommands& commands,
                      platform::Clock& clock = platform::SystemClock());

    // True when the dialog starts the procedure by itself on showing.
    bool StartsAtOnce() const;
    Buttons Labels() const;
    // A click on 1082 or 1057: starts the procedure or forces, by the button's label.
    void Click(int id);
    void Start();
    void Force();
    // Abort (and Escape): an abort command only while the steps run.
    void Abort();
    // Runs a step when one is due (every kSafePlcStepMs while running).
    void Poll();
    void Step();

    State GetState() const { return state_; }
    int Result() const { return result_; }
    int Progress() const { return progress_; }
    bool ProgressShown() const { return progressShown_; }
    bool TimerRunning() const { return state_ == State::Running; }
    const std::string& ErrorText() const { return error_; }
    const std::string& StaticText() const { return static_; }
    int Steps() const { return steps_; }

  private:
    void End(int result);

    SafePlcRequest request_;
    CSafePlcCommands& commands_;
    platform::Clock& clock_;
    State state_ = State::Idle;
    int result_ = 0;
    int progress_ = 0;
    bool progressShown_ = false;
    int64_t nextStepMs_ = 0;
    int steps_ = 0;
    std::string error_;
    std::string static_;
};

}  // namespace app
