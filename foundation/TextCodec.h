#pragma once
// Conversions shared by the text file readers and writers (no class: helpers of that family).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/CodePage.h"

namespace foundation {

namespace textcodec {

constexpr char32_t kReplacement = 0xFFFD;

// Length of the well-formed UTF-8 sequence at s (1..4), or 0 when the bytes there are not one
// (bad lead byte, missing or bad continuation, overlong form, surrogate, beyond U+10FFFF).
size_t ValidSequence(const unsigned char* s, size_t available);
char32_t DecodeSequence(const unsigned char* s, size_t length);
using platform::AppendUtf16;
using platform::AppendUtf8;

bool IsWellFormedUtf8(std::string_view bytes);
// UTF-8 bytes from a file to the code page's 8-bit side; a byte that starts no well-formed
// sequence becomes U+FFFD (it never swallows the bytes after it).
void FileUtf8ToText(std::string_view bytes, std::string& out, int codePage, const char* defaultChar,
                    bool* usedDefault);
// UTF-16 units to the 8-bit side; a lone surrogate becomes the default character (U+FFFD in
// UTF-8 when none is given).
void Utf16ToText(std::u16string_view units, std::string& out, int codePage, const char* defaultChar,
                 bool* usedDefault);
// Text on the 8-bit side, one code point at a time. With code page 0 a byte that starts no
// well-formed UTF-8 sequence is taken as the Latin-1 character of that byte, so that stray
// 8-bit bytes keep their meaning instead of being lost.
template <class Emit>
void ForEachCodePoint(std::string_view text, int codePage, Emit emit);

}  // namespace textcodec

}  // namespace foundation

#include "foundation/TextCodecImpl.h"
