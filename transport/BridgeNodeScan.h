#pragma once
// What the bridge connection dialog does without its window: the walk of a bus for its nodes on a
// worker thread, the texts and colours of what it finds, and the bus and bridge resets.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Messages.h"
#include "platform/Thread.h"
#include "transport/BridgeTypes.h"
#include "transport/BusNodeData.h"

namespace transport {

class CBridgeVkr;

// The text and colour (0x00BBGGRR) of a node state a scan lists; none for a state it skips.
struct NodeStateText {
    const char* text;
    uint32_t colour;
};
std::optional<NodeStateText> CanOpenNodeState(uint16_t state);
std::optional<NodeStateText> EtherCatNodeState(uint16_t state);

// The EtherCAT vendor id of the program's own drives: only their nodes are offered to connect.
constexpr uint32_t kOwnVendorId = 0x00001A2B;

// The scan time-out typed by the user: at least 100 ms (unreadable text gives 100 too).
uint32_t ScanTimeoutMs(const std::string& text);
// "<name or ???>[ - <description>]".
std::string NodeLabel(const std::string& name, const std::string& description);
// "vendor: <short name>(<id>)" or "vendor: <id>", never longer than kVendorTextMax bytes.
constexpr size_t kVendorTextMax = 49;
std::string VendorText(uint32_t vendorId);
// "<vendor text>    fw: <firmware> ver. <version>    hw: <hardware>".
std::string NodeInfoText(uint32_t vendorId, uint32_t firmware, int version, uint32_t hardware);

// Scans a bridge's buses for nodes and resets them. One command group of the client serves the
// scan and the resets; the scan thread is the group's only user while it runs, and every reset
// first stops and joins it.
class CBridgeNodeScan {
  public:
    static constexpr uint16_t kLastCanNode = 126;
    static constexpr uint32_t kNodeStateWaitMs = 100;
    static constexpr uint32_t kSlaveListWaitMs = 10000;
    static constexpr uint32_t kBusResetWaitMs = 2000;
    static constexpr uint32_t kBridgeResetWaitMs = 500;
    static constexpr uint8_t kBridgeItself = 255;

    // The scan posts kConnectScanMessage and kConnectScanProgressMessage to window (0: none).
    CBridgeNodeScan(CBridgeVkr& bridge, platform::WindowHandle window);
    // Stops and joins the scan, then gives the group back.
    ~CBridgeNodeScan();
    CBridgeNodeScan(const CBridgeNodeScan&) = delete;
    CBridgeNodeScan& operator=(const CBridgeNodeScan&) = delete;

    // Walks the buses in order on a worker thread; false when a scan is running already.
    bool Start(std::vector<CBusInfo> buses);
    // Asks the scan to end and waits until it has: afterwards the thread touches nothing.
    void Stop();
    // Waits for a scan to end by itself.
    void Join();
    bool Running() const { return running_.load(); }

    // The nodes found since the last call, in the order found; the caller owns them.
    std::vector<CBusNodeData> TakeNodes();

    // Resets on the window thread; each stops the scan first. The information line's text.
    std::string ResetBus(const CBusInfo* bus);
    std::string ResetAllBuses(const std::vector<CBusInfo>& buses);
    // Restarts the bridge itself; 0 when it took the command, else the client's or bridge's code.
    int ResetBridge();
    // The text of a failed reset.
    std::string ErrorText(int code, uint32_t status) const;

  private:
    void Walk(platform::StopToken& stop, const std::vector<CBusInfo>& buses);
    void WalkCanOpen(platform::StopToken& stop, const CBusInfo& bus);
    void WalkEtherCat(platform::StopToken& stop, const CBusInfo& bus);
    bool KeepGoing(const platform::StopToken& stop) const;
    void Found(CBusNodeData node);
    void Progress(uint32_t position, uint32_t range);
    int Group();
    // Runs resets of the given buses in the group: 0 or the first failure's code (status in *status).
    int RunResets(const std::vector<uint8_t>& buses, uint32_t timeoutMs, uint32_t* status);

    CBridgeVkr& bridge_;
    const platform::WindowHandle window_;
    int group_ = 0;  // the window thread's, or the scan thread's while it runs
    std::atomic<bool> run_{false};
    std::atomic<bool> running_{false};
    std::mutex mutex_;
    std::vector<CBusNodeData> found_;  // mutex_
    platform::Thread thread_;
};

}  // namespace transport
