#pragma once
// What our own controls paint besides lines and text: the system's colours and
// metrics as COLORREF and pixels, 3-D edges, linear gradients, and whether
// edges are smoothed.

#include "platform/Bitmap.h"
#include "platform/ui/DrawContext.h"
#include "platform/ui/Geometry.h"

namespace platform::ui {

enum class SysColour {
    BtnFace,
    BtnText,
    Highlight3d,  // the light top-left line of a raised edge
    Light3d,
    Shadow3d,
    DkShadow3d,
    GrayText,
    Window,
    WindowText,
    Highlight,
    HighlightText,
};
platform::COLORREF SysColor(SysColour which);

enum class SysMetric {
    EdgeX,  // width of a 3-D edge
    EdgeY,
    HThumbX,  // width of the thumb of a horizontal scroll bar
    VThumbY,  // height of the thumb of a vertical scroll bar
    VScrollX,
    HScrollY,
};
// The desktop's value, or the usual one where the desktop gives none.
int SysMetricValue(SysMetric which);

// 3-D edge kinds, combinable: outer and inner line, raised or sunken.
namespace edge {
constexpr unsigned RaisedOuter = 0x1;
constexpr unsigned SunkenOuter = 0x2;
constexpr unsigned RaisedInner = 0x4;
constexpr unsigned SunkenInner = 0x8;
constexpr unsigned Raised = RaisedOuter | RaisedInner;
constexpr unsigned Sunken = SunkenOuter | SunkenInner;
constexpr unsigned Etched = SunkenOuter | RaisedInner;
constexpr unsigned Bump = RaisedOuter | SunkenInner;
}  // namespace edge

// Draws the edge all round the rectangle; returns the rectangle inside it.
Rect DrawEdge(DrawContext& dc, const Rect& rect, unsigned kind);

// Lines and shapes with hard pixel edges (off) or smoothed ones (on, the
// default of the drawing back end); text is not affected.
void SetAntialiasing(DrawContext& dc, bool on);

// Fills the rectangle from one colour to the other: left to right, or top to bottom.
void GradientFill(DrawContext& dc, const Rect& rect, platform::COLORREF from, platform::COLORREF to,
                  bool vertical);

}  // namespace platform::ui
