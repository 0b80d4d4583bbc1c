#include "platform/ui/PropertySheet.h"

#include <algorithm>

#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/panel.h>
#include <wx/sizer.h>

#include "platform/Prompt.h"

namespace platform::ui {

// ---------------------------------------------------------------- PropertyPage

PropertyPage::PropertyPage(std::string title, std::vector<ControlSpec> controls)
    : ControlHost(std::move(controls)), title_(std::move(title)) {}

void PropertyPage::SetModified(bool modified) {
    modified_ = modified;
    if (modified && sheet_ != nullptr) sheet_->PageModified();
}

bool PropertyPage::OnSetActive() {
    // The first activation follows the page's initialisation, which filled it.
    if (firstSetActive_)
        firstSetActive_ = false;
    else
        UpdateData(false);
    return true;
}

bool PropertyPage::OnKillActive() {
    return UpdateData(true);
}

bool PropertyPage::OnApply() {
    OnOK();
    return true;
}

bool PropertyPage::CreatePage(PropertySheet* sheet, wxWindow* parent) {
    sheet_ = sheet;
    firstSetActive_ = true;
    auto* panel = new wxPanel(parent, wxID_ANY, wxPoint(0, 0), parent->GetClientSize());
    panel->Hide();
    Attach(panel);
    BuildControls(panel);
    panel->SetSize(parent->GetClientSize());
    panel->Layout();
    return OnInitDialog();
}

// ---------------------------------------------------------------- PropertySheet

PropertySheet::PropertySheet(std::string caption, Options options)
    : caption_(std::move(caption)), options_(options) {}

PropertySheet::~PropertySheet() {
    // Pages belong to the caller; their windows go with ours.
    for (PropertyPage* page : pages_) page->DestroyWindow();
}

void PropertySheet::AddPage(PropertyPage* page) {
    if (page == nullptr) return;
    pages_.push_back(page);
    if (tab_ != nullptr && tab_->GetHandle() != nullptr) tab_->InsertItem(-1, page->Title());
}

void PropertySheet::SetTabCtrl(TabCtrl* tab) {
    if (!IsAlive()) tab_ = tab;
}

PropertyPage* PropertySheet::GetPage(int index) const {
    return index >= 0 && index < GetPageCount() ? pages_[index] : nullptr;
}

bool PropertySheet::Build(wxWindow* parent) {
    if (IsAlive()) return true;
    auto* dialog = new wxDialog(parent, wxID_ANY, wxString::FromUTF8(caption_), wxDefaultPosition,
                                wxDefaultSize, wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER);
    Attach(dialog);
    if (tab_ == nullptr) tab_ = new TabCtrl();
    tab_->Create(dialog, wxID_ANY);
    for (PropertyPage* page : pages_) tab_->InsertItem(-1, page->Title());
    tab_->SetMinSize(wxSize(-1, tab_->StripHeight() + 2));

    // The page area fits the largest page laid out in dialog units.
    wxSize area = dialog->ConvertDialogToPixels(wxSize(212, 140));
    for (PropertyPage* page : pages_) {
        int cx = 0;
        int cy = 0;
        for (const ControlSpec& spec : page->Controls()) {
            if (!spec.rect) continue;
            cx = std::max(cx, spec.rect->x + spec.rect->cx + 7);
            cy = std::max(cy, spec.rect->y + spec.rect->cy + 7);
        }
        const wxSize px = dialog->ConvertDialogToPixels(wxSize(cx, cy));
        area.x = std::max(area.x, px.x);
        area.y = std::max(area.y, px.y);
    }
    pageArea_ = new wxPanel(dialog, wxID_ANY, wxDefaultPosition, area);
    pageArea_->SetMinSize(area);
    pageArea_->Bind(wxEVT_SIZE, [this](wxSizeEvent& event) {
        event.Skip();
        LayoutPages();
    });

    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    auto addButton = [&](int id, const char* label) {
        auto* button = new wxButton(dialog, id, label);
        buttons->Add(button, 0, wxLEFT, 6);
        return button;
    };
    addButton(platform::IDOK, "OK")->SetDefault();
    addButton(platform::IDCANCEL, "Cancel");
    if (options_.apply) addButton(kApplyId, "&Apply")->Enable(false);
    if (options_.help) addButton(kHelpId, "Help");
    dialog->Bind(wxEVT_BUTTON, [this](wxCommandEvent& event) {
        switch (event.GetId()) {
            case platform::IDOK:
                PressOK();
                break;
            case platform::IDCANCEL:
                PressCancel();
                break;
            case kApplyId:
                PressApply();
                break;
            case kHelpId:
                PressHelp();
                break;
            default:
                event.Skip();
                break;
        }
    });
    dialog->Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { PressCancel(); });
    dialog->SetEscapeId(platform::IDCANCEL);

    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(tab_, 0, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, 6);
    column->Add(pageArea_, 1, wxEXPAND | wxLEFT | wxRIGHT, 6);
    column->Add(buttons, 0, wxALIGN_RIGHT | wxALL, 6);
    dialog->SetSizerAndFit(column);

    tab_->selChanging = [this] {
        PropertyPage* page = GetActivePage();
        return page != nullptr && !page->OnKillActive() ? -1 : 0;
    };
    tab_->selChange = [this] {
        const int previous = active_;
        if (!Activate(tab_->GetCurSel()) && previous >= 0) Activate(previous);
    };
    active_ = -1;
    if (!pages_.empty() && !Activate(std::clamp(startPage_, 0, GetPageCount() - 1))) Activate(0);
    return true;
}

void PropertySheet::LayoutPages() {
    if (pageArea_ == nullptr) return;
    const wxSize size = pageArea_->GetClientSize();
    for (PropertyPage* page : pages_) {
        if (page->IsCreated()) page->Wx()->SetSize(0, 0, size.x, size.y);
    }
}

bool PropertySheet::Activate(int index) {
    PropertyPage* page = GetPage(index);
    if (page == nullptr || pageArea_ == nullptr) return false;
    if (!page->IsCreated() && !page->CreatePage(this, pageArea_)) return false;
    if (!page->OnSetActive()) return false;
    for (PropertyPage* other : pages_) {
        if (other != page && other->IsCreated()) other->Wx()->Hide();
    }
    page->Wx()->SetSize(pageArea_->GetClientSize());
    page->Wx()->Show();
    active_ = index;
    tab_->SetCurSel(index);
    return true;
}

bool PropertySheet::SetActivePage(int index) {
    if (!IsAlive()) {
        startPage_ = index;
        return true;
    }
    if (index == active_) return true;
    if (GetPage(index) == nullptr) return false;
    PropertyPage* current = GetActivePage();
    if (current != nullptr && !current->OnKillActive()) return false;
    const int previous = active_;
    if (Activate(index)) return true;
    if (previous >= 0) Activate(previous);
    return false;
}

bool PropertySheet::ApplyAll() {
    PropertyPage* current = GetActivePage();
    if (current != nullptr && !current->OnKillActive()) return false;
    for (int i = 0; i < GetPageCount(); ++i) {
        PropertyPage* page = pages_[i];
        if (!page->IsCreated()) continue;
        if (!page->OnApply()) {
            if (i != active_) Activate(i);
            return false;
        }
    }
    for (PropertyPage* page : pages_) page->modified_ = false;
    applyEnabled_ = false;
    if (wxWindow* apply = IsAlive() ? Wx()->FindWindow(kApplyId) : nullptr) apply->Enable(false);
    return true;
}

bool PropertySheet::PressApply() {
    return ApplyAll();
}

bool PropertySheet::PressOK() {
    if (!ApplyAll()) return false;
    EndDialog(platform::IDOK);
    return true;
}

bool PropertySheet::PressCancel() {
    PropertyPage* current = GetActivePage();
    if (current != nullptr && !current->OnQueryCancel()) return false;
    for (PropertyPage* page : pages_) {
        if (page->IsCreated()) page->OnReset();
    }
    EndDialog(platform::IDCANCEL);
    return true;
}

void PropertySheet::PressHelp() {
    if (PropertyPage* current = GetActivePage()) current->OnHelp();
}

bool PropertySheet::IsApplyEnabled() const {
    return applyEnabled_;
}

void PropertySheet::PageModified() {
    applyEnabled_ = true;
    if (wxWindow* apply = IsAlive() ? Wx()->FindWindow(kApplyId) : nullptr) apply->Enable(true);
}

int PropertySheet::DoModal(wxWindow* parent) {
    if (!Build(parent)) return platform::IDCANCEL;
    const int result = static_cast<wxDialog*>(Wx())->ShowModal();
    for (PropertyPage* page : pages_) page->DestroyWindow();
    DestroyWindow();
    tab_ = nullptr;
    pageArea_ = nullptr;
    active_ = -1;
    return result;
}

bool PropertySheet::Create(wxWindow* parent) {
    if (!Build(parent)) return false;
    Wx()->Show();
    return true;
}

void PropertySheet::EndDialog(int result) {
    if (!IsAlive()) return;
    auto* dialog = static_cast<wxDialog*>(Wx());
    if (dialog->IsModal()) {
        dialog->EndModal(result);
        return;
    }
    for (PropertyPage* page : pages_) page->DestroyWindow();
    DestroyWindow();
    tab_ = nullptr;
    pageArea_ = nullptr;
    active_ = -1;
}

}  // namespace platform::ui
