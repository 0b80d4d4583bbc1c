#include "platform/CoreDump.h"

#include <elf.h>
#include <sys/procfs.h>
#include <sys/ucontext.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/CrashSignals.h"

namespace platform {

#if defined(__x86_64__)

namespace {

constexpr size_t kMaxLoads = 256;
constexpr uint64_t kMaxStack = 1u << 20;
constexpr uint64_t kMaxData = 64u << 20;
constexpr uint64_t kPage = 4096;

struct Region {
    uint64_t start;
    uint64_t size;
};

struct Plan {
    uintptr_t sp = 0;
    Region loads[kMaxLoads];
    size_t loadCount = 0;
    uint64_t dataTotal = 0;
    // Mapped files for the NT_FILE note.
    size_t fileCount = 0;
    size_t fileNamesSize = 0;
};

bool PlanRegion(const MemoryMapping& m, void* context) {
    Plan& plan = *static_cast<Plan*>(context);
    if (m.path[0] == '/') {
        ++plan.fileCount;
        plan.fileNamesSize += std::strlen(m.path) + 1;
    }
    if (!m.readable || plan.loadCount >= kMaxLoads) return true;
    if (plan.sp >= m.start && plan.sp < m.end) {
        uint64_t start = (plan.sp & ~(kPage - 1));
        start = start > m.start + kPage ? start - kPage : m.start;
        uint64_t size = m.end - start;
        if (size > kMaxStack) size = kMaxStack;
        plan.loads[plan.loadCount++] = {start, size};
    } else if (m.writable && m.path[0] == '/' && plan.dataTotal + (m.end - m.start) <= kMaxData) {
        plan.loads[plan.loadCount++] = {m.start, m.end - m.start};
        plan.dataTotal += m.end - m.start;
    }
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

bool WriteZeros(int fd, uint64_t count) {
    static const char zeros[4096] = {};
    while (count > 0) {
        const size_t n = count < sizeof zeros ? static_cast<size_t>(count) : sizeof zeros;
        if (!WriteAll(fd, zeros, n)) return false;
        count -= n;
    }
    return true;
}

size_t NoteSize(size_t nameSize, size_t descSize) {
    return sizeof(Elf64_Nhdr) + ((nameSize + 3) & ~size_t{3}) + ((descSize + 3) & ~size_t{3});
}

bool WriteNote(int fd, uint32_t type, const void* desc, size_t descSize) {
    static const char name[8] = "CORE";
    Elf64_Nhdr header{};
    header.n_namesz = 5;
    header.n_descsz = static_cast<Elf64_Word>(descSize);
    header.n_type = type;
    if (!WriteAll(fd, &header, sizeof header) || !WriteAll(fd, name, 8)) return false;
    if (!WriteAll(fd, desc, descSize)) return false;
    return WriteZeros(fd, ((descSize + 3) & ~size_t{3}) - descSize);
}

struct FileWalk {
    int fd;
    bool names;
    bool ok = true;
};

bool WriteFileEntry(const MemoryMapping& m, void* context) {
    FileWalk& walk = *static_cast<FileWalk*>(context);
    if (m.path[0] != '/') return true;
    if (walk.names) {
        walk.ok = walk.ok && WriteAll(walk.fd, m.path, std::strlen(m.path) + 1);
    } else {
        const uint64_t entry[3] = {m.start, m.end, m.offset / kPage};
        walk.ok = walk.ok && WriteAll(walk.fd, entry, sizeof entry);
    }
    return walk.ok;
}

void FillRegisters(elf_gregset_t& regs, const ucontext_t* uc) {
    const greg_t* g = uc->uc_mcontext.gregs;
    // user_regs_struct order.
    const int order[] = {REG_R15, REG_R14, REG_R13, REG_R12, REG_RBP, REG_RBX, REG_R11, REG_R10, REG_R9,
                         REG_R8,  REG_RAX, REG_RCX, REG_RDX, REG_RSI, REG_RDI, -1,      REG_RIP};
    size_t i = 0;
    for (int index : order)
        regs[i++] = index < 0 ? static_cast<elf_greg_t>(-1) : static_cast<elf_greg_t>(g[index]);
    regs[16] = static_cast<elf_greg_t>(g[REG_RIP]);
    regs[17] = static_cast<elf_greg_t>(g[REG_CSGSFS] & 0xFFFF);
    regs[18] = static_cast<elf_greg_t>(g[REG_EFL]);
    regs[19] = static_cast<elf_greg_t>(g[REG_RSP]);
    regs[20] = 0x2B;  // the user stack segment of this processor mode
}

}  // namespace

bool WriteCoreDump(int fd, int signo, const siginfo_t* info, const void* ucontext) {
    if (fd < 0 || !ucontext) return false;
    const ucontext_t* uc = static_cast<const ucontext_t*>(ucontext);
    static Plan plan;
    plan = Plan();
    plan.sp = static_cast<uintptr_t>(uc->uc_mcontext.gregs[REG_RSP]);
    if (!ForEachMapping(PlanRegion, &plan)) return false;

    static elf_prstatus status;
    std::memset(&status, 0, sizeof status);
    status.pr_info.si_signo = signo;
    status.pr_info.si_code = info ? info->si_code : 0;
    status.pr_cursig = static_cast<short>(signo);
    status.pr_pid = ::gettid();
    status.pr_ppid = ::getppid();
    status.pr_pgrp = ::getpgrp();
    status.pr_sid = ::getsid(0);
    FillRegisters(status.pr_reg, uc);

    static elf_prpsinfo process;
    std::memset(&process, 0, sizeof process);
    process.pr_pid = ::getpid();
    process.pr_ppid = ::getppid();
    process.pr_uid = ::getuid();
    process.pr_gid = ::getgid();
    process.pr_sname = 'R';
    {
        static char exe[4096];
        const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
        exe[n > 0 ? n : 0] = '\0';
        const char* base = std::strrchr(exe, '/');
        base = base ? base + 1 : exe;
        std::strncpy(process.pr_fname, base, sizeof process.pr_fname - 1);
        std::strncpy(process.pr_psargs, exe, sizeof process.pr_psargs - 1);
    }

    // The auxiliary vector tells the debugger where the program was loaded.
    static char auxv[4096];
    const size_t auxvSize = SafeReadFile("/proc/self/auxv", auxv, sizeof auxv);

    const size_t fileDescSize = 16 + plan.fileCount * 24 + plan.fileNamesSize;
    const size_t notesSize = NoteSize(5, sizeof status) + NoteSize(5, sizeof process) +
                             NoteSize(5, auxvSize) + NoteSize(5, fileDescSize);
    const size_t phnum = 1 + plan.loadCount;
    const uint64_t headersEnd = sizeof(Elf64_Ehdr) + phnum * sizeof(Elf64_Phdr) + notesSize;
    uint64_t offset = (headersEnd + kPage - 1) & ~(kPage - 1);

    Elf64_Ehdr eh{};
    std::memcpy(eh.e_ident, ELFMAG, SELFMAG);
    eh.e_ident[EI_CLASS] = ELFCLASS64;
    eh.e_ident[EI_DATA] = ELFDATA2LSB;
    eh.e_ident[EI_VERSION] = EV_CURRENT;
    eh.e_ident[EI_OSABI] = ELFOSABI_NONE;
    eh.e_type = ET_CORE;
    eh.e_machine = EM_X86_64;
    eh.e_version = EV_CURRENT;
    eh.e_phoff = sizeof(Elf64_Ehdr);
    eh.e_ehsize = sizeof(Elf64_Ehdr);
    eh.e_phentsize = sizeof(Elf64_Phdr);
    eh.e_phnum = static_cast<Elf64_Half>(phnum);
    if (!WriteAll(fd, &eh, sizeof eh)) return false;

    Elf64_Phdr note{};
    note.p_type = PT_NOTE;
    note.p_offset = sizeof(Elf64_Ehdr) + phnum * sizeof(Elf64_Phdr);
    note.p_filesz = notesSize;
    if (!WriteAll(fd, &note, sizeof note)) return false;
    for (size_t i = 0; i < plan.loadCount; ++i) {
        Elf64_Phdr load{};
        load.p_type = PT_LOAD;
        load.p_flags = PF_R | PF_W;
        load.p_offset = offset;
        load.p_vaddr = plan.loads[i].start;
        load.p_filesz = plan.loads[i].size;
        load.p_memsz = plan.loads[i].size;
        load.p_align = kPage;
        if (!WriteAll(fd, &load, sizeof load)) return false;
        offset += (plan.loads[i].size + kPage - 1) & ~(kPage - 1);
    }

    if (!WriteNote(fd, NT_PRSTATUS, &status, sizeof status)) return false;
    if (!WriteNote(fd, NT_PRPSINFO, &process, sizeof process)) return false;
    if (!WriteNote(fd, NT_AUXV, auxv, auxvSize)) return false;
    {
        Elf64_Nhdr header{};
        header.n_namesz = 5;
        header.n_descsz = static_cast<Elf64_Word>(fileDescSize);
        header.n_type = NT_FILE;
        static const char name[8] = "CORE";
        const uint64_t head[2] = {plan.fileCount, kPage};
        if (!WriteAll(fd, &header, sizeof header) || !WriteAll(fd, name, 8) ||
            !WriteAll(fd, head, sizeof head))
            return false;
        FileWalk entries{fd, false};
        ForEachMapping(WriteFileEntry, &entries);
        FileWalk names{fd, true};
        ForEachMapping(WriteFileEntry, &names);
        if (!entries.ok || !names.ok) return false;
        // Mappings may have come or gone between the walks: the note keeps its announced size.
        const off_t at = ::lseek(fd, 0, SEEK_CUR);
        const uint64_t noteEnd = sizeof(Elf64_Ehdr) + phnum * sizeof(Elf64_Phdr) + notesSize;
        if (at < 0 || static_cast<uint64_t>(at) > noteEnd) return false;
        if (!WriteZeros(fd, noteEnd - static_cast<uint64_t>(at))) return false;
    }
    if (!WriteZeros(fd, ((headersEnd + kPage - 1) & ~(kPage - 1)) - headersEnd)) return false;

    static char chunk[65536];
    for (size_t i = 0; i < plan.loadCount; ++i) {
        const uint64_t size = plan.loads[i].size;
        for (uint64_t done = 0; done < size; done += sizeof chunk) {
            const size_t n = size - done < sizeof chunk ? static_cast<size_t>(size - done) : sizeof chunk;
            const size_t got =
                SafeReadMemory(chunk, reinterpret_cast<const void*>(plan.loads[i].start + done), n);
            // Unreadable pages (guard pages) are zeros in the file.
            std::memset(chunk + got, 0, n - got);
            if (!WriteAll(fd, chunk, n)) return false;
        }
        const uint64_t padded = (size + kPage - 1) & ~(kPage - 1);
        if (!WriteZeros(fd, padded - size)) return false;
    }
    return true;
}

#else

bool WriteCoreDump(int, int, const siginfo_t*, const void*) {
    return false;
}

#endif

}  // namespace platform
