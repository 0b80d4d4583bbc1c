#include "app/CmdLineInfo.h"

#include <cctype>
#include <cstring>

namespace app {
namespace {

// Compares at most n characters (all when n is npos) without regard to ASCII case.
bool SameNoCase(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[i]);
        if (std::tolower(ca) != std::tolower(cb)) return false;
        if (ca == 0) return true;
    }
    return true;
}

bool EqualNoCase(const char* token, const char* key) {
    return SameNoCase(token, key, std::string::npos);
}

// Prefix keys compare only their own length; the value is the rest, possibly empty.
bool TakePrefix(const char* token, const char* key, std::string& value) {
    const size_t n = std::strlen(key);
    if (!SameNoCase(token, key, n)) return false;
    value = token + n;
    return true;
}

}  // namespace

void CCmdLineInfo::ParseParam(const char* token, bool /*flag*/, bool /*last*/) {
    if (token == nullptr) return;
    if (EqualNoCase(token, "Hide")) {
        hide = true;
    } else if (TakePrefix(token, "goonline=", goOnline) || TakePrefix(token, "loadconfig=", loadConfig) ||
               TakePrefix(token, "tags=", tags)) {
    } else if (EqualNoCase(token, "debug")) {
        debug = true;
    } else if (EqualNoCase(token, "resetgui")) {
        resetGui = true;
    } else if (TakePrefix(token, "batch=", batch) || TakePrefix(token, "user=", user) ||
               TakePrefix(token, "Qz=", qzPath)) {
    }
}

void CCmdLineInfo::ParseCommandLine(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        const char* token = argv[i];
        if (token == nullptr) continue;
        if (!raw_.empty()) raw_ += ' ';
        raw_ += token;
        const bool flag = token[0] == '/' || token[0] == '-';
        ParseParam(flag ? token + 1 : token, flag, i + 1 == argc);
    }
}

}  // namespace app
