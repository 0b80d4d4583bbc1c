#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <set>

#include "engine/BridgeChannelDriver.h"
#include "engine/CyclicThread.h"
#include "engine/EngineCodes.h"
#include "engine/Groups.h"
#include "engine/Main.h"
#include "engine/MainBackground.h"
#include "engine/NodeLock.h"
#include "engine/RegisterRuns.h"
#include "engine/Vocabolario.h"
#include "foundation/ProgramFolders.h"
#include "platform/AtomicFile.h"
#include "platform/Folders.h"
#include "platform/Prompt.h"

using namespace foundation;
using namespace transport;

namespace engine {

using namespace engine_code;

namespace {

constexpr const char* kThreadName = "Main::CyclicThread";
constexpr size_t kTableGrowth = 50;
constexpr int kHandshakeSteps = 500;
constexpr uint32_t kHandshakeStepMs = 10;
constexpr uint32_t kPassSleepMs = 10;

template <typename... Args>
std::string Format(const char* format, Args... args) {
    char text[512];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

void WriteLines(const std::filesystem::path& file, const std::string& text) {
    std::string error;
    platform::WriteFileAtomic(file, text, &error);  // a log that cannot be written is skipped
}

}  // namespace

// ---- time and state --------------------------------------------------------------------------

CCyclicThread::CCyclicThread(CMain& engine) : engine_(engine) {}

CCyclicThread::~CCyclicThread() {
    Join();
}

void CCyclicThread::SetClock(platform::Clock& clock) {
    clock_ = &clock;
    baseMs_ = clock.NowMs() / 1000 * 1000;
}

int64_t CCyclicThread::NowMs() const {
    return clock_->NowMs() - baseMs_.load();
}

bool CCyclicThread::IsSelected(uint8_t nodeId, int channel) const {
    return nodeId == engine_.CurrentNodeId() && channel == engine_.CurrentChannel();
}

// Woken by the thread's change of state; at most 5 s, and gives up early (within a step) when
// the thread has ended.
bool CCyclicThread::WaitState(int wanted) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kHandshakeSteps * kHandshakeStepMs);
    std::unique_lock lock(stateMutex_);
    while (state_.load() != wanted && thread_.IsRunning() && std::chrono::steady_clock::now() < deadline)
        stateCv_.wait_for(lock, std::chrono::milliseconds(kHandshakeStepMs),
                          [&] { return state_.load() == wanted; });
    return state_.load() == wanted;
}

// A new request wakes the thread from its sleep between passes.
void CCyclicThread::SetRequest(int request) {
    {
        std::lock_guard lock(stateMutex_);
        request_ = request;
    }
    stateCv_.notify_all();
}

void CCyclicThread::SetState(int state) {
    {
        std::lock_guard lock(stateMutex_);
        state_ = state;
    }
    stateCv_.notify_all();
}

void CCyclicThread::RequestThreadStop() {
    thread_.RequestStop();
    { std::lock_guard lock(stateMutex_); }
    stateCv_.notify_all();
}

size_t CCyclicThread::ItemCount() {
    std::lock_guard table(tableMutex_);
    size_t n = 0;
    for (size_t i = 0; i < count_; ++i)
        if (items_[i].InUse()) ++n;
    return n;
}

int CCyclicThread::Pause() {
    std::lock_guard lock(controlMutex_);
    return PauseLocked();
}

// Pauses nest: an operation that pauses inside another one's pause (a buffer upload inside a
// whole capture, a cell access inside a drive operation) finds the thread standing and leaves it
// standing when it resumes; only the outermost resume sets the thread going again.
int CCyclicThread::PauseLocked() {
    ++pauseDepth_;
    if (!thread_.IsRunning()) return 0;
    if (request_.load() != 2) {
        saved_ = state_.load();
        SetRequest(2);
    }
    if (WaitState(2)) return 0;
    // The caller does not resume a pause that failed: it holds no share of it.
    if (--pauseDepth_ == 0) SetRequest(saved_.load());
    return -1;
}

int CCyclicThread::Resume() {
    std::lock_guard lock(controlMutex_);
    return ResumeLocked();
}

int CCyclicThread::ResumeLocked() {
    if (pauseDepth_ > 1) {
        --pauseDepth_;
        return 0;
    }
    pauseDepth_ = 0;
    if (!thread_.IsRunning()) return 0;
    SetRequest(saved_.load());
    return WaitState(request_.load()) ? 0 : -1;
}

int CCyclicThread::Start() {
    std::lock_guard lock(controlMutex_);
    return StartLocked();
}

int CCyclicThread::StartLocked() {
    // A start ends the caller's own pause; another holder's pause goes on.
    if (pauseDepth_ > 1) {
        --pauseDepth_;
        return 0;
    }
    pauseDepth_ = 0;
    {
        std::lock_guard table(tableMutex_);
        if (count_ == 0) return 0;
    }
    SetRequest(1);
    saved_ = 1;
    if (!thread_.IsRunning()) {
        state_ = 0;
        if (!thread_.Start(kThreadName, [this](platform::StopToken& token) { Body(token); }))
            return engine_.SetError(kCyclicCreate, engine_text::kCyclicCreate);
    }
    return WaitState(1) ? 0 : -1;
}

int CCyclicThread::Stop() {
    std::lock_guard lock(controlMutex_);
    SetRequest(0);
    saved_ = 0;
    pauseDepth_ = 0;
    RequestThreadStop();
    if (!thread_.JoinFor(kHandshakeSteps * kHandshakeStepMs))
        return engine_.SetError(kCyclicTerminate, engine_text::kCyclicTerminate);
    FreeItemsLocked();
    baseMs_ = clock_->NowMs() / 1000 * 1000;
    groupsModified_ = true;
    return 0;
}

void CCyclicThread::FreeItems() {
    std::lock_guard lock(controlMutex_);
    FreeItemsLocked();
}

void CCyclicThread::FreeItemsLocked() {
    if (thread_.IsRunning() && state_.load() != 2) return;
    std::lock_guard table(tableMutex_);
    items_.clear();
    items_.shrink_to_fit();
    count_ = 0;
}

void CCyclicThread::Join() {
    std::lock_guard lock(controlMutex_);
    SetRequest(0);
    RequestThreadStop();
    thread_.Join();
}

CCyclicThread::CEdit CCyclicThread::Edit() {
    std::unique_lock lock(controlMutex_);
    const bool paused = PauseLocked() == 0;
    return CEdit(*this, std::move(lock), paused);
}

void CCyclicThread::CEdit::FreeItems() {
    owner_->FreeItemsLocked();
    owner_->groupsModified_ = true;
}

void CCyclicThread::CEdit::AddGroup(CGroup& group, uint8_t nodeId, int channelIndex) {
    owner_->AddGroupLocked(group, nodeId, channelIndex);
}

int CCyclicThread::CEdit::Start() {
    return owner_->StartLocked();
}

// ---- the item table --------------------------------------------------------------------------

int CCyclicThread::AddItem(const VocabularyItem& item, void* value, const CCyclicItemRequest& request,
                           uint8_t nodeId, int channelIndex, bool write) {
    std::lock_guard lock(controlMutex_);
    return AddItemLocked(item, value, request, nodeId, channelIndex, write);
}

int CCyclicThread::AddItemLocked(const VocabularyItem& item, void* value, const CCyclicItemRequest& request,
                                 uint8_t nodeId, int channelIndex, bool write) {
    if (request.rateSelected == 0 && request.rateNotSelected == 0)
        return engine_.SetError(kBadCyclicRequest, engine_text::kBothRatesZero);
    if (!write && !item.IsReadable()) return engine_.SetError(kNotReadable, engine_text::kNotReadable);
    if (write && !item.IsWritable()) return engine_.SetError(kNotWritable, engine_text::kNotWritable);
    if (request.notifyMessage != 0 && !platform::IsSinkRegistered(request.notifyWindow))
        return engine_.SetError(kBadCyclicRequest, engine_text::kNoNotifyWindow);

    std::unique_lock table(tableMutex_);
    for (size_t i = 0; i < count_; ++i) {
        CCyclicItem& e = items_[i];
        if (!e.InUse() || e.name != item.name || e.value != value || e.channel != channelIndex ||
            e.nodeId != nodeId || e.IsWrite() != write || e.notifyRef != request.notifyRef)
            continue;
        if (request.rateSelected < e.rateSelected) {
            e.rateSelected = request.rateSelected;
            groupsModified_ = true;
        }
        if (e.registrations < CCyclicItem::kMaxRegistrations) ++e.registrations;
        return 0;
    }

    size_t slot = count_;
    for (size_t i = 0; i < count_; ++i) {
        if (!items_[i].InUse()) {
            slot = i;
            break;
        }
    }
    if (slot == count_ && count_ == items_.size()) {
        // The thread's blocks refer to the table: it grows only while the thread stands still.
        table.unlock();
        const bool wasRunning = thread_.IsRunning() && state_.load() == 1;
        if (wasRunning && PauseLocked() != 0)
            return engine_.SetError(kCyclicNotPaused, engine_text::kCyclicNotPaused);
        table.lock();
        try {
            items_.resize(items_.size() + kTableGrowth);
        } catch (const std::bad_alloc&) {
            table.unlock();
            if (wasRunning) ResumeLocked();
            return engine_.SetError(kTooManyCyclicItems, engine_text::kTooManyCyclicItems);
        }
        if (wasRunning) {
            table.unlock();
            ResumeLocked();
            table.lock();
        }
    }
    if (slot == count_) ++count_;
    CCyclicItem& e = items_[slot];
    e = CCyclicItem();
    e.nodeId = nodeId;
    e.channel = channelIndex;
    e.notifyRef = request.notifyRef;
    e.notifyIsHolder = request.notifyIsHolder;
    e.itemId = item.id;
    e.name = item.name;
    e.modbusAddress = item.modbusAddress;
    e.value = value;
    e.valueSize =
        static_cast<uint8_t>(request.valueSize >= 1 && request.valueSize <= 4 ? request.valueSize : 4);
    e.size = static_cast<uint8_t>(std::min<uint32_t>(item.size, 255));
    e.flags = static_cast<uint8_t>(CCyclicItem::kFirstPass | (write ? CCyclicItem::kWrite : 0) |
                                   (item.Sign() << CCyclicItem::kSignShift));
    e.registrations = 1;
    e.rateSelected = request.rateSelected;
    e.rateNotSelected = request.rateNotSelected;
    e.remaining = request.remaining;
    e.notifyMessage = request.notifyMessage;
    e.notifyWindow = request.notifyWindow;
    const bool selected = IsSelected(nodeId, channelIndex);
    e.dueMs = NowMs() + (selected ? e.rateSelected : e.rateNotSelected);
    groupsModified_ = true;
    return 0;
}

int CCyclicThread::AddGroup(CGroup& group, uint8_t nodeId, int channelIndex) {
    std::lock_guard lock(controlMutex_);
    AddGroupLocked(group, nodeId, channelIndex);
    return 0;
}

void CCyclicThread::AddGroupLocked(CGroup& group, uint8_t nodeId, int channelIndex) {
    for (const _Variable& v : group.Variables()) {
        if (!v.used) continue;
        CCyclicItemRequest request;
        request.rateSelected = static_cast<uint32_t>(std::max<int32_t>(group.cycleMs, 0));
        request.rateNotSelected = 0;
        request.remaining = 0;
        request.notifyMessage = static_cast<uint16_t>(group.notifyMessage);
        request.notifyWindow = group.notifyWindow;
        request.notifyRef = v.result;
        request.notifyIsHolder = v.resultIsHolder;
        request.valueSize = static_cast<uint8_t>(v.size >= 1 && v.size <= 4 ? v.size : 4);
        AddItemLocked(v.item, v.value, request, nodeId, channelIndex, v.IsWrite());
    }
}

void CCyclicThread::Retime() {
    std::lock_guard table(tableMutex_);
    const int64_t now = NowMs();
    for (size_t i = 0; i < count_ && items_[i].InUse(); ++i) {
        CCyclicItem& e = items_[i];
        if (IsSelected(e.nodeId, e.channel)) {
            if (e.rateSelected) e.dueMs = std::min<int64_t>(e.dueMs, now + e.rateSelected);
        } else if (e.rateNotSelected) {
            e.dueMs = std::max<int64_t>(e.dueMs, now + e.rateNotSelected);
        }
    }
}

// ---- blocks ----------------------------------------------------------------------------------

void CCyclicThread::RebuildBlocks() {
    std::lock_guard table(tableMutex_);
    blocks_.clear();
    const CCyclicItem* first = nullptr;
    for (size_t i = 0; i < count_ && !first; ++i)
        if (items_[i].InUse()) first = &items_[i];
    if (!first) return;

    const uint8_t blockNodeId = first->nodeId;
    const int blockChannel = first->channel;
    CNodo* node = engine_.FindNodeQuiet(blockNodeId, blockChannel);
    CChannel* channel = engine_.Channel(blockChannel);
    const int type = channel ? channel->type : channel_type::kOffline;
    CVocabolario* vocabulary = nullptr;
    bool simulated = true;
    if (const CNodeLock held = node ? CNodeLock(*node) : CNodeLock()) {
        simulated = held->simulated != 0;
        vocabulary = engine_.Vocabulary(held->vocabularyIndex);
    }
    const bool pack = node && !simulated && (type == channel_type::kSerial || type == channel_type::kBox) &&
                      vocabulary && vocabulary->compact != 0;

    std::vector<size_t> runList;
    for (size_t i = 0; i < count_; ++i) {
        const CCyclicItem& e = items_[i];
        if (!e.InUse()) continue;
        if (pack && !e.IsWrite() && e.size >= 1 && e.size < 5 && e.modbusAddress != 0 &&
            e.nodeId == blockNodeId && e.channel == blockChannel) {
            runList.push_back(i);
            continue;
        }
        // A block of its own is timed by its own node: timed by the first entry's node, the current
        // node's items would go unread whenever another node's entry came first in the table.
        auto block = std::make_unique<COggettoCiclico>();
        block->nodeId = e.nodeId;
        block->channel = e.channel;
        block->address = e.modbusAddress;
        block->size = e.size;
        block->write = e.IsWrite() ? 1 : 0;
        block->dueMs = e.dueMs;
        block->rateSelected = e.rateSelected;
        block->rateNotSelected = e.rateNotSelected;
        block->items.push_back(i);
        blocks_.push_back(std::move(block));
    }
    std::stable_sort(runList.begin(), runList.end(),
                     [&](size_t a, size_t b) { return items_[a].modbusAddress < items_[b].modbusAddress; });
    std::vector<RunCandidate> candidates;
    for (size_t i : runList) candidates.push_back({items_[i].modbusAddress, items_[i].size});
    // The thread stays strictly below the halved compact value.
    const unsigned half = vocabulary ? vocabulary->compact / 2u : 0u;
    const unsigned maxRegisters = std::min<unsigned>(half > 0 ? half - 1 : 0, kMaxReadRunRegisters);
    for (const RunSpan& span : FormRegisterRuns(candidates, maxRegisters, false, vocabulary)) {
        auto block = std::make_unique<COggettoCiclico>();
        block->nodeId = blockNodeId;
        block->channel = blockChannel;
        block->address = span.address;
        block->size = static_cast<uint8_t>(std::min<unsigned>(span.registers * 2u, 255));
        block->run = true;
        block->rateSelected = 100000;
        block->rateNotSelected = 0;
        block->dueMs = INT64_MAX;
        for (size_t k = span.first; k <= span.last; ++k) {
            const CCyclicItem& e = items_[runList[k]];
            block->rateSelected = std::min(block->rateSelected, e.rateSelected);
            block->rateNotSelected = std::max(block->rateNotSelected, e.rateNotSelected);
            block->dueMs = std::min(block->dueMs, e.dueMs);
            block->items.push_back(runList[k]);
        }
        blocks_.push_back(std::move(block));
    }
}

namespace {

void PostChange(const CCyclicItem& e) {
    if (e.notifyMessage)
        platform::PostMessage(e.notifyWindow, e.notifyMessage, reinterpret_cast<std::uintptr_t>(e.notifyRef),
                              0);
}

void SetHolderStatus(const CCyclicItem& e, uint8_t status) {
    if (e.notifyRef && e.notifyIsHolder) static_cast<CCellHolder*>(e.notifyRef)->status = status;
}

}  // namespace

void CCyclicLog::Executed() {
    if (!On()) return;
    if (--remaining > 0 || lines.empty()) return;
    std::string text;
    for (const std::string& l : lines) text += l;
    WriteLines(platform::TempFolder() / "CyclicReads.log", text);
    lines.clear();
}

// Runs block `index`; the table lock is held only while items are read or updated.
void CCyclicThread::ExecuteBlock(size_t index, CCyclicLog& log) {
    {
        std::unique_lock table(tableMutex_);
        if (index >= blocks_.size()) return;
        COggettoCiclico& block = *blocks_[index];
        const bool run = block.run;
        const uint16_t start = block.address;
        const uint8_t size = block.size;
        const uint8_t nodeId = block.nodeId;
        const int channel = block.channel;
        const std::vector<size_t> members = block.items;

        if (!run) {
            const size_t i = members.front();
            if (i >= count_ || !items_[i].InUse()) return;
            CCyclicItem e = items_[i];
            table.unlock();
            if (e.IsWrite()) {
                log.Add(Format("\r\n%" PRId64 " : scrivo '%s' %p", NowMs(), e.name.c_str(), e.value));
                uint32_t word = 0;
                if (e.value) std::memcpy(&word, e.value, e.valueSize);
                engine_.WriteCell(e.name, &word, e.nodeId, e.channel);
                table.lock();
                if (i >= count_) return;
            } else {
                log.Add("\r\n" + e.name);
                uint32_t word = 0;
                const int rc = engine_.ReadCell(e.name, &word, e.nodeId, e.channel);
                table.lock();
                if (i >= count_) return;
                if (rc != 0) {
                    SetHolderStatus(e, CCellHolder::kReadError);
                } else {
                    SetHolderStatus(e, CCellHolder::kValid);
                    log.Add(Format("=%u", word));
                    CCyclicItem& live = items_[i];
                    const bool changed = e.value && std::memcmp(e.value, &word, e.valueSize) != 0;
                    if (live.InUse() && (changed || live.FirstPass())) {
                        live.flags &= static_cast<uint8_t>(~CCyclicItem::kFirstPass);
                        if (e.value) std::memcpy(e.value, &word, e.valueSize);
                        PostChange(e);
                    }
                }
            }
            CCyclicItem& live = items_[i];
            if (live.InUse() && live.remaining != 0 && --live.remaining == 0) live.registrations = 0;
            return;
        }

        log.Add(Format("\r\n\r\n%" PRId64 " : leggo gruppo %zu : %d, %d, %d, %d", NowMs(), index, channel,
                       nodeId, start, size));
        bool wordOrder = false;
        table.unlock();
        if (CNodo* node = engine_.FindNodeQuiet(nodeId, channel))
            if (const CNodeLock held{*node}) wordOrder = held->wordOrder != 0;
        uint8_t buffer[256] = {};
        const int rc = engine_.ReadModbusBytes(start, size, buffer, nodeId, channel);
        table.lock();
        if (rc != 0) {
            for (size_t i : members)
                if (i < count_ && items_[i].InUse()) SetHolderStatus(items_[i], 2);
            return;
        }
        if (log.On()) {
            std::string hex = "\r\nReadItemsModbus=0x";
            for (unsigned k = 0; k < size; ++k) hex += Format("%02x", buffer[k]);
            log.Add(hex);
        }
        for (size_t i : members) {
            if (i >= count_) continue;
            CCyclicItem& e = items_[i];
            // An entry released and taken again since the blocks were built may lie outside the run.
            if (!e.InUse() || e.IsWrite() || e.modbusAddress < start || e.size == 0 || e.size > 4) continue;
            const size_t offset = static_cast<size_t>(e.modbusAddress - start) * 2;
            if (offset + e.size > size) continue;
            SetHolderStatus(e, CCellHolder::kValid);
            uint8_t* at = buffer + offset;
            if (e.size == 4 && wordOrder) StoreLittleEndian(at, 4, SwapHalves(LoadLittleEndian(at, 4)));
            log.Add("\r\n" + e.name);
            const size_t compared = std::min<size_t>(e.size, e.valueSize);
            const bool changed = e.value && std::memcmp(e.value, at, compared) != 0;
            if (changed || e.FirstPass()) {
                log.Add(" cambiato ");
                const uint32_t word = ExtendValue(LoadLittleEndian(at, e.size), e.size, e.Sign() != 0);
                if (e.value) StoreLittleEndian(static_cast<uint8_t*>(e.value), e.valueSize, word);
                e.flags &= static_cast<uint8_t>(~CCyclicItem::kFirstPass);
                PostChange(e);
            }
            uint32_t shown = 0;
            if (e.value) std::memcpy(&shown, e.value, e.valueSize);
            log.Add(Format("=%u %p", shown, e.value));
        }
    }
}

void CCyclicThread::Body(platform::StopToken& token) {
    logRequest_ = 0;
    CCyclicLog log;
    size_t next = 0;
    for (;;) {
        const int request = request_.load();
        if (request == 0) break;
        if (const int n = logRequest_.exchange(0); n > 0) {
            log.remaining = n;
            log.lines.clear();
        }
        if (request != state_.load()) {
            log.Add(Format("\r\nSwitched to state %d\r\n", request));
            if (request == 1 && groupsModified_.exchange(false)) {
                log.Add("\r\nGroups modified: group reconstruction\r\n");
                RebuildBlocks();
                next = 0;
            }
            SetState(request);
        }
        if (state_.load() == 1) {
            size_t count;
            {
                std::lock_guard table(tableMutex_);
                count = blocks_.size();
            }
            if (next >= count) next = 0;
            for (; next < count; ++next) {
                if (request_.load() != state_.load()) break;
                uint32_t rate;
                int64_t due;
                {
                    std::lock_guard table(tableMutex_);
                    const COggettoCiclico& b = *blocks_[next];
                    rate = IsSelected(b.nodeId, b.channel) ? b.rateSelected : b.rateNotSelected;
                    due = b.dueMs;
                }
                if (rate == 0 || due > NowMs()) continue;
                ExecuteBlock(next, log);
                log.Executed();
                // Missed periods are not caught up: the next due time lies after now.
                const int64_t after = NowMs();
                std::lock_guard table(tableMutex_);
                COggettoCiclico& b = *blocks_[next];
                if (b.dueMs <= after) b.dueMs += ((after - b.dueMs) / rate + 1) * rate;
            }
        }
        ++passes_;
        std::unique_lock sleep(stateMutex_);
        stateCv_.wait_for(sleep, std::chrono::milliseconds(kPassSleepMs),
                          [&] { return token.StopRequested() || request_.load() != state_.load(); });
    }
    std::lock_guard table(tableMutex_);
    blocks_.clear();
    saved_ = 0;
    SetRequest(0);
    SetState(0);
}

// ---- report ----------------------------------------------------------------------------------

void CCyclicThread::Log(int n, const CGroups& groups) {
    const int current = engine_.CurrentChannel();
    if (current < 0 || current >= engine_.ChannelCount()) return;
    if (n >= 1) {
        logRequest_ = n;
        return;
    }
    const CChannel* channel = engine_.Channel(current);
    const int type = channel ? channel->type : 0;
    const std::filesystem::path file =
        platform::TempFolder() / (std::string(kProgramName) + "CyclicC" + std::to_string(type) + ".log");

    std::string text;
    bool duplicated = false;
    std::unique_lock table(tableMutex_);
    const bool empty =
        std::none_of(items_.begin(), items_.begin() + count_, [](const CCyclicItem& e) { return e.InUse(); });
    if (empty) {
        if (type != channel_type::kBridge) return;
        table.unlock();
        // Bridge nodes and client states belong to the bridge channel's driver.
        auto* bridge = channel ? dynamic_cast<CBridgeChannelDriver*>(channel->driver.get()) : nullptr;
        text = bridge ? bridge->Report() : "Vkr Fieldbus Bridge\r\n";
        WriteLines(file, text);
        return;
    }
    const CCyclicItem* first = nullptr;
    for (size_t i = 0; i < count_ && !first; ++i)
        if (items_[i].InUse()) first = &items_[i];
    if (CNodo* node = engine_.FindNodeQuiet(first->nodeId, first->channel))
        if (CVocabolario* vocabulary = engine_.Vocabulary(node->vocabularyIndex))
            text += vocabulary->GetFilePath().string();
    text += "\r\n";
    table.unlock();

    if (type != channel_type::kLibrary) {
        text += "name (modbus,size,signed): pValue, sizeValue, action\r\n";
        // The groups take their own lock, never inside this object's.
        groups.Describe(text, duplicated);
        text += "\r\nCyclicThread\tname modbus, size, pValue (signed,write,count,reset)\r\n";
        // The blocks are listed with the thread standing still.
        std::lock_guard control(controlMutex_);
        const bool paused = PauseLocked() == 0;
        if (paused) {
            std::lock_guard again(tableMutex_);
            std::set<uint16_t> blockCells;
            std::set<const void*> blockMemory;
            for (size_t b = 0; b < blocks_.size(); ++b) {
                const COggettoCiclico& block = *blocks_[b];
                text += Format("\r\nGroup %zu : %d bytes, %u ms, %s\r\n", b, static_cast<int>(block.size),
                               block.rateSelected, block.write ? "write" : "read");
                for (size_t i : block.items) {
                    if (i >= count_) continue;
                    const CCyclicItem& e = items_[i];
                    text += Format("%-30s %4d, %d, %p (%d,%d,%d,%d)", e.name.c_str(), e.modbusAddress,
                                   static_cast<int>(e.size), e.value, e.Sign(), e.IsWrite() ? 1 : 0,
                                   static_cast<int>(e.registrations), e.FirstPass() ? 1 : 0);
                    if (!blockCells.insert(e.modbusAddress).second) {
                        text += " #### cell duplicated";
                        duplicated = true;
                    }
                    if (!blockMemory.insert(e.value).second) {
                        text += " #### memory address duplicated";
                        duplicated = true;
                    }
                    text += "\r\n";
                }
            }
        }
        if (paused) ResumeLocked();
    }
    WriteLines(file, text);
    if (duplicated)
        platform::Prompts().MessageBox("Cyclic groups contain duplicated items", "Debug",
                                       platform::MB_OK | platform::MB_ICONWARNING);
}

}  // namespace engine
