#pragma once
// Where the main frame opens and what it leaves behind on close: the profile section "Aspect"
// with "X", "Y", "Width", "Height" and "ShowCmd", measured against the virtual screen.

#include "platform/ui/Geometry.h"

namespace controls {
class BarProfile;
}

namespace app {

// Show commands kept in "ShowCmd".
constexpr int kShowNormal = 1;
constexpr int kShowMinimized = 2;
constexpr int kShowMaximized = 3;

// A width or height the toolkit chooses.
constexpr int kDefaultExtent = -1;

struct FramePlacement {
    int x = 100;
    int y = 100;
    int width = kDefaultExtent;
    int height = kDefaultExtent;
    int showCmd = kShowNormal;
    bool defaultSizeUsed = false;
};

// The placement at creation: from "Aspect" unless resetGui, against the virtual screen.
FramePlacement LoadFramePlacement(controls::BarProfile& profile, const platform::ui::Rect& virtualScreen,
                                  bool resetGui);

// What the frame is at close.
struct FrameCloseState {
    platform::ui::Rect window;    // the window rectangle now
    platform::ui::Rect restored;  // the rectangle it returns to from maximised
    bool minimised = false;
    bool maximised = false;
    bool placementKnown = true;  // false: "ShowCmd" is stored as 1
};

// Stores the placement unless the window is minimised; false when nothing was stored.
bool StoreFramePlacement(controls::BarProfile& profile, const FrameCloseState& state);

// The size the frame takes when the main dialog first shows with the default size in use.
platform::ui::Rect DefaultFrameRect(bool xulFamily);

}  // namespace app
