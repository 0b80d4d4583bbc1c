#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/Channel.h"
#include "engine/Main.h"
#include "engine/VocabularyItem.h"
#include "platform/Messages.h"

namespace engine {

// The object through which the rest of the program uses the engine. Most operations empty the
// engine's error pair first and then call it.
class CMainApi {
  public:
    explicit CMainApi(platform::WindowHandle owner);
    ~CMainApi();
    CMainApi(const CMainApi&) = delete;
    CMainApi& operator=(const CMainApi&) = delete;

    CMain* Engine() { return engine_.get(); }
    bool EngineCreated() const { return engineCreated_; }
    const std::string& CreationError() const { return creationError_; }

    int SelectChannel(int index);
    int ChannelConfigure(const CChannelSettings& settings);
    int GetChannelConfig(CChannelSettings& settings);
    int ChannelOpen(const CChannelSettings& settings, platform::WindowHandle parent);
    // -1 the current channel, -2 every channel of the engine.
    int ChannelClose(int index);
    // With a null buffer: the length of the last-error text; else the number of bytes copied.
    int GetLastErrorText(char* buffer, size_t size);
    int ReadCell(const std::string& name, uint32_t* value);
    int WriteCell(const std::string& name, uint32_t value);
    int GetCellInfo(const std::string& name, VocabularyItem& info);
    // restart 0 starts the walk from the first item.
    int GetNextCellInfo(int restart, VocabularyItem& info);
    int SelectNode(uint8_t nodeId);
    int NodeDisconnect(uint8_t nodeId, int channelIndex);

  private:
    int CheckCurrentChannel(CChannel** channel);

    std::unique_ptr<CMain> engine_;
    bool engineCreated_ = false;
    std::string creationError_;
    // Item walk of the current node's vocabulary.
    std::vector<std::string> walkNames_;
    size_t walkNext_ = 0;
};

}  // namespace engine
