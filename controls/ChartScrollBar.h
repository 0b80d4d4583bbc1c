#pragma once
// The scroll bar of a chart axis. Its range and position are kept here, and
// shown on a wx scroll bar inside the chart once the chart has a window.

#include "platform/ui/Geometry.h"

class wxScrollBar;
class wxWindow;

namespace controls {

class CChartAxis;

class CChartScrollBar {
  public:
    struct Info {
        int min = 1;
        int max = 1;
        int page = 1;
        int pos = 1;
        bool operator==(const Info&) const = default;
    };

    explicit CChartScrollBar(CChartAxis& axis) : axis_(axis) {}
    ~CChartScrollBar();
    CChartScrollBar(const CChartScrollBar&) = delete;
    CChartScrollBar& operator=(const CChartScrollBar&) = delete;

    // Creates the hidden bar in the chart's window (nothing without one).
    void Create(wxWindow* chart, bool horizontal, bool secondary, const platform::ui::Rect& rect);
    CChartAxis& Axis() const { return axis_; }
    wxScrollBar* Wx() const { return bar_; }

    void SetInfo(const Info& info);
    const Info& GetInfo() const { return info_; }
    void SetPosition(int pos);
    int Position() const { return info_.pos; }

    void Place(const platform::ui::Rect& rect);
    const platform::ui::Rect& Placement() const { return rect_; }
    void Show(bool show);
    bool IsShown() const { return shown_; }

    void SetAutoHide(bool autoHide) { autoHide_ = autoHide; }
    bool IsAutoHide() const { return autoHide_; }
    void SetEnabled(bool enabled) { enabled_ = enabled; }
    bool IsEnabled() const { return enabled_; }

  private:
    void Mirror();

    CChartAxis& axis_;
    wxScrollBar* bar_ = nullptr;
    Info info_;
    platform::ui::Rect rect_;
    bool shown_ = false;
    bool autoHide_ = false;
    bool enabled_ = true;
};

}  // namespace controls
