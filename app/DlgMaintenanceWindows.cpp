#include "app/DlgMaintenanceWindows.h"

#include <algorithm>
#include <functional>

#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/gauge.h>
#include <wx/settings.h>
#include <wx/treectrl.h>

#include "app/HelpTopics.h"
#include "controls/DlgItemResizer.h"
#include "drive/DriveValueHelpers.h"
#include "drive/Qd.h"
#include "foundation/CompatChecker.h"
#include "platform/Prompt.h"
#include "platform/ui/BusyWindow.h"
#include "platform/ui/CommonDialogs.h"
#include "platform/ui/WxPrompts.h"

namespace app {

using platform::ui::ControlKind;
using platform::ui::ControlSpec;
using platform::ui::DluRect;
using platform::ui::Notify;
namespace style = platform::ui::style;

namespace {

// The deferred component read of the system information dialog.
constexpr unsigned kSysInfoRefreshMessage = 0x402;
// The safe-state dialog's own click of its first button, when it starts at once.
constexpr unsigned kSafePlcStartMessage = 0x403;
constexpr unsigned kSafePlcTimer = 4131;
// The timer looks at the clock this often; the procedure steps once a second by the clock.
constexpr unsigned kSafePlcTickMs = 100;
constexpr const char* kHelpStem = "Tunova";

// ---- permanent memory ----

std::vector<ControlSpec> PermanentMemoryControls() {
    const auto button = [](int id, int y, unsigned extra = 0) {
        return ControlSpec{id, ControlKind::Button, "", extra, DluRect{7, y, 156, 24}};
    };
    return {button(IDC_PM_SAVE_PARAMETERS, 7),
            button(IDC_PM_RESTORE_DEFAULTS, 38),
            button(IDC_PM_CLOSE, 69),
            button(IDC_PM_RELOAD_ALL, 100, style::Hidden),
            button(IDC_PM_RELOAD_LOOPS, 131, style::Hidden),
            button(IDC_PM_DELETE_MOTOR, 162, style::Hidden),
            button(IDC_PM_SAVE_PROGRAM, 193, style::Hidden | style::Disabled)};
}

class CCompatDriveOfQd : public foundation::CCompatDrive {
  public:
    explicit CCompatDriveOfQd(drive::CQd& qd) : qd_(qd) {}
    void PauseBackground() override { qd_.PauseBackgroundReads(); }
    void ResumeBackground() override { qd_.ResumeBackgroundReads(); }
    int ReadCellU32(const std::string& name, uint32_t& value) override { return qd_.ReadCell(name, &value); }

  private:
    drive::CQd& qd_;
};

}  // namespace

CdlgPermanentMemory::CdlgPermanentMemory(drive::CQd& qd, std::unique_ptr<CPermanentMemoryDrive> operations)
    : CdlgPermanentMemory(PermanentMemoryFactsFor(qd),
                          operations ? std::move(operations) : MakePermanentMemoryDrive(qd)) {}

CdlgPermanentMemory::CdlgPermanentMemory(const PermanentMemoryFacts& facts,
                                         std::unique_ptr<CPermanentMemoryDrive> operations)
    : Dialog({"Permanent memory", DluRect{0, 0, 170, 215}, PermanentMemoryControls()}),
      layout_(PermanentMemoryLayoutFor(facts)),
      operations_(std::move(operations)) {
    for (int id : {IDC_PM_SAVE_PARAMETERS, IDC_PM_RESTORE_DEFAULTS, IDC_PM_RELOAD_ALL, IDC_PM_RELOAD_LOOPS,
                   IDC_PM_DELETE_MOTOR, IDC_PM_SAVE_PROGRAM})
        OnCommand(id, Notify::Clicked, [this, id] { Press(id); });
    OnCommand(IDC_PM_CLOSE, Notify::Clicked, [this] { EndDialog(0); });
}

CdlgPermanentMemory::~CdlgPermanentMemory() = default;

std::string CdlgPermanentMemory::HelpTopic() const {
    return std::string(kHelpStem) + ".chm::/ID_SECT_PermanentMemoryWindow.html";
}

bool CdlgPermanentMemory::OnInitDialog() {
    for (int id : {IDC_PM_SAVE_PARAMETERS, IDC_PM_RESTORE_DEFAULTS, IDC_PM_RELOAD_ALL, IDC_PM_RELOAD_LOOPS,
                   IDC_PM_DELETE_MOTOR, IDC_PM_SAVE_PROGRAM, IDC_PM_CLOSE})
        SetItemText(id, PermanentMemoryButtonText(id, layout_));
    wxWindow* close = Item(IDC_PM_CLOSE);
    if (close == nullptr) return true;
    // The shown buttons take the rows from "Close" down; "Close" ends the column.
    const int pitch = close->GetSize().GetHeight() + 7;
    int y = close->GetPosition().y;
    const int x = close->GetPosition().x;
    for (int id : layout_.rows) {
        wxWindow* button = Item(id);
        if (button == nullptr) continue;
        button->Move(x, y);
        ShowItem(id, true);
        y += pitch;
    }
    EnableItem(IDC_PM_SAVE_PROGRAM, layout_.saveProgramEnabled);
    const int bottom = close->GetPosition().y + close->GetSize().GetHeight() + 7;
    wxSize client = Wx()->GetClientSize();
    client.SetHeight(bottom);
    Wx()->SetClientSize(client);
    Wx()->Bind(wxEVT_HELP, [this](wxHelpEvent&) { ShowHelpTopic(HelpTopic()); });
    return true;
}

void CdlgPermanentMemory::Press(int id) {
    int result = 0;
    platform::ui::RunBusy(Wx(), PermanentMemoryButtonText(id, layout_),
                          [&] { result = RunPermanentMemoryButton(id, layout_, *operations_); });
    EndDialog(result);
}

// ---- system information ----

CDlgSysInfo::CDlgSysInfo(foundation::CCompatChecker& checker, std::string systemName,
                         foundation::CCompatDrive* drive)
    : Dialog({"System information",
              DluRect{0, 0, 217, 107},
              {{IDC_SYSINFO_TREE, ControlKind::Tree, "", style::Border, DluRect{4, 4, 208, 80}},
               {IDC_SYSINFO_COPY, ControlKind::Button, "Copy", 0, DluRect{4, 88, 50, 14}},
               {platform::IDOK, ControlKind::DefaultButton, "OK", 0, DluRect{108, 88, 50, 14}},
               {platform::IDCANCEL, ControlKind::Button, "Annulla", 0, DluRect{163, 88, 50, 14}}},
              true}),
      checker_(checker),
      name_(std::move(systemName)),
      drive_(drive) {
    OnCommand(IDC_SYSINFO_COPY, Notify::Clicked, [this] { Copy(); });
    OnMessageId(kSysInfoRefreshMessage, [this](uintptr_t, intptr_t) {
        RefreshFromDrive();
        return intptr_t{1};
    });
}

CDlgSysInfo::~CDlgSysInfo() = default;

bool CDlgSysInfo::OnInitDialog() {
    resizer_ = std::make_unique<controls::CDlgItemResizer>();
    using R = controls::CDlgItemResizer;
    resizer_->Add(Item(platform::IDOK), R::kRight | R::kBottom);
    resizer_->Add(Item(platform::IDCANCEL), R::kRight | R::kBottom);
    resizer_->Add(Item(IDC_SYSINFO_TREE), R::kStretchHorz | R::kStretchVert);
    resizer_->Add(Item(IDC_SYSINFO_COPY), R::kLeft | R::kBottom);
    Wx()->Bind(wxEVT_SIZE, [this](wxSizeEvent& e) {
        if (resizer_) resizer_->Resize(Wx());
        e.Skip();
    });
    auto* tree = ItemAs<wxTreeCtrl>(IDC_SYSINFO_TREE);
    if (tree == nullptr) return true;
    tree->DeleteAllItems();
    const wxTreeItemId root = tree->AddRoot(wxString::FromUTF8(name_));
    if (SysInfoNeedsRefresh(checker_)) {
        tree->AppendItem(root, "Loading...");
        Post(kSysInfoRefreshMessage);
    } else {
        FillTree();
    }
    tree->Expand(root);
    return true;
}

void CDlgSysInfo::OnDestroy() {
    resizer_.reset();
    Dialog::OnDestroy();
}

void CDlgSysInfo::RefreshFromDrive() {
    platform::ui::RunBusy(Wx(), "Reading the system's components", [this] { checker_.Refresh(drive_); });
    FillTree();
}

void CDlgSysInfo::FillTree() {
    content_ = BuildSysInfoContent(checker_, name_);
    auto* tree = ItemAs<wxTreeCtrl>(IDC_SYSINFO_TREE);
    if (tree == nullptr) return;
    const wxTreeItemId root = tree->GetRootItem();
    tree->DeleteChildren(root);
    if (content_.hasSerial) tree->AppendItem(root, wxString::FromUTF8(SysInfoSerialText(content_.serial)));
    auto add = [tree](wxTreeItemId under, const std::vector<SysInfoItem>& items) {
        std::vector<wxTreeItemId> parents{under};
        for (const SysInfoItem& item : items) {
            const size_t depth = std::min(static_cast<size_t>(item.depth), parents.size() - 1);
            parents.resize(depth + 1);
            parents.push_back(tree->AppendItem(parents[depth], wxString::FromUTF8(item.text)));
        }
    };
    add(root, content_.components);
    for (const auto& [title, items] :
         {std::pair{"Incompatibles", &content_.incompatibles}, std::pair{"Missing", &content_.missing}}) {
        if (items->empty()) continue;
        const wxTreeItemId group = tree->AppendItem(root, title);
        add(group, *items);
        tree->Expand(group);
    }
    tree->Expand(root);
}

std::vector<std::string> CDlgSysInfo::TreeLines() const {
    std::vector<std::string> lines;
    auto* tree = ItemAs<wxTreeCtrl>(IDC_SYSINFO_TREE);
    if (tree == nullptr || !tree->GetRootItem().IsOk()) return lines;
    std::function<void(wxTreeItemId, int)> walk = [&](wxTreeItemId item, int depth) {
        lines.push_back(std::string(static_cast<size_t>(depth) * 3, ' ') +
                        tree->GetItemText(item).utf8_string());
        wxTreeItemIdValue cookie;
        for (wxTreeItemId child = tree->GetFirstChild(item, cookie); child.IsOk();
             child = tree->GetNextChild(item, cookie))
            walk(child, depth + 1);
    };
    walk(tree->GetRootItem(), 0);
    return lines;
}

bool CDlgSysInfo::Copy() {
    const std::string text = xmlCopy ? SysInfoXml(content_) : SysInfoText(content_);
    if (!platform::ui::SetClipboardText(text)) {
        platform::Prompts().MessageBox("Cannot open the Clipboard", "",
                                       platform::MB_OK | platform::MB_ICONERROR);
        return false;
    }
    return true;
}

// ---- safe state of the drive's PLC ----

CDlgSysSafePlc::CDlgSysSafePlc(const SafePlcRequest& request, CSafePlcCommands& commands,
                               platform::Clock& clock)
    : Dialog({"Command",
              DluRect{0, 0, 184, 81},
              {{IDC_SAFE_TEXT, ControlKind::Static, "The PLC is about to reach a safe condition.", 0,
                DluRect{7, 7, 145, 16}},
               {IDC_SAFE_HELP, ControlKind::Button, "?", 0, DluRect{155, 5, 22, 16}},
               {IDC_SAFE_REACH, ControlKind::DefaultButton, kReachSafeText, 0, DluRect{7, 26, 170, 14}},
               {platform::IDCANCEL, ControlKind::Button, "Abort the command", 0, DluRect{7, 43, 170, 14}},
               {IDC_SAFE_FORCE, ControlKind::Button, kForceText, 0, DluRect{7, 60, 170, 14}},
               {IDC_SAFE_PROGRESS, ControlKind::Progress, "", style::Hidden, DluRect{7, 81, 170, 10}},
               {IDC_SAFE_ERROR, ControlKind::Static, "", style::Hidden, DluRect{7, 81, 170, 24}}}}),
      request_(request),
      procedure_(request, commands, clock) {
    OnCommand(IDC_SAFE_REACH, Notify::Clicked, [this] { Click(IDC_SAFE_REACH); });
    OnCommand(IDC_SAFE_FORCE, Notify::Clicked, [this] { Click(IDC_SAFE_FORCE); });
    OnCommand(IDC_SAFE_HELP, Notify::Clicked, [this] { ShowHelpTopic(HelpTopic()); });
    OnMessageId(kSafePlcStartMessage, [this](uintptr_t, intptr_t) {
        Click(IDC_SAFE_REACH);
        return intptr_t{1};
    });
}

CDlgSysSafePlc::~CDlgSysSafePlc() = default;

std::string CDlgSysSafePlc::HelpTopic() const {
    return iecHelpFile + "::/PROG_Safe_procedure.html";
}

bool CDlgSysSafePlc::OnInitDialog() {
    Wx()->SetLabel(wxString::FromUTF8(request_.caption));
    Show();
    if (procedure_.StartsAtOnce()) Post(kSafePlcStartMessage);
    return true;
}

void CDlgSysSafePlc::Show() {
    const CSafePlcProcedure::Buttons labels = procedure_.Labels();
    SetItemText(IDC_SAFE_REACH, labels.reachText);
    SetItemText(IDC_SAFE_FORCE, labels.forceText);
    const bool running = procedure_.ProgressShown();
    // The button that started the procedure gives its place to the progress bar.
    const int startedBy = labels.reachText == kReachSafeText ? IDC_SAFE_REACH : IDC_SAFE_FORCE;
    ShowItem(IDC_SAFE_REACH, labels.reachShown && !(running && startedBy == IDC_SAFE_REACH));
    ShowItem(IDC_SAFE_FORCE, labels.forceShown && !(running && startedBy == IDC_SAFE_FORCE));
    SetItemText(IDC_SAFE_TEXT, procedure_.StaticText());
    if (auto* gauge = ItemAs<wxGauge>(IDC_SAFE_PROGRESS)) {
        if (running) {
            if (wxWindow* place = Item(startedBy)) {
                gauge->SetSize(place->GetRect());
            }
            gauge->SetRange(kSafePlcProgressRange);
            gauge->SetValue(procedure_.Progress());
        }
        gauge->Show(running);
    }
    if (procedure_.GetState() == CSafePlcProcedure::State::Failed) {
        SetItemText(IDC_SAFE_ERROR, procedure_.ErrorText());
        if (!errorShown_) {
            errorShown_ = true;
            wxWindow* error = Item(IDC_SAFE_ERROR);
            wxSize client = Wx()->GetClientSize();
            if (error) client.SetHeight(error->GetRect().GetBottom() + 7);
            Wx()->SetClientSize(client);
        }
        ShowItem(IDC_SAFE_ERROR, true);
    }
}

void CDlgSysSafePlc::Click(int id) {
    procedure_.Click(id);
    if (procedure_.GetState() == CSafePlcProcedure::State::Ended) {
        KillTimer(kSafePlcTimer);
        EndDialog(procedure_.Result());
        return;
    }
    if (procedure_.TimerRunning()) SetTimer(kSafePlcTimer, kSafePlcTickMs);
    Show();
}

void CDlgSysSafePlc::OnTimer(unsigned id) {
    if (id != kSafePlcTimer) return;
    procedure_.Poll();
    if (!procedure_.TimerRunning()) KillTimer(kSafePlcTimer);
    if (procedure_.GetState() == CSafePlcProcedure::State::Ended) {
        EndDialog(procedure_.Result());
        return;
    }
    Show();
}

void CDlgSysSafePlc::OnOK() {
    Click(IDC_SAFE_REACH);
}

void CDlgSysSafePlc::OnCancel() {
    KillTimer(kSafePlcTimer);
    procedure_.Abort();
    EndDialog(procedure_.Result());
}

// ---- entry points ----

void RegisterMaintenanceDialogs(platform::ui::WxPromptService& prompts, drive::CQd& qd) {
    prompts.RegisterCustom(drive::CSystemManager::kSafePlcPrompt,
                           [&qd](const std::vector<std::string>& args, int*) {
                               const std::unique_ptr<CSafePlcCommands> commands = MakeSafePlcCommands(qd);
                               CDlgSysSafePlc dialog(SafePlcRequestFromArgs(args), *commands);
                               return dialog.DoModal(wxTheApp ? wxTheApp->GetTopWindow() : nullptr);
                           });
}

int RunPermanentMemoryDialog(drive::CQd& qd, wxWindow* parent) {
    CdlgPermanentMemory dialog(qd);
    return dialog.DoModal(parent);
}

void RunSystemInfoDialog(drive::CQd& qd, wxWindow* parent) {
    CCompatDriveOfQd link(qd);
    CDlgSysInfo dialog(qd.Checker(), qd.SystemInfoTitle(), &link);
    dialog.DoModal(parent);
}

}  // namespace app
