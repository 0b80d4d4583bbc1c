#include "foundation/ProgramSwitches.h"

#include "foundation/ProgramFolders.h"
#include "platform/Registry.h"

std::atomic<bool> g_bLogDebug{false};
std::atomic<bool> g_bLogErrors{false};
std::atomic<bool> g_bMirel{false};
std::atomic<bool> g_bBeta{false};
std::atomic<bool> g_bDebugMode{false};

void ReadProgramSwitches() {
    platform::Registry& registry = platform::Registry::Instance();
    const std::string& key = GetProductKey();
    auto read = [&](const char* name) {
        std::optional<uint32_t> value = registry.GetDword(platform::Scope::Machine, key, name);
        return value.has_value() && *value != 0;
    };
    g_bLogDebug = read("LogDebug");
    g_bLogErrors = read("LogErrors");
    g_bMirel = read("Mirel");
    g_bBeta = read("Beta");
}
