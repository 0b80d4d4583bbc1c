#include "controls/ComboBoxExt.h"

#include <algorithm>

#include <wx/settings.h>

#include "platform/StringHelpers.h"
#include "platform/ui/DrawContext.h"

namespace controls {

namespace {

using platform::Lower;

}  // namespace

std::string ComboBoxExtModel::ListText(int index) const {
    return Valid(index) ? list_[index]->text : std::string();
}

ComboItemData* ComboBoxExtModel::Record(int index) const {
    return Valid(index) ? list_[index] : nullptr;
}

int ComboBoxExtModel::Insert(int index, ComboItemData* record) {
    if (index < 0 || index > Count()) index = Count();
    list_.insert(list_.begin() + index, record);
    if (curSel >= index) ++curSel;
    ++listVersion_;
    return index;
}

int ComboBoxExtModel::AddString(const std::string& text) {
    return InsertString(-1, text);
}

int ComboBoxExtModel::InsertString(int index, const std::string& text) {
    records_.push_back(std::make_unique<ComboItemData>());
    records_.back()->text = text;
    return Insert(index, records_.back().get());
}

int ComboBoxExtModel::DeleteString(int index) {
    if (!Valid(index)) return -1;
    ComboItemData* record = list_[index];
    list_.erase(list_.begin() + index);
    records_.erase(
        std::find_if(records_.begin(), records_.end(), [&](const auto& r) { return r.get() == record; }));
    if (curSel == index)
        curSel = -1;
    else if (curSel > index)
        --curSel;
    ++listVersion_;
    return Count();
}

void ComboBoxExtModel::ResetContent() {
    currentText.clear();
    list_.clear();
    records_.clear();
    curSel = -1;
    ++listVersion_;
}

int ComboBoxExtModel::FindStringExact(const std::string& text) const {
    const std::string wanted = Lower(text);
    for (int i = 0; i < Count(); ++i) {
        if (Lower(list_[i]->text) == wanted) return i;
    }
    return -1;
}

int ComboBoxExtModel::AddItem(const std::string& text, const std::string& tip, int tipFlag) {
    const int index = AddString(text);
    SetItemTip(index, tip, tipFlag);
    return index;
}

int ComboBoxExtModel::InsertItem(int index, const std::string& text, const std::string& tip, int tipFlag) {
    const int at = InsertString(index, text);
    SetItemTip(at, tip, tipFlag);
    return at;
}

void ComboBoxExtModel::SetItemTip(int index, const std::string& tip, int tipFlag) {
    if (ComboItemData* r = Record(index)) {
        r->tip = tip;
        r->tipFlag = tipFlag;
    }
}

void ComboBoxExtModel::GetItemTip(int index, std::string& tip) const {
    if (ComboItemData* r = Record(index)) tip = r->tip;
}

void ComboBoxExtModel::SetItemTipFlag(int index, int flag) {
    if (ComboItemData* r = Record(index)) r->tipFlag = flag;
}

int ComboBoxExtModel::GetItemTipFlag(int index) const {
    ComboItemData* r = Record(index);
    return r != nullptr ? r->tipFlag : 0;
}

int ComboBoxExtModel::FindItemContaining(int start, const std::string& text) const {
    const std::string wanted = Lower(text);
    for (int i = std::max(start + 1, 0); i < Count(); ++i) {
        if (Lower(list_[i]->tip).find(wanted) != std::string::npos) return i;
    }
    return -1;
}

int ComboBoxExtModel::FindItemExact(int start, const std::string& text) const {
    const std::string wanted = Lower(text);
    for (int i = std::max(start + 1, 0); i < Count(); ++i) {
        if (Lower(list_[i]->tip) == wanted) return i;
    }
    return -1;
}

void ComboBoxExtModel::SelectItemContaining(int start, const std::string& text) {
    const int found = FindItemContaining(start, text);
    if (found >= 0) {
        curSel = found;
        editText = ListText(found);
    }
}

int32_t ComboBoxExtModel::GetItemValue(int index) const {
    ComboItemData* r = Record(index);
    return r != nullptr ? r->value : -1;
}

int ComboBoxExtModel::SetItemValue(int index, int32_t value) {
    ComboItemData* r = Record(index);
    if (r == nullptr) return -1;
    r->value = value;
    return 0;
}

int ComboBoxExtModel::ShowItem(ComboItemData* record) {
    if (record == nullptr || record->shown) return -1;
    record->shown = 1;
    return Insert(-1, record);
}

int ComboBoxExtModel::HideItem(ComboItemData* record) {
    if (record == nullptr || !record->shown) return -1;
    auto it = std::find(list_.begin(), list_.end(), record);
    if (it == list_.end()) return -1;
    const int index = static_cast<int>(it - list_.begin());
    list_.erase(it);
    record->shown = 0;
    if (curSel == index)
        curSel = -1;
    else if (curSel > index)
        --curSel;
    ++listVersion_;
    return Count();
}

void ComboBoxExtModel::ShowAll() {
    for (const auto& r : records_) ShowItem(r.get());
}

void ComboBoxExtModel::OnEditChange(const std::string& typed, std::pair<int, int> selection) {
    editText = typed;
    editSel = selection;
    if (filterMode == 0 || style == Style::Simple) return;
    editing = true;
    const std::string wanted = Lower(typed);
    for (const auto& r : records_) {
        const std::string text = Lower(r->text);
        const bool matches = wanted.empty() || (matchAtStart ? text.rfind(wanted, 0) == 0
                                                             : text.find(wanted) != std::string::npos);
        if (matches)
            ShowItem(r.get());
        else
            HideItem(r.get());
    }
    if (Count() > 0 && !typed.empty()) {
        dropped = true;
        if (filterMode == 2 && completeNextChange) {
            editText = ListText(0);
            // The completion is selected, so that typing goes on over it.
            editSel = {static_cast<int>(typed.size()), static_cast<int>(editText.size())};
        }
    } else if (!dropped) {
        ShowAll();
    } else {
        dropped = false;
        OnCloseUp();
    }
    completeNextChange = true;
}

void ComboBoxExtModel::OnKeyDown(int keyCode) {
    // Delete and Backspace (the wx key codes 127 and 8).
    if (filterMode == 2 && (keyCode == 127 || keyCode == 8)) completeNextChange = false;
}

void ComboBoxExtModel::OnCloseUp() {
    dropped = false;
    ShowAll();
    if (editing && style == Style::DropDown) OnSetText(editText);
    editing = false;
}

void ComboBoxExtModel::OnSelChange(int index) {
    curSel = Valid(index) ? index : -1;
    if (dropped) savedSel = std::make_pair(0, -1);
    if (!editing && filterMode != 0 && style != Style::Simple && curSel >= 0) editText = ListText(curSel);
}

void ComboBoxExtModel::OnSelEndOk() {
    if (curSel < 0) return;
    editText = ListText(curSel);
    const int length = static_cast<int>(editText.size());
    savedSel = std::make_pair(length, length);
}

void ComboBoxExtModel::OnSetText(const std::string& text) {
    if (!(editing && Lower(text) == Lower(currentText))) currentText = text;
    const int found = FindStringExact(text);
    if (found >= 0) {
        curSel = found;
        editText = ListText(found);
    } else {
        editText = text;
    }
    if (found >= 0 && !savedSel)
        editSel = {0, static_cast<int>(editText.size())};
    else if (savedSel)
        editSel = {savedSel->first,
                   savedSel->second < 0 ? static_cast<int>(editText.size()) : savedSel->second};
}

std::optional<platform::COLORREF> ComboBoxExtModel::EditTextColor() const {
    if (style == Style::Simple) return std::nullopt;
    if (style == Style::DropList && !customTextColor && !customBackground) return std::nullopt;
    return customTextColor ? std::optional<platform::COLORREF>(textColor) : std::nullopt;
}

std::optional<platform::COLORREF> ComboBoxExtModel::EditBackground() const {
    if (style == Style::Simple) return std::nullopt;
    if (style == Style::DropList && !customTextColor && !customBackground) return std::nullopt;
    return customBackground ? std::optional<platform::COLORREF>(backgroundColor) : std::nullopt;
}

std::optional<std::string> ComboBoxExtModel::EditTip(int textWidth, int fieldWidth) const {
    if (!editTips || editing || dropped) return std::nullopt;
    if (perItemTips) {
        const ComboItemData* r = Record(curSel);
        if (r != nullptr && r->tipFlag == 1 && !r->tip.empty()) return r->tip;
    }
    if (textWidth > fieldWidth - 6) return editText;
    return std::nullopt;
}

std::optional<std::string> ComboBoxExtModel::ListTip(int index, int textWidth, int clientWidth) const {
    const ComboItemData* r = Record(index);
    if (r == nullptr) return std::nullopt;
    if (perItemTips && r->tipFlag) return r->tip;
    if (textWidth > clientWidth - 3) return r->text;
    return std::nullopt;
}

int ComboBoxExtModel::DropHeight(int frameHeight, const std::vector<int>& itemHeights, int screenHeight) {
    int height = frameHeight;
    for (int h : itemHeights) {
        height += h;
        if (height > screenHeight / 2) break;
    }
    return height;
}

int ComboBoxExtModel::DropWidth(const std::vector<int>& textWidths, int scrollBarWidth, int edgeWidth) {
    const int widest = textWidths.empty() ? 0 : *std::max_element(textWidths.begin(), textWidths.end());
    return widest + scrollBarWidth + 2 * edgeWidth;
}

// ---------------------------------------------------------------- wx control

bool CComboBoxExt::Create(wxWindow* parent, int id, ComboBoxExtModel::Style style, const wxPoint& pos,
                          const wxSize& size) {
    model_.style = style;
    const long flags = style == ComboBoxExtModel::Style::DropList ? wxCB_READONLY
                       : style == ComboBoxExtModel::Style::Simple ? wxCB_SIMPLE
                                                                  : wxCB_DROPDOWN;
    if (!wxComboBox::Create(parent, id, wxString(), pos, size, 0, nullptr, flags)) return false;
    Bind(wxEVT_TEXT, &CComboBoxExt::OnText, this);
    Bind(wxEVT_KEY_DOWN, &CComboBoxExt::OnKey, this);
    Bind(wxEVT_COMBOBOX, &CComboBoxExt::OnSelect, this);
    Bind(wxEVT_COMBOBOX_CLOSEUP, &CComboBoxExt::OnCloseUp, this);
    Bind(wxEVT_MOTION, &CComboBoxExt::OnMouse, this);
    return true;
}

void CComboBoxExt::Sync() {
    syncing_ = true;
    if (shownVersion_ != model_.ListVersion()) {
        Clear();
        for (int i = 0; i < model_.Count(); ++i) Append(wxString::FromUTF8(model_.ListText(i)));
        shownVersion_ = model_.ListVersion();
    }
    if (model_.curSel >= 0 && model_.curSel < static_cast<int>(GetCount()))
        wxComboBox::SetSelection(model_.curSel);
    if (!HasFlag(wxCB_READONLY)) {
        const wxString text = wxString::FromUTF8(model_.editText);
        if (GetValue() != text) ChangeValue(text);
        wxComboBox::SetSelection(static_cast<long>(model_.editSel.first),
                                 static_cast<long>(model_.editSel.second));
    }
    const auto fg = model_.EditTextColor();
    const auto bg = model_.EditBackground();
    SetForegroundColour(fg ? platform::ui::ToWx(*fg) : wxNullColour);
    SetBackgroundColour(bg ? platform::ui::ToWx(*bg) : wxNullColour);
    syncing_ = false;
}

void CComboBoxExt::SetTextMessage(const std::string& text) {
    model_.OnSetText(text);
    Sync();
}

void CComboBoxExt::OnText(wxCommandEvent& event) {
    event.Skip();
    if (syncing_) return;
    long from = 0;
    long to = 0;
    GetSelection(&from, &to);
    model_.OnEditChange(GetValue().utf8_string(), {static_cast<int>(from), static_cast<int>(to)});
    // The filtered list shows when the user opens it; opening it here would take the keyboard.
    Sync();
}

void CComboBoxExt::OnKey(wxKeyEvent& event) {
    model_.OnKeyDown(event.GetKeyCode());
    event.Skip();
}

void CComboBoxExt::OnSelect(wxCommandEvent& event) {
    event.Skip();
    if (syncing_) return;
    model_.OnSelChange(GetSelection());
    model_.OnSelEndOk();
    Sync();
}

void CComboBoxExt::OnCloseUp(wxCommandEvent& event) {
    event.Skip();
    model_.OnCloseUp();
    Sync();
}

void CComboBoxExt::OnMouse(wxMouseEvent& event) {
    event.Skip();
    const int button = wxSystemSettings::GetMetric(wxSYS_VTHUMB_Y, this) + 2;
    const int field = GetClientSize().x - button;
    const auto tip = model_.EditTip(GetTextExtent(GetValue()).x, field);
    if (tip)
        SetToolTip(wxString::FromUTF8(*tip));
    else
        UnsetToolTip();
}

}  // namespace controls
