#include "foundation/TextFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "foundation/ANSI_TextFileReader.h"
#include "foundation/ANSI_TextFileWriter.h"
#include "foundation/UTF16BE_TextFileReader.h"
#include "foundation/UTF16BE_TextFileWriter.h"
#include "foundation/UTF16LE_TextFileReader.h"
#include "foundation/UTF16LE_TextFileWriter.h"
#include "foundation/UTF8_TextFileReader.h"
#include "foundation/UTF8_TextFileWriter.h"
#include "platform/AtomicFile.h"
#include "platform/SystemError.h"

TextFile::TextFile() = default;

TextFile::~TextFile() {
    Close();
}

int TextFile::OpenForReading(const std::filesystem::path& file) {
    Close();
    error_.clear();
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error_ = "Cannot open " + file.string() + ": " + platform::SystemErrorText(errno);
        return -2;
    }
    fd_ = fd;
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
    ssize_t n;
    do {
        n = ::read(fd_, &byte, 1);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? -2 : static_cast<int>(n);
}

bool TextFile::Rewind() {
    return ::lseek(fd_, 0, SEEK_SET) == 0;
}

int TextFile::SkipByteOrderMark(const unsigned char* mark, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        unsigned char byte = 0;
        if (ReadByte(byte) != 1 || byte != mark[i]) {
            Rewind();
            return 0;
        }
    }
    return 1;
}

int TextFile::CreateReader() {
    if (mode_ != kReading) return -2;
    reader_.reset();
    static const unsigned char kUtf16Le[] = {0xFF, 0xFE};
    static const unsigned char kUtf16Be[] = {0xFE, 0xFF};
    static const unsigned char kUtf8[] = {0xEF, 0xBB, 0xBF};
    const bool skipMark = (flags_ & kTextFileKeepBom) == 0;
    switch (encoding_) {
        case kTextEncodingAnsi:
            reader_ = std::make_unique<ANSI_TextFileReader>(fd_, bufferSize_);
            return 0;
        case kTextEncodingUtf16Le:
            if (skipMark) SkipByteOrderMark(kUtf16Le, 2);
            reader_ = std::make_unique<UTF16LE_TextFileReader>(fd_, bufferSize_);
            return 0;
        case kTextEncodingUtf16Be:
            if (skipMark) SkipByteOrderMark(kUtf16Be, 2);
            reader_ = std::make_unique<UTF16BE_TextFileReader>(fd_, bufferSize_);
            return 0;
        case kTextEncodingUtf8:
            if (skipMark) SkipByteOrderMark(kUtf8, 3);
            reader_ = std::make_unique<UTF8_TextFileReader>(fd_, bufferSize_);
            return 0;
        default:
            break;
    }
    unsigned char first = 0;
    const int n = ReadByte(first);
    if (n < 0) return -2;
    if (n == 0) {
        reader_ = std::make_unique<TextFileReader>(fd_, bufferSize_);
        return 0;
    }
    unsigned char second = 0;
    unsigned char third = 0;
    const int n2 = ReadByte(second);
    if (n2 < 0) return -2;
    if (n2 == 1 && first == 0xFF && second == 0xFE) {
        encoding_ = kTextEncodingUtf16Le;
        reader_ = std::make_unique<UTF16LE_TextFileReader>(fd_, bufferSize_);
        return 0;
    }
    if (n2 == 1 && first == 0xFE && second == 0xFF) {
        encoding_ = kTextEncodingUtf16Be;
        reader_ = std::make_unique<UTF16BE_TextFileReader>(fd_, bufferSize_);
        return 0;
    }
    if (n2 == 1 && first == 0xEF && second == 0xBB) {
        const int n3 = ReadByte(third);
        if (n3 < 0) return -2;
        if (n3 == 1 && third == 0xBF) {
            encoding_ = kTextEncodingUtf8;
            reader_ = std::make_unique<UTF8_TextFileReader>(fd_, bufferSize_);
            return 0;
        }
    }
    if (!Rewind()) return -2;
    encoding_ = kTextEncodingAnsi;
    reader_ = std::make_unique<ANSI_TextFileReader>(fd_, bufferSize_);
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
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    out_.reset();
    reader_.reset();
    writer_.reset();
    mode_ = kClosed;
    return result;
}

void TextFile::Abort() {
    if (out_) out_->Abort();
    out_.reset();
    writer_.reset();
    if (mode_ == kWriting) mode_ = kClosed;
}
