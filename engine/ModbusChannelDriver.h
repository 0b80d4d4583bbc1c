#pragma once

#include <cstdint>

#include "engine/ChannelDriver.h"
#include "transport/ModbusChannel.h"
#include "transport/NodeIdentification.h"

namespace engine {

// What the serial and the box driver share: single values and long cells through the SDO layer
// over registers, the SDO steps and identification. Every transfer leaves its result in
// `lastResult`, so that ordinary traffic is the node guard's sign of life.
class CModbusChannelDriver : public CChannelDriver {
  public:
    using CChannelDriver::CChannelDriver;

    int Identify(uint8_t nodeId, foundation::CCompatChecker& checker, CIdentification& out) override;
    int ReadItem(const VocabularyItem& item, uint32_t* value, uint8_t nodeId, bool wordOrder) override;
    int WriteItem(const VocabularyItem& item, const uint32_t* value, uint8_t nodeId, bool wordOrder) override;
    int UploadCell(const VocabularyItem& item, void* buffer, uint32_t* byteCount, uint8_t nodeId) override;
    int DomainDownload(const VocabularyItem& item, const void* data, uint32_t* size,
                       const std::atomic<uint32_t>* abort, platform::WindowHandle window, unsigned message,
                       uint8_t nodeId) override;
    int DomainUpload(const VocabularyItem& item, void* target, uint32_t* size, bool fileName,
                     const std::atomic<uint32_t>* abort, platform::WindowHandle window, unsigned message,
                     uint8_t nodeId) override;
    int DownloadCell(const VocabularyItem& item, const void* data, uint32_t byteCount,
                     uint8_t nodeId) override;
    int SdoInitiateDownload(uint8_t nodeId, const VocabularyItem& item, const void* data,
                            uint32_t size) override;
    int SdoDownloadSegment(uint8_t nodeId, const void* data, uint32_t n, bool last) override;
    int SdoAbort(uint8_t nodeId, const VocabularyItem& item) override;
    int SdoInitiateUpload(uint8_t nodeId, const VocabularyItem& item, void* buffer, uint32_t* size) override;
    int SdoUploadSegment(uint8_t nodeId, void* data, uint32_t* n, bool* last) override;
    int SdoRecover(uint8_t nodeId) override;

    // How long cells move: 0 the domain protocol, 1 the domain protocol with SDO segments where a
    // drive does not offer it, 2 or more SDO segments over registers.
    int transferMode = 0;

  protected:
    // The channel that carries the transfers.
    virtual transport::CModbusChannel& Modbus() = 0;
    virtual int IdentifyOnChannel(foundation::CCompatChecker& checker, transport::NodeIdentRecord& record,
                                  uint32_t& kind, uint8_t& wordSwap, uint32_t& build) = 0;
    // Leaves the channel's text of a failed block transfer in the owner's error pair.
    virtual void ReportBlockFailure(int rc) = 0;

  private:
    int BlockResult(int rc);
};

}  // namespace engine
