#include "controls/GridWindow.h"

#include <wx/app.h>
#include <wx/dcbuffer.h>
#include <wx/dnd.h>
#include <wx/sizer.h>
#include <wx/toplevel.h>
#include <wx/utils.h>

#include "controls/GridCtrl.h"
#include "controls/GridDropTarget.h"
#include "controls/GridFont.h"
#include "controls/GridKeys.h"
#include "controls/GridSysColors.h"
#include "controls/InPlaceEdit.h"
#include "controls/InPlaceList.h"
#include "controls/TitleTip.h"
#include "platform/ui/CommonDialogs.h"
#include "platform/ui/DrawContext.h"
#include "platform/ui/Window.h"

namespace controls {

using platform::ui::Point;
using platform::ui::Rect;

class GridWindow::Timer : public wxTimer {
  public:
    Timer(GridWindow& window, unsigned id) : window_(window), id_(id) {}
    void Notify() override {
        if (window_.grid_ != nullptr) window_.grid_->OnTimer(id_);
    }

  private:
    GridWindow& window_;
    unsigned id_;
};

GridWindow::GridWindow(CGridCtrl* grid) : grid_(grid) {}

GridWindow::~GridWindow() {
    timers_.clear();
    if (grid_ != nullptr) {
        grid_->OnDestroy();
        grid_->AttachHost(nullptr);
        grid_ = nullptr;
    }
    while (busy_ > 0) {
        wxEndBusyCursor();
        --busy_;
    }
    if (HasCapture()) ReleaseMouse();
    if (handle_ != 0) platform::UnregisterSink(handle_);
}

void GridWindow::DetachGrid() {
    if (grid_ != nullptr) grid_->EndEditing();
    grid_ = nullptr;
}

bool GridWindow::Create(wxWindow* parent, int id, const Rect& rect) {
    if (!wxWindow::Create(parent, id, wxPoint(rect.left, rect.top), wxSize(rect.Width(), rect.Height()),
                          wxWANTS_CHARS | wxBORDER_SUNKEN)) {
        return false;
    }
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    if (grid_ != nullptr && grid_->GetFont() != nullptr) SetFont(CachedFont(*grid_->GetFont()));
    hbar_ = new wxScrollBar(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxSB_HORIZONTAL);
    vbar_ = new wxScrollBar(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxSB_VERTICAL);
    hbar_->Hide();
    vbar_->Hide();
    for (wxScrollBar* bar : {hbar_, vbar_}) {
        for (const auto& type : {wxEVT_SCROLL_TOP, wxEVT_SCROLL_BOTTOM, wxEVT_SCROLL_LINEUP,
                                 wxEVT_SCROLL_LINEDOWN, wxEVT_SCROLL_PAGEUP, wxEVT_SCROLL_PAGEDOWN,
                                 wxEVT_SCROLL_THUMBTRACK, wxEVT_SCROLL_THUMBRELEASE}) {
            bar->Bind(type, &GridWindow::OnScroll, this);
        }
    }
    Bind(wxEVT_PAINT, &GridWindow::OnPaint, this);
    Bind(wxEVT_SIZE, &GridWindow::OnSize, this);
    Bind(wxEVT_KEY_DOWN, &GridWindow::OnKeyDown, this);
    Bind(wxEVT_CHAR, &GridWindow::OnChar, this);
    for (const auto& type : {wxEVT_LEFT_DOWN, wxEVT_LEFT_UP, wxEVT_LEFT_DCLICK, wxEVT_RIGHT_UP, wxEVT_MOTION})
        Bind(type, &GridWindow::OnMouseEvent, this);
    Bind(wxEVT_MOUSEWHEEL, &GridWindow::OnWheel, this);
    Bind(wxEVT_MOUSE_CAPTURE_LOST, &GridWindow::OnCaptureLost, this);
    Bind(wxEVT_KILL_FOCUS, &GridWindow::OnKillFocus, this);
    Bind(wxEVT_SYS_COLOUR_CHANGED, &GridWindow::OnSysColour, this);
    handle_ = platform::RegisterSink(this);
    if (grid_ != nullptr) {
        grid_->window_ = this;
        grid_->AttachHost(this);
    }
    return true;
}

bool GridWindow::CreateIn(wxWindow* placeholder) {
    const wxSize size = placeholder->GetClientSize();
    if (!Create(placeholder, placeholder->GetId(), Rect{0, 0, size.x, size.y})) return false;
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(this, 1, wxEXPAND);
    placeholder->SetSizer(sizer);
    placeholder->Layout();
    return true;
}

int GridWindow::VScrollWidth() const {
    const int width = vbar_ != nullptr ? vbar_->GetBestSize().x : 0;
    return width > 0 ? width : GetSystemMetric(SysMetric::VScrollWidth);
}

int GridWindow::HScrollHeight() const {
    const int height = hbar_ != nullptr ? hbar_->GetBestSize().y : 0;
    return height > 0 ? height : GetSystemMetric(SysMetric::HScrollHeight);
}

Rect GridWindow::ClientRect() const {
    const wxSize size = GetClientSize();
    const int width = size.x - (vstate_.shown ? VScrollWidth() : 0);
    const int height = size.y - (hstate_.shown ? HScrollHeight() : 0);
    return {0, 0, std::max(0, width), std::max(0, height)};
}

void GridWindow::Invalidate(const Rect* rect) {
    if (rect == nullptr) {
        Refresh(false);
    } else if (!rect->IsEmpty()) {
        RefreshRect(wxRect(rect->left, rect->top, rect->Width(), rect->Height()), false);
    }
}

void GridWindow::ApplyScrollBars(const GridScrollBar& horz, const GridScrollBar& vert) {
    hstate_ = horz;
    vstate_ = vert;
    Layout2();
}

void GridWindow::Layout2() {
    if (hbar_ == nullptr || vbar_ == nullptr) return;
    const wxSize size = GetClientSize();
    const int vw = VScrollWidth();
    const int hh = HScrollHeight();
    vbar_->Show(vstate_.shown);
    if (vstate_.shown) {
        vbar_->SetSize(size.x - vw, 0, vw, std::max(1, size.y - (hstate_.shown ? hh : 0)));
        vbar_->SetScrollbar(vstate_.pos, std::max(1, vstate_.page), vstate_.max + 1,
                            std::max(1, vstate_.page));
        vbar_->Enable(vstate_.enabled);
    }
    hbar_->Show(hstate_.shown);
    if (hstate_.shown) {
        hbar_->SetSize(0, size.y - hh, std::max(1, size.x - (vstate_.shown ? vw : 0)), hh);
        hbar_->SetScrollbar(hstate_.pos, std::max(1, hstate_.page), hstate_.max + 1,
                            std::max(1, hstate_.page));
        hbar_->Enable(hstate_.enabled);
    }
}

platform::WindowHandle GridWindow::Receiver() const {
    if (grid_ != nullptr && grid_->GetOwner() != 0 && platform::IsSinkRegistered(grid_->GetOwner()))
        return grid_->GetOwner();
    for (const wxWindow* parent = GetParent(); parent != nullptr; parent = parent->GetParent()) {
        if (platform::ui::Window* window = platform::ui::FromWx(parent)) return window->Handle();
    }
    return 0;
}

intptr_t GridWindow::SendNotify(NotifyHeader& record) {
    const platform::WindowHandle target = Receiver();
    if (target == 0) return 0;
    return platform::ui::SendMessage(target, WM_NOTIFY, static_cast<uintptr_t>(record.id),
                                     reinterpret_cast<intptr_t>(&record));
}

void GridWindow::PostCommand() {
    const platform::WindowHandle target = Receiver();
    if (target != 0)
        platform::PostMessage(target, WM_COMMAND, static_cast<uintptr_t>(GetId()),
                              static_cast<intptr_t>(handle_));
}

void GridWindow::OnMessage(const platform::Message&) {}

void GridWindow::SetFocus() {
    wxWindow::SetFocus();
}

bool GridWindow::HasFocus() const {
    return wxWindow::FindFocus() == this;
}

bool GridWindow::IsKeyDown(unsigned key) const {
    if (eventModifiers_) {
        if (key == vk::Shift) return eventModifiers_->first;
        if (key == vk::Control) return eventModifiers_->second;
    }
    if (key == vk::Shift) return wxGetKeyState(WXK_SHIFT);
    if (key == vk::Control) return wxGetKeyState(WXK_CONTROL);
    return false;
}

Point GridWindow::CursorPos() const {
    const wxPoint point = ScreenToClient(wxGetMousePosition());
    return {point.x, point.y};
}

void GridWindow::SetCapture(bool capture) {
    if (capture && !HasCapture()) CaptureMouse();
    if (!capture && HasCapture()) ReleaseMouse();
}

void GridWindow::SetCursor(GridCursor cursor) {
    switch (cursor) {
        case GridCursor::SizeWE:
            wxWindow::SetCursor(wxCursor(wxCURSOR_SIZEWE));
            break;
        case GridCursor::SizeNS:
            wxWindow::SetCursor(wxCursor(wxCURSOR_SIZENS));
            break;
        case GridCursor::Arrow:
            wxWindow::SetCursor(wxNullCursor);
            break;
    }
}

void GridWindow::SetWaitCursor(bool wait) {
    if (wait) {
        wxBeginBusyCursor();
        ++busy_;
    } else if (busy_ > 0) {
        wxEndBusyCursor();
        --busy_;
    }
}

bool GridWindow::SetTimer(unsigned id, unsigned periodMs) {
    auto& timer = timers_[id];
    if (!timer) timer = std::make_unique<Timer>(*this, id);
    return timer->Start(static_cast<int>(periodMs));
}

void GridWindow::KillTimer(unsigned id) {
    timers_.erase(id);
}

void GridWindow::OnEditorEnded(const GridDispInfo& info) {
    if (grid_ != nullptr) grid_->OnEndInPlaceEdit(info);
}

GridEditor* GridWindow::CreateTextEditor(const EditorRequest& request) {
    auto* editor = new CInPlaceEdit(this, request.rect, request.align, request.id, request.row, request.col,
                                    request.text, request.firstChar,
                                    [this](const GridDispInfo& info) { OnEditorEnded(info); });
    if (editor->GetHandle() == nullptr) {
        delete editor;
        return nullptr;
    }
    return editor;
}

GridEditor* GridWindow::CreateListEditor(const EditorRequest& request) {
    auto* editor =
        new CInPlaceList(this, request.rect, request.comboStyle, request.id, request.row, request.col,
                         request.textColor, request.backColor, request.options, request.text,
                         request.firstChar, [this](const GridDispInfo& info) { OnEditorEnded(info); });
    if (editor->GetHandle() == nullptr) {
        delete editor;
        return nullptr;
    }
    return editor;
}

void GridWindow::ShowTitleTip(const TitleTipRequest& request) {
    if (titleTip_ == nullptr) {
        titleTip_ = new CTitleTip();
        if (!titleTip_->Create(this)) {
            delete titleTip_;
            titleTip_ = nullptr;
            return;
        }
        titleTip_->SetHandlers(
            [this](CTitleTip::Press press, Point point) {
                switch (press) {
                    case CTitleTip::Press::LeftDown:
                        HandleMouse(wxEVT_LEFT_DOWN, point, mouseflags::LButton);
                        break;
                    case CTitleTip::Press::LeftUp:
                        HandleMouse(wxEVT_LEFT_UP, point, 0);
                        break;
                    case CTitleTip::Press::LeftDouble:
                        HandleMouse(wxEVT_LEFT_DCLICK, point, mouseflags::LButton);
                        break;
                    case CTitleTip::Press::RightUp:
                        HandleMouse(wxEVT_RIGHT_UP, point, 0);
                        break;
                    default:
                        break;
                }
            },
            [this](int keyCode) { KeyDown(keyCode); });
    }
    titleTip_->Show(request);
}

void GridWindow::HideTitleTip() {
    if (titleTip_ != nullptr) titleTip_->Hide();
}

bool GridWindow::SetClipboardText(const std::string& text) {
    return platform::ui::SetClipboardText(text);
}

std::optional<std::string> GridWindow::GetClipboardText() {
    return platform::ui::GetClipboardText();
}

int GridWindow::DoDragDrop(const std::string& text) {
    // The drag takes the pointer itself.
    if (HasCapture()) ReleaseMouse();
    wxTextDataObject data(wxString::FromUTF8(text));
    wxDropSource source(data, this);
    switch (source.DoDragDrop(wxDrag_AllowMove)) {
        case wxDragCopy:
            return dropeffect::Copy;
        case wxDragMove:
            return dropeffect::Move;
        default:
            return dropeffect::None;
    }
}

std::string GridWindow::ParentTitle() const {
    const wxWindow* top = wxGetTopLevelParent(const_cast<GridWindow*>(this));
    return top != nullptr ? top->GetLabel().utf8_string() : std::string();
}

std::string GridWindow::ApplicationTitle() const {
    return wxTheApp != nullptr ? wxTheApp->GetAppDisplayName().utf8_string() : std::string();
}

void GridWindow::OnPaint(wxPaintEvent&) {
    const Rect client = ClientRect();
    const wxRect box = GetUpdateRegion().GetBox();
    Rect clip{std::max(box.x, 0), std::max(box.y, 0), std::min(box.GetRight() + 1, client.right),
              std::min(box.GetBottom() + 1, client.bottom)};
    auto paint = [&](wxDC& wx) {
        platform::ui::DrawContext dc(wx);
        if (hstate_.shown && vstate_.shown) {
            const wxSize size = GetClientSize();
            dc.FillSolidRect({client.right, client.bottom, size.x, size.y}, GetSysColor(SysColor::Face3D));
        }
        if (grid_ != nullptr && !clip.IsEmpty()) grid_->OnDraw(dc, clip);
    };
    if (grid_ == nullptr || grid_->GetDoubleBuffering()) {
        wxAutoBufferedPaintDC dc(this);
        paint(dc);
    } else {
        wxPaintDC dc(this);
        paint(dc);
    }
}

void GridWindow::OnSize(wxSizeEvent& event) {
    event.Skip();
    if (grid_ == nullptr) return;
    if (!dropTargetSet_) {
        SetDropTarget(new CGridDropTarget(*grid_));
        dropTargetSet_ = true;
    }
    grid_->OnSize();
    Layout2();
    Refresh(false);
}

void GridWindow::KeyDown(int wxKeyCode, bool shift, bool control) {
    eventModifiers_ = std::make_pair(shift, control);
    const unsigned key = VirtualKeyFromWx(wxKeyCode);
    bool handled = key != 0 && grid_ != nullptr && grid_->OnKeyDown(key);
    if (!handled && key == vk::Tab && !control) {
        Navigate(shift ? wxNavigationKeyEvent::IsBackward : wxNavigationKeyEvent::IsForward);
        handled = true;
    }
    eventModifiers_.reset();
    // Keys the grid did not take become characters (and may start an edit).
    if (!handled && grid_ != nullptr && key != 0 && key != vk::Tab) {
        unsigned ch = 0;
        if (key == vk::Back || key == vk::Return || key == vk::Escape || key == vk::Space) ch = key;
        if (ch != 0) Char(ch, shift, control);
    }
}

void GridWindow::Char(unsigned ch, bool shift, bool control) {
    eventModifiers_ = std::make_pair(shift, control);
    if (grid_ != nullptr) grid_->OnChar(ch);
    eventModifiers_.reset();
}

void GridWindow::OnKeyDown(wxKeyEvent& event) {
    eventModifiers_ = std::make_pair(event.ShiftDown(), event.ControlDown());
    const unsigned key = VirtualKeyFromWx(event.GetKeyCode());
    bool handled = key != 0 && grid_ != nullptr && grid_->OnKeyDown(key);
    if (!handled && key == vk::Tab && !event.ControlDown()) {
        Navigate(event.ShiftDown() ? wxNavigationKeyEvent::IsBackward : wxNavigationKeyEvent::IsForward);
        handled = true;
    }
    eventModifiers_.reset();
    if (!handled) event.Skip();
}

void GridWindow::OnChar(wxKeyEvent& event) {
    unsigned ch = static_cast<unsigned>(event.GetUnicodeKey());
    if (ch == WXK_NONE) {
        event.Skip();
        return;
    }
    eventModifiers_ = std::make_pair(event.ShiftDown(), event.ControlDown());
    const bool handled = grid_ != nullptr && grid_->OnChar(ch);
    eventModifiers_.reset();
    if (!handled) event.Skip();
}

void GridWindow::Mouse(wxEventType type, Point point, bool shift, bool control) {
    unsigned flags = (shift ? mouseflags::Shift : 0) | (control ? mouseflags::Control : 0);
    if (type == wxEVT_LEFT_DOWN || type == wxEVT_LEFT_DCLICK ||
        (type == wxEVT_MOTION && grid_ != nullptr && grid_->leftButtonDown_)) {
        flags |= mouseflags::LButton;
    }
    HandleMouse(type, point, flags);
}

void GridWindow::OnMouseEvent(wxMouseEvent& event) {
    unsigned flags = (event.ShiftDown() ? mouseflags::Shift : 0) |
                     (event.ControlDown() ? mouseflags::Control : 0) |
                     (event.LeftIsDown() ? mouseflags::LButton : 0);
    HandleMouse(event.GetEventType(), {event.GetX(), event.GetY()}, flags);
    event.Skip();
}

void GridWindow::HandleMouse(wxEventType type, Point point, unsigned flags) {
    if (grid_ == nullptr) return;
    eventModifiers_ = std::make_pair((flags & mouseflags::Shift) != 0, (flags & mouseflags::Control) != 0);
    if (type == wxEVT_LEFT_DOWN) {
        wxWindow::SetFocus();
        grid_->OnLButtonDown(point, flags);
    } else if (type == wxEVT_LEFT_UP) {
        grid_->OnLButtonUp(point, flags);
    } else if (type == wxEVT_LEFT_DCLICK) {
        grid_->OnLButtonDblClk(point, flags);
    } else if (type == wxEVT_RIGHT_UP) {
        grid_->OnRButtonUp(point, flags);
    } else if (type == wxEVT_MOTION) {
        if (titleTip_ != nullptr) titleTip_->OnGridMouseMove(point);
        grid_->OnMouseMove(point, flags);
        if (grid_ != nullptr) grid_->OnSetCursor(point);
    }
    eventModifiers_.reset();
}

void GridWindow::OnWheel(wxMouseEvent& event) {
    if (grid_ != nullptr && event.GetWheelAxis() == wxMOUSE_WHEEL_VERTICAL)
        grid_->OnMouseWheel(event.GetWheelRotation());
}

void GridWindow::OnCaptureLost(wxMouseCaptureLostEvent&) {
    if (grid_ != nullptr) grid_->OnCaptureChanged();
}

void GridWindow::OnKillFocus(wxFocusEvent& event) {
    event.Skip();
    const wxWindow* next = event.GetWindow();
    // The grid's own editors and tip take the focus without the grid losing its selection.
    if (next != nullptr && (next == this || IsDescendant(const_cast<wxWindow*>(next)))) return;
    if (grid_ != nullptr) grid_->OnKillFocus();
}

void GridWindow::OnScroll(wxScrollEvent& event) {
    if (grid_ == nullptr) return;
    const wxEventType type = event.GetEventType();
    int code = -1;
    if (type == wxEVT_SCROLL_TOP)
        code = scrollcode::Top;
    else if (type == wxEVT_SCROLL_BOTTOM)
        code = scrollcode::Bottom;
    else if (type == wxEVT_SCROLL_LINEUP)
        code = scrollcode::LineUp;
    else if (type == wxEVT_SCROLL_LINEDOWN)
        code = scrollcode::LineDown;
    else if (type == wxEVT_SCROLL_PAGEUP)
        code = scrollcode::PageUp;
    else if (type == wxEVT_SCROLL_PAGEDOWN)
        code = scrollcode::PageDown;
    else if (type == wxEVT_SCROLL_THUMBTRACK)
        code = scrollcode::ThumbTrack;
    else if (type == wxEVT_SCROLL_THUMBRELEASE)
        code = scrollcode::ThumbPosition;
    if (code < 0) return;
    if (event.GetOrientation() == wxVERTICAL)
        grid_->OnVScroll(code, event.GetPosition());
    else
        grid_->OnHScroll(code, event.GetPosition());
}

void GridWindow::OnSysColour(wxSysColourChangedEvent& event) {
    event.Skip();
    if (grid_ != nullptr) grid_->OnSysColorChange();
}

}  // namespace controls
