#pragma once
// The text that names an axis (a unit such as "[Hz]"), written along it.

#include <string>

#include "controls/ChartFont.h"
#include "platform/Bitmap.h"
#include "platform/ui/DrawContext.h"
#include "platform/ui/Geometry.h"

namespace controls {

class CChartAxisLabel {
  public:
    CChartAxisLabel() : font_("Microsoft Sans Serif", 100) {}

    void SetText(std::string text) { text_ = std::move(text); }
    const std::string& Text() const { return text_; }
    void SetColor(platform::COLORREF colour) { colour_ = colour; }
    platform::COLORREF Color() const { return colour_; }
    void SetVisible(bool visible) { visible_ = visible; }
    bool IsVisible() const { return visible_; }
    // A vertical axis writes its label upwards.
    void SetHorizontal(bool horizontal);
    bool IsHorizontal() const { return horizontal_; }
    SChartFont& Font() { return font_; }

    // Size of the text + 4 each way (swapped for a vertical label); 0 x 0 when
    // hidden or empty. Kept as the last measured size.
    platform::ui::Size Measure(platform::ui::DrawContext& dc);
    platform::ui::Size LastSize() const { return {width_, height_}; }
    void SetPosition(int x, int y);
    const platform::ui::Rect& Rectangle() const { return rect_; }
    void Draw(platform::ui::DrawContext& dc);

  private:
    int width_ = 0;
    int height_ = 0;
    bool visible_ = true;
    platform::ui::Rect rect_;
    platform::COLORREF colour_ = 0;
    bool horizontal_ = true;
    SChartFont font_;
    std::string text_;
};

}  // namespace controls
