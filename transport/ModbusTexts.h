#pragma once

#include <cstdint>
#include <string>

namespace transport {

// Text of a Modbus exception code or of a domain-transfer status byte; empty when unknown.
const char* GetFileTransferErrorText(uint8_t status);
// Text of a Modbus exception code as the box reports it; "Unknown" when unknown.
const char* GetModbusExceptionText(int code);
// Text of a serial channel code or a domain-transfer code (without the "Modbus:" prefix);
// "ok" when unknown.
const char* ModbusRtuCodeText(int code);
// Text of a domain-transfer code; "ok" when unknown.
const char* DomainCodeText(int code);
// The fixed part of an SDO transfer's own failure text; empty when unknown.
const char* SdoCodeText(int code);
// The fixed part of a box client's failure text; empty when unknown.
const char* ModbusTcpCodeText(int code);

// The long text of a write that did not reach the port.
inline constexpr const char* kModbusWriteFailureText =
    "not all data was successfully written to COM port; probably there is an hardware connection problem: "
    "cable or ground";

}  // namespace transport
