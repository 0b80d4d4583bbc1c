#pragma once

#include <cstdint>
#include <string>

namespace transport {

// Text of a Modbus exception code or of a domain-transfer status byte; empty when unknown.
const char* GetFileTransferErrorText(uint8_t status);
// Text of a Modbus exception code as the box reports it; "Unknown" when unknown.
const char* GetModbusExceptionText(int code);
// Text of a serial channel code (without the "Modbus:" prefix); "ok" when unknown.
const char* ModbusRtuCodeText(int code);

// The long text of a write that did not reach the port.
extern const char* const kModbusWriteFailureText;

}  // namespace transport
