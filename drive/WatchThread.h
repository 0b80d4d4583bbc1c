#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/Messages.h"
#include "platform/Thread.h"

namespace engine {
class CWatchList;
struct DomainUploadPart;
}  // namespace engine

namespace drive {

class CQd;

// The drive object's worker: runs the oscilloscope capture against the drive (arm, wait for the
// trigger, upload the buffers, convert them into the set-up's traces) and, in between, refreshes
// the watched variables of the drive's program. The window thread talks to it only through the
// request fields; it posts what happens to the oscilloscope window.
class CWatchThread : private platform::MessageSink {
  public:
    // Capture and watch states.
    static constexpr int kStart = 1, kPaused = 2, kStopped = 3, kRunning = 4;
    static constexpr uint32_t kStopLimitMs = 4000;

    // Registers the upload notice sink: construct on the window thread.
    explicit CWatchThread(CQd& qd, platform::Clock& clock = platform::SystemClock());
    ~CWatchThread() override;
    CWatchThread(const CWatchThread&) = delete;
    CWatchThread& operator=(const CWatchThread&) = delete;

    // False when the thread is already running or cannot be created.
    bool Start();
    // Clears the run flag and joins; false when the thread did not end within the limit (it is
    // joined at the latest by the destructor).
    bool Stop(uint32_t limitMs = kStopLimitMs);
    bool IsRunning() const { return thread_.IsRunning(); }

    void RequestCapture(int state) { captureRequest_ = state; }
    int CaptureRequest() const { return captureRequest_; }
    int CaptureState() const { return captureState_; }
    void RequestWatch(int state) { watchRequest_ = state; }
    int WatchRequest() const { return watchRequest_; }
    int WatchState() const { return watchState_; }
    bool CaptureActive() const { return captureActive_; }
    std::string CaptureErrorText() const;

    // The watch list the next watch step takes (not owned; change it while the watch is paused
    // or off). Program access and run state decide whether entries can be read.
    void SetWatchList(engine::CWatchList* list) { nextList_ = list; }
    void SetProgramAccess(bool access, bool stopped) {
        programAccess_ = access;
        programStopped_ = stopped;
    }
    void SetProgramBlockSize(int32_t bytes) { blockSize_ = bytes; }

    // The upload time-out for a buffer of that many bytes: a slow serial line still gets through.
    static uint32_t UploadLimitMs(uint32_t bytes) { return 5000 + bytes; }

  private:
    void OnMessage(const platform::Message& message) override;
    void Body(platform::StopToken& token);
    void CaptureStep();
    void SetUp();
    void Continue();
    // False when the capture left the upload (stop, pause or failure).
    bool UploadSlots();
    void Finish();
    void WatchStep();
    void BlockWatchStep(engine::CWatchList& list, uint32_t blockSize);
    void Fail(const std::string& text);
    void PostStatus(uintptr_t state, intptr_t value);

    CQd& qd_;
    platform::Clock& clock_;

    std::atomic<int> runState_{0};
    std::atomic<int> captureState_{kStopped}, captureRequest_{kStopped};
    std::atomic<int> watchState_{kStopped}, watchRequest_{kStopped};
    std::atomic<bool> captureActive_{false};
    std::atomic<engine::CWatchList*> nextList_{nullptr};
    std::atomic<bool> programAccess_{false}, programStopped_{false};
    std::atomic<int32_t> blockSize_{0};

    mutable std::mutex errorMutex_;
    std::string errorText_;

    // The thread's own capture state.
    std::vector<uint8_t> buffers_[4];
    uint8_t valid_[4] = {};
    int32_t samples_ = -1;
    int lastSlots_ = -1;
    int slots_ = 0;
    int uploadIndex_ = -1;
    uint32_t lastTrigger_ = 0;
    int64_t phaseMark_ = -1;
    uint32_t scanTime_ = 0;
    platform::StopToken* token_ = nullptr;
    // The buffers of the upload in hand, kept so that a capture allocates nothing for them.
    std::vector<engine::DomainUploadPart> parts_;

    // The block exchange's buffers: the answer of one command, the item table, the data read.
    std::vector<uint8_t> answer_;
    std::vector<uint8_t> table_;
    std::vector<uint8_t> blockData_;

    // Declared last: joined before anything it uses goes.
    platform::Thread thread_;
};

}  // namespace drive
