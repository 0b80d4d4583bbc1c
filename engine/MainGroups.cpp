#include <algorithm>
#include <cstring>
#include <random>

#include "engine/EngineCodes.h"
#include "engine/EngineLog.h"
#include "engine/GroupChannel.h"
#include "engine/MainBackground.h"
#include "engine/RegisterRuns.h"
#include "engine/Vocabolario.h"
#include "transport/BridgeVkr.h"
#include "transport/TwincatAds.h"

namespace engine {

using namespace engine_code;

// ---- records ---------------------------------------------------------------------------------

int CGroup::AddVariable(const VocabularyItem& item, int direction, void* value, uint32_t size, void* result,
                        bool resultIsHolder, uint32_t* extra) {
    if (count_ >= kMaxVariables) return -1;
    size_t slot = variables_.size();
    for (size_t i = 0; i < variables_.size(); ++i) {
        if (!variables_[i].used) {
            slot = i;
            break;
        }
    }
    if (slot == variables_.size()) variables_.emplace_back();
    _Variable& v = variables_[slot];
    v.used = true;
    v.item = item;
    v.direction = direction;
    v.value = value;
    v.size = size;
    v.result = result;
    v.resultIsHolder = resultIsHolder;
    v.extra = extra;
    ++count_;
    return static_cast<int>(slot);
}

bool CGroup::RemoveVariable(int index) {
    if (index < 0 || static_cast<size_t>(index) >= variables_.size() || !variables_[index].used) return false;
    variables_[index] = _Variable();
    --count_;
    return true;
}

void CGroup::RemoveAllVariables() {
    variables_.clear();
    count_ = 0;
}

uint32_t RandomFirstRunOffset(uint32_t cycleMs) {
    if (cycleMs == 0) return 0;
    thread_local std::mt19937 engine{std::random_device{}()};
    std::uniform_int_distribution<uint32_t> offset(0, cycleMs - 1);
    return offset(engine);
}

// ---- helpers ---------------------------------------------------------------------------------

namespace {

enum class Kind { Own, Library, Bridge, Ads };

Kind KindOf(const CChannel* channel) {
    switch (channel ? channel->type : channel_type::kOffline) {
        case channel_type::kLibrary:
            return Kind::Library;
        case channel_type::kBridge:
            return Kind::Bridge;
        case channel_type::kAds:
            return Kind::Ads;
        default:
            return Kind::Own;
    }
}

// What a group operation answers on a channel whose driver keeps no groups.
int Unavailable(Kind kind) {
    switch (kind) {
        case Kind::Library:
            return kLibraryNotLoaded;
        case Kind::Bridge:
            return transport::CBridgeVkr::kNotConnected;
        default:
            return static_cast<int>(transport::CTwincatAds::kNoGroup);
    }
}

void StoreResult(void* result, int32_t code) {
    if (result) std::memcpy(result, &code, sizeof code);
}

// Size handed to a library or bridge variable: the item's, unless the item has none, is not a
// plain number, or the caller asked for less.
uint32_t EffectiveSize(const VocabularyItem& item, uint32_t given) {
    if (item.size == 0 || item.Sign() >= 2 || given < item.size) return given;
    return item.size;
}

uint32_t Low24(int32_t size) {
    return size < 0 ? static_cast<uint32_t>(size) & 0xFFFFFF : static_cast<uint32_t>(size);
}

// Bytes of the caller's value memory a single cell fills: its declared size, a 32-bit word at most.
uint32_t ValueBytes(uint32_t size) {
    return size >= 1 && size <= 4 ? size : 4;
}

bool IsModbusErrorCode(int rc, bool write) {
    return write ? (rc == 143 || rc == 136) : (rc == 129 || rc == 122);
}

// The current channel's record for a group operation; "wrong channel" when there is none.
int CurrentGroupChannel(CMain& m, CChannel*& channel) {
    const int index = m.CurrentChannel();
    if (index < 0 || index >= m.ChannelCount()) return m.SetError(kWrongChannel, engine_text::kWrongChannel);
    channel = m.Channel(index);
    return 0;
}

}  // namespace

CNodo* CMainBackground::FindNodeQuiet(CMain& m, uint8_t nodeId, int channel) {
    for (int i = 0; i < m.nodeCount_; ++i)
        if (m.nodes_[i] && m.nodes_[i]->nodeId == nodeId && m.nodes_[i]->channelIndex == channel)
            return m.nodes_[i].get();
    return nullptr;
}

CNodo* CMainBackground::FindNodeByAddressQuiet(CMain& m, uint32_t address, int channel) {
    for (int i = 0; i < m.nodeCount_; ++i)
        if (m.nodes_[i] && m.nodes_[i]->address == address && m.nodes_[i]->channelIndex == channel)
            return m.nodes_[i].get();
    return nullptr;
}

CGroupChannel* CMainBackground::GroupDriver(CChannel* channel) {
    if (!channel || !channel->driver) return nullptr;
    return dynamic_cast<CGroupChannel*>(channel->driver.get());
}

CGroup* CMainBackground::OwnGroup(CMain& m, int group) {
    if (group < 0 || static_cast<size_t>(group) >= m.groups_.size()) return nullptr;
    return m.groups_[group].get();
}

int CMainBackground::ReRegisterCyclicGroups(CMain& m) {
    if (m.PauseCyclicThread() != 0) return m.SetError(kCyclicNotPaused, engine_text::kCyclicNotPaused);
    m.FreeCyclicItems();
    m.groupsModified_ = true;
    for (auto& g : m.groups_)
        if (g && g->cycleMs > 0) m.AddGroupToCyclicItems(*g);
    m.StartCyclicThread();
    return 0;
}

// ---- groups ----------------------------------------------------------------------------------

int CMain::GroupCreate(uint32_t, uint32_t, platform::WindowHandle window, unsigned message) {
    std::lock_guard lock(groupMutex_);
    CChannel* channel = nullptr;
    if (const int rc = CurrentGroupChannel(*this, channel); rc != 0) return rc;
    const Kind kind = KindOf(channel);
    if (kind != Kind::Own) {
        CGroupChannel* driver = CMainBackground::GroupDriver(channel);
        if (!driver) return kind == Kind::Bridge ? 0 : Unavailable(kind);
        if (kind != Kind::Library)
            return driver->GroupCreate(currentNodeAddress_, window, message, nullptr, nullptr);
        auto record = std::make_unique<CGroupBridge>(window, message);
        const int id =
            driver->GroupCreate(currentNodeAddress_, window, message, &CMain::GroupCallback, record.get());
        if (id < 0) return id;
        groupBridges_[GroupBridgeKey(id, currentNodeAddress_)] = std::move(record);
        return id;
    }
    size_t slot = groups_.size();
    for (size_t i = 0; i < groups_.size(); ++i) {
        if (!groups_[i]) {
            slot = i;
            break;
        }
    }
    if (slot == groups_.size()) groups_.emplace_back();
    groups_[slot] = std::make_unique<CGroup>(window, message);
    return static_cast<int>(slot);
}

CGroupBridge* CMain::FindGroupBridge(int group) {
    std::lock_guard lock(groupMutex_);
    auto it = groupBridges_.find(GroupBridgeKey(group, currentNodeAddress_));
    return it == groupBridges_.end() ? nullptr : it->second.get();
}

bool CMain::GroupExists(int group) {
    std::lock_guard lock(groupMutex_);
    return CMainBackground::OwnGroup(*this, group) != nullptr;
}

int CMain::GroupStop(int group) {
    std::lock_guard lock(groupMutex_);
    CChannel* channel = nullptr;
    if (const int rc = CurrentGroupChannel(*this, channel); rc != 0) return rc;
    const Kind kind = KindOf(channel);
    if (kind != Kind::Own) {
        CGroupChannel* driver = CMainBackground::GroupDriver(channel);
        if (!driver) return kind == Kind::Bridge ? 0 : Unavailable(kind);
        const int rc = driver->GroupStop(group);
        // The bridge answers 0 whatever happened; the library and ADS tell an unknown group.
        return kind == Kind::Bridge ? 0 : rc;
    }
    CGroup* g = CMainBackground::OwnGroup(*this, group);
    if (!g) return SetError(kUnknownGroup, engine_text::kUnknownGroup);
    g->cycleMs = 0;
    return CMainBackground::ReRegisterCyclicGroups(*this);
}

int CMain::GroupRemove(int group) {
    std::lock_guard lock(groupMutex_);
    const int stopped = GroupStop(group);
    if (stopped != 0) return stopped;
    CChannel* channel = Channel(currentChannel_);
    const Kind kind = KindOf(channel);
    if (kind == Kind::Own) {
        groups_[group].reset();
        return 0;
    }
    CGroupChannel* driver = CMainBackground::GroupDriver(channel);
    if (!driver) return 0;
    const int rc = driver->GroupRemove(group);
    if (kind != Kind::Library) return 0;
    groupBridges_.erase(GroupBridgeKey(group, currentNodeAddress_));
    return rc;
}

int CMain::GroupRemoveAll() {
    std::lock_guard lock(groupMutex_);
    CChannel* channel = nullptr;
    if (const int rc = CurrentGroupChannel(*this, channel); rc != 0) return rc;
    const Kind kind = KindOf(channel);
    if (kind == Kind::Own) {
        StopCyclicThread();
        groups_.clear();
    } else if (CGroupChannel* driver = CMainBackground::GroupDriver(channel)) {
        driver->GroupRemoveAll();
        if (kind == Kind::Library) groupBridges_.clear();
    }
    defaultGroup_ = -1;
    return 0;
}

int CMain::GroupExecute(int group, int cyclic, int32_t cycleMs) {
    std::lock_guard lock(groupMutex_);
    CChannel* channel = nullptr;
    if (const int rc = CurrentGroupChannel(*this, channel); rc != 0) return rc;
    const Kind kind = KindOf(channel);
    if (kind != Kind::Own) {
        CGroupChannel* driver = CMainBackground::GroupDriver(channel);
        if (!driver) return Unavailable(kind);
        // These channels take the cycle as given; their own threads decide what a cycle of 0 means.
        return driver->GroupExecute(currentNodeAddress_, group, cycleMs);
    }
    CGroup* g = CMainBackground::OwnGroup(*this, group);
    if (!g) return SetError(kUnknownGroup, engine_text::kUnknownGroup);
    if (!cyclic) return CMainBackground::ExecuteGroupOnce(*this, *g);
    // The table may only change while the thread stands still.
    if (PauseCyclicThread() != 0) return SetError(kCyclicNotPaused, engine_text::kCyclicNotPaused);
    g->cycleMs = std::max<int32_t>(cycleMs, 0);
    AddGroupToCyclicItems(*g);
    StartCyclicThread();
    return 0;
}

int CMain::GroupExecuteOnce(uint32_t, uint32_t, int group) {
    std::lock_guard lock(groupMutex_);
    CChannel* channel = nullptr;
    if (const int rc = CurrentGroupChannel(*this, channel); rc != 0) return rc;
    const Kind kind = KindOf(channel);
    if (kind != Kind::Own) {
        if (group == -1 && kind != Kind::Ads) return 0;
        CGroupChannel* driver = CMainBackground::GroupDriver(channel);
        if (!driver) return Unavailable(kind);
        return driver->GroupExecuteOnce(currentNodeAddress_, group);
    }
    CGroup* g = CMainBackground::OwnGroup(*this, group);
    if (!g) return 0;
    return CMainBackground::ExecuteGroupOnce(*this, *g);
}

int CMain::ExecuteDefaultGroup() {
    std::lock_guard lock(groupMutex_);
    const int rc = GroupExecuteOnce(0, 0, defaultGroup_);
    GroupClear(&defaultGroup_);
    return rc;
}

int CMain::GroupClear(int* group) {
    std::lock_guard lock(groupMutex_);
    CChannel* channel = nullptr;
    if (const int rc = CurrentGroupChannel(*this, channel); rc != 0) return rc;
    const Kind kind = KindOf(channel);
    if (kind != Kind::Own) {
        if (kind == Kind::Library && *group == -1) return 0;
        CGroupChannel* driver = CMainBackground::GroupDriver(channel);
        if (!driver) return kind == Kind::Library ? Unavailable(kind) : 0;
        const int before = *group;
        const int rc = driver->GroupClear(group);
        if (kind == Kind::Library) {
            auto it = groupBridges_.find(GroupBridgeKey(before, currentNodeAddress_));
            if (it != groupBridges_.end()) it->second->variables.clear();
        }
        return rc;
    }
    CGroup* g = CMainBackground::OwnGroup(*this, *group);
    if (!g) return 0;
    g->RemoveAllVariables();
    // The thread must not go on filling memory the caller now takes back.
    if (g->cycleMs > 0) CMainBackground::ReRegisterCyclicGroups(*this);
    return 0;
}

// ---- variables -------------------------------------------------------------------------------

int CMain::VariableAdd(uint32_t, uint32_t, int* group, const std::string& name, int direction, void* value,
                       int32_t size, void* result, uint32_t* extra) {
    std::lock_guard lock(groupMutex_);
    auto fail = [&](int code) {
        StoreResult(result, code);
        return code;
    };
    CChannel* channel = nullptr;
    if (const int rc = CurrentGroupChannel(*this, channel); rc != 0) return fail(rc);
    const int type = channel ? channel->type : channel_type::kOffline;
    CNodo* node = CMainBackground::FindNodeByAddressQuiet(*this, currentNodeAddress_, currentChannel_);
    if (!node) return fail(SetError(kNodeNotFound, engine_text::kNodeNotFound));
    const VocabularyItem* found = FindItem(*node, name, type);
    if (!found) return fail(SetError(kCellNotFound, engine_text::kCellNotFound));
    const VocabularyItem item = *found;
    if (direction == 1 ? !item.IsWritable() : !item.IsReadable()) {
        const bool write = direction == 1;
        SetError(write ? kNotWritable : kNotReadable,
                 write ? engine_text::kNotWritable : engine_text::kNotReadable);
        EngineDebugLog(ErrorText() + ": " + name);
        return fail(write ? kNotWritable : kNotReadable);
    }
    const Kind kind = KindOf(channel);
    if (kind != Kind::Own) {
        CGroupChannel* driver = CMainBackground::GroupDriver(channel);
        if (!driver) return fail(Unavailable(kind));
        uint32_t flags = 0;
        int32_t handed = size;
        if (kind == Kind::Library && size < 0) {
            flags = 0x80000000u | item.size | (item.Sign() != 0 ? 0x40000000u : 0);
        } else {
            handed = static_cast<int32_t>(EffectiveSize(item, Low24(size)));
        }
        return driver->VariableAdd(currentNodeAddress_, group, item, direction, value, handed, flags, result,
                                   extra);
    }
    if (!CMainBackground::OwnGroup(*this, *group)) *group = GroupCreate(0, 0, 0, 0);
    CGroup* g = CMainBackground::OwnGroup(*this, *group);
    if (!g) return fail(-1);
    const int id = g->AddVariable(item, direction, value, Low24(size), result, false, extra);
    if (id < 0) return fail(id);
    return id;
}

namespace {
enum CellVariant { kPlainCell = 0, kReadHolder = 1, kValueHolder = 2 };
}  // namespace

int CMain::GroupAddCell(int group, const std::string& name, int direction, void* value, int32_t size) {
    return CMainBackground::AddCell(*this, group, name, direction, value, size, nullptr, kPlainCell);
}

int CMain::GroupAddReadCell(int group, const std::string& name, CCellHolder* holder) {
    return CMainBackground::AddCell(*this, group, name, 0, nullptr, 4, holder, kReadHolder);
}

int CMain::GroupAddCellValue(int group, const std::string& name, uint32_t, CCellHolder* holder, uint32_t,
                             int32_t size) {
    return CMainBackground::AddCell(*this, group, name, 0, nullptr, size, holder, kValueHolder);
}

int CMainBackground::AddCell(CMain& m, int group, const std::string& name, int direction, void* value,
                             int32_t size, CCellHolder* holder, int variant) {
    {
        std::lock_guard lock(m.groupMutex_);
        CChannel* channel = nullptr;
        if (const int rc = CurrentGroupChannel(m, channel); rc != 0) return rc;
        const int type = channel ? channel->type : channel_type::kOffline;
        const int slot = m.FindNode(m.currentNodeId_, m.currentChannel_);
        if (slot < 0) return slot;
        const VocabularyItem* found = m.FindItem(*m.nodes_[slot], name, type);
        if (!found) return m.SetError(kCellNotFound, engine_text::kCellNotFound);
        const VocabularyItem item = *found;
        const Kind kind = KindOf(channel);

        uint32_t effective = 0;
        switch (variant) {
            case kReadHolder:
                effective = item.size == 0 || item.Sign() >= 2 ? 4 : std::min<uint32_t>(item.size, 4);
                break;
            case kPlainCell:
                effective = EffectiveSize(item, Low24(size));
                break;
            case kValueHolder:
                effective = Low24(size);
                break;
        }
        if (kind == Kind::Own && variant != kReadHolder && Low24(size) > 4)
            return m.SetError(kOnlyViaBridge, engine_text::kOnlyViaBridge);
        // A holder's value is one 32-bit word: nothing longer may be written into it.
        if (holder && effective > 4) return m.SetError(kOnlyViaBridge, engine_text::kHolderTooSmall);

        void* target = holder ? static_cast<void*>(&holder->value) : value;
        if (kind == Kind::Own) {
            CGroup* g = CMainBackground::OwnGroup(m, group);
            if (!g) return m.SetError(kUnknownGroup, engine_text::kUnknownGroup);
            const uint32_t kept = variant == kReadHolder ? 4 : Low24(size);
            return g->AddVariable(item, direction, target, kept, holder, holder != nullptr, nullptr);
        }
        CGroupChannel* driver = CMainBackground::GroupDriver(channel);
        if (!driver) return Unavailable(kind);
        if (kind != Kind::Library)
            return driver->GroupAddItem(m.currentNodeAddress_, group, item, direction, target, effective,
                                        holder, nullptr);
        CGroupBridge* bridge = m.FindGroupBridge(group);
        if (!bridge) return m.SetError(kUnknownGroup, engine_text::kUnknownGroup);
        if (direction == 1 ? !item.IsWritable() : !item.IsReadable())
            return direction == 1 ? m.SetError(kNotWritable, engine_text::kNotWritable)
                                  : m.SetError(kNotReadable, engine_text::kNotReadable);
        auto record = std::make_unique<CVariableBridge>(effective);
        record->holder = holder;
        record->value = holder ? nullptr : value;
        const int id = driver->GroupAddItem(m.currentNodeAddress_, group, item, direction, target, effective,
                                            holder, &record->resultWord);
        if (id < 0) return id;
        record->id = id;
        bridge->variables.push_back(std::move(record));
        return id;
    }
}

int CMain::VariableRemove(int group, int variable) {
    std::lock_guard lock(groupMutex_);
    CChannel* channel = nullptr;
    if (const int rc = CurrentGroupChannel(*this, channel); rc != 0) return rc;
    const Kind kind = KindOf(channel);
    if (kind != Kind::Own) {
        CGroupChannel* driver = CMainBackground::GroupDriver(channel);
        if (kind == Kind::Library) {
            CGroupBridge* bridge = FindGroupBridge(group);
            if (!bridge) return SetError(kUnknownGroup, engine_text::kUnknownGroup);
            auto& vars = bridge->variables;
            vars.erase(std::remove_if(vars.begin(), vars.end(), [&](auto& v) { return v->id == variable; }),
                       vars.end());
            return driver ? driver->VariableRemove(group, variable) : Unavailable(kind);
        }
        if (driver) driver->VariableRemove(group, variable);
        return 0;
    }
    CGroup* g = CMainBackground::OwnGroup(*this, group);
    if (!g) return SetError(kUnknownGroup, engine_text::kUnknownGroup);
    if (g->RemoveVariable(variable) && g->cycleMs > 0) CMainBackground::ReRegisterCyclicGroups(*this);
    return 0;
}

int CMain::VariableRemoveAll(int group) {
    std::lock_guard lock(groupMutex_);
    CChannel* channel = nullptr;
    if (const int rc = CurrentGroupChannel(*this, channel); rc != 0) return rc;
    const Kind kind = KindOf(channel);
    if (kind != Kind::Own) {
        CGroupChannel* driver = CMainBackground::GroupDriver(channel);
        if (kind == Kind::Library) {
            CGroupBridge* bridge = FindGroupBridge(group);
            if (!bridge) return SetError(kUnknownGroup, engine_text::kUnknownGroup);
            bridge->variables.clear();
        }
        if (!driver) return kind == Kind::Library ? Unavailable(kind) : 0;
        const int rc = driver->VariableRemoveAll(group);
        return kind == Kind::Ads ? 0 : rc;
    }
    CGroup* g = CMainBackground::OwnGroup(*this, group);
    if (!g) return SetError(kUnknownGroup, engine_text::kUnknownGroup);
    g->RemoveAllVariables();
    if (g->cycleMs > 0) CMainBackground::ReRegisterCyclicGroups(*this);
    return 0;
}

void CMain::GroupCallback(uint32_t, uint32_t, void* context) {
    auto* record = static_cast<CGroupBridge*>(context);
    if (!record || !record->notifyWindow) return;
    for (auto& v : record->variables) {
        CCellHolder* holder = v->holder;
        if (!holder) continue;
        holder->status = v->resultWord != 0 ? CCellHolder::kReadError : CCellHolder::kValid;
        if (holder->reportWord == 0) continue;
        // The holder's value is one 32-bit word: never compare or copy past it.
        const size_t n = std::min<size_t>({v->size, v->copy.size(), sizeof holder->value});
        const bool changed = std::memcmp(&holder->value, v->copy.data(), n) != 0;
        if (!changed && !v->first) continue;
        // The first report records the value too, so that the next callback reports only a change.
        std::memcpy(v->copy.data(), &holder->value, n);
        v->first = 0;
        platform::PostMessage(record->notifyWindow, record->notifyMessage,
                              reinterpret_cast<std::uintptr_t>(holder), 0);
    }
}

// ---- once-execution --------------------------------------------------------------------------

int CMainBackground::ExecuteGroupOnce(CMain& m, CGroup& group) {
    if (group.Variables().empty()) return 0;
    CChannel* channel = m.Channel(m.currentChannel_);
    const int type = channel ? channel->type : channel_type::kOffline;
    CNodo* node = FindNodeQuiet(m, m.currentNodeId_, m.currentChannel_);
    CVocabolario* vocabulary = node ? m.Vocabulary(node->vocabularyIndex) : nullptr;
    bool wordOrder = false;
    bool simulated = true;
    if (node && node->Lock()) {
        wordOrder = node->wordOrder != 0;
        simulated = node->simulated != 0;
        node->Unlock();
    }
    const bool pack = node && !simulated && (type == channel_type::kSerial || type == channel_type::kBox) &&
                      vocabulary && vocabulary->compact != 0;

    std::vector<COggettoGruppo> blocks;
    std::vector<_Variable*> reads;
    std::vector<_Variable*> writes;
    for (_Variable& v : group.Variables()) {
        if (!v.used) continue;
        if (pack && v.item.size >= 1 && v.item.size <= 4) {
            (v.IsWrite() ? writes : reads).push_back(&v);
            continue;
        }
        COggettoGruppo single;
        single.address = v.item.modbusAddress;
        single.size = static_cast<uint8_t>(std::min<uint32_t>(v.item.size, 255));
        single.write = v.IsWrite() ? 1 : 0;
        single.variables.push_back(&v);
        blocks.push_back(std::move(single));
    }
    auto byAddress = [](const _Variable* a, const _Variable* b) {
        return a->item.modbusAddress < b->item.modbusAddress;
    };
    for (int w = 0; w < 2; ++w) {
        std::vector<_Variable*>& list = w ? writes : reads;
        std::stable_sort(list.begin(), list.end(), byAddress);
        std::vector<RunCandidate> candidates;
        for (const _Variable* v : list) candidates.push_back({v->item.modbusAddress, v->item.size});
        const unsigned cap = w ? kMaxWriteRunRegisters : kMaxReadRunRegisters;
        const unsigned maxRegisters = vocabulary ? std::min<unsigned>(vocabulary->compact / 2, cap) : 0;
        for (const RunSpan& span : FormRegisterRuns(candidates, maxRegisters, w != 0, vocabulary)) {
            COggettoGruppo run;
            run.address = span.address;
            run.size = static_cast<uint8_t>(std::min<unsigned>(span.registers * 2u, 255));
            run.write = static_cast<uint8_t>(w);
            run.run = true;
            for (size_t i = span.first; i <= span.last; ++i) run.variables.push_back(list[i]);
            blocks.push_back(std::move(run));
        }
    }

    const std::string modbusError = m.ModbusErrorName();
    for (COggettoGruppo& block : blocks) {
        if (!block.run) {
            _Variable& v = *block.variables.front();
            const uint32_t itemSize = v.item.size;
            if (itemSize >= 1 && itemSize <= 4) {
                const uint32_t n = ValueBytes(v.size);
                uint32_t word = 0;
                int rc;
                if (v.IsWrite()) {
                    if (v.value) std::memcpy(&word, v.value, n);
                    rc = m.WriteCell(v.item.name, &word);
                } else {
                    rc = m.ReadCell(v.item.name, &word);
                    if (rc == 0 && v.value) std::memcpy(v.value, &word, n);
                }
                int32_t result = rc;
                if (IsModbusErrorCode(rc, v.IsWrite())) {
                    uint32_t detail = 0;
                    if (m.ReadCell(modbusError, &detail) == 0) result = static_cast<int32_t>(detail);
                }
                StoreResult(v.result, result);
                if (v.extra) *v.extra = v.size;
            } else {
                uint32_t count = v.size;
                if (itemSize > 4 && itemSize < count) count = itemSize;
                int rc;
                if (v.IsWrite()) {
                    rc = m.DownloadCell(v.item.name, v.value, count);
                } else {
                    rc = m.UploadCell(v.item.name, v.value, &count);
                    if (v.extra) *v.extra = count;
                }
                StoreResult(v.result, rc);
            }
            continue;
        }

        uint8_t buffer[256] = {};
        int rc;
        if (!block.write) {
            rc = m.ReadModbusBytes(block.address, block.size, buffer, m.currentNodeId_, m.currentChannel_);
            if (rc == 0) {
                for (_Variable* v : block.variables) {
                    if (!v->value) continue;
                    const uint32_t itemSize = v->item.size;
                    const size_t offset = static_cast<size_t>(v->item.modbusAddress - block.address) * 2;
                    if (offset + itemSize > block.size) continue;
                    uint8_t* at = buffer + offset;
                    if (itemSize == 4 && wordOrder)
                        StoreLittleEndian(at, 4, SwapHalves(LoadLittleEndian(at, 4)));
                    const uint32_t raw = LoadLittleEndian(at, itemSize);
                    const bool sign = v->item.Sign() != 0;
                    std::memset(v->value, 0, v->size);
                    auto* out = static_cast<uint8_t*>(v->value);
                    if (v->size == 1) {
                        out[0] = at[0];
                    } else if (v->size == 2) {
                        StoreLittleEndian(out, 2, itemSize == 1 ? ExtendValue(raw, 1, sign) : raw);
                    } else if (v->size == 4) {
                        StoreLittleEndian(out, 4, itemSize <= 2 ? ExtendValue(raw, itemSize, sign) : raw);
                    }
                }
            }
        } else {
            for (_Variable* v : block.variables) {
                const uint32_t itemSize = v->item.size;
                const size_t offset = static_cast<size_t>(v->item.modbusAddress - block.address) * 2;
                if (offset + itemSize > block.size || !v->value) continue;
                const uint32_t held =
                    LoadLittleEndian(static_cast<const uint8_t*>(v->value), std::min<uint32_t>(v->size, 4));
                const bool sign = v->item.Sign() != 0;
                uint32_t placed = held;
                if (itemSize == 2 && v->size == 1) placed = ExtendValue(held, 1, sign);
                if (itemSize == 4 && (v->size == 1 || v->size == 2))
                    placed = ExtendValue(held, v->size, sign);
                // Same register order as a single write of the item.
                if (itemSize == 4 && wordOrder) placed = SwapHalves(placed);
                StoreLittleEndian(buffer + offset, itemSize, placed);
            }
            rc = m.WriteModbusBytes(block.address, block.size, buffer);
        }
        for (_Variable* v : block.variables) {
            StoreResult(v->result, rc);
            if (v->extra) *v->extra = v->item.size;
        }
    }
    return 0;
}

}  // namespace engine
