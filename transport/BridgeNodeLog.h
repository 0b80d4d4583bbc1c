#pragma once
// The error log of one node behind a bridge: the client's threads add a line per failed
// transfer while a capture runs; the communication status window shows it.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace transport {

class CBridgeNodeLog {
  public:
    static constexpr size_t kMinimumSize = 100;

    // Starts a capture that keeps at most `size` bytes (at least kMinimumSize) and begins with
    // firstLine; false, and nothing changed, when a capture runs already.
    bool StartCapture(size_t size, const std::string& firstLine);
    // Ends the capture and empties the buffer.
    void StopCapture();
    bool Capturing() const;
    // Adds one failure: counted always, logged while a capture runs. Any thread.
    void NoteError(const std::string& line);
    uint32_t ErrorCount() const { return errors_.load(); }
    // The whole captured text when text came since the last call, which consumes it.
    std::optional<std::string> TakeNewText();

  private:
    mutable std::mutex mutex_;
    std::string text_;
    size_t size_ = 0;
    bool capturing_ = false;
    bool fresh_ = false;
    std::atomic<uint32_t> errors_{0};
};

// The capture size typed by the user: at least CBridgeNodeLog::kMinimumSize.
size_t LogBufferSize(const std::string& text);
// The bridge log level typed by the user: 1 to 255.
uint8_t BridgeLogLevel(const std::string& text);

}  // namespace transport
