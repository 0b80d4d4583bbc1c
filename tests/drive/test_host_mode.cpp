// The drive object run by the peer engineering tool: the host's start-up information over the
// shared-memory link chooses the offline connect, the host's online information the online one
// (against the simulated drive's communication server), a restart switches between the two, the
// drive's parameters go into the temporary file on the way back offline and into the host's
// file when the host asks; plus the offline save question and the title swap.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "drive/Qd.h"
#include "foundation/MessageIds.h"
#include "foundation/XmlDocument.h"
#include "platform/Host.h"
#include "platform/Messages.h"
#include "tests/drive/DriveObjectTestSupport.h"
#include "tests/engine/FieldbusTestSupport.h"
#include "tests/foundation/PeerToolFixture.h"
#include "tools/drivesim/CommServer.h"
#include "tools/drivesim/SimDriveModel.h"

using namespace drive;
using drivetest::ParameterIn;
using namespace foundation;

namespace {

constexpr int kViewSize = 8192;
constexpr uint16_t kNetwork = 1;
constexpr uint16_t kNode = 5;

std::vector<std::string> FilesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

class FrameSide : public CQdHost {
  public:
    void SetFrameTitle(const std::string& text) override { title = text; }
    std::string FrameTitle() const override { return title; }
    void CloseToolWindows() override { ++toolWindowsClosed; }
    std::string title = "Tunova";
    int toolWindowsClosed = 0;
};

// The vocabularies the program knows, as the program's side of the link lists them.
class KnownVocabularies : public CVocabularyListSource {
  public:
    explicit KnownVocabularies(CQd& qd) : qd_(qd) {}
    int GetVocabularyList(CXmlDocument& list) override {
        return qd_.ConnectionWindow().GetVocabularyList(list);
    }

  private:
    CQd& qd_;
};

class HostMode : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(peer.Created());
        folder = tree.Root() / "host";
        std::filesystem::create_directories(folder);
        qd->SetHost(&frame);
        // The host's parameters file: the simulated drive with its own resolution.
        std::ofstream(folder / "drive.xml")
            << "<DEVICE_PARAMETER Version=\"2\"><DEVICE Hw=\"12\" Type=\"1234\" SwRev=\"2\" HwRev=\"1\" "
               "Descr=\"Simulated servo drive\"><PARAMETERS>"
               "<DATA Name=\"PositionResolution\" Value=\"4096\"/>"
               "</PARAMETERS></DEVICE></DEVICE_PARAMETER>";
    }
    void TearDown() override {
        if (qd->IsConnected()) qd->CloseConnection(true);
        // The host ends the link before the drive object goes.
        qd->PeerLink().m_channel.Close();
        platform::PumpMessages();
        std::string temp;
        qd->GetTempParamFileName(temp);
        std::filesystem::remove(temp);
        if (server) {
            server->Stop();
            unsetenv("TUNOVA_GVTSVR_PORT");
            unsetenv("TUNOVA_GVTCLI_TIMEOUT_MS");
        }
    }

    // The peer starts the program: the link opens and the start-up information is asked for.
    void StartFromPeer(const std::string& paramFile, int create) {
        qd->ConnectionWindow().RefreshChannelList();
        qd->PeerLink().m_communication = &vocabularies;
        ASSERT_EQ(qd->PeerLink().m_channel.Open(peer.ChannelText(kViewSize)), 0)
            << qd->PeerLink().m_channel.LastErrorText();
        ASSERT_TRUE(qd->IsHostMode());
        auto startup = std::async(std::launch::async, [&] { return qd->PeerLink().ReqGetStartupInfo(); });
        std::string text;
        ASSERT_TRUE(peer.Receive(&text));
        EXPECT_EQ(text, "17,<GET_STARTUPINFO Version=\"1\"/>");
        // No product version: the newest release the program knows of the product.
        peer.Send(
            "<STARTUP><NODE_INFO HardwareCode=\"12\" ProductCode=\"1234\" ProducVersion=\"0\" "
            "Title=\"Axis 7\"/><PARAM_FILE Filename=\"" +
            paramFile + "\" Location=\"" + folder.string() + "\" Create=\"" + std::to_string(create) +
            "\"/><DEFINITIONS/></STARTUP>");
        ASSERT_TRUE(startup.get()) << qd->PeerLink().m_lastError;
    }

    // The simulated drive behind the communication server, as the host's online information names it.
    void ServeTheDrive() {
        enginetest::PutInProgramFolder(tree, TUNOVA_LINKORA_LIB, "libLinkora.so");
        model = std::make_shared<drivesim::SimDriveModel>();
        std::string error;
        ASSERT_TRUE(model->Load(drivetest::SimDescription(), &error)) << error;
        server = std::make_unique<drivesim::CommServer>();
        ASSERT_GT(server->Start(0, &error), 0) << error;
        setenv("TUNOVA_GVTSVR_PORT", std::to_string(server->Port()).c_str(), 1);
        setenv("TUNOVA_GVTCLI_TIMEOUT_MS", "5000", 1);
        server->AddNode(kNetwork, kNode);
        server->SetNodeModel(kNetwork, kNode, model);
        // The identity the library reads from a node of the program's maker.
        server->SetValue(kNetwork, kNode, 0x5FFD, 0x0E, 6871, 2);
        server->SetValue(kNetwork, kNode, 0x5FF2, 0x01, 1, 2);
        server->SetValue(kNetwork, kNode, 0x5FFD, 0x01, 1, 2);
        drivesim::CanObject firmware, hardware;
        const std::string fw = "Firmware 1234 v.2.3.1", hw = "Hardware 12 v.1.0.0";
        firmware.data.assign(fw.begin(), fw.end());
        firmware.domain = true;
        hardware.data.assign(hw.begin(), hw.end());
        hardware.domain = true;
        server->SetObject(kNetwork, kNode, 0x100A, 0, firmware);
        server->SetObject(kNetwork, kNode, 0x1009, 0, hardware);
        qd->ConnectionWindow().RefreshChannelList();
    }

    // The connect that asks the host for its online information: the peer names the drive.
    int ConnectOnline() {
        auto connect = std::async(std::launch::async, [&] { return qd->Connect(); });
        std::string text;
        EXPECT_TRUE(peer.Receive(&text));
        EXPECT_EQ(text, "25,<GET_ONLINE_INFO/>");
        peer.Send("<GET_ONLINE_INFO Error=\"\" ChannelType=\"Linkora\" GvtManServer=\"" +
                  platform::HostName() + "\" TargetIP=\"127.0.0.1\" FieldbusType=\"CANopen\" FieldbusID=\"" +
                  std::to_string(kNetwork) + "\" NodeID=\"" + std::to_string(kNode) + "\"/>");
        return connect.get();
    }

    bool OwnerGot(unsigned message) const {
        for (const platform::Message& m : owner.Messages())
            if (m.msg == message) return true;
        return false;
    }

    drivetest::DriveTree tree;
    enginetest::PromptScope prompts;
    std::filesystem::path folder;
    TestPeerTool peer{kViewSize};
    platform::RecordingSink owner;
    FrameSide frame;
    std::shared_ptr<drivesim::SimDriveModel> model;
    std::unique_ptr<drivesim::CommServer> server;
    std::unique_ptr<CQd> qd = std::make_unique<CQd>(owner.Handle());
    KnownVocabularies vocabularies{*qd};
};

}  // namespace

TEST_F(HostMode, OfflineFromTheHostsFileThenSavedBackWhenTheHostAsks) {
    StartFromPeer("drive.xml", 0);
    EXPECT_EQ(qd->HostHardware(), 12);
    EXPECT_EQ(qd->HostSoftware().code, 1234);
    EXPECT_EQ(qd->HostSoftware().version.minor, 3) << "the newest release known";
    EXPECT_EQ(qd->HostParametersFile(), (folder / "drive.xml").string());
    EXPECT_EQ(qd->HostNodeName(), "Axis 7");

    ASSERT_EQ(qd->Connect(), 0) << qd->ConnectionWindow().LastMessage();
    EXPECT_TRUE(qd->IsConnected());
    EXPECT_TRUE(qd->IsOffline());
    EXPECT_EQ(qd->State().hw, 12u);
    EXPECT_EQ(qd->CurrentSet().FindNamed("PositionResolution")->value, 4096u);
    EXPECT_EQ(frame.title, "Tunova -  O F F L I N E - Simulated servo drive");
    EXPECT_EQ(qd->FamilyCode(), 1);
    EXPECT_TRUE(qd->IsProgrammable()) << "the simulated drive has the PLC run state";
    EXPECT_EQ(prompts.Prompts().AskedCount(), 0u);

    // The host asks for its file: the export writes it whole and the host is told.
    std::filesystem::remove(folder / "drive.xml");
    qd->PeerLink().m_paramFileChanged = true;
    auto save = std::async(std::launch::async,
                           [&] { return qd->SaveParamFileForHost((folder / "drive.xml").string()); });
    std::string text;
    ASSERT_TRUE(peer.Receive(&text));
    EXPECT_EQ(text, "19,<SAVE_PARAM_FILE/>");
    peer.Send("<SAVE_PARAM_FILE/>");
    EXPECT_EQ(save.get(), 0);
    EXPECT_FALSE(qd->PeerLink().m_paramFileChanged);
    EXPECT_EQ(ParameterIn(folder / "drive.xml", "PositionResolution"), "4096");
    EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"drive.xml"}) << "no partial file is left";
}

TEST_F(HostMode, ANewFileStartsFromTheHostsProductAndIsMarkedForTheHost) {
    StartFromPeer("new.xml", 1);
    EXPECT_EQ(qd->HostParametersFile(), "") << "the host asked for a file of default values";
    EXPECT_TRUE(qd->PeerLink().m_paramFileChanged);
    ASSERT_EQ(qd->Connect(), 0) << qd->ConnectionWindow().LastMessage();
    EXPECT_TRUE(qd->IsOffline());
    EXPECT_EQ(qd->State().sw, 1234u);
    EXPECT_EQ(qd->State().hw, 12u);
}

// Offline, online through the host's online information, back offline from the drive's own
// parameters, and offline again from the host's file.
TEST_F(HostMode, RestartsSwitchBetweenOfflineAndOnline) {
    ServeTheDrive();
    StartFromPeer("drive.xml", 0);
    ASSERT_EQ(qd->Connect(), 0);
    ASSERT_TRUE(qd->IsOffline());

    // Offline with the flag: online.
    qd->RestartConnection(true);
    EXPECT_TRUE(qd->HostSession().askedOnline);
    EXPECT_FALSE(qd->IsConnected());
    EXPECT_EQ(frame.toolWindowsClosed, 1);
    platform::PumpMessages();
    EXPECT_TRUE(OwnerGot(kFrameConnectSequenceMessage));
    ASSERT_EQ(ConnectOnline(), 0) << qd->ConnectionWindow().LastMessage() << " | "
                                  << qd->ConnectionWindow().Engine()->ErrorText();
    EXPECT_TRUE(qd->IsConnected());
    EXPECT_FALSE(qd->IsOffline());
    EXPECT_TRUE(qd->HostSession().connectedToHostNode);
    EXPECT_EQ(frame.title, "Tunova - CONNECTED TO Axis 7 Simulated servo drive");

    // Online: the drive's parameters go into the temporary file, which the offline connect
    // after the restart starts from and then deletes.
    ASSERT_TRUE(model->Set("PositionResolution", 8192));
    qd->PeerLink().m_paramFileChanged = false;
    std::string temp;
    const int exported = qd->ExportTemporaryParamFile(&temp);
    ASSERT_TRUE(exported == kParamFileDone || exported == kParamFileReadErrors) << exported;
    EXPECT_EQ(ParameterIn(temp, "PositionResolution"), "8192");
    EXPECT_TRUE(qd->PeerLink().m_paramFileChanged) << "the host's file no longer holds the drive's values";
    qd->RestartConnection(true);
    EXPECT_FALSE(qd->HostSession().askedOnline) << "an online connection comes back offline";
    ASSERT_EQ(qd->Connect(), 0);
    EXPECT_TRUE(qd->IsOffline());
    EXPECT_EQ(qd->CurrentSet().FindNamed("PositionResolution")->value, 8192u);
    EXPECT_FALSE(std::filesystem::exists(temp)) << "the handed-over file is deleted after the connect";

    // Offline without the flag: offline again, from the host's file.
    qd->RestartConnection(false);
    EXPECT_FALSE(qd->HostSession().askedOnline);
    ASSERT_EQ(qd->Connect(), 0);
    EXPECT_TRUE(qd->IsOffline());
    EXPECT_EQ(qd->CurrentSet().FindNamed("PositionResolution")->value, 4096u);
    EXPECT_EQ(frame.toolWindowsClosed, 3);
}

TEST_F(HostMode, TheTemporaryFileIsDeletedOnRequest) {
    StartFromPeer("drive.xml", 0);
    std::string temp;
    qd->GetTempParamFileName(temp);
    EXPECT_EQ(std::filesystem::path(temp).filename(), "Axis 7_paramtmp.xml");
    std::ofstream(temp) << "<DEVICE_PARAMETER/>";
    EXPECT_TRUE(qd->DeleteTemporaryParamFile());
    EXPECT_FALSE(std::filesystem::exists(temp));
    EXPECT_TRUE(qd->DeleteTemporaryParamFile()) << "nothing to delete is no failure";
}

// The question after parameters were written offline: outside host mode it saves the file the
// user chooses; for the host the change is only marked; during a file operation nothing is asked.
TEST_F(HostMode, OfflineChangesAskToSaveTheParametersFile) {
    CXmlDocument answer;
    ASSERT_EQ(qd->OpenOfflineConnection(0, nullptr, (folder / "drive.xml").string(), answer), 0)
        << qd->ConnectionWindow().LastMessage();
    ASSERT_TRUE(qd->IsOffline());
    qd->Operations().holdsParameters = true;
    std::optional<std::filesystem::path> chosen;
    qd->SetParameterFileChooser([&](const ParamFileSaveSpec& spec, int* filterIndex) {
        EXPECT_EQ(spec.title, "Save parameters");
        *filterIndex = 0;
        return chosen;
    });
    platform::ScriptedPrompts& asked = prompts.Prompts();
    struct Case {
        const char* what;
        int answer;
        std::optional<std::filesystem::path> file;
        std::vector<std::string> texts;
        bool written;
    };
    const std::filesystem::path saved = folder / "saved.xml";
    const Case cases[] = {
        {"no", platform::IDNO, saved, {"One or more parameters has been modified. Save it?"}, false},
        {"yes, dialog cancelled",
         platform::IDYES,
         std::nullopt,
         {"One or more parameters has been modified. Save it?"},
         false},
        {"yes",
         platform::IDYES,
         saved,
         {"One or more parameters has been modified. Save it?", "Parameters file successfully saved"},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(saved);
        asked.Clear();
        asked.PushAnswer(c.answer);
        asked.PushAnswer(platform::IDOK);
        chosen = c.file;
        qd->AskSaveModifiedParameters();
        std::vector<std::string> texts;
        for (const auto& q : asked.Asked()) texts.push_back(q.text);
        EXPECT_EQ(texts, c.texts);
        EXPECT_EQ(std::filesystem::exists(saved), c.written);
        if (c.written) {
            EXPECT_EQ(ParameterIn(saved, "PositionResolution"), "4096");
        }
    }

    // For the peer tool the host's file takes the change when the program closes.
    asked.Clear();
    qd->SetHostConfigurationFile((folder / "plant.xml").string());
    qd->PeerLink().m_paramFileChanged = false;
    qd->AskSaveModifiedParameters();
    EXPECT_EQ(asked.AskedCount(), 0u);
    EXPECT_TRUE(qd->PeerLink().m_paramFileChanged);
}

TEST_F(HostMode, SwapMainWindowTitleGivesBackTheOldTitle) {
    frame.title = "Tunova - NO DRIVE CONNECTED";
    EXPECT_EQ(qd->SwapMainWindowTitle("Saving..."), "Tunova - NO DRIVE CONNECTED");
    EXPECT_EQ(frame.title, "Saving...");
    EXPECT_EQ(qd->SwapMainWindowTitle("Tunova - NO DRIVE CONNECTED"), "Saving...");
}
