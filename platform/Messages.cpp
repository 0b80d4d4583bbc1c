#include "platform/Messages.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <thread>
#include <unordered_map>

namespace platform {
namespace {

struct Dispatcher {
    std::mutex mutex;
    std::condition_variable posted;     // a message was queued
    std::condition_variable delivered;  // a delivery finished
    std::deque<Message> queue;
    std::unordered_map<WindowHandle, MessageSink*> sinks;
    std::unordered_map<WindowHandle, std::thread::id> owners;  // the thread that registered each sink
    WindowHandle next = 0x10000;
    // Deliveries in progress: handle -> delivering thread (one pump per thread at a time).
    std::unordered_map<std::thread::id, WindowHandle> delivering;
    std::shared_ptr<std::function<void()>> wake;
};

Dispatcher& D() {
    // Never destroyed: workers may still post while static objects are torn down.
    static Dispatcher* d = new Dispatcher;
    return *d;
}

// Hands one message to its sink with the dispatcher unlocked. The delivery is marked, so that an
// unregistration on another thread waits for it; a sink may pump itself (a modal loop inside
// OnMessage), so the outer delivery is remembered and put back.
void Deliver(Dispatcher& d, std::unique_lock<std::mutex>& lock, MessageSink& sink, const Message& m) {
    const auto self = std::this_thread::get_id();
    const auto prev = d.delivering.find(self);
    const WindowHandle outer = prev != d.delivering.end() ? prev->second : 0;
    d.delivering[self] = m.hwnd;
    lock.unlock();
    sink.OnMessage(m);
    lock.lock();
    if (outer)
        d.delivering[self] = outer;
    else
        d.delivering.erase(self);
    d.delivered.notify_all();
}

}  // namespace

WindowHandle RegisterSink(MessageSink* sink) {
    if (!sink) return 0;
    Dispatcher& d = D();
    std::lock_guard<std::mutex> lock(d.mutex);
    const WindowHandle h = d.next++;
    d.sinks.emplace(h, sink);
    d.owners.emplace(h, std::this_thread::get_id());
    return h;
}

void UnregisterSink(WindowHandle handle) {
    Dispatcher& d = D();
    std::unique_lock<std::mutex> lock(d.mutex);
    if (d.sinks.erase(handle) == 0) return;
    d.owners.erase(handle);
    std::erase_if(d.queue, [&](const Message& m) { return m.hwnd == handle; });
    // A delivery in progress on another thread must finish before the sink may go.
    const auto self = std::this_thread::get_id();
    d.delivered.wait(lock, [&] {
        for (const auto& [thread, h] : d.delivering) {
            if (h == handle && thread != self) return false;
        }
        return true;
    });
}

bool IsSinkRegistered(WindowHandle handle) {
    Dispatcher& d = D();
    std::lock_guard<std::mutex> lock(d.mutex);
    return d.sinks.count(handle) != 0;
}

bool PostMessage(WindowHandle handle, unsigned msg, std::uintptr_t wParam, std::intptr_t lParam) {
    Dispatcher& d = D();
    std::shared_ptr<std::function<void()>> wake;
    {
        std::lock_guard<std::mutex> lock(d.mutex);
        if (d.sinks.count(handle) == 0) return false;
        const bool wasEmpty = d.queue.empty();
        d.queue.push_back(Message{handle, msg, wParam, lParam});
        if (wasEmpty) wake = d.wake;
    }
    d.posted.notify_all();
    if (wake && *wake) (*wake)();
    return true;
}

bool SendMessage(WindowHandle handle, unsigned msg, std::uintptr_t wParam, std::intptr_t lParam) {
    Dispatcher& d = D();
    const auto self = std::this_thread::get_id();
    std::unique_lock<std::mutex> lock(d.mutex);
    const auto it = d.sinks.find(handle);
    if (it == d.sinks.end() || d.owners[handle] != self) return false;
    Deliver(d, lock, *it->second, Message{handle, msg, wParam, lParam});
    return true;
}

size_t PumpMessages() {
    Dispatcher& d = D();
    size_t count = 0;
    std::unique_lock<std::mutex> lock(d.mutex);
    while (!d.queue.empty()) {
        const Message m = d.queue.front();
        d.queue.pop_front();
        const auto it = d.sinks.find(m.hwnd);
        if (it == d.sinks.end()) continue;
        Deliver(d, lock, *it->second, m);
        ++count;
    }
    return count;
}

bool WaitForMessages(uint32_t ms) {
    Dispatcher& d = D();
    std::unique_lock<std::mutex> lock(d.mutex);
    return d.posted.wait_for(lock, std::chrono::milliseconds(ms), [&] { return !d.queue.empty(); });
}

size_t PendingMessageCount() {
    Dispatcher& d = D();
    std::lock_guard<std::mutex> lock(d.mutex);
    return d.queue.size();
}

void SetWakeHook(std::function<void()> hook) {
    Dispatcher& d = D();
    auto holder = hook ? std::make_shared<std::function<void()>>(std::move(hook)) : nullptr;
    bool pending;
    {
        std::lock_guard<std::mutex> lock(d.mutex);
        d.wake = holder;
        pending = !d.queue.empty();
    }
    if (holder && pending) (*holder)();
}

RecordingSink::RecordingSink() : handle_(RegisterSink(this)) {}

RecordingSink::~RecordingSink() {
    Unregister();
}

void RecordingSink::Unregister() {
    if (handle_) UnregisterSink(handle_);
}

void RecordingSink::OnMessage(const Message& message) {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.push_back(message);
}

std::vector<Message> RecordingSink::Messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
}

size_t RecordingSink::Count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_.size();
}

void RecordingSink::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.clear();
}

}  // namespace platform
