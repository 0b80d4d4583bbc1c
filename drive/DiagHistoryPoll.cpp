#include "drive/DiagHistoryPoll.h"

#include <algorithm>
#include <chrono>

namespace drive {

CDiagHistoryPollThread::CDiagHistoryPollThread(std::function<void()> pass) : pass_(std::move(pass)) {}

CDiagHistoryPollThread::~CDiagHistoryPollThread() {
    Stop();
}

void CDiagHistoryPollThread::SetPeriodMs(int32_t ms) {
    periodMs_ = std::max(ms, kMinPeriodMs);
    wake_.Set();
}

bool CDiagHistoryPollThread::Start() {
    if (thread_.IsRunning()) {
        int expected = kPaused;
        if (!state_.compare_exchange_strong(expected, kRun)) {
            expected = kPauseRequested;
            state_.compare_exchange_strong(expected, kRun);
        }
        wake_.Set();
        return true;
    }
    thread_.Join();
    state_ = kRun;
    wake_.Set();
    if (!thread_.Start("DiagHistoryPoll", [this](platform::StopToken&) { Body(); })) {
        state_ = kStop;
        return false;
    }
    return true;
}

bool CDiagHistoryPollThread::Pause(uint32_t timeoutMs) {
    if (!thread_.IsRunning()) return true;
    int expected = kRun;
    state_.compare_exchange_strong(expected, kPauseRequested);
    wake_.Set();
    std::unique_lock lock(mutex_);
    return paused_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] {
        const int s = state_.load();
        return s == kPaused || s == kStop || !thread_.IsRunning();
    });
}

void CDiagHistoryPollThread::Stop() {
    state_ = kStop;
    wake_.Set();
    thread_.Join();
    paused_.notify_all();
}

void CDiagHistoryPollThread::Body() {
    for (;;) {
        wake_.Wait(static_cast<uint32_t>(periodMs_.load()));
        const int state = state_.load();
        if (state == kStop) break;
        if (state == kPauseRequested) {
            {
                std::lock_guard lock(mutex_);
                int expected = kPauseRequested;
                state_.compare_exchange_strong(expected, kPaused);
            }
            paused_.notify_all();
            continue;
        }
        if (state == kPaused) continue;
        pass_();
    }
    std::lock_guard lock(mutex_);
    paused_.notify_all();
}

}  // namespace drive
