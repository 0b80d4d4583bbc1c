#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "platform/CodeText.h"

namespace transport {

// Text of a bridge reply status: 0, a CANopen SDO abort code or a bridge code (-26 to -1).
std::string GetSdoAbortText(uint32_t status);

// Bridge codes a reply record may carry (32-bit values).
namespace bridge_status {
constexpr int32_t kSdoNotExecuted = -1;
constexpr int32_t kMessageTimeout = -2;
constexpr int32_t kQueueFull = -3;
constexpr int32_t kMessageAborted = -4;
constexpr int32_t kSdoAborted = -5;
constexpr int32_t kSdoTimeout = -6;
constexpr int32_t kSdoDataOverflow = -7;
constexpr int32_t kSdoFirstMf = -8;
constexpr int32_t kSdoUndocumented = -9;
constexpr int32_t kCanBusOff = -10;
constexpr int32_t kCanErrorPassive = -11;
constexpr int32_t kSdoInternalFb = -12;
constexpr int32_t kSdoNoMemory = -13;
constexpr int32_t kSdoWrongParameter = -14;
constexpr int32_t kSdoNodeIdUnknown = -15;
constexpr int32_t kSdoNetIdUnknown = -16;
constexpr int32_t kSdoRequestError = -17;
constexpr int32_t kSdoChannelUnknown = -18;
constexpr int32_t kEscRegistryError = -19;
constexpr int32_t kSlaveNotFound = -20;
constexpr int32_t kWrongParameter = -21;
constexpr int32_t kDataBlockNotFound = -22;
constexpr int32_t kNodeInUse = -23;
constexpr int32_t kTooManyNodes = -24;
constexpr int32_t kMasterNotSet = -25;
constexpr int32_t kNodeLost = -26;
}  // namespace bridge_status

// The fixed texts of the bridge codes and of the CANopen abort codes the bridge passes on.
std::span<const platform::CodeText<int32_t>> BridgeStatusTexts();
std::span<const platform::CodeText<uint32_t>> SdoAbortTexts();

}  // namespace transport
