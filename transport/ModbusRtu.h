#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/Messages.h"
#include "platform/SerialPort.h"
#include "platform/TimedMutex.h"
#include "transport/ModbusChannel.h"
#include "transport/NodeIdentification.h"

namespace transport {

// Driver of a serial Modbus RTU channel (channel type 1): functions 3, 6 and 16 with the
// Modbus CRC on one port where one or more drives answer as slaves; the carrier of SDO
// and domain transfers and of node identification. Every call returns a code (0 good)
// and leaves a detail text; protocol faults seen by the drive also fill the owner's
// error pair. One exchange at a time per port (the port mutex).
class CModbusRtu : public CModbusChannel {
  public:
    static constexpr size_t kFrameBufferSize = 262;  // longest reply (3 + 255 + 2) with room
    static constexpr uint16_t kMaxReadRegisters = 125;
    static constexpr uint16_t kMaxWriteRegisters = 123;

    // Line settings as the engine configures them. parity: 0 none, 1 odd, 2 even, 3 mark,
    // 4 space; stop bits: 0 one, 2 two; RTS control: 0 disabled, 3 toggle (RS-485).
    struct Settings {
        std::string portName;
        uint32_t baud = 57600;
        uint8_t parity = 2;
        uint8_t dataBits = 8;
        uint8_t stopBits = 0;
        uint8_t rtsControl = 0;
        uint32_t receiveTimeout = 1500;
        uint32_t reserved1 = 0;
        uint32_t reserved2 = 0;
        uint32_t flag = 1;
    };

    explicit CModbusRtu(CErrorPair* owner = nullptr, int channelIndex = 0);
    ~CModbusRtu() override;
    CModbusRtu(const CModbusRtu&) = delete;
    CModbusRtu& operator=(const CModbusRtu&) = delete;

    int OpenPort(bool silent);
    void ClosePort();
    int ClosePortLocked();
    bool SetCommTimeouts(uint32_t ms);
    int SetupPort(const std::string& portName, uint32_t baud, uint8_t parity, uint8_t dataBits,
                  uint8_t stopBits, uint8_t rtsControl, uint32_t receiveTimeoutMs, bool silent);
    int Connect(bool silent);
    int Disconnect();
    int SetTimeout(uint32_t ms, uint16_t* outTimeout, uint8_t* outFlag);

    int ReadRegisters(uint16_t address, uint16_t count, void* buffer, uint8_t slave);
    int WriteRegisters(uint16_t address, uint16_t count, const void* data, uint8_t slave);
    int WriteRegisterFrame(uint16_t address, uint16_t value, uint8_t slave);
    int ReadBytes(uint8_t slave, uint16_t address, uint8_t byteCount, void* buffer);

    // "Modbus:" and the text of the code (code 0: the detail text, else the stored
    // result's text), cut to 254 bytes into a 255-byte buffer; the length, or 500
    // without a buffer.
    int GetErrorText(char* buffer, int code) const;
    std::string GetErrorText(int code) const;
    void LogError(const std::string& text, uint32_t code);

    // Node identification and the two callbacks the compatibility checker calls back.
    int IdentifyNode(foundation::CCompatChecker* checker, NodeIdentRecord* node, uint32_t* kind,
                     uint8_t* wordSwap, uint32_t* build);
    static void VersionBrowse(std::string& errorText, void* context, int command, int parameter,
                              int* response);
    static void ReadIdentity(std::string& errorText, void* context, uint32_t* code, uint32_t* major,
                             uint32_t* minor, uint32_t* patch, uint32_t* preState, uint32_t* preNumber);

    Settings& GetSettings() { return settings_; }
    uint8_t Node() const { return node_; }
    void SetNode(uint8_t node) { node_ = node; }
    uint8_t State() const { return state_; }
    uint32_t ErrorCounter() const { return errorCounter_; }
    uint32_t ResultCode() const { return resultCode_; }
    const std::string& DetailText() const { return detailText_; }
    bool IsOpen() const { return open_; }
    bool IsConnected() const { return connected_; }
    const std::string& LivePortName() const { return livePortName_; }
    uint32_t ConfiguredTimeout() const { return configuredTimeout_; }
    uint32_t CurrentTimeout() const { return currentTimeout_; }
    uint32_t RetryCount() const { return retryCount_; }
    void SetRetryCount(uint32_t count) { retryCount_ = count; }
    uint32_t Pause() const { return pause_; }
    void SetPause(uint32_t ms) { pause_ = ms; }
    bool RawWordOrder() const override { return rawWordOrder_; }
    void SetRawWordOrder(bool raw) override { rawWordOrder_ = raw; }
    platform::TimedMutex& PortMutex() { return portMutex_; }

  private:
    int Send(const uint8_t* frame, size_t length);
    int Receive(uint8_t* into, size_t count);
    // Waits until nothing has arrived for an inter-frame gap and drops what came meanwhile.
    void AwaitQuietLine();
    uint32_t InterFrameGapMs() const;
    // Sends the request in the send buffer (CRC included) and takes a whole reply into the
    // receive buffer, with the retries; a write reply must echo the request. 0 or the
    // failure code (state 3).
    int Transact(size_t length, uint8_t slave, uint16_t address, uint16_t count);
    // Runs an exchange on the open port under the port mutex; slave 0: the channel's node.
    template <class Exchange>
    int Locked(uint8_t slave, Exchange exchange);
    int ExchangeRead(uint16_t address, uint16_t count, void* buffer, uint8_t slave);
    int ExchangeWrite(uint16_t address, uint16_t count, const void* data, uint8_t slave);
    int ExchangeWriteSingle(uint16_t address, uint16_t value, uint8_t slave);
    int ApplyLineSettings();
    // SetupPort with the line settings of GetSettings().
    int SetupFromSettings(uint32_t receiveTimeoutMs, bool silent);
    void SetOwnerFromDetail(int code);
    void Sleep(uint32_t ms);

    // CModbusRegisterAccess / CDomainChannel
    int RegConnect() override { return Connect(false); }
    int RegRead(uint8_t slave, uint16_t address, uint16_t count, void* buffer) override;
    int RegWrite(uint8_t slave, uint16_t address, uint16_t count, const void* data) override;
    int RegWriteSingle(uint8_t slave, uint16_t address, uint16_t value) override;
    void SdoBeginInitiateDownload() override;
    void SdoEndInitiateDownload() override;
    void SdoBeginUpload() override;
    void SdoEndUpload() override;
    int DomainBegin() override;
    void DomainEnd() override;
    uint32_t DomainReceiveTimeout() const override { return configuredTimeout_; }
    void ApplyDomainTimeout(uint32_t ms) override { SetCommTimeouts(ms); }
    void RestoreDomainTimeout() override { SetCommTimeouts(configuredTimeout_); }
    int SendTerminate(uint8_t slave, uint16_t address) override;
    int WriteEmptyBlock(uint8_t slave, uint16_t address) override;
    bool IsStartRefused(int code) const override;
    uint8_t DefaultSlave() const override { return node_; }
    void SetDomainResult(int code) override { resultCode_ = static_cast<uint32_t>(code); }
    std::string TransferFailureText(int code) override { return GetErrorText(code); }

    int IdentifyInner(foundation::CCompatChecker* checker, NodeIdentRecord* node, uint32_t* kind,
                      uint8_t* wordSwap, uint32_t* build, uint8_t slave);

    uint8_t node_ = 1;
    platform::TimedMutex portMutex_;
    uint8_t state_ = 0;
    uint32_t errorCounter_ = 0;
    uint32_t resultCode_ = 0;
    std::string detailText_;
    std::string livePortName_;
    platform::SerialPort port_;
    uint32_t liveBaud_ = 0;
    uint8_t liveParity_ = 0xFF;
    uint8_t liveDataBits_ = 0;
    uint8_t liveStopBits_ = 0xFF;
    uint8_t liveRtsControl_ = 0;
    bool open_ = false;
    uint8_t sendBuffer_[kFrameBufferSize] = {};
    uint8_t recvBuffer_[kFrameBufferSize] = {};
    uint32_t configuredTimeout_ = 2000;
    uint32_t turnaround_ = 1000;
    uint32_t currentTimeout_ = 2000;
    uint32_t pause_ = 50;
    bool rawWordOrder_ = false;
    uint32_t retryCount_ = 2;
    bool connected_ = false;
    Settings settings_;
    uint32_t savedRetryCount_ = 2;
    bool sdoUploadActive_ = false;
    uint32_t sdoSavedTimeout_ = 0;
    bool sdoTimeoutRaised_ = false;
};

}  // namespace transport
