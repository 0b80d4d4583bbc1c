#pragma once
// Messages between the communication-server client and the server, encoded and decoded
// here only. Every message: u32 length of what follows, u8 kind, u32 sequence, payload.
// Numbers are little-endian; texts are u16 length and bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace gvt {

enum class Kind : uint8_t {
    Login = 1,  // u16 libraries; per library: text name, u16 functions; per function: text name, u32 word
    Call =
        2,  // u32 handle, u16 first word, u32 second word, u32 function id, u32 answer size, u32 n, n bytes
    Logout = 3,          // u32 handle
    LoginReply = 0x81,   // u32 result, u32 handle, u16 libraries; per library u16 functions, u32 id each
    CallReply = 0x82,    // u32 result, u32 n, n bytes
    LogoutReply = 0x83,  // u32 result
    Event = 0x90,        // u32 handle, u32 event, u16 code, u32 param, u32 n, n bytes
};

constexpr size_t kHeaderSize = 9;        // length, kind, sequence
constexpr uint32_t kMaxBody = 1u << 20;  // larger messages are refused
constexpr uint32_t kNoFunction = 0xFFFFFFFFu;

class Writer {
  public:
    Writer(Kind kind, uint32_t sequence) {
        U32(0);
        U8(static_cast<uint8_t>(kind));
        U32(sequence);
    }
    void U8(uint8_t v) { bytes_.push_back(v); }
    void U16(uint16_t v) {
        for (int i = 0; i < 2; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    void U32(uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    void Text(const std::string& s) {
        const size_t n = s.size() > 0xFFFF ? 0xFFFF : s.size();
        U16(static_cast<uint16_t>(n));
        bytes_.insert(bytes_.end(), s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n));
    }
    void Bytes(const void* data, size_t n) {
        U32(static_cast<uint32_t>(n));
        const auto* p = static_cast<const uint8_t*>(data);
        if (n) bytes_.insert(bytes_.end(), p, p + n);
    }
    // The finished message with its length filled in.
    const std::vector<uint8_t>& Finish() {
        const uint32_t n = static_cast<uint32_t>(bytes_.size() - 4);
        for (int i = 0; i < 4; ++i) bytes_[static_cast<size_t>(i)] = static_cast<uint8_t>(n >> (8 * i));
        return bytes_;
    }

  private:
    std::vector<uint8_t> bytes_;
};

// Reads a message body; any read past its end sets the failed flag and gives zeros.
class Reader {
  public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Failed() const { return failed_; }
    bool AtEnd() const { return pos_ == size_; }
    uint8_t U8() {
        if (!Need(1)) return 0;
        return data_[pos_++];
    }
    uint16_t U16() {
        if (!Need(2)) return 0;
        const uint16_t v = static_cast<uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
        pos_ += 2;
        return v;
    }
    uint32_t U32() {
        if (!Need(4)) return 0;
        uint32_t v = 0;
        for (int i = 3; i >= 0; --i) v = (v << 8) | data_[pos_ + static_cast<size_t>(i)];
        pos_ += 4;
        return v;
    }
    std::string Text() {
        const uint16_t n = U16();
        if (!Need(n)) return {};
        std::string s(reinterpret_cast<const char*>(data_ + pos_), n);
        pos_ += n;
        return s;
    }
    // A counted byte run: pointer into the body and its length (null on failure).
    const uint8_t* Bytes(uint32_t& n) {
        n = U32();
        if (!Need(n)) {
            n = 0;
            return nullptr;
        }
        const uint8_t* p = data_ + pos_;
        pos_ += n;
        return p;
    }

  private:
    bool Need(size_t n) {
        if (failed_ || size_ - pos_ < n) {
            failed_ = true;
            return false;
        }
        return true;
    }
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    bool failed_ = false;
};

// Splits the fixed header of a message; false when the length is out of range.
inline bool ParseHeader(const uint8_t header[kHeaderSize], uint32_t& bodySize, Kind& kind,
                        uint32_t& sequence) {
    const uint32_t length = static_cast<uint32_t>(header[0] | (header[1] << 8) | (header[2] << 16)) |
                            (static_cast<uint32_t>(header[3]) << 24);
    if (length < 5 || length - 5 > kMaxBody) return false;
    bodySize = length - 5;
    kind = static_cast<Kind>(header[4]);
    sequence = static_cast<uint32_t>(header[5] | (header[6] << 8) | (header[7] << 16)) |
               (static_cast<uint32_t>(header[8]) << 24);
    return true;
}

}  // namespace gvt
