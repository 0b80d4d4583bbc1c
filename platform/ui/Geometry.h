#pragma once
// Plain points, sizes and rectangles in pixels. A Rect is left/top inclusive
// and right/bottom exclusive, as the windows' own code measures them.

#include <algorithm>

namespace platform::ui {

struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};

struct Size {
    int cx = 0;
    int cy = 0;
    bool operator==(const Size&) const = default;
};

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    static Rect FromXYWH(int x, int y, int w, int h) { return {x, y, x + w, y + h}; }
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    bool Contains(Point p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
    bool Contains(const Rect& r) const {
        return r.left >= left && r.top >= top && r.right <= right && r.bottom <= bottom;
    }
    Rect Offset(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
    Rect Deflate(int l, int t, int r, int b) const { return {left + l, top + t, right - r, bottom - b}; }
    Rect Inflate(int d) const { return {left - d, top - d, right + d, bottom + d}; }
    bool operator==(const Rect&) const = default;
};

}  // namespace platform::ui
