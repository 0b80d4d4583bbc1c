#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Splits a command line into arguments: blanks separate, double quotes group (a quote
// inside quotes is written ""), 2n backslashes before a quote give n backslashes and a
// grouping quote, 2n+1 give n backslashes and a literal quote; other backslashes are
// plain characters.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

struct ChildOptions {
    // Folder the child starts in; empty: the caller's. The caller's own folder never changes.
    std::filesystem::path workingFolder;
    // Standard error goes into the output pipe (one stream); otherwise it has a pipe of its own.
    bool mergeErrorIntoOutput = true;
};

// A child process started with posix_spawn, its standard input, output and error on
// pipes. The child runs in a process group of its own, so that a kill reaches the
// tools it started. The pipes are close-on-exec on our side: other children never
// inherit them. A running child is killed and reaped when the object is destroyed.
// Not thread-safe except where noted.
class ChildProcess {
  public:
    enum class Stream { Output, Error };
    static constexpr int kReadTimeout = -2;

    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // args[0] is the program: searched in PATH when it holds no '/', else taken
    // relative to the working folder. False (with the error) when the pipes cannot
    // be made or the program cannot be started; nothing stays open then.
    bool Start(const std::vector<std::string>& args, const ChildOptions& options = {});
    bool IsStarted() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }

    // Bytes waiting in the pipe; -1 on error (also when the stream has no pipe).
    long Available(Stream stream) const;
    // True when the writing side of the pipe is closed and nothing is left to read.
    bool AtEnd(Stream stream) const;
    // Reads what arrives within ms: >0 bytes read, 0 at the end of the stream,
    // kReadTimeout when nothing came, -1 on error.
    long Read(Stream stream, void* buffer, size_t size, uint32_t ms);

    // Writes all bytes into the child's standard input. False when the input is
    // closed or the child has gone (no SIGPIPE reaches the process).
    bool WriteInput(const void* data, size_t size);
    void CloseInput();

    // Thread-safe. True when the child has ended within ms (0: just look; 0xFFFFFFFF: no limit).
    bool WaitExit(uint32_t ms);
    bool HasExited() { return WaitExit(0); }
    // Exit status once ended: the child's exit code, or 128 + signal number when a
    // signal ended it; -1 while it runs or when never started.
    int ExitCode() const;
    // Kills the child's process group (SIGKILL) and reaps the child; true when it has ended.
    bool Kill();
    // Closes every pipe; a child still running is killed and reaped.
    void Release();

    int LastErrorCode() const { return lastCode_; }
    const std::string& LastError() const { return lastError_; }

  private:
    int FdOf(Stream stream) const { return stream == Stream::Output ? outFd_ : errFd_; }
    bool Fail(const std::string& what, int code);
    void CloseFds();

    pid_t pid_ = -1;
    int pidFd_ = -1;
    int inFd_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    mutable std::mutex reapMutex_;  // the owner and a reader thread may both wait
    int exitCode_ = -1;
    bool reaped_ = false;
    int lastCode_ = 0;
    std::string lastError_;
};

// Runs a program to its end, collecting its output; a child that outlives timeoutMs
// (0xFFFFFFFF: no limit) is killed. False when it could not be started (error set).
struct ChildRunResult {
    int exitCode = -1;
    bool timedOut = false;
    std::string output;       // standard output (and error, when merged)
    std::string errorOutput;  // standard error when not merged
};
bool RunChildProcess(const std::vector<std::string>& args, const ChildOptions& options, uint32_t timeoutMs,
                     ChildRunResult* result, std::string* error);

}  // namespace platform
