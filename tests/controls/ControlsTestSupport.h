#pragma once
#include <filesystem>

inline std::filesystem::path ControlArtifacts() {
    return std::filesystem::path(TUNOVA_BINARY_DIR) / "artifacts" / "controls";
}
inline std::filesystem::path SourceResources() {
    return std::filesystem::path(TUNOVA_FIXTURES).parent_path().parent_path() / "app" / "res";
}
