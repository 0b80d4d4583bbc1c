#include "foundation/SharedUtilities.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "platform/CodePage.h"
#include "platform/File.h"
#include "platform/SystemError.h"

namespace foundation {

void FormatErrorMessageBuf(uint32_t code, char* buffer, size_t maxLength) {
    if (!buffer) return;
    const std::string text = FormatErrorMessage(code);
    const size_t n = platform::Utf8SafeCut(text, maxLength);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

std::string FormatErrorMessage(uint32_t code) {
    if (code > static_cast<uint32_t>(INT_MAX)) return {};
    return platform::SystemErrorText(static_cast<int>(code));
}

int CreateDirectoryTree(const char* path) {
    if (!path || !*path) return 0;
    const int error = platform::MakeFolder(path);
    if (error == 0) return 1;
    if (error == EEXIST) {
        // Something of that name exists: only a folder (or a link to one) counts.
        return platform::IsFolder(path) ? 1 : 0;
    }
    if (error != ENOENT) return 0;
    const std::string text(path);
    const size_t slash = text.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return 0;
    const std::string parent = text.substr(0, slash);
    if (!CreateDirectoryTree(parent.c_str())) return 0;
    const int again = platform::MakeFolder(path);
    if (again == 0) return 1;
    // "a/b/": the parent was "a/b" itself.
    return again == EEXIST && platform::IsFolder(path) ? 1 : 0;
}

bool IsNumberText(bool hexadecimal, const std::string& text) {
    // What "%ld"/"%lx" accept to read one value: white space, a sign, one digit.
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (i >= text.size()) return false;
    const char c = text[i];
    if (c >= '0' && c <= '9') return true;
    return hexadecimal && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'));
}

size_t HexDump(const uint8_t* data, char* out, size_t outSize, size_t count) {
    if (!out || outSize == 0) return 0;
    if (!data) count = 0;
    const size_t n = count < (outSize - 1) / 3 ? count : (outSize - 1) / 3;
    static const char kDigits[] = "0123456789ABCDEF";
    for (size_t i = 0; i < n; ++i) {
        out[3 * i] = kDigits[data[i] >> 4];
        out[3 * i + 1] = kDigits[data[i] & 0x0F];
        out[3 * i + 2] = ' ';
    }
    out[3 * n] = '\0';
    return 3 * n;
}

std::unique_ptr<platform::Bitmap> ReplaceBitmapColor(const platform::Bitmap* bitmap, platform::COLORREF from,
                                                     platform::COLORREF to) {
    if (!bitmap || !bitmap->IsValid()) return nullptr;
    auto copy = std::make_unique<platform::Bitmap>(*bitmap);
    const uint32_t oldPixel = platform::ColorRefToPixel(from);
    const uint32_t newPixel = platform::ColorRefToPixel(to);
    for (uint32_t& p : copy->pixels) {
        if ((p & 0x00FFFFFFu) == oldPixel) p = newPixel;
    }
    return copy;
}

namespace {

constexpr int kPad = 64;
constexpr int kSkip = -1;

int SymbolValue(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    if (c == '=') return kPad;
    return kSkip;
}

// Groups the symbols by four and hands each group (with the number of bytes it
// carries) to pack. Padding ends the decoding; a final group cut short without
// padding gives the whole bytes its symbols hold.
template <class Pack>
std::vector<uint8_t> Decode(std::string_view text, Pack pack) {
    std::vector<uint8_t> out;
    out.reserve(text.size() / 4 * 3 + 2);
    int v[4];
    int have = 0;
    for (char c : text) {
        const int value = SymbolValue(c);
        if (value == kSkip) continue;
        v[have++] = value;
        if (have < 4) continue;
        have = 0;
        if (v[0] == kPad || v[1] == kPad) return out;
        if (v[3] == kPad) {
            const int bytes = v[2] == kPad ? 1 : 2;
            if (v[2] == kPad) v[2] = 0;
            v[3] = 0;
            pack(v, bytes, out);
            return out;
        }
        if (v[2] == kPad) v[2] = 0;
        pack(v, 3, out);
    }
    if (have >= 2 && v[0] != kPad && v[1] != kPad) {
        if (have == 3 && v[2] == kPad) have = 2;
        for (int i = have; i < 4; ++i) v[i] = 0;
        pack(v, have - 1, out);
    }
    return out;
}

}  // namespace

std::vector<uint8_t> Base64Decode(std::string_view text) {
    return Decode(text, [](const int* v, int bytes, std::vector<uint8_t>& out) {
        const uint8_t b[3] = {static_cast<uint8_t>((v[0] << 2) | (v[1] >> 4)),
                              static_cast<uint8_t>((v[1] << 4) | (v[2] >> 2)),
                              static_cast<uint8_t>((v[2] << 6) | v[3])};
        out.insert(out.end(), b, b + bytes);
    });
}

std::vector<uint8_t> Base64DecodeLsbFirst(std::string_view text) {
    return Decode(text, [](const int* v, int bytes, std::vector<uint8_t>& out) {
        const uint32_t word = static_cast<uint32_t>(v[0]) | (static_cast<uint32_t>(v[1]) << 6) |
                              (static_cast<uint32_t>(v[2]) << 12) | (static_cast<uint32_t>(v[3]) << 18);
        const uint8_t b[3] = {static_cast<uint8_t>(word & 0xFF), static_cast<uint8_t>((word >> 8) & 0xFF),
                              static_cast<uint8_t>((word >> 16) & 0xFF)};
        out.insert(out.end(), b, b + bytes);
    });
}

}  // namespace foundation
