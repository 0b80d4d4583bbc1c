#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/Messages.h"
#include "transport/ModbusRegisterAccess.h"

namespace transport {

// Flags of a domain transfer call.
constexpr uint32_t kDomainFileName = 0x1;    // destination/source is a file name (const char*)
constexpr uint32_t kDomainFileHandle = 0x2;  // a pointer to an open file descriptor (int*)
constexpr uint32_t kDomainQuiet = 0x4;       // no start, phase, end or error messages
// Largest buffer a transfer allocates for a size the drive announced.
constexpr uint32_t kMaxDomainAllocation = 64u * 1024 * 1024;
// Longest block time-out a drive may ask for; a silent drive must not hold the line for days.
constexpr uint32_t kMaxDomainTimeout = 60000;

// Progress message codes (wParam) of a domain transfer.
enum DomainProgress : uintptr_t {
    kDomainStart = 10,
    kDownloadProgress = 11,
    kDownloadEnd = 12,
    kDownloadError = 13,
    kDownloadPhase = 14,
    kUploadProgress = 21,
    kUploadEnd = 22,
    kUploadError = 23,
    kUploadPhase = 24,
};

// Where a transfer posts its progress and what may cancel it.
struct DomainTransferArgs {
    uint16_t address = 0;
    void* target = nullptr;  // buffer, const char* file name or int* descriptor (see flags)
    uint32_t* size = nullptr;
    uint32_t flags = 0;
    const std::atomic<uint32_t>* abort = nullptr;
    platform::WindowHandle window = 0;
    unsigned message = 0;
    uint32_t progressOffset = 0;
    uint8_t slave = 0;
};

// What the domain protocol needs of a channel beyond its register exchanges.
class CDomainChannel : public CModbusRegisterAccess {
  public:
    // Serial: the port must be open and its mutex is held for the whole transfer.
    virtual int DomainBegin() = 0;
    virtual void DomainEnd() = 0;
    virtual void SetRawWordOrder(bool raw) = 0;
    virtual bool RawWordOrder() const = 0;
    // The program's receive time-out announced in the start blocks.
    virtual uint32_t DomainReceiveTimeout() const = 0;
    virtual void ApplyDomainTimeout(uint32_t ms) = 0;
    virtual void RestoreDomainTimeout() = 0;
    virtual int SendTerminate(uint8_t slave, uint16_t address) = 0;
    virtual int WriteEmptyBlock(uint8_t slave, uint16_t address) = 0;
    // Serial: an exception reply to the start block (the drive lacks the protocol).
    virtual bool IsStartRefused(int code) const = 0;
    virtual uint8_t DefaultSlave() const = 0;
    virtual void SetDomainResult(int code) = 0;
};

// The block protocol of domain uploads and downloads over one holding register.
class CModbusDomain {
  public:
    static constexpr uint32_t kMaxUploadBlock = 250;
    static constexpr uint32_t kMaxDownloadBlock = 246;

    explicit CModbusDomain(CDomainChannel& channel) : channel_(channel) {}

    int UploadFrames(const DomainTransferArgs& args);
    int DownloadFrames(const DomainTransferArgs& args);

  private:
    // Begins a transfer on the channel (raw word order, the channel's lock on a serial
    // line), runs body(slave, silentEnd) and ends it; silentEnd keeps the channel's result.
    template <class Body>
    int Run(const DomainTransferArgs& args, uintptr_t errorEvent, Body body);
    int UploadLocked(const DomainTransferArgs& args, uint8_t slave, uint32_t& done);
    int DownloadLocked(const DomainTransferArgs& args, uint8_t slave, uint32_t& done, bool& silentEnd);
    void Post(const DomainTransferArgs& args, uintptr_t event, intptr_t value, bool always = false);

    CDomainChannel& channel_;
};

}  // namespace transport
