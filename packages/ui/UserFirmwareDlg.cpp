#include "packages/ui/UserFirmwareDlg.h"

#include <algorithm>

#include <wx/dnd.h>
#include <wx/listctrl.h>
#include <wx/utils.h>

#include "foundation/MessageIds.h"
#include "foundation/ProgramFolders.h"
#include "packages/FirmwareContainer.h"
#include "packages/FirmwareDetails.h"
#include "packages/ui/DlgDownDetails.h"
#include "packages/ui/DlgDownloadFirmware.h"
#include "platform/ui/CommonDialogs.h"
#include "platform/ui/TabCtrl.h"
#include "platform/ui/WxPrompts.h"

namespace packages::ui {

namespace {
using platform::ui::ControlKind;
using platform::ui::DluRect;
using platform::ui::Notify;
namespace style = platform::ui::style;
namespace fs = std::filesystem;

constexpr int kColumnWidths[] = {140, 55, 38, 100, 182};
constexpr const char* kColumnNames[] = {"File", "Hw", "Sw", "Ver.", "Description"};

// Files dropped on the dialog are imported.
class DropFiles : public wxFileDropTarget {
  public:
    explicit DropFiles(std::function<void(const std::vector<fs::path>&)> import)
        : import_(std::move(import)) {}
    bool OnDropFiles(wxCoord, wxCoord, const wxArrayString& names) override {
        std::vector<fs::path> files;
        for (const wxString& name : names) files.emplace_back(name.utf8_string());
        import_(files);
        return true;
    }

  private:
    std::function<void(const std::vector<fs::path>&)> import_;
};

void ShowError(const std::string& text) {
    platform::Prompts().MessageBox(text, "Error", platform::MB_OK | platform::MB_ICONEXCLAMATION);
}

}  // namespace

CUserFirmwareDlg::CUserFirmwareDlg(const foundation::CBrandList& sources)
    : Dialog({"Additional firmwares",
              DluRect{0, 0, 340, 232},
              {{IDC_UFW_TABS, ControlKind::Tab, "", style::Hidden, DluRect{7, 7, 326, 14}},
               {IDC_UFW_TEXT, ControlKind::Static, "", style::Hidden, DluRect{7, 9, 326, 10}},
               {IDC_UFW_FOLDER, ControlKind::Static, "", 0, DluRect{7, 25, 326, 9}},
               {IDC_UFW_LIST, ControlKind::ListView, "", style::Border, DluRect{7, 37, 326, 140}},
               {IDC_UFW_DETAILS, ControlKind::Check, "Show details", 0, DluRect{7, 182, 100, 10}},
               {IDC_UFW_IMPORT, ControlKind::Button, "Import...", 0, DluRect{7, 196, 50, 14}},
               {IDC_UFW_REMOVE, ControlKind::Button, "Remove", 0, DluRect{61, 196, 50, 14}},
               {IDC_UFW_REMOVE_ALL, ControlKind::Button, "Remove all", 0, DluRect{115, 196, 50, 14}},
               {IDC_UFW_EXPORT, ControlKind::Button, "Export...", 0, DluRect{169, 196, 50, 14}},
               {IDC_UFW_OPEN_FOLDER, ControlKind::Button, "Open folder", 0, DluRect{223, 196, 56, 14}},
               {platform::IDOK, ControlKind::DefaultButton, "Close", 0, DluRect{283, 212, 50, 14}}}}),
      sources_(sources) {
    chooseImportFiles = [this] {
        platform::ui::FileDialogSpec spec;
        spec.title = "Select firmware file to import";
        spec.filter = "Firmware files (*.xml)|*.xml";
        spec.defaultExtension = "xml";
        return platform::ui::ChooseFilesToOpen(Wx(), spec);
    };
    chooseExportFolder = [this] { return platform::ui::ChooseFolder(Wx(), "Select destination folder", {}); };
    openFolder = [](const fs::path& folder) {
        return wxLaunchDefaultApplication(wxString::FromUTF8(folder.string()));
    };

    OnCommand(IDC_UFW_IMPORT, Notify::Clicked, [this] {
        if (chooseImportFiles) ImportFiles(chooseImportFiles());
    });
    OnCommand(IDC_UFW_REMOVE, Notify::Clicked, [this] { Remove(); });
    OnCommand(IDC_UFW_REMOVE_ALL, Notify::Clicked, [this] { RemoveAll(); });
    OnCommand(IDC_UFW_EXPORT, Notify::Clicked, [this] { Export(); });
    OnCommand(IDC_UFW_OPEN_FOLDER, Notify::Clicked, [this] {
        if (!folder_.empty() && openFolder) openFolder(folder_);
    });
    OnCommand(IDC_UFW_DETAILS, Notify::Clicked, [this] { Rescan(); });
    OnMessageId(foundation::kUserFirmwareScanMessage, [this](uintptr_t wParam, intptr_t) {
        OnScanResult(static_cast<uint64_t>(wParam));
        return intptr_t(0);
    });
}

CUserFirmwareDlg::~CUserFirmwareDlg() {
    StopWorker();
}

bool CUserFirmwareDlg::OnInitDialog() {
    if (auto* list = ItemAs<wxListCtrl>(IDC_UFW_LIST)) {
        for (int i = 0; i < 5; ++i)
            list->InsertColumn(i, kColumnNames[i], wxLIST_FORMAT_LEFT, kColumnWidths[i]);
    }
    CheckItem(IDC_UFW_DETAILS, 1);
    const auto& sources = sources_.Sources();
    source_ = sources_.GetCurrentIndex();
    if (source_ < 0 || static_cast<size_t>(source_) >= sources.size()) source_ = sources.empty() ? -1 : 0;
    if (sources.size() >= 2) {
        if (auto* tabs = ItemAs<platform::ui::TabCtrl>(IDC_UFW_TABS)) {
            for (size_t i = 0; i < sources.size(); ++i)
                tabs->InsertItem(static_cast<int>(i), sources[i]->m_strName);
            tabs->SetCurSel(source_);
            tabs->selChange = [this, tabs] { ShowTab(tabs->GetCurSel()); };
        }
        ShowItem(IDC_UFW_TABS, true);
    } else {
        SetItemText(IDC_UFW_TEXT, std::string("List of additional firmwares to use with ") +
                                      foundation::kProgramName + ". Only for expert users.");
        ShowItem(IDC_UFW_TEXT, true);
    }
    // Each window takes drops on its own: the list covers most of the dialog.
    const auto import = [this](const std::vector<fs::path>& files) { ImportFiles(files); };
    Wx()->SetDropTarget(new DropFiles(import));
    if (wxWindow* list = Item(IDC_UFW_LIST)) list->SetDropTarget(new DropFiles(import));
    scanner_ = std::make_unique<CUserFirmwareScanner>(Handle(), foundation::kUserFirmwareScanMessage);
    scanner_->Start();
    ShowTab(source_);
    return true;
}

void CUserFirmwareDlg::ShowTab(int index) {
    source_ = index;
    folder_ = UserFirmwareFolder(sources_, index);
    SetItemText(IDC_UFW_FOLDER, folder_.string());
    if (auto* tabs = ItemAs<platform::ui::TabCtrl>(IDC_UFW_TABS);
        tabs && index >= 0 && tabs->GetCurSel() != index)
        tabs->SetCurSel(index);
    Rescan();
}

void CUserFirmwareDlg::Rescan() {
    if (!scanner_) return;
    requested_ = scanner_->Request(folder_, IsItemChecked(IDC_UFW_DETAILS) == 1);
}

void CUserFirmwareDlg::OnScanResult(uint64_t request) {
    if (request != requested_ || !scanner_) return;
    const auto result = scanner_->TakeResult();
    if (!result || result->request != requested_) return;
    auto* list = ItemAs<wxListCtrl>(IDC_UFW_LIST);
    if (!list) return;
    const std::vector<std::string> selected = SelectedFiles();
    bool sameRows = shown_ == request && list->GetItemCount() == static_cast<int>(result->rows.size());
    for (size_t i = 0; sameRows && i < result->rows.size(); ++i)
        sameRows = list->GetItemText(static_cast<long>(i)).utf8_string() == result->rows[i].file;
    list->Freeze();
    if (!sameRows) {
        list->DeleteAllItems();
        for (size_t i = 0; i < result->rows.size(); ++i) {
            const long at = list->InsertItem(static_cast<long>(i), wxString::FromUTF8(result->rows[i].file));
            if (std::find(selected.begin(), selected.end(), result->rows[i].file) != selected.end())
                list->SetItemState(at, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
        }
    }
    if (result->complete && IsItemChecked(IDC_UFW_DETAILS) == 1) {
        for (int column = 1; column < 4; ++column) {
            if (list->GetColumnWidth(column) < kColumnWidths[column])
                list->SetColumnWidth(column, kColumnWidths[column]);
        }
        for (size_t i = 0; i < result->rows.size(); ++i) {
            const UserFirmwareRow& row = result->rows[i];
            const long at = static_cast<long>(i);
            list->SetItem(at, 1, wxString::FromUTF8(row.hw));
            list->SetItem(at, 2, wxString::FromUTF8(row.sw));
            list->SetItem(at, 3, wxString::FromUTF8(row.version));
            list->SetItem(at, 4, wxString::FromUTF8(row.description));
        }
    }
    list->Thaw();
    shown_ = request;
    shownComplete_ = result->complete;
    if (!result->error.empty() && result->complete) ShowError(result->error);
}

void CUserFirmwareDlg::ImportFiles(const std::vector<fs::path>& files) {
    if (files.empty()) return;
    for (const fs::path& file : files) {
        const std::string error = ImportUserFirmware(folder_, fs::absolute(file));
        if (!error.empty()) ShowError(error);
    }
    Rescan();
}

void CUserFirmwareDlg::Remove() {
    const std::vector<std::string> files = SelectedFiles();
    if (files.empty()) return;
    if (platform::Prompts().MessageBox("Confirm deleting file(s)?", foundation::kProgramName,
                                       platform::MB_YESNOCANCEL | platform::MB_ICONQUESTION) !=
        platform::IDYES)
        return;
    const UserFirmwareResult result = RemoveUserFirmware(folder_, files);
    ReportErrors(result.errors);
    if (result.done > 0) Rescan();
}

void CUserFirmwareDlg::RemoveAll() {
    if (folder_.empty()) return;
    if (platform::Prompts().MessageBox("Confirm deleting all files?", foundation::kProgramName,
                                       platform::MB_YESNO | platform::MB_ICONQUESTION) != platform::IDYES)
        return;
    const UserFirmwareResult result = RemoveAllUserFirmware(folder_);
    ReportErrors(result.errors);
    Rescan();
}

void CUserFirmwareDlg::Export() {
    const std::vector<std::string> files = SelectedFiles();
    if (files.empty()) {
        platform::Prompts().MessageBox("Empty selection", foundation::kProgramName,
                                       platform::MB_OK | platform::MB_ICONEXCLAMATION);
        return;
    }
    const std::optional<fs::path> destination = chooseExportFolder ? chooseExportFolder() : std::nullopt;
    if (!destination) return;
    const UserFirmwareResult result = ExportUserFirmware(folder_, files, *destination);
    // Success is told only when every file arrived.
    if (!result.errors.empty())
        ReportErrors(result.errors);
    else
        platform::Prompts().MessageBox("File(s) successfully copied.", foundation::kProgramName,
                                       platform::MB_OK | platform::MB_ICONINFORMATION);
}

void CUserFirmwareDlg::ReportErrors(const std::vector<std::string>& errors) {
    for (const std::string& error : errors) ShowError(error);
}

std::vector<std::string> CUserFirmwareDlg::RowTexts() const {
    std::vector<std::string> rows;
    const auto* list = ItemAs<wxListCtrl>(IDC_UFW_LIST);
    if (!list) return rows;
    for (long i = 0; i < list->GetItemCount(); ++i) {
        std::string text;
        for (int column = 0; column < 5; ++column) {
            if (column > 0) text += '|';
            text += list->GetItemText(i, column).utf8_string();
        }
        rows.push_back(text);
    }
    return rows;
}

void CUserFirmwareDlg::SelectRows(const std::vector<int>& rows) {
    auto* list = ItemAs<wxListCtrl>(IDC_UFW_LIST);
    if (!list) return;
    for (long i = 0; i < list->GetItemCount(); ++i) {
        const bool on = std::find(rows.begin(), rows.end(), static_cast<int>(i)) != rows.end();
        list->SetItemState(i, on ? wxLIST_STATE_SELECTED : 0, wxLIST_STATE_SELECTED);
    }
}

std::vector<std::string> CUserFirmwareDlg::SelectedFiles() const {
    std::vector<std::string> files;
    const auto* list = ItemAs<wxListCtrl>(IDC_UFW_LIST);
    if (!list) return files;
    for (long i = list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); i >= 0;
         i = list->GetNextItem(i, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED))
        files.push_back(list->GetItemText(i).utf8_string());
    return files;
}

void CUserFirmwareDlg::StopWorker() {
    // Joined before the window and the list it reports to go.
    if (scanner_) scanner_->Stop();
}

void CUserFirmwareDlg::OnOK() {
    StopWorker();
    EndDialog(platform::IDOK);
}

void CUserFirmwareDlg::OnCancel() {
    StopWorker();
    EndDialog(platform::IDCANCEL);
}

void CUserFirmwareDlg::OnDestroy() {
    StopWorker();
    Dialog::OnDestroy();
}

void RegisterUserFirmwareDialog(platform::ui::WxPromptService& prompts) {
    prompts.RegisterCustom("UserFirmware", [](const std::vector<std::string>&, int*) {
        CUserFirmwareDlg dialog(foundation::GetBrandList());
        return dialog.DoModal();
    });
}

void InstallFirmwareDownloadButtons() {
    CdlgDownloadFirmware::showDetails = [](platform::ui::Dialog& parent, const CFirmwareEntry& entry) {
        CFirmwareContainer container;
        const std::string error = container.ReadFirmwareInfo(entry.file, entry.role != 2, false);
        CDlgDownDetails details(FirmwareDetails{&container, error, entry.incompatibility});
        details.DoModal(parent.Wx());
    };
    CdlgDownloadFirmware::showUserFirmware = [](platform::ui::Dialog& parent, drive::CQd&) {
        CUserFirmwareDlg dialog(foundation::GetBrandList());
        dialog.DoModal(parent.Wx());
    };
}

}  // namespace packages::ui
