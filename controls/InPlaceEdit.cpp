#include "controls/InPlaceEdit.h"

#include <wx/app.h>
#include <wx/dcclient.h>

#include "controls/GridKeys.h"

namespace controls {

using platform::ui::Rect;

namespace {

// One end of an edit at a time: ending sends a record whose handler may end editors itself.
bool g_ending = false;

long AlignStyle(uint32_t align) {
    if (align & textformat::Right) return wxTE_RIGHT;
    if (align & textformat::Center) return wxTE_CENTER;
    return wxTE_LEFT;
}

bool IsArrowOrPage(unsigned key) {
    return key == vk::Prior || key == vk::Next || (key >= vk::Left && key <= vk::Down);
}

}  // namespace

void TypeCharacter(wxTextEntry& field, unsigned ch) {
    if (ch == vk::Back) {
        long from = 0;
        long to = 0;
        field.GetSelection(&from, &to);
        if (from != to) {
            field.Remove(from, to);
        } else if (from > 0) {
            field.Remove(from - 1, from);
        }
        return;
    }
    if (ch < 32 || ch == 127) return;  // control characters insert nothing
    field.WriteText(wxString(wxUniChar(ch)));
}

CInPlaceEdit::CInPlaceEdit(wxWindow* parent, const Rect& rect, uint32_t align, int id, int row, int col,
                           const std::string& text, unsigned firstChar, EditEndHandler onEnd)
    : row_(row),
      col_(col),
      initial_(text),
      exitOnArrows_(firstChar != vk::LButton),
      rect_{rect.left, rect.top, rect.right + 1, rect.bottom + 1},
      onEnd_(std::move(onEnd)) {
    if (!Create(
            parent, id, wxString::FromUTF8(text), wxPoint(rect_.left, rect_.top),
            wxSize(rect_.Width(), rect_.Height()),
            AlignStyle(align) | wxTE_PROCESS_TAB | wxTE_PROCESS_ENTER | wxBORDER_SIMPLE | wxWANTS_CHARS)) {
        return;
    }
    SetFont(parent->GetFont());
    Bind(wxEVT_KEY_DOWN, &CInPlaceEdit::OnKeyDown, this);
    Bind(wxEVT_TEXT, &CInPlaceEdit::OnTextChanged, this);
    Bind(wxEVT_KILL_FOCUS, &CInPlaceEdit::OnKillFocus, this);
    SetFocus();

    switch (firstChar) {
        case vk::LButton:
        case vk::Return:
            SetInsertionPointEnd();
            break;
        case vk::Tab:
        case vk::Space:
        case vk::Prior:
        case vk::Next:
        case vk::End:
        case vk::Home:
        case vk::Left:
        case vk::Up:
        case vk::Right:
        case vk::Down:
            SelectAll();
            break;
        case vk::Back:
            SetInsertionPointEnd();
            TypeCharacter(*this, vk::Back);
            break;
        default:
            SelectAll();
            TypeCharacter(*this, firstChar);
            break;
    }
    // The field keeps its caret in view by itself: moving the view here would drop the selection.
}

std::string CInPlaceEdit::Text() const {
    return GetValue().utf8_string();
}

void CInPlaceEdit::SendChar(unsigned ch) {
    if (ended_) return;
    TypeCharacter(*this, ch);
}

bool CInPlaceEdit::HandleKey(unsigned key, bool control) {
    if (ended_) return false;
    if (key == vk::Tab || key == vk::Return) {
        Finish(key);
        return true;
    }
    if (key == vk::Escape) {
        ChangeValue(wxString::FromUTF8(initial_));
        Finish(key);
        return true;
    }
    if (IsArrowOrPage(key) && (exitOnArrows_ || control)) {
        Finish(key);
        return true;
    }
    return false;
}

void CInPlaceEdit::Finish(unsigned key) {
    lastKey_ = key;
    // The focus goes back to the grid; the edit ends here rather than through
    // the loss of focus, which a desktop without a window manager may not report.
    if (GetParent() != nullptr) GetParent()->SetFocus();
    EndEdit();
}

void CInPlaceEdit::OnKeyDown(wxKeyEvent& event) {
    const unsigned key = VirtualKeyFromWx(event.GetKeyCode());
    if (key != 0 && HandleKey(key, event.ControlDown())) return;
    event.Skip();
}

void CInPlaceEdit::OnTextChanged(wxCommandEvent& event) {
    event.Skip();
    Grow();
}

void CInPlaceEdit::Grow() {
    wxClientDC dc(this);
    dc.SetFont(GetFont());
    const wxSize extent = dc.GetTextExtent(GetValue() + "  ");
    const wxSize size = GetSize();
    if (extent.x <= size.x) return;
    int right = rect_.left + extent.x;
    if (GetParent() != nullptr) right = std::min(right, GetParent()->GetClientSize().x);
    if (right <= rect_.right) return;
    rect_.right = right;
    SetSize(rect_.Width(), size.y);
}

void CInPlaceEdit::OnKillFocus(wxFocusEvent& event) {
    event.Skip();
    EndEdit();
}

void CInPlaceEdit::EndEdit() {
    if (ended_ || g_ending) return;
    g_ending = true;
    ended_ = true;
    GridDispInfo info;
    info.id = GetId();
    info.code = gridnotify::EndLabelEdit;
    info.item.row = row_;
    info.item.col = col_;
    info.item.mask = itemmask::Text | itemmask::Data;
    info.item.text = Text();
    info.item.data = static_cast<intptr_t>(lastKey_);
    EditEndHandler handler = std::move(onEnd_);
    onEnd_ = nullptr;
    if (handler) handler(info);
    g_ending = false;
    // Closed now, deleted once the event that ended it is over.
    Hide();
    if (wxTheApp != nullptr)
        wxTheApp->ScheduleForDestruction(this);
    else
        delete this;
}

}  // namespace controls
