#pragma once
// A linear chart axis: ticks at 1, 2 or 5 times a power of ten, about 30
// pixels apart along a horizontal axis and 20 along a vertical one.

#include "controls/ChartAxis.h"

namespace controls {

class CChartStandardAxis : public CChartAxis {
  public:
    double PixelToValue(int pixel) const override;
    double FirstTick() const override;
    bool NextTick(double current, double* next) const override;
    int ValueToPixelDiscrete(double value) const override;
    int ValueToPixelContinuous(double value) const override;
    std::string TickLabel(double value) const override;
    void UpdateTickStep() override;
    void UpdateFirstTick() override;
    void ScrollSteps(int* steps, int* position) const override;
    void ScrollToStep(int previous, int current, bool reversed) override;
    void Pan(int fromPixel, int toPixel) override;

    double FirstTickValue() const { return firstTick_; }
    double TickIncrement() const { return increment_; }
    void SetTickIncrement(double increment) { increment_ = increment; }
    unsigned Decimals() const { return decimals_; }
    void SetDecimals(unsigned decimals) { decimals_ = decimals; }

  private:
    double firstTick_ = 0;
    double increment_ = 1;
    unsigned decimals_ = 0;
};

// Scroll figures held within what a scroll bar can take.
int SaturateSteps(double value);
// 10 to an integer power, exact for every power a double holds exactly.
double Pow10(int exponent);

}  // namespace controls
