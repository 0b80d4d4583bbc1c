#include "platform/CodePage.h"
#include "platform/bstr/Bstr.h"

namespace platform {

BSTR BstrFromUtf8(std::string_view text) {
    const std::u16string wide = Utf8ToUtf16(text);
    return SysAllocStringLen(wide.data(), static_cast<unsigned int>(wide.size()));
}

std::string Utf8FromBstr(BSTR text) {
    if (!text) return {};
    return Utf16ToUtf8(std::u16string_view(text, SysStringLen(text)));
}

}  // namespace platform
