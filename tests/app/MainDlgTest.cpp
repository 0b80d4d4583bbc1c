// The main dialog as the frame's page: family layouts on the window, and its status groups and
// timers that exist only between Start and Stop.
#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>
#include <wx/frame.h>
#include <wx/panel.h>

#include "AppTestSupport.h"
#include "app/MainDlg.h"
#include "app/MainDlgDipSwitch.h"
#include "controls/ComboBoxExt.h"
#include "drive/Qd.h"
#include "foundation/XmlDocument.h"
#include "platform/Prompt.h"
#include "platform/ui/Gui.h"
#include "platform/ui/Images.h"
#include "platform/ui/WindowPicture.h"

using namespace app;

namespace {

class MainDlgTest : public MainDlgFixture {};

TEST_F(MainDlgTest, ServoLayoutWithoutADriveKeepsItsGroupsAbsent) {
    qd.State().className = "servo";
    CPelmoraDlg dialog(frame, qd);
    frame->Show();
    dialog.Start();
    platform::ui::ProcessPending();
    EXPECT_EQ(dialog.Family(), DriveFamily::Servo);
    EXPECT_TRUE(dialog.IsControlShown(IDC_MAIN_POSITION));
    EXPECT_FALSE(dialog.IsControlShown(IDC_SUPPLY_HVDC));
    EXPECT_FALSE(dialog.IsItemShown(IDC_MAIN_HISTORY));
    // No engine, no groups; the timers run until Stop.
    EXPECT_EQ(dialog.SlowGroup(), -1);
    EXPECT_EQ(dialog.FastGroup(), -1);
    EXPECT_TRUE(dialog.HasTimer(kTimerFast));
    EXPECT_TRUE(dialog.HasTimer(kTimerStatus));
    EXPECT_TRUE(dialog.HasTimer(kTimerIdentity));
    // The built-in error list is read even without a description.
    dialog.Refresh();
    // Nothing was read: the fault and warning LEDs show "unknown", never "no fault".
    EXPECT_EQ(dialog.LedSlot(IDC_MAIN_FAULT_LED), kLedUnknown);
    EXPECT_EQ(dialog.LedSlot(IDC_MAIN_WARNING_LED), kLedUnknown);
    EXPECT_TRUE(platform::ui::SaveWindowPicture(frame, AppArtifacts() / "main_dialog_servo.png"));
    dialog.Stop();
    EXPECT_FALSE(dialog.HasTimer(kTimerFast));
    EXPECT_FALSE(dialog.HasTimer(kTimerStatus));
    EXPECT_FALSE(dialog.HasTimer(kTimerIdentity));
}

TEST_F(MainDlgTest, CellsTurnIntoLedsAndLabels) {
    CPelmoraDlg dialog(frame, qd);
    frame->Show();
    dialog.Start();
    const auto& words = qd.State().errorWordCells;
    dialog.Cell(words[0]).SetRead(0);
    dialog.Cell(words[1]).SetRead(0);
    dialog.Cell(words[2]).SetRead(0);
    dialog.Cell(words[3]).SetRead(0);
    dialog.Refresh();
    EXPECT_EQ(dialog.LedSlot(IDC_MAIN_FAULT_LED), kLedOff);
    EXPECT_EQ(dialog.LedSlot(IDC_MAIN_WARNING_LED), kLedOff);
    dialog.Cell(words[2]).SetRead(1);  // the first built-in dynamic fault
    dialog.Cell(words[1]).status = drive::kCellReadError;
    dialog.Refresh();
    EXPECT_EQ(dialog.LedSlot(IDC_MAIN_FAULT_LED), kLedRed);
    EXPECT_EQ(dialog.LedSlot(IDC_MAIN_WARNING_LED), kLedUnknown);
    EXPECT_EQ(dialog.GetItemText(IDC_MAIN_FAULT_LABEL), "Fault: (1 - 0)");
    // The pages' copy of the dynamic words keeps the unreadable status.
    EXPECT_EQ(qd.Parameters().data2->diagnostic.cells[1].status, drive::kCellValid);
    dialog.Cell(words[0]).status = drive::kCellReadError;
    dialog.Refresh();
    EXPECT_EQ(qd.Parameters().data2->diagnostic.cells[1].status, drive::kCellReadError);
    platform::ui::ProcessPending();
    EXPECT_TRUE(platform::ui::SaveWindowPicture(frame, AppArtifacts() / "main_dialog_fault.png"));
    dialog.Stop();
}

TEST_F(MainDlgTest, SupplyLayoutOnTheWindow) {
    qd.State().className = "supply";
    CPelmoraDlg dialog(frame, qd);
    frame->Show();
    dialog.Start();
    platform::ui::ProcessPending();
    EXPECT_EQ(dialog.Family(), DriveFamily::Supply);
    // "Current_channels" can't be read without a drive: one channel.
    EXPECT_TRUE(dialog.IsControlShown(IDC_SUPPLY_HVDC));
    EXPECT_FALSE(dialog.IsControlShown(IDC_SUPPLY_AVG1));
    EXPECT_FALSE(dialog.IsControlShown(IDC_MAIN_POSITION));
    EXPECT_EQ(dialog.GetItemText(IDC_MAIN_ERRORS_GROUP), "Supply errors:");
    dialog.Cell("timer_ripristino_fault").SetRead(1999);
    dialog.Cell("vout_adc_eff").SetRead(5602);
    dialog.Refresh();
    EXPECT_EQ(dialog.GetItemText(IDC_SUPPLY_LOCK), "1");
    EXPECT_EQ(dialog.GetItemText(IDC_SUPPLY_HVDC), "560.2");
    EXPECT_TRUE(platform::ui::SaveWindowPicture(frame, AppArtifacts() / "main_dialog_supply.png"));
    dialog.Stop();
}

TEST_F(MainDlgTest, XulLayoutWithItsDipSwitchWindows) {
    platform::ui::SetResourceFolder(std::filesystem::path(TUNOVA_FIXTURES).parent_path().parent_path() /
                                    "app" / "res");
    qd.State().group = kXulFamilyCode;
    CPelmoraDlg dialog(frame, qd);
    frame->Show();
    dialog.Start();
    EXPECT_EQ(dialog.Family(), DriveFamily::Xul);
    EXPECT_EQ(dialog.GetItemText(IDC_MAIN_ENABLE_LABEL), "Xul enable:");
    EXPECT_EQ(dialog.GetItemText(IDC_SUPPLY_AVG_LABEL), "VoutRms:");
    EXPECT_FALSE(dialog.IsItemShown(IDC_MAIN_BRAKE_BUTTON));
    ASSERT_NE(dialog.DipSwitch(0), nullptr);
    ASSERT_NE(dialog.DipSwitch(1), nullptr);
    EXPECT_EQ(dialog.DipSwitch(0)->Title(), "Actual dip-switch");
    EXPECT_EQ(dialog.DipSwitch(1)->Title(), "Startup dip-switch");
    // The second stands right of the first.
    EXPECT_GE(
        dialog.DipSwitch(1)->Window()->GetPosition().x,
        dialog.DipSwitch(0)->Window()->GetPosition().x + dialog.DipSwitch(0)->Window()->GetSize().x + 10);
    dialog.Cell("DipSwitch").SetRead(0x05);
    dialog.Cell("VoutRmsFilt").SetRead(2304);
    dialog.Refresh();
    EXPECT_EQ(dialog.DipSwitch(0)->Shown(), 0x05u);
    EXPECT_FALSE(dialog.DipSwitch(1)->Shown().has_value());  // not read: left as it was
    EXPECT_EQ(dialog.GetItemText(IDC_SUPPLY_AVG), "230.4");
    platform::ui::ProcessPending();
    EXPECT_TRUE(platform::ui::SaveWindowPicture(frame, AppArtifacts() / "main_dialog_xul.png"));
    dialog.Stop();
    platform::ui::SetResourceFolder({});
}

TEST_F(MainDlgTest, ShowVariableCombosFilterWhileTyping) {
    for (const char* title : {"Actual position", "Actual velocity", "DC bus voltage"}) {
        auto variable = std::make_unique<drive::Cvariables>();
        variable->title = title;
        variable->name = title;
        qd.Parameters().variables.push_back(std::move(variable));
    }
    qd.Description().shownVariables[1] = "DC bus voltage";
    qd.Description().shownVariables[2] = "No longer described";
    CPelmoraDlg dialog(frame, qd);
    frame->Show();
    dialog.Start();
    platform::ui::ProcessPending();
    controls::CComboBoxExt* combo = dialog.ShowCombo(0);
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->Model().filterMode, 1);
    EXPECT_EQ(combo->GetCount(), 4u) << "the empty entry and the three variables";
    // The remembered choices come back; an unknown one leaves the combo empty.
    EXPECT_EQ(dialog.ShowCombo(1)->GetValue(), "DC bus voltage");
    EXPECT_EQ(dialog.ShowCombo(2)->GetValue(), "");
    combo->SetValue("Actual");  // as typed
    platform::ui::ProcessPending();
    EXPECT_EQ(combo->GetCount(), 2u);
    EXPECT_EQ(combo->GetString(0), "Actual position");
    combo->SetValue("actual v");
    platform::ui::ProcessPending();
    ASSERT_EQ(combo->GetCount(), 1u);
    // Picking from the filtered list shows that variable and remembers it.
    combo->SetSelection(0);
    wxCommandEvent picked(wxEVT_COMBOBOX, combo->GetId());
    picked.SetEventObject(combo);
    picked.SetInt(0);
    picked.SetString(combo->GetString(0));
    combo->GetEventHandler()->ProcessEvent(picked);
    EXPECT_EQ(qd.Description().shownVariables[0], "Actual velocity");
    platform::ui::ProcessPending();
    EXPECT_TRUE(platform::ui::SaveWindowPicture(frame, AppArtifacts() / "main_dialog_show_variables.png"));
    dialog.Stop();
}

TEST_F(MainDlgTest, KwzAndSupplyTextsComeFromTheDescriptionsEnumerations) {
    foundation::CXmlDocument answer;
    ASSERT_EQ(
        answer.LoadXml(R"(<DEVICE boot="0"><Description>Supply unit</Description><ClientList><Client name="x">
        <Data><Type group="4" Class="supply">fw</Type><Extra><Enums>
          <SupplyType><El Text="400 VAC" Value="1"/></SupplyType>
          <PwCtrlState><El Text="Ready" Value="2"/></PwCtrlState>
          <PwCtrlError><El Text="Overvoltage" Value="3"/></PwCtrlError>
        </Enums></Extra></Data></Client></ClientList></DEVICE>)"),
        foundation::S_OK);
    qd.SetSilent(true);
    if (qd.LoadConfiguration(answer) != 0) GTEST_SKIP() << "configuration not taken without a drive";
    qd.State().className = "supply";
    CPelmoraDlg dialog(frame, qd);
    frame->Show();
    dialog.Start();
    EXPECT_EQ(dialog.Enumeration(0).at(1), "400 VAC");
    dialog.Cell("supply_type").SetRead(1);
    dialog.Cell("stato_power_control").SetRead(2);
    dialog.Cell("memoria_errore").SetRead(7);  // not in the list: empty
    dialog.Refresh();
    EXPECT_EQ(dialog.GetItemText(IDC_SUPPLY_VAC), "400 VAC");
    EXPECT_EQ(dialog.GetItemText(IDC_SUPPLY_STATUS), "Ready");
    EXPECT_EQ(dialog.GetItemText(IDC_SUPPLY_ERROR), "");
    platform::ui::ProcessPending();
    EXPECT_TRUE(platform::ui::SaveWindowPicture(frame, AppArtifacts() / "main_dialog_supply_texts.png"));
    dialog.Stop();
}

TEST_F(MainDlgTest, DipSwitchWindowShowsTheFunctionsOfASetting) {
    platform::ui::SetResourceFolder(std::filesystem::path(TUNOVA_FIXTURES).parent_path().parent_path() /
                                    "app" / "res");
    foundation::CXmlDocument document;
    ASSERT_EQ(document.LoadXml(R"(<DipSwitch>
        <Func title="Mode" mask="0x3"><El Text="Voltage" Value="0"/><El Text="Frequency" Value="1"/></Func>
        <Func title="Address" mask="0xC"><El Text="Node 1" Value="0"/><El Text="Node 2" Value="4"/></Func>
      </DipSwitch>)"),
              foundation::S_OK);
    frame->Show();
    CDlgXulDipswitch window(frame, wxPoint(10, 10));
    window.LoadFunctions("Actual dip-switch", &document.Root());
    EXPECT_TRUE(window.SetSwitches(0x05));
    EXPECT_FALSE(window.SetSwitches(0x05));  // same value: nothing redrawn
    EXPECT_EQ(window.Lines(), (std::vector<std::string>{"Mode: Frequency", "Address: Node 2"}));
    EXPECT_TRUE(window.SetSwitches(0x07));
    EXPECT_EQ(window.Lines(), (std::vector<std::string>{"Mode: ?", "Address: Node 2"}));
    platform::ui::ProcessPending();
    EXPECT_TRUE(platform::ui::SaveWindowPicture(window.Window(), AppArtifacts() / "dip_switch_window.png"));
    EXPECT_TRUE(ReadDipFunctions(nullptr).empty());
    platform::ui::SetResourceFolder({});
}

}  // namespace
