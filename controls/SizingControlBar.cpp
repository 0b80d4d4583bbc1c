#include "controls/SizingControlBar.h"

#include <algorithm>
#include <cstdio>

#include <wx/dcbuffer.h>
#include <wx/fontenum.h>
#include <wx/settings.h>

#include "controls/SizingControlBarDock.h"

namespace controls {

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

CSizingControlBar::~CSizingControlBar() {
    if (tracking_ && HasCapture()) ReleaseMouse();
    tracker_.reset();
    if (site_ != nullptr) site_->RemoveBar(this);
}

bool CSizingControlBar::Create(const std::string& title, wxWindow* parent, int id, uint32_t style) {
    style_ = style & 0x40FFFF;
    barId_ = id;
    if (!wxPanel::Create(parent, id > 0 && id < 0x7FFF ? id : wxID_ANY, wxDefaultPosition, wxDefaultSize,
                         wxCLIP_CHILDREN | wxFULL_REPAINT_ON_RESIZE))
        return false;
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    SetName(wxString::FromUTF8(title));
    wxPanel::SetLabel(wxString::FromUTF8(title));
    Bind(wxEVT_LEFT_DOWN, [this](wxMouseEvent& e) { OnLeftDown(e); });
    Bind(wxEVT_LEFT_UP, [this](wxMouseEvent& e) { OnLeftUp(e); });
    Bind(wxEVT_MOTION, [this](wxMouseEvent& e) { OnMotion(e); });
    Bind(wxEVT_LEFT_DCLICK, &CSizingControlBar::OnLeftDClick, this);
    Bind(wxEVT_RIGHT_DOWN, &CSizingControlBar::OnRightDown, this);
    Bind(wxEVT_MOUSE_CAPTURE_LOST, &CSizingControlBar::OnCaptureLost, this);
    Bind(wxEVT_SIZE, &CSizingControlBar::OnSizeEvent, this);
    Bind(wxEVT_PAINT, &CSizingControlBar::OnPaintEvent, this);
    Bind(wxEVT_IDLE, &CSizingControlBar::OnIdleEvent, this);
    Bind(wxEVT_SYS_COLOUR_CHANGED, &CSizingControlBar::OnSettingChanged, this);
    // Closing a bar is the frame's business (its close button hides it): the bar stays.
    Bind(wxEVT_CLOSE_WINDOW, [](wxCloseEvent& e) {
        if (e.CanVeto()) e.Veto();
    });
    RecalcNcLayout();
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
    SizingBarDockSite::ShiftFloatingEntries(profile, name, barId_, 1,
                                            SizingBarDockSite::SmallCaptionHeight() + 1);
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

// ---------------------------------------------------------------- the window

namespace {

Point ScreenPoint(const wxMouseEvent& event, const wxWindow* window) {
    const wxPoint p = window->ClientToScreen(event.GetPosition());
    return {p.x, p.y};
}

bool IsSizingHit(int hit) {
    return hit >= 10 && hit <= 17;
}

bool IsAcross(int hit) {
    return hit == CSizingControlBar::kHitLeft || hit == CSizingControlBar::kHitRight;
}

}  // namespace

void CSizingControlBar::SetNeighbours(bool before, bool after) {
    before_ = before;
    after_ = after;
    RecalcNcLayout();
}

void CSizingControlBar::RecalcNcLayout() {
    const wxSize size = GetSize();
    client_ = LayoutNc({0, 0, size.x, size.y}, before_, after_);
    if (style_ & kSizeChild) {
        const wxWindowList& children = GetChildren();
        if (!children.empty() && !client_.IsEmpty())
            children.front()->SetSize(client_.left, client_.top, client_.Width(), client_.Height());
    }
    Refresh();
}

void CSizingControlBar::SetLabel(const wxString& label) {
    wxPanel::SetLabel(label);
    if (IsFloating() && site_ != nullptr) {
        if (SizingBarMiniFrame* frame = site_->MiniFrameOf(this)) {
            frame->SetTitle(label);
            frame->Refresh();
        }
        site_->DelayRecalcLayout();
    }
}

Rect CSizingControlBar::EdgeRect(int hit) const {
    const Rect w = (style_ & kDrawEdges) ? window_.Inflate(-1) : window_;
    const int e = edgeWidth;
    switch (hit) {
        case kHitLeft:
            return {w.left, w.top, w.left + e, w.bottom};
        case kHitRight:
            return {w.right - e, w.top, w.right, w.bottom};
        case kHitTop:
            return {w.left, w.top, w.right, w.top + e};
        case kHitBottom:
            return {w.left, w.bottom - e, w.right, w.bottom};
        default:
            return {};
    }
}

void CSizingControlBar::StartTracking(int hit, Point screen) {
    if (site_ == nullptr || IsFloating() || tracking_ || !IsSizingHit(hit)) return;
    const std::vector<CSizingControlBar*> bars = site_->RowOf(this);
    const auto it = std::find(bars.begin(), bars.end(), this);
    if (it == bars.end()) return;
    if (!HasCapture()) CaptureMouse();
    if (!dragFullWindows && site_->Frame() != nullptr) {
        site_->Frame()->Refresh();
        site_->Frame()->Update();
    }
    const int position = IsAcross(hit) ? screen.x : screen.y;
    const wxPoint origin = GetScreenPosition();
    const Rect edge = EdgeRect(hit).Offset(origin.x, origin.y);
    const int middle = IsAcross(hit) ? (edge.left + edge.right) / 2 : (edge.top + edge.bottom) / 2;
    tracking_ = true;
    trackHit_ = hit;
    trackStart_ = trackPos_ = position;
    trackOffset_ = position - middle;
    trackRow_ = std::make_unique<SizingBarRow>(bars);
    trackRow_->StartTracking(static_cast<int>(it - bars.begin()), hit, position, site_->FreeExtent(this));
    InvertTracker();
}

void CSizingControlBar::UpdateTrackSize(Point screen) {
    if (!tracking_ || !trackRow_) return;
    const int along = IsAcross(trackHit_) ? screen.x : screen.y;
    const int position = std::clamp(along, trackRow_->LowerLimit(), trackRow_->UpperLimit());
    if (position == trackRow_->Position()) return;
    InvertTracker();
    trackRow_->UpdateTrackSize(position);
    trackPos_ = position;
    InvertTracker();
    if (dragFullWindows && site_ != nullptr) site_->DelayRecalcLayout();
}

void CSizingControlBar::StopTracking() {
    if (!tracking_) return;
    InvertTracker();
    tracking_ = false;
    trackRow_.reset();
    if (HasCapture()) ReleaseMouse();
    if (site_ != nullptr) site_->DelayRecalcLayout();
}

void CSizingControlBar::InvertTracker() {
    if (dragFullWindows) return;
    if (!tracker_) tracker_ = std::make_unique<SizingBarTracker>(this);
    if (tracker_->IsShown()) {
        tracker_->Hide();
        return;
    }
    const wxPoint origin = GetScreenPosition();
    const int moved = trackPos_ - trackStart_;
    Rect r = EdgeRect(trackHit_).Offset(origin.x, origin.y);
    r = IsAcross(trackHit_) ? r.Offset(moved, 0) : r.Offset(0, moved);
    tracker_->Show(r);
}

Rect CSizingControlBar::TrackerRect() const {
    return IsTrackerShown() ? tracker_->GetRect() : Rect{};
}

bool CSizingControlBar::IsTrackerShown() const {
    return tracker_ && tracker_->IsShown();
}

void CSizingControlBar::PaintNc(platform::ui::DrawContext& dc) {
    using platform::ui::FromWx;
    dc.FillSolidRect(window_, FromWx(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE)));
    if (style_ & kDrawEdges) {
        const auto light = FromWx(wxSystemSettings::GetColour(wxSYS_COLOUR_3DHIGHLIGHT));
        const auto shadow = FromWx(wxSystemSettings::GetColour(wxSYS_COLOUR_3DSHADOW));
        const std::pair<uint32_t, int> edges[] = {
            {kEdgeLeft, kHitLeft}, {kEdgeTop, kHitTop}, {kEdgeRight, kHitRight}, {kEdgeBottom, kHitBottom}};
        for (const auto& [flag, hit] : edges)
            if (edges_ & flag) dc.Draw3dRect(EdgeRect(hit), light, shadow);
    }
    PaintGripper(dc, client_);
}

void CSizingControlBar::PaintGripper(platform::ui::DrawContext&, const Rect&) {}

void CSizingControlBar::OnPaintEvent(wxPaintEvent&) {
    // Drawn off-screen and copied, so that sizing does not flicker.
    wxBufferedPaintDC paint(this);
    platform::ui::DrawContext dc(paint);
    PaintNc(dc);
}

void CSizingControlBar::OnSizeEvent(wxSizeEvent& event) {
    RecalcNcLayout();
    event.Skip();
}

void CSizingControlBar::OnIdleEvent(wxIdleEvent& event) {
    OnUpdateCmdUI();
    event.Skip();
}

void CSizingControlBar::OnSettingChanged(wxSysColourChangedEvent& event) {
    Refresh();
    event.Skip();
}

void CSizingControlBar::SetEdgeCursor(int hit) {
    if (hit == cursorHit_) return;
    cursorHit_ = hit;
    if (!IsSizingHit(hit))
        SetCursor(wxNullCursor);
    else
        SetCursor(wxCursor(IsAcross(hit) ? wxCURSOR_SIZEWE : wxCURSOR_SIZENS));
}

void CSizingControlBar::OnLeftDown(wxMouseEvent& event) {
    const Point p{event.GetX(), event.GetY()};
    const int hit = NcHitTest(p);
    if (IsSizingHit(hit) && !IsFloating() && !tracking_) {
        StartTracking(hit, ScreenPoint(event, this));
        return;
    }
    if (hit == kHitClient && site_ != nullptr && !tracking_) {
        site_->StartDrag(this, ScreenPoint(event, this), this);
        return;
    }
    event.Skip();
}

void CSizingControlBar::OnLeftUp(wxMouseEvent& event) {
    if (tracking_) {
        StopTracking();
        return;
    }
    event.Skip();
}

void CSizingControlBar::OnMotion(wxMouseEvent& event) {
    if (tracking_) {
        UpdateTrackSize(ScreenPoint(event, this));
        return;
    }
    SetEdgeCursor(IsFloating() ? kHitClient : NcHitTest({event.GetX(), event.GetY()}));
    event.Skip();
}

void CSizingControlBar::OnLeftDClick(wxMouseEvent& event) {
    if (site_ != nullptr && NcHitTest({event.GetX(), event.GetY()}) == kHitClient) {
        // Moves this window to another parent: not from inside its own handler.
        CallAfter([this] {
            if (site_ != nullptr) site_->ToggleDocking(this);
        });
        return;
    }
    event.Skip();
}

void CSizingControlBar::OnRightDown(wxMouseEvent& event) {
    if (tracking_) StopTracking();
    event.Skip();
}

void CSizingControlBar::OnCaptureLost(wxMouseCaptureLostEvent& event) {
    if (closePressed_) {
        closePressed_ = false;
        Refresh();
        return;
    }
    if (!tracking_) {
        event.Skip();
        return;
    }
    InvertTracker();
    tracking_ = false;
    trackRow_.reset();
    if (site_ != nullptr) site_->DelayRecalcLayout();
}

// ---------------------------------------------------------------- rows

size_t SizingBarRow::Negotiate(int rowLength) {
    if (bars_.empty()) return 0;
    int total = 2;
    size_t count = bars_.size();
    for (size_t j = 0; j < bars_.size(); ++j) {
        total += bars_[j]->MinLength() - 2;
        if (total > rowLength) {
            if (j == 0) {
                // Not even the first bar fits: it keeps its minimum.
                bars_[0]->SetLength(bars_[0]->MinLength());
                return bars_.size();
            }
            count = j;  // the bars from j on go to the next row
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
        return count;
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
    return count;
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

void CSizingControlBarG::OnLeftDown(wxMouseEvent& event) {
    const Point p{event.GetX(), event.GetY()};
    if (!tracking_ && NcHitTest(p) == kHitClose) {
        closePressed_ = true;
        if (!HasCapture()) CaptureMouse();
        UpdateCloseButton(p, true);
        Refresh();
        return;
    }
    CSizingControlBar::OnLeftDown(event);
}

void CSizingControlBarG::OnLeftUp(wxMouseEvent& event) {
    if (!closePressed_) {
        CSizingControlBar::OnLeftUp(event);
        return;
    }
    closePressed_ = false;
    if (HasCapture()) ReleaseMouse();
    const Point p{event.GetX(), event.GetY()};
    const bool over = CloseButton().Contains(p);
    UpdateCloseButton(p, false);
    Refresh();
    if (!over) return;
    if (site_ != nullptr)
        site_->ShowControlBar(this, false, false);
    else
        Hide();
}

void CSizingControlBarG::OnMotion(wxMouseEvent& event) {
    const Point p{event.GetX(), event.GetY()};
    if (closePressed_ || !tracking_) {
        if (UpdateCloseButton(p, closePressed_ || event.LeftIsDown())) Refresh();
        if (closePressed_) return;
    }
    CSizingControlBar::OnMotion(event);
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
    dc.FillSolidRect(window, platform::ui::FromWx(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE)));
    PaintCaption(dc, gradient);
}

void CSizingControlBarCF::PaintCaption(platform::ui::DrawContext& dc, bool gradient) {
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
    dc.SetFont(platform::ui::FontSpec{captionFont, 8.5});
    dc.SetBkTransparent(true);
    dc.SetTextColor(FromWx(
        wxSystemSettings::GetColour(active ? wxSYS_COLOUR_CAPTIONTEXT : wxSYS_COLOUR_INACTIVECAPTIONTEXT)));
    if (!strip.IsEmpty()) {
        dc.SetClip(strip);
        const std::string title = GetLabel().utf8_string();
        if (IsHorzDocked())
            dc.TextOutRotated(strip.left - 1 + 1, strip.bottom - 3, title, 90);
        else
            dc.TextOut(strip.left + 3, strip.top - 1, title);
        dc.ResetClip();
    }
    PaintCloseButton(dc);
}

void CSizingControlBarG::PaintCloseButton(platform::ui::DrawContext& dc) {
    using platform::ui::FromWx;
    const Rect close = CloseButton();
    const auto light = FromWx(wxSystemSettings::GetColour(wxSYS_COLOUR_3DHIGHLIGHT));
    const auto shadow = FromWx(wxSystemSettings::GetColour(wxSYS_COLOUR_3DSHADOW));
    if (pushed)
        dc.Draw3dRect(close, shadow, light);
    else if (hover)
        dc.Draw3dRect(close, light, shadow);
    // The glyph: a small cross in the button's text colour, one pixel lower when pushed.
    const int shift = pushed ? 1 : 0;
    dc.SetPen(FromWx(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNTEXT)), 1);
    dc.Line(close.left + 3 + shift, close.top + 3 + shift, close.right - 3 + shift, close.bottom - 3 + shift);
    dc.Line(close.right - 4 + shift, close.top + 3 + shift, close.left + 2 + shift, close.bottom - 3 + shift);
}

void CSizingControlBarG::PaintGripper(platform::ui::DrawContext& dc, const Rect&) {
    PaintCloseButton(dc);
}

void CSizingControlBarCF::PaintGripper(platform::ui::DrawContext& dc, const Rect&) {
    if (HasGripper()) PaintCaption(dc, GradientCaptions());
}

CSizingControlBarCF::CSizingControlBarCF()
    : captionFont(wxFontEnumerator::IsValidFacename("Tahoma") ? "Tahoma" : "Arial") {
    Bind(wxEVT_CHILD_FOCUS, &CSizingControlBarCF::OnChildFocus, this);
}

bool CSizingControlBarCF::GradientCaptions() {
    return wxSystemSettings::GetColour(wxSYS_COLOUR_ACTIVECAPTION) !=
           wxSystemSettings::GetColour(wxSYS_COLOUR_GRADIENTACTIVECAPTION);
}

void CSizingControlBarCF::SetLabel(const wxString& label) {
    CSizingControlBarG::SetLabel(label);
    Refresh();
}

bool CSizingControlBarCF::UpdateActive(wxWindow* focus) {
    bool inside = false;
    for (wxWindow* w = focus; w != nullptr; w = w->GetParent()) {
        if (w == this) {
            inside = true;
            break;
        }
        if (w->IsTopLevel()) break;
    }
    if (inside == active) return false;
    active = inside;
    return true;
}

bool CSizingControlBarCF::OnUpdateCmdUI() {
    bool changed = false;
    if (IsShownOnScreen() && !closePressed_) {
        const wxMouseState mouse = wxGetMouseState();
        const wxPoint p = ScreenToClient(mouse.GetPosition());
        changed = UpdateCloseButton({p.x, p.y}, mouse.LeftIsDown());
    }
    changed = UpdateActive(wxWindow::FindFocus()) || changed;
    if (changed) Refresh();
    return changed;
}

void CSizingControlBarCF::OnChildFocus(wxChildFocusEvent& event) {
    if (UpdateActive(event.GetWindow())) Refresh();
    event.Skip();
}

}  // namespace controls
