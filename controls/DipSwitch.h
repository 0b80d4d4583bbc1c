#pragma once
// A row of eight DIP switches shown as one picture: a body image with, per
// bit, the set or the cleared switch image copied onto it. Display only.

#include <cstdint>
#include <optional>

#include <wx/bitmap.h>
#include <wx/window.h>

#include "platform/ui/DrawContext.h"

namespace controls {

class CDipSwitch : public wxWindow {
  public:
    enum : int { kBodyImage = 2034, kSetImage = 2035, kClearedImage = 2036 };

    CDipSwitch() = default;
    bool Create(wxWindow* parent, int id, const wxPoint& pos = wxDefaultPosition);

    // Shows an 8-bit setting (bit 0 is the leftmost switch); true when the
    // picture changed and was invalidated, false for the value already shown.
    bool DrawSetting(uint8_t value);
    std::optional<uint8_t> Shown() const { return shown_; }
    bool HasBody() const { return body_.IsOk(); }
    int BodyWidth() const { return bodyWidth_; }
    int BodyHeight() const { return bodyHeight_; }
    // How often the control asked to be repainted.
    int Invalidations() const { return invalidations_; }
    // Paints the picture (nothing without a body image).
    void Paint(platform::ui::DrawContext& dc);

  private:
    void OnPaint(wxPaintEvent& event);

    wxBitmap body_;
    wxBitmap set_;
    wxBitmap cleared_;
    int bodyWidth_ = 0;
    int bodyHeight_ = 0;
    int switchWidth_ = 0;
    int switchHeight_ = 0;
    std::optional<uint8_t> shown_;
    int invalidations_ = 0;
};

}  // namespace controls
