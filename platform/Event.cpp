#include "platform/Event.h"

#include <chrono>

namespace platform {

Event::Event(bool manualReset, bool initialState) : manual_(manualReset), state_(initialState) {}

void Event::Set() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        state_ = true;
    }
    // An auto-reset event lets one waiter through; it clears the state on its way out.
    if (manual_)
        cv_.notify_all();
    else
        cv_.notify_one();
}

void Event::Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    state_ = false;
}

bool Event::Wait(uint32_t ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    const auto signalled = [&] { return state_; };
    if (ms == kInfinite) {
        cv_.wait(lock, signalled);
    } else if (!cv_.wait_for(lock, std::chrono::milliseconds(ms), signalled)) {
        return false;
    }
    if (!manual_) state_ = false;
    return true;
}

bool Event::IsSet() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_;
}

}  // namespace platform
