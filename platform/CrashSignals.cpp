#include "platform/CrashSignals.h"

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

extern char** environ;

namespace platform {

namespace {

constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGTRAP, SIGSYS};
constexpr size_t kAltStackSize = 128 * 1024;

// The stack stays for the life of the thread: a handler may run on it at any time.
// Released when its thread ends, after the stack is switched off, so worker threads don't leak it.
struct AltStack {
    void* memory = nullptr;
    ~AltStack() {
        if (!memory) return;
        stack_t off{};
        off.ss_flags = SS_DISABLE;
        ::sigaltstack(&off, nullptr);
        ::operator delete(memory);
    }
};
thread_local AltStack t_altStack;

// Emits the number into out (reverse digits in a scratch buffer first).
size_t FormatNumber(char* digits, unsigned long long value, unsigned base, bool upper) {
    const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    size_t n = 0;
    do {
        digits[n++] = set[value % base];
        value /= base;
    } while (value != 0);
    return n;
}

struct Out {
    char* out;
    size_t size;
    size_t length = 0;
    void Put(char c) {
        if (length + 1 < size) out[length] = c;
        ++length;
    }
};

uintptr_t ParseHex(const char*& p) {
    uintptr_t value = 0;
    for (;; ++p) {
        const char c = *p;
        if (c >= '0' && c <= '9') {
            value = value * 16 + static_cast<uintptr_t>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            value = value * 16 + static_cast<uintptr_t>(c - 'a' + 10);
        } else {
            return value;
        }
    }
}

}  // namespace

bool EnsureCrashAltStack() {
    if (t_altStack.memory) return true;
    void* memory = ::operator new(kAltStackSize, std::nothrow);
    if (!memory) return false;
    stack_t stack{};
    stack.ss_sp = memory;
    stack.ss_size = kAltStackSize;
    stack.ss_flags = 0;
    if (::sigaltstack(&stack, nullptr) != 0) {
        ::operator delete(memory);
        return false;
    }
    t_altStack.memory = memory;
    return true;
}

bool InstallCrashSignalHandlers(CrashSignalHandler handler) {
    EnsureCrashAltStack();
    bool ok = true;
    for (int signo : kCrashSignals) {
        struct sigaction action {};
        action.sa_sigaction = handler;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigfillset(&action.sa_mask);
        ok = ::sigaction(signo, &action, nullptr) == 0 && ok;
    }
    return ok;
}

size_t SafeReadMemory(void* destination, const void* source, size_t size) {
    // The kernel copies and reports a fault as a short count instead of a signal.
    iovec local{destination, size};
    iovec remote{const_cast<void*>(source), size};
    const ssize_t n = ::process_vm_readv(::getpid(), &local, 1, &remote, 1, 0);
    if (n >= 0) return static_cast<size_t>(n);
    // Without that call (restricted systems): a pipe write reports EFAULT.
    int fds[2];
    if (::pipe(fds) != 0) return 0;
    size_t done = 0;
    const char* from = static_cast<const char*>(source);
    char* to = static_cast<char*>(destination);
    while (done < size) {
        const size_t chunk = size - done < 512 ? size - done : 512;
        const ssize_t w = ::write(fds[1], from + done, chunk);
        if (w <= 0) break;
        const ssize_t r = ::read(fds[0], to + done, static_cast<size_t>(w));
        if (r != w) break;
        done += static_cast<size_t>(w);
    }
    ::close(fds[0]);
    ::close(fds[1]);
    return done;
}

size_t SafeFormatV(char* out, size_t size, const char* format, va_list args) {
    Out o{out, size};
    for (const char* p = format; *p; ++p) {
        if (*p != '%') {
            o.Put(*p);
            continue;
        }
        ++p;
        bool left = false;
        bool zero = false;
        for (;; ++p) {
            if (*p == '-') {
                left = true;
            } else if (*p == '0') {
                zero = true;
            } else {
                break;
            }
        }
        size_t width = 0;
        while (*p >= '0' && *p <= '9') width = width * 10 + static_cast<size_t>(*p++ - '0');
        int longs = 0;
        bool half = false;
        for (;; ++p) {
            if (*p == 'l') {
                ++longs;
            } else if (*p == 'z') {
                longs = 2;
            } else if (*p == 'h') {
                half = true;
            } else {
                break;
            }
        }
        char scratch[32];
        const char* text = scratch;
        size_t length = 0;
        bool negative = false;
        bool reversed = false;
        switch (*p) {
            case 'd':
            case 'i': {
                long long v = longs >= 2   ? va_arg(args, long long)
                              : longs == 1 ? va_arg(args, long)
                                           : va_arg(args, int);
                unsigned long long magnitude =
                    v < 0 ? 0ull - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
                negative = v < 0;
                length = FormatNumber(scratch, magnitude, 10, false);
                reversed = true;
                break;
            }
            case 'u':
            case 'x':
            case 'X':
            case 'p': {
                unsigned long long v;
                if (*p == 'p') {
                    v = reinterpret_cast<uintptr_t>(va_arg(args, void*));
                } else {
                    v = longs >= 2   ? va_arg(args, unsigned long long)
                        : longs == 1 ? va_arg(args, unsigned long)
                                     : va_arg(args, unsigned int);
                }
                length = FormatNumber(scratch, v, *p == 'u' ? 10 : 16, *p == 'X');
                reversed = true;
                break;
            }
            case 'c':
                scratch[0] = static_cast<char>(va_arg(args, int));
                length = 1;
                break;
            case 's': {
                text = va_arg(args, const char*);
                if (!text) text = "(null)";
                length = std::strlen(text);
                break;
            }
            case '%':
                scratch[0] = '%';
                length = 1;
                break;
            case '\0':
                --p;
                continue;
            default:
                // Unknown conversion: shown as written.
                o.Put('%');
                o.Put(*p);
                continue;
        }
        (void)half;
        const size_t total = length + (negative ? 1 : 0);
        const size_t pad = width > total ? width - total : 0;
        if (!left && !zero)
            for (size_t i = 0; i < pad; ++i) o.Put(' ');
        if (negative) o.Put('-');
        if (!left && zero)
            for (size_t i = 0; i < pad; ++i) o.Put('0');
        for (size_t i = 0; i < length; ++i) o.Put(reversed ? text[length - 1 - i] : text[i]);
        if (left)
            for (size_t i = 0; i < pad; ++i) o.Put(' ');
    }
    if (size > 0) out[o.length < size ? o.length : size - 1] = '\0';
    return o.length < size ? o.length : (size > 0 ? size - 1 : 0);
}

size_t SafeFormat(char* out, size_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const size_t n = SafeFormatV(out, size, format, args);
    va_end(args);
    return n;
}

size_t SafeReadFile(const char* path, char* buffer, size_t size) {
    if (size == 0) return 0;
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        buffer[0] = '\0';
        return 0;
    }
    size_t length = 0;
    while (length + 1 < size) {
        const ssize_t n = ::read(fd, buffer + length, size - 1 - length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        length += static_cast<size_t>(n);
    }
    ::close(fd);
    buffer[length] = '\0';
    return length;
}

bool DebuggerAttached() {
    static char status[4096];
    if (SafeReadFile("/proc/self/status", status, sizeof status) == 0) return false;
    const char* p = std::strstr(status, "TracerPid:");
    if (!p) return false;
    p += 10;
    while (*p == ' ' || *p == '\t') ++p;
    return *p != '0';
}

pid_t StartDetached(const char* path, char* const argv[]) {
    const pid_t pid = ::_Fork();
    if (pid != 0) return pid;
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::setsid();
    ::execve(path, argv, environ);
    ::_exit(127);
}

bool ForEachMapping(bool (*callback)(const MemoryMapping& mapping, void* context), void* context) {
    const int fd = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    static char buffer[8192];
    static char line[4352];
    size_t used = 0;
    size_t filled = 0;
    bool go = true;
    for (;;) {
        // Take complete lines from the buffer, refill it when none is left.
        char* newline = static_cast<char*>(std::memchr(buffer + used, '\n', filled - used));
        if (!newline) {
            const size_t rest = filled - used;
            std::memmove(buffer, buffer + used, rest);
            used = 0;
            filled = rest;
            if (filled == sizeof buffer) filled = 0;  // a line longer than the buffer: dropped
            ssize_t n;
            do {
                n = ::read(fd, buffer + filled, sizeof buffer - filled);
            } while (n < 0 && errno == EINTR);
            if (n <= 0) break;
            filled += static_cast<size_t>(n);
            continue;
        }
        size_t length = static_cast<size_t>(newline - (buffer + used));
        if (length >= sizeof line) length = sizeof line - 1;
        std::memcpy(line, buffer + used, length);
        line[length] = '\0';
        used = static_cast<size_t>(newline - buffer) + 1;

        MemoryMapping m;
        const char* p = line;
        m.start = ParseHex(p);
        if (*p == '-') ++p;
        m.end = ParseHex(p);
        while (*p == ' ') ++p;
        m.readable = p[0] == 'r';
        m.writable = p[0] && p[1] == 'w';
        m.executable = p[0] && p[1] && p[2] == 'x';
        while (*p && *p != ' ') ++p;
        while (*p == ' ') ++p;
        m.offset = ParseHex(p);
        // Device and inode, then the path (may hold blanks).
        for (int field = 0; field < 2; ++field) {
            while (*p == ' ') ++p;
            while (*p && *p != ' ') ++p;
        }
        while (*p == ' ') ++p;
        m.path = p;
        if (!callback(m, context)) {
            go = false;
            break;
        }
    }
    ::close(fd);
    return go;
}

}  // namespace platform
