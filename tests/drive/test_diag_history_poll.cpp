#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "drive/DiagHistoryPoll.h"

using namespace drive;
using namespace std::chrono_literals;

namespace {

// Counts passes; a pass can be held at a gate so that tests decide when it ends.
struct Passes {
    std::mutex mutex;
    std::condition_variable changed;
    int count = 0;
    bool holding = false;
    bool inside = false;

    void Pass() {
        std::unique_lock lock(mutex);
        inside = true;
        ++count;
        changed.notify_all();
        changed.wait(lock, [this] { return !holding; });
        inside = false;
    }
    bool WaitCount(int n) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 10s, [&] { return count >= n; });
    }
    void Hold(bool on) {
        std::lock_guard lock(mutex);
        holding = on;
        changed.notify_all();
    }
    int Count() {
        std::lock_guard lock(mutex);
        return count;
    }
};

}  // namespace

TEST(DiagHistoryPollThread, PausingWithoutAThreadIsImmediate) {
    CDiagHistoryPollThread poll([] {});
    EXPECT_TRUE(poll.Pause(0));
    EXPECT_FALSE(poll.Running());
    poll.Stop();  // nothing to stop
}

TEST(DiagHistoryPollThread, PeriodHasAMinimum) {
    CDiagHistoryPollThread poll([] {});
    for (int32_t ms : {0, -5, 99}) {
        poll.SetPeriodMs(ms);
        EXPECT_EQ(poll.PeriodMs(), 100);
    }
    poll.SetPeriodMs(250);
    EXPECT_EQ(poll.PeriodMs(), 250);
}

TEST(DiagHistoryPollThread, PauseWaitsForThePassResumeRunsAtOnceStopJoins) {
    Passes passes;
    CDiagHistoryPollThread poll([&] { passes.Pass(); });
    poll.SetPeriodMs(60000);  // only the wake-ups make passes
    passes.Hold(true);
    ASSERT_TRUE(poll.Start());
    ASSERT_TRUE(passes.WaitCount(1));  // the first pass runs at once

    // The pass is held: the pause cannot complete yet.
    EXPECT_FALSE(poll.Pause(30));
    EXPECT_EQ(poll.GetState(), CDiagHistoryPollThread::kPauseRequested);
    passes.Hold(false);
    EXPECT_TRUE(poll.Pause(10000));
    EXPECT_EQ(poll.GetState(), CDiagHistoryPollThread::kPaused);
    EXPECT_TRUE(poll.Pause(0));  // already paused
    const int paused = passes.Count();

    // Resuming makes a pass at once, not after the period.
    ASSERT_TRUE(poll.Start());
    ASSERT_TRUE(passes.WaitCount(paused + 1));
    EXPECT_EQ(poll.GetState(), CDiagHistoryPollThread::kRun);

    // Stop while a pass is held: it returns only once the pass has finished and the thread ended.
    passes.Hold(true);
    poll.SetPeriodMs(100);
    ASSERT_TRUE(passes.WaitCount(paused + 2));
    std::thread release([&] {
        std::this_thread::sleep_for(20ms);
        passes.Hold(false);
    });
    poll.Stop();
    EXPECT_FALSE(poll.Running());
    {
        std::lock_guard lock(passes.mutex);
        EXPECT_FALSE(passes.inside);
    }
    release.join();

    // A stopped thread starts again.
    const int before = passes.Count();
    ASSERT_TRUE(poll.Start());
    ASSERT_TRUE(passes.WaitCount(before + 1));
    poll.Stop();
    EXPECT_EQ(poll.GetState(), CDiagHistoryPollThread::kStop);
}

TEST(DiagHistoryPollThread, DestructorJoinsARunningThread) {
    Passes passes;
    {
        CDiagHistoryPollThread poll([&] { passes.Pass(); });
        poll.SetPeriodMs(100);
        ASSERT_TRUE(poll.Start());
        ASSERT_TRUE(passes.WaitCount(2));
    }
    const int after = passes.Count();
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(passes.Count(), after);
}
