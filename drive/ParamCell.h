#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/GroupRecords.h"

namespace drive {

// Read status shared by every cached drive cell.
enum : uint8_t {
    kCellValid = 0,
    kCellNonexistent = 1,
    kCellReadError = 2,
    kCellNotRead = 3,
};

// Base of all cached drive cells.
class CParamBase {
  public:
    CParamBase() = default;
    CParamBase(const CParamBase&) = default;
    CParamBase& operator=(const CParamBase&) = default;
    virtual ~CParamBase() = default;
};

// A cached 32-bit drive value. It is the engine's cell holder itself, so that group reads store
// their value and status straight into the cell and post the cell's address with a change.
class CParamDw : public CParamBase, public engine::CCellHolder {
  public:
    CParamDw() { status = kCellNotRead; }
    CParamDw(const CParamDw& other) : CParamBase(other), engine::CCellHolder() { CopyFrom(other); }
    CParamDw& operator=(const CParamDw& other) {
        if (this != &other) CopyFrom(other);
        return *this;
    }
    ~CParamDw() override = default;

    // Item size in bytes times two, plus 1 when the item is signed.
    static uint8_t MakeSizeSign(uint32_t sizeBytes, bool isSigned) {
        return static_cast<uint8_t>(sizeBytes * 2 + (isSigned ? 1 : 0));
    }
    uint32_t ItemSize() const { return sizeSign >> 1; }
    bool IsSigned() const { return (sizeSign & 1) != 0; }

    bool IsValid() const { return status == kCellValid; }
    void SetRead(uint32_t v) {
        value = v;
        status = kCellValid;
    }

    // Kept apart from the holder's report word: the engine must report every cell's change,
    // whatever tag the drive object dispatches on.
    uint32_t userTag = 0;
    uint8_t sizeSign = 0;
    // Items longer than 4 bytes are read into the caller's buffer that this points to.
    void* data = nullptr;

  private:
    void CopyFrom(const CParamDw& other) {
        status = other.status;
        value = other.value;
        userTag = other.userTag;
        sizeSign = other.sizeSign;
        data = other.data;
    }
};

// A cached text drive value with a fixed, always present, zero-filled buffer.
class CParamChar : public CParamBase {
  public:
    static constexpr size_t kCapacity = 50;

    CParamChar() = default;
    CParamChar(const CParamChar& other) = default;
    CParamChar& operator=(const CParamChar& other) = default;
    ~CParamChar() override = default;

    // Stores the text cut to the buffer (the last byte stays a terminator), never splitting a
    // UTF-8 sequence; the rest of the buffer is zeroed.
    void SetText(const std::string_view text);
    std::string Text() const;
    char* Buffer() { return buffer_.data(); }
    const char* Buffer() const { return buffer_.data(); }
    size_t Capacity() const { return buffer_.size(); }

    uint8_t status = kCellNotRead;

  private:
    std::array<char, kCapacity> buffer_{};
};

}  // namespace drive
