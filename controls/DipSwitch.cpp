#include "controls/DipSwitch.h"

#include <wx/dcbuffer.h>
#include <wx/dcmemory.h>

#include "platform/ui/Images.h"

namespace controls {

bool CDipSwitch::Create(wxWindow* parent, int id, const wxPoint& pos) {
    body_ = platform::ui::LoadImageResource(kBodyImage);
    if (body_.IsOk()) {
        set_ = platform::ui::LoadImageResource(kSetImage);
        cleared_ = platform::ui::LoadImageResource(kClearedImage);
        bodyWidth_ = body_.GetWidth();
        bodyHeight_ = body_.GetHeight();
        const wxBitmap& sw = set_.IsOk() ? set_ : cleared_;
        switchWidth_ = sw.IsOk() ? sw.GetWidth() : 0;
        switchHeight_ = sw.IsOk() ? sw.GetHeight() : 0;
    }
    const wxSize size = body_.IsOk() ? wxSize(bodyWidth_, bodyHeight_) : wxSize(170, 60);
    if (!wxWindow::Create(parent, id, pos, size, wxBORDER_NONE)) return false;
    // With a picture there is nothing to erase; without one the usual background shows.
    if (body_.IsOk()) SetBackgroundStyle(wxBG_STYLE_PAINT);
    Bind(wxEVT_PAINT, &CDipSwitch::OnPaint, this);
    return true;
}

bool CDipSwitch::DrawSetting(uint8_t value) {
    if (shown_ && *shown_ == value) return false;
    shown_ = value;
    if (body_.IsOk()) {
        wxMemoryDC dc(body_);
        for (int i = 0; i < 8; ++i) {
            const wxBitmap& image = (value >> i) & 1 ? set_ : cleared_;
            if (image.IsOk()) dc.DrawBitmap(image, 8 + 20 * i, 17, false);
        }
        dc.SelectObject(wxNullBitmap);
    }
    ++invalidations_;
    Refresh(false);
    return true;
}

void CDipSwitch::Paint(platform::ui::DrawContext& dc) {
    if (body_.IsOk()) dc.DrawBitmap(body_, 0, 0);
}

void CDipSwitch::OnPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC paint(this);
    if (!body_.IsOk()) {
        paint.SetBackground(wxBrush(GetBackgroundColour()));
        paint.Clear();
        return;
    }
    platform::ui::DrawContext dc(paint);
    Paint(dc);
}

}  // namespace controls
