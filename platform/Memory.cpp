#include "platform/Memory.h"

#include <sys/mman.h>

namespace platform {

void AdviseHugePages([[maybe_unused]] void* address, [[maybe_unused]] size_t size) {
#ifdef MADV_HUGEPAGE
    (void)::madvise(address, size, MADV_HUGEPAGE);
#endif
}

}  // namespace platform
