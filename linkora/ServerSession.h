#pragma once
// The library's side of the communication server: one session per server name, a login
// record per channel, calls of server functions by library and function index.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/gvtcli/GvtCli.h"

namespace linkora {

// The caller's form of a library table: entries ended by a null name.
struct LinkoraFunction {
    const char* name;
    uint32_t word;
};
struct librarytable {
    const char* name;
    const LinkoraFunction* functions;  // ended by a null name
};

class CChannel;

class CServerSession {
  public:
    explicit CServerSession(std::string serverName);
    ~CServerSession();
    CServerSession(const CServerSession&) = delete;
    CServerSession& operator=(const CServerSession&) = delete;

    // 0, -1 no table, -2/-3 out of memory, or the client's login result.
    uint32_t Login(CChannel* owner);
    uint32_t Logout(CChannel* owner);
    // -1 no login, 22 library index, 23 function index out of range, or the call result.
    uint32_t Call(CChannel* owner, int library, int function, uint16_t firstWord, uint32_t secondWord,
                  void* request, uint32_t requestSize, void* answer, uint32_t answerSize,
                  unsigned long* extra);
    bool HasLogin(const CChannel* owner) const;
    std::string LastError() const;
    const std::string& ServerName() const { return name_; }

  private:
    struct LoginRecord {
        unsigned long handle = 0;
        std::vector<GvtLibraryEx> libraries;  // closed by a null entry
        std::vector<std::vector<GvtFunctionEx>> functions;
        CChannel* owner = nullptr;
    };
    static void EventCallback(unsigned long context, unsigned long event, unsigned long handle,
                              unsigned short code, unsigned long param, void* data, unsigned long size);
    void SetError(const std::string& text);
    void SetClientError(uint32_t code);

    std::string name_;
    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<LoginRecord>> records_;
    std::string lastError_;
};

// Sessions by server name, shared by every channel of the library.
class CServerSessionRegistry {
  public:
    static CServerSessionRegistry& Instance();
    static void Destroy();
    CServerSession* GetSession(const std::string& serverName);

  private:
    std::mutex mutex_;
    std::map<std::string, std::unique_ptr<CServerSession>> sessions_;
};

}  // namespace linkora
