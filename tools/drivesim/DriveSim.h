#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/drivesim/SimDrive.h"

namespace drivesim {

// A fault the simulator applies to its next replies (count of them), optionally only to
// one function code.
struct Fault {
    enum Kind {
        DropReply,      // no reply at all
        CorruptCrc,     // RTU: the CRC is wrong; TCP: the transaction id is wrong
        WrongSlave,     // the reply carries another slave address / unit id
        Truncate,       // only the first `param` bytes of the reply are sent
        Delay,          // the reply is sent after `param` ms
        ExceptionCode,  // an exception reply with code `param` instead of the answer
    };
    Kind kind = DropReply;
    int param = 0;
    int count = 1;
    int function = 0;  // 0: any
};

// The simulated drive: one or more drives (slave addresses) served over a pseudo-terminal
// (Modbus RTU) and over Modbus TCP, each on a thread of its own, until Stop().
class DriveSim {
  public:
    DriveSim();
    ~DriveSim();
    DriveSim(const DriveSim&) = delete;
    DriveSim& operator=(const DriveSim&) = delete;

    SimDrive& AddDrive(uint8_t slave);
    SimDrive* Drive(uint8_t slave);

    // Map files: see tools/drivesim/README in the comments of MapFile.cpp.
    bool LoadMapFile(const std::string& path, std::string* error);
    bool LoadMapText(const std::string& text, std::string* error);

    // Opens a pseudo-terminal and serves RTU on it; the path of the port to open
    // ("/dev/pts/N"), empty on failure.
    std::string StartPty(std::string* error);
    // Serves Modbus TCP on host:port (port 0: any free one); the port, or -1.
    int StartTcp(uint16_t port, std::string* error, const std::string& host = "127.0.0.1");
    void Stop();

    const std::string& PtyPath() const { return ptyPath_; }
    int TcpPort() const { return tcpPort_; }

    void InjectFault(const Fault& fault);
    void ClearFaults();
    size_t PendingFaults() const;
    // Requests served (replied, dropped or faulted) since start.
    uint64_t RequestCount() const { return requests_.load(); }

    // Builds the reply frame (RTU: address, PDU, CRC) for tests that check frames.
    static uint16_t Crc16(const uint8_t* bytes, size_t length);

  private:
    struct Connection;
    void PtyLoop();
    void TcpLoop();
    // The reply PDU for a request PDU to a slave, empty when none of our drives answers.
    std::vector<uint8_t> Answer(uint8_t slave, const uint8_t* pdu, size_t length, bool& known);
    bool TakeFault(uint8_t function, Fault& fault);
    void SendRtu(const std::vector<uint8_t>& frame);

    mutable std::mutex mutex_;
    std::filesystem::path mapFolder_;  // map files name descriptions relative to their folder
    std::map<uint8_t, std::unique_ptr<SimDrive>> drives_;
    std::deque<Fault> faults_;
    std::atomic<bool> stop_{false};
    std::atomic<uint64_t> requests_{0};
    int ptyMaster_ = -1;
    int ptySlaveHold_ = -1;
    std::string ptyPath_;
    std::thread ptyThread_;
    int listenFd_ = -1;
    int tcpPort_ = -1;
    std::thread tcpThread_;
};

}  // namespace drivesim
