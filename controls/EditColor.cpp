#include "controls/EditColor.h"

#include <cmath>

#include <wx/settings.h>

namespace controls {

using platform::ui::FromWx;
using platform::ui::Point;
using platform::ui::Rect;
using platform::ui::Size;
using platform::ui::ToWx;

bool CStColor::Create(wxWindow* parent, int id, const Rect& rect) {
    if (!wxPanel::Create(parent, id, wxPoint(rect.left, rect.top), wxSize(rect.Width(), rect.Height()),
                         wxBORDER_SUNKEN)) {
        return false;
    }
    SetBackground(background_);
    return true;
}

void CStColor::SetBackground(platform::COLORREF colour) {
    background_ = colour;
    if (GetHandle() == nullptr) return;
    SetBackgroundColour(IsEnabled() ? ToWx(colour) : wxNullColour);
    Refresh();
}

Rect CEditColor::EditRect(const Rect& frame, Size frameClient, int lineHeight) {
    const int bh = (frame.Width() - frameClient.cx) / 2;
    const int bv = (frame.Height() - frameClient.cy) / 2;
    Rect r{frame.left + bh, 0, frame.right - bh, 0};
    if (frameClient.cy >= lineHeight) {
        r.top = frame.top + bv + static_cast<int>(std::lround((frameClient.cy - lineHeight) / 2.0));
        r.bottom = r.top + lineHeight;
    } else {
        // A frame lower than a line: the edit fills it from the top border down.
        r.top = frame.top + bh;
        r.bottom = frame.bottom;
    }
    return r;
}

bool CEditColor::Create(const Rect& rect, wxWindow* parent, int id) {
    own_ = {0, 0, rect.Width(), rect.Height()};
    colors_ = {kBlue, 0xFFFFFF};
    frame_ = new CStColor();
    if (!frame_->Create(parent, id, rect)) return false;
    frame_->SetBackground(0xFFFFFF);
    const int line = frame_->GetTextExtent("gtW").y;
    const wxSize client = frame_->GetClientSize();
    const Rect edit = EditRect(rect, {client.x, client.y}, line);
    if (!wxTextCtrl::Create(parent, id + kEditIdOffset, wxString(), wxPoint(edit.left, edit.top),
                            wxSize(edit.Width(), edit.Height()),
                            wxTE_READONLY | wxTE_CENTRE | wxBORDER_NONE)) {
        return false;
    }
    own_ = {0, 0, edit.Width(), edit.Height()};
    ApplyColors();
    return true;
}

bool CEditColor::CreateOverItem(wxWindow* parent, int itemId) {
    wxWindow* item = parent != nullptr ? parent->FindWindow(itemId) : nullptr;
    if (item == nullptr) return false;
    const wxRect r = item->GetRect();
    item->Hide();
    return Create(Rect::FromXYWH(r.x, r.y, r.width, r.height), parent, itemId);
}

void CEditColor::MoveTo(int x, int y) {
    const wxPoint old = GetPosition();
    Move(x, y);
    if (frame_ != nullptr) {
        const wxPoint f = frame_->GetPosition();
        frame_->Move(f.x + x - old.x, f.y + y - old.y);
    }
}

void CEditColor::SetColors(platform::COLORREF text, platform::COLORREF background) {
    colors_ = {text, background};
    ApplyColors();
}

bool CEditColor::Enable(bool enable) {
    const bool changed = wxTextCtrl::Enable(enable);
    ApplyColors();
    return changed;
}

void CEditColor::ApplyColors() {
    if (GetHandle() == nullptr) return;
    const auto colours = EffectiveColors(IsEnabled(), colors_);
    SetForegroundColour(colours ? ToWx(colours->text) : wxNullColour);
    SetBackgroundColour(colours ? ToWx(colours->background) : wxNullColour);
    Refresh();
}

void CEditColor::SetText(const std::string& text) {
    const wxString value = wxString::FromUTF8(text);
    textCut_ = GetTextExtent(value).x > GetClientSize().x;
    if (textCut_)
        SetToolTip(value);
    else
        UnsetToolTip();
    ChangeValue(value);
}

std::optional<std::string> CEditColor::TipAt(Point point) const {
    if (!textCut_) return std::nullopt;
    if (point.x <= own_.left || point.y <= own_.top || point.x >= own_.right - 1 ||
        point.y >= own_.bottom - 1)
        return std::nullopt;
    return Text();
}

void CEditColor::DrawPicture(platform::ui::DrawContext& dc, Point origin) const {
    const wxRect f = frame_ != nullptr ? frame_->GetRect() : GetRect();
    const Rect frame = Rect::FromXYWH(origin.x, origin.y, f.width, f.height);
    const auto colours = EffectiveColors(IsEnabled(), colors_);
    const platform::COLORREF face = FromWx(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE));
    dc.FillSolidRect(frame, colours ? colours->background : face);
    dc.Draw3dRect(frame, FromWx(wxSystemSettings::GetColour(wxSYS_COLOUR_3DSHADOW)),
                  FromWx(wxSystemSettings::GetColour(wxSYS_COLOUR_3DHIGHLIGHT)));
    dc.SetFont(GetFont());
    dc.SetTextColor(colours ? colours->text : FromWx(wxSystemSettings::GetColour(wxSYS_COLOUR_GRAYTEXT)));
    dc.DrawText(Text(), frame.Deflate(2, 2, 2, 2), platform::ui::text::Center | platform::ui::text::VCenter);
}

}  // namespace controls
