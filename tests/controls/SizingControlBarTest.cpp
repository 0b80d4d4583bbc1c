#include <filesystem>

#include <gtest/gtest.h>
#include <wx/frame.h>

#include "ControlsTestSupport.h"
#include "controls/SizingControlBar.h"
#include "platform/Registry.h"
#include "platform/ui/Gui.h"

using namespace controls;

using platform::ui::Rect;
using platform::ui::Size;

namespace {

class SizingBarTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() / ("tunova-scbar-" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        registry = std::make_unique<platform::Registry>(dir / "machine", dir / "user");
        profile = std::make_unique<RegistryBarProfile>(*registry, "SOFTWARE\\Tunova\\Tunova");
        frame = new wxFrame(nullptr, wxID_ANY, "bars");
    }
    void TearDown() override {
        frame->Destroy();
        std::filesystem::remove_all(dir);
    }
    template <class Bar = CSizingControlBar>
    Bar* MakeBar(int id, unsigned dock) {
        auto* bar = new Bar();
        bar->Create("Messages", frame, id, CSizingControlBar::kDrawEdges);
        bar->SetDockBarId(dock);
        return bar;
    }
    std::filesystem::path dir;
    std::unique_ptr<platform::Registry> registry;
    std::unique_ptr<RegistryBarProfile> profile;
    wxFrame* frame = nullptr;
};

TEST_F(SizingBarTest, SizesAreSavedAndRestoredPerBarWithTheMinimumClamp) {
    CSizingControlBar* bar = MakeBar(59500, CSizingControlBar::kDockBottom);
    CSizingControlBar* other = MakeBar(59501, CSizingControlBar::kDockBottom);
    EXPECT_EQ(CSizingControlBar::SectionName("Main", 59500), "Main-SCBar-59500");
    bar->LoadState(*profile, "Main");
    EXPECT_EQ(bar->sizeHorz, (Size{200, 200})) << "no saved state: the sizes stay";
    bar->sizeHorz = {640, 120};
    bar->sizeVert = {150, 400};
    bar->sizeFloat = {300, 90};
    bar->SaveState(*profile, "Main");
    EXPECT_EQ(
        registry->GetDword(platform::Scope::User, "SOFTWARE\\Tunova\\Tunova\\Main-SCBar-59500", "sizeHorzCY"),
        120u);
    other->LoadState(*profile, "Main");
    EXPECT_EQ(other->sizeHorz, (Size{200, 200})) << "another id, another section";
    CSizingControlBar* again = MakeBar(59500, CSizingControlBar::kDockBottom);
    again->LoadState(*profile, "Main");
    EXPECT_EQ(again->sizeHorz, (Size{640, 120}));
    EXPECT_EQ(again->sizeVert, (Size{150, 400}));
    EXPECT_EQ(again->sizeFloat, (Size{300, 90}));

    bar->sizeHorz = {10, 10};
    bar->sizeFloat = {10, 10};
    bar->SaveState(*profile, "Main");
    again->LoadState(*profile, "Main");
    EXPECT_EQ(again->sizeHorz, (Size{33, 32})) << "below the minimum loads as the minimum";
    EXPECT_EQ(again->sizeFloat, (Size{37, 32}));
}

TEST_F(SizingBarTest, LayoutKeepsMinimumsAndStretches) {
    CSizingControlBar* bar = MakeBar(1, CSizingControlBar::kDockTop);
    bar->sizeHorz = {20, 150};
    EXPECT_EQ(bar->CalcFixedLayout(false, true), (Size{33, 150}));
    EXPECT_EQ(bar->CalcFixedLayout(true, true), (Size{32767, 150}));
    EXPECT_EQ(bar->CalcFixedLayout(true, false), (Size{200, 32767}));
    EXPECT_EQ(bar->CalcDynamicLayout(10, CSizingControlBar::kLengthY), (Size{200, 32}));
    EXPECT_EQ(bar->CalcDynamicLayout(250, 0), (Size{250, 32}));
    EXPECT_EQ(bar->CalcDynamicLayout(999, CSizingControlBar::kCommit), (Size{250, 32}));
}

TEST_F(SizingBarTest, EdgesFaceTheCentreAndTheNeighbours) {
    CSizingControlBar* alone = MakeBar(1, CSizingControlBar::kDockTop);
    alone->CalcNcClient(Rect::FromXYWH(0, 0, 300, 100), false, false);
    EXPECT_EQ(alone->EdgeFlags(), CSizingControlBar::kEdgeBottom)
        << "alone in a top row: only the bottom edge";
    EXPECT_EQ(alone->NcHitTest({150, 97}), CSizingControlBar::kHitBottom);
    EXPECT_EQ(alone->NcHitTest({2, 50}), CSizingControlBar::kHitClient);
    CSizingControlBar* first = MakeBar(2, CSizingControlBar::kDockTop);
    CSizingControlBar* second = MakeBar(3, CSizingControlBar::kDockTop);
    first->CalcNcClient(Rect::FromXYWH(0, 0, 150, 100), false, true);
    second->CalcNcClient(Rect::FromXYWH(148, 0, 150, 100), true, false);
    EXPECT_TRUE(first->EdgeFlags() & CSizingControlBar::kEdgeRight);
    EXPECT_TRUE(second->EdgeFlags() & CSizingControlBar::kEdgeLeft);
    EXPECT_EQ(first->NcHitTest({147, 50}), CSizingControlBar::kHitRight);
    EXPECT_EQ(first->NcHitTest({147, 3}), CSizingControlBar::kHitClient) << "shortened at the ends";
    CSizingControlBar* floating = MakeBar(4, CSizingControlBar::kFloating);
    const Rect client = floating->CalcNcClient(Rect::FromXYWH(0, 0, 200, 100), true, true);
    EXPECT_EQ(floating->EdgeFlags(), 0u);
    EXPECT_EQ(client, (Rect{3, 5, 197, 97}));
    EXPECT_EQ(floating->NcHitTest({1, 1}), CSizingControlBar::kHitClient);
}

TEST_F(SizingBarTest, TrackingTheEdgeBetweenBarsMovesLengthWithinMinimums) {
    CSizingControlBar* a = MakeBar(1, CSizingControlBar::kDockBottom);
    CSizingControlBar* b = MakeBar(2, CSizingControlBar::kDockBottom);
    CSizingControlBar* c = MakeBar(3, CSizingControlBar::kDockBottom);
    a->sizeHorz = {100, 80};
    b->sizeHorz = {200, 80};
    c->sizeHorz = {150, 80};
    SizingBarRow row({a, b, c});
    row.StartTracking(1, CSizingControlBar::kHitRight, 300, 400);
    EXPECT_EQ(row.LowerLimit(), 300 - (100 - 33) - (200 - 33));
    EXPECT_EQ(row.UpperLimit(), 300 + (150 - 33));
    row.UpdateTrackSize(1000);  // clamped: c gives all it has
    EXPECT_EQ(c->sizeHorz.cx, 33);
    EXPECT_EQ(b->sizeHorz.cx, 317);
    row.UpdateTrackSize(100);  // back: b gives, then a
    EXPECT_EQ(b->sizeHorz.cx, 33);
    EXPECT_EQ(a->sizeHorz.cx, 67);
    EXPECT_EQ(c->sizeHorz.cx, 350);
    EXPECT_EQ(a->sizeHorz.cx + b->sizeHorz.cx + c->sizeHorz.cx, 450) << "the row keeps its length";
    row.StopTracking();
    EXPECT_FALSE(row.IsTracking());
}

TEST_F(SizingBarTest, TrackingTheInnerEdgeSetsTheRowThickness) {
    CSizingControlBar* a = MakeBar(1, CSizingControlBar::kDockBottom);
    CSizingControlBar* b = MakeBar(2, CSizingControlBar::kDockBottom);
    a->sizeHorz = {300, 120};
    b->sizeHorz = {300, 120};
    b->minHorz = {33, 60};
    SizingBarRow row({a, b});
    row.StartTracking(0, CSizingControlBar::kHitTop, 500, 200);
    EXPECT_EQ(row.LowerLimit(), 500 - 198);
    EXPECT_EQ(row.UpperLimit(), 500 + 60) << "the largest minimum thickness of the row";
    row.UpdateTrackSize(450);
    EXPECT_EQ(a->sizeHorz.cy, 170);
    EXPECT_EQ(b->sizeHorz.cy, 170);
    row.UpdateTrackSize(900);
    EXPECT_EQ(a->sizeHorz.cy, 60);
}

TEST_F(SizingBarTest, RowLengthIsSharedAndBarsAlign) {
    CSizingControlBar* a = MakeBar(1, CSizingControlBar::kDockTop);
    CSizingControlBar* b = MakeBar(2, CSizingControlBar::kDockTop);
    a->sizeHorz = {300, 100};
    b->sizeHorz = {300, 140};
    SizingBarRow row({a, b});
    row.Negotiate(800);
    EXPECT_EQ(a->sizeHorz.cx + b->sizeHorz.cx - 4, 800);
    EXPECT_EQ(a->sizeHorz.cy, 140) << "the row's largest thickness";
    row.Negotiate(100);
    EXPECT_EQ(a->sizeHorz.cx, 52);
    EXPECT_EQ(b->sizeHorz.cx, 52);
    const auto starts = row.Align();
    EXPECT_EQ(starts, (std::vector<int>{-2, 48}));
    SizingBarRow single({a});
    single.Negotiate(500);
    EXPECT_EQ(a->sizeHorz.cx, 500 + 2);
}

TEST_F(SizingBarTest, CaptionBarCloseButtonAndPicture) {
    auto* bar = MakeBar<CSizingControlBarCF>(59530, CSizingControlBar::kDockLeft);
    const Rect client = bar->CalcGripperClient(Rect::FromXYWH(0, 0, 180, 300), false, false);
    EXPECT_EQ(client.top, 5 + 12);
    const Rect close = bar->CloseButton();
    EXPECT_EQ(close.Width(), 11);
    EXPECT_EQ(bar->NcHitTest({close.left + 5, close.top + 5}), CSizingControlBar::kHitClose);
    EXPECT_TRUE(bar->UpdateCloseButton({close.left + 5, close.top + 5}, true));
    EXPECT_TRUE(bar->pushed);
    EXPECT_FALSE(bar->UpdateCloseButton({close.left + 5, close.top + 5}, true));
    EXPECT_TRUE(bar->UpdateCloseButton({50, 150}, false));
    EXPECT_FALSE(bar->pushed) << "released outside: nothing is closed";
    EXPECT_EQ(CSizingControlBarCF::GradientBand(0, 0x0000FF, 0xFF0000), 0x0000FFu);
    EXPECT_EQ(CSizingControlBarCF::GradientBand(32, 0x000080, 0x000000), 0x000040u);
    bar->active = true;
    platform::ui::MemoryCanvas canvas(180, 60);
    bar->DrawCaption(canvas.Dc(), {0, 0, 180, 60}, true);
    EXPECT_TRUE(canvas.SavePng(ControlArtifacts() / "sizingbar-caption.png"));
}

}  // namespace
