#pragma once
// A grid cell with a check box: a click on the box toggles it and tells the
// grid's holder (check-changed notification).

#include "controls/GridCell.h"

namespace controls {

class CGridCellCheck : public CGridCell {
  public:
    static constexpr const char* kClassName = "CGridCellCheck";

    CGridCellCheck() = default;
    using CGridCellBase::operator=;
    const GridCellClass* GetRuntimeClass() const override { return CellClassOf<CGridCellCheck>(); }

    bool SetCheck(bool checked = true) {
        const bool old = checked_;
        checked_ = checked;
        return old;
    }
    bool GetCheck() const { return checked_; }

    // The check box square inside a cell rectangle (right and bottom exclusive).
    platform::ui::Rect GetCheckPlacement(const platform::ui::Rect& cellRect) const;

    bool Draw(platform::ui::DrawContext& dc, int row, int col, platform::ui::Rect rect,
              bool eraseBkgnd = true) override;
    // No title tip for a check cell.
    bool GetTextRect(platform::ui::Rect&) override { return false; }
    platform::ui::Size GetCellExtent(platform::ui::DrawContext* dc = nullptr) override;
    void OnClick(platform::ui::Point point) override;

  private:
    bool checked_ = false;
};

}  // namespace controls
