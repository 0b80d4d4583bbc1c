#include "engine/AdsChannelDriver.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>

#include "engine/Channel.h"
#include "engine/GroupRecords.h"
#include "engine/Main.h"
#include "engine/VocabularyItem.h"
#include "platform/Prompt.h"

using namespace foundation;
using namespace transport;

namespace engine {

namespace {

AdsNetId NetIdOf(const CChannelSettings& settings) {
    AdsNetId id{};
    for (int i = 0; i < 6; ++i) id.b[i] = static_cast<uint8_t>(settings.words[i / 4] >> (8 * (i % 4)));
    return id;
}

}  // namespace

CAdsChannelDriver::CAdsChannelDriver(CMain& owner, int channelIndex, std::string libraryPath)
    : CChannelDriver(owner, channelIndex),
      ads_(owner.ErrorPair(), libraryPath, channelIndex),
      libraryPath_(std::move(libraryPath)) {}

CAdsItem CAdsChannelDriver::ItemOf(const VocabularyItem& item) {
    CAdsItem a;
    a.name = item.name;
    a.hasIndex = item.HasBusAddress();
    a.index = item.busIndex;
    a.subIndex = item.busSubIndex;
    a.size = item.size;
    a.sign = item.Sign();
    return a;
}

// A library that loads but lacks an entry point keeps the channel listed, not usable.
bool CAdsChannelDriver::Present() {
    const bool bound = ads_.LoadAdsLibrary();
    present_ = bound || !ads_.MissingFunction().empty() ? 1 : 0;
    return present_ == 1;
}

bool CAdsChannelDriver::Available() {
    return ads_.IsLibraryLoaded() || ads_.LoadAdsLibrary();
}

bool CAdsChannelDriver::Test(uint8_t) {
    return ads_.Test();
}

void CAdsChannelDriver::Target(uint32_t slave) {
    if (slave != 0 && slave != ads_.TargetPort())
        ads_.SetTarget(ads_.TargetNetId(), static_cast<uint16_t>(slave));
}

int CAdsChannelDriver::Transfer(int rc) {
    return RecordResult(rc);
}

int CAdsChannelDriver::Identify(uint8_t nodeId, CCompatChecker& checker, CIdentification& out) {
    NodeIdentRecord record;
    record.slave = nodeId;
    uint32_t kind = 0;
    uint8_t wordSwap = 0;
    uint32_t build = 0;
    // A library or port that fails leaves its code in the owner's pair, not in the channel's.
    if (!ads_.IsConnected() && !ads_.Connect()) {
        const int code = owner_.ErrorCode();
        return code != 0 ? code : static_cast<int>(CTwincatAds::kPortOpenFailed);
    }
    const int rc = ads_.IdentifyNode(&checker, &record, &kind, &wordSwap, &build);
    if (rc != 0) return rc;
    out.address = ads_.RequestAddress().port;
    out.connection = {nodeId, record.hardwareCode, record.firmwareCode, record.firmwareVersion};
    out.kind = static_cast<int>(kind);
    out.wordOrder = wordSwap;
    out.build = static_cast<uint16_t>(build);
    return 0;
}

int CAdsChannelDriver::ReadItem(const VocabularyItem& item, uint32_t* value, uint8_t nodeId, bool) {
    Target(nodeId);
    uint32_t word = 0;
    uint32_t size = std::min<uint32_t>(item.size ? item.size : 4, 4);
    const int rc = Transfer(ads_.Read(ItemOf(item), &word, &size, timeoutMs_.load()));
    if (rc == 0) *value = word;
    return rc;
}

int CAdsChannelDriver::WriteItem(const VocabularyItem& item, const uint32_t* value, uint8_t nodeId, bool) {
    Target(nodeId);
    uint32_t size = std::min<uint32_t>(item.size ? item.size : 4, 4);
    return Transfer(ads_.Write(ItemOf(item), value, &size, timeoutMs_.load()));
}

// Block transfers on a channel without an open port give 1 without a text.
int CAdsChannelDriver::UploadCell(const VocabularyItem& item, void* buffer, uint32_t* byteCount,
                                  uint8_t nodeId) {
    if (!ads_.IsConnected()) return 1;
    Target(nodeId);
    return Transfer(ads_.Read(ItemOf(item), buffer, byteCount, timeoutMs_.load()));
}

int CAdsChannelDriver::DownloadCell(const VocabularyItem& item, const void* data, uint32_t byteCount,
                                    uint8_t nodeId) {
    if (!ads_.IsConnected()) return 1;
    Target(nodeId);
    uint32_t size = byteCount;
    return Transfer(ads_.Write(ItemOf(item), data, &size, timeoutMs_.load()));
}

int CAdsChannelDriver::Configure(const CChannelSettings& settings) {
    std::copy_n(settings.words.begin(), 6, settings_.words.begin());
    ads_.SetTargetNetId(NetIdOf(settings_));
    return 0;
}

int CAdsChannelDriver::GetConfig(CChannelSettings& settings) {
    std::copy_n(settings_.words.begin(), 6, settings.words.begin());
    return 0;
}

namespace {
std::atomic<CTcaDeviceShell*> tcaShell{nullptr};
}  // namespace

void SetTcaDeviceShell(CTcaDeviceShell* shell) {
    tcaShell = shell;
}

int CAdsChannelDriver::OpenInteractive(const CChannelSettings& settings, uintptr_t) {
    Configure(settings);
    int selection = 0;
    int answer = platform::IDCANCEL;
    if (CTcaDeviceShell* shell = tcaShell.load()) {
        uint16_t address = 0;
        answer = shell->SelectDevice(ads_, &address);
        selection = address;
    } else {
        answer = platform::Prompts().Custom("ConnectTca", {}, &selection);
    }
    if (answer == platform::IDOK) {
        if (selection > 0 && selection <= 0xFFFF) {
            ads_.SetTarget(NetIdOf(settings_), static_cast<uint16_t>(selection));
            if (CChannel* channel = owner_.Channel(channelIndex_))
                channel->settings.words[1] =
                    (channel->settings.words[1] & 0xFFFFu) | static_cast<uint32_t>(selection) << 16;
        }
        // A fresh connection: nothing of the previous one counts for the guard.
        ads_.ClearErrorCounter();
        ads_.lastResult = CChannelDriver::kNothingHappened;
        lastResult = CChannelDriver::kNothingHappened;
    }
    return answer;
}

int CAdsChannelDriver::Close() {
    ads_.Disconnect();
    return 0;
}

// ---- groups ----------------------------------------------------------------------------------

int CAdsChannelDriver::GroupCreate(uint32_t, platform::WindowHandle window, unsigned message, Callback,
                                   void*) {
    return ads_.GroupCreate(window, message);
}

int CAdsChannelDriver::GroupRemove(int group) {
    ads_.GroupRemove(group);
    return 0;
}

int CAdsChannelDriver::GroupRemoveAll() {
    return ads_.GroupRemoveAll();
}

int CAdsChannelDriver::GroupExecute(uint32_t, int group, int32_t cycleMs) {
    return ads_.GroupExecute(group, cycleMs);
}

int CAdsChannelDriver::GroupStop(int group) {
    return ads_.GroupStop(group);
}

// The commands of a one-off run sit on the channel's direct list, whatever the group.
int CAdsChannelDriver::GroupExecuteOnce(uint32_t, int) {
    return ads_.DirectExecute();
}

int CAdsChannelDriver::GroupClear(int*) {
    ads_.DirectClear();
    return 0;
}

int CAdsChannelDriver::VariableAdd(uint32_t, int*, const VocabularyItem& item, int direction, void* value,
                                   int32_t size, uint32_t, void* result, uint32_t* extra) {
    return static_cast<int>(
        ads_.DirectAddItem(ItemOf(item), direction != 0, value, size, static_cast<uint32_t*>(result), extra));
}

int CAdsChannelDriver::GroupAddItem(uint32_t, int group, const VocabularyItem& item, int direction,
                                    void* value, uint32_t size, CCellHolder* holder, int32_t* resultWord) {
    uint32_t* resultOut = resultWord ? reinterpret_cast<uint32_t*>(resultWord)
                          : holder   ? reinterpret_cast<uint32_t*>(&holder->result)
                                     : nullptr;
    const uint32_t seq = ads_.GroupAddItem(group, ItemOf(item), direction == 1, value, size,
                                           holder ? &holder->status : nullptr, resultOut);
    return seq == 0 ? owner_.SetError(CTwincatAds::kNoGroup, "Group does not exist") : static_cast<int>(seq);
}

int CAdsChannelDriver::VariableRemove(int group, int variable) {
    ads_.GroupRemoveCommand(group, static_cast<uint32_t>(variable));
    return 0;
}

int CAdsChannelDriver::VariableRemoveAll(int group) {
    ads_.GroupClearCommands(group);
    return 0;
}

// ---- node guard ------------------------------------------------------------------------------

int CAdsChannelDriver::GuardArm(CNodo& node) {
    return GuardPrepare(node);
}

bool CAdsChannelDriver::GuardAlive(CNodo&) {
    return ads_.IsConnected() && ads_.ErrorCounter() < 3;
}

bool CAdsChannelDriver::GuardBroken() {
    return !ads_.IsConnected() || ads_.ErrorCounter() > 9;
}

int CAdsChannelDriver::GuardPrepare(CNodo&) {
    if (!ads_.IsConnected() && !ads_.Connect()) {
        const int rc = owner_.ErrorCode();
        return rc != 0 ? rc : static_cast<int>(CTwincatAds::kPortOpenFailed);
    }
    ads_.ClearErrorCounter();
    return 0;
}

void CAdsChannelDriver::GuardClose() {
    ads_.Disconnect();
}

}  // namespace engine
