#pragma once

#include <string>
#include <string_view>

namespace platform {

// The blanks of the C locale.
inline constexpr std::string_view kBlanks = " \t\r\n\v\f";

// The text without any of the given characters at either end.
std::string_view TrimView(std::string_view text, std::string_view blanks = kBlanks);
std::string Trim(std::string_view text, std::string_view blanks = kBlanks);

// ASCII letters in lower case; every other byte (UTF-8 sequences included) as it is.
std::string Lower(std::string_view text);

}  // namespace platform
