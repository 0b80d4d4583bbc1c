#include "app/DlgConnectBridge.h"

#include <wx/gauge.h>
#include <wx/listctrl.h>

#include "foundation/MessageIds.h"
#include "platform/Prompt.h"
#include "platform/ui/BusyWindow.h"
#include "transport/BridgeVkr.h"
#include "transport/ChannelTrace.h"

namespace app {

using platform::ui::ControlKind;
using platform::ui::DluRect;
using platform::ui::Notify;
namespace style = platform::ui::style;
using transport::CBusInfo;
using transport::Format;

namespace {

constexpr const char* kResetBusText =
    "The bus will be initialized, all commands queued for every device will be interrupted.";
constexpr const char* kResetBridgeText =
    "The bridge will be restarted and the communication lost.\r\n\r\nAll clients will be disconnected "
    "(forcedly).";

wxColour ColourOf(uint32_t colorref) {
    return wxColour(colorref & 0xFF, (colorref >> 8) & 0xFF, (colorref >> 16) & 0xFF);
}

int SelectedRow(const wxListCtrl* list) {
    return list ? static_cast<int>(list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED)) : -1;
}

}  // namespace

uint16_t SubnetTypeOfBusKind(uint8_t kind) {
    switch (kind) {
        case transport::kBusKindCanOpen:
            return 2;
        case transport::kBusKindEtherCat:
            return 4;
        default:
            return 0;
    }
}

const char* BusKindName(uint8_t kind) {
    switch (kind) {
        case transport::kBusKindCanOpen:
            return "CANOpen";
        case transport::kBusKindEtherCat:
            return "EtherCAT";
        default:
            return "COM";
    }
}

// ---- options

CDlgConnectBridgeOpt::CDlgConnectBridgeOpt(const BridgeDialogOptions& initial)
    : Dialog({"Connect Bridge options",
              DluRect{0, 0, 160, 62},
              {{IDC_BRIDGE_AUTO_SCAN, ControlKind::Check, "Auto scan fieldbuses", 0, DluRect{7, 7, 146, 10}},
               {IDC_BRIDGE_SHOW_BUS, ControlKind::Check, "Show fieldbuses", 0, DluRect{7, 21, 146, 10}},
               {platform::IDOK, ControlKind::DefaultButton, "OK", 0, DluRect{49, 41, 50, 14}},
               {platform::IDCANCEL, ControlKind::Button, "Cancel", 0, DluRect{103, 41, 50, 14}}}}),
      options(initial) {}

void CDlgConnectBridgeOpt::DoDataExchange(platform::ui::DataExchange& dx) {
    dx.Check(IDC_BRIDGE_AUTO_SCAN, options.autoScan);
    dx.Check(IDC_BRIDGE_SHOW_BUS, options.showBus);
}

// ---- the dialog

CDlgConnectBridge::CDlgConnectBridge(transport::CBridgeVkr& bridge, BridgeDialogOptions& options)
    : Dialog(
          {"Bridge",
           DluRect{0, 0, 330, 200},
           {{IDC_BRIDGE_BUS_LABEL, ControlKind::Static, "Fieldbus", 0, DluRect{7, 5, 80, 9}},
            {IDC_BRIDGE_BUSES, ControlKind::ListView, "", style::SingleSel | style::Border,
             DluRect{7, 15, 90, 120}},
            {IDC_BRIDGE_SEARCH, ControlKind::Button, "Search nodes", 0, DluRect{103, 5, 60, 14}},
            {IDC_BRIDGE_PROGRESS, ControlKind::Progress, "", 0, DluRect{168, 7, 155, 10}},
            {IDC_BRIDGE_NODES, ControlKind::ListView, "", style::SingleSel | style::Border,
             DluRect{103, 22, 220, 113}},
            {IDC_BRIDGE_INFO, ControlKind::Edit, "", style::ReadOnly, DluRect{7, 140, 316, 12}},
            {IDC_BRIDGE_TIMEOUT_LABEL, ControlKind::Static, "Timeout:", 0, DluRect{7, 159, 32, 9}},
            {IDC_BRIDGE_TIMEOUT, ControlKind::Edit, "", style::Number, DluRect{40, 157, 36, 12}},
            {IDC_BRIDGE_TIMEOUT_UNIT, ControlKind::Static, "ms", 0, DluRect{79, 159, 12, 9}},
            {IDC_BRIDGE_OPTIONS, ControlKind::Button, "Options...", 0, DluRect{103, 156, 50, 14}},
            {IDC_BRIDGE_TIMINGS, ControlKind::Button, "Timings...", style::Hidden, DluRect{157, 156, 50, 14}},
            {IDC_BRIDGE_DETAILS, ControlKind::Button, "Details...", 0, DluRect{157, 156, 50, 14}},
            {IDC_BRIDGE_RESET_BRIDGE, ControlKind::Button, "Reset bridge", 0, DluRect{211, 156, 54, 14}},
            {IDC_BRIDGE_RESET_BUS, ControlKind::Button, "Reset bus", 0, DluRect{269, 156, 54, 14}},
            {platform::IDOK, ControlKind::DefaultButton, "Connect", 0, DluRect{215, 179, 52, 14}},
            {platform::IDCANCEL, ControlKind::Button, "Cancel", 0, DluRect{271, 179, 52, 14}}}}),
      bridge_(bridge),
      options_(options) {
    OnCommand(IDC_BRIDGE_SEARCH, Notify::Clicked, [this] { Search(); });
    OnCommand(IDC_BRIDGE_RESET_BUS, Notify::Clicked, [this] { OnResetBus(); });
    OnCommand(IDC_BRIDGE_RESET_BRIDGE, Notify::Clicked, [this] { OnResetBridge(); });
    OnCommand(IDC_BRIDGE_DETAILS, Notify::Clicked, [this] { OnDetails(); });
    OnCommand(IDC_BRIDGE_OPTIONS, Notify::Clicked, [this] { OnOptions(); });
    OnMessageId(foundation::kConnectScanMessage, [this](uintptr_t, intptr_t) {
        OnNodesFound();
        return intptr_t{1};
    });
    OnMessageId(foundation::kConnectScanProgressMessage, [this](uintptr_t position, intptr_t range) {
        OnProgress(position, range);
        return intptr_t{1};
    });
}

CDlgConnectBridge::~CDlgConnectBridge() {
    StopScan();
    scan_.reset();
}

void CDlgConnectBridge::StopScan() {
    if (scan_) scan_->Stop();
}

bool CDlgConnectBridge::OnInitDialog() {
    Dialog::OnInitDialog();
    showBus_ = options_.showBus;
    scan_ = std::make_unique<transport::CBridgeNodeScan>(bridge_, Handle());
    const uint32_t a = bridge_.Address();
    Wx()->SetLabel(wxString::FromUTF8(Format("%u.%u.%u.%u - %s - %s", a >> 24, (a >> 16) & 0xFF,
                                             (a >> 8) & 0xFF, a & 0xFF, bridge_.GetVersionText().c_str(),
                                             bridge_.Description().c_str())));
    if (auto* buses = ItemAs<wxListCtrl>(IDC_BRIDGE_BUSES)) {
        buses->InsertColumn(0, "Type");
        buses->InsertColumn(1, "Subnet");
        long row = 0;
        for (const CBusInfo& bus : bridge_.BusList()) {
            buses->InsertItem(row, BusKindName(bus.kind));
            buses->SetItem(row, 1, wxString::Format("%d", static_cast<int>(bus.number)));
            ++row;
        }
        buses->SetColumnWidth(0, wxLIST_AUTOSIZE_USEHEADER);
        buses->SetColumnWidth(1, wxLIST_AUTOSIZE_USEHEADER);
        buses->Bind(wxEVT_LIST_ITEM_SELECTED, [this](wxListEvent&) { OnBusSelected(); });
        buses->Bind(wxEVT_LIST_ITEM_ACTIVATED, [this](wxListEvent&) { Search(); });
    }
    if (auto* nodes = ItemAs<wxListCtrl>(IDC_BRIDGE_NODES)) {
        nodes->InsertColumn(0, "Id", wxLIST_FORMAT_LEFT, 40);
        nodes->InsertColumn(1, "Name", wxLIST_FORMAT_LEFT, 230);
        nodes->InsertColumn(2, "State", wxLIST_FORMAT_LEFT, 120);
        nodes->Bind(wxEVT_LIST_ITEM_SELECTED, [this](wxListEvent&) { OnNodeSelected(); });
        nodes->Bind(wxEVT_LIST_ITEM_ACTIVATED, [this](wxListEvent&) { OnOK(); });
    }
    SetItemText(IDC_BRIDGE_TIMEOUT, "2000");
    if (!showBus_) {
        ShowItem(IDC_BRIDGE_BUSES, false);
        ShowItem(IDC_BRIDGE_BUS_LABEL, false);
        if (wxWindow* nodes = Item(IDC_BRIDGE_NODES)) {
            const wxRect busArea = Item(IDC_BRIDGE_BUSES)->GetRect();
            const wxRect nodeArea = nodes->GetRect();
            nodes->SetSize(busArea.x, nodeArea.y, nodeArea.GetRight() - busArea.x, nodeArea.height);
        }
    }
    return true;
}

const CBusInfo* CDlgConnectBridge::SelectedBus() const {
    const int row = SelectedRow(ItemAs<wxListCtrl>(IDC_BRIDGE_BUSES));
    const std::vector<CBusInfo>& buses = bridge_.BusList();
    return row >= 0 && static_cast<size_t>(row) < buses.size() ? &buses[static_cast<size_t>(row)] : nullptr;
}

bool CDlgConnectBridge::SelectBus(int row) {
    auto* buses = ItemAs<wxListCtrl>(IDC_BRIDGE_BUSES);
    if (!buses || row < 0 || row >= buses->GetItemCount()) return false;
    buses->SetItemState(row, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED,
                        wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
    return true;
}

bool CDlgConnectBridge::SelectNode(int row) {
    auto* nodes = ItemAs<wxListCtrl>(IDC_BRIDGE_NODES);
    if (!nodes || row < 0 || row >= nodes->GetItemCount()) return false;
    nodes->SetItemState(row, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED,
                        wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
    return true;
}

int CDlgConnectBridge::NodeRows() const {
    const auto* nodes = ItemAs<wxListCtrl>(IDC_BRIDGE_NODES);
    return nodes ? nodes->GetItemCount() : 0;
}

std::string CDlgConnectBridge::NodeCell(int row, int column) const {
    const auto* nodes = ItemAs<wxListCtrl>(IDC_BRIDGE_NODES);
    return nodes ? nodes->GetItemText(row, column).utf8_string() : std::string();
}

void CDlgConnectBridge::Search() {
    timeoutMs_ = transport::ScanTimeoutMs(GetItemText(IDC_BRIDGE_TIMEOUT));
    SetItemText(IDC_BRIDGE_INFO, "");
    if (auto* nodes = ItemAs<wxListCtrl>(IDC_BRIDGE_NODES)) nodes->DeleteAllItems();
    nodes_.clear();
    if (!scan_ || scan_->Running()) return;
    scan_->TakeNodes();  // what an earlier, stopped scan left
    std::vector<CBusInfo> buses;
    if (showBus_) {
        currentBus_ = SelectedBus();
        if (!currentBus_) return;
        buses.push_back(*currentBus_);
    } else {
        buses = bridge_.BusList();
        currentBus_ = buses.empty() ? nullptr : &bridge_.BusList().front();
    }
    scan_->Start(std::move(buses));
}

void CDlgConnectBridge::OnNodesFound() {
    if (!scan_) return;
    auto* list = ItemAs<wxListCtrl>(IDC_BRIDGE_NODES);
    for (transport::CBusNodeData& node : scan_->TakeNodes()) {
        if (list) {
            const long row = list->InsertItem(list->GetItemCount(),
                                              wxString::Format("%d", static_cast<int>(node.address)));
            list->SetItem(row, 1, wxString::FromUTF8(node.name));
            list->SetItem(row, 2, wxString::FromUTF8(node.state));
            list->SetItemBackgroundColour(row, ColourOf(node.colour));
        }
        nodes_.push_back(std::move(node));
    }
}

void CDlgConnectBridge::OnProgress(uintptr_t position, intptr_t range) {
    if (auto* gauge = ItemAs<wxGauge>(IDC_BRIDGE_PROGRESS)) {
        if (range > 0 && gauge->GetRange() != range) gauge->SetRange(static_cast<int>(range));
        if (static_cast<intptr_t>(position) <= gauge->GetRange()) gauge->SetValue(static_cast<int>(position));
    }
}

void CDlgConnectBridge::OnNodeSelected() {
    const int row = SelectedRow(ItemAs<wxListCtrl>(IDC_BRIDGE_NODES));
    if (row >= 0 && static_cast<size_t>(row) < nodes_.size())
        SetItemText(IDC_BRIDGE_INFO, nodes_[static_cast<size_t>(row)].identity);
}

void CDlgConnectBridge::OnBusSelected() {
    if (options_.autoScan && !Scanning()) Search();
}

void CDlgConnectBridge::OnOK() {
    StopScan();
    OnNodesFound();  // rows whose message is still on its way
    const int row = SelectedRow(ItemAs<wxListCtrl>(IDC_BRIDGE_NODES));
    if (!currentBus_ || row < 0 || static_cast<size_t>(row) >= nodes_.size()) {
        EndDialog(platform::IDCANCEL);
        return;
    }
    const transport::CBusNodeData& node = nodes_[static_cast<size_t>(row)];
    choice_.subnetType = SubnetTypeOfBusKind(currentBus_->kind);
    choice_.subnetNumber = currentBus_->number;
    choice_.node = node.address;
    choice_.timeoutMs = timeoutMs_;
    bridge_.SetCurrentNode(node.address);
    EndDialog(platform::IDOK);
}

void CDlgConnectBridge::OnCancel() {
    StopScan();
    EndDialog(platform::IDCANCEL);
}

void CDlgConnectBridge::OnDestroy() {
    StopScan();
    Dialog::OnDestroy();
}

void CDlgConnectBridge::OnResetBus() {
    if (platform::Prompts().MessageBox(kResetBusText, "Bus reset", platform::MB_OKCANCEL) != platform::IDOK)
        return;
    std::string text;
    const CBusInfo* bus = showBus_ ? SelectedBus() : nullptr;
    platform::ui::RunBusy(Wx(), "Bus reset", [&] {
        text = showBus_ ? scan_->ResetBus(bus) : scan_->ResetAllBuses(bridge_.BusList());
    });
    SetItemText(IDC_BRIDGE_INFO, text);
}

void CDlgConnectBridge::OnResetBridge() {
    if (platform::Prompts().MessageBox(kResetBridgeText, "Bridge reset", platform::MB_OKCANCEL) !=
        platform::IDOK)
        return;
    platform::ui::RunBusy(Wx(), "Bridge reset", [&] { scan_->ResetBridge(); });
    bridgeReset_ = true;
    EndDialog(platform::IDCANCEL);
}

void CDlgConnectBridge::OnDetails() {
    platform::Prompts().MessageBox(Format("Protocol version: %lu\r\nSend buffer: %lu bytes\r\nReceive "
                                          "buffer: %lu bytes\r\nCycle time: %lu us",
                                          static_cast<unsigned long>(bridge_.Wire().version),
                                          static_cast<unsigned long>(bridge_.SendSize()),
                                          static_cast<unsigned long>(bridge_.ReceiveSize()),
                                          static_cast<unsigned long>(bridge_.CycleUs())),
                                   "Bridge info", platform::MB_OK);
}

void CDlgConnectBridge::OnOptions() {
    CDlgConnectBridgeOpt dialog(options_);
    if (dialog.DoModal(Wx()) == platform::IDOK) options_ = dialog.options;
}

// ---- the bridge manager's shell

int CBridgeDialogShell::ConnectDialog(transport::CBridgeCodesys& manager, transport::CBridgeVkr& bridge) {
    int answer = platform::IDCANCEL;
    bool reset = false;
    BridgeChoice choice;
    {
        CDlgConnectBridge dialog(bridge, options);
        answer = dialog.DoModal();
        reset = dialog.BridgeWasReset();
        choice = dialog.Choice();
    }  // the dialog's scan is joined and its group given back before the bridge may go
    if (reset) {
        manager.RemoveAll();
        return platform::IDCANCEL;
    }
    if (answer == platform::IDOK) {
        manager.SelectNode(bridge.Address(), choice.subnetType, choice.subnetNumber, choice.node);
        manager.defaultTimeoutMs = choice.timeoutMs;
    }
    return answer;
}

}  // namespace app
