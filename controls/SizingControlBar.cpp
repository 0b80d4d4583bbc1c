#include "controls/SizingControlBar.h"

#include <algorithm>
#include <cstdio>

#include <wx/settings.h>

using platform::ui::Point;
using platform::ui::Rect;
using platform::ui::Size;

int RegistryBarProfile::GetInt(const std::string& section, const std::string& entry, int defaultValue) {
    const auto value = registry_.GetDword(platform::Scope::User, root_ + "\\" + section, entry);
    return value ? static_cast<int>(static_cast<int32_t>(*value)) : defaultValue;
}

bool RegistryBarProfile::WriteInt(const std::string& section, const std::string& entry, int value) {
    return registry_.SetDword(platform::Scope::User, root_ + "\\" + section, entry,
                              static_cast<uint32_t>(value));
}

CSizingControlBar::CSizingControlBar() = default;

bool CSizingControlBar::Create(const std::string& title, wxWindow* parent, int id, uint32_t style) {
    style_ = style & 0x40FFFF;
    barId_ = id;
    if (!wxPanel::Create(parent, id > 0 && id < 0x7FFF ? id : wxID_ANY, wxDefaultPosition, wxDefaultSize,
                         wxCLIP_CHILDREN))
        return false;
    SetName(wxString::FromUTF8(title));
    SetLabel(wxString::FromUTF8(title));
    return true;
}

bool CSizingControlBar::Create(const std::string& title, wxWindow* parent, Size size, bool, int id,
                               uint32_t style) {
    sizeHorz = sizeVert = sizeFloat = size;
    return Create(title, parent, id, style);
}

std::string CSizingControlBar::SectionName(const std::string& name, int id) {
    return name + "-SCBar-" + std::to_string(id);
}

void CSizingControlBar::SaveState(BarProfile& profile, const std::string& name) const {
    const std::string section = SectionName(name, barId_);
    profile.WriteInt(section, "sizeHorzCX", sizeHorz.cx);
    profile.WriteInt(section, "sizeHorzCY", sizeHorz.cy);
    profile.WriteInt(section, "sizeVertCX", sizeVert.cx);
    profile.WriteInt(section, "sizeVertCY", sizeVert.cy);
    profile.WriteInt(section, "sizeFloatCX", sizeFloat.cx);
    profile.WriteInt(section, "sizeFloatCY", sizeFloat.cy);
}

void CSizingControlBar::LoadState(BarProfile& profile, const std::string& name) {
    const std::string section = SectionName(name, barId_);
    auto load = [&](const char* entry, int current, int minimum) {
        return std::max(profile.GetInt(section, entry, current), minimum);
    };
    sizeHorz = {load("sizeHorzCX", sizeHorz.cx, minHorz.cx), load("sizeHorzCY", sizeHorz.cy, minHorz.cy)};
    sizeVert = {load("sizeVertCX", sizeVert.cx, minVert.cx), load("sizeVertCY", sizeVert.cy, minVert.cy)};
    sizeFloat = {load("sizeFloatCX", sizeFloat.cx, minFloat.cx),
                 load("sizeFloatCY", sizeFloat.cy, minFloat.cy)};
}

Size CSizingControlBar::CalcFixedLayout(bool stretch, bool horizontal) const {
    if (stretch) return horizontal ? Size{32767, sizeHorz.cy} : Size{sizeVert.cx, 32767};
    const Size& size = horizontal ? sizeHorz : sizeVert;
    const Size& minimum = horizontal ? minHorz : minVert;
    return {std::max(size.cx, minimum.cx), std::max(size.cy, minimum.cy)};
}

Size CSizingControlBar::CalcDynamicLayout(int length, unsigned mode) {
    if (mode & (kHorzDock | kVertDock)) return CalcFixedLayout(false, (mode & kHorzDock) != 0);
    if (!(mode & (kMruWidth | kCommit))) {
        if (mode & kLengthY)
            sizeFloat.cy = length;
        else
            sizeFloat.cx = length;
    }
    sizeFloat.cx = std::max(sizeFloat.cx, minFloat.cx);
    sizeFloat.cy = std::max(sizeFloat.cy, minFloat.cy);
    return sizeFloat;
}

bool CSizingControlBar::IsFloating() const {
    return dockBarId_ != kDockTop && dockBarId_ != kDockLeft && dockBarId_ != kDockRight &&
           dockBarId_ != kDockBottom;
}

Rect CSizingControlBar::CalcNcClient(const Rect& window, bool neighbourBefore, bool neighbourAfter) {
    window_ = window;
    edges_ = 0;
    if (!IsFloating()) {
        if (neighbourBefore) edges_ |= IsHorzDocked() ? kEdgeLeft : kEdgeTop;
        if (neighbourAfter) edges_ |= IsHorzDocked() ? kEdgeRight : kEdgeBottom;
        // The sizable edge faces the frame's centre.
        switch (dockBarId_) {
            case kDockTop:
                edges_ |= kEdgeBottom;
                break;
            case kDockLeft:
                edges_ |= kEdgeRight;
                break;
            case kDockRight:
                edges_ |= kEdgeLeft;
                break;
            case kDockBottom:
                edges_ |= kEdgeTop;
                break;
            default:
                break;
        }
    }
    Rect r = window.Deflate(3, 5, 3, 3);
    if (!IsFloating()) r = r.Deflate(2, 0, 2, 2);
    if (style_ & kDrawEdges) {
        if (edges_ & kEdgeLeft) r.left += edgeWidth;
        if (edges_ & kEdgeRight) r.right -= edgeWidth;
        if (edges_ & kEdgeTop) r.top += edgeWidth;
        if (edges_ & kEdgeBottom) r.bottom -= edgeWidth;
    }
    client_ = r;
    return r;
}

int CSizingControlBar::NcHitTest(Point p) const {
    if (IsFloating()) return kHitClient;
    const Rect w = (style_ & kDrawEdges) ? window_.Inflate(-1) : window_;
    const bool horz = IsHorzDocked();
    const int e = edgeWidth;
    struct Edge {
        uint32_t flag;
        int hit;
        Rect rect;
        bool across;
    };
    const Edge edges[] = {
        {kEdgeLeft, kHitLeft, {w.left, w.top, w.left + e, w.bottom}, horz},
        {kEdgeTop, kHitTop, {w.left, w.top, w.right, w.top + e}, !horz},
        {kEdgeRight, kHitRight, {w.right - e, w.top, w.right, w.bottom}, horz},
        {kEdgeBottom, kHitBottom, {w.left, w.bottom - e, w.right, w.bottom}, !horz},
    };
    for (const Edge& edge : edges) {
        if (!(edges_ & edge.flag)) continue;
        Rect r = edge.rect;
        // An edge between bars of the row is shortened by the edge width at both ends.
        if (edge.across) {
            if (edge.flag == kEdgeLeft || edge.flag == kEdgeRight)
                r = r.Deflate(0, e, 0, e);
            else
                r = r.Deflate(e, 0, e, 0);
        }
        if (r.Contains(p)) return edge.hit;
    }
    return kHitClient;
}

// ---------------------------------------------------------------- rows

void SizingBarRow::Negotiate(int rowLength) {
    int total = 2;
    size_t count = bars_.size();
    for (size_t j = 0; j < bars_.size(); ++j) {
        total += bars_[j]->MinLength() - 2;
        if (total > rowLength) {
            count = std::max<size_t>(j, 1);  // the bars from j on go to the next row
            break;
        }
    }
    std::vector<CSizingControlBar*> row(bars_.begin(), bars_.begin() + static_cast<long>(count));
    int used = 0;
    int thickness = 0;
    for (CSizingControlBar* bar : row) {
        used += bar->Length() - 2;
        thickness = std::max(thickness, bar->Thickness());
    }
    int d = rowLength - used;
    if (row.size() == 1) {
        row[0]->SetLength(std::max(row[0]->Length() + d, row[0]->MinLength()));
        row[0]->keepSize = false;
        return;
    }
    for (CSizingControlBar* bar : row) bar->SetThickness(thickness);
    while (d != 0) {
        bool changed = false;
        for (CSizingControlBar* bar : row) {
            if (d == 0) break;
            if (bar->keepSize) continue;
            if (d < 0 && bar->Length() <= bar->MinLength()) continue;
            bar->SetLength(bar->Length() + (d > 0 ? 1 : -1));
            d += d > 0 ? -1 : 1;
            changed = true;
        }
        if (!changed || d == 0) {
            for (CSizingControlBar* bar : row) bar->keepSize = false;
            if (!changed) {
                bool any = false;
                for (CSizingControlBar* bar : row) any = any || d > 0 || bar->Length() > bar->MinLength();
                if (!any) break;  // every bar at its minimum: the row stays longer
            }
        }
    }
}

std::vector<int> SizingBarRow::Align() const {
    std::vector<int> starts;
    if (bars_.empty()) return starts;
    int e = bars_.front()->IsHorzDocked() ? -2 : 0;
    for (const CSizingControlBar* bar : bars_) {
        starts.push_back(e);
        e += bar->Length() - 2;
    }
    return starts;
}

bool SizingBarRow::IsThicknessEdge(int hit) const {
    const bool horz = bars_[index_]->IsHorzDocked();
    return horz ? (hit == CSizingControlBar::kHitTop || hit == CSizingControlBar::kHitBottom)
                : (hit == CSizingControlBar::kHitLeft || hit == CSizingControlBar::kHitRight);
}

void SizingBarRow::StartTracking(int index, int hit, int position, int freeSpace) {
    if (index < 0 || index >= static_cast<int>(bars_.size())) return;
    index_ = index;
    hit_ = hit;
    position_ = lower_ = upper_ = position;
    tracking_ = true;
    const bool before = hit == CSizingControlBar::kHitTop || hit == CSizingControlBar::kHitLeft;
    if (IsThicknessEdge(hit)) {
        int smallest = 0;
        for (const CSizingControlBar* bar : bars_) smallest = std::max(smallest, bar->MinThickness());
        const int shrink = bars_[index]->Thickness() - smallest;
        const int grow = freeSpace - 2;
        if (before) {
            lower_ -= grow;
            upper_ += shrink;
        } else {
            lower_ -= shrink;
            upper_ += grow;
        }
        return;
    }
    // Edge between bars: room before and after the boundary.
    const int boundary = before ? index : index + 1;
    for (int i = 0; i < static_cast<int>(bars_.size()); ++i) {
        const int room = bars_[i]->Length() - bars_[i]->MinLength();
        if (i < boundary)
            lower_ -= room;
        else
            upper_ += room;
    }
}

void SizingBarRow::UpdateTrackSize(int position) {
    if (!tracking_) return;
    position = std::clamp(position, lower_, upper_);
    if (position == position_) return;
    const int delta = position - position_;
    position_ = position;
    const bool before = hit_ == CSizingControlBar::kHitTop || hit_ == CSizingControlBar::kHitLeft;
    if (IsThicknessEdge(hit_)) {
        const int thickness = bars_[index_]->Thickness() + (before ? -delta : delta);
        for (CSizingControlBar* bar : bars_) bar->SetThickness(thickness);
        return;
    }
    // The boundary moves by delta: bars before it grow or give, bars after it the opposite.
    const int boundary = before ? index_ : index_ + 1;
    const int count = static_cast<int>(bars_.size());
    if (boundary <= 0 || boundary >= count) return;
    int growIndex = delta > 0 ? boundary - 1 : boundary;
    int remaining = std::abs(delta);
    int given = 0;
    if (delta > 0) {
        for (int i = boundary; i < count && remaining > 0; ++i) {
            const int take = std::min(remaining, bars_[i]->Length() - bars_[i]->MinLength());
            bars_[i]->SetLength(bars_[i]->Length() - take);
            remaining -= take;
            given += take;
        }
    } else {
        for (int i = boundary - 1; i >= 0 && remaining > 0; --i) {
            const int take = std::min(remaining, bars_[i]->Length() - bars_[i]->MinLength());
            bars_[i]->SetLength(bars_[i]->Length() - take);
            remaining -= take;
            given += take;
        }
    }
    bars_[growIndex]->SetLength(bars_[growIndex]->Length() + given);
}

// ---------------------------------------------------------------- caption bars

Rect CSizingControlBarG::CalcGripperClient(const Rect& window, bool before, bool after) {
    Rect r = CalcNcClient(window, before, after);
    if (IsHorzDocked())
        r.left += captionSize;
    else
        r.top += captionSize;
    client_ = r;
    return r;
}

Rect CSizingControlBarG::CloseButton() const {
    if (IsHorzDocked()) return Rect::FromXYWH(client_.left - 13, client_.top, 11, 11);
    return Rect::FromXYWH(client_.right - 12, client_.top - 13, 11, 11);
}

int CSizingControlBarG::NcHitTest(Point p) const {
    if (CloseButton().Contains(p)) return kHitClose;
    return CSizingControlBar::NcHitTest(p);
}

bool CSizingControlBarG::UpdateCloseButton(Point p, bool leftDown) {
    const bool over = CloseButton().Contains(p);
    const bool newPushed = over && leftDown;
    const bool newHover = over && !leftDown;
    const bool changed = newPushed != pushed || newHover != hover;
    pushed = newPushed;
    hover = newHover;
    return changed;
}

platform::COLORREF CSizingControlBarCF::GradientBand(int i, platform::COLORREF first,
                                                     platform::COLORREF second) {
    auto mix = [&](int shift) {
        const int a = (first >> shift) & 0xFF;
        const int b = (second >> shift) & 0xFF;
        return static_cast<platform::COLORREF>(((64 - i) * a + i * b) / 64) << shift;
    };
    return mix(0) | mix(8) | mix(16);
}

void CSizingControlBarCF::DrawCaption(platform::ui::DrawContext& dc, const Rect& window, bool gradient) {
    using platform::ui::FromWx;
    const Rect close = CloseButton();
    Rect strip;
    if (IsHorzDocked()) {
        strip = {client_.left - captionSize - 1, close.bottom + 3, client_.left - captionSize + 10,
                 client_.bottom};
    } else {
        strip = {client_.left, client_.top - captionSize - 1, close.left - 3, client_.top - captionSize + 10};
    }
    strip = strip.Inflate(1);
    const auto first = FromWx(
        wxSystemSettings::GetColour(active ? wxSYS_COLOUR_ACTIVECAPTION : wxSYS_COLOUR_INACTIVECAPTION));
    const auto second = FromWx(wxSystemSettings::GetColour(active ? wxSYS_COLOUR_GRADIENTACTIVECAPTION
                                                                  : wxSYS_COLOUR_GRADIENTINACTIVECAPTION));
    dc.FillSolidRect(window, FromWx(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE)));
    if (!gradient) {
        dc.FillSolidRect(strip, first);
    } else {
        const bool vertical = IsHorzDocked();
        const int length = vertical ? strip.Height() : strip.Width();
        for (int i = 0; i < 64; ++i) {
            const int from = length * i / 64;
            const int to = length * (i + 1) / 64;
            if (to <= from) continue;
            Rect band = vertical ? Rect{strip.left, strip.bottom - to, strip.right, strip.bottom - from}
                                 : Rect{strip.left + from, strip.top, strip.left + to, strip.bottom};
            dc.FillSolidRect(band, GradientBand(i, first, second));
        }
    }
    dc.SetFont(platform::ui::FontSpec{"Arial", 8.5});
    dc.SetTextColor(FromWx(
        wxSystemSettings::GetColour(active ? wxSYS_COLOUR_CAPTIONTEXT : wxSYS_COLOUR_INACTIVECAPTIONTEXT)));
    dc.SetClip(strip);
    const std::string title = GetLabel().utf8_string();
    if (IsHorzDocked())
        dc.TextOutRotated(strip.left - 1 + 1, strip.bottom - 3, title, 90);
    else
        dc.TextOut(strip.left + 3, strip.top - 1, title);
    dc.ResetClip();
    const auto light = FromWx(wxSystemSettings::GetColour(wxSYS_COLOUR_3DHIGHLIGHT));
    const auto shadow = FromWx(wxSystemSettings::GetColour(wxSYS_COLOUR_3DSHADOW));
    if (pushed)
        dc.Draw3dRect(close, shadow, light);
    else if (hover)
        dc.Draw3dRect(close, light, shadow);
    dc.SetPen(FromWx(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNTEXT)), 1);
    dc.Line(close.left + 3, close.top + 3, close.right - 3, close.bottom - 3);
    dc.Line(close.right - 4, close.top + 3, close.left + 2, close.bottom - 3);
}
