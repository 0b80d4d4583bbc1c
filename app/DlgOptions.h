#pragma once
// The "Options" dialog: general choices, the custom units of the four quantities and, for drives
// reached through the fieldbus channel library, the bridge's firmware download method.

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/ControlHost.h"

class wxPanel;
class wxWindow;

namespace drive {
class CQd;
}  // namespace drive

namespace app {

enum : int {
    IDC_OPTIONS_TAB = 1180,
    IDC_OPTIONS_HELP = 9,
    IDC_OPTIONS_CLOSE = 2,
    IDC_UNITS_TITLE = 1590,
    IDC_UNITS_HEAD_PROGRAM = 1591,
    IDC_UNITS_HEAD_DRIVE = 1592,
    IDC_UNITS_GROUP = 1593,
    IDC_UNITS_HEAD_NAME = 1594,
    IDC_UNITS_HEAD_MULTIPLIER = 1595,
    IDC_UNITS_HEAD_DECIMALS = 1596,
    IDC_UNITS_POSITION = 595,
    IDC_UNITS_VELOCITY = 601,
    IDC_UNITS_ACCELERATION = 600,
    IDC_UNITS_TORQUE = 599,
    IDC_UNITS_LABEL_FIRST = 1600,  // + row
    IDC_UNITS_NAME_FIRST = 1605,
    IDC_UNITS_MULTIPLIER_FIRST = 1610,
    IDC_UNITS_DECIMALS_FIRST = 1615,
    IDC_UNITS_DRIVE_FIRST = 1620,
    IDC_UNITS_WRITE = 1630,
    IDC_UNITS_CANCEL = 1631,
    IDC_BRIDGE_GROUP = 1650,
    IDC_BRIDGE_FOE = 1651,
    IDC_BRIDGE_SDO = 1652,
    IDC_BRIDGE_FOE_TEXT = 1653,
    IDC_BRIDGE_SDO_TEXT = 1654,
};

// Rows of the custom units page, in the converter's quantity order.
constexpr int kUnitComboIds[4] = {IDC_UNITS_POSITION, IDC_UNITS_VELOCITY, IDC_UNITS_ACCELERATION,
                                  IDC_UNITS_TORQUE};

// A custom unit's typed values, checked: false with the reason when refused (a multiplier of 0
// or below would turn every value into 0 or flip its sign; decimals outside 0..9 cannot be shown).
struct CustomUnitInput {
    std::string name;
    double multiplier = 1.0;
    int decimals = 0;
};
bool ParseCustomUnit(const std::string& name, const std::string& multiplier, const std::string& decimals,
                     CustomUnitInput& out, std::string& error);

class CdlgOptions;

// The custom units page.
class CdlgCustomUnits : public platform::ui::ControlHost {
  public:
    CdlgCustomUnits(wxWindow* parent, drive::CQd& qd, CdlgOptions& owner);

    // Combo boxes and edits from the converter; browsing state.
    void Fill();
    void Cancel();
    // False when refused (the user was told) and the page stays in the editing state.
    bool Write();
    bool Editing() const { return editing_; }
    // The unit codes of a row's list, in order.
    const std::vector<int32_t>& Codes(int row) const { return codes_[row]; }
    void SelectCode(int row, int32_t code);

  private:
    void StartEditing();
    void ApplyEnabling();
    int32_t SelectedCode(int row) const;

    drive::CQd& qd_;
    CdlgOptions& owner_;
    std::array<std::vector<int32_t>, 4> codes_;
    bool editing_ = false;
    bool filling_ = false;
};

// The bridge page: the EtherCAT firmware download method (1 FoE, 0 SDO).
class CDlgBridgeOptions : public platform::ui::ControlHost {
  public:
    CDlgBridgeOptions(wxWindow* parent, int flag);
    int Flag() const { return flag_; }

  private:
    int flag_;
};

class CdlgOptions : public platform::ui::Dialog {
  public:
    // scopeVisible: whether the oscilloscope window is shown (empty: never). bridgeFlag: the
    // firmware download method the bridge page edits (null: the page keeps its own).
    CdlgOptions(drive::CQd& qd, std::function<bool()> scopeVisible = {}, int* bridgeFlag = nullptr);
    ~CdlgOptions() override;

    std::vector<std::string> TabTexts() const;
    // The page of a tab text as a user click would show it.
    void SelectTab(const std::string& text);
    CdlgCustomUnits* CustomUnits() const { return units_.get(); }
    CDlgBridgeOptions* Bridge() const { return bridge_.get(); }
    bool GeneralShown() const;
    std::string HelpTopic() const;
    bool ScopeVisible() const { return scopeVisible_ && scopeVisible_(); }
    // The custom units page is editing: the tabs and Close wait for Write or Cancel.
    void LockForEditing(bool editing);

  protected:
    bool OnInitDialog() override;
    void OnCancel() override;
    void OnDestroy() override;

  private:
    void ShowPageOfTab(const std::string& text);

    drive::CQd& qd_;
    std::function<bool()> scopeVisible_;
    int* bridgeFlag_;
    wxPanel* general_ = nullptr;
    std::unique_ptr<CdlgCustomUnits> units_;
    std::unique_ptr<CDlgBridgeOptions> bridge_;
};

}  // namespace app
