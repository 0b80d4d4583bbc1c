#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "app/FramePlacement.h"
#include "controls/SizingControlBar.h"

using namespace app;
using platform::ui::Rect;

namespace {

const std::string kRoot = "SOFTWARE\\Varno\\Tunova";

TEST(FramePlacement, OpeningPlacementTable) {
    const Rect fullHd = Rect::FromXYWH(0, 0, 1920, 1080);
    const Rect twoScreens = Rect::FromXYWH(-1280, 0, 3200, 1080);
    struct Stored {
        int x, y, w, h, showCmd;
    };
    struct Case {
        const char* what;
        bool stored;
        Stored values;
        Rect screen;
        bool resetGui;
        FramePlacement expected;
    };
    const Case cases[] = {
        {"nothing stored", false, {}, fullHd, false, {100, 100, 996, 501, kShowNormal, true}},
        {"nothing stored, small screen",
         false,
         {},
         Rect::FromXYWH(0, 0, 800, 480),
         false,
         {100, 100, kDefaultExtent, kDefaultExtent, kShowNormal, false}},
        {"stored", true, {40, 60, 1200, 700, 1}, fullHd, false, {40, 60, 1200, 700, kShowNormal, false}},
        {"X off the right edge",
         true,
         {2500, 60, 1200, 700, 1},
         fullHd,
         false,
         {0, 60, 1200, 700, kShowNormal, false}},
        {"X off on two screens",
         true,
         {-2000, 60, 900, 700, 1},
         twoScreens,
         false,
         {-1280, 60, 900, 700, kShowNormal, false}},
        {"X on the left screen",
         true,
         {-1000, 60, 900, 700, 1},
         twoScreens,
         false,
         {-1000, 60, 900, 700, kShowNormal, false}},
        {"Y below the bottom",
         true,
         {40, 1500, 900, 700, 1},
         fullHd,
         false,
         {40, 0, 900, 700, kShowNormal, false}},
        {"minimised", true, {40, 60, 900, 700, 2}, fullHd, false, {40, 60, 900, 700, kShowMinimized, false}},
        {"maximised", true, {40, 60, 900, 700, 3}, fullHd, false, {40, 60, 900, 700, kShowMaximized, false}},
        {"resetgui", true, {40, 60, 900, 700, 3}, fullHd, true, {100, 100, 996, 501, kShowNormal, true}},
    };
    for (const Case& c : cases) {
        TempRegistry store("placement");
        controls::RegistryBarProfile profile(*store.registry, kRoot);
        if (c.stored) {
            profile.WriteInt("Aspect", "X", c.values.x);
            profile.WriteInt("Aspect", "Y", c.values.y);
            profile.WriteInt("Aspect", "Width", c.values.w);
            profile.WriteInt("Aspect", "Height", c.values.h);
            profile.WriteInt("Aspect", "ShowCmd", c.values.showCmd);
        }
        const FramePlacement p = LoadFramePlacement(profile, c.screen, c.resetGui);
        EXPECT_EQ(p.x, c.expected.x) << c.what;
        EXPECT_EQ(p.y, c.expected.y) << c.what;
        EXPECT_EQ(p.width, c.expected.width) << c.what;
        EXPECT_EQ(p.height, c.expected.height) << c.what;
        EXPECT_EQ(p.showCmd, c.expected.showCmd) << c.what;
        EXPECT_EQ(p.defaultSizeUsed, c.expected.defaultSizeUsed) << c.what;
    }
}

TEST(FramePlacement, CloseStoresThePlacementUnlessMinimised) {
    TempRegistry store("close");
    controls::RegistryBarProfile profile(*store.registry, kRoot);
    FrameCloseState state;
    state.window = Rect::FromXYWH(30, 40, 800, 600);
    state.restored = Rect::FromXYWH(10, 20, 700, 500);
    state.minimised = true;
    EXPECT_FALSE(StoreFramePlacement(profile, state));
    EXPECT_EQ(profile.GetInt("Aspect", "X", -7), -7);

    state.minimised = false;
    EXPECT_TRUE(StoreFramePlacement(profile, state));
    EXPECT_EQ(profile.GetInt("Aspect", "X", 0), 30);
    EXPECT_EQ(profile.GetInt("Aspect", "Height", 0), 600);
    EXPECT_EQ(profile.GetInt("Aspect", "ShowCmd", 0), kShowNormal);

    state.maximised = true;  // the restored rectangle is what comes back next time
    EXPECT_TRUE(StoreFramePlacement(profile, state));
    EXPECT_EQ(profile.GetInt("Aspect", "X", 0), 10);
    EXPECT_EQ(profile.GetInt("Aspect", "Width", 0), 700);
    EXPECT_EQ(profile.GetInt("Aspect", "ShowCmd", 0), kShowMaximized);

    // What was stored is what the next start opens with.
    const FramePlacement next = LoadFramePlacement(profile, Rect::FromXYWH(0, 0, 1920, 1080), false);
    EXPECT_EQ(next.x, 10);
    EXPECT_EQ(next.height, 500);
    EXPECT_EQ(next.showCmd, kShowMaximized);
    // The store lives in the user scope.
    EXPECT_TRUE(store.registry->KeyExists(platform::Scope::User, kRoot + "\\Aspect"));
}

TEST(FramePlacement, DefaultSizeOfTheFamilies) {
    EXPECT_EQ(DefaultFrameRect(false), Rect::FromXYWH(100, 100, 996, 501));
    EXPECT_EQ(DefaultFrameRect(true), Rect::FromXYWH(100, 100, 808, 482));
}

}  // namespace
