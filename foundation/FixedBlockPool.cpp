#include "foundation/FixedBlockPool.h"

#include <algorithm>
#include <atomic>
#include <new>

#include "platform/Memory.h"

namespace foundation {

namespace {
// Slabs are large and aligned so that the system can back them with huge pages: a tree of many
// thousand nodes then costs few address translations. They are handed out in small pieces, so
// that memory is touched only as it is used.
constexpr size_t kSlabBytes = 2 * 1024 * 1024;
constexpr size_t kPieceBytes = 64 * 1024;
}  // namespace

struct FixedBlockPool::LocalList {
    // One free list per pool, at the pool's slot (there are only a few pools).
    static constexpr int kPools = 8;
    FreeBlock* heads[kPools] = {};

    ~LocalList();
};

namespace {
// The pools by slot; pools live as long as the process.
std::atomic<int> poolCount{0};
FixedBlockPool* poolsBySlot[FixedBlockPool::LocalList::kPools] = {};

// Trivially destructible, so still usable while and after the thread's lists are destroyed (a
// static tree freed at exit, after the main thread's thread-locals, uses the shared list).
thread_local bool tlsListGone = false;
}  // namespace

FixedBlockPool::LocalList::~LocalList() {
    tlsListGone = true;
    tlsHeads_ = nullptr;
    for (int i = 0; i < kPools; ++i) {
        if (heads[i] != nullptr) poolsBySlot[i]->ReturnToShared(heads[i]);
    }
}

FixedBlockPool::FixedBlockPool(size_t blockSize, size_t alignment)
    : blockSize_((std::max(blockSize, sizeof(FreeBlock)) + std::max(alignment, alignof(FreeBlock)) - 1) /
                 std::max(alignment, alignof(FreeBlock)) * std::max(alignment, alignof(FreeBlock))),
      slot_(poolCount.fetch_add(1)) {
    if (slot_ < LocalList::kPools) {
        poolsBySlot[slot_] = this;
    } else {
        slot_ = -1;
    }
}

FixedBlockPool::FreeBlock** FixedBlockPool::LocalHead() {
    if (slot_ < 0) return nullptr;
    if (tlsHeads_ == nullptr) {
        if (tlsListGone) return nullptr;
        thread_local LocalList list;
        tlsHeads_ = list.heads;
    }
    return &tlsHeads_[slot_];
}

FixedBlockPool::FreeBlock* FixedBlockPool::Refill() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (shared_ != nullptr) {
        FreeBlock* head = shared_;
        shared_ = nullptr;
        return head;
    }
    if (static_cast<size_t>(slabEnd_ - slabNext_) < std::max(kPieceBytes, blockSize_)) {
        char* slab = static_cast<char*>(::operator new(kSlabBytes, std::align_val_t(kSlabBytes)));
        platform::AdviseHugePages(slab, kSlabBytes);  // a hint only: no harm when refused
        slabs_.push_back(slab);
        slabNext_ = slab;
        slabEnd_ = slab + kSlabBytes;
    }
    char* piece = slabNext_;
    const size_t count = std::max(kPieceBytes, blockSize_) / blockSize_;
    slabNext_ += count * blockSize_;
    FreeBlock* head = nullptr;
    for (size_t i = count; i-- > 0;) {
        auto* block = reinterpret_cast<FreeBlock*>(piece + i * blockSize_);
        block->next = head;
        head = block;
    }
    return head;
}

void FixedBlockPool::ReturnToShared(FreeBlock* list) {
    if (list == nullptr) return;
    FreeBlock* tail = list;
    while (tail->next) tail = tail->next;
    std::lock_guard<std::mutex> lock(mutex_);
    tail->next = shared_;
    shared_ = list;
}

void* FixedBlockPool::AllocateSlow() {
#ifdef TUNOVA_POOL_BYPASS
    return ::operator new(blockSize_);
#else
    FreeBlock** head = LocalHead();
    if (head == nullptr) {
        FreeBlock* list = Refill();
        FreeBlock* block = list;
        ReturnToShared(list->next);
        return block;
    }
    if (*head == nullptr) *head = Refill();
    FreeBlock* block = *head;
    *head = block->next;
    return block;
#endif
}

void FixedBlockPool::FreeSlow(void* block) {
    if (block == nullptr) return;
#ifdef TUNOVA_POOL_BYPASS
    ::operator delete(block);
#else
    auto* free = static_cast<FreeBlock*>(block);
    FreeBlock** head = LocalHead();
    if (head == nullptr) {
        free->next = nullptr;
        ReturnToShared(free);
        return;
    }
    free->next = *head;
    *head = free;
#endif
}

}  // namespace foundation
