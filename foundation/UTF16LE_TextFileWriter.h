#pragma once
#include <string>

#include "foundation/TextFileWriter.h"

namespace foundation {

class UTF16LE_TextFileWriter : public TextFileWriter {
  public:
    UTF16LE_TextFileWriter(Sink sink, size_t bufferSize);
    int WriteChar(unsigned character) override;
    int Write(std::string_view text, int codePage, const char* defaultChar, bool* usedDefault) override;
    int WriteByteOrderMark() override;

  protected:
    UTF16LE_TextFileWriter(Sink sink, size_t bufferSize, bool bigEndian);
    int WriteUnits(const std::u16string& units);
    bool bigEndian_ = false;
    std::u16string wide_;
    std::string bytes_;
};

}  // namespace foundation
