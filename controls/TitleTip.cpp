#include "controls/TitleTip.h"

#include <utility>

#include <wx/dcclient.h>
#include <wx/settings.h>
#include <wx/stopwatch.h>

#include "controls/GridFont.h"
#include "controls/GridSysColors.h"
#include "platform/ui/DrawContext.h"

namespace controls {

using platform::ui::Point;

CTitleTip::~CTitleTip() {
    timer_.Stop();
    created_ = false;
}

bool CTitleTip::Create(wxWindow* parent) {
    if (created_) return true;
    grid_ = parent;
    if (!wxPopupWindow::Create(parent, wxBORDER_SIMPLE)) return false;
    doubleClickMs_ = GetSystemMetric(SysMetric::DoubleClickMs);
    timer_.SetOwner(this, static_cast<int>(kTimerId));
    Bind(wxEVT_TIMER, &CTitleTip::OnTimer, this);
    Bind(wxEVT_PAINT, &CTitleTip::OnPaint, this);
    Bind(wxEVT_LEFT_DOWN, &CTitleTip::OnMouse, this);
    Bind(wxEVT_LEFT_DCLICK, &CTitleTip::OnMouse, this);
    Bind(wxEVT_RIGHT_DOWN, &CTitleTip::OnMouse, this);
    Bind(wxEVT_MIDDLE_DOWN, &CTitleTip::OnMouse, this);
    Bind(wxEVT_LEFT_UP, &CTitleTip::OnMouse, this);
    Bind(wxEVT_RIGHT_UP, &CTitleTip::OnMouse, this);
    Bind(wxEVT_KEY_DOWN, &CTitleTip::OnKey, this);
    created_ = true;
    return true;
}

std::vector<std::string> CTitleTip::ShownLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (true) {
        const size_t end = text.find('\n', start);
        const size_t length = end == std::string::npos ? text.size() - start : end - start;
        std::string line;
        line.reserve(length + 2);
        line.append(1, ' ').append(text, start, length).append(1, ' ');
        lines.push_back(std::move(line));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return lines;
}

void CTitleTip::Show(const TitleTipRequest& request) {
    if (!created_) return;
    timer_.Stop();
    if (IsShown()) return;
    request_ = request;
    timer_.StartOnce(kDelayMs);
}

void CTitleTip::Hide() {
    timer_.Stop();
    if (created_ && IsShown()) wxPopupWindow::Hide();
}

void CTitleTip::OnTimer(wxTimerEvent&) {
    ShowNow();
}

void CTitleTip::ShowNow() {
    timer_.Stop();
    if (!created_ || grid_ == nullptr) return;
    const wxFont font = request_.font ? CachedFont(*request_.font) : grid_->GetFont();
    wxClientDC dc(this);
    dc.SetFont(font);
    int width = 0;
    int height = request_.textRect.bottom - request_.textRect.top + 1;
    const std::vector<std::string> lines = ShownLines(request_.text);
    int lastHeight = 0;
    for (const std::string& line : lines) {
        const wxSize extent = dc.GetTextExtent(wxString::FromUTF8(line));
        width = std::max(width, extent.x);
        height += extent.y;
        lastHeight = extent.y;
    }
    height -= lastHeight;
    const wxPoint origin = grid_->ClientToScreen(
        wxPoint(request_.textRect.left + request_.xOffset, request_.textRect.top + request_.yOffset));
    SetFont(font);
    SetSize(origin.x, origin.y, width + 2, height + 2);
    wxPopupWindow::Show();
    Refresh();
}

void CTitleTip::OnPaint(wxPaintEvent&) {
    wxPaintDC paint(this);
    platform::ui::DrawContext dc(paint);
    const wxSize size = GetClientSize();
    const COLORREF back =
        request_.backColor != CLR_DEFAULT ? request_.backColor : GetSysColor(SysColor::InfoBk);
    dc.FillSolidRect({0, 0, size.x, size.y}, back);
    dc.SetFont(request_.font ? CachedFont(*request_.font) : GetFont());
    dc.SetTextColor(request_.textColor != CLR_DEFAULT ? request_.textColor : GetSysColor(SysColor::InfoText));
    int y = 0;
    for (const std::string& line : ShownLines(request_.text)) {
        dc.TextOut(0, y, line);
        y += dc.TextExtent(line).cy;
    }
}

void CTitleTip::OnGridMouseMove(Point gridPoint) {
    if (!created_ || (!IsShown() && !timer_.IsRunning())) return;
    const platform::ui::Rect& cell = request_.cellRect;
    const bool inside = gridPoint.x >= cell.left && gridPoint.x <= cell.right && gridPoint.y >= cell.top &&
                        gridPoint.y <= cell.bottom;
    if (!inside) Hide();
}

bool CTitleTip::IsDoubleClick(long tickMs) {
    const bool isDouble = lastClick_ >= 0 && tickMs - lastClick_ <= doubleClickMs_;
    lastClick_ = isDouble ? -1 : tickMs;
    return isDouble;
}

void CTitleTip::OnMouse(wxMouseEvent& event) {
    Hide();
    if (grid_ == nullptr || !press_) return;
    const wxPoint screen = ClientToScreen(event.GetPosition());
    const wxPoint client = grid_->ScreenToClient(screen);
    const Point point{client.x, client.y};
    const wxEventType type = event.GetEventType();
    if (type == wxEVT_LEFT_DOWN || type == wxEVT_LEFT_DCLICK) {
        const bool isDouble = type == wxEVT_LEFT_DCLICK || IsDoubleClick(wxGetLocalTimeMillis().ToLong());
        press_(isDouble ? Press::LeftDouble : Press::LeftDown, point);
    } else if (type == wxEVT_LEFT_UP) {
        // The release of a press made on the tip lands here too.
        press_(Press::LeftUp, point);
    } else if (type == wxEVT_RIGHT_DOWN) {
        press_(Press::RightDown, point);
    } else if (type == wxEVT_RIGHT_UP) {
        press_(Press::RightUp, point);
    } else {
        press_(Press::MiddleDown, point);
    }
}

void CTitleTip::OnKey(wxKeyEvent& event) {
    Hide();
    if (key_) key_(event.GetKeyCode());
}

}  // namespace controls
