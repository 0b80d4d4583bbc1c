#include "drive/NumberText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

namespace drive {

std::string DriveFormatFixed(double value, int decimals) {
    decimals = std::clamp(decimals, 0, 30);
    // The integer part of a double has at most 309 digits.
    char buffer[400];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (r.ec != std::errc()) return std::string();
    return std::string(buffer, r.ptr);
}

double DriveParseNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    double value = 0.0;
    const auto r = std::from_chars(text.data() + i, text.data() + text.size(), value);
    if (r.ec == std::errc::invalid_argument) return 0.0;
    // Out of range: from_chars leaves the value alone; atof gives an infinity or zero.
    if (r.ec == std::errc::result_out_of_range) {
        const std::string_view digits = text.substr(i, static_cast<size_t>(r.ptr - (text.data() + i)));
        const size_t e = digits.find_first_of("eE");
        const bool tiny = e != std::string_view::npos && e + 1 < digits.size() && digits[e + 1] == '-';
        value = tiny ? 0.0 : HUGE_VAL;
    }
    return negative ? -value : value;
}

namespace {
long long Saturate(double value, long long min, long long max) {
    if (std::isnan(value)) return 0;
    if (value <= static_cast<double>(min)) return min;
    if (value >= static_cast<double>(max)) return max;
    return static_cast<long long>(value);
}
}  // namespace

long long DriveRoundHalfAway(double value, long long min, long long max) {
    return Saturate(value < 0 ? value - 0.5 : value + 0.5, min, max);
}

long long DriveTruncate(double value, long long min, long long max) {
    return Saturate(value, min, max);
}

}  // namespace drive
