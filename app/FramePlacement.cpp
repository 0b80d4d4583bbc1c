#include "app/FramePlacement.h"

#include "controls/SizingControlBar.h"

namespace app {
namespace {

constexpr const char* kSection = "Aspect";
constexpr int kNotStored = -1;

}  // namespace

FramePlacement LoadFramePlacement(controls::BarProfile& profile, const platform::ui::Rect& screen,
                                  bool resetGui) {
    FramePlacement placement;
    if (resetGui) {
        placement.width = 996;
        placement.height = 501;
        placement.defaultSizeUsed = true;
        return placement;
    }
    const int x = profile.GetInt(kSection, "X", kNotStored);
    const int y = profile.GetInt(kSection, "Y", kNotStored);
    const int width = profile.GetInt(kSection, "Width", kNotStored);
    const int height = profile.GetInt(kSection, "Height", kNotStored);
    if (x < 1 && y < 1 && width < 1 && height < 1) {
        if (screen.Height() > 500) {
            placement.height = 501;
            placement.defaultSizeUsed = true;
        }
        if (screen.Width() > 995) {
            placement.width = 996;
            placement.defaultSizeUsed = true;
        }
        return placement;
    }
    placement.x = (x < screen.left || x >= screen.right) ? screen.left : x;
    placement.y = (y < screen.top || y >= screen.bottom) ? screen.top : y;
    placement.width = width < 1 ? kDefaultExtent : width;
    placement.height = height < 1 ? kDefaultExtent : height;
    const int showCmd = profile.GetInt(kSection, "ShowCmd", 0);
    if (showCmd == kShowMinimized || showCmd == kShowMaximized) placement.showCmd = showCmd;
    return placement;
}

bool StoreFramePlacement(controls::BarProfile& profile, const FrameCloseState& state) {
    if (state.minimised) return false;
    const platform::ui::Rect& r = state.maximised ? state.restored : state.window;
    bool ok = profile.WriteInt(kSection, "X", r.left);
    ok = profile.WriteInt(kSection, "Y", r.top) && ok;
    ok = profile.WriteInt(kSection, "Width", r.Width()) && ok;
    ok = profile.WriteInt(kSection, "Height", r.Height()) && ok;
    const int showCmd = !state.placementKnown ? kShowNormal : state.maximised ? kShowMaximized : kShowNormal;
    return profile.WriteInt(kSection, "ShowCmd", showCmd) && ok;
}

platform::ui::Rect DefaultFrameRect(bool xulFamily) {
    return xulFamily ? platform::ui::Rect::FromXYWH(100, 100, 808, 482)
                     : platform::ui::Rect::FromXYWH(100, 100, 996, 501);
}

}  // namespace app
