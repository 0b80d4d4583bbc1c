#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/Messages.h"
#include "platform/Socket.h"
#include "transport/ModbusChannel.h"
#include "transport/ModbusTcpClient.h"
#include "transport/NodeIdentification.h"

namespace transport {

// Driver of the communication box channel (channel type 8): Modbus TCP to the box, which
// forwards each request to the drive. Carries SDO and domain transfers and node
// identification as the serial channel does. No lock of its own: the engine's node lock
// keeps one transaction at a time.
class CModbusTcp : public CModbusChannel {
  public:
    static constexpr uint16_t kDefaultPort = 502;

    explicit CModbusTcp(CErrorPair* owner = nullptr, int channelIndex = 0);
    ~CModbusTcp() override;
    CModbusTcp(const CModbusTcp&) = delete;
    CModbusTcp& operator=(const CModbusTcp&) = delete;

    // The box address: the first number of the dotted form in the most significant byte.
    void SetBoxAddress(uint32_t address) { boxAddress_ = address; }
    uint32_t BoxAddress() const { return boxAddress_; }
    // Port 502 unless a test moves it.
    void SetPort(uint16_t port) { port_ = port; }
    void SetBoxTimeout(uint32_t ms) { boxTimeout_ = ms; }
    uint32_t BoxTimeout() const { return boxTimeout_; }

    int Connect();
    void Disconnect();
    bool IsConnected() const { return socket_.IsOpen() && client_ != nullptr; }

    // Register operations on the client with the unit id set to slave (0: unit 1).
    int ReadRegisters(uint16_t address, uint16_t count, void* buffer, size_t bufferSize, uint8_t slave = 1);
    int WriteRegisters(uint16_t address, uint16_t count, const void* data, size_t dataSize,
                       uint8_t slave = 1);
    int WriteRegister(uint16_t address, uint16_t value, uint8_t slave = 1);
    void DrainReceive();

    void LogError(const std::string& text, uint32_t code);
    // Sets text to "<operation>:<system message>" of the socket's last error; the error code.
    int GetSocketErrorText(std::string& text, const char* operation) const;

    int IdentifyNode(foundation::CCompatChecker* checker, NodeIdentRecord* node, uint32_t* kind,
                     uint8_t* wordSwap, uint32_t* build);
    // The context of these callbacks is the channel's client.
    static void VersionBrowse(std::string& errorText, void* context, int command, int parameter,
                              int* response);
    static void ReadIdentity(std::string& errorText, void* context, uint32_t* code, uint32_t* major,
                             uint32_t* minor, uint32_t* patch, uint32_t* preState, uint32_t* preNumber);

    const std::string& ErrorText() const { return errorText_; }
    const std::string& BoxAddressText() const { return boxAddressText_; }
    CModbusTcpClient* Client() { return client_.get(); }
    int LastTransaction() const { return lastTransaction_; }
    long CommState() const { return commState_; }
    // Failed register exchanges since the box was connected; read by the node guard's thread.
    uint32_t ErrorCounter() const { return errorCounter_.load(); }
    void ClearErrorCounter() { errorCounter_.store(0); }
    bool RawWordOrder() const override { return client_ ? client_->RawWordOrder() : false; }
    void SetRawWordOrder(bool raw) override {
        if (client_) client_->SetRawWordOrder(raw);
    }

  private:
    int ConnectOnDemand();
    // Client error text, or the channel's when there is no client.
    std::string ClientText() const { return client_ ? client_->ErrorText() : errorText_; }

    // CModbusRegisterAccess / CDomainChannel: a step succeeds when the expected byte count
    // is reported; a time-out (0) is a failure too.
    int RegConnect() override { return ConnectOnDemand(); }
    int RegRead(uint8_t slave, uint16_t address, uint16_t count, void* buffer) override;
    int RegWrite(uint8_t slave, uint16_t address, uint16_t count, const void* data) override;
    int RegWriteSingle(uint8_t slave, uint16_t address, uint16_t value) override;
    int SdoFailure(int) override { return -1; }
    void SdoEndInitiateDownload() override {
        if (client_) client_->SetTimeout(boxTimeout_);
    }
    int DomainBegin() override;
    void DomainEnd() override {}
    uint32_t DomainReceiveTimeout() const override { return boxTimeout_; }
    void ApplyDomainTimeout(uint32_t ms) override {
        if (client_) client_->SetTimeout(ms);
    }
    void RestoreDomainTimeout() override {
        if (client_) client_->SetTimeout(boxTimeout_);
    }
    int SendTerminate(uint8_t slave, uint16_t address) override;
    int WriteEmptyBlock(uint8_t slave, uint16_t address) override;
    bool IsStartRefused(int) const override { return false; }
    uint8_t DefaultSlave() const override { return 1; }
    void SetDomainResult(int code) override { lastTransaction_ = code; }
    // Also kept as the channel's error text.
    std::string TransferFailureText(int code) override;

    int IdentifyInner(foundation::CCompatChecker* checker, NodeIdentRecord* node, uint32_t* kind,
                      uint8_t* wordSwap, uint32_t* build, uint8_t slave);

    uint32_t boxAddress_ = 0;
    uint16_t port_ = kDefaultPort;
    uint32_t boxTimeout_ = 2000;
    long commState_ = 0;
    platform::TcpSocket socket_;
    std::string boxAddressText_;
    std::string errorText_;
    std::unique_ptr<CModbusTcpClient> client_;
    int lastTransaction_ = 0;
    std::atomic<uint32_t> errorCounter_{0};
};

}  // namespace transport
