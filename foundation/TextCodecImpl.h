#pragma once
#include "platform/CodePage.h"

namespace foundation {

namespace textcodec {

template <class Emit>
void ForEachCodePoint(std::string_view text, int codePage, Emit emit) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    if (codePage == 1252) {
        for (size_t i = 0; i < n; ++i) emit(platform::Cp1252ToCodePoint(s[i]));
        return;
    }
    for (size_t i = 0; i < n;) {
        if (s[i] < 0x80) {
            emit(static_cast<char32_t>(s[i++]));
            continue;
        }
        const size_t length = ValidSequence(s + i, n - i);
        if (length == 0) {
            emit(static_cast<char32_t>(s[i++]));
            continue;
        }
        emit(DecodeSequence(s + i, length));
        i += length;
    }
}

}  // namespace textcodec

}  // namespace foundation
