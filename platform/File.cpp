#include "platform/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

File::~File() {
    Close();
}

File::File(File&& other) noexcept : fd_(other.fd_), owned_(other.owned_), lastError_(other.lastError_) {
    other.fd_ = -1;
    other.owned_ = false;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        owned_ = other.owned_;
        lastError_ = other.lastError_;
        other.fd_ = -1;
        other.owned_ = false;
    }
    return *this;
}

bool File::Fail(int error) {
    lastError_ = error;
    return false;
}

int64_t File::FailCount(int error) {
    lastError_ = error;
    return -1;
}

int File::Open(const std::filesystem::path& path, FileAccess access) {
    Close();
    int flags = O_CLOEXEC;
    mode_t mode = 0644;
    switch (access) {
        case FileAccess::kRead:
            flags |= O_RDONLY;
            break;
        case FileAccess::kWrite:
            flags |= O_WRONLY | O_CREAT | O_TRUNC;
            break;
        case FileAccess::kWriteSynced:
            flags |= O_WRONLY | O_CREAT | O_TRUNC | O_DSYNC;
            break;
        case FileAccess::kWriteNewPrivate:
            flags |= O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW;
            mode = 0600;
            break;
    }
    int fd;
    do {
        fd = ::open(path.c_str(), flags, mode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        lastError_ = errno;
        return lastError_;
    }
    fd_ = fd;
    owned_ = true;
    lastError_ = 0;
    return 0;
}

void File::Adopt(int fd) {
    Close();
    fd_ = fd;
    owned_ = fd >= 0;
}

void File::Borrow(int fd) {
    Close();
    fd_ = fd;
    owned_ = false;
}

bool File::Close() {
    const int fd = fd_;
    const bool owned = owned_;
    fd_ = -1;
    owned_ = false;
    // Never retried: the descriptor is gone even when close fails, and may already be reused.
    if (fd >= 0 && owned && ::close(fd) != 0) return Fail(errno);
    return true;
}

int64_t File::ReadSome(void* buffer, size_t size) {
    if (fd_ < 0) return FailCount(EBADF);
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, size);
        if (n >= 0) return n;
        if (errno != EINTR) return FailCount(errno);
    }
}

int64_t File::ReadAll(void* buffer, size_t size) {
    auto* out = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < size) {
        const int64_t n = ReadSome(out + done, size - done);
        if (n < 0) return -1;
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
}

bool File::WriteAll(const void* data, size_t size) {
    if (fd_ < 0) return Fail(EBADF);
    const auto* in = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd_, in, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Fail(errno);
        }
        if (n == 0) return Fail(EIO);  // no progress: the file takes nothing more
        in += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool File::Seek(uint64_t offset) {
    if (fd_ < 0) return Fail(EBADF);
    const auto at = static_cast<off_t>(offset);
    if (at < 0 || static_cast<uint64_t>(at) != offset) return Fail(EINVAL);
    if (::lseek(fd_, at, SEEK_SET) != at) return Fail(errno);
    return true;
}

int64_t File::Size() {
    if (fd_ < 0) return FailCount(EBADF);
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return FailCount(errno);
    return static_cast<int64_t>(st.st_size);
}

int ReadFileInfo(const std::filesystem::path& path, FileInfo& info) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return errno;
    info.size = static_cast<uint64_t>(st.st_size);
    info.modifiedSeconds = static_cast<int64_t>(st.st_mtim.tv_sec);
    info.modifiedNanoseconds = static_cast<uint32_t>(st.st_mtim.tv_nsec);
    info.isFolder = S_ISDIR(st.st_mode);
    return 0;
}

int MakeFolder(const std::filesystem::path& path) {
    return ::mkdir(path.c_str(), 0777) == 0 ? 0 : errno;
}

bool IsFolder(const std::filesystem::path& path) {
    FileInfo info;
    return ReadFileInfo(path, info) == 0 && info.isFolder;
}

int RemoveFile(const std::filesystem::path& path) {
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

}  // namespace platform
