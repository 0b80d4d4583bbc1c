#pragma once
#include "foundation/UTF16LE_TextFileWriter.h"

namespace foundation {

// UTF-16LE writing with the two bytes of every unit swapped; byte-order mark FE FF.
class UTF16BE_TextFileWriter : public UTF16LE_TextFileWriter {
  public:
    UTF16BE_TextFileWriter(Sink sink, size_t bufferSize)
        : UTF16LE_TextFileWriter(std::move(sink), bufferSize, true) {}
};

}  // namespace foundation
