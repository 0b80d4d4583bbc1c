#include "foundation/ProgramSwitches.h"

#include "foundation/ProgramFolders.h"
#include "platform/Registry.h"

namespace foundation {

void ReadProgramSwitches() {
    platform::Registry& registry = platform::Registry::Instance();
    const std::string& key = GetProductKey();
    auto read = [&](const char* name) {
        std::optional<uint32_t> value = registry.GetDword(platform::Scope::Machine, key, name);
        return value.has_value() && *value != 0;
    };
    g_LogDebug = read("LogDebug");
    g_LogErrors = read("LogErrors");
    g_MirelBox = read("Mirel");
    g_Beta = read("Beta");
}

}  // namespace foundation
