#include "transport/BridgeNodeScan.h"

#include <charconv>
#include <utility>

#include "foundation/MessageIds.h"
#include "platform/CodePage.h"
#include "transport/BridgeCommands.h"
#include "transport/BridgeStatusText.h"
#include "transport/BridgeVkr.h"
#include "transport/ChannelTrace.h"
#include "transport/NodeIdentification.h"

namespace transport {

namespace {

constexpr uint32_t kGreen = 0x00FF00;
constexpr uint32_t kOrange = 0x0080FF;
constexpr uint32_t kYellow = 0xFFFF00;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kMinimumTimeoutMs = 100;
constexpr uint32_t kNoStatus = 0xFFFFFFFFu;

}  // namespace

std::optional<NodeStateText> CanOpenNodeState(uint16_t state) {
    switch (state) {
        case 1:
            return NodeStateText{"operational", kGreen};
        case 2:
            return NodeStateText{"stopped", kOrange};
        case 3:
            return NodeStateText{"pre-operational", kGreen};
        case 4:
            return NodeStateText{"init", kYellow};
        case 5:
            return NodeStateText{"reset comm.", kWhite};
        case 6:
            return NodeStateText{"reset app.", kWhite};
        case 8:
            return NodeStateText{"unknown", kWhite};
        default:
            return std::nullopt;
    }
}

std::optional<NodeStateText> EtherCatNodeState(uint16_t state) {
    switch (state) {
        case 1:
            return NodeStateText{"init", kYellow};
        case 2:
            return NodeStateText{"pre-operational", kGreen};
        case 3:
            return NodeStateText{"boot", kOrange};
        case 4:
            return NodeStateText{"safe-operational", kGreen};
        case 8:
            return NodeStateText{"operational", kGreen};
        default:
            return std::nullopt;
    }
}

uint32_t ScanTimeoutMs(const std::string& text) {
    size_t at = 0;
    while (at < text.size() && text[at] == ' ') ++at;
    uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data() + at, text.data() + text.size(), value);
    (void)end;
    if (error != std::errc()) return kMinimumTimeoutMs;
    return value < kMinimumTimeoutMs ? kMinimumTimeoutMs : value;
}

std::string NodeLabel(const std::string& name, const std::string& description) {
    std::string label = name.empty() ? "???" : name;
    if (!description.empty()) label += " - " + description;
    return label;
}

std::string VendorText(uint32_t vendorId) {
    const char* brand = VendorShortName(vendorId);
    std::string text = brand ? Format("vendor: %s(%lu)", brand, static_cast<unsigned long>(vendorId))
                             : Format("vendor: %lu", static_cast<unsigned long>(vendorId));
    text.resize(platform::Utf8SafeCut(text, kVendorTextMax));
    return text;
}

std::string NodeInfoText(uint32_t vendorId, uint32_t firmware, int version, uint32_t hardware) {
    return Format("%s    fw: %lu ver. %d    hw: %lu", VendorText(vendorId).c_str(),
                  static_cast<unsigned long>(firmware), version, static_cast<unsigned long>(hardware));
}

CBridgeNodeScan::CBridgeNodeScan(CBridgeVkr& bridge, platform::WindowHandle window)
    : bridge_(bridge), window_(window) {}

CBridgeNodeScan::~CBridgeNodeScan() {
    Stop();
    if (group_ > 0) bridge_.GroupRemove(group_);
}

bool CBridgeNodeScan::Start(std::vector<CBusInfo> buses) {
    if (running_.load()) return false;
    thread_.Join();  // an earlier scan that ended by itself
    {
        std::lock_guard lock(mutex_);
        found_.clear();
    }
    if (Group() <= 0) return false;
    run_ = true;
    running_ = true;
    const bool started = thread_.Start("CDlgConnectBridge::ScanThread",
                                       [this, buses = std::move(buses)](platform::StopToken& stop) {
                                           Walk(stop, buses);
                                           running_ = false;
                                       });
    if (!started) {
        run_ = false;
        running_ = false;
    }
    return started;
}

void CBridgeNodeScan::Stop() {
    run_ = false;
    thread_.RequestStop();
    thread_.Join();
}

void CBridgeNodeScan::Join() {
    thread_.Join();
}

std::vector<CBusNodeData> CBridgeNodeScan::TakeNodes() {
    std::lock_guard lock(mutex_);
    return std::exchange(found_, {});
}

bool CBridgeNodeScan::KeepGoing(const platform::StopToken& stop) const {
    return run_.load() && !stop.StopRequested() && bridge_.IsConnected();
}

int CBridgeNodeScan::Group() {
    if (group_ <= 0 || !bridge_.Group(group_)) group_ = bridge_.GroupCreate(0, 0);
    return group_;
}

void CBridgeNodeScan::Found(CBusNodeData node) {
    {
        std::lock_guard lock(mutex_);
        found_.push_back(std::move(node));
    }
    if (window_) platform::PostMessage(window_, foundation::kConnectScanMessage, 0, 0);
}

void CBridgeNodeScan::Progress(uint32_t position, uint32_t range) {
    if (window_)
        platform::PostMessage(window_, foundation::kConnectScanProgressMessage, position,
                              static_cast<intptr_t>(range));
}

void CBridgeNodeScan::Walk(platform::StopToken& stop, const std::vector<CBusInfo>& buses) {
    for (const CBusInfo& bus : buses) {
        if (!KeepGoing(stop)) break;
        if (bus.kind == kBusKindCanOpen)
            WalkCanOpen(stop, bus);
        else if (bus.kind == kBusKindEtherCat)
            WalkEtherCat(stop, bus);
    }
    bridge_.GroupClear(group_);
}

void CBridgeNodeScan::WalkCanOpen(platform::StopToken& stop, const CBusInfo& bus) {
    Progress(0, kLastCanNode);
    for (uint16_t id = 1; id <= kLastCanNode && KeepGoing(stop); ++id) {
        Progress(id, kLastCanNode);
        bridge_.GroupClear(group_);
        uint32_t status = kNoStatus;
        uint16_t state = 0;
        auto command =
            std::make_unique<CCmdCanGetSlaveState>(bridge_, static_cast<uint8_t>(id), &status, &state);
        command->SetTarget(bus.id);
        bridge_.GroupAddCommand(group_, std::move(command));
        if (bridge_.GroupExecute(group_, kNodeStateWaitMs, 0) != 0 || status != 0) continue;
        const std::optional<NodeStateText> text = CanOpenNodeState(state);
        if (!text) continue;
        CBusNodeData node;
        node.address = id;
        node.name = NodeLabel("", "");
        node.state = text->text;
        node.colour = text->colour;
        // A CANopen bridge names no vendor: the connection identifies the drive.
        node.identity = NodeInfoText(0, 0, 0, 0);
        node.selectable = 1;
        Found(std::move(node));
    }
}

void CBridgeNodeScan::WalkEtherCat(platform::StopToken& stop, const CBusInfo& bus) {
    bridge_.GroupClear(group_);
    uint32_t status = kNoStatus;
    std::vector<CSlaveInfo> slaves;
    auto command = std::make_unique<CCmdBusScan>(bridge_, &status, &slaves);
    command->SetTarget(bus.id);
    bridge_.GroupAddCommand(group_, std::move(command));
    if (bridge_.GroupExecute(group_, kSlaveListWaitMs, 0) != 0 || status != 0) return;
    const uint32_t count = static_cast<uint32_t>(slaves.size());
    Progress(0, count);
    uint32_t position = 0;
    for (const CSlaveInfo& slave : slaves) {
        if (!KeepGoing(stop)) return;
        Progress(++position, count);
        const std::optional<NodeStateText> text = EtherCatNodeState(slave.state);
        if (!text) continue;
        CBusNodeData node;
        node.address = slave.address;
        node.vendorId = slave.identity1;
        node.name = NodeLabel("", "");
        node.state = text->text;
        node.colour = text->colour;
        node.identity = NodeInfoText(slave.identity1, slave.identity2, 0, 0);
        node.selectable = slave.extra == 0 && slave.identity1 == kOwnVendorId ? 1 : 0;
        Found(std::move(node));
    }
}

std::string CBridgeNodeScan::ErrorText(int code, uint32_t status) const {
    if (code != 0) return bridge_.GetErrorText(code);
    return GetSdoAbortText(status);
}

int CBridgeNodeScan::RunResets(const std::vector<uint8_t>& buses, uint32_t timeoutMs, uint32_t* status) {
    Stop();
    *status = 0;
    if (Group() <= 0) return bridge_.LastErrorCode() != 0 ? bridge_.LastErrorCode() : CBridgeVkr::kNoGroup;
    bridge_.GroupClear(group_);
    std::vector<uint32_t> statuses(buses.size(), kNoStatus);
    for (size_t i = 0; i < buses.size(); ++i)
        bridge_.GroupAddCommand(group_, std::make_unique<CCmdReset>(bridge_, buses[i], &statuses[i]));
    const int rc = bridge_.GroupExecute(group_, timeoutMs, 0);
    bridge_.GroupClear(group_);
    if (rc != 0) return rc;
    for (uint32_t s : statuses)
        if (s != 0) {
            *status = s;
            break;
        }
    return 0;
}

std::string CBridgeNodeScan::ResetBus(const CBusInfo* bus) {
    if (!bus) return "Bus not selected";
    uint32_t status = 0;
    const int rc = RunResets({bus->id}, kBusResetWaitMs, &status);
    return rc == 0 && status == 0 ? "Bus reset done" : ErrorText(rc, status);
}

std::string CBridgeNodeScan::ResetAllBuses(const std::vector<CBusInfo>& buses) {
    std::vector<uint8_t> ids;
    for (const CBusInfo& bus : buses) ids.push_back(bus.id);
    uint32_t status = 0;
    const int rc = RunResets(ids, kBusResetWaitMs, &status);
    return rc == 0 && status == 0 ? "All buses reset done" : ErrorText(rc, status);
}

int CBridgeNodeScan::ResetBridge() {
    uint32_t status = 0;
    const int rc = RunResets({kBridgeItself}, kBridgeResetWaitMs, &status);
    return rc != 0 ? rc : static_cast<int>(status);
}

}  // namespace transport
