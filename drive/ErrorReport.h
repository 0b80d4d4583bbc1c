#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace drive {

// The drive description's error descriptions: a list, and two maps from an error value to a
// position in that list (errors of an item access, and the drive's Modbus error values).
struct CDriveErrorTable {
    std::vector<std::string> descriptions;
    std::map<uint32_t, size_t> itemErrors;
    std::map<uint32_t, size_t> modbusErrors;

    void Clear();
    // Null when the value is not mapped or maps past the list.
    const std::string* FindItemError(uint32_t value) const;
    const std::string* FindModbusError(uint32_t value) const;
};

// What composing an error text needs from the drive object.
class CErrorTextSource {
  public:
    virtual ~CErrorTextSource() = default;
    // The engine's last error text when not empty, else the drive object's own message (which
    // taking it clears).
    virtual std::string TakeLastErrorText() = 0;
    // Code of the last failed cell access.
    virtual int32_t LastCellErrorCode() const = 0;
    // Channel type as the connection window numbers it (1 serial Modbus, 7 Modbus TCP box, ...).
    virtual int ChannelType() const = 0;
    // A named read of the drive under the drive lock; 0 on success.
    virtual int ReadCell(const std::string& name, uint32_t& value) = 0;
    // "ModbusError", or the name the vocabulary of the node uses instead.
    virtual std::string ModbusErrorVariableName() const = 0;
};

// The prompt kind of the question with "Don't show this message again"; its arguments are
// text, caption and buttons ("2" Yes and No, else Ok alone); the answer is 4 to 9.
inline constexpr const char* kMessageDialogPrompt = "MessageDialog";

// The prompt kind with which the message-details dialog is asked for; its arguments are
// caption, text, details and severity ("1" warning, "2" error).
inline constexpr const char* kMessageDetailsPrompt = "MessageDetails";
inline constexpr int kSeverityWarning = 1;
inline constexpr int kSeverityError = 2;

// The text explaining a failed drive access: the last error text (or the message), with the
// drive's own description of the error.
std::string ComposeLastErrorText(CErrorTextSource& source, const CDriveErrorTable& errors,
                                 const std::string& message, int32_t code);

// Shows the message (or, without one, the composed text) with the composed text as details;
// returns the dialog's answer.
int ReportDriveError(CErrorTextSource& source, const CDriveErrorTable& errors, const std::string& message,
                     int severity, int32_t code, const std::string& fallbackMessage,
                     const std::string& caption);

}  // namespace drive
