#pragma once

#include <memory>

#include "engine/ChannelDriver.h"
#include "transport/ModbusTcp.h"

// Channel type 8: the communication box, Modbus TCP to the drives behind it.
// Settings words: 0 box IPv4 address (first number in the most significant byte), 1 box
// time-out in ms (0 keeps 2000), 2 TCP port (0 is the Modbus port 502); the rest is kept.
class CBoxChannelDriver : public CChannelDriver {
  public:
    CBoxChannelDriver(CMain& owner, int channelIndex);

    int Type() const override { return 8; }
    bool Test(uint8_t nodeAddress) override;
    int Identify(uint8_t nodeId, CCompatChecker& checker, CIdentification& out) override;
    int ReadItem(const VocabularyItem& item, uint32_t* value, uint8_t nodeId, bool wordOrder) override;
    int WriteItem(const VocabularyItem& item, const uint32_t* value, uint8_t nodeId, bool wordOrder) override;
    int UploadCell(const VocabularyItem& item, void* buffer, uint32_t* byteCount, uint8_t nodeId) override;
    int DownloadCell(const VocabularyItem& item, const void* data, uint32_t byteCount,
                     uint8_t nodeId) override;
    int ReadModbusBytes(uint8_t nodeId, uint16_t address, uint8_t byteCount, void* buffer) override;
    int WriteModbusBytes(uint8_t nodeId, uint16_t address, uint8_t byteCount, const void* data) override;
    int Configure(const CChannelSettings& settings) override;
    int GetConfig(CChannelSettings& settings) override;
    int Close() override;
    int SdoInitiateDownload(uint8_t nodeId, const VocabularyItem& item, const void* data,
                            uint32_t size) override;
    int SdoDownloadSegment(uint8_t nodeId, const void* data, uint32_t n, bool last) override;
    int SdoAbort(uint8_t nodeId, const VocabularyItem& item) override;
    int SdoInitiateUpload(uint8_t nodeId, const VocabularyItem& item, void* buffer, uint32_t* size) override;
    int SdoUploadSegment(uint8_t nodeId, void* data, uint32_t* n, bool* last) override;
    int SdoRecover(uint8_t nodeId) override;

    CModbusTcp& Box() { return box_; }

  private:
    int EnsureConnected();
    int BlockResult(int rc);

    CModbusTcp box_;
    CChannelSettings settings_;
};
