#pragma once
// What the grid needs of the window it lives in. The grid itself (cells,
// layout, selection, keys, mouse, sorting, clipboard) is plain logic; the
// window that shows it implements this, and tests put a recording stand-in
// in its place.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "controls/GridDefines.h"
#include "platform/ui/Geometry.h"

namespace controls {

enum class GridCursor { Arrow, SizeWE, SizeNS };

// One scroll bar as the grid wants it shown.
struct GridScrollBar {
    bool shown = false;
    bool enabled = true;
    int max = 0;   // range 0..max
    int page = 0;  // 0 when nothing scrolls
    int pos = 0;
    bool disableNoScroll = false;  // shown disabled when not needed
};

// An in-place editor as the grid and its cells drive it.
class GridEditor {
  public:
    virtual ~GridEditor() = default;
    // Sends the end-of-edit notification and closes the editor.
    virtual void EndEdit() = 0;
    // A character typed while the editor is open.
    virtual void SendChar(unsigned ch) = 0;
    // Pastes the clipboard into the editor's text.
    virtual void Paste() = 0;
};

// Where an in-place editor sends its end-of-edit record (row, column, text,
// and the key that ended the edit in the data word).
using EditEndHandler = std::function<void(const GridDispInfo&)>;

// What a cell asks for when it opens an in-place editor.
struct EditorRequest {
    platform::ui::Rect rect;  // cell rectangle in the grid's client coordinates
    uint32_t align = 0;       // textformat::Left, Center or Right
    int id = 8;
    int row = 0;
    int col = 0;
    std::string text;
    unsigned firstChar = 0;
    // Drop-down list editors only.
    std::vector<std::string> options;
    int comboStyle = 2;  // 2 drop-down (editable), 3 drop-list
    COLORREF textColor = CLR_DEFAULT;
    COLORREF backColor = CLR_DEFAULT;
};

// What the grid hands the title tip.
struct TitleTipRequest {
    platform::ui::Rect cellRect;
    platform::ui::Rect textRect;
    std::string text;
    int xOffset = 5;
    int yOffset = 5;
    std::optional<LOGFONT> font;  // none: the grid's font
    COLORREF textColor = CLR_DEFAULT;
    COLORREF backColor = CLR_DEFAULT;
};

class CGridHost {
  public:
    virtual ~CGridHost() = default;

    virtual platform::WindowHandle Handle() const = 0;
    virtual int ControlId() const = 0;
    // The area the grid draws in: the window without its shown scroll bars.
    virtual platform::ui::Rect ClientRect() const = 0;
    // Sizes of the desktop's scroll bars and borders.
    virtual int VScrollWidth() const { return 16; }
    virtual int HScrollHeight() const { return 16; }
    virtual int BorderSize() const { return 1; }
    // Lines scrolled per wheel notch; -1 scrolls a page.
    virtual int WheelScrollLines() const { return 3; }

    // Repaint later; null is the whole window.
    virtual void Invalidate(const platform::ui::Rect* rect) = 0;
    virtual void ApplyScrollBars(const GridScrollBar& horz, const GridScrollBar& vert) = 0;

    // Notification to the owner window, or the parent without one. 0 when
    // nobody receives it.
    virtual intptr_t SendNotify(NotifyHeader& record) = 0;
    // WM_COMMAND with the grid's id to the owner or parent (posted).
    virtual void PostCommand() = 0;

    virtual void SetFocus() = 0;
    virtual bool HasFocus() const = 0;
    virtual bool IsKeyDown(unsigned key) const = 0;     // vk::Shift, vk::Control
    virtual platform::ui::Point CursorPos() const = 0;  // client coordinates
    virtual void SetCapture(bool capture) = 0;
    virtual void SetCursor(GridCursor cursor) = 0;
    virtual void SetWaitCursor(bool wait) = 0;
    virtual bool SetTimer(unsigned id, unsigned periodMs) = 0;
    virtual void KillTimer(unsigned id) = 0;

    virtual GridEditor* CreateTextEditor(const EditorRequest& request) = 0;
    virtual GridEditor* CreateListEditor(const EditorRequest& request) = 0;
    virtual void ShowTitleTip(const TitleTipRequest& request) = 0;
    virtual void HideTitleTip() = 0;

    virtual bool SetClipboardText(const std::string& text) = 0;
    virtual std::optional<std::string> GetClipboardText() = 0;
    // Runs a drag of the text; answers the effect (dropeffect).
    virtual int DoDragDrop(const std::string& text) = 0;

    // Titles printed in the page header.
    virtual std::string ParentTitle() const { return {}; }
    virtual std::string ApplicationTitle() const { return {}; }
};

}  // namespace controls
