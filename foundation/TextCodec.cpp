#include "foundation/TextCodec.h"

#include <cstring>

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

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        if (cp > 0x10FFFF) {
            AppendUtf8(out, kReplacement);
            return;
        }
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void AppendUtf16(std::u16string& out, char32_t cp) {
    if (cp >= 0x10000 && cp <= 0x10FFFF) {
        out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
        out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
        out += static_cast<char16_t>(cp > 0x10FFFF ? kReplacement : cp);
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

void FileUtf8ToText(std::string_view bytes, std::string& out, int codePage, const char* defaultChar,
                    bool* usedDefault) {
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    out.clear();
    out.reserve(n);
    size_t i = 0;
    if (codePage != 1252) {
        // Fast path: copy runs of well-formed text at once.
        size_t run = 0;
        while (i < n) {
            if (s[i] < 0x80) {
                ++i;
                continue;
            }
            const size_t length = ValidSequence(s + i, n - i);
            if (length != 0) {
                i += length;
                continue;
            }
            out.append(bytes.data() + run, i - run);
            out += "\xEF\xBF\xBD";
            ++i;
            run = i;
        }
        out.append(bytes.data() + run, n - run);
        return;
    }
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
    out.reserve(units.size() + units.size() / 4);
    const size_t n = units.size();
    for (size_t i = 0; i < n; ++i) {
        const char16_t u = units[i];
        if (u < 0x80 && codePage != 1252) {
            out += static_cast<char>(u);
            continue;
        }
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
