#pragma once
// The communication server of the simulated drive: answers the communication-server
// client (GvtCli) on loopback TCP and serves simulated CANopen nodes through the node
// library "CNO_LOGICAL_NODE": node login, link state, and SDO command lists with
// expedited and domain elements, CANopen abort codes and node events.
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

// One object of a simulated node's dictionary; values are little-endian bytes.
struct CanObject {
    std::vector<uint8_t> data;
    bool readable = true;
    bool writable = true;
    bool domain = false;  // variable length: writes of any size replace the data
};

// A fault the server applies to its next answers.
struct CommFault {
    enum Kind {
        NoAnswer,         // the call gets no answer at all
        CallError,        // the call fails with result `code`
        Abort,            // the next SDO element is aborted with abort code `code`
        NodeOffline,      // an SDO list answer carries the node-offline frame error
        NetworkDown,      // an SDO list answer carries the network-down frame error
        CloseConnection,  // the server drops the client's connection instead of answering
        Delay,            // the answer leaves after `code` ms
    };
    Kind kind = NoAnswer;
    uint32_t code = 0;
    int count = 1;
    std::string function;  // server function name ("NCS_Command", ...); empty: any
};

class CommServer {
  public:
    CommServer();
    ~CommServer();
    CommServer(const CommServer&) = delete;
    CommServer& operator=(const CommServer&) = delete;

    // Serves on host:port (0: any free port); the port, or -1 with error.
    int Start(uint16_t port, std::string* error, const std::string& host = "127.0.0.1");
    // Ends every connection and stops listening ("server gone").
    void Stop();
    // Drops every client connection but keeps listening.
    void DropConnections();
    int Port() const { return port_; }

    // Nodes are addressed by network number and node id.
    void AddNode(uint16_t network, uint16_t node);
    void SetNodeOnline(uint16_t network, uint16_t node, bool online);
    void SetNetworkActive(uint16_t network, bool active);
    // A described drive behind the node: its variables answer at their object addresses, and
    // while it does not answer the node is offline.
    void SetNodeModel(uint16_t network, uint16_t node, std::shared_ptr<SimDriveModel> model);
    void SetObject(uint16_t network, uint16_t node, uint16_t index, uint16_t subindex,
                   const CanObject& object);
    // Convenience: a fixed-size value of size bytes (1..8), read-write.
    void SetValue(uint16_t network, uint16_t node, uint16_t index, uint16_t subindex, uint64_t value,
                  int size);
    // The object's bytes, empty when it does not exist.
    std::vector<uint8_t> ObjectData(uint16_t network, uint16_t node, uint16_t index, uint16_t subindex) const;

    // Version answered by "RequestLibInfo" (default 24).
    void SetLibraryVersion(uint16_t version);
    // Polls an SDO list needs before its answer is ready (default 1).
    void SetPollsBeforeAnswer(int polls);

    void InjectFault(const CommFault& fault);
    void ClearFaults();
    // Sends a server event to every logged-in client.
    void SendEvent(uint32_t event, uint16_t code = 0);

    size_t LoginCount() const;
    uint64_t CallCount(const std::string& function) const;
    // Elements of SDO lists executed since start.
    uint64_t ElementCount() const { return elements_.load(); }

  private:
    struct Node {
        bool online = true;
        std::map<uint32_t, CanObject> objects;  // index << 8 | subindex
        std::shared_ptr<SimDriveModel> model;
        bool Online() const;
    };
    struct Transfer;
    struct Connection;

    void AcceptLoop();
    void Serve(const std::shared_ptr<Connection>& connection);
    // The answer body of one call; false when the connection is to be dropped.
    bool HandleCall(Connection& connection, const uint8_t* body, size_t size, uint32_t sequence,
                    std::vector<uint8_t>& reply, bool& silent);
    uint32_t NcsCommand(Connection& connection, const std::vector<uint8_t>& request,
                        std::vector<uint8_t>& answer);
    void ExecuteList(Transfer& transfer);
    void ModelElement(SimDriveModel& model, Transfer& t, size_t at, bool write, bool domain, uint16_t index,
                      uint8_t sub, uint32_t offset, uint32_t size, uint32_t& status, uint32_t& value);
    bool TakeFault(const std::string& function, CommFault::Kind kind, CommFault& fault);
    bool TakeAbortLocked(CommFault& fault);
    void SendEventTo(Connection& connection, uint32_t event, uint16_t code);

    mutable std::mutex mutex_;
    std::map<uint32_t, Node> nodes_;  // network << 16 | node
    std::map<uint16_t, bool> inactiveNetworks_;
    std::deque<CommFault> faults_;
    std::map<std::string, uint64_t> calls_;
    std::vector<std::shared_ptr<Connection>> connections_;
    uint16_t libraryVersion_ = 24;
    int pollsBeforeAnswer_ = 1;
    uint32_t nextHandle_ = 0x100;
    std::atomic<uint64_t> elements_{0};
    std::atomic<bool> stop_{false};
    int listenFd_ = -1;
    int port_ = -1;
    std::thread acceptThread_;
};

}  // namespace drivesim
