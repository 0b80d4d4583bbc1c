#include "controls/ChartTitle.h"

#include <algorithm>

#include "controls/ChartCtrl.h"

using platform::ui::Size;

namespace controls {

void CChartTitle::AddString(std::string line) {
    lines_.push_back(std::move(line));
    RefreshChart();
}

void CChartTitle::RemoveAll() {
    lines_.clear();
    lineFonts_.clear();
    RefreshChart();
}

void CChartTitle::SetLineFont(size_t line, const SChartFont& font) {
    lineFonts_.insert_or_assign(line, font);
    RefreshChart();
}

void CChartTitle::SetVisible(bool visible) {
    visible_ = visible;
    RefreshChart();
}

void CChartTitle::SetColor(platform::COLORREF colour) {
    colour_ = colour;
    RefreshChart();
}

SChartFont& CChartTitle::LineFont(size_t line) {
    auto it = lineFonts_.find(line);
    return it != lineFonts_.end() ? it->second : font_;
}

Size CChartTitle::Measure(platform::ui::DrawContext& dc) {
    if (!visible_ || lines_.empty()) return {0, 0};
    int width = 0;
    int height = 0;
    for (size_t i = 0; i < lines_.size(); ++i) {
        const Size size = LineFont(i).Extent(dc, lines_[i]);
        height += size.cy + 2;
        width = std::max(width, size.cx);
    }
    return {width + 2, height - 4};
}

void CChartTitle::Draw(platform::ui::DrawContext& dc) {
    if (!visible_ || lines_.empty()) return;
    dc.SetTextColor(colour_);
    dc.SetBkTransparent(true);
    int y = rect_.top + 4;
    for (size_t i = 0; i < lines_.size(); ++i) {
        SChartFont& font = LineFont(i);
        font.Select(dc);
        const Size size = dc.TextExtent(lines_[i]);
        font.TextOut(dc, rect_.left + rect_.Width() / 2 - size.cx / 2, y, lines_[i]);
        font.Restore(dc);
        y += size.cy + 2;
    }
}

void CChartTitle::RefreshChart() {
    if (chart_ != nullptr) chart_->RefreshCtrl();
}

}  // namespace controls
