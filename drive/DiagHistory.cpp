#include "drive/DiagHistory.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "drive/Qd.h"
#include "foundation/XmlNode.h"

namespace drive {

namespace {

uint16_t U16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint64_t U64(const uint8_t* p) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

std::string SlotCellName(uint32_t slot) {
    return "DiagHistoryMsg_" + std::to_string(slot - (kFirstDiagSlot - 1));
}

}  // namespace

bool CDiagHistoryMsg::Decode(const uint8_t* raw, size_t size, uint64_t offsetNs) {
    if (!raw || size < kDiagRecordBytes) return false;
    const uint16_t diag = U16(raw);
    int cls = -1;
    if (diag >= 0xE000 && diag <= 0xE7FF)
        cls = 0;
    else if (diag == 0xE800)
        cls = 1;
    else if (diag >= 0xEE00 && diag <= 0xEFFF)
        cls = 2;
    else if (diag >= 0xE801 && diag <= 0xEDFF)
        cls = 3;
    if (cls < 0) return false;
    codeClass = cls;
    code = U16(raw + 2);
    const uint16_t flags = U16(raw + 4);
    type = flags & 0x0F;
    flag = (flags & 0x10) != 0;
    textId = U16(raw + 6);
    timeStamp = U64(raw + 8) + offsetNs;
    return true;
}

std::string CDiagHistoryMsg::FormatTime(bool iso, bool microseconds) const {
    return FormatDiagTimestamp(timeStamp, iso, microseconds);
}

const char* DiagCodeClassText(int codeClass) {
    switch (codeClass) {
        case 0:
            return "Manufacturer";
        case 1:
            return "Emergency";
        case 2:
            return "Profile";
        case 3:
            return "Reserved";
        default:
            return "Not used";
    }
}

const char* DiagMessageTypeText(uint16_t type) {
    switch (type) {
        case 0:
            return "Information";
        case 1:
            return "Warning";
        case 2:
            return "Error";
        default:
            return "";
    }
}

const char* DiagMessageTypeShortText(uint16_t type) {
    switch (type) {
        case 0:
            return "Inf";
        case 1:
            return "Wrn";
        case 2:
            return "Err";
        default:
            return "   ";
    }
}

std::string FormatDiagTimestamp(uint64_t timeStampNs, bool iso, bool microseconds) {
    if (timeStampNs == 0) return std::string();
    const uint64_t seconds = timeStampNs / 1000000000ULL;
    const uint64_t rest = timeStampNs - seconds * 1000000000ULL;
    const std::time_t when = static_cast<std::time_t>(seconds + kDiagEpochUnixSeconds);
    std::tm local{};
    if (!localtime_r(&when, &local)) return std::string();
    // The exact fraction, zero-padded: 5 ms is ".005", not ".6".
    const unsigned long fraction = static_cast<unsigned long>(microseconds ? rest / 1000 : rest / 1000000);
    const int digits = microseconds ? 6 : 3;
    char text[96];
    if (iso)
        std::snprintf(text, sizeof text, "%d-%02d-%02dT%02d:%02d:%02d.%0*lu", local.tm_year + 1900,
                      local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, digits,
                      fraction);
    else
        std::snprintf(text, sizeof text, "%d.%d.%d %02d:%02d:%02d %0*lu", local.tm_mon + 1, local.tm_mday,
                      local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec, digits, fraction);
    return text;
}

void LoadDiagMessageTexts(const foundation::CXmlNode* driveData, DiagTextMap& map) {
    map.clear();
    const foundation::CXmlNode* list = driveData ? driveData->FindNode("Extra\\DiagMessages") : nullptr;
    if (!list) return;
    for (const foundation::CXmlNode* message : list->Children()) {
        if (message->Name() != "DiagMessage") continue;
        const foundation::CXmlNode* id = nullptr;
        const foundation::CXmlNode* text = nullptr;
        for (const foundation::CXmlNode* child : message->Children()) {
            if (child->Name() == "TextId" && !id) id = child;
            if (child->Name() == "MessageText" && !text) text = child;
        }
        if (!id || id->Value().size() < 6) continue;
        const std::string digits = id->Value().substr(2, 4);
        if (!std::all_of(digits.begin(), digits.end(),
                         [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
            continue;
        const uint32_t value = static_cast<uint32_t>(std::stoul(digits, nullptr, 16));
        if (value > 0 && text) map[value] = text->Value();
    }
}

std::string DiagMessageText(const DiagTextMap& map, uint16_t textId) {
    const auto it = map.find(textId);
    if (it != map.end()) return it->second;
    char text[48];
    std::snprintf(text, sizeof text, "Logger event %u (0x%X)", textId, textId);
    return text;
}

std::string JsonEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (const char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            default:
                if (c < 0x20) {
                    char esc[8];
                    std::snprintf(esc, sizeof esc, "\\u%04x", c);
                    out += esc;
                } else {
                    out += ch;
                }
        }
    }
    return out;
}

std::string DiagMessageJson(const CDiagHistoryMsg& msg, const std::string& text, bool iso,
                            bool microseconds) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%X", msg.code);
    std::string out = "{\"Type\":\"";
    out += DiagMessageTypeText(msg.type);
    out += "\",\"Code\":{\"Type\":\"";
    out += DiagCodeClassText(msg.codeClass);
    out += "\",\"Code\":\"";
    out += code;
    out += "\"},\"TextID\":" + std::to_string(msg.textId);
    out += ",\"Text\":\"" + JsonEscape(text);
    out += "\",\"TimeStamp\":\"" + JsonEscape(msg.FormatTime(iso, microseconds)) + "\"}";
    return out;
}

std::string DiagMessagesJsonArray(const std::vector<std::string>& objects) {
    if (objects.empty()) return "[]";
    std::string out = "[\r\n";
    for (size_t i = 0; i < objects.size(); ++i) {
        out += objects[i];
        out += i + 1 < objects.size() ? ",\r\n" : "\r\n";
    }
    return out + "]";
}

int CQdDiagHistorySource::ReadCell(const std::string& name, uint32_t* value) {
    return drive_.ReadCell(name, value);
}

int CQdDiagHistorySource::WriteCell(const std::string& name, uint32_t value) {
    return drive_.WriteCell(name, value);
}

int CQdDiagHistorySource::UploadCell(const std::string& name, void* buffer, uint32_t size) {
    return drive_.UploadCell(name, buffer, size);
}

bool CQdDiagHistorySource::HasCell(const std::string& name) {
    uint32_t size = 0;
    return drive_.GetCellInfo(name, nullptr, &size, nullptr) == 0;
}

std::string CQdDiagHistorySource::LastErrorText() {
    return drive_.LastErrorText();
}

bool ReadDiagHistoryLayout(IDiagHistorySource& source, DiagHistoryLayout& layout, std::string& error) {
    uint32_t maxMsg = 0;
    if (source.ReadCell("DiagHistoryMaxMsg", &maxMsg) != 0) {
        error = "Cannot read DiagHistoryMaxMsg: " + source.LastErrorText();
        return false;
    }
    if (maxMsg < 1 || maxMsg > kMaxDiagSlots) {
        error = "The drive reports " + std::to_string(maxMsg) + " history slots (1.." +
                std::to_string(kMaxDiagSlots) + " expected)";
        return false;
    }
    uint32_t loggerSize = 0, msgSize = 0;
    if (source.ReadCell("DataLoggerBUfferSize", &loggerSize) != 0) loggerSize = 0;
    if (source.ReadCell("DataLoggerMsgSize", &msgSize) != 0) msgSize = kDiagRecordBytes;
    if (msgSize < kDiagRecordBytes || msgSize > kMaxDiagMsgSize) {
        error = "The drive reports a message size of " + std::to_string(msgSize) + " bytes (" +
                std::to_string(kDiagRecordBytes) + ".." + std::to_string(kMaxDiagMsgSize) + " expected)";
        return false;
    }
    layout.maxMsg = maxMsg;
    layout.msgSize = msgSize;
    layout.loggerSize = loggerSize;
    return true;
}

uint64_t ComputeDiagTimeOffset(IDiagHistorySource& source, int64_t nowUnixSeconds) {
    uint32_t driveSeconds = 0;
    if (source.ReadCell("TimeStampManufLocal", &driveSeconds) != 0) return 0;
    const int64_t diff = (nowUnixSeconds - kDiagEpochUnixSeconds) - static_cast<int64_t>(driveSeconds);
    return static_cast<uint64_t>(diff) * 1000000000ULL;
}

bool ReadDiagSlot(IDiagHistorySource& source, const DiagHistoryLayout& layout, uint32_t slot,
                  uint64_t offsetNs, CDiagHistoryMsg& msg) {
    if (!layout.ValidSlot(slot)) return false;
    std::vector<uint8_t> buffer(layout.msgSize, 0);
    const int rc = source.UploadCell(SlotCellName(slot), buffer.data(), layout.msgSize);
    if (rc != static_cast<int>(layout.msgSize)) return false;
    return msg.Decode(buffer.data(), buffer.size(), offsetNs);
}

bool UploadDataLogger(IDiagHistorySource& source, uint32_t msgSize, uint64_t offsetNs,
                      std::vector<CDiagHistoryMsg>& out, std::string& error) {
    out.clear();
    if (msgSize < kDiagRecordBytes || msgSize > kMaxDiagMsgSize) {
        error = "Bad message size " + std::to_string(msgSize);
        return false;
    }
    std::vector<uint8_t> buffer(kDataLoggerBufferBytes, 0);
    const int rc = source.UploadCell("DataLoggerUpload", buffer.data(), kDataLoggerBufferBytes);
    if (rc < 1) {
        error = source.LastErrorText();
        if (error.empty()) error = "Data logger upload failed (" + std::to_string(rc) + ")";
        return false;
    }
    const size_t bytes = std::min<size_t>(static_cast<size_t>(rc), buffer.size());
    // The drive's message size is the stride; a tail shorter than one message is ignored.
    for (size_t at = 0; at + msgSize <= bytes; at += msgSize) {
        CDiagHistoryMsg msg;
        if (msg.Decode(buffer.data() + at, msgSize, 0)) out.push_back(msg);
    }
    // Stamps after the last backward jump of the drive's clock are on the current clock.
    uint64_t later = UINT64_MAX;
    for (size_t i = out.size(); i-- > 0;) {
        if (out[i].timeStamp > later) break;
        later = out[i].timeStamp;
        out[i].timeStamp += offsetNs;
    }
    return true;
}

namespace {

bool ReadNewestSlots(IDiagHistorySource& source, const DiagHistoryLayout& layout, uint32_t* newest,
                     uint32_t* ack, std::string& error) {
    if (source.ReadCell("DiagHistoryNewestMsg", newest) != 0) {
        error = "Cannot read DiagHistoryNewestMsg: " + source.LastErrorText();
        return false;
    }
    if (!layout.ValidSlot(*newest)) {
        error = "The drive's newest message slot " + std::to_string(*newest) + " is outside " +
                std::to_string(kFirstDiagSlot) + ".." + std::to_string(layout.LastSlot());
        return false;
    }
    if (source.ReadCell("DiagHistoryNewestAckMsg", ack) != 0) *ack = 0;
    return true;
}

}  // namespace

bool ReadDiagHistory(IDiagHistorySource& source, const DiagHistoryLayout& layout, uint64_t offsetNs,
                     std::vector<CDiagHistoryMsg>& out, uint32_t* newestSlot, uint32_t* ackSlot,
                     std::string& error) {
    out.clear();
    uint32_t newest = 0, ack = 0;
    if (!ReadNewestSlots(source, layout, &newest, &ack, error)) return false;
    if (newestSlot) *newestSlot = newest;
    if (ackSlot) *ackSlot = ack;

    std::vector<CDiagHistoryMsg> logger;
    if (source.HasCell("DataLoggerUpload")) {
        std::string loggerError;
        UploadDataLogger(source, layout.msgSize, offsetNs, logger, loggerError);
    }
    const bool haveJoin = !logger.empty();
    const CDiagHistoryMsg join = haveJoin ? logger.back() : CDiagHistoryMsg{};

    std::vector<CDiagHistoryMsg> newer;  // newest first
    bool joined = false;
    for (uint32_t slot = newest; slot >= kFirstDiagSlot; --slot) {
        CDiagHistoryMsg msg;
        if (!ReadDiagSlot(source, layout, slot, offsetNs, msg)) continue;
        if (haveJoin && msg.SameEvent(join)) {
            joined = true;
            break;
        }
        newer.push_back(msg);
    }
    std::vector<CDiagHistoryMsg> older;  // oldest first, the part of the ring behind the wrap
    if (!joined) {
        for (uint32_t slot = newest + 1; slot <= layout.LastSlot(); ++slot) {
            CDiagHistoryMsg msg;
            if (!ReadDiagSlot(source, layout, slot, offsetNs, msg)) break;
            if (haveJoin && msg.SameEvent(join))
                older.clear();
            else
                older.push_back(msg);
        }
    }
    out = std::move(logger);
    out.insert(out.end(), older.begin(), older.end());
    out.insert(out.end(), newer.rbegin(), newer.rend());
    return true;
}

void ReadDiagHistoryText(IDiagHistorySource& source, const foundation::CXmlNode* driveData,
                         std::vector<std::string>& lines, int64_t nowUnixSeconds) {
    DiagHistoryLayout layout;
    std::string error;
    if (!ReadDiagHistoryLayout(source, layout, error)) return;
    DiagTextMap texts;
    LoadDiagMessageTexts(driveData, texts);
    const uint64_t offset = ComputeDiagTimeOffset(source, nowUnixSeconds);
    std::vector<CDiagHistoryMsg> messages;
    if (!ReadDiagHistory(source, layout, offset, messages, nullptr, nullptr, error)) return;
    for (const CDiagHistoryMsg& msg : messages) {
        if (msg.textId == kHiddenDiagTextId) continue;
        lines.push_back(msg.FormatTime(true, true) + ":[" + DiagMessageTypeShortText(msg.type) + "] " +
                        DiagMessageText(texts, msg.textId));
    }
}

void ReadDiagHistoryText(CQd& drive, std::vector<std::string>& lines) {
    CQdDiagHistorySource source(drive);
    ReadDiagHistoryText(source, drive.DriveData(), lines, static_cast<int64_t>(std::time(nullptr)));
}

bool CDiagHistoryPoller::Poll(IDiagHistorySource& source, const DiagHistoryLayout& layout, uint64_t offsetNs,
                              std::vector<CDiagHistoryMsg>& fresh, bool& ackChanged, std::string& error) {
    fresh.clear();
    ackChanged = false;
    uint32_t newest = 0, ack = 0;
    if (!ReadNewestSlots(source, layout, &newest, &ack, error)) return false;
    if (newest != lastNewest_) {
        // From the slot after the last seen one round to the newest; never more than one lap.
        uint32_t slot = layout.ValidSlot(lastNewest_) ? layout.NextSlot(lastNewest_) : kFirstDiagSlot;
        for (uint32_t n = 0; n < layout.maxMsg; ++n) {
            CDiagHistoryMsg msg;
            if (ReadDiagSlot(source, layout, slot, offsetNs, msg)) fresh.push_back(msg);
            if (slot == newest) break;
            slot = layout.NextSlot(slot);
        }
        lastNewest_ = newest;
    } else if (ack != lastAck_) {
        ackChanged = true;
    }
    lastAck_ = ack;
    return true;
}

}  // namespace drive
