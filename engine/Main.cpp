#include "engine/Main.h"

#include <algorithm>

#include "engine/ChannelDriverFactory.h"
#include "engine/EngineCodes.h"
#include "engine/Vocabolario.h"
#include "foundation/ProgramSwitches.h"
#include "platform/CodePage.h"
#include "platform/Registry.h"

using namespace foundation;

namespace engine {

using namespace engine_code;

CMain::CMain(platform::WindowHandle owner) : ownerWindow_(owner) {
    vocabularyIndex_.SetNotificationWindow(owner, notifyMessage_);
}

CMain::~CMain() {
    AbortUpload();
    AbortDownload();
    transfers_.EndUploadThread();
    JoinFirmwareThreads();
    StopProgressTicker();
    StopNodeguard();
    GroupRemoveAll();
    // Nothing below may be freed while a background thread whose stop timed out still runs.
    JoinBackgroundThreads();
    DeleteAllNodes();
    FreeVocabularies();
    DestroyChannels();
}

// ---- error pair ------------------------------------------------------------------------------

void CMain::ClearError() {
    error_.Clear();
}

int CMain::SetError(int code, const std::string& text) {
    return error_.Record(code, text);
}

int CMain::SetErrorCode(int code) {
    return error_.RecordCode(code);
}

int CMain::ErrorCode() const {
    return error_.Code();
}

std::string CMain::ErrorText() const {
    return error_.Text();
}

// ---- groups ----------------------------------------------------------------------------------

int CMain::GroupCreate(uint32_t, uint32_t, platform::WindowHandle window, unsigned message) {
    return groups_.Create(window, message);
}

int CMain::GroupRemove(int group) {
    return groups_.Remove(group);
}

int CMain::GroupRemoveAll() {
    return groups_.RemoveAll();
}

int CMain::GroupExecute(int group, int cyclic, int32_t cycleMs) {
    return groups_.Execute(group, cyclic, cycleMs);
}

int CMain::GroupStop(int group) {
    return groups_.Stop(group);
}

int CMain::GroupExecuteOnce(uint32_t, uint32_t, int group) {
    return groups_.ExecuteOnce(group);
}

int CMain::ExecuteDefaultGroup() {
    return groups_.ExecuteDefault();
}

int CMain::GroupClear(int* group) {
    return groups_.Clear(group);
}

int CMain::VariableAdd(uint32_t, uint32_t, int* group, const std::string& name, int direction, void* value,
                       int32_t size, void* result, uint32_t* extra) {
    return groups_.VariableAdd(group, name, direction, value, size, result, extra);
}

int CMain::GroupAddCell(int group, const std::string& name, int direction, void* value, int32_t size) {
    return groups_.AddCell(group, name, direction, value, size, nullptr, CGroups::kPlainCell);
}

int CMain::GroupAddReadCell(int group, const std::string& name, CCellHolder* holder) {
    return groups_.AddCell(group, name, 0, nullptr, 4, holder, CGroups::kReadHolder);
}

int CMain::GroupAddCellValue(int group, const std::string& name, uint32_t, CCellHolder* holder, uint32_t,
                             int32_t size) {
    return groups_.AddCell(group, name, 0, nullptr, size, holder, CGroups::kValueHolder);
}

int CMain::VariableRemove(int group, int variable) {
    return groups_.VariableRemove(group, variable);
}

int CMain::VariableRemoveAll(int group) {
    return groups_.VariableRemoveAll(group);
}

bool CMain::GroupExists(int group) {
    return groups_.Exists(group);
}

void CMain::GroupCallback(uint32_t value1, uint32_t value2, void* context) {
    CGroups::Callback(value1, value2, context);
}

CGroupBridge* CMain::FindGroupBridge(int group) {
    return groups_.FindBridge(group);
}

// ---- cyclic reads ----------------------------------------------------------------------------

int CMain::AddCyclicItem(const VocabularyItem& item, void* value, const CCyclicItemRequest& request,
                         uint8_t nodeId, int channelIndex, bool write) {
    return cyclic_.AddItem(item, value, request, nodeId, channelIndex, write);
}

int CMain::AddGroupToCyclicItems(CGroup& group) {
    return cyclic_.AddGroup(group, currentNodeId_, currentChannel_);
}

int CMain::StartCyclicThread() {
    return cyclic_.Start();
}

int CMain::PauseCyclicThread() {
    return cyclic_.Pause();
}

int CMain::ResumeCyclicThread() {
    return cyclic_.Resume();
}

int CMain::StopCyclicThread() {
    return cyclic_.Stop();
}

void CMain::FreeCyclicItems() {
    cyclic_.FreeItems();
}

void CMain::LogCyclicGroups(int n) {
    cyclic_.Log(n, groups_);
}

size_t CMain::CyclicItemCount() {
    return cyclic_.ItemCount();
}

void CMain::RetimeCyclicItems() {
    cyclic_.Retime();
}

void CMain::SetBackgroundClock(platform::Clock& clock) {
    cyclic_.SetClock(clock);
    guard_.SetClock(clock);
}

void CMain::JoinBackgroundThreads() {
    cyclic_.Join();
    guard_.Join();
}

// ---- node guard ------------------------------------------------------------------------------

bool CMain::StartNodeguard() {
    return guard_.Start();
}

bool CMain::StopNodeguard() {
    return guard_.Stop();
}

bool CMain::PauseNodeguard() {
    return guard_.Pause();
}

int CMain::ArmNodeGuard(CChannel& channel, CNodo& node) {
    return guard_.Arm(channel, node);
}

// ---- transfer threads ------------------------------------------------------------------------

int CMain::StartDomainUpload(const std::string& name, void* bufferOrFile, platform::WindowHandle window,
                             uint32_t, uint32_t size) {
    return transfers_.StartDomainUpload(name, bufferOrFile, window, size);
}

int CMain::AbortDownUpload() {
    return transfers_.AbortDownUpload();
}

bool CMain::AbortUpload() {
    return transfers_.AbortUpload();
}

bool CMain::AbortDownload() {
    return transfers_.AbortDownload();
}

bool CMain::StartProgressTicker(platform::WindowHandle window, unsigned message, uintptr_t code,
                                uint32_t bound) {
    return transfers_.StartProgressTicker(window, message, code, bound);
}

void CMain::StopProgressTicker() {
    transfers_.StopProgressTicker();
}

int CMain::StartFirmwarePrepare(const std::string& fileName, platform::WindowHandle window, uint32_t,
                                bool enable) {
    return transfers_.StartFirmwarePrepare(fileName, window, enable);
}

int CMain::StartFirmwareDownload() {
    return transfers_.StartFirmwareDownload();
}

int CMain::DownloadFirmware(CDownloadFw& fw) {
    return transfers_.DownloadFirmware(fw);
}

void CMain::FreeDownloadData() {
    transfers_.FreeDownloadData();
}

void CMain::JoinFirmwareThreads() {
    transfers_.JoinFirmwareThreads();
}

// ---- channel list ----------------------------------------------------------------------------

CChannel* CMain::Channel(int index) const {
    if (index < 0 || index >= kMaxChannels) return nullptr;
    return channels_[index].get();
}

int CMain::CheckChannel(int index, CChannel** out) {
    if (out) *out = nullptr;
    if (index < 0 || index >= channelCount_) return SetError(kWrongChannel, engine_text::kWrongChannel);
    CChannel* channel = channels_[index].get();
    if (!channel) return SetError(kChannelSlotEmpty, engine_text::kChannelNotFound);
    if (!channel->driver) return SetError(kChannelNoDriver, engine_text::kChannelNotFound);
    if (out) *out = channel;
    return 0;
}

int CMain::AddChannel(const std::string& name, int type, const std::string& port) {
    const std::string kept = name.substr(0, platform::Utf8SafeCut(name, CChannel::kMaxName));
    int index = -1;
    for (int i = 0; i < channelCount_; ++i) {
        if (channels_[i] && channels_[i]->name == kept) {
            index = i;
            break;
        }
    }
    if (index < 0) {
        for (int i = 0; i < channelCount_; ++i) {
            if (!channels_[i]) {
                index = i;
                break;
            }
        }
        if (index < 0) index = channelCount_;
        if (index >= kMaxChannels) return -1;
        auto channel = std::make_unique<CChannel>();
        channel->name = kept;
        channel->type = static_cast<int16_t>(type);
        channel->driver = CreateChannelDriver(*this, index, type, port);
        if (channel->driver) channel->driver->GetConfig(channel->settings);
        channels_[index] = std::move(channel);
        channelCount_ = std::max(channelCount_, index + 1);
    }
    CChannel& channel = *channels_[index];
    switch (channel.type) {
        case channel_type::kOffline:
        case channel_type::kSerial:
        case channel_type::kBox:
            channel.available = channel.present = 1;
            break;
        case channel_type::kLibrary:
        case channel_type::kBridge:
        case channel_type::kAds:
            channel.present = channel.driver && channel.driver->Present() ? 1 : 0;
            channel.available = channel.present && channel.driver->Available() ? 1 : 0;
            break;
        default:
            channel.available = channel.present = 0;
            break;
    }
    return index;
}

int CMain::CreateChannels(CChannelInfo& info) {
    bool listed = false;
    if (AddChannel(ChannelListName(channel_type::kOffline), channel_type::kOffline, "") >= 0) {
        currentChannel_ = 0;
        listed = true;
        for (const std::string& port : platform::Registry::Instance().SerialPortList()) {
            if (AddChannel(port, channel_type::kSerial, port) < 0) {
                listed = false;
                break;
            }
        }
    }
    if (listed && AddChannel(ChannelListName(channel_type::kLibrary), channel_type::kLibrary, "") >= 0 &&
        AddChannel(ChannelListName(channel_type::kAds), channel_type::kAds, "") >= 0 && g_MirelBox.load()) {
        AddChannel(ChannelListName(channel_type::kBox), channel_type::kBox, "");
    }
    channelCursor_ = 0;
    return GetNextChannel(info) ? 0 : 1;
}

bool CMain::GetNextChannel(CChannelInfo& info) {
    while (channelCursor_ < channelCount_) {
        const int index = channelCursor_++;
        const CChannel* channel = channels_[index].get();
        if (!channel || !channel->present) continue;
        info.index = index;
        info.name = channel->name.substr(0, platform::Utf8SafeCut(channel->name, 99));
        info.kind = ChannelKindOfType(channel->type);
        info.available = channel->available;
        info.present = channel->present;
        return true;
    }
    return false;
}

bool CMain::ChannelTest(uint8_t nodeAddress) {
    if (currentChannel_ < 0 || currentChannel_ >= channelCount_) return false;
    CChannel* channel = channels_[currentChannel_].get();
    if (!channel || !channel->driver || !channel->present) return false;
    if (channel->type < 1 || channel->type > 8) return false;
    return channel->driver->Test(nodeAddress);
}

void CMain::DestroyChannels() {
    for (int i = 0; i < channelCount_; ++i) {
        if (channels_[i] && channels_[i]->driver) channels_[i]->driver->Close();
        channels_[i].reset();
    }
    channelCount_ = 0;
    channelCursor_ = 0;
}

}  // namespace engine
