// The system manager against the simulated drive in simulated time: description tables,
// commands that complete, time out, find the drive busy or are refused and forced, and the
// hand-over between callers and the command thread.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "drive/DriveSettings.h"
#include "drive/ErrorReport.h"
#include "drive/SystemManager.h"
#include "foundation/XmlDocument.h"
#include "platform/Prompt.h"
#include "tests/drive/SystemManagerTestSupport.h"
#include "tests/engine/EngineTestSupport.h"

using namespace drive;
using foundation::S_OK;

namespace {

std::string DescriptionPath() {
    return std::string(TUNOVA_FIXTURES) + "/../../app/data/Xml/1234_2_3_1.xml";
}

constexpr uint32_t kRefused = 0x08000000;

// Loads a "SystemManager" element given as text into a fresh manager.
struct Loaded {
    explicit Loaded(const std::string& xml) {
        EXPECT_EQ(document.LoadXml("<Data>" + xml + "</Data>"), S_OK);
        manager.Load(&document.Root());
    }
    foundation::CXmlDocument document;
    CSystemManager manager;
};

TEST(SystemManagerLoad, TablesFollowTheDescriptionRules) {
    Loaded a(R"(<SystemManager><Commands forcingmessage="First line\nSecond line">
        <Cmd name="SYS_CV_A" descr="A" value="999"/>
        <Cmd name="SYS_CV_B" descr="B" value="1000" waitstatus="3" forceable="True"/>
        <Cmd name="SYS_CV_C" descr="C" value="1099"/>
        <Cmd name="SYS_CV_D" descr="D" value="1100"/>
        <Cmd name="SYS_CV_B" descr="duplicate" value="5"/>
        <Cmd name="SYS_CV_E" descr="same value" value="999"/>
        <Cmd name="SYS_CV_RSSP_X" descr="Stop SYS_CV_A safely, not SYS_CV_B" value="10"/>
        <Cmd name="SYS_CV_RSSP_Y" descr="SYS_CV_A again" value="11"/>
      </Commands><Errors>
        <Error value="8" descr="first" severity="1"/>
        <Error value="8" descr="second" severity="0x1" safetycond="True"/>
        <Error value="9" descr="no severity"/>
        <Error value="10" descr="bad severity" severity="abc"/>
      </Errors></SystemManager>)");
    const CSystemManager& m = a.manager;
    EXPECT_EQ(m.ForcingMessage(), "First line\nSecond line");
    ASSERT_EQ(m.Commands().size(), 7u) << "a name already known is skipped";
    EXPECT_EQ(m.Commands().at("SYS_CV_B").description, "B");
    EXPECT_EQ(m.Commands().at("SYS_CV_B").waitStatus, 3u);
    EXPECT_TRUE(m.Commands().at("SYS_CV_B").forceable);
    // No watchdog attribute anywhere: 1000..1099 get the flag.
    EXPECT_FALSE(m.Commands().at("SYS_CV_A").watchdog);
    EXPECT_TRUE(m.Commands().at("SYS_CV_B").watchdog);
    EXPECT_TRUE(m.Commands().at("SYS_CV_C").watchdog);
    EXPECT_FALSE(m.Commands().at("SYS_CV_D").watchdog);
    EXPECT_EQ(m.LookupCommand("SYS_CV_E"), 999u);
    EXPECT_EQ(m.LookupCommand("SYS_CV_NONE"), 0u);
    // The first word naming a command, and the first command claiming it wins.
    ASSERT_EQ(m.Aliases().size(), 1u);
    EXPECT_EQ(m.Aliases().at("SYS_CV_A"), "SYS_CV_RSSP_X");

    SysMngError error;
    ASSERT_TRUE(m.LookupError(8, error));
    EXPECT_EQ(error.text, "second") << "a later error replaces an earlier one";
    EXPECT_EQ(error.severity, 1u);
    EXPECT_TRUE(error.safetyCondition);
    ASSERT_TRUE(m.LookupError(9, error));
    EXPECT_EQ(error.severity, 2u);
    ASSERT_TRUE(m.LookupError(10, error));
    EXPECT_EQ(error.severity, 2u);
    EXPECT_EQ(CSystemManager::GetCommandText(m.Commands().at("SYS_CV_C")), "C (1099)");

    // One watchdog attribute anywhere switches the rule off.
    Loaded b(R"(<SystemManager><Commands>
        <Cmd name="SYS_CV_A" value="1000"/><Cmd name="SYS_CV_B" value="1" watchdog="False"/>
      </Commands></SystemManager>)");
    EXPECT_FALSE(b.manager.Commands().at("SYS_CV_A").watchdog);
    EXPECT_EQ(b.manager.ForcingMessage(), "Would you like to force the command?");

    // A load starts from empty tables; no element leaves them empty.
    b.manager.Load(nullptr);
    EXPECT_TRUE(b.manager.Commands().empty());
    Loaded c("<Other/>");
    EXPECT_TRUE(c.manager.Commands().empty());
    EXPECT_TRUE(c.manager.Aliases().empty());
}

TEST(SystemManagerLoad, ErrorTextsOfNumbersOutsideTheTable) {
    Loaded a(
        R"(<SystemManager><Errors><Error value="7" descr="Seven" severity="0"/></Errors></SystemManager>)");
    std::string text;
    uint32_t severity = 9;
    a.manager.GetErrorText(text, 7, severity);
    EXPECT_EQ(text, "Seven");
    EXPECT_EQ(severity, 0u);
    a.manager.GetErrorText(text, static_cast<uint32_t>(-5), severity);
    EXPECT_EQ(text, "Command not terminated, [timeout]");
    EXPECT_EQ(severity, 2u);
    a.manager.GetErrorText(text, static_cast<uint32_t>(-2), severity);
    EXPECT_EQ(text, "Drive doesn't respond, [timeout]");
    a.manager.GetErrorText(text, 77, severity);
    EXPECT_EQ(text, "Unknown error 77(0x4d)");
}

// The manager on the simulated drive's own description, both on one simulated clock.
class SystemManagerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(model.Load(DescriptionPath(), &error)) << error;
        ASSERT_EQ(description.Load(DescriptionPath()), S_OK);
        const foundation::CXmlNode* data = description.Root().FindNode("ClientList\\Client\\Data");
        ASSERT_NE(data, nullptr);
        manager.Load(data);
        manager.SetAccess(&access);
        manager.SetEnabled(true);
    }
    void TearDown() override { manager.Stop(); }
    void Apply(const std::string& text) {
        std::string error;
        ASSERT_TRUE(model.ApplySwitch(text, &error)) << error;
    }
    size_t CommandWrites() { return access.Written("SystemManagerCommand").size(); }
    // The arguments of the message-details prompts: caption, text, details, severity.
    std::vector<std::vector<std::string>> Reports() {
        std::vector<std::vector<std::string>> out;
        for (const auto& q : prompts.Prompts().Asked())
            if (q.kind == kMessageDetailsPrompt) out.push_back(q.args);
        return out;
    }
    size_t Asked(const std::string& kind) {
        size_t n = 0;
        for (const auto& q : prompts.Prompts().Asked()) n += q.kind == kind ? 1 : 0;
        return n;
    }

    enginetest::PromptScope prompts;
    platform::FakeClock clock{1000};
    drivesim::SimDriveModel model{clock};
    foundation::CXmlDocument description;
    drivetest::SimAccess access{model};
    CSystemManager manager{clock};
};

TEST_F(SystemManagerTest, ACommandRunsToItsEnd) {
    std::string text = "old";
    EXPECT_EQ(manager.ExecuteCommand("SYS_CV_RESET_DIAGNOSTIC_VAR", 0, 0, false, &text), 0u);
    EXPECT_EQ(text, "");
    EXPECT_EQ(model.ReadValue("SystemManagerCommand"), 0) << "waited for the drive to clear the command";
    EXPECT_EQ(access.Written("SystemManagerCommand"), std::vector<uint32_t>{500});
    EXPECT_EQ(prompts.Prompts().AskedCount(), 0u);
    EXPECT_TRUE(manager.ThreadRunning());

    // The drive's error number of a completed command is reported with its severity.
    Apply("fail=SYS_CV_RESET_DIAGNOSTIC_VAR:20");
    EXPECT_EQ(manager.ExecuteCommand("SYS_CV_RESET_DIAGNOSTIC_VAR", 0, 0, false, &text), 20u);
    EXPECT_EQ(text, "Permanent memory write failed");
    ASSERT_EQ(Reports().size(), 1u);
    EXPECT_EQ(Reports()[0][0], "System Error");
    EXPECT_EQ(Reports()[0][2],
              "SysMngCommand: 500 : Reset the diagnostic counters\r\nSysMngError: 20 : "
              "Permanent memory write failed");
}

TEST_F(SystemManagerTest, DisabledManagerDoesNothingAndSucceeds) {
    manager.SetEnabled(false);
    EXPECT_EQ(manager.ExecuteCommand("SYS_CV_EE_SAVE_USER"), 0u);
    EXPECT_EQ(manager.ExecuteCommand("SYS_CV_NOTHING"), 0u);
    EXPECT_TRUE(access.writes.empty());
    EXPECT_FALSE(manager.ThreadRunning());
}

TEST_F(SystemManagerTest, UnknownCommandIsReportedWithoutTouchingTheDrive) {
    uint32_t errorNumber = 0, severity = 0;
    std::string text, details;
    EXPECT_EQ(manager.StartCommand("SYS_CV_NOTHING", 0, errorNumber, text, details, severity), -5);
    EXPECT_EQ(
        text,
        "Internal error: unknown system manager command 'SYS_CV_NOTHING'\r\n\r\nThe configuration file is "
        "not updated or corrupted.");
    EXPECT_EQ(manager.ExecuteCommand("SYS_CV_NOTHING", 0, 0, false, &text), static_cast<uint32_t>(-5));
    EXPECT_EQ(text, "System manager: unknown command 'SYS_CV_NOTHING'");
    ASSERT_EQ(Reports().size(), 1u);
    EXPECT_EQ(Reports()[0][2], "Error: 0xfffffffb (4294967291)\r\nSysMngCommand: SYS_CV_NOTHING");
    EXPECT_TRUE(access.writes.empty());
}

TEST_F(SystemManagerTest, DriveThatNeverEndsTheCommandTimesOutAfterThirtySeconds) {
    Apply("hang=SYS_CV_RESET_DIAGNOSTIC_VAR");
    const int64_t start = clock.NowMs();
    std::string text;
    EXPECT_EQ(manager.ExecuteCommand("SYS_CV_RESET_DIAGNOSTIC_VAR", 0, 0, false, &text),
              static_cast<uint32_t>(-2));
    EXPECT_EQ(text, "Drive doesn't respond, [timeout]");
    EXPECT_GE(clock.NowMs() - start, 30000);
    EXPECT_LT(clock.NowMs() - start, 31000);
    ASSERT_EQ(Reports().size(), 1u);
    EXPECT_EQ(Reports()[0][1], "Drive doesn't respond, [timeout]");
    EXPECT_EQ(manager.DroppedResults(), 0u) << "the caller waited for the thread's own time-out";
}

TEST_F(SystemManagerTest, BusyDriveNamesTheRunningCommand) {
    Apply("busy=SYS_CV_TN_STIMATORE_J");
    uint32_t errorNumber = 0, severity = 0;
    std::string text, details;
    EXPECT_EQ(manager.StartCommand("SYS_CV_EE_SAVE_USER", 0, errorNumber, text, details, severity),
              static_cast<int32_t>(0x06010002));
    EXPECT_EQ(errorNumber, 0x08000020u);
    EXPECT_EQ(text, "The drive is busy in executing the command:\r\nInertia estimation");
    EXPECT_EQ(
        details,
        "Command: 100 : Save parameters in permanent memory\r\nRunning command: 1001 : Inertia estimation");

    // A running command the program's table does not know.
    foundation::CXmlDocument small;
    ASSERT_EQ(small.LoadXml(R"(<Data><SystemManager><Commands>
        <Cmd name="SYS_CV_EE_SAVE_USER" descr="Save" value="100"/></Commands></SystemManager></Data>)"),
              S_OK);
    manager.Load(&small.Root());
    EXPECT_EQ(manager.StartCommand("SYS_CV_EE_SAVE_USER", 0, errorNumber, text, details, severity),
              static_cast<int32_t>(0x06010002));
    EXPECT_EQ(text, "The drive is busy in executing the command 1001");
    EXPECT_EQ(details, "Command: 100 : Save\r\nRunning command: 0x3e9");

    // The command word cannot be read.
    class BlindAccess : public drivetest::SimAccess {
      public:
        using SimAccess::SimAccess;
        int ReadCell(const std::string&, uint32_t*) override { return -123; }
    } blind(model);
    manager.SetAccess(&blind);
    EXPECT_EQ(manager.StartCommand("SYS_CV_EE_SAVE_USER", 0, errorNumber, text, details, severity),
              static_cast<int32_t>(0x06010002));
    EXPECT_EQ(text, "Drive busy");
    EXPECT_EQ(details, "Command: 100 : Save");
    manager.SetAccess(&access);
}

TEST_F(SystemManagerTest, StartOnlyCommands) {
    // Without a wait status: back as soon as the drive took it.
    EXPECT_EQ(manager.ExecuteCommand("SYS_CV_RESET_DIAGNOSTIC_VAR", 1), 0u);
    EXPECT_EQ(model.ReadValue("SystemManagerCommand"), 500) << "still running in the drive";
    clock.Advance(300);

    // With one: back once the drive shows it.
    const int64_t start = clock.NowMs();
    EXPECT_EQ(manager.ExecuteCommand("SYS_CV_TN_MANUAL_VELOCITY", 1), 0u);
    EXPECT_EQ(manager.StatusValue(), 2u);
    EXPECT_GE(clock.NowMs() - start, 300);
    EXPECT_LT(clock.NowMs() - start, 2000);

    // A watchdog command is kept alive by the thread while it runs.
    clock.Advance(20000);
    EXPECT_EQ(manager.ExecuteCommand("SYS_CV_TN_STIMATORE_J", 1), 0u);
    auto refreshed = [&] {
        for (uint32_t v : access.Written("ResetWatchDogTimeOut"))
            if (v == 1001) return true;
        return false;
    };
    for (int i = 0; i < 300 && !refreshed(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(refreshed());
}

TEST_F(SystemManagerTest, InitialErrorNumberAbove100IsReducedWhenTheStartSetsNone) {
    // The drive refuses the write as busy without the busy abort code: the start step sets no
    // error number, so the initial one decides between the unexpected-response report and the
    // start step's own text.
    struct Case {
        uint32_t initial;
        const char* text;
    } cases[] = {{0, "System manager unexpected response."}, {2000, "Drive busy"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.initial);
        class Refusing : public drivetest::SimAccess {
          public:
            using SimAccess::SimAccess;
            int WriteCell(const std::string&, uint32_t) override { return 0x06010002; }
            int ReadCell(const std::string&, uint32_t*) override { return -1; }
        } refusing(model);
        manager.SetAccess(&refusing);
        std::string text;
        EXPECT_EQ(manager.ExecuteCommand("SYS_CV_EE_SAVE_USER", 0, c.initial, true, &text), 0x06010002u);
        EXPECT_EQ(text, c.text);
        manager.SetAccess(&access);
    }
}

// The safety refusal of the PLC and the forcing question, bounded to one forced retry.
TEST_F(SystemManagerTest, SafetyRefusalWithTheSafePlcAnswers) {
    struct Case {
        const char* sw;
        const char* command;
        std::vector<int> answers;  // safe-PLC dialog, then forcing question
        uint32_t result;
        size_t commandWrites;
        size_t forcingWrites;
        size_t safePlcAsked;
        size_t forcingAsked;
        size_t reports;
    } cases[] = {
        // Cancel: error 1000's text, no report.
        {"refuse=SYS_CV_STOP_PLC", "SYS_CV_STOP_PLC", {2}, 1000, 1, 0, 1, 0, 0},
        // Force: the stop command is forced without the question.
        {"refuse=SYS_CV_STOP_PLC", "SYS_CV_STOP_PLC", {1057}, 0, 2, 1, 1, 0, 0},
        // Any other answer starts it once more, unforced: refused again and reported.
        {"refuse=SYS_CV_STOP_PLC:14", "SYS_CV_STOP_PLC", {1}, kRefused, 2, 0, 1, 0, 1},
        // Forcing does not help: one forced retry, then the report (no endless loop).
        {"refuse-always=SYS_CV_STOP_PLC", "SYS_CV_STOP_PLC", {1057}, kRefused, 2, 1, 1, 0, 1},
        // A forceable command without an alias: forced after the forcing question.
        {"refuse=SYS_CV_ERASE_PLC:14", "SYS_CV_ERASE_PLC", {platform::IDOK}, 0, 2, 1, 0, 1, 0},
        {"refuse=SYS_CV_ERASE_PLC", "SYS_CV_ERASE_PLC", {platform::IDCANCEL}, 1000, 1, 0, 0, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.sw) + " " + std::to_string(c.answers[0]));
        drivesim::SimDriveModel drive{clock};
        std::string error;
        ASSERT_TRUE(drive.Load(DescriptionPath(), &error));
        ASSERT_TRUE(drive.ApplySwitch(c.sw, &error)) << error;
        drivetest::SimAccess simAccess(drive);
        manager.SetAccess(&simAccess);
        prompts.Prompts().Clear();
        for (int answer : c.answers) prompts.Prompts().PushAnswer(answer);
        std::string text;
        EXPECT_EQ(manager.ExecuteCommand(c.command, 0, 0, false, &text), c.result);
        if (c.result == 1000) {
            EXPECT_EQ(text, "Command cancelled");
        }
        EXPECT_EQ(simAccess.Written("SystemManagerCommand").size(), c.commandWrites);
        EXPECT_EQ(simAccess.Written("SystemManagerEnableForcing").size(), c.forcingWrites);
        EXPECT_EQ(Asked(CSystemManager::kSafePlcPrompt), c.safePlcAsked);
        EXPECT_EQ(Asked(CSystemManager::kForcingPrompt), c.forcingAsked);
        EXPECT_EQ(Reports().size(), c.reports);
        manager.SetAccess(&access);
    }
    // The arguments of the two questions.
    for (const auto& q : prompts.Prompts().Asked())
        if (q.kind == CSystemManager::kForcingPrompt) {
            ASSERT_EQ(q.args.size(), 2u);
            EXPECT_EQ(q.args[0], "Erase the PLC program (302)");
            EXPECT_EQ(q.args[1],
                      "Forcing skips the safety check of the drive.\nWould you like to force the command?");
        }
}

TEST_F(SystemManagerTest, SafetySettingsCanSkipTheSafePlcDialog) {
    Apply("refuse=SYS_CV_STOP_PLC");
    CDriveSettings settings;
    settings.DontAskSafety = true;
    settings.SafetySafePlc = false;
    manager.SetSettings(&settings);
    EXPECT_EQ(manager.ExecuteCommand("SYS_CV_STOP_PLC"), 0u);
    EXPECT_EQ(prompts.Prompts().AskedCount(), 0u);
    EXPECT_EQ(access.Written("SystemManagerEnableForcing"), std::vector<uint32_t>{1});

    // Quiet: no window, no forcing; the error table's text goes to the buffer.
    std::string text;
    EXPECT_EQ(manager.ExecuteCommand("SYS_CV_STOP_PLC", 0, 0, true, &text), kRefused);
    EXPECT_EQ(text, "Command refused: the PLC program is running");
    EXPECT_EQ(prompts.Prompts().AskedCount(), 0u);
    manager.SetSettings(nullptr);
}

TEST_F(SystemManagerTest, ForceableCommandWithAnotherSafetyErrorIsForcedOnce) {
    foundation::CXmlDocument doc;
    ASSERT_EQ(doc.LoadXml(R"(<Data><SystemManager><Commands>
        <Cmd name="SYS_CV_SENSOR_PHASING" descr="Sensor phasing" value="600" forceable="True"/></Commands>
        <Errors><Error value="20" descr="Phasing not safe now" safetycond="True"/></Errors>
      </SystemManager></Data>)"),
              S_OK);
    manager.Load(&doc.Root());
    Apply("refuse=SYS_CV_SENSOR_PHASING:20");
    prompts.Prompts().PushAnswer(platform::IDOK);
    EXPECT_EQ(manager.ExecuteCommand("SYS_CV_SENSOR_PHASING"), 0u);
    EXPECT_EQ(Asked(CSystemManager::kForcingPrompt), 1u);
    EXPECT_EQ(access.Written("SystemManagerCommand").size(), 2u);

    // Declined: reported with the drive's text.
    prompts.Prompts().Clear();
    prompts.Prompts().PushAnswer(platform::IDCANCEL);
    std::string text;
    EXPECT_EQ(manager.ExecuteCommand("SYS_CV_SENSOR_PHASING", 0, 0, false, &text), kRefused);
    EXPECT_EQ(text, "Phasing not safe now");
    EXPECT_EQ(Reports().size(), 1u);
}

TEST_F(SystemManagerTest, MessagesAndWarningsOfTheDriveCountAsDone) {
    struct Case {
        uint32_t error;
        bool quiet;
        const char* kind;
        const char* caption;
    } cases[] = {{50, false, "MessageBox", "System message"},
                 {51, false, kMessageDetailsPrompt, "System warning"},
                 {50, true, nullptr, nullptr},
                 {51, true, nullptr, nullptr}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.error) + (c.quiet ? " quiet" : ""));
        Apply("fail=SYS_CV_RESET_DIAGNOSTIC_VAR:" + std::to_string(c.error));
        prompts.Prompts().Clear();
        EXPECT_EQ(manager.ExecuteCommand("SYS_CV_RESET_DIAGNOSTIC_VAR", 0, 0, c.quiet), 0u);
        if (!c.kind) {
            EXPECT_EQ(prompts.Prompts().AskedCount(), 0u);
            continue;
        }
        ASSERT_EQ(prompts.Prompts().AskedCount(), 1u);
        const auto q = prompts.Prompts().Asked()[0];
        EXPECT_EQ(q.kind, c.kind);
        EXPECT_EQ(q.kind == "MessageBox" ? q.caption : q.args[0], c.caption);
    }
}

// A drive access that holds a write until the test lets it go.
class GateAccess : public drive::CSystemManagerAccess {
  public:
    int ReadCell(const std::string& name, uint32_t* value) override {
        *value = name == "SystemManagerError" ? 7 : 0;
        return 0;
    }
    int WriteCell(const std::string&, uint32_t value) override {
        std::unique_lock lock(mutex);
        ++entered;
        cv.notify_all();
        cv.wait(lock, [&] { return open || value != 100; });
        return 0;
    }
    std::string LastErrorText() override { return {}; }
    std::string ModbusErrorVariableName() override { return "ModbusError"; }
    const std::string* FindModbusError(uint32_t) override { return nullptr; }
    void WaitEntered(int n) {
        std::unique_lock lock(mutex);
        cv.wait(lock, [&] { return entered >= n; });
    }
    void Open() {
        std::lock_guard lock(mutex);
        open = true;
        cv.notify_all();
    }
    std::mutex mutex;
    std::condition_variable cv;
    int entered = 0;
    bool open = false;
};

TEST_F(SystemManagerTest, CallerThatGaveUpGetsNoLateResult) {
    GateAccess gate;
    manager.SetAccess(&gate);
    int32_t result = 1;
    std::thread caller([&] {
        uint32_t errorNumber = 0, severity = 0;
        std::string text, details;
        result = manager.StartCommand("SYS_CV_EE_SAVE_USER", 0, errorNumber, text, details, severity);
    });
    gate.WaitEntered(1);
    clock.Advance(31000);
    caller.join();
    EXPECT_EQ(result, -2);

    // The thread still runs the old command: a new caller finds it busy.
    uint32_t errorNumber = 0, severity = 0;
    std::string text, details;
    EXPECT_EQ(manager.StartCommand("SYS_CV_EE_LOAD", 0, errorNumber, text, details, severity), -1);

    gate.Open();
    for (int i = 0; i < 500 && manager.DroppedResults() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(manager.DroppedResults(), 1u) << "the late result was dropped, not written anywhere";
    EXPECT_EQ(result, -2);
    // The next command gets its own answer.
    EXPECT_EQ(manager.StartCommand("SYS_CV_EE_LOAD", 0, errorNumber, text, details, severity), 7);
}

TEST_F(SystemManagerTest, StopEndsAWaitingCommandAndJoins) {
    Apply("hang=SYS_CV_RESET_DIAGNOSTIC_VAR");
    // A clock that moves only with the thread's own polls would time out at once; this one
    // stands still so that only Stop ends the wait.
    class StillClock : public platform::Clock {
      public:
        int64_t NowMs() override { return 0; }
        int64_t NowUs() override { return 0; }
        void SleepMs(uint32_t) override { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }
    } still;
    manager.SetClock(still);
    uint32_t result = 0;
    std::thread caller([&] { result = manager.ExecuteCommand("SYS_CV_RESET_DIAGNOSTIC_VAR", 0, 0, true); });
    for (int i = 0; i < 500 && CommandWrites() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    manager.Stop();
    caller.join();
    EXPECT_EQ(result, static_cast<uint32_t>(-2));
    EXPECT_FALSE(manager.ThreadRunning());
    manager.SetClock(clock);
}

// The thread frees itself before the caller hears the result: a caller's next command never
// finds it busy with the one that just ended.
TEST(SystemManagerHandOver, NextCommandNeverFindsTheThreadBusy) {
    class Instant : public drive::CSystemManagerAccess {
      public:
        int ReadCell(const std::string&, uint32_t* value) override {
            *value = 0;
            return 0;
        }
        int WriteCell(const std::string&, uint32_t) override { return 0; }
        std::string LastErrorText() override { return {}; }
        std::string ModbusErrorVariableName() override { return "ModbusError"; }
        const std::string* FindModbusError(uint32_t) override { return nullptr; }
    } instant;
    foundation::CXmlDocument doc;
    ASSERT_EQ(doc.LoadXml(R"(<Data><SystemManager><Commands><Cmd name="SYS_CV_A" value="1"/></Commands>
      </SystemManager></Data>)"),
              S_OK);
    platform::FakeClock clock{0};
    CSystemManager manager{clock};
    manager.Load(&doc.Root());
    manager.SetAccess(&instant);
    manager.SetEnabled(true);
    for (int i = 0; i < 300; ++i) {
        uint32_t errorNumber = 0, severity = 0;
        std::string text, details;
        ASSERT_EQ(manager.StartCommand("SYS_CV_A", i % 2, errorNumber, text, details, severity), 0) << i;
    }
}

// Many callers at once: each request that the thread takes ends with its own command's answer
// (or a time-out whose late result is dropped); none is lost, none gets another's answer.
TEST(SystemManagerStress, EveryHandOverEndsWithItsOwnAnswer) {
    class Echo : public drive::CSystemManagerAccess {
      public:
        int ReadCell(const std::string& name, uint32_t* value) override {
            if (inside.fetch_add(1) != 0) overlapped = true;
            *value = name == "SystemManagerError" ? last.load() * 10 : 0;
            inside.fetch_sub(1);
            return 0;
        }
        int WriteCell(const std::string& name, uint32_t value) override {
            if (inside.fetch_add(1) != 0) overlapped = true;
            if (name == "SystemManagerCommand") last = value;
            std::this_thread::yield();
            inside.fetch_sub(1);
            return 0;
        }
        std::string LastErrorText() override { return {}; }
        std::string ModbusErrorVariableName() override { return "ModbusError"; }
        const std::string* FindModbusError(uint32_t) override { return nullptr; }
        std::atomic<uint32_t> last{0};
        std::atomic<int> inside{0};
        std::atomic<bool> overlapped{false};
    } echo;
    std::string xml = "<Data><SystemManager><Commands>";
    for (int i = 1; i <= 8; ++i)
        xml += "<Cmd name=\"SYS_CV_" + std::to_string(i) + "\" value=\"" + std::to_string(i) + "\"/>";
    xml += "</Commands></SystemManager></Data>";
    foundation::CXmlDocument doc;
    ASSERT_EQ(doc.LoadXml(xml), S_OK);
    platform::FakeClock clock{0};
    CSystemManager manager{clock};
    manager.Load(&doc.Root());
    manager.SetAccess(&echo);
    manager.SetEnabled(true);

    std::atomic<int> own{0}, busy{0}, timedOut{0}, wrong{0};
    std::vector<std::thread> callers;
    for (int t = 1; t <= 8; ++t)
        callers.emplace_back([&, t] {
            for (int i = 0; i < 40; ++i) {
                uint32_t errorNumber = 0, severity = 0;
                std::string text, details;
                const int32_t r = manager.StartCommand("SYS_CV_" + std::to_string(t), 0, errorNumber, text,
                                                       details, severity);
                if (r == t * 10) {
                    ++own;
                } else if (r == -1) {
                    ++busy;
                } else if (r == -2) {
                    ++timedOut;
                } else {
                    ++wrong;
                }
            }
        });
    for (std::thread& c : callers) c.join();
    manager.Stop();
    EXPECT_EQ(wrong, 0);
    EXPECT_FALSE(echo.overlapped);
    EXPECT_GT(own, 0);
    EXPECT_EQ(own + busy + timedOut, 320);
    EXPECT_EQ(manager.DroppedResults(), static_cast<uint32_t>(timedOut.load()));
}

}  // namespace
