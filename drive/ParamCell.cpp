#include "drive/ParamCell.h"

#include <cstring>
#include <string>

#include "platform/CodePage.h"

namespace drive {

void CParamChar::SetText(const std::string_view text) {
    buffer_.fill('\0');
    const size_t n = platform::Utf8SafeCut(text, buffer_.size() - 1);
    std::memcpy(buffer_.data(), text.data(), n);
}

std::string CParamChar::Text() const {
    return std::string(buffer_.data(), strnlen(buffer_.data(), buffer_.size()));
}

}  // namespace drive
