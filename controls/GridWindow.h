#pragma once
// The desktop window of a grid: paints it, gives it the keyboard and the
// mouse, its scroll bars, timers, in-place editors, title tip, clipboard and
// drag and drop, and carries its notifications to the window that holds it.

#include <map>
#include <memory>
#include <optional>

#include <wx/scrolbar.h>
#include <wx/timer.h>
#include <wx/window.h>

#include "controls/GridHost.h"
#include "platform/Messages.h"

namespace controls {

class CGridCtrl;
class CTitleTip;

class GridWindow : public wxWindow, public CGridHost, public platform::MessageSink {
  public:
    explicit GridWindow(CGridCtrl* grid);
    ~GridWindow() override;

    bool Create(wxWindow* parent, int id, const platform::ui::Rect& rect);
    bool CreateIn(wxWindow* placeholder);
    // The grid goes away before its window.
    void DetachGrid();
    CGridCtrl* Grid() const { return grid_; }
    CTitleTip* TitleTip() const { return titleTip_; }
    wxScrollBar* ScrollBar(bool vertical) const { return vertical ? vbar_ : hbar_; }

    // As the desktop would deliver them (tests drive the window through these).
    void KeyDown(int wxKeyCode, bool shift = false, bool control = false);
    void Char(unsigned ch, bool shift = false, bool control = false);
    void Mouse(wxEventType type, platform::ui::Point point, bool shift = false, bool control = false);

    // CGridHost
    platform::WindowHandle Handle() const override { return handle_; }
    int ControlId() const override { return GetId(); }
    platform::ui::Rect ClientRect() const override;
    int VScrollWidth() const override;
    int HScrollHeight() const override;
    int BorderSize() const override { return 0; }
    void Invalidate(const platform::ui::Rect* rect) override;
    void ApplyScrollBars(const GridScrollBar& horz, const GridScrollBar& vert) override;
    intptr_t SendNotify(NotifyHeader& record) override;
    void PostCommand() override;
    void SetFocus() override;
    bool HasFocus() const override;
    bool IsKeyDown(unsigned key) const override;
    platform::ui::Point CursorPos() const override;
    void SetCapture(bool capture) override;
    void SetCursor(GridCursor cursor) override;
    void SetWaitCursor(bool wait) override;
    bool SetTimer(unsigned id, unsigned periodMs) override;
    void KillTimer(unsigned id) override;
    GridEditor* CreateTextEditor(const EditorRequest& request) override;
    GridEditor* CreateListEditor(const EditorRequest& request) override;
    void ShowTitleTip(const TitleTipRequest& request) override;
    void HideTitleTip() override;
    bool SetClipboardText(const std::string& text) override;
    std::optional<std::string> GetClipboardText() override;
    int DoDragDrop(const std::string& text) override;
    std::string ParentTitle() const override;
    std::string ApplicationTitle() const override;

    // platform::MessageSink: messages posted to the grid's handle.
    void OnMessage(const platform::Message& message) override;

  private:
    class Timer;
    platform::WindowHandle Receiver() const;
    void Layout2();
    void OnPaint(wxPaintEvent& event);
    void OnSize(wxSizeEvent& event);
    void OnKeyDown(wxKeyEvent& event);
    void OnChar(wxKeyEvent& event);
    void OnMouseEvent(wxMouseEvent& event);
    void OnWheel(wxMouseEvent& event);
    void OnCaptureLost(wxMouseCaptureLostEvent& event);
    void OnKillFocus(wxFocusEvent& event);
    void OnScroll(wxScrollEvent& event);
    void OnSysColour(wxSysColourChangedEvent& event);
    void OnEditorEnded(const GridDispInfo& info);
    void HandleMouse(wxEventType type, platform::ui::Point point, unsigned flags);

    CGridCtrl* grid_;
    platform::WindowHandle handle_ = 0;
    wxScrollBar* hbar_ = nullptr;
    wxScrollBar* vbar_ = nullptr;
    GridScrollBar hstate_;
    GridScrollBar vstate_;
    CTitleTip* titleTip_ = nullptr;
    std::map<unsigned, std::unique_ptr<Timer>> timers_;
    bool dropTargetSet_ = false;
    int busy_ = 0;
    // Modifier keys of the event being handled (none outside one).
    std::optional<std::pair<bool, bool>> eventModifiers_;
};

}  // namespace controls
