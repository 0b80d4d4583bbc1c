// The bridge's log channel and the client's state report.
#include "platform/Clock.h"
#include "platform/File.h"
#include "platform/Folders.h"
#include "transport/BridgeVkr.h"
#include "transport/ChannelTrace.h"

namespace transport {

bool CBridgeVkr::CmdLogConnect() {
    if (!linkUp_) return false;
    CmdLogDisconnect();
    uint16_t port = 0;
    uint32_t status = 0xFFFFFFFFu;
    const int handle = GroupCreate(0, 0);
    GroupAddCommand(handle, std::make_unique<CCmdLog>(*this, &status, &port));
    const int rc = GroupExecute(handle, 2000, 0);
    GroupRemove(handle);
    if (rc != 0 || status != 0 || port == 0) return false;
    if (logSocket_.Connect(addressText_, port, timings_.connectWaitMs) < 0) {
        logSocket_.Close();
        return false;
    }
    if (logSocket_.Send(&logLevel_, 1) != 1) {
        logSocket_.Close();
        return false;
    }
    logRun_ = true;
    if (!logThread_.Start("CBridgeVkr::ThreadLogChannel",
                          [this](platform::StopToken& stop) { ThreadLogChannel(stop); })) {
        logRun_ = false;
        logSocket_.Close();
        return false;
    }
    return true;
}

void CBridgeVkr::CmdLogDisconnect() {
    logRun_ = false;
    if (logThread_.IsRunning() || !logThread_.JoinFor(0)) {
        logThread_.RequestStop();
        // The thread waits at most 300 ms per pass.
        if (!logThread_.JoinFor(1000)) logThread_.Join();
    }
    logSocket_.Close();
}

void CBridgeVkr::ThreadLogChannel(platform::StopToken& stop) {
    const std::string path = (platform::TempFolder() / "bridgelog.txt").string();
    platform::File file;
    (void)file.Open(path, platform::FileAccess::kWrite);
    // The log copy is best effort: without the file the channel is still drained.
    auto write = [&file](const void* data, size_t size) { (void)file.WriteAll(data, size); };
    auto writeText = [&](const char* text) { write(text, std::char_traits<char>::length(text)); };
    uint8_t buffer[4096];
    while (logRun_ && !stop.StopRequested()) {
        const int ready = logSocket_.WaitReadable(300);
        if (ready == 0) continue;
        if (ready < 0) {
            writeText("select() error\r\n");
            continue;
        }
        const int n = logSocket_.RecvSome(buffer, sizeof buffer, 0);
        if (n > 0) {
            write(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0) {
            const bool closed = logSocket_.LastErrorText() == "recv: connection closed by peer";
            writeText(closed ? "socket closed\r\n" : "socket broken\r\n");
            break;
        }
    }
}

std::string CBridgeVkr::StateText() {
    std::string text;
    text += "\r\n";
    text += Format(
        "Bridge %u.%u.%u.%u: %s (%s), cellTime=%lu\r\n   cycle=%lu us, maxMsgSize=%lu, "
        "sockSendBuffSize=%lu, sozkRecvBuffSize=%lu, version=%lu\r\n",
        address_ >> 24, (address_ >> 16) & 0xFF, (address_ >> 8) & 0xFF, address_ & 0xFF,
        GetVersionText().c_str(), description_.c_str(), static_cast<unsigned long>(cellTime_),
        static_cast<unsigned long>(cycleUs_), static_cast<unsigned long>(largestMessage_),
        static_cast<unsigned long>(sendSize_), static_cast<unsigned long>(receiveSize_),
        static_cast<unsigned long>(wire_.version));
    std::lock_guard lock(groupsMutex_);
    text += Format("%d groups:\r\n", groups_.UsedCount());
    groups_.ForEachLive([&](const CCmdList& list) {
        std::string cyclic;
        if (list.cyclic)
            cyclic = Format(", cyclic=%lu ms, next=%lld", static_cast<unsigned long>(list.periodMs),
                            static_cast<long long>(list.nextDueMs));
        text += Format("%ld: %stimeout=%lu ms%s\r\n   ", static_cast<long>(list.handle), "",
                       static_cast<unsigned long>(list.Timeout()), cyclic.c_str());
        text += list.GetText();
        text += "\r\n";
    });
    text += Format("\r\n%d cyclic groups:", static_cast<int>(cyclicHandles_.size()));
    for (int handle : cyclicHandles_) text += Format(" %ld", static_cast<long>(handle));
    text += "\r\n";
    return text;
}

void CBridgeVkr::DumpState(std::FILE* file) {
    if (file) std::fputs(StateText().c_str(), file);
}

}  // namespace transport
