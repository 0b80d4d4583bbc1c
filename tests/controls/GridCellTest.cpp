// Cells: falling back to the default cell, default cells, copying, measuring
// and drawing.

#include <gtest/gtest.h>

#include "GridTestSupport.h"
#include "controls/GridCell.h"
#include "controls/GridCellCheck.h"
#include "controls/GridCtrl.h"
#include "controls/GridDefaultCell.h"
#include "controls/GridFont.h"
#include "controls/GridSysColors.h"
#include "platform/ui/DrawContext.h"

using namespace controls;
using namespace gridtest;

namespace {

TEST(GridCell, FallsBackToItsDefaultCellUntilSetAndAgainAfterReDefaulting) {
    CGridCtrl grid(3, 3, 1, 1, Metrics());
    CGridCellBase* cell = grid.GetCell(1, 1);
    CGridCellBase* header = grid.GetCell(0, 1);
    ASSERT_NE(cell, nullptr);
    CGridDefaultCell* def = grid.GetDefaultCell(false, false);
    CGridDefaultCell* fixedRow = grid.GetDefaultCell(true, false);
    EXPECT_EQ(cell->GetDefaultCell(), def);
    EXPECT_EQ(header->GetDefaultCell(), fixedRow);
    EXPECT_EQ(grid.GetCell(0, 0)->GetDefaultCell(), grid.GetDefaultCell(true, true));
    EXPECT_EQ(grid.GetCell(1, 0)->GetDefaultCell(), grid.GetDefaultCell(false, true));

    // Margin and font are read through from the default cell while the cell has none.
    EXPECT_EQ(cell->GetMargin(), def->GetMargin());
    EXPECT_TRUE(cell->IsDefaultFont());
    EXPECT_EQ(*cell->GetFont(), *def->GetFont());
    def->SetMargin(9);
    EXPECT_EQ(cell->GetMargin(), 9u);
    cell->SetMargin(2);
    EXPECT_EQ(cell->GetMargin(), 2u);
    cell->SetMargin(0xFFFFFFFF);
    EXPECT_EQ(cell->GetMargin(), 9u) << "an unset margin follows the default cell again";

    cell->SetFormat(0xFFFFFFFF);
    EXPECT_EQ(cell->GetFormat(), def->GetFormat());
    def->SetFormat(textformat::Right);
    EXPECT_EQ(cell->GetFormat(), textformat::Right);

    LOGFONT bold = DefaultGridFont();
    bold.lfWeight = 700;
    cell->SetFont(&bold);
    EXPECT_FALSE(cell->IsDefaultFont());
    EXPECT_EQ(cell->GetFont()->lfWeight, 700);
    cell->SetFont(nullptr);
    EXPECT_TRUE(cell->IsDefaultFont());
    EXPECT_EQ(*cell->GetFont(), *def->GetFont());

    // Colours keep CLR_DEFAULT, which the drawing replaces with the default cell's.
    EXPECT_EQ(cell->GetTextClr(), CLR_DEFAULT);
    cell->SetTextClr(0x123456);
    EXPECT_EQ(cell->GetTextClr(), 0x123456u);
    cell->SetTextClr(CLR_DEFAULT);
    EXPECT_EQ(cell->GetTextClr(), CLR_DEFAULT);
}

TEST(GridCell, DefaultCellIsAlwaysReadOnlyAndKeepsNoStateOrData) {
    CGridDefaultCell def;
    EXPECT_TRUE(def.IsReadOnly());
    def.SetState(cellstate::Selected | cellstate::Focused);
    EXPECT_EQ(def.GetState(), cellstate::ReadOnly);
    def.SetData(42);
    EXPECT_EQ(def.GetData(), 0);
    EXPECT_EQ(def.GetFormat(), 0x8824u);
    EXPECT_EQ(def.GetExtra(), 0);
    def.SetExtra(5);
    EXPECT_EQ(def.GetExtra(), 5);
}

TEST(GridCell, DefaultCellMeasuresItsFont) {
    CGridCtrl grid(0, 0, 0, 0, Metrics());
    const CGridDefaultCell* def = grid.GetDefaultCell(false, false);
    EXPECT_EQ(def->GetMargin(), static_cast<uint32_t>(kCharWidth)) << "one blank";
    EXPECT_EQ(def->GetWidth(), 14 * kCharWidth) << "a blank, twelve X, a blank";
    EXPECT_EQ(def->GetHeight(), kLineHeight * 3 / 2);
    EXPECT_EQ(def->GetFont()->FaceName(), "Microsoft Sans Serif");
    // New rows take the default height, new columns the fixed-column default width.
    grid.SetRowCount(2);
    grid.SetColumnCount(2);
    EXPECT_EQ(grid.GetRowHeight(1), def->GetHeight());
    EXPECT_EQ(grid.GetColumnWidth(1), grid.GetDefaultCell(false, true)->GetWidth());
}

TEST(GridCell, AssignmentCopiesAttributesButNotTheTipText) {
    CGridCtrl grid(2, 2, 0, 0, Metrics());
    CGridCellBase* source = grid.GetCell(0, 0);
    CGridCellBase* target = grid.GetCell(1, 1);
    source->SetText("value");
    source->SetImage(3);
    source->SetData(99);
    source->SetBackClr(0x00FF00);
    source->SetTipText("source tip");
    target->SetTipText("target tip");
    LOGFONT italic = DefaultGridFont();
    italic.lfItalic = 1;
    source->SetFont(&italic);
    *target = *source;
    EXPECT_EQ(target->GetText(), "value");
    EXPECT_EQ(target->GetImage(), 3);
    EXPECT_EQ(target->GetData(), 99);
    EXPECT_EQ(target->GetBackClr(), 0x00FF00u);
    EXPECT_EQ(target->GetFont()->lfItalic, 1);
    EXPECT_EQ(target->GetTipText(), "target tip");
    *target = *target;  // self-assignment changes nothing
    EXPECT_EQ(target->GetText(), "value");

    // A source using the default font leaves the target on the default font.
    source->SetFont(nullptr);
    *target = *source;
    EXPECT_TRUE(target->IsDefaultFont());
}

TEST(GridCell, ResetClearsEverything) {
    CGridCtrl grid(1, 1, 0, 0, Metrics());
    CGridCell cell;
    cell.SetGrid(&grid);
    cell.SetText("x");
    cell.SetState(cellstate::Selected);
    cell.SetImage(1);
    LOGFONT lf = DefaultGridFont();
    cell.SetFont(&lf);
    cell.Reset();
    EXPECT_EQ(cell.GetText(), "");
    EXPECT_EQ(cell.GetState(), 0u);
    EXPECT_EQ(cell.GetImage(), -1);
    EXPECT_TRUE(cell.IsDefaultFont());
    EXPECT_EQ(cell.GetGrid(), nullptr);
}

TEST(GridCell, ExtentsAddMarginsAndSwapForVerticalText) {
    CGridCtrl grid(2, 2, 1, 1, Metrics());
    CGridCellBase* cell = grid.GetCell(1, 1);
    cell->SetMargin(2);
    cell->SetText("abcd");
    EXPECT_EQ(cell->GetTextExtent("abcd"), (Size{4 * kCharWidth + 4, kLineHeight + 4}));
    EXPECT_EQ(cell->GetCellExtent(), (Size{4 * kCharWidth + 5, kLineHeight + 5}));
    const CGridDefaultCell* def = grid.GetDefaultCell(false, false);
    EXPECT_EQ(cell->GetTextExtent(""), (Size{def->GetWidth(), def->GetHeight()}))
        << "no text: the default size";

    // A fixed cell grows by one more pixel each way.
    CGridCellBase* header = grid.GetCell(0, 1);
    header->SetMargin(2);
    header->SetText("abcd");
    EXPECT_EQ(header->GetCellExtent(), (Size{4 * kCharWidth + 6, kLineHeight + 6}));

    LOGFONT vertical = DefaultGridFont();
    vertical.lfEscapement = 900;
    cell->SetFont(&vertical);
    EXPECT_EQ(cell->GetTextExtent("abcd"), (Size{kLineHeight + 4, 4 * kCharWidth + 4 + 8}));

    // Word-broken text is as wide as its widest line and as high as its lines.
    cell->SetFont(nullptr);
    cell->SetFormat(textformat::WordBreak);
    EXPECT_EQ(cell->GetTextExtent("ab\nabcdef\nx"), (Size{6 * kCharWidth + 4, 3 * kLineHeight + 4}));
}

TEST(GridCell, DrawsNothingIntoAnEmptyRectangle) {
    CGridCtrl grid(1, 1, 0, 0, Metrics());
    CGridCellBase* cell = grid.GetCell(0, 0);
    cell->SetText("never");
    cell->SetBackClr(0x0000FF);
    platform::ui::MemoryCanvas canvas(40, 40, 0xFFFFFF);
    EXPECT_FALSE(cell->Draw(canvas.Dc(), 0, 0, {5, 5, 5, 30}));
    EXPECT_FALSE(cell->Draw(canvas.Dc(), 0, 0, {5, 5, 30, 5}));
    EXPECT_EQ(canvas.PixelAt(5, 5), 0xFFFFFFu);
    EXPECT_TRUE(cell->Draw(canvas.Dc(), 0, 0, {5, 5, 30, 30}));
    EXPECT_EQ(canvas.PixelAt(6, 28), 0x0000FFu) << "a cell with its own back colour erases its background";

    CGridCell orphan;  // no grid: nothing to draw with
    EXPECT_FALSE(orphan.Draw(canvas.Dc(), 0, 0, {0, 0, 10, 10}));
}

TEST(GridCell, CentresTheSortMarkOfVerticalHeadings) {
    CGridCtrl grid(2, 2, 1, 0, Metrics());
    grid.SetSortColumn(0);
    grid.SetGridLines(gridlines::None);
    CGridCellBase* header = grid.GetCell(0, 0);
    header->SetMargin(0);
    platform::ui::MemoryCanvas flat(60, 40, 0xFFFFFF);
    ASSERT_TRUE(header->Draw(flat.Dc(), 0, 0, {0, 0, 59, 39}, true));
    LOGFONT vertical = DefaultGridFont();
    vertical.lfEscapement = 900;
    header->SetFont(&vertical);
    platform::ui::MemoryCanvas upright(60, 40, 0xFFFFFF);
    ASSERT_TRUE(header->Draw(upright.Dc(), 0, 0, {0, 0, 59, 39}, true));
    // The mark sits at the right edge of a flat heading and in the middle of a vertical one.
    auto darkColumns = [](platform::ui::MemoryCanvas& canvas) {
        std::vector<int> columns;
        for (int x = 0; x < 60; ++x)
            for (int y = 20; y < 40; ++y)
                if (canvas.PixelAt(x, y) == GetSysColor(SysColor::Shadow3D)) {
                    columns.push_back(x);
                    break;
                }
        return columns;
    };
    const auto flatColumns = darkColumns(flat);
    const auto uprightColumns = darkColumns(upright);
    ASSERT_FALSE(flatColumns.empty());
    ASSERT_FALSE(uprightColumns.empty());
    EXPECT_GT(flatColumns.front(), 40);
    EXPECT_LT(uprightColumns.front(), 35);
    EXPECT_GT(uprightColumns.back(), 25);
}

TEST(GridCell, EachFontedCellKeepsItsOwnFontObject) {
    // Two cells with different fonts: the first one's font object must stay
    // valid and unchanged after the second one asked for its own.
    CGridCtrl grid(1, 2, 0, 0, Metrics());
    LOGFONT small = DefaultGridFont();
    LOGFONT large = DefaultGridFont();
    large.lfHeight = -30;
    grid.GetCell(0, 0)->SetFont(&small);
    grid.GetCell(0, 1)->SetFont(&large);
    const wxFont* first = grid.GetCell(0, 0)->GetFontObject();
    const int firstSize = first->GetPixelSize().y;
    const wxFont* second = grid.GetCell(0, 1)->GetFontObject();
    EXPECT_NE(first, second);
    EXPECT_EQ(first->GetPixelSize().y, firstSize);
    EXPECT_TRUE(first->IsOk());
    EXPECT_EQ(grid.GetCell(0, 0)->GetFontObject(), first) << "one object per font description";
    EXPECT_LT(first->GetPixelSize().y, second->GetPixelSize().y);
}

TEST(GridCell, FaceNamesAreCutWithoutSplittingACharacter) {
    LOGFONT lf;
    lf.SetFaceName(std::string(30, 'a') + "\xC3\xA9" + "bbb");  // 'é' straddles byte 31
    EXPECT_EQ(lf.FaceName(), std::string(30, 'a'));
    lf.SetFaceName("Arial");
    EXPECT_EQ(lf.FaceName(), "Arial");
}

}  // namespace
