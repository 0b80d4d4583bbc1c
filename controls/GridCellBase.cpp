#include "controls/GridCellBase.h"

#include <algorithm>
#include <optional>

#include <wx/dc.h>
#include <wx/imaglist.h>

#include "controls/GridCtrl.h"
#include "controls/GridFont.h"
#include "controls/GridSysColors.h"
#include "controls/GridText.h"

namespace controls {

using platform::ui::DrawContext;
using platform::ui::Point;
using platform::ui::Rect;
using platform::ui::Size;

namespace {

const std::string& EmptyText() {
    static const std::string empty;
    return empty;
}

bool IsVertical(const LOGFONT* font) {
    return font != nullptr && (font->lfEscapement == 900 || font->lfEscapement == -900);
}

// A horizontal or vertical run of pixels, right and bottom inclusive.
void Pixels(DrawContext& dc, int x1, int y1, int x2, int y2, COLORREF colour) {
    dc.FillSolidRect({std::min(x1, x2), std::min(y1, y2), std::max(x1, x2) + 1, std::max(y1, y2) + 1},
                     colour);
}

// Raised edges of a header cell: light along the top and left, dark along the
// right and bottom (rect inclusive).
void RaisedEdges(DrawContext& dc, const Rect& r) {
    const COLORREF light = GetSysColor(SysColor::Highlight3D);
    const COLORREF dark = GetSysColor(SysColor::DkShadow3D);
    Pixels(dc, r.left, r.top, r.right - 1, r.top, light);
    Pixels(dc, r.left, r.top, r.left, r.bottom - 1, light);
    Pixels(dc, r.right, r.top, r.right, r.bottom, dark);
    Pixels(dc, r.left, r.bottom, r.right, r.bottom, dark);
}

}  // namespace

const std::string& CGridCellBase::GetText() const {
    return EmptyText();
}

CGridDefaultCell* CGridCellBase::GetDefaultCell() const {
    CGridCtrl* grid = GetGrid();
    if (grid == nullptr) return nullptr;
    const uint32_t state = GetState();
    return grid->GetDefaultCell((state & cellstate::FixedRow) != 0, (state & cellstate::FixedCol) != 0);
}

CGridCellBase& CGridCellBase::operator=(const CGridCellBase& other) {
    if (this == &other) return *this;
    SetGrid(other.GetGrid());
    SetText(other.GetText());
    SetImage(other.GetImage());
    SetData(other.GetData());
    SetState(other.GetState());
    SetFormat(other.GetFormat());
    SetTextClr(other.GetTextClr());
    SetBackClr(other.GetBackClr());
    SetFont(other.IsDefaultFont() ? nullptr : other.GetFont());
    SetMargin(other.GetMargin());
    return *this;
}

bool CGridCellBase::ImageSize(Size& size) const {
    CGridCtrl* grid = GetGrid();
    const wxImageList* images = grid != nullptr ? grid->GetImageList() : nullptr;
    const int image = GetImage();
    if (images == nullptr || image < 0 || image >= images->GetImageCount()) return false;
    int w = 0;
    int h = 0;
    if (!images->GetSize(image, w, h)) return false;
    size = {w, h};
    return true;
}

bool CGridCellBase::GetTextRect(Rect& rect) {
    Size image;
    if (ImageSize(image)) rect.left += image.cx + 1 + static_cast<int>(GetMargin());
    return true;
}

void CGridCellBase::DrawSortMark(DrawContext& dc, int row, int col, Rect& rect) {
    CGridCtrl* grid = GetGrid();
    if (row != 0 || grid == nullptr || col != grid->GetSortColumn()) return;
    int size = dc.TextExtent("M").cy - 4;
    size = std::min(size, rect.Height() - 4);
    if (size <= 0 || size + rect.left >= rect.right) return;
    const bool vertical = IsVertical(GetFont());
    const int top = rect.bottom - size - 2;
    int left = rect.right - size;
    if (vertical) {
        left = (rect.left + rect.right - size) / 2;
    } else {
        rect.right -= size;
    }
    const bool ascending = grid->GetSortAscending();
    auto triangle = [&](int dx, int dy) -> std::vector<Point> {
        const int x = left + dx;
        const int y = top + dy;
        if (ascending) return {{x + size / 2, y}, {x + size, y + size}, {x, y + size}, {x + size / 2, y}};
        return {{x, y}, {x + size, y}, {x + size / 2, y + size}, {x, y}};
    };
    dc.SetPen(GetSysColor(SysColor::Highlight3D), 1);
    dc.Polyline(triangle(1, 1));
    dc.SetPen(GetSysColor(SysColor::Shadow3D), 1);
    dc.Polyline(triangle(0, 0));
}

void CGridCellBase::DrawCellText(DrawContext& dc, const Rect& rect, uint32_t format,
                                 const wxFont* cachedFont) {
    const std::string& text = GetText();
    if (text.empty()) return;
    if (IsVertical(GetFont())) {
        // Vertical text reads upwards from the bottom, centred across the cell.
        const Size extent = dc.TextExtent(text);
        const int x = rect.left + (rect.Width() - extent.cy) / 2;
        dc.TextOutRotated(x, rect.bottom, text, 90);
        return;
    }
    DrawFormattedText(dc, text, rect, format | textformat::NoPrefix, cachedFont);
}

bool CGridCellBase::Draw(DrawContext& dc, int row, int col, Rect rect, bool eraseBkgnd) {
    CGridCtrl* grid = GetGrid();
    if (grid == nullptr || rect.Width() <= 0 || rect.Height() <= 0) return false;
    // The context's font, colours, pen and brush are left as the cell set them:
    // setting them back after every cell would double the cost of a page.
    CGridDefaultCell* def = GetDefaultCell();
    if (def == nullptr) return false;

    COLORREF textClr = GetTextClr() == CLR_DEFAULT ? def->GetTextClr() : GetTextClr();
    COLORREF backClr = GetBackClr() == CLR_DEFAULT ? def->GetBackClr() : GetBackClr();
    if (GetBackClr() != CLR_DEFAULT) eraseBkgnd = true;

    const Rect grown{rect.left, rect.top, rect.right + 1, rect.bottom + 1};
    if (!IsFocused() && !IsDropHighlighted()) {
        if (IsSelected()) {
            FastFill(dc, grown, GetSysColor(SysColor::Highlight));
            textClr = GetSysColor(SysColor::HighlightText);
        } else if (eraseBkgnd) {
            FastFill(dc, grown, backClr);
        }
    } else {
        if (IsSelected()) {
            backClr = GetSysColor(SysColor::Highlight);
            textClr = GetSysColor(SysColor::HighlightText);
            eraseBkgnd = true;
        }
        if (eraseBkgnd) FastFill(dc, grown, backClr);
        const bool lines = grid->GetGridLines() != gridlines::None;
        Rect frame = lines ? rect : grown;
        if (grid->GetFrameFocusCell())
            dc.FrameRect({frame.left, frame.top, frame.right, frame.bottom}, textClr);
    }

    if (IsFixed() && grid->GetGridLines() != gridlines::None) {
        const CCellID focus = grid->GetFocusCell();
        const bool header =
            grid->GetTrackFocusCell() && focus.IsValid() && (focus.row == row || focus.col == col);
        if (!header) {
            RaisedEdges(dc, rect);
        } else {
            dc.Draw3dRect(grown, GetSysColor(SysColor::DkShadow3D), GetSysColor(SysColor::Highlight3D));
        }
        rect = rect.Deflate(1, 1, 1, 1);
    }

    UseTextColour(dc.Wx(), textClr);
    const wxFont* font = GetFontObject();
    if (font != nullptr) UseFont(dc.Wx(), *font);

    const int margin = static_cast<int>(GetMargin());
    rect = rect.Deflate(margin, margin, margin, margin);
    rect.right += 1;
    rect.bottom += 1;

    Size image;
    if (ImageSize(image) && image.cx <= rect.Width() && image.cy <= rect.Height()) {
        const wxImageList* images = grid->GetImageList();
        const_cast<wxImageList*>(images)->Draw(GetImage(), dc.Wx(), rect.left, rect.top,
                                               wxIMAGELIST_DRAW_NORMAL);
    }

    DrawSortMark(dc, row, col, rect);

    GetTextRect(rect);
    rect.right += 1;
    rect.bottom += 1;
    DrawCellText(dc, rect, GetFormat(), font);
    return true;
}

Size CGridCellBase::GetTextExtent(std::string_view text, DrawContext* dc) {
    CGridDefaultCell* def = GetDefaultCell();
    if (def == nullptr) return {0, 0};
    CGridCtrl* grid = GetGrid();
    GridTextMetrics* metrics = grid != nullptr ? grid->GetTextMetrics() : nullptr;
    if (text.empty() || (dc == nullptr && metrics == nullptr)) return {def->GetWidth(), def->GetHeight()};

    const LOGFONT* font = GetFont();
    const LOGFONT lf = font != nullptr ? *font : DefaultGridFont();
    std::optional<wxDCFontChanger> fontChange;
    if (dc != nullptr) {
        if (const wxFont* object = GetFontObject()) fontChange.emplace(dc->Wx(), *object);
    }
    auto measure = [&](std::string_view s) -> Size {
        return dc != nullptr ? dc->TextExtent(s) : metrics->TextExtent(s, lf);
    };

    Size size;
    const uint32_t format = GetFormat();
    if ((format & textformat::WordBreak) && !(format & textformat::SingleLine)) {
        int widest = 0;
        int lines = 0;
        size_t start = 0;
        while (true) {
            const size_t end = text.find('\n', start);
            widest = std::max(
                widest, measure(text.substr(start, end == std::string_view::npos ? end : end - start)).cx);
            ++lines;
            if (end == std::string_view::npos) break;
            start = end + 1;
        }
        const int lineHeight = measure({}).cy;
        const auto broken = BreakLines(text, widest + 1, [&](std::string_view s) { return measure(s).cx; });
        size = {widest, lineHeight * static_cast<int>(broken.size())};
    } else {
        size = measure(text);
    }
    const int margin = static_cast<int>(GetMargin());
    size.cx += 2 * margin;
    size.cy += 2 * margin;
    if (IsVertical(font)) {
        std::swap(size.cx, size.cy);
        size.cy += 4 * margin;
    }
    return size;
}

Size CGridCellBase::GetCellExtent(DrawContext* dc) {
    Size size = GetTextExtent(GetText(), dc);
    const int margin = static_cast<int>(GetMargin());
    Size image;
    if (ImageSize(image)) {
        size.cx += image.cx + (size.cx > 2 * margin ? margin : 0);
        size.cy = std::max(size.cy, image.cy + 2 * margin);
    }
    size.cx += 1;
    size.cy += 1;
    if (IsFixed()) {
        size.cx += 1;
        size.cy += 1;
    }
    return size;
}

bool CGridCellBase::PrintCell(DrawContext& dc, int row, int col, Rect rect) {
    (void)row;
    (void)col;
    CGridCtrl* grid = GetGrid();
    if (grid == nullptr || rect.Width() <= 0 || rect.Height() <= 0) return false;
    // The context's font, colours, pen and brush are left as the cell set them:
    // setting them back after every cell would double the cost of a page.
    CGridDefaultCell* def = GetDefaultCell();
    if (def == nullptr) return false;

    COLORREF textClr = 0;
    std::optional<COLORREF> backClr;
    if (grid->GetPrintColours()) {
        if (IsFixed()) {
            backClr = GetBackClr() != CLR_DEFAULT ? GetBackClr() : def->GetBackClr();
        } else if (GetBackClr() != CLR_DEFAULT && GetBackClr() != def->GetBackClr()) {
            backClr = GetBackClr();
        }
        textClr = GetTextClr() != CLR_DEFAULT ? GetTextClr() : def->GetTextClr();
        const Rect grown{rect.left, rect.top, rect.right + 1, rect.bottom + 1};
        if (grid->IsPrintMonochrome() && !backClr) {
            // Grey levels of a two-colour device, each channel in its own byte.
            const auto r = static_cast<uint8_t>(platform::GetRValue(textClr) * 0.3);
            const auto g = static_cast<uint8_t>(platform::GetGValue(textClr) * 0.59);
            const auto b = static_cast<uint8_t>(platform::GetBValue(textClr) * 0.11);
            textClr = platform::RGB(r, g, b);
        } else if (backClr) {
            dc.FillSolidRect(grown, *backClr);
        }
    }
    dc.SetTextColor(textClr);
    if (const wxFont* font = GetFontObject()) dc.SetFont(*font);

    if (IsFixed() && grid->GetGridLines() != gridlines::None) {
        RaisedEdges(dc, rect);
        rect = rect.Deflate(1, 1, 1, 1);
    }
    const int margin = static_cast<int>(GetMargin());
    rect.left += margin;
    rect.right -= margin;
    Size image;
    if (ImageSize(image)) {
        const_cast<wxImageList*>(grid->GetImageList())
            ->Draw(GetImage(), dc.Wx(), rect.left, rect.top, wxIMAGELIST_DRAW_NORMAL);
        rect.left += margin + image.cx;
    }
    DrawCellText(dc, {rect.left, rect.top, rect.right + 1, rect.bottom + 1}, GetFormat(), nullptr);
    return true;
}

bool CGridCellBase::OnSetCursor() {
    if (CGridCtrl* grid = GetGrid()) grid->SetGridCursor(GridCursor::Arrow);
    return true;
}

}  // namespace controls
