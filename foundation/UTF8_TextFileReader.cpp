#include "foundation/UTF8_TextFileReader.h"

#include "foundation/TextCodec.h"

namespace foundation {

UTF8_TextFileReader::UTF8_TextFileReader(platform::File& file, size_t bufferSize)
    : TextFileReader(file, bufferSize) {}

int UTF8_TextFileReader::ReadChar() {
    for (;;) {
        const int c = NextByte();
        if (c != '\r') return c;
    }
}

int UTF8_TextFileReader::ReadLine(std::string& out, int codePage, const char* defaultChar,
                                  bool* usedDefault) {
    const int result = ReadByteLine(bytes_);
    out.clear();
    if (result == 0) textcodec::FileUtf8ToText(bytes_, out, codePage, defaultChar, usedDefault);
    return result;
}

int UTF8_TextFileReader::ReadAll(std::string& out, int codePage, const char* defaultChar, bool* usedDefault) {
    const int result = ReadRest(bytes_);
    out.clear();
    if (result < 0) return result;
    if (result == 0) return -1;
    if (codePage != kCodePage1252 && textcodec::IsWellFormedUtf8(bytes_)) {
        out.swap(bytes_);  // nothing to convert
    } else {
        textcodec::FileUtf8ToText(bytes_, out, codePage, defaultChar, usedDefault);
    }
    bytes_.clear();
    bytes_.shrink_to_fit();
    return static_cast<int>(out.size());
}

}  // namespace foundation
