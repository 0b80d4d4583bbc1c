// Series and cursors: the point array, visible indexes, pixels, Bezier control
// points, hit tests and the drag-line cursor, without a window.
#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "controls/ChartDragLineCursor.h"
#include "controls/ChartLineSerie.h"
#include "controls/ChartStandardAxis.h"
#include "platform/ui/DrawContext.h"

using controls::CChartAxis;
using controls::CChartCursor;
using controls::CChartDragLineCursor;
using controls::CChartLineSerie;
using controls::CChartPointsArray;
using controls::CChartStandardAxis;
using controls::SChartXYPoint;
using platform::ui::Point;

namespace {

std::vector<SChartXYPoint> Points(std::initializer_list<std::pair<double, double>> xy) {
    std::vector<SChartXYPoint> points;
    for (auto [x, y] : xy) points.push_back({x, y, 0});
    return points;
}

std::vector<double> Xs(const CChartPointsArray& a) {
    std::vector<double> xs;
    for (uint32_t i = 0; i < a.Count(); ++i) xs.push_back(a.At(i).X);
    return xs;
}

TEST(ChartPointsArray, CapacityGrowsToExactlyTheCountAndIsKept) {
    CChartPointsArray points;
    EXPECT_EQ(points.Capacity(), 1000u);
    std::vector<SChartXYPoint> many(1500);
    for (size_t i = 0; i < many.size(); ++i) many[i] = {static_cast<double>(i), 1, 0};
    points.SetPoints(many.data(), 1500);
    EXPECT_EQ(points.Capacity(), 1500u);
    EXPECT_EQ(points.Count(), 1500u);
    points.SetPoints(many.data(), 10);
    EXPECT_EQ(points.Capacity(), 1500u) << "fewer points keep the buffer";
    EXPECT_EQ(points.Count(), 10u);
    EXPECT_DOUBLE_EQ(points.MaxX(), 9);

    CChartPointsArray grown;
    for (int i = 0; i < 1001; ++i) grown.AddPoint({static_cast<double>(i), 0, 0});
    EXPECT_EQ(grown.Capacity(), 2000u) << "appending grows by the growth step";
    EXPECT_DOUBLE_EQ(grown.MaxX(), 1000);
}

TEST(ChartPointsArray, SortsByTheOrderingAndKeepsTheExtremes) {
    const auto given = Points({{3, 10}, {1, 30}, {2, 20}, {-1, 5}});
    struct {
        int ordering;
        std::vector<double> xs;
    } cases[] = {
        {CChartPointsArray::kByX, {-1, 1, 2, 3}},
        {CChartPointsArray::kByY, {-1, 3, 2, 1}},
        {CChartPointsArray::kNone, {3, 1, 2, -1}},
    };
    for (const auto& c : cases) {
        CChartPointsArray points;
        points.SetOrdering(c.ordering);
        points.SetPoints(given.data(), static_cast<uint32_t>(given.size()));
        EXPECT_EQ(Xs(points), c.xs) << c.ordering;
        EXPECT_DOUBLE_EQ(points.MinX(), -1);
        EXPECT_DOUBLE_EQ(points.MaxX(), 3);
        EXPECT_DOUBLE_EQ(points.MinY(), 5);
        EXPECT_DOUBLE_EQ(points.MaxY(), 30);
    }

    CChartPointsArray later;
    later.SetOrdering(CChartPointsArray::kNone);
    later.SetPoints(given.data(), 4);
    later.SetOrdering(CChartPointsArray::kByX);
    EXPECT_EQ(Xs(later), (std::vector<double>{-1, 1, 2, 3})) << "setting an ordering sorts at once";

    CChartPointsArray appended;
    for (double x : {1.0, 5.0, 3.0}) appended.AddPoint({x, x, 0});
    EXPECT_EQ(Xs(appended), (std::vector<double>{1, 3, 5}));
}

TEST(ChartPointsArray, PointsWithoutANumberGoLastAndDoNotHideTheExtremes) {
    std::vector<SChartXYPoint> given;
    for (int i = 0; i < 200; ++i)
        given.push_back(
            {i % 7 == 0 ? std::nan("") : static_cast<double>((i * 37) % 101), static_cast<double>(i), 0});
    given[0].Y = std::nan("");
    CChartPointsArray points;
    points.SetPoints(given.data(), static_cast<uint32_t>(given.size()));
    const std::vector<double> xs = Xs(points);
    size_t numbers = 0;
    while (numbers < xs.size() && !std::isnan(xs[numbers])) ++numbers;
    EXPECT_TRUE(std::is_sorted(xs.begin(), xs.begin() + static_cast<long>(numbers)));
    for (size_t i = numbers; i < xs.size(); ++i) EXPECT_TRUE(std::isnan(xs[i]));
    double minX = 1e9;
    double maxX = -1e9;
    for (const SChartXYPoint& p : given)
        if (!std::isnan(p.X)) minX = std::min(minX, p.X), maxX = std::max(maxX, p.X);
    EXPECT_DOUBLE_EQ(points.MinX(), minX);
    EXPECT_DOUBLE_EQ(points.MaxX(), maxX);
    EXPECT_DOUBLE_EQ(points.MinY(), 1) << "the point whose Y is no number is left out";
}

// A line series on a 0..100 square mapped one value to one pixel (y grows upwards
// from pixel 100).
class LineOnAxes : public ::testing::Test {
  protected:
    void SetUp() override {
        x.Attach(nullptr, true, false);
        x.SetAxisSize(0, 100);
        x.SetMinMax(0, 100);
        y.Attach(nullptr, false, false);
        y.SetAxisSize(100, 0);
        y.SetMinMax(0, 100);
        serie.SetHorizontalAxis(&x);
        serie.SetVerticalAxis(&y);
        x.AddSeries(&serie);
        y.AddSeries(&serie);
    }
    void Set(const std::vector<SChartXYPoint>& points) {
        serie.SetPoints(points.data(), static_cast<uint32_t>(points.size()));
    }

    CChartStandardAxis x;
    CChartStandardAxis y;
    CChartLineSerie serie{nullptr};
};

TEST_F(LineOnAxes, VisibleIndexesSearchTheAxisRange) {
    std::vector<SChartXYPoint> points;
    for (int i = 0; i < 10; ++i) points.push_back({static_cast<double>(i), static_cast<double>(10 * i), 0});
    Set(points);
    struct {
        double min;
        double max;
        uint32_t first;
        uint32_t last;
    } cases[] = {{2.5, 6.5, 3, 7}, {2, 6, 3, 7},    {-5, 100, 0, 9},
                 {20, 30, 9, 9},   {-10, -5, 0, 0}, {4.2, 4.8, 5, 5}};
    for (const auto& c : cases) {
        x.SetMinMax(c.min, c.max);
        uint32_t first = 99;
        uint32_t last = 99;
        ASSERT_TRUE(serie.VisibleIndexes(&first, &last));
        EXPECT_EQ(first, c.first) << c.min << ".." << c.max;
        EXPECT_EQ(last, c.last) << c.min << ".." << c.max;
    }
    // Unordered points are all visible.
    serie.SetOrdering(CChartPointsArray::kNone);
    uint32_t first = 99;
    uint32_t last = 99;
    ASSERT_TRUE(serie.VisibleIndexes(&first, &last));
    EXPECT_EQ(first, 0u);
    EXPECT_EQ(last, 9u);

    Set({});
    EXPECT_FALSE(serie.VisibleIndexes(&first, &last)) << "an empty series has none";
    double lo = 0;
    double hi = 0;
    EXPECT_FALSE(serie.XRange(&lo, &hi));
}

TEST_F(LineOnAxes, VisibleRangesOnlyForTheOtherOrdering) {
    Set(Points({{0, 5}, {1, 50}, {2, 20}, {3, 90}, {4, 1}}));
    x.SetMinMax(0.5, 2.5);  // visible indexes 1 and 3
    double lo = 0;
    double hi = 0;
    ASSERT_TRUE(serie.VisibleYRange(&lo, &hi));
    EXPECT_DOUBLE_EQ(lo, 20);
    EXPECT_DOUBLE_EQ(hi, 50);
    EXPECT_FALSE(serie.VisibleXRange(&lo, &hi)) << "only a series ordered by Y has a visible X range";
}

TEST_F(LineOnAxes, PixelsOfOneSpotAreDrawnOnceAndNeverBackwards) {
    // Ten points per pixel column, given out of order, on a flat line.
    std::vector<SChartXYPoint> points;
    for (int i = 999; i >= 0; --i) points.push_back({i * 0.1, 50, 0});
    Set(points);
    const std::vector<Point> pixels = serie.LinePixels();
    ASSERT_EQ(pixels.size(), 100u);
    for (size_t i = 1; i < pixels.size(); ++i) EXPECT_EQ(pixels[i].x, pixels[i - 1].x + 1);
    EXPECT_EQ(pixels.front(), (Point{0, 50}));

    // The same pixel again later on is drawn again: only neighbours merge.
    Set(Points({{10, 10}, {10.2, 10.2}, {20, 20}, {30, 10}, {30.3, 10.3}}));
    EXPECT_EQ(serie.LinePixels(), (std::vector<Point>{{10, 90}, {20, 80}, {30, 90}}));

    // Many points in one column: the first, the span's ends in the order the
    // line reaches them, and the last draw the same pixels as all of them.
    std::vector<SChartXYPoint> column;
    const double ys[] = {50, 55, 80, 61, 20, 30, 40};
    for (int i = 0; i < 7; ++i) column.push_back({10 + i * 0.1, ys[i], 0});
    column.push_back({11, 45, 0});
    Set(column);
    EXPECT_EQ(serie.LinePixels(), (std::vector<Point>{{10, 50}, {10, 20}, {10, 80}, {10, 60}, {11, 55}}));

    Set(Points({{10, 10}}));
    EXPECT_TRUE(serie.LinePixels().empty()) << "one point draws nothing";
    Set(Points({{10, 10}, {20, 20}}));
    EXPECT_EQ(serie.LinePixels().size(), 2u) << "two points draw one segment";
}

TEST(BezierControlPoints, HandComputedValues) {
    struct Case {
        std::vector<double> knots;
        std::vector<double> first;
        std::vector<double> second;
    } cases[] = {
        // A straight run gives the thirds between the knots.
        {{0, 1, 2}, {1.0 / 3, 4.0 / 3}, {2.0 / 3, 5.0 / 3}},
        {{0, 1, 2, 3}, {1.0 / 3, 4.0 / 3, 7.0 / 3}, {2.0 / 3, 5.0 / 3, 8.0 / 3}},
        // 2 F0 + F1 = 0 + 2 * 3 and F0 + 2 F1 = 3 * 3: F = 1, 4; S0 = 2 * 3 - 4, S1 = (0 + 4) / 2.
        {{0, 3, 0}, {1, 4}, {2, 2}},
        // One segment: straight between its two knots, wherever they are.
        {{10, 40}, {20}, {30}},
        {{100, 100}, {100}, {100}},
        {{5}, {}, {}},
    };
    for (const Case& c : cases) {
        std::vector<double> first;
        std::vector<double> second;
        CChartLineSerie::ControlPoints(c.knots, first, second);
        ASSERT_EQ(first.size(), c.first.size());
        ASSERT_EQ(second.size(), c.second.size());
        for (size_t i = 0; i < first.size(); ++i) {
            EXPECT_NEAR(first[i], c.first[i], 1e-12) << i;
            EXPECT_NEAR(second[i], c.second[i], 1e-12) << i;
        }
    }
}

TEST_F(LineOnAxes, SmoothCurveRunsThroughEveryKnot) {
    Set(Points({{10, 10}, {40, 40}}));
    EXPECT_EQ(serie.BezierPixels(), (std::vector<Point>{{10, 90}, {20, 80}, {30, 70}, {40, 60}}));
    Set(Points({{0, 0}, {30, 90}, {60, 0}}));
    const std::vector<Point> curve = serie.BezierPixels();
    ASSERT_EQ(curve.size(), 7u);  // K0 F0 S0 K1 F1 S1 K2
    EXPECT_EQ(curve[0], (Point{0, 100}));
    EXPECT_EQ(curve[3], (Point{30, 10}));
    EXPECT_EQ(curve[6], (Point{60, 100}));
}

TEST_F(LineOnAxes, HitTestNearSegmentsAndPoints) {
    Set(Points({{10, 90}, {50, 50}, {50, 50}, {90, 90}}));  // pixels (10,10) (50,50) (50,50) (90,10)
    struct {
        Point at;
        bool hit;
        int index;
    } cases[] = {
        {{30, 30}, true, -1},   // on the first segment, far from its ends
        {{12, 11}, true, 0},    // within 5 pixels of the first point
        {{47, 46}, true, 1},    // the later end wins
        {{36, 30}, true, -1},   // the foot on the line (33, 33) is 3 pixels away each way
        {{37, 30}, false, -1},  // and here 3.5
        {{5, 5}, false, -1},    // before the first point
        {{70, 30}, true, -1},   // the third segment; the zero-length one is skipped
    };
    for (const auto& c : cases) {
        int index = 7;
        EXPECT_EQ(serie.HitTest(c.at, &index), c.hit) << c.at.x << "," << c.at.y;
        EXPECT_EQ(index, c.index) << c.at.x << "," << c.at.y;
    }
    serie.SetVisible(false);
    int index = 7;
    EXPECT_FALSE(serie.HitTest({30, 30}, &index));
    EXPECT_EQ(index, -1);
}

TEST_F(LineOnAxes, DrawNewAddsOnlyTheAppendedSegments) {
    platform::ui::MemoryCanvas canvas(101, 101);
    serie.SetColor(0x0000FF);
    serie.SetClipRect({0, 0, 101, 101});  // the chart gives it its plotting area
    Set(Points({{0, 50}, {40, 50}}));
    serie.DrawAll(canvas.Dc());
    EXPECT_EQ(serie.LastDrawnIndex(), 1u);
    serie.AddPoint(80, 50);
    serie.AddPoint(90, 10);
    serie.DrawNew(canvas.Dc());
    EXPECT_EQ(serie.LastDrawnIndex(), 3u);
    EXPECT_EQ(canvas.PixelAt(60, 50), 0x0000FFu) << "the appended segment is there";
    EXPECT_EQ(canvas.PixelAt(20, 50), 0x0000FFu);
    serie.DrawNew(canvas.Dc());
    EXPECT_EQ(serie.LastDrawnIndex(), 3u) << "nothing new, nothing drawn";
}

class RecordingListener : public controls::CChartCursorListener {
  public:
    void OnCursorMoved(CChartCursor*, double x, double y) override { moves.push_back({x, y}); }
    std::vector<std::pair<double, double>> moves;
};

TEST_F(LineOnAxes, DragLineCursorGrabsWithinThreePixels) {
    CChartDragLineCursor cursor(nullptr, &x, 0x0000FF);
    RecordingListener listener;
    cursor.AddListener(&listener);
    cursor.SetPosition(50);
    EXPECT_EQ(cursor.Position(), 50);
    struct {
        int x;
        bool grabs;
    } clicks[] = {{53, true}, {47, true}, {54, false}, {46, false}, {50, true}};
    for (const auto& c : clicks) {
        EXPECT_EQ(cursor.OnButtonDown(c.x, 999), c.grabs) << c.x;
        EXPECT_EQ(cursor.OnButtonUp(c.x, 999), c.grabs) << "the release ends only a drag";
    }
    EXPECT_FALSE(cursor.OnMouseMove(70, 0)) << "not dragging";
    ASSERT_TRUE(cursor.OnButtonDown(51, 0));
    EXPECT_TRUE(cursor.OnMouseMove(70, 0));
    EXPECT_EQ(cursor.Position(), 70);
    ASSERT_EQ(listener.moves.size(), 1u);
    EXPECT_DOUBLE_EQ(listener.moves[0].first, 70);
    EXPECT_DOUBLE_EQ(listener.moves[0].second, 0);
    EXPECT_TRUE(cursor.OnButtonUp(70, 0));

    // A zoom keeps the pixel and reports the value now under it.
    x.SetZoomRange(0, 50);
    cursor.OnRangeChanged();
    EXPECT_EQ(cursor.Position(), 70);
    ASSERT_EQ(listener.moves.size(), 2u);
    EXPECT_DOUBLE_EQ(listener.moves[1].first, 35);

    // On a vertical axis the value is the second coordinate.
    CChartDragLineCursor level(nullptr, &y, 0xFF0000);
    level.AddListener(&listener);
    level.SetPosition(25);
    EXPECT_EQ(level.Position(), 75);
    ASSERT_TRUE(level.OnButtonDown(0, 73));
    EXPECT_TRUE(level.OnMouseMove(0, 60));
    EXPECT_DOUBLE_EQ(listener.moves.back().first, 0);
    EXPECT_DOUBLE_EQ(listener.moves.back().second, 40);
}

class SeriesClicks : public controls::CChartSeriesMouseListener {
  public:
    void OnSeriesEvent(int event, int, int, controls::CChartSerie*, int index) override {
        events.push_back({event, index});
    }
    std::vector<std::pair<int, int>> events;
};

TEST_F(LineOnAxes, MouseEventsReachTheListenerOnlyWhenEnabledAndHit) {
    Set(Points({{10, 90}, {50, 50}}));
    SeriesClicks clicks;
    EXPECT_FALSE(serie.MouseEvent(2, {30, 30})) << "no listener";
    serie.SetMouseListener(&clicks);
    EXPECT_TRUE(serie.MouseEvent(2, {30, 30}));
    EXPECT_FALSE(serie.MouseEvent(2, {90, 30})) << "missed";
    EXPECT_FALSE(serie.MouseEvent(0, {30, 30})) << "moves are off by default";
    serie.NotifyMouseMoves(true);
    EXPECT_TRUE(serie.MouseEvent(0, {11, 11}));
    serie.NotifyMouseClicks(false);
    EXPECT_FALSE(serie.MouseEvent(1, {30, 30}));
    EXPECT_EQ(clicks.events, (std::vector<std::pair<int, int>>{{2, -1}, {0, 0}}));
}

}  // namespace
