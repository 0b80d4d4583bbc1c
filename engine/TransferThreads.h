#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/DownloadFw.h"
#include "platform/Messages.h"
#include "platform/Thread.h"

namespace engine {

class CBridgeChannelDriver;
class CLinkora;
class CMain;
class CNodo;
struct CChannel;
struct VocabularyItem;

// One domain of an upload of several: its cell name and the caller's buffer for it.
struct DomainUploadPart {
    std::string name;
    void* buffer = nullptr;
    uint32_t size = 0;
};

// The engine's transfer threads: the domain upload, the firmware prepare and download, the
// progress ticker that runs beside a transfer of unknown progress, and the aborts of all of them.
class CTransferThreads {
  public:
    explicit CTransferThreads(CMain& engine);
    ~CTransferThreads();
    CTransferThreads(const CTransferThreads&) = delete;
    CTransferThreads& operator=(const CTransferThreads&) = delete;

    int StartDomainUpload(const std::string& name, void* bufferOrFile, platform::WindowHandle window,
                          uint32_t size);
    // Several domains into buffers, one after the other on one upload thread that holds the node
    // and keeps the cyclic reads paused for all of them. Each part posts its own start (24, its
    // size) and end (22, or 23 with the code); the channel's block progress is left out, the
    // parts being the steps. An abort ends the part in hand and leaves the rest.
    int StartDomainUploads(const std::vector<DomainUploadPart>& parts, platform::WindowHandle window);
    int AbortDownUpload();
    bool AbortUpload();
    bool AbortDownload();
    bool UploadRunning() const { return uploadRunning_.load(); }
    // Waits up to limitMs for the upload started last to end: true with its result (0, or the
    // code its end notice carries) once it has, without a round trip through the notified window.
    bool WaitUploadEnd(uint32_t limitMs, int* result);
    // Waits up to limitMs for part `index` of the upload started last: true with its result once
    // it has ended, or with the upload's result when the upload ended before reaching it.
    bool WaitUploadPart(size_t index, uint32_t limitMs, int* result);
    uint32_t UploadRate() const { return uploadRate_.load(); }
    // Waits for the upload in hand, if any, to end.
    void JoinUpload();
    // Aborts the upload in hand and ends the upload thread; later uploads are refused.
    void EndUploadThread();

    bool StartProgressTicker(platform::WindowHandle window, unsigned message, uintptr_t code, uint32_t bound);
    void StopProgressTicker();

    int StartFirmwarePrepare(const std::string& fileName, platform::WindowHandle window, bool enable);
    int StartFirmwareDownload();
    // The synchronous download of the caller's descriptor, on the caller's thread.
    int DownloadFirmware(CDownloadFw& fw);
    void FreeDownloadData();
    bool FirmwareThreadsRunning() const;
    void JoinFirmwareThreads();
    CDownloadFw& DownloadDescriptor() { return downloadFw_; }

    // ThreadAbortDownUpload: aborts the running transfer after the delay unless stopped first.
    bool StartAbortDownUpload(uint32_t delayMs);
    void StopAbortDownUpload();

  private:
    struct CUploadRequest;
    struct CUploadPart;
    struct BridgeGuarding {
        bool readable = false;
        uint32_t guardTimeMs = 0;
        uint32_t lifeTimeFactor = 0;
    };
    // The result of the upload, as its end notice carries it.
    int ThreadUpload(CUploadRequest& request);
    int UploadPart(CUploadRequest& request, const CUploadPart& part, CNodo& node, CChannel& channel);
    int SdoUpload(CUploadRequest& request, const CUploadPart& part, platform::WindowHandle window,
                  CNodo& node, CChannel& channel);
    int StartUpload(std::shared_ptr<CUploadRequest> request);
    void UploadThread();
    std::shared_ptr<CUploadRequest> NewUploadRequest(platform::WindowHandle window, int* error);
    void NotePartEnd(size_t index, int result);
    void FirmwarePrepareThread();
    void FirmwareDownloadThread(platform::StopToken& token);
    int CheckFirmwareTarget(CDownloadFw& fw, CNodo** node, const VocabularyItem** item);
    void JoinFirmwareThreadsLocked();
    void FreeDownloadData(CDownloadFw& fw);
    void LoadFirmware(CDownloadFw& fw);
    CBridgeChannelDriver* BridgeOf(const CDownloadFw& fw);
    uint32_t TickerSteps(uint32_t size) const;
    void NoteDownloadRate(uint32_t bytes, std::chrono::steady_clock::time_point begin);
    int ReadNodeWord(CNodo& node, CChannel& channel, const char* name, uint32_t* value);
    int WriteNodeWord(CNodo& node, CChannel& channel, const char* name, uint32_t value);
    int WriteEnablingKey(CNodo& node, CChannel& channel, uint32_t value);
    bool ReadBridgeGuarding(CNodo& node, CChannel& channel, CBridgeChannelDriver& bridge,
                            BridgeGuarding& out);
    int SdoFirmwareDownload(CDownloadFw& fw, CNodo& node, CChannel& channel);
    int ModbusDownload(CDownloadFw& fw, CNodo& node, CChannel& channel);
    int LibraryDownload(CDownloadFw& fw, CNodo& node, CChannel& channel);
    int PollLibrary(CLinkora& library, int32_t handle, const std::function<void(uint32_t)>& progress);
    int BridgeBlockDownload(CDownloadFw& fw, CNodo& node, CChannel& channel, CBridgeChannelDriver& bridge);
    int BridgePlainDownload(CDownloadFw& fw, CNodo& node, CChannel& channel, CBridgeChannelDriver& bridge,
                            bool guardingReads);
    int AdsDownload(CDownloadFw& fw, CNodo& node, CChannel& channel);

    CMain& engine_;

    // Set by the aborts, polled by the running transfer; the words are the form the Modbus domain
    // transfers poll.
    std::atomic<bool> uploadRunning_{false};
    // The end of the last upload: uploadRunning_ drops under endMutex_ once its result is kept.
    std::mutex endMutex_;
    std::condition_variable endCv_;
    int uploadResult_ = 0;  // endMutex_
    // The results of the parts of the upload started last, as each ends.
    std::vector<int> partResults_;  // endMutex_
    size_t partsEnded_ = 0;         // endMutex_
    // The upload thread's next request, and its end.
    std::condition_variable uploadCv_;
    std::shared_ptr<CUploadRequest> pendingUpload_;  // endMutex_
    bool uploadThreadEnd_ = false;                   // endMutex_
    std::atomic<bool> downloadRunning_{false};
    std::atomic<bool> uploadAbort_{false};
    std::atomic<bool> downloadAbort_{false};
    std::atomic<uint32_t> uploadAbortWord_{0};
    std::atomic<uint32_t> downloadAbortWord_{0};
    std::atomic<uint32_t> uploadRate_{2000};
    std::atomic<uint32_t> downloadRate_{2000};

    // Serialises the callers that start and join the upload and firmware threads.
    std::mutex mutex_;
    // Written by the caller before the firmware threads start, used by them while they run.
    CDownloadFw downloadFw_;  // mutex_ (and the running firmware thread)

    // Serialises starting and stopping the ticker: the upload and the firmware download both use it.
    std::mutex tickerMutex_;
    std::atomic<bool> tickerRun_{false};

    // Declared last so that they are joined before anything they use is destroyed.
    platform::Thread tickerThread_;    // tickerMutex_
    platform::Thread uploadThread_;    // mutex_
    platform::Thread prepareThread_;   // mutex_
    platform::Thread downloadThread_;  // mutex_
    // Serialises starting and stopping ThreadAbortDownUpload.
    std::mutex abortMutex_;
    std::atomic<uint32_t> abortDelayMs_{0};
    platform::Thread abortThread_;  // abortMutex_
};

}  // namespace engine
