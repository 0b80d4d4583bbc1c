#include "platform/ui/FolderBrowser.h"

#include <wx/button.h>
#include <wx/dirctrl.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

namespace platform::ui {

namespace {

wxString ToWx(const std::string& text) {
    return wxString::FromUTF8(text);
}

}  // namespace

FolderBrowser::FolderBrowser(const BrowseInfo& info)
    : wxDialog(info.owner, wxID_ANY, "Browse for Folder", wxDefaultPosition, wxSize(360, 420),
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER),
      info_(info) {
    auto* column = new wxBoxSizer(wxVERTICAL);
    if (!info_.title.empty()) column->Add(new wxStaticText(this, wxID_ANY, ToWx(info_.title)), 0, wxALL, 8);
    if (info_.flags & browse::StatusText) {
        status_ = new wxStaticText(this, wxID_ANY, wxEmptyString);
        column->Add(status_, 0, wxLEFT | wxRIGHT | wxEXPAND, 8);
    }
    tree_ = new wxGenericDirCtrl(this, wxID_ANY, "/", wxDefaultPosition, wxSize(340, 300),
                                 wxDIRCTRL_DIR_ONLY | wxDIRCTRL_3D_INTERNAL);
    column->Add(tree_, 1, wxALL | wxEXPAND, 8);
    if (info_.flags & browse::EditBox) {
        edit_ = new wxTextCtrl(this, wxID_ANY);
        column->Add(edit_, 0, wxLEFT | wxRIGHT | wxEXPAND, 8);
    }
    column->Add(CreateButtonSizer(wxOK | wxCANCEL), 0, wxALL | wxEXPAND, 8);
    SetSizer(column);
    Layout();
    Bind(wxEVT_DIRCTRL_SELECTIONCHANGED, &FolderBrowser::OnSelectionChanged, this);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { Choose(); }, wxID_OK);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { Cancel(); }, wxID_CANCEL);
}

FolderBrowser::~FolderBrowser() = default;

int FolderBrowser::Call(BrowseEvent event, const std::string& argument) {
    return info_.callback ? info_.callback(*this, event, argument) : 0;
}

int FolderBrowser::ShowModal() {
    // Told once the browser runs, so that the callback may already steer it.
    CallAfter([this] { Call(BrowseEvent::Initialized, {}); });
    return wxDialog::ShowModal();
}

bool FolderBrowser::SetSelection(const std::filesystem::path& folder) {
    std::error_code ec;
    if (folder.empty() || !std::filesystem::is_directory(folder, ec)) return false;
    const std::filesystem::path absolute = std::filesystem::absolute(folder, ec);
    tree_->SetPath(ToWx((ec ? folder : absolute).lexically_normal().string()));
    return true;
}

std::filesystem::path FolderBrowser::Selection() const {
    return std::filesystem::path(tree_->GetPath().utf8_string());
}

void FolderBrowser::SetStatusText(const std::string& text) {
    if (status_ != nullptr) status_->SetLabel(ToWx(text));
}

std::string FolderBrowser::StatusText() const {
    return status_ != nullptr ? status_->GetLabel().utf8_string() : std::string();
}

void FolderBrowser::SetEditText(const std::string& text) {
    if (edit_ != nullptr) edit_->ChangeValue(ToWx(text));
}

void FolderBrowser::EnableOK(bool enable) {
    if (wxWindow* ok = FindWindow(wxID_OK)) ok->Enable(enable);
}

void FolderBrowser::Choose() {
    std::filesystem::path folder = Selection();
    const std::string typed = edit_ != nullptr ? edit_->GetValue().utf8_string() : std::string();
    if (!typed.empty()) {
        std::filesystem::path name(typed);
        if (name.is_relative()) name = folder / name;
        std::error_code ec;
        if (!std::filesystem::is_directory(name, ec) && (info_.flags & browse::Validate)) {
            if (Call(BrowseEvent::ValidateFailed, typed) != 0) return;
            Cancel();
            return;
        }
        folder = name;
    }
    chosen_ = folder;
    EndModal(wxID_OK);
}

void FolderBrowser::Cancel() {
    chosen_.reset();
    EndModal(wxID_CANCEL);
}

void FolderBrowser::OnSelectionChanged(wxTreeEvent& event) {
    event.Skip();
    Call(BrowseEvent::SelChanged, Selection().string());
}

std::optional<std::filesystem::path> BrowseForFolder(const BrowseInfo& info) {
    FolderBrowser browser(info);
    if (browser.ShowModal() != wxID_OK) return std::nullopt;
    return browser.Chosen();
}

}  // namespace platform::ui
