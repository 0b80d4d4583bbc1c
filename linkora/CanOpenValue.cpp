#include "linkora/CanOpenValue.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>

namespace linkora {

uint32_t TypeSize(uint32_t type) {
    return (type & 0x80000000u) ? (type & 0x00FFFFFFu) : type;
}

uint32_t TypeKind(uint32_t type) {
    return (type & 0x80000000u) ? ((type >> 24) & 0x3Fu) : 0;
}

bool TypeSigned(uint32_t type) {
    return (type & 0xC0000000u) == 0xC0000000u;
}

namespace {

void StoreLow(void* destination, uint64_t value, uint32_t size) {
    auto* out = static_cast<uint8_t*>(destination);
    for (uint32_t b = 0; b < size; ++b) out[b] = static_cast<uint8_t>(value >> (8 * b));
}

bool IntegerSize(uint32_t size) {
    return size == 1 || size == 2 || size == 4 || size == 8;
}

// A float truncated toward zero, kept inside the destination's range (NaN gives 0).
uint64_t FloatToInteger(double value, bool destinationSigned) {
    if (std::isnan(value)) return 0;
    value = std::trunc(value);
    if (destinationSigned || value < 0) {
        if (value <= -9223372036854775808.0)
            return static_cast<uint64_t>(std::numeric_limits<int64_t>::min());
        if (value >= 9223372036854775807.0) return static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
        return static_cast<uint64_t>(static_cast<int64_t>(value));
    }
    if (value >= 18446744073709551615.0) return std::numeric_limits<uint64_t>::max();
    return static_cast<uint64_t>(value);
}

}  // namespace

int ConvertValue(const void* source, void* destination, uint32_t busType, uint32_t valueType) {
    const uint32_t sourceSize = TypeSize(busType);
    const uint32_t destinationSize = TypeSize(valueType);
    if (busType == valueType) {
        std::memcpy(destination, source, sourceSize);
        return 0;
    }
    if (sourceSize > 8 || destinationSize > 8) {
        std::memset(destination, 0, destinationSize);
        return -1;
    }
    const auto* in = static_cast<const uint8_t*>(source);
    const uint32_t sourceKind = TypeKind(busType), destinationKind = TypeKind(valueType);
    if (sourceKind == 1) {
        double value;
        if (sourceSize == 4) {
            float f;
            std::memcpy(&f, in, 4);
            value = f;
        } else if (sourceSize == 8) {
            std::memcpy(&value, in, 8);
        } else {
            // No floating-point format of that size: nothing defined to convert.
            std::memset(destination, 0, destinationSize);
            return -1;
        }
        if (destinationKind == 1) {
            if (destinationSize == 4) {
                const float f = static_cast<float>(value);
                std::memcpy(destination, &f, 4);
            } else if (destinationSize == 8) {
                std::memcpy(destination, &value, 8);
            }
        } else if (destinationKind == 0 && IntegerSize(destinationSize)) {
            StoreLow(destination, FloatToInteger(value, TypeSigned(valueType)), destinationSize);
        }
        return 0;
    }
    if (sourceKind != 0) return 0;
    uint64_t raw = 0;
    for (uint32_t b = 0; b < sourceSize; ++b) raw |= uint64_t{in[b]} << (8 * b);
    const bool sourceSigned = TypeSigned(busType);
    if (sourceSigned && sourceSize > 0 && sourceSize < 8 && (raw >> (8 * sourceSize - 1)) & 1)
        raw |= ~uint64_t{0} << (8 * sourceSize);
    if (destinationKind == 0) {
        if (IntegerSize(destinationSize)) StoreLow(destination, raw, destinationSize);
    } else if (destinationKind == 1) {
        // Signed when marked; 8-byte sources always read as signed.
        const double value = (sourceSigned || sourceSize == 8)
                                 ? static_cast<double>(static_cast<int64_t>(raw))
                                 : static_cast<double>(raw);
        if (destinationSize == 4) {
            const float f = static_cast<float>(value);
            std::memcpy(destination, &f, 4);
        } else if (destinationSize == 8) {
            std::memcpy(destination, &value, 8);
        }
    }
    return 0;
}

namespace {

struct AbortText {
    uint32_t code;
    const char* text;
};

const AbortText kAbortTexts[] = {
    {0x05030000, "toggle bit alternation"},
    {0x05040000, "protocol timeout"},
    {0x05040001, "Client/server command specifier not valid or unknown"},
    {0x05040002, "Invalid block size"},
    {0x05040003, "Invalid sequence number"},
    {0x05040004, "CRC error"},
    {0x05040005, "Out of memory"},
    {0x06010000, "Unsupported access to an object"},
    {0x06010001, "Attempt to read a write only object"},
    {0x06010002, "Attempt to write a read only object"},
    {0x06020000, "Object does not exist in the object dictionary"},
    {0x06040041, "Object cannot be mapped to the PDO"},
    {0x06040042, "The number and length of the objects to be mapped would exceed PDO length"},
    {0x06040043, "General parameter incompatibility reason"},
    {0x06040047, "General internal incompatibility in the device"},
    {0x06060000, "Access failed due to an hardware error"},
    {0x06070010, "Data type does not match, length of service parameter does not match"},
    {0x06070012, "Data type does not match, length of service parameter too high"},
    {0x06070013, "Data type does not match, length of service parameter too low"},
    {0x06090011, "Sub-index does not exist"},
    {0x06090030, "Value range of parameter exceeded"},
    {0x06090031, "Value of parameter written too high"},
    {0x06090032, "alue of parameter written too low"},
    {0x06090036, "Maximum value is less than minimum value"},
    {0x08000000, "general error"},
    {0x08000020, "Data cannot be transferred or stored to the application"},
    {0x08000021, "Data cannot be transferred or stored to the application because of local control"},
    {0x08000022,
     "Data cannot be transferred or stored to the application because of the present device state"},
    {0x08000023, "Object dictionary dynamic generation fails or no object dictionary is present"},
};

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    char buffer[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

}  // namespace

uint32_t CanOpenErrorText(uint32_t code, std::string& text) {
    static const char* const kInternal = "Internal error:";
    static const char* const kCanBus = "Can bus error:";
    // Negative codes are the channel's own (connection states): their high bits would
    // otherwise read as the internal and abort classes.
    const bool own = static_cast<int32_t>(code) < 0;
    if (!own && (code & 0x120000u) == 0x120000u) {
        switch (code & 0x1200FFu) {
            case 0x120000:
                text = std::string(kInternal) + "invalid Ncs id";
                break;
            case 0x120001:
                text = std::string(kInternal) + "memory allocation on write domain area";
                break;
            case 0x120002:
                text = std::string(kInternal) + "memory allocation on read domain area";
                break;
            case 0x120003:
                text = std::string(kInternal) + "timeout executing a blocked Ncs";
                break;
            case 0x120004:
                text = std::string(kInternal) + "too many Ncs elements used";
                break;
            case 0x120005:
                text = std::string(kCanBus) + "the node is offline";
                break;
            case 0x120006:
                text = std::string(kCanBus) + "the network is offline (network down)";
                break;
            case 0x120007: {
                // The trailing number has no value of its own in the format; it repeats the byte.
                const unsigned byte = (code >> 8) & 0xFFu;
                text = Format("%sGvt_man error:0x%X(%u)", kInternal, byte, byte);
                break;
            }
            case 0x120008:
                text = "too many requests waiting, the node is busy";
                break;
            default:
                text = Format("Ncs error 0x%X", code);
                break;
        }
        return 0;
    }
    if (!own && (code & 0x0FFF0000u) != 0) {
        static const char* const kNode = "Node returned error:";
        for (const AbortText& a : kAbortTexts) {
            if (a.code == code) {
                text = std::string(kNode) + a.text;
                return code;
            }
        }
        text = Format("%s0x%X", kNode, code);
        return code;
    }
    static const char* const kMaster = "Master CANOpen:";
    switch (static_cast<int32_t>(code)) {
        case -23:
            text = "channel disconnected";
            break;
        case -24:
            text = "the node is temporarily offline";
            break;
        case -26:
            text = "Gvtsvr disconnected";
            break;
        case -27:
            text = "the node is ready to connect";
            break;
        case 3:
            text = std::string(kMaster) + "wrong sdo response";
            break;
        case 4:
            text = std::string(kMaster) + "error activating sdo";
            break;
        case 5:
            text = std::string(kMaster) + "the node has aborted the request";
            break;
        case 6:
            text = std::string(kMaster) + "timeout waiting node response";
            break;
        case 7:
            text = std::string(kMaster) + "the node uploaded string is too long for the master";
            break;
        case 10:
            text = std::string(kMaster) + "timeout using the channel";
            break;
        case 11:
            text = std::string(kMaster) + "sdo aborted by application";
            break;
        default:
            text = Format("%sreturned error 0x%X", kMaster, code);
            break;
    }
    return 0;
}

}  // namespace linkora
