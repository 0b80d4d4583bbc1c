#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/CodeText.h"
#include "platform/DynamicLibrary.h"
#include "platform/Event.h"
#include "platform/Messages.h"
#include "platform/Thread.h"
#include "platform/ads/AdsApi.h"
#include "transport/BusNodeData.h"
#include "transport/ErrorPair.h"
#include "transport/NodeIdentification.h"

namespace transport {

// What the ADS channel needs of a vocabulary item.
struct CAdsItem {
    std::string name;
    bool hasIndex = false;  // the item has a fieldbus (CoE) address
    uint16_t index = 0;
    uint8_t subIndex = 0;
    uint32_t size = 0;
    uint8_t sign = 0;  // sign class: 0 unsigned, 1 signed, 2 and 3 sized by the caller

    uint32_t IndexOffset() const { return static_cast<uint32_t>(index) << 16 | subIndex; }
};

// One entry of a command list.
struct CoECommand {
    uint32_t sequence = 0;
    uint32_t indexOffset = 0;
    uint32_t size = 0;    // bytes exchanged on the wire
    uint32_t result = 0;  // last ADS code, 0 good
    uint32_t* byteCount = nullptr;
    void* buffer = nullptr;  // the caller's, callerSize bytes
    uint32_t callerSize = 0;
    uint32_t* resultOut = nullptr;
    uint8_t* variableState = nullptr;  // 0 valid, 2 read error after cyclic runs
    uint8_t write = 0;
    uint8_t isSigned = 0;
};

// A group of commands (or the channel's direct list).
class CoEList {
  public:
    static constexpr uint32_t kDefaultBudgetMs = 1000;

    void Clear();

    std::vector<std::unique_ptr<CoECommand>> commands;
    bool removed = false;
    bool cyclic = false;
    uint32_t budgetMs = kDefaultBudgetMs;
    uint32_t periodMs = 0;
    int64_t nextDueMs = 0;
    bool notify = false;
    uint32_t sequence = 0;
    platform::WindowHandle window = 0;
    unsigned message = 0;
};

// Pool of groups: handle = slot + 1; 50 slots at start, grown by 10; freed slots are reused
// first, and at most 10 spare lists stay allocated.
class CoEListArray {
  public:
    CoEListArray() { Reset(); }
    // A cleared list in a free slot; the slot index.
    int Take();
    // The live group of a handle, null when the handle names no used slot.
    CoEList* Find(int handle) const;
    void Give(int slot);
    // Deletes every group and goes back to 50 empty slots.
    void Reset();
    // Returns every used slot to the free list.
    void GiveAll();
    int Used() const { return used_; }

  private:
    struct Slot {
        std::unique_ptr<CoEList> list;
        bool used = false;
    };
    std::vector<Slot> slots_;
    std::vector<int> free_;  // taken from the back
    int used_ = 0;
};

// Driver of a channel of type 7: CoE objects of EtherCAT slaves read and written through the
// ADS client library (loaded at run time), the EtherCAT scan for the connect dialog, cyclic
// groups on a thread of the channel's own, and node identification.
class CTwincatAds {
  public:
    static constexpr uint32_t kIndexGroup = 0xF302;
    static constexpr uint32_t kDefaultTimeoutMs = 5000;
    static constexpr uint32_t kLockTimeoutMs = 5000;
    // Channel codes.
    static constexpr uint32_t kOverrun = 4371;
    static constexpr uint32_t kBusy = 4372;
    static constexpr uint32_t kNotConnected = 4373;
    static constexpr uint32_t kNoGroup = 4374;
    static constexpr uint32_t kPortOpenFailed = 1290;
    static constexpr int kLibraryMissing = -11;
    static constexpr int kCellNotFound = -303;
    // Group thread states.
    enum : uint32_t { kStateStop = 0, kStateRun = 1, kStatePause = 2 };

    // libraryPath: the client library's file (the program folder's libTcAdsDll.so).
    CTwincatAds(CErrorPair* owner, std::string libraryPath, int channelIndex = 0);
    ~CTwincatAds();
    CTwincatAds(const CTwincatAds&) = delete;
    CTwincatAds& operator=(const CTwincatAds&) = delete;

    bool LoadAdsLibrary();
    bool BindFunctions();
    bool IsLibraryLoaded() const { return library_.IsOpen(); }
    // The entry point that was missing at the last failed binding.
    const std::string& MissingFunction() const { return missingFunction_; }

    bool PortOpen();
    void PortClose();
    bool Connect();
    void Disconnect();
    bool IsConnected() const { return connected_.load(); }

    // The router or target chosen by the user; the slave's AMS port (its EtherCAT address).
    void SetTarget(const AdsNetId& netId, uint16_t amsPort);
    void SetTargetNetId(const AdsNetId& netId) { targetNetId_ = netId; }
    const AdsNetId& TargetNetId() const { return targetNetId_; }
    uint16_t TargetPort() const { return targetPort_; }
    const AdsAddress& RequestAddress() const { return request_; }
    void SetDefaultTimeout(uint32_t ms) { defaultTimeout_ = ms; }
    uint32_t DefaultTimeout() const { return defaultTimeout_; }

    // One item: size is in/out (bytes asked / bytes read). 0 or an ADS (or mapped) code.
    int Read(const CAdsItem& item, void* buffer, uint32_t* size, uint32_t timeoutMs);
    int Write(const CAdsItem& item, const void* data, uint32_t* size, uint32_t timeoutMs);
    bool CheckCell(const CAdsItem& item);

    // Raw requests to the request address's CoE objects.
    bool SyncReadReq(uint32_t indexOffset, uint32_t length, void* buffer, uint32_t* bytesRead);
    bool SyncWriteReq(uint32_t indexOffset, uint32_t length, const void* data);

    bool ScanDevices(CBusNodeList& list);
    // The channel list's test: a fresh port, 4 bytes of index group 0x10000000 at the request
    // address, the port closed again; true when the read succeeded.
    bool Test();

    // Groups (handles are pool slot + 1).
    int GroupCreate(platform::WindowHandle window, unsigned message);
    uint32_t GroupAddItem(int handle, const CAdsItem& item, bool write, void* buffer, uint32_t callerSize,
                          uint8_t* variableState, uint32_t* resultOut = nullptr,
                          uint32_t* byteCount = nullptr);
    int GroupExecute(int handle, int32_t cycleMs);
    int GroupStop(int handle);
    void GroupRemove(int handle);
    int GroupRemoveAll();
    int GroupClearCommands(int handle);
    int GroupRemoveCommand(int handle, uint32_t sequence);
    bool GroupExists(int handle) const;
    // The direct list: commands added whatever the group, run once.
    uint32_t DirectAddItem(const CAdsItem& item, bool write, void* buffer, int32_t givenSize,
                           uint32_t* resultOut, uint32_t* byteCount, uint8_t* variableState = nullptr);
    int DirectExecute();
    void DirectClear();

    int processGroup(CoEList* group);
    bool StopGroupThread(uint32_t ms);
    static void ThreadGroups(CTwincatAds* channel, platform::StopToken& token);

    void LogError(const char* operation, uint32_t code);
    static std::string GetErrorText(uint32_t code);
    // The fixed texts of the ADS codes and of the channel's own.
    static std::span<const platform::CodeText<uint32_t>> CodeTexts();

    int IdentifyNode(foundation::CCompatChecker* checker, NodeIdentRecord* node, uint32_t* kind,
                     uint8_t* wordSwap, uint32_t* build);
    // The context of these callbacks is the channel.
    static void VersionBrowse(std::string& errorText, void* context, int command, int parameter,
                              int* response);
    static void ReadIdentity(std::string& errorText, void* context, uint32_t* code, uint32_t* major,
                             uint32_t* minor, uint32_t* patch, uint32_t* preState, uint32_t* preNumber);

    // Guard and diagnosis.
    std::atomic<uint32_t> lastResult{kNothingHappened};
    uint32_t ErrorCounter() const { return errorCounter_.load(); }
    void ClearErrorCounter() { errorCounter_ = 0; }
    uint32_t LastAdsCode() const { return lastAdsCode_; }
    const std::string& OperationText() const { return operationText_; }
    int ChannelIndex() const { return channelIndex_; }
    long AdsPort() const { return adsPort_; }
    uint32_t RequestedState() const { return requestedState_.load(); }
    uint32_t CurrentState() const { return currentState_.load(); }
    bool GroupThreadAlive() const { return threadAlive_.load() != 0; }
    // Passes the group thread has made (tests wait on it).
    uint64_t GroupPasses() const { return passes_.load(); }
    // Schedules run on this clock (tests give a FakeClock before the first group runs).
    void SetClock(platform::Clock& clock) { clock_ = &clock; }

  private:
    struct Functions;
    bool StartGroupThread();
    // Stops the thread (request 0): 2000 ms, then 5000 ms more.
    void EndGroupThread();
    void SetOwner(int32_t code, const std::string& text);
    int Transfer(const CAdsItem& item, void* buffer, uint32_t* size, uint32_t timeoutMs, bool write);
    bool ReadMaster(uint32_t group, uint32_t offset, uint32_t length, void* buffer, uint32_t* bytesRead);
    void RunCommand(CoECommand& command);
    int IdentifyInner(foundation::CCompatChecker& checker, NodeIdentRecord& node, uint32_t* kind,
                      uint32_t* build);

    CErrorPair* owner_;
    CErrorPair ownLocal_;
    const std::string libraryPath_;
    const int channelIndex_;
    std::atomic<bool> connected_{false};
    AdsAddress request_{};
    long adsPort_ = 0;
    CoEList direct_;
    CoEListArray pool_;
    std::vector<int> runList_;
    mutable std::recursive_mutex groupsMutex_;  // pool, direct list and run list
    platform::Event channelLock_{false, true};
    platform::Event threadEvent_{false, false};
    platform::Thread thread_;
    std::atomic<uint32_t> threadAlive_{0};
    std::atomic<uint32_t> requestedState_{kStateStop};
    std::atomic<uint32_t> currentState_{kStateStop};
    std::atomic<uint64_t> passes_{0};
    std::atomic<uint32_t> errorCounter_{0};
    AdsNetId targetNetId_{};
    uint16_t targetPort_ = 0;
    uint32_t defaultTimeout_ = kDefaultTimeoutMs;
    platform::DynamicLibrary library_;
    std::string missingFunction_;
    std::string operationText_;
    uint32_t lastAdsCode_ = 0;
    std::unique_ptr<Functions> fn_;
    platform::Clock* clock_;
};

// ADS codes that have a CANopen abort code of the same meaning give that code.
uint32_t MapAdsToSdoAbort(uint32_t code);

}  // namespace transport
