#include "engine/WatchList.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace engine {

namespace {

constexpr uint32_t kSpinSleepMs = 6;
constexpr uint32_t kWaitStepMs = 5;
constexpr uint32_t kNextLimitMs = 30;
constexpr uint32_t kWriteLimitMs = 2000;
constexpr uint32_t kRequestLimitMs = 2000;
constexpr uint32_t kRequestHeader = 12;

using Clock = std::chrono::steady_clock;

uint32_t Since(Clock::time_point start) {
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

void Sleep(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Copies n (1, 2 or 4) bytes in the drive's order into a native value and back.
uint32_t Load(const uint8_t* p, uint32_t n, bool bigEndian) {
    uint32_t v = 0;
    for (uint32_t i = 0; i < n; ++i) v |= static_cast<uint32_t>(p[bigEndian ? n - 1 - i : i]) << (8 * i);
    return v;
}

void Store(uint8_t* p, uint32_t v, uint32_t n, bool bigEndian) {
    for (uint32_t i = 0; i < n; ++i) p[bigEndian ? n - 1 - i : i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t NativeValue(const void* value, uint32_t size) {
    switch (size) {
        case 1:
            return *static_cast<const uint8_t*>(value);
        case 2:
            return *static_cast<const uint16_t*>(value);
        case 4:
            return *static_cast<const uint32_t*>(value);
        default:
            return 0;
    }
}

void SetNative(void* value, uint32_t size, uint32_t v) {
    switch (size) {
        case 1:
            *static_cast<uint8_t*>(value) = static_cast<uint8_t>(v);
            break;
        case 2:
            *static_cast<uint16_t*>(value) = static_cast<uint16_t>(v);
            break;
        case 4:
            *static_cast<uint32_t*>(value) = v;
            break;
        default:
            break;
    }
}

}  // namespace

bool CWatchList::TakeSpin(uint32_t limitMs, uint32_t& elapsedMs) {
    const auto start = Clock::now();
    for (int expected = 0; !spin_.compare_exchange_weak(expected, 1); expected = 0) {
        if (Since(start) >= limitMs) return false;
        Sleep(kSpinSleepMs);
    }
    elapsedMs = Since(start);
    return true;
}

bool CWatchList::LockRead(uint32_t limitMs) {
    if (limitMs == 0) return true;
    const auto start = Clock::now();
    uint32_t elapsed = 0;
    if (!TakeSpin(limitMs, elapsed)) return true;
    while (writer_.load() != 0) {
        if (Since(start) >= limitMs) {
            spin_.exchange(0);
            return true;
        }
        Sleep(kWaitStepMs);
    }
    readers_.fetch_add(1);
    spin_.exchange(0);
    return false;
}

void CWatchList::UnlockRead() {
    if (readers_.load() > 0) readers_.fetch_sub(1);
}

bool CWatchList::LockWrite() {
    const auto start = Clock::now();
    uint32_t elapsed = 0;
    if (!TakeSpin(kWriteLimitMs, elapsed)) return true;
    while (readers_.load() != 0 || writer_.load() != 0) {
        if (Since(start) >= kWriteLimitMs) {
            spin_.exchange(0);
            return true;
        }
        Sleep(kWaitStepMs);
    }
    writer_.store(1);
    readers_.store(0);
    spin_.exchange(0);
    return false;
}

void CWatchList::UnlockWrite() {
    if (writer_.load() > 0) writer_.fetch_sub(1);
}

int CWatchList::GetNext(uint16_t* address, uint32_t* offset, uint32_t* size, int* state, void* data,
                        uint32_t dataCapacity) {
    if (LockRead(kNextLimitMs)) return -1;
    if (cursor < 0 || static_cast<size_t>(cursor) >= entries.size()) {
        UnlockRead();
        return -2;
    }
    const CWatchEntry& e = entries[static_cast<size_t>(cursor++)];
    const CWatchVariable empty;
    const CWatchVariable& v = e.variable ? *e.variable : empty;
    if (address) *address = v.address;
    if (offset) *offset = v.offset;
    if (size) *size = v.size;
    if (state) *state = e.state;
    if (e.state == CWatchEntry::kWritePending && data && e.value)
        std::memcpy(data, e.value, std::min(v.size, dataCapacity));
    UnlockRead();
    return 0;
}

uint32_t CWatchList::BuildRequest(const uint8_t** buffer) {
    if (LockRead(kRequestLimitMs)) return 0;
    *buffer = nullptr;
    requestSize_ = 0;
    for (CWatchEntry& e : entries) {
        if (e.state != CWatchEntry::kWritePending || !e.variable) continue;
        const CWatchVariable& v = *e.variable;
        const uint32_t total = v.size + kRequestHeader;
        if (request_.size() < total) request_.resize(total);
        std::memset(request_.data(), 0, total);  // sizes other than 1, 2 and 4 send zero bytes
        uint8_t* r = request_.data();
        Store(r, v.offset, 4, bigEndian);
        Store(r + 4, v.size, 4, bigEndian);
        Store(r + 8, v.address, 2, bigEndian);
        r[10] = v.bit;
        r[11] = 1;
        if ((v.size == 1 || v.size == 2 || v.size == 4) && e.value)
            Store(r + kRequestHeader, NativeValue(e.value, v.size), v.size, bigEndian);
        e.state = CWatchEntry::kFresh;
        requestSize_ = total;
        *buffer = request_.data();
        break;
    }
    UnlockRead();
    return requestSize_;
}

bool CWatchList::CopyItemTable(std::vector<uint8_t>& out, uint32_t limitMs) {
    out.clear();
    if (LockRead(limitMs)) return false;
    out.assign(blocks.size() * kRequestHeader, 0);
    for (size_t i = 0; i < blocks.size(); ++i) {
        const CWatchBlock& b = blocks[i];
        uint16_t area = 0;
        for (size_t index : b.entries)
            if (index < entries.size() && entries[index].variable) {
                area = entries[index].variable->address;
                break;
            }
        uint8_t* item = out.data() + i * kRequestHeader;
        Store(item, b.base, 4, bigEndian);
        Store(item + 4, b.length, 4, bigEndian);
        Store(item + 8, area, 2, bigEndian);
        item[11] = i + 1 == blocks.size() ? 1 : 0;
    }
    UnlockRead();
    return true;
}

void CWatchList::Update(const uint8_t* data, uint32_t length, bool skip) {
    if (LockWrite()) return;
    if (cursor < 0) {
        UnlockWrite();
        return;
    }
    size_t reached = 0;
    if (!skip && data) {
        uint64_t used = 0;
        for (; reached < blocks.size(); ++reached) {
            const CWatchBlock& b = blocks[reached];
            if (used + b.length > length) break;
            const uint8_t* part = data + used;
            for (size_t index : b.entries) {
                if (index >= entries.size()) continue;
                CWatchEntry& e = entries[index];
                if (e.state == CWatchEntry::kLeftAlone || e.state == CWatchEntry::kWritePending) continue;
                const CWatchVariable* v = e.variable;
                // An entry that does not lie inside its block's bytes gets no value from them.
                if (!v || !e.value || v->offset < b.base || v->offset - b.base > b.length ||
                    v->size > b.length - (v->offset - b.base) ||
                    !(v->size == 1 || v->size == 2 || v->size == 4)) {
                    e.state = CWatchEntry::kNotUpdated;
                    continue;
                }
                const uint8_t* at = part + (v->offset - b.base);
                uint32_t value = Load(at, v->size, bigEndian);
                if (v->size == 1 && v->bit < 8) value = (value >> v->bit) & 1u;
                SetNative(e.value, v->size, value);
                e.state = CWatchEntry::kFresh;
            }
            used += b.length;
        }
    }
    // A write still waiting to be sent is never dropped by a short upload.
    for (size_t i = skip ? 0 : reached; i < blocks.size(); ++i)
        for (size_t index : blocks[i].entries)
            if (index < entries.size() && entries[index].state != CWatchEntry::kLeftAlone &&
                entries[index].state != CWatchEntry::kWritePending)
                entries[index].state = CWatchEntry::kNotUpdated;
    UnlockWrite();
}

}  // namespace engine
