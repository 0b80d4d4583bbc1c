#include "controls/ChartPointsArray.h"

#include <algorithm>
#include <cmath>

namespace controls {

namespace {

// Orders by one coordinate with points without a number (NaN) last, so that
// the order is strict whatever the data.
template <double SChartXYPoint::*Key>
bool Before(const SChartXYPoint& a, const SChartXYPoint& b) {
    const double x = a.*Key;
    const double y = b.*Key;
    if (std::isnan(x)) return false;
    if (std::isnan(y)) return true;
    return x < y;
}

}  // namespace

CChartPointsArray::CChartPointsArray() : buffer_(kInitialCapacity) {}

void CChartPointsArray::SetPoints(const SChartXYPoint* points, uint32_t count) {
    if (points == nullptr) count = 0;
    if (count > buffer_.size()) buffer_.assign(count, SChartXYPoint{});
    std::copy(points, points + count, buffer_.begin());
    count_ = count;
    Sort();
    Recompute();
}

void CChartPointsArray::AddPoint(const SChartXYPoint& point) {
    if (count_ == buffer_.size()) buffer_.resize(buffer_.size() + growth_);
    buffer_[count_++] = point;
    const bool inOrder = count_ < 2 || ordering_ == kNone ||
                         (ordering_ == kByX && !Before<&SChartXYPoint::X>(point, buffer_[count_ - 2])) ||
                         (ordering_ == kByY && !Before<&SChartXYPoint::Y>(point, buffer_[count_ - 2]));
    if (!inOrder) Sort();
    if (count_ == 1) {
        Recompute();
        return;
    }
    // Sorting moves points but not the extremes: only the new point can change them.
    if (!std::isnan(point.X)) {
        minX_ = std::min(minX_, point.X);
        maxX_ = std::max(maxX_, point.X);
    }
    if (!std::isnan(point.Y)) {
        minY_ = std::min(minY_, point.Y);
        maxY_ = std::max(maxY_, point.Y);
    }
}

void CChartPointsArray::Clear() {
    count_ = 0;
    minX_ = maxX_ = minY_ = maxY_ = 0;
}

void CChartPointsArray::SetOrdering(int ordering) {
    ordering_ = ordering;
    if (ordering == kByX || ordering == kByY) Sort();
}

void CChartPointsArray::Sort() {
    auto end = buffer_.begin() + count_;
    if (ordering_ == kByX)
        std::sort(buffer_.begin(), end, Before<&SChartXYPoint::X>);
    else if (ordering_ == kByY)
        std::sort(buffer_.begin(), end, Before<&SChartXYPoint::Y>);
}

void CChartPointsArray::Recompute() {
    minX_ = maxX_ = minY_ = maxY_ = 0;
    bool anyX = false;
    bool anyY = false;
    for (uint32_t i = 0; i < count_; ++i) {
        const SChartXYPoint& p = buffer_[i];
        // A point without a number must not hide the others' extremes.
        if (!std::isnan(p.X)) {
            if (!anyX || p.X < minX_) minX_ = p.X;
            if (!anyX || p.X > maxX_) maxX_ = p.X;
            anyX = true;
        }
        if (!std::isnan(p.Y)) {
            if (!anyY || p.Y < minY_) minY_ = p.Y;
            if (!anyY || p.Y > maxY_) maxY_ = p.Y;
            anyY = true;
        }
    }
}

}  // namespace controls
