#pragma once
// What a series of points gives the chart: the point array, ranges, the pixels
// of points, the indexes visible through the axes, point labels and mouse events.

#include <cstdint>
#include <map>
#include <memory>

#include "controls/ChartPointLabel.h"
#include "controls/ChartPointsArray.h"
#include "controls/ChartSerie.h"

namespace controls {

template <class PointType>
class CChartSerieBase;

template <>
class CChartSerieBase<SChartXYPoint> : public CChartSerie {
  public:
    explicit CChartSerieBase(CChartCtrl* chart) : CChartSerie(chart) {}

    uint32_t PointCount() const override { return points_.Count(); }
    platform::ui::Point PointPixel(uint32_t index) const override;
    bool YRange(double* min, double* max) const override;
    bool XRange(double* min, double* max) const override;
    bool VisibleXRange(double* min, double* max) const override;
    bool VisibleYRange(double* min, double* max) const override;
    bool VisibleIndexes(uint32_t* first, uint32_t* last) const override;
    void DrawPointLabels(platform::ui::DrawContext& dc) override;
    bool MouseEvent(int event, platform::ui::Point point) override;
    void SetOrdering(int ordering) override { points_.SetOrdering(ordering); }

    // The owner then calls RefreshAutoAxes.
    void SetPoints(const SChartXYPoint* points, uint32_t count) { points_.SetPoints(points, count); }
    void AddPoint(double x, double y) { points_.AddPoint({x, y, 0}); }
    const CChartPointsArray& Points() const { return points_; }
    uint32_t LastDrawnIndex() const { return lastDrawn_; }

    void SetPointLabel(uint32_t index, std::unique_ptr<CChartPointLabel> label);
    void SetMouseListener(CChartSeriesMouseListener* listener) { mouseListener_ = listener; }

  protected:
    CChartPointsArray points_;
    uint32_t lastDrawn_ = 0;
    std::map<uint32_t, std::unique_ptr<CChartPointLabel>> labels_;
    CChartSeriesMouseListener* mouseListener_ = nullptr;
};

}  // namespace controls
