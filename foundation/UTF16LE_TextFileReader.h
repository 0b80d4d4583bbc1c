#pragma once
#include <string>

#include "foundation/TextFileReader.h"

namespace foundation {

class UTF16LE_TextFileReader : public TextFileReader {
  public:
    UTF16LE_TextFileReader(platform::File& file, size_t bufferSize);
    int ReadChar() override;
    int ReadLine(std::string& out, int codePage, const char* defaultChar, bool* usedDefault) override;
    int ReadAll(std::string& out, int codePage, const char* defaultChar, bool* usedDefault) override;

  protected:
    UTF16LE_TextFileReader(platform::File& file, size_t bufferSize, bool bigEndian);
    // Next unit in the file's byte order, -1 at the end, -2 on a read error.
    int NextUnit();
    bool bigEndian_ = false;
    std::u16string wide_;
};

}  // namespace foundation
