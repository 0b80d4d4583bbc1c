#include "app/AboutDlg.h"

#include <algorithm>

#include <wx/textctrl.h>

#include "app/Startup.h"
#include "foundation/ProgramFolders.h"
#include "platform/Prompt.h"

namespace app {
namespace {

using platform::ui::ControlKind;
using platform::ui::DluRect;
namespace style = platform::ui::style;

}  // namespace

int ComponentLineCount(const std::string& text) {
    return 1 + static_cast<int>(std::count(text.begin(), text.end(), '\r'));
}

CAboutDlg::CAboutDlg()
    : Dialog({std::string("About ") + foundation::kProgramName,
              DluRect{0, 0, 260, 130},
              {{1000, ControlKind::Picture, "128", 0, DluRect{7, 7, 32, 32}},
               {IDC_ABOUT_PRODUCT, ControlKind::Static, "", 0, DluRect{46, 9, 206, 8}},
               {IDC_ABOUT_COPYRIGHT, ControlKind::Static, "", 0, DluRect{46, 21, 206, 8}},
               {IDC_ABOUT_PRIVATE_BUILD, ControlKind::Static, "", style::Hidden, DluRect{46, 33, 206, 8}},
               {IDC_ABOUT_COMPONENTS, ControlKind::Edit, "", style::ReadOnly | style::Multiline,
                DluRect{7, 46, 246, 56}},
               {platform::IDOK, ControlKind::DefaultButton, "OK", 0, DluRect{203, 109, 50, 14}}}}) {
    const ProgramState& state = Program();
    productText = state.productText;
    copyright = state.copyright;
    privateBuild = state.privateBuild;
}

bool CAboutDlg::OnInitDialog() {
    SetItemText(IDC_ABOUT_PRODUCT, productText);
    SetItemText(IDC_ABOUT_COPYRIGHT, copyright);
    if (!privateBuild.empty()) {
        SetItemText(IDC_ABOUT_PRIVATE_BUILD, privateBuild);
        ShowItem(IDC_ABOUT_PRIVATE_BUILD, true);
    }
    if (components.empty()) {
        ShowItem(IDC_ABOUT_COMPONENTS, false);
    } else {
        SetItemText(IDC_ABOUT_COMPONENTS, components);
        // The toolkit shows a scroll bar when the text needs one; more than four lines always get it.
        if (ComponentLineCount(components) > 4) {
            if (auto* edit = ItemAs<wxTextCtrl>(IDC_ABOUT_COMPONENTS))
                edit->SetWindowStyleFlag(edit->GetWindowStyleFlag() | wxVSCROLL | wxTE_MULTILINE);
        }
    }
    return true;
}

void ShowAboutBox(wxWindow* parent) {
    CAboutDlg dialog;
    dialog.components = GetComponentVersionsText();
    dialog.DoModal(parent);
}

CQzJovHelpDlg::CQzJovHelpDlg(const std::string& caption)
    : Dialog({caption,
              DluRect{0, 0, 300, 100},
              {{IDC_QZ_HELP_FIRST, ControlKind::Static, "To create a valid configuration you should:", 0,
                DluRect{7, 7, 286, 8}},
               {IDC_QZ_HELP_FIRST + 1, ControlKind::Static,
                "1) Go online with a compatible Jov ( 'Online/Offline connection' button )", 0,
                DluRect{14, 21, 279, 8}},
               {IDC_QZ_HELP_FIRST + 2, ControlKind::Static,
                "2) Select a motor and press 'Write' ( Menu Drive -> Drive setup... -> Motor and drive )", 0,
                DluRect{14, 33, 279, 8}},
               {IDC_QZ_HELP_FIRST + 3, ControlKind::Static, "3) Check the settings of the other pages", 0,
                DluRect{14, 45, 279, 8}},
               {IDC_QZ_HELP_FIRST + 4, ControlKind::Static, "4) Close and confirm saving", 0,
                DluRect{14, 57, 279, 8}},
               {platform::IDOK, ControlKind::DefaultButton, "OK", 0, DluRect{189, 79, 50, 14}},
               {platform::IDCANCEL, ControlKind::Button, "Cancel", 0, DluRect{243, 79, 50, 14}}}}) {}

}  // namespace app
