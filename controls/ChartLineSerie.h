#pragma once
// An XY series drawn as a polyline or as a smooth Bezier spline through its
// points, with an optional shadow.

#include <vector>

#include "controls/ChartXYSerie.h"

namespace controls {

class CChartLineSerie : public CChartXYSerie {
  public:
    // Pen styles by their numbers.
    enum : int { kSolid = 0, kDash = 1, kDot = 2, kDashDot = 3, kDashDotDot = 4, kNull = 5 };

    explicit CChartLineSerie(CChartCtrl* chart) : CChartXYSerie(chart) {}

    bool HitTest(platform::ui::Point point, int* index) const override;
    void DrawLegendSample(platform::ui::DrawContext& dc, const platform::ui::Rect& rect) override;
    void DrawNew(platform::ui::DrawContext& dc) override;
    void DrawAll(platform::ui::DrawContext& dc) override;

    void SetWidth(int width);
    int Width() const { return width_; }
    void SetPenStyle(int style);
    int PenStyle() const { return penStyle_; }
    void SetSmooth(bool smooth);
    bool IsSmooth() const { return smooth_; }

    // Control points of the Bezier segments through the knots, one coordinate at
    // a time: first[i] and second[i] belong to the segment from knot i to i + 1.
    static void ControlPoints(const std::vector<double>& knots, std::vector<double>& first,
                              std::vector<double>& second);
    // The pixels a smooth curve is drawn through: K0, F0, S0, K1, ..., Kn.
    std::vector<platform::ui::Point> BezierPixels() const;
    // The pixels of the polyline through the (widened) visible points, each
    // pixel once in a row; empty when there is nothing to draw.
    std::vector<platform::ui::Point> LinePixels(uint32_t* last = nullptr) const;

  private:
    bool WidenedIndexes(uint32_t* first, uint32_t* last) const;
    void SelectLinePen(platform::ui::DrawContext& dc, platform::COLORREF colour) const;

    int width_ = 1;
    int penStyle_ = kSolid;
    bool smooth_ = false;
};

}  // namespace controls
