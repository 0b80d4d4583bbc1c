#include "transport/ChannelTrace.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>

#include "foundation/LogFile.h"
#include "foundation/ProgramSwitches.h"
#include "foundation/SharedUtilities.h"
#include "platform/Folders.h"

using namespace foundation;

namespace transport {

bool ChannelTraceOn() {
    return g_LogDebug.load(std::memory_order_relaxed);
}

void ChannelTrace(std::string_view line) {
    if (ChannelTraceOn()) DebugLog().Write(line);
}

std::string HexBytes(const uint8_t* bytes, size_t count) {
    std::string out(count * 3 + 1, '\0');
    out.resize(HexDump(bytes, out.data(), out.size(), count));
    return out;
}

void ChannelTraceBytes(const char* prefix, const uint8_t* bytes, size_t count) {
    if (!ChannelTraceOn()) return;
    DebugLog().Write(std::string(prefix) + HexBytes(bytes, count));
}

std::string Format(const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    const int n = vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0) return {};
    return std::string(buffer,
                       static_cast<size_t>(n) < sizeof buffer ? static_cast<size_t>(n) : sizeof buffer - 1);
}

std::string LocalDateTime24() {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    return Format("%s %s %02d %02d:%02d:%02d %04d", kDays[local.tm_wday % 7], kMonths[local.tm_mon % 12],
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, local.tm_year + 1900);
}

bool CChannelErrorLog::Create(const std::string& name) {
    Close();
    std::string safe = name;
    if (safe.rfind("/dev/", 0) == 0) safe = safe.substr(5);
    for (char& c : safe)
        if (c == '/' || c == '\\' || c == ':') c = '_';
    path_ = (platform::TempFolder() / ("Err" + safe + ".txt")).string();
    return file_.Open(path_, platform::FileAccess::kWrite) == 0;
}

void CChannelErrorLog::Close() {
    file_.Close();
}

void CChannelErrorLog::Append(long state, const std::string& text, unsigned long code) {
    if (file_.IsOpen()) {
        const std::string line = std::to_string(state) + " " + LocalDateTime24() + " " + text + " (" +
                                 std::to_string(code) + ")\r\n";
        // One write per line: readers sharing the file see whole lines.
        (void)file_.WriteAll(line);
    }
    if (ChannelTraceOn()) DebugLog().Write(text + " (" + std::to_string(code) + ")");
}

}  // namespace transport
