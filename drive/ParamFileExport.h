#pragma once

// Export of a parameter file: reads every listed parameter from the drive in blocks and writes
// the XML document or the plain text file. The drive object lends its engine block, its
// identity and its user interface through CParamFileDrive, so the export holds no drive state.

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "drive/ErrorReport.h"
#include "drive/ParamFileFormat.h"

namespace engine {
struct VocabularyItem;
}  // namespace engine

namespace drive {

// One pending read of a block: the item and the buffer the engine fills.
struct ParamReadEntry {
    ParamFileItem* item = nullptr;
    uint8_t slot[4] = {};         // sizes 1 to 4
    std::vector<uint8_t> buffer;  // larger items (100 bytes when the size is unknown)
    int result = 0;
    uint8_t* Data() { return buffer.empty() ? slot : buffer.data(); }
    size_t Length() const { return buffer.empty() ? sizeof slot : buffer.size(); }
};

class CParamFileDrive {
  public:
    virtual ~CParamFileDrive() = default;

    // Engine block of reads. Add: 0, -303 (not in the dictionary) or another failure code.
    virtual int BlockAddRead(ParamReadEntry& entry) = 0;
    // Runs the pending reads once (filling each entry's buffer and result) and empties the block:
    // 0 or the block's failure code.
    virtual int BlockExecute() = 0;
    virtual void BlockClear() = 0;
    virtual void ClearEngineError() {}
    virtual int BlockSize() const = 0;
    virtual std::string CellErrorText(int code) = 0;
    // The motor identifier parameter ("Motor.Guid" or "MotorGuid" by the drive's naming style).
    virtual bool IsMotorGuidName(const std::string& name) const = 0;

    virtual const std::vector<engine::VocabularyItem>& Dictionary() = 0;
    virtual uint16_t FactoryLevel() const { return 200; }
    // Identity, compatibility keys (refreshed when needed), history, components, level names.
    virtual ParamFileDeviceInfo DeviceInfo() = 0;

    virtual void PauseBackground() = 0;
    virtual void ResumeBackground() = 0;
    // "TestEnablingkey" under the drive lock: result code, value out.
    virtual int ReadTestEnablingKey(uint32_t& value) = 0;
    virtual void SetLastCode(int code) { (void)code; }
    virtual bool IsOnline() const = 0;
    virtual bool HasSystemManager() const = 0;
    virtual int ExecuteSystemCommand(const std::string& command, int argument) = 0;
    virtual void ClearModifiedParameters() {}

    // User interface; all optional.
    virtual void ProgressOpen(const std::string& caption, const std::string& text) {
        (void)caption, (void)text;
    }
    virtual void ProgressText(const std::string& text) { (void)text; }
    virtual void ProgressRange(int count) { (void)count; }
    virtual void ProgressPos(int position) { (void)position; }
    virtual void ProgressClose() {}
    virtual void ShowError(const std::string& caption, const std::string& text) { (void)caption, (void)text; }
    virtual void ShowErrorsReport(const std::string& heading, const std::vector<std::string>& lines) {
        (void)heading, (void)lines;
    }
};

// Export modes.
constexpr int kParamExportXml = 0;
constexpr int kParamSaveXml = 1;
constexpr int kParamExportPlain = 2;
constexpr int kParamSavePlain = 3;

// Runs the pending block; read errors go to errors (Restore order above 0) or warnings. Returns
// the collected error text lines of this block (empty when none).
std::string ExecuteParameterReadBlock(CParamFileDrive& drive, std::deque<ParamReadEntry>& entries,
                                      std::vector<std::string>& errors, std::vector<std::string>& warnings);

// 0 done, 1 done with read errors, 4097 writing failed, 4112 nothing to write, else the code of
// the failed file-transfer start command.
int ExportParametersFile(CParamFileDrive& drive, const std::filesystem::path& file, int mode,
                         bool showProgress, bool quiet);

// Text of a cell result from the description's error tables (Modbus table on serial Modbus and
// ADS channels).
std::string CellErrorTextFromTable(int code, bool modbusTable, const std::string& tableText);
// The same, with the table chosen by the engine's channel type: serial Modbus and TwinCAT ADS
// channels report Modbus errors, the others the drive's own error codes.
std::string CellErrorTextForChannel(int code, int channelType, const CDriveErrorTable& table);

// ---- save entry points -------------------------------------------------------------------------

// The save-file dialog of the parameter file.
struct ParamFileSaveSpec {
    uintptr_t parent = 0;  // the window the dialog belongs to
    std::string title;
    std::string filter;  // "text|pattern|text|pattern||"
    std::string defaultExtension;
    std::string defaultName;
    std::filesystem::path folder;
};
inline constexpr const char* kParamFileSaveFilter =
    "Parameters file (*.xml) |*.xml|Plain parameters file (*.txt) |*.txt||";

// Asks for a file to save: the chosen path and the index of the chosen filter (0 first), or
// nothing when the user cancelled. The window layer supplies it; tests answer it.
using ParamFileSaveChooser =
    std::function<std::optional<std::filesystem::path>(const ParamFileSaveSpec& spec, int* filterIndex)>;

// Mode 0 export, 1 save: asks for the file (the plain-text filter turns them into 2 and 3), keeps
// the chosen file's folder in folder and runs the export with progress shown. 4117 when cancelled
// or when no chooser is installed.
int SaveParametersFileAs(CParamFileDrive& drive, int mode, const ParamFileSaveChooser& chooser,
                         const std::string& programName, std::filesystem::path& folder);

// The remembered answer of "Save all parameters in permanent memory. Confirm?": with dontAsk set
// the question is not asked and save decides, so that a remembered No never saves.
struct ParamSaveAllAnswer {
    bool dontAsk = false;
    bool save = true;
};

// What the confirmation needs of the drive object.
struct ParamSaveAllTarget {
    bool online = false;      // connected and not offline
    bool suppressed = false;  // either flag that keeps the offline question from being asked
    std::function<int()> saveToPermanentMemory;  // 0 when saved
    std::function<int(int mode)> saveFileAs;     // SaveParametersFileAs
};

// Online: asks (unless remembered) and saves to permanent memory. Offline: asks and saves the
// parameter file. True when something was saved.
bool ConfirmSaveAllParameters(const ParamSaveAllTarget& target, ParamSaveAllAnswer& answer);

}  // namespace drive
