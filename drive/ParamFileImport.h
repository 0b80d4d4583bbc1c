#pragma once

// Import and download of an XML parameter file into the connected drive. The drive object lends
// its engine block, identity, questions and initialisation values through CParamFileImportDrive.

#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "drive/ParamFileExport.h"

namespace foundation {
class CXmlNode;
}  // namespace foundation

namespace drive {

using ParamWriteEntry = ParamReadEntry;

// One entry of the drive's initialisation-value list.
struct ParamInitValue {
    std::string name;
    int32_t value = 0;
    int flag = 0;
};

class CParamFileImportDrive : public CParamFileDrive {
  public:
    // Engine block of writes: the entry's buffer holds the value; results are filled by BlockExecute.
    virtual int BlockAddWrite(ParamWriteEntry& entry) = 0;
    int BlockAddRead(ParamReadEntry&) override { return -1; }

    virtual std::string ProgramName() const { return "Tunova"; }
    virtual int32_t TypeCode() const = 0;
    virtual int32_t HwCode() const = 0;
    // Hardware revision as identified; -1 when it was not read.
    virtual int32_t HardwareRevision() const = 0;
    // Whether "In6Settings" must not be written to this drive.
    bool SkipIn6Settings() const;
    virtual uint16_t UserLevel() const = 0;
    virtual int DeviceGroup() const { return 0; }
    // Compatibility of a file's COMPATIBILITY element against the drive: empty when compatible.
    virtual std::string CheckCompatibility(const foundation::CXmlNode& compatibility) = 0;
    // The file's COMPONENTS against the drive's requirements (device group 10): empty when fine.
    virtual std::string CheckComponents(const foundation::CXmlNode& components) {
        (void)components;
        return {};
    }
    virtual const std::vector<ParamInitValue>& InitValues() = 0;
    // Named write through the drive lock: 0 or a failure code.
    virtual int WriteNamed(const std::string& name, int32_t value) = 0;
    virtual void ReportMessage(const std::string& text) { (void)text; }

    // Questions. Message boxes return 6 (yes), 7 (no) or 2 (cancel); the missing-list dialog 6..9.
    virtual int AskYesNoCancel(const std::string& text, const std::string& caption) = 0;
    virtual int AskMissing(const std::string& text, const std::vector<std::string>& missing) = 0;
    virtual void ShowMessage(const std::string& text, const std::string& caption, int icon) {
        (void)text, (void)caption, (void)icon;
    }
};

// Message icons of ShowMessage.
constexpr int kParamIconError = 0x10;
constexpr int kParamIconExclamation = 0x30;

// Result when nothing in the file is restorable in the drive.
constexpr int kParamFileNothingRestorable = 3;

// Early revisions (0 to 4) of hardware 111 must not get "In6Settings"; an unread revision (-1)
// or a failed read gets it.
bool In6SettingsSkipped(int32_t hwCode, int32_t hardwareRevision);

// The bytes of a value text for an item of the given size: the value must fit the item (a
// quoted text or hexadecimal bytes no longer than the item, a decimal number within the item's
// signed or unsigned range). Sizes 1 to 4 give a 4-byte slot, larger sizes a buffer of the
// item's size (zero-filled behind the value). False, with out untouched, for a malformed or
// oversized text.
bool ParseBoundedValueText(const std::string& text, uint32_t size, std::vector<uint8_t>& out);

// Executes one block of writes; every failing cell adds a line to errors. Returns the lines
// joined, each ending "\r\n"; empty when the block and its cells succeeded.
std::string ExecuteParameterWriteBlock(CParamFileImportDrive& drive, std::deque<ParamWriteEntry>& entries,
                                       std::vector<std::string>& errors);

// 0 done, 1 missing or wrong file, 2 corrupt file, 3 refused, 4 done with write errors, else the
// failing code of the download bracket.
int ImportParameterFile(CParamFileImportDrive& drive, const std::filesystem::path& file, bool import,
                        bool download);

}  // namespace drive
