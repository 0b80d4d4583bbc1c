#pragma once

// Fetches one file over HTTP or HTTPS into memory (libcurl). One object keeps one session
// (connection cache, agent, time-outs, proxy) from its first download on.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace platform {

class CWebGrab {
  public:
    // Idle time without any received byte after which a download is given up, when no
    // receive time-out is set.
    static constexpr uint32_t kDefaultReceiveTimeoutMs = 30000;
    // Larger answers are refused rather than held in memory.
    static constexpr size_t kDefaultMaxSize = 64u * 1024u * 1024u;

    CWebGrab();
    ~CWebGrab();
    CWebGrab(const CWebGrab&) = delete;
    CWebGrab& operator=(const CWebGrab&) = delete;

    // Creates a new session with this agent name (closing an existing one) and applies the
    // receive time-out and the proxy; true when the session exists.
    bool Initialise(const std::string& agent);
    bool HasSession() const { return session_ != nullptr; }

    // Downloads the address into data. Without a session one is created with the agent name;
    // a session that exists keeps its own agent. True when a whole answer arrived, whatever its
    // status code (an error page is data like any other: see StatusCode()); false with
    // Error() when the session could not be made, the address not opened, the answer ended
    // early, nothing arrived within the receive time-out or the answer is too long. Redirects
    // are followed; only http and https are spoken.
    bool GetFile(const std::string& address, std::string& data, const std::string& agent);

    // 0 leaves the session's default (kDefaultReceiveTimeoutMs); applied at Initialise.
    void SetReceiveTimeout(uint32_t ms) { receiveTimeoutMs_ = ms; }
    uint32_t ReceiveTimeout() const { return receiveTimeoutMs_; }
    // An explicit proxy ("host:port"); applied at Initialise.
    void SetProxy(bool use, const std::string& host, uint16_t port);
    void SetMaxSize(size_t bytes) { maxSize_ = bytes; }

    // Progress texts of the session ("Resolving name for %s", "Request sent", ...) for a
    // status window; called on the downloading thread.
    void SetStatusSink(std::function<void(const std::string&)> sink) { statusSink_ = std::move(sink); }

    // Of the last download: 0 before any answer.
    int StatusCode() const { return statusCode_; }
    const std::string& StatusText() const { return statusText_; }
    // Why the last download failed; empty after success.
    const std::string& Error() const { return error_; }

  private:
    void CloseSession();

    void* session_ = nullptr;  // CURL easy handle
    uint32_t receiveTimeoutMs_ = 0;
    bool useProxy_ = false;
    std::string proxyHost_;
    uint16_t proxyPort_ = 0;
    size_t maxSize_ = kDefaultMaxSize;
    std::function<void(const std::string&)> statusSink_;
    int statusCode_ = 0;
    std::string statusText_;
    std::string error_;
};

}  // namespace platform
