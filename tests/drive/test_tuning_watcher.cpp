// The tuning command watcher: it tells the page when the drive ends its procedure or after
// 10 s, never after the page cancelled it or went, and sends a read error to the page's thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "drive/Qd.h"
#include "drive/TuningWatcher.h"
#include "foundation/MessageIds.h"
#include "platform/Clock.h"
#include "tests/drive/DriveObjectTestSupport.h"

using namespace drive;

namespace {

// Answers the tuning command word: its value, or an error code.
class CommandPort : public CQdsWnd::CCellPort {
  public:
    int ReadCell(const std::string&, uint32_t* value) override {
        ++reads;
        *value = value_.load();
        return code.load();
    }
    int WriteCell(const std::string&, uint32_t) override { return 0; }
    std::string ErrorText() override { return "no answer"; }
    void Set(uint32_t v) { value_ = v; }

    std::atomic<int> reads{0};
    std::atomic<int> code{0};

  private:
    std::atomic<uint32_t> value_{1};
};

template <class Condition>
bool PumpUntil(Condition done, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        platform::WaitForMessages(10);
        platform::PumpMessages();
    }
    return true;
}

size_t Count(const platform::RecordingSink& page, unsigned message) {
    size_t n = 0;
    for (const platform::Message& m : page.Messages()) n += m.msg == message;
    return n;
}

class TuningWatcher : public ::testing::Test {
  protected:
    void SetUp() override { qd.ConnectionWindow().SetCellPort(&port); }
    size_t Ends() const { return Count(page, foundation::kTuningCommandEndMessage); }

    CommandPort port;
    platform::FakeClock clock{1000};
    CQd qd{0};
    platform::RecordingSink page;
};

TEST_F(TuningWatcher, OnlyThePhaseDirectionAndTuningPagesWatch) {
    CTuningWatcher watcher(qd, clock);
    EXPECT_FALSE(watcher.Start("HOMING", page.Handle()));
    EXPECT_FALSE(watcher.Active());
    EXPECT_TRUE(watcher.Start("PHASE_DIRECTION", page.Handle()));
    EXPECT_FALSE(watcher.Start("TUNING", page.Handle())) << "one watch at a time";
    watcher.Cancel();
    EXPECT_TRUE(watcher.Start("TUNING", page.Handle()));
}

TEST_F(TuningWatcher, ADriveThatIsDoneAtTheFirstReadIsReportedAfterOnePause) {
    port.Set(0);
    bool finished = false;
    CTuningWatcher watcher(qd, clock);
    watcher.SetOnFinish([&] { finished = true; });
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(watcher.Start("TUNING", page.Handle()));
    ASSERT_TRUE(PumpUntil([&] { return Ends() == 1; }, 3000));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(CTuningWatcher::kPollMs));
    watcher.Cancel();
    EXPECT_EQ(port.reads, 1) << "no second read";
    EXPECT_FALSE(watcher.Active());
    EXPECT_TRUE(finished);
}

TEST_F(TuningWatcher, ADriveThatNeverEndsIsGivenUpAfterTenSeconds) {
    CTuningWatcher watcher(qd, clock);
    ASSERT_TRUE(watcher.Start("TUNING", page.Handle()));
    ASSERT_TRUE(PumpUntil([&] { return port.reads >= 1; }, 2000));
    clock.Advance(CTuningWatcher::kLimitMs - 1);
    PumpUntil([] { return false; }, 1200);
    EXPECT_EQ(Ends(), 0u);
    clock.Advance(1);
    ASSERT_TRUE(PumpUntil([&] { return Ends() == 1; }, 2000));
    EXPECT_TRUE(PumpUntil([&] { return !watcher.Active(); }, 2000));
}

TEST_F(TuningWatcher, ACancelledWatchTellsNothing) {
    CTuningWatcher watcher(qd, clock);
    ASSERT_TRUE(watcher.Start("PHASE_DIRECTION", page.Handle()));
    ASSERT_TRUE(PumpUntil([&] { return port.reads >= 1; }, 2000));
    watcher.Cancel();
    EXPECT_FALSE(watcher.Active());
    port.Set(0);
    clock.Advance(CTuningWatcher::kLimitMs);
    PumpUntil([] { return false; }, 700);
    EXPECT_EQ(page.Count(), 0u);
}

TEST_F(TuningWatcher, APageThatClosesTakesItsWatcherWithIt) {
    auto closing = std::make_unique<platform::RecordingSink>();
    {
        CTuningWatcher watcher(qd, clock);
        ASSERT_TRUE(watcher.Start("TUNING", closing->Handle()));
        ASSERT_TRUE(PumpUntil([&] { return port.reads >= 1; }, 2000));
        closing->Unregister();
        clock.Advance(CTuningWatcher::kLimitMs);
    }  // the page's watcher is joined with it
    const int reads = port.reads;
    closing.reset();
    PumpUntil([] { return false; }, 600);
    EXPECT_EQ(port.reads, reads) << "nothing runs after the page went";
}

TEST_F(TuningWatcher, AReadErrorGoesToThePagesThread) {
    port.code = -30;
    CTuningWatcher watcher(qd, clock);
    ASSERT_TRUE(watcher.Start("TUNING", page.Handle()));
    ASSERT_TRUE(PumpUntil([&] { return Count(page, foundation::kTuningCommandErrorMessage) == 1; }, 2000));
    EXPECT_EQ(watcher.ErrorText(), "TuningRegulatorCommand read error (Thread_TuningRegulatorCommandStop)");
    EXPECT_TRUE(PumpUntil([&] { return !watcher.Active(); }, 2000));
    EXPECT_EQ(Ends(), 0u);
    EXPECT_EQ(port.reads, 1);
}

// Against the simulated drive: the drive ends its tuning command after its tuning time.
TEST(TuningWatcherOnTheDrive, TheDrivesEndOfTuningReachesThePage) {
    drivetest::DriveTree tree;
    enginetest::PromptScope prompts;
    drivetest::SimulatedDrive drive;
    drive.model->Timing().tuningMs = 1200;
    std::string error;
    const std::string port = drive.sim.StartPty(&error);
    ASSERT_FALSE(port.empty()) << error;
    enginetest::RegisterPort("tuningwatcher", port);
    drivetest::FakeConnectDialog dialog;
    {
        CQd qd(0);
        qd.ConnectionWindow().SetConnectDialog(&dialog);
        qd.ConnectionWindow().SetConnectionString(port + ":timeout 300");
        ASSERT_EQ(qd.Connect(), 0) << qd.ConnectionWindow().LastMessage();
        ASSERT_EQ(qd.WriteCell("TuningRegulatorCommand", 1), 0) << qd.LastErrorText();
        platform::RecordingSink page;
        CTuningWatcher watcher(qd);
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(watcher.Start("TUNING", page.Handle()));
        ASSERT_TRUE(PumpUntil([&] { return Count(page, foundation::kTuningCommandEndMessage) == 1; }, 5000));
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
        EXPECT_TRUE(watcher.ErrorText().empty());
        qd.CloseConnection(true);
    }
    enginetest::UnregisterPort("tuningwatcher");
}

}  // namespace
