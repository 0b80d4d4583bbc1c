#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/Thread.h"
#include "platform/TimedMutex.h"

namespace engine {

// One stored value of a node: either a plain 32-bit word (size 0) or a block of bytes.
struct CNodoValue {
    uint32_t word = 0;
    std::vector<uint8_t> data;
    uint32_t size = 0;  // 0: the word itself is the value
};

// What identification tells about a device: its node number and identity.
struct CNodeConnection {
    uint8_t nodeId = 0;
    uint32_t hardwareCode = 0;
    uint32_t softwareCode = 0;
    uint32_t softwareVersion = 0;
};

// One drive reached on one channel. Owned by the engine's node table. Every use of a node by a
// thread happens while its lock is held; only the transfer-busy flag is read without it.
class CNodo {
  public:
    static constexpr uint32_t kDefaultLockTimeoutMs = 6000;
    static constexpr uint8_t kGuardFresh = 0x80;

    CNodo(uint16_t guardTimeMs, uint8_t lifeTimeFactor);
    virtual ~CNodo();
    CNodo(const CNodo&) = delete;
    CNodo& operator=(const CNodo&) = delete;

    // Waits for the node's lock up to the lock time-out; logs a failure to the debug log.
    bool Lock();
    // As Lock, but gives up without a log line once stop is requested, looking at it at least
    // every 100 ms: a background thread that waits for a busy node still stops at once.
    bool Lock(const platform::StopToken& stop);
    // Releases the lock; refused (false) when the calling thread does not hold it.
    bool Unlock();
    bool IsLockedByCurrentThread() { return lock_.IsOwnedByCurrentThread(); }

    void ClearValues();
    void SetValue(const std::string& name, const void* data, uint32_t size);
    void SetValueWord(const std::string& name, uint32_t word);
    uint32_t GetValue(const std::string& name) const;
    uint32_t GetValueBytes(const std::string& name, uint32_t bufferSize, void* buffer) const;
    bool HasValue(const std::string& name) const { return values_.count(name) != 0; }
    size_t ValueCount() const { return values_.size(); }

    bool IsTransferBusy() const { return transferBusy_.load(); }
    void SetTransferBusy(bool busy) { transferBusy_.store(busy); }

    // Clears everything a released slot must not keep (the lock itself is left alone).
    void ResetIdentity();

    int32_t channelIndex = -1;
    uint32_t address = 0;
    int32_t vocabularyIndex = -1;
    uint8_t nodeId = 0;
    uint32_t hardwareCode = 0;
    uint32_t softwareCode = 0;
    uint32_t softwareVersion = 0;
    uint16_t build = 0;
    uint8_t simulated = 0;
    // Node guard state (used by the guard thread).
    uint8_t guardArmed = 0;
    uint8_t guardState = kGuardFresh;
    uint8_t reportedGuardState = kGuardFresh;
    int64_t lastSendMs = 0;
    int64_t lastAnswerMs = 0;
    uint16_t guardTimeMs;
    uint8_t lifeTimeFactor;
    uint32_t wordOrder = 0;
    uint32_t lockTimeoutMs = kDefaultLockTimeoutMs;

    CNodeConnection Connection() const { return {nodeId, hardwareCode, softwareCode, softwareVersion}; }

  private:
    std::atomic<bool> transferBusy_{false};
    platform::TimedMutex lock_;
    std::unordered_map<std::string, CNodoValue> values_;
};

}  // namespace engine
