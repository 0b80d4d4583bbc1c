#pragma once
// The program's only top-level window: the view with the page tab strip, the message bar, the
// toolbar and the status bar; it routes the menu commands, runs the connect sequence and keeps
// its placement.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/ConnectSequence.h"
#include "app/FramePlacement.h"
#include "app/MainFrameCommands.h"
#include "controls/SizingControlBar.h"
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

namespace app {

class CMainFrame;

// Control ids of the frame's windows.
enum : int {
    IDC_PAGE_TABS = 130,
    IDC_MESSAGE_BAR = 131,
    IDC_STATUS_LINE_COLUMN = 138,
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
// cyclic-read trace) of the drive's engine. Nothing without a connection window. True when
// the engine was asked.
bool RunDiagnosticGesture(engine::CMain* engine, bool control, bool shift);

class CMainFrame : public platform::ui::Frame, public CommandContext, public ConnectHost {
  public:
    CMainFrame(platform::Registry& registry, platform::ui::Rect virtualScreen);
    ~CMainFrame() override;

    // Creates and shows the frame, then posts itself the connect sequence.
    bool CreateFrame();
    const FramePlacement& Placement() const { return placement_; }

    // Commands as the menu runs them.
    void OnMenuCommand(int id);
    // The close path of the close box, "Exit" and a close request.
    void OnClose();

    void ResetOutputBar();
    void ShowOutputBar(bool show);
    void StoreMsgBarPlacement();
    void CloseToolWindows();
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

    // ConnectHost
    void ShowError(const std::string& text, const std::string& caption) override;
    void PostClose() override;
    void SetIntegratedIcon() override;
    void ShowMessageBar() override;

  protected:
    void OnDestroy() override;

  private:
    void OnConnectSequence();
    void NewConnection();
    void LoadDeviceToolbar();
    void CreateMainView();
    void BuildStatusBar();
    void TrackNormalRect();

    platform::Registry& registry_;
    platform::ui::Rect virtualScreen_;
    FramePlacement placement_;
    std::unique_ptr<DriveConnection> drive_;
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
    // Where the message bar sits (side, and its size there).
    unsigned barSide_ = controls::CSizingControlBar::kDockBottom;
    platform::ui::Size barSize_{0, 150};
};

}  // namespace app
