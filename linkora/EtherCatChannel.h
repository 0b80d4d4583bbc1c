#pragma once
// An EtherCAT channel: keeps groups and variables like a store but moves no data; its
// connect reports 1, which callers treat as a failed connection.
#include <memory>
#include <mutex>
#include <vector>

#include "linkora/Channel.h"
#include "linkora/GroupTable.h"

namespace linkora {

class CEtherCatGroup {
  public:
    struct Variable {
        int32_t index = -1;  // -1: free record
        int32_t subindex = 0;
        int32_t direction = 0;
        void* value = nullptr;
        int32_t size = 0;
        uint32_t* status = nullptr;
    };
    int32_t id = 0;
    LinkoraCallback callback = nullptr;
    void* context = nullptr;
    std::vector<Variable> variables;
    int count = 0;
    int limit = 25;
    bool dirty = false;
};

class CEtherCatChannel : public CChannel {
  public:
    using CChannel::CChannel;
    ~CEtherCatChannel() override;

    void Reset() override {}
    uint32_t GetStatusWord() override { return 0; }
    int32_t VariableAdd(int32_t group, const char* name, int direction, void* value, int size,
                        const char* ignored, uint32_t* status, int32_t* sizeOut) override;
    int32_t VariableAddValue(int32_t, const char*, int, void*, uint32_t, uint32_t, const char*, uint32_t*,
                             int32_t*) override {
        return 11;
    }
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
    int32_t GroupStop(int32_t) override { return 0; }
    int32_t GroupExecute(int32_t group, uint32_t time, uint32_t cycle) override;
    int32_t GetMaxVariables() override { return 25; }
    int32_t GroupPauseExecute() override { return 0; }
    int32_t GroupResumeExecute() override { return 0; }
    int32_t Read(const char*, void*, int, int, int, int*) override { return 0; }
    int32_t ReadValue(const char*, void*, uint32_t, uint32_t, int, int, int*) override { return 0; }
    int32_t Write(const char*, void*, int, int, int, int*) override { return 0; }
    bool CheckItemName(const char*, uint32_t, uint32_t, uint32_t, uint32_t) override { return false; }
    int32_t CheckReadWrite(int32_t, uint32_t*) override { return 0; }
    uint32_t GetErrorText(uint32_t, std::string& text) override {
        text.clear();
        return 0;
    }
    int32_t Close(std::string&) override { return 0; }
    int32_t Open(std::string&) override { return 0; }
    int32_t GetConnectResult() override { return 1; }

  private:
    CEtherCatGroup* Find(int32_t group);
    // Runs change on the group under the channel's lock; 11 when there is no such group.
    template <class Change>
    int32_t WithGroup(int32_t group, Change change);
    std::mutex mutex_;
    CGroupTable<CEtherCatGroup> groups_;
};

}  // namespace linkora
