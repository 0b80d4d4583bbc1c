#include "app/DlgDriveErrors.h"

#include <wx/bitmap.h>
#include <wx/dcmemory.h>
#include <wx/imaglist.h>
#include <wx/textctrl.h>
#include <wx/treectrl.h>

#include "app/HelpTopics.h"
#include "app/MainDlgStatus.h"
#include "drive/Qd.h"

namespace app {
namespace {

using platform::ui::ControlKind;
using platform::ui::DluRect;
using platform::ui::Notify;
namespace st = platform::ui::style;

// Our own pictures of the levels: internal, warning, fault and three further levels, then "No
// error".
wxImageList* LevelImages() {
    auto* list = new wxImageList(16, 16, true, kErrorImageCount);
    const wxColour colours[kErrorImageCount] = {
        wxColour(0, 90, 200),  wxColour(240, 150, 0),   wxColour(210, 0, 0), wxColour(150, 0, 0),
        wxColour(140, 0, 160), wxColour(120, 120, 120), wxColour(0, 170, 0)};
    for (const wxColour& colour : colours) {
        wxBitmap bitmap(16, 16);
        wxMemoryDC dc(bitmap);
        dc.SetBackground(*wxWHITE_BRUSH);
        dc.Clear();
        dc.SetBrush(wxBrush(colour));
        dc.SetPen(*wxTRANSPARENT_PEN);
        dc.DrawCircle(8, 8, 6);
        dc.SelectObject(wxNullBitmap);
        list->Add(bitmap, *wxWHITE);
    }
    return list;
}

wxTreeItemId ItemOf(intptr_t handle) {
    return wxTreeItemId(reinterpret_cast<void*>(handle));
}

intptr_t HandleOf(const wxTreeItemId& item) {
    return reinterpret_cast<intptr_t>(item.GetID());
}

// The drive object's engine group, one write per execution.
class QdResetAccess : public CErrorResetAccess {
  public:
    explicit QdResetAccess(drive::CQd& qd) : qd_(qd) {}
    int ReadCell(const std::string& name, uint32_t* value) override { return qd_.ReadCell(name, value); }
    int ExecuteWrite(const std::string& name, uint32_t value, int32_t* result) override {
        uint32_t word = value;
        qd_.ClearEngineGroup();
        qd_.AddWriteToEngineGroup(name, &word, 4, result);
        return qd_.ExecuteEngineGroup();
    }

  private:
    drive::CQd& qd_;
};

}  // namespace

CdlgErrorDialog::CdlgErrorDialog(drive::CQd& qd, const foundation::CXmlNode* errorList, bool resetAllowed)
    : Dialog(
          {"Show errors",
           DluRect{0, 0, 453, 265},
           {{IDC_ERRORS_TREE, ControlKind::Tree, "", 0, DluRect{8, 7, 437, 225}},
            {IDC_ERRORS_PAUSE, ControlKind::Check, "Pause", 0, DluRect{8, 243, 50, 14}},
            {IDC_ERRORS_RESET, ControlKind::Button, "&Reset errors", 0, DluRect{62, 243, 60, 14}},
            {IDC_ERRORS_ESI, ControlKind::Button, "Update ESI eeprom", st::Hidden, DluRect{126, 243, 76, 14}},
            {IDC_ERRORS_HISTORY, ControlKind::Button, "Diagnosis History", st::Hidden,
             DluRect{206, 243, 70, 14}},
            {IDC_ERRORS_HELP, ControlKind::Button, "Help", 0, DluRect{337, 243, 50, 14}},
            {IDC_ERRORS_CLOSE, ControlKind::DefaultButton, "Close", 0, DluRect{395, 243, 50, 14}}}}),
      qd_(qd),
      resetAllowed_(resetAllowed),
      tree_(errorList, *this) {
    OnCommand(IDC_ERRORS_PAUSE, Notify::Clicked, [this] { OnPause(); });
    OnCommand(IDC_ERRORS_RESET, Notify::Clicked, [this] { ResetErrors(); });
    OnCommand(IDC_ERRORS_ESI, Notify::Clicked, [this] { qd_.UpdateEsiEeprom(); });
    OnCommand(IDC_ERRORS_HELP, Notify::Clicked, [] { ShowHelpTopic(kErrorsHelpTopic); });
}

CdlgErrorDialog::~CdlgErrorDialog() = default;

bool CdlgErrorDialog::OnInitDialog() {
    wxTreeCtrl* tree = Tree();
    if (!tree) return false;
    tree->SetWindowStyleFlag(tree->GetWindowStyleFlag() | wxTR_HIDE_ROOT);
    tree->AssignImageList(LevelImages());
    tree->AddRoot("");
    EnableItem(IDC_ERRORS_RESET, resetAllowed_);
    return Dialog::OnInitDialog();
}

wxTreeCtrl* CdlgErrorDialog::Tree() const {
    return ItemAs<wxTreeCtrl>(IDC_ERRORS_TREE);
}

void CdlgErrorDialog::ShowWindow(bool show) {
    if (!IsAlive()) return;
    Wx()->Show(show);
    if (!show) {
        KillTimer(kErrorsTimer);
        return;
    }
    busy_ = false;
    RefreshTree();
    if (!IsItemChecked(IDC_ERRORS_PAUSE)) SetTimer(kErrorsTimer, kErrorsPeriodMs);
}

void CdlgErrorDialog::StopRefreshTimer() {
    KillTimer(kErrorsTimer);
}

void CdlgErrorDialog::StartRefreshTimer() {
    if (IsAlive() && Wx()->IsShown() && !IsItemChecked(IDC_ERRORS_PAUSE) && !HasTimer(kErrorsTimer))
        SetTimer(kErrorsTimer, kErrorsPeriodMs);
}

void CdlgErrorDialog::OnPause() {
    if (IsItemChecked(IDC_ERRORS_PAUSE)) {
        KillTimer(kErrorsTimer);
        return;
    }
    if (!IsAlive() || !Wx()->IsShown()) return;
    SetTimer(kErrorsTimer, kErrorsPeriodMs);
    RefreshTree();
}

void CdlgErrorDialog::OnTimer(unsigned id) {
    if (id != kErrorsTimer) return Dialog::OnTimer(id);
    // Nothing is read while a reset runs or a long drive operation holds the background reads.
    if (busy_ || qd_.CyclicReadsPaused()) return;
    RefreshTree();
}

void CdlgErrorDialog::RefreshTree() {
    if (!Tree()) return;
    tree_.Refresh([this](const std::string& name, uint32_t* value) { return qd_.ReadCell(name, value); });
    ShowItem(IDC_ERRORS_ESI, tree_.EsiUpdateWanted());
}

bool CdlgErrorDialog::ResetErrors() {
    busy_ = true;
    ErrorResetPlan plan;
    plan.warningVariable = qd_.State().errorWordCells[1];
    plan.alarmVariable = qd_.State().errorWordCells[3];
    plan.statuswordVariable = qd_.State().statusWordCell;
    plan.xulFamily = qd_.State().group == kXulFamilyCode;
    QdResetAccess access(qd_);
    const ErrorResetResult result = ResetDriveErrors(access, plan);
    if (!result.ok) {
        qd_.ReportError(result.message, 0, result.code, "", "ShowMessage");
    } else {
        tree_.Clear();
        RefreshTree();
    }
    busy_ = false;
    return result.ok;
}

// ---- tree control -------------------------------------------------------------------------------

intptr_t CdlgErrorDialog::AddItem(intptr_t parent, const std::string& title, int image) {
    wxTreeCtrl* tree = Tree();
    const wxTreeItemId under = parent != 0 ? ItemOf(parent) : tree->GetRootItem();
    return HandleOf(tree->AppendItem(under, wxString::FromUTF8(title), image, image));
}

void CdlgErrorDialog::RemoveItem(intptr_t item) {
    Tree()->Delete(ItemOf(item));
}

void CdlgErrorDialog::SetItemImage(intptr_t item, int image) {
    Tree()->SetItemImage(ItemOf(item), image);
    Tree()->SetItemImage(ItemOf(item), image, wxTreeItemIcon_Selected);
}

void CdlgErrorDialog::Expand(intptr_t item) {
    Tree()->Expand(ItemOf(item));
}

void CdlgErrorDialog::RemoveAll() {
    if (wxTreeCtrl* tree = Tree()) tree->DeleteChildren(tree->GetRootItem());
}

std::vector<std::string> CdlgErrorDialog::TreeLines() const {
    std::vector<std::string> out;
    wxTreeCtrl* tree = Tree();
    if (!tree) return out;
    auto walk = [&](auto& self, const wxTreeItemId& parent, int depth) -> void {
        wxTreeItemIdValue cookie;
        for (wxTreeItemId child = tree->GetFirstChild(parent, cookie); child.IsOk();
             child = tree->GetNextChild(parent, cookie)) {
            out.push_back(std::string(2 * depth, ' ') + tree->GetItemText(child).utf8_string() + " [" +
                          std::to_string(tree->GetItemImage(child)) + "]");
            self(self, child, depth + 1);
        }
    };
    walk(walk, tree->GetRootItem(), 0);
    return out;
}

// ---- write errors report ------------------------------------------------------------------------

CdlgErrorsReport::CdlgErrorsReport()
    : Dialog({"Write errors report",
              DluRect{0, 0, 290, 196},
              {{IDC_ERRORS_REPORT_EDIT, ControlKind::Edit, "", st::Multiline | st::ReadOnly,
                DluRect{4, 4, 282, 171}},
               {platform::IDOK, ControlKind::DefaultButton, "OK", 0, DluRect{120, 178, 50, 14}}}}) {}

std::string CdlgErrorsReport::Text(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

bool CdlgErrorsReport::OnInitDialog() {
    if (!caption.empty()) Wx()->SetLabel(wxString::FromUTF8(caption));
    SetItemText(IDC_ERRORS_REPORT_EDIT, lines ? Text(*lines) : std::string());
    return Dialog::OnInitDialog();
}

}  // namespace app
