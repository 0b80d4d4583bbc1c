#pragma once
// A cursor drawn as a line across the plotting area at one position of an
// axis; grabbed within 3 pixels and dragged along the axis.

#include "controls/ChartCursor.h"

namespace controls {

class CChartDragLineCursor : public CChartCursor {
  public:
    static constexpr int kGrab = 3;

    CChartDragLineCursor(CChartCtrl* chart, CChartAxis* axis, platform::COLORREF colour);

    bool OnMouseMove(int x, int y) override;
    bool OnButtonDown(int x, int y) override;
    bool OnButtonUp(int x, int y) override;
    void Draw(platform::ui::DrawContext& dc) override;
    void OnRangeChanged() override;
    void ReplaceAxis(const CChartAxis* old, CChartAxis* replacement) override;

    // Puts the line at the pixel of the value.
    void SetPosition(double value);
    int Position() const { return position_; }
    bool IsDragging() const { return dragging_; }
    CChartAxis* Axis() const { return axis_; }

  private:
    int Along(int x, int y) const;
    void Report();

    CChartAxis* axis_;
    bool dragging_ = false;
    int position_ = 0;
};

}  // namespace controls
