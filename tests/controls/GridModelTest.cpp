// The grid's data: counts, fixed rows and columns, cell access, insert and
// delete, virtual mode and notifications.

#include <gtest/gtest.h>

#include "GridTestSupport.h"
#include "controls/GridCellCheck.h"
#include "controls/GridCellCombo.h"
#include "controls/GridCtrl.h"

using namespace controls;
using namespace gridtest;

namespace {

TEST(GridModel, OutOfRangeAccessorsAreRefused) {
    CGridCtrl grid(3, 4, 1, 1, Metrics());
    struct Case {
        int row;
        int col;
    };
    for (const Case& c : std::vector<Case>{{-1, 0}, {0, -1}, {3, 0}, {0, 4}, {-1, -1}, {100, 100}}) {
        SCOPED_TRACE(std::to_string(c.row) + "," + std::to_string(c.col));
        EXPECT_EQ(grid.GetCell(c.row, c.col), nullptr);
        EXPECT_EQ(grid.GetItemText(c.row, c.col), "");
        EXPECT_FALSE(grid.SetItemText(c.row, c.col, "x"));
        EXPECT_FALSE(grid.SetItemState(c.row, c.col, cellstate::Selected));
        EXPECT_FALSE(grid.SetCellType<CGridCellCheck>(c.row, c.col));
        EXPECT_FALSE(grid.IsCellSelected(c.row, c.col));
        EXPECT_FALSE(grid.IsCellEditable(c.row, c.col));
    }
    for (int i : {-1, 4}) {
        EXPECT_EQ(grid.GetColumnWidth(i), -1);
        EXPECT_FALSE(grid.SetColumnWidth(i, 10));
        EXPECT_FALSE(grid.DeleteColumn(i));
    }
    for (int i : {-1, 3}) {
        EXPECT_EQ(grid.GetRowHeight(i), -1);
        EXPECT_FALSE(grid.SetRowHeight(i, 10));
        EXPECT_FALSE(grid.DeleteRow(i));
    }
    const int width = grid.GetColumnWidth(1);
    EXPECT_FALSE(grid.SetColumnWidth(1, -5)) << "a negative width is refused";
    EXPECT_EQ(grid.GetColumnWidth(1), width);
    EXPECT_FALSE(grid.SetRowHeight(1, -1));
    EXPECT_FALSE(grid.SetItem(nullptr));
    GridItem item;
    item.row = 9;
    item.mask = itemmask::Text;
    EXPECT_FALSE(grid.SetItem(&item));
}

TEST(GridModel, CountsCreateAndDestroyCellsWithTheirFixedBits) {
    CGridCtrl grid(0, 0, 0, 0, Metrics());
    EXPECT_TRUE(grid.SetRowCount(4));
    EXPECT_TRUE(grid.SetColumnCount(3));
    EXPECT_TRUE(grid.SetFixedRowCount(1));
    EXPECT_TRUE(grid.SetFixedColumnCount(1));
    EXPECT_EQ(grid.GetCell(0, 0)->GetState() & 0x70,
              cellstate::Fixed | cellstate::FixedRow | cellstate::FixedCol);
    EXPECT_EQ(grid.GetCell(0, 2)->GetState() & 0x70, cellstate::Fixed | cellstate::FixedRow);
    EXPECT_EQ(grid.GetCell(2, 0)->GetState() & 0x70, cellstate::Fixed | cellstate::FixedCol);
    EXPECT_EQ(grid.GetCell(2, 2)->GetState() & 0x70, 0u);

    // Growing the fixed rows resets the colours of the newly fixed cells.
    grid.GetCell(1, 2)->SetBackClr(0x0000FF);
    grid.GetCell(1, 0)->SetTextClr(0x00FF00);
    EXPECT_TRUE(grid.SetFixedRowCount(2));
    EXPECT_EQ(grid.GetCell(1, 2)->GetState() & 0x70, cellstate::Fixed | cellstate::FixedRow);
    EXPECT_EQ(grid.GetCell(1, 2)->GetBackClr(), CLR_DEFAULT);
    EXPECT_EQ(grid.GetCell(1, 0)->GetTextClr(), CLR_DEFAULT);
    EXPECT_EQ(grid.GetCell(1, 0)->GetState() & 0x70,
              cellstate::Fixed | cellstate::FixedRow | cellstate::FixedCol);

    // Shrinking them: a cell that stays in a fixed column keeps the fixed bit.
    EXPECT_TRUE(grid.SetFixedRowCount(1));
    EXPECT_EQ(grid.GetCell(1, 0)->GetState() & 0x70, cellstate::Fixed | cellstate::FixedCol);
    EXPECT_EQ(grid.GetCell(1, 2)->GetState() & 0x70, 0u);

    // Fewer rows than fixed rows lowers the fixed count.
    EXPECT_TRUE(grid.SetFixedRowCount(3));
    EXPECT_TRUE(grid.SetRowCount(2));
    EXPECT_EQ(grid.GetFixedRowCount(), 2);
    EXPECT_EQ(grid.GetCell(2, 0), nullptr);
    // More fixed columns than columns adds columns.
    EXPECT_TRUE(grid.SetFixedColumnCount(5));
    EXPECT_EQ(grid.GetColumnCount(), 5);
    EXPECT_EQ(grid.GetCell(1, 4)->GetState() & cellstate::FixedCol, cellstate::FixedCol);
    EXPECT_FALSE(grid.SetRowCount(-1));
}

TEST(GridModel, ShrinkingClearsFocusAndSelectionBeyondTheNewEnd) {
    Fixture f(6, 4);
    f.grid.SetFocusCell(5, 3);
    f.grid.SetSelectedRange(4, 2, 5, 3);
    EXPECT_EQ(f.grid.GetSelectedCount(), 4u);
    f.grid.SetRowCount(5);
    EXPECT_FALSE(f.grid.GetFocusCell().IsValid());
    EXPECT_EQ(f.grid.GetSelectedCount(), 2u);
    EXPECT_EQ(f.grid.GetSelectedCellRange(), CCellRange(4, 2, 4, 3));
}

TEST(GridModel, InsertRowAppliesItsHeadingAndMovesTheFocusDown) {
    Fixture f(5, 3);
    f.grid.SetFocusCell(3, 1);
    const int fixedRowHeight = f.grid.GetDefaultCell(true, false)->GetHeight();
    EXPECT_EQ(f.grid.InsertRow("Heading", 2), 2);
    EXPECT_EQ(f.grid.GetRowCount(), 6);
    EXPECT_EQ(f.grid.GetItemText(2, 0), "Heading");
    EXPECT_TRUE(f.grid.GetCell(2, 0)->IsModified());
    EXPECT_EQ(f.grid.GetItemText(3, 1), "r2c1") << "the old row moved down";
    EXPECT_EQ(f.grid.GetFocusCell(), CCellID(4, 1));
    EXPECT_EQ(f.grid.GetRowHeight(2), fixedRowHeight);

    // A focus above the insertion point stays.
    EXPECT_EQ(f.grid.InsertRow("End"), 6) << "-1 appends";
    EXPECT_EQ(f.grid.GetItemText(6, 0), "End");
    EXPECT_EQ(f.grid.GetFocusCell(), CCellID(4, 1));

    EXPECT_EQ(f.grid.InsertRow("x", 0), -1) << "not among the fixed rows";
    EXPECT_EQ(f.grid.InsertRow("x", 7), -1) << "not beyond the last row";

    CGridCtrl empty(0, 0, 0, 0, Metrics());
    EXPECT_EQ(empty.InsertRow("first"), 0);
    EXPECT_EQ(empty.GetColumnCount(), 1) << "a grid without columns gets one";
    EXPECT_EQ(empty.GetItemText(0, 0), "first");
}

TEST(GridModel, DeleteAdjustsOrClearsTheFocus) {
    struct Case {
        const char* what;
        bool row;
        int index;
        CCellID focus;
        CCellID expected;
    };
    const std::vector<Case> cases = {
        {"row above the focus", true, 2, {4, 2}, {3, 2}}, {"the focus row", true, 4, {4, 2}, {}},
        {"row below the focus", true, 5, {4, 2}, {4, 2}}, {"column left of it", false, 1, {4, 2}, {4, 1}},
        {"the focus column", false, 2, {4, 2}, {}},       {"column right of it", false, 3, {4, 2}, {4, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Fixture f(7, 5);
        f.grid.SetFocusCell(c.focus);
        f.grid.SetSelectedRange(1, 1, 2, 2);
        const std::string survivor = f.grid.GetItemText(6, 4);
        EXPECT_TRUE(c.row ? f.grid.DeleteRow(c.index) : f.grid.DeleteColumn(c.index));
        EXPECT_EQ(f.grid.GetFocusCell(), c.expected);
        EXPECT_EQ(f.grid.GetSelectedCount(), 0u) << "the selection is reset";
        EXPECT_EQ(c.row ? f.grid.GetRowCount() : f.grid.GetColumnCount(), c.row ? 6 : 4);
        EXPECT_EQ(f.grid.GetItemText(c.row ? 5 : 6, c.row ? 4 : 3), survivor);
    }
    Fixture f(4, 4, 2, 2);
    f.grid.DeleteRow(0);
    f.grid.DeleteColumn(1);
    EXPECT_EQ(f.grid.GetFixedRowCount(), 1) << "deleting a fixed row lowers the fixed count";
    EXPECT_EQ(f.grid.GetFixedColumnCount(), 1);
    f.grid.SetSortColumn(2);
    EXPECT_TRUE(f.grid.DeleteAllItems());
    EXPECT_EQ(f.grid.GetRowCount() + f.grid.GetColumnCount() + f.grid.GetFixedRowCount(), 0);
    EXPECT_EQ(f.grid.GetSortColumn(), -1);
}

TEST(GridModel, SetItemAppliesTheMaskedFieldsAndSelectionFollowsTheStateBit) {
    Fixture f(3, 3);
    GridItem item;
    item.row = 1;
    item.col = 2;
    item.mask = itemmask::Text | itemmask::State | itemmask::BackColor | itemmask::Margin;
    item.text = "set";
    item.state = cellstate::Selected | cellstate::ReadOnly;
    item.backColor = 0x112233;
    item.textColor = 0x445566;  // not in the mask
    item.margin = 4;
    ASSERT_TRUE(f.grid.SetItem(&item));
    const CGridCellBase* cell = f.grid.GetCell(1, 2);
    EXPECT_EQ(cell->GetText(), "set");
    EXPECT_TRUE(cell->IsReadOnly());
    EXPECT_EQ(cell->GetBackClr(), 0x112233u);
    EXPECT_EQ(cell->GetTextClr(), CLR_DEFAULT);
    EXPECT_EQ(cell->GetMargin(), 4u);
    EXPECT_TRUE(f.grid.IsCellSelected(1, 2));
    EXPECT_EQ(f.grid.GetSelectedCellRange(), CCellRange(1, 2, 1, 2));
    EXPECT_FALSE(f.grid.IsCellEditable(1, 2));
    f.grid.SetItemState(1, 2, 0);
    EXPECT_EQ(f.grid.GetSelectedCount(), 0u);
}

TEST(GridModel, SetCellTypeKeepsTheCellsAttributes) {
    Fixture f(3, 3);
    f.grid.GetCell(1, 1)->SetBackClr(0x00AA00);
    ASSERT_TRUE(f.grid.SetCellType<CGridCellCombo>(1, 1));
    auto* combo = dynamic_cast<CGridCellCombo*>(f.grid.GetCell(1, 1));
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->GetText(), "r1c1");
    EXPECT_EQ(combo->GetBackClr(), 0x00AA00u);
    EXPECT_EQ(combo->GetGrid(), &f.grid);
    EXPECT_STREQ(combo->GetRuntimeClass()->name, "CGridCellCombo");
    EXPECT_FALSE(f.grid.SetCellType(1, 1, nullptr));
    EXPECT_TRUE(f.grid.SetDefaultCellType(CellClassOf<CGridCellCheck>()));
    f.grid.SetRowCount(4);
    EXPECT_NE(dynamic_cast<CGridCellCheck*>(f.grid.GetCell(3, 1)), nullptr)
        << "new cells take the default type";
}

TEST(GridModel, ModifiedMarksTheCellAndClearsTheSortColumn) {
    Fixture f(3, 3);
    f.grid.SetSortColumn(1);
    f.grid.SetModified(true, 1, 2);
    EXPECT_EQ(f.grid.GetSortColumn(), 1) << "another column's change keeps the sort";
    EXPECT_TRUE(f.grid.GetCell(1, 2)->IsModified());
    f.grid.SetItemText(2, 1, "changed");
    EXPECT_EQ(f.grid.GetSortColumn(), -1);
    EXPECT_TRUE(f.grid.GetModified());
}

TEST(GridModel, NotificationsNeedAWindow) {
    CGridCtrl grid(3, 3, 1, 1, Metrics());
    EXPECT_EQ(grid.SendMessageToParent(1, 1, gridnotify::Click), 0);
    FakeHost host;
    host.answer = [](const Note&) { return 7; };
    grid.AttachHost(&host);
    EXPECT_EQ(grid.SendMessageToParent(1, 2, gridnotify::Click), 7);
    ASSERT_EQ(host.notes.size(), 1u);
    EXPECT_EQ(host.notes[0].row, 1);
    EXPECT_EQ(host.notes[0].col, 2);
    grid.AttachHost(nullptr);
}

TEST(GridModel, SelectionTellsApartRowsThatDifferBy65536) {
    // Rows 4464 and 70000 share their low 16 bits.
    CGridCtrl grid(70001, 2, 0, 0, Metrics());
    grid.SetItemState(4464, 0, cellstate::Selected);
    grid.SetItemState(70000, 0, cellstate::Selected);
    EXPECT_EQ(grid.GetSelectedCount(), 2u);
    EXPECT_EQ(grid.GetSelectedCellRange(), CCellRange(4464, 0, 70000, 0));
    grid.SetItemState(70000, 0, 0);
    EXPECT_TRUE(grid.IsCellSelected(4464, 0));
    EXPECT_EQ(grid.GetSelectedCount(), 1u);
}

// --- Virtual mode ------------------------------------------------------------------------

TEST(GridVirtual, AsksTheHolderForEachCellWithTheDefaultAttributes) {
    FakeHost host;
    CGridCtrl grid(0, 0, 0, 0, Metrics());
    grid.SetVirtualMode(true);
    grid.SetRowCount(100);
    grid.SetColumnCount(5);
    grid.SetFixedRowCount(1);
    grid.SetFixedColumnCount(1);
    grid.AttachHost(&host);
    host.fill = [](GridDispInfo& info) {
        info.item.text = "v" + std::to_string(info.item.row) + "." + std::to_string(info.item.col);
        if (info.item.row == 3) info.item.backColor = 0x0000FF;
    };
    grid.SetFocusCell(3, 2);
    grid.SetSelectedRange(3, 2, 4, 2);
    GridItem seen;
    host.fill = [&](GridDispInfo& info) {
        seen = info.item;
        info.item.text = "v" + std::to_string(info.item.row);
    };
    const CGridCellBase* cell = grid.GetCell(3, 2);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->GetText(), "v3");
    EXPECT_EQ(seen.mask, itemmask::All);
    EXPECT_EQ(seen.state, cellstate::Selected | cellstate::Focused);
    EXPECT_EQ(seen.format, grid.GetDefaultCell(false, false)->GetFormat());
    EXPECT_EQ(seen.backColor, grid.GetDefaultCell(false, false)->GetBackClr());
    EXPECT_EQ(seen.text, "");
    EXPECT_EQ(host.notes.back().code, gridnotify::GetDispInfo);

    grid.GetCell(0, 0);
    EXPECT_EQ(seen.state, cellstate::Fixed | cellstate::FixedRow | cellstate::FixedCol);
    EXPECT_EQ(seen.backColor, grid.GetDefaultCell(true, true)->GetBackClr());
    grid.GetCell(5, 0);
    EXPECT_EQ(seen.state, cellstate::Fixed | cellstate::FixedCol);

    // A callback takes the place of the notification.
    const size_t notes = host.notes.size();
    grid.SetCallbackFunc(
        [](GridDispInfo* info, intptr_t data) {
            info->item.text = "cb" + std::to_string(data);
            return true;
        },
        9);
    EXPECT_EQ(grid.GetCell(2, 2)->GetText(), "cb9");
    EXPECT_EQ(host.notes.size(), notes);

    // Cells of a virtual grid are the holder's: they can't be set.
    GridItem item;
    item.row = 2;
    item.col = 2;
    item.mask = itemmask::Text;
    EXPECT_FALSE(grid.SetItem(&item));
    EXPECT_FALSE(grid.SetCellType<CGridCellCheck>(2, 2));
    EXPECT_FALSE(grid.SetItemText(2, 2, "x"));
    grid.AttachHost(nullptr);
}

TEST(GridVirtual, ReadsOfRangesAreBracketedByCacheHints) {
    FakeHost host(300, 200);
    CGridCtrl grid(0, 0, 0, 0, Metrics());
    grid.SetVirtualMode(true);
    grid.SetRowCount(50);
    grid.SetColumnCount(4);
    grid.SetFixedRowCount(1);
    for (int c = 0; c < 4; ++c) grid.SetColumnWidth(c, 60);
    for (int r = 0; r < 50; ++r) grid.SetRowHeight(r, 20);
    grid.AttachHost(&host);
    host.fill = [](GridDispInfo& info) { info.item.text = "x"; };

    // Every group of reads starts with the range and ends with (-1, -1, -1, -1);
    // every cell asked for lies in the announced range.
    auto checkBrackets = [&](const char* what, const CCellRange& expected) {
        SCOPED_TRACE(what);
        ASSERT_FALSE(host.notes.empty());
        EXPECT_EQ(host.notes.front().code, gridnotify::CacheHint);
        EXPECT_EQ(host.notes.front().range, expected);
        EXPECT_EQ(host.notes.back().code, gridnotify::CacheHint);
        EXPECT_EQ(host.notes.back().range, CCellRange());
        size_t reads = 0;
        for (size_t i = 1; i + 1 < host.notes.size(); ++i) {
            const Note& note = host.notes[i];
            ASSERT_EQ(note.code, gridnotify::GetDispInfo);
            ++reads;
            if (note.row >= grid.GetFixedRowCount() && note.col >= grid.GetFixedColumnCount()) {
                EXPECT_TRUE(expected.InRange(note.row, note.col)) << note.row << "," << note.col;
            }
        }
        EXPECT_GT(reads, 0u);
        host.notes.clear();
    };

    platform::ui::MemoryCanvas canvas(300, 200);
    grid.OnDraw(canvas.Dc(), {0, 0, 300, 200});
    checkBrackets("drawing", grid.GetVisibleNonFixedCellRange());

    grid.SetSelectedRange(2, 1, 3, 2);
    host.notes.clear();
    ASSERT_TRUE(grid.CopyTextFromGrid().has_value());
    checkBrackets("copying", CCellRange(2, 1, 3, 2));

    EXPECT_TRUE(grid.AutoSizeColumn(2));
    checkBrackets("sizing a column", CCellRange(0, 2, 49, 2));
    EXPECT_TRUE(grid.AutoSizeRow(5));
    checkBrackets("sizing a row", CCellRange(5, 0, 5, 3));
    grid.AttachHost(nullptr);
}

}  // namespace
