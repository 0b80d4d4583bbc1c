#include "platform/CodePage.h"

#include <cstdint>

namespace platform {
namespace {

// Unicode of Windows-1252 bytes 0x80..0x9F; the undefined bytes keep their C1 control.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one sequence at pos; invalid or truncated input gives U+FFFD and skips one byte.
char32_t DecodeUtf8(std::string_view s, size_t& pos) {
    const auto b0 = static_cast<unsigned char>(s[pos]);
    if (b0 < 0x80) {
        ++pos;
        return b0;
    }
    size_t len;
    char32_t cp;
    char32_t min;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2;
        cp = b0 & 0x1F;
        min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3;
        cp = b0 & 0x0F;
        min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4;
        cp = b0 & 0x07;
        min = 0x10000;
    } else {
        ++pos;
        return kReplacement;
    }
    if (pos + len > s.size()) {
        ++pos;
        return kReplacement;
    }
    for (size_t i = 1; i < len; ++i) {
        const auto b = static_cast<unsigned char>(s[pos + i]);
        if ((b & 0xC0) != 0x80) {
            ++pos;
            return kReplacement;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++pos;
        return kReplacement;
    }
    pos += len;
    return cp;
}

template <class GetUnit>
std::string Utf16UnitsToUtf8(size_t count, GetUnit unit) {
    std::string out;
    out.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        char32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 1 < count) {
                const char32_t lo = unit(i + 1);
                if (lo >= 0xDC00 && lo <= 0xDFFF) {
                    AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
                    ++i;
                    continue;
                }
            }
            u = kReplacement;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            u = kReplacement;
        }
        AppendUtf8(out, u);
    }
    return out;
}

std::string Utf8ToUtf16Bytes(std::string_view text, bool bigEndian) {
    const std::u16string units = Utf8ToUtf16(text);
    std::string out;
    out.reserve(units.size() * 2);
    for (char16_t u : units) {
        const char lo = static_cast<char>(u & 0xFF);
        const char hi = static_cast<char>(u >> 8);
        if (bigEndian) {
            out += hi;
            out += lo;
        } else {
            out += lo;
            out += hi;
        }
    }
    return out;
}

}  // namespace

void AppendUtf8(std::string& out, char32_t cp) {
    char bytes[4];
    out.append(bytes, PutUtf8(bytes, cp));
}

void AppendUtf16(std::u16string& out, char32_t cp) {
    if (cp > 0x10FFFF) cp = kReplacement;
    if (cp < 0x10000) {
        out += static_cast<char16_t>(cp);
    } else {
        cp -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (cp >> 10));
        out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    }
}

char32_t Cp1252ToCodePoint(unsigned char byte) {
    if (byte >= 0x80 && byte < 0xA0) return kHigh[byte - 0x80];
    return byte;
}

int CodePointToCp1252(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
    for (int i = 0; i < 32; ++i) {
        if (kHigh[i] == cp) return 0x80 + i;
    }
    return -1;
}

std::string Cp1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) AppendUtf8(out, Cp1252ToCodePoint(static_cast<unsigned char>(c)));
    return out;
}

std::string Utf8ToCp1252(std::string_view text, char replacement) {
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) {
        // Invalid sequences decode to U+FFFD, which has no byte either.
        const int b = CodePointToCp1252(DecodeUtf8(text, pos));
        out += b < 0 ? replacement : static_cast<char>(b);
    }
    return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) AppendUtf16(out, DecodeUtf8(text, pos));
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    return Utf16UnitsToUtf8(text.size(), [&](size_t i) { return static_cast<char32_t>(text[i]); });
}

std::string Utf16LeBytesToUtf8(std::string_view bytes) {
    return Utf16UnitsToUtf8(bytes.size() / 2, [&](size_t i) {
        return static_cast<char32_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    });
}

std::string Utf16BeBytesToUtf8(std::string_view bytes) {
    return Utf16UnitsToUtf8(bytes.size() / 2, [&](size_t i) {
        return static_cast<char32_t>((static_cast<unsigned char>(bytes[2 * i]) << 8) |
                                     static_cast<unsigned char>(bytes[2 * i + 1]));
    });
}

std::string Utf8ToUtf16LeBytes(std::string_view text) {
    return Utf8ToUtf16Bytes(text, false);
}
std::string Utf8ToUtf16BeBytes(std::string_view text) {
    return Utf8ToUtf16Bytes(text, true);
}

size_t Utf8SafeCut(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes) return text.size();
    size_t cut = maxBytes;
    // Back up over continuation bytes to the lead byte of the sequence that straddles the cut.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return cut;
}

bool IsValidUtf8(std::string_view text) {
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t start = pos;
        const char32_t cp = DecodeUtf8(text, pos);
        if (cp == kReplacement && pos == start + 1) return false;
    }
    return true;
}

}  // namespace platform
