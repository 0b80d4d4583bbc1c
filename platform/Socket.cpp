#include "platform/Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Clock.h"

namespace platform {

namespace {

bool Resolve(const std::string& host, uint16_t port, sockaddr_in& address, int& error) {
    address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (host.empty() || host == "*") {
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        return true;
    }
    uint32_t ip = 0;
    if (ResolveIpv4(host, ip) != 0) {
        error = EHOSTUNREACH;
        return false;
    }
    address.sin_addr.s_addr = htonl(ip);
    return true;
}

// poll() that restarts after signals with the time left; the poll result.
int PollFor(int fd, short events, int64_t deadline, short& revents) {
    for (;;) {
        const int64_t left = MsLeftUntil(deadline);
        pollfd pfd{fd, events, 0};
        const int rc = ::poll(&pfd, 1, left > 0 ? static_cast<int>(left) : 0);
        if (rc < 0 && errno == EINTR) continue;
        revents = pfd.revents;
        return rc;
    }
}

}  // namespace

int ResolveIpv4(const std::string& host, uint32_t& address) {
    in_addr ip{};
    if (inet_pton(AF_INET, host.c_str(), &ip) != 1) {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* result = nullptr;
        if (host.empty() || getaddrinfo(host.c_str(), nullptr, &hints, &result) != 0 || !result) {
            return EHOSTUNREACH;
        }
        ip = reinterpret_cast<sockaddr_in*>(result->ai_addr)->sin_addr;
        freeaddrinfo(result);
    }
    address = ntohl(ip.s_addr);
    return 0;
}

std::string Ipv4Text(uint32_t address) {
    in_addr ip{};
    ip.s_addr = htonl(address);
    char dotted[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &ip, dotted, sizeof dotted);
    return dotted;
}

TcpSocket::~TcpSocket() {
    Close();
}

TcpSocket::TcpSocket(TcpSocket&& other) noexcept : IoErrorState(std::move(other)), fd_(other.fd_) {
    other.fd_ = -1;
}

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        other.fd_ = -1;
        IoErrorState::operator=(std::move(other));
    }
    return *this;
}

void TcpSocket::Adopt(int fd) {
    Close();
    fd_ = fd;
    if (fd_ >= 0) fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
}

void TcpSocket::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

int TcpSocket::Connect(const std::string& host, uint16_t port, uint32_t timeoutMs) {
    Close();
    ClearError();
    sockaddr_in address{};
    int error = 0;
    if (!Resolve(host, port, address, error)) return Fail(error, "resolve " + host);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return Fail(errno, "socket");
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (errno != EINPROGRESS) {
            const int e = errno;
            ::close(fd);
            return Fail(e, "connect");
        }
        short revents = 0;
        const int rc = PollFor(fd, POLLOUT, DeadlineAfterMs(timeoutMs), revents);
        if (rc <= 0) {
            const int e = rc == 0 ? ETIMEDOUT : errno;
            ::close(fd);
            return Fail(e, "connect");
        }
        int soError = 0;
        socklen_t length = sizeof soError;
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &length);
        if (soError != 0) {
            ::close(fd);
            return Fail(soError, "connect");
        }
    }
    fd_ = fd;
    return 0;
}

int TcpSocket::Send(const void* data, size_t size, uint32_t timeoutMs) {
    if (fd_ < 0) return Fail(EBADF, "send");
    const auto* in = static_cast<const uint8_t*>(data);
    size_t done = 0;
    const int64_t deadline = DeadlineAfterMs(timeoutMs);
    while (done < size) {
        const ssize_t n = ::send(fd_, in + done, size - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return Fail(errno, "send");
        short revents = 0;
        const int rc = PollFor(fd_, POLLOUT, deadline, revents);
        if (rc < 0) return Fail(errno, "poll");
        if (rc == 0) break;
    }
    return static_cast<int>(done);
}

int TcpSocket::WaitReadable(uint32_t timeoutMs) {
    if (fd_ < 0) return Fail(EBADF, "wait");
    short revents = 0;
    const int rc = PollFor(fd_, POLLIN, DeadlineAfterMs(timeoutMs), revents);
    if (rc < 0) return Fail(errno, "poll");
    return rc > 0 ? 1 : 0;
}

int TcpSocket::RecvSome(void* buffer, size_t size, uint32_t timeoutMs) {
    if (fd_ < 0) return Fail(EBADF, "recv");
    if (size == 0) return 0;
    const int64_t deadline = DeadlineAfterMs(timeoutMs);
    for (;;) {
        const ssize_t n = ::recv(fd_, buffer, size, 0);
        if (n > 0) return static_cast<int>(n);
        if (n == 0) return FailWithText(ECONNRESET, "recv: connection closed by peer");
        if (errno == EINTR) continue;
        if (errno != EAGAIN) return Fail(errno, "recv");
        short revents = 0;
        const int rc = PollFor(fd_, POLLIN, deadline, revents);
        if (rc < 0) return Fail(errno, "poll");
        if (rc == 0) return 0;
    }
}

int TcpSocket::RecvAll(void* buffer, size_t size, uint32_t timeoutMs) {
    auto* out = static_cast<uint8_t*>(buffer);
    size_t got = 0;
    const int64_t deadline = DeadlineAfterMs(timeoutMs);
    while (got < size) {
        const int64_t left = MsLeftUntil(deadline);
        const int n = RecvSome(out + got, size - got, left > 0 ? static_cast<uint32_t>(left) : 0);
        if (n < 0) return -1;
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    return static_cast<int>(got);
}

int TcpSocket::DiscardPending() {
    if (fd_ < 0) return Fail(EBADF, "recv");
    int total = 0;
    uint8_t scratch[512];
    for (;;) {
        const ssize_t n = ::recv(fd_, scratch, sizeof scratch, MSG_DONTWAIT);
        if (n > 0) {
            total += static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) return total;
        if (n == 0) return FailWithText(ECONNRESET, "recv: connection closed by peer");
        return Fail(errno, "recv");
    }
}

int TcpSocket::SetNoDelay(bool on) {
    if (fd_ < 0) return Fail(EBADF, "setsockopt");
    const int value = on ? 1 : 0;
    if (setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &value, sizeof value) != 0)
        return Fail(errno, "setsockopt");
    return 0;
}

TcpListener::~TcpListener() {
    Close();
}

int TcpListener::Listen(const std::string& host, uint16_t port, int backlog) {
    Close();
    sockaddr_in address{};
    int error = 0;
    if (!Resolve(host, port, address, error)) return Fail(error, "resolve " + host);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return Fail(errno, "socket");
    const int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, backlog) != 0) {
        const int e = errno;
        ::close(fd);
        return Fail(e, "listen " + host + ":" + std::to_string(port));
    }
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    fd_ = fd;
    return 0;
}

int TcpListener::Accept(TcpSocket& client, uint32_t timeoutMs) {
    if (fd_ < 0) return Fail(EBADF, "accept");
    const int64_t deadline = DeadlineAfterMs(timeoutMs);
    for (;;) {
        const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            client.Adopt(fd);
            return 1;
        }
        if (errno == EINTR || errno == ECONNABORTED) continue;
        if (errno != EAGAIN) return Fail(errno, "accept");
        short revents = 0;
        const int rc = PollFor(fd_, POLLIN, deadline, revents);
        if (rc < 0) return Fail(errno, "poll");
        if (rc == 0) return 0;
    }
}

void TcpListener::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    port_ = 0;
}

}  // namespace platform
