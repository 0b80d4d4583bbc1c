#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace platform {

// Handle of a window or other message sink; 0 is none. Handles are never reused.
using WindowHandle = std::uintptr_t;

constexpr unsigned WM_CLOSE = 0x0010;
constexpr unsigned WM_USER = 0x0400;

struct Message {
    WindowHandle hwnd = 0;
    unsigned msg = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
};

class MessageSink {
  public:
    virtual ~MessageSink() = default;
    virtual void OnMessage(const Message& message) = 0;
};

// Gives the sink a new handle. The sink must outlive its registration.
WindowHandle RegisterSink(MessageSink* sink);
// After this returns no message reaches the sink: queued ones are dropped, and a
// delivery running on another thread has finished. Unknown handles are ignored.
void UnregisterSink(WindowHandle handle);
bool IsSinkRegistered(WindowHandle handle);

// Queues a message for the handle; thread-safe, never blocks on delivery, keeps the
// order of each posting thread. False for a handle that is not registered.
bool PostMessage(WindowHandle handle, unsigned msg, std::uintptr_t wParam, std::intptr_t lParam);

// Delivers the message at once when called on the thread that registered the sink (a
// window's own thread): the sink has handled it when this returns true. From any other
// thread the send is refused (false) and nothing is delivered: workers post. False for a
// handle that is not registered too.
bool SendMessage(WindowHandle handle, unsigned msg, std::uintptr_t wParam, std::intptr_t lParam);

// Delivers queued messages on the calling thread (the GUI thread) until the queue is
// empty, including messages posted by the sinks themselves; returns how many were
// delivered. Messages whose handle was unregistered meanwhile are dropped.
size_t PumpMessages();
// Waits until a message is queued (true) or ms passed (false). For tests and
// non-GUI loops.
bool WaitForMessages(uint32_t ms);
size_t PendingMessageCount();

// Called (on the posting thread) when a message lands in an empty queue, so that the
// window layer can schedule PumpMessages on its GUI thread. Must be cheap and must
// not block. An empty function removes the hook.
void SetWakeHook(std::function<void()> hook);

// A sink that registers itself and records what it receives. For tests.
class RecordingSink : public MessageSink {
  public:
    RecordingSink();
    ~RecordingSink() override;
    RecordingSink(const RecordingSink&) = delete;
    RecordingSink& operator=(const RecordingSink&) = delete;

    WindowHandle Handle() const { return handle_; }
    void OnMessage(const Message& message) override;
    std::vector<Message> Messages() const;
    size_t Count() const;
    void Clear();
    // Drops the registration early (as a destroyed window would).
    void Unregister();

  private:
    mutable std::mutex mutex_;
    std::vector<Message> messages_;
    WindowHandle handle_;
};

}  // namespace platform
