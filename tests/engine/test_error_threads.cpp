// The engine's error pair is written by the node guard and by failing transfers on one thread
// while another clears and reads it. The ThreadSanitizer build sees any access outside the
// pair's lock.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "tests/engine/GroupTestSupport.h"

using namespace grouptest;

namespace {

class ErrorPairThreadsTest : public GroupEngineTest {
  protected:
    void SetUp() override {
        GroupEngineTest::SetUp();
        if (HasFatalFailure()) return;
        Connect(1);
        // From now on the drive refuses every read: each transfer, the guard's pings included,
        // fills the pair from the thread that runs it.
        drivesim::Fault refuse;
        refuse.kind = drivesim::Fault::ExceptionCode;
        refuse.param = 2;
        refuse.count = 1000000;
        sim.InjectFault(refuse);
    }
};

TEST_F(ErrorPairThreadsTest, GuardAndTransfersWriteWhileAnotherThreadClearsAndReads) {
    ASSERT_TRUE(engine.StartNodeguard());
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::thread reader([&] {
        while (!done.load()) {
            engine.ClearError();
            (void)engine.ErrorCode();
            // A text read while another thread stores one is whole, never a torn string.
            if (engine.ErrorText().size() > engine::CMain::kMaxErrorText) ++torn;
        }
    });
    int failures = 0;
    // The guard passes every 400 ms: a few of them run beside the reads.
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    while (std::chrono::steady_clock::now() < end) {
        uint32_t value = 0;
        if (engine.ReadCell("U51", &value) != 0) ++failures;
        (void)engine.ErrorText();
    }
    done = true;
    reader.join();
    EXPECT_TRUE(engine.StopNodeguard());
    EXPECT_GT(engine.NodeguardPassCount(), 0u);
    EXPECT_GT(failures, 0);
    EXPECT_EQ(torn.load(), 0);

    // Alone again, a refused read leaves its code and text for its caller.
    engine.ClearError();
    uint32_t value = 0;
    EXPECT_NE(engine.ReadCell("U51", &value), 0);
    EXPECT_NE(engine.ErrorCode(), 0);
    EXPECT_EQ(engine.ErrorText().rfind("Modbus:", 0), 0u) << engine.ErrorText();
}

}  // namespace
