// The drive object's answers to the peer engineering tool over the shared-memory link, its save
// of the host's parameters file and its request for the host's online information.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <vector>

#include "drive/Qd.h"
#include "drive/QdPeer.h"
#include "foundation/MessageIds.h"
#include "foundation/XmlDocument.h"
#include "platform/Host.h"
#include "platform/Messages.h"
#include "tests/drive/DriveObjectTestSupport.h"
#include "tests/engine/FieldbusTestSupport.h"
#include "tests/foundation/PeerToolFixture.h"

using namespace drive;
using namespace foundation;

namespace {

constexpr int kViewSize = 4096;

std::string ReadFile(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A window that records what was posted to it.
class Recorder : public platform::MessageSink {
  public:
    Recorder() : handle(platform::RegisterSink(this)) {}
    ~Recorder() override { platform::UnregisterSink(handle); }
    void OnMessage(const platform::Message& message) override { received.push_back(message.msg); }
    platform::WindowHandle handle;
    std::vector<unsigned> received;
};

class PeerAnswers : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(peer.Created());
        folder = tree.Root() / "host";
        std::filesystem::create_directories(folder);
    }
    void TearDown() override {
        // The host ends the link before the drive object goes: the farewell the link writes on
        // destruction does not take the link's lock, and the sanitizer cannot see that the last
        // answer was taken (the peer's semaphores are separate mappings in this one process).
        qd->PeerLink().m_channel.Close();
        platform::PumpMessages();
    }

    void OpenLink(bool fileMode) {
        if (fileMode) qd->SetHostConfigurationFile((folder / "plant.xml").string());
        ASSERT_EQ(qd->PeerLink().m_channel.Open(peer.ChannelText(kViewSize)), 0)
            << qd->PeerLink().m_channel.LastErrorText();
    }
    // The host's request as the peer sends it, and the program's answer.
    std::string Ask(int code, const std::string& text = "") {
        peer.Send(std::to_string(code) + "," + text);
        std::string answer;
        EXPECT_TRUE(peer.Receive(&answer)) << code;
        return answer;
    }

    drivetest::DriveTree tree;
    enginetest::PromptScope prompts;
    std::filesystem::path folder;
    // The peer's objects outlive the drive object, which tells the peer when it goes.
    TestPeerTool peer{kViewSize};
    Recorder frame;
    std::unique_ptr<CQd> qd = std::make_unique<CQd>(frame.handle);
};

}  // namespace

TEST_F(PeerAnswers, HostCodesInFileMode) {
    OpenLink(true);
    ASSERT_TRUE(qd->IsHostFileMode());
    struct Case {
        int code;
        const char* answer;
    };
    const Case cases[] = {
        {16, "<GETINFO Error=\"\" Version=\"1\" />"},
        {17, "unknown code: 17"},
        {21, "unknown code: 21"},
        {23, "unknown code: 23"},
        {24, "<SET_FOCUS Error=\"\" TheHwnd=\"\" />"},
        {99, "unknown code: 99"},
        {-5, "unknown code: -5"},
    };
    for (const Case& c : cases) EXPECT_EQ(Ask(c.code, "<ANY/>"), c.answer) << c.code;
}

TEST_F(PeerAnswers, CanEndConfigureReportsPageChangesAndWhatChanged) {
    OpenLink(true);
    struct Case {
        bool page, paramFile, configuration;
        const char* answer;
    };
    const Case cases[] = {
        {false, false, false,
         "<CAN_END_CONFIGURE Error=\"\" ParamFileDataChanged=\"0\" ConfQzDataChanged=\"0\"/>"},
        {false, true, false,
         "<CAN_END_CONFIGURE Error=\"\" ParamFileDataChanged=\"1\" ConfQzDataChanged=\"0\"/>"},
        {false, false, true,
         "<CAN_END_CONFIGURE Error=\"\" ParamFileDataChanged=\"0\" ConfQzDataChanged=\"1\"/>"},
        {true, true, true,
         "<CAN_END_CONFIGURE Error=\"You have modified some Tunova parameters.\nPlease confirm or cancel the "
         "current page.\" ParamFileDataChanged=\"1\" ConfQzDataChanged=\"1\"/>"},
    };
    for (const Case& c : cases) {
        {
            const auto lock = qd->LockPeerState();
            qd->PeerLink().m_unconfirmedPageChanges = c.page;
            qd->PeerLink().m_paramFileChanged = c.paramFile;
            qd->PeerLink().m_configurationChanged = c.configuration;
        }
        const std::string answer = Ask(20);
        EXPECT_EQ(answer, c.answer);
        CXmlDocument document;
        EXPECT_EQ(document.LoadXml(answer), S_OK) << "the host reads the answer as XML";
    }
}

TEST_F(PeerAnswers, CloseAndSaveArePostedToTheWindows) {
    OpenLink(true);
    EXPECT_EQ(Ask(18), "");
    EXPECT_EQ(Ask(19), "");
    // Posted, never handled on the link's thread.
    EXPECT_TRUE(frame.received.empty());
    platform::PumpMessages();
    EXPECT_EQ(frame.received,
              (std::vector<unsigned>{platform::WM_CLOSE, foundation::kMainDlgSaveParamFileForHostMessage}));

    // With the main dialog known, the save request goes to it.
    Recorder dialog;
    qd->SetMainDialogWindow(dialog.handle);
    frame.received.clear();
    EXPECT_EQ(Ask(19), "");
    platform::PumpMessages();
    EXPECT_TRUE(frame.received.empty());
    EXPECT_EQ(dialog.received, std::vector<unsigned>{foundation::kMainDlgSaveParamFileForHostMessage});
    qd->SetMainDialogWindow(0);
}

TEST_F(PeerAnswers, ConfigurationIsHandedOverAndTheChangeMarkCleared) {
    OpenLink(true);
    CXmlDocument& configuration = qd->PeerLink().m_configuration;
    auto lock = qd->LockPeerState();
    ASSERT_EQ(configuration.LoadXml(
                  "<SET_PELMORA_CONFIGURATION><AXIS Name=\"X\" Node=\"3\"/></SET_PELMORA_CONFIGURATION>"),
              S_OK);
    qd->PeerLink().m_configurationChanged = true;
    lock.unlock();
    const std::string answer = Ask(22);
    CXmlDocument back;
    ASSERT_EQ(back.LoadXml(answer), S_OK) << answer;
    EXPECT_EQ(back.Root().Name(), "GET_PELMORA_CONFIGURATION");
    const CXmlNode* axis = back.Root().FindNode("AXIS");
    ASSERT_NE(axis, nullptr);
    EXPECT_EQ(axis->GetAttribute("Node"), "3");
    lock.lock();
    EXPECT_FALSE(qd->PeerLink().m_configurationChanged);

    // A document too deep to write: an error for the host, and the change is still to be taken.
    CXmlNode* node = &configuration.Root();
    for (int i = 0; i < CXmlDocument::kMaxDepth + 2; ++i) node = node->AddChild("deep");
    qd->PeerLink().m_configurationChanged = true;
    lock.unlock();
    EXPECT_EQ(Ask(22), "<GET_PELMORA_CONFIGURATION Error=\"1\"/>");
    lock.lock();
    EXPECT_TRUE(qd->PeerLink().m_configurationChanged);
}

TEST_F(PeerAnswers, SaveParamFileForHostInFileMode) {
    OpenLink(true);
    const std::filesystem::path hostFile = folder / "params.xml";
    const std::filesystem::path tempFile = folder / "node_paramtmp.xml";
    int exports = 0;
    int result = 0;
    qd->SetHostParamFileHooks(
        [&](const std::string& file) {
            ++exports;
            if (result == 0 || result == 1)
                std::ofstream(file) << "<DEVICE_PARAMETER Version=\"2\" n=\"" << exports << "\"/>";
            return result;
        },
        [&] { return tempFile.string(); });

    struct Case {
        int exportResult;
        bool tempExists;
        int rc;
        const char* text;
        bool changedAfter;
    };
    const Case cases[] = {
        {0, true, 0, "<SAVE_PARAM_FILE/>", false},
        {1, false, 0, "<SAVE_PARAM_FILE/>", false},
        {4097, true, 4097, "<SAVE_PARAM_FILE Error=\"Parameters file not saved\"/>", true},
        {4117, false, 4117, "<SAVE_PARAM_FILE Error=\"Parameters file not saved\"/>", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.exportResult);
        std::filesystem::remove(hostFile);
        std::filesystem::remove(tempFile);
        if (c.tempExists) std::ofstream(tempFile) << "old";
        qd->PeerLink().m_paramFileChanged = true;
        result = c.exportResult;
        std::string text;
        EXPECT_EQ(qd->SaveParamFileForHost(hostFile.string(), &text), c.rc);
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(qd->PeerLink().m_paramFileChanged, c.changedAfter);
        if (!c.tempExists)
            EXPECT_FALSE(std::filesystem::exists(tempFile)) << "no temporary file is made up";
        else if (c.rc == 0)
            EXPECT_EQ(ReadFile(tempFile), ReadFile(hostFile)) << "the temporary file is the saved one";
        else
            EXPECT_EQ(ReadFile(tempFile), "old");
    }
    // In file mode nothing goes to the host.
    EXPECT_EQ(peer.ProgramEventCount(), 0);

    // Without an export the host learns that nothing was saved.
    qd->SetHostParamFileHooks(nullptr, nullptr);
    std::string text;
    EXPECT_NE(qd->SaveParamFileForHost(hostFile.string(), &text), 0);
    EXPECT_EQ(text, "<SAVE_PARAM_FILE Error=\"Parameters file not saved\"/>");
}

TEST_F(PeerAnswers, SaveParamFileForHostTellsTheLiveHost) {
    OpenLink(false);
    ASSERT_FALSE(qd->IsHostFileMode());
    const std::filesystem::path hostFile = folder / "params.xml";
    int result = 0;
    qd->SetHostParamFileHooks(
        [&](const std::string& file) {
            if (result == 0) std::ofstream(file) << "<DEVICE_PARAMETER Version=\"2\"/>";
            return result;
        },
        [&] { return (folder / "absent_paramtmp.xml").string(); });
    for (const int r : {0, 4097}) {
        result = r;
        auto save =
            std::async(std::launch::async, [&] { return qd->SaveParamFileForHost(hostFile.string()); });
        std::string text;
        ASSERT_TRUE(peer.Receive(&text));
        EXPECT_EQ(text, r == 0 ? "19,<SAVE_PARAM_FILE/>"
                               : "19,<SAVE_PARAM_FILE Error=\"Parameters file not saved\"/>");
        peer.Send("<SAVE_PARAM_FILE/>");
        EXPECT_EQ(save.get(), r);
    }
}

TEST(OnlineInfo, ConnectionStringFromTheHostsAnswer) {
    const std::string host = "bench7";
    struct Case {
        const char* answer;
        const char* connection;
    };
    const Case cases[] = {
        {"<GET_ONLINE_INFO Error=\"\" ChannelType=\"Linkora\" GvtManServer=\"bench7\" TargetIP=\"10.0.0.5\" "
         "FieldbusType=\"CANopen\" FieldbusID=\"1\" NodeID=\"3\"/>",
         "Linkora:TCPIP 10.0.0.5,Can 1,Node 3, Timeout 1000"},
        {"<GET_ONLINE_INFO ChannelType=\"LINKORA\" GvtManServer=\"BENCH7\" TargetIP=\"10.0.0.9\" "
         "FieldbusType=\"Ethercat\" FieldbusID=\"0\" NodeID=\"12\"/>",
         "Linkora:TCPIP 10.0.0.9,Ethercat 0,Node 12, Timeout 1000"},
        {"<GET_ONLINE_INFO ChannelType=\"Linkora\" GvtManServer=\"bench7\" TargetIP=\"1.2.3.4\" "
         "FieldbusType=\"can\" FieldbusID=\"2\" NodeID=\"1\"/>",
         "Linkora:TCPIP 1.2.3.4,Can 2,Node 1, Timeout 1000"},
        // An error, another channel, another server, or a missing part: no connection string.
        {"<GET_ONLINE_INFO Error=\"busy\" ChannelType=\"Linkora\" GvtManServer=\"bench7\" "
         "TargetIP=\"10.0.0.5\" "
         "FieldbusType=\"CANopen\" FieldbusID=\"1\" NodeID=\"3\"/>",
         ""},
        {"<GET_ONLINE_INFO ChannelType=\"Serial\" GvtManServer=\"bench7\" TargetIP=\"10.0.0.5\" "
         "FieldbusType=\"CANopen\" FieldbusID=\"1\" NodeID=\"3\"/>",
         ""},
        {"<GET_ONLINE_INFO ChannelType=\"Linkora\" GvtManServer=\"other\" TargetIP=\"10.0.0.5\" "
         "FieldbusType=\"CANopen\" FieldbusID=\"1\" NodeID=\"3\"/>",
         ""},
        {"<GET_ONLINE_INFO ChannelType=\"Linkora\" GvtManServer=\"bench7\" TargetIP=\"10.0.0.5\" "
         "FieldbusType=\"CANopen\" FieldbusID=\"1\" NodeID=\"\"/>",
         ""},
        {"<GET_ONLINE_INFO ChannelType=\"Linkora\" GvtManServer=\"bench7\" TargetIP=\"10.0.0.5\" "
         "FieldbusID=\"1\" NodeID=\"3\"/>",
         ""},
        {"<GET_ONLINE_INFO ChannelType=\"Linkora\" GvtManServer=\"bench7\" FieldbusType=\"CANopen\" "
         "FieldbusID=\"1\" NodeID=\"3\"/>",
         ""},
        {"not an answer", ""},
        {"", ""},
        {"<GET_ONLINE_INFO ChannelType=\"Linkora\" GvtManServer=\"bench7\" TargetIP=\"10.0.0.5\"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(OnlineInfoConnectionString(c.answer, host), c.connection) << c.answer;
    // A machine without a name matches no server.
    EXPECT_EQ(OnlineInfoConnectionString(
                  "<GET_ONLINE_INFO ChannelType=\"Linkora\" GvtManServer=\"\" TargetIP=\"a\" "
                  "FieldbusType=\"b\" FieldbusID=\"1\" NodeID=\"3\"/>",
                  ""),
              "");
}

TEST_F(PeerAnswers, OnlineInfoFromTheLiveHostSetsTheConnection) {
    enginetest::PutInProgramFolder(tree, TUNOVA_LINKORA_LIB, "libLinkora.so");
    CQdsWnd& wnd = qd->ConnectionWindow();
    wnd.RefreshChannelList();
    ASSERT_NE(wnd.Engine(), nullptr);
    const int linkora = drivetest::FindChannel(wnd, "Linkora");
    ASSERT_GE(linkora, 0);
    const std::string host = platform::HostName();
    ASSERT_FALSE(host.empty());

    // Without a link nothing is asked.
    EXPECT_FALSE(qd->RequestOnlineInfo());
    EXPECT_EQ(peer.ProgramEventCount(), 0);

    OpenLink(false);
    const std::string refused = "<GET_ONLINE_INFO Error=\"offline project\"/>";
    const std::string example =
        "<GET_ONLINE_INFO Error=\"\" ChannelType=\"Linkora\" GvtManServer=\"" + host +
        "\" TargetIP=\"10.0.0.5\" FieldbusType=\"CANopen\" FieldbusID=\"1\" NodeID=\"3\"/>";
    const uint32_t before = wnd.Record().channelIndex;
    for (const std::string& answer : {refused, example}) {
        auto request = std::async(std::launch::async, [&] { return qd->RequestOnlineInfo(); });
        std::string text;
        ASSERT_TRUE(peer.Receive(&text));
        EXPECT_EQ(text, "25,<GET_ONLINE_INFO/>");
        peer.Send(answer);
        EXPECT_EQ(request.get(), answer == example);
        if (answer == refused) {
            EXPECT_EQ(wnd.Record().channelIndex, before) << "no connection string set";
        }
    }
    const CConnectionRecord& r = wnd.Record();
    EXPECT_EQ(r.channelIndex, static_cast<uint32_t>(linkora));
    EXPECT_EQ(r.channelType, connection_kind::kLibrary);
    EXPECT_EQ(r.bridgeAddress, 0x0A000005u);
    EXPECT_EQ(r.bridgeNodeId, 3);
    EXPECT_EQ(r.timeout, 1000);
    EXPECT_EQ(wnd.PendingConnectionString(), "Linkora:TCPIP 10.0.0.5,Can 1,Node 3, Timeout 1000")
        << "the connect that follows takes it instead of asking";
}

TEST_F(PeerAnswers, OnlineInfoInFileModeIsNotAvailable) {
    qd->ConnectionWindow().RefreshChannelList();
    ASSERT_NE(qd->ConnectionWindow().Engine(), nullptr);
    qd->SetHostConfigurationFile((folder / "plant.xml").string());
    std::string text;
    EXPECT_FALSE(qd->RequestOnlineInfo(&text));
    EXPECT_EQ(text, "<GET_ONLINE_INFO Error=\"Not available in Zizivari simulation mode\"/>");
    EXPECT_EQ(peer.ProgramEventCount(), 0);
}
