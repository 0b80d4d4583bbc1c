#pragma once
// After the connection was lost: return online to the same drive or make a new connection.

#include "platform/ui/ControlHost.h"

class wxWindow;

namespace app {

enum : int {
    IDC_ONLINE_NEW = 520,
    IDC_ONLINE_RETURN = 521,
    IDC_ONLINE_TEXT = 2150,
};

// Results: -1 new connection, -2 return online, IDCANCEL.
enum : int { kOnlineNewConnection = -1, kOnlineReturn = -2 };

class CDlgConnectOnline : public platform::ui::Dialog {
  public:
    CDlgConnectOnline();
};

}  // namespace app
