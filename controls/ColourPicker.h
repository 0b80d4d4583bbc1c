#pragma once
// A button that shows a colour; clicking it opens a palette (CColourPopup).
// It keeps one colour, used as its background or as its text colour, and
// tells its holder about every step with private messages (the colour as the
// first parameter, the picker's id as the second).

#include <functional>
#include <optional>
#include <string>

#include <wx/control.h>

#include "foundation/MessageIds.h"
#include "platform/Bitmap.h"
#include "platform/Messages.h"
#include "platform/ui/DrawContext.h"
#include "platform/ui/Geometry.h"

namespace controls {

class CColourPopup;

class CColourPicker : public wxControl {
  public:
    static constexpr unsigned kSelChange = foundation::kColourPickerSelChangeMessage;
    static constexpr unsigned kDropDown = foundation::kColourPickerDropDownMessage;
    static constexpr unsigned kCloseUp = foundation::kColourPickerCloseUpMessage;
    static constexpr unsigned kSelEndOk = foundation::kColourPickerSelEndOkMessage;
    static constexpr unsigned kSelEndCancel = foundation::kColourPickerSelEndCancelMessage;
    // No colour set: the default applies ("Automatic").
    static constexpr platform::COLORREF kNoColour = 0xFF000000;
    enum SelectionMode : int { kTextMode = 1, kBackgroundMode = 2 };
    // Asks the user for any colour, starting from one; none when cancelled.
    using ColourChooser = std::function<std::optional<platform::COLORREF>(wxWindow*, platform::COLORREF)>;

    CColourPicker();
    ~CColourPicker() override;

    // The holder's window (its handle) gets the messages.
    bool Create(wxWindow* parent, int id, const platform::ui::Rect& rect, platform::WindowHandle notify,
                const std::string& text = "");
    void SetNotify(platform::WindowHandle notify) { notify_ = notify; }

    // The colour by the selection mode.
    platform::COLORREF GetColour() const;
    void SetColour(platform::COLORREF colour);
    platform::COLORREF GetBkColour() const { return background_; }
    void SetBkColour(platform::COLORREF colour);
    platform::COLORREF GetTextColour() const { return text_; }
    void SetTextColour(platform::COLORREF colour);
    void SetSelectionMode(int mode) { mode_ = mode; }
    int GetSelectionMode() const { return mode_; }
    void SetTrackSelection(bool track) { track_ = track; }
    bool GetTrackSelection() const { return track_; }
    void SetDefaultText(std::string text) { defaultText_ = std::move(text); }
    void SetCustomText(std::string text) { customText_ = std::move(text); }
    const std::string& DefaultText() const { return defaultText_; }
    const std::string& CustomText() const { return customText_; }
    void SetColourChooser(ColourChooser chooser) { chooser_ = std::move(chooser); }
    const ColourChooser& Chooser() const { return chooser_; }

    bool IsPopupOpen() const { return popupOpen_; }
    CColourPopup* Popup() const { return popup_; }
    // What a click does: opens the palette under the button.
    void Click();
    // The pop-up reports here (hot colour, accepted, cancelled).
    void OnPopupMessage(unsigned msg, platform::COLORREF colour);
    void PopupGone(CColourPopup* popup);
    // The pop-up is done; it is deleted after the event that ended it.
    void PopupEnded(CColourPopup* popup);

    // Width of the drop arrow, and the button's height and least width.
    static int ArrowSize();
    static platform::ui::Size ButtonSize(int width);
    const platform::ui::Rect& ArrowRect() const { return arrowRect_; }
    // The colour the swatch is filled with (the 3-D face where none applies).
    platform::COLORREF SwatchColour() const;
    void Paint(platform::ui::DrawContext& dc);

  protected:
    wxSize DoGetBestSize() const override;

  private:
    void SendToParent(unsigned msg, platform::COLORREF colour);
    void StoreColour(platform::COLORREF colour);
    void OnPaintEvent(wxPaintEvent& event);
    void OnLeftUp(wxMouseEvent& event);
    void OnKey(wxKeyEvent& event);
    void OnSizeEvent(wxSizeEvent& event);

    bool popupOpen_ = false;
    bool track_ = false;
    platform::COLORREF background_;
    platform::COLORREF text_;
    int mode_ = kBackgroundMode;
    platform::ui::Rect arrowRect_;
    std::string defaultText_ = "Automatic";
    std::string customText_ = "More Colours...";
    platform::WindowHandle notify_ = 0;
    CColourPopup* popup_ = nullptr;
    ColourChooser chooser_;
};

}  // namespace controls
