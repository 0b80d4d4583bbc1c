#include "app/DlgConnectTca.h"

#include <algorithm>

#include <wx/listctrl.h>

#include "foundation/MessageIds.h"
#include "platform/Prompt.h"
#include "transport/ChannelTrace.h"
#include "transport/TwincatAds.h"

namespace app {

using platform::ui::ControlKind;
using platform::ui::DluRect;
namespace style = platform::ui::style;

namespace {

int SelectedRow(const wxListCtrl* list) {
    return list ? static_cast<int>(list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED)) : -1;
}

wxColour Grey() {
    return wxColour(kTcaGreyText & 0xFF, (kTcaGreyText >> 8) & 0xFF, (kTcaGreyText >> 16) & 0xFF);
}

}  // namespace

CDlgConnectTca::CDlgConnectTca(transport::CTwincatAds& ads, const AdsNetId& netId)
    : Dialog({transport::Format("EtherCAT controller %u.%u.%u.%u.%u.%u", netId.b[0], netId.b[1], netId.b[2],
                                netId.b[3], netId.b[4], netId.b[5]),
              DluRect{0, 0, 260, 170},
              {{IDC_TCA_NODES, ControlKind::ListView, "", style::SingleSel | style::Border,
                DluRect{7, 7, 246, 118}},
               {IDC_TCA_INFO, ControlKind::Edit, "", style::ReadOnly, DluRect{7, 130, 246, 12}},
               {platform::IDOK, ControlKind::DefaultButton, "OK", 0, DluRect{149, 149, 50, 14}},
               {platform::IDCANCEL, ControlKind::Button, "Cancel", 0, DluRect{203, 149, 50, 14}}}}),
      ads_(ads) {
    OnMessageId(foundation::kConnectScanMessage, [this](uintptr_t, intptr_t) {
        OnScanEnded();
        return intptr_t{1};
    });
}

CDlgConnectTca::~CDlgConnectTca() {
    scan_.reset();  // joins a scan still running
}

bool CDlgConnectTca::OnInitDialog() {
    Dialog::OnInitDialog();
    if (auto* list = ItemAs<wxListCtrl>(IDC_TCA_NODES)) {
        const int width = list->GetClientSize().GetWidth();
        // Wide enough for a four-digit EtherCAT address in the system font.
        list->InsertColumn(0, "Id", wxLIST_FORMAT_LEFT, 50);
        list->InsertColumn(1, "Name", wxLIST_FORMAT_LEFT, std::max(width - 135, 60));
        list->InsertColumn(2, "State", wxLIST_FORMAT_LEFT, 85);
        list->Bind(wxEVT_LIST_ITEM_SELECTED, [this](wxListEvent&) { OnRowSelected(); });
        list->Bind(wxEVT_LIST_ITEM_ACTIVATED, [this](wxListEvent&) { OnOK(); });
    }
    SetItemText(IDC_TCA_INFO, "Scan for devices in the bus...");
    scan_ = std::make_unique<transport::CTwincatDeviceScan>(ads_, Handle());
    scan_->Start();
    return true;
}

void CDlgConnectTca::OnScanEnded() {
    if (!scan_) return;
    transport::CTwincatDeviceScan::Result result = scan_->TakeResult();
    if (!result.done) return;
    ended_ = true;
    SetItemText(IDC_TCA_INFO, "");
    if (!result.ok) {
        platform::Prompts().MessageBox(result.errorText, "Connection error", platform::MB_ICONERROR);
        SetItemText(IDC_TCA_INFO, result.errorText);
        return;
    }
    devices_ = std::move(result.devices);
    auto* list = ItemAs<wxListCtrl>(IDC_TCA_NODES);
    if (list) {
        list->DeleteAllItems();
        for (size_t i = 0; i < devices_.size(); ++i) {
            const transport::CBusNodeData& d = devices_[i];
            const long row =
                list->InsertItem(static_cast<long>(i), wxString::Format("%d", static_cast<int>(d.address)));
            list->SetItem(row, 1, wxString::FromUTF8(d.name));
            list->SetItem(row, 2, wxString::FromUTF8(d.state));
            if (!d.selectable) list->SetItemTextColour(row, Grey());
        }
    }
    if (devices_.empty()) SetItemText(IDC_TCA_INFO, "No devices found");
}

void CDlgConnectTca::OnRowSelected() {
    const int row = SelectedRow(ItemAs<wxListCtrl>(IDC_TCA_NODES));
    if (row >= 0 && static_cast<size_t>(row) < devices_.size())
        SetItemText(IDC_TCA_INFO, devices_[static_cast<size_t>(row)].identity);
}

void CDlgConnectTca::OnOK() {
    if (scan_) scan_->Stop();
    const int row = SelectedRow(ItemAs<wxListCtrl>(IDC_TCA_NODES));
    if (row < 0 || static_cast<size_t>(row) >= devices_.size()) {
        EndDialog(platform::IDCANCEL);
        return;
    }
    address_ = devices_[static_cast<size_t>(row)].address;
    EndDialog(platform::IDOK);
}

void CDlgConnectTca::OnCancel() {
    if (scan_) scan_->Stop();
    EndDialog(platform::IDCANCEL);
}

void CDlgConnectTca::OnDestroy() {
    if (scan_) scan_->Stop();
    Dialog::OnDestroy();
}

int CDlgConnectTca::Rows() const {
    const auto* list = ItemAs<wxListCtrl>(IDC_TCA_NODES);
    return list ? list->GetItemCount() : 0;
}

std::string CDlgConnectTca::Cell(int row, int column) const {
    const auto* list = ItemAs<wxListCtrl>(IDC_TCA_NODES);
    return list ? list->GetItemText(row, column).utf8_string() : std::string();
}

bool CDlgConnectTca::RowIsGrey(int row) const {
    const auto* list = ItemAs<wxListCtrl>(IDC_TCA_NODES);
    return list && list->GetItemTextColour(row) == Grey();
}

bool CDlgConnectTca::SelectRow(int row) {
    auto* list = ItemAs<wxListCtrl>(IDC_TCA_NODES);
    if (!list || row < 0 || row >= list->GetItemCount()) return false;
    list->SetItemState(row, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED,
                       wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
    return true;
}

int CTcaDialogShell::SelectDevice(transport::CTwincatAds& ads, uint16_t* address) {
    CDlgConnectTca dialog(ads, ads.TargetNetId());
    const int answer = dialog.DoModal();
    if (answer == platform::IDOK && address) *address = dialog.Address();
    return answer;
}

}  // namespace app
