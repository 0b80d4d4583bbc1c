#include "transport/ModbusRtu.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "foundation/ProgramSwitches.h"
#include "platform/Prompt.h"
#include "transport/ModbusCodes.h"
#include "transport/ModbusCrc.h"
#include "transport/ModbusTexts.h"
#include "transport/ModbusWire.h"

using namespace foundation;

namespace transport {

namespace {

void PutCrc(uint8_t* frame, size_t length) {
    const uint16_t crc = ModbusCrc16(frame, length);
    frame[length] = static_cast<uint8_t>(crc);
    frame[length + 1] = static_cast<uint8_t>(crc >> 8);
}

bool CrcMatches(const uint8_t* frame, size_t length) {
    const uint16_t crc = ModbusCrc16(frame, length);
    return frame[length] == static_cast<uint8_t>(crc) && frame[length + 1] == static_cast<uint8_t>(crc >> 8);
}

char ParityLetter(uint8_t parity) {
    static const char kLetters[] = {'N', 'O', 'E', 'M', 'S'};
    return parity < 5 ? kLetters[parity] : 'N';
}

// Errors with which the system refuses a write because the device is gone (adapter unplugged).
bool IsDeviceGone(int error) {
    return error == EIO || error == ENXIO || error == ENODEV || error == EBADF;
}

}  // namespace

CModbusRtu::CModbusRtu(CErrorPair* owner, int channelIndex) : CModbusChannel(owner, channelIndex) {}

CModbusRtu::~CModbusRtu() {
    ClosePort();
}

void CModbusRtu::Sleep(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// ---------------------------------------------------------------------------------------
// Port set-up

int CModbusRtu::ApplyLineSettings() {
    const int stopBits = liveStopBits_ == 0 ? 1 : 2;
    if (port_.Configure(liveBaud_, ParityLetter(liveParity_), liveDataBits_, stopBits) != 0) {
        detailText_ = port_.LastErrorText();
        return rtu_code::kSetParametersFailed;
    }
    return 0;
}

int CModbusRtu::OpenPort(bool silent) {
    resultCode_ = 0;
    detailText_.clear();
    if (open_) return 0;
    if (port_.IsOpen()) return resultCode_ = rtu_code::kPortNotClosed;
    if (port_.Open(livePortName_) != 0) {
        detailText_ = port_.LastErrorText();
        if (!silent)
            platform::Prompts().MessageBox("Serial port busy",
                                           platform::SerialPort::DevicePath(livePortName_),
                                           platform::MB_OK | platform::MB_ICONERROR);
        return resultCode_ = rtu_code::kOpenFailed;
    }
    port_.Purge(true, true);
    int rc = ApplyLineSettings();
    if (rc == 0 && !SetCommTimeouts(configuredTimeout_)) rc = rtu_code::kSetTimeoutsFailed;
    if (rc == 0 && liveRtsControl_ == 3 && port_.SetRs485(true) != 0) {
        // Direction control the port cannot give would make every exchange fail unseen.
        detailText_ = port_.LastErrorText();
        rc = rtu_code::kSetEventsFailed;
    }
    if (rc != 0) {
        port_.Close();
        return resultCode_ = static_cast<uint32_t>(rc);
    }
    open_ = true;
    state_ = 0;
    errorCounter_ = 0;
    if (g_LogErrors.load()) errorLog_.Create(livePortName_);
    return 0;
}

void CModbusRtu::ClosePort() {
    if (port_.IsOpen()) {
        port_.Purge(true, true);
        port_.Close();
    }
    errorLog_.Close();
    open_ = false;
}

int CModbusRtu::ClosePortLocked() {
    platform::TimedLock lock(portMutex_, 3000);
    if (!lock) return rtu_code::kPortBusy;
    ClosePort();
    return 0;
}

bool CModbusRtu::SetCommTimeouts(uint32_t ms) {
    currentTimeout_ = ms;
    // Writes may take the line time of the frame on top of the time-out.
    const uint32_t perByte = liveBaud_ ? 11000 / liveBaud_ : 0;
    port_.SetWriteTimeout(ms + perByte * static_cast<uint32_t>(kFrameBufferSize));
    return true;
}

int CModbusRtu::SetupPort(const std::string& portName, uint32_t baud, uint8_t parity, uint8_t dataBits,
                          uint8_t stopBits, uint8_t rtsControl, uint32_t receiveTimeoutMs, bool silent) {
    resultCode_ = 0;
    detailText_.clear();
    bool reopen = false;
    if (portName != livePortName_) {
        if (open_ && ClosePortLocked() != 0) return rtu_code::kPortBusy;
        // Linux device paths are longer than COM names; keep them whole up to a sane bound.
        livePortName_ = portName.substr(0, 255);
        reopen = true;
    }
    if (baud != liveBaud_ || dataBits != liveDataBits_ || parity != liveParity_ ||
        stopBits != liveStopBits_ || rtsControl != liveRtsControl_) {
        const bool rtsChanged = rtsControl != liveRtsControl_;
        liveBaud_ = baud;
        liveDataBits_ = dataBits;
        liveParity_ = parity;
        liveStopBits_ = stopBits;
        liveRtsControl_ = rtsControl;
        if (open_ && !reopen) {
            const int rc = ApplyLineSettings();
            if (rc != 0) return resultCode_ = static_cast<uint32_t>(rc);
            if (rtsChanged && port_.SetRs485(rtsControl == 3) != 0 && rtsControl == 3) {
                detailText_ = port_.LastErrorText();
                return resultCode_ = rtu_code::kSetEventsFailed;
            }
            SetCommTimeouts(currentTimeout_);
        }
    }
    if (receiveTimeoutMs != configuredTimeout_) {
        configuredTimeout_ = receiveTimeoutMs == 0 ? 2000 : (receiveTimeoutMs < 2 ? 2 : receiveTimeoutMs);
        if (open_ && !SetCommTimeouts(configuredTimeout_)) return resultCode_ = rtu_code::kSetTimeoutsFailed;
    }
    if (reopen) OpenPort(silent);
    return 0;
}

int CModbusRtu::SetupFromSettings(uint32_t receiveTimeoutMs, bool silent) {
    return SetupPort(settings_.portName, settings_.baud, settings_.parity, settings_.dataBits,
                     settings_.stopBits, settings_.rtsControl, receiveTimeoutMs, silent);
}

int CModbusRtu::Connect(bool silent) {
    if (connected_) return 0;
    const int rc = SetupFromSettings(settings_.receiveTimeout, silent);
    if (rc != 0) return rc;
    if (!open_) {
        // A reopen that the set-up tried has already failed (and told the user).
        if (resultCode_ != 0) return static_cast<int>(resultCode_);
        const int opened = OpenPort(silent);
        if (opened != 0) return opened;
    }
    connected_ = true;
    return 0;
}

int CModbusRtu::Disconnect() {
    connected_ = false;
    platform::TimedLock lock(portMutex_, 3000);
    if (!lock) {
        connected_ = true;
        return rtu_code::kPortBusy;
    }
    ClosePort();
    return 0;
}

int CModbusRtu::SetTimeout(uint32_t ms, uint16_t* outTimeout, uint8_t* outFlag) {
    int rc = 0;
    {
        OwnerErrorGuard keep(owner_);
        rc = SetupFromSettings(ms, false);
    }
    settings_.receiveTimeout = ms;
    if (outTimeout && outFlag) {
        *outTimeout = static_cast<uint16_t>(ms);
        *outFlag = 1;
    }
    return rc;
}

// ---------------------------------------------------------------------------------------
// Frame exchanges

int CModbusRtu::Send(const uint8_t* frame, size_t length) {
    port_.Purge(true, true);
    ChannelTraceBytes("Send ", frame, length);
    int written = port_.Write(frame, length);
    if (written < 0) {
        if (IsDeviceGone(port_.LastError())) {
            detailText_ = port_.LastErrorText();
            return rtu_code::kDeviceGone;
        }
        ChannelTrace(" " + port_.LastErrorText());
        port_.Purge(true, true);
        Sleep(15);
        ChannelTraceBytes("Send ", frame, length);
        written = port_.Write(frame, length);
        if (written < 0) {
            detailText_ = port_.LastErrorText();
            ChannelTrace(port_.LastErrorText());
            Sleep(15);
            port_.Purge(true, true);
            return rtu_code::kWriteFailed;
        }
    }
    if (static_cast<size_t>(written) < length) {
        port_.Purge(true, true);
        detailText_ = Format("%s (%lu written : %lu to write)", kModbusWriteFailureText,
                             static_cast<unsigned long>(written), static_cast<unsigned long>(length));
        return rtu_code::kShortWrite;
    }
    return 0;
}

int CModbusRtu::Receive(uint8_t* into, size_t count) {
    const int n = port_.Read(into, count, currentTimeout_);
    if (n < 0) {
        detailText_ = port_.LastErrorText();
        return rtu_code::kReceiveFailed;
    }
    return static_cast<size_t>(n) < count ? rtu_code::kReceiveShort : 0;
}

uint32_t CModbusRtu::InterFrameGapMs() const {
    // 3.5 characters of 11 bits; above 19200 baud the fixed 1.75 ms. In whole milliseconds.
    if (liveBaud_ == 0 || liveBaud_ > 19200) return 2;
    return (38500 + liveBaud_ - 1) / liveBaud_;
}

void CModbusRtu::AwaitQuietLine() {
    // A line that never goes quiet is given up after the time-out and one longest frame.
    const uint32_t frameMs = liveBaud_ ? static_cast<uint32_t>(kFrameBufferSize * 11000 / liveBaud_) : 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(currentTimeout_ + frameMs);
    const uint32_t gap = InterFrameGapMs();
    uint8_t scratch[kFrameBufferSize];
    while (std::chrono::steady_clock::now() < end) {
        const int n = port_.Read(scratch, sizeof scratch, gap);
        if (n <= 0) break;
        ChannelTraceBytes("Recv ", scratch, static_cast<size_t>(n));
    }
    port_.Purge(true, false);
}

void CModbusRtu::SetOwnerFromDetail(int code) {
    if (owner_) owner_->Set(code, GetErrorText(0));
}

namespace {

// What tells the functions apart when an exchange fails.
struct FunctionCodes {
    int exception;  // the drive answered with an exception
    int crc;        // the reply's CRC is wrong
    int echo;       // a write reply does not echo the request's address and word
    const char* logText;
};

FunctionCodes CodesOf(uint8_t function) {
    switch (function) {
        case modbus_function::kReadHoldingRegisters:
            return {rtu_code::kReadException, rtu_code::kReadCrc, 0, "Errore lettura word(s)"};
        case modbus_function::kWriteMultipleRegisters:
            return {rtu_code::kWriteException, rtu_code::kWriteCrc, rtu_code::kWriteEcho,
                    "Errore scrittura word(s)"};
        default:
            return {rtu_code::kWriteSingleException, rtu_code::kWriteSingleCrc, rtu_code::kWriteSingleEcho,
                    "Errore scrittura word"};
    }
}

}  // namespace

int CModbusRtu::Transact(size_t length, uint8_t slave, uint16_t address, uint16_t count) {
    const uint8_t* request = sendBuffer_;
    const uint8_t function = request[1];
    const FunctionCodes codes = CodesOf(function);
    uint8_t* reply = recvBuffer_;
    int code = 0;
    for (uint32_t attempt = 0; attempt < retryCount_; ++attempt) {
        if (attempt > 0) Sleep(pause_);
        code = Send(request, length);
        if (code != 0) {
            state_ = 3;
            return code;
        }
        code = Receive(reply, 3);
        if (code == 0) {
            if (reply[0] != slave) {
                ChannelTraceBytes("Recv ", reply, 3);
                detailText_ =
                    Format("(dati.BuffRecv)[0]='%d'!=NumeroSlave='%d' in reading data", reply[0], slave);
                code = rtu_code::kWrongSlave;
            } else if ((reply[1] & 0x7F) != function) {
                ChannelTraceBytes("Recv ", reply, 3);
                detailText_ =
                    Format("(dati.BuffRecv)[1]!='%d'!=func='%d' in reading data", reply[1] & 0x7F, function);
                code = rtu_code::kWrongFunction;
            } else if (reply[1] & modbus_function::kExceptionFlag) {
                Receive(reply + 3, 2);
                ChannelTraceBytes("Recv ", reply, 5);
                const char* text = GetFileTransferErrorText(reply[2]);
                detailText_ =
                    function == modbus_function::kWriteSingleRegister
                        ? Format("Modbus func. 6 register %d: error 0x%02X (%s)", address, reply[2], text)
                        : Format("Modbus func. %d register %d words %d: error 0x%02X (%s)", function, address,
                                 count, reply[2], text);
                LogError(detailText_, static_cast<uint32_t>(codes.exception));
                SetOwnerFromDetail(codes.exception);
                state_ = 3;
                return codes.exception;
            } else {
                // A read reply announces its byte count (at most 255, so the whole reply fits
                // the receive buffer); a write reply echoes address and word.
                const size_t rest = function == modbus_function::kReadHoldingRegisters
                                        ? static_cast<size_t>(reply[2]) + 2
                                        : 5;
                code = Receive(reply + 3, rest);
                ChannelTraceBytes("Recv ", reply, 3 + rest);
                if (code == 0 && !CrcMatches(reply, 1 + rest)) {
                    ChannelTrace("Recv  Wrong crc");
                    code = codes.crc;
                }
            }
        }
        if (code == 0) break;
        ++errorCounter_;
        LogError(codes.logText, static_cast<uint32_t>(code));
        // RTU has no transaction id: the rest of a late or broken reply must not become the
        // answer to the next request.
        if (code != rtu_code::kReceiveFailed) AwaitQuietLine();
    }
    if (code == 0 && function != modbus_function::kReadHoldingRegisters &&
        std::memcmp(reply + 2, request + 2, 4) != 0)
        code = codes.echo;
    if (code != 0) state_ = 3;
    return code;
}

int CModbusRtu::ExchangeRead(uint16_t address, uint16_t count, void* buffer, uint8_t slave) {
    if (count == 0 || count > kMaxReadRegisters) {
        detailText_ = Format("Modbus func. 3 register %d words %d: count outside 1..%d", address, count,
                             kMaxReadRegisters);
        state_ = 3;
        return rtu_code::kReadCountInvalid;
    }
    if (retryCount_ == 0) return 0;  // no attempt: nothing sent, nothing to check
    PutRequestHead(sendBuffer_, slave, modbus_function::kReadHoldingRegisters, address, count);
    PutCrc(sendBuffer_, 6);
    const int code = Transact(8, slave, address, count);
    if (code != 0) return code;
    const uint8_t* reply = recvBuffer_;
    const unsigned byteCount = reply[2];
    if (byteCount < 2u * count) {
        ChannelTrace("Recv Missing data");
        state_ = 3;
        return rtu_code::kReadMissingData;
    }
    if (byteCount > 2u * count) {
        ChannelTrace("Recv Too much data");
        state_ = 3;
        return rtu_code::kReadTooMuchData;
    }
    CopyRegisterWords(reply + 3, static_cast<uint8_t*>(buffer), count, rawWordOrder_);
    state_ = 0;
    return 0;
}

int CModbusRtu::ExchangeWrite(uint16_t address, uint16_t count, const void* data, uint8_t slave) {
    if (count == 0 || count > kMaxWriteRegisters) {
        detailText_ = Format("Modbus func. 16 register %d words %d: count outside 1..%d", address, count,
                             kMaxWriteRegisters);
        state_ = 3;
        return rtu_code::kWriteEcho;
    }
    if (retryCount_ == 0) return 0;
    uint8_t* request = sendBuffer_;
    PutRequestHead(request, slave, modbus_function::kWriteMultipleRegisters, address, count);
    request[6] = static_cast<uint8_t>(2 * count);
    CopyRegisterWords(static_cast<const uint8_t*>(data), request + 7, count, rawWordOrder_);
    const size_t length = 7 + 2u * count;
    PutCrc(request, length);
    const int code = Transact(length + 2, slave, address, count);
    if (code == 0) state_ = 0;
    return code;
}

int CModbusRtu::ExchangeWriteSingle(uint16_t address, uint16_t value, uint8_t slave) {
    if (retryCount_ == 0) return 0;
    // In raw word order the value goes out low byte first.
    const uint16_t word = rawWordOrder_ ? static_cast<uint16_t>(value << 8 | value >> 8) : value;
    PutRequestHead(sendBuffer_, slave, modbus_function::kWriteSingleRegister, address, word);
    PutCrc(sendBuffer_, 6);
    const int code = Transact(8, slave, address, 1);
    if (code == 0) state_ = 0;
    return code;
}

template <class Exchange>
int CModbusRtu::Locked(uint8_t slave, Exchange exchange) {
    // The result fields belong to whoever holds the port: another thread's exchange may be
    // writing them (the node guard beside a window's read).
    platform::TimedLock lock(portMutex_, 2000);
    if (!lock) return rtu_code::kPortBusy;
    detailText_.clear();
    resultCode_ = 0;
    if (!open_) {
        state_ = 255;
        return resultCode_ = rtu_code::kPortClosed;
    }
    if (slave == 0) slave = node_;
    resultCode_ = static_cast<uint32_t>(exchange(slave));
    return static_cast<int>(resultCode_);
}

int CModbusRtu::ReadRegisters(uint16_t address, uint16_t count, void* buffer, uint8_t slave) {
    return Locked(slave, [&](uint8_t s) { return ExchangeRead(address, count, buffer, s); });
}

int CModbusRtu::WriteRegisters(uint16_t address, uint16_t count, const void* data, uint8_t slave) {
    return Locked(slave, [&](uint8_t s) { return ExchangeWrite(address, count, data, s); });
}

int CModbusRtu::WriteRegisterFrame(uint16_t address, uint16_t value, uint8_t slave) {
    return Locked(slave, [&](uint8_t s) { return ExchangeWriteSingle(address, value, s); });
}

int CModbusRtu::ReadBytes(uint8_t slave, uint16_t address, uint8_t byteCount, void* buffer) {
    // An odd count reads a whole register: pad locally, never past the caller's buffer.
    uint8_t local[256];
    const uint16_t registers = static_cast<uint16_t>((byteCount + 1) / 2);
    const int rc = ReadRegisters(address, registers, local, slave);
    if (rc == 0) std::memcpy(buffer, local, byteCount);
    return rc;
}

// ---------------------------------------------------------------------------------------
// Texts and logs

std::string CModbusRtu::GetErrorText(int code) const {
    std::string text = "Modbus:";
    if (code == 0)
        text += detailText_.empty() ? ModbusRtuCodeText(static_cast<int>(resultCode_)) : detailText_;
    else
        text += ModbusRtuCodeText(code);
    return CutUtf8(text, 254);
}

int CModbusRtu::GetErrorText(char* buffer, int code) const {
    if (!buffer) return 500;
    const std::string text = GetErrorText(code);
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    return static_cast<int>(text.size());
}

void CModbusRtu::LogError(const std::string& text, uint32_t code) {
    errorLog_.Append(state_, text, code);
}

// ---------------------------------------------------------------------------------------
// Register access for the SDO, domain and identification layers

int CModbusRtu::RegRead(uint8_t slave, uint16_t address, uint16_t count, void* buffer) {
    return ReadRegisters(address, count, buffer, slave);
}

int CModbusRtu::RegWrite(uint8_t slave, uint16_t address, uint16_t count, const void* data) {
    return WriteRegisters(address, count, data, slave);
}

int CModbusRtu::RegWriteSingle(uint8_t slave, uint16_t address, uint16_t value) {
    return WriteRegisterFrame(address, value, slave);
}

void CModbusRtu::SdoBeginInitiateDownload() {
    if (settings_.receiveTimeout < 6000) {
        sdoSavedTimeout_ = settings_.receiveTimeout;
        sdoTimeoutRaised_ = true;
        SetTimeout(6000, nullptr, nullptr);
    }
}

void CModbusRtu::SdoEndInitiateDownload() {
    // The longer time-out is for the initiate exchange only.
    if (sdoTimeoutRaised_) {
        sdoTimeoutRaised_ = false;
        SetTimeout(sdoSavedTimeout_, nullptr, nullptr);
    }
}

void CModbusRtu::SdoBeginUpload() {
    if (!sdoUploadActive_) savedRetryCount_ = retryCount_;
    sdoUploadActive_ = true;
    retryCount_ = 1;
}

void CModbusRtu::SdoEndUpload() {
    if (!sdoUploadActive_) return;
    sdoUploadActive_ = false;
    retryCount_ = savedRetryCount_ ? savedRetryCount_ : 1;
}

// ---------------------------------------------------------------------------------------
// Domain transfers

bool CModbusRtu::IsStartRefused(int code) const {
    return code == rtu_code::kWriteException;
}

int CModbusRtu::DomainBegin() {
    if (!open_) {
        state_ = 255;
        return rtu_code::kPortClosed;
    }
    if (!portMutex_.LockFor(2000)) return rtu_code::kPortBusy;
    resultCode_ = 0;
    return 0;
}

void CModbusRtu::DomainEnd() {
    portMutex_.Unlock();
}

int CModbusRtu::SendTerminate(uint8_t slave, uint16_t address) {
    const uint32_t kept = resultCode_;
    const std::string keptDetail = detailText_;
    const uint8_t message[2] = {0x80, 0x00};
    const int rc = WriteRegisters(address, 1, message, slave);
    resultCode_ = kept;
    detailText_ = keptDetail;
    return rc;
}

int CModbusRtu::WriteEmptyBlock(uint8_t slave, uint16_t address) {
    const uint8_t block[2] = {0x30, 0x00};
    return WriteRegisters(address, 1, block, slave);
}

}  // namespace transport
