#include "foundation/XmlAttribute.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <new>

#include "foundation/FixedBlockPool.h"

namespace foundation {

namespace {
FixedBlockPool& Pool() {
    static auto* pool =
        new FixedBlockPool(sizeof(CXmlAttribute), alignof(CXmlAttribute));  // outlives every static tree
    return *pool;
}
}  // namespace

void* CXmlAttribute::operator new(size_t size) {
    return size == sizeof(CXmlAttribute) ? Pool().Allocate() : ::operator new(size);
}

void CXmlAttribute::operator delete(void* block, size_t size) {
    if (size == sizeof(CXmlAttribute)) {
        Pool().Free(block);
    } else {
        ::operator delete(block);
    }
}

int32_t CXmlAttribute::GetIntValue() const {
    const char* text = value_.c_str();
    // The 32-bit runtime's conversion saturates at the 32-bit limits.
    long long number = std::strtoll(text, nullptr, 10);
    if (number > INT32_MAX) number = INT32_MAX;
    if (number < INT32_MIN) number = INT32_MIN;
    if (number == 0 && value_.size() >= 2 && text[0] == '0' && text[1] == 'x') {
        const char* hex = text + 2;
        while (*hex == ' ' || (*hex >= '\t' && *hex <= '\r')) ++hex;
        if (!std::isxdigit(static_cast<unsigned char>(*hex))) return 0;
        unsigned long long bits = std::strtoull(hex, nullptr, 16);
        return static_cast<int32_t>(static_cast<uint32_t>(bits));
    }
    return static_cast<int32_t>(number);
}

bool CXmlAttribute::GetBoolValue() const {
    std::string upper = value_;
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return upper == "YES" || upper == "TRUE" || upper == "1";
}

}  // namespace foundation
