#include "engine/SerialChannelDriver.h"

#include <cstring>
#include <vector>

#include "engine/Main.h"
#include "transport/ModbusCodes.h"

using namespace foundation;
using namespace transport;

namespace engine {

namespace {
constexpr uint16_t kProbeRegister = 250;
}  // namespace

CSerialChannelDriver::CSerialChannelDriver(CMain& owner, int channelIndex, const std::string& port)
    : CModbusChannelDriver(owner, channelIndex), rtu_(owner.ErrorPair(), channelIndex) {
    rtu_.GetSettings().portName = port;
}

bool CSerialChannelDriver::Test(uint8_t nodeAddress) {
    if (!rtu_.IsConnected() && rtu_.Connect(false) != 0) return false;
    uint16_t value = 0;
    const int rc = rtu_.ReadRegisters(kProbeRegister, 1, &value, nodeAddress);
    if (rc < 12) return true;
    if (rc == rtu_code::kDeviceGone) rtu_.Disconnect();
    return false;
}

int CSerialChannelDriver::IdentifyOnChannel(CCompatChecker& checker, NodeIdentRecord& record, uint32_t& kind,
                                            uint8_t& wordSwap, uint32_t& build) {
    return rtu_.IdentifyNode(&checker, &record, &kind, &wordSwap, &build);
}

void CSerialChannelDriver::ReportBlockFailure(int rc) {
    owner_.SetError(rc, rtu_.GetErrorText(rc));
}

int CSerialChannelDriver::ReadModbusBytes(uint8_t nodeId, uint16_t address, uint8_t byteCount, void* buffer) {
    return RecordResult(rtu_.ReadBytes(nodeId, address, byteCount, buffer));
}

int CSerialChannelDriver::WriteModbusBytes(uint8_t nodeId, uint16_t address, uint8_t byteCount,
                                           const void* data) {
    // Whole registers go out; an odd count is padded here, never read past the caller's data.
    std::vector<uint8_t> padded(static_cast<size_t>(byteCount) + 1, 0);
    if (byteCount > 0) std::memcpy(padded.data(), data, byteCount);
    return RecordResult(
        rtu_.WriteRegisters(address, static_cast<uint16_t>((byteCount + 1) / 2), padded.data(), nodeId));
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

}  // namespace engine
