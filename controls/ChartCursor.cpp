#include "controls/ChartCursor.h"

#include <algorithm>
#include <atomic>

namespace controls {

namespace {

std::atomic<uint32_t> g_nextCursorId{0};

}  // namespace

CChartCursor::CChartCursor(CChartCtrl* chart, platform::COLORREF colour)
    : colour_(colour), chart_(chart), id_(g_nextCursorId++) {}

bool CChartCursor::OnButtonDown(int, int) {
    return false;
}

bool CChartCursor::OnButtonUp(int, int) {
    return false;
}

void CChartCursor::AddListener(CChartCursorListener* listener) {
    if (listener != nullptr) listeners_.push_back(listener);
}

void CChartCursor::RemoveListener(CChartCursorListener* listener) {
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

void CChartCursor::Notify(double x, double y) {
    // A listener may remove itself while being told.
    const std::vector<CChartCursorListener*> listeners = listeners_;
    for (CChartCursorListener* listener : listeners) listener->OnCursorMoved(this, x, y);
}

}  // namespace controls
