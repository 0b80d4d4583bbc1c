#include "controls/ChartGrid.h"

namespace controls {

void CChartGrid::Draw(platform::ui::DrawContext& dc, const platform::ui::Rect& plotting) const {
    if (!visible_) return;
    dc.SetClip(plotting);
    dc.SetPen(colour_, 1);
    for (int pixel : ticks_) {
        if (horizontal_)
            dc.Line(pixel, plotting.bottom, pixel, plotting.top);
        else
            dc.Line(plotting.left, pixel, plotting.right, pixel);
    }
    dc.ResetClip();
}

}  // namespace controls
