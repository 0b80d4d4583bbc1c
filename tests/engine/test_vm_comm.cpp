#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/VMComm.h"

using namespace engine;

namespace {

// The drive's program virtual machine as the two drive variables show it: a written "VmCommand"
// is answered in "VmAnswer".
class VmDrive : public CVmCellAccess {
  public:
    bool bigEndian = false;
    std::vector<uint8_t> opening;  // answer to command 1
    int sequenceSkew = 0;          // added to the echoed sequence
    uint16_t errorCode = 0;        // non-zero: every command after the opening fails with it
    int answerDelayMs = 0;
    bool failWrite = false;
    bool failRead = false;
    int shortAnswer = -1;  // bytes of the answer delivered, -1 all
    std::vector<std::vector<uint8_t>> commands;
    std::atomic<int> writes{0};

    int DownloadCell(const std::string& name, const void* data, uint32_t size) override {
        std::lock_guard lock(mutex_);
        if (name != "VmCommand" || failWrite) return -1;
        const auto* p = static_cast<const uint8_t*>(data);
        commands.emplace_back(p, p + size);
        ++writes;
        const uint8_t seq = p[0], cmd = p[1];
        if (cmd == 1) {
            answer_ = opening;
            return 0;
        }
        const uint16_t n = Word(p + 2);
        answer_.assign(4, 0);
        answer_[0] = static_cast<uint8_t>(seq + sequenceSkew);
        if (errorCode) {
            answer_[1] = static_cast<uint8_t>(cmd | 0x80);
            Put(&answer_[2], errorCode);
        } else {
            // Echoes the data reversed.
            answer_[1] = cmd;
            Put(&answer_[2], n);
            for (int i = n - 1; i >= 0; --i) answer_.push_back(p[4 + i]);
        }
        return 0;
    }
    int UploadCell(const std::string& name, void* buffer, uint32_t bufferSize) override {
        if (answerDelayMs) std::this_thread::sleep_for(std::chrono::milliseconds(answerDelayMs));
        std::lock_guard lock(mutex_);
        if (name != "VmAnswer" || failRead) return -1;
        size_t n = std::min<size_t>(answer_.size(), bufferSize);
        if (shortAnswer >= 0) n = std::min<size_t>(n, static_cast<size_t>(shortAnswer));
        std::memcpy(buffer, answer_.data(), n);
        return static_cast<int>(n);
    }
    std::string LastErrorText() override { return "simulated"; }

    uint16_t Word(const uint8_t* p) const { return bigEndian ? p[0] << 8 | p[1] : p[1] << 8 | p[0]; }
    void Put(uint8_t* p, uint16_t v) const {
        p[bigEndian ? 1 : 0] = static_cast<uint8_t>(v);
        p[bigEndian ? 0 : 1] = static_cast<uint8_t>(v >> 8);
    }

    // Opening answer: protocol, maximum size, old-style major; with a length word of 14 or more
    // also major, minor and patch in the drive's raw bytes.
    void Open(uint16_t protocol, uint16_t maxSize, uint16_t major, bool withVersion) {
        opening.assign(withVersion ? 18 : 12, 0);
        opening[0] = 1;
        opening[1] = 1;
        opening[10] = bigEndian ? 1 : 0;
        opening[11] = 0x5A;
        Put(&opening[2], withVersion ? 14 : 8);
        Put(&opening[4], protocol);
        Put(&opening[6], major);
        Put(&opening[8], maxSize);
        if (withVersion) {
            opening[12] = 3;
            opening[14] = 4;
            opening[16] = 5;
        }
    }

  private:
    std::mutex mutex_;
    std::vector<uint8_t> answer_;
};

TEST(VMCommTest, OpeningExchangeReadsProtocolByteOrderAndVersion) {
    struct Case {
        bool bigEndian;
        uint16_t protocol;
        bool withVersion;
        int expected;
    } cases[] = {
        {false, 1, false, 0},
        {true, 2, false, 0},
        {false, 2, true, 0},
        {true, 3, false, CVMComm::kUnsupportedProtocol},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.protocol);
        VmDrive drive;
        drive.bigEndian = c.bigEndian;
        drive.Open(c.protocol, 64, 7, c.withVersion);
        CVMComm vm(drive);
        EXPECT_EQ(vm.Init(), c.expected);
        ASSERT_EQ(drive.commands.size(), 1u);
        EXPECT_EQ(drive.commands[0], (std::vector<uint8_t>{1, 1, 0, 0, 0}));
        if (c.expected != 0) {
            EXPECT_EQ(vm.MaxMessageSize(), 0);
            continue;
        }
        EXPECT_EQ(vm.BigEndian(), c.bigEndian);
        EXPECT_EQ(vm.ProtocolVersion(), c.protocol);
        EXPECT_EQ(vm.MaxMessageSize(), 64);
        EXPECT_EQ(vm.AnswerByte11(), 0x5A);
        if (c.withVersion) {
            EXPECT_FALSE(vm.Version().majorOnly);
            EXPECT_EQ(vm.Version().major, 3);
            EXPECT_EQ(vm.Version().minor, 4);
            EXPECT_EQ(vm.Version().patch, 5);
        } else {
            EXPECT_TRUE(vm.Version().majorOnly);
            EXPECT_EQ(vm.Version().major, 7);
        }
    }
}

TEST(VMCommTest, OpeningFailures) {
    VmDrive drive;
    drive.Open(1, 64, 1, false);
    CVMComm vm(drive);
    drive.failWrite = true;
    EXPECT_EQ(vm.Init(), CVMComm::kWriteFailed);
    drive.failWrite = false;
    drive.failRead = true;
    EXPECT_EQ(vm.Init(), CVMComm::kReadFailed);
    drive.failRead = false;
    drive.shortAnswer = 11;
    EXPECT_EQ(vm.Init(), CVMComm::kBadAnswer);
    drive.shortAnswer = -1;
    drive.opening[0] = 2;  // not the opening's sequence
    EXPECT_EQ(vm.Init(), CVMComm::kBadAnswer);
}

TEST(VMCommTest, CommandsCarrySequenceLengthAndDataInTheDrivesOrder) {
    for (bool big : {false, true}) {
        SCOPED_TRACE(big);
        VmDrive drive;
        drive.bigEndian = big;
        drive.Open(2, 32, 1, false);
        CVMComm vm(drive);
        ASSERT_EQ(vm.Init(), 0);
        const uint8_t data[] = {1, 2, 3};
        uint8_t answer[32] = {};
        uint32_t length = 99;
        ASSERT_EQ(vm.SendCommand(4, data, 3, answer, &length), 0);
        EXPECT_EQ(length, 3u);
        EXPECT_EQ(answer[0], 3);
        EXPECT_EQ(answer[2], 1);
        const std::vector<uint8_t> expected =
            big ? std::vector<uint8_t>{2, 4, 0, 3, 1, 2, 3} : std::vector<uint8_t>{2, 4, 3, 0, 1, 2, 3};
        EXPECT_EQ(drive.commands.back(), expected);
        // Data that does not fit in a message is refused before anything is sent.
        std::vector<uint8_t> big_data(29);
        EXPECT_EQ(vm.SendCommand(4, big_data.data(), 29, answer, &length), CVMComm::kWriteFailed);
        EXPECT_EQ(drive.commands.size(), 2u);
        // An answer longer than the caller's buffer is not copied.
        EXPECT_EQ(vm.SendCommand(4, data, 3, answer, &length, 2), CVMComm::kBadAnswer);
        EXPECT_EQ(length, 0u);
    }
}

TEST(VMCommTest, MismatchedSequenceAndErrorAnswers) {
    VmDrive drive;
    drive.Open(2, 32, 1, false);
    CVMComm vm(drive);
    ASSERT_EQ(vm.Init(), 0);
    uint8_t answer[32] = {};
    uint32_t length = 0;
    while (vm.Sequence() < 7) ASSERT_EQ(vm.SendCommand(3, nullptr, 0, answer, &length), 0);
    drive.sequenceSkew = -1;  // answers sequence 7 with 6
    EXPECT_EQ(vm.SendCommand(3, nullptr, 0, answer, &length), CVMComm::kBadAnswer);
    drive.sequenceSkew = 0;
    drive.errorCode = 0x0012;
    EXPECT_EQ(vm.SendCommand(5, nullptr, 0, answer, &length), CVMComm::kDriveError);
    EXPECT_EQ(drive.commands.back()[0], 8);
    EXPECT_EQ(answer[0], 0x12);
    EXPECT_EQ(answer[1], 0x00);
    drive.errorCode = 0;
    drive.shortAnswer = 3;
    EXPECT_EQ(vm.SendCommand(5, nullptr, 0, answer, &length), CVMComm::kBadAnswer);
    drive.shortAnswer = -1;
    drive.failRead = true;
    EXPECT_EQ(vm.SendCommand(5, nullptr, 0, answer, &length), CVMComm::kReadFailed);
}

TEST(VMCommTest, SecondCallerGivesUpWhileACommandRunsTooLong) {
    VmDrive drive;
    drive.Open(2, 32, 1, false);
    CVMComm vm(drive);
    ASSERT_EQ(vm.Init(), 0);
    drive.answerDelayMs = 1500;
    int first = 1;
    std::thread t([&] {
        uint8_t answer[32];
        uint32_t length = 0;
        first = vm.SendCommand(3, nullptr, 0, answer, &length);
    });
    // The first command is on its way once the drive has it.
    while (drive.writes.load() < 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    uint8_t answer[32];
    uint32_t length = 0;
    EXPECT_EQ(vm.SendCommand(3, nullptr, 0, answer, &length), CVMComm::kBusy);
    t.join();
    EXPECT_EQ(first, 0);
    // Only the first command reached the drive.
    EXPECT_EQ(drive.commands.size(), 2u);
}

}  // namespace
