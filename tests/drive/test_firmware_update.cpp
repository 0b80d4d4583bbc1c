// The drive object's firmware update check and download start.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "drive/FirmwareUpdate.h"
#include "drive/Qd.h"
#include "foundation/MessageIds.h"
#include "foundation/XmlNode.h"
#include "platform/Messages.h"

using namespace drive;
using foundation::CIdentity;
using foundation::CXmlDocument;

namespace {

CIdentity Make(int32_t code, int major, int minor, int patch, int role, uint32_t preState = 0) {
    CIdentity id;
    id.Set(code, major, minor, patch, role);
    id.version.preState = preState;
    if (preState != 0) id.version.preNumber = 1;
    return id;
}

// One index entry per firmware file; the packages the reader hands back, by file name.
struct Index {
    void Add(const std::string& file, int hw, const CIdentity& identity, bool compatible = true) {
        xml += "<Voc hw=\"" + std::to_string(hw) + "\" file=\"" + file + "\" type=\"fw\" pver=\"" +
               identity.GetCompactText() + "\"/>";
        compatibleFiles[file] = compatible;
    }
    CFirmwareUpdateInputs Inputs() {
        CFirmwareUpdateInputs in;
        in.firmware = Make(2111, 14, 0, 0, foundation::kRoleFirmware);
        in.boot = Make(300, 2, 0, 0, foundation::kRoleBoot);
        in.hardware = Make(12, 1, 0, 0, foundation::kRoleHardware);
        in.hardwareCode = 12;
        in.indexXml = "<Vocabularies>" + xml + "</Vocabularies>";
        in.entryFile = [](const foundation::CXmlNode& e) {
            return std::filesystem::path(e.GetAttribute("file"));
        };
        in.reader = [this](const std::filesystem::path& file, bool, CXmlDocument& package) {
            ++reads;
            package.Root().SetName("Firmware");
            if (!compatibleFiles[file.string()]) {
                // Demands a hardware newer than the node's.
                foundation::CXmlNode* compatibility = package.Root().AddChild("Compatibility");
                Make(12, 9, 0, 0, foundation::kRoleHardware).WriteComponentNode(compatibility);
            }
            return std::string();
        };
        return in;
    }
    std::string xml;
    std::map<std::string, bool> compatibleFiles;
    int reads = 0;
};

}  // namespace

TEST(FirmwareUpdateCheck, OffersTheNewestCompatibleRelease) {
    Index index;
    index.Add("older.xml", 12, Make(2111, 13, 0, 0, foundation::kRoleFirmware));
    index.Add("newer.xml", 12, Make(2111, 14, 1, 0, foundation::kRoleFirmware));
    index.Add("beta.xml", 12, Make(2111, 20, 0, 0, foundation::kRoleFirmware, 2));
    index.Add("nb.xml", 12, Make(2111, 21, 0, 0, foundation::kRoleFirmware, 4));
    index.Add("newest.xml", 12, Make(2111, 15, 0, 0, foundation::kRoleFirmware));
    index.Add("incompatible.xml", 12, Make(2111, 16, 0, 0, foundation::kRoleFirmware), false);
    index.Add("otherhw.xml", 13, Make(2111, 17, 0, 0, foundation::kRoleFirmware));
    const CFirmwareUpdateResult result = FindFirmwareUpdate(index.Inputs(), nullptr);
    EXPECT_TRUE(result.available);
    const std::string expected =
        "Currently running in the node:\r\n" +
        Make(2111, 14, 0, 0, foundation::kRoleFirmware).GetDescription() + "\r\n" +
        Make(300, 2, 0, 0, foundation::kRoleBoot).GetDescription() +
        "\r\n\r\nAvailable:" + Make(2111, 15, 0, 0, foundation::kRoleFirmware).GetDescription();
    EXPECT_EQ(result.text, expected);
    // The prereleases, the older one and the other hardware's were never read.
    EXPECT_EQ(index.reads, 3);
}

TEST(FirmwareUpdateCheck, PrereleasesAndIncompatibleOnesAreNeverOffered) {
    Index index;
    for (uint32_t state = 1; state <= 5; ++state)
        index.Add("pre" + std::to_string(state) + ".xml", 12,
                  Make(2111, 30, 0, 0, foundation::kRoleFirmware, state));
    index.Add("incompatible.xml", 12, Make(2111, 16, 0, 0, foundation::kRoleFirmware), false);
    const CFirmwareUpdateResult result = FindFirmwareUpdate(index.Inputs(), nullptr);
    EXPECT_FALSE(result.available);
    EXPECT_EQ(result.text.find("Available:"), std::string::npos);
}

TEST(FirmwareUpdateCheck, BootOnlyNodeShowsOneIdentity) {
    Index index;
    CFirmwareUpdateInputs in = index.Inputs();
    in.firmware = CIdentity();
    const CFirmwareUpdateResult result = FindFirmwareUpdate(in, nullptr);
    EXPECT_EQ(result.text, "Currently running in the node:\r\n" + in.boot.GetDescription());
}

// The worker posts a heap text the receiver frees; a refused post frees it on the spot (the leak
// checker of the sanitizer build watches both).
TEST(FirmwareUpdateCheck, PostsItsTextOnceAndFreesItWhenThePostIsRefused) {
    CQd qd(0);
    {
        platform::RecordingSink sink;
        qd.StartCheckFirmwareUpdateThread(771, sink.Handle());
        EXPECT_EQ(qd.FirmwareUpdateCheckCode(), 771);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (sink.Count() == 0 && std::chrono::steady_clock::now() < end) {
            platform::WaitForMessages(50);
            platform::PumpMessages();
        }
        qd.StopFirmwareUpdateCheck();
        const auto messages = sink.Messages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].msg, foundation::kFirmwareUpdateResultMessage);
        EXPECT_EQ(messages[0].lParam, 0);
        std::unique_ptr<std::string> text(reinterpret_cast<std::string*>(messages[0].wParam));
        EXPECT_EQ(text->rfind("Currently running in the node:\r\n", 0), 0u);
    }
    // The window is gone before the check ends.
    platform::RecordingSink gone;
    const platform::WindowHandle handle = gone.Handle();
    gone.Unregister();
    qd.StartCheckFirmwareUpdateThread(771, handle);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (qd.FirmwareUpdateCheckRunning() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    qd.StopFirmwareUpdateCheck();
    EXPECT_FALSE(qd.FirmwareUpdateCheckRunning());
}

TEST(FirmwareDownloadStart, WithoutAnEngineNothingIsTouched) {
    CQd qd(0);
    EXPECT_NE(qd.StartFirmwareDownload(false, 1500), 0);
    EXPECT_EQ(qd.StartFirmwareDownload(true, 0), 0);
}
