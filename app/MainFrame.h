#pragma once
// The program's only top-level window: the view with the page tab strip, the message bar, the
// toolbar and the status bar; it routes the menu commands, runs the connect sequence and keeps
// its placement.

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/ConnectSequence.h"
#include "app/DlgConnectBridge.h"
#include "app/DlgConnectDrive.h"
#include "app/DlgConnectTca.h"
#include "app/FramePlacement.h"
#include "app/MainFrameCommands.h"
#include "controls/SizingControlBar.h"
#include "drive/ParamFileExport.h"
#include "drive/QdHost.h"
#include "platform/ui/Frame.h"
#include "platform/ui/TabCtrl.h"

namespace platform {
class Registry;
}
namespace controls {
class SizingBarDockSite;
}
namespace engine {
class CMain;
}
namespace drive {
class CQd;
}

namespace app {

class CMainFrame;

// Control ids of the frame's windows.
enum : int {
    IDC_PAGE_TABS = 130,
    IDC_MESSAGE_BAR = 131,
    IDC_STATUS_LINE_COLUMN = 138,
};

// The two message numbers the frame gives the drive object.
constexpr unsigned kDriveFirstMessage = 0x70;
constexpr unsigned kDriveSecondMessage = 0x71;

// Where the message bar sits: its side (the dock bar ids, or floating) and its size there.
struct MessageBarLayout {
    unsigned side = controls::CSizingControlBar::kDockBottom;
    int width = 560;
    int height = 150;
    // Floating only: the bar's top-left corner.
    int left = 0;
    int top = 0;
};

// The page tab strip of the view: "Bus", "Main", "Program".
class CMyTabCtrl : public platform::ui::TabCtrl {
  public:
    // Pages in tab order (title and window); the "Main" page is selected and shown.
    void Setup(CMainFrame* frame, const std::vector<std::pair<std::string, wxWindow*>>& pages);
    wxWindow* Page(int index) const;
    int MainTab() const { return mainTab_; }
    void PlacePages();
    // Drops every tab and forgets the pages (their windows are their owners' to destroy).
    void Clear();

  private:
    int OnSelChanging();
    void OnSelChange();
    CMainFrame* frame_ = nullptr;
    std::vector<wxWindow*> pages_;
    int mainTab_ = -1;
    int programTab_ = -1;
    int previous_ = -1;
    bool sizeBound_ = false;
};

// Fills the frame's client area and holds the page tab strip.
class CChildView : public wxWindow {
  public:
    explicit CChildView(wxWindow* parent);
    bool CreateTabs(CMainFrame* frame, const std::vector<std::pair<std::string, wxWindow*>>& pages);
    CMyTabCtrl* Tabs() const { return tabs_; }

  private:
    CMyTabCtrl* tabs_ = nullptr;
};

// The output tab strip of the message bar: one output window per tab.
class CMsgTabOut : public platform::ui::TabCtrl {
  public:
    int AddOutput(wxWindow* output, const std::string& title);
    wxWindow* Output(int index) const;
    void PlaceOutputs();

  private:
    std::vector<wxWindow*> outputs_;
};

class CMsgBar : public controls::CSizingControlBarCF {
  public:
    // False when the bar or its tab strip can't be created.
    bool Create(wxWindow* parent, bool createTabs = true);
    CMsgTabOut* Tabs() const { return tabs_; }
    bool IsCreated() const { return created_; }

  private:
    CMsgTabOut* tabs_ = nullptr;
    bool created_ = false;
};

// The Ctrl + right double-click of the whole program: the cyclic groups report (Shift: the
// cyclic-read trace) of the drive's engine. Nothing without a connected drive (engine null).
// True when the engine was asked.
bool RunDiagnosticGesture(engine::CMain* engine, bool control, bool shift);

// The parameter file's save dialog of the program (the plain-text type is told by a ".txt" name).
drive::ParamFileSaveChooser ParamFileChooserFor(wxWindow* parent);
// The report of a failed export of the drive's parameters before an integrated session goes
// back offline: the drive's title, the export's code with its meaning, the temporary file.
std::string GoOnlineExportErrorText(int code, const std::string& driveTitle, const std::string& tempFile);

class CMainFrame : public platform::ui::Frame,
                   public CommandContext,
                   public ConnectHost,
                   public drive::CQdHost {
  public:
    CMainFrame(platform::Registry& registry, platform::ui::Rect virtualScreen);
    ~CMainFrame() override;

    // Creates and shows the frame and its drive object, then posts itself the connect sequence.
    bool CreateFrame();

    // The drive object (null before CreateFrame) and the connect sequence's side of it.
    drive::CQd* Drive() const { return qd_.get(); }
    QdDriveConnection* DriveLink() const { return drive_.get(); }

    // The main dialog's window for the "Main" tab: made by the factory, as a child of the page
    // tab strip, after every connection (the window goes with the tool windows). Without a
    // factory the tab holds an empty view.
    void SetMainPageFactory(std::function<wxWindow*(wxWindow* parent)> factory);
    // The program's own connect dialog, reconnect prompt and main dialog (after CreateFrame, before
    // the first connection runs); without them the drive object connects with what tests give it.
    void UseProgramWindows();
    // The "Main" tab's window, null while there is none.
    wxWindow* MainPage() const;

    // Applies the command-state map to the menus and the toolbar.
    void UpdateMenuState();
    // Shows the oscilloscope and tuning sheet on a page (4 with the tuning pages). False while the
    // program has no oscilloscope window: nothing opens then.
    bool OpenOscilloscope(bool show, int page, bool tuningPages);
    // The drive object's restart road: the connection and the tool windows close, and the
    // connect sequence runs again; for the peer tool the flag switches between offline and online.
    void RestartConnection(bool flag);

    // The message bar's stored layout; SetDefaultLayout puts it back to the defaults.
    const MessageBarLayout& BarLayout() const { return barLayout_; }
    void SetDefaultLayout() { barLayout_ = MessageBarLayout{}; }

    // The state of the lock keys for the status bar (tests put their own reader in).
    void SetLockKeyReader(std::function<bool(LockKey)> reader);
    void UpdateLockIndicators();
    const FramePlacement& Placement() const { return placement_; }

    // Commands as the menu runs them.
    void OnMenuCommand(int id);
    // The close path of the close box, "Exit" and a close request.
    void OnClose();

    void ResetOutputBar();
    void ShowOutputBar(bool show);
    void StoreMsgBarPlacement();
    void CloseToolWindows() override;
    void ApplyDefaultSize(bool xulFamily);
    bool IsToolWindowOpen() const;
    void LoadDeviceMenu() override;

    // The program editor's caret for the status bar's line and column pane; line -1 empties it.
    void SetCaretPosition(int line, int column);
    std::string LineColumnText() const;

    // Drive family and features; the device's once the drive object tells them.
    DeviceFamily Family() const { return family_; }
    bool Programmable() const { return programmable_; }

    // An edit in progress on a page ("pending"): -1 none.
    int pending = -1;
    bool outputBarVisible = true;

    CChildView* View() const { return view_; }
    CMsgBar* MessageBar() const { return msgBar_; }
    platform::ui::Window& MainView() { return mainView_; }
    // The engine of the drive's connection window, null while there is none.
    engine::CMain* ConnectionEngine() const;

    static CMainFrame* Instance();

    // CommandContext
    bool IsOscilloscopeVisible() const override;
    bool IsDriveSetupVisible() const override;
    bool IsDriveSetupOrToolWindowOpen() const override;
    bool IsProgrammable() const override { return programmable_; }
    bool HasArchive() const override;
    int Ask(const std::string& text, const std::string& caption, unsigned flags) override;
    void PostToMainDialog(unsigned message, uintptr_t wParam) override;
    void RunFrameAction(FrameAction action, int id) override;
    // The firmware update check, answered to the main dialog; false without drive or dialog.
    bool StartFirmwareUpdateCheck(int code);
    // The communication status window of a drive behind the fieldbus bridge, made when missing.
    void ShowCommStatus();
    class CCommStatusDlg* CommStatusWindow() const {
        return commStatus_.get();
    }

    // ConnectHost
    void ShowError(const std::string& text, const std::string& caption) override;
    void PostClose() override;
    void SetIntegratedIcon() override;
    void ShowMessageBar() override;

    // drive::CQdHost
    void SetFrameTitle(const std::string& title) override;
    void SetStatusText(int pane, const std::string& text) override;
    drive::CFramePage ShownPage() const override;
    platform::WindowHandle PageWindow(drive::CFramePage page) const override;
    void StoreMessageBarPlacement() override { StoreMsgBarPlacement(); }
    void ResetPages() override;
    bool ScopeSheetOpen() const override { return false; }
    std::map<uint32_t, uint32_t>* CommandStates() override { return &commandStates_; }
    unsigned FirstMessageNumber() const override { return kDriveFirstMessage; }
    unsigned SecondMessageNumber() const override { return kDriveSecondMessage; }
    void RefreshMenuState() override { UpdateMenuState(); }
    void StopPageRefresh() override;
    void StartPageStatusRefresh(int busType) override;
    void RefreshMainDialog() override;
    std::string FrameTitle() const override;

  protected:
    void OnDestroy() override;
    void OnTimer(unsigned id) override;

  private:
    void OnConnectSequence();
    void NewConnection();
    void OnHelpKey();
    // Closes the drive's connection; a connected drive's close waits in the busy window.
    void CloseDriveConnection(bool shutDown);
    std::string DriveTitle() const;
    void BindCommand(int id);
    void LoadDeviceToolbar();
    void CreateMainView();
    void BuildStatusBar();
    void TrackNormalRect();

    platform::Registry& registry_;
    platform::ui::Rect virtualScreen_;
    FramePlacement placement_;
    std::unique_ptr<drive::CQd> qd_;
    std::unique_ptr<QdDriveConnection> drive_;
    // The main dialog's command-state map: command id -> kCommandDisabled | kCommandChecked ...
    std::map<uint32_t, uint32_t> commandStates_;
    std::function<wxWindow*(wxWindow*)> mainPageFactory_;
    // The drive object's connect step and the main dialog of the program's own factory.
    std::unique_ptr<CConnectDriveDialog> connectDialog_;
    // The bridge and TwinCAT device dialogs the channels below ask for on "Select...".
    CBridgeDialogShell bridgeShell_;
    CTcaDialogShell tcaShell_;
    std::unique_ptr<class CPelmoraDlg> mainDlg_;
    std::unique_ptr<class CCommStatusDlg> commStatus_;
    void CloseCommStatus();
    // The frame's side of the main dialog's commands (outlives every main dialog).
    class MainDlgSite;
    std::unique_ptr<MainDlgSite> mainDlgSite_;
    bool mainDlgShownOnce_ = false;
    // The factory's window when it carries its own message handle (else mainView_ is attached).
    wxWindow* mainPage_ = nullptr;
    std::set<int> deviceCommands_;
    std::set<int> checkableCommands_;
    std::function<bool(LockKey)> lockKeys_;
    std::unique_ptr<controls::SizingBarDockSite> dock_;
    CChildView* view_ = nullptr;
    CMsgBar* msgBar_ = nullptr;
    // The main dialog's place in the "Main" tab: an empty view until the main dialog exists.
    platform::ui::Window mainView_;
    platform::ui::Rect normalRect_;
    DeviceFamily family_ = DeviceFamily::Drive;
    bool programmable_ = false;
    int caretLine_ = -1;
    int caretColumn_ = -1;
    int lineColumnPane_ = -1;
    MessageBarLayout barLayout_;
    int lockPane_ = -1;
};

}  // namespace app
