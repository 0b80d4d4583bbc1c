#include "app/MessageDialogs.h"

#include <string>

#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/font.h>
#include <wx/gauge.h>
#include <wx/listbox.h>
#include <wx/statbmp.h>

#include "app/HelpTopics.h"
#include "controls/StaticColor.h"
#include "drive/ErrorReport.h"
#include "foundation/MessageIds.h"
#include "platform/Prompt.h"
#include "platform/ui/Images.h"
#include "platform/ui/WxPrompts.h"

namespace app {
namespace {

using platform::ui::ControlKind;
using platform::ui::ControlSpec;
using platform::ui::DluRect;
namespace style = platform::ui::style;

constexpr int IDYES = platform::IDYES;
constexpr int IDNO = platform::IDNO;
constexpr int IDOK = platform::IDOK;
constexpr int IDCANCEL = platform::IDCANCEL;

ControlSpec Picture(int image, DluRect rect) {
    return {IDC_MSG_PICTURE, ControlKind::Picture, image > 0 ? std::to_string(image) : std::string(), 0,
            rect};
}

ControlSpec ReadOnlyText(int id, DluRect rect, unsigned extra = 0) {
    return {id, ControlKind::Edit, "", style::ReadOnly | style::Multiline | extra, rect};
}

wxDialog* DialogWindow(const platform::ui::Dialog& dialog) {
    return static_cast<wxDialog*>(dialog.Wx());
}

}  // namespace

int MessageBoxCode(int button, bool ticked) {
    const int base = button == IDYES ? kMsgYes : button == IDNO ? kMsgNo : kMsgOk;
    return base + (ticked ? 1 : 0);
}

MessageBoxAnswer InterpretMessageBoxCode(int code) {
    MessageBoxAnswer answer;
    answer.proceed = code == kMsgYes || code == kMsgYesTicked || code == kMsgOk || code == kMsgOkTicked;
    answer.suppress = code == kMsgYesTicked || code == kMsgNoTicked || code == kMsgOkTicked;
    return answer;
}

// ---------------------------------------------------------------- CdlgMessageBox

CdlgMessageBox::CdlgMessageBox(int buttons)
    : Dialog({"Message Title",
              DluRect{0, 0, 323, 66},
              {Picture(kWarningImage, {7, 7, 32, 32}),
               ReadOnlyText(IDC_MSG_TEXT, {44, 4, 272, 43}),
               {IDC_MSG_DONT_SHOW, ControlKind::Check, "Don't show this message again", 0,
                DluRect{7, 50, 150, 10}},
               {IDYES, ControlKind::DefaultButton, "Yes", 0, DluRect{190, 48, 40, 14}},
               {IDOK, ControlKind::Button, "Ok", style::Hidden, DluRect{233, 48, 40, 14}},
               {IDNO, ControlKind::Button, "No", 0, DluRect{276, 48, 40, 14}}}}),
      buttons_(buttons) {
    OnCommand(IDYES, platform::ui::Notify::Clicked, [this] { End(IDYES); });
    OnCommand(IDNO, platform::ui::Notify::Clicked, [this] { End(IDNO); });
}

void CdlgMessageBox::SetMessage(const std::string& text, const std::string& caption, bool checked) {
    text_ = text;
    caption_ = caption;
    checked_ = checked;
}

bool CdlgMessageBox::OnInitDialog() {
    const bool yesNo = buttons_ == 2;
    ShowItem(IDYES, yesNo);
    ShowItem(IDNO, yesNo);
    ShowItem(IDOK, !yesNo);
    Wx()->SetLabel(wxString::FromUTF8(caption_));
    return Dialog::OnInitDialog();
}

void CdlgMessageBox::DoDataExchange(platform::ui::DataExchange& dx) {
    dx.Text(IDC_MSG_TEXT, text_);
    dx.Check(IDC_MSG_DONT_SHOW, checked_);
}

void CdlgMessageBox::End(int button) {
    UpdateData(true);
    EndDialog(MessageBoxCode(button, checked_));
}

void CdlgMessageBox::OnOK() {
    End(IDOK);
}

void CdlgMessageBox::OnCancel() {
    End(IDNO);
}

// ---------------------------------------------------------------- CdlgMessageDetails

void DetailsToggle::Measure(int collapsedBottom, int windowTop, int fullHeight) {
    collapsedHeight_ = collapsedBottom - windowTop;
    fullHeight_ = fullHeight;
}

int DetailsToggle::Toggle() {
    expanded_ = !expanded_;
    return expanded_ ? fullHeight_ : collapsedHeight_;
}

CdlgMessageDetails::CdlgMessageDetails(const std::string& caption, const std::string& text,
                                       const std::string& details)
    : Dialog({"",
              DluRect{0, 0, 293, 97},
              {Picture(kInformationImage, {7, 7, 32, 32}),
               ReadOnlyText(IDC_MSG_TEXT, {40, 7, 249, 29}),
               {IDOK, ControlKind::DefaultButton, "OK", 0, DluRect{182, 40, 50, 14}},
               {IDC_MSG_DETAILS, ControlKind::Button, "Details", 0, DluRect{236, 40, 50, 14}},
               ReadOnlyText(IDC_MSG_DETAILS_TEXT, {6, 57, 281, 37})}}),
      caption_(caption),
      text_(text),
      details_(details) {
    OnCommand(IDC_MSG_DETAILS, platform::ui::Notify::Clicked, [this] { OnDetails(); });
}

bool CdlgMessageDetails::OnInitDialog() {
    wxWindow* button = Item(IDC_MSG_DETAILS);
    wxDialog* dialog = DialogWindow(*this);
    // Measured in window coordinates: the window is not on the screen yet.
    const int frameTop = dialog->GetSize().y - dialog->GetClientSize().y;
    toggle_.Measure(frameTop + button->GetRect().GetBottom() + 1 + 12, 0, dialog->GetSize().y);
    dialog->SetMinSize(wxSize(dialog->GetSize().GetWidth(), 1));
    dialog->SetLabel(wxString::FromUTF8(caption_));
    SetItemText(IDC_MSG_TEXT, text_);
    SetItemText(IDC_MSG_DETAILS_TEXT, details_);
    OnDetails();  // opens collapsed
    return true;
}

void CdlgMessageDetails::OnDetails() {
    const int height = toggle_.Toggle();
    SetItemText(IDC_MSG_DETAILS, toggle_.ButtonText());
    // Hidden as well as cut off: the toolkit may keep a window as tall as its controls.
    ShowItem(IDC_MSG_DETAILS_TEXT, toggle_.Expanded());
    wxDialog* dialog = DialogWindow(*this);
    dialog->SetSize(dialog->GetSize().GetWidth(), height);
}

// ---------------------------------------------------------------- CdlgMessageStrong

CdlgMessageStrong::CdlgMessageStrong(const std::string& caption, const std::string& text,
                                     const std::string& details, int buttons)
    : Dialog({"Message title",
              DluRect{0, 0, 336, 151},
              {Picture(kWarningImage, {7, 7, 32, 32}),
               {IDC_MSG_TEXT, ControlKind::Edit, "", style::ReadOnly | style::Multiline | style::Hidden,
                DluRect{44, 7, 285, 30}},
               {IDC_MSG_ACKNOWLEDGE, ControlKind::Check,
                "I have understood this message and agree to continue (check me to enable the yes button)", 0,
                DluRect{7, 41, 322, 12}},
               {IDYES, ControlKind::DefaultButton, "Yes", style::Disabled, DluRect{143, 58, 50, 14}},
               {IDOK, ControlKind::Button, "Ok", style::Hidden, DluRect{197, 58, 50, 14}},
               {IDNO, ControlKind::Button, "No", 0, DluRect{197, 58, 50, 14}},
               {IDC_MSG_DETAILS, ControlKind::Button, "Details...", 0, DluRect{279, 58, 50, 14}},
               ReadOnlyText(IDC_MSG_DETAILS_TEXT, {7, 80, 322, 45}),
               {IDC_MSG_CLOSE_DETAILS, ControlKind::Button, "Close details", 0, DluRect{279, 130, 50, 14}}}}),
      caption_(caption),
      text_(text),
      details_(details),
      buttons_(buttons) {
    OnCommand(IDYES, platform::ui::Notify::Clicked, [this] { EndDialog(kMsgYes); });
    OnCommand(IDNO, platform::ui::Notify::Clicked, [this] { EndDialog(kMsgNo); });
    OnCommand(IDC_MSG_ACKNOWLEDGE, platform::ui::Notify::Clicked,
              [this] { EnableItem(IDYES, IsItemChecked(IDC_MSG_ACKNOWLEDGE) == 1); });
    OnCommand(IDC_MSG_DETAILS, platform::ui::Notify::Clicked, [this] {
        EnableItem(IDC_MSG_DETAILS, false);
        ShowDetails(true);
        height_ = halfHeight_ * 2;
        Wx()->SetSize(Wx()->GetSize().GetWidth(), height_);
    });
    OnCommand(IDC_MSG_CLOSE_DETAILS, platform::ui::Notify::Clicked, [this] {
        height_ = halfHeight_;
        Wx()->SetSize(Wx()->GetSize().GetWidth(), height_);
        ShowDetails(false);
        EnableItem(IDC_MSG_DETAILS, true);
    });
}

bool CdlgMessageStrong::OnInitDialog() {
    wxDialog* dialog = DialogWindow(*this);
    dialog->SetLabel(wxString::FromUTF8(caption_));
    halfHeight_ = dialog->GetSize().GetHeight() / 2;
    height_ = halfHeight_;
    // The window may be smaller than its controls: the details area is cut off below the fold.
    dialog->SetMinSize(wxSize(dialog->GetSize().GetWidth(), 1));
    dialog->SetSize(dialog->GetSize().GetWidth(), halfHeight_);
    ShowDetails(false);
    EnableItem(IDC_MSG_DETAILS, true);
    // The coloured label takes the text edit's place.
    wxWindow* edit = Item(IDC_MSG_TEXT);
    auto* label = new controls::CLabelColor();
    label->Create(edit->GetParent(), wxID_ANY, text_, edit->GetPosition(), edit->GetSize());
    label->textColor = 0x000000;
    label->textBackground = 0xFFFFFF;
    label->brushColor = 0xFFFFFF;
    label->SetFont(wxFont(wxFontInfo(11).Bold().FaceName("Arial")));
    label->Show();
    label_ = label;
    const bool yesNo = buttons_ == 2;
    ShowItem(IDYES, yesNo);
    ShowItem(IDNO, yesNo);
    ShowItem(IDC_MSG_ACKNOWLEDGE, yesNo);
    ShowItem(IDOK, !yesNo);
    SetItemText(IDC_MSG_DETAILS_TEXT, details_);
    return true;
}

void CdlgMessageStrong::ShowDetails(bool show) {
    // Hidden as well as cut off: the toolkit may keep a window as tall as its controls.
    ShowItem(IDC_MSG_DETAILS_TEXT, show);
    ShowItem(IDC_MSG_CLOSE_DETAILS, show);
}

void CdlgMessageStrong::OnOK() {
    if (IsItemShown(IDOK)) EndDialog(kMsgOk);
}

void CdlgMessageStrong::OnCancel() {
    // Escape and the close box leave the warning standing: only its buttons answer it.
}

// ---------------------------------------------------------------- CDlgMessageNB

CDlgMessageNB::CDlgMessageNB()
    : Dialog({"Write",
              DluRect{0, 0, 324, 66},
              {Picture(0, {7, 7, 32, 32}),
               ReadOnlyText(IDC_MSG_TEXT, {44, 7, 273, 36}),
               {IDOK, ControlKind::DefaultButton, "Write and recalculate", 0, DluRect{124, 47, 80, 14}},
               {IDC_MSG_WRITE_ONLY, ControlKind::Button, "Write only", 0, DluRect{208, 47, 52, 14}},
               {IDCANCEL, ControlKind::Button, "Cancel", 0, DluRect{264, 47, 53, 14}}}}) {
    OnCommand(IDC_MSG_WRITE_ONLY, platform::ui::Notify::Clicked, [this] { EndDialog(IDYES); });
}

bool CDlgMessageNB::OnInitDialog() {
    SetItemText(IDC_MSG_TEXT, text);
    const int image = imageType == 16   ? kErrorImage
                      : imageType == 48 ? kWarningImage
                      : imageType == 64 ? kInformationImage
                                        : 0;
    if (image != 0) {
        ItemAs<wxStaticBitmap>(IDC_MSG_PICTURE)->SetBitmap(platform::ui::LoadImageResource(image));
    } else {
        ShowItem(IDC_MSG_PICTURE, false);
    }
    return true;
}

// ---------------------------------------------------------------- CDlgMsgSafePlc

CDlgMsgSafePlc::CDlgMsgSafePlc(const std::string& titleLine, const std::string& message)
    : Dialog({"System manager",
              DluRect{0, 0, 260, 111},
              {Picture(kWarningImage, {7, 7, 32, 32}),
               {IDC_MSG_TITLE_LINE, ControlKind::Static, "", 0, DluRect{44, 7, 209, 8}},
               {IDC_MSG_TEXT, ControlKind::Static, "", 0, DluRect{44, 19, 209, 71}},
               {IDOK, ControlKind::DefaultButton, "OK", 0, DluRect{95, 92, 50, 14}},
               {IDCANCEL, ControlKind::Button, "Cancel", 0, DluRect{149, 92, 50, 14}},
               {IDC_MSG_HELP, ControlKind::Button, "Help", 0, DluRect{203, 92, 50, 14}}}}),
      title_(titleLine),
      message_(message) {
    OnCommand(IDC_MSG_HELP, platform::ui::Notify::Clicked,
              [this] { ShowHelpTopic(helpFile + "::/ID_SEZ_SystemManager.html#ID_PAR_SafetyCondition"); });
}

bool CDlgMsgSafePlc::OnInitDialog() {
    SetItemText(IDC_MSG_TITLE_LINE, title_);
    SetItemText(IDC_MSG_TEXT, message_);
    return true;
}

// ---------------------------------------------------------------- CDlgListSelect

CDlgListSelect::CDlgListSelect()
    : Dialog({"",
              DluRect{0, 0, 199, 144},
              {{IDC_MSG_PROMPT, ControlKind::Static, "", 0, DluRect{7, 7, 185, 8}},
               {IDC_MSG_LIST, ControlKind::ListBox, "", style::Border, DluRect{7, 18, 185, 99}},
               {IDOK, ControlKind::DefaultButton, "OK", 0, DluRect{88, 123, 50, 14}},
               {IDCANCEL, ControlKind::Button, "Cancel", 0, DluRect{142, 123, 50, 14}}}}) {
    // The user's choice, followed as it is made: the toolkit may show a first row as selected
    // when the list only got the focus.
    OnCommand(IDC_MSG_LIST, platform::ui::Notify::SelChanged,
              [this] { current_ = ItemAs<wxListBox>(IDC_MSG_LIST)->GetSelection(); });
}

bool CDlgListSelect::OnInitDialog() {
    auto* list = ItemAs<wxListBox>(IDC_MSG_LIST);
    if (items != nullptr) {
        for (const std::string& item : *items) list->Append(wxString::FromUTF8(item));
    }
    Wx()->SetLabel(wxString::FromUTF8(caption));
    SetItemText(IDC_MSG_PROMPT, prompt);
    if (selected >= 0 && selected < static_cast<int>(list->GetCount())) {
        list->SetSelection(selected);
        current_ = selected;
    }
    FocusItem(IDOK);
    return true;
}

void CDlgListSelect::OnOK() {
    selected = current_;
    EndDialog(IDOK);
}

// ---------------------------------------------------------------- CDlgOp

CDlgOp::CDlgOp(const std::string& title)
    : Dialog({"...",
              DluRect{0, 0, 360, 68},
              {{IDC_OP_LABEL, ControlKind::Static, "", style::Center, DluRect{7, 10, 346, 10}},
               {IDC_OP_PROGRESS, ControlKind::Progress, "", 0, DluRect{7, 26, 346, 12}},
               {IDCANCEL, ControlKind::Button, "Abort", 0, DluRect{155, 46, 50, 14}}}}),
      title_(title) {
    OnMessageId(foundation::kWaitDialogMessage, [this](uintptr_t wParam, intptr_t lParam) -> intptr_t {
        if (lParam == 0) {
            if (auto* gauge = ItemAs<wxGauge>(IDC_OP_PROGRESS)) gauge->SetValue(static_cast<int>(wParam));
            SetItemText(IDC_OP_LABEL, label);
        } else if (lParam == 1) {
            Finish(IDOK);
        }
        return 0;
    });
}

bool CDlgOp::OnInitDialog() {
    Wx()->SetLabel(wxString::FromUTF8(title_ + "... please wait"));
    SetItemText(IDC_OP_LABEL, label);
    if (auto* gauge = ItemAs<wxGauge>(IDC_OP_PROGRESS)) gauge->SetValue(0);
    return true;
}

int CDlgOp::Position() const {
    auto* gauge = ItemAs<wxGauge>(IDC_OP_PROGRESS);
    return gauge != nullptr ? gauge->GetValue() : 0;
}

void CDlgOp::OnCancel() {
    if (platform::ui::MessageBox("Abort all pending operations; confirm?", "Close",
                                 platform::MB_YESNO | platform::MB_ICONEXCLAMATION) == IDYES)
        Finish(IDCANCEL);
}

void CDlgOp::Finish(int result) {
    ended_ = true;
    endResult_ = result;
    EndDialog(result);
}

void RegisterMessageDialogs(platform::ui::WxPromptService& prompts) {
    auto owner = [] { return wxTheApp ? wxTheApp->GetTopWindow() : nullptr; };
    prompts.RegisterCustom(drive::kMessageDialogPrompt, [owner](const std::vector<std::string>& args, int*) {
        const auto arg = [&args](size_t i) { return i < args.size() ? args[i] : std::string(); };
        CdlgMessageBox box(arg(2) == "2" ? 2 : 0);
        box.SetMessage(arg(0), arg(1), false);
        return box.DoModal(owner());
    });
    prompts.RegisterCustom(drive::kMessageDetailsPrompt, [owner](const std::vector<std::string>& args, int*) {
        const auto arg = [&args](size_t i) { return i < args.size() ? args[i] : std::string(); };
        CdlgMessageDetails dialog(arg(0), arg(1), arg(2));
        return dialog.DoModal(owner());
    });
}

}  // namespace app
