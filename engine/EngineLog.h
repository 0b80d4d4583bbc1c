#pragma once

#include <string>

#include "foundation/LogFile.h"

// One finished line to the program's debug log; nothing happens while the log is closed.
inline void EngineDebugLog(const std::string& line) {
    DebugLog().Write(line);
}
