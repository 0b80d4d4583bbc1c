#include "drive/FirmwareUpdate.h"

#include <memory>
#include <utility>

#include "drive/Qd.h"
#include "engine/Main.h"
#include "foundation/BrandList.h"
#include "foundation/MessageIds.h"
#include "foundation/XmlNode.h"

namespace drive {

using foundation::CCompatChecker;
using foundation::CIdentity;
using foundation::CXmlDocument;
using foundation::CXmlNode;

std::filesystem::path VocabularyEntryFile(const CXmlNode& entry) {
    const std::string brand = entry.GetAttribute("brand");
    const std::string folder = foundation::GetBrandList().GetBrandFolder(
        brand.empty() ? nullptr : brand.c_str(), entry.GetAttributeInt("nFw", 0));
    return std::filesystem::path(folder) / entry.GetAttribute("file");
}

void CQdCompatDrive::PauseBackground() {
    qd_.PauseBackgroundReads();
}

void CQdCompatDrive::ResumeBackground() {
    qd_.ResumeBackgroundReads();
}

int CQdCompatDrive::ReadCellU32(const std::string& name, uint32_t& value) {
    return qd_.ReadCell(name, value);
}

namespace {

// A checker of the copied components, with no link to the device: the check never reaches it.
void LoadCopy(const CFirmwareUpdateInputs& in, CCompatChecker& checker) {
    CXmlDocument components;
    if (!in.componentsXml.empty() && components.LoadXml(in.componentsXml) == foundation::S_OK)
        checker.LoadComponents(&components.Root());
    checker.GetFirmwareIdentity() = in.firmware;
    checker.GetBootIdentity() = in.boot;
    checker.GetHardwareIdentity() = in.hardware;
}

}  // namespace

CFirmwareUpdateResult FindFirmwareUpdate(const CFirmwareUpdateInputs& in, const std::function<bool()>& stop) {
    const bool firstValid = in.firmware.IsValid();
    const CIdentity& current = firstValid ? in.firmware : in.boot;
    CIdentity best = current;
    bool found = false;

    CCompatChecker checker;
    LoadCopy(in, checker);
    CXmlDocument index;
    if (!in.indexXml.empty() && index.LoadXml(in.indexXml) == foundation::S_OK && in.reader && in.entryFile) {
        for (const CXmlNode* entry : index.Root().Children()) {
            if (stop && stop()) return {};
            if (entry->GetAttributeInt("hw", -1) != in.hardwareCode) continue;
            CIdentity candidate;
            candidate.ReadDeviceNode(entry);
            // Prereleases are never offered, however high their number.
            if (!candidate.IsValid() || candidate.version.preState != 0) continue;
            if (!candidate.IsVersionGreater(best)) continue;
            const bool boot =
                entry->GetAttribute("type") == "boot" || candidate.GetRole() == foundation::kRoleBoot;
            CXmlDocument package;
            if (!in.reader(in.entryFile(*entry), boot, package).empty()) continue;
            if (!checker.CheckFirmware(package).empty()) continue;
            best = candidate;
            found = true;
        }
    }

    CFirmwareUpdateResult result;
    result.text = "Currently running in the node:\r\n" + current.GetDescription();
    if (firstValid) result.text += "\r\n" + in.boot.GetDescription();
    if (found) result.text += "\r\n\r\nAvailable:" + best.GetDescription();
    result.available = found;
    return result;
}

// ---- the drive object's side ---------------------------------------------------------------------

void CQd::SetFirmwareInfoReader(FirmwareInfoReader reader) {
    std::lock_guard lock(lock_);
    firmwareInfoReader_ = std::move(reader);
}

bool CQd::FirmwareUpdateCheckRunning() const {
    return firmwareCheck_.IsRunning();
}

void CQd::StopFirmwareUpdateCheck() {
    firmwareCheck_.RequestStop();
    firmwareCheck_.Join();
}

void CQd::StartCheckFirmwareUpdateThread(int code, platform::WindowHandle target) {
    if (firmwareCheck_.IsRunning()) return;
    firmwareCheck_.Join();
    if (!IsOffline()) {
        CQdCompatDrive drive(*this);
        checker_.Refresh(&drive);
    }
    firmwareCheckTarget_ = target;
    firmwareCheckCode_ = code;

    // Everything the worker reads is copied here: a reconnect may reset the checker and the index
    // while it runs.
    auto inputs = std::make_shared<CFirmwareUpdateInputs>();
    {
        std::lock_guard lock(lock_);
        inputs->firmware = checker_.GetFirmwareIdentity();
        inputs->boot = checker_.GetBootIdentity();
        inputs->hardware = checker_.GetHardwareIdentity();
        inputs->hardwareCode =
            state_.hw != 0 ? static_cast<int32_t>(state_.hw) : checker_.GetHardwareIdentity().code;
        if (!checker_.GetComponentsDocument().Root().Children().empty()) {
            CXmlDocument components;
            components.Root().Copy(&checker_.GetComponentsDocument().Root());
            components.GetXml(inputs->componentsXml);
        }
        if (engine::CMain* engine = EngineOrNull())
            engine->VocabularyIndex().GetVocabularies(inputs->indexXml);
        inputs->reader = firmwareInfoReader_;
    }
    inputs->entryFile = [](const CXmlNode& entry) { return VocabularyEntryFile(entry); };

    firmwareCheck_.Start("CQd::CheckFirmwareUpdateThread", [inputs, target](platform::StopToken& token) {
        const CFirmwareUpdateResult result =
            FindFirmwareUpdate(*inputs, [&token] { return token.StopRequested(); });
        if (token.StopRequested()) return;
        // The message owns the text once posted; a refused post leaves it here to free.
        auto text = std::make_unique<std::string>(result.text);
        if (platform::PostMessage(target, foundation::kFirmwareUpdateResultMessage,
                                  reinterpret_cast<uintptr_t>(text.get()), result.available ? 1 : 0))
            text.release();
    });
}

int CQd::StartFirmwareDownload(bool release, uint32_t delayMs) {
    engine::CMain* engine = EngineOrNull();
    // Nothing to start; no text is touched.
    if (!engine) return release ? 0 : -1;
    engine->ClearError();
    if (release) {
        engine->FreeDownloadData();
        return 0;
    }
    engine->JoinFirmwareThreads();
    if (!engine->DownloadDescriptor().container.HasImage()) return engine->SetError(3, "firmware missing");
    engine->DownloadDescriptor().waitAfterMs = delayMs;
    return engine->StartFirmwareDownload();
}

int CQd::AbortFirmwareDownload() {
    engine::CMain* engine = EngineOrNull();
    if (!engine) return 0;
    engine->AbortDownload();
    return 0;
}

}  // namespace drive
