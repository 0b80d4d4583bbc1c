#pragma once
// A channel of the library: one node on one bus, behind a communication server.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "linkora/LinkoraApi.h"
#include "linkora/ServerSession.h"

namespace linkora {

using LinkoraCallback = void (*)(uint32_t group, uint32_t error, void* context);

enum ChannelState : int32_t {
    kStateConnected = 0,
    kStateDisconnected = -23,
    kStateNodeOffline = -24,
    kStateServerGone = -26,
    kStateNodeReady = -27,
};

class CChannel {
  public:
    CChannel(uint32_t id, std::string definition, std::vector<std::string> tokens, std::vector<int> keywords);
    virtual ~CChannel();
    CChannel(const CChannel&) = delete;
    CChannel& operator=(const CChannel&) = delete;

    virtual void Reset() = 0;
    virtual uint32_t GetStatusWord() = 0;
    virtual int32_t VariableAdd(int32_t group, const char* name, int direction, void* value, int size,
                                const char* ignored, uint32_t* status, int32_t* sizeOut) = 0;
    virtual int32_t VariableAddValue(int32_t group, const char* name, int direction, void* value,
                                     uint32_t busType, uint32_t valueType, const char* ignored,
                                     uint32_t* status, int32_t* sizeOut) = 0;
    virtual int32_t VariableSet(int32_t group, int32_t variable, int direction, void* value, int size,
                                const char* ignored, uint32_t* status, int32_t* sizeOut) = 0;
    virtual int32_t VariableGet(int32_t group, int32_t variable, std::string& name, int* direction,
                                void** value, int* size, std::string& text) = 0;
    virtual int32_t VariableRemove(int32_t group, int32_t variable) = 0;
    virtual int32_t VariableRemoveAll(int32_t group) = 0;
    virtual int32_t VariableGetCount(int32_t group) = 0;
    virtual int32_t VariableGetMaxCount(int32_t group) = 0;
    virtual bool GroupExists(int32_t group) = 0;
    virtual int32_t GetGroupCount() = 0;
    virtual int32_t GroupCreate(LinkoraCallback callback, void* context) = 0;
    virtual int32_t GroupRemoveAll() = 0;
    virtual int32_t GroupRemove(int32_t group) = 0;
    virtual int32_t GroupStop(int32_t group) = 0;
    virtual int32_t GroupExecute(int32_t group, uint32_t time, uint32_t cycle) = 0;
    virtual int32_t GetMaxVariables() = 0;
    virtual int32_t GroupPauseExecute() = 0;
    virtual int32_t GroupResumeExecute() = 0;
    virtual int32_t Read(const char* name, void* buffer, int size, int timeout, int mode,
                         int* transferred) = 0;
    virtual int32_t ReadValue(const char* name, void* buffer, uint32_t busType, uint32_t valueType,
                              int timeout, int mode, int* transferred) = 0;
    virtual int32_t Write(const char* name, void* buffer, int size, int timeout, int mode,
                          int* transferred) = 0;
    virtual bool CheckItemName(const char* name, uint32_t, uint32_t, uint32_t, uint32_t) = 0;
    virtual int32_t CheckReadWrite(int32_t handle, uint32_t* value) = 0;
    virtual uint32_t GetErrorText(uint32_t code, std::string& text) = 0;
    virtual int32_t Close(std::string& error) = 0;
    virtual int32_t Open(std::string& error) = 0;
    virtual int32_t GetConnectResult() = 0;
    // Where the channel's network notices go; channels without them ignore it.
    virtual void SetOwnerWindow(uintptr_t, LinkoraPostMessage) {}

    bool IsConnected() const;
    // The connect of the library interface: server name, session, Open, Reset.
    int32_t Connect();

    int32_t State() const { return state_.load(); }
    void SetState(int32_t state) { state_ = state; }
    const std::string& Definition() const { return definition_; }
    const std::vector<std::string>& Tokens() const { return tokens_; }
    uint32_t Id() const { return id_; }
    std::string& LastError() { return lastError_; }

    // Glue to the session (login with the given table, logout, calls).
    uint32_t ServerLogin(librarytable* table, std::string& error);
    uint32_t ServerLogout(std::string& error);
    uint32_t ServerCall(int library, int function, uint16_t firstWord, uint32_t secondWord, void* request,
                        uint32_t requestSize, void* answer, uint32_t answerSize, std::string& error);
    librarytable* Table() const { return table_; }
    // A server event for this channel's login (low 24 bits: the event number).
    void OnServerEvent(uint32_t event);

  protected:
    // Derived destructors call this first, while their own state is still whole.
    void CloseIfConnected();

  private:
    std::atomic<int32_t> state_{kStateDisconnected};
    std::string lastError_;
    std::string serverName_;
    CServerSession* session_ = nullptr;
    uint32_t id_;
    std::string definition_;
    std::vector<std::string> tokens_;
    std::vector<int> keywords_;
    librarytable* table_ = nullptr;
};

// The object index and subindex of a name "index.subindex" (hexadecimal).
bool ParseItemName(const char* name, int32_t& index, int32_t& subindex);
// The name of an object as the variable queries give it: "%x.%x" of index and subindex.
std::string ItemName(int32_t index, int32_t subindex);

}  // namespace linkora
