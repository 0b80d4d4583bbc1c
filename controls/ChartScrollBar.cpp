#include "controls/ChartScrollBar.h"

#include <algorithm>

#include <wx/scrolbar.h>

namespace controls {

CChartScrollBar::~CChartScrollBar() {
    if (bar_ != nullptr) bar_->Destroy();
}

void CChartScrollBar::Create(wxWindow* chart, bool horizontal, bool secondary,
                             const platform::ui::Rect& rect) {
    (void)secondary;  // the side only matters where the bar is placed
    rect_ = rect;
    if (chart == nullptr || chart->GetHandle() == nullptr || bar_ != nullptr) return;
    bar_ = new wxScrollBar(chart, 100, wxPoint(rect.left, rect.top),
                           wxSize(std::max(rect.Width(), 1), std::max(rect.Height(), 1)),
                           horizontal ? wxSB_HORIZONTAL : wxSB_VERTICAL);
    bar_->Hide();
    Mirror();
}

void CChartScrollBar::SetInfo(const Info& info) {
    info_ = info;
    Mirror();
}

void CChartScrollBar::SetPosition(int pos) {
    info_.pos = std::clamp(pos, info_.min, std::max(info_.min, info_.max));
    Mirror();
}

void CChartScrollBar::Place(const platform::ui::Rect& rect) {
    rect_ = rect;
    if (bar_ != nullptr)
        bar_->SetSize(rect.left, rect.top, std::max(rect.Width(), 1), std::max(rect.Height(), 1));
}

void CChartScrollBar::Show(bool show) {
    shown_ = show;
    if (bar_ != nullptr) bar_->Show(show);
}

void CChartScrollBar::Mirror() {
    if (bar_ == nullptr) return;
    // Our range is min..max with a page; wx counts positions from 0 with a thumb.
    const int range = std::max(info_.max - info_.min + 1, 1);
    const int page = std::clamp(info_.page, 1, range);
    bar_->SetScrollbar(std::clamp(info_.pos - info_.min, 0, range - page), page, range, page, true);
}

}  // namespace controls
