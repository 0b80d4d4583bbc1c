#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "app/ConnectSequence.h"
#include "drive/Qd.h"
#include "platform/Prompt.h"

using namespace app;

namespace {

class FakeDrive : public DriveConnection {
  public:
    bool fileMode = false;
    bool channelOpens = true;
    bool startupOk = true;
    std::string configuration = "<CONFIG/>";
    int connectResult = 0;
    std::vector<std::string> calls;
    std::string lastError;

    bool IsFileMode() const override { return fileMode; }
    bool OpenPeerChannel(const std::string& channel) override {
        calls.push_back("open " + channel);
        return channelOpens;
    }
    void ClosePeerChannel() override { calls.push_back("close"); }
    bool RequestStartupInfo() override {
        calls.push_back("startup");
        if (!startupOk) lastError = "no answer from the peer";
        return startupOk;
    }
    std::string RequestConfiguration() override {
        calls.push_back("configuration");
        return configuration;
    }
    std::string LastError() const override { return lastError; }
    void SetLastError(const std::string& text) override { lastError = text; }
    std::string PeerText() const override { return "Peer 1"; }
    int Connect() override {
        calls.push_back("connect");
        return connectResult;
    }
};

class FakeHost : public ConnectHost {
  public:
    std::vector<std::string> calls;
    void ShowError(const std::string& text, const std::string& caption) override {
        calls.push_back("error " + text + " | " + caption);
    }
    void PostClose() override { calls.push_back("close"); }
    void SetIntegratedIcon() override { calls.push_back("icon"); }
    void LoadDeviceMenu() override { calls.push_back("menu"); }
    void ShowMessageBar() override { calls.push_back("bar"); }
};

using Calls = std::vector<std::string>;

TEST(ConnectSequence, PlainStartConnectsAndBuildsTheMenu) {
    FakeDrive drive;
    FakeHost host;
    EXPECT_EQ(RunConnectSequence(drive, host, "/debug"), ConnectOutcome::Connected);
    EXPECT_EQ(drive.calls, Calls{"connect"});
    EXPECT_EQ(host.calls, (Calls{"menu", "bar"}));
}

TEST(ConnectSequence, FileModeIsIntegratedWithoutAChannel) {
    FakeDrive drive;
    drive.fileMode = true;
    FakeHost host;
    EXPECT_EQ(RunConnectSequence(drive, host, "CwP=chan:100"), ConnectOutcome::Connected);
    EXPECT_EQ(drive.calls, (Calls{"startup", "configuration", "connect"}));
    EXPECT_EQ(host.calls, (Calls{"icon", "menu", "bar"}));
}

TEST(ConnectSequence, PeerChannelTextRunsToTheNextBlankOrTheEnd) {
    EXPECT_EQ(FindPeerChannel("a CwP=Chan:4096 b"), "Chan:4096");
    EXPECT_EQ(FindPeerChannel("a CwP=Chan:4096"), "Chan:4096");
    EXPECT_EQ(FindPeerChannel("a CwP= b"), "");
    EXPECT_EQ(FindPeerChannel("debug"), "");
    FakeDrive drive;
    FakeHost host;
    RunConnectSequence(drive, host, "x CwP=Chan:4096");
    EXPECT_EQ(drive.calls.front(), "open Chan:4096");
}

TEST(ConnectSequence, ChannelThatDoesNotOpenGoesStraightToTheConnection) {
    FakeDrive drive;
    drive.channelOpens = false;
    FakeHost host;
    EXPECT_EQ(RunConnectSequence(drive, host, "CwP=Chan:1"), ConnectOutcome::Connected);
    EXPECT_EQ(drive.calls, (Calls{"open Chan:1", "connect"}));
}

TEST(ConnectSequence, StartupFailureShowsTheErrorClosesTheChannelAndPostsClose) {
    for (bool fileMode : {false, true}) {
        FakeDrive drive;
        drive.fileMode = fileMode;
        drive.startupOk = false;
        FakeHost host;
        EXPECT_EQ(RunConnectSequence(drive, host, "CwP=Chan:1"), ConnectOutcome::StartupFailed);
        EXPECT_EQ(host.calls, (Calls{"error no answer from the peer | Pelmora integrated: Peer 1", "close"}));
        const bool closed = std::find(drive.calls.begin(), drive.calls.end(), "close") != drive.calls.end();
        EXPECT_EQ(closed, !fileMode) << "file mode has no channel to close";
        EXPECT_EQ(std::count(drive.calls.begin(), drive.calls.end(), "connect"), 0);
    }
}

TEST(ConnectSequence, ConfigurationErrorsAreShownAndTheSequenceGoesOn) {
    struct Case {
        const char* answer;
        const char* shown;
    };
    for (const Case& c : {Case{"not xml <",
                               "ReqGetConfigurationData error: ReqGetConfigurationData: xml page "
                               "configuration load error"},
                          Case{"<ANSWER Error=\"busy\"/>", "ReqGetConfigurationData error: busy"}}) {
        FakeDrive drive;
        drive.fileMode = true;
        drive.configuration = c.answer;
        FakeHost host;
        EXPECT_EQ(RunConnectSequence(drive, host, ""), ConnectOutcome::Connected);
        EXPECT_EQ(host.calls, (Calls{"icon", std::string("error ") + c.shown + " | ", "menu", "bar"}));
    }
}

TEST(ConnectSequence, ConnectResultSevenClosesTheProgram) {
    FakeDrive drive;
    drive.connectResult = 7;
    FakeHost host;
    EXPECT_EQ(RunConnectSequence(drive, host, ""), ConnectOutcome::UserLeft);
    EXPECT_EQ(host.calls, Calls{"close"});
}

// ---------------------------------------------------------------- the real drive object

// The connect dialog's answer, as the user gives it.
class AnsweringDialog : public drive::CConnectDialog {
  public:
    explicit AnsweringDialog(int answer) : answer_(answer) {}
    int Run(const std::vector<drive::_CHANNELINFO>&, drive::CConnectionRecord&) override {
        ++runs;
        return answer_;
    }
    int runs = 0;

  private:
    int answer_;
};

class DriveObjectSequence : public ::testing::Test {
  protected:
    void SetUp() override { platform::SetPromptService(&prompts); }
    void TearDown() override { platform::SetPromptService(nullptr); }
    // The peer file of "Qz=": "<folder>/peer.xml" holding the given definitions.
    std::string WritePeerFile(const std::string& definitions) {
        const std::filesystem::path file = store.dir / "plant.xml";
        std::ofstream(file) << "<DEFINITIONS>" << definitions << "</DEFINITIONS>";
        return file.string();
    }
    TempRegistry store{"sequence"};
    platform::ScriptedPrompts prompts;
    drive::CQd qd{0};
};

TEST_F(DriveObjectSequence, LeavingInTheConnectDialogClosesTheProgram) {
    AnsweringDialog leave(8);
    qd.ConnectionWindow().SetConnectDialog(&leave);
    QdDriveConnection link(qd);
    FakeHost host;
    EXPECT_EQ(RunConnectSequence(link, host, ""), ConnectOutcome::UserLeft);
    EXPECT_EQ(leave.runs, 1);
    EXPECT_EQ(host.calls, Calls{"close"});
    EXPECT_FALSE(link.IsIntegrated());
}

TEST_F(DriveObjectSequence, CancelledConnectionStillBuildsTheMenu) {
    AnsweringDialog cancel(2);
    qd.ConnectionWindow().SetConnectDialog(&cancel);
    QdDriveConnection link(qd);
    FakeHost host;
    EXPECT_EQ(RunConnectSequence(link, host, "CwP="), ConnectOutcome::Connected);
    EXPECT_EQ(host.calls, (Calls{"menu", "bar"}));
    EXPECT_FALSE(qd.IsConnected());
}

TEST_F(DriveObjectSequence, PeerFileOfTheCommandLineIsTakenIntoFileMode) {
    std::string path = WritePeerFile("<D code=\"21\"><![CDATA[<CONFIG Error=\"no plant\"/>]]></D>");
    QdDriveConnection link(qd);
    std::string empty;
    link.TakePeerFile(empty);
    EXPECT_FALSE(link.IsFileMode());
    link.TakePeerFile(path);
    EXPECT_TRUE(path.empty()) << "the command line's text is taken";
    EXPECT_TRUE(link.IsFileMode());
    EXPECT_TRUE(link.IsIntegrated());
    EXPECT_EQ(link.RequestConfiguration(), "<CONFIG Error=\"no plant\"/>");
}

TEST_F(DriveObjectSequence, FileModeWithoutStartupInformationEndsTheProgram) {
    std::string path = WritePeerFile("");
    AnsweringDialog connect(1);
    qd.ConnectionWindow().SetConnectDialog(&connect);
    QdDriveConnection link(qd);
    link.TakePeerFile(path);
    FakeHost host;
    EXPECT_EQ(RunConnectSequence(link, host, "CwP=Chan:1"), ConnectOutcome::StartupFailed);
    EXPECT_EQ(host.calls, (Calls{"error Load configuration string failed | Pelmora integrated: ", "close"}));
    EXPECT_EQ(connect.runs, 0) << "no connection is made";
}

TEST(IntegratedClose, WhatGoesBackToThePeerTool) {
    struct Case {
        bool fileMode, paramChanged, configChanged, hasFile;
        int answer;  // -1: not asked
        bool saveParam, sendBack, drop;
    };
    const Case cases[] = {
        // Nothing changed: the configuration goes back in file mode only.
        {false, false, false, true, -1, false, false, false},
        {true, false, false, true, -1, false, true, false},
        // Changes without a parameters file name: the same.
        {false, true, true, false, -1, false, false, false},
        {true, true, false, false, -1, false, true, false},
        // Changes with a file name are asked about.
        {false, true, false, true, 1, true, false, false},
        {false, false, true, true, 1, false, true, false},
        {true, true, true, true, 1, true, true, false},
        {true, true, true, true, 0, false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.fileMode << c.paramChanged << c.configChanged << c.hasFile);
        int asked = 0;
        const IntegratedCloseSteps steps =
            DecideIntegratedClose(c.fileMode, c.paramChanged, c.configChanged, c.hasFile, [&] {
                ++asked;
                return c.answer == 1;
            });
        EXPECT_EQ(asked, c.answer == -1 ? 0 : 1);
        EXPECT_EQ(steps.asked, c.answer != -1);
        EXPECT_EQ(steps.saveParamFile, c.saveParam);
        EXPECT_EQ(steps.sendBackConfiguration, c.sendBack);
        EXPECT_EQ(steps.dropChanges, c.drop);
    }
}

// Start-up information of a plant whose parameters file is still to be made.
constexpr const char* kStartupInfo =
    "<D code=\"17\"><![CDATA[<STARTUP><NODE_INFO HardwareCode=\"5\" ProductCode=\"7\" "
    "ProducVersion=\"100\" Title=\"Plant 1\"/><PARAM_FILE Filename=\"drive.par\" Create=\"1\"/>"
    "<DEFINITIONS/></STARTUP>]]></D>";

TEST_F(DriveObjectSequence, IntegratedCloseAsksAndADeclinedSaveDropsTheChangeMarks) {
    std::string path = WritePeerFile(kStartupInfo);
    QdDriveConnection link(qd);
    link.TakePeerFile(path);
    ASSERT_TRUE(link.RequestStartupInfo()) << link.LastError();
    EXPECT_EQ(link.PeerText(), "Plant 1");
    EXPECT_TRUE(link.Peer().m_paramFileChanged) << "a new parameters file is due";
    int asked = 0;
    EXPECT_FALSE(link.CloseIntegrated([&] {
        ++asked;
        return false;
    }));
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(link.Peer().m_paramFileChanged);
    EXPECT_FALSE(link.Peer().m_configurationChanged);
    EXPECT_FALSE(std::filesystem::exists(store.dir / "plant.Qz.xml")) << "nothing went back";
}

TEST_F(DriveObjectSequence, FailedStartHandsNothingBack) {
    std::string path = WritePeerFile("");
    QdDriveConnection link(qd);
    link.TakePeerFile(path);
    EXPECT_FALSE(link.RequestStartupInfo());
    int asked = 0;
    EXPECT_FALSE(link.CloseIntegrated([&] {
        ++asked;
        return true;
    }));
    EXPECT_EQ(asked, 0);
    EXPECT_FALSE(std::filesystem::exists(store.dir / "plant.Qz.xml"))
        << "the peer's configuration file is not replaced by an empty one";
}

}  // namespace
