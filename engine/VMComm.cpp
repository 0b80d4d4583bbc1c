#include "engine/VMComm.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "engine/EngineLog.h"

namespace engine {

namespace {

constexpr const char* kCommandCell = "VmCommand";
constexpr const char* kAnswerCell = "VmAnswer";
constexpr int kLockLimitMs = 400;
constexpr size_t kHeader = 4;

}  // namespace

uint16_t CVMComm::Word(const uint8_t* p) const {
    return bigEndian_ ? static_cast<uint16_t>(p[0] << 8 | p[1]) : static_cast<uint16_t>(p[1] << 8 | p[0]);
}

void CVMComm::PutWord(uint8_t* p, uint16_t value) const {
    const uint8_t lo = static_cast<uint8_t>(value & 0xFF);
    const uint8_t hi = static_cast<uint8_t>(value >> 8);
    p[0] = bigEndian_ ? hi : lo;
    p[1] = bigEndian_ ? lo : hi;
}

int CVMComm::Init() {
    version_.Reset();
    protocolVersion_ = 0;
    maxMessageSize_ = 0;
    bigEndian_ = false;
    command_.assign(5, 0);  // the fifth byte is sent too: never uninitialised
    answer_.assign(255, 0);
    command_[0] = 1;
    command_[1] = 1;
    if (drive_.DownloadCell(kCommandCell, command_.data(), 5) < 0) return kWriteFailed;
    const int n = drive_.UploadCell(kAnswerCell, answer_.data(), static_cast<uint32_t>(answer_.size()));
    if (n < 0) return kReadFailed;
    sequence_ = 2;  // the opening exchange used 1
    const uint8_t* a = answer_.data();
    if (n < 12 || a[0] != 1 || a[1] != 1) return kBadAnswer;
    bigEndian_ = a[10] == 1;
    byte11_ = a[11];
    protocolVersion_ = Word(a + 4);
    if (protocolVersion_ >= 3) {
        maxMessageSize_ = 0;
        return kUnsupportedProtocol;
    }
    maxMessageSize_ = Word(a + 8);
    const uint16_t lengthWord = Word(a + 2);
    if (lengthWord < 14 || n < 18) {
        version_.Set(Word(a + 6), 0, 0, 0, 0);
        version_.majorOnly = true;
    } else {
        // Taken as they stand: the three words follow the drive's own order.
        auto raw = [a](int at) { return static_cast<int32_t>(a[at] | a[at + 1] << 8); };
        version_.Set(raw(12), raw(14), raw(16), 0, 0);
    }
    // A message always has room for its header.
    const size_t size = std::max<size_t>(maxMessageSize_, kHeader);
    answer_.assign(size, 0);
    command_.assign(size, 0);
    return 0;
}

int CVMComm::SendCommand(uint8_t command, const void* data, uint32_t length, void* answer,
                         uint32_t* answerLength, uint32_t answerCapacity) {
    if (answerLength) *answerLength = 0;
    using namespace std::chrono;
    const auto start = steady_clock::now();
    for (int expected = 0; !spin_.compare_exchange_weak(expected, 1); expected = 0) {
        if (steady_clock::now() - start >= milliseconds(kLockLimitMs)) return kBusy;
        std::this_thread::sleep_for(milliseconds(6));
    }
    const auto waitStart = steady_clock::now();
    while (busy_.load() > 0) {
        if (steady_clock::now() - waitStart >= milliseconds(kLockLimitMs)) {
            spin_.exchange(0);
            return kBusy;
        }
        std::this_thread::sleep_for(milliseconds(5));
    }
    busy_.fetch_add(1);
    spin_.exchange(0);

    const int rc = Exchange(command, data, length, answer, answerLength, answerCapacity);
    busy_.fetch_sub(1);
    if (rc != 0)
        EngineDebugLog(
            EngineFormat("VM command %d: error %d %s", command, rc, drive_.LastErrorText().c_str()));
    return rc;
}

int CVMComm::Exchange(uint8_t command, const void* data, uint32_t length, void* answer,
                      uint32_t* answerLength, uint32_t answerCapacity) {
    // Without Init no message size is known; a command longer than a message cannot be sent.
    if (command_.size() < kHeader || length > command_.size() - kHeader || length > 0xFFFF)
        return kWriteFailed;
    command_[0] = static_cast<uint8_t>(sequence_ & 0xFF);
    command_[1] = command;
    PutWord(&command_[2], static_cast<uint16_t>(length));
    if (length) std::memcpy(&command_[kHeader], data, length);
    if (drive_.DownloadCell(kCommandCell, command_.data(), static_cast<uint32_t>(kHeader + length)) < 0)
        return kWriteFailed;
    const int n = drive_.UploadCell(kAnswerCell, answer_.data(), static_cast<uint32_t>(answer_.size()));
    if (n < 0) return kReadFailed;
    if (n < static_cast<int>(kHeader)) return kBadAnswer;
    const uint8_t sent = static_cast<uint8_t>(sequence_ & 0xFF);
    ++sequence_;
    if (answer_[0] != sent || (answer_[1] & 0x7F) != (command & 0x7F)) return kBadAnswer;
    const uint16_t word = Word(&answer_[2]);
    if (answer_[1] & 0x80) {
        if (answer) std::memcpy(answer, &word, sizeof word);
        return kDriveError;
    }
    // The data length comes from the drive: never copy past what arrived or what the caller has.
    const uint32_t capacity = answerCapacity ? answerCapacity : maxMessageSize_;
    if (word > static_cast<uint32_t>(n) - kHeader || word > capacity) return kBadAnswer;
    if (word && answer) std::memcpy(answer, &answer_[kHeader], word);
    if (answerLength) *answerLength = word;
    return 0;
}

}  // namespace engine
