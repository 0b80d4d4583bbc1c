#pragma once

#include <cstdint>
#include <string>

#include "drive/ParamFileItem.h"
#include "engine/VocabularyItem.h"

namespace drive {

// Drive states of the CiA 402 statusword.
enum DriveState : int {
    kStateNotReady = 0,
    kStateSwitchOnDisabled = 1,
    kStateReadyToSwitchOn = 2,
    kStateSwitchedOn = 3,
    kStateOperationEnabled = 4,
    kStateQuickStopActive = 5,
    kStateFaultReactionActive = 6,
    kStateFault = 7,
};

// Family name of a device group code; empty for an unknown code.
std::string GetDeviceFamilyName(int group);

// A drive date-time packed in 32 bits (bit 31 set), else the plain number.
std::string FormatPackedDateTime(uint32_t value);

int DriveStateFromStatusword(int32_t statusword);
void GetDriveStateName(int state, std::string& out);

// The raw value taken by size kind (1 i8, 2 i16, 4 i32, other u32) and scaled; divMultType "D"
// divides by the factor. Written with the decimals into out when it is given.
double FormatScaledValue(int32_t raw, std::string* out, const char* divMultType, int decimals,
                         uint32_t sizeKind, double factor);

double ToDisplayValue(int32_t raw, const char* divMultType, double factor);
// Truncated toward zero, saturated to the 64-bit range.
int64_t ToDriveValue(const char* divMultType, double value, double factor);

void FormatDecimal(std::string& out, int decimals, double value);

// A little-endian drive value of 1, 2 or 4 bytes as a decimal number; other sizes give empty.
void FormatCellValue(std::string& out, const uint8_t* data, uint32_t size, bool isSigned);

// A parameter-file row from an object-dictionary item.
void ParamRowFromItem(ParamFileItem& row, const engine::VocabularyItem& entry);

}  // namespace drive
