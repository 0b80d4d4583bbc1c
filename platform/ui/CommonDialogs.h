#pragma once
// File, colour and folder choosers, and clipboard text (GUI thread).

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/Bitmap.h"

class wxWindow;

namespace platform::ui {

struct FileDialogSpec {
    std::string title;
    // "Text files (*.txt)|*.txt|All files (*.*)|*.*"; "||" ends are accepted.
    std::string filter;
    std::string defaultExtension;   // added to a typed name without one (save)
    std::filesystem::path initial;  // folder or file
    bool mustExist = true;          // open: the file must exist
    bool confirmOverwrite = true;   // save
};

std::optional<std::filesystem::path> ChooseFileToOpen(wxWindow* parent, const FileDialogSpec& spec);
std::vector<std::filesystem::path> ChooseFilesToOpen(wxWindow* parent, const FileDialogSpec& spec);
std::optional<std::filesystem::path> ChooseFileToSave(wxWindow* parent, const FileDialogSpec& spec);
std::optional<platform::COLORREF> ChooseColour(wxWindow* parent, platform::COLORREF initial);
std::optional<std::filesystem::path> ChooseFolder(wxWindow* parent, const std::string& title,
                                                  const std::filesystem::path& initial);

// The program's filter texts end in "||" and may hold empty pairs; wx wants neither.
std::string NormaliseFilter(const std::string& filter);

bool SetClipboardText(const std::string& text);
std::optional<std::string> GetClipboardText();

}  // namespace platform::ui
