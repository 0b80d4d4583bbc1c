#pragma once

#include <string>

#include "engine/ChannelDriver.h"

namespace engine {

// Stands for a channel type whose driver is not on this computer (the fieldbus library, the
// bridge, the ADS router): it answers every operation with the code the real driver gives when its
// library or connection is missing.
class CUnavailableChannelDriver : public CChannelDriver {
  public:
    CUnavailableChannelDriver(CMain& owner, int channelIndex, int type, std::string libraryPath);

    int Type() const override { return type_; }
    bool Present() override;
    bool Available() override;
    bool Test(uint8_t nodeAddress) override;
    int Identify(uint8_t nodeId, foundation::CCompatChecker& checker, CIdentification& out) override;
    int ReadItem(const VocabularyItem& item, uint32_t* value, uint8_t nodeId, bool wordOrder) override;
    int WriteItem(const VocabularyItem& item, const uint32_t* value, uint8_t nodeId, bool wordOrder) override;
    int UploadCell(const VocabularyItem& item, void* buffer, uint32_t* byteCount, uint8_t nodeId) override;
    int DownloadCell(const VocabularyItem& item, const void* data, uint32_t byteCount,
                     uint8_t nodeId) override;
    int Configure(const CChannelSettings& settings) override;
    int GetConfig(CChannelSettings& settings) override;
    int OpenInteractive(const CChannelSettings& settings, uintptr_t parentWindow) override;
    int Close() override { return 0; }

  private:
    int Fail();

    int type_;
    std::string libraryPath_;
};

}  // namespace engine
