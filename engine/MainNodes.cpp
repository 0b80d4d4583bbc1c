#include <algorithm>

#include "engine/EngineCodes.h"
#include "engine/EngineLog.h"
#include "engine/Main.h"
#include "engine/MainBackground.h"
#include "engine/NodeLock.h"
#include "engine/Vocabolario.h"
#include "engine/VocabularyItem.h"
#include "foundation/CompatChecker.h"
#include "foundation/XmlDocument.h"

using namespace foundation;

namespace engine {

using namespace engine_code;

namespace {

constexpr const char* kClientName = "Orvalis";
constexpr const char* kEndiannessItem = "Modbus.ActualChannel.Endianess";
constexpr const char* kErrorCodeItem = "Modbus.ActualChannel.ErrorCode";

BSTR XmlToBstr(CXmlDocument& doc) {
    BSTR text = nullptr;
    if (doc.GetXmlBstr(&text) != S_OK) return nullptr;
    return text;
}

// What a connection learns from identifying the device.
struct Identified {
    CNodeConnection record;
    int kind = 0;
    uint32_t wordOrder = 0;
    uint16_t build = 0;
    uint32_t address = 0;
    int channel = -1;
};

int Identify(CMain& m, CCompatChecker& checker, uint8_t nodeId, int channelIndex, Identified& out) {
    out.channel = channelIndex;
    return m.IdentifyNode(&out.address, nodeId, &out.channel, checker, &out.record, &out.kind, &out.wordOrder,
                          &out.build);
}

// The identity of a device that no vocabulary describes, as a connection hands it back.
BSTR BareIdentity(CMain& m, const Identified& id, bool markNotFound) {
    CXmlDocument doc;
    doc.Root().SetName("Node");
    m.BuildIdentityXml(doc.Root(), id.record, id.build, 0, nullptr, std::string());
    if (markNotFound) {
        doc.Root().SetAttributeInt("xmlFound", 0);
        doc.Root().SetAttributeInt("swOld", 0);
    }
    return XmlToBstr(doc);
}

// Holds the cyclic thread paused (when it runs) for a scope that changes the node table.
struct CCyclicPause {
    explicit CCyclicPause(CMain& m) : m(m), paused(m.PauseCyclicThread() == 0) {}
    ~CCyclicPause() {
        if (paused) m.ResumeCyclicThread();
    }
    CCyclicPause(const CCyclicPause&) = delete;
    CCyclicPause& operator=(const CCyclicPause&) = delete;
    CMain& m;
    bool paused;
};

}  // namespace

CNodo* CMain::Node(int slot) const {
    if (slot < 0 || slot >= kMaxNodes) return nullptr;
    return nodes_[slot].get();
}

CNodo* CMain::FindNodeQuiet(uint8_t nodeId, int channelIndex) const {
    for (int i = 0; i < nodeCount_; ++i)
        if (nodes_[i] && nodes_[i]->nodeId == nodeId && nodes_[i]->channelIndex == channelIndex)
            return nodes_[i].get();
    return nullptr;
}

CNodo* CMain::FindNodeByAddressQuiet(uint32_t address, int channelIndex) const {
    for (int i = 0; i < nodeCount_; ++i)
        if (nodes_[i] && nodes_[i]->address == address && nodes_[i]->channelIndex == channelIndex)
            return nodes_[i].get();
    return nullptr;
}

std::string CMain::ModbusErrorName() const {
    std::lock_guard<std::mutex> lock(nameMutex_);
    return modbusErrorName_;
}

int CMain::IdentifyNode(uint32_t* address, uint8_t nodeId, int* channelIndex, CCompatChecker& checker,
                        CNodeConnection* record, int* kind, uint32_t* wordOrder, uint16_t* build) {
    const int ch = *channelIndex == -1 ? currentChannel_.load() : *channelIndex;
    *channelIndex = ch;
    if (ch < 0 || ch >= channelCount_) return SetError(kWrongChannel, engine_text::kWrongChannel);
    CChannel* channel = channels_[ch].get();
    if (!channel) return SetError(kChannelSlotEmpty, engine_text::kChannelNotFound);
    if (!channel->driver) return SetError(kChannelNoDriver, engine_text::kChannelNotFound);
    if (!channel->present) return SetErrorCode(kNodeBusy);
    record->nodeId = nodeId;
    if (channel->type < 1 || channel->type > 8) return kNoIdentification;

    CIdentification found;
    found.connection.nodeId = nodeId;
    const int rc = channel->driver->Identify(nodeId, checker, found);
    if (rc != 0) {
        // The Modbus drivers leave their own text; the engine marks the node as not found.
        if (channel->type == channel_type::kSerial || channel->type == channel_type::kBox)
            SetErrorCode(kNodeNotFound);
        return rc;
    }
    *record = found.connection;
    record->nodeId = nodeId;
    *address = found.address;
    *kind = found.kind;
    *wordOrder = found.wordOrder;
    *build = found.build;

    if (!checker.HasDeviceLink()) {
        const CIdentity* software = checker.GetSoftwareIdentity();
        if (software && checker.GetBootIdentity().IsEqual(*software)) *kind = 1;
        return 0;
    }
    record->hardwareCode = static_cast<uint32_t>(checker.GetHardwareIdentity().code);
    const CIdentity& firmware = checker.GetFirmwareIdentity();
    const CIdentity& running = firmware.IsValid() ? firmware : checker.GetBootIdentity();
    record->softwareCode = static_cast<uint32_t>(running.code);
    record->softwareVersion = static_cast<uint32_t>(running.version.major);
    *kind = firmware.IsValid() ? 2 : 1;
    *build = running.version.preState > 0 ? static_cast<uint16_t>(running.version.preNumber) : 0;
    return 0;
}

int CMain::AddOrGetNode(uint32_t address, const CNodeConnection& record, uint16_t build, bool* created,
                        bool* changed, int channelIndex) {
    *created = false;
    *changed = false;
    const int existing = [&] {
        for (int i = 0; i < nodeCount_; ++i)
            if (nodes_[i] && nodes_[i]->channelIndex == channelIndex && nodes_[i]->address == address)
                return i;
        return -1;
    }();
    if (existing >= 0) {
        CNodo& node = *nodes_[existing];
        // The identity is changed only while the node is held, never under another user's feet.
        if (!node.Lock()) return kNodeLockFailed;
        if (node.hardwareCode != record.hardwareCode || node.softwareCode != record.softwareCode ||
            node.softwareVersion != record.softwareVersion || node.build != build) {
            *changed = true;
            node.nodeId = record.nodeId;
            node.hardwareCode = record.hardwareCode;
            node.softwareCode = record.softwareCode;
            node.softwareVersion = record.softwareVersion;
            node.build = build;
        }
        if ((node.guardState & 0x7F) == 1) node.guardState = CNodo::kGuardFresh;
        return existing;
    }

    int slot = -1;
    for (int i = 0; i < nodeCount_; ++i) {
        if (!nodes_[i]) {
            slot = i;
            break;
        }
    }
    if (slot < 0) slot = nodeCount_;
    if (slot >= kMaxNodes) return SetError(kTooManyNodes, engine_text::kTooManyNodes);
    auto node = std::make_unique<CNodo>(defaultGuardTimeMs, defaultLifeTimeFactor);
    // Nobody else knows the node yet, so a failed lock means the lock itself is broken: a node
    // that is not held must never be handed out as if it were.
    if (!node->Lock()) return SetError(kNodeBusy, engine_text::kNodeBusy);
    node->channelIndex = channelIndex;
    if (CChannel* channel = Channel(channelIndex)) ++channel->nodeCount;
    node->address = address;
    node->vocabularyIndex = -1;
    node->nodeId = record.nodeId;
    node->hardwareCode = record.hardwareCode;
    node->softwareCode = record.softwareCode;
    node->softwareVersion = record.softwareVersion;
    node->build = build;
    nodes_[slot] = std::move(node);
    nodeCount_ = std::max(nodeCount_, slot + 1);
    *created = true;
    return slot;
}

void CMain::ReleaseNewNode(CNodeLock held, int slot) {
    ForgetNode(*held);
    held.Unlock();
    nodes_[slot].reset();
    if (slot == nodeCount_ - 1) --nodeCount_;
}

int CMain::NodeConnect(CCompatChecker& checker, BSTR* description, uint32_t* address, uint8_t nodeId,
                       int channelIndex) {
    *address = 0;
    if (description) *description = nullptr;
    // The guard and the cyclic thread use the channel and read the node table on every pass:
    // both stand still while the device is identified and the table changes, so that nothing
    // shares the port with the identification and a node freed after a failed connection is in
    // nobody's hands; the guard runs on when the connection fails.
    const bool guardWasRunning = PauseNodeguard();
    const auto fail = [&](int code) {
        if (guardWasRunning) StartNodeguard();
        return code;
    };
    CCyclicPause cyclicPause(*this);
    if (!cyclicPause.paused) return fail(SetError(kCyclicNotPaused, engine_text::kCyclicNotPaused));
    Identified id;
    if (const int rc = Identify(*this, checker, nodeId, channelIndex, id); rc != 0) return fail(rc);
    const int ch = id.channel;
    bool created = false;
    bool changed = false;
    const int slot = AddOrGetNode(id.address, id.record, id.build, &created, &changed, ch);
    // A node held by another user cannot be connected: report it rather than a silent 0.
    if (slot == kNodeLockFailed) return fail(SetError(kNodeBusy, engine_text::kNodeBusy));
    if (slot < 0) return fail(slot);
    CNodo& node = *nodes_[slot];
    // AddOrGetNode hands the node over held.
    CNodeLock held = CNodeLock::Adopt(node);
    node.ClearValues();
    node.wordOrder = id.wordOrder;

    if (SelectVocabulary(checker, node) < 0) {
        if (description) *description = BareIdentity(*this, id, true);
        ReleaseNewNode(std::move(held), slot);
        return fail(kNoVocabulary);
    }

    held.Unlock();
    node.guardState = CNodo::kGuardFresh;
    node.guardArmed = 0;
    SelectNode(node.nodeId, ch);

    BSTR text = GetNodeDescription(node, id.kind);
    if (!text) return ErrorCode();
    if (description)
        *description = text;
    else
        SysFreeString(text);

    currentNodeAddress_ = id.address;
    *address = id.address;
    CChannel* channel = Channel(ch);
    if (channel && (channel->type == channel_type::kSerial || channel->type == channel_type::kBox)) {
        if (FindItem(node, kErrorCodeItem, channel->type)) {
            std::lock_guard<std::mutex> lock(nameMutex_);
            modbusErrorName_ = kErrorCodeItem;
        }
        if (const VocabularyItem* item = FindItem(node, kEndiannessItem, channel->type)) {
            uint32_t value = 0;
            if (ReadItem(false, *item, &value, node.nodeId, ch) == 0) node.wordOrder = value != 0 ? 1 : 0;
        }
    }
    return 0;
}

int CMain::NodeReconnect(CCompatChecker& checker, BSTR* description, uint8_t nodeId, int channelIndex) {
    if (description) *description = nullptr;
    // The identification shares the channel with the cyclic reads: they wait meanwhile.
    CCyclicPause cyclicPause(*this);
    if (!cyclicPause.paused) return SetError(kCyclicNotPaused, engine_text::kCyclicNotPaused);
    Identified id;
    if (const int rc = Identify(*this, checker, nodeId, channelIndex, id); rc != 0) return rc;
    const int ch = id.channel;
    int slot = -1;
    for (int i = 0; i < nodeCount_ && slot < 0; ++i)
        if (nodes_[i] && nodes_[i]->channelIndex == ch && nodes_[i]->address == id.address) slot = i;
    if (slot < 0) return SetError(kNodeNotDisconnected, engine_text::kNodeNotDisconnected);
    CNodo& node = *nodes_[slot];
    if (node.hardwareCode == id.record.hardwareCode && node.softwareCode == id.record.softwareCode &&
        node.softwareVersion == id.record.softwareVersion && node.build == id.build) {
        // Its guard fields change below: the guard must have ended, not merely been asked to.
        PauseNodeguard();
        node.guardState = CNodo::kGuardFresh;
        node.guardArmed = 0;
        node.simulated = 0;
        SelectNode(nodeId, ch);
        StartNodeguard();
        BSTR text = GetNodeDescription(node, id.kind);
        if (description)
            *description = text;
        else
            SysFreeString(text);
        currentNodeAddress_ = id.address;
        return 0;
    }
    if (description) *description = BareIdentity(*this, id, false);
    return SetError(kNodeChanged, engine_text::kNodeChanged);
}

int CMain::NodeConnectOffline(CCompatChecker& checker, BSTR* description, uint8_t nodeId, int channelIndex) {
    std::string text;
    if (description && *description) {
        text = platform::Utf8FromBstr(*description);
        SysFreeString(*description);
    }
    if (description) *description = nullptr;

    CXmlDocument doc;
    doc.LoadXml(text);
    const CXmlNode& root = doc.Root();
    CNodo probe(defaultGuardTimeMs, defaultLifeTimeFactor);
    probe.hardwareCode = static_cast<uint32_t>(root.GetAttributeInt("Hw", 0));
    probe.softwareCode = static_cast<uint32_t>(root.GetAttributeInt("Sw", 0));
    probe.softwareVersion = static_cast<uint32_t>(root.GetAttributeInt("SwRev", 0));
    probe.build = static_cast<uint16_t>(root.GetAttributeInt("build", 0));
    const bool hasBoot = root.FindAttribute("Boot") != nullptr;
    const int boot = root.GetAttributeInt("Boot", 0);

    const int vi = SelectVocabulary(checker, probe);
    if (vi < 0) return SetError(kNoVocabulary, engine_text::kVocabularyNotFound);
    CVocabolario& vocabulary = *Vocabulary(vi);

    const int ch = channelIndex == -1 ? currentChannel_.load() : channelIndex;
    // The table changes below: the cyclic thread stands still meanwhile (the guard leaves
    // simulated nodes alone but still walks the table).
    const bool guardWasRunning = PauseNodeguard();
    struct GuardRestart {
        CMain& m;
        bool run;
        ~GuardRestart() {
            if (run) m.StartNodeguard();
        }
    } guardRestart{*this, guardWasRunning};
    CCyclicPause cyclicPause(*this);
    if (!cyclicPause.paused) {
        if (vocabulary.users > 0) --vocabulary.users;
        return SetError(kCyclicNotPaused, engine_text::kCyclicNotPaused);
    }
    CNodeConnection record{nodeId, vocabulary.hw, vocabulary.sw, vocabulary.sw_ver};
    bool created = false;
    bool changed = false;
    const int slot = AddOrGetNode(1, record, vocabulary.build, &created, &changed, ch);
    if (slot < 0) {
        if (vocabulary.users > 0) --vocabulary.users;
        if (slot == kNodeLockFailed) return SetError(kNodeBusy, engine_text::kNodeBusy);
        return slot;
    }
    CNodo& node = *nodes_[slot];
    CNodeLock held = CNodeLock::Adopt(node);
    node.nodeId = nodeId;
    node.ClearValues();
    node.simulated = 1;
    if (hasBoot && boot < 2) node.SetValueWord("rd_sw_product_code", 1);
    if (vocabulary.ItemCount() == 0) vocabulary.Load();
    // The probe's binding already counted one user of the vocabulary: move it to the node.
    if (node.vocabularyIndex == vi) {
        if (vocabulary.users > 0) --vocabulary.users;
    } else if (CVocabolario* previous = Vocabulary(node.vocabularyIndex)) {
        if (previous->users > 0) --previous->users;
    }
    node.vocabularyIndex = vi;
    held.Unlock();

    BSTR out = GetNodeDescription(node, 0);
    if (!out) return ErrorCode();
    if (description)
        *description = out;
    else
        SysFreeString(out);
    currentNodeAddress_ = 1;
    return 0;
}

int CMain::FindNode(uint8_t nodeId, int channelIndex) {
    for (int i = 0; i < nodeCount_; ++i)
        if (nodes_[i] && nodes_[i]->nodeId == nodeId && nodes_[i]->channelIndex == channelIndex) return i;
    return SetError(kNodeNotFound, engine_text::kNodeNotFound);
}

int CMain::FindNodeByAddress(uint32_t address, int channelIndex) {
    for (int i = 0; i < nodeCount_; ++i)
        if (nodes_[i] && nodes_[i]->address == address && nodes_[i]->channelIndex == channelIndex) return i;
    return SetError(kNodeNotFound, engine_text::kNodeNotFound);
}

int CMain::SelectNode(uint8_t nodeId, int channelIndex) {
    const int ch = channelIndex == -1 ? currentChannel_.load() : channelIndex;
    const int slot = FindNode(nodeId, ch);
    if (slot < 0) return slot;
    currentNodeId_ = nodeId;
    RetimeCyclicItems();
    return 0;
}

void CMain::ForgetNode(CNodo& node) {
    if (CChannel* channel = Channel(node.channelIndex))
        if (channel->nodeCount > 0) --channel->nodeCount;
    if (CVocabolario* vocabulary = Vocabulary(node.vocabularyIndex))
        if (vocabulary->users > 0) --vocabulary->users;
    node.ResetIdentity();
}

void CMain::ReleaseNode(CNodo& node) {
    ForgetNode(node);
    node.Unlock();
}

void CMain::DeleteAllNodes() {
    const bool cyclicStopped = StopCyclicThread() == 0;
    StopNodeguard();
    // A cyclic stop that timed out leaves its thread running on the nodes: wait for it to end.
    JoinBackgroundThreads();
    if (!cyclicStopped) StopCyclicThread();  // frees the item table now that the thread has ended
    for (int i = 0; i < nodeCount_; ++i) {
        if (!nodes_[i]) continue;
        // Wait for a user that still holds the node before it goes away.
        CNodeLock held(*nodes_[i]);
        ForgetNode(*nodes_[i]);
        if (!held) EngineDebugLog(engine_text::kLockFailedLog);
        held.Unlock();
        nodes_[i].reset();
    }
    nodeCount_ = 0;
}

void CMain::BuildIdentityXml(CXmlNode& element, const CNodeConnection& record, uint16_t build,
                             uint32_t xmlVersion, const CXmlNode* clientList,
                             const std::string& description) {
    element.SetAttribute("nodeId", std::to_string(record.nodeId));
    element.SetAttribute("hw", std::to_string(record.hardwareCode));
    element.SetAttribute("sw", std::to_string(record.softwareCode));
    element.SetAttribute("sw_ver", std::to_string(record.softwareVersion));
    element.SetAttribute("build", std::to_string(build & 0xFFFF));
    element.SetAttribute("xml_ver", std::to_string(xmlVersion));
    element.AddChild("Description", description);
    CXmlNode* list = element.AddChild("ClientList");
    if (clientList && list) {
        for (CXmlNode* client : clientList->Children()) {
            if (client->Name() == "Client" && client->GetAttribute("name") == kClientName) {
                list->AddChild("Client")->Copy(client);
                break;
            }
        }
    }
}

int CMain::BuildNodeXml(CXmlDocument& doc, CNodo* node) {
    if (!node) return SetError(kNodeNotFound, engine_text::kNodeNotFound);
    CVocabolario* vocabulary = Vocabulary(node->vocabularyIndex);
    if (doc.Root().Name().empty()) doc.Root().SetName("Node");
    const CXmlNode* clientList = nullptr;
    if (vocabulary) {
        clientList = vocabulary->clientList.Root().Name().empty() ? nullptr : &vocabulary->clientList.Root();
    }
    BuildIdentityXml(doc.Root(), node->Connection(), node->build, vocabulary ? vocabulary->xml_ver : 0,
                     clientList, vocabulary ? vocabulary->descr : std::string());
    return 0;
}

BSTR CMain::GetNodeDescription(CNodo& node, int kind) {
    CXmlDocument doc;
    if (BuildNodeXml(doc, &node) != 0) return nullptr;
    if (CVocabolario* vocabulary = Vocabulary(node.vocabularyIndex)) {
        doc.Root().SetAttribute("XmlFile", vocabulary->file);
        doc.Root().SetAttribute("brand", vocabulary->brand);
        doc.Root().SetAttribute("nFw", std::to_string(vocabulary->folderMode));
        doc.Root().SetAttribute("oem", std::to_string(vocabulary->brandCode));
    }
    if (kind == 1) doc.Root().SetAttributeInt("boot", 1);
    return XmlToBstr(doc);
}

}  // namespace engine
