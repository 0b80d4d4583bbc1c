#include <algorithm>
#include <chrono>
#include <thread>

#include "engine/EngineCodes.h"
#include "engine/EngineLog.h"
#include "engine/Main.h"
#include "engine/VocabularyItem.h"
#include "platform/Prompt.h"

namespace engine {

using namespace engine_code;

namespace {

constexpr uintptr_t kSteps = 10, kTick = 11, kTransferBegins = 14;
constexpr uintptr_t kLoading = 30, kStarted = 32, kWritten = 34, kEndedOk = 35, kEndedError = 36,
                    kPrepared = 38;
constexpr uint32_t kUnlockValue = 0x1D4E7A93;
constexpr int kDeviceComebackReads = 15;
constexpr const char* kFirmwareItem = "download_firmware";
constexpr const char* kEnablingItem = "enabling_key";
constexpr const char* kDeviceTypeItem = "device_type";

void Post(const CDownloadFw& fw, uintptr_t code, intptr_t value) {
    if (fw.window) platform::PostMessage(fw.window, fw.message, code, value);
}

}  // namespace

int CMain::CheckFirmwareTarget(const std::string&, CNodo** node, const VocabularyItem** item) {
    const int ch = currentChannel_.load();
    if (ch < 0 || ch >= channelCount_) return SetError(kWrongChannel, engine_text::kWrongChannel);
    const int slot = FindNode(currentNodeId_.load(), ch);
    if (slot < 0) return slot;
    *node = nodes_[slot].get();
    CChannel* channel = Channel(ch);
    *item = FindItem(**node, kFirmwareItem, channel ? channel->type : channel_type::kOffline);
    if (!*item) return SetError(kCellNotFound, engine_text::kCellNotFound);
    if (!(*item)->IsWritable()) return SetError(kNotWritable, engine_text::kNotWritable);
    downloadFw_.slot = slot;
    downloadFw_.channel = ch;
    return 0;
}

int CMain::StartFirmwarePrepare(const std::string& fileName, platform::WindowHandle window, uint32_t,
                                bool enable) {
    if (FirmwareThreadsRunning()) return SetError(kTransferBusy, engine_text::kTransferBusy);
    JoinFirmwareThreads();
    CNodo* node = nullptr;
    const VocabularyItem* item = nullptr;
    if (const int rc = CheckFirmwareTarget(fileName, &node, &item); rc != 0) return rc;
    downloadFw_.enable = enable;
    downloadFw_.engine = this;
    downloadFw_.window = window;
    downloadFw_.message = foundation::kFirmwareDownloadMessage;
    downloadFw_.item = *item;
    if (downloadFw_.container.HasImage() && downloadFw_.fileName == fileName) {
        Post(downloadFw_, kPrepared, 0);
        return 0;
    }
    FreeDownloadData();
    downloadFw_.fileName = fileName;
    if (!prepareThread_.Start("Main::FirmwarePrepareThread",
                              [this](platform::StopToken&) { FirmwarePrepareThread(); }))
        return SetError(kPrepareThread, engine_text::kPrepareThread);
    return 0;
}

void CMain::FirmwarePrepareThread() {
    Post(downloadFw_, kLoading, 0);
    const std::string error = downloadFw_.container.ReadFirmwareInfo(downloadFw_.fileName, 0, 0);
    if (!error.empty()) SetError(-1, error);
    Post(downloadFw_, kPrepared, 0);
}

int CMain::StartFirmwareDownload() {
    if (FirmwareThreadsRunning()) return SetError(kTransferBusy, engine_text::kTransferBusy);
    JoinFirmwareThreads();
    if (!downloadFw_.container.HasImage()) return SetError(3, "firmware missing");
    downloadAbort_ = false;
    downloadAbortWord_ = 0;
    downloadRunning_ = true;
    if (!downloadThread_.Start("Main::FirmwareDownloadThread", [this](platform::StopToken&) {
            FirmwareDownloadThread();
            downloadRunning_ = false;
        })) {
        downloadRunning_ = false;
        return SetError(kPrepareThread, "starting Download firmware thread");
    }
    return 0;
}

void CMain::JoinFirmwareThreads() {
    prepareThread_.Join();
    downloadThread_.Join();
}

void CMain::FreeDownloadData() {
    downloadFw_.container.Free();
    downloadFw_.blockId = 0;
}

void CMain::FirmwareDownloadThread() {
    CDownloadFw& fw = downloadFw_;
    int result = 0;
    StopNodeguard();
    CNodo* node = fw.slot >= 0 ? nodes_[fw.slot].get() : nullptr;
    CChannel* channel = Channel(fw.channel);
    if (!node || !channel || !channel->driver) {
        Post(fw, kEndedError, SetError(kNodeNotFound, engine_text::kNodeNotFound));
        return;
    }
    CChannelDriver& driver = *channel->driver;
    const VocabularyItem* enabling = FindItem(*node, kEnablingItem, channel->type);
    const auto writeEnabling = [&](uint32_t value) {
        return enabling ? driver.WriteItem(*enabling, &value, node->nodeId, node->wordOrder != 0) : -1;
    };
    bool locked = false;
    const uint32_t size = fw.container.Size();
    switch (channel->type) {
        case channel_type::kSerial:
        case channel_type::kBox:
        case channel_type::kLibrary:
        case channel_type::kBridge:
        case channel_type::kAds:
            break;
        default:
            SetError(4, "node is not switched to preoperational");
            result = 4;
            break;
    }
    if (result == 0 && !node->Lock()) {
        EngineDebugLog(engine_text::kLockFailedLog);
        result = SetError(kNodeBusy, engine_text::kNodeBusy);
    } else if (result == 0) {
        locked = true;
        node->SetTransferBusy(true);
    }
    // The unlock goes out with the node held, before the image.
    if (result == 0 && fw.enable && writeEnabling(kUnlockValue) != 0) {
        SetError(6, "enabling download");
        result = 6;
    }
    if (result == 0) {
        switch (channel->type) {
            case channel_type::kSerial:
            case channel_type::kBox: {
                uint32_t n = size;
                result = driver.DomainDownload(fw.item, fw.container.Data(), &n, &downloadAbortWord_,
                                               fw.window, fw.message, node->nodeId);
                if (result == 308) SetErrorCode(12);
                break;
            }
            case channel_type::kLibrary:
                Post(fw, kStarted, static_cast<intptr_t>(size));
                result = driver.DownloadCell(fw.item, fw.container.Data(), size, node->nodeId);
                break;
            default: {
                const uint32_t steps = size * 5 / std::max<uint32_t>(downloadRate_.load(), 1) + 1;
                Post(fw, kSteps, static_cast<intptr_t>(steps));
                StartProgressTicker(fw.window, fw.message, kTick, steps);
                Post(fw, kTransferBegins, 0);
                const auto begin = std::chrono::steady_clock::now();
                result = driver.DownloadCell(fw.item, fw.container.Data(), size, node->nodeId);
                const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::steady_clock::now() - begin)
                                    .count();
                if (result == 0 && ms > 0) downloadRate_ = static_cast<uint32_t>(uint64_t{size} * 1000 / ms);
                StopProgressTicker();
                break;
            }
        }
    }
    if (locked && channel->type != channel_type::kBridge) {
        if (result == 0) {
            Post(fw, kWritten, 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(fw.waitAfterMs));
        }
        // The device must come back: its type answers again.
        if (const VocabularyItem* type = FindItem(*node, kDeviceTypeItem, channel->type)) {
            const int tries = result == 0 ? kDeviceComebackReads : 1;
            bool back = false;
            for (int i = 0; i < tries && !back; ++i) {
                uint32_t value = 0;
                back = driver.ReadItem(*type, &value, node->nodeId, node->wordOrder != 0) == 0;
            }
            if (back) {
                node->guardState = CNodo::kGuardFresh;
                node->guardArmed = 0;
            } else if (result != 0) {
                node->guardState = 1;
                node->guardArmed = 0;
                result = static_cast<int>(static_cast<uint32_t>(result) | 0x80000000u);
            }
        }
    }
    FreeDownloadData();
    // The key goes back to 0 whenever it was set, also after a failure.
    if (locked && fw.enable && channel->type != channel_type::kBridge) writeEnabling(0);
    if (locked) {
        node->SetTransferBusy(false);
        node->Unlock();
    }
    Post(fw, result == 0 || result == 306 ? kEndedOk : kEndedError,
         result == 0 || result == 306 ? 0 : result);
}

}  // namespace engine
