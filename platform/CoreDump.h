#pragma once

#include <signal.h>

namespace platform {

// Writes a small ELF core file of the running process into fd, as the debugger reads
// it: the faulting thread's registers and signal, the program name, the list of mapped
// files, the faulting thread's stack and the modules' writable data (not the whole
// heap). Async-signal-safe, no allocation. False where the processor is not supported
// or the file could not be written whole.
bool WriteCoreDump(int fd, int signo, const siginfo_t* info, const void* ucontext);

}  // namespace platform
