#pragma once
#include <cstddef>
#include <cstdint>

namespace packages {

// Bounded reads of 16- and 32-bit numbers from a byte range in a given byte order. Every read
// checks the range: offsets and counts in package files come from the file and are never trusted.
class ByteCursor {
  public:
    ByteCursor(const uint8_t* data, size_t size, bool bigEndian)
        : data_(data), size_(size), big_(bigEndian) {}

    size_t Size() const { return size_; }
    bool Has(size_t offset, size_t length) const { return offset <= size_ && length <= size_ - offset; }

    bool U8(size_t offset, uint8_t& out) const {
        if (!Has(offset, 1)) return false;
        out = data_[offset];
        return true;
    }
    bool U16(size_t offset, uint16_t& out) const {
        if (!Has(offset, 2)) return false;
        const uint8_t* p = data_ + offset;
        out = big_ ? uint16_t(p[0] << 8 | p[1]) : uint16_t(p[1] << 8 | p[0]);
        return true;
    }
    bool U32(size_t offset, uint32_t& out) const {
        if (!Has(offset, 4)) return false;
        const uint8_t* p = data_ + offset;
        out = big_ ? (uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3])
                   : (uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0]);
        return true;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    bool big_;
};

}  // namespace packages
