#include "platform/Host.h"

#include <unistd.h>

namespace platform {

std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

uint32_t CurrentProcessId() {
    return static_cast<uint32_t>(::getpid());
}

}  // namespace platform
