// Polling groups of the drive object and the pause and resume of its background activity, against
// the simulated drive; the watch thread is a stand-in whose states follow its requests.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "drive/Qd.h"
#include "engine/Main.h"
#include "foundation/MessageIds.h"
#include "platform/Messages.h"
#include "tests/drive/DriveObjectTestSupport.h"

using namespace drive;
using foundation::kGroupChangeMessage;

namespace {

// A watch thread that pauses, stops and gets ready as it is asked (unless told to hang), and
// writes what it is asked into a shared log.
struct FakeWatch {
    explicit FakeWatch(std::vector<std::string>& log) : log_(log) {}
    void Install(CQd& qd) {
        CQd::CWatchSeam& seam = qd.WatchSeam();
        seam.running = [this] { return running; };
        seam.start = [this] {
            log_.push_back("watch start");
            running = true;
            return true;
        };
        seam.stop = [this] {
            log_.push_back("watch stop");
            running = false;
        };
        seam.state = [this](int a) { return state[a]; };
        seam.request = [this](int a) { return request[a]; };
        seam.setRequest = [this](int a, int r) {
            log_.push_back("watch " + std::to_string(a) + " request " + std::to_string(r));
            request[a] = r;
            if (!hangs) state[a] = r == 1 ? 4 : r;
        };
    }
    bool running = false;
    bool hangs = false;
    int state[2] = {4, 4};
    int request[2] = {1, 1};

  private:
    std::vector<std::string>& log_;
};

class LoggingHost : public CQdHost {
  public:
    explicit LoggingHost(std::vector<std::string>& log) : log_(log) {}
    void PauseBackgroundPolls() override { log_.push_back("polls pause"); }
    void ResumeBackgroundPolls() override { log_.push_back("polls resume"); }

  private:
    std::vector<std::string>& log_;
};

class PollingGroups : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        port = drive.sim.StartPty(&error);
        ASSERT_FALSE(port.empty()) << error;
        enginetest::RegisterPort("pollinggroups", port);
        qd = std::make_unique<CQd>(0);
        qd->SetHost(&host);
        watch.Install(*qd);
        qd->SetSleeper([this](int ms) { slept += ms; });
        qd->ConnectionWindow().SetConnectionString(port + ":timeout 500");
        ASSERT_EQ(qd->Connect(), 0) << qd->ConnectionWindow().LastMessage();
        log.clear();
    }
    void TearDown() override {
        if (qd) qd->CloseConnection(true);
        qd.reset();
        enginetest::UnregisterPort("pollinggroups");
        platform::PumpMessages();
    }
    // Pumps the window messages until the cell is read or two seconds pass.
    // The cyclic thread writes the cells: they are looked at only while it stands paused.
    bool WaitValid(const std::string& name) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (std::chrono::steady_clock::now() < until) {
            platform::PumpMessages();
            EXPECT_EQ(Engine().PauseCyclicThread(), 0);
            const CParamDw* cell = qd->CurrentSet().FindNamed(name);
            const bool valid = cell && cell->status == kCellValid;
            Engine().ResumeCyclicThread();
            if (valid) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    engine::CMain& Engine() { return *qd->ConnectionWindow().Engine(); }

    drivetest::DriveTree tree;
    enginetest::PromptScope prompts;
    drivetest::SimulatedDrive drive;
    std::vector<std::string> log;
    LoggingHost host{log};
    FakeWatch watch{log};
    int slept = 0;
    std::string port;
    std::unique_ptr<CQd> qd;
};

TEST_F(PollingGroups, TheConnectStartsTheWatchAndTheStatusGroups) {
    EXPECT_TRUE(watch.running);
    EXPECT_EQ(watch.request[0], 3) << "both requests are set to 3 at connect";
    EXPECT_EQ(watch.request[1], 3);
    const CQd::CPollingState& p = qd->Polling();
    for (int id : {p.stateGroup, p.motionGroup, p.unitsGroup}) EXPECT_TRUE(Engine().GroupExists(id)) << id;
    EXPECT_EQ(p.groupTimeBase, 997);
    // Cells of each status group arrive from the drive, and the mode display is dispatched.
    for (const char* name : {"DriveAlarm", "statusword", "ActualPosition", "Polarity"})
        EXPECT_TRUE(WaitValid(name)) << name;
    EXPECT_TRUE(WaitValid("ModeOfOperationDisplay"));
    EXPECT_TRUE(qd->Polling().firstModeSeen);
    EXPECT_EQ(qd->Polling().currentMode,
              static_cast<int8_t>(*drive.model->ReadValue("ModeOfOperationDisplay") & 0xFF));
    // Cells no status group holds are never read.
    EXPECT_EQ(qd->CurrentSet().FindNamed("KP_IQ"), nullptr);
}

TEST_F(PollingGroups, TuningGroupsLiveWhileAUserHoldsThem) {
    qd->CreateTuningGroup(1);
    const int first = qd->Polling().tuningGroup1, second = qd->Polling().tuningGroup2;
    ASSERT_TRUE(Engine().GroupExists(first));
    ASSERT_TRUE(Engine().GroupExists(second));
    EXPECT_EQ(qd->Polling().estimateKind, 3) << "the drive estimates its loop bandwidths";
    EXPECT_TRUE(WaitValid("KP_IQ"));
    EXPECT_TRUE(WaitValid("SpeedLoopBWEstimated"));
    EXPECT_TRUE(WaitValid("DegaussTypeFilter") ||
                qd->CurrentSet().FindNamed("DegaussTypeFilter")->status == 1);

    // A second user creates nothing.
    qd->CreateTuningGroup(2);
    EXPECT_EQ(qd->Polling().tuningGroup1, first);
    EXPECT_EQ(qd->Polling().tuningGroup2, second);
    EXPECT_EQ(qd->Polling().tuningUsers, 3u);

    struct Release {
        uint32_t mask;
        int result;
        bool groupsLeft;
    };
    const Release steps[] = {
        {1, static_cast<int>(~1u), true}, {8, static_cast<int>(~8u), true}, {2, 0, false}};
    for (const Release& r : steps) {
        EXPECT_EQ(qd->ReleaseGroups(r.mask), r.result) << r.mask;
        EXPECT_EQ(qd->Polling().tuningGroup1 >= 0, r.groupsLeft) << r.mask;
    }
    EXPECT_FALSE(Engine().GroupExists(first));
    EXPECT_FALSE(Engine().GroupExists(second));

    // -1 removes both whatever the mask held.
    qd->CreateTuningGroup(0x10);
    qd->CreateTuningGroup(0x20);
    EXPECT_EQ(qd->ReleaseGroups(static_cast<uint32_t>(-1)), 0);
    EXPECT_EQ(qd->Polling().tuningGroup1, -1);
    EXPECT_EQ(qd->Polling().tuningGroup2, -1);
    EXPECT_EQ(qd->Polling().tuningUsers, 0u);
}

TEST_F(PollingGroups, IoGroupAndCellPresence) {
    qd->AcquireIoGroup(1);
    const int io = qd->Polling().ioGroup;
    EXPECT_TRUE(Engine().GroupExists(io));
    qd->AcquireIoGroup(2);
    EXPECT_EQ(qd->Polling().ioGroup, io);
    qd->ReleaseIoGroup(1);
    EXPECT_TRUE(Engine().GroupExists(io));
    qd->ReleaseIoGroup(2);
    EXPECT_EQ(qd->Polling().ioGroup, -1);
    EXPECT_FALSE(Engine().GroupExists(io));

    CParamDw absent, present;
    EXPECT_FALSE(qd->IsCellPresent("NoSuchItem", absent));
    EXPECT_EQ(absent.status, kCellNonexistent);
    EXPECT_TRUE(qd->IsCellPresent("EnableCrossDecoupling", present));
    EXPECT_EQ(present.status, kCellValid);
}

TEST_F(PollingGroups, AMotorTypeChangeReplacesTheStatusGroupsOutsideTheirNotice) {
    const int stateGroup = qd->Polling().stateGroup;
    CParamDw& motorType = qd->CurrentSet().Named("MotorType");
    ASSERT_EQ(motorType.userTag, CQd::kTagMotorType);
    ASSERT_FALSE(qd->Identity().linearMotor);
    qd->Polling().groupTimeBase = -5;  // only a re-creation sets it again

    motorType.value = 1;  // linear, older naming
    qd->OnGroupCellUpdate(motorType);
    EXPECT_TRUE(qd->Identity().linearMotor);
    EXPECT_TRUE(qd->Units().IsLinear());
    EXPECT_EQ(qd->Polling().groupTimeBase, -5) << "nothing is re-created inside the notice";
    EXPECT_TRUE(Engine().GroupExists(stateGroup));
    qd->OnGroupCellUpdate(motorType);  // a second notice queues no second re-creation

    platform::PumpMessages();
    EXPECT_EQ(qd->Polling().groupTimeBase, 997);
    EXPECT_TRUE(Engine().GroupExists(qd->Polling().stateGroup));

    // The same motor type again changes nothing.
    qd->Polling().groupTimeBase = -5;
    qd->OnGroupCellUpdate(motorType);
    platform::PumpMessages();
    EXPECT_EQ(qd->Polling().groupTimeBase, -5);
}

TEST_F(PollingGroups, ALoopTypeChangeKeepsThePositionUnitTheUserChose) {
    qd->Units().SelectPositionUnit(CUnitConversion::kCustomCode);
    CParamData& set = qd->CurrentSet();
    CParamDw& loopType = set.Named("CurrentLoopType");
    loopType.SetRead(loopType.value + 1);
    CParamDw& resolution = set.Named("PositionResolution");
    ASSERT_EQ(resolution.userTag, CQd::kTagUnits);
    qd->OnGroupCellUpdate(resolution);
    EXPECT_EQ(qd->Units().positionBase, loopType.value);
    EXPECT_EQ(qd->Units().SelectedCode(CUnitConversion::kPosition), CUnitConversion::kCustomCode);
}

TEST_F(PollingGroups, ANoticeForACellTheDriveObjectDoesNotKnowIsLeftAlone) {
    // A page's cell that is gone by the time its notice is handled: its address is not followed.
    auto* gone = new CParamDw();
    const auto address = reinterpret_cast<std::uintptr_t>(gone);
    delete gone;
    ASSERT_TRUE(platform::PostMessage(qd->ConnectionWindow().Handle(), kGroupChangeMessage, address, 0));
    platform::PumpMessages();
    SUCCEED();
}

TEST_F(PollingGroups, PauseAndResumeRunInOrder) {
    ASSERT_TRUE(Engine().NodeguardRunning());
    watch.request[0] = 1;
    watch.request[1] = 1;
    watch.state[0] = watch.state[1] = 4;
    ASSERT_EQ(qd->PauseBackgroundReads(), 0);
    EXPECT_TRUE(qd->CyclicReadsPaused());
    EXPECT_FALSE(Engine().NodeguardRunning());
    const std::vector<std::string> paused = {"polls pause", "watch 0 request 2", "watch 1 request 2"};
    EXPECT_EQ(log, paused);

    // A transfer while paused: the engine's own reads still work.
    std::string name;
    EXPECT_EQ(qd->UploadString("UserDriveName", name), 0) << qd->LastErrorText();

    log.clear();
    ASSERT_EQ(qd->ResumeBackgroundReads(), 0);
    const std::vector<std::string> resumed = {"watch 0 request 1", "watch 1 request 1", "polls resume"};
    EXPECT_EQ(log, resumed);
    EXPECT_FALSE(qd->CyclicReadsPaused());
    EXPECT_TRUE(Engine().NodeguardRunning());
}

TEST_F(PollingGroups, AWatchThreadThatNeverPausesIsWaitedForAtMostFourSeconds) {
    watch.hangs = true;
    watch.state[0] = watch.state[1] = 4;
    EXPECT_FALSE(qd->PauseWatchThread());
    EXPECT_EQ(slept, 2 * 4000) << "10 ms steps up to 4000 ms for each activity, on the test's clock";
    slept = 0;
    EXPECT_FALSE(qd->WaitWatchThreadReady(500) && watch.state[0] != 4);
    watch.state[0] = 3;
    EXPECT_FALSE(qd->WaitWatchThreadReady(500));
    EXPECT_EQ(slept, 0) << "a stopped watch ends the wait at once";
    watch.state[0] = 4;
    EXPECT_TRUE(qd->WaitWatchThreadReady(500));
    EXPECT_TRUE(qd->StopWatchThread());
    EXPECT_FALSE(watch.running);
}

TEST(DecodeFirmware, ElementOrItsCode) {
    const std::filesystem::path fixtures = TUNOVA_FIXTURES;
    std::ifstream in(fixtures / "engine" / "vocabulary" / "firmware_ok.txt");
    const std::string xml((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<uint8_t> data{1, 2, 3};
    ASSERT_EQ(DecodeFirmwareElement(xml, data), 0);
    EXPECT_EQ(std::string(data.begin(), data.end()), "tiny image");
    EXPECT_EQ(DecodeFirmwareElement("<DEVICE/>", data), 16);
    EXPECT_TRUE(data.empty());
    data = {9};
    EXPECT_EQ(DecodeFirmwareElement("<FIRMWARE>abc", data), 17);
    EXPECT_TRUE(data.empty());
}

}  // namespace

namespace {

// Index look-ups for the device archive dialogs: the product test comes from the caller.
TEST(CompatibleDescriptions, FoundInTheIndexNewestAcceptedFirst) {
    drivetest::DriveTree tree;
    enginetest::PromptScope prompts;
    std::ifstream in(drivetest::SimDescription());
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string header = "sw_ver=\"2\"";
    ASSERT_NE(text.find(header), std::string::npos);
    std::string newer = text;
    newer.replace(newer.find(header), header.size(), "sw_ver=\"3\"");
    const std::string version = "<Version major=\"2\"";
    newer.replace(newer.find(version), version.size(), "<Version major=\"3\"");
    // The brand mark follows the software code and version.
    const std::string mark = "oem=\"126669\"";
    ASSERT_NE(newer.find(mark), std::string::npos);
    newer.replace(newer.find(mark), mark.size(), "oem=\"127903\"");
    const size_t afterRoot = newer.find('>', newer.find("<DEVICE")) + 1;
    newer.insert(afterRoot, "<COMPATIBILITY tag=\"three\"/>");
    std::ofstream(tree.Root() / "tree" / "1234_2_4_1.xml") << newer;

    CQd qd(0);
    std::vector<std::string> seen;
    auto all = [&seen](const foundation::CXmlNode* block) {
        seen.push_back(block ? block->GetAttribute("tag") : std::string("none"));
        return true;
    };
    auto notThree = [](const foundation::CXmlNode* block) {
        return !block || block->GetAttribute("tag") != "three";
    };

    foundation::CXmlDocument out;
    out.Root().SetName("Found");
    ASSERT_TRUE(qd.FindCompatibleDescriptions(12, 1234, 0, all, out.Root()));
    EXPECT_EQ(out.Root().GetChildCount(), 2);
    foundation::CXmlDocument some;
    some.Root().SetName("Found");
    ASSERT_TRUE(qd.FindCompatibleDescriptions(12, 1234, 0, notThree, some.Root()));
    ASSERT_EQ(some.Root().GetChildCount(), 1);
    EXPECT_EQ(some.Root().Children()[0]->GetAttributeInt("sw_ver", 0), 2);
    foundation::CXmlDocument none;
    EXPECT_FALSE(qd.FindCompatibleDescriptions(13, 1234, 0, all, none.Root()));

    foundation::CXmlDocument compatibility;
    std::string path;
    ASSERT_TRUE(qd.FindConfigurationFile(12, 1234, 0, all, compatibility, path));
    EXPECT_EQ(std::filesystem::path(path).filename(), "1234_2_4_1.xml");
    EXPECT_EQ(compatibility.Root().GetAttribute("tag"), "three");
    ASSERT_TRUE(qd.FindConfigurationFile(12, 1234, 0, notThree, compatibility, path));
    EXPECT_EQ(std::filesystem::path(path).filename(), "1234_2_3_1.xml");
    EXPECT_FALSE(qd.FindConfigurationFile(
        12, 1234, 0, [](const foundation::CXmlNode*) { return false; }, compatibility, path));
}

}  // namespace

namespace {

// The engine's domain-upload notices reach the window that asked for them, as they came.
TEST(ConnectionWindowForward, DomainNoticesGoToTheRegisteredWindow) {
    enginetest::DescriptionTree tree;
    enginetest::PromptScope prompts;
    CQd qd(0);
    const platform::WindowHandle window = qd.ConnectionWindow().Handle();
    ASSERT_TRUE(platform::PostMessage(window, foundation::kDomainUploadMessage, 2, 42));
    platform::PumpMessages();  // nobody registered: dropped

    platform::RecordingSink target;
    qd.ConnectionWindow().SetForwardTarget(target.Handle(), platform::WM_USER + 77);
    ASSERT_TRUE(platform::PostMessage(window, foundation::kDomainUploadMessage, 3, -5));
    platform::PumpMessages();
    ASSERT_EQ(target.Count(), 1u);
    const platform::Message m = target.Messages()[0];
    EXPECT_EQ(m.msg, platform::WM_USER + 77);
    EXPECT_EQ(m.wParam, 3u);
    EXPECT_EQ(m.lParam, -5);
}

}  // namespace
