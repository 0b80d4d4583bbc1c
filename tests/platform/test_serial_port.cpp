#include "platform/SerialPort.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

namespace {

// The master side of a pseudo-terminal stands in for the far end of a cable.
class PtyCable : public ::testing::Test {
  protected:
    void SetUp() override {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(master_, 0);
        ASSERT_EQ(grantpt(master_), 0);
        ASSERT_EQ(unlockpt(master_), 0);
        path_ = ptsname(master_);
    }
    void TearDown() override {
        if (master_ >= 0) close(master_);
    }
    void MasterWrite(const std::string& bytes) {
        ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    std::string MasterRead(size_t want, int timeoutMs = 5000) {
        std::string got;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (got.size() < want && std::chrono::steady_clock::now() < end) {
            pollfd pfd{master_, POLLIN, 0};
            if (poll(&pfd, 1, 50) <= 0) continue;
            char buffer[256];
            const ssize_t n = read(master_, buffer, sizeof buffer);
            if (n > 0) got.append(buffer, static_cast<size_t>(n));
        }
        return got;
    }

    int master_ = -1;
    std::string path_;
};

TEST(SerialPortNames, ShortNamesMapToDev) {
    EXPECT_EQ(platform::SerialPort::DevicePath("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(platform::SerialPort::DevicePath("/dev/pts/5"), "/dev/pts/5");
}

TEST_F(PtyCable, OpensByShortNameAndTakesLineSettings) {
    // A pty's short name is "pts/N": the part after /dev/.
    platform::SerialPort port;
    ASSERT_EQ(port.Open(path_.substr(5)), 0) << port.LastErrorText();
    EXPECT_EQ(port.Path(), path_);
    struct Case {
        uint32_t baud;
        char parity;
        int dataBits, stopBits;
        speed_t speed;
        tcflag_t parityFlags;
    } cases[] = {{57600, 'E', 8, 1, B57600, PARENB},
                 {9600, 'N', 8, 2, B9600, 0},
                 {115200, 'O', 7, 1, B115200, PARENB | PARODD}};
    for (const Case& c : cases) {
        ASSERT_EQ(port.Configure(c.baud, c.parity, c.dataBits, c.stopBits), 0) << port.LastErrorText();
        termios tio{};
        ASSERT_EQ(tcgetattr(port.Fd(), &tio), 0);
        EXPECT_EQ(cfgetospeed(&tio), c.speed);
        // The pty driver forces 8 data bits without parity in c_cflag; the input
        // parity check shows what was asked.
        EXPECT_EQ((tio.c_iflag & INPCK) != 0, c.parityFlags != 0);
        EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, c.stopBits == 2);
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);
    }
    EXPECT_EQ(port.Configure(12345, 'N', 8, 1), -1);
    EXPECT_EQ(port.LastError(), EINVAL);
    EXPECT_EQ(port.Configure(9600, 'X', 8, 1), -1);
}

TEST_F(PtyCable, SecondOpenOfTheSamePortIsBusy) {
    platform::SerialPort first, second;
    ASSERT_EQ(first.Open(path_), 0);
    EXPECT_EQ(second.Open(path_), -1);
    EXPECT_EQ(second.LastError(), EBUSY);
    EXPECT_FALSE(second.LastErrorText().empty());
}

TEST_F(PtyCable, MissingPortFailsWithText) {
    platform::SerialPort port;
    EXPECT_EQ(port.Open("ttyNoSuchPort9"), -1);
    EXPECT_EQ(port.LastError(), ENOENT);
    EXPECT_NE(port.LastErrorText().find("/dev/ttyNoSuchPort9"), std::string::npos);
}

TEST_F(PtyCable, ExchangesBytesBothWays) {
    platform::SerialPort port;
    ASSERT_EQ(port.Open(path_), 0);
    ASSERT_EQ(port.Configure(57600, 'E', 8, 1), 0);
    // Every byte value passes unchanged: raw mode, no CR/LF or flow-control mapping.
    std::string all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
    ASSERT_EQ(port.Write(all.data(), all.size()), 256);
    EXPECT_EQ(MasterRead(256), all);

    MasterWrite(all);
    std::string got(256, '\0');
    ASSERT_EQ(port.Read(got.data(), got.size(), 5000), 256);
    EXPECT_EQ(got, all);
}

TEST_F(PtyCable, ReadReturnsWhatArrivedByTheDeadline) {
    platform::SerialPort port;
    ASSERT_EQ(port.Open(path_), 0);
    MasterWrite("abc");
    char buffer[10] = {};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port.Read(buffer, sizeof buffer, 100), 3);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
    EXPECT_EQ(std::string(buffer, 3), "abc");
    EXPECT_EQ(port.Read(buffer, sizeof buffer, 0), 0);

    // Bytes that arrive while the read waits complete it before the deadline.
    std::thread late([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        MasterWrite("12345");
    });
    EXPECT_EQ(port.Read(buffer, 5, 10000), 5);
    late.join();
    EXPECT_EQ(std::string(buffer, 5), "12345");
}

TEST_F(PtyCable, PurgeEmptiesTheInputQueue) {
    platform::SerialPort port;
    ASSERT_EQ(port.Open(path_), 0);
    MasterWrite("stale bytes");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(port.Purge(true, true), 0);
    char buffer[16];
    EXPECT_EQ(port.Read(buffer, sizeof buffer, 50), 0);
    MasterWrite("fresh");
    EXPECT_EQ(port.Read(buffer, 5, 5000), 5);
    EXPECT_EQ(std::string(buffer, 5), "fresh");
}

TEST_F(PtyCable, VanishedPeerGivesAnErrorNotAHang) {
    platform::SerialPort port;
    ASSERT_EQ(port.Open(path_), 0);
    close(master_);
    master_ = -1;
    char buffer[4];
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port.Read(buffer, sizeof buffer, 30000), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_EQ(port.LastError(), EIO);
    EXPECT_EQ(port.Write("x", 1), -1);
    EXPECT_FALSE(port.LastErrorText().empty());
}

TEST_F(PtyCable, Rs485OnAPortWithoutItIsAClearError) {
    platform::SerialPort port;
    ASSERT_EQ(port.Open(path_), 0);
    EXPECT_EQ(port.SetRs485(true), -1);
    EXPECT_NE(port.LastErrorText().find("RS-485 mode not supported"), std::string::npos);
}

TEST(SerialPortClosed, CallsOnAClosedPortFail) {
    platform::SerialPort port;
    char buffer[1];
    EXPECT_EQ(port.Read(buffer, 1, 10), -1);
    EXPECT_EQ(port.Write(buffer, 1), -1);
    EXPECT_EQ(port.Purge(true, true), -1);
    EXPECT_EQ(port.LastError(), EBADF);
}

}  // namespace
