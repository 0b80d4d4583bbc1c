#include "engine/ChannelDriver.h"

namespace engine {

int CChannelDriver::ReadModbusBytes(uint8_t, uint16_t, uint8_t, void*) {
    return -1;
}
int CChannelDriver::WriteModbusBytes(uint8_t, uint16_t, uint8_t, const void*) {
    return -1;
}
int CChannelDriver::SdoInitiateDownload(uint8_t, const VocabularyItem&, const void*, uint32_t) {
    return -1;
}
int CChannelDriver::SdoDownloadSegment(uint8_t, const void*, uint32_t, bool) {
    return -1;
}
int CChannelDriver::SdoAbort(uint8_t, const VocabularyItem&) {
    return -1;
}
int CChannelDriver::SdoInitiateUpload(uint8_t, const VocabularyItem&, void*, uint32_t*) {
    return -1;
}
int CChannelDriver::SdoUploadSegment(uint8_t, void*, uint32_t*, bool*) {
    return -1;
}
int CChannelDriver::SdoRecover(uint8_t) {
    return -1;
}
int CChannelDriver::OpenInteractive(const CChannelSettings&, uintptr_t) {
    return 0;
}

int CChannelDriver::DomainUpload(const VocabularyItem&, void*, uint32_t*, bool, const std::atomic<uint32_t>*,
                                 platform::WindowHandle, unsigned, uint8_t) {
    return -1;
}

int CChannelDriver::DomainDownload(const VocabularyItem&, const void*, uint32_t*,
                                   const std::atomic<uint32_t>*, platform::WindowHandle, unsigned, uint8_t) {
    return -1;
}

}  // namespace engine
