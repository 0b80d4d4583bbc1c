#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/textctrl.h>

#include "platform/Prompt.h"
#include "platform/ui/ControlHost.h"
#include "platform/ui/Gui.h"

using namespace platform::ui;

namespace {

enum : int {
    kName = 1001,
    kCount = 1002,
    kEnable = 1003,
    kModeA = 1004,
    kModeB = 1005,
    kModeC = 1006,
    kUnit = 1007,
    kLabel = 1008,
    kGain = 1009,
    kApply = 1010
};

std::vector<ControlSpec> AxisControls(bool positioned) {
    auto at = [&](int x, int y, int cx, int cy) {
        return positioned ? std::optional<DluRect>(DluRect{x, y, cx, cy}) : std::nullopt;
    };
    return {
        {kLabel, ControlKind::Static, "Axis name:", 0, at(7, 7, 60, 8)},
        {kName, ControlKind::Edit, "", 0, at(70, 7, 100, 12)},
        {kCount, ControlKind::Edit, "", style::Number, at(70, 22, 40, 12)},
        {kGain, ControlKind::Edit, "", 0, at(70, 37, 40, 12)},
        {kEnable, ControlKind::Check, "Enable limits", 0, at(7, 52, 80, 10)},
        {kModeA, ControlKind::Radio, "Position", style::Group, at(7, 66, 60, 10)},
        {kModeB, ControlKind::Radio, "Velocity", 0, at(7, 78, 60, 10)},
        {kModeC, ControlKind::Radio, "Torque", 0, at(7, 90, 60, 10)},
        {kUnit, ControlKind::Combo, "", style::DropList | style::Group, at(90, 66, 60, 60)},
        {kApply, ControlKind::Button, "Apply now", style::Disabled, at(90, 90, 50, 14)},
        {platform::IDOK, ControlKind::DefaultButton, "OK", 0, at(100, 110, 40, 14)},
        {platform::IDCANCEL, ControlKind::Button, "Cancel", 0, at(145, 110, 40, 14)},
    };
}

class AxisDialog : public Dialog {
  public:
    explicit AxisDialog(bool positioned)
        : Dialog({"Axis", positioned ? std::optional<DluRect>(DluRect{0, 0, 200, 130}) : std::nullopt,
                  AxisControls(positioned)}) {}
    std::string name = "X axis";
    int count = 4;
    double gain = 2.5;
    bool enable = true;
    int mode = 1;
    int unit = 2;

  protected:
    bool OnInitDialog() override {
        auto* combo = ItemAs<wxComboBox>(kUnit);
        for (const char* u : {"mm", "deg", "rev"}) combo->Append(u);
        return Dialog::OnInitDialog();
    }
    void DoDataExchange(DataExchange& dx) override {
        dx.Text(kName, name);
        dx.Int(kCount, count);
        dx.MinMax(kCount, count, 1, 16);
        dx.Double(kGain, gain);
        dx.Check(kEnable, enable);
        dx.Radio(kModeA, mode);
        dx.ListIndex(kUnit, unit);
    }
};

class DialogLayouts : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override { platform::SetPromptService(&prompts); }
    void TearDown() override { platform::SetPromptService(nullptr); }
    platform::ScriptedPrompts prompts;
};

TEST_P(DialogLayouts, ControlsStandUnderTheirIdsWithTextsAndStates) {
    AxisDialog dialog(GetParam());
    ASSERT_TRUE(dialog.Create());
    EXPECT_EQ(dialog.GetItemText(kLabel), "Axis name:");
    EXPECT_EQ(dialog.GetItemText(kEnable), "Enable limits");
    EXPECT_NE(dialog.ItemAs<wxTextCtrl>(kName), nullptr);
    EXPECT_NE(dialog.ItemAs<wxCheckBox>(kEnable), nullptr);
    EXPECT_FALSE(dialog.IsItemEnabled(kApply));
    EXPECT_TRUE(dialog.IsItemEnabled(kName));
    EXPECT_EQ(dialog.RadioGroup(kModeA), (std::vector<int>{kModeA, kModeB, kModeC}));
    EXPECT_EQ(dialog.Item(4242), nullptr);
    if (GetParam()) {
        // Dialog units follow the font: the name field starts right of the label.
        EXPECT_GT(dialog.Item(kName)->GetPosition().x, dialog.Item(kLabel)->GetPosition().x);
        EXPECT_EQ(dialog.Item(kModeB)->GetPosition().x, dialog.Item(kModeA)->GetPosition().x);
    }
    // Initialisation moved the members into the controls.
    EXPECT_EQ(dialog.GetItemText(kName), "X axis");
    EXPECT_EQ(dialog.GetItemText(kCount), "4");
    EXPECT_EQ(dialog.GetItemText(kGain), "2.5");
    EXPECT_EQ(dialog.IsItemChecked(kEnable), 1);
    EXPECT_EQ(dialog.IsItemChecked(kModeB), 1);
    EXPECT_EQ(dialog.IsItemChecked(kModeA), 0);
    EXPECT_EQ(dialog.GetItemText(kUnit), "rev");
}

TEST_P(DialogLayouts, DataExchangeReadsControlsBackIntoMembers) {
    AxisDialog dialog(GetParam());
    ASSERT_TRUE(dialog.Create());
    dialog.SetItemText(kName, "Spindle µ");
    dialog.SetItemText(kCount, " 12 ");
    dialog.SetItemText(kGain, "0.125");
    dialog.ClickItem(kEnable);
    dialog.ClickItem(kModeC);
    dialog.ItemAs<wxComboBox>(kUnit)->SetSelection(0);
    ASSERT_TRUE(dialog.UpdateData(true));
    EXPECT_EQ(dialog.name, "Spindle µ");
    EXPECT_EQ(dialog.count, 12);
    EXPECT_DOUBLE_EQ(dialog.gain, 0.125);
    EXPECT_FALSE(dialog.enable);
    EXPECT_EQ(dialog.mode, 2);
    EXPECT_EQ(dialog.unit, 0);
    EXPECT_TRUE(prompts.Asked().empty());
}

TEST_P(DialogLayouts, BadValueStopsTheExchangeAndTellsTheUser) {
    struct Case {
        const char* count;
        const char* gain;
        const char* told;
    };
    for (const Case& c : {Case{"4x", "1", "Please enter an integer."},
                          Case{"99", "1", "Please enter an integer between 1 and 16."},
                          Case{"3", "1,5", "Please enter a number."}}) {
        AxisDialog dialog(GetParam());
        ASSERT_TRUE(dialog.Create());
        dialog.SetItemText(kName, "changed");
        dialog.SetItemText(kCount, c.count);
        dialog.SetItemText(kGain, c.gain);
        const size_t asked = prompts.Asked().size();
        EXPECT_FALSE(dialog.UpdateData(true)) << c.count << " " << c.gain;
        ASSERT_EQ(prompts.Asked().size(), asked + 1);
        EXPECT_EQ(prompts.Asked().back().text, c.told);
        EXPECT_EQ(dialog.name, "changed");  // fields before the bad one were taken
        EXPECT_EQ(dialog.mode, 1);          // fields after it were not
    }
}

TEST_P(DialogLayouts, ModalDialogEndsWithOkAndKeepsTheValues) {
    AxisDialog dialog(GetParam());
    wxTheApp->CallAfter([&] {
        dialog.SetItemText(kCount, "7");
        dialog.ClickItem(kModeA);
        dialog.ClickItem(platform::IDOK);
    });
    EXPECT_EQ(dialog.DoModal(), platform::IDOK);
    EXPECT_EQ(dialog.count, 7);
    EXPECT_EQ(dialog.mode, 0);
    EXPECT_FALSE(dialog.IsAlive());
}

TEST_P(DialogLayouts, OkWithBadValueKeepsTheDialogOpenCancelLeavesMembers) {
    AxisDialog dialog(GetParam());
    bool stillOpenAfterOk = false;
    wxTheApp->CallAfter([&] {
        dialog.SetItemText(kCount, "many");
        dialog.ClickItem(platform::IDOK);
        stillOpenAfterOk = dialog.IsAlive() && dialog.IsModal();
        dialog.SetItemText(kName, "discarded");
        dialog.ClickItem(platform::IDCANCEL);
    });
    EXPECT_EQ(dialog.DoModal(), platform::IDCANCEL);
    EXPECT_TRUE(stillOpenAfterOk);
    EXPECT_EQ(dialog.count, 4);
}

INSTANTIATE_TEST_SUITE_P(PositionedAndSized, DialogLayouts, ::testing::Bool());

TEST(DialogCommands, NotificationsReachHandlersById) {
    AxisDialog dialog(false);
    std::vector<std::string> seen;
    dialog.OnCommand(kEnable, Notify::Clicked, [&] { seen.push_back("enable"); });
    dialog.OnCommand(kName, Notify::Changed, [&] { seen.push_back("name"); });
    ASSERT_TRUE(dialog.Create());
    dialog.SetItemText(kName, "quiet");  // the program's own filling is no change
    dialog.ClickItem(kEnable);
    dialog.ItemAs<wxTextCtrl>(kName)->SetValue("typed");
    platform::ui::ProcessPending();
    EXPECT_EQ(seen, (std::vector<std::string>{"enable", "name"}));
    EXPECT_FALSE(dialog.ClickItem(kApply)) << "a disabled button can't be clicked";
}

}  // namespace
