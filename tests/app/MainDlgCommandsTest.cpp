// The main dialog's commands against the simulated drive in simulated time: the message table,
// enable and disable reports, resets, starting the PLC program and erasing it on both paths.
#include <map>
#include <memory>
#include <ranges>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "app/MainDlgCommands.h"
#include "drive/ErrorReport.h"
#include "drive/Qd.h"
#include "foundation/MessageIds.h"
#include "platform/Clock.h"
#include "platform/Prompt.h"
#include "tests/drive/DriveObjectTestSupport.h"
#include "tests/drive/SystemManagerTestSupport.h"

using namespace app;
using namespace foundation;

namespace {

// The drive object's cell port onto the simulated drive model. Cells the model does not describe
// but the program erase writes are kept here; a restart request makes "device_type" silent for
// restartMs of simulated time (negative: for ever).
class SimPort : public drive::CQdsWnd::CCellPort {
  public:
    SimPort(drivesim::SimDriveModel& model, drive::CQd& qd, platform::Clock& clock)
        : model_(model), qd_(qd), clock_(clock) {}
    int ReadCell(const std::string& name, uint32_t* value) override {
        if (failing.count(name)) return 143;
        if (name == "device_type" && restartAt_ >= 0 &&
            (restartMs < 0 || clock_.NowMs() - restartAt_ < restartMs)) {
            ++silentReads;
            return -123;
        }
        if (auto it = extra.find(name); it != extra.end()) {
            *value = it->second;
            return 0;
        }
        const auto answer = model_.Read(name);
        const int code = drivetest::CodeOfRefusal(answer.refusal);
        if (code == 0) *value = static_cast<uint32_t>(model_.ReadValue(name).value_or(0));
        Refresh();
        return code;
    }
    int WriteCell(const std::string& name, uint32_t value) override {
        writes.emplace_back(name, value);
        if (failing.count(name)) return 143;
        if (auto it = extra.find(name); it != extra.end()) {
            it->second = value;
            if (name == "RestartFwRq") restartAt_ = clock_.NowMs();
            return 0;
        }
        const int code = drivetest::CodeOfRefusal(model_.WriteValue(name, static_cast<int32_t>(value)));
        Refresh();
        return code;
    }
    std::string ErrorText() override { return "simulated drive"; }
    void Refresh() {
        if (const auto v = model_.ReadValue("statusword"))
            qd_.StatuswordCell().SetRead(static_cast<uint32_t>(*v));
        if (const auto v = model_.ReadValue("DriveAlarm")) qd_.AlarmCell().SetRead(static_cast<uint32_t>(*v));
    }
    std::vector<std::string> WrittenNames() const {
        std::vector<std::string> out;
        for (const auto& w : writes) out.push_back(w.first);
        return out;
    }

    std::map<std::string, uint32_t> extra{{"PE_erase_program_eeprom", 1}, {"RestartFwRq", 1}};
    std::set<std::string> failing;
    std::vector<std::pair<std::string, uint32_t>> writes;
    int64_t restartMs = 3000;
    int silentReads = 0;

  private:
    drivesim::SimDriveModel& model_;
    drive::CQd& qd_;
    platform::Clock& clock_;
    int64_t restartAt_ = -1;
};

class RecordingSite : public CMainDlgCommandSite {
  public:
    bool IsIntegratedMotorFamily() const override { return integrated; }
    void CloseFrameWindows() override { calls.push_back("close windows"); }
    void RereadProgramIdentity() override { calls.push_back("reread program"); }
    void ClearProgramName() override { calls.push_back("clear program name"); }
    void RunOptionsDialog() override { calls.push_back("options"); }
    void AnalogWrite() override { calls.push_back("analog write"); }
    void UpdateDriveInfo() override { calls.push_back("drive info"); }
    bool integrated = false;
    std::vector<std::string> calls;
};

class MainDlgCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        model = std::make_unique<drivesim::SimDriveModel>(clock);
        std::string error;
        ASSERT_TRUE(model->Load(drivetest::SimDescription(), &error)) << error;
        qd = std::make_unique<drive::CQd>(0);
        qd->SetOperationClock(clock);
        port = std::make_unique<SimPort>(*model, *qd, clock);
        qd->ConnectionWindow().SetCellPort(port.get());
        qd->ConnectionWindow().Record().channelType = drive::connection_kind::kBridge;
        commands = std::make_unique<CMainDlgCommands>(*qd, site);
        prompts.Prompts().Clear();
        prompts.Prompts().SetDefaultAnswer(platform::IDNO);
        site.calls.clear();
        site.integrated = false;
    }
    void TearDown() override {
        commands.reset();
        qd.reset();
        port.reset();
        model.reset();
    }
    void Apply(const std::string& text) {
        std::string error;
        ASSERT_TRUE(model->ApplySwitch(text, &error)) << error;
        port->Refresh();
    }
    void UseSystemManager() {
        ASSERT_EQ(description.Load(drivetest::SimDescription()), foundation::S_OK);
        qd->SystemManager().Load(description.Root().FindNode("ClientList\\Client\\Data"));
        qd->SystemManager().SetEnabled(true);
        qd->Identity().systemManager = true;
    }
    // Message boxes (text, caption) and drive error reports ("report: text"), in order.
    std::vector<std::pair<std::string, std::string>> Told() {
        std::vector<std::pair<std::string, std::string>> out;
        for (const auto& q : prompts.Prompts().Asked()) {
            if (q.kind == "MessageBox") out.emplace_back(q.text, q.caption);
            if (q.kind == drive::kMessageDetailsPrompt) out.emplace_back("report: " + q.args.at(1), "");
        }
        return out;
    }
    bool WasTold(const std::string& text) {
        for (const auto& [t, c] : Told())
            if (t.find(text) != std::string::npos) return true;
        return false;
    }

    enginetest::PromptScope prompts;
    platform::FakeClock clock{1000};
    std::unique_ptr<drivesim::SimDriveModel> model;
    foundation::CXmlDocument description;
    std::unique_ptr<drive::CQd> qd;
    std::unique_ptr<SimPort> port;
    RecordingSite site;
    std::unique_ptr<CMainDlgCommands> commands;
};

TEST(MainDlgActionTable, EveryMessageHasItsAction) {
    const std::vector<std::pair<unsigned, MainDlgAction>> cases = {
        {0x428, MainDlgAction::AskSaveModified},
        {0x432, MainDlgAction::StartupChecks},
        {0x434, MainDlgAction::ExportFirmware},
        {0x436, MainDlgAction::XulEnable},
        {0x437, MainDlgAction::DriveEnable},
        {0x43C, MainDlgAction::FirmwareDownload},
        {0x43D, MainDlgAction::ObjectDictionary},
        {0x43F, MainDlgAction::PermanentMemory},
        {0x440, MainDlgAction::Options},
        {0x441, MainDlgAction::Ignore},
        {0x445, MainDlgAction::Reset},
        {0x461, MainDlgAction::UserMotorsManage},
        {0x462, MainDlgAction::UserMotorsImport},
        {0x463, MainDlgAction::UserMotorsExport},
        {0x464, MainDlgAction::UserMotorsDelete},
        {0x465, MainDlgAction::RunStopPlc},
        {0x466, MainDlgAction::ImportParameters},
        {0x467, MainDlgAction::ExportParameters},
        {0x468, MainDlgAction::DownloadParameters},
        {0x469, MainDlgAction::EraseProgram},
        {0x46A, MainDlgAction::CompareParameters},
        {0x46B, MainDlgAction::LoadConfiguration},
        {0x46C, MainDlgAction::SaveConfiguration},
        {0x46D, MainDlgAction::CreateArchive},
        {0x46E, MainDlgAction::InstallArchive},
        {0x46F, MainDlgAction::WorkerText},
        {0x470, MainDlgAction::UpdateCheckText},
        {0x471, MainDlgAction::AnalogWrite},
        {0x472, MainDlgAction::PlainParameterFile},
        {0x478, MainDlgAction::SaveParamFileForHost},
        {0x496, MainDlgAction::UpdateDriveInfo},
    };
    for (const auto& [message, action] : cases)
        EXPECT_EQ(MainDlgActionFor(message), action) << std::hex << message;
    EXPECT_EQ(MainDlgCommandMessages().size(), cases.size());
    // Every command message the frame posts is handled.
    for (unsigned message : kMainDialogMessageIds)
        EXPECT_NE(MainDlgActionFor(message), MainDlgAction::Unknown);
    EXPECT_EQ(MainDlgActionFor(0x400), MainDlgAction::Unknown);
}

TEST_F(MainDlgCommandsTest, EveryHandlerAnswersHandled) {
    ASSERT_TRUE(model->Set("vm_StatusRunStop", 0));
    for (unsigned message : MainDlgCommandMessages()) {
        SCOPED_TRACE(message);
        // Worker texts are freed by the handler.
        const bool ownsText = message == kMainDlgWorkerTextMessage || message == kMainDlgUpdateCheckMessage;
        const uintptr_t wParam = ownsText ? reinterpret_cast<uintptr_t>(new std::string("text")) : 0;
        EXPECT_EQ(commands->Handle(message, wParam, 0), 1);
    }
    EXPECT_EQ(commands->Handle(0x400, 0, 0), 1);
}

TEST_F(MainDlgCommandsTest, PlainMessages) {
    // Parameters written, but not the save request: nothing asked, nothing written.
    commands->Handle(kMainDlgParametersWrittenMessage, 0, 0);
    EXPECT_EQ(prompts.Prompts().AskedCount(), 0u);
    EXPECT_TRUE(port->writes.empty());

    commands->Handle(kMainDlgInstallArchiveMessage, 0, 0);
    EXPECT_EQ(Told().back(), std::make_pair(std::string("Under construction"), std::string()));

    commands->Handle(kMainDlgWorkerTextMessage, reinterpret_cast<uintptr_t>(new std::string("Done")),
                     platform::MB_ICONWARNING);
    EXPECT_EQ(Told().back(), std::make_pair(std::string("Done"), std::string("Tunova")));
    EXPECT_EQ(prompts.Prompts().Asked().back().flags, platform::MB_ICONWARNING);
    commands->Handle(kMainDlgUpdateCheckMessage, reinterpret_cast<uintptr_t>(new std::string("v2")), 1);
    EXPECT_EQ(Told().back().second, "An update is available");
    commands->Handle(kMainDlgUpdateCheckMessage, reinterpret_cast<uintptr_t>(new std::string("v1")), 0);
    EXPECT_EQ(Told().back().second, "No update available");

    commands->Handle(kMainDlgOptionsMessage, 0, 0);
    commands->Handle(kPageConnectionClosedMessage, 0, 0);
    commands->Handle(kMainDlgAnalogWriteMessage, 0, 0);
    EXPECT_EQ(site.calls, (std::vector<std::string>{"options", "drive info", "analog write"}));
}

TEST(MainDlgEnableReports, ResultsToMessages) {
    struct Case {
        int result;
        const char* enable;
        bool enableThroughDrive;
        const char* disable;
    } cases[] = {
        {0, "", false, ""},
        {1, "Communication error on motor enable operation", true,
         "Communication error on motor disable operation"},
        {2, "Time out error; operation aborted", false, "Time out error"},
        {3, "Not allowed operation", false, "Not allowed operation"},
        {4, "Activate hardware enable before continuing!", false, "Disable motor error 4"},
        // The drive object has told the user to reset the alarms: no second box.
        {13, "", false, "Disable motor error 13"},
        {7, "Enable motor error 7", false, "Disable motor error 7"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.result);
        const EnableReport enable = EnableResultReport(c.result);
        EXPECT_EQ(enable.text, c.enable);
        EXPECT_EQ(enable.throughDrive, c.enableThroughDrive);
        if (!enable.text.empty()) {
            EXPECT_EQ(enable.caption, "Enable motor");
        }
        const EnableReport disable = DisableResultReport(c.result);
        EXPECT_EQ(disable.text, c.disable);
        EXPECT_EQ(disable.throughDrive, c.result == 1);
    }
}

TEST_F(MainDlgCommandsTest, EnableToggleOnTheDrive) {
    // Switched on: enabled, nothing said.
    Apply("state=3");
    commands->Handle(kMainDlgDriveEnableMessage, 0, 0);
    EXPECT_EQ(model->State(), drivesim::cia402::kOperationEnabled);
    EXPECT_TRUE(Told().empty());
    // Enabled: the same message disables.
    commands->Handle(kMainDlgDriveEnableMessage, 0, 0);
    EXPECT_NE(model->State(), drivesim::cia402::kOperationEnabled);
    // In fault: only the drive object's own word, nothing written.
    TearDown();
    SetUp();
    Apply("state=7");
    port->writes.clear();
    commands->DriveEnableToggle();
    EXPECT_EQ(Told(), (std::vector<std::pair<std::string, std::string>>{
                          {"Reset alarms before continuing!", "Set operation enable"}}));
    EXPECT_TRUE(port->writes.empty());
    // No hardware enable: the user is told.
    TearDown();
    SetUp();
    Apply("no-hw-enable");
    commands->DriveEnableToggle();
    EXPECT_EQ(Told().back(), std::make_pair(std::string("Activate hardware enable before continuing!"),
                                            std::string("Enable motor")));
}

TEST_F(MainDlgCommandsTest, XulEnableAndDisableByTheStateCell) {
    struct Case {
        uint32_t state;
        uintptr_t enable;
        std::vector<uint32_t> written;
    } cases[] = {
        {40, 1, {7}}, {30, 1, {}}, {0, 0, {6}}, {10, 0, {6}}, {20, 0, {6}}, {30, 0, {6}}, {40, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.state) + (c.enable ? " enable" : " disable"));
        port->writes.clear();
        qd->StateValueCell().SetRead(c.state);
        EXPECT_EQ(commands->Handle(kMainDlgXulEnableMessage, c.enable, 0), 1);
        std::vector<uint32_t> written;
        for (const auto& [name, value] : port->writes)
            if (name == "controlword") written.push_back(value);
        EXPECT_EQ(written, c.written);
    }
}

TEST_F(MainDlgCommandsTest, ResetsByChannelAndFamily) {
    struct Case {
        unsigned command;
        uint16_t channel;
        bool integrated;
        const char* caption;  // of the success message; null: none
        bool restarted;
    } cases[] = {
        {kCmdHardReset, drive::connection_kind::kBridge, false, "Hard firmware reset", false},
        {kCmdHardReset, drive::connection_kind::kSerial, false, "Hard firmware reset", false},
        {kCmdHardReset, drive::connection_kind::kSerial, true, nullptr, true},
        {kCmdHardReset, 7, true, nullptr, true},
        {kCmdHardReset, drive::connection_kind::kBridge, true, "Hard firmware reset", false},
        {kCmdSoftReset, drive::connection_kind::kSerial, true, "Soft firmware reset", false},
        {kCmdResetToDefaults, drive::connection_kind::kBridge, false, "Reset to defaults", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.command) + " on " + std::to_string(c.channel) +
                     (c.integrated ? " integrated" : ""));
        TearDown();
        SetUp();
        UseSystemManager();
        site.calls.clear();
        site.integrated = c.integrated;
        qd->ConnectionWindow().Record().channelType = c.channel;
        commands->Handle(kMainDlgResetMessage, c.command, 0);
        if (c.caption) {
            EXPECT_EQ(Told().back(), std::make_pair(std::string(kResetDoneText), std::string(c.caption)));
        } else {
            EXPECT_FALSE(WasTold(kResetDoneText));
        }
        EXPECT_EQ(!site.calls.empty() && site.calls.front() == "close windows", c.restarted);
        // A restarted link starts its reads afresh with the new connection.
        if (!c.restarted) {
            EXPECT_FALSE(qd->CyclicReadsPaused());
        }
    }
    // A refused command: no success message, background reads running again.
    TearDown();
    SetUp();
    UseSystemManager();
    qd->ConnectionWindow().Record().channelType = drive::connection_kind::kSerial;
    Apply("refuse-always=SYS_CV_RESTART_FW_TOTALE");
    commands->Reset(kCmdHardReset);
    EXPECT_FALSE(WasTold(kResetDoneText));
    EXPECT_FALSE(qd->CyclicReadsPaused());
    // Without system-manager commands nothing is sent.
    TearDown();
    SetUp();
    commands->Reset(kCmdSoftReset);
    EXPECT_TRUE(port->writes.empty());
    EXPECT_TRUE(Told().empty());
}

TEST_F(MainDlgCommandsTest, PlcStartPollsUntilRunningOrTimesOut) {
    // By the system manager: the drive runs the program within the polling.
    UseSystemManager();
    ASSERT_TRUE(model->Set("vm_StatusRunStop", 0));
    commands->Handle(kMainDlgRunStopPlcMessage, 0, 0);
    EXPECT_EQ(model->ReadValue("vm_StatusRunStop"), 1);
    EXPECT_FALSE(WasTold("PLC program start error"));

    // By the command cell: this drive ignores a 0, so the start times out after 2 s and says so.
    TearDown();
    SetUp();
    ASSERT_TRUE(model->Set("vm_StatusRunStop", 0));
    const int64_t before = clock.NowMs();
    commands->RunStopPlc();
    const int64_t waited = clock.NowMs() - before;
    EXPECT_GE(waited, 2000);
    EXPECT_LT(waited, 2700);
    ASSERT_FALSE(port->writes.empty());
    EXPECT_EQ(port->writes.back(), std::make_pair(std::string("vm_CommandRunStop"), 0u));
    EXPECT_TRUE(WasTold("PLC program start error"));

    // Running: the same command stops it.
    TearDown();
    SetUp();
    commands->RunStopPlc();
    EXPECT_EQ(model->ReadValue("vm_StatusRunStop"), 0);
    // A failed status read is reported and nothing is written.
    TearDown();
    SetUp();
    port->failing.insert("vm_StatusRunStop");
    commands->RunStopPlc();
    EXPECT_TRUE(port->writes.empty());
    EXPECT_TRUE(WasTold("report: PLC program status read error!"));
    // Offline: nothing at all.
    TearDown();
    SetUp();
    qd->ConnectionWindow().SetOffline(true);
    commands->RunStopPlc();
    EXPECT_TRUE(Told().empty());
}

TEST_F(MainDlgCommandsTest, EraseBySystemManager) {
    UseSystemManager();
    prompts.Prompts().PushAnswer(platform::IDYES);
    commands->Handle(kMainDlgEraseProgramMessage, 0, 0);
    EXPECT_EQ(port->extra["PE_erase_program_eeprom"], 0u);
    EXPECT_EQ(site.calls, (std::vector<std::string>{"reread program", "clear program name"}));
    EXPECT_EQ(Told().back(),
              std::make_pair(std::string("Program successfully removed"), std::string(kEraseCaption)));
    // A refused erase flag write: reported, and never "removed".
    TearDown();
    SetUp();
    UseSystemManager();
    site.calls.clear();
    port->failing.insert("PE_erase_program_eeprom");
    prompts.Prompts().PushAnswer(platform::IDYES);
    commands->EraseProgram();
    EXPECT_TRUE(WasTold("report: PE_erase_program_eeprom write error"));
    EXPECT_FALSE(WasTold("removed"));
    EXPECT_TRUE(site.calls.empty());
    // No: nothing sent.
    TearDown();
    SetUp();
    UseSystemManager();
    commands->EraseProgram();
    EXPECT_TRUE(port->writes.empty());
}

TEST_F(MainDlgCommandsTest, EraseByRestart) {
    prompts.Prompts().PushAnswer(platform::IDYES);
    commands->EraseProgram();
    EXPECT_EQ(port->extra["PE_erase_program_eeprom"], 0u);
    EXPECT_EQ(port->extra["RestartFwRq"], 0u);
    EXPECT_EQ(model->ReadValue("vm_StatusRunStop"), 0) << "the program was stopped first";
    EXPECT_GT(port->silentReads, 0);
    EXPECT_EQ(Told().back(),
              std::make_pair(std::string("Program successfully removed"), std::string(kEraseCaption)));
    EXPECT_EQ(site.calls, (std::vector<std::string>{"reread program", "clear program name"}));
    EXPECT_FALSE(qd->CyclicReadsPaused());
}

TEST_F(MainDlgCommandsTest, EraseByRestartTimesOutAndStillResumes) {
    port->restartMs = -1;
    prompts.Prompts().PushAnswer(platform::IDYES);
    commands->EraseProgram();
    // 2 s settle, then about 9.5 s of polling every 300 ms.
    const auto& asked = prompts.Prompts().Asked();
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(Told().back(), std::make_pair(std::string(kEraseTimeoutText), std::string()));
    EXPECT_EQ(asked.back().flags, platform::MB_ICONWARNING);
    EXPECT_GE(port->silentReads, 30);
    EXPECT_LE(port->silentReads, 34);
    EXPECT_FALSE(WasTold("removed"));
    EXPECT_TRUE(site.calls.empty());
    EXPECT_FALSE(qd->CyclicReadsPaused());
}

TEST_F(MainDlgCommandsTest, EraseByRestartStopsAtTheFirstFailedWrite) {
    struct Case {
        const char* failing;
        const char* report;
        std::vector<std::string> written;
    } cases[] = {
        {"PE_enabling_key", "enabling key write error", {"PE_enabling_key"}},
        {"PE_erase_program_eeprom",
         "PE_erase_program_eeprom write error",
         {"PE_enabling_key", "PE_erase_program_eeprom"}},
        {"RestartFwRq",
         "RestartFwRq write error",
         {"PE_enabling_key", "PE_erase_program_eeprom", "RestartFwRq"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failing);
        TearDown();
        SetUp();
        ASSERT_TRUE(model->Set("vm_StatusRunStop", 0));
        port->failing.insert(c.failing);
        prompts.Prompts().PushAnswer(platform::IDYES);
        commands->EraseProgram();
        EXPECT_EQ(port->WrittenNames(), c.written);
        EXPECT_TRUE(WasTold(std::string("report: ") + c.report));
        EXPECT_FALSE(WasTold("removed"));
        EXPECT_FALSE(qd->CyclicReadsPaused());
    }
    // A program that will not stop, and the user does not force: nothing erased.
    TearDown();
    SetUp();
    port->failing.insert("vm_CommandRunStop");
    prompts.Prompts().PushAnswer(platform::IDYES);
    prompts.Prompts().PushAnswer(platform::IDNO);
    commands->EraseProgram();
    EXPECT_TRUE(WasTold("IEC program doesn't stop"));
    EXPECT_EQ(port->extra["PE_erase_program_eeprom"], 1u);
    EXPECT_FALSE(qd->CyclicReadsPaused());
}

}  // namespace
