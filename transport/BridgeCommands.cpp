#include "transport/BridgeCommands.h"

#include <algorithm>
#include <cstring>

#include "transport/BridgeVkr.h"
#include "transport/ChannelTrace.h"

namespace transport {

using bridge_wire::kBridgeTarget;
namespace op = bridge_wire::op;

namespace {

bool StatusIsCode(uint32_t status) {
    return status >= 1 && status <= 256;
}

}  // namespace

// --- bridge-level commands

CCmdReset::CCmdReset(CBridgeVkr& bridge, uint8_t bus, uint32_t* statusOut)
    : CCmd(bridge, bus, op::kReset, statusOut) {}

const uint8_t* CCmdReset::ParseData(const uint8_t* record, const uint8_t* end) {
    return RecordEnd(record, end, 4);
}

CCmdGetInfo::CCmdGetInfo(CBridgeVkr& bridge, uint32_t* statusOut)
    : CCmd(bridge, kBridgeTarget, op::kGetInfo, statusOut) {}

const uint8_t* CCmdGetInfo::ParseData(const uint8_t* record, const uint8_t* end) {
    const uint8_t* next = RecordEnd(record, end, 24);
    if (!next) return nullptr;
    if (status_ == 0 || status_ > 256) {
        const uint8_t* p = record + 4;
        protocolVersion = Wire().Get32(p);
        cycleUs = Wire().Get32(p + 4);
        receiveSize = Wire().Get32(p + 8);
        sendSize = Wire().Get32(p + 12);
        largestMessage = Wire().Get32(p + 16);
        parsed = true;
    }
    return next;
}

CCmdBusList::CCmdBusList(CBridgeVkr& bridge, uint32_t* statusOut)
    : CCmd(bridge, kBridgeTarget, op::kBusList, statusOut) {}

const uint8_t* CCmdBusList::ParseData(const uint8_t* record, const uint8_t* end) {
    if (end - record < 5) return nullptr;
    const uint8_t count = record[4];
    const uint8_t* next = RecordEnd(record, end, 5 + size_t{count} * 5);
    if (!next) return nullptr;
    for (uint8_t i = 0; i < count; ++i) {
        const uint8_t* e = record + 5 + size_t{i} * 5;
        CBusInfo bus;
        bus.id = e[0];
        bus.kind = e[1];
        bus.number = e[2];
        bus.parameter = Wire().Get16(e + 3);
        bridge_.BusList().push_back(bus);
    }
    return next;
}

CCmdLog::CCmdLog(CBridgeVkr& bridge, uint32_t* statusOut, uint16_t* portOut)
    : CCmd(bridge, kBridgeTarget, op::kLog, statusOut), portOut_(portOut) {}

const uint8_t* CCmdLog::ParseData(const uint8_t* record, const uint8_t* end) {
    const uint8_t* next = RecordEnd(record, end, 6);
    if (next && portOut_) *portOut_ = Wire().Get16(record + 4);
    return next;
}

CCmdCommands::CCmdCommands(CBridgeVkr& bridge, uint32_t* statusOut)
    : CCmd(bridge, kBridgeTarget, op::kCommands, statusOut) {}

const uint8_t* CCmdCommands::ParseData(const uint8_t* record, const uint8_t* end) {
    if (status_ != 0) return RecordEnd(record, end, 4);
    // Walk the variable part first; nothing is taken unless the whole record is there.
    size_t at = 4 + 8;
    auto have = [&](size_t n) { return record <= end && static_cast<size_t>(end - record) >= at + n; };
    if (!have(1)) return nullptr;
    const size_t bridgeOps = record[at];
    const size_t bridgeOpsAt = at + 1;
    at += 1 + bridgeOps;
    if (!have(1)) return nullptr;
    const size_t targets = record[at++];
    const size_t targetsAt = at;
    for (size_t i = 0; i < targets; ++i) {
        if (!have(2)) return nullptr;
        at += 2 + record[at + 1];
    }
    const uint8_t* next = RecordEnd(record, end, at);
    if (!next) return nullptr;

    const uint8_t* v = record + 4;
    bridge_.SetVersionWords(uint32_t{Wire().Get16(v)} << 16 | Wire().Get16(v + 2),
                            uint32_t{Wire().Get16(v + 4)} << 16 | Wire().Get16(v + 6));
    CBusCmds own;
    own.target = kBridgeTarget;
    own.opcodes.assign(record + bridgeOpsAt, record + bridgeOpsAt + bridgeOps);
    bridge_.CommandSets().push_back(std::move(own));
    size_t p = targetsAt;
    for (size_t i = 0; i < targets; ++i) {
        CBusCmds set;
        set.target = record[p];
        const size_t n = record[p + 1];
        set.opcodes.assign(record + p + 2, record + p + 2 + n);
        bridge_.CommandSets().push_back(std::move(set));
        p += 2 + n;
    }
    return next;
}

CCmdCreateBlock::CCmdCreateBlock(CBridgeVkr& bridge, const void* data, uint32_t length, uint32_t* statusOut,
                                 uint16_t* blockOut)
    : CCmd(bridge, kBridgeTarget, op::kCreateBlock, statusOut),
      data_(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + (data ? length : 0)),
      blockOut_(blockOut) {}

size_t CCmdCreateBlock::RequestSize() const {
    return Version() < 3 ? 10 + data_.size() : Wire().Pad(12 + data_.size());
}

void CCmdCreateBlock::WriteRequest(uint8_t* at) const {
    WriteHead(at);
    const size_t head = Version() < 3 ? 2 : 4;
    std::memset(at + head, 0xFF, 4);
    Wire().Put32(at + head + 4, static_cast<uint32_t>(data_.size()));
    if (!data_.empty()) std::memcpy(at + head + 8, data_.data(), data_.size());
}

const uint8_t* CCmdCreateBlock::ParseData(const uint8_t* record, const uint8_t* end) {
    const uint8_t* next = RecordEnd(record, end, 6);
    if (next && blockOut_ && status_ == 0) *blockOut_ = Wire().Get16(record + 4);
    return next;
}

std::string CCmdCreateBlock::Text() const {
    return Format("CreateBlock(%lu)", static_cast<unsigned long>(data_.size()));
}

CCmdDestroyBlock::CCmdDestroyBlock(CBridgeVkr& bridge, uint16_t block, uint32_t* statusOut)
    : CCmd(bridge, kBridgeTarget, op::kDestroyBlock, statusOut), block_(block) {}

void CCmdDestroyBlock::WriteRequest(uint8_t* at) const {
    WriteHead(at);
    Wire().Put16(at + 2, block_);
}

const uint8_t* CCmdDestroyBlock::ParseData(const uint8_t* record, const uint8_t* end) {
    return RecordEnd(record, end, 4);
}

std::string CCmdDestroyBlock::Text() const {
    return Format("DestroyBlock(%u)", block_);
}

// --- reads

CCmdRead::CCmdRead(CBridgeVkr& bridge, uint16_t node, uint16_t index, uint8_t subIndex, void* buffer,
                   uint32_t length, uint32_t* sizeOut, uint32_t* statusOut)
    : CCmd(bridge, bridge.CurrentTarget(), length < 256 ? op::kRead : op::kReadLong, statusOut),
      node_(node),
      index_(index),
      subIndex_(subIndex),
      buffer_(buffer),
      length_(length),
      sizeOut_(sizeOut) {}

size_t CCmdRead::RequestSize() const {
    if (Version() >= 3) return Long() ? 12 : 8;
    if (Can()) return Long() ? 10 : 7;
    return Long() ? 11 : 8;
}

size_t CCmdRead::ResponseSize() const {
    return Wire().Pad(4 + (Long() ? 4 : 1) + size_t{length_});
}

void CCmdRead::WriteRequest(uint8_t* at) const {
    WriteHead(at);
    const bool v3 = Version() >= 3;
    size_t lengthAt;
    if (Can()) {
        at[2] = static_cast<uint8_t>(node_);
        const size_t i = v3 ? 4 : 3;
        Wire().Put16(at + i, index_);
        at[i + 2] = subIndex_;
        lengthAt = i + 3;
    } else {
        Wire().Put16(at + 2, node_);
        Wire().Put16(at + 4, index_);
        at[6] = subIndex_;
        lengthAt = 7;
    }
    if (!Long()) {
        at[lengthAt] = static_cast<uint8_t>(length_);
    } else {
        if (v3) lengthAt = 8;
        Wire().Put32(at + lengthAt, length_);
    }
}

const uint8_t* CCmdRead::ParseData(const uint8_t* record, const uint8_t* end) {
    const size_t sizeField = Long() ? 4 : 1;
    const uint8_t* next = RecordEnd(record, end, 4 + sizeField + size_t{length_});
    if (!next) return nullptr;
    const uint32_t received = Long() ? Wire().Get32(record + 4) : record[4];
    if (status_ == 0) TakeData(record + 4 + sizeField, received);
    return next;
}

void CCmdRead::TakeData(const uint8_t* data, uint32_t received) {
    if (buffer_ && length_ > 0) std::memcpy(buffer_, data, length_);
    if (sizeOut_) *sizeOut_ = received;
}

std::string CCmdRead::Text() const {
    return Format("ReadEth(%u,%04x.%02x,%lu)", node_, index_, subIndex_, static_cast<unsigned long>(length_));
}

CCmdReadCan::CCmdReadCan(CBridgeVkr& bridge, uint8_t node, uint16_t index, uint8_t subIndex, void* buffer,
                         uint32_t length, uint32_t* sizeOut, uint32_t* statusOut)
    : CCmdRead(bridge, node, index, subIndex, buffer, length, sizeOut, statusOut) {}

std::string CCmdReadCan::Text() const {
    return Format("ReadCan(%u,%04x.%02x,%lu)", node_, index_, subIndex_, static_cast<unsigned long>(length_));
}

CCmdRead4::CCmdRead4(CBridgeVkr& bridge, uint16_t node, uint16_t index, uint8_t subIndex, uint32_t* valueOut,
                     uint32_t* statusOut, uint32_t* sizeOut, bool isSigned, const CBridgeNotify& notify)
    : CCmdRead(bridge, node, index, subIndex, raw_, 4, sizeOut, statusOut),
      valueOut_(valueOut),
      signed_(isSigned),
      notify_(notify) {}

void CCmdRead4::TakeData(const uint8_t* data, uint32_t received) {
    // Object data is little-endian whatever the bridge's own byte order.
    uint32_t value;
    if (received == 1) {
        value = signed_ ? static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(data[0]))) : data[0];
    } else if (received == 2) {
        const uint16_t v16 = static_cast<uint16_t>(data[0] | data[1] << 8);
        value = signed_ ? static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(v16))) : v16;
    } else {
        value =
            uint32_t{data[0]} | uint32_t{data[1]} << 8 | uint32_t{data[2]} << 16 | uint32_t{data[3]} << 24;
    }
    changed_ = !hasValue_ || value != value_;
    hasValue_ = true;
    value_ = value;
    if (valueOut_) *valueOut_ = value;
    if (sizeOut_) *sizeOut_ = received;
}

std::string CCmdRead4::Text() const {
    return Format("Read4Eth(%u,%04x.%02x)", node_, index_, subIndex_);
}

CCmdReadCan4::CCmdReadCan4(CBridgeVkr& bridge, uint8_t node, uint16_t index, uint8_t subIndex,
                           uint32_t* valueOut, uint32_t* statusOut, uint32_t* sizeOut, bool isSigned,
                           const CBridgeNotify& notify)
    : CCmdRead4(bridge, node, index, subIndex, valueOut, statusOut, sizeOut, isSigned, notify) {}

std::string CCmdReadCan4::Text() const {
    return Format("Read4Can(%u,%04x.%02x)", node_, index_, subIndex_);
}

CCmdEthReadMemory::CCmdEthReadMemory(CBridgeVkr& bridge, uint16_t node, uint16_t address, uint16_t length,
                                     void* buffer, uint32_t* statusOut)
    : CCmd(bridge, bridge.CurrentTarget(), op::kReadMemory, statusOut),
      node_(node),
      address_(address),
      length_(length),
      buffer_(buffer) {}

void CCmdEthReadMemory::WriteRequest(uint8_t* at) const {
    WriteHead(at);
    Wire().Put16(at + 2, node_);
    Wire().Put16(at + 4, address_);
    Wire().Put16(at + 6, length_);
}

const uint8_t* CCmdEthReadMemory::ParseData(const uint8_t* record, const uint8_t* end) {
    const uint8_t* next = RecordEnd(record, end, 4 + size_t{length_});
    if (next && status_ == 0 && buffer_ && length_) std::memcpy(buffer_, record + 4, length_);
    return next;
}

std::string CCmdEthReadMemory::Text() const {
    return Format("EthReadMemory(%u,%u,%u)", node_, address_, length_);
}

// --- writes

CCmdWrite::CCmdWrite(CBridgeVkr& bridge, uint16_t node, uint16_t index, uint8_t subIndex, const void* data,
                     uint32_t length, uint32_t* statusOut, uint32_t* writtenOut)
    : CCmd(bridge, bridge.CurrentTarget(), op::kWrite, statusOut),
      node_(node),
      index_(index),
      subIndex_(subIndex),
      data_(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + (data ? length : 0)),
      writtenOut_(writtenOut) {
    if (Long()) opcode_ = op::kWriteLong;
}

size_t CCmdWrite::RequestSize() const {
    size_t head;
    if (!Long())
        head = Can() ? 7 : 8;
    else
        head = Can() ? 10 : 11;
    return Wire().Pad(head + data_.size());
}

void CCmdWrite::WriteRequest(uint8_t* at) const {
    WriteHead(at);
    const bool v3 = Version() >= 3;
    const uint32_t length = static_cast<uint32_t>(data_.size());
    size_t dataAt;
    if (!Can()) {
        Wire().Put16(at + 2, node_);
        if (!Long()) {
            Wire().Put16(at + 4, index_);
            at[6] = subIndex_;
            at[7] = static_cast<uint8_t>(length);
            dataAt = 8;
        } else if (!v3) {
            Wire().Put16(at + 4, index_);
            at[6] = subIndex_;
            Wire().Put32(at + 7, length);
            dataAt = 11;
        } else {
            Wire().Put32(at + 4, length);
            Wire().Put16(at + 8, index_);
            at[10] = subIndex_;
            dataAt = 11;
        }
    } else if (!Long()) {
        if (!v3) {
            at[2] = static_cast<uint8_t>(node_);
            Wire().Put16(at + 3, index_);
            at[5] = subIndex_;
        } else {
            Wire().Put16(at + 2, index_);
            at[4] = subIndex_;
            at[5] = static_cast<uint8_t>(node_);
        }
        at[6] = static_cast<uint8_t>(length);
        dataAt = 7;
    } else {
        if (!v3) {
            at[2] = static_cast<uint8_t>(node_);
            Wire().Put16(at + 3, index_);
            at[5] = subIndex_;
            Wire().Put32(at + 6, length);
        } else {
            Wire().Put16(at + 2, index_);
            Wire().Put32(at + 4, length);
            at[8] = subIndex_;
            at[9] = static_cast<uint8_t>(node_);
        }
        dataAt = 10;
    }
    if (!data_.empty()) std::memcpy(at + dataAt, data_.data(), data_.size());
}

const uint8_t* CCmdWrite::ParseData(const uint8_t* record, const uint8_t* end) {
    const uint8_t* next = RecordEnd(record, end, Long() ? 8 : 5);
    if (next && writtenOut_ && status_ == 0) *writtenOut_ = Long() ? Wire().Get32(record + 4) : record[4];
    return next;
}

std::string CCmdWrite::Text() const {
    return Format("WriteEth(%u,%04x.%02x,%lu)", node_, index_, subIndex_,
                  static_cast<unsigned long>(data_.size()));
}

CCmdWriteCan::CCmdWriteCan(CBridgeVkr& bridge, uint8_t node, uint16_t index, uint8_t subIndex,
                           const void* data, uint32_t length, uint32_t* statusOut, uint32_t* writtenOut)
    : CCmdWrite(bridge, node, index, subIndex, data, length, statusOut, writtenOut) {}

std::string CCmdWriteCan::Text() const {
    return Format("WriteCan(%u,%04x.%02x,%lu)", node_, index_, subIndex_,
                  static_cast<unsigned long>(data_.size()));
}

CCmdWrite4::CCmdWrite4(CBridgeVkr& bridge, uint16_t node, uint16_t index, uint8_t subIndex, uint32_t value,
                       uint32_t* statusOut)
    : CCmd(bridge, bridge.CurrentTarget(), op::kWrite, statusOut),
      node_(node),
      index_(index),
      subIndex_(subIndex),
      value_(value) {}

void CCmdWrite4::WriteRequest(uint8_t* at) const {
    WriteHead(at);
    size_t valueAt;
    if (!Can()) {
        Wire().Put16(at + 2, node_);
        Wire().Put16(at + 4, index_);
        at[6] = subIndex_;
        at[7] = 4;
        valueAt = 8;
    } else if (Version() < 3) {
        at[2] = static_cast<uint8_t>(node_);
        Wire().Put16(at + 3, index_);
        at[5] = subIndex_;
        at[6] = 4;
        valueAt = 7;
    } else {
        Wire().Put16(at + 2, index_);
        at[4] = subIndex_;
        at[5] = static_cast<uint8_t>(node_);
        at[6] = 4;
        valueAt = 7;
    }
    // The value as it lies in memory: object data is never swapped.
    std::memcpy(at + valueAt, &value_, 4);
}

const uint8_t* CCmdWrite4::ParseData(const uint8_t* record, const uint8_t* end) {
    return RecordEnd(record, end, 5);
}

std::string CCmdWrite4::Text() const {
    return Format("Write4Eth(%u,%04x.%02x,%lu)", node_, index_, subIndex_,
                  static_cast<unsigned long>(value_));
}

CCmdWriteCan4::CCmdWriteCan4(CBridgeVkr& bridge, uint8_t node, uint16_t index, uint8_t subIndex,
                             uint32_t value, uint32_t* statusOut)
    : CCmdWrite4(bridge, node, index, subIndex, value, statusOut) {}

std::string CCmdWriteCan4::Text() const {
    return Format("Write4Can(%u,%04x.%02x,%lu)", node_, index_, subIndex_,
                  static_cast<unsigned long>(value_));
}

CCmdEthWriteMemory::CCmdEthWriteMemory(CBridgeVkr& bridge, uint16_t node, uint16_t address, const void* data,
                                       uint16_t length, uint32_t* statusOut)
    : CCmd(bridge, bridge.CurrentTarget(), op::kWriteMemory, statusOut),
      node_(node),
      address_(address),
      data_(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + (data ? length : 0)) {}

void CCmdEthWriteMemory::WriteRequest(uint8_t* at) const {
    WriteHead(at);
    Wire().Put16(at + 2, node_);
    Wire().Put16(at + 4, address_);
    Wire().Put16(at + 6, static_cast<uint16_t>(data_.size()));
    if (!data_.empty()) std::memcpy(at + 8, data_.data(), data_.size());
}

const uint8_t* CCmdEthWriteMemory::ParseData(const uint8_t* record, const uint8_t* end) {
    return RecordEnd(record, end, 4);
}

std::string CCmdEthWriteMemory::Text() const {
    return Format("EthWriteMemory(%u,%u,%u,...)", node_, address_, static_cast<unsigned>(data_.size()));
}

CCmdWriteDB::CCmdWriteDB(CBridgeVkr& bridge, uint16_t node, uint16_t index, uint8_t subIndex, uint16_t block,
                         uint32_t* statusOut, uint32_t* writtenOut)
    : CCmd(bridge, bridge.CurrentTarget(), op::kWriteDB, statusOut),
      node_(node),
      index_(index),
      subIndex_(subIndex),
      block_(block),
      writtenOut_(writtenOut) {}

void CCmdWriteDB::WriteRequest(uint8_t* at) const {
    WriteHead(at);
    if (!Can()) {
        Wire().Put16(at + 2, node_);
        Wire().Put16(at + 4, index_);
        at[6] = subIndex_;
        Wire().Put16(at + (Version() < 3 ? 7 : 8), block_);
    } else if (Version() < 3) {
        at[2] = static_cast<uint8_t>(node_);
        Wire().Put16(at + 3, index_);
        at[5] = subIndex_;
        Wire().Put16(at + 6, block_);
    } else {
        Wire().Put16(at + 2, index_);
        at[4] = subIndex_;
        at[5] = static_cast<uint8_t>(node_);
        Wire().Put16(at + 6, block_);
    }
}

const uint8_t* CCmdWriteDB::ParseData(const uint8_t* record, const uint8_t* end) {
    const uint8_t* next = RecordEnd(record, end, 8);
    if (next && writtenOut_ && status_ == 0) *writtenOut_ = Wire().Get32(record + 4);
    return next;
}

std::string CCmdWriteDB::Text() const {
    return Format("WriteEthDB(%u,%04x.%02x,%u)", node_, index_, subIndex_, block_);
}

CCmdWriteCanDB::CCmdWriteCanDB(CBridgeVkr& bridge, uint8_t node, uint16_t index, uint8_t subIndex,
                               uint16_t block, uint32_t* statusOut, uint32_t* writtenOut)
    : CCmdWriteDB(bridge, node, index, subIndex, block, statusOut, writtenOut) {}

std::string CCmdWriteCanDB::Text() const {
    return Format("WriteCanDB(%u,%04x.%02x,%u)", node_, index_, subIndex_, block_);
}

CCmdFoEDownloadDB::CCmdFoEDownloadDB(CBridgeVkr& bridge, uint16_t node, uint32_t password,
                                     const std::string& name, uint16_t block, uint32_t* statusOut,
                                     uint8_t* errorInfo)
    : CCmd(bridge, bridge.CurrentTarget(), op::kFoEDownloadDB, statusOut),
      node_(node),
      password_(password),
      name_(name.substr(0, 0xFFFF)),
      block_(block),
      errorInfo_(errorInfo) {}

size_t CCmdFoEDownloadDB::RequestSize() const {
    return Version() < 3 ? 12 + name_.size() : Wire().Pad(12 + name_.size());
}

void CCmdFoEDownloadDB::WriteRequest(uint8_t* at) const {
    WriteHead(at);
    Wire().Put16(at + 2, node_);
    Wire().Put32(at + 4, password_);
    const uint16_t n = static_cast<uint16_t>(name_.size());
    if (Version() < 3) {
        Wire().Put16(at + 8, n);
        std::memcpy(at + 10, name_.data(), n);
        Wire().Put16(at + 10 + n, block_);
    } else {
        Wire().Put16(at + 8, block_);
        Wire().Put16(at + 10, n);
        std::memcpy(at + 12, name_.data(), n);
    }
}

const uint8_t* CCmdFoEDownloadDB::ParseData(const uint8_t* record, const uint8_t* end) {
    const uint8_t* next = RecordEnd(record, end, 4 + kErrorInfoSize);
    if (next && errorInfo_) std::memcpy(errorInfo_, record + 4, kErrorInfoSize);
    return next;
}

std::string CCmdFoEDownloadDB::Text() const {
    return Format("FoEDownloadDB(%u,*,%s,%u)", node_, name_.c_str(), block_);
}

// --- node and bus management

CCmdLockNode::CCmdLockNode(CBridgeVkr& bridge, uint16_t node, uint32_t* statusOut, uint32_t* holderOut)
    : CCmd(bridge, bridge.CurrentTarget(), op::kLockNode, statusOut), node_(node), holderOut_(holderOut) {}

void CCmdLockNode::WriteRequest(uint8_t* at) const {
    WriteHead(at);
    Wire().Put16(at + 2, node_);
}

const uint8_t* CCmdLockNode::ParseData(const uint8_t* record, const uint8_t* end) {
    const uint8_t* next = RecordEnd(record, end, 8);
    if (next && holderOut_) *holderOut_ = Wire().Get32(record + 4);
    return next;
}

std::string CCmdLockNode::Text() const {
    return Format("LockNode(%u)", node_);
}

CCmdUnlockNode::CCmdUnlockNode(CBridgeVkr& bridge, uint8_t target, uint16_t node, uint32_t* statusOut)
    : CCmd(bridge, target, op::kUnlockNode, statusOut), node_(node) {}

void CCmdUnlockNode::WriteRequest(uint8_t* at) const {
    WriteHead(at);
    if (target_ != kBridgeTarget) Wire().Put16(at + 2, node_);
}

const uint8_t* CCmdUnlockNode::ParseData(const uint8_t* record, const uint8_t* end) {
    return RecordEnd(record, end, 4);
}

std::string CCmdUnlockNode::Text() const {
    return Format("UnlockNode(%u)", node_);
}

CCmdBusScan::CCmdBusScan(CBridgeVkr& bridge, uint32_t* statusOut, std::vector<CSlaveInfo>* slavesOut)
    : CCmd(bridge, bridge.CurrentTarget(), op::kBusScan, statusOut), slavesOut_(slavesOut) {}

const uint8_t* CCmdBusScan::ParseData(const uint8_t* record, const uint8_t* end) {
    const bool v3 = Version() >= 3;
    const size_t countAt = v3 ? 6 : 4;
    if (record > end || static_cast<size_t>(end - record) < countAt + 2) return nullptr;
    const uint16_t bytes = Wire().Get16(record + countAt);
    const uint8_t* next = RecordEnd(record, end, countAt + 2 + size_t{bytes});
    if (!next || StatusIsCode(status_)) return next;
    const size_t entrySize = v3 ? 12 : 14;
    for (size_t at = 0; at + entrySize <= bytes; at += entrySize) {
        const uint8_t* e = record + countAt + 2 + at;
        CSlaveInfo slave;
        slave.identity1 = Wire().Get32(e);
        slave.identity2 = Wire().Get32(e + 4);
        slave.address = Wire().Get16(e + 8);
        const uint16_t state = Wire().Get16(e + 10);
        if (state == 1 || state == 2 || state == 3 || state == 4 || state == 8) slave.state = state;
        if (!v3) slave.extra = Wire().Get16(e + 12);
        if (slavesOut_) slavesOut_->push_back(slave);
    }
    return next;
}

CCmdEthSetSlaveState::CCmdEthSetSlaveState(CBridgeVkr& bridge, uint16_t node, uint16_t state,
                                           uint32_t* statusOut, uint16_t* stateOut)
    : CCmd(bridge, bridge.CurrentTarget(), op::kSetSlaveState, statusOut),
      node_(node),
      state_(state),
      stateOut_(stateOut) {}

void CCmdEthSetSlaveState::WriteRequest(uint8_t* at) const {
    WriteHead(at);
    Wire().Put16(at + 2, node_);
    Wire().Put16(at + 4, state_);
}

const uint8_t* CCmdEthSetSlaveState::ParseData(const uint8_t* record, const uint8_t* end) {
    const uint8_t* next = RecordEnd(record, end, 6);
    if (next && stateOut_) *stateOut_ = Wire().Get16(record + 4);
    return next;
}

std::string CCmdEthSetSlaveState::Text() const {
    return Format("EthSetSlaveState(%u,%u)", node_, state_);
}

CCmdEthGetSlaveState::CCmdEthGetSlaveState(CBridgeVkr& bridge, uint16_t node, uint32_t* statusOut,
                                           uint16_t* stateOut)
    : CCmd(bridge, bridge.CurrentTarget(), op::kGetSlaveState, statusOut), node_(node), stateOut_(stateOut) {}

void CCmdEthGetSlaveState::WriteRequest(uint8_t* at) const {
    WriteHead(at);
    Wire().Put16(at + 2, node_);
}

const uint8_t* CCmdEthGetSlaveState::ParseData(const uint8_t* record, const uint8_t* end) {
    const uint8_t* next = RecordEnd(record, end, 6);
    if (next && stateOut_) *stateOut_ = Wire().Get16(record + 4);
    return next;
}

std::string CCmdEthGetSlaveState::Text() const {
    return Format("EthGetSlaveState(%u)", node_);
}

CCmdCanGetSlaveState::CCmdCanGetSlaveState(CBridgeVkr& bridge, uint8_t node, uint32_t* statusOut,
                                           uint16_t* stateOut)
    : CCmdEthGetSlaveState(bridge, node, statusOut, stateOut) {}

void CCmdCanGetSlaveState::WriteRequest(uint8_t* at) const {
    WriteHead(at);
    at[2] = static_cast<uint8_t>(node_);
}

std::string CCmdCanGetSlaveState::Text() const {
    return Format("CanGetSlaveState(%u)", node_);
}

}  // namespace transport
