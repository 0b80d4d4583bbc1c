#pragma once
// A cursor of the chart: a mark the user drags over the plotting area, whose
// value is reported to its listeners.

#include <cstdint>
#include <vector>

#include "platform/Bitmap.h"
#include "platform/ui/DrawContext.h"

namespace controls {

class CChartAxis;
class CChartCtrl;
class CChartCursor;

class CChartCursorListener {
  public:
    virtual ~CChartCursorListener() = default;
    virtual void OnCursorMoved(CChartCursor* cursor, double x, double y) = 0;
};

class CChartCursor {
  public:
    CChartCursor(CChartCtrl* chart, platform::COLORREF colour);
    virtual ~CChartCursor() = default;
    CChartCursor(const CChartCursor&) = delete;
    CChartCursor& operator=(const CChartCursor&) = delete;

    virtual bool OnMouseMove(int x, int y) = 0;
    virtual bool OnButtonDown(int x, int y);
    virtual bool OnButtonUp(int x, int y);
    virtual void Draw(platform::ui::DrawContext& dc) = 0;
    // The axes' ranges changed (zoom, undo): report the value now under the cursor.
    virtual void OnRangeChanged() = 0;
    // The chart replaced an axis; a cursor on the old one moves to the new one.
    virtual void ReplaceAxis(const CChartAxis* old, CChartAxis* replacement) {
        (void)old;
        (void)replacement;
    }

    uint32_t Id() const { return id_; }
    platform::COLORREF Color() const { return colour_; }
    void SetColor(platform::COLORREF colour) { colour_ = colour; }
    void AddListener(CChartCursorListener* listener);
    void RemoveListener(CChartCursorListener* listener);

  protected:
    void Notify(double x, double y);

    platform::COLORREF colour_;
    CChartCtrl* chart_;
    uint32_t id_;
    std::vector<CChartCursorListener*> listeners_;
};

}  // namespace controls
