#include "platform/SystemError.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace platform {

int LastErrorCode() {
    return errno;
}

void SetLastErrorCode(int code) {
    errno = code;
}

std::string SystemErrorText(int code) {
    if (code < 0) return {};
        // strerrordesc_np gives the English text whatever the locale, and nullptr for
        // codes the system does not know.
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 32))
    const char* text = strerrordesc_np(code);
    return text ? std::string(text) : std::string();
#else
    char buffer[256] = {};
    const char* text = strerror_r(code, buffer, sizeof buffer);
    std::string result = text ? text : "";
    if (result.rfind("Unknown error", 0) == 0) return {};
    return result;
#endif
}

}  // namespace platform
