#include "platform/SharedMemory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

namespace {

// sem_open prefixes "sem." to the name inside a NAME_MAX (255) file name.
constexpr size_t kMaxObjectName = 250;

bool IsPlainNameByte(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '-';
}

}  // namespace

std::string SharedObjectName(std::string_view name) {
    if (name.empty()) return {};
    static const char kHex[] = "0123456789ABCDEF";
    std::string result = "/tunova-";
    for (unsigned char c : name) {
        if (IsPlainNameByte(c)) {
            result += char(c);
        } else {
            result += '%';
            result += kHex[c >> 4];
            result += kHex[c & 0x0F];
        }
        if (result.size() > kMaxObjectName) return {};
    }
    return result;
}

SharedMemory::~SharedMemory() {
    Close();
}

int SharedMemory::Create(const std::string& name, size_t size) {
    Close();
    ClearError();
    const std::string posixName = SharedObjectName(name);
    if (posixName.empty()) return FailWithText(ENAMETOOLONG, "Shared memory name not usable: '" + name + "'");
    if (size == 0) return FailWithText(EINVAL, "Shared memory '" + name + "': size 0");
    const int fd = shm_open(posixName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return Fail(errno, "Creating shared memory '" + name + "'");
    if (ftruncate(fd, off_t(size)) != 0) {
        const int error = errno;
        close(fd);
        shm_unlink(posixName.c_str());
        return Fail(error, "Sizing shared memory '" + name + "'");
    }
    if (Map(fd, size, "Mapping shared memory '" + name + "'") != 0) {
        shm_unlink(posixName.c_str());
        return -1;
    }
    posixName_ = posixName;
    owner_ = true;
    return 0;
}

int SharedMemory::Open(const std::string& name) {
    Close();
    ClearError();
    const std::string posixName = SharedObjectName(name);
    if (posixName.empty()) return FailWithText(ENAMETOOLONG, "Shared memory name not usable: '" + name + "'");
    const int fd = shm_open(posixName.c_str(), O_RDWR | O_CLOEXEC, 0);
    if (fd < 0) return Fail(errno, "Opening shared memory '" + name + "'");
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        const int error = errno;
        close(fd);
        return Fail(error, "Opening shared memory '" + name + "'");
    }
    if (info.st_size <= 0) {
        close(fd);
        return FailWithText(EINVAL, "Shared memory '" + name + "' is empty");
    }
    if (Map(fd, size_t(info.st_size), "Mapping shared memory '" + name + "'") != 0) return -1;
    posixName_ = posixName;
    owner_ = false;
    return 0;
}

int SharedMemory::Map(int fd, size_t size, const std::string& what) {
    void* data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    const int error = errno;
    close(fd);  // the mapping keeps the object alive
    if (data == MAP_FAILED) return Fail(error, what);
    data_ = static_cast<char*>(data);
    size_ = size;
    return 0;
}

void SharedMemory::Close() {
    if (data_ != nullptr) munmap(data_, size_);
    if (owner_ && !posixName_.empty()) shm_unlink(posixName_.c_str());
    data_ = nullptr;
    size_ = 0;
    posixName_.clear();
    owner_ = false;
}

}  // namespace platform
