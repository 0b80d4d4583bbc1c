#pragma once
// Client library of the communication server: a login per server and owner, calls of
// server functions by the ids the login hands back, and server events delivered on the
// client's own event thread. Plain C names, so that the channel library binds it like
// any outside client.
#include <cstdint>

#define GVTCLI_API __attribute__((visibility("default")))

extern "C" {

// One function of a login table; the id is filled in by GvtLoginNew.
struct GvtFunctionEx {
    const char* name;
    uint32_t word;
    uint32_t id;
};

// One library of a login table; the table ends with an entry whose name is null.
struct GvtLibraryEx {
    const char* name;
    const void* callerFunctions;  // the caller's own function list, not read by the client
    uint32_t count;
    GvtFunctionEx* functions;
};

// Server events: context as given to GvtLoginNew, event number, login handle, code,
// parameter and optional data (valid only during the call).
typedef void (*GvtEventCallback)(unsigned long context, unsigned long event, unsigned long handle,
                                 unsigned short code, unsigned long param, void* data, unsigned long size);

// Results (0 = success).
enum : unsigned long {
    kGvtOk = 0,
    kGvtServerUnreachable = 0x4701,
    kGvtNoAnswer = 0x4702,
    kGvtServerGone = 0x4703,
    kGvtInvalidHandle = 0x4704,
    kGvtUnknownFunction = 0x4705,
    kGvtInvalidArgument = 0x4706,
    kGvtProtocolError = 0x4707,
    kGvtNodeNotPresent = 0x4708,
    kGvtOutOfMemory = 0x4709,
    kGvtRefused = 0x470A,
};

// Server events.
enum : unsigned long {
    kGvtEventServerDisconnected = 4,
    kGvtEventNodeOffline = 24,
    kGvtEventNodeReady = 25,
};

// The server is named by its address (dotted IPv4 or host name); its port is 6065
// unless the environment sets TUNOVA_GVTSVR_PORT. A call waits at most 5000 ms for
// its answer (TUNOVA_GVTCLI_TIMEOUT_MS).
GVTCLI_API unsigned long GvtLoginNew(const char* server, GvtLibraryEx* table, unsigned long* handle,
                                     GvtEventCallback callback, unsigned long context);
GVTCLI_API unsigned long GvtCall(unsigned long handle, unsigned short firstWord, unsigned long secondWord,
                                 unsigned long function, void* request, unsigned long requestSize,
                                 void* answer, unsigned long answerSize, unsigned long* extra);
// The text of a result, NUL-terminated and cut to size bytes; returns the text length.
GVTCLI_API unsigned long GvtGetError(unsigned long code, char* text, unsigned long size);
GVTCLI_API unsigned long GvtLogout(unsigned long handle);
}

namespace gvt {
constexpr uint16_t kDefaultPort = 6065;
}
