#include "linkora/CanOpenValue.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>

#include "linkora/Channel.h"
#include "linkora/NcsCom.h"

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

constexpr platform::CodeText<uint32_t> kAbortTexts[] = {
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

constexpr platform::CodeText<uint32_t> kNcsTexts[] = {
    {kNcsInvalidList, "Internal error:invalid Ncs id"},
    {kNcsNoWriteMemory, "Internal error:memory allocation on write domain area"},
    {kNcsNoReadMemory, "Internal error:memory allocation on read domain area"},
    {kNcsTimeout, "Internal error:timeout executing a blocked Ncs"},
    {kNcsTooManyElements, "Internal error:too many Ncs elements used"},
    {kNcsNodeOffline, "Can bus error:the node is offline"},
    {kNcsNetworkDown, "Can bus error:the network is offline (network down)"},
    {kNcsBusy, "too many requests waiting, the node is busy"},
};

constexpr platform::CodeText<int32_t> kChannelTexts[] = {
    {kStateDisconnected, "channel disconnected"},
    {kStateNodeOffline, "the node is temporarily offline"},
    {kStateServerGone, "Gvtsvr disconnected"},
    {kStateNodeReady, "the node is ready to connect"},
    {sdo_status::kWrongResponse, "Master CANOpen:wrong sdo response"},
    {sdo_status::kActivateFailed, "Master CANOpen:error activating sdo"},
    {sdo_status::kNodeAborted, "Master CANOpen:the node has aborted the request"},
    {sdo_status::kTimeout, "Master CANOpen:timeout waiting node response"},
    {sdo_status::kTooLong, "Master CANOpen:the node uploaded string is too long for the master"},
    {sdo_status::kChannelTimeout, "Master CANOpen:timeout using the channel"},
    {sdo_status::kApplicationAborted, "Master CANOpen:sdo aborted by application"},
};

}  // namespace

std::span<const platform::CodeText<uint32_t>> NcsCodeTexts() {
    return kNcsTexts;
}

std::span<const platform::CodeText<int32_t>> ChannelCodeTexts() {
    return kChannelTexts;
}

std::span<const platform::CodeText<uint32_t>> AbortCodeTexts() {
    return kAbortTexts;
}

uint32_t CanOpenErrorText(uint32_t code, std::string& text) {
    // Negative codes are the channel's own (connection states): their high bits would
    // otherwise read as the internal and abort classes.
    const bool own = static_cast<int32_t>(code) < 0;
    if (!own && (code & 0x120000u) == 0x120000u) {
        const uint32_t executorCode = code & 0x1200FFu;
        if (executorCode == kNcsCallFailed) {
            // The trailing number has no value of its own in the format; it repeats the byte.
            const unsigned byte = (code >> 8) & 0xFFu;
            text = Format("Internal error:Gvt_man error:0x%X(%u)", byte, byte);
        } else if (const char* fixed = platform::FindCodeText<uint32_t>(kNcsTexts, executorCode)) {
            text = fixed;
        } else {
            text = Format("Ncs error 0x%X", code);
        }
        return 0;
    }
    if (!own && (code & 0x0FFF0000u) != 0) {
        static const char* const kNode = "Node returned error:";
        if (const char* fixed = platform::FindCodeText<uint32_t>(kAbortTexts, code)) {
            text = std::string(kNode) + fixed;
            return code;
        }
        text = Format("%s0x%X", kNode, code);
        return code;
    }
    if (const char* fixed = platform::FindCodeText<int32_t>(kChannelTexts, static_cast<int32_t>(code)))
        text = fixed;
    else
        text = Format("Master CANOpen:returned error 0x%X", code);
    return 0;
}

}  // namespace linkora
