#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "drive/ParamFileExport.h"
#include "engine/VocabularyItem.h"
#include "foundation/XmlDocument.h"
#include "foundation/XmlNode.h"

using namespace foundation;
using namespace engine;
using namespace drive;

namespace fs = std::filesystem;

namespace {

// A drive whose dictionary, cell values and failures are scripted per name.
class ScriptedDrive : public CParamFileDrive {
  public:
    std::vector<VocabularyItem> dict;
    std::map<std::string, std::vector<uint8_t>> values;
    std::map<std::string, int> addFailures;
    std::map<std::string, int> cellFailures;
    int blockFailure = 0;
    int blockSize = 2;
    bool systemManager = true;
    int startCode = 0;
    uint32_t enablingKey = 0;
    std::vector<std::string> commands;
    std::vector<std::vector<std::string>> blocks;
    std::vector<std::string> pending;
    std::vector<ParamReadEntry*> pendingEntries;
    int paused = 0;
    bool modifiedCleared = false;
    std::string reportHeading;
    std::vector<std::string> reportLines;
    std::string errorCaption;

    void Add(const std::string& name, uint32_t size, int32_t restore, std::vector<uint8_t> bytes,
             uint16_t level = 0, uint8_t sign = 0) {
        VocabularyItem v;
        v.name = name;
        v.size = size;
        v.restore = restore;
        v.writeLevel = level;
        v.readLevel = level;
        v.signAndHidden = sign;
        v.modbusAddress = static_cast<uint16_t>(4000 + dict.size());
        v.busAddress = "0x2000." + std::to_string(dict.size());
        dict.push_back(v);
        values[name] = std::move(bytes);
    }

    int BlockAddRead(ParamReadEntry& entry) override {
        auto f = addFailures.find(entry.item->name);
        if (f != addFailures.end()) return f->second;
        pending.push_back(entry.item->name);
        pendingEntries.push_back(&entry);
        return 0;
    }
    int BlockExecute() override {
        blocks.push_back(pending);
        int code = 0;
        if (blockFailure != 0 && blocks.size() == 1) code = blockFailure;
        for (ParamReadEntry* e : pendingEntries) {
            if (code != 0) break;
            auto c = cellFailures.find(e->item->name);
            e->result = c == cellFailures.end() ? 0 : c->second;
            const auto& v = values[e->item->name];
            std::copy_n(v.begin(), std::min(v.size(), e->Length()), e->Data());
        }
        BlockClear();
        return code;
    }
    void BlockClear() override {
        pending.clear();
        pendingEntries.clear();
    }
    int BlockSize() const override { return blockSize; }
    std::string CellErrorText(int code) override { return CellErrorTextFromTable(code, true, ""); }
    bool IsMotorGuidName(const std::string& name) const override { return name == "Motor.Guid"; }
    const std::vector<VocabularyItem>& Dictionary() override { return dict; }
    ParamFileDeviceInfo DeviceInfo() override {
        ParamFileDeviceInfo d;
        d.type = 1201;
        d.hw = 111;
        d.busType = 1;
        return d;
    }
    void PauseBackground() override { ++paused; }
    void ResumeBackground() override { --paused; }
    int ReadTestEnablingKey(uint32_t& value) override {
        value = enablingKey;
        return 0;
    }
    bool IsOnline() const override { return true; }
    bool HasSystemManager() const override { return systemManager; }
    int ExecuteSystemCommand(const std::string& command, int argument) override {
        commands.push_back(command + ":" + std::to_string(argument));
        return command == "SYS_CV_EX_PARAM_FILE_START" ? startCode : 0;
    }
    void ClearModifiedParameters() override { modifiedCleared = true; }
    void ShowError(const std::string& caption, const std::string&) override { errorCaption = caption; }
    void ShowErrorsReport(const std::string& heading, const std::vector<std::string>& lines) override {
        reportHeading = heading;
        reportLines = lines;
    }
};

class ParamFileExportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/tunova_paramexport_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

std::map<std::string, std::string> ParamValues(const CXmlDocument& doc, const char* section) {
    std::map<std::string, std::string> out;
    const CXmlNode* n = doc.Root().FindNode(std::string("DEVICE\\") + section);
    if (!n) return out;
    for (const CXmlNode* d : n->Children()) out[d->GetAttribute("Name")] = d->GetAttribute("Value");
    return out;
}

TEST_F(ParamFileExportTest, ReadsInBlocksAndWritesFile) {
    ScriptedDrive drive;
    drive.Add("Speed", 2, 1, {0x2C, 0x01, 0, 0}, 0, 1);
    drive.Add("Limit", 4, 2, {0xFF, 0xFF, 0xFF, 0xFF}, 0, 1);
    drive.Add("Factory", 4, 9, {0xFF, 0xFF, 0xFF, 0xFF}, 200);
    drive.Add("Gone", 2, 1, {1, 0, 0, 0});
    drive.Add("Label", 20, 3, {'A', 'B'});
    drive.Add("Serial", 20, 0, {'S', '1'});
    drive.Add("Never", 2, -2, {1, 0});
    drive.addFailures["Gone"] = -303;

    fs::path file = dir_ / "p.xml";
    EXPECT_EQ(ExportParametersFile(drive, file, kParamExportXml, true, false), 0);
    EXPECT_EQ(drive.paused, 0);
    EXPECT_TRUE(drive.modifiedCleared);
    EXPECT_EQ(drive.commands,
              (std::vector<std::string>{"SYS_CV_EX_PARAM_FILE_START:1", "SYS_CV_EX_PARAM_FILE_END:0"}));
    // Factory level first; the -303 item is neither read nor reported; lists never share a block.
    EXPECT_EQ(drive.blocks,
              (std::vector<std::vector<std::string>>{{"Factory", "Speed"}, {"Limit", "Label"}, {"Serial"}}));
    EXPECT_TRUE(drive.reportLines.empty());

    CXmlDocument doc;
    ASSERT_EQ(doc.Load(file), S_OK);
    EXPECT_EQ(ParamValues(doc, "PARAMETERS"),
              (std::map<std::string, std::string>{
                  {"Factory", "4294967295"}, {"Speed", "300"}, {"Limit", "-1"}, {"Label", "'AB'"}}));
    EXPECT_EQ(ParamValues(doc, "INFO"), (std::map<std::string, std::string>{{"Serial", "'S1'"}}));
    EXPECT_EQ(doc.Root().FindNode("DEVICE\\PARAMETERS")->GetAttribute("BusAddress"), "CAN");
}

TEST_F(ParamFileExportTest, ReadErrorsGoToFileAndReport) {
    ScriptedDrive drive;
    drive.blockSize = 10;
    drive.Add("A", 2, 1, {1, 0});
    drive.Add("B", 2, 1, {2, 0});
    drive.Add("C", 2, 2, {3, 0});
    drive.Add("Info", 2, 0, {4, 0});
    drive.cellFailures["B"] = 2;
    drive.cellFailures["Info"] = 3;
    drive.addFailures["C"] = -5;

    fs::path file = dir_ / "e.xml";
    EXPECT_EQ(ExportParametersFile(drive, file, kParamSaveXml, false, true), 1);
    // The add failure stopped the parameter list (its pending block dropped unread) but not the
    // information list, and the report is shown even in quiet mode.
    EXPECT_EQ(drive.blocks, (std::vector<std::vector<std::string>>{{"Info"}}));
    EXPECT_EQ(drive.reportHeading, "Read errors:");
    EXPECT_EQ(drive.reportLines, (std::vector<std::string>{"C read error: -5(0xfffffffb)"}));
    CXmlDocument doc;
    ASSERT_EQ(doc.Load(file), S_OK);
    EXPECT_TRUE(ParamValues(doc, "PARAMETERS").empty());
    EXPECT_EQ(doc.Root().FindNode("DEVICE\\Warnings\\Err")->Value(), "'Info' read error: modbus error 0x3");

    // Cell errors alone: listed, and quiet mode keeps the report closed.
    ScriptedDrive quiet;
    quiet.Add("A", 2, 1, {1, 0});
    quiet.Add("B", 2, 1, {2, 0});
    quiet.cellFailures["B"] = 2;
    EXPECT_EQ(ExportParametersFile(quiet, file, kParamSaveXml, false, true), 1);
    EXPECT_TRUE(quiet.reportLines.empty());
    ASSERT_EQ(doc.Load(file), S_OK);
    EXPECT_EQ(ParamValues(doc, "PARAMETERS"), (std::map<std::string, std::string>{{"A", "1"}}));
    EXPECT_EQ(doc.Root().FindNode("DEVICE\\Errors\\Err")->Value(), "'B' read error: modbus error 0x2");
}

TEST_F(ParamFileExportTest, BlockFailureListsEveryCell) {
    ScriptedDrive drive;
    drive.Add("A", 2, 1, {1, 0});
    drive.Add("B", 2, 1, {2, 0});
    drive.Add("C", 2, 1, {3, 0});
    drive.blockFailure = -123;
    EXPECT_EQ(ExportParametersFile(drive, dir_ / "b.xml", kParamExportXml, false, false), 1);
    EXPECT_EQ(drive.reportLines, (std::vector<std::string>{
                                     "Block read error: -123(0xffffff85), cells in the block:", "A", "B"}));
}

TEST_F(ParamFileExportTest, RefusalsAndBracket) {
    ScriptedDrive empty;
    empty.Add("Never", 2, -2, {1, 0});
    EXPECT_EQ(ExportParametersFile(empty, dir_ / "n.xml", kParamExportXml, true, false),
              kParamFileNothingToWrite);
    EXPECT_FALSE(fs::exists(dir_ / "n.xml"));
    EXPECT_FALSE(empty.modifiedCleared);

    ScriptedDrive refused;
    refused.Add("A", 2, 1, {1, 0});
    refused.startCode = 77;
    EXPECT_EQ(ExportParametersFile(refused, dir_ / "r.xml", kParamExportXml, true, false), 77);
    EXPECT_FALSE(fs::exists(dir_ / "r.xml"));
    EXPECT_EQ(refused.paused, 0);
    EXPECT_FALSE(refused.modifiedCleared);

    ScriptedDrive keyed;
    keyed.Add("A", 2, 1, {1, 0});
    keyed.enablingKey = 5;
    EXPECT_EQ(ExportParametersFile(keyed, dir_ / "k.xml", kParamExportXml, false, false), 0);
    EXPECT_TRUE(keyed.commands.empty());

    ScriptedDrive unwritable;
    unwritable.Add("A", 2, 1, {1, 0});
    EXPECT_EQ(ExportParametersFile(unwritable, dir_ / "no" / "x.xml", kParamExportXml, false, false),
              kParamFileWriteFailed);
    EXPECT_EQ(unwritable.errorCaption, "Error creating file");
    EXPECT_FALSE(unwritable.modifiedCleared);
    EXPECT_EQ(ExportParametersFile(unwritable, dir_ / "no" / "x.txt", kParamExportPlain, false, false),
              kParamFileWriteFailed);
}

TEST_F(ParamFileExportTest, PlainModeWritesModbusAddresses) {
    ScriptedDrive drive;
    drive.Add("Speed", 2, 1, {0x2C, 0x01});
    fs::path file = dir_ / "p.txt";
    EXPECT_EQ(ExportParametersFile(drive, file, kParamSavePlain, false, false), 0);
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    EXPECT_NE(s.str().find("[BUS]\r\nAddressFormat = Modbus"), std::string::npos);
    EXPECT_NE(s.str().find("\r\n[PARAMETERS USER]\r\n; Speed\r\n4000 (2) = 300"), std::string::npos);
}

TEST(ParamFileCellErrorText, Tables) {
    EXPECT_EQ(CellErrorTextFromTable(2, true, "Illegal address"), "Illegal address (modbus 0x2)");
    EXPECT_EQ(CellErrorTextFromTable(2, true, ""), "modbus error 0x2");
    EXPECT_EQ(CellErrorTextFromTable(0x0602, false, "No object"), "No object (0x602)");
    EXPECT_EQ(CellErrorTextFromTable(0x0602, false, ""), "error 0x602");
}

}  // namespace
