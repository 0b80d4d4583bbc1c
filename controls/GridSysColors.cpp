#include "controls/GridSysColors.h"

#include <wx/app.h>
#include <wx/settings.h>

#include "platform/ui/DrawContext.h"

namespace controls {

using platform::RGB;

platform::COLORREF GetSysColor(SysColor which) {
    wxSystemColour wx = wxSYS_COLOUR_WINDOW;
    platform::COLORREF fallback = RGB(255, 255, 255);
    switch (which) {
        case SysColor::Window:
            break;
        case SysColor::WindowText:
            wx = wxSYS_COLOUR_WINDOWTEXT;
            fallback = RGB(0, 0, 0);
            break;
        case SysColor::Highlight:
            wx = wxSYS_COLOUR_HIGHLIGHT;
            fallback = RGB(0, 120, 215);
            break;
        case SysColor::HighlightText:
            wx = wxSYS_COLOUR_HIGHLIGHTTEXT;
            fallback = RGB(255, 255, 255);
            break;
        case SysColor::Face3D:
            wx = wxSYS_COLOUR_BTNFACE;
            fallback = RGB(240, 240, 240);
            break;
        case SysColor::Shadow3D:
            wx = wxSYS_COLOUR_BTNSHADOW;
            fallback = RGB(160, 160, 160);
            break;
        case SysColor::Highlight3D:
            wx = wxSYS_COLOUR_BTNHIGHLIGHT;
            fallback = RGB(255, 255, 255);
            break;
        case SysColor::DkShadow3D:
            wx = wxSYS_COLOUR_3DDKSHADOW;
            fallback = RGB(105, 105, 105);
            break;
        case SysColor::InfoText:
            wx = wxSYS_COLOUR_INFOTEXT;
            fallback = RGB(0, 0, 0);
            break;
        case SysColor::InfoBk:
            wx = wxSYS_COLOUR_INFOBK;
            fallback = RGB(255, 255, 225);
            break;
    }
    if (wxTheApp == nullptr) return fallback;
    const wxColour colour = wxSystemSettings::GetColour(wx);
    return colour.IsOk() ? platform::ui::FromWx(colour) : fallback;
}

int GetSystemMetric(SysMetric which) {
    wxSystemMetric wx = wxSYS_VSCROLL_X;
    int fallback = 16;
    switch (which) {
        case SysMetric::VScrollWidth:
            break;
        case SysMetric::HScrollHeight:
            wx = wxSYS_HSCROLL_Y;
            break;
        case SysMetric::HScrollArrowWidth:
            wx = wxSYS_HSCROLL_ARROW_X;
            break;
        case SysMetric::DoubleClickMs:
            fallback = 500;
            break;
    }
    if (wxTheApp == nullptr) return fallback;
    if (which == SysMetric::DoubleClickMs) return fallback;
    const int value = wxSystemSettings::GetMetric(wx);
    return value > 0 ? value : fallback;
}

}  // namespace controls
