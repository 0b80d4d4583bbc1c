#include "controls/TabCtrlWithDisable.h"

#include <wx/settings.h>

namespace controls {

using platform::ui::DrawContext;
using platform::ui::FromWx;
using platform::ui::Point;
using platform::ui::Rect;

bool CTabCtrlWithDisable::SetActiveTab(int index) {
    if (index < 0 || index >= GetItemCount()) return false;
    if (selChanging && selChanging() < 0) return false;
    SetCurSel(index);
    if (selChange) selChange();
    return true;
}

int CTabCtrlWithDisable::NextEnabledTab(int index, bool wrap) const {
    const int count = GetItemCount();
    int i = index + 1;
    for (int steps = 0; steps <= count; ++steps, ++i) {
        if (i >= count) {
            if (!wrap) return -1;
            i = 0;
        }
        if (i == index) return -1;
        if (IsTabEnabled(i)) return i;
    }
    return -1;
}

int CTabCtrlWithDisable::PrevEnabledTab(int index) const {
    for (int i = index - 1; i >= 0; --i) {
        if (IsTabEnabled(i)) return i;
    }
    return -1;
}

void CTabCtrlWithDisable::DrawItem(DrawContext& dc, int index, const Rect& rect, bool selected) {
    const Rect r = rect.Offset(1, 4);
    if (selected) dc.FillSolidRect(r, FromWx(wxSystemSettings::GetColour(wxSYS_COLOUR_3DFACE)));
    DrawItemText(dc, GetItemText(index), r, !IsTabEnabled(index));
}

void CTabCtrlWithDisable::DrawItemText(DrawContext& dc, const std::string& text, const Rect& rect,
                                       bool disabled) {
    const unsigned flags = platform::ui::text::Center | platform::ui::text::VCenter;
    if (!disabled) {
        dc.SetTextColor(FromWx(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNTEXT)));
        dc.DrawText(text, rect, flags);
        return;
    }
    dc.SetTextColor(FromWx(wxSystemSettings::GetColour(wxSYS_COLOUR_3DHIGHLIGHT)));
    dc.DrawText(text, rect, flags);
    dc.SetTextColor(FromWx(wxSystemSettings::GetColour(wxSYS_COLOUR_GRAYTEXT)));
    dc.DrawText(text, rect.Offset(-1, -1), flags);
}

bool CTabCtrlWithDisable::ReflectSelChanging(Point cursor) {
    const int index = HitTest(cursor);
    return index >= 0 && !IsTabEnabled(index);
}

bool CTabCtrlWithDisable::PreTranslateKey(int keyCode) {
    if (keyCode == WXK_RIGHT) {
        const int next = NextEnabledTab(GetCurSel(), false);
        if (next >= 0) SetActiveTab(next);
        return true;
    }
    if (keyCode == WXK_LEFT) {
        const int previous = PrevEnabledTab(GetCurSel());
        if (previous >= 0) SetActiveTab(previous);
        return true;
    }
    return false;
}

bool CDisableTab::IsTabEnabled(int index) const {
    const auto i = static_cast<unsigned>(index);
    return i >= static_cast<unsigned>(kFlags) || enabled_[i];
}

void CDisableTab::EnableOnly(int index) {
    for (int i = 0; i < kFlags; ++i) enabled_[i] = index == -1 || i == index;
    if (GetHandle() != nullptr) {
        ++repaints_;
        Refresh();
    }
}

}  // namespace controls
