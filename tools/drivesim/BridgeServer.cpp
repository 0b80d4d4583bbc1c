#include "tools/drivesim/BridgeServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>

#include "tools/drivesim/SimDriveModel.h"

namespace drivesim {

namespace {

// Bridge codes of the protocol.
constexpr uint32_t kWrongData = 102;
constexpr uint32_t kNodeInUse = static_cast<uint32_t>(-23);
constexpr uint32_t kBlockNotFound = static_cast<uint32_t>(-22);
constexpr uint32_t kWrongParameter = static_cast<uint32_t>(-21);
constexpr uint32_t kSlaveNotFound = static_cast<uint32_t>(-20);
constexpr uint32_t kNodeLost = static_cast<uint32_t>(-26);
constexpr uint32_t kObjectMissing = 0x06020000;
constexpr uint32_t kReadOnly = 0x06010002;
constexpr uint32_t kMessageAborted = static_cast<uint32_t>(-4);

// Byte order of the simulated bridge, written independently of the client's codec.
struct Order {
    bool big = false;
    uint16_t U16(const uint8_t* p) const {
        return big ? uint16_t(p[0] << 8 | p[1]) : uint16_t(p[1] << 8 | p[0]);
    }
    uint32_t U32(const uint8_t* p) const {
        return big ? (uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3])
                   : (uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0]);
    }
    void Add16(std::vector<uint8_t>& v, uint16_t x) const {
        if (big) {
            v.push_back(uint8_t(x >> 8));
            v.push_back(uint8_t(x));
        } else {
            v.push_back(uint8_t(x));
            v.push_back(uint8_t(x >> 8));
        }
    }
    void Add32(std::vector<uint8_t>& v, uint32_t x) const {
        if (big) {
            Add16(v, uint16_t(x >> 16));
            Add16(v, uint16_t(x));
        } else {
            Add16(v, uint16_t(x));
            Add16(v, uint16_t(x >> 16));
        }
    }
    void Set32(uint8_t* p, uint32_t x) const {
        std::vector<uint8_t> v;
        Add32(v, x);
        std::memcpy(p, v.data(), 4);
    }
};

bool SendAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Reads exactly size bytes; false on close, error or stop.
bool RecvAll(int fd, uint8_t* data, size_t size, const std::atomic<bool>& stop) {
    while (size > 0) {
        pollfd p{fd, POLLIN, 0};
        const int rc = ::poll(&p, 1, 50);
        if (stop) return false;
        if (rc < 0 && errno == EINTR) continue;
        if (rc < 0) return false;
        if (rc == 0) continue;
        const ssize_t n = ::recv(fd, data, size, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

int Listen(const std::string& host, uint16_t port, int& boundPort, std::string* error) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        if (error) *error = std::strerror(errno);
        return -1;
    }
    const int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    inet_pton(AF_INET, host.c_str(), &a.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) < 0 || ::listen(fd, 8) < 0) {
        if (error) *error = std::strerror(errno);
        ::close(fd);
        return -1;
    }
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    boundPort = ntohs(a.sin_port);
    return fd;
}

void AddText(std::vector<uint8_t>& v, const Order& o, const std::string& text) {
    // ASCII names as UTF-16 units in the bridge's order.
    const size_t n = std::min<size_t>(text.size(), 127);
    v.push_back(static_cast<uint8_t>(n * 2));
    for (size_t i = 0; i < n; ++i) o.Add16(v, static_cast<unsigned char>(text[i]));
}

}  // namespace

void BridgeSimNode::SetU16(uint16_t index, uint8_t sub, uint16_t value) {
    objects[uint32_t{index} << 8 | sub] = {uint8_t(value), uint8_t(value >> 8)};
}

void BridgeSimNode::SetU32(uint16_t index, uint8_t sub, uint32_t value) {
    objects[uint32_t{index} << 8 | sub] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16),
                                           uint8_t(value >> 24)};
}

void BridgeSimNode::SetText(uint16_t index, uint8_t sub, const std::string& text) {
    objects[uint32_t{index} << 8 | sub] = std::vector<uint8_t>(text.begin(), text.end());
}

struct BridgeServer::Client {
    int fd = -1;
    int id = 0;
    uint32_t peer = 0;
    // A slow transfer of the frame in hand: committed after the transfer time unless aborted.
    struct Pending {
        bool active = false;
        uint32_t node = 0;    // node key
        uint32_t object = 0;  // index << 8 | subindex
        std::vector<uint8_t> data;
        size_t statusAt = 0;  // reply offsets of the record's status and byte count
    } pending;
};

BridgeServer::BridgeServer(BridgeServerConfig config) : config_(std::move(config)) {}

BridgeServer::~BridgeServer() {
    Stop();
}

BridgeSimNode& BridgeServer::AddNode(uint8_t bus, uint16_t node) {
    std::lock_guard lock(mutex_);
    return nodes_[Key(bus, node)];
}

void BridgeServer::InjectFault(const BridgeFault& fault) {
    std::lock_guard lock(mutex_);
    faults_.push_back(fault);
}

bool BridgeServer::TakeFault(BridgeFault& fault) {
    std::lock_guard lock(mutex_);
    if (faults_.empty()) return false;
    fault = faults_.front();
    if (--faults_.front().count <= 0) faults_.pop_front();
    return true;
}

std::vector<uint8_t> BridgeServer::LastFrame() const {
    std::lock_guard lock(mutex_);
    return lastFrame_;
}

int BridgeServer::Start(uint16_t port, std::string* error, const std::string& host) {
    listenFd_ = Listen(host, port, port_, error);
    if (listenFd_ < 0) return -1;
    logListenFd_ = Listen(host, 0, logPort_, error);
    if (logListenFd_ < 0) {
        ::close(listenFd_);
        listenFd_ = -1;
        return -1;
    }
    stop_ = false;
    acceptThread_ = std::thread([this] { AcceptLoop(); });
    logThread_ = std::thread([this] { LogAcceptLoop(); });
    return port_;
}

void BridgeServer::Stop() {
    stop_ = true;
    if (acceptThread_.joinable()) acceptThread_.join();
    if (logThread_.joinable()) logThread_.join();
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(mutex_);
        threads.swap(serveThreads_);
    }
    for (std::thread& t : threads) t.join();
    std::lock_guard lock(mutex_);
    for (int fd : logClients_) ::close(fd);
    logClients_.clear();
    clients_.clear();
    if (listenFd_ >= 0) ::close(listenFd_);
    if (logListenFd_ >= 0) ::close(logListenFd_);
    listenFd_ = logListenFd_ = -1;
}

void BridgeServer::DropClients() {
    std::lock_guard lock(mutex_);
    for (auto& client : clients_) ::shutdown(client->fd, SHUT_RDWR);
}

void BridgeServer::WriteLog(const std::string& text) {
    std::lock_guard lock(mutex_);
    for (int fd : logClients_) SendAll(fd, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

void BridgeServer::AcceptLoop() {
    while (!stop_) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        const int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
        if (fd < 0) continue;
        const int yes = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        auto client = std::make_shared<Client>();
        client->fd = fd;
        client->peer = ntohl(peer.sin_addr.s_addr);
        std::lock_guard lock(mutex_);
        client->id = nextClientId_++;
        clients_.push_back(client);
        ++connections_;
        serveThreads_.emplace_back([this, client] { Serve(client); });
    }
}

void BridgeServer::LogAcceptLoop() {
    while (!stop_) {
        pollfd p{logListenFd_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        const int fd = ::accept4(logListenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        uint8_t level = 0;
        if (!RecvAll(fd, &level, 1, stop_)) {
            ::close(fd);
            continue;
        }
        const std::string hello = "log level " + std::to_string(level) + "\r\n";
        SendAll(fd, reinterpret_cast<const uint8_t*>(hello.data()), hello.size());
        {
            std::lock_guard lock(mutex_);
            logClients_.push_back(fd);
        }
        // Tests wait for the level: the channel is listed by then.
        logLevel_ = level;
    }
}

std::vector<uint8_t> BridgeServer::StatusMessage(uint16_t sequence, uint32_t code) const {
    const Order o{config_.bigEndian};
    std::vector<uint8_t> m;
    o.Add16(m, 0x4243);
    o.Add16(m, sequence);
    o.Add32(m, code);
    return m;
}

std::vector<uint8_t> BridgeServer::Identification() const {
    const Order o{config_.bigEndian};
    std::vector<uint8_t> v;
    o.Add16(v, 0x4342);
    o.Add16(v, config_.protocolVersion);
    o.Add16(v, config_.applicationId);
    o.Add16(v, config_.brandCode);
    o.Add32(v, config_.cycleUs);
    o.Add32(v, config_.receiveSize);
    o.Add32(v, config_.sendSize);
    o.Add32(v, config_.largestMessage);
    for (uint16_t part : config_.version) o.Add16(v, part);
    o.Add32(v, config_.build);
    AddText(v, o, config_.name);
    AddText(v, o, config_.description);
    std::vector<uint8_t> own = {1, 2, 3, 5, 8, 10, 11, 0xF9};
    if (config_.listKeepAlive) own.push_back(4);
    v.push_back(static_cast<uint8_t>(own.size()));
    v.insert(v.end(), own.begin(), own.end());
    v.push_back(static_cast<uint8_t>(config_.buses.size()));
    for (const BridgeSimBus& bus : config_.buses) {
        const std::vector<uint8_t> ops = {0, 10, 11, 12, 20, 21, 22, 23, 24, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC};
        v.push_back(bus.id);
        v.push_back(static_cast<uint8_t>(ops.size()));
        v.insert(v.end(), ops.begin(), ops.end());
    }
    v.push_back(static_cast<uint8_t>(config_.buses.size()));
    for (const BridgeSimBus& bus : config_.buses) {
        v.push_back(bus.id);
        v.push_back(bus.kind);
        v.push_back(bus.number);
        v.push_back(bus.parameter);
    }
    return v;
}

void BridgeServer::Serve(std::shared_ptr<Client> client) {
    const Order o{config_.bigEndian};
    const int fd = client->fd;
    while (!stop_) {
        uint8_t header[8];
        if (!RecvAll(fd, header, 8, stop_)) break;
        const bool identify = header[0] == 0x42 && header[1] == 0x43 && header[4] == 20 && header[5] == 0 &&
                              header[6] == 0 && header[7] == 0;
        uint32_t length = identify ? 20 : o.U32(header + 4);
        if (!identify && o.U16(header) != 0x4342) {
            // A frame in a byte order we cannot read.
            const auto m = StatusMessage(o.U16(header + 2), kWrongData);
            SendAll(fd, m.data(), m.size());
            uint8_t scratch[512];
            while (::recv(fd, scratch, sizeof scratch, MSG_DONTWAIT) > 0) {
            }
            continue;
        }
        if (length < 10 || length > config_.largestMessage + 64) {
            const auto m = StatusMessage(o.U16(header + 2), kWrongData);
            SendAll(fd, m.data(), m.size());
            continue;
        }
        std::vector<uint8_t> frame(header, header + 8);
        frame.resize(length);
        if (!RecvAll(fd, frame.data() + 8, length - 8, stop_)) break;
        if (identify && frame[10] == 0xFF && frame[11] == 200) {
            std::vector<uint8_t> reply;
            if (config_.protocolVersion >= 3 || config_.identifyReply)
                reply = Identification();
            else
                reply = StatusMessage(1, config_.bigEndian ? kWrongData : kWrongParameter);
            if (!SendAll(fd, reply.data(), reply.size())) break;
            continue;
        }
        client->pending.active = false;
        std::vector<uint8_t> reply = HandleFrame(*client, frame);
        if (client->pending.active) {
            if (WaitLongTransfer(*client)) {
                ++abortedTransfers_;
                o.Set32(reply.data() + client->pending.statusAt, kMessageAborted);
                o.Set32(reply.data() + client->pending.statusAt + 4, 0);
            } else {
                std::lock_guard lock(mutex_);
                if (auto it = nodes_.find(client->pending.node); it != nodes_.end())
                    it->second.objects[client->pending.object] = client->pending.data;
            }
            client->pending.active = false;
        }
        if (reply.empty()) continue;
        BridgeFault fault;
        if (TakeFault(fault)) {
            switch (fault.kind) {
                case BridgeFault::Drop:
                    continue;
                case BridgeFault::Truncate:
                    if (reply.size() > 8 + static_cast<size_t>(fault.param)) {
                        reply.resize(8 + static_cast<size_t>(fault.param));
                        o.Set32(reply.data() + 4, static_cast<uint32_t>(reply.size()));
                    }
                    break;
                case BridgeFault::WrongMagic:
                    reply[0] = 0x12;
                    reply[1] = 0x34;
                    break;
                case BridgeFault::Disconnect:
                    ::shutdown(fd, SHUT_RDWR);
                    break;
                case BridgeFault::Delay:
                    std::this_thread::sleep_for(std::chrono::milliseconds(fault.param));
                    break;
                case BridgeFault::Status:
                    reply = StatusMessage(o.U16(frame.data() + 2), static_cast<uint32_t>(fault.param));
                    break;
                case BridgeFault::StaleFirst: {
                    std::vector<uint8_t> stale = reply;
                    const uint16_t seq = static_cast<uint16_t>(o.U16(frame.data() + 2) - 1);
                    std::vector<uint8_t> s;
                    o.Add16(s, seq);
                    stale[2] = s[0];
                    stale[3] = s[1];
                    SendAll(fd, stale.data(), stale.size());
                    break;
                }
            }
            if (fault.kind == BridgeFault::Disconnect) break;
        }
        if (!SendAll(fd, reply.data(), reply.size())) break;
    }
    std::lock_guard lock(mutex_);
    for (auto it = locks_.begin(); it != locks_.end();)
        it = it->second == static_cast<uint32_t>(client->id) ? locks_.erase(it) : std::next(it);
    ::close(fd);
    clients_.erase(std::remove(clients_.begin(), clients_.end(), client), clients_.end());
}

// The bus is busy for the transfer time; frames that come meanwhile are read, and an abort
// message ends the transfer.
bool BridgeServer::WaitLongTransfer(Client& client) {
    const Order o{config_.bigEndian};
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(config_.longTransferMs);
    while (!stop_) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now())
                .count();
        if (left <= 0) return false;
        pollfd p{client.fd, POLLIN, 0};
        const int rc = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 50)));
        if (rc <= 0) continue;
        uint8_t header[8];
        if (!RecvAll(client.fd, header, 8, stop_)) return false;
        const uint32_t length = o.U32(header + 4);
        if (o.U16(header) != 0x4342 || length < 8 || length > 64) continue;
        std::vector<uint8_t> frame(header, header + 8);
        frame.resize(length);
        if (!RecvAll(client.fd, frame.data() + 8, length - 8, stop_)) return false;
        const size_t at = config_.protocolVersion >= 3 ? 12 : 10;
        if (frame.size() >= at + 2 && frame[at] == 0xFF && frame[at + 1] == 3) {
            ++aborts_;
            std::lock_guard lock(mutex_);
            lastAbort_ = frame;
            return true;
        }
        // A keep-alive is answered as the bridge answers it when idle.
        if (frame.size() >= at + 2 && frame[at] == 0xFF && frame[at + 1] == 4) {
            ++keepAlives_;
            const auto m = StatusMessage(o.U16(frame.data() + 2), 1);
            SendAll(client.fd, m.data(), m.size());
        }
    }
    return false;
}

size_t BridgeServer::BlockCount() const {
    std::lock_guard lock(mutex_);
    return blocks_.size();
}

std::vector<uint8_t> BridgeServer::LastAbortMessage() const {
    std::lock_guard lock(mutex_);
    return lastAbort_;
}

std::vector<uint8_t> BridgeServer::HandleFrame(Client& client, const std::vector<uint8_t>& frame) {
    const Order o{config_.bigEndian};
    const uint16_t version = config_.protocolVersion;
    const bool v3 = version >= 3;
    auto pad = [v3](size_t n) { return (v3 && n % 4) ? n / 4 * 4 + 4 : n; };
    const uint16_t sequence = o.U16(frame.data() + 2);
    const size_t headerSize = v3 ? 12 : 10;
    if (frame.size() < headerSize + 2) return StatusMessage(sequence, kWrongData);
    const uint8_t firstTarget = frame[headerSize], firstOp = frame[headerSize + 1];
    if (firstTarget == 0xFF && firstOp == 3) {
        ++aborts_;
        std::lock_guard lock(mutex_);
        lastAbort_ = frame;
        return {};
    }
    if (firstTarget == 0xFF && firstOp == 4) {
        ++keepAlives_;
        return StatusMessage(sequence, 1);
    }
    ++frames_;
    std::lock_guard lock(mutex_);
    lastFrame_ = frame;

    std::vector<uint8_t> reply;
    o.Add16(reply, 0x4342);
    o.Add16(reply, sequence);
    o.Add32(reply, 0);
    size_t at = headerSize;
    const size_t end = frame.size();
    auto fail = [&] { return StatusMessage(sequence, kWrongParameter); };
    while (at < end) {
        if (end - at < 2) return fail();
        const uint8_t* r = frame.data() + at;
        const size_t left = end - at;
        const uint8_t target = r[0], opcode = r[1];
        const uint8_t busId = target;
        const size_t recordStart = reply.size();
        auto record = [&](uint32_t status) { o.Add32(reply, status); };
        auto finishRecord = [&] {
            while (reply.size() - recordStart != pad(reply.size() - recordStart)) reply.push_back(0);
        };
        size_t used = 0;
        if (target == 0xFF) {
            switch (opcode) {
                // --- bridge reset: taken, counted; the simulated bridge keeps its clients
                case 0:
                    used = pad(2);
                    ++bridgeResets_;
                    record(0);
                    break;
                case 1:
                    used = 2;
                    record(0);
                    o.Add32(reply, version);
                    o.Add32(reply, config_.cycleUs);
                    o.Add32(reply, config_.receiveSize);
                    o.Add32(reply, config_.sendSize);
                    o.Add32(reply, config_.largestMessage);
                    break;
                case 2:
                    used = 2;
                    record(0);
                    reply.push_back(static_cast<uint8_t>(config_.buses.size()));
                    for (const BridgeSimBus& bus : config_.buses) {
                        reply.push_back(bus.id);
                        reply.push_back(bus.kind);
                        reply.push_back(bus.number);
                        o.Add16(reply, bus.parameter);
                    }
                    break;
                case 5:
                    used = pad(2);
                    record(0);
                    o.Add16(reply, static_cast<uint16_t>(logPort_));
                    break;
                case 8: {
                    used = 2;
                    record(0);
                    for (uint16_t part : config_.version) o.Add16(reply, part);
                    std::vector<uint8_t> own = {1, 2, 3, 5, 8, 10, 11, 0xF9};
                    if (config_.listKeepAlive) own.push_back(4);
                    reply.push_back(static_cast<uint8_t>(own.size()));
                    reply.insert(reply.end(), own.begin(), own.end());
                    reply.push_back(static_cast<uint8_t>(config_.buses.size()));
                    for (const BridgeSimBus& bus : config_.buses) {
                        reply.push_back(bus.id);
                        reply.push_back(3);
                        reply.push_back(10);
                        reply.push_back(20);
                        reply.push_back(0xFC);
                    }
                    break;
                }
                case 10: {
                    const size_t lengthAt = v3 ? 8 : 6;
                    if (left < lengthAt + 4) return fail();
                    const uint32_t n = o.U32(r + lengthAt);
                    const size_t dataAt = v3 ? 12 : 10;
                    if (left - dataAt < n) return fail();
                    used = v3 ? pad(dataAt + n) : dataAt + n;
                    const uint16_t id = nextBlock_++;
                    blocks_[id].assign(r + dataAt, r + dataAt + n);
                    record(0);
                    o.Add16(reply, id);
                    break;
                }
                case 11: {
                    if (left < 4) return fail();
                    used = 4;
                    record(blocks_.erase(o.U16(r + 2)) ? 0 : kBlockNotFound);
                    break;
                }
                case 0xF9:
                    used = pad(2);
                    for (auto it = locks_.begin(); it != locks_.end();)
                        it =
                            it->second == static_cast<uint32_t>(client.id) ? locks_.erase(it) : std::next(it);
                    record(0);
                    break;
                default:
                    return fail();
            }
        } else {
            const BridgeSimBus* bus = nullptr;
            for (const BridgeSimBus& b : config_.buses)
                if (b.id == target) bus = &b;
            if (!bus) return fail();
            const bool can = bus->kind == 1;
            auto node = [&](uint16_t id) -> BridgeSimNode* {
                auto it = nodes_.find(Key(target, id));
                return it == nodes_.end() ? nullptr : &it->second;
            };
            const uint32_t missingNode = can ? kNodeLost : kSlaveNotFound;
            switch (opcode) {
                case 0:
                    used = pad(2);
                    ++busResets_[target];  // --- bus reset counted per bus
                    record(0);
                    break;
                case 10:
                case 11: {
                    const bool longForm = opcode == 11;
                    uint16_t id, index;
                    uint8_t sub;
                    uint32_t n;
                    if (can) {
                        const size_t i = v3 ? 4 : 3;
                        used = longForm ? (v3 ? 12 : 10) : (v3 ? 8 : 7);
                        if (left < used) return fail();
                        id = r[2];
                        index = o.U16(r + i);
                        sub = r[i + 2];
                        n = longForm ? o.U32(r + (v3 ? 8 : 6)) : r[i + 3];
                    } else {
                        used = longForm ? (v3 ? 12 : 11) : 8;
                        if (left < used) return fail();
                        id = o.U16(r + 2);
                        index = o.U16(r + 4);
                        sub = r[6];
                        n = longForm ? o.U32(r + (v3 ? 8 : 7)) : r[7];
                    }
                    if (n > config_.largestMessage) return fail();
                    BridgeSimNode* target = node(id);
                    const uint32_t key = uint32_t{index} << 8 | sub;
                    uint32_t status = 0;
                    std::vector<uint8_t> data;
                    std::optional<SimDriveModel::Answer> answer;
                    if (!target) {
                        status = missingNode;
                    } else if (target->model && (answer = target->model->ReadObject(index, sub))) {
                        if (answer->refusal == Refusal::Silent)
                            status = missingNode;
                        else if (answer->refusal != Refusal::None)
                            status = SdoAbortOf(answer->refusal);
                        else
                            data = std::move(answer->bytes);
                    } else if (target->aborts.count(key)) {
                        status = target->aborts[key];
                    } else if (key == (0x5FF2u << 8 | 4)) {
                        data = {0, 0};
                    } else if (!target->objects.count(key)) {
                        status = kObjectMissing;
                    } else {
                        data = target->objects[key];
                    }
                    const uint32_t received = static_cast<uint32_t>(std::min<size_t>(data.size(), n));
                    record(status);
                    if (longForm)
                        o.Add32(reply, received);
                    else
                        reply.push_back(static_cast<uint8_t>(received));
                    data.resize(n, 0);
                    reply.insert(reply.end(), data.begin(), data.end());
                    break;
                }
                case 12: {
                    if (left < 8) return fail();
                    used = 8;
                    BridgeSimNode* target = node(o.U16(r + 2));
                    const uint16_t address = o.U16(r + 4), n = o.U16(r + 6);
                    record(target ? 0 : missingNode);
                    for (uint16_t i = 0; i < n; ++i)
                        reply.push_back(target ? target->esc[static_cast<uint16_t>(address + i)] : 0);
                    break;
                }
                case 20:
                case 21: {
                    const bool longForm = opcode == 21;
                    uint16_t id, index;
                    uint8_t sub;
                    uint32_t n;
                    size_t dataAt;
                    if (can) {
                        dataAt = longForm ? 10 : 7;
                        if (left < dataAt) return fail();
                        if (!longForm) {
                            id = v3 ? r[5] : r[2];
                            index = o.U16(r + (v3 ? 2 : 3));
                            sub = v3 ? r[4] : r[5];
                            n = r[6];
                        } else if (!v3) {
                            id = r[2];
                            index = o.U16(r + 3);
                            sub = r[5];
                            n = o.U32(r + 6);
                        } else {
                            index = o.U16(r + 2);
                            n = o.U32(r + 4);
                            sub = r[8];
                            id = r[9];
                        }
                    } else {
                        dataAt = longForm ? 11 : 8;
                        if (left < dataAt) return fail();
                        id = o.U16(r + 2);
                        if (!longForm) {
                            index = o.U16(r + 4);
                            sub = r[6];
                            n = r[7];
                        } else if (!v3) {
                            index = o.U16(r + 4);
                            sub = r[6];
                            n = o.U32(r + 7);
                        } else {
                            n = o.U32(r + 4);
                            index = o.U16(r + 8);
                            sub = r[10];
                        }
                    }
                    if (left - dataAt < n) return fail();
                    used = pad(dataAt + n);
                    BridgeSimNode* target = node(id);
                    const uint32_t key = uint32_t{index} << 8 | sub;
                    uint32_t status = 0;
                    std::optional<Refusal> refusal;
                    if (!target)
                        status = missingNode;
                    else if (target->model &&
                             (refusal = target->model->WriteObject(index, sub, r + dataAt, n)))
                        status = *refusal == Refusal::Silent ? missingNode : SdoAbortOf(*refusal);
                    else if (target->aborts.count(key))
                        status = target->aborts[key];
                    else if (target->readOnly.count(key))
                        status = kReadOnly;
                    else if (longForm && n > 4 && config_.longTransferMs > 0)
                        client.pending = {
                            true, Key(busId, id), key, {r + dataAt, r + dataAt + n}, reply.size()};
                    else
                        target->objects[key].assign(r + dataAt, r + dataAt + n);
                    record(status);
                    if (longForm)
                        o.Add32(reply, status ? 0 : n);
                    else
                        reply.push_back(static_cast<uint8_t>(status ? 0 : n));
                    break;
                }
                case 22: {
                    if (left < 8) return fail();
                    const uint16_t n = o.U16(r + 6);
                    if (left - 8 < n) return fail();
                    used = pad(8u + n);
                    BridgeSimNode* target = node(o.U16(r + 2));
                    const uint16_t address = o.U16(r + 4);
                    if (target)
                        for (uint16_t i = 0; i < n; ++i)
                            target->esc[static_cast<uint16_t>(address + i)] = r[8 + i];
                    record(target ? 0 : missingNode);
                    break;
                }
                case 23: {
                    uint16_t id, index, block;
                    uint8_t sub;
                    if (can) {
                        used = 8;
                        if (left < used) return fail();
                        id = v3 ? r[5] : r[2];
                        index = o.U16(r + (v3 ? 2 : 3));
                        sub = v3 ? r[4] : r[5];
                        block = o.U16(r + 6);
                    } else {
                        used = v3 ? 12 : 9;
                        if (left < used) return fail();
                        id = o.U16(r + 2);
                        index = o.U16(r + 4);
                        sub = r[6];
                        block = o.U16(r + (v3 ? 8 : 7));
                    }
                    BridgeSimNode* target = node(id);
                    uint32_t status = 0, written = 0;
                    if (!target) {
                        status = missingNode;
                    } else if (!blocks_.count(block)) {
                        status = kBlockNotFound;
                    } else if (target->blockWriteRefusals > 0) {
                        --target->blockWriteRefusals;
                        status = target->blockWriteRefusal;
                    } else if (auto refusal = target->model ? target->model->WriteObject(
                                                                  index, sub, blocks_[block].data(),
                                                                  blocks_[block].size())
                                                            : std::nullopt) {
                        status = *refusal == Refusal::Silent ? missingNode : SdoAbortOf(*refusal);
                        if (status == 0) written = static_cast<uint32_t>(blocks_[block].size());
                    } else if (blocks_[block].size() > 4 && config_.longTransferMs > 0) {
                        client.pending = {true, Key(busId, id), uint32_t{index} << 8 | sub, blocks_[block],
                                          reply.size()};
                        written = static_cast<uint32_t>(blocks_[block].size());
                    } else {
                        target->objects[uint32_t{index} << 8 | sub] = blocks_[block];
                        written = static_cast<uint32_t>(blocks_[block].size());
                    }
                    record(status);
                    o.Add32(reply, written);
                    break;
                }
                case 24: {
                    if (left < 12) return fail();
                    uint16_t n, block;
                    size_t nameAt;
                    if (v3) {
                        block = o.U16(r + 8);
                        n = o.U16(r + 10);
                        nameAt = 12;
                        if (left - 12 < n) return fail();
                        used = pad(12u + n);
                    } else {
                        n = o.U16(r + 8);
                        nameAt = 10;
                        if (left - 12 < n) return fail();
                        block = o.U16(r + 10 + n);
                        used = 12u + n;
                    }
                    BridgeSimNode* target = node(o.U16(r + 2));
                    uint32_t status = 0;
                    std::string info;
                    if (!target) {
                        status = missingNode;
                    } else if (!blocks_.count(block)) {
                        status = 1;
                        info = "file not found";
                    } else if (target->state != 3 && target->state != 1) {
                        status = 9;
                        info = "not in bootstrap";
                    } else {
                        target->foeFile = blocks_[block];
                        target->foeName.assign(reinterpret_cast<const char*>(r + nameAt), n);
                    }
                    record(status);
                    info.resize(80, '\0');
                    reply.insert(reply.end(), info.begin(), info.end());
                    break;
                }
                case 0xF8: {
                    if (left < 4) return fail();
                    used = 4;
                    const uint16_t id = o.U16(r + 2);
                    const uint32_t key = Key(target, id);
                    uint32_t holder = client.peer;
                    uint32_t status = 0;
                    if (!node(id)) {
                        status = missingNode;
                    } else if (locks_.count(key) && locks_[key] != static_cast<uint32_t>(client.id)) {
                        status = kNodeInUse;
                    } else {
                        locks_[key] = static_cast<uint32_t>(client.id);
                    }
                    record(status);
                    o.Add32(reply, holder);
                    break;
                }
                case 0xF9: {
                    if (left < 4) return fail();
                    used = 4;
                    const uint32_t key = Key(target, o.U16(r + 2));
                    if (locks_.count(key) && locks_[key] == static_cast<uint32_t>(client.id))
                        locks_.erase(key);
                    record(0);
                    break;
                }
                case 0xFA: {
                    used = pad(2);
                    record(0);
                    std::vector<uint8_t> entries;
                    for (auto& [key, n] : nodes_) {
                        if ((key >> 16) != target) continue;
                        o.Add32(entries, n.identity1);
                        o.Add32(entries, n.identity2);
                        o.Add16(entries, static_cast<uint16_t>(key & 0xFFFF));
                        o.Add16(entries, n.state);
                        if (!v3) o.Add16(entries, 0);
                    }
                    if (v3) o.Add16(reply, 0);
                    o.Add16(reply, static_cast<uint16_t>(entries.size()));
                    reply.insert(reply.end(), entries.begin(), entries.end());
                    break;
                }
                case 0xFB: {
                    used = pad(6);
                    if (left < used) return fail();
                    BridgeSimNode* target = node(o.U16(r + 2));
                    const uint16_t state = o.U16(r + 4);
                    if (target) {
                        ++target->stateRequests;
                        target->state = state;
                        target->stateHistory.push_back(state);
                    }
                    record(target ? 0 : missingNode);
                    o.Add16(reply, target ? target->state : 0);
                    break;
                }
                case 0xFC: {
                    used = can ? pad(3) : 4;
                    if (left < used) return fail();
                    BridgeSimNode* target = node(can ? r[2] : o.U16(r + 2));
                    uint32_t status = target ? 0 : missingNode;
                    if (target && can && locks_.count(Key(bus->id, r[2])) &&
                        locks_[Key(bus->id, r[2])] != static_cast<uint32_t>(client.id))
                        status = kNodeInUse;
                    record(status);
                    o.Add16(reply, target ? target->state : 0);
                    break;
                }
                default:
                    return fail();
            }
        }
        finishRecord();
        at += used;
    }
    o.Set32(reply.data() + 4, static_cast<uint32_t>(reply.size()));
    return reply;
}

}  // namespace drivesim
