#pragma once
// A grid cell edited with a drop-down list of option texts; a drop-down style
// also takes texts that are not among the options.

#include <string>
#include <vector>

#include "controls/GridCell.h"

namespace controls {

class CGridCellCombo : public CGridCell {
  public:
    static constexpr const char* kClassName = "CGridCellCombo";
    static constexpr int kDropDown = 2;  // an edit field and a list
    static constexpr int kDropList = 3;  // the list only

    CGridCellCombo() = default;
    using CGridCellBase::operator=;
    const GridCellClass* GetRuntimeClass() const override { return CellClassOf<CGridCellCombo>(); }

    void SetOptions(const std::vector<std::string>& options) { options_ = options; }
    const std::vector<std::string>& GetOptions() const { return options_; }
    void SetStyle(int style) { style_ = style; }
    int GetStyle() const { return style_; }

    // The open editor's edit field: none without an editor or for a drop-list.
    GridEditor* GetEditWnd() const override;
    bool Draw(platform::ui::DrawContext& dc, int row, int col, platform::ui::Rect rect,
              bool eraseBkgnd = true) override;
    platform::ui::Size GetCellExtent(platform::ui::DrawContext* dc = nullptr) override;
    bool Edit(int row, int col, platform::ui::Rect rect, platform::ui::Point point, int id,
              unsigned ch) override;
    void EndEdit() override;

  private:
    std::vector<std::string> options_;
    int style_ = kDropDown;
};

}  // namespace controls
