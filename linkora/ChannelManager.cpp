#include "linkora/ChannelManager.h"

#include <cctype>

#include "linkora/CanOpenChannel.h"
#include "linkora/EtherCatChannel.h"
#include "platform/Host.h"
#include "platform/StringHelpers.h"

namespace linkora {

namespace {

enum Keyword { kTcpIp = 1, kCanOpen = 2, kModbus = 3, kEtherCat = 4 };

std::mutex g_processMutex;
std::map<uint32_t, std::unique_ptr<CChannelManager>>* g_processes = nullptr;

}  // namespace

void SplitDefinition(const std::string& definition, std::vector<std::string>& tokens,
                     std::vector<int>& keywords) {
    const std::string text = platform::Lower(definition);
    size_t at = 0;
    while (tokens.size() < 10 && at < text.size()) {
        if (text[at] == ':') {
            tokens.push_back(text.substr(at));
            break;
        }
        const size_t colon = text.find(':', at);
        if (colon == std::string::npos) {
            tokens.push_back(text.substr(at));
            break;
        }
        tokens.push_back(text.substr(at, colon - at));
        at = colon + 1;
    }
    static const struct {
        const char* word;
        int code;
    } kKeywords[] = {{"tcp/ip", kTcpIp},
                     {"canopen", kCanOpen},
                     {"nodeid", kCanOpen},
                     {"modbus", kModbus},
                     {"ethercat", kEtherCat}};
    for (const std::string& token : tokens) {
        for (const auto& k : kKeywords) {
            if (token.find(k.word) != std::string::npos) {
                keywords.push_back(k.code);
                break;
            }
        }
    }
}

CChannelManager::~CChannelManager() {
    DestroyAll();
}

int32_t CChannelManager::Create(const char* definition) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string text = definition ? definition : "";
    for (auto& [id, channel] : channels_)
        if (channel->Definition() == text) return static_cast<int32_t>(id);
    if (text.empty()) return -1;
    std::vector<std::string> tokens;
    std::vector<int> keywords;
    SplitDefinition(text, tokens, keywords);
    if (tokens.size() < 4 || keywords.size() < 4) return -1;
    const int bus = keywords[3];
    if (bus != kCanOpen && bus != kEtherCat) return -1;
    uint32_t id = lastId_ + 1;
    if (id == 0) id = 1;
    // Ids stay small positive numbers; one still in use is not issued again.
    while (channels_.count(id) || id > 0x7FFFFFFFu) id = (id >= 0x7FFFFFFFu) ? 1 : id + 1;
    lastId_ = id;
    std::shared_ptr<CChannel> channel;
    if (bus == kCanOpen)
        channel = std::make_shared<CCanOpenChannel>(id, text, std::move(tokens), std::move(keywords));
    else
        channel = std::make_shared<CEtherCatChannel>(id, text, std::move(tokens), std::move(keywords));
    channels_[id] = std::move(channel);
    return static_cast<int32_t>(id);
}

void CChannelManager::Destroy(int32_t id) {
    std::shared_ptr<CChannel> gone;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const uint32_t key = id == 0 ? defaultId_.load() : static_cast<uint32_t>(id);
        auto it = channels_.find(key);
        if (it == channels_.end()) return;
        gone = std::move(it->second);
        channels_.erase(it);
    }
    // Destroyed outside the lock (it stops threads and logs out); a call still running on
    // it keeps it until that call returns.
}

void CChannelManager::DestroyAll() {
    std::map<uint32_t, std::shared_ptr<CChannel>> gone;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        gone.swap(channels_);
    }
}

std::shared_ptr<CChannel> CChannelManager::Find(int32_t id) {
    std::lock_guard<std::mutex> lock(mutex_);
    const uint32_t key = id == 0 ? defaultId_.load() : static_cast<uint32_t>(id);
    auto it = channels_.find(key);
    return it == channels_.end() ? nullptr : it->second;
}

CChannelManager* CChannelManager::ForCurrentProcess() {
    std::lock_guard<std::mutex> lock(g_processMutex);
    if (!g_processes) return nullptr;
    auto it = g_processes->find(platform::CurrentProcessId());
    return it == g_processes->end() ? nullptr : it->second.get();
}

void CChannelManager::Attach() {
    std::unique_ptr<CChannelManager> old;
    std::lock_guard<std::mutex> lock(g_processMutex);
    if (!g_processes) g_processes = new std::map<uint32_t, std::unique_ptr<CChannelManager>>;
    auto& slot = (*g_processes)[platform::CurrentProcessId()];
    old = std::move(slot);
    slot = std::make_unique<CChannelManager>();
}

void CChannelManager::Detach() {
    std::map<uint32_t, std::unique_ptr<CChannelManager>>* all;
    {
        std::lock_guard<std::mutex> lock(g_processMutex);
        all = g_processes;
        g_processes = nullptr;
    }
    delete all;
}

}  // namespace linkora
