#include "controls/GridCell.h"

#include "controls/GridCtrl.h"
#include "controls/GridDefaultCell.h"
#include "controls/GridFont.h"

namespace controls {

CGridCell::~CGridCell() = default;

void CGridCell::SetFont(const LOGFONT* font) {
    fontObject_ = nullptr;
    if (font == nullptr) {
        font_.reset();
        return;
    }
    if (!font_) font_ = std::make_unique<LOGFONT>();
    *font_ = *font;
}

uint32_t CGridCell::GetFormat() const {
    if (format_ != 0xFFFFFFFF) return format_;
    const CGridDefaultCell* def = GetDefaultCell();
    return def != nullptr ? def->GetFormat() : 0;
}

uint32_t CGridCell::GetMargin() const {
    if (margin_ != 0xFFFFFFFF) return margin_;
    const CGridDefaultCell* def = GetDefaultCell();
    return def != nullptr ? def->GetMargin() : 0;
}

const LOGFONT* CGridCell::GetFont() const {
    if (font_) return font_.get();
    const CGridDefaultCell* def = GetDefaultCell();
    return def != nullptr ? def->GetFont() : nullptr;
}

const wxFont* CGridCell::GetFontObject() const {
    if (font_) {
        if (fontObject_ == nullptr) fontObject_ = &CachedFont(*font_);
        return fontObject_;
    }
    const CGridDefaultCell* def = GetDefaultCell();
    return def != nullptr ? def->GetFontObject() : nullptr;
}

void CGridCell::Reset() {
    CGridCellBase::Reset();
    text_.clear();
    data_ = 0;
    image_ = -1;
    format_ = 0xFFFFFFFF;
    textColor_ = CLR_DEFAULT;
    backColor_ = CLR_DEFAULT;
    margin_ = 0xFFFFFFFF;
    font_.reset();
    fontObject_ = nullptr;
    editing_ = false;
    grid_ = nullptr;
    editWnd_ = nullptr;
}

bool CGridCell::Edit(int row, int col, platform::ui::Rect rect, platform::ui::Point, int id, unsigned ch) {
    if (editing_) {
        if (editWnd_ != nullptr) editWnd_->SendChar(ch);
        return true;
    }
    EditorRequest request;
    request.rect = rect;
    const uint32_t format = GetFormat();
    request.align = (format & textformat::Right)    ? textformat::Right
                    : (format & textformat::Center) ? textformat::Center
                                                    : textformat::Left;
    request.id = id;
    request.row = row;
    request.col = col;
    request.text = GetText();
    request.firstChar = ch;
    editing_ = true;
    editWnd_ = grid_ != nullptr ? grid_->CreateInPlaceEditor(request, false) : nullptr;
    // Without an editor window there is no edit to end later.
    if (editWnd_ == nullptr) editing_ = false;
    return true;
}

void CGridCell::EndEdit() {
    if (editWnd_ != nullptr) editWnd_->EndEdit();
}

void CGridCell::OnEndEdit() {
    editing_ = false;
    editWnd_ = nullptr;
}

}  // namespace controls
