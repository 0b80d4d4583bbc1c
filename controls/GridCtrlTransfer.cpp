// Moving cell contents as a whole: sorting rows by a column, the clipboard as
// tab-separated text, and drag and drop of the same text.

#include <algorithm>
#include <vector>

#include <wx/imaglist.h>

#include "controls/GridCtrl.h"
#include "controls/StableOrder.h"
#include "controls/TextCollation.h"
#include "platform/StringHelpers.h"

namespace controls {

using platform::ui::Point;
using platform::ui::Rect;

// --- Sorting ------------------------------------------------------------------------------

void CGridCtrl::InvalidateSortHeader(int col) {
    if (col >= 0 && col < colCount_ && rowCount_ > 0) InvalidateCellRect(0, col);
}

void CGridCtrl::SetSortColumn(int col) {
    if (sortColumn_ >= 0) InvalidateSortHeader(sortColumn_);
    if (col >= 0) InvalidateSortHeader(col);
    sortColumn_ = col;
}

int CGridCtrl::CompareText(const CGridCellBase* a, const CGridCellBase* b, intptr_t) {
    if (a == nullptr || b == nullptr) return 0;
    return CollateText(a->GetText(), b->GetText());
}

bool CGridCtrl::SortItemsByColumn(int col, bool ascending, intptr_t data) {
    return SortItems(compare_ ? compare_ : CompareFunc(&CGridCtrl::CompareText), col, ascending, data);
}

bool CGridCtrl::SortItems(const CompareFunc& compare, int col, bool ascending, intptr_t) {
    if (col < 0 || col >= colCount_ || !compare) return false;
    SetSortColumn(col);
    sortAscending_ = ascending;
    ResetSelectedRange();
    SetFocusCell(-1, -1);
    // The holder of a virtual grid keeps the data and sorts it itself.
    if (virtualMode_) return false;
    const int low = fixedRows_;
    const int high = rowCount_ - 1;
    if (high - low < 1) return true;
    const size_t n = static_cast<size_t>(high - low + 1);
    std::vector<const CGridCellBase*> keys(n);
    for (size_t i = 0; i < n; ++i) keys[i] = GetCell(low + static_cast<int>(i), col);
    // A stable merge sort: equal keys keep their order, and a comparison that
    // contradicts itself can only give an odd order, never a lost row.
    const std::vector<size_t> order = StableOrder(n, [&](size_t a, size_t b) {
        const int result = compare(keys[a], keys[b], 0);
        return ascending ? result < 0 : result > 0;
    });
    std::vector<std::unique_ptr<Row>> rows(n);
    std::vector<int> heights(n);
    for (size_t i = 0; i < n; ++i) {
        rows[i] = std::move(rows_[low + order[i]]);
        heights[i] = rowHeights_[low + order[i]];
    }
    for (size_t i = 0; i < n; ++i) {
        const int row = low + static_cast<int>(i);
        rows_[row] = std::move(rows[i]);
        rowHeights_[row] = heights[i];
        if (order[i] != i && rows_[row]) {
            for (int c = 0; c < static_cast<int>(rows_[row]->cells.size()); ++c) {
                if (rows_[row]->cells[c]) rows_[row]->cells[c]->SetCoords(row, c);
            }
        }
    }
    topLeftValid_ = false;
    Refresh();
    return true;
}

// --- Clipboard ----------------------------------------------------------------------------

std::optional<std::string> CGridCtrl::CopyTextFromGrid() {
    const CCellRange range = GetSelectedCellRange();
    if (!IsValid(range)) return std::nullopt;
    if (virtualMode_) SendCacheHintToParent(range);
    std::string text;
    bool firstLine = true;
    for (int row = range.minRow; row <= range.maxRow; ++row) {
        if (rowHeights_[row] == 0) continue;
        if (!firstLine) text += "\r\n";
        firstLine = false;
        bool firstField = true;
        for (int col = range.minCol; col <= range.maxCol; ++col) {
            if (colWidths_[col] == 0) continue;
            if (!firstField) text += '\t';
            firstField = false;
            if (!IsCellSelected(row, col)) continue;
            if (const CGridCellBase* cell = GetCell(row, col)) text += cell->GetText();
        }
    }
    if (virtualMode_) SendCacheHintToParent({});
    return text;
}

bool CGridCtrl::SetTextByEdit(int row, int col, std::string_view text) {
    if (virtualMode_) return false;
    CGridCellBase* cell = GetCell(row, col);
    if (cell == nullptr || cell->IsReadOnly()) return false;
    if (SendMessageToParent(row, col, gridnotify::BeginLabelEdit) < 0) return false;
    const std::string old = cell->GetText();
    cell->SetText(text);
    if (!cell->ValidateEdit(text) || SendMessageToParent(row, col, gridnotify::EndLabelEdit) < 0) {
        cell->SetText(old);
        return false;
    }
    SetModified(true, row, col);
    RedrawCell(row, col);
    return true;
}

void CGridCtrl::CutSelectedText() {
    if (!editable_) return;
    std::vector<CCellID> cells;
    cells.reserve(selected_.size());
    for (const auto& entry : selected_) cells.push_back(entry.second);
    std::sort(cells.begin(), cells.end(), [](const CCellID& a, const CCellID& b) {
        return a.row != b.row ? a.row < b.row : a.col < b.col;
    });
    for (const CCellID& cell : cells) SetTextByEdit(cell.row, cell.col, "");
}

void CGridCtrl::OnEditCopy() {
    const std::optional<std::string> text = CopyTextFromGrid();
    if (text && host_ != nullptr) host_->SetClipboardText(*text);
}

void CGridCtrl::OnEditCut() {
    if (!editable_) return;
    OnEditCopy();
    CutSelectedText();
}

void CGridCtrl::OnEditPaste() {
    if (!editable_) return;
    CCellID target;
    const CCellRange range = GetSelectedCellRange();
    if (IsValid(range))
        target = range.GetTopLeft();
    else if (IsValid(focus_))
        target = focus_;
    else
        target = GetTopleftNonFixedCell();
    if (!IsValid(target)) return;
    if (CGridCellBase* cell = GetCell(target.row, target.col)) {
        if (cell->IsEditing() && cell->GetEditWnd() != nullptr) {
            cell->GetEditWnd()->Paste();
            return;
        }
    }
    PasteTextToGrid(target, host_ != nullptr ? host_->GetClipboardText() : std::nullopt, true);
}

bool CGridCtrl::PasteTextToGrid(CCellID target, const std::optional<std::string>& text, bool selectPasted) {
    if (!IsValid(target) || !editable_ || !text) return false;
    const CGridCellBase* targetCell = GetCell(target.row, target.col);
    if (targetCell == nullptr || targetCell->IsReadOnly()) return false;

    std::vector<std::string_view> lines;
    std::string_view rest(*text);
    while (true) {
        const size_t end = rest.find('\n');
        lines.push_back(rest.substr(0, end));
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    // A text that ends with a line break has no further line: it must not clear the next row.
    if (lines.size() > 1 && platform::TrimView(lines.back()).empty() &&
        lines.back().find_first_of("\t,") == std::string_view::npos)
        lines.pop_back();

    int lastRow = -1;
    int lastCol = -1;
    int row = target.row;
    for (std::string_view line : lines) {
        while (row < rowCount_ && rowHeights_[row] == 0) ++row;
        if (row >= rowCount_) break;
        int col = target.col;
        size_t start = 0;
        while (true) {
            const size_t end = line.find_first_of("\t,", start);
            const std::string_view field =
                line.substr(start, end == std::string_view::npos ? end : end - start);
            while (col < colCount_ && colWidths_[col] == 0) ++col;
            if (col >= colCount_) break;
            SetTextByEdit(row, col, platform::TrimView(field));
            if (CGridCellBase* cell = GetCell(row, col)) {
                SetItemState(row, col, cell->GetState() & ~cellstate::Selected);
            }
            lastRow = std::max(lastRow, row);
            lastCol = std::max(lastCol, col);
            ++col;
            if (end == std::string_view::npos) break;
            start = end + 1;
        }
        ++row;
    }
    if (selectPasted && lastRow >= 0) {
        SetSelectedRange(target.row, target.col, lastRow, lastCol, true);
        Refresh();
    }
    return true;
}

bool CGridCtrl::CanCopy() const {
    return !selected_.empty();
}

bool CGridCtrl::CanCut() const {
    return editable_ && !selected_.empty();
}

bool CGridCtrl::CanPaste() {
    if (!IsValid(focus_) || !editable_) return false;
    const CGridCellBase* cell = GetCell(focus_.row, focus_.col);
    if (cell == nullptr || cell->IsReadOnly()) return false;
    return host_ != nullptr && host_->GetClipboardText().has_value();
}

void CGridCtrl::OnEditSelectAll() {
    SendMessageToParent(leftDownCell_.row, leftDownCell_.col, gridnotify::SelChanging);
    SelectAllCells();
    SendMessageToParent(focus_.row, focus_.col, gridnotify::SelChanged);
}

// --- Drag and drop ---------------------------------------------------------------------------

void CGridCtrl::OnBeginDrag() {
    if (!allowDragAndDrop_ || host_ == nullptr) return;
    const std::optional<std::string> text = CopyTextFromGrid();
    if (!text) return;
    const CCellRange range = GetSelectedCellRange();
    SendMessageToParent(range.minRow, range.minCol, gridnotify::BeginDrag);
    mouseMode_ = MOUSE_DRAGGING;
    const int effect = host_->DoDragDrop(*text);
    if (effect == dropeffect::Move) CutSelectedText();
    mouseMode_ = MOUSE_NOTHING;
}

std::unique_ptr<wxImageList> CGridCtrl::CreateDragImage(CCellID id) {
    CGridCellBase* cell = GetCell(id.row, id.col);
    Rect rect;
    if (cell == nullptr || !GetCellRect(id.row, id.col, rect)) return nullptr;
    const int width = rect.Width() + 1;  // the cell rectangle's right and bottom are inclusive
    const int height = rect.Height() + 1;
    if (width <= 0 || height <= 0) return nullptr;
    platform::ui::MemoryCanvas canvas(width, height);
    cell->Draw(canvas.Dc(), id.row, id.col, {0, 0, width - 1, height - 1}, true);
    auto images = std::make_unique<wxImageList>(width, height, false, 1);
    if (images->Add(canvas.Bitmap()) < 0) return nullptr;
    return images;
}

int CGridCtrl::OnDragEnter(bool hasText, bool control, Point point) {
    return OnDragOver(hasText, control, point);
}

int CGridCtrl::OnDragOver(bool hasText, bool control, Point point) {
    if (!editable_ || !hasText) return dropeffect::None;
    const CCellID cell = GetCellFromPt(point, false);
    if (!IsValid(cell) || !IsCellEditable(cell.row, cell.col)) {
        OnDragLeave();
        return dropeffect::None;
    }
    if (cell != dropCell_) {
        OnDragLeave();
        if (CGridCellBase* object = virtualMode_ ? nullptr : GetCell(cell.row, cell.col)) {
            object->SetState(object->GetState() | cellstate::DropHighlighted);
        }
        dropCell_ = cell;
        RedrawCell(cell.row, cell.col);
    }
    return control ? dropeffect::Copy : dropeffect::Move;
}

void CGridCtrl::OnDragLeave() {
    if (!IsValid(dropCell_)) {
        dropCell_ = {};
        return;
    }
    const CCellID cell = dropCell_;
    dropCell_ = {};
    if (CGridCellBase* object = virtualMode_ ? nullptr : GetCell(cell.row, cell.col)) {
        object->SetState(object->GetState() & ~cellstate::DropHighlighted);
    }
    RedrawCell(cell.row, cell.col);
}

bool CGridCtrl::OnDrop(const std::optional<std::string>& text, int, Point point) {
    mouseMode_ = MOUSE_NOTHING;
    const CCellID cell = GetCellFromPt(point, false);
    if (!editable_ || !text || !IsValid(cell) || !IsCellEditable(cell.row, cell.col)) {
        OnDragLeave();
        return false;
    }
    OnDragLeave();
    return PasteTextToGrid(cell, text, false);
}

}  // namespace controls
