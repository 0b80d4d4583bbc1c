// The firmware download dialog's logic: the confirmations, both progress tables and the workers of
// the system-manager path, against a scripted drive and a simulated clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/CompatChecker.h"
#include "foundation/MessageIds.h"
#include "foundation/XmlDocument.h"
#include "packages/FirmwareDownload.h"
#include "platform/Clock.h"
#include "platform/Messages.h"
#include "platform/Prompt.h"
#include "tests/support/PromptScope.h"

using namespace packages;

namespace {

using platformtest::PromptScope;

// The drive as the dialog sees it; the worker calls are thread-safe.
class FakeDrive : public CFirmwareDownloadDrive {
  public:
    explicit FakeDrive(platform::Clock& clock) : clock_(clock) {}
    bool HasEngine() override { return engine; }
    bool HasSystemManager() override { return systemManager; }
    bool KnowsCommand(const std::string& name) override { return name != unknownCommand; }
    int RunCommand(const std::string& name, int) override {
        commands.push_back(name);
        if (name == "SYS_CV_RESTART_FW_TOTALE") rebootAt = clock_.NowMs();
        return name == failingCommand ? 7 : 0;
    }
    void PauseBackgroundReads() override { ++pauses; }
    void ResumeBackgroundReads() override { ++resumes; }
    int PrepareFirmware(const std::string&, platform::WindowHandle, bool) override { return prepareResult; }
    int StartDownload(bool release, uint32_t delayMs) override {
        if (release) {
            ++releases;
            return 0;
        }
        downloadDelay = delayMs;
        return downloadResult;
    }
    void AbortDownload() override {
        std::lock_guard lock(mutex_);
        aborted = true;
        cv_.notify_all();
    }
    void Report(const std::string& text, const std::string&) override { reports.push_back(text); }
    bool IsXulFamily() override { return xul; }
    int32_t HardwareCode() override { return hardware; }

    int SendFirmware(engine::CDownloadFw& request) override {
        sentFile = request.fileName;
        if (!sendBlocks) return sendResult;
        // As the engine's transfer: runs until it is aborted.
        std::unique_lock lock(mutex_);
        sending = true;
        cv_.notify_all();
        cv_.wait(lock, [this] { return aborted; });
        return 307;
    }
    int HasCell(const std::string&) override { return hasUnpackCell ? 0 : -303; }
    int ReadCell(const std::string& name, uint32_t* value) override {
        if (name == "SystemManagerError") {
            *value = unpackError;
            return 0;
        }
        *value = std::min<int64_t>(100, (clock_.NowMs() - rebootAt0) / 100);
        return 0;
    }
    bool SystemManagerBusy() override { return busyForever; }
    bool DeviceAnswers() override { return answerAfterMs >= 0 && clock_.NowMs() - rebootAt >= answerAfterMs; }

    bool WaitSending() {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, std::chrono::seconds(20), [this] { return sending; });
    }

    bool engine = true, systemManager = false, xul = false;
    bool sendBlocks = false, hasUnpackCell = false, busyForever = false;
    int prepareResult = 0, downloadResult = 0, sendResult = 0;
    uint32_t unpackError = 0;
    int32_t hardware = 12;
    std::string unknownCommand = "none", failingCommand = "none";
    std::atomic<int64_t> rebootAt{0}, rebootAt0{0};
    std::atomic<int64_t> answerAfterMs{-1};
    std::atomic<int> pauses{0}, resumes{0}, releases{0};
    uint32_t downloadDelay = 0;
    std::vector<std::string> commands, reports;
    std::string sentFile;
    bool aborted = false, sending = false;

  private:
    platform::Clock& clock_;
    std::mutex mutex_;
    std::condition_variable cv_;
};

struct FakeView : CFirmwareDownloadView {
    void SetStatus(const std::string& text) override {
        status = text;
        shown.push_back(text);
    }
    // The idle reset empties the status at once: what was shown on the way.
    bool Showed(const std::string& text) const {
        return std::find(shown.begin(), shown.end(), text) != shown.end();
    }
    std::vector<std::string> shown;
    void ShowBar(bool show) override { bar = show; }
    void SetRange(int low, int high) override { range = {low, high}; }
    void SetPosition(int p) override { position = p; }
    void SetButton(const std::string& text, bool enabled) override {
        button = text;
        buttonEnabled = enabled;
    }
    void EnableControls(bool enable) override { controls = enable; }
    void Close(int code) override { closed.push_back(code); }
    std::string status, button = "Download";
    bool bar = false, buttonEnabled = true, controls = true;
    std::pair<int, int> range{0, 0};
    int position = 0;
    std::vector<int> closed;
};

// The dialog's window as far as messages go: both progress messages reach the logic.
class Harness : public platform::MessageSink {
  public:
    explicit Harness(platform::Clock& clock) : drive(clock) {
        handle = platform::RegisterSink(this);
        logic = std::make_unique<CFirmwareDownloadLogic>(drive, view, handle, clock, options);
    }
    ~Harness() override {
        logic.reset();
        platform::UnregisterSink(handle);
    }
    void OnMessage(const platform::Message& m) override {
        states.push_back(m.wParam);
        if (m.msg == foundation::kFirmwareInstallMessage) logic->OnInstallProgress(m.wParam, m.lParam);
        if (m.msg == foundation::kFirmwareDownloadMessage) logic->OnDownloadProgress(m.wParam, m.lParam);
    }
    // Pumps until the dialog closed or the idle reset came back, with a generous limit.
    bool PumpUntil(const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < end) {
            platform::PumpMessages();
            if (done()) return true;
            platform::WaitForMessages(50);
        }
        return false;
    }

    PromptScope prompts;
    FakeDrive drive;
    FakeView view;
    CFirmwareDownloadOptions options;
    platform::WindowHandle handle = 0;
    std::unique_ptr<CFirmwareDownloadLogic> logic;
    std::vector<uintptr_t> states;
};

CFirmwareEntry Entry() {
    CFirmwareEntry e;
    e.description = "Firmware 2111 v. 14.0.0";
    e.product = "2111";
    e.version = "14.0.0";
    e.file = "fw.xml";
    e.hardwareCode = 12;
    return e;
}

CFirmwareEntry SystemManagerEntry(const std::string& install) {
    CFirmwareEntry e = Entry();
    e.sendCommand = "SYS_CV_DOWNLOAD_FIRMWARE_FILE";
    e.installCommand = install;
    return e;
}

}  // namespace

// ---- confirmations -------------------------------------------------------------------------------

TEST(FirmwareDownloadConfirm, AsksWhatTheEntryCallsForAndStopsOnCancel) {
    struct Case {
        const char* name;
        void (*edit)(CFirmwareEntry&, CFirmwareDownloadOptions&);
        const char* asked;  // start of the question (empty: none)
        bool goesOnWhenYes;
    };
    const Case cases[] = {
        {"compatible", [](CFirmwareEntry&, CFirmwareDownloadOptions&) {}, "", true},
        {"incompatible",
         [](CFirmwareEntry& e, CFirmwareDownloadOptions&) { e.incompatibility = "needs boot 3"; },
         "The selected firmware is not compatible with the drive current status!", false},
        {"incompatible, debug",
         [](CFirmwareEntry& e, CFirmwareDownloadOptions& o) {
             e.incompatibility = "needs boot 3";
             o.debug = true;
         },
         "The selected firmware is not compatible with the drive current status.\r\n", true},
        {"boot", [](CFirmwareEntry& e, CFirmwareDownloadOptions&) { e.role = 2; },
         "A boot file has been selected!", true},
        {"2111 below 14", [](CFirmwareEntry& e, CFirmwareDownloadOptions&) { e.version = "13.9.0"; },
         "Not all features are ensured with the selected firmware! Continue?", true},
        {"2111 below 14, warning off",
         [](CFirmwareEntry& e, CFirmwareDownloadOptions& o) {
             e.version = "13.9.0";
             o.featureWarningOff = true;
         },
         "", true},
        {"same type, other hardware",
         [](CFirmwareEntry& e, CFirmwareDownloadOptions&) { e.hardwareCode = 13; },
         "The selected firmware is made for hardware 13, the drive is hardware 12.", true},
    };
    for (const Case& c : cases) {
        for (int answer : {platform::IDYES, platform::IDCANCEL}) {
            SCOPED_TRACE(c.name + std::string(answer == platform::IDYES ? " yes" : " cancel"));
            platform::FakeClock clock;
            PromptScope prompts;
            FakeDrive drive(clock);
            FakeView view;
            CFirmwareEntry entry = Entry();
            CFirmwareDownloadOptions options;
            c.edit(entry, options);
            CFirmwareDownloadLogic logic(drive, view, 0, clock, options);
            prompts.Prompts().PushAnswer(answer);
            const bool on = logic.Confirm(entry);
            const auto asked = prompts.Prompts().Asked();
            if (std::string(c.asked).empty()) {
                EXPECT_TRUE(asked.empty());
                EXPECT_TRUE(on);
                continue;
            }
            ASSERT_EQ(asked.size(), 1u);
            EXPECT_EQ(asked[0].text.rfind(c.asked, 0), 0u) << asked[0].text;
            EXPECT_EQ(on, c.goesOnWhenYes && answer == platform::IDYES);
        }
    }
}

TEST(FirmwareDownloadConfirm, RequirementNoAbandonsBeforeAnythingIsPaused) {
    Harness h(platform::SystemClock());
    CFirmwareEntry entry = Entry();
    entry.requirement = "To handle this firmware is requested Tunova build 900 or greater";
    h.prompts.Prompts().PushAnswer(platform::IDNO);
    h.logic->OnDownload(&entry);
    EXPECT_EQ(h.drive.pauses, 0);
    EXPECT_FALSE(h.logic->Running());
    ASSERT_EQ(h.prompts.Prompts().AskedCount(), 1u);
    EXPECT_NE(h.prompts.Prompts().Asked()[0].text.find("Proceed anyway with the download?"),
              std::string::npos);
}

// ---- the direct path -----------------------------------------------------------------------------

TEST(FirmwareDownloadDirect, ProgressTable) {
    struct Row {
        uintptr_t state;
        intptr_t value;
        const char* status;  // null: unchanged
        std::pair<int, int> range;
        int position;
    };
    const Row rows[] = {
        {10, 500, "Erasing Flash...", {0, 500}, 0},
        {11, 120, nullptr, {0, 500}, 120},
        {14, 300, "Downloading fw.xml ...", {0, 500}, 300},
        {30, 0, "Checking crc...", {0, 500}, 300},
        {31, 0, "Erasing Flash...", {0, 500}, 300},
        {32, 700, "Downloading fw.xml ...", {-700, 0}, -700},
        {33, 200, nullptr, {-700, 0}, -200},
        {34, 0, "Starting...", {-700, 0}, -200},
        {37, 0, "Transferring firmware to the master...", {-700, 0}, -200},
        {39, 0, "Firmware reset...", {-700, 0}, -200},
        {40, 0, "Changing node to bootstrap...", {-700, 0}, -200},
        {41, 50, "Downloading fw.xml (FoE) ...", {-700, 0}, 50},
        {42, 0, "Restoring previous node state...", {-700, 0}, 50},
        {9, 0, nullptr, {-700, 0}, 50},
        {43, 0, nullptr, {-700, 0}, 50},
    };
    Harness h(platform::SystemClock());
    CFirmwareEntry entry = Entry();
    h.logic->OnDownload(&entry);
    ASSERT_TRUE(h.logic->Running());
    EXPECT_FALSE(h.view.controls);
    std::string status;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.state);
        EXPECT_EQ(h.logic->OnDownloadProgress(row.state, row.value), 1);
        if (row.status) status = row.status;
        EXPECT_EQ(h.view.status, status);
        EXPECT_EQ(h.view.range, row.range);
        EXPECT_EQ(h.view.position, row.position);
    }
    EXPECT_TRUE(h.view.closed.empty());
}

TEST(FirmwareDownloadDirect, PreparedStartsTheDownloadWithTheFamilysDelay) {
    for (bool xul : {false, true}) {
        Harness h(platform::SystemClock());
        h.drive.xul = xul;
        h.drive.systemManager = true;
        CFirmwareEntry entry = Entry();  // no send command: direct path
        h.logic->OnDownload(&entry);
        h.logic->OnDownloadProgress(38, 0);
        EXPECT_EQ(h.drive.downloadDelay, xul ? 100u : 1500u);
        EXPECT_EQ(h.drive.commands, std::vector<std::string>{"SYS_CV_DOWNLOAD_RQ_FROM_BOOT"});
        EXPECT_EQ(h.view.button, "Abort");
        EXPECT_TRUE(h.view.buttonEnabled);
    }
}

// Every end of a paused download gives the polling back exactly once, the successful one too.
TEST(FirmwareDownloadDirect, EveryEndResumesPollingOnce) {
    struct Case {
        const char* name;
        void (*setup)(FakeDrive&);
        std::vector<std::pair<uintptr_t, intptr_t>> states;
        int closedWith;  // 1: not closed
        const char* report;
    };
    const Case cases[] = {
        {"completed", [](FakeDrive&) {}, {{38, 0}, {35, 700}}, 0, nullptr},
        {"interrupted",
         [](FakeDrive&) {},
         {{38, 0}, {36, 0x12}},
         kInterruptedCloseCode,
         "Download interrupted: error 18(0x12)"},
        {"start refused",
         [](FakeDrive& d) { d.downloadResult = 3; },
         {{38, 0}},
         3,
         "Download firmware error"},
        {"boot request refused",
         [](FakeDrive& d) {
             d.systemManager = true;
             d.failingCommand = "SYS_CV_DOWNLOAD_RQ_FROM_BOOT";
         },
         {{38, 0}},
         7,
         nullptr},
        {"prepare refused", [](FakeDrive& d) { d.prepareResult = 5; }, {}, 1, "Error preparing firmware"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h(platform::SystemClock());
        c.setup(h.drive);
        h.prompts.Prompts().SetDefaultAnswer(platform::IDOK);
        CFirmwareEntry entry = Entry();
        h.logic->OnDownload(&entry);
        for (auto [state, value] : c.states) h.logic->OnDownloadProgress(state, value);
        // A late message after the end changes nothing.
        if (c.closedWith != 1) h.logic->OnDownloadProgress(36, 1);
        EXPECT_EQ(h.drive.pauses, 1);
        EXPECT_EQ(h.drive.resumes, 1);
        if (c.closedWith == 1)
            EXPECT_TRUE(h.view.closed.empty());
        else
            EXPECT_EQ(h.view.closed, std::vector<int>{c.closedWith});
        if (c.report) {
            ASSERT_FALSE(h.drive.reports.empty());
            EXPECT_EQ(h.drive.reports[0], c.report);
        }
        if (std::string(c.name) == "prepare refused") {
            EXPECT_EQ(h.drive.releases, 1);
        }
    }
}

// ---- the system-manager path ---------------------------------------------------------------------

TEST(FirmwareDownloadInstall, ProgressTable) {
    Harness h(platform::SystemClock());
    h.drive.systemManager = true;
    h.drive.sendResult = 1;  // the worker's own end is not under test here
    CFirmwareEntry entry = SystemManagerEntry("");
    h.logic->OnDownload(&entry);
    ASSERT_TRUE(h.PumpUntil([&] { return !h.logic->WorkersRunning(); }));
    h.logic->OnInstallProgress(10, 800);
    EXPECT_EQ(h.view.status, "Sending fw.xml to device...");
    EXPECT_EQ(h.view.range, std::make_pair(0, 800));
    EXPECT_TRUE(h.view.bar);
    EXPECT_EQ(h.view.button, "Abort");
    h.logic->OnInstallProgress(11, 400);
    EXPECT_EQ(h.view.position, 400);
    h.logic->OnInstallProgress(32, 600);
    EXPECT_EQ(h.view.range, std::make_pair(-600, 0));
    EXPECT_EQ(h.view.position, -600);
    h.logic->OnInstallProgress(33, 100);
    EXPECT_EQ(h.view.position, -100);
    for (auto [state, text] : {std::pair<uintptr_t, const char*>{30, "Checking crc..."},
                               {37, "Transferring firmware to the master..."},
                               {43, "Installing..."}}) {
        h.logic->OnInstallProgress(state, 0);
        EXPECT_EQ(h.view.status, text);
    }
    h.logic->OnInstallProgress(47, 0);
    EXPECT_EQ(h.view.status, "Installing...");
}

TEST(FirmwareDownloadInstall, SendFailureResumesOnceAndGoesIdle) {
    Harness h(platform::SystemClock());
    h.drive.systemManager = true;
    h.drive.sendResult = 0x21;
    CFirmwareEntry entry = SystemManagerEntry("SYS_CV_DOWNLOAD_UNPACK_FIRMWARE_FILE");
    h.logic->OnDownload(&entry);
    ASSERT_TRUE(h.PumpUntil([&] { return h.view.Showed("Download error") && h.view.button == "Download"; }));
    EXPECT_EQ(h.drive.sentFile, "fw.xml");
    ASSERT_EQ(h.drive.reports.size(), 1u);
    EXPECT_EQ(h.drive.reports[0], "Send aborted: error 33(0x21)");
    EXPECT_EQ(h.drive.resumes, 1);
    EXPECT_EQ(h.view.button, "Download");
    EXPECT_TRUE(h.view.closed.empty());
}

TEST(FirmwareDownloadInstall, UnknownInstallCommandStopsBeforeTheSend) {
    Harness h(platform::SystemClock());
    h.drive.systemManager = true;
    h.drive.unknownCommand = "SYS_CV_UNPACK_X";
    CFirmwareEntry entry = SystemManagerEntry("SYS_CV_UNPACK_X");
    h.logic->OnDownload(&entry);
    ASSERT_EQ(h.prompts.Prompts().AskedCount(), 1u);
    EXPECT_EQ(h.prompts.Prompts().Asked()[0].text,
              "Internal error: System Manager doesn't support command SYS_CV_UNPACK_X");
    EXPECT_TRUE(h.drive.commands.empty());
    EXPECT_EQ(h.drive.resumes, 1);
}

// Without the progress cell the worker waits while the system manager is busy: 40 s, then -52.
TEST(FirmwareDownloadInstall, UnpackTimesOutAfterFortySeconds) {
    platform::FakeClock clock;
    Harness h(clock);
    h.drive.systemManager = true;
    h.drive.busyForever = true;
    CFirmwareEntry entry = SystemManagerEntry("SYS_CV_DOWNLOAD_UNPACK_FIRMWARE_FILE");
    const int64_t start = clock.NowMs();
    h.logic->OnDownload(&entry);
    ASSERT_TRUE(h.PumpUntil([&] { return h.view.Showed("Unpacking error") && h.view.button == "Download"; }));
    EXPECT_GE(clock.NowMs() - start, kUnpackLimitMs);
    const auto asked = h.prompts.Prompts().Asked();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].text, "Timeout installing firmware");
    EXPECT_EQ(h.drive.commands, (std::vector<std::string>{"SYS_CV_DOWNLOAD_FIRMWARE_FILE",
                                                          "SYS_CV_DOWNLOAD_UNPACK_FIRMWARE_FILE"}));
    EXPECT_EQ(h.drive.resumes, 1);
    EXPECT_EQ(h.view.button, "Download");
}

TEST(FirmwareDownloadInstall, UnpackProgressEndsWithTheDrivesError) {
    platform::FakeClock clock;
    Harness h(clock);
    h.drive.systemManager = true;
    h.drive.hasUnpackCell = true;
    h.drive.unpackError = 12;
    h.drive.rebootAt0 = clock.NowMs();
    CFirmwareEntry entry = SystemManagerEntry("SYS_CV_DOWNLOAD_UNPACK_FIRMWARE_FILE");
    h.logic->OnDownload(&entry);
    ASSERT_TRUE(h.PumpUntil([&] { return h.view.Showed("Unpacking error") && h.view.button == "Download"; }));
    ASSERT_EQ(h.prompts.Prompts().AskedCount(), 1u);
    EXPECT_EQ(h.prompts.Prompts().Asked()[0].text, "Error 12 installing firmware");
    EXPECT_EQ(std::count(h.states.begin(), h.states.end(), 43u), 1);
    EXPECT_EQ(h.drive.resumes, 1);
}

// An empty install command goes straight to the reboot question; the drive answers 3 s after the
// restart command: the dialog closes with 0, polling resumed once. One that never answers gives
// "Rebooting timeout" after 120 s.
TEST(FirmwareDownloadInstall, RebootAnswersAfterThreeSecondsOrTimesOut) {
    for (int64_t answerAfter : {int64_t{3000}, int64_t{-1}}) {
        SCOPED_TRACE(answerAfter);
        platform::FakeClock clock;
        Harness h(clock);
        h.drive.systemManager = true;
        h.drive.answerAfterMs = answerAfter;
        h.prompts.Prompts().PushAnswer(platform::IDYES);
        h.prompts.Prompts().SetDefaultAnswer(platform::IDOK);
        CFirmwareEntry entry = SystemManagerEntry("");
        h.logic->OnDownload(&entry);
        ASSERT_TRUE(h.PumpUntil([&] { return !h.view.closed.empty(); }));
        EXPECT_EQ(h.view.closed, std::vector<int>{0});
        EXPECT_EQ(h.drive.resumes, 1);
        EXPECT_EQ(h.drive.commands.back(), "SYS_CV_RESTART_FW_TOTALE");
        const auto asked = h.prompts.Prompts().Asked();
        ASSERT_GE(asked.size(), 1u);
        EXPECT_NE(asked[0].text.find("Would you like to reboot device now?"), std::string::npos);
        const int64_t took = clock.NowMs() - h.drive.rebootAt;
        if (answerAfter > 0) {
            EXPECT_GE(took, 3000);
            EXPECT_LT(took, kRebootLimitMs);
            EXPECT_EQ(asked.size(), 1u);
        } else {
            EXPECT_GE(took, kRebootLimitMs);
            EXPECT_EQ(h.view.status, "Rebooting timeout");
            ASSERT_EQ(asked.size(), 2u);
            EXPECT_EQ(asked[1].text, "Firmware download completed.\r\nDevice reboot is required.");
        }
    }
}

TEST(FirmwareDownloadInstall, RebootDeclinedResumesAndGoesIdle) {
    Harness h(platform::SystemClock());
    h.drive.systemManager = true;
    h.prompts.Prompts().PushAnswer(platform::IDNO);
    CFirmwareEntry entry = SystemManagerEntry("");
    h.logic->OnDownload(&entry);
    ASSERT_TRUE(h.PumpUntil([&] { return h.view.status.empty() && h.prompts.Prompts().AskedCount() == 1; }));
    EXPECT_EQ(h.drive.resumes, 1);
    EXPECT_TRUE(h.view.closed.empty());
    EXPECT_EQ(h.view.button, "Download");
}

// The dialog closed while each worker runs: the workers stop and are joined before the request
// they share goes (ASan and TSan watch this).
TEST(FirmwareDownloadInstall, ClosingWhileAWorkerRunsJoinsIt) {
    enum Stage { kSending, kUnpacking, kRebooting };
    for (Stage stage : {kSending, kUnpacking, kRebooting}) {
        SCOPED_TRACE(stage);
        auto h = std::make_unique<Harness>(platform::SystemClock());
        h->drive.systemManager = true;
        h->drive.sendBlocks = stage == kSending;
        h->drive.busyForever = true;
        h->prompts.Prompts().PushAnswer(platform::IDYES);
        CFirmwareEntry entry =
            SystemManagerEntry(stage == kUnpacking ? "SYS_CV_DOWNLOAD_UNPACK_FIRMWARE_FILE" : "");
        h->logic->OnDownload(&entry);
        if (stage == kSending) {
            ASSERT_TRUE(h->drive.WaitSending());
        } else {
            const uintptr_t last = stage == kUnpacking ? 31 : 45;
            ASSERT_TRUE(h->PumpUntil(
                [&] { return std::find(h->states.begin(), h->states.end(), last) != h->states.end(); }));
        }
        EXPECT_TRUE(h->logic->WorkersRunning());
        h->logic->Stop();
        EXPECT_FALSE(h->logic->WorkersRunning());
        if (stage == kSending) {
            EXPECT_TRUE(h->drive.aborted);
        }
        h.reset();
        platform::PumpMessages();
    }
}

namespace {

TEST(FirmwareList, OnlyTheDrivesHardwareNewestFirstWithWhatTheProgramLacks) {
    foundation::CXmlDocument index;
    ASSERT_EQ(
        index.LoadXml("<Vocabularies>"
                      "<Voc type=\"fw\" hw=\"5\" sw=\"2111\" sw_ver=\"14\" build=\"3\" descr=\"Older\" "
                      "file=\"older.bin\"/>"
                      "<Voc type=\"fw\" hw=\"6\" sw=\"2111\" sw_ver=\"16\" build=\"1\" descr=\"Other\" "
                      "file=\"other.bin\"/>"
                      "<Voc type=\"fw\" hw=\"5\" sw=\"2111\" sw_ver=\"15\" build=\"1\" descr=\"Newer\" "
                      "file=\"newer.bin\" minver=\"99999999\"/>"
                      "<Voc type=\"cfg\" hw=\"5\" sw=\"2111\" sw_ver=\"17\" build=\"1\" descr=\"Config\"/>"
                      "</Vocabularies>"),
        foundation::S_OK);
    foundation::CCompatChecker checker;
    const std::vector<CFirmwareEntry> entries =
        ListFirmwareEntries(index, 5, checker, [](const foundation::CXmlNode& entry) {
            return std::filesystem::path("/nonexistent") / entry.GetAttribute("file");
        });
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].description, "Newer");
    EXPECT_EQ(entries[1].description, "Older");
    EXPECT_NE(entries[0].requirement.find("build 99999999 or greater"), std::string::npos)
        << entries[0].requirement;
    EXPECT_EQ(entries[1].requirement, "");
    // A file that cannot be read is offered with its reason, never as compatible.
    EXPECT_FALSE(entries[1].incompatibility.empty());
}

}  // namespace
