#include "platform/bstr/Bstr.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

// Prefix (byte length) + text + a 0 character, in one malloc block.
BSTR AllocBytes(const void* bytes, unsigned int byteLen) {
    if (byteLen > std::numeric_limits<unsigned int>::max() - 8) return nullptr;
    const size_t total = sizeof(uint32_t) + static_cast<size_t>(byteLen) + sizeof(OLECHAR);
    auto* block = static_cast<unsigned char*>(std::malloc(total));
    if (!block) return nullptr;
    const uint32_t len32 = byteLen;
    std::memcpy(block, &len32, sizeof len32);
    unsigned char* text = block + sizeof(uint32_t);
    if (bytes)
        std::memcpy(text, bytes, byteLen);
    else
        std::memset(text, 0, byteLen);
    text[byteLen] = 0;
    text[byteLen + 1] = 0;
    return reinterpret_cast<BSTR>(text);
}

uint32_t ByteLen(BSTR text) {
    uint32_t len;
    std::memcpy(&len, reinterpret_cast<unsigned char*>(text) - sizeof(uint32_t), sizeof len);
    return len;
}

}  // namespace

extern "C" {

BSTR SysAllocString(const OLECHAR* text) {
    if (!text) return nullptr;
    size_t len = 0;
    while (text[len] != 0) ++len;
    if (len > std::numeric_limits<unsigned int>::max() / 2 - 8) return nullptr;
    return AllocBytes(text, static_cast<unsigned int>(len * sizeof(OLECHAR)));
}

BSTR SysAllocStringLen(const OLECHAR* text, unsigned int len) {
    if (len > std::numeric_limits<unsigned int>::max() / 2 - 8) return nullptr;
    return AllocBytes(text, len * static_cast<unsigned int>(sizeof(OLECHAR)));
}

BSTR SysAllocStringByteLen(const char* bytes, unsigned int len) {
    return AllocBytes(bytes, len);
}

void SysFreeString(BSTR text) {
    if (text) std::free(reinterpret_cast<unsigned char*>(text) - sizeof(uint32_t));
}

unsigned int SysStringLen(BSTR text) {
    return text ? ByteLen(text) / sizeof(OLECHAR) : 0;
}

unsigned int SysStringByteLen(BSTR text) {
    return text ? ByteLen(text) : 0;
}

}  // extern "C"
