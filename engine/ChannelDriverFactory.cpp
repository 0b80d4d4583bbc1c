#include "engine/ChannelDriverFactory.h"

#include "engine/AdsChannelDriver.h"
#include "engine/BoxChannelDriver.h"
#include "engine/BridgeChannelDriver.h"
#include "engine/Channel.h"
#include "engine/LibraryChannelDriver.h"
#include "engine/SerialChannelDriver.h"
#include "engine/UnavailableChannelDriver.h"
#include "platform/Folders.h"

namespace engine {

std::unique_ptr<CChannelDriver> CreateChannelDriver(CMain& owner, int channelIndex, int type,
                                                    const std::string& port) {
    switch (type) {
        case channel_type::kSerial:
            return std::make_unique<CSerialChannelDriver>(owner, channelIndex, port);
        case channel_type::kBox:
            return std::make_unique<CBoxChannelDriver>(owner, channelIndex);
        case channel_type::kLibrary:
            return std::make_unique<CLibraryChannelDriver>(
                owner, channelIndex, (platform::ProgramFolder() / "libLinkora.so").string());
        case channel_type::kAds:
            return std::make_unique<CAdsChannelDriver>(
                owner, channelIndex, (platform::ProgramFolder() / "libTcAdsDll.so").string());
        case channel_type::kBridge:
            return std::make_unique<CBridgeChannelDriver>(owner, channelIndex);
        default:
            return nullptr;
    }
}

}  // namespace engine
