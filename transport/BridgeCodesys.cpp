#include "transport/BridgeCodesys.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "foundation/CompatChecker.h"
#include "foundation/LogFile.h"
#include "foundation/ProgramFolders.h"
#include "platform/Clock.h"
#include "platform/Prompt.h"
#include "transport/BridgeStatusText.h"
#include "transport/ChannelTrace.h"

using namespace foundation;

namespace transport {

namespace {

constexpr uint16_t kBusTypeCanOpen = 2;
constexpr uint16_t kBusTypeEtherCat = 4;
constexpr uint32_t kNoStatus = 0xFFFFFFFFu;
constexpr uint32_t kStatusNodeInUse = static_cast<uint32_t>(bridge_status::kNodeInUse);

int BusKind(uint16_t busType) {
    switch (busType) {
        case 1:
            return 0;
        case kBusTypeCanOpen:
            return kBusKindCanOpen;
        case kBusTypeEtherCat:
            return kBusKindEtherCat;
        default:
            return -1;
    }
}

// Little-endian object data read into a number.
uint32_t Le(const uint8_t* p, size_t n) {
    uint32_t v = 0;
    for (size_t i = 0; i < n; ++i) v |= uint32_t{p[i]} << (8 * i);
    return v;
}

const char* FoECodeName(uint32_t code) {
    switch (code) {
        case 0:
            return "not defined";
        case 1:
            return "not found";
        case 2:
            return "access";
        case 3:
            return "disk full";
        case 4:
            return "illegal";
        case 5:
            return "packeno";
        case 6:
            return "exists";
        case 7:
            return "no user";
        case 8:
            return "bootstrap only";
        case 9:
            return "not in bootstrap";
        case 10:
            return "invalid password";
        case 200:
            return "memory allocation failed";
        case 201:
            return "timeout";
        case 202:
            return "service active";
        case 203:
            return "buffer too small";
        default:
            return nullptr;
    }
}

// One object read of a list: index, subindex, bytes.
struct ObjectRead {
    uint16_t index;
    uint8_t sub;
    uint32_t size;
    uint8_t data[4] = {};
    uint32_t status = kNoStatus;
    uint32_t Value() const { return Le(data, size); }
};

void AddRead(CBridgeVkr& bridge, bool canOpen, ObjectRead& r) {
    if (canOpen)
        bridge.CmdReadCan(r.index, r.sub, r.data, &r.status, r.size);
    else
        bridge.CmdRead(r.index, r.sub, r.data, &r.status, r.size);
}

}  // namespace

CBridgeCodesys::CBridgeCodesys(CErrorPair* owner) : owner_(owner ? owner : &ownError_) {}

CBridgeCodesys::~CBridgeCodesys() {
    DestroyStatusWindow();
    RemoveAll();
}

void CBridgeCodesys::DestroyStatusWindow() {
    if (statusWindow_ && statusWindow_->IsWindow()) statusWindow_->Close();
    statusWindow_.reset();
}

void CBridgeCodesys::SelectNode(uint32_t address, uint16_t busType, uint8_t busNumber, uint16_t nodeId) {
    address_ = address;
    busType_ = busType;
    busNumber_ = busNumber;
    nodeId_ = nodeId;
}

int CBridgeCodesys::Fail(int code, const std::string& text) {
    lastCode_ = code;
    errorText_ = text;
    owner_->Set(code, text);
    return code;
}

void CBridgeCodesys::Pause(uint32_t ms) {
    if (ms) platform::SystemClock().SleepMs(ms);
}

void CBridgeCodesys::Post(const CBridgeDownloadContext& context, uintptr_t what) {
    if (context.window) platform::PostMessage(context.window, context.message, what, 0);
}

// --- connections

namespace {
std::atomic<CBridgeShell*> defaultShell{nullptr};
}  // namespace

void CBridgeCodesys::SetDefaultShell(CBridgeShell* shell) {
    defaultShell = shell;
}

CBridgeShell* CBridgeCodesys::DefaultShell() {
    return defaultShell.load();
}

int CBridgeCodesys::Connect(uint32_t address) {
    address_ = address;
    CBridgeShell* shell = shell_ ? shell_ : DefaultShell();
    if (shell) shell->ShowWait("Connecting to the bridge...");
    CBridgeVkr* bridge = ConnectBridge();
    if (shell) shell->CloseWait();
    if (!bridge) {
        platform::Prompts().MessageBox(errorText_, "Error connecting to bridge", platform::MB_ICONWARNING);
        return platform::IDCANCEL;
    }
    const int answer = shell
                           ? shell->ConnectDialog(*this, *bridge)
                           : platform::Prompts().Custom("ConnectBridge", {bridge->GetVersionText()}, nullptr);
    // A bridge reset in the dialog has dropped every bridge already.
    if (answer != platform::IDOK && BridgeCount() != 0) RemoveBridge(bridge);
    return answer;
}

CBridgeVkr* CBridgeCodesys::ConnectBridge() {
    for (auto& bridge : bridges_)
        if (bridge->Address() == address_) return bridge.get();
    auto bridge = std::make_unique<CBridgeVkr>();
    bridge->SetPort(port_);
    bridge->SetTimings(bridgeTimings_);
    bridge->SetBaseTimeout(defaultTimeoutMs);
    const std::string text = Format("%u.%u.%u.%u", address_ >> 24, (address_ >> 16) & 0xFF,
                                    (address_ >> 8) & 0xFF, address_ & 0xFF);
    if (!bridge->Connect(text)) {
        Fail(kNodeError, bridge->GetErrorText(bridge->LastErrorCode()));
        return nullptr;
    }
    if (bridge->Wire().version >= 3 && bridge->BrandCode() != bridge_wire::kBrandCode) {
        Fail(kNodeError, Format("Bridge not compatible: %s (%s)", bridge->GetVersionText().c_str(),
                                bridge->Description().c_str()));
        return nullptr;
    }
    if (bridge->BusList().empty()) {
        Fail(kNodeError, "Bridge connected but no fieldbus is configured in the master");
        return nullptr;
    }
    bridges_.push_back(std::move(bridge));
    return bridges_.back().get();
}

CBridgeNode* CBridgeCodesys::FindNode(uint32_t handle) {
    for (auto& node : nodes_)
        if (node->handle == handle) return node.get();
    return nullptr;
}

int CBridgeCodesys::RunTemporary(CBridgeVkr& bridge, std::unique_ptr<CCmd> command, uint32_t timeoutMs) {
    const int group = bridge.GroupCreate(0, 0);
    bridge.GroupAddCommand(group, std::move(command));
    const int rc = bridge.GroupExecute(group, timeoutMs, 0);
    bridge.GroupRemove(group);
    return rc;
}

CBridgeNode* CBridgeCodesys::NodeConnect(uint32_t handle) {
    if (handle != 0) return FindNode(handle);
    for (auto& node : nodes_)
        if (node->busType == busType_ && node->nodeId == nodeId_) return node.get();
    const int kind = BusKind(busType_);
    if (kind < 0) {
        Fail(kNodeError, "Bus type not supported");
        return nullptr;
    }
    CBridgeVkr* bridge = ConnectBridge();
    if (!bridge) return nullptr;
    const CBusInfo* bus = bridge->FindBus(static_cast<uint8_t>(kind), busNumber_);
    if (!bus) {
        Fail(kNodeError, "Bridge connected but fieldbus not found");
        return nullptr;
    }
    bridge->SetCurrentTarget(bus->id);
    bridge->SetCurrentNode(nodeId_);
    const uint8_t busId = bus->id;
    const bool canOpen = busType_ == kBusTypeCanOpen;

    uint16_t state = 0;
    uint32_t status = kNoStatus;
    std::unique_ptr<CCmd> stateCmd;
    if (canOpen)
        stateCmd =
            std::make_unique<CCmdCanGetSlaveState>(*bridge, static_cast<uint8_t>(nodeId_), &status, &state);
    else
        stateCmd = std::make_unique<CCmdEthGetSlaveState>(*bridge, nodeId_, &status, &state);
    if (RunTemporary(*bridge, std::move(stateCmd), 500) == 0) {
        const char* prefix =
            canOpen ? "Bridge running; CANopen running; " : "Bridge running; EtherCAT running; ";
        std::string problem;
        if (canOpen) {
            if (status != 0 && status != kStatusNodeInUse)
                problem = "%snode %d not found";
            else if (state == 2)
                problem = "%snode %d found but is in 'Stopped' state";
            else if (state == 4)
                problem = "%snode %d found but is in 'Init' state";
        } else {
            if (status != 0)
                problem = "%snode %d not found";
            else if (state == 1)
                problem = "%snode %d found but is in 'Bootstrap' state";
            else if (state == 2)
                problem = "%snode %d found but is in 'Init' state";
        }
        if (!problem.empty()) {
            Fail(kNodeError, Format(problem.c_str(), prefix, static_cast<int>(nodeId_)));
            return nullptr;
        }
    }

    if (bridge->HasApplicationVersion()) {
        uint32_t holder = 0;
        status = kNoStatus;
        lastResult_ =
            RunTemporary(*bridge, std::make_unique<CCmdLockNode>(*bridge, nodeId_, &status, &holder), 2000);
        if (lastResult_ == 0 && status == kStatusNodeInUse) {
            Fail(kNodeInUse, Format("Node is in use by client %d.%d.%d.%d", static_cast<int>(holder >> 24),
                                    static_cast<int>((holder >> 16) & 0xFF),
                                    static_cast<int>((holder >> 8) & 0xFF), static_cast<int>(holder & 0xFF)));
            return nullptr;
        }
        if (lastResult_ != 0 || status != 0) {
            SetError(*bridge, "Lock node", lastResult_ != 0 ? 0 : status);
            return nullptr;
        }
    }

    auto node = std::make_unique<CBridgeNode>();
    node->busId = busId;
    node->nodeId = nodeId_;
    node->busType = busType_;
    node->timeoutMs = defaultTimeoutMs;
    node->handle = ++handleCounter_;
    node->bridge = bridge;
    node->manager = this;
    nodes_.push_back(std::move(node));
    return nodes_.back().get();
}

void CBridgeCodesys::NodeDisconnect(uint32_t handle) {
    auto it = std::find_if(nodes_.begin(), nodes_.end(), [&](const auto& n) { return n->handle == handle; });
    if (it == nodes_.end()) return;
    CBridgeVkr* bridge = (*it)->bridge;
    if (bridge && bridge->IsConnected() && bridge->HasApplicationVersion()) {
        // The client's current bus and node are those of the node connected last through it.
        RunTemporary(*bridge,
                     std::make_unique<CCmdUnlockNode>(*bridge, bridge->CurrentTarget(), bridge->CurrentNode(),
                                                      nullptr),
                     1000);
    }
    if (currentNode_ == handle) currentNode_ = 0;
    nodes_.erase(it);
    if (nodes_.empty()) bridges_.clear();
}

void CBridgeCodesys::RemoveBridge(CBridgeVkr* bridge) {
    for (auto it = nodes_.begin(); it != nodes_.end();) {
        if ((*it)->bridge == bridge) {
            if ((*it)->handle == currentNode_) currentNode_ = 0;
            it = nodes_.erase(it);
        } else {
            ++it;
        }
    }
    bridges_.erase(
        std::remove_if(bridges_.begin(), bridges_.end(), [&](const auto& b) { return b.get() == bridge; }),
        bridges_.end());
}

void CBridgeCodesys::RemoveAll() {
    nodes_.clear();
    bridges_.clear();
    currentNode_ = 0;
}

// --- errors

int CBridgeCodesys::SetError(CBridgeVkr& bridge, const std::string& operation, uint32_t status) {
    std::string text;
    if (status != 0) {
        text = operation + ": " + GetSdoAbortText(status);
        lastResult_ = lastCode_ = static_cast<int>(status);
    } else {
        text = operation + ": " + bridge.GetErrorText(lastResult_);
        lastCode_ = lastResult_;
    }
    errorText_ = CutUtf8(text, 254);
    owner_->Set(lastCode_, errorText_);
    return lastCode_;
}

int CBridgeCodesys::ReportError(uint32_t status, const std::string& operation) {
    if (status != 0) {
        lastCode_ = static_cast<int>(status);
        errorText_ = Format("Err. %lu writing %s", static_cast<unsigned long>(status), operation.c_str());
    } else {
        errorText_ = Format("Err. %lu executing %s",
                            static_cast<unsigned long>(static_cast<uint32_t>(lastCode_)), operation.c_str());
    }
    owner_->Set(lastCode_, errorText_);
    lastResult_ = lastCode_;
    return lastCode_;
}

// --- identification

void CBridgeCodesys::RaiseCellTime(CBridgeVkr& bridge, int64_t measuredMs, size_t commands) {
    const uint32_t perCommand =
        commands ? static_cast<uint32_t>(measuredMs / static_cast<int64_t>(commands)) : 0;
    bridge.SetCellTime(std::max(perCommand, bridge.CycleUs() / 1000));
}

int CBridgeCodesys::IdentifyNode(CCompatChecker* checker, uint32_t* handle, NodeIdentRecord* identity,
                                 uint32_t* mode, uint32_t* flag, uint32_t* build) {
    CBridgeNode* node = NodeConnect(handle ? *handle : 0);
    if (!node) return lastCode_ ? lastCode_ : kNodeError;
    if (handle) *handle = node->handle;
    CCompatChecker local;
    const int rc = IdentifyInner(*node, checker ? *checker : local, identity, mode, build);
    if (rc != 0) return rc;
    if (flag) *flag = 0;
    currentNode_ = node->handle;
    lastResult_ = 0;
    return 0;
}

int CBridgeCodesys::IdentifyInner(CBridgeNode& node, CCompatChecker& checker, NodeIdentRecord* identity,
                                  uint32_t* mode, uint32_t* build) {
    CBridgeVkr& bridge = *node.bridge;
    const bool canOpen = node.IsCanOpen();
    const uint32_t timeout = std::max<uint32_t>(1000, node.timeoutMs);
    bridge.SetCurrentTarget(node.busId);
    bridge.SetCurrentNode(node.nodeId);
    platform::Clock& clock = platform::SystemClock();

    ObjectRead browse{0x5FF2, 1, 2}, brand{0x5FFD, 14, 2};
    bridge.ClearDirect();
    AddRead(bridge, canOpen, browse);
    AddRead(bridge, canOpen, brand);
    int64_t start = clock.NowMs();
    int rc = bridge.ExecuteCmds(timeout);
    const int64_t measured = (clock.NowMs() - start) / 2;
    if (rc != 0 || brand.status != 0 || brand.Value() != kBrandVendorCode) {
        if (rc == 0) DebugLog().Write(std::string("It is not a ") + kBrandName + " product");
        return Fail(kNodeError, kNodeUnknownText);
    }

    uint32_t deviceCode = 0, code = 0, version = 0, buildNumber = 0, kind = 0;
    if (browse.status == 0 && browse.Value() != 0xFFFF) {
        RaiseCellTime(bridge, measured, 1);
        char hardware[100] = {}, software[100] = {};
        uint32_t hwStatus = kNoStatus, swStatus = kNoStatus;
        bridge.ClearDirect();
        if (canOpen) {
            bridge.CmdReadCan(0x1009, 0, hardware, &hwStatus, sizeof hardware - 1);
            bridge.CmdReadCan(0x100A, 0, software, &swStatus, sizeof software - 1);
        } else {
            bridge.CmdRead(0x1009, 0, hardware, &hwStatus, sizeof hardware - 1);
            bridge.CmdRead(0x100A, 0, software, &swStatus, sizeof software - 1);
        }
        rc = bridge.ExecuteCmds(timeout);
        if (rc == 0 && hwStatus == 0 && swStatus == 0) {
            checker.InitFromText(std::string(hardware, strnlen(hardware, sizeof hardware - 1)),
                                 std::string(software, strnlen(software, sizeof software - 1)), &node,
                                 &CBridgeCodesys::VersionBrowse, &CBridgeCodesys::ReadIdentity);
        } else {
            const std::string error =
                checker.InitFromDevice(&node, &CBridgeCodesys::VersionBrowse, &CBridgeCodesys::ReadIdentity);
            if (!error.empty()) return Fail(kNodeError, kNodeUnknownText);
        }
        deviceCode = static_cast<uint32_t>(checker.GetHardwareIdentity().code);
        const CIdentity& firmware = checker.GetFirmwareIdentity();
        const CIdentity& boot = checker.GetBootIdentity();
        const bool firmwareValid = firmware.code >= 1 && firmware.code <= 32767;
        const CIdentity& running = firmwareValid ? firmware : boot;
        kind = firmwareValid ? kIdentityKindFirmware : kIdentityKindBoot;
        code = static_cast<uint32_t>(running.code);
        version = static_cast<uint32_t>(running.version.major);
        if (running.version.preNumber > 0) buildNumber = static_cast<uint32_t>(running.version.preNumber);
        if (firmwareValid && boot.code >= 1 && boot.code <= 32767 && boot.version.minor == 0 &&
            boot.version.patch == 0) {
            ObjectRead bootMajor{0x5FFD, 4, 2};
            bridge.ClearDirect();
            AddRead(bridge, canOpen, bootMajor);
            if (bridge.ExecuteCmds(timeout) == 0 && bootMajor.status == 0 && bootMajor.Value() != 0)
                checker.SetBootMajorOnly(bootMajor.Value());
        }
    } else {
        ObjectRead reads[] = {{0x5FFB, 1, 2},  {0x5FFD, 4, 2},  {0x5FFD, 12, 2},
                              {0x5FFB, 2, 2},  {0x5FFD, 7, 2},  {0x5FFD, 13, 2},
                              {0x5FFD, 11, 2}, {0x5FFD, 10, 4}, {0x5FFD, 1, 2}};
        bridge.ClearDirect();
        for (ObjectRead& r : reads) AddRead(bridge, canOpen, r);
        start = clock.NowMs();
        rc = bridge.ExecuteCmds(timeout);
        RaiseCellTime(bridge, clock.NowMs() - start, std::size(reads));
        for (const ObjectRead& r : reads)
            if (r.status != 0) rc = rc ? rc : -1;
        if (rc != 0) return Fail(kNodeError, kNodeUnknownText);
        const uint32_t bootCode = reads[0].Value(), bootVersion = reads[1].Value(),
                       bootBuild = reads[2].Value();
        const uint32_t fwCode = reads[3].Value(), fwVersion = reads[4].Value(), fwBuild = reads[5].Value();
        const uint32_t running = reads[6].Value(), hwCode = reads[7].Value(), hwVersion = reads[8].Value();
        deviceCode = hwCode;
        if (running < 2) {
            kind = kIdentityKindBoot;
            code = bootCode;
            version = bootVersion;
            buildNumber = bootBuild;
        } else {
            kind = kIdentityKindFirmware;
            code = fwCode;
            version = fwVersion;
            buildNumber = fwBuild;
        }
        checker.InitFromLegacy(hwCode, hwVersion, code, version, buildNumber, bootCode, bootVersion,
                               bootBuild);
    }
    if (identity) {
        identity->hardwareCode = deviceCode;
        identity->firmwareCode = code;
        identity->firmwareVersion = version;
    }
    if (mode) *mode = kind;
    if (build) *build = buildNumber;
    return 0;
}

void CBridgeCodesys::VersionBrowse(std::string& error, void* context, int command, int parameter,
                                   int* response) {
    error.clear();
    auto* node = static_cast<CBridgeNode*>(context);
    if (!node || !node->bridge) {
        error = "Not connected";
        return;
    }
    CBridgeVkr& bridge = *node->bridge;
    const bool canOpen = node->IsCanOpen();
    const uint32_t timeout = std::max<uint32_t>(1000, node->timeoutMs);
    bridge.SetCurrentTarget(node->busId);
    bridge.SetCurrentNode(node->nodeId);
    const uint16_t parameterWord = static_cast<uint16_t>(parameter),
                   commandWord = static_cast<uint16_t>(command);
    uint32_t parameterStatus = 0, commandStatus = kNoStatus;
    bridge.ClearDirect();
    if (parameter != -1) {
        parameterStatus = kNoStatus;
        if (canOpen)
            bridge.CmdWriteCan(0x5FF2, 3, &parameterWord, &parameterStatus, 2);
        else
            bridge.CmdWrite(0x5FF2, 3, &parameterWord, &parameterStatus, 2);
    }
    if (canOpen)
        bridge.CmdWriteCan(0x5FF2, 2, &commandWord, &commandStatus, 2);
    else
        bridge.CmdWrite(0x5FF2, 2, &commandWord, &commandStatus, 2);
    const int rc = bridge.ExecuteCmds(timeout);
    if (parameterStatus != 0) {
        error = Format("Errore scrittura VersionBrowseParameter: 0x%x", parameterStatus);
        return;
    }
    if (rc != 0 || commandStatus != 0) {
        error = Format("Errore scrittura VersionBrowseCommand %d: %d (0x%x)", command, rc, commandStatus);
        return;
    }
    if (!response || *response == -1) return;
    ObjectRead answer{0x5FF2, 4, 2};
    bridge.ClearDirect();
    AddRead(bridge, canOpen, answer);
    const int readRc = bridge.ExecuteCmds(1000);
    if (readRc != 0 || answer.status != 0) {
        error = Format("Errore lettura VersionBrowseResponse: %d (0x%x", readRc, answer.status);
        return;
    }
    *response = static_cast<int>(answer.Value());
}

void CBridgeCodesys::ReadIdentity(std::string& error, void* context, uint32_t* code, uint32_t* major,
                                  uint32_t* minor, uint32_t* patch, uint32_t* preState, uint32_t* preNumber) {
    error.clear();
    auto* node = static_cast<CBridgeNode*>(context);
    if (!node || !node->bridge) {
        error = "Not connected";
        return;
    }
    CBridgeVkr& bridge = *node->bridge;
    bridge.SetCurrentTarget(node->busId);
    bridge.SetCurrentNode(node->nodeId);
    ObjectRead reads[6] = {{0x5FF3, 1, 2}, {0x5FF3, 2, 2}, {0x5FF3, 3, 2},
                           {0x5FF3, 4, 2}, {0x5FF3, 5, 2}, {0x5FF3, 6, 2}};
    bridge.ClearDirect();
    for (ObjectRead& r : reads) AddRead(bridge, node->IsCanOpen(), r);
    const int rc = bridge.ExecuteCmds(std::max<uint32_t>(1000, node->timeoutMs));
    if (rc != 0) {
        error = Format("Error reading Identity block: %d", rc);
        return;
    }
    static const char* const kNames[6] = {
        "IdentityCode",         "IdentityVersionMajor",    "IdentityVersionMinor",
        "IdentityVersionPatch", "IdentityPreReleaseState", "IdentityPreReleaseVersion"};
    for (int i = 0; i < 6; ++i) {
        if (reads[i].status != 0) {
            error = Format("Error reading '%s': 0x%x", kNames[i], reads[i].status);
            return;
        }
    }
    uint32_t* outs[6] = {code, major, minor, patch, preState, preNumber};
    for (int i = 0; i < 6; ++i)
        if (outs[i]) *outs[i] = reads[i].Value();
}

// --- items and groups

bool CBridgeCodesys::CheckCell(const CBridgeItem& item) {
    if (item.hasBusAddress) return true;
    Fail(kCellNotFound, Format("Can cell '%s' not found", item.name.c_str()));
    return false;
}

int CBridgeCodesys::ReadCell(uint32_t handle, const CBridgeItem& item, void* buffer, uint32_t size,
                             uint32_t timeoutMs) {
    CBridgeNode* node = FindNode(handle);
    if (!node) return lastResult_;
    if (!CheckCell(item)) return lastCode_;
    CBridgeVkr& bridge = *node->bridge;
    bridge.SetCurrentTarget(node->busId);
    bridge.SetCurrentNode(node->nodeId);
    uint32_t status = kNoStatus;
    bridge.ClearDirect();
    if (node->IsCanOpen())
        bridge.CmdReadCan(item.index, item.subIndex, buffer, &status, size);
    else
        bridge.CmdRead(item.index, item.subIndex, buffer, &status, size);
    lastResult_ = bridge.ExecuteCmds(std::max(timeoutMs, node->timeoutMs));
    if (lastResult_ == 0 && status == 0) return 0;
    const int rc = SetError(bridge, Format("Reading address 0x%x.%x", item.index, item.subIndex),
                            lastResult_ == 0 ? status : 0);
    node->log.NoteError(errorText_);
    return rc;
}

int CBridgeCodesys::WriteCell(const CBridgeItem& item, const void* data, uint32_t* size, uint32_t timeoutMs) {
    CBridgeNode* node = FindNode(currentNode_);
    if (!node) {
        owner_->SetCode(lastCode_);
        return lastCode_;
    }
    if (!CheckCell(item)) return owner_->Code();
    CBridgeVkr& bridge = *node->bridge;
    bridge.SetCurrentTarget(node->busId);
    bridge.SetCurrentNode(node->nodeId);
    const uint32_t count = size ? *size : 0;
    uint32_t status = kNoStatus;
    bridge.ClearDirect();
    if (node->IsCanOpen())
        bridge.CmdWriteCan(item.index, item.subIndex, data, &status, count);
    else
        bridge.CmdWrite(item.index, item.subIndex, data, &status, count);
    lastResult_ = bridge.ExecuteCmds(std::max(timeoutMs, node->timeoutMs));
    if (lastResult_ == 0 && status == 0) {
        lastCode_ = 0;
        return 0;
    }
    const int rc = SetError(bridge, Format("Writing address 0x%x.%x", item.index, item.subIndex),
                            lastResult_ == 0 ? status : 0);
    node->log.NoteError(errorText_);
    return rc;
}

int CBridgeCodesys::GroupAddItem(uint32_t handle, int group, const CBridgeItem& item, int direction,
                                 void* value, uint32_t size, uint32_t* statusOut, const CBridgeNotify* notify,
                                 uint32_t* sizeOut) {
    CBridgeNode* node = FindNode(handle);
    if (!node) return 0;
    CBridgeVkr& bridge = *node->bridge;
    if (!bridge.Group(group)) return CBridgeVkr::kNoGroup;
    bridge.SetCurrentTarget(node->busId);
    bridge.SetCurrentNode(node->nodeId);
    const bool canOpen = node->IsCanOpen();
    const bool write = direction == 1;
    if (size == 4) {
        const CBridgeNotify none;
        const CBridgeNotify& n = notify ? *notify : none;
        if (write) {
            uint32_t v = 0;
            if (value) std::memcpy(&v, value, 4);
            return canOpen ? bridge.GroupAddWriteCan4(group, item.index, item.subIndex, v, statusOut)
                           : bridge.GroupAddWrite4(group, item.index, item.subIndex, v, statusOut);
        }
        auto* v = static_cast<uint32_t*>(value);
        return canOpen ? bridge.GroupAddReadCan4(group, item.index, item.subIndex, v, statusOut, sizeOut,
                                                 item.isSigned, n)
                       : bridge.GroupAddRead4(group, item.index, item.subIndex, v, statusOut, sizeOut,
                                              item.isSigned, n);
    }
    if (write)
        return canOpen ? bridge.GroupAddWriteCan(group, item.index, item.subIndex, value, size, statusOut)
                       : bridge.GroupAddWrite(group, item.index, item.subIndex, value, size, statusOut);
    if (sizeOut) {
        *sizeOut = size;
        return canOpen ? bridge.GroupAddReadCan(group, item.index, item.subIndex, value, statusOut, sizeOut)
                       : bridge.GroupAddRead(group, item.index, item.subIndex, value, statusOut, sizeOut);
    }
    return canOpen ? bridge.GroupAddReadCanValue(group, item.index, item.subIndex, value, statusOut, size)
                   : bridge.GroupAddReadValue(group, item.index, item.subIndex, value, statusOut, size);
}

int CBridgeCodesys::GroupExecute(uint32_t handle, int group, uint32_t cycleMs) {
    CBridgeNode* node = FindNode(handle);
    if (!node) return CBridgeVkr::kNotConnected;
    return node->bridge->GroupExecute(group, node->timeoutMs, cycleMs);
}

void CBridgeCodesys::GroupClear(int group) {
    if (CBridgeNode* node = FindNode(currentNode_)) node->bridge->GroupClear(group);
}

int CBridgeCodesys::GroupRemove(int group) {
    if (CBridgeNode* node = FindNode(currentNode_)) node->bridge->GroupRemove(group);
    return 0;
}

// --- EtherCAT slave states

int CBridgeCodesys::SetSlaveState(CBridgeVkr& bridge, int group, uint16_t state, uint16_t* stateOut) {
    uint32_t status = kNoStatus;
    uint16_t reported = 0;
    bridge.GroupClear(group);
    bridge.GroupAddCommand(group, std::make_unique<CCmdEthSetSlaveState>(bridge, bridge.CurrentNode(), state,
                                                                         &status, &reported));
    lastCode_ = bridge.GroupExecute(group, 2000, 0);
    if (lastCode_ != 0 || status != 0)
        return ReportError(lastCode_ ? 0 : status, Format("Set slave state to %u", state));
    bridge.GroupClear(group);
    bridge.GroupAddCommand(
        group, std::make_unique<CCmdEthGetSlaveState>(bridge, bridge.CurrentNode(), &status, &reported));
    for (uint32_t waited = 0;; waited += timings_.statePollMs) {
        status = kNoStatus;
        lastCode_ = bridge.GroupExecute(group, 2000, 0);
        if (lastCode_ != 0 || status != 0) return ReportError(lastCode_ ? 0 : status, "Get slave state");
        if (stateOut) *stateOut = reported;
        if (reported == state) return 0;
        if (waited >= timings_.stateChangeMs) break;
        Pause(timings_.statePollMs);
    }
    lastCode_ = kNodeError;
    errorText_ = Format("Node not changed to state %u", state);
    owner_->SetText(errorText_);
    return lastCode_;
}

bool CBridgeCodesys::WalkSlaveState(CBridgeVkr& bridge, int group, uint16_t target) {
    if (target < 1 || target > 5) return false;
    static const uint16_t kNext[5][5] = {
        {2, 2, 2, 2, 2}, {1, 2, 4, 4, 4}, {2, 2, 3, 4, 5}, {2, 2, 3, 4, 3}, {2, 2, 3, 4, 5}};
    uint16_t state = 0;
    uint32_t status = kNoStatus;
    bridge.GroupClear(group);
    bridge.GroupAddCommand(
        group, std::make_unique<CCmdEthGetSlaveState>(bridge, bridge.CurrentNode(), &status, &state));
    if (bridge.GroupExecute(group, 2000, 0) != 0 || status != 0) return false;
    platform::Clock& clock = platform::SystemClock();
    const int64_t start = clock.NowMs();
    while (state != target) {
        if (state < 1 || state > 5) return false;
        if (clock.NowMs() - start > timings_.walkMs) return false;
        const uint16_t next = kNext[state - 1][target - 1];
        if (SetSlaveState(bridge, group, next, &state) != 0) return false;
    }
    return true;
}

// --- data blocks and downloads

int CBridgeCodesys::CreateDataBlock(const void* data, uint32_t length, uint16_t* block) {
    CBridgeNode* node = FindNode(currentNode_);
    if (!node || !node->bridge->HasApplicationVersion()) return -1;
    CBridgeVkr& bridge = *node->bridge;
    uint32_t status = kNoStatus;
    uint16_t id = 0;
    const int group = bridge.GroupCreate(0, 0);
    bridge.GroupAddCommand(group, std::make_unique<CCmdCreateBlock>(bridge, data, length, &status, &id),
                           length);
    lastCode_ = bridge.GroupExecute(group, 5000, 0);
    bridge.GroupRemove(group);
    if (lastCode_ != 0 || status != 0) return ReportError(lastCode_ ? 0 : status, "writing data block");
    if (block) *block = id;
    return 0;
}

int CBridgeCodesys::DestroyDataBlock(uint16_t block) {
    CBridgeNode* node = FindNode(currentNode_);
    if (!node || !node->bridge->HasApplicationVersion()) return -1;
    CBridgeVkr& bridge = *node->bridge;
    uint32_t status = kNoStatus;
    lastCode_ = RunTemporary(bridge, std::make_unique<CCmdDestroyBlock>(bridge, block, &status), 2000);
    if (lastCode_ != 0 || status != 0) return ReportError(lastCode_ ? 0 : status, "destroying data block");
    return 0;
}

int CBridgeCodesys::FoEDownload(const CBridgeItem& item, const CBridgeDownloadContext& context,
                                uint32_t* statusOut, uint32_t timeoutMs) {
    CBridgeNode* node = FindNode(currentNode_);
    if (!node) return lastCode_ ? lastCode_ : CBridgeVkr::kNotConnected;
    CBridgeVkr& bridge = *node->bridge;
    bridge.SetCurrentTarget(node->busId);
    bridge.SetCurrentNode(node->nodeId);
    uint32_t status = kNoStatus;
    uint32_t written = 0;
    const int group = bridge.GroupCreate(0, 0);
    auto done = [&](int rc) {
        bridge.GroupRemove(group);
        if (statusOut) *statusOut = status;
        return rc;
    };
    const std::string writing = Format("Writing address 0x%x.%x", item.index, item.subIndex);
    if (node->IsCanOpen()) {
        Post(context, 14);
        bridge.GroupAddWriteCanDB(group, item.index, item.subIndex, context.block, &status, &written);
        lastResult_ = bridge.GroupExecute(group, timeoutMs, 0);
        if (lastResult_ != 0 || status != 0) return done(SetError(bridge, writing, lastResult_ ? 0 : status));
        Post(context, 34);
        Pause(timings_.afterDownloadMs);
        lastResult_ = 0;
        return done(0);
    }

    timeoutMs = std::max(timeoutMs, node->timeoutMs);
    uint16_t previous = 0;
    uint32_t readStatus = kNoStatus;
    bool useFoE = false;
    if (!context.foe) {
        bridge.GroupAddEthGetSlaveState(group, &previous, &readStatus);
        bridge.GroupExecute(group, 2000, 0);
    } else {
        uint8_t value[2] = {};
        bridge.GroupAddReadValue(group, 0x5FFD, 4, value, &readStatus, 2);
        if (bridge.GroupExecute(group, 2000, 0) == 0 && readStatus == 0) useFoE = Le(value, 2) > 17;
        // The state to come back to after the bootstrap download.
        uint32_t stateStatus = kNoStatus;
        bridge.GroupClear(group);
        bridge.GroupAddEthGetSlaveState(group, &previous, &stateStatus);
        bridge.GroupExecute(group, 2000, 0);
    }
    int rc = 0;
    if (useFoE) {
        Post(context, 40);
        SetSlaveState(bridge, group, 1, nullptr);
        Post(context, 41);
        uint8_t info[CCmdFoEDownloadDB::kErrorInfoSize + 1] = {};
        bridge.GroupClear(group);
        bridge.GroupAddCommand(
            group, std::make_unique<CCmdFoEDownloadDB>(bridge, bridge.CurrentNode(), 0, "Firmware",
                                                       context.block, &status, info));
        const double rate = bridge.FoERate() > 0 ? bridge.FoERate() : 1.0;
        bridge.Group(group)->RaiseTimeout(2000 + static_cast<uint32_t>(context.block / rate));
        lastResult_ = bridge.GroupExecute(group, timeoutMs, 0);
        if (lastResult_ == 0 && status == 0) {
            Post(context, 34);
            Pause(timings_.afterDownloadMs);
        } else {
            std::string text = "Download FoE \"Firmware\": ";
            if (lastResult_ != 0) {
                text += Format("error %lu", static_cast<unsigned long>(static_cast<uint32_t>(lastResult_)));
                lastCode_ = lastResult_;
            } else {
                const char* name = FoECodeName(status);
                const std::string codeName =
                    name ? name
                         : Format("%ld(0x%x)", static_cast<long>(static_cast<int32_t>(status)), status);
                text += Format("error=%lu '%s', errorText='%s'", static_cast<unsigned long>(status),
                               codeName.c_str(), reinterpret_cast<const char*>(info));
                lastCode_ = static_cast<int>(status);
            }
            errorText_ = CutUtf8(text, 254);
            rc = lastCode_;
            Pause(timings_.afterDownloadMs);
        }
    } else {
        Post(context, 14);
        bridge.GroupClear(group);
        bridge.GroupAddWriteDB(group, item.index, item.subIndex, context.block, &status, &written);
        lastResult_ = bridge.GroupExecute(group, timeoutMs, 0);
        if (lastResult_ != 0 || status != 0) {
            rc = SetError(bridge, writing, lastResult_ ? 0 : status);
        } else {
            Post(context, 34);
            Pause(timings_.afterDownloadMs);
        }
    }
    Post(context, 42);
    if (previous >= 1 && previous <= 5) WalkSlaveState(bridge, group, previous);
    if (rc != 0) owner_->Set(rc, errorText_);
    return done(rc);
}

int CBridgeCodesys::SetEepromConfiguration(uint32_t handle, uint8_t* bit) {
    CBridgeNode* node = FindNode(handle);
    if (!node || node->busType != kBusTypeEtherCat) return -1;
    CBridgeVkr& bridge = *node->bridge;
    bridge.SetCurrentTarget(node->busId);
    bridge.SetCurrentNode(node->nodeId);
    uint8_t word[2] = {};
    uint32_t status = kNoStatus;
    int rc = RunTemporary(
        bridge, std::make_unique<CCmdEthReadMemory>(bridge, node->nodeId, 0x0500, 2, word, &status), 1000);
    if (rc != 0) return rc;
    if (status != 0) return static_cast<int>(status);
    const uint8_t wanted = bit ? (*bit & 1) : 0;
    const uint8_t current = word[0] & 1;
    if (current != wanted) {
        status = kNoStatus;
        rc = RunTemporary(
            bridge, std::make_unique<CCmdEthWriteMemory>(bridge, node->nodeId, 0x0500, &wanted, 1, &status),
            1000);
        if (rc != 0) return rc;
        if (status != 0) return static_cast<int>(status);
        if (bit) *bit = current;
    }
    return 0;
}

}  // namespace transport
