#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Bitmap.h"

namespace foundation {

// The system's message text for an error code (errno on this platform), cut to
// maxLength bytes (never inside a UTF-8 sequence) and terminated: the buffer holds
// maxLength + 1 bytes. Empty text for codes without a message.
void FormatErrorMessageBuf(uint32_t code, char* buffer, size_t maxLength);
std::string FormatErrorMessage(uint32_t code);

// Creates the folder and any missing parents ('/'-separated). Nonzero when the
// folder exists afterwards, 0 otherwise (what could be created stays).
int CreateDirectoryTree(const char* path);

// True when the text starts (after white space) with a number of the base; trailing
// characters are allowed ("12abc" is decimal), hexadecimal accepts a leading 0x.
bool IsNumberText(bool hexadecimal, const std::string& text);

// Writes "%02X " for as many bytes as fit with a terminator into out (outSize
// characters); returns the characters written (3 per byte).
size_t HexDump(const uint8_t* data, char* out, size_t outSize, size_t count);

// Copy of the bitmap in which every pixel of colour `from` becomes `to`; nullptr
// for a null or empty bitmap. The bitmap given is not changed.
std::unique_ptr<platform::Bitmap> ReplaceBitmapColor(const platform::Bitmap* bitmap, platform::COLORREF from,
                                                     platform::COLORREF to);

// Base64 (RFC 4648 alphabet); characters outside the alphabet are skipped.
std::vector<uint8_t> Base64Decode(std::string_view text);
// The same symbols, but each group of four 6-bit values is packed least significant
// first (the system's payload variant, not standard base64).
std::vector<uint8_t> Base64DecodeLsbFirst(std::string_view text);

}  // namespace foundation
