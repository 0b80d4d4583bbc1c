#include "drive/ParamFileExport.h"
#include "drive/ErrorReport.h"

#include <cstdio>

#include "drive/PlainParamFile.h"
#include "engine/ChannelTypes.h"
#include "foundation/XmlDocument.h"
#include "platform/Prompt.h"

using namespace foundation;

namespace drive {

namespace {

std::string Printf(const char* format, auto... args) {
    char buf[512];
    std::snprintf(buf, sizeof buf, format, args...);
    return buf;
}

const std::string& DisplayName(const ParamFileItem& item) {
    return item.title.empty() ? item.name : item.title;
}

// Reads one list in blocks. False when adding an item failed and the list was cut short.
bool ReadList(CParamFileDrive& drive, std::vector<ParamFileItem>& items, int& done, bool showProgress,
              std::vector<std::string>& errors, std::vector<std::string>& warnings) {
    std::deque<ParamReadEntry> entries;
    const size_t blockSize = drive.BlockSize() > 0 ? static_cast<size_t>(drive.BlockSize()) : 1;
    for (ParamFileItem& item : items) {
        ParamReadEntry& entry = entries.emplace_back();
        entry.item = &item;
        if (item.size < 1 || item.size > 4) entry.buffer.assign(item.size == 0 ? 100 : item.size, 0);
        int code = drive.BlockAddRead(entry);
        if (code == -303) {
            entries.pop_back();
            continue;
        }
        if (code != 0) {
            errors.push_back(
                Printf("%s read error: %d(0x%x)", item.name.c_str(), code, static_cast<unsigned>(code)));
            drive.BlockClear();
            return false;
        }
        ++done;
        if (entries.size() >= blockSize) {
            ExecuteParameterReadBlock(drive, entries, errors, warnings);
            if (showProgress) drive.ProgressPos(done);
        }
    }
    if (!entries.empty()) ExecuteParameterReadBlock(drive, entries, errors, warnings);
    return true;
}

}  // namespace

std::string ExecuteParameterReadBlock(CParamFileDrive& drive, std::deque<ParamReadEntry>& entries,
                                      std::vector<std::string>& errors, std::vector<std::string>& warnings) {
    std::string text;
    auto add = [&](std::vector<std::string>& list, std::string line) {
        text += line + "\r\n";
        list.push_back(std::move(line));
    };
    drive.ClearEngineError();
    const int code = drive.BlockExecute();
    if (code != 0) {
        add(errors,
            Printf("Block read error: %d(0x%x), cells in the block:", code, static_cast<unsigned>(code)));
        for (const ParamReadEntry& e : entries) add(errors, e.item->name);
    } else {
        for (ParamReadEntry& e : entries) {
            ParamFileItem& item = *e.item;
            if (e.result != 0) {
                std::string line = Printf("'%s' read error: %s", DisplayName(item).c_str(),
                                          drive.CellErrorText(e.result).c_str());
                add(item.restore > 0 ? errors : warnings, line);
                continue;
            }
            const bool guid = drive.IsMotorGuidName(item.name);
            if (!FormatParamValueText(item, e.Data(), e.Length(), guid, item.valueText)) {
                add(errors, Printf("%s motor GUID conversion error", item.name.c_str()));
                continue;
            }
            item.valueRead = true;
        }
    }
    entries.clear();
    return text;
}

int ExportParametersFile(CParamFileDrive& drive, const std::filesystem::path& file, int mode,
                         bool showProgress, bool quiet) {
    const bool plain = mode == kParamExportPlain || mode == kParamSavePlain;
    const std::string caption =
        (mode == kParamExportXml || mode == kParamExportPlain) ? "Export parameters" : "Save parameters file";
    if (showProgress) drive.ProgressOpen(caption, "initializing...");

    ParamFileDeviceInfo device = drive.DeviceInfo();
    CXmlDocument doc;
    BuildParameterDocumentHeader(doc, device);

    std::vector<ParamFileItem> params, info;
    BuildParameterFileList(drive.Dictionary(), drive.FactoryLevel(), params, &info);
    if (params.empty() && info.empty()) {
        if (showProgress) drive.ProgressClose();
        return kParamFileNothingToWrite;
    }

    drive.PauseBackground();
    if (showProgress) drive.ProgressText("writing parameters...");
    uint32_t enabling = 0;
    const int keyCode = drive.ReadTestEnablingKey(enabling);
    drive.SetLastCode(keyCode);
    const bool bracket = !(keyCode == 0 && enabling != 0);
    if (drive.HasSystemManager() && bracket) {
        const int start = drive.ExecuteSystemCommand("SYS_CV_EX_PARAM_FILE_START", 1);
        if (start != 0) {
            if (showProgress) drive.ProgressClose();
            drive.ResumeBackground();
            return start;
        }
    }

    std::vector<std::string> errors, warnings;
    int done = 0;
    bool complete = ReadList(drive, params, done, showProgress, errors, warnings);
    complete = ReadList(drive, info, done, showProgress, errors, warnings) && complete;

    if (drive.IsOnline() && drive.HasSystemManager() && bracket)
        drive.ExecuteSystemCommand("SYS_CV_EX_PARAM_FILE_END", 0);

    AppendParameterDocumentBody(doc, device, params, info, errors, warnings);

    int result = kParamFileDone;
    if (!plain) {
        if (doc.Save(file) != S_OK) {
            drive.ShowError("Error creating file", "The file " + file.string() + " could not be written.");
            result = kParamFileWriteFailed;
        }
    } else {
        std::string error = WritePlainParamFile(doc.Root(), file, kPlainParamModbusAddresses);
        if (!error.empty()) {
            drive.ShowError(error, "The file " + file.string() + " could not be written.");
            result = kParamFileWriteFailed;
        }
    }
    if (result == kParamFileDone && !errors.empty()) {
        result = kParamFileReadErrors;
        if (!quiet || !complete) drive.ShowErrorsReport("Read errors:", errors);
    }
    if (showProgress) drive.ProgressClose();
    drive.ResumeBackground();
    // A file that was not written must keep the reminder of offline changes.
    if (result != kParamFileWriteFailed) drive.ClearModifiedParameters();
    return result;
}

std::string CellErrorTextFromTable(int code, bool modbusTable, const std::string& tableText) {
    const unsigned u = static_cast<unsigned>(code);
    if (modbusTable)
        return tableText.empty() ? Printf("modbus error 0x%x", u)
                                 : Printf("%s (modbus 0x%x)", tableText.c_str(), u);
    return tableText.empty() ? Printf("error 0x%x", u) : Printf("%s (0x%x)", tableText.c_str(), u);
}

std::string CellErrorTextForChannel(int code, int channelType, const CDriveErrorTable& table) {
    const bool modbus =
        channelType == engine::channel_type::kSerial || channelType == engine::channel_type::kAds;
    const uint32_t value = static_cast<uint32_t>(code);
    const std::string* text = modbus ? table.FindModbusError(value) : table.FindItemError(value);
    return CellErrorTextFromTable(code, modbus, text ? *text : std::string());
}

int SaveParametersFileAs(CParamFileDrive& drive, int mode, const ParamFileSaveChooser& chooser,
                         const std::string& programName, std::filesystem::path& folder) {
    ParamFileSaveSpec spec;
    spec.title = (mode == kParamSaveXml || mode == kParamSavePlain) ? "Save parameters" : "Export parameters";
    spec.filter = kParamFileSaveFilter;
    spec.defaultExtension = "xml";
    spec.defaultName = programName + "Parameters.xml";
    spec.folder = folder;
    int filterIndex = 0;
    const std::optional<std::filesystem::path> file = chooser ? chooser(spec, &filterIndex) : std::nullopt;
    if (!file || file->empty()) return kParamFileCancelled;
    if (file->has_parent_path()) folder = file->parent_path();
    if (filterIndex == 1) {
        if (mode == kParamExportXml) mode = kParamExportPlain;
        if (mode == kParamSaveXml) mode = kParamSavePlain;
    }
    return ExportParametersFile(drive, *file, mode, true, false);
}

bool ConfirmSaveAllParameters(const ParamSaveAllTarget& target, ParamSaveAllAnswer& answer) {
    if (target.online) {
        if (!answer.dontAsk) {
            // The four-answer box: 6 yes, 7 yes and do not ask again, 8 no, 9 no and do not ask again.
            const int code = platform::Prompts().Custom(
                kMessageDialogPrompt,
                {"Save all parameters in permanent memory. Confirm?", "Parameters", "2"}, nullptr);
            switch (code) {
                case 6:
                    answer = {false, true};
                    break;
                case 7:
                    answer = {true, true};
                    break;
                case 8:
                    answer = {false, true};
                    return false;
                case 9:
                    answer = {true, false};
                    return false;
                default:  // closed without an answer
                    return false;
            }
        } else if (!answer.save) {
            return false;
        }
        return target.saveToPermanentMemory && target.saveToPermanentMemory() == 0;
    }
    if (target.suppressed) return false;
    if (platform::Prompts().MessageBox("Save all parameters. Confirm?", "Save parameters file",
                                       platform::MB_YESNO | platform::MB_ICONQUESTION) != platform::IDYES)
        return false;
    const int rc = target.saveFileAs ? target.saveFileAs(kParamSaveXml) : kParamFileCancelled;
    if (rc == kParamFileDone)
        platform::Prompts().MessageBox("Parameters file successfully saved", "Save parameters",
                                       platform::MB_OK | platform::MB_ICONINFORMATION);
    // Read errors still leave a written file.
    return rc == kParamFileDone || rc == kParamFileReadErrors;
}

}  // namespace drive
