#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/File.h"

namespace transport {

// Protocol traces of the channels go to the debug log while the "LogDebug" switch is on.
bool ChannelTraceOn();
void ChannelTrace(std::string_view line);
// "<prefix>" followed by "%02X " per byte.
void ChannelTraceBytes(const char* prefix, const uint8_t* bytes, size_t count);
std::string HexBytes(const uint8_t* bytes, size_t count);
// printf-style formatting into a std::string (C locale numbers).
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The error log of a channel, "Err<name>.txt" in the temporary folder, created at connect
// while the "LogErrors" switch is on. Lines: "<state> <date> <text> (<code>)".
class CChannelErrorLog {
  public:
    CChannelErrorLog() = default;
    ~CChannelErrorLog() { Close(); }
    CChannelErrorLog(const CChannelErrorLog&) = delete;
    CChannelErrorLog& operator=(const CChannelErrorLog&) = delete;

    // name: port or box address; characters unfit for a file name become '_'.
    bool Create(const std::string& name);
    void Close();
    bool IsOpen() const { return file_.IsOpen(); }
    void Append(long state, const std::string& text, unsigned long code);
    const std::string& Path() const { return path_; }

  private:
    platform::File file_;
    std::string path_;
};

// The local date and time in the 24-character form "Mon Jan 05 14:03:22 2026".
std::string LocalDateTime24();

}  // namespace transport
