#pragma once

#include <cstdint>
#include <string>

#include "transport/ErrorPair.h"

namespace transport {

// What the SDO, domain and identification layers need from a Modbus channel. The serial
// and the box channel implement it over their own exchanges; results are 0 for success
// and the channel's failure code otherwise.
class CModbusRegisterAccess {
  public:
    virtual ~CModbusRegisterAccess() = default;

    virtual int RegConnect() = 0;
    // buffer holds count little-endian 16-bit values (or the wire bytes in raw order).
    virtual int RegRead(uint8_t slave, uint16_t address, uint16_t count, void* buffer) = 0;
    virtual int RegWrite(uint8_t slave, uint16_t address, uint16_t count, const void* data) = 0;
    virtual int RegWriteSingle(uint8_t slave, uint16_t address, uint16_t value) = 0;
    // The failing code an SDO transfer reports for a failed exchange (box: -1).
    virtual int SdoFailure(int code) { return code; }
    // Serial: the initiate download runs with a longer receive time-out.
    virtual void SdoBeginInitiateDownload() {}
    virtual void SdoEndInitiateDownload() {}
    // Serial: an upload with an initiate response runs with one attempt per exchange.
    virtual void SdoBeginUpload() {}
    virtual void SdoEndUpload() {}
    virtual CErrorPair* OwnerError() = 0;
};

}  // namespace transport
