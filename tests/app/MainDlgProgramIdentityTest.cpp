// The main dialog's row with the drive program's identity, against the simulated drive on
// loopback: filled after connecting, read again on request, stopped (and joined) when the drive
// object releases the node, emptied when the drive stops answering.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/frame.h>

#include "AppTestSupport.h"
#include "app/MainDlg.h"
#include "drive/ProgramIdentity.h"
#include "platform/ui/Gui.h"
#include "platform/ui/WindowPicture.h"
#include "tests/drive/DriveObjectTestSupport.h"

using namespace app;

namespace {

class MainDlgProgramIdentity : public ::testing::Test {
  protected:
    void SetUp() override {
        prompts.Prompts().SetDefaultAnswer(platform::IDOK);
        std::string error;
        const std::string port = drive.sim.StartPty(&error);
        ASSERT_FALSE(port.empty()) << error;
        enginetest::RegisterPort("programidentity", port);
        qd = std::make_unique<drive::CQd>(0);
        qd->ConnectionWindow().SetConnectDialog(&connectDialog);
        qd->ConnectionWindow().SetConnectionString(port + ":timeout 300");
        frame = new wxFrame(nullptr, wxID_ANY, "Tunova", wxDefaultPosition, wxSize(1100, 640));
    }
    void TearDown() override {
        frame->Destroy();
        platform::ui::ProcessPending();
        if (qd) qd->CloseConnection(false);
        qd.reset();
        enginetest::UnregisterPort("programidentity");
    }

    enginetest::PromptScope prompts;
    drivetest::DriveTree tree;
    drivetest::SimulatedDrive drive;
    drivetest::FakeConnectDialog connectDialog;
    std::unique_ptr<drive::CQd> qd;
    wxFrame* frame = nullptr;
};

TEST_F(MainDlgProgramIdentity, ShownAfterConnectReadAgainStoppedAndEmptiedOnFailure) {
    ASSERT_EQ(qd->Connect(), 0) << qd->ConnectionWindow().LastMessage();
    ASSERT_TRUE(qd->IsProgrammable());
    auto dialog = std::make_unique<CPelmoraDlg>(frame, *qd);
    frame->Show();
    dialog->Start();
    EXPECT_TRUE(dialog->IsItemShown(IDC_MAIN_PROGRAM_NAME));
    ASSERT_TRUE(platform::ui::RunUntil(
        [&] { return dialog->GetItemText(IDC_MAIN_PROGRAM_NAME) == "Demo axis program"; }, 10000))
        << dialog->GetItemText(IDC_MAIN_PROGRAM_NAME);
    // The connect opened the program machine, so the identity comes from its record.
    EXPECT_EQ(dialog->GetItemText(IDC_MAIN_PROGRAM_DETAIL), "Rev. 3");
    EXPECT_FALSE(dialog->HasTimer(kTimerProgramIdentity)) << "the timer runs only while a read does";
    platform::ui::ProcessPending();
    EXPECT_TRUE(platform::ui::SaveWindowPicture(frame, AppArtifacts() / "main_program_identity.png"));

    // After an erase or a save the identity is read again.
    ASSERT_TRUE(drive.model->SetText(drive::kProgramNameCell, "Line 2"));
    dialog->RefreshProgramIdentity();
    EXPECT_TRUE(
        platform::ui::RunUntil([&] { return dialog->GetItemText(IDC_MAIN_PROGRAM_NAME) == "Line 2"; }, 10000))
        << dialog->GetItemText(IDC_MAIN_PROGRAM_NAME);

    // A request while a read runs is not lost: another read follows the running one.
    dialog->RefreshProgramIdentity();
    ASSERT_TRUE(drive.model->SetText(drive::kProgramNameCell, "Line 3"));
    dialog->RefreshProgramIdentity();
    EXPECT_TRUE(
        platform::ui::RunUntil([&] { return dialog->GetItemText(IDC_MAIN_PROGRAM_NAME) == "Line 3"; }, 10000))
        << dialog->GetItemText(IDC_MAIN_PROGRAM_NAME);
    EXPECT_TRUE(platform::ui::RunUntil([&] { return !dialog->HasTimer(kTimerProgramIdentity); }, 10000));

    // Releasing the node stops a refresh that may still be reading, and waits for it.
    dialog->RefreshProgramIdentity();
    qd->ReleaseNode();
    EXPECT_FALSE(dialog->ProgramRefreshRunning());
    EXPECT_FALSE(dialog->HasTimer(kTimerProgramIdentity));

    // A drive that no longer answers: nothing is shown and both values are unknown.
    drive.sim.Stop();
    dialog->RefreshProgramIdentity();
    EXPECT_TRUE(platform::ui::RunUntil(
        [&] { return dialog->ProgramIdentityShown().first == drive::kUnknownProgramValue; }, 30000));
    EXPECT_EQ(dialog->ProgramIdentityShown().second, drive::kUnknownProgramValue);
    EXPECT_EQ(dialog->GetItemText(IDC_MAIN_PROGRAM_NAME), "");
    EXPECT_EQ(dialog->GetItemText(IDC_MAIN_PROGRAM_DETAIL), "");
    dialog->Stop();
    dialog.reset();
}

}  // namespace
