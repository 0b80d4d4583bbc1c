#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "platform/Socket.h"

namespace transport {

// The Modbus TCP client of the box channel: one transaction at a time on a connected
// socket, functions 3, 16 and 6 with the MBAP header. Results follow the box's
// conventions: a byte count on success, 0 on time-out, a negative code on failure.
class CModbusTcpClient {
  public:
    static constexpr size_t kReplyBufferSize = 260;

    explicit CModbusTcpClient(platform::TcpSocket& socket, uint32_t timeoutMs = 2000)
        : socket_(socket), timeout_(timeoutMs) {}

    // Codes of ReadRegisters (the writes give -1 for every failure).
    enum : int {
        kBufferTooSmall = -200,
        kSendError = -201,
        kShortSend = -202,
        kWaitError = -203,
        kRecvError = -204,
        kShortReply = -205,
        kWrongTransaction = -206,
    };

    int ReadRegisters(uint16_t address, uint16_t count, void* buffer, size_t bufferSize);
    int WriteRegisters(uint16_t address, uint16_t count, const void* data, size_t dataSize);
    int WriteRegister(uint16_t address, uint16_t value);
    void DrainReceive();
    void CopyRegisters(const uint8_t* from, uint8_t* to, uint16_t count) const;

    uint8_t unitId = 1;
    uint32_t timeout() const { return timeout_; }
    void SetTimeout(uint32_t ms) { timeout_ = ms; }
    bool RawWordOrder() const { return raw_; }
    void SetRawWordOrder(bool raw) { raw_ = raw; }
    uint16_t TransactionId() const { return transactionId_; }
    int Result() const { return result_; }
    const std::string& ErrorText() const { return errorText_; }
    // The exception code of the last exception reply (0 when the last reply was none).
    int LastException() const { return lastException_; }
    const uint8_t* Request() const { return request_; }
    size_t RequestLength() const { return requestLength_; }

  private:
    // Sends the built request and receives the reply: >0 reply bytes, 0 time-out, <0 code.
    // Builds the MBAP header and the first two words of the request (a new transaction id);
    // the bytes written.
    size_t PutHeader(uint8_t function, uint16_t address, uint16_t word, uint16_t length);
    int Transact(int function, uint16_t address, size_t expected);
    // One frame into the reply buffer: its header and the rest its length field announces;
    // received tells how much arrived by the deadline, surplus what the frame announced beyond
    // the buffer. Negative on a socket failure.
    int ReceiveFrame(std::chrono::steady_clock::time_point deadline, size_t& received, size_t& surplus);
    // Reads and throws away count bytes (or what comes by the deadline).
    int DropBytes(size_t count, std::chrono::steady_clock::time_point deadline);
    static uint32_t MsLeft(std::chrono::steady_clock::time_point deadline);

    platform::TcpSocket& socket_;
    uint32_t timeout_;
    bool raw_ = false;
    uint8_t request_[13 + 2 * 123] = {};
    uint8_t reply_[kReplyBufferSize] = {};
    size_t requestLength_ = 0;
    size_t expectedLength_ = 0;
    int result_ = 0;
    uint16_t transactionId_ = 0;
    std::string errorText_;
    int lastException_ = 0;
};

}  // namespace transport
