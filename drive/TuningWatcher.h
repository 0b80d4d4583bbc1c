#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

#include "platform/Clock.h"
#include "platform/Messages.h"
#include "platform/Thread.h"

namespace drive {

class CQd;

// Waits, after a page told the drive to run an automatic procedure through
// "TuningRegulatorCommand", until the drive reports it finished, and tells the page with
// kTuningCommandEndMessage. The page owns the watcher: cancelling (or destroying it) stops and
// joins the worker, so the worker never outlives the page. A read error goes to the page as
// kTuningCommandErrorMessage; the page shows ErrorText().
class CTuningWatcher {
  public:
    static constexpr uint32_t kLimitMs = 10000;
    static constexpr uint32_t kPollMs = 500;

    explicit CTuningWatcher(CQd& qd, platform::Clock& clock = platform::SystemClock());
    ~CTuningWatcher();
    CTuningWatcher(const CTuningWatcher&) = delete;
    CTuningWatcher& operator=(const CTuningWatcher&) = delete;

    // Kind "PHASE_DIRECTION" or "TUNING"; any other starts nothing (false), as does a watcher
    // that is already active.
    bool Start(const std::string& kind, platform::WindowHandle page);
    // Clears the run flag and joins: no message comes after this returns.
    void Cancel();
    bool Active() const { return active_; }
    std::string ErrorText() const;
    // Runs on the worker once the wait ends, after the drive object's pending mode restore.
    void SetOnFinish(std::function<void()> finish) { onFinish_ = std::move(finish); }

  private:
    void Body(platform::StopToken& token, platform::WindowHandle page);
    // A drive without system manager was switched to the tuning mode by the page: the mode saved
    // before goes back once the procedure is over.
    void RestorePendingMode();

    CQd& qd_;
    platform::Clock& clock_;
    std::atomic<bool> run_{false};
    std::atomic<bool> active_{false};
    std::function<void()> onFinish_;
    mutable std::mutex errorMutex_;
    std::string errorText_;
    platform::Thread thread_;
};

}  // namespace drive
