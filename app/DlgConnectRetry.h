#pragma once
// The drive disappeared after a restart: retry, go offline, start a new connection or leave.

#include "platform/ui/ControlHost.h"

class wxWindow;

namespace app {

enum : int {
    IDC_RETRY_RETRY = 503,
    IDC_RETRY_OFFLINE = 504,
    IDC_RETRY_RECONNECT = 505,
    IDC_RETRY_CLOSE = 1340,
    IDC_RETRY_TEXT = 2160,
};

enum : int { kRetryRetry = 1, kRetryOffline = 2, kRetryReconnect = 3, kRetryClose = 4 };

constexpr const char* kRetryText =
    "The target was disconnected. What do you want to do?\r\n\r\nRetry:\t\tretry to connect to the "
    "target\r\nOffline:\t\tgo in offline mode\r\nReconnect:\tstart a new connection\r\nClose:\t\tleave "
    "application";

class CDlgConnectRetry : public platform::ui::Dialog {
  public:
    // Retry works only while the channel is still up; family 1 picks the first family's help.
    explicit CDlgConnectRetry(bool allowRetry, int family = 0);

  protected:
    bool OnInitDialog() override;
    // Closing the window is not an answer: the caller needs one of the four.
    void OnCancel() override {}

  private:
    void OnClose();
    bool allowRetry_;
    int family_;
};

// The help topic of the reconnect prompt.
const char* RetryHelpTopic(int family);

// The drive object's reconnect question: 1 retry, 2 offline, 3 reconnect, 4 close (confirmed).
int AskReconnect(wxWindow* parent, bool channelUp);

}  // namespace app
