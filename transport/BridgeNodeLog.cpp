#include "transport/BridgeNodeLog.h"

#include <charconv>

#include "platform/CodePage.h"

namespace transport {

namespace {

// The number at the start of text (leading blanks and a sign allowed); none when there is none.
std::optional<long long> LeadingNumber(const std::string& text) {
    size_t at = 0;
    while (at < text.size() && text[at] == ' ') ++at;
    if (at < text.size() && text[at] == '+') ++at;
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data() + at, text.data() + text.size(), value);
    (void)end;
    if (error == std::errc::result_out_of_range) return text.find('-') != std::string::npos ? -1 : 1LL << 40;
    if (error != std::errc()) return std::nullopt;
    return value;
}

}  // namespace

bool CBridgeNodeLog::StartCapture(size_t size, const std::string& firstLine) {
    std::lock_guard lock(mutex_);
    if (capturing_) return false;
    size_ = size < kMinimumSize ? kMinimumSize : size;
    text_.clear();
    text_.reserve(size_);
    text_ = firstLine.substr(0, platform::Utf8SafeCut(firstLine, size_));
    capturing_ = true;
    fresh_ = true;
    return true;
}

void CBridgeNodeLog::StopCapture() {
    std::lock_guard lock(mutex_);
    capturing_ = false;
    fresh_ = false;
    text_.clear();
}

bool CBridgeNodeLog::Capturing() const {
    std::lock_guard lock(mutex_);
    return capturing_;
}

void CBridgeNodeLog::NoteError(const std::string& line) {
    ++errors_;
    std::lock_guard lock(mutex_);
    if (!capturing_ || text_.size() >= size_) return;
    const std::string whole = line + "\r\n";
    text_ += whole.substr(0, platform::Utf8SafeCut(whole, size_ - text_.size()));
    fresh_ = true;
}

std::optional<std::string> CBridgeNodeLog::TakeNewText() {
    std::lock_guard lock(mutex_);
    if (!fresh_) return std::nullopt;
    fresh_ = false;
    return text_;
}

size_t LogBufferSize(const std::string& text) {
    const std::optional<long long> value = LeadingNumber(text);
    if (!value || *value < static_cast<long long>(CBridgeNodeLog::kMinimumSize))
        return CBridgeNodeLog::kMinimumSize;
    // A capture is a text area's worth, not an allocation the user may blow up.
    constexpr long long kLargest = 16 * 1024 * 1024;
    return static_cast<size_t>(*value > kLargest ? kLargest : *value);
}

uint8_t BridgeLogLevel(const std::string& text) {
    const std::optional<long long> value = LeadingNumber(text);
    if (!value || *value < 1) return 1;
    return static_cast<uint8_t>(*value > 255 ? 255 : *value);
}

}  // namespace transport
