#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/AdsChannelDriver.h"
#include "engine/BridgeChannelDriver.h"
#include "engine/EngineCodes.h"
#include "engine/EngineLog.h"
#include "engine/LibraryChannelDriver.h"
#include "engine/Main.h"
#include "engine/MainBackground.h"
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

}  // namespace

struct CMain::CUploadRequest {
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

int CMain::StartDomainUpload(const std::string& name, void* bufferOrFile, platform::WindowHandle window,
                             uint32_t, uint32_t size) {
    const int ch = currentChannel_.load();
    if (ch < 0 || ch >= channelCount_) return SetError(kWrongChannel, engine_text::kWrongChannel);
    CChannel* channel = Channel(ch);
    const int slot = FindNode(currentNodeId_.load(), ch);
    if (slot < 0) return slot;
    CNodo& node = *nodes_[slot];
    const VocabularyItem* found = FindItem(node, name, channel ? channel->type : channel_type::kOffline);
    if (!found) return SetError(kCellNotFound, engine_text::kCellNotFound);
    const VocabularyItem item = *found;

    if (node.simulated) {
        if (size == 0) return SetError(kNotOnSimulated, engine_text::kNotOnSimulated);
        if (!item.IsReadable()) return SetError(kNotReadable, engine_text::kNotReadable);
        if (item.size != 0) return SetError(kDomainSizeMustBeZero, engine_text::kDomainSizeMustBeZero);
        if (const int rc = LockNodeForUse(node); rc != 0) return rc;
        const uint32_t n = node.GetValueBytes(item.name, size, bufferOrFile);
        std::memset(static_cast<uint8_t*>(bufferOrFile) + n, 0, size - n);
        node.Unlock();
        Post(window, foundation::kDomainUploadMessage, kDone, static_cast<intptr_t>(size));
        return 0;
    }

    if (uploadThread_.IsRunning()) {
        // A finishing upload gets a moment; one that holds the node does not.
        for (int i = 0; i < 20 && uploadThread_.IsRunning() && !node.IsTransferBusy(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (uploadThread_.IsRunning()) return SetError(kTransferBusy, engine_text::kTransferBusy);
    }
    uploadThread_.Join();
    if (!item.IsReadable()) return SetError(kNotReadable, engine_text::kNotReadable);

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
            return SetError(kOpenFile, "error opening file " + request->fileName);
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
        return SetError(kThreadStart, engine_text::kThreadStart);
    }
    return 0;
}

void CMain::ThreadUpload(CUploadRequest& r) {
    int result = 0;
    bool postEnd = true;
    if (PauseCyclicThread() != 0) {
        platform::Prompts().MessageBox("Cyclic reads not stopped.", "error", platform::MB_OK);
        Post(r.window, r.message, kError, 1);
        return;
    }
    CNodo* node = r.node;
    CChannel* channel = Channel(r.channel);
    if (!node || !channel || !channel->driver) {
        ResumeCyclicThread();
        Post(r.window, r.message, kError, SetError(kNodeNotFound, engine_text::kNodeNotFound));
        return;
    }
    if (!node->Lock()) {
        EngineDebugLog(engine_text::kLockFailedLog);
        ResumeCyclicThread();
        Post(r.window, r.message, kError, SetError(kNodeBusy, engine_text::kNodeBusy));
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
            if (result == 306) SetErrorCode(12);
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
    node->Unlock();
    ResumeCyclicThread();
}

int CMain::AbortDownUpload() {
    const int ch = currentChannel_.load();
    CChannel* channel = ch >= 0 && ch < channelCount_ ? Channel(ch) : nullptr;
    if (!channel) return 0;
    if (channel->type == channel_type::kSerial || channel->type == channel_type::kBox) {
        downloadAbort_ = true;
        downloadAbortWord_ = 1;
    }
    return 0;
}

bool CMain::StartProgressTicker(platform::WindowHandle window, unsigned message, uintptr_t code,
                                uint32_t bound) {
    if (tickerThread_.IsRunning()) return true;
    tickerThread_.Join();
    tickerWindow_ = window;
    tickerMessage_ = message;
    tickerCode_ = code;
    tickerBound_ = std::max<uint32_t>(bound, 1);
    tickerRun_ = true;
    return tickerThread_.Start("Main::ProgressTicker", [this](platform::StopToken& token) {
        uint32_t counter = 0;
        while (tickerRun_.load() && !token.StopRequested()) {
            counter = counter >= tickerBound_ ? 0 : counter + 1;
            Post(tickerWindow_, tickerMessage_, tickerCode_, static_cast<intptr_t>(counter));
            token.WaitForStop(kTickerStepMs);
        }
    });
}

void CMain::StopProgressTicker() {
    tickerRun_ = false;
    tickerThread_.RequestStop();
    tickerThread_.Join();
}

}  // namespace engine
