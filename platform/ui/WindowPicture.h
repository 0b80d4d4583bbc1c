#pragma once
// A picture of a window as it is on the screen, for the smoke tests' artifacts.

#include <filesystem>

class wxWindow;

namespace platform::ui {

// Copies what the window shows into a PNG file (GUI thread); false when the
// window is not shown or the file can't be written.
bool SaveWindowPicture(wxWindow* window, const std::filesystem::path& file);

}  // namespace platform::ui
