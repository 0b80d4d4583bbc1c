#pragma once
// The text editor a grid opens over a cell. It places the caret by the key
// that opened it, grows with its text, and ends on Tab, Enter, Escape, the
// loss of the focus and (when opened by typing) the arrow keys, sending its
// end-of-edit record. It deletes itself once closed.

#include <string>

#include <wx/textctrl.h>

#include "controls/GridDefines.h"
#include "controls/GridHost.h"
#include "platform/ui/Geometry.h"

namespace controls {

class CInPlaceEdit : public wxTextCtrl, public GridEditor {
  public:
    // rect: the cell in the parent's client coordinates (right and bottom inclusive).
    CInPlaceEdit(wxWindow* parent, const platform::ui::Rect& rect, uint32_t align, int id, int row, int col,
                 const std::string& text, unsigned firstChar, EditEndHandler onEnd);

    void EndEdit() override;
    void SendChar(unsigned ch) override;
    void Paste() override { wxTextCtrl::Paste(); }

    // A key press as the editor takes it; true when it ended the edit.
    bool HandleKey(unsigned key, bool control);
    unsigned LastKey() const { return lastKey_; }
    bool ExitOnArrows() const { return exitOnArrows_; }
    bool HasEnded() const { return ended_; }
    std::string Text() const;
    const platform::ui::Rect& EditorRect() const { return rect_; }

  private:
    void OnKeyDown(wxKeyEvent& event);
    void OnTextChanged(wxCommandEvent& event);
    void OnKillFocus(wxFocusEvent& event);
    void Grow();
    void Finish(unsigned key);

    int row_;
    int col_;
    std::string initial_;
    unsigned lastKey_ = 0;
    bool exitOnArrows_;
    bool ended_ = false;
    platform::ui::Rect rect_;
    EditEndHandler onEnd_;
};

// Inserts a character as typed into a text field: Backspace removes the
// character before the caret, other characters replace the selection.
void TypeCharacter(wxTextEntry& field, unsigned ch);

}  // namespace controls
