#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>
#include <wx/frame.h>
#include <wx/image.h>

#include "platform/Bitmap.h"
#include "platform/ui/CommonDialogs.h"
#include "platform/ui/DrawContext.h"
#include "platform/ui/Frame.h"
#include "platform/ui/Gui.h"
#include "platform/ui/Images.h"
#include "platform/ui/TabCtrl.h"

using namespace platform::ui;
using platform::RGB;

namespace {

std::filesystem::path Artifacts() {
    return std::filesystem::path(TUNOVA_BINARY_DIR) / "artifacts" / "ui";
}

TEST(DrawContext, DrawsShapesTextAndCurvesIntoMemory) {
    MemoryCanvas canvas(200, 120);
    DrawContext& dc = canvas.Dc();
    dc.FillSolidRect({10, 10, 60, 40}, RGB(255, 0, 0));
    dc.SetPen(RGB(0, 0, 255), 1);
    dc.Line(0, 100, 199, 100);
    dc.SetPen(RGB(0, 128, 0), 2);
    dc.PolyBezier({{10, 90}, {50, 50}, {90, 130}, {130, 60}});
    dc.Polyline({{140, 10}, {190, 10}, {190, 50}});
    dc.Draw3dRect({70, 10, 110, 40}, RGB(255, 255, 255), RGB(64, 64, 64));
    dc.SetFont(FontSpec{"MS Shell Dlg", 8});
    dc.SetTextColor(RGB(0, 0, 0));
    dc.DrawText("Centred", {0, 40, 200, 60}, text::Center | text::VCenter);
    const Size extent = dc.TextExtent("Centred");
    EXPECT_GT(extent.cx, 10);
    EXPECT_GT(extent.cy, 5);
    EXPECT_GT(dc.TextExtent("Centred text").cx, extent.cx);
    EXPECT_EQ(canvas.PixelAt(20, 20), RGB(255, 0, 0));
    EXPECT_EQ(canvas.PixelAt(100, 100), RGB(0, 0, 255));
    EXPECT_EQ(canvas.PixelAt(70, 10), RGB(255, 255, 255));
    EXPECT_EQ(canvas.PixelAt(109, 39), RGB(64, 64, 64));
    EXPECT_EQ(canvas.PixelAt(195, 5), RGB(255, 255, 255));
    EXPECT_TRUE(canvas.SavePng(Artifacts() / "drawcontext.png"));
}

TEST(DrawContext, BezierPassesThroughItsEndPoints) {
    const auto points =
        FlattenBezier({{0, 0}, {10, 40}, {30, 40}, {40, 0}, {50, -10}, {60, -10}, {70, 0}}, 8);
    ASSERT_EQ(points.size(), 17u);
    EXPECT_EQ(points.front(), (Point{0, 0}));
    EXPECT_EQ(points[8], (Point{40, 0}));
    EXPECT_EQ(points.back(), (Point{70, 0}));
    EXPECT_EQ(points[4], (Point{20, 30}));  // the middle of a symmetric curve
    EXPECT_EQ(FlattenBezier({{1, 1}, {2, 2}}).size(), 1u) << "an incomplete segment draws nothing";
}

TEST(DrawContext, WindowsFontsMapToTheDefaultSansSerifAtTheSameSize) {
    for (const char* face : {"MS Shell Dlg", "Microsoft Sans Serif", "Arial"}) {
        const wxFont font = MakeFont({face, 9});
        EXPECT_TRUE(font.IsOk());
        EXPECT_EQ(font.GetFamily(), wxFONTFAMILY_SWISS) << face;
        EXPECT_DOUBLE_EQ(font.GetFractionalPointSize(), 9.0) << face;
    }
    const wxFont bold = MakeFont({"Arial", 12, true});
    EXPECT_EQ(bold.GetWeight(), wxFONTWEIGHT_BOLD);
}

TEST(DrawContext, PlatformBitmapsConvert) {
    platform::Bitmap bitmap(2, 1);
    bitmap.At(0, 0) = platform::ColorRefToPixel(RGB(10, 20, 30));
    bitmap.At(1, 0) = platform::ColorRefToPixel(RGB(200, 100, 50));
    const wxImage image = ToWxImage(bitmap);
    ASSERT_TRUE(image.IsOk());
    EXPECT_EQ(image.GetRed(0, 0), 10);
    EXPECT_EQ(image.GetGreen(0, 0), 20);
    EXPECT_EQ(image.GetBlue(1, 0), 50);
    EXPECT_FALSE(ToWxImage(platform::Bitmap()).IsOk());
}

TEST(Images, LookedUpByResourceId) {
    const auto folder = std::filesystem::temp_directory_path() / "tunova_ui_images";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    MemoryCanvas picture(8, 6, RGB(1, 2, 3));
    ASSERT_TRUE(picture.SavePng(folder / "2040-led-green.png"));
    std::ofstream(folder / "2041-broken.png") << "not a png";
    SetResourceFolder(folder);
    const wxBitmap led = LoadImageResource(2040);
    ASSERT_TRUE(led.IsOk());
    EXPECT_EQ(led.GetWidth(), 8);
    EXPECT_FALSE(LoadImageResource(2041).IsOk());
    EXPECT_FALSE(LoadImageResource(2042).IsOk());
    EXPECT_EQ(FindImageResource(2040).filename(), "2040-led-green.png");
    SetResourceFolder({});
    std::filesystem::remove_all(folder);
}

TEST(Clipboard, TextRoundTrip) {
    ASSERT_TRUE(SetClipboardText("Axis\t1\nΩ"));
    const auto text = GetClipboardText();
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text, "Axis\t1\nΩ");
}

TEST(CommonDialogs, WindowsFilterTextsAreAccepted) {
    EXPECT_EQ(NormaliseFilter("Graphs (*.grd)|*.grd||"), "Graphs (*.grd)|*.grd");
    EXPECT_EQ(NormaliseFilter(""), "All files (*)|*");
}

TEST(FrameCommands, MenusToolsAndStatusPanes) {
    Frame frame;
    ASSERT_TRUE(frame.Create("Main", 400, 300));
    frame.SetMenus({{0, "&File", {{32771, "&Connect"}, {0, ""}, {1001, "&Log", {}, true}}}});
    frame.SetToolBar({{32771, 0, "Connect"}, {0}, {32773, 0, "Scope"}});
    frame.SetStatusPanes({-1, 80});
    int connects = 0;
    frame.OnCommand(32771, [&] { ++connects; });
    wxCommandEvent menu(wxEVT_MENU, frame.WxIdOf(32771));
    frame.GetFrame()->GetEventHandler()->ProcessEvent(menu);
    wxCommandEvent tool(wxEVT_TOOL, frame.WxIdOf(32771));
    frame.GetFrame()->GetEventHandler()->ProcessEvent(tool);
    EXPECT_EQ(connects, 2);
    frame.CheckCommand(1001, true);
    EXPECT_TRUE(frame.IsCommandChecked(1001));
    frame.EnableCommand(32773, false);
    EXPECT_FALSE(frame.IsCommandEnabled(32773));
    frame.SetStatusText(1, "Offline");
    EXPECT_EQ(frame.GetStatusText(1), "Offline");
    EXPECT_FALSE(frame.Command(9999));
}

TEST(TabStrip, DrawsAndMovesWithKeys) {
    auto* top = new wxFrame(nullptr, wxID_ANY, "tabs");
    auto* tab = new TabCtrl();
    ASSERT_TRUE(tab->Create(top, 100, wxPoint(0, 0), wxSize(300, 60)));
    for (const char* t : {"Motor", "Feedback", "Limits"}) tab->InsertItem(-1, t);
    int changes = 0;
    tab->selChange = [&] { ++changes; };
    EXPECT_TRUE(tab->PressKey(WXK_RIGHT));
    EXPECT_EQ(tab->GetCurSel(), 1);
    tab->selChanging = [] { return -1; };
    tab->PressKey(WXK_RIGHT);
    EXPECT_EQ(tab->GetCurSel(), 1) << "a negative answer stops the change";
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(tab->HitTest({tab->GetItemRect(2).left + 2, 6}), 2);
    EXPECT_EQ(tab->HitTest({299, 50}), -1);
    MemoryCanvas canvas(300, 60);
    tab->DrawAll(canvas.Dc());
    EXPECT_TRUE(canvas.SavePng(Artifacts() / "tabctrl.png"));
    top->Destroy();
}

}  // namespace
