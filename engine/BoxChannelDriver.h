#pragma once

#include "engine/ModbusChannelDriver.h"
#include "transport/ModbusTcp.h"

namespace engine {

// Channel type 8: the communication box, Modbus TCP to the drives behind it.
// Settings words: 0 box IPv4 address (first number in the most significant byte), 1 box
// time-out in ms (0 keeps 2000), 2 TCP port (0 is the Modbus port 502); the rest is kept.
class CBoxChannelDriver : public CModbusChannelDriver {
  public:
    CBoxChannelDriver(CMain& owner, int channelIndex);

    int Type() const override { return channel_type::kBox; }
    bool Test(uint8_t nodeAddress) override;
    int ReadModbusBytes(uint8_t nodeId, uint16_t address, uint8_t byteCount, void* buffer) override;
    int WriteModbusBytes(uint8_t nodeId, uint16_t address, uint8_t byteCount, const void* data) override;
    int Configure(const CChannelSettings& settings) override;
    int GetConfig(CChannelSettings& settings) override;
    int Close() override;

    transport::CModbusTcp& Box() { return box_; }

  protected:
    transport::CModbusChannel& Modbus() override { return box_; }
    int IdentifyOnChannel(foundation::CCompatChecker& checker, transport::NodeIdentRecord& record,
                          uint32_t& kind, uint8_t& wordSwap, uint32_t& build) override;
    void ReportBlockFailure(int rc) override;

  private:
    int EnsureConnected();

    transport::CModbusTcp box_;
    CChannelSettings settings_;
};

}  // namespace engine
