#include "packages/FirmwareDownload.h"

#include <algorithm>
#include <cstdio>

#include "drive/Qd.h"
#include "drive/VersionRequirements.h"
#include "engine/Main.h"
#include "engine/MainApi.h"
#include "foundation/MessageIds.h"
#include "foundation/ProgramFolders.h"
#include "foundation/XmlNode.h"
#include "packages/FirmwareContainer.h"
#include "platform/Prompt.h"

namespace packages {

namespace {

constexpr int kCellNotFound = -303;
constexpr int kBootRole = 2;

std::string Format(const char* format, const std::string& a) {
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, format, a.c_str());
    return buffer;
}

// The emphasised warning: the error form only tells, the question form returns whether to go on.
// The details follow the text in the same box.
bool Emphasised(const std::string& text, const std::string& details, bool question) {
    const std::string shown = details.empty() ? text : text + "\r\n\r\n" + details;
    if (!question) {
        platform::Prompts().MessageBox(shown, kDownloadCaption, platform::MB_ICONERROR);
        return false;
    }
    const int answer = platform::Prompts().MessageBox(shown, kDownloadCaption,
                                                      platform::MB_OKCANCEL | platform::MB_ICONWARNING);
    return answer == platform::IDOK || answer == platform::IDYES;
}

}  // namespace

CFirmwareDownloadLogic::CFirmwareDownloadLogic(CFirmwareDownloadDrive& drive, CFirmwareDownloadView& view,
                                               platform::WindowHandle window, platform::Clock& clock,
                                               CFirmwareDownloadOptions options)
    : drive_(drive), view_(view), window_(window), clock_(clock), options_(std::move(options)) {}

CFirmwareDownloadLogic::~CFirmwareDownloadLogic() {
    Abandon();
}

void CFirmwareDownloadLogic::Abandon() {
    Stop();
    ResumeOnce();
}

void CFirmwareDownloadLogic::Stop() {
    sendThread_.RequestStop();
    unpackThread_.RequestStop();
    rebootThread_.RequestStop();
    // The send is the engine's transfer on the worker's stack: only the engine can cut it short.
    if (sendThread_.IsRunning()) drive_.AbortDownload();
    sendThread_.Join();
    unpackThread_.Join();
    rebootThread_.Join();
}

bool CFirmwareDownloadLogic::WorkersRunning() const {
    return sendThread_.IsRunning() || unpackThread_.IsRunning() || rebootThread_.IsRunning();
}

void CFirmwareDownloadLogic::Pause() {
    if (paused_) return;
    drive_.PauseBackgroundReads();
    paused_ = true;
}

void CFirmwareDownloadLogic::ResumeOnce() {
    if (!paused_) return;
    paused_ = false;
    drive_.ResumeBackgroundReads();
}

void CFirmwareDownloadLogic::Close(int code) {
    // Success closes too: polling must run again whatever the outcome.
    ResumeOnce();
    running_ = false;
    closed_ = true;
    view_.Close(code);
}

void CFirmwareDownloadLogic::ResetToIdle() {
    running_ = false;
    view_.SetStatus("");
    view_.ShowBar(false);
    view_.EnableControls(true);
    view_.SetButton("Download", true);
}

bool CFirmwareDownloadLogic::Confirm(const CFirmwareEntry& entry) {
    if (!entry.incompatibility.empty()) {
        if (!options_.debug) {
            Emphasised("The selected firmware is not compatible with the drive current status!",
                       entry.incompatibility, false);
            return false;
        }
        if (!Emphasised(
                Format("The selected firmware is not compatible with the drive current status.\r\n"
                       "Downloading may lead to blocking the drive,\r\nor not all the %s features will "
                       "be available. Continue?",
                       foundation::kProgramName),
                entry.incompatibility, true))
            return false;
    }
    // The same type built for another hardware is a mismatch like any other: ask.
    const int32_t hardware = drive_.HardwareCode();
    if (entry.incompatibility.empty() && entry.hardwareCode != 0 && hardware != 0 &&
        entry.hardwareCode != hardware) {
        char text[256];
        std::snprintf(text, sizeof text,
                      "The selected firmware is made for hardware %d, the drive is hardware %d.\r\n"
                      "Downloading may lead to blocking the drive. Continue?",
                      static_cast<int>(entry.hardwareCode), static_cast<int>(hardware));
        if (!Emphasised(text, entry.description, true)) return false;
    }
    if (entry.role == kBootRole &&
        !Emphasised(
            Format("A boot file has been selected!\r\nPotentially this file type is dangerous to download\r\n"
                   "In case of process interruption, the drive will become unusable and you must return "
                   "it to %s!",
                   "Varno"),
            "The firmware checks its compatibility with the boot on the drive connected.\r\nIf the firmware "
            "is downloaded successfully, no matter what version of boot is used.",
            true))
        return false;
    if (!options_.featureWarningOff && entry.product == "2111") {
        const int major = std::atoi(entry.version.substr(0, entry.version.find('.')).c_str());
        if (major < 14) {
            char details[128];
            std::snprintf(details, sizeof details, "Sw code 2111 and Fw version less then 14 ( %d )", major);
            if (!Emphasised("Not all features are ensured with the selected firmware! Continue?", details,
                            true))
                return false;
        }
    }
    if (!entry.requirement.empty()) {
        const std::string text =
            entry.requirement +
            ".\r\n\r\nYou can proceed with dowload but, after that, you will not be able to "
            "connect to the system with this version of " +
            foundation::kProgramName + " (" + options_.programVersion +
            ").\r\n\r\nProceed anyway with the download?";
        if (platform::Prompts().MessageBox(
                text, kDownloadCaption, platform::MB_YESNO | platform::MB_ICONEXCLAMATION) != platform::IDYES)
            return false;
    }
    return true;
}

void CFirmwareDownloadLogic::OnDownload(const CFirmwareEntry* entry) {
    if (!entry || running_ || WorkersRunning()) return;
    if (!Confirm(*entry)) return;
    file_ = entry->file;
    installCommand_ = entry->installCommand;
    Pause();
    if (drive_.HasSystemManager() && !entry->sendCommand.empty() && drive_.KnowsCommand(entry->sendCommand)) {
        if (!installCommand_.empty() && !drive_.KnowsCommand(installCommand_)) {
            platform::Prompts().MessageBox(
                "Internal error: System Manager doesn't support command " + installCommand_, kDownloadCaption,
                platform::MB_ICONSTOP);
            ResumeOnce();
            return;
        }
        if (const int rc = drive_.RunCommand(entry->sendCommand, 1); rc != 0) {
            Close(rc);
            return;
        }
        running_ = true;
        if (!StartSendWorker()) {
            drive_.Report("Internal error: thread SendToDevice not started", kDownloadCaption);
            ResumeOnce();
            ResetToIdle();
        }
        return;
    }
    if (!drive_.HasEngine()) {
        ResumeOnce();
        return;
    }
    if (drive_.PrepareFirmware(file_, window_, !drive_.HasSystemManager()) != 0) {
        drive_.StartDownload(true, 0);
        drive_.Report("Error preparing firmware", kDownloadCaption);
        ResumeOnce();
        return;
    }
    running_ = true;
    view_.EnableControls(false);
}

void CFirmwareDownloadLogic::OnAbort() {
    if (platform::Prompts().MessageBox(
            "The firmware is downloading, stopping now the drive will remain in boot "
            "mode.\r\nYou will have to re-download the firmware.\r\n\r\nAbort the download?",
            kDownloadCaption, platform::MB_YESNO | platform::MB_ICONEXCLAMATION) != platform::IDYES)
        return;
    if (drive_.HasEngine()) drive_.AbortDownload();
}

intptr_t CFirmwareDownloadLogic::OnDownloadProgress(uintptr_t state, intptr_t value) {
    if (state < 10 || state > 42 || closed_) return 1;
    const int v = static_cast<int>(value);
    switch (state) {
        case 10:
            view_.SetStatus("Erasing Flash...");
            view_.ShowBar(true);
            view_.SetRange(0, v);
            view_.SetPosition(0);
            break;
        case 11:
            view_.SetPosition(v);
            break;
        case 14:
            view_.SetStatus(Format("Downloading %s ...", file_));
            view_.SetPosition(v);
            break;
        case 30:
            view_.SetStatus("Checking crc...");
            break;
        case 31:
            view_.SetStatus("Erasing Flash...");
            break;
        case 32:
            view_.SetStatus(Format("Downloading %s ...", file_));
            view_.ShowBar(true);
            view_.SetRange(-v, 0);
            view_.SetPosition(-v);
            break;
        case 33:
            view_.SetPosition(-v);
            break;
        case 34:
            view_.SetStatus("Starting...");
            break;
        case 35:
            view_.SetRange(-v, 0);
            view_.SetStatus("Download completed");
            platform::Prompts().MessageBox("Download completed", kDownloadCaption,
                                           platform::MB_ICONINFORMATION);
            Close(0);
            break;
        case 36: {
            view_.SetStatus("Download error");
            char text[128];
            std::snprintf(text, sizeof text, "Download interrupted: error %lu(0x%x)",
                          static_cast<unsigned long>(static_cast<uint32_t>(value)),
                          static_cast<unsigned>(value));
            drive_.Report(text, kDownloadCaption);
            Close(kInterruptedCloseCode);
            break;
        }
        case 37:
            view_.SetStatus("Transferring firmware to the master...");
            break;
        case 38: {
            view_.SetStatus("");
            if (drive_.HasSystemManager()) {
                if (const int rc = drive_.RunCommand("SYS_CV_DOWNLOAD_RQ_FROM_BOOT", 1); rc != 0) {
                    Close(rc);
                    break;
                }
            }
            const int rc = drive_.StartDownload(false, drive_.IsXulFamily() ? 100 : 1500);
            if (rc == 0) {
                view_.SetButton("Abort", true);
            } else {
                drive_.Report("Download firmware error", kDownloadCaption);
                Close(rc);
            }
            break;
        }
        case 39:
            view_.SetStatus("Firmware reset...");
            break;
        case 40:
            view_.SetStatus("Changing node to bootstrap...");
            break;
        case 41:
            view_.SetStatus(Format("Downloading %s (FoE) ...", file_));
            view_.SetPosition(v);
            break;
        case 42:
            view_.SetStatus("Restoring previous node state...");
            break;
        default:
            break;
    }
    return 1;
}

intptr_t CFirmwareDownloadLogic::OnInstallProgress(uintptr_t state, intptr_t value) {
    if (state < 10 || state > 46 || closed_) return 1;
    const int v = static_cast<int>(value);
    switch (state) {
        case 10:
            view_.SetStatus(Format("Sending %s to device...", file_));
            view_.SetRange(0, v);
            view_.SetPosition(0);
            view_.ShowBar(true);
            view_.SetButton("Abort", true);
            break;
        case 11:
            view_.SetPosition(v);
            break;
        case 30:
            view_.SetStatus("Checking crc...");
            break;
        case 31: {
            if (installCommand_.empty()) {
                PostInstall(45, 0);
                break;
            }
            view_.SetStatus("Erasing flash...");
            view_.SetButton("Abort", false);
            view_.SetRange(0, v);
            view_.SetPosition(0);
            bool ok = drive_.RunCommand(installCommand_, 1) == 0;
            if (ok && !StartUnpackWorker()) {
                drive_.Report("Internal error: thread Unpacking not started", kDownloadCaption);
                ok = false;
            }
            if (!ok) {
                ResumeOnce();
                ResetToIdle();
            }
            break;
        }
        case 32:
            view_.SetStatus(Format("Sending %s to device...", file_));
            view_.SetRange(-v, 0);
            view_.SetPosition(-v);
            view_.SetButton("Abort", true);
            break;
        case 33:
            view_.SetPosition(-v);
            break;
        case 35:
            Close(0);
            break;
        case 36: {
            view_.SetStatus("Download error");
            char text[128];
            std::snprintf(text, sizeof text, "Send aborted: error %lu(0x%x)",
                          static_cast<unsigned long>(static_cast<uint32_t>(value)),
                          static_cast<unsigned>(value));
            drive_.Report(text, kDownloadCaption);
            ResumeOnce();
            ResetToIdle();
            break;
        }
        case 37:
            view_.SetStatus("Transferring firmware to the master...");
            break;
        case 43:
            view_.SetStatus("Installing...");
            break;
        case 44: {
            view_.SetStatus("Unpacking error");
            char text[128];
            if (value == kUnpackTimeoutCode)
                std::snprintf(text, sizeof text, "Timeout installing firmware");
            else
                std::snprintf(text, sizeof text, "Error %d installing firmware", v);
            platform::Prompts().MessageBox(text, kDownloadCaption, platform::MB_ICONEXCLAMATION);
            ResumeOnce();
            ResetToIdle();
            break;
        }
        case 45: {
            view_.SetStatus("Install completed, need reboot");
            const int answer = platform::Prompts().MessageBox(
                "Firmware download completed.\r\nDevice reboot is required.\r\n\r\nWould you like to reboot "
                "device now?",
                kDownloadCaption, platform::MB_YESNO | platform::MB_ICONQUESTION);
            if (answer != platform::IDYES) {
                ResumeOnce();
                ResetToIdle();
                break;
            }
            view_.ShowBar(false);
            view_.SetStatus("Rebooting device...");
            if (drive_.RunCommand("SYS_CV_RESTART_FW_TOTALE", 1) != 0 || !StartRebootWorker()) {
                view_.SetStatus("Install completed, need reboot");
                platform::Prompts().MessageBox(
                    "Rebooting device failed.\r\nPlease restart the device manually.", kDownloadCaption,
                    platform::MB_ICONSTOP);
                Close(0);
            }
            break;
        }
        case 46:
            view_.SetStatus("Rebooting timeout");
            platform::Prompts().MessageBox("Firmware download completed.\r\nDevice reboot is required.",
                                           kDownloadCaption, platform::MB_ICONINFORMATION);
            Close(0);
            break;
        default:
            break;
    }
    return 1;
}

// ---- workers ---------------------------------------------------------------------------------------

void CFirmwareDownloadLogic::PostInstall(uintptr_t state, intptr_t value) {
    platform::PostMessage(window_, foundation::kFirmwareInstallMessage, state, value);
}

bool CFirmwareDownloadLogic::Wait(platform::StopToken& token, int64_t ms) {
    while (ms > 0) {
        if (token.StopRequested()) return false;
        const int64_t step = std::min<int64_t>(ms, 100);
        clock_.SleepMs(static_cast<uint32_t>(step));
        ms -= step;
    }
    return !token.StopRequested();
}

bool CFirmwareDownloadLogic::StartSendWorker() {
    if (sendThread_.IsRunning()) return true;
    sendThread_.Join();
    if (!request_) request_ = std::make_unique<engine::CDownloadFw>();
    request_->window = window_;
    request_->message = foundation::kFirmwareInstallMessage;
    request_->enable = false;
    request_->fileName = file_;
    request_->reload = 1;
    return sendThread_.Start("SendToDevice", [this](platform::StopToken& token) { SendWorker(token); });
}

void CFirmwareDownloadLogic::SendWorker(platform::StopToken& token) {
    const int rc = drive_.SendFirmware(*request_);
    if (token.StopRequested()) return;
    if (rc == 0)
        PostInstall(31, 100);
    else
        PostInstall(36, rc);
}

bool CFirmwareDownloadLogic::StartUnpackWorker() {
    if (unpackThread_.IsRunning()) return true;
    unpackThread_.Join();
    return unpackThread_.Start("Unpacking", [this](platform::StopToken& token) { UnpackWorker(token); });
}

void CFirmwareDownloadLogic::UnpackWorker(platform::StopToken& token) {
    const int64_t start = clock_.NowMs();
    int result = 0;
    const auto elapsed = [&] {
        const int64_t ms = clock_.NowMs() - start;
        unpackElapsedMs_ = ms;
        return ms;
    };
    if (drive_.HasCell(kUnpackProgressCell) == kCellNotFound) {
        while (drive_.SystemManagerBusy()) {
            if (elapsed() >= kUnpackLimitMs) {
                result = kUnpackTimeoutCode;
                break;
            }
            if (!Wait(token, kUnpackStepMs)) return;
        }
    } else {
        bool noticed = false;
        for (;;) {
            if (elapsed() >= kUnpackLimitMs) {
                result = kUnpackTimeoutCode;
                break;
            }
            uint32_t progress = 0;
            if (drive_.ReadCell(kUnpackProgressCell, &progress) == 0) {
                PostInstall(11, static_cast<intptr_t>(progress));
                if (progress != 0 && !noticed) {
                    noticed = true;
                    PostInstall(43, 0);
                }
                if (progress >= 100) {
                    uint32_t error = 0;
                    if (drive_.ReadCell("SystemManagerError", &error) == 0) result = static_cast<int>(error);
                    break;
                }
            }
            if (!Wait(token, kUnpackStepMs)) return;
        }
    }
    if (token.StopRequested()) return;
    if (result == 0)
        PostInstall(45, 0);
    else
        PostInstall(44, result);
}

bool CFirmwareDownloadLogic::StartRebootWorker() {
    if (rebootThread_.IsRunning()) return true;
    rebootThread_.Join();
    return rebootThread_.Start("Reboot", [this](platform::StopToken& token) { RebootWorker(token); });
}

void CFirmwareDownloadLogic::RebootWorker(platform::StopToken& token) {
    const int64_t start = clock_.NowMs();
    if (!Wait(token, kRebootFirstWaitMs)) return;
    for (;;) {
        if (drive_.DeviceAnswers()) {
            if (!token.StopRequested()) PostInstall(35, 0);
            return;
        }
        if (clock_.NowMs() - start >= kRebootLimitMs) {
            if (!token.StopRequested()) PostInstall(46, 0);
            return;
        }
        if (!Wait(token, kRebootStepMs)) return;
    }
}

std::vector<CFirmwareEntry> ListFirmwareEntries(
    const foundation::CXmlDocument& index, int32_t hardwareCode, foundation::CCompatChecker& checker,
    const std::function<std::filesystem::path(const foundation::CXmlNode&)>& entryFile) {
    struct Row {
        CFirmwareEntry entry;
        foundation::CIdentity identity;
    };
    std::vector<Row> rows;
    for (const foundation::CXmlNode* voc : index.Root().Children()) {
        const std::string type = voc->GetAttribute("type");
        if (type != "fw" && type != "boot") continue;
        if (voc->GetAttributeInt("hw", -1) != hardwareCode) continue;
        Row row;
        row.identity.ReadDeviceNode(voc);
        if (!row.identity.IsValid()) continue;
        CFirmwareEntry& e = row.entry;
        e.role = type == "boot" || row.identity.GetRole() == foundation::kRoleBoot
                     ? kBootRole
                     : foundation::kRoleFirmware;
        e.description = voc->GetAttribute("descr");
        if (e.description.empty()) e.description = row.identity.GetDescription();
        e.product = std::to_string(row.identity.code);
        const std::string codeVersion = row.identity.GetCodeVersionText();
        const size_t v = codeVersion.find("v. ");
        e.version = v == std::string::npos ? codeVersion : codeVersion.substr(v + 3);
        e.prerelease = row.identity.version.preState != 0;
        e.hardwareCode = hardwareCode;
        e.file = entryFile(*voc).string();
        e.requirement = drive::FirmwareProgramRequirement(*voc, drive::CurrentProgramVersion());
        CFirmwareContainer container;
        const std::string error = container.ReadFirmwareInfo(e.file, e.role != kBootRole, false);
        if (!error.empty()) {
            e.incompatibility = error;
        } else {
            e.incompatibility = checker.CheckFirmware(container);
            e.sendCommand = container.DownloadCommand();
            e.installCommand = container.UnpackCommand();
        }
        e.info = row.identity.GetFullText(true);
        rows.push_back(std::move(row));
    }
    std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        if ((a.entry.role == kBootRole) != (b.entry.role == kBootRole)) return b.entry.role == kBootRole;
        return a.identity.IsVersionGreater(b.identity);
    });
    std::vector<CFirmwareEntry> out;
    for (Row& row : rows) out.push_back(std::move(row.entry));
    return out;
}

drive::FirmwareInfoReader FirmwareContainerReader() {
    return [](const std::filesystem::path& file, bool boot, foundation::CXmlDocument& package) {
        CFirmwareContainer container;
        std::string error = container.ReadFirmwareInfo(file, !boot, false);
        if (error.empty()) package.Root().Copy(&container.Root());
        return error;
    };
}

// ---- the drive object's side -----------------------------------------------------------------------

bool CQdFirmwareDownloadDrive::HasEngine() {
    return qd_.ConnectionWindow().EngineApi() != nullptr &&
           qd_.ConnectionWindow().EngineApi()->Engine() != nullptr;
}

bool CQdFirmwareDownloadDrive::HasSystemManager() {
    return qd_.Identity().systemManager;
}

bool CQdFirmwareDownloadDrive::KnowsCommand(const std::string& name) {
    return qd_.SystemManager().LookupCommand(name) != 0;
}

int CQdFirmwareDownloadDrive::RunCommand(const std::string& name, int argument) {
    const auto work = [this, name, argument] {
        return static_cast<int>(qd_.SystemManager().ExecuteCommand(name, argument));
    };
    return busy ? busy("Please wait...", work) : work();
}

void CQdFirmwareDownloadDrive::PauseBackgroundReads() {
    qd_.PauseBackgroundReads();
}

void CQdFirmwareDownloadDrive::ResumeBackgroundReads() {
    qd_.ResumeBackgroundReads();
}

int CQdFirmwareDownloadDrive::PrepareFirmware(const std::string& file, platform::WindowHandle window,
                                              bool noSystemManager) {
    engine::CMain* engine = HasEngine() ? qd_.ConnectionWindow().EngineApi()->Engine() : nullptr;
    if (!engine) return -1;
    return engine->StartFirmwarePrepare(file, window, 0, noSystemManager);
}

int CQdFirmwareDownloadDrive::StartDownload(bool release, uint32_t delayMs) {
    return qd_.StartFirmwareDownload(release, delayMs);
}

void CQdFirmwareDownloadDrive::AbortDownload() {
    qd_.AbortFirmwareDownload();
}

void CQdFirmwareDownloadDrive::Report(const std::string& text, const std::string& caption) {
    qd_.ReportError(text, 1, 0, "", caption);
}

bool CQdFirmwareDownloadDrive::IsXulFamily() {
    return qd_.State().group == 10;
}

int32_t CQdFirmwareDownloadDrive::HardwareCode() {
    return static_cast<int32_t>(qd_.State().hw);
}

int CQdFirmwareDownloadDrive::SendFirmware(engine::CDownloadFw& request) {
    engine::CMain* engine = HasEngine() ? qd_.ConnectionWindow().EngineApi()->Engine() : nullptr;
    if (!engine) return -1;
    engine->ClearError();
    return engine->DownloadFirmware(request);
}

int CQdFirmwareDownloadDrive::HasCell(const std::string& name) {
    uint32_t value = 0;
    return qd_.ReadCell(name, value) == kCellNotFound ? kCellNotFound : 0;
}

int CQdFirmwareDownloadDrive::ReadCell(const std::string& name, uint32_t* value) {
    return qd_.ReadCell(name, *value);
}

bool CQdFirmwareDownloadDrive::SystemManagerBusy() {
    uint32_t command = 0;
    // A drive that does not answer is still unpacking.
    return qd_.ReadCell("SystemManagerCommand", command) != 0 || command != 0;
}

bool CQdFirmwareDownloadDrive::DeviceAnswers() {
    uint32_t value = 0;
    return qd_.ReadCell(qd_.State().statusWordCell, value) == 0;
}

}  // namespace packages
