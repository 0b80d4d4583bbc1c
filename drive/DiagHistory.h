#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace foundation {
class CXmlNode;
}

namespace drive {

class CQd;

// Bytes of the record every diagnosis message starts with.
constexpr uint32_t kDiagRecordBytes = 16;
// The largest message the drive may announce; a larger "DataLoggerMsgSize" is refused.
constexpr uint32_t kMaxDiagMsgSize = 256;
// Ring slots are numbered from 6; slot s is the cell "DiagHistoryMsg_<s - 5>".
constexpr uint32_t kFirstDiagSlot = 6;
// The largest ring accepted; bounds every loop over the slots.
constexpr uint32_t kMaxDiagSlots = 4096;
// Messages with this text id are never shown or reported.
constexpr uint16_t kHiddenDiagTextId = 0x1111;
// Bytes uploaded at most from the data logger.
constexpr uint32_t kDataLoggerBufferBytes = 256 * 1024;
// Unix time of 2000-01-01 00:00:00, the drive's epoch.
constexpr int64_t kDiagEpochUnixSeconds = 946684800;

struct CDiagHistoryMsg {
    bool flag = false;
    int codeClass = 0;
    uint16_t code = 0;
    uint16_t textId = 0;
    uint16_t type = 0;
    uint64_t timeStamp = 0;  // ns since 2000-01-01
    uint8_t marker = 0;

    // False when the diagnosis code belongs to no class; size must be at least 16.
    bool Decode(const uint8_t* raw, size_t size, uint64_t offsetNs);
    std::string FormatTime(bool iso, bool microseconds) const;
    // Same time stamp, text id, code value and type: the record where ring and logger meet.
    bool SameEvent(const CDiagHistoryMsg& other) const {
        return timeStamp == other.timeStamp && textId == other.textId && code == other.code &&
               type == other.type;
    }
};

const char* DiagCodeClassText(int codeClass);
// "Information", "Warning", "Error", else empty.
const char* DiagMessageTypeText(uint16_t type);
// "Inf", "Wrn", "Err", else three blanks.
const char* DiagMessageTypeShortText(uint16_t type);

// Empty for 0. The fraction is exact and zero-padded (3 digits, 6 with microseconds).
std::string FormatDiagTimestamp(uint64_t timeStampNs, bool iso, bool microseconds);

using DiagTextMap = std::map<uint32_t, std::string>;
// From the drive description's "Extra\DiagMessages" (driveData may be null).
void LoadDiagMessageTexts(const foundation::CXmlNode* driveData, DiagTextMap& map);
// The table's text, else "Logger event <id> (0x<ID>)".
std::string DiagMessageText(const DiagTextMap& map, uint16_t textId);

// One message as a JSON object with the keys Type, Code {Type, Code}, TextID, Text and TimeStamp.
std::string DiagMessageJson(const CDiagHistoryMsg& msg, const std::string& text, bool iso, bool microseconds);
// The objects as one JSON array, one object per line block (CR LF line ends).
std::string DiagMessagesJsonArray(const std::vector<std::string>& objects);
std::string JsonEscape(const std::string& text);

// What the history is read through: the drive object, or a test's stand-in.
class IDiagHistorySource {
  public:
    virtual ~IDiagHistorySource() = default;
    // 0 on success.
    virtual int ReadCell(const std::string& name, uint32_t* value) = 0;
    virtual int WriteCell(const std::string& name, uint32_t value) = 0;
    // Bytes read, or a negative code.
    virtual int UploadCell(const std::string& name, void* buffer, uint32_t size) = 0;
    virtual bool HasCell(const std::string& name) = 0;
    virtual std::string LastErrorText() = 0;
};

class CQdDiagHistorySource : public IDiagHistorySource {
  public:
    explicit CQdDiagHistorySource(CQd& drive) : drive_(drive) {}
    int ReadCell(const std::string& name, uint32_t* value) override;
    int WriteCell(const std::string& name, uint32_t value) override;
    int UploadCell(const std::string& name, void* buffer, uint32_t size) override;
    bool HasCell(const std::string& name) override;
    std::string LastErrorText() override;

  private:
    CQd& drive_;
};

// The ring's shape as the drive announces it, checked.
struct DiagHistoryLayout {
    uint32_t maxMsg = 0;    // ring slots
    uint32_t msgSize = 16;  // bytes per message, the stride in the logger block
    uint32_t loggerSize = 0;
    uint32_t LastSlot() const { return maxMsg + kFirstDiagSlot - 1; }
    bool ValidSlot(uint32_t slot) const { return slot >= kFirstDiagSlot && slot <= LastSlot(); }
    uint32_t NextSlot(uint32_t slot) const { return slot >= LastSlot() ? kFirstDiagSlot : slot + 1; }
};

// Reads "DiagHistoryMaxMsg", "DataLoggerBUfferSize" and "DataLoggerMsgSize" (16 when it cannot be
// read); false with a message when the slot count cannot be read or a value is out of range.
bool ReadDiagHistoryLayout(IDiagHistorySource& source, DiagHistoryLayout& layout, std::string& error);
// The offset that moves the drive's stamps onto the computer's clock; 0 when the drive's clock
// cannot be read.
uint64_t ComputeDiagTimeOffset(IDiagHistorySource& source, int64_t nowUnixSeconds);
// Reads one ring slot; false when the read fails, is short, or the record decodes to no class.
bool ReadDiagSlot(IDiagHistorySource& source, const DiagHistoryLayout& layout, uint32_t slot,
                  uint64_t offsetNs, CDiagHistoryMsg& msg);
// Uploads and decodes the data logger; later stamps after the last clock jump get the offset.
bool UploadDataLogger(IDiagHistorySource& source, uint32_t msgSize, uint64_t offsetNs,
                      std::vector<CDiagHistoryMsg>& out, std::string& error);
// The whole history, oldest first: the logger joined with the ring. newestSlot receives the
// drive's newest slot (for a poll that goes on from there).
bool ReadDiagHistory(IDiagHistorySource& source, const DiagHistoryLayout& layout, uint64_t offsetNs,
                     std::vector<CDiagHistoryMsg>& out, uint32_t* newestSlot, uint32_t* ackSlot,
                     std::string& error);
// One "time:[Typ] text" line per message, oldest first, for the parameter file.
void ReadDiagHistoryText(IDiagHistorySource& source, const foundation::CXmlNode* driveData,
                         std::vector<std::string>& lines, int64_t nowUnixSeconds);
void ReadDiagHistoryText(CQd& drive, std::vector<std::string>& lines);

// Reads what the ring gained since the last pass. Not thread-safe: one thread at a time.
class CDiagHistoryPoller {
  public:
    void SetLastSeen(uint32_t newestSlot, uint32_t ackSlot) {
        lastNewest_ = newestSlot;
        lastAck_ = ackSlot;
    }
    uint32_t LastNewest() const { return lastNewest_; }
    uint32_t LastAck() const { return lastAck_; }
    // New messages oldest first; ackChanged when only the acknowledged slot moved. False with a
    // message when the drive's slots cannot be read or lie outside the ring.
    bool Poll(IDiagHistorySource& source, const DiagHistoryLayout& layout, uint64_t offsetNs,
              std::vector<CDiagHistoryMsg>& fresh, bool& ackChanged, std::string& error);

  private:
    uint32_t lastNewest_ = 0;
    uint32_t lastAck_ = 0;
};

}  // namespace drive
