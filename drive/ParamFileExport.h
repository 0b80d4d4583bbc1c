#pragma once

// Export of a parameter file: reads every listed parameter from the drive in blocks and writes
// the XML document or the plain text file. The drive object lends its engine block, its
// identity and its user interface through CParamFileDrive, so the export holds no drive state.

#include <cstdint>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

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

}  // namespace drive
