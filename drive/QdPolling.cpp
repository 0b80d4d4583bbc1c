// Cyclic read groups that keep the drive's status, I/O and loop settings fresh in the current
// parameter set, and the pause and resume of all background activity around long operations.
#include <chrono>
#include <thread>

#include "drive/Qd.h"
#include "engine/Channel.h"
#include "engine/ChannelTypes.h"
#include "engine/EngineCodes.h"
#include "engine/Main.h"
#include "foundation/MessageIds.h"

namespace drive {

using foundation::kGroupChangeMessage;
using foundation::kStatusGroupsRecreateMessage;

namespace {

constexpr int32_t kStateCycleMs = 997;
constexpr int32_t kMotionCycleMs = 639;
constexpr int32_t kUnitsCycleMs = 5260;
constexpr int32_t kIoCycleMs = 997;
constexpr int32_t kTuning1CycleMs = 749;
constexpr int32_t kTuning2CycleMs = 743;
constexpr int kCyclicMode = 4;
constexpr int kWatchWaitMs = 4000;
constexpr int kWatchStepMs = 10;

constexpr const char* kTuning1Cells[] = {"KP_IQ",
                                         "KI_IQ",
                                         "KP_ID",
                                         "KI_ID",
                                         "KP_High_Speed",
                                         "KI_High_Speed",
                                         "KP_High_Position",
                                         "KP_Low_Position",
                                         "LowSpeedGain",
                                         "KFF_Velocity",
                                         "SpeedTypeFilter",
                                         "SpeedFreqFilter",
                                         "Enable_Switch_KPP",
                                         "Enable_KPP",
                                         "SpeedTypeFilter2",
                                         "SpeedFreqFilter2",
                                         "SpeedTypeFilter3",
                                         "SpeedFreqFilter3",
                                         "PositionErrorDeadBand",
                                         "KFF_Acceleration",
                                         "Enable_Switch_KV"};
constexpr const char* kTuning2Common[] = {"Estimated_Inertia_Reduction", "KC_FreqFilter", "KC_TypeFilter",
                                          "KCq_Reduction"};
constexpr const char* kTuning2Tail[] = {"ATONaturalFrequency", "SensorFreqFilter", "SensorTypeFilter",
                                        "FilterFactorSpeedD",  "SpeedGainKD",      "DegaussTypeFilter"};

}  // namespace

void CQd::SleepMs(int ms) {
    if (sleep_) {
        sleep_(ms);
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int CQd::CreateGroup() {
    engine::CMain* engine = EngineOrNull();
    if (!engine) return -1;
    engine->ClearError();
    return engine->GroupCreate(0, 0, wnd_.Handle(), kGroupChangeMessage);
}

// ---- status groups ---------------------------------------------------------------------------

void CQd::CreateStatusGroups() {
    if (!parameters_ || !parameters_->data) return;
    CParamData& set = CurrentSet();
    // Family 10 drives have no program, loop type or motion cells of their own.
    const bool reduced = state_.group == 10;

    if (polling_.stateGroup < 0) {
        const int group = CreateGroup();
        if (group >= 0) {
            polling_.stateGroup = group;
            const std::string& alarm = state_.errorWordCells[3];
            AddCellToGroup(group, alarm, set.Named(alarm), 0);
            if (!reduced) {
                AddCellToGroup(group, "vm_StatusRunStop", set.Named("vm_StatusRunStop"), 0);
                AddCellToGroup(group, "CurrentLoopType", set.Named("CurrentLoopType"), 0);
            }
            AddCellToGroup(group, state_.modeCell, set.Named(state_.modeCell), kTagModeDisplay);
            polling_.firstModeSeen = false;
            // The time base the oscilloscope pages read: bridge and ADS channels run their
            // groups at 100 ms; the others at the period the group was given.
            const int kind = ChannelType();
            polling_.groupTimeBase =
                kind == connection_kind::kBridge || kind == connection_kind::kTwinCat ? 100 : kStateCycleMs;
            ExecuteGroup(group, kCyclicMode, kStateCycleMs);
        }
    }
    if (polling_.motionGroup < 0) {
        const int group = CreateGroup();
        if (group >= 0) {
            polling_.motionGroup = group;
            AddCellToGroup(group, state_.statusWordCell, set.Named(state_.statusWordCell), kTagStatusword);
            if (!reduced) {
                AddCellToGroup(group, "ActualPosition", set.Named("ActualPosition"), 0);
                std::string velocity = "ActualVelocity";
                if (state_.newNaming)
                    velocity = GetCellInfo("Axis.FilteredActualVelocity", nullptr, nullptr, nullptr) == 0
                                   ? "Axis.FilteredActualVelocity"
                                   : "Axis.ActualVelocity";
                AddCellToGroup(group, velocity, set.Named(velocity), 0);
            }
            ExecuteGroup(group, kCyclicMode, kMotionCycleMs);
        }
    }
    if (polling_.unitsGroup < 0) {
        const int group = CreateGroup();
        if (group >= 0) {
            polling_.unitsGroup = group;
            auto add = [&](const char* name, uint32_t tag, bool skipMissing) {
                CParamDw& cell = set.Named(name);
                if (skipMissing && cell.status == kCellNonexistent) return;
                AddCellToGroup(group, name, cell, tag);
            };
            add("VelocityUnit", kTagUnits, true);
            add("PositionResolution", kTagUnits, false);
            add("HoldCurrent", 0, true);
            add("Polarity", 0, false);
            add("MotorType", kTagMotorType, false);
            add("PolePitch", kTagUnits, false);
            ExecuteGroup(group, kCyclicMode, kUnitsCycleMs);
        }
    }
}

void CQd::RemoveStatusGroups() {
    engine::CMain* engine = EngineOrNull();
    for (int* id : {&polling_.stateGroup, &polling_.motionGroup, &polling_.unitsGroup}) {
        if (*id >= 0 && engine) {
            engine->ClearError();
            engine->GroupRemove(*id);
        }
        *id = -1;
    }
}

void CQd::RecreateStatusGroups() {
    recreatePending_ = false;
    if (!connected_) return;
    RemoveStatusGroups();
    CreateStatusGroups();
}

// ---- I/O and tuning groups -------------------------------------------------------------------

void CQd::AcquireIoGroup(uint32_t userBit) {
    polling_.ioUsers |= userBit;
    if (!parameters_ || !parameters_->data || polling_.ioGroup >= 0) return;
    const int group = CreateGroup();
    if (group < 0) return;
    polling_.ioGroup = group;
    for (const auto& list : parameters_->ioLists)
        if (list && !list->vocabularyName.empty())
            AddCellToGroup(group, list->vocabularyName, list->state, 0);
    ExecuteGroup(group, kCyclicMode, kIoCycleMs);
}

void CQd::ReleaseIoGroup(uint32_t userBit) {
    polling_.ioUsers &= ~userBit;
    if (polling_.ioUsers != 0 || polling_.ioGroup < 0) return;
    if (engine::CMain* engine = EngineOrNull()) {
        engine->ClearError();
        engine->GroupRemove(polling_.ioGroup);
    }
    polling_.ioGroup = -1;
}

bool CQd::IsCellPresent(const std::string& name, CParamDw& cell) {
    if (cell.status == kCellNotRead) {
        cell.value = 0;
        cell.status = GetCellInfo(name, nullptr, nullptr, nullptr) == engine::engine_code::kCellNotFound
                          ? kCellNonexistent
                          : kCellValid;
    }
    return cell.status != kCellNonexistent;
}

void CQd::CreateTuningGroup(uint32_t userBit) {
    polling_.tuningUsers |= userBit;
    if (!parameters_ || !parameters_->data) return;
    CParamData& set = CurrentSet();
    if (polling_.tuningGroup1 < 0) {
        const int group = CreateGroup();
        if (group >= 0) {
            polling_.tuningGroup1 = group;
            for (const char* name : kTuning1Cells) AddCellToGroup(group, name, set.Named(name), 0);
            if (IsCellPresent("EnableAccelerationLimit", set.Named("EnableAccelerationLimit")))
                AddCellToGroup(group, "EnableAccelerationLimit", set.Named("EnableAccelerationLimit"), 0);
            AddCellToGroup(group, "Estimated_Inertia", set.Named("Estimated_Inertia"), 0);
            if (identity_.currentLoopPeriod)
                AddCellToGroup(group, "CurrentLoopPeriod", set.Named("CurrentLoopPeriod"), 0);
            ExecuteGroup(group, kCyclicMode, kTuning1CycleMs);
        }
    }
    if (polling_.tuningGroup2 < 0) {
        const int group = CreateGroup();
        if (group >= 0) {
            polling_.tuningGroup2 = group;
            auto add = [&](const char* name) { AddCellToGroup(group, name, set.Named(name), 0); };
            if (GetCellInfo("PositionLoopBWEstimated", nullptr, nullptr, nullptr) ==
                engine::engine_code::kCellNotFound) {
                polling_.estimateKind = 1;
                for (const char* name :
                     {"Estimated_Inertia_IU", "EncoderIncrements", "Inductance", "Resistance"})
                    add(name);
            } else {
                polling_.estimateKind = 3;
                for (const char* name :
                     {"PositionLoopBWEstimated", "SpeedLoopBWEstimated", "CurrentLoopBWEstimated"})
                    add(name);
            }
            for (const char* name : kTuning2Common) add(name);
            if (IsCellPresent("EnableCrossDecoupling", set.Named("EnableCrossDecoupling")))
                add("EnableCrossDecoupling");
            for (const char* name : kTuning2Tail) add(name);
            ExecuteGroup(group, kCyclicMode, kTuning2CycleMs);
        }
    }
}

int CQd::ReleaseGroups(uint32_t userMask) {
    polling_.tuningUsers &= ~userMask;
    if (polling_.tuningUsers != 0) return static_cast<int>(~userMask);
    int rc = 0;
    engine::CMain* engine = EngineOrNull();
    for (int* id : {&polling_.tuningGroup1, &polling_.tuningGroup2}) {
        if (*id >= 0 && engine) {
            engine->ClearError();
            rc = engine->GroupRemove(*id);
        }
        *id = -1;
    }
    return rc;
}

// ---- change notices ----------------------------------------------------------------------------

void CQd::OnEngineCellNotice(const engine::CCellHolder* holder) {
    const auto it = taggedCells_.find(holder);
    if (it == taggedCells_.end()) return;
    // The cyclic thread goes on writing the cell after its notice: the window thread reads and
    // changes it only while that thread stands paused (unless the reads are paused already).
    engine::CMain* engine = cyclicPaused_ ? nullptr : EngineOrNull();
    if (engine != nullptr && engine->PauseCyclicThread() != 0) return;
    OnGroupCellUpdate(*it->second);
    if (engine != nullptr) engine->ResumeCyclicThread();
}

void CQd::OnGroupCellUpdate(CParamDw& cell) {
    cell.status = kCellValid;
    switch (cell.userTag) {
        case kTagUnits:
            ApplyDriveUnits();
            break;
        case kTagMaskedValue:
            if (polling_.maskValues) cell.value ^= polling_.maskValue;
            break;
        case kTagModeDisplay:
            if (!polling_.firstModeSeen) {
                polling_.currentMode = static_cast<int8_t>(cell.value & 0xFF);
                polling_.firstModeSeen = true;
            } else {
                polling_.modeChanged = true;
            }
            break;
        case kTagMotorType: {
            const uint32_t type = cell.value & 0xFFFF;
            const bool linear = state_.newNaming ? type == 2 : type == 1;
            if (linear == identity_.linearMotor) break;
            identity_.linearMotor = linear;
            units_.SetLinear(linear);
            // This notice comes from one of the groups to be replaced: the re-creation waits for
            // the window's queue, after the notice has been handled.
            if (!recreatePending_) {
                recreatePending_ = true;
                platform::PostMessage(wnd_.Handle(), kStatusGroupsRecreateMessage, 0, 0);
            }
            break;
        }
        case kTagStatusword:
            // The menu rules take the drive state from the statusword the status group read.
            menuInputs_.statusword = static_cast<int32_t>(cell.value);
            if (!IsOffline() && hooks_.updateMenuState) hooks_.updateMenuState();
            break;
        default:
            break;
    }
}

// ---- background activity ----------------------------------------------------------------------

int CQd::PauseBackgroundReads() {
    Host().PauseBackgroundPolls();
    PauseWatchThread();
    if (engine::CMain* engine = EngineOrNull()) {
        // The guard's own transfers write the error fields: it stops before they are cleared.
        engine->StopNodeguard();
        engine->ClearError();
    }
    return PauseCyclicReads();
}

int CQd::ResumeBackgroundReads() {
    ResumeWatchThread();
    if (connected_ && !IsOffline()) wnd_.StartNodeguardThread();
    Host().ResumeBackgroundPolls();
    return ResumeCyclicReads();
}

bool CQd::WaitWatchState(int activity, int wanted, int ms, int endEarly) {
    for (int waited = 0;; waited += kWatchStepMs) {
        const int state = watchSeam_.state ? watchSeam_.state(activity) : wanted;
        if (state == wanted) return true;
        if (endEarly != 0 && state == endEarly) return false;
        if (waited >= ms) return false;
        SleepMs(kWatchStepMs);
    }
}

bool CQd::PauseWatchThread() {
    if (!watchSeam_.running || !watchSeam_.running()) return true;
    bool paused = true;
    for (int activity = 0; activity < 2; ++activity) {
        polling_.savedWatch[activity] = watchSeam_.request ? watchSeam_.request(activity) : 0;
        const int state = watchSeam_.state ? watchSeam_.state(activity) : 2;
        if (state == 2 || state == 3) continue;
        if (watchSeam_.setRequest) watchSeam_.setRequest(activity, 2);
        paused = WaitWatchState(activity, 2, kWatchWaitMs, 0) && paused;
    }
    return paused;
}

bool CQd::ResumeWatchThread() {
    for (int activity = 0; activity < 2; ++activity) {
        if (polling_.savedWatch[activity] != 0 && watchSeam_.setRequest)
            watchSeam_.setRequest(activity, polling_.savedWatch[activity]);
        polling_.savedWatch[activity] = 0;
    }
    return true;
}

bool CQd::PauseWatchCapture(int ms) {
    if (watchSeam_.setRequest) watchSeam_.setRequest(1, 2);
    return WaitWatchState(1, 2, ms, 0);
}

bool CQd::WaitWatchThreadReady(int ms) {
    return WaitWatchState(0, 4, ms, 3);
}

bool CQd::StopWatchThread() {
    if (!watchSeam_.running || !watchSeam_.running()) return true;
    // The owner's stop clears the run flag and joins: nothing of the thread outlives it.
    if (watchSeam_.stop) watchSeam_.stop();
    return !watchSeam_.running();
}

}  // namespace drive
