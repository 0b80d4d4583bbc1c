// Feeds arbitrary replies to the Modbus channels' reply decoders: the serial channel on a
// pseudo-terminal and the box channel on a local TCP connection, each answered by a responder
// that sends the next piece of the input for every request it sees. Operations cover the plain
// register functions, SDO uploads and downloads, domain uploads and downloads and the node
// identification.
//
// Input: [op byte][size byte][pieces: length byte + bytes]...
//   op bit 7: box channel (else serial); bits 5-6: how a piece is sent (below); bits 0-2: the
//   operation. An empty piece is a request left unanswered (modes 0, 2, 3).
// A piece is sent as
//   0: a frame made whole: the serial CRC appended, the box header's transaction id and length
//      filled in from the request;
//   1: register data: the responder builds a well-formed reply to the request around it (a read
//      gets exactly the registers asked for, the piece cut or padded with zeros; a write its echo);
//   2, 3: raw bytes.
// The identification always gets mode 1: its time-out is at least half a second, so replies cut
// short would take the whole run, and the register values are what it decodes.
//
// Timing is deterministic: the responder answers at once, well within the channels' time-out,
// and every input ends only when the responder has answered everything it was sent, so no
// reply of one input reaches the next.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "FuzzSupport.h"
#include "foundation/CompatChecker.h"
#include "transport/ModbusCrc.h"
#include "transport/ModbusRtu.h"
#include "transport/ModbusTcp.h"

using namespace transport;

namespace {

// Long enough that a prompt answer always comes in time on a loaded machine, short enough
// that a reply cut short costs little.
constexpr uint32_t kTimeoutMs = 25;

class Responder {
  public:
    // serial: fd is the pseudo-terminal's master; else fd is a listening socket.
    Responder(int fd, bool serial) : fd_(fd), serial_(serial), thread_([this] { Loop(); }) {}

    enum Mode { kWhole = 0, kShaped = 1 };  // 2 and 3: raw

    void Begin(std::deque<std::vector<uint8_t>> pieces, unsigned mode) {
        std::lock_guard lock(mutex_);
        pieces_ = std::move(pieces);
        mode_ = mode;
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
        int peer = serial_ ? fd_ : -1;
        for (;;) {
            pollfd pfd[2] = {{fd_, POLLIN, 0}, {peer, POLLIN, 0}};
            const int n = serial_ ? poll(pfd, 1, 1) : poll(pfd, 2, 1);
            if (n <= 0) {
                std::lock_guard lock(mutex_);
                if (finishing_ && !settled_) {
                    settled_ = true;
                    done_.notify_all();
                }
                continue;
            }
            if (!serial_ && (pfd[0].revents & POLLIN)) {
                const int accepted = accept(fd_, nullptr, nullptr);
                if (accepted >= 0) {
                    if (peer >= 0) close(peer);
                    peer = accepted;
                }
                continue;
            }
            const int from = serial_ ? fd_ : peer;
            if (!(pfd[serial_ ? 0 : 1].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            uint8_t request[512];
            const ssize_t got = read(from, request, sizeof request);
            if (got <= 0) {
                if (!serial_) {
                    close(peer);
                    peer = -1;
                }
                continue;
            }
            if (got < 8) continue;
            std::vector<uint8_t> reply;
            {
                std::lock_guard lock(mutex_);
                if (!pieces_.empty()) {
                    reply = std::move(pieces_.front());
                    pieces_.pop_front();
                    if (mode_ == kShaped)
                        reply = Shaped(request, static_cast<size_t>(got), reply);
                    else if (mode_ == kWhole && !reply.empty())
                        reply = serial_ ? WithCrc(reply) : WithHeader(request, reply);
                } else {
                    // Out of input: a prompt exception reply ends the operation quickly.
                    reply = serial_ ? RtuException(request) : TcpException(request);
                }
            }
            if (!reply.empty()) [[maybe_unused]]
                ssize_t written = write(from, reply.data(), reply.size());
        }
    }
    static std::vector<uint8_t> WithCrc(std::vector<uint8_t> frame) {
        const uint16_t crc = ModbusCrc16(frame.data(), frame.size());
        frame.push_back(static_cast<uint8_t>(crc));
        frame.push_back(static_cast<uint8_t>(crc >> 8));
        return frame;
    }
    // The piece is unit id, function and data; the header echoes the request's transaction.
    static std::vector<uint8_t> WithHeader(const uint8_t* request, const std::vector<uint8_t>& pdu) {
        std::vector<uint8_t> frame{request[0],
                                   request[1],
                                   0,
                                   0,
                                   static_cast<uint8_t>(pdu.size() >> 8),
                                   static_cast<uint8_t>(pdu.size())};
        frame.insert(frame.end(), pdu.begin(), pdu.end());
        return frame;
    }
    // A well-formed reply to the request carrying the piece as its register data.
    std::vector<uint8_t> Shaped(const uint8_t* request, size_t length,
                                const std::vector<uint8_t>& data) const {
        const size_t at = serial_ ? 0 : 6;  // the unit id
        std::vector<uint8_t> pdu;
        if (request[at + 1] == 3) {
            const size_t bytes = std::min<size_t>(2u * (request[at + 4] << 8 | request[at + 5]), 250);
            pdu = {request[at], 3, static_cast<uint8_t>(bytes)};
            for (size_t i = 0; i < bytes; ++i) pdu.push_back(i < data.size() ? data[i] : 0);
        } else {
            pdu.assign(request + at, request + std::min<size_t>(length, at + 6));
        }
        return serial_ ? WithCrc(pdu) : WithHeader(request, pdu);
    }
    static std::vector<uint8_t> RtuException(const uint8_t* request) {
        return WithCrc({request[0], static_cast<uint8_t>(request[1] | 0x80), 4});
    }
    static std::vector<uint8_t> TcpException(const uint8_t* request) {
        return {request[0], request[1], 0, 0, 0, 3, request[6], static_cast<uint8_t>(request[7] | 0x80), 4};
    }

    int fd_;
    bool serial_;
    std::mutex mutex_;
    std::condition_variable done_;
    std::deque<std::vector<uint8_t>> pieces_;
    unsigned mode_ = kWhole;
    bool finishing_ = false;
    bool settled_ = false;
    std::thread thread_;
};

struct Rig {
    Rig() {
        const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) abort();
        rtu.GetSettings().portName = ptsname(master);
        rtu.GetSettings().receiveTimeout = kTimeoutMs;
        rtu.SetRetryCount(1);
        if (rtu.Connect(true) != 0) abort();
        rtuPeer = new Responder(master, true);

        uint16_t port = 0;
        tcpPeer = new Responder(fuzz::ListenOnLoopback(&port), false);
        box.SetBoxAddress(0x7F000001);
        box.SetPort(port);
        box.SetBoxTimeout(kTimeoutMs);
    }
    CErrorPair owner;
    CModbusRtu rtu{&owner};
    Responder* rtuPeer = nullptr;
    CModbusTcp box{&owner};
    Responder* tcpPeer = nullptr;
};

Rig& TheRig() {
    static Rig* rig = new Rig();  // lives for the whole run: its threads never stop
    return *rig;
}

// What both channels share: SDO and domain transfers.
void Transfer(CModbusChannel& channel, unsigned op, uint8_t param, uint8_t* buffer) {
    switch (op) {
        case 3:
            channel.SdoUpload(1, 20, param, buffer);
            break;
        case 4:
            // Plain writes and segments; the serial initiate download waits seconds for a
            // silent drive, and its reply goes through the same decoder as a register write.
            if (param & 0x80)
                channel.SdoDownloadSegment(1, buffer, param % 8, param & 1);
            else
                channel.SdoDownload(1, 20, 1 + param % 4, buffer);
            break;
        case 5: {
            uint32_t capacity = param;
            channel.UploadFileFrames(30, buffer, &capacity, kDomainQuiet, nullptr, 0, 0, 0, 1);
            break;
        }
        default: {
            uint32_t length = param;
            channel.DownloadFileFrames(30, buffer, &length, kDomainQuiet, nullptr, 0, 0, 0, 1);
            break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    Rig& rig = TheRig();
    const uint8_t op = data[0];
    const uint8_t param = data[1];
    std::deque<std::vector<uint8_t>> pieces;
    for (size_t at = 2; at < size && pieces.size() < 64;) {
        const size_t n = std::min<size_t>(data[at], size - at - 1);
        pieces.emplace_back(data + at + 1, data + at + 1 + n);
        at += 1 + n;
    }
    const bool serial = (op & 0x80) == 0;
    Responder& peer = serial ? *rig.rtuPeer : *rig.tcpPeer;
    const unsigned operation = op & 0x07;
    peer.Begin(std::move(pieces), operation == 7 ? Responder::kShaped : (op >> 5) & 0x03);

    uint8_t buffer[300];
    uint16_t registers[125];
    std::memset(buffer, 0, sizeof buffer);
    std::memset(registers, 0, sizeof registers);
    const uint16_t count = static_cast<uint16_t>(1 + param % 125);
    const uint16_t writeCount = static_cast<uint16_t>(1 + param % 123);
    foundation::CCompatChecker checker;
    NodeIdentRecord node;
    node.slave = 1;
    uint32_t kind = 0, build = 0;
    uint8_t wordSwap = 0;
    if (serial) {
        CModbusRtu& rtu = rig.rtu;
        switch (operation) {
            case 0:
                rtu.ReadRegisters(10, count, registers, 1);
                break;
            case 1:
                rtu.WriteRegisters(10, writeCount, registers, 1);
                break;
            case 2:
                rtu.WriteRegisterFrame(10, param, 1);
                break;
            case 7:
                rtu.IdentifyNode(&checker, &node, &kind, &wordSwap, &build);
                break;
            default:
                Transfer(rtu, operation, param, buffer);
                break;
        }
    } else {
        CModbusTcp& box = rig.box;
        if (!box.IsConnected()) box.Connect();
        switch (operation) {
            case 0:
                box.ReadRegisters(10, count, registers, sizeof registers);
                break;
            case 1:
                box.WriteRegisters(10, writeCount, registers, sizeof registers);
                break;
            case 2:
                box.WriteRegister(10, param);
                break;
            case 7:
                box.IdentifyNode(&checker, &node, &kind, &wordSwap, &build);
                break;
            default:
                Transfer(box, operation, param, buffer);
                break;
        }
    }
    peer.Finish();
    // A reply longer than its request wanted leaves bytes on the connection: not for the next input.
    if (!serial) rig.box.DrainReceive();
    return 0;
}
