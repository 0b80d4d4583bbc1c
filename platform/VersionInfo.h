#pragma once

#include <string>

namespace platform {

struct VersionInfo {
    int major = 0;
    int minor = 0;
    int patch = 0;
    int build = 0;
    std::string text;  // "major.minor.patch" as the build sets it
};

// The program's own version (the build's project version).
const VersionInfo& ProgramVersion();

}  // namespace platform
