#pragma once

#include <cstdint>
#include <cstring>

namespace transport {

// The wire fields of the Modbus frames in one place: Modbus fields and register words are
// big-endian; the SDO and domain frames carry little-endian 32-bit values inside their
// register data.

inline void PutBe16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

inline uint32_t GetLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

inline void PutLe32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

// count register words between the wire and memory: each word's two bytes exchanged, or
// byte for byte when the drive works in raw word order.
inline void CopyRegisterWords(const uint8_t* from, uint8_t* to, unsigned count, bool raw) {
    if (raw) {
        std::memcpy(to, from, 2u * count);
        return;
    }
    for (unsigned k = 0; k < count; ++k) {
        to[2 * k] = from[2 * k + 1];
        to[2 * k + 1] = from[2 * k];
    }
}

// The six bytes every request of functions 3, 6 and 16 starts with after its transport
// header: unit (slave), function, address and one more word (count or value).
inline void PutRequestHead(uint8_t* p, uint8_t unit, uint8_t function, uint16_t address, uint16_t word) {
    p[0] = unit;
    p[1] = function;
    PutBe16(p + 2, address);
    PutBe16(p + 4, word);
}

}  // namespace transport
