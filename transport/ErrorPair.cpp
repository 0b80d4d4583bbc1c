#include "transport/ErrorPair.h"

namespace transport {

std::string CutUtf8(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes) return std::string(text);
    size_t cut = maxBytes;
    // Step back over continuation bytes so that the cut lands on a sequence start.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return std::string(text.substr(0, cut));
}

void CErrorPair::Clear() {
    std::lock_guard lock(mutex_);
    code_ = 0;
    text_.clear();
}

void CErrorPair::Set(int32_t newCode, std::string_view newText) {
    std::string cut = CutUtf8(newText, kMaxText);
    std::lock_guard lock(mutex_);
    code_ = newCode;
    text_ = std::move(cut);
}

void CErrorPair::SetCode(int32_t newCode) {
    std::lock_guard lock(mutex_);
    code_ = newCode;
}

void CErrorPair::SetText(std::string_view newText) {
    std::string cut = CutUtf8(newText, kMaxText);
    std::lock_guard lock(mutex_);
    text_ = std::move(cut);
}

int32_t CErrorPair::Code() const {
    std::lock_guard lock(mutex_);
    return code_;
}

std::string CErrorPair::Text() const {
    std::lock_guard lock(mutex_);
    return text_;
}

CErrorPair::Value CErrorPair::Get() const {
    std::lock_guard lock(mutex_);
    return {code_, text_};
}

void CErrorPair::Restore(const Value& value) {
    std::lock_guard lock(mutex_);
    code_ = value.code;
    text_ = value.text;
}

}  // namespace transport
