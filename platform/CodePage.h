#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// Windows-1252 ("ANSI" on disk) <-> UTF-8 (in memory). The five bytes that
// Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1
// controls of the same number so that every byte survives a round trip.
std::string Cp1252ToUtf8(std::string_view bytes);
// Characters without a Windows-1252 byte (and invalid UTF-8) become replacement.
std::string Utf8ToCp1252(std::string_view text, char replacement = '?');
// Unicode code point -> Windows-1252 byte; -1 when there is none.
int CodePointToCp1252(char32_t cp);
char32_t Cp1252ToCodePoint(unsigned char byte);

// One code point as UTF-8 at out (room for 4 bytes); the end of what was written. A value
// beyond U+10FFFF, which has no character, becomes U+FFFD.
inline char* PutUtf8(char* out, char32_t cp) {
    if (cp > 0x10FFFF) cp = 0xFFFD;
    if (cp < 0x80) {
        *out++ = static_cast<char>(cp);
    } else if (cp < 0x800) {
        *out++ = static_cast<char>(0xC0 | (cp >> 6));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (cp >> 12));
        *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (cp >> 18));
        *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

// One code point appended as UTF-8 or UTF-16; a value beyond U+10FFFF becomes U+FFFD.
void AppendUtf8(std::string& out, char32_t cp);
void AppendUtf16(std::u16string& out, char32_t cp);

// Invalid UTF-8 and lone surrogates become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
// Byte-serialised UTF-16 (an odd last byte is ignored).
std::string Utf16LeBytesToUtf8(std::string_view bytes);
std::string Utf16BeBytesToUtf8(std::string_view bytes);
std::string Utf8ToUtf16LeBytes(std::string_view text);
std::string Utf8ToUtf16BeBytes(std::string_view text);

// Longest prefix of at most maxBytes that does not split a UTF-8 sequence.
size_t Utf8SafeCut(std::string_view text, size_t maxBytes);
bool IsValidUtf8(std::string_view text);

}  // namespace platform
