#include "engine/SerialChannelDriver.h"

#include <vector>

#include "engine/EngineCodes.h"
#include "engine/Main.h"
#include "engine/ModbusItemTransfer.h"
#include "engine/VocabularyItem.h"

namespace {
constexpr uint32_t kNoProgress = 0xFFFFFFFFu;
constexpr uint16_t kProbeRegister = 250;
constexpr int kAdapterGone = 670;
}  // namespace

CSerialChannelDriver::CSerialChannelDriver(CMain& owner, int channelIndex, const std::string& port)
    : CChannelDriver(owner, channelIndex), rtu_(owner.ErrorPair(), channelIndex) {
    rtu_.GetSettings().portName = port;
}

bool CSerialChannelDriver::Test(uint8_t nodeAddress) {
    if (!rtu_.IsConnected() && rtu_.Connect(false) != 0) return false;
    uint16_t value = 0;
    const int rc = rtu_.ReadRegisters(kProbeRegister, 1, &value, nodeAddress);
    if (rc < 12) return true;
    if (rc == kAdapterGone) rtu_.Disconnect();
    return false;
}

int CSerialChannelDriver::Identify(uint8_t nodeId, CCompatChecker& checker, CIdentification& out) {
    NodeIdentRecord record;
    record.slave = nodeId;
    uint32_t kind = 0;
    uint8_t wordSwap = 0;
    uint32_t build = 0;
    const int rc = rtu_.IdentifyNode(&checker, &record, &kind, &wordSwap, &build);
    if (rc != 0) return rc;
    out.connection = {nodeId, record.hardwareCode, record.firmwareCode, record.firmwareVersion};
    out.address = nodeId;
    out.kind = static_cast<int>(kind);
    out.wordOrder = wordSwap;
    out.build = static_cast<uint16_t>(build);
    return 0;
}

int CSerialChannelDriver::ReadItem(const VocabularyItem& item, uint32_t* value, uint8_t nodeId,
                                   bool wordOrder) {
    if (!item.HasModbusAddress())
        return owner_.SetError(engine_code::kNoModbusAddress, engine_text::kNotReadableModbus);
    CModbusItemBuffer buffer(item);
    const int rc = rtu_.SdoUpload(nodeId, item.modbusAddress, item.size, buffer.Data());
    if (rc == 0) *value = buffer.Word(wordOrder && item.size == 4);
    return rc;
}

int CSerialChannelDriver::WriteItem(const VocabularyItem& item, const uint32_t* value, uint8_t nodeId,
                                    bool wordOrder) {
    if (!item.HasModbusAddress())
        return owner_.SetError(engine_code::kNoModbusAddress, engine_text::kNotWritableModbus);
    CModbusItemBuffer buffer(item);
    buffer.Load(*value, wordOrder && item.size == 4);
    return rtu_.SdoDownload(nodeId, item.modbusAddress, item.size, buffer.Data());
}

// A failed block transfer carries the channel's text, and its Modbus code is marked as one.
int CSerialChannelDriver::BlockResult(int rc) {
    if (rc == 0) return 0;
    owner_.SetError(rc, rtu_.GetErrorText(rc));
    if (rc > 0) rc = -(rc | 0x8000);
    return owner_.SetErrorCode(rc);
}

int CSerialChannelDriver::UploadCell(const VocabularyItem& item, void* buffer, uint32_t* byteCount,
                                     uint8_t nodeId) {
    return BlockResult(
        rtu_.UploadFile(item.modbusAddress, buffer, byteCount, 0, nullptr, 0, 0, kNoProgress, nodeId));
}

int CSerialChannelDriver::DownloadCell(const VocabularyItem& item, const void* data, uint32_t byteCount,
                                       uint8_t nodeId) {
    uint32_t count = byteCount;
    return BlockResult(
        rtu_.DownloadFile(item.modbusAddress, data, &count, 0, nullptr, 0, 0, kNoProgress, nodeId));
}

int CSerialChannelDriver::ReadModbusBytes(uint8_t nodeId, uint16_t address, uint8_t byteCount, void* buffer) {
    return rtu_.ReadBytes(nodeId, address, byteCount, buffer);
}

int CSerialChannelDriver::WriteModbusBytes(uint8_t nodeId, uint16_t address, uint8_t byteCount,
                                           const void* data) {
    // Whole registers go out; an odd count is padded here, never read past the caller's data.
    std::vector<uint8_t> padded(static_cast<size_t>(byteCount) + 1, 0);
    if (byteCount > 0) std::memcpy(padded.data(), data, byteCount);
    return rtu_.WriteRegisters(address, static_cast<uint16_t>((byteCount + 1) / 2), padded.data(), nodeId);
}

int CSerialChannelDriver::Configure(const CChannelSettings& settings) {
    const bool wasConnected = rtu_.IsConnected();
    if (wasConnected) {
        const int rc = rtu_.Disconnect();
        if (rc != 0) return rc;
    }
    CModbusRtu::Settings& s = rtu_.GetSettings();
    s.baud = settings.words[0];
    s.parity = static_cast<uint8_t>(settings.words[1]);
    s.dataBits = static_cast<uint8_t>(settings.words[1] >> 8);
    s.stopBits = static_cast<uint8_t>(settings.words[1] >> 16);
    s.rtsControl = static_cast<uint8_t>(settings.words[1] >> 24);
    s.receiveTimeout = settings.words[2];
    s.reserved1 = settings.words[3];
    s.reserved2 = settings.words[4];
    s.flag = settings.words[5] & 0xFF;
    if (wasConnected) rtu_.Connect(true);
    return 0;
}

int CSerialChannelDriver::GetConfig(CChannelSettings& settings) {
    const CModbusRtu::Settings& s = rtu_.GetSettings();
    settings.words[0] = s.baud;
    settings.words[1] = static_cast<uint32_t>(s.parity) | (static_cast<uint32_t>(s.dataBits) << 8) |
                        (static_cast<uint32_t>(s.stopBits) << 16) |
                        (static_cast<uint32_t>(s.rtsControl) << 24);
    settings.words[2] = s.receiveTimeout;
    settings.words[3] = s.reserved1;
    settings.words[4] = s.reserved2;
    settings.words[5] = s.flag & 0xFF;
    settings.words[6] = 0;
    return 0;
}

int CSerialChannelDriver::Close() {
    return rtu_.Disconnect();
}

int CSerialChannelDriver::SdoInitiateDownload(uint8_t nodeId, const VocabularyItem& item, const void* data,
                                              uint32_t size) {
    return rtu_.SdoInitiateDownload(nodeId, item.modbusAddress, size, data);
}

int CSerialChannelDriver::SdoDownloadSegment(uint8_t nodeId, const void* data, uint32_t n, bool last) {
    return rtu_.SdoDownloadSegment(nodeId, static_cast<const uint8_t*>(data), static_cast<int>(n), last);
}

int CSerialChannelDriver::SdoAbort(uint8_t nodeId, const VocabularyItem& item) {
    return rtu_.SdoAbort(nodeId, item.modbusAddress);
}

int CSerialChannelDriver::SdoInitiateUpload(uint8_t nodeId, const VocabularyItem& item, void* buffer,
                                            uint32_t* size) {
    return rtu_.SdoInitiateUpload(nodeId, item.modbusAddress, buffer, size);
}

int CSerialChannelDriver::SdoUploadSegment(uint8_t nodeId, void* data, uint32_t* n, bool* last) {
    int count = 0;
    const int rc = rtu_.SdoUploadSegment(nodeId, static_cast<uint8_t*>(data), &count, last);
    *n = static_cast<uint32_t>(count);
    return rc;
}

int CSerialChannelDriver::SdoRecover(uint8_t nodeId) {
    return rtu_.SdoRecover(nodeId);
}
