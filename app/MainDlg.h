#pragma once
// The main dialog: the connected drive's identity and its live status panel (faults, warnings,
// state, digital I/O, analog inputs, four chosen variables), laid out by device family. It is the
// main frame's "Main" page; the frame starts and stops its status groups with the page.

#include <array>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/MainDlgCommands.h"
#include "app/MainDlgDipSwitch.h"
#include "app/MainDlgStatus.h"
// ---- drive errors window ----
#include "app/DriveErrorTree.h"
#include "drive/ParamCell.h"
// ---- drive-program identity display ----
#include "drive/ProgramIdentity.h"
#include "platform/ui/ControlHost.h"

class wxBitmap;
class wxWindow;

namespace controls {
class CComboBoxExt;
class CStaticColor;
}  // namespace controls

namespace drive {
class CQd;
}  // namespace drive

namespace platform {
class Registry;
}  // namespace platform

namespace app {

class CdlgErrorDialog;

// Names of the drive variables the panel reads beside the error words and the state word.
constexpr const char* kInputsVariable = "PhisicalDigitalInputStatus";
constexpr const char* kOutputsVariable = "DigitalOutputStatus";
constexpr const char* kPositionVariable = "ActualPosition";
constexpr const char* kVelocityVariable = "ActualVelocity";
constexpr const char* kPlcStateVariable = "vm_StatusRunStop";
constexpr const char* kBrakeTypeVariable = "BrakeType";
constexpr const char* kBrakeStatusVariable = "BrakeStatus";

// ---- drive-program identity display ----
// The identity of the drive's program, in a row under the status row (programmable drives only).
enum : int {
    IDC_MAIN_PROGRAM_LABEL = 2300,
    IDC_MAIN_PROGRAM_NAME = 2301,
    IDC_MAIN_PROGRAM_DETAIL = 2302,
};
// Runs while a refresh is under way and takes its result when it is done.
constexpr unsigned kTimerProgramIdentity = 1238;
constexpr unsigned kProgramIdentityPollMs = 100;

class CPelmoraDlg : public platform::ui::ControlHost {
  public:
    CPelmoraDlg(wxWindow* parent, drive::CQd& drive);
    ~CPelmoraDlg() override;

    // Full refresh: family layout, identity, error definitions and the first read; then the
    // status groups and their timers.
    void Start();
    // Status groups and timers stopped (hidden page, released node).
    void Stop();
    // One status pass and one fast pass now.
    void Refresh();
    void UpdateDriveInfo();
    // The 10 s pass: the drive's user name read again, and the save command's state.
    void IdentityPass();
    // The start-up screen questions (once per program run): false when the user (now or by a
    // remembered answer) chose not to go on, and the frame closes. Answers are remembered in
    // the registry key given.
    bool CheckScreenOnce(platform::Registry& registry, const std::string& key);

    // What the panel shows, for tests and the frame.
    DriveFamily Family() const { return family_; }
    int LedSlot(int id) const;
    // Value fields are drawn by coloured labels over their items: these see through to them.
    void ShowControl(int id, bool show);
    bool IsControlShown(int id) const;
    int SlowGroup() const { return slowGroup_; }
    int FastGroup() const { return fastGroup_; }
    bool BrakeInSlowGroup() const { return brakeVariable_ > 0; }
    const std::vector<ErrorDefinition>& ErrorDefinitions() const { return errors_; }
    const std::vector<AnalogView>& AnalogViews() const { return views_; }
    drive::CParamDw& Cell(const std::string& name) { return cells_[name]; }
    // Output button i as the user would click it.
    void ToggleOutput(int point);
    // Typed value of an analog view written as Enter would; false when refused.
    bool WriteAnalogValue(size_t view, const std::string& text);
    void SelectShowVariable(size_t combo, const std::string& name);
    // Selects the four variables the drive object remembers (an unknown name: the empty entry).
    void RestoreShowVariables();
    // The show-variable combo k (0..3); its list filters while the user types.
    controls::CComboBoxExt* ShowCombo(size_t k) const { return k < 4 ? showCombos_[k] : nullptr; }
    // The texts of an enumeration of the drive description (0 "OperatingStates" or "SupplyType",
    // 1 "PwCtrlState", 2 "PwCtrlError").
    const std::map<uint32_t, std::string>& Enumeration(size_t which) const {
        return enums_[which < 3 ? which : 0];
    }

    // How the three refresh timers kept their periods since Start.
    struct TimerStats {
        unsigned passes = 0;
        double maxGapMs = 0;
        std::chrono::steady_clock::time_point last{};
    };
    const std::map<unsigned, TimerStats>& RefreshStats() const { return stats_; }
    // The regulator's "Actual dip-switch" (0) and "Startup dip-switch" (1) windows; null elsewhere.
    CDlgXulDipswitch* DipSwitch(size_t which) const { return which < 2 ? dips_[which].get() : nullptr; }

    // ---- commands posted to the dialog ----
    // The frame's side of the commands (not owned; null: only what the dialog does itself).
    void SetCommandSite(CMainDlgCommandSite* site) { outerSite_ = site; }
    CMainDlgCommands& Commands() { return *commands_; }
    // The oscilloscope window is shown: the options dialog's unit write waits for it to close.
    void SetScopeVisibleQuery(std::function<bool()> query) { scopeVisible_ = std::move(query); }

    // ---- drive-program identity display ----
    // Reads the drive program's identity again on a worker (programmable drives, online); the
    // row shows it when the read is done.
    void RefreshProgramIdentity();
    // A running refresh is asked to stop and joined; its timer goes.
    void StopProgramInfoRefresh();
    bool ProgramRefreshRunning() const { return programRefresh_.IsRunning(); }
    // The identity shown last (values unknown and texts empty after a failed read).
    const drive::ProgramIdentity& ProgramIdentityShown() const { return programShown_; }

    // ---- drive errors window ----
    // "Show errors": the window is made from the error list at its first showing.
    void ShowErrorsWindow();
    CdlgErrorDialog* ErrorsWindow() const { return errorsWindow_.get(); }

  protected:
    void OnTimer(unsigned id) override;
    void OnDestroy() override;

  private:
    CellView View(const std::string& name) const;
    void ApplyLayout();
    void BuildAnalogViews();
    void FirstRead();
    void CreateStatusGroups();
    void StopStatusGroups();
    void StatusPass();
    void FastPass();
    void UpdateDigitalIoLayout();
    void SetLed(int id, int slot);
    void SetText(int id, const std::string& text);
    void OnShowVariableChanged(size_t combo);
    void OnBrakeButton();
    void MakeLedBitmaps();
    void CreateShowCombos();
    void ReadEnumerations();

    drive::CQd& drive_;
    DriveFamily family_ = DriveFamily::Servo;
    bool twoChannels_ = false;
    bool started_ = false;
    bool creatingGroups_ = false;
    int slowGroup_ = -1;
    int fastGroup_ = -1;
    int brakeVariable_ = 0;
    uint32_t disabledInputs_ = 0;
    uint32_t lastOutputs_ = 0;
    std::map<std::string, drive::CParamDw> cells_;
    std::vector<ErrorDefinition> errors_;
    std::vector<AnalogView> views_;
    std::array<int, 4> viewSlots_{-1, -1, -1, -1};
    ShowVariableSlots shown_;
    std::array<int, 4> showVariableIds_{-1, -1, -1, -1};
    std::array<controls::CComboBoxExt*, 4> showCombos_{};
    std::array<std::map<uint32_t, std::string>, 3> enums_;
    std::map<int, int> ledSlots_;
    std::map<int, controls::CStaticColor*> overlays_;
    std::map<unsigned, TimerStats> stats_;
    std::array<std::unique_ptr<CDlgXulDipswitch>, 2> dips_;
    std::vector<std::unique_ptr<wxBitmap>> ledBitmaps_;
    // ---- commands posted to the dialog ----
    class CommandSite;
    CMainDlgCommandSite* outerSite_ = nullptr;
    std::function<bool()> scopeVisible_;
    std::unique_ptr<CommandSite> commandSite_;
    std::unique_ptr<CMainDlgCommands> commands_;
    // ---- drive errors window ----
    CErrorList errorList_;
    std::unique_ptr<CdlgErrorDialog> errorsWindow_;
    // ---- drive-program identity display ----
    struct StopProgramRefreshHook {
        CPelmoraDlg* dialog;
        void operator()() const { dialog->StopProgramInfoRefresh(); }
    };
    bool ShowsProgramIdentity() const;
    void ShowProgramIdentity(const drive::ProgramIdentity& identity);
    drive::ProgramIdentity programShown_;
    bool programRereadPending_ = false;
    // Declared last: its worker is joined before the rest of the dialog goes.
    drive::CProgramInfoRefresh programRefresh_{
        [this](const platform::StopToken& stop) { return drive::ReadProgramIdentity(drive_, &stop); }};
};

}  // namespace app
