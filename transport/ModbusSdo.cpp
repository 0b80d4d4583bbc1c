#include "transport/ModbusSdo.h"

#include <algorithm>
#include <cstring>

#include "transport/ChannelTrace.h"
#include "transport/ModbusCodes.h"
#include "transport/ModbusTexts.h"
#include "transport/ModbusWire.h"

namespace transport {

namespace {

// Segment and abort frames travel with the two bytes of each register exchanged
// relative to the initiate frames.
void SwapPairs(uint8_t* frame) {
    for (int i = 0; i < 8; i += 2) std::swap(frame[i], frame[i + 1]);
}

void SetOwner(CErrorPair* owner, int32_t code, const std::string& text) {
    if (owner) owner->Set(code, text);
}

}  // namespace

int CModbusSdo::Download(uint8_t slave, uint16_t address, uint32_t size, const void* data) {
    const int connected = channel_.RegConnect();
    if (connected != 0) return connected;
    if (size == 0) return 0;
    const int rc = InitiateDownload(slave, address, size, data);
    if (rc != 0 || size <= 4) return rc;
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (uint32_t offset = 0; offset < size;) {
        const int n = static_cast<int>(std::min<uint32_t>(7, size - offset));
        const bool last = offset + static_cast<uint32_t>(n) == size;
        const int segment = DownloadSegment(slave, bytes + offset, n, last);
        if (segment != 0) return segment;
        offset += static_cast<uint32_t>(n);
    }
    return 0;
}

int CModbusSdo::InitiateDownload(uint8_t slave, uint16_t address, uint32_t size, const void* data) {
    if (size >= 1 && size <= 4) {
        uint8_t buffer[4] = {0, 0, 0, 0};
        std::memcpy(buffer, data, size);
        int rc;
        if (size <= 2)
            rc = channel_.RegWriteSingle(slave, address, static_cast<uint16_t>(buffer[0] + 256 * buffer[1]));
        else
            rc = channel_.RegWrite(slave, address, 2, buffer);
        return rc == 0 ? 0 : channel_.SdoFailure(rc);
    }
    uint8_t frame[8] = {0x21, static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8), 0};
    PutLe32(frame + 4, size);
    channel_.SdoBeginInitiateDownload();
    const int rc = channel_.RegWrite(slave, address, 4, frame);
    channel_.SdoEndInitiateDownload();
    if (rc != 0) {
        Abort(slave, address);
        return channel_.SdoFailure(rc);
    }
    downloadAddress_ = address;
    downloadToggle_ = 1;
    return 0;
}

int CModbusSdo::DownloadSegment(uint8_t slave, const uint8_t* data, int n, bool last) {
    n = std::clamp(n, 0, 7);
    downloadToggle_ ^= 1;
    uint8_t frame[8] = {};
    frame[0] = static_cast<uint8_t>(downloadToggle_ << 4 | (7 - n) << 1 | (last ? 1 : 0));
    std::memcpy(frame + 1, data, static_cast<size_t>(n));
    SwapPairs(frame);
    const int rc = channel_.RegWrite(slave, downloadAddress_, 4, frame);
    if (rc != 0) {
        Abort(slave, downloadAddress_);
        return channel_.SdoFailure(rc);
    }
    return 0;
}

int CModbusSdo::Abort(uint8_t slave, uint16_t address) {
    OwnerErrorGuard keep(channel_.OwnerError());
    uint8_t frame[8] = {0x80, static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8), 0};
    PutLe32(frame + 4, kAbortCode);
    SwapPairs(frame);
    const int rc = channel_.RegWrite(slave, address, 4, frame);
    return rc == 0 ? 0 : channel_.SdoFailure(rc);
}

int CModbusSdo::Recover(uint8_t slave) {
    OwnerErrorGuard keep(channel_.OwnerError());
    channel_.SdoEndUpload();
    uint8_t scratch[4];
    const int rc = channel_.RegRead(slave, 100, 2, scratch);
    return rc == 0 ? 0 : channel_.SdoFailure(rc);
}

int CModbusSdo::Upload(uint8_t slave, uint16_t address, uint32_t expectedSize, void* buffer) {
    const int connected = channel_.RegConnect();
    if (connected != 0) return connected;
    bool readInitiate = false;
    const int rc = UploadInner(slave, address, expectedSize, buffer, readInitiate);
    if (readInitiate) channel_.SdoEndUpload();
    return rc;
}

int CModbusSdo::InitiateUpload(uint8_t slave, uint16_t address, void* buffer, uint32_t* size) {
    CErrorPair* owner = channel_.OwnerError();
    const uint32_t expected = *size;
    if (expected >= 1 && expected <= 4) {
        // An odd size reads a whole register: pad locally, never past the caller's buffer.
        uint8_t local[4] = {};
        const int rc = channel_.RegRead(slave, address, static_cast<uint16_t>((expected + 1) / 2), local);
        if (rc != 0) return channel_.SdoFailure(rc);
        std::memcpy(buffer, local, expected);
        return 0;
    }
    channel_.SdoBeginUpload();
    uint8_t response[8] = {};
    const int rc = channel_.RegRead(slave, address, 4, response);
    if (rc != 0) {
        Recover(slave);
        return channel_.SdoFailure(rc);
    }
    const int specifier = response[0] >> 5;
    if (specifier == 2) {
        if (response[0] & 0x02) {
            const uint32_t length = (response[0] & 0x01) ? 4 - ((response[0] >> 2) & 3) : 4;
            *size = length;
            // Copy only what the caller has room for; a longer value fails the size check.
            if (length <= expected) std::memcpy(buffer, response + 4, length);
        } else {
            *size = (response[0] & 0x01) ? GetLe32(response + 4) : 0xFFFFFFFFu;
            uploadToggle_ = 1;
            uploadAddress_ = address;
        }
        return 0;
    }
    if (specifier == 4) {
        const uint32_t abortCode = GetLe32(response + 4);
        SetOwner(owner, static_cast<int32_t>(abortCode),
                 Format("Initiate SDO Upload: abort code received: %08xh", abortCode));
        return static_cast<int>(abortCode);
    }
    Recover(slave);
    SetOwner(owner, sdo_code::kWrongSpecifier + specifier,
             Format("Initiate SDO Upload response: wrong Server Command Specifier:%d expected 4", specifier));
    return sdo_code::kWrongSpecifier + specifier;
}

int CModbusSdo::UploadSegment(uint8_t slave, uint8_t* data, int* n, bool* last) {
    CErrorPair* owner = channel_.OwnerError();
    uint8_t response[8] = {};
    const int rc = channel_.RegRead(slave, uploadAddress_, 4, response);
    if (rc != 0) {
        Recover(slave);
        return channel_.SdoFailure(rc);
    }
    SwapPairs(response);
    const int specifier = response[0] >> 5;
    if (specifier == 4) {
        const uint32_t abortCode = GetLe32(response + 4);
        SetOwner(owner, static_cast<int32_t>(abortCode),
                 Format("Upload SDO Segment: abort code received: %08xh", abortCode));
        return static_cast<int>(abortCode);
    }
    if (specifier != 0) {
        Recover(slave);
        SetOwner(
            owner, sdo_code::kWrongSpecifier + specifier,
            Format("Upload SDO Segment response: wrong Server Command Specifier:%d expected 0", specifier));
        return sdo_code::kWrongSpecifier + specifier;
    }
    uploadToggle_ ^= 1;
    if (uploadToggle_ != ((response[0] >> 4) & 1)) {
        Recover(slave);
        SetOwner(owner, sdo_code::kWrongToggle, SdoCodeText(sdo_code::kWrongToggle));
        return sdo_code::kWrongToggle;
    }
    *n = 7 - ((response[0] >> 1) & 7);
    *last = (response[0] & 1) != 0;
    std::memcpy(data, response + 1, 7);
    return 0;
}

int CModbusSdo::UploadInner(uint8_t slave, uint16_t address, uint32_t expectedSize, void* buffer,
                            bool& readInitiate) {
    CErrorPair* owner = channel_.OwnerError();
    readInitiate = !(expectedSize >= 1 && expectedSize <= 4);
    uint32_t size = expectedSize;
    const int rc = InitiateUpload(slave, address, buffer, &size);
    if (rc != 0) return rc;
    auto sizeMismatch = [&](uint32_t driveSize) {
        SetOwner(owner, sdo_code::kSizeMismatch,
                 Format("%s: drive=%d byte <> configuration=%d byte", SdoCodeText(sdo_code::kSizeMismatch),
                        static_cast<int>(driveSize), static_cast<int>(expectedSize)));
        return sdo_code::kSizeMismatch;
    };
    if (size != expectedSize) return sizeMismatch(size);
    if (size < 5) return 0;
    auto* out = static_cast<uint8_t*>(buffer);
    uint32_t offset = 0;
    for (;;) {
        uint8_t data[7];
        int n = 0;
        bool last = false;
        const int segment = UploadSegment(slave, data, &n, &last);
        if (segment != 0) return segment;
        // A drive that sends more than it announced must not write past the buffer.
        if (offset + static_cast<uint32_t>(n) > expectedSize) {
            Recover(slave);
            return sizeMismatch(offset + static_cast<uint32_t>(n));
        }
        std::memcpy(out + offset, data, static_cast<size_t>(n));
        offset += static_cast<uint32_t>(n);
        if (last) break;
    }
    // Fewer bytes than announced would leave the rest of the value stale.
    if (offset != expectedSize) return sizeMismatch(offset);
    return 0;
}

}  // namespace transport
