#pragma once
// One axis of the chart: maps values to pixels along a side of the plotting
// area, chooses and labels its ticks, draws its grid and label, fits its range
// to its series, zooms, pans and scrolls. The mapping and tick rules need no
// window; only measuring and drawing take a drawing context.

#include <memory>
#include <string>
#include <vector>

#include "controls/ChartAxisLabel.h"
#include "controls/ChartGrid.h"
#include "controls/ChartScrollBar.h"
#include "platform/Bitmap.h"
#include "platform/ui/DrawContext.h"
#include "platform/ui/Geometry.h"

namespace controls {

class CChartCtrl;
class CChartSerie;

class CChartAxis {
  public:
    // Automatic range modes.
    enum : int { kFixed = 0, kFitAll = 1, kFitVisible = 2 };
    // Pixels further than this from the axis are held there: far values
    // still draw in the right direction and never overflow.
    static constexpr double kPixelLimit = 4194304.0;

    CChartAxis();
    virtual ~CChartAxis();
    CChartAxis(const CChartAxis&) = delete;
    CChartAxis& operator=(const CChartAxis&) = delete;

    virtual void SetDiscrete(bool discrete);
    virtual double PixelToValue(int pixel) const = 0;
    virtual double FirstTick() const = 0;
    virtual bool NextTick(double current, double* next) const = 0;
    // The rule every caller uses: middle of the axis for an empty range,
    // else the discrete or the continuous mapping.
    virtual int ValueToPixel(double value) const;
    virtual int ValueToPixelDiscrete(double value) const = 0;
    virtual int ValueToPixelContinuous(double value) const = 0;
    virtual std::string TickLabel(double value) const = 0;
    virtual void UpdateTickStep() = 0;
    virtual void UpdateFirstTick() = 0;
    virtual void ScrollSteps(int* steps, int* position) const = 0;
    virtual void ScrollToStep(int previous, int current, bool reversed) = 0;
    virtual void Pan(int fromPixel, int toPixel) = 0;
    virtual void SetZoomRange(double min, double max);

    // Done by the chart when it attaches the axis.
    void Attach(CChartCtrl* chart, bool horizontal, bool secondary);
    CChartCtrl* Chart() const { return chart_; }

    void SetMinMax(double min, double max);
    double Min() const { return min_; }
    double Max() const { return max_; }
    double SavedMin() const { return savedMin_; }
    double SavedMax() const { return savedMax_; }
    // Back to the range last set by the owner or by the automatic range.
    void RestoreSavedRange();

    // Sets the fixed range mode (the owner's ranges hold).
    void SetAutomatic();
    void SetAutomaticMode(int mode);
    int AutomaticMode() const { return autoMode_; }
    void SetAutoTicks() { autoTicks_ = true; }
    void SetAutoTicks(bool on) { autoTicks_ = on; }
    bool AutoTicks() const { return autoTicks_; }
    bool IsDiscrete() const { return discrete_; }
    void SetInverted(bool inverted);
    bool IsInverted() const { return inverted_; }
    void SetVisible(bool visible);
    bool IsVisible() const { return visible_; }
    bool IsHorizontal() const { return horizontal_; }
    bool IsSecondary() const { return secondary_; }
    void SetZoomEnabled(bool enabled) { zoomEnabled_ = enabled; }
    bool ZoomEnabled() const { return zoomEnabled_; }
    void SetZoomLimit(double limit) { zoomLimit_ = limit; }
    double ZoomLimit() const { return zoomLimit_; }
    void SetMargin(bool automatic, int margin);
    int Margin() const { return margin_; }

    void SetTickFont(std::string face, int size);
    void SetTextColor(platform::COLORREF colour) { textColour_ = colour; }
    platform::COLORREF TextColor() const { return textColour_; }
    void SetAxisColor(platform::COLORREF colour) { axisColour_ = colour; }
    platform::COLORREF AxisColor() const { return axisColour_; }
    CChartGrid& Grid() { return grid_; }
    const CChartGrid& Grid() const { return grid_; }
    CChartAxisLabel& Label() { return label_; }
    CChartScrollBar& ScrollBar() { return *scrollBar_; }

    void AddSeries(CChartSerie* serie);
    void RemoveSeries(CChartSerie* serie);
    const std::vector<CChartSerie*>& Series() const { return series_; }
    void UpdateAutoRange();

    // Pixels along the axis: left to right, or bottom to top.
    void SetAxisSize(int start, int end);
    int StartPixel() const { return start_; }
    int EndPixel() const { return end_; }
    // Placement against the plotting rectangle P and the drawing rectangle D.
    void Place(const platform::ui::Rect& plotting, const platform::ui::Rect& drawing);
    const platform::ui::Rect& AxisRect() const { return axisRect_; }
    // Shrinks the plotting rectangle by the room the axis needs inside D.
    void ReserveMargin(platform::ui::DrawContext& dc, const platform::ui::Rect& drawing,
                       platform::ui::Rect& plotting);
    void Draw(platform::ui::DrawContext& dc, const platform::ui::Rect& plotting);

    // The values of every tick that is drawn (a single one for an empty range).
    std::vector<double> Ticks() const;

    void UpdateScrollBar();
    void PlaceScrollBar(const platform::ui::Rect& plotting);

  protected:
    // Distance of a pixel from the axis's origin (where the minimum is).
    double PixelDistance(int pixel) const;
    double Length() const;
    // start/end plus an offset towards the maximum; the offset is already floored.
    int OffsetPixel(double offset) const;
    // The smallest and largest value of the registered series along this axis
    // (all points, or only those visible along the other axis); false when none.
    bool SeriesRange(bool visibleOnly, double* min, double* max) const;
    // After a scroll: every axis of the chart updates its bar, and fits its range
    // when it follows the visible points.
    void AfterScroll();
    void RefreshChart();

    CChartCtrl* chart_ = nullptr;
    bool horizontal_ = true;
    bool inverted_ = false;
    int autoMode_ = kFixed;
    bool visible_ = true;
    bool secondary_ = false;
    double max_ = 0;
    double min_ = 0;
    double savedMin_ = 0;
    double savedMax_ = 0;
    bool autoTicks_ = true;
    bool discrete_ = false;
    int start_ = 0;
    int end_ = 0;
    platform::ui::Rect axisRect_;
    int tickFontSize_ = 80;
    std::string tickFontFace_ = "Microsoft Sans Serif";
    platform::COLORREF textColour_ = 0;
    platform::COLORREF axisColour_ = 0;
    CChartGrid grid_;
    CChartAxisLabel label_;
    std::vector<CChartSerie*> series_;
    bool autoMargin_ = true;
    int margin_ = 0;
    bool zoomEnabled_ = true;
    double zoomLimit_ = 0.001;
    std::unique_ptr<CChartScrollBar> scrollBar_;  // its window comes with Attach
};

}  // namespace controls
