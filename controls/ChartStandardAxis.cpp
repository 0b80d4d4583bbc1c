#include "controls/ChartStandardAxis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace controls {

int SaturateSteps(double value) {
    constexpr double kLimit = 100000000.0;
    if (std::isnan(value)) return 1;
    return static_cast<int>(std::clamp(value, -kLimit, kLimit));
}

double Pow10(int exponent) {
    double result = 1;
    if (exponent >= 0) {
        for (int i = 0; i < exponent && std::isfinite(result); ++i) result *= 10;
    } else {
        // Dividing once by an exact power keeps 0.1, 0.01... the nearest doubles.
        double divisor = 1;
        for (int i = 0; i < -exponent && std::isfinite(divisor); ++i) divisor *= 10;
        result = 1 / divisor;
    }
    return result;
}

double CChartStandardAxis::PixelToValue(int pixel) const {
    if (max_ == min_ || Length() == 0) return min_;
    return PixelDistance(pixel) / Length() * (max_ - min_) + min_;
}

double CChartStandardAxis::FirstTick() const {
    return discrete_ ? firstTick_ - increment_ : firstTick_;
}

bool CChartStandardAxis::NextTick(double current, double* next) const {
    if (increment_ == 0) return false;
    const double value = current + increment_;
    // A step lost below the values' precision would never reach the end.
    if (!(value > current) || value > max_) return false;
    *next = value;
    return true;
}

int CChartStandardAxis::ValueToPixelContinuous(double value) const {
    return OffsetPixel(std::floor(Length() * (value - min_) / (max_ - min_)));
}

int CChartStandardAxis::ValueToPixelDiscrete(double value) const {
    if (increment_ == 0) return ValueToPixelContinuous(value);
    const double nudged = value + (value < 0 ? -1e-10 : 1e-10);
    return ValueToPixelContinuous(std::trunc(nudged / increment_) * increment_ + increment_ * 0.5);
}

std::string CChartStandardAxis::TickLabel(double value) const {
    char buffer[64];
    const int n = std::snprintf(buffer, sizeof buffer, "%.*f", static_cast<int>(decimals_), value);
    if (n >= 0 && static_cast<size_t>(n) < sizeof buffer) return buffer;
    std::string text(static_cast<size_t>(n > 0 ? n : 0) + 1, '\0');
    std::snprintf(text.data(), text.size(), "%.*f", static_cast<int>(decimals_), value);
    text.pop_back();
    return text;
}

void CChartStandardAxis::UpdateTickStep() {
    if (!autoTicks_) return;
    if (max_ == min_) {
        increment_ = 0;
        return;
    }
    const int spacing = horizontal_ ? 30 : 20;
    const int n = std::abs((end_ - start_) / spacing);
    // Too short for even one tick gap: the increment stays what it was.
    if (n == 0) return;
    const double ideal = (max_ - min_) / n;
    if (!std::isfinite(ideal) || ideal <= 0) return;
    const int e = static_cast<int>(std::floor(std::log10(ideal)));
    const double base = Pow10(e);
    unsigned decimals = e < 0 ? static_cast<unsigned>(-e) : 0;
    if (base >= ideal) {
        increment_ = base;
    } else if (2 * base >= ideal) {
        increment_ = 2 * base;
    } else if (5 * base >= ideal) {
        increment_ = 5 * base;
    } else {
        increment_ = 10 * base;
        if (decimals > 0) --decimals;
    }
    decimals_ = decimals;
}

void CChartStandardAxis::UpdateFirstTick() {
    if (increment_ == 0) {
        firstTick_ = min_;
        return;
    }
    if (min_ == 0) {
        firstTick_ = 0;
        return;
    }
    double tick = std::trunc(min_ / increment_) * increment_;
    for (int i = 0; tick < min_ && i < 4; ++i) tick += increment_;
    firstTick_ = tick;
}

void CChartStandardAxis::ScrollSteps(int* steps, int* position) const {
    double lo = 0;
    double hi = 0;
    if (!SeriesRange(false, &lo, &hi)) lo = hi = 0;
    const double span = max_ - min_;
    const double seriesSpan = hi - lo;
    if (span != 0 && seriesSpan != 0) {
        const double step = span / 10;
        const double n = std::ceil(seriesSpan / step);
        *steps = SaturateSteps(n);
        *position = SaturateSteps(std::trunc((min_ - lo) / seriesSpan * n));
    } else {
        *steps = 1;
        *position = 1;
    }
}

void CChartStandardAxis::ScrollToStep(int previous, int current, bool reversed) {
    const double shift = (max_ - min_) / 10 * (current - previous);
    if (reversed)
        SetZoomRange(min_ - shift, max_ - shift);
    else
        SetZoomRange(min_ + shift, max_ + shift);
    AfterScroll();
}

void CChartStandardAxis::Pan(int fromPixel, int toPixel) {
    const double shift = PixelToValue(fromPixel) - PixelToValue(toPixel);
    SetZoomRange(min_ + shift, max_ + shift);
}

}  // namespace controls
