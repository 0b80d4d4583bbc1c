#include "tools/drivesim/DriveSim.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace drivesim {

namespace {

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == ENOTSOCK) {
            const ssize_t w = ::write(fd, data, size);
            if (w < 0 && (errno == EAGAIN || errno == EINTR)) {
                pollfd pfd{fd, POLLOUT, 0};
                ::poll(&pfd, 1, 100);
                continue;
            }
            if (w <= 0) return false;
            data += w;
            size -= static_cast<size_t>(w);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd pfd{fd, POLLOUT, 0};
            ::poll(&pfd, 1, 100);
            continue;
        }
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

uint16_t DriveSim::Crc16(const uint8_t* bytes, size_t length) {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < length; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
    }
    return crc;
}

DriveSim::DriveSim() = default;

DriveSim::~DriveSim() {
    Stop();
}

SimDrive& DriveSim::AddDrive(uint8_t slave) {
    std::lock_guard lock(mutex_);
    auto& slot = drives_[slave];
    if (!slot) slot = std::make_unique<SimDrive>(slave);
    return *slot;
}

SimDrive* DriveSim::Drive(uint8_t slave) {
    std::lock_guard lock(mutex_);
    auto it = drives_.find(slave);
    return it == drives_.end() ? nullptr : it->second.get();
}

void DriveSim::InjectFault(const Fault& fault) {
    std::lock_guard lock(mutex_);
    faults_.push_back(fault);
}

void DriveSim::ClearFaults() {
    std::lock_guard lock(mutex_);
    faults_.clear();
}

size_t DriveSim::PendingFaults() const {
    std::lock_guard lock(mutex_);
    return faults_.size();
}

bool DriveSim::TakeFault(uint8_t function, Fault& fault) {
    std::lock_guard lock(mutex_);
    for (auto it = faults_.begin(); it != faults_.end(); ++it) {
        if (it->function != 0 && it->function != function) continue;
        fault = *it;
        if (--it->count <= 0) faults_.erase(it);
        return true;
    }
    return false;
}

std::vector<uint8_t> DriveSim::Answer(uint8_t slave, const uint8_t* pdu, size_t length, bool& known) {
    SimDrive* drive = nullptr;
    {
        std::lock_guard lock(mutex_);
        auto it = drives_.find(slave);
        if (it != drives_.end()) drive = it->second.get();
    }
    known = drive != nullptr;
    if (!drive) return {};
    return drive->Handle(pdu, length);
}

std::string DriveSim::StartPty(std::string* error) {
    auto fail = [&](const char* what) {
        if (error) *error = std::string(what) + ": " + strerror(errno);
        if (ptySlaveHold_ >= 0) ::close(ptySlaveHold_);
        if (ptyMaster_ >= 0) ::close(ptyMaster_);
        ptySlaveHold_ = ptyMaster_ = -1;
        return std::string();
    };
    if (ptyMaster_ >= 0) return ptyPath_;
    ptyMaster_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (ptyMaster_ < 0) return fail("posix_openpt");
    if (grantpt(ptyMaster_) != 0 || unlockpt(ptyMaster_) != 0) return fail("unlockpt");
    char name[128];
    if (ptsname_r(ptyMaster_, name, sizeof name) != 0) return fail("ptsname");
    // Holding the terminal side open keeps the master from seeing hang-ups between
    // clients; raw mode makes the line carry bytes unchanged even before a client sets it.
    ptySlaveHold_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (ptySlaveHold_ < 0) return fail("open pts");
    termios tio{};
    tcgetattr(ptySlaveHold_, &tio);
    cfmakeraw(&tio);
    tcsetattr(ptySlaveHold_, TCSANOW, &tio);
    ptyPath_ = name;
    stop_ = false;
    ptyThread_ = std::thread([this] { PtyLoop(); });
    return ptyPath_;
}

void DriveSim::SendRtu(const std::vector<uint8_t>& frame) {
    if (!frame.empty()) WriteAll(ptyMaster_, frame.data(), frame.size());
}

void DriveSim::PtyLoop() {
    std::vector<uint8_t> buffer;
    int64_t lastByte = NowMs();
    while (!stop_.load()) {
        pollfd pfd{ptyMaster_, POLLIN, 0};
        const int rc = ::poll(&pfd, 1, 10);
        if (rc > 0 && (pfd.revents & POLLIN)) {
            uint8_t chunk[512];
            const ssize_t n = ::read(ptyMaster_, chunk, sizeof chunk);
            if (n > 0) {
                buffer.insert(buffer.end(), chunk, chunk + n);
                lastByte = NowMs();
            }
        } else if (rc > 0) {
            SleepMs(10);
        }
        while (buffer.size() >= 2) {
            const uint8_t function = buffer[1];
            size_t need = 0;
            if (function == 3 || function == 6) {
                need = 8;
            } else if (function == 16) {
                if (buffer.size() < 7) break;
                need = 9u + buffer[6];
            } else if (NowMs() - lastByte >= 5) {
                need = buffer.size();  // unknown function: the frame ends with the silence
            } else {
                break;
            }
            if (buffer.size() < need) {
                if (NowMs() - lastByte > 200) buffer.clear();  // a stale piece: resynchronise
                break;
            }
            std::vector<uint8_t> frame(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(need));
            buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(need));
            const uint16_t crc = Crc16(frame.data(), frame.size() - 2);
            if (frame[frame.size() - 2] != static_cast<uint8_t>(crc) ||
                frame[frame.size() - 1] != static_cast<uint8_t>(crc >> 8)) {
                buffer.clear();  // a slave ignores a damaged frame
                continue;
            }
            bool known = false;
            std::vector<uint8_t> pdu = Answer(frame[0], frame.data() + 1, frame.size() - 3, known);
            if (!known) continue;  // addressed to a slave we do not serve
            ++requests_;
            if (pdu.empty()) continue;  // the drive does not answer
            Fault fault;
            const bool faulted = TakeFault(function, fault);
            if (faulted && fault.kind == Fault::DropReply) continue;
            if (faulted && fault.kind == Fault::ExceptionCode)
                pdu = {static_cast<uint8_t>(function | 0x80), static_cast<uint8_t>(fault.param)};
            std::vector<uint8_t> reply(1 + pdu.size());
            reply[0] =
                faulted && fault.kind == Fault::WrongSlave ? static_cast<uint8_t>(frame[0] + 1) : frame[0];
            std::copy(pdu.begin(), pdu.end(), reply.begin() + 1);
            uint16_t replyCrc = Crc16(reply.data(), reply.size());
            if (faulted && fault.kind == Fault::CorruptCrc) replyCrc ^= 0xFFFF;
            reply.push_back(static_cast<uint8_t>(replyCrc));
            reply.push_back(static_cast<uint8_t>(replyCrc >> 8));
            if (faulted && fault.kind == Fault::Truncate && fault.param >= 0 &&
                static_cast<size_t>(fault.param) < reply.size())
                reply.resize(static_cast<size_t>(fault.param));
            if (faulted && fault.kind == Fault::Delay) SleepMs(fault.param);
            SendRtu(reply);
        }
    }
}

int DriveSim::StartTcp(uint16_t port, std::string* error, const std::string& host) {
    if (listenFd_ >= 0) return tcpPort_;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        if (error) *error = std::string("socket: ") + strerror(errno);
        return -1;
    }
    const int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0) {
        if (error) *error = "listen " + host + ":" + std::to_string(port) + ": " + strerror(errno);
        ::close(fd);
        return -1;
    }
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    listenFd_ = fd;
    tcpPort_ = ntohs(address.sin_port);
    stop_ = false;
    tcpThread_ = std::thread([this] { TcpLoop(); });
    return tcpPort_;
}

void DriveSim::TcpLoop() {
    struct Client {
        int fd;
        std::vector<uint8_t> buffer;
    };
    std::vector<Client> clients;
    while (!stop_.load()) {
        std::vector<pollfd> fds;
        fds.push_back({listenFd_, POLLIN, 0});
        for (const Client& c : clients) fds.push_back({c.fd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), 20) <= 0) continue;
        if (fds[0].revents & POLLIN) {
            const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                const int yes = 1;
                setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
                clients.push_back({fd, {}});
            }
        }
        for (size_t i = 1; i < fds.size(); ++i) {
            Client& client = clients[i - 1];
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            uint8_t chunk[1024];
            const ssize_t n = ::recv(client.fd, chunk, sizeof chunk, MSG_DONTWAIT);
            if (n <= 0) {
                ::close(client.fd);
                client.fd = -1;
                continue;
            }
            client.buffer.insert(client.buffer.end(), chunk, chunk + n);
            while (client.buffer.size() >= 7 && client.fd >= 0) {
                const size_t length = static_cast<size_t>(client.buffer[4] << 8 | client.buffer[5]);
                if (length < 2 || length > 254 || client.buffer[2] != 0 || client.buffer[3] != 0) {
                    ::close(client.fd);  // not Modbus TCP: drop the connection
                    client.fd = -1;
                    break;
                }
                if (client.buffer.size() < 6 + length) break;
                std::vector<uint8_t> request(client.buffer.begin(),
                                             client.buffer.begin() + static_cast<std::ptrdiff_t>(6 + length));
                client.buffer.erase(client.buffer.begin(),
                                    client.buffer.begin() + static_cast<std::ptrdiff_t>(6 + length));
                const uint8_t unit = request[6];
                const uint8_t function = request[7];
                bool known = false;
                std::vector<uint8_t> pdu = Answer(unit, request.data() + 7, length - 1, known);
                // The box answers for a drive it does not reach: target failed to respond.
                if (!known || pdu.empty()) pdu = {static_cast<uint8_t>(function | 0x80), 11};
                ++requests_;
                Fault fault;
                const bool faulted = TakeFault(function, fault);
                if (faulted && fault.kind == Fault::DropReply) continue;
                if (faulted && fault.kind == Fault::ExceptionCode)
                    pdu = {static_cast<uint8_t>(function | 0x80), static_cast<uint8_t>(fault.param)};
                std::vector<uint8_t> reply{request[0],
                                           request[1],
                                           0,
                                           0,
                                           static_cast<uint8_t>((pdu.size() + 1) >> 8),
                                           static_cast<uint8_t>(pdu.size() + 1),
                                           unit};
                if (faulted && fault.kind == Fault::CorruptCrc) reply[1] ^= 0x55;
                if (faulted && fault.kind == Fault::WrongSlave) reply[6] = static_cast<uint8_t>(unit + 1);
                reply.insert(reply.end(), pdu.begin(), pdu.end());
                if (faulted && fault.kind == Fault::Truncate && fault.param >= 0 &&
                    static_cast<size_t>(fault.param) < reply.size())
                    reply.resize(static_cast<size_t>(fault.param));
                if (faulted && fault.kind == Fault::Delay) SleepMs(fault.param);
                WriteAll(client.fd, reply.data(), reply.size());
            }
        }
        std::erase_if(clients, [](const Client& c) { return c.fd < 0; });
    }
    for (Client& c : clients) ::close(c.fd);
}

void DriveSim::Stop() {
    stop_ = true;
    if (ptyThread_.joinable()) ptyThread_.join();
    if (tcpThread_.joinable()) tcpThread_.join();
    if (ptySlaveHold_ >= 0) ::close(ptySlaveHold_);
    if (ptyMaster_ >= 0) ::close(ptyMaster_);
    if (listenFd_ >= 0) ::close(listenFd_);
    ptySlaveHold_ = ptyMaster_ = listenFd_ = -1;
    tcpPort_ = -1;
    ptyPath_.clear();
}

}  // namespace drivesim
