#pragma once

#include <cstdint>
#include <span>

#include "platform/CodeText.h"

namespace transport {

// The Modbus functions the channels send.
namespace modbus_function {
constexpr uint8_t kReadHoldingRegisters = 3;
constexpr uint8_t kWriteSingleRegister = 6;
constexpr uint8_t kWriteMultipleRegisters = 16;
constexpr uint8_t kExceptionFlag = 0x80;
}  // namespace modbus_function

// Results of the serial channel (0 good). The exchange faults come in one block per
// function: 122 to 131 for function 3, 136 to 138 for function 16 and 143 to 145 for
// function 6 are the ones the channel gives; the rest of 100 to 145 only have their texts.
namespace rtu_code {
constexpr int kPortClosed = 8;
constexpr int kPortBusy = 103;
constexpr int kReadCountInvalid = 110;
constexpr int kReadTooMuchData = 117;
constexpr int kReceiveFailed = 125;
constexpr int kReceiveShort = 126;
constexpr int kWrongSlave = 127;
constexpr int kWrongFunction = 128;
constexpr int kReadException = 129;
constexpr int kReadCrc = 130;
constexpr int kReadMissingData = 131;
constexpr int kWriteException = 136;
constexpr int kWriteCrc = 137;
constexpr int kWriteEcho = 138;
constexpr int kWriteSingleException = 143;
constexpr int kWriteSingleCrc = 144;
constexpr int kWriteSingleEcho = 145;
constexpr int kOpenFailed = 200;
constexpr int kSetParametersFailed = 201;
constexpr int kSetTimeoutsFailed = 202;
constexpr int kSetBuffersFailed = 203;
constexpr int kPortNotClosed = 204;
constexpr int kSetEventsFailed = 205;
constexpr int kWriteFailed = 666;
constexpr int kDeviceGone = 670;
constexpr int kShortWrite = 766;
}  // namespace rtu_code

// Results of the domain transfers over Modbus registers (both Modbus channels).
namespace domain_code {
constexpr int kUploadNotSupported = 301;
constexpr int kDownloadNotSupported = 302;
constexpr int kUploadBufferTooSmall = 303;
constexpr int kCreateFileFailed = 304;
constexpr int kUploadWrongToggle = 305;
constexpr int kUploadAborted = 306;
constexpr int kOpenFileFailed = 307;
constexpr int kDownloadAborted = 308;
constexpr int kReadFileFailed = 309;
constexpr int kWriteFileFailed = 310;
constexpr int kInvalidFileHandle = 311;
constexpr int kFirmwareRefused = 312;
}  // namespace domain_code

// Results of the SDO transfers over Modbus registers beside the drive's abort codes; a
// reply with an unexpected command specifier gives kWrongSpecifier plus the specifier.
namespace sdo_code {
constexpr int kWrongToggle = 12;
constexpr int kWrongSpecifier = 100;
constexpr int kSizeMismatch = -302;
}  // namespace sdo_code

// The status byte of a domain-transfer reply beside the Modbus exception codes.
namespace transfer_status {
constexpr uint8_t kReadTooLong = 247;
constexpr uint8_t kWrongStep = 248;
constexpr uint8_t kWrongToggle = 249;
constexpr uint8_t kWriteTooLong = 250;
constexpr uint8_t kEndFailed = 251;
constexpr uint8_t kMemoryWriteFailed = 252;
constexpr uint8_t kStartFailed = 253;
constexpr uint8_t kInvalidCode = 254;
}  // namespace transfer_status

// The exception code with which the box reports its USB adapter gone.
constexpr int kBoxUsbDisconnected = 101;

using CodeTexts = std::span<const platform::CodeText<int>>;

CodeTexts ModbusExceptionTexts();
CodeTexts TransferStatusTexts();
CodeTexts ModbusRtuCodeTexts();
CodeTexts DomainCodeTexts();
CodeTexts SdoCodeTexts();
CodeTexts ModbusTcpCodeTexts();

}  // namespace transport
