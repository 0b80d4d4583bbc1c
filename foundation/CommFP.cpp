#include "foundation/CommFP.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <thread>

#include "platform/Prompt.h"
#include "platform/SystemError.h"
#include "platform/ThreadLog.h"

namespace foundation {

namespace {

void SleepRealMs(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// The leading decimal number of a text as the C library's atoi/atol read it (blanks, a sign,
// digits; 0 when there are none), held within the 32-bit range instead of overflowing.
int32_t LeadingNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > int64_t(INT32_MAX) + 1) value = int64_t(INT32_MAX) + 1;
    }
    if (negative) value = -value;
    return int32_t(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

// A slice of real time for each wait on the peer event, so that the limit itself is measured
// on the link's clock.
constexpr uint32_t kWaitSliceMs = 20;

}  // namespace

CCommFP::CCommFP(platform::Clock& clock) : clock_(clock) {}

CCommFP::~CCommFP() {
    // Tell the peer the program is going; nothing is awaited. The listener may be answering at
    // this moment: the text goes out under the channel's lock, or not at all.
    if (open_ && outgoing_.IsOpen() && programEvent_.IsOpen() && Lock()) {
        WriteOutgoing(kCloseText);
        programEvent_.Set();
        Unlock();
    }
    Close();
    closer_.Join();
    Close();
}

void CCommFP::SetCallbacks(void* context, RequestCallback onRequest, ClosedCallback onClosed) {
    context_ = context;
    onRequest_ = onRequest;
    onClosed_ = onClosed;
}

int32_t CCommFP::Open(const std::string& channelText) {
    if (open_) return kErrAlreadyOpen;
    // A link that closed itself: its closer has to be done before new objects are opened.
    closer_.Join();
    if (listener_.IsRunning() || outgoing_.IsOpen() || incoming_.IsOpen() || peerEvent_.IsOpen() ||
        programEvent_.IsOpen())
        Close();
    if (listener_.IsRunning()) return kErrAlreadyOpen;  // asked from within its own callback
    lastErrorText_.clear();

    const size_t colon = channelText.find(':');
    if (colon == std::string::npos) {
        lastErrorText_ = "Channel text without size: '" + channelText + "'";
        return kErrNoColon;
    }
    const std::string name = channelText.substr(0, colon);
    size_ = LeadingNumber(std::string_view(channelText).substr(colon + 1));

    const std::string mappingName = name + ".f";
    if (outgoing_.Open(mappingName + ".s") != 0) {
        lastErrorText_ = outgoing_.LastErrorText();
        UnmapViews();
        return kErrMapping;
    }
    if (incoming_.Open(mappingName + ".m") != 0) {
        lastErrorText_ = incoming_.LastErrorText();
        UnmapViews();
        return kErrMapping;
    }
    if (programEvent_.Open(name + ".m") != 0) {
        lastErrorText_ = programEvent_.LastErrorText();
        UnmapViews();
        return kErrProgramEvent;
    }
    if (peerEvent_.Open(name + ".s") != 0) {
        lastErrorText_ = peerEvent_.LastErrorText();
        Close();
        return kErrPeerEvent;
    }
    open_ = true;
    keepAliveMs_ = kKeepAliveMs;
    if (!StartThread()) {
        lastErrorText_ = "Listening thread not started";
        Close();
        return kErrThreadStart;
    }
    return kOk;
}

bool CCommFP::StartThread() {
    requestedMode_ = kModeListen;
    currentMode_ = kModeStop;
    return listener_.Start("CCommFP::ListenThread", [this](platform::StopToken&) { ListenThread(); });
}

void CCommFP::Close() {
    if (listener_.IsRunning() && listener_.ThreadId() == platform::CurrentThreadId()) {
        // Asked from within the request callback: the thread cannot wait for itself. It ends after
        // this pass; the next Close, Open or the destructor releases the objects.
        requestedMode_ = kModeStop;
        open_ = false;
        return;
    }
    std::lock_guard<std::mutex> closing(closeMutex_);
    {
        std::lock_guard<std::mutex> lock(useMutex_);
        closing_ = true;
    }
    StopListener();
    {
        std::unique_lock<std::mutex> lock(useMutex_);
        useDone_.wait(lock, [this] { return users_ == 0; });
    }
    ReleaseObjects();
    open_ = false;
    std::lock_guard<std::mutex> lock(useMutex_);
    closing_ = false;
}

void CCommFP::StopListener() {
    if (listener_.IsRunning()) {
        requestedMode_ = kModeStop;
        if (currentMode_ == kModeListen) peerEvent_.Set();
        // The thread uses the views and events until its last pass ends, so it is waited for
        // whole, however long the request callback it may be running takes.
        listener_.Join();
    }
    listener_.Join();
    currentMode_ = kModeStop;
}

void CCommFP::ReleaseObjects() {
    peerEvent_.Close();
    programEvent_.Close();
    UnmapViews();
}

void CCommFP::UnmapViews() {
    outgoing_.Close();
    incoming_.Close();
}

bool CCommFP::AcquireUse() {
    std::lock_guard<std::mutex> lock(useMutex_);
    if (closing_ || !open_) return false;
    ++users_;
    return true;
}

void CCommFP::ReleaseUse() {
    std::lock_guard<std::mutex> lock(useMutex_);
    if (--users_ == 0) useDone_.notify_all();
}

bool CCommFP::Lock() {
    int64_t start = clock_.NowMs();
    uint32_t expected = 0;
    while (!spin_.compare_exchange_strong(expected, 1)) {
        expected = 0;
        if (clock_.NowMs() - start >= kLockMs) return false;
        SleepRealMs(6);
    }
    start = clock_.NowMs();
    while (busy_ != 0) {
        if (clock_.NowMs() - start >= kLockMs) {
            spin_ = 0;
            return false;
        }
        SleepRealMs(5);
    }
    busy_ = 1;
    spin_ = 0;
    return true;
}

void CCommFP::Unlock() {
    --busy_;
}

CCommFP::Wait CCommFP::WaitForPeer(uint32_t limitMs, int64_t startMs) {
    for (;;) {
        const int64_t elapsed = clock_.NowMs() - startMs;
        if (elapsed >= int64_t(limitMs)) return Wait::TimedOut;
        const uint32_t slice = uint32_t(std::min<int64_t>(limitMs - elapsed, kWaitSliceMs));
        switch (peerEvent_.Wait(slice)) {
            case platform::NamedEvent::WaitResult::Signalled:
                return Wait::Signalled;
            case platform::NamedEvent::WaitResult::Failed:
                return Wait::Failed;
            case platform::NamedEvent::WaitResult::TimedOut:
                break;
        }
    }
}

bool CCommFP::WaitForMode(uint32_t mode, uint32_t pollMs) {
    const int64_t start = clock_.NowMs();
    while (currentMode_ != mode) {
        if (!listener_.IsRunning() || clock_.NowMs() - start >= kModeSwitchMs) return false;
        SleepRealMs(pollMs);
    }
    return true;
}

void CCommFP::WriteOutgoing(const std::string& text) {
    // The size of the channel text is the limit; it never reaches past the mapped view.
    const size_t limit = size_ > 0 ? std::min(size_t(size_), outgoing_.Size()) : 0;
    if (outgoing_.Data() == nullptr || text.size() >= limit) return;
    std::memcpy(outgoing_.Data(), text.c_str(), text.size() + 1);
}

std::string CCommFP::ReadIncoming() const {
    // The peer's text ends at its zero or, lacking one, at the end of the view.
    if (incoming_.Data() == nullptr) return {};
    return std::string(incoming_.Data(), strnlen(incoming_.Data(), incoming_.Size()));
}

int32_t CCommFP::Request(int32_t id, const std::string& text, std::string& answer) {
    if (!AcquireUse()) return kErrNotOpen;
    struct UseGuard {
        CCommFP* self;
        ~UseGuard() { self->ReleaseUse(); }
    } useGuard{this};
    if (!Lock()) return kErrLock;

    if (listener_.IsRunning() && currentMode_ != kModePause) {
        uint32_t listen = kModeListen;
        if (requestedMode_.compare_exchange_strong(listen, kModePause)) {
            peerEvent_.Set();
            if (!WaitForMode(kModePause, 10)) {
                uint32_t pause = kModePause;
                requestedMode_.compare_exchange_strong(pause, kModeListen);
                Unlock();
                return kErrPause;
            }
        }
    }

    // "%ld,%s": the text ends at a zero byte, as a C string would.
    WriteOutgoing(std::to_string(id) + "," + std::string(text.c_str()));
    peerEvent_.Reset();
    const int64_t start = clock_.NowMs();
    programEvent_.Set();
    int32_t result = kOk;
    switch (WaitForPeer(kAnswerMs, start)) {
        case Wait::Signalled:
            answer = ReadIncoming();
            break;
        case Wait::TimedOut:
            programEvent_.Reset();
            result = kErrNoAnswer;
            break;
        case Wait::Failed: {
            const int error = peerEvent_.LastError();
            programEvent_.Reset();
            platform::Prompts().MessageBox(platform::SystemErrorText(error),
                                           "Request: error WaitForSingleObject",
                                           platform::MB_OK | platform::MB_ICONINFORMATION);
            result = kErrWait;
            break;
        }
    }

    if (listener_.IsRunning() && currentMode_ != kModeListen) {
        // A link being closed meanwhile keeps its stop request.
        uint32_t pause = kModePause;
        if (requestedMode_.compare_exchange_strong(pause, kModeListen)) WaitForMode(kModeListen, 6);
    }
    Unlock();
    return result;
}

void CCommFP::ListenThread() {
    const uint32_t keepAliveMs = keepAliveMs_;
    for (;;) {
        const uint32_t mode = requestedMode_;
        if (mode == kModeStop) break;
        currentMode_ = mode;
        if (mode == kModeListen) {
            const int64_t start = clock_.NowMs();
            Wait wait = Wait::TimedOut;
            // The pass also ends when the thread is asked to pause or stop.
            for (;;) {
                const int64_t elapsed = clock_.NowMs() - start;
                if (elapsed >= int64_t(keepAliveMs) || requestedMode_ != kModeListen) break;
                const auto r =
                    peerEvent_.Wait(uint32_t(std::min<int64_t>(keepAliveMs - elapsed, kWaitSliceMs)));
                if (r == platform::NamedEvent::WaitResult::Signalled) {
                    wait = Wait::Signalled;
                    break;
                }
                if (r == platform::NamedEvent::WaitResult::Failed) {
                    wait = Wait::Failed;
                    break;
                }
            }
            if (requestedMode_ != kModeListen) continue;
            if (wait == Wait::Signalled) {
                open_ = true;
                ListenPass();
            } else if (wait == Wait::TimedOut && open_) {
                if (KeepAlive() != kOk) {
                    if (open_.exchange(false)) StartCloseThread();
                    requestedMode_ = kModeStop;
                }
            } else if (wait == Wait::Failed) {
                SleepRealMs(10);  // a broken event must not spin the processor
            }
        } else {
            SleepRealMs(10);
        }
    }
    currentMode_ = kModeStop;
}

void CCommFP::ListenPass() {
    if (!Lock()) return;
    const std::string text = ReadIncoming();
    if (text == kKeepAlive) {
        WriteOutgoing(kKeepAliveAnswer);
        programEvent_.Set();
    } else if (text == kCloseText) {
        if (open_.exchange(false)) StartCloseThread();
        requestedMode_ = kModeStop;
    } else {
        const size_t comma = text.find(',');
        if (comma != std::string::npos && comma >= 1) {
            const int32_t id = LeadingNumber(std::string_view(text).substr(0, comma));
            std::string request = text.substr(comma + 1);
            std::string answer;
            if (onRequest_ != nullptr)
                onRequest_(context_, id, &request, &answer);
            else
                answer = kNotImplemented;
            WriteOutgoing(answer);
            programEvent_.Set();
        }
    }
    Unlock();
}

int32_t CCommFP::KeepAlive() {
    if (!Lock()) return kErrLock;
    WriteOutgoing(kKeepAlive);
    peerEvent_.Reset();
    const int64_t start = clock_.NowMs();
    programEvent_.Set();
    int32_t result = kOk;
    switch (WaitForPeer(kAnswerMs, start)) {
        case Wait::Signalled:
            break;
        case Wait::TimedOut:
            programEvent_.Reset();
            result = kErrNoAnswer;
            break;
        case Wait::Failed:
            programEvent_.Reset();
            result = kErrWait;
            break;
    }
    Unlock();
    return result;
}

void CCommFP::StartCloseThread() {
    closer_.Start("CCommFP::CloseThread", [this](platform::StopToken&) { CloseThread(); });
}

void CCommFP::CloseThread() {
    Close();
    if (onClosed_ != nullptr) onClosed_(context_);
}

}  // namespace foundation
