#pragma once
// The title of a chart: centred lines at the top, each in the title font or
// in a font of its own.

#include <map>
#include <string>
#include <vector>

#include "controls/ChartFont.h"
#include "platform/Bitmap.h"
#include "platform/ui/DrawContext.h"
#include "platform/ui/Geometry.h"

namespace controls {

class CChartCtrl;

class CChartTitle {
  public:
    explicit CChartTitle(CChartCtrl* chart) : chart_(chart), font_("Microsoft Sans Serif", 100) {}

    void AddString(std::string line);
    void RemoveAll();
    size_t StringCount() const { return lines_.size(); }
    const std::string& String(size_t line) const { return lines_.at(line); }
    // A font for one line only.
    void SetLineFont(size_t line, const SChartFont& font);
    SChartFont& Font() { return font_; }
    void SetVisible(bool visible);
    bool IsVisible() const { return visible_; }
    void SetColor(platform::COLORREF colour);
    platform::COLORREF Color() const { return colour_; }

    // (width + 2, sum of (line height + 2) - 4); 0 x 0 when hidden or empty.
    platform::ui::Size Measure(platform::ui::DrawContext& dc);
    void SetRect(const platform::ui::Rect& rect) { rect_ = rect; }
    const platform::ui::Rect& GetRect() const { return rect_; }
    void Draw(platform::ui::DrawContext& dc);

  private:
    SChartFont& LineFont(size_t line);
    void RefreshChart();

    CChartCtrl* chart_;
    std::vector<std::string> lines_;
    std::map<size_t, SChartFont> lineFonts_;
    bool visible_ = true;
    SChartFont font_;
    platform::COLORREF colour_ = 0;
    platform::ui::Rect rect_;
};

}  // namespace controls
