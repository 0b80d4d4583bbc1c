#include "foundation/UTF16LE_TextFileWriter.h"

#include "foundation/TextCodec.h"

namespace foundation {

UTF16LE_TextFileWriter::UTF16LE_TextFileWriter(Sink sink, size_t bufferSize)
    : UTF16LE_TextFileWriter(std::move(sink), bufferSize, false) {}

UTF16LE_TextFileWriter::UTF16LE_TextFileWriter(Sink sink, size_t bufferSize, bool bigEndian)
    : TextFileWriter(std::move(sink), bufferSize), bigEndian_(bigEndian) {}

int UTF16LE_TextFileWriter::WriteUnits(const std::u16string& units) {
    bytes_.resize(units.size() * 2);
    for (size_t i = 0; i < units.size(); ++i) {
        const char low = static_cast<char>(units[i] & 0xFF);
        const char high = static_cast<char>(units[i] >> 8);
        bytes_[2 * i] = bigEndian_ ? high : low;
        bytes_[2 * i + 1] = bigEndian_ ? low : high;
    }
    return Put(bytes_.data(), bytes_.size());
}

int UTF16LE_TextFileWriter::WriteChar(unsigned character) {
    wide_.clear();
    textcodec::AppendUtf16(wide_, character);
    return WriteUnits(wide_);
}

int UTF16LE_TextFileWriter::Write(std::string_view text, int codePage, const char*, bool*) {
    wide_.clear();
    wide_.reserve(text.size());
    textcodec::ForEachCodePoint(text, codePage, [&](char32_t cp) { textcodec::AppendUtf16(wide_, cp); });
    return WriteUnits(wide_);
}

int UTF16LE_TextFileWriter::WriteByteOrderMark() {
    const char16_t mark = 0xFEFF;
    return WriteUnits(std::u16string(1, mark));
}

}  // namespace foundation
