#include <chrono>
#include <cstring>
#include <thread>

#include "engine/EngineCodes.h"
#include "engine/Main.h"
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

int CMain::LockNodeForUse(CNodo& node) {
    if (node.Lock()) return 0;
    if (node.IsTransferBusy()) return SetError(kTransferBusy, engine_text::kTransferBusy);
    return SetError(kNodeBusy, engine_text::kNodeBusy);
}

// Channel index and node of a single-cell operation; the node comes back locked.
int CMain::CheckCellAccess(int channelIndex, uint8_t nodeId, CChannel** channel, CNodo** node) {
    const int ch = channelIndex == -1 ? currentChannel_.load() : channelIndex;
    // An index equal to the count passes here and finds no node below.
    if (ch < 0 || ch > channelCount_) return SetError(kWrongChannel, engine_text::kWrongChannel);
    const uint8_t id = nodeId == 0 ? currentNodeId_.load() : nodeId;
    const int slot = FindNode(id, ch);
    if (slot < 0) return slot;
    CNodo* n = nodes_[slot].get();
    const int rc = LockNodeForUse(*n);
    if (rc != 0) return rc;
    *channel = Channel(ch);
    *node = n;
    return 0;
}

const VocabularyItem* CMain::FindItem(CNodo& node, const std::string& name, int channelType) {
    CVocabolario* vocabulary = Vocabulary(node.vocabularyIndex);
    if (!vocabulary) return nullptr;
    return vocabulary->FindItem(name, channelType);
}

// Node and vocabulary item of a named single-cell operation; the node comes back locked, and
// nothing is held on failure.
int CMain::CheckCellItem(const std::string& name, int channelIndex, uint8_t nodeId, CNodo** node,
                         const VocabularyItem** item) {
    CChannel* channel = nullptr;
    const int rc = CheckCellAccess(channelIndex, nodeId, &channel, node);
    if (rc != 0) return rc;
    const int type = channel ? channel->type : channel_type::kOffline;
    *item = FindItem(**node, name, type);
    if (*item) return 0;
    (*node)->Unlock();
    return SetError(kCellNotFound, engine_text::kCellNotFound);
}

int CMain::ReadCell(const std::string& name, uint32_t* value, uint8_t nodeId, int channelIndex) {
    CNodo* node = nullptr;
    const VocabularyItem* item = nullptr;
    int rc = CheckCellItem(name, channelIndex, nodeId, &node, &item);
    if (rc != 0) return rc;
    if (node->simulated) {
        *value = NormaliseStored(*item, node->GetValue(item->name));
    } else if (!item->IsReadable()) {
        rc = SetError(kNotReadable, engine_text::kNotReadable);
    } else {
        uint32_t read = 0;
        rc = ReadItem(node->wordOrder != 0, *item, &read, node->nodeId, node->channelIndex);
        if (rc == 0) {
            *value = read;
            node->SetValueWord(item->name, read);
        }
    }
    node->Unlock();
    return rc;
}

int CMain::WriteCell(const std::string& name, const uint32_t* value, uint8_t nodeId, int channelIndex) {
    CNodo* node = nullptr;
    const VocabularyItem* item = nullptr;
    int rc = CheckCellItem(name, channelIndex, nodeId, &node, &item);
    if (rc != 0) return rc;
    if (node->simulated) {
        node->SetValueWord(item->name, *value);
    } else if (!item->IsWritable()) {
        rc = SetError(kNotWritable, engine_text::kNotWritable);
    } else {
        rc = WriteItem(node->wordOrder != 0, *item, value, node->nodeId, node->channelIndex);
        // The store mirrors the drive: a refused write must not show up in later offline reads.
        if (rc == 0) node->SetValueWord(item->name, *value);
    }
    node->Unlock();
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
        int rc = LockNodeForUse(node);
        if (rc != 0) return rc;
        node.SetValue(item->name, data, byteCount);
        node.Unlock();
        return 0;
    }
    if (!item->IsWritable()) return SetError(kNotWritable, engine_text::kNotWritable);
    int rc = LockNodeForUse(node);
    if (rc != 0) return rc;
    node.SetTransferBusy(true);
    if (!channel || !channel->driver)
        rc = SetError(kNotOnSimulated, engine_text::kNotOnSimulated);
    else
        rc = channel->driver->DownloadCell(*item, data, byteCount, node.nodeId);
    node.SetTransferBusy(false);
    node.Unlock();
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
    int rc = LockNodeForUse(node);
    if (rc != 0) return rc;
    if (node.simulated) {
        *byteCount = node.GetValueBytes(item->name, *byteCount, buffer);
        node.Unlock();
        return 0;
    }
    node.SetTransferBusy(true);
    if (!channel || !channel->driver)
        rc = SetError(kNotOnSimulated, engine_text::kNotOnSimulated);
    else
        rc = channel->driver->UploadCell(*item, buffer, byteCount, node.nodeId);
    node.SetTransferBusy(false);
    node.Unlock();
    return rc;
}

int CMain::ReadModbusBytes(uint16_t address, uint8_t byteCount, void* buffer, uint8_t nodeId,
                           int channelIndex) {
    CChannel* channel = nullptr;
    CNodo* node = nullptr;
    int rc = CheckCellAccess(channelIndex, nodeId, &channel, &node);
    if (rc != 0) return rc;
    rc = channel && channel->driver
             ? channel->driver->ReadModbusBytes(node->nodeId, address, byteCount, buffer)
             : -1;
    node->Unlock();
    return rc;
}

int CMain::WriteModbusBytes(uint16_t address, uint8_t byteCount, const void* data) {
    CChannel* channel = nullptr;
    CNodo* node = nullptr;
    int rc = CheckCellAccess(-1, 0, &channel, &node);
    if (rc != 0) return rc;
    rc = channel && channel->driver
             ? channel->driver->WriteModbusBytes(node->nodeId, address, byteCount, data)
             : -1;
    node->Unlock();
    return rc;
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

bool CMain::AbortUpload() {
    if (!uploadRunning_.load()) return true;
    uploadAbort_.store(true);
    uploadAbortWord_.store(1);
    for (int i = 0; i < 400 && uploadRunning_.load(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return !uploadRunning_.load();
}

bool CMain::AbortDownload() {
    if (!downloadRunning_.load()) return true;
    downloadAbort_.store(true);
    downloadAbortWord_.store(1);
    for (int i = 0; i < 400 && downloadRunning_.load(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return !downloadRunning_.load();
}

}  // namespace engine
