#pragma once
// The "Communication" window of a drive reached through the fieldbus bridge: the bridge's address,
// identity and counters, the node's error count and timings, a capture of the node's error log,
// and the bridge's own log channel.

#include <cstdint>
#include <string>

#include "platform/ui/ControlHost.h"

namespace transport {
class CBridgeCodesys;
class CBridgeVkr;
struct CBridgeNode;
}  // namespace transport

namespace app {

enum : int {
    IDC_COMM_LOG_START = 520,
    IDC_COMM_BRIDGE_STOP = 1146,
    IDC_COMM_TIMINGS = 1147,
    IDC_COMM_LOG_TEXT = 1268,
    IDC_COMM_BUFFER_SIZE = 1301,
    IDC_COMM_BRIDGE_START = 1302,
    IDC_COMM_LEVEL = 1303,
    IDC_COMM_COPY = 2170,
    IDC_COMM_CLEAR,
    IDC_COMM_ADDRESS,
    IDC_COMM_COMPANY,
    IDC_COMM_PROTOCOL,
    IDC_COMM_BUS,
    IDC_COMM_NODE,
    IDC_COMM_CYCLE,
    IDC_COMM_SEND_BUFFER,
    IDC_COMM_RECEIVE_BUFFER,
    IDC_COMM_ERRORS,
    IDC_COMM_READ_TIME,
    IDC_COMM_USER_TIMEOUT,
    IDC_COMM_LABEL_FIRST,  // labels and units after this
};

constexpr unsigned kCommStatusTimer = 2415;
constexpr unsigned kCommStatusPeriodMs = 330;

class CCommStatusDlg : public platform::ui::Dialog {
  public:
    // The manager and its current node's bridge stay valid while the window lives.
    explicit CCommStatusDlg(transport::CBridgeCodesys& manager);
    ~CCommStatusDlg() override;

    // The refresh the timer runs (tests call it directly).
    void Refresh();
    bool Capturing() const { return capturing_; }
    const std::string& CapturedText() const { return captured_; }

  protected:
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void OnDestroy() override;
    void OnTimer(unsigned id) override;

  private:
    void ShowFigures();
    void OnLogStartStop();
    void OnCopy();
    void OnClear();
    void OnBridgeLogStart();
    void OnBridgeLogStop();
    transport::CBridgeNode* Node() const;
    transport::CBridgeVkr* Bridge() const;

    transport::CBridgeCodesys& manager_;
    uint32_t shownErrors_ = 0xFFFFFFFFu;
    std::string captured_;
    bool capturing_ = false;
};

}  // namespace app
