#include "platform/NamedEvent.h"

#include <fcntl.h>

#include <cerrno>
#include <ctime>

#include "platform/Event.h"
#include "platform/SharedMemory.h"

namespace platform {

NamedEvent::~NamedEvent() {
    Close();
}

int NamedEvent::Create(const std::string& name, bool initialState) {
    Close();
    ClearError();
    const std::string posixName = SharedObjectName(name);
    if (posixName.empty()) return FailWithText(ENAMETOOLONG, "Event name not usable: '" + name + "'");
    sem_t* sem = sem_open(posixName.c_str(), O_CREAT | O_EXCL, 0600, initialState ? 1u : 0u);
    if (sem == SEM_FAILED) return Fail(errno, "Creating event '" + name + "'");
    sem_ = sem;
    posixName_ = posixName;
    owner_ = true;
    return 0;
}

int NamedEvent::Open(const std::string& name) {
    Close();
    ClearError();
    const std::string posixName = SharedObjectName(name);
    if (posixName.empty()) return FailWithText(ENAMETOOLONG, "Event name not usable: '" + name + "'");
    sem_t* sem = sem_open(posixName.c_str(), 0);
    if (sem == SEM_FAILED) return Fail(errno, "Opening event '" + name + "'");
    sem_ = sem;
    posixName_ = posixName;
    owner_ = false;
    return 0;
}

void NamedEvent::Close() {
    if (sem_ != nullptr) sem_close(sem_);
    if (owner_ && !posixName_.empty()) sem_unlink(posixName_.c_str());
    sem_ = nullptr;
    posixName_.clear();
    owner_ = false;
}

int NamedEvent::Set() {
    if (sem_ == nullptr) return FailWithText(EBADF, "Event not open");
    // An event holds one signal at most. Two sides setting at the very same moment may leave
    // a second count, which the next Reset or Wait-and-Reset of the protocol drops.
    int value = 0;
    if (sem_getvalue(sem_, &value) != 0) return Fail(errno, "Setting event");
    if (value > 0) return 0;
    if (sem_post(sem_) != 0) return Fail(errno, "Setting event");
    return 0;
}

int NamedEvent::Reset() {
    if (sem_ == nullptr) return FailWithText(EBADF, "Event not open");
    for (;;) {
        if (sem_trywait(sem_) == 0 || errno == EINTR) continue;
        if (errno == EAGAIN) return 0;
        return Fail(errno, "Resetting event");
    }
}

NamedEvent::WaitResult NamedEvent::Wait(uint32_t ms) {
    if (sem_ == nullptr) {
        FailWithText(EBADF, "Event not open");
        return WaitResult::Failed;
    }
    if (ms == kInfinite) {
        while (sem_wait(sem_) != 0) {
            if (errno != EINTR) {
                Fail(errno, "Waiting for event");
                return WaitResult::Failed;
            }
        }
        return WaitResult::Signalled;
    }
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += time_t(ms / 1000);
    deadline.tv_nsec += long(ms % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    for (;;) {
        if (sem_clockwait(sem_, CLOCK_MONOTONIC, &deadline) == 0) return WaitResult::Signalled;
        if (errno == EINTR) continue;
        if (errno == ETIMEDOUT) return WaitResult::TimedOut;
        Fail(errno, "Waiting for event");
        return WaitResult::Failed;
    }
}

}  // namespace platform
