// Where cells are: rectangles, hit tests, scroll bars, scrolling, drawing
// passes and automatic sizing.

#include <gtest/gtest.h>

#include <set>

#include "GridTestSupport.h"
#include "controls/GridCtrl.h"

using namespace controls;
using namespace gridtest;

namespace {

// A cell that notes where it is drawn.
class RecordingCell : public CGridCell {
  public:
    static constexpr const char* kClassName = "RecordingCell";
    const GridCellClass* GetRuntimeClass() const override { return CellClassOf<RecordingCell>(); }
    bool Draw(platform::ui::DrawContext& dc, int row, int col, Rect rect, bool erase) override {
        drawn().push_back({row, col, rect});
        return CGridCell::Draw(dc, row, col, rect, erase);
    }
    struct Drawn {
        int row;
        int col;
        Rect rect;
    };
    static std::vector<Drawn>& drawn() {
        static std::vector<Drawn> cells;
        return cells;
    }
};

TEST(GridLayout, ScrollBarsFollowTheSizesThatDoNotFit) {
    struct Case {
        const char* what;
        int rows;
        int cols;
        int fixedCols;
        bool h;
        bool v;
        int hmax;
        int hpage;
        int vmax;
        int vpage;
    };
    // Client 400 x 300, rows 20 high, columns 50 wide, one fixed row; bars 16 wide.
    const std::vector<Case> cases = {
        {"everything fits", 5, 4, 1, false, false, 0, 0, 0, 0},
        {"too many rows", 30, 4, 1, false, true, 0, 0, 580 - 1, 280},
        {"too many columns", 3, 12, 1, true, false, 550 - 1, 350, 0, 0},
        {"both", 30, 12, 1, true, true, 550 - 1, 334, 580 - 1, 264},
        {"a vertical bar makes room for a horizontal one", 30, 8, 1, true, true, 350 - 1, 334, 580 - 1, 264},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Fixture f(c.rows, c.cols, 1, c.fixedCols);
        for (int pass = 0; pass < 2; ++pass) {  // again with the bars already shown
            f.grid.ResetScrollBars();
            const GridScrollBar& h = f.grid.GetScrollBar(ScrollBarKind::Horz);
            const GridScrollBar& v = f.grid.GetScrollBar(ScrollBarKind::Vert);
            EXPECT_EQ(h.shown, c.h);
            EXPECT_EQ(v.shown, c.v);
            EXPECT_EQ(h.max, c.hmax);
            EXPECT_EQ(h.page, c.hpage);
            EXPECT_EQ(v.max, c.vmax);
            EXPECT_EQ(v.page, c.vpage);
            EXPECT_EQ(f.host.horz.shown, c.h) << "the window shows what the grid wants";
            EXPECT_EQ(f.host.vert.max, c.vmax);
        }
    }
}

TEST(GridLayout, FixedColumnsFillingTheWidthDisableBothBars) {
    Fixture f(40, 10, 1, 8);  // 8 fixed columns of 50 = the whole 400
    f.grid.ResetScrollBars();
    EXPECT_FALSE(f.grid.GetScrollBar(ScrollBarKind::Horz).enabled);
    EXPECT_FALSE(f.grid.GetScrollBar(ScrollBarKind::Vert).enabled);
    f.grid.OnVScroll(scrollcode::PageDown);
    EXPECT_EQ(f.grid.GetScrollPos32(ScrollBarKind::Vert), 0);
}

TEST(GridLayout, CellRectanglesAndHitTests) {
    Fixture f(30, 12, 1, 1);
    Rect rect;
    ASSERT_TRUE(f.grid.GetCellRect(0, 0, rect));
    EXPECT_EQ(rect, (Rect{0, 0, 49, 19}));
    ASSERT_TRUE(f.grid.GetCellRect(2, 3, rect));
    EXPECT_EQ(rect, (Rect{150, 40, 199, 59}));
    struct Hit {
        Point point;
        bool allowFixed;
        CCellID cell;
    };
    for (const Hit& hit : std::vector<Hit>{{{10, 10}, true, {0, 0}},
                                           {{10, 10}, false, {-1, -1}},
                                           {{175, 45}, true, {2, 3}},
                                           {{49, 19}, true, {0, 0}},
                                           {{50, 20}, true, {1, 1}},
                                           {{-1, 5}, true, {0, -1}},
                                           {{175, 5000}, true, {-1, 3}}}) {
        SCOPED_TRACE(std::to_string(hit.point.x) + "," + std::to_string(hit.point.y));
        EXPECT_EQ(f.grid.GetCellFromPt(hit.point, hit.allowFixed), hit.cell);
    }
    // Scrolled down by three rows, row 4 is the first one under the header.
    f.grid.OnVScroll(scrollcode::LineDown);
    f.grid.OnVScroll(scrollcode::LineDown);
    f.grid.OnVScroll(scrollcode::LineDown);
    EXPECT_EQ(f.grid.GetScrollPos32(ScrollBarKind::Vert), 60);
    EXPECT_EQ(f.grid.GetTopleftNonFixedCell(), CCellID(4, 1));
    EXPECT_EQ(f.grid.GetCellFromPt({75, 25}), CCellID(4, 1));
    EXPECT_FALSE(f.grid.GetCellRect(2, 3, rect)) << "scrolled out of view";
    EXPECT_FALSE(f.grid.RedrawCell(2, 3)) << "nothing to redraw out of view";
    ASSERT_TRUE(f.grid.GetCellRect(0, 3, rect)) << "headers do not scroll";
    EXPECT_EQ(rect.top, 0);
    EXPECT_TRUE(f.grid.RedrawCell(4, 3));
    EXPECT_FALSE(f.grid.IsCellVisible(29, 1));
    EXPECT_TRUE(f.grid.IsCellVisible(10, 1));
}

TEST(GridLayout, ScrollingStopsAtTheEndsAndInvalidatesTheDataArea) {
    Fixture f(30, 12, 1, 1);
    f.grid.OnVScroll(scrollcode::LineUp);
    EXPECT_EQ(f.grid.GetScrollPos32(ScrollBarKind::Vert), 0);
    f.host.invalidated.clear();
    f.grid.OnVScroll(scrollcode::PageDown);
    EXPECT_EQ(f.grid.GetScrollPos32(ScrollBarKind::Vert), 264) << "one data area down";
    ASSERT_FALSE(f.host.invalidated.empty());
    EXPECT_EQ(f.host.invalidated.back(), (Rect{0, 20, 384, 284}));
    f.grid.OnVScroll(scrollcode::Bottom);
    const GridScrollBar& v = f.grid.GetScrollBar(ScrollBarKind::Vert);
    EXPECT_EQ(v.pos, v.max - v.page + 1);
    const int bottom = v.pos;
    f.grid.OnVScroll(scrollcode::LineDown);
    f.grid.OnVScroll(scrollcode::PageDown);
    EXPECT_EQ(f.grid.GetScrollPos32(ScrollBarKind::Vert), bottom);
    f.grid.OnVScroll(scrollcode::ThumbTrack, 100);
    EXPECT_EQ(f.grid.GetScrollPos32(ScrollBarKind::Vert), 100);
    EXPECT_EQ(f.grid.GetTopleftNonFixedCell().row, 6) << "the first row starting at or after the position";
    f.grid.OnHScroll(scrollcode::ThumbTrack, -40);
    EXPECT_EQ(f.grid.GetScrollPos32(ScrollBarKind::Horz), 0);
    f.grid.OnMouseWheel(-120);  // three lines down
    EXPECT_EQ(f.grid.GetScrollPos32(ScrollBarKind::Vert), 100 + 20 + 20 + 20);
}

TEST(GridLayout, ZeroSizeRowsAndColumnsAreSkipped) {
    RecordingCell::drawn().clear();
    FakeHost host(400, 300);
    CGridCtrl grid(0, 0, 0, 0, Metrics());
    grid.SetDefaultCellType(CellClassOf<RecordingCell>());
    grid.SetRowCount(20);
    grid.SetColumnCount(12);
    grid.SetFixedRowCount(1);
    grid.SetFixedColumnCount(1);
    for (int r = 0; r < 20; ++r) grid.SetRowHeight(r, 20);
    for (int c = 0; c < 12; ++c) grid.SetColumnWidth(c, 50);
    grid.SetColumnWidth(2, 0);
    grid.SetRowHeight(3, 0);
    grid.AttachHost(&host);

    platform::ui::MemoryCanvas canvas(400, 300);
    grid.OnDraw(canvas.Dc(), {0, 0, 400, 300});
    std::set<int> rows;
    std::set<int> cols;
    for (const auto& d : RecordingCell::drawn()) {
        rows.insert(d.row);
        cols.insert(d.col);
    }
    EXPECT_EQ(cols.count(2), 0u) << "a column of width 0 is never drawn";
    EXPECT_EQ(rows.count(3), 0u);
    EXPECT_EQ(cols.count(3), 1u);
    // Column 3 starts where column 1 ended: the hidden one takes no room.
    for (const auto& d : RecordingCell::drawn()) {
        if (d.row == 4 && d.col == 3) {
            EXPECT_EQ(d.rect.left, 100);
            EXPECT_EQ(d.rect.top, 60) << "row 4 starts where row 2 ended";
        }
    }

    // Keys step over them.
    grid.SetFocusCell(2, 1);
    grid.OnKeyDown(vk::Right);
    EXPECT_EQ(grid.GetFocusCell(), CCellID(2, 3));
    grid.OnKeyDown(vk::Down);
    EXPECT_EQ(grid.GetFocusCell(), CCellID(4, 3));
    grid.OnKeyDown(vk::Left);
    grid.OnKeyDown(vk::Up);
    EXPECT_EQ(grid.GetFocusCell(), CCellID(2, 1));

    // Line scrolling steps over a hidden column at the left edge.
    grid.SetColumnWidth(1, 0);
    grid.OnHScroll(scrollcode::LineDown);
    EXPECT_EQ(grid.GetScrollPos32(ScrollBarKind::Horz), 50) << "the width of column 3, the first shown";
    grid.AttachHost(nullptr);
}

TEST(GridLayout, EnsureVisibleScrollsAFarCellIntoView) {
    Fixture f(2000, 40, 1, 1);
    f.grid.EnsureVisible(1500, 30);
    EXPECT_TRUE(f.grid.IsCellVisible(1500, 30));
    Rect rect;
    ASSERT_TRUE(f.grid.GetCellRect(1500, 30, rect));
    const Rect client = f.host.ClientRect();
    EXPECT_LE(rect.right, client.right);
    EXPECT_LE(rect.bottom, client.bottom);
    f.grid.EnsureVisible(3, 2);
    EXPECT_EQ(f.grid.GetTopleftNonFixedCell(), CCellID(3, 2));
}

TEST(GridLayout, AutoSizeTakesTheWidestCellAndRefusesHiddenColumns) {
    Fixture f(4, 3, 1, 1);
    f.grid.SetItemText(2, 1, "a much longer text");
    ASSERT_TRUE(f.grid.AutoSizeColumn(1));
    const int margin = static_cast<int>(f.grid.GetDefaultCell(false, false)->GetMargin());
    EXPECT_EQ(f.grid.GetColumnWidth(1), 18 * kCharWidth + 2 * margin + 1);
    ASSERT_TRUE(f.grid.AutoSizeColumn(1, 0x01)) << "fixed rows only";
    EXPECT_EQ(f.grid.GetColumnWidth(1), 4 * kCharWidth + 2 * margin + 2) << "\"r0c1\" in a header";
    f.grid.SetColumnWidth(2, 0);
    EXPECT_FALSE(f.grid.AutoSizeColumn(2));
    EXPECT_EQ(f.grid.GetColumnWidth(2), 0);
    EXPECT_FALSE(f.grid.AutoSizeColumn(7));
    ASSERT_TRUE(f.grid.AutoSizeRow(2));
    EXPECT_EQ(f.grid.GetRowHeight(2), kLineHeight + 2 * margin + 2) << "the row header is the highest";
}

TEST(GridLayout, DrawsBackgroundsAndGridLines) {
    Fixture f(30, 12, 1, 1);
    f.grid.SetGridLineColor(0x0000FF);
    platform::ui::MemoryCanvas canvas(400, 300);
    f.grid.OnDraw(canvas.Dc(), {0, 0, 400, 300});
    EXPECT_EQ(canvas.PixelAt(99, 150), 0x0000FFu) << "a vertical grid line at the right edge of column 1";
    EXPECT_EQ(canvas.PixelAt(120, 39), 0x0000FFu) << "a horizontal line at the bottom of row 1";
    EXPECT_NE(canvas.PixelAt(49, 150), 0x0000FFu) << "fixed cells get no grid lines";
    f.grid.SetGridLines(gridlines::Horz);
    platform::ui::MemoryCanvas horizontal(400, 300);
    f.grid.OnDraw(horizontal.Dc(), {0, 0, 400, 300});
    EXPECT_NE(horizontal.PixelAt(99, 150), 0x0000FFu);
    EXPECT_EQ(horizontal.PixelAt(120, 39), 0x0000FFu);
    EXPECT_TRUE(canvas.SavePng(std::filesystem::path(TUNOVA_BINARY_DIR) / "artifacts" / "controls" /
                               "grid-draw.png"));
}

}  // namespace
