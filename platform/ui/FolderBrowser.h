#pragma once
// The folder browser: a modal dialog with the folder tree of the file system,
// an optional status line and an optional edit field for a typed name. The
// caller's callback hears when the browser opens, when the selection changes
// and when a typed name is no folder, and may steer the browser meanwhile.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include <wx/dialog.h>

class wxGenericDirCtrl;
class wxStaticText;
class wxTextCtrl;
class wxTreeEvent;

namespace platform::ui {

namespace browse {
constexpr unsigned ReturnOnlyFsDirs = 0x0001;
constexpr unsigned StatusText = 0x0004;
constexpr unsigned EditBox = 0x0010;
constexpr unsigned Validate = 0x0020;
}  // namespace browse

enum class BrowseEvent { Initialized = 1, SelChanged = 2, ValidateFailed = 3 };

class FolderBrowser;

struct BrowseInfo {
    wxWindow* owner = nullptr;
    std::string title;  // the text above the tree
    unsigned flags = 0;
    // The argument is the selected folder (SelChanged) or the typed name
    // (ValidateFailed, where a non-zero answer keeps the browser open).
    std::function<int(FolderBrowser& browser, BrowseEvent event, const std::string& argument)> callback;
};

class FolderBrowser : public wxDialog {
  public:
    explicit FolderBrowser(const BrowseInfo& info);
    ~FolderBrowser() override;

    // Selects and shows an existing folder; false (and no change) otherwise.
    bool SetSelection(const std::filesystem::path& folder);
    std::filesystem::path Selection() const;
    void SetStatusText(const std::string& text);
    std::string StatusText() const;
    void SetEditText(const std::string& text);
    void EnableOK(bool enable);
    // What OK does: the typed name or the selected folder, checked.
    void Choose();
    void Cancel();
    const std::optional<std::filesystem::path>& Chosen() const { return chosen_; }

    int ShowModal() override;

  private:
    void OnSelectionChanged(wxTreeEvent& event);
    int Call(BrowseEvent event, const std::string& argument);

    BrowseInfo info_;
    wxGenericDirCtrl* tree_ = nullptr;
    wxStaticText* status_ = nullptr;
    wxTextCtrl* edit_ = nullptr;
    std::optional<std::filesystem::path> chosen_;
};

// Shows the browser modally: the chosen folder, or none when cancelled.
std::optional<std::filesystem::path> BrowseForFolder(const BrowseInfo& info);

}  // namespace platform::ui
