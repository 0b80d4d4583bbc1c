#include "drive/QdsWnd.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "drive/Qd.h"
#include "engine/Channel.h"
#include "engine/EngineCodes.h"
#include "engine/Main.h"
#include "engine/MainApi.h"
#include "foundation/BrandList.h"
#include "foundation/CompatChecker.h"
#include "foundation/LogFile.h"
#include "foundation/MessageIds.h"
#include "foundation/ProgramFolders.h"
#include "foundation/XmlAttribute.h"
#include "foundation/XmlDocument.h"
#include "platform/CodePage.h"
#include "platform/Prompt.h"
#include "platform/bstr/Bstr.h"

namespace drive {

using namespace foundation;

namespace {

// The engine reports its node lock time-out as "node busy": only that is worth another try.
template <typename Call>
int RetryWhileNodeBusy(int calls, Call call) {
    int code = call();
    for (int made = 1; code == engine::engine_code::kNodeBusy && made < calls; ++made) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        code = call();
    }
    return code;
}

constexpr const char* kClientName = "Orvalis";
constexpr const char* kIdentityFormat = "<xml Hw=\"%lu\" Sw=\"%lu\" SwRev=\"%lu\" build=\"%lu\"/>";

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && Lower(a) == Lower(b);
}

// The number after a keyword: blanks skipped, digits up to the first other character.
long NumberAfter(const std::string& text, size_t at) {
    return std::atol(text.c_str() + at);
}

// Position right after the first occurrence of the keyword after the colon, or npos.
size_t KeywordValue(const std::string& text, size_t colon, const char* keyword) {
    const size_t at = text.find(keyword, colon + 1);
    return at == std::string::npos ? at : at + std::strlen(keyword);
}

// A dotted IPv4 address packed with its first number in the most significant byte; 0 when the
// text is not one.
uint32_t ParseIpv4(const char* text) {
    while (*text == ' ') ++text;
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (std::sscanf(text, "%u.%u.%u.%u", &a, &b, &c, &d) != 4 || a > 255 || b > 255 || c > 255 || d > 255)
        return 0;
    return (a << 24) | (b << 16) | (c << 8) | d;
}

// An unsigned 32-bit attribute (IPv4 addresses use the top bit), also when written signed.
uint32_t AttributeU32(const CXmlNode& node, const char* name, uint32_t defaultValue) {
    const CXmlAttribute* attribute = node.FindAttribute(name);
    if (!attribute) return defaultValue;
    return static_cast<uint32_t>(std::strtoll(attribute->Value().c_str(), nullptr, 10));
}

std::string IdentityText(const CConnectionRecord& r) {
    char text[160];
    std::snprintf(text, sizeof text, kIdentityFormat, static_cast<unsigned long>(r.hw),
                  static_cast<unsigned long>(r.sw), static_cast<unsigned long>(r.swRev),
                  static_cast<unsigned long>(r.build));
    return text;
}

std::string TakeBstr(BSTR text) {
    std::string out = text ? platform::Utf8FromBstr(text) : std::string();
    SysFreeString(text);
    return out;
}

std::string Cut(const std::string& text, size_t bytes) {
    return text.substr(0, platform::Utf8SafeCut(text, bytes));
}

void Box(const std::string& text, const std::string& caption, unsigned icon) {
    platform::Prompts().MessageBox(text, caption, platform::MB_OK | icon);
}

// The engine's channel kind, or -1 for a kind the connection window does not know.
int KindOfEngineChannel(const engine::CChannelInfo& info) {
    return info.kind;
}

}  // namespace

void _CHANNELINFO::SetName(const std::string& text) {
    name.fill('\0');
    const size_t n = platform::Utf8SafeCut(text, kNameSize - 1);
    std::memcpy(name.data(), text.data(), n);
}

CQdsWnd::CQdsWnd(CQd* drive, platform::WindowHandle owner)
    : drive_(drive), owner_(owner), parameters_(std::make_unique<CXmlDocument>()) {
    // The handle exists before the engine: the engine posts its notices to it.
    handle_ = platform::RegisterSink(this);
    CreateEngine();
}

CQdsWnd::~CQdsWnd() {
    // No notice may arrive while the engine goes.
    platform::UnregisterSink(handle_);
    channels_.clear();
    if (api_ && api_->EngineCreated()) {
        api_->Engine()->StopCyclicThread();
        api_->ChannelClose(-2);
    }
    api_.reset();
}

engine::CMain* CQdsWnd::Engine() {
    return api_ ? api_->Engine() : nullptr;
}

int CQdsWnd::CreateEngine() {
    if (api_) return 0;
    api_ = std::make_unique<engine::CMainApi>(handle_);
    if (!api_->EngineCreated()) {
        Box(api_->CreationError(), kProgramName, platform::MB_ICONERROR);
        api_.reset();
        return -2;
    }
    return 0;
}

void CQdsWnd::RefreshChannelList() {
    channels_.clear();
    engine::CMain* engine = Engine();
    if (!engine) return;
    engine::CChannelInfo info;
    if (engine->CreateChannels(info) != 0) return;
    do {
        if (!info.present) continue;
        const int kind = KindOfEngineChannel(info);
        // A channel of a kind the dialogs do not know cannot be configured: leave it out rather
        // than give it the type of its neighbour.
        if (kind < 0) {
            DebugLog().Write("channel '" + info.name + "' of an unsupported kind left out");
            continue;
        }
        _CHANNELINFO entry;
        entry.index = static_cast<uint32_t>(info.index);
        entry.SetName(info.name);
        entry.type = static_cast<uint16_t>(kind);
        entry.flag = info.available;
        entry.present = info.present;
        channels_.push_back(entry);
    } while (engine->GetNextChannel(info));
}

bool CQdsWnd::ParseConnectionString(std::string& text) {
    text = Lower(text);
    const size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0) return false;
    const std::string port = text.substr(0, colon);

    const _CHANNELINFO* channel = nullptr;
    for (const _CHANNELINFO& c : channels_)
        if (EqualNoCase(c.Name(), port)) {
            channel = &c;
            break;
        }
    if (!channel) {
        lastMessage_ = "'" + port + "' port not found";
        return false;
    }
    record_.channelName = channel->Name();
    record_.channelIndex = channel->index;
    record_.channelType = channel->type;

    auto value = [&](const char* keyword, auto apply) {
        const size_t at = KeywordValue(text, colon, keyword);
        if (at != std::string::npos) apply(at);
    };
    if (port == "linkora") {
        value("tcpip", [&](size_t at) { record_.bridgeAddress = ParseIpv4(text.c_str() + at); });
        value("can", [&](size_t at) {
            record_.bridgeSubnet = 2;
            record_.bridgeSubnetId = static_cast<uint16_t>(NumberAfter(text, at));
        });
        value("node", [&](size_t at) {
            record_.bridgeNodeId = static_cast<uint16_t>(NumberAfter(text, at));
            // The node the connect asks the channel for.
            record_.firstNode = record_.lastNode = static_cast<uint8_t>(record_.bridgeNodeId);
        });
    } else if (port.rfind("com", 0) == 0) {
        value("rate", [&](size_t at) { record_.baudRate = static_cast<uint32_t>(NumberAfter(text, at)); });
        value("node", [&](size_t at) { record_.firstNode = static_cast<uint8_t>(NumberAfter(text, at)); });
        value("parity", [&](size_t at) { record_.parity = static_cast<uint8_t>(NumberAfter(text, at)); });
        value("stopbit", [&](size_t at) { record_.stopBits = static_cast<uint8_t>(NumberAfter(text, at)); });
        value("bytesize", [&](size_t at) { record_.byteSize = static_cast<uint8_t>(NumberAfter(text, at)); });
        record_.lastNode = record_.firstNode;
    }
    value("timeout", [&](size_t at) { record_.timeout = static_cast<uint16_t>(NumberAfter(text, at)); });
    record_.flags &= static_cast<uint8_t>(~0x02);
    record_.nodesToSearch = 1;
    return text.find("confirm", colon + 1) == std::string::npos;
}

int CQdsWnd::SelectStoredChannel() {
    return api_->SelectChannel(static_cast<int>(record_.channelIndex));
}

int CQdsWnd::ConfigureChannel() {
    engine::CChannelSettings s;
    const CConnectionRecord& r = record_;
    switch (r.channelType) {
        case connection_kind::kSerial:
            s.words[0] = r.baudRate;
            s.words[1] = r.parity | (uint32_t{r.byteSize} << 8) | (uint32_t{r.stopBits} << 16) |
                         (uint32_t{(r.flags & 0x02) ? 3u : 0u} << 24);
            s.words[2] = r.timeout;
            break;
        case connection_kind::kFurther2:
            s.words[0] = r.baudRate;
            s.words[1] = r.timeout;
            break;
        case connection_kind::kLibrary:
            s.words = {r.bridgeAddress, r.bridgeSubnet, r.bridgeSubnetId, r.bridgeNodeId, r.timeout, 0, 0};
            break;
        case connection_kind::kBridge:
            s.words = {r.bcAddress, r.bcSubnet, r.bcSubnetId, r.bcNodeId, r.bcTimeout, 0, 0};
            break;
        case connection_kind::kTwinCat:
            for (size_t i = 0; i < 6; ++i) s.words[i / 4] |= uint32_t{r.amsNetId[i]} << (8 * (i % 4));
            s.words[1] |= uint32_t{r.bcNodeId} << 16;
            s.words[2] = r.bcTimeout;
            break;
        case connection_kind::kBox:
            // The box driver takes its answer time-out and its TCP port; the node is the
            // connect's.
            s.words[0] = r.bcAddress;
            s.words[1] = r.bcTimeout;
            s.words[2] = r.boxPort;
            break;
        default:
            break;
    }
    return api_->ChannelConfigure(s);
}

int CQdsWnd::Connect(CCompatChecker& identity, CXmlDocument* configuration, bool automatic) {
    if (handle_ == 0) return 4;
    if (!api_) return 5;
    engine::CMain& engine = *api_->Engine();
    RefreshChannelList();
    offline_ = 0;

    for (;;) {
        int result = 1;
        if (automatic && pendingConnection_.empty()) {
            if (SelectStoredChannel() != 0) return 6;
            offline_ = record_.channelType == connection_kind::kOffline ? 1 : 0;
            automatic = false;
        } else {
            bool parsed = false;
            if (!pendingConnection_.empty()) {
                std::string text;
                text.swap(pendingConnection_);
                parsed = ParseConnectionString(text);
            }
            if (!parsed) {
                result = connectDialog_ ? connectDialog_->Run(channels_, record_) : 2;
                if (result == 2) return 2;
                if (result == 8) return 7;
            }
            SelectStoredChannel();
            if (result == -1 || result == -2) {
                engine::CChannelSettings s;
                if (result == -1)
                    s.words = {record_.bcAddress,
                               record_.bcSubnet,
                               record_.bcSubnetId,
                               record_.bcNodeId,
                               record_.bcTimeout,
                               0,
                               0};
                else
                    for (size_t i = 0; i < 6; ++i)
                        s.words[i / 4] |= uint32_t{record_.amsNetId[i]} << (8 * (i % 4));
                const int open = api_->ChannelOpen(s, owner_);
                if (open == 8) return 7;
                if (open != 1) continue;
                engine::CChannelSettings back;
                api_->GetChannelConfig(back);
                if (result == -1 && record_.channelType == connection_kind::kBridge) {
                    record_.bcSubnet = static_cast<uint8_t>(back.words[1]);
                    record_.bcSubnetId = static_cast<uint8_t>(back.words[2]);
                    record_.bcNodeId = static_cast<uint16_t>(back.words[3]);
                    record_.bcTimeout = back.words[4];
                } else if (result == -2 && record_.channelType == connection_kind::kTwinCat) {
                    record_.bcNodeId = static_cast<uint16_t>(back.words[1] >> 16);
                }
            } else {
                offline_ = record_.channelType == connection_kind::kOffline ? 1 : 0;
                if (record_.channelType >= 1 && record_.channelType <= 7 && ConfigureChannel() != 0) {
                    Box("error on ChannelConfigure()", "New Connection", platform::MB_ICONERROR);
                    return 6;
                }
                if (record_.channelType == connection_kind::kOffline && record_.hw == 0 &&
                    record_.parametersFile.empty())
                    return -5;
            }
        }

        std::string answer;
        if (offline_ == 0) {
            BSTR text = nullptr;
            uint32_t address = 0;
            const int rc = engine.NodeConnect(identity, &text, &address, record_.firstNode,
                                              static_cast<int>(record_.channelIndex));
            answer = TakeBstr(text);
            if (rc != 0) {
                const std::string error = Cut(engine.ErrorText(), 300);
                api_->ChannelClose(-1);
                if (rc != engine::engine_code::kNoVocabulary)
                    Box("Error connecting the node:\r\n\r\n" + error, "New Connection",
                        platform::MB_ICONWARNING);
                if (!connectDialog_) return rc;  // nobody to ask again
                continue;
            }
        } else {
            std::string message;
            if (!record_.parametersFile.empty() && parameters_->Load(record_.parametersFile) == S_OK)
                ReadParamFileDevice(message, *parameters_, identity);
            if (!CIdentity::IsValidCode(identity.GetFirmwareIdentity().code)) {
                CIdentity hardware;
                hardware.Set(static_cast<int32_t>(record_.hw), 1, 0, 0, 0);
                identity.GetHardwareIdentity() = hardware;
            }
            const std::string id = message.empty() ? IdentityText(record_) : message;
            BSTR text = platform::BstrFromUtf8(id);
            const int rc = engine.NodeConnectOffline(identity, &text, record_.firstNode, 0);
            answer = TakeBstr(text);
            if (rc != 0) return rc;
        }
        CXmlDocument own;
        const int rc = FinishConnect(identity, configuration ? *configuration : own, answer, false);
        if (rc == 0) return 0;
        if (!connectDialog_) return rc;
    }
}

int CQdsWnd::FinishConnect(CCompatChecker&, CXmlDocument& configuration, const std::string& answer,
                           bool offlineConnect) {
    engine::CMain& engine = *api_->Engine();
    if (SelectBrandFromXml(answer, GetBrandList()) && drive_) drive_->MotorDatabase().ClearMotorDatabase();
    configuration.LoadXml(answer);
    CXmlNode* client = nullptr;
    if (CXmlNode* list = configuration.Root().FindNode("ClientList")) {
        for (CXmlNode* c = list->FindFirstChild("Client"); c; c = list->FindNextChild())
            if (c->GetAttribute("name") == kClientName) {
                client = c;
                break;
            }
    }
    if (!client) {
        if (offlineConnect) return 1;
        Box("Bad configuration file. Unknown client name.", "Configuration file", platform::MB_ICONWARNING);
        return 1;
    }
    record_.hw = static_cast<uint32_t>(configuration.Root().GetAttributeInt("hw", 0));
    record_.sw = static_cast<uint32_t>(configuration.Root().GetAttributeInt("sw", 0));
    record_.swRev = static_cast<uint32_t>(configuration.Root().GetAttributeInt("sw_ver", 0));
    record_.build = static_cast<uint32_t>(configuration.Root().GetAttributeInt("build", 0));
    if (CXmlNode* description = configuration.Root().FindNode("Description"))
        record_.driveDescription = description->Value();
    engine.SelectNode(static_cast<uint8_t>(configuration.Root().GetAttributeInt("nodeId", record_.firstNode)),
                      -1);

    if (offline_ != 0) {
        if (parameters_->Root().Name().empty()) {
            const CXmlNode* parameters = client->FindNode("Data\\Parameters");
            const std::string name = parameters ? parameters->GetAttribute("Default") : std::string();
            const CBrand* brand = GetBrandList().GetCurrent();
            if (!name.empty() && brand) {
                const std::filesystem::path file = std::filesystem::path(brand->m_strFolder) / name;
                if (parameters_->Load(file) != S_OK) {
                    const std::string text = "Missing or wrong parameters file:" + file.string();
                    DebugLog().Write(text);
                    if (!offlineConnect) Box(text, "Connect", platform::MB_ICONWARNING);
                }
            }
        }
        if (!offlineConnect) {
            if (!parameters_->Root().Name().empty())
                engine.LoadNodeParameterFile(*parameters_, owner_);
            else
                Box("Offline mode is not completely supported for this firmware version", "Connect",
                    platform::MB_ICONWARNING);
        }
    }
    return 0;
}

int CQdsWnd::ConnectOffline(CCompatChecker& identity, int hardware, const CIdentity* software,
                            const std::string& parametersFile, CXmlDocument* configuration) {
    if (handle_ == 0) return 4;
    if (!api_) return 5;
    engine::CMain& engine = *api_->Engine();
    RefreshChannelList();
    offline_ = 1;
    record_.channelIndex = 0;
    record_.channelType = connection_kind::kOffline;
    record_.firstNode = 1;
    api_->SelectChannel(0);
    identity.Reset();
    parameters_ = std::make_unique<CXmlDocument>();

    if (!parametersFile.empty()) {
        std::string message;
        if (parameters_->Load(parametersFile) != S_OK) {
            message = "Missing or invalid parameters file format:\r\n" + parametersFile;
            parameters_ = std::make_unique<CXmlDocument>();
        } else {
            ReadParamFileDevice(message, *parameters_, identity);
            if (message.empty()) {
                record_.parametersFile = parametersFile;
                record_.userParamFile = false;
            } else {
                parameters_ = std::make_unique<CXmlDocument>();
            }
        }
        if (!message.empty()) Box(message, "Offline connection", platform::MB_ICONERROR);
    }
    if (!CIdentity::IsValidCode(identity.GetFirmwareIdentity().code) ||
        !CIdentity::IsValidCode(identity.GetHardwareIdentity().code)) {
        if (!software || !software->IsValid()) {
            Box("Invalid software product or parameters file", "Offline connection", platform::MB_ICONERROR);
            return 1;
        }
        CIdentity hw;
        hw.Set(hardware, 1, 0, 0, 0);
        identity.SetIdentities(*software, hw);
    }
    const CIdentity& fw = identity.GetFirmwareIdentity();
    CConnectionRecord probe = record_;
    probe.hw = static_cast<uint32_t>(identity.GetHardwareIdentity().code);
    probe.sw = static_cast<uint32_t>(fw.code);
    probe.swRev = static_cast<uint32_t>(std::max(fw.version.major, 0));
    probe.build = fw.version.preState != 0 ? fw.version.preNumber : 0;
    BSTR text = platform::BstrFromUtf8(IdentityText(probe));
    const int rc = engine.NodeConnectOffline(identity, &text, 1, 0);
    const std::string answer = TakeBstr(text);
    if (rc != 0) return rc;

    CXmlDocument own;
    CXmlDocument& doc = configuration ? *configuration : own;
    if (FinishConnect(identity, doc, answer, true) != 0) return 1;
    if (drive_) {
        drive_->Parameters().Clear();
        const int load = drive_->LoadConfiguration(doc);
        if (load != 0) return load;
    }
    if (!parameters_->Root().Name().empty()) engine.LoadNodeParameterFile(*parameters_, owner_);
    return 0;
}

int CQdsWnd::CloseNode(bool shutDown) {
    if (!api_) return 0;
    api_->Engine()->StopCyclicThread();
    api_->ChannelClose(shutDown ? -2 : -1);
    return 0;
}

std::string CQdsWnd::EngineErrorText() {
    if (cellPort_) return cellPort_->ErrorText();
    return api_ ? api_->Engine()->ErrorText() : std::string();
}

int CQdsWnd::CellResult(const char* name, int code, bool write) {
    lastCode_ = code;
    if (code == 0) {
        lastMessage_.clear();
        return 0;
    }
    const std::string engineText = Cut(EngineErrorText(), kMaxEngineText);
    char text[700];
    const char* format;
    switch (code) {
        case engine::engine_code::kNodeBusy:
        case -123:
            format = write ? "lock timeout error on '%s',(%d):%s" : "lock timeout on '%s',(%d):%s";
            break;
        case -124:
            format = "CAN card lock timeout on '%s',(%d):%s";
            break;
        case engine::engine_code::kNoModbusAddress:
            format = "Not available address on '%s',(%d):%s";
            break;
        case engine::engine_code::kCellNotFound:
            std::snprintf(text, sizeof text, "Internal error: cell '%s' not found", name);
            lastMessage_ = text;
            return code;
        default:
            format = write ? "Write error on '%s',(%d):%s" : "Read error on '%s',(%d):%s";
            break;
    }
    std::snprintf(text, sizeof text, format, name, code, engineText.c_str());
    lastMessage_ = text;
    return code;
}

int CQdsWnd::ReadCell(const char* name, uint32_t* value) {
    if (!cellPort_ && !api_) return CellResult(name, -1, false);
    const int code = RetryWhileNodeBusy(kLockRetries, [&] {
        return cellPort_ ? cellPort_->ReadCell(name, value) : api_->ReadCell(name, value);
    });
    return CellResult(name, code, false);
}

int CQdsWnd::WriteCell(const char* name, uint32_t value, uint32_t) {
    if (!cellPort_ && !api_) return CellResult(name, -1, true);
    const int code = RetryWhileNodeBusy(kLockRetries, [&] {
        return cellPort_ ? cellPort_->WriteCell(name, value) : api_->WriteCell(name, value);
    });
    return CellResult(name, code, true);
}

int CQdsWnd::GetVocabularyList(CXmlDocument& out) {
    if (CreateEngine() != 0) return -1;
    std::string text;
    const int count = api_->Engine()->VocabularyIndex().GetVocabularies(text);
    if (count <= 0) return count;
    if (out.LoadXml(text) != S_OK) return -1;
    return count;
}

void CQdsWnd::ReadParamFileDevice(std::string& message, CXmlDocument& file, CCompatChecker& identity) {
    message.clear();
    const CXmlNode* device = file.Root().FindNode("DEVICE");
    if (!device) {
        message = "Invalid parameters file: missing root node DEVICE";
        return;
    }
    if (const CXmlNode* components = device->FindNode("COMPONENTS")) {
        identity.LoadComponents(components);
        return;
    }
    const int32_t hw = device->GetAttributeInt("Hw", 0);
    const int32_t type = device->GetAttributeInt("Type", 0);
    const int32_t swRev = device->GetAttributeInt("SwRev", 0);
    CIdentity firmware;
    CXmlDocument list;
    if (GetVocabularyList(list) > 0) {
        const auto children = list.Root().Children();
        for (size_t i = children.size(); i-- > 0;) {
            const CXmlNode* entry = children[i];
            if (entry->GetAttributeInt("hw", -1) == hw && entry->GetAttributeInt("sw", -1) == type &&
                entry->GetAttributeInt("sw_ver", -1) == swRev) {
                firmware.ParseCompactText(entry->GetAttribute("pver"));
                break;
            }
        }
    }
    if (!firmware.IsValid())
        firmware.SetLegacy(type, swRev, static_cast<uint16_t>(device->GetAttributeInt("build", 0)), true);
    CIdentity hardware;
    hardware.Set(hw, device->GetAttributeInt("HwRev", 1), 0, 0, 0);
    identity.SetIdentities(firmware, hardware);
}

void CQdsWnd::LoadSettings(const CXmlNode& node) {
    CConnectionRecord& r = record_;
    r.driveDescription = node.GetAttribute("DriveDescription");
    r.hw = static_cast<uint32_t>(node.GetAttributeInt("Hw", 0));
    r.sw = static_cast<uint32_t>(node.GetAttributeInt("Sw", 0));
    r.swRev = static_cast<uint32_t>(node.GetAttributeInt("SwVer", 0));
    r.build = static_cast<uint32_t>(node.GetAttributeInt("Beta", 0));
    r.identity.Clear();
    r.identity.ParseCompactText(node.GetAttribute("pver"));
    r.parametersFile = node.GetAttribute("ParamFileName");
    r.userParamFile = node.GetAttributeBool("UserParamFileName", false);
    r.channelName = node.GetAttribute("ChannelName", "COM1");
    r.baudRate = static_cast<uint32_t>(node.GetAttributeInt("PcBaudRate", 57600));
    r.timeout = static_cast<uint16_t>(node.GetAttributeInt("PcTimeOut", 1000));
    r.firstNode = static_cast<uint8_t>(node.GetAttributeInt("FromNode", 1));
    r.lastNode = static_cast<uint8_t>(node.GetAttributeInt("ToNode", 1));
    r.nodesToSearch = static_cast<uint8_t>(node.GetAttributeInt("MaxNodesToSearch", 1));
    r.flags = static_cast<uint8_t>((r.flags & ~1u) | (node.GetAttributeInt("NotifyWrongXml", 1) ? 1u : 0u));
    r.bridgeAddress = AttributeU32(node, "BridgeIPAddress", 0);
    r.bridgeSubnet = static_cast<uint16_t>(node.GetAttributeInt("BridgeSubnet", 2));
    r.bridgeSubnetId = static_cast<uint16_t>(node.GetAttributeInt("BridgeSubnetId", 0));
    r.bridgeNodeId = static_cast<uint16_t>(node.GetAttributeInt("BridgeNodeId", 1));
    r.bcAddress = AttributeU32(node, "BcIPAddress", 0);
    r.bcSubnet = static_cast<uint8_t>(node.GetAttributeInt("BcSubnet", 2));
    r.bcSubnetId = static_cast<uint8_t>(node.GetAttributeInt("BcSubnetId", 1));
    r.bcNodeId = static_cast<uint16_t>(node.GetAttributeInt("BcNodeId", 1001));
    r.bcTimeout = static_cast<uint32_t>(node.GetAttributeInt("BcTimeout", 2000));
    const std::string ams = node.GetAttribute("EthAmsNetId", "0.0.0.0.0.0");
    std::array<unsigned char, 6> id{};
    if (std::sscanf(ams.c_str(), "%hhu.%hhu.%hhu.%hhu.%hhu.%hhu", &id[0], &id[1], &id[2], &id[3], &id[4],
                    &id[5]) == 6)
        std::copy(id.begin(), id.end(), r.amsNetId.begin());
}

void CQdsWnd::SaveSettings(CXmlNode& node) const {
    const CConnectionRecord& r = record_;
    auto setU = [&node](const char* name, uint32_t value) { node.SetAttribute(name, std::to_string(value)); };
    node.SetAttribute("DriveDescription", r.driveDescription);
    setU("Hw", r.hw);
    setU("Sw", r.sw);
    setU("SwVer", r.swRev);
    setU("Beta", r.build);
    node.SetAttribute("pver", r.identity.GetCompactText());
    node.SetAttribute("ParamFileName", r.parametersFile);
    node.SetAttribute("UserParamFileName", r.userParamFile ? "True" : "False");
    node.SetAttribute("ChannelName", r.channelName);
    setU("PcBaudRate", r.baudRate);
    setU("PcTimeOut", r.timeout);
    setU("FromNode", r.firstNode);
    setU("ToNode", r.lastNode);
    setU("MaxNodesToSearch", r.nodesToSearch);
    setU("NotifyWrongXml", r.flags & 1u);
    setU("BridgeIPAddress", r.bridgeAddress);
    setU("BridgeSubnet", r.bridgeSubnet);
    setU("BridgeSubnetId", r.bridgeSubnetId);
    setU("BridgeNodeId", r.bridgeNodeId);
    setU("BcIPAddress", r.bcAddress);
    setU("BcSubnet", r.bcSubnet);
    setU("BcSubnetId", r.bcSubnetId);
    setU("BcNodeId", r.bcNodeId);
    setU("BcTimeout", r.bcTimeout);
    char ams[32];
    std::snprintf(ams, sizeof ams, "%u.%u.%u.%u.%u.%u", r.amsNetId[0], r.amsNetId[1], r.amsNetId[2],
                  r.amsNetId[3], r.amsNetId[4], r.amsNetId[5]);
    node.SetAttribute("EthAmsNetId", ams);
}

bool CQdsWnd::StartNodeguardThread() {
    if (!api_) return false;
    if (api_->Engine()->NodeguardRunning()) return true;
    if (!api_->Engine()->StartNodeguard()) {
        Box("creating nodeguard thread", "error", platform::MB_ICONERROR);
        return false;
    }
    return true;
}

void CQdsWnd::OnMessage(const platform::Message& message) {
    if (message.msg == kEngineNotifyMessage) {
        OnEngineNotice(message.wParam, message.lParam);
    } else if (message.msg == kConnectionReconnectMessage) {
        const bool flag = record_.channelType != connection_kind::kLibrary;
        if (reconnect_) {
            reconnect_(flag);
        } else if (drive_) {
            drive_->ReconnectNode(flag);
        }
    } else if (message.msg == kGroupChangeMessage) {
        // Posted notices only: a non-zero lParam names no record this window may touch.
        if (message.lParam == 0 && drive_)
            drive_->OnEngineCellNotice(reinterpret_cast<const engine::CCellHolder*>(message.wParam));
    } else if (message.msg == kStatusGroupsRecreateMessage) {
        if (drive_) drive_->RecreateStatusGroups();
    } else if (message.msg == kDomainUploadMessage) {
        if (forwardWindow_ != 0 && forwardMessage_ != 0)
            platform::PostMessage(forwardWindow_, forwardMessage_, message.wParam, message.lParam);
    }
}

int CQdsWnd::ReconnectNode(CCompatChecker& identity) {
    if (!api_) return engine::engine_code::kNodeNotFound;
    engine::CMain& engine = *api_->Engine();
    engine.ClearError();
    BSTR text = nullptr;
    const int rc =
        engine.NodeReconnect(identity, &text, record_.firstNode, static_cast<int>(record_.channelIndex));
    const std::string answer = TakeBstr(text);
    lastCode_ = rc;
    if (rc == 0) {
        lastMessage_.clear();
        return 0;
    }
    lastMessage_ = Cut(engine.ErrorText(), kMaxEngineText);
    if (rc == engine::engine_code::kNodeNotDisconnected) return rc;
    if (rc != engine::engine_code::kNodeChanged) return engine::engine_code::kNodeNotFound;
    // Another drive answers at the address: the user decides whether to connect to it.
    CXmlDocument found;
    std::string what;
    if (found.LoadXml(answer) == S_OK) {
        char numbers[96];
        std::snprintf(numbers, sizeof numbers, " (sw %d, version %d)", found.Root().GetAttributeInt("sw", 0),
                      found.Root().GetAttributeInt("sw_ver", 0));
        what = numbers;
    }
    const int yes = platform::Prompts().MessageBox(
        "Another drive" + what +
            " answers at the address of the connected one.\nMake a new connection to it?",
        "Node changed", platform::MB_YESNO | platform::MB_ICONQUESTION);
    return yes == platform::IDYES ? engine::engine_code::kNodeChanged : -20;
}

void CQdsWnd::OnEngineNotice(uintptr_t code, intptr_t detail) {
    switch (code) {
        case 1:
            OnIndexProgress(detail);
            break;
        case 3:
            if (openDialog_ != 0 && platform::IsSinkRegistered(openDialog_))
                platform::PostMessage(openDialog_, platform::WM_CLOSE, 0, 0);
            break;
        case 4:
            if ((detail & 0x7F) == 1) platform::PostMessage(handle_, kConnectionReconnectMessage, 0, 0);
            break;
        case 1001:
        case 1002:
        case 1003:
            platform::PostMessage(handle_, kConnectionReconnectMessage, 0, 0);
            break;
        default:
            break;
    }
}

void CQdsWnd::OnIndexProgress(intptr_t detail) {
    const uint32_t word = static_cast<uint32_t>(detail);
    const uint32_t phase = word >> 30;
    const int32_t count = static_cast<int32_t>(word & 0x3FFFFFFF);
    switch (phase) {
        case 1:
            progress_.shown = true;
            progress_.title = "Building configuration files index.";
            progress_.text = "Scanning configuration files...";
            progress_.low = progress_.high = progress_.position = 0;
            progress_.barShown = true;
            break;
        case 2:
            progress_.low = ~count;  // -(n + 1)
            progress_.high = 0;
            break;
        case 3:
            progress_.position = -count;
            if (count == 0) progress_ = CIndexProgress{};
            break;
        default:
            break;
    }
}

void ReadParamFileIdentity(std::string& description, const std::string& filePath, CCompatChecker* identity,
                           std::string& identityText) {
    description.clear();
    identityText.clear();
    CXmlDocument file;
    if (file.Load(filePath) != S_OK) return;
    const int32_t version = file.Root().GetAttributeInt("Version", 1);
    const CXmlNode* device = file.Root().FindNode("DEVICE");
    if (!device) return;
    char text[400];
    std::snprintf(text, sizeof text, "%s Ver.%d", device->GetAttribute("Descr").c_str(),
                  device->GetAttributeInt("SwRev", 0));
    description = text;
    const int hw = device->GetAttributeInt("Hw", 0), hwRev = device->GetAttributeInt("HwRev", 0);
    const int swRev = device->GetAttributeInt("SwRev", 0);
    if (version == 1) {
        std::snprintf(text, sizeof text, "<XML Hw=\"%d\" HwRev=\"%d\" Sw=\"%d\" SwRev=\"%d\"/>", hw, hwRev,
                      device->GetAttributeInt("Sw", 0), swRev);
        identityText = text;
        return;
    }
    const std::string build = Cut(device->GetAttribute("build"), 100);
    if (device->FindAttribute("build")) description += " build " + build;
    std::snprintf(text, sizeof text, "<XML Hw=\"%d\" HwRev=\"%d\" Sw=\"%d\" SwRev=\"%d\" build=\"%s\"/>", hw,
                  hwRev, device->GetAttributeInt("Type", 0), swRev, build.c_str());
    identityText = text;
    if (!identity) return;
    if (const CXmlNode* components = device->FindNode("FullComponents")) {
        identity->LoadComponents(components);
        const CIdentity& firmware = identity->GetFirmwareIdentity();
        if (firmware.IsValid()) {
            const std::string name = firmware.name.empty() ? device->GetAttribute("Descr") : firmware.name;
            description = name + " " + firmware.version.GetText();
        }
    }
}

}  // namespace drive
