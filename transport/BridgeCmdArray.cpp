#include "transport/BridgeCmdArray.h"

namespace transport {

CCmdArray::CCmdArray() {
    Resize(kInitialSlots);
}

int CCmdArray::AllocatedCount() const {
    int n = 0;
    for (const Slot& slot : slots_)
        if (slot.list) ++n;
    return n;
}

CCmdList* CCmdArray::Live(int handle) const {
    if (handle < 1 || handle > SlotCount()) return nullptr;
    CCmdList* list = slots_[static_cast<size_t>(handle - 1)].list.get();
    return list && !list->deleted ? list : nullptr;
}

int CCmdArray::Create() {
    if (freeHead_ < 0) {
        if (AllocatedCount() == used_)
            Resize(SlotCount() + kGrowBy);
        else
            RebuildFreeList();
    }
    if (freeHead_ < 0) return 0;
    const int index = freeHead_;
    Slot& slot = slots_[static_cast<size_t>(index)];
    freeHead_ = slot.nextFree;
    slot.nextFree = -1;
    if (slot.list) {
        slot.list->Clear();
        slot.list->deleted = false;
        slot.list->cyclic = false;
        slot.list->periodMs = 0;
        slot.list->nextDueMs = 0;
    } else {
        slot.list = std::make_unique<CCmdList>();
    }
    slot.list->handle = index + 1;
    ++used_;
    return index + 1;
}

bool CCmdArray::Remove(int handle) {
    CCmdList* list = Live(handle);
    if (!list) return false;
    list->deleted = true;
    list->cyclic = false;
    list->Clear();
    Slot& slot = slots_[static_cast<size_t>(handle - 1)];
    slot.nextFree = freeHead_;
    freeHead_ = handle - 1;
    --used_;
    TrimSpares();
    return true;
}

void CCmdArray::TrimSpares() {
    int spares = AllocatedCount() - used_;
    for (Slot& slot : slots_) {
        if (spares <= kMaxSpares) break;
        if (slot.list && slot.list->deleted) {
            slot.list.reset();
            --spares;
        }
    }
}

void CCmdArray::DeleteAll() {
    for (Slot& slot : slots_) slot.list.reset();
    used_ = 0;
    RebuildFreeList();
}

void CCmdArray::Resize(int slots) {
    int highestLive = 0;
    for (int i = 0; i < SlotCount(); ++i)
        if (Live(i + 1)) highestLive = i + 1;
    slots = std::max(slots, highestLive);
    slots_.resize(static_cast<size_t>(slots));
    RebuildFreeList();
}

void CCmdArray::RebuildFreeList() {
    // Slots holding a spare list first, so that they are reused before new lists are made.
    freeHead_ = -1;
    int* link = &freeHead_;
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t i = 0; i < slots_.size(); ++i) {
            Slot& slot = slots_[i];
            const bool spare = slot.list && slot.list->deleted;
            const bool empty = !slot.list;
            if ((pass == 0 && spare) || (pass == 1 && empty)) {
                *link = static_cast<int>(i);
                link = &slot.nextFree;
            }
        }
    }
    *link = -1;
}

}  // namespace transport
