#include "drive/DriveValueHelpers.h"

#include <cstdio>
#include <cstring>
#include <limits>

#include "drive/NumberText.h"

using namespace engine;

namespace drive {

namespace {
bool IsDivide(const char* type) {
    return type && std::strcmp(type, "D") == 0;
}
bool IsMultiply(const char* type) {
    return type && std::strcmp(type, "M") == 0;
}
}  // namespace

std::string GetDeviceFamilyName(int group) {
    static const char* const kNames[] = {"Jux",    "Wyk",   "Zuq",  "Zimba", "Kwz", "Trelix",
                                         "Olvane", "Marup", "Zorb", "Xul",   "Jov", "Zeb"};
    if (group < 1 || group > 12) return std::string();
    return kNames[group - 1];
}

std::string FormatPackedDateTime(uint32_t value) {
    if ((value & 0x80000000u) == 0) return std::to_string(value);
    const unsigned seconds = value & 0x1FFFF;
    const unsigned day = (value >> 17) & 0x1F;
    const unsigned months = (value >> 22) & 0x1FF;
    char text[64];
    std::snprintf(text, sizeof text, "%02u/%02u/%u %02u:%02u:%02u", day, months % 12 + 1, 2001 + months / 12,
                  seconds / 3600, seconds / 60 % 60, seconds % 60);
    return text;
}

int DriveStateFromStatusword(int32_t statusword) {
    if ((statusword & 0x4F) == 0x40) return kStateSwitchOnDisabled;
    switch (statusword & 0x6F) {
        case 0x21:
            return kStateReadyToSwitchOn;
        case 0x23:
            return kStateSwitchedOn;
        case 0x27:
            return kStateOperationEnabled;
        case 0x07:
            return kStateQuickStopActive;
        default:
            break;
    }
    switch (statusword & 0x4F) {
        case 0x0F:
            return kStateFaultReactionActive;
        case 0x08:
            return kStateFault;
        default:
            return kStateNotReady;
    }
}

void GetDriveStateName(int state, std::string& out) {
    static const char* const kNames[] = {
        "Not Ready to Switch On", "Switch On Disabled", "Ready to Switch On",    "Switched On",
        "Operation Enable",       "Quick Stop Active",  "Fault Reaction Active", "Fault"};
    out = state >= 0 && state <= 7 ? kNames[state] : "";
}

double FormatScaledValue(int32_t raw, std::string* out, const char* divMultType, int decimals,
                         uint32_t sizeKind, double factor) {
    if (IsDivide(divMultType)) factor = factor != 0.0 ? 1.0 / factor : 0.0;
    double value;
    switch (sizeKind) {
        case 1:
            value = static_cast<int8_t>(raw);
            break;
        case 2:
            value = static_cast<int16_t>(raw);
            break;
        case 4:
            value = raw;
            break;
        default:
            value = static_cast<uint32_t>(raw);
            break;
    }
    value *= factor;
    if (out) *out = DriveFormatFixed(value, decimals);
    return value;
}

double ToDisplayValue(int32_t raw, const char* divMultType, double factor) {
    if (raw == 0) return 0.0;
    if (IsDivide(divMultType)) return factor != 0.0 ? raw / factor : 0.0;
    if (IsMultiply(divMultType)) return raw * factor;
    return raw;
}

int64_t ToDriveValue(const char* divMultType, double value, double factor) {
    if (value != 0.0 && factor != 0.0) {
        if (IsDivide(divMultType)) {
            value *= factor;
        } else if (IsMultiply(divMultType)) {
            value /= factor;
        }
    }
    return DriveTruncate(value, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max());
}

void FormatDecimal(std::string& out, int decimals, double value) {
    if (value == 0.0) {
        out = "0";
    } else if (decimals != 0) {
        out = DriveFormatFixed(value, decimals);
    } else {
        out = std::to_string(DriveRoundHalfAway(value, std::numeric_limits<int64_t>::min(),
                                                std::numeric_limits<int64_t>::max()));
    }
}

void FormatCellValue(std::string& out, const uint8_t* data, uint32_t size, bool isSigned) {
    out.clear();
    if (!data) return;
    switch (size) {
        case 1:
            out = std::to_string(isSigned ? static_cast<int>(static_cast<int8_t>(data[0])) : data[0]);
            break;
        case 2: {
            const uint16_t v = static_cast<uint16_t>(data[0] | data[1] << 8);
            out = std::to_string(isSigned ? static_cast<int>(static_cast<int16_t>(v)) : static_cast<int>(v));
            break;
        }
        case 4: {
            const uint32_t v = static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
                               static_cast<uint32_t>(data[2]) << 16 | static_cast<uint32_t>(data[3]) << 24;
            out = isSigned ? std::to_string(static_cast<int32_t>(v)) : std::to_string(v);
            break;
        }
        default:
            break;
    }
}

void ParamRowFromItem(ParamFileItem& row, const VocabularyItem& entry) {
    row.name = entry.name;
    row.title = entry.title;
    row.writeLevel = entry.writeLevel;
    row.modbusAddress = entry.modbusAddress;
    row.size = entry.size;
    row.restore = entry.restore;
    row.busAddress = entry.busAddress;
    row.valueRead = false;
    row.isSigned = entry.Sign() != 0;
}

}  // namespace drive
