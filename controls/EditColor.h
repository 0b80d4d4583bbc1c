#pragma once
// Coloured value fields put over placeholder items of a dialog: a read-only,
// centred edit inside a sunken frame, with a tip showing a text that does not fit.

#include <optional>
#include <string>
#include <utility>

#include <wx/panel.h>
#include <wx/textctrl.h>

#include "platform/Bitmap.h"
#include "platform/ui/DrawContext.h"
#include "platform/ui/Geometry.h"

namespace controls {

// Colours a coloured control paints with: none while disabled (system colours).
struct ColorPair {
    platform::COLORREF text = 0;
    platform::COLORREF background = 0xFFFFFF;
};
inline std::optional<ColorPair> EffectiveColors(bool enabled, ColorPair own) {
    return enabled ? std::optional<ColorPair>(own) : std::nullopt;
}

// The sunken frame of a CEditColor.
class CStColor : public wxPanel {
  public:
    CStColor() = default;
    bool Create(wxWindow* parent, int id, const platform::ui::Rect& rect);
    void SetBackground(platform::COLORREF colour);
    platform::COLORREF Background() const { return background_; }

  private:
    platform::COLORREF background_ = 0xFFFFFF;
};

class CEditColor : public wxTextCtrl {
  public:
    static constexpr int kEditIdOffset = 1234;
    static constexpr platform::COLORREF kBlue = 0xFF0000;

    CEditColor() = default;
    // The frame takes the id, the edit id + 1234.
    bool Create(const platform::ui::Rect& rect, wxWindow* parent, int id);
    bool CreateOverItem(wxWindow* parent, int itemId);
    // Moves the edit to (x, y) and the frame with it.
    void MoveTo(int x, int y);

    void SetColors(platform::COLORREF text, platform::COLORREF background);
    ColorPair Colors() const { return colors_; }
    bool Enable(bool enable = true) override;

    // Sets the text; a text wider than the field gets a tip with the whole text.
    void SetText(const std::string& text);
    std::string Text() const { return GetValue().utf8_string(); }
    bool IsTextCut() const { return textCut_; }
    // The tip at a point of the control: the whole text, only when it is cut.
    std::optional<std::string> TipAt(platform::ui::Point point) const;

    CStColor* Frame() const { return frame_; }
    // The edit's place inside a frame rectangle with the given client size.
    static platform::ui::Rect EditRect(const platform::ui::Rect& frame, platform::ui::Size frameClient,
                                       int lineHeight);

    // The control as drawn (frame, colours, centred text), for pictures.
    void DrawPicture(platform::ui::DrawContext& dc, platform::ui::Point origin) const;

  private:
    void ApplyColors();

    CStColor* frame_ = nullptr;
    ColorPair colors_{kBlue, 0xFFFFFF};
    platform::ui::Rect own_;
    bool textCut_ = false;
};

// An edit with a sunken client edge.
class PCtrlEdit : public wxTextCtrl {
  public:
    bool Create(wxWindow* parent, int id, const wxPoint& pos = wxDefaultPosition,
                const wxSize& size = wxDefaultSize, long style = 0) {
        return wxTextCtrl::Create(parent, id, wxString(), pos, size, style | wxBORDER_SUNKEN);
    }
};

}  // namespace controls
