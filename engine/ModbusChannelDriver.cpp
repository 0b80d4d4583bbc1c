#include "engine/ModbusChannelDriver.h"

#include "engine/EngineCodes.h"
#include "engine/Main.h"
#include "engine/ModbusItemTransfer.h"
#include "engine/VocabularyItem.h"
#include "transport/ModbusDomain.h"

using namespace foundation;
using namespace transport;

namespace engine {

namespace {
constexpr uint32_t kNoProgress = 0xFFFFFFFFu;
}  // namespace

int CModbusChannelDriver::Identify(uint8_t nodeId, CCompatChecker& checker, CIdentification& out) {
    NodeIdentRecord record;
    record.slave = nodeId;
    uint32_t kind = 0;
    uint8_t wordSwap = 0;
    uint32_t build = 0;
    const int rc = IdentifyOnChannel(checker, record, kind, wordSwap, build);
    if (rc != 0) return rc;
    out.connection = {nodeId, record.hardwareCode, record.firmwareCode, record.firmwareVersion};
    out.address = nodeId;
    out.kind = static_cast<int>(kind);
    out.wordOrder = wordSwap;
    out.build = static_cast<uint16_t>(build);
    return 0;
}

int CModbusChannelDriver::ReadItem(const VocabularyItem& item, uint32_t* value, uint8_t nodeId,
                                   bool wordOrder) {
    if (!item.HasModbusAddress())
        return owner_.SetError(engine_code::kNoModbusAddress, engine_text::kNotReadableModbus);
    CModbusItemBuffer buffer(item);
    const int rc = RecordResult(Modbus().SdoUpload(nodeId, item.modbusAddress, item.size, buffer.Data()));
    if (rc == 0) *value = buffer.Word(wordOrder && item.size == 4);
    return rc;
}

int CModbusChannelDriver::WriteItem(const VocabularyItem& item, const uint32_t* value, uint8_t nodeId,
                                    bool wordOrder) {
    if (!item.HasModbusAddress())
        return owner_.SetError(engine_code::kNoModbusAddress, engine_text::kNotWritableModbus);
    CModbusItemBuffer buffer(item);
    buffer.Load(*value, wordOrder && item.size == 4);
    return RecordResult(Modbus().SdoDownload(nodeId, item.modbusAddress, item.size, buffer.Data()));
}

// A failed block transfer carries the channel's text, and its Modbus code is marked as one.
int CModbusChannelDriver::BlockResult(int rc) {
    RecordResult(rc);
    if (rc == 0) return 0;
    ReportBlockFailure(rc);
    if (rc > 0) rc = -(rc | 0x8000);
    return owner_.SetErrorCode(rc);
}

int CModbusChannelDriver::UploadCell(const VocabularyItem& item, void* buffer, uint32_t* byteCount,
                                     uint8_t nodeId) {
    return BlockResult(
        Modbus().UploadFile(item.modbusAddress, buffer, byteCount, 0, nullptr, 0, 0, kNoProgress, nodeId));
}

int CModbusChannelDriver::DownloadCell(const VocabularyItem& item, const void* data, uint32_t byteCount,
                                       uint8_t nodeId) {
    uint32_t count = byteCount;
    return BlockResult(
        Modbus().DownloadFile(item.modbusAddress, data, &count, 0, nullptr, 0, 0, kNoProgress, nodeId));
}

int CModbusChannelDriver::SdoInitiateDownload(uint8_t nodeId, const VocabularyItem& item, const void* data,
                                              uint32_t size) {
    return RecordResult(Modbus().SdoInitiateDownload(nodeId, item.modbusAddress, size, data));
}

int CModbusChannelDriver::SdoDownloadSegment(uint8_t nodeId, const void* data, uint32_t n, bool last) {
    return RecordResult(
        Modbus().SdoDownloadSegment(nodeId, static_cast<const uint8_t*>(data), static_cast<int>(n), last));
}

int CModbusChannelDriver::SdoAbort(uint8_t nodeId, const VocabularyItem& item) {
    return RecordResult(Modbus().SdoAbort(nodeId, item.modbusAddress));
}

int CModbusChannelDriver::SdoInitiateUpload(uint8_t nodeId, const VocabularyItem& item, void* buffer,
                                            uint32_t* size) {
    return RecordResult(Modbus().SdoInitiateUpload(nodeId, item.modbusAddress, buffer, size));
}

int CModbusChannelDriver::SdoUploadSegment(uint8_t nodeId, void* data, uint32_t* n, bool* last) {
    int count = 0;
    const int rc = Modbus().SdoUploadSegment(nodeId, static_cast<uint8_t*>(data), &count, last);
    *n = static_cast<uint32_t>(count);
    return RecordResult(rc);
}

int CModbusChannelDriver::SdoRecover(uint8_t nodeId) {
    return RecordResult(Modbus().SdoRecover(nodeId));
}

int CModbusChannelDriver::DomainUpload(const VocabularyItem& item, void* target, uint32_t* size,
                                       bool fileName, const std::atomic<uint32_t>* abort,
                                       platform::WindowHandle window, unsigned message, uint8_t nodeId) {
    const uint32_t flags = fileName ? kDomainFileName : 0;
    return RecordResult(
        Modbus().UploadFile(item.modbusAddress, target, size, flags, abort, window, message, 0, nodeId));
}

int CModbusChannelDriver::DomainDownload(const VocabularyItem& item, const void* data, uint32_t* size,
                                         const std::atomic<uint32_t>* abort, platform::WindowHandle window,
                                         unsigned message, uint8_t nodeId) {
    return RecordResult(
        Modbus().DownloadFile(item.modbusAddress, data, size, 0, abort, window, message, 0, nodeId));
}

}  // namespace engine
