#pragma once
// The channels of one process, by small integer id; id 0 names the default channel.
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "linkora/Channel.h"

namespace linkora {

class CChannelManager {
  public:
    ~CChannelManager();
    // An existing channel's id for the same definition, a new id, or -1.
    int32_t Create(const char* definition);
    void Destroy(int32_t id);
    void DestroyAll();
    void SetDefault(int32_t id) { defaultId_ = static_cast<uint32_t>(id); }
    // The channel of an id (0: the default one); null when there is none.
    std::shared_ptr<CChannel> Find(int32_t id);

    // The manager of the calling process, null when it has none.
    static CChannelManager* ForCurrentProcess();
    static void Attach();
    static void Detach();

  private:
    std::mutex mutex_;
    uint32_t lastId_ = 0;
    std::map<uint32_t, std::shared_ptr<CChannel>> channels_;
    std::atomic<uint32_t> defaultId_{0};
};

// Splits a definition (lower-cased) into at most 10 tokens at ':' and classifies them.
void SplitDefinition(const std::string& definition, std::vector<std::string>& tokens,
                     std::vector<int>& keywords);

}  // namespace linkora
