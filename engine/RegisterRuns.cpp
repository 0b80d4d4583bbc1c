#include "engine/RegisterRuns.h"

#include <algorithm>

#include "engine/Vocabolario.h"

namespace engine {

namespace {

uint32_t Registers(uint32_t size) {
    return (size + 1) / 2;
}

// Every register from `from` up to `to` is described by a readable item with a Modbus address.
bool GapReadable(const CVocabolario& vocabulary, uint32_t from, uint32_t to) {
    uint32_t r = from;
    while (r < to) {
        if (r > 0xFFFF) return false;
        const VocabularyItem* item = vocabulary.FindItemByModbusAddress(static_cast<uint16_t>(r));
        if (!item || !item->IsReadable() || !item->HasModbusAddress() || item->size == 0) return false;
        r += Registers(item->size);
    }
    return true;
}

bool WritableAt(const CVocabolario& vocabulary, uint32_t address) {
    if (address > 0xFFFF) return false;
    const VocabularyItem* item = vocabulary.FindItemByModbusAddress(static_cast<uint16_t>(address));
    return item && item->IsWritable() && item->HasModbusAddress() && item->size != 0;
}

}  // namespace

std::vector<RunSpan> FormRegisterRuns(const std::vector<RunCandidate>& sorted, unsigned maxRegisters,
                                      bool write, const CVocabolario* vocabulary) {
    std::vector<RunSpan> runs;
    if (sorted.empty()) return runs;
    RunSpan run;
    uint32_t end = 0;
    auto start = [&](size_t i) {
        run.first = run.last = i;
        run.address = sorted[i].address;
        end = sorted[i].address + Registers(sorted[i].size);
    };
    auto close = [&] {
        run.registers = static_cast<uint16_t>(end - run.address);
        runs.push_back(run);
    };
    start(0);
    for (size_t i = 1; i < sorted.size(); ++i) {
        const RunCandidate& c = sorted[i];
        const uint32_t candidateEnd = c.address + Registers(c.size);
        const uint32_t newEnd = std::max(end, candidateEnd);
        bool joins = newEnd - run.address <= maxRegisters && vocabulary != nullptr;
        if (joins) {
            if (write)
                joins = c.address == end && WritableAt(*vocabulary, c.address);
            else
                joins = c.address <= end || GapReadable(*vocabulary, end, c.address);
        }
        if (joins) {
            run.last = i;
            end = newEnd;
        } else {
            close();
            start(i);
        }
    }
    close();
    return runs;
}

uint32_t LoadLittleEndian(const uint8_t* bytes, uint32_t size) {
    uint32_t value = 0;
    for (uint32_t i = 0; i < size && i < 4; ++i) value |= static_cast<uint32_t>(bytes[i]) << (8 * i);
    return value;
}

void StoreLittleEndian(uint8_t* bytes, uint32_t size, uint32_t value) {
    for (uint32_t i = 0; i < size && i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t ExtendValue(uint32_t value, uint32_t size, bool sign) {
    if (size == 1) {
        value &= 0xFF;
        if (sign) value = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(value)));
    } else if (size == 2) {
        value &= 0xFFFF;
        if (sign) value = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(value)));
    }
    return value;
}

}  // namespace engine
