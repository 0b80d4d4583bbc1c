#include "app/DlgConnectRetry.h"

#include <wx/event.h>
#include <wx/window.h>

#include "app/HelpTopics.h"
#include "foundation/ProgramFolders.h"
#include "platform/Prompt.h"

namespace app {

using platform::ui::ControlKind;
using platform::ui::DluRect;
using platform::ui::Notify;

CDlgConnectRetry::CDlgConnectRetry(bool allowRetry, int family)
    : Dialog({"Target disconnected",
              DluRect{0, 0, 250, 96},
              {{IDC_RETRY_TEXT, ControlKind::Static, kRetryText, 0, DluRect{7, 7, 236, 60}},
               {IDC_RETRY_RETRY, ControlKind::DefaultButton, "Retry", 0, DluRect{7, 75, 56, 14}},
               {IDC_RETRY_OFFLINE, ControlKind::Button, "Offline", 0, DluRect{67, 75, 56, 14}},
               {IDC_RETRY_RECONNECT, ControlKind::Button, "Reconnect", 0, DluRect{127, 75, 56, 14}},
               {IDC_RETRY_CLOSE, ControlKind::Button, "Close", 0, DluRect{187, 75, 56, 14}}}}),
      allowRetry_(allowRetry),
      family_(family) {
    OnCommand(IDC_RETRY_RETRY, Notify::Clicked, [this] {
        if (allowRetry_) EndDialog(kRetryRetry);
    });
    OnCommand(IDC_RETRY_OFFLINE, Notify::Clicked, [this] { EndDialog(kRetryOffline); });
    OnCommand(IDC_RETRY_RECONNECT, Notify::Clicked, [this] { EndDialog(kRetryReconnect); });
    OnCommand(IDC_RETRY_CLOSE, Notify::Clicked, [this] { OnClose(); });
}

bool CDlgConnectRetry::OnInitDialog() {
    EnableItem(IDC_RETRY_RETRY, allowRetry_);
    Wx()->Bind(wxEVT_HELP, [this](wxHelpEvent&) { ShowHelpTopic(RetryHelpTopic(family_)); });
    return true;
}

void CDlgConnectRetry::OnClose() {
    if (platform::Prompts().MessageBox(
            "Exit program!", foundation::kProgramName,
            platform::MB_YESNO | platform::MB_ICONQUESTION | platform::MB_DEFBUTTON2) == platform::IDYES)
        EndDialog(kRetryClose);
}

const char* RetryHelpTopic(int family) {
    return family == 1 ? "Tarvik.chm::/ch08s06.html" : "Tarvik.chm::/ID_SECT_Sconnessione.html";
}

int AskReconnect(wxWindow* parent, bool channelUp) {
    CDlgConnectRetry dialog(channelUp);
    const int result = dialog.DoModal(parent);
    return result >= kRetryRetry && result <= kRetryClose ? result : kRetryOffline;
}

}  // namespace app
