#include "engine/BoxChannelDriver.h"

#include <cstring>
#include <vector>

#include "engine/Main.h"
#include "transport/ModbusCodes.h"

using namespace foundation;
using namespace transport;

namespace engine {

namespace {
constexpr uint16_t kProbeRegister = 250;
constexpr uint16_t kMaxRunRegisters = 125;
constexpr int kBoxDisconnectedException = -kBoxUsbDisconnected;
}  // namespace

CBoxChannelDriver::CBoxChannelDriver(CMain& owner, int channelIndex)
    : CModbusChannelDriver(owner, channelIndex), box_(owner.ErrorPair(), channelIndex) {
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

int CBoxChannelDriver::IdentifyOnChannel(CCompatChecker& checker, NodeIdentRecord& record, uint32_t& kind,
                                         uint8_t& wordSwap, uint32_t& build) {
    return box_.IdentifyNode(&checker, &record, &kind, &wordSwap, &build);
}

void CBoxChannelDriver::ReportBlockFailure(int rc) {
    if (!box_.ErrorText().empty())
        owner_.SetError(rc, box_.ErrorText());
    else
        owner_.SetErrorCode(rc);
}

int CBoxChannelDriver::ReadModbusBytes(uint8_t nodeId, uint16_t address, uint8_t byteCount, void* buffer) {
    // Whole registers come in: an odd count reads one more byte into a local buffer.
    const uint16_t registers = static_cast<uint16_t>((byteCount + 1) / 2);
    if (registers > kMaxRunRegisters) return -1;
    if (EnsureConnected() != 0) return RecordResult(-1);
    std::vector<uint8_t> local(static_cast<size_t>(registers) * 2 + 2, 0);
    const int rc = box_.ReadRegisters(address, registers, local.data(), local.size(), nodeId);
    if (rc < byteCount) return RecordResult(-1);
    std::memcpy(buffer, local.data(), byteCount);
    return RecordResult(0);
}

int CBoxChannelDriver::WriteModbusBytes(uint8_t nodeId, uint16_t address, uint8_t byteCount,
                                        const void* data) {
    if (EnsureConnected() != 0) return RecordResult(-1);
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (byteCount == 1 || byteCount == 2) {
        const uint16_t value = byteCount == 1 ? bytes[0] : static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
        return RecordResult(box_.WriteRegister(address, value, nodeId) >= 2 ? 0 : -1);
    }
    // An odd count is padded here, never in the caller's buffer.
    const uint16_t registers = static_cast<uint16_t>((byteCount + 1) / 2);
    std::vector<uint8_t> padded(static_cast<size_t>(registers) * 2, 0);
    if (byteCount > 0) std::memcpy(padded.data(), bytes, byteCount);
    const int rc = box_.WriteRegisters(address, registers, padded.data(), padded.size(), nodeId);
    return RecordResult(rc >= static_cast<int>(padded.size()) ? 0 : -1);
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

}  // namespace engine
