#pragma once
// A combo box whose list, while the user types, holds only the entries whose
// text contains the typed text (ignoring case). The holder addresses entries
// by their index in the entry list, which filtering never changes.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <wx/combobox.h>

namespace controls {

struct comboData {
    std::string text;
    int32_t value = 0;
};

class CComboBoxSearch : public wxComboBox {
  public:
    CComboBoxSearch() = default;
    bool Create(wxWindow* parent, int id, const wxPoint& pos = wxDefaultPosition,
                const wxSize& size = wxDefaultSize);

    int AddItem(const std::string& text);
    // 0, or -1 for an index outside the entries.
    int SetItemValue(int index, int32_t value);
    int32_t GetItemValue(int index) const;
    void ResetContent();
    // Entry index of the selected item; -1 when none is selected or its text is no entry.
    int GetCurSelIndex() const;
    // A valid entry index selects its item; any other value goes to the list as it is.
    void SetCurSelIndex(int index);
    // Entry index of the text, selected; -1 when no entry has it or its item is not shown.
    int SelectItemText(const std::string& text);

    const std::vector<comboData>& Entries() const { return entries_; }
    bool IsFiltered() const { return filtered_; }
    const std::string& LastSearch() const { return lastSearch_; }
    // How often the shown list was rebuilt.
    int Rebuilds() const { return rebuilds_; }
    std::vector<std::string> ShownItems() const;

    // Shows the entries containing the text (all for an empty text).
    void Filter(const std::string& search);
    // What typing and choosing do (the wx events call these).
    void OnEditChange();
    void OnSelChange();

  private:
    void OnTextEvent(wxCommandEvent& event);
    void OnSelectEvent(wxCommandEvent& event);
    int FindExact(const std::string& text) const;

    std::vector<comboData> entries_;
    std::map<std::string, int> byText_;
    std::string lastSearch_;
    bool filtered_ = false;
    bool updating_ = false;
    int rebuilds_ = 0;
};

}  // namespace controls
