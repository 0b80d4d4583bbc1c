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
    uploadThread_.Join();
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
    std::lock_guard<std::mutex> lock(errorMutex_);
    errorPair_.Clear();
}

int CMain::SetError(int code, const std::string& text) {
    std::lock_guard<std::mutex> lock(errorMutex_);
    errorPair_.code = code;
    errorPair_.text = text.substr(0, platform::Utf8SafeCut(text, kMaxErrorText));
    return code;
}

int CMain::SetErrorCode(int code) {
    std::lock_guard<std::mutex> lock(errorMutex_);
    errorPair_.code = code;
    return code;
}

int CMain::ErrorCode() const {
    std::lock_guard<std::mutex> lock(errorMutex_);
    return errorPair_.code;
}

std::string CMain::ErrorText() const {
    std::lock_guard<std::mutex> lock(errorMutex_);
    return errorPair_.text;
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
