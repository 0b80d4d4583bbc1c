#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/Event.h"

namespace platform {

// Recursive mutex with timed acquisition and an owner check:
// the owning thread may lock it again (each lock needs its Unlock), and an Unlock
// from a thread that does not own it is refused.
class TimedMutex {
  public:
    TimedMutex() = default;
    TimedMutex(const TimedMutex&) = delete;
    TimedMutex& operator=(const TimedMutex&) = delete;

    // True when acquired within ms (kInfinite waits forever), false on time-out.
    bool LockFor(uint32_t ms);
    void Lock() { LockFor(kInfinite); }
    // False (and nothing changes) when the calling thread does not own the mutex.
    bool Unlock();
    bool IsOwnedByCurrentThread() const;

  private:
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::thread::id owner_;
    unsigned count_ = 0;
};

// Scoped acquisition; test Owns() before using what the mutex guards.
class TimedLock {
  public:
    TimedLock(TimedMutex& mutex, uint32_t ms) : mutex_(mutex), owns_(mutex.LockFor(ms)) {}
    ~TimedLock() {
        if (owns_) mutex_.Unlock();
    }
    TimedLock(const TimedLock&) = delete;
    TimedLock& operator=(const TimedLock&) = delete;

    bool Owns() const { return owns_; }
    explicit operator bool() const { return owns_; }
    void Unlock() {
        if (owns_) mutex_.Unlock();
        owns_ = false;
    }

  private:
    TimedMutex& mutex_;
    bool owns_;
};

}  // namespace platform
