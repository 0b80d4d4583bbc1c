#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/VocabularyItem.h"

namespace engine {

// Single values of Modbus channels travel through the SDO layer with the item's own size. A
// 32-bit caller word is only the front of a longer item, so longer items go through a local
// buffer of the item's size rather than past the end of the caller's word.
class CModbusItemBuffer {
  public:
    explicit CModbusItemBuffer(const VocabularyItem& item) : bytes_(item.size > 4 ? item.size : 4, 0) {}

    void* Data() { return bytes_.data(); }
    void Load(uint32_t value, bool swapHalves) {
        if (swapHalves) value = SwapHalves(value);
        std::memcpy(bytes_.data(), &value, 4);
    }
    uint32_t Word(bool swapHalves) const {
        uint32_t value = 0;
        std::memcpy(&value, bytes_.data(), 4);
        return swapHalves ? SwapHalves(value) : value;
    }

    static uint32_t SwapHalves(uint32_t v) { return (v << 16) | (v >> 16); }

  private:
    std::vector<uint8_t> bytes_;
};

}  // namespace engine
