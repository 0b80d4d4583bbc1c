// The fieldbus connection dialogs and the communication status window, against the simulated
// bridge and ADS router on loopback: scan, choice, resets, errors; a picture of each.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/window.h>

#include "../transport/AdsTestSupport.h"
#include "../transport/BridgeTestUtil.h"
#include "AppTestSupport.h"
#include "app/CommStatusDlg.h"
#include "app/DlgConnectBridge.h"
#include "app/DlgConnectTca.h"
#include "foundation/CompatChecker.h"
#include "platform/Prompt.h"
#include "platform/ui/Gui.h"
#include "platform/ui/WindowPicture.h"
#include "tools/drivesim/BridgeServer.h"
#include "transport/BridgeCodesys.h"
#include "transport/BridgeVkr.h"

using namespace app;

namespace {

constexpr uint32_t kLoopback = 0x7F000001;

// Runs the dialog modally; the picture is taken once it shows, then step runs, and a dialog still open
// afterwards is cancelled.
template <class D, class F>
int RunModal(D& dialog, const std::string& picture, F step) {
    wxTheApp->CallAfter([&dialog, picture, step] {
        platform::ui::RunUntil([&] { return dialog.Wx() != nullptr && dialog.Wx()->IsShownOnScreen(); },
                               5000);
        platform::ui::ProcessPending();
        if (!picture.empty()) {
            EXPECT_TRUE(platform::ui::SaveWindowPicture(dialog.Wx(), AppArtifacts() / picture));
        }
        step();
        platform::ui::ProcessPending();
        if (dialog.IsModal()) dialog.EndDialog(platform::IDCANCEL);
    });
    return dialog.DoModal();
}

class BridgeDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::SetPromptService(&prompts);
        std::string error;
        ASSERT_GT(server.Start(0, &error), 0) << error;
        server.AddNode(1, 1).state = 1;
        server.AddNode(1, 5).state = 3;
        server.AddNode(1, 7).state = 9;  // a state no table lists
        bridge.SetPort(static_cast<uint16_t>(server.Port()));
        bridge.SetTimings(bridge_test::FastTimings());
        ASSERT_TRUE(bridge.Connect("127.0.0.1")) << bridge.LastErrorText();
    }
    void TearDown() override {
        bridge.Disconnect();
        server.Stop();
        platform::SetPromptService(nullptr);
    }
    static bool ScanDone(CDlgConnectBridge& dialog, int rows) {
        return platform::ui::RunUntil([&] { return !dialog.Scanning() && dialog.NodeRows() == rows; }, 20000);
    }

    platform::ScriptedPrompts prompts;
    drivesim::BridgeServer server;
    transport::CBridgeVkr bridge;
    BridgeDialogOptions options;
};

TEST_F(BridgeDialogTest, ScanShowsTheNodesAndConnectReturnsTheChoice) {
    CDlgConnectBridge dialog(bridge, options);
    const int result = RunModal(dialog, "", [&] {
        dialog.SetItemText(IDC_BRIDGE_TIMEOUT, "50");
        ASSERT_TRUE(dialog.SelectBus(0));
        dialog.ClickItem(IDC_BRIDGE_SEARCH);
        ASSERT_TRUE(ScanDone(dialog, 2));
        EXPECT_EQ(dialog.NodeCell(0, 0), "1");
        EXPECT_EQ(dialog.NodeCell(0, 2), "operational");
        EXPECT_EQ(dialog.NodeCell(1, 0), "5");
        EXPECT_EQ(dialog.NodeCell(1, 1), "???");
        EXPECT_EQ(dialog.NodeCell(1, 2), "pre-operational");
        ASSERT_TRUE(dialog.SelectNode(1));
        platform::ui::ProcessPending();
        EXPECT_EQ(dialog.GetItemText(IDC_BRIDGE_INFO), "vendor: 0    fw: 0 ver. 0    hw: 0");
        EXPECT_TRUE(platform::ui::SaveWindowPicture(dialog.Wx(), AppArtifacts() / "connect_bridge.png"));
        dialog.ClickItem(platform::IDOK);
    });
    EXPECT_EQ(result, platform::IDOK);
    EXPECT_EQ(dialog.Choice().subnetType, 2);
    EXPECT_EQ(dialog.Choice().subnetNumber, 0);
    EXPECT_EQ(dialog.Choice().node, 5);
    EXPECT_EQ(dialog.Choice().timeoutMs, 100u);  // 50 typed
    EXPECT_EQ(bridge.CurrentNode(), 5);
}

TEST_F(BridgeDialogTest, ConnectWithoutANodeCancels) {
    CDlgConnectBridge dialog(bridge, options);
    const int result = RunModal(dialog, "", [&] {
        ASSERT_TRUE(dialog.SelectBus(0));
        dialog.ClickItem(IDC_BRIDGE_SEARCH);
        dialog.ClickItem(platform::IDOK);  // while the scan runs: it is stopped first
    });
    EXPECT_EQ(result, platform::IDCANCEL);
    EXPECT_FALSE(dialog.Scanning());
}

TEST_F(BridgeDialogTest, ResetBusResetsTheSelectedBusOrEveryBusWithoutTheList) {
    {
        CDlgConnectBridge dialog(bridge, options);
        RunModal(dialog, "", [&] {
            prompts.PushAnswer(platform::IDOK);
            dialog.ClickItem(IDC_BRIDGE_RESET_BUS);
            EXPECT_EQ(dialog.GetItemText(IDC_BRIDGE_INFO), "Bus not selected");
            ASSERT_TRUE(dialog.SelectBus(1));
            prompts.PushAnswer(platform::IDOK);
            dialog.ClickItem(IDC_BRIDGE_RESET_BUS);
            EXPECT_EQ(dialog.GetItemText(IDC_BRIDGE_INFO), "Bus reset done");
            prompts.PushAnswer(platform::IDCANCEL);  // asked, not confirmed: nothing happens
            dialog.ClickItem(IDC_BRIDGE_RESET_BUS);
        });
        EXPECT_EQ(server.BusResets(1), 0);
        EXPECT_EQ(server.BusResets(2), 1);
        ASSERT_GE(prompts.AskedCount(), 1u);
        EXPECT_EQ(prompts.Asked()[0].caption, "Bus reset");
    }
    options.showBus = false;
    CDlgConnectBridge dialog(bridge, options);
    RunModal(dialog, "connect_bridge_no_bus_list.png", [&] {
        EXPECT_FALSE(dialog.IsItemShown(IDC_BRIDGE_BUSES));
        prompts.PushAnswer(platform::IDOK);
        dialog.ClickItem(IDC_BRIDGE_RESET_BUS);
        EXPECT_EQ(dialog.GetItemText(IDC_BRIDGE_INFO), "All buses reset done");
        // Without the list the scan walks the buses from the first.
        dialog.ClickItem(IDC_BRIDGE_SEARCH);
        ASSERT_TRUE(ScanDone(dialog, 2));
    });
    EXPECT_EQ(server.BusResets(1), 1);
    EXPECT_EQ(server.BusResets(2), 2);
}

TEST_F(BridgeDialogTest, ResetBridgeThroughTheManagerDropsEveryBridge) {
    transport::CBridgeCodesys manager(nullptr);
    manager.SetBridgePort(static_cast<uint16_t>(server.Port()));
    manager.SetBridgeTimings(bridge_test::FastTimings());
    CBridgeDialogShell shell;
    manager.SetShell(&shell);
    int answer = 0;
    wxTheApp->CallAfter([&] {
        platform::ui::RunUntil(
            [] {
                for (wxWindow* w : wxTopLevelWindows)
                    if (w->IsShownOnScreen() && w->GetLabel().Contains("127.0.0.1")) return true;
                return false;
            },
            10000);
        platform::ui::ProcessPending();
        for (wxWindow* w : wxTopLevelWindows)
            if (w->GetLabel().Contains("127.0.0.1")) {
                prompts.PushAnswer(platform::IDOK);
                if (wxWindow* button = w->FindWindow(IDC_BRIDGE_RESET_BRIDGE)) {
                    wxCommandEvent click(wxEVT_BUTTON, IDC_BRIDGE_RESET_BRIDGE);
                    click.SetEventObject(button);
                    button->GetEventHandler()->ProcessEvent(click);
                }
            }
    });
    answer = manager.Connect(kLoopback);
    EXPECT_EQ(answer, platform::IDCANCEL);
    EXPECT_EQ(server.BridgeResets(), 1u);
    EXPECT_EQ(manager.BridgeCount(), 0u);
    EXPECT_EQ(manager.NodeCount(), 0u);
}

TEST_F(BridgeDialogTest, OptionsAreStoredOnOk) {
    CDlgConnectBridgeOpt dialog(options);
    const int result = RunModal(dialog, "connect_bridge_options.png", [&] {
        dialog.CheckItem(IDC_BRIDGE_AUTO_SCAN, 1);
        dialog.CheckItem(IDC_BRIDGE_SHOW_BUS, 0);
        dialog.ClickItem(platform::IDOK);
    });
    EXPECT_EQ(result, platform::IDOK);
    EXPECT_TRUE(dialog.options.autoScan);
    EXPECT_FALSE(dialog.options.showBus);
}

// ---- the communication status window

TEST_F(BridgeDialogTest, CommunicationStatusShowsTheBridgeAndCapturesTheNodeLog) {
    transport::CBridgeCodesys manager(nullptr);
    manager.SetBridgePort(static_cast<uint16_t>(server.Port()));
    manager.SetBridgeTimings(bridge_test::FastTimings());
    bridge_test::AddStandardNodes(server);  // node 5 identifiable
    manager.SelectNode(kLoopback, 2, 0, 5);
    foundation::CCompatChecker checker;
    uint32_t handle = 0, mode = 0, flag = 0, build = 0;
    transport::NodeIdentRecord identity;
    ASSERT_EQ(manager.IdentifyNode(&checker, &handle, &identity, &mode, &flag, &build), 0)
        << manager.ErrorText();
    transport::CBridgeNode* node = manager.CurrentNodeRecord();
    ASSERT_NE(node, nullptr);

    CCommStatusDlg dialog(manager);
    RunModal(dialog, "", [&] {
        EXPECT_EQ(dialog.GetItemText(IDC_COMM_ADDRESS), "127.0.0.1:" + std::to_string(server.Port()));
        EXPECT_EQ(dialog.GetItemText(IDC_COMM_NODE), "5");
        EXPECT_EQ(dialog.GetItemText(IDC_COMM_BUFFER_SIZE), "1000");
        // A buffer of 50 is raised to 100.
        dialog.SetItemText(IDC_COMM_BUFFER_SIZE, "50");
        dialog.ClickItem(IDC_COMM_LOG_START);
        EXPECT_EQ(dialog.GetItemText(IDC_COMM_BUFFER_SIZE), "100");
        EXPECT_EQ(dialog.GetItemText(IDC_COMM_LOG_START), "Stop");
        EXPECT_TRUE(node->log.Capturing());
        const uint32_t before = node->log.ErrorCount();
        node->log.NoteError("Reading address 0x6064.0: timeout");
        dialog.Refresh();
        EXPECT_EQ(dialog.GetItemText(IDC_COMM_ERRORS), std::to_string(before + 1));
        EXPECT_NE(dialog.GetItemText(IDC_COMM_LOG_TEXT).find("0x6064"), std::string::npos);
        // A level of 0 starts the bridge's log with level 1.
        dialog.SetItemText(IDC_COMM_LEVEL, "0");
        dialog.ClickItem(IDC_COMM_BRIDGE_START);
        EXPECT_TRUE(platform::ui::RunUntil([&] { return server.LastLogLevel() == 1; }, 10000));
        EXPECT_EQ(node->bridge->LogLevel(), 1);
        platform::ui::ProcessPending();
        EXPECT_TRUE(platform::ui::SaveWindowPicture(dialog.Wx(), AppArtifacts() / "comm_status.png"));
        dialog.ClickItem(IDC_COMM_BRIDGE_STOP);
        EXPECT_FALSE(node->bridge->LogChannelRunning());
        dialog.ClickItem(IDC_COMM_LOG_START);
        EXPECT_FALSE(node->log.Capturing());
        dialog.ClickItem(platform::IDOK);
    });
}

// ---- the TwinCAT device dialog

class TcaDialogTest : public ads_test::AdsFixture {
  protected:
    void SetUp() override {
        AdsFixture::SetUp();
        platform::SetPromptService(&prompts);
    }
    void TearDown() override {
        platform::SetPromptService(nullptr);
        AdsFixture::TearDown();
    }
    platform::ScriptedPrompts prompts;
};

TEST_F(TcaDialogTest, DevicesAreListedForeignOnesGreyAndOkReturnsTheChoice) {
    server_.AddDriveSlave(1001, "Servo X1", "Hardware 12 v.1.0.0", "Firmware 1234 v.2.3.1");
    server_.AddSlave(1005).vendor = 77;
    auto channel = MakeChannel(0);
    CDlgConnectTca dialog(*channel, ads_test::ServerNetId());
    EXPECT_EQ(dialog.Title(), "EtherCAT controller 5.1.2.3.1.1");
    const int result = RunModal(dialog, "", [&] {
        ASSERT_TRUE(platform::ui::RunUntil([&] { return dialog.ScanEnded(); }, 20000));
        ASSERT_EQ(dialog.Rows(), 2);
        EXPECT_EQ(dialog.Cell(0, 0), "1001");
        EXPECT_EQ(dialog.Cell(0, 2), "operational");
        EXPECT_FALSE(dialog.RowIsGrey(0));
        EXPECT_TRUE(dialog.RowIsGrey(1));
        ASSERT_TRUE(dialog.SelectRow(0));
        platform::ui::ProcessPending();
        EXPECT_FALSE(dialog.GetItemText(IDC_TCA_INFO).empty());
        EXPECT_TRUE(platform::ui::SaveWindowPicture(dialog.Wx(), AppArtifacts() / "connect_tca.png"));
        dialog.ClickItem(platform::IDOK);
    });
    EXPECT_EQ(result, platform::IDOK);
    EXPECT_EQ(dialog.Address(), 1001);
}

TEST_F(TcaDialogTest, NoDeviceFailureAndOkWithoutARow) {
    auto channel = MakeChannel(0);
    {
        CDlgConnectTca dialog(*channel, ads_test::ServerNetId());
        const int result = RunModal(dialog, "", [&] {
            ASSERT_TRUE(platform::ui::RunUntil([&] { return dialog.ScanEnded(); }, 20000));
            EXPECT_EQ(dialog.Rows(), 0);
            EXPECT_EQ(dialog.GetItemText(IDC_TCA_INFO), "No devices found");
            dialog.ClickItem(platform::IDOK);
        });
        EXPECT_EQ(result, platform::IDCANCEL);
        EXPECT_EQ(prompts.AskedCount(), 0u);
    }
    server_.InjectFault({drivesim::AdsFault::ErrorCode, 0x70D, 1, ams::kRead});
    CDlgConnectTca dialog(*channel, ads_test::ServerNetId());
    RunModal(dialog, "", [&] {
        ASSERT_TRUE(platform::ui::RunUntil([&] { return dialog.ScanEnded(); }, 20000));
        EXPECT_EQ(dialog.GetItemText(IDC_TCA_INFO), transport::CTwincatAds::GetErrorText(0x70D));
    });
    ASSERT_EQ(prompts.AskedCount(), 1u);
    EXPECT_EQ(prompts.Asked()[0].caption, "Connection error");
    EXPECT_EQ(prompts.Asked()[0].text, transport::CTwincatAds::GetErrorText(0x70D));
}

}  // namespace
