#include "controls/SizingControlBarDock.h"

#include <algorithm>
#include <cstdlib>

#include <wx/dcbuffer.h>
#include <wx/image.h>
#include <wx/settings.h>

namespace controls {

using platform::ui::DrawContext;
using platform::ui::FromWx;
using platform::ui::Point;
using platform::ui::Rect;
using platform::ui::Size;

namespace {

using Bar = CSizingControlBar;

// Top and bottom span the frame's width; left and right fill what is left between them.
constexpr unsigned kSides[] = {Bar::kDockTop, Bar::kDockBottom, Bar::kDockLeft, Bar::kDockRight};
// How far inside a side's bars (or its edge, when it has none) a dragged bar docks there.
constexpr int kDockZone = 16;
constexpr int kOutline = 3;
// Stored counts beyond these are damage, not state.
constexpr int kMaxEntries = 1024;

bool IsSide(unsigned id) {
    return id == Bar::kDockTop || id == Bar::kDockBottom || id == Bar::kDockLeft || id == Bar::kDockRight;
}

bool IsHorzSide(unsigned id) {
    return id == Bar::kDockTop || id == Bar::kDockBottom;
}

Rect ScreenRectOf(const wxWindow* window) {
    const wxPoint p = window->GetScreenPosition();
    const wxSize s = window->GetSize();
    return Rect::FromXYWH(p.x, p.y, s.x, s.y);
}

std::string EntrySection(const std::string& name, int index) {
    return name + "-Bar" + std::to_string(index);
}

}  // namespace

// ---------------------------------------------------------------- tracker

SizingBarTracker::SizingBarTracker(wxWindow* owner) : window_(new wxPopupWindow(owner, wxBORDER_NONE)) {
    window_->SetBackgroundStyle(wxBG_STYLE_PAINT);
    window_->Bind(wxEVT_PAINT, [this](wxPaintEvent&) {
        wxPaintDC paint(window_);
        DrawContext dc(paint);
        DrawHalftone(dc, {0, 0, rect_.Width(), rect_.Height()});
    });
}

SizingBarTracker::~SizingBarTracker() {
    window_->Destroy();
}

void SizingBarTracker::Show(const Rect& screen) {
    rect_ = screen;
    shown_ = !screen.IsEmpty();
    if (!shown_) {
        window_->Hide();
        return;
    }
    window_->SetSize(screen.left, screen.top, screen.Width(), screen.Height());
    window_->Show();
    window_->Raise();
    window_->Refresh();
}

void SizingBarTracker::Hide() {
    shown_ = false;
    window_->Hide();
}

void SizingBarTracker::DrawHalftone(DrawContext& dc, const Rect& rect) {
    if (rect.IsEmpty()) return;
    // Every other pixel dark, as the classic halftone brush.
    wxImage image(rect.Width(), rect.Height());
    unsigned char* data = image.GetData();
    for (int y = 0; y < rect.Height(); ++y) {
        for (int x = 0; x < rect.Width(); ++x) {
            const unsigned char v = ((x + y + rect.left + rect.top) & 1) ? 255 : 0;
            unsigned char* px = data + 3 * (static_cast<size_t>(y) * rect.Width() + x);
            px[0] = px[1] = px[2] = v;
        }
    }
    dc.DrawBitmap(wxBitmap(image), rect.left, rect.top);
}

// ---------------------------------------------------------------- mini frame

SizingBarMiniFrame::SizingBarMiniFrame(SizingBarDockSite& site, wxWindow* parent, CSizingControlBar* bar)
    : wxFrame(parent, wxID_ANY, bar->GetLabel(), wxDefaultPosition, wxDefaultSize,
              wxFRAME_TOOL_WINDOW | wxFRAME_NO_TASKBAR | wxFRAME_FLOAT_ON_PARENT | wxBORDER_NONE),
      site_(&site),
      bar_(bar) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Bind(wxEVT_PAINT, &SizingBarMiniFrame::OnPaintEvent, this);
    Bind(wxEVT_LEFT_DOWN, &SizingBarMiniFrame::OnLeftDown, this);
    Bind(wxEVT_LEFT_UP, &SizingBarMiniFrame::OnLeftUp, this);
    Bind(wxEVT_LEFT_DCLICK, &SizingBarMiniFrame::OnLeftDClick, this);
    Bind(wxEVT_MOTION, &SizingBarMiniFrame::OnMotion, this);
    Bind(wxEVT_MOUSE_CAPTURE_LOST, &SizingBarMiniFrame::OnCaptureLost, this);
    Bind(wxEVT_SIZE, &SizingBarMiniFrame::OnSizeEvent, this);
    Bind(wxEVT_CLOSE_WINDOW, &SizingBarMiniFrame::OnClose, this);
}

void SizingBarMiniFrame::FitBar() {
    if (bar_ == nullptr) return;
    const int caption = SizingBarDockSite::SmallCaptionHeight();
    const Size size = bar_->CalcDynamicLayout(0, CSizingControlBar::kMruWidth);
    SetClientSize(size.cx + 2, size.cy + caption + 2);
    bar_->SetSize(1, caption + 1, size.cx, size.cy);
    bar_->RecalcNcLayout();
}

Rect SizingBarMiniFrame::CaptionRect() const {
    const wxSize size = GetClientSize();
    return {1, 1, size.x - 1, 1 + SizingBarDockSite::SmallCaptionHeight()};
}

Rect SizingBarMiniFrame::CloseRect() const {
    const Rect caption = CaptionRect();
    const int top = caption.top + (caption.Height() - 11) / 2;
    return Rect::FromXYWH(caption.right - 13, top, 11, 11);
}

void SizingBarMiniFrame::Paint(DrawContext& dc) {
    const wxSize size = GetClientSize();
    const Rect all{0, 0, size.x, size.y};
    dc.FillSolidRect(all, FromWx(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE)));
    dc.FrameRect(all, FromWx(wxSystemSettings::GetColour(wxSYS_COLOUR_3DDKSHADOW)));
    const Rect caption = CaptionRect();
    dc.FillSolidRect(caption, FromWx(wxSystemSettings::GetColour(wxSYS_COLOUR_ACTIVECAPTION)));
    const Rect close = CloseRect();
    dc.SetFont(platform::ui::FontSpec{"Arial", 8.5});
    dc.SetBkTransparent(true);
    dc.SetTextColor(FromWx(wxSystemSettings::GetColour(wxSYS_COLOUR_CAPTIONTEXT)));
    dc.DrawText(GetTitle().utf8_string(), {caption.left + 3, caption.top, close.left - 2, caption.bottom},
                platform::ui::text::VCenter);
    if (closePressed_)
        dc.Draw3dRect(close, FromWx(wxSystemSettings::GetColour(wxSYS_COLOUR_3DSHADOW)),
                      FromWx(wxSystemSettings::GetColour(wxSYS_COLOUR_3DHIGHLIGHT)));
    dc.SetPen(FromWx(wxSystemSettings::GetColour(wxSYS_COLOUR_CAPTIONTEXT)), 1);
    dc.Line(close.left + 3, close.top + 3, close.right - 3, close.bottom - 3);
    dc.Line(close.right - 4, close.top + 3, close.left + 2, close.bottom - 3);
}

void SizingBarMiniFrame::OnPaintEvent(wxPaintEvent&) {
    wxBufferedPaintDC paint(this);
    DrawContext dc(paint);
    Paint(dc);
}

void SizingBarMiniFrame::OnSizeEvent(wxSizeEvent&) {
    // The bar sits inside our border and below the caption; no automatic layout.
    if (bar_ == nullptr) return;
    const int caption = SizingBarDockSite::SmallCaptionHeight();
    const wxSize size = GetClientSize();
    bar_->SetSize(1, caption + 1, std::max(size.x - 2, 0), std::max(size.y - caption - 2, 0));
    bar_->RecalcNcLayout();
    Refresh();
}

void SizingBarMiniFrame::OnLeftDown(wxMouseEvent& event) {
    const Point p{event.GetX(), event.GetY()};
    if (CloseRect().Contains(p)) {
        closePressed_ = true;
        if (!HasCapture()) CaptureMouse();
        Refresh();
        return;
    }
    if (CaptionRect().Contains(p) && site_ != nullptr && bar_ != nullptr) {
        const wxPoint s = ClientToScreen(event.GetPosition());
        site_->StartDrag(bar_, {s.x, s.y}, this);
        return;
    }
    event.Skip();
}

void SizingBarMiniFrame::OnMotion(wxMouseEvent& event) {
    if (site_ != nullptr && site_->IsDragging()) {
        const wxPoint s = ClientToScreen(event.GetPosition());
        site_->MoveDrag({s.x, s.y}, event.ControlDown());
        return;
    }
    event.Skip();
}

void SizingBarMiniFrame::OnLeftUp(wxMouseEvent& event) {
    const Point p{event.GetX(), event.GetY()};
    if (closePressed_) {
        closePressed_ = false;
        if (HasCapture()) ReleaseMouse();
        Refresh();
        if (CloseRect().Contains(p)) CloseBar();
        return;
    }
    if (site_ != nullptr && site_->IsDragging()) {
        const wxPoint s = ClientToScreen(event.GetPosition());
        site_->DragMouseUp({s.x, s.y}, event.ControlDown());
        return;
    }
    event.Skip();
}

void SizingBarMiniFrame::OnLeftDClick(wxMouseEvent& event) {
    const Point p{event.GetX(), event.GetY()};
    if (CaptionRect().Contains(p) && !CloseRect().Contains(p)) {
        CSizingControlBar* bar = bar_;
        if (bar != nullptr) {
            // Docking destroys this frame: not from inside its own handler.
            bar->CallAfter([bar] {
                if (SizingBarDockSite* site = bar->DockSite()) site->ToggleDocking(bar);
            });
        }
        return;
    }
    event.Skip();
}

void SizingBarMiniFrame::OnCaptureLost(wxMouseCaptureLostEvent&) {
    closePressed_ = false;
    if (site_ != nullptr && site_->IsDragging()) site_->CancelDrag();
    Refresh();
}

void SizingBarMiniFrame::OnClose(wxCloseEvent&) {
    // Closing the small frame hides its bar; both stay for the next show.
    CloseBar();
}

void SizingBarMiniFrame::CloseBar() {
    if (site_ != nullptr && bar_ != nullptr)
        site_->ShowControlBar(bar_, false, false);
    else
        Hide();
}

// ---------------------------------------------------------------- the site

SizingBarDockSite::SizingBarDockSite(wxFrame* frame) : frame_(frame) {
    for (unsigned side : kSides) rows_[side];
    if (frame_ != nullptr) {
        frame_->Bind(wxEVT_SIZE, &SizingBarDockSite::OnFrameSize, this);
        frame_->Bind(wxEVT_DESTROY, &SizingBarDockSite::OnFrameDestroy, this);
        frame_->Bind(wxEVT_IDLE, &SizingBarDockSite::OnFrameIdle, this);
    }
}

SizingBarDockSite::~SizingBarDockSite() {
    CancelDrag();
    outline_.clear();
    for (auto& [bar, frame] : floating_) frame->Detach();
    for (CSizingControlBar* bar : order_) bar->SetDockSite(nullptr);
    if (viewWindow_ != nullptr) viewWindow_->Unbind(wxEVT_DESTROY, &SizingBarDockSite::OnViewDestroy, this);
    if (frame_ != nullptr) {
        frame_->Unbind(wxEVT_SIZE, &SizingBarDockSite::OnFrameSize, this);
        frame_->Unbind(wxEVT_DESTROY, &SizingBarDockSite::OnFrameDestroy, this);
        frame_->Unbind(wxEVT_IDLE, &SizingBarDockSite::OnFrameIdle, this);
    }
}

void SizingBarDockSite::OnFrameDestroy(wxWindowDestroyEvent& event) {
    event.Skip();
    if (event.GetEventObject() != frame_) return;  // a child's, passed up
    CancelDrag();
    outline_.clear();
    frame_->Unbind(wxEVT_SIZE, &SizingBarDockSite::OnFrameSize, this);
    frame_->Unbind(wxEVT_IDLE, &SizingBarDockSite::OnFrameIdle, this);
    frame_ = nullptr;
}

void SizingBarDockSite::OnFrameSize(wxSizeEvent&) {
    // Not skipped: the frame's own layout would stretch a lone bar over the client area.
    RecalcLayout();
}

void SizingBarDockSite::OnFrameIdle(wxIdleEvent& event) {
    if (layoutPending_) RecalcLayout();
    event.Skip();
}

void SizingBarDockSite::SetView(wxWindow* view) {
    if (viewWindow_ != nullptr) viewWindow_->Unbind(wxEVT_DESTROY, &SizingBarDockSite::OnViewDestroy, this);
    viewWindow_ = view;
    if (view != nullptr) view->Bind(wxEVT_DESTROY, &SizingBarDockSite::OnViewDestroy, this);
    RecalcLayout();
}

void SizingBarDockSite::OnViewDestroy(wxWindowDestroyEvent& event) {
    event.Skip();
    if (event.GetEventObject() == viewWindow_) viewWindow_ = nullptr;
}

void SizingBarDockSite::AddBar(CSizingControlBar* bar) {
    if (bar == nullptr || bars_.count(bar)) return;
    bars_[bar] = BarInfo{};
    order_.push_back(bar);
    bar->SetDockSite(this);
}

void SizingBarDockSite::RemoveBar(CSizingControlBar* bar) {
    if (!bars_.count(bar)) return;
    if (drag_.bar == bar) CancelDrag();
    for (auto& [side, rows] : rows_)
        for (auto& row : rows) row.erase(std::remove(row.begin(), row.end(), bar), row.end());
    if (auto it = floating_.find(bar); it != floating_.end()) {
        SizingBarMiniFrame* frame = it->second;
        floating_.erase(it);
        frame->Detach();
        if (!frame->IsBeingDeleted()) frame->Destroy();
    }
    bars_.erase(bar);
    order_.erase(std::remove(order_.begin(), order_.end(), bar), order_.end());
    bar->SetDockSite(nullptr);
    DelayRecalcLayout();
}

CSizingControlBar* SizingBarDockSite::FindBar(int barId) const {
    for (CSizingControlBar* bar : order_)
        if (bar->GetBarId() == barId) return bar;
    return nullptr;
}

SizingBarMiniFrame* SizingBarDockSite::MiniFrameOf(const CSizingControlBar* bar) const {
    auto it = floating_.find(const_cast<CSizingControlBar*>(bar));
    return it == floating_.end() ? nullptr : it->second;
}

void SizingBarDockSite::Unlink(CSizingControlBar* bar) {
    for (auto& [side, rows] : rows_)
        for (auto& row : rows) row.erase(std::remove(row.begin(), row.end(), bar), row.end());
    if (auto it = floating_.find(bar); it != floating_.end()) {
        SizingBarMiniFrame* frame = it->second;
        floating_.erase(it);
        frame->Detach();
        if (frame_ != nullptr) bar->Reparent(frame_);
        frame->Hide();
        frame->Destroy();
    }
}

void SizingBarDockSite::DockControlBar(CSizingControlBar* bar, unsigned dockBarId, int row, int index) {
    if (bar == nullptr || !IsSide(dockBarId) || frame_ == nullptr) return;
    AddBar(bar);
    const bool wasFloating = floating_.count(bar) != 0;
    Unlink(bar);
    if (bar->GetParent() != frame_) bar->Reparent(frame_);
    auto& rows = rows_[dockBarId];
    // Rows emptied by the unlink go, but not before the row index is read.
    if (row >= 0 && row < static_cast<int>(rows.size())) {
        auto& target = rows[row];
        const int at =
            index < 0 ? static_cast<int>(target.size()) : std::min(index, static_cast<int>(target.size()));
        if (!target.empty()) bar->keepSize = true;  // the bars already there give it room
        target.insert(target.begin() + at, bar);
    } else {
        rows.push_back({bar});
    }
    rows.erase(std::remove_if(rows.begin(), rows.end(), [](const auto& r) { return r.empty(); }), rows.end());
    bar->SetDockBarId(dockBarId);
    BarInfo& info = bars_[bar];
    info.lastDock = dockBarId;
    bar->Show(info.visible);
    if (wasFloating) bar->Refresh();
    if (batch_ == 0) RecalcLayout();
}

void SizingBarDockSite::FloatControlBar(CSizingControlBar* bar, Point screen) {
    if (bar == nullptr || frame_ == nullptr) return;
    AddBar(bar);
    BarInfo& info = bars_[bar];
    const int caption = SmallCaptionHeight();
    info.lastFloat = screen;
    info.floatedOnce = true;
    if (SizingBarMiniFrame* existing = MiniFrameOf(bar)) {
        existing->Move(screen.x - 1, screen.y - caption - 1);
        return;
    }
    Unlink(bar);
    auto* frame = new SizingBarMiniFrame(*this, frame_, bar);
    floating_[bar] = frame;
    bar->SetDockBarId(CSizingControlBar::kFloating);
    bar->Reparent(frame);
    bar->SetNeighbours(false, false);
    frame->FitBar();
    frame->Move(screen.x - 1, screen.y - caption - 1);
    bar->Show(info.visible);
    frame->Show(info.visible);
    if (batch_ == 0) RecalcLayout();
}

void SizingBarDockSite::ShowControlBar(CSizingControlBar* bar, bool show, bool delay) {
    auto it = bars_.find(bar);
    if (it == bars_.end()) return;
    it->second.visible = show;
    if (SizingBarMiniFrame* frame = MiniFrameOf(bar)) {
        bar->Show(show);
        frame->Show(show);
    } else {
        if (show && !bar->IsShown() && !bar->IsFloating()) bar->keepSize = true;
        bar->Show(show);
    }
    if (delay || batch_ != 0)
        DelayRecalcLayout();
    else
        RecalcLayout();
}

bool SizingBarDockSite::IsBarVisible(const CSizingControlBar* bar) const {
    auto it = bars_.find(const_cast<CSizingControlBar*>(bar));
    return it != bars_.end() && it->second.visible;
}

void SizingBarDockSite::ToggleDocking(CSizingControlBar* bar) {
    auto it = bars_.find(bar);
    if (it == bars_.end()) return;
    if (MiniFrameOf(bar) != nullptr) {
        DockControlBar(bar, it->second.lastDock);
        return;
    }
    Point at = it->second.lastFloat;
    if (!it->second.floatedOnce) {
        const wxPoint p = bar->GetScreenPosition();
        at = {p.x, p.y};
    }
    FloatControlBar(bar, at);
}

const std::vector<std::vector<CSizingControlBar*>>& SizingBarDockSite::Rows(unsigned dockBarId) const {
    static const std::vector<std::vector<CSizingControlBar*>> none;
    auto it = rows_.find(dockBarId);
    return it == rows_.end() ? none : it->second;
}

std::vector<CSizingControlBar*> SizingBarDockSite::RowOf(const CSizingControlBar* bar) const {
    for (const auto& [side, rows] : rows_) {
        for (const auto& row : rows) {
            if (std::find(row.begin(), row.end(), bar) == row.end()) continue;
            std::vector<CSizingControlBar*> shown;
            for (CSizingControlBar* b : row)
                if (IsBarVisible(b)) shown.push_back(b);
            return shown;
        }
    }
    return {};
}

int SizingBarDockSite::FreeExtent(const CSizingControlBar* bar) const {
    return bar->IsHorzDocked() ? view_.Height() : view_.Width();
}

void SizingBarDockSite::DelayRecalcLayout() {
    layoutPending_ = frame_ != nullptr;
}

void SizingBarDockSite::RecalcLayout() {
    layoutPending_ = false;
    if (frame_ == nullptr) return;
    const wxSize client = frame_->GetClientSize();
    Rect area{0, 0, client.x, client.y};
    for (unsigned side : kSides) {
        auto& rows = rows_[side];
        rows.erase(std::remove_if(rows.begin(), rows.end(), [](const auto& r) { return r.empty(); }),
                   rows.end());
        const Rect before = area;
        rowRects_[side].clear();
        for (size_t r = 0; r < rows.size(); ++r) PlaceRow(side, r, area);
        switch (side) {
            case Bar::kDockTop:
                sideRects_[side] = {before.left, before.top, before.right, area.top};
                break;
            case Bar::kDockBottom:
                sideRects_[side] = {before.left, area.bottom, before.right, before.bottom};
                break;
            case Bar::kDockLeft:
                sideRects_[side] = {before.left, before.top, area.left, before.bottom};
                break;
            default:
                sideRects_[side] = {area.right, before.top, before.right, before.bottom};
                break;
        }
    }
    view_ = area;
    if (viewWindow_ != nullptr)
        viewWindow_->SetSize(area.left, area.top, std::max(area.Width(), 0), std::max(area.Height(), 0));
}

void SizingBarDockSite::PlaceRow(unsigned side, size_t rowIndex, Rect& area) {
    auto& rows = rows_[side];
    std::vector<CSizingControlBar*> shown;
    for (CSizingControlBar* bar : rows[rowIndex])
        if (IsBarVisible(bar)) shown.push_back(bar);
    if (shown.empty()) {
        rowRects_[side].push_back({});
        return;
    }
    const bool horizontal = IsHorzSide(side);
    // The row's length as the bars measure it: they overlap their neighbours by 2 pixels.
    const int length = horizontal ? area.Width() + 2 : area.Height() - 2;
    SizingBarRow row(shown);
    const size_t kept = row.Negotiate(length);
    if (kept < shown.size()) {
        auto& all = rows[rowIndex];
        auto first = std::find(all.begin(), all.end(), shown[kept]);
        std::vector<CSizingControlBar*> moved(first, all.end());
        all.erase(first, all.end());
        rows.insert(rows.begin() + static_cast<long>(rowIndex) + 1, std::move(moved));
        shown.resize(kept);
    }
    const std::vector<int> starts = SizingBarRow(shown).Align();
    int thickness = 0;
    for (CSizingControlBar* bar : shown) {
        const Size s = bar->CalcFixedLayout(false, horizontal);
        thickness = std::max(thickness, horizontal ? s.cy : s.cx);
    }
    Rect rowRect;
    switch (side) {
        case Bar::kDockTop:
            rowRect = {area.left, area.top, area.right, area.top + thickness};
            area.top += thickness;
            break;
        case Bar::kDockBottom:
            rowRect = {area.left, area.bottom - thickness, area.right, area.bottom};
            area.bottom -= thickness;
            break;
        case Bar::kDockLeft:
            rowRect = {area.left, area.top, area.left + thickness, area.bottom};
            area.left += thickness;
            break;
        default:
            rowRect = {area.right - thickness, area.top, area.right, area.bottom};
            area.right -= thickness;
            break;
    }
    rowRects_[side].push_back(rowRect);
    for (size_t i = 0; i < shown.size(); ++i) {
        CSizingControlBar* bar = shown[i];
        const Size s = bar->CalcFixedLayout(false, horizontal);
        Rect r = horizontal ? Rect::FromXYWH(rowRect.left + starts[i], rowRect.top, s.cx, thickness)
                            : Rect::FromXYWH(rowRect.left, rowRect.top + starts[i], thickness, s.cy);
        bar->SetDockBarId(side);
        bar->SetSize(r.left, r.top, r.Width(), r.Height());
        bar->SetNeighbours(i > 0, i + 1 < shown.size());
    }
}

// ---------------------------------------------------------------- dragging

Rect SizingBarDockSite::ClientScreenRect() const {
    if (frame_ == nullptr) return {};
    const wxPoint origin = frame_->ClientToScreen(wxPoint(0, 0));
    const wxSize size = frame_->GetClientSize();
    return Rect::FromXYWH(origin.x, origin.y, size.x, size.y);
}

void SizingBarDockSite::StartDrag(CSizingControlBar* bar, Point screen, wxWindow* captureWindow) {
    if (IsDragging() || frame_ == nullptr || !bars_.count(bar)) return;
    const Rect barRect = ScreenRectOf(bar);
    drag_ = Drag{};
    drag_.bar = bar;
    drag_.capture = captureWindow;
    drag_.offset = {screen.x - barRect.left, screen.y - barRect.top};
    drag_.start = screen;
    if (captureWindow != nullptr && !captureWindow->HasCapture()) captureWindow->CaptureMouse();
    MoveDrag(screen, false);
}

void SizingBarDockSite::MoveDrag(Point screen, bool noDocking) {
    if (!IsDragging()) return;
    CSizingControlBar* bar = drag_.bar;
    drag_.target = CSizingControlBar::kFloating;
    drag_.row = drag_.index = -1;
    const Rect client = ClientScreenRect();
    if (!noDocking && client.Contains(screen)) {
        for (unsigned side : kSides) {
            Rect zone = sideRects_[side].Offset(client.left, client.top);
            switch (side) {
                case Bar::kDockTop:
                    zone.bottom += kDockZone;
                    break;
                case Bar::kDockBottom:
                    zone.top -= kDockZone;
                    break;
                case Bar::kDockLeft:
                    zone.right += kDockZone;
                    break;
                default:
                    zone.left -= kDockZone;
                    break;
            }
            if (!zone.Contains(screen)) continue;
            drag_.target = side;
            const auto& rects = rowRects_[side];
            const auto& rows = rows_[side];
            for (size_t k = 0; k < rects.size() && k < rows.size(); ++k) {
                if (!rects[k].Offset(client.left, client.top).Contains(screen)) continue;
                drag_.row = static_cast<int>(k);
                // Before the first bar whose middle lies past the pointer.
                int index = 0;
                for (CSizingControlBar* other : rows[k]) {
                    if (other == bar) continue;
                    const Rect r = ScreenRectOf(other);
                    const int middle = IsHorzSide(side) ? (r.left + r.right) / 2 : (r.top + r.bottom) / 2;
                    if ((IsHorzSide(side) ? screen.x : screen.y) < middle) break;
                    ++index;
                }
                drag_.index = index;
                break;
            }
            break;
        }
    }
    if (drag_.target == CSizingControlBar::kFloating) {
        const Size s = bar->CalcDynamicLayout(0, CSizingControlBar::kMruWidth);
        const int caption = SmallCaptionHeight();
        drag_.rect = Rect::FromXYWH(screen.x - drag_.offset.x - 1, screen.y - drag_.offset.y - caption - 1,
                                    s.cx + 2, s.cy + caption + 2);
    } else {
        const Size s = bar->CalcFixedLayout(false, IsHorzSide(drag_.target));
        const int dx = std::clamp(drag_.offset.x, 0, std::max(s.cx - 1, 0));
        const int dy = std::clamp(drag_.offset.y, 0, std::max(s.cy - 1, 0));
        drag_.rect = Rect::FromXYWH(screen.x - dx, screen.y - dy, s.cx, s.cy);
    }
    ShowDragOutline(drag_.rect);
}

void SizingBarDockSite::ShowDragOutline(const Rect& r) {
    if (frame_ == nullptr) return;
    while (outline_.size() < 4) outline_.push_back(std::make_unique<SizingBarTracker>(frame_));
    outline_[0]->Show({r.left, r.top, r.right, r.top + kOutline});
    outline_[1]->Show({r.left, r.bottom - kOutline, r.right, r.bottom});
    outline_[2]->Show({r.left, r.top + kOutline, r.left + kOutline, r.bottom - kOutline});
    outline_[3]->Show({r.right - kOutline, r.top + kOutline, r.right, r.bottom - kOutline});
}

bool SizingBarDockSite::IsDragOutlineShown() const {
    return !outline_.empty() && outline_[0]->IsShown();
}

void SizingBarDockSite::ReleaseDragCapture() {
    if (drag_.capture != nullptr && drag_.capture->HasCapture()) drag_.capture->ReleaseMouse();
    drag_.capture = nullptr;
}

void SizingBarDockSite::CancelDrag() {
    ReleaseDragCapture();
    for (auto& part : outline_) part->Hide();
    drag_ = Drag{};
}

void SizingBarDockSite::DragMouseUp(Point screen, bool noDocking) {
    if (!IsDragging()) return;
    ReleaseDragCapture();
    CSizingControlBar* bar = drag_.bar;
    bar->CallAfter([bar, screen, noDocking] {
        if (SizingBarDockSite* site = bar->DockSite()) site->EndDrag(screen, noDocking);
    });
}

void SizingBarDockSite::EndDrag(Point screen, bool noDocking) {
    if (!IsDragging()) return;
    MoveDrag(screen, noDocking);
    const Drag drag = drag_;
    CancelDrag();
    // A click without a move is no drag.
    const int threshold = std::max(wxSystemSettings::GetMetric(wxSYS_DRAG_X), 3);
    if (std::abs(screen.x - drag.start.x) <= threshold && std::abs(screen.y - drag.start.y) <= threshold)
        return;
    if (drag.target == CSizingControlBar::kFloating)
        FloatControlBar(drag.bar, {screen.x - drag.offset.x, screen.y - drag.offset.y});
    else
        DockControlBar(drag.bar, drag.target, drag.row, drag.index);
}

// ---------------------------------------------------------------- dock state

SizingBarDockState SizingBarDockSite::GetDockState() const {
    SizingBarDockState state;
    for (unsigned side : kSides) {
        SizingBarDockState::DockBar dock;
        dock.id = side;
        for (const auto& row : Rows(side)) {
            if (row.empty()) continue;
            for (const CSizingControlBar* bar : row) dock.bars.push_back(bar->GetBarId());
            dock.bars.push_back(0);
        }
        state.dockBars.push_back(dock);
    }
    for (const CSizingControlBar* bar : order_) {
        if (SizingBarMiniFrame* frame = MiniFrameOf(bar)) {
            const wxPoint p = frame->GetPosition();
            state.dockBars.push_back({CSizingControlBar::kFloating, {p.x, p.y}, {bar->GetBarId(), 0}});
        }
    }
    for (const CSizingControlBar* bar : order_) {
        const BarInfo& info = bars_.at(const_cast<CSizingControlBar*>(bar));
        state.bars.push_back({bar->GetBarId(), info.visible, info.lastDock});
    }
    return state;
}

void SizingBarDockSite::SetDockState(const SizingBarDockState& state) {
    if (frame_ == nullptr) return;
    // One layout at the end: rows laid out half-filled would bend the stored sizes.
    ++batch_;
    for (const auto& entry : state.bars) {
        CSizingControlBar* bar = FindBar(entry.id);
        if (bar == nullptr) continue;
        BarInfo& info = bars_[bar];
        info.visible = entry.visible;
        if (IsSide(entry.lastDock)) info.lastDock = entry.lastDock;
    }
    for (const auto& dock : state.dockBars) {
        if (IsSide(dock.id)) {
            int row = -1;
            bool newRow = true;
            for (int id : dock.bars) {
                if (id == 0) {
                    newRow = true;
                    continue;
                }
                CSizingControlBar* bar = FindBar(id);
                if (bar == nullptr) continue;
                if (newRow) {
                    DockControlBar(bar, dock.id, -1);
                    row = static_cast<int>(rows_[dock.id].size()) - 1;
                    newRow = false;
                } else {
                    DockControlBar(bar, dock.id, row, -1);
                }
                bar->keepSize = false;  // restored sizes, not a newcomer's
            }
        } else if (dock.id == CSizingControlBar::kFloating) {
            for (int id : dock.bars) {
                if (CSizingControlBar* bar = id != 0 ? FindBar(id) : nullptr) {
                    // The stored point is the small frame's corner; the bar goes there.
                    FloatControlBar(bar, dock.point);
                    break;
                }
            }
        }
    }
    for (const auto& entry : state.bars)
        if (CSizingControlBar* bar = FindBar(entry.id)) ShowControlBar(bar, entry.visible, true);
    --batch_;
    RecalcLayout();
}

void SizingBarDockSite::WriteDockState(BarProfile& profile, const std::string& name,
                                       const SizingBarDockState& state) {
    int index = 0;
    for (const auto& dock : state.dockBars) {
        const std::string section = EntrySection(name, index++);
        profile.WriteInt(section, "BarID", static_cast<int>(dock.id));
        profile.WriteInt(section, "DockBar", 1);
        profile.WriteInt(section, "XPos", dock.point.x);
        profile.WriteInt(section, "YPos", dock.point.y);
        profile.WriteInt(section, "Bars", static_cast<int>(dock.bars.size()));
        for (size_t i = 0; i < dock.bars.size(); ++i)
            profile.WriteInt(section, "Bar#" + std::to_string(i), dock.bars[i]);
    }
    for (const auto& bar : state.bars) {
        const std::string section = EntrySection(name, index++);
        profile.WriteInt(section, "BarID", bar.id);
        profile.WriteInt(section, "DockBar", 0);
        profile.WriteInt(section, "Visible", bar.visible ? 1 : 0);
        profile.WriteInt(section, "MRUDockID", static_cast<int>(bar.lastDock));
    }
    // The count goes last: a write cut short leaves the previous state readable.
    profile.WriteInt(name + "-Summary", "Bars", index);
}

SizingBarDockState SizingBarDockSite::ReadDockState(BarProfile& profile, const std::string& name) {
    SizingBarDockState state;
    const int count = profile.GetInt(name + "-Summary", "Bars", 0);
    if (count <= 0 || count > kMaxEntries) return state;
    for (int i = 0; i < count; ++i) {
        const std::string section = EntrySection(name, i);
        const int id = profile.GetInt(section, "BarID", 0);
        if (profile.GetInt(section, "DockBar", 0) != 0) {
            SizingBarDockState::DockBar dock;
            dock.id = static_cast<unsigned>(id);
            dock.point = {profile.GetInt(section, "XPos", 0), profile.GetInt(section, "YPos", 0)};
            const int bars = profile.GetInt(section, "Bars", 0);
            if (bars < 0 || bars > kMaxEntries) continue;
            for (int k = 0; k < bars; ++k)
                dock.bars.push_back(profile.GetInt(section, "Bar#" + std::to_string(k), 0));
            state.dockBars.push_back(std::move(dock));
        } else if (id != 0) {
            SizingBarDockState::Bar bar;
            bar.id = id;
            bar.visible = profile.GetInt(section, "Visible", 1) != 0;
            bar.lastDock = static_cast<unsigned>(
                profile.GetInt(section, "MRUDockID", static_cast<int>(CSizingControlBar::kDockBottom)));
            state.bars.push_back(bar);
        }
    }
    return state;
}

void SizingBarDockSite::ShiftFloatingEntries(BarProfile& profile, const std::string& name, int barId, int dx,
                                             int dy) {
    const int count = profile.GetInt(name + "-Summary", "Bars", 0);
    if (count <= 0 || count > kMaxEntries) return;
    for (int i = 0; i < count; ++i) {
        const std::string section = EntrySection(name, i);
        if (profile.GetInt(section, "DockBar", 0) == 0 ||
            profile.GetInt(section, "BarID", 0) != static_cast<int>(CSizingControlBar::kFloating))
            continue;
        const int bars = profile.GetInt(section, "Bars", 0);
        if (bars < 0 || bars > kMaxEntries) continue;
        bool holds = false;
        for (int k = 0; k < bars && !holds; ++k)
            holds = profile.GetInt(section, "Bar#" + std::to_string(k), 0) == barId;
        if (!holds) continue;
        profile.WriteInt(section, "XPos", profile.GetInt(section, "XPos", 0) + dx);
        profile.WriteInt(section, "YPos", profile.GetInt(section, "YPos", 0) + dy);
    }
}

void SizingBarDockSite::SaveBarState(BarProfile& profile, const std::string& name) const {
    WriteDockState(profile, name, GetDockState());
}

void SizingBarDockSite::LoadBarState(BarProfile& profile, const std::string& name) {
    const SizingBarDockState state = ReadDockState(profile, name);
    if (!state.dockBars.empty() || !state.bars.empty()) SetDockState(state);
}

}  // namespace controls
