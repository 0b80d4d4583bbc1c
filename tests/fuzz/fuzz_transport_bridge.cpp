// Feeds arbitrary reply records to the bridge frame decoder: a command list chosen by the
// input (protocol version, byte order, commands with their lengths) parses the rest of the
// input as the records of its reply frame.
//
// Input: [version/order byte][command count][per command: kind byte, length byte]... records
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "transport/BridgeCmdList.h"
#include "transport/BridgeCommands.h"
#include "transport/BridgeVkr.h"

using namespace transport;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    static CBridgeVkr bridge;
    bridge.Wire().version = static_cast<uint16_t>(1 + data[0] % 3);
    bridge.Wire().bigEndian = (data[0] & 0x80) != 0;
    bridge.SetCurrentTarget(1);
    bridge.BusList().clear();
    bridge.CommandSets().clear();
    const size_t count = data[1] % 8;
    size_t at = 2;
    std::vector<uint8_t> buffer(512);
    uint32_t status = 0, value = 0, size32 = 0;
    uint16_t word = 0;
    std::vector<CSlaveInfo> slaves;
    uint8_t info[CCmdFoEDownloadDB::kErrorInfoSize];
    CCmdList list;
    for (size_t i = 0; i < count && at + 1 < size; ++i, at += 2) {
        const uint8_t kind = data[at];
        const uint32_t length = data[at + 1] + (kind & 0x80 ? 256u : 0u);
        std::unique_ptr<CCmd> cmd;
        switch (kind % 12) {
            case 0:
                cmd =
                    std::make_unique<CCmdRead>(bridge, 1, 0x2000, 0, buffer.data(), length, &size32, &status);
                break;
            case 1:
                cmd = std::make_unique<CCmdReadCan>(bridge, 1, 0x2000, 0, buffer.data(), length, &size32,
                                                    &status);
                break;
            case 2:
                cmd =
                    std::make_unique<CCmdReadCan4>(bridge, 1, 0x2000, 0, &value, &status, &size32, true, CBridgeNotify{});
                break;
            case 3:
                cmd = std::make_unique<CCmdBusList>(bridge, &status);
                break;
            case 4:
                cmd = std::make_unique<CCmdCommands>(bridge, &status);
                break;
            case 5:
                cmd = std::make_unique<CCmdBusScan>(bridge, &status, &slaves);
                break;
            case 6:
                cmd = std::make_unique<CCmdGetInfo>(bridge, &status);
                break;
            case 7:
                cmd = std::make_unique<CCmdEthReadMemory>(bridge, 1, 0x500, static_cast<uint16_t>(length),
                                                          buffer.data(), &status);
                break;
            case 8:
                cmd = std::make_unique<CCmdFoEDownloadDB>(bridge, 1, 0, "Firmware", 1, &status, info);
                break;
            case 9:
                cmd = std::make_unique<CCmdWrite>(bridge, 1, 0x2000, 0, buffer.data(), length, &status,
                                                  &size32);
                break;
            case 10:
                cmd = std::make_unique<CCmdLockNode>(bridge, 1, &status, &value);
                break;
            default:
                cmd = std::make_unique<CCmdEthGetSlaveState>(bridge, 1, &status, &word);
                break;
        }
        list.Add(std::move(cmd));
    }
    if (at > size) return 0;
    // A copy of exactly the record bytes, so that any read past them is caught.
    std::vector<uint8_t> records(data + at, data + size);
    list.ParseReply(records.data(), records.data() + records.size(), false);
    if (bridge.BusList().size() > 100000) bridge.BusList().clear();
    return 0;
}
