#include "packages/ui/ArchivioDlg.h"

#include <cstdio>

#include <wx/event.h>
#include <wx/listbox.h>
#include <wx/window.h>

#include "platform/Prompt.h"
#include "platform/ui/CommonDialogs.h"

namespace packages::ui {

namespace {

using platform::ui::ControlKind;
using platform::ui::ControlSpec;
using platform::ui::DluRect;
using platform::ui::Notify;
namespace style = platform::ui::style;

const char* const kRowNames[] = {"General information", "Boot",       "Firmware",
                                 "IEC program",         "Parameters", "User files"};

std::vector<ControlSpec> ArchiveControls() {
    std::vector<ControlSpec> c = {
        {1005, ControlKind::Static, "Archive file:", 0, DluRect{7, 9, 50, 8}},
        {IDC_ARCHIVE_FILE, ControlKind::Edit, "", 0, DluRect{60, 7, 200, 12}},
        {IDC_ARCHIVE_BROWSE, ControlKind::Button, "...", 0, DluRect{264, 7, 20, 12}},
    };
    for (int k = 0; k < 6; ++k) {
        const int y = 26 + 16 * k;
        c.push_back({IDC_ARCHIVE_ROW + 3 * k, ControlKind::Check, kRowNames[k], 0, DluRect{7, y, 90, 10}});
        c.push_back({IDC_ARCHIVE_ROW + 3 * k + 1, ControlKind::Static, "", 0, DluRect{100, y + 1, 160, 8}});
        c.push_back({IDC_ARCHIVE_ROW + 3 * k + 2, ControlKind::Button, "...", 0, DluRect{264, y, 20, 12}});
    }
    c.push_back({IDC_ARCHIVE_SIZE, ControlKind::Static, "", 0, DluRect{7, 124, 200, 8}});
    c.push_back({1006, ControlKind::GroupBox, "Device", 0, DluRect{7, 136, 277, 24}});
    c.push_back({IDC_ARCHIVE_DEVICE, ControlKind::Static, "", 0, DluRect{13, 147, 265, 8}});
    c.push_back({IDC_ARCHIVE_CREATE, ControlKind::DefaultButton, "Create", 0, DluRect{180, 166, 50, 14}});
    c.push_back({platform::IDCANCEL, ControlKind::Button, "Close", 0, DluRect{234, 166, 50, 14}});
    return c;
}

// Checks the option's radio or box, hides it when the description does not list it and
// disables it when locked.
void ShowOption(platform::ui::ControlHost& host, int id, const CArchiOption& option) {
    host.ShowItem(id, option.available != 0);
    host.CheckItem(id, option.selected ? 1 : 0);
    if (option.locked) host.EnableItem(id, false);
}

// A locked choice keeps the user on it (when selected) or off it (when not).
void LockRadios(platform::ui::ControlHost& host,
                const std::vector<std::pair<int, const CArchiOption*>>& radios) {
    for (const auto& [id, option] : radios) {
        if (!option->locked) continue;
        for (const auto& [other, unused] : radios) {
            if (option->selected ? other != id : other == id) host.EnableItem(other, false);
        }
    }
}

std::string DateText(const ArchiveTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u", unsigned(t.year), unsigned(t.month), unsigned(t.day));
    return text;
}

std::string TimeText(const ArchiveTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u", unsigned(t.hour), unsigned(t.minute),
                  unsigned(t.second));
    return text;
}

}  // namespace

CArchivioDlg::CArchivioDlg(CArchivio& archive, CArchiveDrive& drive)
    : Dialog({"Create archive", DluRect{0, 0, 291, 187}, ArchiveControls()}),
      archive_(archive),
      drive_(drive) {
    OnCommand(IDC_ARCHIVE_BROWSE, Notify::Clicked, [this] {
        platform::ui::FileDialogSpec spec;
        spec.title = "Archive file";
        spec.filter = "Archive file (*." + archive_.defaultExtension + ")|*." + archive_.defaultExtension +
                      "|All files|*.*";
        spec.defaultExtension = archive_.defaultExtension;
        spec.initial = GetItemText(IDC_ARCHIVE_FILE);
        if (auto file = platform::ui::ChooseFileToSave(Wx(), spec))
            SetItemText(IDC_ARCHIVE_FILE, file->string());
    });
    for (int k = 0; k < 6; ++k) {
        const auto row = static_cast<ArchiveRow>(k);
        OnCommand(CheckId(row), Notify::Clicked, [this, row] {
            if (CArchiItem* item = Item(row)) item->selected = IsItemChecked(CheckId(row)) ? 1 : 0;
            RefreshSize();
        });
        if (row == ArchiveRow::UserFiles) continue;  // nothing to configure yet
        OnCommand(ButtonId(row), Notify::Clicked, [this, row] {
            openItemDialog ? openItemDialog(row) : OpenItemDialog(row);
            RefreshTexts();
            RefreshSize();
        });
    }
    OnCommand(IDC_ARCHIVE_CREATE, Notify::Clicked, [this] {
        CreateArchive(archive_, node_, std::filesystem::path(GetItemText(IDC_ARCHIVE_FILE)));
    });
}

CArchiItem* CArchivioDlg::Item(ArchiveRow row) const {
    switch (row) {
        case ArchiveRow::Information:
            return archive_.info.get();
        case ArchiveRow::Boot:
            return archive_.boot.get();
        case ArchiveRow::Firmware:
            return archive_.firmware.get();
        case ArchiveRow::Iec:
            return archive_.iec.get();
        case ArchiveRow::Parameters:
            return archive_.param.get();
        case ArchiveRow::UserFiles:
            return archive_.userFiles.get();
    }
    return nullptr;
}

bool CArchivioDlg::OnInitDialog() {
    for (int k = 0; k < 6; ++k) {
        const auto row = static_cast<ArchiveRow>(k);
        const CArchiItem* item = Item(row);
        const bool present = item && item->present;
        for (int id : {CheckId(row), TextId(row), ButtonId(row)}) ShowItem(id, present);
        if (present) CheckItem(CheckId(row), item->selected ? 1 : 0);
        if (present && item->locked) EnableItem(CheckId(row), false);
    }
    SetItemText(IDC_ARCHIVE_FILE, archive_.defaultName);
    node_ = PrepareArchive(archive_, drive_);
    SetItemText(IDC_ARCHIVE_DEVICE, ArchiveDeviceText(node_));
    RefreshTexts();
    RefreshSize();
    return true;
}

void CArchivioDlg::RefreshTexts() {
    for (int k = 0; k < 6; ++k) {
        const auto row = static_cast<ArchiveRow>(k);
        const CArchiItem* item = Item(row);
        if (!item || !item->present) continue;
        const std::string text = item->GetText();
        SetItemText(TextId(row), text);
        ShowItem(TextId(row), !text.empty());
    }
}

void CArchivioDlg::RefreshSize() {
    SetItemText(IDC_ARCHIVE_SIZE, ArchiveSizeText(archive_.DataSize()));
}

int CArchivioDlg::OpenItemDialog(ArchiveRow row) {
    switch (row) {
        case ArchiveRow::Information:
            if (archive_.info) return CArchiInfoDlg(*archive_.info).DoModal(Wx());
            break;
        case ArchiveRow::Firmware:
            return CArchiFirmwareDlg(archive_, drive_, node_).DoModal(Wx());
        case ArchiveRow::Iec:
            return CArchiIECDlg(archive_, drive_).DoModal(Wx());
        case ArchiveRow::Parameters:
            return CArchiParamDlg(archive_, drive_).DoModal(Wx());
        case ArchiveRow::Boot:
            return CArchiBootDlg(archive_, drive_, node_).DoModal(Wx());
        case ArchiveRow::UserFiles:
            break;
    }
    return platform::IDCANCEL;
}

// ---- General information ----

CArchiInfoDlg::CArchiInfoDlg(CArchiGeneralInfo& info)
    : Dialog({"General information",
              DluRect{0, 0, 240, 170},
              {{1150, ControlKind::Static, "Name:", 0, DluRect{7, 9, 50, 8}},
               {IDC_NAME, ControlKind::Edit, "", 0, DluRect{60, 7, 173, 12}},
               {1151, ControlKind::Static, "Version:", 0, DluRect{7, 25, 50, 8}},
               {IDC_VERSION, ControlKind::Edit, "", 0, DluRect{60, 23, 173, 12}},
               {1152, ControlKind::Static, "Author:", 0, DluRect{7, 41, 50, 8}},
               {IDC_AUTHOR, ControlKind::Edit, "", 0, DluRect{60, 39, 173, 12}},
               {1153, ControlKind::Static, "Company:", 0, DluRect{7, 57, 50, 8}},
               {IDC_COMPANY, ControlKind::Edit, "", 0, DluRect{60, 55, 173, 12}},
               {1154, ControlKind::Static, "Description:", 0, DluRect{7, 73, 50, 8}},
               {IDC_DESCRIPTION, ControlKind::Edit, "", style::Multiline, DluRect{60, 71, 173, 36}},
               {1155, ControlKind::Static, "Date:", 0, DluRect{7, 115, 50, 8}},
               {IDC_DATE, ControlKind::Edit, "", 0, DluRect{60, 113, 70, 12}},
               {1156, ControlKind::Static, "Time:", 0, DluRect{134, 115, 25, 8}},
               {IDC_TIME, ControlKind::Edit, "", 0, DluRect{160, 113, 73, 12}},
               {IDC_NOW, ControlKind::Button, "Set current datetime", 0, DluRect{60, 129, 90, 14}},
               {platform::IDOK, ControlKind::DefaultButton, "OK", 0, DluRect{129, 149, 50, 14}},
               {platform::IDCANCEL, ControlKind::Button, "Cancel", 0, DluRect{183, 149, 50, 14}}}}),
      info_(info) {
    OnCommand(IDC_NOW, Notify::Clicked, [this] {
        const ArchiveTime now = ArchiveTime::NowUtc();
        SetItemText(IDC_DATE, DateText(now));
        SetItemText(IDC_TIME, TimeText(now));
    });
}

bool CArchiInfoDlg::OnInitDialog() {
    auto trimmed = [](std::string text) {
        while (!text.empty() && text.back() == ' ') text.pop_back();  // the item pads with blanks
        return text;
    };
    SetItemText(IDC_NAME, trimmed(info_.name));
    SetItemText(IDC_VERSION, trimmed(info_.version));
    SetItemText(IDC_AUTHOR, trimmed(info_.author));
    SetItemText(IDC_COMPANY, trimmed(info_.company));
    SetItemText(IDC_DESCRIPTION, trimmed(info_.description));
    const ArchiveTime& t = info_.dateTime.year ? info_.dateTime : ArchiveTime::NowUtc();
    SetItemText(IDC_DATE, DateText(t));
    SetItemText(IDC_TIME, TimeText(t));
    if (wxWindow* version = Item(IDC_VERSION))
        version->Bind(wxEVT_KILL_FOCUS, [this](wxFocusEvent& event) {
            NormaliseVersion();
            event.Skip();
        });
    return true;
}

void CArchiInfoDlg::NormaliseVersion() {
    SetItemText(IDC_VERSION, ParseArchiveVersion(GetItemText(IDC_VERSION)).text);
}

void CArchiInfoDlg::OnOK() {
    CArchiGeneralInfo edited = info_;
    edited.name = GetItemText(IDC_NAME);
    edited.author = GetItemText(IDC_AUTHOR);
    edited.company = GetItemText(IDC_COMPANY);
    edited.description = GetItemText(IDC_DESCRIPTION);
    unsigned y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (std::sscanf(GetItemText(IDC_DATE).c_str(), "%u-%u-%u", &y, &mo, &d) == 3 &&
        std::sscanf(GetItemText(IDC_TIME).c_str(), "%u:%u:%u", &h, &mi, &s) == 3 && y < 65536 && mo >= 1 &&
        mo <= 12 && d >= 1 && d <= 31 && h < 24 && mi < 60 && s < 60) {
        edited.dateTime = {uint16_t(y), uint16_t(mo), uint16_t(d), uint16_t(h), uint16_t(mi), uint16_t(s), 0};
    }
    if (!ApplyArchiveVersion(edited, ParseArchiveVersion(GetItemText(IDC_VERSION)))) {
        platform::Prompts().MessageBox("A text is too long", "General information", platform::MB_OK);
        return;
    }
    info_ = edited;
    EndDialog(platform::IDOK);
}

// ---- Select version ----

CArchiSelectDlg::CArchiSelectDlg(std::string title, std::vector<std::string> entries)
    : Dialog({"Select version",
              DluRect{0, 0, 160, 130},
              {{IDC_TITLE, ControlKind::Static, "", 0, DluRect{7, 7, 146, 8}},
               {IDC_LIST, ControlKind::ListBox, "", style::Border, DluRect{7, 19, 146, 84}},
               {platform::IDOK, ControlKind::DefaultButton, "OK", 0, DluRect{49, 109, 50, 14}},
               {platform::IDCANCEL, ControlKind::Button, "Cancel", 0, DluRect{103, 109, 50, 14}}}}),
      title_(std::move(title)),
      entries_(std::move(entries)) {}

bool CArchiSelectDlg::OnInitDialog() {
    SetItemText(IDC_TITLE, title_);
    if (auto* list = ItemAs<wxListBox>(IDC_LIST)) {
        for (const auto& entry : entries_) list->Append(wxString::FromUTF8(entry));
        if (!entries_.empty()) list->SetSelection(0);
    }
    return true;
}

void CArchiSelectDlg::OnOK() {
    auto* list = ItemAs<wxListBox>(IDC_LIST);
    chosen = list ? list->GetSelection() : -1;
    EndDialog(chosen >= 0 ? platform::IDOK : platform::IDCANCEL);
}

// ---- Boot ----

CArchiBootDlg::CArchiBootDlg(CArchivio& archive, CArchiveDrive& drive, const CNodeCompInfo& node)
    : Dialog({"Boot configuration",
              DluRect{0, 0, 250, 110},
              {{IDC_BEST, ControlKind::Radio, "Use the best boot for this device", style::Group,
                DluRect{7, 7, 236, 10}},
               {IDC_SAME, ControlKind::Radio, "Use the same version of boot present in the device", 0,
                DluRect{7, 20, 236, 10}},
               {IDC_COMPATIBLE, ControlKind::Radio, "Choose a compatible boot for this device", 0,
                DluRect{7, 33, 236, 10}},
               {IDC_SELECT, ControlKind::Button, "Select...", 0, DluRect{19, 46, 50, 14}},
               {IDC_PICKED, ControlKind::Static, "", 0, DluRect{75, 49, 168, 8}},
               {IDC_BINARY, ControlKind::Check, "Binary format", 0, DluRect{7, 66, 236, 10}},
               {IDC_XML, ControlKind::Check, "Text format (xml)", 0, DluRect{7, 78, 236, 10}},
               {platform::IDOK, ControlKind::DefaultButton, "OK", 0, DluRect{139, 91, 50, 14}},
               {platform::IDCANCEL, ControlKind::Button, "Cancel", 0, DluRect{193, 91, 50, 14}}}}),
      archive_(archive),
      drive_(drive),
      node_(node) {
    OnCommand(IDC_SELECT, Notify::Clicked, [this] { Select(); });
}

bool CArchiBootDlg::OnInitDialog() {
    if (!archive_.boot) return true;
    const CArchiBoot& b = *archive_.boot;
    picked_ = {b.pickedPath, b.pickedCode, b.pickedVersion, b.pickedBuild};
    ShowItem(IDC_BEST, b.best.available != 0);
    ShowItem(IDC_SAME, b.same.available != 0);
    for (int id : {IDC_COMPATIBLE, IDC_SELECT, IDC_PICKED}) ShowItem(id, b.compatible.available != 0);
    CheckItem(IDC_BEST, b.best.selected ? 1 : 0);
    CheckItem(IDC_SAME, !b.best.selected && b.same.selected ? 1 : 0);
    CheckItem(IDC_COMPATIBLE, !b.best.selected && !b.same.selected && b.compatible.selected ? 1 : 0);
    LockRadios(*this, {{IDC_BEST, &b.best}, {IDC_SAME, &b.same}, {IDC_COMPATIBLE, &b.compatible}});
    ShowOption(*this, IDC_BINARY, b.binary);
    ShowOption(*this, IDC_XML, b.xml);
    SetItemText(IDC_PICKED, PickedBootText(b));
    return true;
}

void CArchiBootDlg::Select() {
    const auto boots = drive_.CompatibleBoots(node_.hardware.code, node_.boot.code, archive_.compInfo);
    if (boots.empty()) {
        platform::Prompts().MessageBox("No compatible boot found", "Select boot",
                                       platform::MB_OK | platform::MB_ICONINFORMATION);
        return;
    }
    std::vector<std::string> versions;
    for (const auto& boot : boots) versions.push_back(std::to_string(boot.version));
    CArchiSelectDlg select("Boot " + std::to_string(node_.boot.code) + " version:", versions);
    const int result = runSelect ? runSelect(select) : select.DoModal(Wx());
    if (result != platform::IDOK || select.chosen < 0 || static_cast<size_t>(select.chosen) >= boots.size())
        return;
    picked_ = boots[size_t(select.chosen)];
    CArchiBoot shown;
    shown.pickedPath = picked_.path;
    shown.pickedCode = picked_.code;
    shown.pickedVersion = picked_.version;
    shown.pickedBuild = picked_.build;
    SetItemText(IDC_PICKED, PickedBootText(shown));
}

void CArchiBootDlg::OnOK() {
    if (archive_.boot) {
        CArchiBoot& b = *archive_.boot;
        b.best.selected = IsItemChecked(IDC_BEST) ? 1 : 0;
        b.same.selected = !b.best.selected && IsItemChecked(IDC_SAME) ? 1 : 0;
        b.compatible.selected = !b.best.selected && !b.same.selected && IsItemChecked(IDC_COMPATIBLE) ? 1 : 0;
        b.binary.selected = IsItemChecked(IDC_BINARY) ? 1 : 0;
        b.xml.selected = IsItemChecked(IDC_XML) ? 1 : 0;
        b.pickedPath = picked_.path;
        b.pickedCode = picked_.code;
        b.pickedVersion = picked_.version;
        b.pickedBuild = picked_.build;
        archive_.LoadBoot(drive_, node_);
    }
    EndDialog(platform::IDOK);
}

// ---- Firmware ----

CArchiFirmwareDlg::CArchiFirmwareDlg(CArchivio& archive, CArchiveDrive& drive, const CNodeCompInfo& node)
    : Dialog({"Firmware configuration",
              DluRect{0, 0, 180, 62},
              {{IDC_BINARY, ControlKind::Check, "Binary format", 0, DluRect{7, 7, 160, 10}},
               {IDC_XML, ControlKind::Check, "Text format (xml)", 0, DluRect{7, 21, 160, 10}},
               {platform::IDOK, ControlKind::DefaultButton, "OK", 0, DluRect{69, 41, 50, 14}},
               {platform::IDCANCEL, ControlKind::Button, "Cancel", 0, DluRect{123, 41, 50, 14}}}}),
      archive_(archive),
      drive_(drive),
      node_(node) {}

bool CArchiFirmwareDlg::OnInitDialog() {
    if (!archive_.firmware) return true;
    ShowOption(*this, IDC_BINARY, archive_.firmware->binary);
    ShowOption(*this, IDC_XML, archive_.firmware->xml);
    return true;
}

void CArchiFirmwareDlg::OnOK() {
    if (archive_.firmware) {
        archive_.firmware->binary.selected = IsItemChecked(IDC_BINARY) ? 1 : 0;
        archive_.firmware->xml.selected = IsItemChecked(IDC_XML) ? 1 : 0;
        archive_.LoadFirmware(drive_.FirmwarePath(), node_.firmware.code, node_.firmware.version,
                              node_.firmware.build);
    }
    EndDialog(platform::IDOK);
}

// ---- IEC program ----

CArchiIECDlg::CArchiIECDlg(CArchivio& archive, CArchiveDrive& drive)
    : Dialog({"IEC configuration",
              DluRect{0, 0, 250, 92},
              {{IDC_EDITOR, ControlKind::Radio, "Use the current file opened in the editor", style::Group,
                DluRect{7, 7, 236, 10}},
               {IDC_COMPILE, ControlKind::Check, "Compile before creating the archive", 0,
                DluRect{19, 20, 224, 10}},
               {IDC_FILE, ControlKind::Radio, "Choose an already compiled binary file", 0,
                DluRect{7, 35, 236, 10}},
               {IDC_PATH, ControlKind::Edit, "", 0, DluRect{19, 48, 200, 12}},
               {IDC_BROWSE, ControlKind::Button, "...", 0, DluRect{223, 48, 20, 12}},
               {platform::IDOK, ControlKind::DefaultButton, "OK", 0, DluRect{139, 71, 50, 14}},
               {platform::IDCANCEL, ControlKind::Button, "Cancel", 0, DluRect{193, 71, 50, 14}}}}),
      archive_(archive),
      drive_(drive) {
    OnCommand(IDC_BROWSE, Notify::Clicked, [this] {
        platform::ui::FileDialogSpec spec;
        spec.title = "Select compiled program file";
        spec.filter = "Compiled program file (*.bin)|*.bin";
        spec.defaultExtension = "bin";
        if (auto file = platform::ui::ChooseFileToOpen(Wx(), spec)) SetItemText(IDC_PATH, file->string());
    });
}

bool CArchiIECDlg::OnInitDialog() {
    if (!archive_.iec) return true;
    const CArchiIEC& iec = *archive_.iec;
    SetItemText(IDC_PATH, iec.pickedPath);
    ShowItem(IDC_EDITOR, iec.editor.available != 0);
    ShowItem(IDC_COMPILE, iec.editor.available && iec.compile.available);
    for (int id : {IDC_FILE, IDC_PATH, IDC_BROWSE}) ShowItem(id, iec.file.available != 0);
    CheckItem(IDC_EDITOR, iec.editor.selected ? 1 : 0);
    CheckItem(IDC_FILE, !iec.editor.selected && iec.file.selected ? 1 : 0);
    CheckItem(IDC_COMPILE, iec.compile.selected ? 1 : 0);
    LockRadios(*this, {{IDC_EDITOR, &iec.editor}, {IDC_FILE, &iec.file}});
    if (iec.compile.locked) EnableItem(IDC_COMPILE, false);
    return true;
}

void CArchiIECDlg::OnOK() {
    if (archive_.iec) {
        CArchiIEC& iec = *archive_.iec;
        iec.compile.selected = IsItemChecked(IDC_COMPILE) ? 1 : 0;
        iec.editor.selected = IsItemChecked(IDC_EDITOR) ? 1 : 0;
        iec.file.selected = IsItemChecked(IDC_FILE) ? 1 : 0;
        if (iec.file.selected) iec.pickedPath = GetItemText(IDC_PATH);
        archive_.LoadIec(drive_);
    }
    EndDialog(platform::IDOK);
}

// ---- Parameters ----

CArchiParamDlg::CArchiParamDlg(CArchivio& archive, CArchiveDrive& drive)
    : Dialog({"Parameter configuration",
              DluRect{0, 0, 250, 78},
              {{IDC_TARGET, ControlKind::Radio, "Read the parameters from the drive", style::Group,
                DluRect{7, 7, 236, 10}},
               {IDC_FILE, ControlKind::Radio, "Choose a parameter file", 0, DluRect{7, 21, 236, 10}},
               {IDC_PATH, ControlKind::Edit, "", 0, DluRect{19, 34, 200, 12}},
               {IDC_BROWSE, ControlKind::Button, "...", 0, DluRect{223, 34, 20, 12}},
               {platform::IDOK, ControlKind::DefaultButton, "OK", 0, DluRect{139, 57, 50, 14}},
               {platform::IDCANCEL, ControlKind::Button, "Cancel", 0, DluRect{193, 57, 50, 14}}}}),
      archive_(archive),
      drive_(drive) {
    OnCommand(IDC_BROWSE, Notify::Clicked, [this] {
        platform::ui::FileDialogSpec spec;
        spec.title = "Select parameter file";
        spec.filter = "Parameter file (*.xml)|*.xml";
        spec.defaultExtension = "xml";
        if (auto file = platform::ui::ChooseFileToOpen(Wx(), spec)) SetItemText(IDC_PATH, file->string());
    });
}

bool CArchiParamDlg::OnInitDialog() {
    if (!archive_.param) return true;
    const CArchiParam& p = *archive_.param;
    SetItemText(IDC_PATH, p.path);
    ShowItem(IDC_TARGET, p.target.available != 0);
    for (int id : {IDC_FILE, IDC_PATH, IDC_BROWSE}) ShowItem(id, p.file.available != 0);
    CheckItem(IDC_TARGET, p.target.selected ? 1 : 0);
    CheckItem(IDC_FILE, !p.target.selected && p.file.selected ? 1 : 0);
    LockRadios(*this, {{IDC_TARGET, &p.target}, {IDC_FILE, &p.file}});
    return true;
}

void CArchiParamDlg::OnOK() {
    if (archive_.param) {
        const bool fromDrive = IsItemChecked(IDC_TARGET) != 0;
        archive_.param->target.selected = fromDrive ? 1 : 0;
        archive_.param->file.selected = fromDrive ? 0 : 1;
        ConfigureParameters(archive_, drive_, fromDrive, GetItemText(IDC_PATH));
    }
    EndDialog(platform::IDOK);  // closes whatever came of the loading
}

}  // namespace packages::ui
