#include "engine/Linkora.h"

#include <cstring>
#include <utility>

#include "engine/EngineCodes.h"
#include "engine/EngineLog.h"
#include "engine/Main.h"
#include "engine/VocabularyItem.h"
#include "foundation/CompatChecker.h"
#include "foundation/Version.h"
#include "platform/Host.h"
#include "platform/bstr/Bstr.h"
#include "transport/NodeIdentification.h"

using namespace foundation;
using namespace transport;

namespace engine {

namespace {

constexpr const char* kUnknownNodeText = "Node does not exist or unknown";
constexpr int kUnknownNode = -304;
constexpr int kTextBytes = 100;

std::string TakeBstr(BSTR text) {
    std::string out = text ? platform::Utf8FromBstr(text) : std::string();
    SysFreeString(text);
    return out;
}

int32_t Sign16(uint16_t v) {
    return static_cast<int16_t>(v);
}

}  // namespace

CLinkora::CLinkora(CMain& owner, std::string fileName) : owner_(owner), fileName_(std::move(fileName)) {}

CLinkora::~CLinkora() {
    RemoveDefaultGroup();
    if (fn_.loaded) {
        DropChannel();
        fn_.ChannelDestroyAll();
        Unload();
    }
}

namespace {
// The library posts through the program's message layer, not a copy of its own.
bool PostToOwner(uintptr_t window, unsigned message, uintptr_t wParam, intptr_t lParam) {
    return platform::PostMessage(window, message, wParam, lParam);
}
}  // namespace

bool CLinkora::Bind(std::string* missing) {
    std::string error;
#define LINKORA_BIND(name)                         \
    if (!library_.Bind(fn_.name, #name, &error)) { \
        *missing = #name;                          \
        return false;                              \
    }
    LINKORA_EXPORTS(LINKORA_BIND)
#undef LINKORA_BIND
    // Optional: an older library sends no network notices.
    library_.Bind(fn_.ChannelSetOwnerWindow, "ChannelSetOwnerWindow", &error);
    return true;
}

void CLinkora::Unload() {
    fn_ = Functions{};
    library_.Close();
    channel_ = 0;
    defaultGroup_ = -1;
}

bool CLinkora::Load() {
    if (fn_.loaded) return true;
    std::string error;
    if (!library_.Open(fileName_, &error)) {
        lastResult_ = kLibraryMissing;
        owner_.SetError(kLibraryMissing, "error loading " + fileName_);
        return false;
    }
    std::string missing;
    if (!Bind(&missing)) {
        Unload();
        lastResult_ = kLibraryMissing;
        owner_.SetError(kLibraryMissing,
                        "function missing in " + fileName_ + ", please update Linkora library");
        return false;
    }
    fn_.loaded = true;
    return true;
}

int CLinkora::Probe() {
    if (fn_.loaded) return 2;
    std::string error;
    if (!library_.Open(fileName_, &error)) return 0;
    std::string missing;
    const int result = Bind(&missing) ? 2 : 1;
    Unload();
    return result;
}

std::string CLinkora::Definition() const {
    std::string host = platform::HostName();
    if (host.empty()) host = "localhost";
    return EngineFormat("TCP/IP %s:TCP/IP 0:TCP/IP %d.%d.%d.%d:%s %d:NodeID %d", host.c_str(),
                        (address >> 24) & 0xFF, (address >> 16) & 0xFF, (address >> 8) & 0xFF, address & 0xFF,
                        GetBusTypeName(static_cast<int>(busType)).c_str(), busNumber, nodeId);
}

bool CLinkora::Connect() {
    if (!Load()) return false;
    const std::string definition = Definition();
    const int32_t id = fn_.ChannelCreate(definition.c_str());
    if (id < 0) {
        lastResult_ = id;
        lastError_ = "Error creating '" + definition + "' channel";
        owner_.SetError(id, lastError_);
        return false;
    }
    channel_ = id;
    fn_.ChannelDefault(channel_);
    // The library's network notices go to the engine's owner window.
    if (fn_.ChannelSetOwnerWindow && owner_.OwnerWindow())
        fn_.ChannelSetOwnerWindow(channel_, owner_.OwnerWindow(), &PostToOwner);
    lastResult_ = fn_.ChannelConnect(channel_);
    if (lastResult_ != 0) {
        lastError_ = GetLastErrorText();
        if (lastError_.empty()) lastError_ = "Error connecting '" + definition + "' channel";
        DropChannel();
        owner_.SetError(lastResult_, lastError_);
        return false;
    }
    return true;
}

bool CLinkora::CheckConnection() {
    if (channel_ < 1) return Connect();
    if (!fn_.loaded) {
        lastResult_ = kNotLoaded;
        return false;
    }
    lastResult_ = fn_.ChannelStatus(channel_, nullptr);
    return lastResult_ == 0;
}

bool CLinkora::IsConnected() {
    return fn_.loaded && channel_ >= 1 && fn_.ChannelStatus(channel_, nullptr) == 0;
}

void CLinkora::DropChannel() {
    if (!fn_.loaded || channel_ < 1) return;
    // The default group belongs to the channel and goes with it.
    defaultGroup_ = -1;
    fn_.ChannelDisconnect(channel_);
    fn_.ChannelDestroy(channel_);
    channel_ = 0;
}

std::string CLinkora::GetLastErrorText() {
    if (!fn_.loaded) return {};
    BSTR text = nullptr;
    if (fn_.GetLastErrorStr(&text, channel_) != 0) {
        SysFreeString(text);
        return {};
    }
    return TakeBstr(text);
}

int CLinkora::ReportError(const std::string& prefix) {
    std::string text;
    if (fn_.loaded) {
        BSTR b = nullptr;
        uint32_t detail = 0;
        if (fn_.GetErrorDetails(static_cast<uint32_t>(lastResult_), &b, &detail, channel_) == 0)
            text = TakeBstr(b);
        else
            SysFreeString(b);
    }
    if (text.empty()) text = EngineFormat("Error 0x%X", static_cast<unsigned>(lastResult_));
    lastError_ = prefix + ": " + text;
    return owner_.SetError(lastResult_, lastError_);
}

std::string CLinkora::GetItemAddress(const VocabularyItem& item) {
    std::string text;
    if (busType == 1) {
        if (item.modbusAddress != 0) text = EngineFormat("%u", item.modbusAddress);
    } else if (item.busIndex != 0) {
        text = EngineFormat("%x.%x", item.busIndex, item.busSubIndex);
    }
    if (text.empty())
        owner_.SetError(engine_code::kCellNotFound, EngineFormat("Can cell '%s' not found", ""));
    return text;
}

void CLinkora::RemoveDefaultGroup() {
    if (defaultGroup_ < 0) return;
    if (fn_.loaded) fn_.GroupRemove(channel_, defaultGroup_);
    defaultGroup_ = -1;
}

int CLinkora::EnsureDefaultGroup() {
    if (!fn_.loaded) return kNotLoaded;
    if (defaultGroup_ < 0) {
        const int32_t g = fn_.GroupCreate(channel_, nullptr, nullptr);
        if (g < 0) return g;
        defaultGroup_ = g;
    }
    return 0;
}

int CLinkora::ReadWords(const char* const* names, int count, uint16_t* values, uint32_t* status,
                        uint32_t preset) {
    if (const int rc = EnsureDefaultGroup(); rc != 0) return rc;
    fn_.VariableRemoveAll(defaultGroup_);
    for (int i = 0; i < count; ++i) {
        status[i] = preset;
        fn_.VariableAdd(channel_, defaultGroup_, names[i], 0, &values[i], 2, nullptr, &status[i], nullptr);
    }
    const int rc = fn_.GroupExecute(channel_, defaultGroup_, 0, 0);
    // The library writes through these pointers on every run: they leave the group now.
    fn_.VariableRemoveAll(defaultGroup_);
    return rc;
}

int CLinkora::FailIdentification(int code) {
    RemoveDefaultGroup();
    owner_.SetError(kUnknownNode, kUnknownNodeText);
    return code;
}

int CLinkora::ConnectNode(CCompatChecker& checker, int32_t* channelOut, NodeIdentRecord& node, uint32_t* kind,
                          uint8_t* flag, uint32_t* build) {
    if (!CheckConnection()) return lastResult_ != 0 ? lastResult_ : owner_.ErrorCode();
    if (channelOut) *channelOut = channel_;
    if (build) *build = 0;
    if (const int rc = EnsureDefaultGroup(); rc != 0) return FailIdentification(rc);

    const char* first[] = {"5FF2.01", "5FFD.0E"};
    uint16_t head[2] = {0xFFFF, 0};
    uint32_t headStatus[2] = {};
    if (const int rc = ReadWords(first, 2, head, headStatus, 0); rc != 0) return FailIdentification(rc);
    if (headStatus[1] != 0 || head[1] != kVendorCode) {
        RemoveDefaultGroup();
        EngineDebugLog("It is not a Varno product");
        owner_.SetError(kUnknownNode, kUnknownNodeText);
        return kUnknownNode;
    }

    if (headStatus[0] != 0 || head[0] == 0xFFFF) {
        const char* legacy[] = {"5FFB.01", "5FFD.04", "5FFD.0C", "5FFB.02", "5FFD.07",
                                "5FFD.0D", "5FFD.0B", "5FFD.0A", "5FFD.01"};
        uint16_t v[9] = {};
        uint32_t st[9] = {};
        int rc = ReadWords(legacy, 9, v, st, 0);
        for (int i = 0; i < 9 && rc == 0; ++i)
            if (st[i] != 0) rc = static_cast<int>(st[i]);
        if (rc != 0) return FailIdentification(rc);
        const uint16_t bootCode = v[0], bootVersion = v[1], bootBuild = v[2], fwCode = v[3], fwVersion = v[4],
                       fwBuild = v[5], kindWord = v[6], hwCode = v[7], hwVersion = v[8];
        node.hardwareCode = hwCode;
        if (kindWord >= 2) {
            if (kind) *kind = 2;
            node.firmwareCode = fwCode;
            node.firmwareVersion = fwVersion;
            checker.InitFromLegacy(hwCode, hwVersion, fwCode, fwVersion, fwBuild, bootCode, bootVersion,
                                   bootBuild);
            if (build) *build = fwBuild;
        } else {
            if (kind) *kind = 1;
            node.firmwareCode = bootCode;
            node.firmwareVersion = bootVersion;
            checker.InitFromLegacy(hwCode, hwVersion, bootCode, bootVersion, bootBuild, bootCode, bootVersion,
                                   bootBuild);
            if (build) *build = bootBuild;
        }
    } else {
        char software[kTextBytes + 1] = {};
        char hardware[kTextBytes + 1] = {};
        int n = 0;
        int rs = fn_.Read("0x100A.00", software, kTextBytes, 0, 1, &n);
        int rh = rs == 0 || rs == 7 ? fn_.Read("0x1009.00", hardware, kTextBytes, 0, 1, &n) : rs;
        std::string error;
        if ((rs == 0 || rs == 7) && (rh == 0 || rh == 7))
            error = checker.InitFromText(hardware, software, this, &CLinkora::VersionBrowse,
                                         &CLinkora::ReadIdentityBlock);
        else
            error = checker.InitFromDevice(this, &CLinkora::VersionBrowse, &CLinkora::ReadIdentityBlock);
        const CIdentity& hw = checker.GetHardwareIdentity();
        node.hardwareCode = static_cast<uint32_t>(hw.code);
        if (hw.IsValid() && hw.version.minor == 0 && hw.version.patch == 0) {
            const char* name[] = {"5FFD.01"};
            uint16_t major = 0;
            uint32_t st = 0;
            if (ReadWords(name, 1, &major, &st, 0) == 0 && st == 0 && major != 0)
                checker.SetHardwareMajorOnly(major);
        }
        const CIdentity& fw = checker.GetFirmwareIdentity();
        if (fw.IsValid()) {
            node.firmwareCode = static_cast<uint32_t>(fw.code);
            node.firmwareVersion = static_cast<uint32_t>(fw.version.major);
            if (kind) *kind = 2;
            if (build && fw.version.preState != 0) *build = fw.version.preNumber;
        }
        const CIdentity& boot = checker.GetBootIdentity();
        if (boot.IsValid() && boot.version.minor == 0 && boot.version.patch == 0) {
            const char* name[] = {"5FFD.04"};
            uint16_t major = 0;
            uint32_t st = 0;
            if (ReadWords(name, 1, &major, &st, 0) == 0 && st == 0 && major != 0)
                checker.SetBootMajorOnly(major);
        }
        if (!fw.IsValid() && boot.IsValid()) {
            // A boot loader alone: its identity is the running one.
            node.firmwareCode = static_cast<uint32_t>(boot.code);
            node.firmwareVersion = static_cast<uint32_t>(boot.version.major);
            if (kind) *kind = 1;
        }
        if (!fw.IsValid() && !boot.IsValid() && !error.empty()) {
            owner_.SetError(kUnknownNode, error);
            RemoveDefaultGroup();
            return kUnknownNode;
        }
    }
    if (flag) *flag = 0;
    RemoveDefaultGroup();
    lastResult_ = 0;
    return 0;
}

void CLinkora::VersionBrowse(std::string& errorText, void* context, int command, int parameter,
                             int* response) {
    auto& self = *static_cast<CLinkora*>(context);
    errorText.clear();
    if (const int rc = self.EnsureDefaultGroup(); rc != 0) {
        errorText = EngineFormat("Errore scrittura VersionBrowseCommand %d: %d (0x%x)", command, rc, 0);
        return;
    }
    auto& fn = self.fn_;
    const int32_t g = self.defaultGroup_;
    fn.VariableRemoveAll(g);
    uint16_t param = static_cast<uint16_t>(parameter);
    uint16_t cmd = static_cast<uint16_t>(command);
    uint32_t paramStatus = 0, cmdStatus = 0;
    if (parameter != -1)
        fn.VariableAdd(self.channel_, g, "5FF2.03", 1, &param, 2, nullptr, &paramStatus, nullptr);
    fn.VariableAdd(self.channel_, g, "5FF2.02", 1, &cmd, 2, nullptr, &cmdStatus, nullptr);
    const int rc = fn.GroupExecute(self.channel_, g, 0, 0);
    fn.VariableRemoveAll(g);
    if (rc != 0 || cmdStatus != 0) {
        errorText =
            EngineFormat("Errore scrittura VersionBrowseCommand %d: %d (0x%x)", command, rc, cmdStatus);
        return;
    }
    if (parameter != -1 && paramStatus != 0) {
        errorText = EngineFormat("Errore scrittura VersionBrowseParameter: 0x%x", paramStatus);
        return;
    }
    if (!response || *response == -1) return;
    const char* name[] = {"5FF2.04"};
    uint16_t value = 0;
    uint32_t status = 0;
    const int r = self.ReadWords(name, 1, &value, &status, 0);
    if (r == 0 && status == 0)
        *response = Sign16(value);
    else
        errorText = EngineFormat("Errore lettura VersionBrowseResponse: %d (0x%x", r, status);
}

void CLinkora::ReadIdentityBlock(std::string& errorText, void* context, uint32_t* code, uint32_t* major,
                                 uint32_t* minor, uint32_t* patch, uint32_t* preState, uint32_t* preNumber) {
    auto& self = *static_cast<CLinkora*>(context);
    errorText.clear();
    const char* names[] = {"5FF3.01", "5FF3.02", "5FF3.03", "5FF3.04", "5FF3.05", "5FF3.06"};
    const char* labels[] = {"IdentityCode",         "IdentityVersionMajor",    "IdentityVersionMinor",
                            "IdentityVersionPatch", "IdentityPreReleaseState", "IdentityPreReleaseVersion"};
    uint16_t v[6] = {};
    uint32_t st[6] = {};
    const int rc = self.ReadWords(names, 6, v, st, 1);
    if (rc != 0) {
        errorText = EngineFormat("Error reading Identity block: %d", rc);
        return;
    }
    for (int i = 0; i < 6; ++i) {
        if (st[i] != 0) {
            errorText = EngineFormat("Error reading '%s': 0x%x", labels[i], st[i]);
            return;
        }
    }
    if (code) *code = v[0];
    if (major) *major = static_cast<uint32_t>(Sign16(v[1]));
    if (minor) *minor = static_cast<uint32_t>(Sign16(v[2]));
    if (patch) *patch = static_cast<uint32_t>(Sign16(v[3]));
    if (preState) *preState = v[4];
    if (preNumber) *preNumber = static_cast<uint32_t>(Sign16(v[5]));
}

// ---- forwarders ------------------------------------------------------------------------------

int32_t CLinkora::Read(const std::string& name, void* buffer, int size, int mode, int* transferred,
                       int timeout) {
    return fn_.loaded ? fn_.Read(name.c_str(), buffer, size, timeout, mode, transferred) : kNotLoaded;
}
int32_t CLinkora::Write(const std::string& name, const void* buffer, int size, int timeout, int mode,
                        int* transferred) {
    // The library only reads a written buffer.
    return fn_.loaded ? fn_.Write(name.c_str(), const_cast<void*>(buffer), size, timeout, mode, transferred)
                      : kNotLoaded;
}
int32_t CLinkora::CheckReadWrite(int32_t handle, uint32_t* value) {
    return fn_.loaded ? fn_.CheckReadWrite(handle, value) : kNotLoaded;
}
int32_t CLinkora::ChannelStatus(uint32_t* status) {
    return fn_.loaded ? fn_.ChannelStatus(channel_, status) : kNotLoaded;
}
int32_t CLinkora::ChannelReset(int mode) {
    return fn_.loaded ? fn_.ChannelReset(channel_, mode) : kNotLoaded;
}
int32_t CLinkora::GroupCreate(LinkoraGroupCallback callback, void* context) {
    return fn_.loaded ? fn_.GroupCreate(channel_, callback, context) : kNotLoaded;
}
int32_t CLinkora::GroupRemove(int32_t group) {
    return fn_.loaded ? fn_.GroupRemove(channel_, group) : kNotLoaded;
}
int32_t CLinkora::GroupRemoveAll() {
    if (!fn_.loaded) return kNotLoaded;
    defaultGroup_ = -1;
    return fn_.GroupRemoveAll(channel_);
}
int32_t CLinkora::GroupExecute(int32_t group, uint32_t cycle) {
    return fn_.loaded ? fn_.GroupExecute(channel_, group, 0, cycle) : kNotLoaded;
}
int32_t CLinkora::GroupStop(int32_t group) {
    return fn_.loaded ? fn_.GroupStop(channel_, group) : kNotLoaded;
}
int32_t CLinkora::VariableAdd(int32_t group, const std::string& name, int direction, void* value, int size,
                              uint32_t* status, int32_t* sizeOut) {
    return fn_.loaded ? fn_.VariableAdd(channel_, group, name.c_str(), direction, value, size, nullptr,
                                        status, sizeOut)
                      : kNotLoaded;
}
int32_t CLinkora::VariableAddValue(int32_t group, const std::string& name, int direction, void* value,
                                   uint32_t bus, uint32_t valueType, uint32_t* status, int32_t* sizeOut) {
    return fn_.loaded ? fn_.VariableAddValue(channel_, group, name.c_str(), direction, value, bus, valueType,
                                             nullptr, status, sizeOut)
                      : kNotLoaded;
}
int32_t CLinkora::VariableRemove(int32_t group, int32_t variable) {
    return fn_.loaded ? fn_.VariableRemove(group, variable) : kNotLoaded;
}
int32_t CLinkora::VariableRemoveAll(int32_t group) {
    return fn_.loaded ? fn_.VariableRemoveAll(group) : kNotLoaded;
}

}  // namespace engine
