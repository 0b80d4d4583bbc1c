#pragma once
// The regulator's DIP-switch window of the main dialog: the eight switches of a setting and,
// below them, what each switch function of the drive description means for that setting.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <wx/gdicmn.h>

class wxPanel;
class wxStaticBox;
class wxStaticText;
class wxWindow;

namespace controls {
class CDipSwitch;
}  // namespace controls

namespace foundation {
class CXmlNode;
}  // namespace foundation

namespace app {

// One switch function: its title, the bits it takes and the text of each value.
struct DipFunction {
    std::string title;
    uint32_t mask = 0;
    std::vector<std::pair<uint32_t, std::string>> values;
};

// The "Func" elements of an "Extra\DipSwitch" node.
std::vector<DipFunction> ReadDipFunctions(const foundation::CXmlNode* node);
// "title: text" of a function for a setting; "?" when no value matches.
std::string DipFunctionText(const DipFunction& function, uint32_t setting);

class CDlgXulDipswitch {
  public:
    CDlgXulDipswitch(wxWindow* parent, const wxPoint& position);

    void LoadFunctions(const std::string& title, const foundation::CXmlNode* node);
    // Redraws the switches and the function lines when the value changed; false otherwise.
    bool SetSwitches(uint32_t value);

    wxPanel* Window() const { return panel_; }
    std::string Title() const;
    std::vector<std::string> Lines() const;
    std::optional<uint32_t> Shown() const { return shown_; }

  private:
    wxPanel* panel_;
    wxStaticBox* box_;
    controls::CDipSwitch* switches_;
    std::vector<DipFunction> functions_;
    std::vector<wxStaticText*> lines_;
    std::optional<uint32_t> shown_;
};

}  // namespace app
