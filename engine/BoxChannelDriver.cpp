#include "engine/BoxChannelDriver.h"

#include <cstring>
#include <vector>

#include "engine/EngineCodes.h"
#include "engine/Main.h"
#include "engine/ModbusItemTransfer.h"
#include "engine/VocabularyItem.h"

namespace {
constexpr uint32_t kNoProgress = 0xFFFFFFFFu;
constexpr uint16_t kProbeRegister = 250;
constexpr uint16_t kMaxRunRegisters = 125;
constexpr int kBoxDisconnectedException = -101;
}  // namespace

CBoxChannelDriver::CBoxChannelDriver(CMain& owner, int channelIndex)
    : CChannelDriver(owner, channelIndex), box_(owner.ErrorPair(), channelIndex) {
    settings_.words[1] = box_.BoxTimeout();
}

int CBoxChannelDriver::EnsureConnected() {
    return box_.IsConnected() ? 0 : box_.Connect();
}

bool CBoxChannelDriver::Test(uint8_t) {
    if (EnsureConnected() != 0) return false;
    uint8_t value[2] = {};
    const int rc = box_.ReadRegisters(kProbeRegister, 1, value, sizeof value);
    return !(rc < -199 || rc == 0 || rc == kBoxDisconnectedException);
}

int CBoxChannelDriver::Identify(uint8_t nodeId, CCompatChecker& checker, CIdentification& out) {
    NodeIdentRecord record;
    record.slave = nodeId;
    uint32_t kind = 0;
    uint8_t wordSwap = 0;
    uint32_t build = 0;
    const int rc = box_.IdentifyNode(&checker, &record, &kind, &wordSwap, &build);
    if (rc != 0) return rc;
    out.connection = {nodeId, record.hardwareCode, record.firmwareCode, record.firmwareVersion};
    out.address = nodeId;
    out.kind = static_cast<int>(kind);
    out.wordOrder = wordSwap;
    out.build = static_cast<uint16_t>(build);
    return 0;
}

int CBoxChannelDriver::ReadItem(const VocabularyItem& item, uint32_t* value, uint8_t nodeId, bool wordOrder) {
    if (!item.HasModbusAddress())
        return owner_.SetError(engine_code::kNoModbusAddress, engine_text::kNotReadableModbus);
    CModbusItemBuffer buffer(item);
    const int rc = box_.SdoUpload(nodeId, item.modbusAddress, item.size, buffer.Data());
    if (rc == 0) *value = buffer.Word(wordOrder && item.size == 4);
    return rc;
}

int CBoxChannelDriver::WriteItem(const VocabularyItem& item, const uint32_t* value, uint8_t nodeId,
                                 bool wordOrder) {
    if (!item.HasModbusAddress())
        return owner_.SetError(engine_code::kNoModbusAddress, engine_text::kNotWritableModbus);
    CModbusItemBuffer buffer(item);
    buffer.Load(*value, wordOrder && item.size == 4);
    return box_.SdoDownload(nodeId, item.modbusAddress, item.size, buffer.Data());
}

// A failed block transfer carries the box's own text, and its Modbus code is marked as one.
int CBoxChannelDriver::BlockResult(int rc) {
    if (rc == 0) return 0;
    if (!box_.ErrorText().empty())
        owner_.SetError(rc, box_.ErrorText());
    else
        owner_.SetErrorCode(rc);
    if (rc > 0) rc = -(rc | 0x8000);
    return owner_.SetErrorCode(rc);
}

int CBoxChannelDriver::UploadCell(const VocabularyItem& item, void* buffer, uint32_t* byteCount,
                                  uint8_t nodeId) {
    return BlockResult(
        box_.UploadFile(item.modbusAddress, buffer, byteCount, 0, nullptr, 0, 0, kNoProgress, nodeId));
}

int CBoxChannelDriver::DownloadCell(const VocabularyItem& item, const void* data, uint32_t byteCount,
                                    uint8_t nodeId) {
    uint32_t count = byteCount;
    return BlockResult(
        box_.DownloadFile(item.modbusAddress, data, &count, 0, nullptr, 0, 0, kNoProgress, nodeId));
}

int CBoxChannelDriver::ReadModbusBytes(uint8_t nodeId, uint16_t address, uint8_t byteCount, void* buffer) {
    // Whole registers come in: an odd count reads one more byte into a local buffer.
    const uint16_t registers = static_cast<uint16_t>((byteCount + 1) / 2);
    if (registers > kMaxRunRegisters) return -1;
    if (EnsureConnected() != 0) return -1;
    std::vector<uint8_t> local(static_cast<size_t>(registers) * 2 + 2, 0);
    const int rc = box_.ReadRegisters(address, registers, local.data(), local.size(), nodeId);
    if (rc < byteCount) return -1;
    std::memcpy(buffer, local.data(), byteCount);
    return 0;
}

int CBoxChannelDriver::WriteModbusBytes(uint8_t nodeId, uint16_t address, uint8_t byteCount,
                                        const void* data) {
    if (EnsureConnected() != 0) return -1;
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (byteCount == 1 || byteCount == 2) {
        const uint16_t value = byteCount == 1 ? bytes[0] : static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
        return box_.WriteRegister(address, value, nodeId) >= 2 ? 0 : -1;
    }
    // An odd count is padded here, never in the caller's buffer.
    const uint16_t registers = static_cast<uint16_t>((byteCount + 1) / 2);
    std::vector<uint8_t> padded(static_cast<size_t>(registers) * 2, 0);
    if (byteCount > 0) std::memcpy(padded.data(), bytes, byteCount);
    const int rc = box_.WriteRegisters(address, registers, padded.data(), padded.size(), nodeId);
    return rc >= static_cast<int>(padded.size()) ? 0 : -1;
}

int CBoxChannelDriver::Configure(const CChannelSettings& settings) {
    settings_ = settings;
    box_.SetBoxAddress(settings.words[0]);
    box_.SetBoxTimeout(settings.words[1] != 0 ? settings.words[1] : 2000);
    box_.SetPort(settings.words[2] != 0 ? static_cast<uint16_t>(settings.words[2])
                                        : CModbusTcp::kDefaultPort);
    return 0;
}

int CBoxChannelDriver::GetConfig(CChannelSettings& settings) {
    settings = settings_;
    return 0;
}

int CBoxChannelDriver::Close() {
    box_.Disconnect();
    return 1;
}

int CBoxChannelDriver::SdoInitiateDownload(uint8_t nodeId, const VocabularyItem& item, const void* data,
                                           uint32_t size) {
    return box_.SdoInitiateDownload(nodeId, item.modbusAddress, size, data);
}

int CBoxChannelDriver::SdoDownloadSegment(uint8_t nodeId, const void* data, uint32_t n, bool last) {
    return box_.SdoDownloadSegment(nodeId, static_cast<const uint8_t*>(data), static_cast<int>(n), last);
}

int CBoxChannelDriver::SdoAbort(uint8_t nodeId, const VocabularyItem& item) {
    return box_.SdoAbort(nodeId, item.modbusAddress);
}

int CBoxChannelDriver::SdoInitiateUpload(uint8_t nodeId, const VocabularyItem& item, void* buffer,
                                         uint32_t* size) {
    return box_.SdoInitiateUpload(nodeId, item.modbusAddress, buffer, size);
}

int CBoxChannelDriver::SdoUploadSegment(uint8_t nodeId, void* data, uint32_t* n, bool* last) {
    int count = 0;
    const int rc = box_.SdoUploadSegment(nodeId, static_cast<uint8_t*>(data), &count, last);
    *n = static_cast<uint32_t>(count);
    return rc;
}

int CBoxChannelDriver::SdoRecover(uint8_t nodeId) {
    return box_.SdoRecover(nodeId);
}
