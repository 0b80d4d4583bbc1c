#include "platform/Thread.h"

#include <atomic>
#include <chrono>

#include "platform/CrashSignals.h"
#include "platform/Event.h"
#include "platform/ThreadLog.h"

namespace platform {

bool StopToken::StopRequested() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return stop_;
}

bool StopToken::WaitForStop(uint32_t ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (ms == kInfinite) {
        cv_.wait(lock, [&] { return stop_; });
        return true;
    }
    return cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return stop_; });
}

void StopToken::RequestStop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    cv_.notify_all();
}

struct Thread::State {
    StopToken token;
    Event done{true, false};
    std::atomic<bool> running{false};
    std::atomic<unsigned> tid{0};
};

Thread::Thread() = default;

Thread::~Thread() {
    RequestStop();
    Join();
}

bool Thread::Start(const std::string& name, std::function<void(StopToken&)> body) {
    if (IsRunning()) return false;
    Join();
    name_ = name;
    auto state = std::make_shared<State>();
    state->running = true;
    try {
        thread_ = std::thread([state, name, body = std::move(body)]() mutable {
            state->tid = CurrentThreadId();
            EnsureCrashAltStack();  // a stack overflow in a worker still gets its crash report
            LogThreadStart(name);
            body(state->token);
            LogThreadStop(name);
            state->running = false;
            state->done.Set();
        });
    } catch (const std::system_error&) {
        return false;
    }
    state_ = std::move(state);
    return true;
}

void Thread::RequestStop() {
    if (state_) state_->token.RequestStop();
}

bool Thread::StopRequested() const {
    return state_ && state_->token.StopRequested();
}

void Thread::Join() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

bool Thread::JoinFor(uint32_t ms) {
    if (!thread_.joinable()) return true;
    if (thread_.get_id() == std::this_thread::get_id()) return false;
    if (!state_->done.Wait(ms)) return false;
    thread_.join();
    return true;
}

bool Thread::IsRunning() const {
    return state_ && state_->running;
}

unsigned Thread::ThreadId() const {
    return state_ ? state_->tid.load() : 0;
}

}  // namespace platform
