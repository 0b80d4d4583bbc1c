#include "platform/ThreadLog.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <mutex>

namespace platform {
namespace {

std::mutex& SinkMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<std::function<void(const std::string&)>>& Sink() {
    static std::shared_ptr<std::function<void(const std::string&)>> sink;
    return sink;
}

void LogWithId(const std::string& name, const char* what) {
    char id[32];
    std::snprintf(id, sizeof id, " %s 0x%X", what, CurrentThreadId());
    LogThreadLine(name + id);
}

}  // namespace

unsigned CurrentThreadId() {
    return static_cast<unsigned>(::syscall(SYS_gettid));
}

void SetThreadLogSink(std::function<void(const std::string&)> sink) {
    auto holder = sink ? std::make_shared<std::function<void(const std::string&)>>(std::move(sink)) : nullptr;
    std::lock_guard<std::mutex> lock(SinkMutex());
    Sink() = std::move(holder);
}

void LogThreadLine(const std::string& line) {
    std::shared_ptr<std::function<void(const std::string&)>> sink;
    {
        std::lock_guard<std::mutex> lock(SinkMutex());
        sink = Sink();
    }
    // Called outside the lock so that a sink may itself start threads or log.
    if (sink) (*sink)(line);
}

void LogThreadStart(const std::string& name) {
    LogWithId(name, "started");
}
void LogThreadStop(const std::string& name) {
    LogWithId(name, "stopped");
}

}  // namespace platform
