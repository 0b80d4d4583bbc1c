#pragma once

#include <cstdint>
#include <string>

namespace platform {

// This machine's network name; empty when the system gives none.
std::string HostName();
// The id of the running process.
uint32_t CurrentProcessId();

}  // namespace platform
