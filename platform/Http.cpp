#include "platform/Http.h"

#include <curl/curl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace platform {

namespace {

using SteadyClock = std::chrono::steady_clock;

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// State of one GetFile call, handed to libcurl's callbacks.
struct Transfer {
    std::string* data = nullptr;
    size_t maxSize = 0;
    bool tooLong = false;
    const std::function<void(const std::string&)>* sink = nullptr;
    std::string host;
    std::string statusText;
    bool requestSent = false;
    uint32_t idleMs = 0;
    curl_off_t lastBytes = -1;
    SteadyClock::time_point lastActivity;
    bool timedOut = false;

    void Status(const std::string& text) const {
        if (sink && *sink) (*sink)(text);
    }
};

size_t OnBody(char* bytes, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    if (n > t->maxSize - t->data->size()) {
        t->tooLong = true;
        return 0;  // aborts the transfer
    }
    t->data->append(bytes, n);
    return n;
}

size_t OnHeader(char* bytes, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    std::string line(bytes, n);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    if (line.rfind("HTTP/", 0) == 0) {
        if (!t->requestSent) {
            t->requestSent = true;
            t->Status("Request sent");
        }
        // "HTTP/1.1 404 Not Found": the text after the code; each answer of a redirect
        // chain replaces the one before.
        t->statusText.clear();
        size_t codeStart = line.find(' ');
        if (codeStart != std::string::npos) {
            size_t textStart = line.find(' ', codeStart + 1);
            if (textStart != std::string::npos) t->statusText = line.substr(textStart + 1);
        }
    }
    return n;
}

int OnProgress(void* user, curl_off_t, curl_off_t dlNow, curl_off_t, curl_off_t) {
    auto* t = static_cast<Transfer*>(user);
    const auto now = SteadyClock::now();
    if (dlNow != t->lastBytes) {
        t->lastBytes = dlNow;
        t->lastActivity = now;
        return 0;
    }
    if (now - t->lastActivity >= std::chrono::milliseconds(t->idleMs)) {
        t->timedOut = true;
        return 1;
    }
    return 0;
}

int OnPrereq(void* user, char*, char*, int, int) {
    auto* t = static_cast<Transfer*>(user);
    t->Status("Connected to socket address");
    t->Status("Sending request...");
    return CURL_PREREQFUNC_OK;
}

curl_socket_t OnOpenSocket(void* user, curlsocktype, struct curl_sockaddr* address) {
    auto* t = static_cast<Transfer*>(user);
    t->Status("Resolved name for " + t->host);
    t->Status("Connecting to socket address ");
    int fd = ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
    return fd < 0 ? CURL_SOCKET_BAD : fd;
}

// Called with the session's owner, also when the connection cache closes a connection later.
int OnCloseSocket(void* user, curl_socket_t fd) {
    auto* sink = static_cast<const std::function<void(const std::string&)>*>(user);
    if (*sink) (*sink)("Closing the connection to the server");
    ::close(fd);
    if (*sink) (*sink)("Connection to the server closed");
    return 0;
}

std::string HostOf(const std::string& address) {
    std::string host;
    CURLU* url = curl_url();
    if (!url) return host;
    char* part = nullptr;
    if (curl_url_set(url, CURLUPART_URL, address.c_str(), 0) == CURLUE_OK &&
        curl_url_get(url, CURLUPART_HOST, &part, 0) == CURLUE_OK && part) {
        host = part;
    }
    curl_free(part);
    curl_url_cleanup(url);
    return host;
}

// Loopback never goes through a proxy; the user's own exceptions stay.
std::string NoProxyList() {
    std::string list = "localhost,127.0.0.1,::1";
    for (const char* name : {"no_proxy", "NO_PROXY"}) {
        const char* value = std::getenv(name);
        if (value && *value) {
            list += ",";
            list += value;
            break;
        }
    }
    return list;
}

}  // namespace

CWebGrab::CWebGrab() {
    GlobalInit();
}

CWebGrab::~CWebGrab() {
    // The sink may belong to a window that is already gone.
    statusSink_ = nullptr;
    CloseSession();
}

void CWebGrab::CloseSession() {
    if (session_) {
        curl_easy_cleanup(static_cast<CURL*>(session_));
        session_ = nullptr;
    }
}

void CWebGrab::SetProxy(bool use, const std::string& host, uint16_t port) {
    useProxy_ = use;
    proxyHost_ = host;
    proxyPort_ = port;
}

bool CWebGrab::Initialise(const std::string& agent) {
    CloseSession();
    CURL* curl = curl_easy_init();
    if (!curl) {
        error_ = "Cannot create an internet session";
        return false;
    }
    session_ = curl;
    const uint32_t timeout = receiveTimeoutMs_ ? receiveTimeoutMs_ : kDefaultReceiveTimeoutMs;
    curl_easy_setopt(curl, CURLOPT_USERAGENT, agent.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeout));
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(maxSize_));
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(curl, CURLOPT_PREREQFUNCTION, OnPrereq);
    curl_easy_setopt(curl, CURLOPT_OPENSOCKETFUNCTION, OnOpenSocket);
    curl_easy_setopt(curl, CURLOPT_CLOSESOCKETFUNCTION, OnCloseSocket);
    curl_easy_setopt(curl, CURLOPT_CLOSESOCKETDATA, &statusSink_);
    if (useProxy_) {
        const std::string proxy = proxyHost_ + ":" + std::to_string(proxyPort_);
        curl_easy_setopt(curl, CURLOPT_PROXY, proxy.c_str());
        // An explicit proxy has no bypass list: every address goes through it, whatever no_proxy says.
        curl_easy_setopt(curl, CURLOPT_NOPROXY, "");
    } else {
        const std::string noProxy = NoProxyList();
        curl_easy_setopt(curl, CURLOPT_NOPROXY, noProxy.c_str());
    }
    if (statusSink_) statusSink_("");
    return true;
}

bool CWebGrab::GetFile(const std::string& address, std::string& data, const std::string& agent) {
    statusText_.clear();
    statusCode_ = 0;
    error_.clear();
    data.clear();
    if (!session_ && !Initialise(agent)) return false;
    if (address.empty()) {
        error_ = "Cannot download: no address";
        return false;
    }
    CURL* curl = static_cast<CURL*>(session_);

    Transfer t;
    t.data = &data;
    t.maxSize = maxSize_;
    t.sink = &statusSink_;
    t.host = HostOf(address);
    t.idleMs = receiveTimeoutMs_ ? receiveTimeoutMs_ : kDefaultReceiveTimeoutMs;
    t.lastActivity = SteadyClock::now();
    char detail[CURL_ERROR_SIZE] = {};

    curl_easy_setopt(curl, CURLOPT_URL, address.c_str());
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, detail);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &t);
    curl_easy_setopt(curl, CURLOPT_PREREQDATA, &t);
    curl_easy_setopt(curl, CURLOPT_OPENSOCKETDATA, &t);

    t.Status("Resolving name for " + t.host);
    const CURLcode rc = curl_easy_perform(curl);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);

    long code = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &code);
    statusCode_ = static_cast<int>(code);
    statusText_ = t.statusText;
    if (rc == CURLE_OK) {
        t.Status("Response received");
        t.Status("Request complete");
        return true;
    }

    const std::string prefix = "Cannot download " + address + ": ";
    if (t.timedOut || rc == CURLE_OPERATION_TIMEDOUT) {
        error_ = prefix + "no answer within " + std::to_string(t.idleMs) + " ms";
    } else if (t.tooLong || rc == CURLE_FILESIZE_EXCEEDED) {
        error_ = prefix + "the answer is longer than " + std::to_string(maxSize_) + " bytes";
    } else if (rc == CURLE_PARTIAL_FILE) {
        error_ = prefix + "the answer ended after " + std::to_string(data.size()) + " bytes, before its end";
    } else {
        error_ = prefix + (detail[0] ? detail : curl_easy_strerror(rc));
    }
    // Part of an answer is never handed on as if it were the file.
    data.clear();
    t.Status("Request complete");
    return false;
}

}  // namespace platform
