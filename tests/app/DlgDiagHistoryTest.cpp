// The diagnosis history window over the simulated drive's history: read, poll, copy, errors.
#include <gtest/gtest.h>
#include <wx/window.h>

#include "../drive/DiagHistorySimSupport.h"
#include "AppTestSupport.h"
#include "app/DlgDiagHistory.h"
#include "controls/GridCtrl.h"
#include "platform/Prompt.h"
#include "platform/ui/Gui.h"
#include "platform/ui/WindowPicture.h"

using namespace app;
using diaghistorytest::HistoryDescription;
using diaghistorytest::SimSource;

namespace {

class DiagHistoryWindow : public ::testing::Test {
  protected:
    void Load(std::initializer_list<const char*> switches) {
        ASSERT_TRUE(model.LoadText(HistoryDescription(32), &error)) << error;
        for (const char* s : switches) ASSERT_TRUE(model.ApplySwitch(s, &error)) << error;
    }
    bool WaitTotal(CdlgDiagHistory& dialog, const std::string& text) {
        return platform::ui::RunUntil([&] { return dialog.GetItemText(IDC_DIAG_TOTAL) == text; }, 20000);
    }

    drivesim::SimDriveModel model;
    std::string error;
};

}  // namespace

TEST_F(DiagHistoryWindow, ReadsTheHistoryPollsNewMessagesAndCopiesThemAll) {
    Load({"diag-wrap"});
    SimSource source(model);
    DiagHistoryOptions options;
    options.iso = true;
    options.periodMs = 100;
    CdlgDiagHistory dialog(source, nullptr, options);
    // The computer's clock equals the drive's (0 s): stamps are shown as the drive keeps them.
    dialog.nowUnixSeconds = [] { return drive::kDiagEpochUnixSeconds; };
    ASSERT_TRUE(dialog.Create(nullptr));
    dialog.ShowWindow(true);
    ASSERT_TRUE(WaitTotal(dialog, "35 messages")) << dialog.GetItemText(IDC_DIAG_TOTAL);
    controls::CGridCtrl* grid = dialog.Grid();
    ASSERT_EQ(grid->GetRowCount(), 36);
    EXPECT_EQ(grid->GetItemText(1, 3), "Logger event 35 (0x23)");  // newest on top
    EXPECT_EQ(grid->GetItemText(35, 3), "Logger event 1 (0x1)");
    EXPECT_EQ(grid->GetItemText(1, 2), drive::FormatDiagTimestamp(35000000000ULL, true, false));

    // The poll thread (started by the read) brings in new messages at the top.
    ASSERT_TRUE(platform::ui::RunUntil([&] { return dialog.PollRunning(); }, 5000));
    model.WithDiagHistory([](drivesim::SimDiagHistory& h) { h.AddNumbered(2); });
    ASSERT_TRUE(WaitTotal(dialog, "32 messages")) << dialog.GetItemText(IDC_DIAG_TOTAL);  // at most the ring
    EXPECT_EQ(grid->GetItemText(1, 3), "Logger event 37 (0x25)");

    // Paused, the poll reads nothing; "Update" reads once and the poll runs again afterwards.
    ASSERT_TRUE(dialog.PausePollThread(5000));
    const int uploads = source.uploads;
    model.WithDiagHistory([](drivesim::SimDiagHistory& h) { h.AddNumbered(1); });
    platform::ui::RunUntil([] { return false; }, 300);
    EXPECT_EQ(source.uploads, uploads);
    EXPECT_EQ(grid->GetItemText(1, 3), "Logger event 37 (0x25)");
    ASSERT_TRUE(dialog.StartPollThread());
    ASSERT_TRUE(
        platform::ui::RunUntil([&] { return grid->GetItemText(1, 3) == "Logger event 38 (0x26)"; }, 20000));

    const std::string copied = dialog.CopyAllText();
    ASSERT_GE(copied.size(), 2u);
    EXPECT_EQ(copied.front(), '[');
    EXPECT_EQ(copied.back(), ']');
    EXPECT_NE(copied.find("\"Text\":\"Logger event 38 (0x26)\""), std::string::npos);
    platform::ScriptedPrompts prompts;
    platform::SetPromptService(&prompts);
    EXPECT_TRUE(dialog.ClickItem(IDC_DIAG_COPY));
    platform::SetPromptService(nullptr);
    // Either on the clipboard, or the user is told it could not be.
    if (prompts.AskedCount() == 0)
        EXPECT_EQ(dialog.GetItemText(IDC_DIAG_STATUS), "Data copied to Clipboard");
    else
        EXPECT_EQ(prompts.Asked()[0].text, "Cannot open the Clipboard");
    EXPECT_TRUE(platform::ui::SaveWindowPicture(dialog.Wx(), AppArtifacts() / "diag_history.png"));

    // Hiding stops polling unless it is to remain active; closing the window ends every thread.
    dialog.ShowWindow(false);
    EXPECT_FALSE(dialog.PollRunning());
    dialog.DestroyWindow();
    EXPECT_FALSE(dialog.PollRunning());
    EXPECT_FALSE(dialog.Uploading());
}

TEST_F(DiagHistoryWindow, ABadNewestSlotShowsAnErrorAndNothingPolls) {
    Load({"diag-messages=5", "diag-newest=99"});
    SimSource source(model);
    CdlgDiagHistory dialog(source, nullptr, DiagHistoryOptions{});
    ASSERT_TRUE(dialog.Create(nullptr));
    dialog.ShowWindow(true);
    ASSERT_TRUE(WaitTotal(dialog, "0 messages"));
    EXPECT_NE(dialog.GetItemText(IDC_DIAG_STATUS).find("outside"), std::string::npos)
        << dialog.GetItemText(IDC_DIAG_STATUS);
    EXPECT_FALSE(dialog.PollRunning());
    EXPECT_FALSE(dialog.StartPollThread());
    EXPECT_TRUE(platform::ui::SaveWindowPicture(dialog.Wx(), AppArtifacts() / "diag_history_error.png"));
    dialog.DestroyWindow();
}
