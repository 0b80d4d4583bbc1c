#include "controls/GridCellCombo.h"

#include <algorithm>

#include "controls/GridCtrl.h"
#include "controls/GridSysColors.h"

namespace controls {

using platform::ui::Point;
using platform::ui::Rect;
using platform::ui::Size;

GridEditor* CGridCellCombo::GetEditWnd() const {
    if (style_ == kDropList) return nullptr;
    return CGridCell::GetEditWnd();
}

bool CGridCellCombo::Draw(platform::ui::DrawContext& dc, int row, int col, Rect rect, bool eraseBkgnd) {
    CGridCtrl* grid = GetGrid();
    const int buttonWidth = GetSystemMetric(SysMetric::VScrollWidth);
    const int buttonHeight = GetSystemMetric(SysMetric::HScrollHeight);
    const bool button = grid != nullptr && grid->IsEditable() && !IsReadOnly() && !IsEditing() &&
                        rect.Width() > buttonWidth && rect.Height() > buttonHeight;
    // While the editor is open it shows the text; the cell leaves it out.
    const std::string text = GetText();
    if (IsEditing()) SetText("");
    bool drawn;
    if (button) {
        Rect textRect = rect;
        textRect.right -= buttonWidth;
        drawn = CGridCell::Draw(dc, row, col, textRect, eraseBkgnd);
        if (drawn) {
            const Rect column{rect.right - buttonWidth + 1, rect.top, rect.right + 1, rect.bottom + 1};
            const COLORREF back = GetBackClr() != CLR_DEFAULT   ? GetBackClr()
                                  : GetDefaultCell() != nullptr ? GetDefaultCell()->GetBackClr()
                                                                : GetSysColor(SysColor::Window);
            dc.FillSolidRect(column, IsSelected() ? GetSysColor(SysColor::Highlight) : back);
            const Rect box{column.left, column.top, column.right, column.top + buttonHeight};
            dc.FillSolidRect(box, GetSysColor(SysColor::Face3D));
            dc.Draw3dRect(box, GetSysColor(SysColor::Highlight3D), GetSysColor(SysColor::DkShadow3D));
            const int cx = (box.left + box.right) / 2;
            const int cy = (box.top + box.bottom) / 2;
            const int half = std::max(2, box.Width() / 4);
            dc.SetPen(GetSysColor(SysColor::WindowText), 1);
            dc.SetBrush(GetSysColor(SysColor::WindowText));
            dc.Polygon({{cx - half, cy - half / 2}, {cx + half, cy - half / 2}, {cx, cy + half / 2 + 1}});
        }
    } else {
        drawn = CGridCell::Draw(dc, row, col, rect, eraseBkgnd);
    }
    if (IsEditing()) SetText(text);
    return drawn;
}

Size CGridCellCombo::GetCellExtent(platform::ui::DrawContext* dc) {
    Size size = CGridCell::GetCellExtent(dc);
    size.cx += GetSystemMetric(SysMetric::VScrollWidth);
    size.cy = std::max(size.cy, GetSystemMetric(SysMetric::HScrollHeight));
    return size;
}

bool CGridCellCombo::Edit(int row, int col, Rect rect, Point, int id, unsigned ch) {
    if (IsEditing()) {
        if (GridEditor* editor = CGridCell::GetEditWnd()) editor->SendChar(ch);
        return true;
    }
    CGridCtrl* grid = GetGrid();
    EditorRequest request;
    request.rect = rect;
    request.id = id;
    request.row = row;
    request.col = col;
    request.text = GetText();
    request.firstChar = ch;
    request.options = options_;
    request.comboStyle = style_;
    request.textColor = GetTextClr();
    request.backColor = GetBackClr();
    SetEditing(true, nullptr);
    GridEditor* editor = grid != nullptr ? grid->CreateInPlaceEditor(request, true) : nullptr;
    SetEditing(editor != nullptr, editor);
    return true;
}

void CGridCellCombo::EndEdit() {
    if (GridEditor* editor = CGridCell::GetEditWnd()) editor->EndEdit();
}

}  // namespace controls
