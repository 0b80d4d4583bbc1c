#pragma once
// Told about mouse events over the parts of a chart.

#include "platform/ui/Geometry.h"

namespace controls {

class CChartAxis;

// Mouse event codes given to listeners and series.
enum ChartMouseEvent : int {
    kChartMouseMove = 0,
    kChartLButtonUp = 1,
    kChartLButtonDown = 2,
    kChartLButtonDblClk = 3,
    kChartRButtonUp = 4,
    kChartRButtonDown = 5,
    kChartRButtonDblClk = 6,
};

class CChartMouseListener {
  public:
    virtual ~CChartMouseListener() = default;
    virtual void OnMouseEventTitle(int event, platform::ui::Point point) = 0;
    virtual void OnMouseEventAxis(int event, platform::ui::Point point, CChartAxis* axis) = 0;
    virtual void OnMouseEventLegend(int event, platform::ui::Point point) = 0;
    virtual void OnMouseEventPlotArea(int event, platform::ui::Point point) = 0;
};

}  // namespace controls
