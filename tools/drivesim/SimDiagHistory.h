#pragma once

// The simulated drive's diagnosis history: a ring of 16-byte messages in slots 6..slots+5
// ("DiagHistoryMsg_1".."DiagHistoryMsg_<slots>"), its newest and acknowledged slot, and the data
// logger block ("DataLoggerUpload") that keeps the older messages. Switches make the ring wrap,
// report a newest slot outside the ring, or announce a bad message size.

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace drivesim {

class SimDiagHistory {
  public:
    static constexpr uint32_t kFirstSlot = 6;
    static constexpr uint32_t kRecordBytes = 16;

    explicit SimDiagHistory(uint32_t slots = 32, uint32_t msgSize = 16);

    // Records a message in the next slot; the logger takes the message that leaves the ring's
    // newest few (it lags the ring by loggerLag messages, as a drive's background save does).
    void Add(uint16_t diagCode, uint16_t code, uint16_t flags, uint16_t textId, uint64_t stampNs);
    // Adds messages numbered from the next one on: text id n, stamp n seconds.
    void AddNumbered(int count);

    // Switches.
    void Wrap() { AddNumbered(static_cast<int>(slots_) + 3); }
    void SetNewestOverride(uint32_t slot) { newestOverride_ = slot; }
    void SetAnnouncedMsgSize(uint32_t size) { announcedSize_ = size; }

    bool Serves(const std::string& name) const;
    // The bytes of the named cell (little-endian values), none for a name the history lacks.
    std::optional<std::vector<uint8_t>> Read(const std::string& name) const;
    // Only the acknowledged slot and the drive's clock are writable.
    bool Write(const std::string& name, int64_t value);

    uint32_t Slots() const { return slots_; }
    uint32_t NewestSlot() const;
    uint32_t MsgSize() const { return msgSize_; }
    size_t LoggerCount() const { return logger_.size(); }
    int loggerLag = 2;
    uint32_t loggerCapacity = 1024;  // messages; older ones are dropped
    uint32_t clockSeconds = 0;       // "TimeStampManufLocal"

  private:
    std::vector<uint8_t> Record(uint16_t diagCode, uint16_t code, uint16_t flags, uint16_t textId,
                                uint64_t stampNs) const;

    uint32_t slots_;
    uint32_t msgSize_;
    std::vector<std::vector<uint8_t>> ring_;  // by slot - 6
    std::deque<std::vector<uint8_t>> pending_;
    std::deque<std::vector<uint8_t>> logger_;
    uint32_t newest_;  // slot number
    uint32_t ack_;
    int added_ = 0;
    std::optional<uint32_t> newestOverride_;
    std::optional<uint32_t> announcedSize_;
};

}  // namespace drivesim
