// The whole road against the simulated drive on loopback: the user connects through the connect
// dialog, the main dialog shows the drive's identity and its live values, an output is written,
// the drive goes away and comes back, and the reconnect prompt answers.
#include <algorithm>
#include <cctype>

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/combobox.h>
#include <wx/frame.h>
#include <wx/textctrl.h>

#include "AppTestSupport.h"
#include "app/DlgConnectDrive.h"
#include "app/DlgConnectRetry.h"
#include "app/MainDlg.h"
#include "controls/ComboBoxExt.h"
#include "foundation/ProgramSwitches.h"
#include "platform/ui/Gui.h"
#include "platform/ui/WindowPicture.h"
#include "tests/drive/DriveObjectTestSupport.h"

using namespace app;

namespace {

constexpr uint32_t kLoopback = 0x7F000001;

// The connect dialog that is open now, once it shows.
CdlgConnectDrive* WaitForConnectDialog() {
    CdlgConnectDrive* found = nullptr;
    platform::ui::RunUntil(
        [&] {
            for (wxWindow* w : wxTopLevelWindows)
                if (w->IsShownOnScreen())
                    if (auto* d = dynamic_cast<CdlgConnectDrive*>(platform::ui::FromWx(w))) found = d;
            return found != nullptr;
        },
        10000);
    return found;
}

// Picks the box port, types the loopback address and node 1, and connects.
void ConnectThroughTheDialog(const std::string& picture) {
    CdlgConnectDrive* dialog = WaitForConnectDialog();
    ASSERT_NE(dialog, nullptr);
    platform::ui::ProcessPending();
    auto* ports = dialog->ItemAs<wxComboBox>(IDC_CONNECT_PORT);
    for (unsigned i = 0; i < ports->GetCount(); ++i) {
        std::string name = ports->GetString(i).utf8_string();
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return std::tolower(c); });
        if (name.rfind("mirel", 0) == 0) {
            ports->SetSelection(static_cast<int>(i));
            wxCommandEvent changed(wxEVT_COMBOBOX, IDC_CONNECT_PORT);
            changed.SetEventObject(ports);
            ports->GetEventHandler()->ProcessEvent(changed);
        }
    }
    EXPECT_EQ(dialog->SelectedKind(), drive::connection_kind::kBox);
    dialog->SetItemText(IDC_CONNECT_ADDRESS, "127.0.0.1");
    dialog->ItemAs<wxTextCtrl>(IDC_CONNECT_NODE)->SetValue("1");
    platform::ui::ProcessPending();
    EXPECT_FALSE(dialog->IsItemShown(IDC_CONNECT_NOTE));
    EXPECT_TRUE(platform::ui::SaveWindowPicture(dialog->Wx(), AppArtifacts() / picture));
    dialog->ClickItem(IDC_CONNECT_CONNECT);
}

class MainDlgEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::SetPromptService(&prompts);
        prompts.SetDefaultAnswer(platform::IDOK);
        std::string error;
        port = drive.sim.StartTcp(0, &error);
        ASSERT_GT(port, 0) << error;
        foundation::g_MirelBox = true;
        qd = std::make_unique<drive::CQd>(0);
        qd->ConnectionWindow().Record().boxPort = static_cast<uint16_t>(port);
        connectDialog = std::make_unique<CConnectDriveDialog>(nullptr, qd.get());
        qd->ConnectionWindow().SetConnectDialog(connectDialog.get());
        frame = new wxFrame(nullptr, wxID_ANY, "Tunova", wxDefaultPosition, wxSize(1100, 640));
    }
    void TearDown() override {
        frame->Destroy();
        platform::ui::ProcessPending();
        qd.reset();
        foundation::g_MirelBox = false;
        platform::SetPromptService(nullptr);
    }

    int Connect(const std::string& picture) {
        wxTheApp->CallAfter([picture] { ConnectThroughTheDialog(picture); });
        return qd->Connect();
    }

    platform::ScriptedPrompts prompts;
    drivetest::DriveTree tree;
    drivetest::SimulatedDrive drive;
    int port = 0;
    std::unique_ptr<drive::CQd> qd;
    std::unique_ptr<CConnectDriveDialog> connectDialog;
    wxFrame* frame = nullptr;
};

TEST_F(MainDlgEndToEnd, ConnectSeeLiveValuesWriteAnOutputLoseTheDriveAndReconnect) {
    ASSERT_EQ(Connect("e2e_connect.png"), 0) << qd->ConnectionWindow().LastMessage();
    EXPECT_EQ(qd->ConnectionWindow().Record().channelType, drive::connection_kind::kBox);
    EXPECT_EQ(qd->ConnectionWindow().Record().bcAddress, kLoopback);

    auto dialog = std::make_unique<CPelmoraDlg>(frame, *qd);
    frame->Show();
    dialog->Start();
    EXPECT_GE(dialog->SlowGroup(), 0);
    EXPECT_GE(dialog->FastGroup(), 0);
    EXPECT_TRUE(dialog->IsItemShown(IDC_MAIN_HISTORY));  // the drive has DiagHistoryMaxMsg
    EXPECT_NE(dialog->GetItemText(IDC_MAIN_IDENTITY).find("Simulated servo drive"), std::string::npos)
        << dialog->GetItemText(IDC_MAIN_IDENTITY);
    EXPECT_EQ(dialog->GetItemText(IDC_MAIN_IDENTITY).find("read error"), std::string::npos)
        << dialog->GetItemText(IDC_MAIN_IDENTITY);
    // The 10 s identity pass reads the name again the way the connection did, and follows a
    // new one.
    const std::string connectedName = qd->Identity().userDriveName;
    dialog->IdentityPass();
    EXPECT_EQ(qd->Identity().userDriveName, connectedName);
    ASSERT_TRUE(drive.model->SetText("UserDriveName", "Axis 7"));
    dialog->IdentityPass();
    EXPECT_EQ(qd->Identity().userDriveName, "Axis 7");
    // The description's variables fill the combos and its I/O lists the analog views.
    EXPECT_EQ(dialog->ShowCombo(0)->GetCount(), qd->Parameters().variables.size() + 1);
    EXPECT_GE(qd->Parameters().variables.size(), 5u);
    EXPECT_FALSE(dialog->AnalogViews().empty());
    // Live values follow the drive.
    ASSERT_TRUE(platform::ui::RunUntil([&] { return dialog->LedSlot(IDC_MAIN_FAULT_LED) == kLedOff; }, 5000));
    drive.model->RaiseFault(1, true);
    EXPECT_TRUE(platform::ui::RunUntil([&] { return dialog->LedSlot(IDC_MAIN_FAULT_LED) == kLedRed; }, 5000));
    EXPECT_EQ(dialog->LedSlot(IDC_MAIN_WARNING_LED), kLedOff);
    drive.model->RaiseWarning(2, true);
    EXPECT_TRUE(
        platform::ui::RunUntil([&] { return dialog->LedSlot(IDC_MAIN_WARNING_LED) == kLedOrange; }, 5000));
    EXPECT_TRUE(platform::ui::RunUntil([&] { return dialog->GetItemText(IDC_MAIN_STATE) == "Fault"; }, 5000))
        << dialog->GetItemText(IDC_MAIN_STATE);
    platform::ui::ProcessPending();
    EXPECT_TRUE(platform::ui::SaveWindowPicture(frame, AppArtifacts() / "e2e_main_dialog.png"));

    // An output written from the panel reaches the drive.
    dialog->ToggleOutput(2);
    EXPECT_EQ(drive.model->ReadValue(kOutputsVariable).value_or(0) & (1u << 18), 1u << 18);

    // The drive goes away: the panel stops claiming to know its state.
    drive.sim.Stop();
    EXPECT_TRUE(
        platform::ui::RunUntil([&] { return dialog->LedSlot(IDC_MAIN_FAULT_LED) == kLedUnknown; }, 15000));
    // A lost drive keeps its name in the identity.
    dialog->IdentityPass();
    EXPECT_EQ(qd->Identity().userDriveName, "Axis 7");
    EXPECT_TRUE(platform::ui::SaveWindowPicture(frame, AppArtifacts() / "e2e_drive_lost.png"));

    // The reconnect prompt: start a new connection.
    wxTheApp->CallAfter([] {
        platform::ui::RunUntil(
            [] {
                for (wxWindow* w : wxTopLevelWindows)
                    if (w->IsShownOnScreen() && w->GetLabel() == "Target disconnected") return true;
                return false;
            },
            5000);
        for (wxWindow* w : wxTopLevelWindows) {
            if (w->GetLabel() != "Target disconnected") continue;
            auto* retry = dynamic_cast<CDlgConnectRetry*>(platform::ui::FromWx(w));
            if (!retry) continue;
            EXPECT_TRUE(platform::ui::SaveWindowPicture(w, AppArtifacts() / "e2e_reconnect_prompt.png"));
            retry->ClickItem(IDC_RETRY_RECONNECT);
        }
    });
    EXPECT_EQ(AskReconnect(frame, false), kRetryReconnect);

    dialog->Stop();
    dialog.reset();
    qd->CloseConnection(false);
    std::string error;
    ASSERT_GT(drive.sim.StartTcp(static_cast<uint16_t>(port), &error), 0) << error;
    ASSERT_EQ(Connect("e2e_reconnect.png"), 0) << qd->ConnectionWindow().LastMessage();
    dialog = std::make_unique<CPelmoraDlg>(frame, *qd);
    dialog->Start();
    EXPECT_TRUE(platform::ui::RunUntil([&] { return dialog->LedSlot(IDC_MAIN_FAULT_LED) == kLedRed; }, 5000));
    dialog->Stop();
}

}  // namespace
