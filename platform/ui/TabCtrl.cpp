#include "platform/ui/TabCtrl.h"

#include <wx/dcbuffer.h>
#include <wx/settings.h>

namespace platform::ui {

bool TabCtrl::Create(wxWindow* parent, int id, const wxPoint& pos, const wxSize& size) {
    if (!wxControl::Create(parent, id, pos, size, wxBORDER_NONE | wxWANTS_CHARS)) return false;
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Bind(wxEVT_PAINT, &TabCtrl::OnPaint, this);
    Bind(wxEVT_LEFT_DOWN, &TabCtrl::OnLeftDown, this);
    Bind(wxEVT_KEY_DOWN, &TabCtrl::OnKeyDown, this);
    return true;
}

int TabCtrl::InsertItem(int index, const std::string& text) {
    if (index < 0 || index > GetItemCount()) index = GetItemCount();
    items_.insert(items_.begin() + index, text);
    if (current_ < 0)
        current_ = 0;
    else if (index <= current_ && GetItemCount() > 1)
        ++current_;
    Refresh();
    return index;
}

bool TabCtrl::DeleteItem(int index) {
    if (index < 0 || index >= GetItemCount()) return false;
    items_.erase(items_.begin() + index);
    if (items_.empty())
        current_ = -1;
    else if (current_ >= GetItemCount() || index < current_)
        current_ = std::max(0, current_ - 1);
    Refresh();
    return true;
}

void TabCtrl::DeleteAllItems() {
    items_.clear();
    current_ = -1;
    Refresh();
}

std::string TabCtrl::GetItemText(int index) const {
    return index >= 0 && index < GetItemCount() ? items_[index] : std::string();
}

bool TabCtrl::SetItemText(int index, const std::string& text) {
    if (index < 0 || index >= GetItemCount()) return false;
    items_[index] = text;
    Refresh();
    return true;
}

int TabCtrl::SetCurSel(int index) {
    const int previous = current_;
    if (index >= 0 && index < GetItemCount()) current_ = index;
    Refresh();
    return previous;
}

void TabCtrl::SetItemWidth(int width) {
    itemWidth_ = std::max(0, width);
    Refresh();
}

int TabCtrl::StripHeight() const {
    return GetCharHeight() + 12;
}

Rect TabCtrl::GetItemRect(int index) const {
    if (index < 0 || index >= GetItemCount()) return {};
    int x = 2;
    for (int i = 0; i <= index; ++i) {
        int w = itemWidth_;
        if (w == 0) w = GetTextExtent(wxString::FromUTF8(items_[i])).x + 20;
        if (i == index) return Rect::FromXYWH(x, 2, w, StripHeight() - 2);
        x += w;
    }
    return {};
}

int TabCtrl::HitTest(Point point) const {
    for (int i = 0; i < GetItemCount(); ++i) {
        if (GetItemRect(i).Contains(point)) return i;
    }
    return -1;
}

Rect TabCtrl::DisplayRect() const {
    const wxSize size = GetClientSize();
    return {2, StripHeight() + 2, size.x - 2, size.y - 2};
}

wxSize TabCtrl::DoGetBestSize() const {
    const Rect last = GetItemRect(GetItemCount() - 1);
    return wxSize(std::max(last.right + 2, 40), StripHeight() + 4);
}

bool TabCtrl::ChangeTo(int index) {
    if (index < 0 || index >= GetItemCount() || index == current_) return false;
    if (selChanging && selChanging() < 0) return false;
    current_ = index;
    Refresh();
    if (selChange) selChange();
    return true;
}

bool TabCtrl::ClickAt(Point point) {
    const int index = HitTest(point);
    if (index < 0 || index == current_) return false;
    if (ReflectSelChanging(point)) return false;
    return ChangeTo(index);
}

bool TabCtrl::PressKey(int keyCode) {
    return PreTranslateKey(keyCode);
}

bool TabCtrl::PreTranslateKey(int keyCode) {
    if (keyCode == WXK_RIGHT) {
        ChangeTo(current_ + 1);
        return true;
    }
    if (keyCode == WXK_LEFT) {
        ChangeTo(current_ - 1);
        return true;
    }
    return false;
}

void TabCtrl::DrawItem(DrawContext& dc, int index, const Rect& rect, bool) {
    dc.SetTextColor(FromWx(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNTEXT)));
    dc.DrawText(items_[index], rect, text::Center | text::VCenter);
}

void TabCtrl::DrawAll(DrawContext& dc) {
    const wxSize size = GetClientSize();
    const COLORREF face = FromWx(wxSystemSettings::GetColour(wxSYS_COLOUR_3DFACE));
    const COLORREF light = FromWx(wxSystemSettings::GetColour(wxSYS_COLOUR_3DHIGHLIGHT));
    const COLORREF shadow = FromWx(wxSystemSettings::GetColour(wxSYS_COLOUR_3DSHADOW));
    dc.FillSolidRect({0, 0, size.x, size.y}, face);
    dc.SetFont(GetFont());
    const int strip = StripHeight();
    dc.FillSolidRect({0, strip, size.x, strip + 1}, light);
    for (int i = 0; i < GetItemCount(); ++i) {
        Rect r = GetItemRect(i);
        const bool selected = i == current_;
        if (selected)
            r = r.Inflate(1).Deflate(0, 0, 0, -1);
        else
            r = r.Deflate(0, 2, 0, 0);
        dc.FillSolidRect(r, face);
        dc.FillSolidRect({r.left, r.top, r.left + 1, r.bottom}, light);
        dc.FillSolidRect({r.left, r.top, r.right, r.top + 1}, light);
        dc.FillSolidRect({r.right - 1, r.top, r.right, r.bottom}, shadow);
        DrawItem(dc, i, GetItemRect(i), selected);
    }
}

void TabCtrl::OnPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC paint(this);
    DrawContext dc(paint);
    DrawAll(dc);
}

void TabCtrl::OnLeftDown(wxMouseEvent& event) {
    SetFocus();
    ClickAt({event.GetX(), event.GetY()});
}

void TabCtrl::OnKeyDown(wxKeyEvent& event) {
    if (!PreTranslateKey(event.GetKeyCode())) event.Skip();
}

}  // namespace platform::ui
