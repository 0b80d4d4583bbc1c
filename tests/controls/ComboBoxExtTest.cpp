#include <gtest/gtest.h>
#include <wx/frame.h>

#include "ControlsTestSupport.h"
#include "controls/ComboBoxExt.h"
#include "platform/ui/DrawContext.h"
#include "platform/ui/Gui.h"

using namespace controls;

namespace {

std::vector<std::string> Shown(const ComboBoxExtModel& m) {
    std::vector<std::string> out;
    for (int i = 0; i < m.Count(); ++i) out.push_back(m.ListText(i));
    return out;
}

class ComboModel : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"MotorSpeed", "motorCurrent", "PositionActual", "Limits", "MoTemp"})
            model.AddString(name);
    }
    ComboBoxExtModel model;
};

TEST_F(ComboModel, FilterByStartIgnoringCaseAndBringBackOnErase) {
    model.filterMode = 1;
    model.OnEditChange("mo", {2, 2});
    EXPECT_EQ(Shown(model), (std::vector<std::string>{"MotorSpeed", "motorCurrent", "MoTemp"}));
    EXPECT_TRUE(model.dropped);
    EXPECT_EQ(model.editText, "mo") << "mode 1 does not complete";
    model.OnEditChange("moto", {4, 4});
    EXPECT_EQ(Shown(model), (std::vector<std::string>{"MotorSpeed", "motorCurrent"}));
    model.OnEditChange("", {0, 0});
    EXPECT_EQ(model.Count(), 5) << "erasing the text brings all items back";
    EXPECT_FALSE(model.dropped);
}

TEST_F(ComboModel, FilterByContainingAndPutBackOrder) {
    model.filterMode = 1;
    model.matchAtStart = false;
    model.OnEditChange("TEMP", {4, 4});
    EXPECT_EQ(Shown(model), (std::vector<std::string>{"MoTemp"}));
    model.OnEditChange("t", {1, 1});
    // Hidden items come back at the end, in the order they are put back.
    EXPECT_EQ(Shown(model),
              (std::vector<std::string>{"MoTemp", "MotorSpeed", "motorCurrent", "PositionActual", "Limits"}));
    model.OnEditChange("xyz", {3, 3});
    EXPECT_EQ(model.Count(), 5) << "no match: the list closes and shows everything again";
    EXPECT_FALSE(model.dropped);
}

TEST_F(ComboModel, CompletionSelectsTheRestAndBackspaceDoesNotCompleteAgain) {
    model.filterMode = 2;
    model.OnEditChange("Pos", {3, 3});
    EXPECT_EQ(model.editText, "PositionActual");
    EXPECT_EQ(model.editSel, (std::pair<int, int>{3, 14}));
    model.OnKeyDown(8);  // Backspace removes the selected completion
    model.OnEditChange("Pos", {3, 3});
    EXPECT_EQ(model.editText, "Pos");
    EXPECT_TRUE(model.completeNextChange) << "set again after every change";
    model.OnKeyDown(127);
    model.OnEditChange("Po", {2, 2});
    EXPECT_EQ(model.editText, "Po");
    model.OnEditChange("Pos", {3, 3});
    EXPECT_EQ(model.editText, "PositionActual");
}

TEST_F(ComboModel, CloseUpShowsAllAndSetsTheTypedTextAsCurrent) {
    model.filterMode = 2;
    model.OnEditChange("lim", {3, 3});
    EXPECT_EQ(model.editText, "Limits");
    model.OnCloseUp();
    EXPECT_EQ(model.Count(), 5);
    EXPECT_FALSE(model.editing);
    EXPECT_EQ(model.currentText, "Limits");
    EXPECT_EQ(model.ListText(model.curSel), "Limits");
    EXPECT_EQ(model.editSel, (std::pair<int, int>{0, 6})) << "found and nothing saved: whole text";
}

TEST_F(ComboModel, SetTextMessageSelectsExactItemOrKeepsText) {
    model.OnSetText("limits");
    EXPECT_EQ(model.ListText(model.curSel), "Limits");
    EXPECT_EQ(model.editText, "Limits");
    model.curSel = -1;
    model.OnSetText("Unknown");
    EXPECT_EQ(model.curSel, -1);
    EXPECT_EQ(model.editText, "Unknown");
    model.OnSelChange(1);
    model.OnSelEndOk();
    EXPECT_EQ(model.editText, "motorCurrent");
    EXPECT_EQ(model.savedSel, (std::pair<int, int>{12, 12}));
}

TEST_F(ComboModel, RecordsValuesTipsAndReset) {
    EXPECT_EQ(model.GetItemValue(0), -1) << "a string added by the holder has value -1";
    EXPECT_EQ(model.GetItemValue(-1), -1);
    EXPECT_EQ(model.SetItemValue(-1, 5), -1);
    EXPECT_EQ(model.SetItemValue(2, 42), 0);
    EXPECT_EQ(model.GetItemValue(2), 42);
    const int tipped = model.AddItem("Gain", "Proportional gain of the speed loop", 1);
    std::string tip;
    model.GetItemTip(tipped, tip);
    EXPECT_EQ(tip, "Proportional gain of the speed loop");
    EXPECT_EQ(model.FindItemContaining(-1, "SPEED LOOP"), tipped);
    EXPECT_EQ(model.FindItemContaining(tipped, "speed"), -1);
    EXPECT_EQ(model.FindItemExact(-1, "proportional gain of the speed loop"), tipped);
    EXPECT_EQ(model.GetItemTipFlag(99), 0);
    EXPECT_EQ(model.HideItem(model.Record(0)), 5);
    EXPECT_EQ(model.HideItem(model.Records()[0].get()), -1) << "already hidden";
    EXPECT_EQ(model.ShowItem(nullptr), -1);
    EXPECT_EQ(model.Records().size(), 6u);
    model.ResetContent();
    EXPECT_TRUE(model.Records().empty()) << "hidden items' records go too";
    EXPECT_EQ(model.Count(), 0);
}

TEST_F(ComboModel, TipsAndColours) {
    model.editTips = true;
    model.editText = "MotorSpeed";
    EXPECT_FALSE(model.EditTip(50, 100).has_value());
    EXPECT_EQ(model.EditTip(98, 100).value_or(""), "MotorSpeed");
    model.perItemTips = true;
    model.SetItemTip(0, "rpm", 1);
    model.curSel = 0;
    EXPECT_EQ(model.EditTip(10, 100).value_or(""), "rpm");
    EXPECT_EQ(model.ListTip(0, 10, 100).value_or(""), "rpm");
    model.perItemTips = false;
    EXPECT_EQ(model.ListTip(1, 98, 100).value_or(""), "motorCurrent");
    EXPECT_FALSE(model.ListTip(1, 96, 100).has_value());
    EXPECT_FALSE(model.EditTextColor().has_value());
    model.customTextColor = true;
    model.textColor = 0x0000FF;
    EXPECT_EQ(model.EditTextColor().value_or(0), 0x0000FFu);
    EXPECT_FALSE(model.EditBackground().has_value());
    EXPECT_EQ(ComboBoxExtModel::DropHeight(4, {20, 20, 20, 20, 20}, 100), 64);
    EXPECT_EQ(ComboBoxExtModel::DropWidth({30, 80, 50}, 15, 2), 99);
}

TEST(ComboBoxExtControl, TypingFiltersTheRealControl) {
    auto* frame = new wxFrame(nullptr, wxID_ANY, "combo");
    auto* combo = new CComboBoxExt();
    ASSERT_TRUE(
        combo->Create(frame, 1040, ComboBoxExtModel::Style::DropDown, wxPoint(5, 5), wxSize(200, -1)));
    for (const char* name : {"Alpha", "Beta", "Alpine", "Gamma"}) combo->Model().AddString(name);
    combo->Model().filterMode = 2;
    combo->Sync();
    EXPECT_EQ(combo->GetCount(), 4u);
    combo->SetValue("Al");  // as typed: a text event
    platform::ui::ProcessPending();
    EXPECT_EQ(combo->GetCount(), 2u);
    EXPECT_EQ(combo->GetValue(), "Alpha");
    combo->Model().OnCloseUp();  // the list closes: everything is back
    combo->Sync();
    EXPECT_EQ(combo->GetCount(), 4u);
    EXPECT_EQ(combo->GetValue(), "Alpha");
    combo->SetTextMessage("gamma");
    EXPECT_EQ(combo->GetValue(), "Gamma");

    // A picture of what the control shows: the field and the filtered list.
    const ComboBoxExtModel& m = combo->Model();
    platform::ui::MemoryCanvas canvas(210, 100);
    auto& dc = canvas.Dc();
    dc.SetPen(0x808080);
    dc.SetNullBrush();
    dc.Rectangle({0, 0, 210, 24});
    dc.DrawText(m.editText, {4, 0, 190, 24}, platform::ui::text::VCenter);
    for (int i = 0; i < m.Count(); ++i) {
        const platform::ui::Rect row{0, 26 + 18 * i, 210, 44 + 18 * i};
        if (i == m.curSel) dc.FillSolidRect(row, 0xD77800);
        dc.DrawText(m.ListText(i), row.Deflate(4, 0, 0, 0), platform::ui::text::VCenter);
    }
    EXPECT_TRUE(canvas.SavePng(ControlArtifacts() / "comboboxext.png"));
    frame->Destroy();
}

}  // namespace
