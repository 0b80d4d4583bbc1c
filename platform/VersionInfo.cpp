#include "platform/VersionInfo.h"

#include "platform/VersionConfig.h"

namespace platform {

const VersionInfo& ProgramVersion() {
    static const VersionInfo info{TUNOVA_VERSION_MAJOR, TUNOVA_VERSION_MINOR, TUNOVA_VERSION_PATCH,
                                  TUNOVA_VERSION_BUILD, TUNOVA_VERSION_TEXT};
    return info;
}

}  // namespace platform
