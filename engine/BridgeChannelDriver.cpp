#include "engine/BridgeChannelDriver.h"

#include <algorithm>

#include "engine/Channel.h"
#include "engine/EngineCodes.h"
#include "engine/GroupRecords.h"
#include "engine/Main.h"
#include "engine/VocabularyItem.h"
#include "platform/Prompt.h"
#include "transport/BridgeVkr.h"
#include "transport/ChannelTrace.h"
#include "transport/NodeIdentification.h"

using namespace foundation;
using namespace transport;

namespace engine {

namespace {
constexpr int kNotConnected = CBridgeVkr::kNotConnected;
constexpr int kNoGroup = CBridgeVkr::kNoGroup;
}  // namespace

CBridgeChannelDriver::CBridgeChannelDriver(CMain& owner, int channelIndex)
    : CChannelDriver(owner, channelIndex), manager_(owner.ErrorPair()) {}

CBridgeItem CBridgeChannelDriver::ItemOf(const VocabularyItem& item) {
    CBridgeItem b;
    b.name = item.name;
    b.index = item.busIndex;
    b.subIndex = item.busSubIndex;
    b.hasBusAddress = item.HasBusAddress();
    b.isSigned = item.Sign() == 1;
    return b;
}

CBridgeNode* CBridgeChannelDriver::Connected() {
    CBridgeNode* node = manager_.CurrentNodeRecord();
    return node && node->bridge && node->bridge->IsConnected() ? node : nullptr;
}

int CBridgeChannelDriver::NoNode() {
    const int code = manager_.LastCode();
    return owner_.SetError(code != 0 ? code : kNotConnected, CBridgeVkr::ClientCodeText(kNotConnected));
}

bool CBridgeChannelDriver::Test(uint8_t) {
    if (CBridgeNode* node = Connected()) manager_.NodeDisconnect(node->handle);
    CBridgeNode* node = manager_.NodeConnect(0);
    if (!node) return false;
    manager_.NodeDisconnect(node->handle);
    return true;
}

int CBridgeChannelDriver::Identify(uint8_t nodeId, CCompatChecker& checker, CIdentification& out) {
    if (nodeId != 0)
        manager_.SelectNode(settings_.words[0], static_cast<uint16_t>(settings_.words[1]),
                            static_cast<uint8_t>(settings_.words[2]), nodeId);
    uint32_t handle = 0;
    NodeIdentRecord record;
    uint32_t mode = 0, flag = 0, build = 0;
    const int rc = manager_.IdentifyNode(&checker, &handle, &record, &mode, &flag, &build);
    if (rc != 0) return rc;
    out.address = handle;
    out.connection = {nodeId, record.hardwareCode, record.firmwareCode, record.firmwareVersion};
    out.kind = static_cast<int>(mode);
    out.wordOrder = 0;
    out.build = static_cast<uint16_t>(build);
    return 0;
}

int CBridgeChannelDriver::ReadItem(const VocabularyItem& item, uint32_t* value, uint8_t, bool) {
    CBridgeNode* node = manager_.CurrentNodeRecord();
    if (!node) return RecordResult(manager_.LastCode() != 0 ? manager_.LastCode() : kNotConnected);
    const CBridgeItem b = ItemOf(item);
    if (!manager_.CheckCell(b)) return owner_.ErrorCode();
    uint32_t word = 0;
    const uint32_t size = std::min<uint32_t>(item.size ? item.size : 4, 4);
    const int rc = RecordResult(
        manager_.ReadCell(node->handle, b, &word, size, std::max(node->timeoutMs, timeoutMs_.load())));
    if (rc == 0) *value = word;
    return rc;
}

int CBridgeChannelDriver::WriteItem(const VocabularyItem& item, const uint32_t* value, uint8_t, bool) {
    CBridgeNode* node = manager_.CurrentNodeRecord();
    if (!node) return RecordResult(manager_.LastCode() != 0 ? manager_.LastCode() : kNotConnected);
    const CBridgeItem b = ItemOf(item);
    if (!manager_.CheckCell(b)) return owner_.ErrorCode();
    uint32_t size = std::min<uint32_t>(item.size ? item.size : 4, 4);
    return RecordResult(manager_.WriteCell(b, value, &size, std::max(node->timeoutMs, timeoutMs_.load())));
}

// Block transfers without a connected node give 1 without a text.
int CBridgeChannelDriver::UploadCell(const VocabularyItem& item, void* buffer, uint32_t* byteCount, uint8_t) {
    CBridgeNode* node = Connected();
    if (!node) return 1;
    const int rc =
        RecordResult(manager_.ReadCell(node->handle, ItemOf(item), buffer, *byteCount, timeoutMs_.load()));
    return rc;
}

int CBridgeChannelDriver::DownloadCell(const VocabularyItem& item, const void* data, uint32_t byteCount,
                                       uint8_t) {
    if (!Connected()) return 1;
    uint32_t size = byteCount;
    return RecordResult(manager_.WriteCell(ItemOf(item), data, &size, timeoutMs_.load()));
}

int CBridgeChannelDriver::Configure(const CChannelSettings& settings) {
    settings_ = settings;
    return 0;
}

int CBridgeChannelDriver::GetConfig(CChannelSettings& settings) {
    settings = settings_;
    return 0;
}

// The connection dialog's choice is the node of the settings; 0 when the bridge stays connected.
int CBridgeChannelDriver::OpenInteractive(const CChannelSettings& settings, uintptr_t) {
    Configure(settings);
    const uint32_t address = settings.words[0];
    manager_.SelectNode(address, static_cast<uint16_t>(settings.words[1]),
                        static_cast<uint8_t>(settings.words[2]), static_cast<uint16_t>(settings.words[3]));
    // The dialog's choice becomes the channel's node, for the connect dialog to read back.
    if (manager_.Connect(address) == platform::IDOK) {
        settings_.words[1] = manager_.SelectedBusType();
        settings_.words[2] = manager_.SelectedBusNumber();
        settings_.words[3] = manager_.SelectedNodeId();
        settings_.words[4] = manager_.defaultTimeoutMs;
        if (CChannel* channel = owner_.Channel(channelIndex_)) channel->settings = settings_;
        // The connection window goes on to connect only on 1 (a node was chosen).
        return 1;
    }
    for (size_t i = 0; i < manager_.BridgeCount(); ++i)
        if (CBridgeVkr* bridge = manager_.Bridge(i); bridge && bridge->IsConnected()) return 0;
    const int code = manager_.LastCode();
    return code != 0 ? code : kNotConnected;
}

int CBridgeChannelDriver::Close() {
    if (CBridgeNode* node = manager_.CurrentNodeRecord()) manager_.NodeDisconnect(node->handle);
    return 0;
}

// ---- groups ----------------------------------------------------------------------------------

int CBridgeChannelDriver::GroupCreate(uint32_t, platform::WindowHandle window, unsigned message, Callback,
                                      void*) {
    CBridgeNode* node = manager_.CurrentNodeRecord();
    if (!node || !node->bridge) return 0;
    return node->bridge->GroupCreate(window, message);
}

int CBridgeChannelDriver::GroupRemove(int group) {
    manager_.GroupRemove(group);
    return 0;
}

int CBridgeChannelDriver::GroupRemoveAll() {
    CBridgeNode* node = manager_.CurrentNodeRecord();
    if (!node || !node->bridge) return 0;
    CBridgeVkr& bridge = *node->bridge;
    bridge.StopCyclicThread(5000);
    for (int handle = 1, live = bridge.LiveGroupCount(); live > 0 && handle < 4096; ++handle)
        if (bridge.Group(handle)) {
            bridge.GroupRemove(handle);
            --live;
        }
    bridge.ResumeCyclicThread();
    return 0;
}

int CBridgeChannelDriver::GroupExecute(uint32_t nodeAddress, int group, int32_t cycleMs) {
    if (!manager_.FindNode(nodeAddress)) return kNotConnected;
    return manager_.GroupExecute(nodeAddress, group, static_cast<uint32_t>(std::max(cycleMs, 0)));
}

int CBridgeChannelDriver::GroupStop(int group) {
    CBridgeNode* node = manager_.CurrentNodeRecord();
    if (!node || !node->bridge) return 0;
    CBridgeVkr& bridge = *node->bridge;
    if (bridge.StopCyclicThread(2000)) {
        if (CCmdList* list = bridge.Group(group)) list->cyclic = false;
        bridge.ResumeCyclicThread();
    }
    return 0;
}

int CBridgeChannelDriver::GroupExecuteOnce(uint32_t nodeAddress, int group) {
    if (group == -1) return 0;
    return manager_.GroupExecute(nodeAddress, group, 0);
}

int CBridgeChannelDriver::GroupClear(int* group) {
    CBridgeNode* node = manager_.CurrentNodeRecord();
    if (*group != -1 && node && node->bridge && node->bridge->Group(*group)) manager_.GroupClear(*group);
    return 0;
}

int CBridgeChannelDriver::VariableAdd(uint32_t nodeAddress, int* group, const VocabularyItem& item,
                                      int direction, void* value, int32_t size, uint32_t, void* result,
                                      uint32_t* extra) {
    if (*group < 0) *group = GroupCreate(nodeAddress, 0, 0, nullptr, nullptr);
    const int rc = manager_.GroupAddItem(nodeAddress, *group, ItemOf(item), direction, value,
                                         static_cast<uint32_t>(size) & 0xFFFFFF,
                                         static_cast<uint32_t*>(result), nullptr, extra);
    return rc == 0 ? owner_.SetError(kNoGroup, CBridgeVkr::ClientCodeText(kNoGroup)) : rc;
}

int CBridgeChannelDriver::GroupAddItem(uint32_t nodeAddress, int group, const VocabularyItem& item,
                                       int direction, void* value, uint32_t size, CCellHolder* holder,
                                       int32_t* resultWord) {
    CBridgeNotify notify;
    if (holder) {
        notify.status = &holder->status;
        notify.hasValue = true;
        notify.param = reinterpret_cast<uintptr_t>(holder);
    }
    uint32_t* status = resultWord ? reinterpret_cast<uint32_t*>(resultWord)
                       : holder   ? reinterpret_cast<uint32_t*>(&holder->result)
                                  : nullptr;
    const int rc = manager_.GroupAddItem(nodeAddress, group, ItemOf(item), holder ? 0 : direction, value,
                                         size, status, holder ? &notify : nullptr, nullptr);
    return rc == 0 ? owner_.SetError(kNoGroup, CBridgeVkr::ClientCodeText(kNoGroup)) : rc;
}

// The group's list is rebuilt without the command; the other variables keep their numbers.
int CBridgeChannelDriver::VariableRemove(int group, int variable) {
    CBridgeNode* node = manager_.CurrentNodeRecord();
    if (!node || !node->bridge) return 0;
    return node->bridge->GroupRemoveCommand(group, variable);
}

int CBridgeChannelDriver::VariableRemoveAll(int group) {
    manager_.GroupClear(group);
    return 0;
}

// ---- firmware, aborts and the report ----------------------------------------------------------

int CBridgeChannelDriver::SendAbort() {
    CBridgeNode* node = manager_.CurrentNodeRecord();
    if (!node || !node->bridge) return -1;
    return node->bridge->SendAbort();
}

bool CBridgeChannelDriver::CurrentNodeIsCanOpen() {
    CBridgeNode* node = manager_.CurrentNodeRecord();
    return node && node->IsCanOpen();
}

uint32_t CBridgeChannelDriver::CurrentNodeTimeoutMs() {
    CBridgeNode* node = manager_.CurrentNodeRecord();
    return node ? node->timeoutMs : 0;
}

int CBridgeChannelDriver::WriteBlock(const VocabularyItem& item, uint16_t block, uint32_t timeoutMs) {
    CBridgeNode* node = manager_.CurrentNodeRecord();
    if (!node || !node->bridge) return NoNode();
    const CBridgeItem b = ItemOf(item);
    if (!manager_.CheckCell(b)) return owner_.ErrorCode();
    CBridgeVkr& bridge = *node->bridge;
    bridge.SetCurrentTarget(node->busId);
    bridge.SetCurrentNode(node->nodeId);
    uint32_t status = 0xFFFFFFFFu, written = 0;
    const int group = bridge.GroupCreate(0, 0);
    if (node->IsCanOpen())
        bridge.GroupAddWriteCanDB(group, b.index, b.subIndex, block, &status, &written);
    else
        bridge.GroupAddWriteDB(group, b.index, b.subIndex, block, &status, &written);
    const int rc = bridge.GroupExecute(group, timeoutMs, 0);
    bridge.GroupRemove(group);
    if (rc == 0 && status == 0) return RecordResult(0);
    RecordResult(rc != 0 ? rc : static_cast<int>(status));
    return manager_.SetError(bridge, Format("Writing address 0x%x.%x", b.index, b.subIndex), rc ? 0 : status);
}

std::string CBridgeChannelDriver::Report() {
    std::string text = "Vkr Fieldbus Bridge\r\n";
    for (const auto& node : manager_.Nodes()) {
        const uint32_t ip = node->bridge ? node->bridge->Address() : 0;
        text += Format("Node %lu: bus(%lu,%lu), nodeId=%lu, timeout=%lu, bridge=%u.%u.%u.%u\r\n",
                       static_cast<unsigned long>(node->handle), static_cast<unsigned long>(node->busType),
                       static_cast<unsigned long>(node->busId), static_cast<unsigned long>(node->nodeId),
                       static_cast<unsigned long>(node->timeoutMs), ip >> 24, (ip >> 16) & 0xFF,
                       (ip >> 8) & 0xFF, ip & 0xFF);
    }
    for (size_t i = 0; i < manager_.BridgeCount(); ++i)
        if (CBridgeVkr* bridge = manager_.Bridge(i)) text += bridge->StateText();
    return text;
}

// ---- node guard ------------------------------------------------------------------------------

int CBridgeChannelDriver::GuardArm(CNodo& node) {
    return GuardPrepare(node);
}

bool CBridgeChannelDriver::GuardAlive(CNodo&) {
    CBridgeNode* node = Connected();
    return node && node->bridge->ConsecutiveErrors() < 10;
}

bool CBridgeChannelDriver::GuardBroken() {
    CBridgeNode* node = Connected();
    return !node || node->bridge->ConsecutiveErrors() > 9;
}

int CBridgeChannelDriver::GuardPrepare(CNodo&) {
    if (manager_.CurrentNodeRecord()) return 0;
    const int code = manager_.LastCode() != 0 ? manager_.LastCode() : kNotConnected;
    lastResult = static_cast<uint32_t>(code);
    return code;
}

void CBridgeChannelDriver::GuardClose() {
    if (CBridgeNode* node = manager_.CurrentNodeRecord()) manager_.NodeDisconnect(node->handle);
}

}  // namespace engine
