// The life of a connection as the drive object runs it: connect and identify, read the basic
// cells, start the background work, show the drive in the title; reconnect after a drive
// restart, switch to offline mode, release and close.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <system_error>
#include <thread>

#include "drive/DriveValueHelpers.h"
#include "drive/Qd.h"
#include "engine/Channel.h"
#include "engine/ChannelTypes.h"
#include "engine/EngineCodes.h"
#include "engine/Main.h"
#include "engine/MainApi.h"
#include "foundation/Authorizations.h"
#include "foundation/MessageIds.h"
#include "foundation/ProgramFolders.h"
#include "platform/CodePage.h"
#include "platform/Folders.h"
#include "platform/Prompt.h"

namespace drive {

using namespace foundation;

namespace {

void Box(const std::string& text, const std::string& caption, unsigned icon) {
    platform::Prompts().MessageBox(text, caption, platform::MB_OK | icon);
}

std::string Format(const char* format, const std::string& a, const std::string& b = {},
                   const std::string& c = {}) {
    const int n = std::snprintf(nullptr, 0, format, a.c_str(), b.c_str(), c.c_str());
    std::string out(static_cast<size_t>(std::max(n, 0)), '\0');
    std::snprintf(out.data(), out.size() + 1, format, a.c_str(), b.c_str(), c.c_str());
    return out;
}

// A node name as a file name part: separators and control characters become '_'.
std::string FileNamePart(const std::string& name) {
    std::string out = name;
    for (char& c : out)
        if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20) c = '_';
    return out;
}

// Creates a folder only this process uses, under the temporary folder; empty path on failure.
}  // namespace

// ---- connect -------------------------------------------------------------------------------

int CQd::Connect() {
    checker_.Reset();
    motors_.ClearMotorDatabase();
    switchedOffline_ = false;
    if (hooks_.readProgramSettings) hooks_.readProgramSettings();

    CXmlDocument answer;
    int rc = 0;
    familyCode_ = 0;
    programmable_ = false;
    // The host's side comes from the peer-tool link: one source for the sequence, the title and
    // the answers to the host.
    const bool hostMode = IsHostMode();
    const bool hostOnline = hostMode && hostSession_.askedOnline;
    hostSession_.connectedToHostNode = false;
    if (hostMode && !hostOnline) {
        std::string file = HostParametersFile();
        // The drive's own parameters left by an online connection of this session come first.
        std::string handedOver;
        GetTempParamFileName(handedOver);
        std::error_code ec;
        if (!std::filesystem::exists(handedOver, ec)) handedOver.clear();
        if (!handedOver.empty()) file = handedOver;
        rc = OpenOfflineConnection(HostHardware(), &HostSoftware(), file, answer);
        if (!handedOver.empty()) std::filesystem::remove(handedOver, ec);
    } else if (hostOnline) {
        if (hostSession_.askOnlineInfo)
            hostSession_.askOnlineInfo();
        else
            RequestOnlineInfo();
        rc = OpenConnection(answer, false);
    } else {
        rc = OpenConnection(answer, newConnectionRequested_);
    }
    newConnectionRequested_ = false;

    if (rc != 0) {
        connected_ = false;
        if (rc == 7) return 7;
    } else {
        state_.nodeInfo.clear();
        if (engine::CMain* engine = EngineOrNull()) {
            engine::CNodeInfo info;
            if (engine->GetNodeInfo(info) == 0) state_.nodeInfo = info.descr;
        }
        parameters_->Clear();
        state_.build = static_cast<uint32_t>(answer.Root().GetAttributeInt("build", 0));
        state_.oem = static_cast<uint32_t>(answer.Root().GetAttributeInt("oem", 6868));
        if (LoadConfiguration(answer) != 0) {
            connected_ = false;
            // The node answered but is not usable: its channel is not kept open for nothing.
            wnd_.CloseNode(false);
            return 7;
        }
        connected_ = true;
        IdentifyFamily();
        if (hostOnline && !IsOffline()) {
            hostSession_.connectedToHostNode = true;
            hostSession_.nodeTitle1 = HostNodeName();
            hostSession_.nodeTitle2 = state_.description;
        }
        // The title's version: the firmware identity's, else what the engine says of the node.
        const CIdentity& firmware = checker_.GetFirmwareIdentity();
        state_.versionText =
            firmware.IsValid() ? Format("v. %s", firmware.version.GetText()) : state_.nodeInfo;
        motorIdCell_ = state_.newNaming ? "Motor.Guid" : "MotorGuid";
        if (!IsOffline()) ReadDriveIdentity();
        if (hooks_.finishIdentification) {
            const int finish = hooks_.finishIdentification();
            if (finish < 0) return finish;
        }
        if (hooks_.loadMotorDatabase) hooks_.loadMotorDatabase();
        // The system manager's tables come with the description; its commands run only when the
        // drive says it has them.
        int channelType = 0;
        if (CurrentChannelType(&channelType) == 0)
            systemManager_->SetChannelKind(engine::ChannelKindOfType(channelType));
        systemManager_->Load(DriveData());
        systemManager_->SetEnabled(identity_.systemManager);
        // The oscilloscope's variables and error texts come with the description too.
        osc_.LoadDescription(DriveData());
        state_.modeCell = IsOffline() ? "ModeOfOperation" : "ModeOfOperationDisplay";
        // An offline node has no program machine to talk to.
        if (!IsOffline() && vm_->Init() == 0 && hooks_.programMachineReady) hooks_.programMachineReady(*vm_);
        if (!IsOffline()) wnd_.StartNodeguardThread();
    }

    if (connected_) ReadBasicCells();
    if (hooks_.readDeviceSettings) hooks_.readDeviceSettings();
    if (IsOffline() || connected_) ApplyDriveUnits();
    UpdateWindowTitle();

    const bool esiCheck = esiCheckRequested_;
    esiCheckRequested_ = false;
    if (esiCheck && connected_ && !IsOffline() && !state_.bootOnly) {
        uint32_t value = 0;
        if (ReadCell("EtcErrorRetentCommMsg", &value) == 0 && (value & 0x200) != 0 && hooks_.updateEsiEeprom)
            hooks_.updateEsiEeprom();
    }

    if (connected_) {
        const CUserFullDev* user = GetAuthorizations().GetCurrentUser();
        const int pane = Host().SecondStatusField() ? 2 : 1;
        Host().SetStatusText(pane, user ? user->title : std::string());
        WriteAccessKey();
        if (watchSeam_.setRequest) {
            watchSeam_.setRequest(0, 3);
            watchSeam_.setRequest(1, 3);
        }
        StartWatchThread();
    }
    ops_.holdsParameters = connected_;
    if (hooks_.updateMenuState) hooks_.updateMenuState();
    if (connected_ && hostMode && !hostOnline && IsOffline() && state_.newNaming) OfferMotorHelp();
    return rc;
}

// A host configuration whose drive has no motor yet cannot be used as it stands: say how to make
// one. The host asking for a default parameters file means there is no motor to look for; a host
// that handed no parameters file has nothing to look in.
void CQd::OfferMotorHelp() {
    if (!hooks_.showMotorHelp) return;
    bool show = peer_.m_createDefaultParamFile;
    if (!show) {
        if (HostParametersFile().empty()) return;
        // A set that holds no identifier at all has no motor either.
        uint8_t guid[16] = {};
        if (UploadCell(motorIdCell_, guid, sizeof guid) < 0) return;
        show = std::all_of(std::begin(guid), std::end(guid), [](uint8_t b) { return b == 0; });
    }
    if (show) hooks_.showMotorHelp(HostNodeName());
}

// Reads the cells every page takes for granted; each keeps its own status in the current set.
void CQd::ReadBasicCells() {
    struct Basic {
        const char* name;
        bool wanted;
        uint32_t value = 0;
        int32_t result = -1;
        bool queued = false;
    };
    Basic cells[] = {{"VelocityUnit", !state_.newNaming},
                     {"CurrentLoopType", true},
                     {"PositionResolution", true},
                     {"Polarity", true},
                     {"HoldCurrent", true},
                     {"PolePitch", identity_.linearMotor}};
    CParamData& set = CurrentSet();
    ClearEngineGroup();
    for (Basic& b : cells) {
        if (!b.wanted) continue;
        b.queued = AddReadToEngineGroup(b.name, &b.value, 4, &b.result) >= 0;
        if (!b.queued) b.result = ResultOfAdd(b.name);
    }
    ExecuteEngineGroup();
    for (const Basic& b : cells) {
        CParamDw& cell = set.Named(b.name);
        if (!b.wanted && std::string(b.name) == "VelocityUnit") {
            cell.status = kCellNonexistent;
            continue;
        }
        if (!b.wanted) continue;
        if (b.result == 0 && b.queued) {
            cell.SetRead(b.value);
        } else {
            cell.status = b.result == engine::engine_code::kCellNotFound ? kCellNonexistent : kCellReadError;
        }
    }
    digitalInputCell_ = "PhisicalDigitalInputStatus";
    if (GetCellInfo(digitalInputCell_, nullptr, nullptr, nullptr) == engine::engine_code::kCellNotFound)
        digitalInputCell_ = "DigitalInputStatus";
}

// Why a read could not be queued: -303 when the drive has no such item.
int32_t CQd::ResultOfAdd(const std::string& name) {
    const int rc = GetCellInfo(name, nullptr, nullptr, nullptr);
    return rc == engine::engine_code::kCellNotFound ? rc : -1;
}

// The drive units from the basic cells. "CurrentLoopType" is the position base the unit
// conversion expects, but a change of it must not throw away the position unit the user chose.
void CQd::ApplyDriveUnits() {
    const CParamData& set = CurrentSet();
    auto value = [&set](const char* name) {
        const CParamDw* cell = set.FindNamed(name);
        return cell && cell->IsValid() ? cell->value : 0u;
    };
    if (identity_.linearMotor) {
        const CParamDw* pitch = set.FindNamed("PolePitch");
        if (pitch && pitch->IsValid()) units_.polePitch = static_cast<int32_t>(pitch->value);
    }
    const int32_t userPosition = units_.SelectedCode(CUnitConversion::kPosition);
    const uint32_t velocityUnit = value("VelocityUnit"), resolution = value("PositionResolution");
    units_.SetDriveUnits(velocityUnit, resolution, value("CurrentLoopType"), state_.className);
    if (units_.SelectedCode(CUnitConversion::kPosition) != userPosition) {
        units_.SelectPositionUnit(userPosition);
        units_.ComputeFactors(velocityUnit, resolution);
    }
    UpdateScopeDisplayInputs();
}

int CQd::OpenConnection(CXmlDocument& configuration, bool automatic) {
    return wnd_.Connect(checker_, &configuration, automatic);
}

int CQd::OpenOfflineConnection(int hardware, const CIdentity* software, const std::string& parametersFile,
                               CXmlDocument& configuration) {
    const int rc = wnd_.ConnectOffline(checker_, hardware, software, parametersFile, &configuration);
    connected_ = rc == 0;
    if (connected_) state_.modeCell = "ModeOfOperation";
    return rc;
}

// ---- reconnect -----------------------------------------------------------------------------

bool CQd::ChannelIsUp() {
    engine::CMain* engine = EngineOrNull();
    if (!engine) return false;
    const int index = engine->CurrentChannel();
    if (index < 0 || index >= engine->ChannelCount()) return false;
    engine::CChannel* channel = engine->Channel(index);
    // The engine keeps no open state per driver: a channel still listed and available is up.
    return channel && channel->driver && channel->driver->Present() && channel->driver->Available();
}

void CQd::ReconnectNode(bool flag) {
    PauseBackgroundReads();
    const bool up = flag && ChannelIsUp();
    // Without a dialog from above: offline first (nothing lost, nothing more sent), exit when
    // even that fails.
    int defaultAnswers = 0;
    auto ask = [&]() {
        if (hooks_.reconnectPrompt) return hooks_.reconnectPrompt(up);
        return defaultAnswers++ == 0 ? int{kRetryOffline} : int{kRetryExit};
    };
    for (;;) {
        const int answer = ask();
        if (answer == kRetryReconnect) {
            const int rc = wnd_.ReconnectNode(checker_);
            if (rc == engine::engine_code::kNodeNotDisconnected) {
                Box("Internal error, please make a new connection to the node", "Node not found",
                    platform::MB_ICONWARNING);
                CloseConnection(false);
                return;
            }
            if (rc == engine::engine_code::kNodeNotFound) {
                Box("Node not found.", "Connection error", platform::MB_OK);
                continue;
            }
            if (rc == engine::engine_code::kNodeChanged) {
                newConnectionRequested_ = true;
            } else if (rc != 0) {
                continue;
            } else {
                if (reconnectNoticeWindow_ != 0 && platform::IsSinkRegistered(reconnectNoticeWindow_) &&
                    !reconnectNoticeText_.empty())
                    platform::PostMessage(reconnectNoticeWindow_, kDriveReconnectedMessage, 0, 0);
                Box("Node correctly reconnected", "Node reconnected", platform::MB_ICONINFORMATION);
                ResumeBackgroundReads();
                return;
            }
        }
        if (answer == kRetryOffline) {
            if (!SwitchToOffline()) continue;
            Box("Offline mode activated", "Offline mode", platform::MB_ICONINFORMATION);
            ResumeBackgroundReads();
            return;
        }
        if (answer == kRetryReconnect || answer == kRetryNewConnection) {
            // A new connection asked for by the user clears the request; one the drive forced
            // (another node answers) keeps it, so the next connect goes straight to that node.
            if (answer == kRetryNewConnection) newConnectionRequested_ = false;
            CloseConnection(false);
            Host().ResetPages();
            platform::PostMessage(owner_, kFrameConnectSequenceMessage, 0, 0);
            return;
        }
        platform::PostMessage(owner_, platform::WM_CLOSE, 0, 0);
        return;
    }
}

bool CQd::SwitchToOffline() {
    wnd_.SetOffline(true);
    switchedOffline_ = true;
    engine::CMainApi* api = wnd_.EngineApi();
    const int rc =
        api ? api->NodeDisconnect(wnd_.Record().firstNode, static_cast<int>(wnd_.Record().channelIndex)) : -1;
    if (rc != 0) {
        std::string text = api ? api->Engine()->ErrorText() : std::string("no engine");
        text.resize(platform::Utf8SafeCut(text, 300));
        Box(text, "Error Offline mode", platform::MB_ICONERROR);
        // The node is still online: the drive object does not claim otherwise.
        wnd_.SetOffline(false);
        switchedOffline_ = false;
        return false;
    }
    state_.bootOnly = false;
    if (hooks_.updateMenuState) hooks_.updateMenuState();
    const std::string namePart =
        identity_.userDriveName.empty() ? std::string() : Format(" - %s ", identity_.userDriveName);
    offlineTitle_ = Format("OFFLINE%s - %s", namePart, state_.description);
    if (Host().ShownPage() == CFramePage::MainDialog) Host().RefreshMainDialog();
    Host().SetFrameTitle(Format("%s -  O F F L I N E %s- %s", kProgramName, namePart, state_.description));
    return true;
}

// ---- close ---------------------------------------------------------------------------------

void CQd::CloseConnection(bool shutDown) {
    Host().StoreMessageBarPlacement();
    if (connected_ && hooks_.writeDeviceSettings) hooks_.writeDeviceSettings();
    connected_ = false;
    ops_.holdsParameters = false;
    state_.bootOnly = false;
    ReleaseNode();
    // The command thread must be gone before the engine under it goes: stopped and joined.
    if (hooks_.stopSystemManager) hooks_.stopSystemManager();
    if (engine::CMain* engine = EngineOrNull()) {
        engine->StopNodeguard();
        engine->GroupRemoveAll();
    }
    taggedCells_.clear();
    wnd_.CloseNode(shutDown);
    for (const CFramePage page : {CFramePage::MainDialog, CFramePage::BusSettings, CFramePage::ThirdPage}) {
        const platform::WindowHandle window = Host().PageWindow(page);
        if (window != 0 && platform::IsSinkRegistered(window))
            platform::PostMessage(window, kPageConnectionClosedMessage, 0, 0);
    }
    Host().RefreshStatusBar();
}

void CQd::ReleaseNode() {
    // ---- drive-program identity display ----
    if (hooks_.stopProgramInfoRefresh) hooks_.stopProgramInfoRefresh();
    StopWatchThread();
    RemoveStatusGroups();
    ReleaseGroups(static_cast<uint32_t>(-1));
    polling_.ioUsers = 0;
    if (polling_.ioGroup >= 0) {
        if (engine::CMain* engine = EngineOrNull()) {
            engine->ClearError();
            engine->GroupRemove(polling_.ioGroup);
        }
        polling_.ioGroup = -1;
    }
    Host().StopPageRefresh();
}

// ---- background start, access key, title -----------------------------------------------------

bool CQd::StartWatchThread() {
    if (watchSeam_.readBasicCells) watchSeam_.readBasicCells();
    bool running = watchSeam_.running && watchSeam_.running();
    if (!running) {
        running = watchSeam_.start && watchSeam_.start();
        if (!running) Box("Error", "Error starting watch and data thread", platform::MB_ICONWARNING);
    }
    CreateStatusGroups();
    Host().StartPageStatusRefresh(state_.busType);
    return running;
}

void CQd::WriteAccessKey() {
    uint32_t key = 0;
    if (ReadCell("enabling_key", &key) != 0) return;
    const uint32_t wanted = GetAuthorizations().GetCurrentCode();
    if (key == wanted) return;
    const int rc = WriteCell("enabling_key", wanted);
    if (rc != 0) {
        char caption[96];
        std::snprintf(caption, sizeof caption, "Error %d setting '%s' access.", rc, "enabling_key");
        Box("Authorization", caption, platform::MB_ICONWARNING);
    }
}

void CQd::UpdateWindowTitle() {
    const std::string& name = identity_.userDriveName;
    const std::string namePart = name.empty() ? std::string() : Format(" - %s ", name);
    std::string part;
    if (IsOffline()) {
        const CIdentity& firmware = checker_.GetFirmwareIdentity();
        const CIdentity& shown = firmware.IsValid() ? firmware : checker_.GetHardwareIdentity();
        const std::string version =
            shown.IsValid() ? Format(" v. %s", shown.version.GetText()) : std::string();
        offlineTitle_ = Format("OFFLINE%s- %s%s", namePart, state_.description, version);
        part = offlineTitle_;
    } else if (connected_) {
        const std::string family = GetDeviceFamilyName(state_.group);
        part = state_.bootOnly ? Format("%s - FIRMWARE MISSING: BOOT ONLY !", family)
                               : Format("%s%s - %s", family, namePart, state_.versionText);
    } else {
        part = "NO DRIVE CONNECTED";
    }
    std::string title;
    if (IsHostMode()) {
        if (hostSession_.connectedToHostNode)
            title = Format("%s - CONNECTED TO %s %s", kProgramName, hostSession_.nodeTitle1,
                           hostSession_.nodeTitle2);
        else if (!hostSession_.askedOnline)
            title = Format("%s -  O F F L I N E %s- %s", kProgramName, namePart, state_.description);
        else
            title = Format("%s - %s", kProgramName, part);
    } else {
        title = Format("%s - %s", kProgramName, part);
    }
    Host().SetFrameTitle(title);
}

std::string CQd::SystemInfoTitle() const {
    if (IsOffline()) {
        std::string title = "Offline - ";
        if (!identity_.userDriveName.empty()) title += identity_.userDriveName + " - ";
        return title + GetDeviceFamilyName(state_.group);
    }
    if (!identity_.userDriveName.empty())
        return Format("%s - %s", identity_.userDriveName, state_.versionText);
    return state_.versionText;
}

void CQd::ShowSystemInfo(platform::WindowHandle parent) {
    if (hooks_.showSystemInfo) {
        hooks_.showSystemInfo(parent);
        return;
    }
    // Without the window (no program around the drive object), the identities in a box.
    std::string text;
    auto line = [&text](const char* label, const CIdentity& id) {
        if (id.IsValid()) text += std::string(label) + ": " + id.GetCompactText() + "\n";
    };
    line("Hardware", checker_.GetHardwareIdentity());
    line("Firmware", checker_.GetFirmwareIdentity());
    line("Boot", checker_.GetBootIdentity());
    if (!state_.description.empty()) text += state_.description + "\n";
    Box(text.empty() ? std::string("No device information") : text, SystemInfoTitle(),
        platform::MB_ICONINFORMATION);
}

void CQd::GetTempParamFileName(std::string& out) {
    std::filesystem::path folder = platform::PrivateTempFolder();
    if (folder.empty()) folder = platform::TempFolder();
    out = (folder / (FileNamePart(HostNodeName()) + "_paramtmp.xml")).string();
}

}  // namespace drive
