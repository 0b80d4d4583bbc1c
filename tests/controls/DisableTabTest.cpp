#include <gtest/gtest.h>
#include <wx/frame.h>

#include "ControlsTestSupport.h"
#include "controls/TabCtrlWithDisable.h"
#include "platform/ui/Gui.h"

using namespace controls;

namespace {

class DisableTabTest : public ::testing::Test {
  protected:
    void SetUp() override {
        frame = new wxFrame(nullptr, wxID_ANY, "tabs");
        tab = new CDisableTab();
        ASSERT_TRUE(tab->Create(frame, 12320, wxPoint(0, 0), wxSize(520, 40)));
        for (const char* t : {"Motor", "Feedback", "Polarity", "Limits", "Homing", "I/O"})
            tab->InsertItem(-1, t);
        tab->selChange = [this] { ++changes; };
    }
    void TearDown() override { frame->Destroy(); }
    platform::ui::Point Inside(int index) const {
        const auto r = tab->GetItemRect(index);
        return {r.left + 3, r.top + 3};
    }
    wxFrame* frame = nullptr;
    CDisableTab* tab = nullptr;
    int changes = 0;
};

TEST_F(DisableTabTest, DisabledTabCanNotBeReachedByMouseOrKeys) {
    ASSERT_TRUE(tab->SetActiveTab(3));
    tab->EnableOnly(3);
    EXPECT_FALSE(tab->ClickAt(Inside(1)));
    EXPECT_EQ(tab->GetCurSel(), 3);
    EXPECT_TRUE(tab->PressKey(WXK_RIGHT)) << "arrow keys are swallowed";
    EXPECT_EQ(tab->GetCurSel(), 3);
    EXPECT_TRUE(tab->PressKey(WXK_LEFT));
    EXPECT_EQ(tab->GetCurSel(), 3);
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(tab->PressKey(WXK_TAB));
    for (int i = 0; i < 6; ++i) EXPECT_EQ(tab->IsTabEnabled(i), i == 3) << i;
}

TEST_F(DisableTabTest, KeysSkipDisabledTabs) {
    tab->EnableOnly(4);
    tab->SetCurSel(0);
    EXPECT_TRUE(tab->PressKey(WXK_RIGHT));
    EXPECT_EQ(tab->GetCurSel(), 4);
    EXPECT_EQ(tab->NextEnabledTab(5, true), 4) << "wrapping from the last tab";
    EXPECT_EQ(tab->NextEnabledTab(4, true), -1) << "back at the start";
    EXPECT_EQ(tab->NextEnabledTab(4, false), -1);
    EXPECT_EQ(tab->PrevEnabledTab(5), 4);
    EXPECT_EQ(tab->PrevEnabledTab(4), -1);
}

TEST_F(DisableTabTest, EnableOnlyMinusOneEnablesAllAndRepaints) {
    tab->EnableOnly(2);
    const int repaints = tab->Repaints();
    tab->EnableOnly(-1);
    EXPECT_EQ(tab->Repaints(), repaints + 1);
    for (int i = 0; i < 6; ++i) EXPECT_TRUE(tab->IsTabEnabled(i));
    EXPECT_TRUE(tab->ClickAt(Inside(5)));
    EXPECT_EQ(tab->GetCurSel(), 5);
    tab->EnableOnly(25);
    for (int i = 0; i < CDisableTab::kFlags; ++i) EXPECT_FALSE(tab->IsTabEnabled(i));
    EXPECT_TRUE(tab->IsTabEnabled(20));
    EXPECT_TRUE(tab->IsTabEnabled(-1));
}

TEST_F(DisableTabTest, HolderMayStopAChangeOnlyWithANegativeAnswer) {
    int answer = 1;
    tab->selChanging = [&] { return answer; };
    EXPECT_TRUE(tab->SetActiveTab(2)) << "a positive answer does not stop it";
    answer = -1;
    EXPECT_FALSE(tab->SetActiveTab(4));
    EXPECT_EQ(tab->GetCurSel(), 2);
}

TEST_F(DisableTabTest, MoreThanTwentyTabsAreEnabledFromTwentyOn) {
    for (int i = 6; i < 24; ++i) tab->InsertItem(-1, "T" + std::to_string(i));
    tab->EnableOnly(1);
    tab->SetCurSel(1);
    EXPECT_EQ(tab->NextEnabledTab(1, false), 20);
}

TEST_F(DisableTabTest, DrawnWithEmbossedDisabledTabs) {
    tab->SetCurSel(1);
    tab->EnableOnly(1);
    platform::ui::MemoryCanvas canvas(520, 40);
    tab->DrawAll(canvas.Dc());
    EXPECT_TRUE(canvas.SavePng(ControlArtifacts() / "disabletab.png"));
}

}  // namespace
