// The chart window under Xvfb: refresh counting, colours, axes and series
// attaching, mouse zoom, pan and cursors, scrolling, the cursor value text,
// printing, and a picture of four series of 100,000 points.
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wx/dcmemory.h>
#include <wx/frame.h>

#include "ControlsTestSupport.h"
#include "controls/ChartCtrl.h"
#include "controls/ChartDragLineCursor.h"
#include "controls/ChartLineSerie.h"
#include "controls/ChartLogarithmicAxis.h"
#include "controls/ChartStandardAxis.h"
#include "platform/ui/DrawContext.h"
#include "platform/ui/Gui.h"
#include "platform/ui/WindowPicture.h"

using controls::CChartAxis;
using controls::CChartCtrl;
using controls::CChartDragLineCursor;
using controls::CChartLineSerie;
using controls::CChartLogarithmicAxis;
using controls::CChartSerie;
using controls::CChartStandardAxis;
using controls::SChartXYPoint;
using platform::ui::Point;
using platform::ui::Rect;

namespace {

class ChartWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        frame = new wxFrame(nullptr, wxID_ANY, "chart");
        frame->SetClientSize(640, 400);
        chart = new CChartCtrl();
        ASSERT_TRUE(chart->Create(frame, 1217, {0, 0, 640, 400}));
        frame->Show();
        platform::ui::ProcessPending();
    }
    void TearDown() override {
        frame->Destroy();
        platform::ui::ProcessPending();
    }

    // The axes of the resonance page's kind, both standard here unless asked.
    void AttachAxes(double xMin = 0, double xMax = 100, double yMin = 0, double yMax = 100) {
        bottom = chart->AttachCustomAxis(std::make_unique<CChartStandardAxis>(), CChartCtrl::kBottomAxis);
        left = chart->AttachCustomAxis(std::make_unique<CChartStandardAxis>(), CChartCtrl::kLeftAxis);
        bottom->SetMinMax(xMin, xMax);
        left->SetMinMax(yMin, yMax);
    }
    CChartLineSerie* AddLine(const std::vector<SChartXYPoint>& points) {
        auto* serie =
            static_cast<CChartLineSerie*>(chart->AttachCustomSerie(std::make_unique<CChartLineSerie>(chart)));
        serie->SetPoints(points.data(), static_cast<uint32_t>(points.size()));
        serie->RefreshAutoAxes();
        return serie;
    }
    void Mouse(wxEventType type, int x, int y) {
        wxMouseEvent event(type);
        event.SetPosition(wxPoint(x, y));
        event.SetEventObject(chart);
        chart->GetEventHandler()->ProcessEvent(event);
    }
    void Drag(wxEventType down, wxEventType up, Point from, Point to) {
        Mouse(down, from.x, from.y);
        Mouse(wxEVT_MOTION, (from.x + to.x) / 2, (from.y + to.y) / 2);
        Mouse(wxEVT_MOTION, to.x, to.y);
        Mouse(up, to.x, to.y);
    }

    wxFrame* frame = nullptr;
    CChartCtrl* chart = nullptr;
    CChartAxis* bottom = nullptr;
    CChartAxis* left = nullptr;
};

TEST_F(ChartWindow, DisabledRefreshCostsNothingAndDrawsOnceWhenEnabled) {
    chart->RefreshCtrl();
    const int drawn = chart->DrawCount();
    EXPECT_GT(drawn, 0);

    chart->EnableRefresh(false);
    AttachAxes();
    AddLine({{0, 0, 0}, {50, 80, 0}, {100, 20, 0}});
    AddLine({{0, 10, 0}, {100, 90, 0}});
    bottom->SetMinMax(0, 200);
    chart->GetTitle().AddString("Response");
    chart->SetBackColor(0xFFFFFF);
    EXPECT_EQ(chart->DrawCount(), drawn) << "nothing is drawn while refresh is disabled";
    EXPECT_TRUE(chart->RefreshPending());
    chart->EnableRefresh(true);
    EXPECT_EQ(chart->DrawCount(), drawn + 1);
    EXPECT_FALSE(chart->RefreshPending());

    // Brackets nest: only the outermost enable draws.
    chart->EnableRefresh(false);
    chart->EnableRefresh(false);
    chart->RefreshCtrl();
    chart->EnableRefresh(true);
    EXPECT_EQ(chart->DrawCount(), drawn + 1);
    chart->EnableRefresh(true);
    EXPECT_EQ(chart->DrawCount(), drawn + 2);
    chart->EnableRefresh(true);
    EXPECT_EQ(chart->DrawCount(), drawn + 2) << "enabling with nothing pending draws nothing";
}

TEST_F(ChartWindow, SeriesTakeTheColourTableInTurn) {
    AttachAxes();
    std::vector<platform::COLORREF> colours;
    for (int i = 0; i < 11; ++i)
        colours.push_back(AddLine({{0, static_cast<double>(i), 0}, {100, 50, 0}})->Color());
    for (int i = 0; i < 10; ++i) EXPECT_EQ(colours[i], CChartCtrl::kSeriesColours[i]) << i;
    EXPECT_EQ(colours[10], CChartCtrl::kSeriesColours[0]) << "the eleventh series reuses the first colour";

    chart->RemoveAllSeries();
    EXPECT_TRUE(chart->Series().empty());
    EXPECT_TRUE(bottom->Series().empty()) << "removed series leave their axes";
    EXPECT_EQ(AddLine({{0, 0, 0}, {1, 1, 0}})->Color(), CChartCtrl::kSeriesColours[0]);
}

TEST_F(ChartWindow, SeriesTakeTheAxesPresentWhenAttached) {
    CChartSerie* early = chart->AttachCustomSerie(std::make_unique<CChartLineSerie>(chart));
    EXPECT_EQ(early->VerticalAxis(), nullptr);
    EXPECT_EQ(early->HorizontalAxis(), nullptr);
    chart->RefreshCtrl();  // a series without axes draws nothing, and nothing breaks

    AttachAxes();
    CChartLineSerie* late = AddLine({{10, 10, 0}, {20, 20, 0}});
    EXPECT_EQ(late->VerticalAxis(), left);
    EXPECT_EQ(late->HorizontalAxis(), bottom);

    // Replacing an axis moves its series and cursors over; nothing keeps the old one.
    auto* cursor = static_cast<CChartDragLineCursor*>(
        chart->AddCursor(std::make_unique<CChartDragLineCursor>(chart, bottom, 0x0000FF)));
    CChartAxis* log =
        chart->AttachCustomAxis(std::make_unique<CChartLogarithmicAxis>(), CChartCtrl::kBottomAxis);
    log->SetMinMax(1, 1000);
    EXPECT_EQ(late->HorizontalAxis(), log);
    EXPECT_EQ(cursor->Axis(), log);
    EXPECT_EQ(log->Series(), (std::vector<CChartSerie*>{late}));
    EXPECT_FALSE(log->IsSecondary());
    EXPECT_TRUE(log->IsHorizontal());
    chart->RefreshCtrl();
    cursor->SetPosition(10);
    chart->UndoZoom();
}

TEST_F(ChartWindow, MouseRectangleZoomsAndBackwardsDragUndoes) {
    AttachAxes(0, 100, 0, 100);
    AddLine({{0, 0, 0}, {100, 100, 0}});
    chart->RefreshCtrl();
    const Rect p = chart->PlottingRect();
    ASSERT_FALSE(p.IsEmpty());
    const Point from{p.left + p.Width() / 4, p.top + p.Height() / 4};
    const Point to{p.left + 3 * p.Width() / 4, p.top + 3 * p.Height() / 4};
    const double xFrom = bottom->PixelToValue(from.x);
    const double xTo = bottom->PixelToValue(to.x);
    const double yBottom = left->PixelToValue(to.y);
    const double yTop = left->PixelToValue(from.y);

    Mouse(wxEVT_LEFT_DOWN, from.x, from.y);
    EXPECT_TRUE(chart->IsZooming());
    Mouse(wxEVT_MOTION, to.x, to.y);
    EXPECT_EQ(chart->ZoomRect(), (Rect{from.x, from.y, to.x, to.y}));
    Mouse(wxEVT_LEFT_UP, to.x, to.y);
    EXPECT_FALSE(chart->IsZooming());
    EXPECT_DOUBLE_EQ(bottom->Min(), xFrom);
    EXPECT_DOUBLE_EQ(bottom->Max(), xTo);
    EXPECT_DOUBLE_EQ(left->Min(), yBottom) << "the bottom edge gives the minimum";
    EXPECT_DOUBLE_EQ(left->Max(), yTop);

    // A rectangle without width changes nothing.
    const Rect q = chart->PlottingRect();
    Drag(wxEVT_LEFT_DOWN, wxEVT_LEFT_UP, {q.left + 40, q.top + 20}, {q.left + 40, q.top + 80});
    EXPECT_DOUBLE_EQ(bottom->Min(), xFrom);

    // The owner sets a range; a later zoom dragged up-left returns to it.
    bottom->SetMinMax(10, 60);
    Drag(wxEVT_LEFT_DOWN, wxEVT_LEFT_UP, {q.left + 50, q.top + 50}, {q.left + 150, q.top + 150});
    EXPECT_GT(bottom->Min(), 10);
    Drag(wxEVT_LEFT_DOWN, wxEVT_LEFT_UP, {q.left + 150, q.top + 150}, {q.left + 50, q.top + 50});
    EXPECT_DOUBLE_EQ(bottom->Min(), 10);
    EXPECT_DOUBLE_EQ(bottom->Max(), 60);
    EXPECT_DOUBLE_EQ(left->Min(), 0);
    EXPECT_DOUBLE_EQ(left->Max(), 100);

    // A release whose press went elsewhere leaves the last rectangle alone.
    Drag(wxEVT_LEFT_DOWN, wxEVT_LEFT_UP, {q.left + 50, q.top + 50}, {q.left + 150, q.top + 150});
    const double zoomedMin = bottom->Min();
    Mouse(wxEVT_LEFT_UP, q.left + 60, q.top + 60);
    EXPECT_DOUBLE_EQ(bottom->Min(), zoomedMin);
    chart->UndoZoom();

    // With zoom off the rectangle is never drawn.
    chart->SetZoomEnabled(false);
    Drag(wxEVT_LEFT_DOWN, wxEVT_LEFT_UP, {q.left + 50, q.top + 50}, {q.left + 150, q.top + 150});
    EXPECT_DOUBLE_EQ(bottom->Min(), 10);
}

TEST_F(ChartWindow, RightButtonPans) {
    AttachAxes(0, 100, 0, 100);
    AddLine({{0, 0, 0}, {100, 100, 0}});
    chart->RefreshCtrl();
    const Rect p = chart->PlottingRect();
    const Point from{p.left + 100, p.top + 100};
    const Point to{p.left + 160, p.top + 70};
    const double dx = bottom->PixelToValue(from.x) - bottom->PixelToValue(to.x);
    const double dy = left->PixelToValue(from.y) - left->PixelToValue(to.y);
    const int drawn = chart->DrawCount();
    Mouse(wxEVT_RIGHT_DOWN, from.x, from.y);
    EXPECT_TRUE(chart->IsPanning());
    Mouse(wxEVT_MOTION, to.x, to.y);
    Mouse(wxEVT_MOTION, to.x, to.y);  // no move: no pan
    Mouse(wxEVT_RIGHT_UP, to.x, to.y);
    EXPECT_FALSE(chart->IsPanning());
    EXPECT_NEAR(bottom->Min(), dx, 1e-9);
    EXPECT_NEAR(bottom->Max(), 100 + dx, 1e-9);
    EXPECT_NEAR(left->Min(), dy, 1e-9);
    EXPECT_EQ(chart->DrawCount(), drawn + 1) << "one redraw per move";

    chart->SetPanEnabled(false);
    Drag(wxEVT_RIGHT_DOWN, wxEVT_RIGHT_UP, from, to);
    EXPECT_NEAR(bottom->Min(), dx, 1e-9);
}

class Reported : public controls::CChartCursorListener {
  public:
    void OnCursorMoved(controls::CChartCursor*, double x, double) override { values.push_back(x); }
    std::vector<double> values;
};

TEST_F(ChartWindow, CursorGrabWinsOverZoomWithinThreePixels) {
    AttachAxes(0, 100, 0, 100);
    AddLine({{0, 0, 0}, {100, 100, 0}});
    auto* cursor = static_cast<CChartDragLineCursor*>(
        chart->AddCursor(std::make_unique<CChartDragLineCursor>(chart, bottom, 0x0000FF)));
    Reported reported;
    cursor->AddListener(&reported);
    chart->RefreshCtrl();
    cursor->SetPosition(50);
    const Rect p = chart->PlottingRect();
    const int y = p.top + p.Height() / 2;

    Mouse(wxEVT_LEFT_DOWN, cursor->Position() + 3, y);
    EXPECT_TRUE(cursor->IsDragging());
    EXPECT_FALSE(chart->IsZooming());
    Mouse(wxEVT_MOTION, cursor->Position() + 40, y);
    Mouse(wxEVT_LEFT_UP, cursor->Position(), y);
    EXPECT_FALSE(cursor->IsDragging());
    ASSERT_FALSE(reported.values.empty());
    EXPECT_DOUBLE_EQ(reported.values.back(), bottom->PixelToValue(cursor->Position()));
    EXPECT_DOUBLE_EQ(bottom->Max(), 100) << "dragging a cursor zooms nothing";

    Mouse(wxEVT_LEFT_DOWN, cursor->Position() + 4, y);
    EXPECT_FALSE(cursor->IsDragging());
    EXPECT_TRUE(chart->IsZooming()) << "4 pixels away the click starts a zoom rectangle";
    Mouse(wxEVT_LEFT_UP, cursor->Position() + 4, y);

    // A drag released outside the plotting area ends there too, and zooms nothing.
    Mouse(wxEVT_LEFT_DOWN, cursor->Position(), y);
    ASSERT_TRUE(cursor->IsDragging());
    Mouse(wxEVT_LEFT_UP, p.right + 2, p.bottom + 20);
    EXPECT_FALSE(cursor->IsDragging());
    const int released = cursor->Position();
    Mouse(wxEVT_MOTION, released + 30, y);
    EXPECT_EQ(cursor->Position(), released) << "the mouse moves without the cursor now";
    EXPECT_DOUBLE_EQ(bottom->Max(), 100);

    // A zoom keeps the cursor's pixel and reports the value now there.
    const size_t before = reported.values.size();
    const int position = cursor->Position();
    Drag(wxEVT_LEFT_DOWN, wxEVT_LEFT_UP, {p.left + 10, p.top + 10}, {p.right - 10, p.bottom - 10});
    EXPECT_EQ(cursor->Position(), position);
    ASSERT_EQ(reported.values.size(), before + 1);
    EXPECT_NE(reported.values.back(), reported.values[before - 1]);
    EXPECT_GT(reported.values.back(), bottom->Min());
    EXPECT_LT(reported.values.back(), bottom->Max());
}

class Listener : public controls::CChartMouseListener {
  public:
    void OnMouseEventTitle(int event, Point) override { seen.push_back("title " + std::to_string(event)); }
    void OnMouseEventAxis(int event, Point, CChartAxis* axis) override {
        seen.push_back(std::string(axis->IsHorizontal() ? "bottom " : "left ") + std::to_string(event));
    }
    void OnMouseEventLegend(int event, Point) override { seen.push_back("legend " + std::to_string(event)); }
    void OnMouseEventPlotArea(int event, Point) override { seen.push_back("plot " + std::to_string(event)); }
    std::vector<std::string> seen;
};

class Clicks : public controls::CChartSeriesMouseListener {
  public:
    void OnSeriesEvent(int event, int, int, CChartSerie* serie, int) override {
        hits.push_back({serie, event});
    }
    std::vector<std::pair<CChartSerie*, int>> hits;
};

TEST_F(ChartWindow, MouseEventsGoToTheListenerAndTheNewestSeriesHit) {
    AttachAxes(0, 100, 0, 100);
    chart->GetTitle().AddString("Title");
    CChartLineSerie* first = AddLine({{0, 0, 0}, {100, 100, 0}});
    CChartLineSerie* second = AddLine({{0, 0, 0}, {100, 100, 0}});
    Listener listener;
    Clicks clicks;
    chart->SetMouseListener(&listener);
    first->SetMouseListener(&clicks);
    second->SetMouseListener(&clicks);
    chart->RefreshCtrl();
    const Rect p = chart->PlottingRect();

    const Point onLine{bottom->ValueToPixel(50), left->ValueToPixel(50)};
    Mouse(wxEVT_RIGHT_DCLICK, onLine.x, onLine.y);
    EXPECT_EQ(listener.seen, (std::vector<std::string>{"plot 6"}));
    EXPECT_EQ(clicks.hits, (std::vector<std::pair<CChartSerie*, int>>{{second, 6}}))
        << "the newest series takes it and the search ends";

    listener.seen.clear();
    Mouse(wxEVT_LEFT_DCLICK, p.left + 20, p.bottom + 5);
    EXPECT_EQ(listener.seen, (std::vector<std::string>{"bottom 3"}));
    listener.seen.clear();
    Mouse(wxEVT_LEFT_DCLICK, p.left - 5, p.top + 20);
    EXPECT_EQ(listener.seen, (std::vector<std::string>{"left 3"}));
    listener.seen.clear();
    Mouse(wxEVT_LEFT_DCLICK, p.left + p.Width() / 2, chart->GetTitle().GetRect().top + 1);
    EXPECT_EQ(listener.seen.front(), "title 3");
}

TEST_F(ChartWindow, ScrollRequestsMoveTheBarAndTheRange) {
    AttachAxes(0, 100, 0, 100);
    AddLine({{0, 0, 0}, {100, 100, 0}});
    bottom->SetZoomRange(0, 10);  // 100 steps of 1, page 10: positions 0..90
    const auto info = bottom->ScrollBar().GetInfo();
    ASSERT_EQ(info.max, 99);
    ASSERT_EQ(info.pos, 0);
    struct {
        CChartCtrl::Scroll what;
        int track;
        int position;
        double min;
    } steps[] = {
        {CChartCtrl::Scroll::LineUp, 0, 0, 0},  // at the top already
        {CChartCtrl::Scroll::LineDown, 0, 1, 1},
        {CChartCtrl::Scroll::PageDown, 0, 11, 11},
        {CChartCtrl::Scroll::PageUp, 0, 1, 1},
        {CChartCtrl::Scroll::PageUp, 0, 0, 0},  // not below the minimum
        {CChartCtrl::Scroll::ThumbTrack, 0, 85, 85},
        {CChartCtrl::Scroll::ThumbPosition, 0, 90, 90},
        {CChartCtrl::Scroll::LineDown, 0, 90, 90},  // the page ends at the range's end
        {CChartCtrl::Scroll::End, 0, 90, 90},
        {CChartCtrl::Scroll::Top, 0, 0, 0},
    };
    for (const auto& s : steps) {
        chart->OnAxisScroll(bottom, s.what, s.track == 0 ? s.position : s.track);
        EXPECT_EQ(bottom->ScrollBar().Position(), s.position) << static_cast<int>(s.what);
        EXPECT_NEAR(bottom->Min(), s.min, 1e-9) << static_cast<int>(s.what);
    }
    // A vertical bar counts from the top: line down moves the values down.
    left->SetZoomRange(50, 60);
    const int top = left->ScrollBar().Position();
    chart->OnAxisScroll(left, CChartCtrl::Scroll::LineDown);
    EXPECT_EQ(left->ScrollBar().Position(), top + 1);
    EXPECT_NEAR(left->Min(), 49, 1e-9);
}

TEST_F(ChartWindow, CursorValueTextAndItsRounding) {
    EXPECT_EQ(chart->CursorValueText(), "Cursor value: 0 Hz");
    struct {
        double value;
        uint32_t shown;
    } cases[] = {{999.5, 1000}, {12.49, 12}, {-3, 0}, {1e12, 4294967295u}, {std::nan(""), 0}, {0.5, 1}};
    for (const auto& c : cases) {
        chart->SetCursorValue(c.value);
        EXPECT_EQ(chart->CursorValue(), c.shown) << c.value;
    }
    chart->SetCursorValue(440);
    EXPECT_EQ(chart->CursorValueText(), "Cursor value: 440 Hz");
    chart->RefreshCtrl();
    const Rect text = chart->CursorValueRect();
    EXPECT_EQ(text.right, chart->PlottingRect().right);
    EXPECT_EQ(text.bottom, chart->PlottingRect().top);
}

TEST_F(ChartWindow, LegendDocksToItsSideAndTheAxesMakeRoom) {
    AttachAxes();
    chart->GetLegend().SetVisible(true);
    chart->RefreshCtrl();
    EXPECT_TRUE(chart->GetLegend().GetRect().IsEmpty()) << "no named series: no legend";

    AddLine({{0, 0, 0}, {100, 100, 0}})->SetName("Amplitude");
    AddLine({{0, 50, 0}, {100, 50, 0}})->SetName("Limit");
    AddLine({{0, 20, 0}, {100, 20, 0}});  // no name: not listed
    platform::ui::MemoryCanvas canvas(640, 400);
    const Rect area{0, 0, 640, 400};
    struct {
        int side;
        std::function<bool(const Rect& legend, const Rect& plot)> placed;
    } sides[] = {
        {controls::CChartLegend::kDockRight,
         [](const Rect& l, const Rect& p) { return l.right == 640 - 6 && p.right < l.left; }},
        {controls::CChartLegend::kDockLeft,
         [](const Rect& l, const Rect& p) { return l.left == 3 && p.left > l.right; }},
        {controls::CChartLegend::kDockTop,
         [](const Rect& l, const Rect& p) { return l.top == 3 && p.top > l.bottom; }},
        {controls::CChartLegend::kDockBottom,
         [](const Rect& l, const Rect& p) { return l.bottom == 400 - 2 && p.bottom < l.top; }},
    };
    for (const auto& s : sides) {
        chart->GetLegend().DockLegend(s.side);
        chart->DrawChart(canvas.Dc(), area);
        const Rect legend = chart->GetLegend().GetRect();
        EXPECT_FALSE(legend.IsEmpty());
        EXPECT_TRUE(s.placed(legend, chart->PlottingRect())) << s.side;
    }
    chart->GetLegend().UndockLegend(20, 30);
    chart->DrawChart(canvas.Dc(), area);
    EXPECT_EQ(chart->GetLegend().GetRect().left, 20);
    EXPECT_EQ(chart->GetLegend().GetRect().top, 30);
    EXPECT_TRUE(canvas.SavePng(ControlArtifacts() / "chart-legend.png"));

    // Side by side, the entries make the legend wider than tall.
    chart->GetLegend().SetHorizontalMode(true);
    chart->GetLegend().DockLegend(controls::CChartLegend::kDockBottom);
    chart->DrawChart(canvas.Dc(), area);
    EXPECT_GT(chart->GetLegend().GetRect().Width(), 2 * chart->GetLegend().GetRect().Height());
}

TEST_F(ChartWindow, TitleLinesTakeTheirHeightFromTheTop) {
    AttachAxes();  // only the axes move the plotting area, by their room measured from the title down
    platform::ui::MemoryCanvas canvas(640, 400);
    const Rect area{0, 0, 640, 400};
    chart->DrawChart(canvas.Dc(), area);
    const int bare = chart->PlottingRect().top;
    EXPECT_EQ(chart->GetTitle().Measure(canvas.Dc()), (platform::ui::Size{0, 0}));

    chart->GetTitle().AddString("Frequency response");
    const platform::ui::Size one = chart->GetTitle().Measure(canvas.Dc());
    const platform::ui::Size line = chart->GetTitle().Font().Extent(canvas.Dc(), "Frequency response");
    EXPECT_EQ(one, (platform::ui::Size{line.cx + 2, line.cy + 2 - 4}));
    chart->GetTitle().AddString("second");
    EXPECT_EQ(chart->GetTitle().Measure(canvas.Dc()).cy, 2 * (line.cy + 2) - 4);
    chart->DrawChart(canvas.Dc(), area);
    EXPECT_EQ(chart->GetTitle().GetRect().bottom, 2 * (line.cy + 2) - 4);
    EXPECT_GT(chart->PlottingRect().top, bare);
    chart->GetTitle().SetVisible(false);
    EXPECT_EQ(chart->GetTitle().Measure(canvas.Dc()), (platform::ui::Size{0, 0}));
}

TEST_F(ChartWindow, BackgroundGradients) {
    const platform::COLORREF a = 0x000000;
    const platform::COLORREF b = 0xFFFFFF;
    const Rect area{0, 0, 200, 100};
    struct {
        int type;
        Point dark;
        Point light;
    } cases[] = {
        {0, {4, 50}, {195, 50}},   // left to right
        {1, {100, 4}, {100, 95}},  // top to bottom
        {2, {4, 50}, {99, 50}},    // to the middle and back
        {3, {100, 4}, {100, 49}},
    };
    for (const auto& c : cases) {
        chart->SetBackGradient(a, b, c.type);
        chart->SetGradient(true);
        chart->SetEdgeType(0);
        platform::ui::MemoryCanvas canvas(200, 100);
        chart->DrawBackground(canvas.Dc(), area);
        const auto grey = [&](Point p) { return platform::GetRValue(canvas.PixelAt(p.x, p.y)); };
        EXPECT_LT(grey(c.dark), 30) << c.type;
        EXPECT_GT(grey(c.light), 220) << c.type;
    }
    chart->SetGradient(false);
    chart->SetBackColor(0x336699);
    chart->SetEdgeType(5);
    platform::ui::MemoryCanvas canvas(200, 100);
    chart->DrawBackground(canvas.Dc(), area);
    EXPECT_EQ(canvas.PixelAt(100, 50), 0x336699u);
    EXPECT_NE(canvas.PixelAt(0, 50), 0x336699u) << "the raised edge frames the control";
}

TEST(ChartFont, LongFacesAreCutBetweenCharacters) {
    controls::SChartFont font("Microsoft Sans Serif", 85);
    EXPECT_TRUE(font.Dirty());
    const std::string long30 =
        std::string(30, 'a') + "\xC3\xA9" + "bcd";  // the 31st and 32nd bytes are one letter
    font.SetFont(long30, 100);
    EXPECT_EQ(font.Face(), std::string(30, 'a'));
    font.SetFont(std::string(40, 'x'), 100, true, true);
    EXPECT_EQ(font.Face().size(), controls::SChartFont::kMaxFace);
    EXPECT_TRUE(font.Bold());
    platform::ui::MemoryCanvas canvas(10, 10);
    font.Select(canvas.Dc());
    font.Restore(canvas.Dc());
    EXPECT_FALSE(font.Dirty()) << "built once, kept until the next change";
    font.SetVertical(true);
    EXPECT_TRUE(font.Dirty());
}

TEST(ChartCtrlPaint, TheFirstPaintDrawsTheChart) {
    auto* frame = new wxFrame(nullptr, wxID_ANY, "chart");
    auto* chart = new CChartCtrl();
    ASSERT_TRUE(chart->Create(frame, 1217, {0, 0, 300, 200}));
    EXPECT_EQ(chart->DrawCount(), 0);
    frame->Show();
    chart->Refresh();
    EXPECT_TRUE(platform::ui::RunUntil([&] { return chart->DrawCount() > 0; }, 5000));
    frame->Destroy();
    platform::ui::ProcessPending();
}

TEST(ChartCtrlPrint, PageGeometry) {
    // An A4 page at 600 dpi seen from a 96 dpi screen, three quarters of it.
    const auto size = CChartCtrl::LogicalPrintSize({4961, 7016}, {96, 96}, {600, 600});
    EXPECT_EQ(size.width, 594);
    EXPECT_EQ(size.height, 841);
    const auto none = CChartCtrl::LogicalPrintSize({100, 100}, {96, 96}, {0, 0});
    EXPECT_EQ(none.width, 0);
}

std::vector<SChartXYPoint> Wave(int count, double frequency, double phase, double amplitude, double offset) {
    std::vector<SChartXYPoint> points(count);
    for (int i = 0; i < count; ++i) {
        const double t = i * 1e-5;  // one second at 100 kHz
        const double ripple = 0.05 * std::sin(i * 0.7) * amplitude;
        points[i] = {t, offset + amplitude * std::sin(2 * M_PI * frequency * t + phase) + ripple, 0};
    }
    return points;
}

TEST(ChartSmoke, FourSeriesOfAHundredThousandPointsZoomedAndPanned) {
    auto* frame = new wxFrame(nullptr, wxID_ANY, "oscilloscope");
    frame->SetClientSize(1200, 700);
    auto* chart = new CChartCtrl();
    ASSERT_TRUE(chart->Create(frame, 1217, {0, 0, 1200, 700}));
    frame->Show();
    chart->EnableRefresh(false);
    chart->GetTitle().AddString("Four channels");
    chart->GetLegend().SetVisible(true);
    CChartAxis* bottom =
        chart->AttachCustomAxis(std::make_unique<CChartStandardAxis>(), CChartCtrl::kBottomAxis);
    CChartAxis* left = chart->AttachCustomAxis(std::make_unique<CChartStandardAxis>(), CChartCtrl::kLeftAxis);
    bottom->SetAutomaticMode(CChartAxis::kFitAll);
    left->SetAutomaticMode(CChartAxis::kFitAll);
    bottom->Label().SetText("[s]");
    left->Label().SetText("[V]");
    bottom->Grid().SetColor(0xC8C8C8);
    left->Grid().SetColor(0xC8C8C8);
    const char* names[] = {"Speed", "Current", "Position error", "Torque"};
    for (int i = 0; i < 4; ++i) {
        auto* serie =
            static_cast<CChartLineSerie*>(chart->AttachCustomSerie(std::make_unique<CChartLineSerie>(chart)));
        const auto points = Wave(100000, 3 + 2 * i, i * 0.8, 1.0 + i * 0.5, i * 2.0);
        serie->SetPoints(points.data(), static_cast<uint32_t>(points.size()));
        serie->SetName(names[i]);
        serie->RefreshAutoAxes();
    }
    chart->EnableRefresh(true);
    auto* cursor = static_cast<CChartDragLineCursor*>(
        chart->AddCursor(std::make_unique<CChartDragLineCursor>(chart, bottom, 0x0000FF)));
    cursor->SetPosition(0.5);
    chart->SetCursorValue(0.5 * 1000);
    const double fullMin = bottom->Min();
    const double fullMax = bottom->Max();
    ASSERT_DOUBLE_EQ(fullMin, 0);
    ASSERT_NEAR(fullMax, 0.99999, 1e-9);

    const Rect p = chart->PlottingRect();
    auto mouse = [&](wxEventType type, int x, int y) {
        wxMouseEvent event(type);
        event.SetPosition(wxPoint(x, y));
        event.SetEventObject(chart);
        chart->GetEventHandler()->ProcessEvent(event);
    };
    // Zoom into the middle fifth, then pan right by a quarter of the plot.
    mouse(wxEVT_LEFT_DOWN, p.left + 2 * p.Width() / 5, p.top + 20);
    mouse(wxEVT_MOTION, p.left + p.Width() / 2, p.top + p.Height() / 2);
    mouse(wxEVT_MOTION, p.left + 3 * p.Width() / 5, p.bottom - 20);
    mouse(wxEVT_LEFT_UP, p.left + 3 * p.Width() / 5, p.bottom - 20);
    EXPECT_NEAR(bottom->Max() - bottom->Min(), (fullMax - fullMin) / 5, (fullMax - fullMin) / 100);
    const double zoomedMin = bottom->Min();
    mouse(wxEVT_RIGHT_DOWN, p.left + p.Width() / 2, p.top + 50);
    for (int dx = 10; dx <= p.Width() / 4; dx += 10)
        mouse(wxEVT_MOTION, p.left + p.Width() / 2 - dx, p.top + 50);
    mouse(wxEVT_RIGHT_UP, p.left + p.Width() / 4, p.top + 50);
    EXPECT_GT(bottom->Min(), zoomedMin) << "dragged left, the view moves to later times";

    uint32_t first = 0;
    uint32_t last = 0;
    ASSERT_TRUE(chart->Series().begin()->second->VisibleIndexes(&first, &last));
    EXPECT_LT(last - first, 25000u) << "only the visible fifth is drawn";

    platform::ui::ProcessPending();
    EXPECT_TRUE(platform::ui::SaveWindowPicture(chart, ControlArtifacts() / "chart-4x100k.png"));
    platform::ui::MemoryCanvas canvas(1200, 700);
    chart->PaintTo(canvas.Dc());
    // Every series' colour is on the picture.
    wxImage image = canvas.Bitmap().ConvertToImage();
    for (int i = 0; i < 4; ++i) {
        const platform::COLORREF colour = CChartCtrl::kSeriesColours[i];
        bool found = false;
        for (int y = p.top; y < p.bottom && !found; ++y)
            for (int x = p.left; x < p.right && !found; ++x)
                found = image.GetRed(x, y) == platform::GetRValue(colour) &&
                        image.GetGreen(x, y) == platform::GetGValue(colour) &&
                        image.GetBlue(x, y) == platform::GetBValue(colour);
        EXPECT_TRUE(found) << "series " << i;
    }

    // Printing draws the same chart on a page of its own, then the window again.
    wxBitmap page(800, 600);
    wxMemoryDC printer(page);
    printer.SetBackground(*wxWHITE_BRUSH);
    printer.Clear();
    const int drawn = chart->DrawCount();
    EXPECT_TRUE(chart->Print("chart", &printer));
    printer.SelectObject(wxNullBitmap);
    EXPECT_TRUE(page.ConvertToImage().SaveFile(
        wxString::FromUTF8((ControlArtifacts() / "chart-print.png").string()), wxBITMAP_TYPE_PNG));
    EXPECT_EQ(chart->DrawCount(), drawn + 1);
    EXPECT_EQ(chart->PlottingRect(), p) << "the window's layout is back after printing";
    frame->Destroy();
    platform::ui::ProcessPending();
}

}  // namespace
