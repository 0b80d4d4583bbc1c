#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace platform {

constexpr uint32_t kInfinite = 0xFFFFFFFFu;

// Signalling object, auto- or manual-reset: an auto-reset event releases
// exactly one waiter per Set and clears itself; a manual-reset event releases
// every waiter and stays set until Reset.
class Event {
  public:
    explicit Event(bool manualReset, bool initialState = false);
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();
    // True when signalled within ms (kInfinite waits forever), false on time-out.
    bool Wait(uint32_t ms = kInfinite);
    bool IsSet() const;
    bool IsManualReset() const { return manual_; }

  private:
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    const bool manual_;
    bool state_;
};

}  // namespace platform
