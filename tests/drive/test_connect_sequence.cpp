// The connect sequence of the drive object against the simulated drive: connect online and
// offline, basic cells, title, reconnect outcomes with the drive stopped and restarted, close.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "drive/DriveValueHelpers.h"
#include "drive/Qd.h"
#include "engine/Main.h"
#include "foundation/Authorizations.h"
#include "foundation/MessageIds.h"
#include "foundation/ProgramSwitches.h"
#include "foundation/XmlDocument.h"
#include "platform/Clock.h"
#include "platform/Folders.h"
#include "platform/Messages.h"
#include "tests/drive/DriveObjectTestSupport.h"

using namespace drive;
using namespace foundation;

namespace {

std::string ReadText(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// What the main frame is asked, in order.
class RecordingHost : public CQdHost {
  public:
    void SetFrameTitle(const std::string& title) override {
        titles.push_back(title);
        events.push_back("title");
    }
    void SetStatusText(int pane, const std::string& text) override { status[pane] = text; }
    CFramePage ShownPage() const override { return page; }
    platform::WindowHandle PageWindow(CFramePage p) const override {
        return p == CFramePage::MainDialog ? mainDialog : 0;
    }
    void StoreMessageBarPlacement() override { events.push_back("store-bar"); }
    void ResetPages() override { events.push_back("reset-pages"); }
    void PauseBackgroundPolls() override { events.push_back("pause-polls"); }
    void ResumeBackgroundPolls() override { events.push_back("resume-polls"); }
    void StopPageRefresh() override { events.push_back("stop-page-refresh"); }
    void StartPageStatusRefresh(int busType) override {
        events.push_back("page-refresh " + std::to_string(busType));
    }
    void RefreshMainDialog() override { events.push_back("refresh-main"); }

    std::vector<std::string> titles;
    std::vector<std::string> events;
    std::map<int, std::string> status;
    CFramePage page = CFramePage::None;
    platform::WindowHandle mainDialog = 0;
};

// The simulated drive on its own clock (so that its silence starts and ends when the test
// says), described by the given description, which the engine's tree holds too.
struct Rig {
    explicit Rig(const std::string& description) {
        std::ofstream(tree.Root() / "tree" / "1234_2_3_1.xml") << description;
        model = std::make_shared<drivesim::SimDriveModel>(clock);
        std::string error;
        EXPECT_TRUE(model->LoadText(description, &error)) << error;
        EXPECT_TRUE(model->SetText("UserDriveName", "Axis 1"));
        slave1 = &sim.AddDrive(1);
        drivesim::DescribeModbusDrive(*slave1, model);
        drivesim::DescribeModbusDrive(sim.AddDrive(2), model);
        port = sim.StartPty(&error);
        EXPECT_FALSE(port.empty()) << error;
        enginetest::RegisterPort("connectsequence", port);
    }
    ~Rig() {
        sim.Stop();
        enginetest::UnregisterPort("connectsequence");
    }
    // Silent from now on for the given time (model time).
    void Silence(int64_t forMs) {
        // The model counts from its construction.
        const int64_t from = clock.NowMs() - kStartMs + 1;
        std::string error;
        EXPECT_TRUE(
            model->ApplySwitch("no-answer=" + std::to_string(from) + ":" + std::to_string(forMs), &error))
            << error;
        clock.Advance(2);
    }

    enginetest::DescriptionTree tree;
    static constexpr int64_t kStartMs = 1000;
    platform::FakeClock clock{kStartMs};
    std::shared_ptr<drivesim::SimDriveModel> model;
    drivesim::DriveSim sim;
    drivesim::SimDrive* slave1 = nullptr;
    std::string port;
};

class ConnectSequence : public ::testing::Test {
  protected:
    void Start(const std::string& description = ReadText(drivetest::SimDescription())) {
        rig = std::make_unique<Rig>(description);
        qd = std::make_unique<CQd>(owner.Handle());
        qd->SetHost(&host);
        qd->ConnectionWindow().SetConnectDialog(&dialog);
    }
    void TearDown() override {
        qd.reset();
        rig.reset();
        platform::PumpMessages();
    }
    int ConnectOnline() {
        qd->ConnectionWindow().SetConnectionString(rig->port + ":timeout 300");
        return qd->Connect();
    }
    bool OwnerGot(unsigned message) const {
        for (const platform::Message& m : owner.Messages())
            if (m.msg == message) return true;
        return false;
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (const auto& q : prompts.Prompts().Asked()) out.push_back(q.text);
        return out;
    }
    bool Told(const std::string& text) const {
        for (const std::string& t : Texts())
            if (t == text) return true;
        return false;
    }

    mutable enginetest::PromptScope prompts;
    platform::RecordingSink owner;
    RecordingHost host;
    drivetest::FakeConnectDialog dialog;
    std::unique_ptr<Rig> rig;
    std::unique_ptr<CQd> qd;
};

TEST_F(ConnectSequence, OnlineWithAConnectionStringReadsTheBasicCellsAndShowsTheDrive) {
    Start();
    ASSERT_EQ(ConnectOnline(), 0) << qd->ConnectionWindow().LastMessage();
    EXPECT_EQ(dialog.runs, 0);
    EXPECT_TRUE(qd->IsConnected());

    const CParamData& set = qd->CurrentSet();
    for (const char* name :
         {"VelocityUnit", "CurrentLoopType", "PositionResolution", "Polarity", "HoldCurrent"}) {
        const CParamDw* cell = set.FindNamed(name);
        ASSERT_NE(cell, nullptr) << name;
        EXPECT_EQ(cell->status, kCellValid) << name;
        EXPECT_EQ(cell->value, static_cast<uint32_t>(*rig->model->ReadValue(name))) << name;
    }
    EXPECT_NE(set.FindNamed("PolePitch")->status, kCellValid)
        << "a rotary motor's pole pitch is not read at connect";
    EXPECT_EQ(qd->DigitalInputCell(), "PhisicalDigitalInputStatus");
    EXPECT_EQ(qd->State().modeCell, "ModeOfOperationDisplay");

    ASSERT_FALSE(host.titles.empty());
    EXPECT_EQ(host.titles.back(),
              "Tunova - " + GetDeviceFamilyName(1) + " - Axis 1  - " + qd->State().versionText);
    // The status groups run and fill the current set.
    EXPECT_GE(qd->Polling().stateGroup, 0);
    EXPECT_GE(qd->Polling().motionGroup, 0);
    EXPECT_GE(qd->Polling().unitsGroup, 0);
    qd->CloseConnection(true);
    EXPECT_EQ(qd->Polling().stateGroup, -1);
    EXPECT_FALSE(qd->IsConnected());
}

TEST_F(ConnectSequence, MissingItemsAreMarkedAndTheDigitalInputFallsBack) {
    std::string description = ReadText(drivetest::SimDescription());
    description = Replaced(description, "name=\"PhisicalDigitalInputStatus\"", "name=\"DigitalInputStatus\"");
    description = Replaced(description, "name=\"HoldCurrent\"", "name=\"HoldCurrentGone\"");
    Start(description);
    ASSERT_EQ(ConnectOnline(), 0) << qd->ConnectionWindow().LastMessage();
    EXPECT_EQ(qd->DigitalInputCell(), "DigitalInputStatus");
    const CParamDw* hold = qd->CurrentSet().FindNamed("HoldCurrent");
    ASSERT_NE(hold, nullptr);
    EXPECT_EQ(hold->status, kCellNonexistent);
    EXPECT_EQ(qd->CurrentSet().FindNamed("Polarity")->status, kCellValid);
    qd->CloseConnection(true);
}

TEST_F(ConnectSequence, AConfigurationThatFailsToLoadGivesSevenAndLeavesNothingConnected) {
    Start(Replaced(ReadText(drivetest::SimDescription()), "group=\"1\"", "group=\"0\""));
    EXPECT_EQ(ConnectOnline(), 7);
    EXPECT_FALSE(qd->IsConnected());
    EXPECT_TRUE(Told("Configuration file corrupted: missing group type attribute"));
    // Nothing was started on the node.
    EXPECT_EQ(qd->Polling().stateGroup, -1);
    EXPECT_FALSE(qd->ConnectionWindow().Engine()->NodeguardRunning());
}

TEST_F(ConnectSequence, OfflineFromTheHostsParametersFile) {
    Start();
    const std::filesystem::path file = rig->tree.Root() / "host.xml";
    std::ofstream(file)
        << "<DEVICE_PARAMETER Version=\"2\"><DEVICE Hw=\"12\" Type=\"1234\" SwRev=\"2\" HwRev=\"1\" "
           "Descr=\"Simulated servo drive\"><PARAMETERS>"
           "<DATA Name=\"PositionResolution\" Value=\"4096\"/>"
           "</PARAMETERS></DEVICE></DEVICE_PARAMETER>";
    // The host's side as the peer-tool link holds it after the host's start-up information.
    qd->PeerLink().m_file.m_fromFiles = true;
    qd->PeerLink().m_paramFile = file.string();
    ASSERT_EQ(qd->Connect(), 0) << qd->ConnectionWindow().LastMessage();
    EXPECT_TRUE(qd->IsConnected());
    EXPECT_TRUE(qd->IsOffline());
    EXPECT_EQ(qd->State().modeCell, "ModeOfOperation");
    EXPECT_EQ(qd->CurrentSet().FindNamed("PositionResolution")->value, 4096u);
    ASSERT_FALSE(host.titles.empty());
    EXPECT_EQ(host.titles.back(), "Tunova -  O F F L I N E - Simulated servo drive");
    qd->CloseConnection(true);
}

TEST_F(ConnectSequence, TheHostsTemporaryFileLivesInTheProcesssPrivateFolderAndIsDeletedAfterUse) {
    Start();
    qd->PeerLink().m_title = "Axis/1";
    std::string a, b;
    qd->GetTempParamFileName(a);
    qd->GetTempParamFileName(b);
    EXPECT_EQ(a, b) << "both sides of the hand-over name the same file";
    const std::filesystem::path path(a);
    EXPECT_EQ(path.filename(), "Axis_1_paramtmp.xml");
    EXPECT_NE(path.parent_path(), platform::TempFolder()) << "not in the shared temporary folder";
    EXPECT_EQ(std::filesystem::status(path.parent_path()).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_all);
    EXPECT_EQ(path.parent_path(), platform::PrivateTempFolder());

    std::ofstream(a)
        << ReadText(drivetest::SimDescription()).substr(0, 0)
        << "<DEVICE_PARAMETER Version=\"2\"><DEVICE Hw=\"12\" Type=\"1234\" SwRev=\"2\" HwRev=\"1\" "
           "Descr=\"Simulated servo drive\"><PARAMETERS/></DEVICE></DEVICE_PARAMETER>";
    qd->PeerLink().m_file.m_fromFiles = true;
    ASSERT_EQ(qd->Connect(), 0);
    EXPECT_FALSE(std::filesystem::exists(a)) << "the handed-over file is deleted after the connect";
    qd->CloseConnection(true);
}

TEST_F(ConnectSequence, TitleTable) {
    Start();
    struct Case {
        const char* what;
        std::function<void(CQd&)> set;
        std::string title;
    };
    const std::string family = GetDeviceFamilyName(1);
    ASSERT_EQ(ConnectOnline(), 0);
    const std::string version = qd->State().versionText;
    const std::vector<Case> cases = {
        {"connected with a name", [](CQd&) {}, "Tunova - " + family + " - Axis 1  - " + version},
        {"connected without a name", [](CQd& q) { q.Identity().userDriveName.clear(); },
         "Tunova - " + family + " - " + version},
        {"boot loader only", [](CQd& q) { q.State().bootOnly = true; },
         "Tunova - " + family + " - FIRMWARE MISSING: BOOT ONLY !"},
        {"host node",
         [](CQd& q) {
             q.State().bootOnly = false;
             q.PeerLink().m_file.m_fromFiles = true;
             q.HostSession().connectedToHostNode = true;
             q.HostSession().nodeTitle1 = "Line";
             q.HostSession().nodeTitle2 = "Axis";
         },
         "Tunova - CONNECTED TO Line Axis"},
        {"host offline",
         [](CQd& q) {
             q.HostSession().connectedToHostNode = false;
             q.Identity().userDriveName = "A";
         },
         "Tunova -  O F F L I N E  - A - Simulated servo drive"},
    };
    for (const Case& c : cases) {
        c.set(*qd);
        qd->UpdateWindowTitle();
        EXPECT_EQ(host.titles.back(), c.title) << c.what;
    }
    qd->HostSession() = CQd::CHostSession{};
    qd->PeerLink().m_file.m_fromFiles = false;
    qd->CloseConnection(true);
    qd->UpdateWindowTitle();
    EXPECT_EQ(host.titles.back(), "Tunova - NO DRIVE CONNECTED");
}

// Reconnect outcomes: the drive goes silent (stopped) and answers again (restarted) as the
// test's clock says; the dialog's answers come from the test.
struct ReconnectCase {
    const char* name;
    std::vector<int> answers;     // of the reconnect dialog
    std::vector<int> boxAnswers;  // message boxes in order (default: OK/cancel)
    bool restartBeforeSecond;     // the drive answers again before the second answer
    std::function<void(Rig&, CQd&)> before;
    bool connectedAfter, offlineAfter;
    unsigned ownerMessage;  // 0: none
    std::vector<std::string> told;
};

void PrintTo(const ReconnectCase& c, std::ostream* os) {
    *os << c.name;
}

class ReconnectOutcomes : public ConnectSequence, public ::testing::WithParamInterface<ReconnectCase> {};

TEST_P(ReconnectOutcomes, AsTheDialogAndTheDriveDecide) {
    const ReconnectCase& c = GetParam();
    Start();
    ASSERT_EQ(ConnectOnline(), 0) << qd->ConnectionWindow().LastMessage();
    platform::RecordingSink notice;
    qd->SetReconnectNotice(notice.Handle(), "errors");
    for (int a : c.boxAnswers) prompts.Prompts().PushAnswer(a);
    if (c.before) c.before(*rig, *qd);

    size_t asked = 0;
    std::vector<bool> flags;
    qd->Hooks().reconnectPrompt = [&](bool up) {
        flags.push_back(up);
        if (asked == 1 && c.restartBeforeSecond) rig->clock.Advance(10000);
        return asked < c.answers.size() ? c.answers[asked++] : CQd::kRetryExit;
    };
    owner.Clear();
    const auto start = std::chrono::steady_clock::now();
    qd->ReconnectNode(true);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    platform::PumpMessages();

    EXPECT_EQ(asked, c.answers.size()) << c.name;
    EXPECT_EQ(qd->IsConnected(), c.connectedAfter) << c.name;
    if (c.connectedAfter) {
        EXPECT_EQ(qd->IsOffline(), c.offlineAfter) << c.name;
    }
    if (c.ownerMessage != 0) {
        EXPECT_TRUE(OwnerGot(c.ownerMessage)) << c.name;
    }
    for (const std::string& text : c.told) EXPECT_TRUE(Told(text)) << c.name << ": " << text;
    if (std::string(c.name) == "reconnected") {
        EXPECT_EQ(notice.Count(), 1u);
        uint32_t value = 0;
        EXPECT_EQ(qd->ReadCell("PositionResolution", &value), 0) << qd->LastErrorText();
        EXPECT_FALSE(qd->CyclicReadsPaused()) << "background reads resumed";
    }
    if (c.ownerMessage == kFrameConnectSequenceMessage) {
        EXPECT_NE(std::find(host.events.begin(), host.events.end(), "reset-pages"), host.events.end());
    }
    qd->CloseConnection(true);
}

const ReconnectCase kReconnectCases[] = {
    {"reconnected",
     {1, 1},
     {},
     true,
     [](Rig& r, CQd&) { r.Silence(5000); },
     true,
     false,
     0,
     {"Node not found.", "Node correctly reconnected"}},
    {"not found, then exit",
     {1, 4},
     {},
     false,
     [](Rig& r, CQd&) { r.Silence(60000); },
     true,
     false,
     platform::WM_CLOSE,
     {"Node not found."}},
    {"another drive, new connection",
     {1},
     {platform::IDYES},
     false,
     [](Rig& r, CQd&) {
         r.slave1->ReplaceComponents({{12, 1, 0, 0, 0, 0, {{1, 1}}}, {1234, 3, 0, 0, 0, 0, {{1, 3}}}});
         drivesim::SimDomain text;
         const std::string firmware = "Firmware 1234 v.3.0.0";
         text.bytes.assign(firmware.begin(), firmware.end());
         r.slave1->SetDomain(114, text);
     },
     false,
     false,
     kFrameConnectSequenceMessage,
     {}},
    {"node lost by the engine",
     {1},
     {},
     false,
     [](Rig&, CQd& q) { q.ConnectionWindow().Record().firstNode = 2; },
     false,
     false,
     0,
     {"Internal error, please make a new connection to the node"}},
    {"offline",
     {2},
     {},
     false,
     [](Rig& r, CQd&) { r.Silence(60000); },
     true,
     true,
     0,
     {"Offline mode activated"}},
    {"offline refused by the engine",
     {2, 4},
     {},
     false,
     [](Rig&, CQd& q) { q.ConnectionWindow().Record().firstNode = 2; },
     true,
     false,
     platform::WM_CLOSE,
     {}},
    {"new connection", {3}, {}, false, nullptr, false, false, kFrameConnectSequenceMessage, {}},
    {"exit", {4}, {}, false, nullptr, true, false, platform::WM_CLOSE, {}},
};

INSTANTIATE_TEST_SUITE_P(Drive, ReconnectOutcomes, ::testing::ValuesIn(kReconnectCases),
                         [](const ::testing::TestParamInfo<ReconnectCase>& info) {
                             std::string name;
                             for (const char* p = info.param.name; *p; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

TEST_F(ConnectSequence, OfflineSwitchShowsTheOfflineTitle) {
    Start();
    ASSERT_EQ(ConnectOnline(), 0);
    host.page = CFramePage::MainDialog;
    qd->Hooks().reconnectPrompt = [](bool) { return CQd::kRetryOffline; };
    qd->ReconnectNode(true);
    EXPECT_TRUE(qd->SwitchedOffline());
    EXPECT_EQ(qd->OfflineTitle(), "OFFLINE - Axis 1  - Simulated servo drive");
    EXPECT_EQ(host.titles.back(), "Tunova -  O F F L I N E  - Axis 1 - Simulated servo drive");
    EXPECT_NE(std::find(host.events.begin(), host.events.end(), "refresh-main"), host.events.end());
    qd->CloseConnection(true);
}

TEST_F(ConnectSequence, WithoutADialogTheReconnectGoesOffline) {
    Start();
    ASSERT_EQ(ConnectOnline(), 0);
    rig->Silence(60000);
    qd->ReconnectNode(true);
    EXPECT_TRUE(qd->IsConnected());
    EXPECT_TRUE(qd->IsOffline());
    qd->CloseConnection(true);
}

TEST_F(ConnectSequence, CloseWhileTheSystemManagerThreadIsStuckJoinsIt) {
    Start();
    ASSERT_EQ(ConnectOnline(), 0);
    // A command thread that ignores its event until its stop flag is seen (at most every 100 ms).
    std::atomic<bool> run{true};
    std::atomic<bool> stuckInside{false};
    auto state = std::make_shared<std::vector<int>>(1000, 7);
    std::thread thread([&run, &stuckInside, state] {
        while (run) {
            stuckInside = true;
            (*state)[0] += 1;  // touches memory that must outlive the thread
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    while (!stuckInside) std::this_thread::yield();
    bool joined = false;
    qd->Hooks().stopSystemManager = [&] {
        run = false;
        thread.join();
        joined = true;
    };
    const auto start = std::chrono::steady_clock::now();
    qd->CloseConnection(true);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(joined);
    EXPECT_FALSE(thread.joinable());
    state.reset();
    EXPECT_FALSE(qd->IsConnected());
}

TEST_F(ConnectSequence, CloseTellsThePagesAndReleasesTheNode) {
    Start();
    platform::RecordingSink mainDialog;
    host.mainDialog = mainDialog.Handle();
    ASSERT_EQ(ConnectOnline(), 0);
    qd->CreateTuningGroup(1);
    qd->AcquireIoGroup(4);
    host.events.clear();
    qd->CloseConnection(false);
    platform::PumpMessages();
    ASSERT_EQ(mainDialog.Count(), 1u);
    EXPECT_EQ(mainDialog.Messages()[0].msg, kPageConnectionClosedMessage);
    EXPECT_EQ(qd->Polling().tuningGroup1, -1);
    EXPECT_EQ(qd->Polling().tuningGroup2, -1);
    EXPECT_EQ(qd->Polling().ioGroup, -1);
    EXPECT_EQ(qd->Polling().ioUsers, 0u);
    EXPECT_EQ(host.events.front(), "store-bar");
    EXPECT_NE(std::find(host.events.begin(), host.events.end(), "stop-page-refresh"), host.events.end());
}

TEST_F(ConnectSequence, UserDriveNameGoesDownAndComesBackUp) {
    Start();
    ASSERT_EQ(ConnectOnline(), 0);
    std::string name;
    ASSERT_EQ(qd->UploadString("UserDriveName", name), 0) << qd->LastErrorText();
    EXPECT_EQ(name, "Axis 1");
    ASSERT_EQ(qd->DownloadUserDriveName("Spindle"), 0) << qd->LastErrorText();
    ASSERT_EQ(qd->UploadString("UserDriveName", name), 0) << qd->LastErrorText();
    EXPECT_EQ(name, "Spindle");
    // A name longer than the item is cut to it, never written past it.
    const std::string longName(150, 'n');
    ASSERT_EQ(qd->DownloadUserDriveName(longName), 0) << qd->LastErrorText();
    ASSERT_EQ(qd->UploadString("UserDriveName", name), 0) << qd->LastErrorText();
    EXPECT_EQ(name, std::string(99, 'n'));
    qd->CloseConnection(true);
}

// The description's variables and I/O lists reach the parameter model with the connection, and
// a variable the drive's vocabulary lacks is left out.
TEST_F(ConnectSequence, VariablesAndIoListsComeFromTheDescription) {
    std::string description = ReadText(drivetest::SimDescription());
    const std::string anchor = "<VARIABLE Name=\"ActualPosition\"";
    const size_t at = description.find(anchor);
    ASSERT_NE(at, std::string::npos);
    description.insert(at, "<VARIABLE Name=\"NoSuchVariable\" Title=\"Ghost\"/>");
    Start(description);
    ASSERT_EQ(ConnectOnline(), 0) << qd->ConnectionWindow().LastMessage();
    const CParametri& parameters = qd->Parameters();
    std::vector<std::string> titles;
    for (const auto& v : parameters.variables) titles.push_back(v->title);
    ASSERT_GE(titles.size(), 3u);
    EXPECT_EQ(titles[0], "Actual position");
    EXPECT_EQ(std::count(titles.begin(), titles.end(), "Ghost"), 0) << "not in the drive's vocabulary";
    const auto current = std::find_if(parameters.variables.begin(), parameters.variables.end(),
                                      [](const auto& v) { return v->name == "CurrentActual"; });
    ASSERT_NE(current, parameters.variables.end());
    EXPECT_DOUBLE_EQ((*current)->factor, 0.001);
    EXPECT_EQ((*current)->decimals, 3);
    ASSERT_EQ(parameters.ioLists.size(), 16u);
    EXPECT_EQ(parameters.ioLists[0]->vocabularyName, "DigitalInput0Function");
    EXPECT_EQ(parameters.ioLists[0]->analog, 0u);
    EXPECT_FALSE(parameters.ioLists[0]->elements.empty());
    EXPECT_EQ(parameters.ioLists[8]->mode, 1u) << "the first output";
    EXPECT_EQ(parameters.ioLists[12]->analog, 1u);
    EXPECT_EQ(qd->Description().debounceTime, 2);
    qd->CloseConnection(true);
    // A second connection reads them again, not twice.
    ASSERT_EQ(ConnectOnline(), 0);
    EXPECT_EQ(qd->Parameters().ioLists.size(), 16u);
    EXPECT_EQ(qd->Parameters().variables.size(), titles.size());
    qd->CloseConnection(true);
}

TEST_F(ConnectSequence, AccessKeyIsWrittenWhenItDiffers) {
    Start();
    ASSERT_EQ(ConnectOnline(), 0);
    ASSERT_TRUE(rig->model->Set("enabling_key", 1234));
    qd->WriteAccessKey();
    EXPECT_EQ(*rig->model->ReadValue("enabling_key"),
              static_cast<int64_t>(GetAuthorizations().GetCurrentCode()));
    qd->CloseConnection(true);
}

TEST_F(ConnectSequence, TheProgramMachineIsOpenedOnlineOnly) {
    Start();
    int ready = 0;
    uint16_t messageSize = 0;
    qd->Hooks().programMachineReady = [&](const engine::CVMComm& vm) {
        ++ready;
        messageSize = vm.MaxMessageSize();
    };
    ASSERT_EQ(ConnectOnline(), 0);
    EXPECT_EQ(ready, 1);
    EXPECT_GT(messageSize, 0) << "the opening exchange sized the machine's messages";
    qd->CloseConnection(true);

    const std::filesystem::path file = rig->tree.Root() / "host.xml";
    std::ofstream(file)
        << "<DEVICE_PARAMETER Version=\"2\"><DEVICE Hw=\"12\" Type=\"1234\" SwRev=\"2\" "
           "HwRev=\"1\" Descr=\"Simulated servo drive\"><PARAMETERS/></DEVICE></DEVICE_PARAMETER>";
    qd->PeerLink().m_file.m_fromFiles = true;
    qd->PeerLink().m_paramFile = file.string();
    ASSERT_EQ(qd->Connect(), 0);
    EXPECT_EQ(ready, 1) << "an offline node has no program machine";
    qd->CloseConnection(true);
}

// A host-mode offline drive of the newer naming without a motor gets the configuration hint.
TEST_F(ConnectSequence, MotorHelpForAHostConfigurationWithoutAMotor) {
    struct Case {
        const char* name;
        const char* motorValue;  // nullptr: the file has no motor identifier
        bool createDefault;
        bool shown;
    };
    const Case cases[] = {
        {"no motor identifier in the file", nullptr, false, true},
        {"a zero motor identifier", "00000000-0000-0000-0000-000000000000", false, true},
        {"a motor", "0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0", false, false},
    };
    std::string description = ReadText(drivetest::SimDescription());
    description = Replaced(description, "group=\"1\"", "group=\"11\"");
    description = Replaced(description, "name=\"MotorGuid\"", "name=\"Motor.Guid\"");
    Start(description);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::filesystem::path file = rig->tree.Root() / "host.xml";
        std::string data;
        if (c.motorValue) data = std::string("<DATA Name=\"Motor.Guid\" Value=\"") + c.motorValue + "\"/>";
        std::ofstream(file) << "<DEVICE_PARAMETER Version=\"2\"><DEVICE Hw=\"12\" Type=\"1234\" SwRev=\"2\" "
                               "HwRev=\"1\" Descr=\"Simulated servo drive\"><PARAMETERS>"
                            << data << "</PARAMETERS></DEVICE></DEVICE_PARAMETER>";
        qd->PeerLink().m_file.m_fromFiles = true;
        qd->PeerLink().m_paramFile = file.string();
        qd->PeerLink().m_title = "Axis 7";
        qd->PeerLink().m_createDefaultParamFile = c.createDefault;
        std::vector<std::string> shown;
        qd->Hooks().showMotorHelp = [&](const std::string& caption) { shown.push_back(caption); };
        ASSERT_EQ(qd->Connect(), 0) << qd->ConnectionWindow().LastMessage();
        ASSERT_TRUE(qd->IsOffline());
        EXPECT_EQ(qd->MotorIdCell(), "Motor.Guid");
        EXPECT_EQ(shown, c.shown ? std::vector<std::string>{"Axis 7"} : std::vector<std::string>{});
        qd->CloseConnection(true);
    }
}

}  // namespace
