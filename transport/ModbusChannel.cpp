#include "transport/ModbusChannel.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "transport/ModbusCodes.h"

namespace transport {

int CModbusChannel::SdoDownload(uint8_t slave, uint16_t address, uint32_t size, const void* data) {
    const int rc = sdo_.Download(slave, address, size, data);
    lastResult_ = static_cast<uint32_t>(rc);
    return rc;
}

int CModbusChannel::SdoUpload(uint8_t slave, uint16_t address, uint32_t expectedSize, void* buffer) {
    const int rc = sdo_.Upload(slave, address, expectedSize, buffer);
    lastResult_ = static_cast<uint32_t>(rc);
    return rc;
}

int CModbusChannel::SdoInitiateDownload(uint8_t slave, uint16_t address, uint32_t size, const void* data) {
    return sdo_.InitiateDownload(slave, address, size, data);
}
int CModbusChannel::SdoDownloadSegment(uint8_t slave, const uint8_t* data, int n, bool last) {
    return sdo_.DownloadSegment(slave, data, n, last);
}
int CModbusChannel::SdoAbort(uint8_t slave, uint16_t address) {
    return sdo_.Abort(slave, address);
}
int CModbusChannel::SdoInitiateUpload(uint8_t slave, uint16_t address, void* buffer, uint32_t* size) {
    return sdo_.InitiateUpload(slave, address, buffer, size);
}
int CModbusChannel::SdoUploadSegment(uint8_t slave, uint8_t* data, int* n, bool* last) {
    return sdo_.UploadSegment(slave, data, n, last);
}
int CModbusChannel::SdoRecover(uint8_t slave) {
    return sdo_.Recover(slave);
}

int CModbusChannel::UploadFileFrames(uint16_t address, void* destination, uint32_t* size, uint32_t flags,
                                     const std::atomic<uint32_t>* abort, platform::WindowHandle window,
                                     unsigned message, uint32_t progressOffset, uint8_t slave) {
    DomainTransferArgs args{address, destination, size, flags, abort, window, message, progressOffset, slave};
    return domain_.UploadFrames(args);
}

int CModbusChannel::DownloadFileFrames(uint16_t address, const void* source, uint32_t* size, uint32_t flags,
                                       const std::atomic<uint32_t>* abort, platform::WindowHandle window,
                                       unsigned message, uint32_t progressOffset, uint8_t slave) {
    DomainTransferArgs args{
        address, const_cast<void*>(source), size, flags, abort, window, message, progressOffset, slave};
    return domain_.DownloadFrames(args);
}

int CModbusChannel::UploadFile(uint16_t address, void* destination, uint32_t* size, uint32_t flags,
                               const std::atomic<uint32_t>* abort, platform::WindowHandle window,
                               unsigned message, uint32_t progressOffset, uint8_t slave) {
    const uint32_t capacity = size ? *size : 0;
    int rc =
        UploadFileFrames(address, destination, size, flags, abort, window, message, progressOffset, slave);
    if (rc == domain_code::kUploadBufferTooSmall && size && destination) {
        // The drive holds more than the caller has room for: fetch it whole, keep the head.
        uint32_t total = *size;
        if (total <= kMaxDomainAllocation) {
            std::vector<uint8_t> whole(total);
            rc = UploadFileFrames(address, whole.data(), &total, flags, abort, window, message,
                                  progressOffset, slave);
            if (rc == 0) {
                std::memcpy(destination, whole.data(), std::min(capacity, total));
                *size = std::min(capacity, total);
            }
        }
    }
    return FinishTransfer(rc);
}

int CModbusChannel::DownloadFile(uint16_t address, const void* source, uint32_t* size, uint32_t flags,
                                 const std::atomic<uint32_t>* abort, platform::WindowHandle window,
                                 unsigned message, uint32_t progressOffset, uint8_t slave) {
    return FinishTransfer(
        DownloadFileFrames(address, source, size, flags, abort, window, message, progressOffset, slave));
}

int CModbusChannel::FinishTransfer(int rc) {
    if (rc != 0) {
        const std::string text = TransferFailureText(rc);
        if (owner_) owner_->Set(rc, text);
    }
    return rc;
}

}  // namespace transport
