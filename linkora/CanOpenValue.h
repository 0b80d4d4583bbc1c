#pragma once
// Conversion of a CANopen value between the bus and a caller's buffer, and the texts
// of every code the library reports.
#include <cstdint>
#include <span>
#include <string>

#include "platform/CodeText.h"

namespace linkora {

// Type word: bit 31 clear -> the word is the size of a plain unsigned integer; bit 31
// set -> bits 0..23 size, bits 24..29 kind (0 integer, 1 IEEE float), bit 30 signed.
uint32_t TypeSize(uint32_t type);
uint32_t TypeKind(uint32_t type);
bool TypeSigned(uint32_t type);

// Writes the source value (described by busType) into destination (valueType):
// 0, or -1 with the destination zero-filled when a size is above 8 bytes.
int ConvertValue(const void* source, void* destination, uint32_t busType, uint32_t valueType);

// Statuses of an SDO element of a command list beside 0 (done).
namespace sdo_status {
constexpr int32_t kWrongResponse = 3;
constexpr int32_t kActivateFailed = 4;
constexpr int32_t kNodeAborted = 5;
constexpr int32_t kTimeout = 6;
constexpr int32_t kTooLong = 7;
constexpr int32_t kChannelTimeout = 10;
constexpr int32_t kApplicationAborted = 11;
}  // namespace sdo_status

// The text of a code; the result is the code for an SDO abort code, else 0.
uint32_t CanOpenErrorText(uint32_t code, std::string& text);

// The fixed texts: of the executor's codes, of the channel's connection states and SDO
// element statuses, and of the CANopen abort codes (without the "Node returned error:" lead).
std::span<const platform::CodeText<uint32_t>> NcsCodeTexts();
std::span<const platform::CodeText<int32_t>> ChannelCodeTexts();
std::span<const platform::CodeText<uint32_t>> AbortCodeTexts();

}  // namespace linkora
