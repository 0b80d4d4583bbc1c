#include "controls/ComboBoxSearch.h"

#include "platform/StringHelpers.h"

namespace controls {

namespace {

wxString ToWx(const std::string& text) {
    return wxString::FromUTF8(text);
}

}  // namespace

bool CComboBoxSearch::Create(wxWindow* parent, int id, const wxPoint& pos, const wxSize& size) {
    if (!wxComboBox::Create(parent, id, wxEmptyString, pos, size, 0, nullptr, wxCB_DROPDOWN)) return false;
    Bind(wxEVT_TEXT, &CComboBoxSearch::OnTextEvent, this);
    Bind(wxEVT_COMBOBOX, &CComboBoxSearch::OnSelectEvent, this);
    return true;
}

int CComboBoxSearch::AddItem(const std::string& text) {
    const int index = static_cast<int>(entries_.size());
    entries_.push_back({text, 0});
    byText_[text] = index;
    updating_ = true;
    Append(ToWx(text));
    updating_ = false;
    return index;
}

int CComboBoxSearch::SetItemValue(int index, int32_t value) {
    if (index < 0 || index >= static_cast<int>(entries_.size())) return -1;
    entries_[index].value = value;
    return 0;
}

int32_t CComboBoxSearch::GetItemValue(int index) const {
    if (index < 0 || index >= static_cast<int>(entries_.size())) return -1;
    return entries_[index].value;
}

void CComboBoxSearch::ResetContent() {
    updating_ = true;
    Clear();
    updating_ = false;
    entries_.clear();
    byText_.clear();
    lastSearch_.clear();
    filtered_ = false;
}

int CComboBoxSearch::FindExact(const std::string& text) const {
    const unsigned count = GetCount();
    for (unsigned i = 0; i < count; ++i)
        if (GetString(i).utf8_string() == text) return static_cast<int>(i);
    return wxNOT_FOUND;
}

int CComboBoxSearch::GetCurSelIndex() const {
    const int selected = GetSelection();
    if (selected == wxNOT_FOUND) return -1;
    auto it = byText_.find(GetString(selected).utf8_string());
    return it != byText_.end() ? it->second : -1;
}

void CComboBoxSearch::SetCurSelIndex(int index) {
    updating_ = true;
    if (index >= 0 && index < static_cast<int>(entries_.size())) {
        const int item = FindExact(entries_[index].text);
        SetSelection(item);
    } else {
        // Any other value goes to the list, which clears its selection for it.
        SetSelection(wxNOT_FOUND);
    }
    updating_ = false;
}

int CComboBoxSearch::SelectItemText(const std::string& text) {
    auto it = byText_.find(text);
    if (it == byText_.end()) return -1;
    const int item = FindExact(text);
    if (item == wxNOT_FOUND) return -1;
    updating_ = true;
    SetSelection(item);
    updating_ = false;
    return it->second;
}

std::vector<std::string> CComboBoxSearch::ShownItems() const {
    std::vector<std::string> items;
    for (unsigned i = 0; i < GetCount(); ++i) items.push_back(GetString(i).utf8_string());
    return items;
}

void CComboBoxSearch::Filter(const std::string& search) {
    if (search == lastSearch_) return;
    lastSearch_ = search;
    updating_ = true;
    Freeze();
    Clear();
    wxArrayString shown;
    if (search.empty()) {
        filtered_ = false;
        for (const comboData& entry : entries_) shown.Add(ToWx(entry.text));
    } else {
        filtered_ = true;
        const std::string needle = platform::Lower(search);
        for (const comboData& entry : entries_)
            if (platform::Lower(entry.text).find(needle) != std::string::npos) shown.Add(ToWx(entry.text));
    }
    if (!shown.empty()) Append(shown);
    Thaw();
    updating_ = false;
    ++rebuilds_;
}

void CComboBoxSearch::OnEditChange() {
    const std::string text = GetValue().utf8_string();
    Filter(text);
    updating_ = true;
    // Emptying the list empties the field: the typed text goes back.
    if (GetValue().utf8_string() != text) ChangeValue(ToWx(text));
    SetInsertionPointEnd();
    updating_ = false;
}

void CComboBoxSearch::OnSelChange() {
    const int selected = GetSelection();
    if (selected == wxNOT_FOUND) return;
    const std::string text = GetString(selected).utf8_string();
    if (filtered_) Filter("");
    updating_ = true;
    SetSelection(FindExact(text));
    updating_ = false;
}

void CComboBoxSearch::OnTextEvent(wxCommandEvent& event) {
    event.Skip();
    if (updating_) return;
    // Choosing an item writes its text into the field; that is no typing.
    const int selected = GetSelection();
    if (selected != wxNOT_FOUND && GetString(selected) == GetValue()) return;
    OnEditChange();
}

void CComboBoxSearch::OnSelectEvent(wxCommandEvent& event) {
    event.Skip();
    if (updating_) return;
    OnSelChange();
}

}  // namespace controls
