// The diagnosis history from the main dialog: "History..." opens the window, and the program's
// description of the simulated drive carries the history's ring and data-logger cells.
#include <filesystem>

#include <gtest/gtest.h>
#include <wx/frame.h>

#include "../drive/DiagHistorySimSupport.h"
#include "AppTestSupport.h"
#include "app/DlgDiagHistory.h"
#include "app/MainDlg.h"
#include "drive/DiagHistory.h"
#include "platform/ui/Gui.h"

using namespace app;

namespace {

std::filesystem::path ProgramDescription() {
    return std::filesystem::path(TUNOVA_FIXTURES).parent_path().parent_path() / "app" / "data" / "Xml" /
           "1234_2_3_1.xml";
}

TEST(ProgramDescription, TheSimulatedDrivesHistoryAndLoggerAreDescribed) {
    drivesim::SimDriveModel model;
    std::string error;
    ASSERT_TRUE(model.Load(ProgramDescription(), &error)) << error;
    ASSERT_TRUE(model.ApplySwitch("diag-wrap", &error)) << error;
    diaghistorytest::SimSource source(model);
    for (const char* name :
         {"DiagHistoryMaxMsg", "DiagHistoryNewestMsg", "DiagHistoryNewestAckMsg", "DiagHistoryNewMsgAvaible",
          "DataLoggerBUfferSize", "DataLoggerMsgSize", "DataLoggerUpload", "TimeStampManufLocal",
          "DiagHistoryMsg_1", "DiagHistoryMsg_32"})
        EXPECT_TRUE(source.HasCell(name)) << name;

    drive::DiagHistoryLayout layout;
    ASSERT_TRUE(drive::ReadDiagHistoryLayout(source, layout, error)) << error;
    EXPECT_EQ(layout.maxMsg, 32u);
    // The wrapped ring (35 messages through 32 slots): the logger holds what left the ring.
    std::vector<drive::CDiagHistoryMsg> whole;
    uint32_t newest = 0, ack = 0;
    ASSERT_TRUE(drive::ReadDiagHistory(source, layout, 0, whole, &newest, &ack, error)) << error;
    EXPECT_EQ(whole.size(), 35u);
    std::vector<drive::CDiagHistoryMsg> logged;
    EXPECT_TRUE(drive::UploadDataLogger(source, layout.msgSize, 0, logged, error)) << error;
    EXPECT_FALSE(logged.empty());
}

class MainDlgHistory : public MainDlgFixture {};

TEST_F(MainDlgHistory, HistoryButtonOpensTheWindowOnceAndItGoesWithTheDialog) {
    qd.State().className = "servo";
    {
        CPelmoraDlg dialog(frame, qd);
        frame->Show();
        platform::ui::ProcessPending();
        EXPECT_EQ(dialog.Commands().DiagHistory(), nullptr);
        dialog.ClickItem(IDC_MAIN_HISTORY);
        CdlgDiagHistory* window = dialog.Commands().DiagHistory();
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(window->Wx()->IsShown());
        dialog.ClickItem(IDC_MAIN_HISTORY);
        EXPECT_EQ(dialog.Commands().DiagHistory(), window);  // shown again, not made again
        platform::ui::ProcessPending();
    }
    platform::ui::ProcessPending();
}

}  // namespace
