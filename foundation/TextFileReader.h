#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace platform {
class File;
}

namespace foundation {

// Code pages of the 8-bit side: 0 = UTF-8 text in memory, 1252 = Windows-1252 bytes.
constexpr int kCodePageUtf8 = 0;
constexpr int kCodePage1252 = 1252;

// Reads one file block by block (buffer size bytes per read). The base class is the reader of an
// empty file: every read gives -1.
class TextFileReader {
  public:
    // file is not owned; bufferSize 0 means 4096.
    TextFileReader(platform::File& file, size_t bufferSize);
    virtual ~TextFileReader();

    // Next byte (ANSI, UTF-8) or 16-bit unit (UTF-16), carriage returns skipped; -1 at the end,
    // -2 on a read error.
    virtual int ReadChar();
    // Next line without its LF (and a CR right before it), converted to the code page:
    // 0, -1 at the end of the file, -2 on a read error.
    virtual int ReadLine(std::string& out, int codePage, const char* defaultChar, bool* usedDefault);
    // The rest of the file, line ends as they stand: bytes or units read, or a negative code.
    virtual int ReadAll(std::string& out, int codePage, const char* defaultChar, bool* usedDefault);

  protected:
    // Refills the block when it is used up: 1 data available, 0 end of file, -2 read error.
    int Fill();
    // Next byte, -1 at the end, -2 on a read error.
    int NextByte();
    // Every byte left: count, or -2.
    int ReadRest(std::string& bytes);
    // Bytes up to the next LF (consumed, not stored; a CR right before it dropped): 0, -1 when
    // already at the end, -2.
    int ReadByteLine(std::string& bytes);

    platform::File& file_;
    size_t bufferSize_;
    std::vector<char> buffer_;
    size_t pos_ = 0;
    size_t count_ = 0;
    bool eof_ = false;
};

}  // namespace foundation
