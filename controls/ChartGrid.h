#pragma once
// The grid of one chart axis: a full line across the plotting area at every
// tick of the axis's last drawing.

#include <vector>

#include "platform/Bitmap.h"
#include "platform/ui/DrawContext.h"
#include "platform/ui/Geometry.h"

namespace controls {

class CChartGrid {
  public:
    void SetColor(platform::COLORREF colour) { colour_ = colour; }
    platform::COLORREF Color() const { return colour_; }
    void SetVisible(bool visible) { visible_ = visible; }
    bool IsVisible() const { return visible_; }
    void SetHorizontal(bool horizontal) { horizontal_ = horizontal; }
    bool IsHorizontal() const { return horizontal_; }

    void ClearTicks() { ticks_.clear(); }
    void AddTick(int pixel) { ticks_.push_back(pixel); }
    const std::vector<int>& Ticks() const { return ticks_; }

    // Vertical lines for a horizontal axis, horizontal lines for a vertical one.
    void Draw(platform::ui::DrawContext& dc, const platform::ui::Rect& plotting) const;

  private:
    platform::COLORREF colour_ = 0x808080;
    bool visible_ = true;
    std::vector<int> ticks_;
    bool horizontal_ = true;
};

}  // namespace controls
