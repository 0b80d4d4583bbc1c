#pragma once
// The points of an XY chart series: a buffer that grows in steps, kept sorted
// by X (or by Y, or not at all), with the extremes of both coordinates.

#include <cstdint>
#include <vector>

namespace controls {

struct SChartXYPoint {
    double X = 0;
    double Y = 0;
    double Z = 0;  // carried with the point; the chart never reads it
};

class CChartPointsArray {
  public:
    enum Ordering : int { kNone = 0, kByX = 1, kByY = 2 };
    static constexpr uint32_t kInitialCapacity = 1000;
    static constexpr uint32_t kGrowth = 1000;

    CChartPointsArray();

    // Replaces the points. A count above the capacity takes a buffer of exactly
    // that size; a smaller count keeps the buffer.
    void SetPoints(const SChartXYPoint* points, uint32_t count);
    // Appends one point, growing the buffer by the growth step when full.
    void AddPoint(const SChartXYPoint& point);
    void Clear();

    void SetOrdering(int ordering);
    int Ordering() const { return ordering_; }

    uint32_t Count() const { return count_; }
    uint32_t Capacity() const { return static_cast<uint32_t>(buffer_.size()); }
    const SChartXYPoint& At(uint32_t index) const { return buffer_[index]; }
    const SChartXYPoint* Data() const { return buffer_.data(); }
    double MinX() const { return minX_; }
    double MaxX() const { return maxX_; }
    double MinY() const { return minY_; }
    double MaxY() const { return maxY_; }

  private:
    void Sort();
    void Recompute();

    double minX_ = 0;
    double maxX_ = 0;
    double minY_ = 0;
    double maxY_ = 0;
    std::vector<SChartXYPoint> buffer_;
    uint32_t count_ = 0;
    uint32_t growth_ = kGrowth;
    int ordering_ = kByX;
};

}  // namespace controls
