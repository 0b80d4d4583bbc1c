#pragma once

// Entry points of the ADS client library (libTcAdsDll.so), plain C names, bound by name at run
// time. Every function returns 0 or an ADS code unless said otherwise. A "port" is a handle the
// caller opened with AdsPortOpenEx; the functions without a port use the process's default port
// (AdsPortOpen).
//
// Targets are reached over AMS/TCP (default TCP port 48898) at the host that the route table
// names for the target's NetId. Route table: the file named by TUNOVA_ADS_ROUTES, else
// $XDG_CONFIG_HOME/tunova/ads-routes (~/.config/tunova/ads-routes), else /etc/tunova/ads-routes.
// One entry per line, '#' starts a comment:
//     local 10.1.2.3.1.1            our own NetId (default 127.0.0.1.1.1)
//     5.12.34.56.1.1 127.0.0.1      the host serving that NetId, port 48898
//     5.12.34.56.2.1 10.0.0.7 4000  the same with another TCP port
//     * 127.0.0.1                   a router for every NetId not listed
// The table is read again whenever a port is opened.

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct AdsNetId {
    uint8_t b[6];
} AdsNetId;

typedef struct AdsAddress {
    AdsNetId netId;
    uint16_t port;
} AdsAddress;

typedef struct AdsLibVersion {
    uint8_t version;
    uint8_t revision;
    uint16_t build;
} AdsLibVersion;

// What a device notification watches and how often the server sends it.
typedef struct AdsNotifyAttrib {
    uint32_t length;
    uint32_t transMode;  // 3 server cycle, 4 on change
    uint32_t maxDelay;   // 100 ns units
    uint32_t cycleTime;  // 100 ns units
} AdsNotifyAttrib;

typedef struct AdsNotifySample {
    uint32_t handle;
    uint64_t timestamp;  // as the server stamped it
    uint32_t size;
    const uint8_t* data;  // valid during the callback only
} AdsNotifySample;

// Called on the library's receive thread.
typedef void (*AdsNotifyCallback)(const AdsAddress* source, const AdsNotifySample* sample, uint32_t user);
// Router events: 0 a connection to a target was lost, 1 it came back.
typedef void (*AdsRouterCallback)(long event);

enum {
    kAdsRouterConnectionLost = 0,
    kAdsRouterConnectionBack = 1,
};

// Codes the library itself gives (besides those the target answers).
enum {
    kAdsErrTargetNotFound = 0x7,      // no route to the NetId
    kAdsErrInvalidParameter = 0x741,  // a null pointer or a length that does not fit
    kAdsErrTimeout = 0x745,           // no reply within the port's time-out
    kAdsErrClientTimeoutInvalid = 0x747,
    kAdsErrPortNotOpen = 0x748,
    kAdsErrNoAmsAddress = 0x749,
    kAdsErrInvalidResponse = 0x754,   // a reply that could not be decoded
    kAdsErrConnectionReset = 0x2746,  // the target closed the connection
    kAdsErrConnectTimeout = 0x274C,
    kAdsErrConnectRefused = 0x274D,
    kAdsErrHostUnreachable = 0x2751,
};

// Version (low byte), revision, build (high 16 bits).
long AdsGetDllVersion(void);
long AdsPortOpen(void);
long AdsPortClose(void);
long AdsGetLocalAddress(AdsAddress* address);
long AdsSyncWriteReq(const AdsAddress* target, uint32_t group, uint32_t offset, uint32_t length,
                     const void* data);
long AdsSyncReadReq(const AdsAddress* target, uint32_t group, uint32_t offset, uint32_t length, void* data);
long AdsSyncWriteReqEx(long port, const AdsAddress* target, uint32_t group, uint32_t offset, uint32_t length,
                       const void* data);
long AdsSyncReadWriteReq(const AdsAddress* target, uint32_t group, uint32_t offset, uint32_t readLength,
                         void* readData, uint32_t writeLength, const void* writeData);
long AdsSyncReadWriteReqEx(const AdsAddress* target, uint32_t group, uint32_t offset, uint32_t readLength,
                           void* readData, uint32_t writeLength, const void* writeData, uint32_t* bytesRead);
// name: at least 17 bytes.
long AdsSyncReadDeviceInfoReq(const AdsAddress* target, char* name, AdsLibVersion* version);
long AdsSyncWriteControlReq(const AdsAddress* target, uint16_t adsState, uint16_t deviceState,
                            uint32_t length, const void* data);
long AdsSyncReadStateReq(const AdsAddress* target, uint16_t* adsState, uint16_t* deviceState);
long AdsSyncAddDeviceNotificationReq(const AdsAddress* target, uint32_t group, uint32_t offset,
                                     const AdsNotifyAttrib* attrib, AdsNotifyCallback callback, uint32_t user,
                                     uint32_t* handle);
long AdsSyncDelDeviceNotificationReq(const AdsAddress* target, uint32_t handle);
long AdsSyncSetTimeout(long ms);
// The last code a function of this library gave on the calling thread.
long AdsGetLastError(void);
long AdsAmsRegisterRouterNotification(AdsRouterCallback callback);
long AdsAmsUnRegisterRouterNotification(void);
long AdsSyncGetTimeout(long* ms);
long AdsAmsPortEnabled(int* enabled);
// A new port number, 0 on failure.
long AdsPortOpenEx(void);
long AdsPortCloseEx(long port);
long AdsGetLocalAddressEx(long port, AdsAddress* address);
long AdsSyncReadReqEx2(long port, const AdsAddress* target, uint32_t group, uint32_t offset, uint32_t length,
                       void* data, uint32_t* bytesRead);
long AdsSyncReadWriteReqEx2(long port, const AdsAddress* target, uint32_t group, uint32_t offset,
                            uint32_t readLength, void* readData, uint32_t writeLength, const void* writeData,
                            uint32_t* bytesRead);
long AdsSyncReadDeviceInfoReqEx(long port, const AdsAddress* target, char* name, AdsLibVersion* version);
long AdsSyncWriteControlReqEx(long port, const AdsAddress* target, uint16_t adsState, uint16_t deviceState,
                              uint32_t length, const void* data);
long AdsSyncReadStateReqEx(long port, const AdsAddress* target, uint16_t* adsState, uint16_t* deviceState);
long AdsSyncAddDeviceNotificationReqEx(long port, const AdsAddress* target, uint32_t group, uint32_t offset,
                                       const AdsNotifyAttrib* attrib, AdsNotifyCallback callback,
                                       uint32_t user, uint32_t* handle);
long AdsSyncDelDeviceNotificationReqEx(long port, const AdsAddress* target, uint32_t handle);
long AdsSyncSetTimeoutEx(long port, long ms);
long AdsSyncGetTimeoutEx(long port, long* ms);
long AdsAmsPortEnabledEx(long port, int* enabled);

#ifdef __cplusplus
}
#endif
