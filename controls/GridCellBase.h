#pragma once
// The interface through which the grid draws, measures, prints and edits a
// cell. Cells draw into the context the grid hands them and own no window but
// the in-place editor that they open while they are being edited.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "controls/GridDefines.h"
#include "platform/ui/DrawContext.h"
#include "platform/ui/Geometry.h"

class wxFont;

namespace controls {

class CGridCtrl;
class CGridCellBase;
class CGridDefaultCell;
class GridEditor;

// Names a cell class so that the grid can create cells of it.
struct GridCellClass {
    const char* name = "";
    std::unique_ptr<CGridCellBase> (*create)() = nullptr;
};

template <class T>
const GridCellClass* CellClassOf();

class CGridCellBase {
  public:
    CGridCellBase() = default;
    CGridCellBase(const CGridCellBase&) = delete;
    virtual ~CGridCellBase() = default;

    virtual const GridCellClass* GetRuntimeClass() const = 0;

    virtual void SetText(std::string_view) {}
    virtual void SetImage(int) {}
    virtual void SetData(intptr_t) {}
    virtual void SetState(uint32_t state) { state_ = state; }
    virtual void SetFormat(uint32_t) {}
    virtual void SetTextClr(COLORREF) {}
    virtual void SetBackClr(COLORREF) {}
    virtual void SetFont(const LOGFONT*) {}
    virtual void SetMargin(uint32_t) {}
    virtual void SetGrid(CGridCtrl*) {}
    virtual void SetCoords(int, int) {}
    virtual void SetTipText(std::string_view text) { tipText_ = text; }

    virtual const std::string& GetText() const;
    virtual const std::string& GetTipText() const { return tipText_; }
    virtual int GetImage() const { return 0; }
    virtual intptr_t GetData() const { return 0; }
    virtual uint32_t GetState() const { return state_; }
    virtual uint32_t GetFormat() const { return 0; }
    virtual COLORREF GetTextClr() const { return 0; }
    virtual COLORREF GetBackClr() const { return 0; }
    virtual const LOGFONT* GetFont() const { return nullptr; }
    // The font to draw with (GUI thread); null for a cell that has none.
    virtual const wxFont* GetFontObject() const { return nullptr; }
    virtual CGridCtrl* GetGrid() const { return nullptr; }
    virtual GridEditor* GetEditWnd() const { return nullptr; }
    virtual uint32_t GetMargin() const { return 0; }
    virtual CGridDefaultCell* GetDefaultCell() const;
    virtual bool IsDefaultFont() const { return false; }
    virtual bool IsEditing() const { return false; }

    virtual bool IsFocused() const { return (GetState() & cellstate::Focused) != 0; }
    virtual bool IsFixed() const { return (GetState() & cellstate::Fixed) != 0; }
    virtual bool IsFixedCol() const { return (GetState() & cellstate::FixedCol) != 0; }
    virtual bool IsFixedRow() const { return (GetState() & cellstate::FixedRow) != 0; }
    virtual bool IsSelected() const { return (GetState() & cellstate::Selected) != 0; }
    virtual bool IsReadOnly() const { return (GetState() & cellstate::ReadOnly) != 0; }
    virtual bool IsModified() const { return (GetState() & cellstate::Modified) != 0; }
    virtual bool IsDropHighlighted() const { return (GetState() & cellstate::DropHighlighted) != 0; }

    // Copies the attributes of another cell through the getters and setters;
    // the tip text stays as it was.
    CGridCellBase& operator=(const CGridCellBase& other);

    virtual void Reset() { state_ = 0; }

    // rect: left and top inclusive, right and bottom the last pixel inside.
    virtual bool Draw(platform::ui::DrawContext& dc, int row, int col, platform::ui::Rect rect,
                      bool eraseBkgnd = true);
    virtual bool GetTextRect(platform::ui::Rect& rect);
    virtual bool GetTipTextRect(platform::ui::Rect& rect) { return GetTextRect(rect); }
    // Measures with the context's font when one is given, else through the
    // grid's text metrics.
    virtual platform::ui::Size GetTextExtent(std::string_view text, platform::ui::DrawContext* dc = nullptr);
    virtual platform::ui::Size GetCellExtent(platform::ui::DrawContext* dc = nullptr);

    virtual bool Edit(int, int, platform::ui::Rect, platform::ui::Point, int, unsigned) { return false; }
    virtual bool ValidateEdit(std::string_view) { return true; }
    virtual void EndEdit() {}
    virtual bool PrintCell(platform::ui::DrawContext& dc, int row, int col, platform::ui::Rect rect);
    virtual void OnEndEdit() {}

    virtual void OnMouseEnter() {}
    virtual void OnMouseOver() {}
    virtual void OnMouseLeave() {}
    virtual void OnClick(platform::ui::Point) {}
    virtual void OnClickDown(platform::ui::Point) {}
    virtual void OnRClick(platform::ui::Point) {}
    virtual void OnDblClick(platform::ui::Point) {}
    virtual bool OnSetCursor();

  protected:
    // The image's size when the grid's image list knows the cell's image.
    bool ImageSize(platform::ui::Size& size) const;
    void DrawSortMark(platform::ui::DrawContext& dc, int row, int col, platform::ui::Rect& rect);
    // cachedFont: the font object in use when it comes from the program's font cache.
    void DrawCellText(platform::ui::DrawContext& dc, const platform::ui::Rect& rect, uint32_t format,
                      const wxFont* cachedFont);

  private:
    uint32_t state_ = 0;
    std::string tipText_;
};

template <class T>
const GridCellClass* CellClassOf() {
    static const GridCellClass cls{T::kClassName,
                                   []() -> std::unique_ptr<CGridCellBase> { return std::make_unique<T>(); }};
    return &cls;
}

}  // namespace controls
