#pragma once

#include <cstdio>
#include <string>

#include "foundation/LogFile.h"

namespace engine {

// One finished line to the program's debug log; nothing happens while the log is closed.
inline void EngineDebugLog(const std::string& line) {
    foundation::DebugLog().Write(line);
}

// printf-style text of at most 511 bytes, formatted in the C locale of the engine's texts.
template <typename... Args>
std::string EngineFormat(const char* format, Args... args) {
    char text[512];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

}  // namespace engine
