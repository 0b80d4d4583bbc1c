#pragma once
#include <string>

#include "foundation/TextFileWriter.h"

namespace foundation {

class ANSI_TextFileWriter : public TextFileWriter {
  public:
    ANSI_TextFileWriter(Sink sink, size_t bufferSize);
    int WriteChar(unsigned character) override;
    int Write(std::string_view text, int codePage, const char* defaultChar, bool* usedDefault) override;
    int WriteByteOrderMark() override;
};

}  // namespace foundation
