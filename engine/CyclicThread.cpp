#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <set>
#include <thread>

#include "engine/EngineCodes.h"
#include "engine/MainBackground.h"
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

void CMain::SetBackgroundClock(platform::Clock& clock) {
    backgroundClock_ = &clock;
    cyclicBaseMs_ = clock.NowMs() / 1000 * 1000;
}

int64_t CMainBackground::CyclicNowMs(CMain& m) {
    return m.backgroundClock_->NowMs() - m.cyclicBaseMs_.load();
}

bool CMainBackground::IsSelected(CMain& m, uint8_t nodeId, int channel) {
    return nodeId == m.currentNodeId_ && channel == m.currentChannel_;
}

// Polls in 10 ms steps, at most 5 s, and gives up early when the thread has ended.
bool CMainBackground::WaitCyclicState(CMain& m, int wanted) {
    for (int i = 0; i < kHandshakeSteps; ++i) {
        if (m.cyclicState_.load() == wanted) return true;
        if (!m.cyclicThread_.IsRunning()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(kHandshakeStepMs));
    }
    return m.cyclicState_.load() == wanted;
}

size_t CMain::CyclicItemCount() {
    std::lock_guard lock(cyclicMutex_);
    size_t n = 0;
    for (size_t i = 0; i < cyclicCount_; ++i)
        if (cyclicItems_[i].InUse()) ++n;
    return n;
}

int CMain::PauseCyclicThread() {
    std::lock_guard lock(groupMutex_);
    if (!cyclicThread_.IsRunning()) return 0;
    if (cyclicRequest_.load() != 2) {
        cyclicSaved_ = cyclicState_.load();
        cyclicRequest_ = 2;
    }
    return CMainBackground::WaitCyclicState(*this, cyclicRequest_.load()) ? 0 : -1;
}

int CMain::ResumeCyclicThread() {
    std::lock_guard lock(groupMutex_);
    if (!cyclicThread_.IsRunning()) return 0;
    cyclicRequest_ = cyclicSaved_.load();
    return CMainBackground::WaitCyclicState(*this, cyclicRequest_.load()) ? 0 : -1;
}

int CMain::StartCyclicThread() {
    std::lock_guard lock(groupMutex_);
    {
        std::lock_guard table(cyclicMutex_);
        if (cyclicCount_ == 0) return 0;
    }
    cyclicRequest_ = 1;
    cyclicSaved_ = 1;
    if (!cyclicThread_.IsRunning()) {
        cyclicState_ = 0;
        if (!cyclicThread_.Start(kThreadName, [this](platform::StopToken& token) {
                CMainBackground::CyclicThreadBody(*this, token);
            }))
            return SetError(kCyclicCreate, engine_text::kCyclicCreate);
    }
    return CMainBackground::WaitCyclicState(*this, 1) ? 0 : -1;
}

int CMain::StopCyclicThread() {
    std::lock_guard lock(groupMutex_);
    cyclicRequest_ = 0;
    cyclicSaved_ = 0;
    cyclicThread_.RequestStop();
    if (!cyclicThread_.JoinFor(kHandshakeSteps * kHandshakeStepMs))
        return SetError(kCyclicTerminate, engine_text::kCyclicTerminate);
    FreeCyclicItems();
    cyclicBaseMs_ = backgroundClock_->NowMs() / 1000 * 1000;
    groupsModified_ = true;
    return 0;
}

void CMain::FreeCyclicItems() {
    std::lock_guard lock(groupMutex_);
    if (cyclicThread_.IsRunning() && cyclicState_.load() != 2) return;
    std::lock_guard table(cyclicMutex_);
    cyclicItems_.clear();
    cyclicItems_.shrink_to_fit();
    cyclicCount_ = 0;
}

void CMain::JoinBackgroundThreads() {
    cyclicRequest_ = 0;
    cyclicThread_.RequestStop();
    cyclicThread_.Join();
    nodeguardThread_.RequestStop();
    nodeguardThread_.Join();
}

// ---- the item table --------------------------------------------------------------------------

int CMain::AddCyclicItem(const VocabularyItem& item, void* value, const CCyclicItemRequest& request,
                         uint8_t nodeId, int channelIndex, bool write) {
    std::lock_guard lock(groupMutex_);
    if (request.rateSelected == 0 && request.rateNotSelected == 0)
        return SetError(kBadCyclicRequest, engine_text::kBothRatesZero);
    if (!write && !item.IsReadable()) return SetError(kNotReadable, engine_text::kNotReadable);
    if (write && !item.IsWritable()) return SetError(kNotWritable, engine_text::kNotWritable);
    if (request.notifyMessage != 0 && !platform::IsSinkRegistered(request.notifyWindow))
        return SetError(kBadCyclicRequest, engine_text::kNoNotifyWindow);

    std::unique_lock table(cyclicMutex_);
    for (size_t i = 0; i < cyclicCount_; ++i) {
        CCyclicItem& e = cyclicItems_[i];
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

    size_t slot = cyclicCount_;
    for (size_t i = 0; i < cyclicCount_; ++i) {
        if (!cyclicItems_[i].InUse()) {
            slot = i;
            break;
        }
    }
    if (slot == cyclicCount_ && cyclicCount_ == cyclicItems_.size()) {
        // The thread's blocks refer to the table: it grows only while the thread stands still.
        table.unlock();
        const bool wasRunning = cyclicThread_.IsRunning() && cyclicState_.load() == 1;
        if (wasRunning && PauseCyclicThread() != 0)
            return SetError(kCyclicNotPaused, engine_text::kCyclicNotPaused);
        table.lock();
        try {
            cyclicItems_.resize(cyclicItems_.size() + kTableGrowth);
        } catch (const std::bad_alloc&) {
            table.unlock();
            if (wasRunning) StartCyclicThread();
            return SetError(kTooManyCyclicItems, engine_text::kTooManyCyclicItems);
        }
        if (wasRunning) {
            table.unlock();
            StartCyclicThread();
            table.lock();
        }
    }
    if (slot == cyclicCount_) ++cyclicCount_;
    CCyclicItem& e = cyclicItems_[slot];
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
    const bool selected = CMainBackground::IsSelected(*this, nodeId, channelIndex);
    e.dueMs = CMainBackground::CyclicNowMs(*this) + (selected ? e.rateSelected : e.rateNotSelected);
    groupsModified_ = true;
    return 0;
}

int CMain::AddGroupToCyclicItems(CGroup& group) {
    std::lock_guard lock(groupMutex_);
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
        AddCyclicItem(v.item, v.value, request, currentNodeId_, currentChannel_, v.IsWrite());
    }
    return 0;
}

void CMain::RetimeCyclicItems() {
    std::lock_guard table(cyclicMutex_);
    const int64_t now = CMainBackground::CyclicNowMs(*this);
    for (size_t i = 0; i < cyclicCount_ && cyclicItems_[i].InUse(); ++i) {
        CCyclicItem& e = cyclicItems_[i];
        if (CMainBackground::IsSelected(*this, e.nodeId, e.channel)) {
            if (e.rateSelected) e.dueMs = std::min<int64_t>(e.dueMs, now + e.rateSelected);
        } else if (e.rateNotSelected) {
            e.dueMs = std::max<int64_t>(e.dueMs, now + e.rateNotSelected);
        }
    }
}

// ---- blocks ----------------------------------------------------------------------------------

void CMainBackground::RebuildCyclicBlocks(CMain& m) {
    std::lock_guard table(m.cyclicMutex_);
    m.cyclicBlocks_.clear();
    const CCyclicItem* first = nullptr;
    for (size_t i = 0; i < m.cyclicCount_ && !first; ++i)
        if (m.cyclicItems_[i].InUse()) first = &m.cyclicItems_[i];
    if (!first) return;

    const uint8_t blockNodeId = first->nodeId;
    const int blockChannel = first->channel;
    CNodo* node = FindNodeQuiet(m, blockNodeId, blockChannel);
    CChannel* channel = m.Channel(blockChannel);
    const int type = channel ? channel->type : channel_type::kOffline;
    CVocabolario* vocabulary = nullptr;
    bool simulated = true;
    if (node && node->Lock()) {
        simulated = node->simulated != 0;
        vocabulary = m.Vocabulary(node->vocabularyIndex);
        node->Unlock();
    }
    const bool pack = node && !simulated && (type == channel_type::kSerial || type == channel_type::kBox) &&
                      vocabulary && vocabulary->compact != 0;

    std::vector<size_t> runList;
    for (size_t i = 0; i < m.cyclicCount_; ++i) {
        const CCyclicItem& e = m.cyclicItems_[i];
        if (!e.InUse()) continue;
        if (pack && !e.IsWrite() && e.size >= 1 && e.size < 5 && e.modbusAddress != 0 &&
            e.nodeId == blockNodeId && e.channel == blockChannel) {
            runList.push_back(i);
            continue;
        }
        // A block of its own is timed by its own node, so that another node's item keeps its rate.
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
        m.cyclicBlocks_.push_back(std::move(block));
    }
    std::stable_sort(runList.begin(), runList.end(), [&](size_t a, size_t b) {
        return m.cyclicItems_[a].modbusAddress < m.cyclicItems_[b].modbusAddress;
    });
    std::vector<RunCandidate> candidates;
    for (size_t i : runList) candidates.push_back({m.cyclicItems_[i].modbusAddress, m.cyclicItems_[i].size});
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
            const CCyclicItem& e = m.cyclicItems_[runList[k]];
            block->rateSelected = std::min(block->rateSelected, e.rateSelected);
            block->rateNotSelected = std::max(block->rateNotSelected, e.rateNotSelected);
            block->dueMs = std::min(block->dueMs, e.dueMs);
            block->items.push_back(runList[k]);
        }
        m.cyclicBlocks_.push_back(std::move(block));
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
void CMainBackground::ExecuteCyclicBlock(CMain& m, size_t index, CCyclicLog& log) {
    {
        std::unique_lock table(m.cyclicMutex_);
        if (index >= m.cyclicBlocks_.size()) return;
        COggettoCiclico& block = *m.cyclicBlocks_[index];
        const bool run = block.run;
        const uint16_t start = block.address;
        const uint8_t size = block.size;
        const uint8_t nodeId = block.nodeId;
        const int channel = block.channel;
        const std::vector<size_t> members = block.items;

        if (!run) {
            const size_t i = members.front();
            if (i >= m.cyclicCount_ || !m.cyclicItems_[i].InUse()) return;
            CCyclicItem e = m.cyclicItems_[i];
            table.unlock();
            if (e.IsWrite()) {
                log.Add(Format("\r\n%" PRId64 " : scrivo '%s' %p", CMainBackground::CyclicNowMs(m),
                               e.name.c_str(), e.value));
                uint32_t word = 0;
                if (e.value) std::memcpy(&word, e.value, e.valueSize);
                m.WriteCell(e.name, &word, e.nodeId, e.channel);
                table.lock();
                if (i >= m.cyclicCount_) return;
            } else {
                log.Add("\r\n" + e.name);
                uint32_t word = 0;
                const int rc = m.ReadCell(e.name, &word, e.nodeId, e.channel);
                table.lock();
                if (i >= m.cyclicCount_) return;
                if (rc != 0) {
                    SetHolderStatus(e, CCellHolder::kReadError);
                } else {
                    SetHolderStatus(e, CCellHolder::kValid);
                    log.Add(Format("=%u", word));
                    CCyclicItem& live = m.cyclicItems_[i];
                    const bool changed = e.value && std::memcmp(e.value, &word, e.valueSize) != 0;
                    if (live.InUse() && (changed || live.FirstPass())) {
                        live.flags &= static_cast<uint8_t>(~CCyclicItem::kFirstPass);
                        if (e.value) std::memcpy(e.value, &word, e.valueSize);
                        PostChange(e);
                    }
                }
            }
            CCyclicItem& live = m.cyclicItems_[i];
            if (live.InUse() && live.remaining != 0 && --live.remaining == 0) live.registrations = 0;
            return;
        }

        log.Add(Format("\r\n\r\n%" PRId64 " : leggo gruppo %zu : %d, %d, %d, %d",
                       CMainBackground::CyclicNowMs(m), index, channel, nodeId, start, size));
        bool wordOrder = false;
        table.unlock();
        if (CNodo* node = CMainBackground::FindNodeQuiet(m, nodeId, channel); node && node->Lock()) {
            wordOrder = node->wordOrder != 0;
            node->Unlock();
        }
        uint8_t buffer[256] = {};
        const int rc = m.ReadModbusBytes(start, size, buffer, nodeId, channel);
        table.lock();
        if (rc != 0) {
            for (size_t i : members)
                if (i < m.cyclicCount_ && m.cyclicItems_[i].InUse()) SetHolderStatus(m.cyclicItems_[i], 2);
            return;
        }
        if (log.On()) {
            std::string hex = "\r\nReadItemsModbus=0x";
            for (unsigned k = 0; k < size; ++k) hex += Format("%02x", buffer[k]);
            log.Add(hex);
        }
        for (size_t i : members) {
            if (i >= m.cyclicCount_) continue;
            CCyclicItem& e = m.cyclicItems_[i];
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

void CMainBackground::CyclicThreadBody(CMain& m, platform::StopToken& token) {
    m.cyclicLogRequest_ = 0;
    CCyclicLog log;
    size_t next = 0;
    for (;;) {
        const int request = m.cyclicRequest_.load();
        if (request == 0) break;
        if (const int n = m.cyclicLogRequest_.exchange(0); n > 0) {
            log.remaining = n;
            log.lines.clear();
        }
        if (request != m.cyclicState_.load()) {
            log.Add(Format("\r\nSwitched to state %d\r\n", request));
            if (request == 1 && m.groupsModified_.exchange(false)) {
                log.Add("\r\nGroups modified: group reconstruction\r\n");
                RebuildCyclicBlocks(m);
                next = 0;
            }
            m.cyclicState_ = request;
        }
        if (m.cyclicState_.load() == 1) {
            size_t count;
            {
                std::lock_guard table(m.cyclicMutex_);
                count = m.cyclicBlocks_.size();
            }
            if (next >= count) next = 0;
            for (; next < count; ++next) {
                if (m.cyclicRequest_.load() != m.cyclicState_.load()) break;
                uint32_t rate;
                int64_t due;
                {
                    std::lock_guard table(m.cyclicMutex_);
                    const COggettoCiclico& b = *m.cyclicBlocks_[next];
                    rate = IsSelected(m, b.nodeId, b.channel) ? b.rateSelected : b.rateNotSelected;
                    due = b.dueMs;
                }
                if (rate == 0 || due > CyclicNowMs(m)) continue;
                ExecuteCyclicBlock(m, next, log);
                log.Executed();
                // Missed periods are not caught up: the next due time lies after now.
                const int64_t after = CyclicNowMs(m);
                std::lock_guard table(m.cyclicMutex_);
                COggettoCiclico& b = *m.cyclicBlocks_[next];
                if (b.dueMs <= after) b.dueMs += ((after - b.dueMs) / rate + 1) * rate;
            }
        }
        ++m.cyclicPasses_;
        token.WaitForStop(kPassSleepMs);
    }
    std::lock_guard table(m.cyclicMutex_);
    m.cyclicBlocks_.clear();
    m.cyclicSaved_ = 0;
    m.cyclicRequest_ = 0;
    m.cyclicState_ = 0;
}

// ---- report ----------------------------------------------------------------------------------

void CMain::LogCyclicGroups(int n) {
    std::lock_guard lock(groupMutex_);
    if (currentChannel_ < 0 || currentChannel_ >= channelCount_) return;
    if (n >= 1) {
        cyclicLogRequest_ = n;
        return;
    }
    const CChannel* channel = Channel(currentChannel_);
    const int type = channel ? channel->type : 0;
    const std::filesystem::path file =
        platform::TempFolder() / (std::string(kProgramName) + "CyclicC" + std::to_string(type) + ".log");

    std::string text;
    bool duplicated = false;
    std::unique_lock table(cyclicMutex_);
    const bool empty = std::none_of(cyclicItems_.begin(), cyclicItems_.begin() + cyclicCount_,
                                    [](const CCyclicItem& e) { return e.InUse(); });
    if (empty) {
        // Bridge nodes and client states belong to the bridge channel's driver.
        if (type != channel_type::kBridge) return;
        text = "Vkr Fieldbus Bridge\r\n";
        table.unlock();
        WriteLines(file, text);
        return;
    }
    const CCyclicItem* first = nullptr;
    for (size_t i = 0; i < cyclicCount_ && !first; ++i)
        if (cyclicItems_[i].InUse()) first = &cyclicItems_[i];
    if (CNodo* node = CMainBackground::FindNodeQuiet(*this, first->nodeId, first->channel))
        if (CVocabolario* vocabulary = Vocabulary(node->vocabularyIndex))
            text += vocabulary->GetFilePath().string();
    text += "\r\n";
    table.unlock();

    if (type != channel_type::kLibrary) {
        text += "name (modbus,size,signed): pValue, sizeValue, action\r\n";
        std::set<uint16_t> cells;
        std::set<const void*> memory;
        for (size_t g = 0; g < groups_.size(); ++g) {
            if (!groups_[g]) continue;
            text += Format("\r\nGroup %zu, cyclic = %d ms\r\n", g, groups_[g]->cycleMs);
            for (const _Variable& v : groups_[g]->Variables()) {
                if (!v.used) continue;
                text += Format("%-30s (%4d,%d,%d): %p, %d, %d", v.item.name.c_str(), v.item.modbusAddress,
                               static_cast<int>(v.item.size), v.item.Sign(), v.value,
                               static_cast<int>(v.size), v.direction);
                if (!cells.insert(v.item.modbusAddress).second) {
                    text += " #### cell duplicated";
                    duplicated = true;
                }
                if (!memory.insert(v.value).second) {
                    text += " #### memory address duplicated";
                    duplicated = true;
                }
                text += "\r\n";
            }
        }
        text += "\r\nCyclicThread\tname modbus, size, pValue (signed,write,count,reset)\r\n";
        // The blocks are listed with the thread standing still.
        const bool pausedBefore = cyclicRequest_.load() == 2;
        const bool paused = PauseCyclicThread() == 0;
        if (paused) {
            std::lock_guard again(cyclicMutex_);
            std::set<uint16_t> blockCells;
            std::set<const void*> blockMemory;
            for (size_t b = 0; b < cyclicBlocks_.size(); ++b) {
                const COggettoCiclico& block = *cyclicBlocks_[b];
                text += Format("\r\nGroup %zu : %d bytes, %u ms, %s\r\n", b, static_cast<int>(block.size),
                               block.rateSelected, block.write ? "write" : "read");
                for (size_t i : block.items) {
                    if (i >= cyclicCount_) continue;
                    const CCyclicItem& e = cyclicItems_[i];
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
        if (paused && !pausedBefore) ResumeCyclicThread();
    }
    WriteLines(file, text);
    if (duplicated)
        platform::Prompts().MessageBox("Cyclic groups contain duplicated items", "Debug",
                                       platform::MB_OK | platform::MB_ICONWARNING);
}

}  // namespace engine
