#include "drive/ParamFileImport.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>

#include "engine/VocabularyItem.h"
#include "foundation/Version.h"
#include "foundation/XmlDocument.h"
#include "foundation/XmlNode.h"

using namespace foundation;

namespace drive {

namespace {

constexpr int kYes = 6;

std::string Printf(const char* format, auto... args) {
    char buf[1024];
    std::snprintf(buf, sizeof buf, format, args...);
    return buf;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx", optionally in braces, into the in-memory layout.
bool ParseGuid(std::string text, uint8_t out[16]) {
    if (text.size() == 38 && text.front() == '{' && text.back() == '}') text = text.substr(1, 36);
    if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-')
        return false;
    std::string hex;
    for (char c : text)
        if (c != '-') hex += c;
    uint8_t raw[16];
    for (int i = 0; i < 16; ++i) {
        int hi = HexDigit(hex[2 * i]), lo = HexDigit(hex[2 * i + 1]);
        if (hi < 0 || lo < 0) return false;
        raw[i] = static_cast<uint8_t>(hi << 4 | lo);
    }
    const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    for (int i = 0; i < 16; ++i) out[i] = raw[order[i]];
    return true;
}

std::string StripSingleQuotes(const std::string& text) {
    std::string out;
    for (char c : text)
        if (c != '\'') out += c;
    return out;
}

const std::string& DisplayName(const ParamFileItem& item) {
    return item.title.empty() ? item.name : item.title;
}

// Fills the entry's buffer from the item's value text; false (with an error line) when the text
// cannot be turned into the item's bytes.
bool PrepareValue(CParamFileImportDrive& drive, ParamWriteEntry& entry, std::vector<std::string>& errors) {
    ParamFileItem& item = *entry.item;
    const std::string& text = item.valueText;
    auto wrong = [&] {
        errors.push_back(Printf("'%s' wrong format value: '%s'", item.name.c_str(), text.c_str()));
        return false;
    };
    if (item.size > 4 && drive.IsMotorGuidName(item.name)) {
        std::vector<uint8_t> buffer(16, 0);
        if (!ParseGuid(StripSingleQuotes(text), buffer.data())) {
            if (text.size() < 2 || text.compare(0, 2, "0x") != 0 || !ParseBoundedValueText(text, 16, buffer))
                return wrong();
        }
        entry.buffer = std::move(buffer);
        return true;
    }
    std::vector<uint8_t> bytes;
    if (!ParseBoundedValueText(text, item.size, bytes)) return wrong();
    if (item.size >= 1 && item.size <= 4) {
        std::memcpy(entry.slot, bytes.data(), sizeof entry.slot);
    } else {
        entry.buffer = std::move(bytes);
    }
    return true;
}

}  // namespace

bool In6SettingsSkipped(int32_t hwCode, int32_t hardwareRevision) {
    return hwCode == 111 && hardwareRevision >= 0 && hardwareRevision <= 4;
}

bool CParamFileImportDrive::SkipIn6Settings() const {
    return In6SettingsSkipped(HwCode(), HardwareRevision());
}

bool ParseBoundedValueText(const std::string& text, uint32_t size, std::vector<uint8_t>& out) {
    std::vector<uint8_t> natural;
    if (!ParseValueText(text, natural)) return false;
    // An item of unknown size takes the value as it comes.
    if (size == 0) {
        out = std::move(natural);
        return true;
    }
    const size_t first = text.find_first_not_of(" \t");
    const bool empty = first == std::string::npos;
    const bool number = !empty && text[first] != '\'' && text.compare(first, 2, "0x") != 0;
    if (number && size < 4) {
        // A 4-byte two's complement number: it must fit the item's bytes, signed or unsigned.
        const uint32_t raw = static_cast<uint32_t>(natural[0]) | static_cast<uint32_t>(natural[1]) << 8 |
                             static_cast<uint32_t>(natural[2]) << 16 |
                             static_cast<uint32_t>(natural[3]) << 24;
        const int64_t value = text[first] == '-' ? static_cast<int64_t>(static_cast<int32_t>(raw)) : raw;
        const int64_t low = -(int64_t{1} << (8 * size - 1));
        const int64_t high = (int64_t{1} << (8 * size)) - 1;
        if (value < low || value > high) return false;
    } else if (!empty && !number && natural.size() > size) {
        // Quoted text and hexadecimal bytes are never cut to fit.
        return false;
    }
    std::vector<uint8_t> bytes(std::max<size_t>(size, 4), 0);
    std::copy_n(natural.begin(), std::min(natural.size(), bytes.size()), bytes.begin());
    out = std::move(bytes);
    return true;
}

std::string ExecuteParameterWriteBlock(CParamFileImportDrive& drive, std::deque<ParamWriteEntry>& entries,
                                       std::vector<std::string>& errors) {
    std::string text;
    auto add = [&](std::string line) {
        text += line + "\r\n";
        errors.push_back(std::move(line));
    };
    drive.ClearEngineError();
    const int code = drive.BlockExecute();
    if (code != 0) {
        add(Printf("Block write error: %d(0x%x), cells in the block:", code, static_cast<unsigned>(code)));
        for (const ParamWriteEntry& e : entries) add(e.item->name);
    } else {
        for (const ParamWriteEntry& e : entries) {
            if (e.result != 0)
                add(Printf("'%s' write error: %s", DisplayName(*e.item).c_str(),
                           drive.CellErrorText(e.result).c_str()));
        }
    }
    entries.clear();
    return text;
}

int ImportParameterFile(CParamFileImportDrive& drive, const std::filesystem::path& file, bool import,
                        bool download) {
    const std::string caption = download ? "Download parameters" : "Import parameters";
    const std::string suffix = download ? ": nothing has been downloaded!" : ": nothing has been imported!";
    const std::string program = drive.ProgramName();

    CXmlDocument doc;
    if (doc.Load(file) != S_OK || doc.Root().Name() != "DEVICE_PARAMETER") {
        drive.ShowMessage(
            Printf("Missing or wrong %s parameters file!\r\n%s", program.c_str(), file.string().c_str()),
            caption, kParamIconError);
        return 1;
    }
    const CXmlNode& root = doc.Root();
    const int version = root.GetAttributeInt("Version", 0);
    if (version == 0) {
        drive.ShowMessage("Parameters file version cannot be zero! Not valid or corrupted parameters file!",
                          caption, kParamIconError);
        return 2;
    }
    if (version > 2) {
        drive.ShowMessage(
            Printf("Parameters file version greater than %s Version! Please update with a more recent "
                   "%s program (if exists).",
                   program.c_str(), program.c_str()),
            caption, kParamIconError);
        return 3;
    }
    const CXmlNode* device = root.FindNode("DEVICE");
    if (!device) {
        drive.ShowMessage("DEVICE: xml node missing! Not valid or corrupted parameters file!", caption,
                          kParamIconError);
        return 2;
    }
    bool checkCompatibility = drive.IsOnline();
    if (device->GetAttributeInt("Type", 0) != drive.TypeCode() &&
        device->GetAttributeInt("Hw", 0) != drive.HwCode()) {
        std::string q =
            Printf("The parameters file is for device:\n\n%s\nHardware %d, Software %d\n\nContinue anyway?",
                   device->GetAttribute("Descr").c_str(), device->GetAttributeInt("Hw", 0),
                   device->GetAttributeInt("Type", 0));
        if (drive.AskYesNoCancel(q, caption) != kYes) return 3;
        checkCompatibility = false;
    }

    drive.PauseBackground();
    drive.ProgressOpen(caption, "");
    std::vector<std::string> errors;
    auto finish = [&](int result) {
        drive.ResumeBackground();
        drive.ProgressClose();
        return result;
    };

    if (checkCompatibility) {
        drive.ProgressText("compatibility checking...");
        if (const CXmlNode* compat = device->FindNode("COMPATIBILITY")) {
            std::string answer = drive.CheckCompatibility(*compat);
            if (!answer.empty()) {
                drive.ShowMessage(answer, caption, kParamIconError);
                return finish(3);
            }
        }
        const CXmlNode* components = device->FindNode("COMPONENTS");
        if (drive.DeviceGroup() == 10 && components) {
            std::string answer = drive.CheckComponents(*components);
            if (!answer.empty() &&
                drive.AskYesNoCancel(
                    answer + "\r\n\r\nUsing these parameters could cause unpredictable problems. Proceed?",
                    caption) != kYes)
                return finish(3);
        }
    }

    drive.ProgressText("parameters loading...");
    std::map<std::string, std::string> values;
    if (version == 2) {
        if (const CXmlNode* info = device->FindNode("INFO")) {
            for (const CXmlNode* d : info->Children()) {
                if (d->Name() == "DATA" && d->FindAttribute("Name"))
                    values[d->GetAttribute("Name")] = d->GetAttribute("Value");
            }
        }
    }
    if (const CXmlNode* params = device->FindNode("PARAMETERS")) {
        for (const CXmlNode* d : params->Children()) {
            if (d->Name() != "DATA" || !d->FindAttribute("Name")) continue;
            std::string value = d->GetAttribute("Value");
            if (value.empty()) {
                drive.ShowMessage(Printf("Invalid %s parameter value", d->GetAttribute("Name").c_str()),
                                  caption, kParamIconExclamation);
                return finish(2);
            }
            values[d->GetAttribute("Name")] = value;
        }
    }
    if (values.empty()) {
        drive.ShowMessage(Printf("Empty parameters file%s", suffix.c_str()), caption, kParamIconExclamation);
        return finish(3);
    }

    std::vector<ParamFileItem> list, info;
    const std::vector<engine::VocabularyItem>& dictionary = drive.Dictionary();
    BuildParameterFileList(dictionary, drive.UserLevel(), list, import ? &info : nullptr);
    // Information items the drive never lets be written (its type, serial number, order code) are
    // part of every exported file: restoring them would fail on every import of such a file.
    std::set<std::string> readOnly;
    for (const engine::VocabularyItem& item : dictionary)
        if (item.restore == 0 && !item.IsWritable()) readOnly.insert(item.name);
    for (ParamFileItem& item : info)
        if (readOnly.count(item.name) == 0) list.push_back(std::move(item));
    std::vector<std::string> missing;
    std::vector<ParamFileItem> writes;
    for (ParamFileItem& item : list) {
        auto it = values.find(item.name);
        if (it == values.end()) {
            missing.push_back(Printf("Missing '%s'", item.name.c_str()));
            continue;
        }
        item.valueText = it->second;
        writes.push_back(std::move(item));
    }
    if (writes.empty()) {
        drive.ShowMessage("No parameters are restorable in the drive", caption, kParamIconError);
        return finish(kParamFileNothingRestorable);
    }
    if (download && !missing.empty()) {
        // Only a yes (6, or 7 with the box ticked) goes on: a box that could not be shown
        // leaves the drive untouched.
        const int answer = drive.AskMissing("Drive parameters file not complete! Continue anyway?", missing);
        if (answer != 6 && answer != 7) return finish(3);
    }

    drive.ProgressRange(static_cast<int>(writes.size()));
    drive.ProgressPos(0);
    drive.ProgressText("restoring parameters...");

    // Offline the values go into the connection's parameter set: there is no drive to bracket.
    const bool bracket = download && drive.IsOnline();
    bool bracketOpen = false;
    if (bracket) {
        if (drive.HasSystemManager()) {
            int code = drive.ExecuteSystemCommand("SYS_CV_DW_PARAM_FILE_START", 1);
            if (code != 0) return finish(code);
            bracketOpen = true;
        } else {
            bool ok =
                drive.WriteNamed("controlword", 0) == 0 && drive.WriteNamed("ModeOfOperation", -127) == 0;
            for (const ParamInitValue& v : drive.InitValues()) {
                if (!ok) break;
                if (v.flag == 0) ok = drive.WriteNamed(v.name, v.value) == 0;
            }
            ok = ok && drive.WriteNamed("TorqueLimitSelector", 0) == 0;
            if (!ok) {
                drive.ReportMessage(Printf("Init procedure write error%s", suffix.c_str()));
                return finish(3);
            }
        }
    }

    std::deque<ParamWriteEntry> entries;
    const size_t blockSize = drive.BlockSize() > 0 ? static_cast<size_t>(drive.BlockSize()) : 1;
    bool hasErrors = false;
    int previousRestore = 0;
    for (size_t i = 0; i < writes.size(); ++i) {
        ParamFileItem& item = writes[i];
        if (!entries.empty() && item.restore != previousRestore)
            hasErrors |= !ExecuteParameterWriteBlock(drive, entries, errors).empty();
        previousRestore = item.restore;
        if (item.name == "In6Settings" && drive.SkipIn6Settings()) continue;
        ParamWriteEntry& entry = entries.emplace_back();
        entry.item = &item;
        if (!PrepareValue(drive, entry, errors)) {
            entries.pop_back();
            hasErrors = true;
            continue;
        }
        drive.BlockAddWrite(entry);
        if (entries.size() >= blockSize) {
            hasErrors |= !ExecuteParameterWriteBlock(drive, entries, errors).empty();
            drive.ProgressPos(static_cast<int>(i));
        }
    }
    if (!entries.empty()) hasErrors |= !ExecuteParameterWriteBlock(drive, entries, errors).empty();

    int result = kParamFileDone;
    if (bracket) {
        if (bracketOpen) {
            result = drive.ExecuteSystemCommand("SYS_CV_DW_PARAM_FILE_END", 0);
        } else if (drive.WriteNamed("ResetTuningWarning", 0) != 0) {
            drive.ReportMessage("Write error resetting possible no tuning of regulator warning");
        }
    }
    if (hasErrors || !errors.empty()) {
        result = kParamFileWriteErrors;
        drive.ShowErrorsReport("Write errors report:", errors);
    }
    return finish(result);
}

}  // namespace drive
