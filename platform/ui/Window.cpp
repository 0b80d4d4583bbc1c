#include "platform/ui/Window.h"

#include <future>
#include <unordered_map>

#include <wx/app.h>
#include <wx/timer.h>
#include <wx/window.h>

#include "platform/ui/Gui.h"

namespace platform::ui {
namespace {

// Handle -> object, touched only on the GUI thread.
std::unordered_map<platform::WindowHandle, Window*>& Windows() {
    static std::unordered_map<platform::WindowHandle, Window*> windows;
    return windows;
}

}  // namespace

class Window::TimerSlot : public wxTimer {
  public:
    TimerSlot(Window& owner, unsigned id) : owner_(owner), id_(id) {}
    void Notify() override { owner_.OnTimer(id_); }

  private:
    Window& owner_;
    unsigned id_;
};

Window::Window() = default;

Window::~Window() {
    timers_.clear();
    if (window_ != nullptr) {
        wxWindow* w = window_;
        Detach();
        w->Destroy();
    }
}

void Window::Attach(wxWindow* window) {
    if (window_ != nullptr) Detach();
    window_ = window;
    if (window_ == nullptr) return;
    handle_ = platform::RegisterSink(this);
    Windows()[handle_] = this;
    window_->Bind(wxEVT_DESTROY, &Window::HandleDestroy, this);
}

void Window::HandleDestroy(wxWindowDestroyEvent& event) {
    event.Skip();
    if (event.GetEventObject() == window_) {
        OnDestroy();
        Detach();
    }
}

void Window::Detach() {
    timers_.clear();
    if (window_ != nullptr) window_->Unbind(wxEVT_DESTROY, &Window::HandleDestroy, this);
    if (handle_ != 0) {
        platform::UnregisterSink(handle_);
        Windows().erase(handle_);
        handle_ = 0;
    }
    window_ = nullptr;
}

void Window::DestroyWindow() {
    if (window_ == nullptr) return;
    wxWindow* w = window_;
    OnDestroy();
    Detach();
    w->Destroy();
}

void Window::OnMessageId(unsigned msg, Handler handler) {
    handlers_[msg] = std::move(handler);
}

bool Window::Post(unsigned msg, uintptr_t wParam, intptr_t lParam) const {
    return handle_ != 0 && platform::PostMessage(handle_, msg, wParam, lParam);
}

intptr_t Window::Send(unsigned msg, uintptr_t wParam, intptr_t lParam) {
    auto it = handlers_.find(msg);
    if (it != handlers_.end() && it->second) return it->second(wParam, lParam);
    return WindowProc(msg, wParam, lParam);
}

void Window::OnMessage(const platform::Message& message) {
    Send(message.msg, message.wParam, message.lParam);
}

intptr_t Window::WindowProc(unsigned, uintptr_t, intptr_t) {
    return 0;
}

void Window::OnTimer(unsigned) {}

bool Window::SetTimer(unsigned id, unsigned periodMs) {
    if (window_ == nullptr || periodMs == 0) return false;
    auto& slot = timers_[id];
    if (!slot) slot = std::make_unique<TimerSlot>(*this, id);
    return slot->Start(static_cast<int>(periodMs));
}

bool Window::KillTimer(unsigned id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return false;
    it->second->Stop();
    timers_.erase(it);
    return true;
}

bool Window::HasTimer(unsigned id) const {
    return timers_.count(id) != 0;
}

Window* FromHandle(platform::WindowHandle window) {
    auto it = Windows().find(window);
    return it == Windows().end() ? nullptr : it->second;
}

Window* FromWx(const wxWindow* window) {
    if (window == nullptr) return nullptr;
    for (const auto& [handle, object] : Windows()) {
        if (object->Wx() == window) return object;
    }
    return nullptr;
}

intptr_t SendMessage(platform::WindowHandle window, unsigned msg, uintptr_t wParam, intptr_t lParam) {
    if (IsGuiThread()) {
        Window* target = FromHandle(window);
        return target != nullptr ? target->Send(msg, wParam, lParam) : 0;
    }
    if (wxTheApp == nullptr) return 0;
    auto done = std::make_shared<std::promise<intptr_t>>();
    auto result = done->get_future();
    wxTheApp->CallAfter([=] {
        Window* target = FromHandle(window);
        done->set_value(target != nullptr ? target->Send(msg, wParam, lParam) : 0);
    });
    return result.get();
}

}  // namespace platform::ui
