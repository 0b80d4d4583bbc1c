#include "app/Startup.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <system_error>

#include "app/CmdLineInfo.h"
#include "foundation/Authorizations.h"
#include "foundation/BrandList.h"
#include "foundation/LogFile.h"
#include "foundation/ProgramFolders.h"
#include "foundation/ProgramSwitches.h"
#include "foundation/Version.h"
#include "foundation/XmlNode.h"
#include "platform/DynamicLibrary.h"
#include "platform/Folders.h"
#include "platform/Registry.h"
#include "platform/ThreadLog.h"
#include "platform/VersionInfo.h"

namespace app {

ProgramState& Program() {
    static ProgramState state;
    return state;
}

std::string CutRegistryText(std::string text) {
    const size_t limit = kRegistryTextLimit - 1;
    if (text.size() <= limit) return text;
    size_t cut = limit;
    // Step back over continuation bytes so that the cut lands on a character boundary.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text.resize(cut);
    return text;
}

void ApplyAccessLevel(foundation::CAuthorizations& users, platform::Registry& registry,
                      const std::string& productKey, const CCmdLineInfo& cmd) {
    const std::string accessKey = productKey + "\\Access";
    platform::Scope scope = platform::Scope::User;
    bool found = registry.KeyExists(scope, accessKey);
    if (!found) {
        scope = platform::Scope::Machine;
        found = registry.KeyExists(scope, accessKey);
    }
    if (!found) {
        users.SetUser("integrator");
    } else {
        if (std::optional<std::string> level = registry.GetString(scope, accessKey, "Level"))
            users.SetUser(CutRegistryText(*level));
        if (std::optional<std::string> tags = registry.GetString(scope, accessKey, "Tags")) {
            users.ClearTags();
            users.SetChanged();
            users.SetTags(CutRegistryText(*tags));
        }
    }

    users.SetTags(cmd.tags);
    if (cmd.debug) {
        foundation::g_DebugMode = true;
        users.SetTags("debug");
    } else {
        foundation::g_DebugMode = users.CheckCondition(";debug", nullptr);
    }
    if (!cmd.user.empty())
        users.SetUser(cmd.user);
    else if (users.GetRequestedUser().empty())
        users.SetUser("user");
}

void ApplyCommandLine(const CCmdLineInfo& cmd, ProgramState& state) {
    state.goOnline = cmd.goOnline;
    state.loadConfig = cmd.loadConfig;
    state.resetGui = cmd.resetGui;
    state.hide = cmd.hide;
    state.batch = cmd.batch;
    if (!cmd.qzPath.empty()) state.qzPath = cmd.qzPath;
    state.rawCommandLine = cmd.RawLine();
}

void ReadDiagnosticSwitches(platform::Registry& registry, const std::string& productKey) {
    auto read = [&](const char* name) {
        std::optional<uint32_t> value = registry.GetDword(platform::Scope::Machine, productKey, name);
        return value.has_value() && *value != 0;
    };
    foundation::g_LogDebug = read("LogDebug");
    foundation::g_LogErrors = read("LogErrors");
    foundation::g_MirelBox = read("Mirel");
    foundation::g_Beta = read("Beta");
}

std::string OpenDebugLog(foundation::LogFile& log, const std::filesystem::path& tempFolder) {
    if (!foundation::g_LogDebug) return {};
    std::string error = log.Open(tempFolder / "LogDebug.txt");
    if (!error.empty()) log.Close();
    char line[100];
    std::snprintf(line, sizeof line, "Pelmora started 0x%X", platform::CurrentThreadId());
    log.Write(line);
    return error;
}

uint32_t ReadProgramVersionInfo() {
    const platform::VersionInfo& version = platform::ProgramVersion();
    ProgramState& state = Program();
    char text[64];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", version.major, version.minor, version.patch,
                  version.build);
    state.fileVersion = text;
    state.build = static_cast<uint32_t>(version.build);
    state.internalName = foundation::kProgramName;
    state.productText = std::string(foundation::kProgramName) + " " + state.fileVersion;
    return state.build;
}

std::string GetComponentVersionsText() {
    std::vector<std::string> lines;
    foundation::CBrandList& sources = foundation::GetBrandList();
    const foundation::CBrand* current = sources.GetCurrent();
    if (current != nullptr && sources.GetCurrentIndex() == 0) {
        const foundation::PatchModule* entry = current->FindFolderEntry();
        if (entry != nullptr) {
            bool ok = true;
            const uint64_t packed = foundation::VersionTextToNumber(entry->version, &ok);
            std::string title, text;
            // The fourth number of the version is the lowest 16 bits of the packed form.
            if (ok && (packed & 0xFFFF) != 0 &&
                foundation::ReadXmlTitleVersion(current->m_strFolder + "/" + entry->fileName, &title, &text))
                lines.push_back(title + " " + text);
        }
    }
    if (current != nullptr) {
        for (const auto& [folder, module] : current->m_modules)
            lines.push_back(module.fileName + " " + module.version);
    }
    platform::DynamicLibrary linkora;
    if (linkora.Open((foundation::GetProgramFolder() / "libLinkora.so").string(), nullptr)) {
        // The library is built with the program, so it carries the program's version.
        lines.push_back("Linkora " + Program().fileVersion);
    }
    std::string text;
    for (const std::string& line : lines) {
        if (!text.empty()) text += "\r\n";
        text += line;
    }
    return text;
}

std::string LoadDefaultErrorList() {
    const std::filesystem::path file = platform::ProgramDataFolder() / "res" / "310-errorlist.xml";
    std::ifstream in(file, std::ios::binary);
    if (!in) return {};
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string GetXmlFilePath(const foundation::CXmlNode& item) {
    const std::string brand = item.GetAttribute("brand");
    std::string folder;
    if (!brand.empty())
        folder = foundation::GetBrandList().GetBrandFolder(brand.c_str(), item.GetAttributeInt("nFw", 0));
    // Without a folder the name stays relative: a leading "/" would point at the root folder.
    if (folder.empty()) return item.GetAttribute("file");
    return folder + "/" + item.GetAttribute("file");
}

}  // namespace app
