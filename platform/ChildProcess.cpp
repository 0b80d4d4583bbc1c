#include "platform/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/SystemError.h"

extern char** environ;

namespace platform {

namespace {

constexpr uint32_t kNoLimit = 0xFFFFFFFFu;

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

int OpenPidFd(pid_t pid) {
#ifdef SYS_pidfd_open
    const long fd = ::syscall(SYS_pidfd_open, pid, 0);
    if (fd >= 0) {
        ::fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
        return static_cast<int>(fd);
    }
#else
    (void)pid;
#endif
    return -1;
}

int StatusToExitCode(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view line) {
    std::vector<std::string> args;
    size_t i = 0;
    const size_t n = line.size();
    for (;;) {
        while (i < n && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r' || line[i] == '\n')) ++i;
        if (i >= n) break;
        std::string arg;
        bool quoted = false;
        while (i < n) {
            const char c = line[i];
            if (!quoted && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) break;
            if (c == '\\') {
                size_t slashes = 0;
                while (i < n && line[i] == '\\') ++slashes, ++i;
                if (i < n && line[i] == '"') {
                    arg.append(slashes / 2, '\\');
                    if (slashes % 2) {
                        arg += '"';
                        ++i;
                    }
                } else {
                    arg.append(slashes, '\\');
                }
                continue;
            }
            if (c == '"') {
                if (quoted && i + 1 < n && line[i + 1] == '"') {
                    arg += '"';
                    i += 2;
                    continue;
                }
                quoted = !quoted;
                ++i;
                continue;
            }
            arg += c;
            ++i;
        }
        args.push_back(std::move(arg));
    }
    return args;
}

ChildProcess::~ChildProcess() {
    Release();
}

bool ChildProcess::Fail(const std::string& what, int code) {
    lastCode_ = code;
    lastError_ = what;
    const std::string text = SystemErrorText(code);
    if (!text.empty()) lastError_ += ": " + text;
    return false;
}

void ChildProcess::CloseFds() {
    CloseFd(inFd_);
    CloseFd(outFd_);
    CloseFd(errFd_);
    CloseFd(pidFd_);
}

bool ChildProcess::Start(const std::vector<std::string>& args, const ChildOptions& options) {
    lastCode_ = 0;
    lastError_.clear();
    if (pid_ > 0) return Fail("a child process is already running", EBUSY);
    if (args.empty() || args[0].empty()) return Fail("no program to start", EINVAL);

    int in[2] = {-1, -1};
    int out[2] = {-1, -1};
    int err[2] = {-1, -1};
    auto closeAll = [&] {
        for (int* p : {in, out, err}) {
            CloseFd(p[0]);
            CloseFd(p[1]);
        }
    };
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 ||
        (!options.mergeErrorIntoOutput && ::pipe2(err, O_CLOEXEC) != 0)) {
        const int code = errno;
        closeAll();
        return Fail("cannot create the pipes", code);
    }

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    // dup2 clears close-on-exec on the child's copies; our ends stay private.
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, options.mergeErrorIntoOutput ? out[1] : err[1], 2);
    if (!options.workingFolder.empty())
        posix_spawn_file_actions_addchdir_np(&actions, options.workingFolder.c_str());
    // Own process group (so a kill reaches grandchildren) and default signal state:
    // the caller may have signals blocked or ignored (SIGPIPE) that tools expect.
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    pid_t pid = -1;
    const bool search = args[0].find('/') == std::string::npos;
    const int rc = search ? ::posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), environ)
                          : ::posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        closeAll();
        return Fail("cannot start \"" + args[0] + "\"", rc);
    }

    pid_ = pid;
    reaped_ = false;
    exitCode_ = -1;
    pidFd_ = OpenPidFd(pid);
    inFd_ = in[1];
    outFd_ = out[0];
    errFd_ = err[0];
    in[1] = out[0] = err[0] = -1;
    closeAll();
    return true;
}

long ChildProcess::Available(Stream stream) const {
    const int fd = FdOf(stream);
    if (fd < 0) return -1;
    int count = 0;
    if (::ioctl(fd, FIONREAD, &count) != 0) return -1;
    return count;
}

bool ChildProcess::AtEnd(Stream stream) const {
    const int fd = FdOf(stream);
    if (fd < 0) return true;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0) return false;
    if (p.revents & (POLLERR | POLLNVAL)) return true;
    // A hang-up with data left is not the end yet.
    return (p.revents & POLLHUP) && Available(stream) == 0;
}

long ChildProcess::Read(Stream stream, void* buffer, size_t size, uint32_t ms) {
    const int fd = FdOf(stream);
    if (fd < 0) {
        Fail("no pipe for this stream", EBADF);
        return -1;
    }
    const int64_t deadline = ms == kNoLimit ? 0 : NowMs() + ms;
    for (;;) {
        int wait = -1;
        if (ms != kNoLimit) {
            const int64_t left = deadline - NowMs();
            wait = left > 0 ? static_cast<int>(left) : 0;
        }
        pollfd p{fd, POLLIN, 0};
        const int rc = ::poll(&p, 1, wait);
        if (rc < 0) {
            if (errno == EINTR) continue;
            Fail("cannot wait for the pipe", errno);
            return -1;
        }
        if (rc == 0) return kReadTimeout;
        const ssize_t got = ::read(fd, buffer, size);
        if (got >= 0) return static_cast<long>(got);
        if (errno == EINTR || errno == EAGAIN) continue;
        Fail("cannot read the pipe", errno);
        return -1;
    }
}

bool ChildProcess::WriteInput(const void* data, size_t size) {
    if (inFd_ < 0) return Fail("the input pipe is closed", EBADF);
    // A child that has gone raises SIGPIPE on this thread: keep it blocked for the
    // write and take back one that became pending, so that only EPIPE is seen.
    sigset_t pipeSet;
    sigset_t old;
    sigemptyset(&pipeSet);
    sigaddset(&pipeSet, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    const bool wasPending = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipeSet, &old);
    const char* p = static_cast<const char*>(data);
    size_t left = size;
    int code = 0;
    while (left > 0) {
        const ssize_t n = ::write(inFd_, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            code = errno;
            break;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    if (code == EPIPE && !wasPending) {
        const timespec zero{0, 0};
        while (sigtimedwait(&pipeSet, nullptr, &zero) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    if (code != 0) return Fail("cannot write to the child's input", code);
    return true;
}

void ChildProcess::CloseInput() {
    CloseFd(inFd_);
}

bool ChildProcess::WaitExit(uint32_t ms) {
    {
        std::lock_guard<std::mutex> lock(reapMutex_);
        if (pid_ <= 0 || reaped_) return pid_ > 0;
    }
    const int64_t deadline = ms == kNoLimit ? 0 : NowMs() + ms;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(reapMutex_);
            if (reaped_) return true;
            int status = 0;
            const pid_t r = ::waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                exitCode_ = StatusToExitCode(status);
                reaped_ = true;
                return true;
            }
            if (r < 0 && errno == ECHILD) {
                // Reaped behind our back (a SIGCHLD handler of the program): it has ended.
                reaped_ = true;
                return true;
            }
        }
        int wait = -1;
        if (ms != kNoLimit) {
            const int64_t left = deadline - NowMs();
            if (left <= 0) return false;
            wait = static_cast<int>(left);
        }
        if (pidFd_ >= 0) {
            // The lock is not held while waiting: the reader thread keeps draining the pipes.
            pollfd p{pidFd_, POLLIN, 0};
            const int rc = ::poll(&p, 1, wait);
            if (rc < 0 && errno != EINTR) return false;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(wait < 0 || wait > 5 ? 5 : wait));
        }
    }
}

int ChildProcess::ExitCode() const {
    std::lock_guard<std::mutex> lock(reapMutex_);
    return reaped_ ? exitCode_ : -1;
}

bool ChildProcess::Kill() {
    if (pid_ <= 0) return false;
    if (HasExited()) return true;
    ::kill(-pid_, SIGKILL);
    ::kill(pid_, SIGKILL);
    return WaitExit(kNoLimit);
}

void ChildProcess::Release() {
    if (pid_ > 0 && !HasExited()) Kill();
    CloseFds();
    std::lock_guard<std::mutex> lock(reapMutex_);
    pid_ = -1;
    reaped_ = false;
}

bool RunChildProcess(const std::vector<std::string>& args, const ChildOptions& options, uint32_t timeoutMs,
                     ChildRunResult* result, std::string* error) {
    ChildRunResult local;
    ChildRunResult& r = result ? *result : local;
    r = ChildRunResult();
    ChildProcess child;
    if (!child.Start(args, options)) {
        if (error) *error = child.LastError();
        return false;
    }
    child.CloseInput();
    const int64_t deadline = timeoutMs == kNoLimit ? 0 : NowMs() + timeoutMs;
    bool outOpen = true;
    bool errOpen = !options.mergeErrorIntoOutput;
    char buffer[4096];
    // Drain both pipes until they close (a tool's children may keep them open after
    // it ended: the exit ends the collection too).
    while (outOpen || errOpen) {
        if (timeoutMs != kNoLimit && NowMs() >= deadline) {
            r.timedOut = true;
            break;
        }
        struct Pipe {
            ChildProcess::Stream stream;
            bool* open;
            std::string* text;
        } pipes[2] = {{ChildProcess::Stream::Output, &outOpen, &r.output},
                      {ChildProcess::Stream::Error, &errOpen, &r.errorOutput}};
        bool any = false;
        for (Pipe& pipe : pipes) {
            if (!*pipe.open) continue;
            const long n = child.Read(pipe.stream, buffer, sizeof buffer, outOpen && errOpen ? 10 : 50);
            if (n > 0) {
                pipe.text->append(buffer, static_cast<size_t>(n));
                any = true;
            } else if (n == 0 || n == -1) {
                *pipe.open = false;
            }
        }
        if (!any && child.HasExited()) {
            // Take what is left without waiting for descendants that hold the pipes.
            for (Pipe& pipe : pipes) {
                while (*pipe.open && child.Available(pipe.stream) > 0) {
                    const long n = child.Read(pipe.stream, buffer, sizeof buffer, 0);
                    if (n <= 0) break;
                    pipe.text->append(buffer, static_cast<size_t>(n));
                }
            }
            break;
        }
    }
    if (r.timedOut) {
        child.Kill();
    } else {
        uint32_t left = kNoLimit;
        if (timeoutMs != kNoLimit) {
            const int64_t rest = deadline - NowMs();
            left = rest > 0 ? static_cast<uint32_t>(rest) : 0;
        }
        if (!child.WaitExit(left)) {
            r.timedOut = true;
            child.Kill();
        }
    }
    // A killed child's group may leave grandchildren behind our pipes: they were killed too.
    r.exitCode = r.timedOut ? -1 : child.ExitCode();
    child.Release();
    return true;
}

}  // namespace platform
