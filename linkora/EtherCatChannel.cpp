#include "linkora/EtherCatChannel.h"

namespace linkora {

CEtherCatChannel::~CEtherCatChannel() {
    CloseIfConnected();
    GroupRemoveAll();
}

CEtherCatGroup* CEtherCatChannel::Find(int32_t group) {
    return groups_.Find(group).get();
}

template <class Change>
int32_t CEtherCatChannel::WithGroup(int32_t group, Change change) {
    std::lock_guard<std::mutex> lock(mutex_);
    CEtherCatGroup* g = Find(group);
    return g ? change(*g) : 11;
}

bool CEtherCatChannel::GroupExists(int32_t group) {
    std::lock_guard<std::mutex> lock(mutex_);
    return Find(group) != nullptr;
}

int32_t CEtherCatChannel::GetGroupCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return groups_.Count();
}

int32_t CEtherCatChannel::GroupCreate(LinkoraCallback callback, void* context) {
    std::lock_guard<std::mutex> lock(mutex_);
    return groups_.Add([&](int32_t id) {
        auto group = std::make_shared<CEtherCatGroup>();
        group->id = id;
        group->callback = callback;
        group->context = context;
        group->limit = GetMaxVariables();
        return group;
    });
}

int32_t CEtherCatChannel::GroupRemoveAll() {
    std::lock_guard<std::mutex> lock(mutex_);
    groups_.RemoveAll();
    return 0;
}

int32_t CEtherCatChannel::GroupRemove(int32_t group) {
    std::lock_guard<std::mutex> lock(mutex_);
    groups_.Remove(group);
    return 0;
}

int32_t CEtherCatChannel::GroupExecute(int32_t group, uint32_t, uint32_t) {
    std::lock_guard<std::mutex> lock(mutex_);
    return Find(group) ? 0 : 10;
}

int32_t CEtherCatChannel::VariableAdd(int32_t group, const char* name, int direction, void* value, int size,
                                      const char*, uint32_t* status, int32_t*) {
    return WithGroup(group, [&](CEtherCatGroup& g) {
        return AddVariable(g, name, [&](int32_t index, int32_t subindex) {
            return CEtherCatGroup::Variable{index, subindex, direction, value, size, status};
        });
    });
}

int32_t CEtherCatChannel::VariableSet(int32_t group, int32_t variable, int direction, void* value, int size,
                                      const char*, uint32_t* status, int32_t*) {
    return WithGroup(group, [&](CEtherCatGroup& g) -> int32_t {
        CEtherCatGroup::Variable* v = FindVariable(g, variable);
        if (!v) return 10;
        v->direction = direction;
        v->value = value;
        v->size = size;
        v->status = status;
        return 0;
    });
}

int32_t CEtherCatChannel::VariableGet(int32_t group, int32_t variable, std::string& name, int* direction,
                                      void** value, int* size, std::string& text) {
    return WithGroup(group, [&](CEtherCatGroup& g) -> int32_t {
        const CEtherCatGroup::Variable* v = FindVariable(g, variable);
        if (!v) return 10;
        name = ItemName(v->index, v->subindex);
        if (direction) *direction = v->direction;
        if (value) *value = v->value;
        if (size) *size = v->size;
        text.clear();
        return 0;
    });
}

int32_t CEtherCatChannel::VariableRemove(int32_t group, int32_t variable) {
    return WithGroup(group, [&](CEtherCatGroup& g) {
        RemoveVariable(g, variable);
        return 0;
    });
}

int32_t CEtherCatChannel::VariableRemoveAll(int32_t group) {
    return WithGroup(group, [&](CEtherCatGroup& g) {
        RemoveAllVariables(g);
        return 0;
    });
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
