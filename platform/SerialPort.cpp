#include "platform/SerialPort.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Clock.h"

namespace platform {

namespace {

speed_t BaudConstant(uint32_t baud) {
    switch (baud) {
        case 50:
            return B50;
        case 75:
            return B75;
        case 110:
            return B110;
        case 134:
            return B134;
        case 150:
            return B150;
        case 200:
            return B200;
        case 300:
            return B300;
        case 600:
            return B600;
        case 1200:
            return B1200;
        case 1800:
            return B1800;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        case 460800:
            return B460800;
        case 500000:
            return B500000;
        case 576000:
            return B576000;
        case 921600:
            return B921600;
        case 1000000:
            return B1000000;
        case 1152000:
            return B1152000;
        case 1500000:
            return B1500000;
        case 2000000:
            return B2000000;
        case 2500000:
            return B2500000;
        case 3000000:
            return B3000000;
        case 3500000:
            return B3500000;
        case 4000000:
            return B4000000;
        default:
            return 0;
    }
}

// Unix98 pseudo-terminal slaves have the major numbers 136 to 143.
bool IsPseudoTerminal(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    const unsigned majorNumber = major(st.st_rdev);
    return majorNumber >= 136 && majorNumber <= 143;
}

}  // namespace

SerialPort::~SerialPort() {
    Close();
}

std::string SerialPort::DevicePath(const std::string& shortOrPath) {
    if (!shortOrPath.empty() && shortOrPath[0] == '/') return shortOrPath;
    return "/dev/" + shortOrPath;
}

int SerialPort::Open(const std::string& shortOrPath) {
    ClearError();
    if (fd_ >= 0) return Fail(EBUSY, "port already open");
    const std::string path = DevicePath(shortOrPath);
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Fail(errno, "open " + path);
    if (!isatty(fd)) {
        ::close(fd);
        return Fail(ENOTTY, "open " + path);
    }
    // Exclusive like a COM port: a second user of the line would corrupt frames.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        return Fail(error, "lock " + path);
    }
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        const int error = errno;
        ::close(fd);
        return Fail(error, "tcgetattr " + path);
    }
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        const int error = errno;
        ::close(fd);
        return Fail(error, "tcsetattr " + path);
    }
    fd_ = fd;
    path_ = path;
    return 0;
}

void SerialPort::Close() {
    if (fd_ < 0) return;
    tcflush(fd_, TCIOFLUSH);
    ::close(fd_);
    fd_ = -1;
    path_.clear();
}

int SerialPort::Configure(uint32_t baud, char parity, int dataBits, int stopBits) {
    ClearError();
    if (fd_ < 0) return Fail(EBADF, "configure");
    const speed_t speed = BaudConstant(baud);
    if (speed == 0) return Fail(EINVAL, "baud " + std::to_string(baud));
    if (dataBits < 5 || dataBits > 8 || (stopBits != 1 && stopBits != 2))
        return Fail(EINVAL, "line settings");
    termios tio{};
    if (tcgetattr(fd_, &tio) != 0) return Fail(errno, "tcgetattr");
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CMSPAR);
    static const tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    tio.c_cflag |= kSizes[dataBits - 5];
    if (stopBits == 2) tio.c_cflag |= CSTOPB;
    switch (parity) {
        case 'N':
        case 'n':
            break;
        case 'E':
        case 'e':
            tio.c_cflag |= PARENB;
            break;
        case 'O':
        case 'o':
            tio.c_cflag |= PARENB | PARODD;
            break;
        case 'M':
        case 'm':
            tio.c_cflag |= PARENB | PARODD | CMSPAR;
            break;
        case 'S':
        case 's':
            tio.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            return Fail(EINVAL, std::string("parity '") + parity + "'");
    }
    // Parity errors are checked but the byte is passed on; the frame CRC rejects it.
    tio.c_iflag &= ~static_cast<tcflag_t>(PARMRK | ISTRIP | IXON | IXOFF | IXANY);
    if (tio.c_cflag & PARENB)
        tio.c_iflag |= INPCK;
    else
        tio.c_iflag &= ~static_cast<tcflag_t>(INPCK);
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    if (tcsetattr(fd_, TCSANOW, &tio) != 0) {
        const int error = errno;
        // A pseudo-terminal always carries 8 bits without parity and refuses a request
        // for anything else; the input parity check still records what was asked.
        if (error != EINVAL || !IsPseudoTerminal(fd_)) return Fail(error, "tcsetattr");
        tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR);
        tio.c_cflag |= CS8;
        if (tcsetattr(fd_, TCSANOW, &tio) != 0) return Fail(errno, "tcsetattr");
    }
    return 0;
}

int SerialPort::Read(void* buffer, size_t size, uint32_t timeoutMs) {
    ClearError();
    if (fd_ < 0) return Fail(EBADF, "read");
    auto* out = static_cast<uint8_t*>(buffer);
    size_t got = 0;
    const int64_t deadline = DeadlineAfterMs(timeoutMs);
    while (got < size) {
        // Poll before reading: in raw mode a read without data returns 0, the same as
        // a hang-up, so only poll's events tell the two apart.
        const int64_t left = MsLeftUntil(deadline);
        pollfd pfd{fd_, POLLIN, 0};
        const int rc = ::poll(&pfd, 1, left > 0 ? static_cast<int>(left) : 0);
        if (rc < 0) {
            if (errno == EINTR) continue;
            return Fail(errno, "poll");
        }
        if (rc == 0) break;
        if (pfd.revents & POLLIN) {
            const ssize_t n = ::read(fd_, out + got, size - got);
            if (n > 0) {
                got += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR) return Fail(errno, "read");
            if (n == 0 && (pfd.revents & POLLHUP)) return Fail(EIO, "read (port hung up)");
            if (left <= 0) break;
            continue;
        }
        if (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) return Fail(EIO, "read (port hung up)");
    }
    return static_cast<int>(got);
}

int SerialPort::Write(const void* data, size_t size) {
    ClearError();
    if (fd_ < 0) return Fail(EBADF, "write");
    const auto* in = static_cast<const uint8_t*>(data);
    size_t done = 0;
    const int64_t deadline = DeadlineAfterMs(writeTimeoutMs_);
    while (done < size) {
        const ssize_t n = ::write(fd_, in + done, size - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return done ? static_cast<int>(done) : Fail(errno, "write");
        const int64_t left = MsLeftUntil(deadline);
        if (left <= 0) break;
        pollfd pfd{fd_, POLLOUT, 0};
        const int rc = ::poll(&pfd, 1, static_cast<int>(left));
        if (rc < 0 && errno != EINTR) return Fail(errno, "poll");
        if (rc > 0 && (pfd.revents & POLLOUT) == 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)))
            return done ? static_cast<int>(done) : Fail(EIO, "write (port hung up)");
    }
    return static_cast<int>(done);
}

int SerialPort::Purge(bool rx, bool tx) {
    ClearError();
    if (fd_ < 0) return Fail(EBADF, "purge");
    if (!rx && !tx) return 0;
    const int which = rx && tx ? TCIOFLUSH : (rx ? TCIFLUSH : TCOFLUSH);
    if (tcflush(fd_, which) != 0) return Fail(errno, "tcflush");
    return 0;
}

int SerialPort::Drain() {
    ClearError();
    if (fd_ < 0) return Fail(EBADF, "drain");
    if (tcdrain(fd_) != 0) return Fail(errno, "tcdrain");
    return 0;
}

int SerialPort::SetRs485(bool enable, bool rtsOnSend, uint32_t delayBeforeSendMs, uint32_t delayAfterSendMs) {
    ClearError();
    if (fd_ < 0) return Fail(EBADF, "RS-485 mode");
    serial_rs485 conf{};
    if (ioctl(fd_, TIOCGRS485, &conf) != 0) {
        return Fail(errno, "RS-485 mode not supported by " + path_);
    }
    if (enable) {
        conf.flags |= SER_RS485_ENABLED;
        if (rtsOnSend) {
            conf.flags |= SER_RS485_RTS_ON_SEND;
            conf.flags &= ~static_cast<uint32_t>(SER_RS485_RTS_AFTER_SEND);
        } else {
            conf.flags &= ~static_cast<uint32_t>(SER_RS485_RTS_ON_SEND);
            conf.flags |= SER_RS485_RTS_AFTER_SEND;
        }
        conf.delay_rts_before_send = delayBeforeSendMs;
        conf.delay_rts_after_send = delayAfterSendMs;
    } else {
        conf.flags &= ~static_cast<uint32_t>(SER_RS485_ENABLED);
    }
    if (ioctl(fd_, TIOCSRS485, &conf) != 0) {
        return Fail(errno, "RS-485 mode not supported by " + path_);
    }
    return 0;
}

}  // namespace platform
