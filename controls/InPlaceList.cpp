#include "controls/InPlaceList.h"

#include <algorithm>

#include <wx/app.h>
#include <wx/clipbrd.h>
#include <wx/dcclient.h>

#include "controls/GridKeys.h"
#include "controls/GridSysColors.h"
#include "controls/InPlaceEdit.h"

namespace controls {

using platform::ui::Rect;

namespace {

bool IsArrowOrPage(unsigned key) {
    return key == vk::Prior || key == vk::Next || (key >= vk::Left && key <= vk::Down);
}

}  // namespace

// --- The edit field -------------------------------------------------------------------

void CComboEdit::OnKeyDown(wxKeyEvent& event) {
    const unsigned key = VirtualKeyFromWx(event.GetKeyCode());
    if (IsArrowOrPage(key) && event.ControlDown()) {
        if (list_.HandleKey(key, true, true)) return;
    }
    // Tab, Enter and Escape act when released; pressed they must not move the focus.
    if (key == vk::Tab || key == vk::Return || key == vk::Escape) return;
    event.Skip();
}

void CComboEdit::OnKeyUp(wxKeyEvent& event) {
    const unsigned key = VirtualKeyFromWx(event.GetKeyCode());
    if ((key == vk::Tab || key == vk::Return || key == vk::Escape) && list_.HandleKey(key, false, false))
        return;
    event.Skip();
}

void CComboEdit::OnSysChar(wxKeyEvent& event) {
    // Swallowed: Alt with a letter must not reach the dialog's mnemonics while editing.
    if (event.AltDown()) return;
    event.Skip();
}

void CComboEdit::OnKillFocus(wxFocusEvent& event) {
    event.Skip();
    // The dropped list takes the focus for a while; that is no end of the edit.
    if (list_.IsPopupShown()) return;
    list_.EndEdit();
}

// --- The list editor ------------------------------------------------------------------

CInPlaceList::CInPlaceList(wxWindow* parent, const Rect& rect, int comboStyle, int id, int row, int col,
                           COLORREF textColor, COLORREF backColor, const std::vector<std::string>& options,
                           const std::string& text, unsigned firstChar, EditEndHandler onEnd)
    : row_(row),
      col_(col),
      style_(comboStyle == kDropList ? kDropList : kDropDown),
      initial_(text),
      textColor_(textColor),
      backColor_(backColor),
      rect_{rect.left, rect.top, rect.right + 1, rect.bottom + 1},
      onEnd_(std::move(onEnd)) {
    const int rowHeight = rect_.Height();
    // The dropped part holds four rows and a scroll bar below the field.
    rect_.bottom += GetSystemMetric(SysMetric::HScrollHeight) + kDropRows * rowHeight;
    wxArrayString choices;
    for (const std::string& option : options) choices.Add(wxString::FromUTF8(option));
    const long style = (style_ == kDropList ? wxCB_READONLY : 0) | wxWANTS_CHARS;
    if (!Create(parent, id, wxString(), wxPoint(rect_.left, rect_.top), wxSize(rect_.Width(), rowHeight),
                choices, style)) {
        return;
    }
    SetFont(parent->GetFont());
    SetPopupMaxHeight(GetSystemMetric(SysMetric::HScrollHeight) + kDropRows * rowHeight);
    SetPopupMinWidth(GetCorrectDropWidth());
    Bind(wxEVT_KEY_DOWN, &CInPlaceList::OnKeyDown, this);
    Bind(wxEVT_KEY_UP, &CInPlaceList::OnKeyUp, this);
    Bind(wxEVT_KILL_FOCUS, &CInPlaceList::OnKillFocus, this);
    Bind(wxEVT_COMBOBOX_DROPDOWN, &CInPlaceList::OnDropDown, this);

    const int match = FindString(wxString::FromUTF8(text), false);
    if (match != wxNOT_FOUND) {
        SetSelection(match);
    } else if (style_ == kDropDown) {
        SetValue(wxString::FromUTF8(text));
    }

    if (style_ == kDropList || GetTextCtrl() == nullptr) {
        SetFocus();
    } else {
        wxTextCtrl* field = GetTextCtrl();
        edit_ = new CComboEdit(*this);
        edit_->Bind(wxEVT_KEY_DOWN, &CComboEdit::OnKeyDown, edit_);
        edit_->Bind(wxEVT_KEY_UP, &CComboEdit::OnKeyUp, edit_);
        edit_->Bind(wxEVT_KILL_FOCUS, &CComboEdit::OnKillFocus, edit_);
        edit_->Bind(wxEVT_CHAR, &CComboEdit::OnSysChar, edit_);
        field->PushEventHandler(edit_);
        field->SetFocus();
        switch (firstChar) {
            case vk::LButton:
            case vk::Return:
                field->SetInsertionPointEnd();
                break;
            case vk::Prior:
            case vk::Next:
            case vk::End:
            case vk::Home:
            case vk::Left:
            case vk::Up:
            case vk::Right:
            case vk::Down:
                field->SelectAll();
                break;
            case vk::Back:
                field->SetInsertionPointEnd();
                TypeCharacter(*field, firstChar);
                break;
            default:
                field->SelectAll();
                TypeCharacter(*field, firstChar);
                break;
        }
    }
    Popup();
}

CInPlaceList::~CInPlaceList() {
    if (edit_ != nullptr) {
        if (wxTextCtrl* field = GetTextCtrl()) field->RemoveEventHandler(edit_);
        delete edit_;
        edit_ = nullptr;
    }
}

int CInPlaceList::CorrectDropWidth(const std::vector<int>& itemWidths, int scrollBarWidth, int zeroWidth) {
    const int widest = itemWidths.empty() ? 0 : *std::max_element(itemWidths.begin(), itemWidths.end());
    return std::min(widest + scrollBarWidth + zeroWidth, kMaxDropWidth);
}

int CInPlaceList::GetCorrectDropWidth() {
    wxClientDC dc(this);
    dc.SetFont(GetFont());
    std::vector<int> widths;
    for (unsigned i = 0; i < GetCount(); ++i) widths.push_back(dc.GetTextExtent(GetString(i)).x);
    return CorrectDropWidth(widths, GetSystemMetric(SysMetric::VScrollWidth), dc.GetTextExtent("0").x);
}

void CInPlaceList::OnDropDown(wxCommandEvent& event) {
    event.Skip();
    SetPopupMinWidth(GetCorrectDropWidth());
}

std::string CInPlaceList::Text() const {
    return GetValue().utf8_string();
}

void CInPlaceList::SendChar(unsigned ch) {
    if (ended_) return;
    if (wxTextCtrl* field = GetTextCtrl(); field != nullptr && style_ == kDropDown) TypeCharacter(*field, ch);
}

void CInPlaceList::Paste() {
    if (wxTextCtrl* field = GetTextCtrl(); field != nullptr && style_ == kDropDown) field->Paste();
}

bool CInPlaceList::HandleKey(unsigned key, bool control, bool down) {
    if (ended_) return false;
    if (down) {
        if (IsArrowOrPage(key) && control) {
            Finish(key);
            return true;
        }
        return false;
    }
    if (key == vk::Escape) {
        SetValue(wxString::FromUTF8(initial_));
        Finish(key);
        return true;
    }
    if (key == vk::Tab || key == vk::Return) {
        Finish(key);
        return true;
    }
    return false;
}

void CInPlaceList::Finish(unsigned key) {
    lastKey_ = key;
    if (IsPopupShown()) Dismiss();
    if (GetParent() != nullptr) GetParent()->SetFocus();
    EndEdit();
}

void CInPlaceList::OnKeyDown(wxKeyEvent& event) {
    const unsigned key = VirtualKeyFromWx(event.GetKeyCode());
    if (key != 0 && HandleKey(key, event.ControlDown(), true)) return;
    if (key == vk::Tab || key == vk::Return || key == vk::Escape) return;
    event.Skip();
}

void CInPlaceList::OnKeyUp(wxKeyEvent& event) {
    const unsigned key = VirtualKeyFromWx(event.GetKeyCode());
    if (key != 0 && HandleKey(key, event.ControlDown(), false)) return;
    event.Skip();
}

void CInPlaceList::OnKillFocus(wxFocusEvent& event) {
    event.Skip();
    if (style_ != kDropList || IsPopupShown()) return;
    wxWindow* next = event.GetWindow();
    if (next != nullptr && (next == this || IsDescendant(next))) return;
    EndEdit();
}

void CInPlaceList::EndEdit() {
    if (ended_) return;
    ended_ = true;
    if (IsPopupShown()) Dismiss();
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
    Hide();
    if (wxTheApp != nullptr)
        wxTheApp->ScheduleForDestruction(this);
    else
        delete this;
}

}  // namespace controls
