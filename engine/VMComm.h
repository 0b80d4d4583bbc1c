#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/Version.h"

namespace engine {

// What the exchange with the drive's program virtual machine needs of the drive object: its
// multi-byte cell transfers and the text of their last failure.
class CVmCellAccess {
  public:
    virtual ~CVmCellAccess() = default;
    // 0 (or any non-negative value) on success, a negative code on failure.
    virtual int DownloadCell(const std::string& name, const void* data, uint32_t size) = 0;
    // Number of bytes read, or a negative code.
    virtual int UploadCell(const std::string& name, void* buffer, uint32_t bufferSize) = 0;
    virtual std::string LastErrorText() = 0;
};

// Commands and answers of the drive's program virtual machine, carried by the drive variables
// "VmCommand" and "VmAnswer" over whatever channel the drive is connected by.
class CVMComm {
  public:
    static constexpr int kUnsupportedProtocol = -9;
    static constexpr int kBadAnswer = -10;
    static constexpr int kDriveError = -11;
    static constexpr int kWriteFailed = -12;
    static constexpr int kReadFailed = -13;
    static constexpr int kBusy = -14;

    explicit CVMComm(CVmCellAccess& drive) : drive_(drive) {}
    CVMComm(const CVMComm&) = delete;
    CVMComm& operator=(const CVMComm&) = delete;

    // The opening exchange (command 1): protocol version, maximum message size, byte order and
    // the machine's version.
    int Init();

    // One command. answerLength is 0 first; on success it receives the answer's data length and
    // the data goes to answer (at most answerCapacity bytes; the maximum message size when 0).
    // An error answer leaves the drive's 16-bit code in the first two bytes of answer.
    int SendCommand(uint8_t command, const void* data, uint32_t length, void* answer, uint32_t* answerLength,
                    uint32_t answerCapacity = 0);

    const foundation::CVersion& Version() const { return version_; }
    uint16_t ProtocolVersion() const { return protocolVersion_; }
    uint16_t MaxMessageSize() const { return maxMessageSize_; }
    bool BigEndian() const { return bigEndian_; }
    uint8_t AnswerByte11() const { return byte11_; }
    uint32_t Sequence() const { return sequence_; }

  private:
    uint16_t Word(const uint8_t* p) const;
    void PutWord(uint8_t* p, uint16_t value) const;
    int Exchange(uint8_t command, const void* data, uint32_t length, void* answer, uint32_t* answerLength,
                 uint32_t answerCapacity);

    CVmCellAccess& drive_;
    std::atomic<int> spin_{0};
    std::atomic<int> busy_{0};
    uint32_t sequence_ = 1;
    std::vector<uint8_t> answer_;
    std::vector<uint8_t> command_;
    uint8_t byte11_ = 0;
    foundation::CVersion version_;
    uint16_t protocolVersion_ = 0;
    uint16_t maxMessageSize_ = 0;
    bool bigEndian_ = false;
};

}  // namespace engine
