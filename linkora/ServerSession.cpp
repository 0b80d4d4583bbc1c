#include "linkora/ServerSession.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "linkora/Channel.h"

namespace linkora {

namespace {
CServerSessionRegistry* g_registry = nullptr;
std::mutex g_registryMutex;
}  // namespace

CServerSession::CServerSession(std::string serverName) : name_(std::move(serverName)) {}

CServerSession::~CServerSession() {
    for (auto& record : records_) GvtLogout(record->handle);
}

void CServerSession::SetError(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    lastError_ = text;
}

void CServerSession::SetClientError(uint32_t code) {
    char text[256];
    GvtGetError(code, text, sizeof text);
    SetError(text);
}

std::string CServerSession::LastError() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastError_;
}

uint32_t CServerSession::Login(CChannel* owner) {
    librarytable* table = owner ? owner->Table() : nullptr;
    if (!table) {
        SetError("Invalid table function");
        return static_cast<uint32_t>(-1);
    }
    auto record = std::make_unique<LoginRecord>();
    record->owner = owner;
    try {
        size_t libraries = 0;
        while (table[libraries].name) ++libraries;
        record->libraries.resize(libraries + 1);
        record->functions.resize(libraries);
        for (size_t i = 0; i < libraries; ++i) {
            size_t count = 0;
            while (table[i].functions && table[i].functions[count].name) ++count;
            auto& functions = record->functions[i];
            functions.reserve(count);
            for (size_t f = 0; f < count; ++f)
                functions.push_back(GvtFunctionEx{table[i].functions[f].name, table[i].functions[f].word, 0});
            record->libraries[i] =
                GvtLibraryEx{table[i].name, table[i].functions, static_cast<uint32_t>(count),
                             functions.empty() ? nullptr : functions.data()};
        }
        record->libraries[libraries] = GvtLibraryEx{nullptr, nullptr, 0, nullptr};
    } catch (const std::bad_alloc&) {
        SetError("Not enough memory for library table");
        return static_cast<uint32_t>(-2);
    }
    const unsigned long rc = GvtLoginNew(name_.c_str(), record->libraries.data(), &record->handle,
                                         &EventCallback, reinterpret_cast<unsigned long>(this));
    if (rc != kGvtOk) {
        SetClientError(static_cast<uint32_t>(rc));
        return static_cast<uint32_t>(rc);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    records_.push_back(std::move(record));
    return 0;
}

uint32_t CServerSession::Logout(CChannel* owner) {
    unsigned long handle = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = std::find_if(records_.begin(), records_.end(), [&](auto& r) { return r->owner == owner; });
        if (it == records_.end()) return 0;
        handle = (*it)->handle;
    }
    // Outside the lock: the client's event thread may be delivering an event to us.
    const unsigned long rc = GvtLogout(handle);
    if (rc != kGvtOk) {
        SetClientError(static_cast<uint32_t>(rc));
        return static_cast<uint32_t>(rc);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    records_.erase(
        std::remove_if(records_.begin(), records_.end(), [&](auto& r) { return r->owner == owner; }),
        records_.end());
    return 0;
}

uint32_t CServerSession::Call(CChannel* owner, int library, int function, uint16_t firstWord,
                              uint32_t secondWord, void* request, uint32_t requestSize, void* answer,
                              uint32_t answerSize, unsigned long* extra) {
    unsigned long handle = 0, id = 0;
    char text[128];
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = std::find_if(records_.begin(), records_.end(), [&](auto& r) { return r->owner == owner; });
        if (it == records_.end()) return static_cast<uint32_t>(-1);
        const LoginRecord& record = **it;
        const int libraries = static_cast<int>(record.functions.size());
        if (library < 0 || library >= libraries) {
            std::snprintf(text, sizeof text, "Library index out of range. Requested %d in range 0...%d",
                          library, libraries - 1);
            lastError_ = text;
            return 22;
        }
        const int functions = static_cast<int>(record.functions[static_cast<size_t>(library)].size());
        if (function < 0 || function >= functions) {
            std::snprintf(text, sizeof text, "Function index out of range. Requested %d in range 0...%d",
                          function, functions - 1);
            lastError_ = text;
            return 23;
        }
        handle = record.handle;
        id = record.functions[static_cast<size_t>(library)][static_cast<size_t>(function)].id;
    }
    const unsigned long rc =
        GvtCall(handle, firstWord, secondWord, id, request, requestSize, answer, answerSize, extra);
    if (rc != kGvtOk) SetClientError(static_cast<uint32_t>(rc));
    return static_cast<uint32_t>(rc);
}

bool CServerSession::HasLogin(const CChannel* owner) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::any_of(records_.begin(), records_.end(), [&](auto& r) { return r->owner == owner; });
}

void CServerSession::EventCallback(unsigned long context, unsigned long event, unsigned long handle,
                                   unsigned short, unsigned long, void*, unsigned long) {
    auto* session = reinterpret_cast<CServerSession*>(context);
    std::lock_guard<std::mutex> lock(session->mutex_);
    for (auto& record : session->records_)
        if (record->handle == handle) record->owner->OnServerEvent(static_cast<uint32_t>(event & 0xFFFFFFu));
}

CServerSessionRegistry& CServerSessionRegistry::Instance() {
    std::lock_guard<std::mutex> lock(g_registryMutex);
    if (!g_registry) g_registry = new CServerSessionRegistry;
    return *g_registry;
}

void CServerSessionRegistry::Destroy() {
    std::lock_guard<std::mutex> lock(g_registryMutex);
    delete g_registry;
    g_registry = nullptr;
}

CServerSession* CServerSessionRegistry::GetSession(const std::string& serverName) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto& session = sessions_[serverName];
    if (!session) session = std::make_unique<CServerSession>(serverName);
    return session.get();
}

}  // namespace linkora
