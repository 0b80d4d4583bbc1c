#include "foundation/ProgramFolders.h"

#include <mutex>
#include <system_error>

#include "platform/Folders.h"
#include "platform/Registry.h"

namespace foundation {

namespace fs = std::filesystem;

namespace {

struct FolderSet {
    bool initialised = false;
    fs::path program;
    fs::path programData;
    fs::path help;
    fs::path userData;
    fs::path commonData;
    std::string productKey;
    bool installed = false;
};

std::mutex g_mutex;
FolderSet g_folders;

// Creates the folder with its missing parents; an existing folder is no error.
void CreateFolder(const fs::path& folder) {
    std::error_code ec;
    if (!folder.empty()) fs::create_directories(folder, ec);
}

void Compute(FolderSet& set) {
    set.program = platform::ProgramFolder();
    set.programData = platform::ProgramDataFolder();
    set.productKey = std::string("SOFTWARE\\") + kBrandName + "\\" + kProgramName;
    set.installed = platform::Registry::Instance().KeyExists(platform::Scope::Machine, set.productKey);

    std::error_code ec;
    fs::path help = set.programData / "Help";
    set.help = fs::is_directory(help, ec) ? help : set.programData;

    set.userData = platform::UserDataFolder();
    set.commonData = platform::CommonDataFolder();
    CreateFolder(set.userData);
    CreateFolder(set.commonData);
    set.initialised = true;
}

const FolderSet& Folders() {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_folders.initialised) Compute(g_folders);
    return g_folders;
}

}  // namespace

void InitProgramFolders() {
    std::lock_guard<std::mutex> lock(g_mutex);
    Compute(g_folders);
}

const fs::path& GetProgramFolder() {
    return Folders().program;
}
const fs::path& GetProgramDataFolder() {
    return Folders().programData;
}
const fs::path& GetHelpFolder() {
    return Folders().help;
}
const fs::path& GetUserDataFolder() {
    return Folders().userData;
}
const fs::path& GetCommonDataFolder() {
    return Folders().commonData;
}
const std::string& GetProductKey() {
    return Folders().productKey;
}
bool IsProgramInstalled() {
    return Folders().installed;
}

}  // namespace foundation
