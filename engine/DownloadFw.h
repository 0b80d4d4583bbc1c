#pragma once

#include <cstdint>
#include <string>

#include "engine/FirmwareImage.h"
#include "engine/VocabularyItem.h"
#include "foundation/MessageIds.h"
#include "platform/Messages.h"

namespace engine {

class CMain;

// The engine's firmware download descriptor: what a prepare loads and a download writes.
struct CDownloadFw {
    std::string fileName;
    int reload = 1;
    int slot = -1;
    int channel = -1;
    CMain* engine = nullptr;
    CFirmwareImage container;
    platform::WindowHandle window = 0;
    unsigned message = foundation::kFirmwareDownloadMessage;
    uint16_t blockId = 0;
    VocabularyItem item;  // "download_firmware"
    bool enable = false;
    uint32_t waitAfterMs = 1500;
};

}  // namespace engine
