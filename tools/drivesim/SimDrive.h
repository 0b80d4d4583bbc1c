#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace drivesim {

class SimDriveModel;

// One component the version browse reports: identity and (code, value) attributes.
struct SimComponent {
    uint32_t code = 0, major = 0, minor = 0, patch = 0, preState = 0, preNumber = 0;
    std::vector<std::pair<int, int>> attributes;
};

// A value moved with SDO transfers over four registers at its address.
struct SimSdoObject {
    std::vector<uint8_t> bytes;
    bool writable = true;
    uint32_t abortCode = 0;  // non-zero: every upload initiate answers this abort
};

// A block of data moved with the domain protocol at one register address.
struct SimDomain {
    std::vector<uint8_t> bytes;
    bool writable = true;
    bool offered = true;  // false: the start block gets an exception (protocol not offered)
    uint8_t status = 0;   // description status; above 1 refuses the transfer
    uint32_t uploadBlock = 250;
    uint32_t downloadBlock = 246;
    uint32_t timeoutA = 0, timeoutB = 0;
};

// Counters tests read to see what reached the drive.
struct SimStats {
    int domainTerminates = 0;
    int domainUploadsDone = 0;
    int domainDownloadsDone = 0;
    int sdoAborts = 0;
    int sdoRecoveries = 0;
    int sdoDownloadsDone = 0;
    int pauseWrites = 0;
    std::vector<uint32_t> domainStartTimeouts;  // receive time-out announced in each start block
};

// One simulated drive (one slave address): holding registers, SDO objects, domains and the
// version browse, answering Modbus PDUs (function code and data, no address or CRC). A drive
// with a model answers the model's variables from it (registers, SDO objects and domains at
// their described addresses) and its own tables for the rest; a model that does not answer
// silences the drive.
class SimDrive {
  public:
    explicit SimDrive(uint8_t slave);

    uint8_t Slave() const { return slave_; }

    void SetRegister(uint16_t address, uint16_t value);
    void SetRegisters(uint16_t first, const std::vector<uint16_t>& values);
    // Two registers, low word first (as a 32-bit value lies in memory) unless swapped.
    void SetU32(uint16_t address, uint32_t value, bool swapped = false);
    void FillRegisters(uint16_t first, uint32_t count, uint16_t value);
    void RemoveRegister(uint16_t address);
    std::optional<uint16_t> Register(uint16_t address) const;

    void SetSdoObject(uint16_t address, SimSdoObject object);
    std::optional<SimSdoObject> SdoObject(uint16_t address) const;
    void SetDomain(uint16_t address, SimDomain domain);
    std::optional<SimDomain> Domain(uint16_t address) const;
    void AddComponent(SimComponent component);
    // A drive swapped for another behind the same address: the browse reports these instead.
    void ReplaceComponents(std::vector<SimComponent> components);

    // Protocol faults: a segment repeats the previous toggle; a segment answers an abort.
    void SetSdoRepeatToggleAt(int segment) {
        std::lock_guard lock(mutex_);
        repeatToggleAt_ = segment;
    }
    void SetSdoAbortAtSegment(int segment, uint32_t code);
    // Called with the block's number (from 1) each time a data block of a domain transfer has
    // been served, before its reply goes out: tests act at an exact point of a transfer.
    void SetDomainBlockHook(std::function<void(int block)> hook) {
        std::lock_guard lock(mutex_);
        domainBlockHook_ = std::move(hook);
    }

    SimStats Stats() const;

    void SetModel(std::shared_ptr<SimDriveModel> model);
    std::shared_ptr<SimDriveModel> Model() const;

    // The reply PDU, or empty for no reply.
    std::vector<uint8_t> Handle(const uint8_t* pdu, size_t length);

  private:
    struct SdoState {
        enum Phase { Idle, Downloading, Uploading } phase = Idle;
        uint16_t address = 0;
        uint32_t expected = 0;
        uint8_t toggle = 0;
        size_t offset = 0;
        int segment = 0;
        std::vector<uint8_t> data;
    };
    struct DomainState {
        enum Phase { Idle, UploadStarted, Uploading, DownloadStarted, Downloading } phase = Idle;
        uint16_t address = 0;
        uint32_t total = 0;
        size_t offset = 0;
        bool toggle = false;
        int blocks = 0;
        std::vector<uint8_t> data;
    };

    // A block transfer of a long item is under way at the address (it answers as a domain).
    bool LongInDomainTransfer(uint16_t address) const;
    std::vector<uint8_t> ReadHolding(uint16_t address, uint16_t count);
    std::vector<uint8_t> WriteSingle(uint16_t address, uint16_t value);
    std::vector<uint8_t> WriteMultiple(uint16_t address, uint16_t count, const uint8_t* data);
    std::vector<uint8_t> SdoRead(SimSdoObject& object, uint16_t address);
    std::vector<uint8_t> SdoWrite(SimSdoObject& object, uint16_t address, const uint8_t* wire);
    std::vector<uint8_t> DomainRead(SimDomain& domain, uint16_t address, uint16_t count);
    std::vector<uint8_t> DomainWrite(SimDomain& domain, uint16_t address, uint16_t count,
                                     const uint8_t* bytes);
    std::vector<uint8_t> DomainTerminate();
    // The box's one-register domain messages (terminate, end of an empty download).
    std::vector<uint8_t> DomainMessage(SimDomain& domain, uint16_t address, uint16_t value,
                                       const std::vector<uint8_t>& echo);
    void RunBrowse(uint16_t command);
    bool StoreRegisters(uint16_t address, uint16_t count, const uint8_t* data);
    // The model's SDO object or domain at an address, as this drive's own tables hold them; the
    // content is fetched only when a transfer starts.
    bool ModelObject(uint16_t address, SimSdoObject& object);
    bool ModelDomain(uint16_t address, SimDomain& domain, bool withContent);
    std::vector<uint8_t> ModelRead(uint16_t address, uint16_t count, bool& handled);
    std::vector<uint8_t> ModelWrite(uint8_t function, uint16_t address, uint16_t count, const uint8_t* data,
                                    bool& handled);

    static std::vector<uint8_t> Exception(uint8_t function, uint8_t code) {
        return {static_cast<uint8_t>(function | 0x80), code};
    }

    const uint8_t slave_;
    mutable std::mutex mutex_;
    std::map<uint16_t, uint16_t> registers_;
    std::map<uint16_t, SimSdoObject> sdo_;
    std::map<uint16_t, SimDomain> domains_;
    std::vector<SimComponent> components_;
    int browseCursor_ = -1;
    bool browseFailed_ = false;
    int browseResponse_ = 0;
    SdoState sdoState_;
    DomainState domainState_;
    int repeatToggleAt_ = -1;
    int abortAtSegment_ = -1;
    uint32_t abortAtSegmentCode_ = 0;
    SimStats stats_;
    std::shared_ptr<SimDriveModel> model_;
    std::function<void(int)> domainBlockHook_;
};

}  // namespace drivesim
