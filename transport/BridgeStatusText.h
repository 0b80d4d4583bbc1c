#pragma once

#include <cstdint>
#include <string>

namespace transport {

// Text of a bridge reply status: 0, a CANopen SDO abort code or a bridge code (-26 to -1).
std::string GetSdoAbortText(uint32_t status);

// Bridge codes a reply record may carry (32-bit values).
namespace bridge_status {
constexpr int32_t kNodeLost = -26;
constexpr int32_t kNodeInUse = -23;
constexpr int32_t kDataBlockNotFound = -22;
constexpr int32_t kWrongParameter = -21;
constexpr int32_t kSlaveNotFound = -20;
constexpr int32_t kSdoTimeout = -6;
constexpr int32_t kMessageTimeout = -2;
}  // namespace bridge_status

}  // namespace transport
