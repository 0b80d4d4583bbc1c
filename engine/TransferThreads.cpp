#include "engine/TransferThreads.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "engine/EngineCodes.h"
#include "engine/EngineLog.h"
#include "engine/Main.h"
#include "engine/NodeLock.h"
#include "engine/VocabularyItem.h"
#include "platform/AtomicFile.h"
#include "platform/Prompt.h"

namespace engine {

using namespace engine_code;

namespace {

constexpr uintptr_t kStart = 24;
constexpr uintptr_t kProgress = 21;
constexpr uintptr_t kDone = 22;
constexpr uintptr_t kError = 23;
constexpr uint32_t kTickerStepMs = 200;
// Library reads of this range are asked whole: the drive's block is 2924 bytes.
constexpr uint32_t kLibraryShortLow = 2853, kLibraryShortHigh = 2923, kLibraryWhole = 2924;

void Post(platform::WindowHandle window, unsigned message, uintptr_t code, intptr_t value) {
    if (window) platform::PostMessage(window, message, code, value);
}

// Firmware.
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

struct CTransferThreads::CUploadRequest {
    CNodo* node = nullptr;  // resolved by the caller: the thread never reads the node table
    int slot = -1;
    int channel = -1;
    VocabularyItem item;
    void* buffer = nullptr;  // null in file mode
    uint32_t size = 0;
    std::string fileName;
    platform::WindowHandle window = 0;
    unsigned message = foundation::kDomainUploadMessage;
};

CTransferThreads::CTransferThreads(CMain& engine) : engine_(engine) {}

CTransferThreads::~CTransferThreads() {
    AbortUpload();
    AbortDownload();
    JoinUpload();
    JoinFirmwareThreads();
    StopProgressTicker();
}

void CTransferThreads::JoinUpload() {
    std::lock_guard lock(mutex_);
    uploadThread_.Join();
}

int CTransferThreads::StartDomainUpload(const std::string& name, void* bufferOrFile,
                                        platform::WindowHandle window, uint32_t size) {
    const int ch = engine_.CurrentChannel();
    if (ch < 0 || ch >= engine_.ChannelCount())
        return engine_.SetError(kWrongChannel, engine_text::kWrongChannel);
    CChannel* channel = engine_.Channel(ch);
    const int slot = engine_.FindNode(engine_.CurrentNodeId(), ch);
    if (slot < 0) return slot;
    CNodo& node = *engine_.Node(slot);
    const VocabularyItem* found =
        engine_.FindItem(node, name, channel ? channel->type : channel_type::kOffline);
    if (!found) return engine_.SetError(kCellNotFound, engine_text::kCellNotFound);
    const VocabularyItem item = *found;

    if (node.simulated) {
        if (size == 0) return engine_.SetError(kNotOnSimulated, engine_text::kNotOnSimulated);
        if (!item.IsReadable()) return engine_.SetError(kNotReadable, engine_text::kNotReadable);
        if (item.size != 0)
            return engine_.SetError(kDomainSizeMustBeZero, engine_text::kDomainSizeMustBeZero);
        const CNodeLock held = engine_.LockNodeForUse(node);
        if (!held) return held.Error();
        const uint32_t n = node.GetValueBytes(item.name, size, bufferOrFile);
        std::memset(static_cast<uint8_t*>(bufferOrFile) + n, 0, size - n);
        Post(window, foundation::kDomainUploadMessage, kDone, static_cast<intptr_t>(size));
        return 0;
    }

    std::lock_guard lock(mutex_);
    if (uploadThread_.IsRunning()) {
        // A finishing upload gets a moment; one that holds the node does not.
        for (int i = 0; i < 20 && uploadThread_.IsRunning() && !node.IsTransferBusy(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (uploadThread_.IsRunning()) return engine_.SetError(kTransferBusy, engine_text::kTransferBusy);
    }
    uploadThread_.Join();
    if (!item.IsReadable()) return engine_.SetError(kNotReadable, engine_text::kNotReadable);

    auto request = std::make_shared<CUploadRequest>();
    request->slot = slot;
    request->node = &node;
    request->channel = ch;
    request->item = item;
    request->window = window;
    if (size == 0) {
        request->fileName = bufferOrFile ? static_cast<const char*>(bufferOrFile) : "";
        // The file is created now, so that a name that cannot be written fails at once.
        platform::AtomicFileWriter probe;
        if (request->fileName.empty() || !probe.Open(request->fileName))
            return engine_.SetError(kOpenFile, "error opening file " + request->fileName);
        probe.Abort();
    } else {
        request->buffer = bufferOrFile;
        request->size = size;
    }
    uploadAbort_ = false;
    uploadAbortWord_ = 0;
    uploadRunning_ = true;
    if (!uploadThread_.Start("Main::ThreadUpload", [this, request](platform::StopToken&) {
            ThreadUpload(*request);
            uploadRunning_ = false;
        })) {
        uploadRunning_ = false;
        return engine_.SetError(kThreadStart, engine_text::kThreadStart);
    }
    return 0;
}

void CTransferThreads::ThreadUpload(CUploadRequest& r) {
    int result = 0;
    bool postEnd = true;
    if (engine_.PauseCyclicThread() != 0) {
        platform::Prompts().MessageBox("Cyclic reads not stopped.", "error", platform::MB_OK);
        Post(r.window, r.message, kError, 1);
        return;
    }
    CChannel* channel = engine_.Channel(r.channel);
    if (!r.node || !channel || !channel->driver) {
        engine_.ResumeCyclicThread();
        Post(r.window, r.message, kError, engine_.SetError(kNodeNotFound, engine_text::kNodeNotFound));
        return;
    }
    CNodeLock node(*r.node);
    if (!node) {
        EngineDebugLog(engine_text::kLockFailedLog);
        engine_.ResumeCyclicThread();
        Post(r.window, r.message, kError, engine_.SetError(kNodeBusy, engine_text::kNodeBusy));
        return;
    }
    node->SetTransferBusy(true);
    CChannelDriver& driver = *channel->driver;
    const bool fileMode = r.buffer == nullptr;

    switch (channel->type) {
        case channel_type::kSerial:
        case channel_type::kBox: {
            // The channel posts the start, progress and end itself.
            uint32_t size = fileMode ? 0 : r.size;
            void* target = fileMode ? static_cast<void*>(r.fileName.data()) : r.buffer;
            result = driver.DomainUpload(r.item, target, &size, fileMode, &uploadAbortWord_, r.window,
                                         r.message, node->nodeId);
            if (result == 306) engine_.SetErrorCode(12);
            postEnd = false;
            break;
        }
        case channel_type::kLibrary: {
            if (fileMode) {
                result = 100;
                break;
            }
            Post(r.window, r.message, kStart, static_cast<intptr_t>(r.size));
            uint32_t asked = r.size;
            if (asked >= kLibraryShortLow && asked <= kLibraryShortHigh) asked = kLibraryWhole;
            // The longer request goes to a buffer of its own: the caller's holds only its size.
            std::vector<uint8_t> local(asked);
            uint32_t count = asked;
            result = driver.UploadCell(r.item, local.data(), &count, node->nodeId);
            if (result == 0) {
                std::memcpy(r.buffer, local.data(), std::min(count, r.size));
                Post(r.window, r.message, kProgress, static_cast<intptr_t>(std::min(count, r.size)));
            }
            break;
        }
        case channel_type::kBridge:
        case channel_type::kAds: {
            if (fileMode) {
                result = 100;
                break;
            }
            const uint32_t steps = r.size * 5 / std::max<uint32_t>(uploadRate_.load(), 1) + 1;
            Post(r.window, r.message, kStart, static_cast<intptr_t>(steps));
            StartProgressTicker(r.window, r.message, kProgress, steps);
            const auto begin = std::chrono::steady_clock::now();
            uint32_t count = r.size;
            result = driver.UploadCell(r.item, r.buffer, &count, node->nodeId);
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - begin)
                                .count();
            if (result == 0 && count > 100 && ms > 0)
                uploadRate_ = static_cast<uint32_t>(static_cast<uint64_t>(count) * 1000 / ms);
            StopProgressTicker();
            break;
        }
        default:
            result = 1;
            break;
    }
    if (postEnd) Post(r.window, r.message, result == 0 ? kDone : kError, result == 0 ? 0 : result);
    node->SetTransferBusy(false);
    node.Unlock();
    engine_.ResumeCyclicThread();
}

int CTransferThreads::AbortDownUpload() {
    const int ch = engine_.CurrentChannel();
    CChannel* channel = ch >= 0 && ch < engine_.ChannelCount() ? engine_.Channel(ch) : nullptr;
    if (!channel) return 0;
    if (channel->type == channel_type::kSerial || channel->type == channel_type::kBox) {
        downloadAbort_ = true;
        downloadAbortWord_ = 1;
    }
    return 0;
}

bool CTransferThreads::AbortUpload() {
    if (!uploadRunning_.load()) return true;
    uploadAbort_.store(true);
    uploadAbortWord_.store(1);
    for (int i = 0; i < 400 && uploadRunning_.load(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return !uploadRunning_.load();
}

bool CTransferThreads::AbortDownload() {
    if (!downloadRunning_.load()) return true;
    downloadAbort_.store(true);
    downloadAbortWord_.store(1);
    for (int i = 0; i < 400 && downloadRunning_.load(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return !downloadRunning_.load();
}

bool CTransferThreads::StartProgressTicker(platform::WindowHandle window, unsigned message, uintptr_t code,
                                           uint32_t bound) {
    std::lock_guard lock(tickerMutex_);
    if (tickerThread_.IsRunning()) return true;
    tickerThread_.Join();
    bound = std::max<uint32_t>(bound, 1);
    tickerRun_ = true;
    return tickerThread_.Start("Main::ProgressTicker",
                               [this, window, message, code, bound](platform::StopToken& token) {
                                   uint32_t counter = 0;
                                   while (tickerRun_.load() && !token.StopRequested()) {
                                       counter = counter >= bound ? 0 : counter + 1;
                                       Post(window, message, code, static_cast<intptr_t>(counter));
                                       token.WaitForStop(kTickerStepMs);
                                   }
                               });
}

void CTransferThreads::StopProgressTicker() {
    std::lock_guard lock(tickerMutex_);
    tickerRun_ = false;
    tickerThread_.RequestStop();
    tickerThread_.Join();
}

// ---- firmware ------------------------------------------------------------------------------------

int CTransferThreads::CheckFirmwareTarget(CNodo** node, const VocabularyItem** item) {
    const int ch = engine_.CurrentChannel();
    if (ch < 0 || ch >= engine_.ChannelCount())
        return engine_.SetError(kWrongChannel, engine_text::kWrongChannel);
    const int slot = engine_.FindNode(engine_.CurrentNodeId(), ch);
    if (slot < 0) return slot;
    *node = engine_.Node(slot);
    CChannel* channel = engine_.Channel(ch);
    *item = engine_.FindItem(**node, kFirmwareItem, channel ? channel->type : channel_type::kOffline);
    if (!*item) return engine_.SetError(kCellNotFound, engine_text::kCellNotFound);
    if (!(*item)->IsWritable()) return engine_.SetError(kNotWritable, engine_text::kNotWritable);
    downloadFw_.slot = slot;
    downloadFw_.channel = ch;
    return 0;
}

bool CTransferThreads::FirmwareThreadsRunning() const {
    return prepareThread_.IsRunning() || downloadThread_.IsRunning();
}

int CTransferThreads::StartFirmwarePrepare(const std::string& fileName, platform::WindowHandle window,
                                           bool enable) {
    std::lock_guard lock(mutex_);
    if (FirmwareThreadsRunning()) return engine_.SetError(kTransferBusy, engine_text::kTransferBusy);
    JoinFirmwareThreadsLocked();
    CNodo* node = nullptr;
    const VocabularyItem* item = nullptr;
    if (const int rc = CheckFirmwareTarget(&node, &item); rc != 0) return rc;
    downloadFw_.enable = enable;
    downloadFw_.engine = &engine_;
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
        return engine_.SetError(kPrepareThread, engine_text::kPrepareThread);
    return 0;
}

void CTransferThreads::FirmwarePrepareThread() {
    Post(downloadFw_, kLoading, 0);
    const std::string error = downloadFw_.container.ReadFirmwareInfo(downloadFw_.fileName, 0, 0);
    if (!error.empty()) engine_.SetError(-1, error);
    Post(downloadFw_, kPrepared, 0);
}

int CTransferThreads::StartFirmwareDownload() {
    std::lock_guard lock(mutex_);
    if (FirmwareThreadsRunning()) return engine_.SetError(kTransferBusy, engine_text::kTransferBusy);
    JoinFirmwareThreadsLocked();
    if (!downloadFw_.container.HasImage()) return engine_.SetError(3, "firmware missing");
    downloadAbort_ = false;
    downloadAbortWord_ = 0;
    downloadRunning_ = true;
    if (!downloadThread_.Start("Main::FirmwareDownloadThread", [this](platform::StopToken&) {
            FirmwareDownloadThread();
            downloadRunning_ = false;
        })) {
        downloadRunning_ = false;
        return engine_.SetError(kPrepareThread, "starting Download firmware thread");
    }
    return 0;
}

void CTransferThreads::JoinFirmwareThreads() {
    std::lock_guard lock(mutex_);
    JoinFirmwareThreadsLocked();
}

void CTransferThreads::JoinFirmwareThreadsLocked() {
    prepareThread_.Join();
    downloadThread_.Join();
}

void CTransferThreads::FreeDownloadData() {
    downloadFw_.container.Free();
    downloadFw_.blockId = 0;
}

void CTransferThreads::FirmwareDownloadThread() {
    CDownloadFw& fw = downloadFw_;
    int result = 0;
    engine_.StopNodeguard();
    CNodo* node = fw.slot >= 0 ? engine_.Node(fw.slot) : nullptr;
    CChannel* channel = engine_.Channel(fw.channel);
    if (!node || !channel || !channel->driver) {
        Post(fw, kEndedError, engine_.SetError(kNodeNotFound, engine_text::kNodeNotFound));
        return;
    }
    CChannelDriver& driver = *channel->driver;
    const VocabularyItem* enabling = engine_.FindItem(*node, kEnablingItem, channel->type);
    const auto writeEnabling = [&](uint32_t value) {
        return enabling ? driver.WriteItem(*enabling, &value, node->nodeId, node->wordOrder != 0) : -1;
    };
    CNodeLock held;
    const uint32_t size = fw.container.Size();
    switch (channel->type) {
        case channel_type::kSerial:
        case channel_type::kBox:
        case channel_type::kLibrary:
        case channel_type::kBridge:
        case channel_type::kAds:
            break;
        default:
            engine_.SetError(4, "node is not switched to preoperational");
            result = 4;
            break;
    }
    if (result == 0) {
        held = CNodeLock(*node);
        if (!held) {
            EngineDebugLog(engine_text::kLockFailedLog);
            result = engine_.SetError(kNodeBusy, engine_text::kNodeBusy);
        } else {
            node->SetTransferBusy(true);
        }
    }
    const bool locked = static_cast<bool>(held);
    // The unlock goes out with the node held, before the image.
    if (result == 0 && fw.enable && writeEnabling(kUnlockValue) != 0) {
        engine_.SetError(6, "enabling download");
        result = 6;
    }
    if (result == 0) {
        switch (channel->type) {
            case channel_type::kSerial:
            case channel_type::kBox: {
                uint32_t n = size;
                result = driver.DomainDownload(fw.item, fw.container.Data(), &n, &downloadAbortWord_,
                                               fw.window, fw.message, node->nodeId);
                if (result == 308) engine_.SetErrorCode(12);
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
        if (const VocabularyItem* type = engine_.FindItem(*node, kDeviceTypeItem, channel->type)) {
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
        held.Unlock();
    }
    Post(fw, result == 0 || result == 306 ? kEndedOk : kEndedError,
         result == 0 || result == 306 ? 0 : result);
}

}  // namespace engine
