#pragma once

#include <cstdint>

#include "engine/EngineCodes.h"

namespace engine {

// Codes the node guard posts with the notification message.
namespace guard_code {
constexpr uintptr_t kStateChanged = 4;
constexpr uintptr_t kRearmFailed = 1001;
constexpr uintptr_t kReopenFailed = 1002;
constexpr uintptr_t kChannelBroken = 1003;
constexpr uint8_t kLost = 1;
constexpr uint8_t kAlive = 5;
constexpr uint8_t kArmed = 127;
}  // namespace guard_code

}  // namespace engine
