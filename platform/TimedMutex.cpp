#include "platform/TimedMutex.h"

#include <chrono>

namespace platform {

bool TimedMutex::LockFor(uint32_t ms) {
    const auto self = std::this_thread::get_id();
    std::unique_lock<std::mutex> lock(mutex_);
    if (count_ > 0 && owner_ == self) {
        ++count_;
        return true;
    }
    const auto free = [&] { return count_ == 0; };
    if (ms == kInfinite) {
        cv_.wait(lock, free);
    } else if (!cv_.wait_for(lock, std::chrono::milliseconds(ms), free)) {
        return false;
    }
    owner_ = self;
    count_ = 1;
    return true;
}

bool TimedMutex::Unlock() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (count_ == 0 || owner_ != std::this_thread::get_id()) return false;
        if (--count_ > 0) return true;
        owner_ = std::thread::id();
    }
    cv_.notify_one();
    return true;
}

bool TimedMutex::IsOwnedByCurrentThread() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return count_ > 0 && owner_ == std::this_thread::get_id();
}

}  // namespace platform
