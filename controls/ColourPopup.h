#pragma once
// The palette a colour picker opens: 40 named colours, 8 to a row, with an
// optional default box ("Automatic") above and a custom box ("More Colours...")
// below that asks for any colour. It holds the mouse while open, reports the
// hot colour as it moves, and destroys itself once a colour is accepted or the
// choice cancelled.

#include <array>
#include <string>

#include <wx/popupwin.h>

#include "platform/Bitmap.h"
#include "platform/ui/DrawContext.h"
#include "platform/ui/Geometry.h"

namespace controls {

class CColourPicker;

class CColourPopup : public wxPopupWindow {
  public:
    static constexpr int kColours = 40;
    static constexpr int kColumns = 8;
    static constexpr int kRows = (kColours + kColumns - 1) / kColumns;
    // Special box indexes.
    static constexpr int kDefaultBox = -3;
    static constexpr int kCustomBox = -2;
    static constexpr int kNoBox = -1;

    struct Entry {
        platform::COLORREF colour;
        const char* name;
    };
    static const std::array<Entry, kColours>& Table();
    // Index of the colour in the table, or kNoBox.
    static int IndexOf(platform::COLORREF colour);

    // Where everything lies, from the sizes of the two texts (0 x 0 for none).
    struct Layout {
        int margin = 0;
        int box = 18;
        platform::ui::Size window;
        platform::ui::Point grid;  // top-left of the first colour box
        platform::ui::Rect defaultBox;
        platform::ui::Rect customBox;
    };
    static Layout ComputeLayout(platform::ui::Size defaultText, platform::ui::Size customText, int margin);

    // Opens at the screen point (the picker's bottom-left corner).
    CColourPopup(CColourPicker* picker, platform::ui::Point at, int buttonTop, platform::COLORREF colour,
                 std::string defaultText, std::string customText);
    ~CColourPopup() override;

    const Layout& GetLayout() const { return layout_; }
    int HotIndex() const { return hot_; }
    int ChosenIndex() const { return chosen_; }
    platform::COLORREF InitialColour() const { return initial_; }
    platform::COLORREF CurrentColour() const { return current_; }
    bool HasDefaultBox() const { return !defaultText_.empty(); }
    bool HasCustomBox() const { return !customText_.empty(); }
    platform::ui::Rect BoxRect(int index) const;
    // The box under a point of the pop-up (kNoBox for none).
    int IndexAt(platform::ui::Point point) const;

    // What the user does; each is what a mouse or key event of the pop-up calls.
    void ChangeSelection(int index);
    void OnMouseMove(platform::ui::Point point);
    void OnButtonUp(platform::ui::Point point);
    bool OnKeyDown(int keyCode);
    // Accepts the hot box (the custom box asks for a colour first) or cancels.
    void EndSelection(bool accept);
    bool Ended() const { return ended_; }

    void Paint(platform::ui::DrawContext& dc);

  private:
    void DrawBox(platform::ui::DrawContext& dc, int index);
    platform::COLORREF ColourOf(int index) const;
    void Move(int index);
    void ReleaseCapture();
    void OnPaintEvent(wxPaintEvent& event);
    void OnMouse(wxMouseEvent& event);
    void OnKey(wxKeyEvent& event);
    void OnCaptureLost(wxMouseCaptureLostEvent& event);

    CColourPicker* picker_;
    Layout layout_;
    int hot_ = kNoBox;
    int chosen_ = kNoBox;
    platform::COLORREF initial_;
    platform::COLORREF current_;
    std::string defaultText_;
    std::string customText_;
    bool dialogOpen_ = false;
    bool ended_ = false;
};

}  // namespace controls
