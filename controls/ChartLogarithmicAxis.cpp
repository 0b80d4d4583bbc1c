#include "controls/ChartLogarithmicAxis.h"

#include <cmath>
#include <cstdio>

#include "controls/ChartStandardAxis.h"

namespace controls {

namespace {

// Whole decades of a value (trunc towards zero), 0 for a value that has none.
int Decade(double value) {
    const double l = std::log10(value);
    if (!std::isfinite(l)) return 0;
    return static_cast<int>(std::trunc(std::clamp(l, -400.0, 400.0)));
}

}  // namespace

double CChartLogarithmicAxis::PixelToValue(int pixel) const {
    if (max_ == min_ || Length() == 0) return min_;
    const double lmin = std::log10(min_);
    return std::pow(10.0, PixelDistance(pixel) / Length() * (std::log10(max_) - lmin) + lmin);
}

double CChartLogarithmicAxis::FirstTick() const {
    return firstTick_;
}

bool CChartLogarithmicAxis::NextTick(double current, double* next) const {
    if (!(current > 0) || !std::isfinite(current)) return false;
    const double b = Pow10(Decade(current));
    const int k = static_cast<int>(std::trunc(std::clamp(current / b + 0.1, 0.0, 100.0)));
    double value = 0;
    if (k == 5)
        value = 7 * b;
    else if (k == 7)
        value = 10 * b;
    else
        value = (k + 1) * b;
    if (!(value > current) || value > max_) return false;
    *next = value;
    return true;
}

int CChartLogarithmicAxis::ValueToPixelContinuous(double value) const {
    const double lmin = std::log10(min_);
    return OffsetPixel(std::floor(Length() * (std::log10(value) - lmin) / (std::log10(max_) - lmin)));
}

int CChartLogarithmicAxis::ValueToPixelDiscrete(double value) const {
    const double l = std::log10(value);
    if (!std::isfinite(l)) return ValueToPixelContinuous(value);
    const int low = ValueToPixelContinuous(std::pow(10.0, std::floor(l)));
    const int high = ValueToPixelContinuous(std::pow(10.0, std::floor(std::log10(value * 10))));
    return low + (high - low) / 2;
}

std::string CChartLogarithmicAxis::TickLabel(double value) const {
    const double l = std::log10(value);
    int decimals = 0;
    if (l < 0) decimals = static_cast<int>(std::trunc(std::min(std::fabs(l) + 0.1, 300.0)));
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

void CChartLogarithmicAxis::UpdateFirstTick() {
    // Without a positive minimum there is no decade to start from.
    firstTick_ = min_ > 0 ? Pow10(Decade(min_)) : 0;
}

void CChartLogarithmicAxis::ScrollSteps(int* steps, int* position) const {
    *steps = 1;
    *position = 1;
    double lo = 0;
    double hi = 0;
    if (!SeriesRange(false, &lo, &hi)) lo = hi = 0;
    if (!(lo > 0) || !(min_ > 0) || !(max_ > 0) || max_ == min_ || hi == lo) return;
    const double logRatio = std::log10(std::pow(max_ / min_, 0.1));
    if (logRatio == 0 || !std::isfinite(logRatio)) return;
    *steps = SaturateSteps(std::ceil(std::log10(hi / lo) / logRatio));
    *position = SaturateSteps(std::trunc(std::log10(min_ / lo) / logRatio));
}

void CChartLogarithmicAxis::ScrollToStep(int previous, int current, bool reversed) {
    const double factor = std::pow(std::pow(max_ / min_, 0.1), current - previous);
    if (reversed)
        SetZoomRange(min_ / factor, max_ / factor);
    else
        SetZoomRange(min_ * factor, max_ * factor);
    AfterScroll();
}

void CChartLogarithmicAxis::Pan(int fromPixel, int toPixel) {
    const double factor = PixelToValue(fromPixel) / PixelToValue(toPixel);
    SetZoomRange(min_ * factor, max_ * factor);
}

}  // namespace controls
