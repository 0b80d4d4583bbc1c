#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace drivesim {

class SimDriveModel;

// A node on one of the simulated bridge's buses: CoE/SDO objects, ESC registers, a state.
struct BridgeSimNode {
    uint16_t state = 8;                                // EtherCAT OP (8) / CANopen operational (5)
    std::map<uint32_t, std::vector<uint8_t>> objects;  // key: index << 8 | subindex
    std::map<uint32_t, uint32_t> aborts;               // abort code answered for an object
    std::map<uint32_t, bool> readOnly;
    std::map<uint16_t, uint8_t> esc;  // ESC register bytes
    std::vector<uint8_t> foeFile;     // last FoE download
    std::string foeName;
    uint32_t identity1 = 0, identity2 = 0;
    int stateRequests = 0;  // EthSetSlaveState commands received
    // States passed through, in order (EtherCAT state changes).
    std::vector<uint16_t> stateHistory;
    // A described drive whose variables answer at their object addresses; while it does not
    // answer, the node is lost.
    std::shared_ptr<SimDriveModel> model;
    // The next block writes refused with this status (a drive busy guarding its bus, say).
    int blockWriteRefusals = 0;
    uint32_t blockWriteRefusal = 0x08000022;

    void SetU16(uint16_t index, uint8_t sub, uint16_t value);
    void SetU32(uint16_t index, uint8_t sub, uint32_t value);
    void SetText(uint16_t index, uint8_t sub, const std::string& text);
};

struct BridgeSimBus {
    uint8_t id = 0;
    uint8_t kind = 1;  // 1 CANopen, 2 EtherCAT
    uint8_t number = 0;
    uint8_t parameter = 0;
};

struct BridgeServerConfig {
    uint16_t protocolVersion = 3;
    bool bigEndian = false;
    // Versions 1 and 2: answer the identification request (else the older status message).
    bool identifyReply = false;
    uint16_t applicationId = 101;
    uint16_t brandCode = 6871;
    uint32_t cycleUs = 1000;
    uint32_t receiveSize = 4096;
    uint32_t sendSize = 4096;
    uint32_t largestMessage = 0x10000;
    uint16_t version[4] = {2, 1, 0, 7};
    uint32_t build = 0;
    std::string name = "SimBridge";
    std::string description = "Simulated fieldbus bridge";
    bool listKeepAlive = true;  // bridge-level opcode 4 listed
    std::vector<BridgeSimBus> buses = {{1, 1, 0, 0}, {2, 2, 0, 0}};
    // --- slow transfers and the abort message
    // Time a long write or a block write (more than 4 bytes) takes on the bus; 0: at once. The
    // abort message ends such a transfer with "message aborted" and the object unchanged.
    uint32_t longTransferMs = 0;
};

// A fault applied to the next reply frames (count of them).
struct BridgeFault {
    enum Kind {
        Drop,        // no reply
        Truncate,    // the reply records cut to `param` bytes, the length fixed up
        WrongMagic,  // the reply carries a wrong magic
        Disconnect,  // the connection is closed instead of a reply
        Delay,       // the reply is sent after `param` ms
        Status,      // a status message with code `param` instead of the reply
        StaleFirst,  // a reply with the previous sequence number goes out first
    };
    Kind kind = Drop;
    int param = 0;
    int count = 1;
};

// The bridge stand-in of the simulated drive: speaks the framed command protocol on TCP,
// with a log channel on a port of its own.
class BridgeServer {
  public:
    explicit BridgeServer(BridgeServerConfig config = {});
    ~BridgeServer();
    BridgeServer(const BridgeServer&) = delete;
    BridgeServer& operator=(const BridgeServer&) = delete;

    // Port 0: any free port. The port, or -1.
    int Start(uint16_t port, std::string* error, const std::string& host = "127.0.0.1");
    void Stop();
    int Port() const { return port_; }
    int LogPort() const { return logPort_; }

    BridgeSimNode& AddNode(uint8_t bus, uint16_t node);
    // Runs f on a node under the server's lock (null when absent).
    template <class F>
    void WithNode(uint8_t bus, uint16_t node, F f) {
        std::lock_guard lock(mutex_);
        auto it = nodes_.find(Key(bus, node));
        f(it == nodes_.end() ? nullptr : &it->second);
    }
    void InjectFault(const BridgeFault& fault);
    // Sends text to every connected log channel.
    void WriteLog(const std::string& text);
    // Closes every client connection (the listener stays).
    void DropClients();

    uint64_t Frames() const { return frames_.load(); }
    uint64_t KeepAlives() const { return keepAlives_.load(); }
    uint64_t Aborts() const { return aborts_.load(); }
    // Long transfers the abort message ended.
    uint64_t AbortedTransfers() const { return abortedTransfers_.load(); }
    // The last abort message received, as sent.
    std::vector<uint8_t> LastAbortMessage() const;
    // Data blocks held for the clients.
    size_t BlockCount() const;
    int Connections() const { return connections_.load(); }
    uint8_t LastLogLevel() const { return logLevel_.load(); }
    // --- resets the clients asked for: of the bridge itself, and of one bus (by its id)
    uint64_t BridgeResets() const { return bridgeResets_.load(); }
    int BusResets(uint8_t bus) const {
        std::lock_guard lock(mutex_);
        auto it = busResets_.find(bus);
        return it == busResets_.end() ? 0 : it->second;
    }
    std::vector<uint8_t> LastFrame() const;

  private:
    struct Client;
    static uint32_t Key(uint8_t bus, uint16_t node) { return uint32_t{bus} << 16 | node; }
    void AcceptLoop();
    void LogAcceptLoop();
    void Serve(std::shared_ptr<Client> client);
    // The reply bytes to a request frame; empty for none.
    std::vector<uint8_t> HandleFrame(Client& client, const std::vector<uint8_t>& frame);
    std::vector<uint8_t> Identification() const;
    std::vector<uint8_t> StatusMessage(uint16_t sequence, uint32_t code) const;
    bool TakeFault(BridgeFault& fault);
    // Waits out a slow transfer of the client: true when an abort message ended it.
    bool WaitLongTransfer(Client& client);

    BridgeServerConfig config_;
    mutable std::mutex mutex_;
    std::map<uint32_t, BridgeSimNode> nodes_;
    std::map<uint32_t, uint32_t> locks_;  // node key -> client id
    std::map<uint16_t, std::vector<uint8_t>> blocks_;
    uint16_t nextBlock_ = 1;
    std::deque<BridgeFault> faults_;
    std::vector<uint8_t> lastFrame_;
    std::vector<std::shared_ptr<Client>> clients_;
    std::vector<int> logClients_;
    int nextClientId_ = 1;

    std::atomic<bool> stop_{false};
    int listenFd_ = -1, logListenFd_ = -1;
    int port_ = -1, logPort_ = -1;
    std::thread acceptThread_, logThread_;
    std::vector<std::thread> serveThreads_;
    std::atomic<uint64_t> frames_{0}, keepAlives_{0}, aborts_{0}, abortedTransfers_{0};
    std::vector<uint8_t> lastAbort_;  // mutex_
    std::atomic<int> connections_{0};
    std::atomic<uint8_t> logLevel_{0};
    std::atomic<uint64_t> bridgeResets_{0};
    std::map<uint8_t, int> busResets_;  // mutex_
};

}  // namespace drivesim
