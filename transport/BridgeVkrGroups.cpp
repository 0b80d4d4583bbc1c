// Groups, command adders, the direct list and the cyclic-group thread of the bridge client.
#include <algorithm>
#include <random>

#include "platform/Clock.h"
#include "platform/ThreadLog.h"
#include "transport/BridgeVkr.h"
#include "transport/ChannelTrace.h"

namespace transport {

namespace {

uint32_t RandomOffset(uint32_t cycleMs) {
    thread_local std::minstd_rand engine{std::random_device{}()};
    return cycleMs ? std::uniform_int_distribution<uint32_t>(0, cycleMs - 1)(engine) : 0;
}

}  // namespace

CCmdList* CBridgeVkr::Group(int handle) {
    std::lock_guard lock(groupsMutex_);
    CCmdList* list = groups_.Live(handle);
    if (!list) SetError(kNoGroup, GetErrorText(kNoGroup));
    return list;
}

int CBridgeVkr::LiveGroupCount() const {
    std::lock_guard lock(groupsMutex_);
    return groups_.UsedCount();
}

int CBridgeVkr::GroupCreate(platform::WindowHandle window, unsigned message) {
    std::lock_guard lock(groupsMutex_);
    const int handle = groups_.Create();
    if (CCmdList* list = groups_.Live(handle)) {
        list->notifyWindow = window;
        list->notifyMessage = message;
    }
    return handle;
}

int CBridgeVkr::GroupRemove(int handle) {
    CCmdList* list = Group(handle);
    if (!list) return kNoGroup;
    if (list->cyclic) {
        const bool paused = StopCyclicThread(timings_.cyclicStopFirstMs);
        {
            std::lock_guard lock(groupsMutex_);
            list->cyclic = false;
            cyclicHandles_.erase(std::remove(cyclicHandles_.begin(), cyclicHandles_.end(), handle),
                                 cyclicHandles_.end());
        }
        if (paused) ResumeCyclicThread();
    }
    // A cyclic execution of this list that is still running ends before the list changes.
    std::lock_guard run(cyclicRunMutex_);
    std::lock_guard lock(groupsMutex_);
    groups_.Remove(handle);
    return 0;
}

int CBridgeVkr::GroupClear(int handle) {
    CCmdList* list = Group(handle);
    if (!list) return kNoGroup;
    std::lock_guard run(cyclicRunMutex_);
    list->Clear();
    return 0;
}

int CBridgeVkr::GroupRemoveCommand(int handle, int sequence) {
    CCmdList* list = Group(handle);
    if (!list) return kNoGroup;
    std::lock_guard run(cyclicRunMutex_);
    return list->Remove(sequence) ? 0 : kWrongData;
}

int CBridgeVkr::GroupExecute(int handle, uint32_t timeoutMs, uint32_t cycleMs) {
    CCmdList* list = Group(handle);
    if (!list) return kNoGroup;
    list->RaiseTimeout(timeoutMs);
    if (cycleMs == 0) return ExecuteList(*list);
    if (list->Count() == 0) return 0;
    {
        std::lock_guard lock(groupsMutex_);
        list->periodMs = cycleMs;
        const int64_t since =
            cyclicThread_.IsRunning() ? platform::SystemClock().NowMs() - cyclicStartMs_ : 0;
        list->nextDueMs = since + RandomOffset(cycleMs);
        for (size_t i = 0; i < list->Count(); ++i) list->Command(i).ClearChanged();
        list->cyclic = true;
        if (std::find(cyclicHandles_.begin(), cyclicHandles_.end(), handle) == cyclicHandles_.end())
            cyclicHandles_.push_back(handle);
        if (cyclicThread_.IsRunning() && !cyclicEnding_) return 0;
    }
    cyclicThread_.Join();
    cyclicEnding_ = false;
    cyclicRequest_ = 1;
    cyclicStartMs_ = platform::SystemClock().NowMs();
    cyclicThread_.Start("CBridgeVkr::ThreadCyclic",
                        [this](platform::StopToken& stop) { ThreadCyclic(stop); });
    return 0;
}

bool CBridgeVkr::StopCyclicThread(uint32_t ms) {
    cyclicRequest_ = 2;
    cyclicEvent_.Set();
    if (!cyclicThread_.IsRunning() || OnCyclicThread()) return true;
    for (uint32_t waited = 0;; waited += 10) {
        if (cyclicState_ == 2 || !cyclicThread_.IsRunning()) return true;
        if (waited >= ms) return false;
        platform::SystemClock().SleepMs(10);
    }
}

void CBridgeVkr::ResumeCyclicThread() {
    cyclicRequest_ = 1;
    cyclicEvent_.Set();
}

bool CBridgeVkr::OnCyclicThread() const {
    return cyclicThread_.IsRunning() && cyclicThread_.ThreadId() == platform::CurrentThreadId();
}

void CBridgeVkr::StopCyclic() {
    if (OnCyclicThread()) {
        cyclicRequest_ = 0;
        return;
    }
    cyclicRequest_ = 0;
    cyclicEvent_.Set();
    if (!cyclicThread_.JoinFor(timings_.cyclicStopFirstMs) &&
        !cyclicThread_.JoinFor(timings_.cyclicStopSecondMs))
        cyclicThread_.Join();
}

void CBridgeVkr::ThreadCyclic(platform::StopToken& stop) {
    platform::Clock& clock = platform::SystemClock();
    const int64_t start = cyclicStartMs_;
    bool skipWait = false;
    while (!stop.StopRequested()) {
        const int request = cyclicRequest_;
        if (request == 0) break;
        cyclicState_ = request;
        if (request != 1) {
            cyclicEvent_.Wait(1000);
            continue;
        }
        {
            std::lock_guard lock(groupsMutex_);
            if (cyclicHandles_.empty() || !linkUp_) {
                cyclicEnding_ = true;
                break;
            }
        }
        if (!skipWait) cyclicEvent_.Wait(10);
        skipWait = false;
        int64_t now = clock.NowMs() - start;
        for (size_t i = 0; cyclicRequest_ == 1;) {
            CCmdList* list = nullptr;
            {
                std::lock_guard lock(groupsMutex_);
                if (i >= cyclicHandles_.size()) break;
                list = groups_.Live(cyclicHandles_[i]);
                if (!list || !list->cyclic) {
                    cyclicHandles_.erase(cyclicHandles_.begin() + static_cast<std::ptrdiff_t>(i));
                    continue;
                }
                if (list->nextDueMs > now) {
                    ++i;
                    continue;
                }
                list->nextDueMs = now + list->periodMs;
            }
            {
                std::lock_guard run(cyclicRunMutex_);
                const int rc = ExecuteList(*list);
                if (rc == 0 && list->notifyWindow != 0) {
                    for (size_t c = 0; c < list->Count(); ++c) {
                        auto* read = dynamic_cast<CCmdRead4*>(&list->Command(c));
                        if (!read || !read->Notify().IsSet()) continue;
                        const CBridgeNotify& notify = read->Notify();
                        if (read->Status() != 0) {
                            if (notify.status) *notify.status = CBridgeNotify::kReadError;
                        } else if (read->Changed() && notify.hasValue) {
                            platform::PostMessage(list->notifyWindow, list->notifyMessage, notify.param, 0);
                        } else if (notify.status) {
                            *notify.status = CBridgeNotify::kValid;
                        }
                    }
                }
            }
            skipWait = true;
            cyclicEvent_.Wait(10);
            now = clock.NowMs() - start;
            ++i;
            if (!linkUp_) break;
        }
    }
    cyclicState_ = 0;
}

// --- adders

int CBridgeVkr::GroupAddCommand(int handle, std::unique_ptr<CCmd> command, uint32_t payload, bool canOpen) {
    CCmdList* list = Group(handle);
    if (!list) return 0;
    if (payload > 0) list->RaiseTimeout(TransferEstimate(payload, canOpen ? canRate_ : ethRate_));
    return list->Add(std::move(command));
}

int CBridgeVkr::GroupAddRead(int handle, uint16_t index, uint8_t subIndex, void* buffer, uint32_t* status,
                             uint32_t* size) {
    const uint32_t length = size ? *size : 0;
    return GroupAddCommand(
        handle,
        std::make_unique<CCmdRead>(*this, currentNode_, index, subIndex, buffer, length, size, status),
        length);
}

int CBridgeVkr::GroupAddReadValue(int handle, uint16_t index, uint8_t subIndex, void* buffer,
                                  uint32_t* status, uint32_t size) {
    return GroupAddCommand(
        handle,
        std::make_unique<CCmdRead>(*this, currentNode_, index, subIndex, buffer, size, nullptr, status),
        size);
}

int CBridgeVkr::GroupAddRead4(int handle, uint16_t index, uint8_t subIndex, uint32_t* value, uint32_t* status,
                              uint32_t* size, bool isSigned, const CBridgeNotify& notify) {
    return GroupAddCommand(handle,
                           std::make_unique<CCmdRead4>(*this, currentNode_, index, subIndex, value, status,
                                                       size, isSigned, notify),
                           4);
}

int CBridgeVkr::GroupAddWrite4(int handle, uint16_t index, uint8_t subIndex, uint32_t value,
                               uint32_t* status) {
    return GroupAddCommand(
        handle, std::make_unique<CCmdWrite4>(*this, currentNode_, index, subIndex, value, status), 4);
}

int CBridgeVkr::GroupAddWrite(int handle, uint16_t index, uint8_t subIndex, const void* data, uint32_t size,
                              uint32_t* status) {
    return GroupAddCommand(
        handle, std::make_unique<CCmdWrite>(*this, currentNode_, index, subIndex, data, size, status), size);
}

int CBridgeVkr::GroupAddWriteDB(int handle, uint16_t index, uint8_t subIndex, uint16_t block,
                                uint32_t* status, uint32_t* written) {
    return GroupAddCommand(
        handle, std::make_unique<CCmdWriteDB>(*this, currentNode_, index, subIndex, block, status, written));
}

int CBridgeVkr::GroupAddEthGetSlaveState(int handle, uint16_t* state, uint32_t* status) {
    return GroupAddCommand(handle,
                           std::make_unique<CCmdEthGetSlaveState>(*this, currentNode_, status, state));
}

int CBridgeVkr::GroupAddCanGetSlaveState(int handle, uint16_t* state, uint32_t* status) {
    return GroupAddCommand(handle, std::make_unique<CCmdCanGetSlaveState>(
                                       *this, static_cast<uint8_t>(currentNode_), status, state));
}

int CBridgeVkr::GroupAddReadCan(int handle, uint16_t index, uint8_t subIndex, void* buffer, uint32_t* status,
                                uint32_t* size) {
    const uint32_t length = size ? *size : 0;
    return GroupAddCommand(handle,
                           std::make_unique<CCmdReadCan>(*this, static_cast<uint8_t>(currentNode_), index,
                                                         subIndex, buffer, length, size, status),
                           length, true);
}

int CBridgeVkr::GroupAddReadCanValue(int handle, uint16_t index, uint8_t subIndex, void* buffer,
                                     uint32_t* status, uint32_t size) {
    return GroupAddCommand(handle,
                           std::make_unique<CCmdReadCan>(*this, static_cast<uint8_t>(currentNode_), index,
                                                         subIndex, buffer, size, nullptr, status),
                           size, true);
}

int CBridgeVkr::GroupAddReadCan4(int handle, uint16_t index, uint8_t subIndex, uint32_t* value,
                                 uint32_t* status, uint32_t* size, bool isSigned,
                                 const CBridgeNotify& notify) {
    return GroupAddCommand(handle,
                           std::make_unique<CCmdReadCan4>(*this, static_cast<uint8_t>(currentNode_), index,
                                                          subIndex, value, status, size, isSigned, notify),
                           4, true);
}

int CBridgeVkr::GroupAddWriteCan4(int handle, uint16_t index, uint8_t subIndex, uint32_t value,
                                  uint32_t* status) {
    return GroupAddCommand(handle,
                           std::make_unique<CCmdWriteCan4>(*this, static_cast<uint8_t>(currentNode_), index,
                                                           subIndex, value, status),
                           4, true);
}

int CBridgeVkr::GroupAddWriteCan(int handle, uint16_t index, uint8_t subIndex, const void* data,
                                 uint32_t size, uint32_t* status) {
    return GroupAddCommand(handle,
                           std::make_unique<CCmdWriteCan>(*this, static_cast<uint8_t>(currentNode_), index,
                                                          subIndex, data, size, status),
                           size, true);
}

int CBridgeVkr::GroupAddWriteCanDB(int handle, uint16_t index, uint8_t subIndex, uint16_t block,
                                   uint32_t* status, uint32_t* written) {
    return GroupAddCommand(handle, std::make_unique<CCmdWriteCanDB>(*this, static_cast<uint8_t>(currentNode_),
                                                                    index, subIndex, block, status, written));
}

int CBridgeVkr::GroupAddReset(int handle, uint8_t bus) {
    return GroupAddCommand(handle, std::make_unique<CCmdReset>(*this, bus, nullptr));
}

// --- the direct list

int CBridgeVkr::CmdRead(uint16_t index, uint8_t subIndex, void* buffer, uint32_t* status, uint32_t size,
                        uint32_t* received) {
    direct_.RaiseTimeout(TransferEstimate(size, ethRate_));
    return direct_.Add(
        std::make_unique<CCmdRead>(*this, currentNode_, index, subIndex, buffer, size, received, status));
}

int CBridgeVkr::CmdReadCan(uint16_t index, uint8_t subIndex, void* buffer, uint32_t* status, uint32_t size,
                           uint32_t* received) {
    direct_.RaiseTimeout(TransferEstimate(size, canRate_));
    return direct_.Add(std::make_unique<CCmdReadCan>(*this, static_cast<uint8_t>(currentNode_), index,
                                                     subIndex, buffer, size, received, status));
}

int CBridgeVkr::CmdWrite(uint16_t index, uint8_t subIndex, const void* data, uint32_t* status,
                         uint32_t size) {
    direct_.RaiseTimeout(TransferEstimate(size, ethRate_));
    return direct_.Add(std::make_unique<CCmdWrite>(*this, currentNode_, index, subIndex, data, size, status));
}

int CBridgeVkr::CmdWriteCan(uint16_t index, uint8_t subIndex, const void* data, uint32_t* status,
                            uint32_t size) {
    direct_.RaiseTimeout(TransferEstimate(size, canRate_));
    return direct_.Add(std::make_unique<CCmdWriteCan>(*this, static_cast<uint8_t>(currentNode_), index,
                                                      subIndex, data, size, status));
}

}  // namespace transport
