#include "drive/ErrorReport.h"

#include <cstdio>

#include "platform/CodePage.h"
#include "platform/Prompt.h"

namespace drive {

namespace {
// The last error text is taken into a buffer of 1000 bytes.
constexpr size_t kMaxLastErrorText = 999;

std::string Hex(const char* format, uint32_t value) {
    char text[48];
    std::snprintf(text, sizeof text, format, static_cast<unsigned>(value));
    return text;
}

const std::string* Find(const std::map<uint32_t, size_t>& map, const std::vector<std::string>& list,
                        uint32_t value) {
    const auto it = map.find(value);
    if (it == map.end() || it->second >= list.size()) return nullptr;
    return &list[it->second];
}
}  // namespace

void CDriveErrorTable::Clear() {
    descriptions.clear();
    itemErrors.clear();
    modbusErrors.clear();
}

const std::string* CDriveErrorTable::FindItemError(uint32_t value) const {
    return Find(itemErrors, descriptions, value);
}

const std::string* CDriveErrorTable::FindModbusError(uint32_t value) const {
    return Find(modbusErrors, descriptions, value);
}

std::string ComposeLastErrorText(CErrorTextSource& source, const CDriveErrorTable& errors,
                                 const std::string& message, int32_t code) {
    std::string last = source.TakeLastErrorText();
    last.resize(platform::Utf8SafeCut(last, kMaxLastErrorText));
    std::string text = last.empty() ? message : last;

    if (code == -309) return "Item not writable";
    if (code == -308) return "Item not readable";
    if (code == -303) return "cell item not found";
    if (text == "cell item not found") return text;

    const uint32_t e = static_cast<uint32_t>(source.LastCellErrorCode());
    const int type = source.ChannelType();
    if (type != 1 && type != 7) {
        if (e == 0) return text;
        if (const std::string* description = errors.FindItemError(e)) {
            return *description + Hex(" [0x%x]", e) + "\r\n" + text;
        }
        return text + Hex(" [error 0x%x]", e);
    }

    uint32_t v = 0;
    if (source.ReadCell(source.ModbusErrorVariableName(), v) != 0) return text;
    if (v == 0) return text + Hex(" [error 0x%x]", e);
    const std::string* description = errors.FindModbusError(v);
    if (!description) return text + Hex(" [Modbus error 0x%x]", v);
    std::string composed = *description + Hex("  [modbus error 0x%x", v);
    uint32_t cell = 0;
    if (source.ReadCell("ModbusStartAddressError", cell) == 0) composed += ", cell " + std::to_string(cell);
    return composed + "]\r\n" + text;
}

int ReportDriveError(CErrorTextSource& source, const CDriveErrorTable& errors, const std::string& message,
                     int severity, int32_t code, const std::string& fallbackMessage,
                     const std::string& caption) {
    const std::string details = ComposeLastErrorText(source, errors, fallbackMessage, code);
    const std::string& text = message.empty() ? details : message;
    return platform::Prompts().Custom(kMessageDetailsPrompt,
                                      {caption, text, details, std::to_string(severity)}, nullptr);
}

}  // namespace drive
