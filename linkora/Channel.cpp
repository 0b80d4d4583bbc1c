#include "linkora/Channel.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace linkora {

CChannel::CChannel(uint32_t id, std::string definition, std::vector<std::string> tokens,
                   std::vector<int> keywords)
    : id_(id),
      definition_(std::move(definition)),
      tokens_(std::move(tokens)),
      keywords_(std::move(keywords)) {}

CChannel::~CChannel() = default;

bool CChannel::IsConnected() const {
    return session_ && session_->HasLogin(this);
}

void CChannel::CloseIfConnected() {
    if (IsConnected()) {
        std::string scratch;
        Close(scratch);
    }
}

int32_t CChannel::Connect() {
    if (IsConnected()) return 0;
    std::string token = tokens_.size() > 2 ? tokens_[2] : std::string();
    for (char& c : token) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const size_t at = token.find("TCP/IP");
    std::string server;
    if (at != std::string::npos && at + 7 <= token.size()) server = token.substr(at + 7);
    const size_t first = server.find_first_not_of(" \t");
    const size_t last = server.find_last_not_of(" \t");
    server = first == std::string::npos ? std::string() : server.substr(first, last - first + 1);
    serverName_ = server;
    session_ = CServerSessionRegistry::Instance().GetSession(serverName_);
    const int32_t rc = Open(lastError_);
    if (rc != 0) return rc;
    Reset();
    return GetConnectResult();
}

uint32_t CChannel::ServerLogin(librarytable* table, std::string& error) {
    table_ = table;
    if (!session_) {
        error = "Invalid table function";
        return static_cast<uint32_t>(-1);
    }
    const uint32_t rc = session_->Login(this);
    if (rc != 0)
        error = session_->LastError();
    else
        state_ = kStateConnected;
    return rc;
}

uint32_t CChannel::ServerLogout(std::string& error) {
    uint32_t rc = 0;
    if (session_) {
        rc = session_->Logout(this);
        if (rc != 0) error = session_->LastError();
    }
    state_ = kStateDisconnected;
    return rc;
}

uint32_t CChannel::ServerCall(int library, int function, uint16_t firstWord, uint32_t secondWord,
                              void* request, uint32_t requestSize, void* answer, uint32_t answerSize,
                              std::string& error) {
    if (!session_) return static_cast<uint32_t>(-1);
    const uint32_t rc = session_->Call(this, library, function, firstWord, secondWord, request, requestSize,
                                       answer, answerSize, nullptr);
    if (rc != 0) error = session_->LastError();
    return rc;
}

void CChannel::OnServerEvent(uint32_t event) {
    switch (event) {
        case kGvtEventServerDisconnected:
            state_ = kStateServerGone;
            break;
        case kGvtEventNodeOffline:
            state_ = kStateNodeOffline;
            break;
        case kGvtEventNodeReady:
            state_ = kStateNodeReady;
            break;
        default:
            break;
    }
}

bool ParseItemName(const char* name, int32_t& index, int32_t& subindex) {
    if (!name) return false;
    while (*name == ' ' || *name == '\t') ++name;
    const char* dot = std::strchr(name, '.');
    if (!dot || dot == name) return false;
    auto hex = [](const char* p, const char* end) {
        if (end - p >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) p += 2;
        uint32_t v = 0;
        for (; p < end && std::isxdigit(static_cast<unsigned char>(*p)); ++p)
            v = v * 16 + static_cast<uint32_t>(std::isdigit(static_cast<unsigned char>(*p))
                                                   ? *p - '0'
                                                   : std::tolower(static_cast<unsigned char>(*p)) - 'a' + 10);
        return static_cast<int32_t>(v & 0xFFFF);
    };
    index = hex(name, dot);
    subindex = hex(dot + 1, dot + 1 + std::strlen(dot + 1));
    return true;
}

std::string ItemName(int32_t index, int32_t subindex) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%x.%x", static_cast<unsigned>(index),
                  static_cast<unsigned>(subindex));
    return buffer;
}

}  // namespace linkora
