// The main dialog's commands that work on files: start-up checks, firmware export, user motors,
// parameter import and download, configuration files and the plain parameter file.
#include <cstdio>
#include <set>

#include "app/MainDlgCommands.h"
#include "drive/DriveValueHelpers.h"
#include "drive/MotorDatabase.h"
#include "drive/ParamFileImport.h"
#include "drive/PlainParamFile.h"
#include "drive/Qd.h"
#include "engine/CompressedBlock.h"
#include "foundation/ProgramFolders.h"
#include "foundation/XmlDocument.h"
#include "foundation/XmlNode.h"
#include "platform/AtomicFile.h"
#include "platform/File.h"
#include "platform/Prompt.h"

namespace app {

using foundation::CXmlDocument;
using foundation::CXmlNode;

namespace {

// Unit codes of the linear units (position, velocity, acceleration).
bool IsLinearUnit(int32_t code) {
    return code == 11 || code == 12 || code == 13;
}

std::string Printf(const char* format, int number, const std::string& text = {}) {
    char buffer[1024];
    std::snprintf(buffer, sizeof buffer, format, number, text.c_str());
    return buffer;
}

// The group of a motor file that belongs to the family ("id", or "name" in older files).
CXmlNode* FamilyGroup(const CXmlNode& root, const std::string& family) {
    if (family.empty()) return nullptr;
    for (CXmlNode* group : root.Children())
        if (group->Name() == "Group" &&
            (group->GetAttribute("id") == family || group->GetAttribute("name") == family))
            return group;
    return nullptr;
}

std::string MotorText(const CXmlNode& motor) {
    std::string text = motor.GetAttribute("id");
    for (const char* part : {"brand", "model"}) {
        const std::string value = motor.GetAttribute(part);
        if (!value.empty()) text += " - " + value;
    }
    return text;
}

// The family's motors of a motor file (id and shown text each), offered for the user's pick.
std::vector<std::pair<std::string, std::string>> FamilyMotors(const CXmlNode& root,
                                                              const std::string& family) {
    std::vector<std::pair<std::string, std::string>> motors;
    if (const CXmlNode* group = FamilyGroup(root, family))
        for (const CXmlNode* motor : group->Children())
            if (motor->Name() == "Motor" && !motor->GetAttribute("id").empty())
                motors.emplace_back(motor->GetAttribute("id"), MotorText(*motor));
    return motors;
}

}  // namespace

std::filesystem::path CMainDlgCommandSite::DocumentsFolder() const {
    std::error_code ec;
    const std::filesystem::path& data = foundation::GetUserDataFolder();
    if (!data.empty() && std::filesystem::is_directory(data, ec)) return data;
    return std::filesystem::current_path(ec);
}

std::filesystem::path CMainDlgCommandSite::UserMotorsFolder() const {
    return foundation::GetUserDataFolder();
}

// ---- 0x432 start-up checks -------------------------------------------------------------------

void CMainDlgCommands::StartupChecks() {
    const bool online = qd_.IsConnected() && !qd_.IsOffline();
    if (online && qd_.State().bootOnly) {
        ShowBox(kBootOnlyWarning, site_.ProgramName(), platform::MB_ICONWARNING);
        return;
    }
    if (online) {
        const CXmlNode* data = qd_.DriveData();
        const CXmlNode* type = data ? data->FindNode("Type") : nullptr;
        int code = 0;
        if (type && type->GetAttributeBool("checkfirmware", false)) code |= 768;
        if (type && type->GetAttributeBool("checkboot", false)) code |= 3;
        if (code != 0) site_.StartFirmwareUpdateCheck(code);
    }
    if (!qd_.Identity().linearMotor) return;
    static const char* const kLabels[3] = {"\r\nPosition unit:\t", "\r\nVelocity unit:\t",
                                           "\r\nAcceleration unit:\t"};
    std::string rotary;
    for (int q = 0; q < 3; ++q)
        if (!IsLinearUnit(qd_.Units().SelectedCode(q))) rotary += kLabels[q] + qd_.Units().SelectedLabel(q);
    if (rotary.empty()) return;
    ShowBox("The motor is linear and several visualization units are typical of the rotary motors:\r\n" +
                rotary +
                "\r\n\r\nIn the menu View\\Options\\Custom units you can select the linear meter units.",
            "Visualization units", platform::MB_ICONINFORMATION);
}

// ---- 0x434 export firmware -------------------------------------------------------------------

void CMainDlgCommands::ExportFirmware() {
    const auto configuration = site_.ChooseConfigurationFile();
    if (!configuration) return;
    FileChoice choice;
    choice.title = "Export firmware";
    choice.filter = "Firmware binary file (*.bin)|*.bin";
    choice.folder = site_.DocumentsFolder();
    choice.name = configuration->stem().string() + ".bin";
    choice.extension = "bin";
    const auto target = site_.ChooseFileToSave(choice);
    if (!target) return;
    if (WriteFirmwareFile(*configuration, *target) == 0)
        ShowBox(kExportFirmwareDone, kExportFirmwareCaption, platform::MB_ICONINFORMATION);
}

int CMainDlgCommands::WriteFirmwareFile(const std::filesystem::path& configuration,
                                        const std::filesystem::path& target) {
    platform::File in;
    int rc = in.Open(configuration, platform::FileAccess::kRead);
    std::string text;
    if (rc == 0) {
        const int64_t size = in.Size();
        if (size < 0) {
            rc = in.LastError() != 0 ? in.LastError() : -1;
        } else {
            text.resize(static_cast<size_t>(size));
            if (in.ReadAll(text.data(), text.size()) != size) rc = in.LastError() != 0 ? in.LastError() : -1;
        }
    }
    if (rc != 0) {
        ShowBox(Printf("Error %d reading file %s\r\n", rc, configuration.string()), kExportFirmwareCaption,
                platform::MB_ICONSTOP);
        return rc;
    }
    std::vector<uint8_t> firmware;
    if (const int code = engine::ExtractFirmwareElement(text, firmware); code != 0) {
        ShowBox(Printf("Error %d: no firmware in file %s\r\n", code, configuration.string()),
                kExportFirmwareCaption, platform::MB_ICONSTOP);
        return code;
    }
    // Written whole or not at all: a failed write leaves no truncated image behind.
    platform::AtomicFileWriter out;
    if (!out.Open(target) || !out.Write(firmware.data(), firmware.size()) || !out.Commit()) {
        const int code = out.ErrorCode() != 0 ? out.ErrorCode() : -1;
        out.Abort();
        ShowBox(Printf("Error %d writing file %s\r\n", code, target.string()), kExportFirmwareCaption,
                platform::MB_ICONSTOP);
        return code;
    }
    return 0;
}

// ---- 0x462 .. 0x464 user motors --------------------------------------------------------------

void CMainDlgCommands::ImportUserMotors() {
    FileChoice choice;
    choice.title = "Open the file to be imported";
    choice.filter = kMotorsFileFilter;
    choice.folder = site_.DocumentsFolder();
    choice.extension = "xml";
    const auto file = site_.ChooseFileToOpen(choice);
    if (!file) return;
    const std::unique_ptr<CXmlDocument> source = drive::ConvertOldMotorsFile(*file);
    const std::string family = drive::GetDeviceFamilyName(qd_.State().group);
    const std::vector<std::pair<std::string, std::string>> offered = FamilyMotors(source->Root(), family);
    if (offered.empty()) {
        char text[512];
        std::snprintf(text, sizeof text, "No motors of type '%s' contained in the file.", family.c_str());
        ShowBox(text, kImportMotorsCaption, platform::MB_ICONWARNING);
        return;
    }
    const std::vector<std::string> chosen = site_.SelectMotors(kImportMotorsCaption, "Import", offered);
    if (chosen.empty()) {
        ShowBox("Empty selection. No motors have been imported.", kImportMotorsCaption,
                platform::MB_ICONWARNING);
        return;
    }
    drive::CMotorDatabase& database = qd_.MotorDatabase();
    const std::filesystem::path folder = site_.UserMotorsFolder();
    database.LoadUserMotors(folder);
    CXmlNode& userRoot = database.UserDocument().Root();
    CXmlNode* userGroup = FamilyGroup(userRoot, family);
    if (userGroup) {
        for (const CXmlNode* motor : userGroup->Children())
            for (const std::string& id : chosen)
                if (motor->Name() == "Motor" && motor->GetAttribute("id") == id) {
                    ShowBox("The motor(s) already exist in the database", kImportMotorsCaption,
                            platform::MB_ICONWARNING);
                    return;
                }
    } else {
        userGroup = userRoot.AddChild("Group");
        userGroup->SetAttribute("id", family);
    }
    const std::set<std::string> wanted(chosen.begin(), chosen.end());
    int count = 0;
    for (const CXmlNode* motor : FamilyGroup(source->Root(), family)->Children()) {
        if (motor->Name() != "Motor" || wanted.count(motor->GetAttribute("id")) == 0) continue;
        userGroup->AddChild("Motor")->Copy(motor);
        ++count;
    }
    std::string error;
    if (!database.SaveUserMotors(folder, &error)) {
        ShowBox(Printf("Error %d saving user motors database.", -1) + "\r\n" + error, kImportMotorsCaption,
                platform::MB_ICONSTOP);
    } else {
        ShowBox(Printf("%d motor(s) have been successfully imported.", count), kImportMotorsCaption,
                platform::MB_ICONINFORMATION);
    }
    database.ClearMotorDatabase();
    if (qd_.Hooks().loadMotorDatabase) qd_.Hooks().loadMotorDatabase();
}

void CMainDlgCommands::ExportUserMotors() {
    drive::CMotorDatabase& database = qd_.MotorDatabase();
    database.LoadUserMotors(site_.UserMotorsFolder());
    const std::string family = drive::GetDeviceFamilyName(qd_.State().group);
    const std::vector<std::pair<std::string, std::string>> offered =
        FamilyMotors(database.UserDocument().Root(), family);
    if (offered.empty()) {
        char text[512];
        std::snprintf(text, sizeof text, "No user motors of type '%s' to export.", family.c_str());
        ShowBox(text, kExportMotorsCaption, platform::MB_ICONWARNING);
        return;
    }
    const std::vector<std::string> chosen = site_.SelectMotors(kExportMotorsCaption, "Export", offered);
    if (chosen.empty()) return;
    FileChoice choice;
    choice.title = kExportMotorsCaption;
    choice.filter = kMotorsFileFilter;
    choice.folder = site_.DocumentsFolder();
    choice.extension = "xml";
    const auto file = site_.ChooseFileToSave(choice);
    if (!file) return;
    CXmlDocument out;
    out.Root().SetName("Motors");
    out.Root().SetAttribute("version", "1");
    CXmlNode* outGroup = out.Root().AddChild("Group");
    outGroup->SetAttribute("id", family);
    const std::set<std::string> wanted(chosen.begin(), chosen.end());
    int count = 0;
    for (const CXmlNode* motor : FamilyGroup(database.UserDocument().Root(), family)->Children()) {
        if (motor->Name() != "Motor" || wanted.count(motor->GetAttribute("id")) == 0) continue;
        outGroup->AddChild("Motor")->Copy(motor);
        ++count;
    }
    // A file that was not written must not be reported as exported.
    if (out.Save(*file) != foundation::S_OK) {
        ShowBox("Error saving file " + file->string(), kExportMotorsCaption, platform::MB_ICONSTOP);
        return;
    }
    ShowBox(Printf("%d motor(s) have been successfully exported.", count), kExportMotorsCaption,
            platform::MB_ICONINFORMATION);
}

void CMainDlgCommands::DeleteUserMotors() {
    if (platform::Prompts().MessageBox(
            "Delete the current user motors database files and create new. Confirm?", "Delete user motors",
            platform::MB_YESNO | platform::MB_ICONQUESTION) != platform::IDYES)
        return;
    const std::filesystem::path file = site_.UserMotorsFolder() / drive::CMotorDatabase::kUserFile;
    platform::RemoveFile(file);
    std::error_code ec;
    if (std::filesystem::exists(file, ec))
        ShowBox("Error deleting file " + file.string(), "Delete user motors", platform::MB_ICONSTOP);
    qd_.MotorDatabase().ClearMotorDatabase();
}

// ---- 0x466, 0x468 parameter import and download ----------------------------------------------

void CMainDlgCommands::ImportParameters() {
    site_.CloseOscilloscope();
    site_.CloseDriveSetup();
    FileChoice choice;
    choice.title = "Import parameters file";
    choice.filter = kParametersFileFilter;
    choice.folder = qd_.ParameterFolder();
    choice.extension = "xml";
    const auto file = site_.ChooseFileToOpen(choice);
    if (!file) return;
    drive::CParamFileImportDrive* importer = site_.ParameterImportDrive();
    const int rc = importer ? drive::ImportParameterFile(*importer, *file, true, false) : 1;
    if (rc == 0)
        ShowBox("Parameters file successfully imported!", "Import file parameters",
                platform::MB_ICONINFORMATION);
    else
        ShowBox("Parameters file import error!", "Import file parameters", platform::MB_ICONSTOP);
}

void CMainDlgCommands::DownloadParameters() {
    const bool withoutManager = !qd_.Identity().systemManager;
    const CXmlNode* data = qd_.DriveData();
    const bool captures = data && data->FindNode("DRIVE_SETUP\\CAPTURES");
    const bool outputs = qd_.GetCellInfo("DigitalOutputStatus", nullptr, nullptr, nullptr) == 0;
    const auto ask = [](const char* text) {
        return platform::Prompts().MessageBox(
                   text, kDownloadCaption, platform::MB_YESNO | platform::MB_ICONQUESTION) == platform::IDYES;
    };
    if (withoutManager) {
        if (captures &&
            !ask(outputs ? "This operation will stop captures and output will be disabled; confirm?"
                         : "This operation will stop captures; confirm?"))
            return;
        if (!captures && outputs && !ask("This operation will disable output; confirm?")) return;
    }
    FileChoice choice;
    choice.title = "Download parameters file";
    choice.filter = kParametersFileFilter;
    choice.folder = qd_.ParameterFolder();
    choice.name = "Parameters.xml";
    choice.extension = "xml";
    const auto file = site_.ChooseFileToOpen(choice);
    if (!file) return;
    if (withoutManager) {
        const auto write = [this](const char* name, const char* error) {
            const int rc = qd_.WriteCell(name, 0);
            if (rc != 0) qd_.ReportError(error, 1, rc, "", "");
            return rc == 0;
        };
        if (captures && (!write("CptASettings", "Unit A capture write error") ||
                         !write("CptBSettings", "Unit B capture write error")))
            return;
        if (outputs && !write("DigitalOutputStatus", "Disable output write error")) return;
        if (qd_.ConfirmDisableDrive(false, false) != 0) return;
        if (qd_.RestoreModeOfOperation(-127, false) != 0) return;
    }
    site_.CloseOscilloscope();
    site_.CloseDriveSetup();
    drive::CParamFileImportDrive* importer = site_.ParameterImportDrive();
    if (!importer) {
        ShowBox("Parameters file download error!", kDownloadCaption, platform::MB_ICONSTOP);
        return;
    }
    const int rc = drive::ImportParameterFile(*importer, *file, false, true);
    if (rc == 0)
        ShowBox("Parameters download successfully completed!", kDownloadCaption,
                platform::MB_ICONINFORMATION);
    else if (rc == 4)
        ShowBox("Parameters download completed.\r\nSome parameters have not been restored", kDownloadCaption,
                platform::MB_ICONWARNING);
}

// ---- 0x46B, 0x46C configuration files --------------------------------------------------------

void CMainDlgCommands::LoadConfiguration(bool commandLine) {
    std::optional<std::filesystem::path> file;
    if (commandLine) {
        const std::filesystem::path named = site_.CommandLineConfiguration();
        if (!named.empty()) file = named;
    } else {
        FileChoice choice;
        choice.title = "Open configuration file";
        choice.filter = kConfigurationFileFilter;
        choice.folder = site_.DocumentsFolder();
        choice.extension = "xml";
        file = site_.ChooseFileToOpen(choice);
    }
    if (!file) return;
    if (site_.LoadProgramSettings(*file)) site_.ConfigurationLoaded();
}

void CMainDlgCommands::SaveConfiguration() {
    FileChoice choice;
    choice.title = "Save configuration file";
    choice.filter = kConfigurationFileFilter;
    choice.folder = site_.DocumentsFolder();
    choice.extension = "xml";
    const auto file = site_.ChooseFileToSave(choice);
    if (!file) return;
    site_.StoreMessageBarPlacement();
    std::string error;
    if (!site_.SaveProgramSettings(*file, &error))
        ShowBox(error.empty() ? "Error saving file " + file->string() : error, "Save configuration file",
                platform::MB_ICONSTOP);
}

// ---- 0x472 plain parameter file --------------------------------------------------------------

void CMainDlgCommands::PlainParameterFile(unsigned commandId) {
    const bool bus = commandId == kCmdBusAddresses;
    FileChoice source;
    source.title = "Select the source parameter file";
    source.filter = kParametersFileFilter;
    source.folder = qd_.ParameterFolder();
    source.extension = "xml";
    const auto from = site_.ChooseFileToOpen(source);
    if (!from) return;
    FileChoice target;
    target.title = bus ? "Destination plain parameter file (bus addresses)"
                       : "Destination plain parameter file (modbus addresses)";
    target.filter = "Plain parameters file (*.txt)|*.txt";
    target.folder = from->parent_path();
    target.name = from->stem().string() + ".txt";
    target.extension = "txt";
    auto to = site_.ChooseFileToSave(target);
    if (!to) return;
    if (to->extension() != ".txt") *to += ".txt";
    CXmlDocument document;
    if (document.Load(*from) != foundation::S_OK) {
        ShowBox("Error reading file " + from->string(), kPlainFileCaption, platform::MB_ICONSTOP);
        return;
    }
    const std::string error = drive::WritePlainParamFile(
        document.Root(), *to, bus ? drive::kPlainParamBusAddresses : drive::kPlainParamModbusAddresses);
    if (!error.empty()) {
        ShowBox(error, kPlainFileCaption, platform::MB_ICONSTOP);
        return;
    }
    ShowBox(bus ? "Parameters file with bus addresses successfully created!"
                : "Parameters file with modbus addresses successfully created!",
            kPlainFileCaption, platform::MB_ICONINFORMATION);
}

}  // namespace app
