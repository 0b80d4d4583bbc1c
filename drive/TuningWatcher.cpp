#include "drive/TuningWatcher.h"

#include "drive/Qd.h"
#include "foundation/MessageIds.h"

namespace drive {

CTuningWatcher::CTuningWatcher(CQd& qd, platform::Clock& clock) : qd_(qd), clock_(clock) {}

CTuningWatcher::~CTuningWatcher() {
    Cancel();
}

bool CTuningWatcher::Start(const std::string& kind, platform::WindowHandle page) {
    if (kind != "PHASE_DIRECTION" && kind != "TUNING") return false;
    if (thread_.IsRunning()) return false;
    thread_.Join();
    {
        std::lock_guard lock(errorMutex_);
        errorText_.clear();
    }
    run_ = true;
    active_ = true;
    if (!thread_.Start("Qd::Thread_TuningRegulatorCommandStop",
                       [this, page](platform::StopToken& token) { Body(token, page); })) {
        run_ = false;
        active_ = false;
        return false;
    }
    return true;
}

void CTuningWatcher::Cancel() {
    run_ = false;
    thread_.RequestStop();
    thread_.Join();
}

std::string CTuningWatcher::ErrorText() const {
    std::lock_guard lock(errorMutex_);
    return errorText_;
}

void CTuningWatcher::Body(platform::StopToken& token, platform::WindowHandle page) {
    uint32_t command = 1;
    const int64_t start = clock_.NowMs();
    for (;;) {
        if (command == 0 || clock_.NowMs() - start >= kLimitMs) {
            platform::PostMessage(page, foundation::kTuningCommandEndMessage, 0, 0);
            break;
        }
        if (!run_.load() || token.StopRequested()) break;
        if (qd_.ReadCell("TuningRegulatorCommand", &command) != 0) {
            {
                std::lock_guard lock(errorMutex_);
                errorText_ = "TuningRegulatorCommand read error (Thread_TuningRegulatorCommandStop)";
            }
            platform::PostMessage(page, foundation::kTuningCommandErrorMessage, 0, 0);
            break;
        }
        if (token.WaitForStop(kPollMs)) break;
    }
    RestorePendingMode();
    if (onFinish_) onFinish_();
    active_ = false;
}

void CTuningWatcher::RestorePendingMode() {
    CQd::COperationFlags& flags = qd_.Operations();
    if (qd_.Identity().systemManager || !flags.modeSaved) return;
    qd_.SetModeOfOperation();
    flags.modeSaved = false;
}

}  // namespace drive
