// The firmware download dialog under the display: it opens with its list, asks before an
// incompatible download, shows the progress of a running download and closes on its end.
#include <gtest/gtest.h>

#include <filesystem>

#include <wx/app.h>
#include <wx/gauge.h>
#include <wx/listctrl.h>

#include "drive/Qd.h"
#include "foundation/MessageIds.h"
#include "packages/ui/DlgDownloadFirmware.h"
#include "platform/Prompt.h"
#include "platform/ui/Gui.h"
#include "platform/ui/WindowPicture.h"
#include "tests/support/PromptScope.h"

using namespace packages;
using namespace packages::ui;

namespace {

std::filesystem::path Artifacts() {
    return std::filesystem::path(TUNOVA_BINARY_DIR) / "artifacts" / "packages_ui";
}

using platformtest::PromptScope;

std::vector<CFirmwareEntry> Entries() {
    CFirmwareEntry firmware;
    firmware.description = "Firmware 2111 v. 14.1.0 - Drive firmware";
    firmware.product = "2111";
    firmware.version = "14.1.0";
    firmware.file = "2111_14_1_0.xml";
    CFirmwareEntry incompatible = firmware;
    incompatible.description = "Firmware 2111 v. 15.0.0 - Drive firmware";
    incompatible.version = "15.0.0";
    incompatible.incompatibility =
        "firmware:Boot 300 requires Boot 300 v. 3.0.0, device has Boot 300 v. 2.0.0";
    CFirmwareEntry boot;
    boot.description = "Boot 300 v. 3.0.0";
    boot.product = "300";
    boot.version = "3.0.0";
    boot.role = 2;
    return {firmware, incompatible, boot};
}

}  // namespace

TEST(DownloadFirmwareDialog, ListsAsksShowsProgressAndClosesOnCompletion) {
    PromptScope prompts;
    drive::CQd qd(0);
    CdlgDownloadFirmware dialog(qd, 0);
    bool stepped = false;
    wxTheApp->CallAfter([&] {
        platform::ui::RunUntil([&] { return dialog.Wx() != nullptr && dialog.Wx()->IsShownOnScreen(); },
                               5000);
        dialog.SetEntries(Entries());
        auto* list = dialog.ItemAs<wxListCtrl>(IDC_FWDL_LIST);
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list->GetItemCount(), 3);
        EXPECT_EQ(list->GetItemTextColour(1), wxColour(128, 128, 128));
        EXPECT_EQ(list->GetItemTextColour(2), wxColour(0, 0, 255));

        // The incompatible one is refused with its reason.
        dialog.SelectRow(1);
        platform::ui::ProcessPending();
        EXPECT_EQ(dialog.SelectedRow(), 1);
        dialog.ClickItem(IDC_FWDL_DOWNLOAD);
        ASSERT_EQ(prompts.Prompts().AskedCount(), 1u);
        EXPECT_EQ(
            prompts.Prompts().Asked()[0].text.rfind(
                "The selected firmware is not compatible with the drive current status!\r\n\r\nfirmware:", 0),
            0u);
        EXPECT_FALSE(dialog.Logic().Running());

        // A running download as the engine reports it.
        dialog.Post(foundation::kFirmwareDownloadMessage, 32, 1000);
        dialog.Post(foundation::kFirmwareDownloadMessage, 33, 400);
        platform::ui::RunUntil(
            [&] { return dialog.GetItemText(IDC_FWDL_STATUS).rfind("Downloading", 0) == 0; }, 5000);
        platform::ui::ProcessPending();
        EXPECT_TRUE(dialog.IsItemShown(IDC_FWDL_PROGRESS));
        auto* gauge = dialog.ItemAs<wxGauge>(IDC_FWDL_PROGRESS);
        ASSERT_NE(gauge, nullptr);
        EXPECT_EQ(gauge->GetValue(), 600);
        EXPECT_TRUE(platform::ui::SaveWindowPicture(dialog.Wx(), Artifacts() / "download_firmware.png"));
        stepped = true;
        prompts.Prompts().SetDefaultAnswer(platform::IDOK);
        dialog.Post(foundation::kFirmwareDownloadMessage, 35, 1000);
    });
    EXPECT_EQ(dialog.DoModal(), 0);
    EXPECT_TRUE(stepped);
    EXPECT_EQ(prompts.Prompts().Asked().back().text, "Download completed");
}
