#pragma once

#include <cstddef>

namespace platform {

// Asks the system to back a large, aligned block with huge pages; a hint that may be ignored.
void AdviseHugePages(void* address, size_t size);

}  // namespace platform
