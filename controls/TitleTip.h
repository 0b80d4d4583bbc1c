#pragma once
// The pop-up that shows a grid cell's whole text (its tip text) next to the
// cell after the pointer rests on it for half a second. Presses on it reach
// the grid as if made on the grid; a second press within the double-click
// time reaches it as a double click.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <wx/popupwin.h>
#include <wx/timer.h>

#include "controls/GridDefines.h"
#include "controls/GridHost.h"
#include "platform/ui/Geometry.h"

namespace controls {

class CTitleTip : public wxPopupWindow {
  public:
    static constexpr unsigned kTimerId = 1243;
    static constexpr int kDelayMs = 500;

    // What the tip hands on to the grid: the kind of press and the point in
    // the grid's client coordinates.
    enum class Press { LeftDown, LeftUp, LeftDouble, RightDown, RightUp, MiddleDown };
    using PressHandler = std::function<void(Press, platform::ui::Point)>;
    using KeyHandler = std::function<void(int keyCode)>;

    CTitleTip() = default;
    ~CTitleTip() override;
    bool Create(wxWindow* parent);
    bool IsCreated() const { return created_; }
    void SetHandlers(PressHandler press, KeyHandler key) {
        press_ = std::move(press);
        key_ = std::move(key);
    }

    // Starts the delay unless the tip is already shown.
    void Show(const TitleTipRequest& request);
    void Hide();
    bool IsTimerRunning() const { return timer_.IsRunning(); }
    // What the timer does: size, place and show the tip.
    void ShowNow();
    // The grid's pointer moved: outside the hovered cell the tip goes.
    void OnGridMouseMove(platform::ui::Point gridPoint);
    // A left press at a tick count: true when it makes a double click with the previous one.
    bool IsDoubleClick(long tickMs);

    // The lines shown: each line of the text framed by one space on either side.
    static std::vector<std::string> ShownLines(const std::string& text);
    const std::string& Text() const { return request_.text; }

  private:
    void OnPaint(wxPaintEvent& event);
    void OnMouse(wxMouseEvent& event);
    void OnKey(wxKeyEvent& event);
    void OnTimer(wxTimerEvent& event);

    wxWindow* grid_ = nullptr;
    TitleTipRequest request_;
    wxTimer timer_;
    long lastClick_ = -1;
    int doubleClickMs_ = 500;
    bool created_ = false;
    PressHandler press_;
    KeyHandler key_;
};

}  // namespace controls
