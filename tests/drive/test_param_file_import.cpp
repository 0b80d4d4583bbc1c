#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "drive/ParamFileImport.h"
#include "engine/VocabularyItem.h"

using namespace foundation;
using namespace engine;
using namespace drive;

namespace fs = std::filesystem;

namespace {

const fs::path kFixtures = fs::path(TUNOVA_FIXTURES) / "drive" / "paramfiles";

class ScriptedImportDrive : public CParamFileImportDrive {
  public:
    std::vector<VocabularyItem> dict;
    std::vector<std::vector<std::string>> blocks;
    std::vector<ParamWriteEntry*> pending;
    std::map<std::string, std::vector<uint8_t>> written;
    std::map<std::string, int> cellFailures;
    std::vector<std::string> named;
    std::vector<std::string> commands;
    std::vector<ParamInitValue> init = {{"Brake", 1, 0}, {"Skipped", 2, 1}};
    std::vector<std::string> messages, reportLines, missingShown;
    int answer = 6, missingAnswer = 6, paused = 0;
    bool systemManager = false;
    int hw = 111;

    void Add(const std::string& name, uint32_t size, int32_t restore, uint16_t level = 0) {
        VocabularyItem v;
        v.name = name;
        v.size = size;
        v.restore = restore;
        v.writeLevel = level;
        v.readLevel = level;
        dict.push_back(v);
    }
    int BlockAddWrite(ParamWriteEntry& e) override {
        pending.push_back(&e);
        return 0;
    }
    int BlockExecute() override {
        std::vector<std::string> names;
        for (ParamWriteEntry* e : pending) {
            names.push_back(e->item->name);
            written[e->item->name].assign(e->Data(), e->Data() + (e->buffer.empty() ? 4 : e->buffer.size()));
            auto f = cellFailures.find(e->item->name);
            e->result = f == cellFailures.end() ? 0 : f->second;
        }
        blocks.push_back(names);
        BlockClear();
        return 0;
    }
    void BlockClear() override { pending.clear(); }
    int BlockSize() const override { return 2; }
    std::string CellErrorText(int code) override { return CellErrorTextFromTable(code, false, ""); }
    bool IsMotorGuidName(const std::string& name) const override { return name == "Motor.Guid"; }
    const std::vector<VocabularyItem>& Dictionary() override { return dict; }
    ParamFileDeviceInfo DeviceInfo() override { return {}; }
    void PauseBackground() override { ++paused; }
    void ResumeBackground() override { --paused; }
    int ReadTestEnablingKey(uint32_t& v) override { return v = 0; }
    bool IsOnline() const override { return true; }
    bool HasSystemManager() const override { return systemManager; }
    int ExecuteSystemCommand(const std::string& c, int a) override {
        commands.push_back(c + ":" + std::to_string(a));
        return 0;
    }
    void ShowErrorsReport(const std::string&, const std::vector<std::string>& lines) override {
        reportLines = lines;
    }
    int32_t TypeCode() const override { return 1201; }
    int32_t HwCode() const override { return hw; }
    uint16_t UserLevel() const override { return 100; }
    std::string CheckCompatibility(const CXmlNode&) override { return {}; }
    const std::vector<ParamInitValue>& InitValues() override { return init; }
    int WriteNamed(const std::string& n, int32_t v) override {
        named.push_back(n + "=" + std::to_string(v));
        return 0;
    }
    int AskYesNoCancel(const std::string& text, const std::string&) override {
        messages.push_back(text);
        return answer;
    }
    int AskMissing(const std::string&, const std::vector<std::string>& missing) override {
        missingShown = missing;
        return missingAnswer;
    }
    void ShowMessage(const std::string& text, const std::string&, int) override { messages.push_back(text); }
};

void AddStandard(ScriptedImportDrive& d) {
    d.Add("P1a", 2, 1);
    d.Add("P1b", 2, 1);
    d.Add("P1c", 2, 1);
    d.Add("P2", 2, 2);
    d.Add("Label", 8, 3);
    d.Add("Motor.Guid", 16, 4);
    d.Add("Bad", 4, 5);
    d.Add("Serial", 4, 0);
    d.Add("Factory", 2, 1, 200);  // above the user's level
}

TEST(ParamFileImport, ImportWritesInRestoreOrderBlocks) {
    ScriptedImportDrive d;
    AddStandard(d);
    d.Add("Absent", 2, 6);
    EXPECT_EQ(ImportParameterFile(d, kFixtures / "import_v2.xml", true, false), kParamFileWriteErrors);
    EXPECT_EQ(d.paused, 0);
    // Blocks never mix Restore orders; the info item comes last; the absent item is skipped silently.
    EXPECT_EQ(d.blocks, (std::vector<std::vector<std::string>>{
                            {"P1a", "P1b"}, {"P1c"}, {"P2"}, {"Label"}, {"Motor.Guid"}, {"Serial"}}));
    EXPECT_TRUE(d.missingShown.empty());
    EXPECT_EQ(d.written["P1a"], (std::vector<uint8_t>{0xFE, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(d.written["Label"], (std::vector<uint8_t>{'A', 'B', 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(d.written["Motor.Guid"].size(), 16u);
    EXPECT_EQ(d.written["Motor.Guid"][0], 0x33);
    EXPECT_EQ(d.reportLines, (std::vector<std::string>{"'Bad' wrong format value: '12x'"}));
    EXPECT_TRUE(d.named.empty());
}

TEST(ParamFileImport, DownloadBracketAndMissingQuestion) {
    ScriptedImportDrive d;
    AddStandard(d);
    d.Add("Absent", 2, 6);
    d.cellFailures["P2"] = 0x0602;
    d.missingAnswer = 8;
    EXPECT_EQ(ImportParameterFile(d, kFixtures / "import_v2.xml", false, true), 3);
    EXPECT_EQ(d.missingShown, (std::vector<std::string>{"Missing 'Absent'"}));
    EXPECT_TRUE(d.blocks.empty());

    d.missingAnswer = 6;
    EXPECT_EQ(ImportParameterFile(d, kFixtures / "import_v2.xml", false, true), kParamFileWriteErrors);
    EXPECT_EQ(d.named, (std::vector<std::string>{"controlword=0", "ModeOfOperation=-127", "Brake=1",
                                                 "TorqueLimitSelector=0", "ResetTuningWarning=0"}));
    EXPECT_EQ(d.written.count("Serial"), 0u);  // information items are not downloaded
    EXPECT_NE(std::find(d.reportLines.begin(), d.reportLines.end(), "'P2' write error: error 0x602"),
              d.reportLines.end());

    ScriptedImportDrive s;
    AddStandard(s);
    s.systemManager = true;
    s.Add("Absent", 2, 6);
    EXPECT_EQ(ImportParameterFile(s, kFixtures / "import_v2.xml", false, true), kParamFileWriteErrors);
    EXPECT_EQ(s.commands,
              (std::vector<std::string>{"SYS_CV_DW_PARAM_FILE_START:1", "SYS_CV_DW_PARAM_FILE_END:0"}));
    EXPECT_TRUE(s.named.empty());
}

class ParamFileImportRefusals : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/tunova_paramimport_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }
    int Run(const std::string& xml, ScriptedImportDrive& d) {
        fs::path f = dir_ / "f.xml";
        std::ofstream(f) << xml;
        return ImportParameterFile(d, f, true, false);
    }
    fs::path dir_;
};

TEST_F(ParamFileImportRefusals, Table) {
    struct Case {
        const char* xml;
        int answer;
        int expected;
    };
    const Case cases[] = {
        {"<OTHER/>", 6, 1},
        {"<DEVICE_PARAMETER", 6, 1},
        {"<DEVICE_PARAMETER/>", 6, 2},
        {"<DEVICE_PARAMETER Version=\"3\"><DEVICE/></DEVICE_PARAMETER>", 6, 3},
        {"<DEVICE_PARAMETER Version=\"2\"/>", 6, 2},
        {"<DEVICE_PARAMETER Version=\"2\"><DEVICE Type=\"1201\"><PARAMETERS><DATA Name=\"P1a\" Value=\"\"/>"
         "</PARAMETERS></DEVICE></DEVICE_PARAMETER>",
         6, 2},
        {"<DEVICE_PARAMETER Version=\"2\"><DEVICE Type=\"1201\"/></DEVICE_PARAMETER>", 6, 3},
        // Other device declined.
        {"<DEVICE_PARAMETER Version=\"2\"><DEVICE Type=\"5\" Hw=\"6\"><PARAMETERS><DATA Name=\"P1a\" "
         "Value=\"1\"/>"
         "</PARAMETERS></DEVICE></DEVICE_PARAMETER>",
         7, 3},
        // Version 1: INFO is not used, so nothing is restorable.
        {"<DEVICE_PARAMETER Version=\"1\"><DEVICE Type=\"1201\"><INFO><DATA Name=\"Serial\" "
         "Value=\"1\"/></INFO>"
         "</DEVICE></DEVICE_PARAMETER>",
         6, 3},
    };
    for (const Case& c : cases) {
        ScriptedImportDrive d;
        AddStandard(d);
        d.answer = c.answer;
        EXPECT_EQ(Run(c.xml, d), c.expected) << c.xml;
        EXPECT_TRUE(d.blocks.empty()) << c.xml;
        EXPECT_EQ(d.paused, 0) << c.xml;
    }
    // Same type, other hardware: no question.
    ScriptedImportDrive d;
    AddStandard(d);
    d.hw = 5;
    EXPECT_EQ(Run("<DEVICE_PARAMETER Version=\"2\"><DEVICE Type=\"1201\" Hw=\"9\"><PARAMETERS>"
                  "<DATA Name=\"P1a\" Value=\"1\"/></PARAMETERS></DEVICE></DEVICE_PARAMETER>",
                  d),
              0);
    EXPECT_TRUE(d.messages.empty());
}

}  // namespace
