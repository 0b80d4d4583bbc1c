#pragma once
// A grid's default cell: the attributes that cells without their own use, and
// the grid's default row height and column width, measured from its font.

#include <optional>

#include <wx/font.h>

#include "controls/GridCell.h"

namespace controls {

class CGridDefaultCell : public CGridCell {
  public:
    static constexpr const char* kClassName = "CGridDefaultCell";
    static constexpr uint32_t kDefaultFormat =
        textformat::VCenter | textformat::SingleLine | textformat::NoPrefix | textformat::EndEllipsis;

    CGridDefaultCell();
    using CGridCellBase::operator=;

    const GridCellClass* GetRuntimeClass() const override { return CellClassOf<CGridDefaultCell>(); }

    // A default cell keeps no data and no state of its own and is always read-only.
    void SetData(intptr_t) override {}
    void SetState(uint32_t) override {}
    uint32_t GetState() const override { return CGridCell::GetState() | cellstate::ReadOnly; }
    // Applies the font and measures margin, width and height with it.
    void SetFont(const LOGFONT* font) override;
    const LOGFONT* GetFont() const override { return &font_; }
    const wxFont* GetFontObject() const override;
    uint32_t GetFormat() const override { return format_; }
    void SetFormat(uint32_t format) override { format_ = format; }
    uint32_t GetMargin() const override { return margin_; }
    void SetMargin(uint32_t margin) override { margin_ = margin; }
    bool IsDefaultFont() const override { return false; }

    intptr_t GetExtra() const { return extra_; }
    void SetExtra(intptr_t value) { extra_ = value; }
    int GetWidth() const { return width_; }
    int GetHeight() const { return height_; }
    void SetWidth(int width) { width_ = width; }
    void SetHeight(int height) { height_ = height; }

  private:
    LOGFONT font_;
    mutable const wxFont* fontObject_ = nullptr;  // from the font cache, found once
    uint32_t format_ = kDefaultFormat;
    uint32_t margin_ = 3;
    int width_ = 30;
    int height_ = 10;
    intptr_t extra_ = 0;
};

}  // namespace controls
