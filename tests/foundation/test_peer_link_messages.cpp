#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <string>

#include "PeerToolFixture.h"
#include "foundation/CommCOIQd.h"
#include "foundation/XmlDocument.h"
#include "platform/Prompt.h"

using namespace foundation;

namespace fs = std::filesystem;
using platform::FakeClock;
using platform::IDNO;
using platform::IDYES;

namespace {

void WriteText(const fs::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary);
    out << text;
}

std::string ReadText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A definitions file: one child per request code with the answer in CDATA.
std::string Definitions(std::initializer_list<std::pair<int, std::string>> answers) {
    std::string text = "<PelmoraFromFC>\r\n";
    for (const auto& [code, answer] : answers)
        text += "\t<Answer code=\"" + std::to_string(code) + "\"><![CDATA[" + answer + "]]></Answer>\r\n";
    return text + "</PelmoraFromFC>\r\n";
}

std::string StartupInfo(const std::string& nodeInfo, const std::string& paramFile,
                        const std::string& definitions = "<DEFINITIONS><Def a=\"1\"/></DEFINITIONS>") {
    return "<STARTUPINFO>" + nodeInfo + paramFile + definitions + "</STARTUPINFO>";
}

const char* const kNodeInfo =
    "<NODE_INFO HardwareCode=\"0x21\" ProductCode=\"1234\" ProducVersion=\"3\" "
    "Beta=\"7\" Title=\"Axis 1\"/>";

// Known vocabularies offered by the drive's communication object.
class FixedVocabularies : public CVocabularyListSource {
  public:
    explicit FixedVocabularies(std::string xml) : xml_(std::move(xml)) {}
    int GetVocabularyList(CXmlDocument& list) override {
        ++calls;
        if (list.LoadXml(xml_) != S_OK) return -1;
        return list.Root().GetChildCount();
    }
    int calls = 0;

  private:
    std::string xml_;
};

class PeerMessagesTest : public ::testing::Test {
  protected:
    PeerMessagesTest() {
        char pattern[] = "/tmp/tunova-peermsg-XXXXXX";
        folder_ = mkdtemp(pattern);
        platform::SetPromptService(&prompts_);
        prompts_.SetDefaultAnswer(platform::IDCANCEL);
    }
    ~PeerMessagesTest() override {
        platform::SetPromptService(nullptr);
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    // From-files mode on "<folder>/plant.xml" holding these definitions.
    void UseFiles(const std::string& definitions) {
        coi_.m_file.SetConfigurationPath((folder_ / "plant.xml").string());
        WriteText(folder_ / "plant.xml", definitions);
    }
    // Plays the peer for one request: returns the request text it got.
    std::future<std::string> AnswerOnce(TestPeerTool& peer, std::string answer) {
        return std::async(std::launch::async, [&peer, answer] {
            std::string text;
            if (!peer.Receive(&text)) return std::string("<nothing>");
            peer.Send(answer);
            return text;
        });
    }

    fs::path folder_;
    platform::ScriptedPrompts prompts_;
    FakeClock clock_;
    CCommCOIQd coi_{clock_};
};

}  // namespace

TEST(PeerFilesTest, ConfigurationPathGivesFolderAndName) {
    struct Case {
        const char* path;
        const char* folder;
        const char* name;
    };
    const Case cases[] = {
        {"D:\\cfg\\plant.xml", "D:\\cfg", "plant"},
        {"/srv/cfg/plant.xml", "/srv/cfg", "plant"},
        {"a.xml", "", "a.xml"},
        {"/srv/data.xml", "/srv", "data.xml"},  // four characters before the extension: kept whole
        {"/srv/plant.XML", "/srv", "plant.XML"},
        {"/srv/plant", "/srv", "plant"},
        {"/srv/.xml", "/srv", ".xml"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        CCommFPQdFile file;
        EXPECT_FALSE(file.m_fromFiles);
        file.SetConfigurationPath(c.path);
        EXPECT_TRUE(file.m_fromFiles);
        EXPECT_EQ(file.m_folder, c.folder);
        EXPECT_EQ(file.m_fileName, c.name);
    }
    CCommFPQdFile file;
    file.SetConfigurationPath("/srv/cfg/plant.xml");
    EXPECT_EQ(file.DefinitionsFile(), fs::path("/srv/cfg/plant.xml"));
    EXPECT_EQ(file.ConfigurationFile(), fs::path("/srv/cfg/plant.Qz.xml"));
}

TEST_F(PeerMessagesTest, DefinitionsAnswerByCode) {
    UseFiles(
        "<Defs><!-- comment --><A code=\"21\"><![CDATA[<conf/>]]></A><A code=\"17\"><![CDATA[first]]></A>"
        "<A code=\"17\"><![CDATA[second]]></A><A code=\"5\">no cdata</A><A><![CDATA[no code]]></A>"
        "<A code=\"0x10\"><![CDATA[hex]]></A></Defs>");
    EXPECT_EQ(coi_.m_file.GetDefinition(17), "first");
    EXPECT_EQ(coi_.m_file.GetDefinition(21), "<conf/>");
    EXPECT_EQ(coi_.m_file.GetDefinition(16), "hex");
    EXPECT_EQ(coi_.m_file.GetDefinition(5), "");
    EXPECT_EQ(coi_.m_file.GetDefinition(-1), "no code");
    EXPECT_EQ(coi_.m_file.GetDefinition(99), "");
    WriteText(folder_ / "plant.xml", "<Defs><A code=\"17\">");  // damaged
    EXPECT_EQ(coi_.m_file.GetDefinition(17), "");
    fs::remove(folder_ / "plant.xml");
    EXPECT_EQ(coi_.m_file.GetDefinition(17), "");
}

TEST_F(PeerMessagesTest, StartupInfoFromTheLivePeer) {
    TestPeerTool peer;
    ASSERT_EQ(coi_.m_channel.Open(peer.ChannelText()), 0);
    WriteText(folder_ / "axis.par", "existing");
    prompts_.PushAnswer(IDYES);  // overwrite with default
    auto request = AnswerOnce(peer, StartupInfo(kNodeInfo, "<PARAM_FILE Filename=\"axis.par\" Location=\"" +
                                                               folder_.string() + "\"/>"));
    ASSERT_TRUE(coi_.ReqGetStartupInfo()) << coi_.m_lastError;
    EXPECT_EQ(request.get(), "17,<GET_STARTUPINFO Version=\"1\"/>");
    EXPECT_EQ(coi_.m_lastError, "");
    EXPECT_EQ(coi_.m_hardwareCode, 0x21u);
    EXPECT_EQ(coi_.m_productIdentity.code, 1234);
    EXPECT_EQ(coi_.m_productIdentity.version.major, 3);
    EXPECT_TRUE(coi_.m_productIdentity.version.majorOnly);
    EXPECT_EQ(coi_.m_productIdentity.version.preNumber, 7u);
    EXPECT_EQ(coi_.m_productIdentity.GetRole(), kRoleFirmware);
    EXPECT_EQ(coi_.m_title, "Axis 1");
    EXPECT_EQ(coi_.m_paramFile, (folder_ / "axis.par").string());
    EXPECT_TRUE(coi_.m_createDefaultParamFile);
    EXPECT_TRUE(coi_.m_paramFileChanged);
    EXPECT_EQ(coi_.m_definitions.Root().Name(), "DEFINITIONS");
    ASSERT_NE(coi_.m_definitions.Root().FindNode("Def"), nullptr);
    ASSERT_EQ(prompts_.AskedCount(), 1u);
    const auto asked = prompts_.Asked()[0];
    EXPECT_EQ(asked.text,
              "The parameters file: \"" + coi_.m_paramFile + "\" exists\nOverwrite it with default?");
    EXPECT_EQ(asked.flags, platform::MB_YESNO | platform::MB_ICONEXCLAMATION);
}

TEST_F(PeerMessagesTest, StartupInfoRefusals) {
    const std::string param = "<PARAM_FILE Filename=\"p.par\"/>";
    struct Case {
        std::string answer;
        std::string error;
    };
    const Case cases[] = {
        {"not xml <", "Load configuration string failed"},
        {"", "Load configuration string failed"},
        {"plain words", "Load configuration string failed"},
        {"<S Error=\"busy\"/>", "GetAttribute('Error') returns: busy"},
        {StartupInfo("", param), "Node missing : NODE_INFO"},
        {StartupInfo("<NODE_INFO HardwareCode=\"5\" ProductCode=\"0\" ProducVersion=\"2\"/>", param),
         "product code and/or product version and/or hardware code not greater than zero: 0; 2; 5"},
        {StartupInfo("<NODE_INFO HardwareCode=\"0\" ProductCode=\"12\" ProducVersion=\"2\"/>", param),
         "product code and/or product version and/or hardware code not greater than zero: 12; 2; 0"},
        {StartupInfo("<NODE_INFO HardwareCode=\"-3\" ProductCode=\"12\" ProducVersion=\"2\"/>", param),
         "product code and/or product version and/or hardware code not greater than zero: 12; 2; -3"},
        {StartupInfo("<NODE_INFO HardwareCode=\"5\" ProductCode=\"40000\" ProducVersion=\"2\"/>", param),
         "product code and/or product version and/or hardware code not greater than zero: 40000; 2; 5"},
        {StartupInfo(kNodeInfo, ""), "Node missing : PARAM_FILE"},
        {StartupInfo(kNodeInfo, "<PARAM_FILE Location=\"/x\"/>"),
         "The parameters file name is missing! Connection is not possible!"},
        {StartupInfo(kNodeInfo, param, ""), "Node missing : DEFINITIONS"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        UseFiles(Definitions({{17, c.answer}}));
        coi_.m_lastError = "old";
        EXPECT_FALSE(coi_.ReqGetStartupInfo());
        EXPECT_EQ(coi_.m_lastError, c.error);
    }
    EXPECT_EQ(coi_.m_definitions.Root().Name(), "");  // never reached
}

TEST_F(PeerMessagesTest, FailedExchangeLeavesNoText) {
    coi_.m_lastError = "old";
    EXPECT_FALSE(coi_.ReqGetStartupInfo());  // link not open
    EXPECT_EQ(coi_.m_lastError, "");
}

TEST_F(PeerMessagesTest, VersionZeroTakesTheNewestKnownRelease) {
    FixedVocabularies known(
        "<Vocabularies>"
        "<V pver=\"1234,2,1,0,0,0\" descr=\"old\"/>"
        "<V pver=\"1234,2,4,0,0,0\" descr=\"newest release\"/>"
        "<V pver=\"1234,3,0,0,2,1\" descr=\"beta\"/>"
        "<V pver=\"999,9,0,0,0,0\" descr=\"other product\"/>"
        "<V pver=\"1234,2,3,0,0,0\" descr=\"middle\"/>"
        "</Vocabularies>");
    coi_.m_communication = &known;
    const std::string param = "<PARAM_FILE Filename=\"p.par\"/>";
    UseFiles(Definitions(
        {{17,
          StartupInfo("<NODE_INFO HardwareCode=\"5\" ProductCode=\"1234\" ProducVersion=\"0\"/>", param)}}));
    ASSERT_TRUE(coi_.ReqGetStartupInfo()) << coi_.m_lastError;
    EXPECT_EQ(coi_.m_productIdentity.name, "newest release");
    EXPECT_EQ(coi_.m_productIdentity.version.minor, 4);

    // No release known for the product: the identity stays reset and the request fails.
    UseFiles(Definitions(
        {{17,
          StartupInfo("<NODE_INFO HardwareCode=\"5\" ProductCode=\"777\" ProducVersion=\"0\"/>", param)}}));
    EXPECT_FALSE(coi_.ReqGetStartupInfo());
    EXPECT_EQ(coi_.m_productIdentity.code, -1);
    EXPECT_EQ(coi_.m_lastError,
              "product code and/or product version and/or hardware code not greater than zero: 777; 0; 5");
    coi_.m_communication = nullptr;
    UseFiles(Definitions(
        {{17,
          StartupInfo("<NODE_INFO HardwareCode=\"5\" ProductCode=\"1234\" ProducVersion=\"0\"/>", param)}}));
    EXPECT_FALSE(coi_.ReqGetStartupInfo());
    EXPECT_EQ(known.calls, 2);
}

TEST_F(PeerMessagesTest, ParametersFileCreationQuestions) {
    struct Case {
        const char* create;  // attribute text, null when absent
        bool exists;
        int answer;  // 0: no question expected
        bool result;
        bool createDefault;
        bool changed;
    };
    const Case cases[] = {
        {nullptr, false, 0, true, true, true},  // absent and missing: no question
        {nullptr, true, IDYES, true, true, true}, {"1", true, IDNO, true, false, true},
        {"0", false, IDYES, true, true, true},    {"0", false, IDNO, false, false, false},
        {"0", true, 0, true, false, false},       {"1", false, 0, true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.create ? c.create : "absent") + (c.exists ? " exists" : " missing"));
        CCommCOIQd coi(clock_);
        prompts_.Clear();
        if (c.answer != 0) prompts_.PushAnswer(c.answer);
        const fs::path file = folder_ / "p.par";
        fs::remove(file);
        if (c.exists) WriteText(file, "x");
        const std::string create = c.create ? std::string(" Create=\"") + c.create + "\"" : std::string();
        coi.m_file.SetConfigurationPath((folder_ / "plant.xml").string());
        WriteText(folder_ / "plant.xml",
                  Definitions(
                      {{17, StartupInfo(kNodeInfo, "<PARAM_FILE Filename=\"p.par\" Location=\"/elsewhere\"" +
                                                       create + "/>")}}));
        EXPECT_EQ(coi.ReqGetStartupInfo(), c.result) << coi.m_lastError;
        // From files the parameters file lies beside the configuration file, whatever "Location" says.
        EXPECT_EQ(coi.m_paramFile, file.string());
        EXPECT_EQ(coi.m_createDefaultParamFile, c.createDefault);
        EXPECT_EQ(coi.m_paramFileChanged, c.changed);
        EXPECT_EQ(prompts_.AskedCount(), c.answer != 0 ? 1u : 0u);
        EXPECT_EQ(coi.m_definitions.Root().Name(), c.result ? "DEFINITIONS" : "");
        if (c.create && std::string(c.create) == "0" && !c.exists) {
            ASSERT_EQ(prompts_.AskedCount(), 1u);
            EXPECT_EQ(prompts_.Asked()[0].text,
                      "The parameters file: \"" + file.string() + "\" is missing.\nCreate default?");
        }
    }
}

TEST_F(PeerMessagesTest, ParametersFileWithoutLocationIsTheNameAlone) {
    TestPeerTool peer;
    ASSERT_EQ(coi_.m_channel.Open(peer.ChannelText()), 0);
    auto request = AnswerOnce(peer, StartupInfo(kNodeInfo, "<PARAM_FILE Filename=\"only.par\"/>"));
    EXPECT_TRUE(coi_.ReqGetStartupInfo()) << coi_.m_lastError;
    request.get();
    EXPECT_EQ(coi_.m_paramFile, "only.par");
}

TEST_F(PeerMessagesTest, ConfigurationArrivesAtStartUp) {
    UseFiles(Definitions({{21, "<SET_PELMORA_CONFIGURATION><Io Mode=\"2\"/></SET_PELMORA_CONFIGURATION>"}}));
    ASSERT_TRUE(coi_.ReqSetConfiguration());
    ASSERT_NE(coi_.m_configuration.Root().FindNode("Io"), nullptr);

    // An unreadable answer keeps what was there.
    TestPeerTool peer;
    CCommCOIQd live(clock_);
    live.m_configuration.LoadXml("<C><Kept/></C>");
    ASSERT_EQ(live.m_channel.Open(peer.ChannelText()), 0);
    for (const char* answer : {"<broken", "plain words"}) {
        SCOPED_TRACE(answer);
        auto request = AnswerOnce(peer, answer);
        EXPECT_FALSE(live.ReqSetConfiguration());
        EXPECT_EQ(request.get(), "21,<SET_PELMORA_CONFIGURATION/>");
        EXPECT_NE(live.m_configuration.Root().FindNode("Kept"), nullptr);
    }
}

TEST_F(PeerMessagesTest, CanEndConfigureOffersThePendingConfiguration) {
    TestPeerTool peer;
    ASSERT_EQ(coi_.m_channel.Open(peer.ChannelText()), 0);
    ASSERT_EQ(coi_.m_pendingConfiguration.LoadXml("<CONF>\r\n\t<Io Mode=\"2\">a&amp;b</Io>\r\n</CONF>"),
              S_OK);
    coi_.m_paramFileChanged = true;
    struct Case {
        const char* answer;
        int32_t result;
        const char* error;
    };
    const Case cases[] = {
        {"<CAN_END_CONFIGURE/>", 0, ""},
        {"<CAN_END_CONFIGURE Error=\"Value out of range\"/>", 2, "Value out of range"},
        {"garbage", 1, "Pelmora - CAN_END_CONFIGURE: xml string load error"},
        {"<CAN_END_CONFIGURE", 1, "Pelmora - CAN_END_CONFIGURE: xml string load error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        auto request = AnswerOnce(peer, c.answer);
        EXPECT_EQ(coi_.ReqCanEndConfigure(), c.result);
        EXPECT_EQ(coi_.m_lastError, c.error);
        EXPECT_EQ(request.get(),
                  "20,<CAN_END_CONFIGURE ParamFileDataChanged=\"1\" ConfQzDataChanged=\"0\"><Io "
                  "Mode=\"2\">a&amp;b</Io>"
                  "</CAN_END_CONFIGURE>");
    }
    // The pending configuration itself is left as it was.
    EXPECT_EQ(coi_.m_pendingConfiguration.Root().Name(), "CONF");

    // A peer that does not answer: the empty answer can't be read.
    auto silent = std::async(std::launch::async, [&] { return coi_.ReqCanEndConfigure(); });
    std::string text;
    ASSERT_TRUE(peer.Receive(&text));
    ASSERT_TRUE(TickUntil(
        clock_, [&] { return silent.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_EQ(silent.get(), 1);
}

TEST_F(PeerMessagesTest, CanEndConfigureFromFilesNeedsNoExchange) {
    UseFiles(Definitions({}));
    coi_.m_configurationChanged = true;
    EXPECT_EQ(coi_.ReqCanEndConfigure(), 0);
    EXPECT_EQ(coi_.m_lastError, "");
}

TEST_F(PeerMessagesTest, ConfigurationGoesBackToTheConfigurationFile) {
    UseFiles(Definitions({}));
    // A configuration holding CDATA of its own must survive the CDATA around it.
    ASSERT_EQ(
        coi_.m_configuration.LoadXml("<SET_PELMORA_CONFIGURATION><Script><![CDATA[if a]]b > c]]></Script>"
                                     "<Io Mode=\"2\"/></SET_PELMORA_CONFIGURATION>"),
        S_OK);
    std::string expected;
    coi_.ReqGetBackConfiguration();
    EXPECT_EQ(prompts_.AskedCount(), 0u);
    EXPECT_EQ(coi_.m_configuration.Root().Name(), "GET_PELMORA_CONFIGURATION");
    ASSERT_EQ(coi_.m_configuration.GetXml(expected), S_OK);

    CXmlDocument saved;
    ASSERT_EQ(saved.Load(folder_ / "plant.Qz.xml"), S_OK) << ReadText(folder_ / "plant.Qz.xml");
    EXPECT_EQ(saved.Root().Name(), "PelmoraToFC");
    const CXmlNode* request = saved.Root().FindNode("Request");
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(request->GetAttributeInt("code", 0), 22);
    std::string joined;
    for (const CXmlNode* part : request->Children())
        if (part->Name() == CXmlNode::kCData) joined += part->Value();
    EXPECT_EQ(joined, expected);
    CXmlDocument configuration;
    ASSERT_EQ(configuration.LoadXml(joined), S_OK);
    ASSERT_NE(configuration.Root().FindNode("Script"), nullptr);

    // A folder that can't be written: the failure is shown, nothing half-written stays.
    coi_.m_file.m_folder = (folder_ / "missing").string();
    coi_.ReqGetBackConfiguration();
    ASSERT_EQ(prompts_.AskedCount(), 1u);
    EXPECT_EQ(prompts_.Asked()[0].text, "1");
    EXPECT_EQ(prompts_.Asked()[0].caption, "Tunova");
    EXPECT_EQ(prompts_.Asked()[0].flags, platform::MB_OK);
    EXPECT_FALSE(fs::exists(folder_ / "missing"));
}

TEST_F(PeerMessagesTest, ConfigurationGoesBackToTheLivePeer) {
    TestPeerTool peer;
    ASSERT_EQ(coi_.m_channel.Open(peer.ChannelText()), 0);
    ASSERT_EQ(coi_.m_configuration.LoadXml("<SET_PELMORA_CONFIGURATION><Io/></SET_PELMORA_CONFIGURATION>"),
              S_OK);
    struct Case {
        const char* answer;
        const char* shown;  // empty: no message
    };
    const Case cases[] = {
        {"<GET_PELMORA_CONFIGURATION/>", ""},
        {"<GET_PELMORA_CONFIGURATION Error=\"Project is read-only\"/>", "Project is read-only"},
        {"not xml", "Error calling ReqGetBackConfiguration: the answer can't be read"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        prompts_.Clear();
        auto request = AnswerOnce(peer, c.answer);
        coi_.ReqGetBackConfiguration();
        EXPECT_EQ(request.get(), "22,<GET_PELMORA_CONFIGURATION><Io/></GET_PELMORA_CONFIGURATION>");
        if (*c.shown == '\0') {
            EXPECT_EQ(prompts_.AskedCount(), 0u);
        } else {
            ASSERT_EQ(prompts_.AskedCount(), 1u);
            EXPECT_EQ(prompts_.Asked()[0].text, c.shown);
        }
    }
    // A failed exchange shows its code.
    coi_.m_channel.Close();
    prompts_.Clear();
    coi_.ReqGetBackConfiguration();
    ASSERT_EQ(prompts_.AskedCount(), 1u);
    EXPECT_EQ(prompts_.Asked()[0].text, "0xFFFFFFF1: Error calling ReqGetBackConfiguration");
}

TEST_F(PeerMessagesTest, DestroyingTheMessagesObjectClosesTheLink) {
    TestPeerTool peer;
    {
        CCommCOIQd coi(clock_);
        ASSERT_EQ(coi.m_channel.Open(peer.ChannelText()), 0);
    }
    std::string text;
    ASSERT_TRUE(peer.Receive(&text));
    EXPECT_EQ(text, "Close");
}
