#pragma once
// A series of the chart: what every kind of series gives the chart and its
// axes (ranges, pixels, hit tests, drawing, mouse events).

#include <cstdint>
#include <string>

#include "platform/Bitmap.h"
#include "platform/ui/DrawContext.h"
#include "platform/ui/Geometry.h"

namespace controls {

class CChartAxis;
class CChartCtrl;
class CChartSerie;

class CChartSeriesMouseListener {
  public:
    virtual ~CChartSeriesMouseListener() = default;
    virtual void OnSeriesEvent(int event, int x, int y, CChartSerie* serie, int pointIndex) = 0;
};

class CChartSerie {
  public:
    explicit CChartSerie(CChartCtrl* chart);
    virtual ~CChartSerie();
    CChartSerie(const CChartSerie&) = delete;
    CChartSerie& operator=(const CChartSerie&) = delete;

    virtual uint32_t PointCount() const = 0;
    virtual platform::ui::Point PointPixel(uint32_t index) const = 0;
    virtual bool YRange(double* min, double* max) const = 0;
    virtual bool XRange(double* min, double* max) const = 0;
    virtual bool VisibleXRange(double* min, double* max) const = 0;
    virtual bool VisibleYRange(double* min, double* max) const = 0;
    virtual bool HitTest(platform::ui::Point point, int* index) const = 0;
    virtual bool VisibleIndexes(uint32_t* first, uint32_t* last) const = 0;
    virtual void DrawLegendSample(platform::ui::DrawContext& dc, const platform::ui::Rect& rect) = 0;
    virtual void DrawNew(platform::ui::DrawContext& dc) = 0;
    virtual void DrawAll(platform::ui::DrawContext& dc) = 0;
    virtual void DrawPointLabels(platform::ui::DrawContext& dc) = 0;
    virtual bool MouseEvent(int event, platform::ui::Point point) = 0;
    virtual void SetOrdering(int ordering) = 0;

    uint32_t Id() const { return id_; }
    CChartCtrl* Chart() const { return chart_; }
    // Done by the chart when it attaches the series, or when it replaces an axis.
    void SetVerticalAxis(CChartAxis* axis) { verticalAxis_ = axis; }
    void SetHorizontalAxis(CChartAxis* axis) { horizontalAxis_ = axis; }
    CChartAxis* VerticalAxis() const { return verticalAxis_; }
    CChartAxis* HorizontalAxis() const { return horizontalAxis_; }

    // Setters that change the picture refresh the chart.
    void SetName(std::string name);
    const std::string& Name() const { return name_; }
    void SetVisible(bool visible);
    bool IsVisible() const { return visible_; }
    void SetColor(platform::COLORREF colour);
    platform::COLORREF Color() const { return colour_; }
    void SetShadowColor(platform::COLORREF colour);
    platform::COLORREF ShadowColor() const { return shadowColour_; }
    void EnableShadow(bool shadow);
    bool HasShadow() const { return shadow_; }
    void SetShadowDepth(int depth);
    int ShadowDepth() const { return shadowDepth_; }
    void SetClipRect(const platform::ui::Rect& rect) { clip_ = rect; }
    const platform::ui::Rect& ClipRect() const { return clip_; }
    void NotifyMouseClicks(bool notify) { notifyButtons_ = notify; }
    void NotifyMouseMoves(bool notify) { notifyMoves_ = notify; }

    // With the chart's refresh held: both axes fit their automatic range, then one refresh.
    void RefreshAutoAxes();

  protected:
    void RefreshChart();

    CChartCtrl* chart_;
    CChartAxis* verticalAxis_ = nullptr;
    CChartAxis* horizontalAxis_ = nullptr;
    std::string name_;
    bool visible_ = true;
    bool shadow_ = false;
    platform::COLORREF colour_ = 0;
    platform::COLORREF shadowColour_ = 0x969696;
    int shadowDepth_ = 2;
    platform::ui::Rect clip_;
    uint32_t id_;
    bool notifyButtons_ = true;
    bool notifyMoves_ = false;
};

}  // namespace controls
