#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/IoErrorState.h"

namespace platform {

// A serial line on termios. Every wait is bounded: a read returns what arrived by its
// deadline, a write gives up at its time-out, and a port that vanishes (adapter
// unplugged, pseudo-terminal peer closed) reports an error instead of blocking.
// Calls return 0 (or a byte count) on success and -1 on failure, with LastError()
// (an errno value) and LastErrorText() describing the failure.
class SerialPort : public IoErrorState {
  public:
    SerialPort() = default;
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // "ttyUSB0" -> "/dev/ttyUSB0", "pts/3" -> "/dev/pts/3"; a name starting with "/" is a path.
    static std::string DevicePath(const std::string& shortOrPath);

    // Opens the port for exclusive use in raw mode (9600 8N1 until configured).
    // A port another process holds fails with EBUSY.
    int Open(const std::string& shortOrPath);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }

    // parity: 'N', 'E', 'O', 'M' (mark) or 'S' (space); dataBits 5..8; stopBits 1 or 2.
    // Only the standard baud rates are accepted (EINVAL otherwise).
    int Configure(uint32_t baud, char parity, int dataBits, int stopBits);

    // Default limit for writes that cannot proceed (flow stopped, nobody reading).
    void SetWriteTimeout(uint32_t ms) { writeTimeoutMs_ = ms; }

    // Waits until size bytes have arrived or timeoutMs has passed (monotonic clock) and
    // returns how many arrived (0..size). -1 when the port failed or vanished; bytes
    // that arrived before such a failure are lost with it.
    int Read(void* buffer, size_t size, uint32_t timeoutMs);
    // Writes all bytes unless the write time-out passes first; returns the count
    // written, or -1 when the port refused (LastError() tells EIO for a vanished device).
    int Write(const void* data, size_t size);
    // Discards what waits in the input (rx) and/or output (tx) queue.
    int Purge(bool rx, bool tx);
    // Waits until the output queue has been sent.
    int Drain();

    // Kernel RS-485 mode: the driver raises RTS while sending (or lowers it when
    // rtsOnSend is false) and turns the line around afterwards. Ports without the
    // mode report ENOTTY/EINVAL with a clear text; nothing is changed then.
    int SetRs485(bool enable, bool rtsOnSend = true, uint32_t delayBeforeSendMs = 0,
                 uint32_t delayAfterSendMs = 0);

    int Fd() const { return fd_; }

  private:
    int fd_ = -1;
    std::string path_;
    uint32_t writeTimeoutMs_ = 2000;
};

}  // namespace platform
