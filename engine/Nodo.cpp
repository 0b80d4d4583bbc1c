#include "engine/Nodo.h"

#include <algorithm>
#include <cstring>

#include "engine/EngineCodes.h"
#include "engine/EngineLog.h"

namespace engine {

CNodo::CNodo(uint16_t guardTime, uint8_t lifeTime) : guardTimeMs(guardTime), lifeTimeFactor(lifeTime) {
    values_.rehash(787);
}

CNodo::~CNodo() = default;

bool CNodo::Lock() {
    if (lock_.LockFor(lockTimeoutMs)) return true;
    EngineDebugLog(engine_text::kLockFailedLog);
    return false;
}

bool CNodo::Lock(const platform::StopToken& stop) {
    constexpr uint32_t kStepMs = 100;
    uint32_t left = lockTimeoutMs;
    while (!stop.StopRequested()) {
        const uint32_t step = std::min(kStepMs, left);
        if (lock_.LockFor(step)) return true;
        left -= step;
        if (left == 0) {
            EngineDebugLog(engine_text::kLockFailedLog);
            return false;
        }
    }
    return false;
}

bool CNodo::Unlock() {
    if (!lock_.IsOwnedByCurrentThread()) return false;
    lock_.Unlock();
    return true;
}

void CNodo::ClearValues() {
    values_.clear();
}

void CNodo::SetValue(const std::string& name, const void* data, uint32_t size) {
    CNodoValue& v = values_[name];
    v.word = 0;
    v.size = size;
    if (size == 0 || data == nullptr) {
        v.data.clear();
        v.size = 0;
        return;
    }
    const auto* bytes = static_cast<const uint8_t*>(data);
    v.data.assign(bytes, bytes + size);
}

void CNodo::SetValueWord(const std::string& name, uint32_t word) {
    CNodoValue& v = values_[name];
    v.data.clear();
    v.size = 0;
    v.word = word;
}

uint32_t CNodo::GetValue(const std::string& name) const {
    auto it = values_.find(name);
    if (it == values_.end()) return 0;
    const CNodoValue& v = it->second;
    if (v.size == 0) return v.word;
    const uint8_t* d = v.data.data();
    if (v.size >= 4) {
        uint32_t w;
        std::memcpy(&w, d, 4);
        return w;
    }
    if (v.size >= 2) return static_cast<uint32_t>(d[0] | (d[1] << 8));
    return d[0];
}

uint32_t CNodo::GetValueBytes(const std::string& name, uint32_t bufferSize, void* buffer) const {
    auto it = values_.find(name);
    if (it == values_.end()) {
        if (buffer != nullptr && bufferSize > 0) std::memset(buffer, 0, bufferSize);
        return 0;
    }
    const CNodoValue& v = it->second;
    if (buffer == nullptr) return 0;
    if (v.size == 0) {
        uint32_t n = std::min<uint32_t>(bufferSize, 4);
        std::memcpy(buffer, &v.word, n);
        return n;
    }
    uint32_t n = std::min(bufferSize, v.size);
    std::memcpy(buffer, v.data.data(), n);
    return n;
}

void CNodo::ResetIdentity() {
    values_.clear();
    channelIndex = -1;
    address = 0;
    vocabularyIndex = -1;
    nodeId = 0;
    hardwareCode = softwareCode = softwareVersion = 0;
    build = 0;
    transferBusy_.store(false);
    simulated = 0;
    lockTimeoutMs = kDefaultLockTimeoutMs;
    guardArmed = 0;
    guardState = reportedGuardState = kGuardFresh;
    wordOrder = 0;
}

}  // namespace engine
