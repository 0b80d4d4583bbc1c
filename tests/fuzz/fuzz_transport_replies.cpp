// Feeds arbitrary replies to the Modbus channels' reply decoders: the serial channel on a
// pseudo-terminal and the box channel on a socket pair, each answered by a responder that
// sends the next piece of the input for every request it sees. Operations cover the plain
// register functions, SDO uploads and downloads and domain uploads and downloads.
//
// Input: [channel/op byte][size byte][pieces: length byte + bytes]...
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "transport/ModbusCrc.h"
#include "transport/ModbusRtu.h"
#include "transport/ModbusTcp.h"

using namespace transport;

namespace {

class Responder {
  public:
    Responder(int fd, bool serial) : fd_(fd), serial_(serial), thread_([this] { Loop(); }) {}
    void SetPieces(std::deque<std::vector<uint8_t>> pieces) {
        std::lock_guard lock(mutex_);
        pieces_ = std::move(pieces);
    }
    void Clear() { SetPieces({}); }

  private:
    void Loop() {
        for (;;) {
            pollfd pfd{fd_, POLLIN, 0};
            if (poll(&pfd, 1, 5) <= 0) continue;
            uint8_t scratch[512];
            if (read(fd_, scratch, sizeof scratch) < 8) continue;
            std::vector<uint8_t> piece;
            {
                std::lock_guard lock(mutex_);
                if (!pieces_.empty()) {
                    piece = std::move(pieces_.front());
                    pieces_.pop_front();
                } else {
                    // Out of input: a prompt exception reply ends the operation quickly.
                    piece = serial_ ? RtuException(scratch) : TcpException(scratch);
                }
            }
            if (!piece.empty()) [[maybe_unused]]
                ssize_t n = write(fd_, piece.data(), piece.size());
        }
    }
    static std::vector<uint8_t> RtuException(const uint8_t* request) {
        std::vector<uint8_t> reply{request[0], static_cast<uint8_t>(request[1] | 0x80), 4};
        const uint16_t crc = ModbusCrc16(reply.data(), reply.size());
        reply.push_back(static_cast<uint8_t>(crc));
        reply.push_back(static_cast<uint8_t>(crc >> 8));
        return reply;
    }
    static std::vector<uint8_t> TcpException(const uint8_t* request) {
        return {request[0], request[1], 0, 0, 0, 3, request[6], static_cast<uint8_t>(request[7] | 0x80), 4};
    }

    int fd_;
    bool serial_;
    std::mutex mutex_;
    std::deque<std::vector<uint8_t>> pieces_;
    std::thread thread_;
};

struct Rig {
    Rig() {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        grantpt(master);
        unlockpt(master);
        rtu.GetSettings().portName = ptsname(master);
        rtu.GetSettings().receiveTimeout = 3;
        rtu.SetRetryCount(1);
        rtu.Connect(true);
        rtuPeer = new Responder(master, true);

        int pair[2];
        socketpair(AF_UNIX, SOCK_STREAM, 0, pair);
        boxSocket.Adopt(pair[0]);
        boxClient = new CModbusTcpClient(boxSocket, 3);
        tcpPeer = new Responder(pair[1], false);
    }
    int master = -1;
    CErrorPair owner;
    CModbusRtu rtu{&owner};
    Responder* rtuPeer = nullptr;
    platform::TcpSocket boxSocket;
    CModbusTcpClient* boxClient = nullptr;
    Responder* tcpPeer = nullptr;
};

Rig& TheRig() {
    static Rig* rig = new Rig();  // lives for the whole run: its threads never stop
    return *rig;
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
    (serial ? rig.rtuPeer : rig.tcpPeer)->SetPieces(pieces);

    uint8_t buffer[300];
    uint16_t registers[125];
    std::memset(buffer, 0, sizeof buffer);
    const uint16_t count = static_cast<uint16_t>(1 + param % 125);
    if (serial) {
        CModbusRtu& rtu = rig.rtu;
        switch (op % 7) {
            case 0:
                rtu.ReadRegisters(10, count, registers, 1);
                break;
            case 1:
                rtu.WriteRegisters(10, static_cast<uint16_t>(1 + param % 123), registers, 1);
                break;
            case 2:
                rtu.WriteRegisterFrame(10, param, 1);
                break;
            case 3:
                rtu.SdoUpload(1, 20, param, buffer);
                break;
            case 4:
                // Plain writes and segments; the initiate download waits seconds for a
                // silent drive, and its reply goes through the same decoder as case 1.
                if (param & 0x80)
                    rtu.SdoDownloadSegment(1, buffer, param % 8, param & 1);
                else
                    rtu.SdoDownload(1, 20, 1 + param % 4, buffer);
                break;
            case 5: {
                uint32_t capacity = param;
                rtu.UploadFileFrames(30, buffer, &capacity, kDomainQuiet, nullptr, 0, 0, 0, 1);
                break;
            }
            default: {
                uint32_t length = param;
                rtu.DownloadFileFrames(30, buffer, &length, kDomainQuiet, nullptr, 0, 0, 0, 1);
                break;
            }
        }
    } else {
        CModbusTcpClient& client = *rig.boxClient;
        switch (op % 3) {
            case 0:
                client.ReadRegisters(10, count, registers, sizeof registers);
                break;
            case 1:
                client.WriteRegisters(10, static_cast<uint16_t>(1 + param % 123), registers,
                                      sizeof registers);
                break;
            default:
                client.WriteRegister(10, param);
                break;
        }
    }
    (serial ? rig.rtuPeer : rig.tcpPeer)->Clear();
    return 0;
}
