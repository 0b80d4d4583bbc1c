#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/frame.h>
#include <wx/panel.h>

#include "controls/DlgItemResizer.h"
#include "platform/ui/Gui.h"

using namespace controls;

using platform::ui::Rect;

namespace {

class ResizerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        frame = new wxFrame(nullptr, wxID_ANY, "resizer");
        panel = new wxPanel(frame, wxID_ANY, wxPoint(0, 0), wxSize(400, 300));
        frame->SetClientSize(400, 300);
    }
    void TearDown() override { frame->Destroy(); }
    wxWindow* Control(int x, int y, int w, int h) {
        return new wxButton(panel, wxID_ANY, "x", wxPoint(x, y), wxSize(w, h));
    }
    static Rect RectOf(wxWindow* w) {
        const wxRect r = w->GetRect();
        return Rect::FromXYWH(r.x, r.y, r.width, r.height);
    }
    wxFrame* frame = nullptr;
    wxPanel* panel = nullptr;
    CDlgItemResizer resizer;
};

TEST_F(ResizerTest, AnchorsFollowTheEdgesOnGrowAndShrink) {
    wxWindow* stretch = Control(10, 10, 100, 30);
    wxWindow* right = Control(300, 10, 80, 30);
    wxWindow* bottom = Control(10, 250, 80, 30);
    wxWindow* both = Control(10, 50, 200, 150);
    wxWindow* none = Control(150, 220, 40, 20);
    resizer.Add(stretch, CDlgItemResizer::kStretchHorz);
    resizer.Add(right, CDlgItemResizer::kRight);
    resizer.Add(bottom, CDlgItemResizer::kLeft | CDlgItemResizer::kBottom);
    resizer.Add(both, CDlgItemResizer::kStretchHorz | CDlgItemResizer::kStretchVert);
    resizer.Add(none, 0);
    EXPECT_EQ(resizer.Count(), 4u) << "flags 0 add nothing";

    panel->SetSize(500, 340);
    resizer.Resize(panel);
    EXPECT_EQ(RectOf(stretch), Rect::FromXYWH(10, 10, 200, 30)) << "100 wider";
    EXPECT_EQ(RectOf(right), Rect::FromXYWH(400, 10, 80, 30)) << "moved 100, same width";
    EXPECT_EQ(RectOf(bottom), Rect::FromXYWH(10, 290, 80, 30));
    EXPECT_EQ(RectOf(both), Rect::FromXYWH(10, 50, 300, 190));
    EXPECT_EQ(RectOf(none), Rect::FromXYWH(150, 220, 40, 20));

    panel->SetSize(350, 280);
    resizer.Resize(panel);
    EXPECT_EQ(RectOf(stretch), Rect::FromXYWH(10, 10, 50, 30));
    EXPECT_EQ(RectOf(right), Rect::FromXYWH(250, 10, 80, 30));
    EXPECT_EQ(RectOf(both), Rect::FromXYWH(10, 50, 150, 130));
}

TEST_F(ResizerTest, ControlLeavingTheAreaIsHiddenAndShownAgain) {
    wxWindow* tail = Control(300, 10, 80, 30);
    resizer.Add(tail, CDlgItemResizer::kRight | CDlgItemResizer::kHideOutside);
    wxWindow* wide = Control(10, 60, 380, 30);
    resizer.Add(wide, CDlgItemResizer::kLeft | CDlgItemResizer::kHideOutside);
    resizer.ResizeTo({300, 300}, false);
    EXPECT_TRUE(tail->IsShown());
    EXPECT_EQ(RectOf(tail), Rect::FromXYWH(200, 10, 80, 30));
    EXPECT_FALSE(wide->IsShown()) << "it would stick out on the right";
    EXPECT_EQ(RectOf(wide), Rect::FromXYWH(10, 60, 380, 30)) << "a hidden control stays where it was";
    resizer.ResizeTo({400, 300}, false);
    EXPECT_TRUE(wide->IsShown());
}

TEST_F(ResizerTest, MinimisingChangesNothingAndRestoringPutsControlsBack) {
    wxWindow* right = Control(300, 10, 80, 30);
    wxWindow* stretch = Control(10, 10, 100, 30);
    resizer.Add(right, CDlgItemResizer::kRight | CDlgItemResizer::kHideOutside);
    resizer.Add(stretch, CDlgItemResizer::kStretchHorz | CDlgItemResizer::kStretchVert);
    resizer.ResizeTo({0, 0}, true);
    EXPECT_EQ(RectOf(right), Rect::FromXYWH(300, 10, 80, 30));
    EXPECT_TRUE(right->IsShown());
    EXPECT_EQ(RectOf(stretch), Rect::FromXYWH(10, 10, 100, 30));
    resizer.ResizeTo({400, 300}, false);
    EXPECT_EQ(RectOf(right), Rect::FromXYWH(300, 10, 80, 30));
    EXPECT_EQ(RectOf(stretch), Rect::FromXYWH(10, 10, 100, 30));
}

TEST(ResizerEmpty, NothingAddedNothingDone) {
    CDlgItemResizer resizer;
    resizer.ResizeTo({100, 100}, false);
    EXPECT_EQ(resizer.Count(), 0u);
}

TEST(DecimalToHex, ClampsAndConverts) {
    struct Case {
        const char* text;
        int width;
        bool isSigned;
        const char* decimal;
        const char* hex;
    };
    const Case cases[] = {
        {"-1", 2, true, "-1", "FFFF"},
        {"70000", 2, false, "65535", "FFFF"},
        {"-5", 4, false, "0", "0"},
        {"", 2, false, "", ""},
        {"-", 2, true, "-", ""},
        {"255", 1, false, "255", "FF"},
        {"256", 1, false, "255", "FF"},
        {"12", 2, false, "12", "C"},
        {"4294967295", 4, false, "4294967295", "FFFFFFFF"},
        {"99999999999", 4, false, "4294967295", "FFFFFFFF"},
        {"-128", 1, true, "-128", "80"},
        {"300", 1, true, "127", "7F"},  // clamped, not wrapped
        {"-300", 1, true, "-128", "80"},
        {"-2147483648", 4, true, "-2147483648", "80000000"},
        {"99999999999", 4, true, "2147483647", "7FFFFFFF"},
        {"32767", 2, true, "32767", "7FFF"},
    };
    for (const Case& c : cases) {
        std::string hex = "junk";
        EXPECT_EQ(DecimalToHex(c.text, c.width, c.isSigned, hex), c.decimal) << c.text;
        EXPECT_EQ(hex, c.hex) << c.text;
    }
}

TEST(ObjectListComparer, SortsByColumn) {
    const ObjectListRow a{"Alpha", 100, "0x6040", "RW", "2"};
    const ObjectListRow b{"beta", 100, "0x6041", "RO", "4"};
    EXPECT_LT(CompareObjectList(a, b, 0, true), 0);
    EXPECT_GT(CompareObjectList(a, b, 0, false), 0);
    EXPECT_EQ(CompareObjectList(a, a, 0, true), 0);
    EXPECT_EQ(CompareObjectList(a, b, 1, true), -1) << "equal numbers are never equal rows";
    EXPECT_EQ(CompareObjectList(a, b, 1, false), 1);
    EXPECT_EQ(CompareObjectList(b, ObjectListRow{"", 5, "", "", ""}, 1, true), 1);
    EXPECT_GT(CompareObjectList(a, b, 3, true), 0);
    EXPECT_EQ(CompareObjectList(a, b, 7, true), 0);
}

}  // namespace
