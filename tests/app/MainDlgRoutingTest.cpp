// Messages posted to the main dialog window reach its commands: the frame's menu commands arrive
// as posted messages, and the options command opens the options dialog over it.
#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/frame.h>

#include "AppTestSupport.h"
#include "app/DlgOptions.h"
#include "app/MainDlg.h"
#include "drive/Qd.h"
#include "foundation/MessageIds.h"
#include "platform/Prompt.h"
#include "platform/ui/Gui.h"
#include "platform/ui/WindowPicture.h"

using namespace app;

namespace {

class MainDlgRoutingTest : public MainDlgFixture {};

TEST_F(MainDlgRoutingTest, PostedCommandsReachTheDialog) {
    qd.State().className = "servo";
    CPelmoraDlg dialog(frame, qd);
    frame->Show();
    ASSERT_TRUE(dialog.Post(foundation::kMainDlgInstallArchiveMessage));
    platform::ui::RunUntil([&] { return prompts.AskedCount() > 0; }, 5000);
    ASSERT_EQ(prompts.AskedCount(), 1u);
    EXPECT_EQ(prompts.Asked()[0].text, "Under construction");
    EXPECT_EQ(dialog.Send(kMainDlgParametersWrittenMessage, 0), 1);
    EXPECT_EQ(prompts.AskedCount(), 1u);

    // The options command runs the options dialog modally over the main dialog.
    bool sawOptions = false;
    wxTheApp->CallAfter([&] {
        CdlgOptions* options = nullptr;
        platform::ui::RunUntil(
            [&] {
                for (wxWindow* w : wxTopLevelWindows)
                    if (w->IsShownOnScreen())
                        if (auto* d = dynamic_cast<CdlgOptions*>(platform::ui::FromWx(w))) options = d;
                return options != nullptr;
            },
            5000);
        if (!options) return;
        sawOptions = true;
        platform::ui::ProcessPending();
        EXPECT_TRUE(
            platform::ui::SaveWindowPicture(options->Wx(), AppArtifacts() / "options_from_main_dialog.png"));
        options->EndDialog(platform::IDCANCEL);
    });
    EXPECT_EQ(dialog.Send(foundation::kMainDlgOptionsMessage), 1);
    EXPECT_TRUE(sawOptions);
}

}  // namespace
