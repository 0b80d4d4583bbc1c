#include "foundation/LogFile.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <system_error>

#include "platform/CodePage.h"
#include "platform/SystemError.h"
#include "platform/ThreadLog.h"

namespace foundation {

namespace {

constexpr size_t kSlotSize = LogFile::kMaxMessageLength + 1;
constexpr int kSlots = LogFile::kQueueSlots + 1;

int64_t NowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

LogFile& DebugLog() {
    static LogFile log;
    return log;
}

LogFile::LogFile() = default;

LogFile::~LogFile() {
    Close();
}

std::string LogFile::Open(const std::filesystem::path& file) {
    Close();
    name_ = file;
    platform::File opened;
    if (const int code = opened.Open(file, platform::FileAccess::kWriteSynced); code != 0) {
        std::string text = platform::SystemErrorText(code);
        if (text.empty()) text = "Cannot create " + file.string();
        return text.substr(0, platform::Utf8SafeCut(text, kMaxMessageLength));
    }
    {
        std::lock_guard<std::timed_mutex> lock(mutex_);
        file_ = std::move(opened);
        startUs_ = NowUs();
        previousElapsedUs_ = 0;
        ring_.assign(static_cast<size_t>(kSlots) * kSlotSize, '\0');
        writeIndex_ = readIndex_ = lastIndex_ = 0;
    }
    stop_.store(false);
    running_.store(true);
    const bool isDebugLog = this == &DebugLog();
    if (isDebugLog) platform::SetThreadLogSink([this](const std::string& line) { Write(line); });
    try {
        thread_ = std::thread([this] { WriterThread(); });
    } catch (const std::system_error&) {
        Close();
        return "LogFile:error creating log thread";
    }
    return {};
}

std::string LogFile::FormatHeader(const std::tm& local) {
    // English names and a zero-padded day whatever the process locale ("Mon Jan 05 14:03:22 2026").
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const char* day = local.tm_wday >= 0 && local.tm_wday < 7 ? kDays[local.tm_wday] : "???";
    const char* month = local.tm_mon >= 0 && local.tm_mon < 12 ? kMonths[local.tm_mon] : "???";
    char header[200];
    std::snprintf(header, sizeof header, "%s %s %02d %02d:%02d:%02d %d message length = %d, queue size = %d",
                  day, month, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, local.tm_year + 1900,
                  kMaxMessageLength, kQueueSlots);
    return header;
}

int LogFile::FormatPrefix(char* out, size_t size, int64_t elapsedUs, int32_t deltaUs, unsigned threadId) {
    const int micro = static_cast<int>(elapsedUs % 1000000);
    const int64_t totalSeconds = elapsedUs / 1000000;
    const int seconds = static_cast<int>(totalSeconds % 60);
    const int minutes = static_cast<int>((totalSeconds / 60) % 60);
    const int hours = static_cast<int>((totalSeconds / 3600) % 60);
    const int n = std::snprintf(out, size, "%2d:%02d:%02d.%06d %6d 0x%X ", hours, minutes, seconds, micro,
                                static_cast<int>(deltaUs), threadId);
    if (n < 0) return 0;
    return n < static_cast<int>(size) ? n : static_cast<int>(size) - 1;
}

void LogFile::Write(std::string_view text) {
    if (!running_.load()) return;
    if (!mutex_.try_lock_for(std::chrono::milliseconds(100))) return;
    std::lock_guard<std::timed_mutex> lock(mutex_, std::adopt_lock);
    if (!running_.load() || ring_.empty()) return;

    const int64_t elapsed = NowUs() - startUs_;
    const auto delta =
        static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(elapsed - previousElapsedUs_)));
    previousElapsedUs_ = elapsed;
    const int prefixLength =
        FormatPrefix(prefix_, sizeof prefix_, elapsed, delta, platform::CurrentThreadId());

    char* slot = ring_.data() + static_cast<size_t>(writeIndex_) * kSlotSize;
    std::memcpy(slot, prefix_, static_cast<size_t>(prefixLength));
    size_t length = static_cast<size_t>(prefixLength);
    const size_t room = kMaxMessageLength - length;
    const size_t take = text.size() <= room ? text.size() : platform::Utf8SafeCut(text, room);
    std::memcpy(slot + length, text.data(), take);
    length += take;
    slot[length] = '\0';

    lastIndex_ = writeIndex_;
    writeIndex_ = (writeIndex_ + 1) % kSlots;
    if (writeIndex_ == readIndex_) {
        const std::string_view mark(kQueueFullMark);
        const size_t fits = std::min(mark.size(), kMaxMessageLength - length);
        std::memcpy(slot + length, mark.data(), fits);
        slot[length + fits] = '\0';
        readIndex_ = (readIndex_ + 1) % kSlots;
    }
}

void LogFile::WriterThread() {
    platform::LogThreadStart("LogFile::WriterThread");
    {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        file_.WriteAll(FormatHeader(local) + "\r\n");
    }
    std::string batch;
    auto drain = [&] {
        if (!mutex_.try_lock_for(std::chrono::milliseconds(100))) return;
        while (readIndex_ != writeIndex_ && (!drainPaused_.load() || stop_.load())) {
            batch.append(ring_.data() + static_cast<size_t>(readIndex_) * kSlotSize);
            batch.append("\r\n");
            readIndex_ = (readIndex_ + 1) % kSlots;
        }
        mutex_.unlock();
        // Written outside the lock: callers never wait for the disk.
        if (!batch.empty()) file_.WriteAll(batch);
        batch.clear();
    };
    while (!stop_.load()) {
        if (!drainPaused_.load()) drain();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // Lines queued since the last pass are not lost on close.
    drain();
}

void LogFile::Close() {
    if (this == &DebugLog() && running_.load()) platform::SetThreadLogSink(nullptr);
    running_.store(false);
    if (thread_.joinable()) {
        stop_.store(true);
        thread_.join();
    }
    std::lock_guard<std::timed_mutex> lock(mutex_);
    file_.Close();
    writeIndex_ = readIndex_ = lastIndex_ = 0;
    ring_.clear();
    ring_.shrink_to_fit();
}

}  // namespace foundation
