#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Messages.h"

namespace engine {

// What a caller hands to CMain::AddCyclicItem.
struct CCyclicItemRequest {
    uint32_t rateSelected = 0;     // ms while the item's node and channel are the current ones
    uint32_t rateNotSelected = 0;  // ms otherwise
    uint16_t remaining = 0;        // executions left; 0 unlimited
    uint16_t notifyMessage = 0;
    platform::WindowHandle notifyWindow = 0;
    // Posted as the first message parameter; a cell holder when notifyIsHolder is set.
    void* notifyRef = nullptr;
    bool notifyIsHolder = false;
    // Bytes of the caller's value memory (1 to 4); a plain 32-bit word unless told otherwise.
    uint8_t valueSize = 4;
};

// One entry of the engine's cyclic item table.
struct CCyclicItem {
    static constexpr uint8_t kFirstPass = 0x01;
    static constexpr uint8_t kWrite = 0x02;
    static constexpr uint8_t kSignShift = 2;
    static constexpr uint8_t kMaxRegistrations = 15;

    uint8_t nodeId = 0;
    int32_t channel = 0;
    void* notifyRef = nullptr;
    bool notifyIsHolder = false;
    uint32_t itemId = 0;
    std::string name;
    uint16_t modbusAddress = 0;
    void* value = nullptr;
    uint8_t valueSize = 4;
    uint8_t size = 0;
    uint8_t flags = 0;          // first pass, write, sign class
    uint8_t registrations = 0;  // 0: the entry is free
    int64_t dueMs = 0;          // since the engine's cyclic time base
    uint32_t rateSelected = 0;
    uint32_t rateNotSelected = 0;
    uint16_t remaining = 0;
    uint16_t notifyMessage = 0;
    platform::WindowHandle notifyWindow = 0;

    bool InUse() const { return registrations != 0; }
    bool IsWrite() const { return flags & kWrite; }
    bool FirstPass() const { return flags & kFirstPass; }
    uint8_t Sign() const { return (flags >> kSignShift) & 3; }
};

// One block of the cyclic reading thread: a single entry or a run of registers of one node.
class COggettoCiclico {
  public:
    virtual ~COggettoCiclico() = default;

    uint8_t nodeId = 0;
    int32_t channel = 0;
    uint16_t address = 0;
    uint8_t size = 0;  // bytes of a single entry, or registers * 2 for a run
    uint8_t write = 0;
    bool run = false;
    int64_t dueMs = 0;
    uint32_t rateSelected = 0;
    uint32_t rateNotSelected = 0;
    // Indexes into the item table (never pointers: the table may be reallocated while paused).
    std::vector<size_t> items;
};

}  // namespace engine
