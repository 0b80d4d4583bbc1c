#include "controls/ChartDragLineCursor.h"

#include <cstdlib>

#include "controls/ChartAxis.h"
#include "controls/ChartCtrl.h"

namespace controls {

CChartDragLineCursor::CChartDragLineCursor(CChartCtrl* chart, CChartAxis* axis, platform::COLORREF colour)
    : CChartCursor(chart, colour), axis_(axis) {}

int CChartDragLineCursor::Along(int x, int y) const {
    return axis_ != nullptr && axis_->IsHorizontal() ? x : y;
}

bool CChartDragLineCursor::OnButtonDown(int x, int y) {
    if (axis_ == nullptr) return false;
    dragging_ = std::abs(Along(x, y) - position_) <= kGrab;
    return dragging_;
}

bool CChartDragLineCursor::OnMouseMove(int x, int y) {
    if (!dragging_ || axis_ == nullptr) return false;
    position_ = Along(x, y);
    Report();
    return true;
}

bool CChartDragLineCursor::OnButtonUp(int, int) {
    const bool was = dragging_;
    dragging_ = false;
    return was;
}

void CChartDragLineCursor::Report() {
    const double value = axis_->PixelToValue(position_);
    if (axis_->IsHorizontal())
        Notify(value, 0);
    else
        Notify(0, value);
}

void CChartDragLineCursor::OnRangeChanged() {
    if (axis_ != nullptr) Report();
}

void CChartDragLineCursor::ReplaceAxis(const CChartAxis* old, CChartAxis* replacement) {
    if (axis_ == old) axis_ = replacement;
}

void CChartDragLineCursor::SetPosition(double value) {
    if (axis_ != nullptr) position_ = axis_->ValueToPixel(value);
}

void CChartDragLineCursor::Draw(platform::ui::DrawContext& dc) {
    if (axis_ == nullptr || chart_ == nullptr) return;
    const platform::ui::Rect& p = chart_->PlottingRect();
    dc.SetPen(colour_, 1);
    if (axis_->IsHorizontal())
        dc.Line(position_, p.top, position_, p.bottom);
    else
        dc.Line(p.left, position_, p.right, position_);
}

}  // namespace controls
