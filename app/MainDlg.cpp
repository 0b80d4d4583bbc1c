#include "app/MainDlg.h"

#include <cstdio>

#include <wx/bitmap.h>
#include <wx/choicdlg.h>
#include <wx/combobox.h>
#include <wx/dcmemory.h>
#include <wx/display.h>
#include <wx/gauge.h>
#include <wx/panel.h>
#include <wx/statbmp.h>
#include <wx/textctrl.h>

#include "app/DlgDriveErrors.h"
#include "app/DlgMaintenanceWindows.h"
#include "app/DlgOptions.h"
#include "app/MessageDialogs.h"
#include "app/Startup.h"
#include "controls/ComboBoxExt.h"
#include "controls/StaticColor.h"
#include "drive/DriveValueHelpers.h"
#include "drive/Qd.h"
#include "engine/Main.h"
#include "foundation/BrandList.h"
#include "foundation/XmlDocument.h"
#include "packages/FirmwareDownload.h"
#include "packages/ui/ConfigFileDialogs.h"
#include "packages/ui/DlgDownloadFirmware.h"
#include "platform/Prompt.h"
#include "platform/Registry.h"
#include "platform/ui/CommonDialogs.h"

namespace app {
namespace {

using platform::ui::ControlKind;
using platform::ui::ControlSpec;
using platform::ui::DluRect;
using platform::ui::Notify;
namespace style = platform::ui::style;

// The engine's answer for a name the drive's vocabulary lacks.
constexpr int kNameItemMissing = -303;
// "Save/Export parameters...".
constexpr uint32_t kCmdSaveExportParameters = 32840;
// The engine's change notice for the panel's groups.
constexpr unsigned kGroupNotice = 0x401;
constexpr int kLedSize = 9;

std::vector<ControlSpec> Layout() {
    std::vector<ControlSpec> c;
    auto add = [&c](int id, ControlKind kind, const std::string& text, unsigned st, DluRect r) {
        c.emplace_back(id, kind, text, st, r);
    };
    // Show variables.
    add(IDC_MAIN_SHOW_GROUP, ControlKind::GroupBox, "Show variables:", 0, {0, 0, 254, 91});
    for (int k = 0; k < 4; ++k) {
        // Place of the filtering combo that the dialog creates over it.
        add(kShowComboIds[k], ControlKind::Custom, "", 0, {4, 11 + 19 * k, 157, 14});
        add(kShowValueIds[k], ControlKind::Static, "", style::Sunken | style::Right,
            {162, 11 + 19 * k, 60, 12});
        add(kShowUnitIds[k], ControlKind::Static, "", 0, {225, 13 + 19 * k, 26, 8});
    }
    // Analog inputs.
    add(IDC_MAIN_ANALOG_GROUP, ControlKind::GroupBox, "", 0, {255, 0, 169, 91});
    for (int k = 0; k < 4; ++k) {
        add(kAnalogTitleIds[k], ControlKind::Static, "Analog input " + std::to_string(k) + ":", style::Hidden,
            {260, 9 + 20 * k, 60, 8});
        add(kAnalogBarIds[k], ControlKind::Progress, "", style::Hidden, {260, 18 + 20 * k, 90, 7});
        add(kAnalogEditIds[k], ControlKind::Edit, "", style::Hidden | style::ReadOnly,
            {354, 14 + 20 * k, 43, 12});
        add(kAnalogUnitIds[k], ControlKind::Static, "", style::Hidden, {400, 16 + 20 * k, 22, 8});
    }
    add(IDC_MAIN_XUL_PICTURE, ControlKind::Picture, "", style::Hidden, {279, 5, 60, 40});
    // Drive errors.
    add(IDC_MAIN_ERRORS_GROUP, ControlKind::GroupBox, "Drive errors:", 0, {425, 0, 100, 66});
    add(IDC_MAIN_WARNING_LABEL, ControlKind::Static, "Warning:", 0, {428, 15, 68, 8});
    add(IDC_MAIN_FAULT_LABEL, ControlKind::Static, "Fault:", 0, {428, 31, 68, 8});
    add(IDC_MAIN_WARNING_LED, ControlKind::Picture, "", 0, {498, 12, 10, 10});
    add(IDC_MAIN_FAULT_LED, ControlKind::Picture, "", 0, {498, 28, 10, 10});
    add(IDC_MAIN_HISTORY, ControlKind::Button, "History...", style::Hidden, {428, 46, 46, 14});
    add(IDC_MAIN_SHOW_ERRORS, ControlKind::Button, "Show errors", 0, {476, 46, 46, 14});
    add(IDC_MAIN_LOOP_LABEL, ControlKind::Static, "Loop type:", 0, {428, 70, 40, 8});
    add(IDC_MAIN_LOOP_VALUE, ControlKind::Static, "", style::Sunken, {468, 68, 56, 12});
    // Digital I/O.
    add(IDC_MAIN_IO_GROUP, ControlKind::GroupBox, "", 0, {0, 90, 525, 87});
    add(IDC_MAIN_DIGITAL_OUTPUT, ControlKind::Static, "Digital output:", 0, {4, 108, 44, 18});
    add(IDC_MAIN_DIGITAL_INPUT, ControlKind::Static, "Digital input:", 0, {4, 145, 44, 18});
    for (int i = 0; i < 16; ++i) {
        add(IDC_MAIN_OUT_LABEL_FIRST + i, ControlKind::Static, "OUT " + std::to_string(i), style::Hidden,
            {49 + 25 * i, 101, 24, 8});
        add(kOutputLedIds[i], ControlKind::Picture, "", style::Hidden, {52 + 25 * i, 110, 10, 10});
        add(kOutputButtonIds[i], ControlKind::Button, std::to_string(i), style::Hidden,
            {62 + 25 * i, 109, 10, 12});
        add(kInputLabelIds[i], ControlKind::Static, "IN " + std::to_string(i), style::Hidden,
            {49 + 25 * i, 136, 24, 8});
        add(kInputLedIds[i], ControlKind::Picture, "", style::Hidden, {51 + 25 * i, 148, 10, 10});
    }
    add(IDC_MAIN_ENABLE_LABEL, ControlKind::Static, "Operation enable:", 0, {4, 163, 60, 8});
    add(IDC_MAIN_ENABLE_LED, ControlKind::Picture, "", 0, {66, 162, 10, 10});
    add(IDC_MAIN_ENABLE_BUTTON, ControlKind::Button, "on/off", 0, {80, 160, 30, 13});
    add(IDC_MAIN_BRAKE_LABEL, ControlKind::Static, "Motor braked:", style::Disabled, {130, 163, 50, 8});
    add(IDC_MAIN_BRAKE_LED, ControlKind::Picture, "", 0, {182, 162, 10, 10});
    add(IDC_MAIN_BRAKE_BUTTON, ControlKind::Button, "on/off", style::Disabled, {196, 160, 30, 13});
    add(IDC_MAIN_SUPPLY_PICTURE, ControlKind::Picture, "", style::Hidden, {440, 100, 80, 70});
    // Drive status row.
    add(IDC_MAIN_STATUS_GROUP, ControlKind::GroupBox, "", 0, {0, 176, 525, 27});
    add(IDC_MAIN_POSITION_LABEL, ControlKind::Static, "Position:", 0, {4, 188, 30, 8});
    add(IDC_MAIN_POSITION, ControlKind::Static, "", style::Sunken | style::Right, {36, 186, 60, 12});
    add(IDC_MAIN_POSITION_UNIT, ControlKind::Static, "", 0, {98, 188, 24, 8});
    add(IDC_MAIN_SPEED_LABEL, ControlKind::Static, "Speed:", 0, {126, 188, 26, 8});
    add(IDC_MAIN_SPEED, ControlKind::Static, "", style::Sunken | style::Right, {152, 186, 60, 12});
    add(IDC_MAIN_SPEED_UNIT, ControlKind::Static, "", 0, {214, 188, 24, 8});
    add(IDC_MAIN_STATE_LABEL, ControlKind::Static, "Drive status:", 0, {242, 188, 46, 8});
    add(IDC_MAIN_STATE, ControlKind::Static, "", style::Sunken, {290, 186, 100, 12});
    add(IDC_MAIN_PLC_LABEL, ControlKind::Static, "PLC program:", 0, {396, 188, 46, 8});
    add(IDC_MAIN_PLC, ControlKind::Static, "", style::Sunken, {444, 186, 76, 12});
    // Supply rows (value beside the label, unit after it) over the status row's place.
    for (size_t r = 0; r < kSupplyRows.size(); ++r) {
        const SupplyRow& row = kSupplyRows[r];
        const int x = 4 + 175 * static_cast<int>(r % 3), y = 206 + 14 * static_cast<int>(r / 3);
        add(row.label, ControlKind::Static, row.caption, style::Hidden, {x, y + 2, 78, 8});
        add(row.value, ControlKind::Static, "", style::Hidden | style::Sunken | style::Right,
            {x + 80, y, 52, 12});
        add(IDC_SUPPLY_UNIT_FIRST + static_cast<int>(r), ControlKind::Static, row.unit, style::Hidden,
            {x + 134, y + 2, 20, 8});
    }
    // Identity.
    add(IDC_MAIN_CONNECTED_TO, ControlKind::Static, "Connected to:", 0, {4, 264, 50, 8});
    add(IDC_MAIN_IDENTITY, ControlKind::Edit, "", style::ReadOnly, {56, 262, 300, 12});
    add(IDC_MAIN_IDENTITY_FILE, ControlKind::Edit, "", style::ReadOnly, {360, 262, 165, 12});
    // ---- drive-program identity display ----
    // Under the status row, where only the supply and regulator families have rows of their own.
    add(IDC_MAIN_PROGRAM_LABEL, ControlKind::Static, "Program:", style::Hidden, {4, 208, 50, 8});
    add(IDC_MAIN_PROGRAM_NAME, ControlKind::Edit, "", style::Hidden | style::ReadOnly, {56, 206, 300, 12});
    add(IDC_MAIN_PROGRAM_DETAIL, ControlKind::Edit, "", style::Hidden | style::ReadOnly, {360, 206, 165, 12});
    return c;
}

wxColour LedColour(int slot) {
    switch (slot) {
        case kLedGreen:
            return wxColour(0, 160, 0);
        case kLedRed:
            return wxColour(220, 0, 0);
        case kLedOrange:
            return wxColour(255, 140, 0);
        case kLedPale:
            return wxColour(215, 215, 215);
        case kLedBright:
            return wxColour(120, 255, 120);
        case kLedUnknown:
            return wxColour(90, 90, 90);
        default:
            return wxColour(150, 150, 150);
    }
}

}  // namespace

// ---- commands posted to the dialog ----
// The dialog's own part of the commands; the rest goes to the frame's site when there is one.
class CPelmoraDlg::CommandSite : public CMainDlgCommandSite {
  public:
    explicit CommandSite(CPelmoraDlg& dialog) : dialog_(dialog) {}
    bool IsXulFamily() const override { return dialog_.family_ == DriveFamily::Xul; }
    bool IsIntegratedMotorFamily() const override {
        return dialog_.outerSite_ != nullptr && dialog_.outerSite_->IsIntegratedMotorFamily();
    }
    void CloseFrameWindows() override {
        if (dialog_.outerSite_) dialog_.outerSite_->CloseFrameWindows();
    }
    void RereadProgramIdentity() override {
        // ---- drive-program identity display ----
        dialog_.RefreshProgramIdentity();
        if (dialog_.outerSite_) dialog_.outerSite_->RereadProgramIdentity();
    }
    void ClearProgramName() override {
        // ---- drive-program identity display ----
        dialog_.SetItemText(IDC_MAIN_PROGRAM_NAME, "");
        if (dialog_.outerSite_) dialog_.outerSite_->ClearProgramName();
    }
    void RunOptionsDialog() override {
        CdlgOptions options(dialog_.drive_, dialog_.scopeVisible_);
        options.DoModal(dialog_.Wx());
    }
    void UpdateDriveInfo() override { dialog_.UpdateDriveInfo(); }
    std::string ProgramName() const override {
        return dialog_.outerSite_ ? dialog_.outerSite_->ProgramName() : CMainDlgCommandSite::ProgramName();
    }

    // ---- file commands ----
    std::optional<std::filesystem::path> ChooseFileToOpen(const FileChoice& choice) override {
        return platform::ui::ChooseFileToOpen(dialog_.Wx(), Spec(choice));
    }
    std::optional<std::filesystem::path> ChooseFileToSave(const FileChoice& choice) override {
        return platform::ui::ChooseFileToSave(dialog_.Wx(), Spec(choice));
    }
    std::optional<std::filesystem::path> ChooseConfigurationFile() override {
        foundation::CXmlDocument list;
        if (dialog_.drive_.ConnectionWindow().GetVocabularyList(list) > 0) {
            packages::ui::CdlgSelectConfigurationFile choice(&list.Root(), foundation::GetBrandList(),
                                                             nullptr, nullptr);
            if (choice.DoModal(dialog_.Wx()) != platform::IDOK || choice.file.empty()) return std::nullopt;
            return std::filesystem::path(choice.folder) / choice.file;
        }
        // No index of the configuration files: the file itself.
        FileChoice choice;
        choice.title = "Select configuration file";
        choice.filter = kConfigurationFileFilter;
        choice.folder = DocumentsFolder();
        return ChooseFileToOpen(choice);
    }
    std::vector<std::string> SelectMotors(
        const std::string& title, const std::string& button,
        const std::vector<std::pair<std::string, std::string>>& motors) override {
        wxArrayString texts;
        for (const auto& motor : motors) texts.Add(wxString::FromUTF8(motor.second));
        wxMultiChoiceDialog dialog(dialog_.Wx(), wxString::FromUTF8("Motors to " + button),
                                   wxString::FromUTF8(title), texts);
        std::vector<std::string> chosen;
        if (dialog.ShowModal() != wxID_OK) return chosen;
        for (int index : dialog.GetSelections())
            if (index >= 0 && static_cast<size_t>(index) < motors.size())
                chosen.push_back(motors[index].first);
        return chosen;
    }
    void CloseOscilloscope() override {
        if (dialog_.outerSite_) dialog_.outerSite_->CloseOscilloscope();
    }
    void CloseDriveSetup() override {
        if (dialog_.outerSite_) dialog_.outerSite_->CloseDriveSetup();
    }
    drive::CParamFileImportDrive* ParameterImportDrive() override {
        return dialog_.outerSite_ ? dialog_.outerSite_->ParameterImportDrive() : nullptr;
    }
    std::filesystem::path CommandLineConfiguration() const override {
        return dialog_.outerSite_ ? dialog_.outerSite_->CommandLineConfiguration() : std::filesystem::path();
    }
    bool LoadProgramSettings(const std::filesystem::path& file) override {
        return dialog_.outerSite_ && dialog_.outerSite_->LoadProgramSettings(file);
    }
    bool SaveProgramSettings(const std::filesystem::path& file, std::string* error) override {
        if (dialog_.outerSite_) return dialog_.outerSite_->SaveProgramSettings(file, error);
        return CMainDlgCommandSite::SaveProgramSettings(file, error);
    }
    void ConfigurationLoaded() override {
        if (dialog_.outerSite_) dialog_.outerSite_->ConfigurationLoaded();
        dialog_.RestoreShowVariables();
    }
    void StoreMessageBarPlacement() override {
        if (dialog_.outerSite_) dialog_.outerSite_->StoreMessageBarPlacement();
    }
    void RunArchiveDialog() override {
        if (dialog_.outerSite_) dialog_.outerSite_->RunArchiveDialog();
    }
    bool StartFirmwareUpdateCheck(int code) override {
        return dialog_.outerSite_ && dialog_.outerSite_->StartFirmwareUpdateCheck(code);
    }
    // ---- maintenance dialogs ----
    int RunPermanentMemoryDialog() override {
        const int result = app::RunPermanentMemoryDialog(dialog_.drive_, dialog_.Wx());
        // ---- drive-program identity display ----
        // The dialog may have saved the program.
        dialog_.RefreshProgramIdentity();
        return result;
    }
    // Firmware download
    bool HasFirmwareDownloadDialog() const override { return true; }
    int RunFirmwareDownloadDialog() override {
        packages::ui::CdlgDownloadFirmware download(dialog_.drive_, 0);
        return download.DoModal(dialog_.Wx());
    }

  private:
    static platform::ui::FileDialogSpec Spec(const FileChoice& choice) {
        platform::ui::FileDialogSpec spec;
        spec.title = choice.title;
        spec.filter = choice.filter;
        spec.defaultExtension = choice.extension;
        spec.initial = choice.name.empty() ? choice.folder : choice.folder / choice.name;
        return spec;
    }
    CPelmoraDlg& dialog_;
};

CPelmoraDlg::CPelmoraDlg(wxWindow* parent, drive::CQd& drive) : ControlHost(Layout()), drive_(drive) {
    auto* panel =
        new wxPanel(parent, wxID_ANY, wxPoint(0, 0), parent->ConvertDialogToPixels(wxSize(544, 276)));
    Attach(panel);
    BuildControls(panel);
    MakeLedBitmaps();
    // Live values in bold on coloured fields: green on black for the chosen variables, blue on
    // white for the rest.
    wxFont bold = panel->GetFont().Bold();
    auto overlay = [&](int id, platform::COLORREF text, platform::COLORREF background) {
        wxWindow* item = Item(id);
        if (!item) return;
        const bool shown = item->IsShown();
        auto* label = new controls::CStaticColor();
        if (!label->CreateOverItem(panel, id, text, background)) {
            delete label;
            return;
        }
        label->SetFont(bold);
        label->Show(shown);
        overlays_[id] = label;
    };
    for (int id : kShowValueIds) overlay(id, 0x00FF00, 0x000000);
    for (int id : {IDC_MAIN_POSITION, IDC_MAIN_SPEED, IDC_MAIN_STATE, IDC_MAIN_PLC, IDC_MAIN_LOOP_VALUE})
        overlay(id, 0xFF0000, 0xFFFFFF);
    for (const SupplyRow& row : kSupplyRows) overlay(row.value, 0xFF0000, 0xFFFFFF);
    for (int id : {IDC_MAIN_FAULT_LED, IDC_MAIN_WARNING_LED, IDC_MAIN_BRAKE_LED, IDC_MAIN_ENABLE_LED})
        SetLed(id, kLedOff);
    for (int i = 0; i < 16; ++i) {
        SetLed(kInputLedIds[i], kLedOff);
        SetLed(kOutputLedIds[i], kLedOff);
    }
    CreateShowCombos();
    for (int i = 0; i < 16; ++i)
        OnCommand(kOutputButtonIds[i], Notify::Clicked, [this, i] { ToggleOutput(i); });
    OnCommand(IDC_MAIN_BRAKE_BUTTON, Notify::Clicked, [this] { OnBrakeButton(); });
    OnCommand(IDC_MAIN_SHOW_ERRORS, Notify::Clicked, [this] { ShowErrorsWindow(); });
    // "History...": the diagnosis history window (the commands own it).
    OnCommand(IDC_MAIN_HISTORY, Notify::Clicked,
              [this] { commands_->OpenDiagHistory(wxGetTopLevelParent(Wx())); });
    for (size_t k = 0; k < 4; ++k) {
        auto* edit = ItemAs<wxTextCtrl>(kAnalogEditIds[k]);
        if (!edit) continue;
        edit->Bind(wxEVT_SET_FOCUS, [this, k, edit](wxFocusEvent& e) {
            const int v = viewSlots_[k];
            if (v >= 0 && views_[v].writable && views_[v].valid) {
                edit->SetEditable(true);
                views_[v].hold = 1000;
            }
            e.Skip();
        });
        edit->Bind(wxEVT_KILL_FOCUS, [this, k, edit](wxFocusEvent& e) {
            edit->SetEditable(false);
            if (viewSlots_[k] >= 0) views_[viewSlots_[k]].hold = 3;
            e.Skip();
        });
        edit->Bind(wxEVT_KEY_DOWN, [this, k, edit](wxKeyEvent& e) {
            if (e.GetKeyCode() == WXK_RETURN || e.GetKeyCode() == WXK_NUMPAD_ENTER) {
                WriteAnalogValue(k, edit->GetValue().utf8_string());
                return;
            }
            e.Skip();
        });
    }
    // ---- commands posted to the dialog ----
    commandSite_ = std::make_unique<CommandSite>(*this);
    commands_ = std::make_unique<CMainDlgCommands>(drive_, *commandSite_);
    // Firmware update: the drive object judges firmware files through the container reader.
    drive_.SetFirmwareInfoReader(packages::FirmwareContainerReader());
    for (unsigned message : MainDlgCommandMessages())
        OnMessageId(message, [this, message](uintptr_t wParam, intptr_t lParam) {
            return commands_->Handle(message, wParam, lParam);
        });
    OnInitDialog();
    // ---- drive-program identity display ----
    drive_.Hooks().stopProgramInfoRefresh = StopProgramRefreshHook{this};
}

CPelmoraDlg::~CPelmoraDlg() {
    // ---- drive-program identity display ----
    // The next connection's dialog may already have put its own hook in.
    auto& hook = drive_.Hooks().stopProgramInfoRefresh;
    if (const auto* mine = hook.target<StopProgramRefreshHook>(); mine && mine->dialog == this)
        hook = nullptr;
    StopProgramInfoRefresh();
    StopStatusGroups();
}

void CPelmoraDlg::OnDestroy() {
    StopProgramInfoRefresh();
    StopStatusGroups();
    if (errorsWindow_) errorsWindow_->DestroyWindow();
    started_ = false;
    ControlHost::OnDestroy();
}

// ---- drive errors window ----
void CPelmoraDlg::ShowErrorsWindow() {
    if (!errorsWindow_ || !errorsWindow_->IsAlive()) {
        errorsWindow_ = std::make_unique<CdlgErrorDialog>(drive_, errorList_.Node(),
                                                          drive_.IsConnected() && !drive_.IsOffline());
        if (!errorsWindow_->Create(wxGetTopLevelParent(Wx()))) {
            errorsWindow_.reset();
            return;
        }
    }
    errorsWindow_->ShowWindow(true);
    errorsWindow_->Wx()->Raise();
}

void CPelmoraDlg::MakeLedBitmaps() {
    const wxColour background = Wx()->GetBackgroundColour();
    for (int slot = 0; slot <= kLedUnknown; ++slot) {
        auto bitmap = std::make_unique<wxBitmap>(kLedSize + 4, kLedSize + 4);
        wxMemoryDC dc(*bitmap);
        dc.SetBackground(wxBrush(background));
        dc.Clear();
        dc.SetPen(wxPen(wxColour(60, 60, 60)));
        dc.SetBrush(wxBrush(LedColour(slot)));
        dc.DrawEllipse(1, 1, kLedSize + 2, kLedSize + 2);
        if (slot == kLedUnknown) {
            dc.SetTextForeground(*wxWHITE);
            dc.SetFont(wxFont(6, wxFONTFAMILY_SWISS, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_BOLD));
            dc.DrawText("?", 4, 0);
        }
        dc.SelectObject(wxNullBitmap);
        ledBitmaps_.push_back(std::move(bitmap));
    }
}

int CPelmoraDlg::LedSlot(int id) const {
    auto it = ledSlots_.find(id);
    return it == ledSlots_.end() ? -1 : it->second;
}

void CPelmoraDlg::SetLed(int id, int slot) {
    auto it = ledSlots_.find(id);
    if (it != ledSlots_.end() && it->second == slot) return;
    ledSlots_[id] = slot;
    if (auto* picture = ItemAs<wxStaticBitmap>(id)) picture->SetBitmap(*ledBitmaps_[slot]);
}

void CPelmoraDlg::ShowControl(int id, bool show) {
    auto it = overlays_.find(id);
    if (it != overlays_.end())
        it->second->Show(show);
    else
        ShowItem(id, show);
}

bool CPelmoraDlg::IsControlShown(int id) const {
    auto it = overlays_.find(id);
    return it != overlays_.end() ? it->second->IsShown() : IsItemShown(id);
}

void CPelmoraDlg::SetText(int id, const std::string& text) {
    if (auto it = overlays_.find(id); it != overlays_.end()) {
        if (it->second->Text() == text) return;
        it->second->SetText(text);
        SetItemText(id, text);  // the item under it keeps the same text
        return;
    }
    // Never under the user's typing, and only when the text changed.
    wxWindow* item = Item(id);
    if (!item || item->HasFocus() || GetItemText(id) == text) return;
    SetItemText(id, text);
}

CellView CPelmoraDlg::View(const std::string& name) const {
    auto it = cells_.find(name);
    if (it == cells_.end()) return {};
    return {it->second.status, it->second.value};
}

bool CPelmoraDlg::CheckScreenOnce(platform::Registry& registry, const std::string& key) {
    static bool checked = false;
    static bool goOn = true;
    if (checked) return goOn;
    checked = true;
    const uint32_t largeFonts = registry.GetDword(platform::Scope::User, key, "LargeFonts").value_or(0);
    const uint32_t smallScreen = registry.GetDword(platform::Scope::User, key, "SmallScreen").value_or(0);
    const ScreenCheck check = CheckScreen(Wx()->GetContentScaleFactor(),
                                          wxDisplay(Wx()).GetGeometry().GetWidth(), largeFonts, smallScreen);
    goOn = !check.closeAtOnce;
    for (ScreenQuestion question : check.ask) {
        if (!goOn) break;
        CdlgMessageBox box(2);
        box.SetMessage(question == ScreenQuestion::LargeFonts ? kLargeFontsQuestion : kSmallScreenQuestion,
                       "Start program", false);
        const MessageBoxAnswer answer = InterpretMessageBoxCode(box.DoModal(Wx()));
        if (answer.suppress)
            registry.SetDword(platform::Scope::User, key,
                              question == ScreenQuestion::LargeFonts ? "LargeFonts" : "SmallScreen",
                              answer.proceed ? kRememberedYes : kRememberedNo);
        goOn = answer.proceed;
    }
    return goOn;
}

void CPelmoraDlg::UpdateDriveInfo() {
    const auto& state = drive_.State();
    const std::string user = drive_.Identity().userDriveName;
    const std::string prefix = user.empty() ? "" : user + " - ";
    std::string text;
    if (drive_.IsOffline())
        text = prefix + state.description;
    else if (!drive_.IsConnected())
        drive_.GetConnectionText(text);
    else if (state.bootOnly)
        text = prefix + " FIRMWARE MISSING: BOOT ONLY !";
    else
        text = prefix + state.description;
    SetItemText(IDC_MAIN_IDENTITY, text);
    std::string connection;
    drive_.GetConnectionText(connection);
    SetItemText(IDC_MAIN_IDENTITY_FILE, drive_.IsConnected() ? connection : std::string());
}

void CPelmoraDlg::ApplyLayout() {
    const auto& state = drive_.State();
    family_ = FamilyOf(state.className == "supply", state.className == "kwz", state.group);
    if (family_ == DriveFamily::Supply) {
        uint32_t channels = 0;
        twoChannels_ = drive_.ReadCell("Current_channels", &channels) == 0 && channels == 2;
    }
    const PanelLayout layout = FamilyLayout(family_, twoChannels_, drive_.Description().loopTypeCaption);
    for (const auto& [id, shown] : layout.shown) ShowControl(id, shown);
    for (const auto& [id, caption] : layout.captions)
        if (!caption.empty()) SetItemText(id, caption);
    for (size_t r = 0; r < kSupplyRows.size(); ++r)
        ShowControl(IDC_SUPPLY_UNIT_FIRST + static_cast<int>(r), IsControlShown(kSupplyRows[r].value));
    const char* group = family_ == DriveFamily::Xul      ? "Xul errors:"
                        : family_ == DriveFamily::Supply ? "Supply errors:"
                        : family_ == DriveFamily::Kwz    ? "Kwz errors:"
                                                         : nullptr;
    if (group) SetItemText(IDC_MAIN_ERRORS_GROUP, group);
    ReadEnumerations();
    if (family_ == DriveFamily::Xul && !dips_[0]) {
        const foundation::CXmlNode* data = drive_.DriveData();
        const foundation::CXmlNode* node = data ? data->FindNode("Extra\\DipSwitch") : nullptr;
        const wxPoint first = Wx()->ConvertDialogToPixels(wxPoint(300, 96));
        dips_[0] = std::make_unique<CDlgXulDipswitch>(Wx(), first);
        dips_[0]->LoadFunctions("Actual dip-switch", node);
        const wxPoint second(first.x + dips_[0]->Window()->GetSize().x + 10, first.y);
        dips_[1] = std::make_unique<CDlgXulDipswitch>(Wx(), second);
        dips_[1]->LoadFunctions("Startup dip-switch", node);
    }
}

void CPelmoraDlg::BuildAnalogViews() {
    views_.clear();
    viewSlots_.fill(-1);
    for (int k = 0; k < 4; ++k)
        for (int id : {kAnalogTitleIds[k], kAnalogBarIds[k], kAnalogEditIds[k], kAnalogUnitIds[k]})
            ShowControl(id, false);
    for (const auto& list : drive_.Parameters().ioLists) {
        if (list->analog == 0 || list->address < 0 || list->address > 3 || list->elements.empty()) continue;
        if (viewSlots_[list->address] >= 0) continue;
        const drive::Cio_ListElement& e = *list->elements.front();
        AnalogScaling scaling{e.displayMin, e.displayMax, e.deviceMin,
                              e.deviceMax,  e.displayMin, e.displayMax};
        AnalogView view = BuildAnalogView(list->vocabularyName, scaling);
        uint8_t isSigned = 0, writable = 0;
        uint32_t size = 4;
        if (!drive_.IsOffline() &&
            drive_.GetCellInfo(list->vocabularyName, &isSigned, &size, &writable) == 0) {
            view.size = size == 1 || size == 2 ? size : 4;
            view.isSigned = isSigned != 0;
            view.writable = writable != 0;
        }
        const int k = list->address;
        viewSlots_[k] = static_cast<int>(views_.size());
        views_.push_back(view);
        SetItemText(kAnalogTitleIds[k], list->hardwareName);
        SetItemText(kAnalogUnitIds[k], e.unit);
        if (auto* bar = ItemAs<wxGauge>(kAnalogBarIds[k]))
            bar->SetRange(std::max(1, static_cast<int>(view.rawMax) - static_cast<int>(view.rawMin)));
        for (int id : {kAnalogTitleIds[k], kAnalogBarIds[k], kAnalogEditIds[k], kAnalogUnitIds[k]})
            ShowControl(id, true);
    }
}

void CPelmoraDlg::FirstRead() {
    const auto& state = drive_.State();
    std::vector<std::string> names = {state.statusWordCell, kInputsVariable, kOutputsVariable};
    for (const std::string& word : state.errorWordCells) names.push_back(word);
    switch (family_) {
        case DriveFamily::Servo:
            names.insert(names.end(),
                         {kBrakeTypeVariable, kPositionVariable, kVelocityVariable, kPlcStateVariable});
            if (!state.controlModeCell.empty()) names.push_back(state.controlModeCell);
            break;
        case DriveFamily::Supply:
            names.insert(names.end(),
                         {"supply_type", "stato_power_control", "brake_duty_cycle", "memoria_errore",
                          "timer_ripristino_fault", "vout_adc_eff", "i_hv_media", "i_rms"});
            if (twoChannels_)
                names.insert(names.end(), {"i_hv_media_1", "i_rms_1", "i_hv_media_2", "i_rms_2"});
            break;
        case DriveFamily::Xul:
            names.insert(names.end(),
                         {"VoutRmsFilt", "Fout", "IeccAltnRms", "VauxFilt", "DipSwitch", "DipSwitchConfig"});
            if (!state.controlModeCell.empty()) names.push_back(state.controlModeCell);
            break;
        case DriveFamily::Kwz:
            names.push_back("stato_operativo");
            break;
    }
    for (const auto& list : drive_.Parameters().ioLists)
        if (!list->vocabularyName.empty()) names.push_back(list->vocabularyName);
    if (drive_.IsOffline() || !drive_.IsConnected()) return;
    // One slot per read, sized from the list; a slot the group never reached stays "not executed".
    std::vector<uint32_t> values(names.size(), 0);
    std::vector<int32_t> results(names.size(), kReadNotExecuted);
    drive_.ClearEngineGroup();
    for (size_t i = 0; i < names.size(); ++i)
        drive_.AddReadToEngineGroup(names[i], &values[i], 4, &results[i]);
    const int code = drive_.ExecuteEngineGroup();
    for (size_t i = 0; i < names.size(); ++i) {
        drive::CParamDw& cell = cells_[names[i]];
        cell.status = FirstReadStatus(code, results[i]);
        if (cell.status == drive::kCellValid) cell.value = values[i];
    }
    for (const auto& list : drive_.Parameters().ioLists) {
        const drive::CParamDw& cell = cells_[list->vocabularyName];
        list->state.status = cell.status;
        list->state.value = cell.value;
    }
}

void CPelmoraDlg::Start() {
    if (!started_) {
        started_ = true;
        ApplyLayout();
        const bool offline = drive_.IsOffline();
        EnableItem(IDC_MAIN_SHOW_ERRORS, !offline);
        EnableItem(IDC_MAIN_ERRORS_GROUP, !offline);
        EnableItem(IDC_MAIN_WARNING_LABEL, !offline);
        EnableItem(IDC_MAIN_FAULT_LABEL, !offline);
        ShowControl(IDC_MAIN_WARNING_LED, !offline);
        ShowControl(IDC_MAIN_FAULT_LED, !offline);
        const bool boot = !offline && drive_.State().bootOnly;
        if (boot) EnableItem(IDC_MAIN_SHOW_ERRORS, false);
        for (size_t k = 0; k < 4; ++k) {
            controls::CComboBoxExt* combo = showCombos_[k];
            if (!combo) continue;
            combo->Model().ResetContent();
            combo->Model().AddString("");
            if (!boot)
                for (const auto& variable : drive_.Parameters().variables)
                    combo->Model().AddString(variable->title);
            combo->Model().curSel = 0;
            combo->Model().editText.clear();
            combo->Sync();
            combo->Enable(!boot);
        }
        if (!boot) RestoreShowVariables();
        UpdateDriveInfo();
        uint32_t historySize = 0;
        ShowControl(IDC_MAIN_HISTORY, drive_.IsConnected() && !drive_.IsOffline() &&
                                          drive_.ReadCell("DiagHistoryMaxMsg", &historySize) == 0);
        // One error list for the counters here and for the errors window's tree.
        errorList_.Load(drive_.DriveData(), LoadDefaultErrorList());
        errors_ = errorList_.Definitions();
        BuildAnalogViews();
        FirstRead();
        StatusPass();
        FastPass();
        // ---- drive-program identity display ----
        const bool program = ShowsProgramIdentity();
        for (int id : {IDC_MAIN_PROGRAM_LABEL, IDC_MAIN_PROGRAM_NAME, IDC_MAIN_PROGRAM_DETAIL})
            ShowControl(id, program);
        if (program && !boot) RefreshProgramIdentity();
        Post(kMainDlgStartupChecksMessage);
    }
    CreateStatusGroups();
}

// ---- drive-program identity display ----
bool CPelmoraDlg::ShowsProgramIdentity() const {
    return drive_.IsProgrammable() && drive_.IsConnected() && !drive_.IsOffline() &&
           (family_ == DriveFamily::Servo || family_ == DriveFamily::Kwz);
}

void CPelmoraDlg::RefreshProgramIdentity() {
    if (!IsAlive() || !ShowsProgramIdentity()) return;
    // A read under way may have started before the program changed: another follows it.
    if (programRefresh_.IsRunning())
        programRereadPending_ = true;
    else if (!programRefresh_.Start())
        return;
    SetTimer(kTimerProgramIdentity, kProgramIdentityPollMs);
}

void CPelmoraDlg::StopProgramInfoRefresh() {
    if (IsAlive() && HasTimer(kTimerProgramIdentity)) KillTimer(kTimerProgramIdentity);
    programRereadPending_ = false;
    programRefresh_.Stop();
}

void CPelmoraDlg::ShowProgramIdentity(const drive::ProgramIdentity& identity) {
    programShown_ = identity;
    SetItemText(IDC_MAIN_PROGRAM_NAME, identity.name);
    SetItemText(IDC_MAIN_PROGRAM_DETAIL, identity.detail);
}

void CPelmoraDlg::Stop() {
    StopStatusGroups();
}

void CPelmoraDlg::Refresh() {
    StatusPass();
    FastPass();
}

void CPelmoraDlg::CreateStatusGroups() {
    engine::CMain* engine =
        drive_.IsConnected() && !drive_.IsOffline() ? drive_.ConnectionWindow().Engine() : nullptr;
    const auto& state = drive_.State();
    if (engine && slowGroup_ == -1) {
        slowGroup_ = engine->GroupCreate(0, 0, drive_.ConnectionWindow().Handle(), kGroupNotice);
        if (slowGroup_ >= 0) {
            std::vector<std::string> names = {state.errorWordCells[0], state.errorWordCells[1],
                                              state.errorWordCells[2], state.errorWordCells[3],
                                              state.statusWordCell};
            switch (family_) {
                case DriveFamily::Supply:
                    names.insert(names.end(), {"supply_type", "stato_power_control", "brake_duty_cycle",
                                               "memoria_errore", "timer_ripristino_fault"});
                    break;
                case DriveFamily::Xul:
                    names.insert(names.end(), {"DipSwitch", "DipSwitchConfig"});
                    if (!state.controlModeCell.empty()) names.push_back(state.controlModeCell);
                    break;
                case DriveFamily::Kwz:
                    names.push_back("stato_operativo");
                    break;
                case DriveFamily::Servo:
                    names.insert(names.end(), {kBrakeTypeVariable, kPlcStateVariable});
                    if (!state.controlModeCell.empty()) names.push_back(state.controlModeCell);
                    break;
            }
            for (const std::string& name : names) drive_.AddCellToGroup(slowGroup_, name, cells_[name], 0);
            const CellView brakeType = View(kBrakeTypeVariable);
            if (family_ == DriveFamily::Servo && brakeType.Valid() && brakeType.value != 0) {
                const int id =
                    drive_.AddCellToGroup(slowGroup_, kBrakeStatusVariable, cells_[kBrakeStatusVariable], 0);
                brakeVariable_ = id > 0 ? id : 0;
            }
            drive_.ExecuteGroup(slowGroup_, 1, kSlowGroupMs);
        }
    }
    if (engine && fastGroup_ == -1) {
        fastGroup_ = engine->GroupCreate(0, 0, drive_.ConnectionWindow().Handle(), kGroupNotice);
        if (fastGroup_ >= 0) {
            std::vector<std::string> names = {kInputsVariable};
            switch (family_) {
                case DriveFamily::Supply:
                    names.insert(names.end(), {"vout_adc_eff", "i_hv_media", "i_rms"});
                    if (twoChannels_)
                        names.insert(names.end(), {"i_hv_media_1", "i_rms_1", "i_hv_media_2", "i_rms_2"});
                    break;
                case DriveFamily::Xul:
                    names.insert(names.end(), {"VoutRmsFilt", "Fout", "IeccAltnRms", "VauxFilt"});
                    break;
                case DriveFamily::Servo:
                    names.insert(names.end(), {kPositionVariable, kVelocityVariable});
                    break;
                case DriveFamily::Kwz:
                    break;
            }
            names.push_back(kOutputsVariable);
            for (const AnalogView& view : views_) names.push_back(view.variable);
            for (const std::string& name : names)
                drive_.AddCellToGroup(fastGroup_, name, cells_[name], name == kInputsVariable ? 146 : 0);
            creatingGroups_ = true;
            showVariableIds_.fill(-1);
            for (size_t k = 0; k < 4; ++k) OnShowVariableChanged(k);
            creatingGroups_ = false;
            drive_.ExecuteGroup(fastGroup_, 1, kFastGroupMs);
        }
    }
    if (!HasTimer(kTimerFast)) stats_.clear();
    if (!HasTimer(kTimerFast)) SetTimer(kTimerFast, kFastPeriodMs);
    if (!HasTimer(kTimerStatus)) SetTimer(kTimerStatus, kStatusPeriodMs);
    if (!HasTimer(kTimerIdentity)) SetTimer(kTimerIdentity, kIdentityPeriodMs);
}

void CPelmoraDlg::StopStatusGroups() {
    if (IsAlive()) {
        KillTimer(kTimerFast);
        KillTimer(kTimerStatus);
        KillTimer(kTimerIdentity);
    }
    engine::CMain* engine =
        drive_.ConnectionWindow().EngineApi() ? drive_.ConnectionWindow().Engine() : nullptr;
    if (fastGroup_ != -1) {
        if (engine) {
            engine->ClearError();
            engine->GroupRemove(fastGroup_);
        }
        fastGroup_ = -1;
        brakeVariable_ = 0;
        showVariableIds_.fill(-1);
    }
    if (slowGroup_ != -1) {
        if (engine) {
            engine->ClearError();
            engine->GroupRemove(slowGroup_);
        }
        slowGroup_ = -1;
        brakeVariable_ = 0;
    }
}

void CPelmoraDlg::OnTimer(unsigned id) {
    // ---- drive-program identity display ----
    if (id == kTimerProgramIdentity) {
        if (programRefresh_.IsRunning()) return;
        if (auto identity = programRefresh_.TakeResult()) ShowProgramIdentity(*identity);
        const bool again = programRereadPending_ && programRefresh_.Start();
        programRereadPending_ = false;
        if (!again) KillTimer(kTimerProgramIdentity);
        return;
    }
    TimerStats& stats = stats_[id];
    const auto now = std::chrono::steady_clock::now();
    if (stats.passes++ > 0)
        stats.maxGapMs =
            std::max(stats.maxGapMs, std::chrono::duration<double, std::milli>(now - stats.last).count());
    stats.last = now;
    if (id == kTimerFast) FastPass();
    if (id == kTimerStatus) StatusPass();
    if (id == kTimerIdentity) IdentityPass();
}

void CPelmoraDlg::StatusPass() {
    if (!drive_.IsOffline() && drive_.State().bootOnly) return;
    const auto& names = drive_.State().errorWordCells;
    // Roles: dynamic warning, warning, dynamic alarm, alarm.
    const std::array<CellView, 4> words = {View(names[0]), View(names[1]), View(names[2]), View(names[3])};
    SetLed(IDC_MAIN_FAULT_LED, ErrorLed(words[kFDynamic], words[kFRetentive], kLedRed));
    SetLed(IDC_MAIN_WARNING_LED, ErrorLed(words[kWDynamic], words[kWRetentive], kLedOrange));
    // The pages read the dynamic words from the second set: an unreadable word stays unreadable.
    if (auto* second = drive_.Parameters().data2.get()) {
        for (int i : {0, 1}) {
            drive::CParamDw& target = second->diagnostic.cells[i];
            const CellView& word = words[i == 0 ? kFDynamic : kWDynamic];
            target.status = word.status;
            target.value = word.Valid() ? word.value : 0;
        }
    }
    UpdateDigitalIoLayout();
    const ErrorCounts counts = CountErrors(errors_, {names[0], names[1], names[2], names[3]}, words);
    SetText(IDC_MAIN_WARNING_LABEL, WarningLabel(counts));
    SetText(IDC_MAIN_FAULT_LABEL, FaultLabel(counts));
    switch (family_) {
        case DriveFamily::Servo: {
            const BrakeAction action = BrakeGroupAction(true, View(kBrakeTypeVariable), brakeVariable_ > 0);
            if (action != BrakeAction::None && slowGroup_ >= 0) {
                drive_.StopGroup(slowGroup_);
                if (action == BrakeAction::Remove) {
                    drive_.RemoveGroupVariable(slowGroup_, brakeVariable_);
                    brakeVariable_ = 0;
                } else {
                    const int id = drive_.AddCellToGroup(slowGroup_, kBrakeStatusVariable,
                                                         cells_[kBrakeStatusVariable], 0);
                    brakeVariable_ = id > 0 ? id : 0;
                }
                drive_.ExecuteGroup(slowGroup_, 1, kSlowGroupMs);
            }
            const CellView brakeType = View(kBrakeTypeVariable);
            if (brakeType.Valid()) {
                const bool on = brakeType.value != 0;
                EnableItem(IDC_MAIN_BRAKE_LABEL, on);
                EnableItem(IDC_MAIN_BRAKE_BUTTON, on);
                ShowControl(IDC_MAIN_BRAKE_LED, on);
            }
            if (brakeVariable_ > 0) SetLed(IDC_MAIN_BRAKE_LED, BrakeLed(View(kBrakeStatusVariable)));
            break;
        }
        case DriveFamily::Xul: {
            const CellView actual = View("DipSwitch"), startup = View("DipSwitchConfig");
            if (dips_[0] && actual.Valid()) dips_[0]->SetSwitches(actual.value);
            if (dips_[1] && startup.Valid()) dips_[1]->SetSwitches(startup.value);
            const CellView sw = View(drive_.State().statusWordCell);
            if (sw.Valid()) {
                const auto& texts = drive_.State().stateTexts;
                auto it = texts.find(static_cast<int32_t>(sw.value & 0xFFFF));
                SetText(IDC_MAIN_STATE, it != texts.end() ? it->second : std::string());
            }
            break;
        }
        case DriveFamily::Supply: {
            SetText(IDC_SUPPLY_BRAKE,
                    View("brake_duty_cycle").Valid() ? std::to_string(View("brake_duty_cycle").value) : "");
            SetText(IDC_SUPPLY_LOCK, FaultLockSeconds(View("timer_ripristino_fault")));
            const std::pair<const char*, int> texts[] = {{"supply_type", IDC_SUPPLY_VAC},
                                                         {"stato_power_control", IDC_SUPPLY_STATUS},
                                                         {"memoria_errore", IDC_SUPPLY_ERROR}};
            for (size_t i = 0; i < 3; ++i) {
                const CellView cell = View(texts[i].first);
                if (!cell.Valid()) continue;
                const auto it = enums_[i].find(cell.value);
                SetText(texts[i].second, it != enums_[i].end() ? it->second : std::string());
            }
            break;
        }
        case DriveFamily::Kwz: {
            const CellView state = View("stato_operativo");
            if (state.Valid()) {
                const auto it = enums_[0].find(state.value);
                SetText(IDC_MAIN_STATE, it != enums_[0].end() ? it->second : std::string());
            }
            break;
        }
    }
}

void CPelmoraDlg::UpdateDigitalIoLayout() {
    for (const auto& list : drive_.Parameters().ioLists) {
        if (list->analog != 0 || list->address < 0 || list->address > 15) continue;
        const CellView cell = View(list->vocabularyName);
        if (!cell.Valid()) continue;
        const int i = list->address;
        std::string text = "none";
        uint32_t mode = list->mode;
        for (const auto& e : list->elements)
            if (e->functionCode == cell.value) {
                text = e->name;
                mode = e->mode;
            }
        const bool output = mode == 1;
        ShowControl(kInputLedIds[i], !output);
        ShowControl(kInputLabelIds[i], !output);
        ShowControl(kOutputLedIds[i], output);
        ShowControl(kOutputButtonIds[i], output);
        ShowControl(IDC_MAIN_OUT_LABEL_FIRST + i, output);
        if (!output && text == "Disabled")
            disabledInputs_ |= 1u << i;
        else
            disabledInputs_ &= ~(1u << i);
        SetText(output ? IDC_MAIN_OUT_LABEL_FIRST + i : kInputLabelIds[i], text);
        if (auto* item = Item(output ? IDC_MAIN_OUT_LABEL_FIRST + i : kInputLabelIds[i]))
            item->SetToolTip(wxString::FromUTF8((output ? "OUT " : "IN ") + std::to_string(i)));
    }
}

void CPelmoraDlg::FastPass() {
    if (!drive_.IsOffline() && drive_.State().bootOnly) return;
    auto valueText = [](const CellView& cell, bool isSigned) {
        if (cell.status == drive::kCellReadError) return std::string("error");
        if (!cell.Valid()) return std::string();
        return isSigned ? std::to_string(static_cast<int32_t>(cell.value)) : std::to_string(cell.value);
    };
    if (family_ == DriveFamily::Servo) {
        std::string text;
        const CellView position = View(kPositionVariable), velocity = View(kVelocityVariable);
        if (position.Valid()) {
            drive_.Units().ToUserUnits(0, position.value, &text, true);
            SetText(IDC_MAIN_POSITION, text);
        } else {
            SetText(IDC_MAIN_POSITION, valueText(position, true));
        }
        if (velocity.Valid()) {
            drive_.Units().ToUserUnits(1, velocity.value, &text, true);
            SetText(IDC_MAIN_SPEED, text);
        } else {
            SetText(IDC_MAIN_SPEED, valueText(velocity, true));
        }
        SetText(IDC_MAIN_PLC, PlcStateText(View(kPlcStateVariable)));
        const CellView sw = View(drive_.State().statusWordCell);
        if (sw.Valid()) {
            const int driveState = drive::DriveStateFromStatusword(static_cast<int32_t>(sw.value));
            std::string name;
            drive::GetDriveStateName(driveState, name);
            SetText(IDC_MAIN_STATE, name);
            SetLed(IDC_MAIN_ENABLE_LED, driveState == 4 ? kLedGreen : kLedOff);
        }
        const CellView mode = View(drive_.State().controlModeCell);
        if (mode.Valid()) {
            const auto& texts = drive_.State().controlModeTexts;
            auto it = texts.find(static_cast<int32_t>(static_cast<int16_t>(mode.value)));
            SetText(IDC_MAIN_LOOP_VALUE, it != texts.end() ? it->second : std::string());
        }
    } else if (family_ == DriveFamily::Supply) {
        SetText(IDC_SUPPLY_HVDC, SupplyTenths(View("vout_adc_eff")));
        SetText(IDC_SUPPLY_AVG, SupplyTenths(View("i_hv_media")));
        SetText(IDC_SUPPLY_RMS, SupplyTenths(View("i_rms")));
        if (twoChannels_) {
            SetText(IDC_SUPPLY_AVG1, SupplyTenths(View("i_hv_media_1")));
            SetText(IDC_SUPPLY_RMS1, SupplyTenths(View("i_rms_1")));
            SetText(IDC_SUPPLY_AVG2, SupplyTenths(View("i_hv_media_2")));
            SetText(IDC_SUPPLY_RMS2, SupplyTenths(View("i_rms_2")));
        }
    } else if (family_ == DriveFamily::Xul) {
        SetText(IDC_SUPPLY_AVG, SupplyTenths(View("VoutRmsFilt")));
        SetText(IDC_SUPPLY_AVG1, SupplyTenths(View("Fout")));
        const CellView iecc = View("IeccAltnRms");
        char text[32] = "";
        if (iecc.Valid()) std::snprintf(text, sizeof text, "%.03f", iecc.value * 0.001);
        SetText(IDC_SUPPLY_AVG2, text);
        SetText(IDC_SUPPLY_RMS, SupplyTenths(View("VauxFilt")));
    }
    // Analog views.
    for (int k = 0; k < 4; ++k) {
        const int v = viewSlots_[k];
        if (v < 0) continue;
        AnalogView& view = views_[v];
        const CellView cell = View(view.variable);
        if (!cell.Valid()) continue;
        if (auto* bar = ItemAs<wxGauge>(kAnalogBarIds[k])) {
            const int64_t position = AnalogRaw(view, cell.value) - view.rawMin;
            bar->SetValue(static_cast<int>(std::clamp<int64_t>(position, 0, bar->GetRange())));
        }
        if (view.hold <= 0)
            SetText(kAnalogEditIds[k], FormatAnalogValue(view, cell.value));
        else
            --view.hold;
    }
    // Digital I/O.
    const CellView inputs = View(kInputsVariable), outputs = View(kOutputsVariable);
    if (inputs.status != drive::kCellNotRead && outputs.status != drive::kCellNotRead) {
        if (outputs.Valid()) lastOutputs_ = outputs.value;
        for (const auto& list : drive_.Parameters().ioLists) {
            if (list->analog != 0 || list->address < 0 || list->address > 15) continue;
            const int i = list->address;
            if (IsControlShown(kOutputLedIds[i])) {
                if (const auto slot = OutputLed(outputs, i)) SetLed(kOutputLedIds[i], *slot);
            } else {
                SetLed(kInputLedIds[i], InputLed(inputs, i, disabledInputs_));
            }
        }
    }
    // Show variables.
    for (size_t k = 0; k < 4; ++k) {
        const std::string& title = shown_.names[k];
        if (title.empty()) continue;
        for (const auto& variable : drive_.Parameters().variables) {
            if (variable->title != title) continue;
            auto shared = cells_.find(variable->name);
            const drive::CParamDw& cell =
                showVariableIds_[k] < 0 && shared != cells_.end() ? shared->second : variable->cell;
            std::string text;
            if (cell.status == drive::kCellReadError) text = "read error";
            if (cell.IsValid()) {
                double raw = cell.value;
                if (cell.IsSigned()) {
                    raw = cell.ItemSize() == 1   ? static_cast<int8_t>(cell.value)
                          : cell.ItemSize() == 2 ? static_cast<int16_t>(cell.value)
                                                 : static_cast<int32_t>(cell.value);
                }
                char value[64];
                std::snprintf(value, sizeof value, "%.*f", variable->decimals, raw * variable->factor);
                text = value;
            }
            SetText(kShowValueIds[k], text);
            SetText(kShowUnitIds[k], drive::UnitNameForKey(drive_.Units(), variable->unit));
            break;
        }
    }
}

void CPelmoraDlg::IdentityPass() {
    // A drive that stopped answering keeps its name: "read error" is for a name the drive
    // refuses, not for a lost connection.
    bool answering = View(drive_.State().statusWordCell).status != drive::kCellReadError;
    for (const std::string& word : drive_.State().errorWordCells)
        if (View(word).status == drive::kCellReadError) answering = false;
    const bool online = drive_.IsConnected() && !drive_.IsOffline();
    if (online && answering) {
        std::string name;
        // A drive without a name item has no name, not an unreadable one.
        if (drive_.GetCellInfo("UserDriveName", nullptr, nullptr, nullptr) == kNameItemMissing)
            name.clear();
        else if (drive_.UploadString("UserDriveName", name) != 0)
            name = "read error";
        if (name != drive_.Identity().userDriveName) {
            drive_.Identity().userDriveName = name;
            drive_.UpdateWindowTitle();
            if (drive_.Host().ShownPage() == drive::CFramePage::MainDialog) UpdateDriveInfo();
        }
    }
    // Saving parameters needs a drive (or a configuration) that runs its firmware.
    drive_.SetCommandEnabled(kCmdSaveExportParameters, drive_.IsConnected() && !drive_.State().bootOnly);
}

void CPelmoraDlg::SelectShowVariable(size_t combo, const std::string& name) {
    if (combo >= 4 || !showCombos_[combo]) return;
    controls::ComboBoxExtModel& model = showCombos_[combo]->Model();
    model.OnCloseUp();  // the whole list, not what the user's typing left of it
    const int index = name.empty() ? -1 : model.FindStringExact(name);
    model.curSel = index < 0 ? 0 : index;
    model.editText = index < 0 ? std::string() : model.ListText(index);
    showCombos_[combo]->Sync();
    OnShowVariableChanged(combo);
}

void CPelmoraDlg::RestoreShowVariables() {
    for (size_t k = 0; k < 4; ++k) SelectShowVariable(k, drive_.Description().shownVariables[k]);
}

void CPelmoraDlg::CreateShowCombos() {
    for (size_t k = 0; k < 4; ++k) {
        wxWindow* place = Item(kShowComboIds[k]);
        if (!place) continue;
        auto* combo = new controls::CComboBoxExt();
        if (!combo->Create(place->GetParent(), wxID_ANY, controls::ComboBoxExtModel::Style::DropDown,
                           place->GetPosition(), place->GetSize())) {
            delete combo;
            continue;
        }
        place->Hide();
        combo->Model().filterMode = 1;
        combo->Model().AddString("");
        combo->Sync();
        combo->Bind(wxEVT_COMBOBOX, [this, k](wxCommandEvent& event) {
            event.Skip();
            OnShowVariableChanged(k);
        });
        showCombos_[k] = combo;
    }
}

void CPelmoraDlg::ReadEnumerations() {
    for (auto& map : enums_) map.clear();
    const foundation::CXmlNode* data = drive_.DriveData();
    const foundation::CXmlNode* enums = data ? data->FindNode("Extra\\Enums") : nullptr;
    if (!enums) return;
    std::array<const char*, 3> names = {nullptr, nullptr, nullptr};
    if (family_ == DriveFamily::Kwz) names = {"OperatingStates", nullptr, nullptr};
    if (family_ == DriveFamily::Supply) names = {"SupplyType", "PwCtrlState", "PwCtrlError"};
    for (size_t i = 0; i < names.size(); ++i) {
        if (!names[i]) continue;
        const foundation::CXmlNode* list = enums->FindNode(names[i]);
        if (!list) continue;
        for (const foundation::CXmlNode* el : list->Children())
            if (el->Name() == "El")
                enums_[i][static_cast<uint32_t>(el->GetAttributeInt("Value", 0))] = el->GetAttribute("Text");
    }
}

void CPelmoraDlg::OnShowVariableChanged(size_t k) {
    if (!showCombos_[k]) return;
    std::string name = showCombos_[k]->GetValue().utf8_string();
    // Only a variable of the list is shown; typed text that names none shows nothing.
    if (!name.empty() && showCombos_[k]->Model().FindStringExact(name) < 0) name.clear();
    drive_.Description().shownVariables[k] = name;
    if (name == shown_.names[k] && (creatingGroups_ == false || name.empty())) return;
    if (!creatingGroups_ && fastGroup_ >= 0) drive_.StopGroup(fastGroup_);
    if (showVariableIds_[k] > 0 && shown_.LastUser(k) && fastGroup_ >= 0)
        drive_.RemoveGroupVariable(fastGroup_, showVariableIds_[k]);
    const int previousId = showVariableIds_[k];
    showVariableIds_[k] = -1;
    shown_.names[k] = name;
    if (!name.empty()) {
        // Another combo already reading the same variable keeps one group entry for both.
        for (size_t j = 0; j < 4; ++j)
            if (j != k && shown_.names[j] == name && showVariableIds_[j] > 0)
                showVariableIds_[k] = showVariableIds_[j];
        for (const auto& variable : drive_.Parameters().variables) {
            if (variable->title != name) continue;
            const auto panel = PanelCellNames(family_, twoChannels_, drive_.State().statusWordCell,
                                              kVelocityVariable, kInputsVariable);
            if (panel.count(variable->name) != 0 && cells_.count(variable->name) != 0) break;  // shared cell
            if (showVariableIds_[k] < 0 && fastGroup_ >= 0) {
                const int id = drive_.AddCellToGroup(fastGroup_, variable->name, variable->cell, 0);
                showVariableIds_[k] = id > 0 ? id : -1;
            }
            break;
        }
    } else {
        SetText(kShowValueIds[k], "");
    }
    (void)previousId;
    if (!creatingGroups_ && fastGroup_ >= 0) drive_.ExecuteGroup(fastGroup_, 1, kFastGroupMs);
}

void CPelmoraDlg::ToggleOutput(int point) {
    if (point < 0 || point > 15 || drive_.State().bootOnly) return;
    const uint32_t value = ToggledOutputs(lastOutputs_, point);
    if (drive_.WriteCell(kOutputsVariable, value) != 0) {
        drive_.ReportError("Set Output write error", 0, drive_.ResultCode(), "", "ShowMessage");
        return;
    }
    lastOutputs_ = value;
    cells_[kOutputsVariable].SetRead(value);
}

void CPelmoraDlg::OnBrakeButton() {
    const CellView status = View(kBrakeStatusVariable);
    const uint32_t value = status.value != 0 ? 0 : 1;
    if (drive_.WriteCell(kBrakeStatusVariable, value) != 0)
        drive_.ReportError("BrakeStatus write error", 0, drive_.ResultCode(), "", "ShowMessage");
}

bool CPelmoraDlg::WriteAnalogValue(size_t k, const std::string& text) {
    if (k >= 4 || viewSlots_[k] < 0) return false;
    AnalogView& view = views_[viewSlots_[k]];
    const auto raw = AnalogRawFromText(view, text);
    if (!raw) return false;
    if (drive_.WriteCell(view.variable, static_cast<uint32_t>(*raw)) != 0) return false;
    view.hold = 0;
    FocusItem(kAnalogTitleIds[k]);
    return true;
}

}  // namespace app
