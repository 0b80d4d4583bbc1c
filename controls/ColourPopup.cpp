#include "controls/ColourPopup.h"

#include <algorithm>

#include <wx/dcclient.h>
#include <wx/display.h>
#include <wx/settings.h>

#include "controls/ColourPicker.h"
#include "platform/ui/Shading.h"

using platform::RGB;
using platform::ui::Point;
using platform::ui::Rect;
using platform::ui::Size;
using platform::ui::SysColor;
using platform::ui::SysColour;

namespace controls {

const std::array<CColourPopup::Entry, CColourPopup::kColours>& CColourPopup::Table() {
    static const std::array<Entry, kColours> table = {{
        {RGB(0, 0, 0), "Black"},
        {RGB(165, 42, 0), "Brown"},
        {RGB(0, 64, 64), "Dark Olive Green"},
        {RGB(0, 85, 0), "Dark Green"},
        {RGB(0, 0, 94), "Dark Teal"},
        {RGB(0, 0, 139), "Dark blue"},
        {RGB(75, 0, 130), "Indigo"},
        {RGB(40, 40, 40), "Dark grey"},
        {RGB(139, 0, 0), "Dark red"},
        {RGB(255, 104, 32), "Orange"},
        {RGB(139, 139, 0), "Dark yellow"},
        {RGB(0, 147, 0), "Green"},
        {RGB(56, 142, 142), "Teal"},
        {RGB(0, 0, 255), "Blue"},
        {RGB(123, 123, 192), "Blue-grey"},
        {RGB(102, 102, 102), "Grey - 40"},
        {RGB(255, 0, 0), "Red"},
        {RGB(255, 173, 91), "Light orange"},
        {RGB(50, 205, 50), "Lime"},
        {RGB(60, 179, 113), "Sea green"},
        {RGB(127, 255, 212), "Aqua"},
        {RGB(125, 158, 192), "Light blue"},
        {RGB(128, 0, 128), "Violet"},
        {RGB(127, 127, 127), "Grey - 50"},
        {RGB(255, 192, 203), "Pink"},
        {RGB(255, 215, 0), "Gold"},
        {RGB(255, 255, 0), "Yellow"},
        {RGB(0, 255, 0), "Bright green"},
        {RGB(64, 224, 208), "Turquoise"},
        {RGB(192, 255, 255), "Skyblue"},
        {RGB(72, 0, 72), "Plum"},
        {RGB(192, 192, 192), "Light grey"},
        {RGB(255, 228, 225), "Rose"},
        {RGB(210, 180, 140), "Tan"},
        {RGB(255, 255, 224), "Light yellow"},
        {RGB(152, 251, 152), "Pale green "},
        {RGB(175, 238, 238), "Pale turquoise"},
        {RGB(104, 131, 139), "Pale blue"},
        {RGB(230, 230, 250), "Lavender"},
        {RGB(255, 255, 255), "White"},
    }};
    return table;
}

int CColourPopup::IndexOf(platform::COLORREF colour) {
    const auto& table = Table();
    for (int i = 0; i < kColours; ++i)
        if (table[i].colour == colour) return i;
    return kNoBox;
}

CColourPopup::Layout CColourPopup::ComputeLayout(Size defaultText, Size customText, int margin) {
    Layout l;
    l.margin = margin;
    l.box = std::max(18, 2 * margin + 7);
    int width = kColumns * l.box + 2 * margin;
    int height = kRows * l.box + 2 * margin;
    l.grid = {margin, margin};
    const bool hasDefault = defaultText.cx > 0;
    const bool hasCustom = customText.cx > 0;
    const int textHeight = std::max(defaultText.cy, customText.cy) + 4 * margin + 2;
    if (hasDefault) {
        l.defaultBox = {margin, margin, width - margin, margin + textHeight};
        l.grid.y += textHeight + 2 * margin;
        height += textHeight + 2 * margin;
    }
    if (hasCustom) {
        const int top = l.grid.y + kRows * l.box + margin;
        l.customBox = {margin, top, width - margin, top + textHeight};
        height += textHeight + 2 * margin + 25;
        width += 5;
    }
    const int textWidth = std::max(defaultText.cx, customText.cx) + 4 * margin + 4;
    width = std::max(width, textWidth);
    if (hasDefault) l.defaultBox.right = width - margin;
    if (hasCustom) l.customBox.right = width - margin;
    l.window = {width, height};
    return l;
}

CColourPopup::CColourPopup(CColourPicker* picker, Point at, int buttonTop, platform::COLORREF colour,
                           std::string defaultText, std::string customText)
    : wxPopupWindow(picker, wxBORDER_NONE),
      picker_(picker),
      initial_(colour),
      current_(colour),
      defaultText_(std::move(defaultText)),
      customText_(std::move(customText)) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    SetFont(wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT));
    const auto extent = [this](const std::string& text) {
        if (text.empty()) return Size{};
        const wxSize size = GetTextExtent(wxString::FromUTF8(text));
        return Size{std::max(size.x, 1), size.y};
    };
    layout_ = ComputeLayout(extent(defaultText_), extent(customText_),
                            platform::ui::SysMetricValue(platform::ui::SysMetric::EdgeX));

    chosen_ = IndexOf(colour);
    if (colour == CColourPicker::kNoColour && HasDefaultBox())
        chosen_ = kDefaultBox;
    else if (chosen_ == kNoBox && HasCustomBox())
        chosen_ = kCustomBox;

    // Kept on the screen; below the button unless there is no room there.
    int x = at.x;
    int y = at.y;
    const int display = wxDisplay::GetFromPoint(wxPoint(at.x, at.y));
    const wxRect screen =
        wxDisplay(display == wxNOT_FOUND ? 0u : static_cast<unsigned>(display)).GetGeometry();
    if (x + layout_.window.cx > screen.GetRight()) x = screen.GetRight() - layout_.window.cx;
    if (x < screen.GetLeft()) x = screen.GetLeft();
    if (y + layout_.window.cy > screen.GetBottom()) y = buttonTop - layout_.window.cy;
    SetSize(x, y, layout_.window.cx, layout_.window.cy);

    Bind(wxEVT_PAINT, &CColourPopup::OnPaintEvent, this);
    for (wxEventType type : {wxEVT_MOTION, wxEVT_LEFT_UP, wxEVT_RIGHT_UP})
        Bind(wxEventTypeTag<wxMouseEvent>(type), &CColourPopup::OnMouse, this);
    Bind(wxEVT_KEY_DOWN, &CColourPopup::OnKey, this);
    Bind(wxEVT_MOUSE_CAPTURE_LOST, &CColourPopup::OnCaptureLost, this);
    Show();
    if (!HasCapture()) CaptureMouse();
}

CColourPopup::~CColourPopup() {
    ReleaseCapture();
    if (picker_ != nullptr) picker_->PopupGone(this);
}

void CColourPopup::ReleaseCapture() {
    if (HasCapture()) ReleaseMouse();
}

Rect CColourPopup::BoxRect(int index) const {
    if (index == kDefaultBox) return layout_.defaultBox;
    if (index == kCustomBox) return layout_.customBox;
    if (index < 0 || index >= kColours) return {};
    const int row = index / kColumns;
    const int column = index % kColumns;
    return Rect::FromXYWH(layout_.grid.x + column * layout_.box, layout_.grid.y + row * layout_.box,
                          layout_.box, layout_.box);
}

int CColourPopup::IndexAt(Point point) const {
    if (HasDefaultBox() && layout_.defaultBox.Contains(point)) return kDefaultBox;
    if (HasCustomBox() && layout_.customBox.Contains(point)) return kCustomBox;
    const int dx = point.x - layout_.grid.x;
    const int dy = point.y - layout_.grid.y;
    if (dx < 0 || dy < 0) return kNoBox;
    const int column = dx / layout_.box;
    const int row = dy / layout_.box;
    if (column >= kColumns || row >= kRows) return kNoBox;
    const int index = row * kColumns + column;
    return index < kColours ? index : kNoBox;
}

platform::COLORREF CColourPopup::ColourOf(int index) const {
    if (index == kDefaultBox) return CColourPicker::kNoColour;
    if (index >= 0 && index < kColours) return Table()[index].colour;
    return initial_;
}

void CColourPopup::ChangeSelection(int index) {
    if (ended_) return;  // done, only waiting to be deleted
    if (index == kDefaultBox && !HasDefaultBox()) index = kNoBox;
    if (index == kCustomBox && !HasCustomBox()) index = kNoBox;
    if (index == hot_) return;
    const int old = hot_;
    hot_ = index;
    for (int redraw : {old, hot_}) {
        const Rect r = BoxRect(redraw);
        if (!r.IsEmpty()) RefreshRect(wxRect(r.left, r.top, r.Width(), r.Height()), false);
    }
    if (index >= 0 && index < kColours)
        SetToolTip(wxString::FromUTF8(Table()[index].name));
    else
        UnsetToolTip();
    current_ = ColourOf(hot_);
    if (picker_ != nullptr) picker_->OnPopupMessage(CColourPicker::kSelChange, current_);
}

void CColourPopup::OnMouseMove(Point point) {
    ChangeSelection(IndexAt(point));
}

void CColourPopup::OnButtonUp(Point point) {
    const wxSize size = GetClientSize();
    const bool inside = point.x >= 0 && point.y >= 0 && point.x < size.x && point.y < size.y;
    if (inside) {
        ChangeSelection(IndexAt(point));
        EndSelection(true);
    } else {
        EndSelection(false);
    }
}

void CColourPopup::Move(int index) {
    ChangeSelection(index);
}

bool CColourPopup::OnKeyDown(int keyCode) {
    if (ended_) return false;
    const int from = hot_ != kNoBox ? hot_ : (chosen_ != kNoBox ? chosen_ : 0);
    const int lastRow = (kRows - 1) * kColumns;
    switch (keyCode) {
        case WXK_ESCAPE:
            EndSelection(false);
            return true;
        case WXK_RETURN:
        case WXK_NUMPAD_ENTER:
        case WXK_SPACE:
            EndSelection(true);
            return true;
        case WXK_LEFT:
            Move(from > 0 ? from - 1 : from);
            return true;
        case WXK_RIGHT:
            Move(from >= 0 && from + 1 < kColours ? from + 1 : from);
            return true;
        case WXK_UP:
            if (from == kCustomBox)
                Move(lastRow);
            else if (from >= kColumns)
                Move(from - kColumns);
            else if (from >= 0 && HasDefaultBox())
                Move(kDefaultBox);
            else
                Move(from);
            return true;
        case WXK_DOWN:
            if (from == kDefaultBox)
                Move(0);
            else if (from >= 0 && from + kColumns < kColours)
                Move(from + kColumns);
            else if (from >= 0 && HasCustomBox())
                Move(kCustomBox);
            else
                Move(from);
            return true;
        default:
            return false;
    }
}

void CColourPopup::EndSelection(bool accept) {
    // The colour dialog runs its own loop: nothing ends the pop-up meanwhile.
    if (dialogOpen_ || ended_) return;
    ReleaseCapture();
    if (accept && hot_ == kCustomBox) {
        dialogOpen_ = true;
        const auto chosen = picker_ != nullptr && picker_->Chooser() ? picker_->Chooser()(this, initial_)
                                                                     : std::optional<platform::COLORREF>{};
        dialogOpen_ = false;
        if (chosen)
            current_ = *chosen;
        else
            accept = false;
    }
    ended_ = true;
    if (picker_ != nullptr)
        picker_->OnPopupMessage(accept ? CColourPicker::kSelEndOk : CColourPicker::kSelEndCancel,
                                accept ? current_ : initial_);
    Hide();
    // The picker deletes it once the event that ended it is over.
    if (picker_ != nullptr) picker_->PopupEnded(this);
}

void CColourPopup::DrawBox(platform::ui::DrawContext& dc, int index) {
    const Rect r = BoxRect(index);
    if (r.IsEmpty()) return;
    const bool hot = index == hot_;
    const bool chosen = index == chosen_;
    const bool textBox = index == kDefaultBox || index == kCustomBox;
    platform::COLORREF back = SysColor(SysColour::BtnFace);
    if (chosen && !hot) back = SysColor(textBox ? SysColour::Light3d : SysColour::Highlight3d);
    dc.FillSolidRect(r, back);
    if (hot)
        platform::ui::DrawEdge(dc, r, platform::ui::edge::Raised);
    else if (chosen)
        platform::ui::DrawEdge(dc, r, platform::ui::edge::Sunken);
    const int m = layout_.margin;
    if (textBox) {
        dc.SetFont(wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT));
        dc.SetTextColor(SysColor(SysColour::BtnText));
        dc.SetBkTransparent(true);
        dc.DrawText(index == kDefaultBox ? defaultText_ : customText_, r,
                    platform::ui::text::Center | platform::ui::text::VCenter);
    } else {
        const Rect inner = r.Deflate(m + 1, m + 1, m + 1, m + 1);
        dc.SetPen(SysColor(SysColour::Shadow3d), 1);
        dc.SetBrush(ColourOf(index));
        dc.Rectangle(inner);
    }
}

void CColourPopup::Paint(platform::ui::DrawContext& dc) {
    const wxSize size = GetClientSize();
    const Rect whole{0, 0, size.x, size.y};
    dc.FillSolidRect(whole, SysColor(SysColour::BtnFace));
    if (HasDefaultBox()) DrawBox(dc, kDefaultBox);
    for (int i = 0; i < kColours; ++i) DrawBox(dc, i);
    if (HasCustomBox()) DrawBox(dc, kCustomBox);
    platform::ui::DrawEdge(dc, whole, platform::ui::edge::Raised);
}

void CColourPopup::OnPaintEvent(wxPaintEvent&) {
    wxPaintDC paint(this);
    platform::ui::DrawContext dc(paint);
    Paint(dc);
}

void CColourPopup::OnMouse(wxMouseEvent& event) {
    const Point point{event.GetX(), event.GetY()};
    if (event.GetEventType() == wxEVT_MOTION)
        OnMouseMove(point);
    else
        OnButtonUp(point);
}

void CColourPopup::OnKey(wxKeyEvent& event) {
    if (!OnKeyDown(event.GetKeyCode())) event.Skip();
}

void CColourPopup::OnCaptureLost(wxMouseCaptureLostEvent&) {
    // Another window took the mouse (the user went elsewhere): the choice is over.
    if (!dialogOpen_) EndSelection(false);
}

}  // namespace controls
