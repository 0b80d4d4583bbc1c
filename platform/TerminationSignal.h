#pragma once
// SIGTERM and SIGINT as a request to close: the handler only wakes a watcher thread, which
// calls the program's callback (the program posts its frame a close request there).

#include <functional>

namespace platform {

class TerminationWatch {
  public:
    TerminationWatch() = default;
    ~TerminationWatch();
    TerminationWatch(const TerminationWatch&) = delete;
    TerminationWatch& operator=(const TerminationWatch&) = delete;

    // Installs the handlers and starts the watcher; onSignal runs on the watcher thread, once per
    // signal. False when the handlers could not be installed.
    bool Start(std::function<void()> onSignal);
    // Puts the default handlers back and joins the watcher.
    void Stop();

  private:
    struct State;
    State* state_ = nullptr;
};

}  // namespace platform
