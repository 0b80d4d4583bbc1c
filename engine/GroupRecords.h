#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/VocabularyItem.h"
#include "platform/Messages.h"

namespace engine {

// A record of the caller that a group variable or cyclic item can be bound to. The result of a
// once-execution is its first field, so that a plain 32-bit result word and a holder take it alike.
struct CCellHolder {
    static constexpr uint8_t kValid = 0;
    static constexpr uint8_t kReadError = 2;

    int32_t result = 0;
    uint8_t status = 0;
    uint32_t value = 0;
    // The library group callback compares and reports the holder only while this is not 0.
    uint32_t reportWord = 1;
};

// One variable of an own group. The vocabulary item is copied: a vocabulary reloaded meanwhile
// must not leave the group pointing into a freed table.
struct _Variable {
    bool used = false;
    VocabularyItem item;
    int direction = 0;  // 1 write, anything else read
    void* value = nullptr;
    uint32_t size = 0;
    // Caller's memory whose first 32-bit word takes the result of a once-execution; a cell holder
    // when resultIsHolder is set (its status is then set by the cyclic reads).
    void* result = nullptr;
    bool resultIsHolder = false;
    uint32_t* extra = nullptr;

    bool IsWrite() const { return direction == 1; }
};

// A group of a channel that the engine drives itself (serial, box, offline).
class CGroup {
  public:
    static constexpr int kMaxVariables = 50;

    CGroup(platform::WindowHandle window, unsigned message) : notifyWindow(window), notifyMessage(message) {}
    virtual ~CGroup() = default;

    // Takes the first free slot, else appends; -1 when the group is full.
    int AddVariable(const VocabularyItem& item, int direction, void* value, uint32_t size, void* result,
                    bool resultIsHolder, uint32_t* extra);
    // Empties a slot; false when the index names no variable.
    bool RemoveVariable(int index);
    void RemoveAllVariables();
    int Count() const { return count_; }
    std::vector<_Variable>& Variables() { return variables_; }
    const std::vector<_Variable>& Variables() const { return variables_; }

    int32_t cycleMs = 0;
    platform::WindowHandle notifyWindow;
    unsigned notifyMessage;

  private:
    std::vector<_Variable> variables_;
    int count_ = 0;
};

// One variable of a group that the fieldbus channel library keeps.
class CVariableBridge {
  public:
    explicit CVariableBridge(uint32_t size) : copy(size, 0), size(size) {}
    virtual ~CVariableBridge() = default;

    int32_t id = -1;
    struct CCellHolder* holder = nullptr;
    void* value = nullptr;
    std::vector<uint8_t> copy;
    uint32_t size;
    int32_t resultWord = 0;
    uint8_t first = 1;
};

// What the library hands back to the group callback as its context.
class CGroupBridge {
  public:
    CGroupBridge(platform::WindowHandle window, unsigned message)
        : notifyWindow(window), notifyMessage(message) {}
    virtual ~CGroupBridge() = default;

    platform::WindowHandle notifyWindow;
    unsigned notifyMessage;
    std::vector<std::unique_ptr<CVariableBridge>> variables;
};

// A run of registers moved by one Modbus transaction when an own group is executed once.
class COggettoGruppo {
  public:
    virtual ~COggettoGruppo() = default;

    uint16_t address = 0;
    uint8_t size = 0;  // bytes: the item's size for a single variable, else registers * 2
    uint8_t write = 0;
    bool run = false;  // formed from a sorted list (even when it holds one variable)
    std::vector<_Variable*> variables;
};

// Key of the library notify records: group id and the low 16 bits of the node address.
inline uint32_t GroupBridgeKey(int32_t group, uint32_t nodeAddress) {
    return (static_cast<uint32_t>(group) << 16) | (nodeAddress & 0xFFFF);
}

// First-run offset of a cyclic group, uniform in [0, cycle); 0 for a cycle of 0.
uint32_t RandomFirstRunOffset(uint32_t cycleMs);

}  // namespace engine
