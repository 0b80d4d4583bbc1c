#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/Prompt.h"
#include "tools/drivesim/DriveSim.h"
#include "transport/ModbusRtu.h"

namespace transport_test {

using Bytes = std::vector<uint8_t>;

inline Bytes HexToBytes(const std::string& hex) {
    Bytes out;
    std::string digits;
    for (char c : hex)
        if (!isspace(static_cast<unsigned char>(c))) digits.push_back(c);
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    return out;
}

inline Bytes WithCrc(Bytes frame) {
    const uint16_t crc = drivesim::DriveSim::Crc16(frame.data(), frame.size());
    frame.push_back(static_cast<uint8_t>(crc));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    return frame;
}

// The far end of a pseudo-terminal, scripted by the test: reads requests, writes replies.
class PtyPeer {
  public:
    PtyPeer() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        EXPECT_GE(master_, 0);
        grantpt(master_);
        unlockpt(master_);
        path_ = ptsname(master_);
    }
    ~PtyPeer() {
        if (master_ >= 0) close(master_);
    }
    const std::string& Path() const { return path_; }
    int Fd() const { return master_; }
    // Reads exactly n bytes or what came within the time-out.
    Bytes Read(size_t n, int timeoutMs = 10000) {
        Bytes got;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (got.size() < n && std::chrono::steady_clock::now() < end) {
            pollfd pfd{master_, POLLIN, 0};
            if (poll(&pfd, 1, 20) <= 0) continue;
            uint8_t buffer[300];
            const ssize_t r = read(master_, buffer, std::min(sizeof buffer, n - got.size()));
            if (r > 0) got.insert(got.end(), buffer, buffer + r);
        }
        return got;
    }
    void Write(const Bytes& bytes) {
        ASSERT_EQ(write(master_, bytes.data(), bytes.size()), (ssize_t)bytes.size());
    }
    void Close() {
        if (master_ >= 0) close(master_);
        master_ = -1;
    }

  private:
    int master_ = -1;
    std::string path_;
};

// A temporary folder the channels' error logs go to.
class TempDir {
  public:
    TempDir() {
        char pattern[] = "/tmp/tunova-transport-XXXXXX";
        path_ = mkdtemp(pattern);
        setenv("TUNOVA_TEMP_DIR", path_.c_str(), 1);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

// Answers every prompt with OK and records it; installed for the life of the object.
class PromptRecorder {
  public:
    PromptRecorder() { platform::SetPromptService(&prompts_); }
    ~PromptRecorder() { platform::SetPromptService(nullptr); }
    platform::ScriptedPrompts& Prompts() { return prompts_; }

  private:
    platform::ScriptedPrompts prompts_;
};

// A serial channel on a given port with short time-outs for fault tests.
inline void ConfigureRtu(transport::CModbusRtu& rtu, const std::string& port, uint32_t timeoutMs = 300) {
    transport::CModbusRtu::Settings& s = rtu.GetSettings();
    s.portName = port;
    s.receiveTimeout = timeoutMs;
}

}  // namespace transport_test
