#pragma once
// Conversion of a CANopen value between the bus and a caller's buffer, and the texts
// of every code the library reports.
#include <cstdint>
#include <string>

namespace linkora {

// Type word: bit 31 clear -> the word is the size of a plain unsigned integer; bit 31
// set -> bits 0..23 size, bits 24..29 kind (0 integer, 1 IEEE float), bit 30 signed.
uint32_t TypeSize(uint32_t type);
uint32_t TypeKind(uint32_t type);
bool TypeSigned(uint32_t type);

// Writes the source value (described by busType) into destination (valueType):
// 0, or -1 with the destination zero-filled when a size is above 8 bytes.
int ConvertValue(const void* source, void* destination, uint32_t busType, uint32_t valueType);

// The text of a code; the result is the code for an SDO abort code, else 0.
uint32_t CanOpenErrorText(uint32_t code, std::string& text);

}  // namespace linkora
