#pragma once
// What the TwinCAT device dialog does without its window: the EtherCAT device list read on a
// worker thread and handed to the dialog in one piece.

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Messages.h"
#include "platform/Thread.h"
#include "transport/BusNodeData.h"

namespace transport {

class CTwincatAds;

class CTwincatDeviceScan {
  public:
    // The scan posts kConnectScanMessage to window (wParam 1 failed, 0 succeeded; 0: no window).
    CTwincatDeviceScan(CTwincatAds& ads, platform::WindowHandle window);
    ~CTwincatDeviceScan();
    CTwincatDeviceScan(const CTwincatDeviceScan&) = delete;
    CTwincatDeviceScan& operator=(const CTwincatDeviceScan&) = delete;

    // Starts the scan once; false when one runs already.
    bool Start();
    // Waits for the scan to end: the channel's calls cannot be cut short, so this is a join.
    void Stop();
    bool Running() const { return running_.load(); }

    struct Result {
        bool done = false;  // the scan ended
        bool ok = false;
        std::string errorText;
        std::vector<CBusNodeData> devices;
    };
    // The scan's outcome once it ended (the devices move to the caller).
    Result TakeResult();

  private:
    void Scan();

    CTwincatAds& ads_;
    const platform::WindowHandle window_;
    std::atomic<bool> running_{false};
    std::mutex mutex_;
    Result result_;  // mutex_
    platform::Thread thread_;
};

}  // namespace transport
