#pragma once

// Codes and texts of the engine's groups, cyclic reads and node guard.

#include <cstdint>

namespace engine {

namespace engine_text {
constexpr const char* kUnknownGroup = "unknown group";
constexpr const char* kOnlyViaBridge = "implemented only via Vesk bridge";
constexpr const char* kHolderTooSmall = "a cell holder carries at most 4 bytes";
constexpr const char* kBothRatesZero = "RateWhenSelected e RateWhenNoSelected sono entrambi 0";
constexpr const char* kNoNotifyWindow = "hWndNotify non \xC3\xA8 una finestra esistente";
constexpr const char* kTooManyCyclicItems = "troppi item ciclici";
constexpr const char* kCyclicCreate = "Error creating cyclic thread";
constexpr const char* kCyclicTerminate = "Error terminating cyclic thread";
constexpr const char* kCyclicNotPaused = "the cyclic thread did not pause";
constexpr const char* kNodeguardCreate = "creating nodeguard thread";
}  // namespace engine_text

namespace engine_code {
constexpr int kUnknownGroup = -303;
constexpr int kOnlyViaBridge = -302;
constexpr int kBadCyclicRequest = -36;
constexpr int kCyclicCreate = -37;
constexpr int kCyclicTerminate = -38;
constexpr int kLibraryNotLoaded = -10;
constexpr int kBridgeNoNode = 4373;
constexpr int kAdsNoGroup = 4374;
}  // namespace engine_code

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
