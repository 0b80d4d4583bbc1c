#pragma once

#include <memory>
#include <vector>

#include "transport/BridgeCmdList.h"

namespace transport {

// The pool of command lists (groups) of one bridge connection. Handle = slot + 1; free
// slots form a list; removed lists stay allocated as spares (at most 10) for reuse.
class CCmdArray {
  public:
    static constexpr int kInitialSlots = 50;
    static constexpr int kGrowBy = 10;
    static constexpr int kMaxSpares = 10;

    CCmdArray();
    // The handle of a new or reused (cleared) list.
    int Create();
    // Marks the list deleted and frees its slot; false for a handle that is not live.
    bool Remove(int handle);
    // The live list of a handle, or null.
    CCmdList* Live(int handle) const;
    void DeleteAll();
    // Changes the slot count, never below the highest live slot.
    void Resize(int slots);

    int SlotCount() const { return static_cast<int>(slots_.size()); }
    int UsedCount() const { return used_; }
    int AllocatedCount() const;
    template <class F>
    void ForEachLive(F f) const {
        for (const Slot& slot : slots_)
            if (slot.list && !slot.list->deleted) f(*slot.list);
    }

  private:
    struct Slot {
        std::unique_ptr<CCmdList> list;
        int nextFree = -1;
    };
    void RebuildFreeList();
    void TrimSpares();

    std::vector<Slot> slots_;
    int freeHead_ = -1;
    int used_ = 0;
};

}  // namespace transport
