#pragma once
// The drop-down list editor a combo cell opens over itself: the cell's option
// texts in a list that drops down at once, with an edit field for a
// drop-down style. It ends on Tab, Enter, Escape, Ctrl with an arrow or page
// key and the loss of the focus, sending its end-of-edit record, and deletes
// itself once closed.

#include <string>
#include <vector>

#include <wx/odcombo.h>

#include "controls/GridDefines.h"
#include "controls/GridHost.h"
#include "platform/ui/Geometry.h"

namespace controls {

class CInPlaceList;

// The edit field of a drop-down list editor: passes Ctrl with arrow and page
// keys, and Tab, Enter and Escape, on to the list editor.
class CComboEdit : public wxEvtHandler {
  public:
    explicit CComboEdit(CInPlaceList& list) : list_(list) {}

  private:
    void OnKeyDown(wxKeyEvent& event);
    void OnKeyUp(wxKeyEvent& event);
    void OnKillFocus(wxFocusEvent& event);
    void OnSysChar(wxKeyEvent& event);
    friend class CInPlaceList;

    CInPlaceList& list_;
};

class CInPlaceList : public wxOwnerDrawnComboBox, public GridEditor {
  public:
    static constexpr int kDropDown = 2;
    static constexpr int kDropList = 3;
    static constexpr int kDropRows = 4;
    static constexpr int kMaxDropWidth = 200;

    // rect: the cell in the parent's client coordinates (right and bottom inclusive).
    CInPlaceList(wxWindow* parent, const platform::ui::Rect& rect, int comboStyle, int id, int row, int col,
                 COLORREF textColor, COLORREF backColor, const std::vector<std::string>& options,
                 const std::string& text, unsigned firstChar, EditEndHandler onEnd);
    ~CInPlaceList() override;

    void EndEdit() override;
    void SendChar(unsigned ch) override;
    void Paste() override;

    // Width of the dropped list: the widest option, a scroll bar and a "0", at most 200 pixels.
    int GetCorrectDropWidth();
    static int CorrectDropWidth(const std::vector<int>& itemWidths, int scrollBarWidth, int zeroWidth);

    // A key as the editor takes it (down: pressed, else released); true when it ended the edit.
    bool HandleKey(unsigned key, bool control, bool down);
    unsigned LastKey() const { return lastKey_; }
    bool HasEnded() const { return ended_; }
    bool IsDropList() const { return style_ == kDropList; }
    std::string Text() const;
    const platform::ui::Rect& DropRect() const { return rect_; }

  private:
    friend class CComboEdit;
    void OnKeyDown(wxKeyEvent& event);
    void OnKeyUp(wxKeyEvent& event);
    void OnKillFocus(wxFocusEvent& event);
    void OnDropDown(wxCommandEvent& event);
    void Finish(unsigned key);

    int row_;
    int col_;
    int style_;
    std::string initial_;
    COLORREF textColor_;
    COLORREF backColor_;
    unsigned lastKey_ = 0;
    bool ended_ = false;
    platform::ui::Rect rect_;
    EditEndHandler onEnd_;
    CComboEdit* edit_ = nullptr;
};

}  // namespace controls
