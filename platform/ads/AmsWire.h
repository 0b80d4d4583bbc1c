#pragma once

// AMS/TCP frames: a 6-byte TCP prefix (two reserved bytes, the length of what follows), the
// 32-byte AMS header and the command data. Every field is little-endian. Encoded and decoded
// here only; the client library, the simulated drive's server and the fuzz target share it.
// Header-only so that the client library stays one self-contained shared object.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace ams {

constexpr uint16_t kDefaultTcpPort = 48898;
constexpr size_t kTcpHeaderSize = 6;
constexpr size_t kAmsHeaderSize = 32;
// Larger frames are refused before anything is allocated for them.
constexpr uint32_t kMaxDataLength = 1u << 20;

enum Command : uint16_t {
    kReadDeviceInfo = 1,
    kRead = 2,
    kWrite = 3,
    kReadState = 4,
    kWriteControl = 5,
    kAddNotification = 6,
    kDeleteNotification = 7,
    kNotification = 8,
    kReadWrite = 9,
};

constexpr uint16_t kFlagResponse = 0x0001;
constexpr uint16_t kFlagAdsCommand = 0x0004;

struct NetId {
    uint8_t b[6] = {};
    bool operator==(const NetId&) const = default;
};

struct Header {
    NetId target;
    uint16_t targetPort = 0;
    NetId source;
    uint16_t sourcePort = 0;
    uint16_t command = 0;
    uint16_t flags = kFlagAdsCommand;
    uint32_t length = 0;  // of the data behind the header
    uint32_t error = 0;
    uint32_t invokeId = 0;
};

inline void PutU16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void PutU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void PutU64(std::vector<uint8_t>& out, uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline uint16_t GetU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint32_t GetU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline uint64_t GetU64(const uint8_t* p) {
    return static_cast<uint64_t>(GetU32(p)) | static_cast<uint64_t>(GetU32(p + 4)) << 32;
}

// A whole frame: TCP prefix, header (its length field set from data) and data.
inline std::vector<uint8_t> EncodeFrame(const Header& header, const uint8_t* data, size_t size) {
    std::vector<uint8_t> out;
    out.reserve(kTcpHeaderSize + kAmsHeaderSize + size);
    PutU16(out, 0);
    PutU32(out, static_cast<uint32_t>(kAmsHeaderSize + size));
    out.insert(out.end(), header.target.b, header.target.b + 6);
    PutU16(out, header.targetPort);
    out.insert(out.end(), header.source.b, header.source.b + 6);
    PutU16(out, header.sourcePort);
    PutU16(out, header.command);
    PutU16(out, header.flags);
    PutU32(out, static_cast<uint32_t>(size));
    PutU32(out, header.error);
    PutU32(out, header.invokeId);
    if (size) out.insert(out.end(), data, data + size);
    return out;
}
inline std::vector<uint8_t> EncodeFrame(const Header& header, const std::vector<uint8_t>& data) {
    return EncodeFrame(header, data.data(), data.size());
}

enum class FrameStatus { NeedMore, Complete, Bad };

// How much of a receive buffer the first frame takes. Bad when the TCP prefix is not that
// of an AMS command frame or announces a length that cannot hold a header or is too long.
inline FrameStatus PeekFrame(const uint8_t* bytes, size_t size, size_t* frameSize, std::string* error) {
    if (size < kTcpHeaderSize) return FrameStatus::NeedMore;
    if (GetU16(bytes) != 0) {
        if (error) *error = "not an AMS command frame";
        return FrameStatus::Bad;
    }
    const uint32_t length = GetU32(bytes + 2);
    if (length < kAmsHeaderSize) {
        if (error) *error = "AMS header truncated";
        return FrameStatus::Bad;
    }
    if (length - kAmsHeaderSize > kMaxDataLength) {
        if (error) *error = "AMS frame too long";
        return FrameStatus::Bad;
    }
    if (size < kTcpHeaderSize + length) return FrameStatus::NeedMore;
    *frameSize = kTcpHeaderSize + length;
    return FrameStatus::Complete;
}

// The header and data of one complete frame (as PeekFrame delimits it). False when the
// header's data length disagrees with the frame.
inline bool DecodeFrame(const uint8_t* frame, size_t size, Header* header, const uint8_t** data,
                        size_t* dataSize, std::string* error) {
    if (size < kTcpHeaderSize + kAmsHeaderSize) {
        if (error) *error = "AMS header truncated";
        return false;
    }
    const uint8_t* p = frame + kTcpHeaderSize;
    std::memcpy(header->target.b, p, 6);
    header->targetPort = GetU16(p + 6);
    std::memcpy(header->source.b, p + 8, 6);
    header->sourcePort = GetU16(p + 14);
    header->command = GetU16(p + 16);
    header->flags = GetU16(p + 18);
    header->length = GetU32(p + 20);
    header->error = GetU32(p + 24);
    header->invokeId = GetU32(p + 28);
    const size_t rest = size - kTcpHeaderSize - kAmsHeaderSize;
    if (header->length != rest) {
        if (error) *error = "AMS data length does not match the frame";
        return false;
    }
    *data = p + kAmsHeaderSize;
    *dataSize = rest;
    return true;
}

// Reply data of each command. Every decoder checks the lengths it reads against the data it
// was given; false means the reply is malformed.
struct ReadReply {
    uint32_t result = 0;
    uint32_t length = 0;
    const uint8_t* data = nullptr;
};

// Read and read-write replies: result, length, data (the data only when the result is 0).
inline bool DecodeReadReply(const uint8_t* p, size_t n, ReadReply* out) {
    if (n < 4) return false;
    out->result = GetU32(p);
    if (n < 8) return out->result != 0;  // an error reply may end after its result
    out->length = GetU32(p + 4);
    if (out->length > n - 8) return false;
    out->data = p + 8;
    return true;
}

inline bool DecodeResultReply(const uint8_t* p, size_t n, uint32_t* result) {
    if (n < 4) return false;
    *result = GetU32(p);
    return true;
}

struct StateReply {
    uint32_t result = 0;
    uint16_t adsState = 0;
    uint16_t deviceState = 0;
};
inline bool DecodeStateReply(const uint8_t* p, size_t n, StateReply* out) {
    if (n < 4) return false;
    out->result = GetU32(p);
    if (out->result != 0) return true;
    if (n < 8) return false;
    out->adsState = GetU16(p + 4);
    out->deviceState = GetU16(p + 6);
    return true;
}

struct DeviceInfoReply {
    uint32_t result = 0;
    uint8_t major = 0, minor = 0;
    uint16_t build = 0;
    char name[17] = {};  // 16 bytes on the wire, always terminated here
};
inline bool DecodeDeviceInfoReply(const uint8_t* p, size_t n, DeviceInfoReply* out) {
    if (n < 4) return false;
    out->result = GetU32(p);
    if (out->result != 0) return true;
    if (n < 24) return false;
    out->major = p[4];
    out->minor = p[5];
    out->build = GetU16(p + 6);
    std::memcpy(out->name, p + 8, 16);
    out->name[16] = '\0';
    return true;
}

struct HandleReply {
    uint32_t result = 0;
    uint32_t handle = 0;
};
inline bool DecodeHandleReply(const uint8_t* p, size_t n, HandleReply* out) {
    if (n < 4) return false;
    out->result = GetU32(p);
    if (out->result != 0) return true;
    if (n < 8) return false;
    out->handle = GetU32(p + 4);
    return true;
}

// A device notification: stamps of samples. The visitor gets (timestamp, handle, data, size)
// for every sample; false when a count or size runs past the data.
template <class Visit>
bool DecodeNotification(const uint8_t* p, size_t n, Visit&& visit) {
    if (n < 8) return false;
    const uint32_t length = GetU32(p);
    if (length != n - 4) return false;
    const uint32_t stamps = GetU32(p + 4);
    size_t at = 8;
    for (uint32_t s = 0; s < stamps; ++s) {
        if (n - at < 12) return false;
        const uint64_t timestamp = GetU64(p + at);
        const uint32_t samples = GetU32(p + at + 8);
        at += 12;
        for (uint32_t k = 0; k < samples; ++k) {
            if (n - at < 8) return false;
            const uint32_t handle = GetU32(p + at);
            const uint32_t size = GetU32(p + at + 4);
            at += 8;
            if (size > n - at) return false;
            visit(timestamp, handle, p + at, size);
            at += size;
        }
    }
    return at == n;
}

// Request data of each command.
inline std::vector<uint8_t> ReadRequest(uint32_t group, uint32_t offset, uint32_t length) {
    std::vector<uint8_t> out;
    PutU32(out, group);
    PutU32(out, offset);
    PutU32(out, length);
    return out;
}
inline std::vector<uint8_t> WriteRequest(uint32_t group, uint32_t offset, const uint8_t* data,
                                         uint32_t length) {
    std::vector<uint8_t> out = ReadRequest(group, offset, length);
    if (length) out.insert(out.end(), data, data + length);
    return out;
}
inline std::vector<uint8_t> ReadWriteRequest(uint32_t group, uint32_t offset, uint32_t readLength,
                                             const uint8_t* data, uint32_t writeLength) {
    std::vector<uint8_t> out = ReadRequest(group, offset, readLength);
    PutU32(out, writeLength);
    if (writeLength) out.insert(out.end(), data, data + writeLength);
    return out;
}

// "a.b.c.d.e.f" -> NetId; false unless six numbers of 0..255.
inline bool ParseNetId(const std::string& text, NetId* out) {
    NetId id;
    size_t at = 0;
    for (int i = 0; i < 6; ++i) {
        if (at >= text.size() || text[at] < '0' || text[at] > '9') return false;
        unsigned v = 0;
        int digits = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 4) {
            v = v * 10 + static_cast<unsigned>(text[at] - '0');
            ++at;
            ++digits;
        }
        if (v > 255) return false;
        id.b[i] = static_cast<uint8_t>(v);
        if (i < 5) {
            if (at >= text.size() || text[at] != '.') return false;
            ++at;
        }
    }
    if (at != text.size()) return false;
    *out = id;
    return true;
}

inline std::string NetIdText(const NetId& id) {
    std::string out;
    for (int i = 0; i < 6; ++i) {
        if (i) out.push_back('.');
        out += std::to_string(id.b[i]);
    }
    return out;
}

}  // namespace ams
