// The described simulated drive in simulated time: its description, CiA 402 states, faults, modes,
// live values and program area.
#include <cmath>

#include "tests/tools/DriveSimTestSupport.h"
#include "tools/drivesim/SimDescription.h"

namespace {

using drivesim::Refusal;
using drivesimtest::ModelTest;

// What the drive object, the main dialog and the capture read and write by name.
const char* const kUsedNames[] = {"controlword",
                                  "statusword",
                                  "ModeOfOperation",
                                  "ModeOfOperationDisplay",
                                  "TestEnableHw",
                                  "PhisicalDigitalInputStatus",
                                  "DigitalOutputStatus",
                                  "BrakeType",
                                  "BrakeStatus",
                                  "ActualPosition",
                                  "ActualVelocity",
                                  "VelocityUnit",
                                  "CurrentLoopType",
                                  "PositionResolution",
                                  "Polarity",
                                  "HoldCurrent",
                                  "PolePitch",
                                  "MotorType",
                                  "vm_StatusRunStop",
                                  "vm_CommandRunStop",
                                  "DriveDynamicWarning",
                                  "DriveWarning",
                                  "DriveDynamicAlarm",
                                  "DriveAlarm",
                                  "ModbusError",
                                  "SystemManagerCommand",
                                  "SystemManagerStatus",
                                  "SystemManagerError",
                                  "ResetWatchDogTimeOut",
                                  "SystemManagerEnableForcing",
                                  "GestEEprom",
                                  "EEpromCommandStatus",
                                  "device_type",
                                  "PE_enabling_key",
                                  "PE_user_program_ram_eeprom",
                                  "TuningRegulatorCommand",
                                  "EtcRegEEpromConfiguration",
                                  "EtcErrorRetentCommMsg",
                                  "rd_hw_rev",
                                  "EncResIndexValue",
                                  "UserDriveName",
                                  "ProductOrderCode",
                                  "enabling_key",
                                  "DiagHistoryMaxMsg",
                                  "System.Info.SerialNumber",
                                  "MotorGuid",
                                  "KP_IQ",
                                  "Estimated_Inertia",
                                  "DegaussTypeFilter",
                                  "Numero_Canali",
                                  "Indir_canale_1",
                                  "Indir_canale_4",
                                  "Logger_Scan_Time",
                                  "Trigger_Status",
                                  "MaxBufferDimension",
                                  "Prescaler_buffer",
                                  "Pretrigger_Value",
                                  "Cod_err_iniz_osc",
                                  "Dimensione_Buffer",
                                  "Trigger_value",
                                  "Pendenza_trigger",
                                  "Buffer_1",
                                  "Buffer_2",
                                  "Buffer_3",
                                  "Buffer_4",
                                  "offset",
                                  "RW_Abs",
                                  "RW_Global_AREA",
                                  "RW_Retain_AREA",
                                  "AnalogInput0",
                                  "AnalogInput3"};

TEST_F(ModelTest, DescriptionHoldsWhatTheProgramUses) {
    EXPECT_EQ(model.MissingNames(), std::vector<std::string>{});
    const drivesim::SimDescription& d = model.Description();
    for (const char* name : kUsedNames) {
        const drivesim::SimVariable* v = d.Find(name);
        ASSERT_NE(v, nullptr) << name;
        EXPECT_TRUE(v->modbusAddress.has_value()) << name;
        EXPECT_TRUE(v->busKey.has_value()) << name;
    }
    EXPECT_EQ(d.identity.HardwareText(), "Hardware 12 v.1.0.0");
    EXPECT_EQ(d.identity.FirmwareText(), "Firmware 1234 v.2.3.1");
    for (const char* name : {"SYS_CV_EE_SAVE_USER", "SYS_CV_EE_RESTORE", "SYS_CV_STOP_PLC"})
        EXPECT_NE(d.FindCommand(name), nullptr) << name;
    // No watchdog attribute anywhere: the tuning range needs the refresh, nothing else does.
    EXPECT_TRUE(d.FindCommand("SYS_CV_TN_STIMATORE_J")->watchdog);
    EXPECT_FALSE(d.FindCommand("SYS_CV_TUNING_MOVE_END")->watchdog);
    EXPECT_EQ(d.FindCommand("SYS_CV_TN_MANUAL_VELOCITY")->waitStatus, 2u);
}

TEST(SimDescription, RefusesWhatItCannotServe) {
    const std::string head = "<DEVICE hw=\"5\"><Identity><Product code=\"7\"/></Identity>";
    const std::string data = "<ClientList><Client><Data/></Client></ClientList>";
    struct Case {
        std::string text;
        const char* error;
    } cases[] = {
        {"<NOTDEVICE/>", "the root element is not DEVICE"},
        {"<DEVICE hw=\"5\"/>", "no Identity element"},
        {head + "</DEVICE>", "no DICTIONARY element"},
        {head +
             "<DICTIONARY><ITEM name=\"a\" modbusaddress=\"10\" size=\"4\"/><ITEM name=\"b\" "
             "modbusaddress=\"11\" size=\"2\"/></DICTIONARY>" +
             data + "</DEVICE>",
         "'b' and 'a' share register 11"},
        {head +
             "<DICTIONARY><ITEM name=\"a\" size=\"2\"/><ITEM name=\"a\" size=\"2\"/></DICTIONARY></DEVICE>",
         "variable 'a' described twice"},
        {head + "<DICTIONARY><ITEM name=\"a\" fieldbusaddress=\"0x60.zz\" size=\"2\"/></DICTIONARY></DEVICE>",
         "bad fieldbus address of 'a'"},
        {head + "<DICTIONARY><ITEM name=\"a\" size=\"2\"/></DICTIONARY></DEVICE>",
         "no ClientList\\Client\\Data element"},
        {head + "<DICTIONARY><ITEM name=\"Buffer_1\" size=\"4\" modbusaddress=\"5\"/></DICTIONARY>" + data +
             "</DEVICE>",
         "'Buffer_1' must be a domain (size 0)"},
    };
    for (const Case& c : cases) {
        drivesim::SimDriveModel model;
        std::string error;
        EXPECT_FALSE(model.LoadText(c.text, &error)) << c.text;
        EXPECT_EQ(error, c.error);
    }
}

// The enable sequence of the drive object from every state, one controlword at a time.
TEST_F(ModelTest, EnableFromEveryState) {
    struct Case {
        int from;
        std::vector<int> words;
        int reached;
    } cases[] = {
        {0, {0, 6, 7, 15}, 4},  // not ready: the drive gets ready by itself first
        {1, {6, 7, 15}, 4},    {2, {7, 15}, 4},       {3, {15}, 4}, {4, {}, 4},
        {5, {0, 6, 7, 15}, 4}, {7, {0, 6, 7, 15}, 7},  // a fault needs a reset
    };
    for (const Case& c : cases) {
        drivesim::SimDriveModel drive{clock};
        ASSERT_TRUE(drive.Load(drivesimtest::DescriptionPath(), &error)) << error;
        ASSERT_TRUE(drive.ApplySwitch("state=" + std::to_string(c.from), &error)) << error;
        EXPECT_EQ(static_cast<int>(drive.State()), c.from);
        clock.Advance(200);
        for (int word : c.words) {
            EXPECT_EQ(drive.WriteValue("controlword", word), Refusal::None);
            clock.Advance(10);
        }
        EXPECT_EQ(static_cast<int>(drive.State()), c.reached) << "from " << c.from;
        EXPECT_EQ(drive.ReadValue("statusword"),
                  drivesim::cia402::Statusword(static_cast<drivesim::cia402::State>(c.reached), false));
    }
}

TEST_F(ModelTest, HardwareEnableAndStuckState) {
    Apply("no-hw-enable");
    EXPECT_EQ(Value("TestEnableHw"), 0);
    EXPECT_EQ(Value("PhisicalDigitalInputStatus") & (1 << 22), 0);
    for (int word : {6, 7, 15}) model.WriteValue("controlword", word);
    EXPECT_EQ(State(), 3);

    drivesim::SimDriveModel stuck{clock};
    ASSERT_TRUE(stuck.Load(drivesimtest::DescriptionPath(), &error));
    ASSERT_TRUE(stuck.ApplySwitch("state=4", &error) && stuck.ApplySwitch("stuck-state", &error)) << error;
    EXPECT_EQ(stuck.ReadValue("PhisicalDigitalInputStatus").value_or(0) & (1 << 22), 1 << 22);
    EXPECT_EQ(stuck.WriteValue("controlword", 0), Refusal::None);
    clock.Advance(3000);
    EXPECT_EQ(stuck.State(), drivesim::cia402::kOperationEnabled);
}

TEST_F(ModelTest, FaultsLatchUntilResetAndActiveCausesStay) {
    for (int word : {6, 7, 15}) model.WriteValue("controlword", word);
    ASSERT_EQ(State(), 4);
    model.RaiseFault(0x20, false);
    EXPECT_EQ(State(), 6);
    Wait(49);
    EXPECT_EQ(State(), 6);
    Wait(1);
    EXPECT_EQ(State(), 7);
    EXPECT_EQ(Value("DriveAlarm"), 0x20);
    EXPECT_EQ(Value("DriveDynamicAlarm"), 0);
    model.WriteValue("controlword", 15);  // no enabling out of a fault
    EXPECT_EQ(State(), 7);
    model.WriteValue("controlword", 0x80);
    EXPECT_EQ(State(), 1);
    EXPECT_EQ(Value("DriveAlarm"), 0);

    model.RaiseFault(0x01, true);
    Wait(100);
    model.WriteValue("controlword", 0);
    model.WriteValue("controlword", 0x80);
    EXPECT_EQ(State(), 7) << "the cause is still there";
    EXPECT_EQ(Value("DriveAlarm"), 1);
    EXPECT_EQ(Value("DriveDynamicAlarm"), 1);
    model.ClearFaultCause(1);
    model.WriteValue("controlword", 0);
    model.WriteValue("controlword", 0x80);
    EXPECT_EQ(State(), 1);

    model.RaiseWarning(4, true);
    EXPECT_NE(Value("statusword") & 0x80, 0);
    EXPECT_EQ(Value("DriveWarning"), 4);
    model.ClearWarningCause(4);
    EXPECT_EQ(Value("statusword") & 0x80, 0);
    EXPECT_EQ(Value("DriveWarning"), 4) << "kept until a reset";
    model.WriteValue("controlword", 0);
    model.WriteValue("controlword", 0x80);
    EXPECT_EQ(Value("DriveWarning"), 0);
}

TEST_F(ModelTest, ModeDisplayFollowsTheMode) {
    EXPECT_EQ(Value("ModeOfOperationDisplay"), 1);
    EXPECT_EQ(model.WriteValue("ModeOfOperation", 3), Refusal::None);
    Wait(49);
    EXPECT_EQ(Value("ModeOfOperationDisplay"), 1);
    Wait(1);
    EXPECT_EQ(Value("ModeOfOperationDisplay"), 3);
    EXPECT_EQ(model.WriteValue("ModeOfOperation", -127), Refusal::None);
    Wait(50);
    EXPECT_EQ(Value("ModeOfOperationDisplay"), -127);
    EXPECT_EQ(model.WriteValue("ModeOfOperation", 7), Refusal::Range);  // not offered
    EXPECT_EQ(Value("ModbusError"), 3);
    EXPECT_EQ(model.Read("ModeOfOperationDisplay").bytes, std::vector<uint8_t>{0x81});

    Apply("mode-stuck");
    EXPECT_EQ(model.WriteValue("ModeOfOperation", 1), Refusal::None);
    Wait(5000);
    EXPECT_EQ(Value("ModeOfOperationDisplay"), -127);
    EXPECT_EQ(Value("ModeOfOperation"), 1);
}

TEST_F(ModelTest, AccessRefusals) {
    EXPECT_EQ(model.WriteValue("statusword", 1), Refusal::ReadOnly);
    EXPECT_EQ(model.Read("ResetWatchDogTimeOut").refusal, Refusal::WriteOnly);
    EXPECT_EQ(model.WriteValue("NoSuchName", 1), Refusal::NoObject);
    EXPECT_EQ(model.Write("UserDriveName", std::vector<uint8_t>(101, 'x')), Refusal::Length);
    EXPECT_EQ(Value("ModbusError"), 7);
    EXPECT_EQ(model.Write("UserDriveName", {'A', 'x', 'i', 's'}), Refusal::None);
    const auto name = model.Read("UserDriveName").bytes;
    ASSERT_EQ(name.size(), 100u);
    EXPECT_EQ(std::string(name.begin(), name.begin() + 5), std::string("Axis\0", 5));
}

TEST_F(ModelTest, LiveValuesMove) {
    const int64_t a = Value("AnalogInput0"), v = Value("DcBusVoltage");
    Wait(250);
    EXPECT_NE(Value("AnalogInput0"), a);
    EXPECT_NEAR(static_cast<double>(v), 3250, 20);
    // Input 0 toggles every second, input 1 every two.
    const int64_t before = Value("PhisicalDigitalInputStatus");
    Wait(1000);
    EXPECT_EQ((Value("PhisicalDigitalInputStatus") ^ before) & 0x10000, 0x10000);

    // The motor moves only while operation is enabled and holds its position afterwards.
    EXPECT_EQ(Value("ActualVelocity"), 0);
    const int64_t start = Value("ActualPosition");
    for (int word : {6, 7, 15}) model.WriteValue("controlword", word);
    Wait(500);
    EXPECT_GT(Value("ActualVelocity"), 0);
    EXPECT_NE(Value("CurrentActual"), 0);
    const int64_t moved = Value("ActualPosition");
    EXPECT_GT(moved, start);
    model.WriteValue("controlword", 7);
    const int64_t held = Value("ActualPosition");
    Wait(500);
    EXPECT_EQ(Value("ActualPosition"), held);
    EXPECT_EQ(Value("ActualVelocity"), 0);
}

TEST_F(ModelTest, NoAnswerWindow) {
    Apply("no-answer=1000:500");
    EXPECT_TRUE(model.Answers());
    Wait(999);
    EXPECT_TRUE(model.Answers());
    Wait(1);
    EXPECT_FALSE(model.Answers());
    EXPECT_EQ(model.Read("statusword").refusal, Refusal::Silent);
    EXPECT_EQ(model.WriteValue("controlword", 6), Refusal::Silent);
    Wait(499);
    EXPECT_FALSE(model.Answers());
    Wait(1);
    EXPECT_TRUE(model.Answers());
    EXPECT_EQ(State(), 1) << "nothing reached the drive while it was mute";
}

TEST_F(ModelTest, ProgramAreas) {
    EXPECT_EQ(model.WriteValue("offset", 16), Refusal::None);
    EXPECT_EQ(model.WriteValue("RW_Global_AREA", 0x12345678), Refusal::None);
    EXPECT_EQ(Value("RW_Global_AREA"), 0x12345678);
    EXPECT_EQ(Value("RW_Abs"), 0) << "each area is its own";
    EXPECT_EQ(model.WriteValue("offset", 17), Refusal::None);
    EXPECT_EQ(Value("RW_Global_AREA"), 0x00123456);
    EXPECT_EQ(model.WriteValue("offset", 0x10000), Refusal::Range);
    EXPECT_EQ(model.WriteValue("offset", 0xFFFE), Refusal::None);
    EXPECT_EQ(model.WriteValue("RW_Retain_AREA", 1), Refusal::Range);  // runs past the area
}

}  // namespace
