#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/ChannelDriver.h"

namespace engine {

// Channel type numbers.
namespace channel_type {
constexpr int kOffline = 0;
constexpr int kSerial = 1;
constexpr int kLibrary = 5;
constexpr int kBridge = 6;
constexpr int kAds = 7;
constexpr int kBox = 8;
}  // namespace channel_type

// One channel of the engine's list; owns its driver (none for OFFLINE).
struct CChannel {
    static constexpr size_t kMaxName = 49;

    std::string name;
    int16_t type = 0;
    std::unique_ptr<CChannelDriver> driver;
    uint8_t nodeCount = 0;
    uint8_t available = 0;
    uint8_t present = 0;
    // Settings stored by the access object's configuration.
    CChannelSettings settings;
};

// What the channel enumeration hands to the connection window.
struct CChannelInfo {
    int32_t index = -1;
    std::string name;  // at most 99 bytes
    int16_t kind = 0;
    uint8_t available = 0;
    uint8_t present = 0;
};

// The connection dialogs number the channels differently from their types.
inline int16_t ChannelKindOfType(int type) {
    switch (type) {
        case 0:
            return 0;
        case 1:
            return 1;
        case 5:
            return 4;
        case 6:
            return 5;
        case 7:
            return 6;
        case 8:
            return 7;
        default:
            return -1;
    }
}

}  // namespace engine
