// Axis math: mapping, ticks, zoom, pan, automatic ranges and scroll steps,
// all without a window.
#include <cmath>
#include <limits>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "controls/ChartLineSerie.h"
#include "controls/ChartLogarithmicAxis.h"
#include "controls/ChartStandardAxis.h"

using controls::CChartAxis;
using controls::CChartLineSerie;
using controls::CChartLogarithmicAxis;
using controls::CChartStandardAxis;
using controls::SChartXYPoint;

namespace {

// An axis laid out without a chart: start and end pixels as the chart would place them.
template <class Axis>
std::unique_ptr<Axis> MakeAxis(bool horizontal, int start, int end, double min, double max) {
    auto axis = std::make_unique<Axis>();
    axis->Attach(nullptr, horizontal, false);
    axis->SetAxisSize(start, end);
    axis->SetMinMax(min, max);
    return axis;
}

std::vector<std::string> Labels(const CChartAxis& axis) {
    std::vector<std::string> labels;
    for (double tick : axis.Ticks()) labels.push_back(axis.TickLabel(tick));
    return labels;
}

struct StepCase {
    const char* name;
    bool horizontal;
    int length;
    double min;
    double max;
    double increment;
    unsigned decimals;
};

void PrintTo(const StepCase& c, std::ostream* out) {
    *out << c.name;
}

class StandardTickStep : public ::testing::TestWithParam<StepCase> {};

TEST_P(StandardTickStep, IncrementAndDecimals) {
    const StepCase& c = GetParam();
    auto axis = MakeAxis<CChartStandardAxis>(c.horizontal, c.horizontal ? 0 : c.length,
                                             c.horizontal ? c.length : 0, c.min, c.max);
    axis->SetTickIncrement(0.25);  // what a too short axis must keep
    axis->SetDecimals(7);
    axis->UpdateTickStep();
    EXPECT_DOUBLE_EQ(axis->TickIncrement(), c.increment);
    EXPECT_EQ(axis->Decimals(), c.decimals);
}

INSTANTIATE_TEST_SUITE_P(
    Axes, StandardTickStep,
    ::testing::Values(StepCase{"TenOn200", false, 200, 0, 10, 1, 0},
                      StepCase{"ThreeTenthsOn200", false, 200, 0, 0.3, 0.05, 2},
                      StepCase{"OneOn200", false, 200, 0, 1, 0.1, 1},
                      // 0.7 per gap: 1, 2, 5 tenths are too small, one whole drops a decimal.
                      StepCase{"SevenOn200", false, 200, 0, 7, 1, 0},
                      StepCase{"ThousandOn300Wide", true, 300, 0, 1000, 100, 0},
                      StepCase{"SymmetricOn100Wide", true, 100, -5, 5, 5, 0},
                      StepCase{"TwoMillionthsOn200", false, 200, 1, 1.000002, 0.0000005, 7},
                      StepCase{"VerticalShorterThan20Keeps", false, 19, 0, 10, 0.25, 7},
                      StepCase{"HorizontalShorterThan30Keeps", true, 29, 0, 10, 0.25, 7},
                      StepCase{"EmptyRange", false, 200, 3, 3, 0, 7}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StandardAxis, TicksAndLabels) {
    auto axis = MakeAxis<CChartStandardAxis>(false, 200, 0, 0, 10);
    axis->UpdateTickStep();
    axis->UpdateFirstTick();
    EXPECT_EQ(Labels(*axis),
              (std::vector<std::string>{"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}));

    axis->SetMinMax(0, 0.3);
    axis->UpdateTickStep();
    axis->UpdateFirstTick();
    EXPECT_EQ(Labels(*axis),
              (std::vector<std::string>{"0.00", "0.05", "0.10", "0.15", "0.20", "0.25", "0.30"}));

    // The first tick is the first multiple of the increment not below the minimum.
    struct {
        double min;
        double first;
    } firsts[] = {{0.12, 0.15}, {-0.12, -0.10}, {0.15, 0.15}, {-3, -3}};
    for (const auto& f : firsts) {
        axis->SetMinMax(f.min, f.min + 0.3);
        axis->UpdateTickStep();
        axis->UpdateFirstTick();
        EXPECT_NEAR(axis->FirstTickValue(), f.first, 1e-12) << f.min;
    }

    // An empty range shows one tick, labelled with the minimum.
    auto empty = MakeAxis<CChartStandardAxis>(false, 200, 0, 4, 4);
    empty->UpdateTickStep();
    empty->UpdateFirstTick();
    EXPECT_EQ(Labels(*empty), (std::vector<std::string>{"4"}));
}

TEST(StandardAxis, TicksEndWhereTheStepIsLostInPrecision) {
    // Steps of 5000 vanish against 1e20 (whose spacing is 16384): the tick
    // loops must still end.
    auto axis = MakeAxis<CChartStandardAxis>(false, 200, 0, 1e20, 1e20 + 32768);
    axis->UpdateTickStep();
    axis->UpdateFirstTick();
    EXPECT_DOUBLE_EQ(axis->TickIncrement(), 5000);
    EXPECT_LE(axis->Ticks().size(), 10u);
}

TEST(LogarithmicAxis, DecadeTicksAndLabels) {
    auto axis = MakeAxis<CChartLogarithmicAxis>(true, 0, 600, 1, 1000);
    axis->UpdateTickStep();
    axis->UpdateFirstTick();
    const std::vector<double> ticks = axis->Ticks();
    EXPECT_EQ(ticks, (std::vector<double>{1, 2, 3, 4, 5, 7, 10, 20, 30, 40, 50, 70, 100, 200, 300, 400, 500,
                                          700, 1000}));
    EXPECT_EQ(Labels(*axis).front(), "1");
    EXPECT_EQ(Labels(*axis).back(), "1000");
    EXPECT_EQ(axis->TickLabel(0.1), "0.1");
    EXPECT_EQ(axis->TickLabel(0.01), "0.01");
    EXPECT_EQ(axis->TickLabel(70), "70");

    axis->SetMinMax(25, 1000);
    axis->UpdateFirstTick();
    EXPECT_DOUBLE_EQ(axis->FirstTickValue(), 10);
}

TEST(LogarithmicAxis, NonPositiveRangeDrawsNoDecadesAndNeverHangs) {
    auto axis = MakeAxis<CChartLogarithmicAxis>(true, 0, 600, 0, 1000);
    axis->UpdateFirstTick();
    EXPECT_EQ(axis->Ticks(), (std::vector<double>{0}));
    const int pixel = axis->ValueToPixel(-5);  // log of a negative value: held, not undefined
    EXPECT_GE(pixel, -CChartAxis::kPixelLimit);
    EXPECT_LE(pixel, CChartAxis::kPixelLimit);
}

struct PixelCase {
    const char* name;
    bool logarithmic;
    bool horizontal;
    bool inverted;
    bool discrete;
    double min;
    double max;
    double value;
    int pixel;
};

void PrintTo(const PixelCase& c, std::ostream* out) {
    *out << c.name;
}

class ValueToPixel : public ::testing::TestWithParam<PixelCase> {};

TEST_P(ValueToPixel, Maps) {
    const PixelCase& c = GetParam();
    std::unique_ptr<CChartAxis> axis;
    // Horizontal axes run from 100 to 300, vertical ones from 300 (bottom) up to 100.
    const int start = c.horizontal ? 100 : 300;
    const int end = c.horizontal ? 300 : 100;
    if (c.logarithmic)
        axis = MakeAxis<CChartLogarithmicAxis>(c.horizontal, start, end, c.min, c.max);
    else
        axis = MakeAxis<CChartStandardAxis>(c.horizontal, start, end, c.min, c.max);
    axis->SetInverted(c.inverted);
    if (c.discrete) {
        if (auto* standard = dynamic_cast<CChartStandardAxis*>(axis.get())) standard->SetTickIncrement(1);
        axis->SetDiscrete(true);
    }
    EXPECT_EQ(axis->ValueToPixel(c.value), c.pixel);
}

INSTANTIATE_TEST_SUITE_P(
    Axes, ValueToPixel,
    ::testing::Values(PixelCase{"Horizontal", false, true, false, false, 0, 10, 2.5, 150},
                      PixelCase{"HorizontalInverted", false, true, true, false, 0, 10, 2.5, 250},
                      PixelCase{"Vertical", false, false, false, false, 0, 10, 2.5, 250},
                      PixelCase{"VerticalInverted", false, false, true, false, 0, 10, 2.5, 150},
                      PixelCase{"Floors", false, true, false, false, 0, 3, 1, 166},
                      PixelCase{"EmptyRangeHorizontalMiddle", false, true, false, false, 5, 5, 123, 200},
                      PixelCase{"EmptyRangeVerticalMiddle", false, false, false, false, 5, 5, -7, 200},
                      // Discrete: the middle of the increment's band (increment 1 over 0..10 wide 200).
                      PixelCase{"DiscreteBandCentre", false, true, false, true, 0, 10, 2.3, 150},
                      PixelCase{"DiscreteWholeValue", false, true, false, true, 0, 10, 2, 150},
                      PixelCase{"LogDecade", true, true, false, false, 1, 1000, 10, 166},
                      PixelCase{"LogTwoDecades", true, true, false, false, 1, 1000, 100, 233},
                      PixelCase{"LogVertical", true, false, false, false, 1, 100, 10, 200},
                      PixelCase{"LogDiscreteMidDecade", true, true, false, true, 1, 100, 20, 250},
                      // Far values are held, never overflowing.
                      PixelCase{"HugeHeld", false, true, false, false, 0, 10, 1e300, 100 + 4194304},
                      PixelCase{"HugeNegativeHeld", false, true, false, false, 0, 10, -1e300, 100 - 4194304},
                      PixelCase{"NotANumberAtOrigin", false, true, false, false, 0, 10, std::nan(""), 100}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AxisMapping, PixelToValueInvertsTheMapping) {
    auto standard = MakeAxis<CChartStandardAxis>(true, 100, 300, 0, 10);
    EXPECT_DOUBLE_EQ(standard->PixelToValue(150), 2.5);
    standard->SetInverted(true);
    EXPECT_DOUBLE_EQ(standard->PixelToValue(150), 7.5);
    auto vertical = MakeAxis<CChartStandardAxis>(false, 300, 100, 0, 10);
    EXPECT_DOUBLE_EQ(vertical->PixelToValue(250), 2.5);
    auto log = MakeAxis<CChartLogarithmicAxis>(true, 0, 300, 1, 1000);
    EXPECT_NEAR(log->PixelToValue(100), 10, 1e-9);
    EXPECT_NEAR(log->PixelToValue(200), 100, 1e-9);
    auto empty = MakeAxis<CChartStandardAxis>(true, 0, 300, 4, 4);
    EXPECT_DOUBLE_EQ(empty->PixelToValue(77), 4);
    auto flat = MakeAxis<CChartStandardAxis>(true, 50, 50, 0, 10);
    EXPECT_DOUBLE_EQ(flat->PixelToValue(50), 0) << "an axis without length maps to its minimum";
}

TEST(AxisZoom, SpanLimitAndConditions) {
    auto axis = MakeAxis<CChartStandardAxis>(true, 0, 100, 0, 10);
    axis->SetZoomRange(2, 2.0005);
    EXPECT_DOUBLE_EQ(axis->Min(), 2);
    EXPECT_EQ(axis->Max(), 2 + 0.001) << "a span below the limit becomes exactly the limit";
    EXPECT_DOUBLE_EQ(axis->SavedMin(), 0) << "a zoom keeps the saved range";
    EXPECT_DOUBLE_EQ(axis->SavedMax(), 10);

    axis->SetZoomEnabled(false);
    axis->SetZoomRange(5, 6);
    EXPECT_DOUBLE_EQ(axis->Min(), 2) << "zoom disabled";
    axis->SetZoomEnabled(true);
    axis->RestoreSavedRange();
    EXPECT_DOUBLE_EQ(axis->Max(), 10);

    auto empty = MakeAxis<CChartStandardAxis>(true, 0, 100, 3, 3);
    empty->SetZoomRange(1, 2);
    EXPECT_DOUBLE_EQ(empty->Min(), 3) << "an empty range does not zoom";
}

TEST(AxisPan, ShiftsByThePixelDistance) {
    auto standard = MakeAxis<CChartStandardAxis>(true, 0, 100, 0, 10);
    standard->Pan(50, 60);  // dragged right by a tenth: the values move left
    EXPECT_DOUBLE_EQ(standard->Min(), -1);
    EXPECT_DOUBLE_EQ(standard->Max(), 9);

    auto vertical = MakeAxis<CChartStandardAxis>(false, 100, 0, 0, 10);
    vertical->Pan(50, 40);  // dragged up
    EXPECT_DOUBLE_EQ(vertical->Min(), -1);

    auto log = MakeAxis<CChartLogarithmicAxis>(true, 0, 300, 1, 1000);
    log->Pan(100, 200);  // one decade to the right
    EXPECT_NEAR(log->Min(), 0.1, 1e-12);
    EXPECT_NEAR(log->Max(), 100, 1e-9);
}

// A series with its own points, attached to two axes by hand.
std::unique_ptr<CChartLineSerie> SeriesOn(CChartAxis* horizontal, CChartAxis* vertical,
                                          const std::vector<SChartXYPoint>& points) {
    auto serie = std::make_unique<CChartLineSerie>(nullptr);
    serie->SetHorizontalAxis(horizontal);
    serie->SetVerticalAxis(vertical);
    horizontal->AddSeries(serie.get());
    vertical->AddSeries(serie.get());
    serie->SetPoints(points.data(), static_cast<uint32_t>(points.size()));
    return serie;
}

TEST(AxisAutoRange, FitsAllPointsIgnoringEmptySeries) {
    auto x = MakeAxis<CChartStandardAxis>(true, 0, 100, 0, 0);
    auto y = MakeAxis<CChartStandardAxis>(false, 100, 0, 0, 0);
    auto filled = SeriesOn(x.get(), y.get(), {{2, 5, 0}, {4, 7, 0}, {3, 6, 0}});
    auto empty = SeriesOn(x.get(), y.get(), {});
    x->SetAutomaticMode(CChartAxis::kFitAll);
    y->SetAutomaticMode(CChartAxis::kFitAll);
    EXPECT_DOUBLE_EQ(x->Min(), 2) << "the empty series does not pull the range to 0";
    EXPECT_DOUBLE_EQ(x->Max(), 4);
    EXPECT_DOUBLE_EQ(y->Min(), 5);
    EXPECT_DOUBLE_EQ(y->Max(), 7);
    EXPECT_DOUBLE_EQ(y->SavedMax(), 7) << "the automatic range is the one UndoZoom returns to";

    filled->SetVisible(false);
    x->UpdateAutoRange();
    EXPECT_DOUBLE_EQ(x->Min(), 0) << "no visible points: (0, 0)";
    EXPECT_DOUBLE_EQ(x->Max(), 0);

    x->SetAutomatic();
    EXPECT_EQ(x->AutomaticMode(), CChartAxis::kFixed);
    filled->SetVisible(true);
    x->UpdateAutoRange();
    EXPECT_DOUBLE_EQ(x->Max(), 0) << "a fixed axis keeps its range";
}

TEST(AxisAutoRange, FitsThePointsVisibleAlongTheOtherAxis) {
    auto x = MakeAxis<CChartStandardAxis>(true, 0, 100, 0, 10);
    auto y = MakeAxis<CChartStandardAxis>(false, 100, 0, 0, 0);
    std::vector<SChartXYPoint> points;
    for (int i = 0; i <= 10; ++i) points.push_back({static_cast<double>(i), static_cast<double>(i * i), 0});
    auto serie = SeriesOn(x.get(), y.get(), points);
    x->SetZoomRange(2.5, 5.5);
    y->SetAutomaticMode(CChartAxis::kFitVisible);
    // The visible indexes are 3 and 5: the points from 3 up to (not including) 5.
    EXPECT_DOUBLE_EQ(y->Min(), 9);
    EXPECT_DOUBLE_EQ(y->Max(), 16);
}

TEST(AxisScroll, StepsPositionsAndScrolling) {
    auto x = MakeAxis<CChartStandardAxis>(true, 0, 100, 0, 10);
    auto y = MakeAxis<CChartStandardAxis>(false, 100, 0, 0, 10);
    auto serie = SeriesOn(x.get(), y.get(), {{0, 0, 0}, {10, 10, 0}});
    x->SetZoomRange(2, 4);
    int steps = 0;
    int position = 0;
    x->ScrollSteps(&steps, &position);
    EXPECT_EQ(steps, 50);  // series span 10 in steps of a tenth of the span shown (0.2)
    EXPECT_EQ(position, 10);
    EXPECT_EQ(x->ScrollBar().GetInfo(), (controls::CChartScrollBar::Info{0, 49, 10, 10}));

    y->SetZoomRange(2, 4);
    EXPECT_EQ(y->ScrollBar().GetInfo().pos, 50 - 10 - 9) << "a vertical bar counts from the top";

    x->ScrollToStep(10, 12, false);
    EXPECT_DOUBLE_EQ(x->Min(), 2.4);
    EXPECT_DOUBLE_EQ(x->Max(), 4.4);
    x->ScrollToStep(12, 10, false);
    EXPECT_NEAR(x->Min(), 2, 1e-12);

    auto none = MakeAxis<CChartStandardAxis>(true, 0, 100, 0, 10);
    none->ScrollSteps(&steps, &position);
    EXPECT_EQ(steps, 1) << "no series: one step";
    EXPECT_EQ(position, 1);

    auto log = MakeAxis<CChartLogarithmicAxis>(true, 0, 300, 1, 1000);
    auto logY = MakeAxis<CChartStandardAxis>(false, 100, 0, 0, 10);
    auto logSerie = SeriesOn(log.get(), logY.get(), {{1, 0, 0}, {1000, 1, 0}});
    log->SetZoomRange(10, 100);
    log->ScrollSteps(&steps, &position);
    EXPECT_NEAR(steps, 30, 1);  // three decades in tenths of the decade shown
    EXPECT_NEAR(position, 10, 1);
    log->ScrollToStep(0, 10, false);  // ten steps of a tenth of a decade
    EXPECT_NEAR(log->Min(), 100, 1e-9);
    EXPECT_NEAR(log->Max(), 1000, 1e-9);
}

TEST(AxisScroll, HugeRatiosStayWithinTheBar) {
    auto x = MakeAxis<CChartStandardAxis>(true, 0, 100, 0, 1e15);
    auto y = MakeAxis<CChartStandardAxis>(false, 100, 0, 0, 1);
    auto serie = SeriesOn(x.get(), y.get(), {{0, 0, 0}, {1e15, 1, 0}});
    x->SetZoomRange(0, 1);
    int steps = 0;
    int position = 0;
    x->ScrollSteps(&steps, &position);
    EXPECT_GT(steps, 0);
    EXPECT_LE(steps, 100000000);
}

}  // namespace
