#include "platform/Folders.h"

#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <system_error>

#include "platform/VersionConfig.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

fs::path FromEnv(const char* name) {
    const char* value = std::getenv(name);
    return value && *value ? fs::path(value) : fs::path();
}

fs::path Home() {
    fs::path home = FromEnv("HOME");
    return home.empty() ? fs::path("/tmp") : home;
}

fs::path XdgData() {
    fs::path p = FromEnv("XDG_DATA_HOME");
    return p.is_absolute() ? p : Home() / ".local" / "share";
}

fs::path XdgConfig() {
    fs::path p = FromEnv("XDG_CONFIG_HOME");
    return p.is_absolute() ? p : Home() / ".config";
}

fs::path ExeFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : exe.parent_path();
}

fs::path InstalledShare() {
    return ExeFolder().parent_path() / "share" / "tunova";
}

}  // namespace

fs::path ProgramFolder() {
    fs::path p = FromEnv("TUNOVA_PROGRAM_DIR");
    return p.empty() ? ExeFolder() : p;
}

bool IsInstalled() {
    std::error_code ec;
    const fs::path exe = ExeFolder();
    if (exe.empty()) return false;
    // Running from the build tree never counts as installed, even if a share/ sits beside it.
    const fs::path build = fs::weakly_canonical(TUNOVA_BUILD_DIR, ec);
    const fs::path canon = fs::weakly_canonical(exe, ec);
    const auto rel = canon.lexically_relative(build);
    if (!build.empty() && !rel.empty() && *rel.begin() != "..") return false;
    return fs::is_directory(InstalledShare(), ec);
}

fs::path ProgramDataFolder() {
    fs::path p = FromEnv("TUNOVA_DATA_DIR");
    if (!p.empty()) return p;
    return IsInstalled() ? InstalledShare() : fs::path(TUNOVA_BUILD_DIR) / "share";
}

fs::path UserDataFolder() {
    fs::path p = FromEnv("TUNOVA_USER_DATA_DIR");
    return p.empty() ? XdgData() / "tunova" : p;
}

fs::path ConfigFolder() {
    fs::path p = FromEnv("TUNOVA_CONFIG_DIR");
    return p.empty() ? XdgConfig() / "tunova" : p;
}

fs::path CommonDataFolder() {
    fs::path p = FromEnv("TUNOVA_COMMON_DATA_DIR");
    return p.empty() ? XdgData() / "tunova" : p;
}

fs::path TempFolder() {
    fs::path p = FromEnv("TUNOVA_TEMP_DIR");
    if (!p.empty()) return p;
    p = FromEnv("TMPDIR");
    return p.empty() ? fs::path("/tmp") : p;
}

namespace {

class PrivateFolder {
  public:
    ~PrivateFolder() {
        std::error_code ec;
        if (!path_.empty()) fs::remove_all(path_, ec);
    }
    // Made on first use, and made again when it vanished (a cleaner of the temporary folder):
    // files written there afterwards must not fail for a folder that is gone.
    fs::path Path() {
        const std::lock_guard<std::mutex> lock(mutex_);
        std::error_code ec;
        if (path_.empty() || !fs::is_directory(path_, ec)) {
            path_.clear();
            std::string pattern = (TempFolder() / "tunova-XXXXXX").string();
            if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
        }
        return path_;
    }

  private:
    std::mutex mutex_;
    fs::path path_;
};

}  // namespace

fs::path PrivateTempFolder() {
    static PrivateFolder folder;
    return folder.Path();
}

}  // namespace platform
