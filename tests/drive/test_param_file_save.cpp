#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "drive/ParamFileExport.h"
#include "drive/ParamFileImport.h"
#include "drive/Qd.h"
#include "engine/ChannelTypes.h"
#include "engine/VocabularyItem.h"
#include "platform/Prompt.h"

using namespace drive;
namespace fs = std::filesystem;

namespace {

// A drive with one readable parameter; it counts the exports that reached it.
class OneParameterDrive : public CParamFileDrive {
  public:
    OneParameterDrive() {
        engine::VocabularyItem v;
        v.name = "Speed";
        v.size = 2;
        v.restore = 1;
        v.modbusAddress = 4000;
        v.writeLevel = 0;
        v.readLevel = 0;
        dict.push_back(v);
    }
    int BlockAddRead(ParamReadEntry& entry) override {
        pending.push_back(&entry);
        return 0;
    }
    int BlockExecute() override {
        for (ParamReadEntry* e : pending) {
            e->Data()[0] = 0x2C;
            e->Data()[1] = 0x01;
            e->result = 0;
        }
        pending.clear();
        return 0;
    }
    void BlockClear() override { pending.clear(); }
    int BlockSize() const override { return 4; }
    std::string CellErrorText(int code) override { return CellErrorTextFromTable(code, false, ""); }
    bool IsMotorGuidName(const std::string&) const override { return false; }
    const std::vector<engine::VocabularyItem>& Dictionary() override { return dict; }
    ParamFileDeviceInfo DeviceInfo() override { return {}; }
    void PauseBackground() override { ++exports; }
    void ResumeBackground() override {}
    int ReadTestEnablingKey(uint32_t& value) override { return value = 0; }
    bool IsOnline() const override { return false; }
    bool HasSystemManager() const override { return false; }
    int ExecuteSystemCommand(const std::string&, int) override { return 0; }
    void ProgressOpen(const std::string& caption, const std::string&) override { progressCaption = caption; }

    std::vector<engine::VocabularyItem> dict;
    std::vector<ParamReadEntry*> pending;
    int exports = 0;
    std::string progressCaption;
};

class ParamFileSave : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/tunova_paramsave_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        platform::SetPromptService(&prompts_);
    }
    void TearDown() override {
        platform::SetPromptService(nullptr);
        fs::remove_all(dir_);
    }
    static std::string Read(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    fs::path dir_;
    platform::ScriptedPrompts prompts_;
};

TEST_F(ParamFileSave, DialogSpecFilterChoiceAndRememberedFolder) {
    struct Case {
        int mode;
        int filter;
        const char* title;
        const char* file;
        bool plain;
        const char* caption;
    };
    const Case cases[] = {
        {kParamExportXml, 0, "Export parameters", "a.xml", false, "Export parameters"},
        {kParamSaveXml, 0, "Save parameters", "b.xml", false, "Save parameters file"},
        {kParamExportXml, 1, "Export parameters", "c.txt", true, "Export parameters"},
        {kParamSaveXml, 1, "Save parameters", "d.txt", true, "Save parameters file"},
    };
    for (const Case& c : cases) {
        OneParameterDrive drive;
        fs::create_directories(dir_ / "chosen");
        fs::path folder = dir_ / "start";
        ParamFileSaveSpec seen;
        const ParamFileSaveChooser chooser = [&](const ParamFileSaveSpec& spec, int* filterIndex) {
            seen = spec;
            *filterIndex = c.filter;
            return std::optional<fs::path>(dir_ / "chosen" / c.file);
        };
        EXPECT_EQ(SaveParametersFileAs(drive, c.mode, chooser, "Tunova", folder), 0) << c.file;
        EXPECT_EQ(seen.title, c.title);
        EXPECT_EQ(seen.filter, "Parameters file (*.xml) |*.xml|Plain parameters file (*.txt) |*.txt||");
        EXPECT_EQ(seen.defaultExtension, "xml");
        EXPECT_EQ(seen.defaultName, "TunovaParameters.xml");
        EXPECT_EQ(seen.folder, dir_ / "start");
        EXPECT_EQ(folder, dir_ / "chosen");
        // Progress is shown, with the caption of the (possibly switched) mode.
        EXPECT_EQ(drive.progressCaption, c.caption);
        const std::string text = Read(dir_ / "chosen" / c.file);
        if (c.plain) {
            EXPECT_NE(text.find("4000 (2) = 300"), std::string::npos) << text;
        } else {
            EXPECT_NE(text.find("<DEVICE_PARAMETER"), std::string::npos) << text;
        }
    }
}

TEST_F(ParamFileSave, CancelledOrMissingDialogExportsNothing) {
    OneParameterDrive drive;
    fs::path folder = dir_ / "start";
    const ParamFileSaveChooser cancel = [](const ParamFileSaveSpec&, int*) {
        return std::optional<fs::path>();
    };
    EXPECT_EQ(SaveParametersFileAs(drive, kParamSaveXml, cancel, "Tunova", folder), kParamFileCancelled);
    EXPECT_EQ(SaveParametersFileAs(drive, kParamSaveXml, nullptr, "Tunova", folder), kParamFileCancelled);
    EXPECT_EQ(drive.exports, 0);
    EXPECT_EQ(folder, dir_ / "start");
}

// The online question, asked twice: what each answer saves now and what it leaves for the next
// call. A remembered No never saves.
TEST_F(ParamFileSave, OnlineQuestionAnswersAndRememberedAnswer) {
    struct Case {
        int answer;
        bool firstResult;
        int savesAfterFirst;
        bool askedAgain;
        int savesAfterSecond;  // the second call's question, when asked, is answered 8
    };
    const Case cases[] = {
        {6, true, 1, true, 1},   {7, true, 1, false, 2}, {8, false, 0, true, 0},
        {9, false, 0, false, 0}, {2, false, 0, true, 0},
    };
    for (const Case& c : cases) {
        int saves = 0;
        ParamSaveAllTarget target;
        target.online = true;
        target.saveToPermanentMemory = [&] {
            ++saves;
            return 0;
        };
        target.saveFileAs = [](int) {
            ADD_FAILURE() << "no file online";
            return 0;
        };
        ParamSaveAllAnswer answer;
        prompts_.Clear();
        prompts_.PushAnswer(c.answer);
        EXPECT_EQ(ConfirmSaveAllParameters(target, answer), c.firstResult) << c.answer;
        EXPECT_EQ(saves, c.savesAfterFirst) << c.answer;
        ASSERT_EQ(prompts_.AskedCount(), 1u);
        const auto asked = prompts_.Asked()[0];
        EXPECT_EQ(asked.kind, "MessageDialog");
        EXPECT_EQ(asked.args, (std::vector<std::string>{"Save all parameters in permanent memory. Confirm?",
                                                        "Parameters", "2"}));

        prompts_.PushAnswer(8);
        ConfirmSaveAllParameters(target, answer);
        EXPECT_EQ(prompts_.AskedCount(), c.askedAgain ? 2u : 1u) << c.answer;
        EXPECT_EQ(saves, c.savesAfterSecond) << c.answer;
    }
}

TEST_F(ParamFileSave, OnlineSaveFailureIsNotReportedAsSaved) {
    ParamSaveAllTarget target;
    target.online = true;
    target.saveToPermanentMemory = [] { return 5; };
    ParamSaveAllAnswer answer{true, true};
    EXPECT_FALSE(ConfirmSaveAllParameters(target, answer));
    EXPECT_EQ(prompts_.AskedCount(), 0u);
}

TEST_F(ParamFileSave, OfflineQuestionSavesTheFile) {
    struct Case {
        bool suppressed;
        int answer;
        int saveCode;
        bool result;
        size_t asked;
        bool saveCalled;
    };
    const Case cases[] = {
        {true, platform::IDYES, 0, false, 0, false},
        {false, platform::IDNO, 0, false, 1, false},
        {false, platform::IDYES, 0, true, 2, true},
        {false, platform::IDYES, kParamFileReadErrors, true, 1, true},
        {false, platform::IDYES, kParamFileCancelled, false, 1, true},
        {false, platform::IDYES, kParamFileWriteFailed, false, 1, true},
    };
    for (const Case& c : cases) {
        prompts_.Clear();
        prompts_.PushAnswer(c.answer);
        prompts_.PushAnswer(platform::IDOK);
        std::vector<int> modes;
        ParamSaveAllTarget target;
        target.suppressed = c.suppressed;
        target.saveToPermanentMemory = [] {
            ADD_FAILURE() << "no permanent memory offline";
            return 0;
        };
        target.saveFileAs = [&](int mode) {
            modes.push_back(mode);
            return c.saveCode;
        };
        ParamSaveAllAnswer answer;
        EXPECT_EQ(ConfirmSaveAllParameters(target, answer), c.result) << c.saveCode;
        ASSERT_EQ(prompts_.AskedCount(), c.asked) << c.saveCode;
        EXPECT_EQ(modes, c.saveCalled ? std::vector<int>{kParamSaveXml} : std::vector<int>{});
        const auto asked = prompts_.Asked();
        if (c.asked >= 1) {
            EXPECT_EQ(asked[0].text, "Save all parameters. Confirm?");
            EXPECT_EQ(asked[0].caption, "Save parameters file");
            EXPECT_EQ(asked[0].flags, platform::MB_YESNO | platform::MB_ICONQUESTION);
        }
        if (c.asked == 2) {
            EXPECT_EQ(asked[1].text, "Parameters file successfully saved");
            EXPECT_EQ(asked[1].caption, "Save parameters");
            EXPECT_EQ(asked[1].flags, platform::MB_OK | platform::MB_ICONINFORMATION);
        }
    }
}

// The drive object offline: the question, the dialog with the remembered folder, the file.
TEST_F(ParamFileSave, DriveObjectOfflineSavesThroughItsDialog) {
    CQd qd{0};
    OneParameterDrive drive;
    qd.SetParameterFileDrive(&drive);
    qd.SetParameterFolder(dir_);
    ParamFileSaveSpec seen;
    qd.SetParameterFileChooser([&](const ParamFileSaveSpec& spec, int* filterIndex) {
        seen = spec;
        *filterIndex = 0;
        return std::optional<fs::path>(dir_ / "sub" / "p.xml");
    });
    fs::create_directories(dir_ / "sub");
    prompts_.PushAnswer(platform::IDYES);
    prompts_.PushAnswer(platform::IDOK);
    EXPECT_TRUE(qd.ConfirmSaveAllParameters(42));
    EXPECT_EQ(seen.parent, 42u);
    EXPECT_EQ(seen.title, "Save parameters");
    EXPECT_EQ(seen.folder, dir_);
    EXPECT_EQ(qd.ParameterFolder(), dir_ / "sub");
    EXPECT_TRUE(fs::exists(dir_ / "sub" / "p.xml"));
    EXPECT_EQ(prompts_.AskedCount(), 2u);

    // Host runs and silent runs do not ask.
    prompts_.Clear();
    CQd hosted(0);
    hosted.SetHostConfigurationFile((dir_ / "host.xml").string());
    EXPECT_FALSE(hosted.ConfirmSaveAllParameters(0));
    qd.SetSilent(true);
    EXPECT_FALSE(qd.ConfirmSaveAllParameters(0));
    EXPECT_EQ(prompts_.AskedCount(), 0u);

    // Without a chooser the dialog counts as cancelled.
    qd.SetParameterFileChooser(nullptr);
    EXPECT_EQ(qd.SaveParametersFileAs(0, kParamExportXml), kParamFileCancelled);
}

TEST(ParamFileCellErrorText, TableFollowsTheChannelType) {
    CDriveErrorTable table;
    table.descriptions = {"Illegal data address", "Object does not exist"};
    table.modbusErrors[2] = 0;
    table.itemErrors[0x0602] = 1;
    struct Case {
        int channel;
        int code;
        const char* text;
    };
    const Case cases[] = {
        {engine::channel_type::kSerial, 2, "Illegal data address (modbus 0x2)"},
        {engine::channel_type::kAds, 2, "Illegal data address (modbus 0x2)"},
        {engine::channel_type::kSerial, 0x0602, "modbus error 0x602"},
        {engine::channel_type::kLibrary, 0x0602, "Object does not exist (0x602)"},
        {engine::channel_type::kBridge, 0x0602, "Object does not exist (0x602)"},
        {engine::channel_type::kBox, 2, "error 0x2"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CellErrorTextForChannel(c.code, c.channel, table), c.text) << c.channel << " " << c.code;
}

// Without an engine the drive object takes the channel type its connection record holds.
TEST(ParamFileCellErrorText, DriveObjectUsesItsDescriptionTables) {
    CQd qd{0};
    CDriveErrorTable& table = qd.Description().errorTable;
    table.descriptions = {"Illegal data address", "Object does not exist"};
    table.modbusErrors[2] = 0;
    table.itemErrors[2] = 1;
    qd.ConnectionWindow().Record().channelType = engine::channel_type::kSerial;
    EXPECT_EQ(qd.GetCellErrorText(2), "Illegal data address (modbus 0x2)");
    qd.ConnectionWindow().Record().channelType = engine::channel_type::kLibrary;
    EXPECT_EQ(qd.GetCellErrorText(2), "Object does not exist (0x2)");
}

TEST(ParamFileIn6Settings, RuleOfHardwareAndRevision) {
    struct Case {
        int32_t hw;
        int32_t revision;
        bool skipped;
    };
    const Case cases[] = {{111, 0, true},   {111, 4, true},   {111, 5, false},
                          {111, -1, false}, {111, -3, false}, {112, 2, false}};
    for (const Case& c : cases) {
        EXPECT_EQ(In6SettingsSkipped(c.hw, c.revision), c.skipped) << c.hw << " " << c.revision;
        CQd qd{0};
        qd.State().hw = static_cast<uint32_t>(c.hw);
        qd.Identity().hardwareRevision = c.revision;
        EXPECT_EQ(qd.SkipsIn6Settings(), c.skipped) << c.hw << " " << c.revision;
    }
}

}  // namespace
