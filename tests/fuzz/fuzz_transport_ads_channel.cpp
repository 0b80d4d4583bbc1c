// Feeds arbitrary ADS replies to the ADS channel through the ADS client library: a local router
// answers every request the library sends with the next piece of the input, so the channel's
// EtherCAT scan, its CoE reads and writes and the node identification decode outside replies.
//
// Input: [op byte][param byte][pieces: 2-byte big-endian length + bytes]...
//   op % 4: 0 scan, 1 CoE read (param: size), 2 CoE write, 3 identification; op bit 7: pieces
//   go out raw (else each is the reply's data, sent behind a header that answers the request).
// Out of pieces, the router answers with the error "target port not found". Every input ends
// only when the router has answered all it was sent.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "FuzzSupport.h"
#include "foundation/CompatChecker.h"
#include "platform/ads/AmsWire.h"
#include "transport/BusNodeData.h"
#include "transport/TwincatAds.h"

using namespace transport;

namespace {

class Router {
  public:
    Router() {
        listener_ = fuzz::ListenOnLoopback(&port_);
        thread_ = std::thread([this] { Loop(); });
    }
    uint16_t Port() const { return port_; }
    void Begin(std::deque<std::vector<uint8_t>> pieces, bool raw) {
        std::lock_guard lock(mutex_);
        pieces_ = std::move(pieces);
        raw_ = raw;
    }
    // Returns once every request sent so far has been answered and the line stayed quiet.
    void Finish() {
        std::unique_lock lock(mutex_);
        pieces_.clear();
        settled_ = false;
        finishing_ = true;
        done_.wait(lock, [this] { return settled_; });
        finishing_ = false;
    }

  private:
    void Loop() {
        int peer = -1;
        for (;;) {
            pollfd pfd[2] = {{listener_, POLLIN, 0}, {peer, POLLIN, 0}};
            if (poll(pfd, 2, 1) <= 0) {
                std::lock_guard lock(mutex_);
                if (finishing_ && !settled_) {
                    settled_ = true;
                    done_.notify_all();
                }
                continue;
            }
            if (pfd[0].revents & POLLIN) {
                const int accepted = accept(listener_, nullptr, nullptr);
                if (accepted >= 0) {
                    if (peer >= 0) close(peer);
                    peer = accepted;
                }
                continue;
            }
            if (peer < 0 || !(pfd[1].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            if (!Answer(peer)) {
                close(peer);
                peer = -1;
            }
        }
    }
    bool Answer(int peer) {
        uint8_t tcp[ams::kTcpHeaderSize];
        if (!fuzz::ReadAll(peer, tcp, sizeof tcp)) return false;
        const uint32_t length = ams::GetU32(tcp + 2);
        if (length < ams::kAmsHeaderSize || length > ams::kMaxDataLength) return false;
        std::vector<uint8_t> request(length);
        if (!fuzz::ReadAll(peer, request.data(), request.size())) return false;
        ams::Header header;
        std::memcpy(header.source.b, request.data(), 6);
        header.sourcePort = ams::GetU16(request.data() + 6);
        std::memcpy(header.target.b, request.data() + 8, 6);
        header.targetPort = ams::GetU16(request.data() + 14);
        header.command = ams::GetU16(request.data() + 16);
        header.flags = ams::kFlagResponse | ams::kFlagAdsCommand;
        header.invokeId = ams::GetU32(request.data() + 28);
        std::vector<uint8_t> piece;
        bool raw;
        {
            std::lock_guard lock(mutex_);
            raw = raw_;
            if (pieces_.empty()) {
                piece = {6, 0, 0, 0};  // target port not found
                raw = false;
            } else {
                piece = std::move(pieces_.front());
                pieces_.pop_front();
            }
        }
        const std::vector<uint8_t> reply = raw ? piece : ams::EncodeFrame(header, piece);
        return reply.empty() || write(peer, reply.data(), reply.size()) == static_cast<ssize_t>(reply.size());
    }

    int listener_ = -1;
    uint16_t port_ = 0;
    std::mutex mutex_;
    std::condition_variable done_;
    std::deque<std::vector<uint8_t>> pieces_;
    bool raw_ = false;
    bool finishing_ = false;
    bool settled_ = false;
    std::thread thread_;
};

std::filesystem::path g_folder;

struct Rig {
    Rig() {
        char pattern[] = "/tmp/fuzz_transport_ads_channel_XXXXXX";
        const char* dir = ::mkdtemp(pattern);
        if (!dir) abort();
        folder = dir;
        const std::filesystem::path routes = folder / "ads-routes";
        std::ofstream(routes) << "local 10.9.8.7.1.1\n5.1.2.3.1.1 127.0.0.1 " << router.Port() << "\n";
        ::setenv("TUNOVA_ADS_ROUTES", routes.c_str(), 1);
        g_folder = folder;
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(g_folder, ec);
        });
        channel.SetTarget(AdsNetId{{5, 1, 2, 3, 1, 1}}, 1001);
        channel.SetDefaultTimeout(100);
    }
    std::filesystem::path folder;
    Router router;
    CErrorPair owner;
    CTwincatAds channel{&owner, TUNOVA_ADS_LIBRARY};
};

Rig& TheRig() {
    static Rig* rig = new Rig();  // lives for the whole run: its thread never stops
    return *rig;
}

CAdsItem Item(uint16_t index, uint8_t sub, uint32_t size) {
    CAdsItem item;
    item.name = "Item";
    item.hasIndex = true;
    item.index = index;
    item.subIndex = sub;
    item.size = size;
    return item;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    Rig& rig = TheRig();
    const uint8_t op = data[0], param = data[1];
    std::deque<std::vector<uint8_t>> pieces;
    for (size_t at = 2; at + 1 < size && pieces.size() < 64;) {
        const size_t n = std::min<size_t>(static_cast<size_t>(data[at] << 8 | data[at + 1]), size - at - 2);
        pieces.emplace_back(data + at + 2, data + at + 2 + n);
        at += 2 + n;
    }
    rig.router.Begin(std::move(pieces), (op & 0x80) != 0);
    uint8_t buffer[260] = {};
    uint32_t length = 1 + param;
    switch (op % 4) {
        case 0: {
            CBusNodeList list;
            rig.channel.ScanDevices(list);
            FreeEtherCatDeviceList(list);
            break;
        }
        case 1:
            rig.channel.Read(Item(0x2000, 1, length), buffer, &length, 100);
            break;
        case 2:
            rig.channel.Write(Item(0x2000, 2, length), buffer, &length, 100);
            break;
        default: {
            foundation::CCompatChecker checker;
            NodeIdentRecord node;
            uint32_t kind = 0, build = 0;
            uint8_t wordSwap = 0;
            rig.channel.IdentifyNode(&checker, &node, &kind, &wordSwap, &build);
            break;
        }
    }
    rig.router.Finish();
    return 0;
}
