#pragma once
// A combo box whose items carry a record (value, tip text, flags), whose list
// is filtered while the user types, which can complete the typed text with the
// first match, and which can use its own colours. ComboBoxExtModel decides
// what is shown; CComboBoxExt puts it on a wx combo box.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <wx/combobox.h>

#include "platform/Bitmap.h"
#include "platform/Messages.h"

namespace controls {

struct ComboItemData {
    int32_t value = -1;
    std::string text;
    std::string tip;
    int shown = 1;
    int tipFlag = 1;
};

class ComboBoxExtModel {
  public:
    enum class Style { Simple, DropDown, DropList };

    explicit ComboBoxExtModel(Style style = Style::DropDown) : style(style) {}

    // Settings, set by the holder.
    Style style;
    int filterMode = 0;  // 0 off, 1 filter, 2 filter and complete
    bool matchAtStart = true;
    bool completeNextChange = true;
    bool customBackground = false;
    bool customTextColor = false;
    platform::COLORREF backgroundColor = 0xFFFFFF;
    platform::COLORREF textColor = 0x000000;
    bool autoDropWidth = false;
    bool editTips = false;
    bool perItemTips = false;
    bool tipOverField = false;
    bool tipAboveField = false;

    // The list part as shown.
    int Count() const { return static_cast<int>(list_.size()); }
    std::string ListText(int index) const;
    ComboItemData* Record(int index) const;
    const std::vector<std::unique_ptr<ComboItemData>>& Records() const { return records_; }
    unsigned ListVersion() const { return listVersion_; }

    int AddString(const std::string& text);
    int InsertString(int index, const std::string& text);
    int DeleteString(int index);  // remaining count, or -1
    void ResetContent();
    int FindStringExact(const std::string& text) const;  // ignoring case, -1 when none

    int AddItem(const std::string& text, const std::string& tip, int tipFlag);
    int InsertItem(int index, const std::string& text, const std::string& tip, int tipFlag);
    void SetItemTip(int index, const std::string& tip, int tipFlag);
    void GetItemTip(int index, std::string& tip) const;
    void SetItemTipFlag(int index, int flag);
    int GetItemTipFlag(int index) const;
    int FindItemContaining(int start, const std::string& text) const;
    int FindItemExact(int start, const std::string& text) const;
    void SelectItemContaining(int start, const std::string& text);
    int32_t GetItemValue(int index) const;
    int SetItemValue(int index, int32_t value);
    int ShowItem(ComboItemData* record);
    int HideItem(ComboItemData* record);

    // The edit field and the list state.
    std::string editText;
    std::pair<int, int> editSel{0, 0};
    int curSel = -1;
    bool dropped = false;
    bool editing = false;
    std::string currentText;
    std::optional<std::pair<int, int>> savedSel;

    // What the user and the list do.
    void OnEditChange(const std::string& typed, std::pair<int, int> selection);
    void OnKeyDown(int keyCode);  // WXK_DELETE, WXK_BACK
    void OnCloseUp();
    void OnSelChange(int index);
    void OnSelEndOk();
    void OnSetText(const std::string& text);  // the private message foundation::kComboSetTextMessage

    // Colours of the edit field: none means the system's.
    std::optional<platform::COLORREF> EditTextColor() const;
    std::optional<platform::COLORREF> EditBackground() const;
    // Tip over the edit field (field width without the button); none: no tip.
    std::optional<std::string> EditTip(int textWidth, int fieldWidth) const;
    // Tip over a list item.
    std::optional<std::string> ListTip(int index, int textWidth, int clientWidth) const;
    // Dropped list height: frame plus item heights until half the screen is passed.
    static int DropHeight(int frameHeight, const std::vector<int>& itemHeights, int screenHeight);
    // Dropped list width wide enough for the widest item.
    static int DropWidth(const std::vector<int>& textWidths, int scrollBarWidth, int edgeWidth);

  private:
    int Insert(int index, ComboItemData* record);
    bool Valid(int index) const { return index >= 0 && index < Count(); }
    void ShowAll();

    std::vector<std::unique_ptr<ComboItemData>> records_;
    std::vector<ComboItemData*> list_;
    unsigned listVersion_ = 0;
};

class CComboBoxExt : public wxComboBox {
  public:
    CComboBoxExt() = default;
    bool Create(wxWindow* parent, int id, ComboBoxExtModel::Style style,
                const wxPoint& pos = wxDefaultPosition, const wxSize& size = wxDefaultSize);
    ComboBoxExtModel& Model() { return model_; }
    // Puts the model's list, text, selection and colours on the control.
    void Sync();
    // The private message (set text).
    void SetTextMessage(const std::string& text);

  private:
    void OnText(wxCommandEvent& event);
    void OnKey(wxKeyEvent& event);
    void OnSelect(wxCommandEvent& event);
    void OnCloseUp(wxCommandEvent& event);
    void OnMouse(wxMouseEvent& event);

    ComboBoxExtModel model_;
    unsigned shownVersion_ = ~0u;
    bool syncing_ = false;
};

}  // namespace controls
