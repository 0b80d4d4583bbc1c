#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/SystemError.h"

namespace platform {

AtomicFileWriter::~AtomicFileWriter() {
    Abort();
}

bool AtomicFileWriter::Fail(const std::string& what, const std::filesystem::path& file, int code) {
    code_ = code;
    error_ = what + " " + file.string() + ": " + SystemErrorText(code);
    return false;
}

namespace {

// The file a path finally names, following symbolic links (to links too): writing through a link
// replaces the file it names and leaves the link in place. 0, or the error code.
int FollowLinks(const std::filesystem::path& path, std::filesystem::path& file) {
    constexpr int kMaxLinks = 40;  // as the system allows in a path
    file = path;
    for (int links = 0;; ++links) {
        struct stat st;
        if (::lstat(file.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return 0;
        if (links == kMaxLinks) return ELOOP;
        std::error_code ec;
        const std::filesystem::path target = std::filesystem::read_symlink(file, ec);
        if (ec) return ec.value();
        file = target.is_absolute() ? target : file.parent_path() / target;
    }
}

}  // namespace

bool AtomicFileWriter::Open(const std::filesystem::path& path) {
    Abort();
    error_.clear();
    code_ = 0;
    if (path.empty() || !path.has_filename()) return Fail("Cannot write", path, EINVAL);
    if (const int code = FollowLinks(path, target_); code != 0) return Fail("Cannot write", path, code);
    if (!target_.has_filename()) return Fail("Cannot write", path, EINVAL);
    // The rename would replace a file that may not be written: it stays as it is. A file without
    // any write permission counts as read-only even for a user whom the system lets write it.
    struct stat existing;
    if (::stat(target_.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        int code = 0;
        if ((existing.st_mode & 0222) == 0) {
            code = EACCES;
        } else if (::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0) {
            code = errno;
        }
        if (code != 0) return Fail("Cannot write", path, code);
    }
    // Hidden temp name in the same folder so that rename stays within one file system.
    std::string pattern = (target_.parent_path() / ("." + target_.filename().string() + ".XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return Fail("Cannot create a temporary file for", path, errno);
    fd_ = fd;
    temp_ = name.data();
    // Keep the permissions of the file being replaced; new files get 0666 minus umask.
    struct stat st;
    if (::stat(target_.c_str(), &st) == 0) {
        (void)::fchmod(fd_, st.st_mode & 07777);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        (void)::fchmod(fd_, 0666 & ~mask);
    }
    return true;
}

bool AtomicFileWriter::Write(const void* data, size_t size) {
    if (fd_ < 0) return Fail("Not open:", target_, EBADF);
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd_, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int code = errno;
            Abort();
            return Fail("Cannot write", target_, code);
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool AtomicFileWriter::Commit() {
    if (fd_ < 0) return Fail("Not open:", target_, EBADF);
    if (::fsync(fd_) != 0) {
        const int code = errno;
        Abort();
        return Fail("Cannot flush", target_, code);
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        const int code = errno;
        ::unlink(temp_.c_str());
        temp_.clear();
        return Fail("Cannot close", target_, code);
    }
    if (::rename(temp_.c_str(), target_.c_str()) != 0) {
        const int code = errno;
        ::unlink(temp_.c_str());
        temp_.clear();
        return Fail("Cannot replace", target_, code);
    }
    temp_.clear();
    // Make the rename itself durable.
    std::filesystem::path dir = target_.parent_path();
    if (dir.empty()) dir = ".";
    const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        (void)::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

void AtomicFileWriter::Abort() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
}

bool WriteFileAtomic(const std::filesystem::path& path, std::string_view data, std::string* error) {
    AtomicFileWriter writer;
    if (writer.Open(path) && writer.Write(data.data(), data.size()) && writer.Commit()) return true;
    if (error) *error = writer.Error();
    return false;
}

bool ReadWholeFile(const std::filesystem::path& path, std::string* data, std::string* error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = "Cannot open " + path.string() + ": " + SystemErrorText(errno);
        return false;
    }
    std::string out;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int code = errno;
            ::close(fd);
            if (error) *error = "Cannot read " + path.string() + ": " + SystemErrorText(code);
            return false;
        }
        if (n == 0) break;
        out.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    if (data) *data = std::move(out);
    return true;
}

}  // namespace platform
