#pragma once

#include <cstdint>

#include "transport/ModbusRegisterAccess.h"

namespace transport {

// CANopen SDO transfers carried in four holding registers at a variable's register
// address (expedited and segmented, both directions). One per channel; the state belongs
// to the transfer in progress and a new initiate resets it.
class CModbusSdo {
  public:
    static constexpr uint32_t kAbortCode = 0x08000000;

    explicit CModbusSdo(CModbusRegisterAccess& channel) : channel_(channel) {}

    int Download(uint8_t slave, uint16_t address, uint32_t size, const void* data);
    int Upload(uint8_t slave, uint16_t address, uint32_t expectedSize, void* buffer);

    int InitiateDownload(uint8_t slave, uint16_t address, uint32_t size, const void* data);
    int DownloadSegment(uint8_t slave, const uint8_t* data, int n, bool last);
    int Abort(uint8_t slave, uint16_t address);
    // size: in the expected size, out the size the drive announced.
    int InitiateUpload(uint8_t slave, uint16_t address, void* buffer, uint32_t* size);
    // data: 7 bytes; n and last from the segment's command byte.
    int UploadSegment(uint8_t slave, uint8_t* data, int* n, bool* last);
    int Recover(uint8_t slave);

    uint16_t DownloadAddress() const { return downloadAddress_; }
    uint16_t UploadAddress() const { return uploadAddress_; }
    uint8_t DownloadToggle() const { return downloadToggle_; }
    uint8_t UploadToggle() const { return uploadToggle_; }

  private:
    int UploadInner(uint8_t slave, uint16_t address, uint32_t expectedSize, void* buffer, bool& readInitiate);

    CModbusRegisterAccess& channel_;
    uint16_t downloadAddress_ = 0;
    uint16_t uploadAddress_ = 0;
    uint8_t downloadToggle_ = 0;
    uint8_t uploadToggle_ = 0;
};

}  // namespace transport
