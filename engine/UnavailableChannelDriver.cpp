#include "engine/UnavailableChannelDriver.h"

#include <utility>

#include "engine/Channel.h"
#include "engine/EngineCodes.h"
#include "engine/Main.h"

using namespace foundation;

namespace engine {

namespace {
// The bridge's code for a request without a connected node.
constexpr int kBridgeNotConnected = 4373;
}  // namespace

CUnavailableChannelDriver::CUnavailableChannelDriver(CMain& owner, int channelIndex, int type,
                                                     std::string libraryPath)
    : CChannelDriver(owner, channelIndex), type_(type), libraryPath_(std::move(libraryPath)) {}

// A library that cannot be loaded leaves its channel out of the list; the bridge needs only sockets.
bool CUnavailableChannelDriver::Present() {
    return type_ == channel_type::kBridge;
}
bool CUnavailableChannelDriver::Available() {
    return type_ == channel_type::kBridge;
}

int CUnavailableChannelDriver::Fail() {
    if (type_ == channel_type::kBridge) return owner_.SetError(kBridgeNotConnected, "Not connected");
    return owner_.SetError(engine_code::kLibraryMissing, "error loading " + libraryPath_);
}

bool CUnavailableChannelDriver::Test(uint8_t) {
    return false;
}

int CUnavailableChannelDriver::Identify(uint8_t, CCompatChecker&, CIdentification&) {
    return Fail();
}

int CUnavailableChannelDriver::ReadItem(const VocabularyItem&, uint32_t*, uint8_t, bool) {
    return Fail();
}

int CUnavailableChannelDriver::WriteItem(const VocabularyItem&, const uint32_t*, uint8_t, bool) {
    return Fail();
}

// Block transfers on a bridge or ADS channel that is not connected give 1 without a text.
int CUnavailableChannelDriver::UploadCell(const VocabularyItem&, void*, uint32_t*, uint8_t) {
    if (type_ == channel_type::kLibrary) return Fail();
    return 1;
}

int CUnavailableChannelDriver::DownloadCell(const VocabularyItem&, const void*, uint32_t, uint8_t) {
    if (type_ == channel_type::kLibrary) return Fail();
    return 1;
}

int CUnavailableChannelDriver::Configure(const CChannelSettings&) {
    return 0;
}
int CUnavailableChannelDriver::GetConfig(CChannelSettings&) {
    return 0;
}
int CUnavailableChannelDriver::OpenInteractive(const CChannelSettings&, uintptr_t) {
    return Fail();
}

}  // namespace engine
