#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "platform/CodeText.h"
#include "platform/Event.h"
#include "platform/Messages.h"
#include "platform/Socket.h"
#include "platform/Thread.h"
#include "transport/BridgeCmdArray.h"
#include "transport/BridgeCommands.h"
#include "transport/BridgeTypes.h"
#include "transport/BridgeWire.h"

namespace transport {

// Waits of the client; tests shorten them.
struct CBridgeTimings {
    uint32_t identifyWaitMs = 500;      // for the identification reply
    uint32_t connectWaitMs = 5000;      // TCP connect
    uint32_t channelFreeWaitMs = 5000;  // for a running exchange of another caller (4372)
    uint32_t keepAliveMinMs = 6000;
    uint32_t keepAliveMaxMs = 15000;
    int watchdogPasses = 250;  // passes of ~20 ms without data before a keep-alive
    uint32_t cyclicStopFirstMs = 2000;
    uint32_t cyclicStopSecondMs = 5000;
};

// TCP client of one fieldbus bridge: identifies the bridge, runs one request frame at a time
// on its send/receive thread, keeps the groups (command lists) callers fill and execute once
// or cyclically, and an optional log channel copied into "bridgelog.txt".
class CBridgeVkr {
  public:
    static constexpr uint16_t kDefaultPort = 4560;
    // Result codes of the client (beside 0, bridge status codes and SDO abort codes).
    static constexpr int kWrongData = 102;
    static constexpr int kSendFailed = 272;
    static constexpr int kTimeoutResponse = 4370;
    static constexpr int kTimeoutExecution = 4371;
    static constexpr int kChannelBusy = 4372;
    static constexpr int kNotConnected = 4373;
    static constexpr int kNoGroup = 4374;
    static constexpr int kTooLong = 4375;
    static constexpr int kTooManyClients = 4376;
    static constexpr int kConnectionLost = 0xFFFF;

    CBridgeVkr();
    virtual ~CBridgeVkr();
    CBridgeVkr(const CBridgeVkr&) = delete;
    CBridgeVkr& operator=(const CBridgeVkr&) = delete;

    void SetPort(uint16_t port) { port_ = port; }
    uint16_t Port() const { return port_; }
    void SetTimings(const CBridgeTimings& timings) { timings_ = timings; }
    const CBridgeTimings& Timings() const { return timings_; }

    // --- connection
    bool Connect(const std::string& address);
    void Disconnect();
    bool IsConnected() const { return linkUp_.load(); }
    std::string GetVersionText() const;
    // The fixed text of a client code; other codes give the last error text.
    std::string GetErrorText(int code) const;
    static std::span<const platform::CodeText<int>> ClientCodeTexts();
    // The fixed text of a client code; null for others.
    static const char* ClientCodeText(int code);
    int LastErrorCode() const;
    std::string LastErrorText() const;

    // Sends the abort message on the connection's socket, beside a running exchange; the count of
    // bytes sent, or -1.
    int SendAbort();

    // --- groups (handles 1..slot count; 4374 for a handle that names no live group)
    int GroupCreate(platform::WindowHandle window, unsigned message);
    int GroupRemove(int handle);
    int GroupClear(int handle);
    // Takes one command (by its sequence number) out of a group; the others keep theirs.
    int GroupRemoveCommand(int handle, int sequence);
    int GroupExecute(int handle, uint32_t timeoutMs, uint32_t cycleMs);
    bool StopCyclicThread(uint32_t ms);
    // Back to running after StopCyclicThread.
    void ResumeCyclicThread();
    // The live group of a handle, or null (sets 4374).
    CCmdList* Group(int handle);
    int LiveGroupCount() const;

    // Adders: one command with the current target and node; the sequence number within the
    // group, or 0 when the group does not exist.
    int GroupAddRead(int handle, uint16_t index, uint8_t subIndex, void* buffer, uint32_t* status,
                     uint32_t* size);
    int GroupAddReadValue(int handle, uint16_t index, uint8_t subIndex, void* buffer, uint32_t* status,
                          uint32_t size);
    int GroupAddRead4(int handle, uint16_t index, uint8_t subIndex, uint32_t* value, uint32_t* status,
                      uint32_t* size, bool isSigned, const CBridgeNotify& notify);
    int GroupAddWrite4(int handle, uint16_t index, uint8_t subIndex, uint32_t value, uint32_t* status);
    int GroupAddWrite(int handle, uint16_t index, uint8_t subIndex, const void* data, uint32_t size,
                      uint32_t* status);
    int GroupAddWriteDB(int handle, uint16_t index, uint8_t subIndex, uint16_t block, uint32_t* status,
                        uint32_t* written);
    int GroupAddEthGetSlaveState(int handle, uint16_t* state, uint32_t* status);
    int GroupAddCanGetSlaveState(int handle, uint16_t* state, uint32_t* status);
    int GroupAddReadCan(int handle, uint16_t index, uint8_t subIndex, void* buffer, uint32_t* status,
                        uint32_t* size);
    int GroupAddReadCanValue(int handle, uint16_t index, uint8_t subIndex, void* buffer, uint32_t* status,
                             uint32_t size);
    int GroupAddReadCan4(int handle, uint16_t index, uint8_t subIndex, uint32_t* value, uint32_t* status,
                         uint32_t* size, bool isSigned, const CBridgeNotify& notify);
    int GroupAddWriteCan4(int handle, uint16_t index, uint8_t subIndex, uint32_t value, uint32_t* status);
    int GroupAddWriteCan(int handle, uint16_t index, uint8_t subIndex, const void* data, uint32_t size,
                         uint32_t* status);
    int GroupAddWriteCanDB(int handle, uint16_t index, uint8_t subIndex, uint16_t block, uint32_t* status,
                           uint32_t* written);
    int GroupAddReset(int handle, uint8_t bus);
    // Any other command; payload bytes (with the EtherCAT or CANopen rate) raise the time-out.
    int GroupAddCommand(int handle, std::unique_ptr<CCmd> command, uint32_t payload = 0,
                        bool canOpen = false);

    // --- the direct list
    CCmdList& DirectList() { return direct_; }
    void ClearDirect() { direct_.Clear(); }
    int CmdRead(uint16_t index, uint8_t subIndex, void* buffer, uint32_t* status, uint32_t size,
                uint32_t* received = nullptr);
    int CmdReadCan(uint16_t index, uint8_t subIndex, void* buffer, uint32_t* status, uint32_t size,
                   uint32_t* received = nullptr);
    int CmdWrite(uint16_t index, uint8_t subIndex, const void* data, uint32_t* status, uint32_t size);
    int CmdWriteCan(uint16_t index, uint8_t subIndex, const void* data, uint32_t* status, uint32_t size);
    int ExecuteCmds(uint32_t timeoutMs);

    // One exchange of a list: 0, 4370 to 4375, 0xFFFF (connection lost), 272 (send failed),
    // or the code of a bridge status message.
    int ExecuteList(CCmdList& list);

    // --- log channel
    bool CmdLogConnect();
    void CmdLogDisconnect();
    bool LogChannelRunning() const { return logThread_.IsRunning(); }
    // The level the next log connection asks for (at least 1).
    void SetLogLevel(uint8_t level) { logLevel_ = level < 1 ? 1 : level; }
    uint8_t LogLevel() const { return logLevel_; }

    // --- diagnostics
    void DumpState(std::FILE* file);
    std::string StateText();
    void Trace(const std::string& text);
    void TraceSocketError(const char* operation, int error, const std::string& systemText);
    void SetReportErrors(bool on) { reportErrors_ = on; }
    void SetShowSocketErrors(bool on) { showSocketErrors_ = on; }
    // Takes the in-memory trace text and clears its new-text flag.
    std::string TakeTraceText();
    // The trace file (may be null); closed with a date line at disconnect.
    void SetTraceFile(std::FILE* file);

    // --- what the commands read and fill
    bridge_wire::Format& Wire() { return wire_; }
    const bridge_wire::Format& Wire() const { return wire_; }
    uint8_t CurrentTarget() const { return currentTarget_.load(); }
    uint16_t CurrentNode() const { return currentNode_.load(); }
    void SetCurrentTarget(uint8_t bus) { currentTarget_ = bus; }
    void SetCurrentNode(uint16_t node) { currentNode_ = node; }
    std::vector<CBusInfo>& BusList() { return buses_; }
    std::vector<CBusCmds>& CommandSets() { return commandSets_; }
    const CBusInfo* FindBus(uint8_t kind, uint8_t number) const;
    bool AcceptsOpcode(uint8_t target, uint8_t opcode) const;
    void ClearCommandSets();
    void SetVersionWords(uint32_t high, uint32_t low) {
        versionHigh_ = high;
        versionLow_ = low;
    }
    bool HasApplicationVersion() const { return versionHigh_ != 0 || versionLow_ != 0; }
    // Counts consecutive failed commands and traces a failure.
    void NoteCommandStatus(const CCmd& command);
    int ConsecutiveErrors() const { return consecutiveErrors_.load(); }

    // Identity and limits.
    uint32_t Address() const { return address_; }  // first octet most significant
    const std::string& Name() const { return name_; }
    const std::string& Description() const { return description_; }
    uint32_t BuildNumber() const { return build_; }
    uint16_t ApplicationId() const { return applicationId_; }
    uint16_t BrandCode() const { return brandCode_; }
    bool IdentificationReplied() const { return identified_; }
    uint32_t CycleUs() const { return cycleUs_; }
    uint32_t ReceiveSize() const { return receiveSize_; }
    uint32_t SendSize() const { return sendSize_; }
    uint32_t LargestMessage() const { return largestMessage_; }
    uint32_t CellTime() const { return cellTime_; }
    void SetCellTime(uint32_t ms) { cellTime_ = ms; }
    uint32_t BaseTimeout() const { return baseTimeout_; }
    void SetBaseTimeout(uint32_t ms) { baseTimeout_ = ms; }
    double EtherCatRate() const { return ethRate_; }
    double CanOpenRate() const { return canRate_; }
    double FoERate() const { return foeRate_; }
    // Time-out of a list moving n payload bytes at the rate: n / rate + 1000 ms.
    static uint32_t TransferEstimate(uint32_t bytes, double rate);

  private:
    struct Exchange;
    bool ConnectInner(const std::string& address);
    bool ReadIdentification(const uint8_t* data, size_t size);
    bool Handshake();
    void TakeBusRates();
    bool StartSendRecv();
    void StopSendRecv(uint32_t ms);
    void ThreadSendRecv(platform::StopToken& stop);
    void ThreadCyclic(platform::StopToken& stop);
    void ThreadLogChannel(platform::StopToken& stop);
    void SetError(int code, const std::string& text);
    void StopCyclic();
    bool OnCyclicThread() const;

    // Thread side of an exchange.
    bool SendBytes(const uint8_t* data, size_t size);
    void SendShortMessage(uint8_t opcode, uint16_t sequence);
    void FinishExchange(int result);
    void LoseLink(const std::string& text, bool trace);
    bool ReceiveFrame(std::vector<uint8_t>& buffer);

    CBridgeTimings timings_;
    uint16_t port_ = kDefaultPort;
    uint32_t address_ = 0;
    std::string addressText_;
    std::string name_, description_;
    uint32_t versionHigh_ = 0, versionLow_ = 0, build_ = 0;
    uint16_t applicationId_ = 0, brandCode_ = 0;
    bool identified_ = false;
    bridge_wire::Format wire_;

    uint32_t cycleUs_ = 20000;
    uint32_t receiveSize_ = 4096;
    uint32_t sendSize_ = 4096;
    uint32_t largestMessage_ = 0x1000000;
    uint32_t cellTime_ = 30;
    uint32_t baseTimeout_ = 2000;
    double ethRate_ = 1.0, canRate_ = 1.0, foeRate_ = 1.0;

    std::vector<CBusInfo> buses_;
    // Filled by the handshake while the send/receive thread may already ask AcceptsOpcode.
    mutable std::mutex commandSetsMutex_;
    std::vector<CBusCmds> commandSets_;  // commandSetsMutex_
    // Set and read by every caller of the client, whatever its thread.
    std::atomic<uint8_t> currentTarget_{bridge_wire::kBridgeTarget};
    std::atomic<uint16_t> currentNode_{1};

    // Socket: used by the caller while the send/receive thread is stopped, by that thread
    // alone while it runs.
    platform::TcpSocket socket_;
    // Serialises sends and closes: the abort message is sent from outside the thread.
    std::mutex sendMutex_;
    std::atomic<bool> linkUp_{false};
    platform::Event wake_{false};
    platform::Event done_{true};
    platform::Event free_{false, true};
    platform::Thread sendRecv_;

    // Hand-over of an exchange between a caller and the thread, under exchangeMutex_.
    std::mutex exchangeMutex_;
    CCmdList* pendingList_ = nullptr;
    bool pending_ = false;
    bool abandon_ = false;
    int result_ = 0;
    uint32_t exchangeTimeout_ = 0;
    uint16_t sequence_ = 0;
    std::atomic<int> consecutiveErrors_{0};

    mutable std::mutex errorMutex_;
    int lastErrorCode_ = 0;
    std::string lastErrorText_;

    // Pool and cyclic list: changed by callers, walked by the cyclic thread.
    mutable std::mutex groupsMutex_;
    CCmdArray groups_;
    CCmdList direct_;
    std::vector<int> cyclicHandles_;
    std::mutex cyclicRunMutex_;
    std::atomic<bool> cyclicEnding_{false};
    std::atomic<int64_t> cyclicStartMs_{0};
    std::atomic<int> cyclicRequest_{0};
    std::atomic<int> cyclicState_{0};
    platform::Event cyclicEvent_{false};
    platform::Thread cyclicThread_;

    platform::TcpSocket logSocket_;
    platform::Thread logThread_;
    std::atomic<bool> logRun_{false};
    uint8_t logLevel_ = 1;

    std::mutex traceMutex_;
    std::FILE* traceFile_ = nullptr;
    int64_t traceFileStartMs_ = 0;
    std::string traceText_;
    int64_t traceTextStartMs_ = 0;
    bool traceNew_ = false;
    bool reportErrors_ = false;
    bool showSocketErrors_ = false;
};

}  // namespace transport
