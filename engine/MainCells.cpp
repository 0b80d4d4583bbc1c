#include <cstring>

#include "engine/EngineCodes.h"
#include "engine/Main.h"
#include "engine/NodeLock.h"
#include "engine/Vocabolario.h"
#include "engine/VocabularyItem.h"

namespace engine {

using namespace engine_code;

namespace {

// Keeps what a read of the item's size and sign class may show in a 32-bit word.
uint32_t NormaliseRead(const VocabularyItem& item, uint32_t value) {
    const uint8_t sign = item.Sign();
    if (sign > 1) return value;
    if (item.size == 1) {
        value &= 0xFF;
        if (sign == 1) value = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(value)));
    } else if (item.size == 2) {
        value &= 0xFFFF;
        if (sign == 1) value = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(value)));
    }
    return value;
}

// A simulated node answers from its store: the stored word cut to the item's size.
uint32_t NormaliseStored(const VocabularyItem& item, uint32_t value) {
    const bool isSigned = item.Sign() != 0;
    switch (item.size) {
        case 1:
            return isSigned ? static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(value & 0xFF)))
                            : (value & 0xFF);
        case 2:
            return isSigned
                       ? static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(value & 0xFFFF)))
                       : (value & 0xFFFF);
        case 4:
            return value;
        default:
            return 0;
    }
}

}  // namespace

CNodeLock CMain::LockNodeForUse(CNodo& node) {
    CNodeLock held(node);
    if (held) return held;
    if (node.IsTransferBusy()) return CNodeLock(SetError(kTransferBusy, engine_text::kTransferBusy));
    return CNodeLock(SetError(kNodeBusy, engine_text::kNodeBusy));
}

CNodeLock CMain::CheckCellAccess(int channelIndex, uint8_t nodeId, CChannel** channel) {
    const int ch = channelIndex == -1 ? currentChannel_.load() : channelIndex;
    // An index equal to the count passes here and finds no node below.
    if (ch < 0 || ch > channelCount_) return CNodeLock(SetError(kWrongChannel, engine_text::kWrongChannel));
    const uint8_t id = nodeId == 0 ? currentNodeId_.load() : nodeId;
    const int slot = FindNode(id, ch);
    if (slot < 0) return CNodeLock(slot);
    CNodeLock held = LockNodeForUse(*nodes_[slot]);
    if (held) *channel = Channel(ch);
    return held;
}

const VocabularyItem* CMain::FindItem(CNodo& node, const std::string& name, int channelType) {
    CVocabolario* vocabulary = Vocabulary(node.vocabularyIndex);
    if (!vocabulary) return nullptr;
    return vocabulary->FindItem(name, channelType);
}

CNodeLock CMain::CheckCellItem(const std::string& name, int channelIndex, uint8_t nodeId,
                               const VocabularyItem** item) {
    CChannel* channel = nullptr;
    CNodeLock held = CheckCellAccess(channelIndex, nodeId, &channel);
    if (!held) return held;
    const int type = channel ? channel->type : channel_type::kOffline;
    *item = FindItem(*held, name, type);
    if (*item) return held;
    held.Unlock();
    return CNodeLock(SetError(kCellNotFound, engine_text::kCellNotFound));
}

int CMain::ReadCell(const std::string& name, uint32_t* value, uint8_t nodeId, int channelIndex) {
    const VocabularyItem* item = nullptr;
    const CNodeLock node = CheckCellItem(name, channelIndex, nodeId, &item);
    if (!node) return node.Error();
    if (node->simulated) {
        *value = NormaliseStored(*item, node->GetValue(item->name));
        return 0;
    }
    if (!item->IsReadable()) return SetError(kNotReadable, engine_text::kNotReadable);
    uint32_t read = 0;
    const int rc = ReadItem(node->wordOrder != 0, *item, &read, node->nodeId, node->channelIndex);
    if (rc == 0) {
        *value = read;
        node->SetValueWord(item->name, read);
    }
    return rc;
}

int CMain::WriteCell(const std::string& name, const uint32_t* value, uint8_t nodeId, int channelIndex) {
    const VocabularyItem* item = nullptr;
    const CNodeLock node = CheckCellItem(name, channelIndex, nodeId, &item);
    if (!node) return node.Error();
    if (node->simulated) {
        node->SetValueWord(item->name, *value);
        return 0;
    }
    if (!item->IsWritable()) return SetError(kNotWritable, engine_text::kNotWritable);
    const int rc = WriteItem(node->wordOrder != 0, *item, value, node->nodeId, node->channelIndex);
    // The store mirrors the drive: a refused write must not show up in later offline reads.
    if (rc == 0) node->SetValueWord(item->name, *value);
    return rc;
}

int CMain::ReadItem(bool wordOrder, const VocabularyItem& item, uint32_t* value, uint8_t nodeId,
                    int channelIndex) {
    CChannel* channel = Channel(channelIndex);
    if (!channel || !channel->driver) return kNoDriverResult;
    const int rc = channel->driver->ReadItem(item, value, nodeId, wordOrder);
    if (rc == 0) *value = NormaliseRead(item, *value);
    return rc;
}

int CMain::WriteItem(bool wordOrder, const VocabularyItem& item, const uint32_t* value, uint8_t nodeId,
                     int channelIndex) {
    CChannel* channel = Channel(channelIndex);
    if (!channel || !channel->driver) return kNoDriverResult;
    return channel->driver->WriteItem(item, value, nodeId, wordOrder);
}

int CMain::DownloadCell(const std::string& name, const void* data, uint32_t byteCount) {
    CChannel* channel = nullptr;
    if (currentChannel_ < 0 || currentChannel_ >= channelCount_)
        return SetError(kWrongChannel, engine_text::kWrongChannel);
    channel = Channel(currentChannel_);
    const int slot = FindNode(currentNodeId_, currentChannel_);
    if (slot < 0) return slot;
    CNodo& node = *nodes_[slot];
    const int type = channel ? channel->type : channel_type::kOffline;
    const VocabularyItem* item = FindItem(node, name, type);
    if (!item) return SetError(kCellNotFound, engine_text::kCellNotFound);
    if (node.simulated) {
        if (!item->IsReadable()) return 0;
        const CNodeLock held = LockNodeForUse(node);
        if (!held) return held.Error();
        node.SetValue(item->name, data, byteCount);
        return 0;
    }
    if (!item->IsWritable()) return SetError(kNotWritable, engine_text::kNotWritable);
    const CNodeLock held = LockNodeForUse(node);
    if (!held) return held.Error();
    node.SetTransferBusy(true);
    const int rc = !channel || !channel->driver
                       ? SetError(kNotOnSimulated, engine_text::kNotOnSimulated)
                       : channel->driver->DownloadCell(*item, data, byteCount, node.nodeId);
    node.SetTransferBusy(false);
    return rc;
}

int CMain::UploadCell(const std::string& name, void* buffer, uint32_t* byteCount) {
    if (currentChannel_ < 0 || currentChannel_ >= channelCount_)
        return SetError(kWrongChannel, engine_text::kWrongChannel);
    CChannel* channel = Channel(currentChannel_);
    const int slot = FindNodeByAddress(currentNodeAddress_, currentChannel_);
    if (slot < 0) return slot;
    CNodo& node = *nodes_[slot];
    const int type = channel ? channel->type : channel_type::kOffline;
    const VocabularyItem* item = FindItem(node, name, type);
    if (!item) return SetError(kCellNotFound, engine_text::kCellNotFound);
    if (!item->IsReadable()) return SetError(kNotReadable, engine_text::kNotReadable);
    const CNodeLock held = LockNodeForUse(node);
    if (!held) return held.Error();
    if (node.simulated) {
        *byteCount = node.GetValueBytes(item->name, *byteCount, buffer);
        return 0;
    }
    node.SetTransferBusy(true);
    const int rc = !channel || !channel->driver
                       ? SetError(kNotOnSimulated, engine_text::kNotOnSimulated)
                       : channel->driver->UploadCell(*item, buffer, byteCount, node.nodeId);
    node.SetTransferBusy(false);
    return rc;
}

int CMain::ReadModbusBytes(uint16_t address, uint8_t byteCount, void* buffer, uint8_t nodeId,
                           int channelIndex) {
    CChannel* channel = nullptr;
    const CNodeLock node = CheckCellAccess(channelIndex, nodeId, &channel);
    if (!node) return node.Error();
    return channel && channel->driver
               ? channel->driver->ReadModbusBytes(node->nodeId, address, byteCount, buffer)
               : -1;
}

int CMain::WriteModbusBytes(uint16_t address, uint8_t byteCount, const void* data) {
    CChannel* channel = nullptr;
    const CNodeLock node = CheckCellAccess(-1, 0, &channel);
    if (!node) return node.Error();
    return channel && channel->driver
               ? channel->driver->WriteModbusBytes(node->nodeId, address, byteCount, data)
               : -1;
}

int CMain::GetNodeInfo(CNodeInfo& info) {
    if (currentChannel_ < 0 || currentChannel_ > channelCount_)
        return SetError(kWrongChannel, engine_text::kWrongChannel);
    const int slot = FindNode(currentNodeId_, currentChannel_);
    if (slot < 0) return slot;
    CVocabolario* vocabulary = Vocabulary(nodes_[slot]->vocabularyIndex);
    if (!vocabulary) return SetError(kVocabularyMissing, engine_text::kVocabularyNotFound);
    info.version = vocabulary->version;
    info.hw = vocabulary->hw;
    info.sw = vocabulary->sw;
    info.swVersion = vocabulary->sw_ver;
    info.file = vocabulary->GetFilePath().string().substr(0, 259);
    info.descr = vocabulary->descr.substr(0, 255);
    return 0;
}

// ---- SDO steps of the transfer threads -------------------------------------------------------

int CMain::SdoInitiateDownload(CChannel* channel, uint8_t nodeId, const VocabularyItem& item,
                               const void* data, uint32_t size) {
    if (!channel || !channel->driver) return -1;
    return channel->driver->SdoInitiateDownload(nodeId, item, data, size);
}

int CMain::SdoDownloadSegment(CChannel* channel, uint8_t nodeId, const void* data, uint32_t n, bool last) {
    if (!channel || !channel->driver) return -1;
    return channel->driver->SdoDownloadSegment(nodeId, data, n, last);
}

int CMain::SdoAbort(CChannel* channel, uint8_t nodeId, const VocabularyItem& item, uint32_t) {
    if (!channel || !channel->driver) return -1;
    return channel->driver->SdoAbort(nodeId, item);
}

int CMain::SdoInitiateUpload(CChannel* channel, uint8_t nodeId, const VocabularyItem& item, void* buffer,
                             uint32_t* size) {
    if (!channel || !channel->driver) return -1;
    return channel->driver->SdoInitiateUpload(nodeId, item, buffer, size);
}

int CMain::SdoUploadSegment(CChannel* channel, uint8_t nodeId, void* data, uint32_t* n, bool* last) {
    if (!channel || !channel->driver) return -1;
    return channel->driver->SdoUploadSegment(nodeId, data, n, last);
}

int CMain::SdoRecover(CChannel* channel, uint8_t nodeId, uint32_t, uint32_t) {
    if (!channel || !channel->driver) return -1;
    return channel->driver->SdoRecover(nodeId);
}

}  // namespace engine
