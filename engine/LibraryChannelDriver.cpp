#include "engine/LibraryChannelDriver.h"

#include <algorithm>
#include <utility>

#include "engine/EngineCodes.h"
#include "engine/EngineLog.h"
#include "engine/GroupRecords.h"
#include "engine/Main.h"
#include "engine/VocabularyItem.h"
#include "transport/NodeIdentification.h"

using namespace foundation;
using namespace transport;

namespace engine {

namespace {
// Library result of a block read whose object is longer than the buffer: the read counts.
constexpr int kTooLong = 7;
}  // namespace

CLibraryChannelDriver::CLibraryChannelDriver(CMain& owner, int channelIndex, std::string libraryPath)
    : CChannelDriver(owner, channelIndex), linkora_(owner, std::move(libraryPath)) {}

bool CLibraryChannelDriver::Present() {
    probe_ = linkora_.Probe();
    return probe_ >= 1;
}

bool CLibraryChannelDriver::Available() {
    if (probe_ < 0) probe_ = linkora_.Probe();
    return probe_ == 2;
}

bool CLibraryChannelDriver::Test(uint8_t) {
    if (linkora_.IsConnected()) linkora_.DropChannel();
    if (!linkora_.Connect()) return false;
    linkora_.DropChannel();
    return true;
}

int CLibraryChannelDriver::Ready() {
    if (linkora_.Channel() < 1) return linkora_.Connect() ? 0 : RecordResult(linkora_.LastResult());
    const int rc = linkora_.ChannelStatus(nullptr);
    return rc == 0 ? 0 : RecordResult(rc);
}

int CLibraryChannelDriver::Identify(uint8_t nodeId, CCompatChecker& checker, CIdentification& out) {
    // One library channel per node id: another node needs a channel of its own definition.
    if (nodeId != 0 && nodeId != linkora_.nodeId) {
        linkora_.DropChannel();
        linkora_.nodeId = nodeId;
    }
    NodeIdentRecord record;
    record.slave = nodeId;
    int32_t channel = 0;
    uint32_t kind = 0;
    uint8_t flag = 0;
    uint32_t build = 0;
    const int rc = linkora_.ConnectNode(checker, &channel, record, &kind, &flag, &build);
    if (rc != 0) return rc;
    out.address = static_cast<uint32_t>(channel);
    out.connection = {nodeId, record.hardwareCode, record.firmwareCode, record.firmwareVersion};
    out.kind = static_cast<int>(kind);
    out.wordOrder = 0;
    out.build = static_cast<uint16_t>(build);
    return 0;
}

int CLibraryChannelDriver::ReadItem(const VocabularyItem& item, uint32_t* value, uint8_t, bool) {
    if (const int rc = Ready(); rc != 0) return rc;
    const std::string address = linkora_.GetItemAddress(item);
    if (address.empty()) return owner_.ErrorCode();
    uint32_t word = 0;
    const int size = static_cast<int>(std::min<uint32_t>(item.size ? item.size : 4, 4));
    const int rc = RecordResult(linkora_.Read(address, &word, size, 1, nullptr, Timeout()));
    if (rc != 0) return linkora_.ReportError("Reading CanOpen address 0x" + address);
    *value = word;
    return 0;
}

int CLibraryChannelDriver::WriteItem(const VocabularyItem& item, const uint32_t* value, uint8_t, bool) {
    if (const int rc = Ready(); rc != 0) return rc;
    const std::string address = linkora_.GetItemAddress(item);
    if (address.empty()) return owner_.ErrorCode();
    const int size = static_cast<int>(std::min<uint32_t>(item.size ? item.size : 4, 4));
    const int rc = RecordResult(linkora_.Write(address, value, size, Timeout(), 1, nullptr));
    if (rc != 0) return linkora_.ReportError("Writing CanOpen address 0x" + address);
    return 0;
}

int CLibraryChannelDriver::UploadCell(const VocabularyItem& item, void* buffer, uint32_t* byteCount,
                                      uint8_t) {
    if (const int rc = Ready(); rc != 0) return rc;
    const std::string address = linkora_.GetItemAddress(item);
    if (address.empty()) return owner_.ErrorCode();
    int size = 0;
    const int rc =
        RecordResult(linkora_.Read(address, buffer, static_cast<int>(*byteCount), 1, &size, Timeout()));
    if (rc == kTooLong) return 0;
    *byteCount = static_cast<uint32_t>(std::clamp<int>(size, 0, static_cast<int>(*byteCount)));
    if (rc != 0)
        return owner_.SetError(rc, EngineFormat("Error %d(0x%x) reading '%s':%s", rc, rc, address.c_str(),
                                                linkora_.GetLastErrorText().c_str()));
    return 0;
}

int CLibraryChannelDriver::DownloadCell(const VocabularyItem& item, const void* data, uint32_t byteCount,
                                        uint8_t) {
    if (const int rc = Ready(); rc != 0) return rc;
    const std::string address = linkora_.GetItemAddress(item);
    if (address.empty()) return owner_.ErrorCode();
    const int rc =
        RecordResult(linkora_.Write(address, data, static_cast<int>(byteCount), Timeout(), 1, nullptr));
    if (rc != 0)
        return owner_.SetError(rc, EngineFormat("Error %d(0x%x) writing '%s':%s", rc, rc, address.c_str(),
                                                linkora_.GetLastErrorText().c_str()));
    return 0;
}

int CLibraryChannelDriver::Configure(const CChannelSettings& settings) {
    settings_ = settings;
    const bool changed = linkora_.address != settings.words[0] || linkora_.busType != settings.words[1] ||
                         linkora_.busNumber != static_cast<uint16_t>(settings.words[2]) ||
                         linkora_.nodeId != static_cast<uint8_t>(settings.words[3]);
    linkora_.address = settings.words[0];
    linkora_.busType = settings.words[1];
    linkora_.busNumber = static_cast<uint16_t>(settings.words[2]);
    linkora_.nodeId = static_cast<uint8_t>(settings.words[3]);
    if (changed) linkora_.DropChannel();
    return 0;
}

int CLibraryChannelDriver::GetConfig(CChannelSettings& settings) {
    settings = settings_;
    return 0;
}

int CLibraryChannelDriver::Close() {
    linkora_.RemoveDefaultGroup();
    linkora_.DropChannel();
    return 0;
}

// ---- groups ----------------------------------------------------------------------------------

int CLibraryChannelDriver::GroupCreate(uint32_t, platform::WindowHandle, unsigned, Callback callback,
                                       void* context) {
    return linkora_.GroupCreate(callback, context);
}

int CLibraryChannelDriver::GroupRemove(int group) {
    return linkora_.GroupRemove(group);
}

int CLibraryChannelDriver::GroupRemoveAll() {
    return linkora_.GroupRemoveAll();
}

int CLibraryChannelDriver::GroupExecute(uint32_t, int group, int32_t cycleMs) {
    return linkora_.GroupExecute(group, static_cast<uint32_t>(std::max(cycleMs, 0)));
}

int CLibraryChannelDriver::GroupStop(int group) {
    return linkora_.GroupStop(group);
}

int CLibraryChannelDriver::GroupExecuteOnce(uint32_t, int group) {
    if (group == -1) return 0;
    return linkora_.GroupExecute(group, 0);
}

int CLibraryChannelDriver::GroupClear(int* group) {
    if (*group == -1) return 0;
    if (linkora_.GroupStop(*group) == 0) return linkora_.VariableRemoveAll(*group);
    *group = linkora_.GroupCreate(nullptr, nullptr);
    return 0;
}

int CLibraryChannelDriver::VariableAdd(uint32_t, int* group, const VocabularyItem& item, int direction,
                                       void* value, int32_t size, uint32_t flags, void* result,
                                       uint32_t* extra) {
    if (*group < 0) *group = linkora_.GroupCreate(nullptr, nullptr);
    if (*group < 0) return *group;
    const std::string address = linkora_.GetItemAddress(item);
    if (address.empty()) return owner_.SetError(engine_code::kCellNotFound, engine_text::kCellNotFound);
    auto* status = static_cast<uint32_t*>(result);
    auto* sizeOut = reinterpret_cast<int32_t*>(extra);
    if (flags != 0)
        return linkora_.VariableAddValue(*group, address, direction, value, flags,
                                         static_cast<uint32_t>(size), status, sizeOut);
    return linkora_.VariableAdd(*group, address, direction, value, size, status, sizeOut);
}

int CLibraryChannelDriver::GroupAddItem(uint32_t, int group, const VocabularyItem& item, int direction,
                                        void* value, uint32_t size, CCellHolder*, int32_t* resultWord) {
    const std::string address = linkora_.GetItemAddress(item);
    if (address.empty()) return owner_.ErrorCode();
    return linkora_.VariableAdd(group, address, direction, value, static_cast<int>(size),
                                reinterpret_cast<uint32_t*>(resultWord), nullptr);
}

int CLibraryChannelDriver::VariableRemove(int group, int variable) {
    return linkora_.VariableRemove(group, variable);
}

int CLibraryChannelDriver::VariableRemoveAll(int group) {
    return linkora_.VariableRemoveAll(group);
}

// ---- node guard ------------------------------------------------------------------------------

int CLibraryChannelDriver::GuardArm(CNodo& node) {
    return GuardPrepare(node);
}

bool CLibraryChannelDriver::GuardAlive(CNodo&) {
    uint32_t status = 0;
    return linkora_.IsLoaded() && linkora_.ChannelStatus(&status) == 0 && status < 3;
}

bool CLibraryChannelDriver::GuardBroken() {
    uint32_t status = 0;
    return linkora_.ChannelStatus(&status) != 0 || status > 2;
}

int CLibraryChannelDriver::GuardPrepare(CNodo&) {
    int rc = 0;
    if (linkora_.Channel() < 1) {
        rc = linkora_.Connect() ? 0 : linkora_.LastResult();
    } else {
        rc = linkora_.ChannelStatus(nullptr);
    }
    lastResult = static_cast<uint32_t>(rc);
    if (rc == 0) linkora_.ChannelReset(1);
    return rc;
}

void CLibraryChannelDriver::GuardClose() {
    linkora_.DropChannel();
}

}  // namespace engine
