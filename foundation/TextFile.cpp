#include "foundation/TextFile.h"

#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>

#include "foundation/ANSI_TextFileReader.h"
#include "foundation/ANSI_TextFileWriter.h"
#include "foundation/TextCodec.h"
#include "foundation/UTF16BE_TextFileReader.h"
#include "foundation/UTF16BE_TextFileWriter.h"
#include "foundation/UTF16LE_TextFileReader.h"
#include "foundation/UTF16LE_TextFileWriter.h"
#include "foundation/UTF8_TextFileReader.h"
#include "foundation/UTF8_TextFileWriter.h"
#include "platform/AtomicFile.h"
#include "platform/CodePage.h"
#include "platform/SystemError.h"

namespace foundation {

namespace {

// Reads the file to its end into a buffer of its own (not zero-filled first); a file of known
// size takes one read. 0, or the errno value of a failed read (ENOMEM when no memory is left).
int ReadToEnd(platform::File& file, std::unique_ptr<char[]>& data, size_t& size) {
    size_t capacity = 64 * 1024;
    if (const int64_t known = file.Size(); known > 0) {
        capacity = static_cast<size_t>(known) + 1;  // the extra byte sees the end at once
    }
    data.reset(new (std::nothrow) char[capacity]);
    size = 0;
    if (!data) return ENOMEM;
    for (;;) {
        if (size == capacity) {  // the file grew while being read
            std::unique_ptr<char[]> larger(new (std::nothrow) char[2 * capacity]);
            if (!larger) return ENOMEM;
            std::memcpy(larger.get(), data.get(), size);
            data = std::move(larger);
            capacity *= 2;
        }
        const int64_t n = file.ReadSome(data.get() + size, capacity - size);
        if (n < 0) return file.LastError();
        if (n == 0) return 0;
        size += static_cast<size_t>(n);
    }
}

// UTF-16 units in either byte order to UTF-8, as textcodec::Utf16ToText does for code page 0 (a
// lone surrogate becomes U+FFFD). out has room for 3 bytes per unit; gives the length written.
size_t Utf16BytesToUtf8(const unsigned char* in, size_t units, bool bigEndian, char* out) {
    const int high = bigEndian ? 0 : 1;
    const int low = 1 - high;
    auto unitAt = [&](size_t i) -> char32_t {
        return static_cast<char32_t>((in[2 * i + high] << 8) | in[2 * i + low]);
    };
    char* o = out;
    size_t i = 0;
    while (i < units) {
        if constexpr (std::endian::native == std::endian::little) {
            // Four ASCII units at a time: each has a zero high byte and a low byte below 0x80.
            const uint64_t notAscii = bigEndian ? 0x80FF80FF80FF80FFull : 0xFF80FF80FF80FF80ull;
            while (i + 4 <= units) {
                uint64_t word;
                std::memcpy(&word, in + 2 * i, 8);
                if (word & notAscii) break;
                o[0] = static_cast<char>(in[2 * i + low]);
                o[1] = static_cast<char>(in[2 * i + 2 + low]);
                o[2] = static_cast<char>(in[2 * i + 4 + low]);
                o[3] = static_cast<char>(in[2 * i + 6 + low]);
                o += 4;
                i += 4;
            }
            if (i >= units) break;
        }
        const char32_t u = unitAt(i++);
        if (u < 0xD800 || u > 0xDFFF) {
            o = platform::PutUtf8(o, u);
        } else if (u <= 0xDBFF && i < units && unitAt(i) >= 0xDC00 && unitAt(i) <= 0xDFFF) {
            o = platform::PutUtf8(o, 0x10000 + ((u - 0xD800) << 10) + (unitAt(i++) - 0xDC00));
        } else {
            std::memcpy(o, "\xEF\xBF\xBD", 3);
            o += 3;
        }
    }
    return static_cast<size_t>(o - out);
}

bool StartsWithMark(const unsigned char* bytes, size_t size, std::string_view mark) {
    return size >= mark.size() && std::memcmp(bytes, mark.data(), mark.size()) == 0;
}

// The encoding whose byte-order mark the bytes start with (0 for none) and the mark's length.
int32_t MarkedEncoding(const unsigned char* bytes, size_t size, size_t& length) {
    static constexpr std::string_view kUtf16Le("\xFF\xFE", 2);
    static constexpr std::string_view kUtf16Be("\xFE\xFF", 2);
    static constexpr std::string_view kUtf8("\xEF\xBB\xBF", 3);
    length = 0;
    if (StartsWithMark(bytes, size, kUtf16Le)) {
        length = kUtf16Le.size();
        return kTextEncodingUtf16Le;
    }
    if (StartsWithMark(bytes, size, kUtf16Be)) {
        length = kUtf16Be.size();
        return kTextEncodingUtf16Be;
    }
    if (StartsWithMark(bytes, size, kUtf8)) {
        length = kUtf8.size();
        return kTextEncodingUtf8;
    }
    return 0;
}

bool IsGivenEncoding(int32_t encoding) {
    return encoding >= kTextEncodingAnsi && encoding <= kTextEncodingUtf8;
}

}  // namespace

TextFile::TextFile() = default;

TextFile::~TextFile() {
    Close();
}

int TextFile::OpenForReading(const std::filesystem::path& file) {
    Close();
    error_.clear();
    if (const int code = file_.Open(file, platform::FileAccess::kRead); code != 0) {
        error_ = "Cannot open " + file.string() + ": " + platform::SystemErrorText(code);
        return -2;
    }
    name_ = file;
    mode_ = kReading;
    return 0;
}

int TextFile::OpenForWriting(const std::filesystem::path& file) {
    Close();
    error_.clear();
    auto out = std::make_unique<platform::AtomicFileWriter>();
    if (!out->Open(file)) {
        error_ = out->Error();
        return -2;
    }
    out_ = std::move(out);
    writeFailed_ = false;
    name_ = file;
    mode_ = kWriting;
    return 0;
}

int TextFile::ReadByte(unsigned char& byte) {
    const int64_t n = file_.ReadSome(&byte, 1);
    return n < 0 ? -2 : static_cast<int>(n);
}

// A byte-order mark says how the file was written, so it wins over the encoding given (which
// a caller often only guesses) and is not part of the text; only with kTextFileKeepBom are the
// bytes of a given encoding taken as they stand.
int TextFile::CreateReader() {
    if (mode_ != kReading) return -2;
    reader_.reset();
    const bool given = IsGivenEncoding(encoding_);
    if (!given || (flags_ & kTextFileKeepBom) == 0) {
        unsigned char head[3] = {};
        size_t got = 0;
        while (got < sizeof head) {
            const int n = ReadByte(head[got]);
            if (n < 0) return -2;
            if (n == 0) break;
            ++got;
        }
        if (!given && got == 0) {
            reader_ = std::make_unique<TextFileReader>(file_, bufferSize_);
            return 0;
        }
        size_t markLength = 0;
        const int32_t marked = MarkedEncoding(head, got, markLength);
        if (marked != 0) {
            encoding_ = marked;
        } else if (!given) {
            encoding_ = kTextEncodingAnsi;
        }
        if (!file_.Seek(markLength)) return -2;
    }
    switch (encoding_) {
        case kTextEncodingUtf16Le:
            reader_ = std::make_unique<UTF16LE_TextFileReader>(file_, bufferSize_);
            break;
        case kTextEncodingUtf16Be:
            reader_ = std::make_unique<UTF16BE_TextFileReader>(file_, bufferSize_);
            break;
        case kTextEncodingUtf8:
            reader_ = std::make_unique<UTF8_TextFileReader>(file_, bufferSize_);
            break;
        default:
            reader_ = std::make_unique<ANSI_TextFileReader>(file_, bufferSize_);
            break;
    }
    return 0;
}

int TextFile::CreateWriter() {
    if (mode_ != kWriting) return -2;
    writer_.reset();
    TextFileWriter::Sink sink = [this](const void* data, size_t length) {
        if (writeFailed_ || !out_->Write(data, length)) {
            writeFailed_ = true;
            return false;
        }
        return true;
    };
    switch (encoding_) {
        case kTextEncodingAnsi:
            writer_ = std::make_unique<ANSI_TextFileWriter>(sink, bufferSize_);
            break;
        case kTextEncodingUtf16Le:
            writer_ = std::make_unique<UTF16LE_TextFileWriter>(sink, bufferSize_);
            break;
        case kTextEncodingUtf16Be:
            writer_ = std::make_unique<UTF16BE_TextFileWriter>(sink, bufferSize_);
            break;
        case kTextEncodingUtf8:
            writer_ = std::make_unique<UTF8_TextFileWriter>(sink, bufferSize_);
            break;
        default:
            return -2;
    }
    return 0;
}

int TextFile::Write(std::string_view text) {
    if (!writer_) return -2;
    if (bomPending_) {
        bomPending_ = false;
        if (writer_->WriteByteOrderMark() != 0) return -2;
    }
    if (text.empty()) return 0;
    const char* dc = DefaultChar();
    if ((flags_ & kTextFileRawLineEnds) == 0) {
        size_t lf;
        while ((lf = text.find('\n')) != std::string_view::npos) {
            if (writer_->Write(text.substr(0, lf), codePage_, dc, nullptr) != 0) return -2;
            if (writer_->Write("\r\n", codePage_, dc, nullptr) != 0) return -2;
            text.remove_prefix(lf + 1);
            if (text.empty()) return 0;
        }
    }
    return writer_->Write(text, codePage_, dc, nullptr);
}

int TextFile::ReadAll(std::string& out, bool* usedDefault) {
    if (!reader_) return -2;
    return reader_->ReadAll(out, codePage_, DefaultChar(), usedDefault);
}

int TextFile::ReadWholeText(std::string_view& text) {
    text = {};
    wholeText_.clear();
    if (mode_ != kReading) return -2;
    if (codePage_ != kCodePageUtf8 || defaultChar_) {
        // Conversions to other code pages or with a default character go the ordinary way.
        if (CreateReader() != 0) return -2;
        const int result = ReadAll(wholeText_);
        text = wholeText_;
        return result < 0 ? result : 0;
    }
    size_t size = 0;
    if (const int code = ReadToEnd(file_, wholeBytes_, size); code != 0) {
        error_ = "Cannot read " + name_.string() + ": " + platform::SystemErrorText(code);
        return -2;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(wholeBytes_.get());
    // As CreateReader: a byte-order mark wins unless the given encoding's bytes are to be kept.
    const bool given = IsGivenEncoding(encoding_);
    size_t skip = 0;
    if (!given || (flags_ & kTextFileKeepBom) == 0) {
        if (!given && size == 0) return -1;
        const int32_t marked = MarkedEncoding(bytes, size, skip);
        if (marked != 0) {
            encoding_ = marked;
        } else if (!given) {
            encoding_ = kTextEncodingAnsi;
        }
    }
    const std::string_view rest(wholeBytes_.get() + skip, size - skip);
    switch (encoding_) {
        case kTextEncodingUtf16Le:
        case kTextEncodingUtf16Be: {
            if (rest.size() < 2) return -1;
            const size_t units = rest.size() / 2;  // an odd last byte is no character
            std::unique_ptr<char[]> utf8(new (std::nothrow) char[3 * units]);
            if (!utf8) return -2;
            const size_t length = Utf16BytesToUtf8(reinterpret_cast<const unsigned char*>(rest.data()), units,
                                                   encoding_ == kTextEncodingUtf16Be, utf8.get());
            wholeBytes_ = std::move(utf8);
            text = std::string_view(wholeBytes_.get(), length);
            return 0;
        }
        case kTextEncodingUtf8:
            if (rest.empty()) return -1;
            if (textcodec::IsWellFormedUtf8(rest)) {
                text = rest;  // nothing to convert
            } else {
                textcodec::FileUtf8ToText(rest, wholeText_, kCodePageUtf8, nullptr, nullptr);
                text = wholeText_;
            }
            return 0;
        default:
            if (rest.empty()) return -1;
            wholeText_ = platform::Cp1252ToUtf8(rest);
            text = wholeText_;
            return 0;
    }
}

int TextFile::ReadLine(std::string& out, bool* usedDefault) {
    if (!reader_) return -2;
    return reader_->ReadLine(out, codePage_, DefaultChar(), usedDefault);
}

int TextFile::Close() {
    int result = 0;
    if (mode_ == kWriting && out_) {
        if (writer_ && writer_->Flush() != 0) result = -2;
        if (writeFailed_) result = -2;
        if (result == 0 && !out_->Commit()) result = -2;
        if (result != 0) {
            if (error_.empty()) error_ = out_->Error();
            out_->Abort();
        }
    }
    file_.Close();
    out_.reset();
    reader_.reset();
    writer_.reset();
    wholeBytes_.reset();
    wholeText_.clear();
    mode_ = kClosed;
    return result;
}

void TextFile::Abort() {
    if (out_) out_->Abort();
    out_.reset();
    writer_.reset();
    if (mode_ == kWriting) mode_ = kClosed;
}

}  // namespace foundation
