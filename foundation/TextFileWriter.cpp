#include "foundation/TextFileWriter.h"

#include <cstring>

namespace foundation {

TextFileWriter::TextFileWriter(Sink sink, size_t bufferSize)
    : sink_(std::move(sink)), bufferSize_(bufferSize ? bufferSize : 4096) {}

TextFileWriter::~TextFileWriter() = default;

int TextFileWriter::WriteChar(unsigned) {
    return -2;
}

int TextFileWriter::Write(std::string_view, int, const char*, bool*) {
    return -2;
}

int TextFileWriter::WriteByteOrderMark() {
    return 0;
}

int TextFileWriter::Put(const void* data, size_t length) {
    if (buffer_.size() != bufferSize_) buffer_.resize(bufferSize_);
    const char* bytes = static_cast<const char*>(data);
    while (length > 0) {
        if (fill_ == bufferSize_) {
            if (!sink_ || !sink_(buffer_.data(), fill_)) return -2;
            fill_ = 0;
        }
        const size_t piece = std::min(length, bufferSize_ - fill_);
        std::memcpy(buffer_.data() + fill_, bytes, piece);
        fill_ += piece;
        bytes += piece;
        length -= piece;
    }
    return 0;
}

int TextFileWriter::Flush() {
    if (fill_ == 0) return 0;
    const bool ok = sink_ && sink_(buffer_.data(), fill_);
    fill_ = 0;
    return ok ? 0 : -2;
}

}  // namespace foundation
