#include "controls/ChartLegend.h"

#include <algorithm>

#include "controls/ChartCtrl.h"
#include "controls/ChartSerie.h"

using platform::ui::Rect;
using platform::ui::Size;

namespace controls {

namespace {

template <class F>
void ForEachListed(CChartCtrl* chart, F f) {
    if (chart == nullptr) return;
    for (const auto& [id, serie] : chart->Series())
        if (serie->IsVisible() && !serie->Name().empty()) f(*serie);
}

}  // namespace

void CChartLegend::SetVisible(bool visible) {
    visible_ = visible;
    RefreshChart();
}

void CChartLegend::DockLegend(int side) {
    docked_ = true;
    dockSide_ = side;
    RefreshChart();
}

void CChartLegend::UndockLegend(int left, int top) {
    docked_ = false;
    left_ = left;
    top_ = top;
    RefreshChart();
}

void CChartLegend::SetFont(std::string face, int size) {
    face_ = std::move(face);
    size_ = size;
    RefreshChart();
}

void CChartLegend::SetHorizontalMode(bool horizontal) {
    horizontal_ = horizontal;
    RefreshChart();
}

void CChartLegend::SetTransparent(bool transparent) {
    transparent_ = transparent;
    RefreshChart();
}

void CChartLegend::SetShadow(bool shadow, int depth) {
    shadow_ = shadow;
    shadowDepth_ = depth;
    RefreshChart();
}

void CChartLegend::SetBackgroundColor(platform::COLORREF colour) {
    background_ = colour;
    RefreshChart();
}

void CChartLegend::SetShadowColor(platform::COLORREF colour) {
    shadowColour_ = colour;
    RefreshChart();
}

void CChartLegend::SetSampleSize(int width, int height) {
    sampleWidth_ = width;
    sampleHeight_ = height;
    RefreshChart();
}

void CChartLegend::SelectFont(platform::ui::DrawContext& dc) const {
    dc.SetFont(platform::ui::FontSpec{face_, size_ / 10.0});
}

Size CChartLegend::Measure(platform::ui::DrawContext& dc) {
    SelectFont(dc);
    int width = 0;
    int height = 0;
    int entries = 0;
    ForEachListed(chart_, [&](CChartSerie& serie) {
        const Size text = dc.TextExtent(serie.Name());
        ++entries;
        if (horizontal_) {
            width += 14 + sampleWidth_ + text.cx;
            height = std::max(height, text.cy);
        } else {
            height += std::max(text.cy, sampleHeight_) + 2;
            width = std::max(width, text.cx);
        }
    });
    if (entries == 0) return {0, 0};
    if (horizontal_) {
        width -= 6;
        height = std::max(height, sampleHeight_) + 8;
    } else {
        height += 6;
        width += 12 + sampleWidth_;
    }
    return {width, height};
}

const Rect& CChartLegend::ComputeRect(platform::ui::DrawContext& dc, const Rect& p) {
    rect_ = {};
    if (!visible_) return rect_;
    const Size size = Measure(dc);
    if (size.cx == 0 && size.cy == 0) return rect_;
    const int w = size.cx;
    const int h = size.cy;
    if (!docked_) {
        rect_ = {left_, top_, left_ + w, top_ + h + 2};
        return rect_;
    }
    switch (dockSide_) {
        case kDockLeft:
            rect_.left = p.left + 3;
            rect_.right = rect_.left + w;
            rect_.top = (p.bottom - p.top) / 2 - (h + 2) / 2;
            rect_.bottom = rect_.top + h;
            break;
        case kDockTop:
            rect_.top = p.top + 3;
            rect_.bottom = rect_.top + h;
            rect_.left = (p.right - p.left) / 2 - w / 2;
            rect_.right = rect_.left + w;
            break;
        case kDockBottom:
            rect_.bottom = p.bottom - 2;
            rect_.top = rect_.bottom - h - 2;
            rect_.left = (p.right - p.left) / 2 - w / 2;
            rect_.right = rect_.left + w;
            break;
        default:
            rect_.left = p.right - w - 6;
            rect_.right = p.right - 6;
            rect_.top = (p.bottom - p.top) / 2 - (h + 2) / 2;
            rect_.bottom = rect_.top + h;
            break;
    }
    return rect_;
}

void CChartLegend::Draw(platform::ui::DrawContext& dc) {
    if (!visible_ || rect_.IsEmpty()) return;
    if (shadow_) dc.FillSolidRect(rect_.Offset(shadowDepth_, shadowDepth_), shadowColour_);
    if (!transparent_) dc.FillSolidRect(rect_, background_);
    dc.SetPen(0, 1);
    dc.SetNullBrush();
    dc.Rectangle(rect_);

    SelectFont(dc);
    dc.SetTextColor(0);
    dc.SetBkTransparent(true);
    Rect sample{rect_.left + 2, rect_.top + 5, rect_.left + 2 + sampleWidth_, rect_.top + 6 + sampleHeight_};
    ForEachListed(chart_, [&](CChartSerie& serie) {
        const Size text = dc.TextExtent(serie.Name());
        Rect drawn = sample;
        int y = 0;
        if (text.cy <= drawn.Height()) {
            y = drawn.top + drawn.Height() / 2 - text.cy / 2;
        } else {
            y = drawn.top;
            const int shift = text.cy / 2 - drawn.Height() / 2;
            drawn = drawn.Offset(0, shift);
        }
        serie.DrawLegendSample(dc, drawn);
        SelectFont(dc);
        dc.SetTextColor(0);
        dc.TextOut(drawn.right + 4, y, serie.Name());
        if (horizontal_)
            sample = sample.Offset(text.cx + 14 + sampleWidth_, 0);
        else
            sample = sample.Offset(0, std::max(text.cy, sampleHeight_) + 2);
    });
}

void CChartLegend::RefreshChart() {
    if (chart_ != nullptr) chart_->RefreshCtrl();
}

}  // namespace controls
