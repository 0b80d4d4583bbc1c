#include "linkora/EtherCatChannel.h"

#include <cstdio>

namespace linkora {

CEtherCatChannel::~CEtherCatChannel() {
    CloseIfConnected();
    GroupRemoveAll();
}

CEtherCatGroup* CEtherCatChannel::Find(int32_t group) {
    if (group < 0 || static_cast<size_t>(group) >= groups_.size()) return nullptr;
    return groups_[static_cast<size_t>(group)].get();
}

bool CEtherCatChannel::GroupExists(int32_t group) {
    std::lock_guard<std::mutex> lock(mutex_);
    return Find(group) != nullptr;
}

int32_t CEtherCatChannel::GetGroupCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return groupCount_;
}

int32_t CEtherCatChannel::GroupCreate(LinkoraCallback callback, void* context) {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t slot = 0;
    while (slot < groups_.size() && groups_[slot]) ++slot;
    auto group = std::make_unique<CEtherCatGroup>();
    group->id = static_cast<int32_t>(slot);
    group->callback = callback;
    group->context = context;
    group->limit = GetMaxVariables();
    if (slot == groups_.size())
        groups_.push_back(std::move(group));
    else
        groups_[slot] = std::move(group);
    ++groupCount_;
    return static_cast<int32_t>(slot);
}

int32_t CEtherCatChannel::GroupRemoveAll() {
    std::lock_guard<std::mutex> lock(mutex_);
    groups_.clear();
    groupCount_ = 0;
    return 0;
}

int32_t CEtherCatChannel::GroupRemove(int32_t group) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!Find(group)) return 0;
    groups_[static_cast<size_t>(group)].reset();
    --groupCount_;
    return 0;
}

int32_t CEtherCatChannel::GroupExecute(int32_t group, uint32_t, uint32_t) {
    std::lock_guard<std::mutex> lock(mutex_);
    return Find(group) ? 0 : 10;
}

int32_t CEtherCatChannel::VariableAdd(int32_t group, const char* name, int direction, void* value, int size,
                                      const char*, uint32_t* status, int32_t*) {
    std::lock_guard<std::mutex> lock(mutex_);
    CEtherCatGroup* g = Find(group);
    if (!g) return 11;
    if (g->count >= g->limit) return -1;
    int32_t index, subindex;
    if (!ParseItemName(name, index, subindex)) return -2;
    const CEtherCatGroup::Variable record{index, subindex, direction, value, size, status};
    size_t slot = 0;
    while (slot < g->variables.size() && g->variables[slot].index != -1) ++slot;
    if (slot == g->variables.size())
        g->variables.push_back(record);
    else
        g->variables[slot] = record;
    ++g->count;
    g->changed = true;
    return static_cast<int32_t>(slot);
}

int32_t CEtherCatChannel::VariableSet(int32_t group, int32_t variable, int direction, void* value, int size,
                                      const char*, uint32_t* status, int32_t*) {
    std::lock_guard<std::mutex> lock(mutex_);
    CEtherCatGroup* g = Find(group);
    if (!g) return 11;
    if (variable < 0 || static_cast<size_t>(variable) >= g->variables.size() ||
        g->variables[static_cast<size_t>(variable)].index == -1)
        return 10;
    auto& v = g->variables[static_cast<size_t>(variable)];
    v.direction = direction;
    v.value = value;
    v.size = size;
    v.status = status;
    return 0;
}

int32_t CEtherCatChannel::VariableGet(int32_t group, int32_t variable, std::string& name, int* direction,
                                      void** value, int* size, std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    CEtherCatGroup* g = Find(group);
    if (!g) return 11;
    if (variable < 0 || static_cast<size_t>(variable) >= g->variables.size() ||
        g->variables[static_cast<size_t>(variable)].index == -1)
        return 10;
    const auto& v = g->variables[static_cast<size_t>(variable)];
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%x.%x", static_cast<unsigned>(v.index),
                  static_cast<unsigned>(v.subindex));
    name = buffer;
    if (direction) *direction = v.direction;
    if (value) *value = v.value;
    if (size) *size = v.size;
    text.clear();
    return 0;
}

int32_t CEtherCatChannel::VariableRemove(int32_t group, int32_t variable) {
    std::lock_guard<std::mutex> lock(mutex_);
    CEtherCatGroup* g = Find(group);
    if (!g) return 11;
    if (variable >= 0 && static_cast<size_t>(variable) < g->variables.size() &&
        g->variables[static_cast<size_t>(variable)].index != -1) {
        g->variables[static_cast<size_t>(variable)].index = -1;
        --g->count;
        g->changed = true;
    }
    return 0;
}

int32_t CEtherCatChannel::VariableRemoveAll(int32_t group) {
    std::lock_guard<std::mutex> lock(mutex_);
    CEtherCatGroup* g = Find(group);
    if (!g) return 11;
    g->variables.clear();
    g->count = 0;
    g->changed = true;
    return 0;
}

int32_t CEtherCatChannel::VariableGetCount(int32_t group) {
    std::lock_guard<std::mutex> lock(mutex_);
    CEtherCatGroup* g = Find(group);
    return g ? g->count : -11;
}

int32_t CEtherCatChannel::VariableGetMaxCount(int32_t group) {
    std::lock_guard<std::mutex> lock(mutex_);
    CEtherCatGroup* g = Find(group);
    return g ? g->limit : -11;
}

}  // namespace linkora
