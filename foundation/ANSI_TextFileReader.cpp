#include "foundation/ANSI_TextFileReader.h"

#include "foundation/TextCodec.h"

namespace foundation {

namespace {
void ToCodePage(const std::string& bytes, std::string& out, int codePage) {
    if (codePage == kCodePage1252) {
        out = bytes;
    } else {
        out = platform::Cp1252ToUtf8(bytes);
    }
}
}  // namespace

ANSI_TextFileReader::ANSI_TextFileReader(platform::File& file, size_t bufferSize)
    : TextFileReader(file, bufferSize) {}

int ANSI_TextFileReader::ReadChar() {
    for (;;) {
        const int c = NextByte();
        if (c != '\r') return c;
    }
}

int ANSI_TextFileReader::ReadLine(std::string& out, int codePage, const char*, bool*) {
    std::string bytes;
    const int result = ReadByteLine(bytes);
    out.clear();
    if (result == 0) ToCodePage(bytes, out, codePage);
    return result;
}

int ANSI_TextFileReader::ReadAll(std::string& out, int codePage, const char*, bool*) {
    std::string bytes;
    const int result = ReadRest(bytes);
    out.clear();
    if (result < 0) return result;
    if (result == 0) return -1;
    ToCodePage(bytes, out, codePage);
    return result;
}

}  // namespace foundation
