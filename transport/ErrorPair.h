#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace transport {

// The error pair a communication object keeps for its callers: a code and a last-error
// text of at most 255 bytes, cut without splitting a UTF-8 sequence. The engine owns one
// per channel list and hands it to the channels, which fill it on protocol failures.
struct CErrorPair {
    static constexpr size_t kMaxText = 255;

    int32_t code = 0;
    std::string text;

    void Clear() {
        code = 0;
        text.clear();
    }
    void Set(int32_t newCode, std::string_view newText) {
        code = newCode;
        SetText(newText);
    }
    void SetText(std::string_view newText);
};

// Keeps an owner's error pair (when there is one) across an exchange whose failure must
// not show.
class OwnerErrorGuard {
  public:
    explicit OwnerErrorGuard(CErrorPair* owner) : owner_(owner) {
        if (owner_) saved_ = *owner_;
    }
    ~OwnerErrorGuard() {
        if (owner_) *owner_ = saved_;
    }
    OwnerErrorGuard(const OwnerErrorGuard&) = delete;
    OwnerErrorGuard& operator=(const OwnerErrorGuard&) = delete;

  private:
    CErrorPair* owner_;
    CErrorPair saved_;
};

// A channel's last result while no transfer has happened since the node guard armed it.
constexpr uint32_t kNothingHappened = 1234321;

// Cuts text to at most maxBytes without splitting a UTF-8 sequence.
std::string CutUtf8(std::string_view text, size_t maxBytes);

}  // namespace transport
