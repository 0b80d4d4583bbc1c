#include "linkora/CanOpenChannel.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <thread>

#include "linkora/CanOpenValue.h"
#include "platform/ThreadLog.h"

namespace linkora {

namespace {

int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The value of an expedited write: the first size bytes of the caller's buffer, little-endian.
uint32_t ReadLe(const void* buffer, uint32_t size) {
    if (!buffer) return 0;
    uint32_t v = 0;
    const auto* p = static_cast<const uint8_t*>(buffer);
    for (uint32_t b = 0; b < size && b < 4; ++b) v |= uint32_t{p[b]} << (8 * b);
    return v;
}

void WriteLe(void* buffer, uint32_t value, uint32_t size) {
    auto* p = static_cast<uint8_t*>(buffer);
    for (uint32_t b = 0; b < size && b < 4; ++b) p[b] = static_cast<uint8_t>(value >> (8 * b));
}

// Numbers in definition tokens: decimal text from an offset, 0 when there is none.
int NumberAt(const std::string& token, size_t at) {
    if (at >= token.size()) return 0;
    return std::atoi(token.c_str() + at);
}

constexpr uint32_t kMaxTransfer = 16u << 20;

}  // namespace

CCanOpenGroup::CCanOpenGroup(CNCS_COM& executor, int32_t id, LinkoraCallback callback, void* context)
    : executor(executor), id(id), callback(callback), context(context) {}

CCanOpenGroup::~CCanOpenGroup() {
    executor.NCS_Destroy(list);
}

CCanOpenChannel::CCanOpenChannel(uint32_t id, std::string definition, std::vector<std::string> tokens,
                                 std::vector<int> keywords)
    : CChannel(id, std::move(definition), std::move(tokens), std::move(keywords)), clockStart_(SteadyMs()) {
    const auto& t = Tokens();
    if (t.size() > 3) {
        const size_t at = t[3].find("canopen");
        network_ = at == std::string::npos ? 0 : NumberAt(t[3], at + 8);
    }
    if (t.size() > 4) {
        const size_t at = t[4].find("nodeid");
        node_ = at == std::string::npos ? 1 : NumberAt(t[4], at + 7);
    }
    executor_.NCS_NodeIdSel(node_, network_);
}

CCanOpenChannel::~CCanOpenChannel() {
    StopScheduler();
    CloseIfConnected();
    GroupRemoveAll();
    std::map<int32_t, Pending> pending;
    {
        std::lock_guard<std::mutex> lock(pendingMutex_);
        pending.swap(pending_);
    }
    for (auto& [handle, entry] : pending) executor_.NCS_Destroy(entry.list);
}

int64_t CCanOpenChannel::ClockMs() const {
    return SteadyMs() - clockStart_;
}

void CCanOpenChannel::Reset() {
    executor_.ResetErrorCount();
}

uint32_t CCanOpenChannel::GetStatusWord() {
    return static_cast<uint32_t>(executor_.GetErrorCount());
}

CCanOpenChannel::GroupPtr CCanOpenChannel::FindGroup(int32_t group) {
    std::lock_guard<std::recursive_mutex> lock(groupsMutex_);
    return groups_.Find(group);
}

template <class Change>
int32_t CCanOpenChannel::WithStoppedGroup(int32_t group, Change change) {
    std::lock_guard<std::recursive_mutex> lock(groupsMutex_);
    const int32_t stop = GroupStop(group);
    if (stop != 0) return stop;
    GroupPtr g = FindGroup(group);
    std::lock_guard<std::mutex> run(g->run);
    return change(*g);
}

bool CCanOpenChannel::GroupExists(int32_t group) {
    return FindGroup(group) != nullptr;
}

int32_t CCanOpenChannel::GetGroupCount() {
    std::lock_guard<std::recursive_mutex> lock(groupsMutex_);
    return groups_.Count();
}

int32_t CCanOpenChannel::AddRecord(int32_t group, const char* name, int direction, void* value,
                                   uint32_t busType, uint32_t valueType, uint32_t* status, int32_t* sizeOut) {
    return WithStoppedGroup(group, [&](CCanOpenGroup& g) {
        return AddVariable(g, name, [&](int32_t index, int32_t subindex) {
            return CCanOpenGroup::Variable{-1,      index,     subindex, direction, value,
                                           busType, valueType, status,   sizeOut};
        });
    });
}

int32_t CCanOpenChannel::VariableAdd(int32_t group, const char* name, int direction, void* value, int size,
                                     const char*, uint32_t* status, int32_t* sizeOut) {
    const uint32_t type = static_cast<uint32_t>(size) & 0x7FFFFFFFu;
    return AddRecord(group, name, direction, value, type, type, status, sizeOut);
}

int32_t CCanOpenChannel::VariableAddValue(int32_t group, const char* name, int direction, void* value,
                                          uint32_t busType, uint32_t valueType, const char*, uint32_t* status,
                                          int32_t* sizeOut) {
    return AddRecord(group, name, direction, value, busType, valueType, status, sizeOut);
}

int32_t CCanOpenChannel::VariableSet(int32_t group, int32_t variable, int direction, void* value, int size,
                                     const char*, uint32_t* status, int32_t* sizeOut) {
    return WithStoppedGroup(group, [&](CCanOpenGroup& g) -> int32_t {
        CCanOpenGroup::Variable* v = FindVariable(g, variable);
        if (!v) return 10;
        v->direction = direction;
        v->value = value;
        v->busType = v->valueType = static_cast<uint32_t>(size) & 0x7FFFFFFFu;
        v->status = status;
        v->size = sizeOut;
        g.dirty = true;
        return 0;
    });
}

int32_t CCanOpenChannel::VariableGet(int32_t group, int32_t variable, std::string& name, int* direction,
                                     void** value, int* size, std::string& text) {
    GroupPtr g = FindGroup(group);
    if (!g) return 11;
    std::lock_guard<std::mutex> run(g->run);
    const CCanOpenGroup::Variable* v = FindVariable(*g, variable);
    if (!v) return 10;
    name = ItemName(v->index, v->subindex);
    if (direction) *direction = v->direction;
    if (value) *value = v->value;
    if (size) *size = static_cast<int>(linkora::TypeSize(v->busType));
    text.clear();
    return 0;
}

int32_t CCanOpenChannel::VariableRemove(int32_t group, int32_t variable) {
    return WithStoppedGroup(group, [&](CCanOpenGroup& g) {
        RemoveVariable(g, variable);
        return 0;
    });
}

int32_t CCanOpenChannel::VariableRemoveAll(int32_t group) {
    return WithStoppedGroup(group, [&](CCanOpenGroup& g) {
        RemoveAllVariables(g);
        return 0;
    });
}

int32_t CCanOpenChannel::VariableGetCount(int32_t group) {
    GroupPtr g = FindGroup(group);
    if (!g) return -11;
    std::lock_guard<std::mutex> run(g->run);
    return g->count;
}

int32_t CCanOpenChannel::VariableGetMaxCount(int32_t group) {
    GroupPtr g = FindGroup(group);
    return g ? g->limit : -11;
}

int32_t CCanOpenChannel::GroupCreate(LinkoraCallback callback, void* context) {
    std::lock_guard<std::recursive_mutex> lock(groupsMutex_);
    if (!Pause(pauseLimit_)) return 15;
    const int32_t id = groups_.Add([&](int32_t slot) {
        auto group = std::make_shared<CCanOpenGroup>(executor_, slot, callback, context);
        group->limit = GetMaxVariables();
        return group;
    });
    {
        std::lock_guard<std::mutex> snap(snapshotMutex_);
        snapshot_ = groups_.Slots();
    }
    Resume();
    return id;
}

int32_t CCanOpenChannel::GroupRemoveAll() {
    std::vector<GroupPtr> gone;
    {
        std::lock_guard<std::recursive_mutex> lock(groupsMutex_);
        if (!Pause(pauseLimit_)) return 15;
        gone = groups_.RemoveAll();
        cyclicCount_ = 0;
        for (auto& g : gone)
            if (g) g->cyclic = false;
        {
            std::lock_guard<std::mutex> snap(snapshotMutex_);
            snapshot_.clear();
        }
        Resume();
    }
    return 0;
}

int32_t CCanOpenChannel::GroupRemove(int32_t group) {
    GroupPtr gone;
    {
        std::lock_guard<std::recursive_mutex> lock(groupsMutex_);
        GroupPtr g = FindGroup(group);
        if (!g) return 0;
        if (!Pause(pauseLimit_)) return 15;
        if (g->cyclic.exchange(false)) --cyclicCount_;
        gone = groups_.Remove(group);
        {
            std::lock_guard<std::mutex> snap(snapshotMutex_);
            snapshot_ = groups_.Slots();
        }
        Resume();
    }
    return 0;
}

int32_t CCanOpenChannel::GroupStop(int32_t group) {
    std::lock_guard<std::recursive_mutex> lock(groupsMutex_);
    GroupPtr g = FindGroup(group);
    if (!g) return 10;
    if (!g->cyclic.exchange(false)) return 0;
    --cyclicCount_;
    const bool paused = Pause(g->timeout);
    Resume();
    return paused ? 0 : 15;
}

int32_t CCanOpenChannel::BuildList(CCanOpenGroup& g) {
    executor_.NCS_Destroy(g.list);
    g.list = executor_.NCS_Create(1);
    if (!g.list) return -12;
    for (auto& v : g.variables) {
        if (v.index == -1) continue;
        const uint32_t size = linkora::TypeSize(v.busType);
        const bool write = v.direction == 1;
        if (size <= 4)
            v.element =
                executor_.NCS_SDO_Add(g.list, write ? 1 : 0, v.index, v.subindex,
                                      write ? ReadLe(v.value, size) : 0, static_cast<int>(size), 0, 0);
        else
            v.element = executor_.NCS_SDO_AddDomain(g.list, write ? 1 : 0, v.index, v.subindex, v.value,
                                                    static_cast<int>(size), 0, 7, 0);
    }
    executor_.NCS_CalculateTimeoutList(g.list);
    g.dirty = false;
    return 0;
}

int32_t CCanOpenChannel::RunOnce(CCanOpenGroup& g) {
    if (State() != 0) return State();
    uint32_t error = 0;
    {
        std::lock_guard<std::mutex> run(g.run);
        if (!g.list) return -12;
        executor_.NCS_Execute(g.list, g.timeout);
        if (executor_.NCS_IsCorrect(g.list)) {
            for (auto& v : g.variables) {
                if (v.index == -1) continue;
                const int status = executor_.NCS_SDO_GetStatus(g.list, v.element);
                const uint32_t busSize = linkora::TypeSize(v.busType);
                if (v.status) *v.status = status == 2 ? 0 : static_cast<uint32_t>(status);
                if (v.size)
                    *v.size = status != 2 ? 0
                              : busSize > 4
                                  ? static_cast<int32_t>(executor_.NCS_SDO_GetValue(g.list, v.element))
                                  : 4;
                if (status == 2 && v.direction != 1 && busSize <= 4 && v.value) {
                    uint8_t bytes[4];
                    WriteLe(bytes, executor_.NCS_SDO_GetValue(g.list, v.element), 4);
                    if (v.busType == v.valueType)
                        std::memcpy(v.value, bytes, busSize);
                    else
                        linkora::ConvertValue(bytes, v.value, v.busType, v.valueType);
                }
            }
        } else {
            error = static_cast<uint32_t>(executor_.NCS_GetErrorCode(g.list));
        }
    }
    if (g.callback) g.callback(static_cast<uint32_t>(g.id), error, g.context);
    return static_cast<int32_t>(error);
}

int32_t CCanOpenChannel::GroupExecute(int32_t group, uint32_t time, uint32_t cycle) {
    std::unique_lock<std::recursive_mutex> lock(groupsMutex_);
    GroupPtr g = FindGroup(group);
    if (!g) return 10;
    {
        std::lock_guard<std::mutex> run(g->run);
        if (g->count == 0) return 0;
        if (g->dirty && BuildList(*g) != 0) return -12;
        g->timeout = std::max(static_cast<int>(std::min<uint32_t>(time, 0x7FFFFFFF)), g->list->timeout);
    }
    if (cycle == 0) {
        lock.unlock();
        return RunOnce(*g);
    }
    static thread_local std::minstd_rand random(static_cast<unsigned>(std::time(nullptr)));
    const double fraction = static_cast<double>(random() % 32768) / 32767.0;
    g->cycle = cycle;
    g->nextDue = ClockMs() + static_cast<int64_t>(fraction * cycle);
    if (!g->cyclic.exchange(true)) ++cyclicCount_;
    {
        std::lock_guard<std::mutex> snap(snapshotMutex_);
        snapshot_ = groups_.Slots();
    }
    StartScheduler();
    return 0;
}

int32_t CCanOpenChannel::GroupPauseExecute() {
    return Pause(1000) ? 0 : -1;
}

int32_t CCanOpenChannel::GroupResumeExecute() {
    Resume();
    return 0;
}

bool CCanOpenChannel::Pause(int limitMs) {
    requested_ = 2;
    wake_.Set();
    if (current_ == 2) return true;
    const int64_t start = SteadyMs();
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(schedulerMutex_);
            if (!schedulerAlive_ || scheduler_.ThreadId() == platform::CurrentThreadId()) return true;
        }
        if (current_ == 2) break;
        if (SteadyMs() - start >= limitMs) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return SteadyMs() - start < limitMs;
}

void CCanOpenChannel::Resume() {
    requested_ = 1;
    wake_.Set();
}

void CCanOpenChannel::StartScheduler() {
    std::lock_guard<std::mutex> lock(schedulerMutex_);
    if (requested_ == 0) requested_ = 1;
    if (schedulerAlive_) {
        wake_.Set();
        return;
    }
    schedulerAlive_ = scheduler_.Start("CCanOpenChannel::SchedulerThread",
                                       [this](platform::StopToken&) { SchedulerLoop(); });
}

void CCanOpenChannel::StopScheduler() {
    requested_ = 0;
    wake_.Set();
    for (int i = 0; i < 200; ++i) {
        {
            std::lock_guard<std::mutex> lock(schedulerMutex_);
            if (!schedulerAlive_) break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // Never killed: a run in progress ends with its list's time-out.
    scheduler_.Join();
}

void CCanOpenChannel::SchedulerLoop() {
    std::vector<GroupPtr> groups;
    bool ran = false;
    current_ = 0;
    while (requested_ != 0) {
        const int requested = requested_;
        if (requested != current_) {
            if (requested == 1) {
                std::lock_guard<std::mutex> snap(snapshotMutex_);
                groups = snapshot_;
                int limit = 1000;
                for (auto& g : groups)
                    if (g && g->cyclic) limit = std::max(limit, g->timeout);
                pauseLimit_ = limit;
            } else {
                groups.clear();  // a paused scheduler holds no group
            }
            current_ = requested;
        }
        if (current_ == 1) {
            {
                std::lock_guard<std::mutex> lock(schedulerMutex_);
                if (cyclicCount_ <= 0) {
                    schedulerAlive_ = false;
                    current_ = 0;
                    return;
                }
            }
            if (!ran) wake_.Wait(10);
            int64_t now = ClockMs();
            ran = false;
            for (auto& g : groups) {
                if (requested_ != current_) break;
                if (!g || !g->cyclic || now < g->nextDue) continue;
                g->nextDue = now + g->cycle;
                RunOnce(*g);
                ran = true;
                wake_.Wait(10);
                now = ClockMs();
            }
        } else {
            wake_.Wait(1000);
        }
    }
    std::lock_guard<std::mutex> lock(schedulerMutex_);
    schedulerAlive_ = false;
    current_ = 0;
}

int32_t CCanOpenChannel::Transfer(bool write, const char* name, void* buffer, int size, int timeout, int mode,
                                  int* transferred) {
    if (State() != 0) return State();
    int32_t index, subindex;
    if (!ParseItemName(name, index, subindex)) return -2;
    if (size < 0 || static_cast<uint32_t>(size) > kMaxTransfer || (size > 0 && !buffer)) return -12;
    CSDO_LIST_CMD* list = executor_.NCS_Create(mode == 1 ? 1 : 0);
    if (!list) return -12;
    const int elementTimeout = timeout > 40 ? timeout : 0;
    if (size <= 4)
        executor_.NCS_SDO_Add(list, write ? 1 : 0, index, subindex,
                              write ? ReadLe(buffer, static_cast<uint32_t>(size)) : 0, size, elementTimeout,
                              0);
    else
        executor_.NCS_SDO_AddDomain(list, write ? 1 : 0, index, subindex, buffer, size, elementTimeout, 7, 0);
    if (mode != 1) {
        int32_t handle;
        {
            std::lock_guard<std::mutex> lock(pendingMutex_);
            do {
                handle = nextHandle_;
                nextHandle_ = nextHandle_ == 0x7FFFFFFF ? 0x10000000 : nextHandle_ + 1;
            } while (pending_.count(handle));
            pending_[handle] = Pending{list, SteadyMs()};
        }
        executor_.NCS_Execute(list, timeout);
        return handle;
    }
    executor_.NCS_Execute(list, timeout);
    int32_t result;
    if (executor_.NCS_IsCorrect(list)) {
        const int status = executor_.NCS_SDO_GetStatus(list, 0);
        const uint32_t value = executor_.NCS_SDO_GetValue(list, 0);
        if (status == 2) {
            result = 0;
            if (transferred) *transferred = static_cast<int>(value);
            if (!write && size <= 4) WriteLe(buffer, value, static_cast<uint32_t>(size));
        } else {
            result = status == 5 ? static_cast<int32_t>(value) : status;
        }
    } else {
        uint32_t code = static_cast<uint32_t>(executor_.NCS_GetErrorCode(list));
        if (code == kNcsCallFailed) code |= (list->errorDetail & 0xFFu) << 8;
        result = static_cast<int32_t>(code);
    }
    executor_.NCS_Destroy(list);
    return result;
}

int32_t CCanOpenChannel::Read(const char* name, void* buffer, int size, int timeout, int mode,
                              int* transferred) {
    return Transfer(false, name, buffer, size, timeout, mode, transferred);
}

int32_t CCanOpenChannel::Write(const char* name, void* buffer, int size, int timeout, int mode,
                               int* transferred) {
    return Transfer(true, name, buffer, size, timeout, mode, transferred);
}

int32_t CCanOpenChannel::ReadValue(const char* name, void* buffer, uint32_t busType, uint32_t valueType,
                                   int timeout, int, int* transferred) {
    if (State() != 0) return State();
    const uint32_t size = linkora::TypeSize(busType);
    if (size > kMaxTransfer || !buffer) return -12;
    std::vector<uint8_t> temporary(size, 0);
    // Always waited: a queued read into the temporary buffer would land after it is gone.
    const int32_t rc =
        Transfer(false, name, temporary.data(), static_cast<int>(size), timeout, 1, transferred);
    if (rc == 0) linkora::ConvertValue(temporary.data(), buffer, busType, valueType);
    return rc;
}

bool CCanOpenChannel::CheckItemName(const char* name, uint32_t, uint32_t, uint32_t, uint32_t) {
    int32_t index, subindex;
    return ParseItemName(name, index, subindex);
}

int32_t CCanOpenChannel::CheckReadWrite(int32_t handle, uint32_t* value) {
    CSDO_LIST_CMD* list;
    {
        std::lock_guard<std::mutex> lock(pendingMutex_);
        auto it = pending_.find(handle);
        if (it == pending_.end()) {
            if (value) *value = kNcsInvalidList;
            return 0;
        }
        list = it->second.list;
        const int phase = list->phase;
        if (phase != kPhaseIdle) {
            if (value) {
                const double total = static_cast<double>(list->readTotal) + list->writeTotal;
                const double ratio =
                    static_cast<double>(SteadyMs() - it->second.queuedMs) / std::max(1, list->executeTime);
                *value =
                    static_cast<uint32_t>(ratio <= 1 ? total * ratio : total * (ratio - std::floor(ratio)));
            }
            return phase;
        }
        pending_.erase(it);
    }
    if (value)
        *value = executor_.NCS_IsCorrect(list) ? 0 : static_cast<uint32_t>(executor_.NCS_GetErrorCode(list));
    executor_.NCS_Destroy(list);
    return 0;
}

uint32_t CCanOpenChannel::GetErrorText(uint32_t code, std::string& text) {
    return linkora::CanOpenErrorText(code, text);
}

int32_t CCanOpenChannel::Close(std::string& error) {
    return static_cast<int32_t>(executor_.Logout(error));
}

int32_t CCanOpenChannel::Open(std::string& error) {
    return static_cast<int32_t>(executor_.Login(nullptr, error));
}

int32_t CCanOpenChannel::GetConnectResult() {
    return static_cast<int32_t>(executor_.TestResult());
}

}  // namespace linkora
