// The firmware download against the simulated drive on a pseudo-terminal: both paths run through
// the drive object and the engine, and a failure injected at each stage of the drive ends in the
// dialog's error state with its text, the drive still reachable afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "drive/Qd.h"
#include "foundation/MessageIds.h"
#include "packages/FirmwareDownload.h"
#include "platform/Clock.h"
#include "platform/Messages.h"
#include "platform/Prompt.h"
#include "tests/engine/EngineTestSupport.h"
#include "tools/drivesim/DriveSim.h"
#include "tools/drivesim/SimDrive.h"
#include "tools/drivesim/SimDriveModel.h"
#include "tools/drivesim/SimWiring.h"

using namespace packages;

namespace {

constexpr const char* kDescription = "1234_2_3_1.xml";

std::filesystem::path SimDescription() {
    return std::filesystem::path(TUNOVA_FIXTURES) / ".." / ".." / "app" / "data" / "Xml" / kDescription;
}

// The simulated drive's description with what a firmware download needs: the image cell, the
// unpack progress and the system manager's download commands.
std::string FirmwareDescription() {
    std::stringstream in;
    in << std::ifstream(SimDescription()).rdbuf();
    std::string xml = in.str();
    const auto insertAfter = [&xml](const std::string& line, const std::string& text) {
        const size_t at = xml.find(line);
        EXPECT_NE(at, std::string::npos) << line;
        const size_t end = xml.find('\n', at);
        xml.insert(end + 1, text);
    };
    insertAfter(
        "name=\"enabling_key\"",
        "\t\t\t<ITEM id=\"900\" name=\"download_firmware\" title=\"Firmware image\" modbusaddress=\"3900\" "
        "fieldbusaddress=\"0x1F50.01\" size=\"0\" read=\"0\" write=\"1\" class=\"command\"/>\n"
        "\t\t\t<ITEM id=\"901\" name=\"FirmwareUnpackProgress\" title=\"Unpack progress\" "
        "modbusaddress=\"3902\" fieldbusaddress=\"0x1F57.01\" size=\"2\" read=\"1\" write=\"0\" "
        "class=\"data\"/>\n");
    insertAfter(
        "name=\"SYS_CV_RESTART_FW_PARZIALE\"",
        "\t\t\t\t\t\t<Cmd name=\"SYS_CV_DOWNLOAD_FIRMWARE_FILE\" descr=\"Receive a firmware file\" "
        "value=\"400\"/>\n"
        "\t\t\t\t\t\t<Cmd name=\"SYS_CV_DOWNLOAD_UNPACK_FIRMWARE_FILE\" descr=\"Unpack the firmware file\" "
        "value=\"401\"/>\n"
        "\t\t\t\t\t\t<Cmd name=\"SYS_CV_DOWNLOAD_RQ_FROM_BOOT\" descr=\"Download from boot\" "
        "value=\"402\"/>\n");
    return xml;
}

// The dialog's window as far as messages go.
class Window : public platform::MessageSink, public CFirmwareDownloadView {
  public:
    Window() { handle = platform::RegisterSink(this); }
    ~Window() override { platform::UnregisterSink(handle); }
    void OnMessage(const platform::Message& m) override {
        if (!logic) return;
        if (m.msg == foundation::kFirmwareInstallMessage) logic->OnInstallProgress(m.wParam, m.lParam);
        if (m.msg == foundation::kFirmwareDownloadMessage) logic->OnDownloadProgress(m.wParam, m.lParam);
    }
    void SetStatus(const std::string& text) override {
        status = text;
        statuses.push_back(text);
    }
    void ShowBar(bool) override {}
    void SetRange(int, int) override {}
    void SetPosition(int) override {}
    void SetButton(const std::string& text, bool) override { button = text; }
    void EnableControls(bool) override {}
    void Close(int code) override { closed.push_back(code); }

    bool PumpUntil(const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < end) {
            platform::PumpMessages();
            if (done()) return true;
            platform::WaitForMessages(50);
        }
        return false;
    }

    platform::WindowHandle handle = 0;
    CFirmwareDownloadLogic* logic = nullptr;
    std::string status, button;
    std::vector<std::string> statuses;
    std::vector<int> closed;
};

constexpr int kAnyFailure = 1;

struct Stage {
    const char* name;
    const char* inject;  // switch of the simulated drive (empty: none)
    bool systemManagerPath;
    const char* installCommand;
    // The end the dialog reaches: closed with a code (kAnyFailure: any but 0), or back to idle with
    // a status text.
    std::optional<int> closedWith;
    const char* status;
    const char* told;  // what the user was told (message box or the drive's report), empty: nothing checked
};

class FirmwareDownloadSim : public ::testing::TestWithParam<Stage> {
  protected:
    void SetUp() override {
        const std::filesystem::path file = tree.Root() / "tree" / kDescription;
        std::ofstream(file, std::ios::trunc) << FirmwareDescription();
        model = std::make_shared<drivesim::SimDriveModel>();
        std::string error;
        ASSERT_TRUE(model->Load(file, &error)) << error;
        model->Timing().restartMs = 300;
        model->Timing().unpackMs = 600;
        drivesim::DescribeModbusDrive(sim.AddDrive(1), model);
        std::stringstream switches(GetParam().inject);
        for (std::string one; std::getline(switches, one, ',');)
            ASSERT_TRUE(model->ApplySwitch(one, &error)) << error;
        port = sim.StartPty(&error);
        ASSERT_FALSE(port.empty()) << error;
        enginetest::RegisterPort("firmwaredownload", port);
        qd = std::make_unique<drive::CQd>(0);
        qd->ConnectionWindow().SetConnectionString(port + ":timeout 300");
        ASSERT_EQ(qd->Connect(), 0) << qd->ConnectionWindow().LastMessage();

        image = tree.Root() / "temp" / "drive.fw";
        std::vector<char> bytes(3000);
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 13);
        std::ofstream(image, std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    void TearDown() override {
        qd.reset();
        sim.Stop();
        enginetest::UnregisterPort("firmwaredownload");
    }

    enginetest::DescriptionTree tree;
    enginetest::PromptScope prompts;
    std::shared_ptr<drivesim::SimDriveModel> model;
    drivesim::DriveSim sim;
    std::string port;
    std::unique_ptr<drive::CQd> qd;
    std::filesystem::path image;
};

TEST_P(FirmwareDownloadSim, EndsInItsStateAndTheDriveStaysReachable) {
    const Stage& stage = GetParam();
    prompts.Prompts().SetDefaultAnswer(platform::IDYES);
    Window window;
    CQdFirmwareDownloadDrive drive(*qd);
    {
        CFirmwareDownloadLogic logic(drive, window, window.handle, platform::SystemClock());
        window.logic = &logic;
        CFirmwareEntry entry;
        entry.description = "Firmware 1234 v. 2.4.0";
        entry.product = "1234";
        entry.version = "2.4.0";
        entry.file = image.string();
        if (stage.systemManagerPath) {
            entry.sendCommand = "SYS_CV_DOWNLOAD_FIRMWARE_FILE";
            entry.installCommand = stage.installCommand;
        }
        logic.OnDownload(&entry);
        ASSERT_TRUE(window.PumpUntil([&] {
            if (stage.closedWith) return !window.closed.empty();
            return std::find(window.statuses.begin(), window.statuses.end(), stage.status) !=
                       window.statuses.end() &&
                   window.button == "Download" && !logic.WorkersRunning();
        })) << "status: "
            << window.status;
        if (stage.closedWith) {
            ASSERT_EQ(window.closed.size(), 1u);
            if (*stage.closedWith == kAnyFailure)
                EXPECT_NE(window.closed[0], 0);
            else
                EXPECT_EQ(window.closed[0], *stage.closedWith);
        } else {
            EXPECT_TRUE(window.closed.empty());
            EXPECT_EQ(window.button, "Download");
        }
        if (*stage.status) {
            EXPECT_NE(std::find(window.statuses.begin(), window.statuses.end(), stage.status),
                      window.statuses.end())
                << window.status;
        }
        if (*stage.told) {
            bool found = false;
            // Message boxes carry their text, the drive's message report its arguments.
            for (const auto& q : prompts.Prompts().Asked()) {
                found |= q.text.find(stage.told) != std::string::npos;
                for (const auto& arg : q.args) found |= arg.find(stage.told) != std::string::npos;
            }
            EXPECT_TRUE(found) << stage.told;
        }
        window.logic = nullptr;
    }
    // Whatever happened, the drive answers again once its restart is over.
    uint32_t value = 0;
    int rc = -1;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (rc != 0 && std::chrono::steady_clock::now() < end) rc = qd->ReadCell("PositionResolution", &value);
    EXPECT_EQ(rc, 0) << qd->LastErrorText();
    EXPECT_FALSE(qd->CyclicReadsPaused());
}

const Stage kStages[] = {
    {"direct_ok", "", false, "", 0, "Download completed", "Download completed"},
    {"direct_image_refused", "fw-fail-image", false, "", kInterruptedCloseCode, "Download error",
     "Download interrupted: error"},
    {"direct_boot_request_refused", "refuse=SYS_CV_DOWNLOAD_RQ_FROM_BOOT", false, "", kAnyFailure, "", ""},
    {"direct_key_refused", "no-system-manager,fw-refuse-key", false, "", kInterruptedCloseCode,
     "Download error", "Download interrupted: error 6(0x6)"},
    {"send_command_refused", "refuse=SYS_CV_DOWNLOAD_FIRMWARE_FILE", true, "", kAnyFailure, "", ""},
    {"send_refused", "fw-fail-image", true, "SYS_CV_DOWNLOAD_UNPACK_FIRMWARE_FILE", std::nullopt,
     "Download error", "Send aborted: error"},
    {"unpack_fails", "fail=SYS_CV_DOWNLOAD_UNPACK_FIRMWARE_FILE:20", true,
     "SYS_CV_DOWNLOAD_UNPACK_FIRMWARE_FILE", std::nullopt, "Unpacking error", "Error 20 installing firmware"},
    {"install_and_reboot", "", true, "SYS_CV_DOWNLOAD_UNPACK_FIRMWARE_FILE", 0, "Rebooting device...", ""},
    {"reboot_refused", "refuse=SYS_CV_RESTART_FW_TOTALE", true, "", 0, "Install completed, need reboot",
     "Rebooting device failed."},
};

INSTANTIATE_TEST_SUITE_P(Stages, FirmwareDownloadSim, ::testing::ValuesIn(kStages),
                         [](const ::testing::TestParamInfo<Stage>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
