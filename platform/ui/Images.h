#pragma once
// Images and icons looked up by resource id: PNG files named "<id>-<name>.png"
// (or "<id>.png") in the resource folder.

#include <filesystem>

#include <wx/bitmap.h>

namespace platform::ui {

// Default: $TUNOVA_RES_DIR, else ProgramDataFolder()/"res".
void SetResourceFolder(const std::filesystem::path& folder);
std::filesystem::path ResourceFolder();

// The file of a resource id, empty when there is none.
std::filesystem::path FindImageResource(int id);
// Invalid bitmap (IsOk() false) when the image is missing or unreadable.
wxBitmap LoadImageResource(int id);

}  // namespace platform::ui
