#pragma once
#include <filesystem>
#include <memory>
#include <string>

#include <unistd.h>

#include "platform/Registry.h"

inline std::filesystem::path AppArtifacts() {
    return std::filesystem::path(TUNOVA_BINARY_DIR) / "artifacts" / "app";
}

// A registry store of the test's own in a fresh temporary folder.
class TempRegistry {
  public:
    explicit TempRegistry(const std::string& name) {
        dir = std::filesystem::temp_directory_path() /
              ("tunova-app-" + name + "-" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        registry = std::make_unique<platform::Registry>(dir / "machine", dir / "user");
    }
    ~TempRegistry() { std::filesystem::remove_all(dir); }
    std::filesystem::path dir;
    std::unique_ptr<platform::Registry> registry;
};
