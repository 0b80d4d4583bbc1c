#pragma once

// An ADS target on AMS/TCP: the EtherCAT master of a simulated network (AMS port 0xFFFF: device
// count, addresses, states and CANopen identities) and its slaves (AMS port = EtherCAT address),
// whose CoE objects are read and written through index group 0xF302 (offset = index << 16 |
// subindex). A slave may lend its version-browse and identity objects to a SimDrive, so that
// the browse behaves as on the Modbus channels.

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/ads/AmsWire.h"

namespace drivesim {

class SimDrive;
class SimDriveModel;

// ADS codes the server answers.
namespace ads_code {
constexpr uint32_t kTargetPortNotFound = 0x6;
constexpr uint32_t kTargetNotFound = 0x7;
constexpr uint32_t kUnknownCommand = 0xB;
constexpr uint32_t kServiceNotSupported = 0x701;
constexpr uint32_t kInvalidGroup = 0x702;
constexpr uint32_t kInvalidOffset = 0x703;  // parameter (object) not existing
constexpr uint32_t kAccessDenied = 0x704;   // reading/writing not permitted
constexpr uint32_t kInvalidSize = 0x705;
constexpr uint32_t kOutOfRange = 0x706;
constexpr uint32_t kNotFound = 0x70C;
constexpr uint32_t kGeneral = 0x70D;
constexpr uint32_t kInvalidState = 0x712;  // not in the current state
constexpr uint32_t kInvalidHandle = 0x714;
constexpr uint32_t kDeviceTimeout = 0x719;
}  // namespace ads_code

constexpr uint32_t kCoeIndexGroup = 0xF302;
constexpr uint16_t kMasterPort = 0xFFFF;

// One CoE object of a slave.
struct CoeObject {
    std::vector<uint8_t> bytes;
    bool readable = true;
    bool writable = true;
    bool variableSize = false;  // texts and domains: any length up to maxSize is written
    size_t maxSize = 0;         // variable size only; 0: no limit beyond the frame's
    // Signed or unsigned range checked on writes of 1 to 4 bytes (code 0x706 outside).
    std::optional<int64_t> minimum, maximum;
    uint32_t readError = 0;   // answered to every read when not 0
    uint32_t writeError = 0;  // answered to every write when not 0
};

// One slave on the simulated EtherCAT network.
struct EcatSlave {
    uint16_t address = 0;
    uint16_t state = 0x0008;  // low byte: EtherCAT state; high byte: link bits
    uint32_t vendor = 0, product = 0, revision = 0, serial = 0;
    bool identityReadable = true;
    std::map<uint32_t, CoeObject> objects;  // key: index << 16 | subindex
    SimDrive* registers = nullptr;          // browse (0x5FF2) and identity (0x5FF3) objects
    // A described drive whose variables answer at their fieldbus addresses; while it does not
    // answer, the master reports a device time-out for the slave's objects.
    std::shared_ptr<SimDriveModel> model;

    static uint32_t Key(uint16_t index, uint8_t sub) { return static_cast<uint32_t>(index) << 16 | sub; }
    void SetObject(uint16_t index, uint8_t sub, CoeObject object) {
        objects[Key(index, sub)] = std::move(object);
    }
    void SetU16(uint16_t index, uint8_t sub, uint16_t value, bool writable = true);
    void SetU32(uint16_t index, uint8_t sub, uint32_t value, bool writable = true);
    void SetText(uint16_t index, uint8_t sub, const std::string& text);
    CoeObject* Object(uint16_t index, uint8_t sub);
};

// A fault applied to the next replies (count of them), optionally only to one command.
struct AdsFault {
    enum Kind {
        NoReply,          // the request is swallowed
        WrongInvokeId,    // the reply carries another invoke id
        TruncatedHeader,  // a frame whose AMS header is cut short
        Disconnect,       // the connection is closed instead of replying
        Delay,            // the reply is sent after `param` ms
        ErrorCode,        // the reply's result is `param`
    };
    Kind kind = NoReply;
    int param = 0;
    int count = 1;
    uint16_t command = 0;  // 0: any
};

class AdsServer {
  public:
    AdsServer();
    ~AdsServer();
    AdsServer(const AdsServer&) = delete;
    AdsServer& operator=(const AdsServer&) = delete;

    // The NetId the server answers for (default 5.1.2.3.1.1); others get 0x7 in the header.
    void SetNetId(const ams::NetId& id) { netId_ = id; }
    const ams::NetId& NetId() const { return netId_; }

    // Slaves are listed by the master in the order they were added.
    EcatSlave& AddSlave(uint16_t address);
    EcatSlave* Slave(uint16_t address);
    // A slave with what identification and the scan read: vendor code 6871 in 0x5FFD:0E, the
    // identity texts, browse present 0xFFFF (legacy) unless a SimDrive is lent later.
    EcatSlave& AddDriveSlave(uint16_t address, const std::string& name, const std::string& hardwareText,
                             const std::string& softwareText);

    // Serves host:port (0: any free port); the port, or -1 with the reason.
    int Start(uint16_t port, std::string* error, const std::string& host = "127.0.0.1");
    void Stop();
    int Port() const { return port_; }

    void InjectFault(const AdsFault& fault);
    void ClearFaults();
    uint64_t RequestCount() const { return requests_.load(); }
    // Writes that reached CoE objects, for tests.
    uint64_t CoeWrites() const { return coeWrites_.load(); }

    // The reply frame for one request frame (empty when the request gets none): what the
    // server sends when no fault applies.
    std::vector<uint8_t> Answer(const uint8_t* frame, size_t size);

  private:
    struct Client;
    void Loop();
    bool TakeFault(uint16_t command, AdsFault& fault);
    // Answers one request's data; the reply data (result first).
    std::vector<uint8_t> Serve(const ams::Header& header, const uint8_t* data, size_t size,
                               uint32_t* amsError, int clientFd);
    uint32_t ReadObject(EcatSlave& slave, uint32_t offset, uint32_t length, std::vector<uint8_t>& out);
    uint32_t WriteObject(EcatSlave& slave, uint32_t offset, const uint8_t* data, uint32_t length);
    uint32_t ReadMaster(uint32_t group, uint32_t offset, uint32_t length, std::vector<uint8_t>& out);
    void Notify(uint16_t port, uint32_t offset);

    mutable std::mutex mutex_;
    ams::NetId netId_{{5, 1, 2, 3, 1, 1}};
    std::vector<std::unique_ptr<EcatSlave>> slaves_;
    std::deque<AdsFault> faults_;
    struct Watch {
        int fd = -1;
        ams::NetId netId;
        uint16_t sourcePort = 0, targetPort = 0;
        uint32_t offset = 0, length = 0;
    };
    std::map<uint32_t, Watch> watches_;
    uint32_t nextWatch_ = 1;
    std::atomic<bool> stop_{false};
    std::atomic<uint64_t> requests_{0};
    std::atomic<uint64_t> coeWrites_{0};
    std::mutex sendMutex_;
    int listenFd_ = -1;
    int port_ = -1;
    std::thread thread_;
};

}  // namespace drivesim
