#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Length-prefixed UTF-16 strings shared between the program and the channel
// library: one allocates, the other frees. A BSTR points at the first character;
// the 32-bit byte length sits just before it and a 0 character after the text.
using OLECHAR = char16_t;
using BSTR = OLECHAR*;

extern "C" {
// nullptr for a null argument or when memory is short.
BSTR SysAllocString(const OLECHAR* text);
// len characters from text (text may be null: zero-filled).
BSTR SysAllocStringLen(const OLECHAR* text, unsigned int len);
// len bytes from bytes (may be null), byte length kept as given.
BSTR SysAllocStringByteLen(const char* bytes, unsigned int len);
void SysFreeString(BSTR text);
unsigned int SysStringLen(BSTR text);
unsigned int SysStringByteLen(BSTR text);
}

namespace platform {
// UTF-8 <-> BSTR (in tunova_platform; the caller frees the result with SysFreeString).
BSTR BstrFromUtf8(std::string_view text);
std::string Utf8FromBstr(BSTR text);
}  // namespace platform
