#pragma once
#include <cstddef>
#include <functional>
#include <string_view>
#include <vector>

namespace foundation {

// Collects bytes in a buffer (buffer size, 0 meaning 4096) and hands every full buffer to the sink;
// Flush hands over the rest. The base class writes nothing (-2) and has no byte-order mark.
class TextFileWriter {
  public:
    using Sink = std::function<bool(const void* data, size_t length)>;

    TextFileWriter(Sink sink, size_t bufferSize);
    virtual ~TextFileWriter();

    // One character: a byte for ANSI, a code point for the UTF writers. 0 or -2.
    virtual int WriteChar(unsigned character);
    // Text on the code page's 8-bit side (0 = UTF-8, 1252 = Windows-1252): 0 or -2.
    virtual int Write(std::string_view text, int codePage, const char* defaultChar, bool* usedDefault);
    virtual int WriteByteOrderMark();
    // Writes the bytes still in the buffer: 0 or -2.
    int Flush();

  protected:
    int Put(const void* data, size_t length);

    Sink sink_;
    size_t bufferSize_;
    std::vector<char> buffer_;
    size_t fill_ = 0;
};

}  // namespace foundation
