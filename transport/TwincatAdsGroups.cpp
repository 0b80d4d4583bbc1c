// Groups of the ADS channel: the pool, the direct list, one pass over a group, and the thread
// that runs the cyclic groups at their periods.
#include <algorithm>
#include <cstring>
#include <random>

#include "foundation/LogFile.h"
#include "transport/ChannelTrace.h"
#include "transport/TwincatAds.h"

using namespace foundation;

namespace transport {

namespace {

constexpr int kPoolStart = 50;
constexpr int kPoolGrowth = 10;
constexpr int kSpareLimit = 10;

// A value of `from` bytes widened in place to `to` bytes (1 to 2 or 4, 2 to 4).
void Widen(uint8_t* buffer, uint32_t from, uint32_t to, bool isSigned) {
    int64_t v = 0;
    if (from == 1) {
        v = isSigned ? static_cast<int8_t>(buffer[0]) : buffer[0];
    } else {
        uint16_t w = 0;
        std::memcpy(&w, buffer, 2);
        v = isSigned ? static_cast<int16_t>(w) : w;
    }
    if (to == 2) {
        const uint16_t w = static_cast<uint16_t>(v);
        std::memcpy(buffer, &w, 2);
    } else {
        const uint32_t w = static_cast<uint32_t>(v);
        std::memcpy(buffer, &w, 4);
    }
}

// Size on the wire of an item's command: the item's own, or the caller's for items sized by it.
uint32_t WireSize(const CAdsItem& item, uint32_t callerSize) {
    return item.size == 0 || item.sign == 2 || item.sign == 3 ? callerSize : item.size;
}

// Appends the command of an item to a list; its sequence number.
uint32_t AppendCommand(CoEList& list, const CAdsItem& item, bool write, void* buffer, uint32_t callerSize,
                       uint8_t* variableState, uint32_t* resultOut, uint32_t* byteCount) {
    auto command = std::make_unique<CoECommand>();
    command->indexOffset = item.IndexOffset();
    command->size = WireSize(item, callerSize);
    command->buffer = buffer;
    command->callerSize = callerSize;
    command->variableState = variableState;
    command->resultOut = resultOut;
    command->byteCount = byteCount;
    command->write = write ? 1 : 0;
    command->isSigned = item.sign != 0 ? 1 : 0;
    command->sequence = ++list.sequence;
    list.commands.push_back(std::move(command));
    return list.sequence;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Pool

void CoEListArray::Reset() {
    slots_.clear();
    slots_.resize(kPoolStart);
    free_.clear();
    for (int i = kPoolStart - 1; i >= 0; --i) free_.push_back(i);
    used_ = 0;
}

int CoEListArray::Take() {
    if (free_.empty()) {
        const int first = static_cast<int>(slots_.size());
        slots_.resize(slots_.size() + kPoolGrowth);
        for (int i = first + kPoolGrowth - 1; i >= first; --i) free_.push_back(i);
    }
    const int slot = free_.back();
    free_.pop_back();
    Slot& s = slots_[static_cast<size_t>(slot)];
    if (!s.list) s.list = std::make_unique<CoEList>();
    s.list->Clear();
    s.used = true;
    ++used_;
    return slot;
}

CoEList* CoEListArray::Find(int handle) const {
    if (handle < 1 || handle > static_cast<int>(slots_.size())) return nullptr;
    const Slot& s = slots_[static_cast<size_t>(handle - 1)];
    return s.used && s.list && !s.list->removed ? s.list.get() : nullptr;
}

void CoEListArray::Give(int slot) {
    if (slot < 0 || slot >= static_cast<int>(slots_.size())) return;
    Slot& s = slots_[static_cast<size_t>(slot)];
    if (!s.used) return;
    s.used = false;
    if (s.list) {
        s.list->removed = true;
        s.list->cyclic = false;
        s.list->commands.clear();
    }
    --used_;
    int spare = 0;
    for (const Slot& other : slots_)
        if (!other.used && other.list) ++spare;
    if (spare > kSpareLimit) s.list.reset();
    free_.push_back(slot);
}

void CoEListArray::GiveAll() {
    for (int i = 0; i < static_cast<int>(slots_.size()); ++i)
        if (slots_[static_cast<size_t>(i)].used) Give(i);
}

// ---------------------------------------------------------------------------------------
// Group operations

int CTwincatAds::GroupCreate(platform::WindowHandle window, unsigned message) {
    std::lock_guard lock(groupsMutex_);
    const int slot = pool_.Take();
    CoEList* group = pool_.Find(slot + 1);
    group->window = window;
    group->message = message;
    group->notify = window != 0;
    return slot + 1;
}

bool CTwincatAds::GroupExists(int handle) const {
    std::lock_guard lock(groupsMutex_);
    return pool_.Find(handle) != nullptr;
}

uint32_t CTwincatAds::GroupAddItem(int handle, const CAdsItem& item, bool write, void* buffer,
                                   uint32_t callerSize, uint8_t* variableState, uint32_t* resultOut,
                                   uint32_t* byteCount) {
    std::lock_guard lock(groupsMutex_);
    CoEList* group = pool_.Find(handle);
    if (!group) return 0;
    if (variableState) group->notify = true;
    return AppendCommand(*group, item, write, buffer, callerSize, variableState, resultOut, byteCount);
}

uint32_t CTwincatAds::DirectAddItem(const CAdsItem& item, bool write, void* buffer, int32_t givenSize,
                                    uint32_t* resultOut, uint32_t* byteCount, uint8_t* variableState) {
    const uint32_t callerSize =
        givenSize < 0 ? static_cast<uint32_t>(givenSize) & 0xFFFFFF : static_cast<uint32_t>(givenSize);
    std::lock_guard lock(groupsMutex_);
    return AppendCommand(direct_, item, write, buffer, callerSize, variableState, resultOut, byteCount);
}

int CTwincatAds::DirectExecute() {
    std::lock_guard lock(groupsMutex_);
    return processGroup(&direct_);
}

void CTwincatAds::DirectClear() {
    std::lock_guard lock(groupsMutex_);
    direct_.Clear();
}

int CTwincatAds::GroupExecute(int handle, int32_t cycleMs) {
    std::unique_lock lock(groupsMutex_);
    CoEList* group = pool_.Find(handle);
    if (!group) {
        lastAdsCode_ = kNoGroup;
        return static_cast<int>(kNoGroup);
    }
    if (cycleMs <= 0) return processGroup(group);
    if (group->commands.empty()) return 0;
    static thread_local std::minstd_rand random(std::random_device{}());
    const uint32_t cycle = static_cast<uint32_t>(cycleMs);
    group->periodMs = cycle;
    group->nextDueMs = clock_->NowMs() + static_cast<int64_t>(random() % (cycle + 1));
    group->cyclic = true;
    if (std::find(runList_.begin(), runList_.end(), handle) == runList_.end()) runList_.push_back(handle);
    lock.unlock();
    if (!threadAlive_) StartGroupThread();
    return 0;
}

int CTwincatAds::GroupStop(int handle) {
    if (!GroupExists(handle)) {
        lastAdsCode_ = kNoGroup;
        return static_cast<int>(kNoGroup);
    }
    if (StopGroupThread(2000)) {
        {
            std::lock_guard lock(groupsMutex_);
            if (CoEList* group = pool_.Find(handle)) group->cyclic = false;
        }
        if (threadAlive_) {
            requestedState_ = kStateRun;
            threadEvent_.Set();
        }
    }
    return 0;
}

void CTwincatAds::GroupRemove(int handle) {
    bool cyclic = false;
    {
        std::lock_guard lock(groupsMutex_);
        CoEList* group = pool_.Find(handle);
        if (!group) return;
        cyclic = group->cyclic;
    }
    if (threadAlive_ && cyclic) {
        StopGroupThread(2000);
        {
            std::lock_guard lock(groupsMutex_);
            if (CoEList* group = pool_.Find(handle)) group->cyclic = false;
        }
        requestedState_ = kStateRun;
        threadEvent_.Set();
    }
    std::lock_guard lock(groupsMutex_);
    if (CoEList* group = pool_.Find(handle)) {
        group->removed = true;
        group->cyclic = false;
    }
    pool_.Give(handle - 1);
}

int CTwincatAds::GroupRemoveAll() {
    EndGroupThread();
    std::lock_guard lock(groupsMutex_);
    runList_.clear();
    pool_.GiveAll();
    return 0;
}

int CTwincatAds::GroupClearCommands(int handle) {
    std::lock_guard lock(groupsMutex_);
    if (CoEList* group = pool_.Find(handle)) group->commands.clear();
    return 0;
}

int CTwincatAds::GroupRemoveCommand(int handle, uint32_t sequence) {
    std::lock_guard lock(groupsMutex_);
    if (CoEList* group = pool_.Find(handle)) {
        auto& c = group->commands;
        c.erase(
            std::remove_if(c.begin(), c.end(), [&](const auto& cmd) { return cmd->sequence == sequence; }),
            c.end());
    }
    return 0;
}

// ---------------------------------------------------------------------------------------
// One pass

void CTwincatAds::RunCommand(CoECommand& command) {
    // The wire size may differ from the caller's buffer: the exchange goes through a local
    // buffer so that neither side is read or written past its end.
    uint8_t local[256];
    std::vector<uint8_t> large;
    uint8_t* wire = local;
    if (command.size > sizeof local) {
        large.resize(command.size);
        wire = large.data();
    }
    const uint32_t shared = std::min(command.size, command.callerSize);
    bool ok = false;
    uint32_t count = 0;
    if (command.write) {
        std::memset(wire, 0, command.size);
        if (command.buffer && shared) std::memcpy(wire, command.buffer, shared);
        ok = SyncWriteReq(command.indexOffset, command.size, wire);
        count = command.size;
    } else {
        ok = SyncReadReq(command.indexOffset, command.size, wire, &count);
        if (ok && command.buffer) {
            const uint32_t n = std::min(count, command.callerSize);
            std::memcpy(command.buffer, wire, n);
            if (command.callerSize > command.size && command.callerSize <= 4 && count == command.size &&
                (command.size == 1 || command.size == 2))
                Widen(static_cast<uint8_t*>(command.buffer), command.size, command.callerSize,
                      command.isSigned);
        }
    }
    if (ok) {
        command.result = 0;
        if (command.resultOut) *command.resultOut = 0;
        if (command.byteCount) *command.byteCount = count;
        return;
    }
    command.result = lastAdsCode_;
    if (command.resultOut) *command.resultOut = lastAdsCode_;
    if (lastAdsCode_ == 0x700) ++errorCounter_;
    lastAdsCode_ = 0;
}

int CTwincatAds::processGroup(CoEList* group) {
    if (!connected_) {
        ++errorCounter_;
        lastAdsCode_ = kNotConnected;
        return static_cast<int>(kNotConnected);
    }
    if (!channelLock_.Wait(kLockTimeoutMs)) {
        LogError("processGroup()", kBusy);
        // Nothing ran: the caller must not take the group's old results for new ones.
        return static_cast<int>(kBusy);
    }
    std::lock_guard lock(groupsMutex_);
    // The pass reports its own outcome, never a failure left by an earlier exchange.
    lastAdsCode_ = 0;
    bool overrun = false;
    for (auto& command : group->commands) {
        if (overrun) {
            command->result = kOverrun;
            if (command->resultOut) *command->resultOut = kOverrun;
            continue;
        }
        const int64_t start = clock_->NowMs();
        RunCommand(*command);
        if (clock_->NowMs() - start > static_cast<int64_t>(group->budgetMs)) {
            LogError("processGroup()", kOverrun);
            ++errorCounter_;
            overrun = true;
            command->result = kOverrun;
            if (command->resultOut) *command->resultOut = kOverrun;
        }
    }
    channelLock_.Set();
    const int result = static_cast<int>(lastAdsCode_);
    lastResult = static_cast<uint32_t>(result);
    return result;
}

// ---------------------------------------------------------------------------------------
// Group thread

bool CTwincatAds::StartGroupThread() {
    if (thread_.IsRunning()) return true;
    thread_.Join();
    requestedState_ = kStateRun;
    threadAlive_ = 1;
    threadEvent_.Set();
    if (!thread_.Start("CTwincatAds::ThreadGroups",
                       [this](platform::StopToken& token) { ThreadGroups(this, token); })) {
        threadAlive_ = 0;
        return false;
    }
    return true;
}

void CTwincatAds::ThreadGroups(CTwincatAds* self, platform::StopToken& token) {
    bool ranAny = true;
    while (self->requestedState_ != kStateStop && !token.StopRequested()) {
        const uint32_t state = self->requestedState_;
        self->currentState_ = state;
        if (state != kStateRun) {
            self->threadEvent_.Wait(1000);
            continue;
        }
        {
            std::lock_guard lock(self->groupsMutex_);
            if (self->runList_.empty()) break;
        }
        if (!ranAny) self->threadEvent_.Wait(10);
        ranAny = false;
        std::vector<int> handles;
        {
            std::lock_guard lock(self->groupsMutex_);
            handles = self->runList_;
        }
        for (int handle : handles) {
            if (self->requestedState_ != kStateRun) break;
            std::lock_guard lock(self->groupsMutex_);
            CoEList* group = self->pool_.Find(handle);
            if (!group || !group->cyclic) {
                auto& list = self->runList_;
                list.erase(std::remove(list.begin(), list.end(), handle), list.end());
                continue;
            }
            const int64_t now = self->clock_->NowMs();
            if (now < group->nextDueMs) continue;
            group->nextDueMs = now + group->periodMs;
            ranAny = true;
            const int rc = self->processGroup(group);
            if (rc == 0 && group->notify)
                for (auto& command : group->commands)
                    if (command->variableState) *command->variableState = command->result > 0 ? 2 : 0;
        }
        ++self->passes_;
        self->threadEvent_.Wait(10);
    }
    self->currentState_ = kStateStop;
    self->threadAlive_ = 0;
}

bool CTwincatAds::StopGroupThread(uint32_t ms) {
    if (!threadAlive_) return true;
    requestedState_ = kStatePause;
    threadEvent_.Set();
    const int64_t end = platform::SystemClock().NowMs() + ms;
    for (;;) {
        if (currentState_ == kStatePause || !threadAlive_) return true;
        if (platform::SystemClock().NowMs() >= end) return false;
        platform::SystemClock().SleepMs(10);
    }
}

void CTwincatAds::EndGroupThread() {
    if (thread_.IsRunning()) {
        requestedState_ = kStateStop;
        threadEvent_.Set();
        if (!thread_.JoinFor(2000)) {
            requestedState_ = kStateStop;
            threadEvent_.Set();
            if (!thread_.JoinFor(5000)) {
                // Never freed under a running thread: wait for it whatever it takes.
                DebugLog().Write("CTwincatAds::ThreadGroups did not stop in time");
                thread_.RequestStop();
                thread_.Join();
            }
        }
    }
    thread_.Join();
    threadAlive_ = 0;
}

}  // namespace transport
