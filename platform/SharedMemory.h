#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/IoErrorState.h"

namespace platform {

// Name of the POSIX object (shared memory or semaphore) that stands for a named object of the
// peer channel: "/tunova-" followed by the name, with every byte other than a letter, a digit,
// '.', '_' or '-' written as '%' and two upper-case hexadecimal digits. Names stay
// case-sensitive. Empty when the name is empty or the result would be longer than the system
// allows for semaphore names (the shorter of the two limits).
std::string SharedObjectName(std::string_view name);

// A named block of shared memory, mapped whole for reading and writing. The side that creates
// it owns the name and removes it on Close; the side that opens it only maps it. Calls return 0
// on success and -1 on failure, with LastError() (an errno value) and LastErrorText().
class SharedMemory : public IoErrorState {
  public:
    SharedMemory() = default;
    ~SharedMemory();
    SharedMemory(const SharedMemory&) = delete;
    SharedMemory& operator=(const SharedMemory&) = delete;

    // Creates a new zero-filled block of size bytes (an existing name is EEXIST).
    int Create(const std::string& name, size_t size);
    // Opens an existing block and maps the whole of it (an empty block is EINVAL).
    int Open(const std::string& name);
    // Unmaps; the creator also removes the name.
    void Close();

    bool IsOpen() const { return data_ != nullptr; }
    char* Data() const { return data_; }
    size_t Size() const { return size_; }

  private:
    int Map(int fd, size_t size, const std::string& what);

    char* data_ = nullptr;
    size_t size_ = 0;
    std::string posixName_;
    bool owner_ = false;
};

}  // namespace platform
