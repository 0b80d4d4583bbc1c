// Feeds arbitrary files to the drive model's readers of outside text: the XML parameter file
// import (with its number and value texts), the plain-text parameter alias list and the drive
// description reader. The first byte chooses the reader and its options; the rest is the file.
//
//   byte 0 % 4: 0 parameter file import (bit 2: download as well, bit 3: the drive answers "no"),
//               1 number texts, 2 alias list, 3 drive description (bit 2: debug, bit 3: silent).
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "drive/DriveDescription.h"
#include "drive/NumberText.h"
#include "drive/ParamFileImport.h"
#include "drive/Parametri.h"
#include "drive/PlainParamFile.h"
#include "drive/UnitConversion.h"
#include "engine/VocabularyItem.h"
#include "foundation/XmlDocument.h"
#include "platform/Prompt.h"

using namespace drive;
using namespace foundation;

namespace fs = std::filesystem;

namespace {

fs::path g_folder;

void WriteFile(const fs::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A drive that takes every write and answers every question the same way.
class Drive : public CParamFileImportDrive {
  public:
    explicit Drive(int answer) : answer_(answer) {
        Add("P1a", 2, 1);
        Add("P1b", 2, 1);
        Add("P2", 4, 2);
        Add("Label", 8, 3);
        Add("Motor.Guid", 16, 4);
        Add("Long", 300, 5);
        Add("Serial", 4, 0);
        Add("Factory", 2, 1, 200);
    }
    int BlockAddWrite(ParamWriteEntry& entry) override {
        pending_.push_back(&entry);
        return pending_.size() > 3 ? -1 : 0;
    }
    int BlockExecute() override {
        for (ParamWriteEntry* entry : pending_) entry->result = entry->item->restore == 5 ? 0x0602 : 0;
        pending_.clear();
        return 0;
    }
    void BlockClear() override { pending_.clear(); }
    int BlockSize() const override { return 3; }
    std::string CellErrorText(int code) override { return "cell " + std::to_string(code); }
    bool IsMotorGuidName(const std::string& name) const override { return name == "Motor.Guid"; }
    const std::vector<engine::VocabularyItem>& Dictionary() override { return dictionary_; }
    ParamFileDeviceInfo DeviceInfo() override { return {}; }
    void PauseBackground() override {}
    void ResumeBackground() override {}
    int ReadTestEnablingKey(uint32_t& value) override { return static_cast<int>(value = 0); }
    bool IsOnline() const override { return true; }
    bool HasSystemManager() const override { return true; }
    int ExecuteSystemCommand(const std::string&, int) override { return 0; }
    int32_t TypeCode() const override { return 1201; }
    int32_t HwCode() const override { return 111; }
    int32_t HardwareRevision() const override { return 3; }
    uint16_t UserLevel() const override { return 100; }
    std::string CheckCompatibility(const CXmlNode&) override { return {}; }
    const std::vector<ParamInitValue>& InitValues() override { return init_; }
    int WriteNamed(const std::string&, int32_t) override { return 0; }
    int AskYesNoCancel(const std::string&, const std::string&) override { return answer_; }
    int AskMissing(const std::string&, const std::vector<std::string>&) override { return answer_; }

  private:
    void Add(const std::string& name, uint32_t size, int32_t restore, uint16_t level = 0) {
        engine::VocabularyItem item;
        item.name = name;
        item.size = size;
        item.restore = restore;
        item.writeLevel = level;
        item.readLevel = level;
        dictionary_.push_back(item);
    }
    int answer_;
    std::vector<engine::VocabularyItem> dictionary_;
    std::vector<ParamWriteEntry*> pending_;
    std::vector<ParamInitValue> init_ = {{"Brake", 1, 0}, {"Skipped", 2, 1}};
};

class Host : public CDriveDescriptionHost {
  public:
    Host(bool debug, bool silent) : debug_(debug), silent_(silent) {}
    bool IsVariableKnown(const std::string& name) override { return name.size() % 3 != 0; }
    void ReadUnitDefinitions(const CXmlNode* driveSetup) override {
        units_.LoadDriveUnitList(driveSetup);
        units_.SetDriveUnits(1, 4096, 0, "rotary");
    }
    void SetBuildElement(CXmlNode*) override {}
    int FamilyCode() const override { return 12; }
    bool DebugSwitch() const override { return debug_; }
    bool Silent() const override { return silent_; }

  private:
    bool debug_, silent_;
    CUnitConversion units_;
};

void Numbers(std::string_view text) {
    const double value = DriveParseNumber(text);
    for (int decimals : {-1, 0, 3, 31}) {
        const std::string written = DriveFormatFixed(value, decimals);
        (void)DriveParseNumber(written);
    }
    (void)DriveRoundHalfAway(value, -32768, 32767);
    (void)DriveTruncate(value, 0, 0xFFFFFFFFLL);
    (void)AutoDecimals(value);
}

void Description(std::string_view text, unsigned options) {
    CXmlDocument document;
    if (document.LoadXml(text) != S_OK) return;
    CDriveDescription description;
    CParametri parameters;
    Host host((options & 4) != 0, (options & 8) != 0);
    description.ReadDriveSetup(&document, g_folder / "description.xml", parameters, host);
    std::vector<CControlModeEntry> modes;
    CDriveDescription::GetControlModes(&document, modes);
    std::vector<std::string> titles, values, names, attributes;
    std::string listText;
    CDriveDescription::GetSetupList(&document.Root(), "DigitalInputs", titles, values, &names, "Type",
                                    &attributes, "Caption", &listText);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_folder = fuzz::ScratchFolder("fuzz_drive_files");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || g_folder.empty()) return 0;
    const unsigned options = data[0];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (options % 4) {
        case 0: {
            const fs::path file = g_folder / "params.xml";
            WriteFile(file, text);
            Drive drive((options & 8) ? platform::IDNO : platform::IDYES);
            ImportParameterFile(drive, file, true, (options & 4) != 0);
            break;
        }
        case 1:
            Numbers(text);
            break;
        case 2: {
            const fs::path file = g_folder / "ParamRenamed.txt";
            WriteFile(file, text);
            ParameterAliases().clear();
            LoadParameterAliases(file);
            break;
        }
        default:
            Description(text, options);
            break;
    }
    return 0;
}
