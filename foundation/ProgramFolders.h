#pragma once

// The program's folders and product registry key, decided once at start-up by
// InitProgramFolders and read everywhere. Every folder follows the platform folders, so each can
// be moved by its environment variable (TUNOVA_PROGRAM_DIR, TUNOVA_DATA_DIR,
// TUNOVA_USER_DATA_DIR, TUNOVA_COMMON_DATA_DIR) and tests run in a temporary tree.

#include <filesystem>
#include <string>

namespace foundation {

constexpr const char* kBrandName = "Varno";
constexpr const char* kProgramName = "Tunova";
constexpr const char* kPatchPackageName = "TunovaPatch";

// Computes the folders (again, on every call) and creates the user and common data folders.
void InitProgramFolders();

// Folder of the program file.
const std::filesystem::path& GetProgramFolder();
// Where the program's own data lies (the "Xml" tree, package ".cdi" files, help): the share folder
// of the installation or of the build tree, not the folder of the program file.
const std::filesystem::path& GetProgramDataFolder();
// "Help" below the program data folder when it exists, else the program data folder.
const std::filesystem::path& GetHelpFolder();
// Per-user data (settings, user motors).
const std::filesystem::path& GetUserDataFolder();
// Data shared by the users ("auth.xml", downloaded descriptions, index files, crash reports).
const std::filesystem::path& GetCommonDataFolder();
// "SOFTWARE\Varno\Tunova".
const std::string& GetProductKey();
// True when the product key exists in the machine-scope registry.
bool IsProgramInstalled();

}  // namespace foundation
