#pragma once

#include <string>

#include "engine/ModbusChannelDriver.h"
#include "transport/ModbusRtu.h"

namespace engine {

// Channel type 1: one serial port with Modbus RTU slaves.
// Settings words: 0 baud, 1 parity | data bits << 8 | stop bits << 16 | RTS control << 24,
// 2 answer time-out in ms, 3 and 4 reserved, 5 flag (low byte).
class CSerialChannelDriver : public CModbusChannelDriver {
  public:
    CSerialChannelDriver(CMain& owner, int channelIndex, const std::string& port);

    int Type() const override { return channel_type::kSerial; }
    bool Test(uint8_t nodeAddress) override;
    int ReadModbusBytes(uint8_t nodeId, uint16_t address, uint8_t byteCount, void* buffer) override;
    int WriteModbusBytes(uint8_t nodeId, uint16_t address, uint8_t byteCount, const void* data) override;
    int Configure(const CChannelSettings& settings) override;
    int GetConfig(CChannelSettings& settings) override;
    int Close() override;

    transport::CModbusRtu& Rtu() { return rtu_; }

  protected:
    transport::CModbusChannel& Modbus() override { return rtu_; }
    int IdentifyOnChannel(foundation::CCompatChecker& checker, transport::NodeIdentRecord& record,
                          uint32_t& kind, uint8_t& wordSwap, uint32_t& build) override;
    void ReportBlockFailure(int rc) override;

  private:
    transport::CModbusRtu rtu_;
};

}  // namespace engine
