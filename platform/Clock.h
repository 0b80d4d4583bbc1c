#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace platform {

// Time source for time-outs and schedules. Code that waits seconds or more takes
// a Clock& so that tests can run it in simulated time.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual int64_t NowMs() = 0;
    virtual int64_t NowUs() = 0;
    virtual void SleepMs(uint32_t ms) = 0;
};

// The monotonic system clock (steady, never jumps with the wall clock).
Clock& SystemClock();

// A deadline on the monotonic clock in microseconds, and the whole milliseconds left until
// it, rounded up: a wait of n ms never ends before n ms have passed.
inline int64_t DeadlineAfterMs(int64_t ms) {
    return SystemClock().NowUs() + ms * 1000;
}
inline int64_t MsLeftUntil(int64_t deadlineUs) {
    const int64_t left = deadlineUs - SystemClock().NowUs();
    return left > 0 ? (left + 999) / 1000 : 0;
}

// Simulated time: starts at 0 (or the given time), moves only by Advance/Set and
// SleepMs (which advances instead of sleeping). Safe to read from several threads.
class FakeClock : public Clock {
  public:
    explicit FakeClock(int64_t startMs = 0) : us_(startMs * 1000) {}
    int64_t NowMs() override { return us_.load() / 1000; }
    int64_t NowUs() override { return us_.load(); }
    void SleepMs(uint32_t ms) override { Advance(ms); }
    void Advance(int64_t ms) { us_ += ms * 1000; }
    void AdvanceUs(int64_t us) { us_ += us; }
    void SetMs(int64_t ms) { us_ = ms * 1000; }

  private:
    std::atomic<int64_t> us_;
};

// Wall-clock time broken down in local time, for stamps only.
struct LocalTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
    int dayOfWeek = 0;  // 0 = Sunday
};
LocalTime LocalNow();
// "YYYY-MM-DD HH:MM:SS" in local time.
std::string LocalTimeStamp();

}  // namespace platform
