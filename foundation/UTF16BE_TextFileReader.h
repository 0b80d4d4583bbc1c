#pragma once
#include "foundation/UTF16LE_TextFileReader.h"

namespace foundation {

// UTF-16LE reading with the two bytes of every unit swapped.
class UTF16BE_TextFileReader : public UTF16LE_TextFileReader {
  public:
    UTF16BE_TextFileReader(platform::File& file, size_t bufferSize)
        : UTF16LE_TextFileReader(file, bufferSize, true) {}
};

}  // namespace foundation
