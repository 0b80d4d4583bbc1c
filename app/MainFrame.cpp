#include "app/MainFrame.h"

#include <set>

#include <wx/frame.h>
#include <wx/icon.h>
#include <wx/panel.h>
#include <wx/settings.h>
#include <wx/toolbar.h>
#include <wx/utils.h>

#include "app/AboutDlg.h"
#include "app/HelpTopics.h"
#include "app/Startup.h"
#include "controls/SizingControlBarDock.h"
#include "engine/Main.h"
#include "foundation/MessageIds.h"
#include "foundation/ProgramFolders.h"
#include "foundation/ProgramSwitches.h"
#include "platform/Prompt.h"
#include "platform/Registry.h"
#include "platform/ui/Images.h"
#include "platform/ui/WxPrompts.h"

namespace app {
namespace {

using controls::CSizingControlBar;

CMainFrame* g_frame = nullptr;

// The drive object's side of the connect sequence, while the program has no drive object:
// nothing is integrated and the connection does nothing, so the frame comes up offline with
// its device menu.
class NoDriveObject : public DriveConnection {
  public:
    bool IsFileMode() const override { return false; }
    bool OpenPeerChannel(const std::string&) override { return false; }
    void ClosePeerChannel() override {}
    bool RequestStartupInfo() override { return false; }
    std::string RequestConfiguration() override { return {}; }
    std::string LastError() const override { return lastError_; }
    void SetLastError(const std::string& text) override { lastError_ = text; }
    std::string PeerText() const override { return {}; }
    int Connect() override { return 0; }

  private:
    std::string lastError_;
};

wxIcon IconOf(int id) {
    wxIcon icon;
    const wxBitmap picture = platform::ui::LoadImageResource(id);
    if (picture.IsOk()) icon.CopyFromBitmap(picture);
    return icon;
}

}  // namespace

bool RunDiagnosticGesture(engine::CMain* engine, bool control, bool shift) {
    if (!control || engine == nullptr) return false;
    engine->LogCyclicGroups(shift ? 100 : 0);
    return true;
}

// ---------------------------------------------------------------- CMyTabCtrl

void CMyTabCtrl::Setup(CMainFrame* frame, const std::vector<std::pair<std::string, wxWindow*>>& pages) {
    frame_ = frame;
    DeleteAllItems();
    pages_.clear();
    mainTab_ = programTab_ = -1;
    for (const auto& [title, window] : pages) {
        const int index = InsertItem(GetItemCount(), title);
        pages_.push_back(window);
        if (title == "Main") mainTab_ = index;
        if (title == "Program") programTab_ = index;
        if (window != nullptr) window->Hide();
    }
    selChanging = [this] { return OnSelChanging(); };
    selChange = [this] { OnSelChange(); };
    PlacePages();
    if (mainTab_ >= 0) {
        SetCurSel(mainTab_);
        previous_ = mainTab_;
        if (wxWindow* page = Page(mainTab_)) page->Show();
    }
    if (!sizeBound_) {
        sizeBound_ = true;
        Bind(wxEVT_SIZE, [this](wxSizeEvent& event) {
            event.Skip();
            PlacePages();
        });
    }
}

void CMyTabCtrl::Clear() {
    DeleteAllItems();
    pages_.clear();
    mainTab_ = programTab_ = previous_ = -1;
}

wxWindow* CMyTabCtrl::Page(int index) const {
    return index >= 0 && index < static_cast<int>(pages_.size()) ? pages_[index] : nullptr;
}

void CMyTabCtrl::PlacePages() {
    const wxSize size = GetClientSize();
    const int header = StripHeight();
    for (wxWindow* page : pages_) {
        if (page != nullptr) page->SetSize(0, header + 1, size.x - 4, size.y - header - 1);
    }
}

int CMyTabCtrl::OnSelChanging() {
    if (frame_ != nullptr && frame_->pending != -1) {
        platform::ui::MessageBox("Please write or cancel data before of change page.", "Changed data",
                                 platform::MB_OK | platform::MB_ICONEXCLAMATION);
        return -1;
    }
    previous_ = GetCurSel();
    return 0;
}

void CMyTabCtrl::OnSelChange() {
    if (wxWindow* old = Page(previous_)) old->Hide();
    if (wxWindow* page = Page(GetCurSel())) {
        page->Show();
        page->SetFocus();
    }
    previous_ = GetCurSel();
}

// ---------------------------------------------------------------- CChildView

CChildView::CChildView(wxWindow* parent)
    : wxWindow(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize,
               wxBORDER_STATIC | wxFULL_REPAINT_ON_RESIZE) {
    SetBackgroundColour(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE));
    Bind(wxEVT_SIZE, [this](wxSizeEvent& event) {
        event.Skip();
        if (tabs_ != nullptr) {
            const wxSize size = GetClientSize();
            tabs_->SetSize(0, 0, size.x + 1, size.y + 1);
        }
    });
    Bind(wxEVT_SET_FOCUS, [this](wxFocusEvent& event) {
        event.Skip();
        if (tabs_ != nullptr) {
            if (wxWindow* page = tabs_->Page(tabs_->GetCurSel())) page->SetFocus();
        }
    });
}

bool CChildView::CreateTabs(CMainFrame* frame, const std::vector<std::pair<std::string, wxWindow*>>& pages) {
    if (tabs_ == nullptr) {
        tabs_ = new CMyTabCtrl();
        if (!tabs_->Create(this, IDC_PAGE_TABS, wxPoint(0, 0), wxSize(3000, 1500))) {
            delete tabs_;
            tabs_ = nullptr;
            return false;
        }
        const wxSize size = GetClientSize();
        tabs_->SetSize(0, 0, size.x + 1, size.y + 1);
    }
    for (const auto& page : pages) {
        if (page.second != nullptr) page.second->Reparent(tabs_);
    }
    tabs_->Setup(frame, pages);
    return true;
}

// ---------------------------------------------------------------- CMsgTabOut, CMsgBar

int CMsgTabOut::AddOutput(wxWindow* output, const std::string& title) {
    const int index = InsertItem(GetItemCount(), title);
    outputs_.insert(outputs_.begin() + index, output);
    if (output != nullptr) output->Show(GetCurSel() == index);
    if (!selChanging) {
        selChanging = [this] {
            if (wxWindow* current = Output(GetCurSel())) current->Hide();
            return 0;
        };
        selChange = [this] {
            if (wxWindow* current = Output(GetCurSel())) current->Show();
        };
        Bind(wxEVT_SIZE, [this](wxSizeEvent& event) {
            event.Skip();
            PlaceOutputs();
        });
    }
    PlaceOutputs();
    return index;
}

wxWindow* CMsgTabOut::Output(int index) const {
    return index >= 0 && index < static_cast<int>(outputs_.size()) ? outputs_[index] : nullptr;
}

void CMsgTabOut::PlaceOutputs() {
    const wxSize size = GetClientSize();
    for (wxWindow* output : outputs_) {
        if (output != nullptr) output->SetSize(0, 0, size.x, size.y - StripHeight() - 2);
    }
}

bool CMsgBar::Create(wxWindow* parent, bool createTabs) {
    if (!CSizingControlBarCF::Create("Output", parent, IDC_MESSAGE_BAR, kDrawEdges | kSizeChild))
        return false;
    if (createTabs) {
        tabs_ = new CMsgTabOut();
        if (!tabs_->Create(this, IDC_MESSAGE_BAR)) {
            delete tabs_;
            tabs_ = nullptr;
        }
    }
    if (tabs_ == nullptr) {
        // A message bar without its output strip is no message bar.
        Destroy();
        return false;
    }
    Bind(wxEVT_DESTROY, [this](wxWindowDestroyEvent& event) {
        event.Skip();
        if (event.GetEventObject() == this) created_ = false;
    });
    created_ = true;
    return true;
}

// ---------------------------------------------------------------- CMainFrame

CMainFrame::CMainFrame(platform::Registry& registry, platform::ui::Rect virtualScreen)
    : registry_(registry), virtualScreen_(virtualScreen), drive_(std::make_unique<NoDriveObject>()) {
    g_frame = this;
}

CMainFrame::~CMainFrame() {
    if (IsAlive()) DestroyWindow();
    if (g_frame == this) g_frame = nullptr;
}

CMainFrame* CMainFrame::Instance() {
    return g_frame;
}

bool CMainFrame::CreateFrame() {
    controls::RegistryBarProfile profile(registry_, foundation::GetProductKey());
    placement_ = LoadFramePlacement(profile, virtualScreen_, Program().resetGui);
    if (!Create(foundation::kProgramName, placement_.width, placement_.height)) return false;
    wxFrame* frame = GetFrame();
    frame->SetPosition(wxPoint(placement_.x, placement_.y));
    frame->SetIcon(IconOf(128));

    view_ = new CChildView(frame);
    dock_ = std::make_unique<controls::SizingBarDockSite>(frame);
    dock_->SetView(view_);
    BuildStatusBar();

    msgBar_ = new CMsgBar();
    if (!msgBar_->Create(frame)) {
        msgBar_ = nullptr;
        return false;
    }
    msgBar_->sizeHorz = {barSize_.cx, barSize_.cy};
    dock_->AddBar(msgBar_);
    dock_->DockControlBar(msgBar_, CSizingControlBar::kDockBottom);
    dock_->ShowControlBar(msgBar_, false, false);

    // Every command any device menu or toolbar can hold.
    std::set<int> ids{ID_APP_EXIT};
    for (DeviceFamily family :
         {DeviceFamily::Drive, DeviceFamily::Xul, DeviceFamily::Supply, DeviceFamily::Kwz}) {
        for (bool programmable : {false, true}) {
            for (int id : CommandIdsOf(DeviceMenu(family, programmable))) ids.insert(id);
            for (const auto& tool : DeviceToolbar(family, programmable))
                if (tool.id != 0) ids.insert(tool.id);
        }
    }
    for (int id : ids) Frame::OnCommand(id, [this, id] { OnMenuCommand(id); });

    frame->Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { OnClose(); });
    frame->Bind(wxEVT_SIZE, [this](wxSizeEvent& event) {
        event.Skip();
        TrackNormalRect();
    });
    frame->Bind(wxEVT_MOVE, [this](wxMoveEvent& event) {
        event.Skip();
        TrackNormalRect();
    });
    OnMessageId(platform::ui::WM_CLOSE, [this](uintptr_t, intptr_t) -> intptr_t {
        if (IsAlive()) GetFrame()->Close();
        return 0;
    });
    OnMessageId(foundation::kFrameConnectSequenceMessage, [this](uintptr_t, intptr_t) -> intptr_t {
        OnConnectSequence();
        return 0;
    });

    // The drive object takes the go-online connection string here once it exists.
    Program().goOnline.clear();

    if (placement_.showCmd == kShowMaximized) frame->Maximize();
    frame->Show();
    if (placement_.showCmd == kShowMinimized) frame->Iconize();
    normalRect_ = platform::ui::Rect::FromXYWH(frame->GetPosition().x, frame->GetPosition().y,
                                               frame->GetSize().x, frame->GetSize().y);
    dock_->RecalcLayout();
    Post(foundation::kFrameConnectSequenceMessage);
    return true;
}

void CMainFrame::BuildStatusBar() {
    // Message, [debug log], two blanks, line and column, caps, num and scroll lock.
    std::vector<int> widths{-1};
    if (foundation::g_LogDebug) widths.push_back(60);
    widths.insert(widths.end(), {80, 80, 96, 40, 40, 40});
    lineColumnPane_ = static_cast<int>(widths.size()) - 4;
    SetStatusPanes(widths);
    if (foundation::g_LogDebug) SetStatusText(1, "Log active");
}

void CMainFrame::SetCaretPosition(int line, int column) {
    caretLine_ = line;
    caretColumn_ = column;
    SetStatusText(lineColumnPane_, LineColumnText());
}

std::string CMainFrame::LineColumnText() const {
    if (caretLine_ == -1) return {};
    return " Ln " + std::to_string(caretLine_) + ", Col " + std::to_string(caretColumn_);
}

void CMainFrame::TrackNormalRect() {
    if (!IsAlive()) return;
    wxFrame* frame = GetFrame();
    if (frame->IsMaximized() || frame->IsIconized()) return;
    normalRect_ = platform::ui::Rect::FromXYWH(frame->GetPosition().x, frame->GetPosition().y,
                                               frame->GetSize().x, frame->GetSize().y);
}

void CMainFrame::OnDestroy() {
    dock_.reset();
    view_ = nullptr;
    msgBar_ = nullptr;
}

engine::CMain* CMainFrame::ConnectionEngine() const {
    return nullptr;  // the drive object's connection window owns the engine; none exists yet
}

void CMainFrame::OnConnectSequence() {
    RunConnectSequence(*drive_, *this, Program().rawCommandLine);
}

void CMainFrame::LoadDeviceMenu() {
    SetMenus(DeviceMenu(family_, programmable_));
    LoadDeviceToolbar();
    CreateMainView();
    std::vector<std::pair<std::string, wxWindow*>> pages{{"Main", mainView_.Wx()}};
    if (view_ != nullptr) view_->CreateTabs(this, pages);
    CheckCommand(ID_VIEW_OUTPUT, outputBarVisible);
}

void CMainFrame::LoadDeviceToolbar() {
    SetToolBar(DeviceToolbar(family_, programmable_));
    if (dock_) dock_->RecalcLayout();
}

void CMainFrame::CreateMainView() {
    if (mainView_.IsAlive() || view_ == nullptr) return;
    auto* panel = new wxPanel(view_, wxID_ANY);
    panel->SetBackgroundColour(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE));
    mainView_.Attach(panel);
}

void CMainFrame::ShowMessageBar() {
    ShowOutputBar(true);
}

void CMainFrame::ShowOutputBar(bool show) {
    if (msgBar_ == nullptr || !dock_) return;
    dock_->ShowControlBar(msgBar_, show && outputBarVisible, false);
    dock_->RecalcLayout();
}

void CMainFrame::StoreMsgBarPlacement() {
    if (msgBar_ == nullptr) return;
    barSide_ = msgBar_->DockBarId();
    const wxSize size = msgBar_->GetSize();
    if (barSide_ == CSizingControlBar::kDockLeft || barSide_ == CSizingControlBar::kDockRight)
        barSize_.cx = size.x;
    else
        barSize_.cy = size.y;
}

void CMainFrame::ResetOutputBar() {
    if (msgBar_ == nullptr || !dock_) return;
    dock_->ShowControlBar(msgBar_, false, false);
    barSide_ = CSizingControlBar::kDockBottom;
    barSize_ = {0, 150};
    msgBar_->sizeHorz = {msgBar_->sizeHorz.cx, barSize_.cy};
    dock_->DockControlBar(msgBar_, barSide_);
    ShowOutputBar(true);
}

void CMainFrame::CloseToolWindows() {
    StoreMsgBarPlacement();
    // The tool windows (setup sheets, oscilloscope, errors and history windows, program editor)
    // are destroyed here once they exist; the main dialog's window goes too.
    if (view_ != nullptr && view_->Tabs() != nullptr) view_->Tabs()->Clear();
    mainView_.DestroyWindow();
    if (msgBar_ != nullptr && dock_) dock_->ShowControlBar(msgBar_, false, false);
}

void CMainFrame::ApplyDefaultSize(bool xulFamily) {
    if (!placement_.defaultSizeUsed || !IsAlive()) return;
    const platform::ui::Rect r = DefaultFrameRect(xulFamily);
    GetFrame()->SetSize(r.left, r.top, r.Width(), r.Height());
}

bool CMainFrame::IsToolWindowOpen() const {
    return false;  // no tool window exists before the drive object opens one
}

void CMainFrame::OnMenuCommand(int id) {
    if (id == ID_APP_EXIT) {
        if (IsAlive()) GetFrame()->Close();
        return;
    }
    ExecuteCommand(id, *this);
}

bool CMainFrame::IsOscilloscopeVisible() const {
    return false;
}

bool CMainFrame::IsDriveSetupVisible() const {
    return false;
}

bool CMainFrame::IsDriveSetupOrToolWindowOpen() const {
    return IsToolWindowOpen();
}

bool CMainFrame::HasArchive() const {
    return false;  // the drive description says; none without a drive object
}

int CMainFrame::Ask(const std::string& text, const std::string& caption, unsigned flags) {
    return platform::ui::MessageBox(text, caption, flags);
}

void CMainFrame::PostToMainDialog(unsigned message, uintptr_t wParam) {
    mainView_.Post(message, wParam, 0);
}

void CMainFrame::RunFrameAction(FrameAction action, int id) {
    const std::string program = foundation::kProgramName;
    switch (action) {
        case FrameAction::About:
            ShowAboutBox(GetFrame());
            break;
        case FrameAction::HelpOnProgram:
            ShowHelpTopic(program + ".chm");
            break;
        case FrameAction::HelpOnDevice:
            ShowHelpTopic("Tarvik.chm::/index.html");
            break;
        case FrameAction::ContextHelp:
            ShowHelpTopic(program + ".chm::/ID_SECT_Mappa.html");
            break;
        case FrameAction::WebSite:
            if (!Program().webSite.empty())
                wxLaunchDefaultBrowser("http://" + wxString::FromUTF8(Program().webSite));
            break;
        case FrameAction::ViewOutput:
            outputBarVisible = !outputBarVisible;
            CheckCommand(ID_VIEW_OUTPUT, outputBarVisible);
            if (msgBar_ != nullptr && dock_) {
                dock_->ShowControlBar(msgBar_, outputBarVisible, false);
                dock_->RecalcLayout();
            }
            break;
        case FrameAction::ResetOutputBar:
            ResetOutputBar();
            break;
        case FrameAction::NewConnection:
            NewConnection();
            break;
        case FrameAction::ToolbarReload:
            if (wxToolBar* bar = GetFrame()->GetToolBar()) bar->Hide();
            LoadDeviceToolbar();
            if (wxToolBar* bar = GetFrame()->GetToolBar()) bar->Show();
            break;
        case FrameAction::ShowErrors:
        case FrameAction::EditorCommand:
        case FrameAction::DriveSetup:
        case FrameAction::SupplySetup:
        case FrameAction::XulSetup:
        case FrameAction::Oscilloscope:
        case FrameAction::Tuning:
        case FrameAction::ResetOscPosition:
        case FrameAction::CheckFirmwareUpdates:
        case FrameAction::CommStatus:
        case FrameAction::SystemInformation:
        case FrameAction::Post:
            // These open windows of the drive object or go to it; nothing while there is none.
            (void)id;
            break;
    }
}

void CMainFrame::NewConnection() {
    if (Ask("Would you like to make a new connection?\r\nThe actual configuration will be lost.",
            "New connection", platform::MB_OKCANCEL) != platform::IDOK)
        return;
    CloseToolWindows();
    Post(foundation::kFrameConnectSequenceMessage);
}

void CMainFrame::OnClose() {
    if (!IsAlive()) return;
    wxFrame* frame = GetFrame();
    FrameCloseState state;
    state.minimised = frame->IsIconized();
    state.maximised = frame->IsMaximized();
    state.window = platform::ui::Rect::FromXYWH(frame->GetPosition().x, frame->GetPosition().y,
                                                frame->GetSize().x, frame->GetSize().y);
    state.restored = normalRect_;
    controls::RegistryBarProfile profile(registry_, foundation::GetProductKey());
    StoreFramePlacement(profile, state);
    CloseToolWindows();
    DestroyWindow();
}

void CMainFrame::ShowError(const std::string& text, const std::string& caption) {
    platform::ui::MessageBox(text, caption, platform::MB_OK | platform::MB_ICONERROR);
}

void CMainFrame::PostClose() {
    Post(platform::ui::WM_CLOSE);
}

void CMainFrame::SetIntegratedIcon() {
    if (IsAlive()) GetFrame()->SetIcon(IconOf(985));
}

}  // namespace app
