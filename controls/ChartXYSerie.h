#pragma once
// A series of XY points; the kinds that draw it (lines) derive from it.

#include "controls/ChartSerieBase.h"

namespace controls {

class CChartXYSerie : public CChartSerieBase<SChartXYPoint> {
  public:
    explicit CChartXYSerie(CChartCtrl* chart) : CChartSerieBase<SChartXYPoint>(chart) {}
};

}  // namespace controls
