#pragma once

// The crash report: when a fault ends the program, a text log ("Errorlog.txt"), a core
// dump ("Crash.dmp"), one bitmap per display ("Crash_mon<k>.bmp") and a manifest
// ("Crash.xml") are left in the crash folder, and the crash-report program is started
// with the manifest's path. The report is written on the faulting thread, on an
// alternate signal stack, with async-signal-safe calls and fixed buffers only.

#include <signal.h>

#include <cstdint>
#include <string>

namespace foundation {

// One display's picture, as the window layer captures it.
struct CrashScreenImage {
    int width = 0;
    int height = 0;
    int depth = 32;                    // the display's bits per pixel (planes x bits)
    const uint32_t* pixels = nullptr;  // rows top-down, 0x00RRGGBB
};
// Number of displays, and the capture of display index (from 0): false when there is
// no such display or it cannot be captured. Called inside the crash handler.
using CrashMonitorCountFn = int (*)();
using CrashScreenCaptureFn = bool (*)(int index, CrashScreenImage* image);

// The static initialiser's work: sets the configuration (crash folder
// "<common data folder>/Crash" for the report and for the manifest's "zippath", empty
// recipient, the crash-report program "CrashReport" in the program folder), installs
// the handlers for the crash signals and for unhandled C++ exceptions, and arms the
// one-shot flag. The program calls it before anything else is built; threads that
// want their stack overflows reported call platform::EnsureCrashAltStack.
bool InstallCrashReport();

// Configuration (for the program's start-up and for tests). Texts longer than the
// handler's fixed buffers are refused (false).
bool SetCrashReportFolders(const std::string& folder, const std::string& zipFolder);
bool SetCrashReportRecipient(const std::string& name, const std::string& address);
bool SetCrashReportProgram(const std::string& path);
void SetCrashScreenCapture(CrashMonitorCountFn count, CrashScreenCaptureFn capture);

// The report itself, as the signal handler runs it (info and ucontext may be null: the
// current context is taken). Does its work only the first time; gives 0.
int CrashReportFilter(int signo, siginfo_t* info, void* ucontext);

// Exception code the report shows for a signal, and its name ("an Access Violation",
// ...; "an Unknown exception type" for other codes).
uint32_t CrashExceptionCode(int signo, int siCode, uintptr_t faultAddress, uintptr_t stackPointer,
                            bool cppException);
const char* CrashExceptionName(uint32_t code);
// "%d/%d/%d %02d:%02d:%02d" (month, day, year, hour, minute, even second) of a moment
// given in seconds since 1970, shifted by the local offset from UTC.
void CrashFileTimeText(int64_t seconds, int64_t utcOffsetSeconds, char* out, size_t size);

// Writes a display's picture as a bitmap file: 1, 4 or 8 bits with a palette for
// displays of up to 1, 4 or 8 bits, 16 bits without a palette for deeper ones.
bool WriteCrashBitmap(int fd, const CrashScreenImage& image);

}  // namespace foundation
