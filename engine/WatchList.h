#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

namespace engine {

// Where a watched variable lives in the drive's program memory.
struct CWatchVariable {
    uint16_t address = 0;
    uint32_t offset = 0;
    uint32_t size = 0;  // bytes
    uint8_t bit = 0;    // below 8: a single bit of a 1-byte variable
};

// One watched variable; value points to size bytes of the owner's (the value's native form).
struct CWatchEntry {
    static constexpr int kFresh = 1;
    static constexpr int kNotUpdated = 2;
    static constexpr int kLeftAlone = 4;
    static constexpr int kWritePending = 5;

    const CWatchVariable* variable = nullptr;
    int state = 0;
    void* value = nullptr;
};

// A run of the drive's memory uploaded at once, and the entries it covers.
struct CWatchBlock {
    uint32_t base = 0;
    uint32_t length = 0;
    std::vector<size_t> entries;
};

// The drive object's watch list: walked, written and updated by its watch thread, changed by
// other threads under LockWrite. The lock calls answer true when the lock was NOT obtained.
class CWatchList {
  public:
    bool LockRead(uint32_t limitMs);
    void UnlockRead();
    bool LockWrite();
    void UnlockWrite();

    // 0, -1 (read lock not obtained in 30 ms) or -2 (no further entry). For a pending write the
    // entry's value (size bytes, at most dataCapacity when given) is copied to data.
    int GetNext(uint16_t* address, uint32_t* offset, uint32_t* size, int* state, void* data,
                uint32_t dataCapacity = UINT32_MAX);
    // The first pending write as a request of virtual-machine command 4; its size, or 0 with
    // *buffer null when there is none (untouched when the lock fails).
    uint32_t BuildRequest(const uint8_t** buffer);
    // The blocks as the items of virtual-machine command 3, one of 12 bytes each: base offset,
    // length, program area of the block's first entry (in the drive's byte order), bit number 0
    // and a last-item flag, set on the last one. False when the read lock was not had in time.
    bool CopyItemTable(std::vector<uint8_t>& out, uint32_t limitMs);
    // Spreads an uploaded buffer over the entries of the blocks it covers.
    void Update(const uint8_t* data, uint32_t length, bool skip);

    // Filled by the drive object under LockWrite.
    bool bigEndian = false;
    int cursor = -1;
    std::vector<CWatchEntry> entries;
    std::vector<CWatchBlock> blocks;

    uint32_t RequestSize() const { return requestSize_; }

  private:
    bool TakeSpin(uint32_t limitMs, uint32_t& elapsedMs);

    std::atomic<int> spin_{0};
    std::atomic<int> readers_{0};
    std::atomic<int> writer_{0};
    std::vector<uint8_t> request_;
    uint32_t requestSize_ = 0;
};

}  // namespace engine
