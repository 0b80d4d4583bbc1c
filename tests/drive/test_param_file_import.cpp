#include <gtest/gtest.h>

#include <algorithm>
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
    int32_t hwRev = -1;
    bool online = true;
    int group = 0;
    std::string compatibilityAnswer, componentsAnswer;
    int compatibilityChecks = 0, componentChecks = 0;
    std::map<std::string, int> namedFailures;
    int startCode = 0, endCode = 0;
    int blockFailure = 0;
    std::vector<std::string> reported;
    std::vector<std::string> progress;

    void Add(const std::string& name, uint32_t size, int32_t restore, uint16_t level = 0) {
        VocabularyItem v;
        v.name = name;
        v.size = size;
        v.restore = restore;
        v.writeLevel = level;
        v.readLevel = level;
        v.flags |= VocabularyItem::kReadable | VocabularyItem::kWritable;
        dict.push_back(v);
    }
    int BlockAddWrite(ParamWriteEntry& e) override {
        pending.push_back(&e);
        return 0;
    }
    int BlockExecute() override {
        if (blockFailure != 0) {
            blocks.push_back({"failed"});
            BlockClear();
            return blockFailure;
        }
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
    bool IsOnline() const override { return online; }
    bool HasSystemManager() const override { return systemManager; }
    int ExecuteSystemCommand(const std::string& c, int a) override {
        commands.push_back(c + ":" + std::to_string(a));
        return c == "SYS_CV_DW_PARAM_FILE_START" ? startCode : endCode;
    }
    void ShowErrorsReport(const std::string&, const std::vector<std::string>& lines) override {
        reportLines = lines;
    }
    int32_t TypeCode() const override { return 1201; }
    int32_t HwCode() const override { return hw; }
    int32_t HardwareRevision() const override { return hwRev; }
    int DeviceGroup() const override { return group; }
    std::string CheckComponents(const CXmlNode&) override {
        ++componentChecks;
        return componentsAnswer;
    }
    void ReportMessage(const std::string& text) override { reported.push_back(text); }
    void ProgressOpen(const std::string& caption, const std::string&) override {
        progress.push_back("open " + caption);
    }
    void ProgressText(const std::string& text) override { progress.push_back(text); }
    void ProgressRange(int count) override { progress.push_back("range " + std::to_string(count)); }
    void ProgressPos(int position) override { progress.push_back("pos " + std::to_string(position)); }
    void ProgressClose() override { progress.push_back("close"); }
    uint16_t UserLevel() const override { return 100; }
    std::string CheckCompatibility(const CXmlNode&) override {
        ++compatibilityChecks;
        return compatibilityAnswer;
    }
    const std::vector<ParamInitValue>& InitValues() override { return init; }
    int WriteNamed(const std::string& n, int32_t v) override {
        named.push_back(n + "=" + std::to_string(v));
        auto f = namedFailures.find(n);
        return f == namedFailures.end() ? 0 : f->second;
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
    int Run(const std::string& xml, ScriptedImportDrive& d, bool download = false) {
        fs::path f = dir_ / "f.xml";
        std::ofstream(f) << xml;
        return ImportParameterFile(d, f, !download, download);
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

// A file for the drive type 1201, hardware 111, with extra elements inside DEVICE and the given
// parameters.
std::string FileWith(const std::string& extra, const std::string& data,
                     const std::string& device = "Type=\"1201\" Hw=\"111\"") {
    return "<DEVICE_PARAMETER Version=\"2\"><DEVICE " + device + " Descr=\"Other\">" + extra +
           "<PARAMETERS>" + data + "</PARAMETERS></DEVICE></DEVICE_PARAMETER>";
}

const std::string kTwoValues = "<DATA Name=\"P1a\" Value=\"1\"/><DATA Name=\"P2\" Value=\"2\"/>";

void AddTwo(ScriptedImportDrive& d) {
    d.Add("P1a", 2, 1);
    d.Add("P2", 2, 2);
}

TEST_F(ParamFileImportRefusals, CompatibilityAndComponentChecks) {
    const std::string compat =
        "<COMPATIBILITY FormatType=\"1\"><DATA CmpKey=\"111\" MinRev=\"3\"/></COMPATIBILITY>";
    const std::string components = "<COMPONENTS><Component Code=\"7\"/></COMPONENTS>";
    const std::string proceed =
        "Needs board 7 rev 2\r\n\r\nUsing these parameters could cause unpredictable problems. Proceed?";
    struct Case {
        const char* what;
        std::string extra;
        std::string device;
        bool online;
        int group;
        std::string compatAnswer, componentsAnswer;
        int answer;
        int expected;
        int compatChecks, componentChecks;
        std::vector<std::string> messages;
    };
    const std::string ours = "Type=\"1201\" Hw=\"111\"";
    const std::string other = "Type=\"5\" Hw=\"6\"";
    const std::string otherQuestion =
        "The parameters file is for device:\n\nOther\nHardware 6, Software 5\n\nContinue anyway?";
    const Case cases[] = {
        {"refused", compat, ours, true, 0, "Firmware too old", "", 6, 3, 1, 0, {"Firmware too old"}},
        {"compatible", compat, ours, true, 0, "", "", 6, 0, 1, 0, {}},
        {"offline skips", compat + components, ours, false, 10, "Firmware too old", "x", 6, 0, 0, 0, {}},
        {"other device accepted skips",
         compat + components,
         other,
         true,
         10,
         "Firmware too old",
         "x",
         6,
         0,
         0,
         0,
         {otherQuestion}},
        {"group 10 declined", components, ours, true, 10, "", "Needs board 7 rev 2", 7, 3, 0, 1, {proceed}},
        {"group 10 cancelled",
         compat + components,
         ours,
         true,
         10,
         "",
         "Needs board 7 rev 2",
         2,
         3,
         1,
         1,
         {proceed}},
        {"group 10 accepted", components, ours, true, 10, "", "Needs board 7 rev 2", 6, 0, 0, 1, {proceed}},
        {"group 10 fine", components, ours, true, 10, "", "", 7, 0, 0, 1, {}},
        {"other group", components, ours, true, 4, "", "Needs board 7 rev 2", 7, 0, 0, 0, {}},
        {"group 10 without components", compat, ours, true, 10, "", "Needs board 7 rev 2", 7, 0, 1, 0, {}},
    };
    for (const Case& c : cases) {
        ScriptedImportDrive d;
        AddTwo(d);
        d.online = c.online;
        d.group = c.group;
        d.compatibilityAnswer = c.compatAnswer;
        d.componentsAnswer = c.componentsAnswer;
        d.answer = c.answer;
        EXPECT_EQ(Run(FileWith(c.extra, kTwoValues, c.device), d), c.expected) << c.what;
        EXPECT_EQ(d.compatibilityChecks, c.compatChecks) << c.what;
        EXPECT_EQ(d.componentChecks, c.componentChecks) << c.what;
        EXPECT_EQ(d.messages, c.messages) << c.what;
        EXPECT_EQ(d.written.empty(), c.expected != 0) << c.what;
        EXPECT_EQ(d.paused, 0) << c.what;
        if (c.expected != 0) {
            ASSERT_FALSE(d.progress.empty()) << c.what;
            EXPECT_EQ(d.progress.back(), "close") << c.what;
        }
    }
}

TEST_F(ParamFileImportRefusals, NothingRestorableIsARefusal) {
    static_assert(kParamFileNothingRestorable == 3);
    ScriptedImportDrive d;
    AddTwo(d);
    EXPECT_EQ(Run(FileWith("", "<DATA Name=\"Elsewhere\" Value=\"1\"/>"), d), kParamFileNothingRestorable);
    EXPECT_EQ(d.messages, (std::vector<std::string>{"No parameters are restorable in the drive"}));
    EXPECT_TRUE(d.blocks.empty());
    EXPECT_TRUE(d.named.empty());
    EXPECT_EQ(d.paused, 0);
    // A download does not start its bracket either.
    ScriptedImportDrive s;
    AddTwo(s);
    s.systemManager = true;
    EXPECT_EQ(Run(FileWith("", "<DATA Name=\"Elsewhere\" Value=\"1\"/>"), s, true),
              kParamFileNothingRestorable);
    EXPECT_TRUE(s.commands.empty());
}

TEST_F(ParamFileImportRefusals, InitProcedureStopsAtTheFirstFailedWrite) {
    struct Case {
        const char* failing;
        std::vector<std::string> named;
    };
    const Case cases[] = {
        {"controlword", {"controlword=0"}},
        {"ModeOfOperation", {"controlword=0", "ModeOfOperation=-127"}},
        {"Brake", {"controlword=0", "ModeOfOperation=-127", "Brake=1"}},
        {"TorqueLimitSelector",
         {"controlword=0", "ModeOfOperation=-127", "Brake=1", "TorqueLimitSelector=0"}},
    };
    for (const Case& c : cases) {
        ScriptedImportDrive d;
        AddTwo(d);
        d.namedFailures[c.failing] = -5;
        EXPECT_EQ(Run(FileWith("", kTwoValues), d, true), 3) << c.failing;
        EXPECT_EQ(d.named, c.named) << c.failing;
        EXPECT_EQ(d.reported,
                  (std::vector<std::string>{"Init procedure write error: nothing has been downloaded!"}));
        EXPECT_TRUE(d.blocks.empty()) << c.failing;
        EXPECT_EQ(d.paused, 0) << c.failing;
    }
    // A failing reset at the end is reported, the values stay written.
    ScriptedImportDrive d;
    AddTwo(d);
    d.namedFailures["ResetTuningWarning"] = -5;
    EXPECT_EQ(Run(FileWith("", kTwoValues), d, true), 0);
    EXPECT_EQ(d.written.size(), 2u);
    EXPECT_EQ(d.reported,
              (std::vector<std::string>{"Write error resetting possible no tuning of regulator warning"}));
}

// Yes and yes-ticked go on with an incomplete download; no, no-ticked and a box that was not
// shown (cancel) leave the drive untouched.
TEST_F(ParamFileImportRefusals, IncompleteDownloadGoesOnOnlyAfterYes) {
    const std::pair<int, int> cases[] = {{6, 0}, {7, 0}, {8, 3}, {9, 3}, {2, 3}};
    for (const auto& [answer, expected] : cases) {
        ScriptedImportDrive d;
        AddTwo(d);
        d.Add("Absent", 2, 3);
        d.missingAnswer = answer;
        EXPECT_EQ(Run(FileWith("", kTwoValues), d, true), expected) << answer;
        EXPECT_EQ(d.missingShown, (std::vector<std::string>{"Missing 'Absent'"})) << answer;
        EXPECT_EQ(d.named.empty(), expected != 0) << answer;
        EXPECT_EQ(d.written.empty(), expected != 0) << answer;
    }
}

TEST_F(ParamFileImportRefusals, DownloadBracketCodes) {
    ScriptedImportDrive refused;
    AddTwo(refused);
    refused.systemManager = true;
    refused.startCode = 1057;
    EXPECT_EQ(Run(FileWith("", kTwoValues), refused, true), 1057);
    // The bracket is closed only when it was opened.
    EXPECT_EQ(refused.commands, (std::vector<std::string>{"SYS_CV_DW_PARAM_FILE_START:1"}));
    EXPECT_TRUE(refused.blocks.empty());
    EXPECT_EQ(refused.paused, 0);

    ScriptedImportDrive ending;
    AddTwo(ending);
    ending.systemManager = true;
    ending.endCode = 14;
    EXPECT_EQ(Run(FileWith("", kTwoValues), ending, true), 14);
    EXPECT_EQ(ending.written.size(), 2u);
}

TEST_F(ParamFileImportRefusals, BlockWriteFailureListsTheCellsAndGoesOn) {
    ScriptedImportDrive d;
    AddTwo(d);
    d.blockFailure = -77;
    EXPECT_EQ(Run(FileWith("", kTwoValues), d), kParamFileWriteErrors);
    // Both blocks were tried: a failed block does not stop the loop.
    EXPECT_EQ(d.blocks.size(), 2u);
    EXPECT_EQ(d.reportLines,
              (std::vector<std::string>{"Block write error: -77(0xffffffb3), cells in the block:", "P1a",
                                        "Block write error: -77(0xffffffb3), cells in the block:", "P2"}));
}

TEST_F(ParamFileImportRefusals, ProgressRangeCoversTheWriteList) {
    ScriptedImportDrive d;
    AddTwo(d);
    d.Add("P3", 2, 3);
    d.Add("Info", 4, 0);
    EXPECT_EQ(Run(FileWith("<INFO><DATA Name=\"Info\" Value=\"4\"/></INFO>",
                           kTwoValues + "<DATA Name=\"P3\" Value=\"3\"/>"),
                  d),
              0);
    const std::vector<std::string> expected = {"open Import parameters",
                                               "compatibility checking...",
                                               "parameters loading...",
                                               "range 4",
                                               "pos 0",
                                               "restoring parameters...",
                                               "close"};
    EXPECT_EQ(d.progress, expected);
}

TEST_F(ParamFileImportRefusals, In6SettingsFollowsHardwareAndRevision) {
    struct Case {
        int hw;
        int32_t revision;
        bool written;
    };
    const Case cases[] = {{111, 0, false}, {111, 4, false}, {111, 5, true}, {111, -1, true}, {110, 2, true}};
    for (const Case& c : cases) {
        ScriptedImportDrive d;
        d.Add("In6Settings", 2, 1);
        d.Add("P2", 2, 2);
        d.hw = c.hw;
        d.hwRev = c.revision;
        EXPECT_EQ(Run(FileWith("", "<DATA Name=\"In6Settings\" Value=\"9\"/><DATA Name=\"P2\" Value=\"2\"/>",
                               "Type=\"1201\" Hw=\"" + std::to_string(c.hw) + "\""),
                      d),
                  0);
        EXPECT_EQ(d.written.count("In6Settings") == 1, c.written) << c.hw << " " << c.revision;
        EXPECT_EQ(d.written.count("P2"), 1u);
    }
}

// Values that do not fit their item are reported and not written; the rest of the file is.
TEST_F(ParamFileImportRefusals, WrongFormatValuesAreNotWritten) {
    ScriptedImportDrive d;
    d.Add("Word", 2, 1);
    d.Add("Letters", 2, 1);
    d.Add("Hex", 2, 1);
    d.Add("Big", 2, 1);
    d.Add("Text", 8, 1);
    d.Add("Motor.Guid", 16, 1);
    d.Add("Good", 2, 1);
    const std::string data =
        "<DATA Name=\"Word\" Value=\"abc\"/><DATA Name=\"Letters\" Value=\"'ABC'\"/>"
        "<DATA Name=\"Hex\" Value=\"0x010203\"/><DATA Name=\"Big\" Value=\"70000\"/>"
        "<DATA Name=\"Text\" Value=\"'ABCDEFGHI'\"/>"
        "<DATA Name=\"Motor.Guid\" Value=\"0x00112233445566778899AABBCCDDEEFF00\"/>"
        "<DATA Name=\"Good\" Value=\"-2\"/>";
    EXPECT_EQ(Run(FileWith("", data), d), kParamFileWriteErrors);
    EXPECT_EQ(d.written.size(), 1u);
    EXPECT_EQ(d.written["Good"], (std::vector<uint8_t>{0xFE, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(d.reportLines.size(), 6u);
    EXPECT_NE(std::find(d.reportLines.begin(), d.reportLines.end(), "'Word' wrong format value: 'abc'"),
              d.reportLines.end());
    EXPECT_NE(std::find(d.reportLines.begin(), d.reportLines.end(), "'Letters' wrong format value: ''ABC''"),
              d.reportLines.end());
}

TEST(ParamFileValueParsing, BoundedByTheItem) {
    using Bytes = std::vector<uint8_t>;
    struct Case {
        const char* text;
        uint32_t size;
        bool ok;
        Bytes bytes;
    };
    const Case cases[] = {
        {"abc", 2, false, {}},
        {"12x", 4, false, {}},
        {"", 2, true, {0, 0, 0, 0}},
        {"255", 1, true, {0xFF, 0, 0, 0}},
        {"256", 1, false, {}},
        {"-128", 1, true, {0x80, 0xFF, 0xFF, 0xFF}},
        {"-129", 1, false, {}},
        {"65535", 2, true, {0xFF, 0xFF, 0, 0}},
        {"-32768", 2, true, {0x00, 0x80, 0xFF, 0xFF}},
        {"70000", 2, false, {}},
        {"-32769", 2, false, {}},
        {"16777215", 3, true, {0xFF, 0xFF, 0xFF, 0}},
        {"4294967295", 4, true, {0xFF, 0xFF, 0xFF, 0xFF}},
        {"4294967296", 4, false, {}},
        {"-2147483648", 4, true, {0, 0, 0, 0x80}},
        {"'AB'", 2, true, {'A', 'B', 0, 0}},
        {"'ABC'", 2, false, {}},
        {"''", 1, true, {0, 0, 0, 0}},
        {"0x0102", 2, true, {1, 2, 0, 0}},
        {"0x010203", 2, false, {}},
        {"0x0", 2, false, {}},
        {"'ABCDEFGH'", 8, true, {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'}},
        {"'ABCDEFGHI'", 8, false, {}},
        {"0x010203040506070809", 8, false, {}},
        {"7", 8, true, {7, 0, 0, 0, 0, 0, 0, 0}},
        {"'AB'", 0, true, {'A', 'B'}},
    };
    for (const Case& c : cases) {
        Bytes out = {0xAA};
        EXPECT_EQ(ParseBoundedValueText(c.text, c.size, out), c.ok) << c.text << " size " << c.size;
        EXPECT_EQ(out, c.ok ? c.bytes : Bytes{0xAA}) << c.text << " size " << c.size;
    }
}

}  // namespace

// Every exported file holds the drive's read-only information (type, serial number): an import of
// such a file restores what can be written and reports nothing for the rest.
TEST_F(ParamFileImportRefusals, ReadOnlyInformationIsNotRestored) {
    ScriptedImportDrive d;
    AddTwo(d);
    d.Add("Serial", 4, 0);
    d.dict.back().flags &= static_cast<uint8_t>(~VocabularyItem::kWritable);
    d.Add("Note", 4, 0);
    EXPECT_EQ(
        Run(FileWith("<INFO><DATA Name=\"Serial\" Value=\"9\"/><DATA Name=\"Note\" Value=\"5\"/></INFO>",
                     kTwoValues),
            d),
        kParamFileDone);
    EXPECT_EQ(d.blocks, (std::vector<std::vector<std::string>>{{"P1a"}, {"P2"}, {"Note"}}));
    EXPECT_TRUE(d.reportLines.empty());

    // A restorable parameter the drive does not let be written is still tried and reported.
    ScriptedImportDrive locked;
    AddTwo(locked);
    locked.dict.back().flags &= static_cast<uint8_t>(~VocabularyItem::kWritable);
    locked.cellFailures["P2"] = 0x0601;
    EXPECT_EQ(Run(FileWith("", kTwoValues), locked), kParamFileWriteErrors);
    EXPECT_EQ(locked.reportLines, (std::vector<std::string>{"'P2' write error: error 0x601"}));
}

// Offline the values go into the parameter set: no start or end procedure reaches a drive.
TEST_F(ParamFileImportRefusals, OfflineDownloadHasNoBracket) {
    for (bool systemManager : {false, true}) {
        ScriptedImportDrive d;
        AddTwo(d);
        d.online = false;
        d.systemManager = systemManager;
        EXPECT_EQ(Run(FileWith("", kTwoValues), d, true), kParamFileDone) << systemManager;
        EXPECT_TRUE(d.commands.empty());
        EXPECT_TRUE(d.named.empty());
        EXPECT_EQ(d.written.size(), 2u);
        EXPECT_EQ(d.compatibilityChecks, 0);
    }
}
