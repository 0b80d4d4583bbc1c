#include "app/DlgConnectDrive.h"

#include <filesystem>

#include <wx/combobox.h>
#include <wx/event.h>
#include <wx/stattext.h>

#include "app/HelpTopics.h"
#include "drive/Qd.h"
#include "foundation/Authorizations.h"
#include "foundation/BrandList.h"
#include "foundation/ProgramFolders.h"
#include "foundation/XmlDocument.h"
#include "packages/ui/ConfigFileDialogs.h"
#include "platform/Prompt.h"
#include "platform/ui/CommonDialogs.h"

namespace app {
namespace ck = drive::connection_kind;
using platform::ui::ControlKind;
using platform::ui::ControlSpec;
using platform::ui::DluRect;
using platform::ui::Notify;
namespace style = platform::ui::style;

namespace {

constexpr int kLabelX = 7, kLabelW = 58, kFieldX = 68, kFieldW = 80, kUnitX = 152;
constexpr int kRowA = 26, kRowB = 44, kRowC = 62, kRowD = 80, kRowE = 98;

ControlSpec Label(int id, const char* text, int y, unsigned extra = 0) {
    return {id, ControlKind::Static, text, style::Hidden | extra, DluRect{kLabelX, y + 2, kLabelW, 8}};
}
ControlSpec Field(int id, ControlKind kind, int y, unsigned extra = 0, int width = kFieldW) {
    return {id, kind, "", style::Hidden | extra,
            DluRect{kFieldX, y, width, kind == ControlKind::Combo ? 14 : 12}};
}
ControlSpec Unit(int id, const char* text, int y) {
    return {id, ControlKind::Static, text, style::Hidden, DluRect{kUnitX, y + 2, 24, 8}};
}

std::vector<ControlSpec> Layout() {
    return {
        {IDC_CONNECT_PORT_LABEL, ControlKind::Static, "PC connection:", 0, DluRect{kLabelX, 9, kLabelW, 8}},
        {IDC_CONNECT_PORT, ControlKind::Combo, "", style::DropList, DluRect{kFieldX, 7, 130, 14}},
        // Shared rows: only one kind's group shows at a time.
        Label(IDC_CONNECT_BAUD_LABEL, "Baud rate:", kRowA),
        Field(IDC_CONNECT_BAUD, ControlKind::Combo, kRowA),
        Unit(IDC_CONNECT_BAUD_UNIT, "bit/s", kRowA),
        Label(IDC_CONNECT_SUBNET_TYPE_LABEL, "Subnet type:", kRowA),
        Field(IDC_CONNECT_SUBNET_TYPE, ControlKind::Combo, kRowA, style::DropList),
        Label(IDC_CONNECT_NETID_LABEL, "NetId:", kRowA),
        Field(IDC_CONNECT_NETID, ControlKind::Edit, kRowA),
        {IDC_CONNECT_NETID_SELECT, ControlKind::Button, "Select...", style::Hidden,
         DluRect{kUnitX + 30, kRowA, 50, 14}},
        Label(IDC_CONNECT_PC_TIMEOUT_LABEL, "PC time out:", kRowB),
        Field(IDC_CONNECT_PC_TIMEOUT, ControlKind::Edit, kRowB, style::Number),
        Unit(IDC_CONNECT_PC_TIMEOUT_UNIT, "ms", kRowB),
        Label(IDC_CONNECT_SUBNET_ID_LABEL, "Subnet id:", kRowB),
        Field(IDC_CONNECT_SUBNET_ID, ControlKind::Edit, kRowB, style::Number),
        Label(IDC_CONNECT_NODE_LABEL, "Node id:", kRowC),
        Field(IDC_CONNECT_NODE, ControlKind::Edit, kRowC, style::Number, 40),
        {IDC_CONNECT_NOTE, ControlKind::Static, kDebugPortNote, style::Hidden,
         DluRect{112, kRowC - 2, 140, 18}},
        Label(IDC_CONNECT_ADDRESS_LABEL, "Address:", kRowD),
        Field(IDC_CONNECT_ADDRESS, ControlKind::Edit, kRowD),
        Label(IDC_CONNECT_TIMEOUT_LABEL, "Timeout:", kRowE),
        Field(IDC_CONNECT_TIMEOUT, ControlKind::Edit, kRowE, style::Number),
        Unit(IDC_CONNECT_TIMEOUT_UNIT, "ms", kRowE),
        // The offline entry.
        Label(IDC_CONNECT_DEVICE_LABEL, "Selected device:", kRowA),
        {IDC_CONNECT_DEVICE, ControlKind::Static, "", style::Hidden | style::Sunken,
         DluRect{kFieldX, kRowA, 120, 12}},
        {IDC_CONNECT_SELECT_DEVICE, ControlKind::Button, "Select device...", style::Hidden,
         DluRect{192, kRowA, 60, 14}},
        {IDC_CONNECT_OR, ControlKind::Static, "OR", style::Hidden, DluRect{kFieldX + 50, kRowB + 2, 20, 8}},
        Label(IDC_CONNECT_FILE_LABEL, "File:", kRowC),
        {IDC_CONNECT_FILE, ControlKind::Static, "", style::Hidden | style::Sunken,
         DluRect{kFieldX, kRowC, 120, 12}},
        {IDC_CONNECT_SELECT_FILE, ControlKind::Button, "Select parameter file...", style::Hidden,
         DluRect{192, kRowC, 60, 14}},
        {IDC_CONNECT_FIRMWARES, ControlKind::Button, "Additional\nfirmwares", 0, DluRect{7, 118, 56, 22}},
        {IDC_CONNECT_ACCESS_LABEL, ControlKind::Static, "Access level:", 0, DluRect{70, 124, 46, 8}},
        {IDC_CONNECT_ACCESS, ControlKind::Combo, "", style::DropList | style::Disabled,
         DluRect{118, 122, 70, 14}},
        {IDC_CONNECT_TOKENS, ControlKind::Button, "Tokens...", style::Disabled, DluRect{192, 121, 60, 14}},
        {IDC_CONNECT_CONNECT, ControlKind::DefaultButton, "Connect", 0, DluRect{82, 150, 56, 14}},
        {IDC_CONNECT_CLOSE, ControlKind::Button, "Close", 0, DluRect{142, 150, 56, 14}},
        {IDC_CONNECT_HELP, ControlKind::Button, "Help", 0, DluRect{202, 150, 50, 14}},
    };
}

}  // namespace

CdlgConnectDrive::CdlgConnectDrive(const std::vector<drive::_CHANNELINFO>& ports, ConnectionRequest& record,
                                   drive::CQd* drive)
    : Dialog({"Device connection", DluRect{0, 0, 260, 172}, Layout()}),
      ports_(ports),
      record_(record),
      drive_(drive) {
    OnCommand(IDC_CONNECT_PORT, Notify::SelChanged, [this] { OnPortChanged(); });
    OnCommand(IDC_CONNECT_NODE, Notify::Changed, [this] { OnNodeChanged(); });
    OnCommand(IDC_CONNECT_CONNECT, Notify::Clicked, [this] { OnConnect(); });
    OnCommand(IDC_CONNECT_NETID_SELECT, Notify::Clicked, [this] { OnSelect(); });
    OnCommand(IDC_CONNECT_SELECT_FILE, Notify::Clicked, [this] { OnSelectFile(); });
    OnCommand(IDC_CONNECT_SELECT_DEVICE, Notify::Clicked, [this] { OnSelectDevice(); });
    OnCommand(IDC_CONNECT_CLOSE, Notify::Clicked, [this] { OnClose(); });
    // ---- Additional firmwares: the user firmware dialog, shown through the program's prompts ----
    OnCommand(IDC_CONNECT_FIRMWARES, Notify::Clicked,
              [] { platform::Prompts().Custom("UserFirmware", {}, nullptr); });
    OnCommand(IDC_CONNECT_HELP, Notify::Clicked,
              [this] { ShowHelpTopic(ConnectHelpTopic(GetItemText(IDC_CONNECT_PORT), 1)); });
}

bool CdlgConnectDrive::OnInitDialog() {
    auto* ports = ItemAs<wxComboBox>(IDC_CONNECT_PORT);
    for (const drive::_CHANNELINFO& port : ports_) {
        std::string name = port.Name();
        if (IsPortKind(port.type) && port.flag == 0) name += " (not updated)";
        ports->Append(wxString::FromUTF8(name));
    }
    auto* subnet = ItemAs<wxComboBox>(IDC_CONNECT_SUBNET_TYPE);
    subnet->Append("CANopen");
    subnet->Append("EtherCAT");
    auto* baud = ItemAs<wxComboBox>(IDC_CONNECT_BAUD);
    for (const char* rate : {"9600", "19200", "38400", "57600", "115200"}) baud->Append(rate);
    if (auto* note = ItemAs<wxStaticText>(IDC_CONNECT_NOTE)) note->SetForegroundColour(*wxRED);
    if (!record_.parametersFile.empty()) {
        std::string description, identity;
        drive::ReadParamFileIdentity(description, record_.parametersFile, nullptr, identity);
        if (!description.empty()) {
            fileDevice_ = description;
            SetItemText(IDC_CONNECT_FILE, record_.parametersFile);
            SetItemText(IDC_CONNECT_DEVICE, description);
        }
    }
    for (size_t i = 0; i < ports_.size(); ++i)
        if (ports_[i].Name() == record_.channelName) ports->SetSelection(static_cast<int>(i));
    Wx()->Bind(wxEVT_HELP,
               [this](wxHelpEvent&) { ShowHelpTopic(ConnectHelpTopic(GetItemText(IDC_CONNECT_PORT), 1)); });
    Wx()->Bind(wxEVT_LEFT_DCLICK, [this](wxMouseEvent& e) {
        OnGestureDoubleClick();
        e.Skip();
    });
    Wx()->Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& e) {
        OnGestureKey(e.GetKeyCode());
        e.Skip();
    });
    Wx()->Bind(wxEVT_RIGHT_DOWN, [this](wxMouseEvent& e) {
        OnGestureRightClick();
        e.Skip();
    });
    FillAccessLevels();
    OnPortChanged();
    return true;
}

int CdlgConnectDrive::SelectedPort() const {
    const auto* ports = ItemAs<wxComboBox>(IDC_CONNECT_PORT);
    const int index = ports ? ports->GetSelection() : -1;
    return index >= 0 && index < static_cast<int>(ports_.size()) ? index : -1;
}

uint16_t CdlgConnectDrive::SelectedKind() const {
    const int index = SelectedPort();
    if (index < 0) return 0xFFFF;
    return IsPortKind(ports_[index].type) ? ports_[index].type : ck::kOffline;
}

ConnectFields CdlgConnectDrive::ReadFields() const {
    ConnectFields f;
    f.pcTimeout = GetItemText(IDC_CONNECT_PC_TIMEOUT);
    f.baudRate = GetItemText(IDC_CONNECT_BAUD);
    f.nodeId = GetItemText(IDC_CONNECT_NODE);
    f.subnetId = GetItemText(IDC_CONNECT_SUBNET_ID);
    f.timeout = GetItemText(IDC_CONNECT_TIMEOUT);
    f.netId = GetItemText(IDC_CONNECT_NETID);
    f.address = GetItemText(IDC_CONNECT_ADDRESS);
    const auto* subnet = ItemAs<wxComboBox>(IDC_CONNECT_SUBNET_TYPE);
    f.subnetType = subnet && subnet->GetSelection() == 1 ? 4 : 2;
    return f;
}

void CdlgConnectDrive::WriteFields(const ConnectFields& f) {
    SetItemText(IDC_CONNECT_PC_TIMEOUT, f.pcTimeout);
    if (auto* baud = ItemAs<wxComboBox>(IDC_CONNECT_BAUD)) baud->SetValue(wxString::FromUTF8(f.baudRate));
    SetItemText(IDC_CONNECT_NODE, f.nodeId);
    SetItemText(IDC_CONNECT_SUBNET_ID, f.subnetId);
    SetItemText(IDC_CONNECT_TIMEOUT, f.timeout);
    SetItemText(IDC_CONNECT_NETID, f.netId);
    SetItemText(IDC_CONNECT_ADDRESS, f.address);
    if (auto* subnet = ItemAs<wxComboBox>(IDC_CONNECT_SUBNET_TYPE))
        subnet->SetSelection(f.subnetType == 4 ? 1 : 0);
}

void CdlgConnectDrive::StoreShownFields() {
    // Switching back shows what was typed; a value that does not fit is simply not kept.
    if (IsPortKind(shownKind_)) StoreFields(shownKind_, ReadFields(), record_);
}

void CdlgConnectDrive::ShowKind(uint16_t kind) {
    for (int id : AllKindControls()) ShowItem(id, false);
    for (int id : OfflineControls()) ShowItem(id, false);
    shownKind_ = kind;
    if (kind == ck::kOffline) {
        for (int id : OfflineControls()) ShowItem(id, true);
        SetItemText(IDC_CONNECT_CONNECT, "Go offline");
        EnableItem(IDC_CONNECT_CONNECT, OfflineConnectEnabled(deviceChosen_, fileDevice_));
    } else {
        SetItemText(IDC_CONNECT_CONNECT, "Connect");
        EnableItem(IDC_CONNECT_CONNECT, kind != 0xFFFF);
        for (int id : KindControls(kind)) ShowItem(id, true);
        if (kind == ck::kBridge || kind == ck::kTwinCat) ShowItem(IDC_CONNECT_NETID_SELECT, true);
        WriteFields(FieldsFromRecord(kind, record_));
    }
    OnNodeChanged();
    if (Wx()) Wx()->Layout();
}

void CdlgConnectDrive::OnPortChanged() {
    StoreShownFields();
    ShowKind(SelectedKind());
}

void CdlgConnectDrive::OnNodeChanged() {
    ShowItem(IDC_CONNECT_NOTE, DebugNoteShown(shownKind_, GetItemText(IDC_CONNECT_NODE)));
}

bool CdlgConnectDrive::Refused(const ConnectStore& store) {
    if (store.ok) return false;
    platform::Prompts().MessageBox(store.message, store.caption, platform::MB_OK | platform::MB_ICONWARNING);
    if (store.focus != 0) FocusItem(store.focus);
    return true;
}

void CdlgConnectDrive::OnConnect() {
    const int index = SelectedPort();
    if (index < 0) return;
    const drive::_CHANNELINFO& port = ports_[index];
    if (!IsPortKind(port.type)) {
        if (!OfflineConnectEnabled(deviceChosen_, fileDevice_)) return;
        record_.channelName = port.Name();
        record_.channelIndex = port.index;
        record_.channelType = ck::kOffline;
        record_.flags = static_cast<uint8_t>(record_.flags & ~0x02u);
        EndDialog(platform::IDOK);
        return;
    }
    if (Refused(StoreConnect(port, ReadFields(), record_))) return;
    EndDialog(platform::IDOK);
}

void CdlgConnectDrive::OnSelect() {
    const int index = SelectedPort();
    if (index < 0) return;
    ConnectStore store;
    const int result = StoreSelect(ports_[index], ReadFields(), record_, store);
    if (Refused(store) || result == 0) return;
    EndDialog(result);
}

bool CdlgConnectDrive::ChooseParametersFile(const std::string& path) {
    std::string description, identity;
    drive::ReadParamFileIdentity(description, path, nullptr, identity);
    if (description.empty()) {
        fileDevice_.clear();
        EnableItem(IDC_CONNECT_CONNECT, OfflineConnectEnabled(deviceChosen_, fileDevice_));
        platform::Prompts().MessageBox("Selected file is not a valid parameters file", "Connect device",
                                       platform::MB_OK | platform::MB_ICONEXCLAMATION);
        return false;
    }
    fileDevice_ = description;
    record_.driveDescription = description;
    record_.parametersFile = path;
    record_.userParamFile = true;
    SetItemText(IDC_CONNECT_DEVICE, description);
    SetItemText(IDC_CONNECT_FILE, path);
    EnableItem(IDC_CONNECT_CONNECT, true);
    return true;
}

void CdlgConnectDrive::OnSelectFile() {
    platform::ui::FileDialogSpec spec;
    spec.title = "Select parameters file";
    spec.filter = "Parameters file (*.xml)|*.xml";
    spec.defaultExtension = "xml";
    spec.mustExist = true;
    if (!record_.parametersFile.empty())
        spec.initial = std::filesystem::path(record_.parametersFile).parent_path();
    if (const auto chosen = platform::ui::ChooseFileToOpen(Wx(), spec))
        ChooseParametersFile(chosen->string());
}

bool CdlgConnectDrive::ChooseDevice(const std::string& descr, uint32_t hw, uint32_t sw, uint32_t swVer,
                                    uint32_t build, const foundation::CIdentity& identity) {
    if (descr.empty()) {
        deviceChosen_ = false;
        EnableItem(IDC_CONNECT_CONNECT, OfflineConnectEnabled(deviceChosen_, fileDevice_));
        platform::Prompts().MessageBox("Invalid device selected", "Connect device",
                                       platform::MB_OK | platform::MB_ICONEXCLAMATION);
        return false;
    }
    record_.hw = hw;
    record_.sw = sw;
    record_.swRev = swVer;
    record_.build = build;
    record_.identity = identity;
    record_.driveDescription = descr;
    record_.parametersFile.clear();
    record_.userParamFile = false;
    deviceChosen_ = true;
    fileDevice_.clear();
    SetItemText(IDC_CONNECT_DEVICE, descr);
    SetItemText(IDC_CONNECT_FILE, "");
    EnableItem(IDC_CONNECT_CONNECT, true);
    return true;
}

void CdlgConnectDrive::OnSelectDevice() {
    record_.driveDescription.clear();
    foundation::CXmlDocument list;
    if (drive_) drive_->ConnectionWindow().GetVocabularyList(list);
    packages::ui::CdlgSelectConfigurationFile dialog(list.Root().Name().empty() ? nullptr : &list.Root(),
                                                     foundation::GetBrandList(), nullptr, nullptr);
    if (dialog.DoModal(Wx()) != platform::IDOK) return;
    ChooseDevice(dialog.descr, dialog.hw, dialog.sw, dialog.swVer, dialog.build, dialog.identity);
}

void CdlgConnectDrive::FillAccessLevels() {
    auto* access = ItemAs<wxComboBox>(IDC_CONNECT_ACCESS);
    if (!access) return;
    access->Clear();
    const foundation::CAuthorizations& users = foundation::GetAuthorizations();
    const foundation::CUserFullDev* current = users.GetCurrentUser();
    for (const foundation::CUserFullDev& user : users.GetFullUsers()) {
        access->Append(wxString::FromUTF8(user.title));
        if (current && current->title == user.title)
            access->SetSelection(static_cast<int>(access->GetCount()) - 1);
    }
}

void CdlgConnectDrive::OnGestureDoubleClick() {
    gestureArmed_ = true;
    gestureKey_ = 0;
}

void CdlgConnectDrive::OnGestureKey(int keyCode) {
    if (gestureArmed_ && gestureKey_ == 0) gestureKey_ = keyCode;
}

std::string CdlgConnectDrive::OnGestureRightClick() {
    if (!gestureArmed_ && gestureKey_ == 0) return {};
    const int key = gestureKey_ >= 'a' && gestureKey_ <= 'z' ? gestureKey_ - 'a' + 'A' : gestureKey_;
    const std::string level = key == 'F' ? "factory" : key == 'I' ? "integrator" : "user";
    gestureArmed_ = false;
    gestureKey_ = 0;
    foundation::GetAuthorizations().SetUser(level);
    FillAccessLevels();
    return level;
}

void CdlgConnectDrive::OnClose() {
    if (platform::Prompts().MessageBox(
            "Exit program!", foundation::kProgramName,
            platform::MB_YESNO | platform::MB_ICONQUESTION | platform::MB_DEFBUTTON2) == platform::IDYES)
        EndDialog(kConnectResultExit);
}

int CConnectDriveDialog::Run(const std::vector<drive::_CHANNELINFO>& channels,
                             drive::CConnectionRecord& record) {
    CdlgConnectDrive dialog(channels, record, drive_);
    const int result = dialog.DoModal(parent_);
    if (result == platform::IDOK) return 1;
    if (result == kConnectResultExit || result == kConnectResultBridgeScan ||
        result == kConnectResultTwinCatScan)
        return result;
    return 2;
}

}  // namespace app
