// The communication-server client: one TCP connection per login, a reader thread per
// connection that hands answers to the waiting caller and events to the callback.
#include "platform/gvtcli/GvtCli.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fcntl.h>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/gvtcli/GvtWire.h"

namespace {

uint32_t EnvNumber(const char* name, uint32_t fallback) {
    const char* text = std::getenv(name);
    if (!text || !*text) return fallback;
    char* end = nullptr;
    const unsigned long v = std::strtoul(text, &end, 10);
    return (end && *end == 0 && v > 0 && v <= 0xFFFFFFFFul) ? static_cast<uint32_t>(v) : fallback;
}

// Connects to server:port within timeoutMs; -1 on failure. The library stands alone (it links
// nothing of ours), so it resolves names and opens sockets itself.
int ConnectTo(const std::string& server, uint16_t port, int timeoutMs) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(server.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found) return -1;
    int fd = -1;
    for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
        fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) continue;
        const int flags = fcntl(fd, F_GETFL);
        fcntl(fd, F_SETFL, flags | O_NONBLOCK);
        int rc = connect(fd, a->ai_addr, a->ai_addrlen);
        if (rc != 0 && errno == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            rc = -1;
            if (poll(&p, 1, timeoutMs) == 1) {
                int err = 0;
                socklen_t len = sizeof err;
                if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0) rc = 0;
            }
        }
        if (rc != 0) {
            close(fd);
            fd = -1;
            continue;
        }
        fcntl(fd, F_SETFL, flags);
    }
    freeaddrinfo(found);
    return fd;
}

bool RecvAll(int fd, uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = recv(fd, data, size, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

struct Answer {
    bool done = false;
    gvt::Kind kind{};
    std::vector<uint8_t> body;
};

class Connection : public std::enable_shared_from_this<Connection> {
  public:
    Connection(int fd, unsigned long handle, GvtEventCallback callback, unsigned long context)
        : fd_(fd), handle_(handle), callback_(callback), context_(context) {}
    ~Connection() {
        if (fd_ >= 0) close(fd_);
    }

    void StartReader() {
        auto self = shared_from_this();
        reader_ = std::thread([self] { self->ReaderLoop(); });
    }

    // Sends a message and waits for its answer; a Gvt result code.
    unsigned long Exchange(gvt::Writer& message, uint32_t sequence, gvt::Kind expected,
                           std::vector<uint8_t>& body, uint32_t timeoutMs) {
        Answer answer;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (dead_) return kGvtServerGone;
            waiting_[sequence] = &answer;
        }
        const std::vector<uint8_t>& bytes = message.Finish();
        bool sent;
        {
            std::lock_guard<std::mutex> lock(sendMutex_);
            sent = SendAll(bytes.data(), bytes.size());
        }
        std::unique_lock<std::mutex> lock(mutex_);
        if (sent)
            cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return answer.done || dead_; });
        waiting_.erase(sequence);
        if (!answer.done) return (dead_ || !sent) ? kGvtServerGone : kGvtNoAnswer;
        if (answer.kind != expected) return kGvtProtocolError;
        body = std::move(answer.body);
        return kGvtOk;
    }

    uint32_t NextSequence() {
        std::lock_guard<std::mutex> lock(mutex_);
        return nextSequence_++;
    }

    // Ends the connection and its reader; safe from the reader thread itself.
    void Shut() {
        shutdown(fd_, SHUT_RDWR);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            closing_ = true;
        }
        if (!reader_.joinable()) return;
        if (reader_.get_id() == std::this_thread::get_id())
            reader_.detach();
        else
            reader_.join();
    }

    uint32_t serverHandle = 0;

  private:
    bool SendAll(const uint8_t* data, size_t size) {
        while (size > 0) {
            const ssize_t n = send(fd_, data, size, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            data += n;
            size -= static_cast<size_t>(n);
        }
        return true;
    }

    void ReaderLoop() {
        std::vector<uint8_t> body;
        for (;;) {
            uint8_t header[gvt::kHeaderSize];
            uint32_t size = 0, sequence = 0;
            gvt::Kind kind{};
            if (!RecvAll(fd_, header, sizeof header) || !gvt::ParseHeader(header, size, kind, sequence))
                break;
            body.assign(size, 0);
            if (size && !RecvAll(fd_, body.data(), size)) break;
            if (kind == gvt::Kind::Event) {
                gvt::Reader r(body.data(), body.size());
                r.U32();  // the server's handle: this connection has only one login
                const uint32_t event = r.U32();
                const uint16_t code = r.U16();
                const uint32_t param = r.U32();
                uint32_t n = 0;
                const uint8_t* data = r.Bytes(n);
                if (!r.Failed() && callback_) {
                    std::vector<uint8_t> copy(data, data + n);
                    callback_(context_, event, handle_, code, param, copy.empty() ? nullptr : copy.data(), n);
                }
                continue;
            }
            std::lock_guard<std::mutex> lock(mutex_);
            auto it = waiting_.find(sequence);
            if (it != waiting_.end()) {
                it->second->kind = kind;
                it->second->body = body;
                it->second->done = true;
                cv_.notify_all();
            }
        }
        bool tell;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            dead_ = true;
            tell = !closing_;
            cv_.notify_all();
        }
        // The server went away without a logout: its owner hears it as a server event.
        if (tell && callback_) callback_(context_, kGvtEventServerDisconnected, handle_, 0, 0, nullptr, 0);
    }

    int fd_;
    unsigned long handle_;
    GvtEventCallback callback_;
    unsigned long context_;
    std::thread reader_;
    std::mutex sendMutex_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::map<uint32_t, Answer*> waiting_;
    uint32_t nextSequence_ = 1;
    bool dead_ = false;
    bool closing_ = false;
};

// Every login of the process; ended (connections shut, readers joined) at unload.
class Logins {
  public:
    ~Logins() {
        std::map<unsigned long, std::shared_ptr<Connection>> all;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            all.swap(map_);
        }
        for (auto& [handle, connection] : all) connection->Shut();
    }
    unsigned long Add(const std::shared_ptr<Connection>& connection, unsigned long handle) {
        std::lock_guard<std::mutex> lock(mutex_);
        map_[handle] = connection;
        return handle;
    }
    unsigned long NewHandle() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (++next_ == 0) next_ = 1;
        return next_;
    }
    std::shared_ptr<Connection> Find(unsigned long handle) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = map_.find(handle);
        return it == map_.end() ? nullptr : it->second;
    }
    std::shared_ptr<Connection> Take(unsigned long handle) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = map_.find(handle);
        if (it == map_.end()) return nullptr;
        auto connection = it->second;
        map_.erase(it);
        return connection;
    }

  private:
    std::mutex mutex_;
    std::map<unsigned long, std::shared_ptr<Connection>> map_;
    unsigned long next_ = 0;
};

Logins& AllLogins() {
    static Logins logins;
    return logins;
}

uint32_t CallTimeoutMs() {
    return EnvNumber("TUNOVA_GVTCLI_TIMEOUT_MS", 5000);
}

}  // namespace

extern "C" {

unsigned long GvtLoginNew(const char* server, GvtLibraryEx* table, unsigned long* handle,
                          GvtEventCallback callback, unsigned long context) {
    if (!server || !*server || !table || !handle) return kGvtInvalidArgument;
    const uint16_t port = static_cast<uint16_t>(EnvNumber("TUNOVA_GVTSVR_PORT", gvt::kDefaultPort));
    const int fd = ConnectTo(server, port, 3000);
    if (fd < 0) return kGvtServerUnreachable;
    Logins& logins = AllLogins();
    const unsigned long clientHandle = logins.NewHandle();
    auto connection = std::make_shared<Connection>(fd, clientHandle, callback, context);
    connection->StartReader();

    const uint32_t sequence = connection->NextSequence();
    gvt::Writer message(gvt::Kind::Login, sequence);
    uint16_t libraries = 0;
    while (table[libraries].name && libraries < 0xFFFF) ++libraries;
    message.U16(libraries);
    for (uint16_t i = 0; i < libraries; ++i) {
        message.Text(table[i].name);
        const uint32_t count = table[i].functions ? table[i].count : 0;
        message.U16(static_cast<uint16_t>(count > 0xFFFF ? 0xFFFF : count));
        for (uint32_t f = 0; f < count && f < 0xFFFF; ++f) {
            message.Text(table[i].functions[f].name ? table[i].functions[f].name : "");
            message.U32(table[i].functions[f].word);
        }
    }
    std::vector<uint8_t> body;
    unsigned long rc = connection->Exchange(message, sequence, gvt::Kind::LoginReply, body, CallTimeoutMs());
    if (rc == kGvtOk) {
        gvt::Reader r(body.data(), body.size());
        rc = r.U32();
        connection->serverHandle = r.U32();
        const uint16_t answered = r.U16();
        if (!r.Failed() && rc == kGvtOk && answered != libraries) rc = kGvtProtocolError;
        for (uint16_t i = 0; rc == kGvtOk && i < libraries; ++i) {
            const uint16_t count = r.U16();
            const uint32_t expected =
                table[i].functions ? (table[i].count > 0xFFFF ? 0xFFFF : table[i].count) : 0;
            if (count != expected) rc = kGvtProtocolError;
            for (uint16_t f = 0; rc == kGvtOk && f < count; ++f) table[i].functions[f].id = r.U32();
        }
        if (rc == kGvtOk && r.Failed()) rc = kGvtProtocolError;
    }
    if (rc != kGvtOk) {
        connection->Shut();
        return rc;
    }
    *handle = logins.Add(connection, clientHandle);
    return kGvtOk;
}

unsigned long GvtCall(unsigned long handle, unsigned short firstWord, unsigned long secondWord,
                      unsigned long function, void* request, unsigned long requestSize, void* answer,
                      unsigned long answerSize, unsigned long* extra) {
    if ((requestSize && !request) || (answerSize && !answer) || requestSize > gvt::kMaxBody / 2 ||
        answerSize > gvt::kMaxBody / 2)
        return kGvtInvalidArgument;
    auto connection = AllLogins().Find(handle);
    if (!connection) return kGvtInvalidHandle;
    if (function == gvt::kNoFunction) return kGvtUnknownFunction;
    const uint32_t sequence = connection->NextSequence();
    gvt::Writer message(gvt::Kind::Call, sequence);
    message.U32(connection->serverHandle);
    message.U16(firstWord);
    message.U32(static_cast<uint32_t>(secondWord));
    message.U32(static_cast<uint32_t>(function));
    message.U32(static_cast<uint32_t>(answerSize));
    message.Bytes(request, requestSize);
    std::vector<uint8_t> body;
    unsigned long rc = connection->Exchange(message, sequence, gvt::Kind::CallReply, body, CallTimeoutMs());
    if (rc != kGvtOk) return rc;
    gvt::Reader r(body.data(), body.size());
    rc = r.U32();
    uint32_t n = 0;
    const uint8_t* data = r.Bytes(n);
    if (r.Failed()) return kGvtProtocolError;
    if (rc != kGvtOk) return rc;
    if (n > answerSize) return kGvtProtocolError;
    if (n) std::memcpy(answer, data, n);
    if (answerSize > n) std::memset(static_cast<uint8_t*>(answer) + n, 0, answerSize - n);
    if (extra) *extra = n;
    return kGvtOk;
}

unsigned long GvtGetError(unsigned long code, char* text, unsigned long size) {
    const char* known = nullptr;
    switch (code) {
        case kGvtOk:
            known = "no error";
            break;
        case kGvtServerUnreachable:
            known = "communication server not reachable";
            break;
        case kGvtNoAnswer:
            known = "no answer from the communication server";
            break;
        case kGvtServerGone:
            known = "communication server disconnected";
            break;
        case kGvtInvalidHandle:
            known = "invalid login handle";
            break;
        case kGvtUnknownFunction:
            known = "function not available on the communication server";
            break;
        case kGvtInvalidArgument:
            known = "invalid argument";
            break;
        case kGvtProtocolError:
            known = "malformed answer from the communication server";
            break;
        case kGvtNodeNotPresent:
            known = "node not present on the network";
            break;
        case kGvtOutOfMemory:
            known = "out of memory";
            break;
        case kGvtRefused:
            known = "request refused by the communication server";
            break;
        default:
            break;
    }
    char buffer[64];
    if (!known) {
        std::snprintf(buffer, sizeof buffer, "communication server error 0x%lX", code);
        known = buffer;
    }
    const size_t length = std::strlen(known);
    if (text && size) {
        const size_t n = length < size - 1 ? length : size - 1;
        std::memcpy(text, known, n);
        text[n] = 0;
    }
    return static_cast<unsigned long>(length);
}

unsigned long GvtLogout(unsigned long handle) {
    auto connection = AllLogins().Take(handle);
    if (!connection) return kGvtInvalidHandle;
    const uint32_t sequence = connection->NextSequence();
    gvt::Writer message(gvt::Kind::Logout, sequence);
    message.U32(connection->serverHandle);
    std::vector<uint8_t> body;
    unsigned long rc = connection->Exchange(message, sequence, gvt::Kind::LogoutReply, body, CallTimeoutMs());
    if (rc == kGvtOk) {
        gvt::Reader r(body.data(), body.size());
        rc = r.U32();
        if (r.Failed()) rc = kGvtProtocolError;
    }
    // Closing the connection ends the login on the server too, so only a refusal the
    // server answered is reported; the handle is released either way.
    connection->Shut();
    return (rc == kGvtServerGone || rc == kGvtNoAnswer) ? kGvtOk : rc;
}
}
