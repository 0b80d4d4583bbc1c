#include "foundation/UTF8_TextFileWriter.h"

#include "foundation/TextCodec.h"

namespace foundation {

UTF8_TextFileWriter::UTF8_TextFileWriter(Sink sink, size_t bufferSize)
    : TextFileWriter(std::move(sink), bufferSize) {}

int UTF8_TextFileWriter::WriteChar(unsigned character) {
    std::string bytes;
    textcodec::AppendUtf8(bytes, character);
    return Put(bytes.data(), bytes.size());
}

int UTF8_TextFileWriter::Write(std::string_view text, int codePage, const char*, bool*) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    if (codePage != 1252) {
        // Well-formed text goes out as it is; only stray bytes need a conversion.
        size_t i = 0;
        while (i < n && (s[i] < 0x80 || textcodec::ValidSequence(s + i, n - i) != 0)) {
            i += s[i] < 0x80 ? 1 : textcodec::ValidSequence(s + i, n - i);
        }
        if (i == n) return Put(text.data(), n);
    }
    std::string bytes;
    bytes.reserve(n + n / 8);
    textcodec::ForEachCodePoint(text, codePage, [&](char32_t cp) { textcodec::AppendUtf8(bytes, cp); });
    return Put(bytes.data(), bytes.size());
}

int UTF8_TextFileWriter::WriteByteOrderMark() {
    return Put("\xEF\xBB\xBF", 3);
}

}  // namespace foundation
