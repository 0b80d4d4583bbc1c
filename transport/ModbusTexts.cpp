#include "transport/ModbusTexts.h"

#include "transport/ModbusCodes.h"
#include "transport/ModbusTcpClient.h"

namespace transport {

namespace {

using Row = platform::CodeText<int>;

constexpr Row kExceptionTexts[] = {
    {1, "Illegal function"},
    {2, "Illegal data address"},
    {3, "Illegal data value"},
    {4, "Slave device failure"},
    {5, "Acknowledge"},
    {6, "Slave device busy"},
    {7, "Negative acknowledge"},
    {8, "Memory parity error"},
    {10, "Gateway path unavailable"},
    {11, "Gateway target device failed to respond"},
};

constexpr Row kTransferStatusTexts[] = {
    {transfer_status::kReadTooLong, "number of data bytes to read exceed the available ones"},
    {transfer_status::kWrongStep, "wrong upload step"},
    {transfer_status::kWrongToggle, "wrong toggle bit"},
    {transfer_status::kWriteTooLong, "number of data bytes to write exceed the available area"},
    {transfer_status::kEndFailed, "execution of end download function failed"},
    {transfer_status::kMemoryWriteFailed, "writing data in memory filed"},
    {transfer_status::kStartFailed, "starting execution of download/upload function failed"},
    {transfer_status::kInvalidCode, "invalid download/upload code"},
};

constexpr const char* kDeviceWriteError = "device returned error in writing data";
constexpr const char* kDeviceReadError = "device returned error in reading data";
constexpr const char* kConfirmReadError = "reading data confirmation:error reading data from COM port";
constexpr const char* kConfirmShort = "reading data confirmation:not all expected data was received";
constexpr const char* kConfirmSlave = "reading data confirmation:corrupted (wrong slave number)";
constexpr const char* kConfirmFunction = "reading data confirmation:corrupted (wrong function number)";
constexpr const char* kConfirmCrc = "reading data confirmation:corrupted (wrong crc)";
constexpr const char* kConfirmAddress = "reading data confirmation:wrong address or bytes number";

// The exchange faults repeat one pattern per block of codes.
constexpr Row kRtuTexts[] = {
    {rtu_code::kPortClosed, "COM port not opened"},
    {100, "error writing data to COM port"},
    {101, kModbusWriteFailureText},
    {102, kDeviceWriteError},
    {rtu_code::kPortBusy, "timeout: COM port busy"},
    {104, "slave number error"},
    {105, kConfirmReadError},
    {106, kConfirmShort},
    {107, kConfirmSlave},
    {108, kConfirmFunction},
    {109, kConfirmCrc},
    {110, kConfirmAddress},
    {111, kConfirmReadError},
    {112, kConfirmShort},
    {113, kConfirmSlave},
    {114, kConfirmFunction},
    {115, kDeviceWriteError},
    {116, kConfirmCrc},
    {117, kConfirmAddress},
    {118, kConfirmReadError},
    {119, kConfirmShort},
    {120, kConfirmSlave},
    {121, kConfirmFunction},
    {122, kDeviceReadError},
    {123, kConfirmCrc},
    {124, kConfirmAddress},
    {125, kConfirmReadError},
    {126, kConfirmShort},
    {127, kConfirmSlave},
    {128, kConfirmFunction},
    {129, kDeviceReadError},
    {130, kConfirmCrc},
    {131, kConfirmAddress},
    {132, kConfirmReadError},
    {133, kConfirmShort},
    {134, kConfirmSlave},
    {135, kConfirmFunction},
    {136, kDeviceWriteError},
    {137, kConfirmCrc},
    {138, kConfirmAddress},
    {139, kConfirmReadError},
    {140, kConfirmShort},
    {141, kConfirmSlave},
    {142, kConfirmFunction},
    {143, kDeviceWriteError},
    {144, kConfirmCrc},
    {145, kConfirmAddress},
    {rtu_code::kOpenFailed, "error opening COM port"},
    {rtu_code::kSetParametersFailed, "error setting COM port parameters"},
    {rtu_code::kSetTimeoutsFailed, "error setting COM port timeouts"},
    {rtu_code::kSetBuffersFailed, "error setting COM port buffers"},
    {rtu_code::kPortNotClosed, "COM port not properly closed"},
    {rtu_code::kSetEventsFailed, "error setting COM port events mask"},
    {rtu_code::kWriteFailed, kModbusWriteFailureText},
    {667, kModbusWriteFailureText},
    {668, kModbusWriteFailureText},
    {rtu_code::kShortWrite, kModbusWriteFailureText},
    {767, kModbusWriteFailureText},
};

constexpr Row kDomainTexts[] = {
    {domain_code::kUploadNotSupported, "the slave upload protocol is not supported"},
    {domain_code::kDownloadNotSupported, "the slave download protocol is not supported"},
    {domain_code::kUploadBufferTooSmall, "upload: buffer too small"},
    {domain_code::kCreateFileFailed, "error creating file"},
    {domain_code::kUploadWrongToggle, "upload: wrong toggle bit"},
    {domain_code::kUploadAborted, "upload aborted by the user"},
    {domain_code::kOpenFileFailed, "download: error opening file"},
    {domain_code::kDownloadAborted, "download aborted by the user"},
    {domain_code::kReadFileFailed, "download: error reading file"},
    {domain_code::kWriteFileFailed, "upload: error writing file"},
    {domain_code::kInvalidFileHandle, "invalid file handle"},
    {domain_code::kFirmwareRefused, "the slave refuse firmware download"},
};

constexpr Row kSdoTexts[] = {
    {sdo_code::kWrongToggle, "Upload SDO Segment response: wrong toggle bit"},
    {sdo_code::kSizeMismatch, "data size don't match"},
};

constexpr Row kTcpTexts[] = {
    {CModbusTcpClient::kBufferTooSmall, "the buffer provided is too small"},
    {CModbusTcpClient::kSendError, "send()"},
    {CModbusTcpClient::kShortSend, "send(): sent less bytes than needed"},
    {CModbusTcpClient::kWaitError, "select()"},
    {CModbusTcpClient::kRecvError, "recv()"},
    {CModbusTcpClient::kShortReply, "recv(): received fewer bytes than requested"},
    {CModbusTcpClient::kWrongTransaction, "received a wrong transaction id"},
};

}  // namespace

CodeTexts ModbusExceptionTexts() {
    return kExceptionTexts;
}
CodeTexts TransferStatusTexts() {
    return kTransferStatusTexts;
}
CodeTexts ModbusRtuCodeTexts() {
    return kRtuTexts;
}
CodeTexts DomainCodeTexts() {
    return kDomainTexts;
}
CodeTexts SdoCodeTexts() {
    return kSdoTexts;
}
CodeTexts ModbusTcpCodeTexts() {
    return kTcpTexts;
}

const char* GetFileTransferErrorText(uint8_t status) {
    if (const char* text = platform::FindCodeText<int>(kExceptionTexts, status)) return text;
    return platform::FindCodeText<int>(kTransferStatusTexts, status, "");
}

const char* GetModbusExceptionText(int code) {
    if (const char* text = platform::FindCodeText<int>(kExceptionTexts, code)) return text;
    return code == kBoxUsbDisconnected ? "Mirel: USB device disconnected" : "Unknown";
}

const char* ModbusRtuCodeText(int code) {
    if (const char* text = platform::FindCodeText<int>(kRtuTexts, code)) return text;
    return platform::FindCodeText<int>(kDomainTexts, code, "ok");
}

const char* DomainCodeText(int code) {
    return platform::FindCodeText<int>(kDomainTexts, code, "ok");
}

const char* SdoCodeText(int code) {
    return platform::FindCodeText<int>(kSdoTexts, code, "");
}

const char* ModbusTcpCodeText(int code) {
    return platform::FindCodeText<int>(kTcpTexts, code, "");
}

}  // namespace transport
