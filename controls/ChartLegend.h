#pragma once
// The legend of a chart: a sample line and the name of every visible, named
// series, docked to a side of the chart or at a position of its own.

#include <string>

#include "platform/Bitmap.h"
#include "platform/ui/DrawContext.h"
#include "platform/ui/Geometry.h"

namespace controls {

class CChartCtrl;

class CChartLegend {
  public:
    enum Dock : int { kDockRight = 0, kDockLeft = 1, kDockTop = 2, kDockBottom = 3 };

    explicit CChartLegend(CChartCtrl* chart) : chart_(chart) {}

    void SetVisible(bool visible);
    bool IsVisible() const { return visible_; }
    void DockLegend(int side);
    void UndockLegend(int left, int top);
    bool IsDocked() const { return docked_; }
    int DockSide() const { return dockSide_; }
    void SetFont(std::string face, int size);
    void SetHorizontalMode(bool horizontal);
    void SetTransparent(bool transparent);
    void SetShadow(bool shadow, int depth);
    void SetBackgroundColor(platform::COLORREF colour);
    void SetShadowColor(platform::COLORREF colour);
    void SetSampleSize(int width, int height);

    // Places the legend against the drawing rectangle; empty when nothing is listed.
    const platform::ui::Rect& ComputeRect(platform::ui::DrawContext& dc, const platform::ui::Rect& drawing);
    const platform::ui::Rect& GetRect() const { return rect_; }
    void Draw(platform::ui::DrawContext& dc);

  private:
    platform::ui::Size Measure(platform::ui::DrawContext& dc);
    void SelectFont(platform::ui::DrawContext& dc) const;
    void RefreshChart();

    CChartCtrl* chart_;
    platform::ui::Rect rect_;
    std::string face_ = "Times New Roman";
    int size_ = 100;
    bool docked_ = true;
    int dockSide_ = kDockRight;
    int left_ = 0;
    int top_ = 0;
    bool visible_ = false;
    bool transparent_ = false;
    bool horizontal_ = false;
    bool shadow_ = true;
    int shadowDepth_ = 3;
    platform::COLORREF background_ = 0xFFFFFF;
    platform::COLORREF shadowColour_ = 0x808080;
    int sampleWidth_ = 16;
    int sampleHeight_ = 16;
};

}  // namespace controls
