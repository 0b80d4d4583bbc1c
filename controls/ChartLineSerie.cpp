#include "controls/ChartLineSerie.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "controls/ChartAxis.h"
#include "controls/ChartCtrl.h"

using platform::ui::Point;
using platform::ui::Rect;

namespace controls {

namespace {

platform::ui::PenStyle ToPenStyle(int style) {
    switch (style) {
        case CChartLineSerie::kDash:
            return platform::ui::PenStyle::Dash;
        case CChartLineSerie::kDot:
            return platform::ui::PenStyle::Dot;
        case CChartLineSerie::kDashDot:
        case CChartLineSerie::kDashDotDot:
            return platform::ui::PenStyle::DashDot;
        case CChartLineSerie::kNull:
            return platform::ui::PenStyle::Null;
        default:
            return platform::ui::PenStyle::Solid;
    }
}

std::vector<Point> Offset(const std::vector<Point>& points, int depth) {
    std::vector<Point> out;
    out.reserve(points.size());
    for (const Point& p : points) out.push_back({p.x + depth, p.y + depth});
    return out;
}

}  // namespace

void CChartLineSerie::SetWidth(int width) {
    width_ = width;
    RefreshChart();
}

void CChartLineSerie::SetPenStyle(int style) {
    penStyle_ = style;
    RefreshChart();
}

void CChartLineSerie::SetSmooth(bool smooth) {
    smooth_ = smooth;
    RefreshChart();
}

void CChartLineSerie::SelectLinePen(platform::ui::DrawContext& dc, platform::COLORREF colour) const {
    dc.SetPen(colour, std::max(width_, 1), ToPenStyle(penStyle_));
}

bool CChartLineSerie::WidenedIndexes(uint32_t* first, uint32_t* last) const {
    if (!VisibleIndexes(first, last)) return false;
    if (*first > 0) --*first;
    if (*last + 1 < points_.Count()) ++*last;
    return true;
}

void CChartLineSerie::ControlPoints(const std::vector<double>& k, std::vector<double>& first,
                                    std::vector<double>& second) {
    first.clear();
    second.clear();
    if (k.size() < 2) return;
    const size_t n = k.size() - 1;
    first.resize(n);
    second.resize(n);
    if (n == 1) {
        // One segment: the thirds of the straight line, so that two points
        // give the segment between them.
        first[0] = (2 * k[0] + k[1]) / 3;
        second[0] = (k[0] + 2 * k[1]) / 3;
        return;
    }
    std::vector<double> b(n);
    b[0] = k[0] + 2 * k[1];
    for (size_t i = 1; i + 1 < n; ++i) b[i] = 4 * k[i] + 2 * k[i + 1];
    b[n - 1] = 3 * k[n - 1];

    std::vector<double> t(n);
    first[0] = b[0] / 2;
    double d = 2;
    for (size_t i = 1; i < n; ++i) {
        t[i] = 1 / d;
        d = (i < n - 1 ? 4.0 : 2.0) - t[i];
        first[i] = (b[i] - first[i - 1]) / d;
    }
    for (size_t i = n - 1; i-- > 0;) first[i] -= t[i + 1] * first[i + 1];

    for (size_t i = 0; i + 1 < n; ++i) second[i] = 2 * k[i + 1] - first[i + 1];
    second[n - 1] = (k[n] + first[n - 1]) / 2;
}

std::vector<Point> CChartLineSerie::BezierPixels() const {
    const uint32_t count = points_.Count();
    std::vector<Point> out;
    if (count < 2) return out;
    std::vector<double> kx(count);
    std::vector<double> ky(count);
    for (uint32_t i = 0; i < count; ++i) {
        const Point p = PointPixel(i);
        kx[i] = p.x;
        ky[i] = p.y;
    }
    std::vector<double> fx, sx, fy, sy;
    ControlPoints(kx, fx, sx);
    ControlPoints(ky, fy, sy);
    out.reserve(3 * (count - 1) + 1);
    for (uint32_t i = 0; i + 1 < count; ++i) {
        out.push_back({static_cast<int>(kx[i]), static_cast<int>(ky[i])});
        out.push_back({static_cast<int>(fx[i]), static_cast<int>(fy[i])});
        out.push_back({static_cast<int>(sx[i]), static_cast<int>(sy[i])});
    }
    out.push_back({static_cast<int>(kx[count - 1]), static_cast<int>(ky[count - 1])});
    return out;
}

std::vector<Point> CChartLineSerie::LinePixels(uint32_t* lastIndex) const {
    std::vector<Point> pixels;
    uint32_t first = 0;
    uint32_t last = 0;
    if (!WidenedIndexes(&first, &last) || first == last) return pixels;
    pixels.reserve(std::min<size_t>(last - first + 1, 65536));
    const auto keep = [&pixels](Point p) {
        if (pixels.empty() || !(p == pixels.back())) pixels.push_back(p);
    };
    // Points that follow each other in one pixel column cover just the span
    // between the lowest and the highest of them: the first, that span's two
    // ends (in the order the line reaches them) and the last draw the same
    // pixels as all of them.
    Point runFirst = PointPixel(first);
    Point runLast = runFirst;
    Point low = runFirst;
    Point high = runFirst;
    uint32_t lowAt = first;
    uint32_t highAt = first;
    const auto flush = [&] {
        keep(runFirst);
        keep(lowAt <= highAt ? low : high);
        keep(lowAt <= highAt ? high : low);
        keep(runLast);
    };
    for (uint32_t i = first + 1; i <= last; ++i) {
        const Point p = PointPixel(i);
        if (p.x != runFirst.x) {
            flush();
            runFirst = runLast = low = high = p;
            lowAt = highAt = i;
            continue;
        }
        runLast = p;
        if (p.y < low.y) {
            low = p;
            lowAt = i;
        }
        if (p.y > high.y) {
            high = p;
            highAt = i;
        }
    }
    flush();
    if (lastIndex != nullptr) *lastIndex = last;
    return pixels;
}

void CChartLineSerie::DrawAll(platform::ui::DrawContext& dc) {
    if (!visible_) return;
    uint32_t first = 0;
    uint32_t last = 0;
    if (!WidenedIndexes(&first, &last) || first == last) return;
    dc.SetBkTransparent(true);
    dc.SetClip(clip_);
    if (!smooth_) {
        uint32_t drawnTo = last;
        const std::vector<Point> line = LinePixels(&drawnTo);
        if (shadow_) {
            SelectLinePen(dc, shadowColour_);
            dc.Polyline(Offset(line, shadowDepth_));
        }
        SelectLinePen(dc, colour_);
        dc.Polyline(line);
        lastDrawn_ = drawnTo;
    } else {
        const std::vector<Point> curve = BezierPixels();
        if (shadow_) {
            SelectLinePen(dc, shadowColour_);
            dc.PolyBezier(Offset(curve, shadowDepth_));
        }
        SelectLinePen(dc, colour_);
        dc.PolyBezier(curve);
    }
    dc.ResetClip();
}

void CChartLineSerie::DrawNew(platform::ui::DrawContext& dc) {
    if (!visible_) return;
    if (smooth_ || shadow_) {
        DrawAll(dc);
        return;
    }
    const uint32_t count = points_.Count();
    if (count < 2) return;
    if (lastDrawn_ + 1 >= count) return;
    SelectLinePen(dc, colour_);
    if (chart_ != nullptr) dc.SetClip(chart_->PlottingRect());
    for (uint32_t i = lastDrawn_; i + 1 < count; ++i) {
        const Point a = PointPixel(i);
        const Point b = PointPixel(i + 1);
        dc.Line(a.x, a.y, b.x, b.y);
    }
    lastDrawn_ = count - 1;
    if (chart_ != nullptr) dc.ResetClip();
}

void CChartLineSerie::DrawLegendSample(platform::ui::DrawContext& dc, const Rect& rect) {
    if (name_.empty()) return;
    SelectLinePen(dc, colour_);
    const int y = (rect.top + rect.bottom) / 2;
    dc.Line(rect.left, y, rect.right, y);
}

bool CChartLineSerie::HitTest(Point point, int* index) const {
    *index = -1;
    uint32_t first = 0;
    uint32_t last = 0;
    if (!visible_ || !WidenedIndexes(&first, &last)) return false;
    for (uint32_t i = first; i < last; ++i) {
        const Point p1 = PointPixel(i);
        const Point p2 = PointPixel(i + 1);
        const double dx = static_cast<double>(p2.x) - p1.x;
        const double dy = static_cast<double>(p2.y) - p1.y;
        const double length2 = dx * dx + dy * dy;
        if (length2 == 0) continue;
        const double t =
            ((point.x - static_cast<double>(p1.x)) * dx + (point.y - static_cast<double>(p1.y)) * dy) /
            length2;
        if (t < 0 || t > 1) continue;
        const double px = p1.x + t * dx;
        const double py = p1.y + t * dy;
        if (std::fabs(px - point.x) > 3 || std::fabs(py - point.y) > 3) continue;
        if (std::abs(point.x - p1.x) <= 5 && std::abs(point.y - p1.y) <= 5) *index = static_cast<int>(i);
        if (std::abs(point.x - p2.x) <= 5 && std::abs(point.y - p2.y) <= 5) *index = static_cast<int>(i + 1);
        return true;
    }
    return false;
}

}  // namespace controls
