// The 29 exported functions and the owner window's setter: each finds the calling process's channel and
// forwards.
#include "linkora/ChannelManager.h"
#include "linkora/LinkoraApi.h"
#include "platform/bstr/Bstr.h"

using namespace linkora;

namespace {

constexpr int32_t kNoChannel = -10;

std::shared_ptr<CChannel> Channel(int32_t id) {
    CChannelManager* manager = CChannelManager::ForCurrentProcess();
    return manager ? manager->Find(id) : nullptr;
}

__attribute__((constructor)) void LibraryAttach() {
    CChannelManager::Attach();
}

__attribute__((destructor)) void LibraryDetach() {
    CChannelManager::Detach();
    CServerSessionRegistry::Destroy();
}

}  // namespace

extern "C" {

int32_t ChannelCreate(const char* definition) {
    CChannelManager* manager = CChannelManager::ForCurrentProcess();
    return manager ? manager->Create(definition) : -1;
}

void ChannelDestroy(int32_t channel) {
    if (CChannelManager* manager = CChannelManager::ForCurrentProcess()) manager->Destroy(channel);
}

void ChannelDestroyAll() {
    if (CChannelManager* manager = CChannelManager::ForCurrentProcess()) manager->DestroyAll();
}

int32_t ChannelConnect(int32_t channel) {
    auto c = Channel(channel);
    return c ? c->Connect() : kNoChannel;
}

int32_t ChannelDisconnect(int32_t channel) {
    auto c = Channel(channel);
    return c ? c->Close(c->LastError()) : kNoChannel;
}

int32_t ChannelStatus(int32_t channel, uint32_t* status) {
    auto c = Channel(channel);
    if (!c) return kNoChannel;
    if (status) *status = c->GetStatusWord();
    return c->State();
}

int32_t ChannelSetOwnerWindow(int32_t channel, uintptr_t window, LinkoraPostMessage post) {
    auto c = Channel(channel);
    if (!c) return kNoChannel;
    c->SetOwnerWindow(window, post);
    return 0;
}

int32_t ChannelReset(int32_t channel, int mode) {
    auto c = Channel(channel);
    if (!c) return kNoChannel;
    if (mode == 1) c->Reset();
    return 0;
}

void ChannelDefault(int32_t channel) {
    if (CChannelManager* manager = CChannelManager::ForCurrentProcess()) manager->SetDefault(channel);
}

int32_t GroupCreate(int32_t channel, LinkoraGroupCallback callback, void* context) {
    auto c = Channel(channel);
    return c ? c->GroupCreate(callback, context) : kNoChannel;
}

int32_t GroupRemove(int32_t channel, int32_t group) {
    auto c = Channel(channel);
    if (!c) return kNoChannel;
    c->GroupRemove(group);
    return 0;
}

int32_t GroupRemoveAll(int32_t channel) {
    auto c = Channel(channel);
    if (!c) return kNoChannel;
    c->GroupRemoveAll();
    return 0;
}

int32_t GroupExecute(int32_t channel, int32_t group, uint32_t time, uint32_t cycle) {
    auto c = Channel(channel);
    return c ? c->GroupExecute(group, time, cycle) : kNoChannel;
}

int32_t GroupStop(int32_t channel, int32_t group) {
    auto c = Channel(channel);
    return c ? c->GroupStop(group) : kNoChannel;
}

int32_t GroupPauseExecute(int32_t channel) {
    auto c = Channel(channel);
    return c ? c->GroupPauseExecute() : kNoChannel;
}

int32_t GroupResumeExecute(int32_t channel) {
    auto c = Channel(channel);
    return c ? c->GroupResumeExecute() : kNoChannel;
}

int32_t VariableAdd(int32_t channel, int32_t group, const char* name, int direction, void* value, int size,
                    const char* ignored, uint32_t* status, int32_t* sizeOut) {
    auto c = Channel(channel);
    return c ? c->VariableAdd(group, name, direction, value, size, ignored, status, sizeOut) : kNoChannel;
}

int32_t VariableAddValue(int32_t channel, int32_t group, const char* name, int direction, void* value,
                         uint32_t busType, uint32_t valueType, const char* ignored, uint32_t* status,
                         int32_t* sizeOut) {
    auto c = Channel(channel);
    return c ? c->VariableAddValue(group, name, direction, value, busType, valueType, ignored, status,
                                   sizeOut)
             : kNoChannel;
}

int32_t VariableSet(int32_t group, int32_t variable, int direction, void* value, int size,
                    const char* ignored, uint32_t* status, int32_t* sizeOut) {
    auto c = Channel(0);
    return c ? c->VariableSet(group, variable, direction, value, size, ignored, status, sizeOut) : kNoChannel;
}

int32_t VariableGet(int32_t group, int32_t variable, BSTR* name, int* direction, void** value, int* size,
                    BSTR* text) {
    auto c = Channel(0);
    if (!c) return kNoChannel;
    std::string nameText, textText;
    const int32_t rc = c->VariableGet(group, variable, nameText, direction, value, size, textText);
    if (name) *name = rc == 0 ? platform::BstrFromUtf8(nameText) : nullptr;
    if (text) *text = rc == 0 ? platform::BstrFromUtf8(textText) : nullptr;
    return rc;
}

int32_t VariableGetCount(int32_t group) {
    auto c = Channel(0);
    return c ? c->VariableGetCount(group) : kNoChannel;
}

int32_t VariableGetMaxCount(int32_t group) {
    auto c = Channel(0);
    return c ? c->VariableGetMaxCount(group) : kNoChannel;
}

int32_t VariableRemove(int32_t group, int32_t variable) {
    auto c = Channel(0);
    return c ? c->VariableRemove(group, variable) : kNoChannel;
}

int32_t VariableRemoveAll(int32_t group) {
    auto c = Channel(0);
    return c ? c->VariableRemoveAll(group) : kNoChannel;
}

int32_t Read(const char* name, void* buffer, int size, int timeout, int mode, int* transferred) {
    auto c = Channel(0);
    return c ? c->Read(name, buffer, size, timeout, mode, transferred) : kNoChannel;
}

int32_t ReadValue(const char* name, void* buffer, uint32_t busType, uint32_t valueType, int timeout, int mode,
                  int* transferred) {
    auto c = Channel(0);
    return c ? c->ReadValue(name, buffer, busType, valueType, timeout, mode, transferred) : kNoChannel;
}

int32_t Write(const char* name, void* buffer, int size, int timeout, int mode, int* transferred) {
    auto c = Channel(0);
    return c ? c->Write(name, buffer, size, timeout, mode, transferred) : kNoChannel;
}

int32_t CheckReadWrite(int32_t handle, uint32_t* value) {
    auto c = Channel(0);
    return c ? c->CheckReadWrite(handle, value) : kNoChannel;
}

int32_t GetLastErrorStr(BSTR* text, int32_t channel) {
    auto c = Channel(channel);
    if (!c) return kNoChannel;
    if (text) *text = platform::BstrFromUtf8(c->LastError());
    return 0;
}

int32_t GetErrorDetails(uint32_t code, BSTR* text, uint32_t* detail, int32_t channel) {
    auto c = Channel(channel);
    if (!c) return kNoChannel;
    std::string message;
    const uint32_t result = c->GetErrorText(code, message);
    if (text) *text = platform::BstrFromUtf8(message);
    if (detail) *detail = result;
    return 0;
}
}
