#pragma once

#include <filesystem>

namespace platform {

// Every folder can be moved by an environment variable (tests run in a temp tree).

// Folder of the running executable (TUNOVA_PROGRAM_DIR).
std::filesystem::path ProgramFolder();
// Program data ("Xml" tree, default lists): <prefix>/share/tunova when installed,
// else the build tree's share/ (TUNOVA_DATA_DIR).
std::filesystem::path ProgramDataFolder();
// $XDG_DATA_HOME/tunova, default ~/.local/share/tunova (TUNOVA_USER_DATA_DIR).
std::filesystem::path UserDataFolder();
// Settings and documents: $XDG_CONFIG_HOME/tunova, default ~/.config/tunova (TUNOVA_CONFIG_DIR).
std::filesystem::path ConfigFolder();
// User list, crash reports: $XDG_DATA_HOME/tunova (TUNOVA_COMMON_DATA_DIR).
std::filesystem::path CommonDataFolder();
// $TMPDIR or /tmp (TUNOVA_TEMP_DIR).
std::filesystem::path TempFolder();
// A folder of this process only (mode 0700) below TempFolder(), made on first use and removed
// with what it holds when the program ends; empty when it cannot be made. For files that
// other instances must not see or overwrite.
std::filesystem::path PrivateTempFolder();
// True when the program runs from an installed prefix (<prefix>/bin next to
// <prefix>/share/tunova) rather than from the build tree.
bool IsInstalled();

}  // namespace platform
