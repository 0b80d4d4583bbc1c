#include "controls/ChartSerieBase.h"

#include <algorithm>
#include <cmath>

#include "controls/ChartAxis.h"

namespace controls {

namespace {

using Key = double SChartXYPoint::*;

// The index where v falls among the keys of lo..hi (sorted): the first key
// above v, or hi when none is.
uint32_t Search(const CChartPointsArray& points, Key key, uint32_t lo, uint32_t hi, double v) {
    while (true) {
        const uint32_t mid = lo + (hi - lo) / 2;
        if (points.At(mid).*key > v) {
            if (lo >= mid) return lo;
            hi = mid - 1;
        } else {
            if (mid >= hi) return hi;
            lo = mid + 1;
        }
    }
}

// Extremes of one coordinate over first..last (last excluded), or the first point alone.
void Extremes(const CChartPointsArray& points, Key key, uint32_t first, uint32_t last, double* min,
              double* max) {
    *min = *max = points.At(first).*key;
    for (uint32_t i = first + 1; i < last; ++i) {
        const double v = points.At(i).*key;
        if (v < *min) *min = v;
        if (v > *max) *max = v;
    }
}

}  // namespace

platform::ui::Point CChartSerieBase<SChartXYPoint>::PointPixel(uint32_t index) const {
    const SChartXYPoint& p = points_.At(index);
    return {horizontalAxis_ != nullptr ? horizontalAxis_->ValueToPixel(p.X) : 0,
            verticalAxis_ != nullptr ? verticalAxis_->ValueToPixel(p.Y) : 0};
}

bool CChartSerieBase<SChartXYPoint>::XRange(double* min, double* max) const {
    if (!visible_ || points_.Count() == 0) return false;
    *min = points_.MinX();
    *max = points_.MaxX();
    return true;
}

bool CChartSerieBase<SChartXYPoint>::YRange(double* min, double* max) const {
    if (!visible_ || points_.Count() == 0) return false;
    *min = points_.MinY();
    *max = points_.MaxY();
    return true;
}

bool CChartSerieBase<SChartXYPoint>::VisibleXRange(double* min, double* max) const {
    uint32_t first = 0;
    uint32_t last = 0;
    if (!visible_ || points_.Ordering() != CChartPointsArray::kByY || !VisibleIndexes(&first, &last))
        return false;
    Extremes(points_, &SChartXYPoint::X, first, last, min, max);
    return true;
}

bool CChartSerieBase<SChartXYPoint>::VisibleYRange(double* min, double* max) const {
    uint32_t first = 0;
    uint32_t last = 0;
    if (!visible_ || points_.Ordering() != CChartPointsArray::kByX || !VisibleIndexes(&first, &last))
        return false;
    Extremes(points_, &SChartXYPoint::Y, first, last, min, max);
    return true;
}

bool CChartSerieBase<SChartXYPoint>::VisibleIndexes(uint32_t* first, uint32_t* last) const {
    const uint32_t count = points_.Count();
    if (count == 0) return false;
    const CChartAxis* axis = nullptr;
    Key key = &SChartXYPoint::X;
    if (points_.Ordering() == CChartPointsArray::kByX) {
        axis = horizontalAxis_;
    } else if (points_.Ordering() == CChartPointsArray::kByY) {
        axis = verticalAxis_;
        key = &SChartXYPoint::Y;
    }
    if (axis == nullptr) {
        *first = 0;
        *last = count - 1;
        return true;
    }
    *first = Search(points_, key, 0, count - 1, axis->Min());
    *last = Search(points_, key, *first, count - 1, axis->Max());
    return true;
}

void CChartSerieBase<SChartXYPoint>::SetPointLabel(uint32_t index, std::unique_ptr<CChartPointLabel> label) {
    if (label)
        labels_[index] = std::move(label);
    else
        labels_.erase(index);
}

void CChartSerieBase<SChartXYPoint>::DrawPointLabels(platform::ui::DrawContext& dc) {
    for (auto& [index, label] : labels_)
        if (index < points_.Count()) label->Draw(dc, index);
}

bool CChartSerieBase<SChartXYPoint>::MouseEvent(int event, platform::ui::Point point) {
    if (mouseListener_ == nullptr) return false;
    if (event == 0 ? !notifyMoves_ : !notifyButtons_) return false;
    int index = -1;
    if (!HitTest(point, &index)) return false;
    mouseListener_->OnSeriesEvent(event, point.x, point.y, this, index);
    return true;
}

}  // namespace controls
