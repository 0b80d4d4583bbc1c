#include "transport/ModbusTcpClient.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "transport/ChannelTrace.h"
#include "transport/ModbusCodes.h"
#include "transport/ModbusTexts.h"
#include "transport/ModbusWire.h"

namespace transport {

void CModbusTcpClient::CopyRegisters(const uint8_t* from, uint8_t* to, uint16_t count) const {
    CopyRegisterWords(from, to, count, raw_);
}

size_t CModbusTcpClient::PutHeader(uint8_t function, uint16_t address, uint16_t word, uint16_t length) {
    ++transactionId_;
    PutBe16(request_, transactionId_);
    PutBe16(request_ + 2, 0);  // protocol identifier
    PutBe16(request_ + 4, length);
    PutRequestHead(request_ + 6, unitId, function, address, word);
    return 12;
}

void CModbusTcpClient::DrainReceive() {
    // Leftovers of a transaction that timed out must not be taken for the next reply.
    if (socket_.IsOpen() && socket_.WaitReadable(0) == 1) socket_.DiscardPending();
}

uint32_t CModbusTcpClient::MsLeft(std::chrono::steady_clock::time_point deadline) {
    // Rounded up: a wait must never end before the time-out has passed.
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<uint32_t>(left.count()) : 0;
}

int CModbusTcpClient::ReceiveFrame(std::chrono::steady_clock::time_point deadline, size_t& received,
                                   size_t& surplus) {
    // TCP may split a reply: gather the header, then as much as its length field announces
    // (bounded by the buffer), until the time-out.
    received = 0;
    surplus = 0;
    int got = socket_.RecvAll(reply_, 7, MsLeft(deadline));
    if (got < 0) return got;
    received = static_cast<size_t>(got);
    if (received < 7) return 0;
    const size_t announced = static_cast<size_t>(reply_[4] << 8 | reply_[5]);
    const size_t body = announced > 0 ? announced - 1 : 0;
    const size_t rest = std::min(body, kReplyBufferSize - 7);
    got = socket_.RecvAll(reply_ + 7, rest, MsLeft(deadline));
    if (got < 0) return got;
    received += static_cast<size_t>(got);
    if (static_cast<size_t>(got) == rest) surplus = body - rest;
    return 0;
}

int CModbusTcpClient::DropBytes(size_t count, std::chrono::steady_clock::time_point deadline) {
    uint8_t scratch[256];
    while (count > 0) {
        const int got = socket_.RecvAll(scratch, std::min(count, sizeof scratch), MsLeft(deadline));
        if (got <= 0) return got;
        count -= static_cast<size_t>(got);
    }
    return 0;
}

int CModbusTcpClient::Transact(int function, uint16_t address, size_t expected) {
    lastException_ = 0;
    // A success leaves no text of an earlier failure behind.
    errorText_.clear();
    ChannelTraceBytes("Send ", request_, requestLength_);
    DrainReceive();
    const int sent = socket_.Send(request_, requestLength_, timeout_);
    if (sent < 0) {
        errorText_ = std::string(ModbusTcpCodeText(kSendError)) + ":" + socket_.LastErrorText();
        return kSendError;
    }
    if (static_cast<size_t>(sent) < requestLength_) {
        errorText_ = ModbusTcpCodeText(kShortSend);
        return kShortSend;
    }
    // Frames of earlier transactions (late replies) are skipped until this one's reply or
    // the time-out: a client one reply behind would otherwise stay behind.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_);
    bool skipped = false;
    size_t received = 0;
    size_t surplus = 0;
    for (;;) {
        const int ready = socket_.WaitReadable(MsLeft(deadline));
        if (ready < 0) {
            errorText_ = std::string(ModbusTcpCodeText(kWaitError)) + ":" + socket_.LastErrorText();
            return kWaitError;
        }
        if (ready == 0) {
            if (skipped) {
                errorText_ = ModbusTcpCodeText(kWrongTransaction);
                return kWrongTransaction;
            }
            errorText_ = function == modbus_function::kWriteMultipleRegisters
                             ? Format("select(%lu): timeout waiting slave response",
                                      static_cast<unsigned long>(timeout_))
                             : "select(): timeout waiting slave response";
            return 0;
        }
        int got = ReceiveFrame(deadline, received, surplus);
        if (got < 0) {
            errorText_ = std::string(ModbusTcpCodeText(kRecvError)) + ":" + socket_.LastErrorText();
            return kRecvError;
        }
        ChannelTraceBytes("Recv ", reply_, received);
        if (received < 2 || (reply_[0] == request_[0] && reply_[1] == request_[1])) break;
        skipped = true;
        // The part of a skipped frame that did not fit goes too, so the next frame starts at its header.
        got = DropBytes(surplus, deadline);
        if (got < 0) {
            errorText_ = std::string(ModbusTcpCodeText(kRecvError)) + ":" + socket_.LastErrorText();
            return kRecvError;
        }
    }
    if (received < expected) {
        if (received > 8 && (reply_[7] & modbus_function::kExceptionFlag)) {
            lastException_ = reply_[8];
            errorText_ = Format("Modbus func. %d register %d: error 0x%02x (%s)", function, address,
                                reply_[8], GetModbusExceptionText(reply_[8]));
            ChannelTrace(errorText_);
            return -reply_[8];
        }
        errorText_ = ModbusTcpCodeText(kShortReply);
        return kShortReply;
    }
    // A length field that disagrees with the request means a damaged or foreign reply.
    if (static_cast<size_t>(reply_[4] << 8 | reply_[5]) + 6 != expected) {
        errorText_ = "received a wrong byte count";
        return kShortReply;
    }
    return static_cast<int>(received);
}

int CModbusTcpClient::ReadRegisters(uint16_t address, uint16_t count, void* buffer, size_t bufferSize) {
    if (bufferSize < 2u * count) {
        errorText_ = ModbusTcpCodeText(kBufferTooSmall);
        return result_ = kBufferTooSmall;
    }
    if (count == 0 || count > 125) {
        errorText_ = Format("Modbus func. 3 register %d: count %d outside 1..125", address, count);
        return result_ = kBufferTooSmall;
    }
    requestLength_ = PutHeader(modbus_function::kReadHoldingRegisters, address, count, 6);
    expectedLength_ = 9 + 2u * count;
    const int rc = Transact(modbus_function::kReadHoldingRegisters, address, expectedLength_);
    if (rc <= 0) return result_ = rc;
    // The byte count must be what was asked before any data is copied.
    if (reply_[7] != modbus_function::kReadHoldingRegisters || reply_[8] != 2 * count) {
        errorText_ = "received a wrong byte count";
        return result_ = kShortReply;
    }
    CopyRegisters(reply_ + 9, static_cast<uint8_t*>(buffer), count);
    return result_ = 2 * count;
}

int CModbusTcpClient::WriteRegisters(uint16_t address, uint16_t count, const void* data, size_t dataSize) {
    if (dataSize < 2u * count) {
        errorText_ = ModbusTcpCodeText(kBufferTooSmall);
        return result_ = -1;
    }
    if (count == 0 || count > 123) {
        errorText_ = Format("Modbus func. 16 register %d: count %d outside 1..123", address, count);
        return result_ = -1;
    }
    PutHeader(modbus_function::kWriteMultipleRegisters, address, count, static_cast<uint16_t>(7 + 2 * count));
    request_[12] = static_cast<uint8_t>(2 * count);
    CopyRegisters(static_cast<const uint8_t*>(data), request_ + 13, count);
    requestLength_ = 13 + 2u * count;
    expectedLength_ = 12;
    const int rc = Transact(modbus_function::kWriteMultipleRegisters, address, expectedLength_);
    if (rc == 0) return result_ = 0;
    if (rc < 0) return result_ = -1;
    return result_ = 2 * (reply_[10] << 8 | reply_[11]);
}

int CModbusTcpClient::WriteRegister(uint16_t address, uint16_t value) {
    requestLength_ = PutHeader(modbus_function::kWriteSingleRegister, address, value, 6);
    expectedLength_ = 12;
    const int rc = Transact(modbus_function::kWriteSingleRegister, address, expectedLength_);
    if (rc == 0) return result_ = 0;
    if (rc < 0) return result_ = -1;
    return result_ = 2;
}

}  // namespace transport
