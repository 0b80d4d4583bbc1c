#include "foundation/CrashReport.h"

// System calls made here directly: the report runs in a signal handler and must stay async-signal-safe.
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/ucontext.h>
#include <sys/utsname.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <string>
#include <thread>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

#include "foundation/ProgramFolders.h"
#include "platform/CoreDump.h"
#include "platform/CrashSignals.h"
#include "platform/Folders.h"
#include "platform/VersionInfo.h"

extern char** environ;

namespace foundation {

namespace {

constexpr size_t kPathSize = 1024;
constexpr const char* kLogName = "Errorlog.txt";
constexpr const char* kDumpName = "Crash.dmp";
constexpr const char* kManifestName = "Crash.xml";
constexpr const char* kMonitorName = "Crash_mon";
constexpr int kMaxMonitors = 16;
constexpr uint32_t kCppExceptionCode = 0xE06D7363u;

// Configuration and facts gathered before any crash: the handler only reads them.
char g_folder[kPathSize];
char g_zipFolder[kPathSize];
char g_recipientName[256];
char g_recipientAddress[256];
char g_reportProgram[kPathSize];
char g_userName[201];
char g_osName[256];
char g_versionText[64];
int g_versionParts[4];
int g_processors = 1;
int g_processorType = 0;
int64_t g_utcOffset = 0;
std::atomic<bool> g_notReported{true};
std::atomic<bool> g_cppException{false};
std::atomic<CrashMonitorCountFn> g_monitorCount{nullptr};
std::atomic<CrashScreenCaptureFn> g_capture{nullptr};
std::terminate_handler g_previousTerminate = nullptr;

// The report's text buffer: pieces are appended and the buffer goes to the file when
// it is nearly full, so that no text needs the heap.
char g_text[16384];
size_t g_pending = 0;
int g_out = -1;

bool CopyText(char* to, size_t size, const std::string& from) {
    if (from.size() >= size) return false;
    std::memcpy(to, from.c_str(), from.size() + 1);
    return true;
}

bool WriteAll(int fd, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void FlushText() {
    if (g_out >= 0 && g_pending > 0) WriteAll(g_out, g_text, g_pending);
    g_pending = 0;
}

__attribute__((format(printf, 1, 2))) void Print(const char* format, ...) {
    static char piece[16384];
    va_list args;
    va_start(args, format);
    const size_t n = platform::SafeFormatV(piece, sizeof piece, format, args);
    va_end(args);
    // Flush before the piece would overrun the buffer, not only past the threshold.
    if (g_pending > 15360 || g_pending + n > sizeof g_text) FlushText();
    std::memcpy(g_text + g_pending, piece, n);
    g_pending += n;
}

// Text with the characters that would end an XML attribute written as references.
void PrintXmlAttribute(const char* text) {
    for (const char* p = text; *p; ++p) {
        switch (*p) {
            case '&':
                Print("&amp;");
                break;
            case '<':
                Print("&lt;");
                break;
            case '"':
                Print("&quot;");
                break;
            default:
                Print("%c", *p);
        }
    }
}

int OpenReportFile(const char* folder, const char* name, char* path) {
    platform::SafeFormat(path, kPathSize, "%s%s", folder, name);
    return ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_SYNC | O_NOFOLLOW, 0644);
}

// Creates the folder with its parents; true when it is a folder afterwards.
bool MakeFolderTree(char* folder) {
    for (char* p = folder + 1; *p; ++p) {
        if (*p != '/') continue;
        *p = '\0';
        ::mkdir(folder, 0755);
        *p = '/';
    }
    ::mkdir(folder, 0755);
    struct stat st;
    return ::stat(folder, &st) == 0 && S_ISDIR(st.st_mode);
}

const char* FileNamePart(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

// Days since 1970-01-01 to a civil date.
void CivilFromDays(int64_t days, int* year, int* month, int* day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t doe = days - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    *day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    *year = static_cast<int>(yoe + era * 400 + (*month <= 2 ? 1 : 0));
}

struct Registers {
    uintptr_t ip = 0;
    uintptr_t sp = 0;
    bool write = false;
};

Registers ReadRegisters(const void* ucontext) {
    Registers r;
    if (!ucontext) return r;
    const ucontext_t* uc = static_cast<const ucontext_t*>(ucontext);
#if defined(__x86_64__)
    r.ip = static_cast<uintptr_t>(uc->uc_mcontext.gregs[REG_RIP]);
    r.sp = static_cast<uintptr_t>(uc->uc_mcontext.gregs[REG_RSP]);
    r.write = (uc->uc_mcontext.gregs[REG_ERR] & 2) != 0;
#elif defined(__aarch64__)
    r.ip = static_cast<uintptr_t>(uc->uc_mcontext.pc);
    r.sp = static_cast<uintptr_t>(uc->uc_mcontext.sp);
#else
    (void)uc;
#endif
    return r;
}

void PrintContext(const void* ucontext) {
    Print("Context:\r\n");
#if defined(__x86_64__)
    const greg_t* g = static_cast<const ucontext_t*>(ucontext)->uc_mcontext.gregs;
    auto u = [g](int i) { return static_cast<unsigned long>(g[i]); };
    Print("RDI:    0x%016lx   RSI: 0x%016lx   RAX:   0x%016lx\r\n", u(REG_RDI), u(REG_RSI), u(REG_RAX));
    Print("RBX:    0x%016lx   RCX: 0x%016lx   RDX:   0x%016lx\r\n", u(REG_RBX), u(REG_RCX), u(REG_RDX));
    Print("RIP:    0x%016lx   RBP: 0x%016lx   SegCs: 0x%08lx\r\n", u(REG_RIP), u(REG_RBP),
          u(REG_CSGSFS) & 0xFFFF);
    Print("EFlags: 0x%08lx   RSP: 0x%016lx   SegSs: 0x%08x\r\n", u(REG_EFL), u(REG_RSP), 0x2Bu);
    Print("R8:     0x%016lx   R9:  0x%016lx   R10:   0x%016lx   R11: 0x%016lx\r\n", u(REG_R8), u(REG_R9),
          u(REG_R10), u(REG_R11));
    Print("R12:    0x%016lx   R13: 0x%016lx   R14:   0x%016lx   R15: 0x%016lx\r\n", u(REG_R12), u(REG_R13),
          u(REG_R14), u(REG_R15));
#else
    (void)ucontext;
    Print("(not available on this processor)\r\n");
#endif
}

// Reads "<key>: <number> kB" from a /proc text.
uint64_t ProcNumber(const char* text, const char* key) {
    const char* p = std::strstr(text, key);
    if (!p) return 0;
    p += std::strlen(key);
    while (*p == ' ' || *p == '\t' || *p == ':') ++p;
    uint64_t value = 0;
    while (*p >= '0' && *p <= '9') value = value * 10 + static_cast<uint64_t>(*p++ - '0');
    return value;
}

unsigned KbToMb(uint64_t kb) {
    return static_cast<unsigned>((kb + 1023) / 1024);
}

void PrintMachine() {
    static char now[64];
    CrashFileTimeText(static_cast<int64_t>(::time(nullptr)), g_utcOffset, now, sizeof now);
    Print("Error occurred at %s.\r\n", now);
    static char program[kPathSize];
    const ssize_t n = ::readlink("/proc/self/exe", program, sizeof program - 1);
    program[n > 0 ? n : 0] = '\0';
    Print("%s, run by %s.\r\n", n > 0 ? program : "Unknown", g_userName[0] ? g_userName : "Unknown");
    static struct utsname names;
    if (::uname(&names) == 0) {
        Print("Computer Name: %s   Domain: %s.\r\n", names.nodename, names.domainname);
        Print("Operating system:  %s (%s).\r\n", g_osName[0] ? g_osName : names.sysname, names.release);
    } else {
        Print("Computer Name: Unknown   Domain: Unknown.\r\n");
        Print("Operating system:  %s (Unknown).\r\n", g_osName[0] ? g_osName : "Unknown");
    }
    Print("%d logical processor(s), type %d.\r\n", g_processors, g_processorType);
#if defined(__x86_64__) || defined(__i386__)
    unsigned a = 0, b = 0, c = 0, d = 0;
    char vendor[13] = {};
    if (__get_cpuid(0, &a, &b, &c, &d)) {
        std::memcpy(vendor, &b, 4);
        std::memcpy(vendor + 4, &d, 4);
        std::memcpy(vendor + 8, &c, 4);
    }
    unsigned version = 0;
    if (__get_cpuid(1, &a, &b, &c, &d)) version = a;
    Print("CPU Vendor: %s  Stepping: %X  Model: %X  Family: %X.\r\n", vendor, version & 0xF,
          (version >> 4) & 0xF, (version >> 8) & 0xF);
#else
    Print("CPU Vendor: Unknown  Stepping: 0  Model: 0  Family: 0.\r\n");
#endif
    static char meminfo[8192];
    static char status[8192];
    platform::SafeReadFile("/proc/meminfo", meminfo, sizeof meminfo);
    platform::SafeReadFile("/proc/self/status", status, sizeof status);
    const uint64_t total = ProcNumber(meminfo, "MemTotal");
    const uint64_t available = ProcNumber(meminfo, "MemAvailable");
    const uint64_t swapTotal = ProcNumber(meminfo, "SwapTotal");
    const uint64_t swapFree = ProcNumber(meminfo, "SwapFree");
    // The user part of the address space of this processor mode, in kB.
    const uint64_t userSpace = sizeof(void*) == 8 ? (uint64_t{1} << 47) / 1024 : (uint64_t{3} << 30) / 1024;
    const uint64_t used = ProcNumber(status, "VmSize");
    Print("%u%% memory in use:\r\n", total ? static_cast<unsigned>((total - available) * 100 / total) : 0u);
    Print("%10u MB physical memory\r\n", KbToMb(total));
    Print("%10u MB physical memory free\r\n", KbToMb(available));
    Print("%10u MB paging file\r\n", KbToMb(swapTotal));
    Print("%10u MB paging file free\r\n", KbToMb(swapFree));
    Print("%10u MB user address space\r\n", KbToMb(userSpace));
    Print("%10u MB user address space free\r\n", KbToMb(userSpace > used ? userSpace - used : 0));
}

void PrintCompilerOptions() {
    Print("\r\nCompiler Options:\r\n");
#ifdef __GNUC__
    Print("__GNUC__=%d  ", __GNUC__);
    Print("__GNUC_MINOR__=%d  ", __GNUC_MINOR__);
#endif
    Print("__cplusplus=%ld  ", static_cast<long>(__cplusplus));
#ifdef _GLIBCXX_RELEASE
    Print("_GLIBCXX_RELEASE=%d  ", _GLIBCXX_RELEASE);
#endif
    Print("\r\n");
#ifdef __GLIBC__
    Print("__GLIBC__=%d  ", __GLIBC__);
    Print("__GLIBC_MINOR__=%d  ", __GLIBC_MINOR__);
#endif
    Print("UTF-8  ");
#ifdef NDEBUG
    Print("Release  ");
#else
    Print("Debug  ");
#endif
    Print("\r\n\r\n");
}

struct StackFind {
    uintptr_t sp;
    uintptr_t end = 0;
};

bool FindStack(const platform::MemoryMapping& m, void* context) {
    StackFind& find = *static_cast<StackFind*>(context);
    if (find.sp >= m.start && find.sp < m.end) {
        find.end = m.end;
        return false;
    }
    return true;
}

void PrintStack(uintptr_t sp) {
    Print("\r\n\r\nStack:\r\n");
    StackFind find{sp};
    platform::ForEachMapping(FindStack, &find);
    uintptr_t length = find.end > sp ? find.end - sp : 0;
    if (length > 16384) length = 16384;
    for (uintptr_t at = sp; at < sp + length; at += 16) {
        const size_t want = sp + length - at < 16 ? static_cast<size_t>(sp + length - at) : 16;
        unsigned char bytes[16];
        if (platform::SafeReadMemory(bytes, reinterpret_cast<const void*>(at), want) != want) {
            Print("Exception encountered during stack dump.\r\n");
            return;
        }
        Print("0x%08lx: ", static_cast<unsigned long>(at));
        const size_t words = want / 4;
        for (size_t w = 0; w < 4; ++w) {
            if (w < words) {
                uint32_t word;
                std::memcpy(&word, bytes + w * 4, 4);
                Print("%08x ", word);
            } else {
                Print("         ");
            }
        }
        for (size_t i = 0; i < words * 4; ++i)
            Print("%c", bytes[i] < 0x20 || bytes[i] > 0x7E ? '.' : bytes[i]);
        Print("\r\n");
    }
    Print("\r\n\r\n");
}

void PrintEnvironment() {
    Print("Environment Variables:\r\n");
    if (environ) {
        for (int i = 0; environ[i]; ++i) {
            if (environ[i][0] == '=') continue;
            Print("%5d:  <%s>\n", i, environ[i]);
        }
    }
    Print("\r\n\r\n");
}

struct ModuleWalk {
    char path[kPathSize];
    uintptr_t start = 0;
    uintptr_t end = 0;
    int number = 0;
    const char* program = nullptr;
};

void PrintModule(ModuleWalk& walk) {
    if (walk.path[0] == '\0') return;
    ++walk.number;
    Print("Module %d\r\n", walk.number);
    Print("%s\r\n", walk.path);
    struct stat st {};
    const bool known = ::stat(walk.path, &st) == 0;
    Print("Image Base: 0x%08lx  Image Size: 0x%08lx\r\n", static_cast<unsigned long>(walk.start),
          static_cast<unsigned long>(walk.end - walk.start));
    Print("Checksum:   0x%08x  Time Stamp: 0x%08lx\r\n", 0u,
          known ? static_cast<unsigned long>(st.st_mtime) : 0ul);
    static char fileTime[64];
    fileTime[0] = '\0';
    if (known) CrashFileTimeText(static_cast<int64_t>(st.st_mtime), g_utcOffset, fileTime, sizeof fileTime);
    Print("File Size:  %-10ld  File Time:  %s\r\n", known ? static_cast<long>(st.st_size) : 0l, fileTime);
    // Only the program file carries version texts; shared objects have none.
    const bool ours = walk.program && std::strcmp(walk.program, walk.path) == 0;
    Print("Version Information:\r\n");
    Print("   Company:    %s\r\n", ours ? kBrandName : "");
    Print("   Product:    %s\r\n", ours ? kProgramName : "");
    Print("   FileDesc:   %s\r\n", "");
    Print("   FileVer:    %s\r\n", ours ? g_versionText : "");
    Print("   ProdVer:    %d.%d.%d.%d\r\n", ours ? g_versionParts[0] : 0, ours ? g_versionParts[1] : 0,
          ours ? g_versionParts[2] : 0, ours ? g_versionParts[3] : 0);
    Print("   OriginalFilename: %s\r\n", FileNamePart(walk.path));
    Print("\r\n");
    walk.path[0] = '\0';
}

bool VisitModule(const platform::MemoryMapping& m, void* context) {
    ModuleWalk& walk = *static_cast<ModuleWalk*>(context);
    if (m.path[0] != '/') return true;
    if (walk.path[0] && std::strcmp(walk.path, m.path) == 0) {
        if (m.end > walk.end) walk.end = m.end;
        return true;
    }
    if (m.offset != 0 || !m.readable) return true;
    unsigned char magic[4];
    if (platform::SafeReadMemory(magic, reinterpret_cast<const void*>(m.start), 4) != 4 ||
        std::memcmp(magic,
                    "\x7f"
                    "ELF",
                    4) != 0)
        return true;
    PrintModule(walk);
    if (std::strlen(m.path) >= sizeof walk.path) return true;
    std::strcpy(walk.path, m.path);
    walk.start = m.start;
    walk.end = m.end;
    return true;
}

struct ModuleOf {
    uintptr_t address;
    char path[kPathSize];
    bool found = false;
};

bool FindModuleOf(const platform::MemoryMapping& m, void* context) {
    ModuleOf& of = *static_cast<ModuleOf*>(context);
    if (of.address >= m.start && of.address < m.end) {
        platform::SafeFormat(of.path, sizeof of.path, "%s", m.path[0] ? m.path : "Unknown");
        of.found = true;
        return false;
    }
    return true;
}

void WriteErrorLog(int fd, int signo, const siginfo_t* info, const void* uc, const char* programPath) {
    g_out = fd;
    g_pending = 0;
    const Registers regs = ReadRegisters(uc);
    const uintptr_t fault = info ? reinterpret_cast<uintptr_t>(info->si_addr) : 0;
    const uint32_t code =
        CrashExceptionCode(signo, info ? info->si_code : 0, fault, regs.sp, g_cppException.load());

    static char name[kPathSize];
    platform::SafeFormat(name, sizeof name, "%s", FileNamePart(programPath));
    if (char* dot = std::strrchr(name, '.')) *dot = '\0';
    static ModuleOf of;
    of.address = regs.ip;
    of.found = false;
    platform::ForEachMapping(FindModuleOf, &of);
    unsigned segment = 0;
#if defined(__x86_64__)
    if (uc)
        segment =
            static_cast<unsigned>(static_cast<const ucontext_t*>(uc)->uc_mcontext.gregs[REG_CSGSFS] & 0xFFFF);
#endif
    Print("%s caused %s (0x%08x) \r\nin module %s at %04x:%08lx.\r\n\r\n", name, CrashExceptionName(code),
          code, of.found ? FileNamePart(of.path) : "Unknown", segment, static_cast<unsigned long>(regs.ip));
    PrintMachine();
    if (code == 0xC0000005u && info)
        Print("\r\n%s location %08lx caused an access violation.\r\n", regs.write ? "Write to" : "Read from",
              static_cast<unsigned long>(fault));
    PrintCompilerOptions();
    if (uc) PrintContext(uc);
    Print("\r\nBytes at CS:EIP:\r\n");
    unsigned char bytes[16];
    const size_t got = platform::SafeReadMemory(bytes, reinterpret_cast<const void*>(regs.ip), sizeof bytes);
    for (size_t i = 0; i < got; ++i) Print("%02x ", bytes[i]);
    if (got < sizeof bytes) Print("?? ");
    PrintStack(regs.sp);
    PrintEnvironment();
    static ModuleWalk walk;
    walk.path[0] = '\0';
    walk.number = 0;
    walk.program = programPath;
    platform::ForEachMapping(VisitModule, &walk);
    PrintModule(walk);
    Print("\r\n===== [end of %s] =====\r\n", kLogName);
    FlushText();
    g_out = -1;
}

void OnCrashSignal(int signo, siginfo_t* info, void* ucontext) {
    const int savedErrno = errno;
    CrashReportFilter(signo, info, ucontext);
    // What the system does without us: the default action, once this handler returns.
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(signo, &action, nullptr);
    ::raise(signo);
    errno = savedErrno;
}

void OnTerminate() {
    g_cppException = true;
    if (g_previousTerminate) g_previousTerminate();
    std::abort();
}

std::string OsPrettyName() {
    std::ifstream in("/etc/os-release");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("PRETTY_NAME=", 0) != 0) continue;
        std::string value = line.substr(12);
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\''))
            value = value.substr(1, value.size() - 2);
        return value;
    }
    return {};
}

}  // namespace

uint32_t CrashExceptionCode(int signo, int siCode, uintptr_t faultAddress, uintptr_t stackPointer,
                            bool cppException) {
    switch (signo) {
        case SIGSEGV: {
            // A fault right at the stack pointer is the stack running out.
            const uintptr_t distance =
                faultAddress > stackPointer ? faultAddress - stackPointer : stackPointer - faultAddress;
            return stackPointer != 0 && distance < 65536 ? 0xC00000FDu : 0xC0000005u;
        }
        case SIGBUS:
            return siCode == BUS_ADRALN ? 0x80000002u : 0xC0000006u;
        case SIGILL:
            return siCode == ILL_PRVOPC || siCode == ILL_PRVREG ? 0xC0000096u : 0xC000001Du;
        case SIGFPE:
            switch (siCode) {
                case FPE_INTDIV:
                    return 0xC0000094u;
                case FPE_INTOVF:
                    return 0xC0000095u;
                case FPE_FLTDIV:
                    return 0xC000008Eu;
                case FPE_FLTOVF:
                    return 0xC0000091u;
                case FPE_FLTUND:
                    return 0xC0000093u;
                case FPE_FLTRES:
                    return 0xC000008Fu;
                case FPE_FLTSUB:
                    return 0xC000008Cu;
                default:
                    return 0xC0000090u;
            }
        case SIGTRAP:
            return 0x80000003u;
        case SIGABRT:
            // An exception no handler took ends in abort.
            return cppException ? kCppExceptionCode : 0x40000015u;
        case SIGSYS:
            return 0xC000001Cu;
        default:
            return 0xE0000001u;
    }
}

const char* CrashExceptionName(uint32_t code) {
    static const struct {
        uint32_t code;
        const char* name;
    } names[] = {
        {0x40010005u, "a Control-C"},
        {0x40010008u, "a Control-Break"},
        {0x80000002u, "a Datatype Misalignment"},
        {0x80000003u, "a Breakpoint"},
        {0xC0000005u, "an Access Violation"},
        {0xC0000006u, "an In Page Error"},
        {0xC0000017u, "a No Memory"},
        {0xC000001Du, "an Illegal Instruction"},
        {0xC0000025u, "a Noncontinuable Exception"},
        {0xC0000026u, "an Invalid Disposition"},
        {0xC000008Cu, "a Array Bounds Exceeded"},
        {0xC000008Du, "a Float Denormal Operand"},
        {0xC000008Eu, "a Float Divide by Zero"},
        {0xC000008Fu, "a Float Inexact Result"},
        {0xC0000090u, "a Float Invalid Operation"},
        {0xC0000091u, "a Float Overflow"},
        {0xC0000092u, "a Float Stack Check"},
        {0xC0000093u, "a Float Underflow"},
        {0xC0000094u, "an Integer Divide by Zero"},
        {0xC0000095u, "an Integer Overflow"},
        {0xC0000096u, "a Privileged Instruction"},
        {0xC00000FDu, "a Stack Overflow"},
        {0xC0000142u, "a DLL Initialization Failed"},
        {0xE06D7363u, "a Microsoft C++ Exception"},
    };
    for (const auto& entry : names)
        if (entry.code == code) return entry.name;
    return "an Unknown exception type";
}

void CrashFileTimeText(int64_t seconds, int64_t utcOffsetSeconds, char* out, size_t size) {
    const int64_t local = seconds + utcOffsetSeconds;
    int64_t days = local / 86400;
    int64_t rest = local % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    int year, month, day;
    CivilFromDays(days, &year, &month, &day);
    // The stamp keeps two-second steps.
    platform::SafeFormat(out, size, "%d/%d/%d %02d:%02d:%02d", month, day, year,
                         static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60),
                         static_cast<int>(rest % 60 / 2 * 2));
}

bool WriteCrashBitmap(int fd, const CrashScreenImage& image) {
    if (fd < 0 || image.width <= 0 || image.height <= 0 || !image.pixels) return false;
    int bits;
    uint32_t paletteSize;
    if (image.depth < 2) {
        bits = 1, paletteSize = 2;
    } else if (image.depth < 5) {
        bits = 4, paletteSize = 16;
    } else if (image.depth < 9) {
        bits = 8, paletteSize = 256;
    } else {
        bits = 16, paletteSize = 0;
    }
    static const uint32_t kVga[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                      0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                                      0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
    static unsigned char row[65536];
    const uint64_t stride =
        ((static_cast<uint64_t>(bits) * static_cast<uint64_t>(image.width) + 31) / 32) * 4;
    if (stride > sizeof row) return false;
    const uint64_t imageSize = stride * static_cast<uint64_t>(image.height);
    const uint32_t headerSize = 40 + paletteSize * 4;
    if (imageSize + 14 + headerSize > 0xFFFFFFFFu) return false;

    unsigned char head[54] = {'B', 'M'};
    auto put32 = [&head](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            head[at + static_cast<size_t>(i)] = static_cast<unsigned char>(v >> (8 * i));
    };
    put32(2, static_cast<uint32_t>(14 + headerSize + imageSize));
    put32(10, 14 + headerSize);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(image.width));
    put32(22, static_cast<uint32_t>(image.height));
    head[26] = 1;
    head[28] = static_cast<unsigned char>(bits);
    put32(34, static_cast<uint32_t>(imageSize));
    put32(46, paletteSize);
    if (!WriteAll(fd, head, sizeof head)) return false;
    for (uint32_t i = 0; i < paletteSize; ++i) {
        uint32_t rgb;
        if (bits == 1) {
            rgb = i ? 0xFFFFFF : 0;
        } else if (bits == 4) {
            rgb = kVga[i];
        } else {
            rgb = (((i >> 5) & 7) * 255 / 7) << 16 | (((i >> 2) & 7) * 255 / 7) << 8 | (i & 3) * 255 / 3;
        }
        const unsigned char quad[4] = {static_cast<unsigned char>(rgb), static_cast<unsigned char>(rgb >> 8),
                                       static_cast<unsigned char>(rgb >> 16), 0};
        if (!WriteAll(fd, quad, 4)) return false;
    }
    // Rows bottom-up, as the format stores them.
    for (int y = image.height - 1; y >= 0; --y) {
        std::memset(row, 0, stride);
        const uint32_t* pixels = image.pixels + static_cast<size_t>(y) * static_cast<size_t>(image.width);
        for (int x = 0; x < image.width; ++x) {
            const uint32_t p = pixels[x];
            const unsigned r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
            const size_t ux = static_cast<size_t>(x);
            if (bits == 16) {
                const unsigned v = (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3);
                row[ux * 2] = static_cast<unsigned char>(v);
                row[ux * 2 + 1] = static_cast<unsigned char>(v >> 8);
            } else if (bits == 8) {
                row[ux] = static_cast<unsigned char>((r >> 5) << 5 | (g >> 5) << 2 | (b >> 6));
            } else if (bits == 4) {
                unsigned best = 0;
                long bestDistance = -1;
                for (unsigned i = 0; i < 16; ++i) {
                    const long dr = static_cast<long>(r) - static_cast<long>((kVga[i] >> 16) & 0xFF);
                    const long dg = static_cast<long>(g) - static_cast<long>((kVga[i] >> 8) & 0xFF);
                    const long db = static_cast<long>(b) - static_cast<long>(kVga[i] & 0xFF);
                    const long distance = dr * dr + dg * dg + db * db;
                    if (bestDistance < 0 || distance < bestDistance) best = i, bestDistance = distance;
                }
                row[ux / 2] |= static_cast<unsigned char>(ux % 2 ? best : best << 4);
            } else if ((r * 299 + g * 587 + b * 114) / 1000 >= 128) {
                row[ux / 8] |= static_cast<unsigned char>(0x80 >> (ux % 8));
            }
        }
        if (!WriteAll(fd, row, static_cast<size_t>(stride))) return false;
    }
    return true;
}

bool SetCrashReportFolders(const std::string& folder, const std::string& zipFolder) {
    // Room for a separator and the longest file name after it.
    if (folder.size() + 32 >= kPathSize || zipFolder.size() + 32 >= kPathSize || folder.empty() ||
        zipFolder.empty())
        return false;
    CopyText(g_folder, kPathSize, folder);
    CopyText(g_zipFolder, kPathSize, zipFolder);
    return true;
}

bool SetCrashReportRecipient(const std::string& name, const std::string& address) {
    if (name.size() >= sizeof g_recipientName || address.size() >= sizeof g_recipientAddress) return false;
    CopyText(g_recipientName, sizeof g_recipientName, name);
    CopyText(g_recipientAddress, sizeof g_recipientAddress, address);
    return true;
}

bool SetCrashReportProgram(const std::string& path) {
    return CopyText(g_reportProgram, sizeof g_reportProgram, path);
}

void SetCrashScreenCapture(CrashMonitorCountFn count, CrashScreenCaptureFn capture) {
    g_monitorCount = count;
    g_capture = capture;
}

bool InstallCrashReport() {
    const std::string folder = (platform::CommonDataFolder() / "Crash").string();
    SetCrashReportFolders(folder, folder);
    SetCrashReportRecipient("", "");
    SetCrashReportProgram((platform::ProgramFolder() / "CrashReport").string());

    // Facts the handler cannot gather safely.
    std::string user;
    struct passwd entry;
    struct passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found) user = found->pw_name;
    if (user.empty() && std::getenv("USER")) user = std::getenv("USER");
    CopyText(g_userName, sizeof g_userName, user.substr(0, sizeof g_userName - 1));
    const std::string os = OsPrettyName();
    CopyText(g_osName, sizeof g_osName, os.substr(0, sizeof g_osName - 1));
    const unsigned cpus = std::thread::hardware_concurrency();
    g_processors = cpus ? static_cast<int>(cpus) : 1;
#if defined(__x86_64__)
    g_processorType = 8664;
#elif defined(__i386__)
    g_processorType = 586;
#else
    g_processorType = 0;
#endif
    const platform::VersionInfo& version = platform::ProgramVersion();
    CopyText(g_versionText, sizeof g_versionText, version.text.substr(0, sizeof g_versionText - 1));
    g_versionParts[0] = version.major;
    g_versionParts[1] = version.minor;
    g_versionParts[2] = version.patch;
    g_versionParts[3] = version.build;
    const time_t now = ::time(nullptr);
    struct tm local {};
    if (::localtime_r(&now, &local)) g_utcOffset = local.tm_gmtoff;

    g_notReported = true;
    g_cppException = false;
    std::terminate_handler previous = std::set_terminate(OnTerminate);
    if (previous != OnTerminate) g_previousTerminate = previous;
    return platform::InstallCrashSignalHandlers(OnCrashSignal);
}

int CrashReportFilter(int signo, siginfo_t* info, void* ucontext) {
    if (!g_notReported.exchange(false)) return 0;

    static ucontext_t own;
    if (!ucontext) {
        // Called outside a signal: the caller's own context stands in.
        ::getcontext(&own);
        ucontext = &own;
    }
    static char folder[kPathSize];
    static char zipFolder[kPathSize];
    for (auto [to, from] : {std::pair<char*, const char*>{folder, g_folder}, {zipFolder, g_zipFolder}}) {
        if (from[0] == '\0') return 0;
        const size_t length = std::strlen(from);
        std::memcpy(to, from, length + 1);
        if (to[length - 1] != '/') {
            to[length] = '/';
            to[length + 1] = '\0';
        }
        if (!MakeFolderTree(to)) return 0;
    }
    static char path[kPathSize];

    // Screenshots, while the windows still show what the user saw.
    int screens = 0;
    const CrashMonitorCountFn count = g_monitorCount.load();
    const CrashScreenCaptureFn capture = g_capture.load();
    const int monitors = count && capture ? count() : 0;
    for (int i = 0; i < monitors && i < kMaxMonitors; ++i) {
        CrashScreenImage image;
        if (!capture(i, &image)) break;
        char name[32];
        platform::SafeFormat(name, sizeof name, "%s%d.bmp", kMonitorName, i + 1);
        const int fd = OpenReportFile(folder, name, path);
        if (fd < 0) break;
        const bool written = WriteCrashBitmap(fd, image);
        ::close(fd);
        if (!written) break;
        screens = i + 1;
    }

    static char program[kPathSize];
    const ssize_t n = ::readlink("/proc/self/exe", program, sizeof program - 1);
    if (n > 0) {
        program[n] = '\0';
    } else {
        std::strcpy(program, "Unknown");
    }

    const int log = OpenReportFile(folder, kLogName, path);
    if (log < 0) return 0;
    WriteErrorLog(log, signo, info, ucontext, program);
    ::close(log);

    const int dump = OpenReportFile(folder, kDumpName, path);
    if (dump >= 0) {
        platform::WriteCoreDump(dump, signo, info, ucontext);
        ::close(dump);
    }

    if (!platform::DebuggerAttached()) {
        static char manifest[kPathSize];
        const int fd = OpenReportFile(folder, kManifestName, manifest);
        if (fd >= 0) {
            g_out = fd;
            g_pending = 0;
            Print("<Xml module=\"");
            PrintXmlAttribute(program);
            Print("\" zippath=\"");
            PrintXmlAttribute(zipFolder);
            Print("\" sendtoname=\"");
            PrintXmlAttribute(g_recipientName);
            Print("\" sendtoaddr=\"");
            PrintXmlAttribute(g_recipientAddress);
            Print("\">");
            const char* files[2][2] = {{kDumpName, "Crash dump"}, {kLogName, "Crash log"}};
            for (const auto& file : files) {
                Print("\r\n<File name=\"");
                PrintXmlAttribute(folder);
                Print("%s\" descr=\"%s\"/>", file[0], file[1]);
            }
            // Only the screenshots that were written.
            for (int k = 1; k <= screens; ++k) {
                Print("\r\n<File name=\"");
                PrintXmlAttribute(folder);
                Print("%s%d.bmp\" descr=\"Screenshot\"/>", kMonitorName, k);
            }
            Print("\r\n</Xml>");
            FlushText();
            g_out = -1;
            ::close(fd);
            if (g_reportProgram[0] && ::access(g_reportProgram, X_OK) == 0) {
                char* argv[] = {g_reportProgram, manifest, nullptr};
                platform::StartDetached(g_reportProgram, argv);
            }
        }
    }
    return 0;
}

}  // namespace foundation
