#include "transport/TwincatDeviceScan.h"

#include <utility>

#include "foundation/MessageIds.h"
#include "transport/TwincatAds.h"

namespace transport {

CTwincatDeviceScan::CTwincatDeviceScan(CTwincatAds& ads, platform::WindowHandle window)
    : ads_(ads), window_(window) {}

CTwincatDeviceScan::~CTwincatDeviceScan() {
    Stop();
}

bool CTwincatDeviceScan::Start() {
    if (running_.load()) return false;
    thread_.Join();
    {
        std::lock_guard lock(mutex_);
        result_ = {};
    }
    running_ = true;
    if (!thread_.Start("CDlgConnectTca::ScanThread", [this](platform::StopToken&) { Scan(); })) {
        running_ = false;
        return false;
    }
    return true;
}

void CTwincatDeviceScan::Stop() {
    thread_.RequestStop();
    thread_.Join();
}

void CTwincatDeviceScan::Scan() {
    CBusNodeList list;
    const bool ok = ads_.ScanDevices(list);
    Result result;
    result.done = true;
    result.ok = ok;
    if (!ok) result.errorText = CTwincatAds::GetErrorText(ads_.LastAdsCode());
    for (CBusNodeData* node : list) result.devices.push_back(*node);
    FreeEtherCatDeviceList(list);
    {
        std::lock_guard lock(mutex_);
        result_ = std::move(result);
    }
    running_ = false;
    if (window_) platform::PostMessage(window_, foundation::kConnectScanMessage, ok ? 0 : 1, 0);
}

CTwincatDeviceScan::Result CTwincatDeviceScan::TakeResult() {
    std::lock_guard lock(mutex_);
    return std::exchange(result_, {});
}

}  // namespace transport
