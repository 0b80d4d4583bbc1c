#include "tools/drivesim/SimDiagHistory.h"

#include <algorithm>

namespace drivesim {

namespace {

std::vector<uint8_t> Le32(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

const char kSlotPrefix[] = "DiagHistoryMsg_";

}  // namespace

SimDiagHistory::SimDiagHistory(uint32_t slots, uint32_t msgSize)
    : slots_(std::max<uint32_t>(slots, 1)),
      msgSize_(std::max(msgSize, kRecordBytes)),
      ring_(slots_),
      newest_(slots_ + kFirstSlot - 1),  // the next message goes to the first slot
      ack_(newest_) {}

std::vector<uint8_t> SimDiagHistory::Record(uint16_t diagCode, uint16_t code, uint16_t flags, uint16_t textId,
                                            uint64_t stampNs) const {
    std::vector<uint8_t> r(msgSize_, 0);
    auto put16 = [&](size_t at, uint16_t v) {
        r[at] = static_cast<uint8_t>(v);
        r[at + 1] = static_cast<uint8_t>(v >> 8);
    };
    put16(0, diagCode);
    put16(2, code);
    put16(4, flags);
    put16(6, textId);
    for (size_t i = 0; i < 8; ++i) r[8 + i] = static_cast<uint8_t>(stampNs >> (8 * i));
    return r;
}

void SimDiagHistory::Add(uint16_t diagCode, uint16_t code, uint16_t flags, uint16_t textId,
                         uint64_t stampNs) {
    newest_ = newest_ >= slots_ + kFirstSlot - 1 ? kFirstSlot : newest_ + 1;
    auto record = Record(diagCode, code, flags, textId, stampNs);
    ring_[newest_ - kFirstSlot] = record;
    pending_.push_back(std::move(record));
    while (pending_.size() > static_cast<size_t>(std::max(loggerLag, 0))) {
        logger_.push_back(std::move(pending_.front()));
        pending_.pop_front();
        while (logger_.size() > loggerCapacity) logger_.pop_front();
    }
    ++added_;
}

void SimDiagHistory::AddNumbered(int count) {
    for (int i = 0; i < count; ++i) {
        const int n = added_ + 1;
        // Types cycle through information, warning and error.
        Add(0xE000, static_cast<uint16_t>(0x1000 + n), static_cast<uint16_t>(n % 3), static_cast<uint16_t>(n),
            static_cast<uint64_t>(n) * 1000000000ULL);
    }
}

uint32_t SimDiagHistory::NewestSlot() const {
    return newestOverride_ ? *newestOverride_ : newest_;
}

bool SimDiagHistory::Serves(const std::string& name) const {
    return name == "DiagHistoryMaxMsg" || name == "DiagHistoryNewestMsg" ||
           name == "DiagHistoryNewestAckMsg" || name == "DiagHistoryNewMsgAvaible" ||
           name == "DataLoggerBUfferSize" || name == "DataLoggerMsgSize" || name == "DataLoggerUpload" ||
           name == "TimeStampManufLocal" || name.rfind(kSlotPrefix, 0) == 0;
}

std::optional<std::vector<uint8_t>> SimDiagHistory::Read(const std::string& name) const {
    if (name == "DiagHistoryMaxMsg") return Le32(slots_);
    if (name == "DiagHistoryNewestMsg") return Le32(NewestSlot());
    if (name == "DiagHistoryNewestAckMsg") return Le32(ack_);
    if (name == "DiagHistoryNewMsgAvaible") return Le32(NewestSlot() != ack_ ? 1 : 0);
    if (name == "DataLoggerBUfferSize") return Le32(loggerCapacity * msgSize_);
    if (name == "DataLoggerMsgSize") return Le32(announcedSize_ ? *announcedSize_ : msgSize_);
    if (name == "TimeStampManufLocal") return Le32(clockSeconds);
    if (name == "DataLoggerUpload") {
        std::vector<uint8_t> out;
        for (const auto& r : logger_) out.insert(out.end(), r.begin(), r.end());
        return out;
    }
    if (name.rfind(kSlotPrefix, 0) == 0) {
        const std::string number = name.substr(sizeof kSlotPrefix - 1);
        if (number.empty() || number.size() > 6 ||
            !std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return std::nullopt;
        const uint32_t n = static_cast<uint32_t>(std::stoul(number));
        if (n < 1 || n > slots_) return std::nullopt;
        const auto& r = ring_[n - 1];
        // A slot never written holds an unused code, which readers skip.
        return r.empty() ? std::vector<uint8_t>(msgSize_, 0) : r;
    }
    return std::nullopt;
}

bool SimDiagHistory::Write(const std::string& name, int64_t value) {
    if (name == "DiagHistoryNewestAckMsg") {
        ack_ = static_cast<uint32_t>(value);
        return true;
    }
    if (name == "TimeStampManufLocal") {
        clockSeconds = static_cast<uint32_t>(value);
        return true;
    }
    return false;
}

}  // namespace drivesim
