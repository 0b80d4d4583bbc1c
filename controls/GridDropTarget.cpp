#include "controls/GridDropTarget.h"

#include <wx/utils.h>

#include "controls/GridCtrl.h"

namespace controls {

namespace {

wxDragResult ToWx(int effect) {
    switch (effect) {
        case dropeffect::Copy:
            return wxDragCopy;
        case dropeffect::Move:
            return wxDragMove;
        default:
            return wxDragNone;
    }
}

}  // namespace

CGridDropTarget::CGridDropTarget(CGridCtrl& grid) : grid_(grid), text_(new wxTextDataObject) {
    SetDataObject(text_);
}

wxDragResult CGridDropTarget::OnEnter(wxCoord x, wxCoord y, wxDragResult) {
    return ToWx(grid_.OnDragEnter(true, wxGetKeyState(WXK_CONTROL), {x, y}));
}

wxDragResult CGridDropTarget::OnDragOver(wxCoord x, wxCoord y, wxDragResult) {
    return ToWx(grid_.OnDragOver(true, wxGetKeyState(WXK_CONTROL), {x, y}));
}

void CGridDropTarget::OnLeave() {
    grid_.OnDragLeave();
}

bool CGridDropTarget::OnDrop(wxCoord, wxCoord) {
    return true;
}

wxDragResult CGridDropTarget::OnData(wxCoord x, wxCoord y, wxDragResult def) {
    if (!GetData()) return wxDragNone;
    const std::string text = text_->GetText().utf8_string();
    const int effect = def == wxDragCopy ? dropeffect::Copy : dropeffect::Move;
    return grid_.OnDrop(text, effect, {x, y}) ? def : wxDragNone;
}

}  // namespace controls
