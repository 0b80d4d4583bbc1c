#pragma once
#include <string>

#include "foundation/TextFileReader.h"

namespace foundation {

class ANSI_TextFileReader : public TextFileReader {
  public:
    ANSI_TextFileReader(platform::File& file, size_t bufferSize);
    int ReadChar() override;
    int ReadLine(std::string& out, int codePage, const char* defaultChar, bool* usedDefault) override;
    int ReadAll(std::string& out, int codePage, const char* defaultChar, bool* usedDefault) override;
};

}  // namespace foundation
