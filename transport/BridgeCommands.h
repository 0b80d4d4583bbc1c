#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "transport/BridgeCmd.h"
#include "transport/BridgeTypes.h"

namespace transport {

// The command family of the bridge protocol. Bus commands take the connection's current
// target byte when made; node numbers are given by the adders of CBridgeVkr.

class CCmdReset : public CCmd {
  public:
    CCmdReset(CBridgeVkr& bridge, uint8_t bus, uint32_t* statusOut);
    size_t RequestSize() const override { return Wire().Pad(2); }
    size_t ResponseSize() const override { return 4; }
    void WriteRequest(uint8_t* at) const override { WriteHead(at); }
    const uint8_t* ParseData(const uint8_t* record, const uint8_t* end) override;
    std::string Text() const override { return "Reset()"; }
};

class CCmdGetInfo : public CCmd {
  public:
    CCmdGetInfo(CBridgeVkr& bridge, uint32_t* statusOut);
    size_t RequestSize() const override { return 2; }
    size_t ResponseSize() const override { return 24; }
    void WriteRequest(uint8_t* at) const override { WriteHead(at); }
    const uint8_t* ParseData(const uint8_t* record, const uint8_t* end) override;
    std::string Text() const override { return "GetInfo()"; }

    bool parsed = false;
    uint32_t protocolVersion = 0, cycleUs = 0, receiveSize = 0, sendSize = 0, largestMessage = 0;
};

class CCmdBusList : public CCmd {
  public:
    CCmdBusList(CBridgeVkr& bridge, uint32_t* statusOut);
    size_t RequestSize() const override { return 2; }
    size_t ResponseSize() const override { return Wire().Pad(4 + 1 + 5 * 8); }
    void WriteRequest(uint8_t* at) const override { WriteHead(at); }
    const uint8_t* ParseData(const uint8_t* record, const uint8_t* end) override;
    std::string Text() const override { return "BusList()"; }
};

class CCmdLog : public CCmd {
  public:
    CCmdLog(CBridgeVkr& bridge, uint32_t* statusOut, uint16_t* portOut);
    size_t RequestSize() const override { return Wire().Pad(2); }
    size_t ResponseSize() const override { return Wire().Pad(6); }
    void WriteRequest(uint8_t* at) const override { WriteHead(at); }
    const uint8_t* ParseData(const uint8_t* record, const uint8_t* end) override;
    std::string Text() const override { return "Log()"; }

  private:
    uint16_t* portOut_;
};

class CCmdCommands : public CCmd {
  public:
    CCmdCommands(CBridgeVkr& bridge, uint32_t* statusOut);
    size_t RequestSize() const override { return 2; }
    size_t ResponseSize() const override { return Wire().Pad(4 + 8 + 1 + 16 + 1 + 4 * 20); }
    void WriteRequest(uint8_t* at) const override { WriteHead(at); }
    const uint8_t* ParseData(const uint8_t* record, const uint8_t* end) override;
    std::string Text() const override { return "Commands()"; }
};

class CCmdCreateBlock : public CCmd {
  public:
    CCmdCreateBlock(CBridgeVkr& bridge, const void* data, uint32_t length, uint32_t* statusOut,
                    uint16_t* blockOut);
    size_t RequestSize() const override;
    size_t ResponseSize() const override { return Wire().Pad(6); }
    void WriteRequest(uint8_t* at) const override;
    const uint8_t* ParseData(const uint8_t* record, const uint8_t* end) override;
    std::string Text() const override;

  private:
    std::vector<uint8_t> data_;
    uint16_t* blockOut_;
};

class CCmdDestroyBlock : public CCmd {
  public:
    CCmdDestroyBlock(CBridgeVkr& bridge, uint16_t block, uint32_t* statusOut);
    size_t RequestSize() const override { return 4; }
    size_t ResponseSize() const override { return 4; }
    void WriteRequest(uint8_t* at) const override;
    const uint8_t* ParseData(const uint8_t* record, const uint8_t* end) override;
    std::string Text() const override;

  private:
    uint16_t block_;
};

// CoE (EtherCAT) and SDO (CANopen) reads of an object into the caller's buffer: the
// requested number of bytes is copied, the number received goes to sizeOut.
class CCmdRead : public CCmd {
  public:
    CCmdRead(CBridgeVkr& bridge, uint16_t node, uint16_t index, uint8_t subIndex, void* buffer,
             uint32_t length, uint32_t* sizeOut, uint32_t* statusOut);
    size_t RequestSize() const override;
    size_t ResponseSize() const override;
    void WriteRequest(uint8_t* at) const override;
    const uint8_t* ParseData(const uint8_t* record, const uint8_t* end) override;
    std::string Text() const override;

    uint32_t Length() const { return length_; }

  protected:
    bool Long() const { return length_ >= 256; }
    virtual bool Can() const { return false; }
    // Called with the requested bytes of a successful reply.
    virtual void TakeData(const uint8_t* data, uint32_t received);

    uint16_t node_, index_;
    uint8_t subIndex_;
    void* buffer_;
    uint32_t length_;
    uint32_t* sizeOut_;
};

class CCmdReadCan : public CCmdRead {
  public:
    CCmdReadCan(CBridgeVkr& bridge, uint8_t node, uint16_t index, uint8_t subIndex, void* buffer,
                uint32_t length, uint32_t* sizeOut, uint32_t* statusOut);
    std::string Text() const override;

  protected:
    bool Can() const override { return true; }
};

// Four-byte reads of group values: widened by the received size (sign-extended for signed
// items) into the caller's variable; the changed flag tells a new value.
class CCmdRead4 : public CCmdRead {
  public:
    CCmdRead4(CBridgeVkr& bridge, uint16_t node, uint16_t index, uint8_t subIndex, uint32_t* valueOut,
              uint32_t* statusOut, uint32_t* sizeOut, bool isSigned, const CBridgeNotify& notify);
    std::string Text() const override;
    const CBridgeNotify& Notify() const { return notify_; }
    uint32_t Value() const { return value_; }

  protected:
    void TakeData(const uint8_t* data, uint32_t received) override;

    uint32_t* valueOut_;
    bool signed_;
    CBridgeNotify notify_;
    uint8_t raw_[4] = {};
    uint32_t value_ = 0;
    bool hasValue_ = false;
};

class CCmdReadCan4 : public CCmdRead4 {
  public:
    CCmdReadCan4(CBridgeVkr& bridge, uint8_t node, uint16_t index, uint8_t subIndex, uint32_t* valueOut,
                 uint32_t* statusOut, uint32_t* sizeOut, bool isSigned, const CBridgeNotify& notify);
    std::string Text() const override;

  protected:
    bool Can() const override { return true; }
};

class CCmdEthReadMemory : public CCmd {
  public:
    CCmdEthReadMemory(CBridgeVkr& bridge, uint16_t node, uint16_t address, uint16_t length, void* buffer,
                      uint32_t* statusOut);
    size_t RequestSize() const override { return 8; }
    size_t ResponseSize() const override { return Wire().Pad(4 + length_); }
    void WriteRequest(uint8_t* at) const override;
    const uint8_t* ParseData(const uint8_t* record, const uint8_t* end) override;
    std::string Text() const override;

  private:
    uint16_t node_, address_, length_;
    void* buffer_;
};

// Writes of an object; the data is copied when the command is made.
class CCmdWrite : public CCmd {
  public:
    CCmdWrite(CBridgeVkr& bridge, uint16_t node, uint16_t index, uint8_t subIndex, const void* data,
              uint32_t length, uint32_t* statusOut, uint32_t* writtenOut = nullptr);
    size_t RequestSize() const override;
    size_t ResponseSize() const override { return Long() ? 8 : Wire().Pad(5); }
    void WriteRequest(uint8_t* at) const override;
    const uint8_t* ParseData(const uint8_t* record, const uint8_t* end) override;
    std::string Text() const override;

  protected:
    bool Long() const { return data_.size() >= 256; }
    virtual bool Can() const { return false; }

    uint16_t node_, index_;
    uint8_t subIndex_;
    std::vector<uint8_t> data_;
    uint32_t* writtenOut_;
};

class CCmdWriteCan : public CCmdWrite {
  public:
    CCmdWriteCan(CBridgeVkr& bridge, uint8_t node, uint16_t index, uint8_t subIndex, const void* data,
                 uint32_t length, uint32_t* statusOut, uint32_t* writtenOut = nullptr);
    std::string Text() const override;

  protected:
    bool Can() const override { return true; }
};

class CCmdWrite4 : public CCmd {
  public:
    CCmdWrite4(CBridgeVkr& bridge, uint16_t node, uint16_t index, uint8_t subIndex, uint32_t value,
               uint32_t* statusOut);
    size_t RequestSize() const override { return 12; }
    size_t ResponseSize() const override { return Wire().Pad(5); }
    void WriteRequest(uint8_t* at) const override;
    const uint8_t* ParseData(const uint8_t* record, const uint8_t* end) override;
    std::string Text() const override;

  protected:
    virtual bool Can() const { return false; }

    uint16_t node_, index_;
    uint8_t subIndex_;
    uint32_t value_;
};

class CCmdWriteCan4 : public CCmdWrite4 {
  public:
    CCmdWriteCan4(CBridgeVkr& bridge, uint8_t node, uint16_t index, uint8_t subIndex, uint32_t value,
                  uint32_t* statusOut);
    size_t RequestSize() const override { return Wire().Pad(11); }
    std::string Text() const override;

  protected:
    bool Can() const override { return true; }
};

class CCmdEthWriteMemory : public CCmd {
  public:
    CCmdEthWriteMemory(CBridgeVkr& bridge, uint16_t node, uint16_t address, const void* data, uint16_t length,
                       uint32_t* statusOut);
    size_t RequestSize() const override { return Wire().Pad(8 + data_.size()); }
    size_t ResponseSize() const override { return 4; }
    void WriteRequest(uint8_t* at) const override;
    const uint8_t* ParseData(const uint8_t* record, const uint8_t* end) override;
    std::string Text() const override;

  private:
    uint16_t node_, address_;
    std::vector<uint8_t> data_;
};

class CCmdWriteDB : public CCmd {
  public:
    CCmdWriteDB(CBridgeVkr& bridge, uint16_t node, uint16_t index, uint8_t subIndex, uint16_t block,
                uint32_t* statusOut, uint32_t* writtenOut);
    size_t RequestSize() const override { return Version() < 3 ? 9 : 12; }
    size_t ResponseSize() const override { return 8; }
    void WriteRequest(uint8_t* at) const override;
    const uint8_t* ParseData(const uint8_t* record, const uint8_t* end) override;
    std::string Text() const override;

  protected:
    virtual bool Can() const { return false; }

    uint16_t node_, index_;
    uint8_t subIndex_;
    uint16_t block_;
    uint32_t* writtenOut_;
};

class CCmdWriteCanDB : public CCmdWriteDB {
  public:
    CCmdWriteCanDB(CBridgeVkr& bridge, uint8_t node, uint16_t index, uint8_t subIndex, uint16_t block,
                   uint32_t* statusOut, uint32_t* writtenOut);
    size_t RequestSize() const override { return 8; }
    std::string Text() const override;

  protected:
    bool Can() const override { return true; }
};

class CCmdFoEDownloadDB : public CCmd {
  public:
    static constexpr size_t kErrorInfoSize = 80;

    // errorInfo: the caller's 80 bytes of FoE error information (may be null).
    CCmdFoEDownloadDB(CBridgeVkr& bridge, uint16_t node, uint32_t password, const std::string& name,
                      uint16_t block, uint32_t* statusOut, uint8_t* errorInfo);
    size_t RequestSize() const override;
    size_t ResponseSize() const override { return 4 + kErrorInfoSize; }
    void WriteRequest(uint8_t* at) const override;
    const uint8_t* ParseData(const uint8_t* record, const uint8_t* end) override;
    std::string Text() const override;

  private:
    uint16_t node_;
    uint32_t password_;
    std::string name_;
    uint16_t block_;
    uint8_t* errorInfo_;
};

class CCmdLockNode : public CCmd {
  public:
    CCmdLockNode(CBridgeVkr& bridge, uint16_t node, uint32_t* statusOut, uint32_t* holderOut);
    size_t RequestSize() const override { return 4; }
    size_t ResponseSize() const override { return 8; }
    void WriteRequest(uint8_t* at) const override;
    const uint8_t* ParseData(const uint8_t* record, const uint8_t* end) override;
    std::string Text() const override;

  private:
    uint16_t node_;
    uint32_t* holderOut_;
};

// target 0xFF unlocks every node this client holds.
class CCmdUnlockNode : public CCmd {
  public:
    CCmdUnlockNode(CBridgeVkr& bridge, uint8_t target, uint16_t node, uint32_t* statusOut);
    size_t RequestSize() const override { return target_ == bridge_wire::kBridgeTarget ? Wire().Pad(2) : 4; }
    size_t ResponseSize() const override { return 4; }
    void WriteRequest(uint8_t* at) const override;
    const uint8_t* ParseData(const uint8_t* record, const uint8_t* end) override;
    std::string Text() const override;

  private:
    uint16_t node_;
};

class CCmdBusScan : public CCmd {
  public:
    CCmdBusScan(CBridgeVkr& bridge, uint32_t* statusOut, std::vector<CSlaveInfo>* slavesOut);
    size_t RequestSize() const override { return Wire().Pad(2); }
    size_t ResponseSize() const override { return Version() < 3 ? 20 : 24; }
    void WriteRequest(uint8_t* at) const override { WriteHead(at); }
    const uint8_t* ParseData(const uint8_t* record, const uint8_t* end) override;
    std::string Text() const override { return "BusScan()"; }

  private:
    std::vector<CSlaveInfo>* slavesOut_;
};

class CCmdEthSetSlaveState : public CCmd {
  public:
    CCmdEthSetSlaveState(CBridgeVkr& bridge, uint16_t node, uint16_t state, uint32_t* statusOut,
                         uint16_t* stateOut);
    size_t RequestSize() const override { return Wire().Pad(6); }
    size_t ResponseSize() const override { return Wire().Pad(6); }
    void WriteRequest(uint8_t* at) const override;
    const uint8_t* ParseData(const uint8_t* record, const uint8_t* end) override;
    std::string Text() const override;

  private:
    uint16_t node_, state_;
    uint16_t* stateOut_;
};

class CCmdEthGetSlaveState : public CCmd {
  public:
    CCmdEthGetSlaveState(CBridgeVkr& bridge, uint16_t node, uint32_t* statusOut, uint16_t* stateOut);
    size_t RequestSize() const override { return 4; }
    size_t ResponseSize() const override { return Wire().Pad(6); }
    void WriteRequest(uint8_t* at) const override;
    const uint8_t* ParseData(const uint8_t* record, const uint8_t* end) override;
    std::string Text() const override;

  protected:
    uint16_t node_;
    uint16_t* stateOut_;
};

class CCmdCanGetSlaveState : public CCmdEthGetSlaveState {
  public:
    CCmdCanGetSlaveState(CBridgeVkr& bridge, uint8_t node, uint32_t* statusOut, uint16_t* stateOut);
    size_t RequestSize() const override { return Wire().Pad(3); }
    void WriteRequest(uint8_t* at) const override;
    std::string Text() const override;
};

}  // namespace transport
