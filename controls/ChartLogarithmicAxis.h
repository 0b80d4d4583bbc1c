#pragma once
// A base-10 logarithmic chart axis: each decade shows 1, 2, 3, 4, 5, 7 and 10
// times its power of ten.

#include "controls/ChartAxis.h"

namespace controls {

class CChartLogarithmicAxis : public CChartAxis {
  public:
    double PixelToValue(int pixel) const override;
    double FirstTick() const override;
    bool NextTick(double current, double* next) const override;
    int ValueToPixelDiscrete(double value) const override;
    int ValueToPixelContinuous(double value) const override;
    std::string TickLabel(double value) const override;
    void UpdateTickStep() override {}
    void UpdateFirstTick() override;
    void ScrollSteps(int* steps, int* position) const override;
    void ScrollToStep(int previous, int current, bool reversed) override;
    void Pan(int fromPixel, int toPixel) override;

    double FirstTickValue() const { return firstTick_; }

  private:
    double firstTick_ = 1;
};

}  // namespace controls
