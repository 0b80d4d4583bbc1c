// The drive object's operations on the whole drive against the simulated drive in simulated
// time: enable and disable through the CiA 402 controlword, permanent memory, factory defaults,
// the mode of operation, the PLC program and the tuning stop; and the system manager over the
// real wire.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <ranges>
#include <set>
#include <string>
#include <vector>

#include "drive/DriveValueHelpers.h"
#include "drive/Qd.h"
#include "engine/AdsChannelDriver.h"
#include "engine/BridgeChannelDriver.h"
#include "engine/Channel.h"
#include "engine/LibraryChannelDriver.h"
#include "engine/Main.h"
#include "engine/SerialChannelDriver.h"
#include "foundation/XmlDocument.h"
#include "platform/Messages.h"
#include "platform/Prompt.h"
#include "tests/drive/DriveObjectTestSupport.h"
#include "tests/drive/SystemManagerTestSupport.h"

using namespace drive;

namespace {

// The drive object's cell port straight onto the simulated drive. After every access it copies
// the drive's statusword, mode display and alarms into the cached cells, as the status groups
// would.
class SimPort : public CQdsWnd::CCellPort {
  public:
    SimPort(drivesim::SimDriveModel& model, CQd& qd) : model_(model), qd_(qd) {}
    int ReadCell(const std::string& name, uint32_t* value) override {
        ++reads[name];
        int code = failing.count(name) ? 143 : hidden.count(name) ? -303 : 0;
        if (code == 0) {
            const auto answer = model_.Read(name);
            code = drivetest::CodeOfRefusal(answer.refusal);
            if (code == 0) *value = static_cast<uint32_t>(model_.ReadValue(name).value_or(0));
        }
        Refresh();
        return code;
    }
    int WriteCell(const std::string& name, uint32_t value) override {
        writes.emplace_back(name, value);
        int code = failing.count(name) ? 143 : hidden.count(name) ? -303 : 0;
        if (code == 0) code = drivetest::CodeOfRefusal(model_.WriteValue(name, static_cast<int32_t>(value)));
        Refresh();
        return code;
    }
    std::string ErrorText() override { return "simulated drive"; }

    void Refresh() {
        if (!refresh) return;
        if (const auto v = model_.ReadValue("statusword"))
            qd_.StatuswordCell().SetRead(static_cast<uint32_t>(*v));
        if (const auto v = model_.ReadValue("ModeOfOperationDisplay"))
            qd_.ModeDisplayCell().SetRead(static_cast<uint32_t>(*v));
        if (const auto v = model_.ReadValue("DriveAlarm")) qd_.AlarmCell().SetRead(static_cast<uint32_t>(*v));
    }
    std::vector<uint32_t> Written(const std::string& name) const {
        std::vector<uint32_t> out;
        for (const auto& [n, v] : writes)
            if (n == name) out.push_back(v);
        return out;
    }

    bool refresh = true;
    std::set<std::string> hidden, failing;
    std::vector<std::pair<std::string, uint32_t>> writes;
    std::map<std::string, int> reads;

  private:
    drivesim::SimDriveModel& model_;
    CQd& qd_;
};

class DriveOperations : public ::testing::Test {
  protected:
    void SetUp() override {
        TearDown();
        modelHolder = std::make_unique<drivesim::SimDriveModel>(clock);
        std::string error;
        ASSERT_TRUE(model().Load(drivetest::SimDescription(), &error)) << error;
        qd = std::make_unique<CQd>(0);
        qd->SetOperationClock(clock);
        port = std::make_unique<SimPort>(model(), *qd);
        qd->ConnectionWindow().SetCellPort(port.get());
        qd->ConnectionWindow().Record().channelType = connection_kind::kBridge;
    }
    void TearDown() override {
        qd.reset();
        port.reset();
        modelHolder.reset();
    }
    drivesim::SimDriveModel& model() { return *modelHolder; }
    void Apply(const std::string& text) {
        std::string error;
        ASSERT_TRUE(model().ApplySwitch(text, &error)) << error;
        port->Refresh();
    }
    // The system manager on the drive's own description.
    void UseSystemManager() {
        ASSERT_EQ(description.Load(drivetest::SimDescription()), foundation::S_OK);
        qd->SystemManager().Load(description.Root().FindNode("ClientList\\Client\\Data"));
        qd->SystemManager().SetEnabled(true);
        qd->Identity().systemManager = true;
    }
    std::vector<platform::ScriptedPrompts::Question> Asked() { return prompts.Prompts().Asked(); }
    // Text and caption of the last message box.
    std::pair<std::string, std::string> LastBox() {
        for (auto q : Asked() | std::views::reverse)
            if (q.kind == "MessageBox") return {q.text, q.caption};
        return {};
    }
    std::string LastReport() {
        for (auto q : Asked() | std::views::reverse)
            if (q.kind == kMessageDetailsPrompt) return q.args.at(1);
        return {};
    }

    enginetest::PromptScope prompts;
    platform::FakeClock clock{1000};
    std::unique_ptr<drivesim::SimDriveModel> modelHolder;
    foundation::CXmlDocument description;
    std::unique_ptr<CQd> qd;
    std::unique_ptr<SimPort> port;
};

TEST_F(DriveOperations, EnableFromEveryState) {
    struct Case {
        int state;
        int result;
        std::vector<uint32_t> controlwords;
    } cases[] = {
        {0, 0, {0, 6, 7, 15}}, {1, 0, {6, 7, 15}}, {2, 0, {7, 15}}, {3, 0, {15}}, {4, 0, {}},
        {5, 0, {0, 6, 7, 15}}, {6, 13, {}},        {7, 13, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        SetUp();
        Apply("state=" + std::to_string(c.state));
        prompts.Prompts().Clear();
        EXPECT_EQ(qd->EnableDrive(), c.result);
        EXPECT_EQ(port->Written("controlword"), c.controlwords);
        if (c.result == 0) {
            EXPECT_EQ(model().State(), drivesim::cia402::kOperationEnabled);
        }
        if (c.result == 13) {
            EXPECT_EQ(LastBox(), std::make_pair(std::string("Reset alarms before continuing!"),
                                                std::string("Set operation enable")));
        } else {
            EXPECT_EQ(prompts.Prompts().AskedCount(), 0u);
        }
        EXPECT_FALSE(qd->CyclicReadsPaused()) << "background reads resumed";
    }
}

TEST_F(DriveOperations, EnableNeedsTheHardwareEnable) {
    struct Case {
        const char* sw;
        bool hideTestItem;
        bool failTestItem;
        bool enabled;
        int result;
    } cases[] = {
        {nullptr, false, false, true, 0},
        {"no-hw-enable", false, false, false, 4},
        // No "TestEnableHw": bit 22 of the digital inputs tells.
        {nullptr, true, false, true, 0},
        {"no-hw-enable", true, false, false, 4},
        // A failed read counts as enabled: the drive then stays switched on.
        {"no-hw-enable", false, true, true, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.sw ? c.sw : "-") + (c.hideTestItem ? " hidden" : "") +
                     (c.failTestItem ? " failing" : ""));
        SetUp();
        if (c.sw) Apply(c.sw);
        if (c.hideTestItem) port->hidden.insert("TestEnableHw");
        if (c.failTestItem) port->failing.insert("TestEnableHw");
        EXPECT_EQ(qd->IsHardwareEnabled(), c.enabled);
        EXPECT_EQ(qd->EnableDrive(), c.result);
        if (c.result == 4) {
            EXPECT_TRUE(port->Written("controlword").empty());
        }
        if (c.hideTestItem) {
            EXPECT_GT(port->reads["PhisicalDigitalInputStatus"], 0);
        }
    }
    qd->ConnectionWindow().SetOffline(true);
    EXPECT_EQ(qd->EnableDrive(), 3);
    EXPECT_EQ(qd->DisableDrive(), 3);
}

TEST_F(DriveOperations, FaultWithoutAReadAlarmTimesOutInTheSwitchOn) {
    Apply("state=7");
    port->refresh = false;
    qd->AlarmCell() = CParamDw();
    const int64_t start = clock.NowMs();
    EXPECT_EQ(qd->EnableDrive(), 2);
    EXPECT_GE(clock.NowMs() - start, 3000);
    EXPECT_EQ(port->Written("controlword"), std::vector<uint32_t>{0});
}

TEST_F(DriveOperations, DisableAndItsQuestion) {
    Apply("state=4");
    EXPECT_EQ(qd->DisableDrive(), 0);
    EXPECT_EQ(port->Written("controlword"), std::vector<uint32_t>{0});
    EXPECT_EQ(model().State(), drivesim::cia402::kSwitchOnDisabled);

    // A drive that stays enabled: time-out after 3 s.
    SetUp();
    Apply("state=4");
    Apply("stuck-state");
    const int64_t start = clock.NowMs();
    EXPECT_EQ(qd->DisableDrive(), 2);
    EXPECT_GE(clock.NowMs() - start, 3000);
    port->failing.insert("controlword");
    EXPECT_EQ(qd->DisableDrive(), 1);

    struct Case {
        bool stuck;
        bool momentarily;
        bool noAsk;
        int answer;
        int result;
    } cases[] = {
        {false, true, false, platform::IDNO, 7},
        {false, true, false, platform::IDYES, 0},
        {false, false, true, 0, 0},
        {true, false, false, platform::IDYES, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.result);
        SetUp();
        Apply("state=4");
        if (c.stuck) Apply("stuck-state");
        prompts.Prompts().Clear();
        prompts.Prompts().PushAnswer(c.answer);
        EXPECT_EQ(qd->ConfirmDisableDrive(c.momentarily, c.noAsk), c.result);
        if (c.noAsk) {
            EXPECT_EQ(prompts.Prompts().AskedCount(), 0u);
        } else {
            ASSERT_EQ(prompts.Prompts().AskedCount(), 1u);
            const auto q = Asked()[0];
            EXPECT_EQ(q.text, c.momentarily ? "The drive will be momentarily disabled.Continue?"
                                            : "The drive will be disabled.Continue?");
            EXPECT_EQ(q.caption, "Write values");
            EXPECT_EQ(q.flags, platform::MB_YESNO | platform::MB_ICONWARNING | platform::MB_DEFBUTTON2);
        }
        EXPECT_EQ(port->Written("controlword").size(), c.result == 7 ? 0u : 1u);
    }
    // Not enabled: nothing to ask, nothing to do.
    SetUp();
    prompts.Prompts().Clear();
    EXPECT_EQ(qd->ConfirmDisableDrive(true, false), 0);
    EXPECT_EQ(prompts.Prompts().AskedCount(), 0u);
    EXPECT_TRUE(port->writes.empty());
}

TEST_F(DriveOperations, SaveInPermanentMemory) {
    struct Case {
        const char* sw;
        const char* text;
        const char* caption;
    } cases[] = {
        {nullptr, "Save in permanent memory completed", "Save"},
        {"fail=GestEEprom",
         "Save in permanent memory error: command not completed! View details in drive errors window.",
         "EEPROM ERROR"},
        {"hang=GestEEprom",
         "Save in permanent memory error: command not completed! Restart the drive, reconnect and then "
         "restore "
         "default parameters.",
         "EEPROM TIME OUT"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption);
        SetUp();
        if (c.sw) Apply(c.sw);
        prompts.Prompts().Clear();
        qd->Operations().eepromSaveNeeded = true;
        qd->SaveParametersToEeprom();
        EXPECT_FALSE(qd->Operations().eepromSaveNeeded);
        EXPECT_EQ(port->Written("GestEEprom"), std::vector<uint32_t>{1});
        EXPECT_EQ(LastBox(), std::make_pair(std::string(c.text), std::string(c.caption)));
        EXPECT_FALSE(qd->CyclicReadsPaused());
    }

    // Through the system manager.
    SetUp();
    UseSystemManager();
    prompts.Prompts().Clear();
    qd->SaveParametersToEeprom();
    EXPECT_EQ(port->Written("SystemManagerCommand"), std::vector<uint32_t>{100});
    EXPECT_TRUE(port->Written("GestEEprom").empty());
    EXPECT_EQ(LastBox(),
              std::make_pair(std::string("Save in permanent memory completed"), std::string("Save")));
}

TEST_F(DriveOperations, RestoreDefaultsAsksAndRemembersOnlyAYes) {
    const std::string question = "This operation will restart firmware. Continue?";
    struct Case {
        int answer;
        bool restored;
        bool askedAgain;
    } cases[] = {{6, true, true}, {7, true, false}, {8, false, true}, {9, false, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        SetUp();
        ASSERT_EQ(model().WriteValue("MaxVelocity", 1234), drivesim::Refusal::None);
        prompts.Prompts().Clear();
        prompts.Prompts().PushAnswer(c.answer);
        EXPECT_EQ(qd->RestoreEepromDefaults(), 0);
        ASSERT_EQ(prompts.Prompts().AskedCount(), c.restored ? 2u : 1u);
        EXPECT_EQ(Asked()[0].kind, "MessageDialog");
        EXPECT_EQ(Asked()[0].args, (std::vector<std::string>{question, "EEprom restore default data", "2"}));
        EXPECT_EQ(port->Written("GestEEprom").size(), c.restored ? 1u : 0u);
        EXPECT_EQ(model().ReadValue("MaxVelocity"), c.restored ? 100000 : 1234);
        if (c.restored) {
            EXPECT_EQ(LastBox(), std::make_pair(std::string("Restore default parameters completed"),
                                                std::string("Restore")));
        }
        // A second restore: only a remembered Yes goes ahead without the question.
        prompts.Prompts().Clear();
        prompts.Prompts().PushAnswer(8);
        qd->RestoreEepromDefaults();
        EXPECT_EQ(prompts.Prompts().AskedCount() > 0 && Asked()[0].kind == "MessageDialog", c.askedAgain);
        EXPECT_EQ(port->Written("GestEEprom").size(), (c.restored ? 1u : 0u) + (c.askedAgain ? 0u : 1u));
    }
}

TEST_F(DriveOperations, RestoreDefaultsFailures) {
    Apply("slow-eeprom=6000");
    prompts.Prompts().PushAnswer(6);
    EXPECT_EQ(qd->RestoreEepromDefaults(), -304);
    EXPECT_EQ(LastBox().first,
              "Restore default parameters error: command not completed! Restart the drive, reconnect and "
              "then retry.");
    EXPECT_TRUE(qd->CyclicReadsPaused()) << "the user is told to reconnect";

    SetUp();
    Apply("fail=GestEEprom:20");
    prompts.Prompts().PushAnswer(6);
    EXPECT_EQ(qd->RestoreEepromDefaults(), 0);
    EXPECT_EQ(LastBox(),
              std::make_pair(std::string("Restore default parameters not completed! View details in "
                                         "drive errors window."),
                             std::string("EEPROM ERROR")));

    // Through the system manager: no question.
    SetUp();
    UseSystemManager();
    prompts.Prompts().Clear();
    EXPECT_EQ(qd->RestoreEepromDefaults(), 0);
    EXPECT_EQ(port->Written("SystemManagerCommand"), std::vector<uint32_t>{101});
    ASSERT_EQ(prompts.Prompts().AskedCount(), 1u);
    EXPECT_EQ(LastBox(),
              std::make_pair(std::string("Restore default parameters completed"), std::string("Restore")));
}

TEST_F(DriveOperations, ProgramSaveWithAndWithoutItsKey) {
    EXPECT_EQ(qd->SaveProgramToEeprom(), 0);
    EXPECT_EQ(port->Written("PE_enabling_key"), (std::vector<uint32_t>{0x1D4E7A93, 0}));
    EXPECT_EQ(port->Written("PE_user_program_ram_eeprom"), std::vector<uint32_t>{1});

    SetUp();
    port->hidden.insert("PE_enabling_key");
    EXPECT_EQ(qd->SaveProgramToEeprom(), 0);
    EXPECT_EQ(port->writes.size(), 2u) << "one key write refused as absent, then only the program save";
    EXPECT_EQ(port->Written("PE_user_program_ram_eeprom"), std::vector<uint32_t>{1});

    SetUp();
    port->failing.insert("PE_enabling_key");
    EXPECT_EQ(qd->SaveProgramToEeprom(), 1);
    EXPECT_TRUE(port->Written("PE_user_program_ram_eeprom").empty());
}

TEST_F(DriveOperations, ModeOfOperationSavedAndRestored) {
    port->Refresh();
    EXPECT_EQ(qd->SaveModeOfOperation(), 1);
    EXPECT_TRUE(qd->Operations().modeSaved);
    EXPECT_EQ(qd->Operations().savedMode, 1);

    // Mode 129 (-127) and back.
    EXPECT_EQ(qd->RestoreModeOfOperation(-127, false), 0);
    EXPECT_EQ(port->Written("ModeOfOperation"), std::vector<uint32_t>{static_cast<uint32_t>(-127)});
    EXPECT_TRUE(qd->IsModeDisplay129());
    EXPECT_EQ(qd->SetModeOfOperation(), 1);
    EXPECT_EQ(model().ReadValue("ModeOfOperationDisplay"), 1);
    EXPECT_FALSE(qd->IsModeDisplay129());
    EXPECT_EQ(prompts.Prompts().AskedCount(), 0u);

    // The drive's display never follows: 11 reads, then the time-out report unless quiet.
    SetUp();
    Apply("mode-stuck");
    EXPECT_EQ(qd->RestoreModeOfOperation(-127, true), 2);
    EXPECT_EQ(port->reads["ModeOfOperationDisplay"], 11);
    EXPECT_EQ(prompts.Prompts().AskedCount(), 0u);
    EXPECT_EQ(qd->RestoreModeOfOperation(-127, false), 2);
    EXPECT_EQ(LastReport(), "mode of operation time out - failed restore");
    // A mode the drive refuses.
    EXPECT_EQ(qd->RestoreModeOfOperation(77, false), 5);
    EXPECT_EQ(LastReport(), "mode of operation write error! - failed restore");

    // With system-manager commands mode 129 is not written and nothing is saved.
    SetUp();
    UseSystemManager();
    EXPECT_EQ(qd->RestoreModeOfOperation(-127, false), 0);
    EXPECT_EQ(qd->Operations().currentMode, -127);
    EXPECT_TRUE(port->writes.empty());
    EXPECT_EQ(qd->SaveModeOfOperation(), 1);
    EXPECT_FALSE(qd->Operations().modeSaved);

    // A display that was not read.
    SetUp();
    port->refresh = false;
    prompts.Prompts().Clear();
    EXPECT_EQ(qd->SaveModeOfOperation(), 0);
    EXPECT_EQ(LastReport(), "Save mode of operation read error! -  mode of operation save failed");
    EXPECT_EQ(qd->SetModeOfOperation(), 0);
    EXPECT_FALSE(qd->IsModeDisplay129());
    EXPECT_EQ(LastReport(), "Mode of operation display read error!");
}

TEST_F(DriveOperations, StopPlc) {
    struct Case {
        const char* sw;
        bool systemManager;
        bool stopped;
        const char* written;
    } cases[] = {
        {nullptr, false, true, "vm_CommandRunStop"},
        {nullptr, true, true, "SystemManagerCommand"},
        {"refuse-always=SYS_CV_STOP_PLC", true, false, "SystemManagerCommand"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.written);
        SetUp();
        if (c.sw) Apply(c.sw);
        if (c.systemManager) UseSystemManager();
        EXPECT_EQ(qd->StopPlc(), c.stopped);
        EXPECT_FALSE(port->Written(c.written).empty());
        EXPECT_EQ(model().ReadValue("vm_StatusRunStop"), c.stopped ? 0 : 1);
    }
    // A stopped program: nothing written.
    SetUp();
    ASSERT_TRUE(model().Set("vm_StatusRunStop", 0));
    EXPECT_TRUE(qd->StopPlc());
    EXPECT_TRUE(port->writes.empty());
    qd->ConnectionWindow().SetOffline(true);
    EXPECT_TRUE(qd->StopPlc());
}

TEST_F(DriveOperations, StopTuning) {
    EXPECT_TRUE(qd->StopTuning()) << "no tuning window";
    EXPECT_TRUE(port->writes.empty());

    struct TuningOpen : CQdHost {
        bool ScopeSheetOpen() const override { return true; }
    } host;
    struct Case {
        bool stuck;
        bool stopped;
    } cases[] = {{false, true}, {true, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stuck);
        SetUp();
        qd->SetHost(&host);
        Apply("state=4");
        if (c.stuck) Apply("stuck-state");
        ASSERT_EQ(model().WriteValue("TuningRegulatorCommand", 3), drivesim::Refusal::None);
        EXPECT_EQ(qd->StopTuning(), c.stopped);
        EXPECT_EQ(port->Written("controlword"), std::vector<uint32_t>{0});
        if (c.stopped) {
            EXPECT_EQ(port->Written("ModeOfOperation"), std::vector<uint32_t>{static_cast<uint32_t>(-127)});
            EXPECT_EQ(model().ReadValue("TuningRegulatorCommand"), 0);
        } else {
            EXPECT_TRUE(port->Written("TuningRegulatorCommand").empty());
        }
    }
}

TEST_F(DriveOperations, WriteErrorReports) {
    Apply("state=4");
    qd->ReportWriteError(1, "Write failed", 143);
    EXPECT_EQ(LastBox().first,
              "Write error: the drive has been enabled during the write procedure. Stop all enable "
              "operations before "
              "continuing");

    SetUp();
    port->Refresh();
    prompts.Prompts().Clear();
    qd->ReportWriteError(2, "Write failed", 143);
    EXPECT_EQ(LastBox().first,
              "Write error: change of operating mode not allowed during the write procedure. Stop all the "
              "operations "
              "that changes the operating mode and write again.");
    prompts.Prompts().Clear();
    qd->ReportWriteError(3, "Write failed", 143);
    EXPECT_EQ(LastReport(), "Write failed");
    prompts.Prompts().Clear();
    qd->Operations().quiet = true;
    qd->ReportWriteError(1, "Write failed", 143);
    EXPECT_EQ(prompts.Prompts().AskedCount(), 0u);
}

TEST_F(DriveOperations, SaveQuestionRemembersTheAnswerGiven) {
    struct Case {
        int answer;
        bool savedFirst;
        bool askedAgain;
        bool savedAgain;
    } cases[] = {
        {6, true, true, false}, {7, true, false, true}, {8, false, true, false}, {9, false, false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        SetUp();
        qd->Operations().holdsParameters = true;
        prompts.Prompts().Clear();
        prompts.Prompts().PushAnswer(c.answer);
        qd->AskSaveModifiedParameters();
        ASSERT_GE(prompts.Prompts().AskedCount(), 1u);
        EXPECT_EQ(Asked()[0].args.at(0), "Save all parameters in permanent memory?");
        EXPECT_EQ(port->Written("GestEEprom").size(), c.savedFirst ? 1u : 0u);
        // Asked again the answer is No.
        prompts.Prompts().Clear();
        prompts.Prompts().PushAnswer(8);
        qd->AskSaveModifiedParameters();
        EXPECT_EQ(prompts.Prompts().AskedCount() > 0 && Asked()[0].kind == "MessageDialog", c.askedAgain);
        EXPECT_EQ(port->Written("GestEEprom").size(), (c.savedFirst ? 1u : 0u) + (c.savedAgain ? 1u : 0u));
    }
}

TEST_F(DriveOperations, DestroyingTheDriveObjectStopsTheCommandThread) {
    UseSystemManager();
    EXPECT_EQ(qd->SystemManager().ExecuteCommand("SYS_CV_RESET_DIAGNOSTIC_VAR", 1), 0u);
    EXPECT_TRUE(qd->SystemManager().ThreadRunning());
    qd.reset();  // joins the thread before the cell port goes
}

TEST_F(DriveOperations, EsiEepromUpdate) {
    // The drive updates it itself: the update command's write result.
    ASSERT_TRUE(model().Set("EtcRegEEpromConfiguration", 1));
    EXPECT_EQ(qd->UpdateEsiEeprom(), static_cast<int>(0x08000000)) << "5400 is no command of this drive";
    EXPECT_EQ(port->Written("SystemManagerCommand"), std::vector<uint32_t>{5400});
    EXPECT_EQ(prompts.Prompts().AskedCount(), 0u);

    // Otherwise, without a bridge, the user is told to do it by hand.
    SetUp();
    prompts.Prompts().PushAnswer(platform::IDOK);
    EXPECT_EQ(qd->UpdateEsiEeprom(), platform::IDOK);
    EXPECT_EQ(LastBox(),
              std::make_pair(std::string("The ESI eeprom of this EtherCAT slave must be updated manually."),
                             std::string("ESI eeprom update")));
    EXPECT_TRUE(port->writes.empty());

    port->failing.insert("EtcRegEEpromConfiguration");
    EXPECT_EQ(qd->UpdateEsiEeprom(), 143);
}

TEST(DriveRestart, ClosesAndAsksTheFrameToConnectAgain) {
    platform::RecordingSink frame;
    CQd qd(frame.Handle());
    qd.Identity().reconnectAfterReset = true;
    qd.RestartConnection(true);
    EXPECT_TRUE(qd.Operations().reconnect);
    EXPECT_FALSE(qd.Identity().reconnectAfterReset);
    qd.RestartConnectionAfterReset(true);
    EXPECT_TRUE(qd.Identity().reconnectAfterReset);
    platform::PumpMessages();
    ASSERT_EQ(frame.Count(), 2u);
    EXPECT_EQ(frame.Messages()[0].msg, 0x40Au);
    EXPECT_FALSE(qd.IsConnected());
}

// The program save lifts the answer time-out of the fieldbus channels as it does the serial one's,
// for the save only.
TEST(DriveOperationsChannelTimeout, TheProgramSaveLiftsEveryChannelsTimeOut) {
    struct Row {
        const char* what;
        int type;
        std::function<uint32_t(engine::CChannelDriver&)> timeout;
    };
    const Row rows[] = {
        {"fieldbus library", engine::channel_type::kLibrary,
         [](engine::CChannelDriver& d) {
             return dynamic_cast<engine::CLibraryChannelDriver&>(d).TimeoutMs();
         }},
        {"bridge", engine::channel_type::kBridge,
         [](engine::CChannelDriver& d) {
             return dynamic_cast<engine::CBridgeChannelDriver&>(d).TimeoutMs();
         }},
        {"ADS", engine::channel_type::kAds,
         [](engine::CChannelDriver& d) { return dynamic_cast<engine::CAdsChannelDriver&>(d).TimeoutMs(); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        CQd qd(0);
        engine::CMain& engine = *qd.ConnectionWindow().Engine();
        const int index = engine.AddChannel(row.what, row.type, "");
        ASSERT_GE(index, 0);
        engine.SetCurrentChannel(index);
        engine::CChannelDriver& driver = *engine.Channel(index)->driver;
        qd.ConnectionWindow().Record().timeout = 700;
        uint32_t during = 0;
        struct SavePort : drivetest::FakeCellPort {
            std::function<void()> onSave;
            int WriteCell(const std::string& name, uint32_t value) override {
                if (name == "PE_user_program_ram_eeprom") onSave();
                return drivetest::FakeCellPort::WriteCell(name, value);
            }
        } save;
        save.onSave = [&] { during = row.timeout(driver); };
        qd.ConnectionWindow().SetCellPort(&save);
        EXPECT_EQ(qd.SaveProgramToEeprom(), 0);
        EXPECT_EQ(during, 5000u);
        EXPECT_EQ(row.timeout(driver), 700u);
    }
    // A channel that is not there leaves the engine's code and text.
    CQd qd(0);
    drivetest::FakeCellPort port;
    qd.ConnectionWindow().SetCellPort(&port);
    qd.ConnectionWindow().Engine()->SetCurrentChannel(99);
    EXPECT_EQ(qd.SaveProgramToEeprom(), 0);
    EXPECT_EQ(qd.ConnectionWindow().Engine()->ErrorCode(), -31);
    EXPECT_EQ(qd.ConnectionWindow().Engine()->ErrorText(), "wrong channel");
}

// The system manager and the enable over the serial wire, on the real clock.
TEST(DriveOperationsOverTheWire, SystemCommandsAndEnableOverModbus) {
    drivetest::DriveTree tree;
    enginetest::PromptScope prompts;
    drivetest::SimulatedDrive drive;
    drivetest::FakeConnectDialog dialog;
    std::string error;
    const std::string port = drive.sim.StartPty(&error);
    ASSERT_FALSE(port.empty()) << error;
    enginetest::RegisterPort("driveoperations", port);
    {
        CQd qd(0);
        qd.ConnectionWindow().SetConnectDialog(&dialog);
        qd.ConnectionWindow().SetConnectionString(port + ":timeout 1000");
        ASSERT_EQ(qd.Connect(), 0) << qd.ConnectionWindow().LastMessage();
        // The node guard shares the engine's error fields with every other thread without a
        // lock (an engine matter); this test is about the command thread, so it runs alone.
        qd.ConnectionWindow().Engine()->StopNodeguard();
        qd.SystemManager().Load(qd.DriveData());
        qd.SystemManager().SetEnabled(true);
        qd.SystemManager().SetChannelKind(connection_kind::kSerial);
        // The description's Modbus error table, as the connect sequence reads it.
        CDriveErrorTable& errors = qd.Description().errorTable;
        errors.descriptions.push_back("Command refused by the drive");
        errors.modbusErrors[4] = errors.descriptions.size() - 1;

        EXPECT_EQ(qd.SystemManager().ExecuteCommand("SYS_CV_EE_SAVE_USER"), 0u);
        // A refusal over Modbus is the channel's exception code, explained by the drive's
        // Modbus error table.
        ASSERT_TRUE(drive.model->ApplySwitch("refuse=SYS_CV_STOP_PLC", &error)) << error;
        std::string text;
        EXPECT_EQ(qd.SystemManager().ExecuteCommand("SYS_CV_STOP_PLC", 0, 0, true, &text), 143u);
        EXPECT_EQ(text, "Command refused by the drive (error=0x4)");

        // The program save raises the serial answer time-out and puts it back.
        auto* serial = dynamic_cast<engine::CSerialChannelDriver*>(
            qd.ConnectionWindow()
                .Engine()
                ->Channel(qd.ConnectionWindow().Engine()->CurrentChannel())
                ->driver.get());
        ASSERT_NE(serial, nullptr);
        EXPECT_EQ(qd.SaveProgramToEeprom(), 0);
        EXPECT_EQ(serial->Rtu().CurrentTimeout(), 1000u);
        EXPECT_EQ(drive.model->ReadValue("PE_enabling_key"), 0);

        EXPECT_EQ(qd.EnableDrive(), 0);
        EXPECT_EQ(drive.model->State(), drivesim::cia402::kOperationEnabled);
        EXPECT_EQ(qd.WaitDriveState(kStateOperationEnabled), 0);
        qd.CloseConnection(true);
    }
    enginetest::UnregisterPort("driveoperations");
}

}  // namespace
