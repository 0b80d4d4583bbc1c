#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "platform/Event.h"
#include "platform/Messages.h"

using namespace platform;

namespace {

// Messages left over by an earlier test must not leak into the next.
class Messages : public ::testing::Test {
  protected:
    void SetUp() override { PumpMessages(); }
    void TearDown() override {
        SetWakeHook(nullptr);
        PumpMessages();
    }
};

size_t PumpUntil(const RecordingSink& sink, size_t count) {
    const int64_t end = SystemClock().NowMs() + 30000;
    while (sink.Count() < count && SystemClock().NowMs() < end) {
        WaitForMessages(100);
        PumpMessages();
    }
    return sink.Count();
}

}  // namespace

TEST_F(Messages, PostsFromSeveralThreadsArriveInEachThreadsOrder) {
    RecordingSink sink;
    constexpr int kThreads = 4;
    constexpr int kPerThread = 2000;
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) EXPECT_TRUE(PostMessage(sink.Handle(), WM_USER + 4, t, i));
        });
    }
    // Pump while they post, as the GUI thread would.
    ASSERT_EQ(PumpUntil(sink, kThreads * kPerThread), size_t(kThreads * kPerThread));
    for (auto& p : posters) p.join();

    std::vector<intptr_t> next(kThreads, 0);
    for (const Message& m : sink.Messages()) {
        EXPECT_EQ(m.hwnd, sink.Handle());
        EXPECT_EQ(m.msg, WM_USER + 4);
        ASSERT_LT(m.wParam, size_t(kThreads));
        EXPECT_EQ(m.lParam, next[m.wParam]++) << "thread " << m.wParam;
    }
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(next[t], kPerThread);
}

TEST_F(Messages, SendDeliversOnTheSinksOwnThreadAndIsRefusedElsewhere) {
    struct Case {
        const char* what;
        bool fromOtherThread;
        bool unknownHandle;
        bool delivered;
    } cases[] = {
        {"own thread", false, false, true},
        {"another thread", true, false, false},
        {"unknown handle", false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingSink sink;
        const WindowHandle handle = c.unknownHandle ? WindowHandle(0xDEAD) : sink.Handle();
        bool sent = false;
        if (c.fromOtherThread) {
            std::thread worker([&] { sent = SendMessage(handle, WM_USER + 9, 1, 2); });
            worker.join();
        } else {
            sent = SendMessage(handle, WM_USER + 9, 1, 2);
        }
        EXPECT_EQ(sent, c.delivered);
        // Delivered before the call returned, without a pump; a refused send queues nothing.
        EXPECT_EQ(sink.Count(), c.delivered ? 1u : 0u);
        EXPECT_EQ(PendingMessageCount(), 0u);
        if (c.delivered) {
            EXPECT_EQ(sink.Messages()[0].msg, WM_USER + 9);
            EXPECT_EQ(sink.Messages()[0].lParam, 2);
        }
    }
}

TEST_F(Messages, MessagesToDestroyedHandleAreDropped) {
    RecordingSink keep;
    WindowHandle gone;
    {
        RecordingSink dying;
        gone = dying.Handle();
        EXPECT_TRUE(PostMessage(gone, WM_USER + 1, 1, 2));
        EXPECT_TRUE(PostMessage(keep.Handle(), WM_USER + 1, 3, 4));
    }  // destroyed with a message queued
    EXPECT_FALSE(IsSinkRegistered(gone));
    EXPECT_FALSE(PostMessage(gone, WM_USER + 1, 5, 6));
    EXPECT_FALSE(PostMessage(0, WM_USER, 0, 0));
    EXPECT_EQ(PumpMessages(), 1u);
    ASSERT_EQ(keep.Count(), 1u);
    EXPECT_EQ(keep.Messages()[0].wParam, 3u);

    // A new sink never gets the old handle back.
    RecordingSink fresh;
    EXPECT_NE(fresh.Handle(), gone);
}

TEST_F(Messages, UnregisterWaitsForDeliveryOnOtherThread) {
    struct BlockingSink : MessageSink {
        Event entered{true}, release{true};
        void OnMessage(const Message&) override {
            entered.Set();
            release.Wait(60000);
        }
    } sink;
    const WindowHandle h = RegisterSink(&sink);
    ASSERT_TRUE(PostMessage(h, WM_USER, 0, 0));
    std::thread gui([] { PumpMessages(); });
    ASSERT_TRUE(sink.entered.Wait(20000));

    std::atomic<bool> unregistered{false};
    std::thread closer([&] {
        UnregisterSink(h);
        unregistered = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(unregistered);  // the sink is still in use
    sink.release.Set();
    closer.join();
    gui.join();
    EXPECT_TRUE(unregistered);
}

TEST_F(Messages, SinkMayPostAndUnregisterDuringDelivery) {
    struct SelfSink : MessageSink {
        WindowHandle handle = 0;
        std::vector<unsigned> got;
        void OnMessage(const Message& m) override {
            got.push_back(m.msg);
            if (m.msg == 1) PostMessage(handle, 2, 0, 0);
            if (m.msg == 2) UnregisterSink(handle);  // a window closing itself
        }
    } sink;
    sink.handle = RegisterSink(&sink);
    PostMessage(sink.handle, 1, 0, 0);
    EXPECT_EQ(PumpMessages(), 2u);
    EXPECT_EQ(sink.got, (std::vector<unsigned>{1, 2}));
    EXPECT_FALSE(IsSinkRegistered(sink.handle));
}

TEST_F(Messages, WakeHookFiresWhenQueueStopsBeingEmpty) {
    RecordingSink sink;
    std::atomic<int> wakes{0};
    SetWakeHook([&] { ++wakes; });
    PostMessage(sink.Handle(), WM_USER, 0, 0);
    PostMessage(sink.Handle(), WM_USER, 1, 0);
    EXPECT_EQ(wakes, 1);
    EXPECT_EQ(PendingMessageCount(), 2u);
    EXPECT_EQ(PumpMessages(), 2u);
    std::thread([&] { PostMessage(sink.Handle(), WM_USER, 2, 0); }).join();
    EXPECT_EQ(wakes, 2);
    SetWakeHook(nullptr);
    PostMessage(sink.Handle(), WM_USER, 3, 0);
    PumpMessages();
    EXPECT_EQ(wakes, 2);
    EXPECT_EQ(sink.Count(), 4u);
}
