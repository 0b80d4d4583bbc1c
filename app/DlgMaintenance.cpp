#include "app/DlgMaintenance.h"

#include <utility>

#include "drive/Qd.h"
#include "foundation/Authorizations.h"
#include "foundation/CompatChecker.h"
#include "foundation/Identity.h"
#include "foundation/XmlDocument.h"
#include "foundation/XmlNode.h"
#include "platform/Prompt.h"

namespace app {

using foundation::CCompatChecker;
using foundation::CIdentity;
using foundation::CXmlNode;

// ---- permanent memory -------------------------------------------------------------------------

PermanentMemoryFacts PermanentMemoryFactsFor(drive::CQd& qd) {
    PermanentMemoryFacts facts;
    facts.deviceKind = qd.State().group;
    facts.systemCommands = qd.Identity().systemManager;
    facts.ownPagesFamily = qd.State().className == "supply" || qd.State().className == "kwz";
    facts.motorDeletionAllowed =
        facts.systemCommands && qd.SystemManager().LookupCommand("SYS_CV_EE_RESTORE_NO_MOTOR") != 0;
    facts.programSavable = qd.MenuInputs().plcProgram;
    int32_t level = 0;
    facts.saveDefaultsAuthorized =
        foundation::GetAuthorizations().CheckCondition(kSaveDefaultsCondition, &level);
    return facts;
}

PermanentMemoryLayout PermanentMemoryLayoutFor(const PermanentMemoryFacts& facts) {
    PermanentMemoryLayout layout;
    if (facts.deviceKind == kDeviceKindXul) {
        layout.rows = {IDC_PM_RELOAD_ALL, IDC_PM_SAVE_PROGRAM};
        layout.saveDefaults = true;
        layout.saveProgramEnabled = facts.saveDefaultsAuthorized;
    } else {
        if (facts.systemCommands && !facts.ownPagesFamily) {
            layout.rows = {IDC_PM_RELOAD_ALL, IDC_PM_RELOAD_LOOPS};
            if (facts.motorDeletionAllowed) layout.rows.push_back(IDC_PM_DELETE_MOTOR);
        }
        if (facts.programSavable) layout.rows.push_back(IDC_PM_SAVE_PROGRAM);
    }
    layout.rows.push_back(IDC_PM_CLOSE);
    return layout;
}

std::string PermanentMemoryButtonText(int id, const PermanentMemoryLayout& layout) {
    switch (id) {
        case IDC_PM_SAVE_PARAMETERS:
            return "Save parameters in permanent memory";
        case IDC_PM_RESTORE_DEFAULTS:
            return "Restore default parameters";
        case IDC_PM_SAVE_PROGRAM:
            return layout.saveDefaults ? "Save defaults" : "Save program in permanent memory";
        case IDC_PM_RELOAD_ALL:
            return "Reload all parameters";
        case IDC_PM_RELOAD_LOOPS:
            return "Reload loops parameters";
        case IDC_PM_DELETE_MOTOR:
            return "Delete motor and restore default parameters";
        case IDC_PM_CLOSE:
            return "Close";
        default:
            return std::string();
    }
}

namespace {

class CQdPermanentMemory : public CPermanentMemoryDrive {
  public:
    explicit CQdPermanentMemory(drive::CQd& qd) : qd_(qd) {}
    int SaveParametersToEeprom() override { return qd_.SaveParametersToEeprom(); }
    int RestoreEepromDefaults() override { return qd_.RestoreEepromDefaults(); }
    int SaveProgramToEeprom() override { return qd_.SaveProgramToEeprom(); }
    int ExecuteCommand(const std::string& name) override {
        // A system manager that is not running takes every command as done without sending it.
        if (!qd_.SystemManager().IsEnabled()) {
            platform::Prompts().MessageBox(
                "The drive's system commands are not available: \"" + name + "\" was not run.",
                "Permanent memory", platform::MB_OK | platform::MB_ICONEXCLAMATION);
            return kCommandNotRun;
        }
        return static_cast<int>(qd_.SystemManager().ExecuteCommand(name));
    }

  private:
    drive::CQd& qd_;
};

void Tell(const std::string& text, const std::string& caption, bool ok) {
    platform::Prompts().MessageBox(
        text, caption, platform::MB_OK | (ok ? platform::MB_ICONINFORMATION : platform::MB_ICONEXCLAMATION));
}

// A reload's outcome: only a command the drive reported done is called completed; a failure was
// already reported by the system manager and ends the dialog with its code.
int Reload(CPermanentMemoryDrive& drive, const char* command, const char* done, const char* caption) {
    const int result = drive.ExecuteCommand(command);
    if (result == 0) Tell(done, caption, true);
    return result;
}

}  // namespace

std::unique_ptr<CPermanentMemoryDrive> MakePermanentMemoryDrive(drive::CQd& qd) {
    return std::make_unique<CQdPermanentMemory>(qd);
}

int RunPermanentMemoryButton(int id, const PermanentMemoryLayout& layout, CPermanentMemoryDrive& drive) {
    switch (id) {
        case IDC_PM_SAVE_PARAMETERS:
            drive.SaveParametersToEeprom();
            return 0;
        case IDC_PM_RESTORE_DEFAULTS:
            return drive.RestoreEepromDefaults();
        case IDC_PM_RELOAD_ALL:
            return Reload(drive, "SYS_CV_EE_LOAD", "Reload all parameters completed", "Reload all");
        case IDC_PM_RELOAD_LOOPS:
            return Reload(drive, "SYS_CV_EE_LOAD_INIT_REG", "Reload loops parameters completed",
                          "Reload loops");
        case IDC_PM_DELETE_MOTOR:
            return Reload(drive, "SYS_CV_EE_RESTORE_NO_MOTOR",
                          "Delete motor and restore all default parameters completed", "Restore no motor");
        case IDC_PM_SAVE_PROGRAM:
            if (layout.saveDefaults) {
                const bool ok = drive.ExecuteCommand("SYS_CV_EE_SAVE_DEFAULTS") == 0;
                Tell(std::string("Save current values as default") + (ok ? " completed" : " failed. "),
                     "Save defaults", ok);
            } else {
                const bool ok = drive.SaveProgramToEeprom() == 0;
                Tell(ok ? "Program successfully saved" : "Save program error", "Permanent memory", ok);
            }
            return 0;
        default:
            return 0;
    }
}

// ---- system information -----------------------------------------------------------------------

namespace {

constexpr size_t kMaxListEntries = 32767;

// Collects the checker's tree items into the content's list.
class CItemCollector : public foundation::CCompatTreeCtrl {
  public:
    explicit CItemCollector(std::vector<SysInfoItem>& out) : out_(out) {}
    Item InsertItem(const std::string& text, Item parent, const CXmlNode* data) override {
        const int depth = parent == 0 ? 0 : out_[static_cast<size_t>(parent - 1)].depth + 1;
        out_.push_back({text, depth, data});
        return static_cast<Item>(out_.size());
    }

  private:
    std::vector<SysInfoItem>& out_;
};

size_t CountComponents(const CXmlNode& components) {
    size_t count = 0;
    for (const CXmlNode* child : components.Children())
        if (child->Name() == "Component") ++count;
    return count;
}

bool ShownInTree(const CXmlNode& components, int32_t code) {
    for (const CXmlNode* child : components.Children())
        if (child->Name() == "Component" && CIdentity(child).code == code) return true;
    return false;
}

}  // namespace

std::string SysInfoSerialText(uint32_t serial) {
    return "Serial number " + std::to_string(static_cast<unsigned long>(serial));
}

bool SysInfoNeedsRefresh(const CCompatChecker& checker) {
    return checker.GetState() != CCompatChecker::kStateRefreshed;
}

SysInfoContent BuildSysInfoContent(CCompatChecker& checker, const std::string& name) {
    SysInfoContent content;
    content.name = name;
    content.serial = checker.GetSerialNumber();
    content.hasSerial = content.serial != 0;
    for (int list = 0; list < 3; ++list) {
        const CXmlNode& root = checker.GetDocument(list).Root();
        const size_t count = CountComponents(root);
        if (count < 1 || count > kMaxListEntries) continue;
        CItemCollector collector(content.components);
        checker.FillTree(&collector, 0, &root);
    }
    // The identities found without a component description (legacy nodes).
    const CXmlNode& main = checker.GetDocument(0).Root();
    for (const CIdentity* found :
         {&checker.GetHardwareIdentity(), &checker.GetBootIdentity(), &checker.GetFirmwareIdentity()}) {
        if (found->IsValid() && !ShownInTree(main, found->code))
            content.components.push_back({found->GetFullText(false), 0, nullptr});
    }
    // Every component the device holds a key for: none with its code is missing, an older one
    // is incompatible.
    std::vector<const CIdentity*> held = {&checker.GetHardwareIdentity(), &checker.GetBootIdentity(),
                                          &checker.GetFirmwareIdentity()};
    for (const auto* list :
         {&checker.GetSideComponents(), &checker.GetNestedComponents(), &checker.GetFurtherComponents()})
        for (const CIdentity& identity : *list) held.push_back(&identity);
    for (const CIdentity* identity : held) {
        if (!identity->IsValid()) continue;
        const foundation::CCompatKey* key = checker.GetKey(identity->code);
        if (key == nullptr || key->setby < 1) continue;
        if (key->minimum.IsVersionGreater(*identity))
            content.incompatibles.push_back({identity->GetFullText(false), 0, nullptr});
    }
    return content;
}

std::string SysInfoText(const SysInfoContent& content) {
    std::string text = content.name;
    if (content.hasSerial) text += "\r\n" + SysInfoSerialText(content.serial);
    auto lines = [&text](const std::vector<SysInfoItem>& items) {
        for (const SysInfoItem& item : items)
            text += "\r\n" + std::string(static_cast<size_t>(item.depth) * 3, ' ') + item.text;
    };
    lines(content.components);
    if (!content.incompatibles.empty()) {
        text += "\r\nIncompatibles\r\n";
        lines(content.incompatibles);
    }
    if (!content.missing.empty()) {
        text += "\r\nMissing\r\n";
        lines(content.missing);
    }
    return text;
}

std::string SysInfoXml(const SysInfoContent& content) {
    foundation::CXmlDocument document;
    CXmlNode& system = document.Root();
    system.SetName("System");
    system.SetAttribute("name", content.name);
    if (content.hasSerial) system.SetAttribute("serialnumber", std::to_string(content.serial));
    auto copies = [](CXmlNode& parent, const std::vector<SysInfoItem>& items) {
        for (const SysInfoItem& item : items) {
            if (item.depth != 0) continue;  // nested components come with their parent's copy
            if (item.component != nullptr) {
                parent.AddChild("Component")->Copy(item.component);
            } else {
                parent.AddChild("Component", item.text);
            }
        }
    };
    copies(system, content.components);
    if (!content.incompatibles.empty()) copies(*system.AddChild("Incompatibles"), content.incompatibles);
    if (!content.missing.empty()) copies(*system.AddChild("Missing"), content.missing);
    std::string xml;
    document.GetXml(xml);
    return xml;
}

// ---- safe state of the drive's PLC ------------------------------------------------------------

SafePlcRequest SafePlcRequestFromArgs(const std::vector<std::string>& args) {
    auto arg = [&args](size_t i) { return i < args.size() ? args[i] : std::string(); };
    SafePlcRequest request;
    request.safeStateCommand = arg(0);
    request.caption = arg(1).empty() ? std::string("Command") : arg(1);
    const bool dontAsk = arg(2) == "1";
    const bool safePlc = arg(3) != "0";
    // The settings' preselected answer decides the default button; not asking starts it.
    request.reachSafeFirst = safePlc;
    request.startAtOnce = dontAsk && safePlc;
    // Refused with error 14: the PLC is running a program that can bring itself to a safe state.
    request.canReachSafe = arg(4) == "1";
    request.forcingAllowed = true;
    return request;
}

namespace {

class CQdSafePlcCommands : public CSafePlcCommands {
  public:
    explicit CQdSafePlcCommands(drive::CQd& qd) : qd_(qd) {}
    int StartCommand(const std::string& name, int, std::string& errorText) override {
        uint32_t errorNumber = 0, severity = 2;
        std::string details;
        const int32_t result =
            qd_.SystemManager().StartCommand(name, 1, errorNumber, errorText, details, severity);
        if (result == 0) return 0;
        // The drive refuses the safe-state command with error 14 while the PLC is still on its
        // way; any other outcome is an error, and never reads as "still running".
        if (static_cast<uint32_t>(result) == drive::CSystemManager::kAbortRefused && errorNumber == 14)
            return 14;
        if (errorText.empty()) errorText = "Error " + std::to_string(result);
        return result == 14 ? -14 : result;
    }

  private:
    drive::CQd& qd_;
};

}  // namespace

std::unique_ptr<CSafePlcCommands> MakeSafePlcCommands(drive::CQd& qd) {
    return std::make_unique<CQdSafePlcCommands>(qd);
}

CSafePlcProcedure::CSafePlcProcedure(SafePlcRequest request, CSafePlcCommands& commands,
                                     platform::Clock& clock)
    : request_(std::move(request)), commands_(commands), clock_(clock) {
    static_ = request_.canReachSafe ? "The PLC needs to reach a safe condition."
                                    : "The PLC can not reach a safe condition.";
}

bool CSafePlcProcedure::StartsAtOnce() const {
    return request_.canReachSafe && request_.startAtOnce;
}

CSafePlcProcedure::Buttons CSafePlcProcedure::Labels() const {
    Buttons b;
    b.staticText = static_;
    const bool first = request_.reachSafeFirst || StartsAtOnce();
    b.reachText = first ? kReachSafeText : kForceText;
    b.forceText = first ? kForceText : kReachSafeText;
    b.reachShown = first ? request_.canReachSafe : request_.forcingAllowed;
    b.forceShown = first ? request_.forcingAllowed : request_.canReachSafe;
    return b;
}

void CSafePlcProcedure::Click(int id) {
    if (state_ == State::Ended || state_ == State::Running) return;
    const Buttons b = Labels();
    const std::string& label = id == IDC_SAFE_REACH ? b.reachText : b.forceText;
    if (label == kReachSafeText)
        Start();
    else
        Force();
}

void CSafePlcProcedure::Start() {
    if (state_ == State::Ended || state_ == State::Running) return;
    error_.clear();
    progress_ = 0;
    progressShown_ = true;
    state_ = State::Running;
    Step();
    if (state_ == State::Running) static_ = "The PLC is reaching a safe condition...";
}

void CSafePlcProcedure::Force() {
    if (state_ == State::Ended) return;
    End(kSafePlcForced);
}

void CSafePlcProcedure::Abort() {
    if (state_ == State::Ended) return;
    if (state_ == State::Running) {
        state_ = State::Idle;  // the timer stops before the abort is sent
        std::string text;
        commands_.StartCommand(kAbortSafeStateCommand, kSafePlcStepMs, text);
    }
    End(kSafePlcAborted);
}

void CSafePlcProcedure::Poll() {
    if (state_ == State::Running && clock_.NowMs() >= nextStepMs_) Step();
}

void CSafePlcProcedure::Step() {
    if (state_ != State::Running) return;
    ++steps_;
    std::string text;
    const int result = commands_.StartCommand(request_.safeStateCommand, kSafePlcStepMs, text);
    if (result == 0) {
        End(kSafePlcReached);
    } else if (result == 14) {
        progress_ = progress_ + 1 > kSafePlcProgressRange ? 0 : progress_ + 1;
        nextStepMs_ = clock_.NowMs() + kSafePlcStepMs;
    } else {
        state_ = State::Failed;
        error_ = text;
    }
}

void CSafePlcProcedure::End(int result) {
    state_ = State::Ended;
    result_ = result;
}

}  // namespace app
