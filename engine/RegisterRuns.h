#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace engine {

class CVocabolario;

// Packing of neighbouring variables into single Modbus transactions, shared by the once-execution
// of groups and the cyclic reading thread.

// One function 3 reads at most 125 registers and one function 16 writes at most 123.
constexpr unsigned kMaxReadRunRegisters = 125;
constexpr unsigned kMaxWriteRunRegisters = 123;

struct RunCandidate {
    uint16_t address = 0;
    uint32_t size = 0;  // bytes, 1 to 4
};

// Candidates first..last (inclusive, in sorted order) form one transaction.
struct RunSpan {
    size_t first = 0;
    size_t last = 0;
    uint16_t address = 0;
    uint16_t registers = 0;
};

// Forms runs over candidates sorted by address. A candidate joins while the run, extended to the
// candidate's end, stays within maxRegisters; a read run bridges a gap only across readable items
// of the vocabulary, a write run takes only the writable item that starts exactly at its end.
std::vector<RunSpan> FormRegisterRuns(const std::vector<RunCandidate>& sorted, unsigned maxRegisters,
                                      bool write, const CVocabolario* vocabulary);

// Little-endian value of 1 to 4 bytes, and the reverse.
uint32_t LoadLittleEndian(const uint8_t* bytes, uint32_t size);
void StoreLittleEndian(uint8_t* bytes, uint32_t size, uint32_t value);
// The low size bytes of value, sign-extended when sign is set (sizes 1 and 2; others unchanged).
uint32_t ExtendValue(uint32_t value, uint32_t size, bool sign);
inline uint32_t SwapHalves(uint32_t value) {
    return (value << 16) | (value >> 16);
}

}  // namespace engine
