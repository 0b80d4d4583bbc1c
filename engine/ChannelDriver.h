#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include "engine/ChannelTypes.h"
#include "engine/Nodo.h"
#include "platform/Messages.h"
#include "transport/ErrorPair.h"

namespace foundation {
class CCompatChecker;
}  // namespace foundation

namespace engine {

class CMain;
struct VocabularyItem;

// Seven 32-bit words whose meaning belongs to the channel's driver.
struct CChannelSettings {
    std::array<uint32_t, 7> words{};
    bool operator==(const CChannelSettings&) const = default;
};

// What identification of a device yields beside the compatibility checker.
struct CIdentification {
    CNodeConnection connection;
    uint32_t address = 0;  // channel-specific address of the node
    int kind = 0;          // 1 boot loader, 2 firmware
    uint32_t wordOrder = 0;
    uint16_t build = 0;
};

// The engine's view of one channel type. Every channel record owns one driver (none for OFFLINE);
// drivers write failures into their owning engine's error pair and return the system's codes.
class CChannelDriver {
  public:
    static constexpr uint32_t kNothingHappened = transport::kNothingHappened;

    CChannelDriver(CMain& owner, int channelIndex) : owner_(owner), channelIndex_(channelIndex) {}
    virtual ~CChannelDriver() = default;
    CChannelDriver(const CChannelDriver&) = delete;
    CChannelDriver& operator=(const CChannelDriver&) = delete;

    virtual int Type() const = 0;

    // Flags of the channel list, recomputed whenever the channel is (re)added.
    virtual bool Present() { return true; }
    virtual bool Available() { return true; }

    // True when a device answers (the address is the slave probed where the type has one).
    virtual bool Test(uint8_t nodeAddress) = 0;

    // Identifies the device with the given node id; fills the checker and the record.
    virtual int Identify(uint8_t nodeId, foundation::CCompatChecker& checker, CIdentification& out) = 0;

    // Single values (sizes 1 to 4, or longer through SDO); the caller normalises the sign.
    virtual int ReadItem(const VocabularyItem& item, uint32_t* value, uint8_t nodeId, bool wordOrder) = 0;
    virtual int WriteItem(const VocabularyItem& item, const uint32_t* value, uint8_t nodeId,
                          bool wordOrder) = 0;

    // Block transfers of long cells; byteCount is in/out for the upload.
    virtual int UploadCell(const VocabularyItem& item, void* buffer, uint32_t* byteCount, uint8_t nodeId) = 0;
    virtual int DownloadCell(const VocabularyItem& item, const void* data, uint32_t byteCount,
                             uint8_t nodeId) = 0;

    // Domain read of the upload thread: the Modbus channels post their own progress and end to
    // window (fileName: target is a file name); -1 on the other types.
    virtual int DomainUpload(const VocabularyItem& item, void* target, uint32_t* size, bool fileName,
                             const std::atomic<uint32_t>* abort, platform::WindowHandle window,
                             unsigned message, uint8_t nodeId);

    // Domain write of the firmware thread, posting like DomainUpload; -1 on the other types.
    virtual int DomainDownload(const VocabularyItem& item, const void* data, uint32_t* size,
                               const std::atomic<uint32_t>* abort, platform::WindowHandle window,
                               unsigned message, uint8_t nodeId);

    // Raw register runs (Modbus channels only; others answer -1).
    virtual int ReadModbusBytes(uint8_t nodeId, uint16_t address, uint8_t byteCount, void* buffer);
    virtual int WriteModbusBytes(uint8_t nodeId, uint16_t address, uint8_t byteCount, const void* data);

    // Settings exchanged with the connection dialogs.
    virtual int Configure(const CChannelSettings& settings) = 0;
    virtual int GetConfig(CChannelSettings& settings) = 0;

    // Opens a channel that needs the user's choice (bridge, ADS); 0 where nothing is to be done.
    virtual int OpenInteractive(const CChannelSettings& settings, uintptr_t parentWindow);

    // Closes the channel's connection (channel close and node disconnection) and its result.
    virtual int Close() = 0;

    // SDO steps of the transfer threads; -1 on every type without them.
    virtual int SdoInitiateDownload(uint8_t nodeId, const VocabularyItem& item, const void* data,
                                    uint32_t size);
    virtual int SdoDownloadSegment(uint8_t nodeId, const void* data, uint32_t n, bool last);
    virtual int SdoAbort(uint8_t nodeId, const VocabularyItem& item);
    virtual int SdoInitiateUpload(uint8_t nodeId, const VocabularyItem& item, void* buffer, uint32_t* size);
    virtual int SdoUploadSegment(uint8_t nodeId, void* data, uint32_t* n, bool* last);
    virtual int SdoRecover(uint8_t nodeId);

    // Node guard: result of the last transfer (kNothingHappened after arming). Written by every
    // transfer on whatever thread makes it, read by the guard's thread.
    std::atomic<uint32_t> lastResult{kNothingHappened};
    int64_t guardDeadlineMs = 0;
    uint16_t guardTimeMs = 0;

    int ChannelIndex() const { return channelIndex_; }
    CMain& Owner() { return owner_; }

  protected:
    // Keeps a transfer's result as the guard's sign of life (or of its absence) and returns it.
    int RecordResult(int rc) {
        lastResult.store(static_cast<uint32_t>(rc));
        return rc;
    }

    CMain& owner_;
    int channelIndex_;
};

}  // namespace engine
