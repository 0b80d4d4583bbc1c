// System commands, permanent memory, the PLC program and the tuning word of the described
// simulated drive, in simulated time.
#include "tests/tools/DriveSimTestSupport.h"

namespace {

using drivesim::Refusal;
using drivesimtest::ModelTest;

constexpr int kResetDiagnostics = 500, kSave = 100, kRestore = 101, kRestart = 200, kStopPlc = 300,
              kInertia = 1001, kManualVelocity = 1010, kMoveEnd = 1100;

class Commands : public ModelTest {
  protected:
    Refusal Start(int value) { return model.WriteValue("SystemManagerCommand", value); }
    int64_t Command() { return Value("SystemManagerCommand"); }
    int64_t Error() { return Value("SystemManagerError"); }
};

TEST_F(Commands, ACommandTakesItsTimeAndOthersFindTheDriveBusy) {
    ASSERT_EQ(Start(kResetDiagnostics), Refusal::None);
    EXPECT_EQ(Command(), kResetDiagnostics);
    EXPECT_EQ(Value("SystemManagerStatus"), 1);
    Wait(299);
    EXPECT_EQ(Command(), kResetDiagnostics);
    EXPECT_EQ(Start(kSave), Refusal::Busy);
    EXPECT_EQ(Value("ModbusError"), 6);
    EXPECT_EQ(Command(), kResetDiagnostics) << "the refused command changed nothing";
    Wait(1);
    EXPECT_EQ(Command(), 0);
    EXPECT_EQ(Error(), 0);
    EXPECT_EQ(Value("SystemManagerStatus"), 0);

    EXPECT_EQ(Start(777), Refusal::Refused);  // no such command
    EXPECT_EQ(Error(), 1);
    EXPECT_EQ(Value("ModbusError"), 4);
    EXPECT_EQ(Command(), 0);
}

TEST_F(Commands, RefusalsAndForcing) {
    struct Case {
        const char* sw;
        uint32_t error;
        bool forcingHelps;
    } cases[] = {
        {"refuse=SYS_CV_STOP_PLC", 8, true},
        {"refuse=300:14", 14, true},
        {"refuse-always=SYS_CV_STOP_PLC:14", 14, false},
        {"refuse-always=SYS_CV_STOP_PLC", 8, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sw);
        drivesim::SimDriveModel drive{clock};
        ASSERT_TRUE(drive.Load(drivesimtest::DescriptionPath(), &error));
        ASSERT_TRUE(drive.ApplySwitch(c.sw, &error)) << error;
        EXPECT_EQ(drive.WriteValue("SystemManagerCommand", kStopPlc), Refusal::Refused);
        EXPECT_EQ(drive.ReadValue("SystemManagerError"), c.error);
        EXPECT_EQ(drive.ReadValue("SystemManagerCommand"), 0);
        // Other commands are not concerned.
        EXPECT_EQ(drive.WriteValue("SystemManagerCommand", kResetDiagnostics), Refusal::None);
        clock.Advance(300);
        EXPECT_EQ(drive.WriteValue("SystemManagerEnableForcing", 1), Refusal::None);
        EXPECT_EQ(drive.WriteValue("SystemManagerCommand", kStopPlc),
                  c.forcingHelps ? Refusal::None : Refusal::Refused);
        clock.Advance(300);
        EXPECT_EQ(drive.ReadValue("vm_StatusRunStop"), c.forcingHelps ? 0 : 1);
        // Forcing counts for one start only.
        EXPECT_EQ(drive.WriteValue("SystemManagerCommand", kStopPlc), Refusal::Refused);
    }
}

TEST_F(Commands, FailHangAndBusySwitches) {
    Apply("fail=SYS_CV_RESET_DIAGNOSTIC_VAR:51");
    ASSERT_EQ(Start(kResetDiagnostics), Refusal::None);
    Wait(300);
    EXPECT_EQ(Command(), 0);
    EXPECT_EQ(Error(), 51);

    Apply("hang=500");
    ASSERT_EQ(Start(kResetDiagnostics), Refusal::None);
    Wait(60000);
    EXPECT_EQ(Command(), kResetDiagnostics);
    EXPECT_EQ(Start(kSave), Refusal::Busy);

    drivesim::SimDriveModel busy{clock};
    ASSERT_TRUE(busy.Load(drivesimtest::DescriptionPath(), &error));
    ASSERT_TRUE(busy.ApplySwitch("busy=SYS_CV_TN_STIMATORE_J", &error)) << error;
    clock.Advance(100000);
    EXPECT_EQ(busy.ReadValue("SystemManagerCommand"), kInertia) << "no watchdog ends it";
    EXPECT_EQ(busy.WriteValue("SystemManagerCommand", kSave), Refusal::Busy);

    drivesim::SimDriveModel unknown{clock};
    ASSERT_TRUE(unknown.Load(drivesimtest::DescriptionPath(), &error));
    EXPECT_FALSE(unknown.ApplySwitch("hang=SYS_CV_NOTHING", &error));
    EXPECT_EQ(error, "no system command 'SYS_CV_NOTHING' in the description");
}

TEST_F(Commands, WatchdogCommandsNeedTheirRefresh) {
    ASSERT_EQ(Start(kInertia), Refusal::None);
    Wait(1999);
    EXPECT_EQ(Command(), kInertia);
    Wait(1);
    EXPECT_EQ(Command(), 0) << "no refresh for 2 s";
    EXPECT_EQ(Error(), 30);

    ASSERT_EQ(Start(kInertia), Refusal::None);
    for (int i = 0; i < 2; ++i) {
        Wait(1000);
        EXPECT_EQ(model.WriteValue("ResetWatchDogTimeOut", kInertia), Refusal::None);
    }
    EXPECT_EQ(model.WriteValue("ResetWatchDogTimeOut", kSave), Refusal::None);  // not its number
    Wait(999);
    EXPECT_EQ(Command(), kInertia);
    Wait(1);
    EXPECT_EQ(Command(), 0) << "the estimator ends after 3 s";
    EXPECT_EQ(Error(), 0);
}

TEST_F(Commands, MoveCommandsHandOverAtTheirWaitStatus) {
    ASSERT_EQ(Start(kManualVelocity), Refusal::None);
    Wait(299);
    EXPECT_EQ(Value("SystemManagerStatus"), 1);
    Wait(1);
    EXPECT_EQ(Value("SystemManagerStatus"), 2);
    EXPECT_EQ(Command(), 0);
    ASSERT_EQ(Start(kMoveEnd), Refusal::None) << "the move runs on, commands are taken";
    Wait(300);
    EXPECT_EQ(Value("SystemManagerStatus"), 0);

    ASSERT_EQ(Start(kManualVelocity), Refusal::None);
    Wait(300);
    EXPECT_EQ(Value("SystemManagerStatus"), 2);
    Wait(10000);
    EXPECT_EQ(Value("SystemManagerStatus"), 0) << "a move nobody ends stops by itself";
}

TEST_F(Commands, PermanentMemoryThroughCommands) {
    ASSERT_EQ(model.WriteValue("KP_IQ", 999), Refusal::None);
    ASSERT_EQ(Start(kRestart), Refusal::None);
    Wait(300);
    EXPECT_FALSE(model.Answers()) << "restarting";
    Wait(2499);
    EXPECT_FALSE(model.Answers());
    Wait(1);
    EXPECT_TRUE(model.Answers());
    EXPECT_EQ(Value("KP_IQ"), 1200) << "not saved: lost at the restart";
    EXPECT_EQ(State(), 1);

    ASSERT_EQ(model.WriteValue("KP_IQ", 999), Refusal::None);
    ASSERT_EQ(Start(kSave), Refusal::None);
    Wait(799);
    EXPECT_EQ(Command(), kSave);
    Wait(1);
    EXPECT_EQ(Command(), 0);
    ASSERT_EQ(Start(kRestart), Refusal::None);
    Wait(2800);
    EXPECT_EQ(Value("KP_IQ"), 999);

    ASSERT_EQ(Start(kRestore), Refusal::None);
    Wait(800);
    EXPECT_FALSE(model.Answers());
    Wait(2500);
    EXPECT_EQ(Value("KP_IQ"), 1200);
    EXPECT_EQ(Command(), 0);
    EXPECT_EQ(Error(), 0);
    ASSERT_EQ(Start(kRestart), Refusal::None);
    Wait(2800);
    EXPECT_EQ(Value("KP_IQ"), 1200) << "the permanent copy was restored too";
}

TEST_F(Commands, PermanentMemoryThroughItsCommandWord) {
    struct Case {
        const char* sw;
        int saveMs;
        int restartMs;
        int status;
    } cases[] = {
        {nullptr, 800, 2500, 0},
        {"slow-eeprom", 6000, 8000, 0},
        {"fail=GestEEprom:21", 800, 2500, 21},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sw ? c.sw : "plain");
        drivesim::SimDriveModel drive{clock};
        ASSERT_TRUE(drive.Load(drivesimtest::DescriptionPath(), &error));
        if (c.sw) {
            ASSERT_TRUE(drive.ApplySwitch(c.sw, &error)) << error;
        }
        ASSERT_EQ(drive.WriteValue("KP_IQ", 999), Refusal::None);
        ASSERT_EQ(drive.WriteValue("GestEEprom", 1), Refusal::None);
        clock.Advance(c.saveMs - 1);
        EXPECT_EQ(drive.ReadValue("GestEEprom"), 1);
        EXPECT_EQ(drive.WriteValue("GestEEprom", 1), Refusal::Busy);
        clock.Advance(1);
        EXPECT_EQ(drive.ReadValue("GestEEprom"), 0);
        EXPECT_EQ(drive.ReadValue("EEpromCommandStatus"), c.status);

        // A restore restarts the drive at once; device_type reads again once it is back.
        ASSERT_EQ(drive.WriteValue("KP_IQ", 777), Refusal::None);
        ASSERT_EQ(drive.WriteValue("GestEEprom", 2), Refusal::None);
        EXPECT_FALSE(drive.ReadValue("device_type").has_value());
        clock.Advance(c.restartMs - 1);
        EXPECT_FALSE(drive.ReadValue("device_type").has_value());
        clock.Advance(1);
        EXPECT_EQ(drive.ReadValue("device_type"), 0x00020192);
        EXPECT_EQ(drive.ReadValue("EEpromCommandStatus"), c.status);
        // The factory value, not the saved 999 (the failing drive never saved it).
        EXPECT_EQ(drive.ReadValue("KP_IQ"), 1200);
        EXPECT_EQ(drive.ReadValue("GestEEprom"), 0);
    }
}

TEST_F(Commands, SystemCommandWordCanBeMissing) {
    Apply("no-system-manager");
    EXPECT_EQ(model.Read("SystemManagerCommand").refusal, Refusal::NoObject);
    EXPECT_EQ(Start(kSave), Refusal::NoObject);
}

TEST_F(Commands, PlcAndTuningWords) {
    EXPECT_EQ(Value("vm_StatusRunStop"), 1);
    ASSERT_EQ(model.WriteValue("vm_CommandRunStop", 1), Refusal::None);
    Wait(299);
    EXPECT_EQ(Value("vm_StatusRunStop"), 1);
    Wait(1);
    EXPECT_EQ(Value("vm_StatusRunStop"), 0);
    ASSERT_EQ(model.WriteValue("vm_CommandRunStop", 2), Refusal::None);
    Wait(300);
    EXPECT_EQ(Value("vm_StatusRunStop"), 1);
    EXPECT_EQ(model.WriteValue("vm_CommandRunStop", 3), Refusal::Range);

    ASSERT_EQ(model.WriteValue("TuningRegulatorCommand", 5), Refusal::None);
    Wait(2999);
    EXPECT_EQ(Value("TuningRegulatorCommand"), 5);
    Wait(1);
    EXPECT_EQ(Value("TuningRegulatorCommand"), 0);
    Apply("hang=TuningRegulatorCommand");
    ASSERT_EQ(model.WriteValue("TuningRegulatorCommand", 5), Refusal::None);
    Wait(20000);
    EXPECT_EQ(Value("TuningRegulatorCommand"), 5);
}

}  // namespace
