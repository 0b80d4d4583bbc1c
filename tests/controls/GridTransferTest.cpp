// Sorting, clipboard text, drag and drop and printing.

#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include <wx/image.h>
#include <wx/imaglist.h>

#include "GridTestSupport.h"
#include "controls/GridCtrl.h"
#include "controls/TextCollation.h"

using namespace controls;
using namespace gridtest;

namespace {

std::vector<std::string> Column(CGridCtrl& grid, int col) {
    std::vector<std::string> texts;
    for (int r = grid.GetFixedRowCount(); r < grid.GetRowCount(); ++r)
        texts.push_back(grid.GetItemText(r, col));
    return texts;
}

TEST(GridSort, EqualKeysKeepTheirOrderBothWays) {
    Fixture f(6, 3);
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"b", "1"}, {"a", "2"}, {"b", "3"}, {"a", "4"}, {"c", "5"}};
    for (int i = 0; i < 5; ++i) {
        f.grid.SetItemText(i + 1, 1, rows[i].first);
        f.grid.SetItemText(i + 1, 2, rows[i].second);
        f.grid.SetRowHeight(i + 1, 20 + i);
    }
    ASSERT_TRUE(f.grid.SortItemsByColumn(1, true));
    EXPECT_EQ(Column(f.grid, 2), (std::vector<std::string>{"2", "4", "1", "3", "5"}));
    EXPECT_EQ(f.grid.GetRowHeight(1), 21) << "a row's height goes with it";
    EXPECT_EQ(f.grid.GetItemText(0, 1), "r0c1") << "the header stays";
    ASSERT_TRUE(f.grid.SortItemsByColumn(1, false));
    EXPECT_EQ(Column(f.grid, 2), (std::vector<std::string>{"5", "1", "3", "2", "4"}));
    EXPECT_EQ(f.grid.GetSortColumn(), 1);
    EXPECT_FALSE(f.grid.GetSortAscending());
    EXPECT_FALSE(f.grid.GetFocusCell().IsValid()) << "sorting clears the focus";

    // Sorting what is already sorted moves nothing.
    const auto before = Column(f.grid, 2);
    ASSERT_TRUE(f.grid.SortItemsByColumn(1, false));
    EXPECT_EQ(Column(f.grid, 2), before);
}

TEST(GridSort, OneRowOrAColumnOutsideTheGridIsANoOp) {
    Fixture f(2, 3);
    f.grid.SetRowHeight(1, 33);
    EXPECT_TRUE(f.grid.SortItemsByColumn(1, true));
    EXPECT_EQ(f.grid.GetItemText(1, 1), "r1c1");
    EXPECT_EQ(f.grid.GetRowHeight(1), 33);
    EXPECT_FALSE(f.grid.SortItemsByColumn(3, true));
    EXPECT_FALSE(f.grid.SortItemsByColumn(-1, true));
}

TEST(GridSort, TheGridsCompareFunctionIsUsed) {
    Fixture f(5, 2);
    const std::vector<std::string> numbers = {"10", "9", "100", "1"};
    for (int i = 0; i < 4; ++i) f.grid.SetItemText(i + 1, 1, numbers[i]);
    ASSERT_TRUE(f.grid.SortItemsByColumn(1, true));
    EXPECT_EQ(Column(f.grid, 1), (std::vector<std::string>{"1", "10", "100", "9"}))
        << "text order by default";
    f.grid.SetCompareFunction([](const CGridCellBase* a, const CGridCellBase* b, intptr_t) {
        return std::stoi(a->GetText()) - std::stoi(b->GetText());
    });
    ASSERT_TRUE(f.grid.SortItemsByColumn(1, true));
    EXPECT_EQ(Column(f.grid, 1), (std::vector<std::string>{"1", "9", "10", "100"}));
}

TEST(GridSort, TextsCompareByCodePoint) {
    struct Case {
        std::string a;
        std::string b;
        int sign;
    };
    for (const Case& c : std::vector<Case>{{"abc", "abd", -1},
                                           {"abc", "abc", 0},
                                           {"ab", "abc", -1},
                                           {"Zebra", "apple", -1},
                                           {"z", "\xC3\xA9", -1},                     // z < é (U+00E9)
                                           {"\xC3\xA9", "\xE2\x82\xAC", -1},          // é < € (U+20AC)
                                           {"\xE2\x82\xAC", "\xF0\x9F\x98\x80", -1},  // € < U+1F600
                                           {"", "a", -1}}) {
        SCOPED_TRACE(c.a + " / " + c.b);
        const int forward = CollateText(c.a, c.b);
        EXPECT_EQ((forward > 0) - (forward < 0), c.sign);
        const int backward = CollateText(c.b, c.a);
        EXPECT_EQ((backward > 0) - (backward < 0), -c.sign);
    }
}

// Texts of every kind the windows put into grids: numbers, dates, words, empty.
std::string MixedText(std::mt19937& random) {
    switch (random() % 5) {
        case 0:
            return std::to_string(random() % 1000);
        case 1: {
            char date[16];
            std::snprintf(date, sizeof(date), "%02u/%02u/%04u", static_cast<unsigned>(1 + random() % 28),
                          static_cast<unsigned>(1 + random() % 12),
                          static_cast<unsigned>(1990 + random() % 40));
            return date;
        }
        case 2:
            return std::string(1 + random() % 3, static_cast<char>('a' + random() % 26));
        case 3:
            return "";
        default:
            return "-" + std::to_string(random() % 50) + "x";
    }
}

TEST(GridSort, AnyComparisonGivesAPermutationOfTheRows) {
    // A comparison that contradicts itself (random answers), and one that picks
    // its kind of comparison from its first text alone (not transitive over
    // mixed columns): neither may lose, duplicate or invent a row.
    std::mt19937 random(1234);
    const int rows = 4000;
    CGridCtrl grid(rows + 1, 2, 1, 0, Metrics());
    for (int r = 1; r <= rows; ++r) {
        grid.SetItemText(r, 0, MixedText(random));
        grid.SetItemText(r, 1, std::to_string(r));
    }
    std::mt19937 noise(99);
    const std::vector<CGridCtrl::CompareFunc> comparisons = {
        [&](const CGridCellBase*, const CGridCellBase*, intptr_t) {
            return static_cast<int>(noise() % 3) - 1;
        },
        [](const CGridCellBase* a, const CGridCellBase* b, intptr_t) {
            const std::string& ta = a->GetText();
            const std::string& tb = b->GetText();
            if (ta.empty() || ta.find_first_not_of("0123456789") == std::string::npos)
                return std::atoi(ta.c_str()) < std::atoi(tb.c_str()) ? -1 : 1;  // never "equal"
            return CollateText(ta, tb);
        },
    };
    for (size_t i = 0; i < comparisons.size(); ++i) {
        SCOPED_TRACE(i);
        for (bool ascending : {true, false}) {
            ASSERT_TRUE(grid.SortItems(comparisons[i], 0, ascending));
            std::vector<bool> seen(rows + 1, false);
            for (int r = 1; r <= rows; ++r) {
                const int marker = std::stoi(grid.GetItemText(r, 1));
                ASSERT_GE(marker, 1);
                ASSERT_LE(marker, rows);
                ASSERT_FALSE(seen[marker]) << "row " << marker << " twice";
                seen[marker] = true;
            }
        }
    }
    // A consistent comparison sorts.
    ASSERT_TRUE(grid.SortItemsByColumn(0, true));
    const auto texts = Column(grid, 0);
    EXPECT_TRUE(std::is_sorted(texts.begin(), texts.end(), [](const std::string& a, const std::string& b) {
        return CollateText(a, b) < 0;
    }));
}

// --- Clipboard ---------------------------------------------------------------------------

TEST(GridClipboard, CopyKeepsTheFieldsOfUnselectedCells) {
    Fixture f(4, 5);
    for (auto [r, c] : std::vector<std::pair<int, int>>{{1, 1}, {1, 3}, {2, 2}})
        f.grid.SetItemState(r, c, cellstate::Selected);
    EXPECT_EQ(f.grid.CopyTextFromGrid(), std::optional<std::string>("r1c1\t\tr1c3\r\n\tr2c2\t"));
    f.grid.OnEditCopy();
    EXPECT_EQ(f.host.clipboard, std::optional<std::string>("r1c1\t\tr1c3\r\n\tr2c2\t"));

    // Hidden rows and columns are left out.
    f.grid.SetColumnWidth(2, 0);
    f.grid.SetItemState(3, 1, cellstate::Selected);
    f.grid.SetRowHeight(2, 0);
    EXPECT_EQ(f.grid.CopyTextFromGrid(), std::optional<std::string>("r1c1\tr1c3\r\nr3c1\t"));

    f.grid.ResetSelectedRange();
    EXPECT_FALSE(f.grid.CopyTextFromGrid().has_value()) << "nothing selected, nothing copied";
    EXPECT_FALSE(f.grid.CanCopy());
}

TEST(GridClipboard, PasteSplitsAtTabsCommasAndLines) {
    Fixture f(5, 5);
    f.grid.SetFocusCell(1, 1);
    f.host.clipboard = "a,b\tc";
    EXPECT_TRUE(f.grid.CanPaste());
    f.grid.OnEditPaste();
    EXPECT_EQ(f.grid.GetItemText(1, 1), "a");
    EXPECT_EQ(f.grid.GetItemText(1, 2), "b");
    EXPECT_EQ(f.grid.GetItemText(1, 3), "c");
    EXPECT_EQ(f.grid.GetItemText(1, 4), "r1c4");
    EXPECT_EQ(f.grid.GetItemText(2, 1), "r2c1");
    EXPECT_EQ(f.grid.GetSelectedCellRange(), CCellRange(1, 1, 1, 3)) << "the pasted cells are selected";

    // Fields are trimmed; what lies beyond the grid is dropped.
    EXPECT_TRUE(f.grid.PasteTextToGrid({3, 3}, std::string(" x \r\n y\t z\tw\nlast\nbeyond"), false));
    EXPECT_EQ(f.grid.GetItemText(3, 3), "x");
    EXPECT_EQ(f.grid.GetItemText(4, 3), "y");
    EXPECT_EQ(f.grid.GetItemText(4, 4), "z");
    EXPECT_EQ(f.grid.GetRowCount(), 5);
}

TEST(GridClipboard, PasteRefusesAReadOnlyTargetAndSkipsReadOnlyCells) {
    Fixture f(4, 4);
    f.grid.GetCell(1, 1)->SetState(cellstate::ReadOnly);
    f.grid.GetCell(2, 2)->SetState(cellstate::ReadOnly);
    EXPECT_FALSE(f.grid.PasteTextToGrid({1, 1}, std::string("x"), true));
    EXPECT_EQ(f.grid.GetItemText(1, 1), "r1c1");
    EXPECT_TRUE(f.grid.PasteTextToGrid({2, 1}, std::string("p\tq\tr"), false));
    EXPECT_EQ(f.grid.GetItemText(2, 1), "p");
    EXPECT_EQ(f.grid.GetItemText(2, 2), "r2c2") << "a read-only cell keeps its text";
    EXPECT_EQ(f.grid.GetItemText(2, 3), "r");
    f.grid.SetEditable(false);
    EXPECT_FALSE(f.grid.PasteTextToGrid({3, 1}, std::string("x"), true));
    f.grid.SetEditable(true);
    EXPECT_FALSE(f.grid.PasteTextToGrid({3, 1}, std::nullopt, true)) << "no text offered";
    f.grid.SetFocusCell(1, 1);
    f.host.clipboard = "x";
    EXPECT_FALSE(f.grid.CanPaste()) << "the focus cell is read-only";
}

TEST(GridClipboard, ATrailingLineBreakDoesNotClearTheNextRow) {
    Fixture f(5, 4);
    EXPECT_TRUE(f.grid.PasteTextToGrid({1, 1}, std::string("a\tb\r\n"), false));
    EXPECT_EQ(f.grid.GetItemText(1, 1), "a");
    EXPECT_EQ(f.grid.GetItemText(2, 1), "r2c1");
    // An empty line inside the text is a line all the same.
    EXPECT_TRUE(f.grid.PasteTextToGrid({1, 1}, std::string("a\n\nc"), false));
    EXPECT_EQ(f.grid.GetItemText(2, 1), "");
    EXPECT_EQ(f.grid.GetItemText(3, 1), "c");
}

TEST(GridClipboard, PasteAsksTheHolderAndGoesToAnOpenEditor) {
    Fixture f(4, 4);
    f.host.answer = [](const Note& n) { return n.code == gridnotify::EndLabelEdit && n.col == 2 ? -1 : 0; };
    EXPECT_TRUE(f.grid.PasteTextToGrid({1, 1}, std::string("x\ty"), false));
    EXPECT_EQ(f.grid.GetItemText(1, 1), "x");
    EXPECT_EQ(f.grid.GetItemText(1, 2), "r1c2") << "the holder refused column 2";
    f.host.answer = nullptr;

    f.grid.SetFocusCell(2, 2);
    f.grid.OnChar('q');
    ASSERT_EQ(f.host.editors.size(), 1u);
    f.host.clipboard = "pasted";
    f.grid.OnEditPaste();
    EXPECT_EQ(f.host.editors[0]->pastes, 1);
    EXPECT_EQ(f.grid.GetItemText(2, 2), "r2c2");
}

TEST(GridClipboard, CutCopiesThenClears) {
    Fixture f(4, 4);
    f.grid.SetSelectedRange(1, 1, 1, 2);
    EXPECT_TRUE(f.grid.CanCut());
    f.grid.OnEditCut();
    EXPECT_EQ(f.host.clipboard, std::optional<std::string>("r1c1\tr1c2"));
    EXPECT_EQ(f.grid.GetItemText(1, 1), "");
    EXPECT_EQ(f.grid.GetItemText(1, 2), "");
    f.grid.SetEditable(false);
    EXPECT_FALSE(f.grid.CanCut());
    f.grid.SetFocusCell(1, 1);
    f.Key('A', false, true);
    EXPECT_EQ(f.grid.GetSelectedCount(), 9u) << "Ctrl+A selects every non-fixed cell";
}

// --- Drag and drop --------------------------------------------------------------------------

TEST(GridDragDrop, DropTargetsAreEditableNonFixedCells) {
    Fixture f(5, 5);
    EXPECT_EQ(f.grid.OnDragEnter(true, false, f.Centre(0, 2)), dropeffect::None) << "a fixed cell";
    EXPECT_EQ(f.grid.OnDragOver(false, false, f.Centre(2, 2)), dropeffect::None) << "no text offered";
    EXPECT_EQ(f.grid.OnDragOver(true, false, f.Centre(2, 2)), dropeffect::Move);
    EXPECT_TRUE(f.grid.GetCell(2, 2)->IsDropHighlighted());
    EXPECT_EQ(f.grid.OnDragOver(true, true, f.Centre(3, 2)), dropeffect::Copy) << "Ctrl copies";
    EXPECT_FALSE(f.grid.GetCell(2, 2)->IsDropHighlighted());
    EXPECT_TRUE(f.grid.GetCell(3, 2)->IsDropHighlighted());
    f.grid.OnDragLeave();
    EXPECT_FALSE(f.grid.GetCell(3, 2)->IsDropHighlighted());

    EXPECT_FALSE(f.grid.OnDrop(std::string("dropped"), dropeffect::Move, f.Centre(0, 2)));
    EXPECT_FALSE(f.grid.OnDrop(std::string("dropped"), dropeffect::Move, f.Centre(2, 0)));
    EXPECT_EQ(f.grid.GetItemText(0, 2), "r0c2");
    f.grid.GetCell(4, 4)->SetState(cellstate::ReadOnly);
    EXPECT_FALSE(f.grid.OnDrop(std::string("dropped"), dropeffect::Move, f.Centre(4, 4)));
    EXPECT_EQ(f.grid.OnDragOver(true, false, f.Centre(2, 3)), dropeffect::Move);
    EXPECT_TRUE(f.grid.OnDrop(std::string("d1\td2"), dropeffect::Move, f.Centre(2, 3)));
    EXPECT_EQ(f.grid.GetItemText(2, 3), "d1");
    EXPECT_EQ(f.grid.GetItemText(2, 4), "d2");
    EXPECT_FALSE(f.grid.GetCell(2, 3)->IsDropHighlighted());
    EXPECT_EQ(f.grid.GetSelectedCount(), 0u) << "dropped cells are not selected";
}

TEST(GridDragDrop, DraggingSelectedCellsMovesTheirText) {
    Fixture f(5, 5);
    f.grid.EnableDragAndDrop(true);
    f.grid.SetSelectedRange(1, 1, 1, 2);
    f.host.dragEffect = dropeffect::Move;
    f.host.notes.clear();
    f.grid.OnLButtonDown(f.Centre(1, 2), mouseflags::LButton);
    EXPECT_EQ(f.grid.GetMouseMode(), CGridCtrl::MOUSE_PREPARE_DRAG);
    f.grid.OnMouseMove({f.Centre(1, 2).x + 5, f.Centre(1, 2).y}, mouseflags::LButton);
    EXPECT_EQ(f.host.dragged, "r1c1\tr1c2");
    EXPECT_EQ(f.grid.GetItemText(1, 1), "") << "a move leaves the source empty";
    const std::vector<int> codes = f.host.Codes();
    EXPECT_NE(std::find(codes.begin(), codes.end(), gridnotify::BeginDrag), codes.end());
    f.grid.OnLButtonUp(f.Centre(1, 2), 0);
    EXPECT_EQ(f.grid.GetMouseMode(), CGridCtrl::MOUSE_NOTHING);
}

TEST(GridDragDrop, ADragImageIsThePictureOfOneShownCell) {
    Fixture f(30, 5);
    f.grid.SetColumnWidth(3, 70);
    f.grid.SetRowHeight(2, 24);
    f.grid.GetCell(2, 3)->SetBackClr(0x0000FF);
    const auto images = f.grid.CreateDragImage({2, 3});
    ASSERT_NE(images, nullptr);
    ASSERT_EQ(images->GetImageCount(), 1);
    int width = 0;
    int height = 0;
    ASSERT_TRUE(images->GetSize(0, width, height));
    EXPECT_EQ(width, 70);
    EXPECT_EQ(height, 24);
    const wxImage picture = images->GetBitmap(0).ConvertToImage();
    // The text stands at the left; the right end shows the cell's own back colour.
    EXPECT_EQ(picture.GetRed(width - 3, 2), 0xFF);
    EXPECT_EQ(picture.GetGreen(width - 3, 2), 0);
    EXPECT_EQ(picture.GetBlue(width - 3, 2), 0);

    struct Case {
        const char* what;
        CCellID cell;
    };
    f.grid.SetColumnWidth(4, 0);
    f.grid.OnVScroll(scrollcode::LineDown);  // row 1 goes above the view
    for (const Case& c : std::vector<Case>{{"outside the grid", {30, 1}},
                                           {"no cell at all", {-1, -1}},
                                           {"a hidden column", {2, 4}},
                                           {"scrolled past", {1, 1}}}) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(f.grid.CreateDragImage(c.cell), nullptr);
    }
    EXPECT_NE(f.grid.CreateDragImage({2, 1}), nullptr);
}

// --- Printing --------------------------------------------------------------------------------

TEST(GridPrint, PagesFollowTheBodyHeight) {
    Fixture f(31, 4);  // one fixed row and 30 rows of 20; 200 pixels wide
    // Characters 5 x 10: the logical page is 200 + 8 x 5 = 240 wide and, on
    // paper of 4 by 5, 300 high; the body is 300 - 6 x 10 - 20 = 220: 11 rows.
    const GridPrintLayout layout = f.grid.ComputePrintLayout(5, 10, {2400, 3000}, {96, 96}, {600, 600});
    EXPECT_EQ(layout.logicalPage, (Size{240, 300}));
    EXPECT_EQ(layout.bodyHeight, 220);
    EXPECT_EQ(layout.bodyWidth, 240 - 50 - 40);
    EXPECT_EQ(layout.pagesDown, 3);
    EXPECT_EQ(layout.pagesAcross, 1);
    EXPECT_EQ(layout.pageFirstRows, (std::vector<int>{1, 12, 23}));
    EXPECT_EQ(layout.MaxPage(), 3);
    EXPECT_EQ(CGridCtrl::PageText(3, layout.MaxPage()), "Page 3 of 3");

    // The same size as on the screen: pages across as well.
    f.grid.SetPrintSameSizeAsScreen(true);
    for (int c = 0; c < 4; ++c) f.grid.SetColumnWidth(c, 150);
    const GridPrintLayout same = f.grid.ComputePrintLayout(5, 10, {2400, 3000}, {96, 96}, {600, 600});
    EXPECT_EQ(same.logicalPage, (Size{2400 * 96 / 600 * 3 / 4, 3000 * 96 / 600 * 3 / 4}));
    EXPECT_EQ(same.bodyWidth, 288 - 150 - 40);
    EXPECT_EQ(same.pagesAcross, 3) << "each column of 150 is wider than the body: one a page";
    EXPECT_EQ(same.MaxPage(), same.pagesDown * 3);
}

class FooterGrid : public CGridCtrl {
  public:
    using CGridCtrl::CGridCtrl;
    void PrintFooter(platform::ui::DrawContext& dc, GridPrintInfo& info) override {
        footers.push_back(PageText(info.currentPage, info.maxPage));
        CGridCtrl::PrintFooter(dc, info);
    }
    std::vector<std::string> footers;
};

TEST(GridPrint, PrintsEveryPageToAPostScriptFile) {
    FooterGrid grid(11, 4, 1, 1, Metrics());
    for (int r = 0; r < 11; ++r) {
        grid.SetRowHeight(r, 20);
        for (int c = 0; c < 4; ++c) grid.SetItemText(r, c, "p" + std::to_string(r) + "." + std::to_string(c));
    }
    const auto file = std::filesystem::path(TUNOVA_BINARY_DIR) / "artifacts" / "controls" / "grid-print.ps";
    std::filesystem::create_directories(file.parent_path());
    // A first run learns how many rows a page holds; the second prints exactly three pages.
    ASSERT_TRUE(grid.PrintToFile(file));
    const int perPage = grid.GetPrintLayout().bodyHeight / 20;
    ASSERT_GT(perPage, 0);
    grid.SetRowCount(1 + 2 * perPage + 1);
    for (int r = 0; r < grid.GetRowCount(); ++r) grid.SetRowHeight(r, 20);
    grid.footers.clear();
    ASSERT_TRUE(grid.PrintToFile(file));
    EXPECT_EQ(grid.footers, (std::vector<std::string>{"Page 1 of 3", "Page 2 of 3", "Page 3 of 3"}));
    std::ifstream in(file);
    std::string first;
    std::getline(in, first);
    EXPECT_EQ(first.rfind("%!PS", 0), 0u);
}

}  // namespace
