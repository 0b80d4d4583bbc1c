// The drive object against the simulated drive on loopback: it connects through its connection
// window, identifies the drive, loads the configuration for its identity and reads and writes
// by name; offline it works from a saved parameters file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "drive/Qd.h"
#include "engine/Main.h"
#include "foundation/ProgramSwitches.h"
#include "foundation/XmlDocument.h"
#include "tests/drive/DriveObjectTestSupport.h"

using namespace drive;
using namespace foundation;

namespace {

constexpr uint32_t kLoopback = 0x7F000001;

class DriveEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(drive.model->SetText("UserDriveName", "Axis 1"));
        qd = std::make_unique<CQd>(0);
        qd->ConnectionWindow().SetConnectDialog(&dialog);
    }
    void TearDown() override {
        qd.reset();
        enginetest::UnregisterPort("driveobject");
        g_MirelBox = false;
    }

    std::string StartPty() {
        std::string error;
        const std::string port = drive.sim.StartPty(&error);
        EXPECT_FALSE(port.empty()) << error;
        enginetest::RegisterPort("driveobject", port);
        return port;
    }
    int StartBox() {
        std::string error;
        const int port = drive.sim.StartTcp(0, &error);
        EXPECT_GT(port, 0) << error;
        g_MirelBox = true;
        CConnectionRecord& r = qd->ConnectionWindow().Record();
        r.bcAddress = kLoopback;
        r.boxPort = static_cast<uint16_t>(port);
        return port;
    }
    void ExpectIdentified() {
        EXPECT_TRUE(qd->IsConnected());
        EXPECT_FALSE(qd->IsOffline());
        EXPECT_EQ(qd->State().sw, 1234u);
        EXPECT_EQ(qd->State().hw, 12u);
        EXPECT_EQ(qd->State().description, "Simulated servo drive");
        EXPECT_EQ(qd->State().group, 1);
        EXPECT_EQ(qd->State().className, "servo");
        EXPECT_EQ(qd->State().busType, 2);
        ASSERT_NE(qd->DriveData(), nullptr);
        EXPECT_NE(qd->DriveData()->FindNode("SystemManager"), nullptr);
        EXPECT_EQ(prompts.Prompts().AskedCount(), 0u);
    }
    // Reads and writes by name, with units and with a factor, and the text items.
    void ReadAndWriteByName() {
        uint32_t value = 0;
        ASSERT_EQ(qd->ReadCell("PositionResolution", &value), 0) << qd->LastErrorText();
        EXPECT_EQ(value, 10000u);
        ASSERT_EQ(qd->WriteUnitValue(CUnitConversion::kVelocity, "MaxVelocity", 1234.6), 0)
            << qd->LastErrorText();
        ASSERT_EQ(qd->ReadCell("MaxVelocity", &value), 0);
        EXPECT_EQ(value, 1235u);
        CParamDw cell;
        ASSERT_EQ(qd->WriteEditValue("MaxCurrent", "2.5", "M", 2, &cell), 0) << qd->LastErrorText();
        EXPECT_EQ(cell.value, 1u);
        ASSERT_EQ(qd->ReadCell("MaxCurrent", &value), 0);
        EXPECT_EQ(value, 1u);

        EXPECT_EQ(qd->ReadCell("NoSuchItem", &value), -303);
        EXPECT_EQ(qd->LastErrorText(), "Internal error: cell 'NoSuchItem' not found");
        std::string text;
        qd->GetLastErrorText("", text, qd->ResultCode());
        EXPECT_EQ(text, "cell item not found");

        EXPECT_TRUE(qd->Identity().systemManager);
        EXPECT_EQ(qd->Identity().hardwareRevision,
                  static_cast<int32_t>(*drive.model->ReadValue("rd_hw_rev")));
    }

    drivetest::DriveTree tree;
    enginetest::PromptScope prompts;
    drivetest::SimulatedDrive drive;
    drivetest::FakeConnectDialog dialog;
    std::unique_ptr<CQd> qd;
};

TEST_F(DriveEndToEnd, SerialConnectIdentifyReadWriteCloseAndReconnect) {
    const std::string port = StartPty();
    qd->ConnectionWindow().SetConnectionString(port + ":timeout 1000");
    ASSERT_EQ(qd->Connect(), 0) << qd->ConnectionWindow().LastMessage();
    EXPECT_EQ(dialog.runs, 0) << "a connection string connects without the dialog";
    ExpectIdentified();
    ReadAndWriteByName();
    std::string connection;
    qd->GetConnectionText(connection);
    EXPECT_EQ(connection, port);

    // Background reads paused and resumed around a read.
    EXPECT_EQ(qd->PauseCyclicReads(), 0) << qd->ConnectionWindow().Engine()->ErrorText();
    EXPECT_TRUE(qd->CyclicReadsPaused());
    uint32_t paused = 0;
    EXPECT_EQ(qd->ReadCell("PositionResolution", &paused), 0);
    EXPECT_EQ(qd->ResumeCyclicReads(), 0);
    EXPECT_FALSE(qd->CyclicReadsPaused());

    qd->CloseConnection(false);
    EXPECT_FALSE(qd->IsConnected());
    qd->ConnectionWindow().SetConnectionString(port + ":timeout 1000");
    ASSERT_EQ(qd->Connect(), 0) << qd->ConnectionWindow().LastMessage();
    uint32_t value = 0;
    EXPECT_EQ(qd->ReadCell("PositionResolution", &value), 0) << qd->LastErrorText();
    qd->CloseConnection(true);
}

TEST_F(DriveEndToEnd, BoxConnectOverTcp) {
    StartBox();
    qd->ConnectionWindow().SetConnectionString("MIREL:timeout 1000");
    ASSERT_EQ(qd->Connect(), 0) << qd->ConnectionWindow().LastMessage();
    ExpectIdentified();
    ReadAndWriteByName();
    std::string connection;
    qd->GetConnectionText(connection);
    EXPECT_EQ(connection, "Mirel 127.0.0.1");
    qd->CloseConnection(true);
}

TEST_F(DriveEndToEnd, LostDriveIsReportedAndTheObjectStaysUsable) {
    const std::string port = StartPty();
    qd->ConnectionWindow().SetConnectionString(port + ":timeout 300");
    ASSERT_EQ(qd->Connect(), 0);
    std::string error;
    ASSERT_TRUE(drive.model->ApplySwitch("no-answer", &error)) << error;
    uint32_t value = 0;
    const int rc = qd->ReadCell("PositionResolution", &value);
    EXPECT_NE(rc, 0);
    EXPECT_EQ(qd->LastErrorText().rfind("Read error on 'PositionResolution',", 0), 0u) << qd->LastErrorText();

    // Closed and asked again: the mute drive is reported, the dialog cancels, nothing hangs.
    qd->CloseConnection(false);
    prompts.Prompts().Clear();
    dialog.next = 2;
    qd->ConnectionWindow().SetConnectionString(port + ":timeout 300");
    EXPECT_EQ(qd->Connect(), 2);
    EXPECT_FALSE(qd->IsConnected());
    ASSERT_GE(prompts.Prompts().AskedCount(), 1u);
    EXPECT_EQ(prompts.Prompts().Asked()[0].text.rfind("Error connecting the node:\r\n\r\n", 0), 0u);
    EXPECT_EQ(dialog.runs, 1);
    qd->CloseConnection(true);
}

TEST_F(DriveEndToEnd, OfflineFromASavedParametersFile) {
    const std::filesystem::path file = tree.Root() / "saved.xml";
    std::ofstream(file)
        << "<DEVICE_PARAMETER Version=\"2\"><DEVICE Hw=\"12\" Type=\"1234\" SwRev=\"2\" HwRev=\"1\" "
           "Descr=\"Simulated servo drive\"><PARAMETERS>"
           "<DATA Name=\"PositionResolution\" Value=\"4096\"/>"
           "<DATA Name=\"CurrentActual\" Value=\"-2\"/>"
           "<DATA Name=\"DcBusVoltage\" Value=\"65534\"/>"
           "</PARAMETERS></DEVICE></DEVICE_PARAMETER>";
    CXmlDocument configuration;
    ASSERT_EQ(qd->OpenOfflineConnection(0, nullptr, file.string(), configuration), 0)
        << qd->ConnectionWindow().LastMessage();
    EXPECT_TRUE(qd->IsConnected());
    EXPECT_TRUE(qd->IsOffline());
    EXPECT_EQ(qd->State().sw, 1234u);
    EXPECT_EQ(qd->ConnectionWindow().Record().parametersFile, file.string());
    uint32_t value = 0;
    ASSERT_EQ(qd->ReadCell("PositionResolution", &value), 0) << qd->LastErrorText();
    EXPECT_EQ(value, 4096u);
    std::string connection = "x";
    qd->GetConnectionText(connection);
    EXPECT_EQ(connection, "");

    // A group of 2-byte cells widened into 32 bits, and an item the drive does not have.
    engine::CMain& engine = *qd->ConnectionWindow().Engine();
    const int group = engine.GroupCreate(0, 0, 0, 0);
    ASSERT_GE(group, 0);
    CParamDw temperature, voltage, missing;
    // The engine answers with the variable's id.
    ASSERT_GE(qd->AddCellToGroup(group, "CurrentActual", temperature, 0x92), 0);
    ASSERT_GE(qd->AddCellToGroup(group, "DcBusVoltage", voltage, 0), 0);
    EXPECT_EQ(qd->AddCellToGroup(group, "NoSuchItem", missing, 0x91), -303);
    EXPECT_EQ(missing.status, kCellNonexistent);
    EXPECT_EQ(missing.userTag, 0x91u);
    EXPECT_EQ(missing.sizeSign, 0) << "nothing asked of the engine beyond the dictionary";
    EXPECT_EQ(temperature.sizeSign, 5);
    EXPECT_EQ(voltage.sizeSign, 4);
    ASSERT_EQ(qd->ExecuteGroup(group, 0, 0), 0) << engine.ErrorText();
    EXPECT_EQ(static_cast<int32_t>(temperature.value), -2);
    EXPECT_EQ(voltage.value, 65534u);
    EXPECT_EQ(engine.GroupRemove(group), 0);

    qd->CloseConnection(true);

    // A file that is not a parameters file: the user is told, nothing is connected.
    std::ofstream(tree.Root() / "bad.xml") << "<DEVICE_PARAMETER/>";
    prompts.Prompts().Clear();
    EXPECT_EQ(qd->OpenOfflineConnection(0, nullptr, (tree.Root() / "bad.xml").string(), configuration), 1);
    EXPECT_FALSE(qd->IsConnected());
    ASSERT_GE(prompts.Prompts().AskedCount(), 1u);
    EXPECT_EQ(prompts.Prompts().Asked()[0].text, "Invalid parameters file: missing root node DEVICE");
}

}  // namespace
