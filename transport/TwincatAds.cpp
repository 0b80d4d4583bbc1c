// The ADS channel: the client library bound at run time, the port, single requests and the
// error texts.
#include "transport/TwincatAds.h"

#include <algorithm>
#include <cstring>

#include "foundation/LogFile.h"
#include "transport/ChannelTrace.h"

using namespace foundation;

namespace transport {

// Every entry point of the client library, in the order they are bound.
struct CTwincatAds::Functions {
    decltype(&::AdsGetDllVersion) getDllVersion = nullptr;
    decltype(&::AdsPortOpen) portOpen = nullptr;
    decltype(&::AdsPortClose) portClose = nullptr;
    decltype(&::AdsGetLocalAddress) getLocalAddress = nullptr;
    decltype(&::AdsSyncWriteReq) syncWriteReq = nullptr;
    decltype(&::AdsSyncReadReq) syncReadReq = nullptr;
    decltype(&::AdsSyncWriteReqEx) syncWriteReqEx = nullptr;
    decltype(&::AdsSyncReadWriteReq) syncReadWriteReq = nullptr;
    decltype(&::AdsSyncReadWriteReqEx) syncReadWriteReqEx = nullptr;
    decltype(&::AdsSyncReadDeviceInfoReq) syncReadDeviceInfoReq = nullptr;
    decltype(&::AdsSyncWriteControlReq) syncWriteControlReq = nullptr;
    decltype(&::AdsSyncReadStateReq) syncReadStateReq = nullptr;
    decltype(&::AdsSyncAddDeviceNotificationReq) syncAddDeviceNotificationReq = nullptr;
    decltype(&::AdsSyncDelDeviceNotificationReq) syncDelDeviceNotificationReq = nullptr;
    decltype(&::AdsSyncSetTimeout) syncSetTimeout = nullptr;
    decltype(&::AdsGetLastError) getLastError = nullptr;
    decltype(&::AdsAmsRegisterRouterNotification) registerRouterNotification = nullptr;
    decltype(&::AdsAmsUnRegisterRouterNotification) unregisterRouterNotification = nullptr;
    decltype(&::AdsSyncGetTimeout) syncGetTimeout = nullptr;
    decltype(&::AdsAmsPortEnabled) amsPortEnabled = nullptr;
    decltype(&::AdsPortOpenEx) portOpenEx = nullptr;
    decltype(&::AdsPortCloseEx) portCloseEx = nullptr;
    decltype(&::AdsGetLocalAddressEx) getLocalAddressEx = nullptr;
    decltype(&::AdsSyncWriteReqEx) syncWriteReqEx2nd = nullptr;
    decltype(&::AdsSyncReadReqEx2) syncReadReqEx2 = nullptr;
    decltype(&::AdsSyncReadWriteReqEx2) syncReadWriteReqEx2 = nullptr;
    decltype(&::AdsSyncReadDeviceInfoReqEx) syncReadDeviceInfoReqEx = nullptr;
    decltype(&::AdsSyncWriteControlReqEx) syncWriteControlReqEx = nullptr;
    decltype(&::AdsSyncReadStateReqEx) syncReadStateReqEx = nullptr;
    decltype(&::AdsSyncAddDeviceNotificationReqEx) syncAddDeviceNotificationReqEx = nullptr;
    decltype(&::AdsSyncDelDeviceNotificationReqEx) syncDelDeviceNotificationReqEx = nullptr;
    decltype(&::AdsSyncSetTimeoutEx) syncSetTimeoutEx = nullptr;
    decltype(&::AdsSyncGetTimeoutEx) syncGetTimeoutEx = nullptr;
    decltype(&::AdsAmsPortEnabledEx) amsPortEnabledEx = nullptr;
};

namespace {

constexpr platform::CodeText<uint32_t> kErrorTexts[] = {
    {0x0, "ok"},
    {0x1, "No error, negative or incomplete result."},
    {0x7, "EtherCAT controller not found - NetId was not found."},
    {0xB, "Unknown AMS command."},
    {0xD, "Port not connected."},
    {0xF, "Invalid AMS Net ID."},
    {0x1B, "Host unreachable."},
    {0x203, "No error, no result is available yet."},
    {0x256, "No error, successful processing, but a timeout occurred."},
    {0x50A, "Router not activated."},
    {0x700, "Error class < device error >."},
    {0x701, "Service is not supported by server."},
    {0x702, "Invalid indexGroup."},
    {0x703, "Parameter not existing."},
    {0x704, "Reading/writing not permitted."},
    {0x705, "Parameter size not correct."},
    {0x706, "Parameter value out of range."},
    {0x707, "Device is not in a ready state."},
    {0x708, "Device is busy."},
    {0x709, "Invalid context (must be InWindows)."},
    {0x70A, "Out of memory."},
    {0x70B, "Invalid parameter value(s)."},
    {0x70C, "Not found (files, ...)."},
    {0x70D, "General error."},
    {0x70E, "Objects do not match."},
    {0x70F, "Object already exists."},
    {0x710, "Symbol not found."},
    {0x711, "Symbol version invalid."},
    {0x712, "Parameter can not be read or written in the current state."},
    {0x713, "AdsTransMode not supported."},
    {0x714, "Notification handle is invalid."},
    {0x715, "Notification client not registered."},
    {0x716, "No more notification handles."},
    {0x717, "Size for watch to big."},
    {0x718, "Device not initialized."},
    {0x719, "Device has a timeout."},
    {0x71A, "Query interface failed."},
    {0x71B, "Wrong interface required."},
    {0x71C, "Class ID is invalid."},
    {0x71D, "Object ID is invalid."},
    {0x71E, "Request is pending."},
    {0x71F, "Request is aborted."},
    {0x720, "Signal warning."},
    {0x721, "Invalid array index."},
    {0x722, "Symbol not active -> release handle and try again."},
    {0x723, "Access denied."},
    {0x724, "No license found."},
    {0x725, "License expired."},
    {0x726, "License exceeded."},
    {0x727, "License invalid."},
    {0x728, "License invalid system id."},
    {0x729, "License not time limited."},
    {0x72A, "License issue time in the future."},
    {0x72B, "License time period to long."},
    {0x72C, "Exception in device specific code."},
    {0x72D, "License file read twice."},
    {0x72E, "Invalid signature."},
    {0x72F, "Public key certificate."},
    {0x740, "Error class < client error >."},
    {0x741, "Invalid parameter at service call."},
    {0x742, "Polling list\tis empty."},
    {0x743, "Var connection already in use."},
    {0x744, "Invoke id in use."},
    {0x745, "Timeout elapsed."},
    {0x746, "Error in win32 subsystem."},
    {0x747, "Client timeout invalid."},
    {0x748, "Port not opened."},
    {0x749, "No ams address."},
    {0x750, "Internal error in ads sync."},
    {0x751, "Hash table overflow."},
    {0x752, "Key not found in hash table."},
    {0x753, "No more symbols in cache."},
    {0x754, "Invalid response received."},
    {0x755, "Sync port is locked."},
    {CTwincatAds::kBusy, "Channel busy."},
    {CTwincatAds::kNoGroup, "Group does not exist."},
    {0x274C, "WSAETIMEDOUT:a connection timeout has occurred."},
    {0x274D, "WSAECONNREFUSED:connection refused."},
    {0x2751, "WSAEHOSTUNREACH:no route to host - a socket operation referred to an unavailable host."},
};

struct AbortMapping {
    uint32_t ads;
    uint32_t abort;
};
constexpr AbortMapping kAbortMappings[] = {
    {0x703, 0x06020000}, {0x704, 0x06010002}, {0x706, 0x06090030}, {0x70D, 0x08000000}, {0x712, 0x08000022},
};

}  // namespace

uint32_t MapAdsToSdoAbort(uint32_t code) {
    for (const AbortMapping& m : kAbortMappings)
        if (m.ads == code) return m.abort;
    return code;
}

std::span<const platform::CodeText<uint32_t>> CTwincatAds::CodeTexts() {
    return kErrorTexts;
}

std::string CTwincatAds::GetErrorText(uint32_t code) {
    for (const AbortMapping& m : kAbortMappings)
        if (m.abort == code) code = m.ads;
    if (const char* text = platform::FindCodeText<uint32_t>(kErrorTexts, code)) return text;
    // Formatted per call: a shared buffer would be overwritten by another thread's text.
    return Format("Error %ld(0x%x).", static_cast<long>(code), code);
}

// ---------------------------------------------------------------------------------------

void CoEList::Clear() {
    commands.clear();
    removed = false;
    cyclic = false;
    budgetMs = kDefaultBudgetMs;
    periodMs = 0;
    nextDueMs = 0;
    notify = false;
    sequence = 0;
    window = 0;
    message = 0;
}

CTwincatAds::CTwincatAds(CErrorPair* owner, std::string libraryPath, int channelIndex)
    : owner_(owner ? owner : &ownLocal_),
      libraryPath_(std::move(libraryPath)),
      channelIndex_(channelIndex),
      fn_(std::make_unique<Functions>()),
      clock_(&platform::SystemClock()) {}

CTwincatAds::~CTwincatAds() {
    if (library_.IsOpen()) Disconnect();
    EndGroupThread();
    library_.Close();
}

void CTwincatAds::SetOwner(int32_t code, const std::string& text) {
    owner_->Set(code, text);
}

bool CTwincatAds::LoadAdsLibrary() {
    if (library_.IsOpen()) return true;
    std::string error;
    if (!library_.Open(libraryPath_, &error)) {
        DebugLog().Write(error);
        SetOwner(kLibraryMissing, Format("error loading %s", libraryPath_.c_str()));
        return false;
    }
    return BindFunctions();
}

bool CTwincatAds::BindFunctions() {
    Functions f;
    std::string error;
    missingFunction_.clear();
    auto bind = [&](auto& slot, const char* name) {
        if (!missingFunction_.empty()) return;
        if (!library_.Bind(slot, name, &error)) missingFunction_ = name;
    };
    bind(f.getDllVersion, "AdsGetDllVersion");
    bind(f.portOpen, "AdsPortOpen");
    bind(f.portClose, "AdsPortClose");
    bind(f.getLocalAddress, "AdsGetLocalAddress");
    bind(f.syncWriteReq, "AdsSyncWriteReq");
    bind(f.syncReadReq, "AdsSyncReadReq");
    bind(f.syncWriteReqEx, "AdsSyncWriteReqEx");
    bind(f.syncReadWriteReq, "AdsSyncReadWriteReq");
    bind(f.syncReadWriteReqEx, "AdsSyncReadWriteReqEx");
    bind(f.syncReadDeviceInfoReq, "AdsSyncReadDeviceInfoReq");
    bind(f.syncWriteControlReq, "AdsSyncWriteControlReq");
    bind(f.syncReadStateReq, "AdsSyncReadStateReq");
    bind(f.syncAddDeviceNotificationReq, "AdsSyncAddDeviceNotificationReq");
    bind(f.syncDelDeviceNotificationReq, "AdsSyncDelDeviceNotificationReq");
    bind(f.syncSetTimeout, "AdsSyncSetTimeout");
    bind(f.getLastError, "AdsGetLastError");
    bind(f.registerRouterNotification, "AdsAmsRegisterRouterNotification");
    bind(f.unregisterRouterNotification, "AdsAmsUnRegisterRouterNotification");
    bind(f.syncGetTimeout, "AdsSyncGetTimeout");
    bind(f.amsPortEnabled, "AdsAmsPortEnabled");
    bind(f.portOpenEx, "AdsPortOpenEx");
    bind(f.portCloseEx, "AdsPortCloseEx");
    bind(f.getLocalAddressEx, "AdsGetLocalAddressEx");
    bind(f.syncWriteReqEx2nd, "AdsSyncWriteReqEx");
    bind(f.syncReadReqEx2, "AdsSyncReadReqEx2");
    bind(f.syncReadWriteReqEx2, "AdsSyncReadWriteReqEx2");
    bind(f.syncReadDeviceInfoReqEx, "AdsSyncReadDeviceInfoReqEx");
    bind(f.syncWriteControlReqEx, "AdsSyncWriteControlReqEx");
    bind(f.syncReadStateReqEx, "AdsSyncReadStateReqEx");
    bind(f.syncAddDeviceNotificationReqEx, "AdsSyncAddDeviceNotificationReqEx");
    bind(f.syncDelDeviceNotificationReqEx, "AdsSyncDelDeviceNotificationReqEx");
    bind(f.syncSetTimeoutEx, "AdsSyncSetTimeoutEx");
    bind(f.syncGetTimeoutEx, "AdsSyncGetTimeoutEx");
    bind(f.amsPortEnabledEx, "AdsAmsPortEnabledEx");
    if (!missingFunction_.empty()) {
        DebugLog().Write(error);
        library_.Close();
        SetOwner(kLibraryMissing,
                 Format("function missing in %s, please update Linkora library", libraryPath_.c_str()));
        return false;
    }
    *fn_ = f;
    return true;
}

bool CTwincatAds::PortOpen() {
    if (connected_) return true;
    adsPort_ = fn_->portOpenEx();
    if (adsPort_ == 0) {
        LogError("PortOpen()", kPortOpenFailed);
        Disconnect();
        return false;
    }
    AdsAddress local{};
    if (const long rc = fn_->getLocalAddressEx(adsPort_, &local); rc != 0) {
        LogError("GetLocalAddress()", static_cast<uint32_t>(rc));
        connected_ = true;  // so that the disconnection closes the port just opened
        Disconnect();
        return false;
    }
    const uint8_t* b = local.netId.b;
    DebugLog().Write(Format("Local NetId and port number:%u.%u.%u.%u.%u.%u:%u", b[0], b[1], b[2], b[3], b[4],
                            b[5], local.port));
    connected_ = true;
    int enabled = 1;
    if (fn_->amsPortEnabledEx(adsPort_, &enabled) == 0 && enabled == 0) {
        DebugLog().Write(Format("PortEnabled():%d", enabled));
        Disconnect();
        return false;
    }
    return true;
}

void CTwincatAds::PortClose() {
    if (!connected_) return;
    const long rc = fn_->portCloseEx(adsPort_);
    if (rc == 0) {
        DebugLog().Write(Format("PortClose():%ld", rc));
        connected_ = false;
        adsPort_ = 0;
    } else {
        LogError("PortClose()", static_cast<uint32_t>(rc));
    }
}

bool CTwincatAds::Connect() {
    if (!LoadAdsLibrary()) return false;
    if (!PortOpen()) return false;
    if (const long rc = fn_->syncSetTimeoutEx(adsPort_, static_cast<long>(defaultTimeout_)); rc != 0) {
        LogError("SyncSetTimeout()", static_cast<uint32_t>(rc));
        Disconnect();
        return false;
    }
    request_.netId = targetNetId_;
    request_.port = targetPort_;
    channelLock_.Set();
    return true;
}

void CTwincatAds::Disconnect() {
    EndGroupThread();
    {
        std::lock_guard lock(groupsMutex_);
        runList_.clear();
        pool_.Reset();
        direct_.Clear();
    }
    if (library_.IsOpen()) PortClose();
    // A port that would not close is given up all the same: the next use opens a new one.
    connected_ = false;
}

void CTwincatAds::SetTarget(const AdsNetId& netId, uint16_t amsPort) {
    targetNetId_ = netId;
    targetPort_ = amsPort;
    request_.netId = netId;
    request_.port = amsPort;
}

void CTwincatAds::LogError(const char* operation, uint32_t code) {
    lastAdsCode_ = code;
    const std::string text = GetErrorText(code);
    operationText_ = Format("%s: %s", operation, text.c_str());
    DebugLog().Write(operationText_);
    SetOwner(static_cast<int32_t>(code), text);
}

bool CTwincatAds::CheckCell(const CAdsItem& item) {
    if (item.hasIndex) return true;
    SetOwner(kCellNotFound, Format("Can cell '%s' not found", item.name.c_str()));
    return false;
}

int CTwincatAds::Read(const CAdsItem& item, void* buffer, uint32_t* size, uint32_t timeoutMs) {
    return Transfer(item, buffer, size, timeoutMs, false);
}

int CTwincatAds::Write(const CAdsItem& item, const void* data, uint32_t* size, uint32_t timeoutMs) {
    return Transfer(item, const_cast<void*>(data), size, timeoutMs, true);
}

int CTwincatAds::Transfer(const CAdsItem& item, void* buffer, uint32_t* size, uint32_t timeoutMs,
                          bool write) {
    // Without the client library no request ran: its load error, never the untouched buffer as data.
    if (!connected_ && !Connect())
        return library_.IsOpen() ? static_cast<int>(lastAdsCode_) : kLibraryMissing;
    if (!CheckCell(item)) return kCellNotFound;
    if (!channelLock_.Wait(kLockTimeoutMs)) {
        LogError("Read()", kBusy);
        return static_cast<int>(kBusy);
    }
    const bool raised = timeoutMs > defaultTimeout_;
    if (raised) {
        if (const long rc = fn_->syncSetTimeoutEx(adsPort_, static_cast<long>(timeoutMs)); rc != 0)
            LogError("AdsSyncSetTimeout()", static_cast<uint32_t>(rc));
    }
    bool ok = false;
    if (write) {
        ok = SyncWriteReq(item.IndexOffset(), *size, buffer);
    } else {
        uint32_t n = 0;
        ok = SyncReadReq(item.IndexOffset(), *size, buffer, &n);
        if (ok) *size = n;
    }
    const int result = ok ? 0 : static_cast<int>(lastAdsCode_);
    if (raised) {
        if (const long rc = fn_->syncSetTimeoutEx(adsPort_, static_cast<long>(defaultTimeout_)); rc != 0)
            LogError("AdsSyncSetTimeout()", static_cast<uint32_t>(rc));
    }
    channelLock_.Set();
    lastResult = static_cast<uint32_t>(result);
    return result;
}

bool CTwincatAds::SyncReadReq(uint32_t indexOffset, uint32_t length, void* buffer, uint32_t* bytesRead) {
    uint32_t n = 0;
    const long rc = fn_->syncReadReqEx2(adsPort_, &request_, kIndexGroup, indexOffset, length, buffer, &n);
    if (bytesRead) *bytesRead = n;
    if (rc == 0) return true;
    const uint32_t code = static_cast<uint32_t>(rc);
    const std::string text = GetErrorText(code);
    operationText_ = Format("SyncReadReq(0x%x,%lu): %ld(0x%x) %s", indexOffset,
                            static_cast<unsigned long>(length), rc, code, text.c_str());
    DebugLog().Write(operationText_);
    lastAdsCode_ = MapAdsToSdoAbort(code);
    SetOwner(static_cast<int32_t>(lastAdsCode_), text);
    return false;
}

bool CTwincatAds::SyncWriteReq(uint32_t indexOffset, uint32_t length, const void* data) {
    const long rc = fn_->syncWriteReqEx(adsPort_, &request_, kIndexGroup, indexOffset, length, data);
    if (rc == 0) return true;
    const uint32_t code = static_cast<uint32_t>(rc);
    const std::string text = GetErrorText(code);
    operationText_ = Format("SyncWriteReq(0x%x,%lu): %ld(0x%x) %s", indexOffset,
                            static_cast<unsigned long>(length), rc, code, text.c_str());
    DebugLog().Write(operationText_);
    lastAdsCode_ = MapAdsToSdoAbort(code);
    SetOwner(static_cast<int32_t>(lastAdsCode_), text);
    return false;
}

bool CTwincatAds::ReadMaster(uint32_t group, uint32_t offset, uint32_t length, void* buffer,
                             uint32_t* bytesRead) {
    AdsAddress master{targetNetId_, 0xFFFF};
    uint32_t n = 0;
    const long rc = fn_->syncReadReqEx2(adsPort_, &master, group, offset, length, buffer, &n);
    if (bytesRead) *bytesRead = n;
    lastAdsCode_ = static_cast<uint32_t>(rc);
    return rc == 0;
}

bool CTwincatAds::Test() {
    if (!LoadAdsLibrary()) return false;
    PortClose();
    if (!PortOpen()) return false;
    uint8_t word[4] = {};
    uint32_t n = 0;
    const long rc = fn_->syncReadReqEx2(adsPort_, &request_, 0x10000000, 0, 4, word, &n);
    PortClose();
    return rc == 0;
}

}  // namespace transport
