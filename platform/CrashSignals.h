#pragma once

// What a crash report needs from the system, usable inside a signal handler: every
// function here (except the installers) makes only async-signal-safe calls and
// allocates nothing.

#include <signal.h>
#include <stdarg.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>

namespace platform {

// Called on the alternate stack for a crash signal; the handler's return ends the
// process with the signal's default action (a core dump where the system makes one).
using CrashSignalHandler = void (*)(int signo, siginfo_t* info, void* ucontext);

// Installs the handler for SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGTRAP and SIGSYS
// and gives the calling thread an alternate signal stack. False when a handler could
// not be installed.
bool InstallCrashSignalHandlers(CrashSignalHandler handler);
// Gives the calling thread an alternate signal stack (once), so that a stack overflow
// of this thread can still be reported. Threads started later call it themselves.
bool EnsureCrashAltStack();

// Copies memory that may not be readable: the number of bytes copied (less than size
// at the first unreadable page).
size_t SafeReadMemory(void* destination, const void* source, size_t size);

// printf subset without the C library's locks or allocations: flags '-' '0', a
// width, length h hh l ll z, conversions d i u x X c s p %. Always terminated; the
// length of the text written (cut at size - 1).
size_t SafeFormatV(char* out, size_t size, const char* format, va_list args);
size_t SafeFormat(char* out, size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));

// Reads a whole (small) file into buffer, terminated; the length read, 0 on failure.
size_t SafeReadFile(const char* path, char* buffer, size_t size);

// True when a tracer (debugger) is attached to the process.
bool DebuggerAttached();

// Starts a program detached from this process (new session, default signal state)
// without waiting for it; the child's id or -1.
pid_t StartDetached(const char* path, char* const argv[]);

// One line of /proc/self/maps.
struct MemoryMapping {
    uintptr_t start = 0;
    uintptr_t end = 0;
    bool readable = false;
    bool writable = false;
    bool executable = false;
    uint64_t offset = 0;
    const char* path = nullptr;  // "" for anonymous mappings; valid until the next call
};

// Walks /proc/self/maps line by line; the callback returns false to stop. Uses a
// static buffer: one walk at a time.
bool ForEachMapping(bool (*callback)(const MemoryMapping& mapping, void* context), void* context);

}  // namespace platform
