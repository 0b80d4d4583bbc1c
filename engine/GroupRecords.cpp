#include "engine/GroupRecords.h"

#include <random>

namespace engine {

int CGroup::AddVariable(const VocabularyItem& item, int direction, void* value, uint32_t size, void* result,
                        bool resultIsHolder, uint32_t* extra) {
    if (count_ >= kMaxVariables) return -1;
    size_t slot = variables_.size();
    for (size_t i = 0; i < variables_.size(); ++i) {
        if (!variables_[i].used) {
            slot = i;
            break;
        }
    }
    if (slot == variables_.size()) variables_.emplace_back();
    _Variable& v = variables_[slot];
    v.used = true;
    v.item = item;
    v.direction = direction;
    v.value = value;
    v.size = size;
    v.result = result;
    v.resultIsHolder = resultIsHolder;
    v.extra = extra;
    ++count_;
    return static_cast<int>(slot);
}

bool CGroup::RemoveVariable(int index) {
    if (index < 0 || static_cast<size_t>(index) >= variables_.size() || !variables_[index].used) return false;
    variables_[index] = _Variable();
    --count_;
    return true;
}

void CGroup::RemoveAllVariables() {
    variables_.clear();
    count_ = 0;
}

uint32_t RandomFirstRunOffset(uint32_t cycleMs) {
    if (cycleMs == 0) return 0;
    thread_local std::mt19937 engine{std::random_device{}()};
    std::uniform_int_distribution<uint32_t> offset(0, cycleMs - 1);
    return offset(engine);
}

}  // namespace engine
