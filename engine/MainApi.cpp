#include "engine/MainApi.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "engine/EngineCodes.h"
#include "engine/EngineLog.h"
#include "engine/Vocabolario.h"

namespace engine {

using namespace engine_code;

CMainApi::CMainApi(platform::WindowHandle owner) {
    engine_.reset(new (std::nothrow) CMain(owner));
    engineCreated_ = engine_ != nullptr;
    if (!engineCreated_) creationError_ = "out of memory creating the communication engine";
}

CMainApi::~CMainApi() = default;

int CMainApi::CheckCurrentChannel(CChannel** channel) {
    const int rc = engine_->CheckChannel(engine_->CurrentChannel(), channel);
    if (rc != 0) return rc;
    const int type = (*channel)->type;
    if (type < 0 || type > 8) return kBadChannelType;
    return 0;
}

int CMainApi::SelectChannel(int index) {
    engine_->ClearError();
    if (index >= 0 && index < engine_->ChannelCount()) {
        engine_->SetCurrentChannel(index);
        engine_->RetimeCyclicItems();
        return 0;
    }
    engine_->SetCurrentChannel(-1);
    return -1;
}

int CMainApi::ChannelConfigure(const CChannelSettings& settings) {
    engine_->ClearError();
    CChannel* channel = nullptr;
    int rc = CheckCurrentChannel(&channel);
    if (rc != 0) return rc;
    switch (channel->type) {
        case channel_type::kSerial: {
            CChannelSettings six = settings;
            six.words[6] = 0;
            if (!(six == channel->settings)) {
                rc = channel->driver->Configure(six);
                if (rc != 0) return rc;
                channel->settings = six;
            }
            // The guard follows the serial answer time-out, without a second chance.
            engine_->defaultGuardTimeMs =
                static_cast<uint16_t>(std::min<uint32_t>(channel->settings.words[2], 0xFFFF));
            engine_->defaultLifeTimeFactor = 1;
            return 0;
        }
        case channel_type::kLibrary:
        case channel_type::kBridge:
        case channel_type::kBox:
            channel->settings = settings;
            channel->driver->Configure(settings);
            return 0;
        case channel_type::kAds: {
            CChannelSettings six = settings;
            six.words[6] = 0;
            channel->settings = six;
            channel->driver->Configure(six);
            return 0;
        }
        default:
            return kBadChannelType;
    }
}

int CMainApi::GetChannelConfig(CChannelSettings& settings) {
    engine_->ClearError();
    CChannel* channel = nullptr;
    int rc = CheckCurrentChannel(&channel);
    if (rc != 0) return rc;
    switch (channel->type) {
        case channel_type::kSerial:
            settings.words[0] = channel->settings.words[0];
            settings.words[1] = channel->settings.words[1];
            settings.words[2] = channel->settings.words[2];
            settings.words[3] = static_cast<uint32_t>(engine_->OwnerWindow());
            settings.words[4] = engine_->NotifyMessage();
            settings.words[5] = (settings.words[5] & ~0xFFu) | (channel->settings.words[5] & 0xFFu);
            return 0;
        case channel_type::kLibrary:
        case channel_type::kBridge:
        case channel_type::kBox:
            settings = channel->settings;
            return 0;
        case channel_type::kAds:
            std::copy_n(channel->settings.words.begin(), 6, settings.words.begin());
            return 0;
        default:
            return kBadChannelType;
    }
}

int CMainApi::ChannelOpen(const CChannelSettings& settings, platform::WindowHandle parent) {
    const int index = engine_->CurrentChannel();
    if (index < 0 || index >= engine_->ChannelCount()) return kWrongChannel;
    CChannel* channel = engine_->Channel(index);
    if (!channel || !channel->driver) return 0;
    switch (channel->type) {
        case channel_type::kSerial:
        case channel_type::kLibrary:
        case channel_type::kBox:
            return kNotOnSimulated;  // they open on first use
        case channel_type::kBridge:
        case channel_type::kAds:
            return channel->driver->OpenInteractive(settings, parent);
        default:
            return 0;
    }
}

int CMainApi::ChannelClose(int index) {
    engine_->ClearError();
    engine_->GroupRemoveAll();
    if (index == -2) {
        engine_->AbortDownload();
        engine_->AbortUpload();
        engine_->DeleteAllNodes();
        engine_->DestroyChannels();
        return 0;
    }
    const int ch = index == -1 ? engine_->CurrentChannel() : index;
    CChannel* channel = nullptr;
    int rc = engine_->CheckChannel(ch, &channel);
    if (rc != 0) return rc;
    if (channel->type < 0 || channel->type > 8) return kBadChannelType;
    engine_->AbortDownload();
    engine_->AbortUpload();
    engine_->DeleteAllNodes();
    return channel->driver->Close();
}

int CMainApi::GetLastErrorText(char* buffer, size_t size) {
    const std::string text = engine_->ErrorText();
    const size_t length = std::min<size_t>(text.size(), 255);
    if (!buffer) return static_cast<int>(length);
    if (size == 0) return 0;
    const size_t n = std::min(length, size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

int CMainApi::ReadCell(const std::string& name, uint32_t* value) {
    engine_->ClearError();
    return engine_->ReadCell(name, value, 0, -1);
}

int CMainApi::WriteCell(const std::string& name, uint32_t value) {
    engine_->ClearError();
    return engine_->WriteCell(name, &value, 0, -1);
}

int CMainApi::GetCellInfo(const std::string& name, VocabularyItem& info) {
    engine_->ClearError();
    const int ch = engine_->CurrentChannel();
    if (ch < 0 || ch > engine_->ChannelCount())
        return engine_->SetError(kCellNotFound, engine_text::kWrongChannel);
    const int slot = engine_->FindNodeByAddress(engine_->CurrentNodeAddress(), ch);
    if (slot < 0) return engine_->SetError(kCellNotFound, engine_text::kNodeNotFound);
    CChannel* channel = engine_->Channel(ch);
    const VocabularyItem* item =
        engine_->FindItem(*engine_->Node(slot), name, channel ? channel->type : channel_type::kOffline);
    if (!item) return engine_->SetError(kCellNotFound, engine_text::kCellNotFound);
    info = *item;
    return 0;
}

int CMainApi::GetNextCellInfo(int restart, VocabularyItem& info) {
    engine_->ClearError();
    const int ch = engine_->CurrentChannel();
    if (ch < 0 || ch > engine_->ChannelCount())
        return engine_->SetError(kWrongChannel, engine_text::kWrongChannel);
    const int slot = engine_->FindNode(engine_->CurrentNodeId(), ch);
    if (slot < 0) return slot;
    CVocabolario* vocabulary = engine_->Vocabulary(engine_->Node(slot)->vocabularyIndex);
    if (!vocabulary) return engine_->SetError(kVocabularyMissing, engine_text::kVocabularyNotFound);
    if (restart == 0) {
        walkNames_ = vocabulary->ItemNamesInOrder();
        walkNext_ = 0;
    }
    while (walkNext_ < walkNames_.size()) {
        const VocabularyItem* item = vocabulary->FindItemByName(walkNames_[walkNext_++]);
        if (item) {
            info = *item;
            return 0;
        }
    }
    return engine_->SetError(kCellNotFound, engine_text::kCellNotFound);
}

int CMainApi::SelectNode(uint8_t nodeId) {
    engine_->ClearError();
    return engine_->SelectNode(nodeId, -1);
}

int CMainApi::NodeDisconnect(uint8_t nodeId, int channelIndex) {
    engine_->ClearError();
    int slot = -1;
    for (int i = 0; i < engine_->NodeCount() && slot < 0; ++i) {
        CNodo* node = engine_->Node(i);
        if (node && node->nodeId == nodeId && node->channelIndex == channelIndex) slot = i;
    }
    if (slot < 0) return engine_->SetError(kNodeUnknownForDisconnect, engine_text::kNodeUnknownForDisconnect);
    {
        const CNodeLock node(*engine_->Node(slot));
        if (!node) return engine_->SetError(kNodeBusy, engine_text::kNodeBusy);
        node->simulated = 1;
        node->guardState = static_cast<uint8_t>((node->guardState & 0x80) | 5);
    }
    CChannel* channel = engine_->Channel(channelIndex);
    if (!channel || !channel->driver) return 0;
    return channel->driver->Close();
}

}  // namespace engine
