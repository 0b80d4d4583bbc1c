// Sizing bars in a real frame under Xvfb: docking on the four sides, floating
// and docking back, dragging, the sizing tracker, the caption's states and the
// dock state kept in the profile.
#include <filesystem>
#include <memory>

#include <gtest/gtest.h>
#include <wx/frame.h>
#include <wx/textctrl.h>

#include "ControlsTestSupport.h"
#include "controls/SizingControlBarDock.h"
#include "platform/Registry.h"
#include "platform/ui/Gui.h"

using namespace controls;

using platform::ui::Point;
using platform::ui::Rect;
using platform::ui::Size;
using Bar = CSizingControlBar;

namespace {

constexpr int kClientW = 800;
constexpr int kClientH = 600;

Rect RectOf(const wxWindow* w) {
    const wxPoint p = w->GetPosition();
    const wxSize s = w->GetSize();
    return Rect::FromXYWH(p.x, p.y, s.x, s.y);
}

Rect ScreenRectOf(const wxWindow* w) {
    const wxPoint p = w->GetScreenPosition();
    const wxSize s = w->GetSize();
    return Rect::FromXYWH(p.x, p.y, s.x, s.y);
}

Point Centre(const Rect& r) {
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// A mouse event delivered to a window as the toolkit would, at window coordinates.
void SendMouse(wxWindow* window, wxEventType type, Point at, bool leftDown = false, bool control = false) {
    wxMouseEvent event(type);
    event.SetEventObject(window);
    event.SetId(window->GetId());
    event.m_x = at.x;
    event.m_y = at.y;
    event.m_leftDown = leftDown;
    event.m_controlDown = control;
    window->GetEventHandler()->ProcessEvent(event);
}

class Frame {
  public:
    Frame() {
        frame = new wxFrame(nullptr, wxID_ANY, "Docking", wxPoint(40, 30), wxDefaultSize);
        frame->SetClientSize(kClientW, kClientH);
        view = new wxWindow(frame, wxID_ANY);
        view->SetBackgroundColour(*wxWHITE);
        site = std::make_unique<SizingBarDockSite>(frame);
        site->SetView(view);
    }
    ~Frame() {
        site.reset();
        frame->Destroy();
        platform::ui::ProcessPending();
    }
    void Show() {
        frame->Show();
        platform::ui::RunUntil([&] { return frame->IsShownOnScreen(); }, 5000);
        platform::ui::ProcessPending();
        site->RecalcLayout();
    }
    CSizingControlBarCF* AddBar(int id, const std::string& title, Size horz, Size vert) {
        auto* bar = new CSizingControlBarCF();
        bar->Create(title, frame, id, Bar::kDrawEdges | Bar::kSizeChild);
        new wxTextCtrl(bar, wxID_ANY, wxString::FromUTF8(title + " text"), wxDefaultPosition, wxDefaultSize,
                       wxTE_MULTILINE);
        bar->sizeHorz = horz;
        bar->sizeVert = vert;
        site->AddBar(bar);
        return bar;
    }
    // The client area as the bars draw it (their own pictures, children left out).
    void SavePicture(const std::string& file) {
        platform::ui::MemoryCanvas canvas(kClientW, kClientH, 0x808080);
        const Rect v = site->ViewRect();
        canvas.Dc().FillSolidRect(v, 0xFFFFFF);
        for (unsigned side : {Bar::kDockTop, Bar::kDockBottom, Bar::kDockLeft, Bar::kDockRight}) {
            for (const auto& row : site->Rows(side)) {
                for (CSizingControlBar* bar : row) {
                    if (!bar->IsShown()) continue;
                    const wxPoint p = bar->GetPosition();
                    canvas.Dc().Wx().SetDeviceOrigin(p.x, p.y);
                    bar->PaintNc(canvas.Dc());
                }
            }
        }
        canvas.Dc().Wx().SetDeviceOrigin(0, 0);
        EXPECT_TRUE(canvas.SavePng(ControlArtifacts() / file));
    }
    wxFrame* frame;
    wxWindow* view;
    std::unique_ptr<SizingBarDockSite> site;
};

class SizingBarDockingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() / ("tunova-scdock-" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        registry = std::make_unique<platform::Registry>(dir / "machine", dir / "user");
        profile = std::make_unique<RegistryBarProfile>(*registry, "SOFTWARE\\Tunova\\Tunova");
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::filesystem::path dir;
    std::unique_ptr<platform::Registry> registry;
    std::unique_ptr<RegistryBarProfile> profile;
};

TEST_F(SizingBarDockingTest, BarsDockOnFourSidesAroundTheView) {
    Frame f;
    auto* top = f.AddBar(101, "Top", {200, 100}, {150, 200});
    auto* bottom = f.AddBar(102, "Bottom", {200, 80}, {150, 200});
    auto* left = f.AddBar(103, "Left", {200, 90}, {150, 200});
    auto* right = f.AddBar(104, "Right", {200, 90}, {120, 200});
    f.site->DockControlBar(top, Bar::kDockTop);
    f.site->DockControlBar(bottom, Bar::kDockBottom);
    f.site->DockControlBar(left, Bar::kDockLeft);
    f.site->DockControlBar(right, Bar::kDockRight);
    f.Show();

    // Top and bottom span the width (2 pixels beyond each end, as the bars overlap);
    // left and right fill the height between them.
    EXPECT_EQ(RectOf(top), Rect::FromXYWH(-2, 0, kClientW + 4, 100));
    EXPECT_EQ(RectOf(bottom), Rect::FromXYWH(-2, kClientH - 80, kClientW + 4, 80));
    EXPECT_EQ(RectOf(left), Rect::FromXYWH(0, 100, 150, kClientH - 180));
    EXPECT_EQ(RectOf(right), Rect::FromXYWH(kClientW - 120, 100, 120, kClientH - 180));
    EXPECT_EQ(f.site->ViewRect(), (Rect{150, 100, kClientW - 120, kClientH - 80}));
    EXPECT_EQ(RectOf(f.view), f.site->ViewRect());

    // Each bar's sizable edge faces the frame's centre.
    EXPECT_EQ(top->DockBarId(), Bar::kDockTop);
    EXPECT_EQ(top->EdgeFlags(), Bar::kEdgeBottom);
    EXPECT_EQ(bottom->EdgeFlags(), Bar::kEdgeTop);
    EXPECT_EQ(left->EdgeFlags(), Bar::kEdgeRight);
    EXPECT_EQ(right->EdgeFlags(), Bar::kEdgeLeft);
    // The caption runs along the top of side bars and down the left of top and bottom bars.
    EXPECT_EQ(left->ClientRect().top, 5 + 12);
    EXPECT_EQ(top->ClientRect().left, 3 + 2 + 12);
    // The text child fills the client area.
    const Rect client = left->ClientRect();
    EXPECT_EQ(RectOf(left->GetChildren().front()), client);

    // A resized frame shares the new length out again.
    f.frame->SetClientSize(kClientW - 200, kClientH);
    platform::ui::RunUntil([&] { return top->GetSize().x == kClientW - 200 + 4; }, 5000);
    EXPECT_EQ(top->GetSize().x, kClientW - 200 + 4);
    EXPECT_EQ(right->GetPosition().x, kClientW - 200 - 120);
    f.frame->SetClientSize(kClientW, kClientH);
    platform::ui::RunUntil([&] { return top->GetSize().x == kClientW + 4; }, 5000);

    top->active = true;
    f.SavePicture("sizingbar-docked.png");
}

TEST_F(SizingBarDockingTest, RowsShareTheirLengthAndSplitWhenFull) {
    Frame f;
    auto* a = f.AddBar(201, "A", {300, 100}, {150, 200});
    auto* b = f.AddBar(202, "B", {300, 140}, {150, 200});
    f.site->DockControlBar(a, Bar::kDockBottom);
    f.site->DockControlBar(b, Bar::kDockBottom, 0);
    f.Show();
    ASSERT_EQ(f.site->Rows(Bar::kDockBottom).size(), 1u);
    EXPECT_EQ(a->sizeHorz.cx + b->sizeHorz.cx - 4, kClientW + 2) << "the row's length is shared";
    EXPECT_EQ(a->sizeHorz.cy, 140) << "one thickness for the row";
    EXPECT_EQ(RectOf(b).left, RectOf(a).right - 2) << "neighbours overlap by 2";
    EXPECT_EQ(a->EdgeFlags(), Bar::kEdgeTop | Bar::kEdgeRight);
    EXPECT_EQ(b->EdgeFlags(), Bar::kEdgeTop | Bar::kEdgeLeft);

    // Hiding one gives the other the whole row; showing it again takes room back.
    f.site->ShowControlBar(b, false, false);
    EXPECT_EQ(a->GetSize().x, kClientW + 4);
    EXPECT_EQ(a->EdgeFlags(), Bar::kEdgeTop);
    f.site->ShowControlBar(b, true, false);
    EXPECT_TRUE(b->IsShown());
    EXPECT_EQ(RectOf(b).right, kClientW + 2);

    // Too narrow for both minimums: the second goes to a row of its own.
    a->minHorz = {500, 32};
    b->minHorz = {500, 32};
    f.site->RecalcLayout();
    ASSERT_EQ(f.site->Rows(Bar::kDockBottom).size(), 2u);
    EXPECT_EQ(f.site->Rows(Bar::kDockBottom)[1].front(), b);
    EXPECT_EQ(a->EdgeFlags(), Bar::kEdgeTop);
}

TEST_F(SizingBarDockingTest, DraggingAnEdgeDrawsTheTrackerAndSizesOnRelease) {
    Frame f;
    auto* a = f.AddBar(301, "A", {400, 150}, {150, 200});
    auto* b = f.AddBar(302, "B", {400, 150}, {150, 200});
    f.site->DockControlBar(a, Bar::kDockTop);
    f.site->DockControlBar(b, Bar::kDockTop, 0);
    f.Show();
    const int lengthA = a->sizeHorz.cx;
    const int lengthB = b->sizeHorz.cx;

    // The mouse goes down on a's right edge, moves 60 pixels left and comes up.
    const Point edge{a->GetSize().x - 3, a->GetSize().y / 2};
    ASSERT_EQ(a->NcHitTest(edge), Bar::kHitRight);
    SendMouse(a, wxEVT_LEFT_DOWN, edge, true);
    ASSERT_TRUE(a->IsTracking());
    ASSERT_TRUE(a->IsTrackerShown()) << "the tracker is drawn as soon as tracking starts";
    const Rect first = a->TrackerRect();
    EXPECT_EQ(first.Width(), a->edgeWidth);
    SendMouse(a, wxEVT_MOTION, {edge.x - 60, edge.y}, true);
    EXPECT_EQ(a->TrackerRect(), first.Offset(-60, 0)) << "the tracker follows the mouse";
    EXPECT_EQ(RectOf(a).Width(), lengthA) << "without full-window drag the bars wait for the release";

    // The tracker on a picture of the frame, for the record.
    {
        platform::ui::MemoryCanvas canvas(kClientW, 200, 0xFFFFFF);
        for (CSizingControlBar* bar : {a, b}) {
            canvas.Dc().Wx().SetDeviceOrigin(bar->GetPosition().x, bar->GetPosition().y);
            bar->PaintNc(canvas.Dc());
        }
        canvas.Dc().Wx().SetDeviceOrigin(0, 0);
        const wxPoint origin = f.frame->ClientToScreen(wxPoint(0, 0));
        SizingBarTracker::DrawHalftone(canvas.Dc(), a->TrackerRect().Offset(-origin.x, -origin.y));
        EXPECT_TRUE(canvas.SavePng(ControlArtifacts() / "sizingbar-tracker.png"));
    }

    SendMouse(a, wxEVT_LEFT_UP, {edge.x - 60, edge.y});
    EXPECT_FALSE(a->IsTracking());
    EXPECT_FALSE(a->IsTrackerShown()) << "the tracker is erased";
    platform::ui::RunUntil([&] { return RectOf(a).Width() == lengthA - 60; }, 5000);
    EXPECT_EQ(RectOf(a).Width(), lengthA - 60);
    EXPECT_EQ(RectOf(b).Width(), lengthB + 60);
    EXPECT_EQ(RectOf(b).left, RectOf(a).right - 2);

    // The inner edge with full-window drag: the row follows live, no tracker.
    a->dragFullWindows = true;
    const Point inner{a->GetSize().x / 2, a->GetSize().y - 3};
    ASSERT_EQ(a->NcHitTest(inner), Bar::kHitBottom);
    SendMouse(a, wxEVT_LEFT_DOWN, inner, true);
    SendMouse(a, wxEVT_MOTION, {inner.x, inner.y + 40}, true);
    EXPECT_FALSE(a->IsTrackerShown());
    platform::ui::RunUntil([&] { return a->GetSize().y == 190; }, 5000);
    EXPECT_EQ(a->GetSize().y, 190);
    EXPECT_EQ(b->GetSize().y, 190) << "the whole row takes the thickness";
    EXPECT_EQ(f.site->ViewRect().top, 190);
    // Far beyond the frame: stopped by the free area's extent (minus 2).
    SendMouse(a, wxEVT_MOTION, {inner.x, inner.y + 5000}, true);
    SendMouse(a, wxEVT_LEFT_UP, {inner.x, inner.y + 5000});
    platform::ui::RunUntil([&] { return f.site->ViewRect().Height() == 2; }, 5000);
    EXPECT_EQ(f.site->ViewRect().Height(), 2);
    // A right click ends a drag as well.
    SendMouse(a, wxEVT_LEFT_DOWN, {a->GetSize().x / 2, a->GetSize().y - 3}, true);
    EXPECT_TRUE(a->IsTracking());
    SendMouse(a, wxEVT_RIGHT_DOWN, {a->GetSize().x / 2, a->GetSize().y - 3});
    EXPECT_FALSE(a->IsTracking());
}

TEST_F(SizingBarDockingTest, FloatsInItsOwnFrameAndDocksBack) {
    Frame f;
    auto* bar = f.AddBar(401, "Messages", {300, 120}, {150, 200});
    bar->sizeFloat = {260, 140};
    f.site->DockControlBar(bar, Bar::kDockLeft);
    f.Show();
    EXPECT_EQ(f.site->ViewRect().left, 150);

    f.site->FloatControlBar(bar, {300, 250});
    platform::ui::ProcessPending();
    SizingBarMiniFrame* mini = f.site->MiniFrameOf(bar);
    ASSERT_NE(mini, nullptr);
    EXPECT_TRUE(bar->IsFloating());
    EXPECT_EQ(bar->GetParent(), mini);
    const int caption = SizingBarDockSite::SmallCaptionHeight();
    EXPECT_EQ(mini->GetPosition(), wxPoint(299, 250 - caption - 1)) << "the bar's corner is at the point";
    EXPECT_EQ(bar->GetPosition(), wxPoint(1, caption + 1));
    EXPECT_EQ(bar->GetSize(), wxSize(260, 140));
    EXPECT_EQ(mini->GetClientSize(), wxSize(262, 140 + caption + 2));
    EXPECT_EQ(bar->EdgeFlags(), 0u) << "a floating bar has no sizing edges";
    EXPECT_EQ(mini->GetTitle(), "Messages");
    EXPECT_EQ(f.site->ViewRect().left, 0) << "the dock side is empty now";

    {
        platform::ui::MemoryCanvas canvas(mini->GetClientSize().x, mini->GetClientSize().y);
        mini->Paint(canvas.Dc());
        canvas.Dc().Wx().SetDeviceOrigin(1, caption + 1);
        bar->PaintNc(canvas.Dc());
        canvas.Dc().Wx().SetDeviceOrigin(0, 0);
        EXPECT_TRUE(canvas.SavePng(ControlArtifacts() / "sizingbar-floating.png"));
    }

    // A double click in the bar docks it where it was.
    SendMouse(bar, wxEVT_LEFT_DCLICK, Centre(bar->ClientRect()));
    platform::ui::RunUntil([&] { return !bar->IsFloating(); }, 5000);
    EXPECT_EQ(bar->DockBarId(), Bar::kDockLeft);
    EXPECT_EQ(bar->GetParent(), f.frame);
    EXPECT_EQ(f.site->MiniFrameOf(bar), nullptr);
    EXPECT_EQ(f.site->ViewRect().left, 150);
    // And again: it floats where it floated before.
    f.site->ToggleDocking(bar);
    ASSERT_NE(f.site->MiniFrameOf(bar), nullptr);
    EXPECT_EQ(f.site->MiniFrameOf(bar)->GetPosition(), wxPoint(299, 250 - caption - 1));
}

TEST_F(SizingBarDockingTest, DraggingDocksOnTheSideUnderTheMouseOrFloats) {
    Frame f;
    auto* bar = f.AddBar(501, "Drag", {300, 120}, {150, 200});
    f.site->DockControlBar(bar, Bar::kDockBottom);
    f.Show();
    const Rect client = [&] {
        const wxPoint o = f.frame->ClientToScreen(wxPoint(0, 0));
        return Rect::FromXYWH(o.x, o.y, kClientW, kClientH);
    }();
    const Point grab = {ScreenRectOf(bar).left + 100, ScreenRectOf(bar).top + 60};

    // A click without a move leaves the bar where it is.
    f.site->StartDrag(bar, grab);
    EXPECT_TRUE(f.site->IsDragOutlineShown());
    f.site->EndDrag({grab.x + 1, grab.y});
    EXPECT_FALSE(f.site->IsDragging());
    EXPECT_FALSE(f.site->IsDragOutlineShown());
    EXPECT_EQ(bar->DockBarId(), Bar::kDockBottom);

    struct Case {
        const char* what;
        Point at;
        bool noDocking;
        unsigned target;
    };
    const Case cases[] = {
        {"near the left edge", {client.left + 5, client.top + 300}, false, Bar::kDockLeft},
        {"near the top edge", {client.left + 400, client.top + 4}, false, Bar::kDockTop},
        {"over the bottom row", {client.left + 400, client.bottom - 30}, false, Bar::kDockBottom},
        {"in the middle", {client.left + 400, client.top + 300}, false, Bar::kFloating},
        {"outside the frame", {client.right + 50, client.top + 10}, false, Bar::kFloating},
        {"near an edge with docking off", {client.left + 5, client.top + 300}, true, Bar::kFloating},
    };
    f.site->StartDrag(bar, grab);
    for (const Case& c : cases) {
        f.site->MoveDrag(c.at, c.noDocking);
        EXPECT_EQ(f.site->DragTarget(), c.target) << c.what;
        EXPECT_TRUE(f.site->DragRect().Contains(c.at)) << c.what << ": the outline holds the mouse";
    }
    f.site->CancelDrag();
    EXPECT_FALSE(f.site->IsDragOutlineShown());
    EXPECT_EQ(bar->DockBarId(), Bar::kDockBottom) << "a cancelled drag changes nothing";

    // Dragged into the middle it floats with the grabbed point under the mouse.
    f.site->StartDrag(bar, grab);
    const Point drop{client.left + 400, client.top + 300};
    f.site->EndDrag(drop);
    ASSERT_TRUE(bar->IsFloating());
    SizingBarMiniFrame* mini = f.site->MiniFrameOf(bar);
    EXPECT_EQ(mini->GetPosition().x + 1, drop.x - 100);
    platform::ui::RunUntil([&] { return mini->GetScreenPosition() == mini->GetPosition(); }, 5000);

    // Its frame's caption is dragged onto the right side: docked there.
    const Point captionPoint = Centre(mini->CaptionRect());
    SendMouse(mini, wxEVT_LEFT_DOWN, captionPoint, true);
    ASSERT_TRUE(f.site->IsDragging());
    const Point target{client.right - 4, client.top + 300};
    const wxPoint local = mini->ScreenToClient(wxPoint(target.x, target.y));
    SendMouse(mini, wxEVT_MOTION, {local.x, local.y}, true);
    EXPECT_EQ(f.site->DragTarget(), Bar::kDockRight);
    SendMouse(mini, wxEVT_LEFT_UP, {local.x, local.y});
    platform::ui::RunUntil([&] { return bar->DockBarId() == Bar::kDockRight; }, 5000);
    EXPECT_EQ(bar->DockBarId(), Bar::kDockRight);
    EXPECT_EQ(f.site->MiniFrameOf(bar), nullptr);
    EXPECT_EQ(RectOf(bar).right, kClientW);
}

TEST_F(SizingBarDockingTest, CloseHidesAndTitleReachesTheCaption) {
    Frame f;
    auto* bar = f.AddBar(601, "Output", {300, 120}, {150, 200});
    f.site->DockControlBar(bar, Bar::kDockBottom);
    f.Show();

    // Closing the window itself is ignored.
    EXPECT_FALSE(bar->Close());
    platform::ui::ProcessPending();
    EXPECT_TRUE(bar->IsShown());

    // Pressed on the close button and released outside: stays open.
    const Point button = Centre(bar->CloseButton());
    SendMouse(bar, wxEVT_LEFT_DOWN, button, true);
    EXPECT_TRUE(bar->pushed);
    SendMouse(bar, wxEVT_MOTION, {button.x + 40, button.y + 40}, true);
    EXPECT_FALSE(bar->pushed) << "off the button the press shows no more";
    SendMouse(bar, wxEVT_LEFT_UP, {button.x + 40, button.y + 40});
    EXPECT_TRUE(bar->IsShown());
    // Released on it: hidden through the frame, and the view takes the room.
    SendMouse(bar, wxEVT_LEFT_DOWN, button, true);
    SendMouse(bar, wxEVT_LEFT_UP, button);
    EXPECT_FALSE(bar->IsShown());
    EXPECT_FALSE(f.site->IsBarVisible(bar));
    EXPECT_EQ(f.site->ViewRect().bottom, kClientH);
    f.site->ShowControlBar(bar, true, false);
    EXPECT_EQ(f.site->ViewRect().bottom, kClientH - 120);

    // A new title: kept by the bar, shown by a floating bar's frame.
    bar->SetLabel("Output (3)");
    EXPECT_EQ(bar->GetLabel(), "Output (3)");
    f.site->FloatControlBar(bar, {200, 200});
    SizingBarMiniFrame* mini = f.site->MiniFrameOf(bar);
    ASSERT_NE(mini, nullptr);
    EXPECT_EQ(mini->GetTitle(), "Output (3)");
    bar->SetLabel("Output (4)");
    EXPECT_EQ(mini->GetTitle(), "Output (4)");

    // The floating frame's close hides the bar; both stay for the next show.
    platform::ui::RunUntil([&] { return mini->IsShownOnScreen(); }, 5000);
    platform::ui::ProcessPending();
    mini->Close();
    platform::ui::ProcessPending();
    EXPECT_FALSE(mini->IsShown());
    EXPECT_FALSE(bar->IsShown());
    ASSERT_EQ(f.site->MiniFrameOf(bar), mini);
    f.site->ShowControlBar(bar, true, false);
    EXPECT_TRUE(mini->IsShown());
    EXPECT_TRUE(bar->IsShown());
}

TEST_F(SizingBarDockingTest, CaptionIsActiveWhileTheFocusIsInside) {
    Frame f;
    auto* bar = f.AddBar(701, "Focus", {300, 120}, {150, 200});
    f.site->DockControlBar(bar, Bar::kDockBottom);
    f.Show();
    wxWindow* child = bar->GetChildren().front();
    EXPECT_FALSE(bar->active);
    EXPECT_TRUE(bar->UpdateActive(child));
    EXPECT_TRUE(bar->active);
    EXPECT_FALSE(bar->UpdateActive(child)) << "no change, no repaint";
    EXPECT_TRUE(bar->UpdateActive(f.view));
    EXPECT_FALSE(bar->active);
    EXPECT_FALSE(bar->UpdateActive(nullptr));

    // The toolkit's notice that a child took the focus reaches the caption.
    wxChildFocusEvent focus(child);
    child->GetEventHandler()->ProcessEvent(focus);
    EXPECT_TRUE(bar->active);

    // The caption colours differ between the two states.
    const int caption = 8;
    platform::ui::MemoryCanvas on(bar->GetSize().x, bar->GetSize().y);
    bar->PaintNc(on.Dc());
    const auto activeColour = on.PixelAt(caption, bar->GetSize().y / 2);
    bar->active = false;
    platform::ui::MemoryCanvas off(bar->GetSize().x, bar->GetSize().y);
    bar->PaintNc(off.Dc());
    EXPECT_NE(activeColour, off.PixelAt(caption, bar->GetSize().y / 2));
}

TEST_F(SizingBarDockingTest, DockStateAndSizesComeBackFromTheProfile) {
    const int caption = SizingBarDockSite::SmallCaptionHeight();
    SizingBarDockState saved;
    Rect floatingRect;
    Rect bottomRects[2];
    {
        Frame f;
        auto* top = f.AddBar(801, "Top", {200, 110}, {150, 200});
        auto* b1 = f.AddBar(802, "B1", {300, 90}, {150, 200});
        auto* b2 = f.AddBar(803, "B2", {300, 90}, {150, 200});
        auto* fl = f.AddBar(804, "Float", {300, 90}, {150, 200});
        auto* hidden = f.AddBar(805, "Hidden", {300, 90}, {170, 200});
        fl->sizeFloat = {240, 130};
        f.site->DockControlBar(top, Bar::kDockTop);
        f.site->DockControlBar(b1, Bar::kDockBottom);
        f.site->DockControlBar(b2, Bar::kDockBottom, 0);
        f.site->DockControlBar(hidden, Bar::kDockRight);
        f.Show();
        f.site->FloatControlBar(fl, {420, 330});
        f.site->ShowControlBar(hidden, false, false);
        b1->sizeHorz.cx += 100;  // as a user's drag of the edge between them
        b2->sizeHorz.cx -= 100;
        f.site->RecalcLayout();
        floatingRect = ScreenRectOf(fl);
        bottomRects[0] = RectOf(b1);
        bottomRects[1] = RectOf(b2);
        EXPECT_EQ(bottomRects[0].Width(), bottomRects[1].Width() + 406);
        saved = f.site->GetDockState();
        f.site->SaveBarState(*profile, "Main");
        for (CSizingControlBar* bar :
             {static_cast<CSizingControlBar*>(top), static_cast<CSizingControlBar*>(b1),
              static_cast<CSizingControlBar*>(b2), static_cast<CSizingControlBar*>(fl),
              static_cast<CSizingControlBar*>(hidden)})
            bar->SaveState(*profile, "Main");
    }
    EXPECT_EQ(SizingBarDockSite::ReadDockState(*profile, "Main"), saved) << "the profile holds the state";
    ASSERT_EQ(saved.dockBars.size(), 5u);
    EXPECT_EQ(saved.dockBars[1].bars, (std::vector<int>{802, 803, 0})) << "one bottom row of two";
    EXPECT_EQ(saved.dockBars[4].id, Bar::kFloating);
    EXPECT_EQ(saved.dockBars[4].point, (Point{419, 330 - caption - 1})) << "the small frame's corner";

    Frame g;
    std::vector<CSizingControlBar*> bars;
    for (int id : {801, 802, 803, 804, 805}) bars.push_back(g.AddBar(id, "Bar", {200, 200}, {200, 200}));
    g.Show();
    // Each bar's own load moves its floating dock bar's stored corner by the caption.
    for (CSizingControlBar* bar : bars) bar->LoadState(*profile, "Main");
    const SizingBarDockState moved = SizingBarDockSite::ReadDockState(*profile, "Main");
    EXPECT_EQ(moved.dockBars[4].point, (Point{420, 330}));
    EXPECT_EQ(moved.dockBars[0], saved.dockBars[0]) << "docked entries stay";
    g.site->LoadBarState(*profile, "Main");

    EXPECT_EQ(bars[0]->DockBarId(), Bar::kDockTop);
    EXPECT_EQ(RectOf(bars[0]).Height(), 110);
    ASSERT_EQ(g.site->Rows(Bar::kDockBottom).size(), 1u);
    EXPECT_EQ(g.site->Rows(Bar::kDockBottom)[0], (std::vector<CSizingControlBar*>{bars[1], bars[2]}));
    EXPECT_EQ(RectOf(bars[1]), bottomRects[0]) << "the user's split comes back";
    EXPECT_EQ(RectOf(bars[2]), bottomRects[1]);
    ASSERT_NE(g.site->MiniFrameOf(bars[3]), nullptr);
    EXPECT_EQ(ScreenRectOf(bars[3]).left, floatingRect.left) << "the floating bar is where it was";
    EXPECT_EQ(ScreenRectOf(bars[3]).top, floatingRect.top);
    EXPECT_EQ(bars[3]->GetSize(), wxSize(240, 130));
    EXPECT_FALSE(bars[4]->IsShown());
    EXPECT_FALSE(g.site->IsBarVisible(bars[4]));
    EXPECT_EQ(bars[4]->DockBarId(), Bar::kDockRight);
    EXPECT_EQ(g.site->GetDockState().dockBars[1], saved.dockBars[1]);
}

TEST_F(SizingBarDockingTest, DamagedDockStateChangesNothing) {
    Frame f;
    auto* bar = f.AddBar(901, "Bar", {300, 120}, {150, 200});
    f.site->DockControlBar(bar, Bar::kDockBottom);
    f.Show();
    struct Case {
        const char* what;
        int count;
        int entryBars;
    };
    const Case cases[] = {
        {"huge entry count", 1 << 30, 1},
        {"negative entry count", -4, 1},
        {"huge bar list", 1, 1 << 30},
    };
    for (const Case& c : cases) {
        profile->WriteInt("Bad-Summary", "Bars", c.count);
        profile->WriteInt("Bad-Bar0", "BarID", static_cast<int>(Bar::kFloating));
        profile->WriteInt("Bad-Bar0", "DockBar", 1);
        profile->WriteInt("Bad-Bar0", "Bars", c.entryBars);
        profile->WriteInt("Bad-Bar0", "Bar#0", 901);
        f.site->LoadBarState(*profile, "Bad");
        bar->LoadState(*profile, "Bad");
        EXPECT_EQ(bar->DockBarId(), Bar::kDockBottom) << c.what;
    }
    // Ids of bars this frame does not have are passed over.
    SizingBarDockState state;
    state.dockBars.push_back({Bar::kDockTop, {}, {4242, 0, 901, 0}});
    f.site->SetDockState(state);
    EXPECT_EQ(bar->DockBarId(), Bar::kDockTop);
}

}  // namespace
