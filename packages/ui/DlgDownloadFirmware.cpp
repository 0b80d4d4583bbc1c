#include "packages/ui/DlgDownloadFirmware.h"

#include <algorithm>

#include <wx/gauge.h>
#include <wx/listctrl.h>

#include "drive/Qd.h"
#include "foundation/MessageIds.h"
#include "foundation/ProgramFolders.h"
#include "foundation/XmlDocument.h"
#include "platform/Prompt.h"
#include "platform/ui/BusyWindow.h"

namespace packages::ui {

namespace {
using platform::ui::ControlKind;
using platform::ui::DluRect;
using platform::ui::Notify;
namespace style = platform::ui::style;

constexpr int kBootRole = 2;

// The list, refresh, details, system information and user firmware buttons, and the close button:
// disabled while the engine's download runs.
constexpr int kLockedIds[] = {IDC_FWDL_LIST,    IDC_FWDL_REFRESH,       IDC_FWDL_DETAILS,
                              IDC_FWDL_SYSINFO, IDC_FWDL_USER_FIRMWARE, platform::IDCANCEL};
}  // namespace

CdlgDownloadFirmware::CdlgDownloadFirmware(drive::CQd& qd, int)
    : Dialog({kDownloadCaption,
              DluRect{0, 0, 360, 236},
              {{IDC_FWDL_DRIVE_INFO, ControlKind::Static, "", 0, DluRect{7, 7, 346, 36}},
               {IDC_FWDL_LIST, ControlKind::ListView, "", style::SingleSel | style::Border,
                DluRect{7, 46, 346, 110}},
               {IDC_FWDL_STATUS, ControlKind::Static, "", 0, DluRect{7, 160, 346, 16}},
               {IDC_FWDL_PROGRESS, ControlKind::Progress, "", style::Hidden, DluRect{7, 178, 346, 10}},
               {IDC_FWDL_DOWNLOAD, ControlKind::DefaultButton, "Download", 0, DluRect{7, 194, 60, 14}},
               {IDC_FWDL_REFRESH, ControlKind::Button, "Refresh", 0, DluRect{71, 194, 60, 14}},
               {IDC_FWDL_DETAILS, ControlKind::Button, "Product details", style::Disabled,
                DluRect{135, 194, 70, 14}},
               {IDC_FWDL_SYSINFO, ControlKind::Button, "System information", 0, DluRect{209, 194, 80, 14}},
               {IDC_FWDL_USER_FIRMWARE, ControlKind::Button, "User firmware", 0, DluRect{7, 214, 60, 14}},
               {platform::IDCANCEL, ControlKind::Button, "Close", 0, DluRect{293, 214, 60, 14}}}}),
      qd_(qd),
      drive_(qd) {
    drive_.busy = [this](const std::string& text, std::function<int()> work) {
        int result = 0;
        platform::ui::RunBusy(Wx(), text, [&] { result = work(); });
        return result;
    };
    OnCommand(IDC_FWDL_DOWNLOAD, Notify::Clicked, [this] { OnDownloadButton(); });
    OnCommand(IDC_FWDL_REFRESH, Notify::Clicked, [this] { Refresh(); });
    OnCommand(IDC_FWDL_DETAILS, Notify::Clicked, [this] {
        const int row = SelectedRow();
        if (row < 0) {
            platform::Prompts().MessageBox("Please select a product", kDownloadCaption,
                                           platform::MB_ICONINFORMATION);
            return;
        }
        if (showDetails) showDetails(*this, entries_[static_cast<size_t>(row)]);
    });
    OnCommand(IDC_FWDL_SYSINFO, Notify::Clicked, [this] { qd_.ShowSystemInfo(Handle()); });
    OnCommand(IDC_FWDL_USER_FIRMWARE, Notify::Clicked, [this] {
        if (showUserFirmware) showUserFirmware(*this, qd_);
    });
    OnMessageId(foundation::kFirmwareDownloadMessage, [this](uintptr_t state, intptr_t value) {
        return logic_ ? logic_->OnDownloadProgress(state, value) : 1;
    });
    OnMessageId(foundation::kFirmwareInstallMessage, [this](uintptr_t state, intptr_t value) {
        return logic_ ? logic_->OnInstallProgress(state, value) : 1;
    });
}

CdlgDownloadFirmware::~CdlgDownloadFirmware() {
    // The workers use the request and the drive side: they stop and are joined first.
    logic_.reset();
}

bool CdlgDownloadFirmware::OnInitDialog() {
    CFirmwareDownloadOptions options;
    options.programVersion = foundation::kProgramName;
    logic_ =
        std::make_unique<CFirmwareDownloadLogic>(drive_, *this, Handle(), platform::SystemClock(), options);
    if (auto* list = ItemAs<wxListCtrl>(IDC_FWDL_LIST)) {
        list->InsertColumn(0, "Description", wxLIST_FORMAT_LEFT, 256);
        list->InsertColumn(1, "Product", wxLIST_FORMAT_LEFT, 55);
        list->InsertColumn(2, "Version", wxLIST_FORMAT_LEFT, 105);
        list->Bind(wxEVT_LIST_ITEM_SELECTED, [this](wxListEvent& event) {
            const long row = event.GetIndex();
            if (row >= 0 && static_cast<size_t>(row) < entries_.size()) {
                SetStatus(entries_[static_cast<size_t>(row)].info);
                EnableItem(IDC_FWDL_DETAILS, true);
            }
        });
    }
    Refresh();
    return true;
}

void CdlgDownloadFirmware::Refresh() {
    // Nothing to list without a drive.
    if (!qd_.IsConnected()) {
        SetEntries({});
        ShowDriveInfo();
        return;
    }
    drive::CQdCompatDrive compat(qd_);
    qd_.Checker().Refresh(&compat);
    foundation::CXmlDocument index;
    std::vector<CFirmwareEntry> entries;
    if (qd_.ConnectionWindow().GetVocabularyList(index) > 0)
        entries =
            ListFirmwareEntries(index, static_cast<int32_t>(qd_.State().hw), qd_.Checker(),
                                [](const foundation::CXmlNode& e) { return drive::VocabularyEntryFile(e); });
    SetEntries(std::move(entries));
    ShowDriveInfo();
}

void CdlgDownloadFirmware::ShowDriveInfo() {
    driveInfo_ = qd_.State().description;
    if (!qd_.State().versionText.empty()) driveInfo_ += "\r\n" + qd_.State().versionText;
    uint32_t state = 0;
    const int rc = qd_.IsConnected() ? qd_.ReadCell("fw_flash_state", state) : -303;
    if (rc == 0) {
        driveInfo_ += "\r\nfw_flash_state: " + std::to_string(state);
    } else if (rc != -303) {
        driveInfo_ += "\r\nFirmware state read error: = " + std::to_string(rc);
    }
    SetItemText(IDC_FWDL_DRIVE_INFO, driveInfo_);
}

void CdlgDownloadFirmware::SetEntries(std::vector<CFirmwareEntry> entries) {
    entries_ = std::move(entries);
    FillList();
}

void CdlgDownloadFirmware::FillList() {
    auto* list = ItemAs<wxListCtrl>(IDC_FWDL_LIST);
    if (!list) return;
    list->Freeze();
    list->DeleteAllItems();
    for (size_t i = 0; i < entries_.size(); ++i) {
        const CFirmwareEntry& e = entries_[i];
        const long at = list->InsertItem(static_cast<long>(i), wxString::FromUTF8(e.description));
        list->SetItem(at, 1, wxString::FromUTF8(e.product));
        list->SetItem(at, 2, wxString::FromUTF8(e.version));
        if (!e.incompatibility.empty())
            list->SetItemTextColour(at, wxColour(128, 128, 128));
        else if (e.role == kBootRole || e.prerelease)
            list->SetItemTextColour(at, wxColour(0, 0, 255));
    }
    list->Thaw();
    EnableItem(IDC_FWDL_DETAILS, false);
}

int CdlgDownloadFirmware::SelectedRow() const {
    auto* list = ItemAs<wxListCtrl>(IDC_FWDL_LIST);
    return list ? static_cast<int>(list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED)) : -1;
}

void CdlgDownloadFirmware::SelectRow(int row) {
    if (auto* list = ItemAs<wxListCtrl>(IDC_FWDL_LIST))
        list->SetItemState(row, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
}

void CdlgDownloadFirmware::OnDownloadButton() {
    if (!logic_) return;
    if (logic_->Running()) {
        logic_->OnAbort();
        return;
    }
    const int row = SelectedRow();
    logic_->OnDownload(row >= 0 && static_cast<size_t>(row) < entries_.size()
                           ? &entries_[static_cast<size_t>(row)]
                           : nullptr);
}

void CdlgDownloadFirmware::OnCancel() {
    if (logic_) logic_->Abandon();
    Close(platform::IDCANCEL);
}

// ---- the view --------------------------------------------------------------------------------------

void CdlgDownloadFirmware::SetStatus(const std::string& text) {
    SetItemText(IDC_FWDL_STATUS, text);
}

void CdlgDownloadFirmware::ShowBar(bool show) {
    ShowItem(IDC_FWDL_PROGRESS, show);
}

void CdlgDownloadFirmware::SetRange(int low, int high) {
    low_ = low;
    if (auto* gauge = ItemAs<wxGauge>(IDC_FWDL_PROGRESS)) gauge->SetRange(std::max(1, high - low));
}

void CdlgDownloadFirmware::SetPosition(int position) {
    if (auto* gauge = ItemAs<wxGauge>(IDC_FWDL_PROGRESS))
        gauge->SetValue(std::clamp(position - low_, 0, gauge->GetRange()));
}

void CdlgDownloadFirmware::SetButton(const std::string& text, bool enabled) {
    SetItemText(IDC_FWDL_DOWNLOAD, text);
    EnableItem(IDC_FWDL_DOWNLOAD, enabled);
}

void CdlgDownloadFirmware::EnableControls(bool enable) {
    for (int id : kLockedIds) EnableItem(id, enable);
    EnableItem(IDC_FWDL_DOWNLOAD, enable);
}

void CdlgDownloadFirmware::Close(int code) {
    if (IsModal()) EndDialog(code);
}

}  // namespace packages::ui
