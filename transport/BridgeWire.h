#pragma once

#include <cstddef>
#include <cstdint>

namespace transport {

// Wire fields of the fieldbus bridge protocol. Every protocol number wider than a byte
// travels in the bridge's byte order (little-endian unless the bridge was found to be
// big-endian); object data is copied as it stands.
namespace bridge_wire {

constexpr uint16_t kMagic = 0x4342;
constexpr uint16_t kMagicSwapped = 0x4243;
constexpr uint8_t kBridgeTarget = 0xFF;
constexpr size_t kReplyHeaderSize = 8;
constexpr size_t kStatusMessageSize = 8;
constexpr uint16_t kBrandCode = 6871;
constexpr uint16_t kApplicationId = 101;
constexpr uint16_t kMaxProtocolVersion = 3;

// Bridge-level opcodes (target 0xFF).
namespace op {
constexpr uint8_t kGetInfo = 1;
constexpr uint8_t kBusList = 2;
constexpr uint8_t kAbort = 3;
constexpr uint8_t kKeepAlive = 4;
constexpr uint8_t kLog = 5;
constexpr uint8_t kCommands = 8;
constexpr uint8_t kCreateBlock = 10;
constexpr uint8_t kDestroyBlock = 11;
constexpr uint8_t kIdentify = 200;
// Bus-level opcodes.
constexpr uint8_t kReset = 0;
constexpr uint8_t kRead = 10;
constexpr uint8_t kReadLong = 11;
constexpr uint8_t kReadMemory = 12;
constexpr uint8_t kWrite = 20;
constexpr uint8_t kWriteLong = 21;
constexpr uint8_t kWriteMemory = 22;
constexpr uint8_t kWriteDB = 23;
constexpr uint8_t kFoEDownloadDB = 24;
constexpr uint8_t kLockNode = 0xF8;
constexpr uint8_t kUnlockNode = 0xF9;
constexpr uint8_t kBusScan = 0xFA;
constexpr uint8_t kSetSlaveState = 0xFB;
constexpr uint8_t kGetSlaveState = 0xFC;
}  // namespace op

inline size_t RequestHeaderSize(uint16_t version) {
    return version < 3 ? 10 : 12;
}

// From version 3 records are padded to a multiple of four bytes.
inline size_t PadRecord(size_t size, uint16_t version) {
    return (version >= 3 && size % 4 != 0) ? size / 4 * 4 + 4 : size;
}

// Byte order and protocol version of one bridge connection.
struct Format {
    uint16_t version = 1;
    bool bigEndian = false;

    void Put16(uint8_t* p, uint16_t v) const {
        if (bigEndian) {
            p[0] = static_cast<uint8_t>(v >> 8);
            p[1] = static_cast<uint8_t>(v);
        } else {
            p[0] = static_cast<uint8_t>(v);
            p[1] = static_cast<uint8_t>(v >> 8);
        }
    }
    void Put32(uint8_t* p, uint32_t v) const {
        if (bigEndian) {
            Put16(p, static_cast<uint16_t>(v >> 16));
            Put16(p + 2, static_cast<uint16_t>(v));
        } else {
            Put16(p, static_cast<uint16_t>(v));
            Put16(p + 2, static_cast<uint16_t>(v >> 16));
        }
    }
    uint16_t Get16(const uint8_t* p) const {
        return bigEndian ? static_cast<uint16_t>(p[0] << 8 | p[1]) : static_cast<uint16_t>(p[1] << 8 | p[0]);
    }
    uint32_t Get32(const uint8_t* p) const {
        return bigEndian ? (uint32_t{Get16(p)} << 16 | Get16(p + 2))
                         : (uint32_t{Get16(p + 2)} << 16 | Get16(p));
    }
    size_t Pad(size_t size) const { return PadRecord(size, version); }
};

}  // namespace bridge_wire

}  // namespace transport
