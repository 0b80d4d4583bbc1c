// The main dialog's file commands: what each message does, the firmware export's exact bytes and
// its write failures, user motors in and out, configuration files and the plain parameter file.
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "app/MainDlgCommands.h"
#include "drive/DriveValueHelpers.h"
#include "drive/Qd.h"
#include "foundation/MessageIds.h"
#include "foundation/XmlDocument.h"
#include "platform/Prompt.h"
#include "tests/engine/EngineTestSupport.h"

using namespace app;
using namespace foundation;
namespace fs = std::filesystem;

namespace {

std::string ReadBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The windows around the commands, scripted: files handed out in order, motors picked, and
// every request written down.
class FileSite : public CMainDlgCommandSite {
  public:
    std::optional<fs::path> ChooseFileToOpen(const FileChoice& choice) override {
        calls.push_back("open: " + choice.title);
        return Next(opens);
    }
    std::optional<fs::path> ChooseFileToSave(const FileChoice& choice) override {
        calls.push_back("save: " + choice.title);
        lastSave = choice;
        return Next(saves);
    }
    std::optional<fs::path> ChooseConfigurationFile() override {
        calls.push_back("configuration file");
        return configuration;
    }
    std::vector<std::string> SelectMotors(
        const std::string& title, const std::string& button,
        const std::vector<std::pair<std::string, std::string>>& motors) override {
        calls.push_back("select: " + title + " / " + button);
        offered.clear();
        for (const auto& m : motors) offered.push_back(m.first);
        return pick;
    }
    fs::path DocumentsFolder() const override { return folder; }
    fs::path UserMotorsFolder() const override { return folder / "user"; }
    void CloseOscilloscope() override { calls.push_back("close oscilloscope"); }
    void CloseDriveSetup() override { calls.push_back("close drive setup"); }
    fs::path CommandLineConfiguration() const override { return commandLine; }
    bool LoadProgramSettings(const fs::path& file) override {
        calls.push_back("load " + file.filename().string());
        return loadAccepted;
    }
    bool SaveProgramSettings(const fs::path& file, std::string* error) override {
        calls.push_back("save settings " + file.filename().string());
        if (!saveAccepted && error) *error = "disk full";
        return saveAccepted;
    }
    void ConfigurationLoaded() override { calls.push_back("configuration loaded"); }
    void StoreMessageBarPlacement() override { calls.push_back("store message bar"); }
    void RunArchiveDialog() override { calls.push_back("archive dialog"); }
    bool StartFirmwareUpdateCheck(int code) override {
        calls.push_back("update check " + std::to_string(code));
        return true;
    }

    std::vector<std::string> calls;
    std::deque<fs::path> opens, saves;
    std::optional<fs::path> configuration;
    std::vector<std::string> pick, offered;
    FileChoice lastSave;
    fs::path folder, commandLine;
    bool loadAccepted = true, saveAccepted = true;

  private:
    static std::optional<fs::path> Next(std::deque<fs::path>& queue) {
        if (queue.empty()) return std::nullopt;
        fs::path p = queue.front();
        queue.pop_front();
        return p;
    }
};

class MainDlgFileCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("tunova-filecommands-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        site.folder = dir;
        prompts.Prompts().SetDefaultAnswer(platform::IDOK);
        qd.State().group = 1;
        family = drive::GetDeviceFamilyName(1);
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir / "locked", fs::perms::owner_all, ec);
        fs::remove_all(dir, ec);
    }
    // Message boxes as "caption: text", in order.
    std::vector<std::string> Told() {
        std::vector<std::string> out;
        for (const auto& q : prompts.Prompts().Asked())
            if (q.kind == "MessageBox") out.push_back(q.caption + ": " + q.text);
        return out;
    }
    std::string LastTold() {
        const auto told = Told();
        return told.empty() ? std::string() : told.back();
    }
    fs::path Write(const std::string& name, const std::string& text) {
        std::ofstream(dir / name, std::ios::binary) << text;
        return dir / name;
    }

    enginetest::PromptScope prompts;
    drive::CQd qd{0};
    FileSite site;
    CMainDlgCommands commands{qd, site};
    fs::path dir;
    std::string family;
};

TEST_F(MainDlgFileCommandsTest, EachMessageStartsItsCommand) {
    struct Case {
        unsigned message;
        uintptr_t wParam;
        std::vector<std::string> calls;
    };
    site.commandLine = dir / "startup.xml";
    const std::vector<Case> cases = {
        {kMainDlgExportFirmwareMessage, 0, {"configuration file"}},
        {kMainDlgUserMotorsImportMessage, 0, {"open: Open the file to be imported"}},
        {kMainDlgImportParametersMessage,
         0,
         {"close oscilloscope", "close drive setup", "open: Import parameters file"}},
        {kMainDlgDownloadParametersMessage, 0, {"open: Download parameters file"}},
        {kMainDlgLoadConfigurationMessage, 0, {"open: Open configuration file"}},
        {kMainDlgLoadConfigurationMessage, 1, {"load startup.xml", "configuration loaded"}},
        {kMainDlgSaveConfigurationMessage, 0, {"save: Save configuration file"}},
        {kMainDlgCreateArchiveMessage, 0, {"archive dialog"}},
        {kMainDlgPlainParameterFileMessage, kCmdBusAddresses, {"open: Select the source parameter file"}},
        // Windows of other parts of the program: accepted, nothing opens.
        {kMainDlgObjectDictionaryMessage, 0, {}},
        {kMainDlgUnusedMessage, 0, {}},
        {kMainDlgUserMotorsManageMessage, 0, {}},
        {kMainDlgCompareParametersMessage, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        site.calls.clear();
        prompts.Prompts().Clear();
        EXPECT_EQ(commands.Handle(c.message, c.wParam, 0), 1);
        EXPECT_EQ(site.calls, c.calls);
        if (c.calls.empty()) {
            EXPECT_EQ(prompts.Prompts().AskedCount(), 0u);
        }
    }
    // Delete asks first; No leaves the database alone.
    prompts.Prompts().Clear();
    prompts.Prompts().PushAnswer(platform::IDNO);
    commands.Handle(kMainDlgUserMotorsDeleteMessage, 0, 0);
    EXPECT_EQ(LastTold(),
              "Delete user motors: Delete the current user motors database files and create new. Confirm?");
}

TEST_F(MainDlgFileCommandsTest, StartupChecksNameTheRotaryUnitsOfALinearMotor) {
    commands.Handle(kMainDlgStartupChecksMessage, 0, 0);
    EXPECT_TRUE(Told().empty()) << "a rotary motor is not told anything";
    qd.Identity().linearMotor = true;
    commands.Handle(kMainDlgStartupChecksMessage, 0, 0);
    const std::string told = LastTold();
    EXPECT_EQ(told.rfind("Visualization units: The motor is linear", 0), 0u) << told;
    EXPECT_NE(told.find("Position unit:"), std::string::npos);
    EXPECT_NE(told.find("Acceleration unit:"), std::string::npos);
    EXPECT_NE(told.find("View\\Options\\Custom units"), std::string::npos);
    EXPECT_EQ(told.find("menù"), std::string::npos);
}

TEST_F(MainDlgFileCommandsTest, FirmwareExportWritesTheExactBytes) {
    const fs::path fixtures = fs::path(TUNOVA_FIXTURES) / "engine" / "vocabulary";
    site.configuration = fixtures / "410_2_1_0.xml";
    site.saves.push_back(dir / "out.bin");
    commands.Handle(kMainDlgExportFirmwareMessage, 0, 0);
    EXPECT_EQ(site.lastSave.name, "410_2_1_0.bin");
    EXPECT_EQ(site.lastSave.folder, dir);
    EXPECT_EQ(site.lastSave.title, "Export firmware");
    EXPECT_EQ(ReadBytes(dir / "out.bin"), ReadBytes(fixtures / "firmware_payload.bin"));
    EXPECT_EQ(LastTold(), "Export Firmware: Successfully completed!");
}

TEST_F(MainDlgFileCommandsTest, FirmwareExportFailuresAreNeverReportedAsSuccess) {
    const fs::path fixtures = fs::path(TUNOVA_FIXTURES) / "engine" / "vocabulary";
    struct Case {
        const char* what;
        fs::path configuration;
        fs::path target;
        const char* told;
    };
    fs::create_directories(dir / "locked");
    fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    const bool rootIgnoresModes = ::geteuid() == 0;
    std::vector<Case> cases = {
        {"missing configuration", dir / "missing.xml", dir / "a.bin",
         "Export Firmware: Error 2 reading file "},
        {"no firmware in it", Write("plain.xml", "<DEVICE/>"), dir / "b.bin", "Export Firmware: Error "},
        {"folder that is not there", fixtures / "410_2_1_0.xml", dir / "no" / "such" / "c.bin",
         "Export Firmware: Error "},
    };
    if (!rootIgnoresModes)
        cases.push_back({"read-only folder", fixtures / "410_2_1_0.xml", dir / "locked" / "d.bin",
                         "Export Firmware: Error 13 writing file "});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        prompts.Prompts().Clear();
        site.configuration = c.configuration;
        site.saves = {c.target};
        commands.Handle(kMainDlgExportFirmwareMessage, 0, 0);
        EXPECT_EQ(LastTold().rfind(c.told, 0), 0u) << LastTold();
        for (const std::string& told : Told()) EXPECT_EQ(told.find("Successfully"), std::string::npos);
        EXPECT_FALSE(fs::exists(c.target));
    }
    // No file left half-written in the target folder either.
    for (const auto& entry : fs::directory_iterator(dir))
        EXPECT_EQ(entry.path().extension() == ".bin", false) << entry.path();
}

TEST_F(MainDlgFileCommandsTest, UserMotorsRoundTrip) {
    const fs::path source = Write(
        "motors.xml", "<Motors version=\"1\"><Group id=\"" + family +
                          "\"><Motor id=\"A1\" brand=\"Acme\" model=\"S1\" r=\"1.5\"/><Motor id=\"A2\" "
                          "model=\"S2\"/></Group><Group id=\"Other\"><Motor id=\"B1\"/></Group></Motors>");
    site.opens = {source};
    site.pick = {"A1", "A2"};
    commands.Handle(kMainDlgUserMotorsImportMessage, 0, 0);
    EXPECT_EQ(site.offered, (std::vector<std::string>{"A1", "A2"})) << "only the drive's family is offered";
    EXPECT_EQ(LastTold(), "Import user motors: 2 motor(s) have been successfully imported.");
    foundation::CXmlDocument user;
    ASSERT_EQ(user.Load(dir / "user" / "MotorsUser.xml"), foundation::S_OK);
    ASSERT_NE(user.Root().FindNode("Group"), nullptr);

    // Out again, one of them.
    site.pick = {"A1"};
    site.saves = {dir / "exported.xml"};
    commands.Handle(kMainDlgUserMotorsExportMessage, 0, 0);
    EXPECT_EQ(LastTold(), "Export user motors: 1 motor(s) have been successfully exported.");
    foundation::CXmlDocument exported;
    ASSERT_EQ(exported.Load(dir / "exported.xml"), foundation::S_OK);
    EXPECT_EQ(exported.Root().Name(), "Motors");
    EXPECT_TRUE(exported.Root().FindAttribute("version"));
    const foundation::CXmlNode* group = exported.Root().FindNode("Group");
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->GetAttribute("id"), family);
    ASSERT_EQ(group->Children().size(), 1u);
    EXPECT_EQ(group->Children()[0]->GetAttribute("id"), "A1");
    EXPECT_EQ(group->Children()[0]->GetAttribute("r"), "1.5");

    // The exported file comes back in as motors the database already has.
    site.opens = {dir / "exported.xml"};
    commands.Handle(kMainDlgUserMotorsImportMessage, 0, 0);
    EXPECT_EQ(LastTold(), "Import user motors: The motor(s) already exist in the database");

    // An export that cannot be written says so.
    site.saves = {dir / "no" / "such" / "folder.xml"};
    commands.Handle(kMainDlgUserMotorsExportMessage, 0, 0);
    EXPECT_EQ(LastTold().rfind("Export user motors: Error saving file", 0), 0u) << LastTold();

    // Delete: Yes removes the file.
    prompts.Prompts().PushAnswer(platform::IDYES);
    commands.Handle(kMainDlgUserMotorsDeleteMessage, 0, 0);
    EXPECT_FALSE(fs::exists(dir / "user" / "MotorsUser.xml"));
}

TEST_F(MainDlgFileCommandsTest, MotorsOfAnotherFamilyOrNoneChosen) {
    site.opens = {
        Write("other.xml", "<Motors version=\"1\"><Group id=\"Other\"><Motor id=\"B1\"/></Group></Motors>")};
    commands.Handle(kMainDlgUserMotorsImportMessage, 0, 0);
    EXPECT_EQ(LastTold(), "Import user motors: No motors of type '" + family + "' contained in the file.");
    EXPECT_TRUE(site.offered.empty());
    site.opens = {Write("mine.xml", "<Motors version=\"1\"><Group id=\"" + family +
                                        "\"><Motor id=\"A1\"/></Group></Motors>")};
    site.pick.clear();
    commands.Handle(kMainDlgUserMotorsImportMessage, 0, 0);
    EXPECT_EQ(LastTold(), "Import user motors: Empty selection. No motors have been imported.");
}

TEST_F(MainDlgFileCommandsTest, ConfigurationFilesAndImportWithoutTheDrivesSide) {
    site.opens = {dir / "settings.xml"};
    site.loadAccepted = false;
    commands.Handle(kMainDlgLoadConfigurationMessage, 0, 0);
    EXPECT_EQ(site.calls, (std::vector<std::string>{"open: Open configuration file", "load settings.xml"}))
        << "a refused file is not applied";
    site.calls.clear();
    site.saves = {dir / "saved.xml"};
    site.saveAccepted = false;
    commands.Handle(kMainDlgSaveConfigurationMessage, 0, 0);
    EXPECT_EQ(site.calls, (std::vector<std::string>{"save: Save configuration file", "store message bar",
                                                    "save settings saved.xml"}));
    EXPECT_EQ(LastTold(), "Save configuration file: disk full");
    // No drive side to import with: an error, never "imported".
    site.opens = {Write("params.xml", "<DEVICE_PARAMETER/>")};
    commands.Handle(kMainDlgImportParametersMessage, 0, 0);
    EXPECT_EQ(LastTold(), "Import file parameters: Parameters file import error!");
}

TEST_F(MainDlgFileCommandsTest, PlainParameterFile) {
    const fs::path source = fs::path(TUNOVA_FIXTURES) / "drive" / "paramfiles" / "plain_source.xml";
    site.opens = {source};
    site.saves = {dir / "plain"};
    commands.Handle(kMainDlgPlainParameterFileMessage, kCmdModbusAddresses, 0);
    EXPECT_EQ(site.lastSave.title, "Destination plain parameter file (modbus addresses)");
    EXPECT_TRUE(fs::exists(dir / "plain.txt")) << "the extension is added";
    EXPECT_EQ(LastTold(),
              "Plain parameter file: Parameters file with modbus addresses successfully created!");
    site.opens = {source};
    site.saves = {dir / "no" / "such" / "bus.txt"};
    commands.Handle(kMainDlgPlainParameterFileMessage, kCmdBusAddresses, 0);
    EXPECT_EQ(LastTold(), "Plain parameter file: Error creating file");
    site.opens = {Write("broken.xml", "<DEVICE_PARAMETER")};
    site.saves = {dir / "x.txt"};
    commands.Handle(kMainDlgPlainParameterFileMessage, kCmdBusAddresses, 0);
    EXPECT_EQ(LastTold().rfind("Plain parameter file: Error reading file", 0), 0u) << LastTold();
    EXPECT_FALSE(fs::exists(dir / "x.txt"));
}

}  // namespace
