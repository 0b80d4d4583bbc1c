#pragma once
#include <atomic>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/File.h"

namespace foundation {

// The trace log: callers hand finished lines to Write, which stamps them (time since opening,
// microseconds since the previous line, thread id) into a fixed ring of 200 lines of at most 1000
// characters; a writer thread of its own drains the ring to the file every 10 ms. Write never
// touches the disk and waits at most 100 ms for the ring, else the line is dropped.
class LogFile {
  public:
    static constexpr int kQueueSlots = 200;
    static constexpr int kMaxMessageLength = 1000;
    static constexpr const char* kQueueFullMark = " queue full, drop the oldest message";

    LogFile();
    virtual ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Empty on success, else the error text. Reopening truncates. Opening the program's debug log
    // (DebugLog()) also makes it the sink of the threads' start and stop lines.
    std::string Open(const std::filesystem::path& file);
    // Queues one line; nothing while the log is closed.
    void Write(std::string_view text);
    void Write(const char* text) {
        if (text) Write(std::string_view(text));
    }
    // Stops and joins the writer thread (it drains what is waiting), then closes the file.
    void Close();
    bool IsOpen() const { return running_.load(); }

    // The first line of the file (without its line end): the local time when the log was opened,
    // as in "Mon Jan 05 14:03:22 2026", then the message length and the queue size.
    static std::string FormatHeader(const std::tm& local);

    // Holds the writer thread's draining while set (diagnostics and tests of a full ring).
    void PauseDrain(bool paused) { drainPaused_.store(paused); }

  private:
    void WriterThread();
    int FormatPrefix(char* out, size_t size, int64_t elapsedUs, int32_t deltaUs, unsigned threadId);

    std::filesystem::path name_;
    std::vector<char> ring_;
    int writeIndex_ = 0;
    int readIndex_ = 0;
    int lastIndex_ = 0;
    std::timed_mutex mutex_;
    platform::File file_;
    int64_t startUs_ = 0;
    int64_t previousElapsedUs_ = 0;
    char prefix_[100] = {};
    std::atomic<bool> running_{false};
    std::atomic<bool> stop_{false};
    std::atomic<bool> drainPaused_{false};
    std::thread thread_;
};

// The program-wide debug log ("LogDebug.txt" in the temporary folder when opened by start-up).
LogFile& DebugLog();

}  // namespace foundation
