#pragma once
// The groups of a channel and the variable records of a group, shared by the channel types.
// Ids are slot numbers: a removed group's or variable's slot is taken by the next one added.
// The owner keeps both under its own locks.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

#include "linkora/Channel.h"

namespace linkora {

template <class Group>
class CGroupTable {
  public:
    using Ptr = std::shared_ptr<Group>;

    // The group with the id; empty when there is none.
    Ptr Find(int32_t id) const {
        if (id < 0 || static_cast<size_t>(id) >= slots_.size()) return nullptr;
        return slots_[static_cast<size_t>(id)];
    }

    // Puts make(id) into the first free slot; the id.
    template <class Make>
    int32_t Add(Make make) {
        size_t slot = 0;
        while (slot < slots_.size() && slots_[slot]) ++slot;
        Ptr group = make(static_cast<int32_t>(slot));
        if (slot == slots_.size())
            slots_.push_back(std::move(group));
        else
            slots_[slot] = std::move(group);
        ++count_;
        return static_cast<int32_t>(slot);
    }

    // Takes the group out of its slot; empty when there was none.
    Ptr Remove(int32_t id) {
        Ptr group = Find(id);
        if (group) {
            slots_[static_cast<size_t>(id)].reset();
            --count_;
        }
        return group;
    }

    // Takes every group out.
    std::vector<Ptr> RemoveAll() {
        count_ = 0;
        return std::exchange(slots_, {});
    }

    int Count() const { return count_; }
    const std::vector<Ptr>& Slots() const { return slots_; }

  private:
    std::vector<Ptr> slots_;
    int count_ = 0;
};

// The variables of a group (a Group has variables, count, limit and dirty); a record is
// free when its index is -1.

// The variable with the id; null when the id names none.
template <class Group>
auto* FindVariable(Group& group, int32_t id) {
    auto& records = group.variables;
    using Record = std::remove_reference_t<decltype(records[0])>;
    if (id < 0 || static_cast<size_t>(id) >= records.size()) return static_cast<Record*>(nullptr);
    Record& record = records[static_cast<size_t>(id)];
    return record.index == -1 ? nullptr : &record;
}

// Adds the variable named "index.subindex" (hexadecimal) in the first free record, made by
// make(index, subindex); its id, -1 when the group is full, -2 when the name does not parse.
template <class Group, class Make>
int32_t AddVariable(Group& group, const char* name, Make make) {
    if (group.count >= group.limit) return -1;
    int32_t index, subindex;
    if (!ParseItemName(name, index, subindex)) return -2;
    auto& records = group.variables;
    size_t slot = 0;
    while (slot < records.size() && records[slot].index != -1) ++slot;
    if (slot == records.size())
        records.push_back(make(index, subindex));
    else
        records[slot] = make(index, subindex);
    ++group.count;
    group.dirty = true;
    return static_cast<int32_t>(slot);
}

// Frees the variable's record; nothing when the id names none.
template <class Group>
void RemoveVariable(Group& group, int32_t id) {
    if (auto* record = FindVariable(group, id)) {
        record->index = -1;
        --group.count;
        group.dirty = true;
    }
}

template <class Group>
void RemoveAllVariables(Group& group) {
    group.variables.clear();
    group.count = 0;
    group.dirty = true;
}

}  // namespace linkora
