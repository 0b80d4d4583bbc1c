#pragma once
// A window as the rest of the program sees it: a platform message handle,
// WM_USER-based messages delivered on the GUI thread, and timers by id.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "platform/Messages.h"

class wxWindow;
class wxTimer;
class wxWindowDestroyEvent;

namespace platform::ui {

// The system's close request: a window that receives it closes as the user's close box would.
constexpr unsigned WM_CLOSE = 0x0010;

class Window : public platform::MessageSink {
  public:
    using Handler = std::function<intptr_t(uintptr_t wParam, intptr_t lParam)>;

    Window();
    ~Window() override;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Binds this object to a wx window: gives it a message handle that lives
    // until the wx window is destroyed (or this object, whichever comes first).
    void Attach(wxWindow* window);
    wxWindow* Wx() const { return window_; }
    platform::WindowHandle Handle() const { return handle_; }
    bool IsAlive() const { return window_ != nullptr; }
    // Destroys the wx window now; pending messages to it are dropped.
    void DestroyWindow();

    // Handler for one message number; replaces an earlier one.
    void OnMessageId(unsigned msg, Handler handler);

    // Posts to this window; false when it has no handle (not created or destroyed).
    bool Post(unsigned msg, uintptr_t wParam = 0, intptr_t lParam = 0) const;
    // Calls the handler now (GUI thread), returning its result; 0 when none.
    intptr_t Send(unsigned msg, uintptr_t wParam = 0, intptr_t lParam = 0);

    // Timers are window-local ids; setting an id again restarts it.
    bool SetTimer(unsigned id, unsigned periodMs);
    bool KillTimer(unsigned id);
    bool HasTimer(unsigned id) const;

    void OnMessage(const platform::Message& message) override;

  protected:
    // Messages without a handler land here.
    virtual intptr_t WindowProc(unsigned msg, uintptr_t wParam, intptr_t lParam);
    virtual void OnTimer(unsigned id);
    // The wx window is going away (by its parent or by DestroyWindow).
    virtual void OnDestroy() {}

  private:
    class TimerSlot;
    void Detach();
    void HandleDestroy(wxWindowDestroyEvent& event);

    wxWindow* window_ = nullptr;
    platform::WindowHandle handle_ = 0;
    std::map<unsigned, Handler> handlers_;
    std::map<unsigned, std::unique_ptr<TimerSlot>> timers_;
};

// Sends to any window by handle. On the GUI thread the handler runs at once;
// from another thread the call is carried to the GUI thread and waits for the
// result, as a sent message does: never send to a GUI thread that is waiting
// for the sender (post instead). Unknown handles answer 0.
intptr_t SendMessage(platform::WindowHandle window, unsigned msg, uintptr_t wParam = 0, intptr_t lParam = 0);
// The Window behind a handle, or null (GUI thread only).
Window* FromHandle(platform::WindowHandle window);
// The Window attached to a wx window, or null (GUI thread only).
Window* FromWx(const wxWindow* window);

}  // namespace platform::ui
