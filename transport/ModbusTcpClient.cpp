#include "transport/ModbusTcpClient.h"

#include <algorithm>
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

int CModbusTcpClient::Transact(int function, uint16_t address, size_t expected) {
    lastException_ = 0;
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
    const int ready = socket_.WaitReadable(timeout_);
    if (ready < 0) {
        errorText_ = std::string(ModbusTcpCodeText(kWaitError)) + ":" + socket_.LastErrorText();
        return kWaitError;
    }
    if (ready == 0) {
        errorText_ =
            function == modbus_function::kWriteMultipleRegisters
                ? Format("select(%lu): timeout waiting slave response", static_cast<unsigned long>(timeout_))
                : "select(): timeout waiting slave response";
        return 0;
    }
    // TCP may split a reply: gather the header, then as much as its length field announces
    // (bounded by the buffer), until the time-out.
    int got = socket_.RecvAll(reply_, 7, timeout_);
    if (got < 0) {
        errorText_ = std::string(ModbusTcpCodeText(kRecvError)) + ":" + socket_.LastErrorText();
        return kRecvError;
    }
    size_t received = static_cast<size_t>(got);
    if (received == 7) {
        const size_t announced = static_cast<size_t>(reply_[4] << 8 | reply_[5]);
        const size_t rest = std::min(announced > 0 ? announced - 1 : 0, kReplyBufferSize - 7);
        got = socket_.RecvAll(reply_ + 7, rest, timeout_);
        if (got < 0) {
            errorText_ = std::string(ModbusTcpCodeText(kRecvError)) + ":" + socket_.LastErrorText();
            return kRecvError;
        }
        received += static_cast<size_t>(got);
    }
    ChannelTraceBytes("Recv ", reply_, received);
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
    if (reply_[0] != request_[0] || reply_[1] != request_[1]) {
        errorText_ = ModbusTcpCodeText(kWrongTransaction);
        return kWrongTransaction;
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
