// The connect dialog's "Additional firmwares" button opens the user firmware dialog.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/window.h>

#include "app/DlgConnectDrive.h"
#include "platform/Prompt.h"
#include "platform/ui/Gui.h"

namespace {

TEST(ConnectFirmwaresButton, AsksForTheUserFirmwareDialog) {
    platform::ScriptedPrompts prompts;
    platform::SetPromptService(&prompts);
    drive::_CHANNELINFO port;
    port.SetName("COM1");
    port.type = drive::connection_kind::kSerial;
    port.flag = 1;
    port.present = 1;
    app::ConnectionRequest record;
    app::CdlgConnectDrive dialog({port}, record);
    bool enabled = false;
    wxTheApp->CallAfter([&] {
        platform::ui::RunUntil([&] { return dialog.Wx() != nullptr && dialog.Wx()->IsShownOnScreen(); },
                               10000);
        enabled = dialog.IsItemEnabled(app::IDC_CONNECT_FIRMWARES);
        dialog.ClickItem(app::IDC_CONNECT_FIRMWARES);
        dialog.EndDialog(platform::IDCANCEL);
    });
    dialog.DoModal();
    platform::SetPromptService(nullptr);
    EXPECT_TRUE(enabled);
    ASSERT_EQ(prompts.AskedCount(), 1u);
    EXPECT_EQ(prompts.Asked()[0].kind, "UserFirmware");
}

}  // namespace
