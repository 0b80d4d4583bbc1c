#pragma once
// The desktop's colours that the grid draws with.

#include "platform/Bitmap.h"

namespace controls {

enum class SysColor {
    Window,
    WindowText,
    Highlight,
    HighlightText,
    Face3D,
    Shadow3D,
    Highlight3D,
    DkShadow3D,
    InfoText,
    InfoBk,
};

// The desktop theme's colour while the GUI runs, else the classic default.
platform::COLORREF GetSysColor(SysColor which);

enum class SysMetric {
    VScrollWidth,       // width of a vertical scroll bar
    HScrollHeight,      // height of a horizontal scroll bar
    HScrollArrowWidth,  // width of a horizontal scroll bar's arrow button
    DoubleClickMs,
};

// The desktop's size while the GUI runs, else the classic default.
int GetSystemMetric(SysMetric which);

}  // namespace controls
