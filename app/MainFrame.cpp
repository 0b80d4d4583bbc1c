#include "app/MainFrame.h"

#include <algorithm>
#include <array>
#include <memory>
#include <set>

#include <wx/accel.h>
#include <wx/frame.h>
#include <wx/gauge.h>
#include <wx/icon.h>
#include <wx/panel.h>
#include <wx/settings.h>
#include <wx/toolbar.h>
#include <wx/utils.h>

#include "app/AboutDlg.h"
#include "app/CommStatusDlg.h"
#include "app/DlgConnectRetry.h"
#include "app/DlgMaintenanceWindows.h"
#include "app/HelpTopics.h"
#include "app/MainDlg.h"
#include "app/MessageDialogs.h"
#include "app/ProgramSettingsStore.h"
#include "app/Startup.h"
#include "controls/SizingControlBarDock.h"
#include "drive/Qd.h"
#include "engine/BridgeChannelDriver.h"
#include "engine/Main.h"
#include "foundation/MessageIds.h"
#include "foundation/ProgramFolders.h"
#include "foundation/ProgramSwitches.h"
#include "foundation/XmlDocument.h"
#include "platform/Prompt.h"
#include "platform/Registry.h"
#include "platform/ui/BusyWindow.h"
#include "platform/ui/CommonDialogs.h"
#include "platform/ui/Images.h"
#include "platform/ui/WxPrompts.h"

namespace app {
namespace {

using controls::CSizingControlBar;

CMainFrame* g_frame = nullptr;

constexpr unsigned kLockTimer = 1;
constexpr unsigned kLockPeriodMs = 250;
// WM_COMMAND of the drive setup sheet's help button.
constexpr int kDriveSetupHelpButton = 1673;

bool ReadLockKey(LockKey key) {
    switch (key) {
        case LockKey::Caps:
            return wxGetKeyState(WXK_CAPITAL);
        case LockKey::Num:
            return wxGetKeyState(WXK_NUMLOCK);
        case LockKey::Scroll:
            return wxGetKeyState(WXK_SCROLL);
    }
    return false;
}

wxIcon IconOf(int id) {
    wxIcon icon;
    const wxBitmap picture = platform::ui::LoadImageResource(id);
    if (picture.IsOk()) icon.CopyFromBitmap(picture);
    return icon;
}

}  // namespace

drive::ParamFileSaveChooser ParamFileChooserFor(wxWindow* parent) {
    return [parent](const drive::ParamFileSaveSpec& spec, int* filterIndex) {
        platform::ui::FileDialogSpec dialog;
        dialog.title = spec.title;
        dialog.filter = spec.filter;
        dialog.defaultExtension = spec.defaultExtension;
        dialog.initial =
            spec.folder.empty() ? std::filesystem::path(spec.defaultName) : spec.folder / spec.defaultName;
        dialog.confirmOverwrite = true;
        std::optional<std::filesystem::path> file = platform::ui::ChooseFileToSave(parent, dialog);
        // The dialog tells the chosen type by the name it gives: a plain parameters file ends in ".txt".
        if (filterIndex != nullptr) *filterIndex = file && file->extension() == ".txt" ? 1 : 0;
        return file;
    };
}

std::string GoOnlineExportErrorText(int code, const std::string& driveTitle, const std::string& tempFile) {
    const char* why = "no further details";
    switch (code) {
        case 4097:
            why = "Load file error";
            break;
        case 4098:
            why = "Unknown file type";
            break;
        case 4099:
            why = "Not found motor";
            break;
        case 4100:
            why = "Missing motor";
            break;
        case 4112:
            why = "Upload error";
            break;
        case 4113:
            why = "motor GUID conversion failed";
            break;
        case 4117:
            why = "Operation has been canceled by user or some error(s) occurs";
            break;
        default:
            break;
    }
    char number[32];
    std::snprintf(number, sizeof number, "0x%X", static_cast<unsigned>(code));
    return "Some error(s) occurs. Configuration parameters may be not valid for " + driveTitle +
           ".\n\nerror n." + number + ": " + why + "\nDriveSave return = " + std::to_string(code) +
           "; temp file name = " + tempFile;
}

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
    if (frame_ != nullptr) frame_->UpdateMenuState();
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

namespace {

// ---- parameter file import ----
// The windows of a parameter file import: the wait window with its text and bar, the
// incomplete-file question, and the busy window that keeps them painted while the drive works.
class ParamImportWindows : public drive::CParamImportWindows {
  public:
    explicit ParamImportWindows(wxWindow* parent) : parent_(parent) {}
    ~ParamImportWindows() override { ProgressClose(); }

    void ProgressOpen(const std::string& caption, const std::string& text) override {
        ProgressClose();
        progress_ = std::make_unique<CDlgOp>(caption);
        progress_->label = text;
        if (!progress_->Create(parent_)) {
            progress_.reset();
            return;
        }
        // The import cannot be stopped halfway: a half-written drive is worse than a finished one.
        progress_->EnableItem(platform::IDCANCEL, false);
        text_ = text;
    }
    void ProgressText(const std::string& text) override {
        text_ = text;
        if (!Shown()) return;
        progress_->label = text;
        progress_->SetItemText(IDC_OP_LABEL, text);
        progress_->Wx()->Update();
    }
    void ProgressRange(int count) override {
        if (Shown())
            if (auto* bar = progress_->ItemAs<wxGauge>(IDC_OP_PROGRESS)) bar->SetRange(std::max(count, 1));
    }
    void ProgressPos(int position) override {
        if (!Shown()) return;
        if (auto* bar = progress_->ItemAs<wxGauge>(IDC_OP_PROGRESS))
            bar->SetValue(std::clamp(position, 0, bar->GetRange()));
        progress_->Wx()->Update();
    }
    void ProgressClose() override {
        if (progress_ && progress_->IsAlive()) progress_->DestroyWindow();
        progress_.reset();
    }
    int AskMissing(const std::string& text, const std::string& caption,
                   const std::vector<std::string>& missing) override {
        std::string all = text;
        for (const std::string& line : missing) all += "\r\n" + line;
        CdlgMessageBox box(2);
        box.SetMessage(all, caption, false);
        return box.DoModal(Shown() ? progress_->Wx() : parent_);
    }
    void RunLong(const std::function<void()>& work) override {
        platform::ui::RunBusy(Shown() ? progress_->Wx() : parent_, text_.empty() ? "Please wait..." : text_,
                              work);
    }

  private:
    bool Shown() const { return progress_ && progress_->IsAlive(); }

    wxWindow* parent_;
    std::unique_ptr<CDlgOp> progress_;
    std::string text_;
};

}  // namespace

// What the main dialog's commands need of the frame: its message bar, the command line's
// configuration and the program's name.
class CMainFrame::MainDlgSite : public CMainDlgCommandSite {
  public:
    explicit MainDlgSite(CMainFrame& frame) : frame_(frame), settings_(Hooks(frame)) {}
    ~MainDlgSite() override {
        if (frame_.qd_ && frame_.qd_->ParamImportWindows() == importWindows_.get())
            frame_.qd_->SetParamImportWindows(nullptr);
    }
    std::string ProgramName() const override { return foundation::kProgramName; }
    // ---- parameter file import ----
    drive::CParamFileImportDrive* ParameterImportDrive() override {
        if (!frame_.qd_) return nullptr;
        if (!importWindows_) importWindows_ = std::make_unique<ParamImportWindows>(frame_.GetFrame());
        frame_.qd_->SetParamImportWindows(importWindows_.get());
        return &frame_.qd_->ParamImportDrive();
    }
    std::filesystem::path CommandLineConfiguration() const override { return Program().loadConfig; }
    void StoreMessageBarPlacement() override { frame_.StoreMsgBarPlacement(); }
    void ConfigurationLoaded() override { frame_.ResetOutputBar(); }
    bool StartFirmwareUpdateCheck(int code) override { return frame_.StartFirmwareUpdateCheck(code); }

    // Configuration files: the working choices the program keeps, with the shown variables.
    bool LoadProgramSettings(const std::filesystem::path& file) override {
        std::array<std::string, 4> shown;
        if (!settings_.Load(file, shown)) return false;
        if (frame_.qd_)
            for (size_t i = 0; i < 4; ++i) frame_.qd_->Description().shownVariables[i] = shown[i];
        return true;
    }
    bool SaveProgramSettings(const std::filesystem::path& file, std::string* error) override {
        std::array<std::string, 4> shown;
        if (frame_.qd_)
            for (size_t i = 0; i < 4; ++i) shown[i] = frame_.qd_->Description().shownVariables[i];
        return settings_.Save(file, shown, error);
    }

  private:
    static ProgramSettingsHooks Hooks(CMainFrame& frame) {
        ProgramSettingsHooks hooks;
        hooks.saveUnits = [&frame](foundation::CXmlNode& ua) {
            if (frame.qd_) frame.qd_->Units().SaveSettings(ua);
        };
        hooks.loadUnits = [&frame](const foundation::CXmlNode& ua) {
            if (frame.qd_) frame.qd_->Units().LoadSettings(ua, frame.qd_->State().className);
        };
        hooks.isVariable = [&frame](const std::string& name) {
            return frame.qd_ && frame.qd_->Description().variableIndex.count(name) != 0;
        };
        const platform::ui::Rect& r = frame.virtualScreen_;
        hooks.left = r.left;
        hooks.top = r.top;
        hooks.width = r.Width();
        hooks.height = r.Height();
        return hooks;
    }

    CMainFrame& frame_;
    CProgramSettingsStore settings_;
    std::unique_ptr<ParamImportWindows> importWindows_;
};

CMainFrame::CMainFrame(platform::Registry& registry, platform::ui::Rect virtualScreen)
    : registry_(registry), virtualScreen_(virtualScreen), lockKeys_(ReadLockKey) {
    g_frame = this;
}

CMainFrame::~CMainFrame() {
    if (IsAlive()) DestroyWindow();
    // The windows that use the drive object go first; then the peer link and the drive object's
    // threads end before the frame they report to.
    CloseCommStatus();
    mainDlg_.reset();
    mainDlgSite_.reset();
    if (qd_) qd_->ConnectionWindow().SetConnectDialog(nullptr);
    connectDialog_.reset();
    if (transport::CBridgeCodesys::DefaultShell() == &bridgeShell_)
        transport::CBridgeCodesys::SetDefaultShell(nullptr);
    engine::SetTcaDeviceShell(nullptr);
    drive_.reset();
    if (qd_) qd_->SetHost(nullptr);
    qd_.reset();
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

    // The drive object reports to the frame's message handle, which exists from here on.
    qd_ = std::make_unique<drive::CQd>(Handle());
    qd_->SetHost(this);
    qd_->SetProgramVersion(Program().fileVersion, Program().build);
    qd_->SetParameterFileChooser(ParamFileChooserFor(frame));
    drive_ = std::make_unique<QdDriveConnection>(*qd_);
    drive_->TakePeerFile(Program().qzPath);

    view_ = new CChildView(frame);
    dock_ = std::make_unique<controls::SizingBarDockSite>(frame);
    dock_->SetView(view_);
    BuildStatusBar();

    msgBar_ = new CMsgBar();
    if (!msgBar_->Create(frame)) {
        msgBar_ = nullptr;
        return false;
    }
    msgBar_->sizeHorz = {0, barLayout_.height};
    msgBar_->sizeVert = {barLayout_.width, msgBar_->sizeVert.cy};
    dock_->AddBar(msgBar_);
    dock_->DockControlBar(msgBar_, CSizingControlBar::kDockBottom);
    dock_->ShowControlBar(msgBar_, false, false);

    // Every command any device menu or toolbar can hold.
    std::set<int> ids{ID_APP_EXIT, ID_HELP};
    for (DeviceFamily family :
         {DeviceFamily::Drive, DeviceFamily::Xul, DeviceFamily::Supply, DeviceFamily::Kwz}) {
        for (bool programmable : {false, true}) {
            for (int id : CommandIdsOf(DeviceMenu(family, programmable))) ids.insert(id);
            for (const auto& tool : DeviceToolbar(family, programmable))
                if (tool.id != 0) ids.insert(tool.id);
        }
    }
    for (int id : ids) BindCommand(id);
    wxAcceleratorEntry help(wxACCEL_NORMAL, WXK_F1, WxIdOf(ID_HELP));
    frame->SetAcceleratorTable(wxAcceleratorTable(1, &help));

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
    // The peer tool's save request (posted here while no main dialog takes it): the drive's
    // parameters go into the peer's own parameters file.
    OnMessageId(foundation::kMainDlgSaveParamFileForHostMessage, [this](uintptr_t, intptr_t) -> intptr_t {
        if (qd_) qd_->SaveParamFileForHost(qd_->PeerLink().m_paramFile);
        return 0;
    });
    OnMessageId(foundation::kFrameConnectSequenceMessage, [this](uintptr_t, intptr_t) -> intptr_t {
        OnConnectSequence();
        return 0;
    });

    // The connect sequence connects with the go-online string instead of asking.
    if (!Program().goOnline.empty()) {
        qd_->ConnectionWindow().SetConnectionString(Program().goOnline);
        Program().goOnline.clear();
    }

    if (placement_.showCmd == kShowMaximized) frame->Maximize();
    frame->Show();
    if (placement_.showCmd == kShowMinimized) frame->Iconize();
    normalRect_ = platform::ui::Rect::FromXYWH(frame->GetPosition().x, frame->GetPosition().y,
                                               frame->GetSize().x, frame->GetSize().y);
    dock_->RecalcLayout();
    UpdateLockIndicators();
    SetTimer(kLockTimer, kLockPeriodMs);
    Post(foundation::kFrameConnectSequenceMessage);
    return true;
}

void CMainFrame::BindCommand(int id) {
    if (id == ID_HELP)
        Frame::OnCommand(id, [this] { OnHelpKey(); });
    else
        Frame::OnCommand(id, [this, id] { OnMenuCommand(id); });
}

void CMainFrame::BuildStatusBar() {
    // Message, [debug log], two blanks, line and column, caps, num and scroll lock.
    std::vector<int> widths{-1};
    if (foundation::g_LogDebug) widths.push_back(60);
    widths.insert(widths.end(), {80, 80, 96, 40, 40, 40});
    lineColumnPane_ = static_cast<int>(widths.size()) - 4;
    lockPane_ = static_cast<int>(widths.size()) - 3;
    SetStatusPanes(widths);
    if (foundation::g_LogDebug) Frame::SetStatusText(1, "Log active");
}

void CMainFrame::SetCaretPosition(int line, int column) {
    caretLine_ = line;
    caretColumn_ = column;
    Frame::SetStatusText(lineColumnPane_, LineColumnText());
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

void CMainFrame::OnTimer(unsigned id) {
    if (id == kLockTimer) UpdateLockIndicators();
}

void CMainFrame::SetLockKeyReader(std::function<bool(LockKey)> reader) {
    lockKeys_ = std::move(reader);
    UpdateLockIndicators();
}

void CMainFrame::UpdateLockIndicators() {
    if (lockPane_ < 0 || !IsAlive() || !lockKeys_) return;
    int pane = lockPane_;
    for (LockKey key : {LockKey::Caps, LockKey::Num, LockKey::Scroll}) {
        const std::string text = LockIndicatorText(key, lockKeys_(key));
        if (GetStatusText(pane) != text) Frame::SetStatusText(pane, text);
        ++pane;
    }
}

engine::CMain* CMainFrame::ConnectionEngine() const {
    // The engine serves the gesture only while a drive is connected through it.
    if (!qd_ || !qd_->IsConnected()) return nullptr;
    return qd_->ConnectionWindow().Engine();
}

void CMainFrame::OnConnectSequence() {
    if (drive_) RunConnectSequence(*drive_, *this, Program().rawCommandLine);
}

void CMainFrame::LoadDeviceMenu() {
    // The device's family and features as the drive object identified them (a drive without
    // a connection gets the drive menus).
    const drive::CQd::CDriveState& state = qd_->State();
    family_ = DeviceFamilyOf(qd_->FamilyCode(), state.className == "supply" || qd_->MenuInputs().supplyUnit,
                             state.className == "kwz");
    programmable_ = qd_->IsProgrammable();
    const std::vector<platform::ui::MenuSpec> menus = DeviceMenu(family_, programmable_);
    SetMenus(menus);
    deviceCommands_.clear();
    checkableCommands_.clear();
    for (int id : CommandIdsOf(menus)) deviceCommands_.insert(id);
    for (const auto& tool : DeviceToolbar(family_, programmable_))
        if (tool.id != 0) deviceCommands_.insert(tool.id);
    const std::function<void(const std::vector<platform::ui::MenuSpec>&)> checkable =
        [&](const std::vector<platform::ui::MenuSpec>& items) {
            for (const auto& item : items) {
                if (item.checkable) checkableCommands_.insert(item.id);
                checkable(item.children);
            }
        };
    checkable(menus);
    LoadDeviceToolbar();
    ResetPages();
    CheckCommand(ID_VIEW_OUTPUT, outputBarVisible);
    UpdateMenuState();
}

void CMainFrame::UseProgramWindows() {
    wxFrame* frame = GetFrame();
    connectDialog_ = std::make_unique<CConnectDriveDialog>(frame, qd_.get());
    qd_->ConnectionWindow().SetConnectDialog(connectDialog_.get());
    transport::CBridgeCodesys::SetDefaultShell(&bridgeShell_);
    engine::SetTcaDeviceShell(&tcaShell_);
    qd_->Hooks().reconnectPrompt = [frame](bool channelUp) { return AskReconnect(frame, channelUp); };
    qd_->Hooks().showSystemInfo = [this, frame](platform::WindowHandle) { RunSystemInfoDialog(*qd_, frame); };
    qd_->Hooks().showMotorHelp = [frame](const std::string& caption) {
        CQzJovHelpDlg help(caption);
        help.DoModal(frame);
    };
    // The main dialog is made again after every connection: the old one went with the pages.
    mainDlgSite_ = std::make_unique<MainDlgSite>(*this);
    mainPageFactory_ = [this](wxWindow* parent) -> wxWindow* {
        mainDlg_ = std::make_unique<CPelmoraDlg>(parent, *qd_);
        mainDlg_->SetCommandSite(mainDlgSite_.get());
        return mainDlg_->Wx();
    };
}

void CMainFrame::StopPageRefresh() {
    if (mainDlg_ && mainDlg_->IsAlive()) mainDlg_->Stop();
}

void CMainFrame::StartPageStatusRefresh(int /*busType*/) {
    // Only the main dialog refreshes from the drive so far; the bus pages come with their windows.
    if (!mainDlg_ || !mainDlg_->IsAlive() || ShownPage() != drive::CFramePage::MainDialog) return;
    if (!mainDlgShownOnce_) {
        // The first show of the program's run: the screen questions, the command line's
        // configuration, the default size.
        mainDlgShownOnce_ = true;
        if (!mainDlg_->CheckScreenOnce(registry_, foundation::GetProductKey())) {
            PostClose();
            return;
        }
        if (!Program().loadConfig.empty()) mainDlg_->Post(foundation::kMainDlgLoadConfigurationMessage, 1);
        ApplyDefaultSize(family_ == DeviceFamily::Xul);
    }
    mainDlg_->Start();
}

void CMainFrame::RefreshMainDialog() {
    if (mainDlg_ && mainDlg_->IsAlive()) mainDlg_->Refresh();
}

void CMainFrame::SetMainPageFactory(std::function<wxWindow*(wxWindow* parent)> factory) {
    mainPageFactory_ = std::move(factory);
}

wxWindow* CMainFrame::MainPage() const {
    return mainPage_ != nullptr ? mainPage_ : mainView_.Wx();
}

void CMainFrame::ResetPages() {
    CreateMainView();
    std::vector<std::pair<std::string, wxWindow*>> pages{{"Main", MainPage()}};
    if (view_ != nullptr) view_->CreateTabs(this, pages);
}

void CMainFrame::UpdateMenuState() {
    if (!IsAlive()) return;
    for (int id : deviceCommands_) {
        const auto it = commandStates_.find(static_cast<uint32_t>(id));
        const uint32_t bits = it == commandStates_.end() ? 0 : it->second;
        EnableCommand(id, (bits & kCommandDisabled) == 0);
        // The output item's check mark is the frame's own.
        if (it != commandStates_.end() && id != ID_VIEW_OUTPUT && checkableCommands_.count(id) != 0)
            CheckCommand(id, (bits & kCommandChecked) != 0);
    }
}

bool CMainFrame::OpenOscilloscope(bool show, int page, bool tuningPages) {
    // The oscilloscope and tuning sheet is a window of its own that the program does not have
    // yet: nothing opens, and the pages stay usable.
    (void)show;
    (void)page;
    (void)tuningPages;
    UpdateMenuState();
    return false;
}

void CMainFrame::SetFrameTitle(const std::string& title) {
    if (IsAlive()) GetFrame()->SetTitle(wxString::FromUTF8(title));
}

std::string CMainFrame::FrameTitle() const {
    return IsAlive() ? GetFrame()->GetTitle().ToStdString(wxConvUTF8) : std::string();
}

void CMainFrame::SetStatusText(int pane, const std::string& text) {
    if (IsAlive()) Frame::SetStatusText(pane, text);
}

drive::CFramePage CMainFrame::ShownPage() const {
    if (view_ == nullptr || view_->Tabs() == nullptr) return drive::CFramePage::None;
    const CMyTabCtrl* tabs = view_->Tabs();
    if (tabs->GetCurSel() >= 0 && tabs->GetCurSel() == tabs->MainTab() && MainPage() != nullptr)
        return drive::CFramePage::MainDialog;
    return drive::CFramePage::None;
}

platform::WindowHandle CMainFrame::PageWindow(drive::CFramePage page) const {
    if (page != drive::CFramePage::MainDialog) return 0;
    if (mainPage_ != nullptr) {
        const platform::ui::Window* window = platform::ui::FromWx(mainPage_);
        return window != nullptr ? window->Handle() : 0;
    }
    return mainView_.Handle();
}

void CMainFrame::LoadDeviceToolbar() {
    SetToolBar(DeviceToolbar(family_, programmable_));
    if (dock_) dock_->RecalcLayout();
}

void CMainFrame::CreateMainView() {
    if (mainPage_ != nullptr || mainView_.IsAlive() || view_ == nullptr) return;
    if (mainPageFactory_) {
        // Made beside the tab strip; the strip takes it as its page.
        wxWindow* page =
            mainPageFactory_(view_->Tabs() != nullptr ? static_cast<wxWindow*>(view_->Tabs()) : view_);
        if (page != nullptr) {
            if (platform::ui::FromWx(page) != nullptr) {
                mainPage_ = page;
                page->Bind(wxEVT_DESTROY, [this, page](wxWindowDestroyEvent& event) {
                    event.Skip();
                    if (event.GetEventObject() == page && mainPage_ == page) mainPage_ = nullptr;
                });
            } else {
                mainView_.Attach(page);
            }
            return;
        }
    }
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
    const wxSize size = msgBar_->GetSize();
    if (msgBar_->IsFloating()) {
        barLayout_.side = CSizingControlBar::kFloating;
        const wxPoint at = msgBar_->GetScreenPosition();
        barLayout_.left = at.x;
        barLayout_.top = at.y;
        barLayout_.width = size.x;
        barLayout_.height = size.y;
        return;
    }
    barLayout_.side = msgBar_->DockBarId();
    if (barLayout_.side == CSizingControlBar::kDockLeft || barLayout_.side == CSizingControlBar::kDockRight)
        barLayout_.width = size.x;
    else
        barLayout_.height = size.y;
}

void CMainFrame::ResetOutputBar() {
    if (msgBar_ == nullptr || !dock_) return;
    dock_->ShowControlBar(msgBar_, false, false);
    msgBar_->sizeHorz = {msgBar_->sizeHorz.cx, barLayout_.height};
    msgBar_->sizeVert = {barLayout_.width, msgBar_->sizeVert.cy};
    msgBar_->sizeFloat = {barLayout_.width, barLayout_.height};
    if (barLayout_.side == CSizingControlBar::kFloating)
        dock_->FloatControlBar(msgBar_, {barLayout_.left, barLayout_.top});
    else
        dock_->DockControlBar(msgBar_, barLayout_.side);
    ShowOutputBar(true);
}

void CMainFrame::ShowCommStatus() {
    // Only a drive reached through the fieldbus bridge has one.
    engine::CMain* engine = qd_ ? qd_->ConnectionWindow().Engine() : nullptr;
    engine::CChannel* channel = engine ? engine->Channel(engine->CurrentChannel()) : nullptr;
    auto* bridge = channel ? dynamic_cast<engine::CBridgeChannelDriver*>(channel->driver.get()) : nullptr;
    if (bridge == nullptr) return;
    if (!commStatus_ || !commStatus_->IsAlive()) {
        commStatus_ = std::make_unique<CCommStatusDlg>(bridge->Manager());
        if (!commStatus_->Create(GetFrame())) {
            commStatus_.reset();
            return;
        }
    }
    commStatus_->Wx()->Show();
    commStatus_->Wx()->Raise();
}

void CMainFrame::CloseCommStatus() {
    // It reads the bridge manager, which goes with the engine.
    if (commStatus_ && commStatus_->IsAlive()) commStatus_->DestroyWindow();
    commStatus_.reset();
}

void CMainFrame::CloseToolWindows() {
    CloseCommStatus();
    StoreMsgBarPlacement();
    // The tool windows (setup sheets, oscilloscope, errors and history windows, program editor)
    // are destroyed here once they exist; the main dialog's window goes too.
    if (view_ != nullptr && view_->Tabs() != nullptr) view_->Tabs()->Clear();
    if (mainPage_ != nullptr) {
        wxWindow* page = mainPage_;
        mainPage_ = nullptr;
        page->Destroy();
    }
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

void CMainFrame::OnHelpKey() {
    // The drive setup sheet's help button when the sheet is shown (the program has no sheet
    // yet), else the context help, after this key's handling as a posted command would.
    if (IsDriveSetupVisible()) return;
    GetFrame()->CallAfter([this] { OnMenuCommand(ID_CONTEXT_HELP); });
}

void CMainFrame::OnMenuCommand(int id) {
    if (IsCommandDisabled(&commandStates_, id)) return;
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
    const foundation::CXmlNode* data = qd_ ? qd_->DriveData() : nullptr;
    return data != nullptr && data->FindNode("Archive") != nullptr;
}

int CMainFrame::Ask(const std::string& text, const std::string& caption, unsigned flags) {
    return platform::ui::MessageBox(text, caption, flags);
}

void CMainFrame::PostToMainDialog(unsigned message, uintptr_t wParam) {
    if (const platform::WindowHandle page = PageWindow(drive::CFramePage::MainDialog))
        platform::PostMessage(page, message, wParam, 0);
}

bool CMainFrame::StartFirmwareUpdateCheck(int code) {
    // The main dialog shows the answer (its 0x470).
    const platform::WindowHandle page = PageWindow(drive::CFramePage::MainDialog);
    if (!qd_ || page == 0) return false;
    qd_->StartCheckFirmwareUpdateThread(code, page);
    return true;
}

void CMainFrame::RunFrameAction(FrameAction action, int id) {
    const std::string program = foundation::kProgramName;
    // ---- maintenance dialogs ----
    if (action == FrameAction::SystemInformation) {
        if (qd_) qd_->ShowSystemInfo(Handle());
        return;
    }
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
            SetDefaultLayout();
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
        case FrameAction::Oscilloscope:
            OpenOscilloscope(true, 0, false);
            break;
        case FrameAction::Tuning:
            OpenOscilloscope(true, 4, true);
            break;
        case FrameAction::ShowErrors:
            if (mainDlg_ && mainDlg_->IsAlive()) mainDlg_->ShowErrorsWindow();
            break;
        case FrameAction::CheckFirmwareUpdates:
            StartFirmwareUpdateCheck(771);
            break;
        case FrameAction::EditorCommand:
        case FrameAction::DriveSetup:
        case FrameAction::SupplySetup:
        case FrameAction::XulSetup:
        case FrameAction::CommStatus:
            ShowCommStatus();
            break;
        case FrameAction::ResetOscPosition:
        case FrameAction::SystemInformation:
        case FrameAction::Post:
            // These open tool windows the program does not have yet, or call drive object
            // operations it does not offer yet: nothing happens.
            (void)id;
            break;
    }
}

std::string CMainFrame::DriveTitle() const {
    if (qd_ && !qd_->State().description.empty()) return qd_->State().description;
    return foundation::kProgramName;
}

void CMainFrame::CloseDriveConnection(bool shutDown) {
    CloseCommStatus();
    if (!qd_) return;
    drive::CQd* qd = qd_.get();
    if (qd->IsConnected() && IsAlive())
        platform::ui::RunBusy(GetFrame(), "Closing the connection...",
                              [qd, shutDown] { qd->CloseConnection(shutDown); });
    else
        qd->CloseConnection(shutDown);
}

void CMainFrame::RestartConnection(bool flag) {
    if (qd_) qd_->RestartConnection(flag);
}

void CMainFrame::NewConnection() {
    if (drive_ && drive_->IsIntegrated()) {
        if (qd_ && qd_->IsOffline()) {
            const int answer = Ask("Would you like to return offline into " + DriveTitle() + " ?",
                                   "New connection", platform::MB_YESNOCANCEL);
            if (answer == platform::IDCANCEL) return;
            RestartConnection(answer != platform::IDYES);
            return;
        }
        // Online for the peer tool: back offline, starting from the drive's parameters.
        if (qd_) {
            std::string temp;
            const int rc = qd_->ExportTemporaryParamFile(&temp);
            if (rc != drive::kParamFileDone && rc != drive::kParamFileReadErrors) {
                Ask(GoOnlineExportErrorText(rc, DriveTitle(), temp), "Go Online",
                    platform::MB_OK | platform::MB_ICONERROR);
                if (Ask("Parameters will be set to the default values once returned offline. Confirm?",
                        foundation::kProgramName, platform::MB_YESNO) != platform::IDYES)
                    return;
            }
        }
        RestartConnection(true);
        return;
    }
    // A lost connection that could be resumed is offered by the reconnect prompt once the drive
    // object reports one; without it a new connection is asked for.
    if (Ask("Would you like to make a new connection?\r\nThe actual configuration will be lost.",
            "New connection", platform::MB_OKCANCEL) != platform::IDOK)
        return;
    CloseDriveConnection(false);
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
    if (drive_ && drive_->IsIntegrated()) {
        // The parameters file and the configuration go back to the peer tool as the user decides.
        drive::CQd* qd = qd_.get();
        drive_->CloseIntegrated(
            [this] {
                return Ask("Do you want to save the modified configuration?", "Pelmora: " + DriveTitle(),
                           platform::MB_YESNO | platform::MB_ICONQUESTION) == platform::IDYES;
            },
            [qd] { qd->DeleteTemporaryParamFile(); },
            [qd](const std::string& file) { qd->SaveParamFileForHost(file); });
    }
    CloseDriveConnection(true);
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
