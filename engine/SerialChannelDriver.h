#pragma once

#include <string>

#include "engine/ChannelDriver.h"
#include "transport/ModbusRtu.h"

// Channel type 1: one serial port with Modbus RTU slaves.
// Settings words: 0 baud, 1 parity | data bits << 8 | stop bits << 16 | RTS control << 24,
// 2 answer time-out in ms, 3 and 4 reserved, 5 flag (low byte).
class CSerialChannelDriver : public CChannelDriver {
  public:
    CSerialChannelDriver(CMain& owner, int channelIndex, const std::string& port);

    int Type() const override { return 1; }
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

    CModbusRtu& Rtu() { return rtu_; }

  private:
    int BlockResult(int rc);

    CModbusRtu rtu_;
};
