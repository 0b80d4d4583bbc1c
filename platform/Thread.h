#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace platform {

// Cooperative stop request shared between a Thread and its body.
class StopToken {
  public:
    bool StopRequested() const;
    // Sleeps up to ms or until a stop is requested; true when a stop was requested.
    bool WaitForStop(uint32_t ms);
    void RequestStop();

  private:
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    bool stop_ = false;
};

// A worker thread that logs its start and stop ("<name> started 0x%X") and is
// never killed from outside: stop is a request the body polls, then a join.
// The destructor requests a stop and joins.
class Thread {
  public:
    Thread();
    ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // False when already running or the thread cannot be created.
    bool Start(const std::string& name, std::function<void(StopToken&)> body);
    void RequestStop();
    bool StopRequested() const;
    // Waits for the body to return (no-op when not started or joined already).
    void Join();
    // Waits at most ms for the body to return; true when it has (and is joined).
    bool JoinFor(uint32_t ms);
    // True from Start until the body has returned.
    bool IsRunning() const;
    // Kernel id of the worker (0 before it runs).
    unsigned ThreadId() const;
    const std::string& Name() const { return name_; }

  private:
    struct State;
    std::shared_ptr<State> state_;
    std::thread thread_;
    std::string name_;
};

}  // namespace platform
