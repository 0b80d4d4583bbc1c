#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace transport {

// The error pair a communication object keeps for its callers: a code and a last-error
// text of at most 255 bytes, cut without splitting a UTF-8 sequence. The engine owns one
// per channel list and hands it to the channels, which fill it on protocol failures from
// whatever thread runs the transfer (node guard, transfer threads, the caller) while other
// threads clear and read it: every access takes the pair's own lock.
class CErrorPair {
  public:
    static constexpr size_t kMaxText = 255;

    // A copy of code and text taken under one lock.
    struct Value {
        int32_t code = 0;
        std::string text;
    };

    CErrorPair() = default;
    CErrorPair(const CErrorPair&) = delete;
    CErrorPair& operator=(const CErrorPair&) = delete;

    void Clear();
    void Set(int32_t newCode, std::string_view newText);
    void SetCode(int32_t newCode);
    void SetText(std::string_view newText);
    int32_t Code() const;
    std::string Text() const;
    Value Get() const;
    void Restore(const Value& value);

  private:
    mutable std::mutex mutex_;
    int32_t code_ = 0;  // mutex_
    std::string text_;  // mutex_
};

// Keeps an owner's error pair (when there is one) across an exchange whose failure must
// not show.
class OwnerErrorGuard {
  public:
    explicit OwnerErrorGuard(CErrorPair* owner) : owner_(owner) {
        if (owner_) saved_ = owner_->Get();
    }
    ~OwnerErrorGuard() {
        if (owner_) owner_->Restore(saved_);
    }
    OwnerErrorGuard(const OwnerErrorGuard&) = delete;
    OwnerErrorGuard& operator=(const OwnerErrorGuard&) = delete;

  private:
    CErrorPair* owner_;
    CErrorPair::Value saved_;
};

// A channel's last result while no transfer has happened since the node guard armed it.
constexpr uint32_t kNothingHappened = 1234321;

// Cuts text to at most maxBytes without splitting a UTF-8 sequence.
std::string CutUtf8(std::string_view text, size_t maxBytes);

}  // namespace transport
