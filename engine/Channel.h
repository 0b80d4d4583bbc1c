#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/ChannelDriver.h"
#include "engine/ChannelTypes.h"

namespace engine {

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

}  // namespace engine
