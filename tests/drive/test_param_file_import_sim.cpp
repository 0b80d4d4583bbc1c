// Parameter files against the simulated drive on loopback: a file exported from the drive brings
// changed values back by import and by download, a refused write or a refused start is reported
// and never taken for success, and offline the values go into the connection's parameter set.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "drive/ParamFileImport.h"
#include "drive/Qd.h"
#include "foundation/XmlDocument.h"
#include "platform/Prompt.h"
#include "tests/drive/DriveObjectTestSupport.h"

using namespace drive;
using drivetest::ParameterIn;
using namespace foundation;

namespace {

class ParamFileImportSim : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(drive.model->SetText("UserDriveName", "Axis 1"));
        ASSERT_TRUE(drive.model->Set("MaxVelocity", 3000));
        // The file-transfer start is only started, not waited for: it must be over before the
        // end command comes, however fast the writes between them go.
        drive.model->Timing().commandMs = 1;
        qd = std::make_unique<CQd>(0);
        qd->ConnectionWindow().SetConnectDialog(&dialog);
        file = tree.Root() / "drive.xml";
    }
    void TearDown() override {
        if (qd && qd->IsConnected()) qd->CloseConnection(true);
        qd.reset();
        enginetest::UnregisterPort("paramimport");
    }

    void ConnectOverSerial() {
        std::string error;
        const std::string port = drive.sim.StartPty(&error);
        ASSERT_FALSE(port.empty()) << error;
        enginetest::RegisterPort("paramimport", port);
        qd->ConnectionWindow().SetConnectionString(port + ":timeout 2000");
        ASSERT_EQ(qd->Connect(), 0) << qd->ConnectionWindow().LastMessage();
        ASSERT_FALSE(qd->IsOffline());
        ASSERT_TRUE(qd->Identity().systemManager);
    }
    void Export(const std::filesystem::path& to) {
        ASSERT_EQ(qd->ExportParametersFile(to, kParamExportXml, false, true), kParamFileDone)
            << LastBoxText();
    }
    // The drive's values after someone changed them.
    void ChangeTheDrive() {
        ASSERT_EQ(qd->WriteCell("MaxVelocity", 1234), 0) << qd->LastErrorText();
        ASSERT_TRUE(drive.model->SetText("UserDriveName", "Changed"));
    }
    uint32_t Read(const std::string& name) {
        uint32_t value = 0;
        EXPECT_EQ(qd->ReadCell(name, &value), 0) << name << ": " << qd->LastErrorText();
        return value;
    }
    std::string DriveName() {
        std::string text;
        EXPECT_EQ(qd->UploadString("UserDriveName", text), 0) << qd->LastErrorText();
        return text;
    }
    int Import(bool download) {
        return ImportParameterFile(qd->ParamImportDrive(), file, !download, download);
    }
    std::string LastBoxText() {
        const auto asked = prompts.Prompts().Asked();
        return asked.empty() ? std::string() : asked.back().text;
    }
    std::vector<std::string> Boxes() {
        std::vector<std::string> out;
        for (const auto& q : prompts.Prompts().Asked()) out.push_back(q.kind + ": " + q.text);
        return out;
    }

    drivetest::DriveTree tree;
    enginetest::PromptScope prompts;
    drivetest::SimulatedDrive drive;
    drivetest::FakeConnectDialog dialog;
    std::unique_ptr<CQd> qd;
    std::filesystem::path file;
};

}  // namespace

TEST_F(ParamFileImportSim, ExportedFileImportedBackRestoresTheDrive) {
    ConnectOverSerial();
    Export(file);
    EXPECT_EQ(ParameterIn(file, "MaxVelocity"), "3000");
    {
        // The element formats come from the description, the components from the drive.
        CXmlDocument document;
        ASSERT_EQ(document.Load(file), S_OK);
        const CXmlNode* info = document.Root().FindNode("DEVICE\\INFO");
        const CXmlNode* parameters = document.Root().FindNode("DEVICE\\PARAMETERS");
        const CXmlNode* components = document.Root().FindNode("DEVICE\\COMPONENTS");
        ASSERT_TRUE(info && parameters && components);
        EXPECT_EQ(info->GetAttribute("FormatType"), "1");
        EXPECT_EQ(parameters->GetAttribute("FormatType"), "2");
        EXPECT_EQ(components->Children().size(),
                  qd->Checker().GetComponentsDocument().Root().Children().size());
        EXPECT_FALSE(components->Children().empty());
    }
    ChangeTheDrive();
    ASSERT_EQ(Read("MaxVelocity"), 1234u);

    // The file's information items (type, serial number) are read-only: nothing to report.
    EXPECT_EQ(Import(false), kParamFileDone) << testing::PrintToString(Boxes());
    EXPECT_EQ(Read("MaxVelocity"), 3000u);
    EXPECT_EQ(DriveName(), "Axis 1");
    EXPECT_EQ(prompts.Prompts().AskedCount(), 0u) << testing::PrintToString(Boxes());
}

TEST_F(ParamFileImportSim, DownloadBracketsTheWritesWithTheSystemCommands) {
    ConnectOverSerial();
    Export(file);
    ChangeTheDrive();
    EXPECT_EQ(Import(true), kParamFileDone) << testing::PrintToString(Boxes());
    EXPECT_EQ(Read("MaxVelocity"), 3000u);
    EXPECT_EQ(DriveName(), "Axis 1");

    // An end command that fails is the download's result, though the values are in.
    std::string error;
    ASSERT_TRUE(drive.model->ApplySwitch("fail=SYS_CV_DW_PARAM_FILE_END", &error)) << error;
    ChangeTheDrive();
    const int rc = Import(true);
    EXPECT_NE(rc, kParamFileDone);
    EXPECT_NE(rc, kParamFileWriteErrors);
    EXPECT_EQ(Read("MaxVelocity"), 3000u);
}

// A write the drive refuses is listed and the rest is restored; the result is not success.
TEST_F(ParamFileImportSim, RefusedWriteIsReportedAndTheRestRestored) {
    ConnectOverSerial();
    Export(file);
    ChangeTheDrive();
    std::string error;
    ASSERT_TRUE(drive.model->ApplySwitch("refuse-write=MaxVelocity", &error)) << error;
    for (bool download : {false, true}) {
        prompts.Prompts().Clear();
        EXPECT_EQ(Import(download), kParamFileWriteErrors) << download;
        EXPECT_EQ(Read("MaxVelocity"), 1234u);
        EXPECT_EQ(DriveName(), "Axis 1");
        const std::string report = LastBoxText();
        EXPECT_EQ(report.rfind("Write errors report:\n'Maximum velocity' write error: ", 0), 0u) << report;
    }
}

// A refused start leaves the drive untouched and ends the download with the command's code.
TEST_F(ParamFileImportSim, RefusedStartWritesNothing) {
    ConnectOverSerial();
    Export(file);
    ChangeTheDrive();
    std::string error;
    ASSERT_TRUE(drive.model->ApplySwitch("refuse-always=SYS_CV_DW_PARAM_FILE_START", &error)) << error;
    const int rc = Import(true);
    EXPECT_NE(rc, kParamFileDone);
    EXPECT_NE(rc, kParamFileWriteErrors);
    EXPECT_EQ(Read("MaxVelocity"), 1234u);
    EXPECT_EQ(DriveName(), "Changed");
}

// Offline: no drive checks and no start or end procedure; the values go into the connection's
// parameter set, which the next export reads back.
TEST_F(ParamFileImportSim, DownloadIntoAnOfflineConnection) {
    const std::filesystem::path saved = tree.Root() / "saved.xml";
    std::ofstream(saved) << "<DEVICE_PARAMETER Version=\"2\"><DEVICE Hw=\"12\" Type=\"1234\" SwRev=\"2\" "
                            "HwRev=\"1\" Descr=\"Simulated servo drive\"><PARAMETERS>"
                            "<DATA Name=\"PositionResolution\" Value=\"4096\"/>"
                            "<DATA Name=\"MaxVelocity\" Value=\"100\"/>"
                            "</PARAMETERS></DEVICE></DEVICE_PARAMETER>";
    CXmlDocument configuration;
    ASSERT_EQ(qd->OpenOfflineConnection(0, nullptr, saved.string(), configuration), 0)
        << qd->ConnectionWindow().LastMessage();
    ASSERT_TRUE(qd->IsOffline());
    qd->Identity().systemManager = true;  // as a drive connected before would have left it

    std::ofstream(file) << "<DEVICE_PARAMETER Version=\"2\"><DEVICE Hw=\"12\" Type=\"1234\" "
                           "Descr=\"Simulated servo drive\"><COMPATIBILITY FormatType=\"1\">"
                           "<DATA CmpKey=\"999\" MinRev=\"9\"/></COMPATIBILITY><PARAMETERS>"
                           "<DATA Name=\"PositionResolution\" Value=\"8192\"/>"
                           "<DATA Name=\"MaxVelocity\" Value=\"2500\"/>"
                           "</PARAMETERS></DEVICE></DEVICE_PARAMETER>";
    // The file lacks most parameters: the download asks once.
    prompts.Prompts().PushAnswer(6);
    EXPECT_EQ(Import(true), kParamFileDone) << testing::PrintToString(Boxes());
    ASSERT_EQ(prompts.Prompts().AskedCount(), 1u);
    EXPECT_EQ(prompts.Prompts().Asked()[0].kind, "MessageDialog");
    EXPECT_EQ(Read("PositionResolution"), 8192u);
    EXPECT_EQ(Read("MaxVelocity"), 2500u);

    const std::filesystem::path again = tree.Root() / "again.xml";
    Export(again);
    EXPECT_EQ(ParameterIn(again, "MaxVelocity"), "2500");
    EXPECT_EQ(drive.model->ReadValue("MaxVelocity"), 3000) << "the simulated drive was never reached";
}

// Without a system manager the download starts with the initialisation writes; a drive that lacks
// one of them refuses the download before any parameter is written.
TEST_F(ParamFileImportSim, InitialisationFailureWritesNothing) {
    std::string error;
    ASSERT_TRUE(drive.model->ApplySwitch("no-system-manager", &error)) << error;
    std::string port = drive.sim.StartPty(&error);
    ASSERT_FALSE(port.empty()) << error;
    enginetest::RegisterPort("paramimport", port);
    qd->ConnectionWindow().SetConnectionString(port + ":timeout 2000");
    ASSERT_EQ(qd->Connect(), 0) << qd->ConnectionWindow().LastMessage();
    ASSERT_FALSE(qd->Identity().systemManager);
    Export(file);
    ChangeTheDrive();
    prompts.Prompts().Clear();
    EXPECT_EQ(Import(true), 3);
    EXPECT_EQ(Read("MaxVelocity"), 1234u);
    const auto asked = prompts.Prompts().Asked();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].kind, kMessageDetailsPrompt);
    EXPECT_EQ(asked[0].args.at(1), "Init procedure write error: nothing has been downloaded!");
    // The import writes no initialisation values and goes through.
    EXPECT_EQ(Import(false), kParamFileDone);
    EXPECT_EQ(Read("MaxVelocity"), 3000u);
}

TEST(ParamFileInitValues, ReadFromTheDescriptionsList) {
    CXmlDocument description;
    ASSERT_EQ(
        description.LoadXml("<Data><DRIVE_SETUP><LIST Name=\"Other\"><ELEMENT Name=\"X\" Value=\"1\"/></LIST>"
                            "<LIST Name=\"InitValues\">"
                            "<ELEMENT Name=\"BrakeType\" Value=\"3\"/>"
                            "<ELEMENT Name=\"Polarity\" Value=\"-1\" Flag=\"1\"/>"
                            "<ELEMENT Value=\"9\"/>"
                            "<ELEMENT Name=\"HoldCurrent\" Value=\"0x20\" Flag=\"0x0\"/>"
                            "</LIST></DRIVE_SETUP></Data>"),
        S_OK);
    const std::vector<ParamInitValue> values = ReadInitValues(&description.Root());
    ASSERT_EQ(values.size(), 3u) << "an entry without a name is left out";
    EXPECT_EQ(values[0].name, "BrakeType");
    EXPECT_EQ(values[0].value, 3);
    EXPECT_EQ(values[0].flag, 0);
    EXPECT_EQ(values[1].value, -1);
    EXPECT_EQ(values[1].flag, 1);
    EXPECT_EQ(values[2].value, 0x20);
    EXPECT_TRUE(ReadInitValues(nullptr).empty());
}
