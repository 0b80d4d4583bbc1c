#include "platform/ui/Shading.h"

#include <wx/dc.h>
#include <wx/graphics.h>
#include <wx/settings.h>

namespace platform::ui {

platform::COLORREF SysColor(SysColour which) {
    wxSystemColour wx = wxSYS_COLOUR_BTNFACE;
    switch (which) {
        case SysColour::BtnFace:
            wx = wxSYS_COLOUR_BTNFACE;
            break;
        case SysColour::BtnText:
            wx = wxSYS_COLOUR_BTNTEXT;
            break;
        case SysColour::Highlight3d:
            wx = wxSYS_COLOUR_3DHIGHLIGHT;
            break;
        case SysColour::Light3d:
            wx = wxSYS_COLOUR_3DLIGHT;
            break;
        case SysColour::Shadow3d:
            wx = wxSYS_COLOUR_3DSHADOW;
            break;
        case SysColour::DkShadow3d:
            wx = wxSYS_COLOUR_3DDKSHADOW;
            break;
        case SysColour::GrayText:
            wx = wxSYS_COLOUR_GRAYTEXT;
            break;
        case SysColour::Window:
            wx = wxSYS_COLOUR_WINDOW;
            break;
        case SysColour::WindowText:
            wx = wxSYS_COLOUR_WINDOWTEXT;
            break;
        case SysColour::Highlight:
            wx = wxSYS_COLOUR_HIGHLIGHT;
            break;
        case SysColour::HighlightText:
            wx = wxSYS_COLOUR_HIGHLIGHTTEXT;
            break;
    }
    return FromWx(wxSystemSettings::GetColour(wx));
}

int SysMetricValue(SysMetric which) {
    wxSystemMetric wx = wxSYS_EDGE_X;
    int usual = 2;
    switch (which) {
        case SysMetric::EdgeX:
            wx = wxSYS_EDGE_X;
            break;
        case SysMetric::EdgeY:
            wx = wxSYS_EDGE_Y;
            break;
        case SysMetric::HThumbX:
            wx = wxSYS_HTHUMB_X;
            usual = 16;
            break;
        case SysMetric::VThumbY:
            wx = wxSYS_VTHUMB_Y;
            usual = 16;
            break;
        case SysMetric::VScrollX:
            wx = wxSYS_VSCROLL_X;
            usual = 16;
            break;
        case SysMetric::HScrollY:
            wx = wxSYS_HSCROLL_Y;
            usual = 16;
            break;
    }
    const int value = wxSystemSettings::GetMetric(wx);
    return value > 0 ? value : usual;
}

Rect DrawEdge(DrawContext& dc, const Rect& rect, unsigned kind) {
    Rect r = rect;
    if (kind & (edge::RaisedOuter | edge::SunkenOuter)) {
        if (kind & edge::RaisedOuter)
            dc.Draw3dRect(r, SysColor(SysColour::Light3d), SysColor(SysColour::DkShadow3d));
        else
            dc.Draw3dRect(r, SysColor(SysColour::Shadow3d), SysColor(SysColour::Highlight3d));
        r = r.Deflate(1, 1, 1, 1);
    }
    if (kind & (edge::RaisedInner | edge::SunkenInner)) {
        if (kind & edge::RaisedInner)
            dc.Draw3dRect(r, SysColor(SysColour::Highlight3d), SysColor(SysColour::Shadow3d));
        else
            dc.Draw3dRect(r, SysColor(SysColour::DkShadow3d), SysColor(SysColour::Light3d));
        r = r.Deflate(1, 1, 1, 1);
    }
    return r;
}

void SetAntialiasing(DrawContext& dc, bool on) {
    if (wxGraphicsContext* context = dc.Wx().GetGraphicsContext())
        context->SetAntialiasMode(on ? wxANTIALIAS_DEFAULT : wxANTIALIAS_NONE);
}

void GradientFill(DrawContext& dc, const Rect& rect, platform::COLORREF from, platform::COLORREF to,
                  bool vertical) {
    if (rect.IsEmpty()) return;
    dc.Wx().GradientFillLinear(wxRect(rect.left, rect.top, rect.Width(), rect.Height()), ToWx(from), ToWx(to),
                               vertical ? wxDOWN : wxRIGHT);
}

}  // namespace platform::ui
