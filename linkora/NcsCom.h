#pragma once
// The SDO command executor: lists of up to 25 SDO elements run against one CANopen node
// through the communication server, by a worker thread per executor.
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "linkora/LinkoraApi.h"
#include "linkora/ServerSession.h"
#include "platform/Event.h"
#include "platform/Thread.h"

#define LINKORA_CLASS __attribute__((visibility("default")))

namespace linkora {

class CChannel;

constexpr int kNcsMaxElements = 25;
constexpr size_t kNcsFrameSize = 944;
constexpr size_t kNcsDataSize = 1016;
constexpr uint32_t kNcsChunk = 974;

enum NcsCode : uint32_t {
    kNcsInvalidList = 0x120000,
    kNcsNoWriteMemory = 0x120001,
    kNcsNoReadMemory = 0x120002,
    kNcsTimeout = 0x120003,
    kNcsTooManyElements = 0x120004,
    kNcsNodeOffline = 0x120005,
    kNcsNetworkDown = 0x120006,
    kNcsCallFailed = 0x120007,
    kNcsBusy = 0x120008,
};

// Transfer phases of a list.
enum NcsPhase : int {
    kPhaseIdle = 0,
    kPhaseSend = 1,
    kPhaseWriteData = 2,
    kPhasePoll = 3,
    kPhaseReadData = 5,
    kPhaseFinish = 6
};

// One SDO command list. Frame fields are big-endian.
class CSDO_LIST_CMD {
  public:
    CSDO_LIST_CMD();

    platform::Event completion{false};
    std::mutex lock;  // held by the worker while it processes the list
    std::atomic<int> phase{kPhaseIdle};
    int timeout = 2000;
    int executeTime = 1000;
    int retryDelay = 10;
    int retryCount = 1;
    int elements = 0;
    uint32_t writeTotal = 0, writeSent = 0;
    std::vector<uint8_t> writeData;
    uint32_t readTotal = 0, readReceived = 0;
    std::vector<uint8_t> readData;
    struct Element {
        uint32_t domainSize = 0;
        void* data = nullptr;
        uint32_t offset = 0;
    } element[kNcsMaxElements];
    std::atomic<uint32_t> errorCode{0};
    uint32_t errorDetail = 0;
    std::atomic<int> status{2};  // 2 running, 1 done, -1 failed
    int wait = 1;
    uint8_t request[kNcsFrameSize];
    uint8_t answer[kNcsFrameSize];
    bool prepare = false;
};

class LINKORA_CLASS CNCS_COM {
  public:
    // The owner channel carries every server call; without one the executor cannot log in.
    explicit CNCS_COM(CChannel* owner = nullptr);
    virtual ~CNCS_COM();
    CNCS_COM(const CNCS_COM&) = delete;
    CNCS_COM& operator=(const CNCS_COM&) = delete;

    CSDO_LIST_CMD* NCS_Create(int wait);
    void NCS_Destroy(CSDO_LIST_CMD* list);
    int NCS_NodeIdSel(int node, int network);
    int NCS_SDO_Add(CSDO_LIST_CMD* list, int direction, int index, int subindex, uint32_t value, int size,
                    int timeout, int flags);
    int NCS_SDO_AddDomain(CSDO_LIST_CMD* list, int direction, int index, int subindex, void* data, int size,
                          int timeout, int type, int flags);
    uint32_t NCS_Execute(CSDO_LIST_CMD* list, int timeout);
    int NCS_GetStatus(CSDO_LIST_CMD* list);
    int64_t NCS_GetErrorCode(CSDO_LIST_CMD* list);
    bool NCS_IsFinished(CSDO_LIST_CMD* list);
    bool NCS_IsCorrect(CSDO_LIST_CMD* list);
    int NCS_SDO_GetStatus(CSDO_LIST_CMD* list, int element);
    bool NCS_SDO_IsCorrect(CSDO_LIST_CMD* list, int element);
    bool NCS_SDO_IsAbort(CSDO_LIST_CMD* list, int element);
    uint32_t NCS_SDO_GetValue(CSDO_LIST_CMD* list, int element);
    void NCS_SetError(CSDO_LIST_CMD* list, uint32_t code, uint32_t detail);
    int NCS_DecodeError(CSDO_LIST_CMD* list, std::string& text, uint32_t code);
    int NCS_CalculateExecuteTime(CSDO_LIST_CMD* list);
    int NCS_CalculateTimeoutList(CSDO_LIST_CMD* list);

    int Add(CSDO_LIST_CMD* list);
    // The oldest queued list, already locked for the worker; null when the queue is empty.
    CSDO_LIST_CMD* GetNextCmd();
    void CmdExecuted(CSDO_LIST_CMD* list);
    void ProcessNCS(CSDO_LIST_CMD* list);
    uint32_t ChkEthError(CSDO_LIST_CMD* list, uint32_t result);
    // Where the network-down (0x402) and node-off-line (0x401) notices go; 0 for nowhere.
    void SetOwnerWindow(uintptr_t window, LinkoraPostMessage post);
    int ChkFrameError(CSDO_LIST_CMD* list);
    static void ExecutorThread(CNCS_COM* executor);
    int Stop();
    int GetErrorCount() const { return errorCount_.load(); }
    void ResetErrorCount() { errorCount_ = 0; }

    uint32_t Login(librarytable* extra, std::string& error);
    uint32_t Logout(std::string& error);
    void SetOnLineStatus(int online) { online_ = online != 0; }
    bool IsOnLine() const { return online_.load(); }
    void CallBack(int event, unsigned short code, int, void* data, const char* text);
    void OnTimer(unsigned int timer);
    uint16_t ReadLibVersion();
    uint32_t TestNodeTime();

    uint32_t TestResult() const { return testResult_; }
    int QueuedTime() const;
    // Timing figures in microseconds.
    void SetTimings(int request, int waitResponse, int sleep, int element);
    int RequestTime() const { return requestTime_; }
    int WaitResponseTime() const { return waitTime_; }
    int SleepTime() const { return sleepTime_; }
    int ElementTime() const { return elementTime_; }

  private:
    uint32_t Call(int function, uint16_t firstWord, uint32_t secondWord, void* request, uint32_t requestSize,
                  void* answer, uint32_t answerSize, std::string& error);
    bool RemoveQueued(CSDO_LIST_CMD* list);

    int queuedTime_ = 0;  // under timeLock_
    int network_ = 0;
    int node_ = -1;
    bool pendingLogout_ = false;
    bool pendingStatus_ = false;
    std::atomic<bool> online_{false};
    std::vector<librarytable> table_;
    uint32_t loginStage_ = 0;
    uint8_t header_[28] = {};
    uint32_t lastNotified_ = 0;
    // Set by the owner's thread, read by the executor's.
    mutable std::mutex ownerMutex_;
    uintptr_t ownerWindow_ = 0;               // ownerMutex_
    LinkoraPostMessage ownerPost_ = nullptr;  // ownerMutex_
    CChannel* owner_;
    std::atomic<int> state_{-1};
    uint32_t testResult_ = 0;
    std::atomic<int> errorCount_{0};
    int requestTime_ = 16000, waitTime_ = 16000, sleepTime_ = 15000, elementTime_ = 5000;
    platform::Thread thread_;
    bool threadStarted_ = false;
    // Lock order: queueLock_, then a list's lock, then timeLock_. The worker holds a list's lock
    // while it runs the list, so the queued-time figures it settles afterwards have their own lock.
    mutable std::mutex queueLock_;
    std::deque<CSDO_LIST_CMD*> queue_;
    mutable std::mutex timeLock_;
    size_t queuedCount_ = 0;  // queue_.size(), kept under timeLock_ with queuedTime_
    std::mutex stateLock_;
    platform::Event queueEvent_{true};
};

}  // namespace linkora
