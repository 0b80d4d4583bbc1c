// The drive errors window against the simulated drive on loopback, opened from the main dialog's
// "Show errors": the tree follows the drive, "Pause" holds it, the reset clears the fault and
// the ESI request shows its button. And the write errors report.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wx/frame.h>
#include <wx/textctrl.h>
#include <wx/treectrl.h>

#include "AppTestSupport.h"
#include "app/DlgDriveErrors.h"
#include "app/MainDlg.h"
#include "drive/ErrorReport.h"
#include "foundation/ProgramSwitches.h"
#include "platform/ui/Gui.h"
#include "platform/ui/WindowPicture.h"
#include "tests/drive/DriveObjectTestSupport.h"

using namespace app;

namespace {

constexpr uint32_t kLoopback = 0x7F000001;
using Lines = std::vector<std::string>;

class DriveErrorsWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::SetPromptService(&prompts);
        prompts.SetDefaultAnswer(platform::IDOK);
        std::string error;
        const int port = drive.sim.StartTcp(0, &error);
        ASSERT_GT(port, 0) << error;
        foundation::g_MirelBox = true;
        qd = std::make_unique<drive::CQd>(0);
        qd->ConnectionWindow().SetConnectDialog(&connectDialog);
        drive::CConnectionRecord& r = qd->ConnectionWindow().Record();
        r.bcAddress = kLoopback;
        r.boxPort = static_cast<uint16_t>(port);
        qd->ConnectionWindow().SetConnectionString("MIREL:timeout 1000");
        frame = new wxFrame(nullptr, wxID_ANY, "Tunova", wxDefaultPosition, wxSize(1100, 640));
    }
    void TearDown() override {
        frame->Destroy();
        platform::ui::ProcessPending();
        qd.reset();
        foundation::g_MirelBox = false;
        platform::SetPromptService(nullptr);
    }
    bool WaitLines(CdlgErrorDialog& dialog, const Lines& lines) {
        return platform::ui::RunUntil([&] { return dialog.TreeLines() == lines; }, 15000);
    }

    platform::ScriptedPrompts prompts;
    drivetest::DriveTree tree;
    drivetest::SimulatedDrive drive;
    drivetest::FakeConnectDialog connectDialog;
    std::unique_ptr<drive::CQd> qd;
    wxFrame* frame = nullptr;
};

}  // namespace

TEST_F(DriveErrorsWindow, FollowsTheDrivePausesResetsAndAsksForTheEsiUpdate) {
    ASSERT_EQ(qd->Connect(), 0) << qd->ConnectionWindow().LastMessage();
    auto main = std::make_unique<CPelmoraDlg>(frame, *qd);
    frame->Show();
    main->Start();
    ASSERT_EQ(main->ErrorsWindow(), nullptr);
    ASSERT_TRUE(main->ClickItem(IDC_MAIN_SHOW_ERRORS));
    CdlgErrorDialog* dialog = main->ErrorsWindow();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->Wx()->IsShown());
    EXPECT_EQ(dialog->Title(), "Show errors");
    EXPECT_TRUE(dialog->IsItemEnabled(IDC_ERRORS_RESET));
    EXPECT_FALSE(dialog->IsItemShown(IDC_ERRORS_ESI));
    EXPECT_FALSE(dialog->IsItemShown(IDC_ERRORS_HISTORY));
    EXPECT_TRUE(dialog->RefreshTimerRunning());
    EXPECT_EQ(dialog->TreeLines(), Lines{"No error [6]"});

    // The timer brings in what the drive raises.
    drive.model->RaiseFault(0x20, false);
    drive.model->RaiseWarning(2, true);
    ASSERT_TRUE(WaitLines(*dialog, {"Warnings [1]", "  Active warnings [1]", "    DC bus voltage low [1]",
                                    "  Warning history [1]", "    DC bus voltage low [1]", "Faults [2]",
                                    "  Fault history [2]", "    Following error [2]"}))
        << ::testing::PrintToString(dialog->TreeLines());
    {
        // "Warnings" and "Faults" come expanded, as their "expand" asks.
        wxTreeCtrl* t = dialog->Tree();
        wxTreeItemIdValue cookie;
        const wxTreeItemId first = t->GetFirstChild(t->GetRootItem(), cookie);
        ASSERT_TRUE(first.IsOk());
        EXPECT_TRUE(t->IsExpanded(first));
    }
    platform::ui::ProcessPending();
    EXPECT_TRUE(platform::ui::SaveWindowPicture(dialog->Wx(), AppArtifacts() / "drive_errors.png"));

    // Paused, the tree holds; released, it refreshes at once.
    ASSERT_TRUE(dialog->ClickItem(IDC_ERRORS_PAUSE));
    EXPECT_FALSE(dialog->RefreshTimerRunning());
    drive.model->ClearWarningCause(2);
    platform::ui::RunUntil([] { return false; }, 300);
    EXPECT_EQ(dialog->TreeLines().size(), 8u);
    ASSERT_TRUE(dialog->ClickItem(IDC_ERRORS_PAUSE));
    EXPECT_TRUE(dialog->RefreshTimerRunning());
    EXPECT_EQ(dialog->TreeLines(),
              (Lines{"Warnings [1]", "  Warning history [1]", "    DC bus voltage low [1]", "Faults [2]",
                     "  Fault history [2]", "    Following error [2]"}));

    // The reset clears the histories and takes the drive out of its fault.
    ASSERT_TRUE(platform::ui::RunUntil([&] { return static_cast<int>(drive.model->State()) == 7; }, 10000));
    const size_t asked = prompts.AskedCount();
    ASSERT_TRUE(dialog->ClickItem(IDC_ERRORS_RESET));
    EXPECT_EQ(prompts.AskedCount(), asked) << prompts.Asked().back().text;
    EXPECT_EQ(dialog->TreeLines(), Lines{"No error [6]"});
    EXPECT_NE(static_cast<int>(drive.model->State()), 7);

    // The drive asks for its ESI memory to be updated.
    ASSERT_TRUE(drive.model->Set(kEsiErrorVariable, 0x200));
    dialog->RefreshTree();
    EXPECT_TRUE(dialog->IsItemShown(IDC_ERRORS_ESI));
    EXPECT_EQ(dialog->TreeLines(), (Lines{"Communication errors [1]", "  ESI eeprom must be updated [1]"}));
    EXPECT_TRUE(platform::ui::SaveWindowPicture(dialog->Wx(), AppArtifacts() / "drive_errors_esi.png"));

    // Closing hides the window and stops its timer; "Show errors" brings the same one back.
    ASSERT_TRUE(dialog->ClickItem(IDC_ERRORS_CLOSE));
    EXPECT_FALSE(dialog->Wx()->IsShown());
    EXPECT_FALSE(dialog->RefreshTimerRunning());
    ASSERT_TRUE(main->ClickItem(IDC_MAIN_SHOW_ERRORS));
    EXPECT_EQ(main->ErrorsWindow(), dialog);
    EXPECT_TRUE(dialog->Wx()->IsShown());
    EXPECT_TRUE(dialog->RefreshTimerRunning());

    main.reset();
    qd->CloseConnection(true);
}

TEST_F(DriveErrorsWindow, AFailedResetIsReportedAndTheTreeStays) {
    ASSERT_EQ(qd->Connect(), 0) << qd->ConnectionWindow().LastMessage();
    const foundation::CXmlNode* list = qd->DriveData()->FindNode("ERRORLIST");
    ASSERT_NE(list, nullptr);
    // The warning word of this drive object is one the drive does not have.
    qd->State().errorWordCells[1] = "NoSuchWarningWord";
    drive.model->RaiseWarning(1, false);
    CdlgErrorDialog dialog(*qd, list, true);
    ASSERT_TRUE(dialog.Create(frame));
    dialog.ShowWindow(true);
    const Lines before = dialog.TreeLines();
    ASSERT_EQ(before.size(), 3u);
    const size_t asked = prompts.AskedCount();
    EXPECT_FALSE(dialog.ResetErrors());
    ASSERT_EQ(prompts.AskedCount(), asked + 1);
    const auto question = prompts.Asked().back();
    ASSERT_EQ(question.kind, drive::kMessageDetailsPrompt);
    ASSERT_GE(question.args.size(), 2u);
    EXPECT_EQ(question.args[1], "Reset write error (DriveWarning error)");
    EXPECT_EQ(dialog.TreeLines(), before);
    EXPECT_EQ(drive.model->ReadValue("DriveWarning").value_or(0), 1) << "nothing else was written";
    dialog.DestroyWindow();
    qd->CloseConnection(true);
}

TEST(DriveErrorsWindowAlone, MissingListAndNoResetOffline) {
    drive::CQd qd(0);
    CdlgErrorDialog dialog(qd, nullptr, false);
    ASSERT_TRUE(dialog.Create(nullptr));
    dialog.ShowWindow(true);
    EXPECT_EQ(dialog.TreeLines(), Lines{"Internal error! Missing error description! [0]"});
    EXPECT_FALSE(dialog.IsItemEnabled(IDC_ERRORS_RESET));
    dialog.DestroyWindow();
}

TEST(WriteErrorsReport, ShowsEachLineEndedByCrLf) {
    const std::vector<std::string> lines = {"MaxCurrent: write error", "MaxVelocity: out of range"};
    EXPECT_EQ(CdlgErrorsReport::Text(lines), "MaxCurrent: write error\r\nMaxVelocity: out of range\r\n");
    CdlgErrorsReport report;
    report.caption = "Write errors report:";
    report.lines = &lines;
    ASSERT_TRUE(report.Create(nullptr));
    auto* edit = report.ItemAs<wxTextCtrl>(IDC_ERRORS_REPORT_EDIT);
    ASSERT_NE(edit, nullptr);
    EXPECT_FALSE(edit->IsEditable());
    EXPECT_NE(edit->GetValue().utf8_string().find("MaxVelocity: out of range"), std::string::npos);
    EXPECT_EQ(report.Wx()->GetLabel().utf8_string(), "Write errors report:");
    platform::ui::ProcessPending();
    EXPECT_TRUE(platform::ui::SaveWindowPicture(report.Wx(), AppArtifacts() / "write_errors_report.png"));
    report.DestroyWindow();
}
