#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/Messages.h"
#include "transport/ChannelTrace.h"
#include "transport/ModbusDomain.h"
#include "transport/ModbusSdo.h"

namespace transport {

// What the serial and the box channel share: SDO and domain transfers carried over the
// register exchanges each of them implements, the channel's error log and the owner's
// error pair. The engine calls these methods on the channels themselves.
class CModbusChannel : private CDomainChannel {
  public:
    ~CModbusChannel() override = default;
    CModbusChannel(const CModbusChannel&) = delete;
    CModbusChannel& operator=(const CModbusChannel&) = delete;

    // SDO transfers over registers; the two whole transfers keep their result.
    int SdoDownload(uint8_t slave, uint16_t address, uint32_t size, const void* data);
    int SdoUpload(uint8_t slave, uint16_t address, uint32_t expectedSize, void* buffer);
    int SdoInitiateDownload(uint8_t slave, uint16_t address, uint32_t size, const void* data);
    int SdoDownloadSegment(uint8_t slave, const uint8_t* data, int n, bool last);
    int SdoAbort(uint8_t slave, uint16_t address);
    int SdoInitiateUpload(uint8_t slave, uint16_t address, void* buffer, uint32_t* size);
    int SdoUploadSegment(uint8_t slave, uint8_t* data, int* n, bool* last);
    int SdoRecover(uint8_t slave);

    // Domain transfers; see DomainTransferArgs for the arguments. UploadFile and
    // DownloadFile also leave a failure in the owner's error pair, and an upload larger
    // than the caller's buffer is fetched whole and its head kept.
    int UploadFileFrames(uint16_t address, void* destination, uint32_t* size, uint32_t flags,
                         const std::atomic<uint32_t>* abort, platform::WindowHandle window, unsigned message,
                         uint32_t progressOffset, uint8_t slave);
    int DownloadFileFrames(uint16_t address, const void* source, uint32_t* size, uint32_t flags,
                           const std::atomic<uint32_t>* abort, platform::WindowHandle window,
                           unsigned message, uint32_t progressOffset, uint8_t slave);
    int UploadFile(uint16_t address, void* destination, uint32_t* size, uint32_t flags,
                   const std::atomic<uint32_t>* abort, platform::WindowHandle window, unsigned message,
                   uint32_t progressOffset, uint8_t slave);
    int DownloadFile(uint16_t address, const void* source, uint32_t* size, uint32_t flags,
                     const std::atomic<uint32_t>* abort, platform::WindowHandle window, unsigned message,
                     uint32_t progressOffset, uint8_t slave);

    uint32_t LastResult() const { return lastResult_; }
    int ChannelIndex() const { return channelIndex_; }
    const std::string& ErrorLogPath() const { return errorLog_.Path(); }

  protected:
    CModbusChannel(CErrorPair* owner, int channelIndex) : owner_(owner), channelIndex_(channelIndex) {}

    // The text of a failed file transfer, as the owner's error pair gets it.
    virtual std::string TransferFailureText(int code) = 0;

    CErrorPair* OwnerError() override { return owner_; }

    CErrorPair* owner_;
    int channelIndex_;
    CChannelErrorLog errorLog_;
    uint32_t lastResult_ = kNothingHappened;

  private:
    int FinishTransfer(int rc);

    CModbusSdo sdo_{*this};
    CModbusDomain domain_{*this};
};

}  // namespace transport
