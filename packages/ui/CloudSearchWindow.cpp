#include "packages/ui/CloudSearchWindow.h"

#include <wx/dialog.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

namespace packages::ui {

CCloudSearchWindow::CCloudSearchWindow(wxWindow* owner) : owner_(owner) {}

CCloudSearchWindow::~CCloudSearchWindow() {
    Close();
}

void CCloudSearchWindow::Open(const std::string& caption) {
    Close();
    window_ = new wxDialog(owner_, wxID_ANY, wxString::FromUTF8(caption), wxDefaultPosition, wxDefaultSize,
                           wxCAPTION);
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    for (auto*& line : lines_) {
        line =
            new wxStaticText(window_, wxID_ANY, "", wxDefaultPosition, wxSize(420, -1), wxST_NO_AUTORESIZE);
        sizer->Add(line, 0, wxALL | wxEXPAND, 8);
    }
    window_->SetSizerAndFit(sizer);
    window_->CentreOnParent();
    window_->Show();
    window_->Update();
}

void CCloudSearchWindow::SetText(int line, const std::string& text) {
    if (!window_ || line < 0 || line > 1) return;
    lines_[line]->SetLabel(wxString::FromUTF8(text));
    // The search blocks the window thread: draw now.
    lines_[line]->Update();
}

std::string CCloudSearchWindow::Text(int line) const {
    return window_ && line >= 0 && line <= 1 ? lines_[line]->GetLabel().utf8_string() : std::string();
}

void CCloudSearchWindow::Close() {
    if (!window_) return;
    window_->Destroy();
    window_ = nullptr;
    lines_[0] = lines_[1] = nullptr;
}

}  // namespace packages::ui
