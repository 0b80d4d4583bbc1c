#include "platform/ui/ControlHost.h"

#include <charconv>
#include <cstdio>

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/dialog.h>
#include <wx/gauge.h>
#include <wx/listbox.h>
#include <wx/listctrl.h>
#include <wx/radiobut.h>
#include <wx/sizer.h>
#include <wx/slider.h>
#include <wx/spinbutt.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/treectrl.h>

#include "platform/Prompt.h"
#include "platform/StringHelpers.h"

namespace platform::ui {
namespace {

std::string ToUtf8(const wxString& text) {
    return text.utf8_string();
}

template <class T>
bool ParseNumber(const std::string& raw, T& out) {
    const std::string text = platform::Trim(raw, " \t");
    if (text.empty()) return false;
    const char* begin = text.data();
    if constexpr (std::is_unsigned_v<T>) {
        if (*begin == '+') ++begin;
    }
    auto [end, ec] = std::from_chars(begin, text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

// ---------------------------------------------------------------- DataExchange

void DataExchange::Fail(int id, const std::string& message) {
    failed_ = true;
    platform::Prompts().MessageBox(message, "", platform::MB_OK | platform::MB_ICONWARNING);
    host_.FocusItem(id);
}

void DataExchange::Text(int id, std::string& value) {
    if (failed_) return;
    if (saving_)
        value = host_.GetItemText(id);
    else
        host_.SetItemText(id, value);
}

void DataExchange::Int(int id, int& value) {
    if (failed_) return;
    if (!saving_) {
        host_.SetItemText(id, std::to_string(value));
    } else if (int parsed = 0; ParseNumber(host_.GetItemText(id), parsed)) {
        value = parsed;
    } else {
        Fail(id, "Please enter an integer.");
    }
}

void DataExchange::UInt(int id, unsigned& value) {
    if (failed_) return;
    if (!saving_) {
        host_.SetItemText(id, std::to_string(value));
    } else if (unsigned parsed = 0; ParseNumber(host_.GetItemText(id), parsed)) {
        value = parsed;
    } else {
        Fail(id, "Please enter a positive integer.");
    }
}

void DataExchange::Double(int id, double& value) {
    if (failed_) return;
    if (!saving_) {
        char buffer[64];
        std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, value);
        host_.SetItemText(id, std::string(buffer, r.ptr));
    } else if (double parsed = 0; ParseNumber(host_.GetItemText(id), parsed)) {
        value = parsed;
    } else {
        Fail(id, "Please enter a number.");
    }
}

void DataExchange::Check(int id, bool& value) {
    if (failed_) return;
    if (saving_)
        value = host_.IsItemChecked(id) == 1;
    else
        host_.CheckItem(id, value ? 1 : 0);
}

void DataExchange::Check(int id, int& value) {
    if (failed_) return;
    if (saving_)
        value = host_.IsItemChecked(id);
    else
        host_.CheckItem(id, value);
}

void DataExchange::Radio(int firstId, int& index) {
    if (failed_) return;
    const std::vector<int> group = host_.RadioGroup(firstId);
    if (saving_) {
        index = -1;
        for (size_t i = 0; i < group.size(); ++i) {
            if (host_.IsItemChecked(group[i]) == 1) index = static_cast<int>(i);
        }
        return;
    }
    for (size_t i = 0; i < group.size(); ++i) host_.CheckItem(group[i], static_cast<int>(i) == index ? 1 : 0);
}

void DataExchange::ListIndex(int id, int& index) {
    if (failed_) return;
    wxWindow* w = host_.Item(id);
    auto* items = dynamic_cast<wxItemContainer*>(w);
    if (items == nullptr) return;
    if (saving_) {
        index = items->GetSelection();
    } else if (auto* list = dynamic_cast<wxListBox*>(w); list != nullptr && index < 0) {
        list->SetSelection(wxNOT_FOUND);
    } else {
        items->SetSelection(index >= 0 && index < static_cast<int>(items->GetCount()) ? index : wxNOT_FOUND);
    }
}

void DataExchange::ComboText(int id, std::string& value) {
    if (failed_) return;
    auto* combo = host_.ItemAs<wxComboBox>(id);
    if (combo == nullptr) return;
    if (saving_) {
        value = ToUtf8(combo->GetValue());
        return;
    }
    const int found = combo->FindString(wxString::FromUTF8(value), true);
    if (found != wxNOT_FOUND)
        combo->SetSelection(found);
    else if (!combo->HasFlag(wxCB_READONLY))
        combo->ChangeValue(wxString::FromUTF8(value));
}

void DataExchange::Position(int id, int& value) {
    if (failed_) return;
    wxWindow* w = host_.Item(id);
    if (auto* slider = dynamic_cast<wxSlider*>(w)) {
        if (saving_)
            value = slider->GetValue();
        else
            slider->SetValue(value);
    } else if (auto* spin = dynamic_cast<wxSpinButton*>(w)) {
        if (saving_)
            value = spin->GetValue();
        else
            spin->SetValue(value);
    } else if (auto* gauge = dynamic_cast<wxGauge*>(w)) {
        if (saving_)
            value = gauge->GetValue();
        else
            gauge->SetValue(value);
    }
}

void DataExchange::MinMax(int id, int value, int minimum, int maximum) {
    if (failed_ || !saving_) return;
    if (value < minimum || value > maximum) {
        Fail(id, "Please enter an integer between " + std::to_string(minimum) + " and " +
                     std::to_string(maximum) + ".");
    }
}

void DataExchange::MinMax(int id, double value, double minimum, double maximum) {
    if (failed_ || !saving_) return;
    if (value < minimum || value > maximum) {
        char buffer[128];
        std::snprintf(buffer, sizeof buffer, "Please enter a number between %g and %g.", minimum, maximum);
        Fail(id, buffer);
    }
}

void DataExchange::MaxChars(int id, const std::string& value, size_t maximum) {
    if (failed_ || !saving_) return;
    if (value.size() > maximum) Fail(id, "Enter no more than " + std::to_string(maximum) + " characters.");
}

// ---------------------------------------------------------------- ControlHost

ControlHost::ControlHost(std::vector<ControlSpec> controls) : specs_(std::move(controls)) {}

wxWindow* ControlHost::Item(int id) const {
    auto it = items_.find(id);
    return it == items_.end() ? nullptr : it->second;
}

bool ControlHost::SetItemText(int id, const std::string& text) {
    wxWindow* w = Item(id);
    if (w == nullptr) return false;
    const wxString value = wxString::FromUTF8(text);
    if (auto* edit = dynamic_cast<wxTextCtrl*>(w)) {
        // Filling a field is not a user's change: no Changed notification.
        edit->ChangeValue(value);
    } else if (auto* combo = dynamic_cast<wxComboBox*>(w)) {
        if (combo->HasFlag(wxCB_READONLY)) {
            const int found = combo->FindString(value);
            combo->SetSelection(found);
        } else {
            combo->ChangeValue(value);
        }
    } else {
        w->SetLabel(value);
    }
    return true;
}

std::string ControlHost::GetItemText(int id) const {
    wxWindow* w = Item(id);
    if (w == nullptr) return {};
    if (auto* edit = dynamic_cast<wxTextCtrl*>(w)) return ToUtf8(edit->GetValue());
    if (auto* combo = dynamic_cast<wxComboBox*>(w)) return ToUtf8(combo->GetValue());
    if (auto* list = dynamic_cast<wxListBox*>(w)) return ToUtf8(list->GetStringSelection());
    return ToUtf8(w->GetLabel());
}

bool ControlHost::SetItemInt(int id, long value) {
    return SetItemText(id, std::to_string(value));
}

std::optional<long> ControlHost::GetItemInt(int id) const {
    long value = 0;
    if (!ParseNumber(GetItemText(id), value)) return std::nullopt;
    return value;
}

bool ControlHost::CheckItem(int id, int state) {
    wxWindow* w = Item(id);
    if (auto* check = dynamic_cast<wxCheckBox*>(w)) {
        if (check->Is3State()) {
            check->Set3StateValue(state == 2 ? wxCHK_UNDETERMINED : state ? wxCHK_CHECKED : wxCHK_UNCHECKED);
        } else {
            check->SetValue(state != 0);
        }
        return true;
    }
    if (auto* radio = dynamic_cast<wxRadioButton*>(w)) {
        if (state != 0) {
            radio->SetValue(true);
        } else if (radio->GetValue()) {
            // A radio can't be cleared by itself under GTK: a group with none
            // chosen is shown by choosing nothing in our group record.
            radio->SetValue(false);
        }
        return true;
    }
    return false;
}

int ControlHost::IsItemChecked(int id) const {
    wxWindow* w = Item(id);
    if (auto* check = dynamic_cast<wxCheckBox*>(w)) {
        if (check->Is3State()) {
            const wxCheckBoxState state = check->Get3StateValue();
            return state == wxCHK_UNDETERMINED ? 2 : state == wxCHK_CHECKED ? 1 : 0;
        }
        return check->GetValue() ? 1 : 0;
    }
    if (auto* radio = dynamic_cast<wxRadioButton*>(w)) return radio->GetValue() ? 1 : 0;
    return 0;
}

bool ControlHost::EnableItem(int id, bool enable) {
    wxWindow* w = Item(id);
    return w != nullptr && (w->Enable(enable), true);
}

bool ControlHost::IsItemEnabled(int id) const {
    wxWindow* w = Item(id);
    return w != nullptr && w->IsThisEnabled();
}

bool ControlHost::ShowItem(int id, bool show) {
    wxWindow* w = Item(id);
    return w != nullptr && (w->Show(show), true);
}

bool ControlHost::IsItemShown(int id) const {
    wxWindow* w = Item(id);
    return w != nullptr && w->IsShown();
}

bool ControlHost::FocusItem(int id) {
    wxWindow* w = Item(id);
    if (w == nullptr) return false;
    w->SetFocus();
    return true;
}

std::vector<int> ControlHost::RadioGroup(int firstId) const {
    std::vector<int> group;
    bool inGroup = false;
    for (const ControlSpec& spec : specs_) {
        if (!inGroup) {
            if (spec.id == firstId && spec.kind == ControlKind::Radio) {
                inGroup = true;
                group.push_back(spec.id);
            }
            continue;
        }
        if (spec.kind != ControlKind::Radio || (spec.style & style::Group)) break;
        group.push_back(spec.id);
    }
    return group;
}

bool ControlHost::ClickItem(int id) {
    wxWindow* w = Item(id);
    if (w == nullptr || !w->IsEnabled()) return false;
    wxEventType type = wxEVT_BUTTON;
    if (auto* check = dynamic_cast<wxCheckBox*>(w)) {
        type = wxEVT_CHECKBOX;
        check->SetValue(!check->GetValue());
    } else if (auto* radio = dynamic_cast<wxRadioButton*>(w)) {
        type = wxEVT_RADIOBUTTON;
        radio->SetValue(true);
    } else if (dynamic_cast<wxButton*>(w) == nullptr) {
        return false;
    }
    wxCommandEvent event(type, id);
    event.SetEventObject(w);
    if (type != wxEVT_BUTTON) event.SetInt(IsItemChecked(id));
    w->GetEventHandler()->ProcessEvent(event);
    return true;
}

void ControlHost::OnCommand(int id, Notify what, std::function<void()> handler) {
    commands_[{id, what}] = std::move(handler);
}

bool ControlHost::UpdateData(bool save) {
    DataExchange dx(*this, save);
    DoDataExchange(dx);
    return !dx.Failed();
}

bool ControlHost::OnInitDialog() {
    UpdateData(false);
    return true;
}

void ControlHost::BuildControls(wxWindow* content) {
    items_.clear();
    bool positioned = false;
    for (const ControlSpec& spec : specs_) positioned = positioned || spec.rect.has_value();
    wxBoxSizer* column = positioned ? nullptr : new wxBoxSizer(wxVERTICAL);
    wxBoxSizer* buttonRow = nullptr;
    for (const ControlSpec& spec : specs_) {
        wxWindow* w = CreateControl(content, spec);
        if (w == nullptr) continue;
        if (spec.id != -1) items_[spec.id] = w;
        if (column == nullptr) continue;
        const bool isButton = spec.kind == ControlKind::Button || spec.kind == ControlKind::DefaultButton;
        if (isButton) {
            if (buttonRow == nullptr) {
                buttonRow = new wxBoxSizer(wxHORIZONTAL);
                column->Add(buttonRow, 0, wxALIGN_RIGHT | wxALL, 4);
            }
            buttonRow->Add(w, 0, wxLEFT, 4);
            continue;
        }
        buttonRow = nullptr;
        const bool grows = spec.kind == ControlKind::ListBox || spec.kind == ControlKind::ListView ||
                           spec.kind == ControlKind::Tree || spec.kind == ControlKind::Custom ||
                           (spec.kind == ControlKind::Edit && (spec.style & style::Multiline));
        column->Add(w, grows ? 1 : 0, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, 6);
    }
    if (column != nullptr) {
        column->AddSpacer(6);
        content->SetSizer(column);
    }
    content->Bind(wxEVT_BUTTON, &ControlHost::OnWxCommand, this);
    content->Bind(wxEVT_CHECKBOX, &ControlHost::OnWxCommand, this);
    content->Bind(wxEVT_RADIOBUTTON, &ControlHost::OnWxCommand, this);
    content->Bind(wxEVT_TEXT, &ControlHost::OnWxCommand, this);
    content->Bind(wxEVT_COMBOBOX, &ControlHost::OnWxCommand, this);
    content->Bind(wxEVT_CHOICE, &ControlHost::OnWxCommand, this);
    content->Bind(wxEVT_LISTBOX, &ControlHost::OnWxCommand, this);
    content->Bind(wxEVT_LISTBOX_DCLICK, &ControlHost::OnWxCommand, this);
    content->Bind(wxEVT_SLIDER, &ControlHost::OnWxCommand, this);
}

void ControlHost::OnWxCommand(wxCommandEvent& event) {
    const int id = event.GetId();
    if (items_.count(id) == 0) {
        event.Skip();
        return;
    }
    const wxEventType type = event.GetEventType();
    Notify what = Notify::Clicked;
    if (type == wxEVT_TEXT)
        what = Notify::Changed;
    else if (type == wxEVT_COMBOBOX || type == wxEVT_CHOICE || type == wxEVT_LISTBOX || type == wxEVT_SLIDER)
        what = Notify::SelChanged;
    else if (type == wxEVT_LISTBOX_DCLICK)
        what = Notify::DoubleClicked;
    RouteCommand(id, what);
}

void ControlHost::RouteCommand(int id, Notify what) {
    auto it = commands_.find({id, what});
    if (it != commands_.end() && it->second) it->second();
}

// ---------------------------------------------------------------- Dialog

Dialog::Dialog(DialogSpec spec)
    : ControlHost(std::move(spec.controls)),
      title_(std::move(spec.title)),
      size_(spec.size),
      resizable_(spec.resizable) {}

Dialog::~Dialog() = default;

bool Dialog::Build(wxWindow* parent) {
    if (IsAlive()) return true;
    long flags = wxDEFAULT_DIALOG_STYLE | (resizable_ ? wxRESIZE_BORDER : 0);
    auto* dialog =
        new wxDialog(parent, wxID_ANY, wxString::FromUTF8(title_), wxDefaultPosition, wxDefaultSize, flags);
    Attach(dialog);
    if (size_) dialog->SetClientSize(dialog->ConvertDialogToPixels(wxSize(size_->cx, size_->cy)));
    BuildControls(dialog);
    if (!size_ && dialog->GetSizer() != nullptr) dialog->GetSizer()->SetSizeHints(dialog);
    dialog->SetEscapeId(platform::IDCANCEL);
    dialog->SetAffirmativeId(platform::IDOK);
    OnCommand(platform::IDOK, Notify::Clicked, [this] { OnOK(); });
    OnCommand(platform::IDCANCEL, Notify::Clicked, [this] { OnCancel(); });
    dialog->Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { OnCancel(); });
    // Escape without a Cancel button still cancels.
    dialog->Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& event) {
        if (event.GetKeyCode() == WXK_ESCAPE && Item(platform::IDCANCEL) == nullptr)
            OnCancel();
        else
            event.Skip();
    });
    return OnInitDialog();
}

int Dialog::DoModal(wxWindow* parent) {
    if (!Build(parent)) {
        DestroyWindow();
        return platform::IDCANCEL;
    }
    auto* dialog = static_cast<wxDialog*>(Wx());
    result_ = dialog->ShowModal();
    DestroyWindow();
    return result_;
}

bool Dialog::Create(wxWindow* parent) {
    if (!Build(parent)) {
        DestroyWindow();
        return false;
    }
    Wx()->Show();
    return true;
}

bool Dialog::IsModal() const {
    return IsAlive() && static_cast<wxDialog*>(Wx())->IsModal();
}

void Dialog::EndDialog(int result) {
    result_ = result;
    if (!IsAlive()) return;
    auto* dialog = static_cast<wxDialog*>(Wx());
    if (dialog->IsModal())
        dialog->EndModal(result);
    else
        DestroyWindow();
}

void Dialog::OnOK() {
    if (UpdateData(true)) EndDialog(platform::IDOK);
}

void Dialog::OnCancel() {
    EndDialog(platform::IDCANCEL);
}

}  // namespace platform::ui
