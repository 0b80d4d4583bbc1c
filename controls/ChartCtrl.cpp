#include "controls/ChartCtrl.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include <wx/dc.h>
#include <wx/dcclient.h>
#include <wx/dcscreen.h>
#include <wx/print.h>
#include <wx/printdlg.h>
#include <wx/scrolbar.h>

#include "platform/ui/Shading.h"

using platform::ui::Point;
using platform::ui::Rect;
using platform::ui::Size;

namespace controls {

CChartCtrl::CChartCtrl()
    : font_("Microsoft Sans Serif", 85),
      gradientColour1_(platform::ui::SysColor(platform::ui::SysColour::BtnFace)),
      gradientColour2_(gradientColour1_),
      background_(gradientColour1_),
      legend_(std::make_unique<CChartLegend>(this)),
      title_(std::make_unique<CChartTitle>(this)) {}

CChartCtrl::~CChartCtrl() {
    if (GetHandle() != nullptr && HasCapture()) ReleaseMouse();
    // Series leave their axes as they go, so they go first.
    series_.clear();
    cursors_.clear();
    for (auto& axis : axes_) axis.reset();
    legend_.reset();
    title_.reset();
}

bool CChartCtrl::Create(wxWindow* parent, int id, const Rect& rect, long style) {
    if (!wxWindow::Create(parent, id, wxPoint(rect.left, rect.top), wxSize(rect.Width(), rect.Height()),
                          style | wxFULL_REPAINT_ON_RESIZE | wxCLIP_CHILDREN | wxBORDER_NONE, "ChartCtrl"))
        return false;
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    const wxSize client = GetClientSize();
    plottingRect_ = {0, 0, client.x, client.y};
    Bind(wxEVT_PAINT, &CChartCtrl::OnPaintEvent, this);
    Bind(wxEVT_SIZE, &CChartCtrl::OnSizeEvent, this);
    for (wxEventType type : {wxEVT_MOTION, wxEVT_LEFT_DOWN, wxEVT_LEFT_UP, wxEVT_LEFT_DCLICK,
                             wxEVT_RIGHT_DOWN, wxEVT_RIGHT_UP, wxEVT_RIGHT_DCLICK})
        Bind(wxEventTypeTag<wxMouseEvent>(type), &CChartCtrl::OnMouseEvent, this);
    Bind(wxEVT_MOUSE_CAPTURE_LOST, &CChartCtrl::OnCaptureLost, this);
    for (wxEventType type : {wxEVT_SCROLL_TOP, wxEVT_SCROLL_BOTTOM, wxEVT_SCROLL_LINEUP,
                             wxEVT_SCROLL_LINEDOWN, wxEVT_SCROLL_PAGEUP, wxEVT_SCROLL_PAGEDOWN,
                             wxEVT_SCROLL_THUMBTRACK, wxEVT_SCROLL_THUMBRELEASE, wxEVT_SCROLL_CHANGED})
        Bind(wxEventTypeTag<wxScrollEvent>(type), &CChartCtrl::OnScrollEvent, this);
    // Axes attached before the window existed get their scroll bars now.
    for (auto& axis : axes_)
        if (axis)
            axis->ScrollBar().Create(this, axis->IsHorizontal(), axis->IsSecondary(),
                                     plottingRect_.Deflate(1, 1, 0, 0));
    return true;
}

// Refresh -----------------------------------------------------------------

void CChartCtrl::RefreshCtrl() {
    if (GetHandle() == nullptr) return;
    if (refreshCount_ < 1) {
        refreshPending_ = true;
        return;
    }
    const wxSize size = GetClientSize();
    const Rect client{0, 0, size.x, size.y};
    plottingRect_ = client;
    if (!memory_) {
        memory_ = std::make_unique<platform::ui::MemoryCanvas>(size.x, size.y, background_);
        // Hard-edged lines, as a chart of many points is read best (and drawn fastest).
        platform::ui::SetAntialiasing(memory_->Dc(), false);
    }
    platform::ui::DrawContext& dc = memory_->Dc();
    DrawBackground(dc, client);
    DrawChart(dc, client.Deflate(3, 0, 3, 3));
    for (auto& axis : axes_)
        if (axis) axis->PlaceScrollBar(plottingRect_);
    ++drawCount_;
    Refresh(true);
}

void CChartCtrl::EnableRefresh(bool enable) {
    refreshCount_ += enable ? 1 : -1;
    if (refreshCount_ >= 1 && refreshPending_) {
        refreshPending_ = false;
        RefreshCtrl();
    }
}

// Axes, series, cursors ---------------------------------------------------

CChartAxis* CChartCtrl::AttachCustomAxis(std::unique_ptr<CChartAxis> axis, int position) {
    if (!axis || position < 0 || position > 3) return nullptr;
    const bool horizontal = position == kBottomAxis || position == kTopAxis;
    const bool secondary = position == kRightAxis || position == kTopAxis;
    axis->Attach(this, horizontal, secondary);
    std::unique_ptr<CChartAxis> old = std::move(axes_[position]);
    axes_[position] = std::move(axis);
    CChartAxis* now = axes_[position].get();
    if (old) {
        // Nothing may keep pointing at the axis that goes.
        for (auto& [id, serie] : series_) {
            if (serie->VerticalAxis() == old.get()) {
                serie->SetVerticalAxis(now);
                now->AddSeries(serie.get());
            }
            if (serie->HorizontalAxis() == old.get()) {
                serie->SetHorizontalAxis(now);
                now->AddSeries(serie.get());
            }
        }
        for (auto& [id, cursor] : cursors_) cursor->ReplaceAxis(old.get(), now);
    }
    return now;
}

CChartAxis* CChartCtrl::GetAxis(int position) const {
    return position >= 0 && position < 4 ? axes_[position].get() : nullptr;
}

CChartSerie* CChartCtrl::AttachCustomSerie(std::unique_ptr<CChartSerie> serie) {
    if (!serie) return nullptr;
    CChartSerie* s = serie.get();
    s->SetClipRect(plottingRect_);
    s->SetColor(kSeriesColours[series_.size() % kSeriesColours.size()]);
    RefreshCtrl();
    CChartAxis* left = GetAxis(kLeftAxis);
    CChartAxis* bottom = GetAxis(kBottomAxis);
    s->SetVerticalAxis(left);
    s->SetHorizontalAxis(bottom);
    series_[s->Id()] = std::move(serie);
    EnableRefresh(false);
    if (left != nullptr) {
        left->AddSeries(s);
        left->UpdateAutoRange();
    }
    if (bottom != nullptr) {
        bottom->AddSeries(s);
        bottom->UpdateAutoRange();
    }
    RefreshCtrl();
    EnableRefresh(true);
    return s;
}

void CChartCtrl::RemoveAllSeries() {
    series_.clear();
    RefreshCtrl();
}

CChartCursor* CChartCtrl::AddCursor(std::unique_ptr<CChartCursor> cursor) {
    if (!cursor) return nullptr;
    CChartCursor* c = cursor.get();
    cursors_[c->Id()] = std::move(cursor);
    return c;
}

void CChartCtrl::SetCursorValue(double value) {
    // Values a counter can't hold are held at its ends.
    const double rounded = value + 0.5;
    if (std::isnan(rounded) || rounded < 0)
        cursorValue_ = 0;
    else if (rounded >= 4294967295.0)
        cursorValue_ = std::numeric_limits<uint32_t>::max();
    else
        cursorValue_ = static_cast<uint32_t>(rounded);
    if (GetHandle() != nullptr && !cursorValueRect_.IsEmpty())
        RefreshRect(wxRect(cursorValueRect_.left, cursorValueRect_.top, cursorValueRect_.Width(),
                           cursorValueRect_.Height()));
}

std::string CChartCtrl::CursorValueText() const {
    char text[64];
    std::snprintf(text, sizeof text, kCursorValueFormat, static_cast<unsigned long>(cursorValue_));
    return text;
}

void CChartCtrl::UndoZoom() {
    EnableRefresh(false);
    for (int position : {kBottomAxis, kLeftAxis, kTopAxis, kRightAxis})
        if (axes_[position]) axes_[position]->RestoreSavedRange();
    RefreshCtrl();
    EnableRefresh(true);
    for (auto& [id, cursor] : cursors_) cursor->OnRangeChanged();
}

// Looks -------------------------------------------------------------------

void CChartCtrl::SetBackColor(platform::COLORREF colour) {
    background_ = colour;
    RefreshCtrl();
}

void CChartCtrl::SetBackGradient(platform::COLORREF colour1, platform::COLORREF colour2, int type) {
    gradientColour1_ = colour1;
    gradientColour2_ = colour2;
    gradientType_ = type;
    RefreshCtrl();
}

void CChartCtrl::SetGradient(bool on) {
    gradient_ = on;
    RefreshCtrl();
}

void CChartCtrl::SetPlotFrameColor(platform::COLORREF colour) {
    plotFrameColour_ = colour;
    RefreshCtrl();
}

void CChartCtrl::SetEdgeType(unsigned edge) {
    edgeType_ = edge;
    RefreshCtrl();
}

void CChartCtrl::DrawBackground(platform::ui::DrawContext& dc, const Rect& rect) {
    if (gradient_) {
        const platform::COLORREF c1 = gradientColour1_;
        const platform::COLORREF c2 = gradientColour2_;
        switch (gradientType_) {
            case 0:
                platform::ui::GradientFill(dc, rect, c1, c2, false);
                break;
            case 2: {
                const int half = rect.left + rect.Width() / 2;
                platform::ui::GradientFill(dc, {rect.left, rect.top, half, rect.bottom}, c1, c2, false);
                platform::ui::GradientFill(dc, {half, rect.top, rect.right, rect.bottom}, c2, c1, false);
                break;
            }
            case 3: {
                const int half = rect.top + rect.Height() / 2;
                platform::ui::GradientFill(dc, {rect.left, rect.top, rect.right, half}, c1, c2, true);
                platform::ui::GradientFill(dc, {rect.left, half, rect.right, rect.bottom}, c2, c1, true);
                break;
            }
            default:
                platform::ui::GradientFill(dc, rect, c1, c2, true);
                break;
        }
    } else {
        dc.SetBkColor(background_);
        dc.FillSolidRect(rect, background_);
    }
    platform::ui::DrawEdge(dc, rect, edgeType_);
}

void CChartCtrl::DrawChart(platform::ui::DrawContext& dc, const Rect& rect) {
    Rect d = rect;
    Rect p = rect;

    const Size title = title_->Measure(dc);
    title_->SetRect({d.left, d.top, d.right, d.top + title.cy});
    d.top += title.cy;
    title_->Draw(dc);

    const Rect legend = legend_->ComputeRect(dc, d);
    if (!legend.IsEmpty() && legend_->IsDocked()) {
        switch (legend_->DockSide()) {
            case CChartLegend::kDockLeft:
                d.left = legend.right - 2;
                break;
            case CChartLegend::kDockTop:
                d.top = legend.bottom + 2;
                break;
            case CChartLegend::kDockBottom:
                d.bottom = legend.top - 2;
                break;
            default:
                d.right = legend.left + 2;
                break;
        }
    }

    for (auto& axis : axes_) {
        if (!axis) continue;
        axis->Place(p, d);
        axis->UpdateTickStep();
        axis->UpdateFirstTick();
        axis->ReserveMargin(dc, d, p);
    }
    for (auto& axis : axes_) {
        if (!axis) continue;
        axis->Place(p, d);
        axis->UpdateTickStep();
        axis->UpdateFirstTick();
        axis->Draw(dc, p);
    }
    plottingRect_ = p;

    font_.Select(dc);
    const Size text = dc.TextExtent("Cursor value: 1000 Hz");
    font_.Restore(dc);
    cursorValueRect_ = {p.right - text.cx, p.top - text.cy, p.right, p.top};

    dc.SetPen(plotFrameColour_, 1);
    dc.MoveTo(p.left, p.top);
    dc.LineTo(p.right, p.top);
    dc.LineTo(p.right, p.bottom);
    dc.LineTo(p.left, p.bottom);
    dc.LineTo(p.left, p.top);

    for (auto& [id, serie] : series_) {
        serie->SetClipRect({p.left, p.top, p.right + 1, p.bottom + 1});
        serie->DrawAll(dc);
    }
    dc.SetClip(p);
    for (auto& [id, serie] : series_) serie->DrawPointLabels(dc);
    dc.ResetClip();

    legend_->Draw(dc);
}

// Paint and size ----------------------------------------------------------

void CChartCtrl::PaintTo(platform::ui::DrawContext& dc) {
    const wxSize size = GetHandle() != nullptr ? GetClientSize() : wxSize(0, 0);
    if (memory_)
        dc.Blit({0, 0, memory_->Width(), memory_->Height()}, memory_->Dc(), {0, 0});
    else
        dc.FillSolidRect({0, 0, size.x, size.y}, background_);
    if (zoomEnabled_ && zooming_) {
        const Rect& z = zoomRect_;
        dc.SetPen(zoomColour_, 1);
        dc.MoveTo(z.left, z.top);
        dc.LineTo(z.right, z.top);
        dc.LineTo(z.right, z.bottom);
        dc.LineTo(z.left, z.bottom);
        dc.LineTo(z.left, z.top);
    }
    for (auto& [id, cursor] : cursors_) cursor->Draw(dc);
    font_.Select(dc);
    dc.SetTextColor(0x0000FF);
    dc.SetBkTransparent(true);
    dc.DrawText(CursorValueText(), cursorValueRect_, platform::ui::text::VCenter);
    font_.Restore(dc);
}

void CChartCtrl::OnPaintEvent(wxPaintEvent&) {
    wxPaintDC paint(this);
    if (!backgroundCreated_) {
        RefreshCtrl();
        backgroundCreated_ = true;
    }
    platform::ui::DrawContext dc(paint);
    PaintTo(dc);
}

void CChartCtrl::OnSizeEvent(wxSizeEvent& event) {
    event.Skip();
    memory_.reset();
    RefreshCtrl();
}

// Mouse -------------------------------------------------------------------

void CChartCtrl::Capture() {
    if (GetHandle() != nullptr && !HasCapture()) CaptureMouse();
}

void CChartCtrl::Release() {
    if (GetHandle() != nullptr && HasCapture()) ReleaseMouse();
}

void CChartCtrl::OnMouseEvent(wxMouseEvent& event) {
    const Point point{event.GetX(), event.GetY()};
    const wxEventType type = event.GetEventType();
    if (type == wxEVT_MOTION)
        OnMouseMove(point);
    else if (type == wxEVT_LEFT_DOWN)
        OnLButtonDown(point);
    else if (type == wxEVT_LEFT_UP)
        OnLButtonUp(point);
    else if (type == wxEVT_LEFT_DCLICK)
        OnLButtonDblClk(point);
    else if (type == wxEVT_RIGHT_DOWN)
        OnRButtonDown(point);
    else if (type == wxEVT_RIGHT_UP)
        OnRButtonUp(point);
    else if (type == wxEVT_RIGHT_DCLICK)
        OnRButtonDblClk(point);
}

void CChartCtrl::OnCaptureLost(wxMouseCaptureLostEvent&) {
    // Another window took the mouse: whatever was being dragged ends here.
    zooming_ = false;
    panning_ = false;
    for (auto& [id, cursor] : cursors_) cursor->OnButtonUp(0, 0);
    Refresh(false);
}

void CChartCtrl::OnMouseMove(Point point) {
    if (panning_ && panEnabled_ && !(point == lastPan_)) {
        EnableRefresh(false);
        for (int position : {kLeftAxis, kRightAxis})
            if (axes_[position]) axes_[position]->Pan(lastPan_.y, point.y);
        for (int position : {kBottomAxis, kTopAxis})
            if (axes_[position]) axes_[position]->Pan(lastPan_.x, point.x);
        RefreshCtrl();
        EnableRefresh(true);
        if (GetHandle() != nullptr) Update();
        lastPan_ = point;
    }
    if (plottingRect_.Contains(point)) {
        bool taken = false;
        for (auto& [id, cursor] : cursors_) taken = cursor->OnMouseMove(point.x, point.y) || taken;
        if (GetHandle() != nullptr) Refresh(false);
        if (!taken && zoomEnabled_ && zooming_) {
            zoomRect_.right = point.x;
            zoomRect_.bottom = point.y;
            if (GetHandle() != nullptr) Refresh(false);
        }
    }
    for (auto& axis : axes_) {
        if (!axis) continue;
        CChartScrollBar& bar = axis->ScrollBar();
        if (bar.IsAutoHide() && bar.IsEnabled()) bar.Show(bar.Placement().Contains(point));
    }
    if (GetHandle() != nullptr) {
        const bool hide = !mouseVisible_ && plottingRect_.Contains(point);
        SetCursor(wxCursor(hide ? wxCURSOR_BLANK : wxCURSOR_ARROW));
    }
    SendMouseEvent(kChartMouseMove, point);
}

void CChartCtrl::OnLButtonDown(Point point) {
    Capture();
    if (plottingRect_.Contains(point)) {
        bool taken = false;
        for (auto& [id, cursor] : cursors_) taken = cursor->OnButtonDown(point.x, point.y) || taken;
        if (GetHandle() != nullptr) Refresh(false);
        if (taken) {
            SendMouseEvent(kChartLButtonDown, point);
            return;
        }
    }
    if (zoomEnabled_) {
        zooming_ = true;
        zoomRect_ = {point.x, point.y, point.x, point.y};
    }
    SendMouseEvent(kChartLButtonDown, point);
}

void CChartCtrl::OnLButtonUp(Point point) {
    Release();
    const bool wasZooming = zooming_;
    zooming_ = false;
    // A drag ends wherever the button comes up, inside the plotting area or not.
    bool taken = false;
    for (auto& [id, cursor] : cursors_) taken = cursor->OnButtonUp(point.x, point.y) || taken;
    if (plottingRect_.Contains(point) || taken) {
        if (GetHandle() != nullptr) Refresh(false);
        if (taken) {
            SendMouseEvent(kChartLButtonUp, point);
            return;
        }
    }
    // Only a rectangle this press began zooms: an old one must not come back.
    if (zoomEnabled_ && wasZooming) {
        const Rect& z = zoomRect_;
        if (z.left <= z.right && z.top <= z.bottom) {
            if (z.right != z.left && z.bottom != z.top) ZoomTo(z);
        } else {
            UndoZoom();
        }
    }
    SendMouseEvent(kChartLButtonUp, point);
}

void CChartCtrl::ZoomTo(const Rect& z) {
    for (int position : {kLeftAxis, kRightAxis}) {
        CChartAxis* axis = axes_[position].get();
        if (axis == nullptr) continue;
        const double atBottom = axis->PixelToValue(z.bottom);
        const double atTop = axis->PixelToValue(z.top);
        if (axis->IsInverted())
            axis->SetZoomRange(atTop, atBottom);
        else
            axis->SetZoomRange(atBottom, atTop);
    }
    for (int position : {kBottomAxis, kTopAxis}) {
        CChartAxis* axis = axes_[position].get();
        if (axis == nullptr) continue;
        const double atLeft = axis->PixelToValue(z.left);
        const double atRight = axis->PixelToValue(z.right);
        if (axis->IsInverted())
            axis->SetZoomRange(atRight, atLeft);
        else
            axis->SetZoomRange(atLeft, atRight);
    }
    for (auto& [id, cursor] : cursors_) cursor->OnRangeChanged();
    RefreshCtrl();
}

void CChartCtrl::OnLButtonDblClk(Point point) {
    SendMouseEvent(kChartLButtonDblClk, point);
}

void CChartCtrl::OnRButtonDown(Point point) {
    Capture();
    panning_ = true;
    if (panEnabled_) lastPan_ = point;
    SendMouseEvent(kChartRButtonDown, point);
}

void CChartCtrl::OnRButtonUp(Point point) {
    Release();
    panning_ = false;
    SendMouseEvent(kChartRButtonUp, point);
}

void CChartCtrl::OnRButtonDblClk(Point point) {
    SendMouseEvent(kChartRButtonDblClk, point);
}

void CChartCtrl::SendMouseEvent(int event, Point point) {
    if (mouseListener_ != nullptr) {
        if (title_->GetRect().Contains(point)) mouseListener_->OnMouseEventTitle(event, point);
        if (legend_->GetRect().Contains(point)) mouseListener_->OnMouseEventLegend(event, point);
        for (auto& axis : axes_)
            if (axis && axis->AxisRect().Contains(point))
                mouseListener_->OnMouseEventAxis(event, point, axis.get());
        if (plottingRect_.Contains(point)) mouseListener_->OnMouseEventPlotArea(event, point);
    }
    for (auto it = series_.rbegin(); it != series_.rend(); ++it)
        if (it->second->MouseEvent(event, point)) break;
}

// Scrolling ---------------------------------------------------------------

void CChartCtrl::OnAxisScroll(CChartAxis* axis, Scroll what, int track) {
    if (axis == nullptr) return;
    CChartScrollBar& bar = axis->ScrollBar();
    const CChartScrollBar::Info info = bar.GetInfo();
    const int p = info.pos;
    int q = p;
    switch (what) {
        case Scroll::LineUp:
            if (p > info.min) q = p - 1;
            break;
        case Scroll::LineDown:
            if (p < info.max - 9) q = p + 1;
            break;
        case Scroll::PageUp:
            if (p > info.min) q = std::max(info.min, p - 10);
            break;
        case Scroll::PageDown:
            if (p < info.max - 9) q = std::min(info.max, p + 10);
            break;
        case Scroll::ThumbPosition:
        case Scroll::ThumbTrack:
            q = track;
            break;
        case Scroll::Top:
            q = 0;
            break;
        case Scroll::Bottom:
            q = info.max;
            break;
        case Scroll::End:
            return;
    }
    bar.SetPosition(q);
    const bool reversed = axis->IsHorizontal() ? axis->IsInverted() : !axis->IsInverted();
    axis->ScrollToStep(p, q, reversed);
    RefreshCtrl();
}

void CChartCtrl::OnScrollEvent(wxScrollEvent& event) {
    CChartAxis* axis = nullptr;
    for (auto& a : axes_)
        if (a && a->ScrollBar().Wx() == event.GetEventObject()) axis = a.get();
    if (axis == nullptr) {
        event.Skip();
        return;
    }
    const wxEventType type = event.GetEventType();
    Scroll what = Scroll::End;
    if (type == wxEVT_SCROLL_LINEUP)
        what = Scroll::LineUp;
    else if (type == wxEVT_SCROLL_LINEDOWN)
        what = Scroll::LineDown;
    else if (type == wxEVT_SCROLL_PAGEUP)
        what = Scroll::PageUp;
    else if (type == wxEVT_SCROLL_PAGEDOWN)
        what = Scroll::PageDown;
    else if (type == wxEVT_SCROLL_THUMBTRACK)
        what = Scroll::ThumbTrack;
    else if (type == wxEVT_SCROLL_THUMBRELEASE)
        what = Scroll::ThumbPosition;
    else if (type == wxEVT_SCROLL_TOP)
        what = Scroll::Top;
    else if (type == wxEVT_SCROLL_BOTTOM)
        what = Scroll::Bottom;
    // The wx bar counts from 0; ours from its minimum.
    OnAxisScroll(axis, what, event.GetPosition() + axis->ScrollBar().GetInfo().min);
}

// Printing ----------------------------------------------------------------

CChartCtrl::PrintSize CChartCtrl::LogicalPrintSize(Size printerPixels, Size screenPpi, Size printerPpi) {
    PrintSize size;
    if (printerPpi.cx <= 0 || printerPpi.cy <= 0) return size;
    size.width = (printerPixels.cx * screenPpi.cx / printerPpi.cx) * 3 / 4;
    size.height = (printerPixels.cy * screenPpi.cy / printerPpi.cy) * 3 / 4;
    return size;
}

bool CChartCtrl::Print(const std::string& title, wxDC* printer) {
    std::unique_ptr<wxDC> owned;
    if (printer == nullptr) {
        wxPrintDialogData data;
        data.SetAllPages(true);
        data.EnablePageNumbers(false);
        data.EnableSelection(false);
        data.EnablePrintToFile(false);
        wxPrintDialog dialog(this, &data);
        if (dialog.ShowModal() != wxID_OK) return false;
        owned.reset(dialog.GetPrintDC());
        printer = owned.get();
        if (printer == nullptr || !printer->IsOk()) return false;
    }
    if (!printer->StartDoc(wxString::FromUTF8(title))) return false;
    OnBeginPrinting(*printer);
    printer->StartPage();
    OnPrint(*printer);
    printer->EndPage();
    OnEndPrinting();
    printer->EndDoc();
    return true;
}

void CChartCtrl::OnBeginPrinting(wxDC& printer) {
    printFont_ = std::make_unique<wxFont>(platform::ui::MakeFont({"Arial", 7.5}));
    const wxSize pixels = printer.GetSize();
    printPage_ = {pixels.x, pixels.y};
    const wxSize screen = wxScreenDC().GetPPI();
    const wxSize ppi = printer.GetPPI();
    printLogical_ = LogicalPrintSize(printPage_, {screen.x, screen.y}, {ppi.x, ppi.y});
}

void CChartCtrl::OnPrint(wxDC& printer) {
    if (printLogical_.width <= 0 || printLogical_.height <= 0) return;
    if (printFont_) printer.SetFont(*printFont_);
    printer.SetMapMode(wxMM_TEXT);
    printer.SetUserScale(static_cast<double>(printPage_.cx) / printLogical_.width,
                         static_cast<double>(printPage_.cy) / printLogical_.height);
    platform::ui::DrawContext dc(printer);
    if (printFont_) dc.SetFont(*printFont_);
    DrawChart(dc, {0, 0, printLogical_.width, printLogical_.height});
    printer.SetUserScale(1, 1);
}

void CChartCtrl::OnEndPrinting() {
    printFont_.reset();
    RefreshCtrl();
}

}  // namespace controls
