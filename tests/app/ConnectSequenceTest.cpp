#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/ConnectSequence.h"

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

}  // namespace
