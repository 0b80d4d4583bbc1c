#include "app/DlgOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <wx/combobox.h>
#include <wx/event.h>
#include <wx/panel.h>
#include <wx/textctrl.h>

#include "app/HelpTopics.h"
#include "app/MainDlgStatus.h"
#include "drive/Qd.h"
#include "drive/UnitConversion.h"
#include "platform/Prompt.h"
#include "platform/ui/TabCtrl.h"

namespace app {

using platform::ui::ControlKind;
using platform::ui::ControlSpec;
using platform::ui::DluRect;
using platform::ui::Notify;
namespace style = platform::ui::style;

namespace {

constexpr const char* kGeneralTab = "General options";
constexpr const char* kUnitsTab = "Custom units";
constexpr const char* kBridgeTab = "Bridge";
constexpr const char* kHelpStem = "Tunova";
constexpr int kLibraryChannel = 5;
constexpr int kPageTop = 22;
constexpr const char* kRowNames[4] = {"Position", "Velocity", "Acceleration", "Torque"};
constexpr const char* kUnitPrefixes[3] = {"pos.", "vel.", "acc."};

std::vector<ControlSpec> UnitsLayout() {
    std::vector<ControlSpec> c = {
        {IDC_UNITS_TITLE, ControlKind::Static, "Select to change program units:", 0, DluRect{7, 4, 200, 10}},
        {IDC_UNITS_HEAD_PROGRAM, ControlKind::Static, "Program units", 0, DluRect{70, 24, 90, 10}},
        {IDC_UNITS_HEAD_DRIVE, ControlKind::Static, "Drive units", 0, DluRect{168, 24, 60, 10}},
        {IDC_UNITS_GROUP, ControlKind::GroupBox, "Custom units configuration", 0, DluRect{232, 14, 254, 126}},
        {IDC_UNITS_HEAD_NAME, ControlKind::Static, "Name", 0, DluRect{240, 24, 70, 10}},
        {IDC_UNITS_HEAD_MULTIPLIER, ControlKind::Static, "Conversion multiplier", 0,
         DluRect{316, 24, 90, 10}},
        {IDC_UNITS_HEAD_DECIMALS, ControlKind::Static, "N. decimals", 0, DluRect{412, 24, 60, 10}},
    };
    for (int row = 0; row < 4; ++row) {
        const int y = 38 + row * 24;
        c.push_back(
            {IDC_UNITS_LABEL_FIRST + row, ControlKind::Static, kRowNames[row], 0, DluRect{7, y + 2, 60, 10}});
        c.push_back({kUnitComboIds[row], ControlKind::Combo, "", style::DropList, DluRect{70, y, 90, 12}});
        c.push_back(
            {IDC_UNITS_DRIVE_FIRST + row, ControlKind::Static, "inc", 0, DluRect{168, y + 2, 60, 10}});
        c.push_back(
            {IDC_UNITS_NAME_FIRST + row, ControlKind::Edit, "", style::Disabled, DluRect{240, y, 70, 12}});
        c.push_back({IDC_UNITS_MULTIPLIER_FIRST + row, ControlKind::Edit, "", style::Disabled,
                     DluRect{316, y, 90, 12}});
        c.push_back({IDC_UNITS_DECIMALS_FIRST + row, ControlKind::Edit, "", style::Disabled,
                     DluRect{412, y, 40, 12}});
    }
    c.push_back({IDC_UNITS_WRITE, ControlKind::Button, "Write", style::Hidden, DluRect{370, 150, 50, 14}});
    c.push_back({IDC_UNITS_CANCEL, ControlKind::Button, "Cancel", style::Hidden, DluRect{430, 150, 50, 14}});
    return c;
}

std::vector<ControlSpec> BridgeLayout() {
    return {
        {IDC_BRIDGE_GROUP, ControlKind::GroupBox, "EtherCAT / Download firmware", 0, DluRect{7, 4, 478, 110}},
        {IDC_BRIDGE_FOE, ControlKind::Radio, "FoE", style::Group, DluRect{16, 18, 60, 10}},
        {IDC_BRIDGE_FOE_TEXT, ControlKind::Static,
         "1) Brings the node in bootstrap state.\n2) Downloads the firmware with File over EtherCAT "
         "protocol.\n3) Restores the previous node state.",
         0, DluRect{30, 30, 440, 30}},
        {IDC_BRIDGE_SDO, ControlKind::Radio, "SDO", 0, DluRect{16, 66, 60, 10}},
        {IDC_BRIDGE_SDO_TEXT, ControlKind::Static,
         "Downloads the firmware with SDO Can over EtherCAT protocol.", 0, DluRect{30, 78, 440, 10}},
    };
}

wxPanel* MakePage(wxWindow* parent, int width, int height) {
    return new wxPanel(parent, wxID_ANY, parent->ConvertDialogToPixels(wxPoint(2, kPageTop)),
                       parent->ConvertDialogToPixels(wxSize(width, height)));
}

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

bool ParseCustomUnit(const std::string& name, const std::string& multiplier, const std::string& decimals,
                     CustomUnitInput& out, std::string& error) {
    const std::string m = Trimmed(multiplier);
    char* end = nullptr;
    errno = 0;
    const double factor = m.empty() ? 0.0 : std::strtod(m.c_str(), &end);
    if (m.empty() || *end != '\0' || errno != 0 || !std::isfinite(factor) || factor <= 0.0) {
        error = "The conversion multiplier must be a number greater than 0";
        return false;
    }
    const std::string d = Trimmed(decimals);
    errno = 0;
    const long places = d.empty() ? -1 : std::strtol(d.c_str(), &end, 10);
    if (d.empty() || *end != '\0' || errno != 0 || places < 0 || places > 9) {
        error = "The number of decimals must be between 0 and 9";
        return false;
    }
    out.name = Trimmed(name);
    out.multiplier = factor;
    out.decimals = static_cast<int>(places);
    return true;
}

// ---- custom units page ----------------------------------------------------------------------------

CdlgCustomUnits::CdlgCustomUnits(wxWindow* parent, drive::CQd& qd, CdlgOptions& owner)
    : ControlHost(UnitsLayout()), qd_(qd), owner_(owner) {
    wxPanel* panel = MakePage(parent, 493, 185);
    Attach(panel);
    BuildControls(panel);
    for (int row = 0; row < 4; ++row) {
        OnCommand(kUnitComboIds[row], Notify::SelChanged, [this] {
            StartEditing();
            ApplyEnabling();
        });
        for (int first : {IDC_UNITS_NAME_FIRST, IDC_UNITS_MULTIPLIER_FIRST, IDC_UNITS_DECIMALS_FIRST})
            OnCommand(first + row, Notify::Changed, [this] { StartEditing(); });
    }
    OnCommand(IDC_UNITS_WRITE, Notify::Clicked, [this] { Write(); });
    OnCommand(IDC_UNITS_CANCEL, Notify::Clicked, [this] { Cancel(); });
    Fill();
}

void CdlgCustomUnits::Fill() {
    filling_ = true;
    const drive::CUnitConversion& units = qd_.Units();
    for (int row = 0; row < 4; ++row) {
        auto* combo = ItemAs<wxComboBox>(kUnitComboIds[row]);
        codes_[row].clear();
        if (combo) combo->Clear();
        int selected = 0;
        if (row < 3) {
            const std::string prefix = kUnitPrefixes[row];
            const int32_t current = units.SelectedCode(row);
            // The custom unit last, as in the torque row.
            for (bool customPass : {false, true})
                for (const auto& [key, entry] : units.Units()) {
                    if (key.compare(0, prefix.size(), prefix) != 0) continue;
                    if ((entry->code == drive::CUnitConversion::kCustomCode) != customPass) continue;
                    if (entry->code == current) selected = static_cast<int>(codes_[row].size());
                    codes_[row].push_back(entry->code);
                    if (combo) combo->Append(wxString::FromUTF8(entry->label));
                }
        } else {
            const bool brushless = qd_.State().className == "brushless";
            codes_[row] = {brushless ? 8 : 7, drive::CUnitConversion::kCustomCode};
            if (combo) {
                combo->Append(brushless ? "%Irm" : "%IR");
                combo->Append("custom");
            }
            selected = units.SelectedKey(drive::CUnitConversion::kTorque) == "tor.Cus" ? 1 : 0;
        }
        if (combo && !codes_[row].empty()) combo->SetSelection(selected);
        const drive::CUnitConversion::CustomUnit& custom = units.Custom(row);
        char text[64];
        std::snprintf(text, sizeof text, "%f", custom.factor);
        SetItemText(IDC_UNITS_NAME_FIRST + row, custom.name);
        SetItemText(IDC_UNITS_MULTIPLIER_FIRST + row, text);
        SetItemText(IDC_UNITS_DECIMALS_FIRST + row, std::to_string(custom.decimals));
    }
    const std::string driveTexts[4] = {units.drivePositionLabel, units.driveVelocityKey,
                                       units.driveAccelerationKey, units.torqueLabel};
    for (int row = 0; row < 4; ++row)
        SetItemText(IDC_UNITS_DRIVE_FIRST + row, driveTexts[row].empty() ? "inc" : driveTexts[row]);
    ApplyEnabling();
    filling_ = false;
}

int32_t CdlgCustomUnits::SelectedCode(int row) const {
    auto* combo = ItemAs<wxComboBox>(kUnitComboIds[row]);
    const int index = combo ? combo->GetSelection() : -1;
    if (index < 0 || static_cast<size_t>(index) >= codes_[row].size()) return -1;
    return codes_[row][static_cast<size_t>(index)];
}

void CdlgCustomUnits::SelectCode(int row, int32_t code) {
    auto* combo = ItemAs<wxComboBox>(kUnitComboIds[row]);
    for (size_t i = 0; combo && i < codes_[row].size(); ++i) {
        if (codes_[row][i] != code) continue;
        combo->SetSelection(static_cast<int>(i));
        RouteCommand(kUnitComboIds[row], Notify::SelChanged);
        return;
    }
}

void CdlgCustomUnits::ApplyEnabling() {
    for (int row = 0; row < 4; ++row) {
        const bool custom = SelectedCode(row) == drive::CUnitConversion::kCustomCode;
        for (int first : {IDC_UNITS_NAME_FIRST, IDC_UNITS_MULTIPLIER_FIRST, IDC_UNITS_DECIMALS_FIRST})
            EnableItem(first + row, custom);
    }
}

void CdlgCustomUnits::StartEditing() {
    if (filling_ || editing_) return;
    editing_ = true;
    ShowItem(IDC_UNITS_WRITE, true);
    ShowItem(IDC_UNITS_CANCEL, true);
    owner_.LockForEditing(true);
}

void CdlgCustomUnits::Cancel() {
    Fill();
    editing_ = false;
    ShowItem(IDC_UNITS_WRITE, false);
    ShowItem(IDC_UNITS_CANCEL, false);
    owner_.LockForEditing(false);
}

bool CdlgCustomUnits::Write() {
    if (owner_.ScopeVisible()) {
        platform::Prompts().MessageBox("Please close the Oscilloscope and retry", "",
                                       platform::MB_ICONWARNING);
        return false;
    }
    // Every row is checked before anything changes: a refused row leaves all units as they were.
    std::array<CustomUnitInput, 4> inputs;
    for (int row = 0; row < 4; ++row) {
        if (SelectedCode(row) != drive::CUnitConversion::kCustomCode) {
            inputs[row] = {qd_.Units().Custom(row).name, qd_.Units().Custom(row).factor,
                           qd_.Units().Custom(row).decimals};
            continue;
        }
        std::string error;
        if (!ParseCustomUnit(GetItemText(IDC_UNITS_NAME_FIRST + row),
                             GetItemText(IDC_UNITS_MULTIPLIER_FIRST + row),
                             GetItemText(IDC_UNITS_DECIMALS_FIRST + row), inputs[row], error)) {
            platform::Prompts().MessageBox(std::string(kRowNames[row]) + ": " + error, "Custom units",
                                           platform::MB_ICONWARNING);
            FocusItem(IDC_UNITS_MULTIPLIER_FIRST + row);
            return false;
        }
    }
    drive::CUnitConversion& units = qd_.Units();
    for (int row = 0; row < 4; ++row) {
        drive::CUnitConversion::CustomUnit& custom = units.Custom(row);
        custom.name = inputs[row].name;
        custom.factor = inputs[row].multiplier;
        custom.decimals = inputs[row].decimals;
    }
    units.SelectPositionUnit(SelectedCode(0));
    units.SelectVelocityUnit(SelectedCode(1));
    units.SelectAccelerationUnit(SelectedCode(2));
    units.SelectTorqueUnit(SelectedCode(3), qd_.State().className);
    Cancel();
    return true;
}

// ---- bridge page ----------------------------------------------------------------------------------

CDlgBridgeOptions::CDlgBridgeOptions(wxWindow* parent, int flag) : ControlHost(BridgeLayout()), flag_(flag) {
    wxPanel* panel = MakePage(parent, 493, 173);
    Attach(panel);
    BuildControls(panel);
    CheckItem(IDC_BRIDGE_FOE, flag_ == 1 ? 1 : 0);
    CheckItem(IDC_BRIDGE_SDO, flag_ == 1 ? 0 : 1);
    OnCommand(IDC_BRIDGE_FOE, Notify::Clicked, [this] { flag_ = 1; });
    OnCommand(IDC_BRIDGE_SDO, Notify::Clicked, [this] { flag_ = 0; });
}

// ---- the dialog -----------------------------------------------------------------------------------

CdlgOptions::CdlgOptions(drive::CQd& qd, std::function<bool()> scopeVisible, int* bridgeFlag)
    : Dialog({"Options",
              DluRect{0, 0, 497, 218},
              {{IDC_OPTIONS_TAB, ControlKind::Tab, "", 0, DluRect{7, 5, 463, 13}},
               {IDC_OPTIONS_HELP, ControlKind::Button, "Help", 0, DluRect{380, 199, 50, 14}},
               {IDC_OPTIONS_CLOSE, ControlKind::Button, "Close", 0, DluRect{440, 199, 50, 14}}}}),
      qd_(qd),
      scopeVisible_(std::move(scopeVisible)),
      bridgeFlag_(bridgeFlag) {
    OnCommand(IDC_OPTIONS_HELP, Notify::Clicked, [this] { ShowHelpTopic(HelpTopic()); });
}

CdlgOptions::~CdlgOptions() = default;

bool CdlgOptions::OnInitDialog() {
    auto* tab = ItemAs<platform::ui::TabCtrl>(IDC_OPTIONS_TAB);
    if (!tab) return true;
    tab->InsertItem(0, kGeneralTab);
    // The general choices come with the configuration pages; their place is kept.
    general_ = MakePage(Wx(), 493, 185);
    const drive::CQd::CDriveState& state = qd_.State();
    const bool notServo =
        qd_.MenuInputs().supplyUnit ||
        FamilyOf(state.className == "supply", state.className == "kwz", state.group) != DriveFamily::Servo;
    if (!notServo) {
        tab->InsertItem(tab->GetItemCount(), kUnitsTab);
        units_ = std::make_unique<CdlgCustomUnits>(Wx(), qd_, *this);
        units_->Wx()->Hide();
    }
    if (qd_.ChannelType() == kLibraryChannel) {
        tab->InsertItem(tab->GetItemCount(), kBridgeTab);
        bridge_ = std::make_unique<CDlgBridgeOptions>(Wx(), bridgeFlag_ ? *bridgeFlag_ : 1);
        bridge_->Wx()->Hide();
    }
    tab->SetCurSel(0);
    tab->selChange = [this, tab] { ShowPageOfTab(tab->GetItemText(tab->GetCurSel())); };
    Wx()->Bind(wxEVT_HELP, [this](wxHelpEvent&) { ShowHelpTopic(HelpTopic()); });
    return true;
}

void CdlgOptions::OnCancel() {
    // Close waits for the custom units' Write or Cancel, as the disabled button shows.
    if (units_ && units_->Editing()) return;
    Dialog::OnCancel();
}

void CdlgOptions::OnDestroy() {
    if (bridge_ && bridgeFlag_) *bridgeFlag_ = bridge_->Flag();
    Dialog::OnDestroy();
}

std::vector<std::string> CdlgOptions::TabTexts() const {
    std::vector<std::string> out;
    if (auto* tab = ItemAs<platform::ui::TabCtrl>(IDC_OPTIONS_TAB))
        for (int i = 0; i < tab->GetItemCount(); ++i) out.push_back(tab->GetItemText(i));
    return out;
}

void CdlgOptions::SelectTab(const std::string& text) {
    auto* tab = ItemAs<platform::ui::TabCtrl>(IDC_OPTIONS_TAB);
    if (!tab || !tab->IsEnabled()) return;
    for (int i = 0; i < tab->GetItemCount(); ++i) {
        if (tab->GetItemText(i) != text) continue;
        tab->SetCurSel(i);
        ShowPageOfTab(text);
    }
}

void CdlgOptions::ShowPageOfTab(const std::string& text) {
    if (general_) general_->Show(text == kGeneralTab);
    if (units_) units_->Wx()->Show(text == kUnitsTab);
    if (bridge_) bridge_->Wx()->Show(text == kBridgeTab);
}

bool CdlgOptions::GeneralShown() const {
    return general_ && general_->IsShown();
}

std::string CdlgOptions::HelpTopic() const {
    const bool unitsShown = units_ && units_->Wx() && units_->Wx()->IsShown();
    return std::string(kHelpStem) +
           (unitsShown ? ".chm::/ID_SECT_Qds_Variabili.html" : ".chm::/ID_PAR_Opzioni.html");
}

void CdlgOptions::LockForEditing(bool editing) {
    EnableItem(IDC_OPTIONS_TAB, !editing);
    EnableItem(IDC_OPTIONS_CLOSE, !editing);
}

}  // namespace app
