// Captures of the drive object's watch thread against the simulated drive over a
// pseudo-terminal: the set-up, the WM_OSC_STATUS sequence, the buffers each slot uploads, the
// set-up errors, and stop, pause and time-out during an upload.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "drive/Qd.h"
#include "engine/Main.h"
#include "engine/WatchList.h"
#include "foundation/MessageIds.h"
#include "platform/Clock.h"
#include "tests/drive/DriveObjectTestSupport.h"

using namespace drive;

namespace {

using Status = std::pair<uintptr_t, intptr_t>;

constexpr int kAnalog0 = 4, kStatusword = 7;

// The simulated drive's description as the program reads it, with one text replaced.
class EditedTree : public enginetest::DescriptionTree {
  public:
    EditedTree(const std::string& from, const std::string& to) {
        std::ifstream in(drivetest::SimDescription());
        std::stringstream text;
        text << in.rdbuf();
        std::string xml = text.str();
        if (!from.empty()) {
            const size_t at = xml.find(from);
            EXPECT_NE(at, std::string::npos) << from;
            if (at != std::string::npos) xml.replace(at, from.size(), to);
        }
        std::ofstream(Root() / "tree" / "1234_2_3_1.xml") << xml;
    }
};

class ScopeCapture : public ::testing::Test {
  protected:
    // ownVariables: the test's variable table and error text instead of the description's.
    void Connect(const std::string& from = "", const std::string& to = "", bool ownVariables = true,
                 const std::function<void(drivesim::SimDriveModel&)>& prepare = nullptr) {
        tree.reset();
        tree = std::make_unique<EditedTree>(from, to);
        drive = std::make_unique<drivetest::SimulatedDrive>();
        if (prepare) prepare(*drive->model);
        std::string error;
        const std::string port = drive->sim.StartPty(&error);
        ASSERT_FALSE(port.empty()) << error;
        enginetest::RegisterPort("scopecapture", port);
        qd = std::make_unique<CQd>(0);
        qd->ConnectionWindow().SetConnectDialog(&dialog);
        qd->ConnectionWindow().SetConnectionString(port + ":timeout 300");
        ASSERT_EQ(qd->Connect(), 0) << qd->ConnectionWindow().LastMessage();
        qd->SetScopeWindow(window.Handle());
        if (!ownVariables) return;
        osc_vars& setup = qd->Scope();
        setup.variables = {Variable("Analog input 0", kAnalog0, 0.001),
                           Variable("Statusword", kStatusword, 1.0), Variable("Ghost", 99, 1.0)};
        setup.errorTexts = {{4, "Channel 1 does not exist"}};
    }
    void TearDown() override {
        if (drive) drive->sim.ClearFaults();
        if (qd) qd->StopWatchThread();
        qd.reset();
        drive.reset();
        enginetest::UnregisterPort("scopecapture");
    }
    // Each answer of the drive 100 ms late, until the faults are cleared.
    void SlowDrive() {
        drivesim::Fault slow;
        slow.kind = drivesim::Fault::Delay;
        slow.param = 100;
        slow.count = 1000000;
        drive->sim.InjectFault(slow);
    }
    static ComboChannelsTypes Variable(const std::string& title, int code, double factor) {
        ComboChannelsTypes v;
        v.title = title;
        v.code = code;
        v.factor = factor;
        return v;
    }
    void Channels(std::vector<std::string> titles, const std::string& mode = "Auto") {
        osc_vars& setup = qd->Scope();
        for (int i = 0; i < 4; ++i)
            setup.SetChannelVariable(i, i < static_cast<int>(titles.size()) ? titles[i] : "", true);
        setup.triggerMode = mode;
        setup.AssignChannels();
    }
    // Pumps the window thread's messages until the condition holds or the time is up.
    template <class Condition>
    bool PumpUntil(Condition done, int ms = 8000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) return false;
            platform::WaitForMessages(10);
            platform::PumpMessages();
        }
        return true;
    }
    // Waits without pumping: the upload notices stay queued.
    template <class Condition>
    static bool WaitUntil(Condition done, int ms = 8000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }
    // The status messages, up to the first capture's data when asked.
    std::vector<Status> Statuses(bool firstCapture = false) const {
        std::vector<Status> out;
        for (const platform::Message& m : window.Messages()) {
            if (firstCapture && m.msg == foundation::kOscDataReadyMessage) break;
            if (m.msg == foundation::kOscStatusMessage) out.emplace_back(m.wParam, m.lParam);
        }
        return out;
    }
    size_t DataReady() const {
        size_t n = 0;
        for (const platform::Message& m : window.Messages()) n += m.msg == foundation::kOscDataReadyMessage;
        return n;
    }
    // The first 1024 values of the four slots of a 1024-sample capture, each slot checked valid;
    // empty when the set-up could not be locked.
    std::vector<std::vector<double>> SlotHeads() {
        std::vector<std::vector<double>> heads;
        osc_vars& setup = qd->Scope();
        platform::TimedLock lock(setup.Lock(), 10000);
        EXPECT_TRUE(lock);
        if (!lock) return heads;
        EXPECT_EQ(setup.samplesPerChannel, 1024);
        for (int slot = 0; slot < 4; ++slot) {
            EXPECT_EQ(setup.slotValid[static_cast<size_t>(slot)], 1) << slot;
            const std::vector<double>& v = setup.ChannelValues(slot).values;
            heads.emplace_back(v.begin(),
                               v.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(v.size(), 1024)));
        }
        return heads;
    }
    // Starts a capture and waits for its data.
    void CaptureOnce() {
        ASSERT_TRUE(qd->StartWatchThread());
        qd->Watch().RequestCapture(CWatchThread::kStart);
        ASSERT_TRUE(PumpUntil([&] { return DataReady() >= 1; })) << qd->Watch().CaptureErrorText();
    }
    bool AllEqual(const std::vector<double>& v, double value) {
        for (double x : v)
            if (x != value) return false;
        return !v.empty();
    }

    std::unique_ptr<EditedTree> tree;
    std::unique_ptr<drivetest::SimulatedDrive> drive;
    enginetest::PromptScope prompts;
    drivetest::FakeConnectDialog dialog;
    platform::RecordingSink window;
    std::unique_ptr<CQd> qd;
};

TEST_F(ScopeCapture, AutoRecordsUploadsAndConvertsAtOnce) {
    Connect();
    Channels({"Analog input 0"});
    CaptureOnce();
    const std::vector<Status> s = Statuses(true);
    // Started, then recording at once: 4096 samples of 50 us, 10 % before the trigger.
    ASSERT_GE(s.size(), 2u);
    EXPECT_EQ(s[0], Status(1, 0));
    EXPECT_EQ(s[1], Status(5, 20 + 184));
    for (size_t i = 2; i < s.size(); ++i) EXPECT_EQ(s[i].first, 7u) << i;
    osc_vars& setup = qd->Scope();
    platform::TimedLock lock(setup.Lock(), 1000);
    ASSERT_TRUE(lock);
    EXPECT_EQ(setup.preTriggerMs, 20u);
    EXPECT_EQ(setup.postTriggerMs, 184u);
    EXPECT_EQ(setup.samplingTime, 50u);
    EXPECT_EQ(setup.samplesPerChannel, 4096);
    EXPECT_EQ(setup.slotValid[0], 1);
    const std::vector<double>& v = setup.ChannelValues(0).values;
    ASSERT_EQ(v.size(), 4096u);
    // Analog input 0 in volts (mV x 0.001): a sine that moves within the capture.
    double low = v[0], high = v[0];
    for (double x : v) {
        low = std::min(low, x);
        high = std::max(high, x);
    }
    EXPECT_LT(low, high);
    EXPECT_LT(std::fabs(high), 100.0);
    EXPECT_TRUE(qd->Watch().CaptureErrorText().empty()) << qd->Watch().CaptureErrorText();
}

TEST_F(ScopeCapture, NormalWaitsForTheTriggerAndThenRecordsThePostTrigger) {
    Connect();
    Channels({"Analog input 0"}, "Normal");
    CaptureOnce();
    const std::vector<Status> s = Statuses(true);
    ASSERT_GE(s.size(), 3u);
    EXPECT_EQ(s[0], Status(1, 0));
    EXPECT_EQ(s[1], Status(4, 0)) << "a pre-trigger of 20 ms waits for the trigger at once";
    bool recording = false;
    for (const Status& x : s) recording |= x == Status(5, 184);
    EXPECT_TRUE(recording) << "the trigger came: the post-trigger time is still to record";
    EXPECT_EQ(qd->Scope().slotValid[0], 1);

    // A pre-trigger above 100 ms is announced with its length.
    qd->Watch().RequestCapture(CWatchThread::kStopped);
    ASSERT_TRUE(PumpUntil([&] { return qd->Watch().CaptureState() == CWatchThread::kStopped; }));
    ASSERT_TRUE(drive->model->Set("Pretrigger_Value", 50));
    platform::PumpMessages();  // the stop's own notice belongs to the capture before
    window.Clear();
    qd->Watch().RequestCapture(CWatchThread::kStart);
    ASSERT_TRUE(PumpUntil([&] { return Statuses().size() >= 2; }));
    EXPECT_EQ(Statuses()[1], Status(6, 102));
}

TEST_F(ScopeCapture, NormalAnnouncesAPretriggerAbove100Ms) {
    Connect();
    Channels({"Analog input 0"}, "Normal");
    ASSERT_TRUE(drive->model->Set("Pretrigger_Value", 100));
    ASSERT_TRUE(qd->StartWatchThread());
    // One slot of 50 us samples: the pre-trigger lasts MaxBufferDimension / 20 ms.
    struct Case {
        int64_t samples;
        Status announced;
    } cases[] = {{2000, {4, 0}}, {2020, {6, 101}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.samples);
        ASSERT_TRUE(drive->model->Set("MaxBufferDimension", c.samples));
        window.Clear();
        qd->Watch().RequestCapture(CWatchThread::kStart);
        ASSERT_TRUE(PumpUntil([&] { return Statuses().size() >= 2; }));
        EXPECT_EQ(Statuses()[1], c.announced);
        qd->Watch().RequestCapture(CWatchThread::kStopped);
        ASSERT_TRUE(PumpUntil([&] { return qd->Watch().CaptureState() == CWatchThread::kStopped; }));
        platform::PumpMessages();  // the stop's own notice belongs to this case
    }
}

TEST_F(ScopeCapture, SlotsShareTheDriveBuffer) {
    Connect();
    // Two channels: the second one lies in the drive's second half, from Buffer_3.
    Channels({"Analog input 0", "Statusword"});
    CaptureOnce();
    {
        osc_vars& setup = qd->Scope();
        platform::TimedLock lock(setup.Lock(), 1000);
        EXPECT_EQ(setup.samplesPerChannel, 2048);
        EXPECT_TRUE(AllEqual(setup.ChannelValues(1).values, 0x240)) << "statusword from Buffer_3";
        EXPECT_FALSE(AllEqual(setup.ChannelValues(0).values, setup.ChannelValues(0).values[0]));
    }
    ASSERT_TRUE(qd->StopWatchThread());

    // Three channels of a 3000-sample buffer get a quarter each, not a third.
    ASSERT_TRUE(drive->model->Set("MaxBufferDimension", 3000));
    Channels({"Statusword", "Analog input 0", "Statusword"});
    window.Clear();
    CaptureOnce();
    osc_vars& setup = qd->Scope();
    platform::TimedLock lock(setup.Lock(), 1000);
    EXPECT_EQ(setup.samplesPerChannel, 750);
    // Traces keep their length; the capture fills its samples from the start.
    auto head = [&](int channel) {
        const std::vector<double>& v = setup.ChannelValues(channel).values;
        return std::vector<double>(v.begin(), v.begin() + std::min<size_t>(v.size(), 750));
    };
    EXPECT_EQ(head(1).size(), 750u);
    EXPECT_TRUE(AllEqual(head(0), 0x240));
    EXPECT_TRUE(AllEqual(head(2), 0x240));
    EXPECT_FALSE(AllEqual(head(1), head(1)[0]));
}

// Four channels go up in one upload: each buffer lands in its own slot, in slot order.
TEST_F(ScopeCapture, FourChannelsComeFromTheirBuffersInOrder) {
    Connect();
    Channels({"Statusword", "Analog input 0", "Statusword", "Analog input 0"});
    CaptureOnce();
    const std::vector<std::vector<double>> heads = SlotHeads();
    ASSERT_EQ(heads.size(), 4u);
    for (int slot = 0; slot < 4; ++slot) {
        SCOPED_TRACE(slot);
        const std::vector<double>& head = heads[static_cast<size_t>(slot)];
        ASSERT_EQ(head.size(), 1024u);
        if (slot % 2 == 0) {
            EXPECT_TRUE(AllEqual(head, 0x240)) << "statusword";
        } else {
            EXPECT_FALSE(AllEqual(head, head[0])) << "analog input";
        }
    }
}

TEST_F(ScopeCapture, EachSetUpErrorStopsTheCaptureWithItsText) {
    struct Case {
        std::string from, to;
        std::vector<std::string> channels;
        std::string text;
    } cases[] = {
        {"", "", {}, "No channel selected for the capture"},
        {"name=\"Indir_canale_2\" title=\"Capture channel 2\" modbusaddress=\"3603\" "
         "fieldbusaddress=\"0x2700.03\" "
         "size=\"4\" read=\"1\" write=\"1\"",
         "name=\"Indir_canale_2\" title=\"Capture channel 2\" modbusaddress=\"3603\" "
         "fieldbusaddress=\"0x2700.03\" "
         "size=\"4\" read=\"1\" write=\"0\"",
         {"Analog input 0", "Statusword"},
         "Indir_canale_2 write error"},
        {"name=\"Logger_Scan_Time\"",
         "name=\"Logger_Scan_Time_\"",
         {"Analog input 0"},
         "Logger_Scan_Time read error"},
        {"name=\"Trigger_Status\" title=\"Capture state\" modbusaddress=\"3610\" "
         "fieldbusaddress=\"0x2700.07\" "
         "size=\"2\" read=\"1\" write=\"1\"",
         "name=\"Trigger_Status\" title=\"Capture state\" modbusaddress=\"3610\" "
         "fieldbusaddress=\"0x2700.07\" "
         "size=\"2\" read=\"1\" write=\"0\"",
         {"Analog input 0"},
         "Trigger_Status write error"},
        {"name=\"MaxBufferDimension\"",
         "name=\"MaxBufferDimension_\"",
         {"Analog input 0"},
         "MaxBufferDimension read error"},
        {"", "", {"Ghost"}, "Channel 1 does not exist"},
        {"", "", {"Analog input 0", "Ghost"}, "Oscilloscope error 5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Connect(c.from, c.to);
        Channels(c.channels);
        window.Clear();
        ASSERT_TRUE(qd->StartWatchThread());
        qd->Watch().RequestCapture(CWatchThread::kStart);
        ASSERT_TRUE(PumpUntil([&] {
            const auto s = Statuses();
            return !s.empty() && s.back() == Status(3, 0) &&
                   qd->Watch().CaptureState() == CWatchThread::kStopped;
        })) << qd->Watch().CaptureErrorText();
        EXPECT_EQ(qd->Watch().CaptureErrorText(), c.text);
        EXPECT_EQ(qd->Watch().CaptureState(), CWatchThread::kStopped);
        EXPECT_FALSE(qd->Watch().CaptureActive());
        EXPECT_EQ(DataReady(), 0u);
        TearDown();
    }
}

// Every answer of the drive comes late (well within the line's time-out): an upload of a whole
// buffer lasts seconds, and the watch thread waits in it.
class ScopeUploadWait : public ScopeCapture {
  protected:
    void StartAndHoldInUpload() {
        Connect();
        Channels({"Analog input 0"});
        SlowDrive();
        ASSERT_TRUE(qd->StartWatchThread());
        qd->Watch().RequestCapture(CWatchThread::kStart);
        ASSERT_TRUE(WaitUntil([&] { return qd->ConnectionWindow().Engine()->UploadRunning(); }, 20000));
        ASSERT_EQ(qd->Watch().CaptureState(), CWatchThread::kRunning);
        platform::PumpMessages();
        ASSERT_EQ(DataReady(), 0u);
    }
};

TEST_F(ScopeUploadWait, StopLeavesTheUploadAndTheCaptureStopped) {
    StartAndHoldInUpload();
    qd->Watch().RequestCapture(CWatchThread::kStopped);
    EXPECT_TRUE(WaitUntil([&] { return qd->Watch().CaptureState() == CWatchThread::kStopped; }, 20000));
    platform::PumpMessages();
    EXPECT_EQ(DataReady(), 0u);
    EXPECT_EQ(Statuses().back(), Status(3, 0));
    EXPECT_EQ(drive->model->ReadValue("Trigger_Status"), 0) << "the drive was told to stop";
    EXPECT_TRUE(qd->StopWatchThread());
}

TEST_F(ScopeUploadWait, PauseLeavesTheUploadAndResumeUploadsTheSlotAgain) {
    StartAndHoldInUpload();
    EXPECT_TRUE(qd->PauseWatchThread());
    EXPECT_EQ(qd->Watch().CaptureState(), CWatchThread::kPaused);
    platform::PumpMessages();
    EXPECT_EQ(DataReady(), 0u);
    drive->sim.ClearFaults();
    qd->ResumeWatchThread();
    ASSERT_TRUE(PumpUntil([&] { return DataReady() >= 1; })) << qd->Watch().CaptureErrorText();
    EXPECT_EQ(qd->Scope().slotValid[0], 1);
    const std::vector<Status> s = Statuses();
    bool paused = false, resumed = false;
    for (const Status& x : s) {
        paused |= x == Status(2, 0);
        resumed |= paused && x == Status(4, 0);
    }
    EXPECT_TRUE(paused);
    EXPECT_TRUE(resumed);
}

// Four slow buffers: the test acts once the second buffer's transfer has begun.
class ScopeLaterBuffer : public ScopeCapture {
  protected:
    void StartAndHoldInSecondBuffer() {
        Connect();
        Channels({"Analog input 0", "Statusword", "Analog input 0", "Statusword"});
        qd->Scope().singleShot = 1;
        // Counted on the drive's thread: the first data block of each buffer's transfer.
        auto transfers = transfers_;
        drive->sim.Drive(1)->SetDomainBlockHook([transfers](int block) {
            if (block == 1) ++*transfers;
        });
        SlowDrive();
        ASSERT_TRUE(qd->StartWatchThread());
        qd->Watch().RequestCapture(CWatchThread::kStart);
        ASSERT_TRUE(WaitUntil([&] { return transfers_->load() >= 2; }, 60000));
        ASSERT_TRUE(qd->ConnectionWindow().Engine()->UploadRunning());
    }
    void TearDown() override {
        if (drive) drive->sim.Drive(1)->SetDomainBlockHook(nullptr);
        ScopeCapture::TearDown();
    }
    std::shared_ptr<std::atomic<int>> transfers_ = std::make_shared<std::atomic<int>>(0);
};

TEST_F(ScopeLaterBuffer, StopEndsTheWholeUploadAndJoinsIt) {
    ASSERT_NO_FATAL_FAILURE(StartAndHoldInSecondBuffer());
    qd->Watch().RequestCapture(CWatchThread::kStopped);
    ASSERT_TRUE(WaitUntil([&] { return qd->Watch().CaptureState() == CWatchThread::kStopped; }, 20000));
    // The watch thread left the upload only after the engine's thread had ended.
    EXPECT_FALSE(qd->ConnectionWindow().Engine()->UploadRunning());
    EXPECT_EQ(transfers_->load(), 2) << "the buffers after the second never started";
    platform::PumpMessages();
    EXPECT_EQ(DataReady(), 0u);
    EXPECT_EQ(drive->model->ReadValue("Trigger_Status"), 0) << "the drive was told to stop";
    EXPECT_TRUE(qd->StopWatchThread());
}

TEST_F(ScopeLaterBuffer, PauseKeepsTheBuffersDoneAndResumeGoesOnWithTheRest) {
    ASSERT_NO_FATAL_FAILURE(StartAndHoldInSecondBuffer());
    EXPECT_TRUE(qd->PauseWatchThread());
    EXPECT_EQ(qd->Watch().CaptureState(), CWatchThread::kPaused);
    EXPECT_FALSE(qd->ConnectionWindow().Engine()->UploadRunning());
    drive->sim.ClearFaults();
    qd->ResumeWatchThread();
    ASSERT_TRUE(PumpUntil([&] { return DataReady() >= 1; }, 30000)) << qd->Watch().CaptureErrorText();
    // Single shot: the capture stopped after its data, nothing more goes up.
    ASSERT_TRUE(PumpUntil([&] { return qd->Watch().CaptureState() == CWatchThread::kStopped; }, 20000));
    EXPECT_EQ(transfers_->load(), 5) << "the first buffer once, the second twice, then the last two";
    const std::vector<std::vector<double>> heads = SlotHeads();
    ASSERT_EQ(heads.size(), 4u);
    for (int slot = 0; slot < 4; ++slot) {
        SCOPED_TRACE(slot);
        const std::vector<double>& head = heads[static_cast<size_t>(slot)];
        ASSERT_EQ(head.size(), 1024u);
        EXPECT_EQ(AllEqual(head, 0x240), slot % 2 == 1);
    }
}

TEST_F(ScopeCapture, AnUploadThatNeverEndsTimesOutWithTheSizeOfTheBuffer) {
    platform::FakeClock clock(5000);
    Connect();
    // The connect started the thread on the real clock: it runs again on the fake one.
    ASSERT_TRUE(qd->StopWatchThread());
    qd->SetWatchClock(clock);
    Channels({"Analog input 0"});
    SlowDrive();
    ASSERT_TRUE(qd->StartWatchThread());
    qd->Watch().RequestCapture(CWatchThread::kStart);
    ASSERT_TRUE(WaitUntil([&] { return qd->ConnectionWindow().Engine()->UploadRunning(); }, 20000));
    // Just short of the limit nothing happens; past it the slot fails.
    clock.Advance(CWatchThread::UploadLimitMs(4096 * 4) - 100);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(qd->Watch().CaptureState(), CWatchThread::kRunning);
    clock.Advance(200);
    EXPECT_TRUE(WaitUntil([&] { return qd->Watch().CaptureState() == CWatchThread::kStopped; }, 20000));
    EXPECT_EQ(qd->Watch().CaptureErrorText(), "Buffer_1 upload time-out");
    platform::PumpMessages();
    EXPECT_EQ(DataReady(), 1u) << "the failed capture is still reported";
    EXPECT_EQ(qd->Scope().slotValid[0], 0);
    // The thread runs on this test's clock: it ends before the clock goes.
    EXPECT_TRUE(qd->StopWatchThread());
}

// Between captures the thread refreshes the watched variables of the drive's program, one by
// one through the program area cells.
TEST_F(ScopeCapture, WatchedVariablesAreReadAndWrittenOneByOne) {
    Connect();
    ASSERT_EQ(drive->model->WriteValue("offset", 8), drivesim::Refusal::None);
    ASSERT_EQ(drive->model->WriteValue("RW_Global_AREA", 0x11223344), drivesim::Refusal::None);
    const engine::CWatchVariable written{0, 16, 1, 8}, read{1, 8, 4, 8}, alone{0, 0, 4, 8};
    uint32_t writeValue = 0x1234, readValue = 0, aloneValue = 7;
    engine::CWatchList list;
    list.entries = {{&written, engine::CWatchEntry::kWritePending, &writeValue},
                    {&read, 0, &readValue},
                    {&alone, engine::CWatchEntry::kLeftAlone, &aloneValue}};
    qd->Watch().SetWatchList(&list);
    qd->Watch().SetProgramAccess(true, false);
    ASSERT_TRUE(qd->StartWatchThread());
    qd->Watch().RequestWatch(CWatchThread::kStart);
    auto states = [&] {
        std::vector<int> out;
        if (list.LockRead(100)) return out;
        for (const engine::CWatchEntry& e : list.entries) out.push_back(e.state);
        list.UnlockRead();
        return out;
    };
    ASSERT_TRUE(WaitUntil([&] { return states() == std::vector<int>{1, 1, 4}; }, 20000));
    ASSERT_TRUE(qd->PauseWatchThread());
    EXPECT_EQ(qd->Watch().WatchState(), CWatchThread::kPaused);
    EXPECT_EQ(readValue, 0x11223344u);
    EXPECT_EQ(aloneValue, 7u);
    // A one-byte variable gets the low byte of its value.
    ASSERT_EQ(drive->model->WriteValue("offset", 16), drivesim::Refusal::None);
    EXPECT_EQ(drive->model->ReadValue("RW_Abs"), 0x34);

    // Without access to the program nothing is asked of the drive: every entry is unavailable.
    qd->Watch().SetProgramAccess(false, false);
    qd->ResumeWatchThread();
    EXPECT_TRUE(WaitUntil([&] { return states() == std::vector<int>{3, 3, 4}; }, 20000));
    EXPECT_TRUE(qd->StopWatchThread());
}

// The connect reads the oscilloscope's variables and error texts from the drive's description,
// and a capture converts with the drive's polarity and rated current.
TEST_F(ScopeCapture, TheDescriptionsVariablesAndTheDrivesUnitsMakeTheDisplayValues) {
    Connect("", "", false, [](drivesim::SimDriveModel& model) { ASSERT_TRUE(model.Set("Polarity", 192)); });
    osc_vars& setup = qd->Scope();
    ASSERT_EQ(setup.variables.size(), 9u);
    const int32_t velocity = setup.FindVariable("Actual velocity");
    ASSERT_GE(velocity, 0);
    EXPECT_EQ(setup.variables[static_cast<size_t>(velocity)].unitKey, "VelocityUnits");
    EXPECT_EQ(setup.variables[static_cast<size_t>(velocity)].code, 2);
    const int32_t temperature = setup.FindVariable("Motor temperature");
    ASSERT_GE(temperature, 0);
    EXPECT_TRUE(setup.variables[static_cast<size_t>(temperature)].isFloat);
    EXPECT_DOUBLE_EQ(setup.variables[static_cast<size_t>(setup.FindVariable("DC bus voltage"))].factor, 0.1);
    ASSERT_EQ(setup.errorTexts.size(), 8u);
    EXPECT_EQ(setup.errorTexts[8], "Oscilloscope locked");
    EXPECT_EQ(qd->ScopeDisplayInputs().polarity, 192u);

    // The statusword recorded as a torque of reversed polarity: thousandths of the rated current
    // the capture asks the drive for, negated.
    ComboChannelsTypes torque;
    torque.title = "Torque";
    torque.code = 7;
    torque.unitKey = "TorqueUnits";
    torque.polarity = 1;
    setup.variables.push_back(torque);
    Channels({"Torque", "Statusword"});
    CaptureOnce();
    EXPECT_DOUBLE_EQ(qd->ScopeDisplayInputs().ratedCurrent, 6000.0);
    platform::TimedLock lock(setup.Lock(), 1000);
    ASSERT_TRUE(lock);
    EXPECT_TRUE(AllEqual(setup.ChannelValues(1).values, 0x240)) << "no unit key, no polarity: as recorded";
    const std::vector<double>& v = setup.ChannelValues(0).values;
    ASSERT_FALSE(v.empty());
    EXPECT_NEAR(v[0], -0x240 * 7071.07 / 6000.0, 1e-9);
    EXPECT_TRUE(AllEqual(v, v[0]));
}

// With a program block size the watched variables are read in blocks from the drive program's
// virtual machine: the pending write as command 4, the blocks as command 3 in as many commands as
// the message size asks for.
TEST_F(ScopeCapture, WatchedVariablesAreReadInBlocksFromTheProgram) {
    Connect("", "", true, [](drivesim::SimDriveModel& model) { model.SetVmMessageSize(40); });
    auto put = [&](const char* area, int64_t offset, int64_t value) {
        ASSERT_EQ(drive->model->WriteValue("offset", offset), drivesim::Refusal::None);
        ASSERT_EQ(drive->model->WriteValue(area, value), drivesim::Refusal::None);
    };
    put("RW_Global_AREA", 8, 0x11223344);
    put("RW_Global_AREA", 12, 0x5566);
    put("RW_Abs", 16, 0x08);
    put("RW_Global_AREA", 120, 0xCAFEBABE);
    put("RW_Retain_AREA", 0, 0x01020304);
    put("RW_Abs", 200, 0xAABBCCDD);
    ASSERT_EQ(qd->VmComm().Init(), 0) << qd->LastErrorText();
    ASSERT_EQ(qd->VmComm().MaxMessageSize(), 40u);

    const engine::CWatchVariable vars[] = {{1, 8, 4, 8}, {1, 12, 2, 8},  {0, 16, 1, 3}, {1, 120, 4, 8},
                                           {2, 0, 4, 8}, {0, 202, 2, 8}, {0, 32, 2, 8}};
    uint32_t values[7] = {};
    values[6] = 0xBEEF;  // written to the program
    engine::CWatchList list;
    for (size_t i = 0; i < 7; ++i) list.entries.push_back({&vars[i], 0, &values[i]});
    list.entries[6].state = engine::CWatchEntry::kWritePending;
    // Answers of 12, then 28 + 4 + 4 bytes: two commands.
    list.blocks = {{8, 8, {0, 1}}, {16, 4, {2}}, {100, 28, {3}}, {0, 4, {4}}, {200, 4, {5}}};
    list.cursor = 0;
    qd->Watch().SetWatchList(&list);
    qd->Watch().SetProgramAccess(true, false);
    qd->Watch().SetProgramBlockSize(qd->VmComm().MaxMessageSize());
    ASSERT_TRUE(qd->StartWatchThread());
    qd->Watch().RequestWatch(CWatchThread::kStart);
    auto states = [&] {
        std::vector<int> out;
        if (list.LockRead(100)) return out;
        for (const engine::CWatchEntry& e : list.entries) out.push_back(e.state);
        list.UnlockRead();
        return out;
    };
    ASSERT_TRUE(WaitUntil([&] { return states() == std::vector<int>{1, 1, 1, 1, 1, 1, 1}; }, 5000));
    ASSERT_TRUE(qd->PauseWatchThread());
    EXPECT_EQ(values[0], 0x11223344u);
    EXPECT_EQ(values[1], 0x5566u);
    EXPECT_EQ(values[2], 1u) << "bit 3 of 0x08";
    EXPECT_EQ(values[3], 0xCAFEBABEu);
    EXPECT_EQ(values[4], 0x01020304u);
    EXPECT_EQ(values[5], 0xAABBu);
    ASSERT_EQ(drive->model->WriteValue("offset", 32), drivesim::Refusal::None);
    EXPECT_EQ(drive->model->ReadValue("RW_Abs"), 0xBEEF);
    EXPECT_EQ(drive->model->VmCommands(4), 1u);
    const uint64_t reads = drive->model->VmCommands(3);
    EXPECT_GT(reads, 0u);
    EXPECT_EQ(reads % 2, 0u) << "every refresh takes two commands";

    // A block the program cannot give fails its command: no entry gets a value from it.
    ASSERT_FALSE(list.LockWrite());
    list.blocks[4].base = 0x20000;
    list.UnlockWrite();
    put("RW_Global_AREA", 8, 0x99);
    ASSERT_TRUE(qd->ResumeWatchThread());
    EXPECT_TRUE(WaitUntil([&] { return states() == std::vector<int>{2, 2, 2, 2, 2, 2, 1}; }, 5000));
    EXPECT_TRUE(qd->StopWatchThread());
    EXPECT_EQ(values[0], 0x11223344u);

    // A stopped program is not asked.
    const uint64_t before = drive->model->VmCommands(3);
    qd->Watch().SetProgramAccess(true, true);
    ASSERT_TRUE(qd->StartWatchThread());
    EXPECT_TRUE(WaitUntil([&] { return states() == std::vector<int>{3, 3, 3, 3, 3, 3, 3}; }, 5000));
    EXPECT_TRUE(qd->StopWatchThread());
    EXPECT_EQ(drive->model->VmCommands(3), before);
}

}  // namespace
