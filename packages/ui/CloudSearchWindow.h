#pragma once
// The modeless window of the cloud search ("Searching libraries in source directory") with its two
// text lines, installed for the search with foundation::SetCloudSearchProgress.

#include <memory>
#include <string>

#include "foundation/CloudSearch.h"

class wxWindow;
class wxDialog;
class wxStaticText;

namespace packages::ui {

class CCloudSearchWindow : public foundation::CCloudSearchProgress {
  public:
    // Centred over owner (may be null). Runs on the window thread, as the search does.
    explicit CCloudSearchWindow(wxWindow* owner);
    ~CCloudSearchWindow() override;
    void Open(const std::string& caption) override;
    void SetText(int line, const std::string& text) override;
    void Close() override;

    wxDialog* Wx() const { return window_; }
    std::string Text(int line) const;

  private:
    wxWindow* owner_;
    wxDialog* window_ = nullptr;
    wxStaticText* lines_[2] = {nullptr, nullptr};
};

}  // namespace packages::ui
