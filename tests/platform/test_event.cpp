#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "platform/Event.h"
#include "platform/Thread.h"
#include "platform/ThreadLog.h"
#include "platform/TimedMutex.h"

using namespace platform;

namespace {

// Polls until the condition holds; the limit is generous so that a loaded machine never fails it.
template <class F>
bool Eventually(F condition, int ms = 20000) {
    const int64_t end = SystemClock().NowMs() + ms;
    while (!condition()) {
        if (SystemClock().NowMs() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

struct Waiters {
    Event& event;
    std::atomic<int> released{0};
    std::vector<std::thread> threads;
    Waiters(Event& e, int count) : event(e) {
        for (int i = 0; i < count; ++i)
            threads.emplace_back([this] {
                if (event.Wait(60000)) ++released;
            });
    }
    ~Waiters() {
        for (auto& t : threads) t.join();
    }
};

}  // namespace

TEST(Event, AutoResetReleasesExactlyOneWaiterPerSet) {
    Event event(false);
    Waiters waiters(event, 4);
    for (int set = 1; set <= 4; ++set) {
        event.Set();
        ASSERT_TRUE(Eventually([&] { return waiters.released == set; })) << set;
        // Give a wrongly released second waiter the chance to show up.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(waiters.released, set);
        EXPECT_FALSE(event.IsSet());
    }
}

TEST(Event, ManualResetReleasesAllAndStaysSet) {
    Event event(true);
    {
        Waiters waiters(event, 4);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        event.Set();
        ASSERT_TRUE(Eventually([&] { return waiters.released == 4; }));
    }
    EXPECT_TRUE(event.IsSet());
    EXPECT_TRUE(event.Wait(0));
    event.Reset();
    EXPECT_FALSE(event.Wait(0));
}

TEST(Event, TimedWaitReportsTimeOut) {
    for (bool manual : {false, true}) {
        Event event(manual);
        const int64_t start = SystemClock().NowMs();
        EXPECT_FALSE(event.Wait(60));
        EXPECT_GE(SystemClock().NowMs() - start, 60);
    }
    Event initiallySet(false, true);
    EXPECT_TRUE(initiallySet.Wait(0));
    EXPECT_FALSE(initiallySet.Wait(0));  // auto-reset consumed it
}

TEST(TimedMutex, LockTimesOutWhileAnotherThreadOwnsIt) {
    TimedMutex mutex;
    Event locked(true), release(true);
    std::thread owner([&] {
        ASSERT_TRUE(mutex.LockFor(kInfinite));
        locked.Set();
        release.Wait();
        EXPECT_TRUE(mutex.Unlock());
    });
    ASSERT_TRUE(locked.Wait(20000));

    const int64_t start = SystemClock().NowMs();
    EXPECT_FALSE(mutex.LockFor(80));
    EXPECT_GE(SystemClock().NowMs() - start, 80);
    EXPECT_FALSE(mutex.IsOwnedByCurrentThread());
    EXPECT_FALSE(mutex.Unlock());  // not the owner: refused
    {
        TimedLock lock(mutex, 10);
        EXPECT_FALSE(lock.Owns());
    }

    release.Set();
    EXPECT_TRUE(mutex.LockFor(20000));
    owner.join();
    EXPECT_TRUE(mutex.IsOwnedByCurrentThread());
    EXPECT_TRUE(mutex.Unlock());
    EXPECT_FALSE(mutex.Unlock());
}

TEST(TimedMutex, OwnerMayLockAgainAndNeedsAsManyUnlocks) {
    TimedMutex mutex;
    ASSERT_TRUE(mutex.LockFor(0));
    ASSERT_TRUE(mutex.LockFor(0));
    EXPECT_TRUE(mutex.Unlock());
    std::atomic<bool> got{true};
    std::thread([&] { got = mutex.LockFor(20); }).join();
    EXPECT_FALSE(got);
    EXPECT_TRUE(mutex.Unlock());
    std::thread([&] {
        got = mutex.LockFor(20000);
        mutex.Unlock();
    }).join();
    EXPECT_TRUE(got);
}

TEST(Thread, LogsStartAndStopWithKernelIdAndStopsOnRequest) {
    std::mutex linesMutex;
    std::vector<std::string> lines;
    SetThreadLogSink([&](const std::string& line) {
        std::lock_guard<std::mutex> lock(linesMutex);
        lines.push_back(line);
    });
    {
        Thread thread;
        std::atomic<unsigned> seen{0};
        ASSERT_TRUE(thread.Start("CWorker::Run", [&](StopToken& stop) {
            seen = CurrentThreadId();
            while (!stop.WaitForStop(kInfinite)) {
            }
        }));
        EXPECT_FALSE(thread.Start("again", [](StopToken&) {}));
        EXPECT_FALSE(thread.JoinFor(30));  // still waiting for its stop request
        EXPECT_TRUE(thread.IsRunning());
        thread.RequestStop();
        ASSERT_TRUE(thread.JoinFor(20000));
        EXPECT_FALSE(thread.IsRunning());
        ASSERT_NE(seen.load(), 0u);
        EXPECT_NE(seen.load(), CurrentThreadId());
        EXPECT_EQ(thread.ThreadId(), seen.load());

        char expected[64];
        std::snprintf(expected, sizeof expected, "CWorker::Run started 0x%X", seen.load());
        std::lock_guard<std::mutex> lock(linesMutex);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0], expected);
        std::snprintf(expected, sizeof expected, "CWorker::Run stopped 0x%X", seen.load());
        EXPECT_EQ(lines[1], expected);
    }
    SetThreadLogSink(nullptr);
    LogThreadStart("no sink");  // nothing happens
}

TEST(Thread, DestructorStopsAndJoins) {
    std::atomic<bool> finished{false};
    {
        Thread thread;
        thread.Start("loop", [&](StopToken& stop) {
            while (!stop.StopRequested()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            finished = true;
        });
    }
    EXPECT_TRUE(finished);
}

TEST(Clock, FakeClockMovesOnlyWhenTold) {
    FakeClock clock(1000);
    EXPECT_EQ(clock.NowMs(), 1000);
    clock.SleepMs(250);
    EXPECT_EQ(clock.NowMs(), 1250);
    clock.AdvanceUs(1500);
    EXPECT_EQ(clock.NowUs(), 1251500);
    Clock& system = SystemClock();
    const int64_t a = system.NowUs();
    system.SleepMs(2);
    EXPECT_GE(system.NowUs() - a, 2000);
    EXPECT_EQ(LocalTimeStamp().size(), 19u);
}
