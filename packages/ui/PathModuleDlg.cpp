#include "packages/ui/PathModuleDlg.h"

#include <wx/listctrl.h>

#include "platform/Prompt.h"
#include "platform/ui/CommonDialogs.h"
#include "platform/ui/TabCtrl.h"

namespace packages::ui {

namespace {
using platform::ui::ControlKind;
using platform::ui::DluRect;
using platform::ui::Notify;
namespace style = platform::ui::style;
}  // namespace

CPathModuleDlg::CPathModuleDlg(foundation::CBrandList& sources)
    : Dialog({"Firmware paths",
              DluRect{0, 0, 330, 200},
              {{IDC_PATHS_TABS, ControlKind::Tab, "", style::Hidden, DluRect{7, 7, 316, 14}},
               {IDC_PATHS_LIST, ControlKind::ListView, "", style::SingleSel | style::Border,
                DluRect{7, 24, 316, 110}},
               {1011, ControlKind::Static, "Selected path:", 0, DluRect{7, 140, 60, 8}},
               {IDC_PATHS_SELECTED, ControlKind::Static, "", 0, DluRect{70, 140, 253, 8}},
               {IDC_PATHS_ADD, ControlKind::Button, "Add", 0, DluRect{7, 155, 50, 14}},
               {IDC_PATHS_REMOVE, ControlKind::Button, "Remove", 0, DluRect{61, 155, 50, 14}},
               {IDC_PATHS_SELECT, ControlKind::Button, "Select", 0, DluRect{115, 155, 50, 14}},
               {IDC_PATHS_DEFAULT, ControlKind::Button, "Set default brand", style::Hidden,
                DluRect{169, 155, 80, 14}},
               {platform::IDOK, ControlKind::DefaultButton, "OK", 0, DluRect{219, 179, 50, 14}},
               // Cancel takes back every change made in the dialog.
               {platform::IDCANCEL, ControlKind::Button, "Cancel", 0, DluRect{273, 179, 50, 14}}}}),
      model_(sources) {
    OnCommand(IDC_PATHS_SELECT, Notify::Clicked, [this] {
        if (model_.Select(SelectedRow())) FillList();
    });
    OnCommand(IDC_PATHS_REMOVE, Notify::Clicked, [this] {
        if (model_.Remove(SelectedRow())) FillList();
    });
    OnCommand(IDC_PATHS_ADD, Notify::Clicked, [this] {
        platform::ui::FileDialogSpec spec;
        spec.title = "Select patch cdi file (there must be a subdir 'Xml' with data)";
        spec.filter = "cdi file (*.cdi)|*.cdi";
        spec.defaultExtension = "cdi";
        if (auto file = platform::ui::ChooseFileToOpen(Wx(), spec)) AddFile(file->string());
    });
    OnCommand(IDC_PATHS_DEFAULT, Notify::Clicked, [this] {
        model_.SetDefault();
        FillTabs();
    });
}

CPathModuleDlg::~CPathModuleDlg() {
    // Closed without OK or Cancel (destroyed with its parent): the default source is current again.
    if (!closed_) model_.Accept();
}

bool CPathModuleDlg::OnInitDialog() {
    if (auto* list = ItemAs<wxListCtrl>(IDC_PATHS_LIST)) {
        list->InsertColumn(0, "Installed by", wxLIST_FORMAT_LEFT, 120);
        list->InsertColumn(1, "Version", wxLIST_FORMAT_LEFT, 100);
        list->InsertColumn(2, "Path", wxLIST_FORMAT_LEFT, 200);
        list->Bind(wxEVT_LIST_ITEM_ACTIVATED, [this](wxListEvent&) {
            FocusItem(IDC_PATHS_SELECT);
            if (model_.Select(SelectedRow())) FillList();
        });
    }
    if (model_.ShowsTabs()) {
        if (auto* tabs = ItemAs<platform::ui::TabCtrl>(IDC_PATHS_TABS)) {
            for (size_t i = 0; i < model_.TabTexts().size(); ++i)
                tabs->InsertItem(static_cast<int>(i), model_.TabTexts()[i]);
            tabs->SetCurSel(model_.DefaultSource());
            tabs->selChange = [this, tabs] { ShowTab(tabs->GetCurSel()); };
        }
        ShowItem(IDC_PATHS_TABS, true);
        ShowItem(IDC_PATHS_DEFAULT, true);
    }
    FillList();
    return true;
}

void CPathModuleDlg::FillTabs() {
    auto* tabs = ItemAs<platform::ui::TabCtrl>(IDC_PATHS_TABS);
    if (!tabs) return;
    const auto texts = model_.TabTexts();
    for (size_t i = 0; i < texts.size(); ++i) tabs->SetItemText(static_cast<int>(i), texts[i]);
}

void CPathModuleDlg::ShowTab(int index) {
    model_.ShowSource(index);
    if (auto* tabs = ItemAs<platform::ui::TabCtrl>(IDC_PATHS_TABS); tabs && tabs->GetCurSel() != index)
        tabs->SetCurSel(index);
    FillList();
}

void CPathModuleDlg::FillList() {
    auto* list = ItemAs<wxListCtrl>(IDC_PATHS_LIST);
    if (!list) return;
    list->Freeze();
    list->DeleteAllItems();
    const auto rows = model_.Rows();
    for (size_t i = 0; i < rows.size(); ++i) {
        const long at = list->InsertItem(static_cast<long>(i), wxString::FromUTF8(rows[i].installedBy));
        list->SetItem(at, 1, wxString::FromUTF8(rows[i].version));
        list->SetItem(at, 2, wxString::FromUTF8(rows[i].path));
        if (rows[i].current) {
            list->SetItemTextColour(at, wxColour(0, 0, 255));
            list->SetItemBackgroundColour(at, wxColour(0xF0, 0xF0, 0xF0));
            list->SetItemState(at, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED,
                               wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
        }
    }
    SetItemText(IDC_PATHS_SELECTED, model_.SelectedPath());
    for (int column = 0; column < 3; ++column) {
        list->SetColumnWidth(column, wxLIST_AUTOSIZE);
        const int content = list->GetColumnWidth(column);
        list->SetColumnWidth(column, wxLIST_AUTOSIZE_USEHEADER);
        if (list->GetColumnWidth(column) < content) list->SetColumnWidth(column, content);
    }
    list->Thaw();
}

int CPathModuleDlg::SelectedRow() const {
    auto* list = ItemAs<wxListCtrl>(IDC_PATHS_LIST);
    return list ? static_cast<int>(list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED)) : -1;
}

void CPathModuleDlg::SelectRow(int row) {
    if (auto* list = ItemAs<wxListCtrl>(IDC_PATHS_LIST))
        list->SetItemState(row, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
}

bool CPathModuleDlg::AddFile(const std::string& cdiFile) {
    if (!model_.Add(cdiFile)) return false;
    FillList();
    return true;
}

void CPathModuleDlg::OnOK() {
    closed_ = true;
    model_.Accept();
    EndDialog(platform::IDOK);
}

void CPathModuleDlg::OnCancel() {
    closed_ = true;
    model_.Cancel();
    EndDialog(platform::IDCANCEL);
}

}  // namespace packages::ui
