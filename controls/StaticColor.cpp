#include "controls/StaticColor.h"

#include <wx/dcbuffer.h>
#include <wx/settings.h>

namespace controls {

using platform::ui::FromWx;
using platform::ui::Rect;

namespace {

platform::COLORREF System(wxSystemColour which) {
    return FromWx(wxSystemSettings::GetColour(which));
}

}  // namespace

bool CStaticColor::CreateAt(wxWindow* parent, int itemId, const Rect& rect) {
    if (!wxControl::Create(parent, itemId, wxPoint(rect.left, rect.top), wxSize(rect.Width(), rect.Height()),
                           wxBORDER_SUNKEN)) {
        return false;
    }
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Bind(wxEVT_PAINT, &CStaticColor::OnPaint, this);
    return true;
}

bool CStaticColor::CreateOverItem(wxWindow* parent, int itemId, platform::COLORREF text,
                                  platform::COLORREF background) {
    wxWindow* item = parent != nullptr ? parent->FindWindow(itemId) : nullptr;
    if (item == nullptr) return false;
    const wxRect r = item->GetRect();
    item->Hide();
    colors_ = {text, background};
    return CreateAt(parent, itemId, Rect::FromXYWH(r.x, r.y, r.width, r.height));
}

bool CStaticColor::CreateOverItemAt(wxWindow* parent, int itemId, int x, int y) {
    wxWindow* item = parent != nullptr ? parent->FindWindow(itemId) : nullptr;
    if (item == nullptr) return false;
    const wxRect r = item->GetRect();
    item->Hide();
    colors_ = {CEditColor::kBlue, 0xFFFFFF};
    return CreateAt(parent, itemId, Rect::FromXYWH(x, y, r.width, r.height));
}

bool CStaticColor::CreateOverItemAtTop(wxWindow* parent, int itemId, int y) {
    wxWindow* item = parent != nullptr ? parent->FindWindow(itemId) : nullptr;
    if (item == nullptr) return false;
    const wxRect r = item->GetRect();
    item->Hide();
    colors_ = {CEditColor::kBlue, 0xFFFFFF};
    return CreateAt(parent, itemId, Rect::FromXYWH(r.x, y, r.width, r.height));
}

void CStaticColor::SetColors(platform::COLORREF text, platform::COLORREF background) {
    colors_ = {text, background};
    Refresh();
}

void CStaticColor::SetText(const std::string& text) {
    const wxString label = wxString::FromUTF8(text);
    if (label == GetLabel()) return;
    SetLabel(label);
    Refresh();
}

void CStaticColor::Draw(platform::ui::DrawContext& dc) {
    const wxSize size = GetClientSize();
    const auto colours = EffectiveColors(IsEnabled(), colors_);
    dc.FillSolidRect({0, 0, size.x, size.y}, colours ? colours->background : System(wxSYS_COLOUR_BTNFACE));
    dc.SetFont(GetFont());
    dc.SetTextColor(colours ? colours->text : System(wxSYS_COLOUR_GRAYTEXT));
    dc.DrawText(Text(), {0, 0, size.x, size.y}, platform::ui::text::Center | platform::ui::text::VCenter);
}

void CStaticColor::OnPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC paint(this);
    platform::ui::DrawContext dc(paint);
    Draw(dc);
}

bool CLabelColor::Create(wxWindow* parent, int id, const std::string& text, const wxPoint& pos,
                         const wxSize& size) {
    if (!wxControl::Create(parent, id, pos, size, wxBORDER_NONE)) return false;
    SetLabel(wxString::FromUTF8(text));
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Bind(wxEVT_PAINT, &CLabelColor::OnPaint, this);
    return true;
}

void CLabelColor::SetText(const std::string& text) {
    SetLabel(wxString::FromUTF8(text));
    Refresh();
}

void CLabelColor::Draw(platform::ui::DrawContext& dc) {
    const wxSize size = GetClientSize();
    dc.FillSolidRect({0, 0, size.x, size.y}, brushColor);
    dc.SetFont(GetFont());
    dc.SetTextColor(textColor);
    dc.SetBkColor(textBackground);
    dc.SetBkTransparent(false);
    dc.TextOut(0, 0, Text());
    dc.SetBkTransparent(true);
}

void CLabelColor::OnPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC paint(this);
    platform::ui::DrawContext dc(paint);
    Draw(dc);
}

}  // namespace controls
