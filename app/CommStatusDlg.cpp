#include "app/CommStatusDlg.h"

#include <optional>

#include "foundation/Version.h"
#include "platform/Clock.h"
#include "platform/Prompt.h"
#include "platform/ui/CommonDialogs.h"
#include "transport/BridgeCodesys.h"
#include "transport/BridgeVkr.h"
#include "transport/ChannelTrace.h"

#include <wx/textctrl.h>

namespace app {

using platform::ui::ControlKind;
using platform::ui::ControlSpec;
using platform::ui::DluRect;
using platform::ui::Notify;
namespace style = platform::ui::style;
using transport::Format;

namespace {

std::vector<ControlSpec> CommStatusControls() {
    std::vector<ControlSpec> c;
    int label = IDC_COMM_LABEL_FIRST;
    // Left column: narrow labels, wide values; right column: wide labels, numbers and units.
    auto row = [&](const char* caption, int value, int y, int x = 7, const char* unit = nullptr) {
        const bool left = x == 7;
        const int labelWidth = left ? 55 : 98;
        const int valueX = x + labelWidth + 2;
        const int valueWidth = left ? 100 : 36;
        c.push_back({label++, ControlKind::Static, caption, 0, DluRect{x, y, labelWidth, 9}});
        c.push_back({value, ControlKind::Static, "", 0, DluRect{valueX, y, valueWidth, 9}});
        if (unit)
            c.push_back({label++, ControlKind::Static, unit, 0, DluRect{valueX + valueWidth + 2, y, 18, 9}});
    };
    row("Address:", IDC_COMM_ADDRESS, 7);
    row("Company:", IDC_COMM_COMPANY, 18);
    row("Protocol:", IDC_COMM_PROTOCOL, 29);
    row("Bus:", IDC_COMM_BUS, 40);
    row("Node:", IDC_COMM_NODE, 51);
    row("Cycle time:", IDC_COMM_CYCLE, 7, 170, "us");
    row("Send buffer:", IDC_COMM_SEND_BUFFER, 18, 170, "byte");
    row("Receive buffer:", IDC_COMM_RECEIVE_BUFFER, 29, 170, "byte");
    row("Errors:", IDC_COMM_ERRORS, 40, 170);
    row("Time reading simple object:", IDC_COMM_READ_TIME, 51, 170, "ms");
    row("User timeout:", IDC_COMM_USER_TIMEOUT, 62, 170, "ms");

    c.push_back({label++, ControlKind::GroupBox, "Log error", 0, DluRect{7, 75, 321, 100}});
    c.push_back({IDC_COMM_LOG_START, ControlKind::Button, "Start", 0, DluRect{13, 87, 40, 14}});
    c.push_back({label++, ControlKind::Static, "Buffer size:", 0, DluRect{60, 90, 40, 9}});
    c.push_back({IDC_COMM_BUFFER_SIZE, ControlKind::Edit, "", style::Number, DluRect{102, 88, 40, 12}});
    c.push_back({label++, ControlKind::Static, "chars", 0, DluRect{145, 90, 20, 9}});
    c.push_back({IDC_COMM_COPY, ControlKind::Button, "Copy", 0, DluRect{230, 87, 44, 14}});
    c.push_back({IDC_COMM_CLEAR, ControlKind::Button, "Clear", 0, DluRect{278, 87, 44, 14}});
    c.push_back({IDC_COMM_LOG_TEXT, ControlKind::Edit, "", style::ReadOnly | style::Multiline,
                 DluRect{13, 105, 309, 64}});

    c.push_back({label++, ControlKind::GroupBox, "Log from bridge", 0, DluRect{7, 178, 200, 30}});
    c.push_back({IDC_COMM_BRIDGE_START, ControlKind::Button, "Start", 0, DluRect{13, 189, 40, 14}});
    c.push_back({IDC_COMM_BRIDGE_STOP, ControlKind::Button, "Stop", 0, DluRect{57, 189, 40, 14}});
    c.push_back({label++, ControlKind::Static, "Level:", 0, DluRect{105, 192, 24, 9}});
    c.push_back({IDC_COMM_LEVEL, ControlKind::Edit, "", style::Number, DluRect{131, 190, 30, 12}});

    c.push_back(
        {IDC_COMM_TIMINGS, ControlKind::Button, "Timings...", style::Hidden, DluRect{215, 194, 50, 14}});
    c.push_back({platform::IDOK, ControlKind::DefaultButton, "OK", 0, DluRect{222, 194, 50, 14}});
    c.push_back({platform::IDCANCEL, ControlKind::Button, "Annulla", 0, DluRect{278, 194, 50, 14}});
    return c;
}

}  // namespace

CCommStatusDlg::CCommStatusDlg(transport::CBridgeCodesys& manager)
    : Dialog({"Communication", DluRect{0, 0, 335, 216}, CommStatusControls()}), manager_(manager) {
    OnCommand(IDC_COMM_LOG_START, Notify::Clicked, [this] { OnLogStartStop(); });
    OnCommand(IDC_COMM_COPY, Notify::Clicked, [this] { OnCopy(); });
    OnCommand(IDC_COMM_CLEAR, Notify::Clicked, [this] { OnClear(); });
    OnCommand(IDC_COMM_BRIDGE_START, Notify::Clicked, [this] { OnBridgeLogStart(); });
    OnCommand(IDC_COMM_BRIDGE_STOP, Notify::Clicked, [this] { OnBridgeLogStop(); });
}

CCommStatusDlg::~CCommStatusDlg() = default;

transport::CBridgeNode* CCommStatusDlg::Node() const {
    return manager_.CurrentNodeRecord();
}

transport::CBridgeVkr* CCommStatusDlg::Bridge() const {
    transport::CBridgeNode* node = Node();
    if (node && node->bridge) return node->bridge;
    return manager_.Bridge(0);
}

bool CCommStatusDlg::OnInitDialog() {
    Dialog::OnInitDialog();
    if (transport::CBridgeVkr* bridge = Bridge())
        SetItemText(IDC_COMM_LEVEL, Format("%d", bridge->LogLevel()));
    ShowFigures();
    if (!HasTimer(kCommStatusTimer)) SetTimer(kCommStatusTimer, kCommStatusPeriodMs);
    return true;
}

void CCommStatusDlg::ShowFigures() {
    transport::CBridgeVkr* bridge = Bridge();
    transport::CBridgeNode* node = Node();
    if (bridge) {
        Wx()->SetLabel(wxString::FromUTF8(bridge->GetVersionText()));
        const uint32_t a = bridge->Address();
        SetItemText(IDC_COMM_ADDRESS, Format("%u.%u.%u.%u:%u", a >> 24, (a >> 16) & 0xFF, (a >> 8) & 0xFF,
                                             a & 0xFF, static_cast<unsigned>(bridge->Port())));
        SetItemText(IDC_COMM_COMPANY, bridge->Description());
        SetItemText(IDC_COMM_PROTOCOL, Format("%d", static_cast<int>(bridge->Wire().version)));
        SetItemText(IDC_COMM_SEND_BUFFER, Format("%lu", static_cast<unsigned long>(bridge->SendSize())));
        SetItemText(IDC_COMM_RECEIVE_BUFFER,
                    Format("%lu", static_cast<unsigned long>(bridge->ReceiveSize())));
        SetItemText(IDC_COMM_CYCLE, Format("%lu", static_cast<unsigned long>(bridge->CycleUs())));
    }
    if (node) {
        SetItemText(IDC_COMM_BUS, Format("%s %d", foundation::GetBusTypeName(node->busType).c_str(),
                                         static_cast<int>(node->busId)));
        SetItemText(IDC_COMM_NODE, Format("%d", static_cast<int>(node->nodeId)));
        SetItemText(IDC_COMM_USER_TIMEOUT, Format("%lu", static_cast<unsigned long>(node->timeoutMs)));
    }
    const uint32_t readTime = node && node->bridge ? node->bridge->CellTime() : 1000;
    SetItemText(IDC_COMM_READ_TIME, Format("%lu", static_cast<unsigned long>(readTime)));
    SetItemText(IDC_COMM_BUFFER_SIZE, "1000");
}

void CCommStatusDlg::OnTimer(unsigned id) {
    if (id == kCommStatusTimer) Refresh();
}

void CCommStatusDlg::Refresh() {
    transport::CBridgeNode* node = Node();
    if (!node) return;
    const uint32_t errors = node->log.ErrorCount();
    if (errors != shownErrors_) {
        shownErrors_ = errors;
        SetItemText(IDC_COMM_ERRORS, Format("%lu", static_cast<unsigned long>(errors)));
    }
    if (!capturing_) return;
    if (std::optional<std::string> text = node->log.TakeNewText()) {
        captured_ = std::move(*text);
        if (auto* edit = ItemAs<wxTextCtrl>(IDC_COMM_LOG_TEXT)) {
            edit->ChangeValue(wxString::FromUTF8(captured_));
            edit->ShowPosition(edit->GetLastPosition());
        }
    }
}

void CCommStatusDlg::OnLogStartStop() {
    transport::CBridgeNode* node = Node();
    if (!capturing_) {
        const size_t size = transport::LogBufferSize(GetItemText(IDC_COMM_BUFFER_SIZE));
        if (size == transport::CBridgeNodeLog::kMinimumSize) SetItemText(IDC_COMM_BUFFER_SIZE, "100");
        if (node && !node->log.Capturing()) {
            const platform::LocalTime t = platform::LocalNow();
            node->log.StartCapture(
                size, Format("%s %s\r\n", Format("%04d-%02d-%02d", t.year, t.month, t.day).c_str(),
                             Format("%02d:%02d:%02d", t.hour, t.minute, t.second).c_str()));
        }
        capturing_ = true;
        SetItemText(IDC_COMM_LOG_START, "Stop");
        Refresh();
    } else {
        if (node) node->log.StopCapture();
        capturing_ = false;
        SetItemText(IDC_COMM_LOG_START, "Start");
    }
}

void CCommStatusDlg::OnCopy() {
    platform::ui::SetClipboardText(captured_);
}

void CCommStatusDlg::OnClear() {
    captured_.clear();
    SetItemText(IDC_COMM_LOG_TEXT, "");
}

void CCommStatusDlg::OnBridgeLogStart() {
    transport::CBridgeVkr* bridge = Bridge();
    if (!bridge) return;
    bridge->SetLogLevel(transport::BridgeLogLevel(GetItemText(IDC_COMM_LEVEL)));
    bridge->CmdLogConnect();
}

void CCommStatusDlg::OnBridgeLogStop() {
    if (transport::CBridgeVkr* bridge = Bridge()) bridge->CmdLogDisconnect();
}

void CCommStatusDlg::OnOK() {
    KillTimer(kCommStatusTimer);
    EndDialog(platform::IDOK);
}

void CCommStatusDlg::OnCancel() {
    KillTimer(kCommStatusTimer);
    EndDialog(platform::IDCANCEL);
}

void CCommStatusDlg::OnDestroy() {
    KillTimer(kCommStatusTimer);
    Dialog::OnDestroy();
}

}  // namespace app
