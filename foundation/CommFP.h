#pragma once

// The link to the peer engineering tool: two named shared-memory views and two named events that
// the peer creates before it starts the program embedded. The program sends requests ("%ld,%s")
// and waits for the answer; its listening thread answers the peer's requests through a callback,
// answers the peer's keep-alive "C6" with "Ok", sends its own "C6" when the line has been quiet,
// and ends the link on "Close".

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/Clock.h"
#include "platform/NamedEvent.h"
#include "platform/SharedMemory.h"
#include "platform/Thread.h"

namespace foundation {

class CCommFP {
  public:
    // Answers a peer request: the answer string is sent back as it is left.
    using RequestCallback = void (*)(void* context, int32_t id, std::string* request, std::string* answer);
    // Called after the link closed itself (peer "Close" or a failed keep-alive).
    using ClosedCallback = void (*)(void* context);

    enum Result : int32_t {
        kOk = 0,
        kErrThreadStart = -5,
        kErrMapping = -6,
        kErrPeerEvent = -7,
        kErrProgramEvent = -8,
        kErrNoColon = -9,
        kErrPause = -10,
        kErrLock = -11,
        kErrNoAnswer = -12,
        kErrWait = -13,
        kErrAlreadyOpen = -14,
        kErrNotOpen = -15,
    };
    enum Mode : uint32_t { kModeStop = 0, kModeListen = 1, kModePause = 2 };

    static constexpr const char* kKeepAlive = "C6";
    static constexpr const char* kKeepAliveAnswer = "Ok";
    static constexpr const char* kCloseText = "Close";
    static constexpr const char* kNotImplemented = "not implemented";

    static constexpr uint32_t kBuiltKeepAliveMs = 4000;
    static constexpr uint32_t kKeepAliveMs = 4400;
    static constexpr uint32_t kAnswerMs = 2000;
    static constexpr uint32_t kLockMs = 2500;
    static constexpr uint32_t kModeSwitchMs = 500;
    static constexpr uint32_t kCloseWaitMs = 2000;

    // Every limit of the link is measured on the clock (tests pass a fake one); the short pauses
    // between polls are real.
    explicit CCommFP(platform::Clock& clock = platform::SystemClock());
    virtual ~CCommFP();
    CCommFP(const CCommFP&) = delete;
    CCommFP& operator=(const CCommFP&) = delete;

    // Installed by the owner before Open; either callback may be null.
    void SetCallbacks(void* context, RequestCallback onRequest, ClosedCallback onClosed);

    // Channel text "N:S": opens the mappings N.f.s (written by the program) and N.f.m (written by
    // the peer) and the events N.m (set by the program) and N.s (set by the peer), then starts the
    // listening thread. 0 or a negative Result.
    int32_t Open(const std::string& channelText);
    // Sends "%ld,%s" of id and text and waits for the answer. 0 or a negative Result.
    int32_t Request(int32_t id, const std::string& text, std::string& answer);
    // Stops the listening thread and releases every object; sends nothing to the peer.
    void Close();

    bool IsOpen() const { return open_; }
    int32_t Size() const { return size_; }
    uint32_t KeepAlivePeriod() const { return keepAliveMs_; }
    uint32_t CurrentMode() const { return currentMode_; }
    bool IsListening() const { return listener_.IsRunning(); }
    // Why the last Open failed (for logs; Open's callers show only the code).
    const std::string& LastErrorText() const { return lastErrorText_; }

  private:
    enum class Wait { Signalled, TimedOut, Failed };

    bool StartThread();
    void ListenThread();
    void ListenPass();
    bool Lock();
    void Unlock();
    void StartCloseThread();
    void CloseThread();
    void UnmapViews();
    void ReleaseObjects();
    int32_t KeepAlive();
    // Waits on the peer event for at most limitMs of the clock counted from startMs.
    Wait WaitForPeer(uint32_t limitMs, int64_t startMs);
    bool WaitForMode(uint32_t mode, uint32_t pollMs);
    // Copies text with its terminating zero into the outgoing view when it fits.
    void WriteOutgoing(const std::string& text);
    std::string ReadIncoming() const;
    bool AcquireUse();
    void ReleaseUse();
    void StopListener();

    platform::Clock& clock_;

    std::atomic<uint32_t> keepAliveMs_{kBuiltKeepAliveMs};
    std::atomic<bool> open_{false};
    void* context_ = nullptr;
    RequestCallback onRequest_ = nullptr;
    ClosedCallback onClosed_ = nullptr;
    platform::NamedEvent peerEvent_;     // N.s
    platform::NamedEvent programEvent_;  // N.m
    std::atomic<uint32_t> currentMode_{kModeStop};
    std::atomic<uint32_t> requestedMode_{kModeStop};
    platform::SharedMemory outgoing_;  // N.f.s
    platform::SharedMemory incoming_;  // N.f.m
    int32_t size_ = 0;
    std::atomic<uint32_t> spin_{0};
    std::atomic<uint32_t> busy_{0};
    std::string lastErrorText_;

    // Requests in progress hold a use; Close waits for them before it releases the objects.
    std::mutex useMutex_;
    std::condition_variable useDone_;
    int users_ = 0;
    bool closing_ = false;
    std::mutex closeMutex_;

    // Declared last: destroyed (and so joined) before anything they use.
    platform::Thread closer_;
    platform::Thread listener_;
};

// The drive object's holder of the link; it adds nothing but ownership.
class CCommFPQd : public CCommFP {
  public:
    using CCommFP::CCommFP;
};

}  // namespace foundation
