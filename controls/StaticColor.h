#pragma once
// Coloured statics: CStaticColor (sunken, centred, over a dialog item) and
// CLabelColor (a coloured caption).

#include <string>

#include <wx/control.h>

#include "controls/EditColor.h"

namespace controls {

class CStaticColor : public wxControl {
  public:
    CStaticColor() = default;
    bool CreateOverItem(wxWindow* parent, int itemId, platform::COLORREF text, platform::COLORREF background);
    // The item's rectangle moved so that its top-left is (x, y); white and blue.
    bool CreateOverItemAt(wxWindow* parent, int itemId, int x, int y);
    // Only the top moves to y; white and blue.
    bool CreateOverItemAtTop(wxWindow* parent, int itemId, int y);

    void SetColors(platform::COLORREF text, platform::COLORREF background);
    ColorPair Colors() const { return colors_; }
    void SetText(const std::string& text);
    std::string Text() const { return GetLabel().utf8_string(); }
    void Draw(platform::ui::DrawContext& dc);

  private:
    bool CreateAt(wxWindow* parent, int itemId, const platform::ui::Rect& rect);
    void OnPaint(wxPaintEvent& event);
    ColorPair colors_{CEditColor::kBlue, 0xFFFFFF};
};

class CLabelColor : public wxControl {
  public:
    CLabelColor() = default;
    bool Create(wxWindow* parent, int id, const std::string& text, const wxPoint& pos, const wxSize& size);

    int tag = 1001;  // kept for the holders' use
    platform::COLORREF textBackground = 0xFFFFFF;
    platform::COLORREF textColor = 0;
    platform::COLORREF brushColor = 0xFFFFFF;

    void SetText(const std::string& text);
    std::string Text() const { return GetLabel().utf8_string(); }
    void Draw(platform::ui::DrawContext& dc);

  private:
    void OnPaint(wxPaintEvent& event);
};

}  // namespace controls
