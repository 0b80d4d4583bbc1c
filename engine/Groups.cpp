#include <algorithm>
#include <cstring>
#include <set>

#include "engine/CyclicThread.h"
#include "engine/EngineCodes.h"
#include "engine/EngineLog.h"
#include "engine/GroupChannel.h"
#include "engine/Groups.h"
#include "engine/Main.h"
#include "engine/MainBackground.h"
#include "engine/NodeLock.h"
#include "engine/RegisterRuns.h"
#include "engine/Vocabolario.h"
#include "transport/BridgeVkr.h"
#include "transport/TwincatAds.h"

namespace engine {

using namespace engine_code;

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

}  // namespace

CGroups::CGroups(CMain& engine, CCyclicThread& cyclic) : engine_(engine), cyclic_(cyclic) {}

// The current channel's record for a group operation; "wrong channel" when there is none.
int CGroups::CurrentGroupChannel(CChannel*& channel) {
    const int index = engine_.CurrentChannel();
    if (index < 0 || index >= engine_.ChannelCount())
        return engine_.SetError(kWrongChannel, engine_text::kWrongChannel);
    channel = engine_.Channel(index);
    return 0;
}

namespace {

CGroupChannel* GroupDriver(CChannel* channel) {
    if (!channel || !channel->driver) return nullptr;
    return dynamic_cast<CGroupChannel*>(channel->driver.get());
}

}  // namespace

CGroup* CGroups::OwnGroup(int group) {
    if (group < 0 || static_cast<size_t>(group) >= groups_.size()) return nullptr;
    return groups_[group].get();
}

int CGroups::ReRegisterCyclicGroups() {
    CCyclicThread::CEdit edit = cyclic_.Edit();
    if (!edit.Paused()) return engine_.SetError(kCyclicNotPaused, engine_text::kCyclicNotPaused);
    edit.FreeItems();
    for (auto& g : groups_)
        if (g && g->cycleMs > 0) edit.AddGroup(*g, engine_.CurrentNodeId(), engine_.CurrentChannel());
    edit.Start();
    return 0;
}

// ---- groups ----------------------------------------------------------------------------------

int CGroups::Create(platform::WindowHandle window, unsigned message) {
    std::lock_guard lock(mutex_);
    return CreateLocked(window, message);
}

int CGroups::CreateLocked(platform::WindowHandle window, unsigned message) {
    CChannel* channel = nullptr;
    if (const int rc = CurrentGroupChannel(channel); rc != 0) return rc;
    const Kind kind = KindOf(channel);
    const uint32_t address = engine_.CurrentNodeAddress();
    if (kind != Kind::Own) {
        CGroupChannel* driver = GroupDriver(channel);
        if (!driver) return kind == Kind::Bridge ? 0 : Unavailable(kind);
        if (kind != Kind::Library) return driver->GroupCreate(address, window, message, nullptr, nullptr);
        auto record = std::make_unique<CGroupBridge>(window, message);
        const int id = driver->GroupCreate(address, window, message, &CGroups::Callback, record.get());
        if (id < 0) return id;
        bridges_[GroupBridgeKey(id, address)] = std::move(record);
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

CGroupBridge* CGroups::FindBridge(int group) {
    std::lock_guard lock(mutex_);
    return FindBridgeLocked(group);
}

CGroupBridge* CGroups::FindBridgeLocked(int group) {
    auto it = bridges_.find(GroupBridgeKey(group, engine_.CurrentNodeAddress()));
    return it == bridges_.end() ? nullptr : it->second.get();
}

bool CGroups::Exists(int group) {
    std::lock_guard lock(mutex_);
    return OwnGroup(group) != nullptr;
}

int CGroups::Default() const {
    std::lock_guard lock(mutex_);
    return defaultGroup_;
}

int CGroups::Stop(int group) {
    std::lock_guard lock(mutex_);
    return StopLocked(group);
}

int CGroups::StopLocked(int group) {
    CChannel* channel = nullptr;
    if (const int rc = CurrentGroupChannel(channel); rc != 0) return rc;
    const Kind kind = KindOf(channel);
    if (kind != Kind::Own) {
        CGroupChannel* driver = GroupDriver(channel);
        if (!driver) return kind == Kind::Bridge ? 0 : Unavailable(kind);
        const int rc = driver->GroupStop(group);
        // The bridge answers 0 whatever happened; the library and ADS tell an unknown group.
        return kind == Kind::Bridge ? 0 : rc;
    }
    CGroup* g = OwnGroup(group);
    if (!g) return engine_.SetError(kUnknownGroup, engine_text::kUnknownGroup);
    g->cycleMs = 0;
    return ReRegisterCyclicGroups();
}

int CGroups::Remove(int group) {
    std::lock_guard lock(mutex_);
    const int stopped = StopLocked(group);
    if (stopped != 0) return stopped;
    CChannel* channel = engine_.Channel(engine_.CurrentChannel());
    const Kind kind = KindOf(channel);
    if (kind == Kind::Own) {
        groups_[group].reset();
        return 0;
    }
    CGroupChannel* driver = GroupDriver(channel);
    if (!driver) return 0;
    const int rc = driver->GroupRemove(group);
    if (kind != Kind::Library) return 0;
    bridges_.erase(GroupBridgeKey(group, engine_.CurrentNodeAddress()));
    return rc;
}

int CGroups::RemoveAll() {
    std::lock_guard lock(mutex_);
    CChannel* channel = nullptr;
    if (const int rc = CurrentGroupChannel(channel); rc != 0) return rc;
    const Kind kind = KindOf(channel);
    if (kind == Kind::Own) {
        cyclic_.Stop();
        groups_.clear();
    } else if (CGroupChannel* driver = GroupDriver(channel)) {
        driver->GroupRemoveAll();
        if (kind == Kind::Library) bridges_.clear();
    }
    defaultGroup_ = -1;
    return 0;
}

int CGroups::Execute(int group, int cyclic, int32_t cycleMs) {
    std::lock_guard lock(mutex_);
    CChannel* channel = nullptr;
    if (const int rc = CurrentGroupChannel(channel); rc != 0) return rc;
    const Kind kind = KindOf(channel);
    if (kind != Kind::Own) {
        CGroupChannel* driver = GroupDriver(channel);
        if (!driver) return Unavailable(kind);
        // These channels take the cycle as given; their own threads decide what a cycle of 0 means.
        return driver->GroupExecute(engine_.CurrentNodeAddress(), group, cycleMs);
    }
    CGroup* g = OwnGroup(group);
    if (!g) return engine_.SetError(kUnknownGroup, engine_text::kUnknownGroup);
    if (!cyclic) return ExecuteGroupOnce(*g);
    // The table may only change while the thread stands still.
    CCyclicThread::CEdit edit = cyclic_.Edit();
    if (!edit.Paused()) return engine_.SetError(kCyclicNotPaused, engine_text::kCyclicNotPaused);
    g->cycleMs = std::max<int32_t>(cycleMs, 0);
    edit.AddGroup(*g, engine_.CurrentNodeId(), engine_.CurrentChannel());
    edit.Start();
    return 0;
}

int CGroups::ExecuteOnce(int group) {
    std::lock_guard lock(mutex_);
    return ExecuteOnceLocked(group);
}

int CGroups::ExecuteOnceLocked(int group) {
    CChannel* channel = nullptr;
    if (const int rc = CurrentGroupChannel(channel); rc != 0) return rc;
    const Kind kind = KindOf(channel);
    if (kind != Kind::Own) {
        if (group == -1 && kind != Kind::Ads) return 0;
        CGroupChannel* driver = GroupDriver(channel);
        if (!driver) return Unavailable(kind);
        return driver->GroupExecuteOnce(engine_.CurrentNodeAddress(), group);
    }
    CGroup* g = OwnGroup(group);
    if (!g) return 0;
    return ExecuteGroupOnce(*g);
}

int CGroups::ExecuteDefault() {
    std::lock_guard lock(mutex_);
    const int rc = ExecuteOnceLocked(defaultGroup_);
    ClearLocked(&defaultGroup_);
    return rc;
}

int CGroups::Clear(int* group) {
    std::lock_guard lock(mutex_);
    return ClearLocked(group);
}

int CGroups::ClearLocked(int* group) {
    CChannel* channel = nullptr;
    if (const int rc = CurrentGroupChannel(channel); rc != 0) return rc;
    const Kind kind = KindOf(channel);
    if (kind != Kind::Own) {
        if (kind == Kind::Library && *group == -1) return 0;
        CGroupChannel* driver = GroupDriver(channel);
        if (!driver) return kind == Kind::Library ? Unavailable(kind) : 0;
        const int before = *group;
        const int rc = driver->GroupClear(group);
        if (kind == Kind::Library) {
            auto it = bridges_.find(GroupBridgeKey(before, engine_.CurrentNodeAddress()));
            if (it != bridges_.end()) it->second->variables.clear();
        }
        return rc;
    }
    CGroup* g = OwnGroup(*group);
    if (!g) return 0;
    g->RemoveAllVariables();
    // The thread must not go on filling memory the caller now takes back.
    if (g->cycleMs > 0) ReRegisterCyclicGroups();
    return 0;
}

// ---- variables -------------------------------------------------------------------------------

int CGroups::VariableAdd(int* group, const std::string& name, int direction, void* value, int32_t size,
                         void* result, uint32_t* extra) {
    std::lock_guard lock(mutex_);
    auto fail = [&](int code) {
        StoreResult(result, code);
        return code;
    };
    CChannel* channel = nullptr;
    if (const int rc = CurrentGroupChannel(channel); rc != 0) return fail(rc);
    const int type = channel ? channel->type : channel_type::kOffline;
    CNodo* node = engine_.FindNodeByAddressQuiet(engine_.CurrentNodeAddress(), engine_.CurrentChannel());
    if (!node) return fail(engine_.SetError(kNodeNotFound, engine_text::kNodeNotFound));
    const VocabularyItem* found = engine_.FindItem(*node, name, type);
    if (!found) return fail(engine_.SetError(kCellNotFound, engine_text::kCellNotFound));
    const VocabularyItem item = *found;
    if (direction == 1 ? !item.IsWritable() : !item.IsReadable()) {
        const bool write = direction == 1;
        engine_.SetError(write ? kNotWritable : kNotReadable,
                         write ? engine_text::kNotWritable : engine_text::kNotReadable);
        EngineDebugLog(engine_.ErrorText() + ": " + name);
        return fail(write ? kNotWritable : kNotReadable);
    }
    const Kind kind = KindOf(channel);
    if (kind != Kind::Own) {
        CGroupChannel* driver = GroupDriver(channel);
        if (!driver) return fail(Unavailable(kind));
        uint32_t flags = 0;
        int32_t handed = size;
        if (kind == Kind::Library && size < 0) {
            flags = 0x80000000u | item.size | (item.Sign() != 0 ? 0x40000000u : 0);
        } else {
            handed = static_cast<int32_t>(EffectiveSize(item, Low24(size)));
        }
        return driver->VariableAdd(engine_.CurrentNodeAddress(), group, item, direction, value, handed, flags,
                                   result, extra);
    }
    if (!OwnGroup(*group)) *group = CreateLocked(0, 0);
    CGroup* g = OwnGroup(*group);
    if (!g) return fail(-1);
    const int id = g->AddVariable(item, direction, value, Low24(size), result, false, extra);
    if (id < 0) return fail(id);
    return id;
}

int CGroups::AddCell(int group, const std::string& name, int direction, void* value, int32_t size,
                     CCellHolder* holder, Variant variant) {
    std::lock_guard lock(mutex_);
    CChannel* channel = nullptr;
    if (const int rc = CurrentGroupChannel(channel); rc != 0) return rc;
    const int type = channel ? channel->type : channel_type::kOffline;
    const int slot = engine_.FindNode(engine_.CurrentNodeId(), engine_.CurrentChannel());
    if (slot < 0) return slot;
    const VocabularyItem* found = engine_.FindItem(*engine_.Node(slot), name, type);
    if (!found) return engine_.SetError(kCellNotFound, engine_text::kCellNotFound);
    const VocabularyItem item = *found;
    const Kind kind = KindOf(channel);

    uint32_t effective = 0;
    switch (variant) {
        case CGroups::kReadHolder:
            effective = item.size == 0 || item.Sign() >= 2 ? 4 : std::min<uint32_t>(item.size, 4);
            break;
        case CGroups::kPlainCell:
            effective = EffectiveSize(item, Low24(size));
            break;
        case CGroups::kValueHolder:
            effective = Low24(size);
            break;
    }
    if (kind == Kind::Own && variant != kReadHolder && Low24(size) > 4)
        return engine_.SetError(kOnlyViaBridge, engine_text::kOnlyViaBridge);
    // A holder's value is one 32-bit word: nothing longer may be written into it.
    if (holder && effective > 4) return engine_.SetError(kOnlyViaBridge, engine_text::kHolderTooSmall);

    void* target = holder ? static_cast<void*>(&holder->value) : value;
    if (kind == Kind::Own) {
        CGroup* g = OwnGroup(group);
        if (!g) return engine_.SetError(kUnknownGroup, engine_text::kUnknownGroup);
        // A holder takes the whole widened word: kept at the source size, a signed value
        // would lose its sign bits above it.
        const uint32_t kept = variant == kPlainCell ? Low24(size) : 4;
        return g->AddVariable(item, direction, target, kept, holder, holder != nullptr, nullptr);
    }
    CGroupChannel* driver = GroupDriver(channel);
    if (!driver) return Unavailable(kind);
    if (kind != Kind::Library)
        return driver->GroupAddItem(engine_.CurrentNodeAddress(), group, item, direction, target, effective,
                                    holder, nullptr);
    CGroupBridge* bridge = FindBridgeLocked(group);
    if (!bridge) return engine_.SetError(kUnknownGroup, engine_text::kUnknownGroup);
    if (direction == 1 ? !item.IsWritable() : !item.IsReadable())
        return direction == 1 ? engine_.SetError(kNotWritable, engine_text::kNotWritable)
                              : engine_.SetError(kNotReadable, engine_text::kNotReadable);
    auto record = std::make_unique<CVariableBridge>(effective);
    record->holder = holder;
    record->value = holder ? nullptr : value;
    const int id = driver->GroupAddItem(engine_.CurrentNodeAddress(), group, item, direction, target,
                                        effective, holder, &record->resultWord);
    if (id < 0) return id;
    record->id = id;
    bridge->variables.push_back(std::move(record));
    return id;
}

int CGroups::VariableRemove(int group, int variable) {
    std::lock_guard lock(mutex_);
    CChannel* channel = nullptr;
    if (const int rc = CurrentGroupChannel(channel); rc != 0) return rc;
    const Kind kind = KindOf(channel);
    if (kind != Kind::Own) {
        CGroupChannel* driver = GroupDriver(channel);
        if (kind == Kind::Library) {
            CGroupBridge* bridge = FindBridgeLocked(group);
            if (!bridge) return engine_.SetError(kUnknownGroup, engine_text::kUnknownGroup);
            auto& vars = bridge->variables;
            vars.erase(std::remove_if(vars.begin(), vars.end(), [&](auto& v) { return v->id == variable; }),
                       vars.end());
            return driver ? driver->VariableRemove(group, variable) : Unavailable(kind);
        }
        if (driver) driver->VariableRemove(group, variable);
        return 0;
    }
    CGroup* g = OwnGroup(group);
    if (!g) return engine_.SetError(kUnknownGroup, engine_text::kUnknownGroup);
    if (g->RemoveVariable(variable) && g->cycleMs > 0) ReRegisterCyclicGroups();
    return 0;
}

int CGroups::VariableRemoveAll(int group) {
    std::lock_guard lock(mutex_);
    CChannel* channel = nullptr;
    if (const int rc = CurrentGroupChannel(channel); rc != 0) return rc;
    const Kind kind = KindOf(channel);
    if (kind != Kind::Own) {
        CGroupChannel* driver = GroupDriver(channel);
        if (kind == Kind::Library) {
            CGroupBridge* bridge = FindBridgeLocked(group);
            if (!bridge) return engine_.SetError(kUnknownGroup, engine_text::kUnknownGroup);
            bridge->variables.clear();
        }
        if (!driver) return kind == Kind::Library ? Unavailable(kind) : 0;
        const int rc = driver->VariableRemoveAll(group);
        return kind == Kind::Ads ? 0 : rc;
    }
    CGroup* g = OwnGroup(group);
    if (!g) return engine_.SetError(kUnknownGroup, engine_text::kUnknownGroup);
    g->RemoveAllVariables();
    if (g->cycleMs > 0) ReRegisterCyclicGroups();
    return 0;
}

void CGroups::Callback(uint32_t, uint32_t, void* context) {
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

void CGroups::Describe(std::string& text, bool& duplicated) const {
    std::lock_guard lock(mutex_);
    std::set<uint16_t> cells;
    std::set<const void*> memory;
    for (size_t g = 0; g < groups_.size(); ++g) {
        if (!groups_[g]) continue;
        text += EngineFormat("\r\nGroup %zu, cyclic = %d ms\r\n", g, groups_[g]->cycleMs);
        for (const _Variable& v : groups_[g]->Variables()) {
            if (!v.used) continue;
            text += EngineFormat("%-30s (%4d,%d,%d): %p, %d, %d", v.item.name.c_str(), v.item.modbusAddress,
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
}

// ---- once-execution --------------------------------------------------------------------------

int CGroups::ExecuteGroupOnce(CGroup& group) {
    if (group.Variables().empty()) return 0;
    const int current = engine_.CurrentChannel();
    const uint8_t currentNode = engine_.CurrentNodeId();
    CChannel* channel = engine_.Channel(current);
    const int type = channel ? channel->type : channel_type::kOffline;
    CNodo* node = engine_.FindNodeQuiet(currentNode, current);
    CVocabolario* vocabulary = node ? engine_.Vocabulary(node->vocabularyIndex) : nullptr;
    bool wordOrder = false;
    bool simulated = true;
    if (const CNodeLock held = node ? CNodeLock(*node) : CNodeLock()) {
        wordOrder = held->wordOrder != 0;
        simulated = held->simulated != 0;
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

    const std::string modbusError = engine_.ModbusErrorName();
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
                    rc = engine_.WriteCell(v.item.name, &word);
                } else {
                    rc = engine_.ReadCell(v.item.name, &word);
                    if (rc == 0 && v.value) std::memcpy(v.value, &word, n);
                }
                int32_t result = rc;
                if (IsModbusErrorCode(rc, v.IsWrite())) {
                    uint32_t detail = 0;
                    if (engine_.ReadCell(modbusError, &detail) == 0) result = static_cast<int32_t>(detail);
                }
                StoreResult(v.result, result);
                if (v.extra) *v.extra = v.size;
            } else {
                uint32_t count = v.size;
                if (itemSize > 4 && itemSize < count) count = itemSize;
                int rc;
                if (v.IsWrite()) {
                    rc = engine_.DownloadCell(v.item.name, v.value, count);
                } else {
                    rc = engine_.UploadCell(v.item.name, v.value, &count);
                    if (v.extra) *v.extra = count;
                }
                StoreResult(v.result, rc);
            }
            continue;
        }

        uint8_t buffer[256] = {};
        int rc;
        if (!block.write) {
            rc = engine_.ReadModbusBytes(block.address, block.size, buffer, currentNode, current);
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
            rc = engine_.WriteModbusBytes(block.address, block.size, buffer);
        }
        for (_Variable* v : block.variables) {
            StoreResult(v->result, rc);
            if (v->extra) *v->extra = v->item.size;
        }
    }
    return 0;
}

}  // namespace engine
