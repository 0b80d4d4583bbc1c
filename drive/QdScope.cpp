// The drive object's oscilloscope: display conversion of recorded samples and the watch thread's
// start, stop and pause.
#include <cmath>
#include <cstring>
#include <limits>

#include "drive/Qd.h"
#include "platform/Prompt.h"

namespace drive {

void CQd::SetScopeDisplayInputs(const CScopeDisplayInputs& inputs) {
    std::lock_guard lock(scopeDisplayMutex_);
    scopeDisplay_ = inputs;
}

CScopeDisplayInputs CQd::ScopeDisplayInputs() const {
    std::lock_guard lock(scopeDisplayMutex_);
    return scopeDisplay_;
}

double CQd::ConvertToDisplayUnit(double value, const ComboChannelsTypes& variable) {
    const std::optional<double> factor = DisplayFactor(variable, ScopeDisplayInputs());
    return factor ? value * *factor : std::numeric_limits<double>::quiet_NaN();
}

double CQd::ConvertRawValue(uint32_t raw, const ComboChannelsTypes& variable) {
    return ConvertToDisplayUnit(RawSampleValue(variable, raw), variable);
}

bool CQd::ConvertChannelSamples(int slot) {
    const ComboChannelsTypes* v = osc_.GetChannelVariable(slot);
    if (!v) return false;
    const uint8_t* raw = osc_.SlotBuffer(slot);
    const size_t n = osc_.samplesPerChannel > 0 ? static_cast<size_t>(osc_.samplesPerChannel) : 0;
    if (!raw || osc_.SlotBufferBytes(slot) < n * 4) return false;
    return osc_.ConvertSamples(slot, raw, n, ConvertToDisplayUnit(1.0, *v));
}

void CQd::SetWatchClock(platform::Clock& clock) {
    if (watch_->IsRunning()) return;
    watch_ = std::make_unique<CWatchThread>(*this, clock);
}

}  // namespace drive
