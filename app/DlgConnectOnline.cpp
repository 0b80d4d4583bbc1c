#include "app/DlgConnectOnline.h"

#include "platform/Prompt.h"

namespace app {

using platform::ui::ControlKind;
using platform::ui::DluRect;

CDlgConnectOnline::CDlgConnectOnline()
    : Dialog({"New connection",
              DluRect{0, 0, 236, 62},
              {{IDC_ONLINE_TEXT, ControlKind::Static,
                "Would you like to return online or to make a new connection with a new drive?", 0,
                DluRect{7, 7, 222, 20}},
               {IDC_ONLINE_NEW, ControlKind::Button, "New connection", 0, DluRect{7, 41, 70, 14}},
               {IDC_ONLINE_RETURN, ControlKind::DefaultButton, "Return online", 0, DluRect{83, 41, 70, 14}},
               {platform::IDCANCEL, ControlKind::Button, "Cancel", 0, DluRect{159, 41, 70, 14}}}}) {
    OnCommand(IDC_ONLINE_NEW, platform::ui::Notify::Clicked, [this] { EndDialog(kOnlineNewConnection); });
    OnCommand(IDC_ONLINE_RETURN, platform::ui::Notify::Clicked, [this] { EndDialog(kOnlineReturn); });
}

}  // namespace app
