#pragma once

// A temporary folder tree for the identity, user and configuration-source tests: the program,
// program data, user data and common data folders point into it, and the registry store of the
// test program lives in it (set before the first registry use of the process).

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "foundation/ProgramFolders.h"
#include "foundation/ProgramSwitches.h"
#include "platform/Registry.h"

namespace identity_test {

namespace fs = std::filesystem;

inline fs::path MakeTempFolder(const char* stem) {
    std::string pattern = (fs::temp_directory_path() / (std::string(stem) + "XXXXXX")).string();
    char* made = mkdtemp(pattern.data());
    return made ? fs::path(made) : fs::path();
}

// The registry store is fixed at its first use: point it at a folder of this process before any test runs,
// unless the caller already chose one.
inline const fs::path& RegistryFolder() {
    static const fs::path folder = [] {
        fs::path made = MakeTempFolder("tunova_h4_registry_");
        setenv("TUNOVA_REGISTRY_MACHINE", (made / "machine").c_str(), 0);
        setenv("TUNOVA_REGISTRY_USER", (made / "user").c_str(), 0);
        // Removed at exit from a plain copy: the path object itself is gone by then.
        static char removeAtExit[4096];
        std::snprintf(removeAtExit, sizeof removeAtExit, "%s", made.c_str());
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(fs::path(removeAtExit), ec);
        });
        return made;
    }();
    return folder;
}

// Runs during static initialisation, before any test can open the store.
inline const bool kRegistryPointed = (RegistryFolder(), true);

// True when the store is the one chosen through the environment (never the user's own files).
inline bool RegistryIsPrivate() {
    const char* user = getenv("TUNOVA_REGISTRY_USER");
    const char* machine = getenv("TUNOVA_REGISTRY_MACHINE");
    auto& registry = platform::Registry::Instance();
    return user && machine && registry.File(platform::Scope::User) == fs::path(user) &&
           registry.File(platform::Scope::Machine) == fs::path(machine);
}

inline void WriteText(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out << text;
}

// A package file with a title and a version.
inline void WriteCdi(const fs::path& file, const std::string& title, const std::string& version) {
    WriteText(file, "<Package>\r\n\t<property name=\"Title\" value=\"" + title +
                        "\"/>\r\n\t<property name=\"Version\" value=\"" + version + "\"/>\r\n</Package>\r\n");
}

class TempTree {
  public:
    TempTree() {
        RegistryFolder();
        root_ = MakeTempFolder("tunova_h4_tree_");
        Point("TUNOVA_PROGRAM_DIR", root_ / "bin");
        Point("TUNOVA_DATA_DIR", root_ / "share");
        Point("TUNOVA_USER_DATA_DIR", root_ / "user");
        Point("TUNOVA_COMMON_DATA_DIR", root_ / "common");
        ClearRegistry();
        foundation::g_Beta = false;
        foundation::InitProgramFolders();
    }
    ~TempTree() {
        ClearRegistry();
        foundation::g_Beta = false;
        for (auto& [name, value] : saved_) {
            if (value.empty()) {
                unsetenv(name.c_str());
            } else {
                setenv(name.c_str(), value.c_str(), 1);
            }
        }
        foundation::InitProgramFolders();
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const fs::path& Root() const { return root_; }
    fs::path ProgramData() const { return root_ / "share"; }
    fs::path CommonData() const { return root_ / "common"; }
    fs::path UserData() const { return root_ / "user"; }

    static platform::Registry& Registry() { return platform::Registry::Instance(); }
    static void ClearRegistry() {
        if (!RegistryIsPrivate()) return;
        for (auto scope : {platform::Scope::Machine, platform::Scope::User}) {
            Registry().DeleteKey(scope, "SOFTWARE\\Varno");
        }
    }

  private:
    void Point(const char* name, const fs::path& folder) {
        const char* old = getenv(name);
        saved_.emplace_back(name, old ? old : "");
        fs::create_directories(folder);
        setenv(name, folder.c_str(), 1);
    }

    fs::path root_;
    std::vector<std::pair<std::string, std::string>> saved_;
};

}  // namespace identity_test
