// The maintenance dialogs: the permanent memory buttons by device kind and flags and what each
// runs (a failed command is never reported as done), the system information tree and its
// clipboard texts, the safe-state procedure of the PLC in simulated time, the commands against
// the simulated drive, and each window under the display with a picture.
#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/gauge.h>
#include <wx/timer.h>

#include "AppTestSupport.h"
#include "app/DlgMaintenance.h"
#include "app/DlgMaintenanceWindows.h"
#include "app/MainDlgCommands.h"
#include "drive/Qd.h"
#include "foundation/CompatChecker.h"
#include "foundation/Identity.h"
#include "foundation/MessageIds.h"
#include "foundation/XmlDocument.h"
#include "platform/Clock.h"
#include "platform/Prompt.h"
#include "platform/ui/Gui.h"
#include "platform/ui/WindowPicture.h"
#include "tests/drive/DriveObjectTestSupport.h"
#include "tests/drive/SystemManagerTestSupport.h"
#include "tools/drivesim/SimDriveModel.h"

using namespace app;

namespace {

constexpr int kWaitMs = 15000;

// ---- permanent memory: layout -----------------------------------------------------------------

TEST(PermanentMemoryLayoutTest, ButtonsByDeviceKindAndFlags) {
    struct Case {
        const char* what;
        PermanentMemoryFacts facts;
        std::vector<int> rows;
        bool saveDefaults;
        bool saveEnabled;
    };
    auto facts = [](int kind, bool commands, bool own, bool motor, bool program, bool authorized) {
        PermanentMemoryFacts f;
        f.deviceKind = kind;
        f.systemCommands = commands;
        f.ownPagesFamily = own;
        f.motorDeletionAllowed = motor;
        f.programSavable = program;
        f.saveDefaultsAuthorized = authorized;
        return f;
    };
    const Case cases[] = {
        {"plain drive", facts(0, false, false, false, false, false), {IDC_PM_CLOSE}, false, true},
        {"system commands",
         facts(0, true, false, false, false, false),
         {IDC_PM_RELOAD_ALL, IDC_PM_RELOAD_LOOPS, IDC_PM_CLOSE},
         false,
         true},
        {"motor deletion",
         facts(0, true, false, true, false, false),
         {IDC_PM_RELOAD_ALL, IDC_PM_RELOAD_LOOPS, IDC_PM_DELETE_MOTOR, IDC_PM_CLOSE},
         false,
         true},
        {"everything",
         facts(2, true, false, true, true, false),
         {IDC_PM_RELOAD_ALL, IDC_PM_RELOAD_LOOPS, IDC_PM_DELETE_MOTOR, IDC_PM_SAVE_PROGRAM, IDC_PM_CLOSE},
         false,
         true},
        {"family with its own pages",
         facts(0, true, true, true, true, false),
         {IDC_PM_SAVE_PROGRAM, IDC_PM_CLOSE},
         false,
         true},
        {"program only",
         facts(0, false, false, true, true, false),
         {IDC_PM_SAVE_PROGRAM, IDC_PM_CLOSE},
         false,
         true},
        {"Xul, authorized",
         facts(10, true, false, true, true, true),
         {IDC_PM_RELOAD_ALL, IDC_PM_SAVE_PROGRAM, IDC_PM_CLOSE},
         true,
         true},
        {"Xul, not authorized",
         facts(10, false, false, false, false, false),
         {IDC_PM_RELOAD_ALL, IDC_PM_SAVE_PROGRAM, IDC_PM_CLOSE},
         true,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const PermanentMemoryLayout layout = PermanentMemoryLayoutFor(c.facts);
        EXPECT_EQ(layout.rows, c.rows);
        EXPECT_EQ(layout.saveDefaults, c.saveDefaults);
        EXPECT_EQ(layout.saveProgramEnabled, c.saveEnabled);
        EXPECT_EQ(PermanentMemoryButtonText(IDC_PM_SAVE_PROGRAM, layout),
                  c.saveDefaults ? "Save defaults" : "Save program in permanent memory");
    }
}

// ---- permanent memory: actions ----------------------------------------------------------------

class FakePermanentMemory : public CPermanentMemoryDrive {
  public:
    int SaveParametersToEeprom() override {
        calls.push_back("save parameters");
        return saveResult;
    }
    int RestoreEepromDefaults() override {
        calls.push_back("restore");
        return restoreResult;
    }
    int SaveProgramToEeprom() override {
        calls.push_back("save program");
        return programResult;
    }
    int ExecuteCommand(const std::string& name) override {
        calls.push_back(name);
        const auto found = results.find(name);
        return found == results.end() ? 0 : found->second;
    }
    int saveResult = 0, restoreResult = 0, programResult = 0;
    std::map<std::string, int> results;
    std::vector<std::string> calls;
};

class PermanentMemoryActions : public ::testing::Test {
  protected:
    void SetUp() override { platform::SetPromptService(&prompts); }
    void TearDown() override { platform::SetPromptService(nullptr); }
    std::vector<platform::ScriptedPrompts::Question> Boxes() const {
        std::vector<platform::ScriptedPrompts::Question> out;
        for (const auto& q : prompts.Asked())
            if (q.kind == "MessageBox") out.push_back(q);
        return out;
    }
    platform::ScriptedPrompts prompts;
    FakePermanentMemory drive;
};

TEST_F(PermanentMemoryActions, EachButtonRunsItsCommandAndTellsOnlyWhatWasDone) {
    struct Case {
        int button;
        bool xul;
        std::string command;
        int commandResult;
        int expected;
        const char* text;  // null: no message box
        const char* caption;
        unsigned icon;
    };
    const Case cases[] = {
        {IDC_PM_RELOAD_ALL, false, "SYS_CV_EE_LOAD", 0, 0, "Reload all parameters completed", "Reload all",
         platform::MB_ICONINFORMATION},
        {IDC_PM_RELOAD_ALL, false, "SYS_CV_EE_LOAD", 143, 143, nullptr, nullptr, 0},
        {IDC_PM_RELOAD_LOOPS, false, "SYS_CV_EE_LOAD_INIT_REG", 0, 0, "Reload loops parameters completed",
         "Reload loops", platform::MB_ICONINFORMATION},
        {IDC_PM_RELOAD_LOOPS, false, "SYS_CV_EE_LOAD_INIT_REG", 1000, 1000, nullptr, nullptr, 0},
        {IDC_PM_DELETE_MOTOR, false, "SYS_CV_EE_RESTORE_NO_MOTOR", 0, 0,
         "Delete motor and restore all default parameters completed", "Restore no motor",
         platform::MB_ICONINFORMATION},
        {IDC_PM_DELETE_MOTOR, false, "SYS_CV_EE_RESTORE_NO_MOTOR", 20, 20, nullptr, nullptr, 0},
        {IDC_PM_SAVE_PROGRAM, true, "SYS_CV_EE_SAVE_DEFAULTS", 0, 0,
         "Save current values as default completed", "Save defaults", platform::MB_ICONINFORMATION},
        {IDC_PM_SAVE_PROGRAM, true, "SYS_CV_EE_SAVE_DEFAULTS", 20, 0,
         "Save current values as default failed. ", "Save defaults", platform::MB_ICONEXCLAMATION},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command + " -> " + std::to_string(c.commandResult));
        prompts.Clear();
        drive.calls.clear();
        drive.results = {{c.command, c.commandResult}};
        PermanentMemoryLayout layout;
        layout.saveDefaults = c.xul;
        EXPECT_EQ(RunPermanentMemoryButton(c.button, layout, drive), c.expected);
        EXPECT_EQ(drive.calls, std::vector<std::string>{c.command});
        const auto boxes = Boxes();
        if (c.text == nullptr) {
            EXPECT_TRUE(boxes.empty()) << "a failed command is reported by the system manager, never as done";
        } else {
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].text, c.text);
            EXPECT_EQ(boxes[0].caption, c.caption);
            EXPECT_EQ(boxes[0].flags & platform::MB_ICONMASK, c.icon);
        }
    }
}

TEST_F(PermanentMemoryActions, DriveObjectOperationsAndTheirResults) {
    PermanentMemoryLayout layout;
    drive.saveResult = 7;
    EXPECT_EQ(RunPermanentMemoryButton(IDC_PM_SAVE_PARAMETERS, layout, drive), 0)
        << "the drive object told the user";
    drive.restoreResult = kPermanentMemoryNodeLost;
    EXPECT_EQ(RunPermanentMemoryButton(IDC_PM_RESTORE_DEFAULTS, layout, drive), kPermanentMemoryNodeLost);
    EXPECT_TRUE(Boxes().empty());

    for (int result : {0, 1}) {
        prompts.Clear();
        drive.programResult = result;
        EXPECT_EQ(RunPermanentMemoryButton(IDC_PM_SAVE_PROGRAM, layout, drive), 0);
        const auto boxes = Boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, result == 0 ? "Program successfully saved" : "Save program error");
        EXPECT_EQ(boxes[0].caption, "Permanent memory");
    }
    EXPECT_EQ(RunPermanentMemoryButton(IDC_PM_CLOSE, layout, drive), 0);
}

// A system manager that is not running took every command as done without sending it: the reload
// would have been reported complete with nothing reloaded.
TEST_F(PermanentMemoryActions, ReloadWithoutARunningSystemManagerIsNotReportedDone) {
    drive::CQd qd(0);
    qd.Identity().systemManager = true;
    ASSERT_FALSE(qd.SystemManager().IsEnabled());
    const auto operations = MakePermanentMemoryDrive(qd);
    PermanentMemoryLayout layout;
    EXPECT_EQ(RunPermanentMemoryButton(IDC_PM_RELOAD_ALL, layout, *operations), kCommandNotRun);
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text.find("completed"), std::string::npos);
    EXPECT_NE(boxes[0].text.find("SYS_CV_EE_LOAD"), std::string::npos);
    EXPECT_EQ(boxes[0].flags & platform::MB_ICONMASK, platform::MB_ICONEXCLAMATION);
}

// ---- against the simulated drive ----------------------------------------------------------------

// The drive object's cells straight onto the simulated drive.
class SimCells : public drive::CQdsWnd::CCellPort {
  public:
    explicit SimCells(drivesim::SimDriveModel& model) : model_(model) {}
    int ReadCell(const std::string& name, uint32_t* value) override {
        const int code = drivetest::CodeOfRefusal(model_.Read(name).refusal);
        if (code == 0) *value = static_cast<uint32_t>(model_.ReadValue(name).value_or(0));
        return code;
    }
    int WriteCell(const std::string& name, uint32_t value) override {
        written.emplace_back(name, value);
        return drivetest::CodeOfRefusal(model_.WriteValue(name, static_cast<int32_t>(value)));
    }
    std::string ErrorText() override { return "simulated drive"; }
    std::vector<uint32_t> Commands() const {
        std::vector<uint32_t> out;
        for (const auto& [name, value] : written)
            if (name == "SystemManagerCommand") out.push_back(value);
        return out;
    }
    std::vector<std::pair<std::string, uint32_t>> written;

  private:
    drivesim::SimDriveModel& model_;
};

class MaintenanceOnSimDrive : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(model.Load(drivetest::SimDescription(), &error)) << error;
        qd.SetOperationClock(clock);
        qd.ConnectionWindow().SetCellPort(&cells);
        qd.ConnectionWindow().Record().channelType = drive::connection_kind::kBridge;
        ASSERT_EQ(description.Load(drivetest::SimDescription()), foundation::S_OK);
        qd.SystemManager().Load(description.Root().FindNode("ClientList\\Client\\Data"));
        qd.SystemManager().SetEnabled(true);
        qd.Identity().systemManager = true;
    }
    void TearDown() override { qd.SystemManager().Stop(); }
    int64_t Value(const std::string& name) { return model.ReadValue(name).value_or(-1); }

    enginetest::PromptScope prompts;
    platform::FakeClock clock{1000};
    drivesim::SimDriveModel model{clock};
    SimCells cells{model};
    foundation::CXmlDocument description;
    drive::CQd qd{0};
};

TEST_F(MaintenanceOnSimDrive, ReloadsRestoreAndSaveDefaultsChangeTheDrive) {
    ASSERT_TRUE(PermanentMemoryFactsFor(qd).motorDeletionAllowed);
    const auto operations = MakePermanentMemoryDrive(qd);
    PermanentMemoryLayout layout;
    const int64_t kp = Value("KP_IQ");
    ASSERT_EQ(model.WriteValue("KP_IQ", kp + 11), drivesim::Refusal::None);
    EXPECT_EQ(RunPermanentMemoryButton(IDC_PM_RELOAD_LOOPS, layout, *operations), 0);
    EXPECT_EQ(Value("KP_IQ"), kp) << "the loop gains come back from permanent memory";

    ASSERT_EQ(model.WriteValue("KP_IQ", kp + 5), drivesim::Refusal::None);
    layout.saveDefaults = true;
    EXPECT_EQ(RunPermanentMemoryButton(IDC_PM_SAVE_PROGRAM, layout, *operations), 0);
    ASSERT_EQ(model.WriteValue("KP_IQ", kp + 9), drivesim::Refusal::None);
    layout.saveDefaults = false;
    EXPECT_EQ(RunPermanentMemoryButton(IDC_PM_DELETE_MOTOR, layout, *operations), 0);
    EXPECT_EQ(Value("KP_IQ"), kp + 5) << "the saved defaults are restored";

    std::string error;
    ASSERT_TRUE(model.ApplySwitch("fail=SYS_CV_EE_LOAD", &error)) << error;
    prompts.Prompts().Clear();
    EXPECT_EQ(RunPermanentMemoryButton(IDC_PM_RELOAD_ALL, layout, *operations), 20);
    for (const auto& q : prompts.Prompts().Asked())
        EXPECT_EQ(q.text.find("completed"), std::string::npos) << q.text;
}

TEST_F(MaintenanceOnSimDrive, SafeStateIsReachedStepByStepOrAborted) {
    const SafePlcRequest request =
        SafePlcRequestFromArgs({"SYS_CV_RSSP_STOP_PLC", "Stop the PLC program", "0", "1", "1"});
    const auto commands = MakeSafePlcCommands(qd);
    model.Timing().safeStateMs = 2500;
    {
        ASSERT_TRUE(model.Set("vm_StatusRunStop", 1));
        CSafePlcProcedure procedure(request, *commands, clock);
        procedure.Start();
        ASSERT_EQ(procedure.GetState(), CSafePlcProcedure::State::Running) << procedure.ErrorText();
        EXPECT_EQ(procedure.Progress(), 1);
        for (int i = 0; i < 10 && procedure.GetState() == CSafePlcProcedure::State::Running; ++i) {
            clock.Advance(kSafePlcStepMs);
            procedure.Poll();
        }
        EXPECT_EQ(procedure.GetState(), CSafePlcProcedure::State::Ended) << procedure.ErrorText();
        EXPECT_EQ(procedure.Result(), kSafePlcReached);
        EXPECT_GE(procedure.Steps(), 3);
    }
    {
        clock.Advance(5000);
        ASSERT_EQ(Value("vm_StatusRunStop"), 0) << "the safe state stopped the program";
        ASSERT_TRUE(model.Set("vm_StatusRunStop", 1));
        cells.written.clear();
        CSafePlcProcedure procedure(request, *commands, clock);
        procedure.Start();
        ASSERT_EQ(procedure.GetState(), CSafePlcProcedure::State::Running) << procedure.ErrorText();
        procedure.Abort();
        EXPECT_EQ(procedure.Result(), kSafePlcAborted);
        const uint32_t abortValue = qd.SystemManager().LookupCommand(kAbortSafeStateCommand);
        ASSERT_NE(abortValue, 0u);
        EXPECT_EQ(cells.Commands().back(), abortValue);
    }
}

// ---- system information -----------------------------------------------------------------------

const char* const kComponents =
    "<Components>"
    "<Component code=\"12\"><Version major=\"1\" minor=\"0\" patch=\"0\"/></Component>"
    "<Component code=\"300\"><Version major=\"2\" minor=\"1\" patch=\"0\"/>"
    "<Components><Component code=\"301\"><Version major=\"1\" minor=\"4\" "
    "patch=\"2\"/></Component></Components>"
    "</Component>"
    "</Components>";

void LoadChecker(foundation::CCompatChecker& checker, uint32_t serial) {
    foundation::CXmlDocument document;
    ASSERT_EQ(document.LoadXml(kComponents), foundation::S_OK);
    checker.LoadComponents(&document.Root());
    checker.SetSerialNumber(serial);
}

std::string Full(int code, int major, int minor, int patch) {
    foundation::CIdentity identity;
    identity.code = code;
    identity.version.Set(major, minor, patch, foundation::kPrereleaseNone, 0);
    return identity.GetFullText(false);
}

TEST(SysInfoContentTest, TreeOfTheCheckerWithSerialNumber) {
    foundation::CCompatChecker checker;
    LoadChecker(checker, 4711);
    const SysInfoContent content = BuildSysInfoContent(checker, "Drive A - 2.3.1");
    EXPECT_TRUE(content.hasSerial);
    ASSERT_EQ(content.components.size(), 3u);
    EXPECT_EQ(content.components[0].depth, 0);
    EXPECT_EQ(content.components[1].depth, 0);
    EXPECT_EQ(content.components[2].depth, 1);
    EXPECT_EQ(content.components[2].text, Full(301, 1, 4, 2));
    EXPECT_TRUE(content.incompatibles.empty());

    const std::string text = SysInfoText(content);
    EXPECT_EQ(text, "Drive A - 2.3.1\r\nSerial number 4711\r\n" + content.components[0].text + "\r\n" +
                        content.components[1].text + "\r\n   " + Full(301, 1, 4, 2));

    checker.SetSerialNumber(0);
    EXPECT_EQ(SysInfoText(BuildSysInfoContent(checker, "X")).find("Serial number"), std::string::npos);
}

TEST(SysInfoContentTest, TextAndXmlWithIncompatibleAndMissingParts) {
    foundation::CCompatChecker checker;
    LoadChecker(checker, 99);
    SysInfoContent content = BuildSysInfoContent(checker, "Sys \"1\"");
    content.incompatibles.push_back({"Firmware 1234 v. 1.0.0", 0, nullptr});
    content.missing.push_back({"Component 77 v. 3.0.0", 0, nullptr});
    const std::string text = SysInfoText(content);
    EXPECT_NE(
        text.find("\r\nIncompatibles\r\n\r\nFirmware 1234 v. 1.0.0\r\nMissing\r\n\r\nComponent 77 v. 3.0.0"),
        std::string::npos)
        << text;

    const std::string xml = SysInfoXml(content);
    foundation::CXmlDocument parsed;
    ASSERT_EQ(parsed.LoadXml(xml), foundation::S_OK) << xml;
    const foundation::CXmlNode& system = parsed.Root();
    EXPECT_EQ(system.Name(), "System");
    EXPECT_EQ(system.GetAttribute("name"), "Sys \"1\"");
    EXPECT_EQ(system.GetAttribute("serialnumber"), "99");
    EXPECT_EQ(system.GetChildCount("Component"), 2) << "nested components come with their parent";
    const foundation::CXmlNode* nested = nullptr;
    for (const foundation::CXmlNode* top : system.Children())
        if (top->GetAttribute("code") == "300")
            for (const foundation::CXmlNode* list : top->Children())
                if (list->Name() == "Components" && list->GetChildCount("Component") == 1)
                    nested = list->Children().front();
    ASSERT_NE(nested, nullptr) << xml;
    EXPECT_EQ(nested->GetAttribute("code"), "301");
    ASSERT_NE(system.FindNode("Incompatibles\\Component"), nullptr);
    EXPECT_EQ(system.FindNode("Incompatibles\\Component")->Value(), "Firmware 1234 v. 1.0.0");
    ASSERT_NE(system.FindNode("Missing\\Component"), nullptr);

    content.hasSerial = false;
    content.incompatibles.clear();
    content.missing.clear();
    foundation::CXmlDocument plain;
    ASSERT_EQ(plain.LoadXml(SysInfoXml(content)), foundation::S_OK);
    EXPECT_EQ(plain.Root().FindAttribute("serialnumber"), nullptr);
    EXPECT_EQ(plain.Root().FindNode("Incompatibles"), nullptr);
    EXPECT_EQ(plain.Root().FindNode("Missing"), nullptr);
}

// ---- safe state of the PLC ----------------------------------------------------------------------

class ScriptedSafePlc : public CSafePlcCommands {
  public:
    int StartCommand(const std::string& name, int timeoutMs, std::string& errorText) override {
        started.push_back(name);
        EXPECT_EQ(timeoutMs, kSafePlcStepMs);
        if (name == kAbortSafeStateCommand) return 0;
        int result = fallback;
        if (!results.empty()) {
            result = results.front();
            results.pop_front();
        }
        if (result != 0 && result != 14) errorText = "The PLC refused: " + std::to_string(result);
        return result;
    }
    std::deque<int> results;
    int fallback = 14;
    std::vector<std::string> started;
};

SafePlcRequest Request(bool canReach = true, bool reachFirst = true, bool atOnce = false) {
    SafePlcRequest r;
    r.safeStateCommand = "SYS_CV_RSSP_STOP_PLC";
    r.caption = "Stop the PLC program";
    r.canReachSafe = canReach;
    r.reachSafeFirst = reachFirst;
    r.startAtOnce = atOnce;
    return r;
}

TEST(SafePlcProcedureTest, StepResultsDecideTheEnd) {
    struct Case {
        std::deque<int> results;
        CSafePlcProcedure::State state;
        int result;
        int steps;
        int progress;
    };
    const Case cases[] = {
        {{0}, CSafePlcProcedure::State::Ended, kSafePlcReached, 1, 0},
        {{14, 14, 0}, CSafePlcProcedure::State::Ended, kSafePlcReached, 3, 2},
        {{14, 99}, CSafePlcProcedure::State::Failed, 0, 2, 1},
        {{-2}, CSafePlcProcedure::State::Failed, 0, 1, 0},
    };
    for (const Case& c : cases) {
        platform::FakeClock clock(500);
        ScriptedSafePlc commands;
        commands.results = c.results;
        CSafePlcProcedure procedure(Request(), commands, clock);
        procedure.Click(IDC_SAFE_REACH);
        EXPECT_TRUE(procedure.ProgressShown());
        for (int i = 0; i < 10; ++i) {
            procedure.Poll();  // not due yet: nothing happens
            clock.Advance(kSafePlcStepMs - 1);
            procedure.Poll();
            clock.Advance(1);
            procedure.Poll();
        }
        EXPECT_EQ(procedure.GetState(), c.state);
        EXPECT_EQ(procedure.Result(), c.result);
        EXPECT_EQ(procedure.Steps(), c.steps);
        EXPECT_EQ(procedure.Progress(), c.progress);
        EXPECT_FALSE(procedure.TimerRunning());
        if (c.state == CSafePlcProcedure::State::Failed) {
            EXPECT_NE(procedure.ErrorText().find("refused"), std::string::npos);
        }
    }
}

TEST(SafePlcProcedureTest, ProgressWrapsAfterForty) {
    platform::FakeClock clock;
    ScriptedSafePlc commands;
    CSafePlcProcedure procedure(Request(), commands, clock);
    procedure.Start();
    EXPECT_EQ(procedure.StaticText(), "The PLC is reaching a safe condition...");
    std::vector<int> seen{procedure.Progress()};
    for (int i = 1; i < 41; ++i) {
        clock.Advance(kSafePlcStepMs);
        procedure.Poll();
        seen.push_back(procedure.Progress());
    }
    EXPECT_EQ(procedure.Steps(), 41);
    EXPECT_EQ(seen[0], 1);
    EXPECT_EQ(seen[39], 40);
    EXPECT_EQ(seen[40], 0) << "the 41st 'still running' wraps the bar";
    EXPECT_TRUE(procedure.TimerRunning());
}

TEST(SafePlcProcedureTest, AbortBeforeAndAfterTheStart) {
    platform::FakeClock clock;
    {
        ScriptedSafePlc commands;
        CSafePlcProcedure procedure(Request(), commands, clock);
        procedure.Abort();
        EXPECT_EQ(procedure.Result(), kSafePlcAborted);
        EXPECT_TRUE(commands.started.empty()) << "nothing was started, nothing is aborted";
    }
    {
        ScriptedSafePlc commands;
        CSafePlcProcedure procedure(Request(), commands, clock);
        procedure.Start();
        procedure.Abort();
        EXPECT_EQ(procedure.Result(), kSafePlcAborted);
        EXPECT_EQ(commands.started,
                  (std::vector<std::string>{"SYS_CV_RSSP_STOP_PLC", kAbortSafeStateCommand}));
        clock.Advance(5 * kSafePlcStepMs);
        procedure.Poll();
        EXPECT_EQ(commands.started.size(), 2u) << "no step after the end";
    }
    {
        ScriptedSafePlc commands;
        commands.results = {99};
        CSafePlcProcedure procedure(Request(), commands, clock);
        procedure.Start();
        ASSERT_EQ(procedure.GetState(), CSafePlcProcedure::State::Failed);
        procedure.Abort();
        EXPECT_EQ(commands.started.size(), 1u) << "the steps had stopped: no abort command";
        EXPECT_EQ(procedure.Result(), kSafePlcAborted);
    }
}

TEST(SafePlcProcedureTest, ButtonLabelsByFlags) {
    struct Case {
        bool canReach, reachFirst, forcing;
        const char* reachText;
        bool reachShown;
        const char* forceText;
        bool forceShown;
        const char* staticText;
    };
    const Case cases[] = {
        {true, true, true, kReachSafeText, true, kForceText, true,
         "The PLC needs to reach a safe condition."},
        {false, true, true, kReachSafeText, false, kForceText, true,
         "The PLC can not reach a safe condition."},
        {true, false, true, kForceText, true, kReachSafeText, true,
         "The PLC needs to reach a safe condition."},
        {false, false, true, kForceText, true, kReachSafeText, false,
         "The PLC can not reach a safe condition."},
        {true, true, false, kReachSafeText, true, kForceText, false,
         "The PLC needs to reach a safe condition."},
    };
    platform::FakeClock clock;
    for (const Case& c : cases) {
        ScriptedSafePlc commands;
        SafePlcRequest request = Request(c.canReach, c.reachFirst);
        request.forcingAllowed = c.forcing;
        CSafePlcProcedure procedure(request, commands, clock);
        const auto b = procedure.Labels();
        EXPECT_EQ(b.reachText, c.reachText);
        EXPECT_EQ(b.reachShown, c.reachShown);
        EXPECT_EQ(b.forceText, c.forceText);
        EXPECT_EQ(b.forceShown, c.forceShown);
        EXPECT_EQ(b.staticText, c.staticText);
    }
    // The button labelled "Force..." forces, wherever it sits.
    ScriptedSafePlc commands;
    CSafePlcProcedure procedure(Request(true, false), commands, clock);
    procedure.Click(IDC_SAFE_REACH);
    EXPECT_EQ(procedure.Result(), kSafePlcForced);
    EXPECT_TRUE(commands.started.empty());
}

TEST(SafePlcProcedureTest, RequestFromTheSystemManagersQuestion) {
    struct Case {
        std::vector<std::string> args;
        bool atOnce, reachFirst, canReach;
    };
    const Case cases[] = {
        {{"SYS_CV_RSSP_STOP_PLC", "Stop", "0", "1", "1"}, false, true, true},
        {{"SYS_CV_RSSP_STOP_PLC", "Stop", "1", "1", "1"}, true, true, true},
        {{"SYS_CV_RSSP_STOP_PLC", "Stop", "0", "0", "0"}, false, false, false},
        {{"SYS_CV_RSSP_STOP_PLC"}, false, true, false},
    };
    for (const Case& c : cases) {
        const SafePlcRequest r = SafePlcRequestFromArgs(c.args);
        EXPECT_EQ(r.safeStateCommand, "SYS_CV_RSSP_STOP_PLC");
        EXPECT_EQ(r.startAtOnce, c.atOnce);
        EXPECT_EQ(r.reachSafeFirst, c.reachFirst);
        EXPECT_EQ(r.canReachSafe, c.canReach);
        EXPECT_FALSE(r.caption.empty());
    }
}

// ---- the windows --------------------------------------------------------------------------------

class MaintenanceWindows : public MainDlgFixture {
  protected:
    template <class D, class F>
    int Run(D& dialog, const std::string& picture, F step) {
        wxTheApp->CallAfter([&dialog, picture, step] {
            EXPECT_TRUE(platform::ui::RunUntil(
                [&] { return dialog.Wx() != nullptr && dialog.Wx()->IsShownOnScreen(); }, kWaitMs));
            platform::ui::ProcessPending();
            EXPECT_TRUE(platform::ui::SaveWindowPicture(dialog.Wx(), AppArtifacts() / picture));
            step();
        });
        return dialog.DoModal(frame);
    }
};

TEST_F(MaintenanceWindows, PermanentMemoryOfAXulDriveRunsReloadAll) {
    PermanentMemoryFacts facts;
    facts.deviceKind = kDeviceKindXul;
    auto fake = std::make_unique<FakePermanentMemory>();
    fake->results["SYS_CV_EE_LOAD"] = 143;
    FakePermanentMemory* drive = fake.get();
    CdlgPermanentMemory dialog(facts, std::move(fake));
    std::vector<int> tops;
    bool saveEnabled = true;
    std::string saveText;
    const int result = Run(dialog, "permanent_memory_xul.png", [&] {
        for (int id : {IDC_PM_SAVE_PARAMETERS, IDC_PM_RESTORE_DEFAULTS, IDC_PM_RELOAD_ALL,
                       IDC_PM_SAVE_PROGRAM, IDC_PM_CLOSE})
            tops.push_back(dialog.IsItemShown(id) ? dialog.Item(id)->GetPosition().y : -1);
        EXPECT_FALSE(dialog.IsItemShown(IDC_PM_RELOAD_LOOPS));
        EXPECT_FALSE(dialog.IsItemShown(IDC_PM_DELETE_MOTOR));
        saveEnabled = dialog.IsItemEnabled(IDC_PM_SAVE_PROGRAM);
        saveText = dialog.GetItemText(IDC_PM_SAVE_PROGRAM);
        const wxRect close = dialog.Item(IDC_PM_CLOSE)->GetRect();
        EXPECT_LE(close.GetBottom(), dialog.Wx()->GetClientSize().GetHeight());
        EXPECT_GE(close.GetBottom() + 20, dialog.Wx()->GetClientSize().GetHeight())
            << "Close is the last row";
        dialog.ClickItem(IDC_PM_RELOAD_ALL);
    });
    EXPECT_EQ(result, 143) << "a failed reload ends the dialog with its code";
    EXPECT_EQ(drive->calls, std::vector<std::string>{"SYS_CV_EE_LOAD"});
    ASSERT_EQ(tops.size(), 5u);
    for (size_t i = 1; i < tops.size(); ++i) EXPECT_GT(tops[i], tops[i - 1]) << "row " << i;
    EXPECT_FALSE(saveEnabled) << "saving defaults needs the authorization";
    EXPECT_EQ(saveText, "Save defaults");
    EXPECT_TRUE(prompts.Asked().empty());
}

TEST_F(MaintenanceWindows, PermanentMemoryOfAPlainDriveCloses) {
    CdlgPermanentMemory dialog(qd);
    bool reloadShown = true;
    const int result = Run(dialog, "permanent_memory.png", [&] {
        reloadShown = dialog.IsItemShown(IDC_PM_RELOAD_ALL);
        dialog.ClickItem(IDC_PM_CLOSE);
    });
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(reloadShown);
    EXPECT_EQ(dialog.HelpTopic(), "Tunova.chm::/ID_SECT_PermanentMemoryWindow.html");
}

TEST_F(MaintenanceWindows, SystemInformationLoadsFillsAndCopies) {
    foundation::CCompatChecker checker;
    LoadChecker(checker, 4711);
    ASSERT_NE(checker.GetState(), foundation::CCompatChecker::kStateRefreshed);
    CDlgSysInfo dialog(checker, "Drive A - 2.3.1");
    std::vector<std::string> lines;
    bool copied = false, loaded = false, shot = false;
    // Polled from a timer of the dialog's own loop: the deferred read runs its busy window there.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    wxTimer timer;
    timer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        if (dialog.Wx() == nullptr || !dialog.Wx()->IsShownOnScreen()) return;
        if (!shot) {
            shot = true;
            EXPECT_TRUE(
                platform::ui::SaveWindowPicture(dialog.Wx(), AppArtifacts() / "system_information.png"));
        }
        const auto now = dialog.TreeLines();
        loaded = now.size() > 1 && now[1] != "   Loading...";
        if (!loaded && std::chrono::steady_clock::now() < deadline) return;
        timer.Stop();
        EXPECT_TRUE(
            platform::ui::SaveWindowPicture(dialog.Wx(), AppArtifacts() / "system_information_filled.png"));
        lines = now;
        dialog.Wx()->SetSize(dialog.Wx()->GetSize() + wxSize(120, 80));
        copied = dialog.Copy();
        dialog.ClickItem(platform::IDOK);
    });
    timer.Start(50);
    const int result = dialog.DoModal(frame);
    timer.Stop();
    EXPECT_TRUE(loaded);
    EXPECT_EQ(result, platform::IDOK);
    EXPECT_TRUE(copied);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "Drive A - 2.3.1");
    EXPECT_EQ(lines[1], "   Serial number 4711");
    EXPECT_EQ(lines[4], "      " + Full(301, 1, 4, 2));
    EXPECT_EQ(checker.GetState(), foundation::CCompatChecker::kStateRefreshed);
    EXPECT_EQ(SysInfoText(dialog.Content()).substr(0, 35), "Drive A - 2.3.1\r\nSerial number 4711");
}

TEST_F(MaintenanceWindows, SafeStateDialogRunsToTheSafeState) {
    platform::FakeClock clock;
    ScriptedSafePlc commands;
    commands.results = {14, 14, 0};
    CDlgSysSafePlc dialog(Request(), commands, clock);
    bool progressShown = false, reachShown = true;
    std::string text;
    const int result = Run(dialog, "safe_plc.png", [&] {
        dialog.ClickItem(IDC_SAFE_REACH);
        platform::ui::ProcessPending();
        progressShown = dialog.IsItemShown(IDC_SAFE_PROGRESS);
        reachShown = dialog.IsItemShown(IDC_SAFE_REACH);
        text = dialog.GetItemText(IDC_SAFE_TEXT);
        EXPECT_TRUE(platform::ui::SaveWindowPicture(dialog.Wx(), AppArtifacts() / "safe_plc_running.png"));
        // The timer steps once a second of the clock.
        for (int step = 2; step <= 3; ++step) {
            clock.Advance(kSafePlcStepMs);
            platform::ui::RunUntil([&] { return dialog.Procedure().Steps() >= step; }, kWaitMs);
        }
    });
    EXPECT_EQ(result, kSafePlcReached);
    EXPECT_TRUE(progressShown);
    EXPECT_FALSE(reachShown) << "the progress bar takes the button's place";
    EXPECT_EQ(text, "The PLC is reaching a safe condition...");
    EXPECT_EQ(commands.started.size(), 3u);
}

TEST_F(MaintenanceWindows, SafeStateDialogShowsTheErrorThenAborts) {
    platform::FakeClock clock;
    ScriptedSafePlc commands;
    commands.results = {99};
    CDlgSysSafePlc dialog(Request(), commands, clock);
    bool errorShown = false;
    int heightBefore = 0, heightAfter = 0;
    std::string error;
    const int result = Run(dialog, "safe_plc_idle.png", [&] {
        heightBefore = dialog.Wx()->GetClientSize().GetHeight();
        dialog.ClickItem(IDC_SAFE_REACH);
        platform::ui::ProcessPending();
        errorShown = dialog.IsItemShown(IDC_SAFE_ERROR);
        error = dialog.GetItemText(IDC_SAFE_ERROR);
        heightAfter = dialog.Wx()->GetClientSize().GetHeight();
        EXPECT_TRUE(platform::ui::SaveWindowPicture(dialog.Wx(), AppArtifacts() / "safe_plc_error.png"));
        dialog.ClickItem(platform::IDCANCEL);
    });
    EXPECT_EQ(result, kSafePlcAborted);
    EXPECT_TRUE(errorShown);
    EXPECT_EQ(error, "The PLC refused: 99");
    EXPECT_GT(heightAfter, heightBefore);
    EXPECT_EQ(commands.started.size(), 1u);
}

TEST_F(MaintenanceWindows, SafeStateDialogStartsAtOnceWhenAsked) {
    platform::FakeClock clock;
    ScriptedSafePlc commands;
    commands.results = {0};
    CDlgSysSafePlc dialog(Request(true, true, true), commands, clock);
    // Nothing to click: the dialog starts by itself and ends at the first step.
    EXPECT_EQ(dialog.DoModal(frame), kSafePlcReached);
    EXPECT_EQ(commands.started, std::vector<std::string>{"SYS_CV_RSSP_STOP_PLC"});
}

}  // namespace

namespace {

// The main dialog's "Permanent memory..." message: the dialog runs, and a lost node is reconnected.
class PermanentMemorySite : public CMainDlgCommandSite {
  public:
    int RunPermanentMemoryDialog() override {
        ++runs;
        return result;
    }
    int runs = 0;
    int result = 0;
};

TEST(PermanentMemoryCommand, RunsTheDialogAndReconnectsALostNode) {
    platform::ScriptedPrompts prompts;
    platform::SetPromptService(&prompts);
    drive::CQd qd(0);
    int reconnectAsked = 0;
    qd.Hooks().reconnectPrompt = [&](bool) {
        ++reconnectAsked;
        return int{drive::CQd::kRetryExit};
    };
    PermanentMemorySite site;
    CMainDlgCommands commands(qd, site);
    EXPECT_EQ(commands.Handle(foundation::kMainDlgPermanentMemoryMessage, 0, 0), 1);
    EXPECT_EQ(site.runs, 1);
    EXPECT_EQ(reconnectAsked, 0);
    site.result = kPermanentMemoryNodeLost;
    EXPECT_EQ(commands.Handle(foundation::kMainDlgPermanentMemoryMessage, 0, 0), 1);
    EXPECT_EQ(site.runs, 2);
    EXPECT_EQ(reconnectAsked, 1);
    platform::SetPromptService(nullptr);
}

}  // namespace
