#include <elf.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/procfs.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "foundation/CrashReport.h"
#include "platform/CrashSignals.h"

using namespace foundation;

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

uint32_t Le32(const std::string& bytes, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(bytes[at + static_cast<size_t>(i)]);
    return v;
}

TEST(CrashReportText, ExceptionNamesAndCodes) {
    const struct {
        uint32_t code;
        const char* name;
    } names[] = {
        {0xC0000005u, "an Access Violation"},       {0xC00000FDu, "a Stack Overflow"},
        {0xE06D7363u, "a Microsoft C++ Exception"}, {0x40010005u, "a Control-C"},
        {0xC0000094u, "an Integer Divide by Zero"}, {0xE0000001u, "an Unknown exception type"},
        {0u, "an Unknown exception type"},
    };
    for (const auto& n : names) EXPECT_STREQ(CrashExceptionName(n.code), n.name) << std::hex << n.code;

    const uintptr_t sp = 0x7fff0000;
    const struct {
        int signo;
        int siCode;
        uintptr_t fault;
        bool cpp;
        uint32_t code;
    } codes[] = {
        {SIGSEGV, SEGV_MAPERR, 0x10, false, 0xC0000005u}, {SIGSEGV, SEGV_MAPERR, sp - 8, false, 0xC00000FDu},
        {SIGBUS, BUS_ADRALN, 0, false, 0x80000002u},      {SIGBUS, BUS_ADRERR, 0, false, 0xC0000006u},
        {SIGILL, ILL_ILLOPC, 0, false, 0xC000001Du},      {SIGILL, ILL_PRVOPC, 0, false, 0xC0000096u},
        {SIGFPE, FPE_INTDIV, 0, false, 0xC0000094u},      {SIGFPE, FPE_FLTDIV, 0, false, 0xC000008Eu},
        {SIGFPE, FPE_FLTUND, 0, false, 0xC0000093u},      {SIGTRAP, 0, 0, false, 0x80000003u},
        {SIGABRT, SI_TKILL, 0, true, 0xE06D7363u},        {SIGABRT, SI_TKILL, 0, false, 0x40000015u},
    };
    for (const auto& c : codes)
        EXPECT_EQ(CrashExceptionCode(c.signo, c.siCode, c.fault, sp, c.cpp), c.code)
            << c.signo << " " << c.siCode;
}

TEST(CrashReportText, FileTimeHasEvenSeconds) {
    char text[64];
    CrashFileTimeText(0, 0, text, sizeof text);
    EXPECT_STREQ(text, "1/1/1970 00:00:00");
    // 2024-02-29 13:05:07 UTC, shown two hours east and with the odd second dropped.
    CrashFileTimeText(1709211907, 7200, text, sizeof text);
    EXPECT_STREQ(text, "2/29/2024 15:05:06");
    CrashFileTimeText(1709211907, -14 * 3600, text, sizeof text);
    EXPECT_STREQ(text, "2/28/2024 23:05:06");
}

const char* NoText() {
    static volatile bool none = true;
    return none ? nullptr : "";
}

TEST(CrashReportText, SafeFormatMatchesPrintf) {
    char out[128];
    const struct {
        std::function<size_t(char*, size_t)> ours;
        const char* expected;
    } cases[] = {
        {[](char* o, size_t n) {
             return platform::SafeFormat(o, n, "%s caused %s (0x%08x) ", "tun", "x", 0xC05u);
         },
         "tun caused x (0x00000c05) "},
        {[](char* o, size_t n) {
             return platform::SafeFormat(o, n, "%5d:  <%s>|%-10ld|%10u", 7, "A=1", -42l, 3u);
         },
         "    7:  <A=1>|-42       |         3"},
        {[](char* o, size_t n) {
             return platform::SafeFormat(o, n, "%02x %X %04x:%08lx %c%%", 5u, 255u, 0x33u, 0x1ul, 'q');
         },
         "05 FF 0033:00000001 q%"},
        {[](char* o, size_t n) {
             return platform::SafeFormat(o, n, "%d %lld %s", -2147483647 - 1, -9ll, NoText());
         },
         "-2147483648 -9 (null)"},
    };
    for (const auto& c : cases) {
        const size_t n = c.ours(out, sizeof out);
        EXPECT_STREQ(out, c.expected);
        EXPECT_EQ(n, std::strlen(c.expected));
    }
    char small[6];
    EXPECT_EQ(platform::SafeFormat(small, sizeof small, "%s", "abcdefgh"), 5u);
    EXPECT_STREQ(small, "abcde");
}

TEST(CrashReportText, SafeReadStopsAtUnreadableMemory) {
    const char text[] = "readable";
    char out[16] = {};
    EXPECT_EQ(platform::SafeReadMemory(out, text, sizeof text), sizeof text);
    EXPECT_STREQ(out, text);
    EXPECT_EQ(platform::SafeReadMemory(out, reinterpret_cast<const void*>(uintptr_t{16}), 8), 0u);
}

struct BitmapCase {
    int depth;
    uint16_t bits;
    uint32_t palette;
};

TEST(CrashReportText, BitmapDepthFollowsTheDisplay) {
    const fs::path file = fs::temp_directory_path() / ("tunova_bmp_" + std::to_string(::getpid()) + ".bmp");
    const uint32_t pixels[3 * 2] = {0xFFFFFF, 0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0x808080};
    const BitmapCase cases[] = {{32, 16, 0}, {24, 16, 0}, {16, 16, 0}, {8, 8, 256}, {4, 4, 16}, {1, 1, 2}};
    for (const BitmapCase& c : cases) {
        SCOPED_TRACE(c.depth);
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        CrashScreenImage image{3, 2, c.depth, pixels};
        EXPECT_TRUE(WriteCrashBitmap(fd, image));
        ::close(fd);
        const std::string bytes = ReadFile(file);
        const uint32_t stride = ((c.bits * 3u + 31) / 32) * 4;
        const uint32_t header = 40 + c.palette * 4;
        ASSERT_EQ(bytes.size(), 14 + header + stride * 2);
        EXPECT_EQ(bytes.substr(0, 2), "BM");
        EXPECT_EQ(Le32(bytes, 2), bytes.size());
        EXPECT_EQ(Le32(bytes, 10), 14 + header);
        EXPECT_EQ(Le32(bytes, 14), 40u);
        EXPECT_EQ(Le32(bytes, 18), 3u);
        EXPECT_EQ(Le32(bytes, 22), 2u);
        EXPECT_EQ(static_cast<unsigned char>(bytes[28]), c.bits);
        if (c.bits == 16) {
            // Bottom row first: its first pixel is pure green, 5-5-5.
            const size_t bits = 14 + header;
            EXPECT_EQ(static_cast<unsigned char>(bytes[bits]) | static_cast<unsigned char>(bytes[bits + 1])
                                                                    << 8,
                      0x1F << 5);
        }
        if (c.bits == 1) {
            // Top row (stored last): white, black, red (dark) -> 100.
            EXPECT_EQ(static_cast<unsigned char>(bytes[14 + header + stride]), 0x80);
        }
    }
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    CrashScreenImage empty{0, 0, 32, pixels};
    EXPECT_FALSE(WriteCrashBitmap(fd, empty));
    ::close(fd);
    fs::remove(file);
}

// Three displays of 4 x 2 pixels.
int ThreeMonitors() {
    return 3;
}
bool CaptureMonitor(int index, CrashScreenImage* image) {
    static uint32_t pixels[8];
    for (uint32_t& p : pixels) p = 0x102030u * static_cast<uint32_t>(index + 1);
    *image = CrashScreenImage{4, 2, 32, pixels};
    return true;
}

// Runs body in a forked child prepared for a report into folder; returns the wait status.
class CrashChild : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ =
            fs::temp_directory_path() / ("tunova_crash_" + std::to_string(::getpid()) + "_" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        program_ = fs::path(TUNOVA_FIXTURES) / "foundation" / "crash" / "CrashReport";
    }
    void TearDown() override { fs::remove_all(folder_); }

    void Prepare() const {
        InstallCrashReport();
        SetCrashReportFolders((folder_ / "Crash").string(), (folder_ / "Zip").string());
        SetCrashReportRecipient("Service", "service@example.org");
        SetCrashReportProgram(withProgram_ ? program_.string() : std::string());
        SetCrashScreenCapture(ThreeMonitors, CaptureMonitor);
        setenv("TUNOVA_CRASH_MARK", "mark-value", 1);
    }

    int RunChild(const std::function<void()>& body, bool traced = false) {
        fflush(nullptr);
        const pid_t pid = ::fork();
        if (pid == 0) {
            if (traced) {
                if (::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) ::_exit(77);
                ::raise(SIGSTOP);
            }
            Prepare();
            body();
            ::_exit(0);
        }
        int status = 0;
        for (;;) {
            if (::waitpid(pid, &status, 0) != pid) return -1;
            if (!WIFSTOPPED(status)) return status;
            // As a debugger: let every signal go on to the child.
            const int signo = WSTOPSIG(status) == SIGSTOP ? 0 : WSTOPSIG(status);
            ::ptrace(PTRACE_CONT, pid, nullptr, reinterpret_cast<void*>(static_cast<intptr_t>(signo)));
        }
    }

    fs::path Crash(const char* name) const { return folder_ / "Crash" / name; }

    fs::path folder_;
    fs::path program_;
    bool withProgram_ = false;  // only where the test waits for it
};

__attribute__((noinline)) void WriteToLowAddress() {
    volatile uintptr_t address = 16;
    *reinterpret_cast<volatile int*>(address) = 1;
}

TEST_F(CrashChild, AccessViolationLeavesTheWholeReport) {
    withProgram_ = true;
    const int status = RunChild(WriteToLowAddress);
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), SIGSEGV);

    const std::string log = ReadFile(Crash("Errorlog.txt"));
    const std::string program = fs::read_symlink("/proc/self/exe").string();
    const std::string name = fs::path(program).stem().string();
    EXPECT_EQ(log.rfind(name + " caused an Access Violation (0xc0000005) \r\nin module " +
                            fs::path(program).filename().string() + " at ",
                        0),
              0u)
        << log.substr(0, 300);
    for (const char* part :
         {"Error occurred at ", ", run by ", "Computer Name: ", "Operating system:  ",
          " logical processor(s), type ", "CPU Vendor: ", "% memory in use:\r\n", " MB physical memory\r\n",
          "\r\nWrite to location 00000010 caused an access violation.\r\n", "\r\nCompiler Options:\r\n",
          "Context:\r\n", "\r\nBytes at CS:EIP:\r\n", "\r\n\r\nStack:\r\n0x", "Environment Variables:\r\n",
          ":  <TUNOVA_CRASH_MARK=mark-value>\n", "Module 1\r\n", "Image Base: 0x",
          "   OriginalFilename: ", "\r\n===== [end of Errorlog.txt] =====\r\n"}) {
        EXPECT_NE(log.find(part), std::string::npos) << part;
    }
    EXPECT_NE(log.find(program + "\r\n"), std::string::npos);
    EXPECT_EQ(log.substr(log.size() - 37), "\r\n===== [end of Errorlog.txt] =====\r\n");

    // The dump is a core file of the crashed process with the signal in its status note.
    const std::string dump = ReadFile(Crash("Crash.dmp"));
    ASSERT_GE(dump.size(), sizeof(Elf64_Ehdr));
    Elf64_Ehdr eh;
    std::memcpy(&eh, dump.data(), sizeof eh);
    EXPECT_EQ(std::memcmp(eh.e_ident, ELFMAG, SELFMAG), 0);
    EXPECT_EQ(eh.e_type, ET_CORE);
    ASSERT_GE(eh.e_phnum, 2);
    Elf64_Phdr note;
    std::memcpy(&note, dump.data() + eh.e_phoff, sizeof note);
    ASSERT_EQ(note.p_type, static_cast<Elf64_Word>(PT_NOTE));
    ASSERT_LE(note.p_offset + note.p_filesz, dump.size());
    Elf64_Nhdr nh;
    std::memcpy(&nh, dump.data() + note.p_offset, sizeof nh);
    EXPECT_EQ(nh.n_type, static_cast<Elf64_Word>(NT_PRSTATUS));
    elf_prstatus prstatus;
    std::memcpy(&prstatus, dump.data() + note.p_offset + sizeof nh + 8, sizeof prstatus);
    EXPECT_EQ(prstatus.pr_cursig, SIGSEGV);
    for (int i = 1; i < eh.e_phnum; ++i) {
        Elf64_Phdr load;
        std::memcpy(&load, dump.data() + eh.e_phoff + static_cast<size_t>(i) * sizeof load, sizeof load);
        EXPECT_EQ(load.p_type, static_cast<Elf64_Word>(PT_LOAD));
        EXPECT_LE(load.p_offset + load.p_filesz, dump.size());
    }

    for (int k = 1; k <= 3; ++k) {
        const std::string bmp = ReadFile(Crash(("Crash_mon" + std::to_string(k) + ".bmp").c_str()));
        ASSERT_EQ(bmp.size(), 14u + 40 + 16);
        EXPECT_EQ(static_cast<unsigned char>(bmp[28]), 16);
    }
    EXPECT_FALSE(fs::exists(Crash("Crash_mon4.bmp")));

    const std::string dir = (folder_ / "Crash").string() + "/";
    const std::string manifest = ReadFile(Crash("Crash.xml"));
    EXPECT_EQ(manifest, "<Xml module=\"" + program + "\" zippath=\"" + (folder_ / "Zip").string() +
                            "/\" sendtoname=\"Service\" sendtoaddr=\"service@example.org\">"
                            "\r\n<File name=\"" +
                            dir +
                            "Crash.dmp\" descr=\"Crash dump\"/>"
                            "\r\n<File name=\"" +
                            dir +
                            "Errorlog.txt\" descr=\"Crash log\"/>"
                            "\r\n<File name=\"" +
                            dir +
                            "Crash_mon1.bmp\" descr=\"Screenshot\"/>"
                            "\r\n<File name=\"" +
                            dir +
                            "Crash_mon2.bmp\" descr=\"Screenshot\"/>"
                            "\r\n<File name=\"" +
                            dir +
                            "Crash_mon3.bmp\" descr=\"Screenshot\"/>"
                            "\r\n</Xml>");
    EXPECT_TRUE(fs::is_directory(folder_ / "Zip"));

    // The crash-report program was started with the manifest as its one argument.
    const fs::path reported = Crash("reported.txt");
    for (int i = 0; i < 600 && !fs::exists(reported); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(ReadFile(reported), "1\n" + dir + "Crash.xml\n");
}

TEST_F(CrashChild, UnhandledCppExceptionIsNamed) {
    // Escapes a thread's function: no handler of the test program can take it.
    const int status =
        RunChild([] { std::thread([] { throw std::runtime_error("nobody catches this"); }).join(); });
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGABRT);
    const std::string log = ReadFile(Crash("Errorlog.txt"));
    EXPECT_NE(log.find(" caused a Microsoft C++ Exception (0xe06d7363) \r\n"), std::string::npos)
        << log.substr(0, 200);
    EXPECT_EQ(log.find("caused an access violation"), std::string::npos);
}

TEST_F(CrashChild, OnlyTheFirstFaultIsReported) {
    const int status = RunChild([this] {
        SetCrashReportProgram("");
        CrashReportFilter(SIGSEGV, nullptr, nullptr);
        const bool first = fs::exists(Crash("Errorlog.txt"));
        fs::remove_all(folder_ / "Crash");
        CrashReportFilter(SIGSEGV, nullptr, nullptr);
        ::_exit(first && !fs::exists(folder_ / "Crash") ? 0 : 1);
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(CrashChild, AFolderThatCannotBeMadeEndsWithoutReport) {
    fs::create_directories(folder_);
    std::ofstream(folder_ / "Crash") << "a file, not a folder";
    const int status = RunChild([] { ::raise(SIGFPE); });
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGFPE);
    EXPECT_TRUE(fs::is_regular_file(folder_ / "Crash"));
    EXPECT_FALSE(fs::exists(folder_ / "Zip" / "Crash.xml"));
}

TEST_F(CrashChild, UnderADebuggerNoManifestAndNoReportProgram) {
    withProgram_ = true;
    const int status = RunChild(WriteToLowAddress, true);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) GTEST_SKIP() << "tracing is not allowed here";
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), SIGSEGV);
    EXPECT_TRUE(fs::exists(Crash("Errorlog.txt")));
    EXPECT_TRUE(fs::exists(Crash("Crash.dmp")));
    EXPECT_TRUE(fs::exists(Crash("Crash_mon3.bmp")));
    EXPECT_FALSE(fs::exists(Crash("Crash.xml")));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(fs::exists(Crash("reported.txt")));
}

}  // namespace
