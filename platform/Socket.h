#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/IoErrorState.h"

namespace platform {

// The IPv4 address of a dotted address or a host name, in host byte order: 0, or EHOSTUNREACH
// when the name does not resolve.
int ResolveIpv4(const std::string& host, uint32_t& address);
// "192.168.0.10" for an address in host byte order.
std::string Ipv4Text(uint32_t address);

// A TCP client connection (IPv4). Every wait has a time-out on the monotonic clock.
// Failures return -1 with LastError() (an errno value) and LastErrorText().
class TcpSocket : public IoErrorState {
  public:
    TcpSocket() = default;
    ~TcpSocket();
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;
    TcpSocket(TcpSocket&& other) noexcept;
    TcpSocket& operator=(TcpSocket&& other) noexcept;

    // host: dotted IPv4 address or a name; ETIMEDOUT when timeoutMs passes.
    int Connect(const std::string& host, uint16_t port, uint32_t timeoutMs);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

    // Sends every byte (waiting up to timeoutMs for room); the count sent, or -1.
    int Send(const void* data, size_t size, uint32_t timeoutMs = 5000);
    // Waits up to timeoutMs for data and receives what is there (at most size bytes):
    // the count (> 0), 0 on time-out, -1 on failure; a peer that closed is a failure
    // (ECONNRESET, "connection closed by peer").
    int RecvSome(void* buffer, size_t size, uint32_t timeoutMs);
    // Receives until size bytes arrived or timeoutMs passed; the count (0..size) or -1.
    int RecvAll(void* buffer, size_t size, uint32_t timeoutMs);
    // 1 readable (data or end of stream), 0 time-out, -1 failure.
    int WaitReadable(uint32_t timeoutMs);
    // Discards whatever is waiting now, without waiting; the count discarded or -1.
    int DiscardPending();
    int SetNoDelay(bool on);

    int Fd() const { return fd_; }
    // Takes ownership of a connected descriptor (from TcpListener::Accept).
    void Adopt(int fd);

  private:
    int fd_ = -1;
};

// A listening TCP socket. Port 0 asks the system for any free port; Port() tells it.
class TcpListener : public IoErrorState {
  public:
    TcpListener() = default;
    ~TcpListener();
    TcpListener(const TcpListener&) = delete;
    TcpListener& operator=(const TcpListener&) = delete;

    int Listen(const std::string& host, uint16_t port, int backlog = 8);
    uint16_t Port() const { return port_; }
    // 1 with a connection in client, 0 on time-out, -1 on failure.
    int Accept(TcpSocket& client, uint32_t timeoutMs);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

}  // namespace platform
