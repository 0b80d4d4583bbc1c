#include "controls/GridDefaultCell.h"

#include "controls/GridCtrl.h"
#include "controls/GridFont.h"
#include "controls/GridTextMetrics.h"

namespace controls {

CGridDefaultCell::CGridDefaultCell() {
    const LOGFONT font = DefaultGridFont();
    CGridDefaultCell::SetFont(&font);
}

void CGridDefaultCell::SetFont(const LOGFONT* font) {
    if (font == nullptr) return;
    font_ = *font;
    fontObject_ = nullptr;
    CGridCtrl* grid = GetGrid();
    GridTextMetrics* metrics = grid != nullptr ? grid->GetTextMetrics() : ScreenTextMetrics();
    if (metrics == nullptr) {
        margin_ = 3;
        width_ = 40;
        height_ = 16;
        return;
    }
    margin_ = static_cast<uint32_t>(metrics->TextExtent(" ", font_).cx);
    const platform::ui::Size extent = metrics->TextExtent(" XXXXXXXXXXXX ", font_);
    width_ = extent.cx;
    height_ = extent.cy * 3 / 2;
}

const wxFont* CGridDefaultCell::GetFontObject() const {
    if (fontObject_ == nullptr) fontObject_ = &CachedFont(font_);
    return fontObject_;
}

}  // namespace controls
