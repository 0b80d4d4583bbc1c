#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <wx/frame.h>

#include "platform/Messages.h"
#include "platform/ui/Gui.h"
#include "platform/ui/Window.h"

using platform::WM_USER;
using platform::ui::RunUntil;
using platform::ui::Window;

namespace {

struct Received {
    unsigned msg;
    uintptr_t wParam;
    intptr_t lParam;
    bool onGuiThread;
};

class RecordingWindow : public Window {
  public:
    RecordingWindow() {
        Attach(new wxFrame(nullptr, wxID_ANY, "messages"));
        for (unsigned m : {WM_USER + 1, WM_USER + 2}) {
            OnMessageId(m, [this, m](uintptr_t w, intptr_t l) {
                received.push_back({m, w, l, platform::ui::IsGuiThread()});
                return static_cast<intptr_t>(w * 2);
            });
        }
    }
    std::vector<Received> received;
    std::vector<unsigned> timerIds;

  protected:
    void OnTimer(unsigned id) override { timerIds.push_back(id); }
};

TEST(WindowMessages, PostedFromWorkersArriveOnGuiThreadInOrder) {
    RecordingWindow window;
    const platform::WindowHandle handle = window.Handle();
    ASSERT_NE(handle, 0u);
    constexpr int kPerWorker = 500;
    auto worker = [handle](unsigned msg) {
        for (int i = 0; i < kPerWorker; ++i) ASSERT_TRUE(platform::PostMessage(handle, msg, i, -i));
    };
    std::thread a(worker, WM_USER + 1);
    std::thread b(worker, WM_USER + 2);
    a.join();
    b.join();
    ASSERT_TRUE(RunUntil([&] { return window.received.size() == 2 * kPerWorker; }, 20000));
    uintptr_t next[2] = {0, 0};
    for (const Received& r : window.received) {
        EXPECT_TRUE(r.onGuiThread);
        const int worker_index = r.msg == WM_USER + 1 ? 0 : 1;
        EXPECT_EQ(r.wParam, next[worker_index]) << "message out of order";
        EXPECT_EQ(r.lParam, -static_cast<intptr_t>(r.wParam));
        ++next[worker_index];
    }
}

TEST(WindowMessages, MessageToDestroyedWindowIsDropped) {
    RecordingWindow window;
    const platform::WindowHandle handle = window.Handle();
    ASSERT_TRUE(platform::PostMessage(handle, WM_USER + 1, 7, 0));
    window.DestroyWindow();
    EXPECT_FALSE(window.IsAlive());
    EXPECT_FALSE(platform::PostMessage(handle, WM_USER + 1, 8, 0));
    platform::ui::ProcessPending();
    platform::PumpMessages();
    EXPECT_TRUE(window.received.empty());
    EXPECT_EQ(platform::ui::FromHandle(handle), nullptr);
}

TEST(WindowMessages, WindowDestroyedByWxParentStopsDelivery) {
    auto* top = new wxFrame(nullptr, wxID_ANY, "parent");
    auto* parent = new wxWindow(top, wxID_ANY);
    Window child;
    child.Attach(new wxWindow(parent, wxID_ANY));
    int delivered = 0;
    child.OnMessageId(WM_USER + 5, [&](uintptr_t, intptr_t) { return ++delivered; });
    ASSERT_TRUE(child.Post(WM_USER + 5));
    parent->Destroy();  // children go with it, before any pump
    EXPECT_FALSE(child.IsAlive());
    platform::ui::ProcessPending();
    EXPECT_EQ(delivered, 0);
    top->Destroy();
}

TEST(WindowMessages, SendRunsTheHandlerOnTheGuiThreadAndReturnsItsResult) {
    RecordingWindow window;
    EXPECT_EQ(platform::ui::SendMessage(window.Handle(), WM_USER + 1, 21, 0), 42);
    std::atomic<intptr_t> fromWorker{0};
    std::atomic<bool> done{false};
    std::thread worker([&] {
        fromWorker = platform::ui::SendMessage(window.Handle(), WM_USER + 2, 5, 0);
        done = true;
    });
    ASSERT_TRUE(RunUntil([&] { return done.load(); }, 20000));
    worker.join();
    EXPECT_EQ(fromWorker.load(), 10);
    ASSERT_EQ(window.received.size(), 2u);
    EXPECT_TRUE(window.received[1].onGuiThread);
    EXPECT_EQ(platform::ui::SendMessage(0xDEAD, WM_USER + 1, 1, 0), 0);
}

TEST(WindowTimers, FireByIdAndStopWhenKilled) {
    RecordingWindow window;
    ASSERT_TRUE(window.SetTimer(1234, 15));
    ASSERT_TRUE(window.SetTimer(1237, 25));
    auto count = [&](unsigned id) { return std::count(window.timerIds.begin(), window.timerIds.end(), id); };
    ASSERT_TRUE(RunUntil([&] { return count(1234) >= 3 && count(1237) >= 2; }, 20000));
    EXPECT_TRUE(window.KillTimer(1234));
    EXPECT_FALSE(window.KillTimer(1234));
    EXPECT_FALSE(window.HasTimer(1234));
    platform::ui::ProcessPending();
    const auto killedAt = count(1234);
    const auto otherAt = count(1237);
    ASSERT_TRUE(RunUntil([&] { return count(1237) >= otherAt + 3; }, 20000));
    EXPECT_EQ(count(1234), killedAt) << "a killed timer fired";
    window.DestroyWindow();
    EXPECT_FALSE(window.HasTimer(1237));
    EXPECT_FALSE(window.SetTimer(1, 10));
}

}  // namespace
