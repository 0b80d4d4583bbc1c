// The grid in a desktop window: a big grid scrolled, edited by key events,
// sorted and copied, with its notifications reaching the window that holds it.

#include <gtest/gtest.h>
#include <wx/frame.h>
#include <wx/panel.h>

#include "ControlsTestSupport.h"
#include "controls/GridCtrl.h"
#include "controls/GridWindow.h"
#include "controls/InPlaceEdit.h"
#include "platform/ui/CommonDialogs.h"
#include "platform/ui/Frame.h"
#include "platform/ui/Gui.h"
#include "platform/ui/WindowPicture.h"

using namespace controls;
using platform::ui::Point;
using platform::ui::Rect;

namespace {

constexpr int kRows = 10000;
constexpr int kCols = 20;

Point Centre(CGridCtrl& grid, int row, int col) {
    Rect rect;
    EXPECT_TRUE(grid.GetCellRect(row, col, rect));
    return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

void Key(GridWindow* window, int keyCode, bool control = false) {
    wxKeyEvent event(wxEVT_KEY_DOWN);
    event.m_keyCode = keyCode;
    event.m_controlDown = control;
    event.SetEventObject(window);
    window->GetEventHandler()->ProcessEvent(event);
}

void Mouse(GridWindow* window, wxEventType type, Point point, bool leftDown) {
    wxMouseEvent event(type);
    event.SetPosition(wxPoint(point.x, point.y));
    event.m_leftDown = leftDown;
    event.SetEventObject(window);
    window->GetEventHandler()->ProcessEvent(event);
}

TEST(GridWindowSmoke, ABigGridScrolledEditedSortedAndCopied) {
    platform::ui::Frame frame;
    ASSERT_TRUE(frame.Create("Grid", 900, 600));
    std::vector<int> codes;
    int commands = 0;
    frame.OnMessageId(WM_NOTIFY, [&](uintptr_t id, intptr_t record) {
        EXPECT_EQ(id, 100u);
        codes.push_back(reinterpret_cast<const NotifyHeader*>(record)->code);
        return intptr_t{0};
    });
    frame.OnMessageId(WM_COMMAND, [&](uintptr_t, intptr_t) {
        ++commands;
        return intptr_t{0};
    });
    frame.GetFrame()->Show();

    CGridCtrl grid(kRows + 1, kCols, 1, 1);
    grid.SetRedraw(false);
    for (int c = 0; c < kCols; ++c) grid.SetItemText(0, c, "Column " + std::to_string(c));
    for (int r = 1; r <= kRows; ++r) {
        grid.SetItemText(r, 0, std::to_string(r));
        // Column 1 holds a key in scrambled order, padded so that text order is numeric order.
        char key[8];
        std::snprintf(key, sizeof(key), "%05d", (r * 7919) % kRows);
        grid.SetItemText(r, 1, key);
        for (int c = 2; c < kCols; ++c) grid.SetItemText(r, c, std::to_string(r) + "." + std::to_string(c));
    }
    grid.SetRedraw(true, true);
    grid.SetHeaderSort(true);
    ASSERT_TRUE(grid.Create(frame.GetFrame(), {0, 0, 880, 560}, 100));
    GridWindow* window = grid.GetWindow();
    ASSERT_NE(window, nullptr);
    platform::ui::ProcessPending();
    EXPECT_TRUE(window->ScrollBar(true)->IsShown());
    EXPECT_TRUE(window->ScrollBar(false)->IsShown());

    // Scrolled by keys.
    grid.SetFocusCell(1, 1);
    Key(window, WXK_PAGEDOWN);
    EXPECT_GT(grid.GetTopleftNonFixedCell().row, 10);
    EXPECT_EQ(grid.GetFocusCell().row, grid.GetTopleftNonFixedCell().row);
    Key(window, WXK_END, true);
    EXPECT_EQ(grid.GetFocusCell(), CCellID(kRows, kCols - 1));
    EXPECT_TRUE(grid.IsCellVisible(kRows, kCols - 1));
    EXPECT_EQ(window->ScrollBar(true)->GetThumbPosition(), grid.GetScrollPos32(ScrollBarKind::Vert));
    Key(window, WXK_HOME, true);
    EXPECT_EQ(grid.GetFocusCell(), CCellID(1, 1));
    Key(window, WXK_DOWN);
    Key(window, WXK_RIGHT);
    EXPECT_EQ(grid.GetFocusCell(), CCellID(2, 2));

    // Edited by key events: a typed digit opens the editor, Tab ends it and
    // goes on in the next cell, Enter ends that one.
    window->Char('4');
    auto* edit = dynamic_cast<CInPlaceEdit*>(grid.GetCell(2, 2)->GetEditWnd());
    ASSERT_NE(edit, nullptr);
    edit->SendChar('2');
    EXPECT_EQ(edit->Text(), "42");
    wxKeyEvent tab(wxEVT_KEY_DOWN);
    tab.m_keyCode = WXK_TAB;
    edit->GetEventHandler()->ProcessEvent(tab);
    EXPECT_EQ(grid.GetItemText(2, 2), "42");
    EXPECT_EQ(grid.GetFocusCell(), CCellID(2, 3));
    auto* next = dynamic_cast<CInPlaceEdit*>(grid.GetCell(2, 3)->GetEditWnd());
    ASSERT_NE(next, nullptr);
    next->SetValue("edited");
    wxKeyEvent enter(wxEVT_KEY_DOWN);
    enter.m_keyCode = WXK_RETURN;
    next->GetEventHandler()->ProcessEvent(enter);
    EXPECT_EQ(grid.GetItemText(2, 3), "edited");
    EXPECT_FALSE(grid.GetCell(2, 3)->IsEditing());
    platform::ui::ProcessPending();

    // Sorted by a click on the heading of column 1.
    const Point heading = Centre(grid, 0, 1);
    Mouse(window, wxEVT_LEFT_DOWN, heading, true);
    Mouse(window, wxEVT_LEFT_UP, heading, false);
    EXPECT_EQ(grid.GetSortColumn(), 1);
    EXPECT_EQ(grid.GetItemText(1, 1), "00000");
    EXPECT_EQ(grid.GetItemText(kRows, 1), "09999");
    for (int r = 2; r <= kRows; ++r) ASSERT_LT(grid.GetItemText(r - 1, 1), grid.GetItemText(r, 1));

    // Copied: a dragged selection and Ctrl+C.
    const Point from = Centre(grid, 1, 1);
    const Point to = Centre(grid, 2, 2);
    Mouse(window, wxEVT_LEFT_DOWN, from, true);
    Mouse(window, wxEVT_MOTION, to, true);
    Mouse(window, wxEVT_LEFT_UP, to, false);
    EXPECT_EQ(grid.GetSelectedCellRange(), CCellRange(1, 1, 2, 2));
    Key(window, 'C', true);
    const std::string expected = grid.GetItemText(1, 1) + "\t" + grid.GetItemText(1, 2) + "\r\n" +
                                 grid.GetItemText(2, 1) + "\t" + grid.GetItemText(2, 2);
    EXPECT_EQ(platform::ui::GetClipboardText(), std::optional<std::string>(expected));

    // What the holder heard.
    platform::ui::ProcessPending();
    for (int code : {gridnotify::SelChanging, gridnotify::SelChanged, gridnotify::Click,
                     gridnotify::BeginLabelEdit, gridnotify::EndLabelEdit}) {
        EXPECT_NE(std::find(codes.begin(), codes.end(), code), codes.end()) << code;
    }
    EXPECT_GT(commands, 0) << "a click posts a command to the holder";

    // The picture of the window as it is on the screen.
    EXPECT_TRUE(platform::ui::SaveWindowPicture(window, ControlArtifacts() / "grid-window.png"));
    frame.DestroyWindow();
    platform::ui::ProcessPending();
    EXPECT_FALSE(grid.HasWindow()) << "the grid outlives its window";
    EXPECT_EQ(grid.GetItemText(1, 1), "00000");
}

TEST(GridWindowSmoke, CreatedInAPlaceholderItFillsIt) {
    auto* frame = new wxFrame(nullptr, wxID_ANY, "placeholder", wxDefaultPosition, wxSize(400, 300));
    auto* placeholder = new wxPanel(frame, 55, wxPoint(10, 10), wxSize(300, 200));
    frame->Show();
    {
        CGridCtrl grid(50, 5, 1, 1);
        ASSERT_TRUE(grid.CreateIn(placeholder));
        EXPECT_EQ(grid.GetWindow()->GetId(), 55);
        placeholder->SetSize(320, 220);
        placeholder->Layout();
        EXPECT_EQ(grid.GetWindow()->GetSize(), wxSize(320, 220));
    }
    // The grid went first; its window went with it.
    EXPECT_TRUE(placeholder->GetChildren().empty());
    frame->Destroy();
    platform::ui::ProcessPending();
}

}  // namespace
