// Host mode and parameter files: the host's side of a connection as the peer-tool link holds it,
// the export of the drive's parameters over this drive object, the temporary parameters file of
// an integrated session and the main window title swap.
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "drive/FirmwareUpdate.h"
#include "drive/Qd.h"
#include "engine/Main.h"
#include "engine/Vocabolario.h"
#include "engine/VocabularyItem.h"
#include "foundation/Authorizations.h"
#include "foundation/ProgramFolders.h"
#include "platform/Clock.h"
#include "platform/Prompt.h"

namespace drive {

using namespace foundation;

namespace {

// Reads go into the engine's own group in blocks of this many parameters.
constexpr int kExportBlockSize = 16;

ParamFileIdentityRecord RecordOf(const CIdentity& identity) {
    ParamFileIdentityRecord r;
    r.role = identity.GetRole();
    r.code = identity.code;
    r.major = identity.version.major;
    r.minor = identity.version.minor;
    r.patch = identity.version.patch;
    r.preStatus = identity.version.preState;
    r.preNumber = identity.version.preNumber;
    return r;
}

// The export's side of the drive object: its engine group, identity and lock.
class CQdParamFileDrive : public CParamFileDrive {
  public:
    explicit CQdParamFileDrive(CQd& qd) : qd_(qd) {}

    int BlockAddRead(ParamReadEntry& entry) override {
        const uint32_t size = entry.item->size >= 1 && entry.item->size <= 4
                                  ? entry.item->size
                                  : static_cast<uint32_t>(entry.Length());
        const int rc = qd_.AddReadToEngineGroup(entry.item->name, entry.Data(), static_cast<int32_t>(size),
                                                &entry.result);
        return rc >= 0 ? 0 : rc;
    }
    int BlockExecute() override { return qd_.ExecuteEngineGroup(); }
    void BlockClear() override { qd_.ClearEngineGroup(); }
    void ClearEngineError() override {
        if (engine::CMain* engine = qd_.ConnectionWindow().Engine()) engine->ClearError();
    }
    int BlockSize() const override { return kExportBlockSize; }
    std::string CellErrorText(int code) override { return qd_.GetCellErrorText(code); }
    bool IsMotorGuidName(const std::string& name) const override { return name == qd_.MotorIdCell(); }

    const std::vector<engine::VocabularyItem>& Dictionary() override {
        dictionary_.clear();
        engine::CVocabolario* vocabulary = nullptr;
        if (!qd_.IsConnected() || qd_.GetNodeVocabulary(&vocabulary) != 0 || vocabulary == nullptr)
            return dictionary_;
        for (const std::string& name : vocabulary->ItemNamesInOrder())
            if (const engine::VocabularyItem* item = vocabulary->FindItemByName(name))
                dictionary_.push_back(*item);
        return dictionary_;
    }

    ParamFileDeviceInfo DeviceInfo() override {
        ParamFileDeviceInfo info;
        info.creatorBy = qd_.ProgramVersion();
        info.creatorRev = std::to_string(qd_.ProgramBuild());
        const platform::LocalTime now = platform::LocalNow();
        info.day = now.day;
        info.month = now.month;
        info.year = now.year;
        info.hour = now.hour;
        info.minute = now.minute;
        info.second = now.second;
        const CQd::CDriveState& state = qd_.State();
        info.type = static_cast<int32_t>(state.sw);
        info.hw = static_cast<int32_t>(state.hw);
        info.hwRev = std::max(qd_.Identity().hardwareRevision, 0);
        info.swRev = static_cast<int32_t>(state.swVer);
        info.build = static_cast<uint16_t>(state.build);
        info.descr = state.description;
        info.busType = state.busType;
        engine::CVocabolario* vocabulary = nullptr;
        if (qd_.IsConnected() && qd_.GetNodeVocabulary(&vocabulary) == 0 && vocabulary != nullptr) {
            info.infoFormatType = vocabulary->paramFileInfoFormatType;
            info.paramsFormatType = vocabulary->paramFileParametersFormatType;
        }
        CCompatChecker& checker = qd_.Checker();
        {
            // Its error text is of no concern to the file: what is known goes in.
            CQdCompatDrive link(qd_);
            checker.RefreshIfNeeded(&link);
        }
        for (const CIdentity* own :
             {&checker.GetHardwareIdentity(), &checker.GetFirmwareIdentity(), &checker.GetBootIdentity()})
            if (own->IsValid()) info.ownIdentities.push_back(RecordOf(*own));
        for (const CIdentity& side : checker.GetSideComponents())
            info.componentIdentities.push_back(RecordOf(side));
        info.components = &checker.GetComponentsDocument().Root();
        info.levelName = [](uint16_t level) {
            for (const CUserFullDev& user : GetAuthorizations().GetFullUsers())
                if (user.level == level) return user.title;
            return std::string();
        };
        return info;
    }

    void PauseBackground() override { qd_.PauseBackgroundReads(); }
    void ResumeBackground() override { qd_.ResumeBackgroundReads(); }
    int ReadTestEnablingKey(uint32_t& value) override { return qd_.ReadCell("TestEnablingkey", &value); }
    bool IsOnline() const override { return qd_.IsConnected() && !qd_.IsOffline(); }
    bool HasSystemManager() const override { return qd_.Identity().systemManager; }
    int ExecuteSystemCommand(const std::string& command, int argument) override {
        return static_cast<int>(qd_.SystemManager().ExecuteCommand(command, argument, 0, true));
    }
    void ShowError(const std::string& caption, const std::string& text) override {
        platform::Prompts().MessageBox(text, caption, platform::MB_OK | platform::MB_ICONERROR);
    }
    void ShowErrorsReport(const std::string& heading, const std::vector<std::string>& lines) override {
        std::string text = heading;
        for (const std::string& line : lines) text += "\n" + line;
        platform::Prompts().MessageBox(text, kProgramName, platform::MB_OK | platform::MB_ICONWARNING);
    }

  private:
    CQd& qd_;
    std::vector<engine::VocabularyItem> dictionary_;
};

}  // namespace

std::string CQd::HostParametersFile() const {
    // A file the host wants made anew starts from the drive's defaults.
    return peer_.m_createDefaultParamFile ? std::string() : peer_.m_paramFile;
}

std::string CQd::HostNodeName() const {
    return !peer_.m_title.empty() ? peer_.m_title : peer_.m_file.m_fileName;
}

void CQd::IdentifyFamily() {
    familyCode_ = state_.group;
    // A device that runs a PLC program has its run state in the dictionary.
    programmable_ = GetCellInfo("vm_StatusRunStop", nullptr, nullptr, nullptr) == 0;
}

CParamFileDrive& CQd::ParamFileDrive() {
    if (paramFileDrive_ != nullptr) return *paramFileDrive_;
    if (!ownParamFileDrive_) ownParamFileDrive_ = std::make_unique<CQdParamFileDrive>(*this);
    return *ownParamFileDrive_;
}

int CQd::ExportParametersFile(const std::filesystem::path& file, int mode, bool showProgress, bool quiet) {
    ops_.fileOperation = true;
    const int rc = drive::ExportParametersFile(ParamFileDrive(), file, mode, showProgress, quiet);
    ops_.fileOperation = false;
    return rc;
}

int CQd::ExportTemporaryParamFile(std::string* fileName) {
    std::string temp;
    GetTempParamFileName(temp);
    if (fileName != nullptr) *fileName = temp;
    const int rc = ExportParametersFile(temp, kParamSaveXml, true, true);
    if (rc == kParamFileDone || rc == kParamFileReadErrors) {
        // The host's file no longer holds what the drive holds.
        const auto lock = LockPeerState();
        peer_.m_paramFileChanged = true;
    }
    return rc;
}

bool CQd::DeleteTemporaryParamFile() {
    std::string temp;
    GetTempParamFileName(temp);
    std::error_code ec;
    std::filesystem::remove(temp, ec);
    return !std::filesystem::exists(temp, ec);
}

std::string CQd::SwapMainWindowTitle(const std::string& title) {
    std::string old = Host().FrameTitle();
    Host().SetFrameTitle(title);
    return old;
}

}  // namespace drive
