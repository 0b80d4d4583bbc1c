#pragma once

#include <functional>
#include <string>

namespace platform {

// Kernel id of the calling thread (as shown by ps/top and in debug logs).
unsigned CurrentThreadId();

// Where thread start/stop lines go (normally the program's debug log). An empty
// function removes the sink; without a sink the Log* calls do nothing.
void SetThreadLogSink(std::function<void(const std::string&)> sink);

// Write "<name> started 0x%X" / "<name> stopped 0x%X" with the calling thread's id.
void LogThreadStart(const std::string& name);
void LogThreadStop(const std::string& name);

// Hand one finished line to the sink (no-op without sink).
void LogThreadLine(const std::string& line);

}  // namespace platform
