#pragma once
// A CANopen node behind the communication server: groups of object-dictionary variables
// run as SDO command lists, once or cyclically by the channel's scheduler thread, and
// direct reads and writes of one object.
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "linkora/Channel.h"
#include "linkora/GroupTable.h"
#include "linkora/NcsCom.h"
#include "platform/Event.h"
#include "platform/Thread.h"

namespace linkora {

class CCanOpenChannel;

class CCanOpenGroup {
  public:
    CCanOpenGroup(CNCS_COM& executor, int32_t id, LinkoraCallback callback, void* context);
    ~CCanOpenGroup();

    struct Variable {
        int32_t element = -1;
        int32_t index = -1;  // -1: free record
        int32_t subindex = 0;
        int32_t direction = 0;
        void* value = nullptr;
        uint32_t busType = 0;
        uint32_t valueType = 0;
        uint32_t* status = nullptr;
        int32_t* size = nullptr;
    };

    CNCS_COM& executor;
    int32_t id;
    CSDO_LIST_CMD* list = nullptr;
    int timeout = 0;
    LinkoraCallback callback;
    void* context;
    std::vector<Variable> variables;
    int count = 0;
    int limit = 25;
    bool dirty = true;
    std::atomic<bool> cyclic{false};
    std::atomic<uint32_t> cycle{0};
    std::atomic<int64_t> nextDue{0};
    // Held by a run and by every change of the variables, so that a run on the caller's
    // thread and one on the scheduler never share the list.
    std::mutex run;
};

class CCanOpenChannel : public CChannel {
  public:
    CCanOpenChannel(uint32_t id, std::string definition, std::vector<std::string> tokens,
                    std::vector<int> keywords);
    ~CCanOpenChannel() override;

    void Reset() override;
    uint32_t GetStatusWord() override;
    int32_t VariableAdd(int32_t group, const char* name, int direction, void* value, int size,
                        const char* ignored, uint32_t* status, int32_t* sizeOut) override;
    int32_t VariableAddValue(int32_t group, const char* name, int direction, void* value, uint32_t busType,
                             uint32_t valueType, const char* ignored, uint32_t* status,
                             int32_t* sizeOut) override;
    int32_t VariableSet(int32_t group, int32_t variable, int direction, void* value, int size,
                        const char* ignored, uint32_t* status, int32_t* sizeOut) override;
    int32_t VariableGet(int32_t group, int32_t variable, std::string& name, int* direction, void** value,
                        int* size, std::string& text) override;
    int32_t VariableRemove(int32_t group, int32_t variable) override;
    int32_t VariableRemoveAll(int32_t group) override;
    int32_t VariableGetCount(int32_t group) override;
    int32_t VariableGetMaxCount(int32_t group) override;
    bool GroupExists(int32_t group) override;
    int32_t GetGroupCount() override;
    int32_t GroupCreate(LinkoraCallback callback, void* context) override;
    int32_t GroupRemoveAll() override;
    int32_t GroupRemove(int32_t group) override;
    int32_t GroupStop(int32_t group) override;
    int32_t GroupExecute(int32_t group, uint32_t time, uint32_t cycle) override;
    int32_t GetMaxVariables() override { return 25; }
    int32_t GroupPauseExecute() override;
    int32_t GroupResumeExecute() override;
    int32_t Read(const char* name, void* buffer, int size, int timeout, int mode, int* transferred) override;
    int32_t ReadValue(const char* name, void* buffer, uint32_t busType, uint32_t valueType, int timeout,
                      int mode, int* transferred) override;
    int32_t Write(const char* name, void* buffer, int size, int timeout, int mode, int* transferred) override;
    bool CheckItemName(const char* name, uint32_t, uint32_t, uint32_t, uint32_t) override;
    int32_t CheckReadWrite(int32_t handle, uint32_t* value) override;
    uint32_t GetErrorText(uint32_t code, std::string& text) override;
    int32_t Close(std::string& error) override;
    int32_t Open(std::string& error) override;
    int32_t GetConnectResult() override;
    void SetOwnerWindow(uintptr_t window, LinkoraPostMessage post) override {
        executor_.SetOwnerWindow(window, post);
    }

    CNCS_COM& Executor() { return executor_; }
    int NetworkNumber() const { return network_; }
    int NodeId() const { return node_; }

  private:
    using GroupPtr = std::shared_ptr<CCanOpenGroup>;
    GroupPtr FindGroup(int32_t group);
    // Stops the group and runs change on it under the group locks; GroupStop's code when that
    // fails.
    template <class Change>
    int32_t WithStoppedGroup(int32_t group, Change change);
    int32_t AddRecord(int32_t group, const char* name, int direction, void* value, uint32_t busType,
                      uint32_t valueType, uint32_t* status, int32_t* sizeOut);
    int32_t BuildList(CCanOpenGroup& group);
    int32_t RunOnce(CCanOpenGroup& group);
    int32_t Transfer(bool write, const char* name, void* buffer, int size, int timeout, int mode,
                     int* transferred);
    bool Pause(int limitMs);
    void Resume();
    void StartScheduler();
    void StopScheduler();
    void SchedulerLoop();
    int64_t ClockMs() const;

    CNCS_COM executor_{this};
    int network_ = 0;
    int node_ = -1;
    std::recursive_mutex groupsMutex_;  // callers' changes of the group array
    CGroupTable<CCanOpenGroup> groups_;
    std::atomic<int> cyclicCount_{0};
    std::atomic<int> pauseLimit_{1000};
    platform::Thread scheduler_;
    std::mutex schedulerMutex_;  // the decision to start or end the scheduler thread
    bool schedulerAlive_ = false;
    std::atomic<int> requested_{0};
    std::atomic<int> current_{0};
    platform::Event wake_{false};
    std::mutex snapshotMutex_;
    std::vector<GroupPtr> snapshot_;

    struct Pending {
        CSDO_LIST_CMD* list;
        int64_t queuedMs;
    };
    std::mutex pendingMutex_;
    std::map<int32_t, Pending> pending_;
    int32_t nextHandle_ = 0x10000000;
    int64_t clockStart_;
};

}  // namespace linkora
