#include "foundation/TextCodec.h"

#include <cstring>

namespace foundation {

namespace textcodec {

size_t ValidSequence(const unsigned char* s, size_t available) {
    const unsigned char c = s[0];
    if (c < 0x80) return 1;
    size_t length;
    unsigned char low = 0x80, high = 0xBF;  // range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0) low = 0xA0;
        if (c == 0xED) high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0) low = 0x90;
        if (c == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (available < length) return 0;
    if (s[1] < low || s[1] > high) return 0;
    for (size_t i = 2; i < length; ++i) {
        if ((s[i] & 0xC0) != 0x80) return 0;
    }
    return length;
}

char32_t DecodeSequence(const unsigned char* s, size_t length) {
    switch (length) {
        case 1:
            return s[0];
        case 2:
            return static_cast<char32_t>(((s[0] & 0x1F) << 6) | (s[1] & 0x3F));
        case 3:
            return static_cast<char32_t>(((s[0] & 0x0F) << 12) | ((s[1] & 0x3F) << 6) | (s[2] & 0x3F));
        default:
            return static_cast<char32_t>(((s[0] & 0x07) << 18) | ((s[1] & 0x3F) << 12) |
                                         ((s[2] & 0x3F) << 6) | (s[3] & 0x3F));
    }
}

namespace {

void AppendOnCodePage(std::string& out, char32_t cp, int codePage, const char* defaultChar, bool* usedDefault,
                      bool replaced) {
    if (codePage == 1252) {
        const int byte = replaced ? -1 : platform::CodePointToCp1252(cp);
        if (byte >= 0) {
            out += static_cast<char>(byte);
            return;
        }
        if (usedDefault) *usedDefault = true;
        out += (defaultChar && *defaultChar) ? defaultChar : "?";
        return;
    }
    if (replaced) {
        if (usedDefault) *usedDefault = true;
        if (defaultChar && *defaultChar) {
            out += defaultChar;
            return;
        }
    }
    AppendUtf8(out, cp);
}

}  // namespace

namespace {
// Offset of the first byte that starts no well-formed sequence, or n.
size_t FirstInvalid(const unsigned char* s, size_t n, size_t i) {
    while (i < n) {
        // Eight ASCII bytes at a time.
        while (i + 8 <= n) {
            uint64_t word;
            std::memcpy(&word, s + i, 8);
            if (word & 0x8080808080808080ull) break;
            i += 8;
        }
        if (i >= n) break;
        if (s[i] < 0x80) {
            ++i;
            continue;
        }
        const size_t length = ValidSequence(s + i, n - i);
        if (length == 0) return i;
        i += length;
    }
    return n;
}
}  // namespace

bool IsWellFormedUtf8(std::string_view bytes) {
    return FirstInvalid(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), 0) ==
           bytes.size();
}

void FileUtf8ToText(std::string_view bytes, std::string& out, int codePage, const char* defaultChar,
                    bool* usedDefault) {
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    out.clear();
    size_t i = 0;
    if (codePage != 1252) {
        size_t bad = FirstInvalid(s, n, 0);
        if (bad == n) {
            out.assign(bytes.data(), n);
            return;
        }
        out.reserve(n + 16);
        size_t run = 0;
        while (bad < n) {
            out.append(bytes.data() + run, bad - run);
            out += "\xEF\xBF\xBD";
            run = bad + 1;
            bad = FirstInvalid(s, n, run);
        }
        out.append(bytes.data() + run, n - run);
        return;
    }
    out.reserve(n);
    while (i < n) {
        const size_t length = ValidSequence(s + i, n - i);
        if (length == 0) {
            AppendOnCodePage(out, kReplacement, codePage, defaultChar, usedDefault, false);
            ++i;
        } else {
            AppendOnCodePage(out, DecodeSequence(s + i, length), codePage, defaultChar, usedDefault, false);
            i += length;
        }
    }
}

void Utf16ToText(std::u16string_view units, std::string& out, int codePage, const char* defaultChar,
                 bool* usedDefault) {
    out.clear();
    const size_t n = units.size();
    if (codePage != 1252) {
        // Straight into a buffer of the largest size (3 bytes per unit), trimmed at the end.
        out.resize(n * 3);
        char* o = out.data();
        for (size_t i = 0; i < n; ++i) {
            const char32_t u = units[i];
            if (u < 0xD800 || u > 0xDFFF) {
                o = platform::PutUtf8(o, u);
            } else {
                std::string piece;
                if (u <= 0xDBFF && i + 1 < n && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
                    AppendUtf8(piece, 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00));
                    ++i;
                } else {
                    AppendOnCodePage(piece, kReplacement, codePage, defaultChar, usedDefault, true);
                }
                const size_t at = static_cast<size_t>(o - out.data());
                if (at + piece.size() + 3 * (n - i) > out.size()) out.resize(at + piece.size() + 3 * (n - i));
                o = out.data() + at;
                std::memcpy(o, piece.data(), piece.size());
                o += piece.size();
            }
        }
        out.resize(static_cast<size_t>(o - out.data()));
        return;
    }
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        const char16_t u = units[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            const char32_t cp =
                0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            AppendOnCodePage(out, cp, codePage, defaultChar, usedDefault, false);
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            AppendOnCodePage(out, kReplacement, codePage, defaultChar, usedDefault, true);
        } else {
            AppendOnCodePage(out, u, codePage, defaultChar, usedDefault, false);
        }
    }
}

}  // namespace textcodec

}  // namespace foundation
