#pragma once

#include <string>

#include "engine/ModbusChannelDriver.h"
#include "transport/ModbusRtu.h"

// Channel type 1: one serial port with Modbus RTU slaves.
// Settings words: 0 baud, 1 parity | data bits << 8 | stop bits << 16 | RTS control << 24,
// 2 answer time-out in ms, 3 and 4 reserved, 5 flag (low byte).
class CSerialChannelDriver : public CModbusChannelDriver {
  public:
    CSerialChannelDriver(CMain& owner, int channelIndex, const std::string& port);

    int Type() const override { return 1; }
    bool Test(uint8_t nodeAddress) override;
    int ReadModbusBytes(uint8_t nodeId, uint16_t address, uint8_t byteCount, void* buffer) override;
    int WriteModbusBytes(uint8_t nodeId, uint16_t address, uint8_t byteCount, const void* data) override;
    int Configure(const CChannelSettings& settings) override;
    int GetConfig(CChannelSettings& settings) override;
    int Close() override;

    CModbusRtu& Rtu() { return rtu_; }

  protected:
    CModbusChannel& Modbus() override { return rtu_; }
    int IdentifyOnChannel(CCompatChecker& checker, NodeIdentRecord& record, uint32_t& kind, uint8_t& wordSwap,
                          uint32_t& build) override;
    void ReportBlockFailure(int rc) override;

  private:
    CModbusRtu rtu_;
};
