#pragma once

// A small HTTP/1.1 server on 127.0.0.1 for download tests, run on a thread of the test program.
// Each request is answered by the test's handler; replies can stall, be cut short, close without
// answering, or come without a length or in chunks. Connections are kept alive between requests.

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/Socket.h"

namespace http_test {

struct Request {
    std::string method;
    std::string path;
    std::string userAgent;
    int connection = 0;  // number of the connection it came on, from 1
};

struct Reply {
    enum class Length { Declared, CloseDelimited, Chunked };
    int status = 200;
    std::string reason = "OK";
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    Length length = Length::Declared;
    size_t cutAfter = std::string::npos;  // send only this many body bytes, then close
    int stallMs = 0;                      // wait before answering
    bool closeWithoutAnswer = false;

    static Reply Text(std::string body, int status = 200, std::string reason = "OK") {
        Reply r;
        r.status = status;
        r.reason = std::move(reason);
        r.body = std::move(body);
        return r;
    }
    static Reply Redirect(const std::string& location) {
        Reply r;
        r.status = 302;
        r.reason = "Found";
        r.headers.emplace_back("Location", location);
        return r;
    }
};

class LocalHttpServer {
  public:
    using Handler = std::function<Reply(const Request&)>;

    ~LocalHttpServer() { Stop(); }

    bool Start(Handler handler) {
        handler_ = std::move(handler);
        if (listener_.Listen("127.0.0.1", 0) != 0) return false;
        stop_ = false;
        thread_ = std::thread([this] { Serve(); });
        return true;
    }
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        listener_.Close();
    }
    uint16_t Port() const { return listener_.Port(); }
    std::string Base() const { return "http://127.0.0.1:" + std::to_string(Port()); }
    std::vector<Request> Requests() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

  private:
    void Serve() {
        int connections = 0;
        while (!stop_) {
            platform::TcpSocket client;
            if (listener_.Accept(client, 20) != 1) continue;
            ++connections;
            while (!stop_ && ServeOne(client, connections)) {
            }
        }
    }

    // One request on the connection; false when the connection is over.
    bool ServeOne(platform::TcpSocket& client, int connection) {
        std::string head;
        const auto idleEnd = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (head.find("\r\n\r\n") == std::string::npos) {
            if (stop_ || std::chrono::steady_clock::now() > idleEnd) return false;
            char buffer[2048];
            int n = client.RecvSome(buffer, sizeof buffer, 20);
            if (n < 0) return false;
            head.append(buffer, static_cast<size_t>(n));
        }
        Request request;
        request.connection = connection;
        size_t lineEnd = head.find("\r\n");
        std::string first = head.substr(0, lineEnd);
        size_t a = first.find(' ');
        size_t b = first.find(' ', a + 1);
        request.method = first.substr(0, a);
        request.path = first.substr(a + 1, b - a - 1);
        size_t agent = head.find("User-Agent: ");
        if (agent != std::string::npos) {
            size_t end = head.find("\r\n", agent);
            request.userAgent = head.substr(agent + 12, end - agent - 12);
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(request);
        }
        Reply reply = handler_(request);
        for (int waited = 0; waited < reply.stallMs && !stop_; waited += 10) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (reply.closeWithoutAnswer || stop_) return false;

        std::string out = "HTTP/1.1 " + std::to_string(reply.status) + " " + reply.reason + "\r\n";
        for (auto& [name, value] : reply.headers) out += name + ": " + value + "\r\n";
        const std::string body = reply.body.substr(0, reply.cutAfter);
        const bool cut = body.size() < reply.body.size();
        switch (reply.length) {
            case Reply::Length::Declared:
                out += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n\r\n" + body;
                break;
            case Reply::Length::CloseDelimited:
                out += "Connection: close\r\n\r\n" + body;
                break;
            case Reply::Length::Chunked: {
                out += "Transfer-Encoding: chunked\r\n\r\n";
                // Chunks of 1000 bytes; a cut reply stops inside the data.
                for (size_t at = 0; at < reply.body.size(); at += 1000) {
                    std::string chunk = reply.body.substr(at, 1000);
                    char size[16];
                    std::snprintf(size, sizeof size, "%zx\r\n", chunk.size());
                    out += size;
                    if (at + chunk.size() > body.size()) {
                        out += chunk.substr(0, body.size() > at ? body.size() - at : 0);
                        break;
                    }
                    out += chunk + "\r\n";
                }
                if (!cut) out += "0\r\n\r\n";
                break;
            }
        }
        if (client.Send(out.data(), out.size()) < 0) return false;
        return !cut && reply.length != Reply::Length::CloseDelimited;
    }

    Handler handler_;
    platform::TcpListener listener_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<Request> requests_;
};

}  // namespace http_test
