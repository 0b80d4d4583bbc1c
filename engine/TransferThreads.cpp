#include "engine/TransferThreads.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "engine/BridgeChannelDriver.h"
#include "engine/EngineCodes.h"
#include "engine/EngineLog.h"
#include "engine/LibraryChannelDriver.h"
#include "engine/Main.h"
#include "engine/ModbusChannelDriver.h"
#include "engine/NodeLock.h"
#include "engine/VocabularyItem.h"
#include "platform/AtomicFile.h"
#include "platform/Prompt.h"
#include "transport/ChannelTrace.h"

namespace engine {

using namespace engine_code;
using transport::Format;

namespace {

constexpr uintptr_t kStart = 24;
constexpr uintptr_t kProgress = 21;
constexpr uintptr_t kDone = 22;
constexpr uintptr_t kError = 23;
constexpr uint32_t kTickerStepMs = 200;
// Library reads of this range are asked whole: the drive's block is 2924 bytes.
constexpr uint32_t kLibraryShortLow = 2853, kLibraryShortHigh = 2923, kLibraryWhole = 2924;
// Library transfers that return a handle at once and are polled for their end.
constexpr int kLibraryQueued = 0;
constexpr uint32_t kLibraryPollMs = 100;
// A part of an upload of several without room for its domain (the code of a buffer too small).
constexpr int kNoBuffer = 15;
constexpr const char* kNoBufferText = "domain upload without a buffer";

void Post(platform::WindowHandle window, unsigned message, uintptr_t code, intptr_t value) {
    if (window) platform::PostMessage(window, message, code, value);
}

// Firmware.
constexpr uintptr_t kSteps = 10, kTick = 11, kTransferBegins = 14;
constexpr uintptr_t kLoading = 30, kInitiating = 31, kStarted = 32, kProgressBytes = 33, kWritten = 34,
                    kEndedOk = 35, kEndedError = 36, kCreatingBlock = 37, kPrepared = 38,
                    kGuardingRunsOut = 39;
constexpr uint32_t kUnlockValue = 0x1D4E7A93;
constexpr uint32_t kFirmwareCommand = 5100;
constexpr uint32_t kLongTransferMs = 655000;
// What a guarded node needs of the image to restart into its loader.
constexpr uint32_t kShortImage = 100;
constexpr int kDeviceComebackReads = 15;
constexpr int kUserAbort = 12;
constexpr const char* kUserAbortText = "operation aborted by the user";
constexpr const char* kFirmwareItem = "download_firmware";
constexpr const char* kEnablingItem = "enabling_key";
constexpr const char* kDeviceTypeItem = "device_type";
constexpr const char* kProductCodeItem = "rd_sw_product_code";
constexpr const char* kGuardTimeItem = "GuardTime";
constexpr const char* kLifeTimeFactorItem = "LifeTimeFactor";
constexpr const char* kSystemManagerItem = "SystemManagerCommand";
constexpr const char* kEmcyResetItem = "CanEmcyRetentReset";

void Post(const CDownloadFw& fw, uintptr_t code, intptr_t value) {
    if (fw.window) platform::PostMessage(fw.window, fw.message, code, value);
}

}  // namespace

struct CTransferThreads::CUploadPart {
    VocabularyItem item;
    void* buffer = nullptr;  // null in file mode
    uint32_t size = 0;
};

struct CTransferThreads::CUploadRequest {
    CNodo* node = nullptr;  // resolved by the caller: the thread never reads the node table
    int slot = -1;
    int channel = -1;
    std::vector<CUploadPart> parts;
    std::string fileName;
    platform::WindowHandle window = 0;
    unsigned message = foundation::kDomainUploadMessage;
    // Several parts: each posts its start and end, without the transfer's block progress.
    bool partNotices = false;
};

CTransferThreads::CTransferThreads(CMain& engine) : engine_(engine) {}

CTransferThreads::~CTransferThreads() {
    StopAbortDownUpload();
    EndUploadThread();
    AbortDownload();
    StopProgressTicker();
}

void CTransferThreads::JoinUpload() {
    std::unique_lock end(endMutex_);
    endCv_.wait(end, [this] { return !uploadRunning_.load(); });
}

void CTransferThreads::EndUploadThread() {
    std::lock_guard lock(mutex_);
    uploadAbort_.store(true);
    uploadAbortWord_.store(1);
    {
        std::unique_lock end(endMutex_);
        endCv_.wait(end, [this] { return !uploadRunning_.load(); });
        uploadThreadEnd_ = true;
    }
    uploadCv_.notify_all();
    uploadThread_.Join();
}

// The uploads run one after the other on one thread that lives as long as the engine: a capture
// uploads several times a second, and a thread started for each costs its start and a cold wake.
void CTransferThreads::UploadThread() {
    std::unique_lock end(endMutex_);
    for (;;) {
        uploadCv_.wait(end, [this] { return pendingUpload_ || uploadThreadEnd_; });
        if (uploadThreadEnd_) return;
        const std::shared_ptr<CUploadRequest> request = std::move(pendingUpload_);
        end.unlock();
        const int result = ThreadUpload(*request);
        end.lock();
        uploadResult_ = result;
        uploadRunning_ = false;
        endCv_.notify_all();
    }
}

// A request for the current node of the current channel; null with the code when there is none.
std::shared_ptr<CTransferThreads::CUploadRequest> CTransferThreads::NewUploadRequest(
    platform::WindowHandle window, int* error) {
    const int ch = engine_.CurrentChannel();
    if (ch < 0 || ch >= engine_.ChannelCount()) {
        *error = engine_.SetError(kWrongChannel, engine_text::kWrongChannel);
        return nullptr;
    }
    const int slot = engine_.FindNode(engine_.CurrentNodeId(), ch);
    if (slot < 0) {
        *error = slot;
        return nullptr;
    }
    auto request = std::make_shared<CUploadRequest>();
    request->slot = slot;
    request->node = engine_.Node(slot);
    request->channel = ch;
    request->window = window;
    return request;
}

int CTransferThreads::StartDomainUpload(const std::string& name, void* bufferOrFile,
                                        platform::WindowHandle window, uint32_t size) {
    int error = 0;
    std::shared_ptr<CUploadRequest> request = NewUploadRequest(window, &error);
    if (!request) return error;
    CChannel* channel = engine_.Channel(request->channel);
    CNodo& node = *request->node;
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
        {
            std::lock_guard end(endMutex_);
            uploadResult_ = 0;
            partResults_.assign(1, 0);
            partsEnded_ = 1;
        }
        Post(window, foundation::kDomainUploadMessage, kDone, static_cast<intptr_t>(size));
        return 0;
    }

    CUploadPart part;
    part.item = item;
    if (size == 0) {
        request->fileName = bufferOrFile ? static_cast<const char*>(bufferOrFile) : "";
    } else {
        part.buffer = bufferOrFile;
        part.size = size;
    }
    request->parts.push_back(std::move(part));
    return StartUpload(std::move(request));
}

int CTransferThreads::StartDomainUploads(const std::vector<DomainUploadPart>& parts,
                                         platform::WindowHandle window) {
    int error = 0;
    std::shared_ptr<CUploadRequest> request = NewUploadRequest(window, &error);
    if (!request) return error;
    CChannel* channel = engine_.Channel(request->channel);
    CNodo& node = *request->node;
    request->partNotices = true;
    request->parts.reserve(parts.size());
    // Every part is checked before anything moves: a bad name refuses the whole upload.
    for (const DomainUploadPart& p : parts) {
        const VocabularyItem* found =
            engine_.FindItem(node, p.name, channel ? channel->type : channel_type::kOffline);
        if (!found) return engine_.SetError(kCellNotFound, engine_text::kCellNotFound);
        if (!found->IsReadable()) return engine_.SetError(kNotReadable, engine_text::kNotReadable);
        if (!p.buffer || p.size == 0) return engine_.SetError(kNoBuffer, kNoBufferText);
        if (node.simulated && found->size != 0)
            return engine_.SetError(kDomainSizeMustBeZero, engine_text::kDomainSizeMustBeZero);
        request->parts.push_back(CUploadPart{*found, p.buffer, p.size});
    }
    if (request->parts.empty()) return engine_.SetError(kNoBuffer, kNoBufferText);

    if (node.simulated) {
        const CNodeLock held = engine_.LockNodeForUse(node);
        if (!held) return held.Error();
        {
            std::lock_guard end(endMutex_);
            uploadResult_ = 0;
            partResults_.assign(request->parts.size(), 0);
            partsEnded_ = request->parts.size();
        }
        for (const CUploadPart& p : request->parts) {
            const uint32_t n = node.GetValueBytes(p.item.name, p.size, p.buffer);
            std::memset(static_cast<uint8_t*>(p.buffer) + n, 0, p.size - n);
            Post(window, request->message, kStart, static_cast<intptr_t>(p.size));
            Post(window, request->message, kDone, 0);
        }
        return 0;
    }
    return StartUpload(std::move(request));
}

int CTransferThreads::StartUpload(std::shared_ptr<CUploadRequest> request) {
    CNodo& node = *request->node;
    std::lock_guard lock(mutex_);
    // uploadRunning_ drops when the upload's work is done: a thread that has only its return
    // left is joined at once.
    if (uploadRunning_.load()) {
        // A finishing upload gets a moment; one that holds the node does not.
        std::unique_lock end(endMutex_);
        endCv_.wait_for(end, std::chrono::milliseconds(200),
                        [&] { return !uploadRunning_.load() || node.IsTransferBusy(); });
        if (uploadRunning_.load()) return engine_.SetError(kTransferBusy, engine_text::kTransferBusy);
    }
    for (const CUploadPart& part : request->parts)
        if (!part.item.IsReadable()) return engine_.SetError(kNotReadable, engine_text::kNotReadable);
    if (request->parts.size() == 1 && request->parts[0].buffer == nullptr) {
        // The file is created now, so that a name that cannot be written fails at once.
        platform::AtomicFileWriter probe;
        if (request->fileName.empty() || !probe.Open(request->fileName))
            return engine_.SetError(kOpenFile, "error opening file " + request->fileName);
        probe.Abort();
    }
    if (!uploadThread_.IsRunning()) {
        {
            std::lock_guard end(endMutex_);
            if (uploadThreadEnd_) return engine_.SetError(kThreadStart, engine_text::kThreadStart);
        }
        if (!uploadThread_.Start("Main::ThreadUpload", [this](platform::StopToken&) { UploadThread(); }))
            return engine_.SetError(kThreadStart, engine_text::kThreadStart);
    }
    uploadAbort_ = false;
    uploadAbortWord_ = 0;
    {
        std::lock_guard end(endMutex_);
        partResults_.assign(request->parts.size(), 0);
        partsEnded_ = 0;
        uploadRunning_ = true;
        pendingUpload_ = std::move(request);
    }
    uploadCv_.notify_one();
    return 0;
}

void CTransferThreads::NotePartEnd(size_t index, int result) {
    {
        std::lock_guard end(endMutex_);
        if (index < partResults_.size()) partResults_[index] = result;
        partsEnded_ = index + 1;
    }
    endCv_.notify_all();
}

int CTransferThreads::ThreadUpload(CUploadRequest& r) {
    if (engine_.PauseCyclicThread() != 0) {
        platform::Prompts().MessageBox("Cyclic reads not stopped.", "error", platform::MB_OK);
        Post(r.window, r.message, kError, 1);
        return 1;
    }
    CChannel* channel = engine_.Channel(r.channel);
    if (!r.node || !channel || !channel->driver) {
        engine_.ResumeCyclicThread();
        const int code = engine_.SetError(kNodeNotFound, engine_text::kNodeNotFound);
        Post(r.window, r.message, kError, code);
        return code;
    }
    CNodeLock node(*r.node);
    if (!node) {
        EngineDebugLog(engine_text::kLockFailedLog);
        engine_.ResumeCyclicThread();
        const int code = engine_.SetError(kNodeBusy, engine_text::kNodeBusy);
        Post(r.window, r.message, kError, code);
        return code;
    }
    node->SetTransferBusy(true);
    int result = 0;
    for (size_t i = 0; i < r.parts.size(); ++i) {
        // An abort between two parts leaves the rest.
        if (i > 0 && uploadAbort_.load()) {
            if (result == 0) result = engine_.SetError(kUserAbort, kUserAbortText);
            break;
        }
        const int rc = UploadPart(r, r.parts[i], *node, *channel);
        NotePartEnd(i, rc);
        if (rc != 0 && result == 0) result = rc;
    }
    node->SetTransferBusy(false);
    node.Unlock();
    engine_.ResumeCyclicThread();
    return result;
}

// One domain with the node held; its end is posted here unless the channel posts it itself.
int CTransferThreads::UploadPart(CUploadRequest& r, const CUploadPart& part, CNodo& node, CChannel& channel) {
    int result = 0;
    bool postEnd = true;
    // The transfer's own notices go to the window only for a single domain.
    const platform::WindowHandle window = r.partNotices ? 0 : r.window;
    if (r.partNotices) Post(r.window, r.message, kStart, static_cast<intptr_t>(part.size));
    CChannelDriver& driver = *channel.driver;
    const bool fileMode = part.buffer == nullptr;

    switch (channel.type) {
        case channel_type::kSerial:
        case channel_type::kBox: {
            const auto* modbus = dynamic_cast<const CModbusChannelDriver*>(&driver);
            const int mode = modbus ? modbus->transferMode : 0;
            if (mode < 2) {
                // The channel posts the start, progress and end itself.
                uint32_t size = fileMode ? 0 : part.size;
                void* target = fileMode ? static_cast<void*>(r.fileName.data()) : part.buffer;
                result = driver.DomainUpload(part.item, target, &size, fileMode, &uploadAbortWord_, window,
                                             r.message, node.nodeId);
                if (result == 306) engine_.SetErrorCode(kUserAbort);
                if (result != 136 || mode != 0) {
                    postEnd = r.partNotices;
                    break;
                }
            }
            result = SdoUpload(r, part, window, node, channel);
            break;
        }
        case channel_type::kLibrary: {
            if (fileMode) {
                result = 100;
                break;
            }
            auto* library = dynamic_cast<CLibraryChannelDriver*>(&driver);
            if (!library || !library->Library().IsConnected()) {
                result = engine_.SetError(kNodeNotFound, engine_text::kNodeNotFound);
                break;
            }
            Post(window, r.message, kStart, static_cast<intptr_t>(part.size));
            const std::string name = library->Library().GetItemAddress(part.item);
            if (name.empty()) {
                result = engine_.ErrorCode();
                break;
            }
            uint32_t asked = part.size;
            if (asked >= kLibraryShortLow && asked <= kLibraryShortHigh) asked = kLibraryWhole;
            // The longer request goes to a buffer of its own: the caller's holds only its size.
            std::vector<uint8_t> local(asked);
            const int32_t handle =
                library->Library().Read(name, local.data(), static_cast<int>(asked), kLibraryQueued, nullptr);
            if (handle < 0) {
                result = engine_.SetError(
                    handle, Format("Error %d(0x%x) starting read '%s':%s", handle, handle, name.c_str(),
                                   library->Library().GetLastErrorText().c_str()));
                break;
            }
            result = PollLibrary(library->Library(), handle, [&](uint32_t progress) {
                Post(window, r.message, kProgress, static_cast<intptr_t>(progress));
            });
            if (result == 0) std::memcpy(part.buffer, local.data(), part.size);
            break;
        }
        case channel_type::kBridge:
        case channel_type::kAds: {
            if (fileMode) {
                result = 100;
                break;
            }
            const uint32_t steps = part.size * 5 / std::max<uint32_t>(uploadRate_.load(), 1) + 1;
            Post(window, r.message, kStart, static_cast<intptr_t>(steps));
            if (window) StartProgressTicker(window, r.message, kProgress, steps);
            const auto begin = std::chrono::steady_clock::now();
            uint32_t count = part.size;
            result = driver.UploadCell(part.item, part.buffer, &count, node.nodeId);
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - begin)
                                .count();
            if (result == 0 && count > 100 && ms > 0)
                uploadRate_ = static_cast<uint32_t>(static_cast<uint64_t>(count) * 1000 / ms);
            if (window) StopProgressTicker();
            break;
        }
        default:
            result = 1;
            break;
    }
    if (postEnd) Post(r.window, r.message, result == 0 ? kDone : kError, result == 0 ? 0 : result);
    return result;
}

// The SDO transfer over registers into the buffer or the file, with progress about every
// hundredth of the domain.
int CTransferThreads::SdoUpload(CUploadRequest& r, const CUploadPart& part, platform::WindowHandle window,
                                CNodo& node, CChannel& channel) {
    const bool fileMode = part.buffer == nullptr;
    platform::AtomicFileWriter file;
    if (fileMode && !file.Open(r.fileName))
        return engine_.SetError(kOpenFile, "error opening file " + r.fileName);
    uint8_t head[8] = {};
    // A short value comes in the initiate answer: room for it is the head buffer.
    uint32_t size = part.item.size >= 1 && part.item.size <= 4 ? part.item.size : sizeof head;
    int rc = engine_.SdoInitiateUpload(&channel, node.nodeId, part.item, head, &size);
    if (rc != 0) return engine_.SetError(rc, Format("InitiateUpload():%d 0x%X", rc, rc));
    const bool known = size != 0xFFFFFFFFu;
    if (!fileMode && known && size > part.size)
        return engine_.SetError(
            15, Format("InitiateUpload(%lu): buffer too small %lu", static_cast<unsigned long>(size),
                       static_cast<unsigned long>(part.size)));
    Post(window, r.message, kStart, static_cast<intptr_t>(known ? size : 0));
    const auto store = [&](const uint8_t* data, uint32_t n, uint32_t at) {
        if (!fileMode) {
            // Never past the caller's buffer, whatever the drive sends.
            if (at + n > part.size) return engine_.SetError(15, "UploadSegment(): buffer too small");
            std::memcpy(static_cast<uint8_t*>(part.buffer) + at, data, n);
            return 0;
        }
        return file.Write(data, n) ? 0 : engine_.SetError(kWriteFile, "error writing file");
    };
    uint32_t received = 0;
    if (known && size < 5) {
        rc = store(head, size, 0);
        received = rc == 0 ? size : 0;
    } else {
        const uint32_t step = std::clamp<uint32_t>(((known ? size : part.size) + 50) / 100, 100, 500);
        uint32_t noticed = 0;
        bool last = false;
        while (!last && !uploadAbort_.load()) {
            uint8_t segment[8] = {};
            uint32_t n = 0;
            rc = engine_.SdoUploadSegment(&channel, node.nodeId, segment, &n, &last);
            if (rc != 0) {
                engine_.SetError(rc, Format("UploadSegment():%d 0x%X", rc, rc));
                break;
            }
            n = std::min<uint32_t>(n, 7);
            if ((rc = store(segment, n, received)) != 0) {
                engine_.SdoAbort(&channel, node.nodeId, part.item, 0);
                break;
            }
            received += n;
            if (received - noticed > step) {
                Post(window, r.message, kProgress, static_cast<intptr_t>(received));
                noticed = received;
            }
        }
        if (rc == 0 && !last) {
            engine_.SdoAbort(&channel, node.nodeId, part.item, 0);
            rc = engine_.SetError(kUserAbort, kUserAbortText);
        }
    }
    if (fileMode) {
        if (rc == 0 && !file.Commit()) rc = engine_.SetError(kWriteFile, "error writing file");
        if (rc != 0) file.Abort();
    }
    return rc;
}

int CTransferThreads::AbortDownUpload() {
    const int ch = engine_.CurrentChannel();
    CChannel* channel = ch >= 0 && ch < engine_.ChannelCount() ? engine_.Channel(ch) : nullptr;
    if (!channel) return 0;
    if (channel->type == channel_type::kSerial || channel->type == channel_type::kBox) {
        downloadAbort_ = true;
        downloadAbortWord_ = 1;
    } else if (channel->type == channel_type::kBridge) {
        if (auto* bridge = dynamic_cast<CBridgeChannelDriver*>(channel->driver.get()))
            return bridge->SendAbort();
    }
    return 0;
}

// The transfer sees the flag between its segments; its owner then waits for its end, however
// long the segment in hand takes.
bool CTransferThreads::WaitUploadEnd(uint32_t limitMs, int* result) {
    std::unique_lock end(endMutex_);
    if (!endCv_.wait_for(end, std::chrono::milliseconds(limitMs), [this] { return !uploadRunning_.load(); }))
        return false;
    if (result) *result = uploadResult_;
    return true;
}

bool CTransferThreads::WaitUploadPart(size_t index, uint32_t limitMs, int* result) {
    std::unique_lock end(endMutex_);
    if (!endCv_.wait_for(end, std::chrono::milliseconds(limitMs),
                         [&] { return partsEnded_ > index || !uploadRunning_.load(); }))
        return false;
    if (result) {
        if (partsEnded_ > index && index < partResults_.size())
            *result = partResults_[index];
        else
            *result = uploadResult_ != 0 ? uploadResult_ : kUserAbort;
    }
    return true;
}

bool CTransferThreads::AbortUpload() {
    uploadAbort_.store(true);
    uploadAbortWord_.store(1);
    JoinUpload();
    return !uploadRunning_.load();
}

bool CTransferThreads::AbortDownload() {
    downloadAbort_.store(true);
    downloadAbortWord_.store(1);
    JoinFirmwareThreads();
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

int CTransferThreads::CheckFirmwareTarget(CDownloadFw& fw, CNodo** node, const VocabularyItem** item) {
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
    fw.slot = slot;
    fw.channel = ch;
    fw.engine = &engine_;
    fw.item = **item;
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
    if (const int rc = CheckFirmwareTarget(downloadFw_, &node, &item); rc != 0) return rc;
    downloadFw_.enable = enable;
    downloadFw_.window = window;
    downloadFw_.message = foundation::kFirmwareDownloadMessage;
    if (downloadFw_.container.HasImage() && downloadFw_.fileName == fileName) {
        Post(downloadFw_, kPrepared, 0);
        return 0;
    }
    FreeDownloadData(downloadFw_);
    downloadFw_.fileName = fileName;
    if (!prepareThread_.Start("Main::FirmwarePrepareThread",
                              [this](platform::StopToken&) { FirmwarePrepareThread(); }))
        return engine_.SetError(kPrepareThread, engine_text::kPrepareThread);
    return 0;
}

CBridgeChannelDriver* CTransferThreads::BridgeOf(const CDownloadFw& fw) {
    CChannel* channel = fw.channel >= 0 ? engine_.Channel(fw.channel) : nullptr;
    if (!channel || channel->type != channel_type::kBridge) return nullptr;
    return dynamic_cast<CBridgeChannelDriver*>(channel->driver.get());
}

// Loads the image; on a bridge it is staged in a data block there, so that the download moves
// no data over the connection.
void CTransferThreads::LoadFirmware(CDownloadFw& fw) {
    Post(fw, kLoading, 0);
    const std::string error = fw.container.ReadFirmwareInfo(fw.fileName, 0, 0);
    if (!error.empty()) engine_.SetError(-1, error);
    if (CBridgeChannelDriver* bridge = BridgeOf(fw); bridge && fw.container.HasImage()) {
        Post(fw, kCreatingBlock, static_cast<intptr_t>(fw.container.Size()));
        uint16_t block = 0;
        if (bridge->Manager().CreateDataBlock(fw.container.Data(), fw.container.Size(), &block) != 0)
            block = 0;
        fw.blockId = block;
    }
}

void CTransferThreads::FirmwarePrepareThread() {
    LoadFirmware(downloadFw_);
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
    if (!downloadThread_.Start("Main::FirmwareDownloadThread", [this](platform::StopToken& token) {
            FirmwareDownloadThread(token);
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
    FreeDownloadData(downloadFw_);
}

void CTransferThreads::FreeDownloadData(CDownloadFw& fw) {
    fw.container.Free();
    if (fw.blockId != 0)
        if (CBridgeChannelDriver* bridge = BridgeOf(fw)) bridge->Manager().DestroyDataBlock(fw.blockId);
    fw.blockId = 0;
}

// ---- ThreadAbortDownUpload ----------------------------------------------------------------------

bool CTransferThreads::StartAbortDownUpload(uint32_t delayMs) {
    std::lock_guard lock(abortMutex_);
    abortThread_.RequestStop();
    abortThread_.Join();
    abortDelayMs_ = delayMs;
    return abortThread_.Start("Main::ThreadAbortDownUpload", [this](platform::StopToken& token) {
        // A stop while it sleeps ends it without an abort.
        if (!token.WaitForStop(abortDelayMs_.load())) AbortDownUpload();
    });
}

void CTransferThreads::StopAbortDownUpload() {
    std::lock_guard lock(abortMutex_);
    abortThread_.RequestStop();
    abortThread_.Join();
}

// ---- the download --------------------------------------------------------------------------------

uint32_t CTransferThreads::TickerSteps(uint32_t size) const {
    return size * 5 / std::max<uint32_t>(downloadRate_.load(), 1) + 1;
}

void CTransferThreads::NoteDownloadRate(uint32_t bytes, std::chrono::steady_clock::time_point begin) {
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - begin)
            .count();
    if (ms > 0) downloadRate_ = static_cast<uint32_t>(uint64_t{bytes} * 1000 / static_cast<uint64_t>(ms));
}

int CTransferThreads::ReadNodeWord(CNodo& node, CChannel& channel, const char* name, uint32_t* value) {
    const VocabularyItem* item = engine_.FindItem(node, name, channel.type);
    if (!item) return kCellNotFound;
    return channel.driver->ReadItem(*item, value, node.nodeId, node.wordOrder != 0);
}

int CTransferThreads::WriteNodeWord(CNodo& node, CChannel& channel, const char* name, uint32_t value) {
    const VocabularyItem* item = engine_.FindItem(node, name, channel.type);
    if (!item) return engine_.SetError(kCellNotFound, engine_text::kCellNotFound);
    return channel.driver->WriteItem(*item, &value, node.nodeId, node.wordOrder != 0);
}

int CTransferThreads::WriteEnablingKey(CNodo& node, CChannel& channel, uint32_t value) {
    return WriteNodeWord(node, channel, kEnablingItem, value);
}

// The CANopen guarding figures of a bridge node; false when the node runs no guarding the
// download has to wait out (product code 0 or 1, or not on CANopen).
bool CTransferThreads::ReadBridgeGuarding(CNodo& node, CChannel& channel, CBridgeChannelDriver& bridge,
                                          BridgeGuarding& out) {
    if (!bridge.CurrentNodeIsCanOpen()) return false;
    uint32_t product = 0;
    if (ReadNodeWord(node, channel, kProductCodeItem, &product) != 0) product = 2;
    if (product < 2) return false;
    out.readable = ReadNodeWord(node, channel, kGuardTimeItem, &out.guardTimeMs) == 0 &&
                   ReadNodeWord(node, channel, kLifeTimeFactorItem, &out.lifeTimeFactor) == 0;
    return true;
}

// The SDO transfer over registers: segments of 7 bytes, progress about every hundredth.
int CTransferThreads::SdoFirmwareDownload(CDownloadFw& fw, CNodo& node, CChannel& channel) {
    const uint32_t size = fw.container.Size();
    const uint8_t* data = fw.container.Data();
    Post(fw, kInitiating, static_cast<intptr_t>(size));
    int rc = engine_.SdoInitiateDownload(&channel, node.nodeId, fw.item, data, size);
    if (rc != 0) {
        engine_.SetError(rc, Format("InitiateDownload():%d 0x%X", rc, rc));
        return rc;
    }
    Post(fw, kStarted, static_cast<intptr_t>(size));
    if (size <= 4) return 0;
    const uint32_t step = std::clamp<uint32_t>((size + 50) / 100, 100, 500);
    uint32_t sent = 0, noticed = 0;
    while (sent < size && !downloadAbort_.load()) {
        const uint32_t n = std::min<uint32_t>(7, size - sent);
        rc = engine_.SdoDownloadSegment(&channel, node.nodeId, data + sent, n, sent + n == size);
        if (rc != 0) {
            engine_.SetError(rc, Format("DownloadSegment():%d 0x%X", rc, rc));
            return rc;
        }
        sent += n;
        if (sent - noticed > step) {
            Post(fw, kProgressBytes, static_cast<intptr_t>(size - sent));
            noticed = sent;
        }
    }
    if (sent < size) {
        engine_.SdoAbort(&channel, node.nodeId, fw.item, 0);
        return engine_.SetError(kUserAbort, kUserAbortText);
    }
    return 0;
}

// The image through a data block of the bridge, with the node's own guarding waited out first.
int CTransferThreads::BridgeBlockDownload(CDownloadFw& fw, CNodo& node, CChannel& channel,
                                          CBridgeChannelDriver& bridge) {
    transport::CBridgeCodesys& manager = bridge.Manager();
    transport::CBridgeDownloadContext context;
    context.window = fw.window;
    context.message = fw.message;
    context.block = fw.blockId;
    const transport::CBridgeItem item = CBridgeChannelDriver::ItemOf(fw.item);
    BridgeGuarding guarding;
    if (ReadBridgeGuarding(node, channel, bridge, guarding)) {
        auto noted = std::chrono::steady_clock::now();
        uint64_t waitMs = 0;
        if (guarding.readable && guarding.guardTimeMs != 0 && guarding.lifeTimeFactor != 0) {
            Post(fw, kGuardingRunsOut, 0);
            noted = std::chrono::steady_clock::now();
            // A short try first: a node without guarding takes the image at once.
            if (manager.FoEDownload(item, context, nullptr, bridge.CurrentNodeTimeoutMs() / 1000 * 5) == 0)
                return 0;
            waitMs = uint64_t{guarding.guardTimeMs} * guarding.lifeTimeFactor + guarding.guardTimeMs + 200;
        }
        const auto until = noted + std::chrono::milliseconds(waitMs);
        while (std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
                until - std::chrono::steady_clock::now(), std::chrono::milliseconds(100)));
        if (fw.enable) {
            if (const int rc = WriteEnablingKey(node, channel, kUnlockValue); rc != 0) {
                engine_.SetError(engine_.ErrorCode(), engine_.ErrorText() + "\r\nenabling download");
                return engine_.ErrorCode();
            }
        } else {
            WriteNodeWord(node, channel, kSystemManagerItem, kFirmwareCommand);
        }
    }
    const uint32_t size = fw.container.Size();
    const uint32_t steps = TickerSteps(size);
    Post(fw, kSteps, static_cast<intptr_t>(steps));
    StartProgressTicker(fw.window, fw.message, kTick, steps);
    const auto begin = std::chrono::steady_clock::now();
    const int rc = manager.FoEDownload(item, context, nullptr, kLongTransferMs);
    if (rc == 0) NoteDownloadRate(size, begin);
    StopProgressTicker();
    return rc;
}

// The image as a plain bridge write; on a guarded CANopen node the abort thread cuts the transfer
// short once the node has taken what it needs to restart into its loader.
int CTransferThreads::BridgePlainDownload(CDownloadFw& fw, CNodo& node, CChannel& channel,
                                          CBridgeChannelDriver& bridge, bool guardingReads) {
    if (!bridge.Manager().CurrentNodeRecord()) return 1;
    uint32_t size = fw.container.Size();
    const uint32_t steps = TickerSteps(size);
    Post(fw, kSteps, static_cast<intptr_t>(steps));
    StartProgressTicker(fw.window, fw.message, kTick, steps);
    BridgeGuarding guarding;
    bool aborting = false;
    if (guardingReads && ReadBridgeGuarding(node, channel, bridge, guarding) && guarding.readable &&
        guarding.guardTimeMs != 0 && guarding.lifeTimeFactor != 0) {
        if (!fw.enable) size = std::min<uint32_t>(size, kShortImage);
        aborting = StartAbortDownUpload(fw.enable ? 2000 : 1000);
    }
    Post(fw, kTransferBegins, 0);
    const auto begin = std::chrono::steady_clock::now();
    const int rc = channel.driver->DownloadCell(fw.item, fw.container.Data(), size, node.nodeId);
    if (rc == 0) NoteDownloadRate(size, begin);
    if (aborting) StopAbortDownUpload();
    StopProgressTicker();
    return rc;
}

int CTransferThreads::AdsDownload(CDownloadFw& fw, CNodo& node, CChannel& channel) {
    const uint32_t size = fw.container.Size();
    const uint32_t steps = TickerSteps(size);
    Post(fw, kSteps, static_cast<intptr_t>(steps));
    StartProgressTicker(fw.window, fw.message, kTick, steps);
    Post(fw, kTransferBegins, 0);
    const auto begin = std::chrono::steady_clock::now();
    const int rc = channel.driver->DownloadCell(fw.item, fw.container.Data(), size, node.nodeId);
    if (rc == 0) NoteDownloadRate(size, begin);
    StopProgressTicker();
    return rc;
}

// Serial and box: the domain protocol, or SDO segments over registers where the transfer mode
// asks for them or the domain protocol is not offered.
int CTransferThreads::ModbusDownload(CDownloadFw& fw, CNodo& node, CChannel& channel) {
    const auto* modbus = dynamic_cast<const CModbusChannelDriver*>(channel.driver.get());
    const int mode = modbus ? modbus->transferMode : 0;
    if (mode >= 2) return SdoFirmwareDownload(fw, node, channel);
    uint32_t n = fw.container.Size();
    int rc = channel.driver->DomainDownload(fw.item, fw.container.Data(), &n, &downloadAbortWord_, fw.window,
                                            fw.message, node.nodeId);
    if (rc == 308) engine_.SetErrorCode(kUserAbort);
    if (rc == 302) {
        if (engine_.FindItem(node, engine_.ModbusErrorName(), channel.type))
            rc = 312;
        else if (mode != 0)
            rc = SdoFirmwareDownload(fw, node, channel);
    }
    return rc;
}

// The library's transfer runs queued; the list holds the buffer until it has ended, so it is
// polled to its end whatever happens meanwhile.
int CTransferThreads::PollLibrary(CLinkora& library, int32_t handle,
                                  const std::function<void(uint32_t)>& progress) {
    for (;;) {
        uint32_t value = 0;
        const int32_t running = library.CheckReadWrite(handle, &value);
        if (running == 0) return static_cast<int>(value);
        if (running < 0) return running;
        progress(value);
        std::this_thread::sleep_for(std::chrono::milliseconds(kLibraryPollMs));
    }
}

int CTransferThreads::LibraryDownload(CDownloadFw& fw, CNodo&, CChannel& channel) {
    auto* driver = dynamic_cast<CLibraryChannelDriver*>(channel.driver.get());
    if (!driver || !driver->Library().IsConnected())
        return engine_.SetError(kNodeNotFound, engine_text::kNodeNotFound);
    CLinkora& library = driver->Library();
    const uint32_t size = fw.container.Size();
    Post(fw, kStarted, static_cast<intptr_t>(size));
    const std::string name = library.GetItemAddress(fw.item);
    if (name.empty()) return engine_.ErrorCode();
    uint32_t first = 0, segment = 0, last = 0, restart = 0;
    fw.container.GetTimeouts(&first, &segment, &last, &restart);
    const uint32_t timeout = std::max({first, segment, last});
    const int32_t handle = library.Write(name, fw.container.Data(), static_cast<int>(size),
                                         static_cast<int>(timeout), kLibraryQueued, nullptr);
    if (handle < 0)
        return engine_.SetError(handle, Format("Error %d(0x%x) starting download firmware:%s", handle, handle,
                                               library.GetLastErrorText().c_str()));
    return PollLibrary(library, handle, [&](uint32_t progress) {
        Post(fw, kProgressBytes, static_cast<intptr_t>(size - std::min(progress, size)));
    });
}

void CTransferThreads::FirmwareDownloadThread(platform::StopToken& token) {
    CDownloadFw& fw = downloadFw_;
    int result = 0;
    // The guard must be gone before the node changes hands, however long its stop takes.
    engine_.PauseNodeguard();
    CNodo* node = fw.slot >= 0 ? engine_.Node(fw.slot) : nullptr;
    CChannel* channel = engine_.Channel(fw.channel);
    if (!node || !channel || !channel->driver) {
        FreeDownloadData(fw);
        Post(fw, kEndedError, engine_.SetError(kNodeNotFound, engine_text::kNodeNotFound));
        return;
    }
    CChannelDriver& driver = *channel->driver;
    CBridgeChannelDriver* bridge = BridgeOf(fw);
    const bool onBridge = channel->type == channel_type::kBridge;
    CNodeLock held;
    bool enabled = false;
    const auto lockNode = [&]() {
        held = CNodeLock(*node);
        if (!held) {
            EngineDebugLog(engine_text::kLockFailedLog);
            return engine_.SetError(kNodeBusy, engine_text::kNodeBusy);
        }
        node->SetTransferBusy(true);
        return 0;
    };

    if (fw.blockId != 0 && bridge) {
        if (fw.enable && WriteEnablingKey(*node, *channel, kUnlockValue) != 0) {
            engine_.SetError(engine_.ErrorCode(), engine_.ErrorText() + "\r\nenabling download");
            result = engine_.ErrorCode();
        } else if ((result = lockNode()) == 0) {
            result = BridgeBlockDownload(fw, *node, *channel, *bridge);
        }
    } else {
        switch (channel->type) {
            case channel_type::kSerial:
            case channel_type::kBox:
            case channel_type::kLibrary:
            case channel_type::kBridge:
            case channel_type::kAds:
                break;
            default:
                result = engine_.SetError(4, "node is not switched to preoperational");
                break;
        }
        if (result == 0 && fw.enable) {
            if (WriteEnablingKey(*node, *channel, kUnlockValue) != 0)
                result = engine_.SetError(6, "enabling download");
            else
                enabled = true;
        }
        if (result == 0) result = lockNode();
        if (result == 0) {
            switch (channel->type) {
                case channel_type::kSerial:
                case channel_type::kBox:
                    result = ModbusDownload(fw, *node, *channel);
                    break;
                case channel_type::kLibrary:
                    result = LibraryDownload(fw, *node, *channel);
                    break;
                case channel_type::kBridge:
                    result = bridge ? BridgePlainDownload(fw, *node, *channel, *bridge, true) : 1;
                    break;
                default:
                    result = AdsDownload(fw, *node, *channel);
                    break;
            }
        }
    }
    const bool locked = static_cast<bool>(held);
    if (locked && !onBridge) {
        if (result == 0) {
            Post(fw, kWritten, 0);
            token.WaitForStop(fw.waitAfterMs);
        }
        // The device must come back: its type answers again.
        if (const VocabularyItem* type = engine_.FindItem(*node, kDeviceTypeItem, channel->type)) {
            const int tries = result == 0 ? kDeviceComebackReads : 1;
            bool back = false;
            for (int i = 0; i < tries && !back && !token.StopRequested(); ++i) {
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
    FreeDownloadData(fw);
    if (onBridge) {
        if (result == 0 && bridge && bridge->CurrentNodeIsCanOpen())
            WriteNodeWord(*node, *channel, kEmcyResetItem, 0);
    } else if (enabled || (locked && fw.enable)) {
        // The key goes back to 0 whenever it was set, also after a failure.
        WriteEnablingKey(*node, *channel, 0);
    }
    if (locked) {
        node->SetTransferBusy(false);
        held.Unlock();
    }
    Post(fw, result == 0 || result == 306 ? kEndedOk : kEndedError,
         result == 0 || result == 306 ? 0 : result);
}

// The firmware dialog's download: the same transfers, on the caller's thread, without the
// guarding reads and the restart wait.
int CTransferThreads::DownloadFirmware(CDownloadFw& fw) {
    CNodo* node = nullptr;
    const VocabularyItem* item = nullptr;
    if (const int rc = CheckFirmwareTarget(fw, &node, &item); rc != 0) return rc;
    downloadAbort_ = false;
    downloadAbortWord_ = 0;
    if (fw.reload || !fw.container.HasImage()) {
        fw.reload = 0;
        FreeDownloadData(fw);
        LoadFirmware(fw);
    }
    // Nothing loaded is a failure, never an empty write.
    if (!fw.container.HasImage()) return engine_.SetError(3, "firmware missing");
    // The guard must be gone before the node changes hands, however long its stop takes.
    engine_.PauseNodeguard();
    CChannel* channel = engine_.Channel(fw.channel);
    if (!channel || !channel->driver) return engine_.SetError(kWrongChannel, engine_text::kWrongChannel);
    CNodeLock held(*node);
    if (!held) {
        FreeDownloadData(fw);
        return engine_.SetError(kNodeBusy, engine_text::kNodeBusy);
    }
    node->SetTransferBusy(true);
    int result = 0;
    CBridgeChannelDriver* bridge = BridgeOf(fw);
    if (fw.blockId != 0 && bridge) {
        const uint32_t steps = TickerSteps(fw.container.Size());
        Post(fw, kSteps, static_cast<intptr_t>(steps));
        StartProgressTicker(fw.window, fw.message, kTick, steps);
        const auto begin = std::chrono::steady_clock::now();
        if (!bridge->Manager().CurrentNodeRecord()) {
            result = bridge->Manager().LastCode();
        } else {
            result = bridge->WriteBlock(fw.item, fw.blockId, kLongTransferMs);
            if (result == 0) NoteDownloadRate(fw.container.Size(), begin);
        }
        StopProgressTicker();
    } else {
        switch (channel->type) {
            case channel_type::kSerial:
            case channel_type::kBox: {
                uint32_t n = fw.container.Size();
                result =
                    channel->driver->DomainDownload(fw.item, fw.container.Data(), &n, &downloadAbortWord_,
                                                    fw.window, fw.message, node->nodeId);
                if (result == 308) engine_.SetErrorCode(kUserAbort);
                break;
            }
            case channel_type::kLibrary:
                result = LibraryDownload(fw, *node, *channel);
                break;
            case channel_type::kBridge:
                result = bridge ? BridgePlainDownload(fw, *node, *channel, *bridge, false) : 1;
                break;
            case channel_type::kAds:
                result = AdsDownload(fw, *node, *channel);
                break;
            default:
                break;
        }
    }
    FreeDownloadData(fw);
    node->SetTransferBusy(false);
    held.Unlock();
    return result;
}

}  // namespace engine
