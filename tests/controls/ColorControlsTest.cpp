#include <gtest/gtest.h>
#include <wx/frame.h>
#include <wx/panel.h>
#include <wx/stattext.h>

#include "ControlsTestSupport.h"
#include "controls/EditColor.h"
#include "controls/StaticColor.h"
#include "platform/ui/Gui.h"

using namespace controls;

using platform::ui::Rect;
using platform::ui::Size;

namespace {

class ColorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        frame = new wxFrame(nullptr, wxID_ANY, "colours");
        panel = new wxPanel(frame, wxID_ANY, wxPoint(0, 0), wxSize(400, 200));
        placeholder = new wxStaticText(panel, 1500, "", wxPoint(20, 30), wxSize(120, 24));
        frame->Show();
    }
    void TearDown() override { frame->Destroy(); }
    wxFrame* frame = nullptr;
    wxPanel* panel = nullptr;
    wxStaticText* placeholder = nullptr;
};

TEST(EditColorLayout, EditIsCentredInTheFrameOrFillsALowFrame) {
    // Frame 100 x 30 with a 2-pixel border, a 13-pixel line.
    EXPECT_EQ(CEditColor::EditRect(Rect::FromXYWH(10, 20, 100, 30), {96, 26}, 13), (Rect{12, 29, 108, 42}));
    EXPECT_EQ(CEditColor::EditRect(Rect::FromXYWH(10, 20, 100, 12), {96, 8}, 13), (Rect{12, 22, 108, 32}));
}

TEST(EditColorLayout, DisabledControlsUseSystemColours) {
    EXPECT_FALSE(EffectiveColors(false, {0x0000FF, 0x00FF00}).has_value());
    const auto on = EffectiveColors(true, {0x0000FF, 0x00FF00});
    ASSERT_TRUE(on.has_value());
    EXPECT_EQ(on->text, 0x0000FFu);
}

TEST_F(ColorTest, EditOverItemTakesItsPlaceIdsAndShowsTipOnlyForCutText) {
    auto* edit = new CEditColor();
    ASSERT_TRUE(edit->CreateOverItem(panel, 1500));
    EXPECT_FALSE(placeholder->IsShown());
    EXPECT_EQ(edit->Frame()->GetId(), 1500);
    EXPECT_EQ(edit->GetId(), 1500 + CEditColor::kEditIdOffset);
    EXPECT_EQ(edit->Frame()->GetRect(), wxRect(20, 30, 120, 24));
    EXPECT_EQ(edit->Colors().text, CEditColor::kBlue);
    EXPECT_EQ(edit->Colors().background, 0xFFFFFFu);
    EXPECT_EQ(edit->GetForegroundColour(), wxColour(0, 0, 255));

    edit->SetText("12.5");
    EXPECT_FALSE(edit->IsTextCut());
    EXPECT_FALSE(edit->TipAt({5, 5}).has_value());
    EXPECT_EQ(edit->GetToolTip(), nullptr);
    const std::string longText = "A value text much wider than the field can show at once";
    edit->SetText(longText);
    EXPECT_TRUE(edit->IsTextCut());
    EXPECT_EQ(edit->TipAt({5, 5}).value_or(""), longText);
    EXPECT_FALSE(edit->TipAt({0, 5}).has_value()) << "only strictly inside the control";
    ASSERT_NE(edit->GetToolTip(), nullptr);

    edit->Enable(false);
    EXPECT_NE(edit->GetForegroundColour(), wxColour(0, 0, 255)) << "disabled: system colours";
    edit->Enable(true);
    EXPECT_EQ(edit->GetForegroundColour(), wxColour(0, 0, 255));

    const wxPoint frameBefore = edit->Frame()->GetPosition();
    const wxPoint editBefore = edit->GetPosition();
    edit->MoveTo(editBefore.x + 50, editBefore.y + 7);
    EXPECT_EQ(edit->Frame()->GetPosition(), frameBefore + wxPoint(50, 7));
    EXPECT_EQ(edit->Frame()->GetSize(), wxSize(120, 24));

    platform::ui::MemoryCanvas canvas(140, 60, 0xDDDDDD);
    edit->SetText("1500 rpm");
    edit->DrawPicture(canvas.Dc(), {10, 10});
    edit->Enable(false);
    edit->DrawPicture(canvas.Dc(), {10, 36 - 2});
    EXPECT_TRUE(canvas.SavePng(ControlArtifacts() / "editcolor.png"));
}

TEST_F(ColorTest, StaticOverItemVariantsKeepTheSize) {
    auto* moved = new CStaticColor();
    ASSERT_TRUE(moved->CreateOverItemAt(panel, 1500, 200, 100));
    EXPECT_EQ(moved->GetRect(), wxRect(200, 100, 120, 24));
    EXPECT_EQ(moved->Colors().text, CEditColor::kBlue);
    EXPECT_FALSE(placeholder->IsShown());
    auto* placeholder2 = new wxStaticText(panel, 1501, "", wxPoint(20, 60), wxSize(90, 20));
    auto* top = new CStaticColor();
    ASSERT_TRUE(top->CreateOverItemAtTop(panel, 1501, 150));
    EXPECT_EQ(top->GetRect(), wxRect(20, 150, 90, 20));
    EXPECT_FALSE(placeholder2->IsShown());
    auto* third = new wxStaticText(panel, 1502, "", wxPoint(250, 10), wxSize(100, 22));
    (void)third;
    auto* coloured = new CStaticColor();
    ASSERT_TRUE(
        coloured->CreateOverItem(panel, 1502, platform::RGB(255, 255, 255), platform::RGB(0, 128, 0)));

    platform::ui::MemoryCanvas canvas(120, 70, 0xDDDDDD);
    coloured->SetText("Enabled");
    coloured->Draw(canvas.Dc());
    EXPECT_EQ(canvas.PixelAt(2, 2), platform::RGB(0, 128, 0));
    coloured->Enable(false);
    platform::ui::MemoryCanvas disabled(120, 24, 0xDDDDDD);
    coloured->Draw(disabled.Dc());
    EXPECT_NE(disabled.PixelAt(2, 2), platform::RGB(0, 128, 0)) << "disabled: system colours";
    EXPECT_TRUE(canvas.SavePng(ControlArtifacts() / "staticcolor.png"));
    EXPECT_TRUE(disabled.SavePng(ControlArtifacts() / "staticcolor-disabled.png"));
}

TEST_F(ColorTest, LabelDrawsItsColours) {
    auto* label = new CLabelColor();
    label->textColor = platform::RGB(200, 0, 0);
    label->textBackground = platform::RGB(255, 255, 0);
    label->brushColor = platform::RGB(0, 0, 80);
    ASSERT_TRUE(label->Create(panel, 1600, "Warning", wxPoint(10, 150), wxSize(120, 20)));
    EXPECT_EQ(label->tag, 1001);
    platform::ui::MemoryCanvas canvas(120, 20);
    label->Draw(canvas.Dc());
    EXPECT_EQ(canvas.PixelAt(119, 19), platform::RGB(0, 0, 80));
    EXPECT_TRUE(canvas.SavePng(ControlArtifacts() / "labelcolor.png"));
}

}  // namespace
