#pragma once
#include <cstddef>
#include <mutex>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define TUNOVA_POOL_BYPASS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TUNOVA_POOL_BYPASS 1
#endif
#endif

namespace foundation {

// Hands out blocks of one size from slabs that it keeps for reuse, so that building and dropping
// large XML trees again and again neither calls the heap per node nor faults in fresh pages each
// time. Each thread keeps its own free list; a thread's list goes back to the shared one when the
// thread ends. Under AddressSanitizer blocks come from the ordinary heap so that misuse is caught.
class FixedBlockPool {
  public:
    // alignment: a power of two up to that of std::max_align_t.
    explicit FixedBlockPool(size_t blockSize, size_t alignment = alignof(std::max_align_t));
    FixedBlockPool(const FixedBlockPool&) = delete;
    FixedBlockPool& operator=(const FixedBlockPool&) = delete;

    // The common case (a block on this thread's list) is inline: trees take blocks by the thousand.
    void* Allocate() {
#ifndef TUNOVA_POOL_BYPASS
        if (slot_ >= 0 && tlsHeads_ != nullptr) {
            FreeBlock*& head = tlsHeads_[slot_];
            if (FreeBlock* block = head) {
                head = block->next;
                return block;
            }
        }
#endif
        return AllocateSlow();
    }
    void Free(void* block) {
#ifndef TUNOVA_POOL_BYPASS
        if (block != nullptr && slot_ >= 0 && tlsHeads_ != nullptr) {
            auto* free = static_cast<FreeBlock*>(block);
            free->next = tlsHeads_[slot_];
            tlsHeads_[slot_] = free;
            return;
        }
#endif
        FreeSlow(block);
    }
    size_t BlockSize() const {
        return blockSize_;
    }

    struct LocalList;

  private:
    struct FreeBlock {
        FreeBlock* next;
    };
    // This thread's free lists by pool slot: null until the thread first uses a pool and again
    // once its lists have gone back to the shared ones.
    static inline thread_local FreeBlock** tlsHeads_ = nullptr;

    void* AllocateSlow();
    void FreeSlow(void* block);
    FreeBlock** LocalHead();
    FreeBlock* Refill();
    void ReturnToShared(FreeBlock* list);

    size_t blockSize_;
    int slot_;  // index of this pool's free list in each thread's lists; -1: shared list only
    std::mutex mutex_;
    FreeBlock* shared_ = nullptr;
    std::vector<char*> slabs_;
    char* slabNext_ = nullptr;  // the part of the newest slab not handed out yet
    char* slabEnd_ = nullptr;
    friend struct LocalList;
};

}  // namespace foundation
