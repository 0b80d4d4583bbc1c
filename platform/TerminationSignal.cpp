#include "platform/TerminationSignal.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "platform/ThreadLog.h"

namespace platform {
namespace {

// The write end of the wake-up pipe, for the handler (async-signal-safe use only).
volatile sig_atomic_t g_wakeFd = -1;

void OnTerminationSignal(int) {
    const int saved = errno;
    const int fd = g_wakeFd;
    if (fd >= 0) {
        const char byte = 's';
        [[maybe_unused]] ssize_t n = ::write(fd, &byte, 1);
    }
    errno = saved;
}

}  // namespace

struct TerminationWatch::State {
    int pipe[2] = {-1, -1};
    std::thread watcher;
    struct sigaction oldTerm {};
    struct sigaction oldInt {};
};

TerminationWatch::~TerminationWatch() {
    Stop();
}

bool TerminationWatch::Start(std::function<void()> onSignal) {
    if (state_ != nullptr) return true;
    auto* state = new State;
    if (::pipe2(state->pipe, O_CLOEXEC) != 0) {
        delete state;
        return false;
    }
    g_wakeFd = state->pipe[1];
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, &state->oldTerm);
    ::sigaction(SIGINT, &action, &state->oldInt);
    state->watcher = std::thread([fd = state->pipe[0], onSignal = std::move(onSignal)] {
        LogThreadStart("TerminationWatch::Watcher");
        char byte = 0;
        for (;;) {
            const ssize_t n = ::read(fd, &byte, 1);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0 || byte == 'q') break;
            onSignal();
        }
        LogThreadStop("TerminationWatch::Watcher");
    });
    state_ = state;
    return true;
}

void TerminationWatch::Stop() {
    if (state_ == nullptr) return;
    ::sigaction(SIGTERM, &state_->oldTerm, nullptr);
    ::sigaction(SIGINT, &state_->oldInt, nullptr);
    g_wakeFd = -1;
    const char quit = 'q';
    [[maybe_unused]] ssize_t n = ::write(state_->pipe[1], &quit, 1);
    state_->watcher.join();
    ::close(state_->pipe[0]);
    ::close(state_->pipe[1]);
    delete state_;
    state_ = nullptr;
}

}  // namespace platform
