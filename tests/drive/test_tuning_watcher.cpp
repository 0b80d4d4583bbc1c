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

// The drive's mode of operation as a page leaves it for a tuning run: the command ends at once,
// the display follows every mode written.
class ModePort : public CQdsWnd::CCellPort {
  public:
    int ReadCell(const std::string& name, uint32_t* value) override {
        *value = name == "TuningRegulatorCommand" ? 0 : mode.load();
        return 0;
    }
    int WriteCell(const std::string& name, uint32_t value) override {
        if (name == "ModeOfOperation") {
            mode = value;
            ++modeWrites;
        }
        return 0;
    }
    std::string ErrorText() override { return {}; }

    std::atomic<uint32_t> mode{0xFF};  // -1: the tuning mode the page set
    std::atomic<int> modeWrites{0};
};

TEST(TuningWatcherModeRestore, TheSavedModeGoesBackWhenTheDriveHasNoSystemManager) {
    struct Row {
        const char* what;
        bool systemManager;
        bool saved;
        bool cancelled;
        uint32_t modeAfter;
    };
    const Row rows[] = {
        {"saved mode on a drive without system manager", false, true, false, 3},
        {"the page cancelled: the mode goes back all the same", false, true, true, 3},
        {"nothing saved", false, false, false, 0xFF},
        {"the system manager restores the mode itself", true, true, false, 0xFF},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ModePort port;
        CQd qd(0);
        qd.ConnectionWindow().SetCellPort(&port);
        qd.Identity().systemManager = row.systemManager;
        qd.ModeDisplayCell().SetRead(3);
        qd.Operations().savedMode = 3;
        qd.Operations().modeSaved = row.saved;
        platform::RecordingSink page;
        platform::FakeClock clock{1000};
        CTuningWatcher watcher(qd, clock);
        ASSERT_TRUE(watcher.Start("TUNING", page.Handle()));
        if (row.cancelled) watcher.Cancel();
        ASSERT_TRUE(PumpUntil([&] { return !watcher.Active(); }, 10000));
        watcher.Cancel();
        EXPECT_EQ(port.mode.load(), row.modeAfter);
        EXPECT_EQ(port.modeWrites.load(), row.modeAfter == 3 ? 1 : 0);
        EXPECT_EQ(qd.Operations().modeSaved, row.saved && row.systemManager);
    }
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

// Against the simulated drive: a tuning run on a drive without system manager switched the mode
// of operation; once the drive ends the run, the saved mode is back on the drive.
TEST(TuningWatcherOnTheDrive, TheSavedModeIsBackOnTheDriveAfterTheRun) {
    drivetest::DriveTree tree;
    enginetest::PromptScope prompts;
    drivetest::SimulatedDrive drive;
    drive.model->Timing().tuningMs = 600;
    std::string error;
    const std::string port = drive.sim.StartPty(&error);
    ASSERT_FALSE(port.empty()) << error;
    enginetest::RegisterPort("tuningmode", port);
    drivetest::FakeConnectDialog dialog;
    {
        CQd qd(0);
        qd.ConnectionWindow().SetConnectDialog(&dialog);
        qd.ConnectionWindow().SetConnectionString(port + ":timeout 300");
        ASSERT_EQ(qd.Connect(), 0) << qd.ConnectionWindow().LastMessage();
        qd.Identity().systemManager = false;
        qd.ModeDisplayCell().SetRead(1);
        ASSERT_EQ(qd.SaveModeOfOperation(), 1);
        ASSERT_EQ(qd.WriteCell("ModeOfOperation", 3), 0) << qd.LastErrorText();
        ASSERT_EQ(qd.WriteCell("TuningRegulatorCommand", 1), 0) << qd.LastErrorText();
        platform::RecordingSink page;
        CTuningWatcher watcher(qd);
        ASSERT_TRUE(watcher.Start("TUNING", page.Handle()));
        // The window thread's notices wait until the worker is done with the mode display.
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (watcher.Active() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_FALSE(watcher.Active());
        platform::PumpMessages();
        EXPECT_EQ(Count(page, foundation::kTuningCommandEndMessage), 1u);
        EXPECT_EQ(drive.model->ReadValue("ModeOfOperation"), 1);
        EXPECT_EQ(drive.model->ReadValue("ModeOfOperationDisplay"), 1);
        EXPECT_FALSE(qd.Operations().modeSaved);
        qd.CloseConnection(true);
    }
    enginetest::UnregisterPort("tuningmode");
}

}  // namespace
