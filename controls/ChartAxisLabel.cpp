#include "controls/ChartAxisLabel.h"

namespace controls {

void CChartAxisLabel::SetHorizontal(bool horizontal) {
    horizontal_ = horizontal;
    font_.SetVertical(!horizontal);
}

platform::ui::Size CChartAxisLabel::Measure(platform::ui::DrawContext& dc) {
    if (!visible_ || text_.empty()) {
        width_ = height_ = 0;
        return {0, 0};
    }
    const platform::ui::Size text = font_.Extent(dc, text_);
    width_ = text.cx + 4;
    height_ = text.cy + 4;
    if (!horizontal_) std::swap(width_, height_);
    return {width_, height_};
}

void CChartAxisLabel::SetPosition(int x, int y) {
    rect_ = {x, y, x + width_, y + height_};
}

void CChartAxisLabel::Draw(platform::ui::DrawContext& dc) {
    if (!visible_ || text_.empty()) return;
    font_.Select(dc);
    dc.SetTextColor(colour_);
    dc.SetBkTransparent(true);
    if (horizontal_)
        font_.TextOut(dc, rect_.left, rect_.top + 2, text_);
    else
        font_.TextOut(dc, rect_.left + 2, rect_.top, text_);
    font_.Restore(dc);
}

}  // namespace controls
