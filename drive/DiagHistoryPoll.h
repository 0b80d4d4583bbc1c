#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

#include "platform/Event.h"
#include "platform/Thread.h"

namespace drive {

// The diagnosis history's poll thread: runs one pass per period, and can be paused around the
// drive object's long operations. Its owner stops it, which joins it, before the state a pass
// touches goes away.
class CDiagHistoryPollThread {
  public:
    enum State { kStop = 0, kRun = 1, kPauseRequested = 2, kPaused = 3 };
    static constexpr int32_t kMinPeriodMs = 100;

    explicit CDiagHistoryPollThread(std::function<void()> pass);
    ~CDiagHistoryPollThread();
    CDiagHistoryPollThread(const CDiagHistoryPollThread&) = delete;
    CDiagHistoryPollThread& operator=(const CDiagHistoryPollThread&) = delete;

    // Periods under 100 ms would make a busy loop; they are raised to 100 ms.
    void SetPeriodMs(int32_t ms);
    int32_t PeriodMs() const { return periodMs_.load(); }

    // Starts the thread, or lets a paused one run again (with a pass at once). True when a
    // thread exists afterwards.
    bool Start();
    // True once the thread has finished its pass and is paused, or when nothing runs; false when
    // it did not pause within the time-out (it pauses after its pass then).
    bool Pause(uint32_t timeoutMs);
    // Ends the thread and joins it; the pass under way is finished first.
    void Stop();
    bool Running() const { return thread_.IsRunning(); }
    int GetState() const { return state_.load(); }

  private:
    void Body();

    std::function<void()> pass_;
    std::atomic<int> state_{kStop};
    std::atomic<int32_t> periodMs_{2000};
    platform::Event wake_{false, true};
    std::mutex mutex_;
    std::condition_variable paused_;
    platform::Thread thread_;
};

}  // namespace drive
