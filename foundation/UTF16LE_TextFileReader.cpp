#include "foundation/UTF16LE_TextFileReader.h"

#include "foundation/TextCodec.h"

namespace foundation {

UTF16LE_TextFileReader::UTF16LE_TextFileReader(platform::File& file, size_t bufferSize)
    : UTF16LE_TextFileReader(file, bufferSize, false) {}

UTF16LE_TextFileReader::UTF16LE_TextFileReader(platform::File& file, size_t bufferSize, bool bigEndian)
    : TextFileReader(file, bufferSize), bigEndian_(bigEndian) {}

int UTF16LE_TextFileReader::NextUnit() {
    const int first = NextByte();
    if (first < 0) return first;
    const int second = NextByte();
    if (second == -2) return -2;
    if (second < 0) return -1;  // an odd last byte is no character
    return bigEndian_ ? (first << 8) | second : (second << 8) | first;
}

int UTF16LE_TextFileReader::ReadChar() {
    for (;;) {
        const int unit = NextUnit();
        if (unit != '\r') return unit;
    }
}

int UTF16LE_TextFileReader::ReadLine(std::string& out, int codePage, const char* defaultChar,
                                     bool* usedDefault) {
    wide_.clear();
    out.clear();
    bool any = false;
    for (;;) {
        const int unit = NextUnit();
        if (unit == -2) return -2;
        if (unit == -1) break;
        any = true;
        if (unit == '\n') {
            if (!wide_.empty() && wide_.back() == u'\r') wide_.pop_back();
            break;
        }
        wide_ += static_cast<char16_t>(unit);
    }
    if (!any) return -1;
    textcodec::Utf16ToText(wide_, out, codePage, defaultChar, usedDefault);
    return 0;
}

int UTF16LE_TextFileReader::ReadAll(std::string& out, int codePage, const char* defaultChar,
                                    bool* usedDefault) {
    std::string bytes;
    const int result = ReadRest(bytes);
    out.clear();
    if (result < 0) return result;
    if (result < 2) return -1;
    const size_t units = bytes.size() / 2;
    wide_.resize(units);
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    if (bigEndian_) {
        for (size_t i = 0; i < units; ++i) wide_[i] = static_cast<char16_t>((b[2 * i] << 8) | b[2 * i + 1]);
    } else {
        for (size_t i = 0; i < units; ++i) wide_[i] = static_cast<char16_t>((b[2 * i + 1] << 8) | b[2 * i]);
    }
    bytes.clear();
    bytes.shrink_to_fit();
    textcodec::Utf16ToText(wide_, out, codePage, defaultChar, usedDefault);
    wide_.clear();
    wide_.shrink_to_fit();
    return static_cast<int>(units);
}

}  // namespace foundation
