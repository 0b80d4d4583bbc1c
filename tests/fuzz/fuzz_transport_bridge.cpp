// Feeds arbitrary replies to the bridge client. A command list chosen by the input (protocol
// version, byte order, commands with their lengths) either parses the rest of the input as the
// records of its reply frame directly, or runs over a real connection: a local bridge answers
// the connection's identification and every request frame with the next piece of the input,
// so the receive loop's frame checks (magic, length, sequence) and the connect hand-shake are
// fuzzed as well.
//
// Input: [mode byte][command count][per command: kind byte, length byte]... then
//   direct mode (mode bit 6 clear): the reply records; bits 0-1 the version - 1, bit 7 big-endian;
//   connection mode (bit 6 set): pieces, each a 2-byte big-endian length and its bytes: the
//   identification reply first, then one reply per request. The sequence number of a reply is
//   set to its request's and the identification reply filled up with zeros to the size the
//   client gathers, unless bit 5 leaves the pieces raw. Out of pieces, the bridge hangs up; a
//   client silent for 100 ms while pieces are left gets the next one unasked.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "FuzzSupport.h"
#include "transport/BridgeCmdList.h"
#include "transport/BridgeCommands.h"
#include "transport/BridgeVkr.h"

using namespace transport;

namespace {

constexpr size_t kIdentificationGather = 1000;

// The local bridge: one connection at a time, answered from the pieces of the current input.
class Peer {
  public:
    Peer() {
        listener_ = fuzz::ListenOnLoopback(&port_);
        thread_ = std::thread([this] { Loop(); });
    }
    uint16_t Port() const { return port_; }
    void Begin(std::deque<std::vector<uint8_t>> pieces, bool raw) {
        std::lock_guard lock(mutex_);
        pieces_ = std::move(pieces);
        raw_ = raw;
    }

  private:
    bool Next(std::vector<uint8_t>& piece) {
        std::lock_guard lock(mutex_);
        if (pieces_.empty()) return false;
        piece = std::move(pieces_.front());
        pieces_.pop_front();
        return true;
    }
    void Loop() {
        for (;;) {
            const int connection = accept(listener_, nullptr, nullptr);
            if (connection < 0) continue;
            Serve(connection);
            close(connection);
        }
    }
    // Answers request frames until the pieces run out (then it hangs up at once) or the client
    // goes. A client that stays silent while pieces are left waits for the rest of a frame cut
    // short: it gets the next piece unasked.
    void Serve(int connection) {
        std::vector<uint8_t> piece;
        bool first = true;
        while (Next(piece)) {
            uint8_t header[8] = {};
            pollfd pfd{connection, POLLIN, 0};
            const bool asked = poll(&pfd, 1, first ? 1000 : 100) > 0;
            if (asked) {
                if (!fuzz::ReadAll(connection, header, sizeof header)) return;
                const uint32_t length = static_cast<uint32_t>(header[4] | header[5] << 8 | header[6] << 16) |
                                        static_cast<uint32_t>(header[7]) << 24;
                const uint32_t swapped = static_cast<uint32_t>(header[7] | header[6] << 8 | header[5] << 16) |
                                         static_cast<uint32_t>(header[4]) << 24;
                const uint32_t frame = length >= 8 && length < 0x10000 ? length : swapped;
                std::vector<uint8_t> rest(frame >= 8 && frame < 0x10000 ? frame - 8 : 0);
                if (!rest.empty() && !fuzz::ReadAll(connection, rest.data(), rest.size())) return;
            }
            bool raw;
            {
                std::lock_guard lock(mutex_);
                raw = raw_;
            }
            if (!raw && first) {
                // The client gathers the identification reply until a pause of 50 ms or 1000 bytes:
                // filled up, it takes it at once.
                if (piece.size() < kIdentificationGather) piece.resize(kIdentificationGather);
            } else if (!raw && asked && piece.size() >= 4) {
                // The identification reply carries the protocol version where frames carry the
                // sequence.
                piece[2] = header[2];
                piece[3] = header[3];
            }
            first = false;
            if (!piece.empty() &&
                write(connection, piece.data(), piece.size()) != static_cast<ssize_t>(piece.size()))
                return;
        }
    }

    int listener_ = -1;
    uint16_t port_ = 0;
    std::mutex mutex_;
    std::deque<std::vector<uint8_t>> pieces_;
    bool raw_ = false;
    std::thread thread_;
};

Peer& ThePeer() {
    static Peer* peer = new Peer();  // lives for the whole run: its thread never stops
    return *peer;
}

struct Outputs {
    std::vector<uint8_t> buffer = std::vector<uint8_t>(512);
    uint32_t status = 0, value = 0, size32 = 0;
    uint16_t word = 0;
    std::vector<CSlaveInfo> slaves;
    uint8_t info[CCmdFoEDownloadDB::kErrorInfoSize] = {};
};

std::unique_ptr<CCmd> MakeCommand(CBridgeVkr& bridge, uint8_t kind, uint32_t length, Outputs& o) {
    uint8_t* buffer = o.buffer.data();
    switch (kind % 24) {
        case 0:
            return std::make_unique<CCmdRead>(bridge, 1, 0x2000, 0, buffer, length, &o.size32, &o.status);
        case 1:
            return std::make_unique<CCmdReadCan>(bridge, 1, 0x2000, 0, buffer, length, &o.size32, &o.status);
        case 2:
            return std::make_unique<CCmdReadCan4>(bridge, 1, 0x2000, 0, &o.value, &o.status, &o.size32, true,
                                                  CBridgeNotify{});
        case 3:
            return std::make_unique<CCmdBusList>(bridge, &o.status);
        case 4:
            return std::make_unique<CCmdCommands>(bridge, &o.status);
        case 5:
            return std::make_unique<CCmdBusScan>(bridge, &o.status, &o.slaves);
        case 6:
            return std::make_unique<CCmdGetInfo>(bridge, &o.status);
        case 7:
            return std::make_unique<CCmdEthReadMemory>(bridge, 1, 0x500, static_cast<uint16_t>(length),
                                                       buffer, &o.status);
        case 8:
            return std::make_unique<CCmdFoEDownloadDB>(bridge, 1, 0, "Firmware", 1, &o.status, o.info);
        case 9:
            return std::make_unique<CCmdWrite>(bridge, 1, 0x2000, 0, buffer, length, &o.status, &o.size32);
        case 10:
            return std::make_unique<CCmdLockNode>(bridge, 1, &o.status, &o.value);
        case 11:
            return std::make_unique<CCmdEthGetSlaveState>(bridge, 1, &o.status, &o.word);
        case 12:
            return std::make_unique<CCmdReset>(bridge, 1, &o.status);
        case 13:
            return std::make_unique<CCmdLog>(bridge, &o.status, &o.word);
        case 14:
            return std::make_unique<CCmdCreateBlock>(bridge, buffer, length, &o.status, &o.word);
        case 15:
            return std::make_unique<CCmdDestroyBlock>(bridge, static_cast<uint16_t>(length), &o.status);
        case 16:
            return std::make_unique<CCmdRead4>(bridge, 1, 0x2000, 0, &o.value, &o.status, &o.size32, false,
                                               CBridgeNotify{});
        case 17:
            return std::make_unique<CCmdWrite4>(bridge, 1, 0x2000, 0, length, &o.status);
        case 18:
            return std::make_unique<CCmdWriteCan4>(bridge, 1, 0x2000, 0, length, &o.status);
        case 19:
            return std::make_unique<CCmdEthWriteMemory>(bridge, 1, 0x500, buffer,
                                                        static_cast<uint16_t>(length), &o.status);
        case 20:
            return std::make_unique<CCmdWriteDB>(bridge, 1, 0x2000, 0, 1, &o.status, &o.size32);
        case 21:
            return std::make_unique<CCmdUnlockNode>(bridge, static_cast<uint8_t>(length & 1 ? 0xFF : 1), 1,
                                                    &o.status);
        case 22:
            return std::make_unique<CCmdEthSetSlaveState>(bridge, 1, static_cast<uint16_t>(length), &o.status,
                                                          &o.word);
        default:
            return std::make_unique<CCmdCanGetSlaveState>(bridge, 1, &o.status, &o.word);
    }
}

void RunConnected(const uint8_t* data, size_t size, size_t at,
                  const std::vector<std::pair<uint8_t, uint32_t>>& kinds) {
    static CBridgeVkr* bridge = [] {
        auto* b = new CBridgeVkr();
        CBridgeTimings timings;
        timings.identifyWaitMs = 200;
        timings.connectWaitMs = 1000;
        timings.channelFreeWaitMs = 200;
        b->SetTimings(timings);
        return b;
    }();
    Peer& peer = ThePeer();
    std::deque<std::vector<uint8_t>> pieces;
    while (at + 1 < size && pieces.size() < 32) {
        const size_t n = std::min<size_t>(static_cast<size_t>(data[at] << 8 | data[at + 1]), size - at - 2);
        pieces.emplace_back(data + at + 2, data + at + 2 + n);
        at += 2 + n;
    }
    peer.Begin(std::move(pieces), (data[0] & 0x20) != 0);
    bridge->SetPort(peer.Port());
    // Short waits: every piece is there at once, and the bridge hangs up when they run out.
    bridge->SetBaseTimeout(50);
    bridge->SetCellTime(1);
    if (bridge->Connect("127.0.0.1")) {
        bridge->SetCurrentTarget(1);
        Outputs outputs;
        CCmdList list;
        for (const auto& [kind, length] : kinds) list.Add(MakeCommand(*bridge, kind, length, outputs));
        bridge->ExecuteList(list);
    }
    bridge->Disconnect();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t count = data[1] % 8;
    size_t at = 2;
    std::vector<std::pair<uint8_t, uint32_t>> kinds;
    for (size_t i = 0; i < count && at + 1 < size; ++i, at += 2)
        kinds.emplace_back(data[at], data[at + 1] + (data[at] & 0x80 ? 256u : 0u));
    if (at > size) return 0;
    if (data[0] & 0x40) {
        RunConnected(data, size, at, kinds);
        return 0;
    }

    static CBridgeVkr bridge;
    bridge.Wire().version = static_cast<uint16_t>(1 + data[0] % 3);
    bridge.Wire().bigEndian = (data[0] & 0x80) != 0;
    bridge.SetCurrentTarget(1);
    bridge.BusList().clear();
    bridge.CommandSets().clear();
    Outputs outputs;
    CCmdList list;
    for (const auto& [kind, length] : kinds) list.Add(MakeCommand(bridge, kind, length, outputs));
    // A copy of exactly the record bytes, so that any read past them is caught.
    std::vector<uint8_t> records(data + at, data + size);
    list.ParseReply(records.data(), records.data() + records.size(), false);
    if (bridge.BusList().size() > 100000) bridge.BusList().clear();
    return 0;
}
