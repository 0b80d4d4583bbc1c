#pragma once

#include <semaphore.h>

#include <cstdint>
#include <string>

#include "platform/IoErrorState.h"

namespace platform {

// A named auto-reset event shared between processes, on a POSIX named semaphore (its name follows
// SharedObjectName). Set leaves the event signalled (setting a signalled event changes nothing),
// a successful Wait takes the signal, Reset drops a pending one. The side that creates it owns
// the name and removes it on Close. Calls return 0 on success and -1 on failure, with
// LastError() (an errno value) and LastErrorText().
class NamedEvent : public IoErrorState {
  public:
    enum class WaitResult { Signalled, TimedOut, Failed };

    NamedEvent() = default;
    ~NamedEvent();
    NamedEvent(const NamedEvent&) = delete;
    NamedEvent& operator=(const NamedEvent&) = delete;

    // Creates a new event (an existing name is EEXIST).
    int Create(const std::string& name, bool initialState = false);
    // Opens an existing event.
    int Open(const std::string& name);
    // Closes; the creator also removes the name.
    void Close();
    bool IsOpen() const { return sem_ != nullptr; }

    int Set();
    int Reset();
    // Waits at most ms (monotonic clock; kInfinite of Event.h waits forever). Failed covers a
    // closed event and an error of the system wait (LastError()).
    WaitResult Wait(uint32_t ms);

  private:
    sem_t* sem_ = nullptr;
    std::string posixName_;
    bool owner_ = false;
};

}  // namespace platform
