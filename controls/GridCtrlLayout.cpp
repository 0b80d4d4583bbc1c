// Where the grid's cells are on the screen: cell rectangles, the split between
// the fixed header area and the scrolled data area, scroll bars, and drawing.

#include <algorithm>

#include "controls/GridCtrl.h"
#include "controls/GridText.h"

namespace controls {

using platform::ui::DrawContext;
using platform::ui::Point;
using platform::ui::Rect;

bool CGridCtrl::IsValid(const CCellRange& range) const {
    return range.IsValid() && range.maxRow < rowCount_ && range.maxCol < colCount_;
}

CCellID CGridCtrl::GetTopleftNonFixedCell(bool forceRecalculation) {
    if (topLeftValid_ && !forceRecalculation) return topLeft_;
    int col = fixedCols_;
    int right = 0;
    while (right < hbar_.pos && col < colCount_ - 1) right += colWidths_[col++];
    int row = fixedRows_;
    int bottom = 0;
    while (bottom < vbar_.pos && row < rowCount_ - 1) bottom += rowHeights_[row++];
    topLeft_ = {row, col};
    topLeftValid_ = true;
    return topLeft_;
}

CCellRange CGridCtrl::GetVisibleNonFixedCellRange(Rect* rect, bool forceRecalculation) {
    const Rect client = host_ != nullptr ? host_->ClientRect() : Rect{};
    const CCellID tl = GetTopleftNonFixedCell(forceRecalculation);
    int bottom = GetFixedRowHeight();
    int row = tl.row;
    for (; row < rowCount_; ++row) {
        bottom += rowHeights_[row];
        if (bottom >= client.bottom) {
            bottom = client.bottom;
            break;
        }
    }
    const int maxRow = std::min(row, rowCount_ - 1);
    int right = GetFixedColumnWidth();
    int col = tl.col;
    for (; col < colCount_; ++col) {
        right += colWidths_[col];
        if (right >= client.right) {
            right = client.right;
            break;
        }
    }
    const int maxCol = std::min(col, colCount_ - 1);
    if (rect != nullptr) *rect = {0, 0, right, bottom};
    return {tl.row, tl.col, maxRow, maxCol};
}

bool CGridCtrl::GetCellOrigin(int row, int col, Point& point) {
    if (!IsValid(row, col)) return false;
    CCellID tl;
    if (row >= fixedRows_ || col >= fixedCols_) tl = GetTopleftNonFixedCell();
    if ((row >= fixedRows_ && row < tl.row) || (col >= fixedCols_ && col < tl.col)) return false;
    int x = 0;
    if (col < fixedCols_) {
        for (int i = 0; i < col; ++i) x += colWidths_[i];
    } else {
        x = GetFixedColumnWidth();
        for (int i = tl.col; i < col; ++i) x += colWidths_[i];
    }
    int y = 0;
    if (row < fixedRows_) {
        for (int i = 0; i < row; ++i) y += rowHeights_[i];
    } else {
        y = GetFixedRowHeight();
        for (int i = tl.row; i < row; ++i) y += rowHeights_[i];
    }
    point = {x, y};
    return true;
}

bool CGridCtrl::GetCellRect(int row, int col, Rect& rect) {
    Point origin;
    if (!GetCellOrigin(row, col, origin)) return false;
    rect = {origin.x, origin.y, origin.x + colWidths_[col] - 1, origin.y + rowHeights_[row] - 1};
    return true;
}

CCellID CGridCtrl::GetCellFromPt(Point point, bool allowFixed) {
    return GetCellFromPtExact(point, allowFixed);
}

CCellID CGridCtrl::GetCellFromPtExact(Point point, bool allowFixed) {
    const CCellID tl = GetTopleftNonFixedCell();
    CCellID cell;
    const int fixedWidth = GetFixedColumnWidth();
    if (point.x < 0 || (!allowFixed && point.x < fixedWidth)) {
        cell.col = -1;
    } else if (point.x < fixedWidth) {
        int x = 0;
        int col = 0;
        for (; col < fixedCols_; ++col) {
            x += colWidths_[col];
            if (x > point.x) break;
        }
        cell.col = col < fixedCols_ ? col : -1;
    } else {
        int x = fixedWidth;
        int col = tl.col;
        for (; col < colCount_; ++col) {
            x += colWidths_[col];
            if (x > point.x) break;
        }
        cell.col = col < colCount_ ? col : -1;
    }
    const int fixedHeight = GetFixedRowHeight();
    if (point.y < 0 || (!allowFixed && point.y < fixedHeight)) {
        cell.row = -1;
    } else if (point.y < fixedHeight) {
        int y = 0;
        int row = 0;
        for (; row < fixedRows_; ++row) {
            y += rowHeights_[row];
            if (y > point.y) break;
        }
        cell.row = row < fixedRows_ ? row : -1;
    } else {
        int y = fixedHeight;
        int row = tl.row;
        for (; row < rowCount_; ++row) {
            y += rowHeights_[row];
            if (y > point.y) break;
        }
        cell.row = row < rowCount_ ? row : -1;
    }
    return cell;
}

bool CGridCtrl::IsCellVisible(int row, int col) {
    if (host_ == nullptr) return false;
    Point origin;
    if (!GetCellOrigin(row, col, origin)) return false;
    const Rect client = host_->ClientRect();
    if (col >= fixedCols_ && origin.x >= client.right) return false;
    if (row >= fixedRows_ && origin.y >= client.bottom) return false;
    return true;
}

bool CGridCtrl::InvalidateCellRect(int row, int col) {
    if (host_ == nullptr || !allowDraw_ || !IsValid(row, col) || !IsCellVisible(row, col)) return false;
    Rect rect;
    if (!GetCellRect(row, col, rect)) return false;
    const Rect area{rect.left, rect.top, rect.right + 1, rect.bottom + 1};
    host_->Invalidate(&area);
    return true;
}

bool CGridCtrl::RedrawCell(int row, int col, DrawContext* dc) {
    if (!allowDraw_ || !IsCellVisible(row, col)) return false;
    Rect rect;
    if (!GetCellRect(row, col, rect)) return false;
    // Painting happens in the window's paint handler: without a context the cell waits for it.
    if (dc == nullptr) return InvalidateCellRect(row, col);
    CGridCellBase* cell = GetCell(row, col);
    if (cell == nullptr) return false;
    const bool result = cell->Draw(*dc, row, col, rect, true);
    if (row >= fixedRows_ && col >= fixedCols_) {
        if (gridLines_ == gridlines::Horz || gridLines_ == gridlines::Both)
            dc->FillSolidRect({rect.left, rect.bottom, rect.right + 2, rect.bottom + 1}, gridLineColor_);
        if (gridLines_ == gridlines::Vert || gridLines_ == gridlines::Both)
            dc->FillSolidRect({rect.right, rect.top, rect.right + 1, rect.bottom + 2}, gridLineColor_);
    }
    return result;
}

void CGridCtrl::Refresh() {
    if (allowDraw_ && host_ != nullptr) host_->Invalidate(nullptr);
}

int CGridCtrl::ScrollMax(ScrollBarKind bar) const {
    const GridScrollBar& sb = GetScrollBar(bar);
    if (!sb.shown || !sb.enabled) return 0;
    return std::max(0, sb.max - std::max(sb.page, 1) + 1);
}

bool CGridCtrl::SetScrollPos32(ScrollBarKind bar, int pos, bool redraw) {
    GridScrollBar& sb = bar == ScrollBarKind::Horz ? hbar_ : vbar_;
    pos = std::clamp(pos, 0, ScrollMax(bar));
    if (pos == sb.pos) return false;
    sb.pos = pos;
    topLeftValid_ = false;
    if (redraw) ApplyScrollBars();
    return true;
}

void CGridCtrl::ApplyScrollBars() {
    if (host_ != nullptr) host_->ApplyScrollBars(hbar_, vbar_);
}

void CGridCtrl::ResetScrollBars() {
    topLeftValid_ = false;
    if (!allowDraw_ || host_ == nullptr) return;
    Rect rect = host_->ClientRect();
    if (rect.IsEmpty()) return;
    // As if no scroll bar were shown.
    if (vbar_.shown) rect.right += host_->VScrollWidth() + host_->BorderSize();
    if (hbar_.shown) rect.bottom += host_->HScrollHeight() + host_->BorderSize();
    rect.left += GetFixedColumnWidth();
    rect.top += GetFixedRowHeight();
    if (rect.left >= rect.right || rect.top >= rect.bottom) {
        hbar_.enabled = false;
        vbar_.enabled = false;
        hbar_.pos = 0;
        vbar_.pos = 0;
        ApplyScrollBars();
        return;
    }
    Rect visible = rect;
    const int scrollHeight = GetVirtualHeight() - GetFixedRowHeight();
    const int scrollWidth = GetVirtualWidth() - GetFixedColumnWidth();
    bool needV = false;
    bool needH = false;
    if (visible.Height() < scrollHeight) {
        needV = true;
        visible.right -= host_->VScrollWidth();
    }
    if (visible.Width() < scrollWidth) {
        needH = true;
        visible.bottom -= host_->HScrollHeight();
    }
    hbar_.shown = needH;
    vbar_.shown = needV;
    hbar_.enabled = true;
    vbar_.enabled = true;
    hbar_.max = needH ? scrollWidth - 1 : 0;
    vbar_.max = needV ? scrollHeight - 1 : 0;
    hbar_.page = hbar_.max < 1 ? 0 : visible.Width();
    vbar_.page = vbar_.max < 1 ? 0 : visible.Height();
    vbar_.disableNoScroll = true;
    hbar_.pos = std::clamp(hbar_.pos, 0, ScrollMax(ScrollBarKind::Horz));
    vbar_.pos = std::clamp(vbar_.pos, 0, ScrollMax(ScrollBarKind::Vert));
    ApplyScrollBars();
}

void CGridCtrl::ScrollLines(ScrollBarKind bar, int lines) {
    const bool vert = bar == ScrollBarKind::Vert;
    const std::vector<int>& sizes = vert ? rowHeights_ : colWidths_;
    const int fixed = vert ? fixedRows_ : fixedCols_;
    const int count = vert ? rowCount_ : colCount_;
    GridScrollBar& sb = vert ? vbar_ : hbar_;
    const CCellID tl = GetTopleftNonFixedCell();
    int index = vert ? tl.row : tl.col;
    // Offset of the top-left row (column) into the scrolled part.
    int start = 0;
    for (int i = fixed; i < index && i < count; ++i) start += sizes[i];
    int pos = sb.pos;
    const int maxPos = ScrollMax(bar);
    for (int step = 0; step < std::abs(lines); ++step) {
        if (lines > 0) {
            if (pos >= maxPos) break;
            int i = index;
            while (i < count && sizes[i] == 0) ++i;
            if (i >= count) break;
            pos = std::min(pos + sizes[i], maxPos);
            while (start < pos && index < count - 1) start += sizes[index++];
        } else {
            if (pos <= 0 || index <= fixed) break;
            int i = index - 1;
            while (i > fixed && sizes[i] == 0) --i;
            pos = std::max(0, pos - sizes[i]);
            while (index > fixed && start - sizes[index - 1] >= pos) start -= sizes[--index];
        }
    }
    if (pos == sb.pos) return;
    SetScrollPos32(bar, pos);
}

void CGridCtrl::OnHScroll(int code, int thumbPos) {
    EndEditing();
    if (host_ != nullptr) host_->HideTitleTip();
    const int old = hbar_.pos;
    const Rect client = host_ != nullptr ? host_->ClientRect() : Rect{};
    const int page = std::max(0, client.Width() - GetFixedColumnWidth());
    bool whole = false;
    switch (code) {
        case scrollcode::LineDown:
            ScrollLines(ScrollBarKind::Horz, 1);
            break;
        case scrollcode::LineUp:
            ScrollLines(ScrollBarKind::Horz, -1);
            break;
        case scrollcode::PageDown:
            SetScrollPos32(ScrollBarKind::Horz, hbar_.pos + page);
            break;
        case scrollcode::PageUp:
            SetScrollPos32(ScrollBarKind::Horz, hbar_.pos - page);
            break;
        case scrollcode::ThumbPosition:
        case scrollcode::ThumbTrack:
            SetScrollPos32(ScrollBarKind::Horz, thumbPos);
            break;
        case scrollcode::Top:
            SetScrollPos32(ScrollBarKind::Horz, 0);
            whole = true;
            break;
        case scrollcode::Bottom:
            SetScrollPos32(ScrollBarKind::Horz, ScrollMax(ScrollBarKind::Horz));
            whole = true;
            break;
        default:
            break;
    }
    if (hbar_.pos == old || host_ == nullptr) return;
    if (whole) {
        Refresh();
        return;
    }
    const Rect area{GetFixedColumnWidth(), 0, client.right, client.bottom};
    if (allowDraw_) host_->Invalidate(&area);
}

void CGridCtrl::OnVScroll(int code, int thumbPos) {
    EndEditing();
    if (host_ != nullptr) host_->HideTitleTip();
    const int old = vbar_.pos;
    const Rect client = host_ != nullptr ? host_->ClientRect() : Rect{};
    const int page = std::max(0, client.Height() - GetFixedRowHeight());
    bool whole = false;
    switch (code) {
        case scrollcode::LineDown:
            ScrollLines(ScrollBarKind::Vert, 1);
            break;
        case scrollcode::LineUp:
            ScrollLines(ScrollBarKind::Vert, -1);
            break;
        case scrollcode::PageDown:
            SetScrollPos32(ScrollBarKind::Vert, vbar_.pos + page);
            break;
        case scrollcode::PageUp:
            SetScrollPos32(ScrollBarKind::Vert, vbar_.pos - page);
            break;
        case scrollcode::ThumbPosition:
        case scrollcode::ThumbTrack:
            SetScrollPos32(ScrollBarKind::Vert, thumbPos);
            break;
        case scrollcode::Top:
            SetScrollPos32(ScrollBarKind::Vert, 0);
            whole = true;
            break;
        case scrollcode::Bottom:
            SetScrollPos32(ScrollBarKind::Vert, ScrollMax(ScrollBarKind::Vert));
            whole = true;
            break;
        default:
            break;
    }
    if (vbar_.pos == old || host_ == nullptr) return;
    if (whole) {
        Refresh();
        return;
    }
    const Rect area{0, GetFixedRowHeight(), client.right, client.bottom};
    if (allowDraw_) host_->Invalidate(&area);
}

void CGridCtrl::OnMouseWheel(int delta) {
    if (wheelLines_ == -1) {
        const int pages = delta / 120;
        for (int i = 0; i < std::abs(pages); ++i)
            OnVScroll(pages > 0 ? scrollcode::PageUp : scrollcode::PageDown);
        return;
    }
    const int lines = delta * wheelLines_ / 120;
    for (int i = 0; i < std::abs(lines); ++i)
        OnVScroll(lines > 0 ? scrollcode::LineUp : scrollcode::LineDown);
}

void CGridCtrl::EnsureVisible(int row, int col) {
    if (!allowDraw_ || host_ == nullptr || !IsValid(row, col)) return;
    const CCellRange visible = GetVisibleNonFixedCellRange();
    auto count = [](const std::vector<int>& sizes, int from, int to) {
        int n = 0;
        for (int i = from; i <= to; ++i) n += sizes[i] != 0 ? 1 : 0;
        return n;
    };
    const bool hadFocus = host_->HasFocus();
    if (col >= fixedCols_) {
        if (col > visible.maxCol) {
            const int n = count(colWidths_, visible.maxCol + 1, col);
            if (n > 0) OnHScrollLines(n);
        } else if (col < visible.minCol) {
            const int n = count(colWidths_, col, visible.minCol - 1);
            if (n > 0) OnHScrollLines(-n);
        }
    }
    if (row >= fixedRows_) {
        if (row > visible.maxRow) {
            const int n = count(rowHeights_, visible.maxRow + 1, row);
            if (n > 0) OnVScrollLines(n);
        } else if (row < visible.minRow) {
            const int n = count(rowHeights_, row, visible.minRow - 1);
            if (n > 0) OnVScrollLines(-n);
        }
    }
    // A cell cut off at the right or bottom edge is scrolled on until it is whole.
    const Rect client = host_->ClientRect();
    Rect rect;
    while (col >= fixedCols_ && GetCellRect(row, col, rect) && rect.right > client.right && hbar_.shown &&
           rect.left > GetFixedColumnWidth()) {
        const int before = hbar_.pos;
        OnHScroll(scrollcode::LineDown);
        if (hbar_.pos == before) break;
    }
    while (row >= fixedRows_ && GetCellRect(row, col, rect) && rect.bottom > client.bottom && vbar_.shown &&
           rect.top > GetFixedRowHeight()) {
        const int before = vbar_.pos;
        OnVScroll(scrollcode::LineDown);
        if (vbar_.pos == before) break;
    }
    if (hadFocus) host_->SetFocus();
}

void CGridCtrl::OnHScrollLines(int lines) {
    EndEditing();
    host_->HideTitleTip();
    const int old = hbar_.pos;
    ScrollLines(ScrollBarKind::Horz, lines);
    if (hbar_.pos != old) Refresh();
}

void CGridCtrl::OnVScrollLines(int lines) {
    EndEditing();
    host_->HideTitleTip();
    const int old = vbar_.pos;
    ScrollLines(ScrollBarKind::Vert, lines);
    if (vbar_.pos != old) Refresh();
}

bool CGridCtrl::AutoSizeColumn(int col, int style) {
    if (col < 0 || col >= colCount_ || colWidths_[col] == 0 || GetTextMetrics() == nullptr) return false;
    if (style == 0) style = autoSizeStyle_;
    const int first = (style & 0x01) ? 0 : fixedRows_;
    const int last = (style & 0x02) ? rowCount_ - 1 : fixedRows_ - 1;
    if (virtualMode_) SendCacheHintToParent({first, col, last, col});
    int width = 0;
    for (int row = first; row <= last; ++row) {
        if (CGridCellBase* cell = GetCell(row, col)) width = std::max(width, cell->GetCellExtent(nullptr).cx);
    }
    if (virtualMode_) SendCacheHintToParent({});
    colWidths_[col] = width;
    ResetScrollBars();
    Refresh();
    return true;
}

bool CGridCtrl::AutoSizeRow(int row, bool resetScroll) {
    if (row < 0 || row >= rowCount_ || rowHeights_[row] == 0 || GetTextMetrics() == nullptr) return false;
    if (virtualMode_) SendCacheHintToParent({row, 0, row, colCount_ - 1});
    int height = 0;
    for (int col = 0; col < colCount_; ++col) {
        if (CGridCellBase* cell = GetCell(row, col))
            height = std::max(height, cell->GetCellExtent(nullptr).cy);
    }
    if (virtualMode_) SendCacheHintToParent({});
    rowHeights_[row] = height;
    if (resetScroll) ResetScrollBars();
    Refresh();
    return true;
}

void CGridCtrl::OnSize() {
    if (inSize_) return;
    inSize_ = true;
    EndEditing();
    ResetScrollBars();
    inSize_ = false;
}

namespace {

Rect Intersect(const Rect& a, const Rect& b) {
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
}

}  // namespace

void CGridCtrl::OnDraw(DrawContext& dc, const Rect& clip) {
    if (!allowDraw_ || clip.IsEmpty()) return;
    const int fixedWidth = GetFixedColumnWidth();
    const int fixedHeight = GetFixedRowHeight();
    Rect visRect;
    const CCellRange vis = GetVisibleNonFixedCellRange(&visRect);
    // Without a window the drawing covers the whole grid from the top-left cell.
    if (host_ == nullptr) {
        visRect = {0, 0, fixedWidth, fixedHeight};
        for (int c = vis.minCol; c <= vis.maxCol && c >= 0; ++c) visRect.right += colWidths_[c];
        for (int r = vis.minRow; r <= vis.maxRow && r >= 0; ++r) visRect.bottom += rowHeights_[r];
    }

    auto fill = [&](const Rect& area, COLORREF colour) {
        const Rect part = Intersect(area, clip);
        if (!part.IsEmpty()) FastFill(dc, part, colour);
    };
    fill({clip.left, clip.top, fixedWidth, fixedHeight}, defaultCellFixedBoth_.GetBackClr());
    fill({clip.left, fixedHeight, fixedWidth, visRect.bottom}, defaultCellFixedCol_.GetBackClr());
    fill({fixedWidth - 1, clip.top, visRect.right, fixedHeight}, defaultCellFixedRow_.GetBackClr());
    fill({fixedWidth, fixedHeight, visRect.right, visRect.bottom}, defaultCell_.GetBackClr());
    fill({visRect.right, clip.top, clip.right, clip.bottom}, gridBkColor_);
    fill({clip.left, visRect.bottom, visRect.right, clip.bottom}, gridBkColor_);

    if (virtualMode_) SendCacheHintToParent(vis);

    // One pass over a block of rows and columns, rectangles built edge to edge.
    auto pass = [&](int firstRow, int lastRow, int top, int firstCol, int lastCol, int left) {
        Rect rect;
        rect.bottom = top - 1;
        for (int row = firstRow; row <= lastRow; ++row) {
            if (rowHeights_[row] == 0) continue;
            rect.top = rect.bottom + 1;
            rect.bottom = rect.top + rowHeights_[row] - 1;
            if (rect.top >= clip.bottom) break;
            if (rect.bottom < clip.top) continue;
            rect.right = left - 1;
            for (int col = firstCol; col <= lastCol; ++col) {
                if (colWidths_[col] == 0) continue;
                rect.left = rect.right + 1;
                rect.right = rect.left + colWidths_[col] - 1;
                if (rect.left >= clip.right) break;
                if (rect.right < clip.left) continue;
                if (CGridCellBase* cell = GetCell(row, col)) {
                    cell->SetCoords(row, col);
                    cell->Draw(dc, row, col, rect, false);
                }
            }
        }
    };
    const bool anyRows = vis.minRow >= 0 && vis.minRow <= vis.maxRow;
    const bool anyCols = vis.minCol >= 0 && vis.minCol <= vis.maxCol;
    pass(0, fixedRows_ - 1, 0, 0, fixedCols_ - 1, 0);
    if (anyRows) pass(vis.minRow, vis.maxRow, fixedHeight, 0, fixedCols_ - 1, 0);
    if (anyCols) pass(0, fixedRows_ - 1, 0, vis.minCol, vis.maxCol, fixedWidth);
    if (anyRows && anyCols) pass(vis.minRow, vis.maxRow, fixedHeight, vis.minCol, vis.maxCol, fixedWidth);

    if (anyCols && (gridLines_ == gridlines::Vert || gridLines_ == gridlines::Both)) {
        int x = fixedWidth - 1;
        for (int col = vis.minCol; col <= vis.maxCol; ++col) {
            if (colWidths_[col] == 0) continue;
            x += colWidths_[col];
            fill({x, fixedHeight, x + 1, visRect.bottom}, gridLineColor_);
        }
    }
    if (anyRows && (gridLines_ == gridlines::Horz || gridLines_ == gridlines::Both)) {
        int y = fixedHeight - 1;
        for (int row = vis.minRow; row <= vis.maxRow; ++row) {
            if (rowHeights_[row] == 0) continue;
            y += rowHeights_[row];
            fill({fixedWidth, y, visRect.right, y + 1}, gridLineColor_);
        }
    }

    if (virtualMode_) SendCacheHintToParent({});

    if (!trackLine_.IsEmpty()) fill(trackLine_, defaultCell_.GetTextClr());
}

void CGridCtrl::SetTrackingLine(const Rect& line) {
    if (host_ != nullptr && !trackLine_.IsEmpty()) host_->Invalidate(&trackLine_);
    trackLine_ = line;
    if (host_ != nullptr && !trackLine_.IsEmpty()) host_->Invalidate(&trackLine_);
}

}  // namespace controls
