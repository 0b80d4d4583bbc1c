#pragma once
// The ordinary grid cell: text, data word, image, format, colours, font and
// margin of its own, each falling back to the grid's default cell when unset.

#include <memory>

#include "controls/GridCellBase.h"

namespace controls {

class CGridCell : public CGridCellBase {
  public:
    static constexpr const char* kClassName = "CGridCell";

    CGridCell() = default;
    ~CGridCell() override;
    using CGridCellBase::operator=;
    CGridCell& operator=(const CGridCell&) = delete;

    const GridCellClass* GetRuntimeClass() const override { return CellClassOf<CGridCell>(); }

    void SetText(std::string_view text) override { text_ = text; }
    void SetImage(int image) override { image_ = image; }
    void SetData(intptr_t data) override { data_ = data; }
    void SetFormat(uint32_t format) override { format_ = format; }
    void SetTextClr(COLORREF colour) override { textColor_ = colour; }
    void SetBackClr(COLORREF colour) override { backColor_ = colour; }
    void SetFont(const LOGFONT* font) override;
    void SetMargin(uint32_t margin) override { margin_ = margin; }
    void SetGrid(CGridCtrl* grid) override { grid_ = grid; }

    const std::string& GetText() const override { return text_; }
    int GetImage() const override { return image_; }
    intptr_t GetData() const override { return data_; }
    uint32_t GetFormat() const override;
    COLORREF GetTextClr() const override { return textColor_; }
    COLORREF GetBackClr() const override { return backColor_; }
    const LOGFONT* GetFont() const override;
    const wxFont* GetFontObject() const override;
    CGridCtrl* GetGrid() const override { return grid_; }
    GridEditor* GetEditWnd() const override { return editWnd_; }
    uint32_t GetMargin() const override;
    bool IsDefaultFont() const override { return font_ == nullptr; }
    bool IsEditing() const override { return editing_; }

    void Reset() override;
    bool Edit(int row, int col, platform::ui::Rect rect, platform::ui::Point point, int id,
              unsigned ch) override;
    void EndEdit() override;
    void OnEndEdit() override;

  protected:
    // For editors of derived cells.
    void SetEditing(bool editing, GridEditor* editor) {
        editing_ = editing;
        editWnd_ = editor;
    }

  private:
    std::string text_;
    intptr_t data_ = 0;
    int image_ = -1;
    uint32_t format_ = 0xFFFFFFFF;
    COLORREF textColor_ = CLR_DEFAULT;
    COLORREF backColor_ = CLR_DEFAULT;
    std::unique_ptr<LOGFONT> font_;
    mutable const wxFont* fontObject_ = nullptr;  // from the font cache, found once
    uint32_t margin_ = 0xFFFFFFFF;
    bool editing_ = false;
    CGridCtrl* grid_ = nullptr;
    GridEditor* editWnd_ = nullptr;
};

}  // namespace controls
