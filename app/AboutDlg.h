#pragma once
// The About box and the configuration hint of the integrated start.

#include <string>

#include "platform/ui/ControlHost.h"

namespace app {

enum : int {
    IDC_ABOUT_COMPONENTS = 517,
    IDC_ABOUT_COPYRIGHT = 1007,
    IDC_ABOUT_PRIVATE_BUILD = 1083,
    IDC_ABOUT_PRODUCT = 1214,
};

class CAboutDlg : public platform::ui::Dialog {
  public:
    CAboutDlg();
    // The texts it shows (start-up's version texts by default).
    std::string productText;
    std::string copyright;
    std::string privateBuild;
    std::string components;

  protected:
    bool OnInitDialog() override;
};

// Lines of a component text: one more than its carriage returns.
int ComponentLineCount(const std::string& text);

// The About box over the frame.
void ShowAboutBox(wxWindow* parent = nullptr);

enum : int {
    IDC_QZ_HELP_FIRST = 1200,  // the five lines of the hint
};

// Shown by the drive object's connection in integrated mode when the peer tool gave no valid
// configuration; its caption is the peer's text.
class CQzJovHelpDlg : public platform::ui::Dialog {
  public:
    explicit CQzJovHelpDlg(const std::string& caption);
};

}  // namespace app
