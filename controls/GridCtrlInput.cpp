// How the user works the grid: focus cell, selection, keys, mouse gestures,
// header clicks, sizing rows and columns, in-place editing and title tips.

#include <algorithm>
#include <vector>

#include "controls/GridCtrl.h"

namespace controls {

using platform::ui::Point;
using platform::ui::Rect;

namespace {

bool IsMoveKey(unsigned key) {
    switch (key) {
        case vk::Tab:
        case vk::Down:
        case vk::Up:
        case vk::Right:
        case vk::Left:
        case vk::Next:
        case vk::Prior:
        case vk::Home:
        case vk::End:
            return true;
        default:
            return false;
    }
}

}  // namespace

// --- Focus and selection ------------------------------------------------------------

void CGridCtrl::RedrawHeaders(const CCellID& cell, bool row, bool col) {
    if (!trackFocus_ || !IsValid(cell)) return;
    if (col) {
        for (int r = 0; r < fixedRows_; ++r) RedrawCell(r, cell.col);
    }
    if (row) {
        for (int c = 0; c < fixedCols_; ++c) RedrawCell(cell.row, c);
    }
}

CCellID CGridCtrl::SetFocusCell(int row, int col) {
    const CCellID prev = focus_;
    if (row >= rowCount_) row = -1;
    if (col >= colCount_) col = -1;
    if (row != -1) row = std::max(row, fixedRows_);
    if (col != -1) col = std::max(col, fixedCols_);
    if (row >= rowCount_ || col >= colCount_) row = col = -1;
    if (row == focus_.row && col == focus_.col) return prev;
    if (IsValid(prev)) {
        if (!virtualMode_) {
            if (CGridCellBase* cell = GetCell(prev.row, prev.col))
                cell->SetState(cell->GetState() & ~cellstate::Focused);
        }
        RedrawCell(prev.row, prev.col);
        RedrawHeaders(prev, prev.row != row, prev.col != col);
    }
    focus_ = {row, col};
    if (IsValid(focus_)) {
        if (!virtualMode_) {
            if (CGridCellBase* cell = GetCell(row, col))
                cell->SetState(cell->GetState() | cellstate::Focused);
        }
        RedrawCell(row, col);
        RedrawHeaders(focus_, prev.row != row, prev.col != col);
    }
    return prev;
}

bool CGridCtrl::IsCellSelected(int row, int col) const {
    if (!enableSelection_ || !IsValid(row, col)) return false;
    if (virtualMode_) return selected_.count(SelKey(row, col)) != 0;
    const CGridCellBase* cell = GetCell(row, col);
    return cell != nullptr && cell->IsSelected();
}

bool CGridCtrl::IsCellEditable(int row, int col) const {
    if (!editable_) return false;
    const CGridCellBase* cell = GetCell(row, col);
    return cell != nullptr && !cell->IsReadOnly();
}

bool CGridCtrl::SelectionDirty(int row, int col, bool select) {
    if (virtualMode_) {
        if (select)
            selected_[SelKey(row, col)] = CCellID(row, col);
        else
            selected_.erase(SelKey(row, col));
        return true;
    }
    CGridCellBase* cell = GetCell(row, col);
    if (cell == nullptr) return false;
    const uint32_t state = cell->GetState();
    SetItemState(row, col, select ? state | cellstate::Selected : state & ~cellstate::Selected);
    return true;
}

void CGridCtrl::SetSelectedRange(int minRow, int minCol, int maxRow, int maxCol, bool, bool selectCells) {
    if (!enableSelection_) return;
    if (minRow >= 0) minRow = std::max(minRow, fixedRows_);
    if (maxRow >= 0) maxRow = std::max(maxRow, fixedRows_);
    if (minCol >= 0) minCol = std::max(minCol, fixedCols_);
    if (maxCol >= 0) maxCol = std::max(maxCol, fixedCols_);
    const CCellRange range(minRow, minCol, maxRow, maxCol);
    // A wait cursor only where the change takes long enough to be seen.
    const long long cells = range.IsValid() ? static_cast<long long>(range.maxRow - range.minRow + 1) *
                                                  (range.maxCol - range.minCol + 1)
                                            : 0;
    const bool wait = host_ != nullptr && (selected_.size() > 10000 || cells > 10000);
    if (wait) host_->SetWaitCursor(true);

    // Cells are repainted only where they are on the screen.
    CCellRange visible;
    if (host_ != nullptr && allowDraw_) visible = GetVisibleNonFixedCellRange();
    auto repaint = [&](int row, int col) {
        if (host_ != nullptr && visible.InRange(row, col)) InvalidateCellRect(row, col);
    };

    if (selectCells) {
        std::vector<CCellID> current;
        current.reserve(selected_.size());
        for (const auto& entry : selected_) current.push_back(entry.second);
        for (const CCellID& cell : current) {
            if (!IsValid(cell) || (!virtualMode_ && GetCell(cell.row, cell.col) == nullptr)) {
                selected_.erase(SelKey(cell.row, cell.col));
                continue;
            }
            if (range.InRange(cell)) continue;
            SelectionDirty(cell.row, cell.col, false);
            repaint(cell.row, cell.col);
        }
        if (!(listMode_ && singleRowSelection_) && range.IsValid()) {
            for (const auto& entry : prevSelected_) {
                const CCellID cell = entry.second;
                if (!IsValid(cell) || IsCellSelected(cell.row, cell.col)) continue;
                if (SelectionDirty(cell.row, cell.col, true)) repaint(cell.row, cell.col);
            }
        }
    }
    if (IsValid(range)) {
        for (int row = range.minRow; row <= range.maxRow; ++row) {
            for (int col = range.minCol; col <= range.maxCol; ++col) {
                if (IsCellSelected(row, col) == selectCells) continue;
                if (SelectionDirty(row, col, selectCells)) repaint(row, col);
            }
        }
    }
    if (wait) host_->SetWaitCursor(false);
}

void CGridCtrl::ResetSelectedRangeInternal() {
    prevSelected_.clear();
    SetSelectedRange(-1, -1, -1, -1);
}

void CGridCtrl::ResetSelectedRange() {
    ResetSelectedRangeInternal();
    SetFocusCell(-1, -1);
}

void CGridCtrl::SelectAllCells() {
    if (!enableSelection_) return;
    SetSelectedRange(fixedRows_, fixedCols_, rowCount_ - 1, colCount_ - 1);
}

CCellRange CGridCtrl::GetSelectedCellRange() const {
    CCellRange range(rowCount_, colCount_, -1, -1);
    for (const auto& entry : selected_) {
        const CCellID& cell = entry.second;
        range.minRow = std::min(range.minRow, cell.row);
        range.minCol = std::min(range.minCol, cell.col);
        range.maxRow = std::max(range.maxRow, cell.row);
        range.maxCol = std::max(range.maxCol, cell.col);
    }
    return range;
}

void CGridCtrl::EnableSelection(bool on) {
    ResetSelectedRange();
    enableSelection_ = on;
    ResetSelectedRange();
}

void CGridCtrl::OnSelecting(const CCellID& cell) {
    if (!enableSelection_) return;
    switch (mouseMode_) {
        case MOUSE_SELECT_ALL:
            SelectAllCells();
            break;
        case MOUSE_SELECT_COL: {
            if (cell.col < 0) break;
            if (singleColSelection_ || !IsValid(selectionStart_)) {
                SetSelectedRange(fixedRows_, cell.col, rowCount_ - 1, cell.col);
            } else {
                SetSelectedRange(fixedRows_, std::min(selectionStart_.col, cell.col), rowCount_ - 1,
                                 std::max(selectionStart_.col, cell.col));
            }
            break;
        }
        case MOUSE_SELECT_ROW: {
            if (cell.row < fixedRows_ || !IsValid(selectionStart_) || selectionStart_.row < fixedRows_) break;
            if (listMode_ && singleRowSelection_) {
                SetSelectedRange(cell.row, fixedCols_, cell.row, colCount_ - 1);
            } else {
                SetSelectedRange(std::min(selectionStart_.row, cell.row), fixedCols_,
                                 std::max(selectionStart_.row, cell.row), colCount_ - 1);
            }
            break;
        }
        case MOUSE_SELECT_CELLS: {
            if (!IsValid(selectionStart_) || selectionStart_.row < fixedRows_ ||
                selectionStart_.col < fixedCols_)
                break;
            if (cell.row < 0 || cell.col < 0) break;
            SetSelectedRange(std::min(selectionStart_.row, cell.row), std::min(selectionStart_.col, cell.col),
                             std::max(selectionStart_.row, cell.row),
                             std::max(selectionStart_.col, cell.col));
            break;
        }
        default:
            break;
    }
}

// --- Keys -------------------------------------------------------------------------------

int CGridCtrl::NearestVisibleRow(int from, int step) const {
    for (int row = from; row >= fixedRows_ && row < rowCount_; row += step) {
        if (rowHeights_[row] != 0) return row;
    }
    return -1;
}

int CGridCtrl::NearestVisibleCol(int from, int step) const {
    for (int col = from; col >= fixedCols_ && col < colCount_; col += step) {
        if (colWidths_[col] != 0) return col;
    }
    return -1;
}

bool CGridCtrl::WantsKey(unsigned key) const {
    if (key == vk::Tab) return handleTabKey_ && !(host_ != nullptr && host_->IsKeyDown(vk::Control));
    return true;
}

bool CGridCtrl::OnKeyDown(unsigned key) {
    if (!IsValid(focus_)) return false;
    const bool ctrl = host_ != nullptr && host_->IsKeyDown(vk::Control);
    const bool shift = host_ != nullptr && host_->IsKeyDown(vk::Shift);
    if (ctrl && (key == 'C' || key == vk::Insert)) {
        OnEditCopy();
        return true;
    }
    if (ctrl && key == 'X') {
        OnEditCut();
        return true;
    }
    if ((ctrl && key == 'V') || (shift && key == vk::Insert)) {
        OnEditPaste();
        return true;
    }
    if (ctrl && key == 'A') {
        OnEditSelectAll();
        return true;
    }
    if (key == vk::Delete) {
        CutSelectedText();
        return true;
    }

    CCellID next = focus_;
    switch (key) {
        case vk::Down: {
            const int row = NearestVisibleRow(focus_.row + 1, 1);
            if (row >= 0) next.row = row;
            break;
        }
        case vk::Up: {
            const int row = NearestVisibleRow(focus_.row - 1, -1);
            if (row >= 0) next.row = row;
            break;
        }
        case vk::Right: {
            const int col = NearestVisibleCol(focus_.col + 1, 1);
            if (col >= 0) next.col = col;
            break;
        }
        case vk::Left: {
            const int col = NearestVisibleCol(focus_.col - 1, -1);
            if (col >= 0) next.col = col;
            break;
        }
        case vk::Tab: {
            if (!handleTabKey_) return false;
            if (shift) {
                const int col = NearestVisibleCol(focus_.col - 1, -1);
                if (col >= 0) {
                    next.col = col;
                } else {
                    const int row = NearestVisibleRow(focus_.row - 1, -1);
                    const int last = NearestVisibleCol(colCount_ - 1, -1);
                    if (row < 0 || last < 0) return false;  // the dialog moves on
                    next = {row, last};
                }
            } else {
                const int col = NearestVisibleCol(focus_.col + 1, 1);
                if (col >= 0) {
                    next.col = col;
                } else {
                    const int row = NearestVisibleRow(focus_.row + 1, 1);
                    const int first = NearestVisibleCol(fixedCols_, 1);
                    if (row < 0 || first < 0) return false;
                    next = {row, first};
                }
            }
            break;
        }
        case vk::Next: {
            const CCellID before = GetTopleftNonFixedCell();
            OnVScroll(scrollcode::PageDown);
            const CCellID after = GetTopleftNonFixedCell();
            const int row = after.row == before.row ? NearestVisibleRow(rowCount_ - 1, -1)
                                                    : NearestVisibleRow(after.row, 1);
            if (row >= 0) next.row = row;
            break;
        }
        case vk::Prior: {
            OnVScroll(scrollcode::PageUp);
            const int row = NearestVisibleRow(GetTopleftNonFixedCell().row, 1);
            if (row >= 0) next.row = row;
            break;
        }
        case vk::Home: {
            if (ctrl) {
                OnVScroll(scrollcode::Top);
                const int row = NearestVisibleRow(fixedRows_, 1);
                if (row >= 0) next.row = row;
            }
            OnHScroll(scrollcode::Top);
            const int col = NearestVisibleCol(fixedCols_, 1);
            if (col >= 0) next.col = col;
            break;
        }
        case vk::End: {
            if (ctrl) {
                OnVScroll(scrollcode::Bottom);
                const int row = NearestVisibleRow(rowCount_ - 1, -1);
                if (row >= 0) next.row = row;
            }
            OnHScroll(scrollcode::Bottom);
            const int col = NearestVisibleCol(colCount_ - 1, -1);
            if (col >= 0) next.col = col;
            break;
        }
        case vk::F2:
            OnEditCell(focus_.row, focus_.col, {-1, -1}, vk::LButton);
            return true;
        default:
            return false;
    }

    if (next != focus_) {
        if (mouseMode_ == MOUSE_NOTHING) {
            prevSelected_.clear();
            mouseMode_ = listMode_ ? MOUSE_SELECT_ROW : MOUSE_SELECT_CELLS;
            if (!shift || key == vk::Tab) selectionStart_ = next;
            SendMessageToParent(next.row, next.col, gridnotify::SelChanging);
            OnSelecting(next);
            SendMessageToParent(next.row, next.col, gridnotify::SelChanged);
            mouseMode_ = MOUSE_NOTHING;
        }
        SetFocusCell(next);
        EnsureVisible(next.row, next.col);
    }
    return true;
}

bool CGridCtrl::OnChar(unsigned ch) {
    const bool ctrl = host_ != nullptr && host_->IsKeyDown(vk::Control);
    if (ctrl || mouseMode_ != MOUSE_NOTHING || ch == vk::Escape) return false;
    if (ch == vk::Tab && handleTabKey_) return false;
    if (!IsValid(focus_)) return false;
    OnEditCell(focus_.row, focus_.col, {-1, -1}, ch);
    return true;
}

void CGridCtrl::OnKillFocus() {
    if (deselectOnKillFocus_ && IsCellSelected(focus_.row, focus_.col)) ResetSelectedRangeInternal();
}

// --- Mouse ------------------------------------------------------------------------------

bool CGridCtrl::MouseOverColumnResizeArea(Point point) {
    if (point.y >= GetFixedRowHeight() || point.x < 0) return false;
    const CCellID cell = GetCellFromPt(point);
    Point start;
    if (!GetCellOrigin(cell.row, cell.col, start)) return false;
    const int end = start.x + colWidths_[cell.col];
    return (point.x - start.x < resizeCaptureRange_ && cell.col != 0) || end - point.x < resizeCaptureRange_;
}

bool CGridCtrl::MouseOverRowResizeArea(Point point) {
    if (point.x >= GetFixedColumnWidth() || point.y < 0) return false;
    const CCellID cell = GetCellFromPt(point);
    Point start;
    if (!GetCellOrigin(cell.row, cell.col, start)) return false;
    const int end = start.y + rowHeights_[cell.row];
    return (point.y - start.y < resizeCaptureRange_ && cell.row != 0) || end - point.y < resizeCaptureRange_;
}

void CGridCtrl::SetGridCursor(GridCursor cursor) {
    if (host_ != nullptr) host_->SetCursor(cursor);
}

void CGridCtrl::OnLButtonDown(Point point, unsigned flags) {
    lastMousePoint_ = point;
    leftDownPoint_ = point;
    leftButtonDown_ = true;
    leftDownCell_ = GetCellFromPt(point, true);
    if (!IsValid(leftDownCell_)) return;
    const bool ctrl = (flags & mouseflags::Control) != 0;

    if (!(flags & mouseflags::Shift))
        selectionStart_ = leftDownCell_;
    else if (!IsValid(selectionStart_))
        selectionStart_ = focus_;

    EndEditing();
    if (CGridCellBase* cell = GetCell(leftDownCell_.row, leftDownCell_.col)) cell->OnClickDown(point);

    // A click on the focus cell's text edits it when the button comes up.
    if (leftDownCell_ == focus_ && !ctrl) {
        Rect rect;
        if (GetCellRect(leftDownCell_.row, leftDownCell_.col, rect)) {
            CGridCellBase* cell = GetCell(leftDownCell_.row, leftDownCell_.col);
            Rect textRect = rect;
            if (cell != nullptr && cell->GetTextRect(textRect) &&
                Rect{textRect.left, textRect.top, textRect.right + 1, textRect.bottom + 1}.Contains(point) &&
                IsCellEditable(leftDownCell_.row, leftDownCell_.col)) {
                mouseMode_ = MOUSE_PREPARE_EDIT;
                return;
            }
        }
    }

    const bool fixed = leftDownCell_.row < fixedRows_ || leftDownCell_.col < fixedCols_;
    if (!IsCellSelected(leftDownCell_.row, leftDownCell_.col)) {
        if (!MouseOverColumnResizeArea(point) && !MouseOverRowResizeArea(point))
            SetFocusCell(fixed ? CCellID() : leftDownCell_);
    } else {
        SetFocusCell(leftDownCell_);
        if (ctrl) {
            // The other selected cells stay selected.
            prevSelected_ = selected_;
            if (listMode_) {
                mouseMode_ = MOUSE_SELECT_ROW;
                OnSelecting(leftDownCell_);
                mouseMode_ = MOUSE_NOTHING;
            } else {
                SetSelectedRange(std::min(selectionStart_.row, leftDownCell_.row),
                                 std::min(selectionStart_.col, leftDownCell_.col),
                                 std::max(selectionStart_.row, leftDownCell_.row),
                                 std::max(selectionStart_.col, leftDownCell_.col));
            }
            return;
        }
        if (allowDragAndDrop_) mouseMode_ = MOUSE_PREPARE_DRAG;
    }

    if (host_ != nullptr) host_->SetCapture(true);

    if (mouseMode_ == MOUSE_NOTHING) {
        if (allowColumnResize_ && MouseOverColumnResizeArea(point)) {
            mouseMode_ = MOUSE_OVER_COL_DIVIDE;
            SetGridCursor(GridCursor::SizeWE);
        } else if (allowRowResize_ && MouseOverRowResizeArea(point)) {
            mouseMode_ = MOUSE_OVER_ROW_DIVIDE;
            SetGridCursor(GridCursor::SizeNS);
        }
    }

    const Rect client = host_ != nullptr ? host_->ClientRect() : Rect{};
    if (mouseMode_ == MOUSE_OVER_COL_DIVIDE) {
        mouseMode_ = MOUSE_SIZING_COL;
        Point start;
        if (GetCellOrigin(leftDownCell_.row, leftDownCell_.col, start) &&
            point.x - start.x <= resizeCaptureRange_ && leftDownCell_.col > 0) {
            int col = leftDownCell_.col - 1;
            while (col > 0 && colWidths_[col] == 0) --col;
            leftDownCell_.col = col;
        }
        SetTrackingLine({point.x, 0, point.x + 2, client.bottom});
        return;
    }
    if (mouseMode_ == MOUSE_OVER_ROW_DIVIDE) {
        mouseMode_ = MOUSE_SIZING_ROW;
        Point start;
        if (GetCellOrigin(leftDownCell_.row, leftDownCell_.col, start) &&
            point.y - start.y <= resizeCaptureRange_ && leftDownCell_.row > 0) {
            int row = leftDownCell_.row - 1;
            while (row > 0 && rowHeights_[row] == 0) --row;
            leftDownCell_.row = row;
        }
        SetTrackingLine({0, point.y, client.right, point.y + 2});
        return;
    }
    if (mouseMode_ == MOUSE_PREPARE_DRAG) return;

    SendMessageToParent(leftDownCell_.row, leftDownCell_.col, gridnotify::SelChanging);
    prevSelected_.clear();
    if (ctrl) prevSelected_ = selected_;
    if (leftDownCell_.row < fixedRows_) {
        OnFixedRowClick(leftDownCell_);
    } else if (leftDownCell_.col < fixedCols_) {
        OnFixedColumnClick(leftDownCell_);
    } else {
        mouseMode_ = listMode_ ? MOUSE_SELECT_ROW : MOUSE_SELECT_CELLS;
        OnSelecting(leftDownCell_);
        if (host_ != nullptr) autoScrollTimer_ = host_->SetTimer(kAutoScrollTimer, 25);
    }
}

void CGridCtrl::OnMouseMove(Point point, unsigned flags) {
    const Rect client = host_ != nullptr ? host_->ClientRect() : Rect{};
    const bool inside = client.Contains(point);
    if (!inside && mouseMode_ != MOUSE_DRAGGING && !(flags & mouseflags::LButton)) return;

    if (!(flags & mouseflags::LButton)) {
        if (allowColumnResize_ && MouseOverColumnResizeArea(point)) {
            if (mouseMode_ != MOUSE_OVER_COL_DIVIDE) {
                SetGridCursor(GridCursor::SizeWE);
                mouseMode_ = MOUSE_OVER_COL_DIVIDE;
            }
        } else if (allowRowResize_ && MouseOverRowResizeArea(point)) {
            if (mouseMode_ != MOUSE_OVER_ROW_DIVIDE) {
                SetGridCursor(GridCursor::SizeNS);
                mouseMode_ = MOUSE_OVER_ROW_DIVIDE;
            }
        } else if (mouseMode_ != MOUSE_NOTHING) {
            SetGridCursor(GridCursor::Arrow);
            mouseMode_ = MOUSE_NOTHING;
        }
        const CCellID cell = GetCellFromPt(point);
        if (IsValid(cell)) {
            if (titleTips_) ShowTitleTipFor(cell);
            if (CGridCellBase* object = GetCell(cell.row, cell.col)) object->OnMouseOver();
        }
        lastMousePoint_ = point;
        return;
    }

    if (!IsValid(leftDownCell_)) {
        lastMousePoint_ = point;
        return;
    }
    switch (mouseMode_) {
        case MOUSE_SELECT_COL:
        case MOUSE_SELECT_ROW:
        case MOUSE_SELECT_CELLS: {
            const CCellID cell = GetCellFromPt(point);
            if (!IsValid(cell)) break;
            const bool fixed = cell.row < fixedRows_ || cell.col < fixedCols_;
            if (cell != focus_) {
                OnSelecting(cell);
                if (!fixed || mouseMode_ != MOUSE_SELECT_CELLS) SetFocusCell(cell);
            }
            break;
        }
        case MOUSE_SIZING_COL: {
            Point start;
            int x = point.x;
            if (GetCellOrigin(leftDownCell_.row, leftDownCell_.col, start)) x = std::max(x, start.x);
            SetTrackingLine({x, 0, x + 2, client.bottom});
            break;
        }
        case MOUSE_SIZING_ROW: {
            Point start;
            int y = point.y;
            if (GetCellOrigin(leftDownCell_.row, leftDownCell_.col, start)) y = std::max(y, start.y);
            SetTrackingLine({0, y, client.right, y + 2});
            break;
        }
        case MOUSE_PREPARE_EDIT:
        case MOUSE_PREPARE_DRAG:
            if (point != leftDownPoint_) {
                mouseMode_ = MOUSE_PREPARE_DRAG;
                OnBeginDrag();
            }
            break;
        default:
            break;
    }
    lastMousePoint_ = point;
}

void CGridCtrl::OnLButtonUp(Point point, unsigned) {
    leftButtonDown_ = false;
    if (host_ != nullptr) {
        // An edit a double click just opened keeps the focus.
        const CGridCellBase* focusCell = GetCell(focus_.row, focus_.col);
        if (focusCell == nullptr || !focusCell->IsEditing()) host_->SetFocus();
        host_->SetCapture(false);
        if (autoScrollTimer_) host_->KillTimer(kAutoScrollTimer);
    }
    autoScrollTimer_ = false;

    CGridCellBase* cell = IsValid(leftDownCell_) ? GetCell(leftDownCell_.row, leftDownCell_.col) : nullptr;
    switch (mouseMode_) {
        case MOUSE_PREPARE_EDIT:
            mouseMode_ = MOUSE_NOTHING;
            OnEditCell(focus_.row, focus_.col, point, vk::LButton);
            break;
        case MOUSE_PREPARE_DRAG:
            if (cell != nullptr) cell->OnClick(point);
            SendMessageToParent(leftDownCell_.row, leftDownCell_.col, gridnotify::Click);
            SendMessageToParent(leftDownCell_.row, leftDownCell_.col, gridnotify::SelChanging);
            ResetSelectedRangeInternal();
            SendMessageToParent(focus_.row, focus_.col, gridnotify::SelChanged);
            break;
        case MOUSE_SIZING_COL: {
            SetTrackingLine({});
            Point start;
            if (point != leftDownPoint_ && !(point.x == 0 && point.y == 0) &&
                GetCellOrigin(leftDownCell_.row, leftDownCell_.col, start)) {
                colWidths_[leftDownCell_.col] = std::max(point.x - start.x, allowZeroSize_ ? 0 : 1);
                ResetScrollBars();
                Refresh();
            }
            break;
        }
        case MOUSE_SIZING_ROW: {
            SetTrackingLine({});
            Point start;
            if (point != leftDownPoint_ && !(point.x == 0 && point.y == 0) &&
                GetCellOrigin(leftDownCell_.row, leftDownCell_.col, start)) {
                rowHeights_[leftDownCell_.row] = std::max(point.y - start.y, allowZeroSize_ ? 0 : 1);
                ResetScrollBars();
                Refresh();
            }
            break;
        }
        default:
            SendMessageToParent(leftDownCell_.row, leftDownCell_.col, gridnotify::SelChanged);
            if (cell != nullptr) cell->OnClick(point);
            SendMessageToParent(leftDownCell_.row, leftDownCell_.col, gridnotify::Click);
            break;
    }
    mouseMode_ = MOUSE_NOTHING;
    SetGridCursor(GridCursor::Arrow);
    if (IsValid(leftDownCell_) && host_ != nullptr) host_->PostCommand();
}

void CGridCtrl::OnLButtonDblClk(Point point, unsigned) {
    if (mouseMode_ == MOUSE_OVER_COL_DIVIDE) {
        const CCellID cell = GetCellFromPt(point);
        Point start;
        if (IsValid(cell) && GetCellOrigin(cell.row, cell.col, start)) {
            int col = cell.col;
            if (point.x - start.x <= resizeCaptureRange_ && col > 0) {
                --col;
                while (col > 0 && colWidths_[col] == 0) --col;
            }
            AutoSizeColumn(col);
            Refresh();
        }
        return;
    }
    if (mouseMode_ == MOUSE_OVER_ROW_DIVIDE) {
        const CCellID cell = GetCellFromPt(point);
        Point start;
        if (IsValid(cell) && GetCellOrigin(cell.row, cell.col, start)) {
            int row = cell.row;
            if (point.y - start.y <= resizeCaptureRange_ && row > 0) {
                --row;
                while (row > 0 && rowHeights_[row] == 0) --row;
            }
            AutoSizeRow(row);
            Refresh();
        }
        return;
    }
    if (mouseMode_ != MOUSE_NOTHING) return;
    const CCellID cell = GetCellFromPt(point);
    if (!IsValid(cell) || cell.row < fixedRows_ || cell.col < fixedCols_) return;
    OnEditCell(cell.row, cell.col, point, vk::LButton);
    if (CGridCellBase* object = GetCell(cell.row, cell.col)) object->OnDblClick(point);
    SendMessageToParent(cell.row, cell.col, gridnotify::DblClick);
}

void CGridCtrl::OnRButtonUp(Point point, unsigned) {
    EndEditing();
    const CCellID cell = GetCellFromPt(point);
    if (IsValid(cell)) {
        SetFocusCell(-1, -1);
        SetFocusCell(std::max(cell.row, fixedRows_), std::max(cell.col, fixedCols_));
        if (CGridCellBase* object = GetCell(cell.row, cell.col)) object->OnRClick(point);
        SendMessageToParent(cell.row, cell.col, gridnotify::RClick);
    } else {
        SendMessageToParent(-1, -1, gridnotify::RClick);
    }
}

void CGridCtrl::OnSetCursor(Point point) {
    switch (mouseMode_) {
        case MOUSE_OVER_ROW_DIVIDE:
            SetGridCursor(GridCursor::SizeNS);
            return;
        case MOUSE_OVER_COL_DIVIDE:
            SetGridCursor(GridCursor::SizeWE);
            return;
        case MOUSE_DRAGGING:
            return;
        default:
            break;
    }
    if (!virtualMode_) {
        const CCellID cell = GetCellFromPt(point);
        if (IsValid(cell)) {
            if (CGridCellBase* object = GetCell(cell.row, cell.col)) {
                object->OnSetCursor();
                return;
            }
        }
    }
    SetGridCursor(GridCursor::Arrow);
}

void CGridCtrl::OnTimer(unsigned id) {
    if (id != kAutoScrollTimer || host_ == nullptr) return;
    const Point pt = host_->CursorPos();
    const Rect client = host_->ClientRect();
    const int fixedWidth = GetFixedColumnWidth();
    const int fixedHeight = GetFixedRowHeight();
    const int x = std::clamp(pt.x, fixedWidth, std::max(fixedWidth, client.right - 1));
    const int y = std::clamp(pt.y, fixedHeight, std::max(fixedHeight, client.bottom - 1));
    unsigned key = 0;
    if (pt.y < fixedHeight)
        key = vk::Up;
    else if (pt.y > client.bottom)
        key = vk::Down;
    else if (pt.x < fixedWidth)
        key = vk::Left;
    else if (pt.x > client.right)
        key = vk::Right;
    if (key == 0) return;
    OnKeyDown(key);
    // The selection follows the scrolled view under the pointer.
    const CCellID cell = GetCellFromPt({x, key == vk::Up ? fixedHeight + 1 : y});
    if (IsValid(cell)) OnSelecting(cell);
}

void CGridCtrl::OnCaptureChanged() {
    if (host_ != nullptr && autoScrollTimer_) host_->KillTimer(kAutoScrollTimer);
    autoScrollTimer_ = false;
    if (mouseMode_ == MOUSE_DRAGGING) mouseMode_ = MOUSE_NOTHING;
}

void CGridCtrl::OnDestroy() {
    EndEditing();
}

void CGridCtrl::OnFixedRowClick(CCellID cell) {
    if (!IsValid(cell)) return;
    if (headerSort_) {
        if (host_ != nullptr) host_->SetWaitCursor(true);
        const bool ascending = cell.col == sortColumn_ ? !sortAscending_ : true;
        SortItemsByColumn(cell.col, ascending);
        if (host_ != nullptr) host_->SetWaitCursor(false);
        Refresh();
    }
    if (fixedRowSelection_) {
        mouseMode_ = cell.col < fixedCols_ ? MOUSE_SELECT_ALL : MOUSE_SELECT_COL;
        OnSelecting(cell);
    }
}

void CGridCtrl::OnFixedColumnClick(CCellID cell) {
    if (!IsValid(cell)) return;
    if (fixedColSelection_) {
        mouseMode_ = cell.row < fixedRows_ ? MOUSE_SELECT_ALL : MOUSE_SELECT_ROW;
        OnSelecting(cell);
    }
}

// --- Editing ------------------------------------------------------------------------------

void CGridCtrl::OnEditCell(int row, int col, Point point, unsigned ch) {
    if (host_ != nullptr) host_->HideTitleTip();
    if (!IsValid(row, col) || !IsCellEditable(row, col)) return;
    if (!IsCellVisible(row, col)) EnsureVisible(row, col);
    if (!IsCellVisible(row, col)) return;
    Rect rect;
    if (!GetCellRect(row, col, rect)) return;
    if (SendMessageToParent(row, col, gridnotify::BeginLabelEdit) < 0) return;
    if (CGridCellBase* cell = GetCell(row, col)) cell->Edit(row, col, rect, point, kEditorId, ch);
}

void CGridCtrl::EndEditing() {
    if (CGridCellBase* cell = GetCell(focus_.row, focus_.col)) cell->EndEdit();
}

bool CGridCtrl::ValidateEdit(int row, int col, std::string_view text) {
    CGridCellBase* cell = GetCell(row, col);
    return cell == nullptr || cell->ValidateEdit(text);
}

void CGridCtrl::OnEndEditCell(int row, int col, std::string_view text) {
    CGridCellBase* cell = GetCell(row, col);
    if (cell == nullptr) return;
    const std::string old = cell->GetText();
    if (text != old) {
        cell->SetText(text);
        cell->SetState(cell->GetState() | cellstate::Modified);
    }
    if (ValidateEdit(row, col, text) && SendMessageToParent(row, col, gridnotify::EndLabelEdit) >= 0) {
        SetModified(true, row, col);
        RedrawCell(row, col);
    } else {
        cell->SetText(old);
    }
    cell->OnEndEdit();
}

void CGridCtrl::OnEndInPlaceEdit(const GridDispInfo& info) {
    const int row = info.item.row;
    const int col = info.item.col;
    const auto key = static_cast<unsigned>(info.item.data);
    OnEndEditCell(row, col, info.item.text);
    if (!IsMoveKey(key)) return;
    const CCellID before = focus_;
    OnKeyDown(key);
    // Editing goes on in the cell the key moved to.
    if (focus_ != before && IsValid(focus_)) OnEditCell(focus_.row, focus_.col, {-1, -1}, key);
}

GridEditor* CGridCtrl::CreateInPlaceEditor(const EditorRequest& request, bool list) {
    if (host_ == nullptr) return nullptr;
    return list ? host_->CreateListEditor(request) : host_->CreateTextEditor(request);
}

void CGridCtrl::ShowTitleTipFor(const CCellID& id) {
    if (host_ == nullptr || !titleTips_) return;
    CGridCellBase* cell = GetCell(id.row, id.col);
    if (cell == nullptr || cell->GetTipText().empty() || cell->IsEditing()) return;
    Rect rect;
    if (!GetCellRect(id.row, id.col, rect)) return;
    Rect textRect = rect;
    if (!cell->GetTipTextRect(textRect)) return;
    TitleTipRequest request;
    request.cellRect = rect;
    request.textRect = textRect;
    request.text = cell->GetTipText();
    if (!cell->IsDefaultFont() && cell->GetFont() != nullptr) request.font = *cell->GetFont();
    request.textColor = titleTipTextClr_;
    request.backColor = titleTipBackClr_;
    host_->ShowTitleTip(request);
}

}  // namespace controls
