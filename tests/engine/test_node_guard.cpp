#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/NodeGuard.h"
#include "platform/ThreadLog.h"
#include "tests/engine/GroupTestSupport.h"

using namespace engine;
using namespace grouptest;

namespace {

constexpr unsigned kGuardMessage = foundation::kEngineNotifyMessage;

// The guard in simulated time: after moving the clock the test waits for two passes, so that one
// whole pass has seen the new time.
class NodeGuardTest : public GroupEngineTest {
  protected:
    void SetUp() override {
        GroupEngineTest::SetUp();
        if (HasFatalFailure()) return;
        engine.SetBackgroundClock(clock);
        Connect(1);
        // The connection's own progress messages go to the same window.
        platform::PumpMessages();
        sink.Clear();
    }

    void Step(int64_t ms) {
        clock.Advance(ms);
        const uint64_t passes = engine.NodeguardPassCount();
        ASSERT_TRUE(WaitFor([&] { return engine.NodeguardPassCount() >= passes + 2; }));
    }

    // (code, detail) of the guard's messages since the last call.
    std::vector<std::pair<uintptr_t, intptr_t>> Posted() {
        std::vector<std::pair<uintptr_t, intptr_t>> out;
        for (const platform::Message& m : Delivered(kGuardMessage)) out.emplace_back(m.wParam, m.lParam);
        sink.Clear();
        return out;
    }

    intptr_t Detail(uint8_t state) const { return channel * 65536 + 1 * 256 + state; }

    // Reads node fields the guard writes, with the node's lock held as the guard does.
    template <typename F>
    auto WithNode(F f) {
        CNodo& node = Node(1);
        EXPECT_TRUE(node.Lock());
        auto result = f(node);
        node.Unlock();
        return result;
    }

    void Silence() {
        drivesim::Fault drop;
        drop.kind = drivesim::Fault::DropReply;
        drop.count = 100000;
        sim.InjectFault(drop);
    }
};

TEST(NodeGuardDetail, ChannelNodeAndState) {
    EXPECT_EQ(NodeGuardDetail(3, 7, 0x85), 3 * 65536 + 7 * 256 + 5);
    EXPECT_EQ(NodeGuardDetail(0, 255, 1), 255 * 256 + 1);
}

TEST_F(NodeGuardTest, SilentDriveIsLostAfterGuardTimeTimesFactorAndRecovers) {
    std::mutex logMutex;
    std::vector<std::string> lines;
    platform::SetThreadLogSink([&](const std::string& line) {
        std::lock_guard lock(logMutex);
        lines.push_back(line);
    });
    EXPECT_EQ(WithNode([](CNodo& n) { return n.guardTimeMs * n.lifeTimeFactor; }), 6000);
    ASSERT_TRUE(engine.StartNodeguard());
    EXPECT_TRUE(engine.StartNodeguard());  // already running
    Step(0);
    Step(0);
    // Arming is never reported; the first sign of life is.
    EXPECT_EQ(Posted(), (std::vector<std::pair<uintptr_t, intptr_t>>{{4, Detail(5)}}));
    EXPECT_EQ(WithNode([](CNodo& n) { return int(n.guardArmed); }), 1);

    Silence();
    // The arming read still counts until the next guard period starts at +2000.
    Step(2000);
    Step(2001);
    Step(3999);  // 6000 ms after the last sign of life: not yet lost
    EXPECT_TRUE(Posted().empty());
    EXPECT_EQ(WithNode([](CNodo& n) { return n.guardState & 0x7F; }), 5);
    Step(1);
    const auto posted = Posted();
    ASSERT_EQ(posted.size(), 2u);
    // The serial port reports too many errors by now: lost, the port stays open.
    EXPECT_EQ(posted[0], (std::pair<uintptr_t, intptr_t>{1003, Detail(1)}));
    EXPECT_EQ(posted[1], (std::pair<uintptr_t, intptr_t>{4, Detail(1)}));
    EXPECT_EQ(WithNode([](CNodo& n) { return int(n.guardArmed); }), 0);
    EXPECT_TRUE(Serial().Rtu().IsConnected());

    // A lost node is not pinged again; the next good transfer brings it back.
    Step(5000);
    EXPECT_TRUE(Posted().empty());
    sim.ClearFaults();
    uint32_t value = 0;
    ASSERT_EQ(engine.ReadCell("U51", &value), 0) << engine.ErrorText();
    Step(100);
    Step(100);
    EXPECT_EQ(Posted(), (std::vector<std::pair<uintptr_t, intptr_t>>{{4, Detail(5)}}));
    EXPECT_EQ(WithNode([](CNodo& n) { return int(n.guardArmed); }), 1);

    EXPECT_TRUE(engine.StopNodeguard());
    EXPECT_FALSE(engine.NodeguardRunning());
    EXPECT_EQ(WithNode([](CNodo& n) { return int(n.guardArmed); }), 0);
    platform::SetThreadLogSink(nullptr);
    std::lock_guard lock(logMutex);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("NodeguardThread started 0x", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1].rfind("NodeguardThread stopped 0x", 0), 0u) << lines[1];
}

TEST_F(NodeGuardTest, TrafficKeepsTheNodeAliveWithoutPings) {
    // What one read of each kind costs on the wire, measured before the guard runs.
    uint32_t value = 0;
    uint8_t bytes[4] = {};
    const std::vector<std::function<int()>> traffic = {
        [&] { return engine.ReadCell("U51", &value); },
        [&] { return engine.WriteCell("W30", &value); },
        [&] { return engine.ReadModbusBytes(kA10, 4, bytes, 1, channel); },
    };
    std::vector<uint64_t> cost;
    for (const auto& transfer : traffic) {
        const uint64_t before = sim.RequestCount();
        ASSERT_EQ(transfer(), 0) << engine.ErrorText();
        cost.push_back(sim.RequestCount() - before);
    }
    ASSERT_TRUE(engine.StartNodeguard());
    Step(0);
    Step(0);
    Posted();
    for (size_t kind = 0; kind < traffic.size(); ++kind) {
        const uint64_t before = sim.RequestCount();
        for (int i = 0; i < 6; ++i) {
            ASSERT_EQ(traffic[kind](), 0) << kind << ": " << engine.ErrorText();
            Step(1500);
        }
        // Only the test's own transfers went out: the guard never had to ask the node itself.
        EXPECT_EQ(sim.RequestCount() - before, 6 * cost[kind]) << kind;
    }
    EXPECT_TRUE(Posted().empty());
    EXPECT_EQ(WithNode([](CNodo& n) { return n.guardState & 0x7F; }), 5);
}

TEST_F(NodeGuardTest, BootLoaderNodesAreNotGuarded) {
    WithNode([](CNodo& n) {
        n.softwareCode = 1;
        return 0;
    });
    Silence();
    ASSERT_TRUE(engine.StartNodeguard());
    for (int i = 0; i < 4; ++i) Step(5000);
    EXPECT_TRUE(Posted().empty());
    EXPECT_EQ(WithNode([](CNodo& n) { return int(n.guardArmed); }), 0);
    EXPECT_EQ(WithNode([](CNodo& n) { return int(n.guardState); }), 0x80);
}

TEST_F(NodeGuardTest, GuardTimeZeroIsNeverLost) {
    WithNode([](CNodo& n) {
        n.guardTimeMs = 0;
        return 0;
    });
    ASSERT_TRUE(engine.StartNodeguard());
    Step(0);
    Silence();
    for (int i = 0; i < 4; ++i) Step(10000);
    for (const auto& [code, detail] : Posted()) EXPECT_EQ(code, 4u) << detail;
    EXPECT_NE(WithNode([](CNodo& n) { return n.guardState & 0x7F; }), 1);
}

// A guard that waits for a node someone else holds leaves that wait when told to stop, and the
// stop returns only once the thread has ended.
TEST_F(NodeGuardTest, StopEndsAGuardThatWaitsForAHeldNode) {
    CNodo& node = Node(1);
    // Longer than any test may run: only the stop request can end the guard's wait.
    WithNode([](CNodo& n) {
        n.lockTimeoutMs = 3600 * 1000;
        return 0;
    });
    ASSERT_TRUE(engine.StartNodeguard());
    Step(0);
    ASSERT_TRUE(node.Lock());
    // Several pass pauses: the guard's next pass is waiting for the node now.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const uint64_t passes = engine.NodeguardPassCount();
    std::atomic<bool> stopped{false};
    std::thread stopper([&] { stopped = engine.StopNodeguard(); });
    // The interrupted pass ends while the node is still held.
    EXPECT_TRUE(WaitFor([&] { return engine.NodeguardPassCount() > passes; }));
    EXPECT_FALSE(stopped.load());  // the guard's last act, disarming the node, needs the node
    node.Unlock();
    stopper.join();
    EXPECT_TRUE(stopped.load());
    EXPECT_FALSE(engine.NodeguardRunning());
    EXPECT_EQ(WithNode([](CNodo& n) { return int(n.guardArmed); }), 0);
    // It can be started and stopped again.
    ASSERT_TRUE(engine.StartNodeguard());
    EXPECT_TRUE(engine.StopNodeguard());
    EXPECT_FALSE(engine.NodeguardRunning());
}

TEST_F(NodeGuardTest, DeleteAllNodesWaitsForAGuardThatDidNotStopInTime) {
    // Shorter lock waits keep the test quick; set before the guard thread reads them.
    WithNode([](CNodo& n) {
        n.lockTimeoutMs = 1500;
        return 0;
    });
    ASSERT_TRUE(engine.StartNodeguard());
    CNodo& node = Node(1);
    ASSERT_TRUE(node.Lock());
    // The guard's next pass waits for the node the test holds.
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    engine.DeleteAllNodes();
    // The node (still held by this thread) is gone: the guard must have ended before it was freed.
    EXPECT_FALSE(engine.NodeguardRunning());
    EXPECT_EQ(engine.NodeCount(), 0);
}

TEST_F(NodeGuardTest, ConnectingANodeStopsTheGuardBeforeTheTableChanges) {
    WithNode([](CNodo& n) {
        n.lockTimeoutMs = 1000;
        return 0;
    });
    ASSERT_TRUE(engine.StartNodeguard());
    // The guard's pass waits for the node the test holds while the second node is connected: the
    // table must not change under that pass.
    CNodo& first = Node(1);
    ASSERT_TRUE(first.Lock());
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    Connect(2);
    first.Unlock();
    EXPECT_FALSE(engine.NodeguardRunning());
    EXPECT_EQ(engine.NodeCount(), 2);
    ASSERT_TRUE(engine.StartNodeguard());
    Step(0);
    Step(0);
    CNodo& second = Node(2);
    ASSERT_TRUE(second.Lock());
    EXPECT_EQ(second.guardArmed, 1);
    second.Unlock();
}

// The same guard through the communication box: a silent drive fails its re-arming read.
class BoxNodeGuardTest : public NodeGuardTest {
  protected:
    BoxNodeGuardTest() { box = true; }
};

TEST_F(BoxNodeGuardTest, SilentDriveIsLostAndRecovers) {
    ASSERT_TRUE(engine.StartNodeguard());
    Step(0);
    Step(0);
    // Arming the box records no result: the first ping after the guard time is the first sign of life.
    EXPECT_TRUE(Posted().empty());
    Step(2001);
    EXPECT_EQ(Posted(), (std::vector<std::pair<uintptr_t, intptr_t>>{{4, Detail(5)}}));
    Silence();
    Step(2001);
    Step(3999);  // 6000 ms after the last sign of life
    EXPECT_TRUE(Posted().empty());
    Step(1);
    const auto posted = Posted();
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_TRUE(posted[0].first == 1001 || posted[0].first == 1003) << posted[0].first;
    EXPECT_EQ(posted[0].second, Detail(1));
    EXPECT_EQ(posted[1], (std::pair<uintptr_t, intptr_t>{4, Detail(1)}));

    sim.ClearFaults();
    // The box may have dropped its socket: the next transfer connects it again.
    uint32_t value = 0;
    ASSERT_EQ(engine.ReadCell("U51", &value), 0) << engine.ErrorText();
    Step(100);
    Step(100);
    EXPECT_EQ(Posted(), (std::vector<std::pair<uintptr_t, intptr_t>>{{4, Detail(5)}}));
}

}  // namespace

namespace {

// The firmware download stops the guard from its own thread while the window thread starts and
// pauses it; the guard's thread object is never used by both at once (the sanitizer runs see it).
TEST(NodeGuardThread, StartAndStopFromTwoThreadsAtOnce) {
    CMain engine(0);
    std::thread window([&engine] {
        for (int i = 0; i < 30; ++i) {
            engine.StartNodeguard();
            engine.PauseNodeguard();
        }
    });
    std::thread download([&engine] {
        for (int i = 0; i < 30; ++i) engine.StopNodeguard();
    });
    window.join();
    download.join();
    EXPECT_TRUE(engine.StartNodeguard());
    EXPECT_TRUE(engine.StopNodeguard());
    EXPECT_FALSE(engine.NodeguardRunning());
}

}  // namespace
