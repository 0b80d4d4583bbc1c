// The drive object's oscilloscope: display conversion of recorded samples and the watch thread's
// start, stop and pause.
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

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

// The scope records positions, velocities and accelerations in the drive's own units: increments,
// and radians per second and per second squared.
void CQd::UpdateScopeDisplayInputs() {
    const CParamData& set = CurrentSet();
    auto cell = [&set](const char* name) -> std::optional<uint32_t> {
        const CParamDw* c = set.FindNamed(name);
        if (c && c->IsValid()) return c->value;
        return std::nullopt;
    };
    constexpr int kPositionKind = 0, kVelocityKind = 3, kAccelerationKind = 6;
    const uint32_t resolution = cell("PositionResolution").value_or(0);
    CScopeDisplayInputs inputs = ScopeDisplayInputs();
    inputs.positionFactor = units_.QuantityFactor(kPositionKind, resolution);
    inputs.velocityFactor = units_.QuantityFactor(kVelocityKind, resolution);
    inputs.accelerationFactor = units_.QuantityFactor(kAccelerationKind, resolution);
    inputs.polarity = cell("Polarity").value_or(0);
    if (const auto rated = cell("RatedCurrent")) inputs.ratedCurrent = *rated;
    SetScopeDisplayInputs(inputs);
}

namespace {
// The exchange takes any negative result for a failure and any other for the bytes moved; the
// drive object's failures may be positive engine codes.
int TransferResult(int moved, int32_t code) {
    if (code == 0) return moved;
    return code < 0 ? code : -code;
}
}  // namespace

int CQd::CVmLink::DownloadCell(const std::string& name, const void* data, uint32_t size) {
    const int moved = qd_.DownloadCell(name, data, size);
    return TransferResult(moved, qd_.ResultCode());
}

int CQd::CVmLink::UploadCell(const std::string& name, void* buffer, uint32_t bufferSize) {
    const int moved = qd_.UploadCell(name, buffer, bufferSize);
    return TransferResult(moved, qd_.ResultCode());
}

std::string CQd::CVmLink::LastErrorText() {
    return qd_.LastErrorText();
}

void CQd::SetWatchClock(platform::Clock& clock) {
    if (watch_->IsRunning()) return;
    watch_ = std::make_unique<CWatchThread>(*this, clock);
}

}  // namespace drive
