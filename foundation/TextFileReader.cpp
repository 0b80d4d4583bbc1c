#include "foundation/TextFileReader.h"

#include "platform/File.h"

namespace foundation {

TextFileReader::TextFileReader(platform::File& file, size_t bufferSize)
    : file_(file), bufferSize_(bufferSize ? bufferSize : 4096) {}

TextFileReader::~TextFileReader() = default;

int TextFileReader::ReadChar() {
    return -1;
}

int TextFileReader::ReadLine(std::string& out, int, const char*, bool*) {
    out.clear();
    return -1;
}

int TextFileReader::ReadAll(std::string& out, int, const char*, bool*) {
    out.clear();
    return -1;
}

int TextFileReader::Fill() {
    if (pos_ < count_) return 1;
    if (eof_) return 0;
    if (buffer_.size() != bufferSize_) buffer_.resize(bufferSize_);
    const int64_t n = file_.ReadSome(buffer_.data(), buffer_.size());
    if (n < 0) return -2;
    pos_ = 0;
    count_ = static_cast<size_t>(n);
    if (n == 0) {
        eof_ = true;
        return 0;
    }
    return 1;
}

int TextFileReader::NextByte() {
    const int state = Fill();
    if (state <= 0) return state == 0 ? -1 : -2;
    return static_cast<unsigned char>(buffer_[pos_++]);
}

int TextFileReader::ReadRest(std::string& bytes) {
    bytes.clear();
    if (pos_ < count_) bytes.append(buffer_.data() + pos_, count_ - pos_);
    pos_ = count_ = 0;
    // The rest is read straight into the text, a block of the buffer size at a time.
    while (!eof_) {
        const size_t have = bytes.size();
        bytes.resize(have + bufferSize_);
        const int64_t n = file_.ReadSome(bytes.data() + have, bufferSize_);
        if (n < 0) {
            bytes.resize(have);
            return -2;
        }
        bytes.resize(have + static_cast<size_t>(n));
        if (n == 0) eof_ = true;
    }
    return static_cast<int>(bytes.size());
}

int TextFileReader::ReadByteLine(std::string& bytes) {
    bytes.clear();
    bool any = false;
    for (;;) {
        const int state = Fill();
        if (state < 0) return -2;
        if (state == 0) break;
        any = true;
        const char* start = buffer_.data() + pos_;
        const char* end = buffer_.data() + count_;
        const char* lf = start;
        while (lf < end && *lf != '\n') ++lf;
        bytes.append(start, static_cast<size_t>(lf - start));
        if (lf < end) {
            pos_ = static_cast<size_t>(lf - buffer_.data()) + 1;
            if (!bytes.empty() && bytes.back() == '\r') bytes.pop_back();
            return 0;
        }
        pos_ = count_;
    }
    return any ? 0 : -1;
}

}  // namespace foundation
