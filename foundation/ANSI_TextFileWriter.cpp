#include "foundation/ANSI_TextFileWriter.h"

#include "foundation/TextCodec.h"

namespace foundation {

ANSI_TextFileWriter::ANSI_TextFileWriter(Sink sink, size_t bufferSize)
    : TextFileWriter(std::move(sink), bufferSize) {}

int ANSI_TextFileWriter::WriteChar(unsigned character) {
    const char byte = static_cast<char>(character & 0xFF);
    return Put(&byte, 1);
}

int ANSI_TextFileWriter::Write(std::string_view text, int codePage, const char* defaultChar,
                               bool* usedDefault) {
    if (codePage == 1252) return Put(text.data(), text.size());
    std::string bytes;
    bytes.reserve(text.size());
    const std::string replacement = (defaultChar && *defaultChar) ? defaultChar : "?";
    textcodec::ForEachCodePoint(text, codePage, [&](char32_t cp) {
        const int byte = platform::CodePointToCp1252(cp);
        if (byte >= 0) {
            bytes += static_cast<char>(byte);
        } else {
            bytes += replacement;
            if (usedDefault) *usedDefault = true;
        }
    });
    return Put(bytes.data(), bytes.size());
}

int ANSI_TextFileWriter::WriteByteOrderMark() {
    return 0;
}

}  // namespace foundation
