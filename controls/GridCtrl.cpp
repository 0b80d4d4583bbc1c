// The grid's data: rows, columns and their sizes, cells and their attributes,
// virtual mode, and the notifications to the holder.

#include "controls/GridCtrl.h"

#include <algorithm>
#include <numeric>

#include <wx/font.h>

#include "controls/GridFont.h"
#include "controls/GridSysColors.h"
#include "controls/GridWindow.h"

namespace controls {

CGridCtrl::CGridCtrl(int rows, int cols, int fixedRows, int fixedCols,
                     std::shared_ptr<GridTextMetrics> metrics)
    : metrics_(std::move(metrics)), cellClass_(CellClassOf<CGridCell>()) {
    sysWindowText_ = GetSysColor(SysColor::WindowText);
    sysWindow_ = GetSysColor(SysColor::Window);
    sys3DFace_ = GetSysColor(SysColor::Face3D);
    sys3DShadow_ = GetSysColor(SysColor::Shadow3D);
    gridBkColor_ = sys3DShadow_;
    InitDefaultCells();
    virtualCell_.SetGrid(this);
    SetRowCount(rows);
    SetColumnCount(cols);
    SetFixedRowCount(fixedRows);
    SetFixedColumnCount(fixedCols);
}

CGridCtrl::~CGridCtrl() {
    if (window_ != nullptr) {
        GridWindow* window = window_;
        window->DetachGrid();
        window->Destroy();
    }
    host_ = nullptr;
    window_ = nullptr;
    rows_.clear();
}

void CGridCtrl::InitDefaultCells() {
    for (CGridDefaultCell* cell :
         {&defaultCell_, &defaultCellFixedCol_, &defaultCellFixedRow_, &defaultCellFixedBoth_}) {
        cell->SetGrid(this);
        // Measure again, now with the grid's metrics.
        const LOGFONT font = *cell->GetFont();
        cell->SetFont(&font);
        cell->SetTextClr(sysWindowText_);
        cell->SetBackClr(sys3DFace_);
    }
    defaultCell_.SetBackClr(sysWindow_);
}

GridTextMetrics* CGridCtrl::GetTextMetrics() const {
    return metrics_ ? metrics_.get() : ScreenTextMetrics();
}

bool CGridCtrl::Create(wxWindow* parent, const platform::ui::Rect& rect, int id) {
    if (window_ != nullptr) return false;
    auto* window = new GridWindow(this);
    if (!window->Create(parent, id, rect)) {
        delete window;
        return false;
    }
    return true;
}

bool CGridCtrl::CreateIn(wxWindow* placeholder) {
    if (window_ != nullptr || placeholder == nullptr) return false;
    auto* window = new GridWindow(this);
    if (!window->CreateIn(placeholder)) {
        delete window;
        return false;
    }
    return true;
}

void CGridCtrl::AttachHost(CGridHost* host) {
    if (host_ == host) return;
    host_ = host;
    if (host_ == nullptr) {
        window_ = nullptr;
        mouseMode_ = MOUSE_NOTHING;
        return;
    }
    wheelLines_ = host_->WheelScrollLines();
    ResetScrollBars();
}

// --- Rows and columns ---------------------------------------------------------------

bool CGridCtrl::SetRowCount(int rows) {
    if (rows < 0) return false;
    if (rows == rowCount_) return true;
    if (fixedRows_ > rows) fixedRows_ = rows;
    if (focus_.row >= rows) focus_ = {};
    if (selectionStart_.row >= rows) selectionStart_ = {};
    if (rows < rowCount_) {
        for (auto it = selected_.begin(); it != selected_.end();) {
            it = it->second.row >= rows ? selected_.erase(it) : std::next(it);
        }
        prevSelected_.clear();
        if (!virtualMode_) {
            for (int row = rows; row < rowCount_; ++row) {
                if (!rows_[row]) continue;
                for (int col = 0; col < colCount_; ++col) DestroyCell(row, col);
            }
        }
    }
    const int oldCount = rowCount_;
    rowHeights_.resize(rows, defaultCell_.GetHeight());
    rows_.resize(rows);
    rowCount_ = rows;
    if (!virtualMode_) {
        for (int row = oldCount; row < rows; ++row) {
            rows_[row] = std::make_unique<Row>();
            rows_[row]->cells.resize(colCount_);
            for (int col = 0; col < colCount_; ++col) rows_[row]->cells[col] = CreateCell(row, col);
        }
    }
    SetModified();
    ResetScrollBars();
    Refresh();
    return true;
}

bool CGridCtrl::SetColumnCount(int cols) {
    if (cols < 0) return false;
    if (cols == colCount_) return true;
    if (fixedCols_ > cols) fixedCols_ = cols;
    if (focus_.col >= cols) focus_ = {};
    if (selectionStart_.col >= cols) selectionStart_ = {};
    if (cols < colCount_) {
        for (auto it = selected_.begin(); it != selected_.end();) {
            it = it->second.col >= cols ? selected_.erase(it) : std::next(it);
        }
        prevSelected_.clear();
        if (!virtualMode_) {
            for (int row = 0; row < rowCount_; ++row) {
                if (!rows_[row]) continue;
                for (int col = cols; col < colCount_; ++col) DestroyCell(row, col);
            }
        }
    }
    const int oldCount = colCount_;
    colWidths_.resize(cols, defaultCellFixedCol_.GetWidth());
    colCount_ = cols;
    if (!virtualMode_) {
        for (int row = 0; row < rowCount_; ++row) {
            if (!rows_[row]) continue;
            auto& cells = rows_[row]->cells;
            cells.resize(cols);
            for (int col = oldCount; col < cols; ++col) cells[col] = CreateCell(row, col);
        }
    }
    SetModified();
    ResetScrollBars();
    Refresh();
    return true;
}

bool CGridCtrl::SetFixedRowCount(int fixedRows) {
    if (fixedRows < 0) return false;
    if (fixedRows == fixedRows_) return true;
    ResetSelectedRange();
    if (rowCount_ < fixedRows) SetRowCount(fixedRows);
    if (!virtualMode_) {
        if (fixedRows > fixedRows_) {
            for (int row = fixedRows_; row < fixedRows; ++row) {
                for (int col = 0; col < colCount_; ++col) {
                    CGridCellBase* cell = GetCell(row, col);
                    if (cell == nullptr) continue;
                    cell->SetState(cell->GetState() | cellstate::Fixed | cellstate::FixedRow);
                    cell->SetTextClr(CLR_DEFAULT);
                    cell->SetBackClr(CLR_DEFAULT);
                }
            }
        } else {
            for (int row = fixedRows; row < fixedRows_; ++row) {
                for (int col = 0; col < colCount_; ++col) {
                    CGridCellBase* cell = GetCell(row, col);
                    if (cell == nullptr) continue;
                    if (col < fixedCols_) {
                        cell->SetState(cell->GetState() & ~cellstate::FixedRow);
                    } else {
                        cell->SetState(cell->GetState() & ~(cellstate::Fixed | cellstate::FixedRow));
                        cell->SetTextClr(CLR_DEFAULT);
                        cell->SetBackClr(CLR_DEFAULT);
                    }
                }
            }
        }
    }
    fixedRows_ = fixedRows;
    ResetScrollBars();
    Refresh();
    return true;
}

bool CGridCtrl::SetFixedColumnCount(int fixedCols) {
    if (fixedCols < 0) return false;
    if (fixedCols == fixedCols_) return true;
    ResetSelectedRange();
    if (colCount_ < fixedCols) SetColumnCount(fixedCols);
    if (!virtualMode_) {
        if (fixedCols > fixedCols_) {
            for (int row = 0; row < rowCount_; ++row) {
                for (int col = fixedCols_; col < fixedCols; ++col) {
                    CGridCellBase* cell = GetCell(row, col);
                    if (cell == nullptr) continue;
                    cell->SetState(cell->GetState() | cellstate::Fixed | cellstate::FixedCol);
                    cell->SetTextClr(CLR_DEFAULT);
                    cell->SetBackClr(CLR_DEFAULT);
                }
            }
        } else {
            for (int row = 0; row < rowCount_; ++row) {
                for (int col = fixedCols; col < fixedCols_; ++col) {
                    CGridCellBase* cell = GetCell(row, col);
                    if (cell == nullptr) continue;
                    if (row < fixedRows_) {
                        cell->SetState(cell->GetState() & ~cellstate::FixedCol);
                    } else {
                        cell->SetState(cell->GetState() & ~(cellstate::Fixed | cellstate::FixedCol));
                        cell->SetTextClr(CLR_DEFAULT);
                        cell->SetBackClr(CLR_DEFAULT);
                    }
                }
            }
        }
    }
    fixedCols_ = fixedCols;
    ResetScrollBars();
    Refresh();
    return true;
}

int CGridCtrl::GetRowHeight(int row) const {
    return row >= 0 && row < rowCount_ ? rowHeights_[row] : -1;
}

int CGridCtrl::GetColumnWidth(int col) const {
    return col >= 0 && col < colCount_ ? colWidths_[col] : -1;
}

bool CGridCtrl::SetRowHeight(int row, int height) {
    if (row < 0 || row >= rowCount_ || height < 0) return false;
    rowHeights_[row] = height;
    ResetScrollBars();
    Refresh();
    return true;
}

bool CGridCtrl::SetColumnWidth(int col, int width) {
    if (col < 0 || col >= colCount_ || width < 0) return false;
    colWidths_[col] = width;
    ResetScrollBars();
    Refresh();
    return true;
}

int CGridCtrl::GetVirtualWidth() const {
    return std::accumulate(colWidths_.begin(), colWidths_.end(), 0);
}

int CGridCtrl::GetVirtualHeight() const {
    return std::accumulate(rowHeights_.begin(), rowHeights_.end(), 0);
}

int CGridCtrl::GetFixedRowHeight() const {
    return std::accumulate(rowHeights_.begin(), rowHeights_.begin() + fixedRows_, 0);
}

int CGridCtrl::GetFixedColumnWidth() const {
    return std::accumulate(colWidths_.begin(), colWidths_.begin() + fixedCols_, 0);
}

// --- Cells ----------------------------------------------------------------------------

std::unique_ptr<CGridCellBase> CGridCtrl::CreateCell(int row, int col) {
    if (cellClass_ == nullptr || cellClass_->create == nullptr) return nullptr;
    std::unique_ptr<CGridCellBase> cell = cellClass_->create();
    if (!cell) return nullptr;
    cell->SetGrid(this);
    cell->SetCoords(row, col);
    uint32_t state = cell->GetState();
    if (col < fixedCols_) state |= cellstate::Fixed | cellstate::FixedCol;
    if (row < fixedRows_) state |= cellstate::Fixed | cellstate::FixedRow;
    cell->SetState(state);
    if (CGridDefaultCell* def = cell->GetDefaultCell()) cell->SetFormat(def->GetFormat());
    return cell;
}

void CGridCtrl::DestroyCell(int row, int col) {
    if (row < 0 || row >= static_cast<int>(rows_.size()) || !rows_[row]) return;
    auto& cells = rows_[row]->cells;
    if (col < 0 || col >= static_cast<int>(cells.size())) return;
    if (cells[col]) {
        SetItemState(row, col, 0);
        cells[col].reset();
    }
}

CGridCellBase* CGridCtrl::GetCell(int row, int col) const {
    if (!IsValid(row, col)) return nullptr;
    if (virtualMode_) {
        const CGridDefaultCell* def = GetDefaultCell(row < fixedRows_, col < fixedCols_);
        GridDispInfo info;
        info.from = host_ != nullptr ? host_->Handle() : 0;
        info.id = host_ != nullptr ? host_->ControlId() : 0;
        info.code = gridnotify::GetDispInfo;
        GridItem& item = info.item;
        item.row = row;
        item.col = col;
        item.mask = itemmask::All;
        item.state = 0;
        item.format = def->GetFormat();
        item.image = def->GetImage();
        item.backColor = def->GetBackClr();
        item.textColor = def->GetTextClr();
        item.data = def->GetData();
        item.font = *def->GetFont();
        item.margin = def->GetMargin();
        if (IsCellSelected(row, col)) item.state |= cellstate::Selected;
        if (row < fixedRows_) item.state |= cellstate::Fixed | cellstate::FixedRow;
        if (col < fixedCols_) item.state |= cellstate::Fixed | cellstate::FixedCol;
        if (focus_ == CCellID(row, col)) item.state |= cellstate::Focused;
        if (callback_) {
            callback_(&info, callbackData_);
        } else if (host_ != nullptr) {
            host_->SendNotify(info);
        }
        virtualCell_.SetState(item.state);
        virtualCell_.SetFormat(item.format);
        virtualCell_.SetImage(item.image);
        virtualCell_.SetBackClr(item.backColor);
        virtualCell_.SetTextClr(item.textColor);
        virtualCell_.SetData(item.data);
        virtualCell_.SetFont(item.font == *def->GetFont() ? nullptr : &item.font);
        virtualCell_.SetMargin(item.margin);
        virtualCell_.SetText(item.text);
        virtualCell_.SetGrid(const_cast<CGridCtrl*>(this));
        return &virtualCell_;
    }
    const Row* r = rows_[row].get();
    if (r == nullptr || col >= static_cast<int>(r->cells.size())) return nullptr;
    return r->cells[col].get();
}

bool CGridCtrl::SetItem(const GridItem* item) {
    if (item == nullptr || virtualMode_) return false;
    CGridCellBase* cell = GetCell(item->row, item->col);
    if (cell == nullptr) return false;
    if (item->mask & itemmask::Text) cell->SetText(item->text);
    if (item->mask & itemmask::Data) cell->SetData(item->data);
    if (item->mask & itemmask::Image) cell->SetImage(item->image);
    if (item->mask & itemmask::State) SetItemState(item->row, item->col, item->state);
    if (item->mask & itemmask::Format) cell->SetFormat(item->format);
    if (item->mask & itemmask::BackColor) cell->SetBackClr(item->backColor);
    if (item->mask & itemmask::TextColor) cell->SetTextClr(item->textColor);
    if (item->mask & itemmask::Font) cell->SetFont(&item->font);
    if (item->mask & itemmask::Margin) cell->SetMargin(item->margin);
    return true;
}

bool CGridCtrl::SetItemState(int row, int col, uint32_t state) {
    if (!IsValid(row, col)) return false;
    CGridCellBase* cell = virtualMode_ ? nullptr : GetCell(row, col);
    if (!virtualMode_ && cell == nullptr) return false;
    if (state & cellstate::Selected)
        selected_[SelKey(row, col)] = CCellID(row, col);
    else
        selected_.erase(SelKey(row, col));
    if (cell != nullptr) cell->SetState(state);
    return true;
}

uint32_t CGridCtrl::GetItemState(int row, int col) const {
    const CGridCellBase* cell = GetCell(row, col);
    return cell != nullptr ? cell->GetState() : 0;
}

std::string CGridCtrl::GetItemText(int row, int col) const {
    const CGridCellBase* cell = GetCell(row, col);
    return cell != nullptr ? cell->GetText() : std::string();
}

bool CGridCtrl::SetItemText(int row, int col, std::string_view text) {
    if (virtualMode_) return false;
    CGridCellBase* cell = GetCell(row, col);
    if (cell == nullptr) return false;
    cell->SetText(text);
    SetModified(true, row, col);
    return true;
}

bool CGridCtrl::SetCellType(int row, int col, const GridCellClass* cellClass) {
    if (virtualMode_ || !IsValid(row, col) || cellClass == nullptr || cellClass->create == nullptr)
        return false;
    Row* r = rows_[row].get();
    if (r == nullptr || col >= static_cast<int>(r->cells.size())) return false;
    std::unique_ptr<CGridCellBase> cell = cellClass->create();
    if (!cell) return false;
    if (r->cells[col]) *cell = *r->cells[col];
    cell->SetCoords(row, col);
    r->cells[col] = std::move(cell);
    return true;
}

bool CGridCtrl::SetDefaultCellType(const GridCellClass* cellClass) {
    if (cellClass == nullptr || cellClass->create == nullptr) return false;
    cellClass_ = cellClass;
    return true;
}

CGridDefaultCell* CGridCtrl::GetDefaultCell(bool fixedRow, bool fixedCol) const {
    auto* self = const_cast<CGridCtrl*>(this);
    if (fixedRow && fixedCol) return &self->defaultCellFixedBoth_;
    if (fixedRow) return &self->defaultCellFixedRow_;
    if (fixedCol) return &self->defaultCellFixedCol_;
    return &self->defaultCell_;
}

int CGridCtrl::InsertRow(std::string_view heading, int position) {
    if (position >= 0 && (position < fixedRows_ || position >= rowCount_)) return -1;
    if (position < 0) position = rowCount_;
    ResetSelectedRangeInternal();
    if (colCount_ == 0) SetColumnCount(1);
    auto row = std::make_unique<Row>();
    rows_.insert(rows_.begin() + position, nullptr);
    rowHeights_.insert(rowHeights_.begin() + position, defaultCellFixedRow_.GetHeight());
    ++rowCount_;
    if (!virtualMode_) {
        row->cells.resize(colCount_);
        for (int col = 0; col < colCount_; ++col) row->cells[col] = CreateCell(position, col);
        rows_[position] = std::move(row);
        // The heading goes into the row's first cell.
        if (CGridCellBase* first = GetCell(position, 0)) {
            first->SetText(heading);
            first->SetState(first->GetState() | cellstate::Modified);
        }
    }
    if (focus_.IsValid() && focus_.row >= position) ++focus_.row;
    if (selectionStart_.IsValid() && selectionStart_.row >= position) ++selectionStart_.row;
    topLeftValid_ = false;
    ResetScrollBars();
    SetModified();
    Refresh();
    return position;
}

bool CGridCtrl::DeleteRow(int row) {
    if (row < 0 || row >= rowCount_) return false;
    ResetSelectedRangeInternal();
    if (!virtualMode_) {
        if (!rows_[row]) return false;
        for (int col = 0; col < colCount_; ++col) DestroyCell(row, col);
    }
    rows_.erase(rows_.begin() + row);
    rowHeights_.erase(rowHeights_.begin() + row);
    --rowCount_;
    if (row < fixedRows_) --fixedRows_;
    if (focus_.row == row)
        focus_ = {};
    else if (focus_.row > row)
        --focus_.row;
    selectionStart_ = {};
    topLeftValid_ = false;
    ResetScrollBars();
    SetModified();
    Refresh();
    return true;
}

bool CGridCtrl::DeleteColumn(int col) {
    if (col < 0 || col >= colCount_) return false;
    ResetSelectedRangeInternal();
    if (!virtualMode_) {
        for (int row = 0; row < rowCount_; ++row) {
            if (!rows_[row]) return false;
            DestroyCell(row, col);
            auto& cells = rows_[row]->cells;
            if (col < static_cast<int>(cells.size())) cells.erase(cells.begin() + col);
        }
    }
    colWidths_.erase(colWidths_.begin() + col);
    --colCount_;
    if (col < fixedCols_) --fixedCols_;
    if (focus_.col == col)
        focus_ = {};
    else if (focus_.col > col)
        --focus_.col;
    selectionStart_ = {};
    topLeftValid_ = false;
    ResetScrollBars();
    SetModified(true, -1, -1);
    Refresh();
    return true;
}

bool CGridCtrl::DeleteAllItems() {
    ResetSelectedRange();
    selectionStart_ = {};
    rowHeights_.clear();
    colWidths_.clear();
    rows_.clear();
    selected_.clear();
    rowCount_ = colCount_ = fixedRows_ = fixedCols_ = 0;
    topLeftValid_ = false;
    ResetScrollBars();
    SetModified();
    Refresh();
    return true;
}

void CGridCtrl::SetModified(bool, int row, int col) {
    modified_ = true;
    if (col < 0 || col == sortColumn_) SetSortColumn(-1);
    if (row >= 0 && col >= 0) {
        if (CGridCellBase* cell = virtualMode_ ? nullptr : GetCell(row, col))
            cell->SetState(cell->GetState() | cellstate::Modified);
    }
}

void CGridCtrl::SetVirtualMode(bool on) {
    if (on == virtualMode_) return;
    DeleteAllItems();
    virtualMode_ = on;
}

intptr_t CGridCtrl::SendMessageToParent(int row, int col, int code) {
    if (host_ == nullptr) return 0;
    GridNotify record;
    record.from = host_->Handle();
    record.id = host_->ControlId();
    record.code = code;
    record.row = row;
    record.col = col;
    return host_->SendNotify(record);
}

intptr_t CGridCtrl::SendCacheHintToParent(const CCellRange& range) {
    if (host_ == nullptr) return 0;
    GridCacheHint record;
    record.from = host_->Handle();
    record.id = host_->ControlId();
    record.code = gridnotify::CacheHint;
    record.range = range;
    return host_->SendNotify(record);
}

// --- Appearance --------------------------------------------------------------------------

void CGridCtrl::SetGridLines(int mode) {
    gridLines_ = mode;
    Refresh();
}

void CGridCtrl::SetRedraw(bool allow, bool resetScrollBars) {
    allowDraw_ = allow;
    if (allow) {
        if (resetScrollBars) ResetScrollBars();
        Refresh();
    }
}

void CGridCtrl::SetFont(const LOGFONT& font) {
    for (CGridDefaultCell* cell :
         {&defaultCell_, &defaultCellFixedCol_, &defaultCellFixedRow_, &defaultCellFixedBoth_})
        cell->SetFont(&font);
    // The in-place editors take the window's font.
    if (window_ != nullptr) window_->SetFont(CachedFont(font));
    Refresh();
}

const LOGFONT* CGridCtrl::GetFont() const {
    return defaultCell_.GetFont();
}

void CGridCtrl::OnSysColorChange() {
    const COLORREF windowText = GetSysColor(SysColor::WindowText);
    const COLORREF window = GetSysColor(SysColor::Window);
    const COLORREF face = GetSysColor(SysColor::Face3D);
    const COLORREF shadow = GetSysColor(SysColor::Shadow3D);
    for (CGridDefaultCell* cell :
         {&defaultCell_, &defaultCellFixedCol_, &defaultCellFixedRow_, &defaultCellFixedBoth_}) {
        if (cell->GetTextClr() == sysWindowText_) cell->SetTextClr(windowText);
        if (cell->GetBackClr() == sysWindow_) cell->SetBackClr(window);
    }
    if (gridBkColor_ == sys3DShadow_) gridBkColor_ = shadow;
    sysWindowText_ = windowText;
    sysWindow_ = window;
    sys3DFace_ = face;
    sys3DShadow_ = shadow;
    Refresh();
}

}  // namespace controls
