// Parameter file import and download over this drive object: the engine's block of writes, the
// drive's identity and compatibility, the questions and the initialisation values. What the
// export already lends (dictionary, block execution, background pause, system commands) comes
// from the export's side of the drive object.
#include "drive/QdParamImport.h"
#include "drive/ErrorReport.h"

#include <functional>
#include <memory>
#include <utility>

#include "drive/DriveDescription.h"
#include "drive/FirmwareUpdate.h"
#include "drive/Qd.h"
#include "foundation/Authorizations.h"
#include "foundation/CompatChecker.h"
#include "foundation/ProgramFolders.h"
#include "foundation/XmlNode.h"
#include "platform/Prompt.h"

namespace drive {

namespace {

constexpr const char* kMissingCaption = "Download parameters";

class CQdParamImportDrive : public CParamFileImportDrive {
  public:
    // exportSide: the export's side the drive object uses at the time of the call.
    CQdParamImportDrive(CQd& qd, std::function<CParamFileDrive&()> exportSide)
        : qd_(qd), exportSide_(std::move(exportSide)) {}

    // ---- engine block ----
    int BlockAddWrite(ParamWriteEntry& entry) override {
        const ParamFileItem& item = *entry.item;
        const uint32_t size =
            item.size >= 1 && item.size <= 4 ? item.size : static_cast<uint32_t>(entry.Length());
        entry.result = 0;
        const int rc =
            qd_.AddWriteToEngineGroup(item.name, entry.Data(), static_cast<int32_t>(size), &entry.result);
        if (rc >= 0) return 0;
        // The cell was not queued: it must show as failed after the block, never as written.
        if (entry.result == 0) entry.result = rc;
        return rc;
    }
    // The block lives in the engine's own group, where BlockAddWrite put it, whichever export
    // side is lent.
    int BlockExecute() override {
        int rc = 0;
        Long([&] { rc = qd_.ExecuteEngineGroup(); });
        return rc;
    }
    void BlockClear() override { qd_.ClearEngineGroup(); }
    void ClearEngineError() override { Base().ClearEngineError(); }
    int BlockSize() const override { return Base().BlockSize(); }
    std::string CellErrorText(int code) override { return Base().CellErrorText(code); }
    bool IsMotorGuidName(const std::string& name) const override { return Base().IsMotorGuidName(name); }
    const std::vector<engine::VocabularyItem>& Dictionary() override { return Base().Dictionary(); }
    ParamFileDeviceInfo DeviceInfo() override { return Base().DeviceInfo(); }

    // ---- drive state and commands ----
    void PauseBackground() override { Base().PauseBackground(); }
    void ResumeBackground() override { Base().ResumeBackground(); }
    int ReadTestEnablingKey(uint32_t& value) override { return Base().ReadTestEnablingKey(value); }
    bool IsOnline() const override { return Base().IsOnline(); }
    // Offline there is no drive whose commands could run, whatever the last drive offered.
    bool HasSystemManager() const override { return IsOnline() && Base().HasSystemManager(); }
    int ExecuteSystemCommand(const std::string& command, int argument) override {
        int rc = 0;
        Long([&] { rc = Base().ExecuteSystemCommand(command, argument); });
        return rc;
    }

    // ---- identity and compatibility ----
    std::string ProgramName() const override { return foundation::kProgramName; }
    int32_t TypeCode() const override { return static_cast<int32_t>(qd_.State().sw); }
    int32_t HwCode() const override { return static_cast<int32_t>(qd_.State().hw); }
    int32_t HardwareRevision() const override { return qd_.Identity().hardwareRevision; }
    uint16_t UserLevel() const override {
        const foundation::CUserFullDev* user = foundation::GetAuthorizations().GetCurrentUser();
        return user != nullptr && user->level > 0 ? static_cast<uint16_t>(user->level) : 0;
    }
    int DeviceGroup() const override { return qd_.FamilyCode(); }
    std::string CheckCompatibility(const foundation::CXmlNode& compatibility) override {
        foundation::CCompatChecker& checker = qd_.Checker();
        CQdCompatDrive link(qd_);
        Long([&] { checker.RefreshIfNeeded(&link); });
        return checker.CheckParametersFile(&compatibility);
    }
    std::string CheckComponents(const foundation::CXmlNode& components) override {
        // The components the parameters came from, against what this drive demands of them.
        const foundation::CXmlNode* requirements = qd_.DriveData();
        if (requirements == nullptr) return {};
        foundation::CCompatChecker source;
        source.LoadComponents(&components);
        return source.CheckDeviceRequirements(requirements);
    }

    // ---- initialisation and named writes ----
    const std::vector<ParamInitValue>& InitValues() override {
        initValues_ = ReadInitValues(qd_.DriveData());
        return initValues_;
    }
    int WriteNamed(const std::string& name, int32_t value) override {
        int rc = 0;
        Long([&] { rc = qd_.WriteCell(name, static_cast<uint32_t>(value)); });
        lastNamedCode_ = rc;
        return rc;
    }
    void ReportMessage(const std::string& text) override {
        qd_.ReportError(text, 1, lastNamedCode_, "", kMissingCaption);
    }

    // ---- questions and progress ----
    int AskYesNoCancel(const std::string& text, const std::string& caption) override {
        return platform::Prompts().MessageBox(text, caption,
                                              platform::MB_YESNOCANCEL | platform::MB_ICONWARNING);
    }
    int AskMissing(const std::string& text, const std::vector<std::string>& missing) override {
        if (CParamImportWindows* windows = qd_.ParamImportWindows())
            return windows->AskMissing(text, kMissingCaption, missing);
        std::string all = text;
        for (const std::string& line : missing) all += "\r\n" + line;
        return platform::Prompts().Custom(kMessageDialogPrompt, {all, kMissingCaption, "2"}, nullptr);
    }
    void ShowMessage(const std::string& text, const std::string& caption, int icon) override {
        platform::Prompts().MessageBox(text, caption, platform::MB_OK | static_cast<unsigned>(icon));
    }
    void ShowError(const std::string& caption, const std::string& text) override {
        Base().ShowError(caption, text);
    }
    void ShowErrorsReport(const std::string& heading, const std::vector<std::string>& lines) override {
        Base().ShowErrorsReport(heading, lines);
    }
    void ProgressOpen(const std::string& caption, const std::string& text) override {
        if (CParamImportWindows* windows = qd_.ParamImportWindows()) windows->ProgressOpen(caption, text);
    }
    void ProgressText(const std::string& text) override {
        if (CParamImportWindows* windows = qd_.ParamImportWindows()) windows->ProgressText(text);
    }
    void ProgressRange(int count) override {
        if (CParamImportWindows* windows = qd_.ParamImportWindows()) windows->ProgressRange(count);
    }
    void ProgressPos(int position) override {
        if (CParamImportWindows* windows = qd_.ParamImportWindows()) windows->ProgressPos(position);
    }
    void ProgressClose() override {
        if (CParamImportWindows* windows = qd_.ParamImportWindows()) windows->ProgressClose();
    }

  private:
    void Long(const std::function<void()>& work) {
        if (CParamImportWindows* windows = qd_.ParamImportWindows())
            windows->RunLong(work);
        else
            work();
    }

    CParamFileDrive& Base() const { return exportSide_(); }

    CQd& qd_;
    std::function<CParamFileDrive&()> exportSide_;
    std::vector<ParamInitValue> initValues_;
    int lastNamedCode_ = 0;
};

}  // namespace

std::vector<ParamInitValue> ReadInitValues(const foundation::CXmlNode* driveData) {
    std::vector<std::string> titles, values, names, flags;
    std::vector<ParamInitValue> out;
    if (CDriveDescription::GetSetupList(driveData, "InitValues", titles, values, &names, "Flag", &flags,
                                        nullptr, nullptr) != 0)
        return out;
    for (size_t i = 0; i < names.size() && i < values.size() && i < flags.size(); ++i) {
        if (names[i].empty()) continue;
        out.push_back({names[i], ParseConditionNumber(values[i]), ParseConditionNumber(flags[i])});
    }
    return out;
}

CParamFileImportDrive& CQd::ParamImportDrive() {
    if (!ownImportDrive_)
        ownImportDrive_ = std::make_unique<CQdParamImportDrive>(
            *this, [this]() -> CParamFileDrive& { return ParamFileDrive(); });
    return *ownImportDrive_;
}

}  // namespace drive
