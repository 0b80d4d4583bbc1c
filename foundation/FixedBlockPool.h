#pragma once
#include <cstddef>
#include <mutex>
#include <vector>

// Hands out blocks of one size from slabs that it keeps for reuse, so that building and dropping
// large XML trees again and again neither calls the heap per node nor faults in fresh pages each
// time. Each thread keeps its own free list; a thread's list goes back to the shared one when the
// thread ends. Under AddressSanitizer blocks come from the ordinary heap so that misuse is caught.
class FixedBlockPool {
  public:
    explicit FixedBlockPool(size_t blockSize);
    FixedBlockPool(const FixedBlockPool&) = delete;
    FixedBlockPool& operator=(const FixedBlockPool&) = delete;

    void* Allocate();
    void Free(void* block);
    size_t BlockSize() const { return blockSize_; }

    struct LocalList;

  private:
    struct FreeBlock {
        FreeBlock* next;
    };
    FreeBlock** LocalHead();
    FreeBlock* Refill();
    void ReturnToShared(FreeBlock* list);

    size_t blockSize_;
    int slot_;  // index of this pool's free list in each thread's lists; -1: shared list only
    std::mutex mutex_;
    FreeBlock* shared_ = nullptr;
    std::vector<char*> slabs_;
    friend struct LocalList;
};
