// Keys, mouse gestures, selection and in-place editing, without a display.

#include <gtest/gtest.h>

#include "GridTestSupport.h"
#include "controls/GridCtrl.h"

using namespace controls;
using namespace gridtest;

namespace {

using Cells = std::set<std::pair<int, int>>;

TEST(GridKeys, TabWrapsAtTheRowEndsAndPassesOnAtTheGridEnds) {
    struct Case {
        const char* what;
        CCellID from;
        bool shift;
        bool hideLastColumn;
        bool handled;
        CCellID to;
    };
    const std::vector<Case> cases = {
        {"next column", {1, 1}, false, false, true, {1, 2}},
        {"end of a row", {1, 3}, false, false, true, {2, 1}},
        {"last cell: to the dialog", {3, 3}, false, false, false, {3, 3}},
        {"back to the previous row", {2, 1}, true, false, true, {1, 3}},
        {"first cell: to the dialog", {1, 1}, true, false, false, {1, 1}},
        {"a hidden last column is passed over", {1, 2}, false, true, true, {2, 1}},
        {"back over a hidden last column", {2, 1}, true, true, true, {1, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Fixture f(4, 4);
        if (c.hideLastColumn) f.grid.SetColumnWidth(3, 0);
        f.grid.SetFocusCell(c.from);
        f.host.keys = c.shift ? std::set<unsigned>{vk::Shift} : std::set<unsigned>{};
        EXPECT_EQ(f.grid.OnKeyDown(vk::Tab), c.handled);
        EXPECT_EQ(f.grid.GetFocusCell(), c.to);
        if (c.handled) {
            EXPECT_EQ(f.Selected(), (Cells{{c.to.row, c.to.col}})) << "Tab selects the cell it moves to";
            EXPECT_EQ(f.grid.GetSelectionStart(), c.to);
        }
    }
}

TEST(GridKeys, ShiftArrowsExtendFromTheSelectionStart) {
    Fixture f(6, 6);
    f.Click(2, 2);
    f.Key(vk::Down, true);
    f.Key(vk::Right, true);
    EXPECT_EQ(f.Selected(), (Cells{{2, 2}, {2, 3}, {3, 2}, {3, 3}}));
    EXPECT_EQ(f.grid.GetFocusCell(), CCellID(3, 3));
    f.Key(vk::Up, true);
    f.Key(vk::Up, true);
    EXPECT_EQ(f.Selected(), (Cells{{1, 2}, {1, 3}, {2, 2}, {2, 3}})) << "the range turns about the start";
    f.Key(vk::Right);
    EXPECT_EQ(f.Selected(), (Cells{{1, 4}}));
    // Each move is announced before and after.
    std::vector<int> codes = f.host.Codes();
    ASSERT_GE(codes.size(), 2u);
    EXPECT_EQ(codes[codes.size() - 2], gridnotify::SelChanging);
    EXPECT_EQ(codes.back(), gridnotify::SelChanged);
    // The focus never enters the fixed rows and columns.
    f.grid.SetFocusCell(1, 1);
    f.Key(vk::Up);
    f.Key(vk::Left);
    EXPECT_EQ(f.grid.GetFocusCell(), CCellID(1, 1));
}

TEST(GridKeys, PageAndHomeEndKeysMoveWithTheView) {
    Fixture f(100, 20);
    f.grid.SetFocusCell(1, 1);
    f.Key(vk::Next);
    const CCellID top = f.grid.GetTopleftNonFixedCell();
    EXPECT_GT(top.row, 1);
    EXPECT_EQ(f.grid.GetFocusCell().row, top.row) << "to the new top row";
    f.Key(vk::End, false, true);
    EXPECT_EQ(f.grid.GetFocusCell(), CCellID(99, 19));
    EXPECT_TRUE(f.grid.IsCellVisible(99, 19));
    f.Key(vk::Next);
    EXPECT_EQ(f.grid.GetFocusCell(), CCellID(99, 19)) << "at the end the last row keeps the focus";
    f.Key(vk::Home, false, true);
    EXPECT_EQ(f.grid.GetFocusCell(), CCellID(1, 1));
    EXPECT_EQ(f.grid.GetScrollPos32(ScrollBarKind::Vert), 0);
    EXPECT_EQ(f.grid.GetScrollPos32(ScrollBarKind::Horz), 0);
}

TEST(GridKeys, CharactersStartAnEditOfTheFocusCell) {
    Fixture f(4, 4);
    EXPECT_FALSE(f.grid.OnChar('x')) << "no focus cell: nothing happens";
    EXPECT_TRUE(f.host.editors.empty());
    f.grid.SetFocusCell(2, 2);
    EXPECT_FALSE(f.grid.OnChar(vk::Escape));
    EXPECT_FALSE(f.grid.OnChar(vk::Tab)) << "Tab is passed on";
    EXPECT_TRUE(f.host.editors.empty()) << "Escape never starts an edit";
    f.host.keys = {vk::Control};
    EXPECT_FALSE(f.grid.OnChar('x'));
    f.host.keys.clear();
    EXPECT_TRUE(f.grid.OnChar('x'));
    ASSERT_EQ(f.host.editors.size(), 1u);
    EXPECT_EQ(f.host.editors[0]->request.firstChar, static_cast<unsigned>('x'));
    EXPECT_EQ(f.host.editors[0]->request.text, "r2c2");
    EXPECT_EQ(f.host.editors[0]->request.rect, (Rect{100, 40, 149, 59}));
    EXPECT_EQ(f.host.editors[0]->request.id, 8);
    // A second character goes to the open editor.
    EXPECT_TRUE(f.grid.OnChar('y'));
    EXPECT_EQ(f.host.editors.size(), 1u);
    EXPECT_EQ(f.host.editors[0]->chars, std::vector<unsigned>{'y'});
}

TEST(GridKeys, DeleteClearsTheSelectedCellsThatAreNotReadOnly) {
    Fixture f(4, 4);
    f.grid.GetCell(2, 2)->SetState(f.grid.GetCell(2, 2)->GetState() | cellstate::ReadOnly);
    f.grid.SetFocusCell(1, 1);
    f.grid.SetSelectedRange(1, 1, 2, 2);
    f.Key(vk::Delete);
    EXPECT_EQ(f.grid.GetItemText(1, 1), "");
    EXPECT_EQ(f.grid.GetItemText(2, 1), "");
    EXPECT_EQ(f.grid.GetItemText(2, 2), "r2c2");
    EXPECT_EQ(f.grid.GetItemText(3, 3), "r3c3");
}

TEST(GridMouse, CtrlClickKeepsTheSelection) {
    Fixture f(5, 5);
    f.Click(1, 1);
    f.Click(2, 2, mouseflags::Control);
    f.Click(3, 3, mouseflags::Control);
    EXPECT_EQ(f.Selected(), (Cells{{1, 1}, {2, 2}, {3, 3}}));
    f.Click(2, 2, mouseflags::Control);
    EXPECT_EQ(f.Selected(), (Cells{{1, 1}, {2, 2}, {3, 3}})) << "Ctrl on a selected cell keeps the others";
    EXPECT_EQ(f.grid.GetFocusCell(), CCellID(2, 2));
    f.Click(4, 4);
    EXPECT_EQ(f.Selected(), (Cells{{4, 4}})) << "a plain click starts over";
    f.Click(2, 3, mouseflags::Shift);
    EXPECT_EQ(f.Selected().size(), 6u) << "Shift selects from the selection start";
}

TEST(GridMouse, ClickingTheFocusedCellsTextEditsOnRelease) {
    Fixture f(5, 5);
    f.Click(2, 2);
    EXPECT_TRUE(f.host.editors.empty()) << "the first click only moves the focus";
    const Point p = f.Centre(2, 2);
    f.grid.OnLButtonDown(p, mouseflags::LButton);
    EXPECT_TRUE(f.host.editors.empty()) << "not on the press";
    EXPECT_EQ(f.grid.GetMouseMode(), CGridCtrl::MOUSE_PREPARE_EDIT);
    f.grid.OnLButtonUp(p, 0);
    ASSERT_EQ(f.host.editors.size(), 1u);
    EXPECT_EQ(f.host.editors[0]->request.firstChar, vk::LButton);
    EXPECT_TRUE(f.grid.GetCell(2, 2)->IsEditing());

    // With the grid not editable the press only selects.
    Fixture g(5, 5);
    g.grid.SetEditable(false);
    g.Click(2, 2);
    g.Click(2, 2);
    EXPECT_TRUE(g.host.editors.empty());
}

TEST(GridMouse, ClickSendsItsNotificationsAndACommand) {
    Fixture f(5, 5);
    f.Click(2, 3);
    EXPECT_EQ(f.host.Codes(),
              (std::vector<int>{gridnotify::SelChanging, gridnotify::SelChanged, gridnotify::Click}));
    EXPECT_EQ(f.host.notes.back().row, 2);
    EXPECT_EQ(f.host.notes.back().col, 3);
    EXPECT_EQ(f.host.commands, 1);
    EXPECT_TRUE(f.host.timers.empty()) << "the auto-scroll timer stops at the release";
    EXPECT_FALSE(f.host.captured);

    f.host.notes.clear();
    f.grid.OnRButtonUp(f.Centre(3, 1), 0);
    EXPECT_EQ(f.grid.GetFocusCell(), CCellID(3, 1));
    ASSERT_FALSE(f.host.notes.empty());
    EXPECT_EQ(f.host.notes.back().code, gridnotify::RClick);
    f.grid.OnRButtonUp({395, 295}, 0);
    EXPECT_EQ(f.host.notes.back().row, -1) << "right click outside the cells";
}

TEST(GridMouse, DraggingAcrossCellsSelectsTheRectangle) {
    Fixture f(8, 8);
    f.grid.OnLButtonDown(f.Centre(2, 2), mouseflags::LButton);
    EXPECT_EQ(f.host.timers.count(CGridCtrl::kAutoScrollTimer), 1u);
    f.grid.OnMouseMove(f.Centre(3, 4), mouseflags::LButton);
    f.grid.OnMouseMove(f.Centre(4, 4), mouseflags::LButton);
    f.grid.OnLButtonUp(f.Centre(4, 4), 0);
    EXPECT_EQ(f.Selected().size(), 9u);
    EXPECT_EQ(f.grid.GetSelectedCellRange(), CCellRange(2, 2, 4, 4));
    EXPECT_EQ(f.grid.GetFocusCell(), CCellID(4, 4));
}

TEST(GridMouse, HeaderClicksSelectColumnsRowsOrAll) {
    Fixture f(5, 5);
    f.Click(0, 2);
    EXPECT_EQ(f.grid.GetSelectedCellRange(), CCellRange(1, 2, 4, 2));
    f.Click(3, 0);
    EXPECT_EQ(f.grid.GetSelectedCellRange(), CCellRange(3, 1, 3, 4));
    f.Click(0, 0);
    EXPECT_EQ(f.grid.GetSelectedCount(), 16u);
    f.grid.SetFixedRowSelection(false);
    f.grid.ResetSelectedRange();
    f.Click(0, 2);
    EXPECT_EQ(f.grid.GetSelectedCount(), 0u);
}

TEST(GridMouse, HeaderClickSortsWhenAskedAndTogglesTheOrder) {
    Fixture f(5, 3);
    f.grid.SetHeaderSort(true);
    const std::vector<std::string> keys = {"c", "a", "d", "b"};
    for (int r = 1; r <= 4; ++r) f.grid.SetItemText(r, 1, keys[r - 1]);
    f.Click(0, 1);
    EXPECT_EQ(f.grid.GetSortColumn(), 1);
    EXPECT_TRUE(f.grid.GetSortAscending());
    EXPECT_EQ(f.grid.GetItemText(1, 1) + f.grid.GetItemText(4, 1), "ad");
    f.Click(0, 1);
    EXPECT_FALSE(f.grid.GetSortAscending());
    EXPECT_EQ(f.grid.GetItemText(1, 1) + f.grid.GetItemText(4, 1), "da");
}

TEST(GridMouse, DraggingAColumnDividerToTheLeftEdgeLeavesWidthZero) {
    Fixture f(5, 6);
    // Column 2 spans 100..149; its divider is at 149/150.
    f.grid.OnMouseMove({148, 5}, 0);
    EXPECT_EQ(f.grid.GetMouseMode(), CGridCtrl::MOUSE_OVER_COL_DIVIDE);
    EXPECT_EQ(f.host.cursorShape, GridCursor::SizeWE);
    f.grid.OnLButtonDown({148, 5}, mouseflags::LButton);
    EXPECT_EQ(f.grid.GetMouseMode(), CGridCtrl::MOUSE_SIZING_COL);
    EXPECT_FALSE(f.grid.GetTrackingLine().IsEmpty());
    f.grid.OnMouseMove({120, 5}, mouseflags::LButton);
    EXPECT_EQ(f.grid.GetTrackingLine().left, 120);
    f.grid.OnLButtonUp({100, 5}, 0);
    EXPECT_EQ(f.grid.GetColumnWidth(2), 0);
    EXPECT_TRUE(f.grid.GetTrackingLine().IsEmpty());

    // Just right of a divider the column to its left is sized: column 3 now
    // spans 100..149, column 4 starts at 150.
    f.grid.OnMouseMove({151, 5}, 0);
    f.grid.OnLButtonDown({151, 5}, mouseflags::LButton);
    f.grid.OnLButtonUp({180, 5}, 0);
    EXPECT_EQ(f.grid.GetColumnWidth(3), 80);

    // Without zero sizes the width stays at least 1.
    f.grid.EnableHiddenColUnhide(false);
    f.grid.OnMouseMove({179, 5}, 0);
    f.grid.OnLButtonDown({179, 5}, mouseflags::LButton);
    f.grid.OnLButtonUp({60, 5}, 0);
    EXPECT_EQ(f.grid.GetColumnWidth(3), 1);
}

TEST(GridMouse, DoubleClickOnADividerSizesTheColumn) {
    Fixture f(5, 6);
    f.grid.SetItemText(3, 2, "a rather long text");
    f.grid.OnMouseMove({148, 5}, 0);
    f.grid.OnLButtonDblClk({148, 5}, 0);
    const int margin = static_cast<int>(f.grid.GetDefaultCell(false, false)->GetMargin());
    EXPECT_EQ(f.grid.GetColumnWidth(2), 18 * kCharWidth + 2 * margin + 1);

    f.grid.OnMouseMove(f.Centre(2, 3), 0);
    f.grid.OnLButtonDblClk(f.Centre(2, 3), 0);
    ASSERT_EQ(f.host.editors.size(), 1u);
    EXPECT_EQ(f.host.notes.back().code, gridnotify::DblClick);
}

TEST(GridEditing, BeginEditVetoedByTheHolder) {
    Fixture f(4, 4);
    f.host.answer = [](const Note& n) { return n.code == gridnotify::BeginLabelEdit ? -1 : 0; };
    f.grid.SetFocusCell(2, 2);
    f.Key(vk::F2);
    EXPECT_TRUE(f.host.editors.empty());
    EXPECT_FALSE(f.grid.GetCell(2, 2)->IsEditing());
    EXPECT_EQ(f.host.notes.back().code, gridnotify::BeginLabelEdit);
    f.host.answer = nullptr;
    f.Key(vk::F2);
    ASSERT_EQ(f.host.editors.size(), 1u);
    EXPECT_EQ(f.host.editors[0]->request.firstChar, vk::LButton);

    // A read-only cell or a grid that is not editable is never edited.
    f.grid.EndEditing();
    EXPECT_EQ(f.host.editors[0]->ends, 1);
    Fixture g(4, 4);
    g.grid.GetCell(1, 1)->SetState(cellstate::ReadOnly);
    g.grid.OnEditCell(1, 1, {-1, -1}, 'a');
    g.grid.OnEditCell(9, 9, {-1, -1}, 'a');
    EXPECT_TRUE(g.host.editors.empty());
}

TEST(GridEditing, AnEditorThatCannotBeCreatedLeavesTheCellEditable) {
    Fixture f(4, 4);
    f.host.refuseEditors = true;
    f.grid.SetFocusCell(2, 2);
    EXPECT_TRUE(f.grid.OnChar('a'));
    EXPECT_FALSE(f.grid.GetCell(2, 2)->IsEditing()) << "no editor, no edit to end";
    f.host.refuseEditors = false;
    EXPECT_TRUE(f.grid.OnChar('b'));
    ASSERT_EQ(f.host.editors.size(), 1u) << "the next character opens an editor rather than feeding none";
    EXPECT_EQ(f.host.editors[0]->request.firstChar, static_cast<unsigned>('b'));
}

TEST(GridEditing, TabAtTheEndOfAnEditContinuesInTheNextCell) {
    Fixture f(4, 4);
    f.grid.SetFocusCell(1, 3);
    f.grid.OnChar('n');
    ASSERT_EQ(f.host.editors.size(), 1u);
    GridDispInfo end;
    end.code = gridnotify::EndLabelEdit;
    end.item.row = 1;
    end.item.col = 3;
    end.item.text = "new";
    end.item.data = vk::Tab;
    f.host.notes.clear();
    f.grid.OnEndInPlaceEdit(end);
    EXPECT_EQ(f.grid.GetItemText(1, 3), "new");
    EXPECT_TRUE(f.grid.GetCell(1, 3)->IsModified());
    EXPECT_FALSE(f.grid.GetCell(1, 3)->IsEditing());
    EXPECT_EQ(f.host.notes.front().code, gridnotify::EndLabelEdit);
    EXPECT_EQ(f.grid.GetFocusCell(), CCellID(2, 1)) << "Tab wraps to the next row";
    ASSERT_EQ(f.host.editors.size(), 2u);
    EXPECT_EQ(f.host.editors[1]->request.row, 2);
    EXPECT_EQ(f.host.editors[1]->request.col, 1);
    EXPECT_EQ(f.host.editors[1]->request.firstChar, vk::Tab);

    // Enter ends without moving; a refused end puts the old text back.
    f.host.answer = [](const Note& n) { return n.code == gridnotify::EndLabelEdit ? -1 : 0; };
    end.item.row = 2;
    end.item.col = 1;
    end.item.text = "refused";
    end.item.data = vk::Return;
    f.grid.OnEndInPlaceEdit(end);
    EXPECT_EQ(f.grid.GetItemText(2, 1), "r2c1");
    EXPECT_EQ(f.grid.GetFocusCell(), CCellID(2, 1));
    EXPECT_EQ(f.host.editors.size(), 2u);
}

TEST(GridEditing, KillingTheFocusDropsTheSelection) {
    Fixture f(4, 4);
    f.Click(2, 2);
    EXPECT_EQ(f.grid.GetSelectedCount(), 1u);
    f.grid.SetDeselectOnKillFocus(false);
    f.grid.OnKillFocus();
    EXPECT_EQ(f.grid.GetSelectedCount(), 1u);
    f.grid.SetDeselectOnKillFocus(true);
    f.grid.OnKillFocus();
    EXPECT_EQ(f.grid.GetSelectedCount(), 0u);
    EXPECT_EQ(f.grid.GetFocusCell(), CCellID(2, 2));
}

TEST(GridEditing, TitleTipShowsCellsWithATipText) {
    Fixture f(4, 4);
    f.grid.GetCell(2, 2)->SetTipText("the whole text");
    f.grid.OnMouseMove(f.Centre(2, 1), 0);
    EXPECT_TRUE(f.host.tips.empty());
    f.grid.OnMouseMove(f.Centre(2, 2), 0);
    EXPECT_EQ(f.host.tips, std::vector<std::string>{"the whole text"});
    f.grid.EnableTitleTips(false);
    f.grid.OnMouseMove(f.Centre(2, 2), 0);
    EXPECT_EQ(f.host.tips.size(), 1u);
}

}  // namespace
