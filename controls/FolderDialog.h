#pragma once
// Asks the user for a folder with the folder browser, modally. The holder sets
// the title and flags; the chosen folder's path is kept after DoModal.

#include <filesystem>
#include <string>

#include "platform/ui/FolderBrowser.h"

class wxWindow;

namespace controls {

class CFolderDialog {
  public:
    explicit CFolderDialog(std::string title = "", std::filesystem::path initial = {},
                           unsigned flags = platform::ui::browse::ReturnOnlyFsDirs,
                           wxWindow* owner = nullptr);
    virtual ~CFolderDialog() = default;
    CFolderDialog(const CFolderDialog&) = delete;
    CFolderDialog& operator=(const CFolderDialog&) = delete;

    // IDOK with the folder's path kept, -1 when the chosen folder has no path
    // on the file system (any more), IDCANCEL when the user cancelled.
    int DoModal();

    platform::ui::BrowseInfo& Info() { return info_; }
    void SetInitialPath(std::filesystem::path path) { initial_ = std::move(path); }
    const std::filesystem::path& InitialPath() const { return initial_; }
    const std::filesystem::path& GetFolderPath() const { return chosen_; }
    const std::string& DisplayName() const { return displayName_; }

  protected:
    virtual void OnInitialized();
    virtual void OnSelChanged(const std::filesystem::path& folder);
    virtual int OnValidateFailed(const std::string& typed);

    // The open browser, only while one of the above runs.
    platform::ui::FolderBrowser* Browser() const { return browser_; }
    void SetSelection(const std::filesystem::path& folder);
    void SetStatusText(const std::string& text);

  private:
    int Callback(platform::ui::FolderBrowser& browser, platform::ui::BrowseEvent event,
                 const std::string& argument);

    platform::ui::BrowseInfo info_;
    std::filesystem::path initial_;
    std::filesystem::path chosen_;
    std::string displayName_;
    platform::ui::FolderBrowser* browser_ = nullptr;
};

}  // namespace controls
