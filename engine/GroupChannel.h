#pragma once

#include <cstdint>

#include "platform/Messages.h"

namespace engine {

struct VocabularyItem;
struct CCellHolder;
class CNodo;

// Groups of the channels that keep them themselves (fieldbus library, bridge, ADS). Their drivers
// implement this beside CChannelDriver; the engine dispatches its group operations here and keeps
// the library's notify records itself. A channel whose driver lacks it answers with the codes of an
// unavailable channel (library -10, bridge 4373, ADS 4374).
class CGroupChannel {
  public:
    using Callback = void (*)(uint32_t, uint32_t, void*);

    virtual ~CGroupChannel() = default;

    virtual int GroupCreate(uint32_t nodeAddress, platform::WindowHandle window, unsigned message,
                            Callback callback, void* context) = 0;
    virtual int GroupRemove(int group) = 0;
    virtual int GroupRemoveAll() = 0;
    virtual int GroupExecute(uint32_t nodeAddress, int group, int32_t cycleMs) = 0;
    virtual int GroupStop(int group) = 0;
    virtual int GroupExecuteOnce(uint32_t nodeAddress, int group) = 0;
    virtual int GroupClear(int* group) = 0;
    // size < 0 on the library: VariableAddValue with the flags.
    virtual int VariableAdd(uint32_t nodeAddress, int* group, const VocabularyItem& item, int direction,
                            void* value, int32_t size, uint32_t flags, void* result, uint32_t* extra) = 0;
    // Holder variants: the holder's value field receives the value.
    virtual int GroupAddItem(uint32_t nodeAddress, int group, const VocabularyItem& item, int direction,
                             void* value, uint32_t size, CCellHolder* holder, int32_t* resultWord) = 0;
    virtual int VariableRemove(int group, int variable) = 0;
    virtual int VariableRemoveAll(int group) = 0;
};

}  // namespace engine
