#include "controls/FolderDialog.h"

#include <wx/app.h>
#include <wx/utils.h>

#include "platform/Prompt.h"

namespace controls {

CFolderDialog::CFolderDialog(std::string title, std::filesystem::path initial, unsigned flags,
                             wxWindow* owner)
    : initial_(std::move(initial)) {
    info_.owner = owner;
    info_.title = std::move(title);
    info_.flags = flags;
}

int CFolderDialog::DoModal() {
    info_.callback = [this](platform::ui::FolderBrowser& browser, platform::ui::BrowseEvent event,
                            const std::string& argument) { return Callback(browser, event, argument); };
    if (info_.owner == nullptr && wxTheApp != nullptr) info_.owner = wxTheApp->GetTopWindow();
    const auto item = platform::ui::BrowseForFolder(info_);
    if (!item) return platform::IDCANCEL;
    std::error_code ec;
    if (!std::filesystem::is_directory(*item, ec)) return -1;
    chosen_ = *item;
    displayName_ = item->filename().empty() ? item->string() : item->filename().string();
    return platform::IDOK;
}

int CFolderDialog::Callback(platform::ui::FolderBrowser& browser, platform::ui::BrowseEvent event,
                            const std::string& argument) {
    // Steering the browser from a callback may call back at once (a new selection).
    platform::ui::FolderBrowser* const outer = browser_;
    browser_ = &browser;
    int answer = 0;
    switch (event) {
        case platform::ui::BrowseEvent::Initialized:
            OnInitialized();
            break;
        case platform::ui::BrowseEvent::SelChanged:
            OnSelChanged(argument);
            break;
        case platform::ui::BrowseEvent::ValidateFailed:
            answer = OnValidateFailed(argument);
            break;
    }
    browser_ = outer;
    return answer;
}

void CFolderDialog::OnInitialized() {
    if (!initial_.empty()) SetSelection(initial_);
}

void CFolderDialog::OnSelChanged(const std::filesystem::path& folder) {
    if (info_.flags & platform::ui::browse::StatusText) SetStatusText(folder.string());
}

int CFolderDialog::OnValidateFailed(const std::string&) {
    wxBell();
    return 1;
}

void CFolderDialog::SetSelection(const std::filesystem::path& folder) {
    if (browser_ != nullptr) browser_->SetSelection(folder);
}

void CFolderDialog::SetStatusText(const std::string& text) {
    if (browser_ != nullptr) browser_->SetStatusText(text);
}

}  // namespace controls
