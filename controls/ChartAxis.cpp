#include "controls/ChartAxis.h"

#include <algorithm>
#include <cmath>

#include "controls/ChartCtrl.h"
#include "controls/ChartSerie.h"
#include "platform/ui/Shading.h"

using platform::ui::Rect;
using platform::ui::Size;

namespace controls {

namespace {

// A tick loop ends here whatever the range: a range far narrower than its
// values' precision must not hang the drawing.
constexpr size_t kMaxTicks = 10000;

}  // namespace

CChartAxis::CChartAxis() : scrollBar_(std::make_unique<CChartScrollBar>(*this)) {}

CChartAxis::~CChartAxis() = default;

void CChartAxis::Attach(CChartCtrl* chart, bool horizontal, bool secondary) {
    chart_ = chart;
    horizontal_ = horizontal;
    secondary_ = secondary;
    grid_.SetHorizontal(horizontal);
    label_.SetHorizontal(horizontal);
    const Rect p = chart != nullptr ? chart->PlottingRect() : Rect{};
    scrollBar_->Create(chart, horizontal, secondary, {p.left + 1, p.top + 1, p.right, p.bottom});
    scrollBar_->SetInfo({1, 1, 1, 1});
}

void CChartAxis::SetDiscrete(bool discrete) {
    discrete_ = discrete;
    RefreshChart();
}

int CChartAxis::ValueToPixel(double value) const {
    if (min_ == max_) {
        const int half = static_cast<int>(std::fabs((end_ - start_) * 0.5));
        return horizontal_ ? start_ + half : start_ - half;
    }
    return discrete_ ? ValueToPixelDiscrete(value) : ValueToPixelContinuous(value);
}

double CChartAxis::Length() const {
    return std::fabs(static_cast<double>(end_) - start_);
}

double CChartAxis::PixelDistance(int pixel) const {
    if (horizontal_) return inverted_ ? end_ - pixel : pixel - start_;
    return inverted_ ? pixel - end_ : start_ - pixel;
}

int CChartAxis::OffsetPixel(double offset) const {
    if (std::isnan(offset)) offset = 0;
    const int o = static_cast<int>(std::clamp(offset, -kPixelLimit, kPixelLimit));
    if (horizontal_) return inverted_ ? end_ - o : start_ + o;
    return inverted_ ? end_ + o : start_ - o;
}

void CChartAxis::SetZoomRange(double min, double max) {
    if (!zoomEnabled_ || min_ == max_) return;
    min_ = min;
    max_ = max < min + zoomLimit_ ? min + zoomLimit_ : max;
    UpdateScrollBar();
}

void CChartAxis::SetMinMax(double min, double max) {
    min_ = savedMin_ = min;
    max_ = savedMax_ = max;
    UpdateScrollBar();
    RefreshChart();
}

void CChartAxis::RestoreSavedRange() {
    min_ = savedMin_;
    max_ = savedMax_;
    UpdateScrollBar();
}

void CChartAxis::SetAutomatic() {
    autoMode_ = kFixed;
    UpdateScrollBar();
}

void CChartAxis::SetAutomaticMode(int mode) {
    autoMode_ = (mode == kFitAll || mode == kFitVisible) ? mode : kFixed;
    UpdateAutoRange();
}

void CChartAxis::SetInverted(bool inverted) {
    inverted_ = inverted;
    UpdateScrollBar();
    RefreshChart();
}

void CChartAxis::SetVisible(bool visible) {
    visible_ = visible;
    RefreshChart();
}

void CChartAxis::SetMargin(bool automatic, int margin) {
    autoMargin_ = automatic;
    margin_ = margin;
    RefreshChart();
}

void CChartAxis::SetTickFont(std::string face, int size) {
    tickFontFace_ = std::move(face);
    tickFontSize_ = size;
    RefreshChart();
}

void CChartAxis::AddSeries(CChartSerie* serie) {
    if (serie != nullptr && std::find(series_.begin(), series_.end(), serie) == series_.end())
        series_.push_back(serie);
}

void CChartAxis::RemoveSeries(CChartSerie* serie) {
    series_.erase(std::remove(series_.begin(), series_.end(), serie), series_.end());
}

bool CChartAxis::SeriesRange(bool visibleOnly, double* min, double* max) const {
    bool any = false;
    for (CChartSerie* serie : series_) {
        double lo = 0;
        double hi = 0;
        bool has = false;
        if (horizontal_)
            has = visibleOnly ? serie->VisibleXRange(&lo, &hi) : serie->XRange(&lo, &hi);
        else
            has = visibleOnly ? serie->VisibleYRange(&lo, &hi) : serie->YRange(&lo, &hi);
        if (!has) continue;
        if (!any || lo < *min) *min = lo;
        if (!any || hi > *max) *max = hi;
        any = true;
    }
    return any;
}

void CChartAxis::UpdateAutoRange() {
    UpdateScrollBar();
    if (autoMode_ == kFixed) return;
    double lo = 0;
    double hi = 0;
    if (!SeriesRange(autoMode_ == kFitVisible, &lo, &hi)) lo = hi = 0;
    if (lo == min_ && hi == max_) return;
    min_ = savedMin_ = lo;
    max_ = savedMax_ = hi;
    UpdateScrollBar();
    RefreshChart();
}

void CChartAxis::SetAxisSize(int start, int end) {
    start_ = start;
    end_ = end;
}

void CChartAxis::Place(const Rect& plotting, const Rect& drawing) {
    axisRect_ = drawing;
    if (horizontal_) {
        start_ = plotting.left;
        end_ = plotting.right;
        if (secondary_)
            axisRect_.bottom = plotting.top;
        else
            axisRect_.top = plotting.bottom;
    } else {
        start_ = plotting.bottom;
        end_ = plotting.top;
        if (secondary_)
            axisRect_.left = plotting.right;
        else
            axisRect_.right = plotting.left;
    }
}

std::vector<double> CChartAxis::Ticks() const {
    if (min_ == max_) return {min_};
    std::vector<double> ticks;
    double tick = FirstTick();
    ticks.push_back(tick);
    double next = 0;
    while (ticks.size() < kMaxTicks && NextTick(tick, &next)) {
        ticks.push_back(next);
        tick = next;
    }
    return ticks;
}

void CChartAxis::ReserveMargin(platform::ui::DrawContext& dc, const Rect& drawing, Rect& plotting) {
    if (!visible_) return;
    dc.SetFont(platform::ui::FontSpec{tickFontFace_, tickFontSize_ / 10.0});
    Size widest;
    const int low = std::min(start_, end_);
    const int high = std::max(start_, end_);
    for (double tick : Ticks()) {
        const int pixel = ValueToPixel(tick);
        if (min_ != max_ && (pixel < low || pixel > high)) continue;
        const Size size = dc.TextExtent(TickLabel(tick));
        widest.cx = std::max(widest.cx, size.cx);
        widest.cy = std::max(widest.cy, size.cy);
    }
    const Size label = label_.Measure(dc);
    if (horizontal_) {
        const int margin = autoMargin_ ? widest.cy + 6 + label.cy : margin_;
        if (autoMargin_) margin_ = margin;
        if (secondary_)
            plotting.top = std::max(plotting.top, drawing.top + margin);
        else
            plotting.bottom = std::min(plotting.bottom, drawing.bottom - margin);
        plotting.right = std::min(plotting.right, drawing.right - widest.cx / 2 - 3);
    } else {
        const int margin = autoMargin_ ? widest.cx + 10 + label.cx : margin_;
        if (autoMargin_) margin_ = margin;
        plotting.top = std::max(plotting.top, drawing.top + 3 + widest.cy / 2);
        if (secondary_)
            plotting.right = std::min(plotting.right, drawing.right - margin);
        else
            plotting.left = std::max(plotting.left, drawing.left + margin);
    }
}

void CChartAxis::Draw(platform::ui::DrawContext& dc, const Rect& plotting) {
    if (!visible_) return;
    dc.SetPen(axisColour_, 1);
    dc.SetFont(platform::ui::FontSpec{tickFontFace_, tickFontSize_ / 10.0});
    dc.SetTextColor(textColour_);
    dc.SetBkTransparent(true);

    const Rect& r = axisRect_;
    if (horizontal_) {
        const int y = secondary_ ? r.bottom - 1 : r.top + 1;
        dc.Line(start_, y, end_, y);
    } else {
        const int x = secondary_ ? r.left + 1 : r.right - 1;
        dc.Line(x, start_, x, end_);
    }

    const Size label = label_.Measure(dc);
    const int middle = start_ + (end_ - start_) / 2;
    if (horizontal_)
        label_.SetPosition(secondary_ ? middle - label.cx / 2 : start_ + 20, r.top);
    else
        label_.SetPosition(secondary_ ? r.right - label.cx - 2 : r.left, middle + label.cy / 2);
    label_.Draw(dc);
    // The label selected its own font; the ticks take theirs back.
    dc.SetFont(platform::ui::FontSpec{tickFontFace_, tickFontSize_ / 10.0});
    dc.SetTextColor(textColour_);
    dc.SetPen(axisColour_, 1);

    grid_.ClearTicks();
    const int low = std::min(start_, end_);
    const int high = std::max(start_, end_);
    for (double tick : Ticks()) {
        const int pixel = ValueToPixel(tick);
        grid_.AddTick(pixel);
        if (pixel < low || pixel > high) continue;
        const std::string text = TickLabel(tick);
        const Size size = dc.TextExtent(text);
        if (horizontal_) {
            if (secondary_) {
                dc.Line(pixel, r.bottom - 1, pixel, r.bottom - 4);
                dc.TextOut(pixel - size.cx / 2, r.bottom - size.cy - 5, text);
            } else {
                dc.Line(pixel, r.top + 1, pixel, r.top + 4);
                dc.TextOut(pixel - size.cx / 2, r.top + 5, text);
            }
        } else {
            if (secondary_) {
                dc.Line(r.left + 1, pixel, r.left + 4, pixel);
                dc.TextOut(r.left + 6, pixel - size.cy / 2, text);
            } else {
                dc.Line(r.right - 1, pixel, r.right - 4, pixel);
                dc.TextOut(r.left + label.cx + 4, pixel - size.cy / 2, text);
            }
        }
    }
    grid_.Draw(dc, plotting);
}

void CChartAxis::UpdateScrollBar() {
    int steps = 1;
    int position = 1;
    ScrollSteps(&steps, &position);
    const bool reversed = horizontal_ ? inverted_ : !inverted_;
    scrollBar_->SetInfo({0, steps - 1, 10, reversed ? steps - position - 9 : position});
}

void CChartAxis::PlaceScrollBar(const Rect& p) {
    if (horizontal_) {
        const int t = platform::ui::SysMetricValue(platform::ui::SysMetric::HScrollY);
        scrollBar_->Place(secondary_ ? Rect{p.left + 1, p.top + 1, p.right, p.top + 1 + t}
                                     : Rect{p.left + 1, p.bottom - t, p.right, p.bottom});
    } else {
        const int t = platform::ui::SysMetricValue(platform::ui::SysMetric::VScrollX);
        scrollBar_->Place(secondary_ ? Rect{p.right - t, p.top + 1, p.right, p.bottom}
                                     : Rect{p.left + 1, p.top + 1, p.left + 1 + t, p.bottom});
    }
}

void CChartAxis::AfterScroll() {
    if (chart_ == nullptr) {
        UpdateScrollBar();
        return;
    }
    for (int i = 0; i < 4; ++i) {
        CChartAxis* axis = chart_->GetAxis(i);
        if (axis == nullptr) continue;
        axis->UpdateScrollBar();
        if (axis->autoMode_ == kFitVisible) axis->UpdateAutoRange();
    }
}

void CChartAxis::RefreshChart() {
    if (chart_ != nullptr) chart_->RefreshCtrl();
}

}  // namespace controls
