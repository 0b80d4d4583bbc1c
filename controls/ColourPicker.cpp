#include "controls/ColourPicker.h"

#include <algorithm>

#include <wx/dcclient.h>

#include "controls/ColourPopup.h"
#include "platform/ui/CommonDialogs.h"
#include "platform/ui/Shading.h"
#include "platform/ui/Window.h"

using platform::ui::Rect;
using platform::ui::Size;
using platform::ui::SysColor;
using platform::ui::SysColour;
using platform::ui::SysMetric;
using platform::ui::SysMetricValue;

namespace controls {

CColourPicker::CColourPicker()
    : background_(SysColor(SysColour::BtnFace)),
      text_(SysColor(SysColour::BtnText)),
      chooser_([](wxWindow* parent, platform::COLORREF initial) {
          return platform::ui::ChooseColour(parent, initial);
      }) {}

CColourPicker::~CColourPicker() {
    if (popup_ != nullptr) {
        CColourPopup* popup = popup_;
        popup_ = nullptr;
        popup->Destroy();
    }
}

int CColourPicker::ArrowSize() {
    const int vertical = std::max(5 * SysMetricValue(SysMetric::EdgeY), SysMetricValue(SysMetric::VThumbY));
    const int horizontal = std::max(5 * SysMetricValue(SysMetric::EdgeX), SysMetricValue(SysMetric::HThumbX));
    return std::max(vertical, horizontal);
}

Size CColourPicker::ButtonSize(int width) {
    const int arrow = ArrowSize();
    const int edgeX = SysMetricValue(SysMetric::EdgeX);
    const int edgeY = SysMetricValue(SysMetric::EdgeY);
    return {std::max(width, 2 * (arrow + edgeX)), arrow + 2 * edgeY};
}

wxSize CColourPicker::DoGetBestSize() const {
    const Size size = ButtonSize(0);
    return {size.cx, size.cy};
}

bool CColourPicker::Create(wxWindow* parent, int id, const Rect& rect, platform::WindowHandle notify,
                           const std::string& text) {
    notify_ = notify;
    const Size size = ButtonSize(rect.Width());
    if (!wxControl::Create(parent, id, wxPoint(rect.left, rect.top), wxSize(size.cx, size.cy),
                           wxBORDER_NONE | wxWANTS_CHARS))
        return false;
    SetLabel(wxString::FromUTF8(text));
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    SetMinSize(wxSize(size.cx, size.cy));
    Bind(wxEVT_PAINT, &CColourPicker::OnPaintEvent, this);
    Bind(wxEVT_LEFT_UP, &CColourPicker::OnLeftUp, this);
    Bind(wxEVT_KEY_DOWN, &CColourPicker::OnKey, this);
    Bind(wxEVT_SIZE, &CColourPicker::OnSizeEvent, this);
    Bind(wxEVT_SET_FOCUS, [this](wxFocusEvent& e) {
        e.Skip();
        Refresh(false);
    });
    Bind(wxEVT_KILL_FOCUS, [this](wxFocusEvent& e) {
        e.Skip();
        Refresh(false);
    });
    wxSizeEvent sized;
    OnSizeEvent(sized);
    return true;
}

void CColourPicker::OnSizeEvent(wxSizeEvent& event) {
    event.Skip();
    const wxSize client = GetClientSize();
    const int arrow = ArrowSize();
    const int edgeX = SysMetricValue(SysMetric::EdgeX);
    const int edgeY = SysMetricValue(SysMetric::EdgeY);
    arrowRect_ = {client.x - arrow - edgeX, edgeY, client.x - edgeX, client.y - edgeY};
    Refresh(false);
}

platform::COLORREF CColourPicker::GetColour() const {
    return mode_ == kTextMode ? text_ : background_;
}

void CColourPicker::StoreColour(platform::COLORREF colour) {
    if (mode_ == kTextMode)
        text_ = colour;
    else
        background_ = colour;
    if (GetHandle() != nullptr) Refresh(false);
}

void CColourPicker::SetColour(platform::COLORREF colour) {
    StoreColour(colour);
}

void CColourPicker::SetBkColour(platform::COLORREF colour) {
    background_ = colour;
    if (GetHandle() != nullptr) Refresh(false);
}

void CColourPicker::SetTextColour(platform::COLORREF colour) {
    text_ = colour;
    if (GetHandle() != nullptr) Refresh(false);
}

void CColourPicker::SendToParent(unsigned msg, platform::COLORREF colour) {
    if (notify_ != 0) platform::ui::SendMessage(notify_, msg, colour, GetId());
}

void CColourPicker::Click() {
    if (popupOpen_ || GetHandle() == nullptr) return;
    if (popup_ != nullptr) {
        // The last palette ended but is not deleted yet.
        CColourPopup* old = popup_;
        popup_ = nullptr;
        old->Destroy();
    }
    popupOpen_ = true;
    Refresh(false);
    const wxPoint bottomLeft = ClientToScreen(wxPoint(0, GetClientSize().y));
    const wxPoint top = ClientToScreen(wxPoint(0, 0));
    popup_ =
        new CColourPopup(this, {bottomLeft.x, bottomLeft.y}, top.y, GetColour(), defaultText_, customText_);
    SendToParent(kDropDown, GetColour());
}

void CColourPicker::PopupGone(CColourPopup* popup) {
    if (popup_ == popup) popup_ = nullptr;
}

void CColourPicker::PopupEnded(CColourPopup* popup) {
    CallAfter([this, popup] {
        if (popup_ != popup) return;
        popup_ = nullptr;
        popup->Destroy();
    });
}

void CColourPicker::OnPopupMessage(unsigned msg, platform::COLORREF colour) {
    const platform::COLORREF face = SysColor(SysColour::BtnFace);
    switch (msg) {
        case kSelChange: {
            const platform::COLORREF taken = colour == kNoColour ? face : colour;
            if (track_) StoreColour(taken);
            SendToParent(kSelChange, taken);
            break;
        }
        case kSelEndOk: {
            const platform::COLORREF before = GetColour();
            const platform::COLORREF taken = colour == kNoColour ? face : colour;
            if (GetHandle() != nullptr) SetFocus();
            popupOpen_ = false;
            StoreColour(taken);
            SendToParent(kCloseUp, colour);
            SendToParent(kSelEndOk, colour);
            if (taken != before) SendToParent(kSelChange, colour);
            break;
        }
        case kSelEndCancel:
            popupOpen_ = false;
            StoreColour(colour);
            SendToParent(kCloseUp, colour);
            SendToParent(kSelEndCancel, colour);
            break;
        default:
            break;
    }
}

platform::COLORREF CColourPicker::SwatchColour() const {
    if (!IsEnabled() || background_ == kNoColour) return SysColor(SysColour::BtnFace);
    return background_;
}

void CColourPicker::Paint(platform::ui::DrawContext& dc) {
    const wxSize client = GetClientSize();
    const Rect whole{0, 0, client.x, client.y};
    const int edgeX = SysMetricValue(SysMetric::EdgeX);
    const int edgeY = SysMetricValue(SysMetric::EdgeY);
    dc.FillSolidRect(whole, SysColor(SysColour::BtnFace));

    // The drop arrow: a small button of its own, pushed while the palette is open.
    platform::ui::DrawEdge(dc, arrowRect_,
                           popupOpen_ ? platform::ui::edge::Sunken : platform::ui::edge::Raised);
    const int cx = (arrowRect_.left + arrowRect_.right) / 2 + (popupOpen_ ? 1 : 0);
    const int cy = (arrowRect_.top + arrowRect_.bottom) / 2 + (popupOpen_ ? 1 : 0);
    const platform::COLORREF arrow =
        IsEnabled() ? SysColor(SysColour::BtnText) : SysColor(SysColour::GrayText);
    dc.SetPen(arrow, 1);
    dc.SetBrush(arrow);
    dc.Polygon({{cx - 4, cy - 2}, {cx + 4, cy - 2}, {cx, cy + 2}});

    platform::ui::DrawEdge(dc, whole, platform::ui::edge::Raised);
    Rect swatch{edgeX + 3, edgeY + 2, arrowRect_.left - 2, client.y - edgeY - 2};
    if (!swatch.IsEmpty()) {
        dc.SetPen(0, 1);
        dc.SetBrush(SwatchColour());
        dc.Rectangle(swatch);
    }
    const std::string label = GetLabel().utf8_string();
    if (!label.empty()) {
        dc.SetBkTransparent(true);
        if (IsEnabled()) {
            dc.SetTextColor(text_ == kNoColour ? 0 : text_);
            dc.DrawText(label, swatch, platform::ui::text::Center | platform::ui::text::VCenter);
        } else {
            dc.SetTextColor(SysColor(SysColour::Highlight3d));
            dc.DrawText(label, swatch.Offset(1, 1), platform::ui::text::Center | platform::ui::text::VCenter);
            dc.SetTextColor(SysColor(SysColour::Shadow3d));
            dc.DrawText(label, swatch, platform::ui::text::Center | platform::ui::text::VCenter);
        }
    }
    if (HasFocus()) {
        dc.SetPen(0, 1, platform::ui::PenStyle::Dot);
        dc.SetNullBrush();
        dc.Rectangle(swatch.Inflate(1));
    }
}

void CColourPicker::OnPaintEvent(wxPaintEvent&) {
    wxPaintDC paint(this);
    platform::ui::DrawContext dc(paint);
    Paint(dc);
}

void CColourPicker::OnLeftUp(wxMouseEvent& event) {
    event.Skip();
    const wxSize client = GetClientSize();
    if (event.GetX() >= 0 && event.GetY() >= 0 && event.GetX() < client.x && event.GetY() < client.y) Click();
}

void CColourPicker::OnKey(wxKeyEvent& event) {
    // While the palette is open the keys are its own (a pop-up gets no focus of its own here).
    if (popupOpen_ && popup_ != nullptr && popup_->OnKeyDown(event.GetKeyCode())) return;
    if (!popupOpen_ && (event.GetKeyCode() == WXK_SPACE || event.GetKeyCode() == WXK_RETURN)) {
        Click();
        return;
    }
    event.Skip();
}

}  // namespace controls
