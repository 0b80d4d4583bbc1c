#pragma once
// The exported face of the fieldbus channel library: 29 functions with plain names.
// Results are signed 32-bit; status, detail and type words are unsigned 32-bit; buffers
// stay the caller's; texts handed back are BSTRs the caller frees with SysFreeString.
#include <cstdint>

#include "platform/bstr/Bstr.h"

#define LINKORA_API __attribute__((visibility("default")))

// Every export once, in the order a binding looks them up: X(name) for each of the 29.
#define LINKORA_EXPORTS(X) \
    X(ChannelConnect)      \
    X(ChannelCreate)       \
    X(ChannelDestroy)      \
    X(ChannelDestroyAll)   \
    X(ChannelDefault)      \
    X(ChannelDisconnect)   \
    X(GroupCreate)         \
    X(GroupRemove)         \
    X(GroupRemoveAll)      \
    X(GroupExecute)        \
    X(GroupStop)           \
    X(GroupPauseExecute)   \
    X(GroupResumeExecute)  \
    X(VariableAdd)         \
    X(VariableAddValue)    \
    X(VariableRemove)      \
    X(VariableRemoveAll)   \
    X(VariableSet)         \
    X(VariableGet)         \
    X(VariableGetCount)    \
    X(VariableGetMaxCount) \
    X(Read)                \
    X(ReadValue)           \
    X(Write)               \
    X(CheckReadWrite)      \
    X(GetLastErrorStr)     \
    X(GetErrorDetails)     \
    X(ChannelStatus)       \
    X(ChannelReset)

extern "C" {

typedef void (*LinkoraGroupCallback)(uint32_t group, uint32_t error, void* context);

LINKORA_API int32_t ChannelCreate(const char* definition);
LINKORA_API void ChannelDestroy(int32_t channel);
LINKORA_API void ChannelDestroyAll();
LINKORA_API int32_t ChannelConnect(int32_t channel);
LINKORA_API int32_t ChannelDisconnect(int32_t channel);
LINKORA_API int32_t ChannelStatus(int32_t channel, uint32_t* status);
LINKORA_API int32_t ChannelReset(int32_t channel, int mode);
LINKORA_API void ChannelDefault(int32_t channel);

LINKORA_API int32_t GroupCreate(int32_t channel, LinkoraGroupCallback callback, void* context);
LINKORA_API int32_t GroupRemove(int32_t channel, int32_t group);
LINKORA_API int32_t GroupRemoveAll(int32_t channel);
LINKORA_API int32_t GroupExecute(int32_t channel, int32_t group, uint32_t time, uint32_t cycle);
LINKORA_API int32_t GroupStop(int32_t channel, int32_t group);
LINKORA_API int32_t GroupPauseExecute(int32_t channel);
LINKORA_API int32_t GroupResumeExecute(int32_t channel);

LINKORA_API int32_t VariableAdd(int32_t channel, int32_t group, const char* name, int direction, void* value,
                                int size, const char* ignored, uint32_t* status, int32_t* sizeOut);
LINKORA_API int32_t VariableAddValue(int32_t channel, int32_t group, const char* name, int direction,
                                     void* value, uint32_t busType, uint32_t valueType, const char* ignored,
                                     uint32_t* status, int32_t* sizeOut);
LINKORA_API int32_t VariableSet(int32_t group, int32_t variable, int direction, void* value, int size,
                                const char* ignored, uint32_t* status, int32_t* sizeOut);
LINKORA_API int32_t VariableGet(int32_t group, int32_t variable, BSTR* name, int* direction, void** value,
                                int* size, BSTR* text);
LINKORA_API int32_t VariableGetCount(int32_t group);
LINKORA_API int32_t VariableGetMaxCount(int32_t group);
LINKORA_API int32_t VariableRemove(int32_t group, int32_t variable);
LINKORA_API int32_t VariableRemoveAll(int32_t group);

LINKORA_API int32_t Read(const char* name, void* buffer, int size, int timeout, int mode, int* transferred);
LINKORA_API int32_t ReadValue(const char* name, void* buffer, uint32_t busType, uint32_t valueType,
                              int timeout, int mode, int* transferred);
LINKORA_API int32_t Write(const char* name, void* buffer, int size, int timeout, int mode, int* transferred);
LINKORA_API int32_t CheckReadWrite(int32_t handle, uint32_t* value);

LINKORA_API int32_t GetLastErrorStr(BSTR* text, int32_t channel);

// --- owner window of a channel's notifications (not among the 29: a binding looks it up when present)
// Message ids posted to the owner window: the network is down (lParam: a LinkoraFrameCopy of the
// answer frame that told so, which the receiver deletes) and a node went off-line (no data).
#define LINKORA_NODE_OFFLINE_MESSAGE 0x401
#define LINKORA_NETWORK_DOWN_MESSAGE 0x402
struct LinkoraFrameCopy {
    uint8_t frame[944];
};
// The owner's own way to post (the library keeps no window list of its own); true when queued.
typedef bool (*LinkoraPostMessage)(uintptr_t window, unsigned message, uintptr_t wParam, intptr_t lParam);
// A window of 0 or a null function stops the notifications.
LINKORA_API int32_t ChannelSetOwnerWindow(int32_t channel, uintptr_t window, LinkoraPostMessage post);
LINKORA_API int32_t GetErrorDetails(uint32_t code, BSTR* text, uint32_t* detail, int32_t channel);
}
