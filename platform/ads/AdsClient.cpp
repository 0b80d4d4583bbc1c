// The ADS client library: ports, one AMS/TCP connection per target host shared by every port
// of the process, a receive thread per connection that hands replies to their waiting
// requests by invoke id and device notifications to their callbacks.
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/ads/AdsApi.h"
#include "platform/ads/AdsRoutes.h"
#include "platform/ads/AmsWire.h"

#define ADS_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr long kDefaultTimeoutMs = 5000;
constexpr long kFirstPort = 30000;
constexpr uint8_t kLibVersion = 1, kLibRevision = 0;
constexpr uint16_t kLibBuild = 1;

// Initial-exec: the library is loaded with dlopen, and a dynamically allocated block would
// trip LeakSanitizer's exit scan; one long fits the static surplus every process has.
__attribute__((tls_model("initial-exec"))) thread_local long t_lastError = 0;

long Done(long code) {
    t_lastError = code;
    return code;
}

ams::NetId ToNetId(const AdsNetId& id) {
    ams::NetId out;
    std::memcpy(out.b, id.b, 6);
    return out;
}

// Blocking connect with a time-out; the socket or -1 with the ADS code in *code. The library stands
// alone (it links nothing of ours), so it resolves names and opens sockets itself.
int ConnectTcp(const std::string& host, uint16_t port, long timeoutMs, long* code) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found) {
        *code = kAdsErrHostUnreachable;
        return -1;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        freeaddrinfo(found);
        *code = kAdsErrHostUnreachable;
        return -1;
    }
    int rc = ::connect(fd, found->ai_addr, found->ai_addrlen);
    freeaddrinfo(found);
    int err = rc == 0 ? 0 : errno;
    if (rc != 0 && err == EINPROGRESS) {
        pollfd pfd{fd, POLLOUT, 0};
        do {
            rc = ::poll(&pfd, 1, static_cast<int>(timeoutMs));
        } while (rc < 0 && errno == EINTR);
        if (rc == 0) {
            err = ETIMEDOUT;
        } else {
            socklen_t len = sizeof err;
            if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
        }
    }
    if (err != 0) {
        ::close(fd);
        *code = err == ECONNREFUSED ? kAdsErrConnectRefused
                : err == ETIMEDOUT  ? kAdsErrConnectTimeout
                                    : kAdsErrHostUnreachable;
        return -1;
    }
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

// Sends every byte of a frame; false when the connection failed.
bool SendAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                pollfd pfd{fd, POLLOUT, 0};
                if (::poll(&pfd, 1, 1000) < 0 && errno != EINTR) return false;
                continue;
            }
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

class Connection;
using NotificationSink = void (*)(Connection* connection, const ams::Header& header, const uint8_t* data,
                                  size_t size);
using LostSink = void (*)();

// One AMS/TCP connection to a host.
class Connection {
  public:
    Connection(std::string host, uint16_t port, NotificationSink notify, LostSink lost)
        : host_(std::move(host)), port_(port), notify_(notify), lost_(lost) {}
    ~Connection() {
        Shutdown();
        if (fd_ >= 0) ::close(fd_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Connects once; later calls give the first result while the connection lives.
    long EnsureOpen(long timeoutMs) {
        std::lock_guard lock(openMutex_);
        if (alive_) return 0;
        if (opened_) return kAdsErrConnectionReset;  // lost: a fresh Connection replaces this one
        long code = 0;
        const int fd = ConnectTcp(host_, port_, timeoutMs, &code);
        if (fd < 0) return code;
        fd_ = fd;
        opened_ = true;
        alive_ = true;
        reader_ = std::thread([this] { ReaderLoop(); });
        return 0;
    }

    bool Usable() const { return !opened_ || alive_; }

    // One request and its reply data; 0 or an ADS code.
    long Exchange(ams::Header header, const std::vector<uint8_t>& data, long timeoutMs,
                  std::vector<uint8_t>* reply) {
        static std::atomic<uint32_t> s_invoke{1};
        header.invokeId = s_invoke.fetch_add(1);
        header.flags = ams::kFlagAdsCommand;
        const std::vector<uint8_t> frame = ams::EncodeFrame(header, data);
        Pending pending;
        pending.command = header.command;
        {
            std::lock_guard lock(mutex_);
            if (!alive_) return kAdsErrConnectionReset;
            pending_[header.invokeId] = &pending;
        }
        bool sent = false;
        {
            std::lock_guard lock(sendMutex_);
            sent = SendAll(fd_, frame.data(), frame.size());
        }
        std::unique_lock lock(mutex_);
        if (!sent) {
            pending_.erase(header.invokeId);
            return kAdsErrConnectionReset;
        }
        const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
        if (!cv_.wait_until(lock, deadline, [&] { return pending.done; })) {
            pending_.erase(header.invokeId);
            return kAdsErrTimeout;
        }
        if (pending.code == 0 && reply) *reply = std::move(pending.data);
        return pending.code;
    }

    // Ends the connection and waits for the receive thread. The descriptor itself is closed
    // with the object, so that a request still holding it never writes to a reused one.
    void Shutdown() {
        {
            std::lock_guard lock(openMutex_);
            stopping_ = true;
            if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
        }
        if (reader_.joinable() && reader_.get_id() != std::this_thread::get_id()) reader_.join();
    }

    const std::string& Key() const { return key_; }
    void SetKey(std::string key) { key_ = std::move(key); }

  private:
    struct Pending {
        uint16_t command = 0;
        bool done = false;
        long code = 0;
        std::vector<uint8_t> data;
    };

    void FailAll(long code) {
        std::lock_guard lock(mutex_);
        alive_ = false;
        for (auto& [id, p] : pending_) {
            p->code = code;
            p->done = true;
        }
        pending_.clear();
        cv_.notify_all();
    }

    void Deliver(const ams::Header& header, const uint8_t* data, size_t size) {
        if (!(header.flags & ams::kFlagResponse)) {
            if (header.command == ams::kNotification && notify_) notify_(this, header, data, size);
            return;
        }
        std::lock_guard lock(mutex_);
        auto it = pending_.find(header.invokeId);
        if (it == pending_.end()) return;  // late or foreign reply: its request has given up
        Pending* p = it->second;
        pending_.erase(it);
        if (header.command != p->command) {
            p->code = kAdsErrInvalidResponse;
        } else if (header.error != 0) {
            p->code = static_cast<long>(header.error);
        } else {
            p->data.assign(data, data + size);
        }
        p->done = true;
        cv_.notify_all();
    }

    void ReaderLoop() {
        std::vector<uint8_t> buffer;
        uint8_t chunk[4096];
        long failure = kAdsErrConnectionReset;
        for (;;) {
            const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
            if (n < 0 && (errno == EINTR)) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                pollfd pfd{fd_, POLLIN, 0};
                ::poll(&pfd, 1, 200);
                continue;
            }
            if (n <= 0) break;
            buffer.insert(buffer.end(), chunk, chunk + n);
            bool bad = false;
            size_t used = 0;
            for (;;) {
                size_t frameSize = 0;
                const ams::FrameStatus status =
                    ams::PeekFrame(buffer.data() + used, buffer.size() - used, &frameSize, nullptr);
                if (status == ams::FrameStatus::NeedMore) break;
                ams::Header header;
                const uint8_t* data = nullptr;
                size_t dataSize = 0;
                if (status == ams::FrameStatus::Bad ||
                    !ams::DecodeFrame(buffer.data() + used, frameSize, &header, &data, &dataSize, nullptr)) {
                    bad = true;
                    break;
                }
                Deliver(header, data, dataSize);
                used += frameSize;
            }
            if (bad) {
                // The stream cannot be trusted past a malformed frame.
                failure = kAdsErrInvalidResponse;
                break;
            }
            buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(used));
        }
        FailAll(failure);
        bool report = false;
        {
            std::lock_guard lock(openMutex_);
            report = !stopping_;
        }
        if (report && lost_) lost_();
    }

    const std::string host_;
    const uint16_t port_;
    const NotificationSink notify_;
    const LostSink lost_;
    std::string key_;
    std::mutex openMutex_;
    bool opened_ = false;
    bool stopping_ = false;
    std::atomic<bool> alive_{false};
    int fd_ = -1;
    std::thread reader_;
    std::mutex sendMutex_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::map<uint32_t, Pending*> pending_;
};

struct NotificationEntry {
    long port = 0;
    AdsAddress target{};
    AdsNotifyCallback callback = nullptr;
    uint32_t user = 0;
};

class Library {
  public:
    ~Library() { CloseConnections(); }

    long PortOpen() {
        std::lock_guard lock(mutex_);
        routes_ = adslib::LoadRouteTable();
        long port = nextPort_++;
        if (nextPort_ > 0xFFFE) nextPort_ = kFirstPort;
        while (ports_.count(port)) port = nextPort_++;
        ports_[port] = kDefaultTimeoutMs;
        return port;
    }

    long PortClose(long port) {
        std::vector<std::shared_ptr<Connection>> closing;
        {
            std::lock_guard lock(mutex_);
            if (!ports_.erase(port)) return kAdsErrPortNotOpen;
            if (port == defaultPort_) defaultPort_ = 0;
            for (auto it = notifications_.begin(); it != notifications_.end();)
                it = it->second.port == port ? notifications_.erase(it) : std::next(it);
            if (ports_.empty()) {
                for (auto& [key, c] : connections_) closing.push_back(c);
                connections_.clear();
            }
        }
        for (auto& c : closing) c->Shutdown();
        return 0;
    }

    long DefaultPort(bool open) {
        {
            std::lock_guard lock(mutex_);
            if (defaultPort_ != 0 || !open) return defaultPort_;
        }
        const long port = PortOpen();
        std::lock_guard lock(mutex_);
        if (defaultPort_ == 0) defaultPort_ = port;
        return defaultPort_;
    }

    long LocalAddress(long port, AdsAddress* address) {
        if (!address) return kAdsErrInvalidParameter;
        std::lock_guard lock(mutex_);
        if (!ports_.count(port)) return kAdsErrPortNotOpen;
        std::memcpy(address->netId.b, routes_.local.b, 6);
        address->port = static_cast<uint16_t>(port);
        return 0;
    }

    long SetTimeout(long port, long ms) {
        std::lock_guard lock(mutex_);
        auto it = ports_.find(port);
        if (it == ports_.end()) return kAdsErrPortNotOpen;
        if (ms <= 0) return kAdsErrClientTimeoutInvalid;
        it->second = ms;
        return 0;
    }

    long GetTimeout(long port, long* ms) {
        if (!ms) return kAdsErrInvalidParameter;
        std::lock_guard lock(mutex_);
        auto it = ports_.find(port);
        if (it == ports_.end()) return kAdsErrPortNotOpen;
        *ms = it->second;
        return 0;
    }

    long PortEnabled(long port, int* enabled) {
        if (!enabled) return kAdsErrInvalidParameter;
        std::lock_guard lock(mutex_);
        *enabled = ports_.count(port) ? 1 : 0;
        return *enabled ? 0 : kAdsErrPortNotOpen;
    }

    // One request from a port to a target; the reply data in *reply.
    long Request(long port, const AdsAddress* target, uint16_t command, const std::vector<uint8_t>& data,
                 std::vector<uint8_t>* reply, std::shared_ptr<Connection>* used = nullptr) {
        if (!target) return kAdsErrNoAmsAddress;
        std::shared_ptr<Connection> connection;
        long timeout = kDefaultTimeoutMs;
        ams::Header header;
        {
            std::lock_guard lock(mutex_);
            auto it = ports_.find(port);
            if (it == ports_.end()) return kAdsErrPortNotOpen;
            timeout = it->second;
            std::string host;
            uint16_t tcpPort = 0;
            if (!routes_.Find(ToNetId(target->netId), &host, &tcpPort)) return kAdsErrTargetNotFound;
            const std::string key = host + ":" + std::to_string(tcpPort);
            auto c = connections_.find(key);
            if (c == connections_.end() || !c->second->Usable()) {
                auto fresh = std::make_shared<Connection>(host, tcpPort, &Library::OnNotification,
                                                          &Library::OnConnectionLost);
                fresh->SetKey(key);
                if (c != connections_.end()) retired_.push_back(c->second);
                connections_[key] = fresh;
                connection = fresh;
            } else {
                connection = c->second;
            }
            header.target = ToNetId(target->netId);
            header.targetPort = target->port;
            header.source = routes_.local;
            header.sourcePort = static_cast<uint16_t>(port);
            header.command = command;
        }
        ReapRetired();
        if (const long rc = connection->EnsureOpen(timeout); rc != 0) return rc;
        if (used) *used = connection;
        return connection->Exchange(header, data, timeout, reply);
    }

    void AddNotification(Connection* connection, uint32_t handle, NotificationEntry entry) {
        std::lock_guard lock(mutex_);
        notifications_[{connection, handle}] = entry;
    }

    long DeleteNotification(long port, const AdsAddress* target, uint32_t handle) {
        std::vector<uint8_t> data;
        ams::PutU32(data, handle);
        std::vector<uint8_t> reply;
        std::shared_ptr<Connection> connection;
        long rc = Request(port, target, ams::kDeleteNotification, data, &reply, &connection);
        {
            std::lock_guard lock(mutex_);
            if (connection) notifications_.erase({connection.get(), handle});
        }
        if (rc != 0) return rc;
        uint32_t result = 0;
        if (!ams::DecodeResultReply(reply.data(), reply.size(), &result)) return kAdsErrInvalidResponse;
        return static_cast<long>(result);
    }

    void SetRouterCallback(AdsRouterCallback callback) {
        std::lock_guard lock(mutex_);
        routerCallback_ = callback;
    }

    static Library& Instance() {
        static Library library;
        return library;
    }

  private:
    static void OnNotification(Connection* connection, const ams::Header& header, const uint8_t* data,
                               size_t size) {
        Library& self = Instance();
        AdsAddress source{};
        std::memcpy(source.netId.b, header.source.b, 6);
        source.port = header.sourcePort;
        ams::DecodeNotification(data, size,
                                [&](uint64_t stamp, uint32_t handle, const uint8_t* bytes, uint32_t n) {
                                    NotificationEntry entry;
                                    {
                                        std::lock_guard lock(self.mutex_);
                                        auto it = self.notifications_.find({connection, handle});
                                        if (it == self.notifications_.end()) return;
                                        entry = it->second;
                                    }
                                    AdsNotifySample sample{handle, stamp, n, bytes};
                                    if (entry.callback) entry.callback(&source, &sample, entry.user);
                                });
    }

    static void OnConnectionLost() {
        AdsRouterCallback callback = nullptr;
        {
            std::lock_guard lock(Instance().mutex_);
            callback = Instance().routerCallback_;
        }
        if (callback) callback(kAdsRouterConnectionLost);
    }

    // Connections replaced after a loss are shut down outside the lock (their receive
    // threads may be waiting for it).
    void ReapRetired() {
        std::vector<std::shared_ptr<Connection>> retired;
        {
            std::lock_guard lock(mutex_);
            retired.swap(retired_);
        }
        for (auto& c : retired) c->Shutdown();
    }

    void CloseConnections() {
        std::vector<std::shared_ptr<Connection>> closing;
        {
            std::lock_guard lock(mutex_);
            for (auto& [key, c] : connections_) closing.push_back(c);
            connections_.clear();
            closing.insert(closing.end(), retired_.begin(), retired_.end());
            retired_.clear();
        }
        for (auto& c : closing) c->Shutdown();
    }

    std::mutex mutex_;
    adslib::RouteTable routes_;
    std::map<long, long> ports_;  // port -> time-out ms
    long nextPort_ = kFirstPort;
    long defaultPort_ = 0;
    std::map<std::string, std::shared_ptr<Connection>> connections_;
    std::vector<std::shared_ptr<Connection>> retired_;
    std::map<std::pair<Connection*, uint32_t>, NotificationEntry> notifications_;
    AdsRouterCallback routerCallback_ = nullptr;
};

Library& Lib() {
    return Library::Instance();
}

long ReadReq(long port, const AdsAddress* target, uint32_t group, uint32_t offset, uint32_t length,
             void* data, uint32_t* bytesRead) {
    if (length && !data) return kAdsErrInvalidParameter;
    std::vector<uint8_t> reply;
    const long rc = Lib().Request(port, target, ams::kRead, ams::ReadRequest(group, offset, length), &reply);
    if (rc != 0) return rc;
    ams::ReadReply r;
    if (!ams::DecodeReadReply(reply.data(), reply.size(), &r)) return kAdsErrInvalidResponse;
    if (r.result != 0) return static_cast<long>(r.result);
    if (r.length > length) return kAdsErrInvalidResponse;  // more than asked: never past the buffer
    if (r.length) std::memcpy(data, r.data, r.length);
    if (bytesRead) *bytesRead = r.length;
    return 0;
}

long WriteReq(long port, const AdsAddress* target, uint32_t group, uint32_t offset, uint32_t length,
              const void* data) {
    if (length && !data) return kAdsErrInvalidParameter;
    std::vector<uint8_t> reply;
    const long rc =
        Lib().Request(port, target, ams::kWrite,
                      ams::WriteRequest(group, offset, static_cast<const uint8_t*>(data), length), &reply);
    if (rc != 0) return rc;
    uint32_t result = 0;
    if (!ams::DecodeResultReply(reply.data(), reply.size(), &result)) return kAdsErrInvalidResponse;
    return static_cast<long>(result);
}

long ReadWriteReq(long port, const AdsAddress* target, uint32_t group, uint32_t offset, uint32_t readLength,
                  void* readData, uint32_t writeLength, const void* writeData, uint32_t* bytesRead) {
    if ((readLength && !readData) || (writeLength && !writeData)) return kAdsErrInvalidParameter;
    std::vector<uint8_t> reply;
    const long rc = Lib().Request(
        port, target, ams::kReadWrite,
        ams::ReadWriteRequest(group, offset, readLength, static_cast<const uint8_t*>(writeData), writeLength),
        &reply);
    if (rc != 0) return rc;
    ams::ReadReply r;
    if (!ams::DecodeReadReply(reply.data(), reply.size(), &r)) return kAdsErrInvalidResponse;
    if (r.result != 0) return static_cast<long>(r.result);
    if (r.length > readLength) return kAdsErrInvalidResponse;
    if (r.length) std::memcpy(readData, r.data, r.length);
    if (bytesRead) *bytesRead = r.length;
    return 0;
}

long DeviceInfoReq(long port, const AdsAddress* target, char* name, AdsLibVersion* version) {
    if (!name || !version) return kAdsErrInvalidParameter;
    std::vector<uint8_t> reply;
    const long rc = Lib().Request(port, target, ams::kReadDeviceInfo, {}, &reply);
    if (rc != 0) return rc;
    ams::DeviceInfoReply r;
    if (!ams::DecodeDeviceInfoReply(reply.data(), reply.size(), &r)) return kAdsErrInvalidResponse;
    if (r.result != 0) return static_cast<long>(r.result);
    std::memcpy(name, r.name, sizeof r.name);
    version->version = r.major;
    version->revision = r.minor;
    version->build = r.build;
    return 0;
}

long WriteControlReq(long port, const AdsAddress* target, uint16_t adsState, uint16_t deviceState,
                     uint32_t length, const void* data) {
    if (length && !data) return kAdsErrInvalidParameter;
    std::vector<uint8_t> request;
    ams::PutU16(request, adsState);
    ams::PutU16(request, deviceState);
    ams::PutU32(request, length);
    if (length)
        request.insert(request.end(), static_cast<const uint8_t*>(data),
                       static_cast<const uint8_t*>(data) + length);
    std::vector<uint8_t> reply;
    const long rc = Lib().Request(port, target, ams::kWriteControl, request, &reply);
    if (rc != 0) return rc;
    uint32_t result = 0;
    if (!ams::DecodeResultReply(reply.data(), reply.size(), &result)) return kAdsErrInvalidResponse;
    return static_cast<long>(result);
}

long ReadStateReq(long port, const AdsAddress* target, uint16_t* adsState, uint16_t* deviceState) {
    if (!adsState || !deviceState) return kAdsErrInvalidParameter;
    std::vector<uint8_t> reply;
    const long rc = Lib().Request(port, target, ams::kReadState, {}, &reply);
    if (rc != 0) return rc;
    ams::StateReply r;
    if (!ams::DecodeStateReply(reply.data(), reply.size(), &r)) return kAdsErrInvalidResponse;
    if (r.result != 0) return static_cast<long>(r.result);
    *adsState = r.adsState;
    *deviceState = r.deviceState;
    return 0;
}

long AddNotificationReq(long port, const AdsAddress* target, uint32_t group, uint32_t offset,
                        const AdsNotifyAttrib* attrib, AdsNotifyCallback callback, uint32_t user,
                        uint32_t* handle) {
    if (!attrib || !callback || !handle || !target) return kAdsErrInvalidParameter;
    std::vector<uint8_t> request;
    ams::PutU32(request, group);
    ams::PutU32(request, offset);
    ams::PutU32(request, attrib->length);
    ams::PutU32(request, attrib->transMode);
    ams::PutU32(request, attrib->maxDelay);
    ams::PutU32(request, attrib->cycleTime);
    request.resize(request.size() + 16, 0);
    std::vector<uint8_t> reply;
    std::shared_ptr<Connection> connection;
    const long rc = Lib().Request(port, target, ams::kAddNotification, request, &reply, &connection);
    if (rc != 0) return rc;
    ams::HandleReply r;
    if (!ams::DecodeHandleReply(reply.data(), reply.size(), &r)) return kAdsErrInvalidResponse;
    if (r.result != 0) return static_cast<long>(r.result);
    Lib().AddNotification(connection.get(), r.handle, NotificationEntry{port, *target, callback, user});
    *handle = r.handle;
    return 0;
}

}  // namespace

ADS_EXPORT long AdsGetDllVersion(void) {
    return static_cast<long>(kLibVersion | kLibRevision << 8 | static_cast<unsigned long>(kLibBuild) << 16);
}

ADS_EXPORT long AdsPortOpen(void) {
    return Lib().DefaultPort(true);
}

ADS_EXPORT long AdsPortClose(void) {
    return Done(Lib().PortClose(Lib().DefaultPort(false)));
}

ADS_EXPORT long AdsGetLocalAddress(AdsAddress* address) {
    return Done(Lib().LocalAddress(Lib().DefaultPort(true), address));
}

ADS_EXPORT long AdsSyncWriteReq(const AdsAddress* target, uint32_t group, uint32_t offset, uint32_t length,
                                const void* data) {
    return Done(WriteReq(Lib().DefaultPort(true), target, group, offset, length, data));
}

ADS_EXPORT long AdsSyncReadReq(const AdsAddress* target, uint32_t group, uint32_t offset, uint32_t length,
                               void* data) {
    return Done(ReadReq(Lib().DefaultPort(true), target, group, offset, length, data, nullptr));
}

ADS_EXPORT long AdsSyncWriteReqEx(long port, const AdsAddress* target, uint32_t group, uint32_t offset,
                                  uint32_t length, const void* data) {
    return Done(WriteReq(port, target, group, offset, length, data));
}

ADS_EXPORT long AdsSyncReadWriteReq(const AdsAddress* target, uint32_t group, uint32_t offset,
                                    uint32_t readLength, void* readData, uint32_t writeLength,
                                    const void* writeData) {
    return Done(ReadWriteReq(Lib().DefaultPort(true), target, group, offset, readLength, readData,
                             writeLength, writeData, nullptr));
}

ADS_EXPORT long AdsSyncReadWriteReqEx(const AdsAddress* target, uint32_t group, uint32_t offset,
                                      uint32_t readLength, void* readData, uint32_t writeLength,
                                      const void* writeData, uint32_t* bytesRead) {
    return Done(ReadWriteReq(Lib().DefaultPort(true), target, group, offset, readLength, readData,
                             writeLength, writeData, bytesRead));
}

ADS_EXPORT long AdsSyncReadDeviceInfoReq(const AdsAddress* target, char* name, AdsLibVersion* version) {
    return Done(DeviceInfoReq(Lib().DefaultPort(true), target, name, version));
}

ADS_EXPORT long AdsSyncWriteControlReq(const AdsAddress* target, uint16_t adsState, uint16_t deviceState,
                                       uint32_t length, const void* data) {
    return Done(WriteControlReq(Lib().DefaultPort(true), target, adsState, deviceState, length, data));
}

ADS_EXPORT long AdsSyncReadStateReq(const AdsAddress* target, uint16_t* adsState, uint16_t* deviceState) {
    return Done(ReadStateReq(Lib().DefaultPort(true), target, adsState, deviceState));
}

ADS_EXPORT long AdsSyncAddDeviceNotificationReq(const AdsAddress* target, uint32_t group, uint32_t offset,
                                                const AdsNotifyAttrib* attrib, AdsNotifyCallback callback,
                                                uint32_t user, uint32_t* handle) {
    return Done(
        AddNotificationReq(Lib().DefaultPort(true), target, group, offset, attrib, callback, user, handle));
}

ADS_EXPORT long AdsSyncDelDeviceNotificationReq(const AdsAddress* target, uint32_t handle) {
    return Done(Lib().DeleteNotification(Lib().DefaultPort(true), target, handle));
}

ADS_EXPORT long AdsSyncSetTimeout(long ms) {
    return Done(Lib().SetTimeout(Lib().DefaultPort(true), ms));
}

ADS_EXPORT long AdsGetLastError(void) {
    return t_lastError;
}

ADS_EXPORT long AdsAmsRegisterRouterNotification(AdsRouterCallback callback) {
    if (!callback) return Done(kAdsErrInvalidParameter);
    Lib().SetRouterCallback(callback);
    return Done(0);
}

ADS_EXPORT long AdsAmsUnRegisterRouterNotification(void) {
    Lib().SetRouterCallback(nullptr);
    return Done(0);
}

ADS_EXPORT long AdsSyncGetTimeout(long* ms) {
    return Done(Lib().GetTimeout(Lib().DefaultPort(true), ms));
}

ADS_EXPORT long AdsAmsPortEnabled(int* enabled) {
    return Done(Lib().PortEnabled(Lib().DefaultPort(true), enabled));
}

ADS_EXPORT long AdsPortOpenEx(void) {
    return Lib().PortOpen();
}

ADS_EXPORT long AdsPortCloseEx(long port) {
    return Done(Lib().PortClose(port));
}

ADS_EXPORT long AdsGetLocalAddressEx(long port, AdsAddress* address) {
    return Done(Lib().LocalAddress(port, address));
}

ADS_EXPORT long AdsSyncReadReqEx2(long port, const AdsAddress* target, uint32_t group, uint32_t offset,
                                  uint32_t length, void* data, uint32_t* bytesRead) {
    return Done(ReadReq(port, target, group, offset, length, data, bytesRead));
}

ADS_EXPORT long AdsSyncReadWriteReqEx2(long port, const AdsAddress* target, uint32_t group, uint32_t offset,
                                       uint32_t readLength, void* readData, uint32_t writeLength,
                                       const void* writeData, uint32_t* bytesRead) {
    return Done(
        ReadWriteReq(port, target, group, offset, readLength, readData, writeLength, writeData, bytesRead));
}

ADS_EXPORT long AdsSyncReadDeviceInfoReqEx(long port, const AdsAddress* target, char* name,
                                           AdsLibVersion* version) {
    return Done(DeviceInfoReq(port, target, name, version));
}

ADS_EXPORT long AdsSyncWriteControlReqEx(long port, const AdsAddress* target, uint16_t adsState,
                                         uint16_t deviceState, uint32_t length, const void* data) {
    return Done(WriteControlReq(port, target, adsState, deviceState, length, data));
}

ADS_EXPORT long AdsSyncReadStateReqEx(long port, const AdsAddress* target, uint16_t* adsState,
                                      uint16_t* deviceState) {
    return Done(ReadStateReq(port, target, adsState, deviceState));
}

ADS_EXPORT long AdsSyncAddDeviceNotificationReqEx(long port, const AdsAddress* target, uint32_t group,
                                                  uint32_t offset, const AdsNotifyAttrib* attrib,
                                                  AdsNotifyCallback callback, uint32_t user,
                                                  uint32_t* handle) {
    return Done(AddNotificationReq(port, target, group, offset, attrib, callback, user, handle));
}

ADS_EXPORT long AdsSyncDelDeviceNotificationReqEx(long port, const AdsAddress* target, uint32_t handle) {
    return Done(Lib().DeleteNotification(port, target, handle));
}

ADS_EXPORT long AdsSyncSetTimeoutEx(long port, long ms) {
    return Done(Lib().SetTimeout(port, ms));
}

ADS_EXPORT long AdsSyncGetTimeoutEx(long port, long* ms) {
    return Done(Lib().GetTimeout(port, ms));
}

#ifndef TUNOVA_ADS_LEAVE_OUT_PORT_ENABLED
// Left out of the test build of an incomplete library.
ADS_EXPORT long AdsAmsPortEnabledEx(long port, int* enabled) {
    return Done(Lib().PortEnabled(port, enabled));
}
#endif
