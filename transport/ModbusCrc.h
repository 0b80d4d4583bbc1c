#pragma once

#include <cstddef>
#include <cstdint>

namespace transport {

// Modbus CRC-16: initial 0xFFFF, reflected polynomial 0xA001; stored after a frame low
// byte first. A length of 0 gives 0xFFFF.
uint16_t ModbusCrc16(const uint8_t* bytes, size_t length);

}  // namespace transport
