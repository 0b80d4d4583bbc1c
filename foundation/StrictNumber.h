#pragma once

// Whole-text decimal number readers used where a malformed number must be refused rather than
// half-read (identity and version texts, value texts).

#include <charconv>
#include <cstdint>
#include <string_view>

#include "platform/StringHelpers.h"

namespace foundation {

namespace strict_number {

// The whole text is an optional '-' followed by decimal digits that fit T.
template <class T>
bool ParseDecimal(std::string_view text, T* value) {
    if (text.empty()) return false;
    if (text.front() == '+') return false;
    T parsed{};
    const char* first = text.data();
    const char* last = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(first, last, parsed, 10);
    if (ec != std::errc() || ptr != last) return false;
    *value = parsed;
    return true;
}

inline bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0';
}

// The text without blanks (and terminating zeros) at either end.
inline std::string_view Trim(std::string_view text) {
    return platform::TrimView(text, std::string_view(" \t\r\n\0", 5));
}

}  // namespace strict_number

}  // namespace foundation
