#include "controls/GridCellCheck.h"

#include <algorithm>

#include "controls/GridCtrl.h"
#include "controls/GridSysColors.h"

namespace controls {

using platform::ui::Point;
using platform::ui::Rect;
using platform::ui::Size;

Rect CGridCellCheck::GetCheckPlacement(const Rect& cellRect) const {
    const int side = GetSystemMetric(SysMetric::HScrollArrowWidth);
    const int margin = static_cast<int>(GetMargin());
    const int left = cellRect.left + margin;
    int top = cellRect.top + margin;
    if (cellRect.Height() < side + 2 * margin) top = cellRect.top + (cellRect.Height() - side) / 2;
    return {left, top, left + side, top + side};
}

bool CGridCellCheck::Draw(platform::ui::DrawContext& dc, int row, int col, Rect rect, bool eraseBkgnd) {
    const bool drawn = CGridCell::Draw(dc, row, col, rect, eraseBkgnd);
    if (!drawn) return false;
    const Rect box = GetCheckPlacement({rect.left, rect.top, rect.right + 1, rect.bottom + 1});
    dc.FillSolidRect(box, GetSysColor(SysColor::Window));
    dc.Draw3dRect(box, GetSysColor(SysColor::Shadow3D), GetSysColor(SysColor::Highlight3D));
    dc.Draw3dRect(box.Deflate(1, 1, 1, 1), GetSysColor(SysColor::DkShadow3D), GetSysColor(SysColor::Face3D));
    if (checked_) {
        const int w = box.Width();
        const int h = box.Height();
        dc.SetPen(GetSysColor(SysColor::WindowText), std::max(2, w / 8));
        dc.Polyline({{box.left + w / 4, box.top + h / 2},
                     {box.left + w * 2 / 5, box.top + h * 7 / 10},
                     {box.left + w * 3 / 4, box.top + h / 4}});
    }
    return true;
}

Size CGridCellCheck::GetCellExtent(platform::ui::DrawContext* dc) {
    const int side = GetSystemMetric(SysMetric::HScrollArrowWidth);
    const int margin = static_cast<int>(GetMargin());
    Size size = CGridCell::GetCellExtent(dc);
    size.cx += side + 2 * margin;
    size.cy = std::max(size.cy, side + 2 * margin);
    return size;
}

void CGridCellCheck::OnClick(Point point) {
    CGridCtrl* grid = GetGrid();
    if (grid == nullptr || !grid->IsEditable()) return;
    const CCellID cell = grid->GetCellFromPt(point);
    if (cell.row < 0 || cell.row >= grid->GetRowCount() || cell.col < 0 || cell.col >= grid->GetColumnCount())
        return;
    if (GetState() & cellstate::ReadOnly) return;
    Rect rect;
    if (!grid->GetCellRect(cell.row, cell.col, rect)) return;
    if (!GetCheckPlacement({rect.left, rect.top, rect.right + 1, rect.bottom + 1}).Contains(point)) return;
    checked_ = !checked_;
    grid->InvalidateCellRect(cell.row, cell.col);
    grid->SendMessageToParent(cell.row, cell.col, gridnotify::CheckChanged);
}

}  // namespace controls
