#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "drive/SystemManager.h"
#include "platform/Clock.h"
#include "tools/drivesim/SimDriveModel.h"

namespace drivetest {

// The codes a fieldbus channel gives for the simulated drive's refusals (CANopen abort codes).
inline int CodeOfRefusal(drivesim::Refusal refusal) {
    switch (refusal) {
        case drivesim::Refusal::None:
            return 0;
        case drivesim::Refusal::NoObject:
            return -303;
        case drivesim::Refusal::Silent:
            return -123;
        default:
            return static_cast<int>(drivesim::SdoAbortOf(refusal));
    }
}

// The system manager's access straight onto a simulated drive in the same process, on the
// drive's simulated clock; every write is recorded.
class SimAccess : public drive::CSystemManagerAccess {
  public:
    explicit SimAccess(drivesim::SimDriveModel& model) : model_(model) {}
    int ReadCell(const std::string& name, uint32_t* value) override {
        if (hidden.count(name)) return -303;
        const drivesim::SimDriveModel::Answer answer = model_.Read(name);
        if (answer.refusal != drivesim::Refusal::None) return CodeOfRefusal(answer.refusal);
        const auto v = model_.ReadValue(name);
        *value = static_cast<uint32_t>(v.value_or(0));
        return 0;
    }
    int WriteCell(const std::string& name, uint32_t value) override {
        {
            std::lock_guard lock(mutex_);
            writes.emplace_back(name, value);
        }
        if (hidden.count(name)) return -303;
        return CodeOfRefusal(model_.WriteValue(name, static_cast<int32_t>(value)));
    }
    std::string LastErrorText() override { return "engine text"; }
    std::string ModbusErrorVariableName() override { return "ModbusError"; }
    const std::string* FindModbusError(uint32_t value) override {
        const auto it = modbusErrors.find(value);
        return it == modbusErrors.end() ? nullptr : &it->second;
    }
    // Values written to one name, in order.
    std::vector<uint32_t> Written(const std::string& name) const {
        std::lock_guard lock(mutex_);
        std::vector<uint32_t> out;
        for (const auto& [n, v] : writes)
            if (n == name) out.push_back(v);
        return out;
    }

    std::set<std::string> hidden;
    std::map<uint32_t, std::string> modbusErrors;
    std::vector<std::pair<std::string, uint32_t>> writes;

  private:
    drivesim::SimDriveModel& model_;
    mutable std::mutex mutex_;
};

}  // namespace drivetest
